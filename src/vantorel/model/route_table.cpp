#include "vantorel/model/route_table.hpp"

#include <cstring>
#include <optional>

#include "deririrore/core/internal_error.hpp"
#include "vantorel/model/seeded_hash.hpp"

namespace vantorel::model {

namespace {

struct TemplateSegment {
    std::string_view text;
    bool parameter = false;
};

// The segments of a template, or nothing when one holds a "{" that is not a whole "{name}".
std::optional<std::vector<TemplateSegment>> split_template(std::string_view route) {
    std::vector<TemplateSegment> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = route.find('/', start);
        const std::string_view seg = route.substr(start, slash == std::string_view::npos ? route.npos : slash - start);
        if (seg.find('{') == std::string_view::npos) {
            out.push_back({seg, false});
        } else {
            // Exactly "{name}" with no further brace inside the name.
            if (seg.size() < 2 || seg.front() != '{' || seg.back() != '}') return std::nullopt;
            const std::string_view name = seg.substr(1, seg.size() - 2);
            if (name.find_first_of("{}") != std::string_view::npos) return std::nullopt;
            out.push_back({name, true});
        }
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return out;
}

}  // namespace

namespace {

std::uint64_t fold_mul(std::uint64_t a, std::uint64_t b) noexcept {
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(p) ^ static_cast<std::uint64_t>(p >> 64);
}

std::uint64_t load_bytes(const char* p, std::size_t n) noexcept {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    return w;
}

}  // namespace

// Eight bytes at a time through a folded multiply with per-table random seeds, so that the keys
// of a document cannot be chosen to collide.
std::uint64_t RouteTable::edge_hash(std::uint32_t parent, std::string_view segment) const noexcept {
    std::uint64_t h = fold_mul(seed0_ ^ parent, seed1_ ^ segment.size());
    const char* p = segment.data();
    std::size_t n = segment.size();
    while (n >= 8) {
        h = fold_mul(h ^ load_bytes(p, 8), seed1_);
        p += 8;
        n -= 8;
    }
    if (n > 0) h = fold_mul(h ^ load_bytes(p, n), seed1_ ^ 0x9e3779b97f4a7c15ull);
    return fold_mul(h, seed0_ | 1);
}

RouteTable::RouteTable() : nodes_(1), edges_(64) {
    const deririrore::value::HashSeeds seeds = fresh_text_hash_seeds();
    seed0_ = seeds.k0;
    seed1_ = seeds.k1 | 1;
}

std::uint32_t RouteTable::literal_child(std::uint32_t node, std::string_view segment) const {
    const std::uint64_t h = edge_hash(node, segment);
    const std::size_t mask = edges_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
        const Edge& e = edges_[i];
        if (e.parent == kNone) return kNone;
        if (e.hash == h && e.parent == node && e.text_length == segment.size() &&
            std::memcmp(texts_.data() + e.text_offset, segment.data(), segment.size()) == 0) {
            return e.child;
        }
    }
}

void RouteTable::add_edge(std::uint32_t parent, std::string_view segment, std::uint32_t child) {
    if ((edge_count_ + 1) * 2 > edges_.size()) grow_edges();
    if (texts_.size() + segment.size() >= kNone) throw deririrore::InternalError("route table exceeds u32 text");
    Edge edge{edge_hash(parent, segment), parent, child, static_cast<std::uint32_t>(texts_.size()),
              static_cast<std::uint32_t>(segment.size())};
    texts_.append(segment);
    const std::size_t mask = edges_.size() - 1;
    std::size_t i = static_cast<std::size_t>(edge.hash) & mask;
    while (edges_[i].parent != kNone) i = (i + 1) & mask;
    edges_[i] = edge;
    ++edge_count_;
}

void RouteTable::grow_edges() {
    std::vector<Edge> old(edges_.size() * 2);
    old.swap(edges_);
    const std::size_t mask = edges_.size() - 1;
    for (const Edge& e : old) {
        if (e.parent == kNone) continue;
        std::size_t i = static_cast<std::size_t>(e.hash) & mask;
        while (edges_[i].parent != kNone) i = (i + 1) & mask;
        edges_[i] = e;
    }
}

RouteInsertResult RouteTable::insert(std::string_view route) {
    auto segments = split_template(route);
    if (!segments) return {RouteInsertStatus::Refused, {}, 0};
    std::size_t counted = 0;
    for (const TemplateSegment& s : *segments) {
        if (s.parameter && !(s.text.size() > 0 && s.text.front() == '*')) ++counted;
    }
    if (counted > kMaxRouteParameters) return {RouteInsertStatus::TooManyParameters, {}, counted};
    if (nodes_.size() + segments->size() >= kNone || routes_.size() >= kNone) {
        throw deririrore::InternalError("route table exceeds u32 nodes");
    }

    std::uint32_t node = 0;
    std::vector<std::string> names;
    for (const TemplateSegment& s : *segments) {
        if (s.parameter) {
            names.emplace_back(s.text);
            if (nodes_[node].parameter_child == kNone) {
                nodes_[node].parameter_child = static_cast<std::uint32_t>(nodes_.size());
                nodes_.emplace_back();
            }
            node = nodes_[node].parameter_child;
        } else {
            std::uint32_t child = literal_child(node, s.text);
            if (child == kNone) {
                child = static_cast<std::uint32_t>(nodes_.size());
                nodes_.emplace_back();
                add_edge(node, s.text, child);
            }
            node = child;
        }
    }
    if (nodes_[node].route != kNone) {
        return {RouteInsertStatus::Conflict, routes_[nodes_[node].route].text, counted};
    }
    nodes_[node].route = static_cast<std::uint32_t>(routes_.size());
    routes_.push_back(Route{std::string(route), std::move(names)});
    return {RouteInsertStatus::Inserted, {}, counted};
}

const std::string* RouteTable::find(std::string_view path, RouteLookup& lookup) const {
    auto& segments = lookup.segments_;
    auto& frames = lookup.frames_;
    auto& values = lookup.values_;
    segments.clear();
    frames.clear();
    values.clear();
    lookup.captures_.clear();

    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        segments.emplace_back(start, end - start);
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }

    // Depth-first, literal child before parameter child. A node of the trie sits at one depth
    // only, so each node is entered at most once per lookup: the walk is bounded by the trie.
    frames.push_back({0, 0, false});
    while (!frames.empty()) {
        RouteLookup::Frame& frame = frames.back();
        const std::size_t depth = frames.size() - 1;
        const Node& node = nodes_[frame.node];
        if (depth == segments.size()) {
            if (node.route != kNone) {
                const Route& route = routes_[node.route];
                if (route.parameter_names.size() != values.size()) {
                    throw deririrore::InternalError("route captures differ from its parameters");
                }
                for (std::size_t i = 0; i < values.size(); ++i) {
                    lookup.captures_.push_back({route.parameter_names[i], values[i]});
                }
                return &route.text;
            }
            frame.stage = 2;
        }
        if (frame.stage == 0) {
            frame.stage = 1;
            const auto [offset, length] = segments[depth];
            const std::uint32_t child = literal_child(frame.node, path.substr(offset, length));
            if (child != kNone) frames.push_back({child, 0, false});
            continue;
        }
        if (frame.stage == 1) {
            frame.stage = 2;
            const auto [offset, length] = segments[depth];
            if (node.parameter_child != kNone && length > 0) {
                values.push_back(path.substr(offset, length));
                frames.push_back({node.parameter_child, 0, true});
            }
            continue;
        }
        if (frame.via_parameter) values.pop_back();
        frames.pop_back();
    }
    return nullptr;
}

}  // namespace vantorel::model
