#include "deririrore/canonical/divisors.hpp"

#include <algorithm>
#include <unordered_set>

#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::canonical {

namespace {

void sort_unique(std::vector<BoundRational>& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const BoundRational& a, const BoundRational& b) { return compare_bound_rationals(a, b) < 0; });
    list.erase(std::unique(list.begin(), list.end(), bound_rationals_equal), list.end());
}

bool finite(const BoundRational& r) { return r.value && r.value->is_finite(); }

bool is_exact_integer(const BoundRational& r) { return finite(r) && r.value->fraction.get_den() == 1; }

bool is_exactly_one(const BoundRational& r) { return finite(r) && r.value->fraction == 1; }

std::optional<BoundRational> representable(const BigRational& q) {
    auto text = decimal_text_of_exact_value(ExactValue::finite(q));
    if (!text) return std::nullopt;
    auto parsed = parse_canonical_number(*text);
    if (!parsed || !parsed->value) return std::nullopt;
    return parsed;
}

// lcm(p/q, r/s) = lcm(p, r) / gcd(q, s), over magnitudes.
BigRational lcm_of(const BigRational& a, const BigRational& b) {
    const BigInt p = abs(a.get_num()), r = abs(b.get_num());
    BigInt top;
    if (p == 0 || r == 0) {
        top = 0;
    } else {
        mpz_lcm(top.get_mpz_t(), p.get_mpz_t(), r.get_mpz_t());
    }
    BigInt bottom;
    mpz_gcd(bottom.get_mpz_t(), a.get_den_mpz_t(), b.get_den_mpz_t());
    BigRational q(top, bottom);
    q.canonicalize();
    return q;
}

bool merge_pair(std::vector<BoundRational>& list) {
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        for (std::size_t j = i + 1; j < list.size(); ++j) {
            if (!finite(list[i]) || !finite(list[j])) continue;
            auto merged = representable(lcm_of(list[i].value->fraction, list[j].value->fraction));
            if (!merged) continue;
            list[i] = std::move(*merged);
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
            sort_unique(list);
            return true;
        }
    }
    return false;
}

bool reduce_coprime(std::vector<BoundRational>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!is_exact_integer(list[i])) continue;
        const BigInt a = abs(list[i].value->fraction.get_num());
        // Zero shares every factor with everything: splitting it would never end.
        if (a == 0) continue;
        for (std::size_t j = 0; j < list.size(); ++j) {
            if (j == i || !is_exact_integer(list[j])) continue;
            const BigInt b = abs(list[j].value->fraction.get_num());
            if (b == 0) continue;
            BigInt rest = a, shared = 1, g;
            for (;;) {
                mpz_gcd(g.get_mpz_t(), rest.get_mpz_t(), b.get_mpz_t());
                if (g == 1) break;
                shared *= g;
                rest /= g;
            }
            if (shared == 1 || !mpz_divisible_p(b.get_mpz_t(), shared.get_mpz_t())) continue;
            auto reduced = parse_canonical_number(rest.get_str());
            if (!reduced) continue;
            list[i] = std::move(*reduced);
            sort_unique(list);
            return true;
        }
    }
    return false;
}

}  // namespace

Divisors fold_divisors(std::vector<BoundRational> members) {
    sort_unique(members);
    std::vector<BoundRational> work = members;
    // Each merge restarts a scan of all pairs; a longer list stays unfolded,
    // which keeps its meaning and only gives up the reduction.
    if (work.size() > kMaxFoldedDivisors) return Divisors{std::move(members), std::move(work)};
    while (merge_pair(work) || reduce_coprime(work)) {
    }
    // 1 says nothing beside a divisor known to be an integer. Only an exact
    // integer counts: a text whose double merely looks integral (1.5e-2000000
    // reads as 0) is not a multiple of 1.
    const bool has_integer = std::any_of(
        work.begin(), work.end(), [](const BoundRational& r) { return is_exact_integer(r) && !is_exactly_one(r); });
    if (has_integer) work.erase(std::remove_if(work.begin(), work.end(), is_exactly_one), work.end());
    return Divisors{std::move(members), std::move(work)};
}

