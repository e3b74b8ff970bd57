#include "deririrore/keywords/pattern_properties.hpp"

namespace deririrore::keywords {

PatternPropertiesValidator::PatternPropertiesValidator(std::vector<PatternEntry> entries, Location location)
    : entries_(std::move(entries)), location_(std::move(location)) {}

bool PatternPropertiesValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    regex::BacktrackingMatch failure;
    for (const auto& entry : entries_) {
        for (const auto& m : instance.as_object()) {
            switch (entry.pattern.match(m.key, failure)) {
                case PatternMatch::NoMatch: break;
                case PatternMatch::Failed: return false;
                case PatternMatch::Match:
                    if (!entry.node->is_valid(m.value, ctx)) return false;
                    break;
            }
        }
    }
    return true;
}

std::optional<ValidationError> PatternPropertiesValidator::validate(const Value& instance,
                                                                    const LazyLocation& instance_path,
                                                                    const RefChain* chain,
                                                                    ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    regex::BacktrackingMatch failure;
    // Property by property: the first failing property in name order decides.
    for (const auto& m : instance.as_object()) {
        const LazyLocation path = instance_path.push(std::string_view(m.key));
        for (const auto& entry : entries_) {
            switch (entry.pattern.match(m.key, failure)) {
                case PatternMatch::NoMatch: break;
                case PatternMatch::Failed: return pattern_failure_error(entry, failure, m.value, path, chain);
                case PatternMatch::Match:
                    if (auto error = entry.node->validate(m.value, path, chain, ctx)) return error;
                    break;
            }
        }
    }
    return std::nullopt;
}

void PatternPropertiesValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                             const RefChain* chain, ValidationContext& ctx,
                                             core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    regex::BacktrackingMatch failure;
    for (const auto& entry : entries_) {
        for (const auto& m : instance.as_object()) {
            const LazyLocation path = instance_path.push(std::string_view(m.key));
            switch (entry.pattern.match(m.key, failure)) {
                case PatternMatch::NoMatch: break;
                case PatternMatch::Failed:
                    sink.push_back(pattern_failure_error(entry, failure, m.value, path, chain));
                    break;
                case PatternMatch::Match: entry.node->iter_errors(m.value, path, chain, ctx, sink); break;
            }
        }
    }
}

EvaluationResult PatternPropertiesValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                      const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    ChildCollector children;
    Value::Array matched;
    regex::BacktrackingMatch failure;
    for (const auto& entry : entries_) {
        for (const auto& m : instance.as_object()) {
            const LazyLocation path = instance_path.push(std::string_view(m.key));
            switch (entry.pattern.match(m.key, failure)) {
                case PatternMatch::NoMatch: break;
                case PatternMatch::Failed:
                    children.add_node(pattern_failure_unit(entry, failure, m.value, path, chain, ctx), ctx);
                    break;
                case PatternMatch::Match:
                    matched.push_back(Value::string(m.key));
                    children.add(*entry.node, m.value, path, chain, ctx);
                    break;
            }
        }
    }
    EvaluationResult result = children.result();
    result.annotations = std::make_shared<const Value>(Value::array(std::move(matched)));
    return result;
}

bool PatternPropertiesValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                       TraceContext& ctx) const {
    const Location& own = location();
    if (!instance.is_object() || entries_.empty()) {
        tracer.emit(instance_path, own, TraceOutcome::NotApplicable);
        return true;
    }
    RunningOutcome overall;
    regex::BacktrackingMatch failure;
    for (const auto& entry : entries_) {
        for (const auto& m : instance.as_object()) {
            bool valid = false;
            switch (entry.pattern.match(m.key, failure)) {
                case PatternMatch::NoMatch: continue;
                case PatternMatch::Failed: valid = false; break;
                case PatternMatch::Match:
                    valid = entry.node->trace(m.value, instance_path.push(std::string_view(m.key)), tracer, ctx);
                    break;
            }
            tracer.emit(instance_path, entry.location(), core::outcome_of(valid));
            overall.fold(valid);
        }
    }
    tracer.emit(instance_path, own, overall.value);
    return !overall.failed();
}

KeywordCompileResult compile_pattern_properties(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (additional_properties_closes(ctx, parent)) return no_validator();
    Location location = ctx.keyword_location("patternProperties");
    if (!value.is_object()) return make_unexpected(object_type_compile_error(value, location));
    auto entries = compile_pattern_list(ctx, value, PatternShapes::AllOrNone, true);
    if (!entries) return make_unexpected(std::move(entries).error());
    return KeywordValidatorPtr(std::make_unique<PatternPropertiesValidator>(std::move(*entries), std::move(location)));
}

}  // namespace deririrore::keywords
