#include "deririrore/value/cmp.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "deririrore/value/numeric.hpp"
#include "deririrore/value/numeric_internal.hpp"

namespace deririrore::value {

namespace {

uint64_t fold_mul(uint64_t a, uint64_t b) noexcept {
    unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return static_cast<uint64_t>(p) ^ static_cast<uint64_t>(p >> 64);
}

uint64_t fmix64(uint64_t k) noexcept {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return k;
}

// A LIFO stack that lives on the machine stack until it grows past N entries,
// so that walks over ordinary values do not allocate.
template <class T, std::size_t N>
class SmallStack {
public:
    bool empty() const noexcept { return n_ == 0; }
    void push_back(const T& t) {
        if (n_ < N) {
            inline_[n_] = t;
        } else {
            spill_.push_back(t);
        }
        ++n_;
    }
    T pop() noexcept {
        --n_;
        if (n_ >= N) {
            T t = spill_.back();
            spill_.pop_back();
            return t;
        }
        return inline_[n_];
    }

private:
    std::array<T, N> inline_{};
    std::size_t n_ = 0;
    std::vector<T> spill_;
};

constexpr uint64_t kMixA = 0x9E3779B97F4A7C15ULL;
constexpr uint64_t kMixB = 0xA0761D6478BD642FULL;

}  // namespace

const HashSeeds& process_hash_seeds() {
    static const HashSeeds seeds = [] {
        std::random_device rd;
        auto word = [&] { return (static_cast<uint64_t>(rd()) << 32) ^ rd(); };
        return HashSeeds{word(), word() | 1};
    }();
    return seeds;
}

Hasher::Hasher(const HashSeeds& seeds) noexcept : state_(seeds.k0 ^ kMixA), k1_(seeds.k1 ^ kMixB) {}

void Hasher::absorb(uint64_t word) noexcept {
    state_ = fold_mul(state_ ^ word, k1_) + std::rotl(state_, 23);
}

void Hasher::write_u8(uint8_t b) noexcept {
    pending_ |= static_cast<uint64_t>(b) << (8 * pending_len_);
    ++total_len_;
    if (++pending_len_ == 8) {
        absorb(pending_);
        pending_ = 0;
        pending_len_ = 0;
    }
}

void Hasher::write_u64(uint64_t w) noexcept {
    if (pending_len_ == 0) {
        absorb(w);
        total_len_ += 8;
        return;
    }
    for (int i = 0; i < 8; ++i) write_u8(static_cast<uint8_t>(w >> (8 * i)));
}

void Hasher::write_bytes(std::string_view bytes) noexcept {
    std::size_t i = 0;
    while (i < bytes.size() && pending_len_ != 0) write_u8(static_cast<uint8_t>(bytes[i++]));
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        absorb(w);
        total_len_ += 8;
    }
    // The tail (under 8 bytes, none pending) packed at once, as write_u8 would have packed it.
    const std::size_t rest = bytes.size() - i;
    if (rest != 0) {
        uint64_t w = 0;
        std::memcpy(&w, bytes.data() + i, rest);
        pending_ = w;
        pending_len_ = static_cast<unsigned>(rest);
        total_len_ += rest;
    }
}

uint64_t Hasher::finish() const noexcept {
    uint64_t s = state_;
    if (pending_len_ != 0) s = fold_mul(s ^ pending_ ^ (uint64_t{0xFF} << 56), k1_) + std::rotl(s, 23);
    return fmix64(fold_mul(s ^ total_len_, k1_ ^ kMixA) ^ s);
}

bool json_values_equal(const Value& a, const Value& b) {
    SmallStack<std::pair<const Value*, const Value*>, 32> work;
    const Value* x = &a;
    const Value* y = &b;
    for (;;) {
        if (x->kind() != y->kind()) return false;
        switch (x->kind()) {
            case ValueKind::Null: break;
            case ValueKind::Boolean:
                if (x->as_bool() != y->as_bool()) return false;
                break;
            case ValueKind::Number:
                if (!number_text_values_equal(x->number_text(), y->number_text())) return false;
                break;
            case ValueKind::String:
                if (x->as_string() != y->as_string()) return false;
                break;
            case ValueKind::Array: {
                const auto& xa = x->as_array();
                const auto& ya = y->as_array();
                if (xa.size() != ya.size()) return false;
                for (std::size_t i = xa.size(); i-- > 0;) work.push_back({&xa[i], &ya[i]});
                break;
            }
            case ValueKind::Object: {
                const auto& xo = x->as_object();
                const auto& yo = y->as_object();
                if (xo.size() != yo.size()) return false;
                for (std::size_t i = 0; i < xo.size(); ++i)
                    if (xo[i].key != yo[i].key) return false;
                for (std::size_t i = xo.size(); i-- > 0;) work.push_back({&xo[i].value, &yo[i].value});
                break;
            }
        }
        if (work.empty()) return true;
        std::tie(x, y) = work.pop();
    }
}

