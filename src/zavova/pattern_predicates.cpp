#include "zavova/pattern_predicates.hpp"

#include <unicode/uniset.h>

#include <algorithm>
#include <string>

#include "deririrore/regex/charset.hpp"
#include "deririrore/regex/parser.hpp"

namespace zavova {

namespace {

using namespace deririrore::regex::detail;

// Deeper than the parser lets a tree nest; a walk that gets here gives the cautious answer.
constexpr unsigned kWalkDepthLimit = 400;

constexpr std::string_view kUniversalTexts[] = {
    ".*",          "[^\\/]*",     "^[\\w\\W]*$", "^[\\W\\w]*$",       "^[\\s\\S]*$",
    "^[\\S\\s]*$", "^[\\d\\D]*$", "^[\\D\\d]*$", "^[\\w\\W\\s\\S]*$",
};

enum : unsigned { kAtStart = 1, kAtEnd = 2 };

class PatternWalk {
public:
    explicit PatternWalk(const Tree& tree) : t_(tree) {}

    const Node& node(std::uint32_t i) const { return t_.nodes[i]; }

    bool is_start_text(const Node& n) const {
        if (n.kind != NodeKind::Assertion) return false;
        const auto k = static_cast<AssertionKind>(n.sub);
        return k == AssertionKind::StartText || (k == AssertionKind::StartLine && !(n.flags & kMultiLine));
    }
    bool is_end_text(const Node& n) const {
        if (n.kind != NodeKind::Assertion) return false;
        const auto k = static_cast<AssertionKind>(n.sub);
        return k == AssertionKind::EndText || (k == AssertionKind::EndLine && !(n.flags & kMultiLine));
    }
    static bool is_class(const Node& n) {
        return n.kind == NodeKind::Literal || n.kind == NodeKind::Dot || n.kind == NodeKind::PerlClass ||
               n.kind == NodeKind::UnicodeClass || n.kind == NodeKind::Bracketed;
    }

    // Can the node match without consuming anything, every assertion assumed to hold.
    bool can_be_zero_width(std::uint32_t i, unsigned depth) const {
        if (depth > kWalkDepthLimit) return true;
        const Node& n = node(i);
        switch (n.kind) {
            case NodeKind::Empty:
            case NodeKind::SetFlags:
            case NodeKind::Assertion:
            case NodeKind::BackRef:
                return true;
            case NodeKind::Repetition:
                return n.min == 0 || can_be_zero_width(n.children[0], depth + 1);
            case NodeKind::Group:
                return can_be_zero_width(n.children[0], depth + 1);
            case NodeKind::Concat:
                return std::all_of(n.children.begin(), n.children.end(),
                                   [&](std::uint32_t c) { return can_be_zero_width(c, depth + 1); });
            case NodeKind::Alternation:
                return std::any_of(n.children.begin(), n.children.end(),
                                   [&](std::uint32_t c) { return can_be_zero_width(c, depth + 1); });
            default:
                return false;
        }
    }

    // Matches the empty string wherever it is tried, without depending on any assertion.
    bool always_matches_empty(std::uint32_t i, unsigned depth) const {
        if (depth > kWalkDepthLimit) return false;
        const Node& n = node(i);
        switch (n.kind) {
            case NodeKind::Empty:
            case NodeKind::SetFlags:
                return true;
            case NodeKind::Repetition:
                return n.min == 0 || always_matches_empty(n.children[0], depth + 1);
            case NodeKind::Group:
                return always_matches_empty(n.children[0], depth + 1);
            case NodeKind::Concat:
                return std::all_of(n.children.begin(), n.children.end(),
                                   [&](std::uint32_t c) { return always_matches_empty(c, depth + 1); });
            case NodeKind::Alternation:
                return std::any_of(n.children.begin(), n.children.end(),
                                   [&](std::uint32_t c) { return always_matches_empty(c, depth + 1); });
            default:
                return false;
        }
    }

    // Where the node surely matches the empty string in every subject: at its start, at its end.
    unsigned empty_positions(std::uint32_t i, unsigned depth) const {
        if (depth > kWalkDepthLimit) return 0;
        const Node& n = node(i);
        switch (n.kind) {
            case NodeKind::Empty:
            case NodeKind::SetFlags:
                return kAtStart | kAtEnd;
            case NodeKind::Assertion: {
                const auto k = static_cast<AssertionKind>(n.sub);
                if (k == AssertionKind::StartText || k == AssertionKind::StartLine) return kAtStart;
                if (k == AssertionKind::EndText || k == AssertionKind::EndLine) return kAtEnd;
                return 0;
            }
            case NodeKind::Repetition:
                return n.min == 0 ? (kAtStart | kAtEnd) : empty_positions(n.children[0], depth + 1);
            case NodeKind::Group:
                return empty_positions(n.children[0], depth + 1);
            case NodeKind::Concat: {
                unsigned all = kAtStart | kAtEnd;
                for (std::uint32_t c : n.children) all &= empty_positions(c, depth + 1);
                return all;
            }
            case NodeKind::Alternation: {
                unsigned any = 0;
                for (std::uint32_t c : n.children) any |= empty_positions(c, depth + 1);
                return any;
            }
            default:
                return 0;
        }
    }

