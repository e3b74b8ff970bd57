#include "deririrore/keywords/properties.hpp"

#include "deririrore/core/compiler.hpp"
#include "deririrore/core/node.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::TraceOutcome;

namespace {

// The Location of a property value for evaluation output: one join from the object's.
Location property_instance_location(EvaluationContext& ctx, const LazyLocation& property_path,
                                    std::string_view name) {
    const auto& current = ctx.current_instance_location();
    if (current) return core::location_join_key(*current, name);
    return core::location_from_lazy(property_path);
}

// Evaluates each present declared property as a child; `each(f)` calls f(name, node, value).
template <class Each>
EvaluationResult evaluate_present(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                                  EvaluationContext& ctx, Each&& each) {
    core::SiblingLinker linker;
    bool all_valid = true;
    Value::Array names;
    each([&](std::string_view name, const SchemaNode& node, const Value& value) {
        LazyLocation path = instance_path.push(name);
        Location loc = property_instance_location(ctx, path, name);
        core::EvaluationNode child = core::evaluate_child_node(node, value, path, loc, chain, ctx);
        all_valid = all_valid && child.valid;
        linker.link(ctx.output(), ctx.push_node(std::move(child)));
        names.push_back(Value::string(std::string(name)));
    });
    EvaluationResult result;
    result.valid = all_valid;
    result.children_valid = all_valid;
    linker.fill(result);
    result.annotations = std::make_shared<const Value>(Value::array(std::move(names)));
    return result;
}

// Trace of the declared properties: events of each present property's subschema, then one
// event per declared property at the object's location; returns (any present, all valid).
std::pair<bool, bool> trace_declared(const std::vector<DeclaredProperty>& entries, const Value& object,
                                     const LazyLocation& instance_path, core::Tracer& tracer,
                                     core::TraceContext& ctx) {
    bool any = false;
    bool all_valid = true;
    for (const auto& entry : entries) {
        const Value* value = object.find(entry.key.text);
        if (value == nullptr) {
            tracer.emit(instance_path, entry.node->location(), TraceOutcome::NotApplicable);
            continue;
        }
        any = true;
        LazyLocation path = instance_path.push(std::string_view(entry.key.text));
        const bool valid = entry.node->trace(*value, path, tracer, ctx);
        tracer.emit(instance_path, entry.node->location(), core::outcome_of(valid));
        all_valid = all_valid && valid;
    }
    return {any, all_valid};
}

}  // namespace

bool PropertiesListValidator::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    return for_each_present_property(entries_, instance, [&](const DeclaredProperty& entry, const Value& value) {
        return entry.node->is_valid(value, ctx);
    });
}

std::optional<ValidationError> PropertiesListValidator::validate(const Value& instance,
                                                                 const LazyLocation& instance_path,
                                                                 const RefChain* chain,
                                                                 core::ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    std::optional<ValidationError> error;
    for_each_present_property(entries_, instance, [&](const DeclaredProperty& entry, const Value& value) {
        error = entry.node->validate(value, instance_path.push(std::string_view(entry.key.text)), chain, ctx);
        return !error.has_value();
    });
    return error;
}

void PropertiesListValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                          const RefChain* chain, core::ValidationContext& ctx,
                                          core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    for_each_present_property(entries_, instance, [&](const DeclaredProperty& entry, const Value& value) {
        entry.node->iter_errors(value, instance_path.push(std::string_view(entry.key.text)), chain, ctx, sink);
        return true;
    });
}

EvaluationResult PropertiesListValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                   const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    return evaluate_present(instance, instance_path, chain, ctx, [&](auto&& f) {
        for_each_present_property(entries_, instance, [&](const DeclaredProperty& entry, const Value& value) {
            f(entry.key.text, *entry.node, value);
            return true;
        });
    });
}

bool PropertiesListValidator::trace(const Value& instance, const LazyLocation& instance_path, core::Tracer& tracer,
                                    core::TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    auto [any, valid] = trace_declared(entries_, instance, instance_path, tracer, ctx);
    tracer.emit(instance_path, location_, any ? core::outcome_of(valid) : TraceOutcome::NotApplicable);
    return valid;
}

PropertiesMapValidator::PropertiesMapValidator(std::vector<std::pair<std::string, const SchemaNode*>> declared,
                                               Location location)
    : declared_(std::move(declared)), location_(std::move(location)) {
    map_.reserve(declared_.size());
    for (const auto& [name, node] : declared_) map_.emplace(std::string_view(name), node);
}

const SchemaNode* PropertiesMapValidator::find(std::string_view name) const {
    auto it = map_.find(name);
    return it == map_.end() ? nullptr : it->second;
}

bool PropertiesMapValidator::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    for (const auto& member : instance.as_object()) {
        if (const SchemaNode* node = find(member.key); node != nullptr && !node->is_valid(member.value, ctx)) {
            return false;
        }
    }
    return true;
}

