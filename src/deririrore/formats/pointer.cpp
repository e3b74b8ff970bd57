#include "deririrore/formats/pointer.hpp"

#include <cstddef>

namespace deririrore::formats {
namespace {

// Every "~" must be followed by "0" or "1"; any other byte is accepted.
bool check_pointer_tail(std::string_view t) noexcept {
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '~') {
            if (i + 1 >= t.size() || (t[i + 1] != '0' && t[i + 1] != '1')) return false;
            ++i;
        }
    }
    return true;
}

constexpr bool is_hex(char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool check_json_pointer(std::string_view t) noexcept {
    if (t.empty()) return true;
    return t[0] == '/' && check_pointer_tail(t.substr(1));
}

bool check_relative_json_pointer(std::string_view t) noexcept {
    if (t.empty() || t[0] < '0' || t[0] > '9') return false;
    std::size_t p = 1;
    if (t[0] != '0') {
        while (p < t.size() && t[p] >= '0' && t[p] <= '9') ++p;
    }
    if (p == t.size()) return true;
    if (t[p] == '#') return p + 1 == t.size();
    if (t[p] == '/') return check_pointer_tail(t.substr(p + 1));
    return false;
}

bool check_builtin_uuid(std::string_view t) noexcept {
    if (t.size() != 36) return false;
    for (std::size_t i = 0; i < 36; ++i) {
        const bool dash_position = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash_position ? t[i] != '-' : !is_hex(t[i])) return false;
    }
    return true;
}

}  // namespace deririrore::formats
