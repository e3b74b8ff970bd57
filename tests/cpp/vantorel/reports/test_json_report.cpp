#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "report_model_fixtures.hpp"
#include "vantorel/reports/json_report.hpp"
#include "vantorel/reports/report_model.hpp"

namespace {

using namespace report_fixtures;
using deririrore::value::Value;
using vantorel::reports::ReportModel;

TEST(JsonNumbers, ShortestTextInTheReportsNotation) {
    struct Case {
        double value;
        std::string_view text;
    };
    const Case doubles[] = {
        {100.0 / 3.0, "33.333333333333336"},
        {100.0, "100.0"},
        {0.0, "0.0"},
        {300.0 / 7.0, "42.857142857142854"},
        {0.5, "0.5"},
        {0.00001, "0.00001"},
        {1e-6, "1e-6"},
        {2.5e-7, "2.5e-7"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e+16"},
        {1.5e300, "1.5e+300"},
        {-1.25, "-1.25"},
        {1733900000.5, "1733900000.5"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {std::numeric_limits<double>::infinity(), "null"},
    };
    for (const Case& c : doubles) {
        std::string out;
        vantorel::reports::append_json_double(out, c.value);
        EXPECT_EQ(out, c.text) << c.value;
    }
    struct FloatCase {
        float value;
        std::string_view text;
    };
    const FloatCase floats[] = {
        {500.0f, "500.0"},          {0.1f, "0.1"},
        {1e-6f, "0.000001"},        {1e-7f, "1e-7"},
        {1e12f, "1000000000000.0"}, {1e13f, "1e+13"},
        {250.0f, "250.0"},          {std::numeric_limits<float>::infinity(), "null"},
    };
    for (const FloatCase& c : floats) {
        std::string out;
        vantorel::reports::append_json_float(out, c.value);
        EXPECT_EQ(out, c.text) << c.value;
    }
}

TEST(JsonStrings, EscapesOnlyWhatJsonNeeds) {
    std::string out;
    vantorel::reports::append_json_string(out, std::string("a\"b\\c\td\x01/\xC3\xA9\b\f\n\r\x1f", 16));
    EXPECT_EQ(out, "\"a\\\"b\\\\c\\td\\u0001/\xC3\xA9\\b\\f\\n\\r\\u001f\"");
}

std::string without_generated_at(std::string text) {
    const std::string key = "\"generated_at\":\"";
    const auto at = text.find(key);
    if (at == std::string::npos) return text;
    const auto end = text.find('"', at + key.size());
    text.replace(at + key.size(), end - at - key.size(), "T");
    return text;
}

TEST(JsonReport, EmptyMapWritesOnlyTheAlwaysPresentMembers) {
    CoverageMap map = map_of_document(R"({"openapi": "3.1.0", "paths": {}})", std::nullopt, "spec.json");
    const std::string ratio2 = R"({"covered":0,"total":0,"percent":null})";
    const std::string ratio3 = R"({"covered":0,"partial":0,"total":0,"percent":null})";
    const std::string reach = R"({"reached":0,"violated":0,"total":0,"percent":null})";
    const std::string expected = R"({"$schema":"https://vantorel.dev/schemas/coverage-report.v1.json","version":"1.0",)"
                                 R"("vantorel_version":")" VANTOREL_VERSION_TEXT
                                 R"(","schema_location":"spec.json","generated_at":"T","summary":{"operations":)" +
                                 ratio2 + R"(,"parameters":)" + ratio3 + R"(,"keywords":)" + ratio3 +
                                 R"(,"examples":)" + ratio2 + R"(,"responses":)" + ratio2 + R"(,"response_keywords":)" +
                                 reach + R"(},"operations":[]})";
    EXPECT_EQ(without_generated_at(vantorel::reports::write_json_report(map)), expected);
}

TEST(JsonReport, OperationMembersFollowPresenceRules) {
    ReportModel model;
    model.generated_at = "T";
    vantorel::reports::OperationReport bare;
    bare.method = "GET";
    bare.path = "/a";
    model.operations.push_back(bare);
    vantorel::reports::OperationReport full = bare;
    full.operation_id = "op";
    full.warnings.push_back({"/{x}"});
    full.parameters.push_back({vantorel::model::ParameterLocation::Body,
                               true,
                               "application/json",
                               2,
                               {1, 0, 3, 100.0 / 3.0},
                               {{"/a", vantorel::reports::KeywordState::Miss, std::nullopt, std::nullopt, std::nullopt},
                                {"/b", vantorel::reports::KeywordState::Partial, 0u, 2u, std::nullopt}}});
    full.responses.push_back({"200", 0, std::nullopt, {}});
    full.unexpected_responses.push_back({"503", 1, 250.0f, {}});
    full.errors = {"boom"};
    model.operations.push_back(full);
    model.unmatched_overflow = 2;
    const std::string text = vantorel::reports::write_json_report(model);
    EXPECT_NE(text.find(R"({"method":"GET","path":"/a","hits":0,"coverage":{)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"(},"errors":[]})"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("operation_id":"op","hits":0,"warnings":[{"type":"shadowed","by":"/{x}"}],"coverage")"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"({"location":"body","media_type":"application/json","hits":2,"coverage":{"covered":1,)"
                        R"("partial":0,"total":3,"percent":33.333333333333336},"keywords":[{"schema_path":"/a",)"
                        R"("state":"miss"},{"schema_path":"/b","state":"partial","valid":0,"invalid":2}]})"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"("responses":[{"status":"200","hits":0}],"unexpected_responses":[{"status":"503",)"
                        R"("hits":1,"avg_elapsed_ms":250.0}],"errors":["boom"]})"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"(],"unmatched_overflow":2})"), std::string::npos) << text;
    EXPECT_EQ(text.find("dropped_requests"), std::string::npos);
    EXPECT_EQ(text.find("suggestions"), std::string::npos);
}

