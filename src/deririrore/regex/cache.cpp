#include "deririrore/regex/cache.hpp"

#include "deririrore/regex/parser.hpp"

namespace deririrore::regex {

RegexCache::Entry* RegexCache::entry(std::string_view pattern) {
    if (auto it = entries_.find(pattern); it != entries_.end()) return &it->second;
    auto analysis = detail::analyze_pattern(pattern);
    ++stats_.translations;
    if (analysis->kind == TranslationKind::Untranslatable) return nullptr;
    Entry e;
    e.translated = std::make_shared<const std::string>(analysis->kind == TranslationKind::Rewritten
                                                           ? analysis->translated
                                                           : std::string(pattern));
    e.analysis = std::move(analysis);
    return &entries_.emplace(std::string(pattern), std::move(e)).first->second;
}

std::shared_ptr<const std::string> RegexCache::translate(std::string_view pattern) {
    Entry* e = entry(pattern);
    return e ? e->translated : nullptr;
}

std::shared_ptr<const AutomatonRegex> RegexCache::automaton(std::string_view pattern, const PatternOptions& options) {
    Entry* e = entry(pattern);
    if (e == nullptr) return nullptr;
    if (e->automaton) return e->automaton;
    auto built = detail::build_automaton_regex(*e->analysis, options.automaton_limits());
    ++stats_.automaton_compilations;
    if (!built) return nullptr;
    e->automaton = *built;
    return e->automaton;
}

std::shared_ptr<const BacktrackingRegex> RegexCache::backtracking(std::string_view pattern,
                                                                  const PatternOptions& options) {
    Entry* e = entry(pattern);
    if (e == nullptr) return nullptr;
    if (e->backtracking) return e->backtracking;
    auto built = detail::build_backtracking_regex(*e->analysis, options.backtracking_limits());
    ++stats_.backtracking_compilations;
    if (!built) return nullptr;
    e->backtracking = *built;
    return e->backtracking;
}

}  // namespace deririrore::regex
