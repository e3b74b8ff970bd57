#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/model/base_paths.hpp"

namespace {

using deririrore::value::parse_json;
using vantorel::model::Value;

Value json_value(std::string_view text) {
    auto v = parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return v.has_value() ? std::move(v).value() : Value();
}

TEST(BasePaths, DerivedAndNormalised) {
    struct Case {
        std::string_view text;
        std::optional<std::string> normalised;
    };
    const Case cases[] = {
        {"/api/", "/api"},
        {"api", "/api"},
        {"api/users", "/api/users"},
        {"https://example.com/api/v1/", "/api/v1"},
        {"https://example.com", ""},
        {"//cdn/api", "/api"},
        {"//cdn", std::nullopt},
        {"../api", "/api"},
        {"../../api", "/api"},
        {"./", ""},
        {"localhost:8080/v2", "/v2"},
        {"localhost/v2", "/v2"},
        {"example.com", std::nullopt},
        {"ftp://files.example.com/pub", "//files.example.com/pub"},
        {"http://example.com/caf%C3%A9%20x", "/caf\xC3\xA9%20x"},
        {"http://example.com/a/../b?q=1#f", "/b"},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(vantorel::model::normalise_base_path(c.text), c.normalised) << c.text;
}

TEST(BasePaths, NonAsciiEscapes) {
    EXPECT_EQ(vantorel::model::decode_non_ascii_escapes("/a%20b"), std::nullopt);
    EXPECT_EQ(vantorel::model::decode_non_ascii_escapes("/%c3%a9%2F"), "/\xC3\xA9%2F");
    EXPECT_EQ(vantorel::model::decode_non_ascii_escapes("/%C3"), std::nullopt);  // not UTF-8
    EXPECT_EQ(vantorel::model::decode_non_ascii_escapes("/%E9%"), std::nullopt);
}

TEST(BasePaths, ServerVariablesInOdometerOrder) {
    const Value server = json_value(R"({"url": "https://{region}.example.com/{version}",
        "variables": {"region": {"default": "eu", "enum": ["us", "eu"]}, "version": {"enum": ["v1", "v2"]}}})");
    const std::vector<std::string> expected = {"https://eu.example.com/v1", "https://us.example.com/v1",
                                               "https://eu.example.com/v2", "https://us.example.com/v2"};
    EXPECT_EQ(vantorel::model::resolve_server_urls(server), expected);
}

TEST(BasePaths, ServerUrlFillingLimitsAndFailures) {
    std::string enumeration;
    for (int i = 0; i < 100; ++i) enumeration += (i ? ",\"" : "\"") + std::to_string(i) + "\"";
    const Value many = json_value(R"({"url": "/{n}", "variables": {"n": {"enum": [)" + enumeration + "]}}}");
    const auto urls = vantorel::model::resolve_server_urls(many);
    ASSERT_EQ(urls.size(), vantorel::model::kMaxServerUrlCombinations);
    EXPECT_EQ(urls.front(), "/0");
    EXPECT_EQ(urls.back(), "/63");

    EXPECT_TRUE(vantorel::model::resolve_server_urls(json_value(R"({"url": "/{undefined}"})")).empty());
    EXPECT_TRUE(vantorel::model::resolve_server_urls(json_value(R"({"url": "/a}"})")).empty());
    EXPECT_TRUE(vantorel::model::resolve_server_urls(json_value(R"({"url": "/{a"})")).empty());
    EXPECT_TRUE(vantorel::model::resolve_server_urls(json_value(R"({"url": 3})")).empty());
    EXPECT_EQ(vantorel::model::resolve_server_urls(json_value(R"({"url": "/{{x}}"})")),
              std::vector<std::string>{"/{x}"});
}

TEST(BasePaths, ServerBasesSortedWithTheirPathKeys) {
    const Value document = json_value(R"({
        "servers": [{"url": "/v1"}, {"url": "/v2"}, {"url": "/shared"}],
        "paths": {
            "/pets": {"get": {"servers": [{"url": "/v3/"}, {"url": "/shared"}]}},
            "/toys": {"servers": [{"url": "/v3"}, {"url": "http://[::1"}]}
        }})");
    std::vector<vantorel::model::RefusedServerUrl> refused;
    const auto bases = vantorel::model::collect_server_bases(document, std::string("/v1"), &refused);
    ASSERT_EQ(bases.size(), 4u);
    EXPECT_EQ(bases[0].base, "/shared");
    EXPECT_FALSE(bases[0].path_keys.has_value());
    // A refused URL falls through to the host rule: its first segment holds ":".
    EXPECT_EQ(bases[1].base, "//[::1");
    EXPECT_EQ(bases[2].base, "/v2");
    EXPECT_FALSE(bases[2].path_keys.has_value());
    EXPECT_EQ(bases[3].base, "/v3");
    EXPECT_EQ(bases[3].path_keys, (std::vector<std::string>{"/pets", "/toys"}));
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].url, "http://[::1");
    EXPECT_EQ(refused[0].pointer, "/paths/~1toys/servers/1");
}

}  // namespace
