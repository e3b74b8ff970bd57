// multipleOf: exact multiples of decimal divisors for numbers of any size and spelling.
#include <gtest/gtest.h>

#include <string>

#include "keyword_test_support.hpp"

namespace {

using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;

struct MultipleCase {
    const char* divisor;
    std::string instance;
    bool valid;
};

class MultipleDecision : public ::testing::TestWithParam<MultipleCase> {};

TEST_P(MultipleDecision, DecidesExactly) {
    const MultipleCase& c = GetParam();
    Compiled compiled(std::string(R"({"multipleOf": )") + c.divisor + "}", Draft::Draft7);
    ASSERT_TRUE(compiled.ok());
    EXPECT_EQ(compiled.is_valid(c.instance), c.valid) << c.instance << " / " << c.divisor;
    auto [events, traced] = compiled.trace(c.instance);
    EXPECT_EQ(traced, c.valid);
    EXPECT_EQ(events, (std::vector<Event>{{"", "/multipleOf", c.valid ? 0 : 1}}));
}

// 2^64 + 1 and its double, written out.
const std::string kBig = "18446744073709551617";
const std::string kTwiceBig = "36893488147419103234";

INSTANTIATE_TEST_SUITE_P(
    Divisors, MultipleDecision,
    ::testing::Values(
        MultipleCase{"2", "4", true}, MultipleCase{"2", "-4", true}, MultipleCase{"2", "0", true},
        MultipleCase{"2", "4.0", true}, MultipleCase{"2", "1e20", true}, MultipleCase{"2", "3", false},
        MultipleCase{"2", "4.5", false},
        // the double of this text is 4, but the value is not whole
        MultipleCase{"2", "4.0000000000000000001", false},
        MultipleCase{"0.1", "0.3", true}, MultipleCase{"0.1", "1.2", true}, MultipleCase{"0.1", "0", true},
        MultipleCase{"0.1", "0.30", true}, MultipleCase{"0.1", "0.35", false}, MultipleCase{"0.01", "19.99", true},
        MultipleCase{"0.7", "4.2", true}, MultipleCase{"1e-308", "1e308", true},
        MultipleCase{"2.0", "6", true}, MultipleCase{"2.0", "6.0", true}, MultipleCase{"2.0", "7", false},
        MultipleCase{"2.0", "6.5", false},
        // negative divisors work as their magnitude, also beyond the doubles' integers
        MultipleCase{"-5", "10", true}, MultipleCase{"-5", "-10", true},
        MultipleCase{"-3", "9007199254740993", true}, MultipleCase{"3", "9007199254740992", false},
        MultipleCase{"3", "-9223372036854775808", false}, MultipleCase{"2", "-9223372036854775808", true},
        MultipleCase{kBig.c_str(), kTwiceBig, true}, MultipleCase{kBig.c_str(), "36893488147419103235", false},
        MultipleCase{"2.5", "10", true}, MultipleCase{"3", "4.5", false},
        // huge exponents on either side
        MultipleCase{"7", "1e999999", false}, MultipleCase{"5", "1e999999", true},
        MultipleCase{"0.5", "1e-2000000", false}, MultipleCase{"0.5", "0e-2000000", true},
        MultipleCase{"1e2000000", "0", true}, MultipleCase{"1e2000000", "3e2000001", true},
        MultipleCase{"1e2000000", "5", false}, MultipleCase{"1e-2000000", "1", true},
        MultipleCase{"1e-2000000", "0.5", true}, MultipleCase{"1e-2000000", "1e-2000001", false},
        MultipleCase{"3", "1e99999999999999999999999999999999999999999", false},
        MultipleCase{"4", "1e99999999999999999999999999999999999999999", true},
        // a zero divisor admits zero alone
        MultipleCase{"0", "0", true}, MultipleCase{"0", "5", false}, MultipleCase{"0.0", "0", true},
        MultipleCase{"0.0", "5", false}, MultipleCase{"-0", "0.0", true}));

TEST(MultipleOf, NonNumbersAreNotApplicable) {
    Compiled compiled(R"({"multipleOf": 3})", Draft::Draft6);
    for (const char* instance : {R"("7")", "false", "null", "[7]", R"({"a": 7})"}) {
        EXPECT_TRUE(compiled.is_valid(instance));
        EXPECT_EQ(compiled.trace(instance), (std::pair{std::vector<Event>{{"", "/multipleOf", 2}}, true}));
    }
}

TEST(MultipleOf, ErrorShowsBothTextsAsWritten) {
    Compiled compiled(R"({"multipleOf": 0.10})", Draft::Draft4);
    auto error = compiled.first_error(kwtest::json("0.35"));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message(), "0.35 is not a multiple of 0.10");
    EXPECT_EQ(error->schema_path().str(), "/multipleOf");
    EXPECT_EQ(compiled.messages("1e-1"), std::vector<std::string>{});
}

TEST(MultipleOf, NonNumberDivisorIsACompileError) {
    EXPECT_EQ(kwtest::compile_message(R"({"multipleOf": "2"})", Draft::Draft7), R"("2" is not of type "number")");
    EXPECT_EQ(kwtest::compile_error_path(R"({"multipleOf": []})", Draft::Draft202012), "/multipleOf");
}

}  // namespace
