#include "deririrore/keywords/regex_cache.hpp"

namespace deririrore::keywords {

regex::PatternOptions regex_pattern_options(const core::PatternOptions& options) {
    if (options.engine == core::PatternOptions::Engine::Automaton) {
        return regex::PatternOptions::automaton(options.size_limit, options.dfa_size_limit);
    }
    return regex::PatternOptions::backtracking(options.backtrack_limit, options.size_limit, options.dfa_size_limit);
}

regex::RegexCache& compilation_regex_cache(const CompileContext& ctx) {
    return ctx.state().extension<regex::RegexCache>();
}

std::shared_ptr<const regex::AutomatonRegex> compile_regex_cached(const CompileContext& ctx,
                                                                  std::string_view pattern) {
    return compilation_regex_cache(ctx).automaton(pattern, regex_pattern_options(ctx.config().pattern_options()));
}

std::shared_ptr<const regex::BacktrackingRegex> compile_backtracking_regex_cached(const CompileContext& ctx,
                                                                                  std::string_view pattern) {
    return compilation_regex_cache(ctx).backtracking(pattern, regex_pattern_options(ctx.config().pattern_options()));
}

Result<std::shared_ptr<const regex::AutomatonRegex>, regex::RegexError> try_compile_regex_cached(
    const CompileContext& ctx, std::string_view pattern) {
    return compilation_regex_cache(ctx).try_automaton(pattern, regex_pattern_options(ctx.config().pattern_options()));
}

Result<std::shared_ptr<const regex::BacktrackingRegex>, regex::RegexError> try_compile_backtracking_regex_cached(
    const CompileContext& ctx, std::string_view pattern) {
    return compilation_regex_cache(ctx).try_backtracking(pattern,
                                                         regex_pattern_options(ctx.config().pattern_options()));
}

ValidationError build_invalid_pattern_error(const Location& location, std::string_view pattern) {
    return build_pattern_refusal_error(location, pattern, regex::RegexError(regex::RegexErrorKind::Compile));
}

core::ValidationErrorKind pattern_refusal_kind(const regex::RegexError& refusal) {
    if (refusal.kind() == regex::RegexErrorKind::TooLarge) {
        return core::kinds::PatternEngineError{core::kinds::PatternEngineError::Stage::Compile, 0, refusal.detail()};
    }
    return core::kinds::Format{"regex"};
}

ValidationError build_pattern_refusal_error(const Location& location, std::string_view pattern,
                                            const regex::RegexError& refusal) {
    auto instance = std::make_shared<const Value>(Value::string(std::string(pattern)));
    return ValidationError(core::EvaluationPath{}, pattern_refusal_kind(refusal), std::move(instance), Location(),
                           location);
}

}  // namespace deririrore::keywords
