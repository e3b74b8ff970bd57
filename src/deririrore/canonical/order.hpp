#pragma once
// One total order and one structural equality over canonical nodes and values,
// so that lists of branches, values and facets sort into a single normal form.
// The order is a normal-form order, not a ranking by strictness.
#include <compare>
#include <cstddef>
#include <vector>

#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// Nesting deeper than this is compared by hash (order) or found unequal
// (equality) instead of walked, so no input can exhaust the stack.
inline constexpr std::size_t kMaxCompareDepth = 512;
// Shared children are compared once per path; past this many node steps a
// comparison answers as past the depth bound, so shared graphs cannot make it
// exponential. Each top-level call starts afresh, so a pair always gets one answer.
inline constexpr std::size_t kMaxCompareSteps = std::size_t{1} << 20;

std::strong_ordering compare_canonical_nodes(const Schema& a, const Schema& b);
std::strong_ordering compare_canonical_kinds(const SchemaKind& a, const SchemaKind& b);
std::strong_ordering compare_canonical_json(const value::Value& a, const value::Value& b);

bool schema_data_eq(const SchemaData& a, const SchemaData& b);
bool schema_eq(const Schema& a, const Schema& b);
bool canonical_json_eq(const value::Value& a, const value::Value& b);
bool number_lists_equal(const std::vector<BoundRational>& a, const std::vector<BoundRational>& b, std::size_t n);
bool contains_facet_eq(const ContainsFacet& a, const ContainsFacet& b);
bool object_violation_eq(const ObjectViolation& a, const ObjectViolation& b);
// Variant first, then names, patterns and schemas; zero exactly where object_violation_eq holds.
std::strong_ordering compare_object_violations(const ObjectViolation& a, const ObjectViolation& b);

std::strong_ordering compare_exact_values(const ExactValue& a, const ExactValue& b);
std::strong_ordering compare_bound_rationals(const BoundRational& a, const BoundRational& b);
bool bound_rationals_equal(const BoundRational& a, const BoundRational& b);
std::strong_ordering compare_bound_numbers(const BoundNumber& a, const BoundNumber& b);
std::strong_ordering compare_format_kinds(const FormatKind& a, const FormatKind& b);
bool format_kinds_equal(const FormatKind& a, const FormatKind& b);
std::strong_ordering compare_bounds(const Bounds& a, const Bounds& b);
bool bounds_equal(const Bounds& a, const Bounds& b);

// Stable sort by the node order.
void sort_schemas(std::vector<Schema>& nodes);

}  // namespace deririrore::canonical
