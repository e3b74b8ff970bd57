#include "vantorel/model/dialect_draft.hpp"

#include "zavova/satisfiability.hpp"

namespace vantorel::model {

deririrore::referencing::Draft openapi_dialect_draft(std::string_view text) noexcept {
    return zavova::openapi_dialect_draft(text);
}

}  // namespace vantorel::model
