#pragma once
// `allOf`, `anyOf`, `oneOf` and `not`. Each keyword compiles into one of nine forms, by the number
// of branches and, for `anyOf`/`oneOf` with three or more, by whether a branch discriminator
// exists. Validity checks stop as early as the keyword allows; `trace` never stops early, since
// coverage counts every check: every branch is traced, each followed by its own event, then the
// keyword's event. The one-branch forms report differently from the lists (see each class).
#include <optional>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/discriminator.hpp"

namespace deririrore::keywords {

// What the list forms share: the branches in array order and the keyword's Location.
class BranchListValidator : public core::KeywordValidator {
public:
    const Location& location() const override { return location_; }
    const std::vector<const SchemaNode*>& branches() const noexcept { return branches_; }

protected:
    BranchListValidator(std::vector<const SchemaNode*> branches, Location location)
        : branches_(std::move(branches)), location_(std::move(location)) {}

    // One error list per branch, each error made independent of the instance.
    core::kinds::Context branch_errors(const Value& instance, const core::LazyLocation& instance_path,
                                       const core::RefChain* chain, core::ValidationContext& ctx) const;
    // Appends every branch's evaluation as a child unit; answers whether all were valid.
    bool append_every_branch(const Value& instance, const core::LazyLocation& instance_path,
                             const Location& instance_location, const core::RefChain* chain,
                             core::EvaluationContext& ctx, core::SiblingLinker& linker) const;
    // The walk when every branch rejects the kind: each branch in turn, none valid.
    core::KindRejection every_branch_rejection(value::ValueKind kind) const;
    // Traces every branch, each followed by its event; answers how many were valid.
    std::size_t trace_branches(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
                               core::TraceContext& ctx) const;

    std::vector<const SchemaNode*> branches_;
    Location location_;
};

class AllOfListValidator final : public BranchListValidator {
public:
    AllOfListValidator(std::vector<const SchemaNode*> branches, Location location)
        : BranchListValidator(std::move(branches), std::move(location)) {}

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
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;
    // The first failing branch ends the walk.
    core::KindRejection kind_rejection(value::ValueKind kind) const override {
        return branches_.empty() ? core::KindRejection{} : branches_.front()->kind_rejection(kind);
    }
};

// What the one-branch forms share: the branch decides validity and is the evaluation's only child.
class SingleBranchValidator : public core::KeywordValidator {
public:
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override {
        return node_->is_valid(instance, ctx);
    }
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    core::KindRejection kind_rejection(value::ValueKind kind) const override { return node_->kind_rejection(kind); }

    const SchemaNode& branch() const noexcept { return *node_; }

protected:
    SingleBranchValidator(const SchemaNode* node, Location location) : node_(node), location_(std::move(location)) {}

    const SchemaNode* node_;
    Location location_;
};

// `allOf` of one branch is that branch; its only event is at the branch's Location (allOf/0),
// which is also the Location it reports.
class AllOfSingleValidator final : public SingleBranchValidator {
public:
    explicit AllOfSingleValidator(const SchemaNode* node) : SingleBranchValidator(node, node->location()) {}

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;
};

// The list form of `anyOf`; with a discriminator an object instance is decided by one branch at
// most. Evaluation and tracing never consult the discriminator.
class AnyOfValidatorBase : public BranchListValidator {
public:
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

protected:
    using BranchListValidator::BranchListValidator;
    bool any_branch_valid(const Value& instance, core::ValidationContext& ctx) const;
};

class AnyOfListValidator final : public AnyOfValidatorBase {
public:
    AnyOfListValidator(std::vector<const SchemaNode*> branches, Location location)
        : AnyOfValidatorBase(std::move(branches), std::move(location)) {}
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override {
        return any_branch_valid(instance, ctx);
    }
    core::KindRejection kind_rejection(value::ValueKind kind) const override { return every_branch_rejection(kind); }
};

class DiscriminatedAnyOfValidator final : public AnyOfValidatorBase {
public:
    DiscriminatedAnyOfValidator(std::vector<const SchemaNode*> branches, BranchDiscriminator discriminator,
                                Location location)
        : AnyOfValidatorBase(std::move(branches), std::move(location)), discriminator_(std::move(discriminator)) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    // Objects are decided by the discriminator, other kinds by every branch.
    core::KindRejection kind_rejection(value::ValueKind kind) const override {
        return kind == value::ValueKind::Object ? core::KindRejection{} : every_branch_rejection(kind);
    }

