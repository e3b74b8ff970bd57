#pragma once
// The identities of disjunction that a union's opaque parts allow: X or not X
// is everything, X or (X and Y) is X, and a conjunction that lies within
// another part, or loses members another part negates, simplifies; so do the
// alternatives of a conjunction's member property that other parts cover.
#include <optional>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// Some(node): the union's answer (True, or a changed list to unite again).
// None: the list, possibly changed in place, goes on.
struct SimplifiedParts {
    std::optional<Schema> answer;
    bool restart = false;
};
SimplifiedParts simplify_opaque_parts(std::vector<Schema>& parts, CanonicalContext& context);

}  // namespace deririrore::canonical
