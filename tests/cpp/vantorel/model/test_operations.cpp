// Operations, parameters, request bodies and responses read from path items, with hydration,
// compilation and measurement replaced by counting stand-ins.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "deririrore/core/options.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/model/document_text.hpp"
#include "vantorel/model/measured_schema.hpp"
#include "vantorel/model/operations.hpp"
#include "vantorel/model/parameters.hpp"
#include "vantorel/model/responses.hpp"
#include "zavova/measured_targets.hpp"

namespace {

using namespace vantorel::model;
using deririrore::make_unexpected;
using deririrore::value::parse_json;
namespace fs = std::filesystem;

Value json(std::string_view text) {
    auto v = parse_json(text);
    if (!v) throw std::runtime_error("bad test JSON: " + std::string(text));
    return std::move(*v);
}

// Stand-ins that count compilations. Hydration copies the document's component root into a
// schema object that holds a "$ref", where local references then find it; a schema holding
// "x-fail" does not compile; every other schema compiles to an accept-all validator, which is all
// the operation model looks at.
struct Counting {
    int compilations = 0;
    OperationServices services() {
        OperationServices s;
        s.hydrate = [](ReferenceContext& c, Value schema, const LoadedDocument*) -> Result<Value, SpecProblem> {
            const char* root = c.version == SpecVersion::Swagger20 ? "definitions" : "components";
            if (schema.is_object() && schema.contains("$ref") && c.document->contains(root)) {
                schema.insert_or_assign(root, *c.document->find(root));
            }
            return schema;
        };
        s.draft = [](const ReferenceContext& c, const Value&) {
            return c.version == SpecVersion::Swagger20 || c.version == SpecVersion::OpenApi30 ? Draft::Draft4
                                                                                              : Draft::Draft202012;
        };
        s.compile = [this](Value& schema, Draft, std::string_view, bool) -> Result<CompiledMeasure, SpecProblem> {
            ++compilations;
            if (schema.is_object() && schema.contains("x-fail")) {
                return make_unexpected(SpecProblem::unexpected_value_text("x-fail", "schema"));
            }
            auto built = deririrore::core::build_validator(Value::boolean(true));
            return CompiledMeasure{std::make_shared<const deririrore::core::Validator>(*built), {}};
        };
        s.measure = [](const std::shared_ptr<const Value>& schema, Draft draft, const CompiledMeasure&, TargetRecipe) {
            return zavova::build_coverage_state(*schema, draft, {});
        };
        return s;
    }
};

SpecVersion version_of(const Value& doc) {
    if (doc.contains("swagger")) return SpecVersion::Swagger20;
    const Value* v = doc.find("openapi");
    if (v != nullptr && v->is_string() && v->as_string().starts_with("3.2")) return SpecVersion::OpenApi32;
    if (v != nullptr && v->is_string() && v->as_string().starts_with("3.1")) return SpecVersion::OpenApi31;
    return SpecVersion::OpenApi30;
}

// Every path item of a document read into method maps, in key order.
struct Built {
    Value document;
    ReferenceContext context;
    std::vector<std::pair<std::string, MethodMap>> paths;
    Counting counting;

    explicit Built(Value doc, std::optional<std::string> location = std::nullopt) : document(std::move(doc)) {
        context = new_reference_context(document, version_of(document), location);
        const OperationServices services = counting.services();
        if (const Value* items = document.find("paths"); items != nullptr && items->is_object()) {
            for (const auto& [key, item] : items->as_object()) {
                paths.emplace_back(key, MethodMap());
                extract_path_item(paths.back().second, key, item, context, services);
            }
        }
    }
    explicit Built(std::string_view text) : Built(json(text)) {}

