#pragma once
// Folding a oneOf into an ordinary node (the union less every region two
// branches share), and the cheaper tests that show branches never overlap.
#include <cstdint>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

inline constexpr uint64_t kOneOfBudgetShare = 10'000;
inline constexpr std::size_t kOneOfBranchCap = 16;

// The regions at least two branches admit: shared values first, then the
// non-empty meets of each non-value branch with the later branches.
std::vector<Schema> split_value_branches(const std::vector<Schema>& branches, CanonicalContext& context);
// The JSON types a node can admit (a number counts as integer and number).
uint8_t canonical_type_mask(const Schema& node);

}  // namespace deririrore::canonical
