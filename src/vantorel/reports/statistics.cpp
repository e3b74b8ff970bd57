#include "vantorel/reports/statistics.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "vantorel/reports/operation_report.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::reports {
namespace {

using zavova::EntryTag;
using zavova::KeywordEntry;
using zavova::Polarity;

// The schema's own reference hop is an artefact of hydration, not a check the user wrote.
constexpr std::string_view kRootRef = "/$ref";

void add_point(Timeline& timeline, double time) {
    if (time != 0) timeline.push_back({time, 1});
}

double covered_at(const KeywordEntry& entry) noexcept {
    switch (entry.kind.polarity()) {
        case Polarity::ValidOnly:
            return entry.first_passed;
        case Polarity::InvalidOnly:
            return entry.first_failed;
        default:
            return std::fmax(entry.first_passed, entry.first_failed);  // a NaN operand is ignored
    }
}

void count_parameter(const model::ParameterTarget& target, Statistics& stats) {
    stats.parameters.total += 1;
    std::uint64_t counted = 0;
    std::uint64_t fully = 0;
    bool root_passed = false;
    bool root_failed = false;
    if (const zavova::CoverageState* state = target.holder.state.get()) {
        const zavova::EntryMap& entries = state->entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const KeywordEntry& entry = entries.entry(i);
            const std::string_view location = entries.location(i);
            switch (entry.kind.tag) {
                case EntryTag::Keyword: {
                    if (location == kRootRef) break;
                    stats.keywords.total += 1;
                    counted += 1;
                    if (entry.passed > 0) stats.keywords.positive += 1;
                    if (entry.failed > 0) stats.keywords.negative += 1;
                    if (entry_fully_covered(entry)) {
                        stats.keywords.full += 1;
                        fully += 1;
                        add_point(stats.keywords.timeline, covered_at(entry));
                    } else if ((entry.passed > 0) != (entry.failed > 0)) {
                        stats.keywords.partial += 1;
                    }
                    break;
                }
                case EntryTag::Example:
                    stats.examples.total += 1;
                    if (entry.passed > 0) {
                        stats.examples.seen += 1;
                        add_point(stats.examples.timeline, entry.first_passed);
                    }
                    break;
                case EntryTag::Subschema:
                    if (location.empty()) {
                        root_passed |= entry.passed > 0;
                        root_failed |= entry.failed > 0;
                    }
                    break;
                default:
                    break;
            }
        }
    }
    if (root_passed) stats.parameters.positive += 1;
    if (root_failed) stats.parameters.negative += 1;
    if (fully == counted) add_point(stats.parameters.timeline, target.holder.covered_at);
    // The grade every report shows comes from the one standing rule.
    ParameterTally tally;
    tally.counted = counted;
    tally.covered = fully;
    tally.root_passed = root_passed;
    tally.root_failed = root_failed;
    switch (tally.standing()) {
        case ParameterStanding::Covered:
            stats.parameters.full += 1;
            break;
        case ParameterStanding::Partial:
            stats.parameters.partial += 1;
            break;
        case ParameterStanding::Unreached:
            break;
    }
}

template <class Visit>
void for_each_response(const model::OperationRecord& op, Visit&& visit) {
    for (const model::ResponseTarget& response : op.responses) visit(response);
    if (op.has_default_response) visit(op.default_response);
}

void count_response_keywords(const model::ResponseTarget& response, ResponseKeywordStatistics& out) {
    for (const model::ResponseBody& body : response.bodies) {
        const zavova::CoverageState* state = body.holder.state.get();
        if (state == nullptr) continue;
        const zavova::EntryMap& entries = state->entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const KeywordEntry& entry = entries.entry(i);
            const std::string_view location = entries.location(i);
            if (entry.kind.tag != EntryTag::Keyword || location.empty() || location == kRootRef) continue;
            out.total += 1;
            if (entry.passed > 0 || entry.failed > 0) out.reached += 1;
            if (entry.failed > 0) out.violated += 1;
        }
    }
}

// Orders doubles as the IEEE-754 total order does: -NaN < -inf < ... < -0 < +0 < ... < +inf < NaN.
std::int64_t total_order_key(double value) noexcept {
    const auto bits = std::bit_cast<std::int64_t>(value);
    return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
}

}  // namespace

