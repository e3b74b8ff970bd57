#pragma once
// One string a pattern matches, for the search for sample values.
#include <optional>
#include <string>
#include <string_view>

namespace deririrore::regex {

// A text the pattern matches, built depth first from the pattern's simplified form: the first
// alternative that works, each repetition at its minimum count, 'a' or the first character of
// each class. None for untranslatable patterns, look-around and back-references, a repetition
// minimum above 64, an empty class, or a node entered with more than 256 bytes already built.
std::optional<std::string> pattern_witness(std::string_view pattern);

}  // namespace deririrore::regex
