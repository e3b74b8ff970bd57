#include "python/archives.hpp"

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "http/archives.hpp"
#include "python/convert.hpp"
#include "python/integrations.hpp"
#include "python/readers.hpp"
#include "python/record_step.hpp"
#include "vantorel/model/document_text.hpp"

namespace vantorel::python {
namespace {

struct ArchivePlugin {
    PyObject_HEAD PyObject* coverage;
};

PyObject* coverage_of(PyObject* self) { return reinterpret_cast<ArchivePlugin*>(self)->coverage; }

void plugin_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    Py_CLEAR(reinterpret_cast<ArchivePlugin*>(self)->coverage);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* new_plugin(PyTypeObject* type, PyObject* coverage) {
    if (type == nullptr) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    reinterpret_cast<ArchivePlugin*>(self)->coverage = Py_NewRef(coverage);
    return self;
}

template <const char* Format>
PyObject* plugin_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        static const char* keywords[] = {"coverage", nullptr};
        PyObject* coverage = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, Format, const_cast<char**>(keywords), &coverage)) {
            return nullptr;
        }
        PyRef map = PyRef::steal(extract_coverage_argument(coverage));
        if (!map) return nullptr;
        return new_plugin(type, map.get());
    });
}

// Reads every exchange first, so that a malformed document records nothing; then records them one
// by one through the shared recording step. Answers how many were recorded.
PyObject* record_document(PyObject* self, http::ArchiveFormat format, const deririrore::value::Value& document) {
    const double now = now_unix_seconds();
    auto read = run_detached([&] { return http::read_archive(format, document, now); });
    if (!read) {
        const std::string message = read.error().message();
        PyErr_SetString(PyExc_ValueError, message.c_str());
        return nullptr;
    }
    for (const http::Interaction& interaction : read->interactions) {
        if (!record_into_map(coverage_of(self), interaction)) return nullptr;
    }
    return PyLong_FromSize_t(read->interactions.size());
}

// A str or an os.PathLike whose path is a str.
std::optional<std::string> path_text(PyObject* path) {
    PyRef fspath = PyRef::steal(PyOS_FSPath(path));
    if (!fspath) return std::nullopt;
    if (!PyUnicode_Check(fspath.get())) {
        set_not_instance_error(fspath.get(), "str");
        add_processing_note("path");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(fspath.get(), &size);
    if (text == nullptr) return std::nullopt;
    return std::string(text, static_cast<std::size_t>(size));
}

void raise_read_error(const vantorel::model::SpecLoadError& error, const std::string& path,
                      http::ArchiveFormat format) {
    if (const auto* read = std::get_if<vantorel::model::SpecLoadError::Read>(&error.data)) {
        if (read->error.error_number != 0) {
            // OSError(errno, strerror, filename) becomes FileNotFoundError and its kin.
            PyRef args = PyRef::steal(Py_BuildValue("(is#s#)", read->error.error_number, read->error.message.data(),
                                                    static_cast<Py_ssize_t>(read->error.message.size()), path.data(),
                                                    static_cast<Py_ssize_t>(path.size())));
            if (args) PyErr_SetObject(PyExc_OSError, args.get());
            return;
        }
        PyErr_Format(PyExc_OSError, "%s: %s", read->error.message.c_str(), path.c_str());
        return;
    }
    const std::string name(http::archive_format_name(format));
    PyErr_Format(PyExc_ValueError, "Failed to parse %s `%s`: %s", name.c_str(), path.c_str(), error.message().c_str());
}

constexpr const char* kPathPositional[] = {"path"};

template <http::ArchiveFormat Format>
PyObject* record_from_path(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        static constexpr Signature signature{"record_from_path()", kPathPositional, 1, {}};
        PyObject* bound[1];
        if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::string> path = path_text(bound[0]);
        if (!path) return nullptr;
        auto document = run_detached([&] { return vantorel::model::read_document_file(*path); });
        if (!document) {
            raise_read_error(document.error(), *path, Format);
            return nullptr;
        }
        return record_document(self, Format, *document);
    });
}

template <http::ArchiveFormat Format, const char* const* Parameter>
PyObject* record_from_dict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        static constexpr Signature signature{"record_from_dict()", std::span<const char* const>(Parameter, 1), 1, {}};
        PyObject* bound[1];
        if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;
        if (!PyDict_Check(bound[0])) {
            set_not_instance_error(bound[0], "dict");
            add_processing_note(Parameter[0]);
            return nullptr;
        }
        std::optional<deririrore::value::Value> document = python_to_json(bound[0]);
        if (!document) return nullptr;
        return record_document(self, Format, *document);
    });
}

