#pragma once
// Templates with parameters side by side in one segment (/files/{name}{ext}) cannot be matched
// as written. When one of them is a path parameter enumerating texts, the template is written
// out once per value, so that each copy can be matched and fixes that parameter's value.
#include <cstddef>

#include "vantorel/model/routes.hpp"

namespace vantorel::model {

// At most this many written-out copies per template; above it the template stays as it is.
inline constexpr std::size_t kMaxTemplateExpansions = 64;

// Rewrites `segment_templates` once the operations are read: each template holding "}{" whose
// operations enumerate path parameters in its adjacent groups is replaced, in place, by one entry
// per combination of values (longest values first, the first parameter varying slowest), each
// with its fixed values, then by the reduced template in which each group holding exactly one
// enumerated parameter is that parameter alone. Any condition not met leaves the entry as it
// was; nothing else changes and nothing is recorded.
void analyse_path_templates(RouteIndex& index);

}  // namespace vantorel::model
