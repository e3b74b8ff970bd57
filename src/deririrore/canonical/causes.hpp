#pragma once
// The result of an analysis: every schema object of the document that no
// instance can satisfy, by JSON Pointer, with the schema objects and keywords
// that make it so.
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "deririrore/canonical/parse.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

struct CanonicalCause {
    std::string pointer;                // of the schema object at fault
    std::vector<std::string> keywords;  // of one cause group, in the group's order
    friend bool operator==(const CanonicalCause&, const CanonicalCause&) = default;
};

struct UnsatisfiableCauses {
    // The schema is the boolean `false`.
    struct NoCause {
        friend bool operator==(const NoCause&, const NoCause&) = default;
    };
    std::variant<NoCause, CanonicalCause, std::vector<CanonicalCause>> data;
    friend bool operator==(const UnsatisfiableCauses&, const UnsatisfiableCauses&) = default;
};

// Pointers without "#", the root being the empty text; ordered bytewise.
using UnsatisfiableMap = std::map<std::string, UnsatisfiableCauses>;

using SettledCauses = std::unordered_map<ValueId, PendingCauses>;

// What the location walk reads of the parse.
struct CauseSources {
    const std::unordered_map<ValueId, ParseReason>* reasons = nullptr;
    const std::map<std::string, std::optional<SharedString>, std::less<>>* target_aliases = nullptr;
    const TargetTable* targets = nullptr;
    const Schema* root_node = nullptr;
    const SettledCauses* settled = nullptr;
};

struct UnsatisfiableLocation {
    std::string pointer;
    ValueId value = nullptr;
    // Null: unsatisfiable through the reference the object stands for.
    const PendingCauses* causes = nullptr;
};

using CausePointers = std::unordered_map<ValueId, std::string>;

// Every value named by a link of a recorded chain.
std::unordered_set<ValueId> collect_cause_objects(const CauseSources& sources);
// In document order; fills the pointer of every cause object met.
std::vector<UnsatisfiableLocation> find_unsatisfiable_locations(const value::Value& root, const CauseSources& sources,
                                                                const std::unordered_set<ValueId>& cause_objects,
                                                                CausePointers& pointers);
// Whether the target name leads, through aliases and reference nodes, to a target accepting nothing.
bool reference_leads_to_unsatisfiable(std::string name, const CauseSources& sources);

std::vector<std::string> cause_keywords(CauseGroup group, const value::Value& object);
CanonicalCause build_cause_record(const CauseChain& chain, const std::string& location_pointer,
                                  const value::Value& location_value, const CausePointers& pointers);
UnsatisfiableCauses causes_of_location(const UnsatisfiableLocation& location, const CausePointers& pointers);

// "~" as "~0" and "/" as "~1".
void append_pointer_token(std::string& pointer, std::string_view token);

}  // namespace deririrore::canonical
