#include "vantorel/recorders/parameter_tracing.hpp"

#include <charconv>

#include "deririrore/core/location.hpp"
#include "deririrore/value/percent.hpp"
#include "multipart/form_body.hpp"
#include "multipart/multipart.hpp"
#include "multipart/text.hpp"
#include "vantorel/recorders/body_dispatch.hpp"
#include "vantorel/recorders/tracer.hpp"
#include "zavova/measured_targets.hpp"

namespace vantorel::recorders {

namespace {

using model::ParameterLocation;
using multipart::CollectionShape;
using multipart::DecodeSpec;
using multipart::PathStyle;
using multipart::QueryStyle;
using multipart::QueryStyleContext;

constexpr std::uint8_t kString = 16, kArray = 32, kObject = 64;

bool single(std::uint8_t mask) noexcept { return (mask & (mask - 1)) == 0; }

Value text_value(std::string_view text) { return Value::string(std::string(text)); }

const Value& root_of(const model::ParameterTarget& target) {
    return target.schema ? *target.schema : multipart::default_schema();
}

// The scalar part of a path capture by style: label drops its ".", matrix its ";name=".
std::optional<std::string_view> path_scalar_text(std::string_view text, PathStyle style, std::string_view name) {
    switch (style) {
        case PathStyle::Label:
            if (text.empty() || text.front() != '.') return std::nullopt;
            return text.substr(1);
        case PathStyle::Matrix: {
            if (text.empty() || text.front() != ';') return std::nullopt;
            const std::string_view rest = text.substr(1);
            const std::size_t eq = rest.find('=');
            if (eq == std::string_view::npos) return rest == name ? std::optional(std::string_view()) : std::nullopt;
            if (rest.substr(0, eq) != name) return std::nullopt;
            return rest.substr(eq + 1);
        }
        case PathStyle::Simple:
        default:
            return text;
    }
}

void path_candidates(std::string_view text, const model::ParameterTarget& target, const DecodeSpec& spec,
                     ValueCandidates& out) {
    const Value& schema = root_of(target);
    const multipart::PathStyleContext context{static_cast<PathStyle>(target.style), target.explode};
    const std::uint8_t mask = spec.types;
    const std::optional<std::string_view> scalar = path_scalar_text(text, context.style, target.name);
    if (single(mask)) {
        if ((mask & (kArray | kObject)) != 0) {
            out.push_back(multipart::decode_path_value(text, spec, context, schema, schema));
        } else if (scalar) {
            out.push_back(multipart::decode_path_value(*scalar, spec, context, schema, schema));
        } else {
            out.push_back(text_value(text));
        }
        return;
    }
    if (scalar) multipart::scalar_candidates(*scalar, spec, out);
    if (mask & kArray) {
        out.push_back(multipart::decode_path_collection(text, context, CollectionShape::Array, schema, schema));
    }
    if (mask & kObject) {
        out.push_back(multipart::decode_path_collection(text, context, CollectionShape::Object, schema, schema));
    }
    if (out.empty()) out.push_back(text_value(text));
}

// The leaf and group rules of dotted names, bounded in depth; false when too deep.
using DottedPair = std::pair<std::string_view, std::string_view>;  // (rest of the name, value)

bool nested_value_from_pairs(const std::vector<DottedPair>& pairs, const Value& schema, const Value& root,
                             std::size_t depth, Value& out);

Value dotted_leaf(std::string_view value, const Value& schema, const Value& root) {
    return multipart::decode_query_value(value, multipart::schema_decode_spec(schema, root),
                                         QueryStyleContext{QueryStyle::Form, true}, schema, root);
}

bool nested_group_value(const std::vector<DottedPair>& group, const Value& schema, const Value& root, std::size_t depth,
                        Value& out) {
    if (group.size() == 1 && group.front().first.empty()) {
        out = dotted_leaf(group.front().second, schema, root);
        return true;
    }
    std::vector<DottedPair> nested;
    for (const DottedPair& pair : group)
        if (!pair.first.empty()) nested.push_back(pair);
    if (nested.empty()) {
        out = dotted_leaf(group.front().second, schema, root);
        return true;
    }
    return nested_value_from_pairs(nested, schema, root, depth + 1, out);
}

std::pair<std::string_view, std::string_view> first_segment(std::string_view rest) {
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos) return {rest, std::string_view()};
    return {rest.substr(0, dot), rest.substr(dot + 1)};
}

std::optional<std::uint32_t> read_index(std::string_view segment) {
    if (!segment.empty() && segment.front() == '+') segment.remove_prefix(1);
    if (segment.empty()) return std::nullopt;
    for (char c : segment)
        if (c < '0' || c > '9') return std::nullopt;
    std::uint32_t index = 0;
    const auto [ptr, ec] = std::from_chars(segment.data(), segment.data() + segment.size(), index);
    if (ec != std::errc() || ptr != segment.data() + segment.size()) return std::nullopt;
    return index;
}

bool nested_value_from_pairs(const std::vector<DottedPair>& pairs, const Value& schema, const Value& root,
                             std::size_t depth, Value& out) {
    if (depth >= kMaxDottedDepth) return false;
    const Value* node = zavova::follow_local_refs(root, schema).node;
    const Value* type = node != nullptr && node->is_object() ? node->find("type") : nullptr;
    const std::string_view type_name = type != nullptr && type->is_string() ? std::string_view(type->as_string()) : "";
    if (type_name == "object") {
        std::map<std::string_view, std::vector<DottedPair>> groups;
        for (const auto& [rest, value] : pairs) {
            const auto [segment, remainder] = first_segment(rest);
            groups[segment].push_back({remainder, value});
        }
        const Value* properties = node->find("properties");
        multipart::Members members;
        for (const auto& [segment, group] : groups) {
            const Value* member =
                properties != nullptr && properties->is_object() ? properties->find(segment) : nullptr;
            Value value;
            if (!nested_group_value(group, member != nullptr ? *member : multipart::default_schema(), root, depth,
                                    value))
                return false;
            members[std::string(segment)] = std::move(value);
        }
        out = multipart::object_from(std::move(members));
        return true;
    }
    if (type_name == "array") {
        std::map<std::uint32_t, std::vector<DottedPair>> groups;
        for (const auto& [rest, value] : pairs) {
            const auto [segment, remainder] = first_segment(rest);
            if (auto index = read_index(segment)) groups[*index].push_back({remainder, value});
        }
        const Value* items = node->find("items");
        const Value& item_schema = items != nullptr && items->is_object() ? *items : multipart::default_schema();
        Value array = Value::array();
        for (const auto& [index, group] : groups) {
            Value value;
            if (!nested_group_value(group, item_schema, root, depth, value)) return false;
            array.push_back(std::move(value));
        }
        out = std::move(array);
        return true;
    }
    out = dotted_leaf(pairs.front().second, schema, root);
    return true;
}

// Exploded values whose own name is absent, from "name.rest" entries; none when there are none.
std::optional<ValueCandidates> dotted_fallback(const ParsedQuery& query, const model::ParameterTarget& target) {
    const std::string_view name = target.name;
    std::vector<DottedPair> pairs;
    for (const auto& [key, values] : query.params) {
        if (key.size() > name.size() + 1 && key.compare(0, name.size(), name) == 0 && key[name.size()] == '.')
            pairs.push_back({std::string_view(key).substr(name.size() + 1), values.front()});
    }
    if (pairs.empty()) return std::nullopt;
    ValueCandidates out;
    Value value;
    const Value& schema = root_of(target);
    if (nested_value_from_pairs(pairs, schema, schema, 0, value)) out.push_back(std::move(value));
    return out;
}

Value repeated_array(const std::vector<std::string>& values, const Value& schema, const Value& root) {
    const multipart::SchemaDecodeSpec item = multipart::repeated_items_decode_spec(schema, root);
    Value array = Value::array();
    for (const std::string& value : values)
        array.push_back(multipart::decode_query_value(value, item.spec, QueryStyleContext{QueryStyle::Form, true},
                                                      *item.schema, root));
    return array;
}

bool reserved(std::string_view name, const std::vector<std::string>& reserved_names) {
    for (const std::string& r : reserved_names) {
        if (name == r) return true;
        if (name.size() > r.size() && name.compare(0, r.size(), r) == 0 &&
            (name[r.size()] == '.' || name[r.size()] == '['))
            return true;
    }
    return false;
}

std::optional<ValueCandidates> exploded_object(const ParsedQuery& query, const model::ParameterTarget& target) {
    const Value& root = root_of(target);
    const Value* node = zavova::follow_local_refs(root, root).node;
    const Value* properties = node != nullptr && node->is_object() ? node->find("properties") : nullptr;
    const Value* additional = node != nullptr && node->is_object() ? node->find("additionalProperties") : nullptr;
    multipart::Members members;
    if (properties != nullptr && properties->is_object()) {
        for (const auto& member : properties->as_object()) {
            const std::vector<std::string>* values = query.find(member.key);
            if (values == nullptr) continue;
            const DecodeSpec spec = multipart::schema_decode_spec(member.value, root);
            // A failed mask computation gives 127, which admits arrays.
            members[member.key] =
                (spec.types & kArray)
                    ? repeated_array(*values, member.value, root)
                    : multipart::decode_query_value(values->front(), spec, QueryStyleContext{QueryStyle::Form, true},
                                                    member.value, root);
        }
    } else if (additional != nullptr && !(additional->is_bool() && !additional->as_bool())) {
        const DecodeSpec spec = multipart::schema_decode_spec(*additional, root);
        for (const auto& [name, values] : query.params) {
            if (reserved(name, target.excluded_query_names)) continue;
            members[name] = multipart::decode_query_value(values.front(), spec,
                                                          QueryStyleContext{QueryStyle::Form, true}, *additional, root);
        }
    }
    if (members.empty()) return dotted_fallback(query, target);
    ValueCandidates out;
    out.push_back(multipart::object_from(std::move(members)));
    return out;
}

std::optional<ValueCandidates> deep_object(const ParsedQuery& query, const model::ParameterTarget& target) {
    const auto entry = query.deep_params.find(target.name);
    if (entry == query.deep_params.end()) return std::nullopt;
    const Value& root = root_of(target);
    multipart::Members members;
    for (const auto& [member, values] : entry->second) {
        const multipart::SchemaDecodeSpec found = multipart::member_decode_spec(root, root, member);
        const bool has_schema = found.schema != &multipart::default_schema();
        DecodeSpec spec;
        if (has_schema) {
            spec = multipart::schema_decode_spec(*found.schema, root);
        } else {
            spec.types = kString;
            spec.digits_stay_text = 1;
        }
        const auto decode = [&](const std::string& v) {
            return multipart::decode_query_value(v, spec, QueryStyleContext{QueryStyle::DeepObject, true},
                                                 *found.schema, root);
        };
        if (values.size() == 1) {
            members[member] = decode(values.front());
        } else {
            Value array = Value::array();
            for (const std::string& v : values) array.push_back(decode(v));
            members[member] = std::move(array);
        }
    }
    ValueCandidates out;
    out.push_back(multipart::object_from(std::move(members)));
    return out;
}

std::optional<ValueCandidates> query_candidates(const ParsedQuery& query, const model::ParameterTarget& target,
                                                const DecodeSpec& spec) {
    const auto style = static_cast<QueryStyle>(target.style);
    const bool typed = spec.mode == multipart::DecodeMode::Typed;
    const std::uint8_t mask = spec.types;
    const Value& root = root_of(target);
    if (typed && style == QueryStyle::DeepObject) return deep_object(query, target);
    if (typed && target.explode && (mask & kArray)) {
        const std::vector<std::string>* values = query.find(target.name);
        if (values == nullptr) return dotted_fallback(query, target);
        ValueCandidates out;
        out.push_back(repeated_array(*values, root, root));
        return out;
    }
    if (typed && target.explode && style == QueryStyle::Form && (mask & kObject)) return exploded_object(query, target);
    const std::vector<std::string>* values = query.find(target.name);
    if (values == nullptr) return std::nullopt;
    const std::string_view text = values->front();
    const QueryStyleContext context{style, target.explode};
    ValueCandidates out;
    if (!typed || single(mask)) {
        out.push_back(multipart::decode_query_value(text, spec, context, root, root));
        return out;
    }
    multipart::scalar_candidates(text, spec, out);
    if (mask & kArray)
        out.push_back(multipart::decode_query_collection(text, context, CollectionShape::Array, root, root));
    if (mask & kObject)
        out.push_back(multipart::decode_query_collection(text, context, CollectionShape::Object, root, root));
    if (out.empty()) out.push_back(text_value(text));
    return out;
}

void header_candidates(std::string_view text, const model::ParameterTarget& target, const DecodeSpec& spec,
                       ValueCandidates& out) {
    const Value& root = root_of(target);
    const std::uint8_t mask = spec.types;
    if (single(mask)) {
        out.push_back(multipart::decode_header_value(text, spec, target.explode, root, root));
        return;
    }
    multipart::scalar_candidates(text, spec, out);
    if (mask & kArray)
        out.push_back(multipart::decode_header_collection(text, target.explode, CollectionShape::Array, root, root));
    if (mask & kObject)
        out.push_back(multipart::decode_header_collection(text, target.explode, CollectionShape::Object, root, root));
    if (out.empty()) out.push_back(text_value(text));
}

std::optional<std::string_view> cookie_value(std::string_view header, std::string_view name) {
    for (std::string_view piece : multipart::split_all(header, ';')) {
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = piece.substr(0, eq);
        key = multipart::trim_unicode_white_space_end(key.substr(multipart::skip_unicode_white_space(key, 0)));
        if (key != name) continue;
        std::string_view value = piece.substr(eq + 1);
        return multipart::trim_unicode_white_space_end(value.substr(multipart::skip_unicode_white_space(value, 0)));
    }
    return std::nullopt;
}

void cookie_candidates(std::string_view text, const model::ParameterTarget& target, const DecodeSpec& spec,
                       ValueCandidates& out) {
    const Value& root = root_of(target);
    const std::uint8_t mask = spec.types;
    if (single(mask)) {
        out.push_back(multipart::decode_cookie_value(text, spec, target.explode, root, root));
        return;
    }
    multipart::scalar_candidates(text, spec, out);
    if (mask & kArray)
        out.push_back(target.explode ? text_value(text)
                                     : multipart::decode_cookie_collection(text, CollectionShape::Array, root, root));
    if (mask & kObject)
        out.push_back(target.explode ? text_value(text)
                                     : multipart::decode_cookie_collection(text, CollectionShape::Object, root, root));
    if (out.empty()) out.push_back(text_value(text));
}

}  // namespace

