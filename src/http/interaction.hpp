#pragma once
// One recorded exchange as the coverage core reads it: built once from the caller's objects,
// read while recording, then dropped.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/value/result.hpp"
#include "http/header_map.hpp"
#include "http/method.hpp"
#include "http/url.hpp"

namespace http {

struct RequestRecord {
    Url url;
    std::optional<std::string> body;  // absent differs from present and empty
    HeaderMap headers;
    HttpMethod method = HttpMethod::None;
};

struct ResponseRecord {
    std::optional<std::string> body;
    HeaderMap headers;
    float elapsed = 0;  // seconds between request and response
    std::uint16_t status = 0;
};

struct Interaction {
    RequestRecord request;
    std::optional<ResponseRecord> response;
    double timestamp = 0;  // seconds since the Unix epoch
};

// Parses the URL on its own (no base): a relative reference, an empty host or a bad port fail,
// and the body and headers are dropped with the failure.
deririrore::Result<RequestRecord, UrlError> build_request_record(HttpMethod method, std::string_view url,
                                                                 std::optional<std::string> body, HeaderMap headers);

// Appends "Invalid HTTP method: TEXT. Possible values: GET, PUT, ..., QUERY" to `out`; QUERY comes
// last there, unlike in the byte order.
void fmt_invalid_method_error(std::string_view text, std::string& out);

}  // namespace http
