#pragma once
// Does an ECMA-262 pattern, used as JSON Schema's `pattern` (a search, not a full match), match
// every string, or none? Read with the engine's one ECMA-262 parser; a pattern it refuses, or one
// with look-around or back-references, is neither. Both answers are sound: a true answer is
// never given for a pattern that some string can make differ.
#include <string_view>

namespace zavova {

bool is_universal_pattern(std::string_view pattern);
bool is_unsatisfiable_pattern(std::string_view pattern);

}  // namespace zavova
