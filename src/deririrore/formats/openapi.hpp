#pragma once
// The OpenAPI number and UUID formats, decided on the JSON number text.
#include <string_view>

namespace deririrore::formats {

// The number's exact value is an integer within the signed 32-bit (64-bit)
// range: 1.0 and 1e3 are integers, 2147483647.0000000001 is not. False for a
// text that is not a JSON number.
bool check_int32_text(std::string_view number_text) noexcept;
bool check_int64_text(std::string_view number_text) noexcept;
// The nearest double of the number is finite ("double" and "float" alike).
bool check_finite_number_text(std::string_view number_text) noexcept;
// check_builtin_uuid, with "4" at byte 14 and one of 8, 9, a, b (either case)
// at byte 19.
bool check_uuid4(std::string_view text) noexcept;

}  // namespace deririrore::formats
