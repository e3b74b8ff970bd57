#include "vantorel/recorders/swagger2_parameters.hpp"

#include "multipart/form_body.hpp"
#include "vantorel/recorders/body_dispatch.hpp"
#include "vantorel/recorders/tracer.hpp"
#include "zavova/measured_targets.hpp"

namespace vantorel::recorders {

namespace {

using model::ParameterLocation;
using multipart::CollectionFormat;
using multipart::DecodeSpec;

constexpr std::uint8_t kArray = 32, kObject = 64;

bool single(std::uint8_t mask) noexcept { return (mask & (mask - 1)) == 0; }


CollectionFormat format_of(const model::ParameterTarget& target) {
    return static_cast<CollectionFormat>(target.collection_format);
}

template <class Single, class List>
void swagger2_candidates(std::string_view text, const DecodeSpec& spec, ValueCandidates& out, Single&& single_value,
                         List&& list) {
    out.clear();
    if (spec.mode != multipart::DecodeMode::Typed) {
        out.push_back(multipart::decode_untyped_value(text, (static_cast<std::uint8_t>(spec.mode) & 1)
                                                                ? multipart::DecodeMode::Text
                                                                : multipart::DecodeMode::Json));
        return;
    }
    if (single(spec.types)) {
        out.push_back(single_value());
        return;
    }
    multipart::scalar_candidates(text, spec, out);
    if (spec.types & kArray) out.push_back(list());
    if (spec.types & kObject) out.push_back(list());
    if (out.empty()) out.push_back(Value::string(std::string(text)));
}

bool is_file_schema(const Value& schema) {
    const Value* type = schema.is_object() ? schema.find("type") : nullptr;
    return type != nullptr && type->is_string() && type->as_string() == "file";
}

bool multi_array(const model::ParameterTarget& target) {
    return target.collection_format == model::CollectionFormat::Multi && (target.types & kArray);
}

void trace_file_pass(model::ParameterTarget& target, double time) {
    if (target.schema && is_file_schema(*target.schema)) record_type_pass(target.holder, time);
}

}  // namespace

void decode_swagger2_value(std::string_view text, const DecodeSpec& spec, CollectionFormat format, const Value& schema,
                           ValueCandidates& out) {
    swagger2_candidates(
        text, spec, out, [&] { return multipart::decode_collection_item(text, spec, format, schema, schema); },
        [&] { return multipart::decode_collection_item_list(text, multipart::collection_delimiter(format), schema, schema); });
}

void decode_swagger2_item_value(std::string_view text, const DecodeSpec& spec, CollectionFormat format,
                                const Value& schema, ValueCandidates& out) {
    swagger2_candidates(
        text, spec, out, [&] { return multipart::decode_collection_value(text, spec, format, schema, schema); },
        [&] { return multipart::split_collection_value(text, format, schema, schema); });
}

Value decode_swagger2_multi_values(const std::vector<std::string>& values, const Value& schema) {
    const Value* node = zavova::follow_local_refs(schema, schema).node;
    const Value* items = node != nullptr && node->is_object() ? node->find("items") : nullptr;
    Value array = Value::array();
    if (items != nullptr) {
        if (auto inner = multipart::nested_collection_format(*items)) {
            for (const std::string& value : values)
                array.push_back(multipart::decode_collection_item_list(value, multipart::collection_delimiter(*inner), *items, schema));
            return array;
        }
    }
    const multipart::SchemaDecodeSpec item = multipart::repeated_items_decode_spec(schema, schema);
    for (const std::string& value : values)
        array.push_back(multipart::decode_query_value(
            value, item.spec, multipart::QueryStyleContext{multipart::QueryStyle::Form, true}, *item.schema, schema));
    return array;
}

const std::vector<multipart::MultipartPart>* get_multipart_parts(FormPartCache& cache, std::string_view body,
                                                                 std::string_view boundary) {
    if (cache.state == FormPartCache::State::NotParsed) {
        if (auto parts = multipart::parse_multipart(body, boundary)) {
            cache.parts = std::move(*parts);
            cache.state = FormPartCache::State::Parsed;
        } else {
            cache.state = FormPartCache::State::Failed;
        }
    }
    return cache.state == FormPartCache::State::Parsed ? &cache.parts : nullptr;
}

std::vector<std::string> collect_form_field_values(std::string_view body, std::string_view name) {
    std::vector<std::string> values;
    for (auto& [key, value] : multipart::parse_form_urlencoded(body))
        if (key == name) values.push_back(std::move(value));
    return values;
}

void trace_swagger2_parameter(const PathParams& path_params, const http::RequestRecord& request,
                              const ParsedQuery& query, FormPartCache& form_parts, model::ParameterTarget& target,
                              const ParameterNameMap* names, double time) {
    if (!target.schema) return;
    const Value& schema = *target.schema;
    const DecodeSpec spec = target_decode_spec(target);
    const CollectionFormat format = format_of(target);
    ValueCandidates candidates;
    switch (target.location) {
        case ParameterLocation::Path: {
            const std::optional<std::string_view> raw = path_param_value(path_params, target.name, names);
            if (!raw) return;
            decode_swagger2_value(percent_decode(*raw, false), spec, format, schema, candidates);
            break;
        }
        case ParameterLocation::Query: {
            const std::vector<std::string>* values = query.find(target.name);
            if (values == nullptr) return;
            if (multi_array(target)) {
                candidates.push_back(decode_swagger2_multi_values(*values, schema));
            } else {
                decode_swagger2_item_value(values->front(), spec, format, schema, candidates);
            }
            break;
        }
        case ParameterLocation::Header: {
            const std::optional<std::string_view> raw = http::find_header_ignore_case(request.headers, target.name);
            if (!raw) return;
            decode_swagger2_value(*raw, spec, format, schema, candidates);
            break;
        }
        case ParameterLocation::Body: {
            const std::optional<std::string_view> content_type =
                http::find_header_ignore_case(request.headers, "content-type");
            if (!request.body || !content_type) return;
            zavova::CoverageHolder& holder = target.holder;
            const bool was_covered = holder.state && holder.state->all_covered;
            if (auto media = http::parse_media_type(*content_type); media && target.validator && holder.state) {
                const BodyTarget body{target.validator.get(), &holder, target.schema.get(), &target.field_specs,
                                      target.xml_hints.get()};
                trace_body_by_media_type(*request.body, *media, body, time);
            }
            // An undecodable body was still sent: it counts.
            holder.hits += 1;
            mark_covered_at(holder, was_covered, time);
            return;
        }
        case ParameterLocation::FormData: {
            const std::optional<std::string_view> content_type =
                http::find_header_ignore_case(request.headers, "content-type");
            if (!request.body || !content_type) return;
            const auto media = http::parse_media_type(*content_type);
            if (!media) return;
            const auto [type, subtype] = http::split_media_type(*media);
            if (type == "multipart") {
                const std::string* boundary = media->parameter("boundary");
                if (boundary == nullptr) return;
                const std::vector<multipart::MultipartPart>* parts =
                    get_multipart_parts(form_parts, *request.body, *boundary);
                if (parts == nullptr) return;
                if (multi_array(target)) {
                    std::vector<std::string> values;
                    for (const multipart::MultipartPart& part : *parts)
                        if (part.name == target.name) values.push_back(multipart::utf8_lossy(part.body));
                    if (values.empty()) return;
                    candidates.push_back(decode_swagger2_multi_values(values, schema));
                } else {
                    const multipart::MultipartPart* found = nullptr;
                    for (const multipart::MultipartPart& part : *parts) {
                        if (part.name == target.name) {
                            found = &part;
                            break;
                        }
                    }
                    if (found == nullptr) return;
                    candidates.push_back(multipart::decode_collection_value(multipart::utf8_lossy(found->body), spec,
                                                                            format, schema, schema));
                    trace_file_pass(target, time);
                }
            } else if (type == "application" && subtype == "x-www-form-urlencoded") {
                if (multi_array(target)) {
                    const std::vector<std::string> values = collect_form_field_values(*request.body, target.name);
                    if (values.empty()) return;
                    candidates.push_back(decode_swagger2_multi_values(values, schema));
                } else {
                    const std::vector<std::string> values = collect_form_field_values(*request.body, target.name);
                    if (values.empty()) return;
                    decode_swagger2_item_value(values.front(), spec, format, schema, candidates);
                    trace_file_pass(target, time);
                }
            } else {
                return;
            }
            break;
        }
        default:
            return;
    }
    trace_candidates(target, candidates, time);
}

}  // namespace vantorel::recorders
