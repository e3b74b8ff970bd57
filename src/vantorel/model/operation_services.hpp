#pragma once
// What reading operations asks of schema hydration, compilation and measurement, as a narrow set
// of functions: the operation model does not care how a schema is placed or compiled, and tests
// can count or fake each step.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/reference_context.hpp"
#include "vantorel/model/target_builders.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::model {

using deririrore::referencing::Draft;

// A compiled measured schema: the validator and the locations of the patterns left out of it.
struct CompiledMeasure {
    std::shared_ptr<const deririrore::core::Validator> validator;
    std::vector<std::string> removed_patterns;
    // The prepared schema, shared by every identical one of the build, when the compile took the
    // caller's value over; null when the caller's value holds it.
    std::shared_ptr<const Value> schema = nullptr;
};

// A measured schema as parameters and bodies share it: the build measures the same few schemas
// for thousands of targets, and hydrating each again would copy the components it reaches.
struct SharedMeasure {
    std::shared_ptr<const Value> schema;  // as the compile prepared it
    std::shared_ptr<const deririrore::core::Validator> validator;
    zavova::CoverageHolder holder;
    Draft draft = Draft::Draft4;
    std::uint8_t types = 127;
    bool digit_strings = false;
    std::shared_ptr<const xml::XmlHints> xml_hints;  // when the target's media type may carry XML
};

// Keyed on the schema's text before hydration, the scope it is hydrated in and the kind of
// target: equal keys hydrate, compile and measure equally within one build.
class SharedMeasureCache {
public:
    const SharedMeasure* find(const std::string& key) const {
        auto found = entries_.find(key);
        return found == entries_.end() ? nullptr : &found->second;
    }
    void insert(std::string key, SharedMeasure measure) { entries_.emplace(std::move(key), std::move(measure)); }
    std::size_t size() const noexcept { return entries_.size(); }

private:
    std::unordered_map<std::string, SharedMeasure> entries_;
};

struct OperationServices {
    // Places what the schema's references point to. `scope` is the referenced file that holds the
    // schema, or null for the API document.
    std::function<Result<Value, SpecProblem>(ReferenceContext&, Value schema, const LoadedDocument* scope)> hydrate;
    // The draft a hydrated schema is compiled with.
    std::function<Draft(const ReferenceContext&, const Value& schema)> draft;
    // `excluded_marker` is "readOnly" for requests and "writeOnly" for responses; the schema may
    // be adapted in place, or taken over when the result carries the prepared schema.
    std::function<Result<CompiledMeasure, SpecProblem>(Value& schema, Draft, std::string_view excluded_marker,
                                                       bool is_body)>
        compile;
    // A fresh coverage state for a compiled schema, with the entries its kind of target registers.
    // The schema is shared with the target, so that the build keeps no copy of its own; states
    // are shared between targets given the same shared schema.
    std::function<zavova::CoverageHolder(const std::shared_ptr<const Value>& schema, Draft, const CompiledMeasure&,
                                         TargetRecipe)>
        measure;
    // Where parameters and request bodies share their measured schemas; none: every target
    // hydrates, compiles and measures its own.
    std::shared_ptr<SharedMeasureCache> shared_measures;
};

class MeasuredSchemaCache;

// The build's own services: hydrate_schema, openapi_document_draft, compile_shared_measured_schema
// through `cache` (kept alive by the services; equal prepared schemas come back as one shared
// value), and a coverage state from measure_target, shared between targets of the same kind
// given that one value.
OperationServices default_operation_services(std::shared_ptr<MeasuredSchemaCache> cache);

// Hydration in the context's current scope.
inline Result<Value, SpecProblem> hydrate_in_scope(const OperationServices& services, ReferenceContext& context,
                                                   Value schema) {
    const LoadedDocument* scope = context.current_scope.get();
    return services.hydrate(context, std::move(schema), scope);
}

}  // namespace vantorel::model
