// uniqueItems: pairwise for short arrays, through the hash table from 16 items, with the same
// answers either way (equal values hash alike, however they are written).
#include <gtest/gtest.h>

#include <string>

#include "keyword_test_support.hpp"

namespace {

using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;

// `count` distinct filler items followed by `tail`, so that the same pairs are tested once
// pairwise and once through the table.
std::string padded(const std::string& head, const std::string& tail, int count) {
    std::string out = "[" + head;
    for (int i = 0; i < count; ++i) out += ",\"filler-" + std::to_string(i) + "\"";
    return out + "," + tail + "]";
}

struct UniqueCase {
    const char* first;
    const char* second;
    bool unique;
};

class UniquePairs : public ::testing::TestWithParam<UniqueCase> {};

TEST_P(UniquePairs, SameAnswerShortAndLong) {
    const UniqueCase& c = GetParam();
    Compiled compiled(R"({"uniqueItems": true})", Draft::Draft7);
    for (int filler : {0, 1, 5, 14, 30}) {
        const std::string array = padded(c.first, c.second, filler);
        EXPECT_EQ(compiled.is_valid(array), c.unique) << array;
        auto [events, valid] = compiled.trace(array);
        EXPECT_EQ(valid, c.unique);
        EXPECT_EQ(events, (std::vector<Event>{{"", "/uniqueItems", c.unique ? 0 : 1}}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Items, UniquePairs,
    ::testing::Values(UniqueCase{"1", "1.0", false}, UniqueCase{"1", "1e0", false}, UniqueCase{"0.5", "0.50", false},
                      UniqueCase{"0", "-0", false}, UniqueCase{"0", "-0.0e5", false},
                      UniqueCase{"9007199254740993", "9007199254740993.0", false},
                      UniqueCase{"9007199254740993", "9007199254740992", true},
                      UniqueCase{"1e400", "10e399", false}, UniqueCase{"1e400", "1e401", true},
                      UniqueCase{"0", "false", true}, UniqueCase{R"("1")", "1", true}, UniqueCase{"null", "0", true},
                      UniqueCase{R"({"a": 1, "b": 2})", R"({"b": 2, "a": 1.0})", false},
                      UniqueCase{R"({"a": 1})", R"({"a": 1, "b": 1})", true}, UniqueCase{"[1, 2]", "[2, 1]", true},
                      UniqueCase{"[1, 2]", "[1.0, 2]", false}, UniqueCase{"[]", "[[]]", true},
                      UniqueCase{"[[]]", "[[], []]", true}, UniqueCase{"[]", "{}", true},
                      UniqueCase{R"("a")", R"("a")", false}, UniqueCase{R"("a")", R"("A")", true}));

TEST(UniqueItems, ShortArraysAndNonArrays) {
    Compiled compiled(R"({"uniqueItems": true})", Draft::Draft202012);
    EXPECT_TRUE(compiled.is_valid("[]"));
    EXPECT_TRUE(compiled.is_valid("[1]"));
    for (const char* instance : {R"("aa")", "1", "{}", "null"}) {
        EXPECT_EQ(compiled.trace(instance), (std::pair{std::vector<Event>{{"", "/uniqueItems", 2}}, true}));
    }
}

TEST(UniqueItems, HostileArraysStayCorrect) {
    Compiled compiled(R"({"uniqueItems": true})", Draft::Draft7);
    // nested empty arrays of growing depth are all different
    std::string nested = "[";
    std::string item = "[]";
    for (int i = 0; i < 200; ++i) {
        nested += (i ? "," : "") + item;
        item = "[" + item + "]";
    }
    EXPECT_TRUE(compiled.is_valid(nested + "]"));
    EXPECT_FALSE(compiled.is_valid(nested + ",[[]]]"));
    // many numbers beyond the doubles, distinct, then one written differently
    std::string big = "[";
    for (int i = 0; i < 500; ++i) big += (i ? ",1e" : "1e") + std::to_string(400 + i);
    EXPECT_TRUE(compiled.is_valid(big + "]"));
    EXPECT_FALSE(compiled.is_valid(big + ",10e402]"));
}

TEST(UniqueItems, OnlyTrueMakesAValidator) {
    for (const char* schema : {R"({"uniqueItems": false})", R"({"uniqueItems": "true"})", R"({"uniqueItems": 1})"}) {
        Compiled compiled(schema, Draft::Draft7);
        EXPECT_TRUE(compiled.is_valid("[1, 1]"));
        EXPECT_TRUE(compiled.trace("[1, 1]").first.empty()) << schema;
    }
}

TEST(UniqueItems, Message) {
    Compiled compiled(R"({"properties": {"a": {"uniqueItems": true}}})", Draft::Draft7);
    auto errors = compiled.errors(kwtest::json(R"({"a": [1, 1]})"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message(), "[1,1] has non-unique elements");
    EXPECT_EQ(errors[0].instance_path().str(), "/a");
    EXPECT_EQ(errors[0].schema_path().str(), "/properties/a/uniqueItems");
}

}  // namespace
