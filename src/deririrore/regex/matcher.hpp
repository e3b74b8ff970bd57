#pragma once
// One compiled pattern as the keyword validators hold it: an engine-free shape when the pattern
// has one, else the regex of the engine the options select, taken from the compilation's cache.
#include <memory>
#include <optional>
#include <string_view>

#include "deririrore/regex/cache.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/fast_pattern.hpp"

namespace deririrore::regex {

class PatternMatcher {
public:
    enum class Form : unsigned char { Prefix, Exact, Alternatives, NoWhitespace, Automaton, Backtracking };

    // None when the pattern needs an engine and cannot be translated or the engines refuse it.
    static std::optional<PatternMatcher> compile(RegexCache& cache, std::string_view pattern,
                                                 const PatternOptions& options);
    // The same with the reason of a refusal (TooLarge for a valid pattern beyond the size limits).
    static Result<PatternMatcher, RegexError> build(RegexCache& cache, std::string_view pattern,
                                                    const PatternOptions& options);

    Form form() const noexcept { return form_; }
    // The shape for the four engine-free forms.
    const FastPattern* fast() const noexcept { return form_ <= Form::NoWhitespace ? &fast_ : nullptr; }
    const std::shared_ptr<const AutomatonRegex>& automaton() const noexcept { return automaton_; }
    const std::shared_ptr<const BacktrackingRegex>& backtracking() const noexcept { return backtracking_; }

    // The four outcomes; only the backtracking machine reports errors.
    BacktrackingMatch match(std::string_view text) const {
        switch (form_) {
            case Form::Automaton:
                return automaton_->match(text);
            case Form::Backtracking:
                return backtracking_->match(text);
            default:
                return {fast_.matches(text) ? MatchOutcome::Matched : MatchOutcome::NotMatched,
                        RegexErrorKind::EvaluationFailed};
        }
    }
    // Every outcome but a match counts as not matching.
    bool is_match(std::string_view text) const { return match(text).matched(); }

private:
    Form form_ = Form::NoWhitespace;
    FastPattern fast_;
    std::shared_ptr<const AutomatonRegex> automaton_;
    std::shared_ptr<const BacktrackingRegex> backtracking_;
};

}  // namespace deririrore::regex
