#pragma once
// What is wrong in an API document. A problem is not an error of the build: it is recorded with
// its place as a ProblemEntry and the build goes on with what it can measure; the reports turn
// each entry into a diagnostic.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "deririrore/core/validation_error.hpp"
#include "deririrore/referencing/error.hpp"
#include "deririrore/value/types.hpp"
#include "deririrore/value/value.hpp"

namespace vantorel::model {

using deririrore::value::JsonType;
using deririrore::value::Value;

// Where a parameter is sent, one byte.
enum class ParameterLocation : std::uint8_t {
    Path = 0,
    Query = 1,
    Header = 2,
    Cookie = 3,
    Body = 4,
    FormData = 5,
    Querystring = 6,
};

// The `in` text of the location: "path", "query", "header", "cookie", "body", "formData",
// "querystring".
std::string_view parameter_location_name(ParameterLocation location) noexcept;
// The name reports and exported counts give the location: the `in` text in snake case
// ("form_data" for formData).
std::string_view parameter_location_key(ParameterLocation location) noexcept;

struct ParameterPosition {
    std::string name;
    ParameterLocation location = ParameterLocation::Query;
    friend bool operator==(const ParameterPosition&, const ParameterPosition&) = default;
};

// Where inside an operation a problem was found.
namespace positions {
struct RequestBody {
    friend bool operator==(const RequestBody&, const RequestBody&) = default;
};
struct RequestBodyMediaType {
    std::string media_type;
    friend bool operator==(const RequestBodyMediaType&, const RequestBodyMediaType&) = default;
};
struct Response {
    std::string status;  // the status key as written, "default" included
    friend bool operator==(const Response&, const Response&) = default;
};
struct ResponseBody {
    std::string status;
    std::string media_type;
    friend bool operator==(const ResponseBody&, const ResponseBody&) = default;
};
}  // namespace positions

using ProblemPosition = std::variant<positions::RequestBody, positions::RequestBodyMediaType, positions::Response,
                                     positions::ResponseBody, ParameterPosition>;

// Why a reference could not be placed or followed.
namespace reference_failures {
// The percent-decoded file path or pointer is not UTF-8.
struct PercentEncoding {
    std::string reference;
    deririrore::referencing::Utf8Error error;
};
// A pointer or anchor that leads nowhere; `target` names it (the reference text, or the placed
// file's name, "#" and the fragment).
struct Unresolvable {
    std::string target;
};
// A reference that is never followed.
struct Unsupported {
    std::string reference;
};
// A referenced file that could not be read or parsed.
struct Retrieval {
    std::string reference;  // as written in the document
    std::string path;       // the file path that was tried
    std::optional<std::string> detail;  // the system's text when the file could not be read
    std::string_view message;           // kCantOpenFile or kInvalidReferencedFile
};
}  // namespace reference_failures

using ReferenceFailure = std::variant<reference_failures::PercentEncoding, reference_failures::Unresolvable,
                                      reference_failures::Unsupported, reference_failures::Retrieval>;

inline constexpr std::string_view kCantOpenFile = "Can't open file";
inline constexpr std::string_view kInvalidReferencedFile = "Invalid JSON or YAML in referenced file";

// The forms of a problem. Field names and allowed-value lists are static texts of the program;
// every other text is an owned copy.
namespace problems {
struct Reference {
    ReferenceFailure failure;
};
// A required member is absent.
struct MissingField {
    std::string_view field;
};
// A member has another JSON type than required.
struct UnexpectedType {
    std::string_view field;
    JsonType expected = JsonType::Object;
};
// A member's value is outside the allowed set or cannot be read.
struct UnexpectedValue {
    std::string value;  // a string as it stands, another value as compact JSON (value_text)
    std::string_view field;
    std::span<const std::string_view> allowed;
};
// A second `querystring` parameter (Querystring), or `query` parameters beside one (Query).
struct QuerystringConflict {
    ParameterLocation beside = ParameterLocation::Querystring;
};
struct ReferenceLoop {
    std::string reference;
};
struct UnresolvableReference {
    std::string reference;
};
// A `$ref` whose value is not a string; the value as compact JSON.
struct ReferenceNotText {
    std::string value;
};
// A reference with a URI scheme, or one leaving a document that came from a URL.
struct ReferenceNotFollowed {
    std::string reference;
};
// A response key that is not three characters long.
struct InvalidStatusCode {
    std::string key;
};
struct InvalidStatusCodeCharacter {
    std::string key;
    char32_t character = 0;  // the first character that is neither a digit nor "X"
};
struct StatusCodeOutOfRange {
    std::string key;
};
// A measured schema that does not compile; the error of the last attempt, owning its instance.
struct InvalidSchema {
    deririrore::core::ValidationError error;
    // The schema as that attempt checked it, where the error's location was taken: it tells a
    // step into an array from a member whose name is digits. Null when not kept.
    std::shared_ptr<const deririrore::value::Value> schema;
};
// A path template with more parameters than the route table takes; it is matched segment by
// segment instead.
struct TooManyRouteParameters {
    std::size_t count = 0;
    std::size_t limit = 0;
};
// A second operation for a method the path item already has (for instance "get" and "GET", or
// one beside a `$ref` and one in its target); the first stays.
struct DuplicateOperation {};
}  // namespace problems

struct SpecProblem {
    using Data = std::variant<problems::Reference, problems::MissingField, problems::UnexpectedType,
                              problems::UnexpectedValue, problems::QuerystringConflict, problems::ReferenceLoop,
                              problems::UnresolvableReference, problems::ReferenceNotText,
                              problems::ReferenceNotFollowed, problems::InvalidStatusCode,
                              problems::InvalidStatusCodeCharacter, problems::StatusCodeOutOfRange,
                              problems::InvalidSchema, problems::TooManyRouteParameters,
                              problems::DuplicateOperation>;
    Data data;

