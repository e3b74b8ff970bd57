#pragma once
// The small RAII layer over the CPython C API: owned references and a no-op
// stand-in for the free-threading critical sections on interpreters without them.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace vantorel::python {

// An owned (strong) reference; releases it on destruction.
class PyRef {
public:
    PyRef() = default;
    static PyRef steal(PyObject* o) { return PyRef(o); }
    static PyRef borrow(PyObject* o) {
        Py_XINCREF(o);
        return PyRef(o);
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(obj_);
            obj_ = std::exchange(other.obj_, nullptr);
        }
        return *this;
    }
    ~PyRef() { Py_XDECREF(obj_); }

    PyObject* get() const noexcept { return obj_; }
    PyObject* release() noexcept { return std::exchange(obj_, nullptr); }
    explicit operator bool() const noexcept { return obj_ != nullptr; }

private:
    explicit PyRef(PyObject* o) : obj_(o) {}
    PyObject* obj_ = nullptr;
};

// Holds a per-object critical section where the interpreter has them (free-threaded
// builds); elsewhere the interpreter lock already serialises access.
class CriticalSection {
public:
    explicit CriticalSection([[maybe_unused]] PyObject* o) {
#ifdef Py_GIL_DISABLED
        PyCriticalSection_Begin(&cs_, o);
#endif
    }
    ~CriticalSection() {
#ifdef Py_GIL_DISABLED
        PyCriticalSection_End(&cs_);
#endif
    }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

private:
#ifdef Py_GIL_DISABLED
    PyCriticalSection cs_;
#endif
};

// "'{type}' object is not an instance of '{expected}'", the TypeError of every argument check.
inline void set_not_instance_error(PyObject* obj, const char* expected) {
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of '%s'", Py_TYPE(obj)->tp_name, expected);
}

}  // namespace vantorel::python
