#include "deririrore/canonical/context.hpp"

#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/overloaded.hpp"

namespace deririrore::canonical {

std::optional<SharedPattern> PatternCache::find(const std::string& text) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(text);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

void PatternCache::insert(const std::string& text, SharedPattern pattern) {
    std::lock_guard lock(mutex_);
    entries_[text] = std::move(pattern);
}

std::size_t PatternCache::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

CanonicalContext new_canonical_context(regex::PatternOptions options, Draft draft, bool format_asserts) {
    CanonicalContext c;
    c.pattern_options = options;
    c.draft = draft;
    c.format_asserts = format_asserts;
    return c;
}

void set_shared_patterns(CanonicalContext& context, std::shared_ptr<PatternCache> cache) {
    context.shared_patterns = std::move(cache);
}

void set_targets(CanonicalContext& context, std::shared_ptr<const TargetTable> targets) {
    context.targets = std::move(targets);
    context.settling_names.clear();
}

std::string CanonicalError::message() const {
    return std::visit(value::Overloaded{
                          [](const NotASchema& e) { return "schema must be a boolean or object, got: " + e.json; },
                          [](const NoValueAtPointer& e) { return "no value at pointer: " + e.pointer; },
                          [](const ReferenceFailed& e) { return e.error.message(); },
                          [](const SchemaInvalid& e) { return "schema validation failed: " + e.error.message(); },
                          [](const InvalidPattern& e) { return "invalid regular expression: " + e.pattern; },
                      },
                      data);
}

namespace {

SharedPattern compile(const regex::PatternOptions& options, const std::string& text) {
    if (options.engine == regex::PatternOptions::Engine::Automaton) {
        auto r = regex::build_automaton_regex(text, options.automaton_limits());
        if (!r.has_value()) return nullptr;
        return std::make_shared<const CompiledPattern>(CompiledPattern{std::move(*r)});
    }
    auto r = regex::build_backtracking_regex(text, options.backtracking_limits());
    if (!r.has_value()) return nullptr;
    return std::make_shared<const CompiledPattern>(CompiledPattern{std::move(*r)});
}

}  // namespace

SharedPattern lookup_compiled_pattern(CanonicalContext& context, const std::string& text) {
    if (auto it = context.pattern_map.find(text); it != context.pattern_map.end()) return it->second;
    SharedPattern found;
    bool have = false;
    if (context.shared_patterns) {
        if (auto hit = context.shared_patterns->find(text)) {
            found = std::move(*hit);
            have = true;
        }
    }
    if (!have) {
        // Translation and compilation run with no lock held.
        found = compile(context.pattern_options, text);
        ++context.patterns_compiled;
        if (context.shared_patterns) context.shared_patterns->insert(text, found);
    }
    context.pattern_map.emplace(text, found);
    return found;
}

PatternMatch search_pattern(const CompiledPattern& pattern, std::string_view text) {
    regex::BacktrackingMatch m;
    if (const auto* a = std::get_if<0>(&pattern.regex))
        m = (*a)->match(text);
    else
        m = std::get<1>(pattern.regex)->match(text);
    switch (m.outcome) {
        case regex::MatchOutcome::Matched:
            return PatternMatch::Matched;
        case regex::MatchOutcome::NotMatched:
            return PatternMatch::NotMatched;
        default:
            return PatternMatch::EngineError;
    }
}

bool pattern_matches_name(CanonicalContext& context, const std::string& pattern, std::string_view name) {
    auto compiled = lookup_compiled_pattern(context, pattern);
    if (!compiled) throw InternalError("pattern validated during parsing");
    return search_pattern(*compiled, name) == PatternMatch::Matched;
}

std::optional<Schema> lookup_reference_target(const CanonicalContext& context, std::string_view name) {
    if (!context.targets || context.settling_names.count(name)) return std::nullopt;
    auto it = context.targets->find(name);
    if (it == context.targets->end()) return std::nullopt;
    return it->second;
}

}  // namespace deririrore::canonical
