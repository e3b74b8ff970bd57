#include "deririrore/canonical/leaf_union.hpp"

#include <algorithm>
#include <compare>
#include <string>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::canonical {

namespace {

using SO = std::strong_ordering;

SO compare_number_lists(const std::vector<BoundRational>& a, const std::vector<BoundRational>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (auto c = compare_bound_rationals(a[i], b[i]); c != 0) return c;
    return a.size() <=> b.size();
}

bool same_numbers(const std::vector<BoundRational>& a, const std::vector<BoundRational>& b) {
    return a.size() == b.size() && number_lists_equal(a, b, a.size());
}

// Equal canonical numbers: the same text, or the same exact value.
bool number_eq(const BoundRational& a, const BoundRational& b) {
    if (bound_rationals_equal(a, b)) return true;
    return a.value && b.value && a.value->is_finite() && b.value->is_finite() &&
           cmp(a.value->fraction, b.value->fraction) == 0;
}

bool numbers_within(const std::vector<BoundRational>& part, const std::vector<BoundRational>& whole) {
    return std::all_of(part.begin(), part.end(), [&](const BoundRational& x) {
        return std::any_of(whole.begin(), whole.end(), [&](const BoundRational& y) { return number_eq(x, y); });
    });
}

SO compare_divisor_keys(const Divisors& da, const ExcludedDivisors& xa, const Divisors& db,
                        const ExcludedDivisors& xb) {
    if (auto c = compare_number_lists(da.folded, db.folded); c != 0) return c;
    return compare_number_lists(xa.members, xb.members);
}

// Drops, in order, each leaf that another remaining leaf covers.
template <class Leaf, class Covers>
void drop_covered(std::vector<Leaf>& leaves, Covers covers) {
    if (leaves.size() < 2) return;
    std::vector<bool> dropped(leaves.size(), false);
    for (std::size_t q = 0; q < leaves.size(); ++q)
        for (std::size_t r = 0; r < leaves.size() && !dropped[q]; ++r)
            if (r != q && !dropped[r] && covers(leaves[r], r, leaves[q], q)) dropped[q] = true;
    std::vector<Leaf> kept;
    for (std::size_t i = 0; i < leaves.size(); ++i)
        if (!dropped[i]) kept.push_back(std::move(leaves[i]));
    leaves = std::move(kept);
}

// Lower bounds: absent first, then by value, an inclusive one first at one limit.
SO compare_minima(const std::optional<BoundNumber>& a, const std::optional<BoundNumber>& b) {
    if (!a || !b) return static_cast<bool>(a) <=> static_cast<bool>(b);
    if (a->limit == b->limit) return static_cast<bool>(!a->inclusive) <=> static_cast<bool>(!b->inclusive);
    return compare_bound_numbers(*a, *b);
}

// Whether the lower bound `outer` admits everything the lower bound `inner` does.
bool lower_contains(const std::optional<BoundNumber>& outer, const std::optional<BoundNumber>& inner, bool is_upper) {
    if (!outer) return true;
    if (!inner) return false;
    if (outer->limit == inner->limit) return outer->inclusive || !inner->inclusive;
    return bound_admits_number(*outer, inner->limit, is_upper);
}

std::optional<BoundNumber> larger_maximum(const std::optional<BoundNumber>& x, const std::optional<BoundNumber>& y) {
    if (!x || !y) return std::nullopt;
    if (x->limit == y->limit) return x->inclusive ? x : y;
    if (bound_admits_number(*x, y->limit, true) && !bound_admits_number(*y, x->limit, true)) return x;
    return y;
}

bool number_intervals_meet(const NumberLeaf& p, const NumberLeaf& q) {
    if (!p.maximum || !q.minimum) return true;
    const auto& hi = *p.maximum;
    const auto& lo = *q.minimum;
    if (hi.limit != lo.limit) return bound_admits_number(hi, lo.limit, true);
    if (hi.inclusive || lo.inclusive) return true;
    if (p.multiple_of.folded.size() != 1) return false;
    const auto snapped = snap_bound_to_divisor(p.multiple_of.folded[0], BoundNumber{lo.limit, true}, false);
    return snapped && snapped->limit != lo.limit;
}

SO compare_texts(const std::vector<SharedString>& a, const std::vector<SharedString>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (auto c = a[i]->compare(*b[i]) <=> 0; c != 0) return c;
    return a.size() <=> b.size();
}

SO compare_formats(const std::vector<FormatKind>& a, const std::vector<FormatKind>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (auto c = compare_format_kinds(a[i], b[i]); c != 0) return c;
    return a.size() <=> b.size();
}

SO compare_string_shapes(const StringLeaf& a, const StringLeaf& b) {
    if (auto c = compare_texts(a.patterns, b.patterns); c != 0) return c;
    if (auto c = compare_texts(a.excluded_patterns, b.excluded_patterns); c != 0) return c;
    if (auto c = compare_formats(a.formats, b.formats); c != 0) return c;
    if (auto c = compare_formats(a.excluded_formats, b.excluded_formats); c != 0) return c;
    if (auto c = compare_texts(a.content_media_types, b.content_media_types); c != 0) return c;
    if (auto c = compare_texts(a.content_encodings, b.content_encodings); c != 0) return c;
    return compare_texts(a.excluded, b.excluded);
}

bool same_shape(const StringLeaf& a, const StringLeaf& b) {
    auto texts = [](const std::vector<SharedString>& x, const std::vector<SharedString>& y) {
        return x.size() == y.size() &&
               std::equal(x.begin(), x.end(), y.begin(), [](const auto& s, const auto& t) { return *s == *t; });
    };
    auto formats = [](const std::vector<FormatKind>& x, const std::vector<FormatKind>& y) {
        return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), format_kinds_equal);
    };
    return texts(a.patterns, b.patterns) && texts(a.excluded_patterns, b.excluded_patterns) &&
           formats(a.formats, b.formats) && formats(a.excluded_formats, b.excluded_formats) &&
           texts(a.content_media_types, b.content_media_types) && texts(a.content_encodings, b.content_encodings) &&
           texts(a.excluded, b.excluded);
}

