#pragma once
// Exact decisions on JSON number texts, made from their digits and exponent alone.
//
// A number text is read as sign x significand x 10^exponent with the significand's digits
// borrowed from the text, so comparing, testing for an integer and testing for a multiple are
// exact for numbers of any size and never build the integer that a large exponent denotes:
// 1e999999 costs a scan of nine bytes, not a million-digit number.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deririrore::keywords {

using Exponent = __int128;

// A decimal number with one form per value: no leading or trailing zeros in the significand,
// zero has no digits and no sign.
struct DecimalView {
    // The significant digits, split where the text's decimal point was.
    std::string_view head;
    std::string_view tail;
    // The written exponent's digits without leading zeros (empty for none or 0) and its sign.
    std::string_view exp_digits;
    bool exp_negative = false;
    // Added to the written exponent: trailing zeros removed minus fraction digits.
    int64_t exp_adjust = 0;
    // Written exponent + exp_adjust; meaningful unless `huge`.
    Exponent exponent = 0;
    // The written exponent has too many digits for `exponent`; exact paths then use big integers.
    bool huge = false;
    bool negative = false;

    std::size_t digit_count() const noexcept { return head.size() + tail.size(); }
    bool is_zero() const noexcept { return head.empty() && tail.empty(); }
    char digit(std::size_t i) const noexcept { return i < head.size() ? head[i] : tail[i - head.size()]; }
    // Whether the value is whole.
    bool is_integer() const noexcept { return is_zero() || (huge ? !exp_negative : exponent >= 0); }
};

// Reads a number text: an optional sign, digits, an optional fraction, an optional exponent.
// None for anything else.
std::optional<DecimalView> read_decimal(std::string_view text) noexcept;

// A decimal that owns its digits, for limits and divisors kept by validators.
class OwnedDecimal {
public:
    OwnedDecimal() = default;
    explicit OwnedDecimal(const DecimalView& view);
    OwnedDecimal(const OwnedDecimal& other);
    OwnedDecimal& operator=(const OwnedDecimal& other);
    static std::optional<OwnedDecimal> from_text(std::string_view text);
    static OwnedDecimal from_u64(uint64_t v);
    static OwnedDecimal from_i64(int64_t v);

    // Valid while this object lives and is not changed.
    const DecimalView& view() const noexcept { return view_; }

private:
    void rebind() noexcept;
    std::string digits_;
    std::string exp_digits_;
    DecimalView view_;
};

// -1, 0 or 1 as a is less than, equal to or greater than b.
int compare_decimals(const DecimalView& a, const DecimalView& b);
inline bool decimals_equal(const DecimalView& a, const DecimalView& b) { return compare_decimals(a, b) == 0; }

// Whether value / divisor is an integer. Zero is a multiple of every divisor, zero included;
// nothing else is a multiple of zero.
bool is_decimal_multiple(const DecimalView& value, const DecimalView& divisor);

// The significand as an unsigned integer when the value is a whole number whose magnitude fits
// 64 bits (sign ignored).
std::optional<uint64_t> decimal_magnitude_u64(const DecimalView& v) noexcept;

// Machine readers of the plain forms. Unsigned: an optional "+" and digits below 2^64.
// Signed: an optional "+" or "-" and digits within the signed 64-bit range ("-0" is 0).
std::optional<uint64_t> read_plain_unsigned(std::string_view text) noexcept;
std::optional<int64_t> read_plain_signed(std::string_view text) noexcept;

// Whether a number text denotes a whole number, decided exactly (1.0, 1e2 and 1e2000000 are
// whole; 1.5 and 1e-2000000 are not). A text outside the number grammar is not.
bool number_text_is_integer(std::string_view text) noexcept;

}  // namespace deririrore::keywords