std::string_view dimension_name(Dimension dimension) noexcept {
    switch (dimension) {
        case Dimension::Operations:
            return "operations";
        case Dimension::Parameters:
            return "parameters";
        case Dimension::Keywords:
            return "keywords";
        case Dimension::Examples:
            return "examples";
        case Dimension::Responses:
            return "responses";
        case Dimension::ResponseKeywords:
            return "response_keywords";
    }
    return "";
}

Coverage dimension_coverage(const Statistics& stats, Dimension dimension) noexcept {
    switch (dimension) {
        case Dimension::Operations:
            return {stats.operations.seen, stats.operations.total};
        case Dimension::Parameters:
            return {stats.parameters.full, stats.parameters.total};
        case Dimension::Keywords:
            return {stats.keywords.full, stats.keywords.total};
        case Dimension::Examples:
            return {stats.examples.seen, stats.examples.total};
        case Dimension::Responses:
            return {stats.responses.seen, stats.responses.total};
        case Dimension::ResponseKeywords:
            return {stats.response_keywords.reached, stats.response_keywords.total};
    }
    return {};
}

std::optional<double> coverage_percent(Coverage coverage) noexcept {
    if (coverage.total == 0) return std::nullopt;
    return static_cast<double>(coverage.covered) * 100.0 / static_cast<double>(coverage.total);
}

UnmeasuredSet unmeasured_operations(const recorders::CoverageMap& map) {
    UnmeasuredSet set;
    const auto& unroutable = map.routes.unroutable_templates;
    if (unroutable.empty()) return set;
    for (const auto& entry : map.routes.paths) {
        if (!unroutable.contains(entry.route)) continue;
        for (const auto item : entry.methods) {
            if (item.record.hits == 0) set.insert({entry.route, item.method});
        }
    }
    return set;
}

bool is_unmeasured(const UnmeasuredSet& set, std::string_view path, http::HttpMethod method) {
    if (set.empty()) return false;
    return set.contains(UnmeasuredOperation{std::string(path), method});
}

void normalise_timeline(Timeline& timeline) {
    std::stable_sort(timeline.begin(), timeline.end(), [](const TimelinePoint& a, const TimelinePoint& b) {
        return total_order_key(a.time) < total_order_key(b.time);
    });
    std::size_t out = 0;
    for (std::size_t i = 0; i < timeline.size(); ++i) {
        if (out > 0 && timeline[out - 1].time == timeline[i].time) {
            std::uint64_t& count = timeline[out - 1].count;
            const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - count;
            count = timeline[i].count > room ? std::numeric_limits<std::uint64_t>::max() : count + timeline[i].count;
        } else {
            timeline[out++] = timeline[i];
        }
    }
    timeline.resize(out);
}

Statistics compute_statistics(const recorders::CoverageMap& map, const UnmeasuredSet& unmeasured) {
    Statistics stats;
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            if (is_unmeasured(unmeasured, entry.route, item.method)) continue;
            const model::OperationRecord& op = item.record;
            for (const model::ParameterTarget& target : op.parameters) count_parameter(target, stats);
            for_each_response(op, [&](const model::ResponseTarget& response) {
                if (response.hits != 0) {
                    stats.responses.seen += 1;
                    add_point(stats.responses.timeline, response.first_seen);
                }
                stats.responses.total += 1;
                stats.responses.elapsed_total += response.elapsed_total;
            });
            if (op.hits != 0) {
                stats.operations.seen += 1;
                add_point(stats.operations.timeline, op.first_seen);
            }
            stats.operations.total += 1;
            for_each_response(op, [&](const model::ResponseTarget& response) {
                count_response_keywords(response, stats.response_keywords);
            });
        }
    }
    normalise_timeline(stats.operations.timeline);
    normalise_timeline(stats.parameters.timeline);
    normalise_timeline(stats.keywords.timeline);
    normalise_timeline(stats.examples.timeline);
    normalise_timeline(stats.responses.timeline);
    return stats;
}

std::vector<ThresholdFailure> check_thresholds(const Statistics& stats, const Thresholds& thresholds) {
    std::vector<ThresholdFailure> failures;
    for (std::size_t i = 0; i < kDimensionCount; ++i) {
        if (!thresholds[i]) continue;
        const auto dimension = static_cast<Dimension>(i);
        const std::optional<double> actual = coverage_percent(dimension_coverage(stats, dimension));
        if (!actual) continue;
        if (*actual < *thresholds[i]) failures.push_back({dimension, *actual, *thresholds[i]});
    }
    return failures;
}

}  // namespace vantorel::reports