// An order-keeping reading of the report, for checking key order (parsed values sort members).
struct Member;
struct Node {
    enum Kind { Scalar, Object, Array } kind = Scalar;
    // A vector of a pair holding the incomplete Node is refused by clang; one of a declared struct is not.
    std::vector<Member> members;
    std::vector<Node> items;
};
struct Member {
    std::string key;
    Node value;
};

class OrderedReader {
public:
    explicit OrderedReader(std::string_view text) : text_(text) {}
    Node read(int depth = 0) {
        if (depth > 64) throw std::runtime_error("too deep");
        skip();
        Node node;
        if (text_[pos_] == '{') {
            node.kind = Node::Object;
            ++pos_;
            skip();
            if (text_[pos_] == '}') return ++pos_, node;
            while (true) {
                skip();
                std::string key = string();
                skip();
                ++pos_;  // ':'
                node.members.push_back(Member{std::move(key), read(depth + 1)});
                skip();
                if (text_[pos_++] == '}') return node;
            }
        }
        if (text_[pos_] == '[') {
            node.kind = Node::Array;
            ++pos_;
            skip();
            if (text_[pos_] == ']') return ++pos_, node;
            while (true) {
                node.items.push_back(read(depth + 1));
                skip();
                if (text_[pos_++] == ']') return node;
            }
        }
        if (text_[pos_] == '"') {
            string();
            return node;
        }
        while (pos_ < text_.size() && std::string_view(",]}").find(text_[pos_]) == std::string_view::npos) ++pos_;
        return node;
    }

private:
    void skip() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            ++pos_;
            ++blanks;
        }
    }
    std::string string() {
        std::string out;
        ++pos_;
        while (text_[pos_] != '"') {
            if (text_[pos_] == '\\') out.push_back(text_[pos_++]);
            out.push_back(text_[pos_++]);
        }
        ++pos_;
        return out;
    }
    std::string_view text_;
    std::size_t pos_ = 0;

public:
    std::size_t blanks = 0;  // white space outside strings: none in compact form
};

// Every object's keys must appear in the order its schema's "x-order" lists them.
void check_key_order(const Node& node, std::vector<const Value*> schemas, const Value& root, const std::string& where) {
    // Expand references and branches into the schemas that describe this node.
    for (std::size_t i = 0; i < schemas.size(); ++i) {
        const Value* s = schemas[i];
        if (s == nullptr || !s->is_object()) continue;
        if (const Value* ref = s->find("$ref"); ref && ref->is_string() && ref->as_string().starts_with("#")) {
            schemas.push_back(deririrore::referencing::pointer_lookup(root, ref->as_string().substr(1)));
        }
        for (const char* branch : {"oneOf", "allOf", "anyOf"}) {
            if (const Value* list = s->find(branch); list && list->is_array())
                for (const Value& item : list->as_array()) schemas.push_back(&item);
        }
    }
    if (node.kind == Node::Object) {
        const Value* order = nullptr;
        for (const Value* s : schemas)
            if (s && s->is_object() && s->find("x-order")) order = s->find("x-order");
        if (order != nullptr) {
            std::size_t last = 0;
            bool first = true;
            for (const auto& [key, child] : node.members) {
                std::size_t at = 0;
                while (at < order->as_array().size() && order->as_array()[at].as_string() != key) ++at;
                EXPECT_LT(at, order->as_array().size()) << where << ": unexpected key " << key;
                EXPECT_TRUE(first || at > last) << where << ": key " << key << " out of order";
                first = false;
                last = at;
            }
        }
        for (const auto& [key, child] : node.members) {
            std::vector<const Value*> next;
            for (const Value* s : schemas) {
                if (s == nullptr || !s->is_object()) continue;
                const Value* properties = s->find("properties");
                if (properties && properties->find(key)) {
                    next.push_back(properties->find(key));
                } else if (const Value* more = s->find("additionalProperties"); more && more->is_object()) {
                    next.push_back(more);
                }
            }
            check_key_order(child, next, root, where + "/" + key);
        }
    } else if (node.kind == Node::Array) {
        std::vector<const Value*> next;
        for (const Value* s : schemas)
            if (s && s->is_object() && s->find("items")) next.push_back(s->find("items"));
        for (std::size_t i = 0; i < node.items.size(); ++i)
            check_key_order(node.items[i], next, root, where + "/" + std::to_string(i));
    }
}