std::optional<ValidationError> PropertiesMapValidator::validate(const Value& instance,
                                                                const LazyLocation& instance_path,
                                                                const RefChain* chain,
                                                                core::ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    for (const auto& member : instance.as_object()) {
        if (const SchemaNode* node = find(member.key)) {
            if (auto error = node->validate(member.value, instance_path.push(std::string_view(member.key)), chain, ctx)) {
                return error;
            }
        }
    }
    return std::nullopt;
}

void PropertiesMapValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                         const RefChain* chain, core::ValidationContext& ctx,
                                         core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    for (const auto& member : instance.as_object()) {
        if (const SchemaNode* node = find(member.key)) {
            node->iter_errors(member.value, instance_path.push(std::string_view(member.key)), chain, ctx, sink);
        }
    }
}

EvaluationResult PropertiesMapValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                  const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    return evaluate_present(instance, instance_path, chain, ctx, [&](auto&& f) {
        for (const auto& member : instance.as_object()) {
            if (const SchemaNode* node = find(member.key)) f(member.key, *node, member.value);
        }
    });
}

bool PropertiesMapValidator::trace(const Value& instance, const LazyLocation& instance_path, core::Tracer& tracer,
                                   core::TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    // Declared order: deterministic, and each lookup a binary search in the sorted object.
    bool any = false;
    bool all_valid = true;
    for (const auto& [name, node] : declared_) {
        const Value* value = instance.find(name);
        if (value == nullptr) {
            tracer.emit(instance_path, node->location(), TraceOutcome::NotApplicable);
            continue;
        }
        any = true;
        const bool valid = node->trace(*value, instance_path.push(std::string_view(name)), tracer, ctx);
        tracer.emit(instance_path, node->location(), core::outcome_of(valid));
        all_valid = all_valid && valid;
    }
    tracer.emit(instance_path, location_, any ? core::outcome_of(all_valid) : TraceOutcome::NotApplicable);
    return all_valid;
}

ValidationError PropertiesRequiredPairValidator::missing_property_error(const std::string& name, const Value& object,
                                                                        const LazyLocation& instance_path,
                                                                        const RefChain* chain) const {
    ValidationError error = ValidationError::make(core::kinds::Required{Value::string(name)}, object, instance_path,
                                                  required_location_, chain);
    error.attach_absolute_location(required_absolute_);
    return error;
}

bool PropertiesRequiredPairValidator::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    const auto& members = instance.as_object();
    if (members.size() < 2) return false;
    if (members.size() <= entries_.size()) {
        bool seen_first = false;
        bool seen_second = false;
        for (const auto& member : members) {
            const TextWords words = text_words(member.key);
            if (first_.matches(member.key, words)) {
                seen_first = true;
            } else if (second_.matches(member.key, words)) {
                seen_second = true;
            }
            for (const auto& entry : entries_) {
                if (entry.key.matches(member.key, words)) {
                    if (!entry.node->is_valid(member.value, ctx)) return false;
                    break;
                }
            }
        }
        return seen_first && seen_second;
    }
    if (!instance.contains(first_.text) || !instance.contains(second_.text)) return false;
    for (const auto& entry : entries_) {
        if (const Value* v = instance.find(entry.key.text); v != nullptr && !entry.node->is_valid(*v, ctx)) {
            return false;
        }
    }
    return true;
}

std::optional<ValidationError> PropertiesRequiredPairValidator::validate(const Value& instance,
                                                                         const LazyLocation& instance_path,
                                                                         const RefChain* chain,
                                                                         core::ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    if (!instance.contains(first_.text)) return missing_property_error(first_.text, instance, instance_path, chain);
    if (!instance.contains(second_.text)) return missing_property_error(second_.text, instance, instance_path, chain);
    std::optional<ValidationError> error;
    for_each_present_property(entries_, instance, [&](const DeclaredProperty& entry, const Value& value) {
        error = entry.node->validate(value, instance_path.push(std::string_view(entry.key.text)), chain, ctx);
        return !error.has_value();
    });
    return error;
}

void PropertiesRequiredPairValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                                  const RefChain* chain, core::ValidationContext& ctx,
                                                  core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    if (!instance.contains(first_.text)) sink.push_back(missing_property_error(first_.text, instance, instance_path, chain));
    if (!instance.contains(second_.text)) sink.push_back(missing_property_error(second_.text, instance, instance_path, chain));
    for_each_present_property(entries_, instance, [&](const DeclaredProperty& entry, const Value& value) {
        entry.node->iter_errors(value, instance_path.push(std::string_view(entry.key.text)), chain, ctx, sink);
        return true;
    });
}

