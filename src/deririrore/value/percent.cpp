#include "deririrore/value/percent.hpp"

#include "deririrore/value/utf8.hpp"

namespace deririrore::value {

int hex_digit_value(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decode(std::string_view text, bool plus_as_space) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = hex_digit_value(text[i + 1]);
            const int lo = hex_digit_value(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(plus_as_space && text[i] == '+' ? ' ' : text[i]);
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

}  // namespace deririrore::value
