#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "tracer_fixture.hpp"
#include "vantorel/recorders/parameter_tracing.hpp"

namespace {

using deririrore::value::to_json;
using tracertest::json;
using vantorel::model::ParameterLocation;
using vantorel::model::ParameterTarget;
using vantorel::recorders::ParsedQuery;
using vantorel::recorders::PathParams;

constexpr std::uint8_t kString = 16, kArray = 32, kObject = 64;

ParameterTarget target(ParameterLocation location, std::string name, std::string_view schema, std::uint8_t types,
                       std::uint8_t style = 0, bool explode = false) {
    ParameterTarget t;
    t.location = location;
    t.name = std::move(name);
    t.schema = std::make_shared<const deririrore::value::Value>(json(schema));
    t.types = types;
    t.style = style;
    t.explode = explode;
    return t;
}

http::RequestRecord request(std::string_view url, std::vector<std::pair<std::string, std::string>> headers = {}) {
    http::HeaderMap map;
    for (auto& [k, v] : headers) map.insert(k, v);
    return std::move(http::build_request_record(http::HttpMethod::Get, url, std::nullopt, std::move(map))).value();
}

// The candidates as JSON texts; "absent" when the request does not carry the parameter.
std::vector<std::string> candidates(const ParameterTarget& t, const http::RequestRecord& req,
                                    const PathParams& path = {}) {
    ParsedQuery query;
    vantorel::recorders::parse_query_string(query, req.url.query(), t.style == 3);
    const auto out = vantorel::recorders::parameter_candidates(path, req, query, t, nullptr);
    if (!out) return {"absent"};
    std::vector<std::string> texts;
    for (const auto& v : *out) texts.push_back(to_json(v));
    return texts;
}

TEST(ParsedQuery, NamesValuesAndDeepObjects) {
    ParsedQuery q;
    vantorel::recorders::parse_query_string(
        q, "a=1&a=2&&b&=x&q=a+b%20c&p=%zz&r=%FF&f[c]=red&f[s]=10&g[]=1&[h]=2&a[b][c]=3", true);
    std::vector<std::string> names;
    for (const auto& [name, values] : q.params) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "", "q", "p", "r", "f[c]", "f[s]", "g[]", "[h]", "a[b][c]"}));
    EXPECT_EQ(*q.find("a"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(*q.find("b"), (std::vector<std::string>{""}));
    EXPECT_EQ(*q.find(""), (std::vector<std::string>{"x"}));
    EXPECT_EQ(q.find("q")->front(), "a b c");
    EXPECT_EQ(q.find("p")->front(), "%zz");
    EXPECT_EQ(q.find("r")->front(), "\xEF\xBF\xBD");
    ASSERT_EQ(q.deep_params.size(), 2u);
    EXPECT_EQ(q.deep_params.at("f").at("c").front(), "red");
    EXPECT_EQ(q.deep_params.at("a").at("b][c").front(), "3");
    ParsedQuery none;
    vantorel::recorders::parse_query_string(none, std::nullopt, true);
    EXPECT_TRUE(none.params.empty());
}

// The style table's query examples and the other locations through the whole lookup, with
// color = "blue", ["blue","black","brown"] or {"R":100,"G":200,"B":150}.
TEST(ParameterCandidates, StyleExamplesThroughTheRequest) {
    const char* array_schema = R"({"type":"array","items":{"type":"string"}})";
    const char* object_schema =
        R"({"type":"object","properties":{"R":{"type":"integer"},"G":{"type":"integer"},"B":{"type":"integer"}}})";
    const std::string array = R"(["blue","black","brown"])";
    const std::string object = R"({"B":150,"G":200,"R":100})";
    struct Case {
        ParameterLocation location;
        std::uint8_t style;
        bool explode;
        bool is_object;
        std::string url;
        std::string cookie;
        std::string path;
        std::string expected;
    };
    const auto Q = ParameterLocation::Query;
    const std::vector<Case> cases = {
        {Q, 0, false, false, "/?color=blue,black,brown", "", "", array},
        {Q, 0, true, false, "/?color=blue&color=black&color=brown", "", "", array},
        {Q, 0, false, true, "/?color=R,100,G,200,B,150", "", "", object},
        {Q, 0, true, true, "/?R=100&G=200&B=150", "", "", object},
        {Q, 1, false, false, "/?color=blue%20black%20brown", "", "", array},
        {Q, 1, false, true, "/?color=R%20100%20G%20200%20B%20150", "", "", object},
        {Q, 2, false, false, "/?color=blue|black|brown", "", "", array},
        {Q, 2, false, true, "/?color=R|100|G|200|B|150", "", "", object},
        {Q, 3, true, true, "/?color[R]=100&color[G]=200&color[B]=150", "", "", object},
        {ParameterLocation::Cookie, 0, false, false, "/", "color=blue,black,brown", "", array},
        {ParameterLocation::Cookie, 0, false, true, "/", "color=R,100,G,200,B,150", "", object},
        {ParameterLocation::Path, 1, false, false, "/", "", ".blue,black,brown", array},
        {ParameterLocation::Path, 2, true, true, "/", "", ";R=100;G=200;B=150", object},
        {ParameterLocation::Path, 0, false, false, "/", "", "blue%2Cblack,brown", array},
    };
    for (const Case& c : cases) {
        const ParameterTarget t = target(c.location, "color", c.is_object ? object_schema : array_schema,
                                         c.is_object ? kObject : kArray, c.style, c.explode);
        std::vector<std::pair<std::string, std::string>> headers;
        if (!c.cookie.empty()) headers.push_back({"Cookie", c.cookie});
        const PathParams path{{"color", c.path}};
        EXPECT_EQ(candidates(t, request("http://h" + c.url, headers), path), std::vector<std::string>{c.expected})
            << c.url << c.cookie << c.path;
    }
}

TEST(ParameterCandidates, ScalarsMatrixLabelCookieAndHeader) {
    const char* integer = R"({"type":"integer"})";
    struct Case {
        ParameterTarget t;
        std::string url;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string path;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        // The style table's primitive row: color = "blue".
        {target(ParameterLocation::Path, "color", R"({"type":"string"})", kString, 0), "/", {}, "blue", {R"("blue")"}},
        {target(ParameterLocation::Path, "color", R"({"type":"string"})", kString, 1), "/", {}, ".blue", {R"("blue")"}},
        {target(ParameterLocation::Path, "color", R"({"type":"string"})", kString, 2),
         "/",
         {},
         ";color=blue",
         {R"("blue")"}},
        {target(ParameterLocation::Path, "color", R"({"type":"string"})", kString, 2), "/", {}, ";color", {R"("")"}},
        {target(ParameterLocation::Query, "color", R"({"type":"string"})", kString, 0, true),
         "/?color=blue",
         {},
         "",
         {R"("blue")"}},
        {target(ParameterLocation::Query, "color", R"({"type":"string"})", kString, 0, true),
         "/?color=",
         {},
         "",
         {R"("")"}},
        {target(ParameterLocation::Header, "color", R"({"type":"string"})", kString),
         "/",
         {{"color", "blue"}},
         "",
         {R"("blue")"}},
        {target(ParameterLocation::Cookie, "color", R"({"type":"string"})", kString),
         "/",
         {{"cookie", "color=blue"}},
         "",
         {R"("blue")"}},
        {target(ParameterLocation::Path, "id", integer, 4, 2), "/", {}, ";id=5", {"5"}},
        {target(ParameterLocation::Path, "id", integer, 4, 2), "/", {}, ";other=5", {R"(";other=5")"}},
        {target(ParameterLocation::Path, "id", integer, 4, 1), "/", {}, "5", {R"("5")"}},
        {target(ParameterLocation::Query, "n", R"({"type":["integer","string"]})", 4 | kString),
         "/?n=5",
         {},
         "",
         {"5", R"("5")"}},
        {target(ParameterLocation::Query, "n", integer, 4), "/?m=5", {}, "", {"absent"}},
        {target(ParameterLocation::Query, "n", R"({"type":"number"})", 8),
         "/?n=12345678901234567890123",
         {},
         "",
         {"12345678901234567890123.0"}},
        {target(ParameterLocation::Query, "n", R"({"type":"number"})", 8), "/?n=0.1", {}, "", {"0.1"}},
        {target(ParameterLocation::Query, "n", R"({"type":"number"})", 8), "/?n=inf", {}, "", {R"("inf")"}},
        {target(ParameterLocation::Cookie, "b", integer, 4), "/", {{"cookie", "a=1; b = 2 ; b=3"}}, "", {"2"}},
        {target(ParameterLocation::Header, "X-N", integer, 4), "/", {{"x-n", "07"}}, "", {"7"}},
        {target(ParameterLocation::Header, "X-N", integer, 4), "/", {{"x-n", "007"}}, "", {R"("007")"}},
        {target(ParameterLocation::Header, "X-N", integer, 4), "/", {}, "", {"absent"}},
    };
    for (const Case& c : cases) {
        const PathParams path{{c.t.name, c.path}};
        EXPECT_EQ(candidates(c.t, request("http://h" + c.url, c.headers), path), c.expected) << c.url << c.path;
    }
}

TEST(ParameterCandidates, ExplodedFormDottedFallbackAndReservedNames) {
    const char* ints = R"({"type":"array","items":{"type":"integer"}})";
    const char* ab = R"({"type":"object","properties":{"a":{"type":"integer"},"b":{"type":"string"}}})";
    auto reserved = target(ParameterLocation::Query, "obj",
                           R"({"type":"object","additionalProperties":{"type":"string"}})", kObject, 0, true);
    reserved.excluded_query_names = {"limit", "page"};
    struct Case {
        ParameterTarget t;
        std::string url;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {target(ParameterLocation::Query, "id", ints, kArray, 0, true), "/?id=1&id=2", {"[1,2]"}},
        {target(ParameterLocation::Query, "id", ints, kArray, 0, true), "/?id.1=2&id.0=1", {"[1,2]"}},
        {target(ParameterLocation::Query, "id", ints, kArray, 0, false), "/?id=1,2", {"[1,2]"}},
        {target(ParameterLocation::Query, "id", ints, kArray, 0, true), "/?id=1,2", {R"(["1,2"])"}},
        {target(ParameterLocation::Query, "obj", ab, kObject, 0, true), "/?a=1&c=3", {R"({"a":1})"}},
        {target(ParameterLocation::Query, "obj", ab, kObject, 0, true), "/?obj.a=1", {R"({"a":1})"}},
        {target(ParameterLocation::Query, "obj", ab, kObject, 0, true), "/?c=1", {"absent"}},
        {reserved, "/?limit=5&x=1&page.size=3", {R"({"x":"1"})"}},
        {target(ParameterLocation::Query, "filter", R"({"type":"object","properties":{"size":{"type":"integer"}}})",
                kObject, 3, true),
         "/?filter[color]=red&filter[size]=10",
         {R"({"color":"red","size":10})"}},
    };
    for (const Case& c : cases) EXPECT_EQ(candidates(c.t, request("http://h" + c.url)), c.expected) << c.url;
}

TEST(ParameterCandidates, DeepNamesAreBoundedNotFatal) {
    std::string dotted = "/?obj";
    for (int i = 0; i < 100000; ++i) dotted += ".a";
    dotted += "=1";
    // Every level of this schema is an object with a member "a" of the same schema.
    const auto deep =
        target(ParameterLocation::Query, "obj",
               R"({"$ref":"#/$defs/n","$defs":{"n":{"type":"object","properties":{"a":{"$ref":"#/$defs/n"}}}}})",
               kObject, 0, true);
    // The nested tree is given up, but the parameter was sent: one hit, nothing traced.
    EXPECT_EQ(candidates(deep, request("http://h" + dotted)), std::vector<std::string>{});

    std::string brackets = "/?f";
    for (int i = 0; i < 100000; ++i) brackets += "[a";
    for (int i = 0; i < 100000; ++i) brackets += "]";
    brackets += "=1";
    const auto deep_object = target(ParameterLocation::Query, "f", R"({"type":"object"})", kObject, 3, true);
    const auto out = candidates(deep_object, request("http://h" + brackets));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out.front().substr(0, 6), R"({"a[a[)");
}

TEST(ParameterTracing, OneHitPerParameterAndCoveredAt) {
    tracertest::Measured measured(R"({"type":"integer","minimum":3})");
    ParameterTarget t = target(ParameterLocation::Query, "n", R"({"type":"integer","minimum":3})", 4 | kString);
    t.schema = std::make_shared<const deririrore::value::Value>(measured.schema);
    t.validator = std::make_shared<const deririrore::core::Validator>(*measured.validator);
    t.holder = measured.holder;
    const auto req = [](std::string_view url) { return request(url); };
    ParsedQuery q1;
    const auto r1 = req("http://h/?n=5");
    vantorel::recorders::parse_query_string(q1, r1.url.query(), false);
    vantorel::recorders::trace_parameter({}, r1, q1, t, nullptr, 10.0);
    EXPECT_EQ(t.holder.hits, 1u);
    ParsedQuery q0;
    const auto r0 = req("http://h/?m=5");
    vantorel::recorders::parse_query_string(q0, r0.url.query(), false);
    vantorel::recorders::trace_parameter({}, r0, q0, t, nullptr, 11.0);
    EXPECT_EQ(t.holder.hits, 1u);
    ParsedQuery q2;
    const auto r2 = req("http://h/?n=1");
    vantorel::recorders::parse_query_string(q2, r2.url.query(), false);
    vantorel::recorders::trace_parameter({}, r2, q2, t, nullptr, 12.0);
    EXPECT_EQ(t.holder.hits, 2u);
    // '1' fails `minimum`, the last outcome missing: covered at that interaction's time.
    EXPECT_TRUE(t.holder.state->all_covered) << measured.dump();
    EXPECT_EQ(t.holder.covered_at, 12.0);
}

TEST(ParameterTracing, TypePassCountsAndCoversAtOnce) {
    tracertest::Measured measured(R"({"type":"string"})");
    zavova::CoverageHolder holder = measured.holder;
    const zavova::KeywordEntry* before = holder.state->entries.find("/type");
    ASSERT_NE(before, nullptr) << measured.dump();
    vantorel::recorders::record_type_pass(holder, 7.0);
    const zavova::KeywordEntry* after = holder.state->entries.find("/type");
    EXPECT_EQ(after->passed, 1u);
    EXPECT_EQ(after->first_passed, 7.0);
    vantorel::recorders::record_type_pass(holder, 8.0);
    EXPECT_EQ(holder.state->entries.find("/type")->passed, 2u);
    EXPECT_EQ(holder.state->entries.find("/type")->first_passed, 7.0);
}

}  // namespace

namespace {

TEST(ParameterTracing, QuerystringIsABodyOfItsMediaType) {
    tracertest::Measured measured(R"({"type":"object","properties":{"a":{"type":"integer"}}})");
    ParameterTarget t;
    t.location = ParameterLocation::Querystring;
    t.schema = std::make_shared<const deririrore::value::Value>(measured.schema);
    t.validator = std::make_shared<const deririrore::core::Validator>(*measured.validator);
    t.holder = measured.holder;
    t.media_type = http::parse_media_type("application/json").value();
    const auto req = request("http://h/?%7B%22a%22%3A1%7D");
    ParsedQuery q;
    vantorel::recorders::parse_query_string(q, req.url.query(), false);
    vantorel::recorders::trace_parameter({}, req, q, t, nullptr, 4.0);
    EXPECT_EQ(t.holder.hits, 1u);
    const auto* a = t.holder.state->entries.find("/properties/a/type");
    ASSERT_NE(a, nullptr) << measured.dump();
    EXPECT_EQ(a->passed, 1u);
    const auto empty = request("http://h/?");
    vantorel::recorders::trace_parameter({}, empty, q, t, nullptr, 5.0);
    EXPECT_EQ(t.holder.hits, 1u);
}

}  // namespace
