#pragma once
// The ECMA-262 pattern syntax scanner: the check of the "regex" format.
#include <string_view>

namespace deririrore::regex {

// True when the text is an acceptable ECMA-262 pattern (Unicode mode, with named groups, inline
// modifiers and duplicate names in different alternatives). Reads the text once, keeps no
// recursion, and never fails in another way.
bool scan_pattern_syntax(std::string_view pattern);

}  // namespace deririrore::regex
