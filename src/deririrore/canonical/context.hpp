#pragma once
// The per-run context of the canonical form: settings, the two-level pattern
// cache, memo tables, the reference target table and the budgets. One context
// belongs to one thread; only the shared pattern cache is locked.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "deririrore/canonical/intersection_memo.hpp"
#include "deririrore/canonical/ir.hpp"
#include "deririrore/core/validation_error.hpp"
#include "deririrore/referencing/error.hpp"
#include "deririrore/regex/engine.hpp"

namespace deririrore::canonical {

enum class Draft : uint8_t { Draft4 = 0, Draft6 = 1, Draft7 = 2, Draft201909 = 3, Draft202012 = 4 };

// One compiled pattern, of the engine the context's options chose.
struct CompiledPattern {
    std::variant<std::shared_ptr<const regex::AutomatonRegex>, std::shared_ptr<const regex::BacktrackingRegex>> regex;
};
using SharedPattern = std::shared_ptr<const CompiledPattern>;

enum class PatternMatch : uint8_t { Matched, NotMatched, EngineError };

// Analysis-wide pattern map behind a mutex; failures are cached like successes.
class PatternCache {
public:
    std::optional<SharedPattern> find(const std::string& text) const;
    void insert(const std::string& text, SharedPattern pattern);
    std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::string, SharedPattern> entries_;
};

struct NameSet {
    std::set<std::string> names;
    std::size_t count = 0;
};
using SharedNameSet = std::shared_ptr<const NameSet>;

using TargetTable = std::map<std::string, Schema, std::less<>>;

inline constexpr uint64_t kDefaultIntersectionBudget = 1'000'000;
inline constexpr uint64_t kDefaultParseBudget = 4096;
// The settling context's share: settling may add little to an analysis.
inline constexpr uint64_t kSettlingIntersectionBudget = 40'000;
inline constexpr std::size_t kIntersectionMemoCap = 1'048'576;
inline constexpr std::size_t kUncheckedNamesMemoCap = 65'536;

struct CanonicalContext {
    regex::PatternOptions pattern_options;
    Draft draft = Draft::Draft202012;
    bool format_asserts = false;
    std::unordered_map<std::string, SharedPattern> pattern_map;
    std::shared_ptr<PatternCache> shared_patterns;
    IntersectionMemo intersections;
    std::unordered_map<uint64_t, std::vector<std::pair<Schema, SharedNameSet>>> unchecked_names_memo;
    std::size_t unchecked_names_memo_size = 0;
    std::shared_ptr<const TargetTable> targets;
    std::set<std::string, std::less<>> settling_names;
    uint64_t intersection_budget = kDefaultIntersectionBudget;
    uint64_t parse_budget = kDefaultParseBudget;
    bool exhausted = false;
    // Patterns this context translated and compiled itself.
    std::size_t patterns_compiled = 0;
};

CanonicalContext new_canonical_context(regex::PatternOptions options, Draft draft, bool format_asserts);

void set_shared_patterns(CanonicalContext& context, std::shared_ptr<PatternCache> cache);
// Also forgets the names being settled: they belonged to the table replaced.
void set_targets(CanonicalContext& context, std::shared_ptr<const TargetTable> targets);
// Results computed with a spent context are not to be trusted.
inline bool context_spent(const CanonicalContext& context) noexcept {
    return context.exhausted || context.intersection_budget == 0;
}

// The one error of the canonical form; everything it cannot model is no error.
struct CanonicalError {
    struct NotASchema {
        std::string json;
    };
    struct NoValueAtPointer {
        std::string pointer;
    };
    struct ReferenceFailed {
        referencing::ReferenceError error;
    };
    struct SchemaInvalid {
        core::ValidationError error;
    };
    struct InvalidPattern {
        std::string pattern;
    };
    std::variant<NotASchema, NoValueAtPointer, ReferenceFailed, SchemaInvalid, InvalidPattern> data;

    std::string message() const;
};

// Null when the pattern cannot be translated or compiled.
SharedPattern lookup_compiled_pattern(CanonicalContext& context, const std::string& text);
// Unanchored search; an engine error (such as the match limit) is its own answer.
PatternMatch search_pattern(const CompiledPattern& pattern, std::string_view text);
// Engine errors count as no match; an unusable pattern is an internal stop.
bool pattern_matches_name(CanonicalContext& context, const std::string& pattern, std::string_view name);

std::optional<Schema> lookup_reference_target(const CanonicalContext& context, std::string_view name);

}  // namespace deririrore::canonical