    const OperationRecord& op(std::string_view path, HttpMethod method) const {
        for (const auto& [key, methods] : paths) {
            if (key == path && methods.get(method) != nullptr) return *methods.get(method);
        }
        throw std::runtime_error("no operation " + std::string(path));
    }
    std::vector<std::string> problem_kinds() const {
        std::vector<std::string> out;
        for (const ProblemEntry& p : context.problems) out.emplace_back(spec_problem_kind(p.problem));
        return out;
    }
};

std::string status_text(const StatusPattern& s) {
    std::string out;
    for (const auto& p : s.positions) out += p.present ? char('0' + p.digit) : 'X';
    return out;
}

std::string location_text(const ParameterTarget& t) { return std::string(parameter_location_name(target_location(t))); }

// "METHOD path | loc:name ... | status[media,media body] ..." as the golden listings write it.
std::vector<std::string> listing(const Built& built) {
    std::vector<std::string> out;
    for (const auto& [path, methods] : built.paths) {
        for (auto entry : methods) {
            const OperationRecord& r = entry.record;
            std::string line = std::string(http::method_name(entry.method)) + " " + path + " |";
            for (const ParameterTarget& t : r.parameters) line += " " + location_text(t) + ":" + t.name;
            line += " |";
            auto responses = r.responses;
            if (r.has_default_response) responses.push_back(r.default_response);
            for (std::size_t i = 0; i < responses.size(); ++i) {
                const bool is_default = r.has_default_response && i + 1 == responses.size();
                line += " " + (is_default ? std::string("default") : status_text(responses[i].status)) + "[";
                for (std::size_t b = 0; b < responses[i].bodies.size(); ++b) {
                    if (b) line += " ";
                    const auto& types = responses[i].bodies[b].media_types;
                    for (std::size_t k = 0; k < types.size(); ++k) line += (k ? "," : "") + types[k].essence();
                }
                line += "]";
            }
            out.push_back(line);
        }
    }
    return out;
}

template <class T>
const T& problem_as(const ProblemEntry& entry) {
    const T* p = entry.problem.get_if<T>();
    if (p == nullptr)
        throw std::runtime_error("problem of another kind: " + std::string(spec_problem_kind(entry.problem)));
    return *p;
}

TEST(StatusPatterns, KeysParseOrGiveTheirProblem) {
    const struct {
        std::string_view key;
        std::string_view pattern;  // empty: a problem of `kind`
        std::string_view kind;
        char32_t character = 0;
    } cases[] = {
        {"200", "200", ""},
        {"2XX", "2XX", ""},
        {"20X", "20X", ""},
        {"XXX", "XXX", ""},
        {"X04", "X04", ""},
        {"599", "599", ""},
        {"2xx", "", "invalid_status_code_character", U'x'},
        {"20", "", "invalid_status_code"},
        {"2000", "", "invalid_status_code"},
        {"", "", "invalid_status_code"},
        {"600", "", "status_code_out_of_range"},
        {"099", "", "status_code_out_of_range"},
        {"2\xc3\xa9"
         "0",
         "", "invalid_status_code"},                                    // 2é0: four bytes
        {"2\xc3\xa9", "", "invalid_status_code_character", U'\u00e9'},  // 2é: three bytes
        {"2 0", "", "invalid_status_code_character", U' '},
    };
    for (const auto& c : cases) {
        auto parsed = parse_status_pattern(c.key);
        if (c.pattern.empty()) {
            ASSERT_FALSE(parsed) << c.key;
            EXPECT_EQ(spec_problem_kind(parsed.error()), c.kind) << c.key;
            if (auto* ch = parsed.error().get_if<problems::InvalidStatusCodeCharacter>()) {
                EXPECT_EQ(ch->character, c.character) << c.key;
            }
        } else {
            ASSERT_TRUE(parsed) << c.key;
            EXPECT_EQ(status_text(*parsed), c.pattern);
        }
    }
    EXPECT_TRUE(parse_status_pattern("2XX")->matches(204));
    EXPECT_FALSE(parse_status_pattern("20X")->matches(210));
}

TEST(Responses, OrderedByDigitsWithDefaultApartAndBadKeysSkipped) {
    Built b(R"({"openapi": "3.0.3", "paths": {"/a": {"get": {"responses": {
        "2XX": {"description": "any"}, "200": {"description": "ok"}, "20X": {}, "default": {},
        "x-note": {}, "2xx": {}, "600": {}, "20": {}, "201": "plain text", "202": {}}}}}})");
    const OperationRecord& r = b.op("/a", HttpMethod::Get);
    std::vector<std::string> order;
    for (const auto& t : r.responses) order.push_back(status_text(t.status));
    EXPECT_EQ(order, (std::vector<std::string>{"200", "201", "202", "20X", "2XX"}));
    EXPECT_EQ(r.responses[0].description, "ok");
    EXPECT_TRUE(r.has_default_response);
    EXPECT_EQ(r.default_response.description, "");
    EXPECT_EQ(b.problem_kinds(), (std::vector<std::string>{"invalid_status_code", "invalid_status_code_character",
                                                           "status_code_out_of_range"}));
    // A bad key is recorded at the operation (its key stays in the problem, and diagnostics name the response).
    for (const auto& p : b.context.problems) {
        EXPECT_FALSE(p.position.has_value());
        EXPECT_EQ(p.method, static_cast<std::uint8_t>(HttpMethod::Get));
    }
    // The first match is the most specific.
    auto first = std::find_if(r.responses.begin(), r.responses.end(), [](auto& t) { return t.status.matches(204); });
    EXPECT_EQ(status_text(first->status), "20X");
}

TEST(Responses, WithoutDefaultKeyOrResponsesMember) {
    Built b(R"({"openapi": "3.0.3", "paths": {"/a": {"get": {"responses": {"200": {}}}, "put": {},
        "post": {"responses": []}}}})");
    EXPECT_EQ(b.op("/a", HttpMethod::Get).default_response.description, "Default");
    EXPECT_FALSE(b.op("/a", HttpMethod::Get).has_default_response);
    EXPECT_TRUE(b.op("/a", HttpMethod::Put).responses.empty());
    ASSERT_EQ(b.context.problems.size(), 1u);
    EXPECT_EQ(problem_as<problems::UnexpectedType>(b.context.problems[0]).field, "responses");
}

TEST(Responses, OneBodyPerMediaEssence) {
    Built b(R"({"openapi": "3.1.0", "paths": {"/a": {"get": {"responses": {"200": {"content": {
        "*/*": {"schema": {}}, "application/*": {"schema": {}},
        "application/json": {"schema": {"maximum": 1}},
        "application/json; charset=utf-8": {"schema": {"maximum": 1.0}},
        "APPLICATION/JSON": {"schema": {"maximum": 1}},
        "application/json;v=2": {"schema": {"maximum": 2}},
        "json": {"schema": {}}, "text/plain": {"description": "no schema"}}}}}}}})");
    const auto& bodies = b.op("/a", HttpMethod::Get).responses.at(0).bodies;
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[0].media_type.essence(), "application/json");
    EXPECT_EQ(bodies[1].media_type.essence(), "application/*");
    EXPECT_EQ(bodies[2].media_type.essence(), "*/*");
    // "APPLICATION/JSON" sorts first; 1.0 is the same number as 1.
    EXPECT_EQ(bodies[0].media_types.size(), 3u);
    ASSERT_EQ(b.context.problems.size(), 2u);
    const auto& dup = b.context.problems[0];
    EXPECT_EQ(problem_as<problems::UnexpectedValue>(dup).value, "application/json;v=2 duplicates application/json");
    EXPECT_EQ(problem_as<problems::UnexpectedValue>(dup).field, "content");
    EXPECT_EQ(std::get<positions::ResponseBody>(*dup.position).media_type, "application/json;v=2");
    EXPECT_EQ(problem_as<problems::UnexpectedValue>(b.context.problems[1]).value, "json");
}

TEST(Responses, EqualSchemasShareOneCompiledValidator) {
    Built b(R"({"openapi": "3.0.3", "paths": {
        "/a": {"get": {"responses": {"200": {"content": {"application/json": {"schema": {"type": "object"}}}},
                                      "404": {"content": {"application/problem+json": {"schema": {"type": "object"}}}}}}},
        "/b": {"get": {"responses": {"200": {"content": {"application/json": {"schema": {"type": "object"}}}}}},
               "put": {"responses": {"200": {"content": {"application/xml": {"schema": {"type": "object"}}}}}}}}})");
    const auto& a200 = b.op("/a", HttpMethod::Get).responses[0].bodies[0];
    const auto& a404 = b.op("/a", HttpMethod::Get).responses[1].bodies[0];
    const auto& b200 = b.op("/b", HttpMethod::Get).responses[0].bodies[0];
    const auto& xml = b.op("/b", HttpMethod::Put).responses[0].bodies[0];
    // JSON bodies share one entry; the XML body is classified apart and compiled once more.
    EXPECT_EQ(b.counting.compilations, 2);
    EXPECT_EQ(b.context.schema_cache.size(), 2u);
    EXPECT_EQ(a200.validator, a404.validator);
    EXPECT_EQ(a200.validator, b200.validator);
    EXPECT_EQ(a200.xml_hints, b200.xml_hints);
    EXPECT_EQ(a200.holder.state, b200.holder.state);
    EXPECT_NE(xml.validator, a200.validator);
    // Hints are learned only where a body may be XML.
    EXPECT_FALSE(xml.xml_hints->empty());
    EXPECT_TRUE(a200.xml_hints->empty());
}

