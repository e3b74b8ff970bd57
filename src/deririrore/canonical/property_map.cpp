#include "deririrore/canonical/property_map.hpp"

#include <algorithm>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

namespace {

template <class Map>
auto lower(Map& map, std::string_view name) {
    return std::lower_bound(map.entries.begin(), map.entries.end(), name,
                            [](const auto& e, std::string_view n) { return std::string_view(*e.first) < n; });
}

bool same_node(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

}  // namespace

void property_map_insert_at(PropertyMap& map, std::size_t position, SharedString name, Schema node) {
    if (position > map.entries.size()) throw InternalError("insertion index beyond the length of a property map");
    map.entries.insert(map.entries.begin() + static_cast<std::ptrdiff_t>(position), {std::move(name), std::move(node)});
}

std::optional<Schema> property_map_insert(PropertyMap& map, SharedString name, Schema node) {
    auto it = lower(map, *name);
    if (it != map.entries.end() && *it->first == *name) {
        Schema old = std::move(it->second);
        it->second = std::move(node);
        return old;
    }
    property_map_insert_at(map, static_cast<std::size_t>(it - map.entries.begin()), std::move(name), std::move(node));
    return std::nullopt;
}

std::optional<Schema> property_map_remove(PropertyMap& map, std::string_view name) {
    auto it = lower(map, name);
    if (it == map.entries.end() || *it->first != name) return std::nullopt;
    Schema old = std::move(it->second);
    map.entries.erase(it);
    return old;
}

const Schema* property_map_find(const PropertyMap& map, std::string_view name) {
    auto it = lower(map, name);
    if (it == map.entries.end() || *it->first != name) return nullptr;
    return &it->second;
}

void apply_pattern_properties(PropertyMap& properties, const PropertyMap& pattern_properties, const SharedString& name,
                              CanonicalContext& context) {
    for (const auto& [pattern, schema] : pattern_properties.entries) {
        if (!pattern_matches_name(context, *pattern, *name)) continue;
        auto old = property_map_remove(properties, *name);
        Schema next = old ? intersect(*old, schema, context) : schema;
        property_map_insert(properties, name, std::move(next));
    }
}

Admission schema_rejects_name(const Schema& node, std::string_view name, CanonicalContext& context) {
    switch (node->index()) {
        case KindIndex::MultiType:
            return node->as<kind::MultiType>()->types.contains(JsonType::String) ? Admission::Accepted
                                                                                 : Admission::Rejected;
        case KindIndex::String: {
            const auto& leaf = node->as<kind::String>()->leaf;
            const auto p = compile_patterns(leaf.patterns, context);
            const auto e = compile_patterns(leaf.excluded_patterns, context);
            return string_leaf_accepts(leaf, p, e, name, true);
        }
        case KindIndex::Const: {
            const auto& v = *node->as<kind::Const>()->value;
            return v.is_string() && v.as_string() == name ? Admission::Accepted : Admission::Rejected;
        }
        case KindIndex::Enum:
            for (const auto& v : node->as<kind::Enum>()->values)
                if (v->is_string() && v->as_string() == name) return Admission::Accepted;
            return Admission::Rejected;
        case KindIndex::Not:
        case KindIndex::OneOf:
        case KindIndex::Reference:
            return Admission::Undecided;
        case KindIndex::AllOf: {
            bool undecided = false;
            for (const auto& b : node->as<kind::AllOf>()->branches) {
                const auto a = schema_rejects_name(b, name, context);
                if (a == Admission::Rejected) return a;
                undecided |= a == Admission::Undecided;
            }
            return undecided ? Admission::Undecided : Admission::Accepted;
        }
        case KindIndex::AnyOf: {
            bool undecided = false;
            for (const auto& b : node->as<kind::AnyOf>()->branches) {
                const auto a = schema_rejects_name(b, name, context);
                if (a == Admission::Accepted) return a;
                undecided |= a == Admission::Undecided;
            }
            return undecided ? Admission::Undecided : Admission::Rejected;
        }
        default:
            throw InternalError("a key constraint survives normalization only in the string domain");
    }
}

Admission node_includes(const Schema& outer, const Schema& inner, CanonicalContext& context) {
    const auto outer_names = unchecked_names(outer, context);
    if (outer_names->count != 0) {
        const auto inner_names = unchecked_names(inner, context);
        if (inner_names->count < outer_names->count ||
            !std::includes(inner_names->names.begin(), inner_names->names.end(), outer_names->names.begin(),
                           outer_names->names.end()))
            return Admission::Undecided;
    }
    const bool saved = context.exhausted;
    context.exhausted = false;
    const Schema met = intersect(outer, inner, context);
    const bool ran_out = context.exhausted;
    context.exhausted = saved;
    if (ran_out) return Admission::Undecided;
    return same_node(deref_schema(met, context), deref_schema(inner, context)) ? Admission::Accepted
                                                                               : Admission::Undecided;
}

bool object_leaf_subsumed(CanonicalContext& context, const ObjectLeaf& leaf, std::size_t position,
                          const std::vector<ObjectLeaf>& leaves) {
    const bool saved = context.exhausted;
    context.exhausted = false;
    const Schema node = object_leaf_node(leaf, context);
    const bool ran_out = context.exhausted;
    context.exhausted = saved;
    if (ran_out || context.intersection_budget == 0 || is_false(node)) return false;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (i == position) continue;
        context.exhausted = false;
        const Schema other = object_leaf_node(leaves[i], context);
        const Schema met = intersect(node, other, context);
        const bool spent = context.exhausted;
        context.exhausted = saved;
        if (!spent && same_node(met, node) && context.intersection_budget != 0) return true;
    }
    return false;
}

void group_string_leaves_by_window(StringLeafGroup group, std::vector<StringLeaf>& out) {
    auto merged = merge_length_windows(std::move(group.windows));
    if (merged.empty()) throw InternalError("a group holds at least one window");
    for (std::size_t i = 0; i < merged.size(); ++i) {
        StringLeaf leaf = i + 1 == merged.size() ? std::move(group.shape) : group.shape;
        leaf.lengths = std::move(merged[i]);
        out.push_back(std::move(leaf));
    }
}

}  // namespace deririrore::canonical
