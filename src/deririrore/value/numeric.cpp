#include "deririrore/value/numeric.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "deririrore/value/numeric_internal.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::value {

namespace {

constexpr double kTwo53 = 9007199254740992.0;
constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

bool has_char(std::string_view text, char c) noexcept { return text.find(c) != std::string_view::npos; }
bool has_exponent_mark(std::string_view text) noexcept { return text.find_first_of("eE") != std::string_view::npos; }

// Digits without a sign; up to 16 digits cannot overflow, so they skip the checks.
std::optional<uint64_t> read_digits_u64(std::string_view digits) noexcept {
    if (digits.empty()) return std::nullopt;
    uint64_t v = 0;
    if (digits.size() <= 16) {
        for (char c : digits) {
            if (!is_digit(c)) return std::nullopt;
            v = v * 10 + static_cast<uint64_t>(c - '0');
        }
        return v;
    }
    for (char c : digits) {
        if (!is_digit(c)) return std::nullopt;
        if (__builtin_mul_overflow(v, uint64_t{10}, &v)) return std::nullopt;
        if (__builtin_add_overflow(v, static_cast<uint64_t>(c - '0'), &v)) return std::nullopt;
    }
    return v;
}

int sign_of(int c) noexcept { return (c > 0) - (c < 0); }

// Number of trailing '0' characters of the digit string.
std::size_t trailing_zero_digits(const DecomposedNumber& d) noexcept {
    std::size_t n = 0;
    for (auto it = d.frac_digits.rbegin(); it != d.frac_digits.rend(); ++it) {
        if (*it != '0') return n;
        ++n;
    }
    for (auto it = d.int_digits.rbegin(); it != d.int_digits.rend(); ++it) {
        if (*it != '0') return n;
        ++n;
    }
    return n;
}

std::string digit_string(const DecomposedNumber& d) {
    std::string s;
    s.reserve(d.digit_count());
    s.append(d.int_digits);
    s.append(d.frac_digits);
    return s;
}

BigInt big_from_digits(std::string_view digits) {
    std::size_t i = 0;
    while (i + 1 < digits.size() && digits[i] == '0') ++i;
    std::string s(digits.substr(i));
    if (s.empty()) return BigInt(0);
    return BigInt(s, 10);
}

BigInt pow10_big(uint64_t k) {
    BigInt r;
    mpz_ui_pow_ui(r.get_mpz_t(), 10, static_cast<unsigned long>(k));
    return r;
}

int64_t shift_of(const DecomposedNumber& d, bool& overflow) noexcept {
    int64_t shift = 0;
    overflow = __builtin_sub_overflow(d.exponent, d.scale, &shift);
    return shift;
}

// Which exact integer reading applies, decided without building anything.
enum class IntegerRoute : uint8_t { None, Plain, Zero, Strip, Append, AsIs };

struct IntegerPlan {
    IntegerRoute route = IntegerRoute::None;
    DecomposedNumber d;
    int64_t shift = 0;
};

IntegerPlan plan_integer_exact(std::string_view text) noexcept {
    IntegerPlan plan;
    if (auto v = read_i64_text(text)) {
        if (*v >= -kMaxSafeInteger && *v <= kMaxSafeInteger) return plan;
    }
    if (!has_char(text, '.') && !has_exponent_mark(text)) {
        std::string_view digits = text;
        if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
        if (digits.empty()) return plan;
        for (char c : digits)
            if (!is_digit(c)) return plan;
        plan.route = IntegerRoute::Plain;
        return plan;
    }
    auto d = decompose_number_text(text);
    if (!d) return plan;
    plan.d = *d;
    bool overflow = false;
    int64_t shift = shift_of(*d, overflow);
    if (overflow) return plan;
    plan.shift = shift;
    if (shift < 0) {
        if (d->all_zero()) {
            plan.route = IntegerRoute::Zero;
            return plan;
        }
        if (d->exponent < -kMaxDecimalShift) return plan;
        if (trailing_zero_digits(*d) < static_cast<uint64_t>(-static_cast<__int128>(shift))) return plan;
        plan.route = IntegerRoute::Strip;
    } else if (shift > 0) {
        if (shift > kMaxDecimalShift) return plan;
        plan.route = IntegerRoute::Append;
    } else {
        plan.route = IntegerRoute::AsIs;
    }
    return plan;
}

enum class FractionRoute : uint8_t { None, PointOnly, Exponent };

struct FractionPlan {
    FractionRoute route = FractionRoute::None;
    DecomposedNumber d;
    int64_t shift = 0;
};

FractionPlan plan_exact_number(std::string_view text) noexcept {
    FractionPlan plan;
    if (read_i64_text(text)) return plan;
    bool has_point = false;
    bool has_exp = false;
    for (char c : text) {
        if (c == 'e' || c == 'E') {
            has_exp = true;
            break;
        }
        if (c == '.') has_point = true;
    }
    if (!has_exp && !has_point) return plan;
    auto d = decompose_number_text(text);
    if (!d) return plan;
    plan.d = *d;
    if (!has_exp) {
        plan.route = FractionRoute::PointOnly;
        plan.shift = -d->scale;
        return plan;
    }
    bool overflow = false;
    int64_t shift = shift_of(*d, overflow);
    if (overflow || shift >= 0) return plan;
    if (d->exponent < -kMaxDecimalShift) return plan;
    if (static_cast<uint64_t>(-static_cast<__int128>(shift)) > kMaxFractionDenominatorExponent) return plan;
    plan.route = FractionRoute::Exponent;
    plan.shift = shift;
    return plan;
}

BigRational build_fraction(const FractionPlan& plan) {
    BigInt num = big_from_digits(digit_string(plan.d));
    if (plan.d.negative) num = -num;
    BigRational q(num, pow10_big(static_cast<uint64_t>(-plan.shift)));
    q.canonicalize();
    return q;
}

// Exact order of an integer and a double; the double is never NaN.
int cmp_i64_f64(int64_t v, double c) noexcept {
    if (c >= kTwo63) return -1;
    if (c < -kTwo63) return 1;
    double fl = std::floor(c);
    int64_t ic = static_cast<int64_t>(fl);
    if (v < ic) return -1;
    if (v > ic) return 1;
    return fl == c ? 0 : -1;
}

int cmp_u64_f64(uint64_t v, double c) noexcept {
    if (c >= kTwo64) return -1;
    if (c < 0) return 1;
    double fl = std::floor(c);
    uint64_t ic = static_cast<uint64_t>(fl);
    if (v < ic) return -1;
    if (v > ic) return 1;
    return fl == c ? 0 : -1;
}

int order_to_int(std::partial_ordering o) noexcept {
    if (o == std::partial_ordering::less) return -1;
    if (o == std::partial_ordering::greater) return 1;
    return 0;
}

bool admitted(int cmp, BoundMode mode) noexcept {
    switch (mode) {
        case BoundMode::Less: return cmp < 0;
        case BoundMode::LessOrEqual: return cmp <= 0;
        case BoundMode::Greater: return cmp > 0;
        case BoundMode::GreaterOrEqual: return cmp >= 0;
    }
    return false;
}

bool text_is_negative(std::string_view text) noexcept { return !text.empty() && text.front() == '-'; }

// 10^k as the nearest double, for k in [0, 308]; beyond that the result is infinite.
double pow10_f64(int k) noexcept {
    static const std::array<double, 309> table = [] {
        std::array<double, 309> t{};
        char buf[8];
        for (int i = 0; i < 309; ++i) {
            int n = std::snprintf(buf, sizeof buf, "1e%d", i);
            std::from_chars(buf, buf + n, t[static_cast<std::size_t>(i)]);
        }
        return t;
    }();
    if (k < 0) return 1.0;
    if (k > 308) return std::numeric_limits<double>::infinity();
    return table[static_cast<std::size_t>(k)];
}

}  // namespace

