#include "deririrore/keywords/items.hpp"

#include "deririrore/keywords/items_of_type.hpp"
#include "deririrore/referencing/draft.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::TraceContext;
using core::TraceOutcome;
using core::Tracer;
using core::ValidationContext;

namespace {

std::shared_ptr<const Value> bool_annotation(bool value) { return std::make_shared<const Value>(Value::boolean(value)); }

// Evaluates `node` on item `index` as the next child of `linker`; answers the child's validity.
bool push_item_child(const SchemaNode& node, const Value& array, std::size_t index, const LazyLocation& array_path,
                     const Location& array_location, const RefChain* chain, EvaluationContext& ctx,
                     core::SiblingLinker& linker) {
    const LazyLocation item_path = array_path.push(static_cast<std::uint64_t>(index));
    const Location item_location = core::append_index_to_location(array_location, index);
    core::EvaluationNode child =
        core::evaluate_child_node(node, array.as_array()[index], item_path, item_location, chain, ctx);
    const bool valid = child.valid;
    linker.link(ctx.output(), ctx.push_node(std::move(child)));
    return valid;
}

EvaluationResult children_result(const core::SiblingLinker& linker, bool all_valid) {
    EvaluationResult r;
    r.valid = all_valid;
    r.children_valid = all_valid;
    linker.fill(r);
    return r;
}

// Compiles the entries of an array of subschemas at keyword/index.
Result<std::vector<const SchemaNode*>, ValidationError> compile_position_list(const CompileContext& ctx,
                                                                              std::string_view keyword,
                                                                              const Value& value) {
    const CompileContext keyword_ctx = ctx.at_keyword(keyword);
    std::vector<const SchemaNode*> nodes;
    nodes.reserve(value.as_array().size());
    std::uint64_t index = 0;
    for (const Value& entry : value.as_array()) {
        auto node = core::compile_subschema(keyword_ctx.at_index(index++), entry);
        if (!node) return make_unexpected(std::move(node).error());
        nodes.push_back(*node);
    }
    return nodes;
}

Result<const SchemaNode*, ValidationError> compile_at(const CompileContext& ctx, std::string_view keyword,
                                                      const Value& value) {
    return core::compile_subschema(ctx.at_keyword(keyword), value);
}

}  // namespace

bool ItemsFromValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_array()) return true;
    const auto& items = instance.as_array();
    for (std::size_t i = start_; i < items.size(); ++i) {
        if (!node_->is_valid(items[i], ctx)) return false;
    }
    return true;
}

std::optional<ValidationError> ItemsFromValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                            const RefChain* chain, ValidationContext& ctx) const {
    if (!instance.is_array()) return std::nullopt;
    const auto& items = instance.as_array();
    for (std::size_t i = start_; i < items.size(); ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        if (auto error = node_->validate(items[i], item_path, chain, ctx)) return error;
    }
    return std::nullopt;
}

void ItemsFromValidator::iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                                     ValidationContext& ctx, core::ErrorSink& sink) const {
    if (!instance.is_array()) return;
    const auto& items = instance.as_array();
    for (std::size_t i = start_; i < items.size(); ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        node_->iter_errors(items[i], item_path, chain, ctx, sink);
    }
}

bool ItemsFromValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                               TraceContext& ctx) const {
    if (!instance.is_array()) {
        tracer.emit(instance_path, node_->location(), TraceOutcome::NotApplicable);
        return true;
    }
    const auto& items = instance.as_array();
    bool valid = true;
    for (std::size_t i = start_; i < items.size(); ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        valid = node_->trace(items[i], item_path, tracer, ctx) && valid;
    }
    tracer.emit(instance_path, node_->location(), core::outcome_of(valid));
    return valid;
}

EvaluationResult ItemsFromValidator::evaluate_items(const Value& instance, const LazyLocation& instance_path,
                                                    const Location& instance_location, const RefChain* chain,
                                                    EvaluationContext& ctx) const {
    const auto& items = instance.as_array();
    core::SiblingLinker linker;
    bool all_valid = true;
    for (std::size_t i = start_; i < items.size(); ++i) {
        all_valid = push_item_child(*node_, instance, i, instance_path, instance_location, chain, ctx, linker) &&
                    all_valid;
    }
    EvaluationResult r = children_result(linker, all_valid);
    r.annotations = bool_annotation(items.size() > start_);
    return r;
}

