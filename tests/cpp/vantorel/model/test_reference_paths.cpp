// Reference texts: schemes, lexical path normalisation, percent-decoding and step pointers.
#include <gtest/gtest.h>

#include "deririrore/core/internal_error.hpp"
#include "vantorel/model/reference_paths.hpp"

namespace {

using namespace vantorel::model;

TEST(HasUriScheme, SchemeIsTheTextBeforeTheFirstColon) {
    const struct {
        std::string_view text;
        bool scheme;
    } cases[] = {
        {"ftp://x", true},      {"a+b.c-d:", true},        {"urn:x", true},         {"C:/specs/a.yaml", true},
        {"http://h/p#/a", true}, {":x", false},            {"1a:", false},          {"pet.yaml#/x", false},
        {"#/a:b", false},       {"./a:b", false},          {"a/b:c", false},        {"", false},
        {"a_b:c", false},       {"\xc3\xa9t\xc3\xa9:x", false}, {"schemas/pet.yaml", false},
    };
    for (const auto& c : cases) EXPECT_EQ(has_uri_scheme(c.text), c.scheme) << c.text;
}

TEST(NormalizeReferencePath, LexicalRules) {
    const struct {
        std::string_view in;
        std::string_view out;
    } cases[] = {
        {"a/./b/../c", "a/c"},   {"a/../../b", "../b"},   {"/..", "/.."},           {"a//b/", "a/b"},
        {"", ""},                {"./a", "a"},            {"../a", "../a"},         {"/a/b/../../..", "/.."},
        {"/", "/"},              {".", ""},               {"a/..", ""},             {"../../x/../y", "../../y"},
        {"/a/./b//c/", "/a/b/c"}, {"specs/../common/Error.yaml", "common/Error.yaml"},
        {"/../a", "/../a"},      {"a/b/../../../..", "../.."},
    };
    for (const auto& c : cases) EXPECT_EQ(normalize_reference_path(c.in), c.out) << c.in;
}

TEST(PercentDecode, DecodesEscapesAndKeepsStrayPercents) {
    const struct {
        std::string_view in;
        std::string_view out;
    } cases[] = {
        {"a%20b.yaml", "a b.yaml"}, {"%zz", "%zz"}, {"100%", "100%"}, {"%4", "%4"},
        {"%C3%A9", "\xc3\xa9"},     {"%2F%7e", "/~"},
    };
    for (const auto& c : cases) {
        auto r = percent_decode_utf8(c.in);
        ASSERT_TRUE(r.has_value()) << c.in;
        EXPECT_EQ(*r, c.out) << c.in;
    }
}

TEST(PercentDecode, BytesThatAreNotUtf8GiveWhereTheValidPrefixEnds) {
    auto lone = percent_decode_utf8("ab%FF");
    ASSERT_FALSE(lone.has_value());
    EXPECT_EQ(lone.error().valid_up_to, 2u);
    EXPECT_EQ(lone.error().error_len, std::optional<std::uint8_t>(1));

    auto truncated = percent_decode_utf8("x%E2%82");
    ASSERT_FALSE(truncated.has_value());
    EXPECT_EQ(truncated.error().valid_up_to, 1u);
    EXPECT_EQ(truncated.error().error_len, std::nullopt);

    auto bad_continuation = percent_decode_utf8("%E2%28%A1");
    ASSERT_FALSE(bad_continuation.has_value());
    EXPECT_EQ(bad_continuation.error().valid_up_to, 0u);
    EXPECT_EQ(bad_continuation.error().error_len, std::optional<std::uint8_t>(1));
}

TEST(PointerFromSteps, JoinsEscapedKeysAndIndexesBelowTheRootPrefix) {
    const std::string key = "a/b";
    const std::vector<PathStep> steps = {
        path_steps::Root{"/components/schemas/A"},
        path_steps::Member{0, "x"},
        path_steps::Member{1, key},
        path_steps::Item{0, 10},
        path_steps::Root{""},
        path_steps::Member{4, "til~de"},
    };
    EXPECT_EQ(pointer_from_steps(steps, 0), "/components/schemas/A");
    EXPECT_EQ(pointer_from_steps(steps, 2), "/components/schemas/A/x/a~1b");
    EXPECT_EQ(pointer_from_steps(steps, 3), "/components/schemas/A/10");
    EXPECT_EQ(pointer_from_steps(steps, 4), "");
    EXPECT_EQ(pointer_from_steps(steps, 5), "/til~0de");
}

TEST(PointerFromSteps, BrokenStepListsStopWithAnInternalError) {
    const std::vector<PathStep> forward = {path_steps::Root{""}, path_steps::Member{5, "x"}};
    EXPECT_THROW(pointer_from_steps(forward, 1), deririrore::InternalError);
    const std::vector<PathStep> self = {path_steps::Root{""}, path_steps::Item{1, 0}};
    EXPECT_THROW(pointer_from_steps(self, 1), deririrore::InternalError);
    EXPECT_THROW(pointer_from_steps(self, 2), deririrore::InternalError);
}

}  // namespace
