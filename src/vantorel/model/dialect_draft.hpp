#pragma once
// The JSON Schema draft a dialect identifier stands for. The coverage analysis owns the rule; the
// model asks it so that the two never disagree about a document's dialect.
#include <string_view>

#include "deririrore/referencing/draft.hpp"

namespace vantorel::model {

// Draft202012 for an OpenAPI dialect identifier (trailing "#" ignored); otherwise the draft of the
// meta-schema identifier, Unknown for anything else.
deririrore::referencing::Draft openapi_dialect_draft(std::string_view text) noexcept;

}  // namespace vantorel::model
