#include "vantorel/reports/text_report.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/utf8.hpp"
#include "vantorel/reports/diagnostic_texts.hpp"
#include "vantorel/reports/diagnostics.hpp"
#include "vantorel/reports/operation_report.hpp"
#include "vantorel/reports/report_model.hpp"
#include "vantorel/reports/statistics.hpp"
#include "vantorel/reports/text_table.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::reports {
namespace {

using model::ParameterLocation;

enum class TargetClass : std::uint8_t { Missed, Partial, Covered };

// The one standing rule every report and statistic shares.
TargetClass classify(const model::ParameterTarget& target) {
    switch (tally_parameter(target.holder.state.get()).standing()) {
        case ParameterStanding::Unreached:
            return TargetClass::Missed;
        case ParameterStanding::Partial:
            return TargetClass::Partial;
        case ParameterStanding::Covered:
            break;
    }
    return TargetClass::Covered;
}

struct Counts {
    std::uint64_t missed = 0;
    std::uint64_t partial = 0;
    std::uint64_t covered = 0;
    std::uint64_t total() const noexcept { return missed + partial + covered; }
};

struct Row {
    bool has_percent = false;
    double percent = 0;
    std::uint8_t colour = 0;
    bool is_total = false;
    http::HttpMethod method = http::HttpMethod::None;
    std::string_view path;
    Counts counts;
};

Row make_row(const Counts& counts, bool colored) {
    Row row;
    row.counts = counts;
    const std::uint64_t total = counts.total();
    if (total > 0) {
        row.has_percent = true;
        row.percent = static_cast<double>(counts.covered) * 100.0 / static_cast<double>(total);
        if (colored) {
            if (std::fabs(row.percent - 100.0) < 0x1p-52) {
                row.colour = kGreen;
            } else if (row.percent >= 80.0) {
                row.colour = kYellow;
            } else {
                row.colour = kRed;
            }
        }
    }
    return row;
}

std::string operation_label(http::HttpMethod method, std::string_view path) {
    std::string label(http::method_name(method));
    label += ' ';
    label += path;
    return terminal_safe(label);
}

// Characters (Unicode scalar values; a stray byte counts as one).
std::size_t char_count(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++n) i += deririrore::value::read_utf8_sequence(text, i).length;
    return n;
}

std::string_view first_chars(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < text.size(); ++n)
        i += deririrore::value::read_utf8_sequence(text, i).length;
    return text.substr(0, i);
}

// Pads to `width` characters.
void append_padded(std::string& out, std::string_view text, std::size_t width, bool right) {
    const std::size_t n = char_count(text);
    const std::size_t fill = n < width ? width - n : 0;
    if (right) out.append(fill, ' ');
    out += text;
    if (!right) out.append(fill, ' ');
}

struct UnmatchedCells {
    std::string method, host, path, reason, count;
};

