#pragma once
// patternProperties: every property whose name a pattern matches must be valid against that
// pattern's subschema. Beside a closing `additionalProperties` the keyword builds nothing (that
// validator checks the patterns too).
//
// The patterns of one validator are all engine-free shapes or all compiled by the engine of the
// options. With one pattern the pattern's own Location stands for the keyword's.
#include <optional>
#include <vector>

#include "deririrore/keywords/object_patterns.hpp"

namespace deririrore::keywords {

class PatternPropertiesValidator final : public core::KeywordValidator {
public:
    // `entries` in ascending pattern order.
    PatternPropertiesValidator(std::vector<PatternEntry> entries, Location location);

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return single() ? entries_.front().location() : location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

    const std::vector<PatternEntry>& entries() const noexcept { return entries_; }
    bool single() const noexcept { return entries_.size() == 1; }

private:
    std::vector<PatternEntry> entries_;
    // The keyword Location; reported only by the forms with other than one pattern.
    Location location_;
};

KeywordCompileResult compile_pattern_properties(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
