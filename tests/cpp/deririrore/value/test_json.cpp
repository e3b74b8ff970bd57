#include <gtest/gtest.h>

#include <algorithm>
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

    // Each way an escape fails is named, at the escape's backslash.
    struct EscapeCase {
        const char* text;
        const char* message;
    };
    const EscapeCase escapes[] = {
        {R"(["\x"])", "invalid escape in string (at byte 2)"},
        {R"(["\u12G4"])", "invalid \\u escape in string (at byte 2)"},
        {R"(["\u12"])", "invalid \\u escape in string (at byte 2)"},
        {R"(["\uDC00"])", "lone surrogate in string (at byte 2)"},
        {R"(["\uD800x"])", "lone surrogate in string (at byte 2)"},
        {R"(["\uD800\u0041"])", "lone surrogate in string (at byte 2)"},
        {R"(["\uD800\uZZZZ"])", "lone surrogate in string (at byte 2)"},
    };
    for (const auto& c : escapes) {
        auto r = dv::parse_json(c.text);
        ASSERT_FALSE(r) << "accepted: " << c.text;
        EXPECT_EQ(r.error().message, c.message) << c.text;
        EXPECT_EQ(r.error().offset, 2u) << c.text;
    }
}

TEST(JsonReader, StringsFindEscapesAndControlsAtEveryPositionOfAWord) {
    // Strings and keys of up to 40 bytes with one special byte at each position: words of eight
    // bytes are skipped at once, so a miss at any offset would misread the string.
    struct Special {
        std::string written;
        std::string decoded;  // empty: the text is refused at the special byte
    };
    const std::vector<Special> specials = {
        {"\\n", "\n"},    {"\\\"", "\""}, {"\\\\", "\\"}, {"\\u0041", "A"}, {"\xc3\xa9", "\xc3\xa9"},
        {"\x7f", "\x7f"}, {" ", " "},     {"!", "!"},     {"\x01", ""},     {"\x1f", ""},
        {"\t", ""},
    };
    for (std::size_t length = 0; length <= 40; ++length) {
        for (std::size_t at = 0; at <= length; ++at) {
            for (const auto& special : specials) {
                std::string plain(length, 'x');
                for (std::size_t i = 0; i < length; ++i) plain[i] = static_cast<char>('a' + i % 26);
                const std::string written = plain.substr(0, at) + special.written + plain.substr(at);
                const std::string decoded = plain.substr(0, at) + special.decoded + plain.substr(at);
                auto as_string = dv::parse_json("\"" + written + "\"");
                auto as_key = dv::parse_json("{\"" + written + "\": 1}");
                if (special.decoded.empty()) {
                    EXPECT_FALSE(as_string) << written;
                    EXPECT_FALSE(as_key) << written;
                } else {
                    ASSERT_TRUE(as_string) << written << ": " << as_string.error().message;
                    EXPECT_EQ(as_string->as_string(), decoded) << written;
                    ASSERT_TRUE(as_key) << written << ": " << as_key.error().message;
                    EXPECT_EQ(as_key->as_object().at(0).key, decoded) << written;
                }
            }
        }
    }
}

TEST(JsonReader, ConsecutiveDocumentsOfEverySizeReadAlike) {
    // Small documents share the thread's parser and buffer; one over a megabyte (far past the reuse
    // limit) gets its own. A long document before a short one must leave nothing behind, nor a deep
    // limit a shallow one.
    std::string big = "[";
    for (int i = 0; i < 120000; ++i) big += (i ? ",\"" : "\"") + std::to_string(i) + "abcdef\"";
    big += "]";
    ASSERT_GT(big.size(), std::size_t{1} << 20);
    const std::string long_small = "[\"" + std::string(5000, 'q') + "\", {\"k\": [1, 2, 3]}]";
    const std::string near_limit = "[\"" + std::string(200000, 'm') + "\"]";
    struct Step {
        std::string text;
        std::size_t depth;
        bool ok;
        std::string written;
    };
    const std::vector<Step> steps = {
        {long_small, 512, true, ""},
        {"[1]", 512, true, "[1]"},
        {near_limit, 512, true, ""},
        {"[1", 512, false, ""},
        {big, 512, true, ""},
        {"{\"b\": 1, \"a\": 2, \"b\": 3, \"a\": 4, \"b\": 5}", 512, true, R"({"a":4,"b":5})"},
        {"[[[1]]]", 2, false, ""},
        {"[[[1]]]", 3, true, "[[[1]]]"},
        {"true", 512, true, "true"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.text.substr(0, 40));
        auto r = dv::parse_json(step.text, step.depth);
        ASSERT_EQ(r.has_value(), step.ok);
        if (!r) continue;
        if (!step.written.empty()) {
            EXPECT_EQ(dv::to_json(*r), step.written);
        }
        if (step.text == big) {
            EXPECT_EQ(r->size(), 120000u);
        }
        if (step.text == near_limit) {
            EXPECT_EQ(r->as_array().at(0).as_string().size(), 200000u);
        }
        if (step.text == long_small) {
            EXPECT_EQ(r->as_array().at(0).as_string().size(), 5000u);
        }
    }
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

TEST(JsonReader, MembersSortAndDeduplicateAtEverySizeAndWithEscapedKeys) {
    // Objects past a few members are ordered by another sort than small ones; keys with escapes are
    // decoded into storage that inner objects share with the outer ones and give back on closing.
    for (int n : {2, 15, 16, 17, 40}) {
        std::string text = "{";
        std::string expected = "{";
        for (int i = n - 1; i >= 0; --i) {
            const std::string key = "k" + std::string(i < 10 ? "0" : "") + std::to_string(i);
            text += "\"" + key + "\": " + std::to_string(i) + ", ";
        }
        for (int i = 0; i < n; ++i) {
            const std::string key = "k" + std::string(i < 10 ? "0" : "") + std::to_string(i);
            if (i % 3 == 0) text += "\"" + key + "\": \"late\", ";
            expected += (i ? ",\"" : "\"") + key + "\":" + (i % 3 == 0 ? "\"late\"" : std::to_string(i));
        }
        text += "\"k00\": \"last\"}";
        expected += "}";
        expected.replace(expected.find("\"late\""), 6, "\"last\"");
        auto r = dv::parse_json(text);
        ASSERT_TRUE(r) << text;
        EXPECT_EQ(dv::to_json(*r), expected) << n;

        Value::Object members;
        for (const auto& m : r->as_object()) members.push_back(m);
        std::reverse(members.begin(), members.end());
        members.push_back(dv::Member{"k01", Value::null()});
        Value rebuilt = Value::object(std::move(members));
        EXPECT_EQ(rebuilt.find("k01")->kind(), dv::ValueKind::Null);
        EXPECT_EQ(rebuilt.size(), static_cast<std::size_t>(n));
        EXPECT_TRUE(std::is_sorted(rebuilt.as_object().begin(), rebuilt.as_object().end(),
                                   [](const dv::Member& a, const dv::Member& b) { return a.key < b.key; }));
    }
    auto escaped = dv::parse_json(
        R"({"\u0062x": {"\u0064": 1, "c": [{"\u00e9": true}], "\u0063": 2}, "\u0061": 3, "ay": {"z\"": null}})");
    ASSERT_TRUE(escaped);
    EXPECT_EQ(dv::to_json(*escaped), R"({"a":3,"ay":{"z\"":null},"bx":{"c":2,"d":1}})");
}
