// minimum, maximum, exclusiveMinimum, exclusiveMaximum: exact decisions for numbers of any size,
// the Draft4 boolean exclusive form, errors and trace events.
#include <gtest/gtest.h>

#include <string>

#include "keyword_test_support.hpp"

namespace {

using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;

struct BoundCase {
    const char* schema;
    const char* instance;
    bool valid;
};

class BoundDecision : public ::testing::TestWithParam<BoundCase> {};

TEST_P(BoundDecision, DecidesExactly) {
    const BoundCase& c = GetParam();
    Compiled compiled(c.schema, Draft::Draft202012);
    ASSERT_TRUE(compiled.ok());
    SCOPED_TRACE(c.schema);
    expect_one_event_verdict(compiled, c.instance, c.valid);
}

const std::string kTenTo400 = "1" + std::string(400, '0');

INSTANTIATE_TEST_SUITE_P(
    Limits, BoundDecision,
    ::testing::Values(
        // zero in all its spellings; -1e-400 is negative although its double is -0.0
        BoundCase{R"({"minimum": 0})", "-0", true}, BoundCase{R"({"minimum": 0})", "-0.0", true},
        BoundCase{R"({"minimum": 0})", "0.0", true}, BoundCase{R"({"minimum": 0})", "-1", false},
        BoundCase{R"({"minimum": 0})", "-1e-400", false},
        BoundCase{R"({"exclusiveMinimum": 0})", "0", false}, BoundCase{R"({"exclusiveMinimum": 0})", "0.0", false},
        BoundCase{R"({"exclusiveMinimum": 0})", "-0", false},
        BoundCase{R"({"exclusiveMaximum": 0})", "-0.000001", true},
        // the ends of the machine ranges
        BoundCase{R"({"maximum": 18446744073709551615})", "18446744073709551615", true},
        BoundCase{R"({"maximum": 18446744073709551615})", "18446744073709551616", false},
        BoundCase{R"({"maximum": 18446744073709551615})", "1.8446744073709551616e19", false},
        BoundCase{R"({"minimum": -9223372036854775808})", "-9223372036854775808", true},
        BoundCase{R"({"minimum": -9223372036854775808})", "-9223372036854775809", false},
        BoundCase{R"({"maximum": -3})", "-3.0", true}, BoundCase{R"({"maximum": -3})", "-2.5", false},
        BoundCase{R"({"maximum": -3})", "5", false},
        // integer and fraction limits written with a point or exponent
        BoundCase{R"({"minimum": 2.0})", "2", true}, BoundCase{R"({"minimum": 0.1})", "0.1", true},
        BoundCase{R"({"minimum": 0.1})", "0.10", true},
        BoundCase{R"({"minimum": 0.1})", "0.09999999999999999999", false},
        BoundCase{R"({"maximum": 1e400})", "1e399", true},
        BoundCase{R"({"maximum": 1e400})", "1.0000000001e400", false},
        // beyond the doubles: equal doubles must not decide
        BoundCase{R"({"minimum": 9007199254740993})", "9007199254740993.0", true},
        BoundCase{R"({"minimum": 9007199254740993})", "9007199254740992.9999999", false},
        BoundCase{R"({"exclusiveMaximum": 1e20})", "99999999999999999999.5", true},
        BoundCase{R"({"exclusiveMaximum": 1e20})", "100000000000000000000", false},
        BoundCase{R"({"maximum": 0.1})", "0.1000000000000000055511151231257827", false},
        // exponents that no double or bounded exact reader holds
        BoundCase{R"({"minimum": 5})", "1e2000000", true}, BoundCase{R"({"minimum": 5})", "-1e2000000", false},
        BoundCase{R"({"exclusiveMinimum": 0.5})", "1e2000000", true},
        BoundCase{R"({"maximum": 1e400})", "1e2000000", false},
        BoundCase{R"({"exclusiveMaximum": -7})", "-1e2000000", true},
        BoundCase{R"({"minimum": 1e-2000000})", "0", false},
        BoundCase{R"({"minimum": 1e-2000000})", "1e-2000000", true},
        BoundCase{R"({"exclusiveMinimum": 1e2000000})", "1e2000000", false},
        BoundCase{R"({"minimum": 1e2000000})", "9.99e1999999", false},
        BoundCase{R"({"maximum": 1e99999999999999999999999999999999999999999})",
                  "1e99999999999999999999999999999999999999998", true},
        BoundCase{R"({"maximum": 1e99999999999999999999999999999999999999998})",
                  "1e99999999999999999999999999999999999999999", false},
        BoundCase{R"({"minimum": 5})", "1e999999", true}));

TEST(NumericBounds, LongIntegerLimitComparesDigitByDigit) {
    Compiled compiled(R"({"maximum": 1e400})", Draft::Draft7);
    EXPECT_TRUE(compiled.is_valid(kTenTo400));
    EXPECT_FALSE(compiled.is_valid(kTenTo400 + "1"));
}

TEST(NumericBounds, NonNumbersAreNotApplicable) {
    Compiled compiled(R"({"minimum": 1, "maximum": 2, "exclusiveMinimum": 0, "exclusiveMaximum": 3})",
                      Draft::Draft7);
    for (const char* instance : {R"("5")", "true", "null", "[]", "{}"}) {
        EXPECT_TRUE(compiled.is_valid(instance));
        EXPECT_TRUE(compiled.messages(instance).empty());
        auto [events, valid] = compiled.trace(instance);
        EXPECT_TRUE(valid);
        ASSERT_EQ(events.size(), 4u) << instance;
        for (const Event& e : events) EXPECT_EQ(e.outcome, 2) << e;
    }
}

TEST(NumericBounds, ErrorsCarryTheLimitAsWritten) {
    struct Case {
        const char* schema;
        const char* instance;
        const char* message;
        const char* schema_path;
    };
    const Case cases[] = {
        {R"({"minimum": 10})", "5", "5 is less than the minimum of 10", "/minimum"},
        {R"({"maximum": 1.50})", "2", "2 is greater than the maximum of 1.50", "/maximum"},
        {R"({"exclusiveMinimum": 1e1})", "10.0", "10.0 is less than or equal to the minimum of 1e1",
         "/exclusiveMinimum"},
        {R"({"exclusiveMaximum": -0})", "0", "0 is greater than or equal to the maximum of -0", "/exclusiveMaximum"},
    };
    for (const Case& c : cases) {
        Compiled compiled(c.schema, Draft::Draft7);
        auto error = compiled.first_error(kwtest::json(c.instance));
        ASSERT_TRUE(error.has_value()) << c.schema;
        EXPECT_EQ(error->message(), c.message);
        EXPECT_EQ(error->schema_path().str(), c.schema_path);
        EXPECT_EQ(compiled.messages(c.instance), std::vector<std::string>{c.message});
    }
}

TEST(NumericBounds, NonNumberLimitIsACompileError) {
    EXPECT_EQ(kwtest::compile_message(R"({"minimum": "5"})", Draft::Draft7), R"("5" is not of type "number")");
    EXPECT_EQ(kwtest::compile_message(R"({"exclusiveMaximum": null})", Draft::Draft202012),
              R"(null is not of type "number")");
}

TEST(NumericBounds, Draft4ExclusiveFlagFusesWithTheBound) {
    Compiled compiled(R"({"minimum": 5, "exclusiveMinimum": true})", Draft::Draft4);
    EXPECT_FALSE(compiled.is_valid("5"));
    EXPECT_TRUE(compiled.is_valid("5.5"));
    auto error = compiled.first_error(kwtest::json("5"));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message(), "5 is less than or equal to the minimum of 5");
    EXPECT_EQ(error->schema_path().str(), "/exclusiveMinimum");
    EXPECT_EQ(error->keyword(), "exclusiveMinimum");

