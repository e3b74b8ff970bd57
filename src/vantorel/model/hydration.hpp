#pragma once
// Making a measured schema self-contained before it is compiled: every `$ref` it holds is
// followed into the API document or into a referenced local file, and the target is copied into
// the schema where the (possibly rewritten) reference finds it; targets are walked in turn until
// nothing new is found. Targets in the API document sit at their own pointer; referenced files
// sit under the document's component root ("components"/"schemas", or "definitions" for Swagger
// 2.0) under a name relative to the base directory.
//
//   auto hydrated = hydrate_schema_in_scope(context, Value(schema));
//   if (!hydrated) record(hydrated.error());     // the reference form of SpecProblem
//   Draft draft = openapi_document_draft(context.hydration, *hydrated);
//
// A `$ref` is only followed where a schema stands: never inside `example`, `examples`, `enum`,
// `const`, `default` or an `x-` extension value, which are data. Every walk uses an explicit stack.
#include <cstddef>
#include <string>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/reference_context.hpp"

namespace vantorel::model {

struct HydrationOptions {
    ReferencedFileRetriever* retriever = nullptr;
    // Referenced files are named relative to it.
    std::string base_directory;
    // Where relative file references of the hydration document resolve from.
    std::string base;
    // Where referenced files are placed: {"components", "schemas"} or {"definitions"}.
    std::vector<std::string> component_root;
};

// The whole of hydration. Without `options` every reference leaving the hydration document is
// unsupported. On failure the schema is dropped and the first failure returned.
Result<Value, ReferenceFailure> hydrate_openapi_document(Value schema, HydrationState& hydration,
                                                         const HydrationOptions* options);

// Fills `hydration.anchor_index` from the anchors of "/components/schemas" members that have no
// identifier of their own; the first declaration of a name keeps it.
void build_document_anchor_index(HydrationState& hydration);

// Hydrates with the context's record, or, given `base` (the referenced file that holds the
// schema), with a record of that file's document that lives for this call. Files are readable
// only when the context has a base directory.
Result<Value, SpecProblem> hydrate_schema(ReferenceContext& context, Value schema, const LoadedDocument* base);

// hydrate_schema in the context's current scope.
Result<Value, SpecProblem> hydrate_schema_in_scope(ReferenceContext& context, Value schema);

// The draft a hydrated schema is compiled with: the record's draft unless it is 2020-12; then the
// schema's own "$schema", else the document's "jsonSchemaDialect", when either names a known
// draft; else 2020-12. `hydration` is the context's own record (its document the API document).
deririrore::referencing::Draft openapi_document_draft(const HydrationState& hydration, const Value& schema);

}  // namespace vantorel::model
