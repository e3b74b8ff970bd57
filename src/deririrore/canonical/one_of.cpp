#include "deririrore/canonical/one_of.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"

namespace deririrore::canonical {

namespace {

uint8_t value_mask(const value::Value& v) {
    switch (v.kind()) {
        case value::ValueKind::Null:
            return 1;
        case value::ValueKind::Boolean:
            return 2;
        case value::ValueKind::Number:
            return 4 | 8;
        case value::ValueKind::String:
            return 16;
        case value::ValueKind::Array:
            return 32;
        case value::ValueKind::Object:
            return 64;
    }
    return 127;
}

bool is_value_set(const Schema& s) { return s->index() == KindIndex::Const || s->index() == KindIndex::Enum; }

struct JsonLess {
    bool operator()(const CanonicalJson& a, const CanonicalJson& b) const { return compare_canonical_json(*a, *b) < 0; }
};

Schema opaque_one_of(std::vector<Schema> kept) {
    sort_schemas(kept);
    return make_schema(kind::OneOf{std::move(kept)});
}

std::size_t member_count(const Schema& s) {
    if (const auto* any = s->as<kind::AnyOf>()) return any->branches.size();
    return 1;
}

bool discriminated(const std::vector<Schema>& branches, const std::vector<Schema>& resolved) {
    for (const auto& b : branches)
        if (b->index() != KindIndex::Reference) return false;
    for (const auto& r : resolved)
        if (r->index() != KindIndex::Object) return false;
    const auto& first = resolved.front()->as<kind::Object>()->leaf;
    for (const auto& name : first.required) {
        std::set<CanonicalJson, JsonLess> seen;
        bool all = true;
        for (const auto& r : resolved) {
            const auto& leaf = r->as<kind::Object>()->leaf;
            const bool listed = std::any_of(leaf.required.begin(), leaf.required.end(),
                                            [&](const SharedString& n) { return *n == *name; });
            const Schema* entry = property_map_find(leaf.properties, *name);
            if (!listed || !entry || !is_value_set(*entry)) {
                all = false;
                break;
            }
            for (const auto& v : value_set_members(*entry))
                if (!seen.insert(v).second) {
                    all = false;
                    break;
                }
            if (!all) break;
        }
        if (all) return true;
    }
    return false;
}

}  // namespace

uint8_t canonical_type_mask(const Schema& node) {
    switch (node->index()) {
        case KindIndex::MultiType: {
            uint8_t m = node->as<kind::MultiType>()->types.bits();
            return (m & 8) ? static_cast<uint8_t>(m | 4) : m;
        }
        case KindIndex::TypedGroup:
            return static_cast<uint8_t>(node->as<kind::TypedGroup>()->ty);
        case KindIndex::String:
            return 16;
        case KindIndex::Integer:
            return 4;
        case KindIndex::Number:
            return 12;
        case KindIndex::Array:
            return 32;
        case KindIndex::Object:
            return 64;
        case KindIndex::Const:
            return value_mask(*node->as<kind::Const>()->value);
        case KindIndex::Enum: {
            uint8_t m = 0;
            for (const auto& v : node->as<kind::Enum>()->values) m |= value_mask(*v);
            return m;
        }
        case KindIndex::AnyOf:
        case KindIndex::OneOf: {
            const auto& bs = node->index() == KindIndex::AnyOf ? node->as<kind::AnyOf>()->branches
                                                               : node->as<kind::OneOf>()->branches;
            uint8_t m = 0;
            // Nested combinators are walked as far as the node order's own bound;
            // deeper ones count as every type.
            for (const auto& b : bs) {
                if (b->index() == KindIndex::AnyOf || b->index() == KindIndex::OneOf) return 127;
                m |= canonical_type_mask(b);
            }
            return m;
        }
        case KindIndex::False:
            return 0;
        default:
            return 127;
    }
}

std::vector<Schema> split_value_branches(const std::vector<Schema>& branches, CanonicalContext& context) {
    std::vector<Schema> values;
    std::vector<Schema> others;
    std::set<CanonicalJson, JsonLess> seen;
    std::vector<CanonicalJson> shared;
    for (const auto& b : branches) {
        if (!is_value_set(b)) {
            others.push_back(b);
            continue;
        }
        values.push_back(b);
        for (const auto& v : value_set_members(b))
            if (!seen.insert(v).second) shared.push_back(v);
    }
    std::vector<Schema> parts;
    if (!shared.empty()) parts.push_back(schema_from_value_set(std::move(shared)));
    for (std::size_t i = 0; i < others.size(); ++i) {
        for (std::size_t j = i + 1; j < others.size(); ++j) {
            Schema meet = intersect(others[i], others[j], context);
            if (!is_false(meet)) parts.push_back(std::move(meet));
        }
        for (const auto& v : values) {
            Schema meet = intersect(others[i], v, context);
            if (!is_false(meet)) parts.push_back(std::move(meet));
        }
    }
    return parts;
}

std::optional<Schema> one_of_node(std::vector<Schema> branches, const TargetTable& targets, CanonicalContext& context) {
    std::vector<Schema> kept = branches;
    // Branches built while the budget ran out may admit more than the truth,
    // and their overlaps with them: removing those would cut too much.
    if (context.exhausted) return opaque_one_of(std::move(kept));
    const uint64_t before = context.intersection_budget;
    const uint64_t share = std::min(before, kOneOfBudgetShare);
    context.intersection_budget = share;
    const bool saved = context.exhausted;
    context.exhausted = false;

    enum class Fold { Done, Opaque, Refused };
    std::optional<Schema> result;
    auto fold = [&]() {
        const auto overlaps = split_value_branches(branches, context);
        Schema running = union_of(std::move(branches), context);
        for (const auto& part : overlaps) {
            auto complement = complement_node(part, targets, context);
            if (!complement) return Fold::Refused;
            if (member_count(running) * member_count(*complement) > kOneOfBranchCap) return Fold::Opaque;
            running = intersect(running, *complement, context);
            if (member_count(running) > kOneOfBranchCap) return Fold::Opaque;
        }
        result = running;
        return Fold::Done;
    };
    const Fold outcome = fold();
    const bool raised = context.exhausted;
    context.exhausted = saved;
    const uint64_t left = context.intersection_budget;
    context.intersection_budget = before - (share - left);
    if (left == 0 || outcome == Fold::Opaque) return opaque_one_of(std::move(kept));
    // A fold that met a spent budget anywhere may have cut too much: keep it opaque.
    if (raised) return opaque_one_of(std::move(kept));
    if (outcome == Fold::Refused) return std::nullopt;
    return result;
}

bool branches_pairwise_disjoint(const std::vector<Schema>& branches, const std::vector<Schema>& resolved,
                                CanonicalContext& context) {
    if (resolved.empty()) return true;
    uint8_t running = 0;
    bool overlap = false;
    for (const auto& r : resolved) {
        const uint8_t m = canonical_type_mask(r);
        if (m & running) {
            overlap = true;
            break;
        }
        running |= m;
    }
    if (!overlap) return true;
    const bool simple = std::all_of(resolved.begin(), resolved.end(), [](const Schema& r) {
        switch (r->index()) {
            case KindIndex::MultiType:
            case KindIndex::String:
            case KindIndex::Integer:
            case KindIndex::Number:
            case KindIndex::Const:
            case KindIndex::Enum:
                return true;
            default:
                return false;
        }
    });
    if (simple) {
        const bool saved = context.exhausted;
        context.exhausted = false;
        const auto parts = split_value_branches(resolved, context);
        const bool raised = context.exhausted;
        context.exhausted = saved || raised;
        if (parts.empty() && !raised) return true;
    }
    return discriminated(branches, resolved);
}

bool one_of_branches_disjoint(const std::vector<Schema>& branches, const TargetTable& targets,
                              CanonicalContext& context) {
    bool unresolved = false;
    auto resolved = resolve_branch_references(branches, targets, nullptr, unresolved);
    return resolved && branches_pairwise_disjoint(branches, *resolved, context);
}

}  // namespace deririrore::canonical
