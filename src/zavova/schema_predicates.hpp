#pragma once
// Questions asked of schema values before anything is counted: does a schema accept every
// instance (vacuous), none (never valid), does a keyword constrain nothing (annotation, inert),
// and where does a local `$ref` lead. Every predicate answers true only when one of its rules
// applies; an unknown keyword counts as a constraint.
//
// SchemaPredicates keeps the answers per schema object (by its address inside the document, which
// must not change while it lives), so that asking about every subschema of a document costs time
// linear in the document. In-document vacuity follows local references; a reference cycle is not
// vacuous. Walks are bounded: below kPredicateDepthLimit levels of nesting the answer is false.
//
//   SchemaPredicates facts(root, Draft::Draft202012);
//   facts.vacuous(schema); facts.vacuous_in_document(*target); facts.resolve_local_ref("#/$defs/a");
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/value.hpp"

namespace zavova {

using deririrore::referencing::Draft;
using deririrore::value::Value;

inline constexpr std::size_t kPredicateDepthLimit = 200;

bool is_annotation_keyword(std::string_view keyword) noexcept;
// Whether the draft knows the keyword (the unknown draft as 2020-12; unknown keywords: true).
bool keyword_in_draft(Draft draft, std::string_view keyword) noexcept;
// parent + "/" + key escaped as one JSON pointer token.
std::string child_location(std::string_view parent, std::string_view key);

// Type bits of a value as the predicates read them: an integer-valued number is integer and number.
std::uint8_t value_type_bits(const Value& v) noexcept;
// The JsonTypeMask bit of a type name; 0 for an unknown name.
std::uint8_t type_bit(std::string_view name) noexcept;

struct LocalRef {
    std::string pointer;  // decoded JSON pointer text of the target
    const Value* target = nullptr;
};

class SchemaPredicates {
public:
    SchemaPredicates(const Value& root, Draft document_draft) : root_(&root), draft_(document_draft) {}
    SchemaPredicates(const SchemaPredicates&) = delete;
    SchemaPredicates& operator=(const SchemaPredicates&) = delete;

    const Value& root() const noexcept { return *root_; }

    // Judged from the value alone.
    bool vacuous(const Value& s) { return vacuous_at(s, 0); }
    bool never_valid(const Value& s) { return never_valid_at(s, 0); }
    bool inert(std::string_view keyword, const Value& v) { return inert_at(keyword, v, 0); }
    bool other_keywords_inert(const Value& s, std::string_view left_out) { return other_inert_at(s, left_out, 0); }
    bool branches_cover_all_types(std::span<const Value> branches);

    // Judged inside the document: local references followed, property and tuple schemas read.
    bool vacuous_in_document(const Value& s);

    // The schema a `$ref` (or `$dynamicRef`, read statically) names inside the document: a JSON
    // pointer fragment (percent-decoded, UTF-8) or a plain-name anchor of the document's draft.
    std::optional<LocalRef> resolve_local_ref(std::string_view text);

private:
    bool vacuous_at(const Value& s, std::size_t depth);
    bool never_valid_at(const Value& s, std::size_t depth);
    bool inert_at(std::string_view keyword, const Value& v, std::size_t depth);
    bool other_inert_at(const Value& s, std::string_view left_out, std::size_t depth);

    // The in-document answer of a reference target: its least fixed point over the reference
    // graph, computed once per strongly connected component.
    bool target_vacuous(const Value* target);
    void settle_targets(const Value* start);
    void scan_references(const Value& s, std::vector<const Value*>& out, std::size_t depth);
    const Value* ref_rule_target(const Value& s, bool& applies);
    bool doc_vacuous_at(const Value& s, std::size_t depth);
    bool doc_inert_at(std::string_view keyword, const Value& v, std::size_t depth);
    bool doc_other_inert_at(const Value& s, std::string_view left_out, std::size_t depth);

    const Value* root_;
    Draft draft_;
    std::unordered_map<const Value*, bool> vacuous_memo_;
    std::unordered_map<const Value*, bool> never_valid_memo_;
    // Settled in-document answers of reference targets; while a component settles, its members'
    // current approximations (starting from false) sit in `pending_`.
    std::unordered_map<const Value*, bool> target_memo_;
    std::unordered_map<const Value*, bool> pending_;
    std::optional<std::unordered_map<std::string_view, std::string>> anchors_;
    bool settling_ = false;
};

// One-off forms, each with a fresh memo.
bool is_vacuous_schema(const Value& s);
bool is_never_valid_schema(const Value& s);
bool is_vacuous_in_document(const Value& s, const Value& root, Draft draft = Draft::Draft202012);

}  // namespace zavova
