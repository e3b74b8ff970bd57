#include "deririrore/keywords/pattern.hpp"

#include "deririrore/core/internal_error.hpp"
#include "deririrore/keywords/regex_cache.hpp"
#include "deririrore/regex/fast_pattern.hpp"

namespace deririrore::keywords {

namespace {

// The engine's text for a run-time failure, without the display's "Error executing regex: ".
std::string execution_failure_text(regex::RegexErrorKind kind) {
    constexpr std::string_view prefix = "Error executing regex: ";
    std::string text = regex::RegexError(kind).message();
    if (std::string_view(text).starts_with(prefix)) text.erase(0, prefix.size());
    return text;
}

}  // namespace

std::optional<ValidationError> pattern_match_error(const regex::BacktrackingMatch& outcome, std::string_view pattern,
                                                   const Value& instance, const core::LazyLocation& instance_path,
                                                   const Location& location, const core::RefChain* chain) {
    switch (outcome.outcome) {
        case regex::MatchOutcome::Matched:
            return std::nullopt;
        case regex::MatchOutcome::NotMatched:
            return ValidationError::make(core::kinds::Pattern{std::string(pattern)}, instance, instance_path, location,
                                         chain);
        case regex::MatchOutcome::EngineError:
            return ValidationError::make(
                core::kinds::PatternEngineError{core::kinds::PatternEngineError::Stage::Execute, 0,
                                                execution_failure_text(outcome.error)},
                instance, instance_path, location, chain);
        case regex::MatchOutcome::EvaluationFailed:
            break;
    }
    return ValidationError::make(core::kinds::PatternEvaluationFailed{regex::pattern_evaluation_failed_message(pattern)},
                                 instance, instance_path, location, chain);
}

template <PatternForm F>
regex::BacktrackingMatch PatternValidator<F>::match(std::string_view text) const {
    using regex::MatchOutcome;
    const auto answer = [](bool matched) {
        return regex::BacktrackingMatch{matched ? MatchOutcome::Matched : MatchOutcome::NotMatched};
    };
    if constexpr (F == PatternForm::Prefix) {
        return answer(text.starts_with(matcher_.fast()->literal));
    } else if constexpr (F == PatternForm::Exact) {
        return answer(text == matcher_.fast()->literal);
    } else if constexpr (F == PatternForm::Alternatives) {
        for (const std::string& alternative : matcher_.fast()->alternatives) {
            if (text == alternative) return answer(true);
        }
        return answer(false);
    } else if constexpr (F == PatternForm::NoWhitespace) {
        return answer(!regex::contains_ecma_whitespace(text));
    } else if constexpr (F == PatternForm::Automaton) {
        return matcher_.automaton()->match(text);
    } else {
        return matcher_.backtracking()->match(text);
    }
}

template <PatternForm F>
std::optional<ValidationError> PatternValidator<F>::validate(const Value& instance,
                                                             const core::LazyLocation& instance_path,
                                                             const core::RefChain* chain,
                                                             core::ValidationContext&) const {
    if (!instance.is_string()) return std::nullopt;
    return pattern_match_error(match(instance.as_string()), pattern_, instance, instance_path, location_, chain);
}

template <PatternForm F>
bool PatternValidator<F>::trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
                                core::TraceContext&) const {
    if (!instance.is_string()) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = match(instance.as_string()).matched();
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

template class PatternValidator<PatternForm::Prefix>;
template class PatternValidator<PatternForm::Exact>;
template class PatternValidator<PatternForm::Alternatives>;
template class PatternValidator<PatternForm::NoWhitespace>;
template class PatternValidator<PatternForm::Automaton>;
template class PatternValidator<PatternForm::Backtracking>;

KeywordCompileResult compile_pattern(const CompileContext& ctx, const Value&, const Value& value) {
    Location location = ctx.keyword_location("pattern");
    if (!value.is_string()) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(value::JsonType::String), value, location));
    }
    const std::string& pattern = value.as_string();
    auto matcher = regex::PatternMatcher::build(compilation_regex_cache(ctx), pattern,
                                                regex_pattern_options(ctx.config().pattern_options()));
    if (!matcher) {
        return make_unexpected(ValidationError::compile_error(pattern_refusal_kind(matcher.error()), value, location));
    }
    const auto make = [&]<PatternForm F>() {
        return KeywordValidatorPtr(std::make_unique<PatternValidator<F>>(pattern, std::move(*matcher), std::move(location)));
    };
    switch (matcher->form()) {
        case PatternForm::Prefix: return make.operator()<PatternForm::Prefix>();
        case PatternForm::Exact: return make.operator()<PatternForm::Exact>();
        case PatternForm::Alternatives: return make.operator()<PatternForm::Alternatives>();
        case PatternForm::NoWhitespace: return make.operator()<PatternForm::NoWhitespace>();
        case PatternForm::Automaton: return make.operator()<PatternForm::Automaton>();
        case PatternForm::Backtracking: return make.operator()<PatternForm::Backtracking>();
    }
    throw InternalError("pattern matcher of an unknown form");
}

}  // namespace deririrore::keywords
