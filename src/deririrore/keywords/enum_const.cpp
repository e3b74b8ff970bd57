#include "deririrore/keywords/enum_const.hpp"

#include <algorithm>

#include "deririrore/keywords/decimal.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::keywords {

using core::ValidationError;

namespace {

// The type bit of an instance for the general form's pre-test. Options' numbers count as
// "number" only, so every number instance takes that bit too.
std::uint8_t enum_type_bit(const Value& v) noexcept {
    switch (v.kind()) {
        case value::ValueKind::Null: return 1;
        case value::ValueKind::Boolean: return 2;
        case value::ValueKind::Number: return 8;
        case value::ValueKind::String: return 16;
        case value::ValueKind::Array: return 32;
        case value::ValueKind::Object: return 64;
    }
    return 0;
}

}  // namespace

std::optional<ValidationError> ConstValidatorBase::validate(const Value& instance,
                                                            const core::LazyLocation& instance_path,
                                                            const core::RefChain* chain,
                                                            core::ValidationContext& ctx) const {
    if (is_valid(instance, ctx)) return std::nullopt;
    return ValidationError::make(core::kinds::Const{expected_}, instance, instance_path, location_, chain);
}

bool ConstValidatorBase::trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
                               core::TraceContext& ctx) const {
    const bool valid = is_valid(instance, ctx);
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

bool ConstNumberValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    return value::number_texts_equal(instance, expected_.number_text());
}

bool ConstArrayValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    if (!instance.is_array()) return false;
    const auto& items = instance.as_array();
    const auto& expected = expected_.as_array();
    if (items.size() != expected.size()) return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!value::json_values_equal(items[i], expected[i])) return false;
    }
    return true;
}

ValidationError build_enum_error(const Location& location, const Value& instance,
                                 const core::LazyLocation& instance_path, const core::RefChain* chain,
                                 const Value& options) {
    return ValidationError::make(core::kinds::Enum{options}, instance, instance_path, location, chain);
}

std::optional<ValidationError> EnumValidatorBase::validate(const Value& instance,
                                                           const core::LazyLocation& instance_path,
                                                           const core::RefChain* chain,
                                                           core::ValidationContext& ctx) const {
    if (is_valid(instance, ctx)) return std::nullopt;
    return build_enum_error(location_, instance, instance_path, chain, options_);
}

bool EnumValidatorBase::trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
                              core::TraceContext& ctx) const {
    const bool valid = is_valid(instance, ctx);
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

bool GeneralEnumValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    if ((enum_type_bit(instance) & types_.bits()) == 0) return false;
    for (const Value& option : options_.as_array()) {
        if (value::json_values_equal(instance, option)) return true;
    }
    return false;
}

template <bool WithNull>
bool IntegerEnumValidatorT<WithNull>::contains(std::int64_t v) const noexcept {
    std::size_t start = 0;
    std::size_t window = sorted_.size();
    if (window == 0) return false;
    while (window > 1) {
        const std::size_t half = window / 2;
        if (v >= sorted_[start + half]) start += half;
        window -= half;
    }
    return sorted_[start] == v;
}

template <bool WithNull>
bool IntegerEnumValidatorT<WithNull>::is_valid(const Value& instance, core::ValidationContext&) const {
    if (instance.is_null()) return WithNull;
    if (!instance.is_number()) return false;
    if (auto v = read_plain_signed(instance.number_text())) return contains(*v);
    for (const Value& option : options_.as_array()) {
        if (option.is_number() && value::number_texts_equal(instance, option.number_text())) return true;
    }
    return false;
}

template class IntegerEnumValidatorT<false>;
template class IntegerEnumValidatorT<true>;

template <bool WithNull>
bool StringEnumSetValidatorT<WithNull>::is_valid(const Value& instance, core::ValidationContext&) const {
    if (instance.is_null()) return WithNull;
    return instance.is_string() && set_.contains(instance.as_string());
}