IntegerDivisor integer_divisor_of(const BoundRational& divisor) {
    if (!finite(divisor)) return {};
    const BigInt num = abs(divisor.value->fraction.get_num());
    if (num == 1) return IntegerDivisor{IntegerDivisor::Kind::Trivial, {}};
    static const BigInt kTwo53 = BigInt(1) << 53;
    if (value::classify_integer_text(divisor.limit) == value::IntegerClass::Integer && num <= kTwo53 &&
        divisor.value->fraction.get_den() == 1)
        return IntegerDivisor{IntegerDivisor::Kind::Integer, num};
    return {};
}

Divisors drop_trivial_integer_divisors(Divisors divisors) {
    std::vector<BoundRational> kept;
    for (auto& m : divisors.members)
        if (integer_divisor_of(m).kind != IntegerDivisor::Kind::Trivial) kept.push_back(std::move(m));
    return fold_divisors(std::move(kept));
}

std::optional<BigInt> snap_integer_to_multiple(const BigInt& d, const BigInt& x, bool down) {
    if (d == 0) return std::nullopt;
    const BigInt m = abs(d);
    BigInt r;
    mpz_tdiv_r(r.get_mpz_t(), x.get_mpz_t(), m.get_mpz_t());
    if (r == 0) return x;
    if (!down) return sgn(r) > 0 ? BigInt(x - r + m) : BigInt(x - r);
    return sgn(r) > 0 ? BigInt(x - r) : BigInt(x - r - m);
}

std::string number_to_text(const BigInt& k) { return k.get_str(); }

std::optional<BigInt> min_upper_bound(const std::optional<BigInt>& a, const std::optional<BigInt>& b) {
    if (!a) return b;
    if (!b) return a;
    return *b < *a ? b : a;
}

std::optional<BigInt> max_lower_bound(const std::optional<BigInt>& a, const std::optional<BigInt>& b) {
    if (!a) return b;
    if (!b) return a;
    return *b > *a ? b : a;
}

bool bounds_include(const Bounds& outer, const Bounds& inner) {
    const bool low = !outer.minimum || (inner.minimum && *inner.minimum >= *outer.minimum);
    const bool high = !outer.maximum || (inner.maximum && *inner.maximum <= *outer.maximum);
    return low && high;
}

std::optional<BigInt> max_properties_from_property_names(const ObjectLeaf& leaf) {
    if (!leaf.property_names) return std::nullopt;
    std::vector<CanonicalJson> values;
    if (const auto* c = (*leaf.property_names)->as<kind::Const>())
        values.push_back(c->value);
    else if (const auto* e = (*leaf.property_names)->as<kind::Enum>())
        values = e->values;
    else
        return std::nullopt;
    std::unordered_set<std::string_view> names;
    for (const auto& v : values)
        if (v->is_string()) names.insert(v->as_string());
    BigInt count(static_cast<unsigned long>(values.size()));
    for (const auto& [name, node] : leaf.properties.entries)
        if (is_false(node) && names.count(*name)) count -= 1;
    return count;
}

Bounds object_size_bounds(const ObjectLeaf& leaf) {
    return Bounds{leaf.sizes.minimum, min_upper_bound(leaf.sizes.maximum, max_properties_from_property_names(leaf))};
}

std::optional<Bounds> format_length_window(const FormatKind& format) {
    using formats::BuiltinFormat;
    if (!format.is_builtin()) return std::nullopt;
    static const BigInt kOpen("18446744073709551615");
    auto window = [](long lo, std::optional<long> hi) { return Bounds{BigInt(lo), hi ? BigInt(*hi) : kOpen}; };
    switch (std::get<BuiltinFormat>(format.kind)) {
        case BuiltinFormat::Date:
            return window(10, 10);
        case BuiltinFormat::DateTime:
            return window(20, std::nullopt);
        case BuiltinFormat::Duration:
            return window(3, std::nullopt);
        case BuiltinFormat::Hostname:
        case BuiltinFormat::HostnameDraft4:
            return window(1, 253);
        case BuiltinFormat::Ipv4:
            return window(7, 15);
        case BuiltinFormat::Ipv6:
            return window(2, 45);
        case BuiltinFormat::Time:
            return window(9, std::nullopt);
        case BuiltinFormat::Uuid:
            return window(36, 36);
        default:
            return std::nullopt;
    }
}

bool format_fits_length_window(const Bounds& window, const FormatKind& format) {
    auto own = format_length_window(format);
    if (!own) return true;
    const auto lo = max_lower_bound(window.minimum, own->minimum);
    const auto hi = min_upper_bound(window.maximum, own->maximum);
    return !lo || !hi || *lo <= *hi;
}

