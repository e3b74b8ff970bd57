#pragma once
// What intersection keeps in the canonical context: results of earlier pairs
// with whether the budget ran out while each was computed, the pairs being
// computed further up the stack, and how deep the nesting is.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

struct IntersectionMemoEntry {
    Schema first;
    Schema second;
    Schema result;
    // The exhausted flag was raised while `result` was computed: the result is wider than the truth.
    bool raised = false;
};

struct IntersectionMemo {
    std::unordered_map<uint64_t, std::vector<IntersectionMemoEntry>> entries;
    std::size_t size = 0;
    // Pairs (after dereferencing) whose intersection is running further up the stack.
    std::vector<std::pair<Schema, Schema>> in_progress;
    uint32_t depth = 0;
};

}  // namespace deririrore::canonical