    // Adds every character the node matches as a one-character string; false when a class
    // cannot be read (the set is then unusable).
    bool collect_single_characters(std::uint32_t i, icu::UnicodeSet& set, unsigned depth) const {
        if (depth > kWalkDepthLimit) return false;
        const Node& n = node(i);
        if (is_class(n)) {
            icu::UnicodeSet chars;
            std::string error;
            if (!node_charset(t_, n, chars, error)) return false;
            set.addAll(chars);
            return true;
        }
        switch (n.kind) {
            case NodeKind::Repetition:
                if (n.has_max && n.max == 0) return true;
                if (n.min >= 2 && !always_matches_empty(n.children[0], depth + 1)) return true;
                return collect_single_characters(n.children[0], set, depth + 1);
            case NodeKind::Group:
                return collect_single_characters(n.children[0], set, depth + 1);
            case NodeKind::Concat:
                for (std::size_t k = 0; k < n.children.size(); ++k) {
                    bool others_empty = true;
                    for (std::size_t j = 0; j < n.children.size() && others_empty; ++j) {
                        if (j != k && !always_matches_empty(n.children[j], depth + 1)) others_empty = false;
                    }
                    if (others_empty && !collect_single_characters(n.children[k], set, depth + 1)) return false;
                }
                return true;
            case NodeKind::Alternation:
                for (std::uint32_t c : n.children) {
                    if (!collect_single_characters(c, set, depth + 1)) return false;
                }
                return true;
            default:
                return true;
        }
    }

    static bool every_character(const icu::UnicodeSet& set) {
        icu::UnicodeSet scalars(0, 0x10FFFF);
        scalars.remove(0xD800, 0xDFFF);
        return set.containsAll(scalars);
    }

    bool matches_every_string(std::uint32_t i, unsigned depth) const {
        if (depth > kWalkDepthLimit) return false;
        const Node& n = node(i);
        switch (n.kind) {
            case NodeKind::Group:
                return matches_every_string(n.children[0], depth + 1);
            case NodeKind::Alternation:
                return std::any_of(n.children.begin(), n.children.end(),
                                   [&](std::uint32_t c) { return matches_every_string(c, depth + 1); });
            case NodeKind::Concat:
                return !n.children.empty() && std::all_of(n.children.begin(), n.children.end(), [&](std::uint32_t c) {
                    return matches_every_string(c, depth + 1);
                });
            case NodeKind::Repetition: {
                if (n.has_max) return false;
                if (n.min >= 1 && !always_matches_empty(n.children[0], depth + 1)) return false;
                icu::UnicodeSet chars;
                return collect_single_characters(n.children[0], chars, depth + 1) && every_character(chars);
            }
            default:
                return false;
        }
    }

    bool never_matches(std::uint32_t i, unsigned depth) const {
        if (depth > kWalkDepthLimit) return false;
        const Node& n = node(i);
        switch (n.kind) {
            case NodeKind::Group:
                return never_matches(n.children[0], depth + 1);
            case NodeKind::Repetition:
                return n.min >= 1 && never_matches(n.children[0], depth + 1);
            case NodeKind::Concat: {
                const auto& items = n.children;
                for (std::size_t k = 0; k < items.size(); ++k) {
                    const Node& item = node(items[k]);
                    if (is_start_text(item)) {
                        for (std::size_t j = 0; j < k; ++j) {
                            if (!can_be_zero_width(items[j], depth + 1)) return true;
                        }
                    }
                    if (is_end_text(item)) {
                        for (std::size_t j = k + 1; j < items.size(); ++j) {
                            if (!can_be_zero_width(items[j], depth + 1)) return true;
                        }
                    }
                    if (never_matches(items[k], depth + 1)) return true;
                }
                return false;
            }
            case NodeKind::Alternation:
                return !n.children.empty() && std::all_of(n.children.begin(), n.children.end(),
                                                          [&](std::uint32_t c) { return never_matches(c, depth + 1); });
            default:
                return false;
        }
    }

private:
    const Tree& t_;
};

// The parsed tree, when the pattern is one the predicates can read.
std::shared_ptr<const Analysis> readable(std::string_view pattern) {
    auto analysis = analyze_pattern(pattern);
    if (analysis->kind == deririrore::regex::TranslationKind::Untranslatable || !analysis->engine_ok) return nullptr;
    if (analysis->tree.has_lookaround || analysis->tree.has_backref || analysis->tree.nodes.empty()) return nullptr;
    return analysis;
}

}  // namespace

bool is_universal_pattern(std::string_view pattern) {
    if (std::find(std::begin(kUniversalTexts), std::end(kUniversalTexts), pattern) != std::end(kUniversalTexts))
        return true;
    auto analysis = readable(pattern);
    if (!analysis) return false;
    PatternWalk walk(analysis->tree);
    const std::uint32_t root = analysis->tree.root;
    const Node& top = walk.node(root);
    if (top.kind == NodeKind::Concat && !top.children.empty()) {
        const auto& items = top.children;
        const bool starts = walk.is_start_text(walk.node(items.front()));
        const bool ends = walk.is_end_text(walk.node(items.back()));
        if (starts || ends) {
            if (!starts || !ends || items.size() < 3) return false;
            for (std::size_t k = 1; k + 1 < items.size(); ++k) {
                if (!walk.matches_every_string(items[k], 1)) return false;
            }
            return true;
        }
    }
    // A search that matches the empty string at the start (or the end) of every subject finds a
    // match in every string.
    return walk.empty_positions(root, 0) != 0;
}

bool is_unsatisfiable_pattern(std::string_view pattern) {
    auto analysis = readable(pattern);
    if (!analysis) return false;
    PatternWalk walk(analysis->tree);
    return walk.never_matches(analysis->tree.root, 0);
}

}  // namespace zavova