TEST(Responses, UndecodedBodiesAndCompileFailures) {
    Built b(R"({"openapi": "3.0.3", "paths": {"/a": {"get": {"responses": {"200": {"content": {
        "application/octet-stream": {"schema": {"type": "string", "maxLength": 3}},
        "*/*": {"schema": {"type": "string", "maxLength": 3}},
        "text/csv": {"schema": {"x-fail": true}}}}}}}}})");
    const auto& bodies = b.op("/a", HttpMethod::Get).responses[0].bodies;
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0].media_type.essence(), "application/octet-stream");
    EXPECT_TRUE(bodies[0].count_undecoded);
    EXPECT_FALSE(bodies[1].count_undecoded);
    ASSERT_FALSE(bodies[0].holder.state->entries.empty());
    for (std::size_t i = 0; i < bodies[0].holder.state->entries.size(); ++i) {
        EXPECT_EQ(bodies[0].holder.state->entries.entry(i).kind,
                  zavova::EntryKind::unmeasured(zavova::UnmeasuredReason::UntraceableMediaType));
    }
    // The undecoded body's state is its own: the */* body sharing the cache entry keeps keywords.
    EXPECT_NE(bodies[0].holder.state, bodies[1].holder.state);
    ASSERT_EQ(b.context.problems.size(), 1u);
    EXPECT_EQ(std::get<positions::ResponseBody>(*b.context.problems[0].position).media_type, "text/csv");
}

TEST(Responses, RefsResolveOrGiveAProblemAtTheResponse) {
    Built b(R"({"openapi": "3.0.3", "components": {"responses": {"Ok": {"description": "fine",
        "content": {"application/json": {"$ref": "#/components/x-media"}}}}, "x-media": {"schema": {}}},
        "paths": {"/a": {"get": {"responses": {"200": {"$ref": "#/components/responses/Ok"},
                                               "404": {"$ref": "#/components/responses/Missing"}}}}}})");
    const OperationRecord& r = b.op("/a", HttpMethod::Get);
    ASSERT_EQ(r.responses.size(), 1u);
    EXPECT_EQ(r.responses[0].description, "fine");
    EXPECT_EQ(r.responses[0].bodies.size(), 1u);
    ASSERT_EQ(b.context.problems.size(), 1u);
    EXPECT_EQ(std::get<positions::Response>(*b.context.problems[0].position).status, "404");
    EXPECT_EQ(spec_problem_kind(b.context.problems[0].problem), "unresolvable_reference");
}

TEST(FileSchemas, FollowLocalRefsOnceEach) {
    EXPECT_TRUE(is_file_schema(json(R"({"type": "file"})")));
    EXPECT_TRUE(is_file_schema(json(R"({"$ref": "#/definitions/F", "definitions": {"F": {"type": "file"}}})")));
    EXPECT_FALSE(is_file_schema(json(R"({"$ref": "#/definitions/A", "definitions": {"A": {"$ref": "#/definitions/B"},
                                                                                    "B": {"$ref": "#/definitions/A"}}})")));
    EXPECT_FALSE(is_file_schema(json(R"({"$ref": "#/%FF"})")));
    EXPECT_FALSE(is_file_schema(json(R"({"type": "string"})")));
}

TEST(Swagger2, ProducesGiveOneBodyAndFileSchemasCountUndecoded) {
    Built b(R"({"swagger": "2.0", "produces": ["application/xml"], "definitions": {"F": {"type": "file"}},
        "paths": {"/a": {
          "get": {"produces": ["application/json", "APPLICATION/JSON", "application/json; charset=utf-8", "text/csv"],
                  "responses": {"200": {"schema": {"type": "object"}}}},
          "put": {"responses": {"200": {"schema": {"$ref": "#/definitions/F"}}}},
          "post": {"produces": "application/json", "responses": {"200": {"schema": {}}}},
          "delete": {"produces": [42, "nonsense"], "responses": {"200": {"schema": {}}}},
          "patch": {"produces": "bad, but no responses"}}}})");
    const auto& get = b.op("/a", HttpMethod::Get).responses[0].bodies;
    ASSERT_EQ(get.size(), 1u);
    EXPECT_EQ(get[0].media_types.size(), 2u);
    EXPECT_EQ(get[0].media_types[1].essence(), "text/csv");
    const auto& put = b.op("/a", HttpMethod::Put).responses[0].bodies;
    ASSERT_EQ(put.size(), 1u);
    EXPECT_EQ(put[0].media_type.essence(), "application/xml");  // inherited from the root
    EXPECT_TRUE(put[0].count_undecoded);
    EXPECT_EQ(put[0].schema->find("type")->as_string(), "file");
    const auto& file_entries = put[0].holder.state->entries;
    ASSERT_EQ(file_entries.size(), 2u);  // the file entries only
    EXPECT_EQ(file_entries.location(0), "");
    EXPECT_EQ(file_entries.location(1), "/type");
    EXPECT_TRUE(b.op("/a", HttpMethod::Post).responses[0].bodies.empty());
    std::vector<std::string> problems;
    for (const auto& p : b.context.problems) {
        if (auto* t = p.problem.get_if<problems::UnexpectedType>()) problems.push_back(std::string(t->field));
        if (auto* v = p.problem.get_if<problems::UnexpectedValue>()) problems.push_back(v->value);
    }
    EXPECT_EQ(problems, (std::vector<std::string>{"42", "nonsense", "produces"}));  // delete before post
}

TEST(Swagger2, ConsumesDecideTheBodyMediaTypes) {
    const struct {
        std::string_view operation_consumes;  // JSON, or empty for none
        std::string_view root_consumes;
        std::string_view body;
        std::optional<std::string_view> non_json;
    } cases[] = {
        {R"(["application/json", "application/x-www-form-urlencoded"])", "", "application/json", std::nullopt},
        {R"(["application/x-www-form-urlencoded", "multipart/form-data"])", "", "application/x-www-form-urlencoded",
         "application/x-www-form-urlencoded"},
        {R"(["text/plain"])", "", "text/plain", "text/plain"},
        {R"(["application/xml"])", "", "application/xml", "application/xml"},
        {R"("multipart/form-data")", R"(["multipart/form-data"])", "multipart/form-data", "multipart/form-data"},
        {"", "", "application/json", std::nullopt},
        {R"([3, "text/plain"])", "", "text/plain", std::nullopt},
        {"[]", R"(["text/plain"])", "application/json", std::nullopt},
    };
    for (const auto& c : cases) {
        std::string doc = R"({"swagger": "2.0", )";
        if (!c.root_consumes.empty()) doc += R"("consumes": )" + std::string(c.root_consumes) + ", ";
        doc += R"("paths": {"/a": {"post": {)";
        if (!c.operation_consumes.empty()) doc += R"("consumes": )" + std::string(c.operation_consumes) + ", ";
        doc += R"("parameters": [{"name": "b", "in": "body", "schema": {}}]}}}})";
        Built b(doc);
        const auto& body = b.op("/a", HttpMethod::Post).parameters.at(0);
        EXPECT_EQ(body.body_media_type, c.body) << c.operation_consumes;
        EXPECT_EQ(body.non_json_body_media_type, c.non_json) << c.operation_consumes;
        EXPECT_EQ(b.context.body_media_type, "application/json");
        EXPECT_FALSE(b.context.non_json_body_media_type);
        EXPECT_TRUE(b.context.problems.empty());
    }
}

TEST(Swagger2, ParametersByLocation) {
    Built b(R"({"swagger": "2.0", "paths": {"/a/{id}": {"parameters": [{"name": "q", "in": "query", "type": "array",
        "items": {"type": "integer", "collectionFormat": "pipes"}, "collectionFormat": "multi", "default": [1]}],
        "post": {"parameters": [
          {"name": "f", "in": "formData", "type": "file"},
          {"name": "h", "in": "header", "type": "string", "collectionFormat": "multi"},
          {"name": "n", "in": "query", "type": "array", "items": {"collectionFormat": "multi"}},
          {"name": "b", "in": "body"},
          {"name": "c", "in": "cookie", "type": "string"}]}}}})");
    const OperationRecord& r = b.op("/a/{id}", HttpMethod::Post);
    std::vector<std::string> names;
    for (const auto& t : r.parameters) names.push_back(location_text(t) + ":" + t.name);
    EXPECT_EQ(names, (std::vector<std::string>{"query:q", "formData:f", "path:id"}));
    EXPECT_EQ(r.parameters[0].collection_format, CollectionFormat::Multi);
    EXPECT_FALSE(r.parameters[0].schema->contains("default"));
    EXPECT_EQ(deririrore::value::to_json(*r.parameters[1].schema), R"({"type":"file"})");
    for (const auto& t : r.parameters) EXPECT_EQ(t.tag, kSwagger2Tag);
    std::vector<std::string> kinds = b.problem_kinds();
    EXPECT_EQ(kinds,
              (std::vector<std::string>{"unexpected_value", "unexpected_value", "missing_field", "unexpected_value"}));
}

