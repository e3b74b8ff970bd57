#pragma once
// `contains`, with the count bounds `minContains` and `maxContains` folded in. Every form counts
// the items valid under the subschema; the trace reports `contains` and each bound as checks of
// their own, so that coverage sees the bounds although they have no validator of their own.
#include <cstdint>
#include <optional>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

// A bound keyword's Location and absolute location.
struct ContainsBound {
    Location location;
    core::AbsoluteLocation absolute;
};

// The Contains error ("None of ... are valid under the given schema") about the array, at the
// given schema Location; the bound's absolute location is attached when it has one.
ValidationError contains_error(const Location& schema_path, const core::AbsoluteLocation& absolute,
                               const Value& array, const core::LazyLocation& array_path, const core::RefChain* chain);

// The four forms share one class: which bounds are present decides the validity rule, the
// Location of the error and the trace events.
class ContainsValidator : public core::KeywordValidator {
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
    const std::optional<ContainsBound>& min_bound() const noexcept { return min_bound_; }
    const std::optional<ContainsBound>& max_bound() const noexcept { return max_bound_; }
    std::uint64_t minimum() const noexcept { return minimum_; }
    std::uint64_t maximum() const noexcept { return maximum_; }

protected:
    // The forms with bounds emplace them: passing disengaged optionals through by value makes GCC 12
    // warn (-Wmaybe-uninitialized) about the payload it never reads.
    ContainsValidator(const SchemaNode* node, std::uint64_t minimum, std::uint64_t maximum)
        : node_(node), minimum_(minimum), maximum_(maximum) {}

    // Whether k matching items make the array valid.
    bool count_ok(std::uint64_t k) const noexcept;
    // Counts matches, stopping as soon as the answer is known; answers the validity.
    bool count_valid(const Value& array, core::ValidationContext& ctx, std::uint64_t& k) const;

    const SchemaNode* node_;
    std::optional<ContainsBound> min_bound_;
    std::optional<ContainsBound> max_bound_;
    std::uint64_t minimum_;
    std::uint64_t maximum_;
};

// At least one item matches.
class PlainContainsValidator final : public ContainsValidator {
public:
    explicit PlainContainsValidator(const SchemaNode* node) : ContainsValidator(node, 1, 0) {}

    // One child unit per matching item, annotated with their indices.
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
};

// At least `minimum` items match (0 admits every array).
class MinContainsValidator final : public ContainsValidator {
public:
    MinContainsValidator(const SchemaNode* node, ContainsBound bound, std::uint64_t minimum)
        : ContainsValidator(node, minimum, 0) {
        min_bound_.emplace(std::move(bound));
    }
};

// Between 1 and `maximum` items match.
class MaxContainsValidator final : public ContainsValidator {
public:
    MaxContainsValidator(const SchemaNode* node, ContainsBound bound, std::uint64_t maximum)
        : ContainsValidator(node, 1, maximum) {
        max_bound_.emplace(std::move(bound));
    }
};

// Between `minimum` and `maximum` items match; a minimum above the maximum admits no array.
class MinMaxContainsValidator final : public ContainsValidator {
public:
    MinMaxContainsValidator(const SchemaNode* node, ContainsBound min_bound, std::uint64_t minimum,
                            ContainsBound max_bound, std::uint64_t maximum)
        : ContainsValidator(node, minimum, maximum) {
        min_bound_.emplace(std::move(min_bound));
        max_bound_.emplace(std::move(max_bound));
    }
};

// The count of `minContains` or `maxContains` in the parent: absent, a count, or the compile
// error of a value that is not a non-negative integer.
Result<std::optional<std::uint64_t>, ValidationError> read_contains_count(const Value& parent,
                                                                         const CompileContext& ctx,
                                                                         std::string_view keyword);
// `contains` without bounds.
KeywordCompileResult compile_contains(const CompileContext& ctx, const Value& value);
// `contains` with the bounds of its schema object, where the draft and vocabularies have them.
KeywordCompileResult compile_contains_keyword(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
