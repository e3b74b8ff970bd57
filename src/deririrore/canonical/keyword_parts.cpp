#include <utility>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/parse.hpp"
#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

using value::Value;

CauseChain::CauseChain(const CauseChain& other) : object(other.object), group(other.group) {
    // Links are copied in a loop: a chain is as long as the nesting it records.
    std::unique_ptr<CauseChain>* tail = &next;
    for (const CauseChain* link = other.next.get(); link != nullptr; link = link->next.get()) {
        *tail = std::make_unique<CauseChain>(link->object, nullptr, link->group);
        tail = &(*tail)->next;
    }
}

CauseChain& CauseChain::operator=(const CauseChain& other) {
    if (this != &other) *this = CauseChain(other);
    return *this;
}

CauseChain::~CauseChain() {
    std::unique_ptr<CauseChain> rest = std::move(next);
    while (rest) rest = std::move(rest->next);
}

namespace {

struct Candidate {
    Schema node;
    ValueId object = nullptr;
    std::unique_ptr<CauseChain> next;
    CauseGroup group = 0;

    Candidate(Schema n, ValueId o, std::unique_ptr<CauseChain> l, CauseGroup g)
        : node(std::move(n)), object(o), next(std::move(l)), group(g) {}
    Candidate(const Candidate& other)
        : node(other.node),
          object(other.object),
          next(other.next ? std::make_unique<CauseChain>(*other.next) : nullptr),
          group(other.group) {}
    Candidate(Candidate&&) noexcept = default;
    Candidate& operator=(Candidate&&) noexcept = default;
    Candidate& operator=(const Candidate& other) {
        if (this != &other) *this = Candidate(other);
        return *this;
    }
    CauseChain chain() const { return CauseChain(object, next ? std::make_unique<CauseChain>(*next) : nullptr, group); }
};

// One speculative intersection: spends the budget like any other, so the
// search stays bounded, but leaves the exhausted flag as it found it. A spent
// budget answers True, so no conflict is claimed that was not computed.
bool conflicts(const Schema& a, const Schema& b, CanonicalContext& context) {
    const bool exhausted = context.exhausted;
    context.exhausted = false;
    const bool empty = is_false(intersect(a, b, context));
    const bool spent = context.exhausted;
    context.exhausted = exhausted;
    return empty && !spent;
}

const KeywordParts* sub_parts(const Candidate& c, const std::unordered_map<ValueId, KeywordParts>& parts_by_object,
                              const std::map<std::string, ValueId, std::less<>>& target_values, ValueId& owner) {
    if (c.group == cause_group::kAllOfBranch) {
        if (auto it = parts_by_object.find(c.object); it != parts_by_object.end()) {
            owner = c.object;
            return &it->second;
        }
    }
    if (c.group == cause_group::kAllOfBranch || c.group == cause_group::kReference) {
        if (const auto* ref = c.node->as<kind::Reference>()) {
            if (auto t = target_values.find(*ref->name); t != target_values.end()) {
                if (auto it = parts_by_object.find(t->second); it != parts_by_object.end()) {
                    owner = t->second;
                    return &it->second;
                }
            }
        }
    }
    return nullptr;
}

std::vector<Candidate> expand(const Candidate& c, const std::unordered_map<ValueId, KeywordParts>& parts_by_object,
                              const std::map<std::string, ValueId, std::less<>>& target_values) {
    ValueId owner = nullptr;
    const KeywordParts* parts = sub_parts(c, parts_by_object, target_values, owner);
    std::vector<Candidate> out;
    if (parts == nullptr) {
        out.push_back(c);
        return out;
    }
    for (const KeywordPart& part : *parts) {
        if (is_true(part.node)) continue;
        if (part.group == cause_group::kAllOfItem) {
            Candidate same = c;
            same.node = part.node;
            out.push_back(std::move(same));
        } else {
            auto link = std::make_unique<CauseChain>(c.object, c.next ? std::make_unique<CauseChain>(*c.next) : nullptr,
                                                     c.group);
            out.emplace_back(part.node, owner, std::move(link), part.group);
        }
    }
    return out;
}

}  // namespace

