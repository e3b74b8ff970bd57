#pragma once
// Options shared by the developer tools that drive the engine over JSON Schema documents.
#include <optional>
#include <string_view>

#include "deririrore/core/options.hpp"
#include "deririrore/referencing/draft.hpp"

namespace tools {

inline std::optional<deririrore::referencing::Draft> parse_draft_argument(std::string_view name) {
    using deririrore::referencing::Draft;
    if (name == "4") return Draft::Draft4;
    if (name == "6") return Draft::Draft6;
    if (name == "7") return Draft::Draft7;
    if (name == "2019-09") return Draft::Draft201909;
    if (name == "2020-12") return Draft::Draft202012;
    return std::nullopt;
}

inline bool openapi_options_available() { return false; }

// The engine's default options with the draft fixed.
inline deririrore::core::ValidationOptions suite_options(deririrore::referencing::Draft draft, bool openapi) {
    (void)openapi;
    deririrore::core::ValidationOptions options;
    options.with_draft(draft);
    return options;
}

}  // namespace tools
