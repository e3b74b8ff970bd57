#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "http/media_type.hpp"
#include "multipart/form_body.hpp"

namespace {

using deririrore::value::parse_json;
using deririrore::value::to_json;
using multipart::FieldSpecs;
using multipart::Value;

Value json(std::string_view text) { return std::move(parse_json(text)).value(); }

// The recording side's JSON body decoder stands behind this pointer; UTF-8 suffices here.
std::optional<Value> utf8_json(std::string_view body, const http::MediaType&) {
    auto parsed = parse_json(body);
    if (!parsed) return std::nullopt;
    return std::move(parsed).value();
}

std::string form(std::string_view body, const Value& schema, const FieldSpecs& specs = {}) {
    auto decoded = multipart::decode_form_body(body, schema, specs);
    return decoded ? to_json(*decoded) : "none";
}

const Value& declared_x() {
    static const Value schema = json(R"({"type":"object","properties":{
        "x":{"type":"object","properties":{"a":{"type":"integer"}}},
        "list":{"type":"array","items":{"type":"integer"}},
        "n":{"type":"integer"}}})");
    return schema;
}

TEST(FormBody, PairsAndDefaultDecoding) {
    const Value none = json("{}");
    EXPECT_EQ(form("", none), "{}");
    EXPECT_EQ(form("a=1&&b=2", none), R"({"a":true,"b":"2"})");
    EXPECT_EQ(form("a", none), R"({"a":""})");
    EXPECT_EQ(form("a+b=c%20d", none), R"({"a b":"c d"})");
    EXPECT_EQ(form("a=%FF%zz", none), "{\"a\":\"\xEF\xBF\xBD%zz\"}");
    EXPECT_EQ(form("y[a]=1&n=null", none), R"({"n":null,"y[a]":true})");
    EXPECT_EQ(form("a=1&a=2", none), R"({"a":"2"})");
}

TEST(FormBody, DeclaredFields) {
    EXPECT_EQ(form("n=042&list=1&list=2&other=3", declared_x()), R"({"list":[1,2],"n":42,"other":"3"})");
    // Unexploded array field: one comma-separated value.
    FieldSpecs specs;
    specs["list"] = multipart::DecodeSpec{0, 0, multipart::DecodeMode::Typed, 0, 32};
    EXPECT_EQ(form("list=1,2", declared_x(), specs), R"({"list":[1,2]})");
    specs["list"] = multipart::DecodeSpec{0, 0, multipart::DecodeMode::Typed, 2, 32};
    EXPECT_EQ(form("list=1|2", declared_x(), specs), R"({"list":[1,2]})");
    // A property not declared is a plain name, brackets and all.
    EXPECT_EQ(form("y[a]=1", declared_x()), R"({"y[a]":true})");
}

