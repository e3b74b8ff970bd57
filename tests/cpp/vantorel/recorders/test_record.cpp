#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"

namespace {

using http::HttpMethod;
using vantorel::model::OperationRecord;
using vantorel::recorders::build_coverage_map;
using vantorel::recorders::CoverageMap;
using vantorel::recorders::RecordOutcome;
using vantorel::recorders::RecordResult;
using vantorel::recorders::ResponseOutcome;
using vantorel::recorders::UnmatchedReason;
using vantorel::recorders::Value;

Value doc(std::string_view text) {
    auto v = deririrore::value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return v.has_value() ? std::move(v).value() : Value();
}

CoverageMap map_of(std::string_view text, std::optional<std::string_view> base_path = std::nullopt) {
    return build_coverage_map(doc(text), base_path, std::nullopt);
}

struct Exchange {
    // A constructor rather than an aggregate, so that the tables can leave out the response.
    Exchange(HttpMethod method, std::string url, std::optional<std::uint16_t> status = std::nullopt,
             std::optional<std::string> body = std::nullopt, std::string content_type = "application/json")
        : method(method),
          url(std::move(url)),
          status(status),
          body(std::move(body)),
          content_type(std::move(content_type)) {}
    HttpMethod method;
    std::string url;
    std::optional<std::uint16_t> status;
    std::optional<std::string> body;
    std::string content_type;
};

http::Interaction interaction(const Exchange& e, double time = 100.0) {
    auto request = http::build_request_record(e.method, e.url, std::nullopt, {});
    EXPECT_TRUE(request.has_value()) << e.url;
    http::Interaction out{std::move(request).value(), std::nullopt, time};
    if (e.status) {
        http::ResponseRecord response;
        response.status = *e.status;
        response.elapsed = 0.5f;
        response.body = e.body;
        response.headers.insert("Content-Type", e.content_type);
        out.response = std::move(response);
    }
    return out;
}

RecordResult record(CoverageMap& map, const Exchange& e, double time = 100.0) {
    return vantorel::recorders::record_interaction(map, interaction(e, time));
}

OperationRecord& operation(CoverageMap& map, std::string_view route, HttpMethod method = HttpMethod::Get) {
    auto* methods = map.routes.paths.find(route);
    EXPECT_NE(methods, nullptr) << route;
    auto* op = methods != nullptr ? vantorel::model::get_operation(*methods, method) : nullptr;
    if (op == nullptr) throw std::runtime_error("no operation " + std::string(route));
    return *op;
}

std::string oas(std::string_view paths, std::string_view root = "") {
    return R"({"openapi": "3.1.0", )" + std::string(root) + R"("paths": {)" + std::string(paths) + "}}";
}

constexpr std::string_view kGet = R"({"get": {"responses": {"200": {"description": "ok"}}}})";

std::string get_paths(std::initializer_list<std::string_view> keys) {
    std::string out;
    for (auto key : keys) {
        if (!out.empty()) out += ", ";
        out += "\"" + std::string(key) + "\": " + std::string(kGet);
    }
    return out;
}

// Each case: a document, a request, and the route whose GET must count it (empty: unmatched).
struct RouteCase {
    std::string_view name;
    std::string document;
    std::string url;
    std::string route;
};

TEST(RecordInteraction, RequestPathsReachTheirTemplates) {
    const std::string servers =
        R"("servers": [{"url": "https://example.com/api"}, {"url": "https://staging.example.com/staging"}], )";
    const std::string path_server = R"("/other": {"servers": [{"url": "/staging"}], "get": {"responses": {}}}, )";
    const RouteCase cases[] = {
        {"template ending in slash takes the bare path", oas(get_paths({"/items/"})), "http://h/items", "/items/"},
        {"template ending in slash, request with slash", oas(get_paths({"/items/"})), "http://h/items/", "/items/"},
        {"slash dropped without slash templates", oas(get_paths({"/items"})), "http://h/items/", "/items"},
        {"both spellings documented, bare", oas(get_paths({"/items", "/items/"})), "http://h/items", "/items"},
        {"both spellings documented, slash", oas(get_paths({"/items", "/items/"})), "http://h/items/", "/items/"},
        {"root keeps its slash", oas(get_paths({"/"})), "http://h/", "/"},
        {"root keeps its slash among slash templates", oas(get_paths({"/", "/items/"})), "http://h/", "/"},
        {"primary server base", oas(get_paths({"/pets"}), servers), "http://h/api/pets", "/api/pets"},
        {"alternative root server base", oas(get_paths({"/pets"}), servers), "http://h/staging/pets", "/api/pets"},
        {"server base of another path item only", oas(path_server + get_paths({"/pets"}),
                                                      R"("servers": [{"url": "/api"}], )"),
         "http://h/staging/pets", ""},
        {"server base of that path item", oas(path_server + get_paths({"/pets"}), R"("servers": [{"url": "/api"}], )"),
         "http://h/staging/other", "/api/other"},
        {"fragment spells the key", oas(get_paths({"/search#byName", "/search"})), "http://h/search#byName",
         "/search#byName"},
        {"%23 spells the key", oas(get_paths({"/search#byName", "/search"})), "http://h/search%23byName",
         "/search#byName"},
        {"empty fragment is no key", oas(get_paths({"/search#byName", "/search"})), "http://h/search#", "/search"},
        {"fragment ignored without # keys", oas(get_paths({"/search"})), "http://h/search#byName", "/search"},
        {"%23 stays without # keys", oas(get_paths({"/search"})), "http://h/search%23byName", ""},
        {"mixed segment, shortest first", oas(get_paths({"/files/{name}.{ext}"})), "http://h/files/a.b.c",
         "/files/{name}.{ext}"},
        {"mixed segment needs a value", oas(get_paths({"/files/{name}.{ext}"})), "http://h/files/.txt", ""},
        {"query condition holds", oas(get_paths({"/search?type=book"})), "http://h/search?type=book&x=1",
         "/search?type=book"},
        {"query condition differs", oas(get_paths({"/search?type=book"})), "http://h/search?type=books", ""},
        {"query condition without query", oas(get_paths({"/search?type=book"})), "http://h/search", ""},
        {"query capture", oas(get_paths({"/search?q={term}"})), "http://h/search?q=a%20b", "/search?q={term}"},
        {"query presence", oas(get_paths({"/search?flag"})), "http://h/search?a=1&flag", "/search?flag"},
        {"query presence is by key", oas(get_paths({"/search?flag"})), "http://h/search?a=flag", ""},
        {"non-ASCII escapes decoded", oas(get_paths({"/caf\u00e9"})), "http://h/caf%C3%A9", "/caf\u00e9"},
        {"ASCII escapes stay", oas(get_paths({"/a b"})), "http://h/a%20b", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(c.document);
        const RecordResult result = record(map, {HttpMethod::Get, c.url});
        if (c.route.empty()) {
            EXPECT_EQ(result.outcome, RecordOutcome::NoMatchingPath);
            EXPECT_EQ(map.unmatched.size(), 1u);
            for (const auto& entry : map.routes.paths) {
                for (const auto& op : entry.methods) EXPECT_EQ(op.record.hits, 0u) << entry.route;
            }
        } else {
            EXPECT_EQ(result.outcome, RecordOutcome::Recorded);
            EXPECT_EQ(result.route, c.route);
            EXPECT_EQ(operation(map, c.route).hits, 1u);
            EXPECT_EQ(operation(map, c.route).first_seen, 100.0);
            EXPECT_EQ(map.unmatched.size(), 0u);
        }
    }
}

TEST(RecordInteraction, FallbackCapturesAreRawValues) {
    struct Case {
        std::string_view key;
        std::string_view path;
        std::optional<std::string_view> query;
        std::vector<std::pair<std::string_view, std::string_view>> captures;
    };
    const Case cases[] = {
        {"/files/{name}.{ext}", "/files/a.b.c", std::nullopt, {{"name", "a"}, {"ext", "b.c"}}},
        {"/v{major}.{minor}/x", "/v1.2/x", std::nullopt, {{"major", "1"}, {"minor", "2"}}},
        {"/search?q={term}", "/search", "q=a%20b+c&q=other", {{"term", "a%20b+c"}}},
        {"/users/{id}?view={v}", "/users/7", "x&view=full", {{"id", "7"}, {"v", "full"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const CoverageMap map = map_of(oas(get_paths({c.key})));
        const auto matched = vantorel::recorders::find_route(map, c.path, c.query);
        ASSERT_NE(matched.route, nullptr);
        EXPECT_EQ(*matched.route, c.key);
        EXPECT_EQ(matched.captures, c.captures);
    }
}

TEST(RecordInteraction, RawQueryValues) {
    using vantorel::recorders::find_raw_query_value;
    EXPECT_EQ(find_raw_query_value("a&a=1&a=2", "a"), "1");
    EXPECT_EQ(find_raw_query_value("b=1&a=", "a"), "");
    EXPECT_EQ(find_raw_query_value("a", "a"), std::nullopt);
    EXPECT_EQ(find_raw_query_value("a%3D=1&a=x=y", "a"), "x=y");
    EXPECT_EQ(find_raw_query_value("", "a"), std::nullopt);
}

TEST(RecordInteraction, UnmatchedRequestsAreGrouped) {
    CoverageMap map = map_of(oas(get_paths({"/pets/{id}"})), std::string_view("/api"));
    const std::string long_path = "/" + std::string(199, 'x');
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h" + long_path}).outcome, RecordOutcome::NoMatchingPath);
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h" + long_path}, 200.0).outcome, RecordOutcome::NoMatchingPath);
    const auto* group = map.unmatched.find(HttpMethod::Get, "h", long_path.substr(0, 120) + "...");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->count, 2u);
    EXPECT_EQ(group->first_seen, 100.0);
    EXPECT_EQ(group->reason, UnmatchedReason::NoMatchingPath);

    const RecordResult undocumented = record(map, {HttpMethod::Delete, "http://h/api/pets/" + std::string(300, '7')});
    EXPECT_EQ(undocumented.outcome, RecordOutcome::MethodNotDocumented);
    const auto* by_template = map.unmatched.find(HttpMethod::Delete, "h", "/api/pets/{id}");
    ASSERT_NE(by_template, nullptr);
    EXPECT_EQ(by_template->reason, UnmatchedReason::MethodNotDocumented);
    EXPECT_EQ(operation(map, "/api/pets/{id}").hits, 0u);

    // Groups show the path as requested, before trailing "/" and server bases are normalised.
    record(map, {HttpMethod::Get, "http://a/b"});
    record(map, {HttpMethod::Get, "http://a/b/"});
    EXPECT_EQ(map.unmatched.size(), 4u);
    EXPECT_NE(map.unmatched.find(HttpMethod::Get, "a", "/b/"), nullptr);
}

TEST(RecordInteraction, UnmatchedGroupsAreCapped) {
    CoverageMap map = map_of(oas(get_paths({"/pets"})));
    for (int i = 0; i < 1005; ++i) record(map, {HttpMethod::Get, "http://h/missing/" + std::to_string(i)});
    record(map, {HttpMethod::Get, "http://h/missing/3"});
    EXPECT_EQ(map.unmatched.size(), 1000u);
    EXPECT_EQ(map.unmatched.overflow(), 5u);
    EXPECT_EQ(map.unmatched.find(HttpMethod::Get, "h", "/missing/3")->count, 2u);
}

std::string responses_doc(std::string_view responses) {
    return oas(R"("/r": {"get": {"responses": )" + std::string(responses) + "}}");
}

TEST(RecordResponse, StatusPatternsByOrder) {
    struct Case {
        std::string_view name;
        std::string_view responses;
        std::uint16_t status;
        ResponseOutcome outcome;
        int declared_index;  // the declared response that counts it, -1 none
    };
    const Case cases[] = {
        {"2XX before 200", R"({"2XX": {"description": ""}, "200": {"description": ""}})", 200,
         ResponseOutcome::Declared, 0},
        {"200 before 2XX", R"({"200": {"description": ""}, "2XX": {"description": ""}})", 200,
         ResponseOutcome::Declared, 0},
        {"2XX takes 204", R"({"200": {"description": ""}, "2XX": {"description": ""}})", 204,
         ResponseOutcome::Declared, 1},
        {"default after no match", R"({"200": {"description": ""}, "default": {"description": ""}})", 500,
         ResponseOutcome::Default, -1},
        {"declared before default", R"({"default": {"description": ""}, "500": {"description": ""}})", 500,
         ResponseOutcome::Declared, 0},
        {"only default takes any status", R"({"default": {"description": ""}})", 60000, ResponseOutcome::Default, -1},
        {"no match, no default", R"({"404": {"description": ""}})", 500, ResponseOutcome::Unexpected, -1},
        {"hundreds beyond one byte", R"({"2XX": {"description": ""}, "default": {"description": ""}})", 25600,
         ResponseOutcome::Unexpected, -1},
        {"largest status", R"({"404": {"description": ""}})", 65535, ResponseOutcome::Unexpected, -1},
        {"status 1000 is no 1XX", R"({"1XX": {"description": ""}})", 1000, ResponseOutcome::Unexpected, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(responses_doc(c.responses));
        const RecordResult result = record(map, {HttpMethod::Get, "http://h/r", c.status});
        EXPECT_EQ(result.outcome, RecordOutcome::Recorded);
        EXPECT_EQ(result.response, c.outcome);
        OperationRecord& op = operation(map, "/r");
        EXPECT_EQ(op.hits, 1u);
        for (std::size_t i = 0; i < op.responses.size(); ++i) {
            EXPECT_EQ(op.responses[i].hits, int(i) == c.declared_index ? 1u : 0u) << i;
        }
        EXPECT_EQ(op.default_response.hits, c.outcome == ResponseOutcome::Default ? 1u : 0u);
        if (c.outcome == ResponseOutcome::Unexpected) {
            ASSERT_EQ(op.unexpected_responses.size(), 1u);
            EXPECT_EQ(op.unexpected_responses[0].status, c.status);
            EXPECT_EQ(op.unexpected_responses[0].hits, 1u);
            EXPECT_EQ(op.unexpected_responses[0].first_seen, 100.0);
        } else {
            EXPECT_TRUE(op.unexpected_responses.empty());
        }
    }
}

TEST(RecordResponse, CountersAddUpAndSaturate) {
    CoverageMap map = map_of(responses_doc(R"({"200": {"description": ""}})"));
    record(map, {HttpMethod::Get, "http://h/r", 200}, 10.0);
    record(map, {HttpMethod::Get, "http://h/r", 200}, 20.0);
    record(map, {HttpMethod::Get, "http://h/r", 500}, 30.0);
    record(map, {HttpMethod::Get, "http://h/r", 500}, 40.0);
    record(map, {HttpMethod::Get, "http://h/r", 503}, 50.0);
    OperationRecord& op = operation(map, "/r");
    EXPECT_EQ(op.hits, 5u);
    EXPECT_EQ(op.first_seen, 10.0);
    EXPECT_EQ(op.responses[0].hits, 2u);
    EXPECT_EQ(op.responses[0].first_seen, 10.0);
    EXPECT_FLOAT_EQ(op.responses[0].elapsed_total, 1.0f);
    ASSERT_EQ(op.unexpected_responses.size(), 2u);
    EXPECT_EQ(op.unexpected_responses[0].status, 500);
    EXPECT_EQ(op.unexpected_responses[0].hits, 2u);
    EXPECT_EQ(op.unexpected_responses[0].first_seen, 30.0);
    EXPECT_FLOAT_EQ(op.unexpected_responses[0].elapsed_total, 1.0f);
    EXPECT_EQ(op.unexpected_responses[1].status, 503);

    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    op.responses[0].hits = kMax;
    op.unexpected_responses[0].hits = kMax;
    op.hits = std::numeric_limits<std::uint64_t>::max();
    record(map, {HttpMethod::Get, "http://h/r", 200}, 60.0);
    record(map, {HttpMethod::Get, "http://h/r", 500}, 60.0);
    EXPECT_EQ(op.responses[0].hits, kMax);
    EXPECT_EQ(op.responses[0].first_seen, 10.0);
    EXPECT_EQ(op.unexpected_responses[0].hits, kMax);
    EXPECT_EQ(op.unexpected_responses[0].first_seen, 30.0);
    EXPECT_EQ(op.hits, std::numeric_limits<std::uint64_t>::max());
}

constexpr std::string_view kBodySchema = R"({"type": "object", "properties": {"n": {"type": "integer", "maximum": 10}}})";

std::string body_doc(std::string_view media_range) {
    return responses_doc(R"({"200": {"description": "", "content": {")" + std::string(media_range) +
                         R"(": {"schema": )" + std::string(kBodySchema) + "}}}}");
}

const vantorel::model::ResponseBody& only_body(CoverageMap& map) {
    auto& op = operation(map, "/r");
    EXPECT_EQ(op.responses.size(), 1u);
    EXPECT_EQ(op.responses.at(0).bodies.size(), 1u);
    return op.responses.at(0).bodies.at(0);
}

std::uint64_t maximum_passed(const vantorel::model::ResponseBody& body) {
    const auto* entry = body.holder.state->entries.find("/properties/n/maximum");
    return entry != nullptr ? entry->passed : 0;
}

TEST(RecordResponse, BodiesByMediaRange) {
    struct Case {
        std::string_view name;
        std::string_view declared;
        std::string content_type;
        std::optional<std::string> body;
        std::uint64_t body_hits;
        std::uint64_t traced;  // passes of the maximum check
    };
    const Case cases[] = {
        {"exact range", "application/json", "application/json; charset=utf-8", R"({"n": 3})", 1, 1},
        {"range fits ignoring case", "application/json", "Application/JSON", R"({"n": 3})", 1, 1},
        {"suffix is another subtype", "application/json", "application/problem+json", R"({"n": 3})", 0, 0},
        {"wildcard subtype decodes by suffix", "application/*", "application/problem+json", R"({"n": 3})", 1, 1},
        {"any range", "*/*", "application/json", R"({"n": 3})", 1, 1},
        {"undecodable body counts its hit", "application/json", "application/json", R"({"n": )", 1, 0},
        {"exact numbers", "application/json", "application/json", R"({"n": 10.000000000000000000001})", 1, 0},
        {"absent body", "application/json", "application/json", std::nullopt, 0, 0},
        {"no content type", "application/json", "", R"({"n": 3})", 0, 0},
        {"text counts when marked, untraced", "text/plain", "text/plain", "hello", 1, 0},
        {"unmarked range: text neither counted nor traced", "*/*", "text/plain", "hello", 0, 0},
        {"xml by its subtype", "application/xml", "application/xml", "<r><n>3</n></r>", 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(body_doc(c.declared));
        Exchange e{HttpMethod::Get, "http://h/r", 200, c.body, c.content_type};
        auto inter = interaction(e);
        if (c.content_type.empty()) inter.response->headers = {};
        const RecordResult result = vantorel::recorders::record_interaction(map, inter);
        EXPECT_EQ(result.response, ResponseOutcome::Declared);
        const auto& body = only_body(map);
        EXPECT_EQ(operation(map, "/r").responses[0].hits, 1u);
        EXPECT_EQ(body.holder.hits, c.body_hits);
        EXPECT_EQ(maximum_passed(body), c.traced);
    }
}

TEST(RecordResponse, ExactNumbersFailTheBound) {
    CoverageMap map = map_of(body_doc("application/json"));
    record(map, {HttpMethod::Get, "http://h/r", 200, R"({"n": 10.000000000000000000001})"});
    const auto* maximum = only_body(map).holder.state->entries.find("/properties/n/maximum");
    ASSERT_NE(maximum, nullptr);
    // Read as a double the value would be 10 and pass.
    EXPECT_EQ(maximum->passed, 0u);
    EXPECT_EQ(maximum->failed, 1u);
    const auto* type = only_body(map).holder.state->entries.find("/properties/n/type");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->failed, 1u);
}

TEST(RecordResponse, CoveredAtIsSetOnce) {
    CoverageMap map = map_of(body_doc("application/json"));
    for (double t : {1.0, 2.0, 3.0, 4.0}) {
        for (std::string_view body : {R"({"n": 3})", R"({"n": 30})", R"({"n": "x"})", R"([])", R"({})"}) {
            record(map, {HttpMethod::Get, "http://h/r", 200, std::string(body)}, t);
        }
    }
    const auto& body = only_body(map);
    EXPECT_EQ(body.holder.hits, 20u);
    ASSERT_TRUE(body.holder.state->all_covered);
    EXPECT_EQ(body.holder.covered_at, 1.0);
}

}  // namespace

