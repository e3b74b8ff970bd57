#pragma once
// The compiled subschemas of a `properties` object by name. Up to 14 names sit in a list that is
// scanned with precomputed end words; from 15 on a hash map with its own random seed is used.
// Both keep their entries in name order as well, so walks over the declared properties (and
// everything reported from them) do not depend on the form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/fast_string_key.hpp"
#include "deririrore/value/cmp.hpp"

namespace deririrore::keywords {

// The largest `properties` object kept in a SmallPropertyMap.
inline constexpr std::size_t kSmallPropertyMapLimit = 14;

inline bool is_small_property_count(std::size_t count) noexcept { return count <= kSmallPropertyMapLimit; }

struct DeclaredProperty {
    FastStringKey key;
    const SchemaNode* node;

    std::string_view name() const noexcept { return key.text; }
};

class SmallPropertyMap {
public:
    const SchemaNode* find(std::string_view name) const noexcept { return find(name, text_words(name)); }
    const SchemaNode* find(std::string_view name, const TextWords& words) const noexcept {
        for (const auto& e : entries_) {
            if (e.key.matches(name, words)) return e.node;
        }
        return nullptr;
    }
    // In ascending name order.
    const std::vector<DeclaredProperty>& entries() const noexcept { return entries_; }
    std::size_t size() const noexcept { return entries_.size(); }

    void reserve(std::size_t n) { entries_.reserve(n); }
    void add(std::string name, const SchemaNode* node) {
        entries_.push_back(DeclaredProperty{make_fast_string_key(std::move(name)), node});
    }

private:
    std::vector<DeclaredProperty> entries_;
};

// Hashes names with a seed of its own, so that no two maps share a collision pattern.
struct SeededNameHash {
    using is_transparent = void;
    value::HashSeeds seeds{};
    std::size_t operator()(std::string_view s) const noexcept {
        value::Hasher h(seeds);
        h.write_bytes(s);
        return static_cast<std::size_t>(h.finish());
    }
};

struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

// Fresh seeds for one map: the process seeds stirred with a per-map counter.
value::HashSeeds fresh_hash_seeds() noexcept;

class LargePropertyMap {
public:
    LargePropertyMap();
    LargePropertyMap(LargePropertyMap&&) noexcept = default;
    LargePropertyMap& operator=(LargePropertyMap&&) noexcept = default;

    const SchemaNode* find(std::string_view name) const {
        auto it = index_.find(name);
        return it == index_.end() ? nullptr : it->second;
    }
    // The words serve the list form only; kept so both forms are probed the same way.
    const SchemaNode* find(std::string_view name, const TextWords&) const { return find(name); }
    const std::vector<DeclaredProperty>& entries() const noexcept { return entries_; }
    std::size_t size() const noexcept { return entries_.size(); }

    void reserve(std::size_t n) {
        entries_.reserve(n);
        index_.reserve(n);
    }
    void add(std::string name, const SchemaNode* node);

private:
    std::vector<DeclaredProperty> entries_;
    std::unordered_map<std::string, const SchemaNode*, SeededNameHash, NameEqual> index_;
};

// Compile every member of a `properties` object (in name order, each at properties/<name>, under
// the draft its own "$schema" names); the first compile error ends the build.
Result<SmallPropertyMap, ValidationError> build_small_property_map(const CompileContext& ctx,
                                                                   const Value& properties);
Result<LargePropertyMap, ValidationError> build_large_property_map(const CompileContext& ctx,
                                                                   const Value& properties);

}  // namespace deririrore::keywords
