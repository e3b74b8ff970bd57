#include "deririrore/regex/class_run.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "deririrore/regex/charset.hpp"
#include "deririrore/regex/parser.hpp"
#include "deririrore/regex/unicode.hpp"

namespace deririrore::regex::detail {
namespace {

bool single_character(NodeKind kind) {
    return kind == NodeKind::Literal || kind == NodeKind::Dot || kind == NodeKind::PerlClass ||
           kind == NodeKind::UnicodeClass || kind == NodeKind::Bracketed;
}

// Plain groups change nothing about what a single item matches.
uint32_t unwrap(const Tree& t, uint32_t id) {
    for (;;) {
        const Node& node = t.nodes[id];
        if (node.kind != NodeKind::Group || static_cast<GroupKind>(node.sub) > GroupKind::NonCapturing ||
            node.children.size() != 1) {
            return id;
        }
        id = node.children[0];
    }
}

enum class Anchor : unsigned char { None, Start, End };

Anchor anchor_of(const Node& node) {
    if (node.kind != NodeKind::Assertion) return Anchor::None;
    const bool multi = (node.flags & kMultiLine) != 0;
    switch (static_cast<AssertionKind>(node.sub)) {
        case AssertionKind::StartLine: return multi ? Anchor::None : Anchor::Start;
        case AssertionKind::EndLine: return multi ? Anchor::None : Anchor::End;
        case AssertionKind::StartText: return Anchor::Start;
        case AssertionKind::EndText: return Anchor::End;
        default: return Anchor::None;
    }
}

}  // namespace

bool ClassRun::contains(char32_t c) const {
    if (c < 0x80) return (ascii_[c >> 6] >> (c & 63)) & 1u;
    auto it = std::upper_bound(wide_.begin(), wide_.end(), c,
                               [](char32_t v, const std::pair<char32_t, char32_t>& r) { return v < r.first; });
    return it != wide_.begin() && c <= std::prev(it)->second;
}

size_t ClassRun::size_bytes() const noexcept { return sizeof(ClassRun) + wide_.size() * sizeof(wide_[0]); }

bool ClassRun::is_match(std::string_view text) const {
    size_t i = 0;
    const size_t n = text.size();
    // Whether the character at i is a member; moves i past it.
    const auto next = [&]() -> bool {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++i;
            return (ascii_[byte >> 6] >> (byte & 63)) & 1u;
        }
        char32_t cp = 0;
        const size_t len = decode_one(text, i, cp);
        if (len == 0) {
            ++i;
            return false;
        }
        i += len;
        return contains(cp);
    };
    if (at_start_ && at_end_) {
        const uint64_t upper = bounded_ ? max_ : std::numeric_limits<uint64_t>::max();
        uint64_t count = 0;
        while (i < n) {
            if (!next() || ++count > upper) return false;
        }
        return count >= min_;
    }
    if (min_ == 0) return true;
    uint64_t run = 0;
    if (at_start_) {
        while (i < n) {
            if (!next()) return false;
            if (++run >= min_) return true;
        }
        return false;
    }
    if (at_end_) {
        while (i < n) run = next() ? run + 1 : 0;
        return run >= min_;
    }
    while (i < n) {
        if (!next()) {
            run = 0;
        } else if (++run >= min_) {
            return true;
        }
    }
    return false;
}

std::optional<ClassRun> class_run_of(const Analysis& a) {
    const Tree& t = a.tree;
    if (!a.engine_ok || t.has_lookaround || t.has_backref || t.nodes.empty()) return std::nullopt;
    std::vector<uint32_t> items;
    const Node& root = t.nodes[unwrap(t, t.root)];
    if (root.kind == NodeKind::Concat) {
        for (uint32_t child : root.children) {
            const NodeKind kind = t.nodes[child].kind;
            if (kind == NodeKind::Empty || kind == NodeKind::SetFlags) continue;
            items.push_back(unwrap(t, child));
        }
    } else {
        items.push_back(unwrap(t, t.root));
    }
    ClassRun run;
    size_t first = 0;
    size_t last = items.size();
    if (first < last && anchor_of(t.nodes[items[first]]) == Anchor::Start) {
        run.at_start_ = true;
        ++first;
    }
    if (first < last && anchor_of(t.nodes[items[last - 1]]) == Anchor::End) {
        run.at_end_ = true;
        --last;
    }
    if (last - first != 1) return std::nullopt;
    uint32_t item = items[first];
    if (t.nodes[item].kind == NodeKind::Repetition) {
        const Node& rep = t.nodes[item];
        run.min_ = rep.min;
        run.max_ = rep.max;
        run.bounded_ = rep.has_max;
        item = unwrap(t, rep.children[0]);
    }
    const Node& atom = t.nodes[item];
    if (!single_character(atom.kind)) return std::nullopt;
    icu::UnicodeSet set;
    std::string error;
    if (!node_charset(t, atom, set, error)) return std::nullopt;
    for (int32_t r = 0; r < set.getRangeCount(); ++r) {
        auto lo = static_cast<char32_t>(set.getRangeStart(r));
        const auto hi = static_cast<char32_t>(set.getRangeEnd(r));
        for (; lo <= hi && lo < 0x80; ++lo) run.ascii_[lo >> 6] |= uint64_t{1} << (lo & 63);
        if (lo <= hi) run.wide_.emplace_back(lo, hi);
    }
    return run;
}

}  // namespace deririrore::regex::detail
