#pragma once
// The one place where the Python module changes a core map with recorded traffic. Every function
// here runs detached with the map's lock held, and touches no Python object.
#include <span>
#include <string>
#include <string_view>

#include "http/interaction.hpp"
#include "python/map_build.hpp"
#include "vantorel/recorders/record.hpp"

namespace vantorel::python {

inline void record_into_map(CoreMap& map, const http::Interaction& interaction,
                            std::span<const std::string_view> labels) {
    vantorel::recorders::record_interaction(map, interaction, labels);
}

// Adds `message` to the error set of the operation of `method` on the path template named by
// `path` (compared as text, never matched as a pattern); an unknown path or method drops it.
inline void add_operation_error(CoreMap& map, http::HttpMethod method, std::string_view path, std::string message) {
    const std::string resolved = vantorel::recorders::resolve_operation_path(map, path);
    model::MethodMap* methods = map.routes.paths.find(resolved);
    if (methods == nullptr) {
        return;
    }
    if (model::OperationRecord* operation = methods->get(method)) {
        operation->errors.insert(std::move(message));
    }
}

}  // namespace vantorel::python
