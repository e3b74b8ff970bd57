#pragma once
// Evaluation output: a tree with one node per keyword evaluated, built into an arena of nodes
// addressed by 32-bit ids. Each `evaluate` returns a small result pointing at its children.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "deririrore/core/location.hpp"
#include "deririrore/core/validation_error.hpp"

namespace deririrore::core {

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

using SharedValue = std::shared_ptr<const Value>;

struct EvaluationResult {
    bool valid = true;
    std::vector<ErrorDescription> errors;  // the keyword's own (invalid results only)
    // Valid results: the annotations; invalid results: the dropped annotations.
    SharedValue annotations;
    std::uint32_t first_child = kNoNode;
    std::uint32_t last_child = kNoNode;
    std::uint32_t child_count = 0;
    bool children_valid = true;

    static EvaluationResult empty_valid() { return EvaluationResult{}; }
    static EvaluationResult invalid(std::vector<ErrorDescription> errors) {
        EvaluationResult r;
        r.valid = false;
        r.errors = std::move(errors);
        return r;
    }
    // Invalid results accumulate descriptions; a valid one becomes invalid and keeps its children.
    void push_error_description(ErrorDescription description) {
        valid = false;
        errors.push_back(std::move(description));
    }
};

// Replaces a result's annotations (valid) or dropped annotations (invalid).
inline void set_result_annotations(EvaluationResult& result, SharedValue annotations) {
    result.annotations = std::move(annotations);
}

struct EvaluationNode {
    std::vector<ErrorDescription> errors;
    Location evaluation_path;
    Location resolved_location;
    Location instance_location;
    AbsoluteLocation absolute_location;
    SharedValue annotations;          // valid nodes
    SharedValue dropped_annotations;  // invalid nodes
    std::uint32_t first_child = kNoNode;
    std::uint32_t next_sibling = kNoNode;
    bool valid = true;
};

// Chunks of 32 nodes: growing never moves a node that was written.
class EvaluationOutput {
public:
    static constexpr std::uint32_t kChunk = 32;

    std::uint32_t push(EvaluationNode node);
    const EvaluationNode& at(std::uint32_t id) const;
    EvaluationNode& at(std::uint32_t id);
    std::uint64_t size() const noexcept { return total_; }
    std::size_t chunk_count() const noexcept { return chunks_.size(); }

private:
    std::vector<std::vector<EvaluationNode>> chunks_;
    std::uint64_t total_ = 0;
};

// Links a sequence of sibling nodes as they are pushed.
class SiblingLinker {
public:
    void link(EvaluationOutput& out, std::uint32_t id) {
        if (last_ != kNoNode) {
            out.at(last_).next_sibling = id;
        } else {
            first_ = id;
        }
        last_ = id;
        ++count_;
    }
    std::uint32_t first() const noexcept { return first_; }
    std::uint32_t last() const noexcept { return last_; }
    std::uint32_t count() const noexcept { return count_; }
    // Copies the children fields into a result.
    void fill(EvaluationResult& r) const {
        r.first_child = first_;
        r.last_child = last_;
        r.child_count = count_;
    }

private:
    std::uint32_t first_ = kNoNode;
    std::uint32_t last_ = kNoNode;
    std::uint32_t count_ = 0;
};

}  // namespace deririrore::core