namespace {

void feed_string(Hasher& h, std::string_view s) {
    h.write_bytes(s);
    h.write_u8(255);
}

void feed_number_classified(Hasher& h, std::string_view text) {
    if (auto u = read_u64_text(text)) {
        h.write_u64(0);
        h.write_u64(*u);
    } else if (auto s = read_i64_text(text)) {
        h.write_u64(1);
        h.write_u64(static_cast<uint64_t>(*s));
    } else if (auto x = read_finite_f64_text(text)) {
        h.write_u64(2);
        h.write_u64(std::bit_cast<uint64_t>(*x));
    } else {
        h.write_u64(3);
        feed_string(h, text);
    }
}

// Feeds the value that number equality compares: the decimal normal form of
// an exact text, or of the double (as written) of a text beyond the limits.
// A text that equals nothing feeds itself and answers false.
bool feed_number_for_unique(Hasher& h, std::string_view text) {
    auto feed_form = [&](const detail::DecimalNormalForm& nf) {
        if (nf.zero) {
            h.write_u64(0);
            return;
        }
        h.write_u64(nf.negative ? 2 : 1);
        h.write_bytes(nf.head);
        h.write_bytes(nf.tail);
        h.write_u8(255);
        h.write_u64(static_cast<uint64_t>(nf.exponent));
        h.write_u64(static_cast<uint64_t>(nf.exponent >> 64));
    };
    if (detail::has_any_exact_form(text)) {
        if (auto nf = detail::decimal_normal_form(text)) {
            feed_form(*nf);
            return true;
        }
    }
    auto x = read_finite_f64_text(text);
    if (!x) {
        h.write_u64(3);
        feed_string(h, text);
        return false;
    }
    if (*x == 0) {
        h.write_u64(0);
        return true;
    }
    detail::DoubleDecimal dd = detail::double_as_written(*x);
    std::string digits = dd.numerator.get_str(10);
    if (dd.negative) digits.insert(digits.begin(), '-');
    digits += "e-" + std::to_string(dd.pow10);
    if (auto nf = detail::decimal_normal_form(digits)) feed_form(*nf);
    return true;
}

// Kind tags and container sizes keep differently nested values apart (an
// array of empty arrays must not hash like its siblings), and members are
// already in key order, so walking them in order is independent of the order
// they were written in. Answers whether the value can equal anything at all:
// one that holds a number equal to nothing cannot.
bool feed_unique(const Value& v, Hasher& h) {
    struct Entry {
        const Value* value;
        const std::string* key;
    };
    bool comparable = true;
    SmallStack<Entry, 32> work;
    work.push_back({&v, nullptr});
    while (!work.empty()) {
        Entry e = work.pop();
        if (e.key != nullptr) feed_string(h, *e.key);
        const Value& x = *e.value;
        h.write_u8(static_cast<uint8_t>(x.kind()));
        switch (x.kind()) {
            case ValueKind::Null: break;
            case ValueKind::Boolean: h.write_u8(x.as_bool() ? 1 : 0); break;
            case ValueKind::Number:
                if (!feed_number_for_unique(h, x.number_text())) comparable = false;
                break;
            case ValueKind::String: feed_string(h, x.as_string()); break;
            case ValueKind::Array: {
                const auto& items = x.as_array();
                h.write_u64(items.size());
                for (std::size_t i = items.size(); i-- > 0;) work.push_back({&items[i], nullptr});
                break;
            }
            case ValueKind::Object: {
                const auto& members = x.as_object();
                h.write_u64(members.size());
                for (std::size_t i = members.size(); i-- > 0;) work.push_back({&members[i].value, &members[i].key});
                break;
            }
        }
    }
    return comparable;
}

}  // namespace

void hash_json_value(const Value& v, Hasher& h) {
    // Pre-order walk; an entry with a key feeds the key before its value.
    struct Entry {
        const Value* value;
        const std::string* key;
    };
    SmallStack<Entry, 32> work;
    work.push_back({&v, nullptr});
    while (!work.empty()) {
        Entry e = work.pop();
        if (e.key != nullptr) feed_string(h, *e.key);
        const Value& x = *e.value;
        h.write_u64(static_cast<uint64_t>(x.kind()));
        switch (x.kind()) {
            case ValueKind::Null: break;
            case ValueKind::Boolean: h.write_u8(x.as_bool() ? 1 : 0); break;
            case ValueKind::Number: feed_number_classified(h, x.number_text()); break;
            case ValueKind::String: feed_string(h, x.as_string()); break;
            case ValueKind::Array: {
                const auto& items = x.as_array();
                h.write_u64(items.size());
                for (std::size_t i = items.size(); i-- > 0;) work.push_back({&items[i], nullptr});
                break;
            }
            case ValueKind::Object: {
                const auto& members = x.as_object();
                h.write_u64(members.size());
                for (std::size_t i = members.size(); i-- > 0;) work.push_back({&members[i].value, &members[i].key});
                break;
            }
        }
    }
}

void hash_json_value_for_unique(const Value& v, Hasher& h) { (void)feed_unique(v, h); }

bool is_unique_array(std::span<const Value> items) {
    const std::size_t n = items.size();
    if (n < 2) return true;
    if (n < 16) {
        for (std::size_t i = 0; i + 1 < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j)
                if (json_values_equal(items[i], items[j])) return false;
        return true;
    }
    // Sorting (hash, index) pairs groups the candidates for equality; only
    // items whose hashes match are compared.
    std::vector<std::pair<uint64_t, std::size_t>> keyed;
    keyed.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        Hasher h;
        // A value that equals nothing cannot be a duplicate; leaving it out
        // keeps many copies of such a value from being compared pairwise.
        if (feed_unique(items[i], h)) keyed.emplace_back(h.finish(), i);
    }
    const std::size_t m = keyed.size();
    std::sort(keyed.begin(), keyed.end());
    for (std::size_t start = 0; start < m;) {
        std::size_t end = start + 1;
        while (end < m && keyed[end].first == keyed[start].first) ++end;
        for (std::size_t i = start; i + 1 < end; ++i)
            for (std::size_t j = i + 1; j < end; ++j)
                if (json_values_equal(items[keyed[i].second], items[keyed[j].second])) return false;
        start = end;
    }
    return true;
}

}  // namespace deririrore::value
