#include "deririrore/canonical/reference_graph.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

namespace {

// Children of a node with the guard flag they are reached under, in field order.
template <class F>
void for_each_flagged_child(const Schema& s, bool guarded, F&& f) {
    std::visit(
        [&](const auto& k) {
            using K = std::decay_t<decltype(k)>;
            if constexpr (std::is_same_v<K, kind::TypedGroup>) {
                f(k.body, guarded);
            } else if constexpr (std::is_same_v<K, kind::Not>) {
                f(k.operand, guarded);
            } else if constexpr (std::is_same_v<K, kind::AllOf> || std::is_same_v<K, kind::AnyOf> ||
                                 std::is_same_v<K, kind::OneOf>) {
                for (const auto& b : k.branches) f(b, guarded);
            } else if constexpr (std::is_same_v<K, kind::Array>) {
                for (const auto& p : k.leaf.prefix) f(p, true);
                if (k.leaf.items) f(*k.leaf.items, true);
                for (const auto& c : k.leaf.contains) f(c.schema, true);
            } else if constexpr (std::is_same_v<K, kind::Object>) {
                if (k.leaf.property_names) f(*k.leaf.property_names, true);
                for (const auto& e : k.leaf.properties.entries) f(e.second, true);
                for (const auto& e : k.leaf.pattern_properties.entries) f(e.second, true);
                if (k.leaf.additional) f(*k.leaf.additional, true);
                for (const auto& v : k.leaf.violations)
                    std::visit(
                        [&](const auto& x) {
                            using V = std::decay_t<decltype(x)>;
                            if constexpr (std::is_same_v<V, violation::UndeclaredValueFails>)
                                f(x.additional, true);
                            else
                                f(x.schema, true);
                        },
                        v);
            }
        },
        s->kind);
}

bool edge_less(const ReferenceEdge& a, const ReferenceEdge& b) {
    if (int c = a.target.compare(b.target); c != 0) return c < 0;
    return !a.guarded && b.guarded;
}

std::vector<ReferenceEdge> sorted_edges(const Schema& node) {
    std::vector<ReferenceUse> uses;
    collect_reference_edges(node, false, uses);
    std::vector<ReferenceEdge> edges;
    edges.reserve(uses.size());
    for (auto& u : uses) edges.push_back(ReferenceEdge{*u.target, u.guarded});
    std::stable_sort(edges.begin(), edges.end(), edge_less);
    edges.erase(std::unique(edges.begin(), edges.end(),
                            [](const ReferenceEdge& a, const ReferenceEdge& b) {
                                return a.guarded == b.guarded && a.target == b.target;
                            }),
                edges.end());
    return edges;
}

}  // namespace

void collect_reference_edges(const Schema& node, bool guarded, std::vector<ReferenceUse>& out) {
    // Shared subtrees are walked once per flag, so a heavily shared node graph
    // costs its size, not the number of its paths; the graph built from these
    // entries deduplicates them anyway.
    std::unordered_set<const SchemaData*> seen[2];
    std::vector<std::pair<Schema, bool>> stack{{node, guarded}};
    std::vector<std::pair<Schema, bool>> children;
    while (!stack.empty()) {
        auto [s, flag] = std::move(stack.back());
        stack.pop_back();
        if (!seen[flag ? 1 : 0].insert(s.get()).second) continue;
        if (const auto* r = s->as<kind::Reference>()) {
            out.push_back(ReferenceUse{r->name, flag});
            continue;
        }
        children.clear();
        for_each_flagged_child(s, flag, [&](const Schema& c, bool f) { children.emplace_back(c, f); });
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(std::move(*it));
    }
}

ReferenceGraph build_emptiness_graph(const Schema& root, const TargetTable& targets) {
    ReferenceGraph graph;
    graph.edges["#"] = sorted_edges(root);
    for (const auto& [uri, schema] : targets) graph.edges[uri] = sorted_edges(schema);
    return graph;
}