bool texts_within(const std::vector<SharedString>& part, const std::vector<SharedString>& whole) {
    return std::all_of(part.begin(), part.end(), [&](const SharedString& s) {
        return std::any_of(whole.begin(), whole.end(), [&](const SharedString& t) { return *s == *t; });
    });
}

bool formats_within(const std::vector<FormatKind>& part, const std::vector<FormatKind>& whole) {
    return std::all_of(part.begin(), part.end(), [&](const FormatKind& f) {
        return std::any_of(whole.begin(), whole.end(), [&](const FormatKind& g) { return format_kinds_equal(f, g); });
    });
}

std::size_t list_sizes(const StringLeaf& l) {
    return l.patterns.size() + l.excluded_patterns.size() + l.formats.size() + l.excluded_formats.size() +
           l.content_media_types.size() + l.content_encodings.size() + l.excluded.size();
}

bool number_leaf_admits(const NumberLeaf& n, const value::Value& v) {
    if (!v.is_number()) return false;
    const std::string_view text = v.number_text();
    if (n.minimum && !bound_admits_number(*n.minimum, text, false)) return false;
    if (n.maximum && !bound_admits_number(*n.maximum, text, true)) return false;
    for (const auto& d : n.multiple_of.members)
        if (!value::number_text_is_multiple_of(d.limit, text)) return false;
    for (const auto& x : n.not_multiple_of.members)
        if (value::number_text_is_multiple_of(x.limit, text)) return false;
    return !(n.excludes_integers && value::is_integer_text(text));
}

bool plain(const ArrayLeaf& l) {
    return l.distinctness == Distinctness::Unconstrained && l.prefix.empty() && !l.items && l.contains.empty();
}

bool same_schema(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

bool same_prefix(const std::vector<Schema>& a, const std::vector<Schema>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same_schema);
}

// The merged window when the two windows make one.
std::optional<Bounds> joined_window(const Bounds& a, const Bounds& b) {
    auto merged = merge_length_windows({a, b});
    if (merged.size() != 1) return std::nullopt;
    return std::move(merged[0]);
}

