#include "deririrore/referencing/uri.hpp"

#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace deririrore::referencing {

namespace {

bool is_alpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_hex(unsigned char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_unreserved(unsigned char c) { return is_alpha(c) || is_digit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool is_sub_delim(unsigned char c) {
    switch (c) {
        case '!': case '$': case '&': case '\'': case '(': case ')':
        case '*': case '+': case ',': case ';': case '=':
            return true;
        default:
            return false;
    }
}
bool is_scheme_char(unsigned char c) { return is_alpha(c) || is_digit(c) || c == '+' || c == '-' || c == '.'; }
unsigned char to_lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }
unsigned char to_upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }
int hex_value(unsigned char c) {
    if (is_digit(c)) return c - '0';
    return to_lower(c) - 'a' + 10;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

}  // namespace

// Component values used to compose a URI (section 5.3) and to record its boundaries.
struct UriComponents {
    std::optional<std::string_view> scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;
};

class UriParser {
public:
    UriParser(std::string_view s) : s_(s) {}

    Result<Uri, UriParseError> parse(bool require_scheme) {
        Uri uri;
        std::size_t pos = 0;
        std::size_t i = 0;
        while (i < s_.size() && is_scheme_char(static_cast<unsigned char>(s_[i]))) ++i;
        if (i < s_.size() && s_[i] == ':') {
            if (i == 0 || !is_alpha(static_cast<unsigned char>(s_[0]))) return fail(UriParseErrorKind::UnexpectedCharacter, 0);
            uri.scheme_end_ = i;
            pos = i + 1;
        } else if (require_scheme) {
            return fail(UriParseErrorKind::UnexpectedCharacter, i);
        }
        const bool has_scheme = uri.scheme_end_ != kNone;

        if (s_.substr(pos).starts_with("//")) {
            std::size_t a = pos + 2;
            std::size_t b = a;
            while (b < s_.size() && s_[b] != '/' && s_[b] != '?' && s_[b] != '#') ++b;
            if (auto err = parse_authority(a, b, uri)) return fail(err->kind, err->index);
            uri.authority_start_ = a;
            uri.authority_end_ = b;
            pos = b;
        }

        std::size_t path_end = pos;
        while (path_end < s_.size() && s_[path_end] != '?' && s_[path_end] != '#') ++path_end;
        // Without a scheme or authority the first segment may not hold a colon (it would read as a scheme).
        const bool no_colon_in_first = !has_scheme && uri.authority_start_ == kNone;
        if (auto err = check_path(pos, path_end, no_colon_in_first)) return fail(err->kind, err->index);
        uri.path_start_ = pos;
        uri.path_end_ = path_end;
        pos = path_end;

        if (pos < s_.size() && s_[pos] == '?') {
            std::size_t q = pos + 1;
            std::size_t e = q;
            while (e < s_.size() && s_[e] != '#') ++e;
            if (auto err = check_query_or_fragment(q, e)) return fail(err->kind, err->index);
            uri.query_start_ = q;
            uri.query_end_ = e;
            pos = e;
        }
        if (pos < s_.size() && s_[pos] == '#') {
            std::size_t f = pos + 1;
            if (auto err = check_query_or_fragment(f, s_.size())) return fail(err->kind, err->index);
            uri.fragment_start_ = f;
        }
        uri.text_ = std::string(s_);
        return uri;
    }

private:
    static Unexpected<UriParseError> fail(UriParseErrorKind kind, std::size_t index) {
        return make_unexpected(UriParseError{kind, index});
    }

    // Checks a percent-encoding starting at `i`, which holds '%'.
    std::optional<UriParseError> check_pct(std::size_t i) const {
        if (i + 2 >= s_.size() || !is_hex(static_cast<unsigned char>(s_[i + 1])) ||
            !is_hex(static_cast<unsigned char>(s_[i + 2])))
            return UriParseError{UriParseErrorKind::InvalidPercentEncoding, i};
        return std::nullopt;
    }

    template <class Allowed>
    std::optional<UriParseError> check_run(std::size_t a, std::size_t b, Allowed allowed) const {
        for (std::size_t i = a; i < b; ++i) {
            unsigned char c = static_cast<unsigned char>(s_[i]);
            if (c == '%') {
                if (auto e = check_pct(i)) return e;
                i += 2;
                continue;
            }
            if (!allowed(c)) return UriParseError{UriParseErrorKind::UnexpectedCharacter, i};
        }
        return std::nullopt;
    }

