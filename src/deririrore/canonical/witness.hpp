#pragma once
// Sample values that a node may admit, proposed per kind and tried in order by
// the algebra, which keeps only those the admission tests accept.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// Longest padding of a candidate up to a minimum length.
inline constexpr std::size_t kMaxWitnessPadding = 64;
inline constexpr uint32_t kWitnessDepth = 6;
inline constexpr uint64_t kWitnessNodeBudget = 4096;

std::string cardinality_to_text(const BigInt& n);
std::vector<value::Value> string_witnesses(const std::vector<std::string>& candidates, const StringLeaf& leaf);
std::vector<value::Value> number_witness(const std::optional<BoundNumber>& lower,
                                         const std::optional<BoundNumber>& upper);

// Candidates for a node, in order, within the depth limit and the shared budget.
std::vector<value::Value> collect_witness_values(const Schema& node, uint32_t depth, uint64_t& budget,
                                                 CanonicalContext& context);
// The first witness of the child one level deeper; the fallback without a child.
std::optional<value::Value> child_witnesses(const std::optional<Schema>& child, value::Value fallback, uint32_t depth,
                                            uint64_t& budget, CanonicalContext& context);

}  // namespace deririrore::canonical
