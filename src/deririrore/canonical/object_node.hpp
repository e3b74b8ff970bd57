#pragma once
// Helpers of the object node constructor (declared with the algebra surface as
// object_leaf_node): which name schemas admit strings only, and the member
// names a finite name schema allows.
#include <optional>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

bool admits_only_strings(const Schema& node);
bool names_all_match_patterns(const std::vector<CanonicalJson>& values, const PropertyMap& patterns,
                              CanonicalContext& context);
std::optional<std::vector<SharedString>> finite_property_names(const std::optional<Schema>& names);

}  // namespace deririrore::canonical
