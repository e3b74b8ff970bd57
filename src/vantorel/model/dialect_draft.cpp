#include "vantorel/model/dialect_draft.hpp"

namespace vantorel::model {

deririrore::referencing::Draft openapi_dialect_draft(std::string_view text) noexcept {
    std::string_view trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '#') trimmed.remove_suffix(1);
    for (auto id : kOpenApiDialectIds)
        if (trimmed == id) return deririrore::referencing::Draft::Draft202012;
    return deririrore::referencing::draft_from_url(text);
}

}  // namespace vantorel::model
