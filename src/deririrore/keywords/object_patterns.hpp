#pragma once
// Patterns as the object keywords hold them, and the matching of property names against them.
//
// A match attempt has three answers. Besides match and no match, the backtracking engine may
// fail (its match limit reached, or a failure inside the engine). Such a failure never counts as
// "no match": that would let a property escape its pattern's subschema (and, beside a schema
// `additionalProperties`, be judged by a laxer one). The name is instead reported as failing,
// with the error the `pattern` keyword gives for the same failure, and is not additional.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/keywords/object_common.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/fast_pattern.hpp"

namespace deririrore::keywords {

enum class PatternMatch : std::uint8_t { NoMatch, Match, Failed };

class CompiledPattern {
public:
    enum class Kind : std::uint8_t { Fast, Automaton, Backtracking };

    static CompiledPattern fast(regex::FastPattern shape);
    static CompiledPattern automaton(std::shared_ptr<const regex::AutomatonRegex> regex);
    static CompiledPattern backtracking(std::shared_ptr<const regex::BacktrackingRegex> regex);

    Kind kind() const noexcept { return kind_; }

    // `failure` receives the engine's answer when the result is Failed.
    PatternMatch match(std::string_view name, regex::BacktrackingMatch& failure) const;

private:
    Kind kind_ = Kind::Fast;
    std::shared_ptr<const regex::FastPattern> fast_;
    std::shared_ptr<const regex::AutomatonRegex> automaton_;
    std::shared_ptr<const regex::BacktrackingRegex> backtracking_;
};

struct PatternEntry {
    CompiledPattern pattern;
    // The pattern as written in the schema, for the messages of engine failures.
    std::string text;
    // The pattern's subschema; its Location is patternProperties/<pattern>.
    const SchemaNode* node;

    const Location& location() const { return node->location(); }
};

// The error for a match attempt that failed inside the engine: the one `pattern` gives for the
// same failure ("Error executing regex: ..." or "Regex engine failed to evaluate pattern '...'"),
// about the property's value at the property's location, with the pattern's Location as schema
// path.
ValidationError pattern_failure_error(const PatternEntry& entry, const regex::BacktrackingMatch& failure,
                                      const Value& value, const LazyLocation& property_path, const RefChain* chain);
// The same as an evaluation unit at the pattern's Location.
core::EvaluationNode pattern_failure_unit(const PatternEntry& entry, const regex::BacktrackingMatch& failure,
                                          const Value& value, const LazyLocation& property_path,
                                          const RefChain* chain, EvaluationContext& ctx);

// How a pattern list is compiled: every pattern by the engine of the options, or each pattern
// without an engine where its shape allows.
enum class PatternShapes : std::uint8_t { PerPattern, AllOrNone };

// Compiles the patterns of a `patternProperties` object (in key order, each at
// patternProperties/<pattern>): all patterns are classified first, then each is compiled once
// and, with `with_subschemas`, its subschema after it. The first failure in key order ends the
// build: a pattern no engine takes, or a subschema's compile error. Without `with_subschemas` the
// entries' nodes are null.
Result<std::vector<PatternEntry>, ValidationError> compile_pattern_list(const CompileContext& ctx,
                                                                        const Value& patterns, PatternShapes shapes,
                                                                        bool with_subschemas);

}  // namespace deririrore::keywords
