#pragma once
// The checker of the draft 2019-09 meta-schema and its six vocabulary meta-schemas, in its
// three modes. "$recursiveRef" is resolved through a per-thread dynamic scope.
#include <cstddef>
#include <optional>
#include <vector>

#include "deririrore/metaschema/metaschema.hpp"

namespace deririrore::metaschema::detail {

std::optional<ValidationError> draft201909_first_error(const Value& document);
bool draft201909_is_valid(const Value& document);
std::vector<ValidationError> draft201909_errors(const Value& document);

// The calling thread's scope stacks (first error, is-valid, collect) and visited stack: every
// check leaves them as it found them, so between checks they are empty.
struct Draft201909StackSizes {
    std::size_t first_error = 0;
    std::size_t is_valid = 0;
    std::size_t collect = 0;
    std::size_t visited = 0;
};
Draft201909StackSizes draft201909_stack_sizes() noexcept;

// The whole-text tests of the core vocabulary's "$id" and "$anchor" patterns.
bool draft201909_id_matches(std::string_view text) noexcept;
bool draft201909_anchor_matches(std::string_view text) noexcept;

}  // namespace deririrore::metaschema::detail
