#include "deririrore/keywords/additional_properties.hpp"

#include <array>

#include "deririrore/keywords/additional_patterns.hpp"

namespace deririrore::keywords {

bool NoAdditionalPropertiesValidator::is_valid(const Value& instance, ValidationContext&) const {
    return !instance.is_object() || instance.empty();
}

std::optional<ValidationError> NoAdditionalPropertiesValidator::validate(const Value& instance,
                                                                         const LazyLocation& instance_path,
                                                                         const RefChain* chain,
                                                                         ValidationContext&) const {
    if (!instance.is_object() || instance.empty()) return std::nullopt;
    // The first property's value stands for the object, at the object's own location.
    return ValidationError::make(core::kinds::FalseSchema{}, instance.as_object().front().value, instance_path,
                                 location_, chain);
}

bool NoAdditionalPropertiesValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                            TraceContext&) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = instance.empty();
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

void AdditionalSchemaValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx,
                                            core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    for (const auto& m : instance.as_object()) {
        node_->iter_errors(m.value, instance_path.push(std::string_view(m.key)), chain, ctx, sink);
    }
}

bool AdditionalSchemaValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    for (const auto& m : instance.as_object()) {
        if (!call_.is_valid(m.value, ctx)) return false;
    }
    return true;
}

std::optional<ValidationError> AdditionalSchemaValidator::validate(const Value& instance,
                                                                   const LazyLocation& instance_path,
                                                                   const RefChain* chain, ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    for (const auto& m : instance.as_object()) {
        if (auto error = node_->validate(m.value, instance_path.push(std::string_view(m.key)), chain, ctx)) {
            return error;
        }
    }
    return std::nullopt;
}

EvaluationResult AdditionalSchemaValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                     const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    ChildCollector children;
    Value::Array names;
    names.reserve(instance.size());
    for (const auto& m : instance.as_object()) {
        children.add(*node_, m.value, instance_path.push(std::string_view(m.key)), chain, ctx);
        names.push_back(Value::string(m.key));
    }
    EvaluationResult result = children.result();
    result.annotations = std::make_shared<const Value>(Value::array(std::move(names)));
    return result;
}

bool AdditionalSchemaValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                      TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, node_->location(), TraceOutcome::NotApplicable);
        return true;
    }
    RunningOutcome overall;
    for (const auto& m : instance.as_object()) {
        overall.fold(call_.trace(m.value, instance_path.push(std::string_view(m.key)), tracer, ctx));
    }
    tracer.emit(instance_path, node_->location(), overall.value);
    return !overall.failed();
}

template <class Map>
void PropertiesAdditionalSchemaValidator<Map>::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                                           const RefChain* chain, ValidationContext& ctx,
                                                           core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    for (const auto& m : instance.as_object()) {
        const SchemaNode* node = map_.find(m.key);
        (node != nullptr ? node : additional_)
            ->iter_errors(m.value, instance_path.push(std::string_view(m.key)), chain, ctx, sink);
    }
}

template <class Map>
bool PropertiesAdditionalSchemaValidator<Map>::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    for (const auto& m : instance.as_object()) {
        const DeclaredProperty* e = map_.find_entry(m.key);
        if (!(e != nullptr ? e->call.is_valid(m.value, ctx) : additional_call_.is_valid(m.value, ctx))) return false;
    }
    return true;
}

template <class Map>
std::optional<ValidationError> PropertiesAdditionalSchemaValidator<Map>::validate(const Value& instance,
                                                                                  const LazyLocation& instance_path,
                                                                                  const RefChain* chain,
                                                                                  ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    for (const auto& m : instance.as_object()) {
        const SchemaNode* node = map_.find(m.key);
        if (auto error = (node != nullptr ? node : additional_)
                             ->validate(m.value, instance_path.push(std::string_view(m.key)), chain, ctx)) {
            return error;
        }
    }
    return std::nullopt;
}

