#pragma once
// `unevaluatedProperties`: the members of an object instance that nothing else evaluated (the
// schema object's own keywords, and the subschemas that apply through the applicators and
// references) must satisfy the keyword's subschema. Which members were evaluated is worked out
// per instance from the schema object's `PropertyValidators`.
//
// `is_valid` and `validate` may use a summary built once on first use: when the collection has
// no conditional parts (only `allOf` branches and `$ref` targets), its names and patterns are
// flattened into one set. The summary treats every `allOf` branch as evaluating, valid or not;
// an instance for which a branch fails is invalid through `allOf` anyway. `validate` still walks
// the collection when an `allOf` branch was flattened, so that it lists exactly the members
// evaluation and tracing would find unevaluated.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/discriminator.hpp"
#include "deririrore/keywords/evaluated.hpp"

namespace deririrore::keywords {

struct PropertySummary {
    std::vector<std::shared_ptr<const regex::BacktrackingRegex>> backtracking_patterns;
    std::vector<std::shared_ptr<const regex::AutomatonRegex>> automaton_patterns;
    std::unordered_set<std::string, SeededTextHash, TextEqual> names;
    bool has_additional = false;
    bool has_all_of = false;

    bool evaluates(std::string_view name) const;
};

// The flattened form of a collection, or none when it has conditional parts.
std::optional<PropertySummary> build_property_summary(const PropertyValidators& validators);

// Which members of one object instance are evaluated, by member index.
class EvaluatedMembers {
public:
    explicit EvaluatedMembers(std::size_t size) : flags_(size, 0) {}
    bool contains(std::size_t i) const noexcept { return flags_[i] != 0; }
    void add(std::size_t i) noexcept {
        if (flags_[i] == 0) {
            flags_[i] = 1;
            ++count_;
        }
    }
    std::size_t count() const noexcept { return count_; }
    bool all() const noexcept { return count_ == flags_.size(); }
    const std::vector<std::uint8_t>& flags() const noexcept { return flags_; }
    // Adds every member set in `flags` (one flag per member, as `flags()` gives them).
    void add_all(const std::vector<std::uint8_t>& flags) noexcept {
        for (std::size_t i = 0; i < flags.size() && i < flags_.size(); ++i) {
            if (flags[i] != 0) add(i);
        }
    }

private:
    std::vector<std::uint8_t> flags_;
    std::size_t count_ = 0;
};

// Adds the members that `validators` and the subschemas reached from it evaluate to `evaluated`,
// which starts empty. With `include_unevaluated` a schema object's own `unevaluatedProperties`
// counts as evaluating the members that satisfy it.
void collect_evaluated_properties(const PropertyValidators& validators, const Value& instance,
                                  EvaluatedMembers& evaluated, core::ValidationContext& ctx, bool include_unevaluated);

class UnevaluatedPropertiesValidator final : public core::KeywordValidator {
public:
    UnevaluatedPropertiesValidator(const PropertyValidators* validators, const SchemaNode* unevaluated,
                                   Location location, std::shared_ptr<const EvaluatedArena> arena)
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
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const PropertyValidators& validators() const { return finished(validators_); }
    const std::shared_ptr<const EvaluatedArena>& arena() const noexcept { return arena_; }
    // The summary, built on first use; null when the collection cannot be flattened.
    const PropertySummary* summary() const;

private:
    // Names of the unevaluated members that fail the subschema, in member order.
    std::vector<std::string> failing_members(const Value& instance, core::ValidationContext& ctx) const;
    ValidationError error_for(std::vector<std::string> names, const Value& instance,
                              const core::LazyLocation& instance_path, const core::RefChain* chain) const;

    const PropertyValidators* validators_;
    // The keyword's own subschema, at the keyword's Location.
    const SchemaNode* unevaluated_;
    Location location_;
    std::shared_ptr<const EvaluatedArena> arena_;
    mutable std::once_flag summary_once_;
    mutable std::optional<PropertySummary> summary_;
};

KeywordCompileResult compile_unevaluated_properties(const CompileContext& ctx, const Value& parent,
                                                    const Value& value);

}  // namespace deririrore::keywords
