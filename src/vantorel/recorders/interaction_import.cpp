#include "vantorel/recorders/interaction_import.hpp"

#include <limits>
#include <optional>
#include <utility>

#include "http/media_type.hpp"
#include "vantorel/model/method_map.hpp"
#include "vantorel/model/path_templates.hpp"
#include "vantorel/recorders/labels.hpp"
#include "vantorel/recorders/record.hpp"
#include "vantorel/recorders/request_parameters.hpp"
#include "vantorel/recorders/responses_recording.hpp"

namespace vantorel::recorders {

namespace {

using model::OperationRecord;
using model::ParameterLocation;
using model::ParameterTarget;

// A way of finding path parameter values in a request path that does not route to the template.
struct Matcher {
    const std::vector<model::PathSegment>* segments = nullptr;
    const std::vector<std::pair<std::string, std::string>>* fixed = nullptr;
    const std::vector<model::QueryConstraint>* conditions = nullptr;
};

struct Matchers {
    std::vector<Matcher> list;
    std::optional<std::vector<model::PathSegment>> parsed;  // owns the segments of a path as given
};

Matchers matchers_for(const CoverageMap& map, std::string_view path) {
    Matchers out;
    for (const auto& pattern : map.routes.segment_templates) {
        if (pattern.template_text == path) out.list.push_back({&pattern.segments, &pattern.fixed_parameters, nullptr});
    }
    if (!out.list.empty()) return out;
    for (const auto& pattern : map.routes.query_templates) {
        if (pattern.template_text == path) out.list.push_back({&pattern.segments, nullptr, &pattern.constraints});
    }
    if (!out.list.empty()) return out;
    std::string text(path);
    if (auto stripped = model::strip_path_fragment(text)) text = std::move(*stripped);
    out.parsed = model::parse_path_template(text);
    if (out.parsed) out.list.push_back({&*out.parsed, nullptr, nullptr});
    return out;
}

bool ends_with_slash(std::string_view path) noexcept { return !path.empty() && path.back() == '/'; }

bool routes_to(const CoverageMap& map, std::string_view candidate, std::string_view path) {
    const std::string* route = map.routes.routes.find(candidate);
    return route != nullptr && *route == path;
}

// The request path made ready for routing, preferring the spelling that reaches `path`.
std::string normalise_towards(const CoverageMap& map, std::string_view path, std::string split) {
    if (!map.routes.has_trailing_slash_templates) {
        if (split.size() > 1 && split.back() == '/') split.pop_back();
        return rewrite_server_base(map, std::move(split), false);
    }
    std::string p1 = rewrite_server_base(map, std::move(split), true);
    if (routes_to(map, p1, path)) return p1;
    const bool p1_routes = map.routes.routes.find(p1) != nullptr;
    if (ends_with_slash(p1)) {
        if (p1.size() == 1) return p1;
        if (!p1_routes || routes_to(map, std::string_view(p1).substr(0, p1.size() - 1), path)) p1.pop_back();
        return p1;
    }
    std::string p2 = p1 + "/";
    const std::string* r2 = map.routes.routes.find(p2);
    if (r2 != nullptr && (!p1_routes || *r2 == path)) return p2;
    return p1;
}

std::string_view location_name(const ParameterTarget& target) noexcept {
    if (target.tag == model::kSwagger2Tag) return model::parameter_location_key(target.location);
    switch (target.tag) {
        case model::kPathTag:
            return "path";
        case model::kQueryTag:
            return "query";
        case model::kHeaderTag:
            return "header";
        case model::kCookieTag:
            return "cookie";
        case model::kQuerystringTag:
            return "querystring";
        default:
            return "body";
    }
}

std::string status_pattern_text(const model::StatusPattern& pattern) {
    std::string out(3, 'X');
    for (std::size_t i = 0; i < 3; ++i) {
        if (pattern.positions[i].present) out[i] = static_cast<char>('0' + pattern.positions[i].digit);
    }
    return out;
}

// Snapshots of every parameter target and every response body, in the order events are built.
struct OperationSnapshot {
    std::vector<std::vector<CounterSnapshot>> parameters;
    std::vector<std::vector<CounterSnapshot>> responses;  // declared bodies, then `default`'s

