// Smart constructors of integer, number and string nodes: they tighten a leaf
// with what its parts imply, answer False where they prove no value fits, and
// a simpler node (a type, a constant, an integer leaf) where one says the same.
#include <algorithm>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::canonical {

namespace {

const BigRational* exact_fraction(const BoundRational& n) {
    return n.value && n.value->is_finite() ? &n.value->fraction : nullptr;
}

// Equal canonical numbers: the same text, or the same exact value.
bool canonical_number_eq(const BoundRational& a, const BoundRational& b) {
    if (bound_rationals_equal(a, b)) return true;
    const auto* x = exact_fraction(a);
    const auto* y = exact_fraction(b);
    return x && y && cmp(*x, *y) == 0;
}

bool excludes_folded_divisor(const ExcludedDivisors& excluded, const Divisors& divisors) {
    for (const auto& x : excluded.members)
        for (const auto& f : divisors.folded)
            if (canonical_number_eq(x, f)) return true;
    return false;
}

// Whether the number text is a multiple of every divisor and of no exclusion.
bool divisors_admit(const Divisors& divisors, const ExcludedDivisors& excluded, const std::string& text) {
    for (const auto& d : divisors.members)
        if (!value::number_text_is_multiple_of(d.limit, text)) return false;
    for (const auto& x : excluded.members)
        if (value::number_text_is_multiple_of(x.limit, text)) return false;
    return true;
}

Schema number_constant(const std::string& text) {
    return make_schema(kind::Const{shared_canonical_json(value::Value::number(text))});
}

void narrow_to(Bounds& window, const Bounds& by) {
    window.minimum = max_lower_bound(window.minimum, by.minimum);
    window.maximum = min_upper_bound(window.maximum, by.maximum);
}

bool window_empty(const Bounds& w) { return w.minimum && w.maximum && *w.minimum > *w.maximum; }

}  // namespace

CanonicalJson shared_canonical_json(const value::Value& v) {
    if (auto canonical = canonical_json_from_value(v))
        return std::make_shared<const value::Value>(std::move(*canonical));
    // Past the nesting bound the value is kept as written: it still names one value.
    return std::make_shared<const value::Value>(v);
}

std::vector<SharedPattern> compile_patterns(const std::vector<SharedString>& texts, CanonicalContext& context) {
    std::vector<SharedPattern> out;
    out.reserve(texts.size());
    for (const auto& t : texts) {
        SharedPattern compiled = lookup_compiled_pattern(context, *t);
        if (!compiled) throw InternalError("pattern validated during parsing");
        out.push_back(std::move(compiled));
    }
    return out;
}

Schema integer_leaf_node(IntegerLeaf leaf, CanonicalContext& context) {
    leaf.multiple_of = drop_trivial_integer_divisors(std::move(leaf.multiple_of));
    auto& bounds = leaf.bounds;
    if (!bounds.minimum && !bounds.maximum && leaf.multiple_of.members.empty() && leaf.not_multiple_of.members.empty())
        return schema_from_type_mask(JsonTypeSet(JsonType::Integer));
    if (leaf.multiple_of.folded.size() == 1) {
        const IntegerDivisor d = integer_divisor_of(leaf.multiple_of.folded[0]);
        if (d.kind == IntegerDivisor::Kind::Integer) {
            if (bounds.minimum)
                if (auto m = snap_integer_to_multiple(d.k, *bounds.minimum, false)) bounds.minimum = std::move(*m);
            if (bounds.maximum)
                if (auto m = snap_integer_to_multiple(d.k, *bounds.maximum, true)) bounds.maximum = std::move(*m);
        }
    }
    if (window_empty(bounds)) return false_schema();
    if (excludes_folded_divisor(leaf.not_multiple_of, leaf.multiple_of)) return false_schema();
    for (const auto& x : leaf.not_multiple_of.members)
        if (integer_divisor_of(x).kind == IntegerDivisor::Kind::Trivial) return false_schema();
    if (bounds.minimum && bounds.maximum && *bounds.minimum == *bounds.maximum) {
        const std::string v = number_to_text(*bounds.minimum);
        if (!divisors_admit(leaf.multiple_of, leaf.not_multiple_of, v)) return false_schema();
        Schema constant = number_constant(v);
        if (context.draft == Draft::Draft4) return typed_group(JsonType::Integer, std::move(constant));
        return constant;
    }
    return make_schema(kind::Integer{std::move(leaf)});
}

