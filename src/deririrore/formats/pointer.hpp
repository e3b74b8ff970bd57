#pragma once
// JSON Pointer (RFC 6901), Relative JSON Pointer and UUID text checks.
#include <string_view>

namespace deririrore::formats {

bool check_json_pointer(std::string_view text) noexcept;
bool check_relative_json_pointer(std::string_view text) noexcept;
// 8-4-4-4-12 hexadecimal digits of either case; version and variant unchecked.
bool check_builtin_uuid(std::string_view text) noexcept;

}  // namespace deririrore::formats
