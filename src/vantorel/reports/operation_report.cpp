#include "vantorel/reports/operation_report.hpp"

#include <algorithm>
#include <string>

#include "vantorel/model/parameters.hpp"

namespace vantorel::reports {

namespace {

using zavova::EntryTag;
using zavova::KeywordEntry;
using zavova::Polarity;

template <class Row>
void sort_rows(std::vector<Row>& rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.schema_path < b.schema_path; });
}

std::optional<float> average_ms(float elapsed_total, std::uint64_t hits) {
    if (hits == 0) return std::nullopt;
    return (elapsed_total / static_cast<float>(hits)) * 1000.0f;
}

bool is_request_body(const model::ParameterTarget& target) noexcept {
    return model::target_location(target) == model::ParameterLocation::Body && target.tag >= 0;
}

ParameterReport parameter_report(const model::ParameterTarget& target, OperationCoverage& coverage) {
    ParameterReport report;
    report.location = model::target_location(target);
    report.is_body = is_request_body(target);
    report.name = target.name;
    report.hits = target.holder.hits;
    const ParameterTally tally = tally_parameter(target.holder.state.get());
    if (const zavova::CoverageState* state = target.holder.state.get()) {
        const zavova::EntryMap& entries = state->entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const KeywordEntry& entry = entries.entry(i);
            const std::string_view location = entries.location(i);
            if (entry.kind.tag == EntryTag::Keyword) {
                if (location == kRootReference || entry_fully_covered(entry)) continue;
                if (entry.passed == 0 && entry.failed == 0) {
                    report.keywords.push_back(
                        {std::string(location), KeywordState::Miss, std::nullopt, std::nullopt, std::nullopt});
                } else {
                    report.keywords.push_back(
                        {std::string(location), KeywordState::Partial, entry.passed, entry.failed, std::nullopt});
                }
            } else if (static_cast<std::uint8_t>(entry.kind.tag) >= static_cast<std::uint8_t>(EntryTag::Unmeasured)) {
                report.keywords.push_back(
                    {std::string(location), KeywordState::Unsupported, std::nullopt, std::nullopt,
                     zavova::unmeasured_reason_text(static_cast<zavova::UnmeasuredReason>(entry.kind.payload))});
            }
        }
    }
    sort_rows(report.keywords);
    report.coverage = {tally.covered, tally.partial, tally.counted, std::nullopt};
    settle_percent(report.coverage);

    coverage.keywords.covered = saturating_add(coverage.keywords.covered, tally.covered);
    coverage.keywords.partial = saturating_add(coverage.keywords.partial, tally.partial);
    coverage.keywords.total = saturating_add(coverage.keywords.total, tally.counted);
    coverage.examples.covered = saturating_add(coverage.examples.covered, tally.examples_seen);
    coverage.examples.total = saturating_add(coverage.examples.total, tally.examples);
    switch (tally.standing()) {
        case ParameterStanding::Covered:
            coverage.parameters.covered = saturating_add(coverage.parameters.covered, 1);
            break;
        case ParameterStanding::Partial:
            coverage.parameters.partial = saturating_add(coverage.parameters.partial, 1);
            break;
        case ParameterStanding::Unreached:
            break;
    }
    coverage.parameters.total = saturating_add(coverage.parameters.total, 1);
    return report;
}

BodyReport body_report(const model::ResponseBody& body, ReachRatio& totals) {
    BodyReport report;
    report.media_type = body.media_type.essence();
    report.hits = body.holder.hits;
    if (const zavova::CoverageState* state = body.holder.state.get()) {
        const zavova::EntryMap& entries = state->entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const KeywordEntry& entry = entries.entry(i);
            const std::string_view location = entries.location(i);
            if (entry.kind.tag != EntryTag::Keyword || location.empty() || location == kRootReference) continue;
            report.coverage.total += 1;
            if (entry.passed == 0 && entry.failed == 0) continue;
            report.coverage.reached += 1;
            if (entry.failed == 0) continue;
            report.coverage.violated += 1;
            report.keywords.push_back({std::string(location),
                                       entry.passed > 0 ? ResponseKeywordState::Mixed : ResponseKeywordState::Violating,
                                       entry.passed, entry.failed});
        }
    }
    sort_rows(report.keywords);
    settle_percent(report.coverage);
    totals.reached = saturating_add(totals.reached, report.coverage.reached);
    totals.violated = saturating_add(totals.violated, report.coverage.violated);
    totals.total = saturating_add(totals.total, report.coverage.total);
    return report;
}