TEST(Parameters, FieldChecksAndPositions) {
    Built b(R"({"openapi": "3.1.0", "components": {"parameters": {
          "NoIn": {"name": "x"}, "BadExplode": {"name": "e", "in": "query", "explode": 1, "schema": {}}}},
        "paths": {"/a": {"get": {"parameters": [
          "text", 7, {}, {"name": 3, "in": "query"}, {"name": "n"},
          {"name": "r", "in": "query", "required": "yes", "schema": {}},
          {"name": "Q", "in": "Query", "schema": {}},
          {"name": "qs", "in": "querystring", "content": {"application/json": {"schema": {}}}},
          {"$ref": "#/components/parameters/NoIn"}, {"$ref": "#/components/parameters/BadExplode"},
          {"$ref": "#/components/parameters/Missing"},
          {"name": "s", "in": "path", "style": "form", "schema": {}},
          {"name": "ok", "in": "header", "schema": {}}]}}}})");
    EXPECT_EQ(b.op("/a", HttpMethod::Get).parameters.size(), 1u);
    std::vector<std::string> got;
    for (const auto& p : b.context.problems) {
        std::string line(spec_problem_kind(p.problem));
        if (p.position) {
            const auto& pos = std::get<ParameterPosition>(*p.position);
            line += " @" + std::string(parameter_location_name(pos.location)) + ":" + pos.name;
        }
        got.push_back(line);
    }
    EXPECT_EQ(got,
              (std::vector<std::string>{"missing_field", "missing_field", "missing_field", "unexpected_type",
                                        "missing_field", "unexpected_type @query:r", "unexpected_value",
                                        "unexpected_value @querystring:qs", "missing_field", "unexpected_type @query:e",
                                        "unresolvable_reference", "unexpected_value @path:s"}));
    const auto& in_31 = problem_as<problems::UnexpectedValue>(b.context.problems[7]);
    EXPECT_EQ(in_31.allowed.size(), 4u);
}

TEST(Parameters, DefaultsMergingAndImplicitPathParameters) {
    Built b(R"({"openapi": "3.0.3", "paths": {
      "/a/{id}/b/{}": {"parameters": [{"name": "id", "in": "path", "schema": {}},
                                      {"name": "id", "in": "query", "schema": {}}],
        "get": {"parameters": [{"name": "d", "in": "query", "style": "deepObject", "schema": {}},
                               {"name": "id", "in": "path", "style": "label", "schema": {}},
                               {"name": "extra", "in": "path", "schema": {}},
                               {"name": "c", "in": "cookie", "schema": {}},
                               {"name": "X-H", "in": "header", "schema": {}}]}},
      "/a/{id": {"get": {}},
      "/c/{x}{y}": {"get": {}}}})");
    const OperationRecord& r = b.op("/a/{id}/b/{}", HttpMethod::Get);
    std::vector<std::string> names;
    for (const auto& t : r.parameters) names.push_back(location_text(t) + ":" + t.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"path:id", "query:id", "query:d", "path:extra", "cookie:c", "header:X-H"}));
    EXPECT_EQ(r.parameters[0].style, static_cast<std::uint8_t>(PathStyle::Label));  // replaced in place
    EXPECT_FALSE(r.parameters[0].explode);
    EXPECT_TRUE(r.parameters[2].explode);
    EXPECT_EQ(r.parameters[2].style, static_cast<std::uint8_t>(QueryStyle::DeepObject));
    EXPECT_TRUE(r.parameters[4].explode);
    EXPECT_FALSE(r.parameters[5].explode);
    const auto& unclosed = b.op("/a/{id", HttpMethod::Get).parameters;
    ASSERT_EQ(unclosed.size(), 1u);
    EXPECT_EQ(unclosed[0].name, "id");
    EXPECT_EQ(unclosed[0].tag, kPathTag);
    EXPECT_EQ(deririrore::value::to_json(*unclosed[0].schema), R"({"type":"string"})");
    EXPECT_EQ(b.op("/c/{x}{y}", HttpMethod::Get).parameters.size(), 2u);
}

