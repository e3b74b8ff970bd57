#include <gtest/gtest.h>

#include "deririrore/referencing/pointer.hpp"
#include "helpers.hpp"

namespace deririrore::referencing {
namespace {

using testing::json;

TEST(PointerLookup, Table) {
    const auto doc = json(R"({"": "empty", "a/b": 1, "a~b": 2, "m~1": 3, "arr": [10, 11, 12],
                               "s": "text", "n": null, "o": {"x": {"y": true}}})");
    struct Case {
        std::string_view pointer;
        std::optional<std::string_view> expected;  // compact JSON of the target
    };
    const Case cases[] = {
        {"", std::nullopt},  // the root, checked below
        {"a/b", std::nullopt},
        {"/", R"("empty")"},
        {"/a~1b", "1"},
        {"/a~0b", "2"},
        {"/m~01", "3"},
        {"/arr/0", "10"},
        {"/arr/2", "12"},
        {"/arr/3", std::nullopt},
        {"/arr/00", std::nullopt},
        {"/arr/01", std::nullopt},
        {"/arr/+1", std::nullopt},
        {"/arr/-1", std::nullopt},
        {"/arr/-", std::nullopt},
        {"/arr/", std::nullopt},
        {"/arr/1.0", std::nullopt},
        {"/arr/123456789012345678901", std::nullopt},
        {"/s/0", std::nullopt},
        {"/n/x", std::nullopt},
        {"/o/x/y", "true"},
        {"/o/x/y/z", std::nullopt},
        {"/missing", std::nullopt},
    };
    for (const auto& c : cases) {
        const Value* found = pointer_lookup(doc, c.pointer);
        if (c.pointer.empty()) {
            EXPECT_EQ(found, &doc);
            continue;
        }
        if (!c.expected) {
            EXPECT_EQ(found, nullptr) << c.pointer;
        } else {
            ASSERT_NE(found, nullptr) << c.pointer;
            EXPECT_EQ(value::to_json(*found), *c.expected) << c.pointer;
        }
    }
}

TEST(PointerSegments, UnescapeTable) {
    struct Case {
        std::string_view token;
        std::string_view expected;
    };
    const Case cases[] = {
        {"plain", "plain"}, {"~0", "~"},   {"~1", "/"},     {"~01", "~1"}, {"~2x", "~2x"},
        {"~~1", "~~1"},     {"end~", "end~"}, {"~1~0", "/~"}, {"", ""},      {"a~1b~0c", "a/b~c"},
    };
    for (const auto& c : cases) EXPECT_EQ(unescape_pointer_segment(c.token), c.expected) << c.token;
}

TEST(PointerSegments, PushEscapes) {
    struct Case {
        std::string_view key;
        std::string_view expected;
    };
    const Case cases[] = {{"a/b~c", "a~1b~0c"}, {"", ""}, {"plain", "plain"}, {"~/", "~0~1"}, {"%20", "%20"}};
    for (const auto& c : cases) {
        std::string buffer = "/";
        push_pointer_segment(buffer, c.key);
        EXPECT_EQ(buffer, "/" + std::string(c.expected)) << c.key;
    }
}

TEST(PointerSegments, ToSegments) {
    auto segments = pointer_to_segments("/a/0/01/~1x");
    ASSERT_EQ(segments.size(), 4u);
    EXPECT_EQ(std::get<std::string>(segments[0]), "a");
    EXPECT_EQ(std::get<std::uint64_t>(segments[1]), 0u);
    EXPECT_EQ(std::get<std::string>(segments[2]), "01");
    EXPECT_EQ(std::get<std::string>(segments[3]), "/x");
    EXPECT_TRUE(pointer_to_segments("").empty());
    EXPECT_TRUE(pointer_to_segments("a/b").empty());
}

TEST(PointerIndexes, StrictAndLenient) {
    struct Case {
        std::string_view token;
        std::optional<std::uint64_t> strict;
        std::optional<std::uint64_t> lenient;
        std::optional<IntParseErrorKind> lenient_error;
    };
    const Case cases[] = {
        {"0", 0, 0, std::nullopt},
        {"12", 12, 12, std::nullopt},
        {"01", std::nullopt, 1, std::nullopt},
        {"+1", std::nullopt, 1, std::nullopt},
        {"", std::nullopt, std::nullopt, IntParseErrorKind::Empty},
        {"+", std::nullopt, std::nullopt, IntParseErrorKind::InvalidDigit},
        {"-", std::nullopt, std::nullopt, IntParseErrorKind::InvalidDigit},
        {"-1", std::nullopt, std::nullopt, IntParseErrorKind::InvalidDigit},
        {"1x", std::nullopt, std::nullopt, IntParseErrorKind::InvalidDigit},
        {"18446744073709551615", 18446744073709551615ull, 18446744073709551615ull, std::nullopt},
        {"18446744073709551616", std::nullopt, std::nullopt, IntParseErrorKind::PosOverflow},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_strict_index(c.token), c.strict) << c.token;
        auto lenient = parse_lenient_index(c.token);
        if (c.lenient) {
            ASSERT_TRUE(lenient) << c.token;
            EXPECT_EQ(*lenient, *c.lenient);
        } else {
            ASSERT_FALSE(lenient) << c.token;
            EXPECT_EQ(lenient.error(), *c.lenient_error) << c.token;
        }
    }
}

}  // namespace
}  // namespace deririrore::referencing
