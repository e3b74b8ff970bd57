#pragma once
// Media types (RFC 9110, section 8.3.1): type "/" subtype, then parameters. Type and subtype are
// tokens and read in ASCII lower case whatever the text wrote; a parameter value is a token or a
// quoted string. The tests below decide how bodies are decoded: as JSON, as XML, as plain text.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/result.hpp"

namespace http {

struct MediaTypeParameter {
    std::string name;   // ASCII lower case
    std::string value;  // unquoted, escapes removed; letter case as written
    friend bool operator==(const MediaTypeParameter&, const MediaTypeParameter&) = default;
};

struct MediaType {
    std::string type;     // ASCII lower case; "*" in a media range
    std::string subtype;  // ASCII lower case, structured-syntax suffix included ("problem+json")
    std::vector<MediaTypeParameter> parameters;  // in the order written

    // "type/subtype", without parameters.
    std::string essence() const { return type + "/" + subtype; }
    // The structured-syntax suffix: the subtype after its last "+", empty when there is none.
    std::string_view suffix() const noexcept;
    // The value of the first parameter of that name (compared ignoring ASCII case), or nullptr.
    const std::string* parameter(std::string_view name) const noexcept;

    friend bool operator==(const MediaType&, const MediaType&) = default;
};

struct MediaTypeError {
    std::string message;  // names the byte offset
    std::size_t offset = 0;
};

// Leading and trailing spaces and tabs are ignored; empty parameters (";;") are allowed.
deririrore::Result<MediaType, MediaTypeError> parse_media_type(std::string_view text);

// "type/subtype;name=value", a value quoted (with "\" before '"' and '\') unless it is a token.
// Parsing the result gives the same MediaType.
std::string format_media_type(const MediaType& media_type);

// Type and subtype: the parts of the essence before and after its first "/".
std::pair<std::string_view, std::string_view> split_media_type(const MediaType& media_type) noexcept;

// JSON-like: application/json, jwt, x-json, jose+jwe and any application subtype of five or more
// bytes ending in "+json"; text/json. Expects the lower-case parts of a parsed media type.
bool is_json_media_type(std::string_view type, std::string_view subtype) noexcept;

// XML: a text that parses and whose subtype is "xml" or ends in "+xml" (of any type).
bool is_xml_media_type(std::string_view text);

// Plain text kept as a string, judged on the text exactly as written (case and parameters
// included): it begins with "text/" and the rest is not "json", "yaml" or "xml" nor ends in
// "+xml", "+json" or "+yaml".
bool is_text_media_type(std::string_view text) noexcept;

// A media range matches a media type when each of its type and subtype is "*" or equal to the
// other's; parameters are not compared.
bool media_range_matches(const MediaType& range, const MediaType& media_type) noexcept;

}  // namespace http