namespace {

TEST(RecordInteraction, TrailingSlashFollowsTheDocumentedMethod) {
    const std::string document = oas(R"("/items": {"get": {"responses": {}}}, "/items/": {"post": {"responses": {}}},
                                        "/only/": {"post": {"responses": {}}})");
    struct Case {
        HttpMethod method;
        std::string_view path;
        RecordOutcome outcome;
        std::string_view route;
    };
    const Case cases[] = {
        {HttpMethod::Get, "/items/", RecordOutcome::Recorded, "/items"},
        {HttpMethod::Post, "/items", RecordOutcome::Recorded, "/items/"},
        {HttpMethod::Put, "/items/", RecordOutcome::MethodNotDocumented, "/items/"},
        {HttpMethod::Get, "/only", RecordOutcome::MethodNotDocumented, "/only/"},
        {HttpMethod::Post, "/only", RecordOutcome::Recorded, "/only/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + std::to_string(int(c.method)));
        CoverageMap map = map_of(document);
        const RecordResult result = record(map, {c.method, "http://h" + std::string(c.path)});
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.route, c.route);
        if (c.outcome == RecordOutcome::Recorded) {
            EXPECT_EQ(operation(map, c.route, c.method).hits, 1u);
        } else {
            EXPECT_NE(map.unmatched.find(c.method, "h", c.route), nullptr);
        }
    }
}

TEST(RecordInteraction, SwaggerBasePathAndDefaultResponse) {
    CoverageMap map = map_of(R"({"swagger": "2.0", "basePath": "/v1/", "paths": {
        "/pets": {"get": {"responses": {"default": {"description": ""}}}}}})");
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h/v1/pets", 404}).response, ResponseOutcome::Default);
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h/v1/pets/", 65535}).response, ResponseOutcome::Default);
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h/pets", 200}).outcome, RecordOutcome::NoMatchingPath);
    OperationRecord& op = operation(map, "/v1/pets");
    EXPECT_EQ(op.hits, 2u);
    EXPECT_EQ(op.default_response.hits, 2u);
    EXPECT_TRUE(op.unexpected_responses.empty());
}

