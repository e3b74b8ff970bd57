#include "deririrore/keywords/limits.hpp"

#include "deririrore/keywords/decimal.hpp"

namespace deririrore::keywords {

using core::ValidationError;
namespace kinds = core::kinds;

std::uint64_t count_characters(std::string_view text) noexcept {
    std::uint64_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

namespace {

template <SizeKeyword K>
constexpr bool is_minimum_keyword() {
    return K == SizeKeyword::MinLength || K == SizeKeyword::MinItems || K == SizeKeyword::MinProperties;
}

// The count of an instance in the keyword's domain; none outside it.
template <SizeKeyword K>
std::optional<std::uint64_t> count_of(const Value& instance) noexcept {
    if constexpr (K == SizeKeyword::MinLength || K == SizeKeyword::MaxLength) {
        if (!instance.is_string()) return std::nullopt;
        return count_characters(instance.as_string());
    } else if constexpr (K == SizeKeyword::MinItems || K == SizeKeyword::MaxItems) {
        if (!instance.is_array()) return std::nullopt;
        return instance.as_array().size();
    } else {
        if (!instance.is_object()) return std::nullopt;
        return instance.as_object().size();
    }
}

template <SizeKeyword K>
core::ValidationErrorKind error_kind(std::uint64_t limit) {
    if constexpr (K == SizeKeyword::MinLength) return kinds::MinLength{limit};
    if constexpr (K == SizeKeyword::MaxLength) return kinds::MaxLength{limit};
    if constexpr (K == SizeKeyword::MinItems) return kinds::MinItems{limit};
    if constexpr (K == SizeKeyword::MaxItems) return kinds::MaxItems{limit};
    if constexpr (K == SizeKeyword::MinProperties) return kinds::MinProperties{limit};
    if constexpr (K == SizeKeyword::MaxProperties) return kinds::MaxProperties{limit};
}

template <SizeKeyword K>
bool holds(std::uint64_t count, std::uint64_t limit) noexcept {
    if constexpr (is_minimum_keyword<K>()) {
        return count >= limit;
    } else {
        return count <= limit;
    }
}

}  // namespace

template <SizeKeyword K>
bool SizeLimitValidator<K>::is_valid(const Value& instance, core::ValidationContext&) const {
    auto n = count_of<K>(instance);
    return !n || holds<K>(*n, limit_);
}

template <SizeKeyword K>
std::optional<ValidationError> SizeLimitValidator<K>::validate(const Value& instance,
                                                               const core::LazyLocation& instance_path,
                                                               const core::RefChain* chain,
                                                               core::ValidationContext&) const {
    auto n = count_of<K>(instance);
    if (!n || holds<K>(*n, limit_)) return std::nullopt;
    return ValidationError::make(error_kind<K>(limit_), instance, instance_path, location_, chain);
}

template <SizeKeyword K>
bool SizeLimitValidator<K>::applies_to(const Value& instance) const {
    return count_of<K>(instance).has_value();
}

template <SizeKeyword K>
bool SizeLimitValidator<K>::trace(const Value& instance, const core::LazyLocation& instance_path,
                                  core::Tracer& tracer, core::TraceContext&) const {
    auto n = count_of<K>(instance);
    if (!n) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = holds<K>(*n, limit_);
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

template class SizeLimitValidator<SizeKeyword::MinLength>;
template class SizeLimitValidator<SizeKeyword::MaxLength>;
template class SizeLimitValidator<SizeKeyword::MinItems>;
template class SizeLimitValidator<SizeKeyword::MaxItems>;
template class SizeLimitValidator<SizeKeyword::MinProperties>;
template class SizeLimitValidator<SizeKeyword::MaxProperties>;

ValidationError LengthRangeValidator::min_error(const Value& instance, const core::LazyLocation& instance_path,
                                                const core::RefChain* chain) const {
    return ValidationError::make(kinds::MinLength{minimum_}, instance, instance_path, min_location_, chain);
}

ValidationError LengthRangeValidator::max_error(const Value& instance, const core::LazyLocation& instance_path,
                                                const core::RefChain* chain) const {
    ValidationError error =
        ValidationError::make(kinds::MaxLength{maximum_}, instance, instance_path, max_location_, chain);
    error.attach_absolute_location(max_absolute_);
    return error;
}

void LengthRangeValidator::iter_errors(const Value& instance, const core::LazyLocation& instance_path,
                                       const core::RefChain* chain, core::ValidationContext&,
                                       core::ErrorSink& sink) const {
    if (!instance.is_string()) return;
    const std::uint64_t n = count_characters(instance.as_string());
    if (n < minimum_) sink.push_back(min_error(instance, instance_path, chain));
    if (n > maximum_) sink.push_back(max_error(instance, instance_path, chain));
}

bool LengthRangeValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    if (!instance.is_string()) return true;
    const std::uint64_t n = count_characters(instance.as_string());
    return minimum_ <= n && n <= maximum_;
}

std::optional<ValidationError> LengthRangeValidator::validate(const Value& instance,
                                                              const core::LazyLocation& instance_path,
                                                              const core::RefChain* chain,
                                                              core::ValidationContext&) const {
    if (!instance.is_string()) return std::nullopt;
    const std::uint64_t n = count_characters(instance.as_string());
    if (n < minimum_) return min_error(instance, instance_path, chain);
    if (n > maximum_) return max_error(instance, instance_path, chain);
    return std::nullopt;
}

core::EvaluationResult LengthRangeValidator::evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                                      const core::RefChain* chain,
                                                      core::EvaluationContext& ctx) const {
    if (!instance.is_string()) return core::EvaluationResult::empty_valid();
    const std::uint64_t n = count_characters(instance.as_string());
    core::EvaluationResult result = core::EvaluationResult::empty_valid();
    // The absorbed maxLength reports as a child unit of its own; minLength is this unit's keyword.
    if (n > maximum_) {
        core::EvaluationNode child = core::build_failed_output_unit(
            instance_path, chain, max_location_, max_absolute_,
            core::error_keyword_and_message(max_error(instance, instance_path, chain)), ctx);
        const std::uint32_t id = ctx.push_node(std::move(child));
        core::SiblingLinker children;
        children.link(ctx.output(), id);
        result.valid = false;
        children.fill(result);
        result.children_valid = false;
    }
    if (n < minimum_) {
        result.push_error_description(core::error_keyword_and_message(min_error(instance, instance_path, chain)));
    }
    return result;
}

bool LengthRangeValidator::trace(const Value& instance, const core::LazyLocation& instance_path,
                                 core::Tracer& tracer, core::TraceContext&) const {
    if (!instance.is_string()) {
        tracer.emit(instance_path, min_location_, core::TraceOutcome::NotApplicable);
        tracer.emit(instance_path, max_location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const std::uint64_t n = count_characters(instance.as_string());
    const bool min_ok = n >= minimum_;
    const bool max_ok = n <= maximum_;
    tracer.emit(instance_path, min_location_, core::outcome_of(min_ok));
    tracer.emit(instance_path, max_location_, core::outcome_of(max_ok));
    return min_ok && max_ok;
}

std::optional<std::uint64_t> read_size_limit(const Value& value, referencing::Draft draft) {
    if (!value.is_number()) return std::nullopt;
    const std::string_view text = value.number_text();
    if (auto u = read_plain_unsigned(text)) return *u;
    if (text.find_first_not_of("0123456789") == std::string_view::npos) return UINT64_MAX;
    if (draft == referencing::Draft::Draft4) return std::nullopt;
    // Whole numbers written otherwise (2.0, 1e2, -0.0) are decided on their digits, so that
    // 2.0000000000000000001 is refused and 1e400 saturates like a long digit string.
    auto d = read_decimal(text);
    if (!d || !d->is_integer() || (d->negative && !d->is_zero())) return std::nullopt;
    if (auto m = decimal_magnitude_u64(*d)) return *m;
    return UINT64_MAX;
}

ValidationError build_limit_value_error(const Value& value, const Location& keyword_location) {
    if (value.is_number() && read_plain_signed(value.number_text())) {
        return ValidationError::compile_error(kinds::Minimum{Value::number("0")}, value, keyword_location);
    }
    return ValidationError::compile_error(core::type_kind_single(core::JsonType::Integer), value, keyword_location);
}

namespace {

template <SizeKeyword K>
KeywordCompileResult compile_size_limit(const CompileContext& ctx, const Value& value, std::string_view keyword) {
    Location location = ctx.keyword_location(keyword);
    auto limit = read_size_limit(value, ctx.draft());
    if (!limit) return make_unexpected(build_limit_value_error(value, location));
    return std::make_unique<SizeLimitValidator<K>>(std::move(location), *limit);
}

// The partner's limit when the pair can fuse: present, not taken by a custom keyword, readable.
std::optional<std::uint64_t> fusable_partner(const CompileContext& ctx, const Value& parent,
                                             std::string_view partner) {
    const Value* value = parent.find(partner);
    if (value == nullptr || ctx.is_custom_keyword(partner)) return std::nullopt;
    return read_size_limit(*value, ctx.draft());
}

}  // namespace

KeywordCompileResult compile_min_length(const CompileContext& ctx, const Value& parent, const Value& value) {
    Location location = ctx.keyword_location("minLength");
    auto minimum = read_size_limit(value, ctx.draft());
    if (!minimum) return make_unexpected(build_limit_value_error(value, location));
    if (auto maximum = fusable_partner(ctx, parent, "maxLength")) {
        Location max_location = ctx.keyword_location("maxLength");
        core::AbsoluteLocation max_absolute = ctx.absolute_location(max_location);
        return std::make_unique<LengthRangeValidator>(std::move(location), std::move(max_location), *minimum,
                                                      *maximum, std::move(max_absolute));
    }
    return std::make_unique<MinLengthValidator>(std::move(location), *minimum);
}

KeywordCompileResult compile_max_length(const CompileContext& ctx, const Value& parent, const Value& value) {
    Location location = ctx.keyword_location("maxLength");
    auto maximum = read_size_limit(value, ctx.draft());
    if (!maximum) return make_unexpected(build_limit_value_error(value, location));
    // minLength builds the fused validator for both.
    if (fusable_partner(ctx, parent, "minLength")) return core::no_validator();
    return std::make_unique<MaxLengthValidator>(std::move(location), *maximum);
}

KeywordCompileResult compile_min_items(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_size_limit<SizeKeyword::MinItems>(ctx, value, "minItems");
}

KeywordCompileResult compile_max_items(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_size_limit<SizeKeyword::MaxItems>(ctx, value, "maxItems");
}

KeywordCompileResult compile_min_properties(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_size_limit<SizeKeyword::MinProperties>(ctx, value, "minProperties");
}

KeywordCompileResult compile_max_properties(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_size_limit<SizeKeyword::MaxProperties>(ctx, value, "maxProperties");
}

}  // namespace deririrore::keywords
