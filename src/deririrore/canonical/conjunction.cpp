// The conjunction of two leaves of one JSON type is again one leaf: lists of
// conditions joined, bounds tightened, child schemas intersected by position
// or by name. The smart constructor of the kind then judges the merged leaf.
#include <algorithm>
#include <string>
#include <vector>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/intersection.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

namespace {

void join_texts(std::vector<SharedString>& into, const std::vector<SharedString>& more) {
    into.insert(into.end(), more.begin(), more.end());
    std::stable_sort(into.begin(), into.end(), [](const SharedString& x, const SharedString& y) { return *x < *y; });
    into.erase(
        std::unique(into.begin(), into.end(), [](const SharedString& x, const SharedString& y) { return *x == *y; }),
        into.end());
}

void join_formats(std::vector<FormatKind>& into, const std::vector<FormatKind>& more) {
    into.insert(into.end(), more.begin(), more.end());
    std::stable_sort(into.begin(), into.end(),
                     [](const FormatKind& x, const FormatKind& y) { return compare_format_kinds(x, y) < 0; });
    into.erase(std::unique(into.begin(), into.end(), format_kinds_equal), into.end());
}

void tighten(Bounds& into, const Bounds& other) {
    into.minimum = max_lower_bound(into.minimum, other.minimum);
    into.maximum = min_upper_bound(into.maximum, other.maximum);
}

std::optional<Schema> meet_optional(const std::optional<Schema>& x, const std::optional<Schema>& y,
                                    CanonicalContext& context) {
    if (x && y) return intersect(*x, *y, context);
    return x ? x : y;
}

bool any_pattern_matches(const PropertyMap& patterns, std::string_view name, CanonicalContext& context) {
    return std::any_of(patterns.entries.begin(), patterns.entries.end(),
                       [&](const auto& e) { return pattern_matches_name(context, *e.first, name); });
}

}  // namespace

StringLeaf merge_string_leaves(StringLeaf a, StringLeaf b) {
    join_texts(a.patterns, b.patterns);
    join_texts(a.excluded_patterns, b.excluded_patterns);
    join_texts(a.content_media_types, b.content_media_types);
    join_texts(a.content_encodings, b.content_encodings);
    join_texts(a.excluded, b.excluded);
    join_formats(a.formats, b.formats);
    join_formats(a.excluded_formats, b.excluded_formats);
    tighten(a.lengths, b.lengths);
    return a;
}

Divisors merge_divisors(const Divisors& a, const Divisors& b) {
    std::vector<BoundRational> members = a.members;
    members.insert(members.end(), b.members.begin(), b.members.end());
    return fold_divisors(std::move(members));
}

IntegerLeaf merge_integer_leaves(IntegerLeaf a, IntegerLeaf b) {
    tighten(a.bounds, b.bounds);
    a.multiple_of = merge_divisors(a.multiple_of, b.multiple_of);
    a.not_multiple_of.members =
        extend_excluded_divisors(std::move(a.not_multiple_of.members), std::move(b.not_multiple_of.members));
    return a;
}

std::optional<BoundNumber> stricter_number_bound(std::optional<BoundNumber> x, std::optional<BoundNumber> y,
                                                 bool is_upper) {
    if (!x) return y;
    if (!y) return x;
    if (x->limit == y->limit) return (!y->inclusive && x->inclusive) ? y : x;
    if (bound_admits_number(*y, x->limit, is_upper) && !bound_admits_number(*x, y->limit, is_upper)) return x;
    return y;
}

NumberLeaf merge_number_leaves(NumberLeaf a, NumberLeaf b) {
    a.minimum = stricter_number_bound(std::move(a.minimum), std::move(b.minimum), false);
    a.maximum = stricter_number_bound(std::move(a.maximum), std::move(b.maximum), true);
    a.multiple_of = merge_divisors(a.multiple_of, b.multiple_of);
    a.not_multiple_of.members =
        extend_excluded_divisors(std::move(a.not_multiple_of.members), std::move(b.not_multiple_of.members));
    a.excludes_integers = a.excludes_integers || b.excludes_integers;
    return a;
}

Schema integer_node_from_number_leaf(const NumberLeaf& leaf, CanonicalContext& context) {
    if (leaf.excludes_integers) return false_schema();
    auto bounds = integer_bounds_from_number_bounds(leaf);
    if (!bounds) {
        // A bound without an exact finite value (a huge exponent): the integers it
        // admits cannot be written down, so the answer widens to every integer.
        context.exhausted = true;
        return schema_from_type_mask(JsonTypeSet(JsonType::Integer));
    }
    IntegerLeaf integer;
    integer.bounds = std::move(*bounds);
    integer.multiple_of = leaf.multiple_of;
    integer.not_multiple_of = leaf.not_multiple_of;
    return integer_leaf_node(std::move(integer), context);
}

