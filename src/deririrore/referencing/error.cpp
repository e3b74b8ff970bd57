#include "deririrore/referencing/error.hpp"

#include <vector>

namespace deririrore::referencing {

namespace {

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    static constexpr char hex[] = "0123456789abcdef";
                    out += "\\u{";
                    if (c >= 0x10) out.push_back(hex[c >> 4]);
                    out.push_back(hex[c & 0xf]);
                    out.push_back('}');
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
    return out;
}

// Renders `Name { field: value, ... }`, or the indented multi-line variant.
std::string debug_struct(std::string_view name, const std::vector<std::pair<std::string_view, std::string>>& fields,
                         bool alternate) {
    std::string out(name);
    if (fields.empty()) return out;
    if (!alternate) {
        out += " { ";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) out += ", ";
            out += fields[i].first;
            out += ": ";
            out += fields[i].second;
        }
        out += " }";
        return out;
    }
    out += " {\n";
    for (const auto& [key, value] : fields) {
        out += "    ";
        out += key;
        out += ": ";
        // Nested multi-line values are indented one level further.
        for (char c : value) {
            out.push_back(c);
            if (c == '\n') out += "    ";
        }
        out += ",\n";
    }
    out += "}";
    return out;
}

std::string_view parse_kind_text(UriParseErrorKind kind) {
    switch (kind) {
        case UriParseErrorKind::InvalidPercentEncoding: return "invalid percent-encoded octet at index ";
        case UriParseErrorKind::UnexpectedCharacter: return "unexpected character at index ";
        case UriParseErrorKind::InvalidIpv6: return "invalid IPv6 address at index ";
    }
    return "unexpected character at index ";
}

std::string_view parse_kind_name(UriParseErrorKind kind) {
    switch (kind) {
        case UriParseErrorKind::InvalidPercentEncoding: return "InvalidPercentEncoding";
        case UriParseErrorKind::UnexpectedCharacter: return "UnexpectedCharacter";
        case UriParseErrorKind::InvalidIpv6: return "InvalidIpv6";
    }
    return "UnexpectedCharacter";
}

std::string_view int_error_name(IntParseErrorKind kind) {
    switch (kind) {
        case IntParseErrorKind::Empty: return "Empty";
        case IntParseErrorKind::InvalidDigit: return "InvalidDigit";
        case IntParseErrorKind::PosOverflow: return "PosOverflow";
    }
    return "InvalidDigit";
}

std::string utf8_error_debug(const Utf8Error& e, bool alternate) {
    std::string len = e.error_len ? "Some(" + std::to_string(*e.error_len) + ")" : std::string("None");
    return debug_struct("Utf8Error", {{"valid_up_to", std::to_string(e.valid_up_to)}, {"error_len", len}}, alternate);
}

}  // namespace

std::string UriParseError::message() const {
    std::string out(parse_kind_text(kind));
    out += std::to_string(index);
    return out;
}

std::string UriParseError::debug() const {
    return debug_struct("UriParseError", {{"kind", std::string(parse_kind_name(kind))}, {"index", std::to_string(index)}},
                        false);
}

std::string_view uri_resolve_error_message(UriResolveErrorKind) {
    return "when base has a rootless path and no authority, reference should either have scheme, be empty or start "
           "with '#'";
}

std::string UriError::message() const {
    if (const auto* p = std::get_if<Parse>(&data)) {
        std::string out = p->is_reference ? "Invalid URI reference '" : "Invalid URI '";
        out += p->uri;
        out += "': ";
        out += p->error.message();
        return out;
    }
    const auto& r = std::get<Resolve>(data);
    std::string out = "Failed to resolve '";
    out += r.uri;
    out += "' against '";
    out += r.base;
    out += "': ";
    out += uri_resolve_error_message(r.error);
    return out;
}