template <class Map>
EvaluationResult PropertiesAdditionalSchemaValidator<Map>::evaluate(const Value& instance,
                                                                    const LazyLocation& instance_path,
                                                                    const RefChain* chain,
                                                                    EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    ChildCollector children;
    Value::Array undeclared;
    for (const auto& m : instance.as_object()) {
        const SchemaNode* node = map_.find(m.key);
        if (node == nullptr) {
            node = additional_;
            undeclared.push_back(Value::string(m.key));
        }
        children.add(*node, m.value, instance_path.push(std::string_view(m.key)), chain, ctx);
    }
    EvaluationResult result = children.result();
    if (!undeclared.empty()) result.annotations = std::make_shared<const Value>(Value::array(std::move(undeclared)));
    return result;
}

template <class Map>
bool PropertiesAdditionalSchemaValidator<Map>::trace(const Value& instance, const LazyLocation& instance_path,
                                                     Tracer& tracer, TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, additional_->location(), TraceOutcome::NotApplicable);
        return true;
    }
    RunningOutcome declared;
    RunningOutcome undeclared;
    for (const auto& m : instance.as_object()) {
        const LazyLocation path = instance_path.push(std::string_view(m.key));
        if (const DeclaredProperty* e = map_.find_entry(m.key)) {
            const bool valid = e->call.trace(m.value, path, tracer, ctx);
            tracer.emit(path, e->node->location(), core::outcome_of(valid));
            declared.fold(valid);
        } else {
            undeclared.fold(additional_call_.trace(m.value, path, tracer, ctx));
        }
    }
    tracer.emit(instance_path, properties_location_, declared.value);
    tracer.emit(instance_path, additional_->location(), undeclared.value);
    return !declared.failed() && !undeclared.failed();
}

namespace {

// The closed forms walk the members in order: a declared member goes to its subschema, an
// undeclared name is unexpected. `seen` is shown every name first, for the required name.

template <class Map, class Seen>
void closed_iter_errors(const Map& map, const Value& instance, const LazyLocation& instance_path,
                        const RefChain* chain, ValidationContext& ctx, core::ErrorSink& sink, const Location& location,
                        Seen&& seen) {
    std::vector<std::string> unexpected;
    for (const auto& m : instance.as_object()) {
        seen(m.key);
        if (const SchemaNode* node = map.find(m.key)) {
            node->iter_errors(m.value, instance_path.push(std::string_view(m.key)), chain, ctx, sink);
        } else {
            unexpected.push_back(m.key);
        }
    }
    if (!unexpected.empty()) {
        sink.push_back(additional_properties_error(std::move(unexpected), instance, instance_path, location, chain));
    }
}

template <class Map, class Seen>
std::optional<ValidationError> closed_validate(const Map& map, const Value& instance,
                                               const LazyLocation& instance_path, const RefChain* chain,
                                               ValidationContext& ctx, const Location& location, Seen&& seen) {
    for (const auto& m : instance.as_object()) {
        seen(m.key);
        const SchemaNode* node = map.find(m.key);
        if (node == nullptr) {
            return additional_properties_error({m.key}, instance, instance_path, location, chain);
        }
        if (auto error = node->validate(m.value, instance_path.push(std::string_view(m.key)), chain, ctx)) {
            return error;
        }
    }
    return std::nullopt;
}

template <class Map, class Seen>
EvaluationResult closed_evaluate(const Map& map, const Value& instance, const LazyLocation& instance_path,
                                 const RefChain* chain, EvaluationContext& ctx, const Location& location,
                                 Seen&& seen) {
    ChildCollector children;
    std::vector<std::string> unexpected;
    unexpected.reserve(instance.size());
    for (const auto& m : instance.as_object()) {
        seen(m.key);
        if (const SchemaNode* node = map.find(m.key)) {
            children.add(*node, m.value, instance_path.push(std::string_view(m.key)), chain, ctx);
        } else {
            unexpected.push_back(m.key);
        }
    }
    EvaluationResult result = children.result();
    if (!unexpected.empty()) {
        result.push_error_description(core::error_keyword_and_message(
            additional_properties_error(std::move(unexpected), instance, instance_path, location, chain)));
    }
    return result;
}

// Traces each declared member followed by its event, then the `properties` and the keyword
// events; answers whether both held.
template <class Map, class Seen>
bool closed_trace(const Map& map, const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                  TraceContext& ctx, const Location& properties_location, const Location& location, Seen&& seen) {
    RunningOutcome declared;
    bool any_unexpected = false;
    for (const auto& m : instance.as_object()) {
        seen(m.key);
        const DeclaredProperty* e = map.find_entry(m.key);
        if (e == nullptr) {
            any_unexpected = true;
            continue;
        }
        const LazyLocation path = instance_path.push(std::string_view(m.key));
        const bool valid = e->call.trace(m.value, path, tracer, ctx);
        tracer.emit(path, e->node->location(), core::outcome_of(valid));
        declared.fold(valid);
    }
    tracer.emit(instance_path, properties_location, declared.value);
    tracer.emit(instance_path, location, core::outcome_of(!any_unexpected));
    return !declared.failed() && !any_unexpected;
}

constexpr auto kNoNameWatch = [](const std::string&) {};

}  // namespace

