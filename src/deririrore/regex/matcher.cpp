#include "deririrore/regex/matcher.hpp"

namespace deririrore::regex {

std::optional<PatternMatcher> PatternMatcher::compile(RegexCache& cache, std::string_view pattern,
                                                      const PatternOptions& options) {
    PatternMatcher m;
    if (auto shape = classify_fast_pattern_owned(pattern)) {
        m.fast_ = std::move(*shape);
        m.form_ = static_cast<Form>(m.fast_.kind);
        return m;
    }
    if (options.engine == PatternOptions::Engine::Automaton) {
        m.automaton_ = cache.automaton(pattern, options);
        if (!m.automaton_) return std::nullopt;
        m.form_ = Form::Automaton;
        return m;
    }
    m.backtracking_ = cache.backtracking(pattern, options);
    if (!m.backtracking_) return std::nullopt;
    m.form_ = Form::Backtracking;
    return m;
}

}  // namespace deririrore::regex
