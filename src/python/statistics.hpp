#pragma once
// CoverageMap methods that hand the coverage numbers to test code: the statistics as nested
// dicts and the per-dimension threshold check.
#include "python/py.hpp"

namespace vantorel::python {

// statistic()
PyObject* coverage_map_statistic(PyObject* self, PyObject* unused);
// check_thresholds(*, operations=None, parameters=None, keywords=None, examples=None,
//                  responses=None, response_keywords=None, label=None)
PyObject* coverage_map_check_thresholds(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace vantorel::python
