#include "deririrore/keywords/type.hpp"

#include "deririrore/keywords/decimal.hpp"
#include "deririrore/value/json.hpp"

namespace deririrore::keywords {

using core::kinds::Custom;
using core::kinds::Enum;

bool is_draft4_integer_text(std::string_view text) noexcept {
    return text.find_first_of(".eE") == std::string_view::npos;
}

bool value_matches_type(const Value& instance, JsonType type, bool draft4) noexcept {
    switch (type) {
        case JsonType::Null: return instance.is_null();
        case JsonType::Boolean: return instance.is_bool();
        case JsonType::Number: return instance.is_number();
        case JsonType::String: return instance.is_string();
        case JsonType::Array: return instance.is_array();
        case JsonType::Object: return instance.is_object();
        case JsonType::Integer:
            if (!instance.is_number()) return false;
            // Whole by value, decided on the digits: 1e2000000 is whole, 1e-2000000 is not.
            return draft4 ? is_draft4_integer_text(instance.number_text())
                          : number_text_is_integer(instance.number_text());
    }
    return false;
}

template <JsonType T, bool Draft4>
core::EvaluationResult SingleTypeValidator<T, Draft4>::evaluate(const Value& instance,
                                                                const core::LazyLocation& instance_path,
                                                                const core::RefChain* chain,
                                                                core::EvaluationContext& ctx) const {
    if (value_matches_type(instance, T, Draft4)) return core::EvaluationResult::empty_valid();
    if constexpr (Draft4 && T == JsonType::Integer) {
        return core::KeywordValidator::evaluate(instance, instance_path, chain, ctx);
    } else {
        std::string message = value::to_json(instance) + " is not of type \"" +
                              std::string(value::json_type_name(T)) + "\"";
        return core::EvaluationResult::invalid({core::ErrorDescription{"type", std::move(message)}});
    }
}

template <bool Draft4>
bool TypeSetValidator<Draft4>::matches(const Value& instance) const noexcept {
    switch (instance.kind()) {
        case value::ValueKind::Null: return types_.contains(JsonType::Null);
        case value::ValueKind::Boolean: return types_.contains(JsonType::Boolean);
        case value::ValueKind::String: return types_.contains(JsonType::String);
        case value::ValueKind::Array: return types_.contains(JsonType::Array);
        case value::ValueKind::Object: return types_.contains(JsonType::Object);
        case value::ValueKind::Number: {
            const std::string_view text = instance.number_text();
            const bool integer = Draft4 ? is_draft4_integer_text(text) : number_text_is_integer(text);
            if (integer && (types_.contains(JsonType::Integer) || types_.contains(JsonType::Number))) return true;
            return types_.contains(JsonType::Number);
        }
    }
    return false;
}

template <bool Draft4>
core::EvaluationResult TypeSetValidator<Draft4>::evaluate(const Value& instance,
                                                          const core::LazyLocation& instance_path,
                                                          const core::RefChain* chain,
                                                          core::EvaluationContext& ctx) const {
    if (matches(instance)) return core::EvaluationResult::empty_valid();
    if constexpr (Draft4) {
        return core::KeywordValidator::evaluate(instance, instance_path, chain, ctx);
    } else {
        std::string message = value::to_json(instance) + " is not of types " + value::fmt_json_type_set(types_);
        return core::EvaluationResult::invalid({core::ErrorDescription{"type", std::move(message)}});
    }
}

template class SingleTypeValidator<JsonType::Null>;
template class SingleTypeValidator<JsonType::Boolean>;
template class SingleTypeValidator<JsonType::Integer>;
template class SingleTypeValidator<JsonType::Integer, true>;
template class SingleTypeValidator<JsonType::Number>;
template class SingleTypeValidator<JsonType::String>;
template class SingleTypeValidator<JsonType::Array>;
template class SingleTypeValidator<JsonType::Object>;
template class TypeSetValidator<false>;
template class TypeSetValidator<true>;

KeywordCompileResult compile_single_type(std::string_view name, const Location& location,
                                         const Value& error_instance, bool draft4) {
    auto type = value::json_type_from_name(name);
    if (!type) return make_unexpected(ValidationError::compile_error(Custom{"", "Unexpected type"}, error_instance, location));
    switch (*type) {
        case JsonType::Null: return KeywordValidatorPtr(std::make_unique<NullTypeValidator>(location));
        case JsonType::Boolean: return KeywordValidatorPtr(std::make_unique<BooleanTypeValidator>(location));
        case JsonType::Integer:
            if (draft4) return KeywordValidatorPtr(std::make_unique<IntegerTypeDraft4Validator>(location));
            return KeywordValidatorPtr(std::make_unique<IntegerTypeValidator>(location));
        case JsonType::Number: return KeywordValidatorPtr(std::make_unique<NumberTypeValidator>(location));
        case JsonType::String: return KeywordValidatorPtr(std::make_unique<StringTypeValidator>(location));
        case JsonType::Array: return KeywordValidatorPtr(std::make_unique<ArrayTypeValidator>(location));
        case JsonType::Object: return KeywordValidatorPtr(std::make_unique<ObjectTypeValidator>(location));
    }
    return make_unexpected(ValidationError::compile_error(Custom{"", "Unexpected type"}, error_instance, location));
}

ValidationError build_type_name_error(const Location& location, const Value& element) {
    Value::Array names;
    for (const char* n : {"array", "boolean", "integer", "null", "number", "object", "string"}) {
        names.push_back(Value::string(n));
    }
    return ValidationError::compile_error(Enum{Value::array(std::move(names))}, element, location);
}

namespace {

KeywordCompileResult compile_type_impl(const CompileContext& ctx, const Value& value, bool draft4) {
    Location location = ctx.keyword_location("type");
    if (value.is_string()) return compile_single_type(value.as_string(), location, value, draft4);
    if (value.is_array()) {
        const auto& items = value.as_array();
        if (items.size() == 1) {
            const Value& item = items.front();
            if (!item.is_string()) {
                return make_unexpected(
                    ValidationError::compile_error(core::type_kind_single(JsonType::String), item, location));
            }
            return compile_single_type(item.as_string(), location, item, draft4);
        }
        JsonTypeSet set;
        for (const Value& item : items) {
            if (!item.is_string()) {
                return make_unexpected(
                    ValidationError::compile_error(core::type_kind_single(JsonType::String), item, location));
            }
            auto type = value::json_type_from_name(item.as_string());
            if (!type) return make_unexpected(build_type_name_error(location, item));
            set.insert(*type);
        }
        if (draft4) return KeywordValidatorPtr(std::make_unique<TypeSetDraft4Validator>(std::move(location), set));
        return KeywordValidatorPtr(std::make_unique<TypeSetValidator<false>>(std::move(location), set));
    }
    return make_unexpected(ValidationError::compile_error(
        core::type_kind_multiple(JsonTypeSet(JsonType::String).with(JsonType::Array)), value, location));
}

}  // namespace

KeywordCompileResult compile_type(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_type_impl(ctx, value, false);
}

KeywordCompileResult compile_type_draft4(const CompileContext& ctx, const Value&, const Value& value) {
    return compile_type_impl(ctx, value, true);
}

}  // namespace deririrore::keywords
