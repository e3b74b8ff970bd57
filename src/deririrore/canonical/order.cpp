#include "deririrore/canonical/order.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "deririrore/value/numeric.hpp"

namespace deririrore::canonical {

namespace {

using SO = std::strong_ordering;

SO bytes(std::string_view a, std::string_view b) {
    const int c = a.compare(b);
    return c < 0 ? SO::less : c > 0 ? SO::greater : SO::equal;
}

SO big(const BigInt& a, const BigInt& b) {
    const int c = cmp(a, b);
    return c < 0 ? SO::less : c > 0 ? SO::greater : SO::equal;
}

SO opt_big(const std::optional<BigInt>& a, const std::optional<BigInt>& b) {
    if (!a || !b) return static_cast<bool>(a) <=> static_cast<bool>(b);
    return big(*a, *b);
}

template <class T, class F>
SO lex(const std::vector<T>& a, const std::vector<T>& b, F&& item) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (auto c = item(a[i], b[i]); c != 0) return c;
    return a.size() <=> b.size();
}

int number_class(std::string_view t, uint64_t& u, int64_t& s, double& d) {
    std::string_view digits = t;
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (auto v = value::read_u64_text(digits)) {
            u = *v;
            return 0;
        }
    }
    if (auto v = value::read_i64_text(t)) {
        s = *v;
        return 1;
    }
    if (auto v = value::read_finite_f64_text(t)) {
        d = *v;
        return 2;
    }
    return 3;
}

SO compare_numbers(std::string_view a, std::string_view b) {
    uint64_t ua = 0, ub = 0;
    int64_t sa = 0, sb = 0;
    double da = 0, db = 0;
    const int ca = number_class(a, ua, sa, da);
    const int cb = number_class(b, ub, sb, db);
    if (ca != cb) return ca <=> cb;
    switch (ca) {
        case 0:
            return ua <=> ub;
        case 1:
            return sa <=> sb;
        case 2:
            if (auto c = std::bit_cast<uint64_t>(da) <=> std::bit_cast<uint64_t>(db); c != 0) return c;
            return bytes(a, b);
        default:
            return bytes(a, b);
    }
}

int json_rank(value::ValueKind k) { return static_cast<int>(k); }

struct Cmp {
    std::size_t depth = 0;
    std::size_t steps = 0;

    SO json(const value::Value& a, const value::Value& b) {
        if (&a == &b) return SO::equal;
        if (a.kind() != b.kind()) return json_rank(a.kind()) <=> json_rank(b.kind());
        switch (a.kind()) {
            case value::ValueKind::Null:
                return SO::equal;
            case value::ValueKind::Boolean:
                return a.as_bool() <=> b.as_bool();
            case value::ValueKind::Number:
                return compare_numbers(a.number_text(), b.number_text());
            case value::ValueKind::String:
                return bytes(a.as_string(), b.as_string());
            case value::ValueKind::Array: {
                if (++depth > kMaxCompareDepth) return a.size() <=> b.size();
                auto c = lex(a.as_array(), b.as_array(), [&](const auto& x, const auto& y) { return json(x, y); });
                --depth;
                return c;
            }
            case value::ValueKind::Object: {
                if (++depth > kMaxCompareDepth) return a.size() <=> b.size();
                auto c = lex(a.as_object(), b.as_object(), [&](const value::Member& x, const value::Member& y) {
                    if (auto k = bytes(x.key, y.key); k != 0) return k;
                    return json(x.value, y.value);
                });
                --depth;
                return c;
            }
        }
        return SO::equal;
    }

    SO node(const Schema& a, const Schema& b) {
        if (a.same(b)) return SO::equal;
        // Past the bound the hash stands in: still a consistent answer, never a stack overflow.
        if (depth >= kMaxCompareDepth || ++steps > kMaxCompareSteps) return a->hash <=> b->hash;
        ++depth;
        auto c = kinds(a->kind, b->kind);
        --depth;
        return c;
    }

    SO opt_node(const std::optional<Schema>& a, const std::optional<Schema>& b) {
        if (!a || !b) return static_cast<bool>(a) <=> static_cast<bool>(b);
        return node(*a, *b);
    }

