#include <gtest/gtest.h>

#include <string>
#include <optional>
#include <utility>

#include "deririrore/value/utf8.hpp"

namespace dv = deririrore::value;

namespace {

struct SequenceCase {
    std::string bytes;
    std::size_t length;
    bool valid;
    bool truncated;
};

}  // namespace

TEST(Utf8Sequence, WellFormedBoundariesAndEachKindOfFault) {
    const SequenceCase cases[] = {
        {"A", 1, true, false},
        {"\xC2\x80", 2, true, false},
        {"\xE0\xA0\x80", 3, true, false},
        {"\xED\x9F\xBF", 3, true, false},
        {"\xF0\x90\x80\x80", 4, true, false},
        {"\xF4\x8F\xBF\xBF", 4, true, false},
        {"\x80", 1, false, false},          // lone continuation byte
        {"\xC0\xAF", 1, false, false},      // overlong lead
        {"\xF5\x80\x80\x80", 1, false, false},
        {"\xE0\x9F\x80", 1, false, false},  // overlong three-byte form
        {"\xED\xA0\x80", 1, false, false},  // surrogate
        {"\xF4\x90\x80\x80", 1, false, false},  // past U+10FFFF
        {"\xE2\x82\x28", 2, false, false},  // bad third byte
        {"\xE2\x82", 2, false, true},
        {"\xF0\x90", 2, false, true},
    };
    for (const auto& c : cases) {
        const auto seq = dv::read_utf8_sequence(c.bytes, 0);
        EXPECT_EQ(seq.length, c.length) << testing::PrintToString(c.bytes);
        EXPECT_EQ(seq.valid, c.valid) << testing::PrintToString(c.bytes);
        EXPECT_EQ(seq.truncated, c.truncated) << testing::PrintToString(c.bytes);
        EXPECT_EQ(dv::utf8_sequence_length(c.bytes, 0), c.valid ? c.length : 0);
    }
    EXPECT_TRUE(dv::is_valid_utf8(""));
    EXPECT_TRUE(dv::is_valid_utf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
    EXPECT_FALSE(dv::is_valid_utf8("ok\xE2\x82"));
}

TEST(Utf8Encoding, EachLengthRoundTrips) {
    std::string out;
    for (char32_t cp : {U'A', U'\u00E9', U'\u20AC', U'\U0001F600', U'\U0010FFFF'}) dv::append_utf8(out, cp);
    EXPECT_EQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    EXPECT_TRUE(dv::is_valid_utf8(out));
}

TEST(Utf8Decoding, ScalarOfEachLengthAndNoneForMalformed) {
    const std::pair<std::string, char32_t> cases[] = {
        {"A", U'A'}, {"\xC3\xA9", U'\u00E9'}, {"\xE2\x82\xAC", U'\u20AC'}, {"\xF4\x8F\xBF\xBF", U'\U0010FFFF'}};
    for (const auto& [bytes, expected] : cases) {
        char32_t cp = 0;
        EXPECT_EQ(dv::decode_utf8_sequence(bytes, 0, cp), bytes.size());
        EXPECT_EQ(cp, expected);
    }
    char32_t cp = U'x';
    EXPECT_EQ(dv::decode_utf8_sequence("\xED\xA0\x80", 0, cp), 0u);
    EXPECT_EQ(dv::decode_utf8_sequence("ab\xE2\x82", 2, cp), 0u);
    EXPECT_EQ(cp, U'x');
}

TEST(Utf8Check, ReportsTheValidPrefixAndTheBadSpan) {
    EXPECT_FALSE(dv::check_utf8("plain \xC3\xA9").has_value());
    const struct {
        std::string bytes;
        std::size_t valid_up_to;
        std::optional<std::uint8_t> error_len;
    } cases[] = {
        {"ab\xFF", 2, 1},
        {"a\xE2\x28\xA1", 1, 1},
        {"\xC3\xA9\xF0\x90\x80\x41", 2, 3},
        {"ok\xE2\x82", 2, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto err = dv::check_utf8(c.bytes);
        ASSERT_TRUE(err.has_value()) << testing::PrintToString(c.bytes);
        EXPECT_EQ(err->valid_up_to, c.valid_up_to);
        EXPECT_EQ(err->error_len, c.error_len);
    }
}
