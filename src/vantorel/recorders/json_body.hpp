#pragma once
// Content types of recorded bodies, and JSON bodies in any Unicode encoding read into values that
// keep their numbers exactly (the JSON reader's number texts, never a double).
//
//   auto media = parse_media_type(content_type);            // lenient about " ;" and white space
//   if (media && is_json_media_type(media->type, media->subtype))
//       if (auto value = decode_json_body(body, *media)) trace(*value);
//
// Nothing here reports an error: what does not parse or decode is none, and the caller then
// traces nothing for it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/value/value.hpp"
#include "http/media_type.hpp"

namespace vantorel::recorders {

using deririrore::value::Value;
using http::is_json_media_type;

// The content type of a recorded message: Unicode white space trimmed, then parsed; a text the
// parser refuses is parsed once more with the white space before each ";" outside quoted strings
// removed.
std::optional<http::MediaType> parse_media_type(std::string_view text);

// "xml" and any subtype ending in "+xml".
bool is_xml_subtype(std::string_view subtype) noexcept;

enum class BodyEncoding : std::uint8_t { Utf8, Utf16Le, Utf16Be, Utf32Le, Utf32Be };

struct DetectedEncoding {
    BodyEncoding encoding = BodyEncoding::Utf8;
    std::size_t mark_length = 0;  // bytes of the byte-order mark to skip
};

// A byte-order mark first (it wins over the parameter), else the "charset" parameter of the
// media type (utf-16, utf-16be, utf-16le, utf-32, utf-32be, utf-32le in any ASCII case; the bare
// names are big-endian), else UTF-8.
DetectedEncoding detect_body_encoding(std::string_view body, const http::MediaType& media_type) noexcept;

// UTF-16 or UTF-32 bytes (no mark) as UTF-8; none for a length that is not a whole number of
// units, an unpaired surrogate, or a unit that is no Unicode scalar value. UTF-8 input is
// returned as it is, unchecked (the JSON reader checks it).
std::optional<std::string> transcode_to_utf8(std::string_view bytes, BodyEncoding encoding);

// One JSON text in the encoding detect_body_encoding chooses; none when it does not decode, is
// not exactly one JSON value (white space around it allowed), or nests deeper than the JSON
// reader's limit. The signature is the one the multipart decoder takes for JSON parts.
std::optional<Value> decode_json_body(std::string_view body, const http::MediaType& media_type);

// The body as one string: UTF-8 with every ill-formed sequence replaced by U+FFFD.
Value body_as_string(std::string_view body);

}  // namespace vantorel::recorders