    SO nodes(const std::vector<Schema>& a, const std::vector<Schema>& b) {
        return lex(a, b, [&](const Schema& x, const Schema& y) { return node(x, y); });
    }

    SO strings(const std::vector<SharedString>& a, const std::vector<SharedString>& b) {
        return lex(a, b, [](const SharedString& x, const SharedString& y) { return bytes(*x, *y); });
    }

    SO map(const PropertyMap& a, const PropertyMap& b) {
        return lex(a.entries, b.entries, [&](const auto& x, const auto& y) {
            if (auto c = bytes(*x.first, *y.first); c != 0) return c;
            return node(x.second, y.second);
        });
    }

    SO violation(const ObjectViolation& a, const ObjectViolation& b) {
        if (a.index() != b.index()) return a.index() <=> b.index();
        if (const auto* x = std::get_if<violation::NameFails>(&a)) return node(x->schema, std::get<0>(b).schema);
        if (const auto* x = std::get_if<violation::UndeclaredValueFails>(&a)) {
            const auto& y = std::get<1>(b);
            if (auto c = strings(x->names, y.names); c != 0) return c;
            if (auto c = strings(x->patterns, y.patterns); c != 0) return c;
            return node(x->additional, y.additional);
        }
        const auto& x = std::get<2>(a);
        const auto& y = std::get<2>(b);
        if (auto c = bytes(*x.pattern, *y.pattern); c != 0) return c;
        return node(x.schema, y.schema);
    }

