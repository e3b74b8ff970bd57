#pragma once
// XML bodies to JSON values, shaped by the schema's XML hints: elements become objects of their
// attributes and children, repeated elements arrays, wrapped arrays their items, and text null, a
// boolean, a number (its decimal text kept exactly) or a string by the types the schema allows
// at that place. The body's bytes are decoded to UTF-8 first (byte-order mark, else the XML
// declaration's encoding label), strictly: nothing malformed is replaced.
//
// Safe on hostile input: no network, no DTD loading, no entity substitution (any entity other
// than the five predefined ones fails the body, so nothing is read and nothing expands), and
// nesting beyond 128 elements fails.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "xml/hints.hpp"

namespace xml {

enum class XmlBodyErrorKind : std::uint8_t {
    Syntax,
    AttributeSyntax,
    InvalidUtf8,
    Reference,
    Undecodable,
    UnknownEncoding,
    UnexpectedEnd,
    UnexpectedContent,
    TooDeep,
};

struct XmlBodyError {
    XmlBodyErrorKind kind;
    std::string detail;  // the label of an unknown encoding, the parser's message, or empty
};

inline constexpr std::size_t kMaxXmlDepth = 128;

deririrore::Result<Value, XmlBodyError> xml_body_to_json(const XmlHints& hints, std::string_view body);

// Text typed by a type mask; an empty mask infers booleans and numbers.
Value typed_scalar(std::string_view text, std::uint8_t types);

// The WHATWG Encoding Standard's name for a label ("latin1" -> "windows-1252"); none when the
// label names no encoding. ASCII white space around it is ignored and letters match in any case.
std::optional<std::string_view> encoding_for_label(std::string_view label);

// The bytes in `encoding` (a name encoding_for_label gives) as UTF-8; none at the first malformed
// sequence or for an encoding that cannot be decoded here.
std::optional<std::string> decode_to_utf8(std::string_view bytes, std::string_view encoding);

}  // namespace xml
