#include "multipart/field_values.hpp"

#include <charconv>

#include "deririrore/value/json.hpp"
#include "deririrore/value/numeric.hpp"
#include "http/media_type.hpp"
#include "multipart/text.hpp"

namespace multipart {

namespace {

constexpr std::uint8_t kNull = 1, kBoolean = 2, kInteger = 4, kNumber = 8, kString = 16, kArray = 32, kObject = 64;

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view s) noexcept {
    if (s.empty()) return false;
    for (char c : s)
        if (!is_digit(c)) return false;
    return true;
}

std::optional<bool> read_boolean(std::string_view t) noexcept {
    switch (t.size()) {
        case 1:
            if (t == "0") return false;
            if (t == "1") return true;
            return std::nullopt;
        case 2:
            if (ascii_iequals(t, "no")) return false;
            if (ascii_iequals(t, "on")) return true;
            return std::nullopt;
        case 3:
            if (ascii_iequals(t, "off")) return false;
            if (ascii_iequals(t, "yes")) return true;
            return std::nullopt;
        case 4:
            if (ascii_iequals(t, "true")) return true;
            return std::nullopt;
        case 5:
            if (ascii_iequals(t, "false")) return false;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<Value> read_integer(std::string_view t) {
    if (t.empty()) return std::nullopt;
    if (t.size() == 1) return is_digit(t[0]) ? std::optional<Value>(Value::number(std::string(t))) : std::nullopt;
    if (t.substr(0, 2) == "00") return std::nullopt;
    if (t[0] == '-') {
        if (!all_digits(t.substr(1))) return std::nullopt;
        std::int64_t v = 0;
        auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (ec != std::errc() || ptr != t.data() + t.size()) return std::nullopt;
        return Value::number_from_int(v);
    }
    if (t[0] == '+') t.remove_prefix(1);
    if (!all_digits(t)) return std::nullopt;
    std::uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size()) return std::nullopt;
    return Value::number_from_uint64(v);
}

std::string_view delimiter_of(QueryStyle style) noexcept {
    switch (style) {
        case QueryStyle::SpaceDelimited:
            return " ";
        case QueryStyle::PipeDelimited:
            return "|";
        default:
            return ",";
    }
}


DecodeSpec derived_spec(const Value& item_schema, const Value& root) {
    DecodeSpec spec;  // explode 1, mode Typed, style 0
    auto mask = zavova::compute_schema_type_mask(root, item_schema);
    if (!mask) {
        spec.types = kNull | kBoolean | kInteger | kNumber | kString;
        spec.digits_stay_text = 1;
        return spec;
    }
    spec.types = static_cast<std::uint8_t>(*mask & ~(kArray | kObject));
    spec.digits_stay_text = zavova::expects_digit_strings(root, item_schema) || (spec.types & kString) ? 1 : 0;
    return spec;
}

}  // namespace

std::vector<std::string_view> split_all(std::string_view text, char delimiter) {
    std::vector<std::string_view> pieces;
    std::size_t pos = 0;
    while (true) {
        const std::size_t at = text.find(delimiter, pos);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(pos));
            return pieces;
        }
        pieces.push_back(text.substr(pos, at - pos));
        pos = at + 1;
    }
}

const Value& default_schema() {
    static const Value schema = Value::object();
    return schema;
}

Value decode_untyped_value(std::string_view text, DecodeMode mode) {
    if (mode == DecodeMode::Json) {
        auto parsed = deririrore::value::parse_json(text);
        if (parsed) return std::move(parsed).value();
    }
    return Value::string(std::string(text));
}

std::optional<Value> recognize_scalar(std::string_view text, const DecodeSpec& spec) {
    const std::uint8_t mask = spec.types;
    if ((mask & kNull) && text.size() == 4 && ascii_iequals(text, "null")) return Value::null();
    if (mask & kBoolean) {
        if (auto b = read_boolean(text)) return Value::boolean(*b);
    }
    const bool digits_stay_text = (mask & kString) && spec.digits_stay_text;
    if ((mask & kInteger) && !digits_stay_text) {
        if (auto v = read_integer(text)) return v;
    }
    if ((mask & kNumber) && !digits_stay_text && !(text.size() >= 2 && text.substr(0, 2) == "00")) {
        if (auto number = deririrore::value::decimal_number_text(text)) return Value::number(std::move(*number));
    }
    return std::nullopt;
}

SchemaDecodeSpec items_decode_spec(const Value& schema, const Value& root) {
    const Value* node = zavova::follow_local_refs(root, schema).node;
    const Value* items = node != nullptr && node->is_object() ? node->find("items") : nullptr;
    const Value& item_schema = items != nullptr ? *items : default_schema();
    return SchemaDecodeSpec{&item_schema, derived_spec(item_schema, root)};
}

