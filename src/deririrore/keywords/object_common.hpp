#pragma once
// Small pieces shared by the validators of the object keywords: running trace outcomes, the
// `additionalProperties` error, the compile errors they share, and child evaluation of one
// property value.
#include <string>
#include <utility>
#include <vector>

#include "deririrore/core/evaluation.hpp"
#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/subschema_call.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::TraceContext;
using core::TraceOutcome;
using core::Tracer;
using core::ValidationContext;

// The outcome of one keyword over several checks: not applicable until the first check, then
// passed, and failed for good after one failure.
struct RunningOutcome {
    TraceOutcome value = TraceOutcome::NotApplicable;

    void fold(bool valid) noexcept {
        if (!valid) {
            value = TraceOutcome::Failed;
        } else if (value == TraceOutcome::NotApplicable) {
            value = TraceOutcome::Passed;
        }
    }
    bool failed() const noexcept { return value == TraceOutcome::Failed; }
};

// "Additional properties are not allowed (...)" about the object itself.
inline ValidationError additional_properties_error(std::vector<std::string> unexpected, const Value& object,
                                                   const LazyLocation& object_path, const Location& schema_path,
                                                   const RefChain* chain) {
    return ValidationError::make(core::kinds::AdditionalProperties{std::move(unexpected)}, object, object_path,
                                 schema_path, chain);
}

inline ValidationError object_type_compile_error(const Value& value, const Location& location) {
    return ValidationError::compile_error(core::type_kind_single(value::JsonType::Object), value, location);
}

// `properties` that is not an object beside a closing `additionalProperties`.
inline ValidationError unexpected_type_compile_error(const Value& properties, const Location& location) {
    return ValidationError::compile_error(core::kinds::Custom{"", "Unexpected type"}, properties, location);
}

// Whether the schema object's `additionalProperties` value is false or a schema object.
inline bool closing_additional_value(const Value& parent) {
    const Value* ap = parent.find("additionalProperties");
    return ap != nullptr && ((ap->is_bool() && !ap->as_bool()) || ap->is_object());
}

// Whether `additionalProperties` closes the object and so takes over `properties` and
// `patternProperties` of the same schema object: only the built-in keyword does.
inline bool additional_properties_closes(const CompileContext& ctx, const Value& parent) {
    return closing_additional_value(parent) && !ctx.is_custom_keyword("additionalProperties");
}

// Children of one evaluation, pushed and linked as they are made.
class ChildCollector {
public:
    // Evaluates `node` on a property value as the next child.
    void add(const SchemaNode& node, const Value& value, const LazyLocation& property_path, const RefChain* chain,
             EvaluationContext& ctx) {
        const auto& current = ctx.current_instance_location();
        Location location =
            current ? core::location_join_segment(*current, property_path) : core::location_from_lazy(property_path);
        core::EvaluationNode child = core::evaluate_child_node(node, value, property_path, location, chain, ctx);
        all_valid_ = all_valid_ && child.valid;
        linker_.link(ctx.output(), ctx.push_node(std::move(child)));
    }
    // A node made by the caller, linked as the next child.
    void add_node(core::EvaluationNode node, EvaluationContext& ctx) {
        all_valid_ = all_valid_ && node.valid;
        linker_.link(ctx.output(), ctx.push_node(std::move(node)));
    }
    bool all_valid() const noexcept { return all_valid_; }

    EvaluationResult result() const {
        EvaluationResult r;
        r.valid = all_valid_;
        r.children_valid = all_valid_;
        linker_.fill(r);
        return r;
    }

private:
    core::SiblingLinker linker_;
    bool all_valid_ = true;
};

// A JSON array of the names, for annotations.
inline core::SharedValue names_annotation(std::vector<std::string> names) {
    Value::Array items;
    items.reserve(names.size());
    for (auto& n : names) items.push_back(Value::string(std::move(n)));
    return std::make_shared<const Value>(Value::array(std::move(items)));
}

}  // namespace deririrore::keywords