    static bool is_pchar(unsigned char c) { return is_unreserved(c) || is_sub_delim(c) || c == ':' || c == '@'; }

    std::optional<UriParseError> check_path(std::size_t a, std::size_t b, bool no_colon_in_first) const {
        bool first_segment = true;
        for (std::size_t i = a; i < b; ++i) {
            unsigned char c = static_cast<unsigned char>(s_[i]);
            if (c == '/') {
                first_segment = false;
                continue;
            }
            if (c == '%') {
                if (auto e = check_pct(i)) return e;
                i += 2;
                continue;
            }
            if (c == ':' && first_segment && no_colon_in_first)
                return UriParseError{UriParseErrorKind::UnexpectedCharacter, i};
            if (!is_pchar(c)) return UriParseError{UriParseErrorKind::UnexpectedCharacter, i};
        }
        return std::nullopt;
    }

    std::optional<UriParseError> check_query_or_fragment(std::size_t a, std::size_t b) const {
        return check_run(a, b, [](unsigned char c) { return is_pchar(c) || c == '/' || c == '?'; });
    }

    std::optional<UriParseError> parse_authority(std::size_t a, std::size_t b, Uri& uri) const {
        std::size_t host_start = a;
        for (std::size_t i = a; i < b; ++i) {
            if (s_[i] == '@') {
                if (auto e = check_run(a, i, [](unsigned char c) { return is_unreserved(c) || is_sub_delim(c) || c == ':'; }))
                    return e;
                host_start = i + 1;
                break;
            }
        }
        std::size_t host_end;
        if (host_start < b && s_[host_start] == '[') {
            std::size_t close = s_.find(']', host_start);
            if (close == std::string_view::npos || close >= b)
                return UriParseError{UriParseErrorKind::InvalidIpv6, host_start + 1};
            std::size_t in_a = host_start + 1;
            if (in_a < close && (s_[in_a] == 'v' || s_[in_a] == 'V')) {
                if (auto e = check_ipvfuture(in_a, close)) return e;
            } else if (!valid_ipv6(in_a, close)) {
                return UriParseError{UriParseErrorKind::InvalidIpv6, in_a};
            }
            host_end = close + 1;
            if (host_end < b && s_[host_end] != ':') return UriParseError{UriParseErrorKind::UnexpectedCharacter, host_end};
        } else {
            host_end = host_start;
            while (host_end < b && s_[host_end] != ':') ++host_end;
            if (auto e = check_run(host_start, host_end, [](unsigned char c) { return is_unreserved(c) || is_sub_delim(c); }))
                return e;
        }
        if (host_end < b) {
            for (std::size_t i = host_end + 1; i < b; ++i) {
                if (!is_digit(static_cast<unsigned char>(s_[i])))
                    return UriParseError{UriParseErrorKind::UnexpectedCharacter, i};
            }
        }
        uri.host_start_ = host_start;
        uri.host_end_ = host_end;
        return std::nullopt;
    }

    std::optional<UriParseError> check_ipvfuture(std::size_t a, std::size_t b) const {
        std::size_t i = a + 1;
        std::size_t digits = i;
        while (i < b && is_hex(static_cast<unsigned char>(s_[i]))) ++i;
        if (i == digits) return UriParseError{UriParseErrorKind::UnexpectedCharacter, i};
        if (i >= b || s_[i] != '.') return UriParseError{UriParseErrorKind::UnexpectedCharacter, i};
        ++i;
        if (i >= b) return UriParseError{UriParseErrorKind::UnexpectedCharacter, i};
        for (; i < b; ++i) {
            unsigned char c = static_cast<unsigned char>(s_[i]);
            if (!(is_unreserved(c) || is_sub_delim(c) || c == ':'))
                return UriParseError{UriParseErrorKind::UnexpectedCharacter, i};
        }
        return std::nullopt;
    }

    bool valid_ipv4(std::size_t a, std::size_t b) const {
        int parts = 0;
        std::size_t i = a;
        while (true) {
            std::size_t start = i;
            int value = 0;
            while (i < b && is_digit(static_cast<unsigned char>(s_[i]))) {
                value = value * 10 + (s_[i] - '0');
                if (value > 255) return false;
                ++i;
            }
            std::size_t len = i - start;
            if (len == 0 || len > 3 || (len > 1 && s_[start] == '0')) return false;
            ++parts;
            if (i == b) break;
            if (s_[i] != '.' || parts == 4) return false;
            ++i;
        }
        return parts == 4;
    }