std::optional<uint64_t> read_u64_text(std::string_view text) noexcept { return read_digits_u64(text); }

std::optional<int64_t> read_i64_text(std::string_view text) noexcept {
    bool neg = !text.empty() && text.front() == '-';
    if (neg) text.remove_prefix(1);
    auto mag = read_digits_u64(text);
    if (!mag) return std::nullopt;
    if (neg) {
        if (*mag > uint64_t{1} << 63) return std::nullopt;
        return static_cast<int64_t>(0 - *mag);
    }
    if (*mag > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    return static_cast<int64_t>(*mag);
}

std::optional<double> read_f64_text(std::string_view text) noexcept {
    auto d = decompose_number_text(text);
    if (!d) return std::nullopt;
    double x = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), x, std::chars_format::general);
    if (ec == std::errc() && ptr == text.data() + text.size()) return x;
    if (ec != std::errc::result_out_of_range) return std::nullopt;
    // Out of range: the decimal magnitude tells overflow from underflow.
    std::size_t first_nonzero = 0;
    bool found = false;
    std::size_t idx = 0;
    d->for_each_digit([&](char c) {
        if (!found && c != '0') {
            found = true;
            first_nonzero = idx;
        }
        ++idx;
    });
    if (!found) return d->negative ? -0.0 : 0.0;
    __int128 magnitude = static_cast<__int128>(d->exponent) - d->scale +
                         static_cast<__int128>(d->digit_count() - first_nonzero);
    double r = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return d->negative ? -r : r;
}

std::optional<double> read_finite_f64_text(std::string_view text) noexcept {
    auto x = read_f64_text(text);
    if (x && std::isfinite(*x)) return x;
    return std::nullopt;
}

bool DecomposedNumber::all_zero() const noexcept {
    for (char c : int_digits)
        if (c != '0') return false;
    for (char c : frac_digits)
        if (c != '0') return false;
    return true;
}

std::optional<DecomposedNumber> decompose_number_text(std::string_view text) noexcept {
    DecomposedNumber d;
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && text[i] == '-') {
        d.negative = true;
        ++i;
    }
    std::size_t start = i;
    while (i < n && is_digit(text[i])) ++i;
    if (i == start) return std::nullopt;
    d.int_digits = text.substr(start, i - start);
    if (i < n && text[i] == '.') {
        ++i;
        start = i;
        while (i < n && is_digit(text[i])) ++i;
        if (i == start) return std::nullopt;
        d.frac_digits = text.substr(start, i - start);
    }
    d.scale = static_cast<int64_t>(d.frac_digits.size());
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool neg_exp = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            neg_exp = text[i] == '-';
            ++i;
        }
        start = i;
        int64_t e = 0;
        while (i < n && is_digit(text[i])) {
            if (__builtin_mul_overflow(e, int64_t{10}, &e)) return std::nullopt;
            if (__builtin_add_overflow(e, int64_t{text[i] - '0'}, &e)) return std::nullopt;
            ++i;
        }
        if (i == start) return std::nullopt;
        d.exponent = neg_exp ? -e : e;
    }
    if (i != n) return std::nullopt;
    return d;
}

