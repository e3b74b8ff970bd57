#pragma once
// A compiled schema: a boolean schema, the compiled keywords of a schema object in priority
// order, or a plain list of validators. A node is itself a keyword validator, so applicators hold
// subschemas as `const SchemaNode*`. Nodes are owned by the compiled validator's arena.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "deririrore/core/keyword.hpp"

namespace deririrore::core {

// Locations of a keyword that a validator keeps for itself (a fused validator's absorbed keywords).
struct KeywordLocationRecord {
    Location location;
    AbsoluteLocation absolute;
    // The absolute location's text when there is one, else the Location.
    Location resolved;
};

// What the fused `type: array` + `items` (+ `minItems`/`maxItems`) validator shares with its node,
// so that evaluation output reports the absorbed keywords where they would have stood.
struct FusedArrayInfo {
    KeywordLocationRecord type;
    std::optional<KeywordLocationRecord> min_items;
    std::optional<std::uint64_t> min_limit;
    std::optional<KeywordLocationRecord> max_items;
    std::optional<std::uint64_t> max_limit;
};

struct CompiledKeyword {
    KeywordValidatorPtr validator;
    Location location;
    AbsoluteLocation absolute_location;
    // Display location for evaluation output: the target's for reference keywords.
    Location resolved_location;
    // The location and absolute location reported for this entry's evaluation node.
    Location target_location;
    AbsoluteLocation target_absolute;
    bool pre_check = false;
};

class SchemaNode final : public KeywordValidator {
public:
    enum class Form : std::uint8_t { Boolean, Keywords, Plain };

    // `true` (no validator) or `false` (the false-schema validator).
    static std::unique_ptr<SchemaNode> boolean(bool value, Location location, AbsoluteLocation absolute);
    static std::unique_ptr<SchemaNode> keywords(std::vector<CompiledKeyword> entries, SharedValue annotations,
                                                std::shared_ptr<const FusedArrayInfo> fused, std::size_t split,
                                                Location location, AbsoluteLocation absolute);
    static std::unique_ptr<SchemaNode> plain(std::vector<CompiledKeyword> entries, Location location,
                                             AbsoluteLocation absolute);

    Form form() const noexcept { return form_; }
    const std::vector<CompiledKeyword>& entries() const noexcept { return entries_; }
    const SharedValue& annotations() const noexcept { return annotations_; }
    const std::shared_ptr<const FusedArrayInfo>& fused_array() const noexcept { return fused_; }
    std::size_t split() const noexcept { return split_; }
    const AbsoluteLocation& absolute_location() const noexcept { return absolute_; }
    const Location& resolved_location() const noexcept { return resolved_; }
    // The boolean schema `true`: no validator at all.
    bool is_true() const noexcept { return form_ == Form::Boolean && entries_.empty(); }
    bool is_false() const noexcept { return form_ == Form::Boolean && !entries_.empty(); }

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                 const Location& instance_location, const RefChain* chain,
                                 EvaluationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;
    KindRejection kind_rejection(value::ValueKind kind) const override {
        return kind_rejections_[static_cast<unsigned>(kind)];
    }

private:
    SchemaNode(Form form, std::vector<CompiledKeyword> entries, Location location, AbsoluteLocation absolute);

    // What the is_valid and trace loops read of each entry, packed apart from the entries' other
    // locations: the validator, and for a check of the instance's kind alone the kinds it accepts
    // and the location its event names.
    // References are called by their own class, so the compiler makes those calls direct.
    struct Step {
        const KeywordValidator* validator;
        const Location* location;
        std::uint8_t accepted_kinds;
        bool reference;
    };

    Form form_;
    std::vector<CompiledKeyword> entries_;
    std::vector<Step> steps_;
    // For each instance kind, the walk of `is_valid` when a check of the kind alone rejects the
    // instance: this node's leading kind checks, else the keyword right after them (a reference, an
    // applicator whose branches all reject the kind). `is_valid` then answers at once with the same
    // step accounting, unless a limit would cut the walk.
    KindRejection kind_rejections_[6] = {};
    // The first step `is_valid` runs when the table has not decided: the leading kind checks passed.
    std::uint32_t first_checked_step_ = 0;
    SharedValue annotations_;
    std::shared_ptr<const FusedArrayInfo> fused_;
    std::size_t split_ = 0;
    Location location_;
    AbsoluteLocation absolute_;
    Location resolved_;
};

// The single validator of a node compiled from the boolean schema false.
class FalseSchemaValidator final : public KeywordValidator {
public:
    explicit FalseSchemaValidator(Location location) : location_(std::move(location)) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, ErrorSink& sink) const override;
    bool is_valid(const Value&, ValidationContext&) const override { return false; }
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate_at(const Value& instance, const LazyLocation& instance_path, const Location&,
                                 const RefChain* chain, EvaluationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool trace(const Value&, const LazyLocation&, Tracer&, TraceContext&) const override { return false; }

private:
    Location location_;
};

// The error given where nesting exceeds the context's depth limit.
ValidationError depth_limit_error(const Location& schema_location, const Value& instance,
                                  const LazyLocation& instance_path, const RefChain* chain,
                                  const ValidationContext& ctx);
std::string depth_limit_message(std::uint32_t limit);
// The message of whichever limit cut the call: the nesting depth or the budget of schema nodes entered.
std::string limit_message(const ValidationContext& ctx);

}  // namespace deririrore::core