std::vector<Bounds> merge_length_windows(std::vector<Bounds> windows) {
    std::stable_sort(windows.begin(), windows.end(),
                     [](const Bounds& a, const Bounds& b) { return compare_bounds(a, b) < 0; });
    std::vector<Bounds> out;
    for (auto& w : windows) {
        if (!out.empty()) {
            Bounds& cur = out.back();
            if (!cur.maximum || !w.minimum || *w.minimum <= *cur.maximum + 1) {
                if (!cur.minimum || !w.minimum)
                    cur.minimum.reset();
                else if (*w.minimum < *cur.minimum)
                    cur.minimum = w.minimum;
                if (!cur.maximum || !w.maximum)
                    cur.maximum.reset();
                else if (*w.maximum > *cur.maximum)
                    cur.maximum = w.maximum;
                continue;
            }
        }
        out.push_back(std::move(w));
    }
    return out;
}

namespace {

std::strong_ordering compare_array_shape(const ArrayLeaf& a, const ArrayLeaf& b) {
    if (auto c = a.distinctness <=> b.distinctness; c != 0) return c;
    const std::size_t n = std::min(a.prefix.size(), b.prefix.size());
    for (std::size_t i = 0; i < n; ++i)
        if (auto c = compare_canonical_nodes(a.prefix[i], b.prefix[i]); c != 0) return c;
    if (auto c = a.prefix.size() <=> b.prefix.size(); c != 0) return c;
    if (!a.items || !b.items) {
        if (auto c = static_cast<bool>(a.items) <=> static_cast<bool>(b.items); c != 0) return c;
    } else if (auto c = compare_canonical_nodes(*a.items, *b.items); c != 0) {
        return c;
    }
    const std::size_t m = std::min(a.contains.size(), b.contains.size());
    for (std::size_t i = 0; i < m; ++i) {
        const auto& x = a.contains[i];
        const auto& y = b.contains[i];
        if (auto c = compare_canonical_nodes(x.schema, y.schema); c != 0) return c;
        auto opt = [](const std::optional<BigInt>& p, const std::optional<BigInt>& q) {
            if (!p || !q) return static_cast<bool>(p) <=> static_cast<bool>(q);
            const int c = cmp(*p, *q);
            return c < 0   ? std::strong_ordering::less
                   : c > 0 ? std::strong_ordering::greater
                           : std::strong_ordering::equal;
        };
        if (auto c = opt(x.minimum, y.minimum); c != 0) return c;
        if (auto c = opt(x.maximum, y.maximum); c != 0) return c;
    }
    return a.contains.size() <=> b.contains.size();
}

bool same_shape(const ArrayLeaf& a, const ArrayLeaf& b) {
    if (a.distinctness != b.distinctness || a.prefix.size() != b.prefix.size() ||
        a.contains.size() != b.contains.size() || static_cast<bool>(a.items) != static_cast<bool>(b.items))
        return false;
    for (std::size_t i = 0; i < a.prefix.size(); ++i)
        if (!schema_eq(a.prefix[i], b.prefix[i])) return false;
    if (a.items && !schema_eq(*a.items, *b.items)) return false;
    for (std::size_t i = 0; i < a.contains.size(); ++i)
        if (!contains_facet_eq(a.contains[i], b.contains[i])) return false;
    return true;
}

}  // namespace

std::vector<ArrayLeaf> group_array_leaves_by_window(std::vector<ArrayLeaf> leaves) {
    if (leaves.size() <= 1) return leaves;
    std::stable_sort(leaves.begin(), leaves.end(),
                     [](const ArrayLeaf& a, const ArrayLeaf& b) { return compare_array_shape(a, b) < 0; });
    std::vector<ArrayLeaf> out;
    std::size_t start = 0;
    while (start < leaves.size()) {
        std::size_t end = start + 1;
        while (end < leaves.size() && same_shape(leaves[start], leaves[end])) ++end;
        std::vector<Bounds> windows;
        for (std::size_t i = start; i < end; ++i) windows.push_back(leaves[i].lengths);
        auto merged = merge_length_windows(std::move(windows));
        if (merged.empty()) throw InternalError("a group holds at least one window");
        for (auto& w : merged) {
            ArrayLeaf leaf = leaves[start];
            leaf.lengths = std::move(w);
            out.push_back(std::move(leaf));
        }
        start = end;
    }
    return out;
}

}  // namespace deririrore::canonical
