// A list of values met with a node, value by value: a value the node admits
// stays a constant, one it refuses goes, and an array, object or number whose
// test cannot be settled becomes a leaf narrowed to that one value.
#include <algorithm>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/array_node.hpp"
#include "deririrore/canonical/intersection.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::canonical {

namespace {

constexpr uint8_t kIntegerBit = static_cast<uint8_t>(JsonType::Integer);
constexpr uint8_t kNumberBit = static_cast<uint8_t>(JsonType::Number);

bool same_node(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

bool among(const std::vector<CanonicalJson>& sorted, const value::Value& v) {
    return std::binary_search(sorted.begin(), sorted.end(), v, [](const auto& x, const auto& y) {
        if constexpr (std::is_same_v<std::decay_t<decltype(x)>, CanonicalJson>)
            return compare_canonical_json(*x, y) < 0;
        else
            return compare_canonical_json(x, *y) < 0;
    });
}

Schema constant_of(const value::Value& v) { return make_schema(kind::Const{shared_canonical_json(v)}); }

// The node a value contributes after meeting a child schema: exact when it is
// that value's constant again.
struct ChildMeet {
    Schema node;
    bool exact = false;
};

ChildMeet meet_child(const std::optional<Schema>& schema, const value::Value& v, CanonicalContext& context) {
    Schema constant = constant_of(v);
    if (!schema || is_true(*schema)) return {constant, true};
    Schema met = intersect(*schema, constant, context);
    const Schema seen = deref_schema(met, context);
    const bool exact = same_node(seen, constant);
    return {std::move(met), exact};
}

Schema with_contributions(std::vector<CanonicalJson> kept, std::vector<Schema> contributed, CanonicalContext& context) {
    std::vector<Schema> parts;
    parts.reserve(contributed.size() + 1);
    parts.push_back(schema_from_value_set(std::move(kept)));
    for (auto& c : contributed) parts.push_back(std::move(c));
    return union_of(std::move(parts), context);
}

Schema meet_array(const std::vector<CanonicalJson>& values, const ArrayLeaf& leaf, CanonicalContext& context) {
    std::vector<CanonicalJson> kept;
    std::vector<Schema> contributed;
    for (const auto& v : values) {
        if (!v->is_array()) continue;
        const auto& items = v->as_array();
        const BigInt length(static_cast<unsigned long>(items.size()));
        if (!bounds_contain_count(leaf.lengths, length) || !distinctness_accepts(leaf.distinctness, items)) continue;
        const Admission facets = contains_facets_accept(leaf.contains, items, true, context);
        if (facets == Admission::Rejected) continue;
        bool dropped = false;
        bool exact = facets == Admission::Accepted;
        std::vector<Schema> prefix;
        prefix.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::optional<Schema> s = i < leaf.prefix.size() ? std::optional<Schema>(leaf.prefix[i]) : leaf.items;
            ChildMeet m = meet_child(s, items[i], context);
            if (is_false(m.node)) {
                dropped = true;
                break;
            }
            exact = exact && m.exact;
            prefix.push_back(std::move(m.node));
        }
        if (dropped) continue;
        if (exact) {
            kept.push_back(v);
            continue;
        }
        ArrayLeaf narrowed;
        narrowed.lengths = Bounds{length, length};
        narrowed.prefix = std::move(prefix);
        if (facets == Admission::Undecided) narrowed.contains = leaf.contains;
        contributed.push_back(array_leaf_node(std::move(narrowed), context));
    }
    return with_contributions(std::move(kept), std::move(contributed), context);
}

// How a name schema answers a member name, asked as a string value so that
// any node may be asked, not only those already narrowed to strings.
Admission name_verdict(const Schema& schema, const std::string& name, CanonicalContext& context) {
    const value::Value as_value = value::Value::string(name);
    if (node_rejects_value(schema, as_value, context)) return Admission::Rejected;
    return node_admits_value(schema, as_value, true, context) == Admission::Accepted ? Admission::Accepted
                                                                                     : Admission::Undecided;
}

// Whether a member meets the violation: Accepted when it does, Undecided when it cannot tell.
Admission member_meets_violation(const ObjectViolation& violation, const value::Member& member,
                                 CanonicalContext& context) {
    if (const auto* n = std::get_if<violation::NameFails>(&violation)) {
        const Admission a = name_verdict(n->schema, member.key, context);
        return a == Admission::Rejected ? Admission::Accepted
                                        : (a == Admission::Undecided ? Admission::Undecided : Admission::Rejected);
    }
    auto value_fails = [&](const Schema& s) {
        if (node_rejects_value(s, member.value, context)) return Admission::Accepted;
        return node_admits_value(s, member.value, true, context) == Admission::Accepted ? Admission::Rejected
                                                                                        : Admission::Undecided;
    };
    if (const auto* u = std::get_if<violation::UndeclaredValueFails>(&violation)) {
        for (const auto& name : u->names)
            if (*name == member.key) return Admission::Rejected;
        for (const auto& p : u->patterns)
            if (pattern_matches_name(context, *p, member.key)) return Admission::Rejected;
        return value_fails(u->additional);
    }
    const auto& p = std::get<violation::PatternValueFails>(violation);
    if (!pattern_matches_name(context, *p.pattern, member.key)) return Admission::Rejected;
    return value_fails(p.schema);
}

Schema meet_object(const std::vector<CanonicalJson>& values, const ObjectLeaf& leaf, CanonicalContext& context) {
    std::vector<CanonicalJson> kept;
    std::vector<Schema> contributed;
    for (const auto& v : values) {
        if (!v->is_object()) continue;
        const auto& members = v->as_object();
        const BigInt count(static_cast<unsigned long>(members.size()));
        if (!bounds_contain_count(leaf.sizes, count)) continue;
        if (!std::all_of(leaf.required.begin(), leaf.required.end(),
                         [&](const SharedString& name) { return v->contains(*name); }))
            continue;
        bool dropped = false;
        bool carry_names = false;
        if (leaf.property_names) {
            for (const auto& m : members) {
                const Admission a = name_verdict(*leaf.property_names, m.key, context);
                if (a == Admission::Rejected) {
                    dropped = true;
                    break;
                }
                if (a == Admission::Undecided) carry_names = true;
            }
        }
        if (dropped) continue;
        std::vector<ObjectViolation> carried;
        for (const auto& violation : leaf.violations) {
            bool met = false;
            bool undecided = false;
            for (const auto& m : members) {
                const Admission a = member_meets_violation(violation, m, context);
                if (a == Admission::Accepted) {
                    met = true;
                    break;
                }
                if (a == Admission::Undecided) undecided = true;
            }
            if (met) continue;
            if (!undecided) {
                dropped = true;
                break;
            }
            carried.push_back(violation);
        }
        if (dropped) continue;
        bool exact = !carry_names && carried.empty();
        PropertyMap properties;
        for (const auto& m : members) {
            const Schema s = member_schema_for_name(leaf, m.key, context);
            ChildMeet meet = meet_child(s, m.value, context);
            if (is_false(meet.node)) {
                dropped = true;
                break;
            }
            exact = exact && meet.exact;
            property_map_insert(properties, share(m.key), std::move(meet.node));
        }
        if (dropped) continue;
        if (exact) {
            kept.push_back(v);
            continue;
        }
        ObjectLeaf narrowed;
        narrowed.properties = std::move(properties);
        for (const auto& m : members) narrowed.required.push_back(share(m.key));
        narrowed.sizes.maximum = count;
        if (carry_names) narrowed.property_names = leaf.property_names;
        narrowed.violations = std::move(carried);
        contributed.push_back(object_leaf_node(std::move(narrowed), context));
    }
    return with_contributions(std::move(kept), std::move(contributed), context);
}

Schema meet_number(const std::vector<CanonicalJson>& values, const NumberLeaf& leaf, CanonicalContext& context) {
    std::vector<CanonicalJson> kept;
    std::vector<Schema> contributed;
    for (const auto& v : values) {
        if (number_leaf_accepts(leaf, *v)) {
            kept.push_back(v);
            continue;
        }
        if (!v->is_number() || !leaf.excludes_integers || !value::is_integer_text(v->number_text())) continue;
        NumberLeaf pinned;
        const std::string text(v->number_text());
        pinned.minimum = BoundNumber{text, true};
        pinned.maximum = BoundNumber{text, true};
        Schema node = number_leaf_node(merge_number_leaves(std::move(pinned), leaf), context);
        if (!is_false(node)) contributed.push_back(std::move(node));
    }
    return with_contributions(std::move(kept), std::move(contributed), context);
}

}  // namespace

