#pragma once
// The two pattern engines. The automaton engine runs every translatable pattern without
// look-around or back-references in linear time. The backtracking engine runs the same patterns
// the same way, and the ones with look-around or back-references under a match limit and a depth
// limit, so a hostile pattern ends with an engine error instead of a hang.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/value/result.hpp"

namespace deririrore::regex {

namespace detail {
struct Analysis;
}

inline constexpr uint64_t kDefaultBacktrackLimit = 1000000;

enum class RegexErrorKind : unsigned char {
    Parse,                    // the pattern could not be read
    Compile,                  // the engine refused the pattern
    TooLarge,                 // a valid pattern that neither engine takes within its size limits
    BacktrackLimitExceeded,   // run time: the match limit was reached
    StackLimitExceeded,       // run time: the depth, heap or machine-stack limit was reached
    EvaluationFailed,         // run time: any other failure inside the engine
};

// An engine failure. Run-time failures carry no text of their own, so making one allocates nothing.
class RegexError {
public:
    RegexError() = default;
    explicit RegexError(RegexErrorKind kind) : kind_(kind) {}
    RegexError(RegexErrorKind kind, uint32_t position, std::string detail)
        : kind_(kind), position_(position), detail_(std::move(detail)) {}

    RegexErrorKind kind() const noexcept { return kind_; }
    uint32_t position() const noexcept { return position_; }
    const std::string& detail() const noexcept { return detail_; }

    // The displayed text: "Parsing error at position {}: {}", "Error compiling regex: {}" (also for
    // TooLarge) or "Error executing regex: " followed by the run-time failure.
    std::string message() const;

private:
    RegexErrorKind kind_ = RegexErrorKind::EvaluationFailed;
    uint32_t position_ = 0;
    std::string detail_;
};

// "Regex engine failed to evaluate pattern '{}'" for the pattern text as written in the schema.
std::string pattern_evaluation_failed_message(std::string_view pattern);

struct AutomatonLimits {
    std::optional<uint64_t> size_limit;
    std::optional<uint64_t> dfa_size_limit;
};

struct BacktrackingLimits {
    std::optional<uint64_t> backtrack_limit;  // absent: kDefaultBacktrackLimit
    std::optional<uint64_t> size_limit;
    std::optional<uint64_t> dfa_size_limit;
};

// The engine choice of the validation options, with its limits.
struct PatternOptions {
    enum class Engine : unsigned char { Backtracking, Automaton };
    Engine engine = Engine::Backtracking;
    std::optional<uint64_t> backtrack_limit;  // backtracking form only
    std::optional<uint64_t> size_limit;
    std::optional<uint64_t> dfa_size_limit;

    static PatternOptions backtracking(std::optional<uint64_t> backtrack_limit = {},
                                       std::optional<uint64_t> size_limit = {},
                                       std::optional<uint64_t> dfa_size_limit = {}) {
        return PatternOptions{Engine::Backtracking, backtrack_limit, size_limit, dfa_size_limit};
    }
    static PatternOptions automaton(std::optional<uint64_t> size_limit = {},
                                    std::optional<uint64_t> dfa_size_limit = {}) {
        return PatternOptions{Engine::Automaton, std::nullopt, size_limit, dfa_size_limit};
    }
    // Each engine reads only its own form; under the other form all its limits are absent.
    AutomatonLimits automaton_limits() const {
        if (engine != Engine::Automaton) return {};
        return AutomatonLimits{size_limit, dfa_size_limit};
    }
    BacktrackingLimits backtracking_limits() const {
        if (engine != Engine::Backtracking) return {};
        return BacktrackingLimits{backtrack_limit, size_limit, dfa_size_limit};
    }
};

enum class MatchOutcome : unsigned char { Matched, NotMatched, EngineError, EvaluationFailed };

struct BacktrackingMatch {
    MatchOutcome outcome = MatchOutcome::NotMatched;
    RegexErrorKind error = RegexErrorKind::EvaluationFailed;  // for EngineError

    bool matched() const noexcept { return outcome == MatchOutcome::Matched; }
};

class AutomatonRegex {
public:
    ~AutomatonRegex();
    AutomatonRegex(const AutomatonRegex&) = delete;
    AutomatonRegex& operator=(const AutomatonRegex&) = delete;

    // Unanchored search; stops at the earliest match. A pattern too large for the automaton runs
    // on the backtracking machine under the default match limit, and only then can the search
    // end with an engine error or a failed evaluation.
    BacktrackingMatch match(std::string_view text) const;
    // Every outcome but a match counts as not matching.
    bool is_match(std::string_view text) const { return match(text).matched(); }

    struct Impl;

private:
    friend struct EngineAccess;
    explicit AutomatonRegex(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

class BacktrackingRegex {
public:
    ~BacktrackingRegex();
    BacktrackingRegex(const BacktrackingRegex&) = delete;
    BacktrackingRegex& operator=(const BacktrackingRegex&) = delete;

    // Unanchored search with the four outcomes of the backtracking engine.
    BacktrackingMatch match(std::string_view text) const;

    // The same as a result: true, false, or the engine's error (EvaluationFailed for a caught
    // failure).
    Result<bool, RegexError> is_match(std::string_view text) const;

    // Whether matching runs on the backtracking machine (look-around, back-references, or a
    // pattern too large for the automaton), where the limits apply.
    bool backtracks() const noexcept;

    struct Impl;

private:
    friend struct EngineAccess;
    explicit BacktrackingRegex(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

inline BacktrackingMatch backtracking_is_match(const BacktrackingRegex& regex, std::string_view text) {
    return regex.match(text);
}

// Both take the ECMA-262 pattern as written in the schema: translation happens inside, from the
// one parse of the pattern. A pattern that repeats one class is a scan and reaches no engine.
// Otherwise the automaton is tried first (except for look-around and back-references), and the
// backtracking machine takes what is too large for it: for build_automaton_regex, what exceeds
// the automaton's size limits; for build_backtracking_regex, also what the automaton would take
// long to compile (the automaton then gets it back up to its size limits when the machine
// cannot take it either). An untranslatable pattern is a Parse
// error; an engine refusal a Compile error; a pattern whose expansion exceeds both engines' size
// limits a TooLarge error, found from the syntax tree before any copy of a repeated part is made.
Result<std::shared_ptr<const AutomatonRegex>, RegexError> build_automaton_regex(std::string_view pattern,
                                                                               const AutomatonLimits& limits = {});
Result<std::shared_ptr<const BacktrackingRegex>, RegexError> build_backtracking_regex(
    std::string_view pattern, const BacktrackingLimits& limits = {});

namespace detail {
Result<std::shared_ptr<const AutomatonRegex>, RegexError> build_automaton_regex(const Analysis& analysis,
                                                                               const AutomatonLimits& limits);
Result<std::shared_ptr<const BacktrackingRegex>, RegexError> build_backtracking_regex(const Analysis& analysis,
                                                                                     const BacktrackingLimits& limits);
// Why an analysis that cannot go to an engine is refused: Parse for an untranslatable pattern,
// TooLarge for a count beyond what the engines count, Compile otherwise.
RegexError refusal_of(const Analysis& analysis);
// The engine text for one engine, or a Compile error. Exposed for tests and tools.
Result<std::string, RegexError> engine_text(const Analysis& analysis, bool backtracking_machine);
}  // namespace detail

}  // namespace deririrore::regex
