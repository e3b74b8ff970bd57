#include "python/drovanterial.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "http/interaction.hpp"
#include "python/coverage_map.hpp"
#include "python/readers.hpp"
#include "vantorel/recorders/interaction_import.hpp"

namespace vantorel::python {
namespace {

constexpr const char* kPositional[] = {"method", "path", "interactions", "labels"};
constexpr KeywordParam kKeywords[] = {{"events", false}};
constexpr Signature kSignature{"CoverageMap.record_drovanterial_interactions()", kPositional, 3, kKeywords};

// Replaces the exception being raised by ValueError "Error parsing interaction at index {i}: {type}: {text}".
void wrap_item_error(Py_ssize_t index) {
#if PY_VERSION_HEX >= 0x030C0000
    PyRef raised = PyRef::steal(PyErr_GetRaisedException());
#else
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    PyRef raised = PyRef::steal(value);
#endif
    if (!raised) {
        PyErr_Format(PyExc_ValueError, "Error parsing interaction at index %zd: unknown error", index);
        return;
    }
    PyRef text = PyRef::steal(PyObject_Str(raised.get()));
    if (!text) {
        PyErr_Clear();
        text = PyRef::steal(PyUnicode_FromString("<unprintable>"));
        if (!text) return;
    }
    PyErr_Format(PyExc_ValueError, "Error parsing interaction at index %zd: %s: %U", index,
                 Py_TYPE(raised.get())->tp_name, text.get());
}

// Reads one interaction. nullopt with the exception to raise set; `wrap` tells whether it still
// needs the "Error parsing interaction" wrapping (every failure but the URL type check).
std::optional<http::Interaction> read_item(PyObject* item, Py_ssize_t index, http::HttpMethod method, bool& wrap) {
    wrap = true;
    PyRef request = PyRef::steal(PyObject_GetAttrString(item, "request"));
    if (!request) return std::nullopt;
    PyRef url = PyRef::steal(PyObject_GetAttrString(request.get(), "url"));
    if (!url) return std::nullopt;
    if (!PyUnicode_CheckExact(url.get())) {
        wrap = false;
        PyErr_Format(PyExc_TypeError, "interactions[%zd].request.url must be a str, got %s", index,
                     Py_TYPE(url.get())->tp_name != nullptr ? Py_TYPE(url.get())->tp_name : "unknown");
        return std::nullopt;
    }
    Py_ssize_t url_size = 0;
    const char* url_text = PyUnicode_AsUTF8AndSize(url.get(), &url_size);
    if (url_text == nullptr) return std::nullopt;
    const std::string_view url_view(url_text, static_cast<std::size_t>(url_size));
    std::optional<std::string> body;
    if (!get_body(request.get(), body)) return std::nullopt;
    auto headers = extract_headers(request.get());
    if (!headers) return std::nullopt;
    auto record = http::build_request_record(method, url_view, std::move(body), std::move(*headers));
    if (!record) {
        set_invalid_url_error(url_view, record.error());
        return std::nullopt;
    }
    http::Interaction interaction;
    interaction.request = std::move(*record);
    PyRef response = PyRef::steal(PyObject_GetAttrString(item, "response"));
    if (!response) return std::nullopt;
    if (response.get() != Py_None) {
        http::ResponseRecord out;
        auto status = get_status_code(response.get());
        if (!status) return std::nullopt;
        out.status = *status;
        auto elapsed = get_elapsed_seconds(response.get());
        if (!elapsed) return std::nullopt;
        out.elapsed = *elapsed;
        if (!get_body(response.get(), out.body)) return std::nullopt;
        auto response_headers = extract_headers(response.get());
        if (!response_headers) return std::nullopt;
        out.headers = std::move(*response_headers);
        interaction.response = std::move(out);
    }
    PyRef timestamp = PyRef::steal(PyObject_GetAttrString(item, "timestamp"));
    if (!timestamp) return std::nullopt;
    auto time = extract_timestamp(timestamp.get());
    if (!time) return std::nullopt;
    interaction.timestamp = *time;
    return interaction;
}

// Item i of the list as a new reference, or nullptr once i reaches its current length.
PyRef list_item(PyObject* list, Py_ssize_t i) {
    CriticalSection section(list);
    if (i >= PyList_GET_SIZE(list)) return PyRef();
    return PyRef::borrow(PyList_GET_ITEM(list, i));
}

PyObject* events_to_python(const std::vector<vantorel::recorders::ImportEvent>& events) {
    PyRef result = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(events.size())));
    if (!result) return nullptr;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const std::string_view outcome = vantorel::recorders::import_outcome_name(events[i].outcome);
        PyObject* pair = Py_BuildValue("(s#s#)", events[i].name.data(), static_cast<Py_ssize_t>(events[i].name.size()),
                                       outcome.data(), static_cast<Py_ssize_t>(outcome.size()));
        if (pair == nullptr) return nullptr;
        PyList_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), pair);
    }
    return result.release();
}

}  // namespace

PyObject* coverage_map_record_drovanterial_interactions(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                                        PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[5];
        if (!bind_arguments(kSignature, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::string> method_text = read_str_lossy(bound[0]);
        if (!method_text) {
            add_processing_note("method");
            return nullptr;
        }
        std::optional<std::string> path = read_str_lossy(bound[1]);
        if (!path) {
            add_processing_note("path");
            return nullptr;
        }
        PyObject* list = bound[2];
        if (!PyList_Check(list)) {
            set_not_instance_error(list, "list");
            add_processing_note("interactions");
            return nullptr;
        }
        // The labels' kind is an argument check and comes in argument order, before any item is
        // read; their texts are taken once the batch has been read.
        PyObject* label_arg = bound[3];
        if (label_arg != nullptr && label_arg != Py_None && !PyUnicode_Check(label_arg) && !PyList_Check(label_arg) &&
            !PyTuple_Check(label_arg)) {
            PyErr_Format(PyExc_TypeError, "labels must be a str, a list or a tuple of str, not '%s'",
                         Py_TYPE(label_arg)->tp_name);
            add_processing_note("labels");
            return nullptr;
        }
        bool events = true;
        if (bound[4] != nullptr) {
            if (!PyBool_Check(bound[4])) {
                set_not_instance_error(bound[4], "bool");
                add_processing_note("events");
                return nullptr;
            }
            events = bound[4] == Py_True;
        }
        const http::HttpMethod method = http::parse_method_name(*method_text);
        if (method == http::HttpMethod::None) {
            set_invalid_method_error(*method_text);
            return nullptr;
        }
        Py_ssize_t count = 0;
        {
            CriticalSection section(list);
            count = PyList_GET_SIZE(list);
        }
        std::vector<http::Interaction> batch;
        batch.reserve(static_cast<std::size_t>(count));
        for (Py_ssize_t i = 0; i < count; ++i) {
            PyRef item = list_item(list, i);
            if (!item) break;
            bool wrap = true;
            auto interaction = read_item(item.get(), i, method, wrap);
            if (!interaction) {
                if (wrap) wrap_item_error(i);
                return nullptr;
            }
            batch.push_back(std::move(*interaction));
        }
        LabelTexts labels;
        if (!labels.collect(bound[3])) return nullptr;
        CoverageMapContent& content = *reinterpret_cast<CoverageMapObject*>(self)->content;
        auto imported = with_map_detached(content.map_lock, content.map, [&](CoreMap& map) {
            return vantorel::recorders::import_interactions(map, method, *path, batch, events, labels.texts());
        });
        if (!imported) return nullptr;
        return events_to_python(*imported);
    });
}

}  // namespace vantorel::python
