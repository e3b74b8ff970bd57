#include "multipart/parameter_values.hpp"

namespace multipart {

namespace {

constexpr std::uint8_t kString = 16, kArray = 32, kObject = 64;

bool untyped(const DecodeSpec& spec) noexcept { return spec.mode != DecodeMode::Typed; }

Value untyped_value(std::string_view text, const DecodeSpec& spec) {
    return decode_untyped_value(text, (static_cast<std::uint8_t>(spec.mode) & 1) ? DecodeMode::Text : DecodeMode::Json);
}

Value text_value(std::string_view text) { return Value::string(std::string(text)); }

// One location's decoder of a list item or object member, with its style context bound.
template <class Decode>
Value list_at(std::string_view text, char delimiter, const Value& schema, const Value& root, Decode&& decode) {
    const SchemaDecodeSpec item = items_decode_spec(schema, root);
    Value out = Value::array();
    for (std::string_view piece : split_all(text, delimiter)) out.push_back(decode(piece, item.spec, *item.schema));
    return out;
}

template <class Decode>
Value pairs_at(std::string_view text, char delimiter, const Value& schema, const Value& root, Decode&& decode) {
    Members members;
    if (text.find(delimiter) == std::string_view::npos) return object_from(std::move(members));
    const std::vector<std::string_view> pieces = split_all(text, delimiter);
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        const SchemaDecodeSpec member = member_decode_spec(schema, root, pieces[i]);
        members[std::string(pieces[i])] = decode(pieces[i + 1], member.spec, *member.schema);
    }
    return object_from(std::move(members));
}

template <class Decode>
Value assignments_at(std::string_view text, char delimiter, const Value& schema, const Value& root, Decode&& decode) {
    Members members;
    for (std::string_view piece : split_all(text, delimiter)) {
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = piece.substr(0, eq);
        const SchemaDecodeSpec member = member_decode_spec(schema, root, key);
        members[std::string(key)] = decode(piece.substr(eq + 1), member.spec, *member.schema);
    }
    return object_from(std::move(members));
}

Value collection_list(std::string_view text, char delimiter, const Value& schema, const Value& root, int depth);

Value collection_piece(std::string_view piece, const SchemaDecodeSpec& item, const Value& root, int depth) {
    if (auto inner = nested_collection_format(*item.schema); inner && depth < kMaxNestedCollectionDepth)
        return collection_list(piece, collection_delimiter(*inner), *item.schema, root, depth + 1);
    if (untyped(item.spec)) return untyped_value(piece, item.spec);
    if (auto scalar = recognize_scalar(piece, item.spec)) return std::move(*scalar);
    return text_value(piece);
}

Value collection_list(std::string_view text, char delimiter, const Value& schema, const Value& root, int depth) {
    const SchemaDecodeSpec item = items_decode_spec(schema, root);
    Value out = Value::array();
    for (std::string_view piece : split_all(text, delimiter)) out.push_back(collection_piece(piece, item, root, depth));
    return out;
}

}  // namespace

void scalar_candidates(std::string_view text, const DecodeSpec& spec, ValueCandidates& out) {
    // Each reading alone, so that every admitted one is offered, not just the first.
    for (std::uint8_t bit : {std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{4}, std::uint8_t{8}}) {
        if (!(spec.types & bit)) continue;
        DecodeSpec one = spec;
        one.types = static_cast<std::uint8_t>(bit | (spec.types & kString));
        if (auto value = recognize_scalar(text, one)) out.push_back(std::move(*value));
    }
    if (spec.types & kString) out.push_back(text_value(text));
}

Value decode_path_value(std::string_view text, const DecodeSpec& spec, PathStyleContext context, const Value& schema,
                        const Value& root) {
    if (untyped(spec)) return untyped_value(text, spec);
    if (auto scalar = recognize_scalar(text, spec)) return std::move(*scalar);
    if (spec.types & kArray) return decode_path_collection(text, context, CollectionShape::Array, schema, root);
    if (spec.types & kObject) return decode_path_collection(text, context, CollectionShape::Object, schema, root);
    return text_value(text);
}

Value decode_path_collection(std::string_view text, PathStyleContext context, CollectionShape shape,
                             const Value& schema, const Value& root) {
    const auto decode = [&](std::string_view piece, const DecodeSpec& spec, const Value& item) {
        return decode_path_value(piece, spec, context, item, root);
    };
    const bool array = shape == CollectionShape::Array;
    switch (context.style) {
        case PathStyle::Label:
            if (array) {
                if (text.empty() || text == ".") return Value::array();
                if (text.front() == '.') text.remove_prefix(1);
                return list_at(text, context.explode ? '.' : ',', schema, root, decode);
            }
            while (!text.empty() && text.front() == '.') text.remove_prefix(1);
            return context.explode ? assignments_at(text, '.', schema, root, decode)
                                   : pairs_at(text, ',', schema, root, decode);
        case PathStyle::Matrix: {
            while (!text.empty() && text.front() == ';') text.remove_prefix(1);
            if (context.explode) {
                if (!array) return assignments_at(text, ';', schema, root, decode);
                const SchemaDecodeSpec item = items_decode_spec(schema, root);
                Value out = Value::array();
                for (std::string_view piece : split_all(text, ';')) {
                    const std::size_t eq = piece.find('=');
                    if (eq != std::string_view::npos)
                        out.push_back(decode(piece.substr(eq + 1), item.spec, *item.schema));
                }
                return out;
            }
            const std::size_t eq = text.find('=');
            if (eq == std::string_view::npos) return array ? Value::array() : Value::object();
            const std::string_view rest = text.substr(eq + 1);
            return array ? list_at(rest, ',', schema, root, decode) : pairs_at(rest, ',', schema, root, decode);
        }
        case PathStyle::Simple:
        default:
            if (array) return list_at(text, ',', schema, root, decode);
            return context.explode ? assignments_at(text, ',', schema, root, decode)
                                   : pairs_at(text, ',', schema, root, decode);
    }
}