bool has_integer_exact(std::string_view text) noexcept {
    return plan_integer_exact(text).route != IntegerRoute::None;
}

std::optional<BigInt> parse_integer_exact(std::string_view text) {
    IntegerPlan plan = plan_integer_exact(text);
    switch (plan.route) {
        case IntegerRoute::None: return std::nullopt;
        case IntegerRoute::Zero: return BigInt(0);
        case IntegerRoute::Plain: {
            bool neg = text.front() == '-';
            BigInt v = big_from_digits(neg ? text.substr(1) : text);
            if (neg) v = -v;
            return v;
        }
        default: break;
    }
    std::string digits = digit_string(plan.d);
    BigInt v;
    if (plan.route == IntegerRoute::Strip) {
        digits.resize(digits.size() - static_cast<std::size_t>(-plan.shift));
        v = big_from_digits(digits);
    } else if (plan.route == IntegerRoute::Append) {
        v = big_from_digits(digits);
        if (v != 0) v *= pow10_big(static_cast<uint64_t>(plan.shift));
    } else {
        v = big_from_digits(digits);
    }
    if (plan.d.negative) v = -v;
    return v;
}

bool has_exact_number(std::string_view text) noexcept {
    return plan_exact_number(text).route != FractionRoute::None;
}

std::optional<BigRational> parse_exact_number(std::string_view text) {
    FractionPlan plan = plan_exact_number(text);
    if (plan.route == FractionRoute::None) return std::nullopt;
    return build_fraction(plan);
}

bool is_integer_text(std::string_view text) noexcept {
    if (read_i64_text(text) || read_u64_text(text)) return true;
    std::size_t point = text.find('.');
    if (point != std::string_view::npos && text.find_first_of("eE", point) == std::string_view::npos) {
        for (std::size_t i = 0; i < point; ++i)
            if (!is_digit(text[i]) && text[i] != '-') return false;
        for (std::size_t i = point + 1; i < text.size(); ++i)
            if (text[i] != '0') return false;
        return true;
    }
    if (has_integer_exact(text)) return true;
    FractionPlan fp = plan_exact_number(text);
    if (fp.route != FractionRoute::None) {
        // digits / 10^k reduces to a whole number exactly when the digits end in k zeros.
        return fp.d.all_zero() || trailing_zero_digits(fp.d) >= static_cast<uint64_t>(-fp.shift);
    }
    auto x = read_f64_text(text);
    if (!x || !std::isfinite(*x)) return false;
    return std::trunc(*x) == *x;
}

IntegerClass classify_integer_text(std::string_view text) noexcept {
    if (has_integer_exact(text)) return IntegerClass::Integer;
    if (has_exact_number(text)) return IntegerClass::NotInteger;
    auto x = read_f64_text(text);
    if (!x || !std::isfinite(*x)) return IntegerClass::Undecidable;
    if (std::trunc(*x) != *x) return IntegerClass::NotInteger;
    if (std::fabs(*x) <= kTwo53) return IntegerClass::Integer;
    return IntegerClass::Undecidable;
}

ExactFraction ExactFraction::from_u64(uint64_t v) {
    BigInt i;
    mpz_import(i.get_mpz_t(), 1, -1, sizeof v, 0, 0, &v);
    return ExactFraction(i);
}

ExactFraction ExactFraction::from_i64(int64_t v) {
    uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    ExactFraction f = from_u64(mag);
    if (v < 0) f.value_ = -f.value_;
    return f;
}

namespace detail {

DoubleDecimal double_as_written(double x) {
    DoubleDecimal r;
    r.negative = std::signbit(x);
    if (x == 0) return r;
    for (int k = 0;; ++k) {
        double c = x * pow10_f64(k);
        if (!std::isfinite(c)) break;
        if (std::trunc(c) == c) {
            r.numerator = BigInt(std::fabs(c));
            r.pow10 = static_cast<uint64_t>(k);
            return r;
        }
    }
    // The products overflowed first: read the shortest decimal text exactly.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x));
    std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
    auto d = decompose_number_text(s);
    r.numerator = big_from_digits(digit_string(*d));
    int64_t shift = d->exponent - d->scale;
    if (shift >= 0) {
        r.numerator *= pow10_big(static_cast<uint64_t>(shift));
        r.pow10 = 0;
    } else {
        r.pow10 = static_cast<uint64_t>(-shift);
    }
    return r;
}

}  // namespace detail

ExactFraction ExactFraction::from_f64(double x) {
    if (std::isnan(x)) return nan();
    if (std::isinf(x)) return infinity(x < 0);
    detail::DoubleDecimal dd = detail::double_as_written(x);
    BigRational q(dd.numerator, pow10_big(dd.pow10));
    q.canonicalize();
    if (dd.negative) q = -q;
    return ExactFraction(std::move(q));
}

