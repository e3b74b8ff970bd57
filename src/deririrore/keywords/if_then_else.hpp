#pragma once
// `if` with `then` and/or `else`, compiled into one validator when `if` is met beside at least
// one branch. The condition only chooses the branch: every error comes from the branch taken.
// The trace reports the condition as a check at the `if` Location and the branch taken as a
// check at the branch's Location.
#include <optional>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

// `HasThen`/`HasElse` say which branches exist; the three forms differ only in them.
template <bool HasThen, bool HasElse>
class ConditionalValidator final : public core::KeywordValidator {
    static_assert(HasThen || HasElse, "a condition needs a branch");

public:
    ConditionalValidator(const SchemaNode* if_node, const SchemaNode* then_node, const SchemaNode* else_node)
        : if_(if_node), then_(then_node), else_(else_node) {}

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
    const Location& location() const override { return if_->location(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const SchemaNode& if_node() const noexcept { return *if_; }
    const SchemaNode* then_node() const noexcept { return then_; }
    const SchemaNode* else_node() const noexcept { return else_; }

private:
    // The branch for the condition's outcome; null when there is none for that case.
    const SchemaNode* branch(bool condition) const noexcept { return condition ? then_ : else_; }

    const SchemaNode* if_;
    const SchemaNode* then_;
    const SchemaNode* else_;
};

using IfThenValidator = ConditionalValidator<true, false>;
using IfElseValidator = ConditionalValidator<false, true>;
using IfThenElseValidator = ConditionalValidator<true, true>;

// Called for `if`; `then` and `else` are read from the parent. A lone `if` gives nothing.
KeywordCompileResult compile_if(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
