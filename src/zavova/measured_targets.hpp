#pragma once
// The common sequence that turns one prepared, compiled measured schema into counted entries:
// the entries the serialisation guarantees (registered first, pass-only), the satisfiability
// analysis, keyword collection, polarity lifting, and a new CoverageState in a new holder. Also
// the schema readings the parameter builders share: the end of a chain of local references, the
// JSON types a schema admits (how a text value is decoded), and whether it expects digit text.
//
// The caller compiles (the document model's measured-schema compile) and hands over the schema
// value the compile prepared, with the locations of the patterns it had to take out:
//
//   auto measured = measure_path_parameter(prepared, draft, removed_pattern_locations);
//   if (!measured) problem(measured.error());          // "type" of the wrong kind
//
// Every walk here is bounded: reference chains by a count, nesting by a depth limit.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "deririrore/value/result.hpp"
#include "zavova/coverage_state.hpp"
#include "zavova/keyword_targets.hpp"
#include "zavova/satisfiability.hpp"

namespace zavova {

using deririrore::Result;

enum class DecodeMode : std::uint8_t { Json = 0, Text = 1, Typed = 2 };

// How the value parser turns one text into a JSON value.
struct DecodeSpec {
    std::uint8_t digits_stay_text = 0;
    std::uint8_t explode = 1;
    DecodeMode mode = DecodeMode::Typed;
    std::uint8_t style = 0;
    std::uint8_t types = 127;  // JsonTypeMask
    friend bool operator==(const DecodeSpec&, const DecodeSpec&) = default;
};

// `type` is neither a text nor a list: the wrong-type problem for the field "type", expected a
// string (mask 16), for the document model to record.
struct WrongTypeField {
    std::string field = "type";
    std::uint8_t expected = 16;
    friend bool operator==(const WrongTypeField&, const WrongTypeField&) = default;
};

inline constexpr int kMaxFollowedRefs = 32;
inline constexpr int kTypeMaskDepthLimit = 32;

struct FollowedRef {
    const Value* node;
    std::optional<std::string> pointer;  // decoded pointer of the last reference followed
};
FollowedRef follow_local_refs(const Value& root, const Value& v);

// The types a text value of this schema may be read as.
Result<std::uint8_t, WrongTypeField> compute_schema_type_mask(const Value& root, const Value& v, int depth = 0);
bool expects_digit_strings(const Value& root, const Value& v);

void add_container_type_targets(const Value& node, std::string_view pointer, EntryMap& entries);
void add_path_segment_targets(const Value& schema, EntryMap& entries);
void add_path_text_targets(const Value& schema, EntryMap& entries);
void add_root_string_type_targets(const Value& schema, EntryMap& entries);

// Pass-only entries for the parts of `node` (at `location` inside `root`) that every text value
// satisfies; `visited` holds schema identities already walked.
void add_string_type_targets(const Value& root, const Value& node, EntryMap& entries, std::string location,
                             std::unordered_set<const Value*>& visited);
// Whether every string satisfies the schema, as far as vacuity can tell.
bool accepts_every_string(const Value& schema);

// What the satisfiability analysis and the keyword walk make of one measured schema under one
// draft: the same for every kind of target measuring that schema, with each builder's own entries
// merged in afterwards, so that one reading serves a builder's fallback too.
struct SchemaReading {
    std::optional<UnsatisfiableCause> unsatisfiable;
    std::optional<AnalysisFailure> analysis_error;
    std::optional<std::string> declared_dialect;
    std::vector<UnknownDialectNote> unknown_dialects;
    EntryMap walked;  // the walk's entries in walk order, before any builder's and before lifting
};

// `memo`, when given, is shared by the readings of one build.
SchemaReading read_measured_schema(const Value& schema, Draft draft,
                                   const SatisfiabilityAnalysis& analysis = no_satisfiability_analysis(),
                                   KeywordWalkMemo* memo = nullptr);

// The common core of every target builder. `entries` holds what the builder registered first.
CoverageHolder build_coverage_state(const Value& schema, Draft draft, EntryMap entries,
                                    const SatisfiabilityAnalysis& analysis = no_satisfiability_analysis());
// The same from a reading of the schema under `draft`: the walk's entries after the builder's own
// (a location the builder registered keeps the builder's entry), then polarity lifting.
CoverageHolder build_coverage_state(const SchemaReading& reading, Draft draft, EntryMap entries);

// Children before ancestors; an entry whose subtree holds only pass-only keywords becomes pass-only.
void lift_polarities(EntryMap& entries);

struct MeasuredParameter {
    CoverageHolder holder;
    DecodeSpec decode_spec;
};

// A path parameter's measurement (both document versions): `schema` is the prepared value the
// compile left, `removed_patterns` the locations of the patterns it took out, in order.
Result<MeasuredParameter, WrongTypeField> measure_path_parameter(
    const Value& schema, Draft draft, const std::vector<std::string>& removed_patterns,
    const SatisfiabilityAnalysis& analysis = no_satisfiability_analysis());
// The same from a reading of `schema` under `draft`.
Result<MeasuredParameter, WrongTypeField> measure_path_parameter(const Value& schema, Draft draft,
                                                                 const std::vector<std::string>& removed_patterns,
                                                                 const SchemaReading& reading);

}  // namespace zavova
