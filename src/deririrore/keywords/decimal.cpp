#include "deririrore/keywords/decimal.hpp"

#include <gmpxx.h>

#include <charconv>

namespace deririrore::keywords {
namespace {

// Exponents with more digits than this are handled with big integers; 36 digits stay well
// inside __int128 even after adding any adjustment a text in memory can produce.
constexpr std::size_t kMaxMachineExponentDigits = 36;

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

mpz_class mpz_from_digits(std::string_view a, std::string_view b = {}) {
    std::string s;
    s.reserve(a.size() + b.size());
    s.append(a);
    s.append(b);
    if (s.empty()) return mpz_class(0);
    return mpz_class(s, 10);
}

mpz_class mpz_from_i128(Exponent v) {
    const bool neg = v < 0;
    unsigned __int128 m = neg ? static_cast<unsigned __int128>(0) - static_cast<unsigned __int128>(v)
                              : static_cast<unsigned __int128>(v);
    mpz_class hi(static_cast<unsigned long>(static_cast<uint64_t>(m >> 64)));
    mpz_class lo(static_cast<unsigned long>(static_cast<uint64_t>(m)));
    mpz_class r = (hi << 64) + lo;
    return neg ? mpz_class(-r) : r;
}

// The value's exponent as a big integer (written exponent + adjustment).
mpz_class big_exponent(const DecimalView& v) {
    if (!v.huge) return mpz_from_i128(v.exponent);
    mpz_class e(std::string(v.exp_digits), 10);
    if (v.exp_negative) e = -e;
    e += mpz_from_i128(v.exp_adjust);
    return e;
}

int sign_of(const DecimalView& v) noexcept { return v.is_zero() ? 0 : (v.negative ? -1 : 1); }

// Order of |a| and |b|, both non-zero.
int compare_magnitudes(const DecimalView& a, const DecimalView& b) {
    const std::size_t na = a.digit_count();
    const std::size_t nb = b.digit_count();
    // The leading digit's position decides first: |v| lies in [10^(p-1), 10^p).
    if (!a.huge && !b.huge) {
        const Exponent pa = a.exponent + static_cast<Exponent>(na);
        const Exponent pb = b.exponent + static_cast<Exponent>(nb);
        if (pa != pb) return pa < pb ? -1 : 1;
    } else {
        const mpz_class pa = big_exponent(a) + mpz_from_i128(static_cast<Exponent>(na));
        const mpz_class pb = big_exponent(b) + mpz_from_i128(static_cast<Exponent>(nb));
        const int c = cmp(pa, pb);
        if (c != 0) return c < 0 ? -1 : 1;
    }
    const std::size_t n = na < nb ? na : nb;
    for (std::size_t i = 0; i < n; ++i) {
        const char da = a.digit(i);
        const char db = b.digit(i);
        if (da != db) return da < db ? -1 : 1;
    }
    // Equal prefixes: the longer significand has a non-zero digit more.
    if (na == nb) return 0;
    return na < nb ? -1 : 1;
}

// The significand modulo m (m > 0).
uint64_t significand_mod(const DecimalView& v, uint64_t m) noexcept {
    unsigned __int128 r = 0;
    const std::size_t n = v.digit_count();
    for (std::size_t i = 0; i < n; ++i) r = (r * 10 + static_cast<unsigned>(v.digit(i) - '0')) % m;
    return static_cast<uint64_t>(r);
}

std::optional<uint64_t> significand_u64(const DecimalView& v) noexcept {
    const std::size_t n = v.digit_count();
    if (n > 20) return std::nullopt;
    unsigned __int128 r = 0;
    for (std::size_t i = 0; i < n; ++i) r = r * 10 + static_cast<unsigned>(v.digit(i) - '0');
    if (r > UINT64_MAX) return std::nullopt;
    return static_cast<uint64_t>(r);
}

// 10^k modulo m (m > 1).
uint64_t pow10_mod(unsigned __int128 k, uint64_t m) noexcept {
    unsigned __int128 result = 1 % m;
    unsigned __int128 base = 10 % m;
    while (k > 0) {
        if (k & 1) result = result * base % m;
        base = base * base % m;
        k >>= 1;
    }
    return static_cast<uint64_t>(result);
}

}  // namespace

std::optional<DecimalView> read_decimal(std::string_view text) noexcept {
    DecimalView v;
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        v.negative = text[i] == '-';
        ++i;
    }
    const std::size_t int_begin = i;
    while (i < n && is_digit(text[i])) ++i;
    std::string_view int_part = text.substr(int_begin, i - int_begin);
    if (int_part.empty()) return std::nullopt;
    std::string_view frac_part;
    if (i < n && text[i] == '.') {
        const std::size_t frac_begin = ++i;
        while (i < n && is_digit(text[i])) ++i;
        frac_part = text.substr(frac_begin, i - frac_begin);
        if (frac_part.empty()) return std::nullopt;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '-' || text[i] == '+')) {
            v.exp_negative = text[i] == '-';
            ++i;
        }
        const std::size_t exp_begin = i;
        while (i < n && is_digit(text[i])) ++i;
        if (i == exp_begin) return std::nullopt;
        std::size_t first = exp_begin;
        while (first < i && text[first] == '0') ++first;
        v.exp_digits = text.substr(first, i - first);
    }
    if (i != n) return std::nullopt;

    const int64_t frac_len = static_cast<int64_t>(frac_part.size());
    std::size_t lead = 0;
    while (lead < int_part.size() && int_part[lead] == '0') ++lead;
    std::string_view head = int_part.substr(lead);
    std::string_view tail = frac_part;
    if (head.empty()) {
        std::size_t flead = 0;
        while (flead < tail.size() && tail[flead] == '0') ++flead;
        tail = tail.substr(flead);
    }
    int64_t trailing = 0;
    while (!tail.empty() && tail.back() == '0') {
        tail.remove_suffix(1);
        ++trailing;
    }
    if (tail.empty()) {
        while (!head.empty() && head.back() == '0') {
            head.remove_suffix(1);
            ++trailing;
        }
    }
    if (head.empty() && tail.empty()) return DecimalView{};
    v.head = head;
    v.tail = tail;
    v.exp_adjust = trailing - frac_len;
    if (v.exp_digits.empty()) v.exp_negative = false;
    if (v.exp_digits.size() > kMaxMachineExponentDigits) {
        v.huge = true;
        return v;
    }
    Exponent e = 0;
    for (char c : v.exp_digits) e = e * 10 + (c - '0');
    v.exponent = (v.exp_negative ? -e : e) + v.exp_adjust;
    return v;
}