TEST(Parameters, ContentSchemasAndQuerystringConflicts) {
    Built b(R"({"openapi": "3.2.0", "paths": {
      "/two": {"get": {"parameters": [
          {"name": "a", "in": "querystring", "content": {"application/json": {"schema": {}}}},
          {"name": "b", "in": "querystring", "content": {"text/plain": {"schema": {}}}}]}},
      "/mixed": {"get": {"parameters": [
          {"name": "a", "in": "querystring", "content": {"application/x-www-form-urlencoded": {}}},
          {"name": "q", "in": "query", "content": {"application/json": {"schema": {"type": "object"}}}},
          {"name": "h", "in": "header", "content": {"text/plain": {"schema": {}}}},
          {"name": "z", "in": "header", "content": {"a/b": {}, "c/d": {}}}]}}}})");
    const auto& two = b.op("/two", HttpMethod::Get).parameters;
    EXPECT_EQ(two.size(), 2u);
    const auto& mixed = b.op("/mixed", HttpMethod::Get).parameters;
    ASSERT_EQ(mixed.size(), 3u);
    EXPECT_EQ(mixed[1].non_json_content, ContentSource::Json);
    EXPECT_EQ(mixed[2].non_json_content, ContentSource::Other);
    std::vector<ParameterLocation> conflicts;
    for (const auto& p : b.context.problems) {
        if (auto* c = p.problem.get_if<problems::QuerystringConflict>()) conflicts.push_back(c->beside);
    }
    EXPECT_EQ(conflicts, (std::vector<ParameterLocation>{ParameterLocation::Query, ParameterLocation::Querystring}));
    EXPECT_EQ(b.context.problems.size(), 3u);
    EXPECT_EQ(problem_as<problems::UnexpectedValue>(b.context.problems[0]).value, "a/b, c/d");
}

TEST(FreeFormQueries, ExcludeTheOtherQueryNames) {
    const std::string filter =
        R"({"name": "filter", "in": "query", "schema": {"type": "object", "additionalProperties": true}})";
    const std::string page = R"({"name": "page", "in": "query", "schema": {"type": "integer"}})";
    const std::string sort = R"({"name": "sort", "in": "query", "schema": {"$ref": "#/components/schemas/S"}})";
    auto build = [&](const std::string& params) {
        return std::make_unique<Built>(json(R"({"openapi": "3.0.3", "components": {"schemas": {"S": {"type": "object",
            "properties": {"order": {}, "by": {}}}}},
            "paths": {"/a": {"get": {"parameters": [)" +
                                            params + "]}}}}"));
    };
    {
        auto b = build(filter + "," + page);
        EXPECT_EQ(b->op("/a", HttpMethod::Get).parameters[0].excluded_query_names, (std::vector<std::string>{"page"}));
    }
    {
        // The name list of sort follows its reference into its own hydrated schema.
        auto b = build(filter + "," + page + "," + sort);
        EXPECT_EQ(b->op("/a", HttpMethod::Get).parameters[0].excluded_query_names,
                  (std::vector<std::string>{"page", "sort", "by", "order"}));
        EXPECT_TRUE(b->op("/a", HttpMethod::Get).parameters[2].excluded_query_names.empty());
    }
    {
        auto b =
            build(filter + "," + R"({"name": "other", "in": "query", "schema": {"additionalProperties": {}}},)" + page);
        const auto& ps = b->op("/a", HttpMethod::Get).parameters;
        EXPECT_EQ(ps[0].excluded_query_names, (std::vector<std::string>{"other", "page"}));
        EXPECT_EQ(ps[1].excluded_query_names, (std::vector<std::string>{"filter", "page"}));
    }
    const std::string not_free[] = {
        R"({"name": "f", "in": "query", "schema": {"type": "object", "additionalProperties": false}})",
        R"({"name": "f", "in": "query", "schema": {"type": "object"}})",
        R"({"name": "f", "in": "query", "schema": {"type": "object", "properties": {}, "additionalProperties": true}})",
        R"({"name": "f", "in": "query", "explode": false, "schema": {"type": "object", "additionalProperties": true}})",
        R"({"name": "f", "in": "query", "style": "deepObject", "schema": {"type": "object", "additionalProperties": true}})",
        R"({"name": "f", "in": "query", "content": {"application/json": {"schema": {"type": "object", "additionalProperties": true}}}})",
        R"({"name": "f", "in": "query", "schema": {"type": "string", "additionalProperties": true}})",
    };
    for (const auto& p : not_free) {
        auto b = build(p + "," + page);
        EXPECT_TRUE(b->op("/a", HttpMethod::Get).parameters[0].excluded_query_names.empty()) << p;
    }
}

