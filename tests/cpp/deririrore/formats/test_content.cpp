#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "deririrore/formats/content.hpp"

namespace f = deririrore::formats;

namespace {

struct CodecCase {
    std::string encoding;
    std::string text;
    bool valid;
    std::string decoded;  // when valid
};

TEST(ContentEncodings, StrictAlphabetsPaddingAndTrailingBits) {
    const std::vector<CodecCase> cases = {
        {"base64", "", true, ""},
        {"base64", "aGVsbG8=", true, "hello"},
        {"base64", "aGVsbG8h", true, "hello!"},
        {"base64", "aGk=", true, "hi"},
        {"base64", "aA==", true, "h"},
        {"base64", "aGVsbG8", false, ""},   // padding missing
        {"base64", "aGVs bG8=", false, ""},
        {"base64", "YR==", false, ""},      // non-zero unused bits
        {"base64", "YWI=", true, "ab"},
        {"base64", "YWJ=", false, ""},
        {"base64", "a===", false, ""},
        {"base64", "====", false, ""},
        {"base64", "aGk=aGk=", false, ""},  // padding inside
        {"base64", "a=k=", false, ""},
        {"base64", "aGVsbG8-", false, ""},
        {"base64url", "aGVsbG8-", true, "hello>"},
        {"base64url", "_-8=", true, "\xff\xef"},
        {"base64url", "aGVsbG8=", true, "hello"},
        {"base64url", "aGVsbG8+", false, ""},
        {"base64url", "aGVsbG8", false, ""},
        {"base32", "ME======", true, "a"},
        {"base32", "me======", false, ""},
        {"base32", "MFRA====", true, "ab"},
        {"base32", "MFRGG===", true, "abc"},
        {"base32", "MFRGGZA=", true, "abcd"},
        {"base32", "MFRGGZDF", true, "abcde"},
        {"base32", "MF======", false, ""},   // unused bits set
        {"base32", "MFRGGZ==", false, ""},   // six characters cannot end a block
        {"base32", "ME=====", false, ""},
        {"base32", "M=======", false, ""},
        {"base32", "ME1=====", false, ""},
        {"base32hex", "C4======", true, "a"},
        {"base32hex", "C5H66===", true, "abc"},
        {"base32hex", "c4======", false, ""},
        {"base32hex", "CW======", false, ""},
        {"base16", "68656C6C6F", true, "hello"},
        {"base16", "68656c6c6f", true, "hello"},
        {"base16", "68656c6C6f", true, "hello"},
        {"base16", "", true, ""},
        {"base16", "6", false, ""},
        {"base16", "6g", false, ""},
        {"base16", "6 ", false, ""},
        {"base16", "\xef\xbc\x96\xef\xbc\x98", false, ""},  // full-width digits stay non-ASCII
    };
    for (const auto& c : cases) {
        const auto* codec = f::find_builtin_content_encoding(c.encoding);
        ASSERT_NE(codec, nullptr) << c.encoding;
        EXPECT_EQ(codec->check(c.text), c.valid) << c.encoding << ": " << c.text;
        const auto decoded = codec->decode(c.text);
        if (!c.valid) {
            EXPECT_EQ(decoded.status, f::DecodeStatus::Undecodable) << c.encoding << ": " << c.text;
        } else {
            EXPECT_NE(decoded.status, f::DecodeStatus::Undecodable) << c.encoding << ": " << c.text;
            EXPECT_EQ(decoded.bytes, c.decoded) << c.encoding << ": " << c.text;
        }
    }
}

TEST(ContentEncodings, DecodedBytesMustBeUtf8) {
    const auto bad = f::decode_base64("//8=");
    ASSERT_EQ(bad.status, f::DecodeStatus::NotUtf8);
    EXPECT_EQ(bad.utf8_error.valid_up_to, 0u);
    EXPECT_EQ(bad.utf8_error.error_len, std::optional<uint8_t>(1));

    const auto good = f::decode_base64("eyJhIjoxfQ==");
    EXPECT_EQ(good.status, f::DecodeStatus::Decoded);
    EXPECT_EQ(good.bytes, "{\"a\":1}");

    const auto truncated = f::decode_base16("41E282");  // "A" then two bytes of a three-byte sequence
    ASSERT_EQ(truncated.status, f::DecodeStatus::NotUtf8);
    EXPECT_EQ(truncated.utf8_error.valid_up_to, 1u);
    EXPECT_EQ(truncated.utf8_error.error_len, std::nullopt);
}

TEST(Utf8Validation, MaximalInvalidPrefixes) {
    struct Case {
        std::string bytes;
        bool valid;
        std::size_t valid_up_to;
        std::optional<uint8_t> error_len;
    };
    const std::vector<Case> cases = {
        {"", true, 0, std::nullopt},
        {"a\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80", true, 0, std::nullopt},
        {"\x80", false, 0, 1},
        {"a\xc0\x80", false, 1, 1},          // overlong lead
        {"\xe0\x80\x80", false, 0, 1},       // overlong three-byte
        {"\xed\xa0\x80", false, 0, 1},       // surrogate
        {"\xf4\x90\x80\x80", false, 0, 1},   // beyond U+10FFFF
        {"\xf5", false, 0, 1},
        {"\xe2\x82" "a", false, 0, 2},
        {"\xf0\x9f\x98" "a", false, 0, 3},
        {"ab\xe2\x82", false, 2, std::nullopt},
        {"\xf0\x9f", false, 0, std::nullopt},
        {"\xc3", false, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto err = f::validate_utf8(c.bytes);
        EXPECT_EQ(!err.has_value(), c.valid);
        if (err) {
            EXPECT_EQ(err->valid_up_to, c.valid_up_to);
            EXPECT_EQ(err->error_len, c.error_len);
        }
    }
}

TEST(ContentMediaTypes, ApplicationJson) {
    struct Case {
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"{\"a\": 1}", true},
        {" 1 ", true},
        {"[]", true},
        {"{}", true},
        {"\"x\"", true},
        {"[1, [2, {\"b\": [null, true, false]}], -0.5e+10]", true},
        {"123456789012345678901234567890e999999", true},
        {"\"\\ud83d\\ude00 \\u00e9 \\n\"", true},
        {"\t\r\n{}\n", true},
        {"{", false},
        {"[1,]", false},
        {"NaN", false},
        {"{} {}", false},
        {"", false},
        {"   ", false},
        {"{\"a\" 1}", false},
        {"{\"a\":}", false},
        {"{a: 1}", false},
        {"{\"a\":1,}", false},
        {"[1 2]", false},
        {"01", false},
        {"1.", false},
        {".5", false},
        {"+1", false},
        {"1e", false},
        {"tru", false},
        {"nul", false},
        {"\"a\nb\"", false},
        {"\"\\x\"", false},
        {"\"\\ud83d\"", false},
        {"\"\\ude00\"", false},
        {"[1]]", false},
        {"]", false},
        {"{\"a\":\"b\":}}", false},
        {"[\"a\":]]", false},
        {"{\"\":\"\":}}", false},
    };
    const auto* json = f::find_builtin_content_media_type("application/json");
    ASSERT_NE(json, nullptr);
    for (const auto& c : cases) EXPECT_EQ(json->check(c.text), c.valid) << c.text;
}

TEST(ContentMediaTypes, DeepNestingNeedsNoCallStack) {
    const std::size_t depth = 200000;
    std::string deep(depth, '[');
    deep.append(depth, ']');
    EXPECT_TRUE(f::check_json_media_type(deep));
    deep.pop_back();
    EXPECT_FALSE(f::check_json_media_type(deep));
}

// The grammar the JSON reader follows: every y_ file of JSONTestSuite accepted, every n_ file
// refused; i_ files may go either way but must not crash.
TEST(ContentMediaTypes, JsonFollowsJsonTestSuite) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(VC_TESTDATA) / "json-test-suite" / "test_parsing";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no JSONTestSuite at " << dir;
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".json" || name.size() < 2 || name[1] != '_') continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const bool accepted = f::check_json_media_type(ss.str());
        ++files;
        if (name[0] == 'y') {
            EXPECT_TRUE(accepted) << name;
        } else if (name[0] == 'n') {
            EXPECT_FALSE(accepted) << name;
        }
    }
    EXPECT_GT(files, 0u);
}

TEST(ContentRegistries, ExactCaseSensitiveNames) {
    EXPECT_EQ(f::builtin_content_encodings().size(), 5u);
    EXPECT_NE(f::find_builtin_content_encoding("base32hex"), nullptr);
    EXPECT_EQ(f::find_builtin_content_encoding("BASE64"), nullptr);
    EXPECT_EQ(f::find_builtin_content_encoding("base99"), nullptr);
    EXPECT_EQ(f::find_builtin_content_media_type("text/plain"), nullptr);
    EXPECT_EQ(f::find_builtin_content_media_type("Application/JSON"), nullptr);
}

}  // namespace
