// Body dispatch: which decoder a media type calls for, the tracing of the decoded value into the
// body target with its exact numbers, hits and covered_at, and the choice among declared ranges.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "tracer_fixture.hpp"
#include "vantorel/recorders/body_dispatch.hpp"
#include "vantorel/recorders/json_body.hpp"
#include "xml/hints.hpp"

namespace {

using namespace vantorel::recorders;
using tracertest::json;
using tracertest::Measured;

struct Target {
    Measured measured;
    xml::XmlHints hints;
    multipart::FieldSpecs specs;

    explicit Target(const char* schema) : measured(schema), hints(xml::xml_hints_from_schema(measured.schema)) {}
    BodyTarget view() { return BodyTarget{&*measured.validator, &measured.holder, &measured.schema, &specs, &hints}; }
};

http::MediaType media(const char* text) {
    auto parsed = parse_media_type(text);
    if (!parsed) throw std::invalid_argument(text);
    return *parsed;
}

TEST(BodyDispatch, ChoosesTheDecoderByMediaType) {
    const char* object_schema = R"({"type": "object", "properties": {"a": {"type": "integer"}}})";
    const char* binary_schema = R"({"type": "string", "format": "binary", "description": "a file"})";
    const std::string multipart_body = "--XYZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n7\r\n--XYZ--\r\n";
    struct Case {
        const char* content_type;
        std::string body;
        const char* schema;
        std::optional<std::string> decoded;  // compact JSON; none: not traced
    };
    const Case cases[] = {
        {"application/json", R"({"a": 1})", object_schema, R"({"a":1})"},
        {"application/vnd.api+json; charset=utf-8", "[1.0]", object_schema, "[1.0]"},
        {"application/json", "{", object_schema, std::nullopt},
        {"application/yaml", "a: 1", object_schema, std::nullopt},
        {"application/x-yaml", "a: 1", object_schema, std::nullopt},
        {"text/yaml", "a: 1", object_schema, R"("a: 1")"},
        {"text/csv", "x,y", object_schema, R"("x,y")"},
        {"text/plain; charset=latin1", "caf\xE9", object_schema, "\"caf\xEF\xBF\xBD\""},
        {"application/octet-stream", "\x01", object_schema, R"("\u0001")"},
        {"image/png", "\x89PNG", object_schema, std::nullopt},
        {"application/xml", "<root><a>5</a></root>", object_schema, R"({"a":5})"},
        {"image/svg+xml", "<svg><a>5</a></svg>", object_schema, R"({"a":5})"},
        {"application/xml", "<root><a>5</a>", object_schema, std::nullopt},
        {"multipart/form-data", "anything at all", binary_schema, R"("anything at all")"},
        {"multipart/form-data", multipart_body, object_schema, std::nullopt},  // no boundary
        {"multipart/form-data; boundary=XYZ", multipart_body, object_schema, R"({"a":7})"},
        {"application/x-www-form-urlencoded", "a=3", object_schema, R"({"a":3})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.content_type) + " / " + c.schema);
        Target target(c.schema);
        const auto value = decode_body_by_media_type(c.body, media(c.content_type), target.view());
        ASSERT_EQ(value.has_value(), c.decoded.has_value()) << (value ? deririrore::value::to_json(*value) : "");
        if (value) {
            EXPECT_EQ(deririrore::value::to_json(*value), *c.decoded);
        }
        // Tracing follows decoding: the root entry counts exactly when a value was decoded.
        EXPECT_EQ(trace_body_by_media_type(c.body, media(c.content_type), target.view(), 1.0), c.decoded.has_value());
        const auto* root = target.measured.find("");
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->passed + root->failed, c.decoded ? 1u : 0u);
    }
}

TEST(BodyDispatch, PlainBinarySchemas) {
    struct Case {
        const char* schema;
        bool plain;
    };
    const Case cases[] = {
        {R"({"type": "string", "format": "binary"})", true},
        {R"({"type": "string", "format": "binary", "title": "t", "example": "x"})", true},
        {R"({"type": "string", "format": "binary", "maxLength": 3})", false},
        {R"({"type": ["string"], "format": "binary"})", false},
        {R"({"type": "string", "format": "byte"})", false},
        {R"({"type": "string"})", false},
        {"true", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.schema);
        EXPECT_EQ(is_plain_binary_schema(json(c.schema)), c.plain);
    }
}

// Nothing on the way from body bytes to the keyword outcome goes through a double: 2^53 + 1 is
// above a maximum of 2^53, and an enum of 2^53 does not take it.
TEST(BodyDispatch, NumbersStayExactFromBytesToOutcomes) {
    Target target(R"({"properties": {"n": {"maximum": 9007199254740992, "enum": [9007199254740992, 0.3]},
                                      "f": {"multipleOf": 0.1}}})");
    const std::string body = R"({"n": 9007199254740993, "f": 0.3})";
    ASSERT_TRUE(trace_body_by_media_type(body, media("application/json"), target.view(), 1.0));
    const Measured& m = target.measured;
    EXPECT_EQ(m.find("/properties/n/maximum")->failed, 1u) << m.dump();
    EXPECT_EQ(m.find("/properties/n/enum")->failed, 1u) << m.dump();
    EXPECT_EQ(m.find("/properties/n/enum/0")->passed, 0u) << m.dump();
    EXPECT_EQ(m.find("/properties/f/multipleOf")->passed, 1u) << m.dump();

    // The same body in UTF-16 with its mark traces the same outcomes again.
    std::string utf16 = "\xFF\xFE";
    for (char c : body) {
        utf16 += c;
        utf16 += '\0';
    }
    ASSERT_TRUE(trace_body_by_media_type(utf16, media("application/json"), target.view(), 2.0));
    EXPECT_EQ(m.find("/properties/n/maximum")->failed, 2u);
    EXPECT_EQ(m.find("/properties/f/multipleOf")->passed, 2u);
}

