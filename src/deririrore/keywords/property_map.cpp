#include "deririrore/keywords/property_map.hpp"

#include <atomic>

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

LargePropertyMap::LargePropertyMap() : index_(0, SeededNameHash{fresh_hash_seeds()}, NameEqual{}) {}

void LargePropertyMap::add(std::string name, const SchemaNode* node) {
    entries_.push_back(DeclaredProperty{make_fast_string_key(std::move(name)), node});
    index_.emplace(entries_.back().key.text, node);
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
