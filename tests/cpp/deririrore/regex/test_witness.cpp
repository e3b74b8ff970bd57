#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/witness.hpp"

namespace deririrore::regex {
namespace {

std::string repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out.append(s);
    return out;
}

TEST(PatternWitness, Table) {
    struct Case {
        std::string pattern;
        std::optional<std::string> witness;
    };
    const Case cases[] = {
        {"\\d{3}", "000"},
        {"[a-z]+", "a"},
        {"[b-z]", "b"},
        {"x|y", "x"},
        {"(a|b){2}", "aa"},
        {"(?i)A", "a"},
        {"\\bfoo\\b", "foo"},
        {"a*", ""},
        {"a?", ""},
        {"^\\w+@\\w+\\.com$", "a@a.com"},
        {"\\s", "\t"},
        {"cat|dog", "cat"},
        // Single characters of an alternation merge into one class.
        {"b|a", "a"},
        {"[^a]", std::string(1, '\0')},
        {"\\p{Lu}", "A"},
        {"a{65}", std::nullopt},
        {"(?=a)b", std::nullopt},
        {"(a)\\1", std::nullopt},
        {"[^\\x{0}-\\x{10FFFF}]", std::nullopt},
        {"[", std::nullopt},
        {"\\p{Foo}", std::nullopt},
        {"a{64}", repeat("a", 64)},
        {repeat("a{64}", 4), repeat("a", 256)},
        {repeat("a{64}", 4) + "b", repeat("a", 256) + "b"},
        {repeat("a{64}", 5), std::nullopt},
        {"[^\\x{0}-\\x{10FFFF}]|z", "z"},
        // Anchors the text built so far cannot meet: the next alternative, or none.
        {";^", std::nullopt},
        {";^|b", "b"},
        {"a$b", std::nullopt},
        {"a$|c", "a"},
        {"(^|x)y", "y"},
        {"x$|$", "x"},
        // Word boundaries are left to the engine's check.
        {"a\\bb", std::nullopt},
        {"\\Bfoo", std::nullopt},
        {"[]", std::nullopt},
        {"[^]", "a"},
        {"^\\uD83D\\uDE00$", "\xf0\x9f\x98\x80"},
        {"\\uD800", std::nullopt},
        {"\\uD800|b", "b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const auto w = pattern_witness(c.pattern);
        EXPECT_EQ(w, c.witness);
        if (w) {
            auto re = build_backtracking_regex(c.pattern);
            ASSERT_TRUE(re);
            EXPECT_TRUE((*re)->match(*w).matched()) << "the witness must match its pattern";
        }
    }
}

}  // namespace
}  // namespace deririrore::regex