std::optional<Value> report_schema() {
    std::ifstream in(std::string(VC_SOURCE_DIR) + "/tests/data/json_report.schema.json");
    if (!in) return std::nullopt;
    std::stringstream buffer;
    buffer << in.rdbuf();
    auto parsed = deririrore::value::parse_json(buffer.str());
    if (!parsed) return std::nullopt;
    return std::move(parsed).value();
}

// A map with something in every section: traffic with partial and failing checks, labels, a
// diagnostic, unmatched requests, a dropped request.
CoverageMap busy_map() {
    CoverageMap map = map_of(
        R"("/pets/{id}": {"get": {"operationId": "getPet", "parameters": [
              {"name": "id", "in": "path", "required": true, "schema": {"type": "integer", "minimum": 1}},
              {"name": "q", "in": "query", "schema": {"$ref": "#/components/schemas/Missing"}}],
            "responses": {"200": {"description": "ok", "content": {"application/json": {"schema":
                {"type": "object", "required": ["name"], "properties": {"name": {"type": "string"}}}}}},
                          "default": {"description": "other"}}},
            "post": {"requestBody": {"content": {"application/json": {"schema": {"type": "object"}}}},
                     "responses": {"201": {"description": "made"}}}},
          "/broken/{x": {"get": {"responses": {"200": {"description": "ok"}}}},
          "/owners": {"get": {"responses": {"200": {"description": "ok"}}}})");
    record(map, HttpMethod::Get, "http://h/pets/3", 200, 10.0, R"({"name": "rex"})", 0.25f, {"b", "a"});
    record(map, HttpMethod::Get, "http://h/pets/0", 200, 11.0, R"({"name": 5})", 0.5f, {"ab"});
    record(map, HttpMethod::Get, "http://h/pets/0", 404, 12.0, std::nullopt, 0.5f);
    record(map, HttpMethod::Get, "http://h/nowhere", 200, 13.0);
    record(map, HttpMethod::Delete, "http://h/owners", 200, 14.0);
    map.dropped_requests = 1;
    operation(map, "/pets/{id}").errors.insert("it \"broke\"\tbadly");
    return map;
}

TEST(JsonReport, ValidatesAgainstItsSchemaWithKeysInOrder) {
    const auto schema = report_schema();
    ASSERT_TRUE(schema.has_value()) << "tests/data/json_report.schema.json";
    auto validator = deririrore::core::build_validator(
        *schema, deririrore::core::ValidationOptions().with_draft(deririrore::referencing::Draft::Draft202012));
    ASSERT_TRUE(validator.has_value()) << validator.error().message();

    CoverageMap busy = busy_map();
    CoverageMap empty = map_of("");
    for (const CoverageMap* map : {&busy, &empty}) {
        const std::string text = vantorel::reports::write_json_report(*map);
        auto instance = deririrore::value::parse_json(text);
        ASSERT_TRUE(instance.has_value()) << text;
        for (const auto& error : validator->iter_errors(*instance)) {
            ADD_FAILURE() << error.message() << " at " << error.instance_path().view() << " (schema "
                          << error.schema_path().view() << ")";
        }
        OrderedReader reader(text);
        check_key_order(reader.read(), {&*schema}, *schema, "");
        EXPECT_EQ(reader.blanks, 0u);
    }
    const std::string text = vantorel::reports::write_json_report(busy);
    for (const char* member : {"\"labels\":{\"a\":", "\"diagnostics\":[", "\"unmatched\":[", "\"dropped_requests\":1}",
                               "\"kind\":\"unroutable\"", "\"kind\":\"unresolvable_reference\"",
                               "\"errors\":[\"it \\\"broke\\\"\\tbadly\"]"}) {
        EXPECT_NE(text.find(member), std::string::npos) << member << "\n" << text;
    }
    // The schema rejects what the presence rules forbid.
    auto broken = deririrore::value::parse_json(R"({"$schema":"https://vantorel.dev/schemas/coverage-report.v1.json",)"
                                                R"("version":"1.0","vantorel_version":")" VANTOREL_VERSION_TEXT
                                                R"(","generated_at":"x",)"
                                                R"("summary":{},"operations":[],"unmatched":[]})");
    ASSERT_TRUE(broken.has_value());
    EXPECT_FALSE(validator->is_valid(*broken));
}