std::partial_ordering operator<=>(const ExactFraction& a, const ExactFraction& b) {
    using F = ExactFraction::Form;
    if (a.form_ == F::NaN || b.form_ == F::NaN) return std::partial_ordering::unordered;
    auto rank = [](F f) { return f == F::NegInfinity ? -1 : (f == F::PosInfinity ? 1 : 0); };
    int ra = rank(a.form_);
    int rb = rank(b.form_);
    if (ra != rb) return ra < rb ? std::partial_ordering::less : std::partial_ordering::greater;
    if (ra != 0) return std::partial_ordering::equivalent;
    int c = sign_of(cmp(a.value_, b.value_));
    return c < 0 ? std::partial_ordering::less
                 : (c > 0 ? std::partial_ordering::greater : std::partial_ordering::equivalent);
}

bool exact_number_gt_f64(const BigRational& q, double x) { return ExactFraction(q) > ExactFraction::from_f64(x); }
bool exact_number_ge_f64(const BigRational& q, double x) { return ExactFraction(q) >= ExactFraction::from_f64(x); }
bool exact_number_lt_f64(const BigRational& q, double x) { return ExactFraction(q) < ExactFraction::from_f64(x); }
bool exact_number_le_f64(const BigRational& q, double x) { return ExactFraction(q) <= ExactFraction::from_f64(x); }

double big_integer_to_f64(const BigInt& i) noexcept {
    const mpz_srcptr z = i.get_mpz_t();
    int s = mpz_sgn(z);
    if (s == 0) return 0.0;
    std::size_t bits = mpz_sizeinbase(z, 2);
    double r;
    if (bits <= 64) {
        uint64_t mag = 0;
        mpz_export(&mag, nullptr, -1, sizeof mag, 0, 0, z);
        r = static_cast<double>(mag);
    } else if (bits > 2000) {
        r = std::numeric_limits<double>::infinity();
    } else {
        // The top 64 bits with a sticky bit for the rest round exactly as the whole would.
        std::size_t drop = bits - 64;
        mpz_t top;
        mpz_init(top);
        mpz_tdiv_q_2exp(top, z, drop);
        mpz_abs(top, top);
        uint64_t t = 0;
        mpz_export(&t, nullptr, -1, sizeof t, 0, 0, top);
        mpz_clear(top);
        mpz_t mag;
        mpz_init(mag);
        mpz_abs(mag, z);
        if (mpz_scan1(mag, 0) < drop) t |= 1;
        mpz_clear(mag);
        r = std::ldexp(static_cast<double>(t), static_cast<int>(drop));
    }
    return s < 0 ? -r : r;
}

bool f64_lt_big_integer(double x, const BigInt& i) noexcept { return x < big_integer_to_f64(i); }
bool f64_le_big_integer(double x, const BigInt& i) noexcept { return x <= big_integer_to_f64(i); }
bool big_integer_lt_f64(const BigInt& i, double x) noexcept { return big_integer_to_f64(i) < x; }
bool f64_ge_big_integer(double x, const BigInt& i) noexcept { return x >= big_integer_to_f64(i); }

std::optional<int> compare_number_text_with_f64(std::string_view text, double x, double c) {
    if (!(x <= -kTwo63 || x >= kTwo64 || x == c)) return std::nullopt;
    if (std::isnan(c)) return std::nullopt;
    if (auto i = parse_integer_exact(text)) {
        if (std::isinf(c)) return c > 0 ? -1 : 1;
        if (std::trunc(c) != c) return std::nullopt;
        // Any integral double is an exact integer: compare exactly, whatever its range.
        return sign_of(cmp(*i, BigInt(c)));
    }
    if (auto f = parse_exact_number(text)) {
        if (!std::isfinite(c) || std::trunc(c) != c || c < -kTwo63 || c >= kTwo64) return std::nullopt;
        return sign_of(cmp(*f, BigRational(BigInt(c))));
    }
    return std::nullopt;
}

NumericLimit NumericLimit::from_text(std::string_view text, BoundMode mode) {
    // Only texts with an exact reading: the others are read as doubles, as they always were.
    if (auto nf = detail::decimal_normal_form(text);
        nf && !nf->zero && (has_integer_exact(text) || has_exact_number(text))) {
        const __int128 m = nf->magnitude();
        if (m > kMaxBuiltLimitDigits || m < -kMaxBuiltLimitDigits)
            return NumericLimit{DecimalLimit{std::string(text)}, mode};
    }
    if (auto i = parse_integer_exact(text)) return NumericLimit{std::move(*i), mode};
    if (auto i = read_i64_text(text)) return NumericLimit{BigInt(static_cast<long>(*i)), mode};
    if (auto f = parse_exact_number(text)) return NumericLimit{std::move(*f), mode};
    auto x = read_finite_f64_text(text);
    if (!x) {
        double inf = std::numeric_limits<double>::infinity();
        return NumericLimit{text_is_negative(text) ? -inf : inf, mode};
    }
    return NumericLimit{*x, mode};
}

