#include "vantorel/model/operation_services.hpp"

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vantorel/model/hydration.hpp"
#include "vantorel/model/measured_schema.hpp"

namespace vantorel::model {
namespace {

// Coverage states of equal measured schemas, shared copy-on-write: a large document measures the
// same few thousand schemas tens of thousands of times, and a state is copied only when written.
// The compile hands out one shared value per distinct prepared schema, so the value's identity
// stands for its content and no schema is hashed or compared here.
class MeasureCache {
public:
    struct Key {
        const Value* schema;
        Draft draft;
        TargetRecipe recipe;
        bool operator==(const Key&) const = default;
    };

    zavova::CoverageHolder* find(const Key& key, const CompiledMeasure& compiled) {
        const auto found = entries_.find(key);
        if (found == entries_.end()) return nullptr;
        for (Entry& entry : found->second) {
            if (entry.removed_patterns == compiled.removed_patterns) return &entry.holder;
        }
        return nullptr;
    }
    void add(const Key& key, std::shared_ptr<const Value> schema, const CompiledMeasure& compiled,
             const zavova::CoverageHolder& holder) {
        entries_[key].push_back(Entry{std::move(schema), compiled.removed_patterns, holder});
    }
    zavova::KeywordWalkMemo& walk_memo() { return walk_memo_; }

private:
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept {
            return std::hash<const Value*>{}(key.schema) ^ (static_cast<std::size_t>(key.draft) << 8) ^
                   (static_cast<std::size_t>(key.recipe) << 16);
        }
    };
    struct Entry {
        // Keeps the value alive, so that no other schema can take its address.
        std::shared_ptr<const Value> schema;
        std::vector<std::string> removed_patterns;
        zavova::CoverageHolder holder;
    };
    std::unordered_map<Key, std::vector<Entry>, KeyHash> entries_;
    zavova::KeywordWalkMemo walk_memo_;
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
        auto measured = compile_shared_measured_schema(std::move(schema), draft, marker, is_body, *cache);
        if (!measured) return deririrore::make_unexpected(std::move(measured.error()));
        CompiledMeasure out;
        out.validator = std::make_shared<const deririrore::core::Validator>(std::move(measured->validator));
        for (RemovedPattern& removed : measured->removed_patterns) out.removed_patterns.push_back(removed.location);
        out.schema = std::move(measured->schema);
        return out;
    };
    services.measure = [measures = std::make_shared<MeasureCache>()](const std::shared_ptr<const Value>& schema,
                                                                     Draft draft, const CompiledMeasure& compiled,
                                                                     TargetRecipe recipe) {
        const MeasureCache::Key key{schema.get(), draft, recipe};
        if (const zavova::CoverageHolder* known = measures->find(key, compiled)) return *known;
        zavova::CoverageHolder holder =
            measure_target(*schema, draft, compiled.removed_patterns, recipe, &measures->walk_memo());
        measures->add(key, schema, compiled, holder);
        return holder;
    };
    services.shared_measures = std::make_shared<SharedMeasureCache>();
    return services;
}

}  // namespace vantorel::model
