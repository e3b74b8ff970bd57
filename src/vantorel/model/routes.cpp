#include "vantorel/model/routes.hpp"

#include <tuple>

namespace vantorel::model {

MethodMap& PathIndex::insert(std::string_view route) {
    if (auto it = index_.find(route); it != index_.end()) return entries_[it->second].methods;
    entries_.push_back(Entry{std::string(route), MethodMap{}});
    index_.emplace(entries_.back().route, entries_.size() - 1);
    return entries_.back().methods;
}

MethodMap* PathIndex::find(std::string_view route) noexcept {
    auto it = index_.find(route);
    return it == index_.end() ? nullptr : &entries_[it->second].methods;
}

const MethodMap* PathIndex::find(std::string_view route) const noexcept {
    auto it = index_.find(route);
    return it == index_.end() ? nullptr : &entries_[it->second].methods;
}

namespace {

// Some "/"-separated segment holds a "{" after an earlier "{".
bool has_doubled_brace_segment(std::string_view text) {
    bool open_seen = false;
    for (char c : text) {
        if (c == '/') {
            open_seen = false;
        } else if (c == '{') {
            if (open_seen) return true;
            open_seen = true;
        }
    }
    return false;
}

std::vector<std::string_view> split_slashes(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = text.find('/', start);
        out.push_back(text.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return out;
}

bool is_whole_parameter(std::string_view seg) noexcept {
    return seg.size() >= 2 && seg.front() == '{' && seg.back() == '}';
}

}  // namespace

TextMap<std::string> shadowing_renames(std::string_view route, std::string_view owner) {
    TextMap<std::string> renames;
    const auto mine = split_slashes(route);
    const auto theirs = split_slashes(owner);
    for (std::size_t i = 0; i < mine.size() && i < theirs.size(); ++i) {
        if (!is_whole_parameter(mine[i]) || !is_whole_parameter(theirs[i])) continue;
        const std::string_view a = mine[i].substr(1, mine[i].size() - 2);
        const std::string_view b = theirs[i].substr(1, theirs[i].size() - 2);
        if (a != b) renames.insert_or_assign(std::string(a), std::string(b));
    }
    return renames;
}

void register_unrouted_template(RouteIndex& index, std::string_view route) {
    const std::size_t q = route.find('?');
    if (q != std::string_view::npos) {
        std::string_view path = route.substr(0, q);
        if (q > 1 && path.back() == '/') path.remove_suffix(1);
        auto segments = parse_path_template(path);
        if (!segments) {
            index.unroutable_templates.emplace(route);
            return;
        }
        index.query_templates.push_back(
            QueryTemplate{std::move(*segments), parse_query_constraints(route.substr(q + 1)), std::string(route)});
        return;
    }
    std::string_view path = route;
    if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    auto segments = parse_path_template(path);
    if (!segments) {
        index.unroutable_templates.emplace(route);
        return;
    }
    index.segment_templates.push_back(SegmentTemplate{std::move(*segments), {}, std::string(route)});
}

MethodMap& insert_route(RouteIndex& index, const std::optional<std::string>& base_path, std::string_view path_key,
                        std::vector<ProblemEntry>& problems) {
    std::string route = base_path ? *base_path + std::string(path_key) : std::string(path_key);

    if (auto stripped = strip_path_fragment(route)) {
        index.fragment_paths[std::move(*stripped)].push_back(route);
    }

    if (route.find('?') != std::string::npos || has_doubled_brace_segment(route)) {
        register_unrouted_template(index, route);
        return index.paths.insert(route);
    }

    if (route.size() > 1 && route.back() == '/') index.has_trailing_slash_templates = true;

    const RouteInsertResult inserted = index.routes.insert(route);
    switch (inserted.status) {
        case RouteInsertStatus::Inserted:
            break;
        case RouteInsertStatus::Conflict: {
            std::string owner(inserted.owner);
            auto renames = shadowing_renames(route, owner);
            index.shadowing_templates.insert_or_assign(route, Shadowing{std::move(owner), std::move(renames)});
            register_unrouted_template(index, route);
            break;
        }
        case RouteInsertStatus::TooManyParameters:
            problems.push_back(ProblemEntry{
                std::string(path_key), std::nullopt,
                SpecProblem{problems::TooManyRouteParameters{inserted.parameters, kMaxRouteParameters}}, 0});
            register_unrouted_template(index, route);
            break;
        case RouteInsertStatus::Refused:
            register_unrouted_template(index, route);
            break;
    }
    return index.paths.insert(route);
}

void mark_shadowed_operations(RouteIndex& index) {
    std::vector<std::tuple<std::string_view, HttpMethod, std::string_view>> notes;
    for (const auto& [route, shadowing] : index.shadowing_templates) {
        const MethodMap* mine = index.paths.find(route);
        const MethodMap* owner = index.paths.find(shadowing.owner);
        if (mine == nullptr || owner == nullptr || mine->empty()) continue;
        for (const auto& entry : *mine) {
            if (owner->get(entry.method) != nullptr) notes.emplace_back(route, entry.method, shadowing.owner);
        }
    }
    for (const auto& [route, method, owner] : notes) {
        MethodMap* mine = index.paths.find(route);
        if (mine == nullptr) continue;
        if (OperationRecord* op = mine->get(method)) op->shadowed_by = std::string(owner);
    }
}

}  // namespace vantorel::model
