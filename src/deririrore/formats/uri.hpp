#pragma once
// URI and IRI syntax checks (RFC 3986, RFC 3987) and URI templates (RFC 6570).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace deririrore::formats {

enum class UriScan : uint8_t { Invalid = 0, Valid = 1, Undecided = 2 };

// One-pass scan of the RFC 3986 URI (or, without `scheme_required`,
// URI-reference) grammar that does not examine hosts beyond their bytes;
// authorities with "[" or "]" are left Undecided for parse_uri_reference.
UriScan check_uri_rfc3986(std::string_view text, bool scheme_required) noexcept;

// The full grammar: RFC 3986 URI / URI-reference, or with `iri` RFC 3987
// IRI / IRI-reference; with `scheme_required` only the absolute forms.
bool parse_uri_reference(std::string_view text, bool iri, bool scheme_required) noexcept;

bool check_uri(std::string_view text) noexcept;
bool check_uri_reference(std::string_view text) noexcept;
bool check_iri(std::string_view text) noexcept;
bool check_iri_reference(std::string_view text) noexcept;

// RFC 6570 level 4 template syntax.
bool check_uri_template(std::string_view text) noexcept;
// A varspec starting at `pos`: the position after it, or none when there is
// no valid varspec there.
std::optional<std::size_t> parse_varspec(std::string_view text, std::size_t pos) noexcept;

}  // namespace deririrore::formats
