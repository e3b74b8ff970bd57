#include "vantorel/reports/coverage_gaps.hpp"

#include <algorithm>

#include "deririrore/referencing/pointer.hpp"
#include "vantorel/model/parameters.hpp"
#include "vantorel/reports/operation_report.hpp"
#include "vantorel/reports/orderings.hpp"
#include "vantorel/reports/statistics.hpp"

namespace vantorel::reports {
namespace {

using zavova::EntryTag;
using zavova::KeywordEntry;
using zavova::Polarity;

// The schema's own reference hop is an artefact of hydration, not a check the user wrote.
constexpr std::string_view kRootRef = "/$ref";

CoverageGap gap_of(GapKind kind, std::string_view path, http::HttpMethod method) {
    CoverageGap gap;
    gap.kind = kind;
    gap.path = std::string(path);
    gap.method = method;
    return gap;
}

CoverageGap target_gap(GapKind kind, std::string_view path, http::HttpMethod method,
                       const model::ParameterTarget& target) {
    CoverageGap gap = gap_of(kind, path, method);
    gap.location = model::target_location(target);
    gap.parameter = target.name;
    return gap;
}

// The keyword gap of one entry, if it has one: never exercised, or exercised only on the side
// that its polarity does not settle.
std::optional<GapKind> keyword_gap_kind(const KeywordEntry& entry) noexcept {
    const Polarity polarity = entry.kind.polarity();
    if (entry.passed > 0 && entry.failed == 0 && polarity != Polarity::ValidOnly) return GapKind::KeywordNeedsInvalid;
    if (entry.passed == 0 && entry.failed > 0 && polarity != Polarity::InvalidOnly) return GapKind::KeywordNeedsValid;
    if (entry.passed == 0 && entry.failed == 0) return GapKind::KeywordMiss;
    return std::nullopt;
}

void target_gaps(std::string_view path, http::HttpMethod method, const model::ParameterTarget& target,
                 std::vector<CoverageGap>& out) {
    if (target.holder.hits == 0) {
        out.push_back(target_gap(GapKind::ParameterUncovered, path, method, target));
        return;
    }
    const zavova::CoverageState* state = target.holder.state.get();
    if (state == nullptr) return;
    const zavova::EntryMap& entries = state->entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const KeywordEntry& entry = entries.entry(i);
        const std::string_view location = entries.location(i);
        if (entry.kind.tag == EntryTag::Example) {
            if (entry.passed > 0) continue;
            CoverageGap gap = target_gap(GapKind::ExampleUnseen, path, method, target);
            if (target.schema != nullptr) {
                if (const auto* found = deririrore::referencing::pointer_lookup(*target.schema, location)) {
                    gap.example = *found;
                }
            }
            out.push_back(std::move(gap));
            continue;
        }
        if (entry.kind.tag != EntryTag::Keyword || location.empty() || location == kRootRef) continue;
        const std::optional<GapKind> kind = keyword_gap_kind(entry);
        if (!kind) continue;
        CoverageGap gap = target_gap(*kind, path, method, target);
        gap.schema_path = location;
        gap.satisfiability = entry.kind.polarity();
        out.push_back(std::move(gap));
    }
}

// Parameter and schema path are empty where a kind does not carry them.
ReportSortKey sort_key(const CoverageGap& gap) {
    return {gap.path, http::method_name(gap.method), static_cast<unsigned>(gap.kind), gap.parameter, gap.schema_path};
}

}  // namespace

std::string_view gap_kind_name(GapKind kind) noexcept {
    switch (kind) {
        case GapKind::OperationUnseen:
            return "operation_unseen";
        case GapKind::ResponseUncovered:
            return "response_uncovered";
        case GapKind::ParameterUncovered:
            return "parameter_uncovered";
        case GapKind::KeywordMiss:
            return "keyword_miss";
        case GapKind::KeywordNeedsValid:
            return "keyword_needs_valid";
        case GapKind::KeywordNeedsInvalid:
            return "keyword_needs_invalid";
        case GapKind::ExampleUnseen:
            return "example_unseen";
    }
    return "";
}

std::string_view satisfiability_name(Polarity polarity) noexcept {
    switch (polarity) {
        case Polarity::Both:
            return "Normal";
        case Polarity::ValidOnly:
            return "Positive";
        case Polarity::InvalidOnly:
            return "Negative";
    }
    return "";
}

std::vector<CoverageGap> collect_coverage_gaps(const recorders::CoverageMap& map) {
    const UnmeasuredSet unmeasured = unmeasured_operations(map);
    std::vector<CoverageGap> gaps;
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            if (is_unmeasured(unmeasured, entry.route, item.method)) continue;
            const model::OperationRecord& op = item.record;
            if (op.hits == 0) gaps.push_back(gap_of(GapKind::OperationUnseen, entry.route, item.method));
            for (const model::ResponseTarget& response : op.responses) {
                if (response.hits != 0) continue;
                CoverageGap gap = gap_of(GapKind::ResponseUncovered, entry.route, item.method);
                gap.status = std::string(format_status_pattern(response.status));
                gaps.push_back(std::move(gap));
            }
            if (op.has_default_response && op.default_response.hits == 0) {
                CoverageGap gap = gap_of(GapKind::ResponseUncovered, entry.route, item.method);
                gap.status = "default";
                gaps.push_back(std::move(gap));
            }
            for (const model::ParameterTarget& target : op.parameters) {
                target_gaps(entry.route, item.method, target, gaps);
            }
        }
    }
    std::stable_sort(gaps.begin(), gaps.end(), [](const CoverageGap& a, const CoverageGap& b) {
        return report_item_less(sort_key(a), sort_key(b));
    });
    return gaps;
}

}  // namespace vantorel::reports
