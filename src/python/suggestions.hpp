#pragma once
// CoverageMap.suggestions(): requests that would reach the keyword checks left uncovered.
#include "python/py.hpp"

namespace vantorel::python {

PyObject* coverage_map_suggestions(PyObject* self, PyObject* unused);

}  // namespace vantorel::python