    bool valid_ipv6(std::size_t a, std::size_t b) const {
        int groups = 0;
        bool compressed = false;
        std::size_t i = a;
        if (b - a >= 2 && s_[a] == ':' && s_[a + 1] == ':') {
            compressed = true;
            i = a + 2;
            if (i == b) return true;
        } else if (i < b && s_[i] == ':') {
            return false;
        }
        while (i < b) {
            std::size_t start = i;
            while (i < b && is_hex(static_cast<unsigned char>(s_[i]))) ++i;
            if (i < b && s_[i] == '.') {
                if (!valid_ipv4(start, b)) return false;
                groups += 2;
                i = b;
                break;
            }
            std::size_t len = i - start;
            if (len == 0 || len > 4) return false;
            ++groups;
            if (groups > 8) return false;
            if (i == b) break;
            if (s_[i] != ':') return false;
            ++i;
            if (i < b && s_[i] == ':') {
                if (compressed) return false;
                compressed = true;
                ++i;
                if (i == b) break;
            } else if (i == b) {
                return false;
            }
        }
        return compressed ? groups <= 7 : groups == 8;
    }

    std::string_view s_;
};

class UriBuilder {
public:
    static Uri compose(const UriComponents& c) {
        Uri uri;
        std::string& t = uri.text_;
        t.reserve((c.scheme ? c.scheme->size() + 1 : 0) + (c.authority ? c.authority->size() + 2 : 0) + c.path.size() +
                  (c.query ? c.query->size() + 1 : 0) + (c.fragment ? c.fragment->size() + 1 : 0) + 2);
        if (c.scheme) {
            t.append(*c.scheme);
            uri.scheme_end_ = t.size();
            t.push_back(':');
        }
        if (c.authority) {
            t.append("//");
            uri.authority_start_ = t.size();
            t.append(*c.authority);
            uri.authority_end_ = t.size();
            set_host(uri);
        }
        // A path starting with "//" without an authority would read back as one; "/." keeps it a path
        // and belongs to it, as it does when the text is parsed again.
        uri.path_start_ = t.size();
        if (!c.authority && c.path.starts_with("//")) t.append("/.");
        t.append(c.path);
        uri.path_end_ = t.size();
        if (c.query) {
            t.push_back('?');
            uri.query_start_ = t.size();
            t.append(*c.query);
            uri.query_end_ = t.size();
        }
        if (c.fragment) {
            t.push_back('#');
            uri.fragment_start_ = t.size();
            t.append(*c.fragment);
        }
        return uri;
    }

    static UriComponents components(const Uri& u) {
        UriComponents c;
        if (u.has_scheme()) c.scheme = u.scheme();
        if (u.has_authority()) c.authority = u.authority();
        c.path = u.path();
        if (u.has_query()) c.query = u.query();
        if (u.has_fragment()) c.fragment = u.fragment();
        return c;
    }

private:
    static void set_host(Uri& uri) {
        std::string_view t(uri.text_);
        std::size_t a = uri.authority_start_, b = uri.authority_end_;
        std::size_t h = a;
        for (std::size_t i = a; i < b; ++i) {
            if (t[i] == '@') {
                h = i + 1;
                break;
            }
        }
        std::size_t e;
        if (h < b && t[h] == '[') {
            e = t.find(']', h);
            e = (e == std::string_view::npos || e >= b) ? b : e + 1;
        } else {
            e = h;
            while (e < b && t[e] != ':') ++e;
        }
        uri.host_start_ = h;
        uri.host_end_ = e;
    }
};

Uri Uri::without_fragment() const {
    if (!has_fragment()) return *this;
    UriComponents c = UriBuilder::components(*this);
    c.fragment.reset();
    return UriBuilder::compose(c);
}

Result<Uri, UriParseError> parse_uri_reference(std::string_view text) { return UriParser(text).parse(false); }

Result<Uri, UriParseError> parse_absolute_uri(std::string_view text) { return UriParser(text).parse(true); }

std::string remove_dot_segments(std::string_view input) {
    std::string output;
    output.reserve(input.size());
    auto drop_last_segment = [&output]() {
        std::size_t slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            drop_last_segment();
        } else if (input == "/..") {
            input = "/";
            drop_last_segment();
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            std::size_t start = input[0] == '/' ? 1 : 0;
            std::size_t next = input.find('/', start);
            if (next == std::string_view::npos) next = input.size();
            output.append(input.substr(0, next));
            input.remove_prefix(next);
        }
    }
    return output;
}

