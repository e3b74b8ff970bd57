#pragma once
// The few algebra operations the node constructors and value tests call. The
// intersection here is conservative: it decides constants against nodes and
// the trivial cases, and otherwise keeps both operands as an AllOf, so a
// result is never wider or narrower than the truth, only less decided.
#include <cstdint>
#include <optional>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

Schema intersect(const Schema& a, const Schema& b, CanonicalContext& context);
// None: the complement is not formed here.
std::optional<Schema> complement_node(const Schema& node, CanonicalContext& context);

// An Object node of the leaf; contradictions are left for the full algebra to find.
Schema object_leaf_node(const ObjectLeaf& leaf, CanonicalContext& context);

// Compiled patterns of a string leaf, null entries for patterns that do not compile.
std::vector<SharedPattern> compile_patterns(const std::vector<SharedString>& texts, CanonicalContext& context);

// The number of values the node admits when finite and known.
std::optional<BigInt> finite_value_count(const Schema& node);
// Lowers the maximum length to n, cuts the prefix to it and removes `items`.
void restrict_array_leaf(ArrayLeaf& leaf, const BigInt& n);

}  // namespace deririrore::canonical
