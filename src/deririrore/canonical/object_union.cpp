#include "deririrore/canonical/object_union.hpp"

#include <algorithm>
#include <span>
#include <utility>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

namespace {

std::strong_ordering compare_without_sizes(const ObjectLeaf& a, const ObjectLeaf& b) {
    ObjectLeaf x = a;
    ObjectLeaf y = b;
    x.sizes = Bounds{};
    y.sizes = Bounds{};
    return compare_canonical_kinds(SchemaKind{kind::Object{std::move(x)}}, SchemaKind{kind::Object{std::move(y)}});
}

bool count_only(const ObjectLeaf& l) {
    return l.required.empty() && !l.property_names && l.properties.empty() && l.pattern_properties.empty() &&
           !l.additional && l.violations.empty();
}

bool same_node(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }
bool same_optional(const std::optional<Schema>& a, const std::optional<Schema>& b) {
    if (!a || !b) return !a && !b;
    return same_node(*a, *b);
}
bool same_map(const PropertyMap& a, const PropertyMap& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (*a.entries[i].first != *b.entries[i].first || !same_node(a.entries[i].second, b.entries[i].second))
            return false;
    return true;
}
bool same_violations(const std::vector<ObjectViolation>& a, const std::vector<ObjectViolation>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!object_violation_eq(a[i], b[i])) return false;
    return true;
}

bool requires_name(const ObjectLeaf& leaf, std::string_view name) {
    return std::binary_search(leaf.required.begin(), leaf.required.end(), name, [](const auto& x, const auto& y) {
        if constexpr (std::is_same_v<std::decay_t<decltype(x)>, SharedString>)
            return std::string_view(*x) < y;
        else
            return x < std::string_view(*y);
    });
}

void add_required(ObjectLeaf& leaf, const SharedString& name) {
    auto it = std::lower_bound(leaf.required.begin(), leaf.required.end(), name,
                               [](const SharedString& x, const SharedString& y) { return *x < *y; });
    if (it == leaf.required.end() || **it != *name) leaf.required.insert(it, name);
}

// `inner` lies within `outer`: their meet is `inner` itself, decided with the
// flag isolated and budget left; anything undecided answers false.
bool lies_within(const Schema& inner, const Schema& outer, CanonicalContext& context) {
    const bool saved = context.exhausted;
    context.exhausted = false;
    const Schema meet = intersect(inner, outer, context);
    const bool raised = context.exhausted;
    context.exhausted = saved;
    return !raised && context.intersection_budget > 0 && same_node(meet, inner);
}

bool covered_at(const ObjectLeaf& leaf, const std::vector<Schema>& others, std::span<const std::string> split,
                CanonicalContext& context) {
    if (context.intersection_budget == 0) return false;
    const Schema a = object_leaf_node(leaf, context);
    if (is_false(a)) return true;
    const auto* a_object = a->as<kind::Object>();
    bool tested = false;
    for (const auto& o : others) {
        if (a_object) {
            if (const auto* o_object = o->as<kind::Object>()) {
                const bool extra =
                    std::any_of(o_object->leaf.required.begin(), o_object->leaf.required.end(),
                                [&](const SharedString& r) { return !requires_name(a_object->leaf, *r); });
                if (extra) continue;
            }
        }
        tested = true;
        if (lies_within(a, o, context)) return true;
    }
    if (split.empty()) return false;
    if (!tested) {
        const bool open =
            leaf.property_names || leaf.additional || !leaf.pattern_properties.empty() || leaf.sizes.maximum ||
            std::any_of(leaf.required.begin(), leaf.required.end(),
                        [&](const SharedString& r) { return std::binary_search(split.begin(), split.end(), *r); });
        if (!open) return false;
    }
    const SharedString name = share(split.front());
    ObjectLeaf with = leaf;
    add_required(with, name);
    if (!covered_at(with, others, split.subspan(1), context)) return false;
    ObjectLeaf without = leaf;
    property_map_insert(without.properties, name, false_schema());
    return covered_at(without, others, split.subspan(1), context);
}

