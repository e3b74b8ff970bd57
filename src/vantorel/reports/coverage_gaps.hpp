#pragma once
// Every place the recorded traffic left the document uncovered, one gap each, in report order:
// the gaps of one operation together, coarse ones (operation, responses, parameters) before
// keyword and example gaps. Read straight from the map's counters under its lock; every text and
// example is copied, so the gaps outlive the lock.
//
//   // with the map's lock held
//   std::vector<CoverageGap> gaps = collect_coverage_gaps(map);
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/value.hpp"
#include "http/method.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::reports {

// The value is the rank that orders the gaps of one operation.
enum class GapKind : std::uint8_t {
    OperationUnseen = 0,
    ResponseUncovered = 1,
    ParameterUncovered = 2,
    KeywordMiss = 3,
    KeywordNeedsValid = 4,
    KeywordNeedsInvalid = 5,
    ExampleUnseen = 6,
};

// "operation_unseen", "response_uncovered", ... "example_unseen".
std::string_view gap_kind_name(GapKind kind) noexcept;

// Which fields a gap carries follows from its kind: `status` for response gaps; `location` and
// `parameter` for parameter, keyword and example gaps; `schema_path` and `satisfiability` for
// keyword gaps; `example` for example gaps.
struct CoverageGap {
    GapKind kind = GapKind::OperationUnseen;
    http::HttpMethod method = http::HttpMethod::None;
    std::string path;
    std::string status;
    model::ParameterLocation location = model::ParameterLocation::Query;
    std::string parameter;  // a request body's media type
    std::string schema_path;
    zavova::Polarity satisfiability = zavova::Polarity::Both;
    deririrore::value::Value example;  // null when the entry's location finds nothing
};

// "Normal", "Positive", "Negative".
std::string_view satisfiability_name(zavova::Polarity polarity) noexcept;

// Sorted stably with report_item_less: path, method name, kind, parameter, schema path.
std::vector<CoverageGap> collect_coverage_gaps(const recorders::CoverageMap& map);

}  // namespace vantorel::reports
