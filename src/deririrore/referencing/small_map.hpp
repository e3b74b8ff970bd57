#pragma once
// The map of a registry's resources and anchors: up to two entries inline and searched linearly,
// a hash index from the third distinct key on. Entries stay in insertion order, so iteration never
// depends on hashing.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace deririrore::referencing {

template <class V>
class SmallMap {
public:
    using Entry = std::pair<std::string, V>;

    // Replaces the value under an equal key (keeping the stored key) and returns true when the key
    // was present; adds the entry otherwise.
    bool insert(std::string_view key, V value) {
        if (Entry* e = find_entry(key)) {
            e->second = std::move(value);
            return true;
        }
        entries_.emplace_back(std::string(key), std::move(value));
        if (entries_.size() > kInline) {
            if (index_.empty()) {
                index_.reserve(4);
                for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
            } else {
                index_.emplace(entries_.back().first, entries_.size() - 1);
            }
        }
        return false;
    }

    V& get_or_insert_empty(std::string_view key) {
        if (Entry* e = find_entry(key)) return e->second;
        insert(key, V{});
        return entries_.back().second;
    }

    const V* get(std::string_view key) const {
        const Entry* e = find_entry(*this, key);
        return e ? &e->second : nullptr;
    }

    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }
    bool is_inline() const noexcept { return index_.empty(); }
    auto begin() const noexcept { return entries_.begin(); }
    auto end() const noexcept { return entries_.end(); }

private:
    static constexpr std::size_t kInline = 2;

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
    };

    Entry* find_entry(std::string_view key) { return find_entry(*this, key); }

    template <class Self>
    static auto find_entry(Self& self, std::string_view key) -> decltype(&self.entries_[0]) {
        if (self.index_.empty()) {
            for (auto& e : self.entries_) {
                if (e.first == key) return &e;
            }
            return nullptr;
        }
        auto it = self.index_.find(key);
        return it == self.index_.end() ? nullptr : &self.entries_[it->second];
    }

    std::vector<Entry> entries_;
    // Key -> position in `entries_`; holds its own copies of the keys, since the entries move.
    std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> index_;
};

}  // namespace deririrore::referencing
