#pragma once
// Shared between the host-name, IDNA and e-mail units of this library.
#include <string_view>

namespace deririrore::formats::detail {

// The ASCII host-name rules that both "hostname" checkers start with.
bool ascii_hostname_rules(std::string_view text) noexcept;

}  // namespace deririrore::formats::detail
