#pragma once
// Percent-decoding of URL and reference texts, at the byte level.
#include <string>
#include <string_view>

namespace deririrore::value {

// Each "%XX" (two hex digits of either case) becomes its byte; a '%' without two hex digits after
// it stays as written. The result may not be UTF-8: callers that need text check it.
std::string percent_decode(std::string_view text);

}  // namespace deririrore::value
