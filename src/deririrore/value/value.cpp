#include "deririrore/value/value.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "deririrore/value/json_internal.hpp"

namespace deririrore::value {

namespace {

bool is_container(const Value& v) noexcept { return v.is_array() || v.is_object(); }

bool less_key(const Member& m, std::string_view key) noexcept { return compare_keys(m.key, key) < 0; }

constexpr std::size_t kScannedObjectSize = 8;

// Up to this many members, positions are sorted by insertion (objects are mostly small).
constexpr std::size_t kInsertionSortedMembers = 16;

// Trees are released by recursion to this depth; deeper parts go through a flat list, so that a
// tree of any depth is released without exhausting the stack.
constexpr int kRecursiveReleaseDepth = 64;

}  // namespace

bool is_json_number_text(std::string_view t) noexcept {
    const char* end = t.data() + t.size();
    return json_number_end(t.data(), end) == end;
}

Value::Value(NumberTag, std::string text) : data_(std::in_place_index<2>, std::move(text)) {}

Value Value::boolean(bool b) {
    Value v;
    v.data_.emplace<1>(b);
    return v;
}

Value Value::number(std::string text) {
    if (!is_json_number_text(text)) throw std::invalid_argument("not a JSON number: " + text);
    return Value(NumberTag{}, std::move(text));
}

Value Value::number_from_int(int64_t v) { return Value(NumberTag{}, std::to_string(v)); }

Value Value::number_from_uint64(uint64_t v) { return Value(NumberTag{}, std::to_string(v)); }

Value Value::number_from_double(double v) {
    if (!std::isfinite(v)) throw std::invalid_argument("a JSON number must be finite");
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    std::string text(buf, res.ptr);
    // to_chars writes exponents as "e+20", which JSON accepts, and never a bare "inf".
    return Value(NumberTag{}, std::move(text));
}

Value Value::string(std::string s) {
    Value v;
    v.data_.emplace<3>(std::move(s));
    return v;
}

Value Value::array(Array items) {
    Value v;
    v.data_.emplace<4>(std::move(items));
    return v;
}

void order_members(const std::string_view* keys, std::size_t count, std::vector<std::uint32_t>& order) {
    order.resize(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = static_cast<std::uint32_t>(i);
    // Equal keys sort by position, so the last of a run is the one given last.
    auto before = [keys](std::uint32_t a, std::uint32_t b) {
        const int c = compare_keys(keys[a], keys[b]);
        return c < 0 || (c == 0 && a < b);
    };
    if (count <= kInsertionSortedMembers) {
        for (std::size_t i = 1; i < count; ++i) {
            const std::uint32_t x = order[i];
            std::size_t j = i;
            for (; j > 0 && before(x, order[j - 1]); --j) order[j] = order[j - 1];
            order[j] = x;
        }
    } else {
        std::sort(order.begin(), order.end(), before);
    }
    std::size_t out = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + 1 < count && keys[order[i]] == keys[order[i + 1]]) continue;
        order[out++] = order[i];
    }
    order.resize(out);
}

Value Value::object(Object members) {
    Value v;
    bool ascending = true;
    for (std::size_t i = 1; i < members.size() && ascending; ++i)
        ascending = compare_keys(members[i - 1].key, members[i].key) < 0;
    if (ascending) {
        v.data_.emplace<5>(std::move(members));
        return v;
    }
    // Positions are sorted instead of members, so that each member moves once.
    std::vector<std::string_view> keys;
    keys.reserve(members.size());
    for (const Member& m : members) keys.emplace_back(m.key);
    std::vector<std::uint32_t> order;
    order_members(keys.data(), keys.size(), order);
    Object sorted;
    sorted.reserve(order.size());
    for (std::uint32_t i : order) sorted.push_back(std::move(members[i]));
    v.data_.emplace<5>(std::move(sorted));
    return v;
}

Value::Value(const Value& other) { copy_from(other); }

