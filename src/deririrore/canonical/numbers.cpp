#include "deririrore/canonical/numbers.hpp"

#include <algorithm>

#include "deririrore/canonical/order.hpp"

namespace deririrore::canonical {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

struct SplitNumber {
    bool negative = false;
    std::string_view int_digits;
    std::string_view frac_digits;
    bool exp_negative = false;
    std::string_view exp_digits;
};

std::optional<SplitNumber> split_number(std::string_view t) {
    SplitNumber s;
    std::size_t i = 0;
    if (i < t.size() && t[i] == '-') {
        s.negative = true;
        ++i;
    }
    const std::size_t int_start = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    s.int_digits = t.substr(int_start, i - int_start);
    if (s.int_digits.empty()) return std::nullopt;
    if (i < t.size() && t[i] == '.') {
        const std::size_t f = ++i;
        while (i < t.size() && is_digit(t[i])) ++i;
        s.frac_digits = t.substr(f, i - f);
        if (s.frac_digits.empty()) return std::nullopt;
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
            s.exp_negative = t[i] == '-';
            ++i;
        }
        const std::size_t e = i;
        while (i < t.size() && is_digit(t[i])) ++i;
        s.exp_digits = t.substr(e, i - e);
        if (s.exp_digits.empty()) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    return s;
}

// The exponent as a machine integer, or none when it is beyond 10^17 in magnitude.
std::optional<int64_t> small_exponent(const SplitNumber& s) {
    std::string_view d = s.exp_digits;
    while (d.size() > 1 && d[0] == '0') d.remove_prefix(1);
    if (d.size() > 17) return std::nullopt;
    int64_t e = 0;
    for (char c : d) e = e * 10 + (c - '0');
    return s.exp_negative ? -e : e;
}

BigInt exact_exponent(const SplitNumber& s) {
    if (s.exp_digits.empty()) return BigInt(0);
    std::string_view d = s.exp_digits;
    while (d.size() > 1 && d[0] == '0') d.remove_prefix(1);
    BigInt e(std::string(d), 10);
    return s.exp_negative ? BigInt(-e) : e;
}

std::string exponent_form(const SplitNumber& s, std::string_view trimmed, std::size_t m) {
    std::string out;
    if (s.negative) out += '-';
    out += trimmed[0];
    if (trimmed.size() > 1) {
        out += '.';
        out.append(trimmed.substr(1));
    }
    out += 'e';
    const BigInt e = exact_exponent(s) + BigInt(static_cast<unsigned long>(m)) -
                     BigInt(static_cast<unsigned long>(s.frac_digits.size())) - 1;
    out += e.get_str();
    return out;
}

std::optional<ExactValue> finite_value(const std::optional<ExactValue>& v) {
    if (v && v->is_finite()) return v;
    return std::nullopt;
}

}  // namespace

std::string canonicalize_number_text(std::string_view text) {
    auto split = split_number(text);
    if (!split) return std::string(text);
    const SplitNumber& s = *split;
    std::string all;
    all.reserve(s.int_digits.size() + s.frac_digits.size());
    all.append(s.int_digits);
    all.append(s.frac_digits);
    const std::size_t first = all.find_first_not_of('0');
    if (first == std::string::npos) return "0";
    const std::string_view digits = std::string_view(all).substr(first);
    const std::size_t m = digits.size();
    const std::size_t f = s.frac_digits.size();
    std::string_view trimmed = digits;
    while (trimmed.back() == '0') trimmed.remove_suffix(1);
    const std::string sign = s.negative ? "-" : "";

    const auto e = small_exponent(s);
    if (!e) return exponent_form(s, trimmed, m);
    const __int128 o = static_cast<__int128>(*e) - static_cast<__int128>(f);
    if (o >= 0) {
        const __int128 t = static_cast<__int128>(m) + o;
        if (t > static_cast<__int128>(kCanonicalDigitLimit)) return exponent_form(s, trimmed, m);
        std::string out = sign;
        out.append(digits);
        out.append(static_cast<std::size_t>(o), '0');
        return out;
    }
    const __int128 u = -o;
    const std::size_t trailing = m - trimmed.size();
    if (u <= static_cast<__int128>(m) && static_cast<__int128>(trailing) >= u) {
        return sign + std::string(digits.substr(0, m - static_cast<std::size_t>(u)));
    }
    const std::size_t v = trimmed.size();
    const __int128 w = u - static_cast<__int128>(trailing);
    if (w > static_cast<__int128>(kCanonicalDigitLimit)) return exponent_form(s, trimmed, m);
    const std::size_t wn = static_cast<std::size_t>(w);
    std::string out = sign;
    if (v > wn) {
        out.append(trimmed.substr(0, v - wn));
        out += '.';
        out.append(trimmed.substr(v - wn));
    } else {
        out += "0.";
        out.append(wn - v, '0');
        out.append(trimmed);
    }
    return out;
}

