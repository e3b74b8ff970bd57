#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "deririrore/value/percent.hpp"

TEST(PercentDecode, EscapesBecomeBytesAndBrokenEscapesStay) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a%20b", "a b"},
        {"%7e%7E", "~~"},
        {"%E2%82%AC", "\xE2\x82\xAC"},
        {"%FF", "\xFF"},  // bytes, not text: the caller checks UTF-8
        {"%00", std::string(1, '\0')},
        {"100%", "100%"},
        {"%4", "%4"},
        {"%G1", "%G1"},
        {"%%41", "%A"},
        {"%2541", "%41"},  // decoded once
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(deririrore::value::percent_decode(in), out) << in;
}

TEST(PercentDecode, PlusBecomesSpaceOnlyInFormEncoding) {
    EXPECT_EQ(deririrore::value::percent_decode("a+b%2B", false), "a+b+");
    EXPECT_EQ(deririrore::value::percent_decode("a+b%2B", true), "a b+");
    EXPECT_EQ(deririrore::value::hex_digit_value('f'), 15);
    EXPECT_EQ(deririrore::value::hex_digit_value('F'), 15);
    EXPECT_EQ(deririrore::value::hex_digit_value('9'), 9);
    EXPECT_EQ(deririrore::value::hex_digit_value('g'), -1);
}

TEST(PercentDecode, LossyReplacesEachBadByteWithOneReplacementCharacter) {
    EXPECT_EQ(deririrore::value::percent_decode_lossy("a%C3%A9"), "a\xC3\xA9");
    EXPECT_EQ(deririrore::value::percent_decode_lossy("%FF/%E2%82"), "\xEF\xBF\xBD/\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(deririrore::value::percent_decode_lossy("%ED%A0%80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}