    template <class T>
    bool is() const noexcept {
        return std::holds_alternative<T>(data);
    }
    template <class T>
    const T* get_if() const noexcept {
        return std::get_if<T>(&data);
    }

    static SpecProblem reference(ReferenceFailure failure) { return {problems::Reference{std::move(failure)}}; }
    static SpecProblem missing_field(std::string_view field) { return {problems::MissingField{field}}; }
    static SpecProblem unexpected_type(std::string_view field, JsonType expected) {
        return {problems::UnexpectedType{field, expected}};
    }
    // `value` shown as value_text.
    static SpecProblem unexpected_value(const Value& value, std::string_view field,
                                        std::span<const std::string_view> allowed = {});
    static SpecProblem unexpected_value_text(std::string value, std::string_view field,
                                             std::span<const std::string_view> allowed = {}) {
        return {problems::UnexpectedValue{std::move(value), field, allowed}};
    }
    // The text of the `$ref` value as compact JSON.
    static SpecProblem reference_not_text(const Value& value);
    // Keeps an owned copy of the error, so that the problem outlives the schema it came from.
    static SpecProblem invalid_schema(deririrore::core::ValidationError error,
                                      std::shared_ptr<const deririrore::value::Value> schema = nullptr);
    static SpecProblem retrieval(std::string reference_text, std::string path, std::optional<std::string> detail,
                                 std::string_view message) {
        return reference(reference_failures::Retrieval{std::move(reference_text), std::move(path), std::move(detail),
                                                       message});
    }
};

// The diagnostic kind text of a problem: "unreadable_reference", "missing_field", ... An
// `Unresolvable` failure whose fragment names an anchor (neither empty nor a pointer) is
// "unresolvable_anchor", else "unresolvable_pointer"; a `$ref` that is not a string is
// "unexpected_type" (of the field "$ref", expected string).
std::string_view spec_problem_kind(const SpecProblem& problem) noexcept;

// A value as problems show it: a string as it stands, anything else as compact JSON.
std::string value_text(const Value& value);

// One recorded problem.
struct ProblemEntry {
    std::string path;  // the key of "paths" as written (no base path)
    std::optional<ProblemPosition> position;  // absent for the operation, or the path item
    SpecProblem problem;
    std::uint8_t method = 0;  // the HttpMethod byte; 0 when the problem belongs to the path item
};

}  // namespace vantorel::model
