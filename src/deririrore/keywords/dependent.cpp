#include "deririrore/keywords/dependent.hpp"

#include "deririrore/keywords/required.hpp"
#include "deririrore/value/cmp.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::TraceOutcome;

bool DependentValidatorBase::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    for (const auto& e : entries_) {
        if (instance.contains(e.name) && !e.node->is_valid(instance, ctx)) return false;
    }
    return true;
}

std::optional<ValidationError> DependentValidatorBase::validate(const Value& instance,
                                                                const LazyLocation& instance_path,
                                                                const RefChain* chain,
                                                                core::ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    for (const auto& e : entries_) {
        if (!instance.contains(e.name)) continue;
        if (auto error = e.node->validate(instance, instance_path, chain, ctx)) return error;
    }
    return std::nullopt;
}

void DependentValidatorBase::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                         const RefChain* chain, core::ValidationContext& ctx,
                                         core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    for (const auto& e : entries_) {
        if (instance.contains(e.name)) e.node->iter_errors(instance, instance_path, chain, ctx, sink);
    }
}

EvaluationResult DependentValidatorBase::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                     const Location& instance_location, const RefChain* chain,
                                                     EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    core::SiblingLinker linker;
    bool all_valid = true;
    for (const auto& e : entries_) {
        if (!instance.contains(e.name)) continue;
        // The entry applies to the whole object, at the object's own location.
        core::EvaluationNode child =
            core::evaluate_child_node(*e.node, instance, instance_path, instance_location, chain, ctx);
        all_valid = all_valid && child.valid;
        linker.link(ctx.output(), ctx.push_node(std::move(child)));
    }
    if (linker.count() == 0) return EvaluationResult::empty_valid();
    EvaluationResult r;
    r.valid = all_valid;
    r.children_valid = all_valid;
    linker.fill(r);
    return r;
}

EvaluationResult DependentValidatorBase::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                  const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool DependentValidatorBase::trace_entries(const Value& instance, const LazyLocation& instance_path,
                                           core::Tracer& tracer, core::TraceContext& ctx, bool entry_events) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    bool applied = false;
    bool valid = true;
    for (const auto& e : entries_) {
        if (!instance.contains(e.name)) continue;
        applied = true;
        const bool entry_valid = e.node->trace(instance, instance_path, tracer, ctx);
        if (entry_events) tracer.emit(instance_path, e.node->location(), core::outcome_of(entry_valid));
        valid = valid && entry_valid;
    }
    tracer.emit(instance_path, location_, applied ? core::outcome_of(valid) : TraceOutcome::NotApplicable);
    return valid;
}

KeywordCompileResult compile_dependent_required(const CompileContext& ctx, const Value&, const Value& value) {
    Location location = ctx.keyword_location("dependentRequired");
    if (!value.is_object()) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(value::JsonType::Object), value, location));
    }
    const CompileContext keyword_ctx = ctx.at_keyword("dependentRequired");
    std::vector<DependentEntry> entries;
    entries.reserve(value.as_object().size());
    for (const auto& m : value.as_object()) {
        const CompileContext entry_ctx = keyword_ctx.at_keyword(m.key);
        const Location& entry_location = entry_ctx.location();
        if (!m.value.is_array()) {
            return make_unexpected(ValidationError::compile_error(core::type_kind_single(value::JsonType::Array),
                                                                  m.value, entry_location));
        }
        if (!value::is_unique_array(m.value.as_array())) {
            return make_unexpected(
                ValidationError::compile_error(core::kinds::UniqueItems{}, m.value, entry_location));
        }
        auto required = compile_required_list(m.value, entry_location);
        if (!required) return make_unexpected(std::move(required).error());
        std::vector<KeywordValidatorPtr> validators;
        validators.push_back(std::move(*required));
        entries.push_back(DependentEntry{m.key, build_required_names_validator(entry_ctx, std::move(validators))});
    }
    return KeywordValidatorPtr(std::make_unique<DependentRequiredValidator>(std::move(entries), std::move(location)));
}

KeywordCompileResult compile_dependent_schemas(const CompileContext& ctx, const Value&, const Value& value) {
    Location location = ctx.keyword_location("dependentSchemas");
    if (!value.is_object()) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(value::JsonType::Object), value, location));
    }
    const CompileContext keyword_ctx = ctx.at_keyword("dependentSchemas");
    std::vector<DependentEntry> entries;
    entries.reserve(value.as_object().size());
    for (const auto& m : value.as_object()) {
        auto node = core::compile_subschema(keyword_ctx.at_keyword(m.key), m.value);
        if (!node) return make_unexpected(std::move(node).error());
        entries.push_back(DependentEntry{m.key, *node});
    }
    return KeywordValidatorPtr(std::make_unique<DependentSchemasValidator>(std::move(entries), std::move(location)));
}

}  // namespace deririrore::keywords
