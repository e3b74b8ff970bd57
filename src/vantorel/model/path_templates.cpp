#include "vantorel/model/path_templates.hpp"

#include <algorithm>
#include <cstddef>

namespace vantorel::model {

namespace {

// One segment holding "{", or nothing when a "{" is not closed within it.
std::optional<PathSegment> parse_braced_segment(std::string_view seg) {
    std::vector<SegmentPart> parts;
    std::string pending;
    std::size_t i = 0;
    while (i < seg.size()) {
        if (seg[i] != '{') {
            pending.push_back(seg[i]);
            ++i;
            continue;
        }
        if (!pending.empty()) {
            parts.emplace_back(segment_parts::Literal{std::move(pending)});
            pending.clear();
        }
        const std::size_t close = seg.find('}', i + 1);
        if (close == std::string_view::npos) return std::nullopt;
        std::string_view name = seg.substr(i + 1, close - i - 1);
        if (!parts.empty() && std::holds_alternative<segment_parts::Parameter>(parts.back())) {
            parts.back() = segment_parts::AdjacentParameters{};
        } else if (parts.empty() || !std::holds_alternative<segment_parts::AdjacentParameters>(parts.back())) {
            parts.emplace_back(segment_parts::Parameter{std::string(name)});
        }
        i = close + 1;
    }
    if (!pending.empty()) parts.emplace_back(segment_parts::Literal{std::move(pending)});
    if (parts.size() == 1) {
        if (auto* p = std::get_if<segment_parts::Parameter>(&parts.front())) {
            return path_segments::Parameter{std::move(p->name)};
        }
    }
    return path_segments::Composite{std::move(parts)};
}

}  // namespace

std::optional<std::vector<PathSegment>> parse_path_template(std::string_view text) {
    std::vector<PathSegment> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = text.find('/', start);
        const std::string_view seg =
            text.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (seg.find('{') == std::string_view::npos) {
            out.emplace_back(path_segments::Literal{std::string(seg)});
        } else {
            auto parsed = parse_braced_segment(seg);
            if (!parsed) return std::nullopt;
            out.push_back(std::move(*parsed));
        }
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return out;
}

std::optional<std::string> strip_path_fragment(std::string_view text) {
    const std::size_t d = text.find('#');
    if (d == std::string_view::npos) return std::nullopt;
    const std::size_t slash = text.find('/', d);
    if (slash == std::string_view::npos) return std::string(text.substr(0, d));
    std::string_view before = text.substr(0, d);
    if (!before.empty() && before.back() == '/') before.remove_suffix(1);
    std::string out(before);
    out.push_back('/');
    out.append(text.substr(slash + 1));
    return out;
}

QueryConstraint query_constraint_of(std::string_view piece) {
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos) return query_constraints::Present{std::string(piece)};
    const std::string_view name = piece.substr(0, eq);
    const std::string_view value = piece.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '{' && piece.back() == '}') {
        return query_constraints::Capture{std::string(name), std::string(value.substr(1, value.size() - 2))};
    }
    return query_constraints::Fixed{std::string(name), std::string(value)};
}

std::vector<QueryConstraint> parse_query_constraints(std::string_view query) {
    std::vector<QueryConstraint> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t amp = query.find('&', start);
        out.push_back(query_constraint_of(
            query.substr(start, amp == std::string_view::npos ? std::string_view::npos : amp - start)));
        if (amp == std::string_view::npos) break;
        start = amp + 1;
    }
    return out;
}

bool match_mixed_segment(const std::vector<SegmentPart>& parts, std::string_view piece, SegmentCaptures& captures) {
    const std::size_t base = captures.size();
    const std::size_t n = piece.size();
    const std::size_t count = parts.size();

    // A parameter followed by a literal is a choice point; everything else is deterministic.
    struct Frame {
        std::size_t part;
        std::size_t pos;
        std::size_t search;
        bool captured;
    };
    std::vector<Frame> frames;
    // What follows a capture depends only on where the capture ends, and a frame at `pos` tries every
    // end after `pos`: once the frame of part k fails from `pos`, it fails from any later start too.
    // Keeping the smallest failed start per part makes the search linear in the segment per part.
    std::vector<std::size_t> fails_from(count + 1, std::string_view::npos);

    enum class Step { Matched, Failed, Pushed };
    auto advance = [&](std::size_t k, std::size_t pos) -> Step {
        while (k < count) {
            const auto* lit = std::get_if<segment_parts::Literal>(&parts[k]);
            if (!lit) break;
            if (piece.substr(pos).substr(0, lit->text.size()) != lit->text) return Step::Failed;
            pos += lit->text.size();
            ++k;
        }
        if (k == count) return pos == n ? Step::Matched : Step::Failed;
        const auto* param = std::get_if<segment_parts::Parameter>(&parts[k]);
        if (!param) return Step::Failed;
        if (k + 1 == count) {
            if (pos >= n) return Step::Failed;
            captures.emplace_back(param->name, piece.substr(pos));
            return Step::Matched;
        }
        if (!std::holds_alternative<segment_parts::Literal>(parts[k + 1])) return Step::Failed;
        if (fails_from[k] != std::string_view::npos && pos >= fails_from[k]) return Step::Failed;
        frames.push_back({k, pos, pos + 1, false});
        return Step::Pushed;
    };

    Step step = advance(0, 0);
    while (step != Step::Matched) {
        if (frames.empty()) {
            captures.resize(base);
            return false;
        }
        Frame& f = frames.back();
        if (f.captured) {
            captures.pop_back();
            f.captured = false;
        }
        const std::string& literal = std::get<segment_parts::Literal>(parts[f.part + 1]).text;
        const std::size_t q = f.search <= n ? piece.find(literal, f.search) : std::string_view::npos;
        if (q == std::string_view::npos) {
            fails_from[f.part] = std::min(fails_from[f.part], f.pos);
            frames.pop_back();
            step = Step::Failed;
            continue;
        }
        f.search = q + 1;
        f.captured = true;
        captures.emplace_back(std::get<segment_parts::Parameter>(parts[f.part]).name, piece.substr(f.pos, q - f.pos));
        step = advance(f.part + 2, q + literal.size());
    }
    return true;
}

bool match_pattern_segments(const std::vector<PathSegment>& segments, std::string_view path,
                            SegmentCaptures& captures) {
    if (segments.empty()) return false;
    const std::size_t base = captures.size();
    std::size_t start = 0;
    std::size_t i = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string_view piece =
            path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        bool ok = i < segments.size();
        if (ok) {
            const PathSegment& seg = segments[i];
            if (const auto* lit = std::get_if<path_segments::Literal>(&seg)) {
                ok = piece == lit->text;
            } else if (const auto* param = std::get_if<path_segments::Parameter>(&seg)) {
                ok = !piece.empty();
                if (ok) captures.emplace_back(param->name, piece);
            } else {
                ok = match_mixed_segment(std::get<path_segments::Composite>(seg).parts, piece, captures);
            }
        }
        if (!ok) {
            captures.resize(base);
            return false;
        }
        ++i;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    if (i != segments.size()) {
        captures.resize(base);
        return false;
    }
    return true;
}

}  // namespace vantorel::model