Value decode_header_value(std::string_view text, const DecodeSpec& spec, bool explode, const Value& schema,
                          const Value& root) {
    if (untyped(spec)) return untyped_value(text, spec);
    if (auto scalar = recognize_scalar(text, spec)) return std::move(*scalar);
    if (spec.types & kArray) return decode_header_collection(text, explode, CollectionShape::Array, schema, root);
    if (spec.types & kObject) return decode_header_collection(text, explode, CollectionShape::Object, schema, root);
    return text_value(text);
}

Value decode_header_collection(std::string_view text, bool explode, CollectionShape shape, const Value& schema,
                               const Value& root) {
    const auto decode = [&](std::string_view piece, const DecodeSpec& spec, const Value& item) {
        return decode_header_value(piece, spec, explode, item, root);
    };
    if (shape == CollectionShape::Array) return list_at(text, ',', schema, root, decode);
    return explode ? assignments_at(text, ',', schema, root, decode) : pairs_at(text, ',', schema, root, decode);
}

Value decode_cookie_value(std::string_view text, const DecodeSpec& spec, bool explode, const Value& schema,
                          const Value& root) {
    if (untyped(spec)) return untyped_value(text, spec);
    if (auto scalar = recognize_scalar(text, spec)) return std::move(*scalar);
    if (!explode && (spec.types & kArray)) return decode_cookie_collection(text, CollectionShape::Array, schema, root);
    if (!explode && (spec.types & kObject))
        return decode_cookie_collection(text, CollectionShape::Object, schema, root);
    return text_value(text);
}

Value decode_cookie_collection(std::string_view text, CollectionShape shape, const Value& schema, const Value& root) {
    const auto decode = [&](std::string_view piece, const DecodeSpec& spec, const Value& item) {
        return decode_cookie_value(piece, spec, false, item, root);
    };
    return shape == CollectionShape::Array ? list_at(text, ',', schema, root, decode)
                                           : pairs_at(text, ',', schema, root, decode);
}

Value decode_query_collection(std::string_view text, QueryStyleContext context, CollectionShape shape,
                              const Value& schema, const Value& root) {
    // A mask of exactly the shape sends the query decoder straight to its list or pair rules.
    DecodeSpec spec;
    spec.types = shape == CollectionShape::Array ? kArray : kObject;
    return decode_query_value(text, spec, context, schema, root);
}

char collection_delimiter(CollectionFormat format) noexcept {
    switch (format) {
        case CollectionFormat::Ssv:
            return ' ';
        case CollectionFormat::Tsv:
            return '\t';
        case CollectionFormat::Pipes:
            return '|';
        default:
            return ',';
    }
}

Value decode_collection_value(std::string_view text, const DecodeSpec& spec, CollectionFormat format,
                              const Value& schema, const Value& root) {
    if (untyped(spec)) return untyped_value(text, spec);
    if (auto scalar = recognize_scalar(text, spec)) return std::move(*scalar);
    if (spec.types & (kArray | kObject)) return split_collection_value(text, format, schema, root);
    return text_value(text);
}

Value decode_collection_item(std::string_view text, const DecodeSpec& spec, CollectionFormat format,
                             const Value& schema, const Value& root) {
    if (untyped(spec)) return untyped_value(text, spec);
    if (auto scalar = recognize_scalar(text, spec)) return std::move(*scalar);
    if (spec.types & (kArray | kObject))
        return decode_collection_item_list(text, collection_delimiter(format), schema, root);
    return text_value(text);
}

Value split_collection_value(std::string_view text, CollectionFormat format, const Value& schema, const Value& root) {
    if (format == CollectionFormat::Multi) return text_value(text);
    return collection_list(text, collection_delimiter(format), schema, root, 0);
}

Value decode_collection_item_list(std::string_view text, char delimiter, const Value& schema, const Value& root) {
    return collection_list(text, delimiter, schema, root, 0);
}

std::optional<CollectionFormat> nested_collection_format(const Value& item_schema) {
    if (!item_schema.is_object()) return std::nullopt;
    const Value* type = item_schema.find("type");
    if (type == nullptr || !type->is_string() || type->as_string() != "array") return std::nullopt;
    const Value* format = item_schema.find("collectionFormat");
    if (format == nullptr || !format->is_string()) return CollectionFormat::Csv;
    const std::string_view name = format->as_string();
    if (name == "ssv") return CollectionFormat::Ssv;
    if (name == "tsv") return CollectionFormat::Tsv;
    if (name == "pipes") return CollectionFormat::Pipes;
    return CollectionFormat::Csv;
}

}  // namespace multipart
