#include "deririrore/canonical/dialect.hpp"

#include <array>

namespace deririrore::canonical {

namespace {

constexpr std::array<std::string_view, 5> kOpenApiDialects = {
    "https://spec.openapis.org/oas/3.1/dialect/base",       "https://spec.openapis.org/oas/3.1/dialect/2024-10-25",
    "https://spec.openapis.org/oas/3.1/dialect/2024-11-10", "https://spec.openapis.org/oas/3.2/dialect/2025-09-17",
    "https://spec.openapis.org/oas/3.2/dialect/2026-02-26",
};

}  // namespace

referencing::Draft openapi_dialect_draft(std::string_view text) noexcept {
    std::string_view trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '#') trimmed.remove_suffix(1);
    for (std::string_view id : kOpenApiDialects) {
        if (trimmed == id) return referencing::Draft::Draft202012;
    }
    return referencing::draft_from_url(text);
}

}  // namespace deririrore::canonical
