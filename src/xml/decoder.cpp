#include "xml/decoder.hpp"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "deririrore/value/numeric.hpp"
#include "deririrore/value/utf8.hpp"

namespace xml {

namespace {

using deririrore::make_unexpected;
using deririrore::value::append_utf8;
using deririrore::value::is_valid_utf8;
using deririrore::Result;

constexpr std::uint8_t kNull = 1, kBoolean = 2, kInteger = 4, kNumber = 8, kString = 16, kArray = 32, kObject = 64;
constexpr std::string_view kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

bool is_xml_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ascii_iequals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }


// Unicode White_Space, over UTF-8 text that is known to be valid.
bool is_all_unicode_white_space(std::string_view s) noexcept {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        std::size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if (c < 0xE0) {
            cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
            n = 2;
        } else if (c < 0xF0) {
            cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            n = 3;
        } else {
            return false;  // nothing beyond the BMP is white space
        }
        const bool space = (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
                           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
                           cp == 0x205F || cp == 0x3000;
        if (!space) return false;
        i += n;
    }
    return true;
}

std::optional<std::int64_t> read_i64(std::string_view t) noexcept {
    if (t.empty()) return std::nullopt;
    std::size_t start = (t[0] == '+' || t[0] == '-') ? 1 : 0;
    if (start == t.size()) return std::nullopt;
    for (std::size_t i = start; i < t.size(); ++i)
        if (!is_digit(t[i])) return std::nullopt;
    if (t[0] == '+') t.remove_prefix(1);
    std::int64_t v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size()) return std::nullopt;
    return v;
}

bool type_allows(const Value& v, std::uint8_t types) {
    switch (v.kind()) {
        case deririrore::value::ValueKind::Null:
            return types & kNull;
        case deririrore::value::ValueKind::Boolean:
            return types & kBoolean;
        case deririrore::value::ValueKind::Number:
            return (types & kNumber) || ((types & kInteger) && read_i64(v.number_text()).has_value());
        case deririrore::value::ValueKind::String:
            return types & kString;
        case deririrore::value::ValueKind::Object:
            return types & kObject;
        case deririrore::value::ValueKind::Array:
            return true;
    }
    return false;
}

std::string_view local_part(std::string_view name) {
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view view(const xmlChar* s) {
    return s == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(s));
}

using Members = std::map<std::string, Value, std::less<>>;

Value object_from(Members members) {
    Value::Object out;
    out.reserve(members.size());
    for (auto& [key, value] : members) out.push_back(deririrore::value::Member{key, std::move(value)});
    return Value::object(std::move(out));
}

XmlBodyError error(XmlBodyErrorKind kind, std::string detail = {}) { return XmlBodyError{kind, std::move(detail)}; }

// The encoding label of an XML declaration at the very start, when it has an `encoding`
// pseudo-attribute before any malformed one.
std::optional<std::string_view> declared_encoding(std::string_view text) {
    if (text.size() < 6 || text.substr(0, 5) != "<?xml" || !is_xml_space(text[5])) return std::nullopt;
    const std::size_t end = text.find("?>");
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view decl = text.substr(5, end - 5);
    std::size_t i = 0;
    while (true) {
        while (i < decl.size() && is_xml_space(decl[i])) ++i;
        const std::size_t name_start = i;
        while (i < decl.size() && !is_xml_space(decl[i]) && decl[i] != '=') ++i;
        const std::string_view name = decl.substr(name_start, i - name_start);
        if (name.empty()) return std::nullopt;
        while (i < decl.size() && is_xml_space(decl[i])) ++i;
        if (i >= decl.size() || decl[i] != '=') return std::nullopt;
        ++i;
        while (i < decl.size() && is_xml_space(decl[i])) ++i;
        if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return std::nullopt;
        const char quote = decl[i++];
        const std::size_t close = decl.find(quote, i);
        if (close == std::string_view::npos) return std::nullopt;
        if (name == "encoding") return decl.substr(i, close - i);
        i = close + 1;
    }
}

