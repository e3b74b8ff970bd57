#include "deririrore/keywords/numeric_bounds.hpp"

namespace deririrore::keywords {

using core::ValidationError;
namespace kinds = core::kinds;

namespace {

template <class T>
int three_way(T a, T b) noexcept {
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool relation_holds(BoundKeyword keyword, int order) noexcept {
    switch (keyword) {
        case BoundKeyword::Minimum: return order >= 0;
        case BoundKeyword::Maximum: return order <= 0;
        case BoundKeyword::ExclusiveMinimum: return order > 0;
        case BoundKeyword::ExclusiveMaximum: return order < 0;
    }
    return true;
}

core::ValidationErrorKind bound_error_kind(BoundKeyword keyword, const Value& limit) {
    switch (keyword) {
        case BoundKeyword::Minimum: return kinds::Minimum{limit};
        case BoundKeyword::Maximum: return kinds::Maximum{limit};
        case BoundKeyword::ExclusiveMinimum: return kinds::ExclusiveMinimum{limit};
        case BoundKeyword::ExclusiveMaximum: return kinds::ExclusiveMaximum{limit};
    }
    return kinds::Minimum{limit};
}

}  // namespace

std::string_view bound_keyword_name(BoundKeyword keyword) noexcept {
    switch (keyword) {
        case BoundKeyword::Minimum: return "minimum";
        case BoundKeyword::Maximum: return "maximum";
        case BoundKeyword::ExclusiveMinimum: return "exclusiveMinimum";
        case BoundKeyword::ExclusiveMaximum: return "exclusiveMaximum";
    }
    return {};
}

std::optional<NumericLimitValue> NumericLimitValue::from_text(std::string_view text) {
    auto decimal = OwnedDecimal::from_text(text);
    if (!decimal) return std::nullopt;
    NumericLimitValue limit;
    limit.decimal_ = std::move(*decimal);
    limit.unsigned_ = read_plain_unsigned(text);
    if (!limit.unsigned_) limit.signed_ = read_plain_signed(text);
    return limit;
}

int NumericLimitValue::order_of(std::string_view text) const noexcept {
    if (unsigned_) {
        if (auto u = read_plain_unsigned(text)) return three_way(*u, *unsigned_);
        // Not unsigned but signed: a negative integer or "-0".
        if (auto s = read_plain_signed(text)) return *s < 0 ? -1 : three_way<std::uint64_t>(0, *unsigned_);
    } else if (signed_) {
        if (auto u = read_plain_unsigned(text)) {
            return *signed_ < 0 ? 1 : three_way(*u, static_cast<std::uint64_t>(*signed_));
        }
        if (auto s = read_plain_signed(text)) return three_way(*s, *signed_);
    }
    auto d = read_decimal(text);
    if (!d) return !text.empty() && text.front() == '-' ? -1 : 1;
    return compare_decimals(*d, decimal_.view());
}

bool NumericBoundValidator::admits(std::string_view number_text) const noexcept {
    return relation_holds(keyword_, limit_.order_of(number_text));
}

bool NumericBoundValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    return !instance.is_number() || admits(instance.number_text());
}

std::optional<ValidationError> NumericBoundValidator::validate(const Value& instance,
                                                               const core::LazyLocation& instance_path,
                                                               const core::RefChain* chain,
                                                               core::ValidationContext&) const {
    if (!instance.is_number() || admits(instance.number_text())) return std::nullopt;
    return ValidationError::make(bound_error_kind(keyword_, limit_value_), instance, instance_path, location_, chain);
}

bool NumericBoundValidator::trace(const Value& instance, const core::LazyLocation& instance_path,
                                  core::Tracer& tracer, core::TraceContext&) const {
    if (!instance.is_number()) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = admits(instance.number_text());
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

void Draft4ExclusiveBoundValidator::iter_errors(const Value& instance, const core::LazyLocation& instance_path,
                                                const core::RefChain* chain, core::ValidationContext& ctx,
                                                core::ErrorSink& sink) const {
    inner_->iter_errors(instance, instance_path, chain, ctx, sink);
}

bool Draft4ExclusiveBoundValidator::is_valid(const Value& instance, core::ValidationContext& ctx) const {
    return inner_->is_valid(instance, ctx);
}

std::optional<ValidationError> Draft4ExclusiveBoundValidator::validate(const Value& instance,
                                                                       const core::LazyLocation& instance_path,
                                                                       const core::RefChain* chain,
                                                                       core::ValidationContext& ctx) const {
    return inner_->validate(instance, instance_path, chain, ctx);
}

core::EvaluationResult Draft4ExclusiveBoundValidator::evaluate_at(const Value& instance,
                                                                  const core::LazyLocation& instance_path,
                                                                  const Location& instance_location,
                                                                  const core::RefChain* chain,
                                                                  core::EvaluationContext& ctx) const {
    return inner_->evaluate_at(instance, instance_path, instance_location, chain, ctx);
}

core::EvaluationResult Draft4ExclusiveBoundValidator::evaluate(const Value& instance,
                                                               const core::LazyLocation& instance_path,
                                                               const core::RefChain* chain,
                                                               core::EvaluationContext& ctx) const {
    return inner_->evaluate(instance, instance_path, chain, ctx);
}

bool Draft4ExclusiveBoundValidator::trace(const Value& instance, const core::LazyLocation& instance_path,
                                          core::Tracer& tracer, core::TraceContext&) const {
    core::TraceOutcome outcome = core::TraceOutcome::NotApplicable;
    bool valid = true;
    if (instance.is_number()) {
        valid = inner_->admits(instance.number_text());
        outcome = core::outcome_of(valid);
    }
    tracer.emit(instance_path, inner_->location(), outcome);
    tracer.emit(instance_path, own_location_, outcome);
    return valid;
}

ValidationError build_bound_type_error(const Location& context_location, std::string_view keyword,
                                       const Value& value) {
    return ValidationError::compile_error(core::type_kind_single(core::JsonType::Number), value,
                                          core::location_join_key(context_location, keyword));
}

namespace {

Result<std::unique_ptr<NumericBoundValidator>, ValidationError> build_bound(const CompileContext& ctx,
                                                                           BoundKeyword keyword,
                                                                           const Value& value) {
    const std::string_view name = bound_keyword_name(keyword);
    if (!value.is_number()) return make_unexpected(build_bound_type_error(ctx.location(), name, value));
    auto limit = NumericLimitValue::from_text(value.number_text());
    if (!limit) return make_unexpected(build_bound_type_error(ctx.location(), name, value));
    return std::make_unique<NumericBoundValidator>(keyword, std::move(*limit), value, ctx.keyword_location(name));
}

KeywordCompileResult compile_bound(const CompileContext& ctx, BoundKeyword keyword, const Value& value) {
    auto built = build_bound(ctx, keyword, value);
    if (!built) return make_unexpected(std::move(built).error());
    return core::KeywordValidatorPtr(std::move(*built));
}

KeywordCompileResult compile_draft4_bound(const CompileContext& ctx, const Value& parent, const Value& value,
                                   BoundKeyword plain, BoundKeyword exclusive) {
    const Value* flag = parent.find(bound_keyword_name(exclusive));
    if (flag == nullptr || !flag->is_bool() || !flag->as_bool()) return compile_bound(ctx, plain, value);
    auto inner = build_bound(ctx, exclusive, value);
    if (!inner) return make_unexpected(std::move(inner).error());
    return std::make_unique<Draft4ExclusiveBoundValidator>(std::move(*inner),
                                                           ctx.keyword_location(bound_keyword_name(plain)));
}

}  // namespace

KeywordCompileResult compile_minimum(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_bound(ctx, BoundKeyword::Minimum, value);
}

KeywordCompileResult compile_maximum(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_bound(ctx, BoundKeyword::Maximum, value);
}

KeywordCompileResult compile_exclusive_minimum(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_bound(ctx, BoundKeyword::ExclusiveMinimum, value);
}

KeywordCompileResult compile_exclusive_maximum(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_bound(ctx, BoundKeyword::ExclusiveMaximum, value);
}

KeywordCompileResult compile_minimum_draft4(const CompileContext& ctx, const Value& parent, const Value& value) {
    return compile_draft4_bound(ctx, parent, value, BoundKeyword::Minimum, BoundKeyword::ExclusiveMinimum);
}

KeywordCompileResult compile_maximum_draft4(const CompileContext& ctx, const Value& parent, const Value& value) {
    return compile_draft4_bound(ctx, parent, value, BoundKeyword::Maximum, BoundKeyword::ExclusiveMaximum);
}

}  // namespace deririrore::keywords
