#include "vantorel/recorders/body_dispatch.hpp"

#include <limits>

#include "vantorel/recorders/json_body.hpp"
#include "vantorel/recorders/tracer.hpp"
#include "xml/decoder.hpp"
#include "zavova/schema_predicates.hpp"

namespace vantorel::recorders {

namespace {

const multipart::FieldSpecs& field_specs_of(const BodyTarget& target) {
    static const multipart::FieldSpecs kNone;
    return target.field_specs != nullptr ? *target.field_specs : kNone;
}

const Value& schema_of(const BodyTarget& target) {
    static const Value kEmptySchema = Value::object();
    return target.schema != nullptr ? *target.schema : kEmptySchema;
}

bool member_is_string(const Value& object, std::string_view key, std::string_view text) {
    const Value* v = object.find(key);
    return v != nullptr && v->is_string() && v->as_string() == text;
}

}  // namespace

bool is_plain_binary_schema(const Value& schema) {
    if (!schema.is_object() || !member_is_string(schema, "type", "string") ||
        !member_is_string(schema, "format", "binary"))
        return false;
    for (const auto& member : schema.as_object()) {
        if (member.key == "type" || member.key == "format") continue;
        if (!zavova::is_annotation_keyword(member.key)) return false;
    }
    return true;
}

std::optional<Value> decode_xml_body(std::string_view body, const BodyTarget& target) {
    static const xml::XmlHints kNoHints;
    auto value = xml::xml_body_to_json(target.xml_hints != nullptr ? *target.xml_hints : kNoHints, body);
    if (!value) return std::nullopt;
    return std::move(*value);
}

std::optional<Value> decode_body_by_media_type(std::string_view body, const http::MediaType& media_type,
                                               const BodyTarget& target) {
    const auto [type, subtype] = http::split_media_type(media_type);
    if (is_json_media_type(type, subtype)) return decode_json_body(body, media_type);
    if (type == "multipart") {
        if (is_plain_binary_schema(schema_of(target))) return body_as_string(body);
        const std::string* boundary = media_type.parameter("boundary");
        if (boundary == nullptr) return std::nullopt;
        return multipart::decode_multipart_body(body, *boundary, schema_of(target), field_specs_of(target),
                                                &decode_json_body);
    }
    if (type == "application" && subtype == "x-www-form-urlencoded") {
        return multipart::decode_form_body(body, schema_of(target), field_specs_of(target));
    }
    if (is_xml_subtype(subtype)) return decode_xml_body(body, target);
    if (type == "text" || (type == "application" && subtype == "octet-stream")) return body_as_string(body);
    return std::nullopt;
}

bool trace_body_by_media_type(std::string_view body, const http::MediaType& media_type, const BodyTarget& target,
                              double time) {
    if (target.validator == nullptr || target.coverage == nullptr || !target.coverage->state) return false;
    const std::optional<Value> value = decode_body_by_media_type(body, media_type, target);
    if (!value) return false;
    trace_value(*target.coverage, schema_of(target), *value, *target.validator, time);
    return true;
}

bool select_content_media(const http::MediaType& media_type, const std::optional<http::MediaType>& own_range,
                          const std::vector<http::MediaType>& competing_ranges) {
    if (!own_range || !http::media_range_matches(*own_range, media_type)) return false;
    for (const auto& range : competing_ranges) {
        if (http::media_range_matches(range, media_type)) return false;
    }
    return true;
}

void trace_content_value(std::string_view body, const http::MediaType& media_type, const BodyTarget& target,
                         double time) {
    if (target.coverage == nullptr) return;
    zavova::CoverageHolder& holder = *target.coverage;
    const bool was_all_covered = holder.state && holder.state->all_covered;
    trace_body_by_media_type(body, media_type, target, time);
    mark_covered_at(holder, was_all_covered, time);
    if (holder.hits != std::numeric_limits<std::uint64_t>::max()) ++holder.hits;
}

}  // namespace vantorel::recorders