PendingCauses find_unsatisfiable_causes(const Value& object, const KeywordParts& parts, CanonicalContext& context,
                                        const std::unordered_map<ValueId, KeywordParts>& parts_by_object,
                                        const std::map<std::string, ValueId, std::less<>>& target_values) {
    const Value* all_of = object.find("allOf");
    if (all_of != nullptr && !all_of->is_array()) all_of = nullptr;
    std::size_t next_item = 0;
    std::vector<Candidate> candidates;
    for (const KeywordPart& part : parts) {
        ValueId owner = &object;
        CauseGroup group = part.group;
        if (part.group == cause_group::kAllOfItem) {
            if (all_of == nullptr || next_item >= all_of->as_array().size())
                throw InternalError("a branch part comes from `allOf`");
            owner = &all_of->as_array()[next_item++];
            group = cause_group::kAllOfBranch;
        }
        if (is_true(part.node)) continue;
        if (is_false(part.node)) return PendingCauses::one(CauseChain(owner, nullptr, group));
        candidates.emplace_back(part.node, owner, nullptr, group);
    }
    const std::size_t n = candidates.size();
    for (std::size_t last = n; last-- > 1;) {
        for (std::size_t first = 0; first < last; ++first) {
            if (!conflicts(candidates[first].node, candidates[last].node, context)) continue;
            Candidate left = candidates[first];
            Candidate right = candidates[last];
            const auto lefts = expand(left, parts_by_object, target_values);
            const auto rights = expand(right, parts_by_object, target_values);
            bool refined = false;
            for (const Candidate& a : lefts) {
                for (const Candidate& b : rights) {
                    if (conflicts(a.node, b.node, context)) {
                        left = a;
                        right = b;
                        refined = true;
                        break;
                    }
                }
                if (refined) break;
            }
            std::vector<CauseChain> pair;
            pair.push_back(left.chain());
            pair.push_back(right.chain());
            return PendingCauses::list(std::move(pair));
        }
    }
    std::vector<CauseChain> all;
    all.reserve(n);
    for (const Candidate& c : candidates) all.push_back(c.chain());
    return PendingCauses::list(std::move(all));
}

Schema fold_parts_plain(const KeywordParts& parts, Schema base, CanonicalContext& context) {
    Schema running = std::move(base);
    for (const KeywordPart& part : parts) running = intersect(running, part.node, context);
    return running;
}

Schema fold_parts(const Value& object, Schema base, KeywordParts parts, bool keep, CanonicalContext& context,
                  ParseTracker& tracker) {
    KeywordParts list;
    list.reserve(parts.size() + 1);
    list.push_back(KeywordPart{cause_group::kTypeValues, base});
    bool found = false;
    if (is_false(base)) {
        tracker.pending = PendingCauses::one(CauseChain(&object, nullptr, cause_group::kTypeValues));
        found = true;
    }
    Schema running = std::move(base);
    for (KeywordPart& part : parts) {
        running = intersect(running, part.node, context);
        list.push_back(std::move(part));
        if (!found && is_false(running)) {
            found = true;
            tracker.pending =
                find_unsatisfiable_causes(object, list, context, tracker.parts_by_object, tracker.target_values);
        }
    }
    record_parts(tracker, &object, std::move(list), running, keep);
    return running;
}

void record_parts(ParseTracker& tracker, ValueId object, KeywordParts parts, const Schema& node, bool keep) {
    if (!is_false(node) && contains_reference(node)) {
        tracker.reference_dependent.emplace_back(object, node);
    } else if (!keep) {
        return;
    }
    tracker.parts_by_object.insert_or_assign(object, std::move(parts));
}

void finish_reference_with_siblings(ParseTracker& tracker, const Value& object, ValueId copy, const Schema& reference,
                                    const Schema& combined, bool keep, CanonicalContext& context) {
    if (copy != &object) tracker.reasons.erase(copy);
    KeywordParts list;
    list.push_back(KeywordPart{cause_group::kReference, reference});
    auto kept = tracker.parts_by_object.find(copy);
    if (kept == tracker.parts_by_object.end()) throw InternalError("the sibling parse kept its parts");
    for (KeywordPart& part : kept->second) list.push_back(std::move(part));
    tracker.parts_by_object.erase(kept);
    if (is_false(combined))
        tracker.pending =
            find_unsatisfiable_causes(object, list, context, tracker.parts_by_object, tracker.target_values);
    record_parts(tracker, &object, std::move(list), combined, keep);
}

void rekey_object_records(ParseTracker& tracker, ValueId copy, ValueId object) {
    if (tracker.suppress) return;
    auto rekey = [&](CauseChain& chain) {
        for (CauseChain* link = &chain; link != nullptr; link = link->next.get())
            if (link->object == copy) link->object = object;
    };
    if (auto* one = std::get_if<CauseChain>(&tracker.pending.data)) rekey(*one);
    if (auto* list = std::get_if<std::vector<CauseChain>>(&tracker.pending.data))
        for (CauseChain& chain : *list) rekey(chain);
    if (auto kept = tracker.parts_by_object.find(copy); kept != tracker.parts_by_object.end()) {
        KeywordParts parts = std::move(kept->second);
        tracker.parts_by_object.erase(kept);
        tracker.parts_by_object.insert_or_assign(object, std::move(parts));
    }
}

}  // namespace deririrore::canonical