const std::vector<std::string>* ParsedQuery::find(std::string_view name) const {
    const auto it = index.find(name);
    return it == index.end() ? nullptr : &params[it->second].second;
}

void parse_query_string(ParsedQuery& parsed, std::optional<std::string_view> query, bool collect_deep_objects) {
    if (!query) return;
    for (auto& [name, value] : multipart::parse_form_urlencoded(*query)) {
        if (collect_deep_objects) {
            const std::size_t open = name.find('[');
            if (open != std::string::npos && open > 0 && name.back() == ']' && name.size() - open > 2) {
                parsed.deep_params[name.substr(0, open)][name.substr(open + 1, name.size() - open - 2)].push_back(
                    value);
            }
        }
        const auto [it, inserted] = parsed.index.try_emplace(name, parsed.params.size());
        if (inserted) parsed.params.emplace_back(std::move(name), std::vector<std::string>{});
        parsed.params[it->second].second.push_back(std::move(value));
    }
}

std::optional<std::string_view> path_param_value(const PathParams& params, std::string_view name,
                                                 const ParameterNameMap* names) {
    if (names != nullptr) {
        if (auto it = names->find(name); it != names->end()) name = it->second;
    }
    for (const auto& [key, value] : params)
        if (key == name) return value;
    return std::nullopt;
}

