#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "deririrore/value/json.hpp"
#include "http/archives.hpp"

namespace {

using http::ArchiveFormat;
using http::read_archive;

deririrore::value::Value json(std::string_view text) {
    auto v = deririrore::value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return v.has_value() ? std::move(v).value() : deririrore::value::Value();
}

constexpr double kNow = 1'000'000.0;

TEST(Archives, HarEntriesBecomeExchanges) {
    const auto read = read_archive(ArchiveFormat::Har, json(R"({"log": {"version": "1.2", "entries": [
      {"startedDateTime": "2026-12-11T06:30:00.250+01:00", "time": 12.5,
       "request": {"method": "POST", "url": "http://127.0.0.1:5000/pets?limit=2",
                   "headers": [{"name": ":authority", "value": "x"}, {"name": "Accept", "value": "a/b"},
                               {"name": "accept", "value": "c/d"}, {"name": "Cookie", "value": "a=1"},
                               {"name": "Cookie", "value": "b=2"}],
                   "postData": {"mimeType": "application/json", "text": "{\"name\": \"Rex\"}"}},
       "response": {"status": 201, "headers": [{"name": "Content-Type", "value": "application/json"}],
                    "content": {"mimeType": "application/json", "text": "eyJpZCI6IDF9", "encoding": "base64"}}},
      {"startedDateTime": "2026-12-11T05:30:01Z", "time": -1,
       "request": {"method": "POST", "url": "http://127.0.0.1:5000/pets", "headers": [],
                   "postData": {"mimeType": "application/x-www-form-urlencoded",
                                "params": [{"name": "a b", "value": "1&2"}, {"name": "c"}]}},
       "response": {"status": 0, "headers": [], "content": {}}},
      {"startedDateTime": "2026-12-11T05:30:02Z", "request": {"method": "GET", "url": "data:image/png;base64,AAAA"},
       "response": {"status": 200, "content": {}}}]}})"),
                                   kNow);
    ASSERT_TRUE(read.has_value()) << read.error().message();
    ASSERT_EQ(read->interactions.size(), 2u);
    EXPECT_EQ(read->skipped, 1u);  // the data: URL
    const http::Interaction& first = read->interactions[0];
    EXPECT_EQ(first.request.method, http::HttpMethod::Post);
    EXPECT_EQ(first.request.url.path(), "/pets");
    EXPECT_EQ(first.request.body, std::optional<std::string>(R"({"name": "Rex"})"));
    EXPECT_EQ(*first.request.headers.find("accept"), "a/b, c/d");
    EXPECT_EQ(*first.request.headers.find("cookie"), "a=1; b=2");
    EXPECT_EQ(first.request.headers.find(":authority"), nullptr);
    EXPECT_DOUBLE_EQ(first.timestamp, 1796967000.25);  // 05:30:00.25 UTC
    ASSERT_TRUE(first.response.has_value());
    EXPECT_EQ(first.response->status, 201);
    EXPECT_EQ(first.response->body, std::optional<std::string>(R"({"id": 1})"));
    EXPECT_FLOAT_EQ(first.response->elapsed, 0.0125f);
    // Status 0: the browser got no answer.
    EXPECT_FALSE(read->interactions[1].response.has_value());
    EXPECT_EQ(read->interactions[1].request.body, std::optional<std::string>("a+b=1%262&c="));
}

TEST(Archives, VcrInteractionsBecomeExchanges) {
    const auto read = read_archive(ArchiveFormat::Vcr, json(R"({"version": 1, "interactions": [
      {"request": {"method": "GET", "uri": "http://127.0.0.1:5000/pets/1", "body": null,
                   "headers": {"Accept": ["*/*"], "X-Two": ["a", "b"]}},
       "response": {"status": {"code": 200, "message": "OK"}, "headers": {"Content-Type": ["application/json"]},
                    "body": {"string": "{\"id\": 1}"}}},
      {"request": {"method": "PUT", "uri": "http://127.0.0.1:5000/pets/1", "body": "{}", "headers": {}},
       "response": {"status": {"code": 204, "message": "No Content"}, "headers": {}, "body": {"string": ""}}}]})"),
                                   kNow);
    ASSERT_TRUE(read.has_value()) << read.error().message();
    ASSERT_EQ(read->interactions.size(), 2u);
    const http::Interaction& first = read->interactions[0];
    EXPECT_EQ(first.timestamp, kNow);
    EXPECT_FALSE(first.request.body.has_value());
    EXPECT_EQ(*first.request.headers.find("x-two"), "a, b");
    EXPECT_EQ(first.response->body, std::optional<std::string>(R"({"id": 1})"));
    EXPECT_EQ(read->interactions[1].request.body, std::optional<std::string>("{}"));
    EXPECT_EQ(read->interactions[1].response->status, 204);
}