TEST(RequestBodies, NarrowerTypesEncodingsAndRefs) {
    const std::string content = R"({"content": {"*/*": {"schema": {}}, "application/*": {"schema": {}},
        "application/json": {"schema": {}}, "application/json; charset=utf-8": {"schema": {}},
        "text/*": {"schema": {}}, "json": {"schema": {}}, "image/png": {},
        "multipart/form-data": {"schema": {}, "encoding": {"a": {}}},
        "multipart/form-data; boundary=x": {"schema": {}, "encoding": {"a": {}}},
        "application/x-www-form-urlencoded": {"schema": {}, "encoding": {"a": {}}}}})";
    for (const std::string version : {"3.0.3", "3.1.0"}) {
        Built b(
            json(R"({"openapi": ")" + version + R"(", "paths": {"/a": {"post": {"requestBody": )" + content + "}}}}"));
        std::map<std::string, std::vector<std::string>> narrower;
        std::map<std::string, bool> encoding;
        for (const auto& t : b.op("/a", HttpMethod::Post).parameters) {
            EXPECT_EQ(target_location(t), ParameterLocation::Body);
            for (const auto& m : t.narrower_media_types) narrower[t.name].push_back(m.essence());
            encoding[t.name] = t.encoding.has_value();
            if (t.name == "json") {
                EXPECT_FALSE(t.media_type.has_value());
            }
        }
        EXPECT_EQ(encoding.size(), 9u);
        EXPECT_EQ(narrower["*/*"].size(), 8u);  // every other key that parses
        EXPECT_EQ(narrower["application/*"], (std::vector<std::string>{"application/json", "application/json",
                                                                       "application/x-www-form-urlencoded"}));
        EXPECT_TRUE(narrower["text/*"].empty());
        EXPECT_TRUE(narrower["application/json"].empty());
        EXPECT_TRUE(encoding["application/x-www-form-urlencoded"]);
        EXPECT_EQ(encoding["multipart/form-data"], version == "3.1.0");
        EXPECT_FALSE(encoding["multipart/form-data; boundary=x"]);
        EXPECT_TRUE(b.context.problems.empty());
    }
    Built refs(
        R"({"openapi": "3.0.3", "components": {"requestBodies": {"B": {"content": {"application/json": {"schema": {}}}},
        "S": "text"}}, "paths": {"/a": {
          "post": {"requestBody": {"$ref": "#/components/requestBodies/B"}},
          "put": {"requestBody": {"$ref": "#/components/requestBodies/Missing"}},
          "patch": {"requestBody": {"$ref": "#/components/requestBodies/S"}},
          "delete": {"requestBody": {"content": {"application/json": {"$ref": "#/nowhere"}}}}}}})");
    EXPECT_EQ(refs.op("/a", HttpMethod::Post).parameters.size(), 1u);
    EXPECT_EQ(refs.problem_kinds(),
              (std::vector<std::string>{"unresolvable_reference", "unexpected_type", "unresolvable_reference"}));
    EXPECT_TRUE(std::holds_alternative<positions::RequestBodyMediaType>(*refs.context.problems[0].position));
    EXPECT_TRUE(std::holds_alternative<positions::RequestBody>(*refs.context.problems[1].position));
    EXPECT_TRUE(std::holds_alternative<positions::RequestBody>(*refs.context.problems[2].position));
}

TEST(Operations, FieldsMethodKeysAndAdditionalOperations) {
    Built b(R"({"openapi": "3.2.0", "paths": {"/a": {
        "Get": {"operationId": "g", "tags": ["x", 1, "y"], "deprecated": "yes"},
        "post": {"operationId": 5, "tags": "x", "deprecated": true},
        "x-ext": {"get": {}},
        "additionalOperations": {"QUERY": {"operationId": "q"}, "get": {}, "copy": {}, "PATCH": "text"}}}})");
    const OperationRecord& get = b.op("/a", HttpMethod::Get);
    EXPECT_EQ(get.operation_id, "g");
    EXPECT_EQ(get.tags, (std::vector<std::string>{"x", "y"}));
    EXPECT_FALSE(get.deprecated);
    const OperationRecord& post = b.op("/a", HttpMethod::Post);
    EXPECT_FALSE(post.operation_id);
    EXPECT_TRUE(post.tags.empty());
    EXPECT_TRUE(post.deprecated);
    EXPECT_EQ(b.op("/a", HttpMethod::Query).operation_id, "q");
    EXPECT_EQ(b.paths[0].second.get(HttpMethod::Patch), nullptr);
    std::vector<std::pair<std::string, std::uint8_t>> values;
    for (const auto& p : b.context.problems) {
        if (auto* v = p.problem.get_if<problems::UnexpectedValue>()) {
            EXPECT_EQ(v->field, "additionalOperations");
            values.emplace_back(v->value, p.method);
        }
    }
    EXPECT_EQ(values, (std::vector<std::pair<std::string, std::uint8_t>>{{"copy", 0}, {"get", 1}}));
    EXPECT_EQ(b.problem_kinds().front(), "unexpected_type");  // deprecated of GET
}

TEST(Operations, PathItemRefs) {
    Built b(R"({"openapi": "3.0.3", "components": {"pathItems": {
        "WithNumber": {"parameters": 3, "get": {}},
        "WithoutParameters": {"get": {}, "additionalOperations": {"query": {}}},
        "Own": {"parameters": [{"name": "o", "in": "query", "schema": {}}], "get": {}}}},
      "paths": {
        "/n": {"$ref": "#/components/pathItems/WithNumber", "parameters": [{"name": "p", "in": "query", "schema": {}}]},
        "/w": {"$ref": "#/components/pathItems/WithoutParameters", "parameters": [{"name": "p", "in": "query", "schema": {}}]},
        "/o": {"$ref": "#/components/pathItems/Own", "parameters": [{"name": "p", "in": "query", "schema": {}}]},
        "/missing": {"$ref": "#/components/pathItems/Nowhere", "post": {}}}})");
    EXPECT_TRUE(b.op("/n", HttpMethod::Get).parameters.empty());
    EXPECT_EQ(b.op("/w", HttpMethod::Get).parameters.at(0).name, "p");
    EXPECT_EQ(b.op("/w", HttpMethod::Query).parameters.at(0).name, "p");
    EXPECT_EQ(b.op("/o", HttpMethod::Get).parameters.at(0).name, "o");
    EXPECT_NO_THROW(b.op("/missing", HttpMethod::Post));
    ASSERT_EQ(b.context.problems.size(), 1u);
    EXPECT_EQ(b.context.problems[0].path, "/missing");
    EXPECT_EQ(b.context.problems[0].method, 0);
    EXPECT_EQ(spec_problem_kind(b.context.problems[0].problem), "unresolvable_reference");
    EXPECT_TRUE(b.context.scope_stack.empty());
}

