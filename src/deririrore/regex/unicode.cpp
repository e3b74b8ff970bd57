#include "deririrore/regex/unicode.hpp"

#include <unicode/uchar.h>

namespace deririrore::regex::detail {

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