bool integer_leaf_admits_value(const IntegerLeaf& leaf, const value::Value& v) {
    if (!v.is_number()) return false;
    const std::string_view text = v.number_text();
    for (const auto& x : leaf.not_multiple_of.members)
        if (value::number_text_is_multiple_of(x.limit, text)) return false;
    const auto n = parse_integer_text(text);
    if (!n) return false;
    if (leaf.bounds.minimum && *n < *leaf.bounds.minimum) return false;
    if (leaf.bounds.maximum && *n > *leaf.bounds.maximum) return false;
    for (const auto& d : leaf.multiple_of.members)
        if (!value::number_text_is_multiple_of(d.limit, text)) return false;
    return true;
}

std::vector<CanonicalJson> filter_values_by_integer_leaf(const std::vector<CanonicalJson>& values,
                                                         const IntegerLeaf& leaf) {
    std::vector<CanonicalJson> out;
    for (const auto& v : values)
        if (integer_leaf_admits_value(leaf, *v)) out.push_back(v);
    return out;
}

std::vector<CanonicalJson> filter_values_by_number_leaf(const std::vector<CanonicalJson>& values,
                                                        const NumberLeaf& leaf) {
    std::vector<CanonicalJson> out;
    for (const auto& v : values)
        if (number_leaf_accepts(leaf, *v)) out.push_back(v);
    return out;
}

