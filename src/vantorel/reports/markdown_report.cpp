#include "vantorel/reports/markdown_report.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "vantorel/reports/diagnostic_texts.hpp"
#include "vantorel/reports/diagnostics.hpp"
#include "vantorel/reports/operation_report.hpp"
#include "vantorel/reports/orderings.hpp"
#include "vantorel/reports/report_model.hpp"
#include "vantorel/reports/statistics.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::reports {
namespace {

struct OperationRow {
    std::string_view method;
    std::string_view path;
    std::uint64_t hits = 0;
    std::uint64_t parameters_full = 0;
    std::uint64_t parameters = 0;
    std::uint64_t parameters_seen = 0;
    std::uint64_t keywords_full = 0;
    std::uint64_t keywords_covered = 0;
    std::uint64_t keywords = 0;
    std::uint64_t responses_hit = 0;
    std::uint64_t responses = 0;
    std::uint64_t examples_covered = 0;
    std::uint64_t examples = 0;
};

struct Totals {
    std::uint64_t operations = 0;
    std::uint64_t operations_hit = 0;
    std::uint64_t parameters_full = 0;
    std::uint64_t parameters_seen = 0;
    std::uint64_t parameters = 0;
    std::uint64_t keywords_full = 0;
    std::uint64_t keywords_covered = 0;
    std::uint64_t keywords = 0;
    std::uint64_t responses_hit = 0;
    std::uint64_t responses = 0;
    std::uint64_t examples_covered = 0;
    std::uint64_t examples = 0;
};

// Parameters, keywords and examples counted by the one standing rule every report shares.
void count_target(const model::ParameterTarget& target, OperationRow& row) {
    row.parameters += 1;
    const ParameterTally tally = tally_parameter(target.holder.state.get());
    const ParameterStanding standing = tally.standing();
    if (standing != ParameterStanding::Unreached) row.parameters_seen += 1;
    if (standing == ParameterStanding::Covered) row.parameters_full += 1;
    row.keywords += tally.counted;
    row.keywords_full += tally.covered;
    row.keywords_covered += tally.covered + tally.partial;
    row.examples += tally.examples;
    row.examples_covered += tally.examples_seen;
}

double ratio(const OperationRow& row) {
    return static_cast<double>(row.parameters_full) / static_cast<double>(row.parameters);
}

bool is_weak(const OperationRow& row, double weak_threshold) {
    return row.parameters > 0 && ratio(row) < weak_threshold;
}

int tested_class(const OperationRow& row, double weak_threshold) {
    if (row.parameters == 0) return 3;
    if (row.parameters_full == 0) return 0;
    if (ratio(row) < weak_threshold) return 1;
    return 2;
}

// Stable in every case; the insertion sort keeps small tables free of allocation.
template <class Less>
void stable_sort_rows(std::vector<const OperationRow*>& rows, Less less) {
    if (rows.size() <= 20) {
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const OperationRow* item = rows[i];
            std::size_t j = i;
            while (j > 0 && less(item, rows[j - 1])) {
                rows[j] = rows[j - 1];
                --j;
            }
            rows[j] = item;
        }
    } else {
        std::stable_sort(rows.begin(), rows.end(), less);
    }
}

