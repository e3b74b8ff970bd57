// Media-type parser: never crashes, and what it accepts formats into a text that parses back to
// the same media type and formats to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "http/media_type.hpp"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool is_lower_token(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if ((c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F ||
            c == '/' || c == ';' || c == '"')
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)http::is_text_media_type(text);
    const bool xml = http::is_xml_media_type(text);
    auto parsed = http::parse_media_type(text);
    if (!parsed) {
        check(parsed.error().offset <= size);
        check(!xml);
        return 0;
    }
    check(is_lower_token(parsed->type));
    check(is_lower_token(parsed->subtype));
    for (const auto& p : parsed->parameters) check(is_lower_token(p.name));
    const auto [type, subtype] = http::split_media_type(*parsed);
    (void)http::is_json_media_type(type, subtype);
    check(xml == (subtype == "xml" || (subtype.size() > 3 && subtype.substr(subtype.size() - 4) == "+xml")));

    const std::string formatted = http::format_media_type(*parsed);
    auto again = http::parse_media_type(formatted);
    check(again.has_value());
    check(*again == *parsed);
    check(http::format_media_type(*again) == formatted);
    check(http::media_range_matches(*parsed, *again));
    return 0;
}
