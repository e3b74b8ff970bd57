#include "http/method.hpp"

#include <cstddef>

namespace http {

namespace {

char ascii_upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equals_upper(std::string_view text, std::string_view upper) noexcept {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ascii_upper(text[i]) != upper[i]) return false;
    }
    return true;
}

}  // namespace

HttpMethod parse_method_name(std::string_view text) noexcept {
    for (HttpMethod m : kHttpMethods) {
        if (equals_upper(text, method_name(m))) return m;
    }
    return HttpMethod::None;
}

std::string_view method_name(HttpMethod method) noexcept {
    switch (method) {
        case HttpMethod::Get:
            return "GET";
        case HttpMethod::Put:
            return "PUT";
        case HttpMethod::Query:
            return "QUERY";
        case HttpMethod::Post:
            return "POST";
        case HttpMethod::Delete:
            return "DELETE";
        case HttpMethod::Options:
            return "OPTIONS";
        case HttpMethod::Head:
            return "HEAD";
        case HttpMethod::Patch:
            return "PATCH";
        case HttpMethod::Trace:
            return "TRACE";
        case HttpMethod::None:
            break;
    }
    return {};
}

bool is_http_method(std::uint8_t byte) noexcept { return !method_name(static_cast<HttpMethod>(byte)).empty(); }

}  // namespace http
