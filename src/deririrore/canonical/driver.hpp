#pragma once
// Parses a whole document in passes: some facts (a target accepting nothing,
// dynamic references in use, disjoint oneOf branches over references) are
// known only after a pass, so the parse runs again with them until a pass
// learns nothing new. Targets the root cannot reach are dropped.
#include <memory>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/parse.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

struct CarriedState {
    std::set<std::string, std::less<>> known_false;
    std::shared_ptr<const TargetTable> carried_targets;
    bool table_carried = false;
    bool dynamic_mode_sticky = false;
};

// The root node and the final pass's tracker (pruned target table, reasons,
// aliases, kept parts, reference-dependent objects, target values).
struct ParsedDocument {
    Schema root;
    ParseTracker tracker;
};

struct ParseIncomplete {};

struct DriverResult {
    std::variant<CanonicalError, ParseIncomplete, ParsedDocument> data;
    bool is_error() const noexcept { return data.index() == 0; }
    bool is_incomplete() const noexcept { return data.index() == 1; }
    bool is_parsed() const noexcept { return data.index() == 2; }
};

// Each counts passes against the bound below; a document needing more is incomplete.
inline constexpr std::size_t kMaxDriverPasses = 64;

DriverResult parse_document_into_context(const value::Value& root, CanonicalContext& context, const Resolver& scope,
                                         CarriedState carried);

// The names of the references reachable from the node without following references.
void collect_reference_targets(const Schema& node, std::vector<std::string>& out);

}  // namespace deririrore::canonical
