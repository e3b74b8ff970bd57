#pragma once
// ECMA-262 pattern translation into the engines' syntax.
#include <string>
#include <string_view>

namespace deririrore::regex {

enum class TranslationKind : unsigned char {
    Unchanged,       // the pattern itself is valid in the engines' syntax and means the same
    Rewritten,       // `text` holds the new pattern
    Untranslatable,  // no equivalent text exists
};

struct Translation {
    TranslationKind kind = TranslationKind::Untranslatable;
    std::string text;  // only for Rewritten
};

// Escapes '[', "&&", "~~" and dashes next to dashes inside classes, repairs "\cX", writes the
// class escapes \d \D \w \W \s \S out as explicit classes, and refuses what the engines' syntax
// cannot read. Pure; linear in the pattern's length.
Translation translate_ecma_pattern(std::string_view pattern);

// The ten ranges of the ECMA-262 white-space set, in the form the translation writes for "\s".
inline constexpr std::string_view kWhitespaceRanges =
    "\\x{9}-\\x{d}\\x{20}-\\x{20}\\x{a0}-\\x{a0}\\x{1680}-\\x{1680}\\x{2000}-\\x{200a}"
    "\\x{2028}-\\x{2029}\\x{202f}-\\x{202f}\\x{205f}-\\x{205f}\\x{3000}-\\x{3000}\\x{feff}-\\x{feff}";

}  // namespace deririrore::regex
