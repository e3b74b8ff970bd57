#pragma once
// Well-formed UTF-8: sequence checks and encoding, shared by every reader of untrusted bytes.
#include <cstddef>
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

// Appends the encoding of a code point below 0x110000.
void append_utf8(std::string& out, char32_t cp);

}  // namespace deririrore::value