std::optional<ExactValue> exact_value_of_number_text(std::string_view text) {
    auto split = split_number(text);
    // An exponent form has no exact value; neither has a plain text that no canonical text matches.
    if (!split || !split->exp_digits.empty() || split->frac_digits.size() > kCanonicalDigitLimit) return std::nullopt;
    if (split->frac_digits.empty() && split->int_digits.size() > kCanonicalDigitLimit) return std::nullopt;
    std::string digits(split->int_digits);
    digits.append(split->frac_digits);
    BigInt num(digits, 10);
    if (split->negative) num = -num;
    BigInt den;
    mpz_ui_pow_ui(den.get_mpz_t(), 10, static_cast<unsigned long>(split->frac_digits.size()));
    ExactValue v = ExactValue::finite(BigRational(num, den));
    auto back = decimal_text_of_exact_value(v);
    if (!back || *back != text) return std::nullopt;
    return v;
}

std::optional<std::string> decimal_text_of_exact_value(const ExactValue& v) {
    if (!v.is_finite()) return std::nullopt;
    const BigInt& num = v.fraction.get_num();
    BigInt rest = v.fraction.get_den();
    std::size_t twos = 0;
    if (rest != 0 && sgn(rest) > 0) {
        twos = mpz_scan1(rest.get_mpz_t(), 0);
        if (twos > kCanonicalDigitLimit) return std::nullopt;
        rest >>= twos;
    }
    std::size_t fives = 0;
    while (mpz_divisible_ui_p(rest.get_mpz_t(), 5)) {
        if (++fives > kCanonicalDigitLimit) return std::nullopt;
        mpz_divexact_ui(rest.get_mpz_t(), rest.get_mpz_t(), 5);
    }
    if (rest != 1) return std::nullopt;
    const std::size_t k = std::max(twos, fives);
    BigInt scale;
    mpz_ui_pow_ui(scale.get_mpz_t(), 10, static_cast<unsigned long>(k));
    BigInt product = abs(num) * scale / v.fraction.get_den();
    std::string digits = product.get_str();
    std::string out = sgn(num) < 0 ? "-" : "";
    if (k == 0) {
        out += digits;
    } else if (digits.size() > k) {
        out.append(digits, 0, digits.size() - k);
        out += '.';
        out.append(digits, digits.size() - k, std::string::npos);
    } else {
        out += "0.";
        out.append(k - digits.size(), '0');
        out += digits;
    }
    return out;
}

std::optional<BoundRational> parse_canonical_number(std::string_view text) {
    std::string canonical = canonicalize_number_text(text);
    if (!value::read_finite_f64_text(canonical)) return std::nullopt;
    auto v = exact_value_of_number_text(canonical);
    return BoundRational{std::move(canonical), std::move(v)};
}

bool number_divides(const BoundRational& a, const BoundRational& b) {
    if (bound_rationals_equal(a, b)) return true;
    const auto av = finite_value(a.value);
    const auto bv = finite_value(b.value);
    if (!av || !bv) return false;
    // Only zero is a multiple of zero: answering true for every b would let a
    // zero divisor swallow the divisors after it.
    if (sgn(av->fraction) == 0) return sgn(bv->fraction) == 0;
    BigRational q = bv->fraction / av->fraction;
    q.canonicalize();
    return q.get_den() == 1;
}

std::vector<BoundRational> normalize_excluded_divisors(std::vector<BoundRational> list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const BoundRational& a, const BoundRational& b) { return compare_bound_rationals(a, b) < 0; });
    list.erase(std::unique(list.begin(), list.end(), bound_rationals_equal), list.end());
    std::vector<BoundRational> kept;
    kept.reserve(list.size());
    for (auto& entry : list) {
        const bool covered =
            std::any_of(kept.begin(), kept.end(), [&](const BoundRational& k) { return number_divides(k, entry); });
        if (!covered) kept.push_back(std::move(entry));
    }
    return kept;
}