OwnedDecimal::OwnedDecimal(const DecimalView& view) : view_(view) {
    digits_.reserve(view.digit_count());
    digits_.append(view.head);
    digits_.append(view.tail);
    exp_digits_.assign(view.exp_digits);
    rebind();
}

OwnedDecimal::OwnedDecimal(const OwnedDecimal& other)
    : digits_(other.digits_), exp_digits_(other.exp_digits_), view_(other.view_) {
    rebind();
}

OwnedDecimal& OwnedDecimal::operator=(const OwnedDecimal& other) {
    if (this != &other) {
        digits_ = other.digits_;
        exp_digits_ = other.exp_digits_;
        view_ = other.view_;
        rebind();
    }
    return *this;
}

void OwnedDecimal::rebind() noexcept {
    view_.head = digits_;
    view_.tail = {};
    view_.exp_digits = exp_digits_;
}

std::optional<OwnedDecimal> OwnedDecimal::from_text(std::string_view text) {
    auto v = read_decimal(text);
    if (!v) return std::nullopt;
    return OwnedDecimal(*v);
}

OwnedDecimal OwnedDecimal::from_u64(uint64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return OwnedDecimal(*read_decimal(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf))));
}

OwnedDecimal OwnedDecimal::from_i64(int64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return OwnedDecimal(*read_decimal(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf))));
}

