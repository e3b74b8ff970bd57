#include "python/archives.hpp"

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "http/archives.hpp"
#include "python/bound_object.hpp"
#include "python/convert.hpp"
#include "python/integrations.hpp"
#include "python/readers.hpp"
#include "python/record_step.hpp"
#include "vantorel/model/document_text.hpp"

namespace vantorel::python {
namespace {

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
        // Captured bodies saved as "!!binary" (vcrpy's form for bytes) are read as those bytes.
        vantorel::model::YamlLimits yaml;
        yaml.binary_as_bytes = true;
        auto document = run_detached([&] { return vantorel::model::read_document_file(*path, yaml); });
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
        // A cassette parsed by a YAML loader holds the bodies it saved as "!!binary" as bytes: they are
        // read as those bytes, as record_from_path reads them.
        std::optional<deririrore::value::Value> document = python_to_json(bound[0], Format == http::ArchiveFormat::Vcr);
        if (!document) return nullptr;
        return record_document(self, Format, *document);
    });
}

constexpr const char* kArchive[] = {"archive"};
constexpr const char* kCassette[] = {"cassette"};
constexpr const char* kData[] = {"data"};

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
    {Py_tp_new, reinterpret_cast<void*>(bound_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(bound_dealloc)},
    {Py_tp_methods, har_methods},
    {0, nullptr},
};
PyType_Slot vcr_slots[] = {
    {Py_tp_doc, const_cast<char*>("VcrPlugin(coverage)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(bound_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(bound_dealloc)},
    {Py_tp_methods, vcr_methods},
    {0, nullptr},
};
PyType_Slot postman_slots[] = {
    {Py_tp_doc, const_cast<char*>("PostmanPlugin(coverage)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(bound_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(bound_dealloc)},
    {Py_tp_methods, postman_methods},
    {0, nullptr},
};

constexpr unsigned long kFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
PyType_Spec har_spec = {"vantorel_community.HarPlugin", sizeof(BoundObject), 0, kFlags, har_slots};
PyType_Spec vcr_spec = {"vantorel_community.VcrPlugin", sizeof(BoundObject), 0, kFlags, vcr_slots};
PyType_Spec postman_spec = {"vantorel_community.PostmanPlugin", sizeof(BoundObject), 0, kFlags, postman_slots};

PyObject* plugin_for(PyObject* self, PyTypeObject* type) {
    return boundary([&] { return new_bound(type, self); });
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
