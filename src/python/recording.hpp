#pragma once
// CoverageMap methods that feed traffic into a map, and the counters of what recording could not
// account for.
#include "python/py.hpp"

namespace vantorel::python {

// record(request, response=None, timestamp=None, labels=None)
PyObject* coverage_map_record(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
// record_error(method, path, message)
PyObject* coverage_map_record_error(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

PyObject* coverage_map_dropped_requests(PyObject* self, PyObject* unused);
PyObject* coverage_map_unmatched_overflow(PyObject* self, PyObject* unused);
PyObject* coverage_map_label_overflow(PyObject* self, PyObject* unused);

}  // namespace vantorel::python
