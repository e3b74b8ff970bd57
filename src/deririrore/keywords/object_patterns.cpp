#include "deririrore/keywords/object_patterns.hpp"

#include <optional>

#include "deririrore/keywords/regex_cache.hpp"

namespace deririrore::keywords {

CompiledPattern CompiledPattern::fast(regex::FastPattern shape) {
    CompiledPattern p;
    p.kind_ = Kind::Fast;
    p.fast_ = std::make_shared<const regex::FastPattern>(std::move(shape));
    return p;
}

CompiledPattern CompiledPattern::automaton(std::shared_ptr<const regex::AutomatonRegex> regex) {
    CompiledPattern p;
    p.kind_ = Kind::Automaton;
    p.automaton_ = std::move(regex);
    return p;
}

CompiledPattern CompiledPattern::backtracking(std::shared_ptr<const regex::BacktrackingRegex> regex) {
    CompiledPattern p;
    p.kind_ = Kind::Backtracking;
    p.backtracking_ = std::move(regex);
    return p;
}

PatternMatch CompiledPattern::match(std::string_view name, regex::BacktrackingMatch& failure) const {
    switch (kind_) {
        case Kind::Fast:
            return fast_->matches(name) ? PatternMatch::Match : PatternMatch::NoMatch;
        case Kind::Automaton:
        case Kind::Backtracking: {
            const regex::BacktrackingMatch m = kind_ == Kind::Automaton ? automaton_->match(name) : backtracking_->match(name);
            switch (m.outcome) {
                case regex::MatchOutcome::Matched: return PatternMatch::Match;
                case regex::MatchOutcome::NotMatched: return PatternMatch::NoMatch;
                case regex::MatchOutcome::EngineError:
                case regex::MatchOutcome::EvaluationFailed: break;
            }
            failure = m;
            return PatternMatch::Failed;
        }
    }
    return PatternMatch::NoMatch;
}

namespace {

core::ValidationErrorKind failure_kind(const PatternEntry& entry, const regex::BacktrackingMatch& failure) {
    using Stage = core::kinds::PatternEngineError::Stage;
    if (failure.outcome == regex::MatchOutcome::EngineError) {
        switch (failure.error) {
            case regex::RegexErrorKind::BacktrackLimitExceeded:
                return core::kinds::PatternEngineError{Stage::Execute, 0, "Max limit for backtracking count exceeded"};
            case regex::RegexErrorKind::StackLimitExceeded:
                return core::kinds::PatternEngineError{Stage::Execute, 0, "Max stack size exceeded for backtracking"};
            default: break;
        }
    }
    return core::kinds::PatternEvaluationFailed{regex::pattern_evaluation_failed_message(entry.text)};
}

}  // namespace

ValidationError pattern_failure_error(const PatternEntry& entry, const regex::BacktrackingMatch& failure,
                                      const Value& value, const LazyLocation& property_path, const RefChain* chain) {
    ValidationError error = ValidationError::make(failure_kind(entry, failure), value, property_path,
                                                  entry.location(), chain);
    error.attach_absolute_location(entry.node->absolute_location());
    return error;
}

core::EvaluationNode pattern_failure_unit(const PatternEntry& entry, const regex::BacktrackingMatch& failure,
                                          const Value& value, const LazyLocation& property_path,
                                          const RefChain* chain, EvaluationContext& ctx) {
    return core::build_failed_output_unit(
        property_path, chain, entry.location(), entry.node->absolute_location(),
        core::error_keyword_and_message(pattern_failure_error(entry, failure, value, property_path, chain)), ctx);
}

Result<std::vector<PatternEntry>, ValidationError> compile_pattern_list(const CompileContext& ctx,
                                                                        const Value& patterns, PatternShapes shapes,
                                                                        bool with_subschemas) {
    const auto& members = patterns.as_object();
    // Every pattern is classified before any subschema is compiled, so that no subschema is ever
    // compiled twice: a second pass per nesting level would make compile time exponential.
    std::vector<std::optional<regex::FastPattern>> fast;
    fast.reserve(members.size());
    bool all_fast = true;
    for (const auto& m : members) {
        fast.push_back(regex::classify_fast_pattern_owned(m.key));
        all_fast = all_fast && fast.back().has_value();
    }
    const bool use_fast_shapes = shapes == PatternShapes::PerPattern || all_fast;
    const bool automaton = ctx.config().pattern_options().engine == core::PatternOptions::Engine::Automaton;

    const CompileContext keyword_ctx = ctx.at_keyword("patternProperties");
    std::vector<PatternEntry> entries;
    entries.reserve(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& m = members[i];
        const CompileContext pattern_ctx = keyword_ctx.at_keyword(m.key);
        std::optional<CompiledPattern> compiled;
        regex::RegexError refusal;
        if (use_fast_shapes && fast[i]) {
            compiled = CompiledPattern::fast(std::move(*fast[i]));
        } else if (automaton) {
            if (auto regex = try_compile_regex_cached(ctx, m.key)) {
                compiled = CompiledPattern::automaton(std::move(*regex));
            } else {
                refusal = std::move(regex).error();
            }
        } else {
            if (auto regex = try_compile_backtracking_regex_cached(ctx, m.key)) {
                compiled = CompiledPattern::backtracking(std::move(*regex));
            } else {
                refusal = std::move(regex).error();
            }
        }
        if (!compiled) return make_unexpected(build_pattern_refusal_error(pattern_ctx.location(), m.key, refusal));
        const SchemaNode* node = nullptr;
        if (with_subschemas) {
            auto sub = core::compile_subschema(pattern_ctx, m.value);
            if (!sub) return make_unexpected(std::move(sub).error());
            node = *sub;
        }
        entries.push_back(PatternEntry{std::move(*compiled), m.key, node});
    }
    return entries;
}

}  // namespace deririrore::keywords
