#pragma once
// The parts of intersection that other algebra files share: value sets met
// with a node, the merges of two leaves of one JSON type, and the pieces an
// opaque conjunction is built from.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// Nested intersections deeper than this answer True with the exhausted flag.
inline constexpr uint32_t kMaxIntersectionDepth = 192;

// null 1, boolean 2, integral number 4, other number 8, string 16, array 32, object 64.
uint8_t json_type_bit(const value::Value& v);
// The mask with the integer bit added when it holds the number bit.
uint8_t widen_type_mask(uint8_t bits);

// False when a part is Not(x) and x is a part; else the sorted distinct parts
// (True for none, the part itself for one, else an AllOf).
Schema all_of_from_parts(std::vector<Schema> parts);

Schema intersect_value_set(std::vector<CanonicalJson> values, const Schema& other, CanonicalContext& context);
Schema member_schema_for_name(const ObjectLeaf& leaf, std::string_view name, CanonicalContext& context);
bool integer_leaf_admits_value(const IntegerLeaf& leaf, const value::Value& v);
std::vector<CanonicalJson> filter_values_by_integer_leaf(const std::vector<CanonicalJson>& values,
                                                         const IntegerLeaf& leaf);
std::vector<CanonicalJson> filter_values_by_number_leaf(const std::vector<CanonicalJson>& values,
                                                        const NumberLeaf& leaf);

StringLeaf merge_string_leaves(StringLeaf a, StringLeaf b);
IntegerLeaf merge_integer_leaves(IntegerLeaf a, IntegerLeaf b);
NumberLeaf merge_number_leaves(NumberLeaf a, NumberLeaf b);
std::optional<BoundNumber> stricter_number_bound(std::optional<BoundNumber> x, std::optional<BoundNumber> y,
                                                 bool is_upper);
Divisors merge_divisors(const Divisors& a, const Divisors& b);
Schema integer_node_from_number_leaf(const NumberLeaf& leaf, CanonicalContext& context);
// None when the two contradict (all distinct against some repeated).
std::optional<ArrayLeaf> merge_array_leaves(ArrayLeaf a, ArrayLeaf b, CanonicalContext& context);
// Raises the exhausted flag when the merged leaf cannot say exactly what both do.
ObjectLeaf merge_object_leaves(ObjectLeaf a, ObjectLeaf b, CanonicalContext& context);
bool object_merge_exact(const ObjectLeaf& x, const ObjectLeaf& y, const PropertyMap& merged, CanonicalContext& context);

}  // namespace deririrore::canonical
