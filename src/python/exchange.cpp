#include "python/exchange.hpp"

#include <cstring>
#include <utility>

#include "http/interaction.hpp"
#include "python/exchange_sides.hpp"
#include "python/readers.hpp"
#include "python/record_step.hpp"

namespace vantorel::python {
namespace {

// The default base URLs of the Werkzeug and Django test clients: their requests carry no host of
// their own that the tests chose.
constexpr std::string_view kWerkzeugBase = "http://localhost";
constexpr std::string_view kDjangoBase = "http://testserver";

bool given(PyObject* argument) { return argument != nullptr && argument != Py_None; }

void append_percent(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
}

std::optional<std::string> str_text(PyObject* value) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value, &size);
    if (data == nullptr) {
        return std::nullopt;
    }
    return std::string(data, static_cast<std::size_t>(size));
}

std::string bytes_text(PyObject* bytes) {
    return std::string(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
}

// Calls `name` without arguments; nullptr with the exception set on failure.
PyRef call_method(PyObject* obj, const char* name) {
    PyRef method_name = PyRef::steal(PyUnicode_FromString(name));
    if (!method_name) {
        return PyRef();
    }
    return PyRef::steal(PyObject_CallMethodNoArgs(obj, method_name.get()));
}

// Pairs of two str from an iterable of items; items of another shape are skipped.
bool read_str_pairs(PyObject* items, http::HeaderMap& out, bool meta) {
    PyRef iterator = PyRef::steal(PyObject_GetIter(items));
    if (!iterator) {
        return false;
    }
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        PyObject* pair = item.get();
        if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) {
            continue;
        }
        PyObject* key = PyTuple_GET_ITEM(pair, 0);
        PyObject* value = PyTuple_GET_ITEM(pair, 1);
        if (!PyUnicode_Check(key) || !PyUnicode_Check(value)) {
            continue;
        }
        auto key_text = str_text(key);
        auto value_text = key_text ? str_text(value) : std::nullopt;
        if (!key_text || !value_text) {
            PyErr_Clear();
            continue;
        }
        if (!meta) {
            out.insert_header(std::move(*key_text), std::move(*value_text));
            continue;
        }
        std::string name;
        if (key_text->size() >= 5 && key_text->compare(0, 5, "HTTP_") == 0) {
            name = key_text->substr(5);
        } else if (*key_text == "CONTENT_TYPE" || *key_text == "CONTENT_LENGTH") {
            name = *key_text;
        } else {
            continue;
        }
        for (char& c : name) {
            if (c == '_') {
                c = '-';
            }
        }
        out.insert_header(std::move(name), std::move(*value_text));
    }
    return PyErr_Occurred() == nullptr;
}

std::optional<http::HeaderMap> read_items_of_attribute(PyObject* obj, const char* attribute, bool meta) {
    PyRef holder = PyRef::steal(PyObject_GetAttrString(obj, attribute));
    if (!holder) {
        return std::nullopt;
    }
    http::HeaderMap out;
    PyRef items = call_method(holder.get(), "items");
    if (!items) {
        PyErr_Clear();
        return out;
    }
    if (!read_str_pairs(items.get(), out, meta)) {
        return std::nullopt;
    }
    return out;
}

// A body through extract_byte_buffer, where an empty one is no body.
bool byte_buffer_body(PyObject* value, std::optional<std::string>& out) {
    std::string bytes;
    if (!extract_byte_buffer(value, bytes)) {
        return false;
    }
    if (!bytes.empty()) {
        out = std::move(bytes);
    }
    return true;
}

// None is no body; exactly bytes is copied (empty stays present); anything else is refused.
bool exact_bytes_body(PyObject* value, std::optional<std::string>& out) {
    if (value == Py_None) {
        return true;
    }
    if (!PyBytes_CheckExact(value)) {
        set_not_instance_error(value, "bytes");
        return false;
    }
    out = bytes_text(value);
    return true;
}

// get_data(); a failure gives no body.
bool werkzeug_body(PyObject* message, std::optional<std::string>& out) {
    PyRef data = call_method(message, "get_data");
    if (!data) {
        PyErr_Clear();
        return true;
    }
    return byte_buffer_body(data.get(), out);
}