TEST(Archives, PostmanSavedResponsesBecomeExchanges) {
    const auto read = read_archive(ArchiveFormat::Postman, json(R"({
      "info": {"name": "pets", "schema": "https://schema.getpostman.com/json/collection/v2.1.0/collection.json"},
      "variable": [{"key": "base", "value": "http://127.0.0.1:5000"}],
      "item": [{"name": "folder", "item": [{"name": "deeper", "item": [
        {"name": "create", "request": {"method": "POST", "url": "{{base}}/pets",
                                        "header": [{"key": "Content-Type", "value": "application/json"},
                                                   {"key": "X-Off", "value": "1", "disabled": true}],
                                        "body": {"mode": "raw", "raw": "{\"name\": \"Rex\"}"}},
         "response": [{"name": "made", "code": 201, "status": "Created", "responseTime": 40,
                       "header": [{"key": "Content-Type", "value": "application/json"}], "body": "{\"id\": 7}"},
                      {"name": "bad", "code": 400,
                       "originalRequest": {"method": "POST", "url": {"protocol": "http", "host": ["127", "0", "0", "1"],
                                           "port": "5000", "path": ["pets"], "query": [{"key": "dry", "value": "1"}]},
                                           "body": {"mode": "urlencoded", "urlencoded": [{"key": "a b", "value": "c&d"}]}},
                       "body": null}]}]}]},
        {"name": "unsent", "request": "http://127.0.0.1:5000/pets"},
        {"name": "parts", "request": {"url": {"host": ["{{base}}"], "path": ["pets", "1"]}},
         "response": [{"code": 200}]}]})"),
                                   kNow);
    ASSERT_TRUE(read.has_value()) << read.error().message();
    ASSERT_EQ(read->interactions.size(), 3u);
    EXPECT_EQ(read->skipped, 1u);  // the request without a saved response
    // A host variable that holds the scheme is not given a second one.
    EXPECT_EQ(read->interactions[2].request.url.href(), "http://127.0.0.1:5000/pets/1");
    const http::Interaction& made = read->interactions[0];
    EXPECT_EQ(made.request.url.href(), "http://127.0.0.1:5000/pets");
    EXPECT_EQ(made.request.headers.find("x-off"), nullptr);
    EXPECT_EQ(made.response->status, 201);
    EXPECT_FLOAT_EQ(made.response->elapsed, 0.04f);
    const http::Interaction& bad = read->interactions[1];
    EXPECT_EQ(bad.request.url.href(), "http://127.0.0.1:5000/pets?dry=1");
    EXPECT_EQ(bad.request.body, std::optional<std::string>("a+b=c%26d"));
    EXPECT_EQ(*bad.request.headers.find("content-type"), "application/x-www-form-urlencoded");
    EXPECT_FALSE(bad.response->body.has_value());
}

struct Malformed {
    ArchiveFormat format;
    std::string_view document;
    std::string_view message;
};

