#include "deririrore/canonical/driver.hpp"

#include <unordered_set>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/children.hpp"

namespace deririrore::canonical {

namespace {

using value::Value;

bool names_new_false_targets(const TargetTable& targets, std::set<std::string, std::less<>>& known_false) {
    bool grew = false;
    for (const auto& [name, node] : targets) {
        if (is_false(node) && known_false.insert(name).second) grew = true;
    }
    return grew;
}

void keep_reachable_targets(const Schema& root, TargetTable& targets) {
    std::vector<std::string> work;
    collect_reference_targets(root, work);
    std::set<std::string, std::less<>> visited;
    while (!work.empty()) {
        std::string name = std::move(work.back());
        work.pop_back();
        if (name == "#") continue;
        auto it = targets.find(name);
        if (it == targets.end() || !visited.insert(name).second) continue;
        collect_reference_targets(it->second, work);
    }
    std::erase_if(targets, [&](const auto& entry) { return !visited.count(entry.first); });
}

}  // namespace

void collect_reference_targets(const Schema& node, std::vector<std::string>& out) {
    // Shared subtrees are walked once, so a graph of shared nodes stays linear.
    std::unordered_set<const SchemaData*> seen;
    std::vector<Schema> stack{node};
    while (!stack.empty()) {
        Schema current = std::move(stack.back());
        stack.pop_back();
        if (!seen.insert(current.get()).second) continue;
        if (const auto* reference = current->as<kind::Reference>()) {
            out.push_back(*reference->name);
            continue;
        }
        std::vector<Schema> children;
        for_each_child(current, [&](const Schema& child) { children.push_back(child); });
        // Reversed, so that names come out in the node's own order.
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
    }
}

DriverResult parse_document_into_context(const Value& root, CanonicalContext& context, const Resolver& scope,
                                         CarriedState carried) {
    const auto root_uri = share(scope.base()->text());
    for (std::size_t pass = 0; pass < kMaxDriverPasses; ++pass) {
        ParseTracker tracker;
        tracker.root_value = &root;
        tracker.root_uri = root_uri;
        tracker.dynamic_mode = carried.dynamic_mode_sticky ? 2 : 0;
        tracker.known_false = carried.known_false;
        tracker.carried_targets = carried.carried_targets;

        ParseOutcome outcome = parse_canonical_node(root, context, true, scope, tracker);
        if (outcome.is_error()) return DriverResult{outcome.take_error()};
        const bool incomplete = context_spent(context) || !outcome.has_node();
        if (!incomplete) {
            record_parse_cause(tracker, root, outcome.node());
            keep_reachable_targets(outcome.node(), tracker.targets);
        }
        if (tracker.dynamic_mode == 1) {
            carried.dynamic_mode_sticky = true;
            continue;
        }
        if (incomplete) return DriverResult{ParseIncomplete{}};
        if (names_new_false_targets(tracker.targets, carried.known_false)) continue;
        if (!carried.table_carried) {
            bool disjoint = false;
            for (const auto& branches : tracker.one_of_lists) {
                if (one_of_branches_disjoint(branches, tracker.targets, context)) {
                    disjoint = true;
                    break;
                }
            }
            if (disjoint) {
                carried.carried_targets = std::make_shared<const TargetTable>(tracker.targets);
                carried.table_carried = true;
                continue;
            }
        }
        Schema node = outcome.node();
        return DriverResult{ParsedDocument{std::move(node), std::move(tracker)}};
    }
    // Passes are bounded like every other stage: past the bound nothing is trusted.
    return DriverResult{ParseIncomplete{}};
}

}  // namespace deririrore::canonical
