#pragma once
// One analysis of an ECMA-262 pattern: the class pre-pass, a single parse into the syntax tree,
// the translation outcome derived from it, and whether the engines can compile the tree.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "deririrore/regex/ast.hpp"
#include "deririrore/regex/translate.hpp"

namespace deririrore::regex::detail {

inline constexpr uint32_t kNestLimit = 250;

struct Analysis {
    TranslationKind kind = TranslationKind::Untranslatable;
    std::string translated;  // the new text when kind is Rewritten

    // True when the tree can go to an engine. Untranslatable patterns never can; a pattern
    // whose translation stopped at look-around or a back-reference may still be refused by the
    // engine grammar past that point.
    bool engine_ok = false;
    uint32_t error_offset = 0;  // byte offset into the pattern's parsed text
    std::string error;          // why the pattern is refused
    // The refusal is a repetition count beyond what the engines count: ECMA-262 allows any count,
    // so such a pattern is too large, not invalid.
    bool count_too_large = false;

    Tree tree;
};

// Never fails in another way than by the outcome it describes.
std::shared_ptr<const Analysis> analyze_pattern(std::string_view pattern);

// The nesting depth the engines' syntax counts: groups, repetitions, alternations, concatenations
// and bracketed classes with their unions and operations. With `rewritten`, every class escape
// counts as the bracketed class the translation writes for it.
uint32_t syntax_depth(const Tree& tree, bool rewritten);

}  // namespace deririrore::regex::detail