std::string shortest(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string right_aligned(std::string_view text, std::size_t width) {
    std::string out;
    if (text.size() < width) out.append(width - text.size(), ' ');
    out += text;
    return out;
}

std::uint64_t round_half_away(double value) {
    if (!(value > 0)) return 0;
    return static_cast<std::uint64_t>(std::round(value));
}

std::string_view noun(std::uint64_t n, std::string_view one, std::string_view many) { return n == 1 ? one : many; }

void write_verdict(std::string& out, std::uint64_t rows, std::uint64_t untested, std::uint64_t weak,
                   const Totals& totals, bool pr) {
    const std::string t = std::to_string(rows);
    const std::string_view n = noun(rows, "operation", "operations");
    if (rows == 0) {
        out += "## No operations to measure.\n";
    } else if (untested == rows) {
        out += pr ? "## Merging this PR will leave all " : "## All ";
        out += t + " " + std::string(n) + " untested. Please review.\n";
    } else if (untested > 0) {
        out += pr ? "## Merging this PR will leave " : "## ";
        out += std::to_string(untested) + " of " + t + " " + std::string(n) + " untested. Please review.\n";
    } else if (totals.parameters > 0 && totals.parameters_full == 0) {
        out += pr ? "## Merging this PR leaves all " : "## All ";
        out += t + " " + std::string(n) + " tested - but 0% parameter coverage. Please review.\n";
    } else if (weak > 0) {
        out += pr ? "## Merging this PR leaves all " : "## All ";
        out +=
            t + " " + std::string(n) + " tested - " + std::to_string(weak) + " with partial coverage. Please review.\n";
    } else {
        out += "## All " + t + " " + std::string(n) + " tested.\n";
    }
}

std::string threshold_summary(const std::vector<ThresholdResult>& thresholds) {
    std::uint64_t missed = 0;
    for (const ThresholdResult& t : thresholds) {
        if (t.actual && !(*t.actual >= t.minimum)) missed += 1;
    }
    const std::uint64_t n = thresholds.size();
    if (missed == 0) return n == 1 ? "1 threshold met" : std::to_string(n) + " thresholds met";
    if (missed == 1 && n == 1) return "1 threshold missed";
    if (missed == n) return std::to_string(missed) + " thresholds missed";
    return std::to_string(missed) + " of " + std::to_string(n) + " thresholds missed";
}

struct Metric {
    std::string_view label;
    std::uint64_t covered;
    std::uint64_t total;
    std::uint8_t column;  // 0: always shown
    Dimension dimension;
};

void write_summary_block(std::string& out, const Totals& totals, const MarkdownOptions& options) {
    const std::array<Metric, 5> metrics{{
        {"Operations  ", totals.operations_hit, totals.operations, 0, Dimension::Operations},
        {"Parameters  ", totals.parameters_full, totals.parameters, kColumnParameters, Dimension::Parameters},
        {"Keywords    ", totals.keywords_full, totals.keywords, kColumnKeywords, Dimension::Keywords},
        {"Responses   ", totals.responses_hit, totals.responses, kColumnResponses, Dimension::Responses},
        {"Examples    ", totals.examples_covered, totals.examples, kColumnExamples, Dimension::Examples},
    }};
    struct Shown {
        const Metric* metric;
        const ThresholdResult* threshold;
    };
    std::vector<Shown> shown;
    for (const Metric& metric : metrics) {
        const ThresholdResult* threshold = nullptr;
        for (const ThresholdResult& t : options.thresholds) {
            if (t.dimension == metric.dimension) {
                threshold = &t;
                break;
            }
        }
        if (metric.column == 0 || (options.columns & metric.column) != 0 || threshold != nullptr) {
            shown.push_back({&metric, threshold});
        }
    }
    std::size_t ratio_width = 0;
    for (const Shown& s : shown) {
        if (s.metric->total == 0) continue;
        ratio_width =
            std::max(ratio_width, (std::to_string(s.metric->covered) + "/" + std::to_string(s.metric->total)).size());
    }
    if (ratio_width == 0) ratio_width = 1;
    out += "```\n";
    for (const Shown& s : shown) {
        const Metric& m = *s.metric;
        out += m.label;
        if (m.total > 0) {
            const double share = static_cast<double>(m.covered) / static_cast<double>(m.total) * 20.0;
            const std::uint64_t filled = std::min<std::uint64_t>(round_half_away(share), 20);
            for (std::uint64_t i = 0; i < 20; ++i) out += i < filled ? "█" : "░";
            out += "  ";
            out += right_aligned(std::to_string(m.covered) + "/" + std::to_string(m.total), ratio_width);
            out += "  ";
            std::string percent;
            if (s.threshold != nullptr && s.threshold->actual) {
                percent = shortest(std::floor(*s.threshold->actual * 10.0) / 10.0);
            } else {
                percent = std::to_string(
                    round_half_away(static_cast<double>(m.covered) * 100.0 / static_cast<double>(m.total)));
            }
            out += right_aligned(percent, 4);
            out += '%';
        } else {
            for (int i = 0; i < 20; ++i) out += "░";
            out += "  ";
            out += right_aligned("-", ratio_width);
            if (s.threshold != nullptr) out += "       ";
        }
        if (s.threshold != nullptr) {
            out += "  min ";
            out += shortest(s.threshold->minimum);
            out += '%';
        }
        out += '\n';
    }
    out += "```\n";
}

void write_table_header(std::string& out, std::uint8_t columns) {
    out += "| | Method | Path";
    if (columns & kColumnParameters) out += " | Parameters";
    if (columns & kColumnKeywords) out += " | Keywords";
    if (columns & kColumnResponses) out += " | Responses";
    if (columns & kColumnExamples) out += " | Examples";
    out += " |\n|:---:|--------|------";
    for (std::uint8_t bit : {kColumnParameters, kColumnKeywords, kColumnResponses, kColumnExamples}) {
        if (columns & bit) out += "|:---:";
    }
    out += "|\n";
}

std::string_view row_mark(const OperationRow& row, double weak_threshold) {
    if (row.parameters == 0) return "🟢";
    if (row.parameters_full == 0) return "🔴";
    if (ratio(row) < weak_threshold) return "🟡";
    return "🟢";
}

void write_row(std::string& out, const OperationRow& row, bool untested, const MarkdownOptions& options) {
    out += "| ";
    out += untested ? std::string_view("❌") : row_mark(row, options.weak_threshold);
    out += " | `";
    out += row.method;
    out += "` | ";
    out += code_span(row.path);
    const auto cell = [&](std::uint64_t covered, std::uint64_t total) {
        out += " | ";
        out += std::to_string(untested ? 0 : covered);
        out += '/';
        out += std::to_string(total);
    };
    if (options.columns & kColumnParameters) cell(row.parameters_full, row.parameters);
    if (options.columns & kColumnKeywords) cell(row.keywords_full, row.keywords);
    if (options.columns & kColumnResponses) cell(row.responses_hit, row.responses);
    if (options.columns & kColumnExamples) cell(row.examples_covered, row.examples);
    out += " |\n";
}

void write_rows_section(std::string& out, const std::vector<const OperationRow*>& rows, bool untested,
                        const MarkdownOptions& options) {
    const std::size_t n = rows.size();
    out += '\n';
    write_table_header(out, options.columns);
    for (std::size_t i = 0; i < std::min<std::size_t>(n, 10); ++i) write_row(out, *rows[i], untested, options);
    if (n > 10) {
        const std::size_t m = std::min<std::size_t>(n - 10, 40);
        out += "\n<details>\n<summary>";
        out += std::to_string(m);
        out += " more</summary>\n\n";
        write_table_header(out, options.columns);
        for (std::size_t i = 10; i < 10 + m; ++i) write_row(out, *rows[i], untested, options);
        out += "\n</details>\n";
    }
    if (n > 50) {
        out += "\n… and ";
        out += std::to_string(n - 50);
        out += " more";
        if (options.report_url) {
            out += " - [view full report](";
            out += *options.report_url;
            out += ')';
        }
        out += '\n';
    }
}

std::string markdown_pieces(const std::vector<TextPiece>& pieces) {
    std::string out;
    for (const TextPiece& piece : pieces) out += piece.code ? code_span(piece.text) : piece.text;
    return out;
}

void write_diagnostics(std::string& out, const recorders::CoverageMap& map) {
    const std::vector<Diagnostic> diagnostics = collect_diagnostics(map);
    const DiagnosticGroups groups = group_diagnostics(diagnostics);
    if (groups.groups.empty()) return;
    out += "---\n\n### ⚠️ Specification problems (";
    if (groups.error_count > 0) {
        out += std::to_string(groups.error_count);
        out += groups.error_count == 1 ? " error" : " errors";
    }
    if (groups.warning_count > 0) {
        if (groups.error_count > 0) out += ", ";
        out += std::to_string(groups.warning_count);
        out += groups.warning_count == 1 ? " warning" : " warnings";
    }
    out += ")\n\n> ";
    if (groups.warning_count == 0) {
        out += "**Coverage is missing where these appear** - each entry says what is affected.";
    } else if (groups.error_count == 0) {
        out += "**Coverage may be incomplete or misleading where these appear** - each entry says what is affected.";
    } else {
        out +=
            "**Coverage is missing, incomplete or misleading where these appear** - each entry says what is "
            "affected.";
    }
    out += "\n\n";
    for (const DiagnosticGroup& group : groups.groups) {
        out += "<details><summary><b>";
        out += group.text.title;
        out += "</b> - ";
        out += group.text.impact;
        out += " (";
        out += std::to_string(group.count);
        out += ")</summary>\n\n";
        out += markdown_pieces(group.text.fix_pieces);
        out += "\n\n| Detail | Method | Path | In |\n|--------|--------|------|----|\n";
        for (const GroupMember& member : group.members) {
            for (std::size_t d = 0; d < member.diagnostics.size(); ++d) {
                const PositionTrail trail = position_trail(member.diagnostics[d]->at);
                out += "| ";
                if (d == 0 && !member.subject.empty()) out += code_span(member.subject);
                out += " | ";
                if (trail.method != http::HttpMethod::None) {
                    out += '`';
                    out += http::method_name(trail.method);
                    out += '`';
                }
                out += " | ";
                if (trail.path) out += code_span(*trail.path);
                out += " | ";
                std::string words;
                for (std::size_t i = 0; i < trail.parts.size(); ++i) {
                    if (i > 0) words += " / ";
                    words += trail.parts[i];
                }
                out += escape_markdown_text(words);
                out += " |\n";
            }
        }
        out += '\n';
        if (group.hidden > 0) {
            out += "_... and ";
            out += std::to_string(group.hidden);
            out += " more of this kind_\n\n";
        }
        out += "</details>\n\n";
    }
}

void write_unmatched(std::string& out, const recorders::CoverageMap& map) {
    const std::vector<UnmatchedGroup> groups = collect_unmatched_requests(map);
    if (groups.empty() && map.dropped_requests == 0) return;
    std::uint64_t requests = 0;
    for (const UnmatchedGroup& group : groups) {
        requests = requests > UINT64_MAX - group.count ? UINT64_MAX : requests + group.count;
    }
    out += "---\n\n### 🔍 Unmatched requests (";
    out += std::to_string(groups.size());
    out += ")\n\n> **Not counted in coverage above** - ";
    out += std::to_string(requests);
    out += requests == 1 ? " request" : " requests";
    out += " matched no documented operation.\n\n";
    out += "| Method | Host | Path | Reason | Count |\n|--------|------|------|--------|:---:|\n";
    for (std::size_t i = 0; i < std::min<std::size_t>(groups.size(), 10); ++i) {
        const UnmatchedGroup& group = groups[i];
        out += "| `";
        out += http::method_name(group.method);
        out += "` | ";
        out += code_span(group.host);
        out += " | ";
        out += code_span(group.path);
        out += " | ";
        out += group.reason == static_cast<std::uint8_t>(UnmatchedReason::MethodNotDocumented) ? "method not documented"
                                                                                               : "no matching path";
        out += " | ";
        out += std::to_string(group.count);
        out += " |\n";
    }
    out += '\n';
    if (groups.size() > 10) {
        out += "_... and ";
        out += std::to_string(groups.size() - 10);
        out += " more groups_\n\n";
    }
    if (map.unmatched.overflow() != 0) {
        out += '_';
        out += std::to_string(map.unmatched.overflow());
        out += " further requests not tracked._\n\n";
    }
    if (map.dropped_requests != 0) {
        out += '_';
        out += std::to_string(map.dropped_requests);
        out += " requests dropped before matching: unparsable URL or unknown method._\n\n";
    }
}

bool ascii_iequals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::uint8_t markdown_column(std::string_view name) noexcept {
    if (ascii_iequals(name, "parameters")) return kColumnParameters;
    if (ascii_iequals(name, "keywords")) return kColumnKeywords;
    if (ascii_iequals(name, "responses")) return kColumnResponses;
    if (ascii_iequals(name, "examples")) return kColumnExamples;
    return 0;
}

std::string code_span(std::string_view text) {
    std::size_t longest = 0;
    std::size_t run = 0;
    for (char c : text) {
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    const std::string fence(longest + 1, '`');
    if (text.empty()) return fence + fence;
    const bool pad = text.front() == '`' || text.back() == '`';
    std::string out = fence;
    if (pad) out += ' ';
    for (char c : text) {
        if (c == '|') {
            out += "\\|";
        } else if (c == '\r' || c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    if (pad) out += ' ';
    out += fence;
    return out;
}

std::string escape_markdown_text(std::string_view text) {
    constexpr std::string_view kEscaped = "&*<>[\\]_`";
    if (text.find_first_of("&*<>[\\]_|`\r\n") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '|') {
            out += "\\|";
        } else if (c == '\r' || c == '\n') {
            out += ' ';
        } else {
            if (kEscaped.find(c) != std::string_view::npos) out += '\\';
            out += c;
        }
    }
    return out;
}

std::string write_markdown_report(const recorders::CoverageMap& map, const MarkdownOptions& options) {
    const UnmeasuredSet unmeasured = unmeasured_operations(map);
    std::vector<OperationRow> rows;
    Totals totals;
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            if (is_unmeasured(unmeasured, entry.route, item.method)) continue;
            const model::OperationRecord& op = item.record;
            OperationRow row;
            row.method = http::method_name(item.method);
            row.path = entry.route;
            row.hits = op.hits;
            for (const model::ParameterTarget& target : op.parameters) count_target(target, row);
            const auto count_response = [&](const model::ResponseTarget& response) {
                row.responses += 1;
                if (response.hits != 0) row.responses_hit += 1;
            };
            for (const model::ResponseTarget& response : op.responses) count_response(response);
            if (op.has_default_response) count_response(op.default_response);
            totals.operations += 1;
            if (row.hits > 0) totals.operations_hit += 1;
            totals.parameters_full += row.parameters_full;
            totals.parameters_seen += row.parameters_seen;
            totals.parameters += row.parameters;
            totals.keywords_full += row.keywords_full;
            totals.keywords_covered += row.keywords_covered;
            totals.keywords += row.keywords;
            totals.responses_hit += row.responses_hit;
            totals.responses += row.responses;
            totals.examples_covered += row.examples_covered;
            totals.examples += row.examples;
            rows.push_back(row);
        }
    }

    std::vector<const OperationRow*> untested;
    std::vector<const OperationRow*> tested;
    std::uint64_t weak = 0;
    for (const OperationRow& row : rows) {
        if (row.hits == 0) {
            untested.push_back(&row);
        } else {
            tested.push_back(&row);
            if (is_weak(row, options.weak_threshold)) weak += 1;
        }
    }
    stable_sort_rows(untested, [](const OperationRow* a, const OperationRow* b) {
        return compare_by_method_rank(a->method, a->path, b->method, b->path);
    });
    const double threshold = options.weak_threshold;
    stable_sort_rows(tested, [threshold](const OperationRow* a, const OperationRow* b) {
        const int ca = tested_class(*a, threshold);
        const int cb = tested_class(*b, threshold);
        if (ca != cb) return ca < cb;
        return a->path < b->path;
    });

    std::string out = "<!-- vantorel-coverage-report -->\n";
    write_verdict(out, rows.size(), untested.size(), weak, totals, options.is_pull_request);
    out += '\n';
    if (!options.thresholds.empty()) {
        out += "**";
        out += threshold_summary(options.thresholds);
        out += "**\n\n";
    }

    const std::uint64_t strong = tested.size() - weak;
    if (untested.empty() && weak == 0) {
        out += "`✅ " + std::to_string(strong) + "` tested\n";
    } else {
        if (!untested.empty()) out += "`❌ " + std::to_string(untested.size()) + "` untested  \n";
        if (weak > 0) {
            const bool red =
                0 < options.weak_threshold && std::any_of(tested.begin(), tested.end(), [](const OperationRow* r) {
                    return r->parameters > 0 && r->parameters_full == 0;
                });
            out += "`";
            out += red ? "🔴" : "🟡";
            out += " " + std::to_string(weak) + "` partial  \n";
        }
        if (strong > 0) out += "`✅ " + std::to_string(strong) + "` tested\n";
    }
    out += '\n';

    write_summary_block(out, totals, options);
    if (totals.parameters > 0 && totals.parameters_full == 0) {
        out += "> ⚠️ **Parameter coverage is 0%** - " + std::to_string(totals.parameters) + " parameter";
        if (totals.parameters != 1) out += 's';
        out += totals.parameters_seen == 0 ? " defined but none were tested.\n" : " defined but none fully covered.\n";
    }
    if (totals.keywords > 0 && totals.keywords_full == 0) {
        out += "> ⚠️ **Keyword coverage is 0%** - " + std::to_string(totals.keywords) + " keyword";
        if (totals.keywords != 1) out += 's';
        out += totals.keywords_covered == 0 ? " defined but none were tested.\n" : " defined but none fully covered.\n";
    }
    out += '\n';

    if (!untested.empty()) {
        out += "---\n\n### ❌ Untested (" + std::to_string(untested.size()) + ")\n";
        write_rows_section(out, untested, true, options);
        out += '\n';
    }
    if (!tested.empty()) {
        bool has0 = false;
        bool has1 = false;
        for (const OperationRow* row : tested) {
            const int c = tested_class(*row, threshold);
            has0 |= c == 0;
            has1 |= c == 1;
        }
        out += "### ";
        out += has0 ? "🔴" : has1 ? "🟡" : "🟢";
        out += " Tested (" + std::to_string(tested.size()) + ")\n";
        write_rows_section(out, tested, false, options);
        out += '\n';
    }
    write_diagnostics(out, map);
    write_unmatched(out, map);

    out += "---\n\n";
    if (options.report_url) {
        out += "📊 [View full report](";
        out += *options.report_url;
        out += ") | ";
    }
    out += "Powered by [Vantorel](";
    out += kProductSite;
    out += ") v";
    out += kVantorelVersion;
    out += '\n';
    if (options.sub_text) {
        out += "\n<sub>";
        out += *options.sub_text;
        out += "</sub>\n";
    }
    return out;
}

}  // namespace vantorel::reports
