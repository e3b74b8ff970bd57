#pragma once
// The one door into the canonical form: which schema objects of a document no
// instance can satisfy, with their causes. A schema the form cannot model
// yields no location; only the canonical form's own errors fail.
#include <memory>
#include <optional>

#include "deririrore/canonical/causes.hpp"
#include "deririrore/canonical/context.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

struct AnalysisRequest {
    // The document root; it must outlive the call.
    const value::Value* schema = nullptr;
    regex::PatternOptions pattern_options;
    Draft draft = Draft::Draft202012;
    // Set for drafts 4, 6 and 7 by the caller.
    bool format_asserts = false;
    std::shared_ptr<PatternCache> pattern_cache;
    // The registry resolver at the document root; none for an unknown dialect.
    std::optional<referencing::Resolver> scope;
};

Result<UnsatisfiableMap, CanonicalError> canonicalize_schema(const AnalysisRequest& request);

}  // namespace deririrore::canonical