bool admits_empty_array(const ArrayLeaf& l) {
    // No two items of the empty array are equal, so a leaf that wants a repeat refuses it.
    if (l.distinctness == Distinctness::SomeRepeated) return false;
    if (l.lengths.minimum && sgn(*l.lengths.minimum) != 0) return false;
    return std::all_of(l.contains.begin(), l.contains.end(),
                       [](const ContainsFacet& f) { return f.minimum && sgn(*f.minimum) == 0; });
}

bool distinctness_allows(const ArrayLeaf& r, const ArrayLeaf& q) {
    switch (r.distinctness) {
        case Distinctness::Unconstrained:
            return true;
        case Distinctness::AllDistinct:
            return q.distinctness == Distinctness::AllDistinct || (q.lengths.maximum && *q.lengths.maximum <= 1);
        case Distinctness::SomeRepeated:
            return q.distinctness == Distinctness::SomeRepeated;
    }
    return false;
}

bool array_leaf_covers(const ArrayLeaf& r, const ArrayLeaf& q) {
    if (!bounds_include(r.lengths, q.lengths) || !distinctness_allows(r, q)) return false;
    const bool facets_within = std::all_of(r.contains.begin(), r.contains.end(), [&](const ContainsFacet& f) {
        return std::any_of(q.contains.begin(), q.contains.end(),
                           [&](const ContainsFacet& g) { return contains_facet_eq(f, g); });
    });
    const bool prefix_within = r.prefix.size() <= q.prefix.size() &&
                               std::equal(r.prefix.begin(), r.prefix.end(), q.prefix.begin(), same_schema);
    const bool q_adds = q.items || q.prefix.size() > r.prefix.size() || q.contains.size() > r.contains.size();
    if (facets_within && !r.items && prefix_within && q_adds) return true;
    const bool same_items = (!r.items && !q.items) || (r.items && q.items && same_schema(*r.items, *q.items));
    const bool same_facets = r.contains.size() == q.contains.size() &&
                             std::equal(r.contains.begin(), r.contains.end(), q.contains.begin(), contains_facet_eq);
    return same_prefix(r.prefix, q.prefix) && same_items && same_facets &&
           r.distinctness == Distinctness::Unconstrained && q.distinctness != Distinctness::Unconstrained;
}

}  // namespace

std::vector<ArrayLeaf> dedup_array_leaves(std::vector<ArrayLeaf> leaves) {
    std::vector<std::pair<Schema, ArrayLeaf>> keyed;
    keyed.reserve(leaves.size());
    for (auto& l : leaves) {
        Schema key = make_schema(kind::Array{l});
        keyed.emplace_back(std::move(key), std::move(l));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return compare_canonical_nodes(a.first, b.first) < 0; });
    std::vector<ArrayLeaf> out;
    const Schema* last = nullptr;
    for (auto& [key, leaf] : keyed) {
        if (last && same_schema(*last, key)) continue;
        last = &key;
        out.push_back(std::move(leaf));
    }
    return out;
}