    const BranchDiscriminator& discriminator() const noexcept { return discriminator_; }

private:
    BranchDiscriminator discriminator_;
};

// `anyOf` of one branch: its only event is at the keyword's Location.
class AnyOfSingleValidator final : public SingleBranchValidator {
public:
    AnyOfSingleValidator(const SchemaNode* node, Location location) : SingleBranchValidator(node, std::move(location)) {}

    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;
};

// Where a `oneOf` found its valid branches: the first one (if any) and whether a second exists.
struct OneOfSearch {
    std::optional<std::size_t> first;
    bool another = false;
};

class OneOfValidatorBase : public BranchListValidator {
public:
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

protected:
    using BranchListValidator::BranchListValidator;
    virtual OneOfSearch search(const Value& instance, core::ValidationContext& ctx) const;
    OneOfSearch search_all(const Value& instance, core::ValidationContext& ctx) const;
};

class OneOfListValidator final : public OneOfValidatorBase {
public:
    OneOfListValidator(std::vector<const SchemaNode*> branches, Location location)
        : OneOfValidatorBase(std::move(branches), std::move(location)) {}
    core::KindRejection kind_rejection(value::ValueKind kind) const override { return every_branch_rejection(kind); }
};

class DiscriminatedOneOfValidator final : public OneOfValidatorBase {
public:
    DiscriminatedOneOfValidator(std::vector<const SchemaNode*> branches, BranchDiscriminator discriminator,
                                Location location)
        : OneOfValidatorBase(std::move(branches), std::move(location)), discriminator_(std::move(discriminator)) {}

    // Objects are decided by the discriminator, other kinds by every branch.
    core::KindRejection kind_rejection(value::ValueKind kind) const override {
        return kind == value::ValueKind::Object ? core::KindRejection{} : every_branch_rejection(kind);
    }
    const BranchDiscriminator& discriminator() const noexcept { return discriminator_; }
    // (found, index): the selected branch's validity, or the first valid branch of a non-object.
    std::pair<bool, std::size_t> find_first_valid_branch(const Value& instance, core::ValidationContext& ctx) const;
    bool has_other_valid_branch(const Value& instance, std::size_t index, core::ValidationContext& ctx) const;

protected:
    OneOfSearch search(const Value& instance, core::ValidationContext& ctx) const override;

private:
    BranchDiscriminator discriminator_;
};

// `oneOf` of one branch: two events with the branch's outcome, at the branch's Location and then
// at the keyword's.
class OneOfSingleValidator final : public SingleBranchValidator {
public:
    OneOfSingleValidator(const SchemaNode* node, Location location) : SingleBranchValidator(node, std::move(location)) {}

    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;
};

// `not`: keeps the keyword's value for its message. The evaluation holds nothing of the
// subschema's own output.
class NotValidator final : public core::KeywordValidator {
public:
    NotValidator(Value schema, const SchemaNode* node) : schema_(std::move(schema)), node_(node) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return node_->location(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const Value& schema() const noexcept { return schema_; }
    const SchemaNode& subschema() const noexcept { return *node_; }

private:
    Value schema_;
    const SchemaNode* node_;
};

KeywordCompileResult compile_all_of(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_any_of(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_one_of_keyword(const CompileContext& ctx, const Value& parent, const Value& value);
// `oneOf` whose value is not a one-element array: the Type error, or a list form.
KeywordCompileResult compile_one_of(const CompileContext& ctx, const Value& value);
KeywordCompileResult compile_not(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
