#include "deririrore/canonical/refold.hpp"

#include <unordered_map>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/array_node.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

namespace {

using value::Value;

bool unchanged(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

bool all_unchanged(const std::vector<Schema>& before, const std::vector<Schema>& after) {
    if (before.size() != after.size()) return false;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (!unchanged(before[i], after[i])) return false;
    }
    return true;
}

// One bottom-up pass. Shared children are refolded once per pass, so a graph
// of shared nodes costs its size, not the number of its paths.
class Refolder {
public:
    Refolder(const TargetTable& targets, CanonicalContext& settling, CanonicalContext& companion)
        : targets_(targets), settling_(settling), companion_(companion) {}

    Schema run(const Schema& node, std::size_t depth) {
        if (depth > kMaxRefoldDepth) return node;
        if (auto it = done_.find(node.get()); it != done_.end()) return it->second;
        Schema result = fold(node, depth);
        done_.emplace(node.get(), result);
        return result;
    }

private:
    std::vector<Schema> each(const std::vector<Schema>& nodes, std::size_t depth) {
        std::vector<Schema> out;
        out.reserve(nodes.size());
        for (const auto& n : nodes) out.push_back(run(n, depth + 1));
        return out;
    }

    Schema fold(const Schema& node, std::size_t depth) {
        switch (node->index()) {
            case KindIndex::Reference: {
                auto target = lookup_reference_target(settling_, *node->as<kind::Reference>()->name);
                if (target && is_false(*target)) return false_schema();
                return node;
            }
            case KindIndex::Not: {
                const Schema& operand = node->as<kind::Not>()->operand;
                Schema folded = run(operand, depth + 1);
                if (unchanged(operand, folded)) return node;
                if (auto complement = complement_node(folded, targets_, companion_)) return *complement;
                return node;
            }
            case KindIndex::AllOf: {
                const auto& branches = node->as<kind::AllOf>()->branches;
                std::vector<Schema> folded = each(branches, depth);
                bool resolvable = false;
                for (const auto& b : folded) resolvable = resolvable || is_resolvable_reference(b, settling_);
                if (all_unchanged(branches, folded) && !resolvable) return node;
                if (folded.empty()) return true_schema();
                Schema result = folded.front();
                for (std::size_t i = 1; i < folded.size(); ++i) result = intersect(result, folded[i], settling_);
                return result;
            }
            case KindIndex::AnyOf: {
                const auto& branches = node->as<kind::AnyOf>()->branches;
                std::vector<Schema> folded = each(branches, depth);
                if (all_unchanged(branches, folded)) return node;
                return union_of(std::move(folded), companion_);
            }
            case KindIndex::OneOf:
                return fold_one_of(node, depth);
            case KindIndex::Array: {
                const ArrayLeaf& leaf = node->as<kind::Array>()->leaf;
                ArrayLeaf next = leaf;
                next.prefix = each(leaf.prefix, depth);
                if (leaf.items) next.items = run(*leaf.items, depth + 1);
                bool resolvable = next.items && is_resolvable_reference(*next.items, settling_);
                for (auto& facet : next.contains) {
                    facet.schema = run(facet.schema, depth + 1);
                    resolvable = resolvable || is_resolvable_reference(facet.schema, settling_);
                }
                Schema rebuilt = make_schema(kind::Array{next});
                if (unchanged(node, rebuilt) && !resolvable) return node;
                return array_leaf_node(std::move(next), settling_);
            }
            case KindIndex::Object: {
                const ObjectLeaf& leaf = node->as<kind::Object>()->leaf;
                ObjectLeaf next = leaf;
                for (auto& entry : next.properties.entries) entry.second = run(entry.second, depth + 1);
                for (auto& entry : next.pattern_properties.entries) entry.second = run(entry.second, depth + 1);
                if (leaf.additional) next.additional = run(*leaf.additional, depth + 1);
                Schema rebuilt = make_schema(kind::Object{next});
                if (unchanged(node, rebuilt)) return node;
                return object_leaf_node(std::move(next), settling_);
            }
            default:
                return node;
        }
    }

    Schema fold_one_of(const Schema& node, std::size_t depth) {
        const auto& branches = node->as<kind::OneOf>()->branches;
        std::vector<Schema> folded = each(branches, depth);
        bool references = false;
        for (const auto& b : folded) references = references || contains_reference(b);
        if (!references) {
            if (auto built = one_of_node(folded, targets_, settling_)) return *built;
        }
        if (one_of_branches_disjoint(folded, targets_, settling_)) return union_of(folded, settling_);
        if (all_unchanged(branches, folded)) return node;
        std::erase_if(folded, [](const Schema& b) { return is_false(b); });
        // Exactly one of no branches holds for nothing; of one branch, for what it holds.
        if (folded.empty()) return false_schema();
        if (folded.size() == 1) return folded.front();
        sort_schemas(folded);
        return make_schema(kind::OneOf{std::move(folded)});
    }