TEST(Archives, MalformedDocumentsNameTheFirstProblemAndItsPlace) {
    const Malformed cases[] = {
        {ArchiveFormat::Har, "[]", "Invalid HAR archive: expected an object, found an array"},
        {ArchiveFormat::Har, R"({"log": {}})", "Invalid HAR archive at log.entries: missing"},
        {ArchiveFormat::Har, R"({"log": {"entries": [{"startedDateTime": "2026-12-11T06:30:00Z",
            "request": {"method": "GET", "url": 5}}]}})",
         "Invalid HAR archive at log.entries[0].request.url: expected a string, found a number"},
        {ArchiveFormat::Har, R"({"log": {"entries": [{"startedDateTime": "yesterday",
            "request": {"method": "GET", "url": "http://h/"}}]}})",
         "Invalid HAR archive at log.entries[0].startedDateTime: expected an ISO 8601 date and time"},
        {ArchiveFormat::Har, R"({"log": {"entries": [{"startedDateTime": "2026-12-11T06:30:00Z",
            "request": {"method": "CONNECT", "url": "http://h/"}}]}})",
         "Invalid HAR archive at log.entries[0].request.method: unknown HTTP method 'CONNECT'"},
        {ArchiveFormat::Har, R"({"log": {"entries": [{"startedDateTime": "2026-12-11T06:30:00Z",
            "request": {"method": "GET", "url": "/relative"}}]}})",
         "Invalid HAR archive at log.entries[0].request.url: invalid URL `/relative`: "},
        {ArchiveFormat::Har, R"({"log": {"entries": [{"startedDateTime": "2026-12-11T06:30:00Z",
            "request": {"method": "GET", "url": "http://h/"}, "response": {"status": 70000}}]}})",
         "Invalid HAR archive at log.entries[0].response.status: status 70000 is outside 100..999"},
        {ArchiveFormat::Har, R"({"log": {"entries": [{"startedDateTime": "2026-12-11T06:30:00Z",
            "request": {"method": "GET", "url": "http://h/"}, "response": {"status": 200.5}}]}})",
         "Invalid HAR archive at log.entries[0].response.status: expected an integer status code"},
        {ArchiveFormat::Har, R"({"log": {"entries": [{"startedDateTime": "2026-12-11T06:30:00Z",
            "request": {"method": "GET", "url": "http://h/"},
            "response": {"status": 200, "content": {"text": "@@", "encoding": "base64"}}}]}})",
         "Invalid HAR archive at log.entries[0].response.content.text: not valid base64"},
        {ArchiveFormat::Vcr, R"({"interactions": []})", "Invalid VCR cassette at version: missing"},
        {ArchiveFormat::Vcr, R"({"version": 2, "interactions": []})",
         "Invalid VCR cassette at version: only version 1 is read"},
        {ArchiveFormat::Vcr, R"({"version": 1, "interactions": [{"request": {"method": "GET",
            "uri": "http://h/", "headers": {"A": [1]}}}]})",
         "Invalid VCR cassette at interactions[0].request.headers.A[0]: expected a string, found a number"},
        {ArchiveFormat::Vcr, R"({"version": 1, "interactions": [{"request": {"method": "GET",
            "uri": "http://h/"}, "response": {"status": {"message": "OK"}}}]})",
         "Invalid VCR cassette at interactions[0].response.status.code: missing"},
        {ArchiveFormat::Postman, R"({"info": {"schema": "https://schema.getpostman.com/json/collection/v1.0.0/"},
            "item": []})",
         "Invalid Postman collection at info.schema: only collections of format v2.1 are read, not "
         "`https://schema.getpostman.com/json/collection/v1.0.0/`"},
        {ArchiveFormat::Postman, R"({"info": {"schema": "https://x/collection/v2.1.0/"}, "item": [
            {"item": [{"request": "{{host}}/a", "response": [{"code": 200}]}]}]})",
         "Invalid Postman collection at request.url: the variable in `{{host}}/a` is not defined by the collection"},
        {ArchiveFormat::Postman, R"({"info": {"schema": "https://x/collection/v2.1.0/"}, "item": [
            {"request": "http://h/a", "response": [{"status": "OK"}]}]})",
         "Invalid Postman collection at item[0].response[0].code: missing"},
    };
    for (const Malformed& c : cases) {
        const auto read = read_archive(c.format, json(c.document), kNow);
        ASSERT_FALSE(read.has_value()) << c.document;
        EXPECT_TRUE(read.error().message().starts_with(c.message)) << read.error().message();
    }
}

TEST(Archives, DeepFoldersAreWalkedWithoutRecursion) {
    std::string doc = R"({"info": {"schema": "https://x/collection/v2.1.0/"}, "item": [)";
    constexpr int kDepth = 250;  // two levels each: within the JSON reader's nesting limit of 512
    for (int i = 0; i < kDepth; ++i) doc += R"({"item": [)";
    doc += R"({"request": "http://h/a", "response": [{"code": 200}]})";
    for (int i = 0; i < kDepth; ++i) doc += "]}";
    doc += "]}";
    const auto read = read_archive(ArchiveFormat::Postman, json(doc), kNow);
    ASSERT_TRUE(read.has_value()) << read.error().message();
    EXPECT_EQ(read->interactions.size(), 1u);
}

TEST(Archives, IsoTimes) {
    const std::pair<std::string_view, std::optional<double>> cases[] = {
        {"1970-01-01T00:00:00Z", 0.0},
        {"1970-01-01T01:00:00+01:00", 0.0},
        {"2000-02-29T12:00:00.5Z", 951825600.5},
        {"1969-12-31T23:59:59Z", -1.0},
        {"2001-02-29T00:00:00Z", std::nullopt},
        {"2026-12-11T06:30:00", std::nullopt},
        {"2026-12-11T06:30:00.Z", std::nullopt},
        {"2026-12-11T24:00:00Z", std::nullopt},
        {"2026-12-11T06:30:00Zjunk", std::nullopt},
        {"2026-1-11T06:30:00Z", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        const auto parsed = http::parse_iso8601_time(text);
        ASSERT_EQ(parsed.has_value(), expected.has_value()) << text;
        if (expected) {
            EXPECT_DOUBLE_EQ(*parsed, *expected) << text;
        }
    }
}

}  // namespace