void write_unmatched_row(std::string& out, const UnmatchedCells& cells, const std::array<std::size_t, 5>& widths) {
    const std::size_t start = out.size();
    append_padded(out, cells.method, widths[0], false);
    out += "  ";
    append_padded(out, cells.host, widths[1], false);
    out += "  ";
    append_padded(out, cells.path, widths[2], false);
    out += "  ";
    append_padded(out, cells.reason, widths[3], false);
    out += "  ";
    append_padded(out, cells.count, widths[4], true);
    while (out.size() > start && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    out += '\n';
}

std::string_view reason_text(std::uint8_t reason) {
    return reason == static_cast<std::uint8_t>(UnmatchedReason::MethodNotDocumented) ? "method not documented"
                                                                                     : "no matching path";
}

std::string plural_count(std::uint64_t n, std::string_view noun) {
    std::string out = std::to_string(n);
    out += ' ';
    out += noun;
    if (n != 1) out += 's';
    return out;
}

std::string severity_counts(const DiagnosticGroups& groups) {
    std::string out;
    if (groups.error_count > 0) out += plural_count(groups.error_count, "error");
    if (groups.warning_count > 0) {
        if (!out.empty()) out += ", ";
        out += plural_count(groups.warning_count, "warning");
    }
    return out;
}

std::string diagnostic_location(const Diagnostic& diagnostic) {
    const PositionTrail trail = position_trail(diagnostic.at);
    std::string words;
    for (std::size_t i = 0; i < trail.parts.size(); ++i) {
        if (i > 0) words += " / ";
        words += trail.parts[i];
    }
    if (!trail.path) return words;
    std::string out;
    if (trail.method != http::HttpMethod::None) {
        out += http::method_name(trail.method);
        out += ' ';
    }
    out += *trail.path;
    if (!words.empty()) {
        out += "  ";
        out += words;
    }
    return out;
}

void write_problems(std::string& out, const recorders::CoverageMap& map, std::uint64_t width) {
    const std::vector<Diagnostic> diagnostics = collect_diagnostics(map);
    const DiagnosticGroups groups = group_diagnostics(diagnostics);
    if (groups.groups.empty()) return;
    out += "\n\nSpecification problems (";
    out += severity_counts(groups);
    out += ")\n";
    out.append(width, '-');
    out += '\n';
    for (std::size_t g = 0; g < groups.groups.size(); ++g) {
        const DiagnosticGroup& group = groups.groups[g];
        if (g > 0) out += '\n';
        out += group.text.title;
        out += " - ";
        out += group.text.impact;
        out += " (";
        out += std::to_string(group.count);
        out += ")\n    ";
        out += terminal_safe(group.text.fix);
        out += '\n';
        const std::size_t shown = std::min<std::size_t>(group.members.size(), 3);
        for (std::size_t m = 0; m < shown; ++m) {
            const GroupMember& member = group.members[m];
            if (!member.subject.empty()) {
                out += "    ";
                out += terminal_safe(member.subject);
                out += '\n';
            }
            const std::size_t n = member.diagnostics.size();
            for (std::size_t d = 0; d < std::min<std::size_t>(n, 3); ++d) {
                out += "        ";
                out += terminal_safe(diagnostic_location(*member.diagnostics[d]));
                out += '\n';
            }
            if (n > 3) {
                out += "        ... and ";
                out += std::to_string(n - 3);
                out += " more\n";
            }
        }
        const std::uint64_t more = (group.members.size() > 3 ? group.members.size() - 3 : 0) + group.hidden;
        if (more != 0) {
            out += "    ... and ";
            out += std::to_string(more);
            out += " more of this kind\n";
        }
    }
}

void write_unmatched(std::string& out, const recorders::CoverageMap& map, std::uint64_t width) {
    const std::vector<UnmatchedGroup> groups = collect_unmatched_requests(map);
    if (groups.empty() && map.dropped_requests == 0) return;
    out += "\n\nUnmatched requests (not counted in coverage above)\n";
    out.append(width, '-');
    out += '\n';
    const std::size_t shown = std::min<std::size_t>(groups.size(), 10);
    std::vector<UnmatchedCells> rows;
    rows.reserve(shown);
    std::array<std::size_t, 5> widths{6, 4, 4, shown == 0 ? std::size_t{6} : std::size_t{0}, 5};
    for (std::size_t i = 0; i < shown; ++i) {
        const UnmatchedGroup& group = groups[i];
        UnmatchedCells cells{std::string(http::method_name(group.method)), terminal_safe(group.host),
                             terminal_safe(group.path), std::string(reason_text(group.reason)),
                             std::to_string(group.count)};
        widths[0] = std::max(widths[0], char_count(cells.method));
        widths[1] = std::max(widths[1], char_count(cells.host));
        widths[2] = std::max(widths[2], char_count(cells.path));
        widths[3] = std::max(widths[3], char_count(cells.reason));
        widths[4] = std::max(widths[4], cells.count.size());
        rows.push_back(std::move(cells));
    }
    const std::uint64_t others = widths[0] + widths[1] + widths[3] + widths[4] + 8;
    const std::uint64_t room = width > others ? width - others : 0;
    widths[2] = static_cast<std::size_t>(std::min<std::uint64_t>(widths[2], room));
    write_unmatched_row(out, {"Method", "Host", "Path", "Reason", "Count"}, widths);
    out.append(width, '-');
    out += '\n';
    for (UnmatchedCells& cells : rows) {
        if (widths[2] >= 8 && char_count(cells.path) > widths[2]) {
            cells.path = std::string(first_chars(cells.path, widths[2] - 3)) + "...";
        }
        write_unmatched_row(out, cells, widths);
    }
    if (groups.size() > 10) {
        out += "... and ";
        out += std::to_string(groups.size() - 10);
        out += " more groups\n";
    }
    if (map.unmatched.overflow() > 0) {
        out += "(";
        out += std::to_string(map.unmatched.overflow());
        out += " further requests not tracked)\n";
    }
    if (map.dropped_requests > 0) {
        out += "(";
        out += std::to_string(map.dropped_requests);
        out += " requests dropped before matching: unparsable URL or unknown method)\n";
    }
}

std::string_view location_kind_name(ParameterLocation location) { return location_name(location); }

void write_missing(std::string& out, const recorders::CoverageMap& map, const UnmeasuredSet& unmeasured,
                   bool skip_empty) {
    bool heading = false;
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            if (is_unmeasured(unmeasured, entry.route, item.method)) continue;
            const model::OperationRecord& op = item.record;
            if (skip_empty && std::none_of(op.parameters.begin(), op.parameters.end(),
                                           [](const model::ParameterTarget& t) { return t.holder.hits > 0; })) {
                continue;
            }
            // Location kinds in the order each first occurs; at most seven.
            std::vector<std::pair<ParameterLocation, std::vector<std::string_view>>> groups;
            for (const model::ParameterTarget& target : op.parameters) {
                if (classify(target) != TargetClass::Missed) continue;
                // A request body is listed by its media type, which is its name.
                const ParameterLocation location = target.location;
                const std::string_view name = target.name;
                auto it =
                    std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == location; });
                if (it == groups.end()) {
                    groups.push_back({location, {}});
                    it = std::prev(groups.end());
                }
                it->second.push_back(name);
            }
            if (groups.empty()) continue;
            if (!heading) {
                out += "\n\nUncovered Parameters:";
                heading = true;
            }
            out += '\n';
            out += operation_label(item.method, entry.route);
            out += ':';
            for (const auto& [location, names] : groups) {
                if (names.empty()) throw deririrore::InternalError("Parameters list is never empty");
                out += "\n    ";
                out += location_kind_name(location);
                out += ": ";
                for (std::size_t i = 0; i < names.size(); ++i) {
                    if (i > 0) out += ", ";
                    out += terminal_safe(names[i]);
                }
            }
        }
    }
}

