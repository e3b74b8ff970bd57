#pragma once
// Value equality with exact numbers, the uniqueness test, and value hashing.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "deririrore/value/value.hpp"

namespace deririrore::value {

// Structural equality; numbers equal when their texts denote the same value
// (1 = 1.0 = 1e0). Iterative, so any depth is safe.
bool json_values_equal(const Value& a, const Value& b);

// True when no two items are equal under json_values_equal.
bool is_unique_array(std::span<const Value> items);

// The seeds every Hasher starts from: random, created once per process.
struct HashSeeds {
    uint64_t k0;
    uint64_t k1;
};
const HashSeeds& process_hash_seeds();

// A streaming 64-bit hasher. Writes are buffered into 64-bit words, so the
// result depends on the fed bytes only, not on how they were split.
class Hasher {
public:
    Hasher() noexcept : Hasher(process_hash_seeds()) {}
    explicit Hasher(const HashSeeds& seeds) noexcept;
    void write_u8(uint8_t b) noexcept;
    void write_u64(uint64_t w) noexcept;
    void write_bytes(std::string_view bytes) noexcept;
    uint64_t finish() const noexcept;

private:
    void absorb(uint64_t word) noexcept;
    uint64_t state_;
    uint64_t k1_;
    uint64_t pending_ = 0;
    unsigned pending_len_ = 0;
    uint64_t total_len_ = 0;
};

// Feeds a value with numbers classified by representation (1 and 1.0 hash
// differently; 1.0 and 1.00 alike). For hash sets of values kept as written.
void hash_json_value(const Value& v, Hasher& h);
// Feeds a value so that values equal under json_values_equal hash equally
// (1 and 1.0 alike; objects independent of member order).
void hash_json_value_for_unique(const Value& v, Hasher& h);

// Function objects over the uniqueness hash and value equality, for hash
// containers keyed by values.
struct JsonValueHash {
    std::size_t operator()(const Value& v) const {
        Hasher h;
        hash_json_value_for_unique(v, h);
        return static_cast<std::size_t>(h.finish());
    }
};
struct JsonValueEqual {
    bool operator()(const Value& a, const Value& b) const { return json_values_equal(a, b); }
};

}  // namespace deririrore::value
