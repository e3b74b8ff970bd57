#pragma once
// `propertyNames`: a subschema applied to every property name of an object, each name taken as a
// JSON string and checked at the object's own instance location. Errors found for a name are
// wrapped into one PropertyNames error that keeps the inner error. `false` forbids every
// property and has a small form of its own.
#include <optional>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

class PropertyNamesValidator final : public core::KeywordValidator {
public:
    explicit PropertyNamesValidator(const SchemaNode* node) : node_(node) {}

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return node_->location(); }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const SchemaNode& node() const noexcept { return *node_; }

private:
    const SchemaNode* node_;
};

class PropertyNamesFalseValidator final : public core::KeywordValidator {
public:
    explicit PropertyNamesFalseValidator(Location location) : location_(std::move(location)) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

private:
    Location location_;
};

// The PropertyNames error about `object` wrapping the error found for one of its names; the
// inner error is made independent of the name value it was raised on.
ValidationError wrap_property_name_error(ValidationError inner, const Value& object,
                                         const core::LazyLocation& object_path, const core::RefChain* chain);

KeywordCompileResult compile_property_names(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
