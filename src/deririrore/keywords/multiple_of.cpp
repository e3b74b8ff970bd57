#include "deririrore/keywords/multiple_of.hpp"

namespace deririrore::keywords {

using core::ValidationError;

MultipleOfValidator::MultipleOfValidator(Value divisor_value, OwnedDecimal divisor, Location location)
    : divisor_value_(std::move(divisor_value)), divisor_(std::move(divisor)), location_(std::move(location)) {
    if (divisor_.view().is_integer() && !divisor_.view().is_zero()) machine_divisor_ = decimal_magnitude_u64(divisor_.view());
}

bool MultipleOfValidator::admits(std::string_view text) const {
    if (machine_divisor_) {
        if (auto u = read_plain_unsigned(text)) return *u % *machine_divisor_ == 0;
        if (auto s = read_plain_signed(text)) {
            // The magnitude as unsigned, so that the smallest signed value has one.
            const std::uint64_t m = *s < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(*s) : static_cast<std::uint64_t>(*s);
            return m % *machine_divisor_ == 0;
        }
    }
    auto d = read_decimal(text);
    return d && is_decimal_multiple(*d, divisor_.view());
}

bool MultipleOfValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    return !instance.is_number() || admits(instance.number_text());
}

std::optional<ValidationError> MultipleOfValidator::validate(const Value& instance,
                                                             const core::LazyLocation& instance_path,
                                                             const core::RefChain* chain,
                                                             core::ValidationContext&) const {
    if (!instance.is_number() || admits(instance.number_text())) return std::nullopt;
    return ValidationError::make(core::kinds::MultipleOf{divisor_value_}, instance, instance_path, location_, chain);
}

bool MultipleOfValidator::trace(const Value& instance, const core::LazyLocation& instance_path,
                                core::Tracer& tracer, core::TraceContext&) const {
    if (!instance.is_number()) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = admits(instance.number_text());
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

KeywordCompileResult compile_multiple_of(const CompileContext& ctx, const Value&, const Value& value) {
    Location location = ctx.keyword_location("multipleOf");
    std::optional<OwnedDecimal> divisor;
    if (value.is_number()) divisor = OwnedDecimal::from_text(value.number_text());
    if (!divisor) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(core::JsonType::Number), value, location));
    }
    return std::make_unique<MultipleOfValidator>(value, std::move(*divisor), std::move(location));
}

}  // namespace deririrore::keywords