EvaluationResult ItemsSchemaValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                   const Location& instance_location, const RefChain* chain,
                                                   EvaluationContext& ctx) const {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    return evaluate_items(instance, instance_path, instance_location, chain, ctx);
}

EvaluationResult ItemsSchemaValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    return evaluate_items(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

EvaluationResult ItemsAfterPrefixValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                        const Location& instance_location, const RefChain* chain,
                                                        EvaluationContext& ctx) const {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    return evaluate_items(instance, instance_path, instance_location, chain, ctx);
}

EvaluationResult ItemsAfterPrefixValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                     const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    return evaluate_items(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool PositionalItemsValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_array()) return true;
    const auto& items = instance.as_array();
    const std::size_t n = checked(instance);
    for (std::size_t i = 0; i < n; ++i) {
        if (!nodes_[i]->is_valid(items[i], ctx)) return false;
    }
    return true;
}

std::optional<ValidationError> PositionalItemsValidator::validate(const Value& instance,
                                                                  const LazyLocation& instance_path,
                                                                  const RefChain* chain,
                                                                  ValidationContext& ctx) const {
    if (!instance.is_array()) return std::nullopt;
    const auto& items = instance.as_array();
    const std::size_t n = checked(instance);
    for (std::size_t i = 0; i < n; ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        if (auto error = nodes_[i]->validate(items[i], item_path, chain, ctx)) return error;
    }
    return std::nullopt;
}

void PositionalItemsValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                           const RefChain* chain, ValidationContext& ctx,
                                           core::ErrorSink& sink) const {
    if (!instance.is_array()) return;
    const auto& items = instance.as_array();
    const std::size_t n = checked(instance);
    for (std::size_t i = 0; i < n; ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        nodes_[i]->iter_errors(items[i], item_path, chain, ctx, sink);
    }
}

bool PositionalItemsValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                     TraceContext& ctx) const {
    if (!instance.is_array()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    const auto& items = instance.as_array();
    const std::size_t n = checked(instance);
    bool valid = true;
    for (std::size_t i = 0; i < n; ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        const bool item_valid = nodes_[i]->trace(items[i], item_path, tracer, ctx);
        // The position's own event names the array, not the item.
        tracer.emit(instance_path, nodes_[i]->location(), core::outcome_of(item_valid));
        valid = valid && item_valid;
    }
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

EvaluationResult PositionalItemsValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                    const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_array() || instance.as_array().empty()) return EvaluationResult::empty_valid();
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

EvaluationResult PositionalItemsValidator::evaluate_positions(const Value& instance, const LazyLocation& instance_path,
                                                              const Location& instance_location,
                                                              const RefChain* chain, EvaluationContext& ctx) const {
    const std::size_t n = checked(instance);
    core::SiblingLinker linker;
    bool all_valid = true;
    for (std::size_t i = 0; i < n; ++i) {
        all_valid = push_item_child(*nodes_[i], instance, i, instance_path, instance_location, chain, ctx, linker) &&
                    all_valid;
    }
    return children_result(linker, all_valid);
}

EvaluationResult ItemsArrayValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                  const Location& instance_location, const RefChain* chain,
                                                  EvaluationContext& ctx) const {
    if (!instance.is_array() || instance.as_array().empty()) return EvaluationResult::empty_valid();
    return evaluate_positions(instance, instance_path, instance_location, chain, ctx);
}

