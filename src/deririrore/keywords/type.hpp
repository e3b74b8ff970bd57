#pragma once
// `type`: one type name or a set of names. Every instance gets exactly one check. Under draft 4
// "integer" means a number written without a fraction or exponent; later, a whole number.
#include <optional>
#include <string_view>

#include "deririrore/core/keyword.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/value/types.hpp"

namespace deririrore::keywords {

using value::JsonType;
using value::JsonTypeSet;

// The draft 4 integer test: no ".", "e" or "E" in the number's text.
bool is_draft4_integer_text(std::string_view text) noexcept;
// The test of one type name on an instance (integer by value, or by draft 4 literal form).
bool value_matches_type(const Value& instance, JsonType type, bool draft4) noexcept;

// The value kinds a type name accepts by kind alone ("integer": every number, so callers that
// must tell whole numbers apart cannot use it).
constexpr std::uint8_t kinds_of(JsonType type) noexcept {
    using value::ValueKind;
    switch (type) {
        case JsonType::Null: return core::KeywordValidator::kind_bit(ValueKind::Null);
        case JsonType::Boolean: return core::KeywordValidator::kind_bit(ValueKind::Boolean);
        case JsonType::Integer:
        case JsonType::Number: return core::KeywordValidator::kind_bit(ValueKind::Number);
        case JsonType::String: return core::KeywordValidator::kind_bit(ValueKind::String);
        case JsonType::Array: return core::KeywordValidator::kind_bit(ValueKind::Array);
        case JsonType::Object: return core::KeywordValidator::kind_bit(ValueKind::Object);
    }
    return 0;
}

// One type name; `Draft4` selects the draft 4 integer test for "integer".
template <JsonType T, bool Draft4 = false>
class SingleTypeValidator final : public core::KeywordValidator {
public:
    explicit SingleTypeValidator(Location location) : location_(std::move(location)) {
        if constexpr (T != JsonType::Integer) set_accepted_kinds(kinds_of(T));
    }

    bool is_valid(const Value& instance, core::ValidationContext&) const override {
        return value_matches_type(instance, T, Draft4);
    }
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext&) const override {
        if (value_matches_type(instance, T, Draft4)) return std::nullopt;
        return ValidationError::make(core::type_kind_single(T), instance, instance_path, location_, chain);
    }
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext&) const override {
        const bool valid = value_matches_type(instance, T, Draft4);
        tracer.emit(instance_path, location_, core::outcome_of(valid));
        return valid;
    }

private:
    Location location_;
};

using NullTypeValidator = SingleTypeValidator<JsonType::Null>;
using BooleanTypeValidator = SingleTypeValidator<JsonType::Boolean>;
using IntegerTypeValidator = SingleTypeValidator<JsonType::Integer>;
using IntegerTypeDraft4Validator = SingleTypeValidator<JsonType::Integer, true>;
using NumberTypeValidator = SingleTypeValidator<JsonType::Number>;
using StringTypeValidator = SingleTypeValidator<JsonType::String>;
using ArrayTypeValidator = SingleTypeValidator<JsonType::Array>;
using ObjectTypeValidator = SingleTypeValidator<JsonType::Object>;

// A set of type names (any subset, the empty one included).
template <bool Draft4 = false>
class TypeSetValidator final : public core::KeywordValidator {
public:
    TypeSetValidator(Location location, JsonTypeSet types) : location_(std::move(location)), types_(types) {
        // "integer" needs the number's value, unless "number" accepts every number anyway.
        if (!types.contains(JsonType::Integer) || types.contains(JsonType::Number)) {
            std::uint8_t kinds = 0;
            for (JsonType t : types) kinds |= kinds_of(t);
            set_accepted_kinds(kinds);
        }
    }

    bool is_valid(const Value& instance, core::ValidationContext&) const override { return matches(instance); }
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext&) const override {
        if (matches(instance)) return std::nullopt;
        return ValidationError::make(core::type_kind_multiple(types_), instance, instance_path, location_, chain);
    }
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext&) const override {
        const bool valid = matches(instance);
        tracer.emit(instance_path, location_, core::outcome_of(valid));
        return valid;
    }
    JsonTypeSet types() const noexcept { return types_; }

private:
    bool matches(const Value& instance) const noexcept;

    Location location_;
    JsonTypeSet types_;
};

using TypeSetDraft4Validator = TypeSetValidator<true>;

// One type name as a validator; unknown names give the "Unexpected type" compile error whose
// instance is `error_instance`.
KeywordCompileResult compile_single_type(std::string_view name, const Location& location,
                                         const Value& error_instance, bool draft4);

// The compile error for an unknown name inside a `type` list: the seven names as options.
ValidationError build_type_name_error(const Location& location, const Value& element);

}  // namespace deririrore::keywords
