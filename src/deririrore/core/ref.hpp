#pragma once
// Reference targets and the validators of `$ref`, `$dynamicRef` and `$recursiveRef`.
//
// A target whose compilation could not happen where its reference stands (a recursive reference,
// or a chain of on-the-spot compilations too deep) is reached through a `PendingNode`: a slot
// filled once, later in the same compilation. Every target choice is made at compile time.
// A weakly held slot (a target that belongs to another part of the tree) cuts cycles: the same
// target met again on the same instance value answers valid instead of recursing.
#include <cstdint>
#include <optional>

#include "deririrore/core/compiler.hpp"
#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"

namespace deririrore::core {

class PendingNode {
public:
    PendingNode() = default;
    PendingNode(const PendingNode&) = delete;
    PendingNode& operator=(const PendingNode&) = delete;

    // Filled once; a second fill is a broken invariant.
    void initialise(const SchemaNode* node, bool weak);
    bool initialised() const noexcept { return node_ != nullptr; }
    bool weak() const noexcept { return weak_; }
    // The node; using an unfilled slot is a broken invariant.
    const SchemaNode& node() const;

private:
    const SchemaNode* node_ = nullptr;
    bool weak_ = false;
};

// Runs the node operations through a slot, cutting cycles for weak slots.
class PendingNodeValidator final : public KeywordValidator {
public:
    explicit PendingNodeValidator(const PendingNode* slot) : slot_(slot) {}

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
    const Location& location() const override { return slot_->node().location(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

    const PendingNode* slot() const noexcept { return slot_; }

private:
    const PendingNode* slot_;
};

// The five locations a reference validator reports with.
struct RefLocations {
    // The keyword's Location with the current resource base stripped (evaluation paths).
    Location relative_keyword;
    // The keyword's full Location in the compilation.
    Location keyword;
    // Where the target lies inside the document or resource named by the resolved URI.
    Location target;
    // Where that document or resource lies inside the compilation's root schema; empty for the
    // root itself or another document. Rebases trace events into the root's coordinates.
    Location trace_prefix;
    AbsoluteLocation absolute_target;
};

// A reference validator: the target is a node held directly, or a slot.
class RefValidator final : public KeywordValidator {
public:
    RefValidator(const SchemaNode* node, RefLocations locations)
        : node_(node), locations_(std::move(locations)), unprefixed_(locations_.trace_prefix.empty()) {}
    RefValidator(const PendingNode* slot, RefLocations locations)
        : slot_(slot), pending_(slot), locations_(std::move(locations)), unprefixed_(locations_.trace_prefix.empty()) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, ErrorSink& sink) const override;
    // Both branches call a final class directly: no indirect call on the way to the target.
    bool is_valid(const Value& instance, ValidationContext& ctx) const override {
        if (node_ != nullptr) return node_->is_valid(instance, ctx);
        return pending_.is_valid(instance, ctx);
    }
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                 const Location& instance_location, const RefChain* chain,
                                 EvaluationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    std::optional<RefTarget> ref_target() const override {
        return RefTarget{&locations_.target, locations_.absolute_target ? &locations_.absolute_target : nullptr};
    }
    const Location& location() const override { return locations_.keyword; }
    // A slot's node may not exist yet, and a weak one cuts cycles: only a direct target is known.
    KindRejection kind_rejection(value::ValueKind kind) const override {
        return node_ != nullptr ? node_->kind_rejection(kind) : KindRejection{};
    }
    // Inline, so that a node tracing a reference with no prefix to apply goes straight to the target.
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override {
        if (!unprefixed_ || ctx.prefix_cell() != nullptr) return trace_prefixed(instance, instance_path, tracer, ctx);
        const bool valid = trace_target(instance, instance_path, tracer, ctx);
        const TraceOutcome outcome = outcome_of(valid);
        tracer.emit(instance_path, locations_.keyword, outcome);
        if (!locations_.target.empty()) tracer.emit(instance_path, locations_.target, outcome);
        return valid;
    }

    const RefLocations& locations() const noexcept { return locations_; }
    // The node held directly, or null when the target sits in a slot.
    const SchemaNode* direct_target() const noexcept { return node_; }
    const PendingNode* slot() const noexcept { return slot_; }

private:
    const KeywordValidator& target() const;
    bool trace_target(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                      TraceContext& ctx) const {
        if (node_ != nullptr) return node_->trace(instance, instance_path, tracer, ctx);
        return pending_.trace(instance, instance_path, tracer, ctx);
    }
    // Trace with a prefix to set or apply to the target's events.
    bool trace_prefixed(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                        TraceContext& ctx) const;

    const SchemaNode* node_ = nullptr;
    const PendingNode* slot_ = nullptr;
    PendingNodeValidator pending_{nullptr};
    RefLocations locations_;
    bool unprefixed_;
};

// Compile functions of the reference keywords.
KeywordCompileResult compile_ref_keyword(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_dynamic_ref_keyword(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_recursive_ref(const CompileContext& ctx, const Value& parent, const Value& value);

// The query that keeps recursion bounded: whether a target must be deferred to the queue.
inline constexpr std::uint32_t kMaxOnTheSpotTargets = 8;

}  // namespace deririrore::core