// One leaf per merged window of leaves equal apart from their windows.
bool pair_merge(std::vector<ObjectLeaf>& leaves, CanonicalContext& context) {
    for (std::size_t x = 0; x < leaves.size(); ++x) {
        for (std::size_t y = x + 1; y < leaves.size(); ++y) {
            const ObjectLeaf& a = leaves[x];
            const ObjectLeaf& b = leaves[y];
            if (a.additional || b.additional) continue;
            if (!bounds_equal(a.sizes, b.sizes) || !same_optional(a.property_names, b.property_names) ||
                !same_map(a.pattern_properties, b.pattern_properties) || !same_violations(a.violations, b.violations))
                continue;
            std::vector<std::string> differing;
            for (const auto& r : a.required)
                if (!requires_name(b, *r)) differing.push_back(*r);
            for (const auto& r : b.required)
                if (!requires_name(a, *r)) differing.push_back(*r);
            for (const auto& [name, schema] : a.properties.entries) {
                const Schema* other = property_map_find(b.properties, *name);
                if (!other || !same_node(*other, schema)) differing.push_back(*name);
            }
            for (const auto& [name, schema] : b.properties.entries)
                if (!property_map_find(a.properties, *name)) differing.push_back(*name);
            std::sort(differing.begin(), differing.end());
            differing.erase(std::unique(differing.begin(), differing.end()), differing.end());
            if (differing.size() != 1) continue;
            const std::string& n = differing.front();
            ObjectLeaf merged = a;
            std::erase_if(merged.required, [&](const SharedString& r) { return !requires_name(b, *r); });
            const Schema* sa = property_map_find(a.properties, n);
            const Schema* sb = property_map_find(b.properties, n);
            property_map_remove(merged.properties, n);
            if (sa && sb) {
                Schema joined = union_of({*sa, *sb}, context);
                if (!is_true(joined)) property_map_insert(merged.properties, share(n), std::move(joined));
            }
            merged.additional.reset();
            leaves[x] = std::move(merged);
            leaves.erase(leaves.begin() + static_cast<std::ptrdiff_t>(y));
            return true;
        }
    }
    return false;
}

