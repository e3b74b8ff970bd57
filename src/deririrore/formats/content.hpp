#pragma once
// The built-in content encodings (RFC 4648 base64, base64url, base32,
// base32hex, base16) and the "application/json" media type check.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace deririrore::formats {

// Where a byte sequence stops being UTF-8.
struct Utf8Error {
    // Bytes before the fault that form whole UTF-8 characters.
    std::size_t valid_up_to = 0;
    // Length of the invalid sequence (1 to 3), or none when the bytes end
    // inside a sequence that could still have been completed.
    std::optional<uint8_t> error_len;
};

// None when `bytes` is well-formed UTF-8.
std::optional<Utf8Error> validate_utf8(std::string_view bytes) noexcept;

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