void normalize_array_leaves(LeafList<ArrayLeaf>& list) {
    if (list.normalized) return;
    auto leaves = dedup_array_leaves(std::move(list.leaves));
    std::vector<Bounds> plain_windows;
    for (const auto& l : leaves)
        if (plain(l)) plain_windows.push_back(l.lengths);
    if (!plain_windows.empty()) {
        for (auto& l : leaves) {
            if (plain(l)) continue;
            bool changed = true;
            while (changed) {
                changed = false;
                for (const auto& w : plain_windows) {
                    auto merged = joined_window(l.lengths, w);
                    if (merged && !bounds_equal(*merged, l.lengths)) {
                        l.lengths = std::move(*merged);
                        changed = true;
                    }
                }
            }
        }
    }
    if (std::any_of(leaves.begin(), leaves.end(), admits_empty_array))
        for (auto& l : leaves)
            if (l.lengths.minimum && *l.lengths.minimum == 1) l.lengths.minimum.reset();
    leaves = dedup_array_leaves(std::move(leaves));
    auto fold_plain_into = [&](auto is_candidate, auto is_target) {
        auto p =
            std::find_if(leaves.begin(), leaves.end(), [&](const ArrayLeaf& l) { return plain(l) && is_candidate(l); });
        if (p == leaves.end()) return;
        for (auto d = leaves.begin(); d != leaves.end(); ++d) {
            if (d == p || !is_target(*d)) continue;
            if (auto merged = joined_window(d->lengths, p->lengths)) {
                d->lengths = std::move(*merged);
                leaves.erase(p);
                return;
            }
        }
    };
    // Arrays of at most one item have distinct items.
    fold_plain_into([](const ArrayLeaf& l) { return l.lengths.maximum && *l.lengths.maximum <= 1; },
                    [](const ArrayLeaf& l) {
                        return l.distinctness == Distinctness::AllDistinct && l.prefix.empty() && !l.items &&
                               l.contains.empty();
                    });
    // The empty array meets any prefix and items; a leaf that wants a repeat refuses it.
    fold_plain_into([](const ArrayLeaf& l) { return l.lengths.maximum && sgn(*l.lengths.maximum) == 0; },
                    [](const ArrayLeaf& l) {
                        return (l.items || !l.prefix.empty()) && l.contains.empty() &&
                               l.distinctness != Distinctness::SomeRepeated;
                    });
    drop_covered(leaves, [](const ArrayLeaf& r, std::size_t, const ArrayLeaf& q, std::size_t) {
        return array_leaf_covers(r, q);
    });
    list.leaves = std::move(leaves);
    list.normalized = true;
}

void merge_integer_group(std::vector<IntegerLeaf>& out, const IntegerLeaf& key, std::vector<Bounds> intervals) {
    std::optional<BigInt> step;
    if (key.multiple_of.folded.size() == 1) {
        const IntegerDivisor d = integer_divisor_of(key.multiple_of.folded[0]);
        if (d.kind == IntegerDivisor::Kind::Integer && d.k != 0) step = d.k;
    }
    std::stable_sort(intervals.begin(), intervals.end(), [](const Bounds& a, const Bounds& b) {
        if (!a.minimum || !b.minimum) return !a.minimum && b.minimum;
        return *a.minimum < *b.minimum;
    });
    std::vector<Bounds> merged;
    for (auto& q : intervals) {
        if (!merged.empty()) {
            Bounds& p = merged.back();
            bool joins = !q.minimum || !p.maximum || *q.minimum <= *p.maximum + 1;
            if (!joins && step) {
                const auto next = snap_integer_to_multiple(*step, BigInt(*p.maximum + 1), false);
                joins = next && *q.minimum <= *next;
            }
            if (joins) {
                p.minimum =
                    (p.minimum && q.minimum) ? std::optional<BigInt>(std::min(*p.minimum, *q.minimum)) : std::nullopt;
                p.maximum =
                    (p.maximum && q.maximum) ? std::optional<BigInt>(std::max(*p.maximum, *q.maximum)) : std::nullopt;
                continue;
            }
        }
        merged.push_back(std::move(q));
    }
    for (auto& window : merged) {
        IntegerLeaf leaf;
        leaf.bounds = std::move(window);
        leaf.multiple_of = key.multiple_of;
        leaf.not_multiple_of = key.not_multiple_of;
        out.push_back(std::move(leaf));
    }
}

void normalize_integer_leaves(LeafList<IntegerLeaf>& list) {
    if (list.normalized) return;
    auto& leaves = list.leaves;
    std::stable_sort(leaves.begin(), leaves.end(), [](const IntegerLeaf& a, const IntegerLeaf& b) {
        return compare_divisor_keys(a.multiple_of, a.not_multiple_of, b.multiple_of, b.not_multiple_of) < 0;
    });
    std::vector<IntegerLeaf> out;
    for (std::size_t i = 0; i < leaves.size();) {
        std::vector<Bounds> intervals{leaves[i].bounds};
        std::size_t j = i + 1;
        while (j < leaves.size() && same_numbers(leaves[j].multiple_of.folded, leaves[i].multiple_of.folded) &&
               same_numbers(leaves[j].not_multiple_of.members, leaves[i].not_multiple_of.members))
            intervals.push_back(leaves[j++].bounds);
        merge_integer_group(out, leaves[i], std::move(intervals));
        i = j;
    }
    drop_covered(out, [](const IntegerLeaf& r, std::size_t, const IntegerLeaf& q, std::size_t) {
        return bounds_include(r.bounds, q.bounds) && numbers_within(r.multiple_of.folded, q.multiple_of.folded) &&
               numbers_within(r.not_multiple_of.members, q.not_multiple_of.members);
    });
    leaves = std::move(out);
    list.normalized = true;
}

