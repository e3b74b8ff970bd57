#pragma once
// Which checks of one measured schema are counted: a walk over the schema document that registers
// a Keyword entry per counted keyword, ListItem entries for enum, type, required and dependency
// lists, Example entries, Unmeasured entries for content annotations, and a Subschema entry per
// (sub)schema visited. Members are visited in key order and a subschema's entries come before the
// keyword holding it, so that every process numbers the entries of one document alike. Local
// references are walked once each, at the target's own location. The walk uses an explicit stack.
//
//   KeywordWalkState walk = new_keyword_walk_state(schema, draft);
//   collect_keyword_targets(schema, schema, draft, unsatisfiable, walk, "", entries);
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "zavova/coverage_state.hpp"
#include "zavova/schema_predicates.hpp"

namespace zavova {

// What walks of one build may share: the polarity of a `pattern` by its text, which a large
// document's components repeat in every measured schema that holds them.
struct KeywordWalkMemo {
    std::unordered_map<std::string, Polarity, TextHash, TextEq> pattern_polarities;
};

struct KeywordWalkState {
    std::vector<UnknownDialectNote> unknown_dialects;
    KeywordWalkMemo* memo = nullptr;
    std::unordered_set<const Value*> visited_targets;
    Draft document_draft = Draft::Draft202012;
    // Memoised predicates over the document being walked (vacuity, references, anchors).
    std::unique_ptr<SchemaPredicates> predicates;
};

KeywordWalkState new_keyword_walk_state(const Value& root, Draft document_draft);

using LocationSet = std::unordered_set<std::string, TextHash, TextEq>;

// `root` is the measured schema document; `value` a schema inside it (the root itself for a
// builder) at `location`, walked under `draft`.
void collect_keyword_targets(const Value& root, const Value& value, Draft draft, const LocationSet& unsatisfiable,
                             KeywordWalkState& walk, std::string location, EntryMap& entries);

// ValidOnly "/type" entries for the string-typed subschemas of an XML body schema.
void add_xml_string_type_targets(const Value& schema, EntryMap& entries);

}  // namespace zavova
