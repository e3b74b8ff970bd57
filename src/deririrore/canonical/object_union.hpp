#pragma once
// The object step of a union: object leaves merged by member-count window and
// by a single differing member, and leaves the others already cover dropped,
// always keeping the set of admitted objects exactly as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// Beyond this many leaves only the window grouping runs.
inline constexpr std::size_t kMaxMergedObjectLeaves = 256;
// Rules that start over after any change run at most this many rounds.
inline constexpr std::size_t kMaxObjectMergeRounds = 64;
// The coverage test doubles its cases per split name; past this many names it
// answers "not covered", which only keeps a leaf.
inline constexpr std::size_t kMaxCoverageSplitNames = 8;
// From this many leaves, witnesses first look for an object only one leaf admits.
inline constexpr std::size_t kObjectWitnessFilterLeaves = 8;

std::vector<ObjectLeaf> group_object_leaves_by_sizes(std::vector<ObjectLeaf> leaves);
Admission object_leaf_admits_value(const ObjectLeaf& leaf, const value::Value& object, CanonicalContext& context);
std::vector<Schema> object_leaf_nodes(const std::vector<ObjectLeaf>& leaves, CanonicalContext& context);
std::vector<std::string> other_leaves_property_names(const std::vector<ObjectLeaf>& leaves, std::size_t index);
bool object_leaf_covered_by(ObjectLeaf leaf, const std::vector<Schema>& others, std::vector<std::string> split_names,
                            CanonicalContext& context);
std::vector<ObjectLeaf> normalize_object_leaves(std::vector<ObjectLeaf> leaves, CanonicalContext& context);
// False when the leaf admits only {}, which then joins the union's values.
bool retain_object_leaf(const ObjectLeaf& leaf, std::vector<CanonicalJson>& values, CanonicalContext& context);

}  // namespace deririrore::canonical
