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

// A new CoverageMap object holding `map`; inside a pytest-xdist worker it also keeps the
// arguments and the document, for the controller to rebuild the map. nullptr with an exception set.
PyObject* new_coverage_map_object(CoreMap map, std::optional<std::string> base_path,
                                  std::optional<std::string> location, deririrore::value::Value document);

// The CoverageMap type object, created on first use (once per process).
// Returns a borrowed reference, or nullptr with a Python exception set.
PyTypeObject* get_coverage_map_type();

}  // namespace vantorel::python
