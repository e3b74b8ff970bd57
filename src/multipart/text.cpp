#include "multipart/text.hpp"

#include <cstdint>

#include "deririrore/value/utf8.hpp"
#include "multipart/multipart.hpp"

namespace multipart {

namespace {

bool is_white_space(char32_t c) noexcept {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

using deririrore::value::decode_utf8_sequence;
using deririrore::value::read_utf8_sequence;

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
        const std::size_t n = decode_utf8_sequence(text, pos, cp);
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
        const std::size_t n = decode_utf8_sequence(text, start, cp);
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
        while (j < bytes.size() && (n = decode_utf8_sequence(bytes, j, cp)) != 0) j += n;
        out.append(bytes.substr(i, j - i));
        if (j == bytes.size()) break;
        out.append("\xEF\xBF\xBD");
        // An ill-formed sequence becomes one U+FFFD per maximal prefix, as the Encoding Standard substitutes.
        i = j + read_utf8_sequence(bytes, j).length;
    }
}

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    append_utf8_lossy(out, bytes);
    return out;
}

}  // namespace multipart