TEST(RecordInteraction, RequestBodiesByContentType) {
    CoverageMap map = map_of(oas(R"("/pets": {"post": {"requestBody": {"content": {
        "application/json": {"schema": {"type": "object", "properties": {"n": {"maximum": 10}}}},
        "application/merge-patch+json": {"schema": {"type": "array"}}}}, "responses": {}}})"));
    const auto post = [&](std::string_view content_type, std::optional<std::string> body) {
        auto request = http::build_request_record(HttpMethod::Post, "http://h/pets", std::move(body), {});
        if (!content_type.empty()) request.value().headers.insert("Content-Type", std::string(content_type));
        return vantorel::recorders::record_interaction(map, http::Interaction{std::move(request).value(), {}, 5.0});
    };
    post("application/json", R"({"n": 11})");
    post("application/json; charset=utf-16", std::nullopt);
    post("", R"({"n": 1})");
    post("application/merge-patch+json", R"({"n": 1})");
    post("application/json", "{");
    OperationRecord& op = operation(map, "/pets", HttpMethod::Post);
    EXPECT_EQ(op.hits, 5u);
    const vantorel::model::ParameterTarget* json = nullptr;
    const vantorel::model::ParameterTarget* patch = nullptr;
    for (const auto& target : op.parameters) {
        if (!target.media_type) continue;
        if (target.media_type->subtype == "json") json = &target;
        if (target.media_type->subtype == "merge-patch+json") patch = &target;
    }
    ASSERT_NE(json, nullptr);
    ASSERT_NE(patch, nullptr);
    EXPECT_EQ(json->holder.hits, 2u);  // the undecodable body counts, untraced
    EXPECT_EQ(patch->holder.hits, 1u);
    const auto* maximum = json->holder.state->entries.find("/properties/n/maximum");
    ASSERT_NE(maximum, nullptr);
    EXPECT_EQ(maximum->failed, 1u);
    EXPECT_EQ(maximum->passed, 0u);
}

