#pragma once
// The built-in content encodings (RFC 4648 base64, base64url, base32,
// base32hex, base16) and the "application/json" media type check.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "deririrore/value/utf8.hpp"

namespace deririrore::formats {


using value::Utf8Error;

// None when `bytes` is well-formed UTF-8.
inline std::optional<Utf8Error> validate_utf8(std::string_view bytes) noexcept { return value::check_utf8(bytes); }

enum class DecodeStatus : uint8_t { Decoded, Undecodable, NotUtf8 };

struct DecodeResult {
    DecodeStatus status = DecodeStatus::Undecodable;
    // The decoded bytes, for Decoded (UTF-8 text) and NotUtf8.
    std::string bytes;
    // Set for NotUtf8.
    Utf8Error utf8_error;
};

// Checks answer whether the text decodes; decoders also require UTF-8 output.
bool check_base64(std::string_view text) noexcept;
DecodeResult decode_base64(std::string_view text);
bool check_base64url(std::string_view text) noexcept;
DecodeResult decode_base64url(std::string_view text);
bool check_base32(std::string_view text) noexcept;
DecodeResult decode_base32(std::string_view text);
bool check_base32hex(std::string_view text) noexcept;
DecodeResult decode_base32hex(std::string_view text);
// Hexadecimal of either case (letters are upper-cased before decoding).
bool check_base16(std::string_view text);
DecodeResult decode_base16(std::string_view text);

// Exactly one JSON document (RFC 8259), white space around it allowed;
// numbers of any size.
bool check_json_media_type(std::string_view text) noexcept;

using ContentCheckFn = bool (*)(std::string_view);
using ContentDecodeFn = DecodeResult (*)(std::string_view);

struct BuiltinContentEncoding {
    std::string_view name;
    ContentCheckFn check;
    ContentDecodeFn decode;
};

struct BuiltinContentMediaType {
    std::string_view name;
    ContentCheckFn check;
};

// The tables, and lookups by exact, case-sensitive name (nullptr when absent).
std::span<const BuiltinContentEncoding> builtin_content_encodings() noexcept;
std::span<const BuiltinContentMediaType> builtin_content_media_types() noexcept;
const BuiltinContentEncoding* find_builtin_content_encoding(std::string_view name) noexcept;
const BuiltinContentMediaType* find_builtin_content_media_type(std::string_view name) noexcept;

}  // namespace deririrore::formats