// The operations of each published example, as read from the documents by hand.
TEST(OaiExamples, OperationsMatchTheGoldenListings) {
    const fs::path root = fs::path(VC_TESTDATA) / "openapi/oai-examples/examples";
    if (!fs::exists(root)) GTEST_SKIP() << "no test data at " << root;
    const std::vector<std::string> petstore_expanded_v2 = {
        "DELETE /pets/{id} | path:id | 204[] default[application/json]",
        "GET /pets/{id} | path:id | 200[application/json] default[application/json]",
        "GET /pets | query:tags query:limit | 200[application/json] default[application/json]",
        "POST /pets | body:pet | 200[application/json] default[application/json]",
    };
    const std::vector<std::string> petstore_simple = {
        "DELETE /pets/{id} | path:id | 204[] default[application/json]",
        "GET /pets/{id} | path:id | 200[application/json,application/xml,text/xml,text/html] "
        "default[application/json,application/xml,text/xml,text/html]",
        "GET /pets | query:tags query:limit | 200[application/json,application/xml,text/xml,text/html] "
        "default[application/json,application/xml,text/xml,text/html]",
        "POST /pets | body:pet | 200[application/json] default[application/json]",
    };
    const std::vector<std::string> with_examples = {"GET / | | 200[] 300[]", "GET /v2 | | 200[] 203[]"};
    const std::map<std::string, std::vector<std::string>> golden = {
        {"v2.0/api-with-examples", with_examples},
        {"v2.0/petstore-expanded", petstore_expanded_v2},
        {"v2.0/petstore-minimal", {"GET /pets | | 200[application/json]"}},
        {"v2.0/petstore-simple", petstore_simple},
        {"v2.0/petstore-with-external-docs", petstore_simple},
        {"v2.0/petstore",
         {"GET /pets | query:limit | 200[application/json] default[application/json]",
          "POST /pets | | 201[] default[application/json]",
          "GET /pets/{petId} | path:petId | 200[application/json] default[application/json]"}},
        {"v2.0/uber",
         {"GET /estimates/price | query:start_latitude query:start_longitude query:end_latitude query:end_longitude "
          "| 200[application/json] default[application/json]",
          "GET /estimates/time | query:start_latitude query:start_longitude query:customer_uuid query:product_id "
          "| 200[application/json] default[application/json]",
          "GET /history | query:offset query:limit | 200[application/json] default[application/json]",
          "GET /me | | 200[application/json] default[application/json]",
          "GET /products | query:latitude query:longitude | 200[application/json] default[application/json]"}},
        {"v2.0/petstore-separate/spec/swagger", petstore_expanded_v2},
        {"v3.0/api-with-examples", with_examples},
        {"v3.0/callback-example", {"POST /streams | query:callbackUrl | 201[application/json]"}},
        {"v3.0/link-example",
         {"GET /2.0/repositories/{username} | path:username | 200[application/json]",
          "GET /2.0/repositories/{username}/{slug} | path:username path:slug | 200[application/json]",
          "GET /2.0/repositories/{username}/{slug}/pullrequests | path:username path:slug query:state "
          "| 200[application/json]",
          "GET /2.0/repositories/{username}/{slug}/pullrequests/{pid} | path:username path:slug path:pid "
          "| 200[application/json]",
          "POST /2.0/repositories/{username}/{slug}/pullrequests/{pid}/merge | path:username path:slug path:pid "
          "| 204[]",
          "GET /2.0/users/{username} | path:username | 200[application/json]"}},
        {"v3.0/petstore-expanded",
         {"GET /pets | query:tags query:limit | 200[application/json] default[application/json]",
          "POST /pets | body:application/json | 200[application/json] default[application/json]",
          "DELETE /pets/{id} | path:id | 204[] default[application/json]",
          "GET /pets/{id} | path:id | 200[application/json] default[application/json]"}},
        {"v3.0/petstore",
         {"GET /pets | query:limit | 200[application/json] default[application/json]",
          "POST /pets | body:application/json | 201[] default[application/json]",
          "GET /pets/{petId} | path:petId | 200[application/json] default[application/json]"}},
        {"v3.0/uspto",
         {"GET / | | 200[application/json]",
          "GET /{dataset}/{version}/fields | path:dataset path:version | 200[application/json] 404[application/json]",
          "POST /{dataset}/{version}/records | path:version path:dataset body:application/x-www-form-urlencoded "
          "| 200[application/json] 404[]"}},
        {"v3.1/non-oauth-scopes", {"GET /users | |"}},
        {"v3.1/webhook-example", {}},
    };
    std::size_t checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path& path = entry.path();
        if (!entry.is_regular_file() || (path.extension() != ".json" && path.extension() != ".yaml")) continue;
        std::string name = fs::relative(path, root).replace_extension().generic_string();
        for (std::string_view dir : {"/json/", "/yaml/"}) {
            if (auto at = name.find(dir); at != std::string::npos) name.erase(at, dir.size() - 1);
        }
        if (name.find("petstore-separate") != std::string::npos && !name.ends_with("spec/swagger")) continue;
        auto it = golden.find(name);
        ASSERT_NE(it, golden.end()) << "no golden listing for " << path;
        auto doc = read_document_file(path.string());
        ASSERT_TRUE(doc) << path;
        Built b(std::move(*doc), path.string());
        std::vector<std::string> got = listing(b);
        std::vector<std::string> want = it->second;
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << path;
        EXPECT_TRUE(b.context.problems.empty()) << path << ": " << b.problem_kinds().front();
        ++checked;
    }
    EXPECT_EQ(checked, 24u);  // every document but the separate petstore's component files
}

}  // namespace

namespace {

// The same documents through the build's own hydration and compilation: every schema of the
// examples is placed and compiled without a problem, and equal schemas compile once.
TEST(OaiExamples, HydratedAndCompiledWithoutProblems) {
    const fs::path root = fs::path(VC_TESTDATA) / "openapi/oai-examples/examples";
    if (!fs::exists(root)) GTEST_SKIP() << "no test data at " << root;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path& path = entry.path();
        if (!entry.is_regular_file() || (path.extension() != ".json" && path.extension() != ".yaml")) continue;
        if (path.string().find("petstore-separate") != std::string::npos && path.stem() != "swagger") continue;
        auto doc = read_document_file(path.string());
        ASSERT_TRUE(doc) << path;
        ReferenceContext context = new_reference_context(*doc, version_of(*doc), path.string());
        auto cache = std::make_shared<MeasuredSchemaCache>();
        const OperationServices services = default_operation_services(cache);
        std::size_t bodies = 0;
        std::size_t parameters = 0;
        if (const Value* items = doc->find("paths"); items != nullptr && items->is_object()) {
            for (const auto& [key, item] : items->as_object()) {
                MethodMap methods;
                extract_path_item(methods, key, item, context, services);
                for (auto op : methods) {
                    parameters += op.record.parameters.size();
                    for (const auto& r : op.record.responses) bodies += r.bodies.size();
                    for (const auto& t : op.record.parameters) EXPECT_NE(t.validator, nullptr);
                }
            }
        }
        std::vector<std::string> kinds;
        for (const auto& p : context.problems) kinds.emplace_back(spec_problem_kind(p.problem));
        EXPECT_TRUE(kinds.empty()) << path << ": " << kinds.front();
        EXPECT_LE(cache->size(), bodies + parameters) << path;
    }
}

