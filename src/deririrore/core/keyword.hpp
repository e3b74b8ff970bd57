#pragma once
// The interface every compiled keyword implements, the per-call contexts passed down through
// the validator tree, and the tracing protocol.
//
// Keyword authors: implement `is_valid`, `validate`, `location` and `trace`; the defaults of
// `iter_errors` (the one error of `validate`), `evaluate` (error descriptions of `iter_errors`,
// no children) and `evaluate_at` (forwards to `evaluate`) fit keywords without subschemas.
// Subschemas are `const SchemaNode*` owned by the compiled validator; call their operations
// directly. `trace` reports every check to the tracer (subschemas' events first) and returns
// what `is_valid` returns.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deririrore/core/evaluation.hpp"
#include "deririrore/core/location.hpp"
#include "deririrore/core/validation_error.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::core {

class SchemaNode;

enum class TraceOutcome : std::uint8_t { Passed = 0, Failed = 1, NotApplicable = 2 };

inline TraceOutcome outcome_of(bool valid) noexcept { return valid ? TraceOutcome::Passed : TraceOutcome::Failed; }

// Lives only for the duration of one tracer call; the instance value is not passed.
struct TraceEvent {
    const LazyLocation& instance_location;
    const Location& keyword_location;
    TraceOutcome outcome;
};

class Tracer {
public:
    virtual ~Tracer() = default;
    virtual void call_mut(const TraceEvent& event) = 0;

    void emit(const LazyLocation& instance, const Location& keyword, TraceOutcome outcome) {
        call_mut(TraceEvent{instance, keyword, outcome});
    }
};

// How deep schema nodes may nest along one validation path. Recursive schemas over deep
// instances stop here with an error instead of exhausting the stack.
inline constexpr std::uint32_t kDefaultMaxDepth = 1024;
// Schema nodes one call may enter in all. Shared reference targets make the number of paths through a
// schema grow exponentially with its depth; past this budget the call ends with an error, not a stall.
inline constexpr std::uint64_t kDefaultMaxSteps = 100'000'000;

// The evaluated positions (members or items) the unevaluated keywords worked out during one call,
// by collection and instance, kept so that nested schemas whose unevaluated keywords each walk the
// collections below them reuse what an inner keyword already found instead of walking (and
// validating) the same subschemas again on every path, twice as often per level. Callers keep
// only results that did not depend on the path that reached them (see `path_cuts`).
class EvaluatedMemo {
public:
    struct Key {
        const void* collection;
        const Value* instance;
        std::uint8_t tag;
        friend bool operator==(const Key&, const Key&) = default;
    };

    const std::vector<std::uint8_t>* find(const Key& key) const {
        auto it = positions_.find(key);
        return it == positions_.end() ? nullptr : &it->second;
    }
    void keep(const Key& key, const std::vector<std::uint8_t>& flags) { positions_.emplace(key, flags); }

private:
    struct KeyHash {
        std::size_t operator()(const Key& k) const noexcept;
    };
    std::unordered_map<Key, std::vector<std::uint8_t>, KeyHash> positions_;
};

// Per-call state of is_valid, validate and iter_errors: the stack of reference targets in
// progress (cuts cycles), the validity memo of weakly held targets, and the depth guard.
class ValidationContext {
public:
    explicit ValidationContext(std::uint32_t max_depth = kDefaultMaxDepth, std::uint64_t max_steps = kDefaultMaxSteps)
        : max_steps_(max_steps), max_depth_(max_depth) {}
    ValidationContext(const ValidationContext&) = delete;
    ValidationContext& operator=(const ValidationContext&) = delete;
    virtual ~ValidationContext() = default;

