#pragma once
// What the reports tell the reader about the API document: every loading problem, every schema
// that could not be measured as written, unknown dialects, unsatisfiable parameter schemas and
// path templates that cannot be routed, each with its severity and its place in the document.
// Rebuilt on every call from the map under its lock; each diagnostic owns its texts.
//
//   // with the map's lock held
//   for (const Diagnostic& d : collect_diagnostics(map)) {
//       std::string_view kind = diagnostic_kind_name(d.kind);
//       for_each_diagnostic_field(d, [&](std::string_view name, std::string_view text) { ... });
//   }
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/types.hpp"
#include "http/method.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/seeded_hash.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "zavova/analysis_records.hpp"

namespace vantorel::reports {

enum class Severity : std::uint8_t { Error = 0, Warning = 1 };

// "error", "warning".
std::string_view severity_name(Severity severity) noexcept;

enum class PositionPlace : std::uint8_t {
    PathItem = 0,
    Operation = 1,
    RequestBody = 2,
    Parameter = 3,
    Response = 4,
    ResponseBody = 5,
    Document = 255,
};

// "path_item", "operation", "request_body", "parameter", "response", "response_body", "document".
std::string_view position_place_name(PositionPlace place) noexcept;

// "path", "query", "header", "cookie", "body", "form_data", "querystring": the names reports use
// (the document's own "formData" is written form_data).
std::string_view location_name(model::ParameterLocation location) noexcept;

// Where a diagnostic sits. Which fields mean something depends on the place: document none;
// path_item the path; operation and request_body path and method; parameter path, method,
// location and name; response path, method and status; response_body also the media type.
struct DiagnosticPosition {
    std::string path;  // the path template (with the base path); empty for document
    PositionPlace place = PositionPlace::Document;
    http::HttpMethod method = http::HttpMethod::None;
    model::ParameterLocation location = model::ParameterLocation::Path;
    std::string name_or_status;  // parameter name, or the response's status key as written
    std::string media_type;      // response_body only

