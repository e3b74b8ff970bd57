#include "python/readers.hpp"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

#include "http/interaction.hpp"

namespace vantorel::python {
namespace {

std::optional<std::string_view> utf8_view(PyObject* text) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &size);
    if (data == nullptr) {
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

void set_value_error(const std::string& message) {
    PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) {
        PyErr_SetObject(PyExc_ValueError, text.get());
    }
}

}  // namespace

std::string decode_utf8_lossy(std::string_view bytes) {
    PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "replace"));
    if (text) {
        if (auto view = utf8_view(text.get())) {
            return std::string(*view);
        }
    }
    PyErr_Clear();
    return std::string();
}

namespace {

// A header name or value: a str's UTF-8 text, or bytes (as clients such as requests accept them)
// decoded as UTF-8 with invalid sequences replaced. A lone surrogate (text decoded with
// surrogateescape) is replaced too: the exchange has happened, and a header is no reason to lose it.
std::optional<std::string> header_text(PyObject* item) {
    if (PyUnicode_Check(item)) {
        if (auto text = utf8_view(item)) {
            return std::string(*text);
        }
        if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) {
            return std::nullopt;
        }
        PyErr_Clear();
        PyRef encoded = PyRef::steal(PyUnicode_AsEncodedString(item, "utf-8", "surrogatepass"));
        if (!encoded) {
            return std::nullopt;
        }
        return decode_utf8_lossy(std::string_view(PyBytes_AS_STRING(encoded.get()),
                                                  static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get()))));
    }
    if (PyBytes_Check(item)) {
        return decode_utf8_lossy(
            std::string_view(PyBytes_AS_STRING(item), static_cast<std::size_t>(PyBytes_GET_SIZE(item))));
    }
    set_not_instance_error(item, "str");
    return std::nullopt;
}

// Walks the dict in its order inside its critical section: another thread may change it meanwhile.
bool read_header_dict(PyObject* dict, http::HeaderMap& out) {
    CriticalSection section(dict);
    Py_ssize_t pos = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(dict, &pos, &name, &value)) {
        auto name_text = header_text(name);
        if (!name_text) {
            return false;
        }
        auto value_text = header_text(value);
        if (!value_text) {
            return false;
        }
        out.insert_header(std::move(*name_text), std::move(*value_text));
    }
    return true;
}

}  // namespace

std::optional<http::HttpMethod> read_request_method(PyObject* request) {
    PyRef holder;
    auto text = read_str_attribute(request, "method", holder);
    if (!text) {
        return std::nullopt;
    }
    const http::HttpMethod method = http::parse_method_name(*text);
    if (method == http::HttpMethod::None) {
        set_invalid_method_error(*text);
        return std::nullopt;
    }
    return method;
}

std::optional<std::string_view> read_str_attribute(PyObject* obj, const char* attribute, PyRef& holder) {
    holder = PyRef::steal(PyObject_GetAttrString(obj, attribute));
    if (!holder) {
        return std::nullopt;
    }
    if (!PyUnicode_Check(holder.get())) {
        set_not_instance_error(holder.get(), "str");
        return std::nullopt;
    }
    return utf8_view(holder.get());
}

std::optional<http::HeaderMap> extract_headers(PyObject* obj) {
    PyRef headers = PyRef::steal(PyObject_GetAttrString(obj, "headers"));
    if (!headers) {
        return std::nullopt;
    }
    if (!PyDict_CheckExact(headers.get())) {
        PyRef items = PyRef::steal(PyObject_GetAttrString(headers.get(), "items"));
        if (!items) {
            if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
                return std::nullopt;
            }
            PyErr_Clear();
            PyErr_SetString(PyExc_TypeError, "Expected a dictionary for `headers` attribute");
            return std::nullopt;
        }
        PyRef pairs = PyRef::steal(PyObject_CallNoArgs(items.get()));
        PyRef dict = PyRef::steal(PyDict_New());
        if (!pairs || !dict || PyDict_MergeFromSeq2(dict.get(), pairs.get(), 1) < 0) {
            return std::nullopt;
        }
        headers = std::move(dict);
    }
    http::HeaderMap out;
    if (!read_header_dict(headers.get(), out)) {
        return std::nullopt;
    }
    return out;
}

bool get_body(PyObject* obj, std::optional<std::string>& out) {
    out.reset();
    PyRef body = PyRef::steal(PyObject_GetAttrString(obj, "body"));
    if (!body) {
        return false;
    }
    if (body.get() == Py_None) {
        return true;
    }
    if (PyBytes_Check(body.get())) {
        out.emplace(PyBytes_AS_STRING(body.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(body.get())));
        return true;
    }
    if (PyBool_Check(body.get())) {
        out.emplace(body.get() == Py_True ? "true" : "false");
        return true;
    }
    PyRef text = PyRef::steal(PyObject_Str(body.get()));
    if (!text) {
        return false;
    }
    auto view = utf8_view(text.get());
    if (!view) {
        return false;
    }
    out.emplace(*view);
    return true;
}

std::optional<float> get_elapsed_seconds(PyObject* response) {
    PyRef elapsed = PyRef::steal(PyObject_GetAttrString(response, "elapsed"));
    if (!elapsed) {
        return std::nullopt;
    }
    return elapsed_from_number(elapsed.get());
}

