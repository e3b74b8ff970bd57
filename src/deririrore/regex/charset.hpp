#pragma once
// Character sets of tree nodes, computed with ICU: classes, escapes, case-insensitive literals.
#include <string>

#include <unicode/uniset.h>

#include "deririrore/regex/ast.hpp"

namespace deririrore::regex::detail {

// The set a single-character node matches (Literal, Dot, PerlClass, UnicodeClass, Bracketed), with
// its flags applied: case folding first, then negation, as the engines' syntax defines it.
// Fails only for an unknown Unicode property.
bool node_charset(const Tree& tree, const Node& node, icu::UnicodeSet& out, std::string& error);

// Whether a Literal node must be written as a set: case-insensitive with case variants, or a lone
// surrogate, which matches nothing in UTF-8 text.
bool literal_needs_class(const Node& node);

// Surrogate code points are not characters of UTF-8 text; sets never contain them.
void strip_surrogates(icu::UnicodeSet& set);

void add_ecma_whitespace(icu::UnicodeSet& set);

}  // namespace deririrore::regex::detail
