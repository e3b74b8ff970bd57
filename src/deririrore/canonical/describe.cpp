#include "deririrore/canonical/describe.hpp"

#include <charconv>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/utf8.hpp"

namespace deririrore::canonical {

namespace {

namespace kinds = core::kinds;
using value::JsonType;
using value::Value;

constexpr std::size_t kLongValueBytes = 80;
constexpr std::size_t kListedEnumValues = 12;

void append_count(std::string& out, std::uint64_t n, std::string_view noun) {
    out += std::to_string(n);
    out += ' ';
    out += noun;
    if (n != 1) out += 's';
}

std::string value_text(const Value& v) {
    std::string text = value::to_json(v);
    if (text.size() > kLongValueBytes) return summarize_long_value(v, text);
    return text;
}

// Digits, optionally after one "+", that fit an unsigned 64-bit number.
bool is_array_index(std::string_view segment) {
    if (!segment.empty() && segment.front() == '+') segment.remove_prefix(1);
    if (segment.empty()) return false;
    for (char c : segment) {
        if (c < '0' || c > '9') return false;
    }
    std::uint64_t n = 0;
    auto [end, ec] = std::from_chars(segment.data(), segment.data() + segment.size(), n);
    return ec == std::errc() && end == segment.data() + segment.size();
}

std::string unescape_token(std::string_view token) {
    std::string out;
    out.reserve(token.size());
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (token[i] == '~' && i + 1 < token.size() && (token[i + 1] == '0' || token[i + 1] == '1')) {
            out += token[i + 1] == '0' ? '~' : '/';
            ++i;
        } else {
            out += token[i];
        }
    }
    return out;
}

// The last property name of the pointer, unescaped for people; indexes name no
// property. With the instance the pointer walks, a segment is an index only
// where it steps into an array, so a property named "200" stays a property.
std::optional<std::string> subject_name(std::string_view pointer, const Value* root) {
    struct Segment {
        std::string_view token;
        bool index;
    };
    std::vector<Segment> segments;
    const Value* current = root;
    std::size_t start = pointer.empty() || pointer.front() != '/' ? 0 : 1;
    while (start <= pointer.size() && !pointer.empty()) {
        std::size_t slash = pointer.find('/', start);
        std::string_view token = pointer.substr(start, slash == std::string_view::npos ? slash : slash - start);
        bool index = is_array_index(token);
        if (current != nullptr) {
            index = current->is_array();
            const Value* next = nullptr;
            if (current->is_array() && is_array_index(token) && token.front() != '+') {
                std::uint64_t i = 0;
                std::from_chars(token.data(), token.data() + token.size(), i);
                if (i < current->as_array().size()) next = &current->as_array()[i];
            } else if (current->is_object()) {
                next = current->find(unescape_token(token));
            }
            current = next;
        }
        segments.push_back(Segment{token, index});
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    for (auto it = segments.rbegin(); it != segments.rend(); ++it) {
        if (!it->token.empty() && !it->index) return unescape_token(it->token);
    }
    return std::nullopt;
}

std::string_view type_phrase(JsonType t) {
    switch (t) {
        case JsonType::Null: return "null";
        case JsonType::Boolean: return "a boolean";
        case JsonType::Integer: return "an integer";
        case JsonType::Number: return "a number";
        case JsonType::String: return "a string";
        case JsonType::Array: return "an array";
        case JsonType::Object: return "an object";
    }
    throw InternalError("Invalid JsonType representation: " + std::to_string(static_cast<unsigned>(t)));
}

std::string types_phrase(const kinds::Type& k) {
    constexpr unsigned kKnownBits = 0x7f;
    if ((k.types.bits() & ~kKnownBits) != 0) {
        throw InternalError("Invalid JsonType representation: " + std::to_string(k.types.bits() & ~kKnownBits));
    }
    std::string out;
    // The set iterates lowest bit first, which is the order null, boolean, ..., object.
    for (JsonType t : k.types) {
        if (!out.empty()) out += " or ";
        out += type_phrase(t);
    }
    return out;
}

std::string enum_values_text(const Value& options) {
    if (!options.is_array()) return value_text(options);
    const auto& items = options.as_array();
    if (items.size() > kListedEnumValues) {
        std::string out = std::to_string(items.size());
        out += " listed values";
        return out;
    }
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) out += ", ";
        out += value_text(items[i]);
    }
    return out;
}

std::optional<std::string> branches_phrase(const kinds::Context& context) {
    std::vector<std::string> phrases;
    for (const auto& branch : context) {
        if (branch.empty()) continue;
        std::optional<std::string> phrase = expectation_phrase(branch.front().kind());
        if (!phrase) continue;
        bool seen = false;
        for (const auto& taken : phrases) {
            if (taken == *phrase) {
                seen = true;
                break;
            }
        }
        if (!seen) phrases.push_back(std::move(*phrase));
    }
    if (phrases.empty()) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < phrases.size(); ++i) {
        if (i != 0) out += " or ";
        out += phrases[i];
    }
    return out;
}

}  // namespace