namespace {

// The exact order of a text with an exact reading and an exact fraction;
// none when the text has no exact reading.
std::optional<int> cmp_exact_text_with_fraction(std::string_view text, const BigRational& q) {
    if (auto u = read_u64_text(text)) return sign_of(cmp(ExactFraction::from_u64(*u).value(), q));
    if (auto v = read_i64_text(text)) return sign_of(cmp(ExactFraction::from_i64(*v).value(), q));
    if (auto i = parse_integer_exact(text)) return sign_of(cmp(BigRational(*i), q));
    if (auto f = parse_exact_number(text)) return sign_of(cmp(*f, q));
    return std::nullopt;
}

int cmp_big_with_u64(const BigInt& i, uint64_t u) {
    return sign_of(cmp(i, ExactFraction::from_u64(u).value().get_num()));
}

int sign_of_form(const detail::DecimalNormalForm& f) noexcept { return f.zero ? 0 : (f.negative ? -1 : 1); }

// The exact order of two numbers given by their decimal normal forms.
int compare_normal_forms(const detail::DecimalNormalForm& a, const detail::DecimalNormalForm& b) noexcept {
    const int sa = sign_of_form(a);
    const int sb = sign_of_form(b);
    if (sa != sb) return sa < sb ? -1 : 1;
    if (sa == 0) return 0;
    const __int128 ma = a.magnitude();
    const __int128 mb = b.magnitude();
    if (ma != mb) return ma < mb ? -sa : sa;
    auto at = [](const detail::DecimalNormalForm& f, std::size_t k) {
        return k < f.head.size() ? f.head[k] : f.tail[k - f.head.size()];
    };
    const std::size_t na = a.head.size() + a.tail.size();
    const std::size_t nb = b.head.size() + b.tail.size();
    for (std::size_t k = 0; k < std::min(na, nb); ++k) {
        const char da = at(a, k);
        const char db = at(b, k);
        if (da != db) return da < db ? -sa : sa;
    }
    // Normal forms end in a non-zero digit, so the longer one is larger in magnitude.
    if (na != nb) return na < nb ? -sa : sa;
    return 0;
}

// Bounds with 10^lo <= |limit| < 10^hi, the sign of the limit (0 for zero);
// none for non-finite and decimal limits.
struct LimitMagnitude {
    int sign = 0;
    int64_t lo = 0;
    int64_t hi = 0;
};

std::optional<LimitMagnitude> limit_magnitude(const NumericLimit& limit) {
    // mpz_sizeinbase counts the decimal digits exactly or one too many.
    auto digits = [](const BigInt& i) { return static_cast<int64_t>(mpz_sizeinbase(i.get_mpz_t(), 10)); };
    if (const BigInt* i = std::get_if<BigInt>(&limit.limit)) {
        if (sgn(*i) == 0) return LimitMagnitude{};
        return LimitMagnitude{sgn(*i), digits(*i) - 2, digits(*i)};
    }
    if (const BigRational* q = std::get_if<BigRational>(&limit.limit)) {
        if (sgn(*q) == 0) return LimitMagnitude{};
        const int64_t dn = digits(q->get_num());
        const int64_t dd = digits(q->get_den());
        return LimitMagnitude{sgn(*q), dn - dd - 2, dn - dd + 2};
    }
    if (const double* c = std::get_if<double>(&limit.limit)) {
        if (!std::isfinite(*c)) return std::nullopt;
        if (*c == 0) return LimitMagnitude{};
        // Finite doubles lie within 4.9e-324 .. 1.8e308.
        return LimitMagnitude{*c < 0 ? -1 : 1, -325, 309};
    }
    return std::nullopt;
}

// The order of a text of huge or tiny magnitude (or zero, with any exponent)
// and the limit, when the text has an exact reading: settled by magnitudes
// alone, so that the text is never written out; none when the magnitudes are
// too close to settle it. A text without an exact reading is left to its double.
std::optional<int> order_by_magnitude(std::string_view text, const NumericLimit& limit) {
    if (!has_exponent_mark(text)) return std::nullopt;
    auto nf = detail::decimal_normal_form(text);
    if (!nf || !(has_integer_exact(text) || has_exact_number(text))) return std::nullopt;
    const __int128 m = nf->zero ? 0 : nf->magnitude();
    constexpr int64_t reach = kMaxBuiltLimitDigits + 8;
    if (!nf->zero && m <= reach && m >= -reach) return std::nullopt;
    auto lm = limit_magnitude(limit);
    if (!lm) return std::nullopt;
    if (lm->sign == 0) return sign_of_form(*nf);
    if (nf->zero) return -lm->sign;
    // 10^(m-1) <= |text| < 10^m.
    if (m - 1 >= lm->hi) return sign_of_form(*nf);
    if (m <= lm->lo) return -lm->sign;
    return std::nullopt;
}

}  // namespace