    struct CycleEntry {
        const void* content;
        const Value* instance;
        std::uint8_t kind;
    };
    // True when the pair is in progress; the caller then cuts the cycle, which counts as a path cut.
    bool cycle_contains(const void* content, const Value* instance, std::uint8_t kind) noexcept {
        if (cycle_position(content, instance, kind) == kNotInCycle) return false;
        ++path_cuts_;
        return true;
    }
    static constexpr std::size_t kNotInCycle = static_cast<std::size_t>(-1);
    // Where the pair stands on the stack (0 at the bottom), or kNotInCycle; counts no cut.
    std::size_t cycle_position(const void* content, const Value* instance, std::uint8_t kind) const noexcept {
        for (std::size_t i = 0; i < cycle_size_; ++i) {
            const auto& e = i < kInlineCycleEntries ? cycle_inline_[i] : cycle_spill_[i - kInlineCycleEntries];
            if (e.content == content && e.instance == instance && e.kind == kind) return i;
        }
        return kNotInCycle;
    }
    void cycle_push(const void* content, const Value* instance, std::uint8_t kind) {
        if (cycle_size_ < kInlineCycleEntries) {
            cycle_inline_[cycle_size_] = CycleEntry{content, instance, kind};
        } else {
            cycle_spill_.push_back(CycleEntry{content, instance, kind});
        }
        ++cycle_size_;
    }
    void cycle_pop() noexcept {
        --cycle_size_;
        if (cycle_size_ >= kInlineCycleEntries) cycle_spill_.pop_back();
    }
    std::size_t cycle_depth() const noexcept { return cycle_size_; }

    // How many cycles were cut so far. A result computed while this count stayed the same did not
    // depend on what was in progress around it, and may be kept in the evaluated memo.
    std::uint64_t path_cuts() const noexcept { return path_cuts_; }
    void note_path_cut() noexcept { ++path_cuts_; }
    // Collection walks of the unevaluated keywords running now; a walk that starts inside another
    // (through a subschema the outer one validates) makes the memo.
    std::uint32_t evaluated_walks() const noexcept { return evaluated_walks_; }
    void evaluated_walk_started() noexcept { ++evaluated_walks_; }
    void evaluated_walk_ended() noexcept { --evaluated_walks_; }
    EvaluatedMemo& evaluated_memo() {
        if (!evaluated_memo_) evaluated_memo_ = std::make_unique<EvaluatedMemo>();
        return *evaluated_memo_;
    }
    EvaluatedMemo* evaluated_memo_if_made() noexcept { return evaluated_memo_.get(); }

    std::optional<bool> memo_get(const void* content, const Value* instance) const;
    void memo_put(const void* content, const Value* instance, bool valid);

    // Depth guard: `enter` answers false (and records it) when the limit is reached.
    bool enter() noexcept {
        if (depth_ >= max_depth_) {
            depth_exceeded_ = true;
            return false;
        }
        if (++steps_ > max_steps_) {
            // Reported through the same cut as the depth limit, with its own message.
            steps_exceeded_ = true;
            depth_exceeded_ = true;
            return false;
        }
        ++depth_;
        return true;
    }
    void leave() noexcept { --depth_; }
    // Accounts for a walk known to fail that would enter `steps` schema nodes nesting `depth` deep, when
    // it stays within both limits: then the walk changes nothing else and the caller may answer at once.
    // Otherwise nothing is counted and the caller walks, so that the limits cut where they always do.
    bool skip_failing_walk(std::uint32_t steps, std::uint32_t depth) noexcept {
        if (depth_ + depth > max_depth_ || steps > max_steps_ - std::min(steps_, max_steps_)) return false;
        steps_ += steps;
        return true;
    }
    std::uint32_t depth() const noexcept { return depth_; }
    std::uint32_t max_depth() const noexcept { return max_depth_; }
    bool depth_exceeded() const noexcept { return depth_exceeded_; }
    bool steps_exceeded() const noexcept { return steps_exceeded_; }
    std::uint64_t max_steps() const noexcept { return max_steps_; }
    // Schema nodes (and evaluated collections) entered so far in this call.
    std::uint64_t steps() const noexcept { return steps_; }

    // Per-run cache of the `regex` format: pattern text to validity.
    std::unordered_map<std::string, bool>& regex_cache() {
        if (!regex_cache_) regex_cache_ = std::make_unique<std::unordered_map<std::string, bool>>();
        return *regex_cache_;
    }

private:
    // One entry of the validity memo's open-addressing table; an empty slot has no content.
    struct MemoSlot {
        const void* content;
        const Value* instance;
        bool valid;
    };
    std::size_t memo_index(const void* content, const Value* instance) const noexcept;