TEST(RecordInteraction, ResolveOperationPath) {
    const CoverageMap with_base = map_of(oas(get_paths({"/pets"})), std::string_view("/api"));
    const CoverageMap without = map_of(oas(get_paths({"/pets"})));
    using vantorel::recorders::resolve_operation_path;
    EXPECT_EQ(resolve_operation_path(with_base, "/pets"), "/api/pets");
    EXPECT_EQ(resolve_operation_path(with_base, "/api/pets"), "/api/pets");
    EXPECT_EQ(resolve_operation_path(with_base, "/api"), "/api");
    EXPECT_EQ(resolve_operation_path(with_base, "/apis"), "/api/apis");
    EXPECT_EQ(resolve_operation_path(with_base, "https://example.com/pets"), "/api/pets");
    EXPECT_EQ(resolve_operation_path(without, "/pets"), "/pets");
}

}  // namespace

namespace {

const vantorel::model::ParameterTarget& target_named(OperationRecord& op, std::string_view name) {
    for (const auto& target : op.parameters) {
        if (target.name == name) return target;
    }
    throw std::runtime_error("no target " + std::string(name));
}

TEST(RecordInteraction, ParametersTracedFromTheMatchedRoute) {
    struct Case {
        std::string_view name;
        std::string document;
        std::string url;
        std::string_view route;
        std::vector<std::pair<std::string_view, std::uint64_t>> hits;  // target name, hits
    };
    const std::string v3 = oas(R"("/pets/{id}": {"parameters": [
            {"name": "id", "in": "path", "required": true, "schema": {"type": "integer", "minimum": 1}}],
        "get": {"parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer"}},
                               {"name": "f", "in": "query", "style": "deepObject", "schema": {"type": "object"}}],
                "responses": {}}},
        "/files/{name}.{ext}": {"get": {"parameters": [
            {"name": "name", "in": "path", "required": true, "schema": {"type": "string"}},
            {"name": "ext", "in": "path", "required": true, "schema": {"type": "string", "enum": ["b.c"]}}],
            "responses": {}}},
        "/search?q={term}": {"get": {"parameters": [
            {"name": "term", "in": "path", "required": true, "schema": {"type": "string"}}], "responses": {}}})");
    const std::string v2 = R"({"swagger": "2.0", "paths": {"/pets/{id}": {"get": {"parameters": [
        {"name": "id", "in": "path", "required": true, "type": "integer"},
        {"name": "tags", "in": "query", "type": "array", "items": {"type": "string"}, "collectionFormat": "csv"}],
        "responses": {}}}}})";
    const Case cases[] = {
        {"path and query", v3, "http://h/pets/7?limit=3", "/pets/{id}", {{"id", 1}, {"limit", 1}, {"f", 0}}},
        {"deepObject member", v3, "http://h/pets/7?f[a]=1", "/pets/{id}", {{"id", 1}, {"limit", 0}, {"f", 1}}},
        {"mixed segment captures", v3, "http://h/files/a.b.c", "/files/{name}.{ext}", {{"name", 1}, {"ext", 1}}},
        {"query condition capture", v3, "http://h/search?q=dogs", "/search?q={term}", {{"term", 1}}},
        {"swagger 2.0", v2, "http://h/pets/7?tags=a,b", "/pets/{id}", {{"id", 1}, {"tags", 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(c.document);
        ASSERT_EQ(record(map, {HttpMethod::Get, c.url}).outcome, RecordOutcome::Recorded);
        OperationRecord& op = operation(map, c.route);
        for (const auto& [name, hits] : c.hits) EXPECT_EQ(target_named(op, name).holder.hits, hits) << name;
    }

    CoverageMap map = map_of(v3);
    record(map, {HttpMethod::Get, "http://h/files/a.b.c"});
    const auto& ext = target_named(operation(map, "/files/{name}.{ext}"), "ext");
    const auto* item = ext.holder.state->entries.find("/enum/0");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->passed, 1u);  // the capture was "b.c", the shortest first value being "a"
}

}  // namespace

