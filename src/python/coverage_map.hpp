#pragma once
#include <optional>
#include <string>

#include "deririrore/value/value.hpp"
#include "python/map_build.hpp"
#include "python/map_lock.hpp"
#include "python/py.hpp"

namespace vantorel::python {

// Native content of a Python CoverageMap. The pytest-xdist fields are fixed at
// creation; `map` is reached only under map_lock.
struct CoverageMapContent {
    std::optional<std::string> xdist_base_path;
    std::optional<std::string> xdist_location;
    std::optional<deririrore::value::Value> xdist_schema;
    MapLock map_lock;
    CoreMap map;
};

struct CoverageMapObject {
    PyObject_HEAD CoverageMapContent* content;
};

// The CoverageMap type object, created on first use (once per process).
// Returns a borrowed reference, or nullptr with a Python exception set.
PyTypeObject* get_coverage_map_type();

}  // namespace vantorel::python