// Only white space, comments and processing instructions (the declaration among them).
bool is_element_free(std::string_view text) {
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && is_xml_space(text[i])) ++i;
        if (i == text.size()) return true;
        std::string_view close;
        if (text.compare(i, 4, "<!--") == 0)
            close = "-->";
        else if (text.compare(i, 2, "<?") == 0)
            close = "?>";
        else
            return false;
        const std::size_t end = text.find(close, i + 2);
        if (end == std::string_view::npos) return false;
        i = end + close.size();
    }
}

// White space that a character reference may name in XML 1.0 (not VT nor FF, which are no XML
// characters). The parser resolves references before it reports text, but white space written as
// a reference is content, not layout: such references are handed to the parser as private-use
// stand-ins and put back when the text is read.
constexpr char32_t kReferableWhiteSpace[] = {0x09,   0x0A,   0x0D,   0x20,   0x85,   0xA0,   0x1680, 0x2000,
                                             0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
                                             0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
constexpr std::size_t kMarkCount = std::size(kReferableWhiteSpace);


// Decodes the valid UTF-8 sequence at `i`, advancing `i`.
char32_t next_code_point(std::string_view s, std::size_t& i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    return cp;
}

// The white-space character a reference at `text[i]` ("&#...;") names, with its length.
std::optional<std::pair<std::size_t, std::size_t>> white_space_reference(std::string_view text, std::size_t i) {
    if (text.compare(i, 2, "&#") != 0) return std::nullopt;
    std::size_t k = i + 2;
    const bool hex = k < text.size() && text[k] == 'x';
    if (hex) ++k;
    char32_t cp = 0;
    const std::size_t digits_start = k;
    while (k < text.size()) {
        const char c = text[k];
        int d = is_digit(c) ? c - '0' : -1;
        if (hex && d < 0 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) d = (c | 0x20) - 'a' + 10;
        if (d < 0) break;
        cp = std::min<char32_t>(cp * (hex ? 16 : 10) + static_cast<char32_t>(d), 0x110000);
        ++k;
    }
    if (k == digits_start || k >= text.size() || text[k] != ';') return std::nullopt;
    for (std::size_t m = 0; m < kMarkCount; ++m)
        if (kReferableWhiteSpace[m] == cp) return std::make_pair(m, k + 1 - i);
    return std::nullopt;
}

// A block of private-use code points that the text does not use, or 0.
char32_t free_mark_base(std::string_view text) {
    bool used[16] = {};
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = next_code_point(text, i);
        if (cp >= 0xF0000 && cp < 0xF0000 + 16 * 0x100) used[(cp - 0xF0000) / 0x100] = true;
    }
    for (int b = 0; b < 16; ++b)
        if (!used[b]) return 0xF0000 + static_cast<char32_t>(b) * 0x100;
    return 0;
}

