#include "vantorel/recorders/json_body.hpp"

#include "deririrore/value/json.hpp"
#include "deririrore/value/utf8.hpp"
#include "multipart/multipart.hpp"
#include "multipart/text.hpp"

namespace vantorel::recorders {

namespace {

using deririrore::value::append_utf8;

std::string_view trim_unicode_white_space(std::string_view text) noexcept {
    text.remove_prefix(multipart::skip_unicode_white_space(text, 0));
    return multipart::trim_unicode_white_space_end(text);
}

// Drops the white space before each ";" that stands outside a quoted string.
std::string clean_media_type_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            out += c;
            if (c == '\\' && i + 1 < text.size()) {
                out += text[++i];
            } else if (c == '"') {
                quoted = false;
            }
            continue;
        }
        if (c == ';') {
            out.resize(multipart::trim_unicode_white_space_end(out).size());
        } else if (c == '"') {
            quoted = true;
        }
        out += c;
    }
    return out;
}

char ascii_lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool charset_is(std::string_view charset, std::string_view lower_name) noexcept {
    if (charset.size() != lower_name.size()) return false;
    for (std::size_t i = 0; i < charset.size(); ++i)
        if (ascii_lower(charset[i]) != lower_name[i]) return false;
    return true;
}

bool starts_with_bytes(std::string_view body, std::string_view mark) noexcept {
    return body.size() >= mark.size() && body.substr(0, mark.size()) == mark;
}


std::uint32_t byte_at(std::string_view s, std::size_t i) noexcept { return static_cast<unsigned char>(s[i]); }

std::optional<std::string> utf16_to_utf8(std::string_view bytes, bool big_endian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    const auto unit = [&](std::size_t i) -> char32_t {
        return big_endian ? (byte_at(bytes, i) << 8) | byte_at(bytes, i + 1)
                          : byte_at(bytes, i) | (byte_at(bytes, i + 1) << 8);
    };
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const char32_t u = unit(i);
        if (u >= 0xDC00 && u <= 0xDFFF) return std::nullopt;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return std::nullopt;
            const char32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
            i += 2;
            continue;
        }
        append_utf8(out, u);
    }
    return out;
}

std::optional<std::string> utf32_to_utf8(std::string_view bytes, bool big_endian) {
    if (bytes.size() % 4 != 0) return std::nullopt;
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const char32_t u = big_endian ? (byte_at(bytes, i) << 24) | (byte_at(bytes, i + 1) << 16) |
                                            (byte_at(bytes, i + 2) << 8) | byte_at(bytes, i + 3)
                                      : byte_at(bytes, i) | (byte_at(bytes, i + 1) << 8) |
                                            (byte_at(bytes, i + 2) << 16) | (byte_at(bytes, i + 3) << 24);
        if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return std::nullopt;
        append_utf8(out, u);
    }
    return out;
}

std::optional<Value> read_one_json_text(std::string_view text) {
    auto value = deririrore::value::parse_json(text);
    if (!value) return std::nullopt;
    return std::move(*value);
}

}  // namespace

std::optional<http::MediaType> parse_media_type(std::string_view text) {
    const std::string_view trimmed = trim_unicode_white_space(text);
    if (auto parsed = http::parse_media_type(trimmed)) return std::move(*parsed);
    if (auto parsed = http::parse_media_type(clean_media_type_text(trimmed))) return std::move(*parsed);
    return std::nullopt;
}

bool is_xml_subtype(std::string_view subtype) noexcept {
    return subtype == "xml" || (subtype.size() >= 4 && subtype.substr(subtype.size() - 4) == "+xml");
}

DetectedEncoding detect_body_encoding(std::string_view body, const http::MediaType& media_type) noexcept {
    using namespace std::string_view_literals;
    if (starts_with_bytes(body, "\xEF\xBB\xBF"sv)) return {BodyEncoding::Utf8, 3};
    if (starts_with_bytes(body, "\xFF\xFE\x00\x00"sv)) return {BodyEncoding::Utf32Le, 4};
    if (starts_with_bytes(body, "\x00\x00\xFE\xFF"sv)) return {BodyEncoding::Utf32Be, 4};
    if (starts_with_bytes(body, "\xFF\xFE"sv)) return {BodyEncoding::Utf16Le, 2};
    if (starts_with_bytes(body, "\xFE\xFF"sv)) return {BodyEncoding::Utf16Be, 2};
    const std::string* charset = media_type.parameter("charset");
    if (charset == nullptr || charset->size() > 15) return {};
    if (charset_is(*charset, "utf-16") || charset_is(*charset, "utf-16be")) return {BodyEncoding::Utf16Be, 0};
    if (charset_is(*charset, "utf-16le")) return {BodyEncoding::Utf16Le, 0};
    if (charset_is(*charset, "utf-32") || charset_is(*charset, "utf-32be")) return {BodyEncoding::Utf32Be, 0};
    if (charset_is(*charset, "utf-32le")) return {BodyEncoding::Utf32Le, 0};
    return {};
}

std::optional<std::string> transcode_to_utf8(std::string_view bytes, BodyEncoding encoding) {
    switch (encoding) {
        case BodyEncoding::Utf8:
            return std::string(bytes);
        case BodyEncoding::Utf16Le:
            return utf16_to_utf8(bytes, false);
        case BodyEncoding::Utf16Be:
            return utf16_to_utf8(bytes, true);
        case BodyEncoding::Utf32Le:
            return utf32_to_utf8(bytes, false);
        case BodyEncoding::Utf32Be:
            return utf32_to_utf8(bytes, true);
    }
    return std::nullopt;
}

std::optional<Value> decode_json_body(std::string_view body, const http::MediaType& media_type) {
    const DetectedEncoding detected = detect_body_encoding(body, media_type);
    body.remove_prefix(detected.mark_length);
    if (detected.encoding == BodyEncoding::Utf8) return read_one_json_text(body);
    const std::optional<std::string> text = transcode_to_utf8(body, detected.encoding);
    if (!text) return std::nullopt;
    return read_one_json_text(*text);
}

Value body_as_string(std::string_view body) { return Value::string(multipart::utf8_lossy(body)); }

}  // namespace vantorel::recorders
