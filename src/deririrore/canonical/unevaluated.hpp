#pragma once
// The canonical form has no node for `unevaluatedProperties` and
// `unevaluatedItems`: an object carrying them is rewritten into plain keywords
// where what the other keywords evaluate is known from the schema alone, split
// into variants (joined by `anyOf`) where it depends on conditionals.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/walkers.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

inline constexpr std::size_t kMaxVariants = 128;
inline constexpr std::size_t kMaxConditions = 64;

// None: the summary cannot be determined.
using PropertiesSummary = Result<std::optional<EvaluatedProperties>, CanonicalError>;
using ItemsSummary = Result<std::optional<EvaluatedItems>, CanonicalError>;

// What the object's in-place applicators (`$ref`, `allOf`, `anyOf`, `oneOf`) evaluate.
PropertiesSummary evaluated_properties_summary(const value::Value& object, CanonicalContext& context,
                                               const Scope& scope, EvaluationWalkOptions& options);
ItemsSummary evaluated_items_summary(const value::Value& object, Draft draft, CanonicalContext& context,
                                     const Scope& scope, EvaluationWalkOptions& options);

// A conditional applicator whose branches evaluate more than the object does
// unconditionally. The values live in the document (or the registry).
struct UnevaluatedCase {
    enum class Kind : uint8_t { Dependent, Conditional };
    Kind kind = Kind::Conditional;
    std::string name;                         // Dependent
    const value::Value* subschema = nullptr;  // Dependent
    const value::Value* if_schema = nullptr;  // Conditional
    const value::Value* then_schema = nullptr;
    const value::Value* else_schema = nullptr;
    Scope scope;
};

struct CollectedCases {
    std::vector<UnevaluatedCase> cases;
    // Conditionals whose branches evaluate nothing new, as one-keyword objects.
    std::vector<value::Value> plain;
};

// false: the object cannot be rewritten (unsupported).
using CollectAnswer = Result<bool, CanonicalError>;

EvaluatedSets unconditional_summary(const value::Value& object, const PropertiesSummary::value_type& properties,
                                    const ItemsSummary::value_type& items);
CollectAnswer collect_cases(const value::Value& object, const EvaluatedSets& summary, CanonicalContext& context,
                            const Scope& scope, EvaluationWalkOptions& options, bool carries_identifier,
                            CollectedCases& out);
CollectAnswer rewrite_subschema_in_scope(const value::Value& v, CanonicalContext& context, const Scope& scope,
                                         bool forced_identifier, const EvaluatedSets& summary,
                                         EvaluationWalkOptions& options, CollectedCases& out);
CollectAnswer rewrite_reference_target(std::string_view reference, CanonicalContext& context, const Scope& scope,
                                       bool forced_identifier, std::string_view comparison_uri,
                                       const EvaluatedSets& summary, EvaluationWalkOptions& options,
                                       CollectedCases& out);

// Each variant is the list of conditions its choices imply. False: gave up.
using Variants = std::vector<std::vector<value::Value>>;
CollectAnswer expand_cases(std::vector<value::Value> conditions, std::vector<UnevaluatedCase> cases,
                           const EvaluatedSets& summary, CanonicalContext& context, Variants& variants);

// One object with its unevaluated members turned into plain keywords; none
// when that needs a summary that cannot be known.
Result<std::optional<value::Value>, CanonicalError> rewrite_unevaluated_members(value::Value object,
                                                                                CanonicalContext& context,
                                                                                const Scope& scope,
                                                                                EvaluationWalkOptions& options);

// The whole rewrite short of parsing: the object to parse in place of the
// given one, or none (unsupported). Spends the context's parse budget.
Result<std::optional<value::Value>, CanonicalError> rewrite_unevaluated_object(const value::Value& object,
                                                                               CanonicalContext& context,
                                                                               const Scope& scope);

}  // namespace deririrore::canonical