template class StringEnumSetValidatorT<false>;
template class StringEnumSetValidatorT<true>;

template <bool WithNull>
bool StringEnumListValidatorT<WithNull>::is_valid(const Value& instance, core::ValidationContext&) const {
    if (instance.is_null()) return WithNull;
    if (!instance.is_string()) return false;
    const std::string& s = instance.as_string();
    const TextWords words = text_words(s);
    for (const auto& key : keys_) {
        if (key.matches(s, words)) return true;
    }
    return false;
}

template class StringEnumListValidatorT<false>;
template class StringEnumListValidatorT<true>;

NameSet collect_string_option_set(const Value::Array& options) {
    NameSet set;
    for (const Value& option : options) {
        if (option.is_string()) set.insert(option.as_string());
    }
    return set;
}

std::vector<std::int64_t> collect_integer_options(const Value::Array& options) {
    std::vector<std::int64_t> out;
    out.reserve(options.size());
    for (const Value& option : options) {
        if (!option.is_number()) continue;
        if (auto v = read_plain_signed(option.number_text())) out.push_back(*v);
    }
    return out;
}

KeywordCompileResult compile_const(const CompileContext& ctx, const Value&, const Value& value) {
    Location location = ctx.keyword_location("const");
    switch (value.kind()) {
        case value::ValueKind::Null: return std::make_unique<ConstNullValidator>(std::move(location));
        case value::ValueKind::Boolean:
            return std::make_unique<ConstBooleanValidator>(value.as_bool(), std::move(location));
        case value::ValueKind::Number: return std::make_unique<ConstNumberValidator>(value, std::move(location));
        case value::ValueKind::String: return std::make_unique<ConstStringValidator>(value, std::move(location));
        case value::ValueKind::Array: return std::make_unique<ConstArrayValidator>(value, std::move(location));
        case value::ValueKind::Object: return std::make_unique<ConstObjectValidator>(value, std::move(location));
    }
    return core::no_validator();
}

KeywordCompileResult compile_enum(const CompileContext& ctx, const Value&, const Value& value) {
    Location location = ctx.keyword_location("enum");
    if (!value.is_array()) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(core::JsonType::Array), value, location));
    }
    const Value::Array& options = value.as_array();
    if (options.size() == 1) return std::make_unique<SingleValueEnumValidator>(value, std::move(location));

    bool has_null = false;
    bool only_strings = true;
    bool only_integers = true;
    core::JsonTypeSet types;
    for (const Value& option : options) {
        types = types | core::JsonTypeSet::from_bits(enum_type_bit(option));
        if (option.is_null()) {
            has_null = true;
            continue;
        }
        if (!option.is_string()) only_strings = false;
        if (!option.is_number() || !read_plain_signed(option.number_text())) only_integers = false;
    }
    if (!only_strings) {
        if (only_integers) {
            std::vector<std::int64_t> sorted = collect_integer_options(options);
            std::sort(sorted.begin(), sorted.end());
            if (has_null) return std::make_unique<IntegerOrNullEnumValidator>(value, std::move(sorted), std::move(location));
            return std::make_unique<IntegerEnumValidator>(value, std::move(sorted), std::move(location));
        }
        return std::make_unique<GeneralEnumValidator>(value, types, std::move(location));
    }
    if (options.size() >= 11) {
        NameSet set = collect_string_option_set(options);
        if (has_null) return std::make_unique<StringOrNullEnumSetValidator>(value, std::move(set), std::move(location));
        return std::make_unique<StringEnumSetValidator>(value, std::move(set), std::move(location));
    }
    std::vector<FastStringKey> keys;
    keys.reserve(options.size());
    for (const Value& option : options) {
        if (option.is_string()) keys.push_back(make_fast_string_key(option.as_string()));
    }
    if (has_null) return std::make_unique<StringOrNullEnumListValidator>(value, std::move(keys), std::move(location));
    return std::make_unique<StringEnumListValidator>(value, std::move(keys), std::move(location));
}

}  // namespace deririrore::keywords
