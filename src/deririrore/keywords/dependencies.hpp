#pragma once
// dependencies: when a named property is present, the object must also have the listed
// properties (array members) or be valid against a subschema (every other member).
#include <memory>
#include <string>
#include <vector>

#include "deririrore/keywords/object_common.hpp"

namespace deririrore::keywords {

class DependenciesValidator final : public core::KeywordValidator {
public:
    struct Entry {
        std::string name;
        const SchemaNode* node;
        // The node wrapping the `required` check of an array member; owned here.
        std::unique_ptr<SchemaNode> owned;
        // The member's own Location; traced after a subschema member's node.
        Location location;
        bool names_only;
    };

    DependenciesValidator(std::vector<Entry> entries, Location location)
        : entries_(std::move(entries)), location_(std::move(location)) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                 const Location& instance_location, const RefChain* chain,
                                 EvaluationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

    const std::vector<Entry>& entries() const noexcept { return entries_; }

private:
    std::vector<Entry> entries_;
    Location location_;
};

KeywordCompileResult compile_dependencies(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