std::string UriError::debug(bool alternate) const {
    if (const auto* p = std::get_if<Parse>(&data)) {
        return debug_struct("Parse",
                            {{"uri", quoted(p->uri)},
                             {"is_reference", p->is_reference ? "true" : "false"},
                             {"error", p->error.debug()}},
                            alternate);
    }
    const auto& r = std::get<Resolve>(data);
    return debug_struct("Resolve", {{"uri", quoted(r.uri)}, {"base", quoted(r.base)}, {"error", "OpaqueBase"}},
                        alternate);
}

std::string ReferenceError::message() const {
    struct Visitor {
        std::string operator()(const Unretrievable& e) const {
            return "Resource '" + e.uri + "' is not present in a registry and retrieving it failed: " +
                   e.source.message;
        }
        std::string operator()(const PointerToNowhere& e) const {
            return "Pointer '" + e.pointer + "' does not exist";
        }
        std::string operator()(const InvalidPercentEncoding& e) const {
            return "Invalid percent encoding in pointer '" + e.pointer +
                   "': the decoded bytes do not represent valid UTF-8";
        }
        std::string operator()(const InvalidArrayIndex& e) const {
            return "Failed to parse array index '" + e.index + "' in pointer '" + e.pointer + "'";
        }
        std::string operator()(const NoSuchAnchor& e) const { return "Anchor '" + e.anchor + "' does not exist"; }
        std::string operator()(const InvalidAnchor& e) const { return "Anchor '" + e.anchor + "' is invalid"; }
        std::string operator()(const InvalidUri& e) const { return e.error.message(); }
        std::string operator()(const UnknownSpecification& e) const {
            return "Unknown meta-schema: '" + e.specification +
                   "'. Custom meta-schemas must be registered in the registry before use";
        }
        std::string operator()(const CircularMetaschema& e) const {
            return "Circular meta-schema reference detected at '" + e.uri + "'";
        }
    };
    return std::visit(Visitor{}, data);
}

std::string ReferenceError::debug(bool alternate) const {
    struct Visitor {
        bool alt;
        std::string operator()(const Unretrievable& e) const {
            return debug_struct("Unretrievable", {{"uri", quoted(e.uri)}, {"source", e.source.debug}}, alt);
        }
        std::string operator()(const PointerToNowhere& e) const {
            return debug_struct("PointerToNowhere", {{"pointer", quoted(e.pointer)}}, alt);
        }
        std::string operator()(const InvalidPercentEncoding& e) const {
            return debug_struct("InvalidPercentEncoding",
                                {{"pointer", quoted(e.pointer)}, {"source", utf8_error_debug(e.source, alt)}}, alt);
        }
        std::string operator()(const InvalidArrayIndex& e) const {
            std::string src = debug_struct("ParseIntError", {{"kind", std::string(int_error_name(e.source))}}, alt);
            return debug_struct("InvalidArrayIndex",
                                {{"pointer", quoted(e.pointer)}, {"index", quoted(e.index)}, {"source", src}}, alt);
        }
        std::string operator()(const NoSuchAnchor& e) const {
            return debug_struct("NoSuchAnchor", {{"anchor", quoted(e.anchor)}}, alt);
        }
        std::string operator()(const InvalidAnchor& e) const {
            return debug_struct("InvalidAnchor", {{"anchor", quoted(e.anchor)}}, alt);
        }
        std::string operator()(const InvalidUri& e) const {
            if (!alt) return "InvalidUri(" + e.error.debug(false) + ")";
            std::string inner = e.error.debug(true);
            std::string out = "InvalidUri(\n    ";
            for (char c : inner) {
                out.push_back(c);
                if (c == '\n') out += "    ";
            }
            out += ",\n)";
            return out;
        }
        std::string operator()(const UnknownSpecification& e) const {
            return debug_struct("UnknownSpecification", {{"specification", quoted(e.specification)}}, alt);
        }
        std::string operator()(const CircularMetaschema& e) const {
            return debug_struct("CircularMetaschema", {{"uri", quoted(e.uri)}}, alt);
        }
    };
    return std::visit(Visitor{alternate}, data);
}

}  // namespace deririrore::referencing
