#include "zavova/text_util.hpp"

#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"

namespace zavova {

using deririrore::value::percent_decode;

std::optional<std::string> percent_decode_utf8(std::string_view text) {
    std::string out = percent_decode(text);
    if (!deririrore::value::is_valid_utf8(out)) return std::nullopt;
    return out;
}

}  // namespace zavova
