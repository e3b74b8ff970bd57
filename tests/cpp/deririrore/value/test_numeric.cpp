#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/value/cmp.hpp"
#include "deririrore/value/numeric.hpp"
#include "deririrore/value/value.hpp"

namespace dv = deririrore::value;
using dv::BigInt;
using dv::BigRational;
using dv::BoundMode;
using dv::ExactFraction;
using dv::NumericLimit;

namespace {

std::string pow10_text(int k) { return "1" + std::string(static_cast<std::size_t>(k), '0'); }

BigInt big(const std::string& s) { return BigInt(s, 10); }

BigInt pow2(unsigned k) {
    BigInt r;
    mpz_ui_pow_ui(r.get_mpz_t(), 2, k);
    return r;
}

// Bytes GMP allocates while it is installed (reallocations count their new size).
struct GmpBytes {
    static inline std::size_t total = 0;
    static inline void* (*alloc)(std::size_t) = nullptr;
    static inline void* (*realloc)(void*, std::size_t, std::size_t) = nullptr;
    static inline void (*release)(void*, std::size_t) = nullptr;

    GmpBytes() {
        mp_get_memory_functions(&alloc, &realloc, &release);
        total = 0;
        mp_set_memory_functions(
            [](std::size_t n) {
                total += n;
                return alloc(n);
            },
            [](void* p, std::size_t old_size, std::size_t n) {
                total += n;
                return realloc(p, old_size, n);
            },
            release);
    }
    ~GmpBytes() { mp_set_memory_functions(alloc, realloc, release); }
    GmpBytes(const GmpBytes&) = delete;
    GmpBytes& operator=(const GmpBytes&) = delete;
};

}  // namespace

TEST(Decompose, GrammarAndParts) {
    auto d = dv::decompose_number_text("-12.50e+3");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->int_digits, "12");
    EXPECT_EQ(d->frac_digits, "50");
    EXPECT_EQ(d->scale, 2);
    EXPECT_EQ(d->exponent, 3);
    EXPECT_TRUE(d->negative);
    auto e = dv::decompose_number_text("7E-9");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->exponent, -9);
    for (const char* bad : {"", "+1", "-", "1.", ".5", "1e", "1e+", "1.5.2", "1x", "1e99999999999999999999", " 1"}) {
        EXPECT_FALSE(dv::decompose_number_text(bad)) << bad;
    }
}

