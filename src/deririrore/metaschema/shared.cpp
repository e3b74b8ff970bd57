#include <array>
#include <string>

#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/metaschema/modes.hpp"

namespace deririrore::metaschema {

namespace {
constexpr std::array<std::string_view, 7> kSimpleTypes{"array",  "boolean", "integer", "null",
                                                       "number", "object",  "string"};

// The mantissa of a JSON number text (before any exponent) holds a digit other than zero.
bool mantissa_is_nonzero(std::string_view text) noexcept {
    for (char c : text) {
        if (c == 'e' || c == 'E') break;
        if (c >= '1' && c <= '9') return true;
    }
    return false;
}
}  // namespace

// Exact on every JSON number text: the exponent never changes whether a value is zero, so the
// sign and the mantissa's digits decide, with no parsing and no rounding.
bool is_positive_number(std::string_view text) noexcept {
    return !text.empty() && text.front() != '-' && mantissa_is_nonzero(text);
}

bool is_non_negative_number(std::string_view text) noexcept {
    return text.empty() || text.front() != '-' || !mantissa_is_nonzero(text);
}

bool is_draft4_integer_text(std::string_view text) noexcept {
    return text.find_first_of(".eE") == std::string_view::npos;
}

bool is_simple_type_name(const Value& value) noexcept {
    if (!value.is_string()) return false;
    const std::string& s = value.as_string();
    for (std::string_view name : kSimpleTypes)
        if (name == s) return true;
    return false;
}

namespace detail {

ValidationError meta_error(ValidationErrorKind kind, const Value& instance, const LazyLocation& location,
                           std::string_view schema_path) {
    return ValidationError(core::EvaluationPath{}, std::move(kind), instance, core::location_from_lazy(location),
                           core::Location(schema_path));
}

ValidationError depth_error(const Value& instance, const LazyLocation& location) {
    return meta_error(kinds::Custom{"", "Schema nesting exceeds the maximum depth of " +
                                            std::to_string(kMaxMetaCheckDepth) + " for a meta-schema check"},
                      instance, location, "");
}

const Value& simple_type_enum_options() {
    static const Value options = [] {
        Value::Array items;
        for (std::string_view name : kSimpleTypes) items.push_back(Value::string(std::string(name)));
        return Value::array(std::move(items));
    }();
    return options;
}

}  // namespace detail
}  // namespace deririrore::metaschema