    void take_parameters(const OperationRecord& operation) {
        parameters.resize(operation.parameters.size());
        for (std::size_t i = 0; i < operation.parameters.size(); ++i)
            parameters[i] = snapshot_counters(operation.parameters[i].holder);
    }
    void take_responses(const OperationRecord& operation) {
        responses.clear();
        for (const auto& response : operation.responses) {
            for (const auto& body : response.bodies) responses.push_back(snapshot_counters(body.holder));
        }
        if (operation.has_default_response) {
            for (const auto& body : operation.default_response.bodies)
                responses.push_back(snapshot_counters(body.holder));
        }
    }
};

void parameter_events(const OperationRecord& operation, const OperationSnapshot& snapshot, std::string_view method,
                      std::string_view path, std::vector<ImportEvent>& out) {
    for (std::size_t i = 0; i < operation.parameters.size(); ++i) {
        const ParameterTarget& target = operation.parameters[i];
        const std::string_view fields[5] = {"schema", method, path, location_name(target), target.name};
        build_import_events(target.holder, snapshot.parameters[i], fields, out);
    }
}

void response_events(const OperationRecord& operation, const OperationSnapshot& snapshot, std::string_view method,
                     std::string_view path, std::vector<ImportEvent>& out) {
    std::size_t at = 0;
    const auto bodies = [&](const model::ResponseTarget& response, std::string_view status) {
        for (const auto& body : response.bodies) {
            const std::string media_type = http::format_media_type(body.media_type);
            const std::string_view fields[5] = {"response", method, path, status, media_type};
            build_import_events(body.holder, snapshot.responses[at++], fields, out);
        }
    };
    for (const auto& response : operation.responses) bodies(response, status_pattern_text(response.status));
    if (operation.has_default_response) bodies(operation.default_response, "default");
}

// Clears `captures` first, and again when the matcher does not match.
bool apply_matcher(const Matcher& matcher, std::string_view path, std::optional<std::string_view> raw_query,
                   model::SegmentCaptures& captures) {
    captures.clear();
    if (model::match_pattern_segments(*matcher.segments, path, captures) &&
        (matcher.conditions == nullptr || match_query_conditions(*matcher.conditions, raw_query, captures))) {
        if (matcher.fixed != nullptr) {
            for (const auto& [name, value] : *matcher.fixed) captures.emplace_back(name, value);
        }
        return true;
    }
    captures.clear();
    return false;
}

ResponseInfo response_info(const http::Interaction& interaction) {
    const http::ResponseRecord& response = *interaction.response;
    ResponseInfo info;
    if (response.body) info.body = std::string_view(*response.body);
    info.content_type = http::find_header_ignore_case(response.headers, "content-type");
    info.timestamp = interaction.timestamp;
    info.elapsed = response.elapsed;
    info.status = response.status;
    return info;
}

// The operation's hit once for the batch (when it grew), the hit of the response each exchange's
// status selected, then every holder's events.
void add_import_label_events(CoverageMap& map, OperationRecord& operation, std::uint64_t hits_before,
                             std::span<const http::Interaction> interactions, const LabelIds& label_ids) {
    std::vector<std::uint32_t> label_events = std::move(map.labels.event_buffer);
    // An operation with no holders and no number contributes nothing but the response's hit.
    OperationRecord response_only;
    for (const auto& interaction : interactions) {
        if (!interaction.response) continue;
        if (const model::ResponseTarget* target = matched_response_target(operation, interaction.response->status))
            collect_label_events(response_only, target, label_events);
    }
    if (operation.hits != hits_before) {
        collect_label_events(operation, nullptr, label_events);
    } else {
        for (auto& parameter : operation.parameters) drain_state_events(parameter.holder, label_events);
        for (auto& response : operation.responses) {
            for (auto& body : response.bodies) drain_state_events(body.holder, label_events);
        }
        for (auto& body : operation.default_response.bodies) drain_state_events(body.holder, label_events);
    }
    add_label_events(map.labels, label_ids, label_events);
    map.labels.event_buffer = std::move(label_events);
}

}  // namespace

std::string_view import_outcome_name(std::uint8_t outcome) noexcept {
    switch (outcome) {
        case 0:
            return "valid";
        case 1:
            return "invalid";
        default:
            return "skipped";
    }
}

std::vector<CounterSnapshot> snapshot_counters(const zavova::CoverageHolder& holder) {
    std::vector<CounterSnapshot> out;
    if (!holder.state) return out;
    const zavova::EntryMap& entries = holder.state->entries;
    out.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const zavova::KeywordEntry& e = entries.entry(i);
        out.push_back({e.passed, e.failed, e.not_applicable});
    }
    return out;
}

