#include "zavova/text_util.hpp"

#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"

namespace zavova {

using deririrore::value::percent_decode;

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