namespace {

// Decodes percent-encoded unreserved characters and upper-cases the hex digits of the others.
void append_pct_normalized(std::string& out, std::string_view s, bool lower_case) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '%' && i + 2 < s.size() && is_hex(static_cast<unsigned char>(s[i + 1])) &&
            is_hex(static_cast<unsigned char>(s[i + 2]))) {
            unsigned char decoded =
                static_cast<unsigned char>(hex_value(static_cast<unsigned char>(s[i + 1])) * 16 +
                                           hex_value(static_cast<unsigned char>(s[i + 2])));
            if (is_unreserved(decoded)) {
                out.push_back(static_cast<char>(lower_case ? to_lower(decoded) : decoded));
            } else {
                out.push_back('%');
                out.push_back(static_cast<char>(to_upper(static_cast<unsigned char>(s[i + 1]))));
                out.push_back(static_cast<char>(to_upper(static_cast<unsigned char>(s[i + 2]))));
            }
            i += 2;
            continue;
        }
        out.push_back(static_cast<char>(lower_case ? to_lower(c) : c));
    }
}

}  // namespace

Uri normalize_uri(const Uri& uri) {
    std::string scheme;
    for (char c : uri.scheme()) scheme.push_back(static_cast<char>(to_lower(static_cast<unsigned char>(c))));

    std::string authority;
    if (uri.has_authority()) {
        std::string_view auth = uri.authority();
        std::string_view host = uri.host();
        std::size_t host_offset = static_cast<std::size_t>(host.data() - auth.data());
        std::string_view userinfo_part = auth.substr(0, host_offset);
        std::string_view port_part = auth.substr(host_offset + host.size());
        append_pct_normalized(authority, userinfo_part, false);
        append_pct_normalized(authority, host, true);
        authority.append(port_part);
    }

    // Decoding comes first, so that "%2e" is a dot segment like ".". Every path of a URI with a
    // scheme loses its dot segments, rootless ones too ("c:./" is "c:"), as resolving it as a
    // reference would do; otherwise a resolved URI would change when resolved again.
    std::string path;
    append_pct_normalized(path, uri.path(), false);
    if (uri.has_scheme()) path = remove_dot_segments(path);

    std::string query;
    if (uri.has_query()) append_pct_normalized(query, uri.query(), false);
    std::string fragment;
    if (uri.has_fragment()) append_pct_normalized(fragment, uri.fragment(), false);

    UriComponents c;
    if (uri.has_scheme()) c.scheme = scheme;
    if (uri.has_authority()) c.authority = authority;
    c.path = path;
    if (uri.has_query()) c.query = query;
    if (uri.has_fragment()) c.fragment = fragment;
    return UriBuilder::compose(c);
}

namespace {

std::string merge_paths(const Uri& base, std::string_view reference_path) {
    if (base.has_authority() && base.path().empty()) {
        std::string out = "/";
        out.append(reference_path);
        return out;
    }
    std::string_view bp = base.path();
    std::size_t slash = bp.rfind('/');
    std::string out(slash == std::string_view::npos ? std::string_view() : bp.substr(0, slash + 1));
    out.append(reference_path);
    return out;
}

}  // namespace