ResponseReport response_report(std::string status, const model::ResponseTarget& response, OperationCoverage& coverage) {
    ResponseReport report;
    report.status = std::move(status);
    report.hits = response.hits;
    report.avg_elapsed_ms = average_ms(response.elapsed_total, response.hits);
    report.bodies.reserve(response.bodies.size());
    for (const model::ResponseBody& body : response.bodies) {
        report.bodies.push_back(body_report(body, coverage.response_keywords));
    }
    if (response.hits != 0) coverage.responses.covered = saturating_add(coverage.responses.covered, 1);
    coverage.responses.total = saturating_add(coverage.responses.total, 1);
    return report;
}

constexpr std::string_view kStatusTexts = "0123456789X";

}  // namespace

std::optional<double> ratio_percent(std::uint64_t covered, std::uint64_t total) noexcept {
    if (total == 0) return std::nullopt;
    return (static_cast<double>(covered) * 100.0) / static_cast<double>(total);
}

void settle_percent(CoverageRatio& ratio) noexcept { ratio.percent = ratio_percent(ratio.covered, ratio.total); }
void settle_percent(PartialCoverageRatio& ratio) noexcept { ratio.percent = ratio_percent(ratio.covered, ratio.total); }
void settle_percent(ReachRatio& ratio) noexcept { ratio.percent = ratio_percent(ratio.reached, ratio.total); }

void add_coverage(OperationCoverage& into, const OperationCoverage& from) noexcept {
    auto add = [](std::uint64_t& a, std::uint64_t b) { a = saturating_add(a, b); };
    add(into.parameters.covered, from.parameters.covered);
    add(into.parameters.partial, from.parameters.partial);
    add(into.parameters.total, from.parameters.total);
    add(into.keywords.covered, from.keywords.covered);
    add(into.keywords.partial, from.keywords.partial);
    add(into.keywords.total, from.keywords.total);
    add(into.examples.covered, from.examples.covered);
    add(into.examples.total, from.examples.total);
    add(into.responses.covered, from.responses.covered);
    add(into.responses.total, from.responses.total);
    add(into.response_keywords.reached, from.response_keywords.reached);
    add(into.response_keywords.violated, from.response_keywords.violated);
    add(into.response_keywords.total, from.response_keywords.total);
}

std::string_view keyword_state_name(KeywordState state) noexcept {
    switch (state) {
        case KeywordState::Full:
            return "full";
        case KeywordState::Partial:
            return "partial";
        case KeywordState::Miss:
            return "miss";
        case KeywordState::Unsupported:
            return "unsupported";
    }
    return "";
}

std::string_view response_keyword_state_name(ResponseKeywordState state) noexcept {
    switch (state) {
        case ResponseKeywordState::NotReached:
            return "not_reached";
        case ResponseKeywordState::Conforming:
            return "conforming";
        case ResponseKeywordState::Violating:
            return "violating";
        case ResponseKeywordState::Mixed:
            return "mixed";
        case ResponseKeywordState::Unsupported:
            return "unsupported";
        case ResponseKeywordState::Unsatisfiable:
            return "unsatisfiable";
    }
    return "";
}

