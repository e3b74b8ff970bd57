#pragma once
// Form bodies (application/x-www-form-urlencoded and multipart/form-data) turned into the one JSON
// object that the body schema describes, field by field: declared properties decoded by their
// field specifications, repeated array fields gathered, and in form bodies names in bracket form
// ("a[b][0]") building nested objects and arrays.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "multipart/field_values.hpp"

namespace multipart {

// A form field's decoding specification by property name, as the body target was built with.
using FieldSpecs = std::map<std::string, DecodeSpec, std::less<>>;

// More bracket segments than this in one form field name make the body undecodable: the tree
// they would build is bounded in depth.
inline constexpr std::size_t kMaxBracketSegments = 128;

// The WHATWG application/x-www-form-urlencoded parser: pieces between "&" (empty ones skipped),
// split at the first "=", "+" as space, percent-escapes decoded, UTF-8 with replacement.
std::vector<std::pair<std::string, std::string>> parse_form_urlencoded(std::string_view body);

// None when the body is not a well-formed multipart body for `boundary`. `schema` is the body
// schema and the root its local references resolve in; `decode_json_body` reads JSON parts.
std::optional<Value> decode_multipart_body(std::string_view body, std::string_view boundary, const Value& schema,
                                           const FieldSpecs& field_specs, JsonBodyDecoder decode_json_body);

// Always an object, except that a field name nested deeper than kMaxBracketSegments gives none.
std::optional<Value> decode_form_body(std::string_view body, const Value& schema, const FieldSpecs& field_specs);

}  // namespace multipart
