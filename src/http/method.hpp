#pragma once
// HTTP methods as one byte each. The values are powers of two apart from QUERY (3, GET | PUT),
// which keeps the byte values that counts exports and labels already store.
#include <array>
#include <cstdint>
#include <string_view>

namespace http {

enum class HttpMethod : std::uint8_t {
    None = 0,
    Get = 1,
    Put = 2,
    Query = 3,
    Post = 4,
    Delete = 8,
    Options = 16,
    Head = 32,
    Patch = 64,
    Trace = 128,
};

// Every method, in byte order.
inline constexpr std::array<HttpMethod, 9> kHttpMethods = {
    HttpMethod::Get,     HttpMethod::Put,  HttpMethod::Query, HttpMethod::Post,  HttpMethod::Delete,
    HttpMethod::Options, HttpMethod::Head, HttpMethod::Patch, HttpMethod::Trace,
};

// The whole text compared with the nine names ignoring ASCII letter case; None otherwise.
HttpMethod parse_method_name(std::string_view text) noexcept;

// The upper-case name ("GET"); the empty text for None and for a byte that is no method.
std::string_view method_name(HttpMethod method) noexcept;

// True for the nine method bytes; false for 0 and every other byte.
bool is_http_method(std::uint8_t byte) noexcept;

}  // namespace http
