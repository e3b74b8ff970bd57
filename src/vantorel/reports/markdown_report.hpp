#pragma once
// The Markdown report for a pull-request comment: a marker line, a verdict, a coverage summary
// in a code block, tables of untested and tested operations, the specification problems, the
// unmatched requests and a footer. Every text taken from the document or from traffic goes
// through code_span or escape_markdown_text, so no path or name can break a table or inject
// markup.
//
//   MarkdownOptions options;
//   options.columns = kColumnKeywords;
//   std::string text = write_markdown_report(map, options);
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/reports/threshold_result.hpp"

namespace vantorel::reports {

// The count columns of the operation tables, as bits.
inline constexpr std::uint8_t kColumnParameters = 1;
inline constexpr std::uint8_t kColumnKeywords = 2;
inline constexpr std::uint8_t kColumnResponses = 4;
inline constexpr std::uint8_t kColumnExamples = 8;
inline constexpr std::uint8_t kAllColumns = 15;

struct MarkdownOptions {
    std::optional<std::string> report_url;  // inserted unchanged
    std::optional<std::string> sub_text;    // inserted unchanged
    std::vector<ThresholdResult> thresholds;
    double weak_threshold = 1.0;
    std::uint8_t columns = kAllColumns;
    bool is_pull_request = false;
};

// The column bit of a name compared without regard to ASCII case ("Keywords" is keywords), or 0.
std::uint8_t markdown_column(std::string_view name) noexcept;
// "parameters, keywords, responses, examples": the names messages list.
inline constexpr std::string_view kMarkdownColumnNames = "parameters, keywords, responses, examples";

// A broken method map stops the call (deririrore::InternalError).
std::string write_markdown_report(const recorders::CoverageMap& map, const MarkdownOptions& options);

// The text as inline code that is safe inside a table cell: a fence one backtick longer than the
// longest run inside, "|" as "\|", line breaks as blanks.
std::string code_span(std::string_view text);

// The text with Markdown punctuation escaped and line breaks as blanks, safe inside a table cell.
std::string escape_markdown_text(std::string_view text);

}  // namespace vantorel::reports
