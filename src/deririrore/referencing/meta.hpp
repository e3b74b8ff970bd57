#pragma once
// The nineteen published meta-schemas of drafts 4 to 2020-12, built into the library and parsed
// once each, on first use.
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::referencing {

struct MetaSchemaEntry {
    // The document's own identifier ("$id", or "id" for draft 4), trailing '#' included.
    std::string_view id;
    std::shared_ptr<const Value> document;
};

using MetaSchemaList = std::vector<MetaSchemaEntry>;

// The list of a draft; the unknown draft gets the 2020-12 list.
const MetaSchemaList& meta_schemas_for_draft(Draft draft);
// All nineteen: drafts 4, 6, 7, then the 2019-09 group, then the 2020-12 group.
const MetaSchemaList& all_meta_schemas();

// How many times the document with this identifier has been parsed (0 or 1); for tests.
std::size_t meta_schema_parse_count(std::string_view id);

}  // namespace deririrore::referencing
