#include "deririrore/keywords/properties.hpp"

#include "deririrore/core/compiler.hpp"
#include "deririrore/core/node.hpp"

namespace deririrore::keywords {

namespace {

// Evaluates each present declared property as a child; `each(f)` calls f(name, node, value).
// The annotation lists the present declared names, also when empty or invalid.
template <class Each>
EvaluationResult evaluate_present(const LazyLocation& instance_path, const RefChain* chain, EvaluationContext& ctx,
                                  ChildCollector& children, Each&& each) {
    Value::Array names;
    each([&](std::string_view name, const SchemaNode& node, const Value& value) {
        children.add(node, value, instance_path.push(name), chain, ctx);
        names.push_back(Value::string(std::string(name)));
    });
    EvaluationResult result = children.result();
    result.annotations = std::make_shared<const Value>(Value::array(std::move(names)));
    return result;
}

// Trace of the declared properties in name order: each present property's subschema events,
// then its event at the object's location; absent ones not applicable. Then the keyword event.
bool trace_declared(const std::vector<DeclaredProperty>& entries, const Value& object,
                    const LazyLocation& instance_path, Tracer& tracer, TraceContext& ctx, const Location& keyword) {
    RunningOutcome overall;
    for_each_declared_property(entries, object, [&](const DeclaredProperty& entry, const Value* value) {
        if (value == nullptr) {
            tracer.emit(instance_path, entry.node->location(), TraceOutcome::NotApplicable);
            return;
        }
        const bool valid = entry.call.trace(*value, instance_path.push(entry.name()), tracer, ctx);
        tracer.emit(instance_path, entry.node->location(), core::outcome_of(valid));
        overall.fold(valid);
    });
    tracer.emit(instance_path, keyword, overall.value);
    return !overall.failed();
}

}  // namespace

bool PropertiesListValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    return for_each_present_property(entries(), instance, [&](const DeclaredProperty& entry, const Value& value) {
        return entry.call.is_valid(value, ctx);
    });
}

std::optional<ValidationError> PropertiesListValidator::validate(const Value& instance,
                                                                 const LazyLocation& instance_path,
                                                                 const RefChain* chain, ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    std::optional<ValidationError> error;
    for_each_present_property(entries(), instance, [&](const DeclaredProperty& entry, const Value& value) {
        error = entry.node->validate(value, instance_path.push(entry.name()), chain, ctx);
        return !error.has_value();
    });
    return error;
}

void PropertiesListValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                          const RefChain* chain, ValidationContext& ctx,
                                          core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    for_each_present_property(entries(), instance, [&](const DeclaredProperty& entry, const Value& value) {
        entry.node->iter_errors(value, instance_path.push(entry.name()), chain, ctx, sink);
        return true;
    });
}

EvaluationResult PropertiesListValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                   const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    ChildCollector children;
    return evaluate_present(instance_path, chain, ctx, children, [&](auto&& f) {
        for_each_present_property(entries(), instance, [&](const DeclaredProperty& entry, const Value& value) {
            f(entry.name(), *entry.node, value);
            return true;
        });
    });
}

bool PropertiesListValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                    TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    return trace_declared(entries(), instance, instance_path, tracer, ctx, location_);
}

bool PropertiesMapValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    for (const auto& member : instance.as_object()) {
        if (const DeclaredProperty* e = map_.find_entry(member.key);
            e != nullptr && !e->call.is_valid(member.value, ctx)) {
            return false;
        }
    }
    return true;
}

std::optional<ValidationError> PropertiesMapValidator::validate(const Value& instance,
                                                                const LazyLocation& instance_path,
                                                                const RefChain* chain, ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    for (const auto& member : instance.as_object()) {
        if (const SchemaNode* node = map_.find(member.key)) {
            if (auto error = node->validate(member.value, instance_path.push(std::string_view(member.key)), chain,
                                            ctx)) {
                return error;
            }
        }
    }
    return std::nullopt;
}

void PropertiesMapValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                         const RefChain* chain, ValidationContext& ctx,
                                         core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    for (const auto& member : instance.as_object()) {
        if (const SchemaNode* node = map_.find(member.key)) {
            node->iter_errors(member.value, instance_path.push(std::string_view(member.key)), chain, ctx, sink);
        }
    }
}

EvaluationResult PropertiesMapValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                  const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    ChildCollector children;
    return evaluate_present(instance_path, chain, ctx, children, [&](auto&& f) {
        for (const auto& member : instance.as_object()) {
            if (const SchemaNode* node = map_.find(member.key)) f(member.key, *node, member.value);
        }
    });
}

bool PropertiesMapValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                   TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    // Name order, like the list form: the events do not depend on the form or on a hash seed.
    return trace_declared(entries(), instance, instance_path, tracer, ctx, location_);
}

PropertiesRequiredPairValidator::PropertiesRequiredPairValidator(SmallPropertyMap map, FastStringKey first,
                                                                 FastStringKey second, Location required_location,
                                                                 Location location,
                                                                 core::AbsoluteLocation required_absolute)
    : map_(std::move(map)),
      first_(std::move(first)),
      second_(std::move(second)),
      required_location_(std::move(required_location)),
      required_first_(core::append_index_to_location(required_location_, 0)),
      required_second_(core::append_index_to_location(required_location_, 1)),
      location_(std::move(location)),
      required_absolute_(std::move(required_absolute)),
      same_names_(first_.text == second_.text) {}

ValidationError PropertiesRequiredPairValidator::missing_property_error(const std::string& name, const Value& object,
                                                                        const LazyLocation& instance_path,
                                                                        const RefChain* chain) const {
    ValidationError error = ValidationError::make(core::kinds::Required{Value::string(name)}, object, instance_path,
                                                  required_location_, chain);
    error.attach_absolute_location(required_absolute_);
    return error;
}

bool PropertiesRequiredPairValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    const auto& members = instance.as_object();
    if (members.size() < (same_names_ ? 1u : 2u)) return false;
    const auto& entries = map_.entries();
    if (members.size() <= entries.size()) {
        bool seen_first = false;
        bool seen_second = false;
        for (const auto& member : members) {
            const TextWords words = text_words(member.key);
            seen_first = seen_first || first_.matches(member.key, words);
            seen_second = seen_second || second_.matches(member.key, words);
            if (const DeclaredProperty* e = map_.find_entry(member.key, words);
                e != nullptr && !e->call.is_valid(member.value, ctx)) {
                return false;
            }
        }
        return seen_first && seen_second;
    }
    if (find_member(instance, first_) == nullptr || find_member(instance, second_) == nullptr) return false;
    return for_each_present_property(entries, instance, [&](const DeclaredProperty& entry, const Value& value) {
        return entry.call.is_valid(value, ctx);
    });
}

std::optional<ValidationError> PropertiesRequiredPairValidator::validate(const Value& instance,
                                                                         const LazyLocation& instance_path,
                                                                         const RefChain* chain,
                                                                         ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    if (!instance.contains(first_.text)) return missing_property_error(first_.text, instance, instance_path, chain);
    if (!instance.contains(second_.text)) return missing_property_error(second_.text, instance, instance_path, chain);
    std::optional<ValidationError> error;
    for_each_present_property(entries(), instance, [&](const DeclaredProperty& entry, const Value& value) {
        error = entry.node->validate(value, instance_path.push(entry.name()), chain, ctx);
        return !error.has_value();
    });
    return error;
}

void PropertiesRequiredPairValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                                  const RefChain* chain, ValidationContext& ctx,
                                                  core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    if (!instance.contains(first_.text)) {
        sink.push_back(missing_property_error(first_.text, instance, instance_path, chain));
    }
    if (!instance.contains(second_.text)) {
        sink.push_back(missing_property_error(second_.text, instance, instance_path, chain));
    }
    for_each_present_property(entries(), instance, [&](const DeclaredProperty& entry, const Value& value) {
        entry.node->iter_errors(value, instance_path.push(entry.name()), chain, ctx, sink);
        return true;
    });
}

