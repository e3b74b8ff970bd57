#include "python/coverage_map.hpp"

#include <mutex>

namespace vantorel::python {
namespace {

constexpr const char* kCoverageMapDoc =
    "Tracks API test coverage against an `OpenAPI` specification.\n"
    "\n"
    "The main entry point for `Vantorel`. Load your `OpenAPI` spec, record HTTP\n"
    "traffic, and generate coverage reports.\n"
    "\n"
    "Example:\n"
    "```python\n"
    ">>> import vantorel\n"
    ">>> import requests\n"
    ">>> coverage = vantorel.CoverageMap.from_path(\"openapi.json\")\n"
    ">>> session = coverage.requests.track_session(requests.Session())\n"
    ">>> session.get(\"https://api.example.com/users\")\n"
    ">>> coverage.save_report(output_file=\"coverage.html\")\n"
    "```";

void coverage_map_dealloc(PyObject* self) {
    auto* obj = reinterpret_cast<CoverageMapObject*>(self);
    delete obj->content;
    obj->content = nullptr;
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot coverage_map_slots[] = {
    {Py_tp_doc, const_cast<char*>(kCoverageMapDoc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(coverage_map_dealloc)},
    {0, nullptr},
};

PyType_Spec coverage_map_spec = {
    "vantorel_community.CoverageMap",
    sizeof(CoverageMapObject),
    0,
    // Not subclassable and not instantiable: maps come from the class methods.
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    coverage_map_slots,
};

}  // namespace

PyTypeObject* get_coverage_map_type() {
    // Concurrent first callers are serialised so that exactly one type object exists.
    static std::mutex once_lock;
    static PyObject* type = nullptr;
    std::lock_guard<std::mutex> guard(once_lock);
    if (type == nullptr) {
        PyObject* created = PyType_FromSpec(&coverage_map_spec);
        if (created == nullptr) {
            PyErr_WriteUnraisable(nullptr);
            PyErr_SetString(PyExc_SystemError, "failed to create type object for `CoverageMap`");
            return nullptr;
        }
        type = created;
    }
    return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace vantorel::python
