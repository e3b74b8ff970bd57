#include "deririrore/canonical/negate.hpp"

#include <algorithm>
#include <utility>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/array_node.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/reference_graph.hpp"

namespace deririrore::canonical {

namespace {

constexpr uint8_t kNonNumeric = 1 | 2 | 16 | 32 | 64;

using Maybe = std::optional<Schema>;

Schema wrap(const Schema& node) { return make_schema(kind::Not{node}); }

// Refused in the strict attempt, wrapped in the lenient one.
Maybe wrap_or_refuse(const Schema& node, const NegationScope& scope) {
    if (scope.strict) return std::nullopt;
    return wrap(node);
}

Schema non_integral_numbers(CanonicalContext& context) {
    NumberLeaf leaf;
    leaf.excludes_integers = true;
    return number_leaf_node(std::move(leaf), context);
}

Schema string_node(StringLeaf leaf, CanonicalContext& context) { return string_leaf_node(std::move(leaf), context); }

Maybe negate_string_leaf(const StringLeaf& s, CanonicalContext& context) {
    if (!s.excluded.empty()) {
        std::vector<CanonicalJson> values;
        for (const auto& e : s.excluded)
            values.push_back(std::make_shared<const value::Value>(value::Value::string(*e)));
        StringLeaf rest = s;
        rest.excluded.clear();
        auto inner = negate_string_leaf(rest, context);
        if (!inner) return std::nullopt;
        return union_of({schema_from_type_mask(JsonTypeSet::from_bits(111)),
                         schema_from_value_set(normalize_value_set(std::move(values))), std::move(*inner)},
                        context);
    }
    if (!s.content_media_types.empty() || !s.content_encodings.empty()) return std::nullopt;
    std::vector<Schema> parts{schema_from_type_mask(JsonTypeSet::from_bits(111))};
    for (auto& w : complement_length_window(s.lengths)) {
        StringLeaf leaf;
        leaf.lengths = std::move(w);
        parts.push_back(string_node(std::move(leaf), context));
    }
    for (const auto& f : s.formats) {
        StringLeaf leaf;
        leaf.excluded_formats = {f};
        parts.push_back(string_node(std::move(leaf), context));
    }
    for (const auto& g : s.excluded_formats) {
        StringLeaf leaf;
        leaf.formats = {g};
        parts.push_back(string_node(std::move(leaf), context));
    }
    for (const auto& p : s.patterns) {
        StringLeaf leaf;
        leaf.excluded_patterns = {p};
        parts.push_back(string_node(std::move(leaf), context));
    }
    for (const auto& q : s.excluded_patterns) {
        StringLeaf leaf;
        leaf.patterns = {q};
        parts.push_back(string_node(std::move(leaf), context));
    }
    return union_of(std::move(parts), context);
}

Maybe negate_integer_leaf(const IntegerLeaf& i, CanonicalContext& context) {
    std::vector<Schema> parts{schema_from_type_mask(JsonTypeSet::from_bits(115)), non_integral_numbers(context)};
    if (i.bounds.minimum) {
        IntegerLeaf below;
        below.bounds.maximum = BigInt(*i.bounds.minimum - 1);
        parts.push_back(integer_leaf_node(std::move(below), context));
    }
    if (i.bounds.maximum) {
        IntegerLeaf above;
        above.bounds.minimum = BigInt(*i.bounds.maximum + 1);
        parts.push_back(integer_leaf_node(std::move(above), context));
    }
    for (const auto& d : i.multiple_of.members) {
        IntegerLeaf leaf;
        leaf.not_multiple_of.members = {d};
        parts.push_back(integer_leaf_node(std::move(leaf), context));
    }
    for (const auto& e : i.not_multiple_of.members) {
        IntegerLeaf leaf;
        leaf.multiple_of = fold_divisors({e});
        parts.push_back(integer_leaf_node(std::move(leaf), context));
    }
    return union_of(std::move(parts), context);
}

Maybe negate_number_leaf(const NumberLeaf& n, CanonicalContext& context) {
    std::vector<Schema> parts{schema_from_type_mask(JsonTypeSet::from_bits(115))};
    if (n.minimum) {
        auto below = number_leaf_between(std::nullopt, BoundNumber{n.minimum->limit, !n.minimum->inclusive}, context);
        if (!below) return std::nullopt;
        parts.push_back(std::move(*below));
    }
    if (n.maximum) {
        auto above = number_leaf_between(BoundNumber{n.maximum->limit, !n.maximum->inclusive}, std::nullopt, context);
        if (!above) return std::nullopt;
        parts.push_back(std::move(*above));
    }
    if (n.excludes_integers) parts.push_back(schema_from_type_mask(JsonTypeSet::from_bits(4)));
    for (const auto& d : n.multiple_of.members) {
        NumberLeaf leaf;
        leaf.not_multiple_of.members = {d};
        parts.push_back(number_leaf_node(std::move(leaf), context));
    }
    for (const auto& e : n.not_multiple_of.members) {
        NumberLeaf leaf;
        leaf.multiple_of = fold_divisors({e});
        parts.push_back(number_leaf_node(std::move(leaf), context));
    }
    return union_of(std::move(parts), context);
}

Maybe negate_array_leaf(const ArrayLeaf& a, NegationScope& scope, CanonicalContext& context) {
    if (!a.prefix.empty() && a.items) return std::nullopt;
    std::vector<Schema> parts{schema_from_type_mask(JsonTypeSet::from_bits(95))};
    if (a.distinctness != Distinctness::Unconstrained) {
        ArrayLeaf leaf;
        leaf.distinctness =
            a.distinctness == Distinctness::AllDistinct ? Distinctness::SomeRepeated : Distinctness::AllDistinct;
        parts.push_back(array_leaf_node(std::move(leaf), context));
    }
    for (std::size_t k = 0; k < a.prefix.size(); ++k) {
        auto failing = negate_node(a.prefix[k], scope, context);
        if (!failing) return std::nullopt;
        ArrayLeaf leaf;
        leaf.prefix.assign(k, true_schema());
        leaf.prefix.push_back(std::move(*failing));
        leaf.lengths.minimum = BigInt(static_cast<unsigned long>(k + 1));
        parts.push_back(array_leaf_node(std::move(leaf), context));
    }
    if (a.items) {
        auto failing = negate_node(*a.items, scope, context);
        if (!failing) return std::nullopt;
        ArrayLeaf leaf;
        leaf.contains.push_back(ContainsFacet{std::move(*failing), std::nullopt, std::nullopt});
        parts.push_back(array_leaf_node(std::move(leaf), context));
    }
    for (const auto& facet : a.contains) {
        if (facet.maximum || (facet.minimum && *facet.minimum != 1)) return std::nullopt;
        auto none = negate_node(facet.schema, scope, context);
        if (!none) return std::nullopt;
        ArrayLeaf leaf;
        leaf.items = std::move(*none);
        parts.push_back(array_leaf_node(std::move(leaf), context));
    }
    for (auto& w : complement_length_window(a.lengths)) {
        ArrayLeaf leaf;
        leaf.lengths = std::move(w);
        parts.push_back(array_leaf_node(std::move(leaf), context));
    }
    return union_of(std::move(parts), context);
}

PropertyMap map_to_true(std::vector<SharedString> keys) {
    std::sort(keys.begin(), keys.end(), [](const SharedString& x, const SharedString& y) { return *x < *y; });
    keys.erase(
        std::unique(keys.begin(), keys.end(), [](const SharedString& x, const SharedString& y) { return *x == *y; }),
        keys.end());
    PropertyMap map;
    for (auto& k : keys) map.entries.emplace_back(std::move(k), true_schema());
    return map;
}

Maybe negate_object_leaf(const ObjectLeaf& o, NegationScope& scope, CanonicalContext& context) {
    std::vector<Schema> parts{schema_from_type_mask(JsonTypeSet::from_bits(63))};
    for (auto& w : complement_length_window(o.sizes)) {
        ObjectLeaf leaf;
        leaf.sizes = std::move(w);
        parts.push_back(object_leaf_node(std::move(leaf), context));
    }
    for (const auto& r : o.required) {
        ObjectLeaf leaf;
        leaf.properties.entries.emplace_back(r, false_schema());
        parts.push_back(object_leaf_node(std::move(leaf), context));
    }
    for (const auto& [name, schema] : o.properties.entries) {
        auto failing = negate_node(schema, scope, context);
        if (!failing) return std::nullopt;
        ObjectLeaf leaf;
        leaf.required = {name};
        leaf.properties.entries.emplace_back(name, std::move(*failing));
        parts.push_back(object_leaf_node(std::move(leaf), context));
    }
    if (o.property_names) {
        ObjectLeaf leaf;
        leaf.violations.push_back(violation::NameFails{*o.property_names});
        parts.push_back(object_leaf_node(std::move(leaf), context));
    }
    if (o.additional) {
        violation::UndeclaredValueFails fails{{}, {}, *o.additional};
        for (const auto& e : o.properties.entries) fails.names.push_back(e.first);
        for (const auto& e : o.pattern_properties.entries) fails.patterns.push_back(e.first);
        ObjectLeaf leaf;
        leaf.violations.push_back(std::move(fails));
        parts.push_back(object_leaf_node(std::move(leaf), context));
    }
    for (const auto& v : o.violations) {
        ObjectLeaf leaf;
        if (const auto* nf = std::get_if<violation::NameFails>(&v)) {
            leaf.property_names = nf->schema;
        } else if (const auto* pf = std::get_if<violation::PatternValueFails>(&v)) {
            leaf.pattern_properties.entries.emplace_back(pf->pattern, pf->schema);
        } else {
            const auto& uf = std::get<violation::UndeclaredValueFails>(v);
            leaf.properties = map_to_true(uf.names);
            leaf.pattern_properties = map_to_true(uf.patterns);
            leaf.additional = uf.additional;
        }
        parts.push_back(object_leaf_node(std::move(leaf), context));
    }
    for (const auto& [pattern, schema] : o.pattern_properties.entries) {
        if (is_true(schema)) continue;
        ObjectLeaf leaf;
        leaf.violations.push_back(violation::PatternValueFails{pattern, schema});
        parts.push_back(object_leaf_node(std::move(leaf), context));
    }
    return union_of(std::move(parts), context);
}

bool names_stack_entry(const NegationScope& scope, std::string_view uri) {
    return std::find(scope.stack.begin(), scope.stack.end(), uri) != scope.stack.end();
}

// The complements of the branches met in turn; none when one is refused, and
// `grew` set when the running intersection outgrows the member cap.
std::optional<Schema> none_holds(const std::vector<Schema>& branches, NegationScope& scope, CanonicalContext& context,
                                 bool& grew) {
    Schema running = true_schema();
    for (const auto& b : branches) {
        auto negated = negate_node(b, scope, context);
        if (!negated) return std::nullopt;
        running = intersect(running, *negated, context);
        if (const auto* any = running->as<kind::AnyOf>(); any && any->branches.size() > kNegationAnyOfCap) {
            grew = true;
            return running;
        }
    }
    return running;
}

Maybe negate_reference(const Schema& node, const std::string& uri, NegationScope& scope, CanonicalContext& context) {
    if (names_stack_entry(scope, uri)) return wrap_or_refuse(node, scope);
    const Schema* target = nullptr;
    if (scope.targets)
        if (auto it = scope.targets->find(uri); it != scope.targets->end()) target = &it->second;
    if (!target) return wrap_or_refuse(node, scope);
    if (scope.expansions_left == 0) return std::nullopt;
    --scope.expansions_left;
    const Schema held = *target;
    scope.stack.push_back(uri);
    auto negated = negate_node(held, scope, context);
    scope.stack.pop_back();
    if (!negated) return std::nullopt;
    if (const auto* n = (*negated)->as<kind::Not>(); n && (n->operand.same(held) || schema_eq(n->operand, held)))
        return wrap_or_refuse(node, scope);
    return negated;
}

Maybe negate_dispatch(const Schema& node, NegationScope& scope, CanonicalContext& context) {
    switch (node->index()) {
        case KindIndex::MultiType:
            return complement_type_mask(node->as<kind::MultiType>()->types.bits(), context);
        case KindIndex::TypedGroup: {
            const auto* g = node->as<kind::TypedGroup>();
            auto body = negate_node(g->body, scope, context);
            if (!body) return std::nullopt;
            const auto ty = static_cast<uint8_t>(g->ty);
            return union_of({complement_type_mask(ty, context),
                             intersect(schema_from_type_mask(JsonTypeSet::from_bits(ty)), *body, context)},
                            context);
        }
        case KindIndex::String:
            return negate_string_leaf(node->as<kind::String>()->leaf, context);
        case KindIndex::Integer:
            return negate_integer_leaf(node->as<kind::Integer>()->leaf, context);
        case KindIndex::Number:
            return negate_number_leaf(node->as<kind::Number>()->leaf, context);
        case KindIndex::Array:
            return negate_array_leaf(node->as<kind::Array>()->leaf, scope, context);
        case KindIndex::Object:
            return negate_object_leaf(node->as<kind::Object>()->leaf, scope, context);
        case KindIndex::Const:
            return negate_value_set({node->as<kind::Const>()->value}, context);
        case KindIndex::Enum:
            return negate_value_set(node->as<kind::Enum>()->values, context);
        case KindIndex::Not: {
            const Schema& inner = node->as<kind::Not>()->operand;
            if (const auto* r = inner->as<kind::Reference>(); r && names_stack_entry(scope, *r->name))
                return std::nullopt;
            return inner;
        }
        case KindIndex::AllOf: {
            std::vector<Schema> negated;
            for (const auto& b : node->as<kind::AllOf>()->branches) {
                auto n = negate_node(b, scope, context);
                if (!n) return wrap_or_refuse(node, scope);
                negated.push_back(std::move(*n));
            }
            return union_of(std::move(negated), context);
        }
        case KindIndex::AnyOf: {
            if (!scope.unguarded.empty()) {
                std::vector<ReferenceUse> uses;
                collect_reference_edges(node, false, uses);
                for (const auto& u : uses)
                    if (scope.unguarded.count(*u.target)) return wrap_or_refuse(node, scope);
            }
            bool grew = false;
            auto result = none_holds(node->as<kind::AnyOf>()->branches, scope, context, grew);
            if (!result) return std::nullopt;
            if (grew) return wrap(node);
            return result;
        }
        case KindIndex::OneOf: {
            const auto& branches = node->as<kind::OneOf>()->branches;
            if (!scope.stack.empty()) {
                for (const auto& b : branches) {
                    std::vector<ReferenceUse> uses;
                    collect_reference_edges(b, false, uses);
                    for (const auto& u : uses)
                        if (!u.guarded && names_stack_entry(scope, *u.target)) return wrap_or_refuse(node, scope);
                }
            }
            std::vector<Schema> parts;
            for (std::size_t i = 0; i < branches.size(); ++i)
                for (std::size_t j = i + 1; j < branches.size(); ++j) {
                    Schema overlap = intersect(branches[i], branches[j], context);
                    if (is_false(overlap)) continue;
                    if (parts.size() == kNegationOverlapCap) return std::nullopt;
                    parts.push_back(std::move(overlap));
                }
            bool grew = false;
            auto none = none_holds(branches, scope, context, grew);
            if (!none) return std::nullopt;
            if (grew) return wrap(node);
            parts.push_back(std::move(*none));
            return union_of(std::move(parts), context);
        }
        case KindIndex::Reference:
            return negate_reference(node, *node->as<kind::Reference>()->name, scope, context);
        case KindIndex::True:
            return false_schema();
        case KindIndex::False:
            return true_schema();
        case KindIndex::Raw:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Schema> negate_node(const Schema& node, NegationScope& scope, CanonicalContext& context) {
    if (scope.depth >= kNegationDepth) return std::nullopt;
    ++scope.depth;
    auto result = negate_dispatch(node, scope, context);
    --scope.depth;
    return result;
}

Schema complement_type_mask(uint8_t mask, CanonicalContext& context) {
    const uint8_t missing = static_cast<uint8_t>(kNonNumeric & ~mask);
    if ((mask & 4) && !(mask & 8)) {
        std::vector<Schema> parts{non_integral_numbers(context)};
        if (missing) parts.push_back(schema_from_type_mask(JsonTypeSet::from_bits(missing)));
        return union_of(std::move(parts), context);
    }
    const uint8_t c = static_cast<uint8_t>(missing | ((mask & 8) ? 0 : 8));
    if (c == 0) return false_schema();
    return schema_from_type_mask(JsonTypeSet::from_bits(c));
}

std::optional<Schema> number_leaf_between(std::optional<BoundNumber> lower, std::optional<BoundNumber> upper,
                                          CanonicalContext& context) {
    NumberLeaf leaf;
    leaf.minimum = std::move(lower);
    leaf.maximum = std::move(upper);
    if (!integer_bounds_from_number_bounds(leaf)) return std::nullopt;
    return number_leaf_node(std::move(leaf), context);
}

std::vector<Bounds> complement_length_window(const Bounds& window) {
    std::vector<Bounds> out;
    if (window.minimum && sgn(*window.minimum) > 0) out.push_back(Bounds{std::nullopt, BigInt(*window.minimum - 1)});
    if (window.maximum) out.push_back(Bounds{BigInt(*window.maximum + 1), std::nullopt});
    return out;
}

std::optional<Schema> negate_value_set(const std::vector<CanonicalJson>& values, CanonicalContext& context) {
    uint8_t mask = 127;
    bool empty_array = false;
    bool empty_object = false;
    bool has_false = false;
    bool has_true = false;
    std::vector<std::string> numbers;
    std::vector<SharedString> strings;
    for (const auto& v : values) {
        switch (v->kind()) {
            case value::ValueKind::Null:
                mask &= static_cast<uint8_t>(~1);
                break;
            case value::ValueKind::Boolean:
                mask &= static_cast<uint8_t>(~2);
                (v->as_bool() ? has_true : has_false) = true;
                break;
            case value::ValueKind::Number:
                mask &= static_cast<uint8_t>(~(4 | 8));
                numbers.push_back(canonicalize_number_text(v->number_text()));
                break;
            case value::ValueKind::String:
                mask &= static_cast<uint8_t>(~16);
                strings.push_back(share(v->as_string()));
                break;
            case value::ValueKind::Array:
                if (!v->as_array().empty()) return std::nullopt;
                mask &= static_cast<uint8_t>(~32);
                empty_array = true;
                break;
            case value::ValueKind::Object:
                if (!v->as_object().empty()) return std::nullopt;
                mask &= static_cast<uint8_t>(~64);
                empty_object = true;
                break;
        }
    }
    std::vector<Schema> parts{schema_from_type_mask(JsonTypeSet::from_bits(mask))};
    if (empty_array) {
        ArrayLeaf leaf;
        leaf.lengths.minimum = BigInt(1);
        parts.push_back(array_leaf_node(std::move(leaf), context));
    }
    if (empty_object) {
        ObjectLeaf leaf;
        leaf.sizes.minimum = BigInt(1);
        parts.push_back(object_leaf_node(std::move(leaf), context));
    }
    if (has_false != has_true)
        parts.push_back(
            make_schema(kind::Const{std::make_shared<const value::Value>(value::Value::boolean(has_false))}));
    if (!numbers.empty()) {
        std::vector<std::pair<ExactValue, std::string>> sorted;
        for (auto& t : numbers) {
            auto exact = exact_value_of_number_text(t);
            if (!exact || !exact->is_finite()) return std::nullopt;
            sorted.emplace_back(std::move(*exact), std::move(t));
        }
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& x, const auto& y) { return compare_exact_values(x.first, y.first) < 0; });
        std::optional<BoundNumber> lower;
        for (const auto& [exact, text] : sorted) {
            auto gap = number_leaf_between(lower, BoundNumber{text, false}, context);
            if (!gap) return std::nullopt;
            parts.push_back(std::move(*gap));
            lower = BoundNumber{text, false};
        }
        auto last = number_leaf_between(lower, std::nullopt, context);
        if (!last) return std::nullopt;
        parts.push_back(std::move(*last));
    }
    if (!strings.empty()) {
        std::sort(strings.begin(), strings.end(), [](const SharedString& x, const SharedString& y) { return *x < *y; });
        strings.erase(std::unique(strings.begin(), strings.end(),
                                  [](const SharedString& x, const SharedString& y) { return *x == *y; }),
                      strings.end());
        StringLeaf leaf;
        leaf.excluded = std::move(strings);
        parts.push_back(string_leaf_node(std::move(leaf), context));
    }
    return union_of(std::move(parts), context);
}

std::optional<Schema> complement_node(const Schema& node, const TargetTable& targets, CanonicalContext& context) {
    // An operand built while the budget ran out may admit more than the truth;
    // its complement would then admit less, so it is left undecided.
    if (context.exhausted) return std::nullopt;
    NegationScope first;
    first.targets = &targets;
    first.unguarded = unguarded_references(node, targets);
    context.exhausted = false;
    auto result = negate_node(node, first, context);
    const bool raised = context.exhausted;
    context.exhausted = false;
    if (result) {
        context.exhausted = raised;
        return result;
    }
    static const TargetTable no_targets;
    NegationScope second;
    second.targets = &no_targets;
    second.strict = false;
    return negate_node(node, second, context);
}

std::optional<Schema> complement_node(const Schema& node, CanonicalContext& context) {
    static const TargetTable empty;
    return complement_node(node, context.targets ? *context.targets : empty, context);
}

}  // namespace deririrore::canonical
