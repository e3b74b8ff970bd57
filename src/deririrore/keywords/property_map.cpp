#include "deririrore/keywords/property_map.hpp"

#include <algorithm>
#include <atomic>
#include <bit>

namespace deririrore::keywords {

value::HashSeeds fresh_hash_seeds() noexcept {
    static std::atomic<std::uint64_t> counter{0};
    const std::uint64_t n = counter.fetch_add(1, std::memory_order_relaxed) + 1;
    const value::HashSeeds& base = value::process_hash_seeds();
    value::Hasher h(base);
    h.write_u64(n);
    const std::uint64_t k0 = h.finish();
    h.write_u64(k0);
    return value::HashSeeds{k0, h.finish() ^ base.k1};
}

namespace {

// Slots for `count` keys: at least four per key, so that growing by one rarely rebuilds.
std::size_t slot_count_for(std::size_t count) { return std::max<std::size_t>(32, std::bit_ceil(count * 4)); }

// Gives the last of `count` keys its slot, or places every key afresh in a larger table when one
// more would leave it over half full. `key_at(p)` is the key at position p.
template <class KeyAt>
void place_last_key(std::vector<std::uint32_t>& slots, const value::HashSeeds& seeds, std::size_t count,
                    KeyAt&& key_at) {
    if (count * 2 > slots.size()) {
        slots.assign(slot_count_for(count), 0);
        for (std::uint32_t p = 0; p < count; ++p) place_name_slot(slots, seeds, key_at(p), p);
    } else {
        place_name_slot(slots, seeds, key_at(count - 1), static_cast<std::uint32_t>(count - 1));
    }
}

}  // namespace

NameSet::NameSet() : seeds_(fresh_hash_seeds()) {}

void NameSet::insert(std::string name) {
    if (contains(name)) return;
    keys_.push_back(make_fast_string_key(std::move(name)));
    place_last_key(slots_, seeds_, keys_.size(), [&](std::size_t p) -> const FastStringKey& { return keys_[p]; });
}

LargePropertyMap::LargePropertyMap() : seeds_(fresh_hash_seeds()) {}

void LargePropertyMap::add(std::string name, const SchemaNode* node) {
    // A repeated name keeps its first entry for lookups, as the map it replaces did.
    const bool repeated = find(name) != nullptr;
    entries_.push_back(DeclaredProperty{make_fast_string_key(std::move(name)), node, SubschemaCall(node)});
    if (repeated) return;
    place_last_key(slots_, seeds_, entries_.size(),
                   [&](std::size_t p) -> const FastStringKey& { return entries_[p].key; });
}

namespace {

template <class Map>
Result<Map, ValidationError> build_property_map(const CompileContext& ctx, const Value& properties) {
    const auto& members = properties.as_object();
    const CompileContext keyword_ctx = ctx.at_keyword("properties");
    Map map;
    map.reserve(members.size());
    for (const auto& m : members) {
        auto node = core::compile_subschema(keyword_ctx.at_keyword(m.key), m.value);
        if (!node) return make_unexpected(std::move(node).error());
        map.add(m.key, *node);
    }
    return map;
}

}  // namespace

Result<SmallPropertyMap, ValidationError> build_small_property_map(const CompileContext& ctx,
                                                                   const Value& properties) {
    return build_property_map<SmallPropertyMap>(ctx, properties);
}

Result<LargePropertyMap, ValidationError> build_large_property_map(const CompileContext& ctx,
                                                                   const Value& properties) {
    return build_property_map<LargePropertyMap>(ctx, properties);
}

}  // namespace deririrore::keywords