    static DiagnosticPosition document() { return {}; }
    static DiagnosticPosition path_item(std::string path);
    friend bool operator==(const DiagnosticPosition&, const DiagnosticPosition&) = default;
};

// The kinds, in the order every consumer matches on (the variant index of DiagnosticData).
enum class DiagnosticKind : std::uint8_t {
    InvalidPattern = 0,
    UnresolvableReference = 1,
    UnresolvablePointer = 2,
    UnresolvableAnchor = 3,
    InvalidSchema = 4,
    UnsupportedReference = 5,
    ReferenceLoop = 6,
    UncompilablePattern = 7,
    UnexpectedType = 8,
    UnexpectedValue = 9,
    InvalidPercentEncoding = 10,
    UnreadableReference = 11,
    MissingField = 12,
    QuerystringConflict = 13,
    InvalidStatusCode = 14,
    InvalidStatusCodeCharacter = 15,
    StatusCodeOutOfRange = 16,
    UnknownDialect = 17,
    UnknownDocumentDialect = 18,
    IgnoredDialect = 19,
    Unsatisfiable = 20,
    Unsupported = 21,
    Unroutable = 22,
    AdjacentPathParameters = 23,
    // A template with more path parameters than the route table takes: matched segment by
    // segment instead, so it still counts.
    TooManyRouteParameters = 24,
    // A second operation for a method the path item already has; the first one stays.
    DuplicateOperation = 25,
};
inline constexpr std::size_t kDiagnosticKindCount = 26;

// "invalid_pattern", "unresolvable_reference", ... "duplicate_operation".
std::string_view diagnostic_kind_name(DiagnosticKind kind) noexcept;

namespace diagnostic_kinds {
struct InvalidPattern {
    std::string pattern;
    friend bool operator==(const InvalidPattern&, const InvalidPattern&) = default;
};
struct UnresolvableReference {
    std::string reference;
    friend bool operator==(const UnresolvableReference&, const UnresolvableReference&) = default;
};
struct UnresolvablePointer {
    std::string pointer;
    friend bool operator==(const UnresolvablePointer&, const UnresolvablePointer&) = default;
};
struct UnresolvableAnchor {
    std::string anchor;
    friend bool operator==(const UnresolvableAnchor&, const UnresolvableAnchor&) = default;
};
struct InvalidSchema {
    std::string schema_path;
    std::string message;  // one line, from describe_expectation
    friend bool operator==(const InvalidSchema&, const InvalidSchema&) = default;
};
struct UnsupportedReference {
    std::string reference;
    friend bool operator==(const UnsupportedReference&, const UnsupportedReference&) = default;
};
struct ReferenceLoop {
    std::string reference;
    friend bool operator==(const ReferenceLoop&, const ReferenceLoop&) = default;
};
struct UncompilablePattern {
    std::string pattern;
    std::string schema_path;
    friend bool operator==(const UncompilablePattern&, const UncompilablePattern&) = default;
};
struct UnexpectedType {
    std::string field;
    std::string_view expected;  // "null", "boolean", "integer", "number", "string", "array", "object"
    friend bool operator==(const UnexpectedType&, const UnexpectedType&) = default;
};
struct UnexpectedValue {
    std::string field;
    std::string value;
    std::span<const std::string_view> allowed;  // static texts of the program
    friend bool operator==(const UnexpectedValue& a, const UnexpectedValue& b) {
        return a.field == b.field && a.value == b.value && a.allowed.data() == b.allowed.data() &&
               a.allowed.size() == b.allowed.size();
    }
};
struct InvalidPercentEncoding {
    std::string reference;
    friend bool operator==(const InvalidPercentEncoding&, const InvalidPercentEncoding&) = default;
};
struct UnreadableReference {
    std::string reference;
    std::string file;  // invalid UTF-8 replaced by U+FFFD
    std::string message;
    friend bool operator==(const UnreadableReference&, const UnreadableReference&) = default;
};
struct MissingField {
    std::string field;
    friend bool operator==(const MissingField&, const MissingField&) = default;
};
struct QuerystringConflict {
    model::ParameterLocation beside = model::ParameterLocation::Querystring;
    friend bool operator==(const QuerystringConflict&, const QuerystringConflict&) = default;
};
struct InvalidStatusCode {
    std::string key;
    friend bool operator==(const InvalidStatusCode&, const InvalidStatusCode&) = default;
};
struct InvalidStatusCodeCharacter {
    std::string key;
    std::string character;  // the one offending character, UTF-8
    friend bool operator==(const InvalidStatusCodeCharacter&, const InvalidStatusCodeCharacter&) = default;
};
struct StatusCodeOutOfRange {
    std::string key;
    friend bool operator==(const StatusCodeOutOfRange&, const StatusCodeOutOfRange&) = default;
};
struct UnknownDialect {
    std::string dialect;
    std::string_view assumed;  // the draft's meta-schema identifier
    std::string schema_path;
    friend bool operator==(const UnknownDialect&, const UnknownDialect&) = default;
};
struct UnknownDocumentDialect {
    std::string dialect;
    std::string_view assumed;
    friend bool operator==(const UnknownDocumentDialect&, const UnknownDocumentDialect&) = default;
};
struct IgnoredDialect {
    std::string dialect;
    std::string_view assumed;
    friend bool operator==(const IgnoredDialect&, const IgnoredDialect&) = default;
};
enum class CauseShape : std::uint8_t { KeywordCause, FalseSchema, Sides };
struct Unsatisfiable {
    // Flattened in the order reports print them; absent when no cause was recorded.
    std::optional<std::vector<zavova::DescribedCause>> causes;
    // How the flattened causes were nested, so the words can show a side's alternatives as
    // alternatives: for `Sides`, one number per side, 0 for a keyword side or its branch count.
    CauseShape shape = CauseShape::KeywordCause;
    std::vector<std::size_t> side_branches;
    friend bool operator==(const Unsatisfiable&, const Unsatisfiable&) = default;
};
struct Unsupported {
    friend bool operator==(const Unsupported&, const Unsupported&) = default;
};
struct Unroutable {
    static constexpr std::string_view reason = "invalid_param";
    friend bool operator==(const Unroutable&, const Unroutable&) = default;
};
struct AdjacentPathParameters {
    friend bool operator==(const AdjacentPathParameters&, const AdjacentPathParameters&) = default;
};
struct TooManyRouteParameters {
    std::uint64_t count = 0;
    std::uint64_t limit = 0;
    friend bool operator==(const TooManyRouteParameters&, const TooManyRouteParameters&) = default;
};
struct DuplicateOperation {
    friend bool operator==(const DuplicateOperation&, const DuplicateOperation&) = default;
};
}  // namespace diagnostic_kinds

// Alternatives in DiagnosticKind order: data.index() == kind.
using DiagnosticData = std::variant<
    diagnostic_kinds::InvalidPattern, diagnostic_kinds::UnresolvableReference, diagnostic_kinds::UnresolvablePointer,
    diagnostic_kinds::UnresolvableAnchor, diagnostic_kinds::InvalidSchema, diagnostic_kinds::UnsupportedReference,
    diagnostic_kinds::ReferenceLoop, diagnostic_kinds::UncompilablePattern, diagnostic_kinds::UnexpectedType,
    diagnostic_kinds::UnexpectedValue, diagnostic_kinds::InvalidPercentEncoding, diagnostic_kinds::UnreadableReference,
    diagnostic_kinds::MissingField, diagnostic_kinds::QuerystringConflict, diagnostic_kinds::InvalidStatusCode,
    diagnostic_kinds::InvalidStatusCodeCharacter, diagnostic_kinds::StatusCodeOutOfRange,
    diagnostic_kinds::UnknownDialect, diagnostic_kinds::UnknownDocumentDialect, diagnostic_kinds::IgnoredDialect,
    diagnostic_kinds::Unsatisfiable, diagnostic_kinds::Unsupported, diagnostic_kinds::Unroutable,
    diagnostic_kinds::AdjacentPathParameters, diagnostic_kinds::TooManyRouteParameters,
    diagnostic_kinds::DuplicateOperation>;
static_assert(std::variant_size_v<DiagnosticData> == kDiagnosticKindCount);

struct Diagnostic {
    Severity severity = Severity::Error;
    DiagnosticData data;
    DiagnosticPosition at;

