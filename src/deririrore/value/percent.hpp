#pragma once
// Percent-decoding of URL and reference texts, at the byte level.
#include <string>
#include <string_view>

namespace deririrore::value {

// Each "%XX" (two hex digits of either case) becomes its byte; a '%' without two hex digits after
// it stays as written; with `plus_as_space` (form encoding) a '+' becomes a space. The result may
// not be UTF-8: callers that need text check it.
std::string percent_decode(std::string_view text, bool plus_as_space = false);

// percent_decode, then every byte that begins no well-formed UTF-8 sequence replaced by U+FFFD.
std::string percent_decode_lossy(std::string_view text);

// The value of a hexadecimal digit of either case, or -1.
int hex_digit_value(char c) noexcept;

}  // namespace deririrore::value