    // The bottom of the stack of targets in progress lives in the context itself, so that most
    // calls never allocate for it; deeper entries spill into the vector.
    static constexpr std::size_t kInlineCycleEntries = 16;
    CycleEntry cycle_inline_[kInlineCycleEntries];
    std::vector<CycleEntry> cycle_spill_;
    std::size_t cycle_size_ = 0;
    std::vector<MemoSlot> memo_;
    std::size_t memo_used_ = 0;
    std::unique_ptr<std::unordered_map<std::string, bool>> regex_cache_;
    std::unique_ptr<EvaluatedMemo> evaluated_memo_;
    std::uint64_t path_cuts_ = 0;
    std::uint32_t evaluated_walks_ = 0;
    std::uint64_t steps_ = 0;
    std::uint64_t max_steps_;
    std::uint32_t depth_ = 0;
    std::uint32_t max_depth_;
    bool depth_exceeded_ = false;
    bool steps_exceeded_ = false;
};

// Scoped entry into one more level of nesting.
class DepthGuard {
public:
    explicit DepthGuard(ValidationContext& ctx) noexcept : ctx_(ctx), entered_(ctx.enter()) {}
    ~DepthGuard() {
        if (entered_) ctx_.leave();
    }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    explicit operator bool() const noexcept { return entered_; }

private:
    ValidationContext& ctx_;
    bool entered_;
};

// Per-call state of trace: besides the validation parts, the reference prefix used while
// tracing inside a reference target (see the reference validators).
// Prefix + keyword Locations joined for trace events inside reference targets, kept for the life
// of a compiled validator so that tracing allocates each joined text once, not once per event.
// Shared by the threads that trace with the same validator.
class JoinedLocationCache {
public:
    Location join(const Location& prefix, const Location& keyword);

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
    };
    using Inner = std::unordered_map<std::string, Location, TextHash, std::equal_to<>>;
    std::shared_mutex mutex_;
    std::unordered_map<std::string, Inner, TextHash, std::equal_to<>> joined_;
};

class TraceContext : public ValidationContext {
public:
    explicit TraceContext(std::uint32_t max_depth = kDefaultMaxDepth, JoinedLocationCache* joined = nullptr,
                          std::uint64_t max_steps = kDefaultMaxSteps)
        : ValidationContext(max_depth, max_steps), joined_(joined) {}

    // The prefix cell: present only while a reference validator traces a target below the first
    // reference that needed a prefix.
    Location* prefix_cell() const noexcept { return prefix_cell_; }
    void set_prefix_cell(Location* cell) noexcept { prefix_cell_ = cell; }

    // `prefix` followed by `keyword`, from the validator's cache when the walk has one.
    Location join(const Location& prefix, const Location& keyword) const {
        return joined_ != nullptr ? joined_->join(prefix, keyword) : join_locations(prefix, keyword.view());
    }

private:
    Location* prefix_cell_ = nullptr;
    JoinedLocationCache* joined_;
};

// Per-call state of evaluate: the output arena, the current instance location and the
// evaluation-path memo.
class EvaluationContext : public ValidationContext {
public:
    using ValidationContext::ValidationContext;

    EvaluationOutput& output() noexcept { return output_; }
    const EvaluationOutput& output() const noexcept { return output_; }
    std::uint32_t push_node(EvaluationNode node) { return output_.push(std::move(node)); }

    const std::optional<Location>& current_instance_location() const noexcept { return current_; }
    std::optional<Location> swap_current_instance_location(std::optional<Location> loc) {
        std::swap(loc, current_);
        return loc;
    }

    // The finished evaluation path of a keyword under a chain, memoised after 4096 computations.
    Location evaluation_path_for(const RefChain& hop, const Location& keyword);
    std::uint32_t evaluation_path_computations() const noexcept { return counter_; }
    std::size_t evaluation_path_memo_size() const noexcept { return memo_ ? memo_->size() : 0; }

private:
    struct PathKey {
        std::uint64_t hop;
        const char* keyword;
        friend bool operator==(const PathKey&, const PathKey&) = default;
    };
    struct HopKey {
        std::uint64_t parent;
        const char* reference;
        friend bool operator==(const HopKey&, const HopKey&) = default;
    };
    struct PairHash {
        template <class K>
        std::size_t operator()(const K& k) const noexcept;
    };
    std::uint64_t hop_identity(const RefChain& hop);

