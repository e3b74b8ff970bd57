#include "deririrore/canonical/union.hpp"

#include <algorithm>
#include <utility>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/array_node.hpp"
#include "deririrore/canonical/intersection.hpp"
#include "deririrore/canonical/leaf_union.hpp"
#include "deririrore/canonical/object_union.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/simplify.hpp"
#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

namespace {

constexpr uint8_t kNull = 1;
constexpr uint8_t kBoolean = 2;
constexpr uint8_t kIntegerBit = 4;
constexpr uint8_t kNumberBit = 8;
constexpr uint8_t kStringBit = 16;
constexpr uint8_t kArrayBit = 32;
constexpr uint8_t kObjectBit = 64;
constexpr uint8_t kEveryType = 127;

uint8_t normal_mask(uint8_t mask) { return (mask & kNumberBit) ? static_cast<uint8_t>(mask & ~kIntegerBit) : mask; }

struct TypedValues {
    JsonType ty;
    std::vector<CanonicalJson> values;
};

struct TypePartition {
    uint8_t mask = 0;
    std::vector<CanonicalJson> values;
    std::vector<TypedValues> groups;
    std::vector<StringLeaf> strings;
    std::vector<IntegerLeaf> integers;
    std::vector<NumberLeaf> numbers;
    std::vector<ArrayLeaf> arrays;
    std::vector<ObjectLeaf> objects;
    std::vector<Schema> opaque;
};

bool same_node(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

bool unconstrained(const IntegerLeaf& l) {
    return !l.bounds.minimum && !l.bounds.maximum && l.multiple_of.members.empty() && l.not_multiple_of.members.empty();
}
bool unconstrained(const NumberLeaf& l) {
    return !l.minimum && !l.maximum && l.multiple_of.members.empty() && l.not_multiple_of.members.empty() &&
           !l.excludes_integers;
}
bool unconstrained(const StringLeaf& l) {
    return !l.lengths.minimum && !l.lengths.maximum && l.patterns.empty() && l.excluded_patterns.empty() &&
           l.formats.empty() && l.excluded_formats.empty() && l.content_media_types.empty() &&
           l.content_encodings.empty() && l.excluded.empty();
}
bool unconstrained(const ArrayLeaf& l) {
    return !l.lengths.minimum && !l.lengths.maximum && l.distinctness == Distinctness::Unconstrained &&
           l.prefix.empty() && !l.items && l.contains.empty();
}
bool unconstrained(const ObjectLeaf& l) {
    return !l.sizes.minimum && !l.sizes.maximum && !l.property_names && !l.additional && l.properties.empty() &&
           l.pattern_properties.empty() && l.required.empty() && l.violations.empty();
}

// Removes the unconstrained leaves of a list; true when there was one.
template <class Leaf>
bool drop_unconstrained(std::vector<Leaf>& leaves) {
    const auto before = leaves.size();
    std::erase_if(leaves, [](const Leaf& l) { return unconstrained(l); });
    return leaves.size() != before;
}

Schema union_at(std::vector<Schema> branches, CanonicalContext& context, uint32_t depth);

template <class Leaf>
void normalize_kind(std::vector<Leaf>& leaves, void (*normalize)(LeafList<Leaf>&)) {
    if (leaves.size() < 2) return;
    LeafList<Leaf> list{std::move(leaves), false};
    normalize(list);
    leaves = std::move(list.leaves);
}

std::vector<Schema> partition_parts(TypePartition p, CanonicalContext& context) {
    std::vector<Schema> list;
    list.push_back(make_schema(kind::MultiType{JsonTypeSet::from_bits(p.mask)}));
    list.push_back(schema_from_value_set(std::move(p.values)));
    for (auto& g : p.groups) list.push_back(typed_group(g.ty, schema_from_value_set(std::move(g.values))));
    for (auto& l : p.strings) list.push_back(string_leaf_node(std::move(l), context));
    for (auto& l : p.integers) list.push_back(integer_leaf_node(std::move(l), context));
    for (auto& l : p.numbers) list.push_back(number_leaf_node(std::move(l), context));
    for (auto& l : p.arrays) list.push_back(array_leaf_node(std::move(l), context));
    for (auto& l : p.objects) list.push_back(object_leaf_node(std::move(l), context));
    for (auto& o : p.opaque) list.push_back(std::move(o));
    return list;
}

Schema assemble_type_partition(TypePartition p, CanonicalContext& context, uint32_t depth) {
    return union_at(partition_parts(std::move(p), context), context, depth + 1);
}

bool array_leaf_admits(const ArrayLeaf& leaf, const value::Value& v, CanonicalContext& context) {
    const auto& items = v.as_array();
    if (!bounds_contain_count(leaf.lengths, BigInt(static_cast<unsigned long>(items.size())))) return false;
    if (!distinctness_accepts(leaf.distinctness, items)) return false;
    if (contains_facets_accept(leaf.contains, items, true, context) != Admission::Accepted) return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Schema* schema = i < leaf.prefix.size() ? &leaf.prefix[i] : (leaf.items ? &*leaf.items : nullptr);
        if (schema && node_admits_value(*schema, items[i], true, context) != Admission::Accepted) return false;
    }
    return true;
}

// False when some leaf of the value's type certainly admits it, so the value adds nothing.
bool value_admitted_by_leaves(const TypePartition& p, const std::vector<std::vector<SharedPattern>>& patterns,
                              const std::vector<std::vector<SharedPattern>>& excluded, const value::Value& v,
                              CanonicalContext& context) {
    switch (v.kind()) {
        case value::ValueKind::Number:
            for (const auto& l : p.numbers)
                if (number_leaf_accepts(l, v)) return false;
            if (context.draft != Draft::Draft4)
                for (const auto& l : p.integers)
                    if (integer_leaf_admits_value(l, v)) return false;
            return true;
        case value::ValueKind::String:
            for (std::size_t i = 0; i < p.strings.size(); ++i)
                if (string_leaf_accepts(p.strings[i], patterns[i], excluded[i], v.as_string(), true) ==
                    Admission::Accepted)
                    return false;
            return true;
        case value::ValueKind::Array:
            for (const auto& l : p.arrays)
                if (array_leaf_admits(l, v, context)) return false;
            return true;
        case value::ValueKind::Object:
            for (const auto& l : p.objects)
                if (object_leaf_admits_value(l, v, context) == Admission::Accepted) return false;
            return true;
        default:
            return true;
    }
}

bool value_in_sorted(const std::vector<CanonicalJson>& sorted, const value::Value& v) {
    return std::binary_search(sorted.begin(), sorted.end(), v, [](const auto& a, const auto& b) {
        if constexpr (std::is_same_v<std::decay_t<decltype(a)>, CanonicalJson>)
            return compare_canonical_json(*a, b) < 0;
        else
            return compare_canonical_json(a, *b) < 0;
    });
}

Schema union_at(std::vector<Schema> work, CanonicalContext& context, uint32_t depth) {
    if (depth > kMaxUnionRestarts) {
        std::vector<Schema> flat;
        for (auto& b : work) {
            if (is_true(b)) return true_schema();
            if (const auto* any = b->as<kind::AnyOf>())
                flat.insert(flat.end(), any->branches.begin(), any->branches.end());
            else
                flat.push_back(std::move(b));
        }
        return any_of_from_branches(std::move(flat));
    }
    TypePartition p;
    // 1. Partition; AnyOf members go back on the work list, so nesting flattens at any depth.
    while (!work.empty()) {
        Schema branch = std::move(work.back());
        work.pop_back();
        switch (branch->index()) {
            case KindIndex::MultiType:
                p.mask = normal_mask(static_cast<uint8_t>(p.mask | branch->as<kind::MultiType>()->types.bits()));
                break;
            case KindIndex::TypedGroup: {
                const auto* g = branch->as<kind::TypedGroup>();
                auto members = value_set_members(g->body);
                auto it =
                    std::find_if(p.groups.begin(), p.groups.end(), [&](const TypedValues& t) { return t.ty == g->ty; });
                if (it == p.groups.end())
                    p.groups.push_back(TypedValues{g->ty, std::move(members)});
                else
                    it->values.insert(it->values.end(), members.begin(), members.end());
                break;
            }
            case KindIndex::String:
                p.strings.push_back(branch->as<kind::String>()->leaf);
                break;
            case KindIndex::Integer:
                p.integers.push_back(branch->as<kind::Integer>()->leaf);
                break;
            case KindIndex::Number:
                p.numbers.push_back(branch->as<kind::Number>()->leaf);
                break;
            case KindIndex::Array:
                p.arrays.push_back(branch->as<kind::Array>()->leaf);
                break;
            case KindIndex::Object:
                p.objects.push_back(branch->as<kind::Object>()->leaf);
                break;
            case KindIndex::Const:
                p.values.push_back(branch->as<kind::Const>()->value);
                break;
            case KindIndex::Enum: {
                const auto& vs = branch->as<kind::Enum>()->values;
                p.values.insert(p.values.end(), vs.begin(), vs.end());
                break;
            }
            case KindIndex::Not:
            case KindIndex::AllOf:
            case KindIndex::OneOf:
            case KindIndex::Reference:
                if (std::none_of(p.opaque.begin(), p.opaque.end(),
                                 [&](const Schema& o) { return same_node(o, branch); }))
                    p.opaque.push_back(std::move(branch));
                break;
            case KindIndex::AnyOf: {
                const auto& bs = branch->as<kind::AnyOf>()->branches;
                work.insert(work.end(), bs.begin(), bs.end());
                break;
            }
            case KindIndex::True:
                return true_schema();
            case KindIndex::False:
                break;
            case KindIndex::Raw:
                throw InternalError("internal stop: a whole-document Raw node reached a union");
        }
    }

    // 2. Whatever the mask covers goes.
    const uint8_t effective = widen_type_mask(p.mask);
    if (effective == kEveryType) return true_schema();
    const bool draft4 = context.draft == Draft::Draft4;
    std::erase_if(p.values, [&](const CanonicalJson& v) {
        const uint8_t bit = json_type_bit(*v);
        if ((bit & effective) == 0) return false;
        // Draft 4 counts 1.0 as no integer, and canonical texts cannot tell 1 from 1.0.
        if (bit == kIntegerBit && draft4 && !(p.mask & kNumberBit)) return false;
        return true;
    });
    std::erase_if(p.groups, [&](const TypedValues& g) { return (static_cast<uint8_t>(g.ty) & effective) != 0; });
    if (p.mask & kStringBit) p.strings.clear();
    if (effective & kIntegerBit) p.integers.clear();
    if (p.mask & kNumberBit) p.numbers.clear();
    if (p.mask & kArrayBit) p.arrays.clear();
    if (p.mask & kObjectBit) p.objects.clear();

    // 4. Object leaves merged by window and single members, covered ones dropped.
    if (p.objects.size() > 1) p.objects = normalize_object_leaves(std::move(p.objects), context);

    // Leaves of one kind merged where they differ only in interval or window.
    normalize_kind(p.integers, normalize_integer_leaves);
    normalize_kind(p.numbers, normalize_number_leaves);
    normalize_kind(p.strings, normalize_string_leaves);
    normalize_kind(p.arrays, normalize_array_leaves);

    // 5. Leaves that constrain nothing become type bits; a widened mask prunes again.
    uint8_t widened = p.mask;
    if (drop_unconstrained(p.integers)) widened |= kIntegerBit;
    if (drop_unconstrained(p.numbers)) widened |= kNumberBit;
    if (drop_unconstrained(p.strings)) widened |= kStringBit;
    if (drop_unconstrained(p.arrays)) widened |= kArrayBit;
    if (drop_unconstrained(p.objects)) widened |= kObjectBit;
    widened = normal_mask(widened);
    if (widened != p.mask) {
        p.mask = widened;
        return assemble_type_partition(std::move(p), context, depth);
    }

    // 7. Values that a leaf already admits add nothing.
    const bool any_leaves =
        !p.strings.empty() || !p.integers.empty() || !p.numbers.empty() || !p.arrays.empty() || !p.objects.empty();
    if (any_leaves && !p.values.empty()) {
        std::vector<std::vector<SharedPattern>> patterns;
        std::vector<std::vector<SharedPattern>> excluded;
        for (const auto& l : p.strings) {
            patterns.push_back(compile_patterns(l.patterns, context));
            excluded.push_back(compile_patterns(l.excluded_patterns, context));
        }
        std::erase_if(p.values, [&](const CanonicalJson& v) {
            return !value_admitted_by_leaves(p, patterns, excluded, *v, context);
        });
    }

    // 8. Assembly.
    Schema values = schema_from_value_set(p.values);
    if (const auto* m = values->as<kind::MultiType>()) {
        p.mask = normal_mask(static_cast<uint8_t>(p.mask | m->types.bits()));
        p.values.clear();
        return assemble_type_partition(std::move(p), context, depth);
    }
    const bool value_set = values->index() == KindIndex::Const || values->index() == KindIndex::Enum;
    std::vector<CanonicalJson> members = value_set ? value_set_members(values) : std::vector<CanonicalJson>{};
    if (p.mask != 0 && value_set) {
        uint8_t bits = 0;
        bool has_false = false;
        bool has_true = false;
        for (const auto& v : members) {
            if (v->kind() == value::ValueKind::Null) bits |= kNull;
            if (v->kind() == value::ValueKind::Boolean) (v->as_bool() ? has_true : has_false) = true;
        }
        if (has_false && has_true) bits |= kBoolean;
        const uint8_t more = normal_mask(static_cast<uint8_t>(p.mask | bits));
        if (more != p.mask) {
            p.mask = more;
            p.values = strip_null_and_booleans(members, bits);
            return assemble_type_partition(std::move(p), context, depth);
        }
    }
    std::vector<Schema> parts;
    if (value_set && p.mask != 0 && (p.mask & ~(kNull | kBoolean)) == 0) {
        if (p.mask & kNull) members.push_back(std::make_shared<const value::Value>(value::Value::null()));
        if (p.mask & kBoolean) {
            members.push_back(std::make_shared<const value::Value>(value::Value::boolean(false)));
            members.push_back(std::make_shared<const value::Value>(value::Value::boolean(true)));
        }
        values = schema_from_value_set(members);
        members = value_set_members(values);
    } else if (p.mask != 0) {
        parts.push_back(schema_from_type_mask(JsonTypeSet::from_bits(p.mask)));
    }
    for (auto& g : p.groups) {
        Schema group = schema_from_value_set(std::move(g.values));
        if (group->index() != KindIndex::Const && group->index() != KindIndex::Enum) continue;
        const auto group_members = value_set_members(group);
        if (std::any_of(group_members.begin(), group_members.end(),
                        [&](const CanonicalJson& v) { return !value_in_sorted(members, *v); }))
            parts.push_back(typed_group(g.ty, std::move(group)));
    }
    for (auto& l : p.numbers) parts.push_back(number_leaf_node(std::move(l), context));
    for (auto& l : p.strings) parts.push_back(string_leaf_node(std::move(l), context));
    for (auto& l : p.integers) parts.push_back(integer_leaf_node(std::move(l), context));
    for (auto& l : p.arrays) parts.push_back(array_leaf_node(std::move(l), context));
    for (auto& l : p.objects) parts.push_back(object_leaf_node(std::move(l), context));
    sort_schemas(p.opaque);
    dedup_schemas(p.opaque);
    for (auto& o : p.opaque) parts.push_back(std::move(o));
    if (!is_false(values)) parts.push_back(std::move(values));

    // 9. Identities of the opaque parts.
    if (auto simplified = simplify_opaque_parts(parts, context); simplified.answer) {
        return *simplified.answer;
    } else if (simplified.restart) {
        return union_at(std::move(parts), context, depth + 1);
    }

    // 10. A constructor may have answered True or an AnyOf: unite once more.
    if (std::any_of(parts.begin(), parts.end(),
                    [](const Schema& s) { return is_true(s) || s->index() == KindIndex::AnyOf; }))
        return union_at(std::move(parts), context, depth + 1);
    return any_of_from_branches(std::move(parts));
}

}  // namespace

void remove_false_branches(std::vector<Schema>& branches) {
    std::erase_if(branches, [](const Schema& s) { return is_false(s); });
}

void dedup_schemas(std::vector<Schema>& sorted) {
    sorted.erase(std::unique(sorted.begin(), sorted.end(), same_node), sorted.end());
}

Schema any_of_from_branches(std::vector<Schema> branches) {
    remove_false_branches(branches);
    sort_schemas(branches);
    dedup_schemas(branches);
    if (branches.empty()) return false_schema();
    if (branches.size() == 1) return std::move(branches.front());
    return make_schema(kind::AnyOf{std::move(branches)});
}

std::vector<CanonicalJson> strip_null_and_booleans(const std::vector<CanonicalJson>& values, uint8_t bits) {
    std::vector<CanonicalJson> out;
    for (const auto& v : values) {
        if ((bits & kNull) && v->kind() == value::ValueKind::Null) continue;
        if ((bits & kBoolean) && v->kind() == value::ValueKind::Boolean) continue;
        out.push_back(v);
    }
    return out;
}

Schema union_of(std::vector<Schema> branches, CanonicalContext& context) {
    return union_at(std::move(branches), context, 0);
}

}  // namespace deririrore::canonical
