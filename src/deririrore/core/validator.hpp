#pragma once
// The JSON Schema engine's public entry.
//
//   auto built = build_validator(schema, ValidationOptions().with_draft(Draft::Draft7));
//   if (!built) report(built.error().message());        // one ValidationError about the schema
//   const Validator& v = *built;
//   v.is_valid(instance);                                // cheap yes/no, no error built
//   v.validate(instance);                                // first error, or none
//   v.iter_errors(instance);                             // every error, in keyword order
//   v.trace(instance, tracer);                           // one Tracer call per keyword check
//   v.evaluate(instance);                                // structured evaluation output
//
// `schema` is read during the build only: the validator keeps nothing of it, of the registry or
// of the options. A validator is immutable and may be used from several threads at once; copies
// share the compiled nodes.
//
// Errors returned by validate and iter_errors borrow the instance: they must not outlive it
// (`error_into_owned` makes one independent). Every keyword reports each check to the tracer
// with the keyword's Location in the coordinates of the schema given to build_validator, also
// inside `$ref` targets.
//
// Nesting is bounded (`ValidationOptions::with_max_depth`): a recursive schema over an instance
// deeper than the limit gives an error from validate/iter_errors/trace, false from is_valid,
// and an invalid evaluation, never a stack overflow.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "deririrore/core/evaluation.hpp"
#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/core/options.hpp"
#include "deririrore/core/validation_error.hpp"
#include "deririrore/value/result.hpp"

namespace deririrore::core {

class PendingNode;
struct SharedTargetTable;

// Everything a build compiled; nodes refer to each other by plain pointers into this arena.
struct CompiledSchema {
    std::vector<std::unique_ptr<SchemaNode>> nodes;
    std::vector<std::unique_ptr<PendingNode>> slots;
    const SchemaNode* root = nullptr;
    Draft draft = Draft::Draft202012;
    std::uint32_t max_depth = kDefaultMaxDepth;
    std::uint64_t max_steps = kDefaultMaxSteps;
    // Reference targets compiled by the compile loop rather than where their reference stands.
    std::size_t queued_targets = 0;
    // Earlier builds whose nodes this one reaches through shared reference targets.
    std::vector<std::shared_ptr<const CompiledSchema>> borrowed;
    // Trace Locations inside reference targets, joined once per validator.
    mutable JoinedLocationCache joined_locations;

    CompiledSchema() = default;
    CompiledSchema(const CompiledSchema&) = delete;
    CompiledSchema& operator=(const CompiledSchema&) = delete;
    ~CompiledSchema();
};

// Evaluation output of one instance: the arena and the id of the root unit.
struct Evaluation {
    EvaluationOutput output;
    std::uint32_t root = kNoNode;
    bool valid = true;

    const EvaluationNode& root_node() const { return output.at(root); }
};

class Validator {
public:
    explicit Validator(std::shared_ptr<const CompiledSchema> compiled) : compiled_(std::move(compiled)) {}

    bool is_valid(const Value& instance) const;
    std::optional<ValidationError> validate(const Value& instance) const;
    std::vector<ValidationError> iter_errors(const Value& instance) const;
    // The instance's validity, or the depth-limit error when tracing was cut short.
    Result<bool, ValidationError> trace(const Value& instance, Tracer& tracer) const;
    Evaluation evaluate(const Value& instance) const;

    const SchemaNode& root() const noexcept { return *compiled_->root; }
    Draft draft() const noexcept { return compiled_->draft; }
    std::uint32_t max_depth() const noexcept { return compiled_->max_depth; }
    const CompiledSchema& compiled() const noexcept { return *compiled_; }

private:
    std::shared_ptr<const CompiledSchema> compiled_;
};

Result<Validator, ValidationError> build_validator(const Value& schema,
                                                   const ValidationOptions& options = ValidationOptions());

// Reference targets compiled by earlier builds, offered to later ones: a target compiled with no
// cycle and nothing deferred is taken as it is wherever every target it reaches (itself
// included) has the same content at the same URI, so that a component many schemas refer to is
// compiled once. Validators built through it keep the earlier builds' nodes alive. Every build
// given one SharedTargets must use equal options; builds through one are not concurrent.
class SharedTargets {
public:
    SharedTargets();
    ~SharedTargets();
    SharedTargets(const SharedTargets&) = delete;
    SharedTargets& operator=(const SharedTargets&) = delete;

    // How many references took an earlier build's target instead of compiling it.
    std::size_t reused() const noexcept;
    SharedTargetTable& table() noexcept { return *table_; }

private:
    std::unique_ptr<SharedTargetTable> table_;
};

Result<Validator, ValidationError> build_validator(const Value& schema, const ValidationOptions& options,
                                                   SharedTargets& shared);

// The draft a build uses: the options' draft, the document's "$schema", a chain of custom
// meta-schemas in the base registry, or 2020-12.
Result<Draft, ValidationError> resolve_draft(const Value& schema, const ValidationOptions& options);

}  // namespace deririrore::core