std::optional<float> elapsed_from_number(PyObject* elapsed) {
    double seconds = 0;
    if (PyFloat_CheckExact(elapsed)) {
        seconds = PyFloat_AS_DOUBLE(elapsed);
    } else {
        seconds = PyFloat_AsDouble(elapsed);
        if (seconds == -1.0 && PyErr_Occurred() != nullptr) {
            return std::nullopt;
        }
    }
    // Durations are summed per response: one NaN, infinite or negative value would spoil the
    // total for good, and narrowing a double beyond the float range is undefined.
    if (!(seconds >= 0) || seconds > std::numeric_limits<float>::max()) {
        PyRef repr = PyRef::steal(PyFloat_FromDouble(seconds));
        PyErr_Format(PyExc_ValueError, "elapsed must be a finite, non-negative number of seconds, got %R", repr.get());
        return std::nullopt;
    }
    return static_cast<float>(seconds);
}

std::optional<std::uint16_t> get_status_code(PyObject* response) {
    PyRef status = PyRef::steal(PyObject_GetAttrString(response, "status_code"));
    if (!status) {
        return std::nullopt;
    }
    PyRef index = PyRef::steal(PyNumber_Index(status.get()));
    if (!index) {
        return std::nullopt;
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred() != nullptr) {
        return std::nullopt;
    }
    if (overflow < 0 || (overflow == 0 && value < 0)) {
        PyErr_SetString(PyExc_OverflowError, "number too small to fit in target type");
        return std::nullopt;
    }
    if (overflow > 0 || value > 65535) {
        PyErr_SetString(PyExc_OverflowError, "number too large to fit in target type");
        return std::nullopt;
    }
    // Responses are matched by their three digits ("2XX", "404"): a status outside them would be
    // counted under a key that no document can name.
    if (value < 100 || value > 999) {
        PyErr_Format(PyExc_ValueError,
                     "Invalid response status code %lld: an HTTP status has three digits (100 to 999)", value);
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<double> extract_timestamp(PyObject* value) {
    double seconds = 0;
    if (PyFloat_CheckExact(value)) {
        seconds = PyFloat_AS_DOUBLE(value);
    } else if (PyLong_CheckExact(value)) {
        seconds = PyLong_AsDouble(value);
        if (seconds == -1.0 && PyErr_Occurred() != nullptr) {
            return std::nullopt;
        }
    } else {
        set_not_instance_error(value, "int");
        return std::nullopt;
    }
    // First-seen times are written into every report; NaN or an infinity is no time.
    if (!std::isfinite(seconds)) {
        PyErr_Format(PyExc_ValueError, "timestamp must be a finite number of seconds since the Unix epoch, got %R",
                     value);
        return std::nullopt;
    }
    return seconds;
}

double now_unix_seconds() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since_epoch).count();
}

bool LabelTexts::add(PyObject* label) {
    if (!PyUnicode_Check(label)) {
        set_not_instance_error(label, "str");
        return false;
    }
    auto text = utf8_view(label);
    if (!text) {
        return false;
    }
    if (size_ < kInline) {
        inline_refs_[size_] = PyRef::borrow(label);
        inline_texts_[size_] = *text;
        ++size_;
        return true;
    }
    if (overflow_texts_.empty()) {
        overflow_texts_.assign(inline_texts_.begin(), inline_texts_.end());
    }
    overflow_refs_.push_back(PyRef::borrow(label));
    overflow_texts_.push_back(*text);
    return true;
}

bool LabelTexts::collect(PyObject* labels) {
    if (labels == nullptr || labels == Py_None) {
        return true;
    }
    if (PyUnicode_Check(labels)) {
        return add(labels);
    }
    if (PyTuple_Check(labels)) {
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(labels); ++i) {
            if (!add(PyTuple_GET_ITEM(labels, i))) {
                return false;
            }
        }
        return true;
    }
    if (PyList_Check(labels)) {
        CriticalSection section(labels);
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(labels); ++i) {
            if (!add(PyList_GET_ITEM(labels, i))) {
                return false;
            }
        }
        return true;
    }
    PyErr_Format(PyExc_TypeError, "labels must be a str, a list or a tuple of str, not '%s'", Py_TYPE(labels)->tp_name);
    return false;
}

void set_invalid_method_error(std::string_view text) {
    std::string message;
    http::fmt_invalid_method_error(text, message);
    set_value_error(message);
}

void set_invalid_url_error(std::string_view url, http::UrlError error) {
    std::string message = "Invalid request URL `";
    message += url;
    message += "`: ";
    message += http::url_error_text(error);
    if (error == http::UrlError::MissingScheme) {
        message += "; pass an absolute URL such as http://localhost/users";
    }
    set_value_error(message);
}

std::optional<std::string> read_str_lossy(PyObject* obj) {
    if (!PyUnicode_Check(obj)) {
        set_not_instance_error(obj, "str");
        return std::nullopt;
    }
    if (auto text = utf8_view(obj)) {
        return std::string(*text);
    }
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) {
        return std::nullopt;
    }
    PyErr_Clear();
    // Only lone surrogates refuse to encode: write every other code point as UTF-8 and each
    // surrogate as U+FFFD.
    std::string out;
    const Py_ssize_t length = PyUnicode_GET_LENGTH(obj);
    for (Py_ssize_t i = 0; i < length; ++i) {
        Py_UCS4 c = PyUnicode_READ_CHAR(obj, i);
        if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace vantorel::python
