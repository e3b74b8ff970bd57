#pragma once
// The small RAII layer over the CPython C API: owned references and a no-op
// stand-in for the free-threading critical sections on interpreters without them.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
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

// A process-wide object created on first use. Creating it runs Python code, so first callers
// do not wait for each other on a native lock while attached: each may create one, the first
// install wins and the others drop theirs. nullptr with a Python exception set when creating fails.
template <typename F>
PyObject* install_once(std::atomic<PyObject*>& cell, F&& create) {
    PyObject* existing = cell.load(std::memory_order_acquire);
    if (existing != nullptr) {
        return existing;
    }
    PyObject* created = create();
    if (created == nullptr) {
        return nullptr;
    }
    if (!cell.compare_exchange_strong(existing, created, std::memory_order_acq_rel)) {
        Py_DECREF(created);
        return existing;
    }
    return created;
}

// "'{type}' object is not an instance of '{expected}'", the TypeError of every argument check.
inline void set_not_instance_error(PyObject* obj, const char* expected) {
    if (obj == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
        return;
    }
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of '%s'", Py_TYPE(obj)->tp_name, expected);
}

// Adds "while processing '{name}'" to the exception being raised, as every argument
// conversion failure carries it.
void add_processing_note(const char* name);

// The exception for an unexpected internal stop: derived from BaseException, so that
// ordinary `except Exception` handlers do not swallow it. Borrowed; nullptr only if the
// class cannot be created (a Python exception is then set).
PyObject* panic_exception_type();

// Turns the C++ exception being handled into a PanicException (a Python error marker follows).
void raise_panic_from_current_exception() noexcept;

// Runs a member body at the boundary: a C++ exception escaping it (a broken invariant)
// becomes PanicException; locks held by the body are released by their guards on the way out.
template <typename F>
PyObject* boundary(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        raise_panic_from_current_exception();
        return nullptr;
    }
}

// Releases the thread state for the lifetime of the guard: native work runs while other
// Python threads (and the garbage collector) proceed. No Python object may be touched inside.
class Detached {
public:
    Detached() : state_(PyEval_SaveThread()) {}
    ~Detached() { PyEval_RestoreThread(state_); }
    Detached(const Detached&) = delete;
    Detached& operator=(const Detached&) = delete;

private:
    PyThreadState* state_;
};

// Runs `work` detached and returns its result.
template <typename F>
auto run_detached(F&& work) {
    Detached detached;
    return work();
}

// The parameters of one member, for binding a fast call with keywords.
struct KeywordParam {
    const char* name;
    bool required;
};
struct Signature {
    const char* qualified_name;  // "CoverageMap.from_path()"
    std::span<const char* const> positional;
    std::size_t required_positional;
    std::span<const KeywordParam> keyword_only;
};

// Binds a vectorcall's arguments to `sig`: `out` receives positional then keyword-only
// parameters in order, borrowed, nullptr where absent. False with TypeError set on failure,
// with the interpreter's own messages.
bool bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    std::span<PyObject*> out);

// `None`/absent to nullopt, a str to its UTF-8 text; else TypeError with the note for `name`.
bool read_optional_text(PyObject* obj, const char* name, std::optional<std::string>& out);

}  // namespace vantorel::python
