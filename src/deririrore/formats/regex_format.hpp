#pragma once
// The "regex" format: whether a text is an acceptable ECMA-262 pattern.
#include <string_view>

namespace deririrore::formats {

// Decided by the pattern syntax scanner, uncached.
bool is_valid_regex_format(std::string_view pattern);
// The same, remembered per thread: at most 16 patterns, the oldest replaced first.
bool is_valid_regex_cached(std::string_view pattern);

}  // namespace deririrore::formats
