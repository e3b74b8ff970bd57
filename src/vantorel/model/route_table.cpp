#include "vantorel/model/route_table.hpp"

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

std::size_t RouteTable::ChildHash::operator()(const ChildView& k) const noexcept {
    deririrore::value::Hasher h(seeds);
    h.write_u64(k.parent);
    h.write_bytes(k.segment);
    return static_cast<std::size_t>(h.finish());
}

RouteTable::RouteTable() : nodes_(1), literals_(0, ChildHash{fresh_text_hash_seeds()}, ChildEqual{}) {}

std::uint32_t RouteTable::literal_child(std::uint32_t node, std::string_view segment) const {
    const auto it = literals_.find(ChildView{node, segment});
    return it == literals_.end() ? kNone : it->second;
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
                literals_.emplace(ChildKey{node, std::string(s.text)}, child);
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