template <typename F>
PyCFunction fastcall(F function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr const char* kArchive[] = {"archive"};
constexpr const char* kCassette[] = {"cassette"};
constexpr const char* kData[] = {"data"};
constexpr char kHarFormat[] = "O:HarPlugin";
constexpr char kVcrFormat[] = "O:VcrPlugin";
constexpr char kPostmanFormat[] = "O:PostmanPlugin";

constexpr const char* kPathDoc = "record_from_path($self, path)\n--\n\n";

PyMethodDef har_methods[] = {
    {"record_from_path", fastcall(record_from_path<http::ArchiveFormat::Har>), METH_FASTCALL | METH_KEYWORDS, kPathDoc},
    {"record_from_dict", fastcall(record_from_dict<http::ArchiveFormat::Har, kArchive>), METH_FASTCALL | METH_KEYWORDS,
     "record_from_dict($self, archive)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};
PyMethodDef vcr_methods[] = {
    {"record_from_path", fastcall(record_from_path<http::ArchiveFormat::Vcr>), METH_FASTCALL | METH_KEYWORDS, kPathDoc},
    {"record_from_dict", fastcall(record_from_dict<http::ArchiveFormat::Vcr, kCassette>), METH_FASTCALL | METH_KEYWORDS,
     "record_from_dict($self, cassette)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};
PyMethodDef postman_methods[] = {
    {"record_from_path", fastcall(record_from_path<http::ArchiveFormat::Postman>), METH_FASTCALL | METH_KEYWORDS,
     kPathDoc},
    {"record_from_dict", fastcall(record_from_dict<http::ArchiveFormat::Postman, kData>), METH_FASTCALL | METH_KEYWORDS,
     "record_from_dict($self, data)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot har_slots[] = {
    {Py_tp_doc, const_cast<char*>("HarPlugin(coverage)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(plugin_new<kHarFormat>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(plugin_dealloc)},
    {Py_tp_methods, har_methods},
    {0, nullptr},
};
PyType_Slot vcr_slots[] = {
    {Py_tp_doc, const_cast<char*>("VcrPlugin(coverage)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(plugin_new<kVcrFormat>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(plugin_dealloc)},
    {Py_tp_methods, vcr_methods},
    {0, nullptr},
};
PyType_Slot postman_slots[] = {
    {Py_tp_doc, const_cast<char*>("PostmanPlugin(coverage)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(plugin_new<kPostmanFormat>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(plugin_dealloc)},
    {Py_tp_methods, postman_methods},
    {0, nullptr},
};

constexpr unsigned long kFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
PyType_Spec har_spec = {"vantorel_community.HarPlugin", sizeof(ArchivePlugin), 0, kFlags, har_slots};
PyType_Spec vcr_spec = {"vantorel_community.VcrPlugin", sizeof(ArchivePlugin), 0, kFlags, vcr_slots};
PyType_Spec postman_spec = {"vantorel_community.PostmanPlugin", sizeof(ArchivePlugin), 0, kFlags, postman_slots};

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

PyObject* plugin_for(PyObject* self, PyTypeObject* type) {
    return boundary([&] { return new_plugin(type, self); });
}

}  // namespace

PyTypeObject* get_har_plugin_type() {
    static std::atomic<PyObject*> cell{nullptr};
    return type_once(cell, har_spec, "HarPlugin");
}
PyTypeObject* get_vcr_plugin_type() {
    static std::atomic<PyObject*> cell{nullptr};
    return type_once(cell, vcr_spec, "VcrPlugin");
}
PyTypeObject* get_postman_plugin_type() {
    static std::atomic<PyObject*> cell{nullptr};
    return type_once(cell, postman_spec, "PostmanPlugin");
}

PyObject* coverage_map_har(PyObject* self, void* /*closure*/) { return plugin_for(self, get_har_plugin_type()); }
PyObject* coverage_map_vcr(PyObject* self, void* /*closure*/) { return plugin_for(self, get_vcr_plugin_type()); }
PyObject* coverage_map_postman(PyObject* self, void* /*closure*/) {
    return plugin_for(self, get_postman_plugin_type());
}

}  // namespace vantorel::python
