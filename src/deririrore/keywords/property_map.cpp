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

LargePropertyMap::LargePropertyMap() : seeds_(fresh_hash_seeds()) {}

void LargePropertyMap::place(std::uint32_t position) {
    const DeclaredProperty& e = entries_[position];
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = static_cast<std::size_t>(seeded_name_hash(e.key.text, e.key.words, seeds_)) & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = position + 1;
}

void LargePropertyMap::add(std::string name, const SchemaNode* node) {
    // A repeated name keeps its first entry for lookups, as the map it replaces did.
    if (find(name) != nullptr) {
        entries_.push_back(DeclaredProperty{make_fast_string_key(std::move(name)), node});
        return;
    }
    entries_.push_back(DeclaredProperty{make_fast_string_key(std::move(name)), node});
    if (entries_.size() * 2 > slots_.size()) {
        slots_.assign(std::max<std::size_t>(32, std::bit_ceil(entries_.size() * 4)), 0);
        for (std::uint32_t p = 0; p < entries_.size(); ++p) place(p);
    } else {
        place(static_cast<std::uint32_t>(entries_.size() - 1));
    }
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
