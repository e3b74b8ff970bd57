#include "http/url.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "deririrore/formats/host.hpp"
#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"

namespace http {

using deririrore::make_unexpected;
using deririrore::Result;

// Builds the href of a parsed URL and records where each part sits in it.
class UrlBuilder {
public:
    struct Parts {
        std::string scheme;
        std::string username;
        std::string password;
        std::string host;
        std::optional<std::uint16_t> port;
        std::vector<std::string> path;
        std::optional<std::string> query;
        std::optional<std::string> fragment;
    };

    static Parts parts_of(const Url& url) {
        Parts p;
        p.scheme = url.scheme();
        p.username = url.username();
        p.password = url.password();
        p.host = url.host();
        p.port = url.port();
        std::string_view path = url.path().substr(1);
        for (;;) {
            const std::size_t slash = path.find('/');
            p.path.emplace_back(path.substr(0, slash));
            if (slash == std::string_view::npos) break;
            path.remove_prefix(slash + 1);
        }
        if (auto q = url.query()) p.query = std::string(*q);
        return p;
    }

    static Url build(const Parts& p) {
        Url u;
        std::string& h = u.href_;
        h = p.scheme;
        u.scheme_end_ = h.size();
        h += "://";
        u.username_start_ = h.size();
        h += p.username;
        u.username_end_ = h.size();
        u.password_start_ = u.password_end_ = h.size();
        if (!p.password.empty()) {
            h += ':';
            u.password_start_ = h.size();
            h += p.password;
            u.password_end_ = h.size();
        }
        if (!p.username.empty() || !p.password.empty()) h += '@';
        u.host_start_ = h.size();
        h += p.host;
        u.host_end_ = h.size();
        u.port_ = p.port;
        if (p.port) {
            h += ':';
            h += std::to_string(*p.port);
        }
        u.path_start_ = h.size();
        for (const std::string& segment : p.path) {
            h += '/';
            h += segment;
        }
        if (p.path.empty()) h += '/';
        u.query_start_ = h.size();
        if (p.query) {
            u.has_query_ = true;
            h += '?';
            h += *p.query;
        }
        u.fragment_start_ = h.size();
        if (p.fragment) {
            u.has_fragment_ = true;
            h += '#';
            h += *p.fragment;
        }
        return u;
    }
};

std::optional<std::string_view> Url::query() const noexcept {
    if (!has_query_) return std::nullopt;
    return view(query_start_ + 1, fragment_start_);
}

std::optional<std::string_view> Url::fragment() const noexcept {
    if (!has_fragment_) return std::nullopt;
    return view(fragment_start_ + 1, href_.size());
}

std::string_view url_error_text(UrlError error) noexcept {
    switch (error) {
        case UrlError::MissingScheme:
            return "relative URL without a base";
        case UrlError::UnsupportedScheme:
            return "unsupported scheme (only http and https are accepted)";
        case UrlError::MissingHost:
            return "empty host";
        case UrlError::InvalidHost:
            return "invalid domain character";
        case UrlError::InvalidIpv4:
            return "invalid IPv4 address";
        case UrlError::InvalidIpv6:
            return "invalid IPv6 address";
        case UrlError::InvalidPort:
            return "invalid port number";
    }
    return "invalid URL";
}

namespace {

enum EncodeSet : std::uint8_t {
    kFragmentSet = 1,
    kSpecialQuerySet = 2,
    kPathSet = 4,
    kUserinfoSet = 8,
};

constexpr std::array<std::uint8_t, 128> make_encode_table() {
    std::array<std::uint8_t, 128> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = kFragmentSet | kSpecialQuerySet | kPathSet | kUserinfoSet;
    t[0x7F] = kFragmentSet | kSpecialQuerySet | kPathSet | kUserinfoSet;
    for (unsigned char c : std::string_view(" \"<>`")) t[c] |= kFragmentSet;
    for (unsigned char c : std::string_view(" \"#<>'")) t[c] |= kSpecialQuerySet;
    for (unsigned char c : std::string_view(" \"#<>?^`{}")) t[c] |= kPathSet | kUserinfoSet;
    for (unsigned char c : std::string_view("/:;=@[\\]|")) t[c] |= kUserinfoSet;
    return t;
}

constexpr std::array<std::uint8_t, 128> kEncodeTable = make_encode_table();

void append_encoded(std::string& out, unsigned char c, EncodeSet set) {
    if (c < 0x80 && (kEncodeTable[c] & set) == 0) {
        out += static_cast<char>(c);
        return;
    }
    constexpr char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 0xF];
}

bool is_ascii_alpha(int c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_digit(int c) noexcept { return c >= '0' && c <= '9'; }
int hex_value(int c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
char ascii_lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }


// The URL Standard reads scalar values: byte sequences that are not UTF-8 become U+FFFD, so
// that what is percent-encoded is always UTF-8.
std::string to_scalar_text(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    while (!s.empty()) {
        const std::size_t len = deririrore::value::utf8_sequence_length(s, 0);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            s.remove_prefix(1);
            continue;
        }
        out.append(s.substr(0, len));
        s.remove_prefix(len);
    }
    return out;
}


// Numbers of any length: anything past 2^32 only has to stay too large.
std::optional<std::uint64_t> parse_ipv4_number(std::string_view s) {
    if (s.empty()) return std::nullopt;
    int radix = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        radix = 16;
    } else if (s.size() >= 2 && s[0] == '0') {
        s.remove_prefix(1);
        radix = 8;
    }
    std::uint64_t value = 0;
    for (char ch : s) {
        const int d = hex_value(ch);
        if (d < 0 || d >= radix) return std::nullopt;
        value = std::min<std::uint64_t>(value * static_cast<unsigned>(radix) + static_cast<unsigned>(d),
                                        std::uint64_t{1} << 40);
    }
    return value;
}

