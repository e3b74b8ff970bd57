#pragma once
// The leaf lists a union gathers per JSON type, and the passes that give one
// union one shape: leaves that differ only in their interval or window merge,
// a leaf another covers goes, and constants move to and from the lists. Every
// pass keeps the admitted values; one that cannot decide changes nothing.
#include <cstdint>
#include <optional>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

template <class Leaf>
struct LeafList {
    std::vector<Leaf> leaves;
    bool normalized = true;

    void push(Leaf leaf) {
        leaves.push_back(std::move(leaf));
        normalized = false;
    }
};

void normalize_integer_leaves(LeafList<IntegerLeaf>& list);
// Appends one leaf per merged interval, each with the key's divisors.
void merge_integer_group(std::vector<IntegerLeaf>& out, const IntegerLeaf& key, std::vector<Bounds> intervals);
void normalize_number_leaves(LeafList<NumberLeaf>& list);
void normalize_string_leaves(LeafList<StringLeaf>& list);
void normalize_array_leaves(LeafList<ArrayLeaf>& list);
// Sorted by the node order, repeated leaves removed.
std::vector<ArrayLeaf> dedup_array_leaves(std::vector<ArrayLeaf> leaves);

struct UnionLeaves {
    LeafList<StringLeaf>& strings;
    LeafList<IntegerLeaf>& integers;
    LeafList<NumberLeaf>& numbers;
    LeafList<ArrayLeaf>& arrays;
    LeafList<ObjectLeaf>& objects;
};
// False when the value now lives in a leaf list; true keeps it a constant.
bool absorb_constant_into_leaves(UnionLeaves leaves, CanonicalContext& context, const value::Value& v);
// Retain tests: false drops the item, which the number leaves already admit.
bool integer_leaf_covered_by_number_leaves(const std::vector<NumberLeaf>& numbers, const IntegerLeaf& leaf);
bool typed_group_covered_by_number_leaves(const std::vector<NumberLeaf>& numbers, JsonType ty,
                                          const std::vector<CanonicalJson>& values);
// False when the leaf pins one value, then appended to `values`.
bool number_leaf_is_constant(CanonicalContext& context, std::vector<CanonicalJson>& values, const NumberLeaf& leaf);
bool collect_const_value(const Schema& node, std::vector<CanonicalJson>& values);

// An upper bound on the number of distinct values a node admits.
std::optional<uint64_t> value_count_bound(const SchemaKind& kind);
BigInt smaller_count(BigInt a, BigInt b);

}  // namespace deririrore::canonical