    SO kinds(const SchemaKind& a, const SchemaKind& b) {
        if (a.index() != b.index()) return a.index() <=> b.index();
        switch (static_cast<KindIndex>(a.index())) {
            case KindIndex::MultiType:
                return std::get<kind::MultiType>(a).types.bits() <=> std::get<kind::MultiType>(b).types.bits();
            case KindIndex::TypedGroup: {
                const auto& x = std::get<kind::TypedGroup>(a);
                const auto& y = std::get<kind::TypedGroup>(b);
                if (auto c = static_cast<uint8_t>(x.ty) <=> static_cast<uint8_t>(y.ty); c != 0) return c;
                return node(x.body, y.body);
            }
            case KindIndex::String: {
                const auto& x = std::get<kind::String>(a).leaf;
                const auto& y = std::get<kind::String>(b).leaf;
                if (auto c = compare_bounds(x.lengths, y.lengths); c != 0) return c;
                if (auto c = strings(x.patterns, y.patterns); c != 0) return c;
                if (auto c = strings(x.excluded_patterns, y.excluded_patterns); c != 0) return c;
                if (auto c = lex(x.formats, y.formats, compare_format_kinds); c != 0) return c;
                if (auto c = lex(x.excluded_formats, y.excluded_formats, compare_format_kinds); c != 0) return c;
                if (auto c = strings(x.content_media_types, y.content_media_types); c != 0) return c;
                if (auto c = strings(x.content_encodings, y.content_encodings); c != 0) return c;
                return strings(x.excluded, y.excluded);
            }
            case KindIndex::Integer: {
                const auto& x = std::get<kind::Integer>(a).leaf;
                const auto& y = std::get<kind::Integer>(b).leaf;
                if (auto c = compare_bounds(x.bounds, y.bounds); c != 0) return c;
                if (auto c = lex(x.multiple_of.folded, y.multiple_of.folded, compare_bound_rationals); c != 0) return c;
                return lex(x.not_multiple_of.members, y.not_multiple_of.members, compare_bound_rationals);
            }
            case KindIndex::Number: {
                const auto& x = std::get<kind::Number>(a).leaf;
                const auto& y = std::get<kind::Number>(b).leaf;
                auto opt = [](const std::optional<BoundNumber>& p, const std::optional<BoundNumber>& q) {
                    if (!p || !q) return static_cast<bool>(p) <=> static_cast<bool>(q);
                    return compare_bound_numbers(*p, *q);
                };
                if (auto c = opt(x.minimum, y.minimum); c != 0) return c;
                if (auto c = opt(x.maximum, y.maximum); c != 0) return c;
                if (auto c = lex(x.multiple_of.folded, y.multiple_of.folded, compare_bound_rationals); c != 0) return c;
                if (auto c = lex(x.not_multiple_of.members, y.not_multiple_of.members, compare_bound_rationals); c != 0)
                    return c;
                return x.excludes_integers <=> y.excludes_integers;
            }
            case KindIndex::Array: {
                const auto& x = std::get<kind::Array>(a).leaf;
                const auto& y = std::get<kind::Array>(b).leaf;
                if (auto c = compare_bounds(x.lengths, y.lengths); c != 0) return c;
                if (auto c = x.distinctness <=> y.distinctness; c != 0) return c;
                if (auto c = nodes(x.prefix, y.prefix); c != 0) return c;
                if (auto c = opt_node(x.items, y.items); c != 0) return c;
                return lex(x.contains, y.contains, [&](const ContainsFacet& p, const ContainsFacet& q) {
                    if (auto c = node(p.schema, q.schema); c != 0) return c;
                    if (auto c = opt_big(p.minimum, q.minimum); c != 0) return c;
                    return opt_big(p.maximum, q.maximum);
                });
            }
            case KindIndex::Object: {
                const auto& x = std::get<kind::Object>(a).leaf;
                const auto& y = std::get<kind::Object>(b).leaf;
                if (auto c = compare_bounds(x.sizes, y.sizes); c != 0) return c;
                if (auto c = strings(x.required, y.required); c != 0) return c;
                if (auto c = opt_node(x.property_names, y.property_names); c != 0) return c;
                if (auto c = map(x.properties, y.properties); c != 0) return c;
                if (auto c = map(x.pattern_properties, y.pattern_properties); c != 0) return c;
                if (auto c = opt_node(x.additional, y.additional); c != 0) return c;
                return lex(x.violations, y.violations,
                           [&](const ObjectViolation& p, const ObjectViolation& q) { return violation(p, q); });
            }
            case KindIndex::Const:
                return json(*std::get<kind::Const>(a).value, *std::get<kind::Const>(b).value);
            case KindIndex::Enum:
                return lex(std::get<kind::Enum>(a).values, std::get<kind::Enum>(b).values,
                           [&](const CanonicalJson& x, const CanonicalJson& y) { return json(*x, *y); });
            case KindIndex::Not:
                return node(std::get<kind::Not>(a).operand, std::get<kind::Not>(b).operand);
            case KindIndex::AllOf:
                return nodes(std::get<kind::AllOf>(a).branches, std::get<kind::AllOf>(b).branches);
            case KindIndex::AnyOf:
                return nodes(std::get<kind::AnyOf>(a).branches, std::get<kind::AnyOf>(b).branches);
            case KindIndex::OneOf:
                return nodes(std::get<kind::OneOf>(a).branches, std::get<kind::OneOf>(b).branches);
            case KindIndex::Reference:
                return bytes(*std::get<kind::Reference>(a).name, *std::get<kind::Reference>(b).name);
            case KindIndex::True:
            case KindIndex::False:
                return SO::equal;
            case KindIndex::Raw:
                return json(*std::get<kind::Raw>(a).raw.value, *std::get<kind::Raw>(b).raw.value);
        }
        return SO::equal;
    }
};

struct Eq {
    std::size_t depth = 0;
    std::size_t steps = 0;

    bool json(const value::Value& a, const value::Value& b) {
        if (&a == &b) return true;
        if (a.kind() != b.kind()) return false;
        switch (a.kind()) {
            case value::ValueKind::Null:
                return true;
            case value::ValueKind::Boolean:
                return a.as_bool() == b.as_bool();
            case value::ValueKind::Number:
                return a.number_text() == b.number_text();
            case value::ValueKind::String:
                return a.as_string() == b.as_string();
            case value::ValueKind::Array: {
                const auto& x = a.as_array();
                const auto& y = b.as_array();
                if (x.size() != y.size()) return false;
                if (++depth > kMaxCompareDepth) return false;
                for (std::size_t i = 0; i < x.size(); ++i)
                    if (!json(x[i], y[i])) return false;
                --depth;
                return true;
            }
            case value::ValueKind::Object: {
                const auto& x = a.as_object();
                const auto& y = b.as_object();
                if (x.size() != y.size()) return false;
                if (++depth > kMaxCompareDepth) return false;
                for (std::size_t i = 0; i < x.size(); ++i)
                    if (x[i].key != y[i].key || !json(x[i].value, y[i].value)) return false;
                --depth;
                return true;
            }
        }
        return false;
    }

