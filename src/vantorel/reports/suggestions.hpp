#pragma once
// Suggested requests: for each measured operation and parameter location (each request body
// media type apart), values that would exercise the keyword checks the recorded traffic left
// uncovered. Candidates are built from the schema (its bounds, lengths, enums, consts, examples,
// defaults, formats and types) and then traced through the target's own compiled schema on a
// scratch copy of its coverage state: a request lists only the gaps its trace really covered.
//
//   // with the map's lock held
//   std::vector<Suggestion> suggestions = collect_suggestions(map);
#include <cstddef>
#include <vector>

#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/reports/report_model.hpp"

namespace vantorel::reports {

// Requests shown per suggestion; further ones still needed are counted in `hidden`.
inline constexpr std::size_t kMaxSuggestedRequests = 8;
// Candidates traced per target: beyond it the remaining gaps are "heavy".
inline constexpr std::size_t kMaxSuggestionCandidates = 256;
// A target with more entries than this is not searched ("heavy"): each trace resets them all.
inline constexpr std::size_t kMaxSuggestionEntries = 20000;

// One suggestion per operation (map order, unmeasured operations left out) and location with
// a gap, in target order; body media types each their own.
std::vector<Suggestion> collect_suggestions(const recorders::CoverageMap& map);

}  // namespace vantorel::reports
