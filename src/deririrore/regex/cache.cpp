#include "deririrore/regex/cache.hpp"

#include "deririrore/regex/parser.hpp"

namespace deririrore::regex {

RegexCache::Entry* RegexCache::entry(std::string_view pattern, RegexError* refusal) {
    if (auto it = entries_.find(pattern); it != entries_.end()) return &it->second;
    auto analysis = detail::analyze_pattern(pattern);
    ++stats_.translations;
    if (analysis->kind == TranslationKind::Untranslatable) {
        if (refusal) *refusal = detail::refusal_of(*analysis);
        return nullptr;
    }
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
    auto built = try_automaton(pattern, options);
    return built ? *built : nullptr;
}

std::shared_ptr<const BacktrackingRegex> RegexCache::backtracking(std::string_view pattern,
                                                                  const PatternOptions& options) {
    auto built = try_backtracking(pattern, options);
    return built ? *built : nullptr;
}

Result<std::shared_ptr<const AutomatonRegex>, RegexError> RegexCache::try_automaton(std::string_view pattern,
                                                                                   const PatternOptions& options) {
    RegexError refusal;
    Entry* e = entry(pattern, &refusal);
    if (e == nullptr) return make_unexpected(std::move(refusal));
    if (e->automaton) return e->automaton;
    auto built = detail::build_automaton_regex(*e->analysis, options.automaton_limits());
    ++stats_.automaton_compilations;
    if (!built) return make_unexpected(std::move(built).error());
    e->automaton = *built;
    return e->automaton;
}

Result<std::shared_ptr<const BacktrackingRegex>, RegexError> RegexCache::try_backtracking(
    std::string_view pattern, const PatternOptions& options) {
    RegexError refusal;
    Entry* e = entry(pattern, &refusal);
    if (e == nullptr) return make_unexpected(std::move(refusal));
    if (e->backtracking) return e->backtracking;
    auto built = detail::build_backtracking_regex(*e->analysis, options.backtracking_limits());
    ++stats_.backtracking_compilations;
    if (!built) return make_unexpected(std::move(built).error());
    e->backtracking = *built;
    return e->backtracking;
}

}  // namespace deririrore::regex
