#pragma once
// The smart constructor of array nodes: brings an array leaf into normal form,
// tightens its length window with what the other fields imply, and answers
// False when no array can satisfy it.
#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// False, the constant empty array, or an Array node of the normalised leaf.
Schema array_leaf_node(ArrayLeaf leaf, CanonicalContext& context);

}  // namespace deririrore::canonical
