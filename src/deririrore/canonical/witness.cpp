#include "deririrore/canonical/witness.hpp"

#include <unicode/uchar.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/regex/witness.hpp"
#include "deririrore/value/numeric.hpp"
#include "deririrore/value/utf8.hpp"

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

std::optional<std::string> format_sample(const FormatKind& format) {
    if (!format.is_builtin()) return std::nullopt;
    using formats::BuiltinFormat;
    switch (std::get<formats::BuiltinFormat>(format.kind)) {
        case BuiltinFormat::Date:
            return "2020-01-01";
        case BuiltinFormat::DateTime:
            return "2020-01-01T00:00:00Z";
        case BuiltinFormat::Duration:
            return "P1D";
        case BuiltinFormat::Time:
            return "00:00:00Z";
        case BuiltinFormat::Ipv4:
            return "127.0.0.1";
        case BuiltinFormat::Ipv6:
            return "::1";
        case BuiltinFormat::JsonPointer:
            return "/a";
        case BuiltinFormat::RelativeJsonPointer:
            return "0";
        case BuiltinFormat::Regex:
            return "a";
        case BuiltinFormat::Uuid:
            return "00000000-0000-4000-8000-000000000000";
        case BuiltinFormat::Hostname:
        case BuiltinFormat::HostnameDraft4:
        case BuiltinFormat::IdnHostname:
            return "example.com";
        case BuiltinFormat::Email:
        case BuiltinFormat::IdnEmail:
            return "user@example.com";
        case BuiltinFormat::Uri:
        case BuiltinFormat::UriReference:
        case BuiltinFormat::Iri:
        case BuiltinFormat::IriReference:
            return "https://example.com";
        case BuiltinFormat::UriTemplate:
            return "https://example.com/{id}";
        case BuiltinFormat::None:
            return std::nullopt;
    }
    return std::nullopt;
}

// The leading run of word characters of a pattern, after one leading "^".
std::string pattern_seed(std::string_view pattern) {
    std::size_t i = (!pattern.empty() && pattern.front() == '^') ? 1 : 0;
    const std::size_t start = i;
    while (i < pattern.size()) {
        char32_t cp = 0;
        const std::size_t n = value::decode_utf8_sequence(pattern, i, cp);
        if (n == 0) break;
        const bool word = cp == U'_' || (cp < 0x80 ? std::isalnum(static_cast<int>(cp)) != 0
                                                   : u_isalnum(static_cast<UChar32>(cp)) != 0);
        if (!word) break;
        i += n;
    }
    return std::string(pattern.substr(start, i - start));
}

std::vector<value::Value> string_leaf_witnesses(const StringLeaf& leaf) {
    std::vector<std::string> candidates;
    std::vector<std::string> samples;
    bool all = true;
    for (const auto& p : leaf.patterns) {
        if (auto w = regex::pattern_witness(*p))
            samples.push_back(std::move(*w));
        else
            all = false;
    }
    if (all && leaf.patterns.size() >= 2) {
        std::string joined;
        for (const auto& s : samples) joined += s;
        candidates.push_back(std::move(joined));
    }
    for (auto& s : samples) candidates.push_back(std::move(s));
    for (const auto& f : leaf.formats)
        if (auto sample = format_sample(f)) candidates.push_back(std::move(*sample));
    if (!leaf.lengths.minimum) {
        candidates.emplace_back();
    } else if (auto n = as_count(leaf.lengths.minimum); n && *n <= kMaxWitnessPadding) {
        candidates.emplace_back(static_cast<std::size_t>(*n), 'a');
    }
    return string_witnesses(candidates, leaf);
}

// A count read from a bound: 0 when absent, none when above the sample limit.
std::optional<uint64_t> small_count(const std::optional<BigInt>& bound) {
    if (!bound) return 0;
    auto n = as_count(bound);
    if (!n || *n > kMaxWitnessPadding) return std::nullopt;
    return n;
}

std::optional<value::Value> first_witness(const Schema& node, uint32_t depth, uint64_t& budget,
                                          CanonicalContext& context) {
    if (depth == 0) return std::nullopt;
    auto values = collect_witness_values(node, depth - 1, budget, context);
    if (values.empty()) return std::nullopt;
    return std::move(values.front());
}