EvaluationResult PropertiesRequiredPairValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                           const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    ChildCollector children;
    Value::Array names;
    for_each_present_property(entries(), instance, [&](const DeclaredProperty& entry, const Value& value) {
        children.add(*entry.node, value, instance_path.push(entry.name()), chain, ctx);
        names.push_back(Value::string(entry.key.text));
        return true;
    });
    std::vector<core::ErrorDescription> missing;
    for (const FastStringKey* name : {&first_, &second_}) {
        if (!instance.contains(name->text)) {
            missing.push_back(
                core::error_keyword_and_message(missing_property_error(name->text, instance, instance_path, chain)));
        }
    }
    if (!missing.empty()) {
        core::EvaluationNode unit = core::build_failed_output_unit(instance_path, chain, required_location_,
                                                                   required_absolute_, std::move(missing.front()), ctx);
        for (std::size_t i = 1; i < missing.size(); ++i) unit.errors.push_back(std::move(missing[i]));
        children.add_node(std::move(unit), ctx);
    }
    EvaluationResult result = children.result();
    result.annotations = std::make_shared<const Value>(Value::array(std::move(names)));
    return result;
}

bool PropertiesRequiredPairValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                            TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        tracer.emit(instance_path, required_first_, TraceOutcome::NotApplicable);
        tracer.emit(instance_path, required_second_, TraceOutcome::NotApplicable);
        tracer.emit(instance_path, required_location_, TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = trace_declared(entries(), instance, instance_path, tracer, ctx, location_);
    const bool has_first = find_member(instance, first_) != nullptr;
    const bool has_second = find_member(instance, second_) != nullptr;
    tracer.emit(instance_path, required_first_, core::outcome_of(has_first));
    tracer.emit(instance_path, required_second_, core::outcome_of(has_second));
    tracer.emit(instance_path, required_location_, core::outcome_of(has_first && has_second));
    return valid && has_first && has_second;
}

KeywordCompileResult compile_properties(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (additional_properties_closes(ctx, parent)) return no_validator();
    Location location = ctx.keyword_location("properties");
    if (!value.is_object()) return make_unexpected(object_type_compile_error(value, location));
    if (!is_small_property_count(value.as_object().size())) {
        auto map = build_large_property_map(ctx, value);
        if (!map) return make_unexpected(std::move(map).error());
        return KeywordValidatorPtr(std::make_unique<PropertiesMapValidator>(std::move(*map), std::move(location)));
    }
    auto map = build_small_property_map(ctx, value);
    if (!map) return make_unexpected(std::move(map).error());

    const Value* required = parent.find("required");
    const bool pair = ctx.vocabulary_gate(core::KnownVocabulary::Validation) && !parent.contains("patternProperties") &&
                      !ctx.is_custom_keyword("required") && !closing_additional_value(parent) &&
                      required != nullptr && required->is_array() && required->as_array().size() == 2 &&
                      required->as_array()[0].is_string() && required->as_array()[1].is_string();
    if (pair) {
        Location required_location = ctx.keyword_location("required");
        core::AbsoluteLocation required_absolute = ctx.absolute_location(required_location);
        return KeywordValidatorPtr(std::make_unique<PropertiesRequiredPairValidator>(
            std::move(*map), make_fast_string_key(required->as_array()[0].as_string()),
            make_fast_string_key(required->as_array()[1].as_string()), std::move(required_location),
            std::move(location), std::move(required_absolute)));
    }
    return KeywordValidatorPtr(std::make_unique<PropertiesListValidator>(std::move(*map), std::move(location)));
}

}  // namespace deririrore::keywords
