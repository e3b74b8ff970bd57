#include "vantorel/reports/html_text.hpp"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <charconv>

#include "deririrore/value/utf8.hpp"

namespace vantorel::reports {

void escape_html_text(std::string& out, std::string_view text) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string_view entity;
        std::size_t width = 1;
        if (c == '&') {
            entity = "&amp;";
        } else if (c == '<') {
            entity = "&lt;";
        } else if (c == '>') {
            entity = "&gt;";
        } else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            entity = "&nbsp;";
            width = 2;
        } else {
            continue;
        }
        out.append(text.data() + run, i - run);
        out += entity;
        i += width - 1;
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

void escape_html_attribute(std::string& out, std::string_view text) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string_view entity;
        switch (text[i]) {
            case '"':
                entity = "&quot;";
                break;
            case '&':
                entity = "&amp;";
                break;
            case '<':
                entity = "&lt;";
                break;
            case '>':
                entity = "&gt;";
                break;
            default:
                continue;
        }
        out.append(text.data() + run, i - run);
        out += entity;
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

void write_inline_code(std::string& out, std::string_view text) {
    while (true) {
        const std::size_t open = text.find('`');
        if (open == std::string_view::npos) break;
        const std::size_t close = text.find('`', open + 1);
        if (close == std::string_view::npos) break;
        escape_html_text(out, text.substr(0, open));
        out += "<code>";
        escape_html_text(out, text.substr(open + 1, close - open - 1));
        out += "</code>";
        text.remove_prefix(close + 1);
    }
    escape_html_text(out, text);
}

void write_path_html(std::string& out, std::string_view path) {
    while (true) {
        const std::size_t open = path.find('{');
        if (open == std::string_view::npos) break;
        const std::size_t close = path.find('}', open + 1);
        if (close == std::string_view::npos) break;
        escape_html_text(out, path.substr(0, open));
        out += "<span class=\"var\">";
        escape_html_text(out, path.substr(open, close - open + 1));
        out += "</span>";
        path.remove_prefix(close + 1);
    }
    escape_html_text(out, path);
}

namespace {

bool is_alphanumeric(char32_t cp) {
    if (cp < 0x80) {
        return (cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z');
    }
    if (u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_ALPHABETIC)) return true;
    const auto type = u_charType(static_cast<UChar32>(cp));
    return type == U_DECIMAL_DIGIT_NUMBER || type == U_LETTER_NUMBER || type == U_OTHER_NUMBER;
}

// Full lower-case mapping of one character, which may give several.
void append_lower(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp >= 'A' && cp <= 'Z' ? cp + 32 : cp);
        return;
    }
    UChar source[2];
    int32_t length = 0;
    U16_APPEND_UNSAFE(source, length, static_cast<UChar32>(cp));
    UChar lowered[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strToLower(lowered, 8, source, length, "", &status);
    if (U_FAILURE(status) || n > 8) {
        deririrore::value::append_utf8(out, cp);
        return;
    }
    for (int32_t i = 0; i < n;) {
        UChar32 c;
        U16_NEXT(lowered, i, n, c);
        deririrore::value::append_utf8(out, static_cast<char32_t>(c));
    }
}

// Calls `visit(code point, alphanumeric)` for each character; a byte that begins no well-formed
// sequence is one non-alphanumeric character.
template <class Visit>
void for_each_character(std::string_view text, Visit&& visit) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t n = deririrore::value::decode_utf8_sequence(text, i, cp);
        if (n == 0) {
            visit(char32_t(0xFFFD), false);
            ++i;
            continue;
        }
        visit(cp, is_alphanumeric(cp));
        i += n;
    }
}

}  // namespace

std::string operation_anchor_id(http::HttpMethod method, std::string_view path) {
    std::string id = "op-";
    for (const char c : http::method_name(method)) id += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    id += '-';
    for_each_character(path, [&](char32_t cp, bool alnum) {
        if (alnum) {
            append_lower(id, cp);
        } else {
            id += '-';
        }
    });
    return id;
}

std::string group_slug(std::string_view name) {
    bool plain = !name.empty();
    for (const char c : name) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) {
            plain = false;
            break;
        }
    }
    if (plain) return std::string(name);
    std::string slug;
    bool gap = false;
    for_each_character(name, [&](char32_t cp, bool alnum) {
        if (!alnum) {
            gap = true;
            return;
        }
        if (gap && !slug.empty()) slug += '-';
        gap = false;
        append_lower(slug, cp);
    });
    return slug.empty() ? std::string("group") : slug;
}

std::string unique_id(std::string id, IdSet& taken) {
    if (taken.insert(id).second) return id;
    for (std::uint64_t n = 2;; ++n) {
        std::string candidate = id + "-" + std::to_string(n);
        if (taken.insert(candidate).second) return candidate;
    }
}

void append_shortest(std::string& out, double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void append_shortest(std::string& out, float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void append_decimal(std::string& out, std::uint64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

std::string percent_encode_fragment(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool encode = c < 0x20 || c >= 0x7F || c == ' ' || c == '"' || c == '#' || c == '%' || c == '<' ||
                            c == '>' || c == '`' || c == '{' || c == '}';
        if (encode) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace vantorel::reports
