#pragma once
// Character data and UTF-8 helpers shared by the pattern parsers.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/utf8.hpp"

namespace deririrore::regex::detail {

// Decodes UTF-8 into code points plus the byte offset of each (offsets has one extra entry, the
// text length). Returns false for malformed input: overlong forms, surrogates, truncation.
bool decode_utf8(std::string_view text, std::vector<char32_t>& cps, std::vector<uint32_t>& offsets);

// Decodes one scalar value at `pos`; returns its length in bytes, 0 when malformed.
inline size_t decode_one(std::string_view text, size_t pos, char32_t& cp) {
    return value::decode_utf8_sequence(text, pos, cp);
}

using value::append_utf8;

// The White_Space property (what the engines' syntax skips in whitespace-insensitive mode).
bool is_white_space(char32_t c);
bool is_alphabetic(char32_t c);
// General category Nd, Nl or No.
bool is_numeric(char32_t c);

// The ECMA-262 white-space and line-terminator set.
bool is_ecma_whitespace(char32_t c);

}  // namespace deririrore::regex::detail