// `text` with each white-space character reference in content and attribute values replaced by
// its stand-in from `base`; comments, CDATA sections, processing instructions and the document
// type declaration are copied as they are.
std::string mark_white_space_references(std::string_view text, char32_t base) {
    std::string out;
    out.reserve(text.size());
    const auto copy_until = [&](std::size_t& i, std::string_view close) {
        const std::size_t end = text.find(close, i);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end + close.size();
        out.append(text.substr(i, stop - i));
        i = stop;
    };
    const auto try_mark = [&](std::size_t& i) {
        if (auto ref = white_space_reference(text, i)) {
            append_utf8(out, base + static_cast<char32_t>(ref->first));
            i += ref->second;
            return true;
        }
        return false;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '&') {
            if (!try_mark(i)) out.push_back(text[i++]);
        } else if (c != '<') {
            out.push_back(text[i++]);
        } else if (text.compare(i, 4, "<!--") == 0) {
            copy_until(i, "-->");
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            copy_until(i, "]]>");
        } else if (text.compare(i, 2, "<?") == 0) {
            copy_until(i, "?>");
        } else if (text.compare(i, 2, "<!") == 0) {
            // The document type declaration, its internal subset with quoted literals and comments.
            std::size_t k = i + 2;
            char quote = 0;
            int depth = 0;
            while (k < text.size()) {
                const char d = text[k];
                if (quote != 0) {
                    if (d == quote) quote = 0;
                } else if (d == '"' || d == '\'') {
                    quote = d;
                } else if (text.compare(k, 4, "<!--") == 0) {
                    const std::size_t end = text.find("-->", k + 4);
                    k = end == std::string_view::npos ? text.size() : end + 2;
                } else if (d == '[') {
                    ++depth;
                } else if (d == ']') {
                    --depth;
                } else if (d == '>' && depth <= 0) {
                    ++k;
                    break;
                }
                ++k;
            }
            k = std::min(k, text.size());
            out.append(text.substr(i, k - i));
            i = k;
        } else {
            // A tag: references inside its quoted attribute values are content too.
            out.push_back(text[i++]);
            char quote = 0;
            while (i < text.size()) {
                const char d = text[i];
                if (quote != 0 && d == '&' && try_mark(i)) continue;
                out.push_back(d);
                ++i;
                if (quote != 0) {
                    if (d == quote) quote = 0;
                } else if (d == '"' || d == '\'') {
                    quote = d;
                } else if (d == '>') {
                    break;
                }
            }
        }
    }
    return out;
}

// Puts back the white space that stand-ins from `base` replaced; whether there was any.
bool unmark(std::string& text, char32_t base) {
    if (base == 0) return false;
    std::string out;
    bool found = false;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t cp = next_code_point(text, i);
        if (cp >= base && cp < base + kMarkCount) {
            if (!found) out.assign(text, 0, start);
            found = true;
            append_utf8(out, kReferableWhiteSpace[cp - base]);
        } else if (found) {
            out.append(text, start, i - start);
        }
    }
    if (found) text = std::move(out);
    return found;
}

void init_libxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

void ignore_error(void*, xmlErrorPtr) {}

class Converter {
public:
    Converter(const XmlHints& hints, xmlTextReaderPtr reader, char32_t mark_base)
        : hints_(hints), reader_(reader), mark_base_(mark_base) {}

    Result<Value, XmlBodyError> document(std::string_view text) {
        std::optional<Value> root;
        while (true) {
            const int rc = xmlTextReaderRead(reader_);
            if (rc < 0) {
                if (!root && is_element_free(text)) return Value::null();
                return make_unexpected(error(XmlBodyErrorKind::Syntax, "malformed XML"));
            }
            if (rc == 0) break;
            switch (xmlTextReaderNodeType(reader_)) {
                case XML_READER_TYPE_ELEMENT: {
                    if (root)
                        return make_unexpected(error(XmlBodyErrorKind::UnexpectedContent, "a second root element"));
                    auto value =
                        xmlTextReaderIsEmptyElement(reader_) ? empty_element(std::string()) : element(std::string(), 1);
                    if (!value) return value;
                    root = std::move(value).value();
                    break;
                }
                case XML_READER_TYPE_TEXT:
                case XML_READER_TYPE_WHITESPACE:
                case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
                    for (char c : view(xmlTextReaderConstValue(reader_)))
                        if (!is_xml_space(c))
                            return make_unexpected(error(XmlBodyErrorKind::UnexpectedContent, "text outside the root"));
                    break;
                case XML_READER_TYPE_DOCUMENT_TYPE:
                    if (root) return make_unexpected(error(XmlBodyErrorKind::UnexpectedContent, "a late DOCTYPE"));
                    break;
                case XML_READER_TYPE_COMMENT:
                case XML_READER_TYPE_PROCESSING_INSTRUCTION:
                case XML_READER_TYPE_XML_DECLARATION:
                    break;
                case XML_READER_TYPE_ENTITY_REFERENCE:
                    return make_unexpected(
                        error(XmlBodyErrorKind::Reference, std::string(view(xmlTextReaderConstName(reader_)))));
                default:
                    return make_unexpected(error(XmlBodyErrorKind::UnexpectedContent));
            }
        }
        if (!root) return Value::null();
        return std::move(*root);
    }

private:
    const XmlHint& hint(std::string_view location) const { return hint_at(hints_, location); }
    bool has_hint(std::string_view location) const { return hints_.find(location) != hints_.end(); }

