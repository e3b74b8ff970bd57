#pragma once
// Options shared by the developer tools that drive the engine over JSON Schema documents.
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "deririrore/core/options.hpp"
#include "deririrore/referencing/draft.hpp"
#if defined(VC_HAVE_OPENAPI_DIALECT)
#include "vantorel/dialect/options.hpp"
#endif

namespace tools {

// The whole file as bytes, or nothing when it cannot be read.
inline std::optional<std::string> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return std::move(s).str();
}

inline std::optional<deririrore::referencing::Draft> parse_draft_argument(std::string_view name) {
    using deririrore::referencing::Draft;
    if (name == "4") return Draft::Draft4;
    if (name == "6") return Draft::Draft6;
    if (name == "7") return Draft::Draft7;
    if (name == "2019-09") return Draft::Draft201909;
    if (name == "2020-12") return Draft::Draft202012;
    return std::nullopt;
}

inline bool openapi_options_available() {
#if defined(VC_HAVE_OPENAPI_DIALECT)
    return true;
#else
    return false;
#endif
}

// The engine's default options with the draft fixed; with `openapi`, the options the coverage
// core builds a response body's schema with (a suite instance is JSON, as a body is).
inline deririrore::core::ValidationOptions suite_options(deririrore::referencing::Draft draft, bool openapi) {
#if defined(VC_HAVE_OPENAPI_DIALECT)
    if (openapi) return vantorel::dialect::measured_schema_options(draft, vantorel::dialect::NullableSource::MediaType);
#else
    (void)openapi;
#endif
    deririrore::core::ValidationOptions options;
    options.with_draft(draft);
    return options;
}

}  // namespace tools
