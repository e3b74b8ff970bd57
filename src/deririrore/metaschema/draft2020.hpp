#pragma once
// The checker of the draft 2020-12 meta-schema: the dialect and its seven vocabulary
// meta-schemas, each in the three modes of modes.hpp. The meta-schemas refer to "the schema in
// scope" through `{"$dynamicRef": "#meta"}`; a per-thread stack of dynamic scopes, one per mode,
// resolves it to the outermost resource that declares the anchor, as the engine would.
#include <cstddef>
#include <optional>
#include <vector>

#include "deririrore/metaschema/metaschema.hpp"

namespace deririrore::metaschema {

// The resources of the 2020-12 meta-schema, in the order of the dialect's `allOf`.
enum class Draft2020Resource : unsigned char {
    Dialect,
    Core,
    Applicator,
    Unevaluated,
    Validation,
    MetaData,
    FormatAnnotation,
    Content,
};

// The whole dialect, from the document's root. The first error borrows `document`.
std::optional<ValidationError> draft2020_first_error(const Value& document);
bool draft2020_is_valid(const Value& document);
std::vector<ValidationError> draft2020_errors(const Value& document);

// One resource entered on its own: "#meta" then resolves to that resource, so a vocabulary
// checks the subschemas below its keywords against itself alone (as the engine does for a
// schema whose `$schema` is the vocabulary meta-schema).
std::optional<ValidationError> draft2020_resource_first_error(Draft2020Resource resource, const Value& document);
bool draft2020_resource_is_valid(Draft2020Resource resource, const Value& document);
std::vector<ValidationError> draft2020_resource_errors(Draft2020Resource resource, const Value& document);

// The calling thread's scope state, for tests: every entry and visited pair a check pushed is
// gone when it returns, on every path.
struct Draft2020ScopeStats {
    std::size_t live_entries = 0;  // on the three scope stacks together
    std::size_t live_visited = 0;
    std::size_t pushes = 0;  // since the thread started, scope entries and visited pairs alike
    std::size_t pops = 0;
    std::size_t deepest = 0;  // the most entries one scope stack ever held at once
};
Draft2020ScopeStats draft2020_scope_stats() noexcept;

}  // namespace deririrore::metaschema