std::vector<BoundRational> extend_excluded_divisors(std::vector<BoundRational> list, std::vector<BoundRational> more) {
    list.insert(list.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    return normalize_excluded_divisors(std::move(list));
}

bool bound_admits_number(const BoundNumber& bound, std::string_view number, bool is_upper) {
    const auto limit = value::NumericLimit::from_text(bound.limit, value::make_bound_mode(bound.inclusive, !is_upper));
    return value::compare_number_with_bound(limit, number);
}

std::optional<BigInt> rounded_quotient(const ExactValue& x, const ExactValue& d, bool floor) {
    if (!x.is_finite() || !d.is_finite() || sgn(d.fraction) == 0) return std::nullopt;
    const BigInt n = x.fraction.get_num() * d.fraction.get_den();
    const BigInt m = x.fraction.get_den() * abs(d.fraction.get_num());
    BigInt r;
    if (floor)
        mpz_fdiv_q(r.get_mpz_t(), n.get_mpz_t(), m.get_mpz_t());
    else
        mpz_cdiv_q(r.get_mpz_t(), n.get_mpz_t(), m.get_mpz_t());
    return r;
}

std::optional<ExactValue> multiply_ratio_by_integer(const ExactValue& d, const BigInt& k) {
    if (!d.is_finite()) return std::nullopt;
    return ExactValue::finite(BigRational(abs(d.fraction)) * BigRational(k));
}

std::optional<BoundNumber> snap_bound_to_divisor(const BoundRational& divisor, const BoundNumber& bound,
                                                 bool is_upper) {
    const auto d = finite_value(divisor.value);
    // A zero divisor has no multiples to snap onto but zero itself.
    if (!d || sgn(d->fraction) == 0) return std::nullopt;
    const auto l = exact_value_of_number_text(bound.limit);
    if (!l) return std::nullopt;
    auto k = rounded_quotient(*l, *d, is_upper);
    if (!k) return std::nullopt;
    auto m = multiply_ratio_by_integer(*d, *k);
    if (!m) return std::nullopt;
    if (!bound.inclusive && cmp(m->fraction, l->fraction) == 0) {
        *k += is_upper ? -1 : 1;
        m = multiply_ratio_by_integer(*d, *k);
        if (!m) return std::nullopt;
    }
    auto text = decimal_text_of_exact_value(*m);
    if (!text) return std::nullopt;
    std::string canonical = canonicalize_number_text(*text);
    auto back = exact_value_of_number_text(canonical);
    if (!back || cmp(back->fraction, m->fraction) != 0) return std::nullopt;
    return BoundNumber{std::move(canonical), true};
}

std::optional<BigInt> parse_integer_text(std::string_view text) {
    const std::string canonical = canonicalize_number_text(text);
    std::string_view digits = canonical;
    if (!digits.empty() && digits[0] == '-') digits.remove_prefix(1);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), is_digit)) return std::nullopt;
    return BigInt(canonical, 10);
}

std::optional<BigInt> integer_bound_from_number_bound(const BoundNumber& bound, bool is_upper) {
    if (auto n = parse_integer_text(bound.limit)) {
        if (!bound.inclusive) *n += is_upper ? -1 : 1;
        return n;
    }
    std::optional<BigRational> q;
    if (auto v = exact_value_of_number_text(canonicalize_number_text(bound.limit)))
        q = v->fraction;
    else
        q = value::parse_exact_number(bound.limit);
    if (!q) return std::nullopt;
    BigInt r;
    if (is_upper)
        mpz_fdiv_q(r.get_mpz_t(), q->get_num_mpz_t(), q->get_den_mpz_t());
    else
        mpz_cdiv_q(r.get_mpz_t(), q->get_num_mpz_t(), q->get_den_mpz_t());
    return r;
}

std::optional<Bounds> integer_bounds_from_number_bounds(const NumberLeaf& leaf) {
    Bounds out;
    if (leaf.minimum) {
        out.minimum = integer_bound_from_number_bound(*leaf.minimum, false);
        if (!out.minimum) return std::nullopt;
    }
    if (leaf.maximum) {
        out.maximum = integer_bound_from_number_bound(*leaf.maximum, true);
        if (!out.maximum) return std::nullopt;
    }
    return out;
}

}  // namespace deririrore::canonical
