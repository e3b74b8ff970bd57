#pragma once
// The per-operation view every report shows: hits, how well each parameter and request body was
// exercised with the keyword checks still partial, missed or not measured, the declared responses
// with their average time and violated body keywords, undeclared statuses, and the error
// messages test code recorded. Built from one operation record under the map's lock.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantorel/model/method_map.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/response_target.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::reports {

// percent = covered × 100 / total in double precision, unrounded; absent when total is 0.
struct CoverageRatio {
    std::uint64_t covered = 0;
    std::uint64_t total = 0;
    std::optional<double> percent;
    friend bool operator==(const CoverageRatio&, const CoverageRatio&) = default;
};
struct PartialCoverageRatio {
    std::uint64_t covered = 0;
    std::uint64_t partial = 0;
    std::uint64_t total = 0;
    std::optional<double> percent;
    friend bool operator==(const PartialCoverageRatio&, const PartialCoverageRatio&) = default;
};
// percent from reached.
struct ReachRatio {
    std::uint64_t reached = 0;
    std::uint64_t violated = 0;
    std::uint64_t total = 0;
    std::optional<double> percent;
    friend bool operator==(const ReachRatio&, const ReachRatio&) = default;
};

// The percent rule: (double(covered) * 100.0) / double(total), none when total is 0.
std::optional<double> ratio_percent(std::uint64_t covered, std::uint64_t total) noexcept;
// Fill `percent` from the counts.
void settle_percent(CoverageRatio& ratio) noexcept;
void settle_percent(PartialCoverageRatio& ratio) noexcept;
void settle_percent(ReachRatio& ratio) noexcept;

// Counter sums in reports never wrap: they stop at 2^64 - 1.
inline std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) noexcept {
    const std::uint64_t sum = a + b;
    return sum < a ? ~std::uint64_t{0} : sum;
}

struct OperationCoverage {
    PartialCoverageRatio parameters;
    PartialCoverageRatio keywords;
    CoverageRatio examples;
    CoverageRatio responses;
    ReachRatio response_keywords;
    friend bool operator==(const OperationCoverage&, const OperationCoverage&) = default;
};

// Adds every counter of `from` to `into` (saturating); percents are left alone.
void add_coverage(OperationCoverage& into, const OperationCoverage& from) noexcept;

enum class KeywordState : std::uint8_t { Full = 0, Partial = 1, Miss = 2, Unsupported = 3 };
// "full", "partial", "miss", "unsupported".
std::string_view keyword_state_name(KeywordState state) noexcept;

struct KeywordRow {
    std::string schema_path;
    KeywordState state = KeywordState::Miss;
    std::optional<std::uint64_t> valid;
    std::optional<std::uint64_t> invalid;
    std::optional<std::string_view> reason;  // "invalid_pattern", "untraceable_media_type", "annotation"
    friend bool operator==(const KeywordRow&, const KeywordRow&) = default;
};

struct ParameterReport {
    model::ParameterLocation location = model::ParameterLocation::Query;
    bool is_body = false;  // `name` is then the media type, shown as "media_type"
    std::string name;
    std::uint64_t hits = 0;
    PartialCoverageRatio coverage;
    std::vector<KeywordRow> keywords;  // partial, miss and unsupported only, by schema path
    friend bool operator==(const ParameterReport&, const ParameterReport&) = default;
};

enum class ResponseKeywordState : std::uint8_t {
    NotReached = 0,
    Conforming = 1,
    Violating = 2,
    Mixed = 3,
    Unsupported = 4,
    Unsatisfiable = 5,
};
// "not_reached", "conforming", "violating", "mixed", "unsupported", "unsatisfiable".
std::string_view response_keyword_state_name(ResponseKeywordState state) noexcept;

struct ResponseKeywordRow {
    std::string schema_path;
    ResponseKeywordState state = ResponseKeywordState::NotReached;
    std::uint64_t valid = 0;
    std::uint64_t invalid = 0;
    friend bool operator==(const ResponseKeywordRow&, const ResponseKeywordRow&) = default;
};

struct BodyReport {
    std::string media_type;  // without parameters
    std::uint64_t hits = 0;
    ReachRatio coverage;
    std::vector<ResponseKeywordRow> keywords;  // violating and mixed only, by schema path
    friend bool operator==(const BodyReport&, const BodyReport&) = default;
};

struct ResponseReport {
    std::string status;  // "200", "2XX", "default", or an undeclared code's digits
    std::uint64_t hits = 0;
    std::optional<float> avg_elapsed_ms;
    std::vector<BodyReport> bodies;  // empty for undeclared statuses
    friend bool operator==(const ResponseReport&, const ResponseReport&) = default;
};

struct OperationWarning {
    // The only kind: "shadowed", the operation's requests are caught by `by`'s route.
    static constexpr std::string_view type = "shadowed";
    std::string by;
    friend bool operator==(const OperationWarning&, const OperationWarning&) = default;
};

struct OperationReport {
    std::string method;  // upper case
    std::string path;
    std::optional<std::string> operation_id;
    std::uint64_t hits = 0;
    std::vector<OperationWarning> warnings;
    OperationCoverage coverage;
    std::vector<ParameterReport> parameters;
    std::vector<ResponseReport> responses;  // declared in order, then `default`
    std::vector<ResponseReport> unexpected_responses;
    std::vector<std::string> errors;  // sorted bytewise
    friend bool operator==(const OperationReport&, const OperationReport&) = default;
};

// Three characters, each the digit or "X": "200", "2XX", "XXX". A static text.
std::string_view format_status_pattern(const model::StatusPattern& pattern) noexcept;

// How one parameter or request body stands, the one definition every report and statistic
// uses: covered when its schema's root was reached (with a valid or an invalid value) and every
// counted keyword check is fully covered, partial when reached with some counted check not fully
// covered, neither while never reached.
enum class ParameterStanding : std::uint8_t { Unreached = 0, Partial = 1, Covered = 2 };

struct ParameterTally {
    std::uint64_t counted = 0;  // keyword checks, the root "/$ref" hop left out
    std::uint64_t covered = 0;
    std::uint64_t partial = 0;
    std::uint64_t examples = 0;
    std::uint64_t examples_seen = 0;
    bool root_passed = false;
    bool root_failed = false;
    ParameterStanding standing() const noexcept {
        if (!root_passed && !root_failed) return ParameterStanding::Unreached;
        return covered == counted ? ParameterStanding::Covered : ParameterStanding::Partial;
    }
};

// The counts of one coverage state (none: an empty tally).
ParameterTally tally_parameter(const zavova::CoverageState* state) noexcept;

// A keyword entry is fully covered when it passed and failed, or passed with only passing
// expected, or failed with only failing expected.
bool entry_fully_covered(const zavova::KeywordEntry& entry) noexcept;

// The schema's own reference hop, an artefact of hydration rather than a check the user wrote.
inline constexpr std::string_view kRootReference = "/$ref";

struct BuiltOperationReport {
    OperationReport report;
    OperationCoverage coverage;  // a copy of report.coverage, for summing
};

BuiltOperationReport build_operation_report(std::string_view method, std::string_view path,
                                            const model::OperationRecord& record);

}  // namespace vantorel::reports
