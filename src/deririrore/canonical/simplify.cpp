#include "deririrore/canonical/simplify.hpp"

#include <algorithm>
#include <utility>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"

namespace deririrore::canonical {

namespace {

bool same_node(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

bool holds(const std::vector<Schema>& set, const Schema& node) {
    return std::any_of(set.begin(), set.end(),
                       [&](const Schema& s) { return s->hash == node->hash && same_node(s, node); });
}

// `a` lies within `b`: their meet is `a`, decided with the flag isolated.
bool within(const Schema& a, const Schema& b, CanonicalContext& context) {
    if (same_node(a, b)) return true;
    const bool saved = context.exhausted;
    context.exhausted = false;
    const Schema meet = intersect(a, b, context);
    const bool raised = context.exhausted;
    context.exhausted = saved;
    return !raised && context.intersection_budget > 0 && same_node(meet, a);
}

// The conjunction at `index`, with the property `name` of its object member
// `member` confined to `branch`, lies within another part of the union.
bool property_branch_covered(const std::vector<Schema>& parts, std::size_t index, std::size_t member,
                             const SharedString& name, const Schema& branch, CanonicalContext& context) {
    // The conjunction built here only feeds the test, so what it raises
    // declines the test instead of reaching the union's answer.
    const bool saved = context.exhausted;
    context.exhausted = false;
    const auto& members = parts[index]->as<kind::AllOf>()->branches;
    ObjectLeaf leaf = members[member]->as<kind::Object>()->leaf;
    property_map_insert(leaf.properties, name, branch);
    const Schema confined = object_leaf_node(std::move(leaf), context);
    Schema conjunction = true_schema();
    for (std::size_t m = 0; m < members.size(); ++m)
        conjunction = intersect(conjunction, m == member ? confined : members[m], context);
    bool found = false;
    for (std::size_t x = 0; x < parts.size() && !found; ++x)
        if (x != index && same_node(intersect(conjunction, parts[x], context), conjunction)) found = true;
    const bool raised = context.exhausted;
    context.exhausted = saved;
    return found && !raised && context.intersection_budget > 0;
}

// An object member's first property whose alternatives other parts partly
// cover loses those alternatives: the conjunction admits the same values
// outside what the covering parts admit anyway.
void trim_property_branches(std::vector<Schema>& parts, CanonicalContext& context) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto* all = parts[i]->as<kind::AllOf>();
        if (!all) continue;
        std::vector<Schema> members = all->branches;
        bool replaced = false;
        for (std::size_t m = 0; m < members.size(); ++m) {
            const auto* object = members[m]->as<kind::Object>();
            if (!object) continue;
            for (const auto& [name, schema] : object->leaf.properties.entries) {
                const auto* alternatives = schema->as<kind::AnyOf>();
                if (!alternatives) continue;
                std::vector<Schema> kept;
                for (const auto& branch : alternatives->branches)
                    if (!property_branch_covered(parts, i, m, name, branch, context)) kept.push_back(branch);
                if (kept.size() == alternatives->branches.size()) continue;
                ObjectLeaf leaf = object->leaf;
                property_map_insert(leaf.properties, name, union_of(std::move(kept), context));
                members[m] = object_leaf_node(std::move(leaf), context);
                replaced = true;
                break;
            }
        }
        if (!replaced) continue;
        Schema conjunction = true_schema();
        for (const auto& m : members) conjunction = intersect(conjunction, m, context);
        parts[i] = std::move(conjunction);
    }
}

}  // namespace

SimplifiedParts simplify_opaque_parts(std::vector<Schema>& parts, CanonicalContext& context) {
    std::vector<Schema> negated;
    for (const auto& p : parts)
        if (const auto* n = p->as<kind::Not>()) negated.push_back(n->operand);
    // 1. Conjunctions lose the members another part negates.
    if (!negated.empty()) {
        bool replaced = false;
        for (auto& p : parts) {
            const auto* all = p->as<kind::AllOf>();
            if (!all) continue;
            std::vector<Schema> kept;
            for (const auto& m : all->branches)
                if (!holds(negated, m)) kept.push_back(m);
            if (kept.empty() || kept.size() == all->branches.size()) continue;
            sort_schemas(kept);
            kept.erase(std::unique(kept.begin(), kept.end(), same_node), kept.end());
            p = kept.size() == 1 ? kept.front() : make_schema(kind::AllOf{std::move(kept)});
            replaced = true;
        }
        if (replaced) return SimplifiedParts{std::nullopt, true};
    }
    // 2. X or not X.
    for (const auto& n : negated)
        if (holds(parts, n)) return SimplifiedParts{true_schema(), false};
    // 3. X or (X and Y).
    const std::vector<Schema> all_parts = parts;
    std::erase_if(parts, [&](const Schema& p) {
        const auto* all = p->as<kind::AllOf>();
        return all && std::any_of(all->branches.begin(), all->branches.end(),
                                  [&](const Schema& m) { return holds(all_parts, m); });
    });
    // 4. A conjunction within another part adds nothing.
    for (std::size_t i = 0; i < parts.size();) {
        const auto* a = parts[i]->as<kind::AllOf>();
        bool removed = false;
        if (a) {
            for (std::size_t j = 0; j < parts.size() && !removed; ++j) {
                if (j == i) continue;
                const auto* b_all = parts[j]->as<kind::AllOf>();
                const std::vector<Schema> b_members = b_all ? b_all->branches : std::vector<Schema>{parts[j]};
                const bool contained = std::all_of(b_members.begin(), b_members.end(), [&](const Schema& b) {
                    return std::any_of(a->branches.begin(), a->branches.end(),
                                       [&](const Schema& m) { return within(m, b, context); });
                });
                if (contained) removed = true;
            }
        }
        if (removed)
            parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    // 5. Alternatives of a member's property that other parts cover.
    trim_property_branches(parts, context);
    return SimplifiedParts{};
}

}  // namespace deririrore::canonical
