#pragma once
// The classes that attach a CoverageMap to HTTP clients and test clients: requests sessions, httpx
// clients, Django's and Werkzeug's (and so Flask's) test clients.
#include "python/py.hpp"

namespace vantorel::python {

// Each type object is created on first use, once per process; nullptr with the stop exception set
// when it cannot be created.
PyTypeObject* get_requests_plugin_type();
PyTypeObject* get_response_hook_type();
PyTypeObject* get_httpx_plugin_type();
PyTypeObject* get_sync_response_hook_type();
PyTypeObject* get_async_response_hook_type();
PyTypeObject* get_async_response_hook_awaitable_type();
PyTypeObject* get_django_plugin_type();
PyTypeObject* get_method_wrapper_type();
PyTypeObject* get_async_method_wrapper_type();
PyTypeObject* get_async_method_call_awaitable_type();
PyTypeObject* get_flask_plugin_type();
PyTypeObject* get_open_wrapper_type();

// A new reference to `coverage` when it is a CoverageMap (or subclass) instance; otherwise nullptr
// with the TypeError that names the parameter `coverage`.
PyObject* extract_coverage_argument(PyObject* coverage);

// The CoverageMap getters: a new plugin bound to the map on every access.
PyObject* coverage_map_requests(PyObject* self, void* closure);
PyObject* coverage_map_httpx(PyObject* self, void* closure);
PyObject* coverage_map_django(PyObject* self, void* closure);
PyObject* coverage_map_flask(PyObject* self, void* closure);

}  // namespace vantorel::python