template <class Map>
void ClosedPropertiesValidator<Map>::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                                 const RefChain* chain, ValidationContext& ctx,
                                                 core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    closed_iter_errors(map_, instance, instance_path, chain, ctx, sink, location_, kNoNameWatch);
}

template <class Map>
bool ClosedPropertiesValidator<Map>::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    // Undeclared names and scalar values answer cheaply, and under `oneOf` or `anyOf` usually
    // reject a wrong branch at once: nested values are walked only once those have passed.
    const auto& members = instance.as_object();
    bool nested = false;
    for (const auto& m : members) {
        const DeclaredProperty* e = map_.find_entry(m.key);
        if (e == nullptr) return false;
        if (m.value.is_array() || m.value.is_object()) {
            nested = true;
        } else if (!e->call.is_valid(m.value, ctx)) {
            return false;
        }
    }
    if (!nested) return true;
    for (const auto& m : members) {
        if ((m.value.is_array() || m.value.is_object()) && !map_.find_entry(m.key)->call.is_valid(m.value, ctx)) {
            return false;
        }
    }
    return true;
}

template <class Map>
std::optional<ValidationError> ClosedPropertiesValidator<Map>::validate(const Value& instance,
                                                                        const LazyLocation& instance_path,
                                                                        const RefChain* chain,
                                                                        ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    return closed_validate(map_, instance, instance_path, chain, ctx, location_, kNoNameWatch);
}

template <class Map>
EvaluationResult ClosedPropertiesValidator<Map>::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                          const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    return closed_evaluate(map_, instance, instance_path, chain, ctx, location_, kNoNameWatch);
}

template <class Map>
bool ClosedPropertiesValidator<Map>::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                           TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    return closed_trace(map_, instance, instance_path, tracer, ctx, properties_location_, location_, kNoNameWatch);
}

template <class Map>
ClosedRequiredPropertiesValidator<Map>::ClosedRequiredPropertiesValidator(Map map, std::string required,
                                                                          Location properties_location,
                                                                          Location location,
                                                                          Location required_location,
                                                                          core::AbsoluteLocation required_absolute)
    : map_(std::move(map)),
      required_(make_fast_string_key(std::move(required))),
      properties_location_(std::move(properties_location)),
      location_(std::move(location)),
      required_location_(std::move(required_location)),
      required_item_location_(core::append_index_to_location(required_location_, 0)),
      required_absolute_(std::move(required_absolute)) {}

template <class Map>
ValidationError ClosedRequiredPropertiesValidator<Map>::required_error(const Value& object,
                                                                       const LazyLocation& instance_path,
                                                                       const RefChain* chain) const {
    ValidationError error = ValidationError::make(core::kinds::Required{Value::string(required_.text)}, object,
                                                  instance_path, required_location_, chain);
    error.attach_absolute_location(required_absolute_);
    return error;
}

