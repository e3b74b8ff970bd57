#pragma once
// The checkers of the draft 4, 6 and 7 meta-schemas, in their three modes.
#include <optional>
#include <vector>

#include "deririrore/metaschema/metaschema.hpp"

namespace deririrore::metaschema::detail {

enum class Legacy { D4, D6, D7 };

std::optional<ValidationError> legacy_first_error(Legacy draft, const Value& document);
bool legacy_is_valid(Legacy draft, const Value& document);
std::vector<ValidationError> legacy_errors(Legacy draft, const Value& document);

}  // namespace deririrore::metaschema::detail
