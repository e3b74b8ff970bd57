#include "deririrore/keywords/items_of_type.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::TraceOutcome;

namespace {

JsonType json_type_of_kind(ItemTypeKind kind) noexcept {
    switch (kind) {
        case ItemTypeKind::Number: return JsonType::Number;
        case ItemTypeKind::String: return JsonType::String;
        case ItemTypeKind::Boolean: return JsonType::Boolean;
        case ItemTypeKind::Integer:
        case ItemTypeKind::Draft4Integer: return JsonType::Integer;
    }
    return JsonType::Number;
}

KeywordValidatorPtr make_type_validator(ItemTypeKind kind, const Location& location) {
    switch (kind) {
        case ItemTypeKind::Number: return std::make_unique<NumberTypeValidator>(location);
        case ItemTypeKind::String: return std::make_unique<StringTypeValidator>(location);
        case ItemTypeKind::Boolean: return std::make_unique<BooleanTypeValidator>(location);
        case ItemTypeKind::Integer: return std::make_unique<IntegerTypeValidator>(location);
        case ItemTypeKind::Draft4Integer: return std::make_unique<IntegerTypeDraft4Validator>(location);
    }
    return std::make_unique<NumberTypeValidator>(location);
}

}  // namespace

ItemsOfTypeValidator::ItemsOfTypeValidator(ItemTypeKind kind, core::KeywordLocationRecord items,
                                           core::KeywordLocationRecord type)
    : kind_(kind),
      json_type_(json_type_of_kind(kind)),
      draft4_(kind == ItemTypeKind::Draft4Integer),
      items_(std::move(items)),
      type_(std::move(type)),
      type_validator_(make_type_validator(kind, type_.location)) {}

bool ItemsOfTypeValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    return !instance.is_array() || all_conform(instance);
}

std::optional<ValidationError> ItemsOfTypeValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                              const RefChain* chain,
                                                              core::ValidationContext& ctx) const {
    // A valid array costs one pass and builds nothing.
    if (!instance.is_array() || all_conform(instance)) return std::nullopt;
    const auto& items = instance.as_array();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (conforms(items[i])) continue;
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        if (auto error = type_validator_->validate(items[i], item_path, chain, ctx)) {
            error->attach_absolute_location(type_.absolute);
            return error;
        }
    }
    return std::nullopt;
}

void ItemsOfTypeValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                       const RefChain* chain, core::ValidationContext& ctx,
                                       core::ErrorSink& sink) const {
    if (!instance.is_array()) return;
    const auto& items = instance.as_array();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (conforms(items[i])) continue;
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        const std::size_t before = sink.size();
        type_validator_->iter_errors(items[i], item_path, chain, ctx, sink);
        core::fill_missing_absolute_location(sink, before, type_.absolute);
    }
}

EvaluationResult ItemsOfTypeValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                   const Location& instance_location, const RefChain* chain,
                                                   EvaluationContext& ctx) const {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    const auto& items = instance.as_array();
    core::SiblingLinker linker;
    bool all_valid = true;
    // The units the general path makes: per item, the nested `type` unit, then the item unit
    // holding it.
    for (std::size_t i = 0; i < items.size(); ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        const Location item_location = core::append_index_to_location(instance_location, i);
        const bool valid = conforms(items[i]);

        core::EvaluationNode type_unit;
        type_unit.evaluation_path = core::evaluation_path_for(ctx, chain, type_.location);
        type_unit.resolved_location = type_.resolved;
        type_unit.instance_location = item_location;
        type_unit.absolute_location = type_.absolute;
        if (!valid) {
            EvaluationResult r = type_validator_->evaluate_at(items[i], item_path, item_location, chain, ctx);
            type_unit.valid = false;
            type_unit.errors = std::move(r.errors);
        }
        const std::uint32_t type_id = ctx.push_node(std::move(type_unit));

        core::EvaluationNode item_unit;
        item_unit.evaluation_path = core::evaluation_path_for(ctx, chain, items_.location);
        item_unit.resolved_location = items_.resolved;
        item_unit.instance_location = item_location;
        item_unit.absolute_location = items_.absolute;
        item_unit.first_child = type_id;
        item_unit.valid = valid;
        linker.link(ctx.output(), ctx.push_node(std::move(item_unit)));
        all_valid = all_valid && valid;
    }
    EvaluationResult r;
    r.valid = all_valid;
    r.children_valid = all_valid;
    linker.fill(r);
    r.annotations = std::make_shared<const Value>(Value::boolean(!items.empty()));
    return r;
}

EvaluationResult ItemsOfTypeValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool ItemsOfTypeValidator::trace(const Value& instance, const LazyLocation& instance_path, core::Tracer& tracer,
                                 core::TraceContext&) const {
    if (!instance.is_array()) {
        tracer.emit(instance_path, items_.location, TraceOutcome::NotApplicable);
        tracer.emit(instance_path, type_.location, TraceOutcome::NotApplicable);
        return true;
    }
    const auto& items = instance.as_array();
    bool valid = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        const bool item_valid = conforms(items[i]);
        tracer.emit(item_path, type_.location, core::outcome_of(item_valid));
        valid = valid && item_valid;
    }
    tracer.emit(instance_path, items_.location, core::outcome_of(valid));
    return valid;
}

std::unique_ptr<ItemsOfTypeValidator> build_items_of_type(const CompileContext& ctx, ItemTypeKind kind) {
    Location items = ctx.keyword_location("items");
    Location type = core::location_join_key(items, "type");
    return std::make_unique<ItemsOfTypeValidator>(kind, ctx.keyword_location_record(items),
                                                  ctx.keyword_location_record(type));
}

}  // namespace deririrore::keywords
