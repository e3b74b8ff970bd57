#pragma once
// Tracing of the non-body parameters of a matched request: the query string parsed once per
// interaction, then, per parameter target, its raw text found (path capture, query, header,
// Cookie header, whole query string), decoded into one or more candidate values by the target's
// type mask and style, each candidate traced, and one hit counted. A parameter the request does
// not carry is neither traced nor counted.
//
//   ParsedQuery query;
//   parse_query_string(query, request.url.query(), operation_has_deep_object);
//   for (ParameterTarget& target : operation.parameters)
//       trace_parameter(path_params, request, query, target, nullptr, interaction.timestamp);
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/value.hpp"
#include "http/interaction.hpp"
#include "multipart/parameter_values.hpp"
#include "vantorel/model/parameter_target.hpp"
#include "vantorel/model/path_templates.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::recorders {

using deririrore::value::Value;
using multipart::ValueCandidates;

// The path captures of the matched route, (name, value) in route order; values are the text of
// the normalised path, percent-escapes still encoded.
using PathParams = model::SegmentCaptures;
// Documented parameter names to the names the route captured them under (the import's shadowed
// templates); null when names are used as they stand.
using ParameterNameMap = std::map<std::string, std::string, std::less<>>;

// The decoded query of one interaction. `params` keeps names in first-appearance order with all
// their values; `deep_params` holds "base[member]" names by base and member when asked for.
// Ordered maps keep lookups free of hash seeds and of collisions an attacker could choose.
struct ParsedQuery {
    std::vector<std::pair<std::string, std::vector<std::string>>> params;
    std::map<std::string, std::size_t, std::less<>> index;  // name to its place in `params`
    std::map<std::string, std::map<std::string, std::vector<std::string>, std::less<>>, std::less<>> deep_params;

    const std::vector<std::string>* find(std::string_view name) const;
};

// `query` is the URL's query without "?"; none leaves the maps empty.
void parse_query_string(ParsedQuery& parsed, std::optional<std::string_view> query, bool collect_deep_objects);

// The captured text of the documented parameter `name`, looked up under the name `names` maps it to.
std::optional<std::string_view> path_param_value(const PathParams& params, std::string_view name,
                                                 const ParameterNameMap* names);

// Dotted names ("id.0", "filter.size.min") nested deeper than this give no value.
inline constexpr std::size_t kMaxDottedDepth = 64;

// The candidates a path, query, header or cookie target is traced with: none when the request
// does not carry the parameter; present and empty when it does but its text is undecodable (a
// dotted name nested beyond kMaxDottedDepth), which still counts a hit.
std::optional<ValueCandidates> parameter_candidates(const PathParams& path_params, const http::RequestRecord& request,
                                                    const ParsedQuery& query, const model::ParameterTarget& target,
                                                    const ParameterNameMap* names);

// Traces every candidate into the target's holder, then counts the hit and sets covered_at when
// the state has just become all covered. Querystring targets trace the whole query as a body of
// their media type; request-body targets are traced by the body dispatch, not here.
void trace_parameter(const PathParams& path_params, const http::RequestRecord& request, const ParsedQuery& query,
                     model::ParameterTarget& target, const ParameterNameMap* names, double time);

// Traces the candidates into the holder and counts one hit (covered_at as above).
void trace_candidates(model::ParameterTarget& target, const ValueCandidates& candidates, double time);

// One pass of the state's "/type" entry, for values with no JSON form (Swagger 2.0 files); the
// state's all_covered and the holder's covered_at follow at once.
void record_type_pass(zavova::CoverageHolder& holder, double time);

// The decoding specification the target was built with.
multipart::DecodeSpec target_decode_spec(const model::ParameterTarget& target);

// Form-urlencoded decoding of one name or value: "+" as space, percent-escapes, UTF-8 with
// replacement. `plus_as_space` off gives path decoding.
std::string percent_decode(std::string_view text, bool plus_as_space);

}  // namespace vantorel::recorders