int compare_decimals(const DecimalView& a, const DecimalView& b) {
    const int sa = sign_of(a);
    const int sb = sign_of(b);
    if (sa != sb) return sa < sb ? -1 : 1;
    if (sa == 0) return 0;
    const int m = compare_magnitudes(a, b);
    return sa > 0 ? m : -m;
}

bool is_decimal_multiple(const DecimalView& value, const DecimalView& divisor) {
    if (value.is_zero()) return true;
    if (divisor.is_zero()) return false;
    // value / divisor = (sv / sd) x 10^k. For k < 0 the quotient would need sv divisible by
    // 10, which a significand without trailing zeros never is.
    bool k_negative;
    unsigned __int128 k_machine = 0;
    std::optional<mpz_class> k_big;
    if (!value.huge && !divisor.huge) {
        const Exponent k = value.exponent - divisor.exponent;
        k_negative = k < 0;
        if (!k_negative) k_machine = static_cast<unsigned __int128>(k);
    } else {
        k_big = big_exponent(value) - big_exponent(divisor);
        k_negative = sgn(*k_big) < 0;
    }
    if (k_negative) return false;

    if (auto m = significand_u64(divisor)) {
        if (*m == 1) return true;
        const uint64_t r = significand_mod(value, *m);
        if (r == 0) return true;
        uint64_t p;
        if (!k_big) {
            p = pow10_mod(k_machine, *m);
        } else {
            mpz_class pm;
            mpz_class mod(static_cast<unsigned long>(*m));
            mpz_powm(pm.get_mpz_t(), mpz_class(10).get_mpz_t(), k_big->get_mpz_t(), mod.get_mpz_t());
            p = pm.get_ui();
        }
        return static_cast<unsigned __int128>(r) * p % *m == 0;
    }
    const mpz_class sd = mpz_from_digits(divisor.head, divisor.tail);
    const mpz_class sv = mpz_from_digits(value.head, value.tail);
    const mpz_class k = k_big ? *k_big : mpz_from_i128(static_cast<Exponent>(k_machine));
    mpz_class p;
    mpz_powm(p.get_mpz_t(), mpz_class(10).get_mpz_t(), k.get_mpz_t(), sd.get_mpz_t());
    const mpz_class r = (sv % sd) * p % sd;
    return sgn(r) == 0;
}

std::optional<uint64_t> decimal_magnitude_u64(const DecimalView& v) noexcept {
    if (v.is_zero()) return 0;
    if (v.huge || v.exponent < 0) return std::nullopt;
    const std::size_t n = v.digit_count();
    if (static_cast<Exponent>(n) + v.exponent > 20) return std::nullopt;
    unsigned __int128 r = 0;
    for (std::size_t i = 0; i < n; ++i) r = r * 10 + static_cast<unsigned>(v.digit(i) - '0');
    for (Exponent e = 0; e < v.exponent; ++e) r *= 10;
    if (r > UINT64_MAX) return std::nullopt;
    return static_cast<uint64_t>(r);
}

std::optional<uint64_t> read_plain_unsigned(std::string_view text) noexcept {
    std::size_t i = 0;
    if (!text.empty() && text[0] == '+') i = 1;
    if (i == text.size()) return std::nullopt;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (!is_digit(c)) return std::nullopt;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (UINT64_MAX - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

std::optional<int64_t> read_plain_signed(std::string_view text) noexcept {
    bool negative = false;
    std::size_t i = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    // Accumulate the magnitude as unsigned so that the smallest value fits.
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (!is_digit(c)) return std::nullopt;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (limit - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    if (!negative) return static_cast<int64_t>(v);
    return v == (uint64_t{1} << 63) ? INT64_MIN : -static_cast<int64_t>(v);
}

bool number_text_is_integer(std::string_view text) noexcept {
    if (read_plain_signed(text) || read_plain_unsigned(text)) return true;
    auto v = read_decimal(text);
    return v && v->is_integer();
}

}  // namespace deririrore::keywords
