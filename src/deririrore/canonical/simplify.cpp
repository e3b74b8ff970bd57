#include "deririrore/canonical/simplify.hpp"

#include <algorithm>
#include <utility>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/order.hpp"

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
    return SimplifiedParts{};
}

}  // namespace deririrore::canonical
