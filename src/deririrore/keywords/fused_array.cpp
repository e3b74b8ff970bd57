#include "deririrore/keywords/fused_array.hpp"

#include <limits>

#include "deririrore/core/internal_error.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::TraceOutcome;

namespace {

constexpr std::uint64_t kNoUpperLimit = std::numeric_limits<std::uint64_t>::max();

FusedArrayValidator::ItemKind fused_kind_of(ItemTypeKind kind) noexcept {
    // The selection numbers the integer kinds the other way round.
    switch (kind) {
        case ItemTypeKind::Number: return FusedArrayValidator::ItemKind::Number;
        case ItemTypeKind::String: return FusedArrayValidator::ItemKind::String;
        case ItemTypeKind::Boolean: return FusedArrayValidator::ItemKind::Boolean;
        case ItemTypeKind::Integer: return FusedArrayValidator::ItemKind::Integer;
        case ItemTypeKind::Draft4Integer: return FusedArrayValidator::ItemKind::Draft4Integer;
    }
    return FusedArrayValidator::ItemKind::Node;
}

std::uint64_t min_limit_of(const core::FusedArrayInfo& info) {
    if (!info.min_items) return 0;
    if (!info.min_limit) throw InternalError("Fails only with its limit");
    return *info.min_limit;
}

std::uint64_t max_limit_of(const core::FusedArrayInfo& info) {
    if (!info.max_items) return kNoUpperLimit;
    if (!info.max_limit) throw InternalError("Fails only with its limit");
    return *info.max_limit;
}

ValidationError with_absolute(ValidationError error, const core::AbsoluteLocation& absolute) {
    error.attach_absolute_location(absolute);
    return error;
}

}  // namespace

FusedArrayValidator::FusedArrayValidator(std::unique_ptr<ItemsOfTypeValidator> items,
                                         std::shared_ptr<const core::FusedArrayInfo> info)
    : item_kind_(fused_kind_of(items->kind())),
      of_type_(std::move(items)),
      info_(std::move(info)),
      min_items_(min_limit_of(*info_)),
      max_items_(max_limit_of(*info_)) {}

FusedArrayValidator::FusedArrayValidator(const SchemaNode* items, std::shared_ptr<const core::FusedArrayInfo> info)
    : item_kind_(ItemKind::Node),
      node_(items),
      info_(std::move(info)),
      min_items_(min_limit_of(*info_)),
      max_items_(max_limit_of(*info_)) {}

bool FusedArrayValidator::items_valid(const Value& array, core::ValidationContext& ctx) const {
    if (of_type_) return of_type_->all_conform(array);
    for (const Value& item : array.as_array()) {
        if (!node_->is_valid(item, ctx)) return false;
    }
    return true;
}

// The absorbed keywords' errors carry their own absolute locations: the node would otherwise
// give them the one of `items`, where the validator stands.
ValidationError FusedArrayValidator::type_error(const Value& instance, const LazyLocation& instance_path,
                                                const RefChain* chain) const {
    return with_absolute(ValidationError::make(core::type_kind_single(JsonType::Array), instance, instance_path,
                                               info_->type.location, chain),
                         info_->type.absolute);
}

ValidationError FusedArrayValidator::min_items_error(const Value& instance, const LazyLocation& instance_path,
                                                     const RefChain* chain) const {
    if (!info_->min_items || !info_->min_limit) throw InternalError("Fails only with its limit");
    return with_absolute(ValidationError::make(core::kinds::MinItems{*info_->min_limit}, instance, instance_path,
                                               info_->min_items->location, chain),
                         info_->min_items->absolute);
}

ValidationError FusedArrayValidator::max_items_error(const Value& instance, const LazyLocation& instance_path,
                                                     const RefChain* chain) const {
    if (!info_->max_items || !info_->max_limit) throw InternalError("Fails only with its limit");
    return with_absolute(ValidationError::make(core::kinds::MaxItems{*info_->max_limit}, instance, instance_path,
                                               info_->max_items->location, chain),
                         info_->max_items->absolute);
}

bool FusedArrayValidator::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    if (!instance.is_array() || !length_ok(instance.as_array().size())) return false;
    return items_valid(instance, ctx);
}

