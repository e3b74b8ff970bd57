#pragma once
// `items` whose schema only fixes the item type ({"type": "number"} and the like), checked by a
// tag test or a text scan per item instead of a walk through a subschema node. Answers, errors,
// evaluation output and array traces are those of the general path (an item node holding the
// one `type` validator); a non-array instance traces both the `items` and the nested `type`
// keyword as not applicable, and `location` is the nested `type` Location.
#include <cstdint>
#include <optional>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/type.hpp"

namespace deririrore::keywords {

// The item kinds in the numbering of the `items` selection: 0 number, 1 string, 2 boolean,
// 3 integer by value, 4 integer by literal form (draft 4).
enum class ItemTypeKind : std::uint8_t { Number = 0, String = 1, Boolean = 2, Integer = 3, Draft4Integer = 4 };

class ItemsOfTypeValidator final : public core::KeywordValidator {
public:
    ItemsOfTypeValidator(ItemTypeKind kind, core::KeywordLocationRecord items, core::KeywordLocationRecord type);

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
    const Location& location() const override { return type_.location; }
    bool applies_to(const Value& instance) const override { return instance.is_array(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    // The same test the single-type `type` validator makes.
    bool conforms(const Value& item) const noexcept { return value_matches_type(item, json_type_, draft4_); }
    bool all_conform(const Value& array) const noexcept {
        for (const Value& item : array.as_array()) {
            if (!conforms(item)) return false;
        }
        return true;
    }

    ItemTypeKind kind() const noexcept { return kind_; }
    const core::KeywordLocationRecord& items_record() const noexcept { return items_; }
    const core::KeywordLocationRecord& type_record() const noexcept { return type_; }

private:
    ItemTypeKind kind_;
    JsonType json_type_;
    bool draft4_;
    core::KeywordLocationRecord items_;
    core::KeywordLocationRecord type_;
    // Makes the errors and the nested evaluation units of the items that fail.
    KeywordValidatorPtr type_validator_;
};

// The validator for `items` of the schema object whose context is given; never fails.
std::unique_ptr<ItemsOfTypeValidator> build_items_of_type(const CompileContext& ctx, ItemTypeKind kind);

}  // namespace deririrore::keywords