std::optional<ArrayLeaf> merge_array_leaves(ArrayLeaf a, ArrayLeaf b, CanonicalContext& context) {
    using D = Distinctness;
    if (a.distinctness == D::Unconstrained)
        a.distinctness = b.distinctness;
    else if (b.distinctness != D::Unconstrained && a.distinctness != b.distinctness)
        return std::nullopt;
    const std::size_t n = std::max(a.prefix.size(), b.prefix.size());
    std::vector<Schema> prefix;
    prefix.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Schema left = i < a.prefix.size() ? a.prefix[i] : (a.items ? *a.items : true_schema());
        const Schema right = i < b.prefix.size() ? b.prefix[i] : (b.items ? *b.items : true_schema());
        prefix.push_back(intersect(left, right, context));
    }
    a.prefix = std::move(prefix);
    a.items = meet_optional(a.items, b.items, context);
    a.contains.insert(a.contains.end(), b.contains.begin(), b.contains.end());
    tighten(a.lengths, b.lengths);
    return a;
}

bool object_merge_exact(const ObjectLeaf& x, const ObjectLeaf& y, const PropertyMap& merged,
                        CanonicalContext& context) {
    if (!x.additional || y.pattern_properties.empty() || x.properties.empty()) return true;
    for (const auto& [name, schema] : x.properties.entries) {
        if (!any_pattern_matches(y.pattern_properties, *name, context)) continue;
        const Schema* m = property_map_find(merged, *name);
        if (!m || node_includes(*x.additional, *m, context) != Admission::Accepted) return false;
    }
    return true;
}

ObjectLeaf merge_object_leaves(ObjectLeaf a, ObjectLeaf b, CanonicalContext& context) {
    ObjectLeaf out;
    auto& props = out.properties.entries;
    const auto& pa = a.properties.entries;
    const auto& pb = b.properties.entries;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < pa.size() || j < pb.size()) {
        const int c = i == pa.size() ? 1 : j == pb.size() ? -1 : pa[i].first->compare(*pb[j].first);
        if (c == 0) {
            props.emplace_back(pa[i].first, intersect(pa[i].second, pb[j].second, context));
            ++i;
            ++j;
        } else if (c < 0) {
            Schema s = pa[i].second;
            if (b.additional && !any_pattern_matches(b.pattern_properties, *pa[i].first, context))
                s = intersect(s, *b.additional, context);
            props.emplace_back(pa[i].first, std::move(s));
            ++i;
        } else {
            Schema s = pb[j].second;
            if (a.additional && !any_pattern_matches(a.pattern_properties, *pb[j].first, context))
                s = intersect(*a.additional, s, context);
            props.emplace_back(pb[j].first, std::move(s));
            ++j;
        }
    }
    out.pattern_properties = a.pattern_properties;
    for (const auto& [pattern, schema] : b.pattern_properties.entries) {
        if (auto old = property_map_remove(out.pattern_properties, *pattern))
            property_map_insert(out.pattern_properties, pattern, intersect(*old, schema, context));
        else
            property_map_insert(out.pattern_properties, pattern, schema);
    }
    const bool a_patterns = !a.pattern_properties.empty();
    const bool b_patterns = !b.pattern_properties.empty();
    if (a_patterns != b_patterns) {
        const std::optional<Schema>& other_additional = a_patterns ? b.additional : a.additional;
        if (other_additional)
            for (auto& entry : out.pattern_properties.entries)
                entry.second = intersect(entry.second, *other_additional, context);
    }
    bool exact = true;
    if (a_patterns && b_patterns) {
        const auto& x = a.pattern_properties.entries;
        const auto& y = b.pattern_properties.entries;
        bool differ = x.size() != y.size();
        for (std::size_t k = 0; !differ && k < x.size(); ++k) differ = *x[k].first != *y[k].first;
        if (differ && (a.additional || b.additional)) exact = false;
    }
    if (exact)
        exact = object_merge_exact(a, b, out.properties, context) && object_merge_exact(b, a, out.properties, context);
    if (!exact) context.exhausted = true;
    out.required = std::move(a.required);
    join_texts(out.required, b.required);
    out.property_names = meet_optional(a.property_names, b.property_names, context);
    out.additional = meet_optional(a.additional, b.additional, context);
    out.violations = std::move(a.violations);
    out.violations.insert(out.violations.end(), b.violations.begin(), b.violations.end());
    std::stable_sort(
        out.violations.begin(), out.violations.end(),
        [](const ObjectViolation& x, const ObjectViolation& y) { return compare_object_violations(x, y) < 0; });
    out.violations.erase(std::unique(out.violations.begin(), out.violations.end(), object_violation_eq),
                         out.violations.end());
    out.sizes = a.sizes;
    tighten(out.sizes, b.sizes);
    return out;
}

}  // namespace deririrore::canonical
