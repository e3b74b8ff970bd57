#pragma once
// Which members and items the in-place keywords of a schema object evaluate,
// when that can be known from the schema alone. The rewrite of the
// unevaluated keywords stands on these walks; whatever they cannot decide is
// "not static", never an error.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

using Scope = referencing::Resolver;

struct EvaluatedProperties {
    std::vector<std::string> names;
    std::vector<std::string> patterns;  // pattern texts, compared as texts
    bool all = false;
};

struct EvaluatedItems {
    uint64_t prefix = 0;
    bool all = false;
};

// Nesting of subschemas and references a walk enters before it gives up as
// not static, so no document can exhaust the stack.
inline constexpr uint32_t kMaxWalkDepth = 128;
inline constexpr uint32_t kWalkReferenceBudget = 10000;

struct EvaluationWalkOptions {
    uint32_t reference_budget = kWalkReferenceBudget;
    bool conditionals_tolerated = false;
    std::unordered_set<std::string> references_in_progress;
    uint32_t depth = 0;
};

// true: static, the record holds everything evaluated; false: not static.
using WalkAnswer = Result<bool, CanonicalError>;

referencing::Draft engine_draft(Draft draft) noexcept;
CanonicalError reference_failed(referencing::ReferenceError error);

WalkAnswer walk_properties_of_subschema(const value::Value& v, CanonicalContext& context, const Scope& scope,
                                        EvaluationWalkOptions& options, EvaluatedProperties& record);
WalkAnswer walk_items_of_subschema(const value::Value& v, Draft draft, CanonicalContext& context, const Scope& scope,
                                   EvaluationWalkOptions& options, EvaluatedItems& record);
WalkAnswer walk_evaluated_properties(const value::Value& object, CanonicalContext& context, const Scope& scope,
                                     EvaluationWalkOptions& options, EvaluatedProperties& record);
WalkAnswer walk_evaluated_items(const value::Value& object, Draft draft, CanonicalContext& context, const Scope& scope,
                                EvaluationWalkOptions& options, EvaluatedItems& record);
WalkAnswer follow_reference_for_properties(std::string_view reference, CanonicalContext& context, const Scope& scope,
                                           EvaluationWalkOptions& options, EvaluatedProperties& record);
WalkAnswer follow_reference_for_items(std::string_view reference, Draft draft, CanonicalContext& context,
                                      const Scope& scope, EvaluationWalkOptions& options, EvaluatedItems& record);

bool has_dynamic_applicator(const value::Value& object);
bool has_conditional_keyword(const value::Value& object);

// What the enclosing schema evaluates, against which a subschema is tested.
struct EvaluatedSets {
    std::vector<std::string> names;     // sorted, distinct
    std::vector<std::string> patterns;  // sorted, distinct
    bool all_properties = false;
    uint64_t prefix = 0;
    bool all_items = false;
};
WalkAnswer subschema_evaluation_covered(const value::Value& v, const EvaluatedSets& given, CanonicalContext& context,
                                        const Scope& scope, EvaluationWalkOptions& options);

// Past the nesting bound the answer is false: the caller then gives up.
bool is_free_of_identifiers(const value::Value& v, bool references_too, Draft draft);
// {"properties": {N: {"const": V}}, "required": [N]} with V null, a boolean or a string.
std::optional<std::pair<std::string, value::Value>> const_discriminator(const value::Value& object);
void pad_prefix_items(value::Value& object, bool prefix_items, uint64_t n);

void sort_unique(std::vector<std::string>& texts);

}  // namespace deririrore::canonical