    bool cjson(const CanonicalJson& a, const CanonicalJson& b) { return a == b || json(*a, *b); }

    bool node(const Schema& a, const Schema& b) {
        if (a.same(b)) return true;
        if (a->hash != b->hash) return false;
        // Unequal is the safe answer past the bound: it only keeps two nodes apart.
        if (depth >= kMaxCompareDepth || ++steps > kMaxCompareSteps) return false;
        ++depth;
        const bool r = data(*a, *b);
        --depth;
        return r;
    }

    bool opt_node(const std::optional<Schema>& a, const std::optional<Schema>& b) {
        if (!a || !b) return !a && !b;
        return node(*a, *b);
    }

    bool nodes(const std::vector<Schema>& a, const std::vector<Schema>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!node(a[i], b[i])) return false;
        return true;
    }

    static bool strings(const std::vector<SharedString>& a, const std::vector<SharedString>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i] != b[i] && *a[i] != *b[i]) return false;
        return true;
    }

    static bool formats(const std::vector<FormatKind>& a, const std::vector<FormatKind>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!format_kinds_equal(a[i], b[i])) return false;
        return true;
    }

    static bool rationals(const std::vector<BoundRational>& a, const std::vector<BoundRational>& b) {
        return a.size() == b.size() && number_lists_equal(a, b, a.size());
    }

    static bool opt_number(const std::optional<BoundNumber>& a, const std::optional<BoundNumber>& b) {
        if (!a || !b) return !a && !b;
        return a->inclusive == b->inclusive && a->limit == b->limit;
    }

    bool map(const PropertyMap& a, const PropertyMap& b) {
        if (a.entries.size() != b.entries.size()) return false;
        for (std::size_t i = 0; i < a.entries.size(); ++i) {
            const auto& [na, sa] = a.entries[i];
            const auto& [nb, sb] = b.entries[i];
            if (*na != *nb || !node(sa, sb)) return false;
        }
        return true;
    }

    bool facet(const ContainsFacet& a, const ContainsFacet& b) {
        return node(a.schema, b.schema) && opt_big(a.minimum, b.minimum) == 0 && opt_big(a.maximum, b.maximum) == 0;
    }

    bool violation(const ObjectViolation& a, const ObjectViolation& b) {
        if (a.index() != b.index()) return false;
        if (const auto* x = std::get_if<violation::NameFails>(&a)) return node(x->schema, std::get<0>(b).schema);
        if (const auto* x = std::get_if<violation::UndeclaredValueFails>(&a)) {
            const auto& y = std::get<1>(b);
            return strings(x->names, y.names) && strings(x->patterns, y.patterns) && node(x->additional, y.additional);
        }
        const auto& x = std::get<2>(a);
        const auto& y = std::get<2>(b);
        return *x.pattern == *y.pattern && node(x.schema, y.schema);
    }

    bool data(const SchemaData& a, const SchemaData& b) {
        if (a.hash != b.hash || a.kind.index() != b.kind.index()) return false;
        switch (a.index()) {
            case KindIndex::MultiType:
                return std::get<kind::MultiType>(a.kind).types == std::get<kind::MultiType>(b.kind).types;
            case KindIndex::TypedGroup: {
                const auto& x = std::get<kind::TypedGroup>(a.kind);
                const auto& y = std::get<kind::TypedGroup>(b.kind);
                return x.ty == y.ty && node(x.body, y.body);
            }
            case KindIndex::String: {
                const auto& x = std::get<kind::String>(a.kind).leaf;
                const auto& y = std::get<kind::String>(b.kind).leaf;
                return bounds_equal(x.lengths, y.lengths) && strings(x.patterns, y.patterns) &&
                       strings(x.excluded_patterns, y.excluded_patterns) && formats(x.formats, y.formats) &&
                       formats(x.excluded_formats, y.excluded_formats) &&
                       strings(x.content_media_types, y.content_media_types) &&
                       strings(x.content_encodings, y.content_encodings) && strings(x.excluded, y.excluded);
            }
            case KindIndex::Integer: {
                const auto& x = std::get<kind::Integer>(a.kind).leaf;
                const auto& y = std::get<kind::Integer>(b.kind).leaf;
                return bounds_equal(x.bounds, y.bounds) && rationals(x.multiple_of.folded, y.multiple_of.folded) &&
                       rationals(x.not_multiple_of.members, y.not_multiple_of.members);
            }
            case KindIndex::Number: {
                const auto& x = std::get<kind::Number>(a.kind).leaf;
                const auto& y = std::get<kind::Number>(b.kind).leaf;
                return opt_number(x.minimum, y.minimum) && opt_number(x.maximum, y.maximum) &&
                       rationals(x.multiple_of.folded, y.multiple_of.folded) &&
                       rationals(x.not_multiple_of.members, y.not_multiple_of.members) &&
                       x.excludes_integers == y.excludes_integers;
            }
            case KindIndex::Array: {
                const auto& x = std::get<kind::Array>(a.kind).leaf;
                const auto& y = std::get<kind::Array>(b.kind).leaf;
                if (!bounds_equal(x.lengths, y.lengths) || x.distinctness != y.distinctness ||
                    !nodes(x.prefix, y.prefix) || !opt_node(x.items, y.items) || x.contains.size() != y.contains.size())
                    return false;
                for (std::size_t i = 0; i < x.contains.size(); ++i)
                    if (!facet(x.contains[i], y.contains[i])) return false;
                return true;
            }
            case KindIndex::Object: {
                const auto& x = std::get<kind::Object>(a.kind).leaf;
                const auto& y = std::get<kind::Object>(b.kind).leaf;
                if (!bounds_equal(x.sizes, y.sizes) || !strings(x.required, y.required) ||
                    !opt_node(x.property_names, y.property_names) || !map(x.properties, y.properties) ||
                    !map(x.pattern_properties, y.pattern_properties) || !opt_node(x.additional, y.additional) ||
                    x.violations.size() != y.violations.size())
                    return false;
                for (std::size_t i = 0; i < x.violations.size(); ++i)
                    if (!violation(x.violations[i], y.violations[i])) return false;
                return true;
            }
            case KindIndex::Const:
                return cjson(std::get<kind::Const>(a.kind).value, std::get<kind::Const>(b.kind).value);
            case KindIndex::Enum: {
                const auto& x = std::get<kind::Enum>(a.kind).values;
                const auto& y = std::get<kind::Enum>(b.kind).values;
                if (x.size() != y.size()) return false;
                for (std::size_t i = 0; i < x.size(); ++i)
                    if (!cjson(x[i], y[i])) return false;
                return true;
            }
            case KindIndex::Not:
                return node(std::get<kind::Not>(a.kind).operand, std::get<kind::Not>(b.kind).operand);
            case KindIndex::AllOf:
                return nodes(std::get<kind::AllOf>(a.kind).branches, std::get<kind::AllOf>(b.kind).branches);
            case KindIndex::AnyOf:
                return nodes(std::get<kind::AnyOf>(a.kind).branches, std::get<kind::AnyOf>(b.kind).branches);
            case KindIndex::OneOf:
                return nodes(std::get<kind::OneOf>(a.kind).branches, std::get<kind::OneOf>(b.kind).branches);
            case KindIndex::Reference:
                return *std::get<kind::Reference>(a.kind).name == *std::get<kind::Reference>(b.kind).name;
            case KindIndex::True:
            case KindIndex::False:
                return true;
            case KindIndex::Raw:
                return cjson(std::get<kind::Raw>(a.kind).raw.value, std::get<kind::Raw>(b.kind).raw.value);
        }
        return false;
    }
};

}  // namespace

