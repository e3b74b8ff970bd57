#pragma once
// The one place where the Python module builds the core map of a document. The core map
// builder is not part of the coverage core yet; until it is, a map holds no operations.
#include <optional>
#include <string_view>

#include "deririrore/value/value.hpp"

namespace vantorel::python {

struct CoreMap {};

// Runs detached: touches no Python object. Never fails.
inline CoreMap build_core_map([[maybe_unused]] const deririrore::value::Value& document,
                              [[maybe_unused]] std::optional<std::string_view> base_path,
                              [[maybe_unused]] std::optional<std::string_view> location) {
    return CoreMap{};
}

}  // namespace vantorel::python
