#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "deririrore/value/numeric.hpp"

namespace dv = deririrore::value;
using dv::BigInt;
using dv::BigRational;
using dv::ExactFraction;
using dv::MultipleAnswer;

TEST(Multiples, NumberTextIsMultipleOf) {
    struct Case {
        std::string divisor;
        std::string value;
        bool multiple;
    };
    const std::vector<Case> cases = {
        {"0.1", "0.3", true},
        {"0.1", "1.1", true},
        {"0.7", "4.2", true},
        {"0.1", "0.35", false},
        {"2.5", "10", true},
        {"3", "10", false},
        {"3", "-9", true},
        {"3", "4.5", false},
        {"1e-308", "1e308", true},
        {"18446744073709551617", "36893488147419103234", true},
        {"18446744073709551617", "36893488147419103235", false},
        {"0.5", "1e-2000000", false},
        {"0.5", "0e-2000000", true},
        {"7", "0", true},
        {"0.3", "0", true},
        {"0.3", "-0.0", true},
        {"1e2000000", "5", true},
        {"1e2000000", "1.5", true},
        // Exactness where doubles would agree with the wrong answer.
        {"2", "4.0000000000000000001", false},
        {"2", "4.0", true},
        {"-3", "9007199254740993", true},
        {"2", "9007199254740993", false},
        {"2", "9007199254740992", true},
        {"0.1", "1e999999", true},
        {"1.5", "1e400", false},
        {"2", "1e400", true},
        {"1e20", "100000000000000000000", true},
        {"1e20", "100000000000000000001", false},
        {"0.01", "1.2345", false},
        {"0.0001", "1.2345", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dv::number_text_is_multiple_of(c.divisor, c.value), c.multiple) << c.divisor << " | " << c.value;
    }
}

TEST(Multiples, ZeroDivisorAdmitsOnlyZero) {
    struct Case {
        std::string divisor;
        std::string value;
        bool multiple;
    };
    const std::vector<Case> cases = {
        {"0", "0", true},       {"0", "5", false},          {"0", "-0.0", true},
        {"0", "0.5", false},    {"0", "1e400", false},      {"0", "1e-2000000", false},
        {"-0", "0e7", true},    {"0.0", "0.0", true},       {"0.0", "0.5", false},
        {"0.0", "7", false},    {"0.0", "1e-2000000", false}, {"0e5", "3", false},
        {"0e5", "0", true},     {"0e-3", "1.5", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dv::number_text_is_multiple_of(c.divisor, c.value), c.multiple) << c.divisor << " | " << c.value;
    }
    EXPECT_TRUE(dv::is_multiple_of_big_integer(BigInt(0), BigInt(0)));
    EXPECT_FALSE(dv::is_multiple_of_big_integer(BigInt(5), BigInt(0)));
    EXPECT_FALSE(dv::is_multiple_of_rational(ExactFraction(BigRational(1, 2)), ExactFraction(BigRational(0))));
    EXPECT_TRUE(dv::is_multiple_of_rational(ExactFraction(BigRational(0)), ExactFraction(BigRational(0))));
    EXPECT_EQ(dv::is_exact_multiple_of(5.0, 0.0), MultipleAnswer::Undecided);
    EXPECT_FALSE(dv::is_multiple_of_float("5", 0.0));
    EXPECT_TRUE(dv::is_multiple_of_float("0", 0.0));
}

TEST(Multiples, BuildingBlocks) {
    EXPECT_TRUE(dv::is_multiple_of_big_integer(BigInt(-9), BigInt(3)));
    EXPECT_TRUE(dv::is_multiple_of_big_integer(BigInt(9), BigInt(-3)));
    EXPECT_FALSE(dv::is_multiple_of_big_integer(BigInt(10), BigInt(3)));

    const ExactFraction tenth(BigRational(1, 10));
    EXPECT_TRUE(dv::is_multiple_of_rational(ExactFraction(BigRational(3, 10)), tenth));
    EXPECT_FALSE(dv::is_multiple_of_rational(ExactFraction(BigRational(7, 20)), tenth));
    EXPECT_TRUE(dv::is_multiple_of_rational(ExactFraction::infinity(false), tenth));
    EXPECT_TRUE(dv::is_multiple_of_rational(tenth, ExactFraction::nan()));
    EXPECT_TRUE(dv::is_multiple_of_rational(tenth, ExactFraction::infinity(true)));

    EXPECT_EQ(dv::is_exact_multiple_of(0.3, 0.1), MultipleAnswer::Yes);
    EXPECT_EQ(dv::is_exact_multiple_of(0.35, 0.1), MultipleAnswer::No);
    EXPECT_EQ(dv::is_exact_multiple_of(-4.2, 0.7), MultipleAnswer::Yes);
    EXPECT_EQ(dv::is_exact_multiple_of(1e300, 1e-300), MultipleAnswer::Undecided);
    EXPECT_EQ(dv::is_exact_multiple_of(INFINITY, 1.0), MultipleAnswer::Undecided);
    EXPECT_EQ(dv::is_exact_multiple_of(1e30, 7.0), MultipleAnswer::No);

    EXPECT_FALSE(dv::is_multiple_of_float("1e-400", 0.5));
    EXPECT_TRUE(dv::is_multiple_of_float("0.0", 0.5));
    EXPECT_FALSE(dv::is_multiple_of_float("0.2", 0.5));
    EXPECT_TRUE(dv::is_multiple_of_float("1.5", 0.5));
    EXPECT_FALSE(dv::is_multiple_of_float("1e400", 0.5));
    // Undecided in 128-bit decimals, settled by exact fractions.
    EXPECT_TRUE(dv::is_multiple_of_float("1e300", 1e-300));
}