TEST(Responses, EqualSchemasCompileOnceThroughTheBuildsCompiler) {
    const Value doc = json(R"({"openapi": "3.1.0", "components": {"schemas": {"Pet": {"type": "object",
        "properties": {"id": {"type": "integer"}}}}}, "paths": {
        "/a": {"get": {"responses": {"200": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}}}}}}},
        "/b": {"get": {"responses": {"200": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}}}}}}},
        "/c": {"get": {"responses": {"201": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}}}}}}}}})");
    ReferenceContext context = new_reference_context(doc, SpecVersion::OpenApi31, std::nullopt);
    auto cache = std::make_shared<MeasuredSchemaCache>();
    const OperationServices services = default_operation_services(cache);
    std::vector<MethodMap> maps(3);
    const char* paths[] = {"/a", "/b", "/c"};
    for (int i = 0; i < 3; ++i)
        extract_path_item(maps[i], paths[i], *doc.find("paths")->find(paths[i]), context, services);
    EXPECT_TRUE(context.problems.empty());
    EXPECT_EQ(cache->compilations(), 1u);
    EXPECT_EQ(context.schema_cache.size(), 1u);
    const auto& first = maps[0].get(HttpMethod::Get)->responses[0].bodies[0];
    const auto& last = maps[2].get(HttpMethod::Get)->responses[0].bodies[0];
    EXPECT_EQ(first.validator, last.validator);
    EXPECT_TRUE(first.validator->is_valid(json(R"({"id": 1})")));
    EXPECT_FALSE(first.validator->is_valid(json(R"({"id": "x"})")));
}

}  // namespace

namespace {

TEST(References, FailuresOfParameterReferences) {
    const Value doc = json(R"({"openapi": "3.0.3", "components": {"parameters": {
        "A": {"$ref": "#/components/parameters/B"}, "B": {"$ref": "#/components/parameters/A"},
        "C": {"$ref": "#/components/parameters/D"}, "D": {"name": "d", "in": "query", "schema": {}}}},
      "paths": {"/a": {"get": {"parameters": [
        {"$ref": "#/components/parameters/A"}, {"$ref": "https://example.com/p.json"}, {"$ref": 5},
        {"$ref": "other.json#/p"}, {"$ref": "#/components/parameters/C"}, {"$ref": "#/%FF"}]}}}})");
    // A document read from a URL follows no reference out of it.
    ReferenceContext context = new_reference_context(doc, SpecVersion::OpenApi30, "https://example.com/api.json");
    Counting counting;
    MethodMap methods;
    extract_path_item(methods, "/a", *doc.find("paths")->find("/a"), context, counting.services());
    const auto& parameters = methods.get(HttpMethod::Get)->parameters;
    ASSERT_EQ(parameters.size(), 1u);
    EXPECT_EQ(parameters[0].name, "d");  // a chain of references is followed to its end
    std::vector<std::string> kinds;
    for (const auto& p : context.problems) kinds.emplace_back(spec_problem_kind(p.problem));
    EXPECT_EQ(kinds.size(), 5u);
    EXPECT_TRUE(context.problems[0].problem.is<problems::ReferenceLoop>());
    EXPECT_TRUE(context.problems[1].problem.is<problems::ReferenceNotFollowed>());
    EXPECT_TRUE(context.problems[2].problem.is<problems::ReferenceNotText>());
    EXPECT_TRUE(context.problems[3].problem.is<problems::ReferenceNotFollowed>());
    EXPECT_TRUE(context.problems[4].problem.is<problems::UnresolvableReference>());  // looked up with U+FFFD
    EXPECT_TRUE(context.scope_stack.empty());
}

TEST(Parameters, DeepItemsChainsAreCheckedWithoutRecursion) {
    Value schema = json(R"({"type": "string"})");
    for (int i = 0; i < 100000; ++i) {
        Value outer = Value::object();
        outer.insert_or_assign("items", std::move(schema));
        schema = std::move(outer);
    }
    EXPECT_FALSE(read_items_collection_formats(schema));
    Value* innermost = &schema;
    while (innermost->find_mut("items") != nullptr) innermost = innermost->find_mut("items");
    innermost->insert_or_assign("collectionFormat", Value::string("multi"));
    auto problem = read_items_collection_formats(schema);
    ASSERT_TRUE(problem);
    EXPECT_EQ(spec_problem_kind(*problem), "unexpected_value");
}

}  // namespace

namespace {

TEST(Responses, BodiesKeepTheSchemaTheirValidatorWasCompiledFrom) {
    const Value doc = json(R"({"openapi": "3.1.0", "paths": {"/a": {"post": {
        "requestBody": {"content": {"application/json": {"schema": {"properties": {
            "secret": {"writeOnly": true}, "id": {"readOnly": true}}}}}},
        "responses": {"200": {"content": {"application/xml": {"schema": {"xml": {"name": "pet"}, "properties": {
            "secret": {"writeOnly": true}, "id": {"readOnly": true}}}}}}}}}}})");
    ReferenceContext context = new_reference_context(doc, SpecVersion::OpenApi31, std::nullopt);
    const OperationServices services = default_operation_services(std::make_shared<MeasuredSchemaCache>());
    MethodMap methods;
    extract_path_item(methods, "/a", *doc.find("paths")->find("/a"), context, services);
    const OperationRecord& r = *methods.get(HttpMethod::Post);
    const Value& request = *r.parameters.at(0).schema;
    EXPECT_TRUE(request.find("properties")->contains("secret"));
    EXPECT_FALSE(request.find("properties")->contains("id"));
    const ResponseBody& body = r.responses.at(0).bodies.at(0);
    EXPECT_FALSE(body.schema->find("properties")->contains("secret"));
    EXPECT_TRUE(body.schema->find("properties")->contains("id"));
    EXPECT_EQ(xml::hint_at(*body.xml_hints, "").name, "pet");  // learned before `xml` was dropped
}

}  // namespace
