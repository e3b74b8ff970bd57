#include "deririrore/keywords/unevaluated_items.hpp"

#include <algorithm>

#include "deririrore/value/json.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::ValidationContext;

namespace {

// The kind under which item collections are entered on the context's in-progress stack.
constexpr std::uint8_t kItemCollectionEntry = 2;

bool every_flag_set(const std::vector<std::uint8_t>& flags) {
    return std::all_of(flags.begin(), flags.end(), [](std::uint8_t f) { return f != 0; });
}

void set_leading(std::vector<std::uint8_t>& flags, std::uint64_t count) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, flags.size()));
    std::fill(flags.begin(), flags.begin() + static_cast<std::ptrdiff_t>(n), std::uint8_t{1});
}

void set_all(std::vector<std::uint8_t>& flags, const std::vector<std::uint8_t>& from) {
    for (std::size_t i = 0; i < flags.size() && i < from.size(); ++i) {
        if (from[i] != 0) flags[i] = 1;
    }
}

struct Walk {
    const Value& instance;
    std::vector<std::uint8_t>& flags;
    ValidationContext& ctx;
    EvaluatedWalk& walk;

    void mark(const ItemsValidators& validators, bool include_unevaluated);
    void mark(const ItemsValidators* validators) {
        if (validators == nullptr) return;
        const ItemsValidators& nested = finished(validators);
        if (const auto* kept = walk.kept_nested(&nested)) return set_all(flags, *kept);
        mark(nested, true);
    }
};

void Walk::mark(const ItemsValidators& validators, bool include_unevaluated) {
    const CollectionEntry entry(ctx, walk, &validators, instance, kItemCollectionEntry);
    if (!entry) return;

    if (validators.all_items) {
        std::fill(flags.begin(), flags.end(), std::uint8_t{1});
        return;
    }
    for (const ItemsValidators* target : {validators.ref, validators.recursive_ref, validators.dynamic_ref}) {
        mark(target);
    }
    if (validators.items_count) set_leading(flags, *validators.items_count);
    if (validators.prefix_items_count) set_leading(flags, *validators.prefix_items_count);
    if (every_flag_set(flags)) return;

    if (instance.is_array()) {
        const auto& items = instance.as_array();
        const bool check_unevaluated = include_unevaluated && validators.unevaluated != nullptr;
        if (validators.contains != nullptr || check_unevaluated) {
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (flags[i] != 0) continue;
                if (validators.contains != nullptr && validators.contains->is_valid(items[i], ctx)) {
                    flags[i] = 1;
                } else if (check_unevaluated && validators.unevaluated->is_valid(items[i], ctx)) {
                    flags[i] = 1;
                }
            }
        }
    }
    visit_applied_subschemas(validators, instance, ctx, [this](const ItemsValidators* applied) { mark(applied); });
}

}  // namespace

void mark_evaluated_items(const ItemsValidators& validators, const Value& instance, std::vector<std::uint8_t>& flags,
                          ValidationContext& ctx, bool include_unevaluated) {
    EvaluatedWalk walk(ctx, &validators, instance, include_unevaluated ? kNestedPositions : kTopPositions);
    if (const auto* kept = walk.kept()) return set_all(flags, *kept);
    Walk{instance, flags, ctx, walk}.mark(validators, include_unevaluated);
    walk.keep(flags);
}

std::vector<std::uint8_t> UnevaluatedItemsValidator::evaluated_flags(const Value& instance, ValidationContext& ctx,
                                                                     bool include_unevaluated) const {
    std::vector<std::uint8_t> flags(instance.as_array().size(), 0);
    mark_evaluated_items(validators(), instance, flags, ctx, include_unevaluated);
    return flags;
}

bool UnevaluatedItemsValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_array()) return true;
    const auto& items = instance.as_array();
    const std::vector<std::uint8_t> flags = evaluated_flags(instance, ctx, true);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (flags[i] == 0 && !unevaluated_->is_valid(items[i], ctx)) return false;
    }
    return true;
}

ValidationError UnevaluatedItemsValidator::error_for(std::vector<std::string> texts, const Value& instance,
                                                     const LazyLocation& instance_path, const RefChain* chain) const {
    return ValidationError::make(core::kinds::UnevaluatedItems{std::move(texts)}, instance, instance_path, location_,
                                 chain);
}

std::optional<ValidationError> UnevaluatedItemsValidator::validate(const Value& instance,
                                                                   const LazyLocation& instance_path,
                                                                   const RefChain* chain,
                                                                   ValidationContext& ctx) const {
    if (!instance.is_array()) return std::nullopt;
    const auto& items = instance.as_array();
    const std::vector<std::uint8_t> flags = evaluated_flags(instance, ctx, true);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (flags[i] == 0 && !unevaluated_->is_valid(items[i], ctx)) texts.push_back(value::to_json(items[i]));
    }
    if (texts.empty()) return std::nullopt;
    return error_for(std::move(texts), instance, instance_path, chain);
}

EvaluationResult UnevaluatedItemsValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                     const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    const auto& items = instance.as_array();
    const std::vector<std::uint8_t> flags = evaluated_flags(instance, ctx, false);
    UnevaluatedChildren children(*unevaluated_, chain, ctx);
    std::vector<std::string> noted;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (flags[i] != 0) continue;
        if (!children.add(items[i], instance_path.push(static_cast<std::uint64_t>(i)))) {
            noted.push_back(value::to_json(items[i]));
        }
    }
    return children.result([&] { return error_for(std::move(noted), instance, instance_path, chain); });
}

EvaluationResult UnevaluatedItemsValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                        const Location&, const RefChain* chain,
                                                        EvaluationContext& ctx) const {
    return evaluate(instance, instance_path, chain, ctx);
}

bool UnevaluatedItemsValidator::trace(const Value& instance, const LazyLocation& instance_path, core::Tracer& tracer,
                                      core::TraceContext& ctx) const {
    if (!instance.is_array()) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const auto& items = instance.as_array();
    const std::vector<std::uint8_t> flags = evaluated_flags(instance, ctx, false);
    bool valid = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (flags[i] != 0) continue;
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        valid = unevaluated_->trace(items[i], item_path, tracer, ctx) && valid;
    }
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

KeywordCompileResult compile_unevaluated_items(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (value.is_bool() && value.as_bool()) return no_validator();
    const CompileContext keyword_ctx = ctx.at_keyword("unevaluatedItems");
    auto node = core::compile_subschema(keyword_ctx, value);
    if (!node) return make_unexpected(std::move(node).error());
    auto validators = compile_items_validators(ctx, parent);
    if (!validators) return make_unexpected(core::error_into_owned(std::move(validators).error()));
    return KeywordValidatorPtr(std::make_unique<UnevaluatedItemsValidator>(*validators, *node, keyword_ctx.location(),
                                                                           evaluated_arena(ctx)));
}

}  // namespace deririrore::keywords
