#include "deririrore/keywords/if_then_else.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;

template <bool HasThen, bool HasElse>
bool ConditionalValidator<HasThen, HasElse>::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    const SchemaNode* chosen = branch(if_->is_valid(instance, ctx));
    return chosen == nullptr || chosen->is_valid(instance, ctx);
}

template <bool HasThen, bool HasElse>
std::optional<ValidationError> ConditionalValidator<HasThen, HasElse>::validate(const Value& instance,
                                                                                const LazyLocation& instance_path,
                                                                                const RefChain* chain,
                                                                                core::ValidationContext& ctx) const {
    const SchemaNode* chosen = branch(if_->is_valid(instance, ctx));
    if (chosen == nullptr) return std::nullopt;
    return chosen->validate(instance, instance_path, chain, ctx);
}

template <bool HasThen, bool HasElse>
void ConditionalValidator<HasThen, HasElse>::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                                         const RefChain* chain, core::ValidationContext& ctx,
                                                         core::ErrorSink& sink) const {
    const SchemaNode* chosen = branch(if_->is_valid(instance, ctx));
    if (chosen != nullptr) chosen->iter_errors(instance, instance_path, chain, ctx, sink);
}

template <bool HasThen, bool HasElse>
EvaluationResult ConditionalValidator<HasThen, HasElse>::evaluate_at(const Value& instance,
                                                                     const LazyLocation& instance_path,
                                                                     const Location& instance_location,
                                                                     const RefChain* chain,
                                                                     EvaluationContext& ctx) const {
    core::EvaluationNode if_unit =
        core::evaluate_child_node(*if_, instance, instance_path, instance_location, chain, ctx);
    const bool condition = if_unit.valid;
    core::SiblingLinker linker;
    EvaluationResult r;
    if (condition) {
        // The condition's unit is kept only when it held.
        linker.link(ctx.output(), ctx.push_node(std::move(if_unit)));
        if (then_ != nullptr) {
            core::EvaluationNode then_unit =
                core::evaluate_child_node(*then_, instance, instance_path, instance_location, chain, ctx);
            r.valid = then_unit.valid;
            linker.link(ctx.output(), ctx.push_node(std::move(then_unit)));
        }
    } else {
        if (else_ == nullptr) return EvaluationResult::empty_valid();
        core::EvaluationNode else_unit =
            core::evaluate_child_node(*else_, instance, instance_path, instance_location, chain, ctx);
        r.valid = else_unit.valid;
        linker.link(ctx.output(), ctx.push_node(std::move(else_unit)));
    }
    r.children_valid = r.valid;
    linker.fill(r);
    return r;
}

template <bool HasThen, bool HasElse>
EvaluationResult ConditionalValidator<HasThen, HasElse>::evaluate(const Value& instance,
                                                                  const LazyLocation& instance_path,
                                                                  const RefChain* chain,
                                                                  EvaluationContext& ctx) const {
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

template <bool HasThen, bool HasElse>
bool ConditionalValidator<HasThen, HasElse>::trace(const Value& instance, const LazyLocation& instance_path,
                                                   core::Tracer& tracer, core::TraceContext& ctx) const {
    const bool condition = if_->trace(instance, instance_path, tracer, ctx);
    tracer.emit(instance_path, if_->location(), core::outcome_of(condition));
    const SchemaNode* chosen = branch(condition);
    if (chosen == nullptr) return true;
    const bool valid = chosen->trace(instance, instance_path, tracer, ctx);
    tracer.emit(instance_path, chosen->location(), core::outcome_of(valid));
    return valid;
}

template class ConditionalValidator<true, false>;
template class ConditionalValidator<false, true>;
template class ConditionalValidator<true, true>;

KeywordCompileResult compile_if(const CompileContext& ctx, const Value& parent, const Value& value) {
    const Value* then_value = parent.find("then");
    const Value* else_value = parent.find("else");
    if (then_value == nullptr && else_value == nullptr) return no_validator();
    auto if_node = core::compile_subschema(ctx.at_keyword("if"), value);
    if (!if_node) return make_unexpected(std::move(if_node).error());
    const SchemaNode* then_node = nullptr;
    const SchemaNode* else_node = nullptr;
    if (then_value != nullptr) {
        auto node = core::compile_subschema(ctx.at_keyword("then"), *then_value);
        if (!node) return make_unexpected(std::move(node).error());
        then_node = *node;
    }
    if (else_value != nullptr) {
        auto node = core::compile_subschema(ctx.at_keyword("else"), *else_value);
        if (!node) return make_unexpected(std::move(node).error());
        else_node = *node;
    }
    if (then_node != nullptr && else_node != nullptr) {
        return KeywordValidatorPtr(std::make_unique<IfThenElseValidator>(*if_node, then_node, else_node));
    }
    if (then_node != nullptr) return KeywordValidatorPtr(std::make_unique<IfThenValidator>(*if_node, then_node, nullptr));
    return KeywordValidatorPtr(std::make_unique<IfElseValidator>(*if_node, nullptr, else_node));
}

}  // namespace deririrore::keywords
