#pragma once
// The report methods of CoverageMap: reports as text or files, and the coverage gaps.
#include "python/py.hpp"

namespace vantorel::python {

PyObject* coverage_map_generate_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* coverage_map_save_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* coverage_map_generate_html_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* coverage_map_save_html_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* coverage_map_generate_json_report(PyObject* self, PyObject* unused);
PyObject* coverage_map_save_json_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* coverage_map_generate_markdown_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                                PyObject* kwnames);
PyObject* coverage_map_save_markdown_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* coverage_map_generate_text_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* coverage_map_generate_text_summary(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                             PyObject* kwnames);
PyObject* coverage_map_coverage_gaps(PyObject* self, PyObject* unused);

}  // namespace vantorel::python