    // The reader stands on a start tag that has content.
    Result<Value, XmlBodyError> element(const std::string& location, std::size_t depth) {
        if (depth > kMaxXmlDepth) return make_unexpected(error(XmlBodyErrorKind::TooDeep));
        const XmlHint& own = hint(location);
        const bool wrapped = own.wrapped;
        Members attributes;
        bool nil = false;
        if (auto collected = collect_attributes(location, attributes); !collected)
            return make_unexpected(collected.error());
        else
            nil = *collected;

        Members children;
        std::string text, pending;
        bool pending_has_reference = false;
        const auto flush = [&] {
            if (pending_has_reference || !is_all_unicode_white_space(pending)) text += pending;
            pending.clear();
            pending_has_reference = false;
        };
        while (true) {
            const int rc = xmlTextReaderRead(reader_);
            if (rc < 0) return make_unexpected(error(XmlBodyErrorKind::Syntax, "malformed XML"));
            if (rc == 0) return make_unexpected(error(XmlBodyErrorKind::UnexpectedEnd));
            switch (xmlTextReaderNodeType(reader_)) {
                case XML_READER_TYPE_ELEMENT: {
                    flush();
                    const std::string_view local = local_part(view(xmlTextReaderConstName(reader_)));
                    auto named = own.element_names.find(local);
                    const std::string property = named != own.element_names.end() ? named->second : std::string(local);
                    const std::string at =
                        wrapped ? child_location(location, "[]") : child_location(location, property);
                    auto value = xmlTextReaderIsEmptyElement(reader_) ? empty_element(at) : element(at, depth + 1);
                    if (!value) return value;
                    if (wrapped)
                        push_wrapped_item(children, std::move(value).value());
                    else
                        insert_child_value(children, property, std::move(value).value(), at);
                    break;
                }
                case XML_READER_TYPE_TEXT:
                case XML_READER_TYPE_WHITESPACE:
                case XML_READER_TYPE_SIGNIFICANT_WHITESPACE: {
                    std::string piece(view(xmlTextReaderConstValue(reader_)));
                    if (unmark(piece, mark_base_)) pending_has_reference = true;
                    pending += piece;
                    break;
                }
                case XML_READER_TYPE_CDATA:
                    flush();
                    text += view(xmlTextReaderConstValue(reader_));
                    break;
                case XML_READER_TYPE_ENTITY_REFERENCE:
                    return make_unexpected(
                        error(XmlBodyErrorKind::Reference, std::string(view(xmlTextReaderConstName(reader_)))));
                case XML_READER_TYPE_END_ELEMENT:
                    flush();
                    return finish(location, wrapped, nil, std::move(attributes), std::move(children), text);
                default:
                    break;  // comments, processing instructions
            }
        }
    }

    Result<Value, XmlBodyError> finish(const std::string& location, bool wrapped, bool nil, Members attributes,
                                       Members children, const std::string& text) {
        if (wrapped) {
            auto items = children.find("__items__");
            if (items == children.end()) return Value::array();
            return std::move(items->second);
        }
        for (auto& [key, value] : children) attributes[key] = std::move(value);
        if (!attributes.empty()) {
            if (!text.empty()) attributes["#text"] = typed_scalar(text, 0);
            return object_from(std::move(attributes));
        }
        if (!text.empty()) return typed_scalar(text, hint(location).types);
        return empty_element_value(nil, location);
    }

