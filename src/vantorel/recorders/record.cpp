#include "vantorel/recorders/record.hpp"

#include <limits>
#include <utility>

#include "vantorel/model/base_paths.hpp"
#include "vantorel/model/method_map.hpp"
#include "vantorel/recorders/request_parameters.hpp"
#include "vantorel/recorders/unmatched.hpp"

namespace vantorel::recorders {

namespace {

bool has_fragment_keys(const CoverageMap& map) noexcept { return !map.routes.fragment_paths.empty(); }

bool ends_with_slash(std::string_view path) noexcept { return !path.empty() && path.back() == '/'; }

// Whether `path` is `prefix` or continues it with "/".
bool starts_with_base(std::string_view path, std::string_view prefix) noexcept {
    if (!path.starts_with(prefix)) return false;
    return path.size() == prefix.size() || path[prefix.size()] == '/';
}

std::string_view primary_base(const CoverageMap& map) noexcept {
    return map.base_path ? std::string_view(*map.base_path) : std::string_view();
}

// One pass, so that a path made of escapes costs no more than its length.
std::string escapes_as_hash(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    std::size_t at = 0;
    while (true) {
        const std::size_t found = path.find("%23", at);
        out.append(path.substr(at, found - at));
        if (found == std::string_view::npos) return out;
        out += '#';
        at = found + 3;
    }
}

}  // namespace

std::string split_request_path(const http::Url& url, bool fragment_keys) {
    std::string path;
    const auto fragment = url.fragment();
    if (fragment_keys && fragment && !fragment->empty()) {
        path.reserve(url.path().size() + 1 + fragment->size());
        path.append(url.path()).append("#").append(*fragment);
    } else if (fragment_keys) {
        path = escapes_as_hash(url.path());
    } else {
        path = url.path();
    }
    if (auto decoded = model::decode_non_ascii_escapes(path)) return std::move(*decoded);
    return path;
}

const std::string* lookup_route_slash_variant(const CoverageMap& map, std::string_view path, bool slash_variants) {
    if (const std::string* found = map.routes.routes.find(path)) return found;
    if (!slash_variants) return nullptr;
    if (path.size() > 1 && path.back() == '/') return map.routes.routes.find(path.substr(0, path.size() - 1));
    std::string with_slash(path);
    with_slash += '/';
    return map.routes.routes.find(with_slash);
}

int route_method_state(const CoverageMap& map, http::HttpMethod method, std::string_view path) {
    const std::string* route = map.routes.routes.find(path);
    if (route == nullptr) return 2;
    const model::MethodMap* methods = map.routes.paths.find(*route);
    return methods != nullptr && model::get_operation(*methods, method) != nullptr ? 1 : 0;
}

std::string rewrite_server_base(const CoverageMap& map, std::string path, bool slash_variants) {
    if (map.server_bases.empty() || lookup_route_slash_variant(map, path, slash_variants) != nullptr) return path;
    const std::string_view base = primary_base(map);
    const auto rewritten = [&](const model::ServerBase& server) {
        std::string out(base);
        out += std::string_view(path).substr(server.base.size());
        if (out.empty()) out = "/";
        return out;
    };
    for (const auto& server : map.server_bases) {
        if (!starts_with_base(path, server.base)) continue;
        std::string candidate = rewritten(server);
        const std::string* route = lookup_route_slash_variant(map, candidate, slash_variants);
        if (route == nullptr) continue;
        if (!server.path_keys) return candidate;
        for (const auto& key : *server.path_keys) {
            // Path keys are kept as written; routes carry the primary base in front.
            if (route->size() == base.size() + key.size() && route->starts_with(base) &&
                std::string_view(*route).substr(base.size()) == key)
                return candidate;
        }
    }
    for (const auto& server : map.server_bases) {
        if (!server.path_keys && starts_with_base(path, server.base)) return rewritten(server);
    }
    return path;
}

std::string normalise_request_path(const CoverageMap& map, http::HttpMethod method, std::string path) {
    if (!map.routes.has_trailing_slash_templates) {
        if (path.size() > 1 && path.back() == '/') path.pop_back();
        return rewrite_server_base(map, std::move(path), false);
    }
    std::string p1 = rewrite_server_base(map, std::move(path), true);
    const int r1 = route_method_state(map, method, p1);
    if (r1 == 1) return p1;
    if (!ends_with_slash(p1)) {
        std::string p2 = p1 + "/";
        const int r2 = route_method_state(map, method, p2);
        if (r2 == 1 || (r2 == 0 && r1 == 2)) return p2;
        return p1;
    }
    if (p1.size() == 1) return p1;
    if (r1 == 2) {
        p1.pop_back();
        return p1;
    }
    const std::string_view shorter = std::string_view(p1).substr(0, p1.size() - 1);
    if (route_method_state(map, method, shorter) == 1) p1.pop_back();
    return p1;
}

std::optional<std::string_view> find_raw_query_value(std::string_view raw_query, std::string_view name) {
    while (true) {
        const std::size_t amp = raw_query.find('&');
        const std::string_view pair = raw_query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
        if (amp == std::string_view::npos) return std::nullopt;
        raw_query.remove_prefix(amp + 1);
    }
}

namespace {

bool query_has_key(std::string_view raw_query, std::string_view name) {
    while (true) {
        const std::size_t amp = raw_query.find('&');
        const std::string_view pair = raw_query.substr(0, amp);
        if (pair.substr(0, pair.find('=')) == name) return true;
        if (amp == std::string_view::npos) return false;
        raw_query.remove_prefix(amp + 1);
    }
}

struct ConditionCheck {
    std::optional<std::string_view> raw_query;
    model::SegmentCaptures& captures;