EvaluationResult PropertiesRequiredPairValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                           const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    core::SiblingLinker linker;
    bool all_valid = true;
    Value::Array names;
    for_each_present_property(entries_, instance, [&](const DeclaredProperty& entry, const Value& value) {
        LazyLocation path = instance_path.push(std::string_view(entry.key.text));
        Location loc = property_instance_location(ctx, path, entry.key.text);
        core::EvaluationNode child = core::evaluate_child_node(*entry.node, value, path, loc, chain, ctx);
        all_valid = all_valid && child.valid;
        linker.link(ctx.output(), ctx.push_node(std::move(child)));
        names.push_back(Value::string(entry.key.text));
        return true;
    });
    std::vector<core::ErrorDescription> missing;
    for (const FastStringKey* name : {&first_, &second_}) {
        if (!instance.contains(name->text)) {
            missing.push_back(core::error_keyword_and_message(
                missing_property_error(name->text, instance, instance_path, chain)));
        }
    }
    if (!missing.empty()) {
        core::EvaluationNode unit = core::build_failed_output_unit(instance_path, chain, required_location_,
                                                                   required_absolute_, std::move(missing.front()), ctx);
        for (std::size_t i = 1; i < missing.size(); ++i) unit.errors.push_back(std::move(missing[i]));
        linker.link(ctx.output(), ctx.push_node(std::move(unit)));
        all_valid = false;
    }
    EvaluationResult result;
    result.valid = all_valid;
    result.children_valid = all_valid;
    linker.fill(result);
    result.annotations = std::make_shared<const Value>(Value::array(std::move(names)));
    return result;
}

bool PropertiesRequiredPairValidator::trace(const Value& instance, const LazyLocation& instance_path,
                                            core::Tracer& tracer, core::TraceContext& ctx) const {
    const Location& required_first = required_first_;
    const Location& required_second = required_second_;
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        tracer.emit(instance_path, required_first, TraceOutcome::NotApplicable);
        tracer.emit(instance_path, required_second, TraceOutcome::NotApplicable);
        tracer.emit(instance_path, required_location_, TraceOutcome::NotApplicable);
        return true;
    }
    auto [any, valid] = trace_declared(entries_, instance, instance_path, tracer, ctx);
    tracer.emit(instance_path, location_, any ? core::outcome_of(valid) : TraceOutcome::NotApplicable);
    const bool has_first = instance.contains(first_.text);
    const bool has_second = instance.contains(second_.text);
    tracer.emit(instance_path, required_first, core::outcome_of(has_first));
    tracer.emit(instance_path, required_second, core::outcome_of(has_second));
    tracer.emit(instance_path, required_location_, core::outcome_of(has_first && has_second));
    return valid && has_first && has_second;
}

namespace {

bool closes_properties(const CompileContext& ctx, const Value& parent) {
    const Value* additional = parent.find("additionalProperties");
    if (additional == nullptr) return false;
    const bool closing = (additional->is_bool() && !additional->as_bool()) || additional->is_object();
    return closing && !ctx.is_custom_keyword("additionalProperties");
}

}  // namespace

KeywordCompileResult compile_properties(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (closes_properties(ctx, parent)) return no_validator();
    Location location = ctx.keyword_location("properties");
    if (!value.is_object()) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(value::JsonType::Object), value, location));
    }
    const CompileContext keyword_ctx = ctx.at_keyword("properties");
    const auto& members = value.as_object();
    std::vector<std::pair<std::string, const SchemaNode*>> compiled;
    compiled.reserve(members.size());
    for (const auto& member : members) {
        auto node = core::compile_subschema(keyword_ctx.at_keyword(member.key), member.value);
        if (!node) return make_unexpected(std::move(node).error());
        compiled.emplace_back(member.key, *node);
    }
    if (compiled.size() >= 15) {
        return KeywordValidatorPtr(std::make_unique<PropertiesMapValidator>(std::move(compiled), std::move(location)));
    }
    std::vector<DeclaredProperty> entries;
    entries.reserve(compiled.size());
    for (auto& [name, node] : compiled) entries.push_back(DeclaredProperty{make_fast_string_key(name), node});

    const Value* required = parent.find("required");
    const Value* additional = parent.find("additionalProperties");
    const bool pair = ctx.vocabulary_gate(core::KnownVocabulary::Validation) && !parent.contains("patternProperties") &&
                      !ctx.is_custom_keyword("required") &&
                      !(additional != nullptr &&
                        ((additional->is_bool() && !additional->as_bool()) || additional->is_object())) &&
                      required != nullptr && required->is_array() && required->as_array().size() == 2 &&
                      required->as_array()[0].is_string() && required->as_array()[1].is_string();
    if (pair) {
        Location required_location = ctx.keyword_location("required");
        core::AbsoluteLocation required_absolute = ctx.absolute_location(required_location);
        return KeywordValidatorPtr(std::make_unique<PropertiesRequiredPairValidator>(
            std::move(entries), make_fast_string_key(required->as_array()[0].as_string()),
            make_fast_string_key(required->as_array()[1].as_string()), std::move(required_location),
            std::move(location), std::move(required_absolute)));
    }
    return KeywordValidatorPtr(std::make_unique<PropertiesListValidator>(std::move(entries), std::move(location)));
}

}  // namespace deririrore::keywords