std::string_view format_status_pattern(const model::StatusPattern& pattern) noexcept {
    // Every three-character text over "0".."9" and "X", built once; no allocation per call.
    static const std::string table = [] {
        std::string all;
        all.reserve(11 * 11 * 11 * 3);
        for (char a : kStatusTexts)
            for (char b : kStatusTexts)
                for (char c : kStatusTexts) {
                    all.push_back(a);
                    all.push_back(b);
                    all.push_back(c);
                }
        return all;
    }();
    std::size_t index = 0;
    for (const auto& position : pattern.positions) {
        // A digit above 9 cannot be loaded; shown as the wildcard rather than read out of range.
        const std::size_t code = position.present && position.digit <= 9 ? position.digit : 10;
        index = index * 11 + code;
    }
    return std::string_view(table).substr(index * 3, 3);
}

bool entry_fully_covered(const KeywordEntry& entry) noexcept {
    const Polarity polarity = entry.kind.polarity();
    return (entry.passed > 0 && entry.failed > 0) || (entry.passed > 0 && polarity == Polarity::ValidOnly) ||
           (entry.failed > 0 && polarity == Polarity::InvalidOnly);
}

ParameterTally tally_parameter(const zavova::CoverageState* state) noexcept {
    ParameterTally tally;
    if (state == nullptr) return tally;
    const zavova::EntryMap& entries = state->entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const KeywordEntry& entry = entries.entry(i);
        const std::string_view location = entries.location(i);
        switch (entry.kind.tag) {
            case EntryTag::Keyword:
                if (location == kRootReference) break;
                tally.counted += 1;
                if (entry_fully_covered(entry)) {
                    tally.covered += 1;
                } else if ((entry.passed > 0) != (entry.failed > 0)) {
                    tally.partial += 1;
                }
                break;
            case EntryTag::Example:
                tally.examples += 1;
                if (entry.passed > 0) tally.examples_seen += 1;
                break;
            case EntryTag::Subschema:
                if (location.empty()) {
                    tally.root_passed |= entry.passed > 0;
                    tally.root_failed |= entry.failed > 0;
                }
                break;
            default:
                break;
        }
    }
    return tally;
}

BuiltOperationReport build_operation_report(std::string_view method, std::string_view path,
                                            const model::OperationRecord& record) {
    BuiltOperationReport built;
    OperationReport& report = built.report;
    OperationCoverage& coverage = report.coverage;
    report.method = std::string(method);
    report.path = std::string(path);
    report.operation_id = record.operation_id;
    report.hits = record.hits;

    report.parameters.reserve(record.parameters.size());
    for (const model::ParameterTarget& target : record.parameters) {
        report.parameters.push_back(parameter_report(target, coverage));
    }
    report.responses.reserve(record.responses.size() + (record.has_default_response ? 1 : 0));
    for (const model::ResponseTarget& response : record.responses) {
        report.responses.push_back(
            response_report(std::string(format_status_pattern(response.status)), response, coverage));
    }
    if (record.has_default_response) {
        report.responses.push_back(response_report("default", record.default_response, coverage));
    }
    report.unexpected_responses.reserve(record.unexpected_responses.size());
    for (const model::UnexpectedResponse& unexpected : record.unexpected_responses) {
        ResponseReport row;
        row.status = std::to_string(unexpected.status);
        row.hits = unexpected.hits;
        // Such an entry exists only once hit; a zero count read from a merge still gives no
        // division by zero.
        row.avg_elapsed_ms = average_ms(unexpected.elapsed_total, unexpected.hits);
        report.unexpected_responses.push_back(std::move(row));
    }
    if (record.shadowed_by && record.hits == 0) report.warnings.push_back({*record.shadowed_by});
    report.errors.assign(record.errors.begin(), record.errors.end());
    std::sort(report.errors.begin(), report.errors.end());

    settle_percent(coverage.parameters);
    settle_percent(coverage.keywords);
    settle_percent(coverage.examples);
    settle_percent(coverage.responses);
    settle_percent(coverage.response_keywords);
    built.coverage = coverage;
    return built;
}

}  // namespace vantorel::reports