TEST(FormBody, BracketTrees) {
    struct Case {
        const char* body;
        const char* x;
    };
    const std::vector<Case> cases = {
        {"x[2]=b&x[0]=a", R"(["a","b"])"},
        {"x[1]=a&x[01]=b", R"(["b"])"},
        // A numeric segment looks for `items`, which x lacks: the value is read with x's own schema.
        {"x[a]=1&x[0]=2", R"({"0":"2","a":1})"},
        {"x[0]=1&x[a]=2", R"(["1"])"},
        {"x[a]=1&x[a][b]=2", R"({"a":1})"},
        {"x[a][b]=1&x[a]=2", R"({"a":2})"},
        {"x=1&x[a]=2", R"({"a":2})"},
        {"x[a]=2&x=1", R"({"a":2})"},
        {"x[%2B3]=c&x[18446744073709551615]=d", R"(["c","d"])"},
        {"x[18446744073709551616]=1", R"({"18446744073709551616":"1"})"},
        {"x[]=1&x[]=2", R"({"":"2"})"},
        {"x[a[b]=1", R"({"a[b":"1"})"},
    };
    for (const Case& c : cases) {
        auto decoded = multipart::decode_form_body(c.body, declared_x(), {});
        ASSERT_TRUE(decoded.has_value()) << c.body;
        const Value* x = decoded->find("x");
        ASSERT_NE(x, nullptr) << c.body;
        EXPECT_EQ(to_json(*x), c.x) << c.body;
    }
    // Not bracket form: a segment must close and run to the end.
    EXPECT_EQ(form("x[a]c=1&x[a=2", declared_x()), R"({"x[a":"2","x[a]c":true})");
}

TEST(FormBody, BracketDepthIsBounded) {
    std::string name = "x";
    for (std::size_t i = 0; i < multipart::kMaxBracketSegments; ++i) name += "[a]";
    EXPECT_NE(form(name + "=1", declared_x()), "none");
    EXPECT_EQ(form(name + "[a]=1", declared_x()), "none");
    std::string huge = "x";
    for (int i = 0; i < 100000; ++i) huge += "[0]";
    EXPECT_EQ(form(huge + "=1", declared_x()), "none");
}

std::string multipart_body(std::string_view body, const Value& schema) {
    std::string wire;
    for (char c : body) {
        if (c == '\n')
            wire += "\r\n";
        else
            wire.push_back(c);
    }
    auto decoded = multipart::decode_multipart_body(wire, "B", schema, {}, utf8_json);
    return decoded ? to_json(*decoded) : "none";
}

TEST(MultipartBody, FieldsToObject) {
    EXPECT_EQ(multipart_body("--B--", declared_x()), "{}");
    EXPECT_EQ(multipart_body("--B\nContent-Disposition: form-data; name=n\n\n1\n"
                             "--B\nContent-Disposition: form-data; name=n\n\n2\n"
                             "--B\nContent-Disposition: form-data; name=list\n\n1\n"
                             "--B\nContent-Disposition: form-data; name=list\n\n2\n"
                             "--B\nContent-Type: text/plain\n\nnameless\n"
                             "--B\nContent-Disposition: form-data\n\nno name\n"
                             "--B\nContent-Disposition: form-data; name=other\n\n1\n"
                             "--B--",
                             declared_x()),
              R"({"list":[1,2],"n":2,"other":true})");
}

TEST(MultipartBody, JsonParts) {
    EXPECT_EQ(
        multipart_body("--B\nContent-Disposition: form-data; name=x\nContent-Type: application/json\n\n{\"a\":5}\n"
                       "--B\nContent-Disposition: form-data; name=list\nContent-Type: application/json\n\n[1,2]\n"
                       "--B\nContent-Disposition: form-data; name=list\n\n3\n"
                       "--B\nContent-Disposition: form-data; name=n\nContent-Type: application/json\n\n{bad\n"
                       "--B\nContent-Disposition: form-data; name=meta\nContent-Type: application/vnd.x+json\n\n\"7\"\n"
                       "--B\nContent-Disposition: form-data; name=text\nContent-Type: text/plain\n\n{}\n"
                       "--B--",
                       declared_x()),
        R"({"list":[1,2,3],"meta":"7","n":"{bad","text":"{}","x":{"a":5}})");
}

TEST(MultipartBody, SchemaWithoutProperties) {
    EXPECT_EQ(multipart_body("--B\nContent-Disposition: form-data; name=a\n\n12\n"
                             "--B\nContent-Disposition: form-data; name=a\n\nyes\n--B--",
                             json(R"({"type":"object"})")),
              R"({"a":true})");
    EXPECT_EQ(multipart_body("--B\nContent-Disposition: form-data; name=a\n\n12\n--B", json("{}")), "none");
}

TEST(MultipartBody, PropertiesThroughReferences) {
    const Value schema = json(R"({"$ref":"#/$defs/T","$defs":{"T":{"properties":{"n":{"$ref":"#/$defs/I"}}},
                                  "I":{"type":"integer"}}})");
    EXPECT_EQ(multipart_body("--B\nContent-Disposition: form-data; name=n\n\n012\n--B--", schema), R"({"n":12})");
    EXPECT_EQ(form("n=012&m=012", schema), R"({"m":"012","n":12})");
}

}  // namespace
