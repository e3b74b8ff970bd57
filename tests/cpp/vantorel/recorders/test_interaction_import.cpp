#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/interaction_import.hpp"
#include "vantorel/recorders/labels.hpp"
#include "vantorel/recorders/record.hpp"

namespace {

using http::HttpMethod;
using vantorel::model::OperationRecord;
using vantorel::recorders::build_coverage_map;
using vantorel::recorders::CoverageMap;
using vantorel::recorders::import_interactions;
using vantorel::recorders::ImportEvent;
using vantorel::recorders::UnmatchedReason;

CoverageMap import_map(std::string_view text, std::optional<std::string_view> base_path = std::nullopt) {
    auto v = deririrore::value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return build_coverage_map(v.has_value() ? *v : deririrore::value::Value(), base_path, std::nullopt);
}

http::Interaction exchange(std::string_view url, std::optional<std::uint16_t> status = std::nullopt,
                           std::optional<std::string> body = std::nullopt, double time = 50.0) {
    auto request = http::build_request_record(HttpMethod::Get, url, std::nullopt, {});
    EXPECT_TRUE(request.has_value()) << url;
    http::Interaction out{std::move(request).value(), std::nullopt, time};
    if (status) {
        http::ResponseRecord response;
        response.status = *status;
        response.body = std::move(body);
        response.headers.insert("Content-Type", "application/json");
        out.response = std::move(response);
    }
    return out;
}

OperationRecord& operation_of(CoverageMap& map, std::string_view route, HttpMethod method = HttpMethod::Get) {
    auto* methods = map.routes.paths.find(route);
    if (methods == nullptr) throw std::runtime_error("no path " + std::string(route));
    auto* op = vantorel::model::get_operation(*methods, method);
    if (op == nullptr) throw std::runtime_error("no operation " + std::string(route));
    return *op;
}

const vantorel::model::ParameterTarget& target_of(const OperationRecord& op, std::string_view name) {
    for (const auto& target : op.parameters) {
        if (target.name == name) return target;
    }
    throw std::runtime_error("no parameter " + std::string(name));
}

constexpr std::string_view kItems = R"({"openapi": "3.1.0", "paths": {
  "/items": {
    "get": {"parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer", "minimum": 1}}],
            "responses": {"2XX": {"description": "ok", "content": {"application/json": {"schema": {"type": "array"}}}},
                          "default": {"description": "error"}}},
    "post": {"responses": {"201": {"description": "made"}}}},
  "/items/{id}": {
    "get": {"parameters": [{"name": "id", "in": "path", "required": true,
                            "schema": {"type": "string", "minLength": 2}}],
            "responses": {"200": {"description": "ok"}}}}}})";

TEST(ImportInteractions, UndocumentedMethodOrPathFilesEveryExchangeUnderTheDocumentedPath) {
    struct Case {
        std::string_view name;
        HttpMethod method;
        std::string_view path;
        std::optional<std::string_view> base_path;
        std::string_view filed_path;
        UnmatchedReason reason;
    };
    const Case cases[] = {
        {"method not documented", HttpMethod::Delete, "/items", std::nullopt, "/items",
         UnmatchedReason::MethodNotDocumented},
        {"base path put in front", HttpMethod::Delete, "/items", "/v1", "/v1/items",
         UnmatchedReason::MethodNotDocumented},
        {"path not documented", HttpMethod::Get, "/nowhere", std::nullopt, "/nowhere", UnmatchedReason::NoMatchingPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = import_map(kItems, c.base_path);
        // The request URLs differ from the documented path: the documented path is what is filed.
        const std::vector<http::Interaction> batch = {exchange("http://a.test/x/1", 200, "[]", 30.0),
                                                      exchange("http://a.test/y", 200, "[]", 20.0),
                                                      exchange("http://b.test/z")};
        const auto events = import_interactions(map, c.method, c.path, batch, true);
        EXPECT_TRUE(events.empty());
        ASSERT_EQ(map.unmatched.size(), 2u);
        const auto* a = map.unmatched.find(c.method, "a.test", c.filed_path);
        const auto* b = map.unmatched.find(c.method, "b.test", c.filed_path);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a->count, 2u);
        EXPECT_EQ(a->first_seen, 30.0);  // the group keeps its first exchange's time
        EXPECT_EQ(b->count, 1u);
        EXPECT_EQ(a->reason, c.reason);
        for (const auto& entry : map.routes.paths) {
            for (const auto& op : entry.methods) EXPECT_EQ(op.record.hits, 0u) << entry.route;
        }
    }
}

