#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"

namespace {

using namespace deririrore::canonical;

BoundRational rat(std::string_view text) {
    auto r = parse_canonical_number(text);
    EXPECT_TRUE(r.has_value()) << text;
    return r ? *r : BoundRational{};
}

std::vector<std::string> limits(const std::vector<BoundRational>& list) {
    std::vector<std::string> out;
    for (const auto& r : list) out.push_back(r.limit);
    return out;
}

TEST(CanonicalNumbers, CanonicalTexts) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"0", "0"},
        {"-0", "0"},
        {"0.000", "0"},
        {"-0.0", "0"},
        {"0e5", "0"},
        {"-0E-3", "0"},
        {"0.50", "0.5"},
        {"10.0", "10"},
        {"100e-2", "1"},
        {"0.001e3", "1"},
        {"1E2", "100"},
        {"1e+2", "100"},
        {"2.5E-0", "2.5"},
        {"7e0", "7"},
        {"1.50e3", "1500"},
        {"12.0", "12"},
        {"1.50e1", "15"},
        {"123.456e1", "1234.56"},
        {"5e-1", "0.5"},
        {"1e-7", "0.0000001"},
        {"-12.5e-3", "-0.0125"},
        {"1e20", "100000000000000000000"},
        {"007", "7"},
        {"1.5e99999999999999999999", "1.5e99999999999999999999"},
        {"-25e-99999999999999999999", "-2.5e-99999999999999999998"},
        {"1e4096", "1e4096"},
    };
    for (const auto& c : cases) EXPECT_EQ(canonicalize_number_text(c.in), c.out) << c.in;
    // Already canonical texts come back unchanged.
    for (const char* t : {"0", "-1", "1234.5", "0.001", "1.5e-2000000", "-7e9999"})
        EXPECT_EQ(canonicalize_number_text(t), t);
}

TEST(CanonicalNumbers, DigitLimitBoundsThePlainForm) {
    const std::size_t n = kCanonicalDigitLimit;
    // An exponent just inside the limit is written out; one beyond stays short.
    const std::string inside = canonicalize_number_text("1e" + std::to_string(n - 1));
    EXPECT_EQ(inside.size(), n);
    EXPECT_EQ(canonicalize_number_text("1e" + std::to_string(n)), "1e" + std::to_string(n));
    EXPECT_EQ(canonicalize_number_text("1e1048575"), "1e1048575");
    EXPECT_EQ(canonicalize_number_text(std::string(n, '9')), std::string(n, '9'));
    EXPECT_EQ(canonicalize_number_text("1" + std::string(n, '0')), "1e" + std::to_string(n));
    // A trailing .0 makes no integer longer than it was written.
    const std::string long_int = "1" + std::string(n, '2');
    EXPECT_EQ(canonicalize_number_text(long_int + ".0"), long_int);
    const std::string at_limit = "1." + std::string(n, '3');
    EXPECT_TRUE(canonicalize_number_text(at_limit) == at_limit);
    const std::string past_limit = "1." + std::string(n + 1, '3');
    EXPECT_TRUE(canonicalize_number_text(past_limit) == past_limit + "e0");
    EXPECT_EQ(canonicalize_number_text("1e-" + std::to_string(n)), "0." + std::string(n - 1, '0') + "1");
    EXPECT_EQ(canonicalize_number_text("1e-" + std::to_string(n + 1)), "1e-" + std::to_string(n + 1));
}

