#pragma once
// Property maps kept sorted by name, pattern properties folded into the
// properties they match, name tests, node inclusion and string-leaf regrouping.
#include <optional>
#include <string_view>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// The caller found `position` by binary search; a position past the end is an internal stop.
void property_map_insert_at(PropertyMap& map, std::size_t position, SharedString name, Schema node);
// Replaces an existing entry (answering its node) or inserts in order.
std::optional<Schema> property_map_insert(PropertyMap& map, SharedString name, Schema node);
std::optional<Schema> property_map_remove(PropertyMap& map, std::string_view name);
const Schema* property_map_find(const PropertyMap& map, std::string_view name);

void apply_pattern_properties(PropertyMap& properties, const PropertyMap& pattern_properties, const SharedString& name,
                              CanonicalContext& context);

// Rejected: the name schema refuses the name. Only nodes of the string domain may be asked.
Admission schema_rejects_name(const Schema& node, std::string_view name, CanonicalContext& context);

// Accepted when everything `inner` admits, `outer` admits too; otherwise undecided.
Admission node_includes(const Schema& outer, const Schema& inner, CanonicalContext& context);

bool object_leaf_subsumed(CanonicalContext& context, const ObjectLeaf& leaf, std::size_t position,
                          const std::vector<ObjectLeaf>& leaves);

// String leaves that differ only in their length windows.
struct StringLeafGroup {
    StringLeaf shape;  // `lengths` ignored
    std::vector<Bounds> windows;
};
void group_string_leaves_by_window(StringLeafGroup group, std::vector<StringLeaf>& out);

}  // namespace deririrore::canonical