TEST(ImportInteractions, GetOnAPostOnlyPathFilesThreeUnmatchedRequests) {
    CoverageMap map = import_map(R"({"swagger": "2.0", "basePath": "/api", "paths": {
      "/items": {"post": {"responses": {"201": {"description": "made"}}}}}})");
    const std::vector<http::Interaction> batch = {exchange("http://h/api/items", 200, "[]", 3.0),
                                                  exchange("http://h/api/items?x=1", 200, "[]", 1.0),
                                                  exchange("http://h/elsewhere", std::nullopt, std::nullopt, 2.0)};
    EXPECT_TRUE(import_interactions(map, HttpMethod::Get, "/items", batch, true).empty());
    ASSERT_EQ(map.unmatched.size(), 1u);
    const auto& group = map.unmatched.groups().front();
    EXPECT_EQ(group.path, "/api/items");
    EXPECT_EQ(group.count, 3u);
    EXPECT_EQ(group.reason, UnmatchedReason::MethodNotDocumented);
    EXPECT_EQ(group.method, HttpMethod::Get);
    EXPECT_EQ(group.first_seen, 3.0);
    EXPECT_EQ(operation_of(map, "/api/items", HttpMethod::Post).hits, 0u);
}

TEST(ImportInteractions, EveryExchangeCountsForTheNamedOperation) {
    CoverageMap map = import_map(kItems);
    const std::vector<http::Interaction> batch = {exchange("http://h/other", std::nullopt, std::nullopt, 7.0),
                                                  exchange("http://h/items/abc", std::nullopt, std::nullopt, 9.0),
                                                  exchange("http://h/items/x/y")};
    EXPECT_TRUE(import_interactions(map, HttpMethod::Get, "/items/{id}", batch, false).empty());
    const OperationRecord& op = operation_of(map, "/items/{id}");
    EXPECT_EQ(op.hits, 3u);
    EXPECT_EQ(op.first_seen, 7.0);
    // Only the URL that fits the template gives the path parameter a value.
    EXPECT_EQ(target_of(op, "id").holder.hits, 1u);
    EXPECT_EQ(map.unmatched.size(), 0u);
    EXPECT_EQ(operation_of(map, "/items").hits, 0u);
}

TEST(ImportInteractions, EmptyBatchChangesNothing) {
    CoverageMap map = import_map(kItems);
    EXPECT_TRUE(import_interactions(map, HttpMethod::Get, "/items", {}, true).empty());
    EXPECT_TRUE(import_interactions(map, HttpMethod::Put, "/items", {}, true).empty());
    EXPECT_EQ(operation_of(map, "/items").hits, 0u);
    EXPECT_EQ(map.unmatched.size(), 0u);
}

bool has_event(const std::vector<ImportEvent>& events, std::string_view name, std::uint8_t outcome) {
    for (const auto& e : events) {
        if (e.name == name && e.outcome == outcome) return true;
    }
    return false;
}

TEST(ImportInteractions, EventsNameTheCheckThatMoved) {
    CoverageMap map = import_map(kItems);
    const std::vector<http::Interaction> batch = {exchange("http://h/items?limit=5", 200, "[1]"),
                                                  exchange("http://h/items?limit=0", 200, "{}")};
    const auto events = import_interactions(map, HttpMethod::Get, "/items", batch, true);
    // Per exchange: the parameter's checks in entry order, then the response body's.
    const std::vector<ImportEvent> expected = {
        {"vantorel|schema|GET|/items|query|limit|/minimum", 0},
        {"vantorel|schema|GET|/items|query|limit|/type", 0},
        {"vantorel|schema|GET|/items|query|limit|", 0},
        {"vantorel|response|GET|/items|2XX|application/json|/type", 0},
        {"vantorel|response|GET|/items|2XX|application/json|", 0},
        {"vantorel|schema|GET|/items|query|limit|/minimum", 1},
        {"vantorel|schema|GET|/items|query|limit|/type", 0},
        {"vantorel|schema|GET|/items|query|limit|", 1},
        {"vantorel|response|GET|/items|2XX|application/json|/type", 1},
        {"vantorel|response|GET|/items|2XX|application/json|", 1},
    };
    EXPECT_EQ(events, expected);

    // The same traffic without events counts the same and lists nothing.
    CoverageMap quiet = import_map(kItems);
    EXPECT_TRUE(import_interactions(quiet, HttpMethod::Get, "/items", batch, false).empty());
    EXPECT_EQ(operation_of(quiet, "/items").hits, 2u);
    EXPECT_EQ(target_of(operation_of(quiet, "/items"), "limit").holder.hits, 2u);
}

TEST(ImportInteractions, SwaggerLocationsAndDefaultResponsesNameTheirEvents) {
    CoverageMap map = import_map(R"({"swagger": "2.0", "basePath": "/api", "paths": {"/things": {"get": {
        "parameters": [{"name": "size", "in": "query", "type": "integer", "maximum": 3}],
        "responses": {"default": {"description": "any", "schema": {"type": "object"}}}}}}})");
    const std::vector<http::Interaction> batch = {exchange("http://h/api/things?size=2", 500, "{}")};
    const auto events = import_interactions(map, HttpMethod::Get, "/things", batch, true);
    EXPECT_TRUE(has_event(events, "vantorel|schema|GET|/api/things|query|size|/maximum", 0));
    EXPECT_TRUE(has_event(events, "vantorel|response|GET|/api/things|default|application/json|/type", 0));
}

