#include "deririrore/value/types.hpp"

#include <ostream>
#include <stdexcept>

#include "deririrore/value/numeric.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::value {

namespace {

[[noreturn]] void invalid_type_bits(unsigned bits) {
    throw std::logic_error("Invalid JsonType representation: " + std::to_string(bits));
}

}  // namespace

std::optional<JsonType> json_type_from_name(std::string_view name) noexcept {
    if (name == "null") return JsonType::Null;
    if (name == "boolean") return JsonType::Boolean;
    if (name == "integer") return JsonType::Integer;
    if (name == "number") return JsonType::Number;
    if (name == "string") return JsonType::String;
    if (name == "array") return JsonType::Array;
    if (name == "object") return JsonType::Object;
    return std::nullopt;
}

std::string_view json_type_name(JsonType type) {
    switch (type) {
        case JsonType::Null: return "null";
        case JsonType::Boolean: return "boolean";
        case JsonType::Integer: return "integer";
        case JsonType::Number: return "number";
        case JsonType::String: return "string";
        case JsonType::Array: return "array";
        case JsonType::Object: return "object";
    }
    invalid_type_bits(static_cast<unsigned>(type));
}

std::ostream& operator<<(std::ostream& os, JsonType type) { return os << json_type_name(type); }

JsonType JsonTypeSet::iterator::operator*() const {
    const unsigned low = static_cast<unsigned>(rest_) & (0u - static_cast<unsigned>(rest_));
    if (low > 64) invalid_type_bits(low);
    return static_cast<JsonType>(low);
}

std::string fmt_json_type_set(JsonTypeSet set) {
    std::string out = "(";
    bool first = true;
    for (JsonType t : set) {
        if (!first) out += ", ";
        first = false;
        out += json_type_name(t);
    }
    out += ')';
    return out;
}

std::ostream& operator<<(std::ostream& os, JsonTypeSet set) { return os << fmt_json_type_set(set); }

JsonType json_type_of(const Value& v) {
    switch (v.kind()) {
        case ValueKind::Null: return JsonType::Null;
        case ValueKind::Boolean: return JsonType::Boolean;
        case ValueKind::Number: return is_integer_text(v.number_text()) ? JsonType::Integer : JsonType::Number;
        case ValueKind::String: return JsonType::String;
        case ValueKind::Array: return JsonType::Array;
        case ValueKind::Object: return JsonType::Object;
    }
    return JsonType::Null;
}

bool value_has_type(const Value& v, JsonType t) {
    switch (t) {
        case JsonType::Null: return v.is_null();
        case JsonType::Boolean: return v.is_bool();
        case JsonType::Integer: return v.is_number() && is_integer_text(v.number_text());
        case JsonType::Number: return v.is_number();
        case JsonType::String: return v.is_string();
        case JsonType::Array: return v.is_array();
        case JsonType::Object: return v.is_object();
    }
    return false;
}

bool value_has_type(const Value& v, JsonTypeSet set) {
    switch (v.kind()) {
        case ValueKind::Null: return set.contains(JsonType::Null);
        case ValueKind::Boolean: return set.contains(JsonType::Boolean);
        case ValueKind::Number:
            return set.contains(JsonType::Number) ||
                   (set.contains(JsonType::Integer) && is_integer_text(v.number_text()));
        case ValueKind::String: return set.contains(JsonType::String);
        case ValueKind::Array: return set.contains(JsonType::Array);
        case ValueKind::Object: return set.contains(JsonType::Object);
    }
    return false;
}

}  // namespace deririrore::value