// The application has read the test client's request stream by the time the response comes back,
// so get_data() then fails or gives nothing; the test client's input is an in-memory buffer that
// still holds what was sent.
void werkzeug_sent_body(PyObject* request, std::optional<std::string>& out) {
    PyRef environ = PyRef::steal(PyObject_GetAttrString(request, "environ"));
    PyRef input;
    if (environ) {
        input = PyRef::steal(PyMapping_GetItemString(environ.get(), "wsgi.input"));
    }
    PyRef value;
    if (input) {
        value = call_method(input.get(), "getvalue");
    }
    if (value && PyBytes_Check(value.get()) && PyBytes_GET_SIZE(value.get()) > 0) {
        out = bytes_text(value.get());
    }
    PyErr_Clear();
}

bool werkzeug_request_body(PyObject* request, std::optional<std::string>& out) {
    if (!werkzeug_body(request, out)) {
        return false;
    }
    if (!out) {
        werkzeug_sent_body(request, out);
    }
    return true;
}

bool is_raw_post_data_error() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    bool matches = type != nullptr && PyType_Check(type) &&
                   std::strcmp(reinterpret_cast<PyTypeObject*>(type)->tp_name, "RawPostDataException") == 0;
    PyErr_Restore(type, value, traceback);
    return matches;
}

// A view that read a multipart body through request.POST leaves `body` unreadable
// (RawPostDataException); the exchange is then recorded without its body instead of failing the
// test that made it.
bool django_request_body(PyObject* request, std::optional<std::string>& out) {
    PyRef body = PyRef::steal(PyObject_GetAttrString(request, "body"));
    if (!body) {
        if (is_raw_post_data_error()) {
            PyErr_Clear();
            return true;
        }
        return false;
    }
    return byte_buffer_body(body.get(), out);
}

// A streaming response has no `content`, and reading its stream would take it from the test.
bool django_response_body(PyObject* response, std::optional<std::string>& out) {
    PyRef streaming = PyRef::steal(PyObject_GetAttrString(response, "streaming"));
    if (streaming) {
        const int is_streaming = PyObject_IsTrue(streaming.get());
        if (is_streaming < 0) {
            return false;
        }
        if (is_streaming == 1) {
            return true;
        }
    } else {
        PyErr_Clear();
    }
    PyRef content = PyRef::steal(PyObject_GetAttrString(response, "content"));
    if (!content) {
        return false;
    }
    return byte_buffer_body(content.get(), out);
}

bool httpx_content(PyObject* message, std::optional<std::string>& out) {
    PyRef content = PyRef::steal(PyObject_GetAttrString(message, "content"));
    if (!content) {
        return false;
    }
    return exact_bytes_body(content.get(), out);
}

bool httpx_read_content(PyObject* message, std::optional<std::string>& out) {
    if (!call_method(message, "read")) {
        return false;
    }
    return httpx_content(message, out);
}

// A body requests sends as it is (bytes, or str as UTF-8) is recorded; one it streams (a file, a
// generator, any other iterable) cannot be read again after sending and is recorded as absent.
bool requests_request_body(PyObject* request, std::optional<std::string>& out) {
    PyRef body = PyRef::steal(PyObject_GetAttrString(request, "body"));
    if (!body) {
        return false;
    }
    PyObject* value = body.get();
    if (value == Py_None) {
        return true;
    }
    if (PyBytes_Check(value)) {
        out = bytes_text(value);
        return true;
    }
    if (PyByteArray_Check(value)) {
        CriticalSection section(value);
        out = std::string(PyByteArray_AS_STRING(value), static_cast<std::size_t>(PyByteArray_GET_SIZE(value)));
        return true;
    }
    if (PyUnicode_Check(value)) {
        auto text = str_text(value);
        if (!text) {
            return false;
        }
        out = std::move(*text);
    }
    return true;
}

std::optional<float> total_seconds_of_elapsed(PyObject* response) {
    PyRef elapsed = PyRef::steal(PyObject_GetAttrString(response, "elapsed"));
    if (!elapsed) {
        return std::nullopt;
    }
    PyRef seconds = call_method(elapsed.get(), "total_seconds");
    if (!seconds) {
        return std::nullopt;
    }
    return elapsed_from_number(seconds.get());
}

// is_closed under the boolean rule; a non-boolean is a TypeError.
std::optional<bool> read_is_closed(PyObject* response) {
    PyRef closed = PyRef::steal(PyObject_GetAttrString(response, "is_closed"));
    if (!closed) {
        return std::nullopt;
    }
    auto value = boolean_value(closed.get());
    if (!value && PyErr_Occurred() == nullptr) {
        set_not_instance_error(closed.get(), "bool");
    }
    return value;
}

