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

std::optional<Schema> memo_find(CanonicalContext& context, const Schema& a, const Schema& b, uint64_t key) {
    auto it = context.intersection_memo.find(key);
    if (it == context.intersection_memo.end()) return std::nullopt;
    for (const auto& [pair, result] : it->second)
        if (schema_eq(pair.first, a) && schema_eq(pair.second, b)) return result;
    return std::nullopt;
}

constexpr uint8_t kInteger = static_cast<uint8_t>(JsonType::Integer);
constexpr uint8_t kNumber = static_cast<uint8_t>(JsonType::Number);

[[noreturn]] void internal_stop(const char* what, const Schema& node) {
    throw InternalError(std::string(what) + ": " + debug_string(node));
}

uint8_t widen(uint8_t bits) { return (bits & kNumber) ? static_cast<uint8_t>(bits | kInteger) : bits; }

uint8_t value_type(const value::Value& v) {
    switch (v.kind()) {
        case value::ValueKind::Null:
            return static_cast<uint8_t>(JsonType::Null);
        case value::ValueKind::Boolean:
            return static_cast<uint8_t>(JsonType::Boolean);
        case value::ValueKind::Number:
            return value::is_integer_text(v.number_text()) ? static_cast<uint8_t>(kInteger | kNumber) : kNumber;
        case value::ValueKind::String:
            return static_cast<uint8_t>(JsonType::String);
        case value::ValueKind::Array:
            return static_cast<uint8_t>(JsonType::Array);
        case value::ValueKind::Object:
            return static_cast<uint8_t>(JsonType::Object);
    }
    return 0;
}

// The JSON types a node's values can have (integer inside number), when the
// kind alone tells.
std::optional<uint8_t> type_domain(const Schema& s) {
    switch (s->index()) {
        case KindIndex::MultiType:
            return widen(s->as<kind::MultiType>()->types.bits());
        case KindIndex::TypedGroup:
            return widen(static_cast<uint8_t>(s->as<kind::TypedGroup>()->ty));
        case KindIndex::String:
            return static_cast<uint8_t>(JsonType::String);
        case KindIndex::Integer:
            return kInteger;
        case KindIndex::Number:
            return static_cast<uint8_t>(kInteger | kNumber);
        case KindIndex::Array:
            return static_cast<uint8_t>(JsonType::Array);
        case KindIndex::Object:
            return static_cast<uint8_t>(JsonType::Object);
        case KindIndex::Const:
            return value_type(*s->as<kind::Const>()->value);
        case KindIndex::Enum: {
            uint8_t bits = 0;
            for (const auto& v : s->as<kind::Enum>()->values) bits |= value_type(*v);
            return bits;
        }
        default:
            return std::nullopt;
    }
}

// Exact answers from the types alone: disjoint domains meet in nothing, and a
// type set takes in every node whose domain it covers.
std::optional<Schema> intersect_by_types(const Schema& a, const Schema& b) {
    const auto da = type_domain(a);
    const auto db = type_domain(b);
    if (!da || !db) return std::nullopt;
    if ((*da & *db) == 0) return false_schema();
    const auto* ma = a->as<kind::MultiType>();
    const auto* mb = b->as<kind::MultiType>();
    // The number bit survives only when both sets name number, so the widened sets meet exactly.
    if (ma && mb) return schema_from_type_mask(JsonTypeSet::from_bits(static_cast<uint8_t>(*da & *db)));
    if (ma && (*db & ~*da) == 0) return b;
    if (mb && (*da & ~*db) == 0) return a;
    return std::nullopt;
}

}  // namespace

Schema intersect(const Schema& a_in, const Schema& b_in, CanonicalContext& context) {
    if (context.intersection_budget == 0) {
        context.exhausted = true;
        return true_schema();
    }
    --context.intersection_budget;
    Schema a = deref_schema(a_in, context);
    Schema b = deref_schema(b_in, context);
    if (is_false(a) || is_false(b)) return false_schema();
    if (is_true(a)) return b;
    if (is_true(b)) return a;
    if (a.same(b) || schema_eq(a, b)) return a;
    if (b->hash < a->hash) std::swap(a, b);
    const uint64_t key = a->hash ^ (b->hash * 0x9e3779b97f4a7c15ULL);
    if (auto hit = memo_find(context, a, b, key)) return *hit;

    Schema result = a;
    const auto* ca = a->as<kind::Const>();
    const auto* cb = b->as<kind::Const>();
    if (auto typed = intersect_by_types(a, b)) {
        result = *typed;
    } else if (ca || cb) {
        const Schema& constant = ca ? a : b;
        const Schema& other = ca ? b : a;
        switch (evaluate_canonical_value(other, *constant->as<kind::Const>()->value, context)) {
            case Admission::Accepted:
                result = constant;
                break;
            case Admission::Rejected:
                result = false_schema();
                break;
            case Admission::Undecided: {
                std::vector<Schema> both{a, b};
                sort_schemas(both);
                result = make_schema(kind::AllOf{std::move(both)});
                break;
            }
        }
    } else {
        std::vector<Schema> both{a, b};
        sort_schemas(both);
        result = make_schema(kind::AllOf{std::move(both)});
    }
    if (context.intersection_memo_size < kIntersectionMemoCap) {
        context.intersection_memo[key].push_back({{a, b}, result});
        ++context.intersection_memo_size;
    }
    return result;
}

