#pragma once
// Exact reading of JSON number texts: machine integers first, doubles where
// exact, then arbitrary-precision integers and fractions. Nothing here fails:
// a reader answers "none" outside its domain and the caller tries the next.
#include <gmpxx.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace deririrore::value {

class Value;

using BigInt = mpz_class;
using BigRational = mpq_class;

// Largest magnitude of a signed 64-bit text left to the machine paths (2^53).
inline constexpr int64_t kMaxSafeInteger = int64_t{1} << 53;
// Most zeros appended, and smallest exponent examined, when a decimal becomes exact.
inline constexpr int64_t kMaxDecimalShift = 1'000'000;
// Largest power of ten used as the denominator of a decimal with an exponent.
inline constexpr uint64_t kMaxFractionDenominatorExponent = 4'294'967'295ULL;

// The text is all decimal digits and below 2^64.
std::optional<uint64_t> read_u64_text(std::string_view text) noexcept;
// The text is an optional "-" and decimal digits within the signed 64-bit range ("-0" reads as 0).
std::optional<int64_t> read_i64_text(std::string_view text) noexcept;
// The text read as a correctly rounded double: overflow gives an infinity of the
// text's sign, underflow a zero. None for a text outside the number grammar.
std::optional<double> read_f64_text(std::string_view text) noexcept;
// read_f64_text, when the result is finite.
std::optional<double> read_finite_f64_text(std::string_view text) noexcept;

// value = (negative ? -1 : 1) x digits x 10^(exponent - scale), where digits
// are the integer digits followed by the fraction digits, as written.
struct DecomposedNumber {
    std::string_view int_digits;
    std::string_view frac_digits;
    int64_t scale = 0;
    int64_t exponent = 0;
    bool negative = false;

    // Calls f(char) for each digit of the digit string.
    template <class F>
    void for_each_digit(F&& f) const {
        for (char c : int_digits) f(c);
        for (char c : frac_digits) f(c);
    }
    std::size_t digit_count() const noexcept { return int_digits.size() + frac_digits.size(); }
    bool all_zero() const noexcept;
};

std::optional<DecomposedNumber> decompose_number_text(std::string_view text) noexcept;

// The exact integer the text denotes; none for a signed 64-bit text of magnitude
// at most 2^53 (left to the machine paths), for non-integers, and beyond the limits.
std::optional<BigInt> parse_integer_exact(std::string_view text);
// The exact value of a decimal text as a reduced fraction; none for signed
// 64-bit texts, texts without ".", "e", "E", exponent texts whose value is an
// integer, and texts beyond the limits. "2.0" gives 2/1.
std::optional<BigRational> parse_exact_number(std::string_view text);

// Whether parse_integer_exact / parse_exact_number would give a value, decided
// without building it (cheap for 1e999999).
bool has_integer_exact(std::string_view text) noexcept;
bool has_exact_number(std::string_view text) noexcept;

// Whether the number denotes an integer (the JSON type integer).
bool is_integer_text(std::string_view text) noexcept;

enum class IntegerClass : uint8_t {
    Integer = 0,       // held exactly, or an integral double of magnitude at most 2^53
    Undecidable = 1,   // not finite as a double, or an integral double beyond 2^53
    NotInteger = 2,
};
IntegerClass classify_integer_text(std::string_view text) noexcept;

// A fraction that may also be infinite (with a sign) or not-a-number; the
// special forms arise only from non-finite doubles and division by zero.
class ExactFraction {
public:
    enum class Form : uint8_t { Finite, PosInfinity, NegInfinity, NaN };

    ExactFraction() = default;
    ExactFraction(BigRational q) : value_(std::move(q)) {}
    ExactFraction(const BigInt& i) : value_(i) {}
    static ExactFraction from_u64(uint64_t v);
    static ExactFraction from_i64(int64_t v);
    // The fraction of the decimal the double was written as (0.1 -> 1/10).
    static ExactFraction from_f64(double x);
    static ExactFraction infinity(bool negative) { return ExactFraction(negative ? Form::NegInfinity : Form::PosInfinity); }
    static ExactFraction nan() { return ExactFraction(Form::NaN); }

    Form form() const noexcept { return form_; }
    bool is_finite() const noexcept { return form_ == Form::Finite; }
    bool is_special() const noexcept { return form_ != Form::Finite; }
    bool is_nan() const noexcept { return form_ == Form::NaN; }
    bool is_zero() const noexcept { return form_ == Form::Finite && sgn(value_) == 0; }
    // Only for finite forms.
    const BigRational& value() const noexcept { return value_; }

