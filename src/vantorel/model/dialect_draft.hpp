#pragma once
// The JSON Schema draft a dialect identifier stands for: the OpenAPI 3.1 and 3.2 dialects are
// draft 2020-12 with OpenAPI's vocabulary; anything else is left to the meta-schema identifiers.
#include <string_view>

#include "deririrore/referencing/draft.hpp"

namespace vantorel::model {

// The https identifiers the OpenAPI specifications publish for their schema dialects.
inline constexpr std::string_view kOpenApiDialectIds[] = {
    "https://spec.openapis.org/oas/3.1/dialect/base",
    "https://spec.openapis.org/oas/3.1/dialect/2024-10-25",
    "https://spec.openapis.org/oas/3.1/dialect/2024-11-10",
    "https://spec.openapis.org/oas/3.2/dialect/2025-09-17",
    "https://spec.openapis.org/oas/3.2/dialect/2026-02-26",
};

// Draft202012 for an OpenAPI dialect identifier (trailing "#" ignored, compared byte for byte);
// otherwise draft_from_url of the whole text, which answers Unknown for anything it does not know.
deririrore::referencing::Draft openapi_dialect_draft(std::string_view text) noexcept;

}  // namespace vantorel::model