Schema typed_group(JsonType ty, Schema body) {
    if (is_false(body)) return body;
    return make_schema(kind::TypedGroup{ty, std::move(body)});
}

Schema integer_leaf_node(IntegerLeaf leaf, CanonicalContext&) {
    const auto& b = leaf.bounds;
    if (b.minimum && b.maximum && *b.minimum > *b.maximum) return false_schema();
    return make_schema(kind::Integer{std::move(leaf)});
}

Schema number_leaf_node(NumberLeaf leaf, CanonicalContext&) { return make_schema(kind::Number{std::move(leaf)}); }

Schema string_leaf_node(StringLeaf leaf, CanonicalContext&) {
    const auto& b = leaf.lengths;
    if (b.minimum && b.maximum && *b.minimum > *b.maximum) return false_schema();
    return make_schema(kind::String{std::move(leaf)});
}

Schema object_leaf_node(ObjectLeaf leaf, CanonicalContext&) {
    if (leaf.sizes.minimum && leaf.sizes.maximum && *leaf.sizes.minimum > *leaf.sizes.maximum) return false_schema();
    return make_schema(kind::Object{std::move(leaf)});
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

Schema value_set_by_type(std::vector<CanonicalJson> values, JsonTypeSet types, CanonicalContext&) {
    const uint8_t admitted = widen(types.bits());
    std::erase_if(values, [&](const CanonicalJson& v) { return (value_type(*v) & admitted) == 0; });
    return schema_from_value_set(std::move(values));
}

CanonicalJson shared_canonical_json(const value::Value& v) { return std::make_shared<const value::Value>(v); }

Schema union_of(std::vector<Schema> branches, CanonicalContext&) {
    std::erase_if(branches, [](const Schema& s) { return is_false(s); });
    for (const auto& s : branches)
        if (is_true(s)) return s;
    sort_schemas(branches);
    branches.erase(std::unique(branches.begin(), branches.end(),
                               [](const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }),
                   branches.end());
    if (branches.empty()) return false_schema();
    if (branches.size() == 1) return branches[0];
    return make_schema(kind::AnyOf{std::move(branches)});
}

std::optional<Schema> complement_node(const Schema&, const TargetTable&, CanonicalContext&) { return std::nullopt; }

std::optional<Schema> complement_node(const Schema& node, CanonicalContext& context) {
    static const TargetTable empty;
    return complement_node(node, context.targets ? *context.targets : empty, context);
}

std::optional<Schema> one_of_node(std::vector<Schema>, const TargetTable&, CanonicalContext&) { return std::nullopt; }

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

bool branches_pairwise_disjoint(const std::vector<Schema>&, const std::vector<Schema>& resolved,
                                CanonicalContext& context) {
    for (std::size_t i = 0; i < resolved.size(); ++i) {
        for (std::size_t j = i + 1; j < resolved.size(); ++j) {
            const bool saved = context.exhausted;
            context.exhausted = false;
            const bool empty = is_false(intersect(resolved[i], resolved[j], context));
            const bool raised = context.exhausted;
            context.exhausted = saved || raised;
            if (!empty || raised || context.intersection_budget == 0) return false;
        }
    }
    return true;
}

bool one_of_branches_disjoint(const std::vector<Schema>& branches, const TargetTable& targets,
                              CanonicalContext& context) {
    bool unresolved = false;
    auto resolved = resolve_branch_references(branches, targets, nullptr, unresolved);
    return resolved && branches_pairwise_disjoint(branches, *resolved, context);
}

std::vector<SharedPattern> compile_patterns(const std::vector<SharedString>& texts, CanonicalContext& context) {
    std::vector<SharedPattern> out;
    out.reserve(texts.size());
    for (const auto& t : texts) out.push_back(lookup_compiled_pattern(context, *t));
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
