#include "deririrore/regex/unicode.hpp"

#include <unicode/uchar.h>

namespace deririrore::regex::detail {

size_t decode_one(std::string_view s, size_t i, char32_t& cp) {
    const size_t n = s.size();
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t v;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        v = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        v = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        v = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > n) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        v = (v << 6) | (b & 0x3F);
    }
    if ((len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
        (v >= 0xD800 && v <= 0xDFFF)) {
        return 0;
    }
    cp = v;
    return len;
}

bool decode_utf8(std::string_view s, std::vector<char32_t>& cps, std::vector<uint32_t>& offsets) {
    cps.clear();
    offsets.clear();
    cps.reserve(s.size());
    offsets.reserve(s.size() + 1);
    size_t i = 0;
    while (i < s.size()) {
        char32_t cp;
        const size_t len = decode_one(s, i, cp);
        if (len == 0) return false;
        cps.push_back(cp);
        offsets.push_back(static_cast<uint32_t>(i));
        i += len;
    }
    offsets.push_back(static_cast<uint32_t>(s.size()));
    return true;
}

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

bool is_alphabetic(char32_t c) {
    if (c < 0x80) return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC);
}

bool is_numeric(char32_t c) {
    if (c < 0x80) return c >= '0' && c <= '9';
    const auto t = u_charType(static_cast<UChar32>(c));
    return t == U_DECIMAL_DIGIT_NUMBER || t == U_LETTER_NUMBER || t == U_OTHER_NUMBER;
}

bool is_ecma_whitespace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

}  // namespace deririrore::regex::detail
