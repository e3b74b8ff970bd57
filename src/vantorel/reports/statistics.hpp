#pragma once
// Coverage counts of one map per dimension (operations, parameters, keywords, examples,
// responses, response keywords), with the times at which targets became covered, and the set of
// operations that no statistic or report counts. Computed fresh from the map under its lock.
//
//   // with the map's lock held
//   const UnmeasuredSet unmeasured = unmeasured_operations(map);
//   const Statistics stats = compute_statistics(map, unmeasured);
//   auto failures = check_thresholds(stats, thresholds);
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "http/method.hpp"
#include "vantorel/model/seeded_hash.hpp"
#include "vantorel/recorders/coverage_map.hpp"

namespace vantorel::reports {

struct TimelinePoint {
    double time = 0;  // seconds since the Unix epoch
    std::uint64_t count = 0;
    friend bool operator==(const TimelinePoint&, const TimelinePoint&) = default;
};

// Ascending by time, no two points at the same time.
using Timeline = std::vector<TimelinePoint>;

struct OperationStatistics {
    std::uint64_t seen = 0;
    std::uint64_t total = 0;
    Timeline timeline;
};

// Parameters and keywords share the shape: seen passing, seen failing, seen on one side only
// where both were expected, fully covered.
struct GradedStatistics {
    std::uint64_t positive = 0;
    std::uint64_t negative = 0;
    std::uint64_t partial = 0;
    std::uint64_t full = 0;
    std::uint64_t total = 0;
    Timeline timeline;
};

struct ExampleStatistics {
    std::uint64_t seen = 0;
    std::uint64_t total = 0;
    Timeline timeline;
};

struct ResponseStatistics {
    std::uint64_t seen = 0;
    std::uint64_t total = 0;
    float elapsed_total = 0;  // seconds, summed in single precision in map order
    Timeline timeline;
};

struct ResponseKeywordStatistics {
    std::uint64_t reached = 0;
    std::uint64_t violated = 0;
    std::uint64_t total = 0;
};

struct Statistics {
    OperationStatistics operations;
    GradedStatistics parameters;
    GradedStatistics keywords;
    ExampleStatistics examples;
    ResponseStatistics responses;
    ResponseKeywordStatistics response_keywords;
};

// The six dimensions, in the order thresholds and reports list them.
enum class Dimension : std::uint8_t { Operations, Parameters, Keywords, Examples, Responses, ResponseKeywords };
inline constexpr std::size_t kDimensionCount = 6;

// "operations", "parameters", "keywords", "examples", "responses", "response_keywords".
std::string_view dimension_name(Dimension dimension) noexcept;

struct Coverage {
    std::uint64_t covered = 0;
    std::uint64_t total = 0;
};

// The covered count of a dimension: operations seen, parameters full, keywords full, examples
// seen, responses seen, response keywords reached; beside the dimension's total.
Coverage dimension_coverage(const Statistics& stats, Dimension dimension) noexcept;

// covered × 100 / total in double precision, unrounded; none when the total is 0.
std::optional<double> coverage_percent(Coverage coverage) noexcept;

struct UnmeasuredOperation {
    std::string path;
    http::HttpMethod method = http::HttpMethod::None;
    friend bool operator==(const UnmeasuredOperation&, const UnmeasuredOperation&) = default;
};

struct UnmeasuredOperationHash {
    model::SeededTextHash text;
    std::size_t operator()(const UnmeasuredOperation& op) const noexcept {
        return text(op.path) ^ (static_cast<std::size_t>(op.method) * 0x9e3779b97f4a7c15ull);
    }
};

using UnmeasuredSet = std::unordered_set<UnmeasuredOperation, UnmeasuredOperationHash>;

// Never-hit operations of path templates whose parameters cannot be routed: nothing can reach
// them, so counting them would only hold every figure down. An operation that was hit anyway
// (imported interactions name method and template directly) stays measured.
UnmeasuredSet unmeasured_operations(const recorders::CoverageMap& map);

bool is_unmeasured(const UnmeasuredSet& set, std::string_view path, http::HttpMethod method);

// One pass over every coverage entry of the measured operations. A broken method map layout
// stops the call (deririrore::InternalError).
Statistics compute_statistics(const recorders::CoverageMap& map, const UnmeasuredSet& unmeasured);

// Sorts by time (IEEE-754 total order, stable) and merges equal times, summing their counts
// with saturation.
void normalise_timeline(Timeline& timeline);

// A minimum percentage per dimension; none for a dimension without a threshold.
using Thresholds = std::array<std::optional<double>, kDimensionCount>;

struct ThresholdFailure {
    Dimension dimension = Dimension::Operations;
    double actual = 0;
    double minimum = 0;
};

// The dimensions whose percentage is below their minimum, in dimension order. A dimension
// without a threshold or without targets is skipped; a NaN minimum never fails.
std::vector<ThresholdFailure> check_thresholds(const Statistics& stats, const Thresholds& thresholds);

}  // namespace vantorel::reports