    DiagnosticKind kind() const noexcept { return static_cast<DiagnosticKind>(data.index()); }
    template <class T>
    const T* get_if() const noexcept {
        return std::get_if<T>(&data);
    }
    friend bool operator==(const Diagnostic&, const Diagnostic&) = default;
};

// The kind's fields as (field name, text) pairs, in the order the reports print them, for every
// field that is text: all of them except "causes" of unsatisfiable (read it from the data) and
// "allowed" of unexpected_value (used only by the diagnostic's sentence). The two integers of
// too_many_route_parameters are given as decimal text here.
template <class Visit>
void for_each_diagnostic_field(const Diagnostic& diagnostic, Visit&& visit);

// The standard meta-schema identifier of a draft as reports name it ("assumed"): the http form
// with "#" for drafts 4, 6 and 7, the https form for 2019-09 and 2020-12; an unknown draft is
// 2020-12.
std::string_view assumed_draft_identifier(deririrore::referencing::Draft draft) noexcept;

// Every diagnostic of the map, in document order: the document's dialect, then per path
// template in path-index order its template diagnostics, its loading problems (grouped through a
// hash index) and its targets' diagnostics, then problems of texts that are no template. A
// broken method map stops the call (deririrore::InternalError).
std::vector<Diagnostic> collect_diagnostics(const recorders::CoverageMap& map);

// How many text comparisons the last collect_diagnostics on this thread made while grouping
// problems and finding templates: it grows linearly with the problems, which a test checks.
std::uint64_t diagnostics_grouping_comparisons() noexcept;

// The diagnostics of one operation's targets (parameters and request bodies, then declared and
// `default` response bodies), as collect_diagnostics makes them, for renderers that show them
// beside the operation.
std::vector<Diagnostic> operation_target_diagnostics(const recorders::CoverageMap& map, std::string_view path,
                                                     http::HttpMethod method, const model::OperationRecord& record);

// Diagnostics indexed by (path, method), built once per report, so that renderers find an
// operation's diagnostics without scanning the whole list per operation.
class DiagnosticIndex {
public:
    explicit DiagnosticIndex(const std::vector<Diagnostic>& diagnostics);
    // Positions (into the list given) of the diagnostics at this operation (any place with this
    // path and method), in list order.
    std::span<const std::size_t> of_operation(std::string_view path, http::HttpMethod method) const;
    // Positions of the diagnostics at this path item (place path_item), in list order.
    std::span<const std::size_t> of_path_item(std::string_view path) const;

private:
    struct Bucket {
        std::vector<std::size_t> path_item;
        std::vector<std::pair<http::HttpMethod, std::vector<std::size_t>>> operations;  // at most nine
    };
    model::TextMap<Bucket> buckets_;
};

// ---- inline template bodies ----

template <class Visit>
void for_each_diagnostic_field(const Diagnostic& diagnostic, Visit&& visit) {
    namespace k = diagnostic_kinds;
    std::visit(
        [&](const auto& d) {
            using T = std::decay_t<decltype(d)>;
            if constexpr (std::is_same_v<T, k::InvalidPattern>) {
                visit(std::string_view("pattern"), std::string_view(d.pattern));
            } else if constexpr (std::is_same_v<T, k::UnresolvableReference> ||
                                 std::is_same_v<T, k::UnsupportedReference> || std::is_same_v<T, k::ReferenceLoop> ||
                                 std::is_same_v<T, k::InvalidPercentEncoding>) {
                visit(std::string_view("reference"), std::string_view(d.reference));
            } else if constexpr (std::is_same_v<T, k::UnresolvablePointer>) {
                visit(std::string_view("pointer"), std::string_view(d.pointer));
            } else if constexpr (std::is_same_v<T, k::UnresolvableAnchor>) {
                visit(std::string_view("anchor"), std::string_view(d.anchor));
            } else if constexpr (std::is_same_v<T, k::InvalidSchema>) {
                visit(std::string_view("schema_path"), std::string_view(d.schema_path));
                visit(std::string_view("message"), std::string_view(d.message));
            } else if constexpr (std::is_same_v<T, k::UncompilablePattern>) {
                visit(std::string_view("pattern"), std::string_view(d.pattern));
                visit(std::string_view("schema_path"), std::string_view(d.schema_path));
            } else if constexpr (std::is_same_v<T, k::UnexpectedType>) {
                visit(std::string_view("field"), std::string_view(d.field));
                visit(std::string_view("expected"), d.expected);
            } else if constexpr (std::is_same_v<T, k::UnexpectedValue>) {
                visit(std::string_view("field"), std::string_view(d.field));
                visit(std::string_view("value"), std::string_view(d.value));
            } else if constexpr (std::is_same_v<T, k::UnreadableReference>) {
                visit(std::string_view("reference"), std::string_view(d.reference));
                visit(std::string_view("file"), std::string_view(d.file));
                visit(std::string_view("message"), std::string_view(d.message));
            } else if constexpr (std::is_same_v<T, k::MissingField>) {
                visit(std::string_view("field"), std::string_view(d.field));
            } else if constexpr (std::is_same_v<T, k::QuerystringConflict>) {
                visit(std::string_view("beside"), location_name(d.beside));
            } else if constexpr (std::is_same_v<T, k::InvalidStatusCode> ||
                                 std::is_same_v<T, k::StatusCodeOutOfRange>) {
                visit(std::string_view("key"), std::string_view(d.key));
            } else if constexpr (std::is_same_v<T, k::InvalidStatusCodeCharacter>) {
                visit(std::string_view("key"), std::string_view(d.key));
                visit(std::string_view("character"), std::string_view(d.character));
            } else if constexpr (std::is_same_v<T, k::UnknownDialect>) {
                visit(std::string_view("dialect"), std::string_view(d.dialect));
                visit(std::string_view("assumed"), d.assumed);
                visit(std::string_view("schema_path"), std::string_view(d.schema_path));
            } else if constexpr (std::is_same_v<T, k::UnknownDocumentDialect> || std::is_same_v<T, k::IgnoredDialect>) {
                visit(std::string_view("dialect"), std::string_view(d.dialect));
                visit(std::string_view("assumed"), d.assumed);
            } else if constexpr (std::is_same_v<T, k::Unroutable>) {
                visit(std::string_view("reason"), k::Unroutable::reason);
            } else if constexpr (std::is_same_v<T, k::TooManyRouteParameters>) {
                const std::string count = std::to_string(d.count);
                const std::string limit = std::to_string(d.limit);
                visit(std::string_view("count"), std::string_view(count));
                visit(std::string_view("limit"), std::string_view(limit));
            }
        },
        diagnostic.data);
}

}  // namespace vantorel::reports