bool compare_number_with_bound(const NumericLimit& limit, std::string_view text) {
    const BoundMode mode = limit.mode;
    const int by_sign = text_is_negative(text) ? -1 : 1;

    if (const DecimalLimit* dec = std::get_if<DecimalLimit>(&limit.limit)) {
        auto nl = detail::decimal_normal_form(dec->text);
        if (!nl) return admitted(by_sign, mode);
        if (detail::has_any_exact_form(text)) {
            if (auto nt = detail::decimal_normal_form(text)) return admitted(compare_normal_forms(*nt, *nl), mode);
        }
        // A text without an exact reading counts as its double, as against a built limit: every
        // finite double lies below a huge limit in magnitude, and a non-zero one above a tiny limit.
        auto x = read_finite_f64_text(text);
        if (!x) return admitted(by_sign, mode);
        const int limit_sign = sign_of_form(*nl);
        if (nl->magnitude() > 0 || *x == 0) return admitted(-limit_sign, mode);
        return admitted(*x < 0 ? -1 : 1, mode);
    }
    if (auto r = order_by_magnitude(text, limit)) return admitted(*r, mode);

    if (const BigInt* lim = std::get_if<BigInt>(&limit.limit)) {
        if (auto i = parse_integer_exact(text)) return admitted(sign_of(cmp(*i, *lim)), mode);
        if (auto u = read_u64_text(text)) return admitted(-cmp_big_with_u64(*lim, *u), mode);
        if (auto v = read_i64_text(text)) return admitted(-sign_of(cmp(*lim, static_cast<long>(*v))), mode);
        if (auto x = read_finite_f64_text(text)) {
            // Doubles settle every case but a tie, since rounding is monotonic.
            double lim_x = big_integer_to_f64(*lim);
            if (*x != lim_x) return admitted(*x < lim_x ? -1 : 1, mode);
        }
        // A tie of doubles, or no finite double: exact when the text has an exact form.
        if (auto f = parse_exact_number(text)) return admitted(sign_of(cmp(*f, BigRational(*lim))), mode);
        if (auto x = read_finite_f64_text(text)) {
            return admitted(order_to_int(ExactFraction::from_f64(*x) <=> ExactFraction(*lim)), mode);
        }
        return admitted(by_sign, mode);
    }

    if (const double* lim = std::get_if<double>(&limit.limit)) {
        const double c = *lim;
        if (auto u = read_u64_text(text)) return admitted(cmp_u64_f64(*u, c), mode);
        if (auto v = read_i64_text(text)) return admitted(cmp_i64_f64(*v, c), mode);
        if (auto x = read_finite_f64_text(text)) {
            if (auto r = compare_number_text_with_f64(text, *x, c)) return admitted(*r, mode);
            return admitted(*x < c ? -1 : (*x > c ? 1 : 0), mode);
        }
        if (auto f = parse_exact_number(text)) {
            return admitted(order_to_int(ExactFraction(*f) <=> ExactFraction::from_f64(c)), mode);
        }
        return admitted(by_sign, mode);
    }

    const BigRational& q = std::get<BigRational>(limit.limit);
    if (auto r = cmp_exact_text_with_fraction(text, q)) return admitted(*r, mode);
    if (auto x = read_finite_f64_text(text)) {
        switch (mode) {
            case BoundMode::Greater: return exact_number_lt_f64(q, *x);
            case BoundMode::GreaterOrEqual: return exact_number_le_f64(q, *x);
            case BoundMode::LessOrEqual: return exact_number_ge_f64(q, *x);
            case BoundMode::Less: return exact_number_gt_f64(q, *x);
        }
    }
    return admitted(by_sign, mode);
}

namespace detail {

bool has_any_exact_form(std::string_view text) noexcept {
    return read_u64_text(text) || read_i64_text(text) || has_integer_exact(text) || has_exact_number(text);
}

std::optional<DecimalNormalForm> decimal_normal_form(std::string_view text) noexcept {
    auto d = decompose_number_text(text);
    if (!d) return std::nullopt;
    DecimalNormalForm nf;
    const std::size_t total = d->digit_count();
    auto digit_at = [&](std::size_t k) {
        return k < d->int_digits.size() ? d->int_digits[k] : d->frac_digits[k - d->int_digits.size()];
    };
    std::size_t first = 0;
    while (first < total && digit_at(first) == '0') ++first;
    if (first == total) {
        nf.zero = true;
        return nf;
    }
    std::size_t last = total - 1;
    while (digit_at(last) == '0') --last;
    nf.negative = d->negative;
    nf.exponent = static_cast<__int128>(d->exponent) - d->scale + static_cast<__int128>(total - 1 - last);
    // The significant digits as at most two pieces of the text.
    std::size_t int_len = d->int_digits.size();
    if (first < int_len) {
        std::size_t end = std::min(last + 1, int_len);
        nf.head = d->int_digits.substr(first, end - first);
        if (last >= int_len) nf.tail = d->frac_digits.substr(0, last + 1 - int_len);
    } else {
        nf.head = d->frac_digits.substr(first - int_len, last + 1 - first);
    }
    return nf;
}

bool DecimalNormalForm::same_value(const DecimalNormalForm& o) const noexcept {
    if (zero || o.zero) return zero == o.zero;
    if (negative != o.negative || exponent != o.exponent) return false;
    if (head.size() + tail.size() != o.head.size() + o.tail.size()) return false;
    auto at = [](const DecimalNormalForm& f, std::size_t k) {
        return k < f.head.size() ? f.head[k] : f.tail[k - f.head.size()];
    };
    // Compare piecewise; the split points of the two may differ.
    const std::size_t n = head.size() + tail.size();
    if (tail.empty() && o.tail.empty()) return head == o.head;
    for (std::size_t k = 0; k < n; ++k)
        if (at(*this, k) != at(o, k)) return false;
    return true;
}

__int128 DecimalNormalForm::magnitude() const noexcept {
    return exponent + static_cast<__int128>(head.size() + tail.size());
}

}  // namespace detail

namespace {

// The exact value of a text that has an exact form.
BigRational exact_value(std::string_view text) {
    if (auto u = read_u64_text(text)) return ExactFraction::from_u64(*u).value();
    if (auto v = read_i64_text(text)) return ExactFraction::from_i64(*v).value();
    if (auto i = parse_integer_exact(text)) return BigRational(*i);
    return *parse_exact_number(text);
}

}  // namespace

