#include "deririrore/canonical/union.hpp"

#include <algorithm>
#include <utility>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/array_node.hpp"
#include "deririrore/canonical/divisors.hpp"
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
    LeafList<StringLeaf> strings;
    LeafList<IntegerLeaf> integers;
    LeafList<NumberLeaf> numbers;
    LeafList<ArrayLeaf> arrays;
    LeafList<ObjectLeaf> objects;
    std::vector<Schema> opaque;

    UnionLeaves lists() { return {strings, integers, numbers, arrays, objects}; }
    bool any_leaves() const {
        return !strings.leaves.empty() || !integers.leaves.empty() || !numbers.leaves.empty() ||
               !arrays.leaves.empty() || !objects.leaves.empty();
    }
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
bool drop_unconstrained(LeafList<Leaf>& list) {
    const auto before = list.leaves.size();
    std::erase_if(list.leaves, [](const Leaf& l) { return unconstrained(l); });
    return list.leaves.size() != before;
}

// Whatever a whole type covers goes; an emptied list is in normal form.
template <class Leaf>
void empty_list(LeafList<Leaf>& list) {
    list.leaves.clear();
    list.normalized = true;
}

// Moves every leaf the node constructor turns into one constant over to the
// values; the others stay, in order.
template <class Leaf, class Pinned, class Build>
void collect_one_value_leaves(LeafList<Leaf>& list, std::vector<CanonicalJson>& values, Pinned pinned, Build build) {
    std::erase_if(list.leaves, [&](const Leaf& l) { return pinned(l) && collect_const_value(build(l), values); });
}

bool maximum_is_zero(const std::optional<BigInt>& maximum) { return maximum && sgn(*maximum) == 0; }

Schema union_at(std::vector<Schema> branches, CanonicalContext& context, uint32_t depth);

