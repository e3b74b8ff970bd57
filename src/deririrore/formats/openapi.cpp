#include "deririrore/formats/openapi.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <system_error>

#include "deririrore/formats/pointer.hpp"

namespace deririrore::formats {
namespace {

// A JSON number as sign, significant digits and a power of ten:
// value = (negative ? -1 : 1) * digits * 10^exponent, with `digits` free of
// leading and trailing zeros (empty for zero).
struct DecimalParts {
    bool negative = false;
    std::string_view int_digits;
    std::string_view frac_digits;
    // Significant digits span int_digits + frac_digits; kept as offsets into
    // that concatenation so nothing is copied.
    std::size_t sig_begin = 0;
    std::size_t sig_end = 0;
    int64_t exponent = 0;

    std::size_t sig_len() const noexcept { return sig_end - sig_begin; }
    char digit(std::size_t k) const noexcept {
        return k < int_digits.size() ? int_digits[k] : frac_digits[k - int_digits.size()];
    }
};

constexpr int64_t exponent_cap = int64_t{1} << 40;

std::optional<DecimalParts> split_number(std::string_view t) noexcept {
    DecimalParts d;
    std::size_t p = 0;
    if (p < t.size() && t[p] == '-') {
        d.negative = true;
        ++p;
    }
    const auto is_digit = [&](std::size_t k) { return k < t.size() && t[k] >= '0' && t[k] <= '9'; };
    const std::size_t int_start = p;
    if (!is_digit(p)) return std::nullopt;
    if (t[p] == '0') {
        ++p;
    } else {
        while (is_digit(p)) ++p;
    }
    d.int_digits = t.substr(int_start, p - int_start);
    if (p < t.size() && t[p] == '.') {
        ++p;
        const std::size_t frac_start = p;
        while (is_digit(p)) ++p;
        if (p == frac_start) return std::nullopt;
        d.frac_digits = t.substr(frac_start, p - frac_start);
    }
    int64_t exp = 0;
    if (p < t.size() && (t[p] == 'e' || t[p] == 'E')) {
        ++p;
        bool exp_negative = false;
        if (p < t.size() && (t[p] == '+' || t[p] == '-')) {
            exp_negative = t[p] == '-';
            ++p;
        }
        if (!is_digit(p)) return std::nullopt;
        while (is_digit(p)) {
            // Saturate: beyond the cap only the sign of the exponent matters.
            if (exp < exponent_cap) exp = exp * 10 + (t[p] - '0');
            ++p;
        }
        if (exp_negative) exp = -exp;
    }
    if (p != t.size()) return std::nullopt;

    const std::size_t total = d.int_digits.size() + d.frac_digits.size();
    std::size_t b = 0;
    while (b < total && d.digit(b) == '0') ++b;
    std::size_t e = total;
    while (e > b && d.digit(e - 1) == '0') --e;
    d.sig_begin = b;
    d.sig_end = e;
    // The last significant digit sits at 10^(int_len - e) before the exponent.
    d.exponent = exp + static_cast<int64_t>(d.int_digits.size()) - static_cast<int64_t>(e);
    return d;
}

// Exact range test; `max_digits` is the digit count of `max_positive`.
bool integer_in_range(std::string_view text, unsigned __int128 max_positive, int64_t max_digits) noexcept {
    const auto d = split_number(text);
    if (!d) return false;
    if (d->sig_len() == 0) return true;
    if (d->exponent < 0) return false;
    if (static_cast<int64_t>(d->sig_len()) + d->exponent > max_digits) return false;
    unsigned __int128 v = 0;
    for (std::size_t k = d->sig_begin; k < d->sig_end; ++k) v = v * 10 + static_cast<unsigned>(d->digit(k) - '0');
    for (int64_t k = 0; k < d->exponent; ++k) v *= 10;
    // The negative side reaches one further: -2^31 and -2^63.
    return v <= (d->negative ? max_positive + 1 : max_positive);
}

}  // namespace

bool check_int32_text(std::string_view text) noexcept {
    return integer_in_range(text, 2147483647, 10);
}

bool check_int64_text(std::string_view text) noexcept {
    return integer_in_range(text, 9223372036854775807ull, 19);
}

bool check_finite_number_text(std::string_view text) noexcept {
    const auto d = split_number(text);
    if (!d) return false;
    if (d->sig_len() == 0) return true;
    // The decimal exponent of the leading digit decides far from the limits,
    // and tells overflow from underflow when the conversion reports a range error.
    const int64_t leading = d->exponent + static_cast<int64_t>(d->sig_len()) - 1;
    if (leading > 400) return false;
    if (leading < -400) return true;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) return leading < 0;
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool check_uuid4(std::string_view text) noexcept {
    if (!check_builtin_uuid(text) || text[14] != '4') return false;
    switch (text[19]) {
        case '8': case '9': case 'a': case 'b': case 'A': case 'B':
            return true;
        default:
            return false;
    }
}

}  // namespace deririrore::formats
