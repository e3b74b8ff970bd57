#pragma once
// A snapshot of everything a report tells about one map: fixed texts naming the report format,
// when it was taken, coverage per dimension for the whole map and per label, the document's
// diagnostics, one report per documented operation, the requests that matched nothing and two
// request counters. The JSON report writes it; the Python report data is built from it.
//
//   // with the map's lock held
//   ReportModel model = build_report_model(map);
//   std::string json = write_json_report(model);
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/value.hpp"
#include "http/method.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/reports/diagnostics.hpp"
#include "vantorel/reports/operation_report.hpp"
#include "vantorel/reports/statistics.hpp"

namespace vantorel::reports {

// The product's site, and the JSON Schema of the report on it.
inline constexpr std::string_view kProductSite = "https://vantorel.dev";
inline constexpr std::string_view kReportSchemaUrl = "https://vantorel.dev/schemas/coverage-report.v1.json";
inline constexpr std::string_view kReportVersion = "1.0";
inline constexpr std::string_view kVantorelVersion = VANTOREL_VERSION_TEXT;

struct SuggestionTotals {
    std::uint64_t requests = 0;
    std::uint64_t covered = 0;
    std::uint64_t uncovered = 0;
    friend bool operator==(const SuggestionTotals&, const SuggestionTotals&) = default;
};

struct ReportSummary {
    CoverageRatio operations;
    PartialCoverageRatio parameters;
    PartialCoverageRatio keywords;
    CoverageRatio examples;
    CoverageRatio responses;
    ReachRatio response_keywords;
    std::optional<SuggestionTotals> suggestions;  // never filled by build_report_model
    friend bool operator==(const ReportSummary&, const ReportSummary&) = default;
};

// Suggested requests for one operation and location; the model only carries them.
enum class SuggestionPolarity : std::uint8_t { Valid = 0, Invalid = 1 };
// "valid", "invalid".
std::string_view suggestion_polarity_name(SuggestionPolarity polarity) noexcept;
enum class UncoveredReason : std::uint8_t { Unsupported = 0, Unsatisfiable = 1, Exhausted = 2, Heavy = 3 };
// "unsupported", "unsatisfiable", "exhausted", "heavy".
std::string_view uncovered_reason_name(UncoveredReason reason) noexcept;

struct SuggestionGap {
    std::string parameter;
    std::string pointer;
    SuggestionPolarity polarity = SuggestionPolarity::Valid;
};
struct SuggestedRequest {
    SuggestionPolarity polarity = SuggestionPolarity::Valid;
    deririrore::value::Value value;
    std::vector<std::uint64_t> covers;  // indexes into gaps
};
struct UncoveredGap {
    std::uint64_t gap = 0;
    UncoveredReason reason = UncoveredReason::Unsupported;
};
struct Suggestion {
    std::string method;
    std::string path;
    model::ParameterLocation location = model::ParameterLocation::Query;
    std::optional<std::string> media_type;
    std::vector<SuggestionGap> gaps;
    std::vector<SuggestedRequest> requests;
    std::uint64_t hidden = 0;
    std::vector<UncoveredGap> uncovered;
};

enum class UnmatchedReason : std::uint8_t { NoMatchingPath = 0, MethodNotDocumented = 1 };
// "no_matching_path", "method_not_documented".
std::string_view unmatched_reason_name(std::uint8_t reason) noexcept;

struct UnmatchedGroup {
    http::HttpMethod method = http::HttpMethod::None;
    std::string host;
    std::string path;
    std::uint8_t reason = 0;  // UnmatchedReason
    std::uint64_t count = 0;
    double first_seen_at = 0;
    friend bool operator==(const UnmatchedGroup&, const UnmatchedGroup&) = default;
};

struct ReportModel {
    std::string_view schema_url = kReportSchemaUrl;
    std::string_view version = kReportVersion;
    std::string_view vantorel_version = kVantorelVersion;
    std::optional<std::string> schema_location;
    std::string generated_at;
    ReportSummary summary;
    // By label name, bytewise ascending (std::string's order is exactly that).
    std::map<std::string, ReportSummary> labels;
    std::vector<Diagnostic> diagnostics;
    std::vector<OperationReport> operations;  // map order, unmeasured operations included
    std::vector<UnmatchedGroup> unmatched;
    std::uint64_t unmatched_overflow = 0;
    std::uint64_t dropped_requests = 0;
    std::optional<std::vector<Suggestion>> suggestions;  // never filled by build_report_model
};

// The whole model. A map that breaks its own invariants stops the call
// (deririrore::InternalError).
ReportModel build_report_model(const recorders::CoverageMap& map);

// The map's unmatched-request groups, most frequent first (unmatched_group_less).
std::vector<UnmatchedGroup> collect_unmatched_requests(const recorders::CoverageMap& map);

// One report per documented operation, in map order, unmeasured ones included.
std::vector<OperationReport> build_operation_reports(const recorders::CoverageMap& map);

// Sums the reports of the measured operations into a summary, as the model's summary is made:
// the one place the parameter, keyword and response figures of every report come from.
ReportSummary summarize_operations(const recorders::CoverageMap& map, const UnmeasuredSet& unmeasured);

// Fills every percent of the summary from its counts.
void settle_percents(ReportSummary& summary) noexcept;

// One summary per label of the map's registry, by name: what the label's traffic covered, over
// the map-wide totals of `totals` (the summary of the measured operations). Empty when no label
// was ever recorded.
std::map<std::string, ReportSummary> summarize_labels(const recorders::CoverageMap& map,
                                                      const UnmeasuredSet& unmeasured, const ReportSummary& totals);

// A time as "2025-03-07T09:05:02Z", with ".5", ".000123" (nanoseconds, trailing zeros removed)
// before "Z" when the nanoseconds are not zero.
std::string format_generated_at(std::int64_t unix_seconds, std::uint32_t nanoseconds);
// The current UTC time in that form.
std::string current_generated_at();

}  // namespace vantorel::reports