    auto [failed, valid] = compiled.trace("5");
    EXPECT_FALSE(valid);
    EXPECT_EQ(failed, (std::vector<Event>{{"", "/exclusiveMinimum", 1}, {"", "/minimum", 1}}));
    EXPECT_EQ(compiled.trace("6").first, (std::vector<Event>{{"", "/exclusiveMinimum", 0}, {"", "/minimum", 0}}));
    EXPECT_EQ(compiled.trace(R"("x")").first,
              (std::vector<Event>{{"", "/exclusiveMinimum", 2}, {"", "/minimum", 2}}));
}

TEST(NumericBounds, Draft4ExclusiveFlagOtherwise) {
    Compiled inclusive(R"({"maximum": 5, "exclusiveMaximum": false})", Draft::Draft4);
    EXPECT_TRUE(inclusive.is_valid("5"));
    EXPECT_EQ(inclusive.trace("6").first, (std::vector<Event>{{"", "/maximum", 1}}));
    // the flag alone checks nothing
    Compiled flag_only(R"({"exclusiveMaximum": true})", Draft::Draft4);
    EXPECT_TRUE(flag_only.is_valid("1e999"));
    EXPECT_TRUE(flag_only.trace("1").first.empty());
    // a non-number bound beside the flag names the exclusive keyword
    const char* schema = R"({"maximum": "1", "exclusiveMaximum": true})";
    EXPECT_EQ(kwtest::compile_message(schema, Draft::Draft4), R"("1" is not of type "number")");
    EXPECT_EQ(kwtest::compile_error_path(schema, Draft::Draft4), "/exclusiveMaximum");
}

}  // namespace