void normalize_number_leaves(LeafList<NumberLeaf>& list) {
    if (list.normalized) return;
    auto& leaves = list.leaves;
    std::stable_sort(leaves.begin(), leaves.end(), [](const NumberLeaf& a, const NumberLeaf& b) {
        if (auto c = compare_divisor_keys(a.multiple_of, a.not_multiple_of, b.multiple_of, b.not_multiple_of); c != 0)
            return c < 0;
        if (a.excludes_integers != b.excludes_integers) return !a.excludes_integers;
        return compare_minima(a.minimum, b.minimum) < 0;
    });
    std::vector<NumberLeaf> out;
    for (auto& q : leaves) {
        if (!out.empty()) {
            NumberLeaf& p = out.back();
            if (same_numbers(p.multiple_of.folded, q.multiple_of.folded) &&
                same_numbers(p.not_multiple_of.members, q.not_multiple_of.members) &&
                p.excludes_integers == q.excludes_integers && number_intervals_meet(p, q)) {
                p.maximum = larger_maximum(p.maximum, q.maximum);
                continue;
            }
        }
        out.push_back(std::move(q));
    }
    drop_covered(out, [](const NumberLeaf& r, std::size_t, const NumberLeaf& q, std::size_t) {
        return lower_contains(r.minimum, q.minimum, false) && lower_contains(r.maximum, q.maximum, true) &&
               numbers_within(r.multiple_of.folded, q.multiple_of.folded) &&
               numbers_within(r.not_multiple_of.members, q.not_multiple_of.members) &&
               (!r.excludes_integers || q.excludes_integers);
    });
    leaves = std::move(out);
    list.normalized = true;
}

void normalize_string_leaves(LeafList<StringLeaf>& list) {
    if (list.normalized) return;
    auto& leaves = list.leaves;
    std::stable_sort(leaves.begin(), leaves.end(),
                     [](const StringLeaf& a, const StringLeaf& b) { return compare_string_shapes(a, b) < 0; });
    std::vector<StringLeaf> out;
    for (std::size_t i = 0; i < leaves.size();) {
        StringLeafGroup group{leaves[i], {leaves[i].lengths}};
        std::size_t j = i + 1;
        while (j < leaves.size() && same_shape(leaves[j], leaves[i])) group.windows.push_back(leaves[j++].lengths);
        group_string_leaves_by_window(std::move(group), out);
        i = j;
    }
    drop_covered(out, [](const StringLeaf& r, std::size_t j, const StringLeaf& q, std::size_t k) {
        const bool covers =
            bounds_include(r.lengths, q.lengths) && texts_within(r.patterns, q.patterns) &&
            texts_within(r.excluded_patterns, q.excluded_patterns) && formats_within(r.formats, q.formats) &&
            formats_within(r.excluded_formats, q.excluded_formats) &&
            texts_within(r.content_media_types, q.content_media_types) &&
            texts_within(r.content_encodings, q.content_encodings) && texts_within(r.excluded, q.excluded);
        return covers && (j < k || list_sizes(q) > list_sizes(r));
    });
    leaves = std::move(out);
    list.normalized = true;
}

