#include "deririrore/core/keyword.hpp"

#include <algorithm>
#include <functional>
#include <mutex>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/core/node.hpp"

namespace deririrore::core {

namespace {
std::size_t mix(std::size_t a, std::size_t b) noexcept {
    // Boost-style combination; keys are addresses and small counters.
    return a ^ (b + 0x9e3779b97f4a7c15ull + (a << 6) + (a >> 2));
}
}  // namespace

std::size_t EvaluatedMemo::KeyHash::operator()(const Key& k) const noexcept {
    return mix(mix(std::hash<const void*>{}(k.collection), std::hash<const void*>{}(k.instance)), k.tag);
}

std::size_t ValidationContext::memo_index(const void* content, const Value* instance) const noexcept {
    const auto a = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(content));
    const auto b = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(instance));
    const unsigned __int128 p = static_cast<unsigned __int128>(a ^ 0x9e3779b97f4a7c15ull) * (b ^ 0xc2b2ae3d27d4eb4full);
    return static_cast<std::size_t>(static_cast<std::uint64_t>(p) ^ static_cast<std::uint64_t>(p >> 64)) &
           (memo_.size() - 1);
}

std::optional<bool> ValidationContext::memo_get(const void* content, const Value* instance) const {
    if (memo_used_ == 0) return std::nullopt;
    const std::size_t mask = memo_.size() - 1;
    for (std::size_t i = memo_index(content, instance);; i = (i + 1) & mask) {
        const MemoSlot& slot = memo_[i];
        if (slot.content == nullptr) return std::nullopt;
        if (slot.content == content && slot.instance == instance) return slot.valid;
    }
}

void ValidationContext::memo_put(const void* content, const Value* instance, bool valid) {
    if ((memo_used_ + 1) * 2 > memo_.size()) {
        std::vector<MemoSlot> old(std::max<std::size_t>(64, memo_.size() * 2), MemoSlot{nullptr, nullptr, false});
        old.swap(memo_);
        memo_used_ = 0;
        for (const MemoSlot& slot : old) {
            if (slot.content != nullptr) memo_put(slot.content, slot.instance, slot.valid);
        }
    }
    const std::size_t mask = memo_.size() - 1;
    for (std::size_t i = memo_index(content, instance);; i = (i + 1) & mask) {
        MemoSlot& slot = memo_[i];
        if (slot.content == nullptr) {
            slot = MemoSlot{content, instance, valid};
            ++memo_used_;
            return;
        }
        if (slot.content == content && slot.instance == instance) {
            slot.valid = valid;
            return;
        }
    }
}

template <class K>
std::size_t EvaluationContext::PairHash::operator()(const K& k) const noexcept {
    if constexpr (std::is_same_v<K, PathKey>) {
        return mix(std::hash<std::uint64_t>{}(k.hop), std::hash<const void*>{}(k.keyword));
    } else {
        return mix(std::hash<std::uint64_t>{}(k.parent), std::hash<const void*>{}(k.reference));
    }
}

std::uint64_t EvaluationContext::hop_identity(const RefChain& hop) {
    if (hop.memo_id != 0) return hop.memo_id;
    if (!hops_) hops_ = std::make_unique<std::unordered_map<HopKey, std::uint64_t, PairHash>>();
    // Outermost hops without an identity are numbered first.
    std::vector<const RefChain*> missing;
    for (const RefChain* h = &hop; h != nullptr && h->memo_id == 0; h = h->parent) missing.push_back(h);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const RefChain* h = *it;
        std::uint64_t parent = h->parent != nullptr ? h->parent->memo_id : 0;
        HopKey key{parent, h->reference_location->data()};
        auto found = hops_->find(key);
        if (found == hops_->end()) found = hops_->emplace(key, hops_->size() + 1).first;
        h->memo_id = found->second;
    }
    return hop.memo_id;
}

Location EvaluationContext::evaluation_path_for(const RefChain& hop, const Location& keyword) {
    if (counter_ != 0xFFFFFFFFu) ++counter_;
    auto compute = [&] { return join_locations(resolve_ref_chain_location(hop), strip_target_base(hop, keyword)); };
    if (counter_ < 4096) return compute();
    if (!memo_) memo_ = std::make_unique<std::unordered_map<PathKey, Location, PairHash>>();
    PathKey key{hop_identity(hop), keyword.data()};
    auto it = memo_->find(key);
    if (it != memo_->end()) return it->second;
    Location out = compute();
    memo_->emplace(key, out);
    return out;
}

Location JoinedLocationCache::join(const Location& prefix, const Location& keyword) {
    if (prefix.empty()) return keyword;
    {
        std::shared_lock lock(mutex_);
        if (auto outer = joined_.find(prefix.view()); outer != joined_.end()) {
            if (auto inner = outer->second.find(keyword.view()); inner != outer->second.end()) return inner->second;
        }
    }
    Location joined = join_locations(prefix, keyword.view());
    std::unique_lock lock(mutex_);
    auto outer = joined_.find(prefix.view());
    if (outer == joined_.end()) outer = joined_.emplace(prefix.str(), Inner{}).first;
    return outer->second.emplace(keyword.str(), joined).first->second;
}

void KeywordValidator::iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                                   ValidationContext& ctx, ErrorSink& sink) const {
    if (auto error = validate(instance, instance_path, chain, ctx)) sink.push_back(std::move(*error));
}

EvaluationResult KeywordValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                               const Location&, const RefChain* chain, EvaluationContext& ctx) const {
    return evaluate(instance, instance_path, chain, ctx);
}

EvaluationResult KeywordValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, EvaluationContext& ctx) const {
    ErrorSink errors;
    iter_errors(instance, instance_path, chain, ctx, errors);
    if (errors.empty()) return EvaluationResult::empty_valid();
    return EvaluationResult::invalid(collect_error_descriptions(errors));
}

std::uint32_t EvaluationOutput::push(EvaluationNode node) {
    if (total_ >= 0xFFFFFFFFull) throw InternalError("evaluation exceeded u32 nodes");
    if (total_ % kChunk == 0) {
        chunks_.emplace_back();
        chunks_.back().reserve(kChunk);
    }
    if (chunks_.empty()) throw InternalError("a chunk was just reserved");
    chunks_.back().push_back(std::move(node));
    return static_cast<std::uint32_t>(total_++);
}

const EvaluationNode& EvaluationOutput::at(std::uint32_t id) const {
    if (id >= total_) throw InternalError("evaluation node id outside the arena");
    return chunks_[id / kChunk][id % kChunk];
}

EvaluationNode& EvaluationOutput::at(std::uint32_t id) {
    if (id >= total_) throw InternalError("evaluation node id outside the arena");
    return chunks_[id / kChunk][id % kChunk];
}

EvaluationNode build_failed_output_unit(const LazyLocation& instance_path, const RefChain* chain,
                                        const Location& keyword, const AbsoluteLocation& absolute,
                                        ErrorDescription description, EvaluationContext& ctx) {
    EvaluationNode node;
    node.errors.push_back(std::move(description));
    node.evaluation_path = evaluation_path_for(ctx, chain, keyword);
    node.resolved_location = absolute ? Location(*absolute) : keyword;
    node.instance_location = location_from_lazy(instance_path);
    node.absolute_location = absolute;
    node.valid = false;
    return node;
}

}  // namespace deririrore::core
