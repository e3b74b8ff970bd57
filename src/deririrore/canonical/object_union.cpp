#include "deririrore/canonical/object_union.hpp"

#include <algorithm>
#include <span>
#include <utility>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/leaf_union.hpp"
#include "deririrore/canonical/negate.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/canonical/witness.hpp"
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

// Runs one containment test with the exhausted flag isolated: it counts only
// when it raised nothing and budget is left; the caller's flag stays as it was.
template <class Test>
bool decided(CanonicalContext& context, Test&& test) {
    const bool saved = context.exhausted;
    context.exhausted = false;
    const bool answer = test();
    const bool raised = context.exhausted;
    context.exhausted = saved;
    return answer && !raised && context.intersection_budget > 0;
}

// `inner` lies within `outer`: their meet is `inner` itself, decided with the
// flag isolated and budget left; anything undecided answers false.
bool lies_within(const Schema& inner, const Schema& outer, CanonicalContext& context) {
    return decided(context, [&] { return same_node(intersect(inner, outer, context), inner); });
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

// Some object witness of the leaf's node that this leaf admits and every other leaf refuses.
bool has_own_witness(const std::vector<ObjectLeaf>& leaves, std::size_t i, const Schema& node,
                     CanonicalContext& context) {
    uint64_t budget = kWitnessNodeBudget;
    const bool saved = context.exhausted;
    const auto witnesses = collect_witness_values(node, kWitnessDepth, budget, context);
    bool own = false;
    for (const auto& w : witnesses) {
        if (w.kind() != value::ValueKind::Object) continue;
        if (object_leaf_admits_value(leaves[i], w, context) != Admission::Accepted) continue;
        bool others_refuse = true;
        for (std::size_t j = 0; j < leaves.size() && others_refuse; ++j)
            if (j != i && object_leaf_admits_value(leaves[j], w, context) != Admission::Rejected) others_refuse = false;
        if (others_refuse) {
            own = true;
            break;
        }
    }
    // Keeping a leaf needs no certainty, so nothing raised here reaches the caller.
    context.exhausted = saved;
    return own;
}

ObjectLeaf with_window(ObjectLeaf leaf, const Bounds& window) {
    leaf.sizes.minimum = max_lower_bound(leaf.sizes.minimum, window.minimum);
    leaf.sizes.maximum = min_upper_bound(leaf.sizes.maximum, window.maximum);
    return leaf;
}

// Leaf i cut by the windows of another leaf and its complement, every piece covered.
bool covered_piecewise(const std::vector<ObjectLeaf>& leaves, std::size_t i, const std::vector<Schema>& others,
                       const std::vector<std::string>& split, CanonicalContext& context) {
    for (std::size_t j = 0; j < leaves.size(); ++j) {
        if (j == i) continue;
        auto pieces = complement_length_window(leaves[j].sizes);
        if (pieces.empty()) continue;
        pieces.push_back(leaves[j].sizes);
        const bool all = std::all_of(pieces.begin(), pieces.end(), [&](const Bounds& p) {
            return object_leaf_covered_by(with_window(leaves[i], p), others, split, context);
        });
        if (all) return true;
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
        const bool disjoint = decided(context, [&] {
            return std::all_of(others.begin(), others.end(),
                               [&](const Schema& o) { return is_false(intersect(nodes[i], o, context)); });
        });
        if (disjoint) continue;
        if (leaves.size() >= kObjectWitnessFilterLeaves && has_own_witness(leaves, i, nodes[i], context)) continue;
        const auto split = other_leaves_property_names(leaves, i);
        if (object_leaf_covered_by(leaves[i], others, split, context) ||
            covered_piecewise(leaves, i, others, split, context)) {
            leaves.erase(leaves.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

// The node of each leaf, built once per round with the flag isolated; none
// when building it raised the flag. A rule that changes a leaf ends the round.
class LeafNodes {
public:
    explicit LeafNodes(const std::vector<ObjectLeaf>& leaves) : leaves_(leaves), nodes_(leaves.size()) {}

    const std::optional<Schema>& at(std::size_t j, CanonicalContext& context) {
        if (!nodes_[j]) {
            std::optional<Schema> built;
            const bool clean = decided(context, [&] {
                built = object_leaf_node(leaves_[j], context);
                return true;
            });
            nodes_[j] = clean ? built : std::optional<Schema>{};
        }
        return *nodes_[j];
    }

private:
    const std::vector<ObjectLeaf>& leaves_;
    std::vector<std::optional<std::optional<Schema>>> nodes_;
};

// `node` lies within the node of leaf j.
bool within_leaf(const Schema& node, LeafNodes& nodes, std::size_t j, CanonicalContext& context) {
    const auto& outer = nodes.at(j, context);
    return outer && decided(context, [&] { return same_node(intersect(node, *outer, context), node); });
}

// The candidate's node is not False and lies within another leaf's node.
bool redundant_beside(const ObjectLeaf& candidate, std::size_t index, const std::vector<ObjectLeaf>& leaves,
                      LeafNodes& nodes, CanonicalContext& context) {
    std::optional<Schema> node;
    if (!decided(context, [&] {
            node = object_leaf_node(candidate, context);
            return !is_false(*node);
        }))
        return false;
    for (std::size_t j = 0; j < leaves.size(); ++j)
        if (j != index && within_leaf(*node, nodes, j, context)) return true;
    return false;
}

// The leaf at `index` lies within the node of another leaf whose required
// names `within_required_of` all requires.
bool lies_within_other(const Schema& node, const std::vector<ObjectLeaf>& leaves, std::size_t index,
                       const ObjectLeaf& within_required_of, LeafNodes& nodes, CanonicalContext& context) {
    for (std::size_t j = 0; j < leaves.size(); ++j) {
        if (j == index) continue;
        if (!std::all_of(leaves[j].required.begin(), leaves[j].required.end(),
                         [&](const SharedString& r) { return requires_name(within_required_of, *r); }))
            continue;
        if (within_leaf(node, nodes, j, context)) return true;
    }
    return false;
}

// A required name goes when the objects without it lie within another leaf.
bool drop_required_names(std::vector<ObjectLeaf>& leaves, LeafNodes& nodes, CanonicalContext& context) {
    for (std::size_t x = 0; x < leaves.size(); ++x) {
        const ObjectLeaf& leaf = leaves[x];
        if (leaf.additional) continue;
        for (std::size_t r = 0; r < leaf.required.size(); ++r) {
            for (int attempt = 0; attempt < 2; ++attempt) {
                if (attempt == 1 && leaf.sizes.minimum) break;
                ObjectLeaf widened = leaf;
                const SharedString name = widened.required[r];
                widened.required.erase(widened.required.begin() + static_cast<std::ptrdiff_t>(r));
                if (attempt == 1) widened.sizes.minimum = BigInt(static_cast<unsigned long>(leaf.required.size()));
                ObjectLeaf added = widened;
                property_map_insert(added.properties, name, false_schema());
                Schema added_node = true_schema();
                if (!decided(context, [&] {
                        added_node = object_leaf_node(added, context);
                        return !is_false(added_node);
                    }))
                    continue;
                if (lies_within_other(added_node, leaves, x, widened, nodes, context)) {
                    leaves[x] = std::move(widened);
                    return true;
                }
            }
        }
    }
    return false;
}

bool widen_size_bounds(std::vector<ObjectLeaf>& leaves, LeafNodes& nodes, CanonicalContext& context) {
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        ObjectLeaf& leaf = leaves[i];
        const auto& minimum = leaf.sizes.minimum;
        const auto& maximum = leaf.sizes.maximum;
        if (minimum && sgn(*minimum) > 0) {
            ObjectLeaf below = leaf;
            below.sizes = Bounds{std::nullopt, BigInt(*minimum - 1)};
            if (redundant_beside(below, i, leaves, nodes, context)) {
                leaf.sizes.minimum.reset();
                return true;
            }
        }
        if (!maximum) continue;
        ObjectLeaf above = leaf;
        above.sizes = Bounds{BigInt(*maximum + 1), std::nullopt};
        if (redundant_beside(above, i, leaves, nodes, context)) {
            leaf.sizes.maximum.reset();
            return true;
        }
        if (*maximum != BigInt(static_cast<unsigned long>(leaf.required.size()))) continue;
        // The leaf admits only objects of exactly its required names, so
        // declarations of other names change nothing it admits.
        for (std::size_t j = 0; j < leaves.size(); ++j) {
            if (j == i) continue;
            ObjectLeaf open = leaf;
            open.sizes.maximum.reset();
            for (const auto& [name, schema] : leaves[j].properties.entries)
                if (!requires_name(leaf, *name) && !property_map_find(leaf.properties, *name))
                    property_map_insert(open.properties, name, schema);
            ObjectLeaf beyond = open;
            beyond.sizes.minimum = BigInt(*maximum + 1);
            std::optional<Schema> node;
            if (!decided(context, [&] {
                    node = object_leaf_node(beyond, context);
                    return true;
                }))
                continue;
            if (is_false(*node) || within_leaf(*node, nodes, j, context)) {
                leaf = std::move(open);
                return true;
            }
        }
    }
    return false;
}

// Every object collapses into one leaf when the others' names split every case.
bool collapse_to_every_object(std::vector<ObjectLeaf>& leaves, CanonicalContext& context) {
    if (leaves.size() < 2) return false;
    const bool admits_empty = std::any_of(leaves.begin(), leaves.end(), [](const ObjectLeaf& l) {
        return l.required.empty() && l.violations.empty() && bounds_contain_count(l.sizes, BigInt(0));
    });
    if (!admits_empty) return false;
    std::vector<std::string> names;
    for (const auto& l : leaves) {
        for (const auto& r : l.required) names.push_back(*r);
        for (const auto& e : l.properties.entries) names.push_back(*e.first);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    const auto nodes = object_leaf_nodes(leaves, context);
    if (!object_leaf_covered_by(ObjectLeaf{}, nodes, std::move(names), context)) return false;
    leaves.assign(1, ObjectLeaf{});
    return true;
}

// A side of a leaf's window opens when the objects beyond it are covered.
bool open_covered_windows(std::vector<ObjectLeaf>& leaves, CanonicalContext& context) {
    bool changed = false;
    for (std::size_t x = 0; x < leaves.size(); ++x) {
        const Bounds window = leaves[x].sizes;
        const auto pieces = complement_length_window(window);
        if (pieces.empty()) continue;
        const auto nodes = object_leaf_nodes(leaves, context);
        std::vector<Schema> others;
        for (std::size_t j = 0; j < nodes.size(); ++j)
            if (j != x) others.push_back(nodes[j]);
        const auto split = other_leaves_property_names(leaves, x);
        for (const auto& piece : pieces) {
            ObjectLeaf beyond = leaves[x];
            beyond.sizes = piece;
            if (!object_leaf_covered_by(std::move(beyond), others, split, context)) continue;
            // A piece lies below the window exactly when it has no minimum.
            if (piece.minimum)
                leaves[x].sizes.maximum.reset();
            else
                leaves[x].sizes.minimum.reset();
            changed = true;
        }
    }
    return changed;
}

bool widen_member_schema(std::vector<ObjectLeaf>& leaves, LeafNodes& nodes, CanonicalContext& context) {
    for (std::size_t b = 0; b < leaves.size(); ++b) {
        if (leaves[b].additional) continue;
        std::vector<SharedString> keys;
        for (const auto& e : leaves[b].properties.entries) keys.push_back(e.first);
        for (const auto& p : keys) {
            for (std::size_t j = 0; j < leaves.size(); ++j) {
                if (j == b || leaves[j].additional) continue;
                const ObjectLeaf& base = leaves[b];
                const ObjectLeaf& other = leaves[j];
                if (!std::all_of(other.required.begin(), other.required.end(),
                                 [&](const SharedString& r) { return *r == *p || requires_name(base, *r); }))
                    continue;
                const Schema* s = property_map_find(base.properties, *p);
                if (!s) throw InternalError("internal stop: a property key taken from a leaf is missing from it");
                const Schema* t = property_map_find(other.properties, *p);
                if (t && same_node(*t, *s)) continue;
                // What the widening adds: the objects with p whose value only j's entry admits.
                // Tested first, as it does not depend on the widened entry.
                ObjectLeaf added = base;
                if (t)
                    property_map_insert(added.properties, p, *t);
                else
                    property_map_remove(added.properties, *p);
                add_required(added, p);
                std::optional<Schema> node;
                if (!decided(context, [&] {
                        node = object_leaf_node(added, context);
                        return true;
                    }))
                    continue;
                if (!is_false(*node) && !within_leaf(*node, nodes, j, context)) continue;
                ObjectLeaf widened = base;
                if (t) {
                    const bool joined = decided(context, [&] {
                        property_map_insert(widened.properties, p, union_of({*s, *t}, context));
                        apply_pattern_properties(widened.properties, base.pattern_properties, p, context);
                        return true;
                    });
                    if (!joined) continue;
                    const Schema* entry = property_map_find(widened.properties, *p);
                    if (!entry) throw InternalError("internal stop: a property entry just written is missing");
                    if (same_node(*entry, *s)) continue;
                    if (is_true(*entry)) property_map_remove(widened.properties, *p);
                } else {
                    property_map_remove(widened.properties, *p);
                }
                leaves[b] = std::move(widened);
                return true;
            }
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
    // Every rule below weighs one leaf against another.
    if (leaves.size() < 2 || leaves.size() > kMaxMergedObjectLeaves) return leaves;
    for (std::size_t round = 0; round < kMaxObjectMergeRounds; ++round) {
        if (pair_merge(leaves, context) || drop_covered(leaves, context)) continue;
        LeafNodes nodes(leaves);
        if (drop_required_names(leaves, nodes, context) || widen_size_bounds(leaves, nodes, context) ||
            collapse_to_every_object(leaves, context) || open_covered_windows(leaves, context) ||
            widen_member_schema(leaves, nodes, context))
            continue;
        break;
    }
    return leaves;
}

bool retain_object_leaf(const ObjectLeaf& leaf, std::vector<CanonicalJson>& values, CanonicalContext& context) {
    const auto maximum = object_size_bounds(leaf).maximum;
    if (!maximum || sgn(*maximum) != 0) return true;
    return !collect_const_value(object_leaf_node(leaf, context), values);
}

}  // namespace deririrore::canonical