std::optional<ValidationError> FusedArrayValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                             const RefChain* chain,
                                                             core::ValidationContext& ctx) const {
    if (!instance.is_array()) return type_error(instance, instance_path, chain);
    const std::size_t n = instance.as_array().size();
    if (n < min_items_) return min_items_error(instance, instance_path, chain);
    if (n > max_items_) return max_items_error(instance, instance_path, chain);
    if (of_type_) return of_type_->validate(instance, instance_path, chain, ctx);
    const auto& items = instance.as_array();
    for (std::size_t i = 0; i < n; ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        if (auto error = node_->validate(items[i], item_path, chain, ctx)) return error;
    }
    return std::nullopt;
}

void FusedArrayValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                      const RefChain* chain, core::ValidationContext& ctx,
                                      core::ErrorSink& sink) const {
    if (!instance.is_array()) {
        sink.push_back(type_error(instance, instance_path, chain));
        return;
    }
    const std::size_t n = instance.as_array().size();
    if (n < min_items_) sink.push_back(min_items_error(instance, instance_path, chain));
    if (n > max_items_) sink.push_back(max_items_error(instance, instance_path, chain));
    if (of_type_) {
        of_type_->iter_errors(instance, instance_path, chain, ctx, sink);
        return;
    }
    const auto& items = instance.as_array();
    for (std::size_t i = 0; i < n; ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        node_->iter_errors(items[i], item_path, chain, ctx, sink);
    }
}

EvaluationResult FusedArrayValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                  const Location& instance_location, const RefChain* chain,
                                                  EvaluationContext& ctx) const {
    if (of_type_) return of_type_->evaluate_at(instance, instance_path, instance_location, chain, ctx);
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    const auto& items = instance.as_array();
    core::SiblingLinker linker;
    bool all_valid = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        const Location item_location = core::append_index_to_location(instance_location, i);
        core::EvaluationNode child = core::evaluate_child_node(*node_, items[i], item_path, item_location, chain, ctx);
        all_valid = all_valid && child.valid;
        linker.link(ctx.output(), ctx.push_node(std::move(child)));
    }
    EvaluationResult r;
    r.valid = all_valid;
    r.children_valid = all_valid;
    linker.fill(r);
    r.annotations = std::make_shared<const Value>(Value::boolean(!items.empty()));
    return r;
}

EvaluationResult FusedArrayValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                               const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool FusedArrayValidator::trace(const Value& instance, const LazyLocation& instance_path, core::Tracer& tracer,
                                core::TraceContext& ctx) const {
    const core::FusedArrayInfo& info = *info_;
    if (!instance.is_array()) {
        tracer.emit(instance_path, info.type.location, TraceOutcome::Failed);
        if (info.min_items) tracer.emit(instance_path, info.min_items->location, TraceOutcome::NotApplicable);
        if (info.max_items) tracer.emit(instance_path, info.max_items->location, TraceOutcome::NotApplicable);
        if (of_type_) {
            of_type_->trace(instance, instance_path, tracer, ctx);
        } else {
            tracer.emit(instance_path, node_->location(), TraceOutcome::NotApplicable);
        }
        return false;
    }
    const std::size_t n = instance.as_array().size();
    tracer.emit(instance_path, info.type.location, TraceOutcome::Passed);
    bool valid = true;
    if (info.min_items) {
        const bool ok = n >= min_items_;
        tracer.emit(instance_path, info.min_items->location, core::outcome_of(ok));
        valid = valid && ok;
    }
    if (info.max_items) {
        const bool ok = n <= max_items_;
        tracer.emit(instance_path, info.max_items->location, core::outcome_of(ok));
        valid = valid && ok;
    }
    if (of_type_) return of_type_->trace(instance, instance_path, tracer, ctx) && valid;
    const auto& items = instance.as_array();
    bool items_ok = true;
    for (std::size_t i = 0; i < n; ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        items_ok = node_->trace(items[i], item_path, tracer, ctx) && items_ok;
    }
    tracer.emit(instance_path, node_->location(), core::outcome_of(items_ok));
    return valid && items_ok;
}

KeywordCompileResult compile_fused_array(const CompileContext& ctx, const Value&, const Value& items,
                                         const std::shared_ptr<const core::FusedArrayInfo>& info) {
    if (auto kind = core::single_type_items_kind(ctx, items)) {
        return KeywordValidatorPtr(
            std::make_unique<FusedArrayValidator>(build_items_of_type(ctx, static_cast<ItemTypeKind>(*kind)), info));
    }
    auto node = core::compile_subschema(ctx.at_keyword("items"), items);
    if (!node) return make_unexpected(std::move(node).error());
    return KeywordValidatorPtr(std::make_unique<FusedArrayValidator>(*node, info));
}

}  // namespace deririrore::keywords
