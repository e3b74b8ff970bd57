#pragma once
// Recorded bodies to values by their media type, and the tracing of the value into the body
// target's coverage: JSON-like bodies through the JSON body decoder, multipart and form bodies
// field by field, XML through the XML decoder, text and octet streams as one string; anything
// else (YAML, images, ...) is not traced.
//
//   BodyTarget target{&*validator, &holder, &*schema, &field_specs, &xml_hints};
//   if (auto media = parse_media_type(content_type))
//       trace_body_by_media_type(body, *media, target, timestamp);
#include <optional>
#include <string_view>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/value.hpp"
#include "http/media_type.hpp"
#include "multipart/form_body.hpp"
#include "xml/hints.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::recorders {

using deririrore::value::Value;

// What a body's measured target lends to one recording: the compiled schema, the coverage it
// counts into, the prepared schema document (the root its entries and local references point
// into), and the decoding hints of form fields and XML elements (null: none).
struct BodyTarget {
    const deririrore::core::Validator* validator = nullptr;
    zavova::CoverageHolder* coverage = nullptr;
    const Value* schema = nullptr;
    const multipart::FieldSpecs* field_specs = nullptr;
    const xml::XmlHints* xml_hints = nullptr;
};

// An object whose `type` is "string", whose `format` is "binary" and whose other members are all
// annotations: such a body is a file of any content, taken whole.
bool is_plain_binary_schema(const Value& schema);

// The body decoded as its media type calls for (see the file comment); none when the media type
// is not decoded here or the body does not decode.
std::optional<Value> decode_body_by_media_type(std::string_view body, const http::MediaType& media_type,
                                               const BodyTarget& target);

// The XML branch of the decoding: the body through the XML decoder with the target's hints;
// none when it is malformed, refused or too deep.
std::optional<Value> decode_xml_body(std::string_view body, const BodyTarget& target);

// Decodes and traces the body into the target's coverage at `time`; answers whether a value was
// traced.
bool trace_body_by_media_type(std::string_view body, const http::MediaType& media_type, const BodyTarget& target,
                              double time);

// Whether a request of `media_type` belongs to the body target declared with `own_range`: the
// range fits (absent, a key that did not parse, fits nothing) and none of the more specific
// ranges declared beside it does.
bool select_content_media(const http::MediaType& media_type, const std::optional<http::MediaType>& own_range,
                          const std::vector<http::MediaType>& competing_ranges);

// Traces a request body into its target, sets covered_at when the target has just become all
// covered, and counts the target's hit whether or not a value was traced.
void trace_content_value(std::string_view body, const http::MediaType& media_type, const BodyTarget& target,
                         double time);

}  // namespace vantorel::recorders
