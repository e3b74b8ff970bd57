#pragma once
// The terminal reports: a table of parameter coverage per operation with a TOTAL row, fitted to
// the terminal width, then the parameters no request carried, the specification problems and the
// unmatched requests; and the compact per-metric summary. Built under the map's lock; every text
// taken from the document or from traffic is made terminal-safe first.
//
//   std::string text = write_text_report(map, TextReportOptions{.width = 100});
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vantorel/recorders/coverage_map.hpp"

namespace vantorel::reports {

// Widest terminal the report is laid out for. Rules and the first column are `width` long, so a
// larger width would only allocate blanks; callers refuse it before locking the map.
inline constexpr std::uint64_t kMaxTextReportWidth = 65535;

// The message a width beyond kMaxTextReportWidth is refused with (a ValueError in Python), or
// none for a usable width.
std::optional<std::string> text_report_width_error(std::uint64_t width);

struct TextReportOptions {
    std::uint64_t width = 80;
    bool show_missing = false;
    bool colored = true;
    bool skip_covered = false;
    bool skip_empty = false;
};

// The report. A width above kMaxTextReportWidth is laid out as kMaxTextReportWidth. A broken
// method map stops the call (deririrore::InternalError).
std::string write_text_report(const recorders::CoverageMap& map, const TextReportOptions& options);

// The compact summary: one line per metric (label, covered/total, percentage, partial count),
// then the unmatched-request and specification-problem counts when there are any; no final line
// break.
std::string write_text_summary(const recorders::CoverageMap& map, bool colored);

// n in decimal, painted when colour is not 0.
std::string format_count_cell(std::uint64_t n, std::uint8_t colour);
// The percentage with two decimals (exact value of the double, ties to even) and "%", or "-";
// painted when colour is not 0.
std::string format_cover_cell(bool has_percent, double percent, std::uint8_t colour);
// Whole tenths of a percent as "{}.{}%" (833 is 83.3%); "-" when absent.
std::string format_tenths_percent(std::optional<std::uint64_t> tenths);

}  // namespace vantorel::reports
