#pragma once
// Hash containers keyed by text, each with seeds of its own, so that one document's keys cannot
// be chosen to collide in every map of the process.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "deririrore/value/cmp.hpp"

namespace vantorel::model {

// The process seeds stirred with a per-container counter.
inline deririrore::value::HashSeeds fresh_text_hash_seeds() noexcept {
    static std::atomic<std::uint64_t> counter{0};
    const std::uint64_t n = counter.fetch_add(1, std::memory_order_relaxed) + 1;
    const deririrore::value::HashSeeds& base = deririrore::value::process_hash_seeds();
    deririrore::value::Hasher h(base);
    h.write_u64(n);
    const std::uint64_t k0 = h.finish();
    h.write_u64(k0);
    return deririrore::value::HashSeeds{k0, h.finish() ^ base.k1};
}

struct SeededTextHash {
    using is_transparent = void;
    deririrore::value::HashSeeds seeds = fresh_text_hash_seeds();
    std::size_t operator()(std::string_view s) const noexcept {
        deririrore::value::Hasher h(seeds);
        h.write_bytes(s);
        return static_cast<std::size_t>(h.finish());
    }
};

struct TextEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

template <class V>
using TextMap = std::unordered_map<std::string, V, SeededTextHash, TextEqual>;
using TextSet = std::unordered_set<std::string, SeededTextHash, TextEqual>;

}  // namespace vantorel::model
