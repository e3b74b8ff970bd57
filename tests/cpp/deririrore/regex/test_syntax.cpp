#include <gtest/gtest.h>

#include <string>

#include "deririrore/regex/syntax.hpp"

namespace deririrore::regex {
namespace {

TEST(ScanPatternSyntax, Accepts) {
    const char* accepted[] = {
        "", "abc", "a|", "|", "()", "(?:a)*", "a*?", "a{1,2}?", "a{01}", "a{99999999999999999999}",
        "a{2,99999999999999999999}", "a{007,7}",
        "(?<n>a)|(?<n>b)", "(?<n>a)\\k<n>", "\\k<a>(?<a>x)", "(a)\\1", "\\1(a)", "\\0",
        "\\p{L}", "\\P{Lu}", "\\p{Script=Greek}", "\\p{Foo}",
        "\\u0041", "\\u{41}", "\\u{10FFFF}", "\\x41", "\\cA", "\\uD83D\\uDE00", "\\uD83D",
        "\\.", "\\/", "\\-", "\\ ", "\\,", "\\\xe2\x82\xac", "\\\xc2\xb7",
        "[a-z]", "[-a]", "[a-]", "[--a]", "[\\d]", "[\\b]", "[\\0]", "[\\cA]", "[]", "[^]",
        "[\\uD83D\\uDE00-\\uD83D\\uDE4F]", "[(){}*+?|^$.]",
        "(?<\xcf\x80>x)", "(?<$_>x)", "(?<a1>x)", "(?<a\xc2\xb2>x)", "(?<\\u0061b>x)",
        "(?i:a)", "(?im-s:a)", "(?-i:a)", "(?i-:a)",
        "(?=a)", "(?!a)b", "(?<=a)b", "(?<!a)b", "^a$", "\\bfoo\\B",
    };
    for (const char* p : accepted) {
        SCOPED_TRACE(p);
        EXPECT_TRUE(scan_pattern_syntax(p));
    }
}

TEST(ScanPatternSyntax, Rejects) {
    const char* rejected[] = {
        "(", ")", "a)", "[", "]", "}", "a}", "*", "a**", "a*??", "a+*", "{", "a{", "x{}", "a{,2}", "a{2,1}",
        "a{1}{2}", "a{a}", "a{1", "(?=a)*", "(?<=a)?", "\\b*", "^*", "(?<n>a)(?<n>b)", "(?<n>a)((?<n>b))",
        "(?:(?<n>a)|(?<n>b))(?<n>c)", "(?<n>a|(?<n>b))", "(?<a>x)(?<\\u0061>y)", "\\k<m>", "(?<n>a)\\k<m>", "\\k",
        "\\k<>", "\\1", "(a)\\2", "\\00", "\\01", "\\8", "\\pL", "\\p{}", "\\p{L", "\\p{L=}", "\\u{110000}", "\\u{}",
        "\\u12", "\\x4", "\\c1", "\\c_", "\\c", "\\a", "\\e", "\\q", "\\\xc3\xa9", "\\\xcf\x80", "\\\xc2\xb2", "\\",
        "[z-a]", "[\\d-z]", "[a-\\d]", "[\\1]", "[\\B]", "[\\c]", "[a-\\-]", "[\\k]", "(?<1a>x)", "(?<>a)",
        "(?<a-b>x)", "(?<a\xc2\xb7>x)", "(?<a", "(?<\\uD800>x)", "(?i)a", "(?ii:a)", "(?i-i:a)", "(?-:a)", "(?u:a)",
        "(?imsx:a)", "(?", "(?i", "(?i-", "a\xff",
    };
    for (const char* p : rejected) {
        SCOPED_TRACE(p);
        EXPECT_FALSE(scan_pattern_syntax(p));
    }
}

TEST(ScanPatternSyntax, DeepInputStaysFlat) {
    std::string deep(200000, '(');
    deep += "a";
    deep += std::string(200000, ')');
    EXPECT_TRUE(scan_pattern_syntax(deep));
    EXPECT_FALSE(scan_pattern_syntax(std::string(200000, '(')));
}

TEST(ScanPatternSyntax, ManyNamesAndReferences) {
    std::string many;
    for (int i = 0; i < 20000; ++i) many += "(?<g" + std::to_string(i) + ">x)\\k<g" + std::to_string(i) + ">";
    EXPECT_TRUE(scan_pattern_syntax(many));
    EXPECT_FALSE(scan_pattern_syntax(many + "(?<g7>y)"));
    EXPECT_TRUE(scan_pattern_syntax("(?:" + many + ")|(?<g7>y)"));
}

}  // namespace
}  // namespace deririrore::regex
