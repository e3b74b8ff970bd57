#include <gtest/gtest.h>

#include <string>

#include "deririrore/regex/translate.hpp"

namespace deririrore::regex {
namespace {

struct Case {
    std::string pattern;
    TranslationKind kind;
    std::string text;  // expected text when Rewritten
};

std::string repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out.append(s);
    return out;
}

std::string nested(int depth, std::string_view inner) { return repeat("(", depth) + std::string(inner) + repeat(")", depth); }

const std::string kSpace = "[" + std::string(kWhitespaceRanges) + "]";

TEST(Translate, EdgeCaseTable) {
    const Case cases[] = {
        {"abc", TranslationKind::Unchanged, ""},
        {"\\d+\\w*", TranslationKind::Rewritten, "[0-9]+[A-Za-z0-9_]*"},
        {"[\\d]", TranslationKind::Rewritten, "[[0-9]]"},
        {"[^\\d]", TranslationKind::Rewritten, "[^[0-9]]"},
        {"[\\D]", TranslationKind::Rewritten, "[[^0-9]]"},
        {"[\\w-]", TranslationKind::Rewritten, "[[A-Za-z0-9_]-]"},
        {"(\\d)", TranslationKind::Rewritten, "([0-9])"},
        {"\\s", TranslationKind::Rewritten, kSpace},
        {"\\S\\W", TranslationKind::Rewritten, "[^" + std::string(kWhitespaceRanges) + "][^A-Za-z0-9_]"},
        {"\\cA", TranslationKind::Rewritten, "\x01"},
        {"\\ca", TranslationKind::Rewritten, "\x01"},
        {"a\\cZb", TranslationKind::Rewritten, "a\x1a" "b"},
        {"[\\cA]", TranslationKind::Rewritten, "[\x01]"},
        {"\\c1", TranslationKind::Untranslatable, ""},
        {"\\c", TranslationKind::Untranslatable, ""},
        {"\\a", TranslationKind::Untranslatable, ""},
        {"\\e", TranslationKind::Untranslatable, ""},
        {"\\Z", TranslationKind::Untranslatable, ""},
        // Inside a class "\b" is the backspace character.
        {"[\\b]", TranslationKind::Rewritten, "[\x08]"},
        {"\\u0041", TranslationKind::Unchanged, ""},
        {"\\x{41}", TranslationKind::Unchanged, ""},
        {"\\p{L}", TranslationKind::Unchanged, ""},
        // ECMA-262 has no text-anchor escapes.
        {"\\z", TranslationKind::Untranslatable, ""},
        {"\\A", TranslationKind::Untranslatable, ""},
        {"\\b", TranslationKind::Unchanged, ""},
        {"(a)\\1", TranslationKind::Unchanged, ""},
        {"\\0", TranslationKind::Unchanged, ""},
        {"(?=a)", TranslationKind::Unchanged, ""},
        {"(?<!a)", TranslationKind::Unchanged, ""},
        {"\\d(?=a)", TranslationKind::Unchanged, ""},
        {"\\cA(?=a)", TranslationKind::Rewritten, "\x01(?=a)"},
        {"(?=a)\\cA", TranslationKind::Unchanged, ""},
        // A back-reference by name stops the translation, as one by number does.
        {"(?<name>a)\\k<name>", TranslationKind::Unchanged, ""},
        {"[a&&b]", TranslationKind::Rewritten, "[a\\&\\&b]"},
        {"[&&&]", TranslationKind::Rewritten, "[\\&\\&&]"},
        {"[a~~b]\\d", TranslationKind::Rewritten, "[a\\~\\~b][0-9]"},
        {"[[]", TranslationKind::Rewritten, "[\\[]"},
        {"[[:alpha:]", TranslationKind::Rewritten, "[\\[:alpha:]"},
        // A class of '[', ':' and letters, then a lone ']'.
        {"[[:alpha:]]", TranslationKind::Untranslatable, ""},
        {"[--a]", TranslationKind::Rewritten, "[\\--a]"},
        {"[---]", TranslationKind::Rewritten, "[\\--\\-]"},
        {"[+--]", TranslationKind::Rewritten, "[+-\\-]"},
        {"[a-z--]", TranslationKind::Rewritten, "[a-z\\-\\-]"},
        {"[a-z--b]", TranslationKind::Rewritten, "[a-z\\--b]"},
        {"[\\d--x]", TranslationKind::Rewritten, "[[0-9]\\-\\-x]"},
        {"[a-z-]", TranslationKind::Unchanged, ""},
        {"[-a]", TranslationKind::Unchanged, ""},
        {"[^-]", TranslationKind::Unchanged, ""},
        {"[\\-]", TranslationKind::Unchanged, ""},
        {"[\\d-x]", TranslationKind::Untranslatable, ""},
        {"[a--]", TranslationKind::Untranslatable, ""},
        // An empty class, its negation, and an empty class before a lone ']'.
        {"[]", TranslationKind::Unchanged, ""},
        {"[^]", TranslationKind::Unchanged, ""},
        {"[]a]", TranslationKind::Untranslatable, ""},
        {"a{,2}", TranslationKind::Untranslatable, ""},
        {"*a", TranslationKind::Untranslatable, ""},
        {"(", TranslationKind::Untranslatable, ""},
        {"a)", TranslationKind::Untranslatable, ""},
        {"{", TranslationKind::Untranslatable, ""},
        // Syntax of the engines that ECMA-262 lacks still translates.
        {"(?i)abc", TranslationKind::Unchanged, ""},
        {"a{ 2 }", TranslationKind::Unchanged, ""},
        {"(?<n>a)|(?<n>b)", TranslationKind::Unchanged, ""},
        {"(?<n>a)(?<n>b)", TranslationKind::Untranslatable, ""},
        {"a**", TranslationKind::Untranslatable, ""},
        // A surrogate pair is one code point, written as the character.
        {"\\uD83D\\uDE00", TranslationKind::Rewritten, "\xf0\x9f\x98\x80"},
        {"\\u{110000}", TranslationKind::Untranslatable, ""},
        {"a{99999999999999999999}", TranslationKind::Untranslatable, ""},
        {"a{2,1}", TranslationKind::Untranslatable, ""},
        {"(?ii)a", TranslationKind::Untranslatable, ""},
        {"(?)", TranslationKind::Untranslatable, ""},
        {"\\€", TranslationKind::Rewritten, "€"},
        {"\xff", TranslationKind::Untranslatable, ""},
        // The first error decides: a stop before an error leaves the text to the engine.
        {"(?=a)[", TranslationKind::Unchanged, ""},
        {"[(?=a)", TranslationKind::Untranslatable, ""},
        {"[\\1]", TranslationKind::Unchanged, ""},
        // Whitespace-insensitive mode: a repaired tab becomes white space that the syntax skips.
        {"(?x)( \\cI?=a)", TranslationKind::Rewritten, "(?x)( \t?=a)"},
        {"(?x)a \\cA", TranslationKind::Rewritten, "(?x)a \x01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const Translation t = translate_ecma_pattern(c.pattern);
        EXPECT_EQ(t.kind, c.kind);
        if (c.kind == TranslationKind::Rewritten) {
            EXPECT_EQ(t.text, c.text);
        }
    }
}

TEST(Translate, NestingLimitCountsRewrittenClasses) {
    EXPECT_EQ(translate_ecma_pattern(nested(250, "a")).kind, TranslationKind::Unchanged);
    EXPECT_EQ(translate_ecma_pattern(nested(251, "a")).kind, TranslationKind::Untranslatable);
    // The written-out class is one level more.
    EXPECT_EQ(translate_ecma_pattern(nested(249, "\\d")).kind, TranslationKind::Rewritten);
    EXPECT_EQ(translate_ecma_pattern(nested(250, "\\d")).kind, TranslationKind::Untranslatable);
    // A concatenation is a level of its own.
    EXPECT_EQ(translate_ecma_pattern(nested(250, "ab")).kind, TranslationKind::Untranslatable);
    // A look-around stops the translation before the depth is checked.
    EXPECT_EQ(translate_ecma_pattern(nested(300, "(?=a)")).kind, TranslationKind::Unchanged);
}

TEST(Translate, HostileInputIsLinearAndBounded) {
    // Deep nesting without recursion, many class escapes in one pass.
    EXPECT_EQ(translate_ecma_pattern(nested(100000, "a")).kind, TranslationKind::Untranslatable);
    EXPECT_EQ(translate_ecma_pattern(repeat("[", 100000)).kind, TranslationKind::Untranslatable);
    const Translation many = translate_ecma_pattern(repeat("\\d", 50000));
    ASSERT_EQ(many.kind, TranslationKind::Rewritten);
    EXPECT_EQ(many.text, repeat("[0-9]", 50000));
    const Translation repairs = translate_ecma_pattern(repeat("\\cA", 50000));
    ASSERT_EQ(repairs.kind, TranslationKind::Rewritten);
    EXPECT_EQ(repairs.text, std::string(50000, '\x01'));
}

}  // namespace
}  // namespace deririrore::regex
