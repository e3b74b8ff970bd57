#pragma once
// The compiled subschemas of a `properties` object by name. Up to 14 names sit in a list that is
// scanned with precomputed end words; from 15 on a hash map with its own random seed is used.
// Both keep their entries in name order as well, so walks over the declared properties (and
// everything reported from them) do not depend on the form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/fast_string_key.hpp"
#include "deririrore/keywords/subschema_call.hpp"
#include "deririrore/value/cmp.hpp"

namespace deririrore::keywords {

// The largest `properties` object kept in a SmallPropertyMap.
inline constexpr std::size_t kSmallPropertyMapLimit = 14;

inline bool is_small_property_count(std::size_t count) noexcept { return count <= kSmallPropertyMapLimit; }

struct DeclaredProperty {
    FastStringKey key;
    const SchemaNode* node;
    // The same subschema, for checks of many values.
    SubschemaCall call;

    std::string_view name() const noexcept { return key.text; }
};

class SmallPropertyMap {
public:
    const SchemaNode* find(std::string_view name) const noexcept { return find(name, text_words(name)); }
    const SchemaNode* find(std::string_view name, const TextWords& words) const noexcept {
        const DeclaredProperty* e = find_entry(name, words);
        return e != nullptr ? e->node : nullptr;
    }
    const DeclaredProperty* find_entry(std::string_view name, const TextWords& words) const noexcept {
        for (const auto& e : entries_) {
            if (e.key.matches(name, words)) return &e;
        }
        return nullptr;
    }
    const DeclaredProperty* find_entry(std::string_view name) const noexcept {
        return find_entry(name, text_words(name));
    }
    // In ascending name order.
    const std::vector<DeclaredProperty>& entries() const noexcept { return entries_; }
    std::size_t size() const noexcept { return entries_.size(); }

    void reserve(std::size_t n) { entries_.reserve(n); }
    void add(std::string name, const SchemaNode* node) {
        entries_.push_back(DeclaredProperty{make_fast_string_key(std::move(name)), node, SubschemaCall(node)});
    }

private:
    std::vector<DeclaredProperty> entries_;
};

// A seeded hash of a name whose text_words are already known: the words and the bytes between
// them are folded with 128-bit multiplies, so a lookup costs a few instructions for most names.
namespace detail {
inline std::uint64_t fold_multiply(std::uint64_t a, std::uint64_t b) noexcept {
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(p) ^ static_cast<std::uint64_t>(p >> 64);
}
}  // namespace detail

inline std::uint64_t seeded_name_hash(std::string_view s, const TextWords& w, const value::HashSeeds& seeds) noexcept {
    constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = detail::fold_multiply(w.head ^ seeds.k0, w.tail ^ seeds.k1);
    const std::size_t n = s.size();
    // The words cover up to 16 bytes; longer names fold their middle in as well.
    for (std::size_t i = 8; i + 8 < n; i += 8)
        h = detail::fold_multiply(h ^ detail::load_le64(s.data() + i), seeds.k1 ^ kOdd);
    return detail::fold_multiply(h ^ n, seeds.k0 ^ kOdd);
}

// Hashes names with a seed of its own, so that no two maps share a collision pattern.
struct SeededNameHash {
    using is_transparent = void;
    value::HashSeeds seeds{};
    std::size_t operator()(std::string_view s) const noexcept {
        return static_cast<std::size_t>(seeded_name_hash(s, text_words(s), seeds));
    }
};

struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

// Fresh seeds for one map: the process seeds stirred with a per-map counter.
value::HashSeeds fresh_hash_seeds() noexcept;

// Open-addressing tables of positions in a list of keys: a slot holds position + 1, or 0 when
// empty, in a power of two of slots at most half full. A lookup hashes the name once inline and
// settles most candidates by their words without touching their bytes. `key_at(p)` is the
// FastStringKey at position p; the answer is the first position whose key matches, or -1.
template <class KeyAt>
std::ptrdiff_t probe_name_slots(const std::vector<std::uint32_t>& slots, const value::HashSeeds& seeds,
                                std::string_view name, const TextWords& words, KeyAt&& key_at) noexcept {
    if (slots.empty()) return -1;
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(seeded_name_hash(name, words, seeds)) & mask;; i = (i + 1) & mask) {
        const std::uint32_t slot = slots[i];
        if (slot == 0) return -1;
        if (key_at(slot - 1).matches(name, words)) return static_cast<std::ptrdiff_t>(slot - 1);
    }
}

inline void place_name_slot(std::vector<std::uint32_t>& slots, const value::HashSeeds& seeds, const FastStringKey& key,
                            std::uint32_t position) noexcept {
    const std::size_t mask = slots.size() - 1;
    std::size_t i = static_cast<std::size_t>(seeded_name_hash(key.text, key.words, seeds)) & mask;
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = position + 1;
}

// A set of texts with seeds of its own (string `enum` options).
class NameSet {
public:
    NameSet();
    NameSet(NameSet&&) noexcept = default;
    NameSet& operator=(NameSet&&) noexcept = default;

    bool contains(std::string_view name) const noexcept {
        const TextWords words = text_words(name);
        return probe_name_slots(slots_, seeds_, name, words,
                                [&](std::size_t p) -> const FastStringKey& { return keys_[p]; }) >= 0;
    }
    std::size_t size() const noexcept { return keys_.size(); }

    // A text already present is not added again.
    void insert(std::string name);

private:
    std::vector<FastStringKey> keys_;
    std::vector<std::uint32_t> slots_;
    value::HashSeeds seeds_;
};

// The declared properties by name in such a table.
class LargePropertyMap {
public:
    LargePropertyMap();
    LargePropertyMap(LargePropertyMap&&) noexcept = default;
    LargePropertyMap& operator=(LargePropertyMap&&) noexcept = default;

    const SchemaNode* find(std::string_view name) const noexcept { return find(name, text_words(name)); }
    const SchemaNode* find(std::string_view name, const TextWords& words) const noexcept {
        const DeclaredProperty* e = find_entry(name, words);
        return e != nullptr ? e->node : nullptr;
    }
    const DeclaredProperty* find_entry(std::string_view name, const TextWords& words) const noexcept {
        const std::ptrdiff_t p = probe_name_slots(
            slots_, seeds_, name, words, [&](std::size_t i) -> const FastStringKey& { return entries_[i].key; });
        return p < 0 ? nullptr : &entries_[static_cast<std::size_t>(p)];
    }
    const DeclaredProperty* find_entry(std::string_view name) const noexcept {
        return find_entry(name, text_words(name));
    }
    const std::vector<DeclaredProperty>& entries() const noexcept { return entries_; }
    std::size_t size() const noexcept { return entries_.size(); }

    void reserve(std::size_t n) { entries_.reserve(n); }
    void add(std::string name, const SchemaNode* node);

private:
    std::vector<DeclaredProperty> entries_;
    // Entry position + 1, or 0 for an empty slot; a power of two at most half full.
    std::vector<std::uint32_t> slots_;
    value::HashSeeds seeds_;
};

// Compile every member of a `properties` object (in name order, each at properties/<name>, under
// the draft its own "$schema" names); the first compile error ends the build.
Result<SmallPropertyMap, ValidationError> build_small_property_map(const CompileContext& ctx,
                                                                   const Value& properties);
Result<LargePropertyMap, ValidationError> build_large_property_map(const CompileContext& ctx,
                                                                   const Value& properties);

}  // namespace deririrore::keywords