bool number_text_values_equal(std::string_view left, std::string_view right) {
    // Machine integers settle the common case without any allocation.
    if (auto a = read_i64_text(left)) {
        if (auto b = read_i64_text(right)) return *a == *b;
    }
    const bool exact_l = detail::has_any_exact_form(left);
    const bool exact_r = detail::has_any_exact_form(right);
    if (exact_l && exact_r) {
        // Both exact: equal values have equal decimal normal forms, so nothing is built.
        auto nl = detail::decimal_normal_form(left);
        auto nr = detail::decimal_normal_form(right);
        if (nl && nr) return nl->same_value(*nr);
        return sign_of(cmp(exact_value(left), exact_value(right))) == 0;
    }
    // A text without an exact form (beyond the limits) stands for its double,
    // which must be finite; the double counts as the decimal it was written as.
    std::optional<double> xl;
    std::optional<double> xr;
    if (!exact_l && !(xl = read_finite_f64_text(left))) return false;
    if (!exact_r && !(xr = read_finite_f64_text(right))) return false;
    if (xl && xr) return ExactFraction::from_f64(*xl) == ExactFraction::from_f64(*xr);
    std::string_view exact_text = xl ? right : left;
    double x = xl ? *xl : *xr;
    auto nf = detail::decimal_normal_form(exact_text);
    if (x == 0) return nf && nf->zero;
    // A finite non-zero double, as written, lies within 10^-345 .. 10^310.
    if (nf && (nf->zero || nf->magnitude() > 400 || nf->magnitude() < -400)) return false;
    return ExactFraction(exact_value(exact_text)) == ExactFraction::from_f64(x);
}

bool number_texts_equal(const Value& instance, std::string_view constant_text) {
    if (!instance.is_number()) return false;
    return number_text_values_equal(instance.number_text(), constant_text);
}

bool is_multiple_of_big_integer(const BigInt& value, const BigInt& divisor) noexcept {
    if (sgn(value) == 0) return true;
    if (sgn(divisor) == 0) return false;
    return mpz_divisible_p(value.get_mpz_t(), divisor.get_mpz_t()) != 0;
}

bool is_multiple_of_rational(const ExactFraction& value, const ExactFraction& divisor) {
    if (value.is_zero()) return true;
    if (divisor.is_zero()) return false;
    if (value.is_special() || divisor.is_nan()) return true;
    if (divisor.is_special()) return true;
    BigRational q = value.value() / divisor.value();
    return q.get_den() == 1;
}

namespace {

struct Decimal128 {
    __int128 mantissa = 0;
    int64_t scale = 0;
};

std::optional<Decimal128> shortest_decimal128(double x) noexcept {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, x);
    std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
    Decimal128 r;
    bool neg = false;
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') {
        neg = true;
        ++i;
    }
    int64_t frac_digits = 0;
    bool after_point = false;
    for (; i < s.size() && s[i] != 'e'; ++i) {
        if (s[i] == '.') {
            after_point = true;
            continue;
        }
        __int128 next;
        if (__builtin_mul_overflow(r.mantissa, static_cast<__int128>(10), &next)) return std::nullopt;
        if (__builtin_add_overflow(next, static_cast<__int128>(s[i] - '0'), &next)) return std::nullopt;
        r.mantissa = next;
        if (after_point) ++frac_digits;
    }
    int64_t exponent = 0;
    if (i < s.size() && s[i] == 'e') {
        ++i;
        bool neg_exp = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            neg_exp = s[i] == '-';
            ++i;
        }
        for (; i < s.size(); ++i) {
            exponent = exponent * 10 + (s[i] - '0');
            if (exponent > std::numeric_limits<int32_t>::max()) return std::nullopt;
        }
        if (neg_exp) exponent = -exponent;
    }
    if (neg) r.mantissa = -r.mantissa;
    r.scale = frac_digits - exponent;
    return r;
}

std::optional<__int128> scale_up(__int128 m, int64_t d) noexcept {
    if (d >= 64) return std::nullopt;
    for (int64_t k = 0; k < d; ++k) {
        if (__builtin_mul_overflow(m, static_cast<__int128>(10), &m)) return std::nullopt;
    }
    return m;
}

bool text_has_nonzero_before_exponent(std::string_view text) noexcept {
    for (char c : text) {
        if (c == 'e' || c == 'E') break;
        if (c >= '1' && c <= '9') return true;
    }
    return false;
}

}  // namespace

MultipleAnswer is_exact_multiple_of(double a, double b) noexcept {
    if (!std::isfinite(a) || !std::isfinite(b)) return MultipleAnswer::Undecided;
    auto da = shortest_decimal128(a);
    auto db = shortest_decimal128(b);
    if (!da || !db) return MultipleAnswer::Undecided;
    if (db->mantissa == 0) return MultipleAnswer::Undecided;
    int64_t common = std::max(da->scale, db->scale);
    auto ma = scale_up(da->mantissa, common - da->scale);
    auto mb = scale_up(db->mantissa, common - db->scale);
    if (!ma || !mb) return MultipleAnswer::Undecided;
    return (*ma % *mb == 0) ? MultipleAnswer::Yes : MultipleAnswer::No;
}

