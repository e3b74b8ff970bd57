#include "http/interaction.hpp"

#include <utility>

namespace http {

deririrore::Result<RequestRecord, UrlError> build_request_record(HttpMethod method, std::string_view url,
                                                                 std::optional<std::string> body, HeaderMap headers) {
    auto parsed = parse_url(url);
    if (!parsed) return deririrore::make_unexpected(parsed.error());
    return RequestRecord{std::move(*parsed), std::move(body), std::move(headers), method};
}

void fmt_invalid_method_error(std::string_view text, std::string& out) {
    out += "Invalid HTTP method: ";
    out += text;
    out += ". Possible values: GET, PUT, POST, DELETE, OPTIONS, HEAD, PATCH, TRACE, QUERY";
}

}  // namespace http
