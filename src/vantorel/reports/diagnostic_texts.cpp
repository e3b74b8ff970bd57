#include "vantorel/reports/diagnostic_texts.hpp"

#include <algorithm>
#include <unordered_map>

#include "deririrore/value/utf8.hpp"
#include "vantorel/model/reference_paths.hpp"

namespace vantorel::reports {
namespace {

namespace k = diagnostic_kinds;
using model::ParameterLocation;

constexpr std::string_view kNotMeasuredTail = "is not measured; the rest of the operation is.";
constexpr std::string_view kNotMeasured = "not measured";
constexpr std::string_view kAnalysisIncomplete = "measured, analysis incomplete";
constexpr std::string_view kCopyTarget = "Copy the target into this document and point the `$ref` at the copy.";
constexpr std::string_view kDraft202012 = "https://json-schema.org/draft/2020-12/schema";

using Pieces = std::vector<TextPiece>;

TextPiece lit(std::string_view text) { return {std::string(text), false}; }
TextPiece code(std::string_view text) { return {std::string(text), true}; }

std::string_view article(std::string_view word) {
    if (!word.empty()) {
        switch (word.front()) {
            case 'a':
            case 'e':
            case 'i':
            case 'o':
            case 'u':
                return "an";
            default:
                break;
        }
    }
    return "a";
}

std::string_view parameter_location_title(ParameterLocation location) {
    switch (location) {
        case ParameterLocation::Path:
            return "Path parameter";
        case ParameterLocation::Query:
            return "Query parameter";
        case ParameterLocation::Header:
            return "Header";
        case ParameterLocation::Cookie:
            return "Cookie";
        case ParameterLocation::FormData:
            return "Form field";
        case ParameterLocation::Querystring:
            return "Querystring parameter";
        case ParameterLocation::Body:
            break;
    }
    return "Request body";
}

Pieces scope_pieces(const Diagnostic& diagnostic) {
    const DiagnosticPosition& at = diagnostic.at;
    const std::string tail = std::string(" ") + std::string(kNotMeasuredTail);
    switch (at.place) {
        case PositionPlace::Operation: {
            if (const auto* d = diagnostic.get_if<k::UnexpectedType>(); d && d->field != "$ref") {
                const std::string expected(d->expected);
                return {lit("The parameter whose "), code(d->field),
                        lit(" is not " + std::string(article(expected)) + " " + expected + tail)};
            }
            if (const auto* d = diagnostic.get_if<k::UnexpectedValue>()) {
                return {lit("The parameter with "), code(d->field + ": " + d->value), lit(tail)};
            }
            if (const auto* d = diagnostic.get_if<k::MissingField>()) {
                return {lit("The parameter without "), code(d->field), lit(tail)};
            }
            return {lit("The parameter this `$ref` stands for" + tail)};
        }
        case PositionPlace::RequestBody:
            return {lit("The request body" + tail)};
        case PositionPlace::Parameter:
            if (at.location == ParameterLocation::Body) {
                return {lit("Request body "), code(at.name_or_status), lit(tail)};
            }
            return {lit(std::string(parameter_location_title(at.location)) + " "), code(at.name_or_status), lit(tail)};
        case PositionPlace::Response:
            return {lit("Response "), code(at.name_or_status), lit(tail)};
        case PositionPlace::ResponseBody:
            return {lit("The "), code(at.media_type), lit(" body of response "), code(at.name_or_status), lit(tail)};
        case PositionPlace::PathItem:
        case PositionPlace::Document:
            break;
    }
    return {lit("The entry that holds it is not measured.")};
}

bool is_unreserved(char32_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    constexpr std::string_view kAllowed = "-._~!$&'()*+,;=:@/?%#";
    return c < 0x80 && kAllowed.find(static_cast<char>(c)) != std::string_view::npos;
}

// The encoding fix of an unresolvable reference: every character a `$ref` must not hold
// unescaped, with its percent-encoding.
Pieces encoding_fix(std::string_view reference) {
    std::vector<std::string> seen;
    Pieces items;  // pieces of all items, with separators added below
    std::vector<Pieces> item_list;
    for (std::size_t i = 0; i < reference.size();) {
        char32_t c = 0;
        std::size_t length = deririrore::value::decode_utf8_sequence(reference, i, c);
        if (length == 0) {
            // Not UTF-8: the byte alone, shown as U+FFFD would hide what to encode.
            length = 1;
            c = 0xFFFD;
        }
        const std::string_view bytes = reference.substr(i, length);
        i += length;
        if (is_unreserved(c)) continue;
        if (std::find(seen.begin(), seen.end(), bytes) != seen.end()) continue;
        seen.emplace_back(bytes);
        std::string encoded;
        for (unsigned char b : bytes) {
            constexpr char kHex[] = "0123456789ABCDEF";
            encoded += '%';
            encoded += kHex[b >> 4];
            encoded += kHex[b & 0xf];
        }
        if (c == '`') {
            item_list.push_back({lit("a backtick as "), code(encoded)});
        } else {
            item_list.push_back({code(bytes), lit(" as "), code(encoded)});
        }
    }
    if (item_list.empty()) return {lit("Point the `$ref` at a definition that exists.")};
    Pieces out{lit("Write ")};
    for (std::size_t n = 0; n < item_list.size(); ++n) {
        if (n > 0) out.push_back(lit(n + 1 == item_list.size() ? " and " : ", "));
        out.insert(out.end(), item_list[n].begin(), item_list[n].end());
    }
    out.push_back(lit(" in the `$ref`."));
    return out;
}

struct Words {
    std::vector<SubjectPart> subject;
    std::string_view title;
    Pieces consequence;
    Pieces fix;
    std::string_view impact;
};

void severity_rule(const Diagnostic& diagnostic, Words& w) {
    if (diagnostic.severity == Severity::Warning) {
        w.consequence = {lit(kUncertaintySentence)};
        w.impact = kAnalysisIncomplete;
    } else {
        w.consequence = scope_pieces(diagnostic);
        w.impact = kNotMeasured;
    }
}

SubjectPart part(std::string_view lead, std::string_view text) { return {std::string(text), lead}; }

// A keyword cause's parts: each constraint as "keyword: value", the first with `lead` and the
// others with "and", then the location with "at"; a cause without constraints is its location.
void add_cause_parts(const zavova::DescribedCause& cause, std::string_view lead, std::vector<SubjectPart>& out) {
    if (cause.keywords.empty()) {
        out.push_back(part(lead, cause.location));
        return;
    }
    for (std::size_t i = 0; i < cause.keywords.size(); ++i) {
        out.push_back(part(i == 0 ? lead : "and", cause.keywords[i].keyword + ": " + cause.keywords[i].preview));
    }
    if (!cause.location.empty()) out.push_back(part("at", cause.location));
}

void describe_unsatisfiable(const k::Unsatisfiable& d, Words& w) {
    w.title = "No value can satisfy this schema";
    w.fix = {lit("Change the schema so that some value satisfies it.")};
    w.impact = "nothing can be valid";
    if (!d.causes || d.causes->empty()) {
        w.consequence = {lit("No value satisfies this schema, so every value sent here fails it.")};
        return;
    }
    const auto& causes = *d.causes;
    if (d.shape == k::CauseShape::FalseSchema) {
        w.subject.push_back(part("— written as", "false"));
        if (!causes.front().location.empty()) w.subject.push_back(part("at", causes.front().location));
        w.consequence = {lit("The schema is `false`, so every value sent here fails it.")};
        return;
    }
    if (d.shape == k::CauseShape::KeywordCause) {
        add_cause_parts(causes.front(), "—", w.subject);
        w.consequence = {
            lit("No value satisfies the keywords shown together, so every value sent here fails the schema.")};
        return;
    }
    // Sides: the flattened causes are read side by side; a side of alternative branches shows
    // its first three and counts the rest.
    std::size_t next = 0;
    for (std::size_t side = 0; side < d.side_branches.size() && next < causes.size(); ++side) {
        const std::string_view lead = side == 0 ? "—" : "vs";
        const std::size_t branches = d.side_branches[side];
        if (branches == 0) {
            add_cause_parts(causes[next++], lead, w.subject);
            continue;
        }
        const std::size_t available = std::min(branches, causes.size() - next);
        for (std::size_t b = 0; b < std::min<std::size_t>(available, 3); ++b) {
            add_cause_parts(causes[next + b], b == 0 ? lead : "or", w.subject);
        }
        if (branches == 4) {
            w.subject.push_back(part("or", "1 more branch"));
        } else if (branches > 4) {
            w.subject.push_back(part("or", std::to_string(branches - 3) + " more branches"));
        }
        next += available;
    }
    w.consequence = {lit("No value satisfies both sides shown at once, so every value sent here fails the schema.")};
}

void describe_unexpected_type(const Diagnostic& diagnostic, const k::UnexpectedType& d, Words& w) {
    if (d.field == "produces") {
        w.title = "produces is not a list";
        w.consequence = {lit("No response body of this operation is measured.")};
        w.fix = {lit("Write `produces` as a list of media types, such as `[\"application/json\"]`.")};
        w.impact = kNotMeasured;
    } else if (d.field == "$ref" && d.expected == "string") {
        w.title = "$ref is not a string";
        w.consequence = scope_pieces(diagnostic);
        w.fix = {lit("Write the `$ref` as a string, such as `\"#/components/schemas/Pet\"`.")};
        w.impact = kNotMeasured;
    } else if (d.field == "$ref" && d.expected == "object") {
        w.title = "$ref target is not an object";
        w.consequence = scope_pieces(diagnostic);
        w.fix = {lit("Point the `$ref` at a Request Body Object.")};
        w.impact = kNotMeasured;
    } else if (d.field == "responses") {
        w.title = "responses is not an object";
        w.consequence = {lit("No response of this operation is measured.")};
        w.fix = {lit("Write `responses` as an object keyed by status code, such as `{\"200\": {...}}`.")};
        w.impact = kNotMeasured;
    } else if (d.field == "deprecated" && diagnostic.severity == Severity::Warning) {
        w.title = "deprecated is not a boolean";
        if (diagnostic.at.place == PositionPlace::Operation) {
            w.consequence = {lit("Operation "),
                             code(std::string(http::method_name(diagnostic.at.method)) + " " + diagnostic.at.path),
                             lit(" is measured; `deprecated` is ignored.")};
        } else {
            w.consequence = {lit("It is measured; `deprecated` is ignored.")};
        }
        w.fix = {lit("Change `deprecated` to a boolean.")};
        w.impact = "measured, flag ignored";
    } else {
        w.subject = {part("", d.field), part("— expected", d.expected)};
        w.title = "Wrong type for";
        w.consequence = scope_pieces(diagnostic);
        const std::string expected(d.expected);
        w.fix = {lit("Change "), code(d.field), lit(" to " + std::string(article(expected)) + " " + expected + ".")};
        w.impact = kNotMeasured;
    }
}

void describe_unexpected_value(const Diagnostic& diagnostic, const k::UnexpectedValue& d, Words& w) {
    const bool error = diagnostic.severity == Severity::Error;
    w.impact = kNotMeasured;
    if (d.field == "additionalOperations" && error) {
        w.subject = {part("—", d.value)};
        w.title = "Operation declared twice";
        w.consequence = {
            lit("This `additionalOperations` entry is not measured; the other operation for this method is.")};
        w.fix = {lit("Remove "), code(d.value), lit(" from `additionalOperations`.")};
    } else if (d.field == "additionalOperations") {
        w.subject = {part("—", d.value)};
        w.title = "Method not measured by Vantorel";
        w.consequence = {
            lit("Vantorel measures only GET, PUT, POST, DELETE, OPTIONS, HEAD, PATCH, TRACE and QUERY, so this "
                "operation is not measured.")};
        w.fix = {lit("No edit needed.")};
        w.impact = "operation not measured";
    } else if (d.field == "produces") {
        w.subject = {part("in", d.field), part("—", d.value)};
        w.title = "Media type cannot be read";
        w.consequence = {lit("Responses of this media type are not measured.")};
        w.fix = {lit("Write "), code(d.value), lit(" as type/subtype, such as `application/json`.")};
    } else if (d.field == "content" && diagnostic.at.place == PositionPlace::Parameter) {
        w.subject = {part("—", d.value)};
        w.title = "Parameter content must hold exactly one media type";
        w.consequence = scope_pieces(diagnostic);
        w.fix = {lit(d.value == "{}" ? "Add one media type with a `schema` under `content`."
                                     : "Keep exactly one media type under `content`.")};
    } else if (const std::size_t sep = d.value.find(" duplicates "); d.field == "content" && sep != std::string::npos) {
        const std::string first = d.value.substr(0, sep);
        const std::string second = d.value.substr(sep + 12);
        w.subject = {part("—", first), part("duplicates", second)};
        w.title = "Response media types overlap";
        w.consequence = scope_pieces(diagnostic);
        w.consequence.push_back(
            lit(" Vantorel matches media types without parameters such as `charset`, so responses of both are "
                "measured against the "));
        w.consequence.push_back(code(second));
        w.consequence.push_back(lit(" schema."));
        w.fix = {lit("Merge "), code(first), lit(" into "), code(second), lit(".")};
    } else if (d.field == "content") {
        w.subject = {part("in", d.field), part("—", d.value)};
        w.title = "Media type cannot be read";
        w.consequence = scope_pieces(diagnostic);
        w.fix = {lit("Write "), code(d.value), lit(" as type/subtype, such as `application/json`.")};
    } else {
        w.subject = {part("", d.field), part("—", d.value)};
        w.title = "Unusable value in";
        w.consequence = scope_pieces(diagnostic);
        if (d.allowed.empty()) {
            w.fix = {lit("Replace "), code(d.value), lit(" with a value this OpenAPI version allows for "),
                     code(d.field), lit(".")};
        } else if (d.allowed.size() == 1) {
            w.fix = {lit("Replace "), code(d.value), lit(" with "), code(d.allowed.front()), lit(".")};
        } else {
            w.fix = {lit("Replace "), code(d.value), lit(" with ")};
            for (std::size_t i = 0; i + 1 < d.allowed.size(); ++i) {
                if (i > 0) w.fix.push_back(lit(", "));
                w.fix.push_back(code(d.allowed[i]));
            }
            w.fix.push_back(lit(" or "));
            w.fix.push_back(code(d.allowed.back()));
            w.fix.push_back(lit("."));
        }
    }
}

Pieces status_key_fix(std::string_view key) {
    std::string corrected(key);
    bool changed = false;
    for (char& c : corrected) {
        if (c == 'x') {
            c = 'X';
            changed = true;
        }
    }
    const bool usable = corrected.size() == 3 && std::all_of(corrected.begin(), corrected.end(),
                                                             [](char c) { return (c >= '0' && c <= '9') || c == 'X'; });
    if (changed && usable) return {lit("Write the key as "), code(corrected), lit(".")};
    return {lit("Use only digits and an uppercase `X` in the key, such as `200` or `2XX`.")};
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

Words describe_words(const Diagnostic& diagnostic) {
    Words w;
    std::visit(
        [&](const auto& d) {
            using T = std::decay_t<decltype(d)>;
            if constexpr (std::is_same_v<T, k::InvalidPattern>) {
                w.subject = {part("—", d.pattern)};
                w.title = "Pattern could not be analysed";
                w.consequence = {lit(kUncertaintySentence)};
                w.fix = {lit("Simplify the pattern: large repetition bounds such as `{1,8192}` are the usual cause.")};
                w.impact = kAnalysisIncomplete;
            } else if constexpr (std::is_same_v<T, k::UnresolvableReference>) {
                w.subject = {part("—", d.reference)};
                w.title = "Reference cannot be resolved";
                severity_rule(diagnostic, w);
                w.fix = encoding_fix(d.reference);
            } else if constexpr (std::is_same_v<T, k::UnresolvablePointer>) {
                w.subject = {part("— nothing at", d.pointer)};
                w.title = "Reference target does not exist";
                severity_rule(diagnostic, w);
                w.fix = {lit("Point the reference at a schema that exists.")};
            } else if constexpr (std::is_same_v<T, k::UnresolvableAnchor>) {
                w.subject = {part("— no anchor named", d.anchor)};
                w.title = "Reference anchor does not exist";
                severity_rule(diagnostic, w);
                w.fix = {lit("Add "), code("\"$anchor\": \"" + d.anchor + "\""),
                         lit(" to the schema the reference means.")};
            } else if constexpr (std::is_same_v<T, k::InvalidSchema>) {
                w.subject = {part(
                    "at", d.schema_path.empty() ? std::string_view("(schema root)") : std::string_view(d.schema_path))};
                w.title =
                    diagnostic.severity == Severity::Error ? "Schema is not valid" : "Schema could not be analysed";
                severity_rule(diagnostic, w);
                w.fix = {lit("Correct the keyword at the location shown.")};
            } else if constexpr (std::is_same_v<T, k::UnsupportedReference>) {
                w.subject = {part("—", d.reference)};
                w.title = "Reference not followed";
                severity_rule(diagnostic, w);
                Pieces reason;
                if (model::has_uri_scheme(d.reference)) {
                    reason = {lit("Vantorel never fetches "), code(d.reference), lit(".")};
                    w.fix = {lit(kCopyTarget)};
                } else if (!d.reference.empty() && d.reference.front() == '#') {
                    reason = {
                        lit("Inside a schema, Vantorel follows `#/...` locations, `#anchor` anchors and local "
                            "files.")};
                    w.fix = {lit(d.reference == "#" ? "Point the `$ref` at the schema's own location, such as "
                                                      "`#/components/schemas/Node`."
                                                    : kCopyTarget)};
                } else {
                    reason = {lit("Vantorel reads other files only for a specification loaded from a file.")};
                    w.fix = {
                        lit("Load the specification from its file, or copy the target into this document and "
                            "point the `$ref` at the copy.")};
                }
                w.consequence.push_back(lit(" "));
                w.consequence.insert(w.consequence.end(), reason.begin(), reason.end());
            } else if constexpr (std::is_same_v<T, k::ReferenceLoop>) {
                w.subject = {part("—", d.reference)};
                w.title = "$ref chain loops back on itself";
                w.consequence = scope_pieces(diagnostic);
                w.fix = {lit("Point one `$ref` of the chain at the definition itself.")};
                w.impact = kNotMeasured;
            } else if constexpr (std::is_same_v<T, k::UncompilablePattern>) {
                w.subject = {part("—", d.pattern)};
                if (!d.schema_path.empty()) w.subject.push_back(part("at", d.schema_path));
                w.title = "Pattern cannot be compiled";
                w.consequence = {lit("This `pattern` is not measured; the rest of the schema is.")};
                w.fix = {lit("Correct the regular expression.")};
                w.impact = "pattern not measured";
            } else if constexpr (std::is_same_v<T, k::UnexpectedType>) {
                describe_unexpected_type(diagnostic, d, w);
            } else if constexpr (std::is_same_v<T, k::UnexpectedValue>) {
                describe_unexpected_value(diagnostic, d, w);
            } else if constexpr (std::is_same_v<T, k::InvalidPercentEncoding>) {
                w.subject = {part("—", d.reference)};
                w.title = "Reference is not decodable";
                w.consequence = scope_pieces(diagnostic);
                w.fix = {lit("Fix the percent-encoding in the `$ref` so that it decodes to UTF-8.")};
                w.impact = kNotMeasured;
            } else if constexpr (std::is_same_v<T, k::UnreadableReference>) {
                w.subject = {part("—", d.file)};
                w.title = "Referenced file could not be read";
                w.consequence = scope_pieces(diagnostic);
                if (d.message == model::kInvalidReferencedFile) {
                    w.fix = {lit("Fix the JSON or YAML syntax of "), code(d.file), lit(".")};
                } else {
                    w.fix = {
                        lit("Correct the file path in the `$ref`; it resolves from the directory of the file "
                            "that holds the `$ref`.")};
                }
                w.impact = kNotMeasured;
            } else if constexpr (std::is_same_v<T, k::MissingField>) {
                w.consequence = scope_pieces(diagnostic);
                w.impact = kNotMeasured;
                if (d.field == "schema" && diagnostic.at.place == PositionPlace::Parameter &&
                    diagnostic.at.location != ParameterLocation::Body) {
                    w.title = "Parameter has no schema";
                    w.fix = {lit("Add `schema`.")};
                } else {
                    w.subject = {part("—", d.field)};
                    w.title = "Missing field";
                    w.fix = {lit("Add "), code(d.field), lit(".")};
                }
            } else if constexpr (std::is_same_v<T, k::QuerystringConflict>) {
                w.impact = "measured, overlapping";
                if (d.beside == ParameterLocation::Querystring) {
                    w.title = "More than one querystring parameter";
                    w.consequence = {
                        lit("Each one is measured against the whole query string, which OpenAPI does not allow.")};
                    w.fix = {lit("Merge them into one `querystring` parameter.")};
                } else {
                    w.title = "querystring parameter beside query parameters";
                    w.consequence = {
                        lit("The `querystring` parameter is measured against the whole query string and each query "
                            "parameter against its own key, which OpenAPI does not allow.")};
                    w.fix = {lit("Move the query parameters into the `querystring` schema.")};
                }
            } else if constexpr (std::is_same_v<T, k::InvalidStatusCode>) {
                w.subject = {part("—", d.key)};
                w.title = "Response key is not a status code";
                w.consequence = {lit("This response is not measured.")};
                w.fix = {lit(equals_ignoring_ascii_case(d.key, "default")
                                 ? "Write the key as `default`, in lowercase."
                                 : "Write the key as three characters, such as `200` or `2XX`.")};
                w.impact = kNotMeasured;
            } else if constexpr (std::is_same_v<T, k::InvalidStatusCodeCharacter>) {
                w.subject = {part("—", d.key)};
                w.title = "Bad character in status code";
                w.consequence = {lit("This response is not measured.")};
                w.fix = status_key_fix(d.key);
                w.impact = kNotMeasured;
            } else if constexpr (std::is_same_v<T, k::StatusCodeOutOfRange>) {
                w.subject = {part("—", d.key)};
                w.title = "Status code out of range";
                w.consequence = {lit("This response is not measured.")};
                w.fix = {lit("Start the key with a digit from 1 to 5, such as `200` or `2XX`.")};
                w.impact = kNotMeasured;
            } else if constexpr (std::is_same_v<T, k::UnknownDialect>) {
                w.subject = {part("—", d.dialect), part("— read as", d.assumed)};
                if (!d.schema_path.empty()) w.subject.push_back(part("at", d.schema_path));
                w.title = "Unknown JSON Schema dialect";
                w.consequence = {lit("Coverage is measured as if this schema used the draft shown.")};
                w.fix = {lit("Set `$schema` to "), code(d.assumed), lit(".")};
                w.impact = "measured, dialect assumed";
            } else if constexpr (std::is_same_v<T, k::UnknownDocumentDialect>) {
                w.subject = {part("—", d.dialect), part("— read as", d.assumed)};
                w.title = "Unknown default JSON Schema dialect";
                w.consequence = {
                    lit("Coverage is measured as if every schema without its own `$schema` used the draft shown.")};
                w.fix = {lit("Set `jsonSchemaDialect` to "), code(d.assumed), lit(".")};
                w.impact = "measured, dialect assumed";
            } else if constexpr (std::is_same_v<T, k::IgnoredDialect>) {
                w.subject = {part("—", d.dialect), part("— read as", d.assumed)};
                w.title = "JSON Schema dialect ignored";
                w.consequence = {
                    lit("OpenAPI 2.0 and 3.0 schemas do not read `$schema`, so coverage is measured "
                        "under the draft shown.")};
                w.fix = {lit("Remove `$schema`.")};
                w.impact = "measured, dialect ignored";
            } else if constexpr (std::is_same_v<T, k::Unsatisfiable>) {
                describe_unsatisfiable(d, w);
            } else if constexpr (std::is_same_v<T, k::Unsupported>) {
                if (diagnostic.severity == Severity::Warning) {
                    w.title = "Schema construct not supported";
                    w.consequence = {lit(std::string(kUncertaintySentence) +
                                         " Vantorel cannot analyse a construct in this schema.")};
                    w.fix = {lit("No edit needed.")};
                    w.impact = kAnalysisIncomplete;
                } else {
                    w.title = "Meta-schema cannot be resolved";
                    w.consequence = scope_pieces(diagnostic);
                    w.fix = {lit("Set `$schema` to a known dialect, such as `" + std::string(kDraft202012) + "`.")};
                    w.impact = kNotMeasured;
                }
            } else if constexpr (std::is_same_v<T, k::Unroutable>) {
                w.subject = {part("—", "unclosed {")};
                w.title = "Path cannot be matched";
                w.consequence = {
                    lit("No request URL matches this path, so traffic recorded by URL never reaches its "
                        "operations.")};
                w.fix = {lit("Close the `{` with a `}`.")};
                w.impact = "no request URL matches";
            } else if constexpr (std::is_same_v<T, k::AdjacentPathParameters>) {
                w.title = "Path parameters share a segment with no separator";
                w.consequence = {
                    lit("Requests match this path, but nothing marks where one parameter ends, so their "
                        "values are not measured.")};
                w.impact = "parameter values not measured";
                const std::string_view path =
                    diagnostic.at.place == PositionPlace::Document ? std::string_view() : diagnostic.at.path;
                std::optional<std::string_view> segment;
                for (std::size_t start = 0; start <= path.size();) {
                    const std::size_t end = std::min(path.find('/', start), path.size());
                    const std::string_view piece = path.substr(start, end - start);
                    if (piece.find("}{") != std::string_view::npos) {
                        segment = piece;
                        break;
                    }
                    start = end + 1;
                }
                if (segment) {
                    std::string example;
                    for (std::size_t i = 0; i < segment->size(); ++i) {
                        example += (*segment)[i];
                        if ((*segment)[i] == '}' && i + 1 < segment->size() && (*segment)[i + 1] == '{') example += '-';
                    }
                    w.subject = {part("—", *segment)};
                    w.fix = {lit("Put a literal between the parameters, such as "), code(example), lit(".")};
                } else {
                    w.fix = {lit("Put a literal between the parameters.")};
                }
            } else if constexpr (std::is_same_v<T, k::TooManyRouteParameters>) {
                w.subject = {part("—", std::to_string(d.count) + " parameters")};
                w.title = "Path has more parameters than the router takes";
                w.consequence = {
                    lit("Requests are matched segment by segment instead, so the path is still "
                        "measured, more slowly.")};
                w.fix = {lit("Use at most " + std::to_string(d.limit) + " parameters in one path.")};
                w.impact = "measured, matched by segments";
            } else if constexpr (std::is_same_v<T, k::DuplicateOperation>) {
                w.title = "Method declared twice in one path";
                w.consequence = {lit("Only the first operation for this method is measured; this one is not.")};
                w.fix = {lit("Keep one operation per method in the path item.")};
                w.impact = kNotMeasured;
            }
        },
        diagnostic.data);
    return w;
}

}  // namespace

std::string join_pieces(const std::vector<TextPiece>& pieces) {
    std::string out;
    for (const TextPiece& piece : pieces) {
        if (piece.code) out += '`';
        out += piece.text;
        if (piece.code) out += '`';
    }
    return out;
}

std::string scope_sentence(const Diagnostic& diagnostic) { return join_pieces(scope_pieces(diagnostic)); }

DiagnosticText describe_diagnostic(const Diagnostic& diagnostic) {
    Words w = describe_words(diagnostic);
    DiagnosticText text;
    text.subject = std::move(w.subject);
    text.fix = join_pieces(w.fix);
    text.explanation = join_pieces(w.consequence) + " " + text.fix;
    text.title = w.title;
    text.impact = w.impact;
    if (const auto* d = diagnostic.get_if<k::InvalidSchema>()) text.why = d->message;
    if (const auto* d = diagnostic.get_if<k::UnreadableReference>()) text.why = d->message;
    text.consequence_pieces = std::move(w.consequence);
    text.fix_pieces = std::move(w.fix);
    return text;
}

std::string subject_line(const std::vector<SubjectPart>& subject) {
    std::string out;
    for (std::size_t i = 0; i < subject.size(); ++i) {
        if (i > 0) {
            out += ' ';
            if (!subject[i].lead.empty()) {
                out += subject[i].lead;
                out += ' ';
            }
        }
        out += subject[i].text;
    }
    return out;
}

DiagnosticGroups group_diagnostics(const std::vector<Diagnostic>& diagnostics) {
    DiagnosticGroups out;
    struct GroupKey {
        Severity severity;
        std::string_view title;
        std::string fix;
        bool operator==(const GroupKey&) const = default;
    };
    struct GroupKeyHash {
        std::size_t operator()(const GroupKey& key) const noexcept {
            const std::hash<std::string_view> h;
            return h(key.title) * 31 ^ h(key.fix) ^ static_cast<std::size_t>(key.severity);
        }
    };
    std::unordered_map<GroupKey, std::size_t, GroupKeyHash> group_index;
    // Per group, its members by subject line.
    std::vector<std::unordered_map<std::string, std::size_t>> member_index;
    for (const Diagnostic& diagnostic : diagnostics) {
        (diagnostic.severity == Severity::Error ? out.error_count : out.warning_count) += 1;
        DiagnosticText text = describe_diagnostic(diagnostic);
        std::string subject = subject_line(text.subject);
        GroupKey key{diagnostic.severity, text.title, text.fix};
        auto [it, added] = group_index.try_emplace(std::move(key), out.groups.size());
        if (added) {
            DiagnosticGroup group;
            group.text = std::move(text);
            group.severity = diagnostic.severity;
            out.groups.push_back(std::move(group));
            member_index.emplace_back();
        }
        DiagnosticGroup& group = out.groups[it->second];
        group.count += 1;
        auto& members = member_index[it->second];
        auto [m, new_member] = members.try_emplace(subject, group.members.size());
        if (new_member) group.members.push_back(GroupMember{std::move(subject), {}});
        group.members[m->second].diagnostics.push_back(&diagnostic);
    }
    std::stable_sort(out.groups.begin(), out.groups.end(), [](const DiagnosticGroup& a, const DiagnosticGroup& b) {
        if (a.severity != b.severity) return a.severity == Severity::Error;
        return a.count > b.count;
    });
    for (DiagnosticGroup& group : out.groups) {
        if (group.members.size() > kGroupMemberCap) {
            group.hidden = group.members.size() - kGroupMemberCap;
            group.members.resize(kGroupMemberCap);
        }
    }
    return out;
}

PositionTrail position_trail(const DiagnosticPosition& position) {
    PositionTrail trail;
    switch (position.place) {
        case PositionPlace::Document:
            trail.parts = {"document"};
            return trail;
        case PositionPlace::PathItem:
            trail.path = position.path;
            return trail;
        case PositionPlace::Operation:
            break;
        case PositionPlace::RequestBody:
            trail.parts = {"body"};
            break;
        case PositionPlace::Parameter:
            trail.parts = {location_name(position.location), position.name_or_status};
            break;
        case PositionPlace::Response:
            trail.parts = {position.name_or_status};
            break;
        case PositionPlace::ResponseBody:
            trail.parts = {position.name_or_status, position.media_type};
            break;
    }
    trail.path = position.path;
    trail.method = position.method;
    return trail;
}

}  // namespace vantorel::reports
