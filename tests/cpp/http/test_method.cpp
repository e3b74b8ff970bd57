// Method names to bytes and back.
#include <gtest/gtest.h>

#include <string_view>

#include "http/method.hpp"

namespace {

using http::HttpMethod;

TEST(HttpMethod, NamesAndBytes) {
    struct Case {
        std::string_view text;
        HttpMethod method;
    };
    const Case cases[] = {
        {"GET", HttpMethod::Get},         {"get", HttpMethod::Get},         {"pUt", HttpMethod::Put},
        {"query", HttpMethod::Query},     {"POST", HttpMethod::Post},       {"Delete", HttpMethod::Delete},
        {"options", HttpMethod::Options}, {"head", HttpMethod::Head},       {"PATCH", HttpMethod::Patch},
        {"trace", HttpMethod::Trace},     {"", HttpMethod::None},           {"GETS", HttpMethod::None},
        {" get", HttpMethod::None},       {"connect", HttpMethod::None},    {"parameters", HttpMethod::None},
        {"$ref", HttpMethod::None},       {"G\xc3\x89T", HttpMethod::None},
    };
    for (const Case& c : cases) EXPECT_EQ(http::parse_method_name(c.text), c.method) << c.text;

    const std::pair<HttpMethod, unsigned> bytes[] = {
        {HttpMethod::Get, 1},   {HttpMethod::Put, 2},    {HttpMethod::Query, 3},
        {HttpMethod::Post, 4},  {HttpMethod::Delete, 8}, {HttpMethod::Options, 16},
        {HttpMethod::Head, 32}, {HttpMethod::Patch, 64}, {HttpMethod::Trace, 128},
    };
    for (auto [m, b] : bytes) {
        EXPECT_EQ(static_cast<unsigned>(m), b);
        EXPECT_TRUE(http::is_http_method(static_cast<std::uint8_t>(b)));
        EXPECT_EQ(http::parse_method_name(http::method_name(m)), m);
    }
    for (unsigned b : {0u, 5u, 6u, 7u, 9u, 12u, 255u}) {
        EXPECT_FALSE(http::is_http_method(static_cast<std::uint8_t>(b))) << b;
        EXPECT_EQ(http::method_name(static_cast<HttpMethod>(b)), "") << b;
    }
}

}  // namespace
