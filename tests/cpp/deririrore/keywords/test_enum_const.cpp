// const and enum: every form answers by value equality with exact numbers, reports its options,
// and traces exactly one event whatever the instance's type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyword_test_support.hpp"

namespace {

using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;

struct MatchCase {
    const char* schema;
    const char* instance;
    bool valid;
};

class EnumConstMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(EnumConstMatch, AnswersAndTracesOnce) {
    const MatchCase& c = GetParam();
    Compiled compiled(c.schema, Draft::Draft7);
    ASSERT_TRUE(compiled.ok());
    SCOPED_TRACE(c.schema);
    expect_one_event_verdict(compiled, c.instance, c.valid);
    EXPECT_EQ(compiled.messages(c.instance).size(), c.valid ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Const, EnumConstMatch,
    ::testing::Values(
        MatchCase{R"({"const": 1})", "1", true}, MatchCase{R"({"const": 1})", "1.0", true},
        MatchCase{R"({"const": 1})", "1e0", true}, MatchCase{R"({"const": 1})", "10E-1", true},
        MatchCase{R"({"const": 1})", R"("1")", false}, MatchCase{R"({"const": 1})", "true", false},
        MatchCase{R"({"const": 0})", "false", false}, MatchCase{R"({"const": 0})", "-0.0", true},
        MatchCase{R"({"const": 9007199254740993})", "9007199254740992", false},
        MatchCase{R"({"const": 9007199254740993})", "9.007199254740993e15", true},
        MatchCase{R"({"const": null})", "null", true}, MatchCase{R"({"const": null})", "false", false},
        MatchCase{R"({"const": false})", "false", true}, MatchCase{R"({"const": false})", "0", false},
        MatchCase{R"({"const": "a"})", R"("a")", true}, MatchCase{R"({"const": "a"})", R"("A")", false},
        MatchCase{R"({"const": {"a": 1, "b": 2}})", R"({"b": 2.0, "a": 1})", true},
        MatchCase{R"({"const": {"a": 1, "b": 2}})", R"({"a": 1})", false},
        MatchCase{R"({"const": {"a": 1, "b": 2}})", R"({"a": 1, "b": 2, "c": 3})", false},
        MatchCase{R"({"const": [1, 2]})", "[1.0, 2e0]", true}, MatchCase{R"({"const": [1, 2]})", "[2, 1]", false},
        MatchCase{R"({"const": [1, 2]})", "[1, 2, 3]", false}, MatchCase{R"({"const": []})", "{}", false}));

INSTANTIATE_TEST_SUITE_P(
    Enum, EnumConstMatch,
    ::testing::Values(
        // empty, single
        MatchCase{R"({"enum": []})", "null", false}, MatchCase{R"({"enum": []})", R"("")", false},
        MatchCase{R"({"enum": [null]})", "null", true}, MatchCase{R"({"enum": [null]})", "0", false},
        MatchCase{R"({"enum": [null, null]})", "null", true}, MatchCase{R"({"enum": [null, null]})", R"("")", false},
        MatchCase{R"({"enum": [{"a": [1]}]})", R"({"a": [1.0]})", true},
        MatchCase{R"({"enum": ["a"]})", R"("a")", true}, MatchCase{R"({"enum": ["a"]})", R"("a ")", false},
        MatchCase{R"({"enum": ["a"]})", R"(["a"])", false}, MatchCase{R"({"enum": [""]})", R"("")", true},
        MatchCase{R"({"enum": [""]})", "null", false}, MatchCase{R"({"enum": [1]})", "1.0", true},
        // integers, with and without null
        MatchCase{R"({"enum": [1, 2, 3]})", "3", true}, MatchCase{R"({"enum": [1, 2, 3]})", "1", true},
        MatchCase{R"({"enum": [1, 2, 3]})", "2.0", true}, MatchCase{R"({"enum": [1, 2, 3]})", "3e0", true},
        MatchCase{R"({"enum": [1, 2, 3]})", R"("2")", false}, MatchCase{R"({"enum": [1, 2, 3]})", "null", false},
        MatchCase{R"({"enum": [1, 2, 3]})", "4", false}, MatchCase{R"({"enum": [1, 2, 3]})", "2.5", false},
        MatchCase{R"({"enum": [3, -9223372036854775808, 1]})", "-9223372036854775808", true},
        MatchCase{R"({"enum": [1, 2, 3, null]})", "null", true}, MatchCase{R"({"enum": [1, 2, 3, null]})", "2", true},
        // general: mixed types and numbers that are not plain 64-bit integers
        MatchCase{R"({"enum": [1, 2.5]})", "2.50", true}, MatchCase{R"({"enum": [1, 2.5]})", "1.0", true},
        MatchCase{R"({"enum": ["a", 1]})", "1", true}, MatchCase{R"({"enum": ["a", 1]})", R"("1")", false},
        MatchCase{R"({"enum": ["a", 1]})", "true", false},
        MatchCase{R"({"enum": [9223372036854775808, 1]})", "9223372036854775808.0", true},
        MatchCase{R"({"enum": [9223372036854775808, 1]})", "9223372036854775807", false},
        MatchCase{R"({"enum": [[1], {"a": 1}]})", R"({"a": 1e0})", true},
        // strings, list and set forms
        MatchCase{R"({"enum": ["a", "b"]})", R"("b")", true}, MatchCase{R"({"enum": ["a", "b"]})", "null", false},
        MatchCase{R"({"enum": ["a", null]})", "null", true},
        MatchCase{R"({"enum": ["abcdefgh-1-ijklmnop", "x"]})", R"("abcdefgh-2-ijklmnop")", false},
        MatchCase{R"({"enum": ["abcdefgh-1-ijklmnop", "x"]})", R"("abcdefgh-1-ijklmnop")", true},
        MatchCase{R"({"enum": ["1","2","3","4","5","6","7","8","9","10"]})", R"("10")", true},
        MatchCase{R"({"enum": ["1","2","3","4","5","6","7","8","9","10","11"]})", R"("11")", true},
        MatchCase{R"({"enum": ["1","2","3","4","5","6","7","8","9","10","11"]})", R"("12")", false},
        MatchCase{R"({"enum": ["1","2","3","4","5","6","7","8","9","10","11"]})", "null", false},
        MatchCase{R"({"enum": ["1","2","3","4","5","6","7","8","9","10",null]})", "null", true},
        MatchCase{R"({"enum": ["1","2","3","4","5","6","7","8","9","10","11"]})", "11", false}));

// Options of the set form that share lengths and end bytes, so that only middle bytes differ.
TEST(Enum, StringSetFormFindsEveryMember) {
    for (int n : {11, 12, 40, 300}) {
        std::vector<std::string> options;
        for (int i = 0; i < n; ++i) {
            options.push_back(i % 2 ? "option-prefix-" + std::to_string(1000 + i) + "-option-suffix"
                                    : std::string(static_cast<std::size_t>(i % 7), 'q') + std::to_string(i));
        }
        options.push_back("");
        options.push_back(options.front());
        std::string list;
        for (const auto& o : options) list += (list.empty() ? "\"" : ", \"") + o + "\"";
        Compiled compiled(R"({"enum": [)" + list + "]}", Draft::Draft7);
        for (const auto& o : options) {
            EXPECT_TRUE(compiled.is_valid("\"" + o + "\"")) << o << " of " << n;
            std::string changed = o;
            if (changed.size() > 16) {
                changed[changed.size() / 2] = '#';
            } else {
                changed += "#";
            }
            EXPECT_FALSE(compiled.is_valid("\"" + changed + "\"")) << changed << " of " << n;
        }
        EXPECT_FALSE(compiled.is_valid("0"));
    }
}

TEST(Enum, IntegerFormFindsEveryMember) {
    for (int n = 2; n <= 40; ++n) {
        std::string options;
        for (int i = n; i >= 1; --i) options += (options.empty() ? "" : ",") + std::to_string(i * 3);
        Compiled compiled(R"({"enum": [)" + options + "]}", Draft::Draft7);
        for (int i = 1; i <= n; ++i) {
            EXPECT_TRUE(compiled.is_valid(std::to_string(i * 3))) << "member " << i * 3 << " of " << n;
            EXPECT_FALSE(compiled.is_valid(std::to_string(i * 3 + 1)));
        }
        EXPECT_FALSE(compiled.is_valid("0"));
    }
}

TEST(Enum, Messages) {
    struct Case {
        const char* schema;
        const char* instance;
        const char* message;
    };
    const Case cases[] = {
        {R"({"enum": []})", "5", "5 is not one of "},
        {R"({"enum": [1]})", "5", "5 is not one of 1"},
        {R"({"enum": [1, "a"]})", "5", R"(5 is not one of 1 or "a")"},
        {R"({"enum": [1, 2, 3]})", "5", "5 is not one of 1, 2 or 3"},
        {R"({"enum": [1, 2, 3, 4]})", "5", "5 is not one of 1, 2 or 2 other candidates"},
        {R"({"enum": ["a", "b", null, "c", "d"]})", R"({"x":[]})", R"({"x":[]} is not one of "a", "b" or 3 other candidates)"},
        {R"({"const": {"a": [1.50]}})", "5", R"({"a":[1.50]} was expected)"},
        {R"({"const": 1e2})", "5", "1e2 was expected"},
    };
    for (const Case& c : cases) {
        Compiled compiled(c.schema, Draft::Draft202012);
        auto error = compiled.first_error(kwtest::json(c.instance));
        ASSERT_TRUE(error.has_value()) << c.schema;
        EXPECT_EQ(error->message(), c.message);
        EXPECT_EQ(error->instance_path().str(), "");
    }
}

TEST(Const, NotAKeywordOfDraft4) {
    Compiled compiled(R"({"const": null})", Draft::Draft4);
    EXPECT_TRUE(compiled.is_valid("1"));
    EXPECT_TRUE(compiled.trace("1").first.empty());
}

TEST(Enum, ValueMustBeAnArray) {
    EXPECT_EQ(kwtest::compile_message(R"({"enum": {"a": 1}})", Draft::Draft7), R"({"a":1} is not of type "array")");
    EXPECT_EQ(kwtest::compile_error_path(R"({"enum": 1})", Draft::Draft4), "/enum");
}

TEST(EnumConst, ErrorsAtNestedLocations) {
    Compiled compiled(R"({"properties": {"a": {"enum": ["x", "y"]}, "b": {"const": 2}}})", Draft::Draft7);
    auto errors = compiled.errors(kwtest::json(R"({"a": "z", "b": 3})"));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].schema_path().str(), "/properties/a/enum");
    EXPECT_EQ(errors[0].instance_path().str(), "/a");
    EXPECT_EQ(errors[1].schema_path().str(), "/properties/b/const");
    EXPECT_EQ(errors[1].message(), "2 was expected");
}

}  // namespace