void build_import_events(const zavova::CoverageHolder& holder, std::span<const CounterSnapshot> snapshot,
                         std::span<const std::string_view, 5> fields, std::vector<ImportEvent>& out) {
    if (!holder.state) return;
    const zavova::EntryMap& entries = holder.state->entries;
    const std::size_t n = std::min(entries.size(), snapshot.size());
    std::string prefix = "vantorel";
    for (std::string_view field : fields) prefix.append("|").append(field);
    prefix += '|';
    for (std::size_t i = 0; i < n; ++i) {
        const zavova::KeywordEntry& e = entries.entry(i);
        const CounterSnapshot& before = snapshot[i];
        const std::uint64_t now[3] = {e.passed, e.failed, e.not_applicable};
        const std::uint64_t then[3] = {before.passed, before.failed, before.not_applicable};
        for (std::uint8_t kind = 0; kind < 3; ++kind) {
            if (now[kind] > then[kind])
                out.push_back(ImportEvent{std::string(prefix).append(entries.location(i)), kind});
        }
    }
}

std::vector<ImportEvent> import_interactions(CoverageMap& map, http::HttpMethod method, std::string_view path_text,
                                             std::span<const http::Interaction> interactions, bool events,
                                             std::span<const std::string_view> labels) {
    std::vector<ImportEvent> out;
    const LabelIds label_ids = resolve_label_ids(map, labels);
    const std::string path = resolve_operation_path(map, path_text);
    const model::Shadowing* shadow = nullptr;
    if (auto it = map.routes.shadowing_templates.find(path); it != map.routes.shadowing_templates.end())
        shadow = &it->second;
    ParameterNameMap shadow_names;
    if (shadow != nullptr) {
        for (const auto& [documented, captured] : shadow->renames) shadow_names.emplace(documented, captured);
    }
    const Matchers matchers = matchers_for(map, path);

    model::MethodMap* methods = map.routes.paths.find(path);
    OperationRecord* operation = methods != nullptr ? model::get_operation(*methods, method) : nullptr;
    if (operation == nullptr) {
        const UnmatchedReason reason =
            methods == nullptr ? UnmatchedReason::NoMatchingPath : UnmatchedReason::MethodNotDocumented;
        for (const auto& interaction : interactions) {
            map.unmatched.record(method, interaction.request.url.host(), path, reason, 1, interaction.timestamp, false);
        }
        return out;
    }

    if (!label_ids.empty()) enable_label_events(*operation);
    const std::uint64_t hits_before = operation->hits;
    const std::string_view method_text = http::method_name(method);
    const bool fragment_keys = !map.routes.fragment_paths.empty();
    OperationSnapshot snapshot;
    for (const auto& interaction : interactions) {
        const http::RequestRecord& request = interaction.request;
        if (operation->hits == 0) operation->first_seen = interaction.timestamp;
        if (operation->hits != std::numeric_limits<std::uint64_t>::max()) ++operation->hits;

        const std::string normalised = normalise_towards(map, path, split_request_path(request.url, fragment_keys));
        model::RouteLookup lookup;
        model::SegmentCaptures captures;
        const ParameterNameMap* names = nullptr;
        const std::string* route = map.routes.routes.find(normalised, lookup);
        if (route != nullptr && (*route == path || (shadow != nullptr && *route == shadow->owner))) {
            for (const auto& capture : lookup.captures()) captures.emplace_back(capture.name, capture.value);
            if (*route != path) names = &shadow_names;
        } else {
            // When nothing matches, the exchange is traced without path parameters.
            for (const Matcher& matcher : matchers.list) {
                if (apply_matcher(matcher, normalised, request.url.query(), captures)) break;
            }
        }

        if (events) snapshot.take_parameters(*operation);
        trace_request_parameters(*operation, request, captures, interaction.timestamp, names);
        if (events) parameter_events(*operation, snapshot, method_text, path, out);

        if (interaction.response) {
            if (events) snapshot.take_responses(*operation);
            record_response(*operation, response_info(interaction));
            if (events) response_events(*operation, snapshot, method_text, path, out);
        }
    }
    if (!label_ids.empty()) add_import_label_events(map, *operation, hits_before, interactions, label_ids);
    return out;
}

}  // namespace vantorel::recorders
