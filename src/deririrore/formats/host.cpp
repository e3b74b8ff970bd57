#include "deririrore/formats/host.hpp"

#include <array>
#include <cstdint>

#include "deririrore/formats/host_internal.hpp"

namespace deririrore::formats {
namespace {

constexpr std::array<bool, 256> make_ldh_table() {
    std::array<bool, 256> t{};
    for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
    for (int c = '0'; c <= '9'; ++c) t[c] = true;
    t['-'] = true;
    t['.'] = true;
    return t;
}
constexpr std::array<bool, 256> ldh_or_dot = make_ldh_table();

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

constexpr bool is_hex(char c) noexcept {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

namespace detail {

bool ascii_hostname_rules(std::string_view t) noexcept {
    if (t.empty() || t.size() > 253 || t.back() == '.') return false;
    std::size_t label_start = 0;
    for (std::size_t i = 0; i <= t.size(); ++i) {
        if (i == t.size() || t[i] == '.') {
            const std::size_t len = i - label_start;
            if (len == 0 || len > 63) return false;
            if (t[label_start] == '-' || t[i - 1] == '-') return false;
            label_start = i + 1;
            continue;
        }
        if (!ldh_or_dot[static_cast<unsigned char>(t[i])]) return false;
    }
    return true;
}

}  // namespace detail

bool check_legacy_hostname(std::string_view text) noexcept {
    return detail::ascii_hostname_rules(text);
}

bool check_hostname_labels(std::string_view text) noexcept {
    if (!detail::ascii_hostname_rules(text)) return false;
    std::size_t label_start = 0;
    while (label_start <= text.size()) {
        std::size_t end = text.find('.', label_start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view label = text.substr(label_start, end - label_start);
        if (label.size() >= 4 && label[2] == '-' && label[3] == '-') {
            if (label[0] != 'x' || label[1] != 'n') return false;
            // A label is at most 63 bytes, so at most 59 code points decode.
            std::array<char32_t, 64> decoded{};
            const auto n = punycode_decode(label.substr(4), decoded.data(), decoded.size());
            if (!n) return false;
            if (!check_ulabel_rules(std::u32string_view(decoded.data(), *n))) return false;
        }
        label_start = end + 1;
    }
    return true;
}

bool check_ipv4(std::string_view t) noexcept {
    if (t.size() > 15) return false;
    std::size_t p = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (p >= t.size() || t[p] != '.') return false;
            ++p;
        }
        const std::size_t start = p;
        int value = 0;
        while (p < t.size() && is_digit(t[p]) && p - start < 3) {
            value = value * 10 + (t[p] - '0');
            ++p;
        }
        const std::size_t len = p - start;
        if (len == 0 || value > 255) return false;
        if (len > 1 && t[start] == '0') return false;
    }
    return p == t.size();
}

bool check_ipv6(std::string_view t) noexcept {
    std::size_t p = 0;
    int groups = 0;
    bool compressed = false;
    if (t.size() >= 2 && t[0] == ':' && t[1] == ':') {
        compressed = true;
        p = 2;
        if (p == t.size()) return true;
    } else if (!t.empty() && t[0] == ':') {
        return false;
    }
    while (true) {
        const std::size_t start = p;
        while (p < t.size() && is_hex(t[p])) ++p;
        if (p < t.size() && t[p] == '.') {
            // A dotted quad may only stand for the last two groups.
            if (!check_ipv4(t.substr(start))) return false;
            groups += 2;
            break;
        }
        const std::size_t len = p - start;
        if (len == 0 || len > 4) return false;
        ++groups;
        if (groups > 8) return false;
        if (p == t.size()) break;
        if (t[p] != ':') return false;
        ++p;
        if (p < t.size() && t[p] == ':') {
            if (compressed) return false;
            compressed = true;
            ++p;
            if (p == t.size()) break;
        } else if (p == t.size()) {
            return false;
        }
    }
    // "::" stands for at least one zero group.
    return compressed ? groups <= 7 : groups == 8;
}

}  // namespace deririrore::formats
