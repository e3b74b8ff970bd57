#pragma once
// The two sides of an exchange read in one order for every client: the converters of each HTTP
// client and CoverageMap.record() differ only in how they read the URL, headers, body and elapsed
// time.
#include <optional>
#include <string>
#include <utility>

#include "http/interaction.hpp"
#include "python/py.hpp"
#include "python/readers.hpp"

namespace vantorel::python {

// The request side shared by every reader of an exchange, in the order of the common road: method,
// URL text, headers, body, then the record (whose URL failure is raised here).
template <typename Url, typename Headers, typename Body>
std::optional<http::RequestRecord> read_request_side(PyObject* request, Url&& url_text, Headers&& headers_of,
                                                     Body&& body_of) {
    auto method = read_request_method(request);
    if (!method) {
        return std::nullopt;
    }
    std::optional<std::string> url = url_text(request);
    if (!url) {
        return std::nullopt;
    }
    std::optional<http::HeaderMap> headers = headers_of(request);
    if (!headers) {
        return std::nullopt;
    }
    std::optional<std::string> body;
    if (!body_of(request, body)) {
        return std::nullopt;
    }
    auto record = http::build_request_record(*method, *url, std::move(body), std::move(*headers));
    if (!record) {
        set_invalid_url_error(*url, record.error());
        return std::nullopt;
    }
    return std::move(*record);
}

// Status, elapsed time, body, headers, in that order.
template <typename Elapsed, typename Body>
std::optional<http::ResponseRecord> read_response_side(PyObject* response, Elapsed&& elapsed_of, Body&& body_of) {
    http::ResponseRecord out;
    auto status = get_status_code(response);
    if (!status) {
        return std::nullopt;
    }
    out.status = *status;
    std::optional<float> elapsed = elapsed_of(response);
    if (!elapsed) {
        return std::nullopt;
    }
    out.elapsed = *elapsed;
    if (!body_of(response, out.body)) {
        return std::nullopt;
    }
    auto headers = extract_headers(response);
    if (!headers) {
        return std::nullopt;
    }
    out.headers = std::move(*headers);
    return out;
}

}  // namespace vantorel::python