bool drop_covered(std::vector<ObjectLeaf>& leaves, CanonicalContext& context) {
    const auto nodes = object_leaf_nodes(leaves, context);
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        std::vector<Schema> others;
        for (std::size_t j = 0; j < nodes.size(); ++j)
            if (j != i) others.push_back(nodes[j]);
        // A leaf disjoint from all the others is needed.
        const bool saved = context.exhausted;
        context.exhausted = false;
        bool disjoint = true;
        for (const auto& o : others)
            if (!is_false(intersect(nodes[i], o, context))) {
                disjoint = false;
                break;
            }
        const bool raised = context.exhausted;
        context.exhausted = saved;
        if (!raised && disjoint && context.intersection_budget > 0) continue;
        if (object_leaf_covered_by(leaves[i], others, other_leaves_property_names(leaves, i), context)) {
            leaves.erase(leaves.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<ObjectLeaf> group_object_leaves_by_sizes(std::vector<ObjectLeaf> leaves) {
    if (leaves.size() < 2) return leaves;
    std::stable_sort(leaves.begin(), leaves.end(),
                     [](const ObjectLeaf& a, const ObjectLeaf& b) { return compare_without_sizes(a, b) < 0; });
    std::vector<ObjectLeaf> out;
    std::size_t start = 0;
    while (start < leaves.size()) {
        std::size_t end = start + 1;
        std::vector<Bounds> windows{leaves[start].sizes};
        while (end < leaves.size() && compare_without_sizes(leaves[start], leaves[end]) == 0)
            windows.push_back(leaves[end++].sizes);
        auto merged = merge_length_windows(std::move(windows));
        if (merged.empty()) throw InternalError("internal stop: a window group came back with no window");
        for (auto& w : merged) {
            ObjectLeaf leaf = leaves[start];
            leaf.sizes = std::move(w);
            out.push_back(std::move(leaf));
        }
        start = end;
    }
    return out;
}

std::vector<Schema> object_leaf_nodes(const std::vector<ObjectLeaf>& leaves, CanonicalContext& context) {
    std::vector<Schema> out;
    out.reserve(leaves.size());
    for (const auto& l : leaves) out.push_back(object_leaf_node(l, context));
    return out;
}

std::vector<std::string> other_leaves_property_names(const std::vector<ObjectLeaf>& leaves, std::size_t index) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (i == index) continue;
        for (const auto& r : leaves[i].required) names.push_back(*r);
        for (const auto& e : leaves[i].properties.entries) names.push_back(*e.first);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool object_leaf_covered_by(ObjectLeaf leaf, const std::vector<Schema>& others, std::vector<std::string> split_names,
                            CanonicalContext& context) {
    if (split_names.size() > kMaxCoverageSplitNames) split_names.clear();
    const bool saved = context.exhausted;
    context.exhausted = false;
    const bool covered = covered_at(leaf, others, split_names, context);
    const bool raised = context.exhausted;
    context.exhausted = saved;
    return covered && !raised && context.intersection_budget > 0;
}

Admission object_leaf_admits_value(const ObjectLeaf& leaf, const value::Value& object, CanonicalContext& context) {
    const auto& members = object.as_object();
    if (!bounds_contain_count(leaf.sizes, BigInt(static_cast<unsigned long>(members.size()))))
        return Admission::Rejected;
    auto has_member = [&](std::string_view name) {
        return std::any_of(members.begin(), members.end(), [&](const value::Member& m) { return m.key == name; });
    };
    for (const auto& r : leaf.required)
        if (!has_member(*r)) return Admission::Rejected;
    Admission u = Admission::Accepted;
    if (leaf.property_names)
        for (const auto& m : members) {
            const Admission a = schema_rejects_name(*leaf.property_names, m.key, context);
            if (a == Admission::Rejected) return Admission::Rejected;
            if (a == Admission::Undecided) u = Admission::Undecided;
        }
    auto fails_value = [&](const Schema& s, const value::Value& v) { return node_admits_value(s, v, true, context); };
    for (const auto& violation : leaf.violations) {
        bool met = false;
        bool undecided = false;
        for (const auto& m : members) {
            Admission fails = Admission::Accepted;  // Accepted: this member does not meet the violation
            if (const auto* nf = std::get_if<violation::NameFails>(&violation)) {
                fails = schema_rejects_name(nf->schema, m.key, context);
            } else if (const auto* pf = std::get_if<violation::PatternValueFails>(&violation)) {
                if (pattern_matches_name(context, *pf->pattern, m.key)) fails = fails_value(pf->schema, m.value);
            } else {
                const auto& uf = std::get<violation::UndeclaredValueFails>(violation);
                const bool declared =
                    std::any_of(uf.names.begin(), uf.names.end(), [&](const SharedString& n) { return *n == m.key; }) ||
                    std::any_of(uf.patterns.begin(), uf.patterns.end(),
                                [&](const SharedString& p) { return pattern_matches_name(context, *p, m.key); });
                if (!declared) fails = fails_value(uf.additional, m.value);
            }
            if (fails == Admission::Rejected) {
                met = true;
                break;
            }
            if (fails == Admission::Undecided) undecided = true;
        }
        if (met) continue;
        if (!undecided) return Admission::Rejected;
        u = Admission::Undecided;
    }
    for (const auto& m : members) {
        std::vector<const Schema*> checks;
        if (const Schema* declared = property_map_find(leaf.properties, m.key)) {
            checks.push_back(declared);
        } else if (leaf.additional) {
            const bool matched =
                std::any_of(leaf.pattern_properties.entries.begin(), leaf.pattern_properties.entries.end(),
                            [&](const auto& e) { return pattern_matches_name(context, *e.first, m.key); });
            if (!matched) checks.push_back(&*leaf.additional);
        }
        for (const auto& e : leaf.pattern_properties.entries)
            if (pattern_matches_name(context, *e.first, m.key)) checks.push_back(&e.second);
        for (const Schema* s : checks) {
            const Admission a = node_admits_value(*s, m.value, true, context);
            if (a == Admission::Rejected) return Admission::Rejected;
            if (a == Admission::Undecided) u = Admission::Undecided;
        }
    }
    return u;
}

std::vector<ObjectLeaf> normalize_object_leaves(std::vector<ObjectLeaf> leaves, CanonicalContext& context) {
    leaves = group_object_leaves_by_sizes(std::move(leaves));
    std::vector<Bounds> counts;
    for (const auto& l : leaves)
        if (count_only(l)) counts.push_back(l.sizes);
    for (auto& l : leaves) {
        if (count_only(l)) continue;
        for (bool changed = true; changed;) {
            changed = false;
            for (const auto& w : counts) {
                auto merged = merge_length_windows({l.sizes, w});
                if (merged.size() == 1 && !bounds_equal(merged.front(), l.sizes)) {
                    l.sizes = std::move(merged.front());
                    changed = true;
                }
            }
        }
    }
    const bool admits_empty = std::any_of(leaves.begin(), leaves.end(), [](const ObjectLeaf& l) {
        return l.required.empty() && l.violations.empty() && !(l.sizes.minimum && sgn(*l.sizes.minimum) > 0);
    });
    if (admits_empty)
        for (auto& l : leaves)
            if (l.sizes.minimum && *l.sizes.minimum == 1) l.sizes.minimum.reset();
    leaves = group_object_leaves_by_sizes(std::move(leaves));
    if (leaves.size() > kMaxMergedObjectLeaves) return leaves;
    for (std::size_t round = 0; round < kMaxObjectMergeRounds; ++round) {
        if (pair_merge(leaves, context)) continue;
        if (drop_covered(leaves, context)) continue;
        break;
    }
    return leaves;
}

}  // namespace deririrore::canonical
