// Interaction records: the case-folding header map, the request record constructor and the
// invalid-method message.
#include <gtest/gtest.h>

#include "http/header_map.hpp"
#include "http/interaction.hpp"

namespace {

using namespace http;

TEST(HeaderMap, NamesCompareByFullCaseFolding) {
    HeaderMap headers;
    EXPECT_EQ(find_header_ignore_case(headers, "content-type"), std::nullopt);
    headers.set("Content-Type", " application/JSON ");
    headers.set(
        "Stra\xC3\x9F"
        "e",
        "german");                                     // "ß" folds to "ss"
    headers.set("\xCE\xA3\xCE\x91\xCE\xA3", "sigma");  // "ΣΑΣ"
    for (std::string_view name : {"content-type", "CONTENT-TYPE", "cOnTeNt-TyPe", "Content-Type"}) {
        EXPECT_EQ(find_header_ignore_case(headers, name), std::optional<std::string_view>(" application/JSON "))
            << name;
    }
    EXPECT_EQ(find_header_ignore_case(headers, "STRASSE"), std::optional<std::string_view>("german"));
    EXPECT_EQ(find_header_ignore_case(headers, "strasse"), std::optional<std::string_view>("german"));
    // Final sigma folds like sigma: "σας" and "ΣΑΣ" are one name.
    EXPECT_EQ(find_header_ignore_case(headers, "\xCF\x83\xCE\xB1\xCF\x82"), std::optional<std::string_view>("sigma"));
    EXPECT_EQ(find_header_ignore_case(headers, "content-typ"), std::nullopt);
    EXPECT_EQ(find_header_ignore_case(headers, "content-type "), std::nullopt);
    EXPECT_EQ(headers.size(), 3u);

    // One key per folded name: set replaces, insert keeps the first.
    headers.set("CONTENT-TYPE", "text/plain");
    EXPECT_EQ(headers.size(), 3u);
    EXPECT_EQ(*headers.find("content-type"), "text/plain");
    EXPECT_FALSE(headers.insert("content-type", "ignored"));
    EXPECT_EQ(*headers.find("content-type"), "text/plain");
    std::string spelling;
    headers.for_each([&](const std::string& name, const std::string&) {
        if (name.rfind("CONTENT", 0) == 0) spelling = name;
    });
    EXPECT_EQ(spelling, "CONTENT-TYPE");
}

TEST(HeaderMap, NamesThatAreNotUtf8StayApart) {
    HeaderMap headers;
    EXPECT_TRUE(headers.insert("x-\xFF", "a"));
    EXPECT_TRUE(headers.insert("x-\xFE", "b"));
    EXPECT_TRUE(headers.insert("x-\xEF\xBF\xBD", "c"));  // U+FFFD itself
    EXPECT_EQ(headers.size(), 3u);
    EXPECT_EQ(*headers.find("X-\xFF"), "a");
    EXPECT_EQ(fold_header_name("\xC3\x89T\xC3\x89"), "\xC3\xA9t\xC3\xA9");  // "ÉTÉ" -> "été"
}

TEST(RequestRecord, BuiltFromAnAbsoluteUrlOnly) {
    HeaderMap headers;
    headers.set("Accept", "*/*");
    auto record = build_request_record(HttpMethod::Query, "http://h/items?x=1", std::string(), std::move(headers));
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->method, HttpMethod::Query);
    EXPECT_EQ(record->url.path(), "/items");
    ASSERT_TRUE(record->body.has_value());  // present and empty is not absent
    EXPECT_EQ(*record->body, "");
    EXPECT_EQ(record->headers.size(), 1u);

    auto none = build_request_record(HttpMethod::Get, "https://h/", std::nullopt, HeaderMap());
    ASSERT_TRUE(none.has_value());
    EXPECT_FALSE(none->body.has_value());

    for (std::string_view url : {"/items", "items", "http://", "http://h:65536/", "file:///etc/passwd"}) {
        auto bad = build_request_record(HttpMethod::Get, url, std::string("body"), HeaderMap());
        EXPECT_FALSE(bad.has_value()) << url;
    }

    Interaction interaction{std::move(*record), ResponseRecord{std::nullopt, HeaderMap(), 0.25f, 204}, 1.5};
    EXPECT_EQ(interaction.response->status, 204);
}

TEST(HttpMethodText, InvalidMethodMessageListsQueryLast) {
    std::string out = "prefix: ";
    fmt_invalid_method_error("fetch", out);
    EXPECT_EQ(out,
              "prefix: Invalid HTTP method: fetch. Possible values: GET, PUT, POST, DELETE, OPTIONS, HEAD, PATCH, "
              "TRACE, QUERY");
    EXPECT_EQ(method_name(HttpMethod::Query), "QUERY");
    EXPECT_EQ(static_cast<int>(HttpMethod::Query), 3);
}

}  // namespace
