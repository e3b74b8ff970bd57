#pragma once
// One measured parameter or request body of an operation: its name and location, the hydrated
// schema and compiled validator of its value, the settings recording decodes a value with, and
// the counters recording traces it into.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/value.hpp"
#include "http/media_type.hpp"
#include "vantorel/model/problems.hpp"
#include "xml/hints.hpp"
#include "zavova/coverage_state.hpp"
#include "zavova/measured_targets.hpp"

namespace vantorel::model {

// Path styles and query styles, in the order their builders number them.
enum class PathStyle : std::uint8_t { Simple = 0, Label = 1, Matrix = 2 };
enum class QueryStyle : std::uint8_t { Form = 0, SpaceDelimited = 1, PipeDelimited = 2, DeepObject = 3 };
// Swagger 2.0 array encodings.
enum class CollectionFormat : std::uint8_t { Csv = 0, Ssv = 1, Tsv = 2, Pipes = 3, Multi = 4 };

// `non_json_content`: the schema came from `schema` (Unset), from a JSON-like `content` entry
// (Json) or from any other `content` entry (Other).
enum class ContentSource : std::uint8_t { Json = 0, Other = 1, Unset = 2 };

inline constexpr std::int64_t kSwagger2Tag = -1;
inline constexpr std::int64_t kPathTag = 3;
inline constexpr std::int64_t kQueryTag = 4;
inline constexpr std::int64_t kHeaderTag = 5;
inline constexpr std::int64_t kCookieTag = 6;
inline constexpr std::int64_t kQuerystringTag = 8;

// The request-body forms: JSON-like or other decoded bodies, form-urlencoded, multipart.
enum class BodyForm : std::int64_t { Json = 0, Form = 1, Multipart = 2, Other = 7 };

struct ParameterTarget {
    // The form: -1 a Swagger 2.0 target (its location says which), 0, 1, 2 and 7 OpenAPI 3
    // request bodies, 3 path, 4 query, 5 header, 6 cookie, 8 querystring.
    std::int64_t tag = 0;
    std::string name;
    ParameterLocation location = ParameterLocation::Query;
    std::shared_ptr<const deririrore::value::Value> schema;  // hydrated; null until built
    std::shared_ptr<const deririrore::core::Validator> validator;
    zavova::CoverageHolder holder;
    deririrore::referencing::Draft draft = deririrore::referencing::Draft::Draft4;

    // Decoding settings of the path, query, header and cookie forms.
    bool explode = false;
    std::uint8_t style = 0;    // PathStyle or QueryStyle
    std::uint8_t types = 127;  // the JSON types the schema admits (bit 64: object)
    bool digit_strings = false;
    ContentSource non_json_content = ContentSource::Unset;
    // Query form only: for a free-form query object, the names of the operation's other query
    // parameters, which never belong to it.
    std::vector<std::string> excluded_query_names;

    // Swagger 2.0 forms.
    CollectionFormat collection_format = CollectionFormat::Csv;
    std::string body_media_type;                          // body parameters
    std::optional<std::string> non_json_body_media_type;  // body parameters

    // Request-body forms: the key parsed (absent when it does not parse), the `encoding` object
    // handed on, and the more specific keys a request matching this one belongs to instead.
    std::optional<http::MediaType> media_type;
    std::optional<deririrore::value::Value> encoding;
    std::vector<http::MediaType> narrower_media_types;
    // Request bodies, Swagger 2.0 body parameters and querystring parameters: how each form field
    // decodes (style, explode, types), from the prepared schema and `encoding`.
    std::map<std::string, zavova::DecodeSpec, std::less<>> field_specs;
    // Request-body forms whose media type may carry XML: how elements map onto the schema, learned
    // from the schema as written (the compile drops its `xml` members); null for the others.
    std::shared_ptr<const xml::XmlHints> xml_hints;
};

}  // namespace vantorel::model