std::string percent_decode(std::string_view text, bool plus_as_space) {
    return multipart::utf8_lossy(deririrore::value::percent_decode(text, plus_as_space));
}

DecodeSpec target_decode_spec(const model::ParameterTarget& target) {
    DecodeSpec spec;
    spec.types = target.types;
    spec.digits_stay_text = target.digit_strings ? 1 : 0;
    spec.explode = target.explode ? 1 : 0;
    spec.style = target.style;
    switch (target.non_json_content) {
        case model::ContentSource::Json:
            spec.mode = multipart::DecodeMode::Json;
            break;
        case model::ContentSource::Other:
            spec.mode = multipart::DecodeMode::Text;
            break;
        case model::ContentSource::Unset:
            break;
    }
    return spec;
}

std::optional<ValueCandidates> parameter_candidates(const PathParams& path_params, const http::RequestRecord& request,
                                                    const ParsedQuery& query, const model::ParameterTarget& target,
                                                    const ParameterNameMap* names) {
    const DecodeSpec spec = target_decode_spec(target);
    const bool typed = spec.mode == multipart::DecodeMode::Typed;
    ValueCandidates out;
    switch (target.location) {
        case ParameterLocation::Path: {
            const std::optional<std::string_view> raw = path_param_value(path_params, target.name, names);
            if (!raw) return std::nullopt;
            const std::string text = percent_decode(*raw, false);
            if (!typed) {
                out.push_back(multipart::decode_untyped_value(text, spec.mode));
            } else {
                path_candidates(text, target, spec, out);
            }
            return out;
        }
        case ParameterLocation::Query:
            return query_candidates(query, target, spec);
        case ParameterLocation::Header: {
            const std::optional<std::string_view> raw = http::find_header_ignore_case(request.headers, target.name);
            if (!raw) return std::nullopt;
            if (!typed) {
                out.push_back(multipart::decode_untyped_value(*raw, spec.mode));
            } else {
                header_candidates(*raw, target, spec, out);
            }
            return out;
        }
        case ParameterLocation::Cookie: {
            const std::optional<std::string_view> header = http::find_header_ignore_case(request.headers, "cookie");
            if (!header) return std::nullopt;
            const std::optional<std::string_view> raw = cookie_value(*header, target.name);
            if (!raw) return std::nullopt;
            if (!typed) {
                out.push_back(multipart::decode_untyped_value(*raw, spec.mode));
            } else {
                cookie_candidates(*raw, target, spec, out);
            }
            return out;
        }
        default:
            return std::nullopt;
    }
}

