#pragma once
#include <cstdint>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"

namespace deririrore::keywords {

// A subschema applied to many members or items. When its only check is the instance's kind
// (`type` alone) the check is made here, without a call into the node, yet with the node's depth
// and step accounting and the one event the node would emit.
class SubschemaCall {
public:
    explicit SubschemaCall(const core::SchemaNode* node) noexcept : node_(node), kinds_(kinds_only(*node)) {
        if (kinds_ != 0) kind_location_ = &node->entries().front().validator->location();
    }

    const core::SchemaNode* node() const noexcept { return node_; }

    bool is_valid(const value::Value& instance, core::ValidationContext& ctx) const {
        if (kinds_ == 0) return node_->is_valid(instance, ctx);
        if (!ctx.enter()) return false;
        ctx.leave();
        return (kinds_ & core::KeywordValidator::kind_bit(instance.kind())) != 0;
    }
    bool trace(const value::Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const {
        if (kinds_ == 0) return node_->trace(instance, instance_path, tracer, ctx);
        if (!ctx.enter()) return false;
        const bool matched = (kinds_ & core::KeywordValidator::kind_bit(instance.kind())) != 0;
        tracer.emit(instance_path, *kind_location_, core::outcome_of(matched));
        ctx.leave();
        return matched;
    }

private:
    // The kinds a node accepts when that is all it checks, else 0.
    static std::uint8_t kinds_only(const core::SchemaNode& node) noexcept {
        if (node.form() == core::SchemaNode::Form::Boolean || node.entries().size() != 1) return 0;
        const core::KeywordValidator* v = node.entries().front().validator.get();
        return v != nullptr ? v->accepted_kinds() : 0;
    }

    const core::SchemaNode* node_;
    const core::Location* kind_location_ = nullptr;
    std::uint8_t kinds_;
};

}  // namespace deririrore::keywords
