#pragma once
// The complement of a node: negation pushed down into leaves (opposite
// constraints), through combinators (De Morgan) and through references, with
// a node wrapped in Not or the complement refused where it cannot go further.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

inline constexpr uint64_t kNegationExpansions = 1024;
inline constexpr std::size_t kNegationAnyOfCap = 16;
inline constexpr std::size_t kNegationOverlapCap = 64;
// Nesting of negated nodes; deeper operands are refused instead of walked.
inline constexpr uint32_t kNegationDepth = 256;

struct NegationScope {
    std::vector<std::string> stack;
    const TargetTable* targets = nullptr;
    std::set<std::string, std::less<>> unguarded;
    uint64_t expansions_left = kNegationExpansions;
    bool strict = true;
    uint32_t depth = 0;
};

std::optional<Schema> negate_node(const Schema& node, NegationScope& scope, CanonicalContext& context);
Schema complement_type_mask(uint8_t mask, CanonicalContext& context);
std::optional<Schema> number_leaf_between(std::optional<BoundNumber> lower, std::optional<BoundNumber> upper,
                                          CanonicalContext& context);
std::vector<Bounds> complement_length_window(const Bounds& window);
std::optional<Schema> negate_value_set(const std::vector<CanonicalJson>& values, CanonicalContext& context);

}  // namespace deririrore::canonical
