#pragma once
// The objects that hold nothing but the coverage map they record into (the client plugins,
// the archive importers and the response hooks): one layout, constructor and deallocator.
#include <Python.h>

#include <atomic>

namespace vantorel::python {

// A METH_FASTCALL function as the PyCFunction a method table holds.
template <typename F>
PyCFunction fastcall(F function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// The type object of `spec`, created on the first call through `cell`; a failure is printed and
// becomes the stop exception (PanicException), with `name` in its message.
PyTypeObject* type_once(std::atomic<PyObject*>& cell, PyType_Spec& spec, const char* name);

struct BoundObject {
    PyObject_HEAD PyObject* coverage;
};

inline PyObject* coverage_of(PyObject* self) { return reinterpret_cast<BoundObject*>(self)->coverage; }

void bound_dealloc(PyObject* self);
// A new instance of `type` holding a new reference to `coverage`; null with the error set.
PyObject* new_bound(PyTypeObject* type, PyObject* coverage);
// The constructor of every such class: its only argument is `coverage`, a CoverageMap.
PyObject* bound_new(PyTypeObject* type, PyObject* args, PyObject* kwargs);

}  // namespace vantorel::python
