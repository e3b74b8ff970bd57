#pragma once
// Inspection of the calling thread's "regex" cache, for tests.
#include <string>
#include <vector>

namespace deririrore::formats::detail {

// The cached pattern texts in slot order.
std::vector<std::string> regex_cache_patterns();

}  // namespace deririrore::formats::detail
