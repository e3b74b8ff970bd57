#include "zavova/text_util.hpp"

#include "deririrore/value/utf8.hpp"

namespace zavova {

namespace {

int hex_value(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            const int hi = i + 1 < text.size() ? hex_value(text[i + 1]) : -1;
            const int lo = i + 2 < text.size() ? hex_value(text[i + 2]) : -1;
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace

std::size_t utf8_sequence_length(std::string_view s, std::size_t i) noexcept {
    return deririrore::value::utf8_sequence_length(s, i);
}

std::optional<std::string> percent_decode_utf8(std::string_view text) {
    std::string out = percent_decode(text);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t n = utf8_sequence_length(out, i);
        if (n == 0) return std::nullopt;
        i += n;
    }
    return out;
}

std::string percent_decode_lossy(std::string_view text) {
    const std::string raw = percent_decode(text);
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
        const std::size_t n = utf8_sequence_length(raw, i);
        if (n == 0) {
            out.append("\xEF\xBF\xBD");
            ++i;
        } else {
            out.append(raw, i, n);
            i += n;
        }
    }
    return out;
}

}  // namespace zavova
