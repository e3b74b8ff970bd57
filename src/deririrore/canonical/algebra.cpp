#include "deririrore/canonical/algebra.hpp"

#include <algorithm>
#include <set>
#include <string>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::canonical {

namespace {

[[noreturn]] void internal_stop(const char* what, const Schema& node) {
    throw InternalError(std::string(what) + ": " + debug_string(node));
}

}  // namespace

Schema typed_group(JsonType ty, Schema body) {
    if (is_false(body)) return body;
    return make_schema(kind::TypedGroup{ty, std::move(body)});
}

std::vector<CanonicalJson> normalize_value_set(std::vector<CanonicalJson> values) {
    std::stable_sort(values.begin(), values.end(),
                     [](const CanonicalJson& a, const CanonicalJson& b) { return compare_canonical_json(*a, *b) < 0; });
    values.erase(
        std::unique(values.begin(), values.end(),
                    [](const CanonicalJson& a, const CanonicalJson& b) { return a == b || canonical_json_eq(*a, *b); }),
        values.end());
    return values;
}

std::vector<CanonicalJson> value_set_members(const Schema& node) {
    if (const auto* c = node->as<kind::Const>()) return {c->value};
    if (const auto* e = node->as<kind::Enum>()) return e->values;
    internal_stop("value-set kind expected", node);
}

std::optional<std::vector<Schema>> resolve_branch_references(const std::vector<Schema>& branches,
                                                             const TargetTable& first, const TargetTable* second,
                                                             bool& unresolved) {
    std::vector<Schema> out;
    out.reserve(branches.size());
    for (const auto& branch : branches) {
        Schema node = branch;
        std::set<std::string, std::less<>> seen;
        while (const auto* r = node->as<kind::Reference>()) {
            if (!seen.insert(*r->name).second) return std::nullopt;
            auto it = first.find(*r->name);
            if (it != first.end()) {
                node = it->second;
                continue;
            }
            if (second) {
                auto jt = second->find(*r->name);
                if (jt != second->end()) {
                    node = jt->second;
                    continue;
                }
            }
            unresolved = true;
            return std::nullopt;
        }
        out.push_back(std::move(node));
    }
    return out;
}

std::optional<BigInt> finite_value_count(const Schema& node) {
    switch (node->index()) {
        case KindIndex::Const:
            return BigInt(1);
        case KindIndex::Enum:
            return BigInt(static_cast<unsigned long>(node->as<kind::Enum>()->values.size()));
        case KindIndex::MultiType: {
            const auto t = node->as<kind::MultiType>()->types;
            const auto null_bool = JsonTypeSet(JsonType::Null).with(JsonType::Boolean);
            if (t == JsonTypeSet(JsonType::Null)) return BigInt(1);
            if (t == JsonTypeSet(JsonType::Boolean)) return BigInt(2);
            if (t == null_bool) return BigInt(3);
            return std::nullopt;
        }
        case KindIndex::Integer: {
            const auto& b = node->as<kind::Integer>()->leaf.bounds;
            if (b.minimum && b.maximum) return BigInt(*b.maximum - *b.minimum + 1);
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

bool bounds_contain_count(const Bounds& window, const BigInt& count) {
    return (!window.minimum || *window.minimum <= count) && (!window.maximum || count <= *window.maximum);
}

void restrict_array_leaf(ArrayLeaf& leaf, const BigInt& n) {
    if (!leaf.lengths.maximum || *leaf.lengths.maximum > n) leaf.lengths.maximum = n;
    const BigInt& max = *leaf.lengths.maximum;
    if (sgn(max) <= 0)
        leaf.prefix.clear();
    else if (max < BigInt(static_cast<unsigned long>(leaf.prefix.size())))
        leaf.prefix.erase(leaf.prefix.begin() + static_cast<std::ptrdiff_t>(max.get_ui()), leaf.prefix.end());
    leaf.items.reset();
}

}  // namespace deririrore::canonical
