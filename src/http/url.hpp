#pragma once
// Request URLs, parsed as the WHATWG URL Standard parses http and https URLs (other schemes are
// refused): tabs and newlines dropped, backslashes read as slashes, hosts through IDNA (UTS #46)
// or as IPv4/IPv6 addresses, dot segments resolved, each part percent-encoded by its own set.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/value/result.hpp"

namespace http {

enum class UrlError : std::uint8_t {
    MissingScheme,      // a relative reference and no base URL
    UnsupportedScheme,  // a scheme other than http and https
    MissingHost,        // empty host, or credentials with no host after them
    InvalidHost,        // a forbidden code point, or IDNA refused the domain
    InvalidIpv4,
    InvalidIpv6,
    InvalidPort,  // not digits, or above 65535
};

// "empty host", "invalid port number", ...
std::string_view url_error_text(UrlError error) noexcept;

// A parsed URL: its serialisation (href) and the place of every part in it.
class Url {
public:
    const std::string& href() const noexcept { return href_; }
    // "http" or "https".
    std::string_view scheme() const noexcept { return view(0, scheme_end_); }
    std::string_view username() const noexcept { return view(username_start_, username_end_); }
    std::string_view password() const noexcept { return view(password_start_, password_end_); }
    // The serialised host: a lower-case ASCII domain, a dotted-quad, or "[" IPv6 "]".
    std::string_view host() const noexcept { return view(host_start_, host_end_); }
    // Absent when the URL gives none or the scheme's default.
    std::optional<std::uint16_t> port() const noexcept { return port_; }
    // Host and port as written in the URL ("example.com:8080").
    std::string_view host_and_port() const noexcept { return view(host_start_, path_start_); }
    // Always begins with "/"; percent-encoded as parsed.
    std::string_view path() const noexcept { return view(path_start_, query_start_); }
    // Without "?"; none when the URL has no "?" (an empty query is present and empty).
    std::optional<std::string_view> query() const noexcept;
    // Without "#"; none when the URL has no "#".
    std::optional<std::string_view> fragment() const noexcept;
    // Offset of "#" in href, or npos.
    std::size_t fragment_position() const noexcept { return has_fragment_ ? fragment_start_ : std::string::npos; }

    friend bool operator==(const Url& a, const Url& b) noexcept { return a.href_ == b.href_; }

private:
    friend class UrlBuilder;
    std::string_view view(std::size_t begin, std::size_t end) const noexcept {
        return std::string_view(href_).substr(begin, end - begin);
    }

    std::string href_;
    std::size_t scheme_end_ = 0;
    std::size_t username_start_ = 0, username_end_ = 0;
    std::size_t password_start_ = 0, password_end_ = 0;
    std::size_t host_start_ = 0, host_end_ = 0;
    std::size_t path_start_ = 0;
    std::size_t query_start_ = 0;     // of "?", or of "#" / the end when there is no query
    std::size_t fragment_start_ = 0;  // of "#", or the end
    std::optional<std::uint16_t> port_;
    bool has_query_ = false;
    bool has_fragment_ = false;
};

// Parses `input` on its own (`base` null) or relative to `base`.
deririrore::Result<Url, UrlError> parse_url(std::string_view input, const Url* base = nullptr);

// The host parser of the URL Standard for special schemes: a domain to ASCII, or an address,
// serialised. Exposed for the IDNA conformance data.
deririrore::Result<std::string, UrlError> parse_url_host(std::string_view input);

}  // namespace http
