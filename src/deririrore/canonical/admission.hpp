#pragma once
// Whether one concrete JSON value lies in what a node or leaf describes, in
// three answers: a test that cannot tell says so instead of guessing.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

enum class Admission : uint8_t { Accepted = 0, Rejected = 1, Undecided = 2 };

// Numbers become canonical texts, members sorted; none past the nesting bound.
std::optional<value::Value> canonical_json_from_value(const value::Value& v);

bool number_leaf_accepts(const NumberLeaf& leaf, const value::Value& v);
bool integer_leaf_accepts(const IntegerLeaf& leaf, const value::Value& v);
// `patterns` and `excluded_patterns` compiled in the leaf's order; a null entry
// (a pattern that did not compile) makes its step undecided.
Admission string_leaf_accepts(const StringLeaf& leaf, std::span<const SharedPattern> patterns,
                              std::span<const SharedPattern> excluded_patterns, std::string_view text,
                              bool unknown_is_undecided);
bool distinctness_accepts(Distinctness d, std::span<const value::Value> items);
Admission contains_facets_accept(const std::vector<ContainsFacet>& facets, std::span<const value::Value> items,
                                 bool unknown_is_undecided, CanonicalContext& context);

Admission node_admits_value(const Schema& node, const value::Value& v, bool unknown_is_undecided,
                            CanonicalContext& context);
bool node_rejects_value(const Schema& node, const value::Value& v, CanonicalContext& context);

// Follows references while their targets are available (at most a bounded chain).
Schema deref_schema(const Schema& node, const CanonicalContext& context);
bool has_unresolved_reference(const Schema& node, const CanonicalContext& context);
SharedNameSet unchecked_names(const Schema& node, CanonicalContext& context);
bool contains_reference(const Schema& node);
bool is_resolvable_reference(const Schema& node, const CanonicalContext& context);

// What the node says of an already canonical value, decided leaf by leaf.
// The stand-in intersection uses it for constants.
Admission evaluate_canonical_value(const Schema& node, const value::Value& canonical, CanonicalContext& context);

}  // namespace deririrore::canonical