std::strong_ordering compare_canonical_nodes(const Schema& a, const Schema& b) { return Cmp{}.node(a, b); }
std::strong_ordering compare_canonical_kinds(const SchemaKind& a, const SchemaKind& b) { return Cmp{}.kinds(a, b); }
std::strong_ordering compare_canonical_json(const value::Value& a, const value::Value& b) { return Cmp{}.json(a, b); }

bool schema_data_eq(const SchemaData& a, const SchemaData& b) { return Eq{}.data(a, b); }
bool schema_eq(const Schema& a, const Schema& b) { return Eq{}.node(a, b); }
bool canonical_json_eq(const value::Value& a, const value::Value& b) { return Eq{}.json(a, b); }

bool contains_facet_eq(const ContainsFacet& a, const ContainsFacet& b) { return Eq{}.facet(a, b); }
bool object_violation_eq(const ObjectViolation& a, const ObjectViolation& b) { return Eq{}.violation(a, b); }
std::strong_ordering compare_object_violations(const ObjectViolation& a, const ObjectViolation& b) {
    return Cmp{}.violation(a, b);
}

std::strong_ordering compare_exact_values(const ExactValue& a, const ExactValue& b) {
    // NaN, then -inf, then the finite values, then +inf.
    auto rank = [](const ExactValue& v) {
        if (v.form == ExactValue::Form::NotANumber) return 0;
        if (v.form == ExactValue::Form::Infinite) return v.negative ? 1 : 3;
        return 2;
    };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra <=> rb;
    if (ra != 2) return SO::equal;
    const int c = cmp(a.fraction, b.fraction);
    return c < 0 ? SO::less : c > 0 ? SO::greater : SO::equal;
}

