#pragma once
// The drafts that dialect identifiers stand for: the OpenAPI 3.1 and 3.2
// dialects are draft 2020-12; anything else is read as a meta-schema identifier.
#include <string_view>

#include "deririrore/referencing/draft.hpp"

namespace deririrore::canonical {

// Trailing "#" characters are ignored for the OpenAPI identifiers; any other
// text goes unchanged to the registry's detection (Unknown when it names none).
referencing::Draft openapi_dialect_draft(std::string_view text) noexcept;

}  // namespace deririrore::canonical