    Result<Value, XmlBodyError> empty_element(const std::string& location) {
        Members attributes;
        auto nil = collect_attributes(location, attributes);
        if (!nil) return make_unexpected(nil.error());
        if (!attributes.empty()) return object_from(std::move(attributes));
        return empty_element_value(*nil, location);
    }

    Value empty_element_value(bool nil, std::string_view location) const {
        if (nil || !has_hint(location)) return Value::null();
        const std::uint8_t types = hint(location).types;
        if (types & kString) return Value::string("");
        if (types & kObject) return Value::object();
        if (types & kArray) return Value::array();
        return Value::null();
    }

    void insert_child_value(Members& children, const std::string& property, Value value, std::string_view at) const {
        if (auto it = children.find(property); it != children.end()) {
            if (it->second.is_array()) {
                it->second.push_back(std::move(value));
            } else {
                Value pair = Value::array();
                pair.push_back(std::move(it->second));
                pair.push_back(std::move(value));
                it->second = std::move(pair);
            }
            return;
        }
        const std::uint8_t types = hint(at).types;
        if ((types & kArray) && !type_allows(value, types)) {
            Value single = Value::array();
            single.push_back(std::move(value));
            children.emplace(property, std::move(single));
        } else {
            children.emplace(property, std::move(value));
        }
    }

    static void push_wrapped_item(Members& children, Value value) {
        Value& items = children["__items__"];
        if (items.is_null()) items = Value::array();
        items.push_back(std::move(value));
    }

    // The nil flag; the reader is left on the element.
    Result<bool, XmlBodyError> collect_attributes(const std::string& location, Members& out) {
        const int count = xmlTextReaderAttributeCount(reader_);
        if (count < 0) return make_unexpected(error(XmlBodyErrorKind::AttributeSyntax));
        const XmlHint& own = hint(location);
        bool nil = false;
        for (int i = 0; i < count; ++i) {
            if (xmlTextReaderMoveToAttributeNo(reader_, i) != 1)
                return make_unexpected(error(XmlBodyErrorKind::AttributeSyntax));
            const std::string_view name = view(xmlTextReaderConstName(reader_));
            if (name == "xmlns" || name.substr(0, 6) == "xmlns:") continue;
            const std::string_view local = local_part(name);
            const std::string_view ns = view(xmlTextReaderConstNamespaceUri(reader_));
            std::string value(view(xmlTextReaderConstValue(reader_)));
            unmark(value, mark_base_);
            // Entities other than the predefined ones stay unresolved references here.
            while (xmlTextReaderReadAttributeValue(reader_) == 1) {
                if (xmlTextReaderNodeType(reader_) == XML_READER_TYPE_ENTITY_REFERENCE) {
                    std::string entity(view(xmlTextReaderConstName(reader_)));
                    xmlTextReaderMoveToElement(reader_);
                    return make_unexpected(error(XmlBodyErrorKind::Reference, std::move(entity)));
                }
            }
            auto named = own.attribute_names.find(local);
            const std::string property = named != own.attribute_names.end() ? named->second : std::string(local);
            const XmlHint& attribute_hint = hint(child_location(location, property));
            if (attribute_hint.attribute) {
                out[property] = typed_scalar(value, attribute_hint.types);
                continue;
            }
            if (ns == kXsiNamespace) {
                if (local == "nil") {
                    std::string_view v = value;
                    while (!v.empty() && is_xml_space(v.front())) v.remove_prefix(1);
                    while (!v.empty() && is_xml_space(v.back())) v.remove_suffix(1);
                    if (v == "true" || v == "1") nil = true;
                }
                continue;
            }
            if (ns == kXmlNamespace) continue;
            out[property] = typed_scalar(value, 0);
        }
        if (count > 0) xmlTextReaderMoveToElement(reader_);
        return nil;
    }

