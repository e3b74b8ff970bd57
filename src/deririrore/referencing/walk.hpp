#pragma once
// Lists where each anchor of a document is declared, as JSON pointers from the document root,
// without a registry. Embedded resources (subschemas with an identifier) are not entered.
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/referencing/resource.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::referencing {

struct AnchorPointer {
    // Views into the document.
    std::string_view name;
    std::string pointer;
};

struct WalkEntry {
    const Value* value;
    // Length of the parent's pointer text; this entry's pointer extends it.
    std::size_t parent_length;
    Draft draft;
    // Empty only for the root.
    std::string_view keyword;
    SubschemaPosition position;
};

// Pushes one entry per subschema held by the object's members (crawl table), except subschemas
// that carry an identifier under their draft.
void walk_keyword_subschemas(Draft draft, const Value& object, std::vector<WalkEntry>& stack,
                             std::size_t parent_length);

// Depth first with an explicit stack: the root's anchors first, then siblings in reverse order.
std::vector<AnchorPointer> walk_subresources_with_paths(const Value& root, Draft draft);

}  // namespace deririrore::referencing
