#pragma once
// CoverageMap.record_drovanterial_interactions: a batch of the API-testing tool's interactions
// imported for one documented operation.
#include "python/py.hpp"

namespace vantorel::python {

// record_drovanterial_interactions(method, path, interactions, labels=None, *, events=True)
PyObject* coverage_map_record_drovanterial_interactions(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                                        PyObject* kwnames);

}  // namespace vantorel::python
