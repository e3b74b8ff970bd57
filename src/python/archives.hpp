#pragma once
// HarPlugin, VcrPlugin and PostmanPlugin: traffic saved by other tools, recorded into a map.
#include "python/py.hpp"

namespace vantorel::python {

// Each type object is created on first use, once per process; nullptr with the stop exception set
// when it cannot be created.
PyTypeObject* get_har_plugin_type();
PyTypeObject* get_vcr_plugin_type();
PyTypeObject* get_postman_plugin_type();

// The CoverageMap getters: a new plugin bound to the map on every access.
PyObject* coverage_map_har(PyObject* self, void* closure);
PyObject* coverage_map_vcr(PyObject* self, void* closure);
PyObject* coverage_map_postman(PyObject* self, void* closure);

}  // namespace vantorel::python
