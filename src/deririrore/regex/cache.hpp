#pragma once
// The per-compilation pattern cache: each distinct pattern text is translated once and compiled
// at most once per engine. One cache belongs to one compilation on one thread; the compiled
// patterns it hands out are shared and immutable and may be matched from any thread.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "deririrore/regex/engine.hpp"

namespace deririrore::regex {

class RegexCache {
public:
    // The pattern in the engines' syntax (the pattern itself when the translation left it
    // unchanged), or null when it cannot be translated. Failures are not remembered.
    std::shared_ptr<const std::string> translate(std::string_view pattern);

    // The compiled pattern, or null when it cannot be translated or the engine refuses it. Each
    // engine reads only the limits of its own form of the options.
    std::shared_ptr<const AutomatonRegex> automaton(std::string_view pattern, const PatternOptions& options);
    std::shared_ptr<const BacktrackingRegex> backtracking(std::string_view pattern, const PatternOptions& options);

    // The same with the reason of a refusal, so that a caller can tell a pattern too large for
    // the engines' size limits from one that is not a pattern.
    Result<std::shared_ptr<const AutomatonRegex>, RegexError> try_automaton(std::string_view pattern,
                                                                           const PatternOptions& options);
    Result<std::shared_ptr<const BacktrackingRegex>, RegexError> try_backtracking(std::string_view pattern,
                                                                                 const PatternOptions& options);

    struct Stats {
        size_t translations = 0;
        size_t automaton_compilations = 0;
        size_t backtracking_compilations = 0;
    };
    const Stats& stats() const noexcept { return stats_; }
    size_t size() const noexcept { return entries_.size(); }

private:
    struct Entry {
        std::shared_ptr<const std::string> translated;
        std::shared_ptr<const struct detail::Analysis> analysis;
        std::shared_ptr<const AutomatonRegex> automaton;
        std::shared_ptr<const BacktrackingRegex> backtracking;
    };
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
    };
    struct Equal {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
    };
    // Null when the pattern cannot be translated; `refusal` then says why.
    Entry* entry(std::string_view pattern, RegexError* refusal = nullptr);

    std::unordered_map<std::string, Entry, Hash, Equal> entries_;
    Stats stats_;
};

inline std::shared_ptr<const std::string> translate_pattern_cached(RegexCache& cache, std::string_view pattern) {
    return cache.translate(pattern);
}
inline std::shared_ptr<const AutomatonRegex> compile_regex_cached(RegexCache& cache, std::string_view pattern,
                                                                  const PatternOptions& options) {
    return cache.automaton(pattern, options);
}
inline std::shared_ptr<const AutomatonRegex> compile_automaton_regex_cached(RegexCache& cache, std::string_view pattern,
                                                                            const PatternOptions& options) {
    return cache.automaton(pattern, options);
}
inline std::shared_ptr<const BacktrackingRegex> compile_backtracking_regex_cached(RegexCache& cache,
                                                                                  std::string_view pattern,
                                                                                  const PatternOptions& options) {
    return cache.backtracking(pattern, options);
}

}  // namespace deririrore::regex