TEST(ReportModel, SummaryLabelsAndUnmatchedOrder) {
    CoverageMap map = busy_map();
    record(map, HttpMethod::Post, "http://h/nowhere", 200, 9.0);
    record(map, HttpMethod::Post, "http://h/nowhere", 200, 9.0);
    record(map, HttpMethod::Get, "http://a/nowhere", 200, 8.0);
    const ReportModel model = vantorel::reports::build_report_model(map);
    // The unroutable template's never-hit operation is listed but not counted.
    EXPECT_EQ(model.operations.size(), 4u);
    EXPECT_EQ(model.summary.operations.total, 3u);
    EXPECT_EQ(model.summary.operations.covered, 1u);
    ASSERT_TRUE(model.summary.operations.percent.has_value());
    EXPECT_EQ(*model.summary.operations.percent, 100.0 / 3.0);

    std::vector<std::string> names;
    for (const auto& [name, summary] : model.labels) {
        names.push_back(name);
        EXPECT_EQ(summary.operations.total, model.summary.operations.total);
        EXPECT_EQ(summary.response_keywords.total, model.summary.response_keywords.total);
        EXPECT_LE(summary.response_keywords.reached, summary.response_keywords.total) << name;
        EXPECT_EQ(summary.operations.covered, 1u) << name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "ab", "b"}));
    // "ab" sent an invalid id and a violating body; "a" a valid one.
    EXPECT_GE(model.labels.at("ab").response_keywords.violated, 1u);
    EXPECT_EQ(model.labels.at("a").response_keywords.violated, 0u);
    EXPECT_EQ(model.labels.at("a").parameters.covered + model.labels.at("a").parameters.partial, 1u);

    std::vector<std::string> unmatched;
    for (const auto& g : model.unmatched) {
        unmatched.push_back(std::string(http::method_name(g.method)) + " " + g.host + g.path + " " +
                            std::to_string(g.count));
    }
    EXPECT_EQ(unmatched, (std::vector<std::string>{"POST h/nowhere 2", "DELETE h/owners 1", "GET a/nowhere 1",
                                                   "GET h/nowhere 1"}));
    EXPECT_EQ(model.unmatched[1].reason, 1u);
    EXPECT_EQ(model.dropped_requests, 1u);
}

TEST(ReportModel, LabelTotalsNeverFallBelowWhatTheLabelReached) {
    // Response keywords of an unmeasured operation (never hit, unroutable) count in no total, so a
    // label's bits there must not count either.
    CoverageMap map = map_of(R"("/x/{a": {"get": {"responses": {"200": {"description": "ok", "content":
                                    {"application/json": {"schema": {"type": "object", "required": ["a"]}}}}}}},
                                "/y": {"get": {"responses": {"200": {"description": "ok"}}}})");
    record(map, HttpMethod::Get, "http://h/y", 200, 1.0, std::nullopt, 0.1f, {"t"});
    ASSERT_FALSE(map.labels.bitmaps.empty());
    const auto& body = operation(map, "/x/{a").responses[0].bodies[0];
    for (std::size_t n = 0; n < body.holder.state->entries.size(); ++n) {
        map.labels.bitmaps[0].add(static_cast<std::uint32_t>(2 * (body.holder.label_slot_base + n)));
    }
    const ReportModel model = vantorel::reports::build_report_model(map);
    const auto& label = model.labels.at("t");
    EXPECT_EQ(label.response_keywords.total, 0u);
    EXPECT_EQ(label.response_keywords.reached, 0u);
    EXPECT_FALSE(label.response_keywords.percent.has_value());
}

TEST(ReportModel, GeneratedAtTrimsTheFraction) {
    struct Case {
        std::int64_t seconds;
        std::uint32_t nanos;
        std::string_view text;
    };
    const Case cases[] = {
        {1741338302, 0, "2025-03-07T09:05:02Z"},
        {1741338302, 500000000, "2025-03-07T09:05:02.5Z"},
        {1741338302, 123000, "2025-03-07T09:05:02.000123Z"},
        {0, 1, "1970-01-01T00:00:00.000000001Z"},
        {951782400, 0, "2000-02-29T00:00:00Z"},
    };
    for (const Case& c : cases) EXPECT_EQ(vantorel::reports::format_generated_at(c.seconds, c.nanos), c.text);
}

}  // namespace
