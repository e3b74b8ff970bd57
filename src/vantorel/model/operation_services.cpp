#include "vantorel/model/operation_services.hpp"

#include <utility>

#include "vantorel/model/hydration.hpp"
#include "vantorel/model/measured_schema.hpp"
#include "zavova/measured_targets.hpp"
#include "zavova/pass_only_targets.hpp"

namespace vantorel::model {

OperationServices default_operation_services(std::shared_ptr<MeasuredSchemaCache> cache) {
    OperationServices services;
    services.hydrate = [](ReferenceContext& context, Value schema, const LoadedDocument* scope) {
        return hydrate_schema(context, std::move(schema), scope);
    };
    services.draft = [](const ReferenceContext& context, const Value& schema) {
        return openapi_document_draft(context.hydration, schema);
    };
    services.compile = [cache = std::move(cache)](Value& schema, Draft draft, std::string_view marker,
                                                  bool is_body) -> Result<CompiledMeasure, SpecProblem> {
        auto measured = compile_measured_schema(schema, draft, marker, is_body, cache.get());
        if (!measured) return deririrore::make_unexpected(std::move(measured.error()));
        CompiledMeasure out;
        out.validator = std::make_shared<const deririrore::core::Validator>(std::move(measured->validator));
        for (RemovedPattern& removed : measured->removed_patterns) out.removed_patterns.push_back(removed.location);
        return out;
    };
    services.measure = [](const Value& schema, Draft draft, const CompiledMeasure& compiled, bool is_body) {
        zavova::EntryMap entries;
        if (is_body && !zavova::add_binary_schema_targets(schema, entries)) {
            zavova::collect_string_type_targets(schema, entries);
        }
        zavova::CoverageHolder holder = zavova::build_coverage_state(schema, draft, std::move(entries));
        if (!compiled.removed_patterns.empty()) {
            zavova::CoverageState& state = zavova::make_state_unique(holder);
            for (const std::string& location : compiled.removed_patterns) {
                state.entries.set(location, zavova::EntryKind::unmeasured(zavova::UnmeasuredReason::InvalidPattern));
            }
            state.special_index.reset();
        }
        return holder;
    };
    return services;
}

}  // namespace vantorel::model
