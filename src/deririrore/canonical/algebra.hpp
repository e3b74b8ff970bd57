#pragma once
// The public surface of the schema algebra: node constructors, intersection,
// union, complement, oneOf folding and the reference graph. Where an operation
// cannot decide exactly it answers a wider or opaque node, or none, so a result
// is never wider or narrower than the truth, only less decided.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"
#include "deririrore/canonical/reference_graph.hpp"

namespace deririrore::canonical {

// Node constructors. Each answers False for a leaf it proves empty, else a
// node admitting the same values (the leaf's kind, or a simpler equal node).
Schema typed_group(JsonType ty, Schema body);
Schema integer_leaf_node(IntegerLeaf leaf, CanonicalContext& context);
Schema number_leaf_node(NumberLeaf leaf, CanonicalContext& context);
Schema string_leaf_node(StringLeaf leaf, CanonicalContext& context);
Schema object_leaf_node(ObjectLeaf leaf, CanonicalContext& context);

// Sorted by the value order, repeats removed.
std::vector<CanonicalJson> normalize_value_set(std::vector<CanonicalJson> values);
// The values of a Const or Enum node; any other kind is an internal stop.
std::vector<CanonicalJson> value_set_members(const Schema& node);
// The value-set node of the values whose JSON type the set admits (number admits integers).
Schema value_set_by_type(std::vector<CanonicalJson> values, JsonTypeSet types, CanonicalContext& context);
CanonicalJson shared_canonical_json(const value::Value& v);

// What both admit. Every call spends one unit of the context's budget; a spent
// budget answers True and raises the exhausted flag.
Schema intersect(const Schema& a, const Schema& b, CanonicalContext& context);
// What any admits; an empty list admits nothing.
Schema union_of(std::vector<Schema> branches, CanonicalContext& context);
// None: the complement is not formed here.
std::optional<Schema> complement_node(const Schema& node, const TargetTable& targets, CanonicalContext& context);
// The same with the context's own target table.
std::optional<Schema> complement_node(const Schema& node, CanonicalContext& context);

// The values exactly one branch admits; none when it cannot be built.
std::optional<Schema> one_of_node(std::vector<Schema> branches, const TargetTable& targets, CanonicalContext& context);
// Each branch with its chain of references followed through `first`, then
// `second`. None when a target is in neither table (`unresolved` set) or a
// chain comes back to itself (`unresolved` left alone).
std::optional<std::vector<Schema>> resolve_branch_references(const std::vector<Schema>& branches,
                                                             const TargetTable& first, const TargetTable* second,
                                                             bool& unresolved);
// True only when no value is admitted by two branches, proven without the
// budget running out.
bool branches_pairwise_disjoint(const std::vector<Schema>& branches, const std::vector<Schema>& resolved,
                                CanonicalContext& context);
bool one_of_branches_disjoint(const std::vector<Schema>& branches, const TargetTable& targets,
                              CanonicalContext& context);

// Compiled patterns of a string leaf, null entries for patterns that do not compile.
std::vector<SharedPattern> compile_patterns(const std::vector<SharedString>& texts, CanonicalContext& context);

// The number of values the node admits when finite and known.
std::optional<BigInt> finite_value_count(const Schema& node);
// Lowers the maximum length to n, cuts the prefix to it and removes `items`.
void restrict_array_leaf(ArrayLeaf& leaf, const BigInt& n);
bool bounds_contain_count(const Bounds& window, const BigInt& count);

// The reference graph lives in reference_graph.hpp; these names read as its operations.
inline bool is_settleable(const Schema& node) { return free_of_root_reference(node); }
inline std::vector<ReferenceComponent> reference_components(const ReferenceGraph& graph) {
    return strongly_connected_components(graph);
}
inline bool is_cyclic_component(const ReferenceComponent& component, const ReferenceGraph& graph) {
    return is_recursive_component(component, graph);
}

}  // namespace deririrore::canonical
