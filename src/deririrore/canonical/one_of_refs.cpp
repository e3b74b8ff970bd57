#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/parse.hpp"

namespace deririrore::canonical {

std::optional<Schema> one_of_with_references(std::vector<Schema> branches, const TargetTable& targets,
                                             const TargetTable* carried,
                                             std::vector<std::vector<Schema>>& recorded_lists,
                                             CanonicalContext& context) {
    if (std::none_of(branches.begin(), branches.end(), [](const Schema& b) { return contains_reference(b); }))
        return one_of_node(std::move(branches), targets, context);
    std::erase_if(branches, [](const Schema& b) { return is_false(b); });
    sort_schemas(branches);

    // A value two equal branches accept matches twice and fails the whole keyword.
    std::vector<Schema> repeated;
    std::vector<Schema> single;
    for (std::size_t i = 0; i < branches.size();) {
        std::size_t j = i + 1;
        while (j < branches.size() && (branches[j].same(branches[i]) || schema_data_eq(*branches[j], *branches[i])))
            ++j;
        (j - i > 1 ? repeated : single).push_back(branches[i]);
        i = j;
    }
    if (!repeated.empty()) {
        if (single.empty()) return false_schema();
        std::vector<Schema> complements;
        for (const Schema& r : repeated) {
            auto c = complement_node(r, targets, context);
            if (!c) break;
            complements.push_back(std::move(*c));
        }
        if (complements.size() == repeated.size()) {
            auto rest = one_of_with_references(std::move(single), targets, carried, recorded_lists, context);
            if (!rest) return std::nullopt;
            Schema result = std::move(*rest);
            for (const Schema& c : complements) result = intersect(result, c, context);
            return result;
        }
    }
    if (branches.size() == 1) return branches.front();
    bool unresolved = false;
    auto resolved = resolve_branch_references(branches, targets, carried, unresolved);
    if (resolved) {
        if (branches_pairwise_disjoint(branches, *resolved, context)) return union_of(branches, context);
    } else if (unresolved) {
        recorded_lists.push_back(branches);
    }
    return make_schema(kind::OneOf{std::move(branches)});
}

}  // namespace deririrore::canonical