TEST(ImportInteractions, ShadowedTemplateGetsItsPathParameters) {
    // "/pets/{name}" conflicts with "/pets/{id}", which holds the route: the import for the shadowed
    // template still finds its parameter, under the name the owner captured it.
    CoverageMap map = import_map(R"({"openapi": "3.0.3", "paths": {
      "/pets/{id}": {"get": {"parameters": [{"name": "id", "in": "path", "required": true,
                                             "schema": {"type": "integer"}}], "responses": {}}},
      "/pets/{name}": {"get": {"parameters": [{"name": "name", "in": "path", "required": true,
                                               "schema": {"type": "string", "minLength": 3}}],
                               "responses": {}}}}})");
    ASSERT_TRUE(map.routes.shadowing_templates.contains("/pets/{name}"));
    const std::vector<http::Interaction> batch = {exchange("http://h/pets/rex"), exchange("http://h/pets/ab")};
    const auto events = import_interactions(map, HttpMethod::Get, "/pets/{name}", batch, true);
    const OperationRecord& shadowed = operation_of(map, "/pets/{name}");
    EXPECT_EQ(shadowed.hits, 2u);
    EXPECT_EQ(target_of(shadowed, "name").holder.hits, 2u);
    EXPECT_TRUE(has_event(events, "vantorel|schema|GET|/pets/{name}|path|name|/minLength", 0));
    EXPECT_TRUE(has_event(events, "vantorel|schema|GET|/pets/{name}|path|name|/minLength", 1));
    EXPECT_EQ(operation_of(map, "/pets/{id}").hits, 0u);
}

TEST(ImportInteractions, TrailingSlashPrefersTheSpellingOfTheDocumentedPath) {
    CoverageMap map = import_map(R"({"openapi": "3.1.0", "paths": {
      "/a/": {"get": {"responses": {}}},
      "/a/{x}": {"get": {"parameters": [{"name": "x", "in": "path", "required": true,
                                         "schema": {"type": "string"}}], "responses": {}}}}})");
    const std::vector<http::Interaction> batch = {exchange("http://h/a/q/")};
    import_interactions(map, HttpMethod::Get, "/a/{x}", batch, false);
    EXPECT_EQ(target_of(operation_of(map, "/a/{x}"), "x").holder.hits, 1u);
}

TEST(ImportInteractions, QueryConditionedTemplateSuppliesItsCaptures) {
    CoverageMap map = import_map(R"({"openapi": "3.1.0", "paths": {
      "/search?kind={kind}": {"get": {"parameters": [{"name": "kind", "in": "path", "required": true,
                                                     "schema": {"enum": ["a", "b"]}}], "responses": {}}}}})");
    const std::vector<http::Interaction> batch = {exchange("http://h/search?kind=a"), exchange("http://h/search")};
    import_interactions(map, HttpMethod::Get, "/search?kind={kind}", batch, false);
    const OperationRecord& op = operation_of(map, "/search?kind={kind}");
    EXPECT_EQ(op.hits, 2u);
    EXPECT_EQ(target_of(op, "kind").holder.hits, 1u);
}

TEST(ImportInteractions, LabelsReachWhatRecordingTheSameExchangesReaches) {
    // Exchanges that route to the operation: recording them one by one with the same labels must
    // give each label the same set as importing them as one batch.
    const std::vector<http::Interaction> batch = {exchange("http://h/items?limit=5", 200, "[1]"),
                                                  exchange("http://h/items?limit=0", 500, "{}"),
                                                  exchange("http://h/items?limit=x")};
    const std::string_view labels[] = {"t1", "t2"};
    CoverageMap imported = import_map(kItems);
    import_interactions(imported, HttpMethod::Get, "/items", batch, false, labels);
    CoverageMap recorded = import_map(kItems);
    for (const auto& interaction : batch) vantorel::recorders::record_interaction(recorded, interaction, labels);

    ASSERT_EQ(imported.labels.names, recorded.labels.names);
    ASSERT_EQ(imported.labels.bitmaps.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_FALSE(imported.labels.bitmaps[i].empty());
        EXPECT_EQ(imported.labels.bitmaps[i].values(), recorded.labels.bitmaps[i].values()) << labels[i];
    }
    // Labels on an undocumented method are known but reach nothing.
    CoverageMap undocumented = import_map(kItems);
    import_interactions(undocumented, HttpMethod::Put, "/items", batch, false, labels);
    ASSERT_EQ(undocumented.labels.bitmaps.size(), 2u);
    EXPECT_TRUE(undocumented.labels.bitmaps[0].empty());
}

}  // namespace
