#include "deririrore/regex/witness.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "deririrore/regex/charset.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/parser.hpp"
#include "deririrore/regex/unicode.hpp"

namespace deririrore::regex {
namespace {

using detail::GroupKind;
using detail::Node;
using detail::NodeKind;
using detail::Tree;

constexpr size_t kMaxWitnessBytes = 256;
constexpr uint32_t kMaxWitnessRepeat = 64;

// The simplified form of a pattern: adjacent literals joined, single characters and classes of
// an alternation merged into one class, a common prefix of alternatives lifted out.
struct Hir {
    enum class Kind : uint8_t { Empty, Literal, Class, Look, Repetition, Capture, Concat, Alternation };
    Kind kind = Kind::Empty;
    std::string bytes;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    uint32_t min = 0;
    uint32_t max = 0;
    bool has_max = false;
    bool greedy = true;
    uint32_t tag = 0;  // look kind or capture index
    std::vector<Hir> subs;

    bool operator==(const Hir& other) const = default;
};

constexpr uint64_t kUnbounded = UINT64_MAX;

uint64_t max_len(const Hir& h) {
    switch (h.kind) {
        case Hir::Kind::Empty:
        case Hir::Kind::Look:
            return 0;
        case Hir::Kind::Literal:
            return h.bytes.size();
        case Hir::Kind::Class: {
            if (h.ranges.empty()) return kUnbounded;
            const char32_t hi = h.ranges.back().second;
            return hi < 0x80 ? 1 : hi < 0x800 ? 2 : hi < 0x10000 ? 3 : 4;
        }
        case Hir::Kind::Repetition: {
            if (!h.has_max) return kUnbounded;
            const uint64_t sub = max_len(h.subs[0]);
            if (sub == kUnbounded) return kUnbounded;
            return sub * h.max;
        }
        case Hir::Kind::Capture:
            return max_len(h.subs[0]);
        case Hir::Kind::Concat: {
            uint64_t total = 0;
            for (const Hir& s : h.subs) {
                const uint64_t n = max_len(s);
                if (n == kUnbounded) return kUnbounded;
                total += n;
            }
            return total;
        }
        case Hir::Kind::Alternation: {
            uint64_t best = 0;
            for (const Hir& s : h.subs) {
                const uint64_t n = max_len(s);
                if (n == kUnbounded) return kUnbounded;
                best = std::max(best, n);
            }
            return best;
        }
    }
    return kUnbounded;
}

Hir literal(std::string bytes) {
    Hir h;
    h.kind = Hir::Kind::Literal;
    h.bytes = std::move(bytes);
    return h;
}

Hir make_class(std::vector<std::pair<char32_t, char32_t>> ranges) {
    if (ranges.size() == 1 && ranges[0].first == ranges[0].second) {
        std::string bytes;
        detail::append_utf8(bytes, ranges[0].first);
        return literal(std::move(bytes));
    }
    Hir h;
    h.kind = Hir::Kind::Class;
    h.ranges = std::move(ranges);
    return h;
}

Hir class_of(const icu::UnicodeSet& set) {
    std::vector<std::pair<char32_t, char32_t>> ranges;
    for (int32_t i = 0; i < set.getRangeCount(); ++i) {
        ranges.emplace_back(static_cast<char32_t>(set.getRangeStart(i)), static_cast<char32_t>(set.getRangeEnd(i)));
    }
    return make_class(std::move(ranges));
}

Hir concat(std::vector<Hir> subs) {
    std::vector<Hir> out;
    std::string pending;
    bool has_pending = false;
    auto take = [&](Hir&& h) {
        if (h.kind == Hir::Kind::Literal) {
            pending += h.bytes;
            has_pending = true;
            return;
        }
        if (has_pending) {
            out.push_back(literal(std::move(pending)));
            pending.clear();
            has_pending = false;
        }
        out.push_back(std::move(h));
    };
    for (Hir& h : subs) {
        if (h.kind == Hir::Kind::Concat) {
            for (Hir& inner : h.subs) take(std::move(inner));
        } else if (h.kind != Hir::Kind::Empty) {
            take(std::move(h));
        }
    }
    if (has_pending) out.push_back(literal(std::move(pending)));
    if (out.empty()) return Hir{};
    if (out.size() == 1) return std::move(out[0]);
    Hir h;
    h.kind = Hir::Kind::Concat;
    h.subs = std::move(out);
    return h;
}

bool single_char(const Hir& h, char32_t& cp) {
    if (h.kind != Hir::Kind::Literal || h.bytes.empty()) return false;
    const size_t len = detail::decode_one(h.bytes, 0, cp);
    return len != 0 && len == h.bytes.size();
}

Hir alternation(std::vector<Hir> subs);

Hir lift_common_prefix(std::vector<Hir>&& alts, bool& lifted) {
    lifted = false;
    for (const Hir& h : alts) {
        if (h.kind != Hir::Kind::Concat) return Hir{};
    }
    size_t common = alts[0].subs.size();
    for (size_t k = 1; k < alts.size() && common > 0; ++k) {
        size_t n = 0;
        while (n < common && n < alts[k].subs.size() && alts[k].subs[n] == alts[0].subs[n]) ++n;
        common = n;
    }
    if (common == 0) return Hir{};
    lifted = true;
    std::vector<Hir> prefix(std::make_move_iterator(alts[0].subs.begin()),
                            std::make_move_iterator(alts[0].subs.begin() + static_cast<std::ptrdiff_t>(common)));
    std::vector<Hir> suffixes;
    for (Hir& h : alts) {
        std::vector<Hir> rest(std::make_move_iterator(h.subs.begin() + static_cast<std::ptrdiff_t>(common)),
                              std::make_move_iterator(h.subs.end()));
        suffixes.push_back(concat(std::move(rest)));
    }
    prefix.push_back(alternation(std::move(suffixes)));
    return concat(std::move(prefix));
}

Hir alternation(std::vector<Hir> subs) {
    std::vector<Hir> alts;
    for (Hir& h : subs) {
        if (h.kind == Hir::Kind::Alternation) {
            for (Hir& inner : h.subs) alts.push_back(std::move(inner));
        } else {
            alts.push_back(std::move(h));
        }
    }
    if (alts.empty()) return make_class({});
    if (alts.size() == 1) return std::move(alts[0]);
    bool all_chars = true;
    bool all_classes = true;
    icu::UnicodeSet merged;
    for (const Hir& h : alts) {
        char32_t cp;
        if (single_char(h, cp)) {
            merged.add(static_cast<UChar32>(cp));
        } else {
            all_chars = false;
        }
        if (h.kind != Hir::Kind::Class) all_classes = false;
    }
    if (all_chars) return class_of(merged);
    if (all_classes) {
        icu::UnicodeSet set;
        for (const Hir& h : alts) {
            for (const auto& [lo, hi] : h.ranges) set.add(static_cast<UChar32>(lo), static_cast<UChar32>(hi));
        }
        return class_of(set);
    }
    bool lifted = false;
    Hir prefixed = lift_common_prefix(std::move(alts), lifted);
    if (lifted) return prefixed;
    Hir h;
    h.kind = Hir::Kind::Alternation;
    h.subs = std::move(alts);
    return h;
}

Hir repetition(Hir sub, uint32_t min, uint32_t max, bool has_max, bool greedy) {
    if (max_len(sub) == 0) {
        min = std::min<uint32_t>(min, 1);
        max = has_max ? std::min<uint32_t>(max, 1) : 1;
        has_max = true;
    }
    if (min == 0 && has_max && max == 0) return Hir{};
    if (min == 1 && has_max && max == 1) return sub;
    Hir h;
    h.kind = Hir::Kind::Repetition;
    h.min = min;
    h.max = max;
    h.has_max = has_max;
    h.greedy = greedy;
    h.subs.push_back(std::move(sub));
    return h;
}

// Recursion depth is bounded by the syntax nesting limit the analysis enforced.
bool lower(const Tree& t, uint32_t id, Hir& out) {
    const Node& node = t.nodes[id];
    switch (node.kind) {
        case NodeKind::Empty:
        case NodeKind::SetFlags:
            out = Hir{};
            return true;
        case NodeKind::Literal:
            if (!detail::literal_needs_class(node)) {
                std::string bytes;
                detail::append_utf8(bytes, node.cp);
                out = literal(std::move(bytes));
                return true;
            }
            [[fallthrough]];
        case NodeKind::Dot:
        case NodeKind::PerlClass:
        case NodeKind::UnicodeClass:
        case NodeKind::Bracketed: {
            icu::UnicodeSet set;
            std::string error;
            if (!detail::node_charset(t, node, set, error)) return false;
            out = class_of(set);
            return true;
        }
        case NodeKind::Assertion:
            switch (static_cast<detail::AssertionKind>(node.sub)) {
                case detail::AssertionKind::AngleStart:
                    out = literal("<");
                    return true;
                case detail::AssertionKind::AngleEnd:
                    out = literal(">");
                    return true;
                case detail::AssertionKind::SpecialWordBoundary:
                    return false;
                default:
                    out = Hir{};
                    out.kind = Hir::Kind::Look;
                    out.tag = node.sub | (node.flags & detail::kMultiLine ? 0x100u : 0u);
                    return true;
            }
        case NodeKind::Repetition: {
            Hir sub;
            if (!lower(t, node.children[0], sub)) return false;
            const bool greedy = node.greedy != ((node.flags & detail::kSwapGreed) != 0);
            out = repetition(std::move(sub), node.min, node.max, node.has_max, greedy);
            return true;
        }
        case NodeKind::Group: {
            if (static_cast<GroupKind>(node.sub) > GroupKind::NonCapturing) return false;
            Hir sub;
            if (!node.children.empty() && !lower(t, node.children[0], sub)) return false;
            if (static_cast<GroupKind>(node.sub) == GroupKind::NonCapturing) {
                out = std::move(sub);
                return true;
            }
            out = Hir{};
            out.kind = Hir::Kind::Capture;
            out.tag = node.index;
            out.subs.push_back(std::move(sub));
            return true;
        }
        case NodeKind::Alternation:
        case NodeKind::Concat: {
            std::vector<Hir> subs;
            subs.reserve(node.children.size());
            for (uint32_t child : node.children) {
                Hir sub;
                if (!lower(t, child, sub)) return false;
                subs.push_back(std::move(sub));
            }
            out = node.kind == NodeKind::Concat ? concat(std::move(subs)) : alternation(std::move(subs));
            return true;
        }
        case NodeKind::BackRef:
            return false;
    }
    return false;
}

// The text built so far. `at_end` is set once an end-of-text assertion has been passed, after
// which nothing more may be added.
struct Witness {
    std::string buf;
    bool at_end = false;
};

// Anchors that can be checked on the text built so far; the rest (word boundaries, multi-line
// line ends) are left to the final check with the engine.
bool look_holds(uint32_t tag, Witness& w) {
    const bool multi = (tag & 0x100u) != 0;
    switch (static_cast<detail::AssertionKind>(tag & 0xFFu)) {
        case detail::AssertionKind::StartLine:
            return w.buf.empty() || (multi && w.buf.back() == '\n');
        case detail::AssertionKind::StartText:
            return w.buf.empty();
        case detail::AssertionKind::EndLine:
            if (!multi) w.at_end = true;
            return true;
        case detail::AssertionKind::EndText:
            w.at_end = true;
            return true;
        default:
            return true;
    }
}

bool build(const Hir& h, Witness& w) {
    std::string& buf = w.buf;
    if (buf.size() > kMaxWitnessBytes) return false;
    switch (h.kind) {
        case Hir::Kind::Empty:
            return true;
        case Hir::Kind::Look:
            return look_holds(h.tag, w);
        case Hir::Kind::Literal:
            if (w.at_end && !h.bytes.empty()) return false;
            buf += h.bytes;
            return true;
        case Hir::Kind::Class: {
            if (h.ranges.empty() || w.at_end) return false;
            for (const auto& [lo, hi] : h.ranges) {
                if (lo <= 'a' && 'a' <= hi) {
                    buf.push_back('a');
                    return true;
                }
            }
            detail::append_utf8(buf, h.ranges.front().first);
            return true;
        }
        case Hir::Kind::Repetition:
            if (h.min > kMaxWitnessRepeat) return false;
            for (uint32_t i = 0; i < h.min; ++i) {
                if (!build(h.subs[0], w)) return false;
            }
            return true;
        case Hir::Kind::Capture:
            return build(h.subs[0], w);
        case Hir::Kind::Concat:
            for (const Hir& s : h.subs) {
                if (!build(s, w)) return false;
            }
            return true;
        case Hir::Kind::Alternation: {
            const size_t mark = buf.size();
            const bool at_end = w.at_end;
            for (const Hir& s : h.subs) {
                buf.resize(mark);
                w.at_end = at_end;
                if (build(s, w)) return true;
            }
            buf.resize(mark);
            w.at_end = at_end;
            return false;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> pattern_witness(std::string_view pattern) {
    const auto analysis = detail::analyze_pattern(pattern);
    if (analysis->kind == TranslationKind::Untranslatable || !analysis->engine_ok) return std::nullopt;
    const Tree& tree = analysis->tree;
    if (tree.has_lookaround || tree.has_backref) return std::nullopt;
    Hir hir;
    if (!lower(tree, tree.root, hir)) return std::nullopt;
    Witness w;
    if (!build(hir, w)) return std::nullopt;
    // The builder ignores word boundaries and most line anchors: a text the pattern does not
    // match is no witness.
    auto engine = detail::build_automaton_regex(*analysis, {});
    if (!engine || !(*engine)->is_match(w.buf)) return std::nullopt;
    return std::move(w.buf);
}

}  // namespace deririrore::regex