std::vector<std::string_view> split_dots(std::string_view s) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t dot = s.find('.');
        parts.push_back(s.substr(0, dot));
        if (dot == std::string_view::npos) break;
        s.remove_prefix(dot + 1);
    }
    return parts;
}

bool ends_in_number(std::string_view s) {
    std::vector<std::string_view> parts = split_dots(s);
    if (parts.back().empty()) {
        if (parts.size() == 1) return false;
        parts.pop_back();
    }
    const std::string_view last = parts.back();
    if (!last.empty() && std::all_of(last.begin(), last.end(), [](char c) { return is_ascii_digit(c); })) {
        return true;
    }
    return parse_ipv4_number(last).has_value();
}

std::optional<std::uint32_t> parse_ipv4(std::string_view s) {
    std::vector<std::string_view> parts = split_dots(s);
    if (parts.back().empty() && parts.size() > 1) parts.pop_back();
    if (parts.size() > 4) return std::nullopt;
    std::vector<std::uint64_t> numbers;
    for (std::string_view part : parts) {
        auto n = parse_ipv4_number(part);
        if (!n) return std::nullopt;
        numbers.push_back(*n);
    }
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
        if (numbers[i] > 255) return std::nullopt;
    }
    const std::size_t n = numbers.size();
    if (numbers.back() >= (std::uint64_t{1} << (8 * (5 - n)))) return std::nullopt;
    std::uint64_t ipv4 = numbers.back();
    for (std::size_t i = 0; i + 1 < n; ++i) ipv4 += numbers[i] << (8 * (3 - i));
    return static_cast<std::uint32_t>(ipv4);
}

std::optional<std::array<std::uint16_t, 8>> parse_ipv6(std::string_view in) {
    std::array<std::uint16_t, 8> address{};
    int piece = 0;
    int compress = -1;
    std::size_t p = 0;
    const auto at = [&](std::size_t i) -> int { return i < in.size() ? static_cast<unsigned char>(in[i]) : -1; };
    if (at(p) == ':') {
        if (at(p + 1) != ':') return std::nullopt;
        p += 2;
        ++piece;
        compress = piece;
    }
    while (at(p) != -1) {
        if (piece == 8) return std::nullopt;
        if (at(p) == ':') {
            if (compress != -1) return std::nullopt;
            ++p;
            ++piece;
            compress = piece;
            continue;
        }
        unsigned value = 0;
        std::size_t length = 0;
        while (length < 4 && hex_value(at(p)) >= 0) {
            value = value * 16 + static_cast<unsigned>(hex_value(at(p)));
            ++p;
            ++length;
        }
        if (at(p) == '.') {
            if (length == 0) return std::nullopt;
            p -= length;
            if (piece > 6) return std::nullopt;
            int numbers_seen = 0;
            while (at(p) != -1) {
                int ipv4_piece = -1;
                if (numbers_seen > 0) {
                    if (at(p) == '.' && numbers_seen < 4) {
                        ++p;
                    } else {
                        return std::nullopt;
                    }
                }
                if (!is_ascii_digit(at(p))) return std::nullopt;
                while (is_ascii_digit(at(p))) {
                    const int number = at(p) - '0';
                    if (ipv4_piece == -1) {
                        ipv4_piece = number;
                    } else if (ipv4_piece == 0) {
                        return std::nullopt;
                    } else {
                        ipv4_piece = ipv4_piece * 10 + number;
                    }
                    if (ipv4_piece > 255) return std::nullopt;
                    ++p;
                }
                address[static_cast<std::size_t>(piece)] =
                    static_cast<std::uint16_t>(address[static_cast<std::size_t>(piece)] * 0x100 + ipv4_piece);
                ++numbers_seen;
                if (numbers_seen == 2 || numbers_seen == 4) ++piece;
            }
            if (numbers_seen != 4) return std::nullopt;
            break;
        }
        if (at(p) == ':') {
            ++p;
            if (at(p) == -1) return std::nullopt;
        } else if (at(p) != -1) {
            return std::nullopt;
        }
        address[static_cast<std::size_t>(piece)] = static_cast<std::uint16_t>(value);
        ++piece;
    }
    if (compress != -1) {
        int swaps = piece - compress;
        piece = 7;
        while (piece != 0 && swaps > 0) {
            std::swap(address[static_cast<std::size_t>(piece)],
                      address[static_cast<std::size_t>(compress + swaps - 1)]);
            --piece;
            --swaps;
        }
    } else if (piece != 8) {
        return std::nullopt;
    }
    return address;
}