    const XmlHints& hints_;
    xmlTextReaderPtr reader_;
    char32_t mark_base_;
};

}  // namespace

Value typed_scalar(std::string_view t, std::uint8_t types) {
    if (types != 0) {
        if ((types & kNull) && t.size() == 4 && ascii_iequals(t, "null")) return Value::null();
        if (types & kBoolean) {
            if (ascii_iequals(t, "true") || t == "1") return Value::boolean(true);
            if (ascii_iequals(t, "false") || t == "0") return Value::boolean(false);
        }
        const bool lone_sign = t == "+" || t == "-";
        if ((types & kInteger) && !(types & kString) && !t.empty() && !lone_sign) {
            if (auto v = read_i64(t)) return Value::number_from_int(*v);
        }
        if ((types & kNumber) && !(types & kString)) {
            if (auto number = deririrore::value::decimal_number_text(t)) return Value::number(std::move(*number));
        }
        return Value::string(std::string(t));
    }
    if (t.empty() || t == "+" || t == "-") return Value::string(std::string(t));
    if (t.size() == 4 && ascii_iequals(t, "true")) return Value::boolean(true);
    if (t.size() == 5 && ascii_iequals(t, "false")) return Value::boolean(false);
    if (auto v = read_i64(t)) return Value::number_from_int(*v);
    if (auto number = deririrore::value::decimal_number_text(t)) return Value::number(std::move(*number));
    return Value::string(std::string(t));
}

Result<Value, XmlBodyError> xml_body_to_json(const XmlHints& hints, std::string_view body) {
    std::string_view encoding = "UTF-8";
    std::string_view bytes = body;
    const auto starts = [&](std::string_view prefix) { return body.substr(0, prefix.size()) == prefix; };
    if (starts("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    } else if (starts("\xFF\xFE")) {
        encoding = "UTF-16LE";
        bytes.remove_prefix(2);
    } else if (starts("\xFE\xFF")) {
        encoding = "UTF-16BE";
        bytes.remove_prefix(2);
    } else if (auto label = declared_encoding(body)) {
        auto named = encoding_for_label(*label);
        if (!named) {
            std::string shown;
            for (unsigned char c : *label) shown += c < 0x80 ? std::string(1, static_cast<char>(c)) : "\xEF\xBF\xBD";
            return make_unexpected(error(XmlBodyErrorKind::UnknownEncoding, std::move(shown)));
        }
        if (*named != "UTF-16LE" && *named != "UTF-16BE" && *named != "replacement") encoding = *named;
    }

    std::string decoded;
    std::string_view text = bytes;
    if (encoding == "UTF-8") {
        if (!is_valid_utf8(bytes)) return make_unexpected(error(XmlBodyErrorKind::Undecodable));
    } else {
        auto converted = decode_to_utf8(bytes, encoding);
        if (!converted) return make_unexpected(error(XmlBodyErrorKind::Undecodable, std::string(encoding)));
        decoded = std::move(*converted);
        text = decoded;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return make_unexpected(error(XmlBodyErrorKind::Undecodable));
    if (is_element_free(text)) return Value::null();

    std::string marked;
    char32_t mark_base = 0;
    if (text.find("&#") != std::string_view::npos && (mark_base = free_mark_base(text)) != 0) {
        marked = mark_white_space_references(text, mark_base);
        text = marked;
    }

    init_libxml();
    // No network, no DTD loading, no default attributes, entities left unsubstituted; the text is
    // UTF-8 whatever its declaration says.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC;
    std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
        xmlReaderForMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8", options), xmlFreeTextReader);
    if (!reader) return make_unexpected(error(XmlBodyErrorKind::Syntax, "the parser could not start"));
    xmlTextReaderSetStructuredErrorHandler(reader.get(), ignore_error, nullptr);
    Converter converter(hints, reader.get(), mark_base);
    return converter.document(text);
}

}  // namespace xml
