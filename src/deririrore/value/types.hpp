#pragma once
// The seven JSON Schema type names as single bits, and sets of them.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace deririrore::value {

class Value;

enum class JsonType : uint8_t {
    Null = 1,
    Boolean = 2,
    Integer = 4,
    Number = 8,
    String = 16,
    Array = 32,
    Object = 64,
};

// Exact, case-sensitive name ("null", "boolean", "integer", ...); none otherwise.
std::optional<JsonType> json_type_from_name(std::string_view name) noexcept;
// The name text of a single type; a value that is not one of the seven bits
// throws std::logic_error("Invalid JsonType representation: N").
std::string_view json_type_name(JsonType type);
std::ostream& operator<<(std::ostream& os, JsonType type);

// A set of JsonTypes in one byte; iteration yields the lowest bit first.
class JsonTypeSet {
public:
    constexpr JsonTypeSet() noexcept = default;
    constexpr JsonTypeSet(JsonType t) noexcept : bits_(static_cast<uint8_t>(t)) {}
    // Any byte is accepted; iterating or displaying one with bit 7 set throws.
    static constexpr JsonTypeSet from_bits(uint8_t bits) noexcept {
        JsonTypeSet s;
        s.bits_ = bits;
        return s;
    }

    constexpr uint8_t bits() const noexcept { return bits_; }
    constexpr bool empty() const noexcept { return bits_ == 0; }
    constexpr bool contains(JsonType t) const noexcept { return (bits_ & static_cast<uint8_t>(t)) != 0; }
    constexpr JsonTypeSet with(JsonType t) const noexcept { return from_bits(bits_ | static_cast<uint8_t>(t)); }
    constexpr void insert(JsonType t) noexcept { bits_ |= static_cast<uint8_t>(t); }
    constexpr void remove(JsonType t) noexcept { bits_ &= static_cast<uint8_t>(~static_cast<uint8_t>(t)); }
    int size() const noexcept { return __builtin_popcount(bits_); }
    friend constexpr bool operator==(JsonTypeSet, JsonTypeSet) noexcept = default;
    friend constexpr JsonTypeSet operator|(JsonTypeSet a, JsonTypeSet b) noexcept {
        return from_bits(a.bits_ | b.bits_);
    }

    class iterator {
    public:
        using value_type = JsonType;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        JsonType operator*() const;
        iterator& operator++() noexcept {
            rest_ &= static_cast<uint8_t>(rest_ - 1);
            return *this;
        }
        iterator operator++(int) noexcept {
            iterator old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(iterator, iterator) noexcept = default;

    private:
        friend class JsonTypeSet;
        explicit iterator(uint8_t rest) noexcept : rest_(rest) {}
        uint8_t rest_ = 0;
    };
    iterator begin() const noexcept { return iterator(bits_); }
    iterator end() const noexcept { return iterator(0); }

private:
    uint8_t bits_ = 0;
};

// "(null, string)"; "()" for the empty set.
std::string fmt_json_type_set(JsonTypeSet set);
std::ostream& operator<<(std::ostream& os, JsonTypeSet set);

// The JSON type of a value: a number is Integer when its text denotes an
// integer (1.0, 1e2, -0), Number otherwise.
JsonType json_type_of(const Value& v);
// The type test of the `type` keyword: Number accepts every number, Integer
// only integer texts.
bool value_has_type(const Value& v, JsonType t);
bool value_has_type(const Value& v, JsonTypeSet set);

}  // namespace deririrore::value
