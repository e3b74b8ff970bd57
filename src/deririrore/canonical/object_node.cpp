#include "deririrore/canonical/object_node.hpp"

#include <algorithm>
#include <utility>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/intersection.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

namespace {

constexpr uint8_t kObjectType = 64;

bool same_node(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

// The name tests stop on True and False; those two are answered here.
Admission name_verdict(const Schema& s, std::string_view name, CanonicalContext& context) {
    if (is_true(s)) return Admission::Accepted;
    if (is_false(s)) return Admission::Rejected;
    return schema_rejects_name(s, name, context);
}

bool is_value_set(const Schema& s) { return s->index() == KindIndex::Const || s->index() == KindIndex::Enum; }

bool in_sorted_names(const std::vector<SharedString>& names, std::string_view name) {
    return std::binary_search(names.begin(), names.end(), name, [](const auto& x, const auto& y) {
        if constexpr (std::is_same_v<std::decay_t<decltype(x)>, SharedString>)
            return std::string_view(*x) < y;
        else
            return x < std::string_view(*y);
    });
}

bool matches_any_pattern(const PropertyMap& patterns, std::string_view name, CanonicalContext& context) {
    return std::any_of(patterns.entries.begin(), patterns.entries.end(),
                       [&](const auto& e) { return pattern_matches_name(context, *e.first, name); });
}

}  // namespace

bool admits_only_strings(const Schema& node) {
    switch (node->index()) {
        case KindIndex::MultiType:
            return node->as<kind::MultiType>()->types.bits() == 16;
        case KindIndex::String:
        case KindIndex::False:
            return true;
        case KindIndex::Const:
            return node->as<kind::Const>()->value->is_string();
        case KindIndex::Enum: {
            const auto& vs = node->as<kind::Enum>()->values;
            return std::all_of(vs.begin(), vs.end(), [](const CanonicalJson& v) { return v->is_string(); });
        }
        case KindIndex::AllOf: {
            // One level only: canonical AllOf members are not AllOf themselves.
            const auto& bs = node->as<kind::AllOf>()->branches;
            return std::any_of(bs.begin(), bs.end(), [](const Schema& b) {
                return b->index() != KindIndex::AllOf && b->index() != KindIndex::AnyOf && admits_only_strings(b);
            });
        }
        case KindIndex::AnyOf: {
            const auto& bs = node->as<kind::AnyOf>()->branches;
            return std::all_of(bs.begin(), bs.end(), [](const Schema& b) {
                return b->index() != KindIndex::AllOf && b->index() != KindIndex::AnyOf && admits_only_strings(b);
            });
        }
        default:
            return false;
    }
}

bool names_all_match_patterns(const std::vector<CanonicalJson>& values, const PropertyMap& patterns,
                              CanonicalContext& context) {
    for (const auto& v : values) {
        if (!v->is_string()) return false;
        if (!matches_any_pattern(patterns, v->as_string(), context)) return false;
    }
    return !values.empty();
}

std::optional<std::vector<SharedString>> finite_property_names(const std::optional<Schema>& names) {
    if (!names || !is_value_set(*names)) return std::nullopt;
    std::vector<SharedString> out;
    for (const auto& v : value_set_members(*names)) {
        if (!v->is_string()) throw InternalError("internal stop: a member-name set kept a value that is not a string");
        out.push_back(share(v->as_string()));
    }
    return out;
}

Schema object_leaf_node(ObjectLeaf leaf, CanonicalContext& context) {
    // 1. additional: True says nothing; False confines the names.
    if (leaf.additional && is_true(*leaf.additional)) leaf.additional.reset();
    if (leaf.additional && is_false(*leaf.additional)) {
        std::vector<Schema> allowed;
        for (const auto& [name, schema] : leaf.properties.entries)
            allowed.push_back(
                make_schema(kind::Const{std::make_shared<const value::Value>(value::Value::string(*name))}));
        for (const auto& [pattern, schema] : leaf.pattern_properties.entries) {
            StringLeaf s;
            if (!pattern->empty()) s.patterns.push_back(pattern);
            allowed.push_back(string_leaf_node(std::move(s), context));
        }
        Schema u = union_of(std::move(allowed), context);
        leaf.property_names = leaf.property_names ? intersect(*leaf.property_names, u, context) : u;
        leaf.additional.reset();
    }
    // 2. property_names confined to strings.
    if (leaf.property_names) {
        Schema p = *leaf.property_names;
        if (!admits_only_strings(p)) p = intersect(p, schema_from_type_mask(JsonTypeSet::from_bits(16)), context);
        if (is_false(p)) {
            leaf.sizes.maximum = min_upper_bound(leaf.sizes.maximum, BigInt(0));
            leaf.property_names.reset();
        } else if (const auto* m = p->as<kind::MultiType>(); m && m->types.bits() == 16) {
            leaf.property_names.reset();
        } else if (!admits_only_strings(p)) {
            context.exhausted = true;
            leaf.property_names.reset();
        } else {
            leaf.property_names = p;
        }
    }
    // 3. A NameFails that no admissible name can meet.
    if (leaf.property_names) {
        const Schema& p = *leaf.property_names;
        for (const auto& v : leaf.violations) {
            const auto* nf = std::get_if<violation::NameFails>(&v);
            if (!nf) continue;
            if (same_node(nf->schema, p)) return false_schema();
            if (is_value_set(p)) {
                bool all_admitted = true;
                for (const auto& value : value_set_members(p)) {
                    if (!value->is_string() ||
                        name_verdict(nf->schema, value->as_string(), context) != Admission::Accepted) {
                        all_admitted = false;
                        break;
                    }
                }
                if (all_admitted) return false_schema();
            }
        }
    }
    // 4. An UndeclaredValueFails that repeats the leaf's own additional.
    if (leaf.additional) {
        for (const auto& v : leaf.violations) {
            const auto* uf = std::get_if<violation::UndeclaredValueFails>(&v);
            if (!uf || !same_node(uf->additional, *leaf.additional)) continue;
            auto same_keys = [](const std::vector<SharedString>& names, const PropertyMap& map) {
                if (names.size() != map.size()) return false;
                for (std::size_t i = 0; i < names.size(); ++i)
                    if (*names[i] != *map.entries[i].first) return false;
                return true;
            };
            if (same_keys(uf->names, leaf.properties) && same_keys(uf->patterns, leaf.pattern_properties))
                return false_schema();
        }
    }
    // 5. NameFails already met by a required name.
    std::erase_if(leaf.violations, [&](const ObjectViolation& v) {
        const auto* nf = std::get_if<violation::NameFails>(&v);
        if (!nf) return false;
        return std::any_of(leaf.required.begin(), leaf.required.end(), [&](const SharedString& r) {
            return name_verdict(nf->schema, *r, context) == Admission::Rejected;
        });
    });
    // 6. Every member required: each violation needs a required member.
    if (const auto m = object_size_bounds(leaf).maximum;
        m && *m <= BigInt(static_cast<unsigned long>(leaf.required.size()))) {
        for (const auto& v : leaf.violations) {
            if (const auto* nf = std::get_if<violation::NameFails>(&v)) {
                const bool none_fails =
                    std::all_of(leaf.required.begin(), leaf.required.end(), [&](const SharedString& r) {
                        return name_verdict(nf->schema, *r, context) == Admission::Accepted;
                    });
                if (leaf.required.empty() || none_fails) return false_schema();
            } else if (const auto* uf = std::get_if<violation::UndeclaredValueFails>(&v)) {
                const bool all_declared =
                    std::all_of(leaf.required.begin(), leaf.required.end(), [&](const SharedString& r) {
                        return std::any_of(uf->names.begin(), uf->names.end(),
                                           [&](const SharedString& n) { return *n == *r; }) ||
                               std::any_of(uf->patterns.begin(), uf->patterns.end(), [&](const SharedString& p) {
                                   return pattern_matches_name(context, *p, *r);
                               });
                    });
                if (leaf.required.empty() || all_declared) return false_schema();
            } else {
                const auto& pf = std::get<violation::PatternValueFails>(v);
                if (std::none_of(leaf.required.begin(), leaf.required.end(),
                                 [&](const SharedString& r) { return pattern_matches_name(context, *pf.pattern, *r); }))
                    return false_schema();
            }
        }
    }
    // 7. additional, when it governs no name or finitely many.
    if (leaf.additional) {
        const auto& pp = leaf.pattern_properties;
        const bool empty_pattern = property_map_find(pp, "") != nullptr;
        bool drop = empty_pattern;
        if (!drop && !pp.empty() && leaf.property_names) {
            if (const auto* s = (*leaf.property_names)->as<kind::String>())
                drop = std::any_of(s->leaf.patterns.begin(), s->leaf.patterns.end(),
                                   [&](const SharedString& t) { return property_map_find(pp, *t) != nullptr; });
            else if (is_value_set(*leaf.property_names))
                drop = names_all_match_patterns(value_set_members(*leaf.property_names), pp, context);
        }
        if (!drop) {
            if (auto names = finite_property_names(leaf.property_names)) {
                for (auto& name : *names) {
                    if (matches_any_pattern(pp, *name, context) || property_map_find(leaf.properties, *name)) continue;
                    property_map_insert(leaf.properties, name, *leaf.additional);
                }
                drop = true;
            }
        }
        if (drop) leaf.additional.reset();
    }
    // 8. Nothing constrains the object.
    if (!leaf.sizes.minimum && !leaf.sizes.maximum && leaf.required.empty() && leaf.properties.empty() &&
        leaf.pattern_properties.empty() && leaf.violations.empty() && !leaf.property_names && !leaf.additional)
        return schema_from_type_mask(JsonTypeSet::from_bits(kObjectType));
    // 9. Required members that cannot exist.
    for (const auto& r : leaf.required)
        if (is_false(member_schema_for_name(leaf, *r, context))) return false_schema();
    if (leaf.property_names)
        for (const auto& r : leaf.required)
            if (name_verdict(*leaf.property_names, *r, context) == Admission::Rejected) return false_schema();
    // 10. Entries no member can use, and True entries that add nothing.
    {
        const bool finite = leaf.property_names && is_value_set(*leaf.property_names);
        std::vector<CanonicalJson> allowed =
            finite ? value_set_members(*leaf.property_names) : std::vector<CanonicalJson>{};
        std::erase_if(leaf.properties.entries, [&](const auto& e) {
            if (finite) {
                const bool listed = std::any_of(allowed.begin(), allowed.end(), [&](const CanonicalJson& v) {
                    return v->is_string() && v->as_string() == *e.first;
                });
                if (!listed) return true;
            } else if (leaf.property_names &&
                       name_verdict(*leaf.property_names, *e.first, context) == Admission::Rejected) {
                return true;
            }
            return !leaf.additional && is_true(e.second);
        });
    }
    // 11. True pattern entries add nothing without additional.
    if (!leaf.additional)
        std::erase_if(leaf.pattern_properties.entries, [](const auto& e) { return is_true(e.second); });
    // 12. Patterns folded into the names they match.
    if (!leaf.pattern_properties.empty()) {
        if (auto names = finite_property_names(leaf.property_names)) {
            PropertyMap taken = std::move(leaf.pattern_properties);
            leaf.pattern_properties = PropertyMap{};
            for (const auto& name : *names) apply_pattern_properties(leaf.properties, taken, name, context);
        } else {
            std::vector<SharedString> keys;
            for (const auto& e : leaf.properties.entries) keys.push_back(e.first);
            const PropertyMap patterns = leaf.pattern_properties;
            for (const auto& key : keys) apply_pattern_properties(leaf.properties, patterns, key, context);
        }
    }
    const BigInt required_count(static_cast<unsigned long>(leaf.required.size()));
    // 13. At most the required members: other entries are unused.
    if (leaf.sizes.maximum && *leaf.sizes.maximum == required_count)
        std::erase_if(leaf.properties.entries,
                      [&](const auto& e) { return !in_sorted_names(leaf.required, *e.first); });
    // 14. A minimum the required members already meet.
    if (leaf.sizes.minimum) {
        const BigInt n = !leaf.required.empty() ? required_count : BigInt(leaf.violations.empty() ? 0 : 1);
        if (*leaf.sizes.minimum <= n) leaf.sizes.minimum.reset();
    }
    // 15. A maximum the finite names already imply.
    if (const auto b = max_properties_from_property_names(leaf); b && leaf.sizes.maximum && *leaf.sizes.maximum >= *b)
        leaf.sizes.maximum.reset();
    // 16, 17. Counts that contradict.
    if (leaf.sizes.minimum && leaf.sizes.maximum && *leaf.sizes.minimum > *leaf.sizes.maximum) return false_schema();
    const auto effective = object_size_bounds(leaf).maximum;
    if (effective) {
        if (sgn(*effective) == 0 && !leaf.violations.empty()) return false_schema();
        if (*effective < required_count) return false_schema();
        if (leaf.sizes.minimum && *leaf.sizes.minimum > *effective) return false_schema();
        // 18. Only the empty object.
        if (sgn(*effective) == 0)
            return make_schema(kind::Const{std::make_shared<const value::Value>(value::Value::object())});
    }
    return make_schema(kind::Object{std::move(leaf)});
}

}  // namespace deririrore::canonical
