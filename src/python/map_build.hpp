#pragma once
// The one place where the Python module builds the core map of a document.
#include <optional>
#include <string_view>

#include "deririrore/value/value.hpp"
#include "vantorel/recorders/coverage_map.hpp"

namespace vantorel::python {

using CoreMap = vantorel::recorders::CoverageMap;

// Runs detached: touches no Python object. Never fails: problems of the document are kept
// in the map.
inline CoreMap build_core_map(const deririrore::value::Value& document, std::optional<std::string_view> base_path,
                              std::optional<std::string_view> location) {
    return vantorel::recorders::build_coverage_map(document, base_path, location);
}

}  // namespace vantorel::python
