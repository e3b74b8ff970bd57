#pragma once
// The two readers behind parse_json, apart so that tests and fuzzers can hold one against the other.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/value/json.hpp"

namespace deririrore::value {

// Reads a well-formed JSON text, nested at most `max_depth` deep, in one pass; nullopt for any
// other text, with no account of why. Accepts exactly what read_json_diagnosed accepts, into the
// same value.
std::optional<Value> read_well_formed_json(std::string_view text, std::size_t max_depth);

// The reader that finds and names the fault in a text (simdjson's on-demand parser underneath):
// what parse_json answers for a text the one-pass reader refuses.
Result<Value, JsonError> read_json_diagnosed(std::string_view text, std::size_t max_depth);

// The first byte at or after `p` that is a quote, a backslash or a control character (or `end`).
const char* skip_plain_string_bytes(const char* p, const char* end) noexcept;

// The end of the JSON number that starts at `p`, or nullptr when no number starts there.
const char* json_number_end(const char* p, const char* end) noexcept;

// Why decode_escape refused an escape.
enum class EscapeFault { Invalid, InvalidUnicode, LoneSurrogate };

// Decodes the escape starting at `p` (a backslash) onto `out`: the position after it, or nullptr
// with `fault` saying why. Surrogate pairs are joined; a lone surrogate is refused.
const char* decode_escape(const char* p, const char* end, std::string& out, EscapeFault& fault);

}  // namespace deririrore::value
