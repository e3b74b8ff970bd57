#include "deririrore/keywords/property_names.hpp"

#include <memory>

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::TraceOutcome;

namespace {

// Names are seen as JSON strings; short names stay inside the string's own buffer.
Value name_value(const std::string& key) { return Value::string(key); }

}  // namespace

ValidationError wrap_property_name_error(ValidationError inner, const Value& object, const LazyLocation& object_path,
                                         const RefChain* chain) {
    Location schema_path = inner.schema_path();
    core::EvaluationPath evaluation_path =
        chain != nullptr ? core::evaluation_path_location(chain, schema_path) : core::EvaluationPath{};
    auto owned = std::make_shared<const ValidationError>(core::error_into_owned(std::move(inner)));
    return ValidationError(std::move(evaluation_path), core::kinds::PropertyNames{std::move(owned)}, object,
                           core::location_from_lazy(object_path), std::move(schema_path));
}

bool PropertyNamesValidator::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    for (const auto& m : instance.as_object()) {
        if (!node_->is_valid(name_value(m.key), ctx)) return false;
    }
    return true;
}

std::optional<ValidationError> PropertyNamesValidator::validate(const Value& instance,
                                                                const LazyLocation& instance_path,
                                                                const RefChain* chain,
                                                                core::ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    for (const auto& m : instance.as_object()) {
        const Value name = name_value(m.key);
        if (auto inner = node_->validate(name, instance_path, chain, ctx)) {
            return wrap_property_name_error(std::move(*inner), instance, instance_path, chain);
        }
    }
    return std::nullopt;
}

void PropertyNamesValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                         const RefChain* chain, core::ValidationContext& ctx,
                                         core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    core::ErrorSink inner;
    for (const auto& m : instance.as_object()) {
        const Value name = name_value(m.key);
        inner.clear();
        node_->iter_errors(name, instance_path, chain, ctx, inner);
        // Wrapped before `name` goes away: the wrapper keeps an owned copy.
        for (auto& error : inner) sink.push_back(wrap_property_name_error(std::move(error), instance, instance_path, chain));
    }
}

EvaluationResult PropertyNamesValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                     const Location& instance_location, const RefChain* chain,
                                                     EvaluationContext& ctx) const {
    if (!instance.is_object() || instance.as_object().empty()) return EvaluationResult::empty_valid();
    core::SiblingLinker linker;
    bool all_valid = true;
    for (const auto& m : instance.as_object()) {
        const Value name = name_value(m.key);
        core::EvaluationNode child =
            core::evaluate_child_node(*node_, name, instance_path, instance_location, chain, ctx);
        all_valid = all_valid && child.valid;
        linker.link(ctx.output(), ctx.push_node(std::move(child)));
    }
    EvaluationResult r;
    r.valid = all_valid;
    r.children_valid = all_valid;
    linker.fill(r);
    return r;
}

EvaluationResult PropertyNamesValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                  const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object() || instance.as_object().empty()) return EvaluationResult::empty_valid();
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool PropertyNamesValidator::trace(const Value& instance, const LazyLocation& instance_path, core::Tracer& tracer,
                                   core::TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, node_->location(), TraceOutcome::NotApplicable);
        return true;
    }
    const auto& members = instance.as_object();
    bool valid = true;
    for (const auto& m : members) {
        const Value name = name_value(m.key);
        valid = node_->trace(name, instance_path, tracer, ctx) && valid;
    }
    tracer.emit(instance_path, node_->location(),
                members.empty() ? TraceOutcome::NotApplicable : core::outcome_of(valid));
    return valid;
}

bool PropertyNamesFalseValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    return !instance.is_object() || instance.as_object().empty();
}

std::optional<ValidationError> PropertyNamesFalseValidator::validate(const Value& instance,
                                                                     const LazyLocation& instance_path,
                                                                     const RefChain* chain,
                                                                     core::ValidationContext&) const {
    if (!instance.is_object() || instance.as_object().empty()) return std::nullopt;
    return ValidationError::make(core::kinds::FalseSchema{}, instance, instance_path, location_, chain);
}

bool PropertyNamesFalseValidator::trace(const Value& instance, const LazyLocation& instance_path,
                                        core::Tracer& tracer, core::TraceContext&) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = instance.as_object().empty();
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

KeywordCompileResult compile_property_names(const CompileContext& ctx, const Value&, const Value& value) {
    if (value.is_object()) {
        auto node = core::compile_subschema(ctx.at_keyword("propertyNames"), value);
        if (!node) return make_unexpected(std::move(node).error());
        return KeywordValidatorPtr(std::make_unique<PropertyNamesValidator>(*node));
    }
    if (value.is_bool() && !value.as_bool()) {
        return KeywordValidatorPtr(
            std::make_unique<PropertyNamesFalseValidator>(ctx.keyword_location("propertyNames")));
    }
    return no_validator();
}

}  // namespace deririrore::keywords
