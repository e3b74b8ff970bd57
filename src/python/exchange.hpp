#pragma once
// Turns one exchange of a Python HTTP client or test client into an Interaction and records it.
// Every read happens attached and before the map is locked; the first failure leaves its Python
// exception set and records nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/header_map.hpp"
#include "python/py.hpp"

namespace vantorel::python {

// `response` and `timestamp` may be nullptr or None (no response, the current time). `elapsed`
// belongs to the response and is ignored without one.
bool convert_werkzeug_exchange(PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp,
                               float elapsed);
bool convert_django_exchange(PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp,
                             float elapsed);
bool convert_httpx_exchange(PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp);
// Without `read_body` the response is recorded without its body (one the caller streams).
bool convert_requests_exchange(PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp,
                               bool read_body = true);
// The asynchronous httpx hook's variant: the response's elapsed time and body are read only when
// it is closed, and the time of recording is the current time.
bool convert_closed_httpx_exchange(PyObject* coverage, PyObject* request, PyObject* response);

// A decoded request path made safe to append to a base URL: "%", "?", "#", "\" and control
// characters are percent-encoded, so the parsed URL has exactly this path, decoded once.
std::string escape_decoded_path(std::string_view path);
// A raw query text made safe to append after "?": "#" and control characters are percent-encoded.
std::string escape_raw_query(std::string_view query);

// Werkzeug's request headers: pairs of str from headers.items(); other items are skipped.
std::optional<http::HeaderMap> read_header_items(PyObject* request);
// Django's request headers from META: HTTP_* keys, CONTENT_TYPE and CONTENT_LENGTH.
std::optional<http::HeaderMap> read_meta_headers(PyObject* request);
// bytes, a bytearray, or a sequence of integers 0..255. False with an exception set otherwise.
bool extract_byte_buffer(PyObject* value, std::string& out);
// True or False for a bool or a numpy boolean scalar; nullopt (no exception) for anything else.
std::optional<bool> boolean_value(PyObject* value);

}  // namespace vantorel::python
