#pragma once
// `pattern`: a string must contain a match of an ECMA-262 regular expression (an unanchored
// search). Four pattern shapes are matched without an engine; every other pattern runs on the
// engine the options select, compiled once per compilation through the shared pattern cache.
// A failure of the engine while matching makes the string invalid and is reported as an error of
// its own kind; it never lets the string pass.
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/core/keyword.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/matcher.hpp"

namespace deririrore::keywords {

using PatternForm = regex::PatternMatcher::Form;

// One class per form so that matching is a direct call.
template <PatternForm F>
class PatternValidator final : public core::KeywordValidator {
public:
    PatternValidator(std::string pattern, regex::PatternMatcher matcher, Location location)
        : pattern_(std::move(pattern)), matcher_(std::move(matcher)), location_(std::move(location)) {}

    bool is_valid(const Value& instance, core::ValidationContext&) const override {
        return !instance.is_string() || match(instance.as_string()).matched();
    }
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    // The pattern as written in the schema.
    const std::string& pattern() const noexcept { return pattern_; }
    regex::BacktrackingMatch match(std::string_view text) const;

private:
    std::string pattern_;
    regex::PatternMatcher matcher_;
    Location location_;
};

using PrefixPatternValidator = PatternValidator<PatternForm::Prefix>;
using ExactPatternValidator = PatternValidator<PatternForm::Exact>;
using AlternativesPatternValidator = PatternValidator<PatternForm::Alternatives>;
using NoWhitespacePatternValidator = PatternValidator<PatternForm::NoWhitespace>;
using AutomatonPatternValidator = PatternValidator<PatternForm::Automaton>;
using BacktrackingPatternValidator = PatternValidator<PatternForm::Backtracking>;

// The error of a string that did not match, by outcome: Pattern when not matched,
// PatternEngineError when the engine stopped at a limit, PatternEvaluationFailed when it failed
// otherwise. None for a match.
std::optional<ValidationError> pattern_match_error(const regex::BacktrackingMatch& outcome, std::string_view pattern,
                                                   const Value& instance, const core::LazyLocation& instance_path,
                                                   const Location& location, const core::RefChain* chain);

}  // namespace deririrore::keywords
