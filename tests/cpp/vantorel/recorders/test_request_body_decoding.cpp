// Request bodies decode with what their media type object says: form fields by their `encoding`,
// XML elements by the schema's `xml` names, also for a target whose measure an equal schema built.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"

namespace {

using http::HttpMethod;
using vantorel::model::OperationRecord;
using vantorel::recorders::build_coverage_map;
using vantorel::recorders::CoverageMap;

constexpr std::string_view kTagsSchema =
    R"({"type": "object", "properties": {"tags": {"type": "array", "items": {"type": "string"}, "minItems": 2}}})";
constexpr std::string_view kNumberSchema =
    R"({"type": "object", "xml": {"name": "r"}, "properties": {"n": {"type": "integer", "maximum": 10, "xml": {"name": "number"}}}})";

std::string openapi_body(std::string_view media_type, std::string_view media_object) {
    const std::string operation = R"({"post": {"requestBody": {"content": {")" + std::string(media_type) + R"(": )" +
                                  std::string(media_object) + R"(}}, "responses": {}}})";
    // Two operations with the same body: the second target reuses the first one's measure.
    return R"({"openapi": "3.1.0", "paths": {"/a": )" + operation + R"(, "/b": )" + operation + "}}";
}

std::string swagger_body(std::string_view media_type, std::string_view schema) {
    const std::string operation = R"({"post": {"parameters": [{"in": "body", "name": "b", "schema": )" +
                                  std::string(schema) + R"(}], "responses": {"200": {"description": ""}}}})";
    return R"({"swagger": "2.0", "info": {"title": "t", "version": "1"}, "consumes": [")" + std::string(media_type) +
           R"("], "paths": {"/a": )" + operation + R"(, "/b": )" + operation + "}}";
}

// How often the check at `location` of the body target passed and failed.
std::pair<std::uint64_t, std::uint64_t> outcomes(CoverageMap& map, std::string_view route, std::string_view location) {
    auto* methods = map.routes.paths.find(route);
    if (methods == nullptr) return {99, 99};
    OperationRecord* op = vantorel::model::get_operation(*methods, HttpMethod::Post);
    if (op == nullptr) return {99, 99};
    for (const auto& target : op->parameters) {
        if (target.location != vantorel::model::ParameterLocation::Body || !target.holder.state) continue;
        const auto* entry = target.holder.state->entries.find(location);
        if (entry == nullptr) return {98, 98};
        return {entry->passed, entry->failed};
    }
    return {97, 97};
}

TEST(RequestBodyDecoding, FormEncodingsAndXmlNamesAreRead) {
    struct Case {
        std::string_view name;
        std::string document;
        std::string content_type;
        std::string body;
        std::string_view location;
        std::uint64_t passed;
        std::uint64_t failed;
    };
    const std::string tags_unexploded =
        R"({"schema": )" + std::string(kTagsSchema) + R"(, "encoding": {"tags": {"style": "form", "explode": false}}})";
    const std::string tags_exploded = R"({"schema": )" + std::string(kTagsSchema) + "}";
    const std::string number = R"({"schema": )" + std::string(kNumberSchema) + "}";
    const std::vector<Case> cases = {
        {"unexploded form field splits at commas", openapi_body("application/x-www-form-urlencoded", tags_unexploded),
         "application/x-www-form-urlencoded", "tags=a,b", "/properties/tags/minItems", 1, 0},
        {"exploded form field keeps its commas", openapi_body("application/x-www-form-urlencoded", tags_exploded),
         "application/x-www-form-urlencoded", "tags=a,b", "/properties/tags/minItems", 0, 1},
        {"xml element named by the schema", openapi_body("application/xml", number), "application/xml",
         "<r><number>3</number></r>", "/properties/n/maximum", 1, 0},
        {"xml element by the schema, beyond the bound", openapi_body("application/xml", number), "application/xml",
         "<r><number>30</number></r>", "/properties/n/maximum", 0, 1},
        {"xml element under an xml suffix", openapi_body("application/problem+xml", number), "application/problem+xml",
         "<r><number>3</number></r>", "/properties/n/maximum", 1, 0},
        {"xml through a range", openapi_body("*/*", number), "text/xml", "<r><number>3</number></r>",
         "/properties/n/maximum", 1, 0},
        {"swagger body consumed as xml", swagger_body("application/xml", kNumberSchema), "application/xml",
         "<r><number>3</number></r>", "/properties/n/maximum", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto document = deririrore::value::parse_json(c.document);
        ASSERT_TRUE(document) << c.document;
        CoverageMap map = build_coverage_map(*document, std::nullopt, std::nullopt);
        ASSERT_TRUE(map.problems.empty());
        for (std::string_view route : {"/a", "/b"}) {
            SCOPED_TRACE(route);
            auto request = http::build_request_record(HttpMethod::Post, "http://h" + std::string(route), c.body, {});
            ASSERT_TRUE(request);
            request->headers.insert("Content-Type", c.content_type);
            vantorel::recorders::record_interaction(map, http::Interaction{std::move(*request), std::nullopt, 1.0});
            EXPECT_EQ(outcomes(map, route, c.location), std::make_pair(c.passed, c.failed));
        }
    }
}

}  // namespace
