#include "multipart/text.hpp"

#include <cstdint>

#include "multipart/multipart.hpp"

namespace multipart {

namespace {

bool is_white_space(char32_t c) noexcept {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Length of the well-formed UTF-8 sequence at `i` (its scalar in `cp`), or 0.
std::size_t utf8_at(std::string_view s, std::size_t i, char32_t& cp) noexcept {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
        if (i + k >= s.size()) return 0;
        const unsigned char t = b(k);
        if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    return n;
}

// Bytes of the maximal prefix of an ill-formed sequence at `i` (at least 1), per the
// substitution practice of the Encoding Standard.
std::size_t invalid_run(std::string_view s, std::size_t i) noexcept {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 1;
    }
    std::size_t k = 1;
    for (; k < n && i + k < s.size(); ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) break;
    }
    return k;
}

}  // namespace

bool ascii_iequals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

std::size_t skip_unicode_white_space(std::string_view text, std::size_t pos) noexcept {
    while (pos < text.size()) {
        char32_t cp = 0;
        const std::size_t n = utf8_at(text, pos, cp);
        if (n == 0 || !is_white_space(cp)) break;
        pos += n;
    }
    return pos;
}

std::string_view trim_unicode_white_space_end(std::string_view text) noexcept {
    while (!text.empty()) {
        // Back up to the start of the last character (at most four bytes).
        std::size_t start = text.size() - 1;
        while (start > 0 && text.size() - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
            --start;
        char32_t cp = 0;
        const std::size_t n = utf8_at(text, start, cp);
        if (n != text.size() - start || !is_white_space(cp)) break;
        text = text.substr(0, start);
    }
    return text;
}

void append_utf8_lossy(std::string& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t j = i;
        char32_t cp = 0;
        std::size_t n = 0;
        while (j < bytes.size() && (n = utf8_at(bytes, j, cp)) != 0) j += n;
        out.append(bytes.substr(i, j - i));
        if (j == bytes.size()) break;
        out.append("\xEF\xBF\xBD");
        i = j + invalid_run(bytes, j);
    }
}

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    append_utf8_lossy(out, bytes);
    return out;
}

}  // namespace multipart
