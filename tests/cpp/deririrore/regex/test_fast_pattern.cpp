#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/regex/fast_pattern.hpp"

namespace deririrore::regex {
namespace {

struct Case {
    std::string pattern;
    std::optional<FastPatternKind> kind;  // none: needs an engine
    std::vector<std::string> literals;    // the literal, or the sorted alternatives
};

TEST(FastPattern, Classification) {
    using K = FastPatternKind;
    const Case cases[] = {
        {"^\\S*$", K::NoWhitespace, {}},
        {"^\\S+$", std::nullopt, {}},
        {"^\\S*", std::nullopt, {}},
        {"^abc", K::Prefix, {"abc"}},
        {"^", K::Prefix, {""}},
        {"^a\\$", K::Prefix, {"a$"}},
        {"^a-b_c/d", K::Prefix, {"a-b_c/d"}},
        {"^$", K::Exact, {""}},
        {"^a\\.b$", K::Exact, {"a.b"}},
        {"^a\\/b\\-c\\_$", K::Exact, {"a/b-c_"}},
        {"^a.b", std::nullopt, {}},
        {"^a\\d", std::nullopt, {}},
        {"^a b", std::nullopt, {}},
        {"^\xc3\xa9", std::nullopt, {}},
        {"^a$b", std::nullopt, {}},
        {"^a\\", std::nullopt, {}},
        {"abc", std::nullopt, {}},
        {"", std::nullopt, {}},
        {"^(c|b|a)$", K::Alternatives, {"a", "b", "c"}},
        {"^(a||b)$", K::Alternatives, {"", "a", "b"}},
        {"^()$", K::Alternatives, {""}},
        {"^(a)$", K::Alternatives, {"a"}},
        {"^(\\$)$", K::Alternatives, {"$"}},
        {"^(b|a|b)$", K::Alternatives, {"a", "b", "b"}},
        {"^($)$", std::nullopt, {}},
        {"^(a.b|c)$", std::nullopt, {}},
        {"^(a|(b))$", std::nullopt, {}},
        {"^(a\\|b)$", std::nullopt, {}},
        {"^(a|b)", std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const auto owned = classify_fast_pattern_owned(c.pattern);
        ASSERT_EQ(owned.has_value(), c.kind.has_value());
        if (!owned) continue;
        EXPECT_EQ(owned->kind, *c.kind);
        if (*c.kind == K::Alternatives) {
            EXPECT_EQ(owned->alternatives, c.literals);
        } else if (*c.kind != K::NoWhitespace) {
            EXPECT_EQ(owned->literal, c.literals[0]);
        }
    }
}

TEST(FastPattern, LiteralIsASliceWithoutEscapes) {
    const std::string pattern = "^abc$";
    const auto ref = classify_fast_pattern(pattern);
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->literal().data(), pattern.data() + 1);
    EXPECT_EQ(ref->literal(), "abc");
    const auto escaped = classify_fast_pattern("^a\\.b");
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->literal(), "a.b");
}

TEST(FastPattern, ManyAlternativesAreSorted) {
    std::string pattern = "^(";
    std::vector<std::string> expected;
    for (int i = 30; i > 0; --i) {
        const std::string lit = "x" + std::to_string(i);
        pattern += lit + (i > 1 ? "|" : "");
        expected.push_back(lit);
    }
    pattern += ")$";
    std::sort(expected.begin(), expected.end());
    const auto owned = classify_fast_pattern_owned(pattern);
    ASSERT_TRUE(owned);
    EXPECT_EQ(owned->alternatives, expected);
}

TEST(FastPattern, Matching) {
    struct M {
        std::string pattern;
        std::string text;
        bool matches;
    };
    const M cases[] = {
        {"^abc", "abcdef", true},   {"^abc", "xabc", false},      {"^abc", "ab", false},
        {"^a\\.b$", "a.b", true},   {"^a\\.b$", "a.bc", false},   {"^(red|green)$", "green", true},
        {"^(red|green)$", "greenish", false}, {"^()$", "", true}, {"^\\S*$", "", true},
        {"^\\S*$", "a\xc2\xa0" "b", false},    {"^\\S*$", "a\xe2\x80\xa8", false},
        {"^\\S*$", "\xc3\xa9t\xc3\xa9", true},
    };
    for (const M& m : cases) {
        SCOPED_TRACE(m.pattern + " / " + m.text);
        const auto shape = classify_fast_pattern_owned(m.pattern);
        ASSERT_TRUE(shape);
        EXPECT_EQ(shape->matches(m.text), m.matches);
    }
}

TEST(FastPattern, EcmaWhitespace) {
    const char32_t members[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0xA0, 0x1680, 0x2000, 0x2005, 0x200A,
                                0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0xFEFF};
    const char32_t others[] = {0x08, 0x0E, 0x1F, 0x85, 0x180E, 0x200B, 0x2060, 0xFFFE, 0x1F600};
    auto utf8 = [](char32_t c) {
        std::string s;
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (c >> 18));
            s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        }
        return s;
    };
    // Long texts take the block path; the member sits at the very end.
    const std::string long_ascii(100, 'x');
    const std::string long_unicode = std::string(70, 'x') + "\xc3\xa9";
    for (char32_t c : members) {
        SCOPED_TRACE(static_cast<unsigned>(c));
        EXPECT_TRUE(contains_ecma_whitespace(utf8(c)));
        EXPECT_TRUE(contains_ecma_whitespace(long_ascii + utf8(c)));
        EXPECT_TRUE(contains_ecma_whitespace(long_unicode + utf8(c)));
    }
    for (char32_t c : others) {
        SCOPED_TRACE(static_cast<unsigned>(c));
        EXPECT_FALSE(contains_ecma_whitespace(utf8(c)));
        EXPECT_FALSE(contains_ecma_whitespace(long_unicode + utf8(c)));
    }
    EXPECT_FALSE(contains_ecma_whitespace(""));
    EXPECT_FALSE(contains_ecma_whitespace(long_ascii));
}

}  // namespace
}  // namespace deririrore::regex
