#include "multipart/multipart.hpp"

#include <cstring>

#include "multipart/text.hpp"

namespace multipart {

namespace {

bool is_tchar(unsigned char c) noexcept {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != 0;
}

// Field values may hold visible ASCII, spaces, tabs and any byte from 0x80 (obs-text); other
// control bytes (a bare CR or LF among them) are a syntax error.
bool is_field_value_byte(unsigned char c) noexcept { return c == '\t' || c >= 0x20 ? c != 0x7F : false; }

bool starts_with_at(std::string_view s, std::size_t at, std::string_view prefix) noexcept {
    return at <= s.size() && s.size() - at >= prefix.size() && s.compare(at, prefix.size(), prefix) == 0;
}

// Every occurrence of CR LF "--" from `from`: a memchr for the CR then a 3-byte compare, so that
// each byte is looked at a bounded number of times.
std::size_t find_crlf_dashes(std::string_view body, std::size_t from) noexcept {
    const char* data = body.data();
    const std::size_t size = body.size();
    while (from + 4 <= size) {
        const void* hit = std::memchr(data + from, '\r', size - 3 - from);
        if (hit == nullptr) break;
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (data[at + 1] == '\n' && data[at + 2] == '-' && data[at + 3] == '-') return at;
        from = at + 1;
    }
    return std::string_view::npos;
}

}  // namespace

bool parse_header_fields(std::string_view block, HeaderFields& out) noexcept {
    out.count = 0;
    std::size_t pos = 0;
    while (true) {
        const std::size_t eol = block.find("\r\n", pos);
        if (eol == std::string_view::npos) return false;
        if (eol == pos) return true;  // the empty line ends the block; what follows it is not read
        const std::string_view line = block.substr(pos, eol - pos);
        pos = eol + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return false;
        const std::string_view name = line.substr(0, colon);
        for (unsigned char c : name)
            if (!is_tchar(c)) return false;
        std::string_view value = line.substr(colon + 1);
        for (unsigned char c : value)
            if (!is_field_value_byte(c)) return false;
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        if (out.count == kMaxPartHeaderFields) return false;
        out.fields[out.count++] = HeaderField{name, value};
    }
}

std::optional<std::size_t> find_multipart_boundary(std::string_view body, std::string_view boundary,
                                                   std::size_t start) noexcept {
    if (start == 0 && starts_with_at(body, 0, "--") && starts_with_at(body, 2, boundary)) return 0;
    std::size_t from = start >= 2 ? start - 2 : 0;
    while (true) {
        const std::size_t at = find_crlf_dashes(body, from);
        if (at == std::string_view::npos) return std::nullopt;
        if (starts_with_at(body, at + 4, boundary)) return at + 2;
        from = at + 1;
    }
}

std::optional<std::string> find_part_content_type(const HeaderFields& fields) {
    for (std::size_t i = 0; i < fields.count; ++i)
        if (ascii_iequals(fields.fields[i].name, "content-type")) return utf8_lossy(fields.fields[i].value);
    return std::nullopt;
}

std::optional<std::vector<MultipartPart>> parse_multipart(std::string_view body, std::string_view boundary) {
    if (boundary.size() > kMaxBoundaryLength) return std::nullopt;
    std::vector<MultipartPart> parts;
    HeaderFields fields;
    std::size_t s = 0;
    while (true) {
        const auto d = find_multipart_boundary(body, boundary, s);
        if (!d) return std::nullopt;
        std::size_t q = *d + 2 + boundary.size();
        if (starts_with_at(body, q, "--")) return parts;
        while (q < body.size() && (body[q] == ' ' || body[q] == '\t')) ++q;
        if (!starts_with_at(body, q, "\r\n")) return std::nullopt;
        const std::size_t h = q + 2;
        const std::size_t blank = body.find("\r\n\r\n", h);
        if (blank == std::string_view::npos) return std::nullopt;
        const std::size_t b = blank + 4;
        if (!parse_header_fields(body.substr(h, b - h), fields)) return std::nullopt;

        MultipartPart part;
        for (std::size_t i = 0; i < fields.count; ++i) {
            if (!ascii_iequals(fields.fields[i].name, "content-disposition")) continue;
            DispositionName name = parse_disposition_name(utf8_lossy(fields.fields[i].value));
            if (name.failed) return std::nullopt;
            if (name.name) part.name = decode_form_field_name(*name.name);
            break;
        }
        const auto e = find_multipart_boundary(body, boundary, b);
        if (!e) return std::nullopt;
        part.content_type = find_part_content_type(fields);
        const std::size_t end = *e >= b + 2 ? *e - 2 : b;
        part.body = body.substr(b, end - b);
        parts.push_back(std::move(part));
        s = *e;
    }
}

DispositionName parse_disposition_name(std::string_view text) {
    bool extended_seen = false;
    std::size_t pos = 0;
    while (true) {
        const std::size_t semi = text.find(';', pos);
        if (semi == std::string_view::npos) break;
        std::size_t key_start = skip_unicode_white_space(text, semi + 1);
        const std::size_t eq = text.find('=', key_start);
        if (eq == std::string_view::npos) break;
        const std::string_view key = trim_unicode_white_space_end(text.substr(key_start, eq - key_start));
        std::string_view value;
        const std::size_t value_start = eq + 1;
        if (value_start < text.size() && text[value_start] == '"') {
            const std::size_t close = text.find('"', value_start + 1);
            if (close == std::string_view::npos) {
                value = text.substr(value_start + 1);
                pos = text.size();
            } else {
                value = text.substr(value_start + 1, close - value_start - 1);
                pos = close + 1;
            }
        } else {
            const std::size_t next = text.find(';', value_start);
            const std::size_t stop = next == std::string_view::npos ? text.size() : next;
            value = trim_unicode_white_space_end(text.substr(value_start, stop - value_start));
            pos = stop;
        }
        if (ascii_iequals(key, "name")) return DispositionName{false, std::string(value)};
        if (key.size() == 5 && ascii_iequals(key.substr(0, 4), "name") && key[4] == '*') extended_seen = true;
    }
    return DispositionName{extended_seen, std::nullopt};
}

std::string decode_form_field_name(std::string_view text) {
    if (text.find('%') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const std::string_view esc = text.substr(i + 1, 2);
            if (ascii_iequals(esc, "0A")) {
                out.push_back('\n');
                i += 2;
                continue;
            }
            if (ascii_iequals(esc, "0D")) {
                out.push_back('\r');
                i += 2;
                continue;
            }
            if (esc == "22") {
                out.push_back('"');
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace multipart
