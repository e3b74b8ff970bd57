#pragma once
// The road of one recorded exchange: the request path is split from its URL and normalised
// (fragments of "#" path keys, trailing "/", alternative server bases), the documented template
// is found in the route table or else among the templates it cannot hold, the operation's hit is
// counted, its parameters and body traced, and its response recorded. A request that reaches no
// documented operation is filed as unmatched instead.
//
//   // with the map's lock held
//   const RecordResult result = record_interaction(map, interaction);
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "http/interaction.hpp"
#include "http/url.hpp"
#include "vantorel/model/path_templates.hpp"
#include "vantorel/model/routes.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/responses_recording.hpp"

namespace vantorel::recorders {

enum class RecordOutcome : std::uint8_t {
    Recorded,             // the operation's hit counted
    NoMatchingPath,       // filed as unmatched: no template
    MethodNotDocumented,  // filed as unmatched: the template has no operation for the method
};

struct RecordResult {
    RecordOutcome outcome = RecordOutcome::NoMatchingPath;
    // The template text (base path prefixed) the request reached; empty for NoMatchingPath.
    std::string route;
    // What became of the response; None when the interaction has none or was not recorded.
    ResponseOutcome response = ResponseOutcome::None;
};

// Records one interaction into the map. The caller holds the map's lock for the whole call. Never
// fails on traffic: an unusual request or response is filed or counted, not refused; only a broken
// internal invariant stops the call (deririrore::InternalError). With labels, what the
// interaction reached is added to each label's set (a label the full table refuses is skipped).
RecordResult record_interaction(CoverageMap& map, const http::Interaction& interaction,
                                std::span<const std::string_view> labels = {});

// The request path as routing sees it: with "#" path keys in the document, a non-empty fragment is
// put back behind "#" and otherwise every "%23" becomes "#"; percent-escapes of non-ASCII bytes are
// decoded (when they spell UTF-8), ASCII escapes stay.
std::string split_request_path(const http::Url& url, bool has_fragment_keys);

// The split path made ready for the route table: trailing "/" resolved against the templates, an
// alternative server base at its start replaced by the primary base path.
std::string normalise_request_path(const CoverageMap& map, http::HttpMethod method, std::string path);

// 2 nothing routes, 1 routed and the method documented, 0 routed but the method is not.
int route_method_state(const CoverageMap& map, http::HttpMethod method, std::string_view path);

// The route table's template for the path; when nothing routes and `slash_variants`, the path is
// tried once more without its trailing "/" (longer than one byte), or else with one appended.
const std::string* lookup_route_slash_variant(const CoverageMap& map, std::string_view path, bool slash_variants);

// The path with a matching alternative server base replaced by the primary base path.
std::string rewrite_server_base(const CoverageMap& map, std::string path, bool slash_variants);

// A matched template and its path parameters (name, raw value), views into the map and the path.
struct MatchedRoute {
    const std::string* route = nullptr;
    model::SegmentCaptures captures;
};

// The route table first, then the templates without query conditions, then those with them (the
// raw query text judged against their conditions). Empty route when nothing matches.
MatchedRoute find_route(const CoverageMap& map, std::string_view path, std::optional<std::string_view> raw_query);

// Every condition must hold; Capture appends (parameter, raw value). Keys and values are compared
// raw, without percent-decoding or "+" translation.
bool match_query_conditions(const std::vector<model::QueryConstraint>& conditions,
                            std::optional<std::string_view> raw_query, model::SegmentCaptures& captures);

// The text after the first "=" of the first "&"-separated pair whose key is `name`; pairs
// without "=" are skipped.
std::optional<std::string_view> find_raw_query_value(std::string_view raw_query, std::string_view name);

// A path a person wrote, in the path index's form: a text not beginning with "/" is read as a URL
// or path first, then the primary base path is put in front unless it is already there.
std::string resolve_operation_path(const CoverageMap& map, std::string_view path);

}  // namespace vantorel::recorders
