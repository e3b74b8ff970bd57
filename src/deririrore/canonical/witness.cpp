#include "deririrore/canonical/witness.hpp"

#include <cmath>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::canonical {

namespace {

std::size_t scalar_count(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

std::optional<uint64_t> as_count(const std::optional<BigInt>& b) {
    if (!b) return std::nullopt;
    return value::read_u64_text(cardinality_to_text(*b));
}

std::optional<double> usable(const std::optional<BoundNumber>& b) {
    if (!b) return std::nullopt;
    return value::read_finite_f64_text(b->limit);
}

// The JSON writer's form for doubles: integral values keep a fraction.
value::Value double_value(double d) {
    value::Value v = value::Value::number_from_double(d);
    std::string text(v.number_text());
    if (text.find_first_of(".eE") == std::string::npos) return value::Value::number(text + ".0");
    return v;
}

}  // namespace

std::string cardinality_to_text(const BigInt& n) {
    if (n.fits_ulong_p()) return std::to_string(n.get_ui());
    return n.get_str();
}

std::vector<value::Value> string_witnesses(const std::vector<std::string>& candidates, const StringLeaf& leaf) {
    std::vector<value::Value> out;
    const auto max = as_count(leaf.lengths.maximum);
    const auto min = as_count(leaf.lengths.minimum);
    for (const auto& c : candidates) {
        const std::size_t n = scalar_count(c);
        if (max && n > *max) continue;
        std::string text = c;
        if (min && n < *min) {
            if (*min > kMaxWitnessPadding) continue;
            text.append(static_cast<std::size_t>(*min - n), 'a');
        }
        out.push_back(value::Value::string(std::move(text)));
    }
    return out;
}

std::vector<value::Value> number_witness(const std::optional<BoundNumber>& lower,
                                         const std::optional<BoundNumber>& upper) {
    std::vector<value::Value> out;
    if (lower && lower->inclusive) out.push_back(value::Value::number(lower->limit));
    if (upper && upper->inclusive) out.push_back(value::Value::number(upper->limit));
    const auto lo = usable(lower);
    const auto hi = usable(upper);
    std::optional<double> computed;
    if (lo && hi)
        computed = *lo + (*hi - *lo) / 2;
    else if (lo)
        computed = *lo + 1;
    else if (hi)
        computed = *hi - 1;
    if (computed && std::isfinite(*computed)) out.push_back(double_value(*computed));
    out.push_back(value::Value::number("0"));
    return out;
}

std::optional<value::Value> child_witnesses(const std::optional<Schema>& child, value::Value fallback, uint32_t depth,
                                            uint64_t& budget, CanonicalContext& context) {
    if (!child) return fallback;
    if (depth == 0) return std::nullopt;
    auto values = collect_witness_values(*child, depth - 1, budget, context);
    if (values.empty()) return std::nullopt;
    return std::move(values.front());
}

std::vector<value::Value> collect_witness_values(const Schema& node, uint32_t depth, uint64_t& budget,
                                                 CanonicalContext& context) {
    std::vector<value::Value> out;
    if (depth == 0 || budget == 0) return out;
    --budget;
    switch (node->index()) {
        case KindIndex::MultiType:
            for (auto t : node->as<kind::MultiType>()->types) {
                switch (t) {
                    case JsonType::Null:
                        out.push_back(value::Value::null());
                        break;
                    case JsonType::Boolean:
                        out.push_back(value::Value::boolean(false));
                        break;
                    case JsonType::Integer:
                    case JsonType::Number:
                        out.push_back(value::Value::number("0"));
                        break;
                    case JsonType::String:
                        out.push_back(value::Value::string(""));
                        break;
                    case JsonType::Array:
                        out.push_back(value::Value::array());
                        break;
                    case JsonType::Object:
                        out.push_back(value::Value::object());
                        break;
                }
            }
            break;
        case KindIndex::TypedGroup:
            return collect_witness_values(node->as<kind::TypedGroup>()->body, depth - 1, budget, context);
        case KindIndex::String:
            return string_witnesses({"", "a", "0"}, node->as<kind::String>()->leaf);
        case KindIndex::Number: {
            const auto& leaf = node->as<kind::Number>()->leaf;
            return number_witness(leaf.minimum, leaf.maximum);
        }
        case KindIndex::Integer: {
            const auto& b = node->as<kind::Integer>()->leaf.bounds;
            auto bound = [](const std::optional<BigInt>& x) -> std::optional<BoundNumber> {
                if (!x) return std::nullopt;
                return BoundNumber{x->get_str(), true};
            };
            return number_witness(bound(b.minimum), bound(b.maximum));
        }
        case KindIndex::Array: {
            const auto& leaf = node->as<kind::Array>()->leaf;
            value::Value::Array items;
            for (const auto& p : leaf.prefix) {
                auto w = child_witnesses(p, value::Value(), depth, budget, context);
                if (!w) return out;
                items.push_back(std::move(*w));
            }
            out.push_back(value::Value::array(std::move(items)));
            break;
        }
        case KindIndex::Const:
            out.push_back(*node->as<kind::Const>()->value);
            break;
        case KindIndex::Enum:
            for (const auto& v : node->as<kind::Enum>()->values) out.push_back(*v);
            break;
        case KindIndex::True:
            out.push_back(value::Value::null());
            break;
        case KindIndex::Reference: {
            auto target = lookup_reference_target(context, *node->as<kind::Reference>()->name);
            if (target) return collect_witness_values(*target, depth - 1, budget, context);
            break;
        }
        case KindIndex::AnyOf:
        case KindIndex::AllOf:
        case KindIndex::OneOf: {
            const auto& branches = node->index() == KindIndex::AnyOf   ? node->as<kind::AnyOf>()->branches
                                   : node->index() == KindIndex::AllOf ? node->as<kind::AllOf>()->branches
                                                                       : node->as<kind::OneOf>()->branches;
            for (const auto& b : branches) {
                auto w = collect_witness_values(b, depth - 1, budget, context);
                for (auto& v : w) out.push_back(std::move(v));
            }
            break;
        }
        default:
            break;
    }
    return out;
}

}  // namespace deririrore::canonical
