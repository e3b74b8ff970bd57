#pragma once
// `unevaluatedItems`: the items of an array instance that nothing else evaluated (`prefixItems`,
// `items`, `additionalItems`, `contains`, and the subschemas that apply through the applicators
// and references) must satisfy the keyword's subschema. Evaluated items are worked out per
// instance from the schema object's `ItemsValidators`, one flag per item. Errors list the failing
// items as compact JSON texts.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/evaluated.hpp"

namespace deririrore::keywords {

// Sets the flag of every item that `validators` and the subschemas reached from it evaluate, on
// flags that start all clear; with `include_unevaluated` a nested `unevaluatedItems` counts as
// evaluating the items it accepts.
void mark_evaluated_items(const ItemsValidators& validators, const Value& instance, std::vector<std::uint8_t>& flags,
                          core::ValidationContext& ctx, bool include_unevaluated);

class UnevaluatedItemsValidator final : public core::KeywordValidator {
public:
    UnevaluatedItemsValidator(const ItemsValidators* validators, const SchemaNode* unevaluated, Location location,
                              std::shared_ptr<const EvaluatedArena> arena)
        : validators_(validators), unevaluated_(unevaluated), location_(std::move(location)), arena_(std::move(arena)) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_array(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const ItemsValidators& validators() const { return finished(validators_); }
    const std::shared_ptr<const EvaluatedArena>& arena() const noexcept { return arena_; }

private:
    std::vector<std::uint8_t> evaluated_flags(const Value& instance, core::ValidationContext& ctx,
                                              bool include_unevaluated) const;
    ValidationError error_for(std::vector<std::string> texts, const Value& instance,
                              const core::LazyLocation& instance_path, const core::RefChain* chain) const;

    const ItemsValidators* validators_;
    const SchemaNode* unevaluated_;
    Location location_;
    std::shared_ptr<const EvaluatedArena> arena_;
};

KeywordCompileResult compile_unevaluated_items(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
