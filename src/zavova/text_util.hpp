#pragma once
// Percent-decoding of reference fragments.
#include <optional>
#include <string>
#include <string_view>

namespace zavova {

// %XX escapes decoded (a '%' without two hex digits after it stays as written); none when the
// result is not UTF-8.
std::optional<std::string> percent_decode_utf8(std::string_view text);
// The same, with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string percent_decode_lossy(std::string_view text);
// Length of the valid UTF-8 sequence at `i`, or 0.
std::size_t utf8_sequence_length(std::string_view s, std::size_t i) noexcept;

}  // namespace zavova
