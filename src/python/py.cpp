#include "python/py.hpp"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace vantorel::python {

void add_processing_note(const char* name) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr) {
        PyRef note = PyRef::steal(PyUnicode_FromFormat("while processing '%s'", name));
        PyRef result;
        if (note) {
            result = PyRef::steal(PyObject_CallMethod(value, "add_note", "O", note.get()));
        }
        if (!result) {
            // A failing note must not replace the conversion error itself.
            PyErr_Clear();
        }
    }
    PyErr_Restore(type, value, traceback);
}

PyObject* panic_exception_type() {
    static std::atomic<PyObject*> cell{nullptr};
    PyObject* type = install_once(cell, [] {
        return PyErr_NewExceptionWithDoc(
            "vantorel_community.PanicException",
            "Raised when native code called from Python stops unexpectedly.\n\n"
            "It derives from BaseException, so it usually propagates all the way up and ends the "
            "interpreter.",
            PyExc_BaseException, nullptr);
    });
    if (type == nullptr) {
        PyErr_WriteUnraisable(nullptr);
    }
    return type;
}

void raise_panic_from_current_exception() noexcept {
    try {
        std::string message = "native code stopped unexpectedly";
        try {
            throw;
        } catch (const std::exception& e) {
            if (e.what() != nullptr && *e.what() != '\0') {
                message = e.what();
            }
        } catch (...) {
        }
        PyObject* type = panic_exception_type();
        if (type == nullptr) {
            PyErr_SetString(PyExc_SystemError, message.c_str());
            return;
        }
        PyErr_SetString(type, message.c_str());
    } catch (...) {
        std::fputs("uncaught panic at ffi boundary\n", stderr);
        std::abort();
    }
}

namespace {

std::string quoted_list(const std::vector<const char*>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            out += names.size() > 2 ? ", " : " ";
            if (i + 1 == names.size()) {
                out += "and ";
            }
        }
        out += '\'';
        out += names[i];
        out += '\'';
    }
    return out;
}

}  // namespace

bool bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    std::span<PyObject*> out) {
    const std::size_t npos = sig.positional.size();
    for (PyObject*& slot : out) {
        slot = nullptr;
    }
    if (static_cast<std::size_t>(nargs) > npos) {
        const char* verb = nargs == 1 ? "was" : "were";
        if (sig.required_positional == npos) {
            PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given", sig.qualified_name,
                         npos, nargs, verb);
        } else {
            PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given",
                         sig.qualified_name, sig.required_positional, npos, nargs, verb);
        }
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        out[static_cast<std::size_t>(i)] = args[i];
    }
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        const char* name = PyUnicode_AsUTF8(key);
        if (name == nullptr) {
            return false;
        }
        PyObject* value = args[nargs + k];
        bool found = false;
        for (std::size_t j = 0; j < sig.keyword_only.size(); ++j) {
            if (std::strcmp(sig.keyword_only[j].name, name) == 0) {
                out[npos + j] = value;
                found = true;
                break;
            }
        }
        for (std::size_t j = 0; !found && j < npos; ++j) {
            if (std::strcmp(sig.positional[j], name) == 0) {
                if (out[j] != nullptr) {
                    PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", sig.qualified_name, name);
                    return false;
                }
                out[j] = value;
                found = true;
            }
        }
        if (!found) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%s'", sig.qualified_name, name);
            return false;
        }
    }
    std::vector<const char*> missing;
    for (std::size_t j = 0; j < sig.required_positional; ++j) {
        if (out[j] == nullptr) {
            missing.push_back(sig.positional[j]);
        }
    }
    const char* kind = "positional";
    if (missing.empty()) {
        kind = "keyword";
        for (std::size_t j = 0; j < sig.keyword_only.size(); ++j) {
            if (sig.keyword_only[j].required && out[npos + j] == nullptr) {
                missing.push_back(sig.keyword_only[j].name);
            }
        }
    }
    if (!missing.empty()) {
        PyErr_Format(PyExc_TypeError, "%s missing %zu required %s %s: %s", sig.qualified_name, missing.size(), kind,
                     missing.size() == 1 ? "argument" : "arguments", quoted_list(missing).c_str());
        return false;
    }
    return true;
}

bool read_optional_text(PyObject* obj, const char* name, std::optional<std::string>& out) {
    out.reset();
    if (obj == nullptr || obj == Py_None) {
        return true;
    }
    if (!PyUnicode_Check(obj)) {
        set_not_instance_error(obj, "str");
        add_processing_note(name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(obj, &size);
    if (text == nullptr) {
        add_processing_note(name);
        return false;
    }
    out.emplace(text, static_cast<std::size_t>(size));
    return true;
}

}  // namespace vantorel::python
