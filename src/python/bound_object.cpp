#include "python/bound_object.hpp"

#include <cstring>
#include <string>

#include "python/integrations.hpp"
#include "python/py.hpp"

namespace vantorel::python {

PyTypeObject* type_once(std::atomic<PyObject*>& cell, PyType_Spec& spec, const char* name) {
    PyObject* type = install_once(cell, [&] { return PyType_FromSpec(&spec); });
    if (type == nullptr) {
        PyErr_WriteUnraisable(nullptr);
        PyObject* panic = panic_exception_type();
        PyErr_Format(panic != nullptr ? panic : PyExc_SystemError, "failed to create type object for `%s`", name);
        return nullptr;
    }
    return reinterpret_cast<PyTypeObject*>(type);
}

void bound_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    Py_CLEAR(reinterpret_cast<BoundObject*>(self)->coverage);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* new_bound(PyTypeObject* type, PyObject* coverage) {
    if (type == nullptr) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    reinterpret_cast<BoundObject*>(self)->coverage = Py_NewRef(coverage);
    return self;
}

PyObject* bound_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        static const char* keywords[] = {"coverage", nullptr};
        PyObject* coverage = nullptr;
        // Argument errors name the class without its module, as "O:HarPlugin" does.
        const char* dot = std::strrchr(type->tp_name, '.');
        const std::string format = std::string("O:") + (dot != nullptr ? dot + 1 : type->tp_name);
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), const_cast<char**>(keywords), &coverage)) {
            return nullptr;
        }
        PyRef map = PyRef::steal(extract_coverage_argument(coverage));
        if (!map) return nullptr;
        return new_bound(type, map.get());
    });
}

}  // namespace vantorel::python
