#pragma once
// additionalProperties: constrains the properties that `properties` and `patternProperties` of the
// same schema object do not cover. Its compile step looks at those siblings and builds one
// validator for the whole group (the siblings then build none), so each property is checked,
// and traced, once. The forms without `patternProperties` are here; those beside it are in
// additional_patterns.hpp.
#include <optional>
#include <string>
#include <vector>

#include "deririrore/keywords/object_common.hpp"
#include "deririrore/keywords/property_map.hpp"

namespace deririrore::keywords {

// `additionalProperties: false` alone: no property at all.
class NoAdditionalPropertiesValidator final : public core::KeywordValidator {
public:
    explicit NoAdditionalPropertiesValidator(Location location) : location_(std::move(location)) {}

    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

private:
    Location location_;
};

// `additionalProperties` a schema, alone: every property value against it.
class AdditionalSchemaValidator final : public core::KeywordValidator {
public:
    explicit AdditionalSchemaValidator(const SchemaNode* node) : node_(node), call_(node) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return node_->location(); }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

private:
    const SchemaNode* node_;
    SubschemaCall call_;
};

// `additionalProperties` a schema beside `properties`: declared names against their own
// subschema, every other name against the additional one.
template <class Map>
class PropertiesAdditionalSchemaValidator final : public core::KeywordValidator {
public:
    PropertiesAdditionalSchemaValidator(Map map, const SchemaNode* additional, Location properties_location)
        : map_(std::move(map)),
          additional_(additional),
          additional_call_(additional),
          properties_location_(std::move(properties_location)) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return additional_->location(); }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

private:
    Map map_;
    const SchemaNode* additional_;
    SubschemaCall additional_call_;
    Location properties_location_;
};

// `additionalProperties: false` beside `properties`: a closed object, checked in one walk.
template <class Map>
class ClosedPropertiesValidator final : public core::KeywordValidator {
public:
    ClosedPropertiesValidator(Map map, Location properties_location, Location location)
        : map_(std::move(map)), properties_location_(std::move(properties_location)), location_(std::move(location)) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

private:
    Map map_;
    Location properties_location_;
    Location location_;
};

// The closed object of ClosedPropertiesValidator that also requires one name. The name is met
// by any property of that name, declared or not: an undeclared one is reported as unexpected
// but does not also count as missing.
template <class Map>
class ClosedRequiredPropertiesValidator final : public core::KeywordValidator {
public:
    ClosedRequiredPropertiesValidator(Map map, std::string required, Location properties_location, Location location,
                                      Location required_location, core::AbsoluteLocation required_absolute);

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

private:
    ValidationError required_error(const Value& object, const LazyLocation& instance_path,
                                   const RefChain* chain) const;

    Map map_;
    FastStringKey required_;
    Location properties_location_;
    Location location_;
    Location required_location_;
    // required/0, the Location of the per-name trace event.
    Location required_item_location_;
    core::AbsoluteLocation required_absolute_;
};

extern template class PropertiesAdditionalSchemaValidator<SmallPropertyMap>;
extern template class PropertiesAdditionalSchemaValidator<LargePropertyMap>;
extern template class ClosedPropertiesValidator<SmallPropertyMap>;
extern template class ClosedPropertiesValidator<LargePropertyMap>;
extern template class ClosedRequiredPropertiesValidator<SmallPropertyMap>;
extern template class ClosedRequiredPropertiesValidator<LargePropertyMap>;

KeywordCompileResult compile_additional_properties(const CompileContext& ctx, const Value& parent,
                                                   const Value& value);

}  // namespace deririrore::keywords
