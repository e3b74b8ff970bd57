#pragma once
// Percent-decoding of reference fragments.
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"

namespace zavova {

// %XX escapes decoded (a '%' without two hex digits after it stays as written); none when the
// result is not UTF-8.
std::optional<std::string> percent_decode_utf8(std::string_view text);
// The same, with every byte sequence that is not UTF-8 replaced by U+FFFD.
using deririrore::value::percent_decode_lossy;
// Length of the valid UTF-8 sequence at `i`, or 0.
using deririrore::value::utf8_sequence_length;

}  // namespace zavova