std::string serialize_ipv6(const std::array<std::uint16_t, 8>& a) {
    int compress = -1;
    int best = 1;
    for (int i = 0; i < 8;) {
        if (a[static_cast<std::size_t>(i)] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && a[static_cast<std::size_t>(j)] == 0) ++j;
        if (j - i > best) {
            best = j - i;
            compress = i;
        }
        i = j;
    }
    std::string out = "[";
    constexpr char hex[] = "0123456789abcdef";
    for (int i = 0; i < 8; ++i) {
        if (i == compress) {
            out += i == 0 ? "::" : ":";
            i += best - 1;
            continue;
        }
        const unsigned v = a[static_cast<std::size_t>(i)];
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned d = (v >> shift) & 0xF;
            if (d != 0 || started || shift == 0) {
                out += hex[d];
                started = true;
            }
        }
        if (i != 7) out += ':';
    }
    out += ']';
    return out;
}

bool is_forbidden_domain_byte(unsigned char c) noexcept {
    if (c <= 0x20 || c == 0x7F) return true;
    return std::string_view("#%/:<>?@[\\]^|").find(static_cast<char>(c)) != std::string_view::npos;
}

// An ASCII domain is only lower-cased: its "xn--" labels are taken as written, not decoded and
// checked, as browsers do.
bool needs_idna(std::string_view s) noexcept {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

bool is_single_dot(std::string_view s) noexcept {
    return s == "." || (s.size() == 3 && s[0] == '%' && s[1] == '2' && ascii_lower(s[2]) == 'e');
}

bool is_double_dot(std::string_view s) noexcept {
    if (s == "..") return true;
    if (s.size() == 4) {
        return (s[0] == '.' && is_single_dot(s.substr(1))) || (s[3] == '.' && is_single_dot(s.substr(0, 3)));
    }
    return s.size() == 6 && is_single_dot(s.substr(0, 3)) && is_single_dot(s.substr(3));
}

std::optional<std::uint16_t> default_port(std::string_view scheme) noexcept {
    if (scheme == "http") return 80;
    if (scheme == "https") return 443;
    return std::nullopt;
}

enum class State {
    SchemeStart,
    Scheme,
    NoScheme,
    SpecialRelativeOrAuthority,
    SpecialAuthoritySlashes,
    SpecialAuthorityIgnoreSlashes,
    Relative,
    RelativeSlash,
    Authority,
    Host,
    Port,
    PathStart,
    Path,
    Query,
    Fragment,
};

}  // namespace

Result<std::string, UrlError> parse_url_host(std::string_view input) {
    if (!input.empty() && input.front() == '[') {
        if (input.size() < 2 || input.back() != ']') return make_unexpected(UrlError::InvalidIpv6);
        auto address = parse_ipv6(input.substr(1, input.size() - 2));
        if (!address) return make_unexpected(UrlError::InvalidIpv6);
        return serialize_ipv6(*address);
    }
    const std::string domain = to_scalar_text(deririrore::value::percent_decode(input));
    std::string ascii;
    if (needs_idna(domain)) {
        auto converted = deririrore::formats::url_domain_to_ascii(domain);
        if (!converted) return make_unexpected(UrlError::InvalidHost);
        ascii = std::move(*converted);
    } else {
        ascii = domain;
        for (char& c : ascii) c = ascii_lower(c);
    }
    if (ascii.empty()) return make_unexpected(UrlError::MissingHost);
    for (char c : ascii) {
        if (is_forbidden_domain_byte(static_cast<unsigned char>(c))) return make_unexpected(UrlError::InvalidHost);
    }
    if (ends_in_number(ascii)) {
        auto ipv4 = parse_ipv4(ascii);
        if (!ipv4) return make_unexpected(UrlError::InvalidIpv4);
        std::string out;
        for (int shift = 24; shift >= 0; shift -= 8) {
            out += std::to_string((*ipv4 >> shift) & 0xFF);
            if (shift != 0) out += '.';
        }
        return out;
    }
    return ascii;
}

