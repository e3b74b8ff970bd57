#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "deririrore/value/value.hpp"

namespace dv = deririrore::value;
using dv::Value;

TEST(JsonReader, ReadsTreesWithSortedMembersAndExactNumberTexts) {
    auto r = dv::parse_json(R"( {"b": [1.0, -0, 1E+2, 12345678901234567890123, 1e-2000000],
                                 "a": {"y": true, "x": null}, "ba": "s", "b": "later wins"} )");
    ASSERT_TRUE(r) << r.error().message;
    const Value& v = *r;
    ASSERT_TRUE(v.is_object());
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v.as_object()[0].key, "a");
    EXPECT_EQ(v.as_object()[1].key, "b");
    EXPECT_EQ(v.as_object()[2].key, "ba");
    EXPECT_EQ(v.find("b")->as_string(), "later wins");
    EXPECT_EQ(dv::to_json(v), R"({"a":{"x":null,"y":true},"b":"later wins","ba":"s"})");

    auto nums = dv::parse_json("[1.0, -0, 1E+2, 12345678901234567890123, 1e-2000000, 0.1]");
    ASSERT_TRUE(nums);
    std::vector<std::string_view> texts;
    for (const Value& n : nums->as_array()) texts.push_back(n.number_text());
    EXPECT_EQ(texts, (std::vector<std::string_view>{"1.0", "-0", "1E+2", "12345678901234567890123", "1e-2000000", "0.1"}));
}

TEST(JsonReader, ScalarsAndStrings) {
    struct Case {
        std::string text;
        std::string json_out;
    };
    const std::vector<Case> cases = {
        {"  7  ", "7"},
        {"null", "null"},
        {"true", "true"},
        {R"("a\u0000b\n\t\"\\\/\u00e9\ud83d\ude00")", "\"a\\u0000b\\n\\t\\\"\\\\/\xc3\xa9\xf0\x9f\x98\x80\""},
        {R"("\u001F\b\f\r")", R"("\u001f\b\f\r")"},
        {R"({"\u0062":1,"a":2})", R"({"a":2,"b":1})"},
        {"[[], {}, [[]], \"\"]", R"([[],{},[[]],""])"},
    };
    for (const auto& c : cases) {
        auto r = dv::parse_json(c.text);
        ASSERT_TRUE(r) << c.text << ": " << r.error().message;
        EXPECT_EQ(dv::to_json(*r), c.json_out) << c.text;
    }
    auto s = dv::parse_json(R"("\ud83d\ude00")");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->as_string(), "\xf0\x9f\x98\x80");
}

TEST(JsonReader, RejectsInvalidTexts) {
    const std::vector<std::string> cases = {
        "",
        "   ",
        "[1] x",
        "[1]]",
        "{} {}",
        "1 2",
        "+1",
        "01",
        "-01",
        "1.",
        ".5",
        "1e",
        "-",
        "NaN",
        "[1,]",
        "[1 2]",
        "{\"a\" 1}",
        "{\"a\":1,}",
        "{1:2}",
        "[",
        "{\"a\":",
        "tru",
        "nulll",
        R"("\x")",
        R"("\u12")",
        R"("\ud800")",
        R"("\udc00")",
        R"("\ud800\u0041")",
        R"({"\ud800":1})",
        "\"tab\there\"",
        "\"\xff\"",
        "[\"\xc3\x28\"]",
        "\"unterminated",
        // A string value followed by ":" and a closing bracket once read as if the rest were absent.
        R"({"a":"b":}})",
        R"({"type":"string":},"extra":1})",
        R"(["a":]])",
        R"({"":"":}})",
        R"({"a":"b":1})",
        R"({"a"x:1})",
    };
    for (const auto& text : cases) {
        auto r = dv::parse_json(text);
        EXPECT_FALSE(r) << "accepted: " << text;
        if (!r) {
            EXPECT_FALSE(r.error().message.empty());
        }
    }
    auto trailing = dv::parse_json("[1] x");
    ASSERT_FALSE(trailing);
    EXPECT_EQ(trailing.error().offset, 4u);
    auto escape = dv::parse_json(R"(["ok", "\q"])");
    ASSERT_FALSE(escape);
    EXPECT_NE(escape.error().message.find("escape"), std::string::npos);
    EXPECT_EQ(escape.error().offset, 8u);
}

TEST(JsonReader, NestingBeyondTheLimitIsAnErrorNotACrash) {
    const std::size_t n = 100000;
    const std::string deep = std::string(n, '[') + std::string(n, ']');
    auto r = dv::parse_json(deep);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("nesting"), std::string::npos) << r.error().message;
    EXPECT_NE(r.error().message.find("512"), std::string::npos) << r.error().message;

    std::string objects;
    for (int i = 0; i < 600; ++i) objects += "{\"a\":";
    objects += "1" + std::string(600, '}');
    EXPECT_FALSE(dv::parse_json(objects));
    EXPECT_FALSE(dv::parse_json(std::string(n, '[')));

    EXPECT_TRUE(dv::parse_json(std::string(512, '[') + std::string(512, ']')));
    EXPECT_FALSE(dv::parse_json(std::string(513, '[') + std::string(513, ']')));
    EXPECT_TRUE(dv::parse_json(std::string(10, '[') + std::string(10, ']'), 10));
    EXPECT_FALSE(dv::parse_json(std::string(11, '[') + std::string(11, ']'), 10));
}

TEST(JsonWriter, RoundTripsAndEscapes) {
    const std::vector<std::string> texts = {
        R"({"a":[1,2.50,-0.0,1E+2,{"":"x"}],"b":{"c":null,"d":false}})",
        R"(["\"\\\n\u0001","/\u007f\u00ff"])",
        "[]",
        "{}",
    };
    for (const auto& t : texts) {
        auto r = dv::parse_json(t);
        ASSERT_TRUE(r) << t;
        std::string once = dv::to_json(*r);
        auto again = dv::parse_json(once);
        ASSERT_TRUE(again) << once;
        EXPECT_TRUE(dv::identical(*r, *again)) << once;
    }
    std::string out;
    dv::append_json_string(out, std::string("q\"b\\c\x01\x1f\x7f/\xc3\xa9", 11));
    EXPECT_EQ(out, "\"q\\\"b\\\\c\\u0001\\u001f\x7f/\xc3\xa9\"");
}
