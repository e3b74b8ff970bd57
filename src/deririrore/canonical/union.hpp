#pragma once
// The union of canonical nodes, built by sorting every branch into a partition
// by JSON type, pruning what whole types already cover and assembling the
// survivors into one canonical node.
#include <cstdint>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// Unions that restart themselves (a widened mask, a rebuilt part list) nest at
// most this deep; past it the parts are kept as a plain sorted AnyOf, which is
// exact, only less simplified.
inline constexpr uint32_t kMaxUnionRestarts = 32;

// Removes every False node, keeping the order of the rest.
void remove_false_branches(std::vector<Schema>& branches);
// Drops every node equal to the node kept just before it (the list is sorted).
void dedup_schemas(std::vector<Schema>& sorted);
// Sorted and distinct: False for none, the node for one, else an AnyOf.
Schema any_of_from_branches(std::vector<Schema> branches);
// A copy without null (bit 1) and without false and true (bit 2).
std::vector<CanonicalJson> strip_null_and_booleans(const std::vector<CanonicalJson>& values, uint8_t bits);

}  // namespace deririrore::canonical