bool absorb_constant_into_leaves(UnionLeaves lists, CanonicalContext& context, const value::Value& v) {
    switch (v.kind()) {
        case value::ValueKind::Number: {
            const std::string text = canonicalize_number_text(v.number_text());
            if (!lists.integers.leaves.empty() && context.draft != Draft::Draft4) {
                if (auto n = parse_integer_text(text)) {
                    IntegerLeaf pinned;
                    pinned.bounds = Bounds{*n, *n};
                    lists.integers.push(std::move(pinned));
                    return false;
                }
            }
            if (!lists.numbers.leaves.empty()) {
                NumberLeaf pinned;
                pinned.minimum = BoundNumber{text, true};
                pinned.maximum = BoundNumber{text, true};
                const Schema node = number_leaf_node(pinned, context);
                const auto* c = node->as<kind::Const>();
                if (c && canonical_json_eq(*c->value, v)) {
                    lists.numbers.push(std::move(pinned));
                    return false;
                }
            }
            return true;
        }
        case value::ValueKind::String:
            if (v.as_string().empty() && !lists.strings.leaves.empty()) {
                StringLeaf empty;
                empty.lengths.maximum = BigInt(0);
                lists.strings.push(std::move(empty));
                return false;
            }
            return true;
        case value::ValueKind::Array:
            if (v.as_array().empty() && !lists.arrays.leaves.empty()) {
                ArrayLeaf empty;
                empty.lengths.maximum = BigInt(0);
                lists.arrays.push(std::move(empty));
                return false;
            }
            return true;
        case value::ValueKind::Object:
            if (v.as_object().empty() && !lists.objects.leaves.empty()) {
                ObjectLeaf empty;
                empty.sizes.maximum = BigInt(0);
                lists.objects.push(std::move(empty));
                return false;
            }
            return true;
        default:
            return true;
    }
}

bool integer_leaf_covered_by_number_leaves(const std::vector<NumberLeaf>& numbers, const IntegerLeaf& leaf) {
    for (const auto& n : numbers) {
        if (n.excludes_integers) continue;
        const auto bounds = integer_bounds_from_number_bounds(n);
        if (!bounds || !bounds_include(*bounds, leaf.bounds)) continue;
        const Divisors divisors = drop_trivial_integer_divisors(n.multiple_of);
        if (!numbers_within(divisors.folded, leaf.multiple_of.folded)) continue;
        if (!numbers_within(n.not_multiple_of.members, leaf.not_multiple_of.members)) continue;
        return false;
    }
    return true;
}

bool typed_group_covered_by_number_leaves(const std::vector<NumberLeaf>& numbers, JsonType ty,
                                          const std::vector<CanonicalJson>& values) {
    if (ty != JsonType::Integer) return true;
    for (const auto& v : values) {
        if (!v->is_number()) return true;
        if (!std::any_of(numbers.begin(), numbers.end(),
                         [&](const NumberLeaf& n) { return number_leaf_admits(n, *v); }))
            return true;
    }
    return false;
}

bool collect_const_value(const Schema& node, std::vector<CanonicalJson>& values) {
    const auto* c = node->as<kind::Const>();
    if (!c) return false;
    values.push_back(c->value);
    return true;
}

bool number_leaf_is_constant(CanonicalContext& context, std::vector<CanonicalJson>& values, const NumberLeaf& leaf) {
    if (!leaf.minimum || !leaf.maximum || !leaf.minimum->inclusive || !leaf.maximum->inclusive ||
        leaf.minimum->limit != leaf.maximum->limit)
        return true;
    return !collect_const_value(number_leaf_node(leaf, context), values);
}

std::optional<uint64_t> value_count_bound(const SchemaKind& k) {
    if (std::holds_alternative<kind::Const>(k)) return 1;
    if (const auto* e = std::get_if<kind::Enum>(&k)) return e->values.size();
    if (const auto* m = std::get_if<kind::MultiType>(&k)) {
        const uint8_t bits = m->types.bits();
        if (bits != 0 && (bits & ~uint8_t{3}) == 0) return bits;
        return std::nullopt;
    }
    if (const auto* i = std::get_if<kind::Integer>(&k)) {
        const auto& b = i->leaf.bounds;
        if (!b.minimum || !b.maximum) return std::nullopt;
        const BigInt n = *b.maximum - *b.minimum + 1;
        if (sgn(n) < 0 || !n.fits_ulong_p()) return std::nullopt;
        return n.get_ui();
    }
    return std::nullopt;
}

BigInt smaller_count(BigInt a, BigInt b) { return b < a ? b : a; }

}  // namespace deririrore::canonical
