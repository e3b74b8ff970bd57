#include <gtest/gtest.h>

#include <string>

#include "zavova/pattern_predicates.hpp"

namespace {

using zavova::is_universal_pattern;
using zavova::is_unsatisfiable_pattern;

TEST(PatternPredicates, Universal) {
    struct Case {
        std::string pattern;
        bool universal;
    } cases[] = {
        {"", true},
        {"a*", true},
        {"a|", true},
        {"^", true},
        {"a?", true},
        {"^[\\s\\S]*$", true},
        {"^(?s:.)*$", true},
        {"^(?s:.*)$", true},
        {"^(?:a|[^a])*$", true},
        {"^([\\s\\S])*$", true},
        {"^(?:[\\w\\W]|x)*$", true},
        {".*", true},
        {"[^\\/]*", true},
        {"^a*", false},
        {"a*$", false},
        {"^$", false},
        {"^.*$", false},
        {"^[\\s\\S]+$", false},
        {"^[\\s\\S]{0,5}$", false},
        {"^(?:[\\s\\S]{2})*$", false},
        {"abc", false},
        {"(", false},
        {"\\A", false},
        // An assertion other than an anchor does not hold in every string, nor do the two
        // anchors in the wrong order.
        {"\\b", false},
        {"$^", false},
        {"(^$)", false},
        {"(?=a)", false},
        {"^(?:[\\s\\S]|\\b)+$", false},
        {std::string(251, '(') + std::string(251, ')'), false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_universal_pattern(c.pattern), c.universal) << c.pattern;
    // The nesting limit itself is still read.
    EXPECT_TRUE(is_universal_pattern(std::string(200, '(') + std::string(200, ')')));
}

TEST(PatternPredicates, Unsatisfiable) {
    struct Case {
        const char* pattern;
        bool never;
    } cases[] = {
        {"a^", true},  {"a^b", true},      {"$a", true},         {"(?:a^)+", true}, {"a^|$b", true}, {"^a", false},
        {"a$", false}, {"(?:a^)*", false}, {"[^\\s\\S]", false}, {"a*^", false},    {"\\b^", false}, {"(", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_unsatisfiable_pattern(c.pattern), c.never) << c.pattern;
}

}  // namespace