TEST(MachineReaders, RangesAndOutOfRangeDoubles) {
    EXPECT_EQ(dv::read_u64_text("18446744073709551615"), 18446744073709551615ULL);
    EXPECT_FALSE(dv::read_u64_text("18446744073709551616"));
    EXPECT_FALSE(dv::read_u64_text("-1"));
    EXPECT_EQ(dv::read_i64_text("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_FALSE(dv::read_i64_text("9223372036854775808"));
    EXPECT_EQ(dv::read_i64_text("-0"), 0);
    EXPECT_FALSE(dv::read_i64_text("1.0"));

    EXPECT_EQ(dv::read_f64_text("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(dv::read_f64_text("-1e400"), -std::numeric_limits<double>::infinity());
    auto tiny = dv::read_f64_text("-1e-400");
    ASSERT_TRUE(tiny);
    EXPECT_EQ(*tiny, 0.0);
    EXPECT_TRUE(std::signbit(*tiny));
    EXPECT_EQ(dv::read_f64_text("1e-2000000"), 0.0);
    EXPECT_EQ(dv::read_f64_text("0.1"), 0.1);
    EXPECT_FALSE(dv::read_f64_text("inf"));
    EXPECT_FALSE(dv::read_f64_text("+1"));
    EXPECT_FALSE(dv::read_finite_f64_text("1e400"));
}

TEST(ExactReaders, ParseIntegerExact) {
    struct Case {
        std::string text;
        std::optional<std::string> value;
    };
    const std::vector<Case> cases = {
        {"9007199254740992", std::nullopt},
        {"-9007199254740992", std::nullopt},
        {"123", std::nullopt},
        {"9007199254740993", "9007199254740993"},
        {"-9007199254740993", "-9007199254740993"},
        {"18446744073709551616", "18446744073709551616"},
        {"2.0", "2"},
        {"1e3", "1000"},
        {"1.5e1", "15"},
        {"-3.000", "-3"},
        {"10e-1", "1"},
        {"100e-2", "1"},
        {"12.50e1", "125"},
        {"0.0e-99999999", "0"},
        {"-0.0", "0"},
        {"1.25e1", std::nullopt},
        {"1.5", std::nullopt},
        {"1e1000001", std::nullopt},
        {"1e-1000001", std::nullopt},
        {"1e400", "1" + std::string(400, '0')},
    };
    for (const auto& c : cases) {
        auto v = dv::parse_integer_exact(c.text);
        EXPECT_EQ(dv::has_integer_exact(c.text), v.has_value()) << c.text;
        ASSERT_EQ(v.has_value(), c.value.has_value()) << c.text;
        if (v) {
            EXPECT_EQ(v->get_str(), *c.value) << c.text;
        }
    }
    auto huge = dv::parse_integer_exact("1e1000000");
    ASSERT_TRUE(huge);
    BigInt expected;
    mpz_ui_pow_ui(expected.get_mpz_t(), 10, 1000000);
    EXPECT_EQ(*huge, expected);
}

TEST(ExactReaders, ParseExactNumber) {
    struct Case {
        std::string text;
        std::optional<std::string> value;
    };
    const std::vector<Case> cases = {
        {"1.25e1", "25/2"},       {"125e-3", "1/8"},         {"1e-1000001", std::nullopt},
        {"5", std::nullopt},      {"-0.5", "-1/2"},          {"1.5", "3/2"},
        {"0.1", "1/10"},          {"1e-1", "1/10"},          {"-2.50", "-5/2"},
        {"2.0", "2"},             {"1e3", std::nullopt},     {"1.5e1", std::nullopt},
        {"7", std::nullopt},      {"-9223372036854775808", std::nullopt},
        {"18446744073709551616", std::nullopt},
        {"0.000", "0"},
    };
    for (const auto& c : cases) {
        auto v = dv::parse_exact_number(c.text);
        EXPECT_EQ(dv::has_exact_number(c.text), v.has_value()) << c.text;
        ASSERT_EQ(v.has_value(), c.value.has_value()) << c.text;
        if (v) {
            EXPECT_EQ(v->get_str(), *c.value) << c.text;
        }
    }
    auto small = dv::parse_exact_number("1e-1000000");
    ASSERT_TRUE(small);
    EXPECT_EQ(small->get_den().get_str().size(), 1000001u);
}

TEST(IntegerTexts, IsIntegerAndClassify) {
    struct Case {
        std::string text;
        bool integer;
        dv::IntegerClass cls;
    };
    using C = dv::IntegerClass;
    const std::vector<Case> cases = {
        {"1.0", true, C::Integer},
        {"-0", true, C::Integer},
        {"1e2", true, C::Integer},
        {"2.50e1", true, C::Integer},
        {"0.000", true, C::Integer},
        {"100e-2", true, C::Integer},
        {"18446744073709551615", true, C::Integer},
        {"-9223372036854775808", true, C::Integer},
        {"9007199254740993", true, C::Integer},
        {"1e400", true, C::Integer},
        {"1e-2000000", true, C::Integer},
        {"2.5", false, C::NotInteger},
        {"1.5", false, C::NotInteger},
        {"1e-1", false, C::NotInteger},
        {"25e-1", false, C::NotInteger},
        {"1.000001", false, C::NotInteger},
        {"1e2000000", false, C::Undecidable},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dv::is_integer_text(c.text), c.integer) << c.text;
        EXPECT_EQ(dv::classify_integer_text(c.text), c.cls) << c.text;
    }
}

TEST(ExactFractions, FromDoubleTakesTheDecimalAsWritten) {
    EXPECT_EQ(ExactFraction::from_f64(0.1).value(), BigRational(1, 10));
    EXPECT_EQ(ExactFraction::from_f64(2.5).value(), BigRational(5, 2));
    EXPECT_EQ(ExactFraction::from_f64(-0.75).value(), BigRational(-3, 4));
    EXPECT_TRUE(ExactFraction::from_f64(-0.0).is_zero());
    EXPECT_EQ(ExactFraction::from_f64(1e22).value(), BigRational(big(pow10_text(22))));
    // The products overflow before an integer shows up: the shortest text "5e-324" is read.
    BigRational min_subnormal(BigInt(5), big(pow10_text(324)));
    min_subnormal.canonicalize();
    EXPECT_EQ(ExactFraction::from_f64(5e-324).value(), min_subnormal);
    EXPECT_TRUE(ExactFraction::from_f64(std::nan("")).is_nan());
    EXPECT_EQ(ExactFraction::from_f64(-INFINITY).form(), ExactFraction::Form::NegInfinity);

    EXPECT_LT(ExactFraction::infinity(true), ExactFraction(BigRational(-1000)));
    EXPECT_GT(ExactFraction::infinity(false), ExactFraction(BigRational(1000)));
    EXPECT_FALSE(ExactFraction::nan() == ExactFraction::nan());

    const BigRational tenth(1, 10);
    EXPECT_TRUE(dv::exact_number_ge_f64(tenth, 0.1));
    EXPECT_TRUE(dv::exact_number_le_f64(tenth, 0.1));
    EXPECT_FALSE(dv::exact_number_gt_f64(tenth, 0.1));
    EXPECT_FALSE(dv::exact_number_lt_f64(tenth, 0.1));
    EXPECT_TRUE(dv::exact_number_gt_f64(BigRational(1, 3), 0.3333333333333333));
    EXPECT_TRUE(dv::exact_number_lt_f64(tenth, INFINITY));
    EXPECT_FALSE(dv::exact_number_lt_f64(tenth, std::nan("")));
}

TEST(ExactFractions, BigIntegerToNearestDouble) {
    const BigInt two53 = pow2(53);
    EXPECT_EQ(dv::big_integer_to_f64(two53 + 1), 9007199254740992.0);  // tie to even
    EXPECT_EQ(dv::big_integer_to_f64(two53 + 3), 9007199254740996.0);
    EXPECT_EQ(dv::big_integer_to_f64(pow2(64) + 1), 18446744073709551616.0);
    // A tie in the top bits broken by a low bit far below them rounds up.
    EXPECT_EQ(dv::big_integer_to_f64((two53 + 1) * pow2(100) + 1), std::ldexp(9007199254740994.0, 100));
    EXPECT_EQ(dv::big_integer_to_f64((two53 + 1) * pow2(100)), std::ldexp(9007199254740992.0, 100));
    EXPECT_EQ(dv::big_integer_to_f64(pow2(1024)), INFINITY);
    EXPECT_EQ(dv::big_integer_to_f64(-pow2(5000)), -INFINITY);
    EXPECT_EQ(dv::big_integer_to_f64(BigInt(-7)), -7.0);

    EXPECT_FALSE(dv::f64_lt_big_integer(9007199254740992.0, two53 + 1));
    EXPECT_TRUE(dv::f64_le_big_integer(9007199254740992.0, two53 + 1));
    EXPECT_TRUE(dv::big_integer_lt_f64(two53, 9007199254740994.0));
    EXPECT_TRUE(dv::f64_ge_big_integer(INFINITY, pow2(2000)));
}

TEST(Bounds, CompareNumberTextWithDouble) {
    EXPECT_EQ(dv::compare_number_text_with_f64("9007199254740993", 9007199254740992.0, 9007199254740992.0), 1);
    EXPECT_EQ(dv::compare_number_text_with_f64("1e20", 1e20, 1e20), 0);
    // Above 2^64 the tie is still settled exactly.
    EXPECT_EQ(dv::compare_number_text_with_f64("100000000000000000001", 1e20, 1e20), 1);
    EXPECT_EQ(dv::compare_number_text_with_f64("9007199254740992.5", 9007199254740992.0, 9007199254740992.0), 1);
    EXPECT_EQ(dv::compare_number_text_with_f64("1.5", 1.5, 2.0), std::nullopt);
    EXPECT_EQ(dv::compare_number_text_with_f64("0.1", 0.1, 0.1), std::nullopt);
    EXPECT_EQ(dv::compare_number_text_with_f64("1e30", 1e30, INFINITY), -1);
}

TEST(Bounds, CompareNumberWithBound) {
    struct Case {
        NumericLimit limit;
        std::string text;
        bool admitted;
    };
    const auto lim = [](std::string_view text, BoundMode mode) { return NumericLimit::from_text(text, mode); };
    const BigInt two64 = pow2(64);
    const std::vector<Case> cases = {
        {NumericLimit{0.1, BoundMode::GreaterOrEqual}, "0.1", true},
        {NumericLimit{0.1, BoundMode::GreaterOrEqual}, "0.10000000000000000001", true},
        {NumericLimit{0.1, BoundMode::GreaterOrEqual}, "0.09999999999999999", false},
        {NumericLimit{0.1, BoundMode::Greater}, "1", true},
        {NumericLimit{2.5, BoundMode::Less}, "2", true},
        {NumericLimit{2.5, BoundMode::Less}, "3", false},
        {NumericLimit{-2.5, BoundMode::Greater}, "-2", true},
        {NumericLimit{1e300, BoundMode::Less}, "18446744073709551615", true},
        {NumericLimit{two64, BoundMode::Less}, "18446744073709551615", true},
        {NumericLimit{two64, BoundMode::Less}, "1.8446744073709551615e19", true},
        {NumericLimit{two64, BoundMode::Less}, "18446744073709551616", false},
        // Both sides read as 2^64 as doubles; the exact value is below the limit.
        {NumericLimit{two64, BoundMode::Less}, "18446744073709551615.5", true},
        {NumericLimit{two64, BoundMode::LessOrEqual}, "18446744073709551616.5", false},
        {NumericLimit{BigRational(1, 3), BoundMode::Less}, "0.333", true},
        {NumericLimit{BigRational(1, 3), BoundMode::Less}, "0.3334", false},
        {NumericLimit{BigRational(1, 3), BoundMode::Greater}, "1", true},
        {NumericLimit{BigRational(1, 3), BoundMode::Greater}, "1e-2000000", false},
        {lim("9007199254740993", BoundMode::Greater), "9007199254740993", false},
        {lim("9007199254740993", BoundMode::Greater), "9007199254740994", true},
        {lim("9007199254740993", BoundMode::GreaterOrEqual), "9007199254740993.0", true},
        {lim("9007199254740993", BoundMode::Less), "9007199254740992", true},
        {lim("10", BoundMode::LessOrEqual), "10.0", true},
        {lim("10", BoundMode::LessOrEqual), "1e1", true},
        {lim("10", BoundMode::LessOrEqual), "10.000000000000000001", false},
        {lim("10", BoundMode::LessOrEqual), "1e-2000000", true},
        {lim("10", BoundMode::LessOrEqual), "1e2000000", false},
        {lim("10", BoundMode::LessOrEqual), "-1e2000000", true},
        {lim("0.5", BoundMode::Greater), "1e2000000", true},
        {lim("0.5", BoundMode::Greater), "0.5000000000000000000001", true},
        {lim("0.5", BoundMode::Greater), "0.5", false},
        {lim("1e2000000", BoundMode::Less), "1e300", true},
        {lim("-1e2000000", BoundMode::Greater), "-1e300", true},
        // Beyond the reading limits, limits and texts are doubles: the engine reads them so.
        {lim("1e2000000", BoundMode::Less), "1e400", false},
        {lim("1e-2000000", BoundMode::Greater), "2e-2000000", false},
        {lim("1e-2000000", BoundMode::GreaterOrEqual), "0", true},
        {lim("0", BoundMode::GreaterOrEqual), "-1e-2000000", true},
        // Huge and tiny limits with an exact reading compare exactly.
        {lim("1.5e999999", BoundMode::Less), "1.49e999999", true},
        {lim("1.5e999999", BoundMode::Less), "1.5000000000000000000001e999999", false},
        {lim("1.5e999999", BoundMode::Less), "1e2000000", false},
        {lim("1.5e999999", BoundMode::Greater), "1e300", false},
        {lim("-1.5e999999", BoundMode::Greater), "-1e2000000", false},
        {lim("1.5e-999999", BoundMode::Greater), "1e-2000000", false},
        {lim("1.5e-999999", BoundMode::Greater), "1e-300", true},
        {lim("-1.5e-999999", BoundMode::Less), "-1e-300", true},
        {lim("1.5e999999", BoundMode::Less), "-1e999999", true},
        {lim("1.5e-5000", BoundMode::GreaterOrEqual), "15e-5001", true},
        // Texts of huge or tiny magnitude against ordinary limits.
        {lim("10", BoundMode::Less), "1e999999", false},
        {lim("10", BoundMode::Greater), "-1e999999", false},
        {lim("10", BoundMode::Less), "1e-999999", true},
        {lim("-10", BoundMode::Less), "-1e-999999", false},
        {lim("0", BoundMode::Greater), "1e-999999", true},
        {lim("0", BoundMode::Less), "-1e-999999", true},
        {lim("0.5", BoundMode::Greater), "0e999999", false},
        {lim("0.5", BoundMode::Less), "0.0e-999999", true},
        {NumericLimit{BigRational(1, 3), BoundMode::Less}, "1e-999999", true},
        {NumericLimit{0.1, BoundMode::Greater}, "1e-999999", false},
        {NumericLimit{-0.1, BoundMode::Greater}, "-1e-999999", true},
        {NumericLimit{0.0, BoundMode::LessOrEqual}, "1e-999999", false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(dv::compare_number_with_bound(c.limit, c.text), c.admitted) << "case " << i << ": " << c.text;
    }
    EXPECT_TRUE(std::holds_alternative<BigInt>(lim("1e3", BoundMode::Less).limit));
    EXPECT_TRUE(std::holds_alternative<BigRational>(lim("1.5", BoundMode::Less).limit));
    EXPECT_EQ(std::get<double>(lim("-1e99999999999999999999", BoundMode::Less).limit), -INFINITY);
    EXPECT_EQ(dv::make_bound_mode(true, true), BoundMode::GreaterOrEqual);
    EXPECT_EQ(dv::make_bound_mode(false, false), BoundMode::Less);
}

TEST(Bounds, HugeExponentsAreNeverWrittenOut) {
    const GmpBytes bytes;
    const NumericLimit huge = NumericLimit::from_text("1e999999", BoundMode::Less);
    const NumericLimit tiny = NumericLimit::from_text("-1.5e-999999", BoundMode::Greater);
    const NumericLimit ten = NumericLimit::from_text("10", BoundMode::Less);
    EXPECT_TRUE(dv::compare_number_with_bound(huge, "1e999998"));
    EXPECT_FALSE(dv::compare_number_with_bound(huge, "1e999999"));
    EXPECT_TRUE(dv::compare_number_with_bound(tiny, "-1.4e-999999"));
    EXPECT_FALSE(dv::compare_number_with_bound(ten, "1.5e999998"));
    EXPECT_TRUE(dv::compare_number_with_bound(ten, "-1.5e999998"));
    // Written out, 10^999999 alone takes over 400 KB.
    EXPECT_LT(GmpBytes::total, std::size_t{16384});
}

TEST(NumberEquality, AcrossRepresentations) {
    const std::string one_beyond_limits = "1" + std::string(1000001, '0') + "e-1000001";
    struct Case {
        std::string left;
        std::string right;
        bool equal;
    };
    const std::vector<Case> cases = {
        {"1", "1.0", true},
        {"1", "1e0", true},
        {"1.0", "10e-1", true},
        {"10e-1", "0.1e1", true},
        {"1", "100e-2", true},
        {"0", "-0", true},
        {"0", "0.0", true},
        {"-0.0", "0e5", true},
        {"9007199254740993", "9007199254740992", false},
        {"9007199254740993", "9007199254740993.0", true},
        {"9007199254740993", "9.007199254740993e15", true},
        {"18446744073709551615", "1.8446744073709551615e19", true},
        {"18446744073709551616", "18446744073709551615", false},
        {"18446744073709551615", "-1", false},
        {"-9223372036854775808", "-9.223372036854775808e18", true},
        {"0.1", "1e-1", true},
        {"0.1", "0.10", true},
        {"0.1", "0.1000000000000000055511151231257827", false},
        {"1e-2000000", "0", true},
        {"1e-2000000", "0.5", false},
        {"1e2000000", "1e2000000", false},
        {"1e2000000", "1", false},
        {"1e999999", "10e999998", true},
        {"1e999999", "1e999998", false},
        {"1e-999999", "0.1e-999998", true},
        {"1e-999999", "0", false},
        {"1e400", pow10_text(400), true},
        {"1e400", "1.0000000000000001e400", false},
        {"-1", "1", false},
        {"1.5", "3e-1", false},
        {"-2.5", "-25e-1", true},
        // No exact form: its double, 1, decides.
        {one_beyond_limits, "1", true},
        {one_beyond_limits, "1.0", true},
        {one_beyond_limits, "2", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dv::number_text_values_equal(c.left, c.right), c.equal) << c.left.substr(0, 40) << " vs " << c.right.substr(0, 40);
        EXPECT_EQ(dv::number_text_values_equal(c.right, c.left), c.equal) << c.right.substr(0, 40) << " vs " << c.left.substr(0, 40);
    }
    // The uniqueness hash agrees even for the text with no exact form.
    dv::Hasher a;
    dv::Hasher b;
    dv::hash_json_value_for_unique(dv::Value::number(one_beyond_limits), a);
    dv::hash_json_value_for_unique(dv::Value::number("1"), b);
    EXPECT_EQ(a.finish(), b.finish());
}

TEST(DecimalNumberText, RewritesPlainDecimalsAndRejectsTheRest) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"42", "42.0"},       {"+1.50", "1.50"},   {"-007", "-7.0"},   {".5", "0.5"},
        {"5.", "5.0"},        {"2E3", "2e3"},      {"-1.5e-07", "-1.5e-07"}, {"000", "0.0"},
        {"", std::nullopt},   {"+", std::nullopt}, {".", std::nullopt},  {"1e", std::nullopt},
        {"1e+", std::nullopt}, {"INF", std::nullopt}, {"NaN", std::nullopt}, {" 1", std::nullopt},
        {"1 ", std::nullopt}, {"0x10", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(dv::decimal_number_text(text), expected) << text;
}