std::string summarize_long_value(const Value& v, std::string_view text) {
    std::string out;
    switch (v.kind()) {
        case value::ValueKind::String: {
            const std::string& s = v.as_string();
            std::uint64_t scalars = 0;
            for (std::size_t i = 0; i < s.size(); ++scalars) {
                // A byte that does not start a well-formed sequence still counts as one, so the
                // count never stalls on broken text.
                std::size_t len = value::utf8_sequence_length(s, i);
                i += len == 0 ? 1 : len;
            }
            out = "a string of ";
            out += std::to_string(scalars);
            out += " characters";
            return out;
        }
        case value::ValueKind::Array:
            out = "an array of ";
            append_count(out, v.as_array().size(), "item");
            return out;
        case value::ValueKind::Object:
            out = "an object with ";
            append_count(out, v.as_object().size(), "key");
            return out;
        case value::ValueKind::Null:
        case value::ValueKind::Boolean:
        case value::ValueKind::Number:
            break;
    }
    return std::string(text);
}

std::optional<std::string> expectation_phrase(const core::ValidationErrorKind& kind) {
    return std::visit(
        [](const auto& k) -> std::optional<std::string> {
            using K = std::decay_t<decltype(k)>;
            std::string out;
            if constexpr (std::is_same_v<K, kinds::AnyOf> || std::is_same_v<K, kinds::OneOfNotValid>) {
                return branches_phrase(k.context);
            } else if constexpr (std::is_same_v<K, kinds::Const>) {
                return value_text(k.expected);
            } else if constexpr (std::is_same_v<K, kinds::Enum>) {
                return "one of " + enum_values_text(k.options);
            } else if constexpr (std::is_same_v<K, kinds::ExclusiveMaximum>) {
                return "less than " + value::to_json(k.limit);
            } else if constexpr (std::is_same_v<K, kinds::ExclusiveMinimum>) {
                return "greater than " + value::to_json(k.limit);
            } else if constexpr (std::is_same_v<K, kinds::Format>) {
                return "a valid " + k.format;
            } else if constexpr (std::is_same_v<K, kinds::MaxItems>) {
                out = "an array of at most ";
                append_count(out, k.limit, "item");
                return out;
            } else if constexpr (std::is_same_v<K, kinds::Maximum>) {
                return "at most " + value::to_json(k.limit);
            } else if constexpr (std::is_same_v<K, kinds::MaxLength>) {
                out = "a string of at most ";
                append_count(out, k.limit, "character");
                return out;
            } else if constexpr (std::is_same_v<K, kinds::MinItems>) {
                out = "an array of at least ";
                append_count(out, k.limit, "item");
                return out;
            } else if constexpr (std::is_same_v<K, kinds::Minimum>) {
                return "at least " + value::to_json(k.limit);
            } else if constexpr (std::is_same_v<K, kinds::MinLength>) {
                out = "a string of at least ";
                append_count(out, k.limit, "character");
                return out;
            } else if constexpr (std::is_same_v<K, kinds::MultipleOf>) {
                return "a multiple of " + value::to_json(k.divisor);
            } else if constexpr (std::is_same_v<K, kinds::Pattern>) {
                return "a string matching `" + k.pattern + "`";
            } else if constexpr (std::is_same_v<K, kinds::Type>) {
                return types_phrase(k);
            } else if constexpr (std::is_same_v<K, kinds::UniqueItems>) {
                return std::string("an array without repeats");
            } else {
                return std::nullopt;
            }
        },
        kind);
}

namespace {

std::string describe_with_root(const core::ValidationError& error, const Value* root) {
    const core::ValidationErrorKind& kind = error.kind();
    if (const auto* ref = std::get_if<kinds::Referencing>(&kind)) {
        if (const auto* missing = ref->error.get_if<referencing::ReferenceError::Unretrievable>()) {
            return "Resource '" + missing->uri + "' is not in the specification";
        }
        return ref->error.message();
    }

    std::optional<std::string> subject = subject_name(error.instance_path().view(), root);
    std::string out;
    if (const auto* required = std::get_if<kinds::Required>(&kind)) {
        std::string_view property = required->property.is_string() ? std::string_view(required->property.as_string())
                                                                   : std::string_view();
        if (subject) {
            out += '`';
            out += *subject;
            out += "` is missing `";
        } else {
            out += "The value is missing `";
        }
        out += property;
        out += '`';
        return out;
    }

    if (subject) {
        out += '`';
        out += *subject;
        out += "` ";
    } else {
        out += "The value ";
    }
    if (std::optional<std::string> phrase = expectation_phrase(kind)) {
        out += "must be ";
        out += *phrase;
    } else {
        out += "is not valid here";
    }
    out += "; found ";
    out += value_text(error.instance());
    return out;
}

}  // namespace

std::string describe_expectation(const core::ValidationError& error) { return describe_with_root(error, nullptr); }

std::string describe_expectation(const core::ValidationError& error, const value::Value& root_instance) {
    return describe_with_root(error, &root_instance);
}

}  // namespace deririrore::canonical
