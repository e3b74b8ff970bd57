// Content types and JSON bodies: the lenient content-type parse, encodings by byte-order mark and
// charset, exact numbers, and bodies that must not decode.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/json_body.hpp"

namespace {

using namespace vantorel::recorders;
using namespace std::string_literals;

TEST(ContentType, ParsesLeniently) {
    struct Case {
        std::string text;
        std::optional<std::string> essence;
        std::optional<std::string> charset;
    };
    const Case cases[] = {
        {"application/json", "application/json", std::nullopt},
        {"text/plain ; charset=utf-8", "text/plain", "utf-8"},
        {"text/plain\xC2\xA0; charset=UTF-8", "text/plain", "UTF-8"},  // NO-BREAK SPACE before ";"
        {"\xE2\x80\x83 Application/JSON; charset=\"utf-16\"\n", "application/json", "utf-16"},
        {"text/plain; a=\"x ;\"; charset=utf-8", "text/plain", "utf-8"},
        {"application/vnd.api+json", "application/vnd.api+json", std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"json", std::nullopt, std::nullopt},
        {"text/plain; charset", std::nullopt, std::nullopt},
        {"text/plain; a=\"unterminated", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = parse_media_type(c.text);
        ASSERT_EQ(parsed.has_value(), c.essence.has_value());
        if (!parsed) continue;
        EXPECT_EQ(parsed->essence(), *c.essence);
        const std::string* charset = parsed->parameter("charset");
        ASSERT_EQ(charset != nullptr, c.charset.has_value());
        if (charset != nullptr) {
            EXPECT_EQ(*charset, *c.charset);
        }
    }
}

TEST(ContentType, JsonLikeAndXml) {
    struct Case {
        const char* text;
        bool json;
        bool xml;
    };
    const Case cases[] = {
        {"application/json", true, false},
        {"application/vnd.api+json", true, false},
        {"application/problem+json", true, false},
        {"text/json", true, false},
        {"application/yaml", false, false},
        {"text/yaml", false, false},
        {"application/xml", false, true},
        {"image/svg+xml", false, true},
        {"text/xml", false, true},
        {"application/xml-dtd", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = parse_media_type(c.text);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(is_json_media_type(parsed->type, parsed->subtype), c.json);
        EXPECT_EQ(is_xml_subtype(parsed->subtype), c.xml);
    }
}

std::string utf16(std::u16string_view text, bool big_endian) {
    std::string out;
    for (char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += big_endian ? hi : lo;
        out += big_endian ? lo : hi;
    }
    return out;
}

std::string utf32(std::u32string_view text, bool big_endian) {
    std::string out;
    for (char32_t u : text) {
        char b[4] = {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
                     static_cast<char>(u)};
        if (big_endian) {
            out.append(b, 4);
        } else {
            for (int i = 3; i >= 0; --i) out += b[i];
        }
    }
    return out;
}

http::MediaType media(const char* text) { return *parse_media_type(text); }

const std::string kBomUtf8 = "\xEF\xBB\xBF";
const std::string kBomUtf16Le = "\xFF\xFE";
const std::string kBomUtf16Be = "\xFE\xFF";
const std::string kBomUtf32Le = "\xFF\xFE\x00\x00"s;
const std::string kBomUtf32Be = "\x00\x00\xFE\xFF"s;

// Every spelling decodes to {"k":"é😀","n":1.50}: the numbers and text exactly as written.
TEST(JsonBody, DecodesEveryUnicodeEncoding) {
    const std::u16string t16 = u"{\"k\":\"\u00e9\U0001F600\",\"n\":1.50}";
    const std::u32string t32 = U"{\"k\":\"\u00e9\U0001F600\",\"n\":1.50}";
    const std::string t8 = "{\"k\":\"\xC3\xA9\xF0\x9F\x98\x80\",\"n\":1.50}";
    struct Case {
        const char* name;
        std::string body;
        const char* content_type;
    };
    const Case cases[] = {
        {"utf-8", t8, "application/json"},
        {"utf-8 mark and trailing newline", kBomUtf8 + t8 + "\r\n", "application/json"},
        {"utf-16le by charset", utf16(t16, false), "application/json; charset=UTF-16LE"},
        {"utf-16 by charset is big-endian", utf16(t16, true), "application/json; charset=utf-16"},
        {"utf-16be by charset", utf16(t16, true), "application/json; charset=Utf-16BE"},
        {"utf-16le mark", kBomUtf16Le + utf16(t16, false), "application/json"},
        {"utf-16be mark wins over the charset", kBomUtf16Be + utf16(t16, true), "application/json; charset=utf-16le"},
        {"utf-32le by charset", utf32(t32, false), "application/json; charset=utf-32le"},
        {"utf-32 by charset is big-endian", utf32(t32, true), "application/json; charset=UTF-32"},
        {"utf-32le mark", kBomUtf32Le + utf32(t32, false), "application/json"},
        {"utf-32be mark", kBomUtf32Be + utf32(t32, true), "application/json"},
        {"an unknown charset is utf-8", t8, "application/json; charset=latin1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto value = decode_json_body(c.body, media(c.content_type));
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(deririrore::value::to_json(*value), t8);
    }
}

TEST(JsonBody, RefusesWhatDoesNotDecode) {
    std::string too_deep(600, '[');
    too_deep += std::string(600, ']');
    struct Case {
        const char* name;
        std::string body;
        const char* content_type;
    };
    const Case cases[] = {
        {"two JSON texts", "{} {}", "application/json"},
        {"nothing", "", "application/json"},
        {"a mark and nothing", kBomUtf8, "application/json"},
        {"invalid utf-8 in a string", "\"\xC3\x28\"", "application/json"},
        {"a lone continuation byte", "[\"\x80\"]", "application/json"},
        {"an encoded surrogate", "\"\xED\xA0\x80\"", "application/json"},
        {"a second mark is not white space", kBomUtf8 + kBomUtf8 + "{}", "application/json"},
        {"odd utf-16 length", utf16(u"{}", false) + "x", "application/json; charset=utf-16le"},
        {"lone high surrogate", utf16(u"\"", true) + "\xD8\x3D" + utf16(u"\"", true),
         "application/json; charset=utf-16"},
        {"lone low surrogate", utf16(u"\"", true) + "\xDE\x00" + utf16(u"\"", true),
         "application/json; charset=utf-16"},
        {"utf-32 length not a multiple of 4", utf32(U"{}", true) + "\x00"s, "application/json; charset=utf-32"},
        {"utf-32 beyond U+10FFFF", utf32(U"\"", true) + "\x00\x11\x00\x00"s + utf32(U"\"", true),
         "application/json; charset=utf-32"},
        {"utf-32 surrogate", utf32(U"\"", true) + "\x00\x00\xD8\x00"s + utf32(U"\"", true),
         "application/json; charset=utf-32"},
        {"deeper than the reader's limit", too_deep, "application/json"},
        {"utf-16 deeper than the reader's limit", utf16(std::u16string(600, u'['), false),
         "application/json; charset=utf-16le"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(decode_json_body(c.body, media(c.content_type)).has_value());
    }
}

TEST(JsonBody, KeepsNumbersExactly) {
    const std::string body =
        R"([9007199254740993, 0.1, 1e400, -0, 123456789012345678901234567890.000000000000000000001])";
    const auto value = decode_json_body(body, media("application/json"));
    ASSERT_TRUE(value);
    std::vector<std::string> texts;
    for (const auto& item : value->as_array()) texts.emplace_back(item.number_text());
    EXPECT_EQ(texts, (std::vector<std::string>{"9007199254740993", "0.1", "1e400", "-0",
                                               "123456789012345678901234567890.000000000000000000001"}));
}

TEST(JsonBody, DetectsEncodings) {
    struct Case {
        std::string body;
        const char* content_type;
        BodyEncoding encoding;
        std::size_t mark;
    };
    const Case cases[] = {
        {"\xFF\xFE\x00\x00"s, "application/json", BodyEncoding::Utf32Le, 4},
        {"\xFF\xFE\x00"s, "application/json", BodyEncoding::Utf16Le, 2},  // too short for the UTF-32 mark
        {"\x00\x00\xFE\xFF"s, "application/json; charset=utf-16le", BodyEncoding::Utf32Be, 4},
        {"\x00\x00\xFE"s, "application/json; charset=utf-16le", BodyEncoding::Utf16Le, 0},
        {"{}", "application/json; charset=UTF-32LE", BodyEncoding::Utf32Le, 0},
        {"{}", "application/json; charset=utf-8", BodyEncoding::Utf8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content_type);
        const DetectedEncoding d = detect_body_encoding(c.body, media(c.content_type));
        EXPECT_EQ(d.encoding, c.encoding);
        EXPECT_EQ(d.mark_length, c.mark);
    }
}

TEST(JsonBody, BodyAsStringReplacesMalformedBytes) {
    EXPECT_EQ(body_as_string("a\xFF"
                             "b")
                  .as_string(),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(body_as_string("").as_string(), "");
    EXPECT_EQ(body_as_string("\xC3\xA9").as_string(), "\xC3\xA9");
}

}  // namespace