    const TargetTable& targets_;
    CanonicalContext& settling_;
    CanonicalContext& companion_;
    std::unordered_map<const SchemaData*, Schema> done_;
};

}  // namespace

SettlingPair make_settling_pair(const CanonicalContext& parse_context, const TargetTable& targets) {
    SettlingPair pair{
        new_canonical_context(parse_context.pattern_options, parse_context.draft, parse_context.format_asserts),
        new_canonical_context(parse_context.pattern_options, parse_context.draft, parse_context.format_asserts),
        std::make_shared<TargetTable>(targets),
    };
    pair.settling.intersection_budget = kSettlingIntersectionBudget;
    set_targets(pair.settling, pair.table);
    return pair;
}

std::optional<std::vector<std::string>> settle_order(const Schema& root, const TargetTable& targets) {
    ReferenceGraph graph = build_emptiness_graph(root, targets);
    std::vector<ReferenceComponent> components = reference_components(graph);
    for (const auto& component : components) {
        if (is_cyclic_component(component, graph)) return std::nullopt;
    }
    std::vector<std::string> order;
    for (const auto& component : components) {
        for (const auto& name : component) {
            if (name != "#" && targets.count(name)) order.push_back(name);
        }
    }
    return order;
}

Schema refold(const Schema& node, const TargetTable& targets, CanonicalContext& settling, CanonicalContext& companion) {
    return Refolder(targets, settling, companion).run(node, 0);
}

Schema refold_until_stable(const Schema& node, const TargetTable& targets, CanonicalContext& settling,
                           CanonicalContext& companion) {
    Schema current = node;
    for (std::size_t pass = 0; pass < kMaxRefoldPasses; ++pass) {
        Schema next = refold(current, targets, settling, companion);
        if (context_spent(settling) || context_spent(companion) || unchanged(current, next)) return next;
        current = std::move(next);
    }
    return current;
}

bool settle_targets(const std::vector<std::string>& order, SettlingPair& pair,
                    std::map<std::string, std::optional<SharedString>, std::less<>>& target_aliases) {
    if (!pair.settling.targets) throw InternalError("a settling run reads targets");
    for (const auto& name : order) {
        auto it = pair.table->find(name);
        if (it == pair.table->end()) throw InternalError("the order names the map's own keys");
        Schema node = it->second;
        Schema settled = refold_until_stable(node, *pair.table, pair.settling, pair.companion);
        if (pair.spent()) return false;
        // The table is this pair's own copy, so nodes handed out earlier never change.
        if (!unchanged(node, settled)) it->second = std::move(settled);
    }
    for (const auto& [name, node] : *pair.table) {
        if (is_false(node)) target_aliases[name] = std::nullopt;
    }
    return true;
}

void settle_schema_objects(const Value& root, const std::vector<std::pair<ValueId, Schema>>& dependent,
                           SettlingPair& pair, const std::unordered_map<ValueId, KeywordParts>& parts_by_object,
                           const std::map<std::string, ValueId, std::less<>>& target_values, SettledCauses& settled) {
    std::unordered_map<ValueId, Schema> index;
    for (const auto& [id, node] : dependent) index.insert_or_assign(id, node);
    if (index.empty()) return;
    std::vector<const Value*> stack{&root};
    while (!stack.empty()) {
        // A spent pair leaves this and every later object without settled causes.
        if (pair.spent()) return;
        const Value* v = stack.back();
        stack.pop_back();
        if (v->is_array()) {
            const auto& items = v->as_array();
            for (auto it = items.rbegin(); it != items.rend(); ++it) stack.push_back(&*it);
            continue;
        }
        if (!v->is_object()) continue;
        const auto& members = v->as_object();
        for (auto it = members.rbegin(); it != members.rend(); ++it) stack.push_back(&it->value);
        auto found = index.find(v);
        if (found == index.end()) continue;
        Schema node = refold_until_stable(found->second, *pair.table, pair.settling, pair.companion);
        if (pair.spent() || !is_false(node)) continue;
        auto kept = parts_by_object.find(v);
        if (kept == parts_by_object.end()) throw InternalError("an unsettled node kept its sides");
        KeywordParts parts;
        for (const auto& part : kept->second) {
            Schema refolded = refold_until_stable(part.node, *pair.table, pair.settling, pair.companion);
            parts.push_back(KeywordPart{part.group, pair.spent() ? part.node : refolded});
        }
        settled.insert_or_assign(v,
                                 find_unsatisfiable_causes(*v, parts, pair.settling, parts_by_object, target_values));
    }
}

}  // namespace deririrore::canonical