std::size_t decimal_digits(std::uint64_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

}  // namespace

std::optional<std::string> text_report_width_error(std::uint64_t width) {
    if (width <= kMaxTextReportWidth) return std::nullopt;
    return "`width` must be at most " + std::to_string(kMaxTextReportWidth) + " columns, got " + std::to_string(width);
}

std::string format_count_cell(std::uint64_t n, std::uint8_t colour) { return paint_text(std::to_string(n), colour); }

std::string format_cover_cell(bool has_percent, double percent, std::uint8_t colour) {
    if (!has_percent) return paint_text("-", colour);
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, percent, std::chars_format::fixed, 2);
    std::string text(buffer, result.ptr);
    text += '%';
    return paint_text(text, colour);
}

std::string format_tenths_percent(std::optional<std::uint64_t> tenths) {
    if (!tenths) return "-";
    return std::to_string(*tenths / 10) + "." + std::to_string(*tenths % 10) + "%";
}

std::string write_text_report(const recorders::CoverageMap& map, const TextReportOptions& options) {
    const std::uint64_t width = std::min(options.width, kMaxTextReportWidth);
    const UnmeasuredSet unmeasured = unmeasured_operations(map);

    std::vector<Row> rows;
    Counts totals;
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            if (is_unmeasured(unmeasured, entry.route, item.method)) continue;
            Counts counts;
            bool any_seen = false;
            for (const model::ParameterTarget& target : item.record.parameters) {
                switch (classify(target)) {
                    case TargetClass::Missed:
                        counts.missed += 1;
                        break;
                    case TargetClass::Partial:
                        counts.partial += 1;
                        break;
                    case TargetClass::Covered:
                        counts.covered += 1;
                        break;
                }
                any_seen |= target.holder.hits > 0;
            }
            totals.missed += counts.missed;
            totals.partial += counts.partial;
            totals.covered += counts.covered;
            if (options.skip_covered && counts.missed == 0 && counts.partial == 0) continue;
            if (options.skip_empty && !any_seen) continue;
            Row row = make_row(counts, options.colored);
            row.method = item.method;
            row.path = entry.route;
            rows.push_back(row);
        }
    }
    Row total_row = make_row(totals, options.colored);
    total_row.is_total = true;
    rows.push_back(total_row);

    TextTable table({{Align::Left, 0}, {Align::Right, 3}, {Align::Right, 3}, {Align::Right, 3}, {Align::Right, 3}});
    table.set_header({"Operation", "Params", "Missed", "Partial", "Cover"});
    for (const Row& row : rows) {
        table.add_row({row.is_total ? std::string("TOTAL") : operation_label(row.method, row.path),
                       std::to_string(row.counts.total()), format_count_cell(row.counts.missed, row.colour),
                       format_count_cell(row.counts.partial, row.colour),
                       format_cover_cell(row.has_percent, row.percent, row.colour)});
    }
    table.add_rule_before(0);
    table.add_rule_before(rows.size() - 1);

    std::uint64_t right = 0;
    for (std::size_t c = 1; c < 5; ++c) right += table.column_width(c);
    const std::size_t first = static_cast<std::size_t>(std::max<std::uint64_t>(width >= right ? width - right : 0, 9));
    auto fit = [&](std::string& cell) {
        if (display_width(cell) > first) cell = shorten_operation_label(cell, first);
        cell = pad_right(cell, first);
    };
    fit(table.header_cells()[0]);
    for (std::size_t r = 0; r < table.row_count(); ++r) fit(table.row_cells(r)[0]);

    std::string out = table.render();
    if (options.show_missing) write_missing(out, map, unmeasured, options.skip_empty);
    write_problems(out, map, width);
    write_unmatched(out, map, width);
    return out;
}

