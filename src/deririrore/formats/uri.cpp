#include "deririrore/formats/uri.hpp"

#include <array>

#include "deririrore/formats/host.hpp"

namespace deririrore::formats {
namespace {

enum : uint8_t {
    Unreserved = 1,  // unreserved and sub-delims
    Authority = 2,   // those, ":" and "@"
    Path = 4,        // those and "/"
    QueryFragment = 8,
    Percent = 16,
};

constexpr std::array<uint8_t, 256> make_classes() {
    std::array<uint8_t, 256> t{};
    constexpr uint8_t all = Unreserved | Authority | Path | QueryFragment;
    for (int c = 'a'; c <= 'z'; ++c) t[c] = all;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = all;
    for (int c = '0'; c <= '9'; ++c) t[c] = all;
    for (const char c : std::string_view("!$&'()*+,-.;=_~")) t[static_cast<unsigned char>(c)] = all;
    t[':'] = t['@'] = Authority | Path | QueryFragment;
    t['/'] = Path | QueryFragment;
    t['?'] = QueryFragment;
    t['%'] = Percent;
    return t;
}
constexpr std::array<uint8_t, 256> classes = make_classes();

constexpr uint8_t class_of(char c) noexcept { return classes[static_cast<unsigned char>(c)]; }

constexpr bool is_alpha(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool is_hex(char c) noexcept {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
constexpr bool is_scheme_char(char c) noexcept {
    return is_alpha(c) || is_digit(c) || c == '+' || c == '-' || c == '.';
}

// The scheme's ":" position, or npos when the text does not begin with one.
std::size_t scheme_colon(std::string_view t) noexcept {
    if (t.empty() || !is_alpha(t[0])) return std::string_view::npos;
    std::size_t q = 1;
    while (q < t.size() && is_scheme_char(t[q])) ++q;
    return (q < t.size() && t[q] == ':') ? q : std::string_view::npos;
}

// Reads bytes of class `mask` and percent-encoded triplets; false on a bad "%".
bool scan_class(std::string_view t, std::size_t& p, uint8_t mask) noexcept {
    while (p < t.size()) {
        const uint8_t cls = class_of(t[p]);
        if (cls & mask) {
            ++p;
        } else if (cls & Percent) {
            if (p + 2 >= t.size() || !is_hex(t[p + 1]) || !is_hex(t[p + 2])) return false;
            p += 3;
        } else {
            break;
        }
    }
    return true;
}

bool is_ucschar(char32_t c) noexcept {
    if (c >= 0xA0 && c <= 0xD7FF) return true;
    if (c >= 0xF900 && c <= 0xFDCF) return true;
    if (c >= 0xFDF0 && c <= 0xFFEF) return true;
    if (c >= 0x10000 && c <= 0xDFFFD) return (c & 0xFFFF) <= 0xFFFD;
    return c >= 0xE1000 && c <= 0xEFFFD;
}

bool is_iprivate(char32_t c) noexcept {
    return (c >= 0xE000 && c <= 0xF8FF) || (c >= 0xF0000 && c <= 0xFFFFD) ||
           (c >= 0x100000 && c <= 0x10FFFD);
}

// Decodes one well-formed UTF-8 sequence at `p`, advancing past it.
std::optional<char32_t> decode_utf8(std::string_view t, std::size_t& p) noexcept {
    const auto b0 = static_cast<unsigned char>(t[p]);
    std::size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        ++p;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2; cp = b0 & 0x1F; min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3; cp = b0 & 0x0F; min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4; cp = b0 & 0x07; min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (p + len > t.size()) return std::nullopt;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(t[p + i]);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    p += len;
    return cp;
}

// The full RFC 3986 / RFC 3987 grammar over a text.
class UriParser {
public:
    UriParser(std::string_view text, bool iri) noexcept : t_(text), iri_(iri) {}

    bool parse(bool scheme_required) noexcept {
        const std::size_t colon = scheme_colon(t_);
        const bool has_scheme = colon != std::string_view::npos;
        if (scheme_required && !has_scheme) return false;
        if (has_scheme) p_ = colon + 1;

        if (t_.substr(p_, 2) == "//") {
            p_ += 2;
            if (!authority()) return false;
        } else if (!has_scheme) {
            // path-noscheme: a relative path's first segment holds no ":".
            for (std::size_t i = p_; i < t_.size() && t_[i] != '/' && t_[i] != '?' && t_[i] != '#'; ++i) {
                if (t_[i] == ':') return false;
            }
        }
        if (!run(Path, false)) return false;
        if (p_ < t_.size() && t_[p_] == '?') {
            ++p_;
            if (!run(QueryFragment, true)) return false;
        }
        if (p_ < t_.size() && t_[p_] == '#') {
            ++p_;
            if (!run(QueryFragment, false)) return false;
        }
        return p_ == t_.size();
    }

private:
    // Reads characters of the ASCII class `mask`, percent-encoded triplets and,
    // for IRIs, ucschar (and iprivate where `private_ok`), up to the first
    // other character. False on a malformed "%" or non-ASCII that is not allowed.
    bool run(uint8_t mask, bool private_ok) noexcept {
        return run_in(p_, t_.size(), mask, private_ok);
    }

    bool run_in(std::size_t& p, std::size_t end, uint8_t mask, bool private_ok) const noexcept {
        while (p < end) {
            const auto b = static_cast<unsigned char>(t_[p]);
            if (b >= 0x80) {
                if (!iri_) return false;
                std::size_t q = p;
                const auto cp = decode_utf8(t_.substr(0, end), q);
                if (!cp || !(is_ucschar(*cp) || (private_ok && is_iprivate(*cp)))) return false;
                p = q;
                continue;
            }
            const uint8_t cls = classes[b];
            if (cls & mask) {
                ++p;
            } else if (cls & Percent) {
                if (p + 2 >= end || !is_hex(t_[p + 1]) || !is_hex(t_[p + 2])) return false;
                p += 3;
            } else {
                break;
            }
        }
        return true;
    }

    // The whole of [start, end) must be of class `mask`.
    bool all_of(std::size_t start, std::size_t end, uint8_t mask) const noexcept {
        std::size_t p = start;
        return run_in(p, end, mask, false) && p == end;
    }

    bool authority() noexcept {
        std::size_t end = p_;
        while (end < t_.size() && t_[end] != '/' && t_[end] != '?' && t_[end] != '#') ++end;
        const std::string_view auth = t_.substr(p_, end - p_);
        std::size_t host_start = p_;
        if (const std::size_t at = auth.find('@'); at != std::string_view::npos) {
            // userinfo: unreserved, sub-delims, ":" and percent-encoded.
            if (!all_of(p_, p_ + at, Authority)) return false;
            host_start = p_ + at + 1;
        }
        const std::string_view host_port = t_.substr(host_start, end - host_start);
        std::size_t port_start;
        if (!host_port.empty() && host_port[0] == '[') {
            const std::size_t close = host_port.find(']');
            if (close == std::string_view::npos || !ip_literal(host_port.substr(1, close - 1))) return false;
            const std::string_view rest = host_port.substr(close + 1);
            if (!rest.empty() && rest[0] != ':') return false;
            port_start = rest.empty() ? end : host_start + close + 2;
        } else {
            const std::size_t colon = host_port.find(':');
            const std::size_t host_end = colon == std::string_view::npos ? end : host_start + colon;
            if (!all_of(host_start, host_end, Unreserved)) return false;
            port_start = colon == std::string_view::npos ? end : host_end + 1;
        }
        for (std::size_t i = port_start; i < end; ++i) {
            if (!is_digit(t_[i])) return false;
        }
        p_ = end;
        return true;
    }

    static bool ip_literal(std::string_view inner) noexcept {
        if (!inner.empty() && (inner[0] == 'v' || inner[0] == 'V')) {
            // IPvFuture: "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" )
            std::size_t i = 1;
            while (i < inner.size() && is_hex(inner[i])) ++i;
            if (i == 1 || i >= inner.size() || inner[i] != '.') return false;
            ++i;
            if (i == inner.size()) return false;
            for (; i < inner.size(); ++i) {
                if (!(class_of(inner[i]) & Unreserved) && inner[i] != ':') return false;
            }
            return true;
        }
        return check_ipv6(inner);
    }

    std::string_view t_;
    bool iri_;
    std::size_t p_ = 0;
};

bool is_template_operator(char c) noexcept {
    switch (c) {
        case '+': case '#': case '.': case '/': case ';': case '?': case '&': case '=':
        case ',': case '!': case '@': case '|':
            return true;
        default:
            return false;
    }
}

// A varchar at `p`: its length, or 0 when there is none.
std::size_t varchar_at(std::string_view t, std::size_t p) noexcept {
    if (p >= t.size()) return 0;
    const char c = t[p];
    if (is_alpha(c) || is_digit(c) || c == '_') return 1;
    // The triplet must not end the text: a "}" still has to follow.
    if (c == '%' && p + 3 < t.size() && is_hex(t[p + 1]) && is_hex(t[p + 2])) return 3;
    return 0;
}

}  // namespace

UriScan check_uri_rfc3986(std::string_view t, bool scheme_required) noexcept {
    std::size_t p = 0;
    const std::size_t colon = scheme_colon(t);
    const bool has_scheme = colon != std::string_view::npos;
    if (scheme_required && !has_scheme) return UriScan::Invalid;
    if (has_scheme) p = colon + 1;

    if (t.substr(p, 2) == "//") {
        p += 2;
        const std::size_t start = p;
        if (!scan_class(t, p, Authority)) return UriScan::Invalid;
        if (p < t.size() && (t[p] == '[' || t[p] == ']')) return UriScan::Undecided;
        std::string_view host_port = t.substr(start, p - start);
        if (const std::size_t at = host_port.find('@'); at != std::string_view::npos) {
            host_port.remove_prefix(at + 1);
        }
        if (host_port.find('@') != std::string_view::npos) return UriScan::Invalid;
        if (const std::size_t c = host_port.find(':'); c != std::string_view::npos) {
            for (std::size_t i = c + 1; i < host_port.size(); ++i) {
                if (!is_digit(host_port[i])) return UriScan::Invalid;
            }
        }
    } else if (!has_scheme) {
        for (std::size_t i = p; i < t.size() && t[i] != '/' && t[i] != '?' && t[i] != '#'; ++i) {
            if (t[i] == ':') return UriScan::Invalid;
        }
    }
    if (!scan_class(t, p, Path)) return UriScan::Invalid;
    if (p < t.size() && t[p] == '?') {
        ++p;
        if (!scan_class(t, p, QueryFragment)) return UriScan::Invalid;
    }
    if (p < t.size() && t[p] == '#') {
        ++p;
        if (!scan_class(t, p, QueryFragment)) return UriScan::Invalid;
    }
    return p == t.size() ? UriScan::Valid : UriScan::Invalid;
}

bool parse_uri_reference(std::string_view text, bool iri, bool scheme_required) noexcept {
    return UriParser(text, iri).parse(scheme_required);
}

bool check_uri(std::string_view text) noexcept {
    switch (check_uri_rfc3986(text, true)) {
        case UriScan::Valid: return true;
        case UriScan::Invalid: return false;
        case UriScan::Undecided: break;
    }
    return parse_uri_reference(text, false, true);
}

bool check_uri_reference(std::string_view text) noexcept {
    switch (check_uri_rfc3986(text, false)) {
        case UriScan::Valid: return true;
        case UriScan::Invalid: return false;
        case UriScan::Undecided: break;
    }
    return parse_uri_reference(text, false, false);
}

bool check_iri(std::string_view text) noexcept { return parse_uri_reference(text, true, true); }

bool check_iri_reference(std::string_view text) noexcept { return parse_uri_reference(text, true, false); }

std::optional<std::size_t> parse_varspec(std::string_view t, std::size_t p) noexcept {
    std::size_t n = varchar_at(t, p);
    if (n == 0) return std::nullopt;
    p += n;
    while (true) {
        while ((n = varchar_at(t, p)) != 0) p += n;
        if (p < t.size() && t[p] == '.') {
            ++p;
            n = varchar_at(t, p);
            if (n == 0) return std::nullopt;
            p += n;
            continue;
        }
        break;
    }
    if (p < t.size() && t[p] == '*') return p + 1;
    if (p < t.size() && t[p] == ':') {
        ++p;
        if (p >= t.size() || t[p] < '1' || t[p] > '9') return std::nullopt;
        ++p;
        for (int extra = 0; extra < 3 && p < t.size() && is_digit(t[p]); ++extra) ++p;
    }
    return p;
}

bool check_uri_template(std::string_view t) noexcept {
    std::size_t p = 0;
    while (p < t.size()) {
        const auto c = static_cast<unsigned char>(t[p]);
        if (c == '%') {
            if (p + 2 >= t.size() || !is_hex(t[p + 1]) || !is_hex(t[p + 2])) return false;
            p += 3;
        } else if (c == '{') {
            ++p;
            if (p >= t.size()) return false;
            if (is_template_operator(t[p])) {
                ++p;
                if (p >= t.size()) return false;
            }
            while (true) {
                const auto next = parse_varspec(t, p);
                if (!next) return false;
                p = *next;
                if (p < t.size() && t[p] == ',') {
                    ++p;
                    continue;
                }
                break;
            }
            if (p >= t.size() || t[p] != '}') return false;
            ++p;
        } else if (c == '}' || c <= 0x20 || c == '"' || c == '<' || c == '>' || c == '\\' ||
                   c == '^' || c == '`' || c == '|' || c == 0x7F) {
            return false;
        } else {
            ++p;
        }
    }
    return true;
}

}  // namespace deririrore::formats