Value& Value::operator=(const Value& other) {
    if (this != &other) {
        Value tmp(other);
        *this = std::move(tmp);
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept {
    if (this != &other) {
        // The old contents may be deep: detach them and let the iterative destructor run.
        Value old(std::move(*this));
        data_ = std::move(other.data_);
    }
    return *this;
}

void Value::release_children() noexcept { release_to_depth(0); }

// Empties every container child (and so its subtree) before this container's own vector goes,
// so that no destructor called from here meets a container that still holds anything.
void Value::release_to_depth(int depth) noexcept {
    if (depth >= kRecursiveReleaseDepth) {
        release_flat();
        return;
    }
    auto drop = [depth](Value& child) {
        if (!is_container(child)) return;
        child.release_to_depth(depth + 1);
        child.data_.emplace<0>();
    };
    if (auto* arr = std::get_if<4>(&data_)) {
        for (auto& child : *arr) drop(child);
    } else if (auto* obj = std::get_if<5>(&data_)) {
        for (auto& m : *obj) drop(m.value);
    }
}

void Value::release_flat() noexcept {
    // Children are moved into a flat list before they die, so that no
    // destructor ever sees a container that still holds containers.
    std::vector<Value> pending;
    auto take = [&](Value& v) {
        if (auto* arr = std::get_if<4>(&v.data_)) {
            for (auto& child : *arr)
                if (is_container(child)) pending.push_back(std::move(child));
            arr->clear();
        } else if (auto* obj = std::get_if<5>(&v.data_)) {
            for (auto& m : *obj)
                if (is_container(m.value)) pending.push_back(std::move(m.value));
            obj->clear();
        }
    };
    bool nested = false;
    if (auto* arr = std::get_if<4>(&data_)) {
        nested = std::any_of(arr->begin(), arr->end(), is_container);
    } else if (auto* obj = std::get_if<5>(&data_)) {
        nested = std::any_of(obj->begin(), obj->end(), [](const Member& m) { return is_container(m.value); });
    }
    if (!nested) return;
    take(*this);
    while (!pending.empty()) {
        Value v = std::move(pending.back());
        pending.pop_back();
        take(v);
    }
}

void Value::copy_from(const Value& other) {
    // Shallow copy of one node: scalars whole, containers empty but sized.
    auto shallow = [](const Value& src, Value& dst) {
        switch (src.kind()) {
            case ValueKind::Null: dst.data_.emplace<0>(); break;
            case ValueKind::Boolean: dst.data_.emplace<1>(std::get<1>(src.data_)); break;
            case ValueKind::Number: dst.data_.emplace<2>(std::get<2>(src.data_)); break;
            case ValueKind::String: dst.data_.emplace<3>(std::get<3>(src.data_)); break;
            case ValueKind::Array: dst.data_.emplace<4>().reserve(std::get<4>(src.data_).size()); break;
            case ValueKind::Object: dst.data_.emplace<5>().reserve(std::get<5>(src.data_).size()); break;
        }
    };
    shallow(other, *this);
    if (!is_container(other)) return;
    std::vector<std::pair<const Value*, Value*>> work;
    work.emplace_back(&other, this);
    while (!work.empty()) {
        auto [src, dst] = work.back();
        work.pop_back();
        if (src->is_array()) {
            auto& out = std::get<4>(dst->data_);
            for (const Value& child : src->as_array()) {
                out.emplace_back();
                shallow(child, out.back());
            }
            // Reserved above, so these addresses stay put.
            for (std::size_t i = 0; i < out.size(); ++i)
                if (is_container(out[i])) work.emplace_back(&src->as_array()[i], &out[i]);
        } else if (src->is_object()) {
            auto& out = std::get<5>(dst->data_);
            for (const Member& m : src->as_object()) {
                out.push_back(Member{m.key, Value()});
                shallow(m.value, out.back().value);
            }
            for (std::size_t i = 0; i < out.size(); ++i)
                if (is_container(out[i].value)) work.emplace_back(&src->as_object()[i].value, &out[i].value);
        }
    }
}

void Value::push_back(Value v) { std::get<4>(data_).push_back(std::move(v)); }

const Value* Value::find(std::string_view key) const noexcept {
    const auto* obj = std::get_if<5>(&data_);
    if (obj == nullptr) return nullptr;
    // Small objects, the usual case, are scanned: lengths and first bytes reject most members
    // without a byte compare, where a binary search compares bytes at every step.
    if (obj->size() <= kScannedObjectSize) {
        const std::size_t n = key.size();
        for (const auto& m : *obj) {
            if (m.key.size() != n) continue;
            if (n == 0 || (m.key.front() == key.front() && std::memcmp(m.key.data(), key.data(), n) == 0))
                return &m.value;
        }
        return nullptr;
    }
    auto it = std::lower_bound(obj->begin(), obj->end(), key, less_key);
    if (it == obj->end() || it->key != key) return nullptr;
    return &it->value;
}

Value* Value::find_mut(std::string_view key) noexcept {
    return const_cast<Value*>(static_cast<const Value*>(this)->find(key));
}

void Value::insert_or_assign(std::string key, Value v) {
    auto& obj = std::get<5>(data_);
    auto it = std::lower_bound(obj.begin(), obj.end(), std::string_view(key), less_key);
    if (it != obj.end() && it->key == key) {
        it->value = std::move(v);
    } else {
        obj.insert(it, Member{std::move(key), std::move(v)});
    }
}

bool Value::erase(std::string_view key) {
    auto& obj = std::get<5>(data_);
    auto it = std::lower_bound(obj.begin(), obj.end(), key, less_key);
    if (it == obj.end() || it->key != key) return false;
    obj.erase(it);
    return true;
}

std::size_t Value::size() const noexcept {
    switch (kind()) {
        case ValueKind::String: return std::get<3>(data_).size();
        case ValueKind::Array: return std::get<4>(data_).size();
        case ValueKind::Object: return std::get<5>(data_).size();
        default: return 0;
    }
}

bool identical(const Value& a, const Value& b) {
    std::vector<std::pair<const Value*, const Value*>> work;
    work.emplace_back(&a, &b);
    while (!work.empty()) {
        auto [x, y] = work.back();
        work.pop_back();
        if (x->kind() != y->kind()) return false;
        switch (x->kind()) {
            case ValueKind::Null: break;
            case ValueKind::Boolean:
                if (x->as_bool() != y->as_bool()) return false;
                break;
            case ValueKind::Number:
                if (x->number_text() != y->number_text()) return false;
                break;
            case ValueKind::String:
                if (x->as_string() != y->as_string()) return false;
                break;
            case ValueKind::Array: {
                const auto& xa = x->as_array();
                const auto& ya = y->as_array();
                if (xa.size() != ya.size()) return false;
                for (std::size_t i = xa.size(); i-- > 0;) work.emplace_back(&xa[i], &ya[i]);
                break;
            }
            case ValueKind::Object: {
                const auto& xo = x->as_object();
                const auto& yo = y->as_object();
                if (xo.size() != yo.size()) return false;
                for (std::size_t i = xo.size(); i-- > 0;) {
                    if (xo[i].key != yo[i].key) return false;
                    work.emplace_back(&xo[i].value, &yo[i].value);
                }
                break;
            }
        }
    }
    return true;
}

}  // namespace deririrore::value