template <class Map>
void ClosedRequiredPropertiesValidator<Map>::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                                         const RefChain* chain, ValidationContext& ctx,
                                                         core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    bool met = false;
    closed_iter_errors(map_, instance, instance_path, chain, ctx, sink, location_,
                       [&](const std::string& name) { met = met || required_.matches(name); });
    if (!met) sink.push_back(required_error(instance, instance_path, chain));
}

template <class Map>
bool ClosedRequiredPropertiesValidator<Map>::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    // Nested values wait until the cheap answers (an undeclared name, the missing name, scalar
    // values) are known; past four of them the rest are checked at once.
    struct Pending {
        const DeclaredProperty* entry;
        const Value* value;
    };
    std::array<Pending, 4> pending{};
    std::size_t waiting = 0;
    bool met = false;
    for (const auto& m : instance.as_object()) {
        const TextWords words = text_words(m.key);
        const DeclaredProperty* e = map_.find_entry(m.key, words);
        if (e == nullptr) return false;
        met = met || required_.matches(m.key, words);
        const bool nested = m.value.is_array() || m.value.is_object();
        if (nested && waiting < pending.size()) {
            pending[waiting++] = Pending{e, &m.value};
        } else if (!e->call.is_valid(m.value, ctx)) {
            return false;
        }
    }
    if (!met) return false;
    for (std::size_t i = 0; i < waiting; ++i) {
        if (!pending[i].entry->call.is_valid(*pending[i].value, ctx)) return false;
    }
    return true;
}

template <class Map>
std::optional<ValidationError> ClosedRequiredPropertiesValidator<Map>::validate(const Value& instance,
                                                                                const LazyLocation& instance_path,
                                                                                const RefChain* chain,
                                                                                ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    bool met = false;
    if (auto error = closed_validate(map_, instance, instance_path, chain, ctx, location_,
                                     [&](const std::string& name) { met = met || required_.matches(name); })) {
        return error;
    }
    if (!met) return required_error(instance, instance_path, chain);
    return std::nullopt;
}

template <class Map>
EvaluationResult ClosedRequiredPropertiesValidator<Map>::evaluate(const Value& instance,
                                                                  const LazyLocation& instance_path,
                                                                  const RefChain* chain,
                                                                  EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    bool met = false;
    EvaluationResult result = closed_evaluate(map_, instance, instance_path, chain, ctx, location_,
                                              [&](const std::string& name) { met = met || required_.matches(name); });
    if (!met) result.push_error_description(core::error_keyword_and_message(required_error(instance, instance_path, chain)));
    return result;
}

template <class Map>
bool ClosedRequiredPropertiesValidator<Map>::trace(const Value& instance, const LazyLocation& instance_path,
                                                   Tracer& tracer, TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    bool met = false;
    const bool closed_valid = closed_trace(map_, instance, instance_path, tracer, ctx, properties_location_, location_,
                                           [&](const std::string& name) { met = met || required_.matches(name); });
    tracer.emit(instance_path, required_item_location_, core::outcome_of(met));
    tracer.emit(instance_path, required_location_, core::outcome_of(met));
    return closed_valid && met;
}

template class PropertiesAdditionalSchemaValidator<SmallPropertyMap>;
template class PropertiesAdditionalSchemaValidator<LargePropertyMap>;
template class ClosedPropertiesValidator<SmallPropertyMap>;
template class ClosedPropertiesValidator<LargePropertyMap>;
template class ClosedRequiredPropertiesValidator<SmallPropertyMap>;
template class ClosedRequiredPropertiesValidator<LargePropertyMap>;

