#pragma once
// The array item keywords: `items` (one schema for every item, or beside `prefixItems` for the
// items after the prefix, or a tuple of position schemas), `prefixItems`, and `additionalItems`
// after an `items` tuple. Only arrays are checked; any other instance is valid and traces as not
// applicable. The coverage core sees arrays mostly through these traces, so the event order is
// fixed: an item's own events first, then the keyword's.
#include <cstdint>
#include <optional>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

// One subschema applied to every item from index `start` on. The node's Location is the keyword
// Location.
class ItemsFromValidator : public core::KeywordValidator {
public:
    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    const Location& location() const override { return node_->location(); }
    bool applies_to(const Value& instance) const override { return instance.is_array(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const SchemaNode& node() const noexcept { return *node_; }
    std::uint64_t start() const noexcept { return start_; }

protected:
    ItemsFromValidator(const SchemaNode* node, std::uint64_t start) : node_(node), start_(start) {}

    // One child unit per item from `start` on, valid when all are; annotated true when at least
    // one item was checked, false otherwise.
    core::EvaluationResult evaluate_items(const Value& instance, const core::LazyLocation& instance_path,
                                          const Location& instance_location, const core::RefChain* chain,
                                          core::EvaluationContext& ctx) const;

    const SchemaNode* node_;
    std::uint64_t start_;
};

// `items` as one schema.
class ItemsSchemaValidator final : public ItemsFromValidator {
public:
    explicit ItemsSchemaValidator(const SchemaNode* node) : ItemsFromValidator(node, 0) {}

    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
};

// `items` as one schema beside a `prefixItems` array of `prefix` entries.
class ItemsAfterPrefixValidator final : public ItemsFromValidator {
public:
    ItemsAfterPrefixValidator(const SchemaNode* node, std::uint64_t prefix) : ItemsFromValidator(node, prefix) {}

    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
};

// `additionalItems` as a schema after an `items` tuple of `tuple_length` entries. Its evaluation
// reports the item errors as its own descriptions, without child units.
class AdditionalItemsValidator final : public ItemsFromValidator {
public:
    AdditionalItemsValidator(const SchemaNode* node, std::uint64_t tuple_length)
        : ItemsFromValidator(node, tuple_length) {}
};

// One schema per position: the `items` tuple and `prefixItems`. Positions beyond the array's end
// are not checked and leave no trace.
class PositionalItemsValidator : public core::KeywordValidator {
public:
    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_array(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const std::vector<const SchemaNode*>& positions() const noexcept { return nodes_; }

protected:
    PositionalItemsValidator(std::vector<const SchemaNode*> nodes, Location location)
        : nodes_(std::move(nodes)), location_(std::move(location)) {}

    std::size_t checked(const Value& array) const noexcept {
        return std::min(array.as_array().size(), nodes_.size());
    }
    // One child unit per checked position; no annotation.
    core::EvaluationResult evaluate_positions(const Value& instance, const core::LazyLocation& instance_path,
                                              const Location& instance_location, const core::RefChain* chain,
                                              core::EvaluationContext& ctx) const;

    std::vector<const SchemaNode*> nodes_;
    Location location_;
};

// `items` as an array of schemas (the tuple form of the older drafts).
class ItemsArrayValidator final : public PositionalItemsValidator {
public:
    ItemsArrayValidator(std::vector<const SchemaNode*> nodes, Location location)
        : PositionalItemsValidator(std::move(nodes), std::move(location)) {}

    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
};

class PrefixItemsValidator final : public PositionalItemsValidator {
public:
    PrefixItemsValidator(std::vector<const SchemaNode*> nodes, Location location)
        : PositionalItemsValidator(std::move(nodes), std::move(location)) {}

    // Annotated true when the positions covered the whole array, else the last checked index.
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
};

// `additionalItems: false` after an `items` tuple: a length limit, checked and traced as
// `maxItems` with the tuple's length would be.
class AdditionalItemsFalseValidator final : public core::KeywordValidator {
public:
    AdditionalItemsFalseValidator(Location location, std::uint64_t tuple_length)
        : location_(std::move(location)), limit_(tuple_length) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_array(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    std::uint64_t limit() const noexcept { return limit_; }

private:
    Location location_;
    std::uint64_t limit_;
};

KeywordCompileResult compile_items(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_prefix_items(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_additional_items(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
