#pragma once
// Turning one field text into the JSON value its schema is traced with: scalar recognition by the
// schema's type mask, lists and key/value pairs by the query styles, and the arrays of repeated
// fields. Shared by the form and multipart decoders and by parameter tracing. Decoding never
// fails: a text that spells no admitted type is a string, and the schema then judges it.
//
// Numbers keep their written value exactly: a decimal text becomes a JSON number text of the same
// value (its sign, leading zeros and a bare decimal point normalised), never a double's rounding.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "deririrore/value/value.hpp"
#include "zavova/measured_targets.hpp"

namespace http {
struct MediaType;
}

namespace multipart {

using deririrore::value::Value;
using zavova::DecodeMode;
using zavova::DecodeSpec;

enum class QueryStyle : std::uint8_t { Form = 0, SpaceDelimited = 1, PipeDelimited = 2, DeepObject = 3 };

struct QueryStyleContext {
    QueryStyle style = QueryStyle::Form;
    bool explode = true;
};

// The text cut at every delimiter byte, empty pieces kept ('' gives one empty piece).
std::vector<std::string_view> split_all(std::string_view text, char delimiter);

// The empty schema `{}`, standing for an absent item or member schema.
const Value& default_schema();

// `Text`: the text as a string. `Json`: the text read as one JSON document, else a string.
Value decode_untyped_value(std::string_view text, DecodeMode mode);

// The first of null, boolean, integer and number that the mask admits and the text spells.
std::optional<Value> recognize_scalar(std::string_view text, const DecodeSpec& spec);

// A decimal text ([+-] digits [. digits] [e [+-] digits], a bare leading or trailing point
// allowed) as a JSON number text of the same value, with ".0" added to a text that has neither
// fraction nor exponent; none for anything else (infinity and not-a-number words included).
std::optional<std::string> decimal_number_text(std::string_view text);

// A query value or form field: scalars first, then the style's list or pair rules.
Value decode_query_value(std::string_view text, const DecodeSpec& spec, QueryStyleContext context, const Value& schema,
                         const Value& root);

struct SchemaDecodeSpec {
    const Value* schema;  // inside the root, or default_schema()
    DecodeSpec spec;
};
SchemaDecodeSpec items_decode_spec(const Value& schema, const Value& root);
SchemaDecodeSpec member_decode_spec(const Value& schema, const Value& root, std::string_view name);
DecodeSpec schema_decode_spec(const Value& schema, const Value& root);
SchemaDecodeSpec repeated_items_decode_spec(const Value& schema, const Value& root);

// The values of one repeated field in arrival order: raw texts still to decode, or values
// already decoded (an array among them counts as an already built list).
using RepeatedEntry = std::variant<std::string, Value>;
using RepeatedFields = std::map<std::string, std::vector<RepeatedEntry>, std::less<>>;
// An object under construction (a sorted Value object costs a shift per insertion).
using Members = std::map<std::string, Value, std::less<>>;
Value object_from(Members members);

// For each field that is a member of `properties`, the array of its decoded values goes into
// `object` (replacing a member of that name); other fields are dropped.
void assemble_repeated_fields(RepeatedFields& fields, const Value& properties, const Value& root, Members& object);

// A multipart part whose own Content-Type is JSON-like, decoded by `decode_json_body` (the body
// decoder of the recording side, which knows byte-order marks and charsets); none otherwise.
using JsonBodyDecoder = std::optional<Value> (*)(std::string_view body, const http::MediaType& media_type);
std::optional<Value> decode_json_part(const std::optional<std::string>& content_type, std::string_view body,
                                      JsonBodyDecoder decode_json_body);

}  // namespace multipart
