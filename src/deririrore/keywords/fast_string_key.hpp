#pragma once
// A text prepared for fast equality tests: its length and two machine words taken from its ends
// reject almost every mismatch before any byte comparison, and settle every text of up to 16
// bytes without one.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace deririrore::keywords {

namespace detail {
inline uint64_t load_le64(const char* p) noexcept {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}
inline uint64_t load_le32(const char* p) noexcept {
    uint32_t w;
    std::memcpy(&w, p, 4);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
    return w;
}
}  // namespace detail

// The head and tail words of a text. 8 bytes or more: the first and last 8 bytes (overlapping
// below 16); 4 to 7: the first and last 4 bytes; 0 to 3: the bytes packed into the head.
struct TextWords {
    uint64_t head = 0;
    uint64_t tail = 0;
    friend bool operator==(const TextWords&, const TextWords&) = default;
};

inline TextWords text_words(std::string_view s) noexcept {
    const std::size_t n = s.size();
    const char* p = s.data();
    if (n >= 8) return {detail::load_le64(p), detail::load_le64(p + n - 8)};
    if (n >= 4) return {detail::load_le32(p), detail::load_le32(p + n - 4)};
    uint64_t h = 0;
    for (std::size_t i = 0; i < n; ++i) h |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return {h, 0};
}

struct FastStringKey {
    std::string text;
    uint64_t length = 0;
    TextWords words;

    // Whether `s` equals the key's text; `w` must be text_words(s).
    bool matches(std::string_view s, const TextWords& w) const noexcept {
        if (s.size() != length || w != words) return false;
        // Up to 16 bytes the two words cover every byte.
        if (length <= 16) return true;
        return std::memcmp(s.data() + 8, text.data() + 8, length - 16) == 0;
    }
    bool matches(std::string_view s) const noexcept { return matches(s, text_words(s)); }
};

inline FastStringKey make_fast_string_key(std::string s) {
    FastStringKey key;
    key.text = std::move(s);
    // Read from the stored text: reading the moved-from argument's inline buffer makes GCC 12 warn
    // (a false -Wmaybe-uninitialized) once the caller is inlined.
    key.length = key.text.size();
    key.words = text_words(key.text);
    return key;
}

}  // namespace deririrore::keywords
