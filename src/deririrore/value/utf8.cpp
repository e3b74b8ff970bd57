#include "deririrore/value/utf8.hpp"

namespace deririrore::value {

Utf8Sequence read_utf8_sequence(std::string_view s, std::size_t i) noexcept {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return {1, true, false};
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return {1, false, false};
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return {k, false, true};
        const auto d = static_cast<unsigned char>(s[i + k]);
        if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return {k, false, false};
    }
    return {need + 1, true, false};
}

std::size_t utf8_sequence_length(std::string_view s, std::size_t i) noexcept {
    const Utf8Sequence seq = read_utf8_sequence(s, i);
    return seq.valid ? seq.length : 0;
}

std::size_t decode_utf8_sequence(std::string_view s, std::size_t i, char32_t& cp) noexcept {
    const Utf8Sequence seq = read_utf8_sequence(s, i);
    if (!seq.valid) return 0;
    static constexpr unsigned char kLeadMask[] = {0x7F, 0x1F, 0x0F, 0x07};
    char32_t v = static_cast<unsigned char>(s[i]) & kLeadMask[seq.length - 1];
    for (std::size_t k = 1; k < seq.length; ++k) v = (v << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    cp = v;
    return seq.length;
}

bool is_valid_utf8(std::string_view s) noexcept {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8_sequence_length(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::optional<Utf8Error> check_utf8(std::string_view s) noexcept {
    for (std::size_t i = 0; i < s.size();) {
        const Utf8Sequence seq = read_utf8_sequence(s, i);
        if (seq.truncated) return Utf8Error{i, std::nullopt};
        if (!seq.valid) return Utf8Error{i, static_cast<std::uint8_t>(seq.length)};
        i += seq.length;
    }
    return std::nullopt;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace deririrore::value