Result<Uri, UriResolveErrorKind> resolve_reference(const Uri& base, const Uri& r) {
    const bool opaque_base = !base.has_authority() && !base.path().starts_with('/');
    if (opaque_base && !r.has_scheme() && !r.text().empty() && !r.text().starts_with('#'))
        return make_unexpected(UriResolveErrorKind::OpaqueBase);

    UriComponents t;
    std::string path;
    if (r.has_scheme()) {
        t.scheme = r.scheme();
        if (r.has_authority()) t.authority = r.authority();
        path = remove_dot_segments(r.path());
        if (r.has_query()) t.query = r.query();
    } else {
        if (r.has_authority()) {
            t.authority = r.authority();
            path = remove_dot_segments(r.path());
            if (r.has_query()) t.query = r.query();
        } else {
            if (r.path().empty()) {
                path = std::string(base.path());
                if (r.has_query()) {
                    t.query = r.query();
                } else if (base.has_query()) {
                    t.query = base.query();
                }
            } else {
                if (r.path().starts_with('/')) {
                    path = remove_dot_segments(r.path());
                } else {
                    path = remove_dot_segments(merge_paths(base, r.path()));
                }
                if (r.has_query()) t.query = r.query();
            }
            if (base.has_authority()) t.authority = base.authority();
        }
        t.scheme = base.scheme();
    }
    if (r.has_fragment()) t.fragment = r.fragment();
    t.path = path;
    return UriBuilder::compose(t);
}

Result<Uri, UriError> parse_uri(std::string_view text) {
    auto parsed = parse_uri_reference(text);
    if (!parsed) return make_unexpected(UriError::parse(std::string(text), true, parsed.error()));
    Uri normalized = normalize_uri(*parsed);
    if (normalized.has_scheme()) {
        auto absolute = parse_absolute_uri(normalized.text());
        if (!absolute) return make_unexpected(UriError::parse(normalized.text(), false, absolute.error()));
        return std::move(*absolute);
    }
    const Uri& base = *default_base_uri();
    auto resolved = resolve_reference(base, normalized);
    if (!resolved) return make_unexpected(UriError::resolve(std::string(text), base.text(), resolved.error()));
    return std::move(*resolved);
}

Result<Uri, UriError> resolve_uri(const Uri& base, std::string_view reference) {
    if (!reference.empty() && reference.front() == '#' && base.text().ends_with(reference)) return base;
    Uri fragment_free = base.has_fragment() ? base.without_fragment() : Uri();
    const Uri& b = base.has_fragment() ? fragment_free : base;
    auto parsed = parse_uri_reference(reference);
    if (!parsed) return make_unexpected(UriError::parse(std::string(reference), true, parsed.error()));
    // Percent-encoded dots are decoded before dot segments are removed, as parse_uri does; case
    // is left to the normalisation of the result.
    if (reference.find('%') != std::string_view::npos) *parsed = normalize_uri(*parsed);
    auto resolved = resolve_reference(b, *parsed);
    if (!resolved) return make_unexpected(UriError::resolve(std::string(reference), b.text(), resolved.error()));
    return normalize_uri(*resolved);
}

const UriRef& default_base_uri() {
    static const UriRef base = [] {
        auto parsed = parse_absolute_uri(kDefaultBaseUri);
        if (!parsed) throw std::logic_error("Invalid URI");
        return std::make_shared<const Uri>(std::move(*parsed));
    }();
    return base;
}

std::size_t ResolutionCache::Hash::operator()(const KeyView& k) const noexcept {
    std::size_t h = std::hash<std::string_view>{}(k.base);
    return h ^ (std::hash<std::string_view>{}(k.reference) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

Result<UriRef, ReferenceError> ResolutionCache::resolve(const Uri& base, std::string_view reference) const {
    {
        std::shared_lock lock(mutex_);
        auto it = map_.find(KeyView{base.text(), reference});
        if (it != map_.end()) return it->second;
    }
    auto resolved = resolve_uri(base, reference);
    if (!resolved) return make_unexpected(ReferenceError(std::move(resolved).error()));
    auto shared = std::make_shared<const Uri>(std::move(*resolved));
    std::unique_lock lock(mutex_);
    auto [it, inserted] = map_.try_emplace(Key{base.text(), std::string(reference)}, shared);
    return it->second;
}

Result<UriRef, ReferenceError> ResolutionCache::resolve_unlocked(const Uri& base, std::string_view reference) {
    auto it = map_.find(KeyView{base.text(), reference});
    if (it != map_.end()) return it->second;
    auto resolved = resolve_uri(base, reference);
    if (!resolved) return make_unexpected(ReferenceError(std::move(resolved).error()));
    auto shared = std::make_shared<const Uri>(std::move(*resolved));
    map_.emplace(Key{base.text(), std::string(reference)}, shared);
    return shared;
}

std::size_t ResolutionCache::size() const {
    std::shared_lock lock(mutex_);
    return map_.size();
}

}  // namespace deririrore::referencing