TEST(BodyDispatch, ContentValueCountsHitsAndCoveredAt) {
    Target target(R"({"type": "integer"})");
    const auto json_type = media("application/json");
    trace_content_value("{not json", json_type, target.view(), 1.0);
    trace_content_value(std::string(1000, '['), json_type, target.view(), 2.0);  // too deep: undecodable
    const auto& holder = target.measured.holder;
    EXPECT_EQ(holder.hits, 2u);
    EXPECT_EQ(target.measured.find("")->passed + target.measured.find("")->failed, 0u);
    trace_content_value("1", json_type, target.view(), 3.0);
    EXPECT_EQ(holder.covered_at, 0.0);
    trace_content_value("\"x\"", json_type, target.view(), 4.0);
    ASSERT_TRUE(holder.state->all_covered) << target.measured.dump();
    EXPECT_EQ(holder.covered_at, 4.0);
    trace_content_value("2", json_type, target.view(), 5.0);
    EXPECT_EQ(holder.covered_at, 4.0);
    EXPECT_EQ(holder.hits, 5u);
}

TEST(BodyDispatch, SelectsTheMostSpecificDeclaredRange) {
    const std::vector<http::MediaType> none;
    const std::vector<http::MediaType> json_declared = {media("application/json")};
    struct Case {
        const char* request;
        std::optional<http::MediaType> own;
        const std::vector<http::MediaType>* competing;
        bool selected;
    };
    const Case cases[] = {
        {"application/json", media("application/json"), &none, true},
        {"Application/JSON; charset=utf-8", media("application/json"), &none, true},
        {"application/json", media("application/*"), &json_declared, false},
        {"application/problem+json", media("application/*"), &json_declared, true},
        {"application/problem+json", media("application/json"), &none, false},
        {"text/plain", media("*/*"), &json_declared, true},
        {"text/plain", std::nullopt, &none, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ(select_content_media(media(c.request), c.own, *c.competing), c.selected);
    }
}

}  // namespace
