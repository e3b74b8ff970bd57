// Intersection of canonical nodes: paid for from the context's budget,
// memoised per unordered pair with the exhausted flag its computation raised,
// and dispatched on the two kinds. A pair met again while it is still being
// computed (mutually recursive references) is answered by the opaque
// conjunction of its operands, which says exactly the same.
#include "deririrore/canonical/intersection.hpp"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/array_node.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::canonical {

namespace {

// Distinct parts one opaque conjunction may gather before it answers wider.
constexpr std::size_t kMaxConjoinedParts = 4096;

constexpr uint8_t kNullBit = 1;
constexpr uint8_t kIntegerBit = 4;
constexpr uint8_t kNumberBit = 8;
constexpr uint8_t kStringBit = 16;
constexpr uint8_t kArrayBit = 32;
constexpr uint8_t kObjectBit = 64;

bool same_node(const Schema& a, const Schema& b) { return a.same(b) || schema_eq(a, b); }

bool is_reference(const Schema& s) { return s->index() == KindIndex::Reference; }

uint64_t memo_key(const Schema& first, const Schema& second) {
    uint64_t h = first->hash * 0x9e3779b97f4a7c15ULL;
    h ^= second->hash + 0x7f4a7c159e3779b9ULL + (h << 6) + (h >> 2);
    return h;
}

// The key order: smaller hash first, equal hashes by the node order.
bool key_swapped(const Schema& a, const Schema& b) {
    if (a->hash != b->hash) return b->hash < a->hash;
    if (a.same(b)) return false;
    return compare_canonical_nodes(b, a) < 0;
}

const IntersectionMemoEntry* memo_find(const IntersectionMemo& memo, uint64_t key, const Schema& first,
                                       const Schema& second) {
    auto it = memo.entries.find(key);
    if (it == memo.entries.end()) return nullptr;
    for (const auto& e : it->second)
        if (same_node(e.first, first) && same_node(e.second, second)) return &e;
    return nullptr;
}

void memo_store(IntersectionMemo& memo, uint64_t key, const Schema& first, const Schema& second, const Schema& result,
                bool raised) {
    auto& bucket = memo.entries[key];
    for (auto& e : bucket)
        if (same_node(e.first, first) && same_node(e.second, second)) {
            e.result = result;
            e.raised = raised;
            return;
        }
    if (memo.size >= kIntersectionMemoCap) return;
    bucket.push_back({first, second, result, raised});
    ++memo.size;
}

bool in_progress(const IntersectionMemo& memo, const Schema& a, const Schema& b) {
    for (const auto& [x, y] : memo.in_progress)
        if ((x.same(a) && y.same(b)) || (x.same(b) && y.same(a))) return true;
    return false;
}

[[noreturn]] void unreachable(const std::string& what) {
    throw InternalError("internal error: unreachable state in the intersection: " + what);
}

Schema union_of_intersections(const std::vector<Schema>& members, const Schema& other, CanonicalContext& context) {
    std::vector<Schema> parts;
    parts.reserve(members.size());
    for (const auto& m : members) parts.push_back(intersect(m, other, context));
    return union_of(std::move(parts), context);
}

Schema conjoin_opaque(const Schema& a, const Schema& b, CanonicalContext& context) {
    Schema result = true_schema();
    std::vector<Schema> opaque;
    std::vector<Schema> work{a, b};
    // A conjunction is idempotent, so a part shared along many paths is met once.
    std::unordered_set<const SchemaData*> seen;
    while (!work.empty()) {
        Schema x = std::move(work.back());
        work.pop_back();
        if (!seen.insert(x.get()).second) continue;
        if (seen.size() > kMaxConjoinedParts) {
            context.exhausted = true;
            return true_schema();
        }
        switch (x->index()) {
            case KindIndex::AllOf:
                for (const auto& m : x->as<kind::AllOf>()->branches) work.push_back(m);
                break;
            case KindIndex::Not:
            case KindIndex::OneOf:
            case KindIndex::Reference:
                opaque.push_back(std::move(x));
                break;
            // Parts no well-formed conjunction holds still get a sound answer:
            // True adds nothing, False empties it, and a part kept as written
            // is left out with the result flagged as wider than the truth.
            case KindIndex::True:
                break;
            case KindIndex::False:
                return x;
            case KindIndex::Raw:
                context.exhausted = true;
                break;
            default:
                result = intersect(result, x, context);
                if (is_false(result)) return result;
        }
    }
    if (is_true(result)) return all_of_from_parts(std::move(opaque));
    for (const auto& part : opaque) {
        const auto* one_of = part->as<kind::OneOf>();
        if (!one_of) continue;
        const bool saved = context.exhausted;
        context.exhausted = false;
        bool all_empty = true;
        for (const auto& branch : one_of->branches) {
            if (!is_false(intersect(branch, result, context))) {
                all_empty = false;
                break;
            }
        }
        const bool raised = context.exhausted;
        context.exhausted = saved;
        if (all_empty && !raised && context.intersection_budget != 0) return false_schema();
    }
    if (const auto* any = result->as<kind::AnyOf>()) {
        std::vector<Schema> alternatives;
        for (const auto& m : any->branches) {
            std::vector<Schema> parts = opaque;
            parts.push_back(m);
            alternatives.push_back(all_of_from_parts(std::move(parts)));
        }
        return union_of(std::move(alternatives), context);
    }
    opaque.push_back(std::move(result));
    return all_of_from_parts(std::move(opaque));
}

// Values met with an opaque node: when the value tests settle every value,
// the kept values say exactly what the conjunction would.
std::optional<Schema> decide_values_against_opaque(const Schema& a, const Schema& b, CanonicalContext& context) {
    const bool a_values = a->index() == KindIndex::Const || a->index() == KindIndex::Enum;
    const bool b_values = b->index() == KindIndex::Const || b->index() == KindIndex::Enum;
    if (a_values == b_values) return std::nullopt;
    const Schema& values = a_values ? a : b;
    const Schema& other = a_values ? b : a;
    std::vector<CanonicalJson> kept;
    for (const auto& v : value_set_members(values)) {
        switch (evaluate_canonical_value(other, *v, context)) {
            case Admission::Accepted:
                kept.push_back(v);
                break;
            case Admission::Rejected:
                break;
            case Admission::Undecided:
                return std::nullopt;
        }
    }
    return schema_from_value_set(std::move(kept));
}

Schema mask_meets_leaf(uint8_t mask, const Schema& leaf, CanonicalContext& context) {
    const uint8_t widened = widen_type_mask(mask);
    switch (leaf->index()) {
        case KindIndex::String:
            return (mask & kStringBit) ? string_leaf_node(leaf->as<kind::String>()->leaf, context) : false_schema();
        case KindIndex::Integer:
            return (widened & kIntegerBit) ? integer_leaf_node(leaf->as<kind::Integer>()->leaf, context)
                                           : false_schema();
        case KindIndex::Number: {
            const auto& l = leaf->as<kind::Number>()->leaf;
            if (mask & kNumberBit) return number_leaf_node(l, context);
            if (mask & kIntegerBit) return integer_node_from_number_leaf(l, context);
            return false_schema();
        }
        case KindIndex::Array:
            return (mask & kArrayBit) ? array_leaf_node(leaf->as<kind::Array>()->leaf, context) : false_schema();
        case KindIndex::Object:
            return (mask & kObjectBit) ? object_leaf_node(leaf->as<kind::Object>()->leaf, context) : false_schema();
        default:
            unreachable("a type mask meets " + debug_string(leaf));
    }
}

Schema group_meets_leaf(const kind::TypedGroup& group, const Schema& leaf) {
    const auto values = value_set_members(group.body);
    if (const auto* i = leaf->as<kind::Integer>())
        return typed_group(group.ty, schema_from_value_set(filter_values_by_integer_leaf(values, i->leaf)));
    return typed_group(group.ty,
                       schema_from_value_set(filter_values_by_number_leaf(values, leaf->as<kind::Number>()->leaf)));
}

bool kind_in(KindIndex k, std::initializer_list<KindIndex> ks) {
    return std::find(ks.begin(), ks.end(), k) != ks.end();
}

bool disjoint_leaf_kinds(KindIndex x, KindIndex y) {
    using K = KindIndex;
    if (x == K::String && kind_in(y, {K::TypedGroup, K::Integer, K::Number, K::Array, K::Object})) return true;
    if (kind_in(x, {K::Array, K::Object}) && kind_in(y, {K::TypedGroup, K::String, K::Integer, K::Number})) return true;
    return (x == K::Array && y == K::Object) || (x == K::Object && y == K::Array);
}

Schema dispatch(const Schema& a, const Schema& b, CanonicalContext& context) {
    using K = KindIndex;
    const K ka = a->index();
    const K kb = b->index();
    if (ka == K::False || kb == K::False) return false_schema();
    // A whole document kept as written says nothing the algebra can use: the
    // other side, flagged as wider than the truth, is the answer.
    if (ka == K::Raw || kb == K::Raw) {
        context.exhausted = true;
        return ka == K::Raw ? b : a;
    }
    if (ka == K::True || kb == K::True) unreachable("a True side reached the dispatch");
    if (disjoint_leaf_kinds(ka, kb) || disjoint_leaf_kinds(kb, ka)) return false_schema();
    if (ka == K::AnyOf && kb == K::AnyOf) {
        std::vector<Schema> parts;
        for (const auto& x : a->as<kind::AnyOf>()->branches)
            for (const auto& y : b->as<kind::AnyOf>()->branches) parts.push_back(intersect(x, y, context));
        return union_of(std::move(parts), context);
    }
    if (kb == K::AnyOf) {
        std::vector<Schema> parts;
        for (const auto& m : b->as<kind::AnyOf>()->branches) parts.push_back(intersect(m, a, context));
        return union_of(std::move(parts), context);
    }
    if (ka == K::Reference && kb == K::Reference && *a->as<kind::Reference>()->name == *b->as<kind::Reference>()->name)
        return a;
    if (ka == K::AnyOf) return union_of_intersections(a->as<kind::AnyOf>()->branches, b, context);
    if (kind_in(ka, {K::Not, K::AllOf, K::OneOf, K::Reference}) ||
        kind_in(kb, {K::Not, K::AllOf, K::OneOf, K::Reference})) {
        if (auto decided = decide_values_against_opaque(a, b, context)) return *decided;
        return conjoin_opaque(a, b, context);
    }
    if (ka == K::Const || ka == K::Enum) return intersect_value_set(value_set_members(a), b, context);
    if (kb == K::Const || kb == K::Enum) return intersect_value_set(value_set_members(b), a, context);
    if (ka == K::MultiType && kb == K::MultiType) {
        const uint8_t meet = widen_type_mask(a->as<kind::MultiType>()->types.bits()) &
                             widen_type_mask(b->as<kind::MultiType>()->types.bits());
        return meet == 0 ? false_schema() : schema_from_type_mask(JsonTypeSet::from_bits(meet));
    }
    if (ka == K::MultiType || kb == K::MultiType) {
        const Schema& mask_node = ka == K::MultiType ? a : b;
        const Schema& other = ka == K::MultiType ? b : a;
        const uint8_t mask = mask_node->as<kind::MultiType>()->types.bits();
        if (const auto* g = other->as<kind::TypedGroup>())
            return (widen_type_mask(mask) & static_cast<uint8_t>(g->ty)) ? other : false_schema();
        return mask_meets_leaf(mask, other, context);
    }
    if (ka == K::TypedGroup && kb == K::TypedGroup) {
        const auto* ga = a->as<kind::TypedGroup>();
        const auto* gb = b->as<kind::TypedGroup>();
        if (ga->ty != gb->ty) return false_schema();
        return typed_group(ga->ty, intersect(ga->body, gb->body, context));
    }
    if (ka == K::TypedGroup) return group_meets_leaf(*a->as<kind::TypedGroup>(), b);
    if (kb == K::TypedGroup) return group_meets_leaf(*b->as<kind::TypedGroup>(), a);
    if (ka == K::String && kb == K::String)
        return string_leaf_node(merge_string_leaves(a->as<kind::String>()->leaf, b->as<kind::String>()->leaf), context);
    if (ka == K::Integer && kb == K::Integer)
        return integer_leaf_node(merge_integer_leaves(a->as<kind::Integer>()->leaf, b->as<kind::Integer>()->leaf),
                                 context);
    if ((ka == K::Integer && kb == K::Number) || (ka == K::Number && kb == K::Integer)) {
        const Schema& integer = ka == K::Integer ? a : b;
        const Schema& number = ka == K::Integer ? b : a;
        return intersect(integer, integer_node_from_number_leaf(number->as<kind::Number>()->leaf, context), context);
    }
    if (ka == K::Number && kb == K::Number)
        return number_leaf_node(merge_number_leaves(a->as<kind::Number>()->leaf, b->as<kind::Number>()->leaf), context);
    if (ka == K::Array && kb == K::Array) {
        auto merged = merge_array_leaves(a->as<kind::Array>()->leaf, b->as<kind::Array>()->leaf, context);
        return merged ? array_leaf_node(std::move(*merged), context) : false_schema();
    }
    if (ka == K::Object && kb == K::Object)
        return object_leaf_node(merge_object_leaves(a->as<kind::Object>()->leaf, b->as<kind::Object>()->leaf, context),
                                context);
    unreachable("no rule for " + debug_string(a) + " and " + debug_string(b));
}

struct DerefRecord {
    std::optional<Schema> reference;
    Schema target;
};

Schema restore_references(Schema result, const DerefRecord& ra, const DerefRecord& rb) {
    if (is_true(result) || is_false(result)) return result;
    if (ra.reference && same_node(result, ra.target)) {
        if (rb.reference && same_node(result, rb.target) && compare_canonical_nodes(*ra.reference, *rb.reference) > 0)
            return *rb.reference;
        return *ra.reference;
    }
    if (rb.reference && same_node(result, rb.target)) return *rb.reference;
    return result;
}

// Leaves the nesting counter and the in-progress mark as they were on every way out.
class PairGuard {
public:
    PairGuard(IntersectionMemo& memo, const Schema& a, const Schema& b) : memo_(memo) {
        memo_.in_progress.emplace_back(a, b);
        ++memo_.depth;
    }
    ~PairGuard() {
        memo_.in_progress.pop_back();
        --memo_.depth;
    }
    PairGuard(const PairGuard&) = delete;
    PairGuard& operator=(const PairGuard&) = delete;

private:
    IntersectionMemo& memo_;
};

}  // namespace