Schema assemble_type_partition(TypePartition p, CanonicalContext& context, uint32_t depth) {
    std::vector<Schema> list;
    list.push_back(make_schema(kind::MultiType{JsonTypeSet::from_bits(p.mask)}));
    list.push_back(schema_from_value_set(std::move(p.values)));
    for (auto& g : p.groups) list.push_back(typed_group(g.ty, schema_from_value_set(std::move(g.values))));
    normalize_string_leaves(p.strings);
    for (auto& l : p.strings.leaves) list.push_back(string_leaf_node(std::move(l), context));
    normalize_integer_leaves(p.integers);
    for (auto& l : p.integers.leaves) list.push_back(integer_leaf_node(std::move(l), context));
    normalize_number_leaves(p.numbers);
    for (auto& l : p.numbers.leaves) list.push_back(number_leaf_node(std::move(l), context));
    normalize_array_leaves(p.arrays);
    for (auto& l : p.arrays.leaves) list.push_back(array_leaf_node(std::move(l), context));
    for (auto& l : p.objects.leaves) list.push_back(object_leaf_node(std::move(l), context));
    for (auto& o : p.opaque) list.push_back(std::move(o));
    return union_at(std::move(list), context, depth + 1);
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
            for (const auto& l : p.numbers.leaves)
                if (number_leaf_accepts(l, v)) return false;
            if (context.draft != Draft::Draft4)
                for (const auto& l : p.integers.leaves)
                    if (integer_leaf_admits_value(l, v)) return false;
            return true;
        case value::ValueKind::String:
            for (std::size_t i = 0; i < p.strings.leaves.size(); ++i)
                if (string_leaf_accepts(p.strings.leaves[i], patterns[i], excluded[i], v.as_string(), true) ==
                    Admission::Accepted)
                    return false;
            return true;
        case value::ValueKind::Array:
            for (const auto& l : p.arrays.leaves)
                if (array_leaf_admits(l, v, context)) return false;
            return true;
        case value::ValueKind::Object:
            for (const auto& l : p.objects.leaves)
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

void file_branch(TypePartition& p, std::vector<Schema>& work, Schema branch) {
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
            p.strings.push(branch->as<kind::String>()->leaf);
            break;
        case KindIndex::Integer:
            p.integers.push(branch->as<kind::Integer>()->leaf);
            break;
        case KindIndex::Number:
            p.numbers.push(branch->as<kind::Number>()->leaf);
            break;
        case KindIndex::Array:
            p.arrays.push(branch->as<kind::Array>()->leaf);
            break;
        case KindIndex::Object:
            p.objects.push(branch->as<kind::Object>()->leaf);
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
            if (std::none_of(p.opaque.begin(), p.opaque.end(), [&](const Schema& o) { return same_node(o, branch); }))
                p.opaque.push_back(std::move(branch));
            break;
        case KindIndex::AnyOf: {
            const auto& bs = branch->as<kind::AnyOf>()->branches;
            work.insert(work.end(), bs.begin(), bs.end());
            break;
        }
        case KindIndex::True:
        case KindIndex::False:
            break;
        case KindIndex::Raw:
            throw InternalError("internal stop: a whole-document Raw node reached a union");
    }
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
        if (is_true(branch)) return true_schema();
        file_branch(p, work, std::move(branch));
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
    if (p.mask & kStringBit) empty_list(p.strings);
    if (effective & kIntegerBit) empty_list(p.integers);
    if (p.mask & kNumberBit) empty_list(p.numbers);
    if (p.mask & kArrayBit) empty_list(p.arrays);
    if (p.mask & kObjectBit) empty_list(p.objects);

    // 3. Values become one-value leaves where a leaf list of their type can
    // merge them, and integer groups the integer leaves admit go.
    if (p.any_leaves()) {
        std::erase_if(p.values,
                      [&](const CanonicalJson& v) { return !absorb_constant_into_leaves(p.lists(), context, *v); });
        if (!p.integers.leaves.empty()) {
            normalize_integer_leaves(p.integers);
            std::erase_if(p.groups, [&](const TypedValues& g) {
                if (g.ty != JsonType::Integer) return false;
                return std::all_of(g.values.begin(), g.values.end(), [&](const CanonicalJson& v) {
                    return std::any_of(p.integers.leaves.begin(), p.integers.leaves.end(),
                                       [&](const IntegerLeaf& l) { return integer_leaf_admits_value(l, *v); });
                });
            });
        }
    }

    // 4. Object leaves merged by window and single members, covered ones dropped.
    if (!p.objects.normalized) {
        p.objects.leaves = normalize_object_leaves(std::move(p.objects.leaves), context);
        p.objects.normalized = true;
    }

    // 5. Leaves that constrain nothing become type bits; a widened mask prunes again.
    uint8_t widened = p.mask;
    normalize_integer_leaves(p.integers);
    if (drop_unconstrained(p.integers) && !(widened & kNumberBit)) widened |= kIntegerBit;
    normalize_number_leaves(p.numbers);
    if (drop_unconstrained(p.numbers)) widened |= kNumberBit;
    normalize_string_leaves(p.strings);
    if (drop_unconstrained(p.strings)) widened |= kStringBit;
    normalize_array_leaves(p.arrays);
    if (drop_unconstrained(p.arrays)) widened |= kArrayBit;
    if (drop_unconstrained(p.objects)) widened |= kObjectBit;
    widened = normal_mask(widened);
    if (widened != p.mask) {
        p.mask = widened;
        return assemble_type_partition(std::move(p), context, depth);
    }

    // 6. Leaves the number leaves cover go, and leaves that pin one value become that value.
    if (!p.numbers.leaves.empty()) {
        normalize_number_leaves(p.numbers);
        normalize_integer_leaves(p.integers);
        std::erase_if(p.integers.leaves, [&](const IntegerLeaf& l) {
            return !integer_leaf_covered_by_number_leaves(p.numbers.leaves, l);
        });
        std::erase_if(p.groups, [&](const TypedValues& g) {
            return !typed_group_covered_by_number_leaves(p.numbers.leaves, g.ty, g.values);
        });
    }
    normalize_number_leaves(p.numbers);
    std::erase_if(p.numbers.leaves,
                  [&](const NumberLeaf& l) { return !number_leaf_is_constant(context, p.values, l); });
    normalize_integer_leaves(p.integers);
    collect_one_value_leaves(
        p.integers, p.values,
        [](const IntegerLeaf& l) {
            return l.bounds.minimum && l.bounds.maximum && *l.bounds.minimum == *l.bounds.maximum;
        },
        [&](const IntegerLeaf& l) { return integer_leaf_node(l, context); });
    normalize_string_leaves(p.strings);
    collect_one_value_leaves(
        p.strings, p.values, [](const StringLeaf& l) { return maximum_is_zero(l.lengths.maximum); },
        [&](const StringLeaf& l) { return string_leaf_node(l, context); });
    normalize_array_leaves(p.arrays);
    collect_one_value_leaves(
        p.arrays, p.values, [](const ArrayLeaf& l) { return maximum_is_zero(l.lengths.maximum); },
        [&](const ArrayLeaf& l) { return array_leaf_node(l, context); });
    std::erase_if(p.objects.leaves, [&](const ObjectLeaf& l) { return !retain_object_leaf(l, p.values, context); });

    // 7. Values that a leaf already admits add nothing.
    if (p.any_leaves() && !p.values.empty()) {
        normalize_string_leaves(p.strings);
        normalize_integer_leaves(p.integers);
        normalize_number_leaves(p.numbers);
        normalize_array_leaves(p.arrays);
        std::vector<std::vector<SharedPattern>> patterns;
        std::vector<std::vector<SharedPattern>> excluded;
        for (const auto& l : p.strings.leaves) {
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
    normalize_number_leaves(p.numbers);
    normalize_string_leaves(p.strings);
    normalize_integer_leaves(p.integers);
    normalize_array_leaves(p.arrays);
    for (auto& l : p.numbers.leaves) parts.push_back(number_leaf_node(std::move(l), context));
    for (auto& l : p.strings.leaves) parts.push_back(string_leaf_node(std::move(l), context));
    for (auto& l : p.integers.leaves) parts.push_back(integer_leaf_node(std::move(l), context));
    for (auto& l : p.arrays.leaves) parts.push_back(array_leaf_node(std::move(l), context));
    for (auto& l : p.objects.leaves) parts.push_back(object_leaf_node(std::move(l), context));
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
