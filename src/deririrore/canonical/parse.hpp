#pragma once
// The parser of every supported draft into canonical nodes, the reference step
// with its canonical target names, the keyword parts of each schema object and
// the search for the parts that make an object accept nothing.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"
#include "deririrore/referencing/draft.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

using referencing::Resolver;
// A schema object (or an `allOf` item) named by its address in the loaded
// document, which outlives every map of one analysis.
using ValueId = const value::Value*;

// Nested schema objects (and reference targets entered from them) deeper than
// this parse as unsupported rather than exhausting the stack.
inline constexpr std::size_t kMaxParseDepth = 128;

// Error, unsupported (no node) or a node. Unsupported is no error: the caller
// gives up on the enclosing object too.
class ParseOutcome {
public:
    ParseOutcome(Schema node) : data_(std::in_place_index<1>, std::move(node)) {}
    ParseOutcome(CanonicalError error) : data_(std::in_place_index<2>, std::move(error)) {}
    static ParseOutcome unsupported() { return ParseOutcome(); }

    bool is_unsupported() const noexcept { return data_.index() == 0; }
    bool has_node() const noexcept { return data_.index() == 1; }
    bool is_error() const noexcept { return data_.index() == 2; }
    const Schema& node() const { return std::get<1>(data_); }
    const CanonicalError& error() const { return std::get<2>(data_); }
    CanonicalError&& take_error() { return std::get<2>(std::move(data_)); }
    std::optional<Schema> node_if_any() const {
        if (has_node()) return node();
        return std::nullopt;
    }

private:
    ParseOutcome() = default;
    std::variant<std::monostate, Schema, CanonicalError> data_;
};

// Which keywords a part comes from.
using CauseGroup = uint8_t;
namespace cause_group {
inline constexpr CauseGroup kTypeValues = 0;
inline constexpr CauseGroup kString = 1;
inline constexpr CauseGroup kNumeric = 2;
inline constexpr CauseGroup kArray = 3;
inline constexpr CauseGroup kObject = 4;
inline constexpr CauseGroup kAnyOf = 5;
inline constexpr CauseGroup kOneOf = 6;
inline constexpr CauseGroup kNot = 7;
inline constexpr CauseGroup kConditional = 8;
inline constexpr CauseGroup kDependencies = 9;
inline constexpr CauseGroup kDependentRequired = 10;
inline constexpr CauseGroup kDependentSchemas = 11;
inline constexpr CauseGroup kReference = 12;
inline constexpr CauseGroup kAllOfItem = 13;
// The `allOf` item itself, read as group 13 by the analysis entry.
inline constexpr CauseGroup kAllOfBranch = 255;
}  // namespace cause_group

struct KeywordPart {
    CauseGroup group = cause_group::kTypeValues;
    Schema node;
};
using KeywordParts = std::vector<KeywordPart>;

// One cause: the object, the enclosing cause it was reached through, the group.
struct CauseChain {
    ValueId object = nullptr;
    std::unique_ptr<CauseChain> next;
    CauseGroup group = 0;

    CauseChain() = default;
    CauseChain(ValueId o, std::unique_ptr<CauseChain> n, CauseGroup g) : object(o), next(std::move(n)), group(g) {}
    CauseChain(const CauseChain& other);
    CauseChain& operator=(const CauseChain& other);
    CauseChain(CauseChain&&) noexcept = default;
    CauseChain& operator=(CauseChain&&) noexcept = default;
    ~CauseChain();
};

// Unset; the boolean `false` schema; one chain; a list of chains (a conflicting
// pair, or one chain per part taking part in the conflict).
struct PendingCauses {
    struct Unset {};
    struct FalseSchema {};
    std::variant<Unset, FalseSchema, CauseChain, std::vector<CauseChain>> data;

    bool is_unset() const noexcept { return data.index() == 0; }
    static PendingCauses false_schema() { return PendingCauses{FalseSchema{}}; }
    static PendingCauses one(CauseChain chain) { return PendingCauses{std::move(chain)}; }
    static PendingCauses list(std::vector<CauseChain> chains) { return PendingCauses{std::move(chains)}; }
};

// Why a schema object parsed as it did: the causes of an empty node, or the
// canonical name of the target a reference node stands for.
struct ParseReason {
    std::variant<PendingCauses, SharedString> data;
};

struct DynamicBinding {
    SharedString anchor;
    SharedString uri;
};
using BindingList = std::vector<DynamicBinding>;

// The per-pass record of the parser. The driver creates one per pass, sets the
// root, the mode and the carried facts, and reads the rest after the root parse.
struct ParseTracker {
    // References.
    bool reference_met = false;
    // 0 none met, 1 a dynamic reference was met, 2 resolving dynamic references.
    uint8_t dynamic_mode = 0;
    ValueId root_value = nullptr;
    SharedString root_uri;
    TargetTable targets;
    std::set<std::string, std::less<>> targets_in_progress;
    std::map<std::string, ValueId, std::less<>> target_values;
    // A target whose node is a Reference maps to that name, a False one to none.
    std::map<std::string, std::optional<SharedString>, std::less<>> target_aliases;
    // Carried by the driver from earlier passes; read-only during a pass.
    std::set<std::string, std::less<>> known_false;
    std::shared_ptr<const TargetTable> carried_targets;