Result<Url, UrlError> parse_url(std::string_view raw, const Url* base) {
    // Leading and trailing C0 controls and spaces go, then every tab and newline.
    while (!raw.empty() && static_cast<unsigned char>(raw.front()) <= 0x20) raw.remove_prefix(1);
    while (!raw.empty() && static_cast<unsigned char>(raw.back()) <= 0x20) raw.remove_suffix(1);
    std::string cleaned;
    cleaned.reserve(raw.size());
    for (char c : raw) {
        if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
    }
    const std::string input = to_scalar_text(cleaned);
    const auto n = static_cast<std::ptrdiff_t>(input.size());
    const auto at = [&](std::ptrdiff_t i) -> int {
        return i >= 0 && i < n ? static_cast<unsigned char>(input[static_cast<std::size_t>(i)]) : -1;
    };

    UrlBuilder::Parts url;
    std::optional<UrlBuilder::Parts> base_parts;
    if (base != nullptr) base_parts = UrlBuilder::parts_of(*base);
    State state = State::SchemeStart;
    std::string buffer;
    bool at_sign_seen = false;
    bool inside_brackets = false;
    bool password_token_seen = false;

    for (std::ptrdiff_t p = 0;; ++p) {
        const int c = at(p);
        switch (state) {
            case State::SchemeStart:
                if (is_ascii_alpha(c)) {
                    buffer += ascii_lower(static_cast<char>(c));
                    state = State::Scheme;
                } else {
                    state = State::NoScheme;
                    --p;
                }
                break;
            case State::Scheme:
                if (is_ascii_alpha(c) || is_ascii_digit(c) || c == '+' || c == '-' || c == '.') {
                    buffer += ascii_lower(static_cast<char>(c));
                } else if (c == ':') {
                    if (buffer != "http" && buffer != "https") return make_unexpected(UrlError::UnsupportedScheme);
                    url.scheme = std::move(buffer);
                    buffer.clear();
                    if (base_parts && base_parts->scheme == url.scheme) {
                        state = State::SpecialRelativeOrAuthority;
                    } else {
                        state = State::SpecialAuthoritySlashes;
                    }
                } else {
                    buffer.clear();
                    state = State::NoScheme;
                    p = -1;
                }
                break;
            case State::NoScheme:
                if (!base_parts) return make_unexpected(UrlError::MissingScheme);
                state = State::Relative;
                --p;
                break;
            case State::SpecialRelativeOrAuthority:
                if (c == '/' && at(p + 1) == '/') {
                    state = State::SpecialAuthorityIgnoreSlashes;
                    ++p;
                } else {
                    state = State::Relative;
                    --p;
                }
                break;
            case State::SpecialAuthoritySlashes:
                state = State::SpecialAuthorityIgnoreSlashes;
                if (c == '/' && at(p + 1) == '/') {
                    ++p;
                } else {
                    --p;
                }
                break;
            case State::SpecialAuthorityIgnoreSlashes:
                if (c != '/' && c != '\\') {
                    state = State::Authority;
                    --p;
                }
                break;
            case State::Relative:
                url.scheme = base_parts->scheme;
                if (c == '/' || c == '\\') {
                    state = State::RelativeSlash;
                } else {
                    url.username = base_parts->username;
                    url.password = base_parts->password;
                    url.host = base_parts->host;
                    url.port = base_parts->port;
                    url.path = base_parts->path;
                    url.query = base_parts->query;
                    if (c == '?') {
                        url.query = std::string();
                        state = State::Query;
                    } else if (c == '#') {
                        url.fragment = std::string();
                        state = State::Fragment;
                    } else if (c != -1) {
                        url.query.reset();
                        if (!url.path.empty()) url.path.pop_back();
                        state = State::Path;
                        --p;
                    }
                }
                break;
            case State::RelativeSlash:
                if (c == '/' || c == '\\') {
                    state = State::SpecialAuthorityIgnoreSlashes;
                } else {
                    url.username = base_parts->username;
                    url.password = base_parts->password;
                    url.host = base_parts->host;
                    url.port = base_parts->port;
                    state = State::Path;
                    --p;
                }
                break;
            case State::Authority:
                if (c == '@') {
                    if (at_sign_seen) buffer.insert(0, "%40");
                    at_sign_seen = true;
                    for (char b : buffer) {
                        if (b == ':' && !password_token_seen) {
                            password_token_seen = true;
                            continue;
                        }
                        append_encoded(password_token_seen ? url.password : url.username, static_cast<unsigned char>(b),
                                       kUserinfoSet);
                    }
                    buffer.clear();
                } else if (c == -1 || c == '/' || c == '?' || c == '#' || c == '\\') {
                    if (at_sign_seen && buffer.empty()) return make_unexpected(UrlError::MissingHost);
                    p -= static_cast<std::ptrdiff_t>(buffer.size()) + 1;
                    buffer.clear();
                    state = State::Host;
                } else {
                    buffer += static_cast<char>(c);
                }
                break;
            case State::Host:
                if (c == ':' && !inside_brackets) {
                    if (buffer.empty()) return make_unexpected(UrlError::MissingHost);
                    auto host = parse_url_host(buffer);
                    if (!host) return make_unexpected(host.error());
                    url.host = std::move(*host);
                    buffer.clear();
                    state = State::Port;
                } else if (c == -1 || c == '/' || c == '?' || c == '#' || c == '\\') {
                    --p;
                    if (buffer.empty()) return make_unexpected(UrlError::MissingHost);
                    auto host = parse_url_host(buffer);
                    if (!host) return make_unexpected(host.error());
                    url.host = std::move(*host);
                    buffer.clear();
                    state = State::PathStart;
                } else {
                    if (c == '[') inside_brackets = true;
                    if (c == ']') inside_brackets = false;
                    buffer += static_cast<char>(c);
                }
                break;
            case State::Port:
                if (is_ascii_digit(c)) {
                    buffer += static_cast<char>(c);
                } else if (c == -1 || c == '/' || c == '?' || c == '#' || c == '\\') {
                    if (!buffer.empty()) {
                        std::uint32_t port = 0;
                        for (char d : buffer) {
                            port = port * 10 + static_cast<std::uint32_t>(d - '0');
                            if (port > 65535) return make_unexpected(UrlError::InvalidPort);
                        }
                        if (default_port(url.scheme) == port) {
                            url.port.reset();
                        } else {
                            url.port = static_cast<std::uint16_t>(port);
                        }
                        buffer.clear();
                    }
                    state = State::PathStart;
                    --p;
                } else {
                    return make_unexpected(UrlError::InvalidPort);
                }
                break;
            case State::PathStart:
                state = State::Path;
                if (c != '/' && c != '\\') --p;
                break;
            case State::Path:
                if (c == -1 || c == '/' || c == '\\' || c == '?' || c == '#') {
                    const bool slash = c == '/' || c == '\\';
                    if (is_double_dot(buffer)) {
                        if (!url.path.empty()) url.path.pop_back();
                        if (!slash) url.path.emplace_back();
                    } else if (is_single_dot(buffer)) {
                        if (!slash) url.path.emplace_back();
                    } else {
                        url.path.push_back(std::move(buffer));
                    }
                    buffer.clear();
                    if (c == '?') {
                        url.query = std::string();
                        state = State::Query;
                    } else if (c == '#') {
                        url.fragment = std::string();
                        state = State::Fragment;
                    }
                } else {
                    append_encoded(buffer, static_cast<unsigned char>(c), kPathSet);
                }
                break;
            case State::Query:
                if (c == '#' || c == -1) {
                    for (char b : buffer) append_encoded(*url.query, static_cast<unsigned char>(b), kSpecialQuerySet);
                    buffer.clear();
                    if (c == '#') {
                        url.fragment = std::string();
                        state = State::Fragment;
                    }
                } else {
                    buffer += static_cast<char>(c);
                }
                break;
            case State::Fragment:
                if (c != -1) append_encoded(*url.fragment, static_cast<unsigned char>(c), kFragmentSet);
                break;
        }
        if (p >= n) break;
    }
    // An input that ended before reaching a host ("http:", "http://") has none.
    if (url.host.empty()) return make_unexpected(UrlError::MissingHost);
    return UrlBuilder::build(url);
}

}  // namespace http