std::vector<value::Value> array_leaf_witnesses(const ArrayLeaf& leaf, uint32_t depth, uint64_t& budget,
                                               CanonicalContext& context) {
    const auto n = small_count(leaf.lengths.minimum);
    if (!n) return {};
    value::Value::Array contained;
    for (const auto& facet : leaf.contains) {
        auto w = first_witness(facet.schema, depth, budget, context);
        if (!w) return {};
        contained.push_back(std::move(*w));
    }
    value::Value::Array items;
    for (const auto& p : leaf.prefix) {
        auto w = child_witnesses(p, value::Value(), depth, budget, context);
        if (!w) return {};
        items.push_back(std::move(*w));
    }
    for (auto& c : contained) items.push_back(std::move(c));
    while (items.size() < *n) {
        const std::size_t position = items.size();
        std::optional<Schema> schema =
            position < leaf.prefix.size() ? std::optional<Schema>(leaf.prefix[position]) : leaf.items;
        auto w = child_witnesses(schema, value::Value(), depth, budget, context);
        if (!w) return {};
        items.push_back(std::move(*w));
    }
    std::vector<value::Value> out;
    out.push_back(value::Value::array(std::move(items)));
    return out;
}

std::vector<value::Value> object_leaf_witnesses(const ObjectLeaf& leaf, uint32_t depth, uint64_t& budget,
                                                CanonicalContext& context) {
    const auto c = small_count(leaf.sizes.minimum);
    if (!c) return {};
    std::vector<std::string> names;
    for (const auto& r : leaf.required) names.push_back(*r);
    auto held = [&](const std::string& name) { return std::find(names.begin(), names.end(), name) != names.end(); };
    if (names.size() < *c) {
        std::vector<std::string> seeds;
        for (const auto& [key, schema] : leaf.properties.entries) seeds.push_back(*key);
        for (const auto& [key, schema] : leaf.pattern_properties.entries) seeds.push_back(pattern_seed(*key));
        seeds.emplace_back("a");
        for (const auto& seed : seeds) {
            for (char digit = '0'; digit <= '7' && names.size() < *c; ++digit) {
                std::string candidate = seed + digit;
                if (held(candidate)) continue;
                if (leaf.property_names && node_admits_value(*leaf.property_names, value::Value::string(candidate),
                                                             true, context) != Admission::Accepted)
                    continue;
                names.push_back(std::move(candidate));
            }
            if (names.size() >= *c) break;
        }
    }
    value::Value::Object members;
    for (const auto& name : names) {
        std::optional<Schema> schema;
        if (const Schema* declared = property_map_find(leaf.properties, name)) {
            schema = *declared;
        } else {
            for (const auto& [pattern, s] : leaf.pattern_properties.entries)
                if (pattern_matches_name(context, *pattern, name)) {
                    schema = s;
                    break;
                }
            if (!schema) schema = leaf.additional;
        }
        auto w = child_witnesses(schema, value::Value(), depth, budget, context);
        if (!w) return {};
        members.push_back(value::Member{name, std::move(*w)});
    }
    std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
    std::vector<value::Value> out;
    out.push_back(value::Value::object(std::move(members)));
    return out;
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
            return string_leaf_witnesses(node->as<kind::String>()->leaf);
        case KindIndex::Number: {
            const auto& leaf = node->as<kind::Number>()->leaf;
            return number_witness(leaf.minimum, leaf.maximum);
        }
        case KindIndex::Integer: {
            const auto& b = node->as<kind::Integer>()->leaf.bounds;
            auto bound = [](const std::optional<BigInt>& x) -> std::optional<BoundNumber> {
                if (!x) return std::nullopt;
                return BoundNumber{number_to_text(*x), true};
            };
            return number_witness(bound(b.minimum), bound(b.maximum));
        }
        case KindIndex::Array:
            return array_leaf_witnesses(node->as<kind::Array>()->leaf, depth, budget, context);
        case KindIndex::Object:
            return object_leaf_witnesses(node->as<kind::Object>()->leaf, depth, budget, context);
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