namespace {

// The one required name that the closed form takes over, when the conditions for it hold.
std::optional<std::string> fused_required_name(const CompileContext& ctx, const Value& parent) {
    const Value* required = parent.find("required");
    if (required == nullptr || !ctx.vocabulary_gate(core::KnownVocabulary::Validation) ||
        ctx.is_custom_keyword("required")) {
        return std::nullopt;
    }
    if (!required->is_array() || required->as_array().size() != 1 || !required->as_array()[0].is_string()) {
        return std::nullopt;
    }
    return required->as_array()[0].as_string();
}

template <class Map>
Result<Map, ValidationError> build_map(const CompileContext& ctx, const Value& properties);
template <>
Result<SmallPropertyMap, ValidationError> build_map<SmallPropertyMap>(const CompileContext& ctx,
                                                                      const Value& properties) {
    return build_small_property_map(ctx, properties);
}
template <>
Result<LargePropertyMap, ValidationError> build_map<LargePropertyMap>(const CompileContext& ctx,
                                                                      const Value& properties) {
    return build_large_property_map(ctx, properties);
}

template <class Map>
KeywordCompileResult compile_closed(const CompileContext& ctx, const Value& parent, const Value& properties) {
    auto map = build_map<Map>(ctx, properties);
    if (!map) return make_unexpected(std::move(map).error());
    Location properties_location = ctx.keyword_location("properties");
    Location location = ctx.keyword_location("additionalProperties");
    if (auto name = fused_required_name(ctx, parent)) {
        Location required_location = ctx.keyword_location("required");
        core::AbsoluteLocation required_absolute = ctx.absolute_location(required_location);
        return KeywordValidatorPtr(std::make_unique<ClosedRequiredPropertiesValidator<Map>>(
            std::move(*map), std::move(*name), std::move(properties_location), std::move(location),
            std::move(required_location), std::move(required_absolute)));
    }
    return KeywordValidatorPtr(std::make_unique<ClosedPropertiesValidator<Map>>(
        std::move(*map), std::move(properties_location), std::move(location)));
}

template <class Map>
KeywordCompileResult compile_declared_additional(const CompileContext& ctx, const Value& properties,
                                                 const Value& value) {
    auto map = build_map<Map>(ctx, properties);
    if (!map) return make_unexpected(std::move(map).error());
    auto additional = core::compile_subschema(ctx.at_keyword("additionalProperties"), value);
    if (!additional) return make_unexpected(std::move(additional).error());
    return KeywordValidatorPtr(std::make_unique<PropertiesAdditionalSchemaValidator<Map>>(
        std::move(*map), *additional, ctx.keyword_location("properties")));
}

}  // namespace

KeywordCompileResult compile_additional_properties(const CompileContext& ctx, const Value& parent,
                                                   const Value& value) {
    const Value* properties = parent.find("properties");
    if (const Value* patterns = parent.find("patternProperties")) {
        return compile_additional_properties_with_patterns(ctx, value, properties, *patterns);
    }
    if (value.is_bool() && value.as_bool()) return no_validator();
    if (properties != nullptr && !properties->is_object()) {
        return make_unexpected(unexpected_type_compile_error(*properties, ctx.location()));
    }
    const bool small = properties == nullptr || is_small_property_count(properties->as_object().size());
    if (value.is_bool()) {
        if (properties == nullptr) {
            return KeywordValidatorPtr(
                std::make_unique<NoAdditionalPropertiesValidator>(ctx.keyword_location("additionalProperties")));
        }
        return small ? compile_closed<SmallPropertyMap>(ctx, parent, *properties)
                     : compile_closed<LargePropertyMap>(ctx, parent, *properties);
    }
    if (properties == nullptr) {
        auto node = core::compile_subschema(ctx.at_keyword("additionalProperties"), value);
        if (!node) return make_unexpected(std::move(node).error());
        return KeywordValidatorPtr(std::make_unique<AdditionalSchemaValidator>(*node));
    }
    return small ? compile_declared_additional<SmallPropertyMap>(ctx, *properties, value)
                 : compile_declared_additional<LargePropertyMap>(ctx, *properties, value);
}

}  // namespace deririrore::keywords
