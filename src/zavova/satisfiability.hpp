#pragma once
// Where the satisfiability analysis plugs into the target builders. The builders ask an analysis
// for the schema objects that no instance can satisfy. `canonical_satisfiability_analysis()` runs
// the canonical schema form over the schema; `no_satisfiability_analysis()` answers "not
// analysed" (nothing impossible, no failure), for callers that measure without it.
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "deririrore/canonical/causes.hpp"
#include "deririrore/canonical/dialect.hpp"
#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "zavova/analysis_records.hpp"

namespace zavova {

using deririrore::value::Value;

// One type for each: the canonical form's own records.
using deririrore::canonical::CanonicalCause;
using deririrore::canonical::UnsatisfiableCauses;
// Pointer texts (empty: the whole schema) of the unsatisfiable schema objects, bytewise ordered.
using deririrore::canonical::UnsatisfiableMap;

// The draft a dialect identifier stands for: the OpenAPI 3.1 and 3.2 dialects are 2020-12,
// anything else is read as a meta-schema identifier (Unknown when it names none).
using deririrore::canonical::openapi_dialect_draft;

struct NotAnalysed {};
using SatisfiabilityResult = std::variant<NotAnalysed, UnsatisfiableMap, AnalysisFailure>;

struct UnsatisfiableOrigin {
    std::string location;
    const UnsatisfiableCauses* causes = nullptr;  // into the map it was found in
};

class SatisfiabilityAnalysis {
public:
    virtual ~SatisfiabilityAnalysis() = default;
    virtual SatisfiabilityResult analyse_satisfiability(const Value& schema, std::optional<Draft> draft) const = 0;
    // The innermost unsatisfiable location that explains an unsatisfiable root, if the root is.
    virtual std::optional<UnsatisfiableOrigin> find_unsatisfiable_origin(const UnsatisfiableMap& map,
                                                                         const Value& schema) const = 0;
    virtual UnsatisfiableCause collect_unsatisfiable_causes(std::string_view location,
                                                            const UnsatisfiableCauses& causes, const Value& schema,
                                                            Draft draft) const = 0;
};

// Answers "not analysed" for every schema.
const SatisfiabilityAnalysis& no_satisfiability_analysis() noexcept;
// The analysis of the canonical schema form, with the functions below.
const SatisfiabilityAnalysis& canonical_satisfiability_analysis() noexcept;

// The map of the schema's unsatisfiable objects, or why there is none. Without a draft, a string
// "$schema" chooses it, else 2020-12. A known draft checks the schema against its meta-schema
// first; an unknown one (given or chosen) is analysed without that check and without a registry.
// Anything the analysis cannot decide (an unsupported construct, a spent budget, a pattern the
// engine gives up on) is left satisfiable, never reported impossible.
std::variant<UnsatisfiableMap, AnalysisFailure> analyse_satisfiability(const Value& schema, std::optional<Draft> draft);

std::optional<UnsatisfiableOrigin> find_unsatisfiable_origin(const UnsatisfiableMap& map, const Value& schema);

UnsatisfiableCause collect_unsatisfiable_causes(std::string_view location, const UnsatisfiableCauses& causes,
                                                const Value& schema, Draft draft);

// The keywords of the object at `location` with a preview of each value: the compact JSON text,
// or when longer than 40 characters "[...]", "{...}" or its first 37 characters and "...". An
// error when the location or a keyword is not in the schema.
deririrore::Result<DescribedCause, std::string> describe_cause(std::string_view location,
                                                               const std::vector<std::string>& keywords,
                                                               const Value& schema);

// Every member of `object` but `keyword` and the definition containers ("$defs", "definitions",
// "components"), copied.
Value branch_base_members(const Value& object, std::string_view keyword);

// A `$schema` that names no known dialect, reported with where it stands and the draft assumed.
std::optional<UnknownDialectNote> find_unknown_dialect(const Value& schema, Draft assumed, std::string_view location);

}  // namespace zavova