    bool operator()(const model::query_constraints::Capture& c) const {
        if (!raw_query) return false;
        const auto value = find_raw_query_value(*raw_query, c.query_name);
        if (!value) return false;
        captures.emplace_back(c.parameter, *value);
        return true;
    }
    bool operator()(const model::query_constraints::Fixed& c) const {
        if (!raw_query) return false;
        const auto value = find_raw_query_value(*raw_query, c.query_name);
        return value && *value == c.value;
    }
    bool operator()(const model::query_constraints::Present& c) const {
        return raw_query && query_has_key(*raw_query, c.name);
    }
};

}  // namespace

bool match_query_conditions(const std::vector<model::QueryConstraint>& conditions,
                            std::optional<std::string_view> raw_query, model::SegmentCaptures& captures) {
    const ConditionCheck check{raw_query, captures};
    for (const auto& condition : conditions) {
        if (!std::visit(check, condition)) return false;
    }
    return true;
}

MatchedRoute find_route(const CoverageMap& map, std::string_view path, std::optional<std::string_view> raw_query) {
    MatchedRoute matched;
    model::RouteLookup lookup;
    if (const std::string* route = map.routes.routes.find(path, lookup)) {
        matched.route = route;
        for (const auto& capture : lookup.captures()) matched.captures.emplace_back(capture.name, capture.value);
        return matched;
    }
    for (const auto& pattern : map.routes.segment_templates) {
        matched.captures.clear();
        if (!model::match_pattern_segments(pattern.segments, path, matched.captures)) continue;
        for (const auto& [name, value] : pattern.fixed_parameters) matched.captures.emplace_back(name, value);
        matched.route = &pattern.template_text;
        return matched;
    }
    for (const auto& pattern : map.routes.query_templates) {
        matched.captures.clear();
        if (!model::match_pattern_segments(pattern.segments, path, matched.captures)) continue;
        if (!match_query_conditions(pattern.constraints, raw_query, matched.captures)) continue;
        matched.route = &pattern.template_text;
        return matched;
    }
    matched.captures.clear();
    return matched;
}

RecordResult record_interaction(CoverageMap& map, const http::Interaction& interaction,
                                std::span<const std::string_view> labels) {
    const http::RequestRecord& request = interaction.request;
    const double time = interaction.timestamp;
    RecordResult result;
    const LabelIds label_ids = resolve_label_ids(map, labels);

    const std::string split = split_request_path(request.url, has_fragment_keys(map));
    const std::string path = normalise_request_path(map, request.method, split);
    const MatchedRoute matched = find_route(map, path, request.url.query());

    if (matched.route == nullptr) {
        map.unmatched.record(request.method, request.url.host(), cut_unmatched_path(split),
                             UnmatchedReason::NoMatchingPath, 1, time, false);
        result.outcome = RecordOutcome::NoMatchingPath;
        return result;
    }
    result.route = *matched.route;
    model::MethodMap* methods = map.routes.paths.find(*matched.route);
    model::OperationRecord* operation = methods != nullptr ? model::get_operation(*methods, request.method) : nullptr;
    if (operation == nullptr) {
        map.unmatched.record(request.method, request.url.host(), *matched.route, UnmatchedReason::MethodNotDocumented,
                             1, time, false);
        result.outcome = RecordOutcome::MethodNotDocumented;
        return result;
    }

    result.outcome = RecordOutcome::Recorded;
    // A stop inside the tracers must not leave the holders recording events for later traffic.
    struct EventsOff {
        model::OperationRecord* operation;
        ~EventsOff() {
            if (operation != nullptr) discard_label_events(*operation);
        }
    } events_off{nullptr};
    if (!label_ids.empty()) {
        enable_label_events(*operation);
        events_off.operation = operation;
    }
    if (operation->hits == 0) operation->first_seen = time;
    if (operation->hits != std::numeric_limits<std::uint64_t>::max()) ++operation->hits;

    trace_request_parameters(*operation, request, matched.captures, time);

    if (interaction.response) {
        const http::ResponseRecord& response = *interaction.response;
        ResponseInfo info;
        if (response.body) info.body = std::string_view(*response.body);
        info.content_type = http::find_header_ignore_case(response.headers, "content-type");
        info.timestamp = time;
        info.elapsed = response.elapsed;
        info.status = response.status;
        result.response = record_response(*operation, info);
    }
    if (!label_ids.empty()) {
        std::vector<std::uint32_t> events = std::move(map.labels.event_buffer);
        const model::ResponseTarget* response =
            interaction.response ? matched_response_target(*operation, interaction.response->status) : nullptr;
        collect_label_events(*operation, response, events);
        events_off.operation = nullptr;
        add_label_events(map.labels, label_ids, events);
        map.labels.event_buffer = std::move(events);
    }
    return result;
}

std::string resolve_operation_path(const CoverageMap& map, std::string_view text) {
    std::string path;
    if (text.starts_with('/')) {
        path = text;
    } else if (auto derived = model::derive_base_path(text)) {
        path = std::move(*derived);
    } else {
        path = text;
    }
    const std::string_view base = primary_base(map);
    if (!base.empty() && !starts_with_base(path, base)) path.insert(0, base);
    return path;
}

}  // namespace vantorel::recorders
