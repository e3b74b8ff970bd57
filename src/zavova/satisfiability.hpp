#pragma once
// Where the satisfiability analysis plugs into the target builders. The builders ask an analysis
// for the schema objects that no instance can satisfy; until the canonical schema form and its
// algebra exist, the analysis in use answers "not analysed": nothing is reported impossible, no
// failure is recorded, and the builders measure the schema as they would a satisfiable one.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/value.hpp"
#include "zavova/analysis_records.hpp"

namespace zavova {

using deririrore::value::Value;

// A schema object and the keywords of it that make it unsatisfiable.
struct CanonicalCause {
    std::string pointer;
    std::vector<std::string> keywords;
};
// None, one cause, or one cause per branch.
using UnsatisfiableCauses = std::variant<std::monostate, CanonicalCause, std::vector<CanonicalCause>>;

// Pointer texts (empty: the whole schema) of the unsatisfiable schema objects, in order.
struct UnsatisfiableMap {
    std::vector<std::pair<std::string, UnsatisfiableCauses>> entries;
};

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

// The draft a dialect identifier stands for: the OpenAPI 3.1 and 3.2 dialects are 2020-12,
// anything else is read as a meta-schema identifier (Unknown when it names none).
Draft openapi_dialect_draft(std::string_view text) noexcept;

// A `$schema` that names no known dialect, reported with where it stands and the draft assumed.
std::optional<UnknownDialectNote> find_unknown_dialect(const Value& schema, Draft assumed, std::string_view location);

}  // namespace zavova
