#include "vantorel/model/operation_services.hpp"

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "deririrore/value/cmp.hpp"
#include "vantorel/model/hydration.hpp"
#include "vantorel/model/measured_schema.hpp"

namespace vantorel::model {
namespace {

// Coverage states of equal measured schemas, shared copy-on-write: a large document measures the
// same few thousand schemas tens of thousands of times, and a state is copied only when written.
class MeasureCache {
public:
    zavova::CoverageHolder* find(const Value& schema, Draft draft, const CompiledMeasure& compiled, TargetRecipe recipe,
                                 std::uint64_t& key) {
        deririrore::value::Hasher hasher;
        deririrore::value::hash_json_value(schema, hasher);
        key = hasher.finish() ^ (static_cast<std::uint64_t>(draft) << 8) ^ static_cast<std::uint64_t>(recipe);
        const auto found = entries_.find(key);
        if (found == entries_.end()) return nullptr;
        for (Entry& entry : found->second) {
            if (entry.draft == draft && entry.recipe == recipe && entry.removed_patterns == compiled.removed_patterns &&
                identical(*entry.schema, schema))
                return &entry.holder;
        }
        return nullptr;
    }
    void add(std::uint64_t key, std::shared_ptr<const Value> schema, Draft draft, const CompiledMeasure& compiled,
             TargetRecipe recipe, const zavova::CoverageHolder& holder) {
        entries_[key].push_back(Entry{std::move(schema), draft, recipe, compiled.removed_patterns, holder});
    }

private:
    struct Entry {
        std::shared_ptr<const Value> schema;
        Draft draft;
        TargetRecipe recipe;
        std::vector<std::string> removed_patterns;
        zavova::CoverageHolder holder;
    };
    std::unordered_map<std::uint64_t, std::vector<Entry>> entries_;
};

}  // namespace

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
    services.measure = [measures = std::make_shared<MeasureCache>()](const std::shared_ptr<const Value>& schema,
                                                                     Draft draft, const CompiledMeasure& compiled,
                                                                     TargetRecipe recipe) {
        std::uint64_t key = 0;
        if (const zavova::CoverageHolder* known = measures->find(*schema, draft, compiled, recipe, key)) return *known;
        zavova::CoverageHolder holder = measure_target(*schema, draft, compiled.removed_patterns, recipe);
        measures->add(key, schema, draft, compiled, recipe, holder);
        return holder;
    };
    services.shared_measures = std::make_shared<SharedMeasureCache>();
    return services;
}

}  // namespace vantorel::model