bool is_multiple_of_float(std::string_view text, double divisor) {
    auto v = read_f64_text(text);
    if (!v || !std::isfinite(*v)) return false;
    if (*v == 0) return !text_has_nonzero_before_exponent(text);
    // A zero divisor admits only zero values, which were answered above.
    if (divisor == 0) return false;
    if (std::fabs(*v) < std::fabs(divisor)) return false;
    switch (is_exact_multiple_of(*v, divisor)) {
        case MultipleAnswer::Yes: return true;
        case MultipleAnswer::No: return false;
        case MultipleAnswer::Undecided: break;
    }
    ExactFraction fv = ExactFraction::from_f64(*v);
    ExactFraction fd = ExactFraction::from_f64(divisor);
    if (fv.is_special() || fd.is_special()) return true;
    BigRational q = fv.value() / fd.value();
    return q.get_den() == 1;
}

bool number_text_is_multiple_of(std::string_view divisor_text, std::string_view value_text) {
    if (auto d = parse_integer_exact(divisor_text)) {
        if (auto v = parse_integer_exact(value_text)) return is_multiple_of_big_integer(*v, *d);
        if (auto u = read_u64_text(value_text)) return is_multiple_of_big_integer(ExactFraction::from_u64(*u).value().get_num(), *d);
        if (auto s = read_i64_text(value_text)) return is_multiple_of_big_integer(BigInt(static_cast<long>(*s)), *d);
        return false;
    }
    if (auto f = parse_exact_number(divisor_text)) {
        std::optional<BigRational> v = parse_exact_number(value_text);
        if (!v) {
            if (auto i = parse_integer_exact(value_text)) v = BigRational(*i);
            else if (auto u = read_u64_text(value_text)) v = ExactFraction::from_u64(*u).value();
            else if (auto s = read_i64_text(value_text)) v = ExactFraction::from_i64(*s).value();
        }
        if (v) return is_multiple_of_rational(ExactFraction(*v), ExactFraction(*f));
        // A zero divisor admits only zero values.
        if (sgn(*f) == 0) {
            auto x = read_f64_text(value_text);
            return x && *x == 0 && !text_has_nonzero_before_exponent(value_text);
        }
        double m = f->get_num().get_d() / f->get_den().get_d();
        return is_multiple_of_float(value_text, std::fabs(m));
    }
    auto m = read_f64_text(divisor_text);
    if (!m || !std::isfinite(*m)) return true;
    if (*m == 0) {
        // Only a zero divisor written as a small integer ("0", "-0") gets here.
        auto x = read_f64_text(value_text);
        return x && *x == 0 && !text_has_nonzero_before_exponent(value_text);
    }
    const double am = std::fabs(*m);
    if (std::trunc(am) != am) return is_multiple_of_float(value_text, am);
    if (am <= kTwo53) {
        const uint64_t mu = static_cast<uint64_t>(am);
        if (auto u = read_u64_text(value_text)) return *u % mu == 0;
        if (auto s = read_i64_text(value_text)) {
            uint64_t mag = *s < 0 ? 0 - static_cast<uint64_t>(*s) : static_cast<uint64_t>(*s);
            return mag % mu == 0;
        }
    }
    if (auto i = parse_integer_exact(value_text)) return is_multiple_of_big_integer(*i, BigInt(am));
    if (auto u = read_u64_text(value_text)) return is_multiple_of_big_integer(ExactFraction::from_u64(*u).value().get_num(), BigInt(am));
    if (auto s = read_i64_text(value_text)) return is_multiple_of_big_integer(BigInt(static_cast<long>(*s)), BigInt(am));
    // An exact non-integer is never a multiple of an integer, however close its double.
    if (has_exact_number(value_text)) return false;
    auto t = read_f64_text(value_text);
    if (!t) return false;
    if (std::isfinite(*t)) {
        if (*t == 0 && text_has_nonzero_before_exponent(value_text)) return false;
        return std::trunc(*t) == *t && std::fmod(*t, am) == 0;
    }
    if (auto i = parse_integer_exact(value_text)) return is_multiple_of_big_integer(*i, BigInt(am));
    return false;
}

std::optional<std::string> decimal_number_text(std::string_view t) {
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    const std::size_t int_start = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    std::string_view int_digits = t.substr(int_start, i - int_start);
    std::string_view frac_digits;
    if (i < t.size() && t[i] == '.') {
        const std::size_t frac_start = ++i;
        while (i < t.size() && is_digit(t[i])) ++i;
        frac_digits = t.substr(frac_start, i - frac_start);
    }
    if (int_digits.empty() && frac_digits.empty()) return std::nullopt;
    std::string_view exponent;
    bool exponent_negative = false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) exponent_negative = t[i++] == '-';
        const std::size_t exp_start = i;
        while (i < t.size() && is_digit(t[i])) ++i;
        exponent = t.substr(exp_start, i - exp_start);
        if (exponent.empty()) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    while (int_digits.size() > 1 && int_digits[0] == '0') int_digits.remove_prefix(1);
    std::string out;
    out.reserve(t.size() + 3);
    if (negative) out.push_back('-');
    out.append(int_digits.empty() ? std::string_view("0") : int_digits);
    if (!frac_digits.empty()) {
        out.push_back('.');
        out.append(frac_digits);
    } else if (exponent.empty()) {
        out.append(".0");
    }
    if (!exponent.empty()) {
        out.push_back('e');
        if (exponent_negative) out.push_back('-');
        out.append(exponent);
    }
    return out;
}

}  // namespace deririrore::value
