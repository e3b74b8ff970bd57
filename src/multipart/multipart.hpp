#pragma once
// multipart/form-data bodies (RFC 7578 over RFC 2046) split into named parts. Strict where it
// matters for counting: a body that does not end in a closing delimiter, a part header block that
// is not a list of HTTP field lines, or more than 32 fields in one part make the whole body
// undecodable rather than half-read.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace multipart {

struct MultipartPart {
    std::optional<std::string> name;          // Content-Disposition's `name`, its three escapes undone
    std::optional<std::string> content_type;  // the part's own Content-Type, as UTF-8 text
    std::string_view body;                    // a view into the request body
};

inline constexpr std::size_t kMaxPartHeaderFields = 32;
// RFC 2046 limits a boundary to 70 characters; a longer one is refused, which also keeps the
// delimiter search linear in the body size.
inline constexpr std::size_t kMaxBoundaryLength = 70;

struct HeaderField {
    std::string_view name;
    std::string_view value;  // without the surrounding optional whitespace
};

// The field lines of a part's header block (`block` runs to the empty line that ends it, which it
// includes). None on a syntax error or a 33rd field.
struct HeaderFields {
    HeaderField fields[kMaxPartHeaderFields];
    std::size_t count = 0;
};
bool parse_header_fields(std::string_view block, HeaderFields& out) noexcept;

// Position of the "--" of the next delimiter ("--" and the boundary) at a line start at or after
// `start` (the line break may begin two bytes before it); a delimiter at position 0 needs none.
std::optional<std::size_t> find_multipart_boundary(std::string_view body, std::string_view boundary,
                                                   std::size_t start) noexcept;

// The parts in body order (possibly none), or none when the body is malformed.
std::optional<std::vector<MultipartPart>> parse_multipart(std::string_view body, std::string_view boundary);

std::optional<std::string> find_part_content_type(const HeaderFields& fields);

// The `name` parameter of a Content-Disposition value: a value, none, or failure when the only
// name given is the extended `name*` form (which RFC 7578 forbids for form-data).
struct DispositionName {
    bool failed = false;
    std::optional<std::string> name;
};
DispositionName parse_disposition_name(std::string_view value);

// Undoes the escapes that browsers write for LF, CR and '"' in field names (WHATWG HTML's
// multipart encoding); any other '%' stays as written.
std::string decode_form_field_name(std::string_view text);

// Bytes as UTF-8, each maximal invalid subsequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view bytes);
void append_utf8_lossy(std::string& out, std::string_view bytes);

}  // namespace multipart
