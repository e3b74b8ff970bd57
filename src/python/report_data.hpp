#pragma once
// Report data as built-in Python objects: the JSON report's shapes, built straight from the
// report records (no JSON text in between), and the keywords still lacking full coverage.
#include "python/py.hpp"
#include "vantorel/reports/report_model.hpp"

namespace vantorel::python {

PyObject* coverage_map_build_json_report(PyObject* self, PyObject* unused);
PyObject* coverage_map_operation_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* coverage_map_operation_reports(PyObject* self, PyObject* unused);
PyObject* coverage_map_diagnostics(PyObject* self, PyObject* unused);
PyObject* coverage_map_unmatched_requests(PyObject* self, PyObject* unused);
PyObject* coverage_map_uncovered_keywords(PyObject* self, PyObject* unused);

// One suggestion as the JSON report's suggestion object; a number inside a value becomes the
// number-marker dict. nullptr with the Python error set on failure.
PyObject* suggestion_to_python(const vantorel::reports::Suggestion& suggestion);

}  // namespace vantorel::python