    // Total order with the infinities at the ends; NaN is unordered.
    friend std::partial_ordering operator<=>(const ExactFraction& a, const ExactFraction& b);
    friend bool operator==(const ExactFraction& a, const ExactFraction& b) {
        return (a <=> b) == std::partial_ordering::equivalent;
    }

private:
    explicit ExactFraction(Form f) : form_(f) {}
    Form form_ = Form::Finite;
    BigRational value_;
};

// The double converted to a fraction by ExactFraction::from_f64, then compared.
bool exact_number_gt_f64(const BigRational& q, double x);
bool exact_number_ge_f64(const BigRational& q, double x);
bool exact_number_lt_f64(const BigRational& q, double x);
bool exact_number_le_f64(const BigRational& q, double x);

// The integer rounded to the nearest double (an infinity of its sign beyond range).
double big_integer_to_f64(const BigInt& i) noexcept;
// Double-versus-exact-integer tests, the integer converted as above.
bool f64_lt_big_integer(double x, const BigInt& i) noexcept;
bool f64_le_big_integer(double x, const BigInt& i) noexcept;
bool big_integer_lt_f64(const BigInt& i, double x) noexcept;
bool f64_ge_big_integer(double x, const BigInt& i) noexcept;

// The exact order (-1, 0, 1) of the text's value and c where cheaply settled;
// none means "compare x and c as doubles". x is the text read as a double.
std::optional<int> compare_number_text_with_f64(std::string_view text, double x, double c);

// Bit 0: inclusive; bit 1: lower bound.
enum class BoundMode : uint8_t { Less = 0, LessOrEqual = 1, Greater = 2, GreaterOrEqual = 3 };

constexpr BoundMode make_bound_mode(bool inclusive, bool lower) noexcept {
    return static_cast<BoundMode>((inclusive ? 1 : 0) + (lower ? 2 : 0));
}

// A limit of huge or tiny magnitude (1e999999, 1e-5000) kept as its number
// text: written out as an integer or fraction it would take megabytes, and
// every comparison with it as long.
struct DecimalLimit {
    std::string text;
};

// Magnitudes beyond 10^kMaxBuiltLimitDigits, or below its inverse, make a DecimalLimit.
inline constexpr int64_t kMaxBuiltLimitDigits = 4096;

struct NumericLimit {
    // BigInt (Integer), BigRational (Fraction), double (Float, never NaN) or DecimalLimit.
    std::variant<BigInt, BigRational, double, DecimalLimit> limit;
    BoundMode mode = BoundMode::Less;

    // Integer when parse_integer_exact holds, else Fraction when
    // parse_exact_number does, else Float (a non-finite or unreadable text
    // becomes an infinity of the text's sign). An Integer or Fraction of
    // magnitude beyond kMaxBuiltLimitDigits is kept as a DecimalLimit, which
    // compares exactly as the built number would.
    static NumericLimit from_text(std::string_view text, BoundMode mode);
};

// Whether `number op limit` holds for the mode's op. A text with an exact
// reading far beyond the limit's magnitude is settled by magnitude, without
// being written out.
bool compare_number_with_bound(const NumericLimit& limit, std::string_view text);

// Whether two number texts denote the same value (1 = 1.0 = 1e0; 0 = -0).
// A text that no representation holds equals nothing, itself included.
bool number_text_values_equal(std::string_view left, std::string_view right);
// False when the instance is not a number; otherwise the equality above.
bool number_texts_equal(const Value& instance, std::string_view constant_text);

enum class MultipleAnswer : uint8_t { No = 0, Yes = 1, Undecided = 2 };

// Zero values are multiples of everything; a zero divisor admits only zero.
bool is_multiple_of_big_integer(const BigInt& value, const BigInt& divisor) noexcept;
bool is_multiple_of_rational(const ExactFraction& value, const ExactFraction& divisor);
// Both doubles taken as the decimals they were written as.
MultipleAnswer is_exact_multiple_of(double a, double b) noexcept;
// `divisor` a finite positive double.
bool is_multiple_of_float(std::string_view text, double divisor);
// Divisor first.
bool number_text_is_multiple_of(std::string_view divisor_text, std::string_view value_text);

// A plain decimal text ("+1.50", "007", ".5", "2E3") rewritten as the JSON number text of
// exactly its value; ".0" marks a number written without fraction or exponent. None for
// anything else, the words for infinity and not-a-number included.
std::optional<std::string> decimal_number_text(std::string_view text);

}  // namespace deririrore::value