    EvaluationOutput output_;
    std::optional<Location> current_;
    std::uint32_t counter_ = 0;
    std::unique_ptr<std::unordered_map<PathKey, Location, PairHash>> memo_;
    std::unique_ptr<std::unordered_map<HopKey, std::uint64_t, PairHash>> hops_;
};

// The evaluation path of a keyword for output: joined under a chain, else the keyword itself.
inline Location evaluation_path_for(EvaluationContext& ctx, const RefChain* hop, const Location& keyword) {
    return hop != nullptr ? ctx.evaluation_path_for(*hop, keyword) : keyword;
}

// What an is_valid call costs when a check of the instance's kind alone makes it fail: the schema nodes
// it enters and how deep they nest below the caller; no steps where the kind does not decide.
struct KindRejection {
    std::uint16_t steps = 0;
    std::uint8_t depth = 0;
};

// The rejection of a node that enters itself and then walks `inner`; none when it would not fit.
inline KindRejection nested_rejection(KindRejection inner) noexcept {
    if (inner.steps == 0 || inner.steps == UINT16_MAX || inner.depth == UINT8_MAX) return {};
    return {static_cast<std::uint16_t>(inner.steps + 1), static_cast<std::uint8_t>(inner.depth + 1)};
}

// Walks that fail one after another at the same depth: all or none of them decided by the kind.
inline KindRejection sequence_rejection(KindRejection a, KindRejection b) noexcept {
    if (a.steps == 0 || b.steps == 0 || a.steps + b.steps >= UINT16_MAX) return {};
    return {static_cast<std::uint16_t>(a.steps + b.steps), std::max(a.depth, b.depth)};
}

struct RefTarget {
    const Location* location;
    const AbsoluteLocation* absolute;  // null when the target has none
};

class KeywordValidator {
public:
    virtual ~KeywordValidator() = default;

    virtual void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                             ValidationContext& ctx, ErrorSink& sink) const;
    virtual bool is_valid(const Value& instance, ValidationContext& ctx) const = 0;
    virtual std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                                    const RefChain* chain, ValidationContext& ctx) const = 0;
    virtual EvaluationResult evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                         const Location& instance_location, const RefChain* chain,
                                         EvaluationContext& ctx) const;
    virtual EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                                      EvaluationContext& ctx) const;
    virtual std::optional<RefTarget> ref_target() const { return std::nullopt; }
    // Asked once, when the node holding this keyword is built: whether is_valid fails for every
    // instance of `kind` after a fixed walk, and what that walk costs (see KindRejection).
    virtual KindRejection kind_rejection(value::ValueKind) const { return {}; }
    virtual const Location& location() const = 0;
    virtual bool applies_to(const Value&) const { return true; }
    virtual bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                       TraceContext& ctx) const = 0;

    // For a keyword whose whole check is its instance's kind: the kinds it accepts, one bit per
    // ValueKind (see kind_bit); 0 for every other keyword. Nodes make such a check themselves,
    // with the one event `trace` would emit at `location()`, instead of calling the keyword.
    std::uint8_t accepted_kinds() const noexcept { return accepted_kinds_; }
    static constexpr std::uint8_t kind_bit(value::ValueKind kind) noexcept {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
    }

protected:
    void set_accepted_kinds(std::uint8_t kinds) noexcept { accepted_kinds_ = kinds; }

private:
    std::uint8_t accepted_kinds_ = 0;
};

using KeywordValidatorPtr = std::unique_ptr<KeywordValidator>;

// A node reached through a child: the child's evaluation node for the caller to push and link.
EvaluationNode evaluate_child_node(const SchemaNode& node, const Value& instance, const LazyLocation& instance_path,
                                   const Location& instance_location, const RefChain* chain, EvaluationContext& ctx);
// Evaluation of an items-style keyword: one child per item.
EvaluationResult evaluate_array_items(const SchemaNode& item_node, const Value& instance,
                                      const LazyLocation& instance_path, const RefChain* chain,
                                      EvaluationContext& ctx);

// A child evaluation unit standing for one failed keyword inside a validator that checks several.
EvaluationNode build_failed_output_unit(const LazyLocation& instance_path, const RefChain* chain,
                                        const Location& keyword, const AbsoluteLocation& absolute,
                                        ErrorDescription description, EvaluationContext& ctx);

}  // namespace deririrore::core
