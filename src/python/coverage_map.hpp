#pragma once
#include "python/py.hpp"

#include <mutex>
#include <optional>
#include <string>

namespace vantorel::python {

// Native content of a Python CoverageMap. The pytest-xdist fields are fixed at
// creation; everything else is reached only under map_lock.
struct CoverageMapContent {
    std::optional<std::string> xdist_base_path;
    std::optional<std::string> xdist_location;
    std::mutex map_lock;
    bool poisoned = false;
};

struct CoverageMapObject {
    PyObject_HEAD
    CoverageMapContent* content;
};

// The CoverageMap type object, created on first use (once per process).
// Returns a borrowed reference, or nullptr with a Python exception set.
PyTypeObject* get_coverage_map_type();

}  // namespace vantorel::python
