#pragma once
// Following the `$ref` of a parameter, request body, response, media type or path item to the
// object it names: in the document of the current scope, or in a referenced local file.
#include <string_view>
#include <utility>

#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/reference_context.hpp"

namespace vantorel::model {

// A "#..." text is a JSON pointer into the document of `scope` (the API document when null); any
// other text names a file relative to the scope's directory or the base directory, read once per
// build. A target that is itself a `$ref` object is followed in turn. `scope` becomes the file
// that holds the target. Failures: a `$ref` that is no string, one with a URI scheme or leaving
// a document that came from a URL (not followed), a file part that is not UTF-8 once decoded, an
// unreadable file, a pointer leading nowhere, and a chain that comes back to a target it passed.
Result<const Value*, SpecProblem> resolve_reference(ReferenceContext& context, const Value& reference,
                                                    SharedDocument& scope);

// Resolves from a copy of the current scope without entering it: the target and the scope of the
// file that holds it.
Result<std::pair<const Value*, SharedDocument>, SpecProblem> resolve_in_current_scope(ReferenceContext& context,
                                                                                      const Value& reference);

}  // namespace vantorel::model
