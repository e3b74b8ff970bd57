#include "deririrore/regex/matcher.hpp"

namespace deririrore::regex {

std::optional<PatternMatcher> PatternMatcher::compile(RegexCache& cache, std::string_view pattern,
                                                      const PatternOptions& options) {
    auto built = build(cache, pattern, options);
    if (!built) return std::nullopt;
    return std::move(*built);
}

Result<PatternMatcher, RegexError> PatternMatcher::build(RegexCache& cache, std::string_view pattern,
                                                         const PatternOptions& options) {
    PatternMatcher m;
    if (auto shape = classify_fast_pattern_owned(pattern)) {
        m.fast_ = std::move(*shape);
        m.form_ = static_cast<Form>(m.fast_.kind);
        return m;
    }
    if (options.engine == PatternOptions::Engine::Automaton) {
        auto built = cache.try_automaton(pattern, options);
        if (!built) return make_unexpected(std::move(built).error());
        m.automaton_ = std::move(*built);
        m.form_ = Form::Automaton;
        return m;
    }
    auto built = cache.try_backtracking(pattern, options);
    if (!built) return make_unexpected(std::move(built).error());
    m.backtracking_ = std::move(*built);
    m.form_ = Form::Backtracking;
    return m;
}

}  // namespace deririrore::regex
