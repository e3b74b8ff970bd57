#include "deririrore/canonical/array_node.hpp"

#include <algorithm>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/order.hpp"

namespace deririrore::canonical {

namespace {

BigInt facet_min(const ContainsFacet& f) { return f.minimum ? *f.minimum : BigInt(1); }

BigInt count_of(std::size_t n) { return BigInt(static_cast<unsigned long>(n)); }

bool same_node(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

}  // namespace

Schema array_leaf_node(ArrayLeaf leaf, CanonicalContext& context) {
    // Facets: sorted by schema, equal schemas merged, then resolved or kept.
    if (!leaf.contains.empty()) {
        std::stable_sort(leaf.contains.begin(), leaf.contains.end(),
                         [](const ContainsFacet& a, const ContainsFacet& b) {
                             return compare_canonical_nodes(a.schema, b.schema) < 0;
                         });
        std::vector<ContainsFacet> merged;
        for (auto& f : leaf.contains) {
            if (!merged.empty() && same_node(merged.back().schema, f.schema)) {
                auto& m = merged.back();
                m.minimum = std::max(facet_min(m), facet_min(f));
                m.maximum = min_upper_bound(m.maximum, f.maximum);
                continue;
            }
            f.minimum = facet_min(f);
            merged.push_back(std::move(f));
        }
        std::vector<ContainsFacet> kept;
        for (auto& f : merged) {
            const BigInt min = *f.minimum;
            if (f.maximum && *f.maximum < min) return false_schema();
            if (is_true(f.schema)) {
                if (sgn(min) > 0) leaf.lengths.minimum = max_lower_bound(leaf.lengths.minimum, min);
                if (f.maximum) leaf.lengths.maximum = min_upper_bound(leaf.lengths.maximum, f.maximum);
                continue;
            }
            if (is_false(f.schema)) {
                if (sgn(min) == 0) continue;
                return false_schema();
            }
            if (sgn(min) == 0 && !f.maximum) continue;
            if (min == 1) f.minimum.reset();
            kept.push_back(std::move(f));
        }
        leaf.contains = std::move(kept);
    }

    // Items and prefix.
    if (leaf.items && is_false(*leaf.items)) {
        restrict_array_leaf(leaf, count_of(leaf.prefix.size()));
    } else if (leaf.items && is_true(*leaf.items)) {
        leaf.items.reset();
    }
    for (std::size_t i = 0; i < leaf.prefix.size(); ++i) {
        if (is_false(leaf.prefix[i])) {
            restrict_array_leaf(leaf, count_of(i));
            break;
        }
    }
    if (leaf.lengths.maximum && *leaf.lengths.maximum < count_of(leaf.prefix.size())) {
        const auto keep = sgn(*leaf.lengths.maximum) <= 0 ? 0 : leaf.lengths.maximum->get_ui();
        leaf.prefix.erase(leaf.prefix.begin() + static_cast<std::ptrdiff_t>(keep), leaf.prefix.end());
    }
    if (leaf.items && leaf.lengths.maximum && *leaf.lengths.maximum <= count_of(leaf.prefix.size())) leaf.items.reset();
    while (!leaf.prefix.empty()) {
        const Schema& last = leaf.prefix.back();
        const bool says_nothing = leaf.items ? same_node(last, *leaf.items) : is_true(last);
        if (!says_nothing) break;
        leaf.prefix.pop_back();
    }

    // Lengths implied by the facets.
    if (!leaf.contains.empty()) {
        std::vector<const ContainsFacet*> order;
        for (const auto& f : leaf.contains) order.push_back(&f);
        std::stable_sort(order.begin(), order.end(),
                         [](const ContainsFacet* a, const ContainsFacet* b) { return facet_min(*a) > facet_min(*b); });
        std::vector<const ContainsFacet*> picked;
        BigInt total = 0;
        for (const auto* f : order) {
            if (sgn(facet_min(*f)) == 0) continue;
            const bool disjoint = std::all_of(picked.begin(), picked.end(), [&](const ContainsFacet* p) {
                return is_false(intersect(p->schema, f->schema, context));
            });
            if (!disjoint) continue;
            picked.push_back(f);
            total += facet_min(*f);
        }
        if (!picked.empty()) {
            if (leaf.lengths.maximum && *leaf.lengths.maximum < total) return false_schema();
            if (leaf.lengths.minimum && *leaf.lengths.minimum <= total) leaf.lengths.minimum.reset();
        }
        for (const auto& f : leaf.contains) {
            const BigInt min = facet_min(f);
            if (min < 1) continue;
            const bool only_prefix = (leaf.lengths.maximum && *leaf.lengths.maximum <= count_of(leaf.prefix.size())) ||
                                     is_false(intersect(leaf.items ? *leaf.items : true_schema(), f.schema, context));
            if (!only_prefix) continue;
            std::size_t meeting = 0;
            for (const auto& p : leaf.prefix)
                if (!is_false(intersect(p, f.schema, context))) ++meeting;
            if (count_of(meeting) < min) return false_schema();
        }
    }

    // Distinctness.
    if (leaf.distinctness == Distinctness::SomeRepeated)
        leaf.lengths.minimum = max_lower_bound(leaf.lengths.minimum, BigInt(2));
    if (leaf.distinctness == Distinctness::AllDistinct) {
        for (const auto& f : leaf.contains) {
            const auto n = finite_value_count(deref_schema(f.schema, context));
            if (n && *n < facet_min(f)) return false_schema();
        }
        if (leaf.items) {
            const Schema items = deref_schema(*leaf.items, context);
            if (const auto n = finite_value_count(items)) {
                std::size_t outside = 0;
                for (const auto& p : leaf.prefix)
                    if (!same_node(intersect(p, items, context), p)) ++outside;
                static const BigInt kMaxCount("18446744073709551615");
                BigInt cap = *n + count_of(outside);
                if (cap > kMaxCount) cap = kMaxCount;
                leaf.lengths.maximum = min_upper_bound(leaf.lengths.maximum, cap);
            }
        }
    }
    if (leaf.distinctness == Distinctness::AllDistinct && leaf.lengths.maximum && *leaf.lengths.maximum <= 1)
        leaf.distinctness = Distinctness::Unconstrained;

    if (leaf.lengths.minimum && leaf.lengths.maximum && *leaf.lengths.minimum > *leaf.lengths.maximum)
        return false_schema();
    if (leaf.lengths.maximum && sgn(*leaf.lengths.maximum) < 0) return false_schema();
    if (leaf.lengths.maximum && sgn(*leaf.lengths.maximum) == 0)
        return make_schema(kind::Const{std::make_shared<const value::Value>(value::Value::array())});
    return make_schema(kind::Array{std::move(leaf)});
}

}  // namespace deririrore::canonical
