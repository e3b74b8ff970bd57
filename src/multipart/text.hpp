#pragma once
// Small text helpers of the body decoders.
#include <cstddef>
#include <string>
#include <string_view>

namespace multipart {

bool ascii_iequals(std::string_view a, std::string_view b) noexcept;
// Position of the first character at or after `pos` that is not Unicode White_Space (UTF-8 text).
std::size_t skip_unicode_white_space(std::string_view text, std::size_t pos) noexcept;
std::string_view trim_unicode_white_space_end(std::string_view text) noexcept;

}  // namespace multipart
