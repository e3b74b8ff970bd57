#pragma once
// Well-formed UTF-8: sequence checks and encoding, shared by every reader of untrusted bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deririrore::value {

// How the bytes at one position read as UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
struct Utf8Sequence {
    // Bytes of the sequence when well formed; otherwise the bytes up to and including the one
    // that breaks it (at least 1), the span decoders report as invalid.
    std::size_t length = 0;
    bool valid = false;
    // Not well formed only because the text ends inside the sequence.
    bool truncated = false;
};

// The sequence starting at s[i]; i must be below s.size().
Utf8Sequence read_utf8_sequence(std::string_view s, std::size_t i) noexcept;
// Length of the well-formed sequence starting at s[i], or 0.
std::size_t utf8_sequence_length(std::string_view s, std::size_t i) noexcept;
// utf8_sequence_length, with the scalar value of a well-formed sequence stored in `cp`.
std::size_t decode_utf8_sequence(std::string_view s, std::size_t i, char32_t& cp) noexcept;
bool is_valid_utf8(std::string_view s) noexcept;

// Where a byte sequence stops being UTF-8.
struct Utf8Error {
    // Bytes before the fault that form whole UTF-8 characters.
    std::size_t valid_up_to = 0;
    // Length of the invalid sequence (1 to 3), or none when the bytes end inside a sequence
    // that could still have been completed.
    std::optional<std::uint8_t> error_len;
};

// None when `bytes` is well-formed UTF-8.
std::optional<Utf8Error> check_utf8(std::string_view bytes) noexcept;

// Appends the encoding of a code point below 0x110000.
void append_utf8(std::string& out, char32_t cp);

}  // namespace deririrore::value