std::vector<ReferenceComponent> strongly_connected_components(const ReferenceGraph& whole) {
    const auto& graph = whole.edges;
    // Names get dense ids in bytewise order, which the map already keeps.
    std::vector<const std::string*> names;
    std::vector<const std::vector<ReferenceEdge>*> edge_lists;
    names.reserve(graph.size());
    for (const auto& [name, edges] : graph) {
        names.push_back(&name);
        edge_lists.push_back(&edges);
    }
    // Successor ids resolved once, so the search does not look names up per step.
    std::unordered_map<std::string_view, std::size_t> ids;
    ids.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) ids.emplace(*names[i], i);
    std::vector<std::vector<std::size_t>> successors(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        for (const auto& e : *edge_lists[i])
            if (auto it = ids.find(e.target); it != ids.end()) successors[i].push_back(it->second);

    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<std::size_t> index(names.size(), kNone);
    std::vector<std::size_t> lowlink(names.size(), kNone);
    std::vector<bool> on_stack(names.size(), false);
    std::vector<std::size_t> component_stack;
    std::vector<ReferenceComponent> result;
    std::size_t counter = 0;

    struct Frame {
        std::size_t node;
        std::size_t next_edge;
    };
    std::vector<Frame> frames;
    auto enter = [&](std::size_t v) {
        index[v] = lowlink[v] = counter++;
        component_stack.push_back(v);
        on_stack[v] = true;
        frames.push_back(Frame{v, 0});
    };
    auto checked = [](std::size_t x) {
        if (x == kNone) throw InternalError("no entry found for key");
        return x;
    };

    for (std::size_t start = 0; start < names.size(); ++start) {
        if (index[start] != kNone) continue;
        enter(start);
        while (!frames.empty()) {
            Frame& frame = frames.back();
            const std::size_t v = frame.node;
            if (frame.next_edge < successors[v].size()) {
                const std::size_t w = successors[v][frame.next_edge++];
                if (index[w] == kNone)
                    enter(w);
                else if (on_stack[w])
                    lowlink[v] = std::min(checked(lowlink[v]), checked(index[w]));
                continue;
            }
            if (checked(lowlink[v]) == checked(index[v])) {
                ReferenceComponent component;
                std::size_t w;
                do {
                    w = component_stack.back();
                    component_stack.pop_back();
                    on_stack[w] = false;
                    component.push_back(*names[w]);
                } while (w != v);
                result.push_back(std::move(component));
            }
            frames.pop_back();
            if (!frames.empty()) {
                const std::size_t parent = frames.back().node;
                lowlink[parent] = std::min(checked(lowlink[parent]), lowlink[v]);
            }
        }
    }
    return result;
}

bool is_recursive_component(const ReferenceComponent& component, const ReferenceGraph& graph) {
    if (component.size() >= 2) return true;
    if (component.empty()) return false;
    auto it = graph.edges.find(component.front());
    if (it == graph.edges.end()) return false;
    for (const auto& e : it->second)
        if (e.target == component.front()) return true;
    return false;
}

ReferenceGraph restrict_graph_to_component(const ReferenceComponent& component, const ReferenceGraph& graph,
                                           bool drop_guarded) {
    std::set<std::string_view> members(component.begin(), component.end());
    ReferenceGraph out;
    for (const auto& name : component) {
        std::vector<ReferenceEdge> kept;
        if (auto it = graph.edges.find(name); it != graph.edges.end())
            for (const auto& e : it->second)
                if (members.count(e.target) && !(drop_guarded && e.guarded)) kept.push_back(e);
        out.edges[name] = std::move(kept);
    }
    return out;
}

std::set<std::string, std::less<>> unguarded_references(const Schema& root, const TargetTable& targets) {
    const ReferenceGraph graph = build_emptiness_graph(root, targets);
    std::set<std::string, std::less<>> result;
    for (const auto& component : strongly_connected_components(graph)) {
        if (!is_recursive_component(component, graph)) continue;
        const ReferenceGraph whole = restrict_graph_to_component(component, graph, false);
        const ReferenceGraph unguarded = restrict_graph_to_component(component, whole, true);
        for (const auto& sub : strongly_connected_components(unguarded))
            if (is_recursive_component(sub, unguarded)) result.insert(sub.begin(), sub.end());
    }
    return result;
}

bool free_of_root_reference(const Schema& node) {
    std::unordered_set<const SchemaData*> seen;
    std::vector<Schema> stack{node};
    while (!stack.empty()) {
        Schema s = std::move(stack.back());
        stack.pop_back();
        if (!seen.insert(s.get()).second) continue;
        if (const auto* r = s->as<kind::Reference>()) {
            if (*r->name == "#") return false;
            continue;
        }
        if (const auto* o = s->as<kind::Object>()) {
            const auto& leaf = o->leaf;
            if (leaf.property_names && contains_reference(*leaf.property_names)) return false;
            for (const auto& v : leaf.violations) {
                const Schema& held = std::visit(
                    [](const auto& x) -> const Schema& {
                        using V = std::decay_t<decltype(x)>;
                        if constexpr (std::is_same_v<V, violation::UndeclaredValueFails>)
                            return x.additional;
                        else
                            return x.schema;
                    },
                    v);
                if (contains_reference(held)) return false;
            }
            for (const auto& e : leaf.properties.entries) stack.push_back(e.second);
            for (const auto& e : leaf.pattern_properties.entries) stack.push_back(e.second);
            if (leaf.additional) stack.push_back(*leaf.additional);
            continue;
        }
        for_each_flagged_child(s, false, [&](const Schema& c, bool) { stack.push_back(c); });
    }
    return true;
}

}  // namespace deririrore::canonical
