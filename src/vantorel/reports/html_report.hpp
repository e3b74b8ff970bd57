#pragma once
// The HTML report: one self-contained page (style, script and icons inline; only the web fonts
// come from a font service, with the system's fonts behind them) showing the summary cards,
// every operation grouped by tag or path with its schemas, responses and examples, the
// specification problems and the unmatched requests. Every text from the document or from
// traffic is escaped for where it stands.
//
//   // with the map's lock held
//   std::string page = write_html_report(map, HtmlReportOptions{});
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/reports/threshold_result.hpp"

namespace vantorel::reports {

struct HtmlReportOptions {
    std::vector<ThresholdResult> thresholds;  // the report methods pass none
    std::optional<std::string> title;         // "Vantorel Report" when absent
};

inline constexpr std::string_view kDefaultHtmlTitle = "Vantorel Report";

struct SummaryCard {
    enum class State : std::uint8_t { Neutral = 0, Uncovered = 1, Covered = 2, Partial = 3 };
    State state = State::Neutral;
    double shown_percent = 0;  // partial cards: the percentage rounded down to one decimal
    bool has_figures = false;
    bool long_figures = false;  // covered and total have more than eight digits together
    std::uint64_t covered = 0;
    std::uint64_t total = 0;
    std::string_view text;  // the unit word with figures, else the empty-state text
    std::string_view state_class;
    double percent = 0;  // unrounded; 0 for neutral and uncovered cards
};

SummaryCard build_summary_card(std::uint64_t covered, std::uint64_t total, std::string_view unit,
                               std::string_view empty_text);

// The page, stamped with the current time.
std::string write_html_report(const recorders::CoverageMap& map, const HtmlReportOptions& options);
// The page as of the given time (seconds since the Unix epoch), for reproducible output.
std::string write_html_report_at(const recorders::CoverageMap& map, const HtmlReportOptions& options,
                                 std::int64_t unix_seconds);

// "info", "success", "redirect", "client", "server" by the first digit, else "default".
std::string_view response_class(std::string_view status);
// The standard reason phrase of common statuses; empty for the others.
std::string_view reason_phrase(std::uint16_t status);
// Where an example of a body schema sits, in words: user.name.example, examples[1], example.
std::string body_example_source(std::string_view location);
// The group an operation is listed under: its first non-blank tag, else the first path segment
// that is no version, "api" or template segment (lower-cased), else "other".
std::string operation_group_name(const std::vector<std::string>& tags, std::string_view path);

}  // namespace vantorel::reports
