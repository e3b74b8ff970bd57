#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/syntax.hpp"
#include "deririrore/regex/translate.hpp"
#include "deririrore/regex/witness.hpp"

namespace deririrore::regex {
namespace {

// One pattern read as ECMA-262 in Unicode mode: valid or not, and if valid, texts it must find
// a match in and texts it must not.
struct Case {
    std::string pattern;
    bool valid;
    std::vector<std::string> matches = {};
    std::vector<std::string> misses = {};
};

const std::string kGrin = "\xf0\x9f\x98\x80";  // U+1F600
const std::string kPray = "\xf0\x9f\x99\x8f";  // U+1F64F

// The format check, the translation and both engines must give one verdict, and the engines
// one answer per text.
void check(const Case& c) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(scan_pattern_syntax(c.pattern), c.valid) << "the regex format check disagrees";
    auto backtracking = build_backtracking_regex(c.pattern);
    auto automaton = build_automaton_regex(c.pattern);
    if (!c.valid) {
        EXPECT_FALSE(backtracking);
        EXPECT_FALSE(automaton);
        EXPECT_FALSE(pattern_witness(c.pattern));
        return;
    }
    EXPECT_NE(translate_ecma_pattern(c.pattern).kind, TranslationKind::Untranslatable);
    ASSERT_TRUE(backtracking) << backtracking.error().message();
    auto agree = [&](const std::string& text, bool expected) {
        SCOPED_TRACE("text: " + text);
        const BacktrackingMatch m = (*backtracking)->match(text);
        EXPECT_EQ(m.outcome, expected ? MatchOutcome::Matched : MatchOutcome::NotMatched);
        if (automaton) {
            EXPECT_EQ((*automaton)->is_match(text), expected);
        }
    };
    for (const std::string& text : c.matches) agree(text, true);
    for (const std::string& text : c.misses) agree(text, false);
}

TEST(EcmaSyntax, TextAnchorEscapesAreErrors) {
    const Case cases[] = {
        {"\\A", false},
        {"\\z", false},
        {"^\\Aabc", false},
        {"abc\\z", false},
        {"[\\A]", false},
        {"[\\z]", false},
        {"(?=a)\\z", false},
        {"a\\Z", false},
        // The anchors ECMA-262 has.
        {"^abc$", true, {"abc"}, {"abcd", "xabc", "Aabc"}},
        {"^a|b$", true, {"ax", "xb"}, {"xa", "bx"}},
    };
    for (const Case& c : cases) check(c);
}

TEST(EcmaSyntax, QuantifiersAndLoneBrackets) {
    const Case cases[] = {
        {"]", false},
        {"}", false},
        {"a]", false},
        {"a}", false},
        {"a{2}}", false},
        {"a**", false},
        {"a*??", false},
        {"a+*", false},
        {"a{2}{3}", false},
        {"a{2}*", false},
        {"a?{2}", false},
        {"^*", false},
        {"$+", false},
        {"\\b*", false},
        {"\\B{2}", false},
        {"(?=a)*", false},
        {"(?<=a)?", false},
        {"(?!a){2}", false},
        {"(a)\\1]", false},
        // Escaped, they are the characters; groups around repetitions repeat.
        {"^\\]\\}$", true, {"]}"}, {"]"}},
        {"^a*?$", true, {"", "aaa"}, {"b"}},
        {"^(?:a*)*$", true, {"", "aaa"}, {"ab"}},
        {"^(a{2}){3}$", true, {"aaaaaa"}, {"aaaaa", "aaaaaaa"}},
        {"^a{2}?b$", true, {"aab"}, {"ab"}},
        {"^(?:(?=a))*a$", true, {"a"}, {"b"}},
    };
    for (const Case& c : cases) check(c);
}

TEST(EcmaSyntax, EmptyClassAndAnyCharacterClass) {
    const std::string nel = "\xc2\x85";
    const std::string ls = "\xe2\x80\xa8";
    const Case cases[] = {
        // "[]" matches nothing, "[^]" any one character, line terminators included.
        {"[]", true, {}, {"", "a", "]", "\n"}},
        {"a[]", true, {}, {"a", "a]"}},
        {"a[]|b", true, {"b"}, {"a"}},
        {"^[]*$", true, {""}, {"a"}},
        {"[^]", true, {"a", "\n", "\r", ls, nel, kGrin, std::string(1, '\0')}, {""}},
        {"^[^]{2}$", true, {"\n\r", "a" + kGrin}, {"a", "abc"}},
        {"^a[^]*z$", true, {"a\nb\rz", "az"}, {"a\nb"}},
        // The same on the backtracking machine, which a look-around selects.
        {"(?=)a[]|b", true, {"b"}, {"a"}},
        {"^(?=.)[^]$", true, {"a", kGrin}, {"\n", "", "ab"}},
        {"(a)\\1[^]", true, {"aa\n", "aab"}, {"aa", "ab"}},
        // An empty class, then a lone ']'.
        {"[]a]", false},
        {"[^]a]", false},
        {"[[:alpha:]]", false},
        {"^[[:alpha:]+$", true, {"[:a", "ha"}, {"b", "]"}},
    };
    for (const Case& c : cases) check(c);
}

TEST(EcmaSyntax, BackspaceInClass) {
    const Case cases[] = {
        {"^[\\b]$", true, {"\x08"}, {"b", ""}},
        {"^[\\b-\\t]+$", true, {"\x08\t"}, {"b", "\n"}},
        {"^(?=.)[^\\b]$", true, {"b"}, {"\x08"}},
        // Outside a class it stays a word boundary.
        {"\\bfoo", true, {"a foo"}, {"afoo"}},
        {"[\\t-\\b]", false},
        {"[\\B]", false},
    };
    for (const Case& c : cases) check(c);
}

TEST(EcmaSyntax, GroupNames) {
    const Case cases[] = {
        {"^(?<$_>a)\\k<$_>$", true, {"aa"}, {"a"}},
        {"^(?<a1>x)$", true, {"x"}, {}},
        // Names may be written with "\u" escapes and are compared decoded.
        {"^(?<\\u0061b>x)\\k<ab>$", true, {"xx"}, {"x"}},
        {"^(?<\\u{3c0}>x)\\k<\xcf\x80>$", true, {"xx"}, {"x"}},
        {"^(?<\\uD835\\uDC9C>x)\\k<\xf0\x9d\x92\x9c>$", true, {"xx"}, {"x"}},
        {"(?<a>x)(?<\\u0061>y)", false},
        // A name may repeat in another alternative; a back-reference takes the group that matched.
        {"^(?:(?<n>a)|(?<n>b))\\k<n>$", true, {"aa", "bb"}, {"ab", "ba", "a"}},
        {"^(?:(?<n>a)|b(?<n>c)|d)\\k<n>$", true, {"aa", "bcc", "d"}, {"bca", "dd"}},
        {"^(?:(?<n>a)|(?<n>b))(?i:\\k<n>)$", true, {"aA", "bB"}, {"aB"}},
        {"(?<n>a)|(?<n>b)", true, {"a", "b"}, {"c"}},
        {"(?<n>a)(?<n>b)", false},
        {"(?<n>a)((?<n>b))", false},
        {"(?:(?<n>a)|(?<n>b))(?<n>c)", false},
        {"(?<n>a|(?<n>b))", false},
        {"(?<\\uD800>x)", false},
        {"(?<\\x61>x)", false},
        {"(?<a.b>x)", false},
        {"(?<a[b]>x)", false},
        {"(?<1a>x)", false},
        {"(?P<n>a)", false},
        {"(?<n>a)\\k<m>", false},
        {"\\k<n>", false},
    };
    for (const Case& c : cases) check(c);
}

TEST(EcmaSyntax, IdentityEscapesAndModifiers) {
    const Case cases[] = {
        // Beyond ASCII, a character that is neither a letter nor a number escapes to itself.
        {"^\\\xe2\x82\xac\\\xc2\xb7$", true, {"\xe2\x82\xac\xc2\xb7"}, {"\\\xe2\x82\xac"}},
        {"\\\xc3\xa9", false},
        {"\\\xc2\xb2", false},
        // A modifier group may end its flags with a '-' that removes nothing.
        {"^(?i-:a)$", true, {"A", "a"}, {"b"}},
        {"^(?i-s:a.)$", true, {"Ab"}, {"A\n"}},
        {"(?-:a)", false},
        {"(?i-i:a)", false},
    };
    for (const Case& c : cases) check(c);
}

TEST(EcmaSyntax, SurrogateEscapes) {
    const Case cases[] = {
        // A lead and a trail surrogate make one code point, also in classes and ranges.
        {"^\\uD83D\\uDE00$", true, {kGrin}, {"", "\xef\xbf\xbd", kGrin + kGrin}},
        {"^\\uD83D\\uDE00{2}$", true, {kGrin + kGrin}, {kGrin}},
        {"^[\\uD83D\\uDE00]$", true, {kGrin}, {"a"}},
        {"^[\\uD83D\\uDE00-\\uD83D\\uDE4F]+$", true, {kGrin + kPray}, {"a", "\xf0\x9f\x98\x80" "a"}},
        {"^[^\\uD83D\\uDE00]$", true, {"a", kPray}, {kGrin}},
        {"^(?i:\\uD83D\\uDE00)$", true, {kGrin}, {"a"}},
        {"^(?=.)\\uD83D\\uDE00$", true, {kGrin}, {"a"}},
        // A lone surrogate is one code point that no UTF-8 text holds.
        {"\\uD800", true, {}, {"", "a", kGrin}},
        {"\\uDE00\\uD83D", true, {}, {kGrin}},
        {"\\u{D83D}\\u{DE00}", true, {}, {kGrin}},
        {"^\\uD800?a$", true, {"a"}, {"b"}},
        {"\\uD800|b", true, {"b"}, {"a"}},
        {"(?=b)\\uD800|b", true, {"b"}, {"a"}},
        {"[\\uD800]", true, {}, {"a", kGrin}},
        {"^[^\\uD800]$", true, {"a", kGrin}, {""}},
        {"[\\uD800-\\uDFFF]", true, {}, {"a", kGrin, "\xee\x80\x80"}},
        {"^[\\u0000-\\uFFFF]$", true, {"a", "\xef\xbf\xbf", "\xee\x80\x80"}, {kGrin}},
        {"^[\\uD7FF-\\uE000]+$", true, {"\xed\x9f\xbf\xee\x80\x80"}, {"a"}},
        // Reversed ranges stay errors; "\x" takes no braces and no surrogates.
        {"[\\uDE00-\\uD800]", false},
        {"[\\uD83D\\uDE4F-\\uD83D\\uDE00]", false},
        {"\\x{D800}", false},
    };
    for (const Case& c : cases) check(c);
}

}  // namespace
}  // namespace deririrore::regex