bool finish(PyObject* coverage, http::RequestRecord request, std::optional<http::ResponseRecord> response,
            PyObject* timestamp) {
    http::Interaction interaction;
    interaction.request = std::move(request);
    interaction.response = std::move(response);
    if (given(timestamp)) {
        auto seconds = extract_timestamp(timestamp);
        if (!seconds) {
            return false;
        }
        interaction.timestamp = *seconds;
    } else {
        interaction.timestamp = now_unix_seconds();
    }
    return record_into_map(coverage, interaction);
}

// Base, escaped path, then "?" and the escaped query when there is one.
std::optional<std::string> test_client_url(std::string_view base, PyObject* request,
                                           std::optional<std::string> (*query_of)(PyObject*, bool&)) {
    PyRef path_holder;
    auto path = read_str_attribute(request, "path", path_holder);
    if (!path) {
        return std::nullopt;
    }
    bool failed = false;
    std::optional<std::string> query = query_of(request, failed);
    if (failed) {
        return std::nullopt;
    }
    std::string url(base);
    url += escape_decoded_path(*path);
    if (query && !query->empty()) {
        url += '?';
        url += escape_raw_query(*query);
    }
    return url;
}

std::optional<std::string> werkzeug_query(PyObject* request, bool& failed) {
    PyRef query = PyRef::steal(PyObject_GetAttrString(request, "query_string"));
    if (!query) {
        failed = true;
        return std::nullopt;
    }
    if (!PyBytes_Check(query.get())) {
        set_not_instance_error(query.get(), "bytes");
        failed = true;
        return std::nullopt;
    }
    return decode_utf8_lossy(bytes_text(query.get()));
}

std::optional<std::string> django_query(PyObject* request, bool& failed) {
    PyRef meta = PyRef::steal(PyObject_GetAttrString(request, "META"));
    PyRef key = PyRef::steal(PyUnicode_FromString("QUERY_STRING"));
    PyRef query;
    if (meta && key) {
        query = PyRef::steal(PyObject_GetItem(meta.get(), key.get()));
    }
    if (!query) {
        failed = true;
        return std::nullopt;
    }
    if (!PyUnicode_Check(query.get())) {
        return std::nullopt;
    }
    auto text = str_text(query.get());
    if (!text) {
        PyErr_Clear();
    }
    return text;
}

std::optional<http::ResponseRecord> framework_response(PyObject* response, float elapsed,
                                                       bool (*body_of)(PyObject*, std::optional<std::string>&)) {
    return read_response_side(
        response, [&](PyObject*) { return std::optional<float>(elapsed); }, body_of);
}

}  // namespace

std::string escape_decoded_path(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '%' || c == '?' || c == '#' || c == '\\' || c < 0x20 || c == 0x7F) {
            append_percent(out, c);
        } else {
            out += ch;
        }
    }
    return out;
}

std::string escape_raw_query(std::string_view query) {
    std::string out;
    out.reserve(query.size());
    for (char ch : query) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '#' || c < 0x20 || c == 0x7F) {
            append_percent(out, c);
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<http::HeaderMap> read_header_items(PyObject* request) {
    return read_items_of_attribute(request, "headers", false);
}

std::optional<http::HeaderMap> read_meta_headers(PyObject* request) {
    return read_items_of_attribute(request, "META", true);
}

bool extract_byte_buffer(PyObject* value, std::string& out) {
    out.clear();
    if (PyBytes_Check(value)) {
        out = bytes_text(value);
        return true;
    }
    if (PyByteArray_Check(value)) {
        CriticalSection section(value);
        out.assign(PyByteArray_AS_STRING(value), static_cast<std::size_t>(PyByteArray_GET_SIZE(value)));
        return true;
    }
    if (PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "a str cannot be read as a byte buffer; encode it to bytes first");
        return false;
    }
    if (!PySequence_Check(value)) {
        set_not_instance_error(value, "Sequence");
        return false;
    }
    const Py_ssize_t length = PySequence_Size(value);
    if (length < 0) {
        PyErr_Clear();
    } else {
        out.reserve(static_cast<std::size_t>(length));
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(value));
    if (!iterator) {
        return false;
    }
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        PyRef index = PyRef::steal(PyNumber_Index(item.get()));
        if (!index) {
            return false;
        }
        int overflow = 0;
        const long long byte = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
        if (byte == -1 && PyErr_Occurred() != nullptr) {
            return false;
        }
        if (overflow < 0 || byte < 0) {
            PyErr_SetString(PyExc_OverflowError, "number too small to fit in target type");
            return false;
        }
        if (overflow > 0 || byte > 255) {
            PyErr_SetString(PyExc_OverflowError, "number too large to fit in target type");
            return false;
        }
        out += static_cast<char>(byte);
    }
    return PyErr_Occurred() == nullptr;
}