Schema member_schema_for_name(const ObjectLeaf& leaf, std::string_view name, CanonicalContext& context) {
    Schema current = true_schema();
    if (const Schema* named = property_map_find(leaf.properties, name)) {
        current = *named;
    } else if (leaf.additional) {
        const bool matched = std::any_of(leaf.pattern_properties.entries.begin(), leaf.pattern_properties.entries.end(),
                                         [&](const auto& e) { return pattern_matches_name(context, *e.first, name); });
        if (!matched) current = *leaf.additional;
    }
    for (const auto& [pattern, schema] : leaf.pattern_properties.entries)
        if (pattern_matches_name(context, *pattern, name)) current = intersect(current, schema, context);
    return current;
}

Schema value_set_by_type(std::vector<CanonicalJson> values, JsonTypeSet types, CanonicalContext& context) {
    const uint8_t mask = types.bits();
    const uint8_t widened = widen_type_mask(mask);
    std::erase_if(values, [&](const CanonicalJson& v) { return (json_type_bit(*v) & widened) == 0; });
    if (!(mask & kIntegerBit) || (mask & kNumberBit) || context.draft != Draft::Draft4)
        return schema_from_value_set(std::move(values));
    std::vector<CanonicalJson> integral;
    std::vector<CanonicalJson> others;
    for (auto& v : values) (json_type_bit(*v) == kIntegerBit ? integral : others).push_back(std::move(v));
    std::vector<Schema> parts;
    Schema group = schema_from_value_set(std::move(integral));
    if (!is_false(group)) parts.push_back(typed_group(JsonType::Integer, std::move(group)));
    Schema rest = schema_from_value_set(std::move(others));
    if (!is_false(rest)) parts.push_back(std::move(rest));
    return union_of(std::move(parts), context);
}

Schema intersect_value_set(std::vector<CanonicalJson> values, const Schema& other, CanonicalContext& context) {
    switch (other->index()) {
        case KindIndex::Const:
        case KindIndex::Enum: {
            const auto theirs = value_set_members(other);
            std::erase_if(values, [&](const CanonicalJson& v) { return !among(theirs, *v); });
            return schema_from_value_set(std::move(values));
        }
        case KindIndex::MultiType:
            return value_set_by_type(std::move(values), other->as<kind::MultiType>()->types, context);
        case KindIndex::TypedGroup: {
            const auto* g = other->as<kind::TypedGroup>();
            const auto theirs = value_set_members(g->body);
            std::erase_if(values, [&](const CanonicalJson& v) {
                return json_type_bit(*v) != static_cast<uint8_t>(g->ty) || !among(theirs, *v);
            });
            return typed_group(g->ty, schema_from_value_set(std::move(values)));
        }
        case KindIndex::String: {
            const auto& leaf = other->as<kind::String>()->leaf;
            const auto patterns = compile_patterns(leaf.patterns, context);
            const auto excluded = compile_patterns(leaf.excluded_patterns, context);
            std::erase_if(values, [&](const CanonicalJson& v) {
                return !v->is_string() ||
                       string_leaf_accepts(leaf, patterns, excluded, v->as_string(), true) == Admission::Rejected;
            });
            return schema_from_value_set(std::move(values));
        }
        case KindIndex::Integer: {
            Schema kept =
                schema_from_value_set(filter_values_by_integer_leaf(values, other->as<kind::Integer>()->leaf));
            if (context.draft == Draft::Draft4) return typed_group(JsonType::Integer, std::move(kept));
            return kept;
        }
        case KindIndex::Number:
            return meet_number(values, other->as<kind::Number>()->leaf, context);
        case KindIndex::Array:
            return meet_array(values, other->as<kind::Array>()->leaf, context);
        case KindIndex::Object:
            return meet_object(values, other->as<kind::Object>()->leaf, context);
        default:
            throw InternalError("internal error: a value set meets a kind the dispatch answers first: " +
                                debug_string(other));
    }
}

}  // namespace deririrore::canonical
