#pragma once
// The compilation's pattern cache, as the keyword compile functions reach it: one
// regex::RegexCache kept in the compilation's shared state, so that every keyword that uses a
// pattern (`pattern`, `patternProperties`, `additionalProperties` beside patterns, the
// unevaluated keywords) shares one compiled pattern per engine.
#include <memory>
#include <string_view>

#include "deririrore/keywords/compile.hpp"
#include "deririrore/regex/cache.hpp"
#include "deririrore/regex/engine.hpp"

namespace deririrore::keywords {

// The options' engine choice in the regex library's terms.
regex::PatternOptions regex_pattern_options(const core::PatternOptions& options);

regex::RegexCache& compilation_regex_cache(const CompileContext& ctx);

// The pattern (ECMA-262, as written in the schema) compiled by one engine with the options'
// limits; null when it cannot be translated or the engine refuses it.
std::shared_ptr<const regex::AutomatonRegex> compile_regex_cached(const CompileContext& ctx, std::string_view pattern);
std::shared_ptr<const regex::BacktrackingRegex> compile_backtracking_regex_cached(const CompileContext& ctx,
                                                                                  std::string_view pattern);

// The same with the reason of a refusal.
Result<std::shared_ptr<const regex::AutomatonRegex>, regex::RegexError> try_compile_regex_cached(
    const CompileContext& ctx, std::string_view pattern);
Result<std::shared_ptr<const regex::BacktrackingRegex>, regex::RegexError> try_compile_backtracking_regex_cached(
    const CompileContext& ctx, std::string_view pattern);

// The compile error of a pattern no engine takes: a "regex" Format error whose instance is the
// pattern as a string, at `location` (the pattern's own entry).
ValidationError build_invalid_pattern_error(const Location& location, std::string_view pattern);

// The kind of error for a refused pattern: a valid pattern beyond the engines' size limits is
// reported as too large ("Error compiling regex: pattern too large: ..."), not as something that
// is not a regex; every other refusal is the "regex" Format error.
core::ValidationErrorKind pattern_refusal_kind(const regex::RegexError& refusal);

// build_invalid_pattern_error with the kind of pattern_refusal_kind.
ValidationError build_pattern_refusal_error(const Location& location, std::string_view pattern,
                                            const regex::RegexError& refusal);

}  // namespace deririrore::keywords