static bool exact_values_equal(const std::optional<ExactValue>& a, const std::optional<ExactValue>& b) {
    if (!a || !b) return !a && !b;
    return compare_exact_values(*a, *b) == 0;
}

std::strong_ordering compare_bound_rationals(const BoundRational& a, const BoundRational& b) {
    if (!a.value || !b.value) {
        if (static_cast<bool>(a.value) != static_cast<bool>(b.value))
            return static_cast<bool>(a.value) <=> static_cast<bool>(b.value);
    } else if (auto c = compare_exact_values(*a.value, *b.value); c != 0) {
        return c;
    }
    return bytes(a.limit, b.limit);
}

bool bound_rationals_equal(const BoundRational& a, const BoundRational& b) {
    return a.limit == b.limit && exact_values_equal(a.value, b.value);
}

bool number_lists_equal(const std::vector<BoundRational>& a, const std::vector<BoundRational>& b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (!bound_rationals_equal(a[i], b[i])) return false;
    return true;
}

std::strong_ordering compare_bound_numbers(const BoundNumber& a, const BoundNumber& b) {
    if (a.limit != b.limit) {
        // a < b exactly when b's text lies above a's limit, and the other way round.
        auto above = [](const std::string& limit_text, std::string_view number) {
            auto lim = value::NumericLimit::from_text(limit_text, value::BoundMode::Greater);
            return value::compare_number_with_bound(lim, number);
        };
        if (above(a.limit, b.limit)) return SO::less;
        if (above(b.limit, a.limit)) return SO::greater;
        if (auto c = bytes(a.limit, b.limit); c != 0) return c;
    }
    return a.inclusive <=> b.inclusive;
}

std::strong_ordering compare_format_kinds(const FormatKind& a, const FormatKind& b) {
    if (auto c = bytes(a.name(), b.name()); c != 0) return c;
    // Names alike: variant, then code, so that the order separates exactly what equality separates.
    if (a.kind.index() != b.kind.index()) return a.kind.index() <=> b.kind.index();
    if (a.is_builtin())
        return static_cast<uint8_t>(std::get<formats::BuiltinFormat>(a.kind)) <=>
               static_cast<uint8_t>(std::get<formats::BuiltinFormat>(b.kind));
    return SO::equal;
}

bool format_kinds_equal(const FormatKind& a, const FormatKind& b) { return compare_format_kinds(a, b) == 0; }

std::strong_ordering compare_bounds(const Bounds& a, const Bounds& b) {
    if (auto c = opt_big(a.minimum, b.minimum); c != 0) return c;
    return opt_big(a.maximum, b.maximum);
}

bool bounds_equal(const Bounds& a, const Bounds& b) { return compare_bounds(a, b) == 0; }

void sort_schemas(std::vector<Schema>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const Schema& a, const Schema& b) { return compare_canonical_nodes(a, b) < 0; });
}

}  // namespace deririrore::canonical