std::string write_text_summary(const recorders::CoverageMap& map, bool colored) {
    const UnmeasuredSet unmeasured = unmeasured_operations(map);
    const Statistics stats = compute_statistics(map, unmeasured);
    struct SummaryRow {
        std::string_view label;
        std::uint64_t covered;
        std::uint64_t total;
        std::uint64_t partial;
    };
    std::vector<SummaryRow> rows;
    rows.push_back({"Operations", stats.operations.seen, stats.operations.total, 0});
    rows.push_back({"Parameters", stats.parameters.full, stats.parameters.total, stats.parameters.partial});
    rows.push_back({"Keywords", stats.keywords.full, stats.keywords.total, stats.keywords.partial});
    if (stats.examples.total > 0) rows.push_back({"Examples", stats.examples.seen, stats.examples.total, 0});
    rows.push_back({"Responses", stats.responses.seen, stats.responses.total, 0});
    if (stats.response_keywords.total > 0) {
        rows.push_back({"Response Keywords", stats.response_keywords.reached, stats.response_keywords.total, 0});
    }
    std::size_t digits = 0;
    for (const SummaryRow& row : rows) digits = std::max(digits, decimal_digits(row.total));

    std::string out;
    for (const SummaryRow& row : rows) {
        append_padded(out, row.label, 18, false);
        out += "  ";
        append_padded(out, std::to_string(row.covered), digits, true);
        out += '/';
        append_padded(out, std::to_string(row.total), digits, false);
        out += "  ";
        std::optional<std::uint64_t> tenths;
        if (row.total > 0) {
            // covered ≤ total, so covered × 1000 overflows only past 1.8e16 targets; widen anyway.
            tenths = static_cast<std::uint64_t>(static_cast<unsigned __int128>(row.covered) * 1000 / row.total);
        }
        std::string cell;
        append_padded(cell, format_tenths_percent(tenths), 6, true);
        if (colored && tenths) {
            const double percent = static_cast<double>(*tenths) / 10.0;
            cell = paint_text(cell, percent == 100.0 ? kGreen : percent >= 80.0 ? kYellow : kRed);
        }
        out += cell;
        if (row.partial > 0) {
            out += "  (";
            out += std::to_string(row.partial);
            out += " partial)";
        }
        out += '\n';
    }
    const auto add = [](std::uint64_t a, std::uint64_t b) {
        return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
    };
    std::uint64_t unmatched = add(map.unmatched.overflow(), map.dropped_requests);
    for (const UnmatchedGroup& group : collect_unmatched_requests(map)) unmatched = add(unmatched, group.count);
    const std::size_t problems = collect_diagnostics(map).size();
    if (unmatched > 0 || problems > 0) {
        out += '\n';
        if (unmatched > 0) {
            append_padded(out, "Unmatched requests", 18, false);
            out += "  ";
            out += std::to_string(unmatched);
            out += " (not counted above)\n";
        }
        if (problems > 0) {
            append_padded(out, "Spec problems", 18, false);
            out += "  ";
            out += std::to_string(problems);
            out += " (see the full report)\n";
        }
    }
    if (!out.empty()) out.pop_back();
    return out;
}

}  // namespace vantorel::reports
