#pragma once
// The JSON value tree that every schema and instance is held in. Numbers keep
// their source text; objects hold each key once, sorted by key bytes.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "deririrore/value/types.hpp"

namespace deririrore::value {

enum class ValueKind : uint8_t { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

struct Member;

class Value {
public:
    using Array = std::vector<Value>;
    // Sorted by key, ascending bytewise; each key at most once.
    using Object = std::vector<Member>;

    Value() noexcept = default;
    Value(const Value& other);
    Value(Value&& other) noexcept = default;
    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept;
    // Bounded in depth, so that a deep tree built by code cannot overflow the stack.
    ~Value();

    static Value null();
    static Value boolean(bool b);
    // `text` must follow the JSON number grammar; anything else is a broken
    // invariant and throws std::invalid_argument.
    static Value number(std::string text);
    static Value number_from_int(int64_t v);
    static Value number_from_uint64(uint64_t v);
    // Shortest round-trip text; `v` must be finite (throws std::invalid_argument).
    static Value number_from_double(double v);
    static Value string(std::string s);
    static Value array(Array items = {});
    // Sorts the members by key; of repeated keys the later one wins. No default
    // argument: `Object{}` here would need Member complete, which it is not yet
    // (nor in an inline body of null(); both are defined below Member).
    static Value object(Object members);
    static Value object();

    ValueKind kind() const noexcept { return static_cast<ValueKind>(data_.index()); }
    bool is_null() const noexcept { return kind() == ValueKind::Null; }
    bool is_bool() const noexcept { return kind() == ValueKind::Boolean; }
    bool is_number() const noexcept { return kind() == ValueKind::Number; }
    bool is_string() const noexcept { return kind() == ValueKind::String; }
    bool is_array() const noexcept { return kind() == ValueKind::Array; }
    bool is_object() const noexcept { return kind() == ValueKind::Object; }

    // Accessors require the matching kind (std::bad_variant_access otherwise).
    bool as_bool() const { return std::get<1>(data_); }
    std::string_view number_text() const { return std::get<2>(data_); }
    const std::string& as_string() const { return std::get<3>(data_); }
    const Array& as_array() const { return std::get<4>(data_); }
    const Object& as_object() const { return std::get<5>(data_); }

    // Array items may be changed freely; object members only through the
    // functions below, which keep the key order.
    Array& mutable_array() { return std::get<4>(data_); }
    void push_back(Value v);

    // Object member lookup by binary search; nullptr when absent or not an object.
    const Value* find(std::string_view key) const noexcept;
    Value* find_mut(std::string_view key) noexcept;
    bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }
    // Object only: sets `key`, replacing an existing member.
    void insert_or_assign(std::string key, Value v);
    // Object only: removes `key`; false when absent.
    bool erase(std::string_view key);

    // Items of an array, members of an object, bytes of a string; 0 otherwise.
    std::size_t size() const noexcept;
    bool empty() const noexcept { return size() == 0; }

    // Exact structural identity: number texts compared as written (1 and 1.0
    // differ). For value equality use json_values_equal.
    friend bool identical(const Value& a, const Value& b);

private:
    struct NumberTag {};
    Value(NumberTag, std::string text);
    friend class ValueBuilderAccess;

    void release_children() noexcept;
    void release_to_depth(int depth) noexcept;
    void release_flat() noexcept;
    void copy_from(const Value& other);

    std::variant<std::monostate, bool, std::string, std::string, Array, Object> data_;
};

struct Member {
    std::string key;
    Value value;
};

// Bytewise order of two member keys (negative, zero, positive). Most keys met side by side differ
// in their first byte, which settles them without a call into the library's compare.
inline int compare_keys(std::string_view a, std::string_view b) noexcept {
    if (!a.empty() && !b.empty() && a.front() != b.front())
        return static_cast<unsigned char>(a.front()) < static_cast<unsigned char>(b.front()) ? -1 : 1;
    return a.compare(b);
}

// Inline, and below Member, which destroying an object needs complete.
inline Value::~Value() {
    if (kind() >= ValueKind::Array) release_children();
}

inline Value Value::null() { return Value(); }
inline Value Value::object() { return object(Object{}); }

// Collects members in any order, then produces a sorted object in one pass.
class ObjectBuilder {
public:
    ObjectBuilder() = default;
    explicit ObjectBuilder(std::size_t expected) { members_.reserve(expected); }
    ObjectBuilder& add(std::string key, Value v) {
        members_.push_back(Member{std::move(key), std::move(v)});
        return *this;
    }
    std::size_t size() const noexcept { return members_.size(); }
    // Later duplicates win.
    Value build() && { return Value::object(std::move(members_)); }

private:
    Value::Object members_;
};

// Builds values from parts the caller has already checked: number texts that follow the JSON number
// grammar, and members already in key order with each key once (the JSON reader does both). The
// set_ functions fill a value in place, so that a reader's value stack needs no moves.
class ValueBuilderAccess {
public:
    static Value trusted_number(std::string text) { return Value(Value::NumberTag{}, std::move(text)); }
    static void set_number(Value& v, std::string_view text) { v.data_.emplace<2>(text); }
    static void set_string(Value& v, std::string_view s) { v.data_.emplace<3>(s); }
    static void set_string(Value& v, std::string&& s) { v.data_.emplace<3>(std::move(s)); }
    static void set_array(Value& v, Value::Array&& items) { v.data_.emplace<4>(std::move(items)); }
    static void set_ordered_object(Value& v, Value::Object&& members) { v.data_.emplace<5>(std::move(members)); }
    // `null_value` takes the contents of `from`, with none of the assignment's care for an old tree.
    static void move_into_null(Value& null_value, Value&& from) { null_value.data_ = std::move(from.data_); }
};

// Which members an object keeps, and in which order: `order` receives the positions (into `keys`,
// the keys as given) of the members to keep, sorted by key; of equal keys only the last given is kept.
void order_members(const std::string_view* keys, std::size_t count, std::vector<std::uint32_t>& order);

bool identical(const Value& a, const Value& b);

// The JSON number grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool is_json_number_text(std::string_view text) noexcept;

}  // namespace deririrore::value
