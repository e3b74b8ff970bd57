#include "deririrore/formats/content.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <array>
#include <limits>

#include "deririrore/value/utf8.hpp"

namespace deririrore::formats {
namespace {

using Alphabet = std::array<int8_t, 256>;

Alphabet make_alphabet(std::string_view chars) {
    Alphabet a{};
    a.fill(-1);
    for (std::size_t i = 0; i < chars.size(); ++i) a[static_cast<unsigned char>(chars[i])] = static_cast<int8_t>(i);
    return a;
}

const Alphabet& base64_alphabet() {
    static const Alphabet a = make_alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
    return a;
}
const Alphabet& base64url_alphabet() {
    static const Alphabet a = make_alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
    return a;
}
const Alphabet& base32_alphabet() {
    static const Alphabet a = make_alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
    return a;
}
const Alphabet& base32hex_alphabet() {
    static const Alphabet a = make_alphabet("0123456789ABCDEFGHIJKLMNOPQRSTUV");
    return a;
}
const Alphabet& base16_alphabet() {
    static const Alphabet a = make_alphabet("0123456789ABCDEF");
    return a;
}

// Strict RFC 4648 decoding with `bits` bits per character and `group` characters
// per padded block: padding required, "=" only as a valid final padding run,
// unused bits of the last character zero. Writes to `out` when given.
bool decode_rfc4648(std::string_view t, const Alphabet& alphabet, unsigned bits, std::size_t group,
                    std::string* out) {
    if (t.size() % group != 0) return false;
    std::size_t data_len = t.size();
    while (data_len > 0 && t[data_len - 1] == '=') --data_len;
    const std::size_t padding = t.size() - data_len;
    if (padding > 0) {
        // The data characters of the last block must fill a whole number of
        // bytes with fewer than `bits` bits left over.
        const std::size_t last = group - padding;
        if (padding >= group || (last * bits) / 8 == 0 || ((last - 1) * bits) / 8 == (last * bits) / 8) {
            return false;
        }
    }
    if (out) out->reserve(data_len * bits / 8);
    uint32_t acc = 0;
    unsigned acc_bits = 0;
    for (std::size_t i = 0; i < data_len; ++i) {
        const int v = alphabet[static_cast<unsigned char>(t[i])];
        if (v < 0) return false;
        acc = (acc << bits) | static_cast<uint32_t>(v);
        acc_bits += bits;
        if (acc_bits >= 8) {
            acc_bits -= 8;
            if (out) out->push_back(static_cast<char>((acc >> acc_bits) & 0xFF));
            acc &= (1u << acc_bits) - 1;
        }
    }
    return acc == 0;
}

bool decode_hex_upper(std::string_view t, std::string* out) {
    if (t.size() % 2 != 0) return false;
    const Alphabet& a = base16_alphabet();
    if (out) out->reserve(t.size() / 2);
    for (std::size_t i = 0; i < t.size(); i += 2) {
        const int hi = a[static_cast<unsigned char>(t[i])];
        const int lo = a[static_cast<unsigned char>(t[i + 1])];
        if (hi < 0 || lo < 0) return false;
        if (out) out->push_back(static_cast<char>(hi * 16 + lo));
    }
    return true;
}

std::string upper_case(std::string_view t) {
    std::string upper;
    bool ascii = true;
    for (const char c : t) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        upper.assign(t);
        for (char& c : upper) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        }
        return upper;
    }
    icu::UnicodeString::fromUTF8(icu::StringPiece(t.data(), static_cast<int32_t>(t.size())))
        .toUpper(icu::Locale::getRoot())
        .toUTF8String(upper);
    return upper;
}

bool decode_base16_into(std::string_view t, std::string* out) {
    if (decode_hex_upper(t, out)) return true;
    if (out) out->clear();
    // ICU measures texts in 32-bit lengths; hex that long is out of reach anyway.
    if (t.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return false;
    return decode_hex_upper(upper_case(t), out);
}

DecodeResult finish(bool decoded, std::string bytes) {
    DecodeResult r;
    if (!decoded) return r;
    if (const auto err = validate_utf8(bytes)) {
        r.status = DecodeStatus::NotUtf8;
        r.utf8_error = *err;
    } else {
        r.status = DecodeStatus::Decoded;
    }
    r.bytes = std::move(bytes);
    return r;
}

DecodeResult decode_with(std::string_view t, const Alphabet& alphabet, unsigned bits, std::size_t group) {
    std::string bytes;
    const bool ok = decode_rfc4648(t, alphabet, bits, group, &bytes);
    return finish(ok, std::move(bytes));
}

const std::array<BuiltinContentEncoding, 5> encodings = {{
    {"base64", &check_base64, &decode_base64},
    {"base64url", &check_base64url, &decode_base64url},
    {"base32", &check_base32, &decode_base32},
    {"base32hex", &check_base32hex, &decode_base32hex},
    {"base16", &check_base16, &decode_base16},
}};

const std::array<BuiltinContentMediaType, 1> media_types = {{
    {"application/json", &check_json_media_type},
}};

}  // namespace

bool check_base64(std::string_view t) noexcept { return decode_rfc4648(t, base64_alphabet(), 6, 4, nullptr); }
DecodeResult decode_base64(std::string_view t) { return decode_with(t, base64_alphabet(), 6, 4); }
bool check_base64url(std::string_view t) noexcept {
    return decode_rfc4648(t, base64url_alphabet(), 6, 4, nullptr);
}
DecodeResult decode_base64url(std::string_view t) { return decode_with(t, base64url_alphabet(), 6, 4); }
bool check_base32(std::string_view t) noexcept { return decode_rfc4648(t, base32_alphabet(), 5, 8, nullptr); }
DecodeResult decode_base32(std::string_view t) { return decode_with(t, base32_alphabet(), 5, 8); }
bool check_base32hex(std::string_view t) noexcept {
    return decode_rfc4648(t, base32hex_alphabet(), 5, 8, nullptr);
}
DecodeResult decode_base32hex(std::string_view t) { return decode_with(t, base32hex_alphabet(), 5, 8); }
bool check_base16(std::string_view t) { return decode_base16_into(t, nullptr); }
DecodeResult decode_base16(std::string_view t) {
    std::string bytes;
    const bool ok = decode_base16_into(t, &bytes);
    return finish(ok, std::move(bytes));
}

std::span<const BuiltinContentEncoding> builtin_content_encodings() noexcept { return encodings; }
std::span<const BuiltinContentMediaType> builtin_content_media_types() noexcept { return media_types; }

const BuiltinContentEncoding* find_builtin_content_encoding(std::string_view name) noexcept {
    for (const auto& e : encodings) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

const BuiltinContentMediaType* find_builtin_content_media_type(std::string_view name) noexcept {
    for (const auto& m : media_types) {
        if (m.name == name) return &m;
    }
    return nullptr;
}

}  // namespace deririrore::formats
