#pragma once
// CoverageMap.from_url: a map built from an API document fetched over HTTP or HTTPS.
#include "python/py.hpp"

namespace vantorel::python {

// from_url($cls, url, *, base_path=None)
PyObject* coverage_map_from_url(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace vantorel::python