EvaluationResult PrefixItemsValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                   const Location& instance_location, const RefChain* chain,
                                                   EvaluationContext& ctx) const {
    if (!instance.is_array() || instance.as_array().empty()) return EvaluationResult::empty_valid();
    EvaluationResult r = evaluate_positions(instance, instance_path, instance_location, chain, ctx);
    const std::size_t n = checked(instance);
    if (n == instance.as_array().size()) {
        r.annotations = bool_annotation(true);
    } else if (n > 0) {
        r.annotations = std::make_shared<const Value>(Value::number_from_uint64(n - 1));
    }
    // No position checked (an empty `prefixItems`): no index to report, so no annotation.
    return r;
}

bool AdditionalItemsFalseValidator::is_valid(const Value& instance, ValidationContext&) const {
    return !instance.is_array() || instance.as_array().size() <= limit_;
}

std::optional<ValidationError> AdditionalItemsFalseValidator::validate(const Value& instance,
                                                                       const LazyLocation& instance_path,
                                                                       const RefChain* chain,
                                                                       ValidationContext&) const {
    if (!instance.is_array() || instance.as_array().size() <= limit_) return std::nullopt;
    return ValidationError::make(core::kinds::AdditionalItems{limit_}, instance, instance_path, location_, chain);
}

bool AdditionalItemsFalseValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                          TraceContext&) const {
    if (!instance.is_array()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = instance.as_array().size() <= limit_;
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

KeywordCompileResult compile_items(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (value.is_bool() && value.as_bool()) return no_validator();
    if (value.is_array()) {
        auto nodes = compile_position_list(ctx, "items", value);
        if (!nodes) return make_unexpected(std::move(nodes).error());
        return KeywordValidatorPtr(
            std::make_unique<ItemsArrayValidator>(std::move(*nodes), ctx.keyword_location("items")));
    }
    if (!value.is_bool() && !value.is_object()) return no_validator();
    if (referencing::is_known_keyword(ctx.draft(), "prefixItems")) {
        const Value* prefix = parent.find("prefixItems");
        if (prefix != nullptr && prefix->is_array()) {
            auto node = compile_at(ctx, "items", value);
            if (!node) return make_unexpected(std::move(node).error());
            return KeywordValidatorPtr(std::make_unique<ItemsAfterPrefixValidator>(*node, prefix->as_array().size()));
        }
    }
    if (auto kind = core::single_type_items_kind(ctx, value)) {
        return KeywordValidatorPtr(build_items_of_type(ctx, static_cast<ItemTypeKind>(*kind)));
    }
    auto node = compile_at(ctx, "items", value);
    if (!node) return make_unexpected(std::move(node).error());
    return KeywordValidatorPtr(std::make_unique<ItemsSchemaValidator>(*node));
}

KeywordCompileResult compile_prefix_items(const CompileContext& ctx, const Value&, const Value& value) {
    Location location = ctx.keyword_location("prefixItems");
    if (!value.is_array()) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(value::JsonType::Array), value, location));
    }
    auto nodes = compile_position_list(ctx, "prefixItems", value);
    if (!nodes) return make_unexpected(std::move(nodes).error());
    return KeywordValidatorPtr(std::make_unique<PrefixItemsValidator>(std::move(*nodes), std::move(location)));
}

KeywordCompileResult compile_additional_items(const CompileContext& ctx, const Value& parent, const Value& value) {
    const Value* items = parent.find("items");
    if (items == nullptr || !items->is_array()) return no_validator();
    const std::uint64_t tuple_length = items->as_array().size();
    if (value.is_bool()) {
        if (value.as_bool()) return no_validator();
        return KeywordValidatorPtr(
            std::make_unique<AdditionalItemsFalseValidator>(ctx.keyword_location("additionalItems"), tuple_length));
    }
    if (value.is_object()) {
        auto node = compile_at(ctx, "additionalItems", value);
        if (!node) return make_unexpected(std::move(node).error());
        return KeywordValidatorPtr(std::make_unique<AdditionalItemsValidator>(*node, tuple_length));
    }
    const value::JsonTypeSet expected = value::JsonTypeSet(value::JsonType::Boolean).with(value::JsonType::Object);
    return make_unexpected(ValidationError::compile_error(core::type_kind_multiple(expected), value,
                                                          ctx.keyword_location("additionalItems")));
}

}  // namespace deririrore::keywords
