#pragma once
// `dependentRequired` and `dependentSchemas`: per property name, a requirement on the whole
// object that applies only when the object has that property. Both hold one node per entry (for
// `dependentRequired` a plain node around a `required` check) and share every operation but the
// trace.
#include <string>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

struct DependentEntry {
    std::string name;
    // Its Location is the entry's: the keyword Location plus the escaped name.
    const SchemaNode* node;
};

class DependentValidatorBase : public core::KeywordValidator {
public:
    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }

    const std::vector<DependentEntry>& entries() const noexcept { return entries_; }

protected:
    DependentValidatorBase(std::vector<DependentEntry> entries, Location location)
        : entries_(std::move(entries)), location_(std::move(location)) {}

    // Traces the applying entries; with `entry_events` each entry's outcome is reported at its
    // Location after its node's events.
    bool trace_entries(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
                       core::TraceContext& ctx, bool entry_events) const;

    std::vector<DependentEntry> entries_;
    Location location_;
};

class DependentRequiredValidator final : public DependentValidatorBase {
public:
    DependentRequiredValidator(std::vector<DependentEntry> entries, Location location)
        : DependentValidatorBase(std::move(entries), std::move(location)) {}

    // The `required` checks report themselves; only the keyword's own event is added.
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override {
        return trace_entries(instance, instance_path, tracer, ctx, false);
    }
};

class DependentSchemasValidator final : public DependentValidatorBase {
public:
    DependentSchemasValidator(std::vector<DependentEntry> entries, Location location)
        : DependentValidatorBase(std::move(entries), std::move(location)) {}

    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override {
        return trace_entries(instance, instance_path, tracer, ctx, true);
    }
};

KeywordCompileResult compile_dependent_required(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_dependent_schemas(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
