#pragma once
// Reading JSON text into a Value, and writing a Value back as compact JSON.
#include <cstddef>
#include <string>
#include <string_view>

#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::value {

struct JsonError {
    std::string message;
    // Byte offset into the input where the problem was found; npos when unknown.
    std::size_t offset = std::string::npos;
};

inline constexpr std::size_t kDefaultMaxJsonDepth = 512;

// Parses one JSON text (RFC 8259, UTF-8). Numbers keep their exact source text;
// object members end up sorted by key, a later duplicate key winning. Nesting
// deeper than `max_depth` arrays/objects is an error.
Result<Value, JsonError> parse_json(std::string_view text, std::size_t max_depth = kDefaultMaxJsonDepth);

// Compact JSON, number texts written as held, non-ASCII written as UTF-8.
std::string to_json(const Value& v);
void append_json(std::string& out, const Value& v);
// Appends `s` as a quoted JSON string.
void append_json_string(std::string& out, std::string_view s);

}  // namespace deririrore::value