Schema number_leaf_node(NumberLeaf leaf, CanonicalContext& context) {
    const bool draft4 = context.draft == Draft::Draft4;
    if (leaf.excludes_integers && !draft4) {
        auto one = parse_canonical_number("1");
        if (!one) throw InternalError("one is a representable divisor");
        leaf.not_multiple_of.members =
            extend_excluded_divisors(std::move(leaf.not_multiple_of.members), normalize_excluded_divisors({*one}));
        leaf.excludes_integers = false;
    }
    const auto& folded = leaf.multiple_of.folded;
    if (folded.size() == 1) {
        if (leaf.minimum)
            if (auto snapped = snap_bound_to_divisor(folded[0], *leaf.minimum, false))
                leaf.minimum = std::move(snapped);
        if (leaf.maximum)
            if (auto snapped = snap_bound_to_divisor(folded[0], *leaf.maximum, true)) leaf.maximum = std::move(snapped);
        if (!draft4 && value::classify_integer_text(folded[0].limit) != value::IntegerClass::NotInteger) {
            if (auto integer_bounds = integer_bounds_from_number_bounds(leaf)) {
                IntegerLeaf integer;
                integer.bounds = std::move(*integer_bounds);
                integer.multiple_of = leaf.multiple_of;
                integer.not_multiple_of = leaf.not_multiple_of;
                return integer_leaf_node(std::move(integer), context);
            }
        }
    }
    if (excludes_folded_divisor(leaf.not_multiple_of, leaf.multiple_of)) return false_schema();
    if (leaf.minimum && leaf.maximum) {
        const auto a = exact_value_of_number_text(leaf.minimum->limit);
        const auto b = exact_value_of_number_text(leaf.maximum->limit);
        if (a && b && a->is_finite() && b->is_finite()) {
            for (const auto& f : folded) {
                const auto* fv = exact_fraction(f);
                if (!fv || sgn(*fv) == 0) continue;
                const auto k = rounded_quotient(*a, *f.value, false);
                if (!k) continue;
                const auto m = multiply_ratio_by_integer(*f.value, *k);
                if (!m || !m->is_finite()) continue;
                const int c = cmp(m->fraction, b->fraction);
                if (c > 0 || (c == 0 && !leaf.maximum->inclusive)) return false_schema();
            }
        }
        if (!bound_admits_number(*leaf.minimum, leaf.maximum->limit, false) ||
            !bound_admits_number(*leaf.maximum, leaf.minimum->limit, true))
            return false_schema();
        if (leaf.minimum->inclusive && leaf.maximum->inclusive && leaf.minimum->limit == leaf.maximum->limit) {
            const std::string v = leaf.minimum->limit;
            if (leaf.excludes_integers && value::is_integer_text(v)) return make_schema(kind::Number{std::move(leaf)});
            if (!divisors_admit(leaf.multiple_of, leaf.not_multiple_of, v)) return false_schema();
            return number_constant(v);
        }
    }
    return make_schema(kind::Number{std::move(leaf)});
}

Schema string_leaf_node(StringLeaf leaf, CanonicalContext& context) {
    for (const auto& f : leaf.formats)
        for (const auto& g : leaf.excluded_formats)
            if (format_kinds_equal(f, g)) return false_schema();
    Bounds implied = leaf.lengths;
    for (const auto& f : leaf.formats)
        if (f.is_builtin())
            if (auto window = format_length_window(f)) narrow_to(implied, *window);
    if (window_empty(implied)) return false_schema();
    for (const auto& p : leaf.patterns)
        for (const auto& q : leaf.excluded_patterns)
            if (*p == *q) return false_schema();
    if (!leaf.lengths.minimum) {
        auto empty =
            std::find_if(leaf.excluded.begin(), leaf.excluded.end(), [](const SharedString& s) { return s->empty(); });
        if (empty != leaf.excluded.end()) {
            leaf.excluded.erase(empty);
            leaf.lengths.minimum = BigInt(1);
        }
    }
    if (!leaf.excluded_formats.empty())
        std::erase_if(leaf.excluded_formats,
                      [&](const FormatKind& f) { return !format_fits_length_window(leaf.lengths, f); });
    if (!leaf.excluded.empty()) {
        const auto patterns = compile_patterns(leaf.patterns, context);
        const auto excluded_patterns = compile_patterns(leaf.excluded_patterns, context);
        std::vector<SharedString> excluded = std::move(leaf.excluded);
        leaf.excluded.clear();
        for (auto& s : excluded)
            if (string_leaf_accepts(leaf, patterns, excluded_patterns, *s, true) != Admission::Rejected)
                leaf.excluded.push_back(std::move(s));
    }
    if (window_empty(leaf.lengths)) return false_schema();
    if (leaf.lengths.maximum && sgn(*leaf.lengths.maximum) == 0) {
        const auto patterns = compile_patterns(leaf.patterns, context);
        const auto excluded_patterns = compile_patterns(leaf.excluded_patterns, context);
        switch (string_leaf_accepts(leaf, patterns, excluded_patterns, "", false)) {
            case Admission::Rejected:
                return false_schema();
            case Admission::Accepted:
                return make_schema(kind::Const{shared_canonical_json(value::Value::string(""))});
            case Admission::Undecided:
                break;
        }
    }
    return make_schema(kind::String{std::move(leaf)});
}

}  // namespace deririrore::canonical
