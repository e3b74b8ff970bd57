#include "http/media_type.hpp"

namespace http {

namespace {

using deririrore::make_unexpected;

bool is_tchar(unsigned char c) noexcept {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+': case '-': case '.':
        case '^': case '_': case '`': case '|': case '~': return true;
        default: return false;
    }
}

bool is_ows(char c) noexcept { return c == ' ' || c == '\t'; }

// Characters a quoted string may hold unescaped: HTAB, SP, VCHAR but '"' and '\', obs-text.
bool is_qdtext(unsigned char c) noexcept { return c == '\t' || c == ' ' || (c >= 0x21 && c != '"' && c != '\\' && c != 0x7F); }
// Characters a quoted-pair may escape: HTAB, SP, VCHAR, obs-text.
bool is_quotable(unsigned char c) noexcept { return c == '\t' || c == ' ' || (c >= 0x21 && c != 0x7F); }

char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = lower(c);
    return out;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool is_token(std::string_view s) noexcept {
    if (s.empty()) return false;
    for (char c : s)
        if (!is_tchar(static_cast<unsigned char>(c))) return false;
    return true;
}

bool ends_with(std::string_view s, std::string_view tail) noexcept {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

class Reader {
public:
    Reader(std::string_view text, std::size_t offset) : text_(text), pos_(offset) {}

    std::string_view token() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && is_tchar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    void skip_ows() {
        while (pos_ < text_.size() && is_ows(text_[pos_])) ++pos_;
    }
    bool at_end() const noexcept { return pos_ == text_.size(); }
    char peek() const noexcept { return text_[pos_]; }
    void advance() noexcept { ++pos_; }
    std::size_t pos() const noexcept { return pos_; }
    std::string_view text() const noexcept { return text_; }

private:
    std::string_view text_;
    std::size_t pos_;
};

MediaTypeError error_at(std::string_view what, std::size_t offset) {
    return MediaTypeError{"invalid media type: " + std::string(what) + " at byte " + std::to_string(offset), offset};
}

}  // namespace

std::string_view MediaType::suffix() const noexcept {
    const auto plus = subtype.rfind('+');
    return plus == std::string::npos ? std::string_view() : std::string_view(subtype).substr(plus + 1);
}

const std::string* MediaType::parameter(std::string_view name) const noexcept {
    for (const auto& p : parameters)
        if (equals_ignoring_case(p.name, name)) return &p.value;
    return nullptr;
}

deririrore::Result<MediaType, MediaTypeError> parse_media_type(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && is_ows(text[end - 1])) --end;
    Reader r(text.substr(0, end), 0);
    r.skip_ows();
    MediaType out;
    const auto type = r.token();
    if (type.empty()) return make_unexpected(error_at("expected a type token", r.pos()));
    if (r.at_end() || r.peek() != '/') return make_unexpected(error_at("expected \"/\" after the type", r.pos()));
    r.advance();
    const auto subtype = r.token();
    if (subtype.empty()) return make_unexpected(error_at("expected a subtype token", r.pos()));
    out.type = lowered(type);
    out.subtype = lowered(subtype);
    for (;;) {
        r.skip_ows();
        if (r.at_end()) break;
        if (r.peek() != ';') return make_unexpected(error_at("expected \";\" before a parameter", r.pos()));
        r.advance();
        r.skip_ows();
        if (r.at_end() || r.peek() == ';') continue;
        const auto name = r.token();
        if (name.empty()) return make_unexpected(error_at("expected a parameter name", r.pos()));
        if (r.at_end() || r.peek() != '=')
            return make_unexpected(error_at("expected \"=\" after the parameter name", r.pos()));
        r.advance();
        MediaTypeParameter parameter{lowered(name), {}};
        if (!r.at_end() && r.peek() == '"') {
            const std::size_t open = r.pos();
            r.advance();
            for (;;) {
                if (r.at_end()) return make_unexpected(error_at("unterminated quoted string", open));
                const auto c = static_cast<unsigned char>(r.peek());
                if (c == '"') {
                    r.advance();
                    break;
                }
                if (c == '\\') {
                    r.advance();
                    if (r.at_end() || !is_quotable(static_cast<unsigned char>(r.peek())))
                        return make_unexpected(error_at("invalid escape in a quoted string", r.pos()));
                } else if (!is_qdtext(c)) {
                    return make_unexpected(error_at("invalid character in a quoted string", r.pos()));
                }
                parameter.value += r.peek();
                r.advance();
            }
        } else {
            const auto value = r.token();
            if (value.empty()) return make_unexpected(error_at("expected a parameter value", r.pos()));
            parameter.value = std::string(value);
        }
        out.parameters.push_back(std::move(parameter));
    }
    return out;
}

std::string format_media_type(const MediaType& media_type) {
    std::string out = media_type.essence();
    for (const auto& p : media_type.parameters) {
        out += ';';
        out += p.name;
        out += '=';
        if (is_token(p.value)) {
            out += p.value;
            continue;
        }
        out += '"';
        for (char c : p.value) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    return out;
}

std::pair<std::string_view, std::string_view> split_media_type(const MediaType& media_type) noexcept {
    return {media_type.type, media_type.subtype};
}

bool is_json_media_type(std::string_view type, std::string_view subtype) noexcept {
    if (type == "application") {
        return subtype == "json" || subtype == "jwt" || subtype == "x-json" || subtype == "jose+jwe" ||
               (subtype.size() >= 5 && ends_with(subtype, "+json"));
    }
    return type == "text" && subtype == "json";
}

bool is_xml_media_type(std::string_view text) {
    const auto parsed = parse_media_type(text);
    if (!parsed) return false;
    const std::string_view subtype = parsed->subtype;
    return subtype == "xml" || (subtype.size() > 3 && ends_with(subtype, "+xml"));
}

bool is_text_media_type(std::string_view text) noexcept {
    constexpr std::string_view kPrefix = "text/";
    if (text.substr(0, kPrefix.size()) != kPrefix) return false;
    const auto rest = text.substr(kPrefix.size());
    if (rest == "json" || rest == "yaml" || rest == "xml") return false;
    return !ends_with(rest, "+xml") && !ends_with(rest, "+json") && !ends_with(rest, "+yaml");
}

bool media_range_matches(const MediaType& range, const MediaType& media_type) noexcept {
    return (range.type == "*" || range.type == media_type.type) &&
           (range.subtype == "*" || range.subtype == media_type.subtype);
}

}  // namespace http