std::optional<bool> boolean_value(PyObject* value) {
    if (PyBool_Check(value)) {
        return value == Py_True;
    }
    PyTypeObject* type = Py_TYPE(value);
    const char* name = type->tp_name;
    // numpy's scalar types are named "numpy.bool" (2.x) or "numpy.bool_" (1.x).
    if (std::strcmp(name, "numpy.bool") == 0 || std::strcmp(name, "numpy.bool_") == 0) {
        const int truth = PyObject_IsTrue(value);
        if (truth < 0) {
            return std::nullopt;
        }
        return truth == 1;
    }
    return std::nullopt;
}

bool convert_werkzeug_exchange(PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp,
                               float elapsed) {
    auto record = read_request_side(
        request, [](PyObject* r) { return test_client_url(kWerkzeugBase, r, werkzeug_query); }, read_header_items,
        werkzeug_request_body);
    if (!record) {
        return false;
    }
    std::optional<http::ResponseRecord> out;
    if (given(response)) {
        out = framework_response(response, elapsed, werkzeug_body);
        if (!out) {
            return false;
        }
    }
    return finish(coverage, std::move(*record), std::move(out), timestamp);
}

bool convert_django_exchange(PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp,
                             float elapsed) {
    auto record = read_request_side(
        request, [](PyObject* r) { return test_client_url(kDjangoBase, r, django_query); }, read_meta_headers,
        django_request_body);
    if (!record) {
        return false;
    }
    std::optional<http::ResponseRecord> out;
    if (given(response)) {
        out = framework_response(response, elapsed, django_response_body);
        if (!out) {
            return false;
        }
    }
    return finish(coverage, std::move(*record), std::move(out), timestamp);
}

namespace {

std::optional<std::string> httpx_url(PyObject* request) {
    PyRef url = PyRef::steal(PyObject_GetAttrString(request, "url"));
    if (!url) {
        return std::nullopt;
    }
    PyRef text = call_method(url.get(), "__str__");
    if (!text) {
        return std::nullopt;
    }
    if (!PyUnicode_Check(text.get())) {
        set_not_instance_error(text.get(), "str");
        return std::nullopt;
    }
    return str_text(text.get());
}

std::optional<std::string> requests_url(PyObject* request) {
    PyRef holder;
    auto url = read_str_attribute(request, "url", holder);
    if (!url) {
        return std::nullopt;
    }
    return std::string(*url);
}

std::optional<http::RequestRecord> httpx_request_side(PyObject* request) {
    return read_request_side(request, httpx_url, extract_headers, httpx_read_content);
}

}  // namespace

bool convert_httpx_exchange(PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp) {
    auto record = httpx_request_side(request);
    if (!record) {
        return false;
    }
    std::optional<http::ResponseRecord> out;
    if (given(response)) {
        out = read_response_side(
            response,
            [](PyObject* r) -> std::optional<float> {
                if (!call_method(r, "read")) {
                    return std::nullopt;
                }
                return total_seconds_of_elapsed(r);
            },
            httpx_read_content);
        if (!out) {
            return false;
        }
    }
    return finish(coverage, std::move(*record), std::move(out), timestamp);
}

bool convert_closed_httpx_exchange(PyObject* coverage, PyObject* request, PyObject* response) {
    auto record = httpx_request_side(request);
    if (!record) {
        return false;
    }
    auto out = read_response_side(
        response,
        [](PyObject* r) -> std::optional<float> {
            auto closed = read_is_closed(r);
            if (!closed) {
                return std::nullopt;
            }
            if (!*closed) {
                return 0.0f;
            }
            return total_seconds_of_elapsed(r);
        },
        [](PyObject* r, std::optional<std::string>& body) {
            auto closed = read_is_closed(r);
            if (!closed) {
                return false;
            }
            return !*closed || httpx_content(r, body);
        });
    if (!out) {
        return false;
    }
    return finish(coverage, std::move(*record), std::move(out), nullptr);
}

bool convert_requests_exchange(PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp,
                               bool read_body) {
    auto record = read_request_side(request, requests_url, extract_headers, requests_request_body);
    if (!record) {
        return false;
    }
    std::optional<http::ResponseRecord> out;
    if (given(response)) {
        out = read_response_side(
            response, total_seconds_of_elapsed,
            [&](PyObject* r, std::optional<std::string>& body) { return !read_body || httpx_content(r, body); });
        if (!out) {
            return false;
        }
    }
    return finish(coverage, std::move(*record), std::move(out), timestamp);
}

}  // namespace vantorel::python