namespace {

TEST(RecordInteraction, HostileRequestsAreFiledWhole) {
    CoverageMap map = map_of(oas(get_paths({"/search#byName", "/files/{name}.{ext}.json"})));
    std::string escapes;
    for (int i = 0; i < 200000; ++i) escapes += "%23";
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h/" + escapes}).outcome, RecordOutcome::NoMatchingPath);
    EXPECT_NE(map.unmatched.find(HttpMethod::Get, "h", "/" + std::string(119, '#') + "..."), nullptr);

    const std::string dots = "/files/" + std::string(5000, '.') + "x";
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h" + dots}).outcome, RecordOutcome::NoMatchingPath);
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h/files/a.b.c.json"}).route, "/files/{name}.{ext}.json");
}

TEST(RecordResponse, TooDeepBodiesCountUntraced) {
    CoverageMap map = map_of(body_doc("application/json"));
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string deep_object = "{\"n\": " + deep + "}";
    EXPECT_EQ(record(map, {HttpMethod::Get, "http://h/r", 200, deep_object}).response, ResponseOutcome::Declared);
    const auto& body = only_body(map);
    EXPECT_EQ(body.holder.hits, 1u);
    const auto* type = body.holder.state->entries.find("/type");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->passed + type->failed + type->not_applicable, 0u);
}

}  // namespace