SchemaDecodeSpec member_decode_spec(const Value& schema, const Value& root, std::string_view name) {
    const Value* node = zavova::follow_local_refs(root, schema).node;
    const Value* member = nullptr;
    if (node != nullptr && node->is_object()) {
        const Value* properties = node->find("properties");
        if (properties != nullptr && properties->is_object()) member = properties->find(name);
        if (member == nullptr) {
            const Value* additional = node->find("additionalProperties");
            if (additional != nullptr && additional->is_object()) member = additional;
        }
    }
    if (member == nullptr) {
        DecodeSpec spec;
        spec.types = kString;
        spec.digits_stay_text = 1;
        return SchemaDecodeSpec{&default_schema(), spec};
    }
    return SchemaDecodeSpec{member, derived_spec(*member, root)};
}

DecodeSpec schema_decode_spec(const Value& schema, const Value& root) {
    DecodeSpec spec;
    auto mask = zavova::compute_schema_type_mask(root, schema);
    if (!mask) {
        spec.types = 127;
        spec.digits_stay_text = 1;
        return spec;
    }
    spec.types = *mask;
    spec.digits_stay_text = zavova::expects_digit_strings(root, schema) ? 1 : 0;
    return spec;
}

SchemaDecodeSpec repeated_items_decode_spec(const Value& schema, const Value& root) {
    const Value* node = zavova::follow_local_refs(root, schema).node;
    const Value* items = node != nullptr && node->is_object() ? node->find("items") : nullptr;
    const Value& item_schema = items != nullptr ? *items : default_schema();
    return SchemaDecodeSpec{&item_schema, schema_decode_spec(item_schema, root)};
}

Value decode_query_value(std::string_view text, const DecodeSpec& spec, QueryStyleContext context, const Value& schema,
                         const Value& root) {
    if (spec.mode != DecodeMode::Typed)
        return decode_untyped_value(text,
                                    (static_cast<std::uint8_t>(spec.mode) & 1) ? DecodeMode::Text : DecodeMode::Json);
    if (auto scalar = recognize_scalar(text, spec)) return std::move(*scalar);
    const bool split = !context.explode && context.style != QueryStyle::DeepObject;
    if ((spec.types & kArray) && split) {
        // Item masks never admit array or object, so a piece is never split again.
        const SchemaDecodeSpec item = items_decode_spec(schema, root);
        Value out = Value::array();
        for (std::string_view piece : split_all(text, delimiter_of(context.style)[0]))
            out.push_back(decode_query_value(piece, item.spec, context, *item.schema, root));
        return out;
    }
    if ((spec.types & kObject) && !(spec.types & kArray) && split) {
        const std::vector<std::string_view> pieces = split_all(text, delimiter_of(context.style)[0]);
        deririrore::value::ObjectBuilder out(pieces.size() / 2);
        for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
            const SchemaDecodeSpec member = member_decode_spec(schema, root, pieces[i]);
            out.add(std::string(pieces[i]),
                    decode_query_value(pieces[i + 1], member.spec, context, *member.schema, root));
        }
        return std::move(out).build();
    }
    return Value::string(std::string(text));
}

Value object_from(Members members) {
    Value::Object out;
    out.reserve(members.size());
    for (auto& [key, value] : members) out.push_back(deririrore::value::Member{key, std::move(value)});
    return Value::object(std::move(out));
}

void assemble_repeated_fields(RepeatedFields& fields, const Value& properties, const Value& root, Members& object) {
    if (!properties.is_object()) return;
    for (auto& [name, entries] : fields) {
        const Value* property = properties.find(name);
        if (property == nullptr) continue;
        const SchemaDecodeSpec item = repeated_items_decode_spec(*property, root);
        Value items = Value::array();
        for (RepeatedEntry& entry : entries) {
            if (auto* raw = std::get_if<std::string>(&entry)) {
                items.push_back(
                    decode_query_value(*raw, item.spec, QueryStyleContext{QueryStyle::Form, true}, *item.schema, root));
                continue;
            }
            Value& value = std::get<Value>(entry);
            if (value.is_array() && !(item.spec.types & kArray)) {
                for (Value& v : value.mutable_array()) items.push_back(std::move(v));
            } else {
                items.push_back(std::move(value));
            }
        }
        object[name] = std::move(items);
    }
}

std::optional<Value> decode_json_part(const std::optional<std::string>& content_type, std::string_view body,
                                      JsonBodyDecoder decode_json_body) {
    if (!content_type || decode_json_body == nullptr) return std::nullopt;
    auto media_type = http::parse_media_type(*content_type);
    if (!media_type) return std::nullopt;
    const auto [type, subtype] = http::split_media_type(*media_type);
    if (!http::is_json_media_type(type, subtype)) return std::nullopt;
    return decode_json_body(body, *media_type);
}

}  // namespace multipart
