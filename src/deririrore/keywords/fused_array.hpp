#pragma once
// `type: "array"` with `items` and the optional `minItems`/`maxItems` of one schema object,
// checked in one pass by one validator that stands at the place of `items` in keyword order.
// Errors, trace events and evaluation output still name the four keywords' own Locations.
#include <cstdint>
#include <memory>
#include <optional>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/items_of_type.hpp"

namespace deririrore::keywords {

class FusedArrayValidator final : public core::KeywordValidator {
public:
    // Item kinds: 0 number, 1 string, 2 boolean, 3 integer by literal form (draft 4),
    // 4 integer by value, 5 any other items schema.
    enum class ItemKind : std::uint8_t { Number = 0, String = 1, Boolean = 2, Draft4Integer = 3, Integer = 4, Node = 5 };

    // An item type checked without a subschema.
    FusedArrayValidator(std::unique_ptr<ItemsOfTypeValidator> items, std::shared_ptr<const core::FusedArrayInfo> info);
    // A general items subschema.
    FusedArrayValidator(const SchemaNode* items, std::shared_ptr<const core::FusedArrayInfo> info);

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    // Only the item evaluation: the node reports `type` and the bounds from the shared record.
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return info_->type.location; }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    ItemKind item_kind() const noexcept { return item_kind_; }
    std::uint64_t min_items() const noexcept { return min_items_; }
    std::uint64_t max_items() const noexcept { return max_items_; }
    const core::FusedArrayInfo& info() const noexcept { return *info_; }

private:
    bool length_ok(std::size_t n) const noexcept { return min_items_ <= n && n <= max_items_; }
    bool items_valid(const Value& array, core::ValidationContext& ctx) const;
    ValidationError type_error(const Value& instance, const core::LazyLocation& instance_path,
                               const core::RefChain* chain) const;
    ValidationError min_items_error(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain) const;
    ValidationError max_items_error(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain) const;

    ItemKind item_kind_;
    std::unique_ptr<ItemsOfTypeValidator> of_type_;
    const SchemaNode* node_ = nullptr;
    std::shared_ptr<const core::FusedArrayInfo> info_;
    std::uint64_t min_items_;
    std::uint64_t max_items_;
};

// The compile step the node compiler calls when it fuses an array schema; `info` holds the
// Locations and limits of `type`, `minItems` and `maxItems`.
KeywordCompileResult compile_fused_array(const CompileContext& ctx, const Value& parent, const Value& items,
                                         const std::shared_ptr<const core::FusedArrayInfo>& info);

}  // namespace deririrore::keywords