uint8_t json_type_bit(const value::Value& v) {
    switch (v.kind()) {
        case value::ValueKind::Null:
            return kNullBit;
        case value::ValueKind::Boolean:
            return 2;
        case value::ValueKind::Number:
            return value::is_integer_text(v.number_text()) ? kIntegerBit : kNumberBit;
        case value::ValueKind::String:
            return kStringBit;
        case value::ValueKind::Array:
            return kArrayBit;
        case value::ValueKind::Object:
            return kObjectBit;
    }
    return 0;
}

uint8_t widen_type_mask(uint8_t bits) { return (bits & kNumberBit) ? static_cast<uint8_t>(bits | kIntegerBit) : bits; }

Schema all_of_from_parts(std::vector<Schema> parts) {
    for (const auto& p : parts)
        if (const auto* n = p->as<kind::Not>())
            for (const auto& q : parts)
                if (same_node(n->operand, q)) return false_schema();
    sort_schemas(parts);
    parts.erase(std::unique(parts.begin(), parts.end(), same_node), parts.end());
    if (parts.empty()) return true_schema();
    if (parts.size() == 1) return parts[0];
    return make_schema(kind::AllOf{std::move(parts)});
}

Schema intersect(const Schema& a_in, const Schema& b_in, CanonicalContext& context) {
    if (context.intersection_budget == 0) {
        context.exhausted = true;
        return true_schema();
    }
    --context.intersection_budget;
    IntersectionMemo& memo = context.intersections;
    if (memo.depth >= kMaxIntersectionDepth) {
        context.exhausted = true;
        return true_schema();
    }
    DerefRecord ra{std::nullopt, a_in};
    DerefRecord rb{std::nullopt, b_in};
    if ((is_reference(a_in) || is_reference(b_in)) && !same_node(a_in, b_in)) {
        if (is_reference(a_in)) {
            ra.reference = a_in;
            ra.target = deref_schema(a_in, context);
        }
        if (is_reference(b_in)) {
            rb.reference = b_in;
            rb.target = deref_schema(b_in, context);
        }
    }
    const Schema& a = ra.target;
    const Schema& b = rb.target;
    if (is_false(a)) return a;
    if (is_true(b)) return restore_references(a, ra, rb);
    if (is_true(a)) return restore_references(b, ra, rb);
    if (is_false(b)) return b;

    const bool swapped = key_swapped(a, b);
    const Schema& first = swapped ? b : a;
    const Schema& second = swapped ? a : b;
    const uint64_t key = memo_key(first, second);
    if (const auto* hit = memo_find(memo, key, first, second)) {
        if (hit->raised) context.exhausted = true;
        return restore_references(hit->result, ra, rb);
    }
    if (in_progress(memo, a, b)) {
        // The conjunction of the references is the very pair being computed, written opaquely.
        if (ra.reference || rb.reference) {
            const Schema& x = ra.reference ? *ra.reference : a;
            const Schema& y = rb.reference ? *rb.reference : b;
            return all_of_from_parts({x, y});
        }
        context.exhausted = true;
        return true_schema();
    }

    const bool saved = context.exhausted;
    context.exhausted = false;
    Schema result = true_schema();
    {
        PairGuard guard(memo, a, b);
        result = dispatch(a, b, context);
    }
    const bool raised = context.exhausted;
    context.exhausted = saved || raised;
    memo_store(memo, key, first, second, result, raised);
    return restore_references(std::move(result), ra, rb);
}

}  // namespace deririrore::canonical