void trace_candidates(model::ParameterTarget& target, const ValueCandidates& candidates, double time) {
    zavova::CoverageHolder& holder = target.holder;
    const bool was_covered = holder.state && holder.state->all_covered;
    if (target.schema && target.validator && holder.state) {
        for (const Value& candidate : candidates)
            trace_value(holder, *target.schema, candidate, *target.validator, time);
    }
    holder.hits += 1;
    mark_covered_at(holder, was_covered, time);
}

void trace_parameter(const PathParams& path_params, const http::RequestRecord& request, const ParsedQuery& query,
                     model::ParameterTarget& target, const ParameterNameMap* names, double time) {
    if (target.location == ParameterLocation::Querystring) {
        const std::optional<std::string_view> raw = request.url.query();
        if (!raw || raw->empty() || !target.media_type || !target.schema || !target.validator) return;
        const auto [type, subtype] = http::split_media_type(*target.media_type);
        const bool form = type == "application" && subtype == "x-www-form-urlencoded";
        // The bytes go on unchecked: the body decoders read their own charsets.
        const std::string bytes = form ? std::string() : deririrore::value::percent_decode(*raw, false);
        zavova::CoverageHolder& holder = target.holder;
        const bool was_covered = holder.state && holder.state->all_covered;
        const BodyTarget body{target.validator.get(), &holder, target.schema.get(), &target.field_specs,
                              target.xml_hints.get()};
        trace_body_by_media_type(form ? *raw : std::string_view(bytes), *target.media_type, body, time);
        holder.hits += 1;
        mark_covered_at(holder, was_covered, time);
        return;
    }
    const std::optional<ValueCandidates> candidates = parameter_candidates(path_params, request, query, target, names);
    if (!candidates) return;
    trace_candidates(target, *candidates, time);
}

void record_type_pass(zavova::CoverageHolder& holder, double time) {
    if (!holder.state) return;
    zavova::CoverageState& state = zavova::make_state_unique(holder);
    if (!state.entries.index_of("/type")) return;
    const bool was_covered = state.all_covered;
    // Through the tracer's own recorder, so that the pass, its event and the covered prefix follow
    // the one rule every trace follows.
    static const Value no_instance = Value::null();
    HitRecorder recorder(state, multipart::default_schema(), no_instance, time);
    static const deririrore::core::Location type_location("/type");
    const deririrore::core::LazyLocation root;
    recorder.record_keyword_hit(deririrore::core::TraceEvent{root, type_location, TraceOutcome::Passed});
    mark_covered_at(holder, was_covered, time);
}

}  // namespace vantorel::recorders