    // Causes.
    bool suppress = false;
    bool branch_part = false;
    PendingCauses pending;
    std::unordered_map<ValueId, KeywordParts> parts_by_object;
    std::unordered_map<ValueId, ParseReason> reasons;
    std::vector<std::pair<ValueId, Schema>> reference_dependent;

    // oneOf branch lists over targets not yet available in this pass.
    std::vector<std::vector<Schema>> one_of_lists;

    // Nesting of the parse in progress, bounded by kMaxParseDepth.
    std::size_t depth = 0;
    // Rewritten copies parsed in place of document objects; kept for the pass
    // so that identities recorded inside them stay valid.
    std::deque<std::unique_ptr<const value::Value>> temporaries;
};

// Draft of the context in the registry's terms.
referencing::Draft registry_draft(Draft draft) noexcept;

// Parsing.
ParseOutcome parse_canonical_node(const value::Value& value, CanonicalContext& context, bool at_root,
                                  const Resolver& scope, ParseTracker& tracker);
// Computes the child scope from the value's identifier, parses and records the cause.
ParseOutcome parse_subschema(const value::Value& value, CanonicalContext& context, bool at_root, const Resolver& scope,
                             ParseTracker& tracker);
void record_parse_cause(ParseTracker& tracker, const value::Value& value, const std::optional<Schema>& node);
bool has_constraining_siblings(const value::Value& object, Draft draft);
void push_keyword_part(KeywordParts& parts, CauseGroup group, Schema node);

// The unevaluated rewrite: answers for an object of draft 2019-09 or 2020-12
// that has `unevaluatedProperties` or `unevaluatedItems`, like a parse. On
// entry the branch-part flag holds again what the object read of it.
ParseOutcome rewrite_unevaluated(const value::Value& object, CanonicalContext& context, bool at_root,
                                 const Resolver& scope, ParseTracker& tracker);

// Keyword readers shared with the unevaluated rewrite.
// A non-negative integer written in any number form ("5", "5.0", "5e0").
std::optional<BigInt> parse_count(std::string_view number_text);
std::optional<BoundNumber> merge_number_bound(const std::optional<BoundNumber>& previous, std::string_view text,
                                              bool inclusive, bool is_upper);
std::optional<JsonTypeSet> type_set_of(const value::Value& value);
bool is_admissible_value(const value::Value& value);
// What a dependency on `name` allows: non-objects, objects without it, or what `node` allows.
Schema dependent_schema_part(const SharedString& name, const Schema& node, CanonicalContext& context);
Schema dependent_required_part(const SharedString& name, std::vector<SharedString> names, CanonicalContext& context);
void fold_literal_patterns(PropertyMap& pattern_properties, PropertyMap& properties, CanonicalContext& context);

// References and canonical names.
inline constexpr std::string_view kCanonicalUrnPrefix = "urn:jsonschema:canonical:";
ParseOutcome resolve_reference_part(std::string_view text, CanonicalContext& context, const Resolver& scope,
                                    ParseTracker& tracker);
ParseOutcome resolve_recursive_reference_part(CanonicalContext& context, const Resolver& scope, ParseTracker& tracker);
ParseOutcome resolve_reference_target(std::string_view text, std::string_view target_uri,
                                      const referencing::Resolved& target, CanonicalContext& context,
                                      ParseTracker& tracker);
std::string canonical_name_with_bindings(const std::string& base_name, const BindingList& bindings);
void collect_dynamic_anchors(const value::Value& value, referencing::Draft draft, std::vector<std::string>& out);
std::string_view uri_without_fragment(std::string_view text);
void record_target_alias(ParseTracker& tracker, const std::string& name, const Schema& node);
// Bytes outside the set written as "%XX" (uppercase hex).
std::string percent_encode_outer(std::string_view text);
std::string percent_encode_inner(std::string_view text);

// Parts and causes.
Schema fold_parts(const value::Value& object, Schema base, KeywordParts parts, bool keep, CanonicalContext& context,
                  ParseTracker& tracker);
Schema fold_parts_plain(const KeywordParts& parts, Schema base, CanonicalContext& context);
void record_parts(ParseTracker& tracker, ValueId object, KeywordParts parts, const Schema& node, bool keep);
// `copy` is the identity under which the sibling parse recorded its parts.
void finish_reference_with_siblings(ParseTracker& tracker, const value::Value& object, ValueId copy,
                                    const Schema& reference, const Schema& combined, bool keep,
                                    CanonicalContext& context);
void rekey_object_records(ParseTracker& tracker, ValueId copy, ValueId object);
PendingCauses find_unsatisfiable_causes(const value::Value& object, const KeywordParts& parts,
                                        CanonicalContext& context,
                                        const std::unordered_map<ValueId, KeywordParts>& parts_by_object,
                                        const std::map<std::string, ValueId, std::less<>>& target_values);

// oneOf over branches that may hold references; none when it cannot be built.
std::optional<Schema> one_of_with_references(std::vector<Schema> branches, const TargetTable& targets,
                                             const TargetTable* carried,
                                             std::vector<std::vector<Schema>>& recorded_lists,
                                             CanonicalContext& context);

}  // namespace deririrore::canonical
