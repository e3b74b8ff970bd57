#include "vantorel/reports/report_model.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>

#include "deririrore/core/internal_error.hpp"
#include "vantorel/reports/orderings.hpp"

namespace vantorel::reports {

namespace {

std::size_t operation_count(const recorders::CoverageMap& map) {
    std::size_t n = 0;
    for (const auto& entry : map.routes.paths) n += entry.methods.size();
    return n;
}

}  // namespace

void settle_percents(ReportSummary& summary) noexcept {
    settle_percent(summary.operations);
    settle_percent(summary.parameters);
    settle_percent(summary.keywords);
    settle_percent(summary.examples);
    settle_percent(summary.responses);
    settle_percent(summary.response_keywords);
}

namespace {

void add_to_summary(ReportSummary& summary, const OperationCoverage& coverage, std::uint64_t hits) {
    summary.operations.total = saturating_add(summary.operations.total, 1);
    if (hits != 0) summary.operations.covered = saturating_add(summary.operations.covered, 1);
    OperationCoverage sums{summary.parameters, summary.keywords, summary.examples, summary.responses,
                           summary.response_keywords};
    add_coverage(sums, coverage);
    summary.parameters = sums.parameters;
    summary.keywords = sums.keywords;
    summary.examples = sums.examples;
    summary.responses = sums.responses;
    summary.response_keywords = sums.response_keywords;
}

std::int64_t civil_from_days(std::int64_t days, unsigned& month, unsigned& day) {
    // Civil date of a day count since 1970-01-01 (proleptic Gregorian).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    return month <= 2 ? year + 1 : year;
}

}  // namespace

std::string_view suggestion_polarity_name(SuggestionPolarity polarity) noexcept {
    return polarity == SuggestionPolarity::Valid ? "valid" : "invalid";
}

std::string_view uncovered_reason_name(UncoveredReason reason) noexcept {
    switch (reason) {
        case UncoveredReason::Unsupported:
            return "unsupported";
        case UncoveredReason::Unsatisfiable:
            return "unsatisfiable";
        case UncoveredReason::Exhausted:
            return "exhausted";
        case UncoveredReason::Heavy:
            return "heavy";
    }
    return "unsupported";
}

std::string_view unmatched_reason_name(std::uint8_t reason) noexcept {
    return reason == static_cast<std::uint8_t>(UnmatchedReason::MethodNotDocumented) ? "method_not_documented"
                                                                                     : "no_matching_path";
}

std::vector<UnmatchedGroup> collect_unmatched_requests(const recorders::CoverageMap& map) {
    std::vector<UnmatchedGroup> groups;
    groups.reserve(map.unmatched.size());
    for (const recorders::UnmatchedGroup& g : map.unmatched.groups()) {
        groups.push_back({g.method, g.host, g.path, static_cast<std::uint8_t>(g.reason), g.count, g.first_seen});
    }
    std::stable_sort(groups.begin(), groups.end(), [](const UnmatchedGroup& a, const UnmatchedGroup& b) {
        return unmatched_group_less({a.method, a.host, a.path, a.count, a.first_seen_at},
                                    {b.method, b.host, b.path, b.count, b.first_seen_at});
    });
    return groups;
}

std::vector<OperationReport> build_operation_reports(const recorders::CoverageMap& map) {
    std::vector<OperationReport> reports;
    reports.reserve(operation_count(map));
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            reports.push_back(build_operation_report(http::method_name(item.method), entry.route, item.record).report);
        }
    }
    return reports;
}

ReportSummary summarize_operations(const recorders::CoverageMap& map, const UnmeasuredSet& unmeasured) {
    ReportSummary summary;
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            if (is_unmeasured(unmeasured, entry.route, item.method)) continue;
            add_to_summary(summary,
                           build_operation_report(http::method_name(item.method), entry.route, item.record).coverage,
                           item.record.hits);
        }
    }
    settle_percents(summary);
    return summary;
}

std::string format_generated_at(std::int64_t unix_seconds, std::uint32_t nanoseconds) {
    std::int64_t days = unix_seconds / 86400;
    std::int64_t rest = unix_seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        days -= 1;
    }
    unsigned month = 0;
    unsigned day = 0;
    const std::int64_t year = civil_from_days(days, month, day);
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02u:%02u:%02u", static_cast<long long>(year), month,
                          day, static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
                          static_cast<unsigned>(rest % 60));
    std::string out(buffer, static_cast<std::size_t>(n));
    if (nanoseconds != 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, "%09u", nanoseconds % 1000000000u);
        std::string_view digits(fraction, 9);
        while (!digits.empty() && digits.back() == '0') digits.remove_suffix(1);
        out.push_back('.');
        out.append(digits);
    }
    out.push_back('Z');
    return out;
}

std::string current_generated_at() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    std::int64_t seconds = ns / 1000000000;
    std::int64_t fraction = ns % 1000000000;
    if (fraction < 0) {
        fraction += 1000000000;
        seconds -= 1;
    }
    return format_generated_at(seconds, static_cast<std::uint32_t>(fraction));
}

ReportModel build_report_model(const recorders::CoverageMap& map) {
    ReportModel model;
    const UnmeasuredSet unmeasured = unmeasured_operations(map);
    model.operations.reserve(operation_count(map));
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            BuiltOperationReport built =
                build_operation_report(http::method_name(item.method), entry.route, item.record);
            if (!is_unmeasured(unmeasured, entry.route, item.method)) {
                add_to_summary(model.summary, built.coverage, item.record.hits);
            }
            model.operations.push_back(std::move(built.report));
        }
    }
    settle_percents(model.summary);
    model.schema_location = map.location;
    model.generated_at = current_generated_at();

    model.labels = summarize_labels(map, unmeasured, model.summary);
    model.diagnostics = collect_diagnostics(map);
    model.unmatched = collect_unmatched_requests(map);
    model.unmatched_overflow = map.unmatched.overflow();
    model.dropped_requests = map.dropped_requests;
    return model;
}

}  // namespace vantorel::reports
