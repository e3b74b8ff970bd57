#include "deririrore/keywords/contains.hpp"

#include "deririrore/keywords/limits.hpp"

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::TraceOutcome;

ValidationError contains_error(const Location& schema_path, const core::AbsoluteLocation& absolute,
                               const Value& array, const LazyLocation& array_path, const RefChain* chain) {
    ValidationError error = ValidationError::make(core::kinds::Contains{}, array, array_path, schema_path, chain);
    error.attach_absolute_location(absolute);
    return error;
}

bool ContainsValidator::count_ok(std::uint64_t k) const noexcept {
    return k >= minimum_ && (!max_bound_ || k <= maximum_);
}

bool ContainsValidator::count_valid(const Value& array, core::ValidationContext& ctx, std::uint64_t& k) const {
    k = 0;
    if (!max_bound_ && minimum_ == 0) return true;
    for (const Value& item : array.as_array()) {
        if (!node_->is_valid(item, ctx)) continue;
        ++k;
        if (max_bound_) {
            if (k > maximum_) return false;
        } else if (k >= minimum_) {
            return true;
        }
    }
    return count_ok(k);
}

bool ContainsValidator::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    if (!instance.is_array()) return true;
    std::uint64_t k = 0;
    return count_valid(instance, ctx, k);
}

std::optional<ValidationError> ContainsValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                           const RefChain* chain, core::ValidationContext& ctx) const {
    if (!instance.is_array()) return std::nullopt;
    std::uint64_t k = 0;
    if (count_valid(instance, ctx, k)) return std::nullopt;
    if (max_bound_ && k > maximum_) {
        return contains_error(max_bound_->location, max_bound_->absolute, instance, instance_path, chain);
    }
    if (min_bound_) return contains_error(min_bound_->location, min_bound_->absolute, instance, instance_path, chain);
    // `maxContains` alone also answers for an array without any match.
    if (max_bound_) return contains_error(max_bound_->location, max_bound_->absolute, instance, instance_path, chain);
    return contains_error(node_->location(), nullptr, instance, instance_path, chain);
}

void ContainsValidator::iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                                    core::ValidationContext& ctx, core::ErrorSink& sink) const {
    if (auto error = validate(instance, instance_path, chain, ctx)) sink.push_back(std::move(*error));
}

bool ContainsValidator::trace(const Value& instance, const LazyLocation& instance_path, core::Tracer& tracer,
                              core::TraceContext& ctx) const {
    if (!instance.is_array()) {
        tracer.emit(instance_path, node_->location(), TraceOutcome::NotApplicable);
        if (min_bound_) tracer.emit(instance_path, min_bound_->location, TraceOutcome::NotApplicable);
        if (max_bound_) tracer.emit(instance_path, max_bound_->location, TraceOutcome::NotApplicable);
        return true;
    }
    // Every item is traced, so that every keyword of every item is counted.
    const auto& items = instance.as_array();
    std::uint64_t k = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        if (node_->trace(items[i], item_path, tracer, ctx)) ++k;
    }
    tracer.emit(instance_path, node_->location(), core::outcome_of(k > 0));
    if (min_bound_) tracer.emit(instance_path, min_bound_->location, core::outcome_of(k >= minimum_));
    if (max_bound_) tracer.emit(instance_path, max_bound_->location, core::outcome_of(k <= maximum_));
    return count_ok(k);
}

EvaluationResult PlainContainsValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                     const Location& instance_location, const RefChain* chain,
                                                     EvaluationContext& ctx) const {
    if (!instance.is_array()) {
        EvaluationResult r;
        r.annotations = std::make_shared<const Value>(Value::array());
        return r;
    }
    const auto& items = instance.as_array();
    core::SiblingLinker linker;
    Value::Array matched;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        const Location item_location = core::append_index_to_location(instance_location, i);
        core::EvaluationNode child = core::evaluate_child_node(*node_, items[i], item_path, item_location, chain, ctx);
        // Units of items that do not match are discarded.
        if (!child.valid) continue;
        matched.push_back(Value::number_from_uint64(i));
        linker.link(ctx.output(), ctx.push_node(std::move(child)));
    }
    if (matched.empty()) {
        return EvaluationResult::invalid({core::error_keyword_and_message(
            ValidationError::make_at(core::kinds::Contains{}, instance, instance_location, node_->location(), chain))});
    }
    EvaluationResult r;
    linker.fill(r);
    r.annotations = std::make_shared<const Value>(Value::array(std::move(matched)));
    return r;
}

EvaluationResult PlainContainsValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                  const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_array()) return evaluate_at(instance, instance_path, Location(), chain, ctx);
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

Result<std::optional<std::uint64_t>, ValidationError> read_contains_count(const Value& parent,
                                                                         const CompileContext& ctx,
                                                                         std::string_view keyword) {
    const Value* value = parent.find(keyword);
    if (value == nullptr) return std::optional<std::uint64_t>();
    if (auto count = read_size_limit(*value, ctx.draft())) return std::optional<std::uint64_t>(*count);
    return make_unexpected(build_limit_value_error(*value, ctx.keyword_location(keyword)));
}

KeywordCompileResult compile_contains(const CompileContext& ctx, const Value& value) {
    auto node = core::compile_subschema(ctx.at_keyword("contains"), value);
    if (!node) return make_unexpected(std::move(node).error());
    return KeywordValidatorPtr(std::make_unique<PlainContainsValidator>(*node));
}

KeywordCompileResult compile_contains_keyword(const CompileContext& ctx, const Value& parent, const Value& value) {
    // The bounds exist from 2019-09 on, the unknown draft of a custom meta-schema included, and
    // count only with the validation vocabulary.
    if (ctx.draft() <= Draft::Draft7 || !ctx.has_vocabulary(core::KnownVocabulary::Validation)) {
        return compile_contains(ctx, value);
    }
    auto minimum = read_contains_count(parent, ctx, "minContains");
    if (!minimum) return make_unexpected(std::move(minimum).error());
    auto maximum = read_contains_count(parent, ctx, "maxContains");
    if (!maximum) return make_unexpected(std::move(maximum).error());
    if (!*minimum && !*maximum) return compile_contains(ctx, value);

    auto bound = [&](std::string_view keyword) {
        Location location = ctx.keyword_location(keyword);
        core::AbsoluteLocation absolute = ctx.absolute_location(location);
        return ContainsBound{std::move(location), std::move(absolute)};
    };
    std::optional<ContainsBound> min_bound;
    std::optional<ContainsBound> max_bound;
    if (*minimum) min_bound = bound("minContains");
    if (*maximum) max_bound = bound("maxContains");
    auto node = core::compile_subschema(ctx.at_keyword("contains"), value);
    if (!node) return make_unexpected(std::move(node).error());
    if (min_bound && max_bound) {
        return KeywordValidatorPtr(std::make_unique<MinMaxContainsValidator>(*node, std::move(*min_bound), **minimum,
                                                                             std::move(*max_bound), **maximum));
    }
    if (min_bound) return KeywordValidatorPtr(std::make_unique<MinContainsValidator>(*node, std::move(*min_bound), **minimum));
    return KeywordValidatorPtr(std::make_unique<MaxContainsValidator>(*node, std::move(*max_bound), **maximum));
}

}  // namespace deririrore::keywords
