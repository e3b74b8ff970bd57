// Media types: the grammar, formatting back, and the JSON, XML and text tests.
#include <gtest/gtest.h>

#include "http/media_type.hpp"

namespace {

using namespace http;

TEST(ParseMediaType, TypeSubtypeAndParameters) {
    // The four spellings RFC 9110 gives as equivalent, and a few more.
    for (std::string_view text : {"text/html;charset=utf-8", "Text/HTML;Charset=\"utf-8\"",
                                  "text/html; charset=\"utf-8\"", " text/html ;\tcharset=utf-8 "}) {
        auto m = parse_media_type(text);
        ASSERT_TRUE(m.has_value()) << text << ": " << m.error().message;
        EXPECT_EQ(m->essence(), "text/html") << text;
        ASSERT_EQ(m->parameters.size(), 1u) << text;
        EXPECT_EQ(m->parameters[0].name, "charset");
        EXPECT_EQ(m->parameters[0].value, "utf-8");
        EXPECT_EQ(*m->parameter("CHARSET"), "utf-8");
    }

    auto problem = parse_media_type("application/problem+json;;a=\"x\\\"y\\\\z\"; b=\"\";c=UPPER;");
    ASSERT_TRUE(problem.has_value()) << problem.error().message;
    EXPECT_EQ(split_media_type(*problem), std::make_pair(std::string_view("application"), std::string_view("problem+json")));
    EXPECT_EQ(problem->suffix(), "json");
    ASSERT_EQ(problem->parameters.size(), 3u);
    EXPECT_EQ(problem->parameters[0].value, "x\"y\\z");
    EXPECT_EQ(problem->parameters[1].value, "");
    EXPECT_EQ(problem->parameters[2].value, "UPPER");
    EXPECT_EQ(problem->parameter("missing"), nullptr);

    auto range = parse_media_type("*/*;q=0.8");
    ASSERT_TRUE(range.has_value());
    EXPECT_EQ(range->essence(), "*/*");
    EXPECT_EQ(parse_media_type("image/svg+xml")->suffix(), "xml");
    EXPECT_EQ(parse_media_type("application/vnd.a+b+json")->suffix(), "json");
    EXPECT_EQ(parse_media_type("text/plain")->suffix(), "");
}

TEST(ParseMediaType, TextsThatAreNotMediaTypes) {
    const struct {
        std::string_view text;
        std::size_t offset;
    } cases[] = {
        {"", 0},
        {"xml", 3},
        {"/json", 0},
        {"application/", 12},
        {"application/json extra", 17},
        {"text/plain;charset", 18},
        {"text/plain;charset=", 19},
        {"text/plain;=utf-8", 11},
        {"text/plain;charset = utf-8", 18},
        {"text/plain;a=\"open", 13},
        {"text/plain;a=\"bad\x01\"", 17},
        {"text/plain;a=\"\\\x01\"", 15},
        {"te xt/plain", 2},
        {"text/pl@in", 7},
        {"caf\xc3\xa9/x", 3},
        {"text/plain,text/html", 10},
    };
    for (const auto& c : cases) {
        auto m = parse_media_type(c.text);
        ASSERT_FALSE(m.has_value()) << c.text;
        EXPECT_EQ(m.error().offset, c.offset) << c.text << ": " << m.error().message;
        EXPECT_NE(m.error().message.find("at byte " + std::to_string(c.offset)), std::string::npos);
    }
}

TEST(FormatMediaType, QuotesWhatIsNotATokenAndParsesBackTheSame) {
    const struct {
        std::string_view text;
        std::string_view formatted;
    } cases[] = {
        {"Application/JSON", "application/json"},
        {"multipart/form-data; boundary=\"----abc\"", "multipart/form-data;boundary=----abc"},
        {"text/plain; a=\"two words\"; b=\"q\\\"uote\"; c=\"\"", "text/plain;a=\"two words\";b=\"q\\\"uote\";c=\"\""},
        {"text/plain; a=\"caf\xc3\xa9\"", "text/plain;a=\"caf\xc3\xa9\""},
    };
    for (const auto& c : cases) {
        auto m = parse_media_type(c.text);
        ASSERT_TRUE(m.has_value()) << c.text;
        const auto formatted = format_media_type(*m);
        EXPECT_EQ(formatted, c.formatted);
        auto again = parse_media_type(formatted);
        ASSERT_TRUE(again.has_value()) << formatted;
        EXPECT_EQ(*again, *m);
    }
}

TEST(MediaTypePredicates, JsonXmlAndText) {
    const struct {
        std::string_view text;
        bool json;
        bool xml;
        bool plain_text;
    } cases[] = {
        {"application/json", true, false, false},
        {"application/vnd.api+json", true, false, false},
        {"application/jwt", true, false, false},
        {"application/x-json", true, false, false},
        {"application/jose+jwe", true, false, false},
        {"application/+json", true, false, false},
        {"text/json", true, false, false},
        {"APPLICATION/JSON; charset=utf-8", true, false, false},
        {"application/jose", false, false, false},
        {"application/json-seq", false, false, false},
        {"application/json5", false, false, false},
        {"*/json", false, false, false},
        {"application/*", false, false, false},
        {"text/plain", false, false, true},
        {"application/xml; charset=utf-8", false, true, false},
        {"APPLICATION/XML", false, true, false},
        {"text/xml", false, true, false},
        {"image/svg+xml", false, true, false},
        {"foo/xml", false, true, false},
        {"application/+xml", false, true, false},
        {"text/atom+xml", false, true, false},
        {"text/yaml", false, false, false},
        {"text/vnd.a+json", false, false, false},
        {"text/json; charset=utf-8", true, false, true},
        {"text/csv", false, false, true},
        {"text/html", false, false, true},
        {"TEXT/PLAIN", false, false, false},
        {"Text/plain", false, false, false},
    };
    for (const auto& c : cases) {
        auto m = parse_media_type(c.text);
        ASSERT_TRUE(m.has_value()) << c.text;
        const auto [type, subtype] = split_media_type(*m);
        EXPECT_EQ(is_json_media_type(type, subtype), c.json) << c.text;
        EXPECT_EQ(is_xml_media_type(c.text), c.xml) << c.text;
        EXPECT_EQ(is_text_media_type(c.text), c.plain_text) << c.text;
    }
    // Texts that do not parse: never XML, though the text test looks only at the letters.
    EXPECT_FALSE(is_xml_media_type("xml"));
    EXPECT_FALSE(is_xml_media_type("application/xml;"  "charset"));
    EXPECT_TRUE(is_text_media_type("text/"));
    EXPECT_FALSE(is_text_media_type("text"));
}

TEST(MediaRange, WildcardsMatchTheirPlace) {
    const struct {
        std::string_view range;
        std::string_view type;
        bool matches;
    } cases[] = {
        {"*/*", "application/json", true},       {"application/*", "application/xml", true},
        {"application/*", "text/xml", false},    {"*/json", "text/json", true},
        {"Text/Plain", "text/plain;charset=x", true}, {"text/plain", "text/html", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(media_range_matches(*parse_media_type(c.range), *parse_media_type(c.type)), c.matches)
            << c.range << " " << c.type;
    }
}

}  // namespace