TEST(CanonicalNumbers, ParsingAndExactValues) {
    EXPECT_FALSE(parse_canonical_number("1e400"));
    EXPECT_FALSE(parse_canonical_number("-1e400"));
    const auto tiny = parse_canonical_number("1.5e-2000000");
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->limit, "1.5e-2000000");
    EXPECT_FALSE(tiny->value);
    const auto small = parse_canonical_number("1e-400");
    ASSERT_TRUE(small && small->value);
    EXPECT_EQ(small->value->fraction, BigRational(BigInt(1), BigInt("1" + std::string(400, '0'))));

    EXPECT_EQ(exact_value_of_number_text("-0.125")->fraction, BigRational(-1, 8));
    EXPECT_EQ(exact_value_of_number_text("100")->fraction, BigRational(100));
    for (const char* none : {"1.0", "1e-2000000", "-0", "007", "1e2", "0.10"})
        EXPECT_FALSE(exact_value_of_number_text(none)) << none;

    struct Case {
        BigRational q;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {BigRational(3, 4), "0.75"},       {BigRational(-5, 2), "-2.5"},    {BigRational(40), "40"},
        {BigRational(1, 3), std::nullopt}, {BigRational(1, 1000), "0.001"}, {BigRational(0), "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(decimal_text_of_exact_value(ExactValue::finite(c.q)), c.text);
    EXPECT_FALSE(decimal_text_of_exact_value(ExactValue::infinite(false)));
    EXPECT_FALSE(decimal_text_of_exact_value(ExactValue::nan()));
    // A denominator too large for the plain form has no text rather than a huge one.
    BigInt huge;
    mpz_ui_pow_ui(huge.get_mpz_t(), 2, 1000000);
    EXPECT_FALSE(decimal_text_of_exact_value(ExactValue::finite(BigRational(BigInt(1), huge))));
}

TEST(CanonicalNumbers, DivisibilityAndExcludedDivisors) {
    EXPECT_TRUE(number_divides(rat("0.25"), rat("1.5")));
    EXPECT_FALSE(number_divides(rat("1.5"), rat("0.25")));
    EXPECT_TRUE(number_divides(rat("2"), rat("2")));
    EXPECT_TRUE(number_divides(rat("-2"), rat("4")));
    EXPECT_TRUE(number_divides(rat("1.5e-2000000"), rat("1.5e-2000000")));
    EXPECT_FALSE(number_divides(rat("1.5e-2000000"), rat("3")));
    // Only zero is a multiple of zero.
    EXPECT_FALSE(number_divides(rat("0"), rat("2")));
    EXPECT_TRUE(number_divides(rat("0"), rat("0")));

    struct Case {
        std::vector<const char*> in;
        std::vector<std::string> out;
    };
    const Case cases[] = {
        {{"2", "4", "3", "6", "9"}, {"2", "3"}},
        {{"0.5", "1", "1.5", "0.25"}, {"0.25"}},
        {{"6", "4", "2"}, {"2"}},
        {{"3", "3"}, {"3"}},
        {{"0", "2", "4"}, {"0", "2"}},
        {{"2", "4"}, {"2"}},
        {{"1.5e-2000000", "3", "1.5e-2000000"}, {"1.5e-2000000", "3"}},
    };
    for (const auto& c : cases) {
        std::vector<BoundRational> in;
        for (auto t : c.in) in.push_back(rat(t));
        EXPECT_EQ(limits(normalize_excluded_divisors(in)), c.out);
    }
    EXPECT_EQ(limits(extend_excluded_divisors({rat("9")}, {rat("3"), rat("5")})), (std::vector<std::string>{"3", "5"}));
}

TEST(CanonicalNumbers, BoundsAdmitNumbersExactly) {
    struct Case {
        BoundNumber bound;
        const char* number;
        bool is_upper;
        bool admits;
    };
    const std::string thirty(30, '9');
    const Case cases[] = {
        {{"1", false}, "1", false, false},
        {{"1", true}, "1", false, true},
        {{"0.1", true}, "0.1", true, true},
        {{"0.1", false}, "0.1", true, false},
        {{"0.1", true}, "0.10000000000000001", true, false},
        {{"10", true}, "1e1", true, true},
        {{thirty, true}, "1000000000000000000000000000000", true, false},
        {{thirty, true}, thirty.c_str(), true, true},
        {{"1e-2000000", true}, "0", false, true},
        {{"-1e400", true}, "-1e300", false, true},
        {{"1e400", false}, "1e300", true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bound_admits_number(c.bound, c.number, c.is_upper), c.admits)
            << c.bound.limit << (c.bound.inclusive ? " incl " : " excl ") << (c.is_upper ? "upper " : "lower ")
            << c.number;
}

TEST(CanonicalNumbers, SnappingOntoDivisors) {
    struct Case {
        const char* divisor;
        BoundNumber bound;
        bool is_upper;
        std::optional<std::string> out;
    };
    const Case cases[] = {
        {"0.5", {"1.2", true}, false, "1.5"},
        {"0.5", {"1.5", false}, false, "2"},
        {"0.5", {"1.2", true}, true, "1"},
        {"0.5", {"1", false}, true, "0.5"},
        {"0.5", {"-1.2", true}, false, "-1"},
        {"3", {"9", false}, true, "6"},
        {"7", {"0", false}, false, "7"},
        {"-3", {"7", true}, false, "9"},
        {"0.5", {"1.0", true}, false, std::nullopt},
        {"0", {"1", true}, false, std::nullopt},
        {"1.5e-2000000", {"1", true}, false, std::nullopt},
    };
    for (const auto& c : cases) {
        auto snapped = snap_bound_to_divisor(rat(c.divisor), c.bound, c.is_upper);
        EXPECT_EQ(snapped.has_value(), c.out.has_value()) << c.divisor << " " << c.bound.limit;
        if (snapped && c.out) {
            EXPECT_EQ(snapped->limit, *c.out) << c.divisor << " " << c.bound.limit;
            EXPECT_TRUE(snapped->inclusive);
        }
    }
    EXPECT_FALSE(rounded_quotient(ExactValue::finite(BigRational(1)), ExactValue::finite(BigRational(0)), true));
}

TEST(CanonicalNumbers, IntegerBoundsFromNumberBounds) {
    struct Case {
        BoundNumber bound;
        bool is_upper;
        std::optional<long> out;
    };
    const Case cases[] = {
        {{"2.5", false}, false, 3}, {{"2.5", true}, false, 3},
        {{"3", false}, true, 2},    {{"-2.5", true}, true, -3},
        {{"2.0", true}, false, 2},  {{"1e3", false}, false, 1001},
        {{"1e-3", true}, false, 1}, {{"1e99999", true}, true, std::nullopt},
    };
    for (const auto& c : cases) {
        auto got = integer_bound_from_number_bound(c.bound, c.is_upper);
        EXPECT_EQ(got.has_value(), c.out.has_value()) << c.bound.limit;
        if (got && c.out) {
            EXPECT_EQ(*got, BigInt(*c.out)) << c.bound.limit;
        }
    }
    NumberLeaf leaf;
    leaf.minimum = BoundNumber{"0.5", false};
    leaf.maximum = BoundNumber{"10", false};
    auto b = integer_bounds_from_number_bounds(leaf);
    ASSERT_TRUE(b);
    EXPECT_EQ(*b->minimum, 1);
    EXPECT_EQ(*b->maximum, 9);
    leaf.maximum = BoundNumber{"1e99999", true};
    EXPECT_FALSE(integer_bounds_from_number_bounds(leaf));

    EXPECT_EQ(parse_integer_text("2.0"), BigInt(2));
    EXPECT_EQ(parse_integer_text("1e3"), BigInt(1000));
    EXPECT_EQ(parse_integer_text("-0"), BigInt(0));
    EXPECT_FALSE(parse_integer_text("2.5"));
    EXPECT_FALSE(parse_integer_text("1e-3"));
    EXPECT_FALSE(parse_integer_text("1e99999"));
}

}  // namespace
