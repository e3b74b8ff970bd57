#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"

namespace {

using deririrore::value::parse_json;
using vantorel::recorders::build_coverage_map;
using vantorel::recorders::CoverageMap;
using vantorel::recorders::Value;

Value doc(std::string_view text) {
    auto v = parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return v.has_value() ? std::move(v).value() : Value();
}

std::vector<std::string> routes_of(const CoverageMap& map) {
    std::vector<std::string> out;
    for (const auto& entry : map.routes.paths) out.push_back(entry.route);
    return out;
}

TEST(CoverageMapBuild, UnusableDocumentsGiveEmptyMaps) {
    for (std::string_view text : {R"([])", R"("x")", R"({})", R"({"openapi": "3.1.0"})", R"({"paths": []})"}) {
        const CoverageMap map = build_coverage_map(doc(text), std::string_view("/api/"), std::string_view("here"));
        EXPECT_TRUE(map.routes.paths.empty()) << text;
        EXPECT_TRUE(map.problems.empty()) << text;
        EXPECT_EQ(map.base_path, "/api") << text;
        EXPECT_EQ(map.location, "here") << text;
    }
    const CoverageMap swagger = build_coverage_map(doc(R"({"swagger": null, "paths": {}})"), {}, {});
    EXPECT_TRUE(swagger.routes.paths.empty());
    EXPECT_TRUE(swagger.draft4_schemas);
}

TEST(CoverageMapBuild, VersionAndDialect) {
    struct Case {
        std::string_view root;
        bool draft4;
    };
    const Case cases[] = {{R"("openapi": "3.1.0")", false}, {R"("openapi": 3.1)", false},
                          {R"("openapi": "3.2.0")", false}, {R"("openapi": "3.0.1")", true},
                          {R"("openapi": "2.0")", true},    {R"("openapi": "3")", true},
                          {R"("info": {})", true}};
    for (const auto& c : cases) {
        const CoverageMap map = build_coverage_map(doc("{" + std::string(c.root) + R"(, "paths": {}})"), {}, {});
        EXPECT_EQ(map.draft4_schemas, c.draft4) << c.root;
    }
    const std::string unknown = R"("jsonSchemaDialect": "https://example.com/dialect", "paths": {}})";
    EXPECT_FALSE(build_coverage_map(doc(R"({"openapi": "3.0.3", )" + unknown), {}, {}).unknown_dialect);
    const auto map31 = build_coverage_map(doc(R"({"openapi": "3.1.0", )" + unknown), {}, {});
    ASSERT_TRUE(map31.unknown_dialect);
    EXPECT_EQ(map31.unknown_dialect->first, "https://example.com/dialect");
    const auto known = build_coverage_map(
        doc(R"({"openapi": "3.1.0", "jsonSchemaDialect": "https://spec.openapis.org/oas/3.1/dialect/base", "paths": {}})"),
        {}, {});
    EXPECT_FALSE(known.unknown_dialect);
}

TEST(CoverageMapBuild, PathsInKeyOrderAndShadowing) {
    const CoverageMap map = build_coverage_map(doc(R"({"openapi": "3.0.3",
        "servers": [{"url": "https://api.example.com/v1/"}, {"url": "/v2"}],
        "paths": {
            "/b": {}, "/a": {"$ref": "#/nowhere"}, "x-extra": {"get": {}}, "/c": 3,
            "/users/{name}": {"get": {"responses": {}}, "put": {"responses": {}}},
            "/users/{id}": {"get": {"responses": {}}}
        }})"),
                                               {}, {});
    EXPECT_EQ(routes_of(map), (std::vector<std::string>{"/v1/a", "/v1/b", "/v1/users/{id}", "/v1/users/{name}"}));
    EXPECT_EQ(map.base_path, "/v1");
    ASSERT_EQ(map.server_bases.size(), 1u);
    EXPECT_EQ(map.server_bases[0].base, "/v2");
    const auto* shadowed = map.routes.paths.find("/v1/users/{name}");
    ASSERT_NE(shadowed, nullptr);
    const auto* get = vantorel::model::get_operation(*shadowed, http::HttpMethod::Get);
    const auto* put = vantorel::model::get_operation(*shadowed, http::HttpMethod::Put);
    ASSERT_NE(get, nullptr);
    ASSERT_NE(put, nullptr);
    EXPECT_EQ(get->shadowed_by, "/v1/users/{id}");
    EXPECT_FALSE(put->shadowed_by.has_value());
}

TEST(CoverageMapBuild, BaseArgumentAndSwaggerBasePathIgnoreServers) {
    const std::string servers = R"("servers": [{"url": "/s1"}, {"url": "/s2"}], "paths": {"/p": {}}})";
    const auto with_argument = build_coverage_map(doc(R"({"openapi": "3.0.0", )" + servers), "/arg/", {});
    EXPECT_EQ(with_argument.base_path, "/arg");
    EXPECT_TRUE(with_argument.server_bases.empty());
    const auto swagger = build_coverage_map(doc(R"({"swagger": "2.0", "basePath": "/v2/", )" + servers), {}, {});
    EXPECT_EQ(swagger.base_path, "/v2");
    EXPECT_TRUE(swagger.server_bases.empty());
    EXPECT_EQ(routes_of(swagger), std::vector<std::string>{"/v2/p"});
}

TEST(CoverageMapBuild, RefusedServerUrlIsAProblemNotAStop) {
    const auto map =
        build_coverage_map(doc(R"({"openapi": "3.0.0", "servers": [{"url": "/v1"}, {"url": "https://exa mple.com/x"}],
                "paths": {"/p": {"get": {"responses": {"200": {"description": "ok"}}}}}})"),
                           {}, {});
    ASSERT_EQ(map.problems.size(), 1u);
    EXPECT_EQ(vantorel::model::spec_problem_kind(map.problems[0].problem), "unexpected_value");
    EXPECT_EQ(routes_of(map), std::vector<std::string>{"/v1/p"});
}

}  // namespace
