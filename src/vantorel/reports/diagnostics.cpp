#include "vantorel/reports/diagnostics.hpp"

#include <string>
#include <utility>

#include "deririrore/canonical/describe.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/overloaded.hpp"
#include "deririrore/value/utf8.hpp"
#include "vantorel/model/method_map.hpp"
#include "vantorel/model/parameters.hpp"
#include "vantorel/model/path_templates.hpp"
#include "vantorel/model/reference_paths.hpp"
#include "vantorel/reports/operation_report.hpp"

namespace vantorel::reports {

namespace {

namespace k = diagnostic_kinds;
using deririrore::value::Overloaded;
using model::ParameterLocation;

thread_local std::uint64_t grouping_comparisons = 0;

std::string lossy_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const deririrore::value::Utf8Sequence seq = deririrore::value::read_utf8_sequence(bytes, i);
        if (seq.valid) {
            out.append(bytes.substr(i, seq.length));
        } else {
            out.append("\xEF\xBF\xBD");
        }
        i += seq.length == 0 ? 1 : seq.length;
    }
    return out;
}

// The text before the first ":" is a scheme: a letter, then letters, digits, "+", "-", ".".
bool has_uri_scheme(std::string_view text) noexcept {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(text[0])) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = text[i];
        if (!(letter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')) return false;
    }
    return true;
}

DiagnosticData reference_or_unsupported(std::string reference) {
    if (has_uri_scheme(reference)) return k::UnsupportedReference{std::move(reference)};
    return k::UnresolvableReference{std::move(reference)};
}

std::string_view lowest_type_name(deririrore::value::JsonType expected) {
    const auto bits = static_cast<std::uint8_t>(expected);
    for (std::uint8_t bit = 1; bit != 0 && bit <= 64; bit = static_cast<std::uint8_t>(bit << 1)) {
        if (bits & bit) return deririrore::value::json_type_name(static_cast<deririrore::value::JsonType>(bit));
    }
    return "object";
}

// A schema that failed to compile, by what its validation error says.
DiagnosticData schema_error_data(const deririrore::core::ValidationError& error) {
    namespace ck = deririrore::core::kinds;
    using RE = deririrore::referencing::ReferenceError;
    if (const auto* referencing = std::get_if<ck::Referencing>(&error.kind())) {
        return std::visit(
            Overloaded{
                [](const RE::Unretrievable& e) -> DiagnosticData { return reference_or_unsupported(e.uri); },
                [](const RE::InvalidUri& e) -> DiagnosticData {
                    return reference_or_unsupported(std::visit([](const auto& d) { return d.uri; }, e.error.data));
                },
                [](const RE::PointerToNowhere& e) -> DiagnosticData { return k::UnresolvablePointer{e.pointer}; },
                [](const RE::InvalidPercentEncoding& e) -> DiagnosticData { return k::UnresolvablePointer{e.pointer}; },
                [](const RE::InvalidArrayIndex& e) -> DiagnosticData { return k::UnresolvablePointer{e.pointer}; },
                [](const RE::NoSuchAnchor& e) -> DiagnosticData { return k::UnresolvableAnchor{e.anchor}; },
                [](const RE::InvalidAnchor& e) -> DiagnosticData { return k::UnresolvableAnchor{e.anchor}; },
                [](const RE::UnknownSpecification&) -> DiagnosticData { return k::Unsupported{}; },
                [](const RE::CircularMetaschema&) -> DiagnosticData { return k::Unsupported{}; },
            },
            referencing->error.data);
    }
    return k::InvalidSchema{error.schema_path().str(), deririrore::canonical::describe_expectation(error)};
}

DiagnosticData invalid_schema_data(const model::problems::InvalidSchema& problem) {
    DiagnosticData data = schema_error_data(problem.error);
    // Read through the schema the error was found in, a member named "200" stays a name.
    if (auto* invalid = std::get_if<k::InvalidSchema>(&data); invalid != nullptr && problem.schema != nullptr)
        invalid->message = deririrore::canonical::describe_expectation(problem.error, *problem.schema);
    return data;
}

DiagnosticData reference_failure_data(const model::ReferenceFailure& failure) {
    namespace rf = model::reference_failures;
    return std::visit(
        Overloaded{
            [](const rf::PercentEncoding& f) -> DiagnosticData { return k::InvalidPercentEncoding{f.reference}; },
            [](const rf::Unresolvable& f) -> DiagnosticData { return k::UnresolvableReference{f.target}; },
            [](const rf::Unsupported& f) -> DiagnosticData { return k::UnsupportedReference{f.reference}; },
            [](const rf::Retrieval& f) -> DiagnosticData {
                std::string message(f.message);
                // The system's reason tells a missing file from a forbidden one; a parse failure
                // keeps the fixed sentence the texts recognise.
                if (f.detail && f.message != model::kInvalidReferencedFile) message += ": " + *f.detail;
                return k::UnreadableReference{f.reference, lossy_utf8(f.path), std::move(message)};
            },
        },
        failure);
}

DiagnosticData problem_data(const model::SpecProblem& problem) {
    namespace p = model::problems;
    return std::visit(
        Overloaded{
            [](const p::Reference& r) -> DiagnosticData { return reference_failure_data(r.failure); },
            [](const p::MissingField& m) -> DiagnosticData { return k::MissingField{std::string(m.field)}; },
            [](const p::UnexpectedType& t) -> DiagnosticData {
                return k::UnexpectedType{std::string(t.field), lowest_type_name(t.expected)};
            },
            [](const p::UnexpectedValue& v) -> DiagnosticData {
                return k::UnexpectedValue{std::string(v.field), v.value, v.allowed};
            },
            [](const p::QuerystringConflict& q) -> DiagnosticData { return k::QuerystringConflict{q.beside}; },
            [](const p::ReferenceLoop& r) -> DiagnosticData { return k::ReferenceLoop{r.reference}; },
            [](const p::UnresolvableReference& r) -> DiagnosticData { return k::UnresolvableReference{r.reference}; },
            [](const p::ReferenceNotText&) -> DiagnosticData {
                return k::UnexpectedType{"$ref", "string"};
            },
            [](const p::ReferenceNotFollowed& r) -> DiagnosticData { return k::UnsupportedReference{r.reference}; },
            [](const p::InvalidStatusCode& s) -> DiagnosticData { return k::InvalidStatusCode{s.key}; },
            [](const p::InvalidStatusCodeCharacter& s) -> DiagnosticData {
                std::string character;
                if (s.character < 0x110000 && !(s.character >= 0xD800 && s.character <= 0xDFFF)) {
                    deririrore::value::append_utf8(character, s.character);
                } else {
                    character = "\xEF\xBF\xBD";
                }
                return k::InvalidStatusCodeCharacter{s.key, std::move(character)};
            },
            [](const p::StatusCodeOutOfRange& s) -> DiagnosticData { return k::StatusCodeOutOfRange{s.key}; },
            [](const p::InvalidSchema& s) -> DiagnosticData { return invalid_schema_data(s); },
            [](const p::TooManyRouteParameters& t) -> DiagnosticData {
                return k::TooManyRouteParameters{t.count, t.limit};
            },
            [](const p::DuplicateOperation&) -> DiagnosticData { return k::DuplicateOperation{}; },
        },
        problem.data);
}

Severity problem_severity(const model::ProblemEntry& entry, const DiagnosticData& data) {
    if (std::holds_alternative<k::QuerystringConflict>(data)) return Severity::Warning;
    // Still measured segment by segment: nothing is lost.
    if (std::holds_alternative<k::TooManyRouteParameters>(data)) return Severity::Warning;
    if (const auto* t = std::get_if<k::UnexpectedType>(&data)) {
        if (entry.method != 0 && !entry.position && entry.problem.is<model::problems::UnexpectedType>() &&
            t->field == "deprecated")
            return Severity::Warning;
    }
    if (const auto* v = std::get_if<k::UnexpectedValue>(&data)) {
        if (entry.method == 0 && v->field == "additionalOperations") return Severity::Warning;
    }
    return Severity::Error;
}

const std::string* status_key_of(const model::SpecProblem& problem) {
    namespace p = model::problems;
    if (const auto* a = problem.get_if<p::InvalidStatusCode>()) return &a->key;
    if (const auto* b = problem.get_if<p::InvalidStatusCodeCharacter>()) return &b->key;
    if (const auto* c = problem.get_if<p::StatusCodeOutOfRange>()) return &c->key;
    return nullptr;
}

DiagnosticPosition problem_position(const model::ProblemEntry& entry, std::string path) {
    DiagnosticPosition at;
    at.path = std::move(path);
    if (entry.method == 0) {
        at.place = PositionPlace::PathItem;
        return at;
    }
    at.method = static_cast<http::HttpMethod>(entry.method);
    if (!entry.position) {
        // A bad response key is recorded for the operation; it names its response all the same.
        if (const std::string* key = status_key_of(entry.problem)) {
            at.place = PositionPlace::Response;
            at.name_or_status = *key;
            return at;
        }
        at.place = PositionPlace::Operation;
        return at;
    }
    std::visit(Overloaded{
                   [&](const model::positions::RequestBody&) { at.place = PositionPlace::RequestBody; },
                   [&](const model::positions::RequestBodyMediaType& b) {
                       at.place = PositionPlace::Parameter;
                       at.location = ParameterLocation::Body;
                       at.name_or_status = b.media_type;
                   },
                   [&](const model::positions::Response& r) {
                       at.place = PositionPlace::Response;
                       at.name_or_status = r.status;
                   },
                   [&](const model::positions::ResponseBody& r) {
                       at.place = PositionPlace::ResponseBody;
                       at.name_or_status = r.status;
                       at.media_type = r.media_type;
                   },
                   [&](const model::ParameterPosition& p) {
                       at.place = PositionPlace::Parameter;
                       at.location = p.location;
                       at.name_or_status = p.name;
                   },
               },
               *entry.position);
    return at;
}

Diagnostic convert_problem(const model::ProblemEntry& entry, const std::string& path) {
    Diagnostic d;
    d.data = problem_data(entry.problem);
    d.severity = problem_severity(entry, d.data);
    // A problem of no path (a server URL the parser refused) belongs to the whole document.
    if (entry.path.empty() && entry.method == 0 && !entry.position) {
        d.at = DiagnosticPosition::document();
    } else {
        d.at = problem_position(entry, path);
    }
    return d;
}

void dialect_diagnostics(const zavova::CoverageState& state, bool fixed_dialect, const DiagnosticPosition& at,
                         std::vector<Diagnostic>& out) {
    if (fixed_dialect) {
        if (state.declared_dialect) {
            out.push_back({Severity::Warning,
                           k::IgnoredDialect{*state.declared_dialect, assumed_draft_identifier(state.draft)}, at});
        }
        for (const zavova::UnknownDialectNote& note : state.unknown_dialects) {
            if (note.location.empty()) {
                out.push_back(
                    {Severity::Warning, k::IgnoredDialect{note.dialect, assumed_draft_identifier(note.assumed)}, at});
            } else {
                out.push_back({Severity::Warning,
                               k::UnknownDialect{note.dialect, assumed_draft_identifier(note.assumed), note.location},
                               at});
            }
        }
        return;
    }
    for (const zavova::UnknownDialectNote& note : state.unknown_dialects) {
        out.push_back({Severity::Warning,
                       k::UnknownDialect{note.dialect, assumed_draft_identifier(note.assumed), note.location}, at});
    }
}

void schema_failure_diagnostics(const deririrore::value::Value* schema, const zavova::CoverageState& state,
                                const DiagnosticPosition& at, std::vector<Diagnostic>& out) {
    std::vector<std::pair<std::string_view, std::string_view>> uncompilable;  // pattern, schema path
    const zavova::EntryMap& entries = state.entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const zavova::KeywordEntry& entry = entries.entry(i);
        if (entry.kind.tag != zavova::EntryTag::Unmeasured ||
            entry.kind.payload != static_cast<std::uint8_t>(zavova::UnmeasuredReason::InvalidPattern))
            continue;
        if (schema == nullptr) continue;
        const deririrore::value::Value* found = deririrore::referencing::pointer_lookup(*schema, entries.location(i));
        if (found == nullptr || !found->is_string()) continue;
        out.push_back(
            {Severity::Warning, k::UncompilablePattern{found->as_string(), std::string(entries.location(i))}, at});
        uncompilable.emplace_back(found->as_string(), entries.location(i));
    }
    if (!state.analysis_error) return;
    auto reported_pattern = [&](std::string_view pattern) {
        for (const auto& [p, s] : uncompilable)
            if (p == pattern) return true;
        return false;
    };
    auto reported_path = [&](std::string_view path) {
        for (const auto& [p, s] : uncompilable)
            if (s == path) return true;
        return false;
    };
    std::optional<DiagnosticData> data =
        std::visit(Overloaded{
                       [&](const zavova::UncompilablePattern& f) -> std::optional<DiagnosticData> {
                           if (reported_pattern(f.message)) return std::nullopt;
                           return k::InvalidPattern{f.message};
                       },
                       [](const zavova::UnresolvableReference& f) -> std::optional<DiagnosticData> {
                           return reference_or_unsupported(f.uri);
                       },
                       [](const zavova::UnresolvablePointer& f) -> std::optional<DiagnosticData> {
                           return k::UnresolvablePointer{f.pointer};
                       },
                       [](const zavova::UnresolvableAnchor& f) -> std::optional<DiagnosticData> {
                           return k::UnresolvableAnchor{f.anchor};
                       },
                       [&](const zavova::InvalidSchema& f) -> std::optional<DiagnosticData> {
                           if (reported_path(f.location.view())) return std::nullopt;
                           return k::InvalidSchema{f.location.str(), f.message};
                       },
                       [](const zavova::Unsupported&) -> std::optional<DiagnosticData> { return k::Unsupported{}; },
                   },
                   *state.analysis_error);
    if (data) out.push_back({Severity::Warning, std::move(*data), at});
}

void unsatisfiable_diagnostic(const zavova::CoverageState& state, const DiagnosticPosition& at,
                              std::vector<Diagnostic>& out) {
    const zavova::EntryMap& entries = state.entries;
    const zavova::KeywordEntry* root = nullptr;
    if (entries.size() == 1) {
        if (entries.location(0).empty()) root = &entries.entry(0);
    } else {
        root = entries.find("");
    }
    if (root == nullptr || root->kind.tag != zavova::EntryTag::Subschema ||
        root->kind.polarity() != zavova::Polarity::InvalidOnly)
        return;
    k::Unsatisfiable data;
    if (state.unsatisfiable) {
        std::vector<zavova::DescribedCause> causes;
        for (const zavova::DescribedCause* cause : zavova::flatten_unsatisfiable_causes(*state.unsatisfiable)) {
            causes.push_back(*cause);
        }
        data.causes = std::move(causes);
        if (std::holds_alternative<zavova::Unexplained>(*state.unsatisfiable)) {
            data.shape = k::CauseShape::FalseSchema;
        } else if (const auto* list = std::get_if<zavova::CauseList>(&*state.unsatisfiable)) {
            data.shape = k::CauseShape::Sides;
            for (const zavova::CauseEntry& entry : list->entries) {
                const auto* branches = std::get_if<zavova::BranchCauses>(&entry);
                data.side_branches.push_back(branches ? branches->causes.size() : 0);
            }
        }
    }
    out.push_back({Severity::Warning, std::move(data), at});
}

void target_diagnostics(const recorders::CoverageMap& map, std::string_view path, http::HttpMethod method,
                        const model::OperationRecord& record, std::vector<Diagnostic>& out) {
    for (const model::ParameterTarget& target : record.parameters) {
        const zavova::CoverageState* state = target.holder.state.get();
        if (state == nullptr) continue;
        DiagnosticPosition at;
        at.path = std::string(path);
        at.place = PositionPlace::Parameter;
        at.method = method;
        at.location = model::target_location(target);
        at.name_or_status = target.name;
        dialect_diagnostics(*state, map.draft4_schemas, at, out);
        schema_failure_diagnostics(target.schema.get(), *state, at, out);
        unsatisfiable_diagnostic(*state, at, out);
    }
    auto response_bodies = [&](const model::ResponseTarget& response, std::string_view status) {
        for (const model::ResponseBody& body : response.bodies) {
            const zavova::CoverageState* state = body.holder.state.get();
            if (state == nullptr) continue;
            DiagnosticPosition at;
            at.path = std::string(path);
            at.place = PositionPlace::ResponseBody;
            at.method = method;
            at.name_or_status = std::string(status);
            at.media_type = body.media_type.essence();
            dialect_diagnostics(*state, map.draft4_schemas, at, out);
            schema_failure_diagnostics(body.schema.get(), *state, at, out);
        }
    };
    for (const model::ResponseTarget& response : record.responses) {
        response_bodies(response, format_status_pattern(response.status));
    }
    // The `default` response's schema is measured like any other: its dialect and compile
    // problems are just as real.
    if (record.has_default_response) response_bodies(record.default_response, "default");
}

bool has_adjacent_parameters(const std::vector<model::PathSegment>& segments) {
    for (const model::PathSegment& segment : segments) {
        const auto* composite = std::get_if<model::path_segments::Composite>(&segment);
        if (composite == nullptr) continue;
        for (const model::SegmentPart& part : composite->parts) {
            if (std::holds_alternative<model::segment_parts::AdjacentParameters>(part)) return true;
        }
    }
    return false;
}

// Templates every one of whose route patterns has parameters side by side.
model::TextSet adjacent_parameter_templates(const model::RouteIndex& routes) {
    model::TextSet marked;
    model::TextSet unmarked;
    for (const model::SegmentTemplate& t : routes.segment_templates) {
        (has_adjacent_parameters(t.segments) ? marked : unmarked).insert(t.template_text);
    }
    for (const model::QueryTemplate& t : routes.query_templates) {
        (has_adjacent_parameters(t.segments) ? marked : unmarked).insert(t.template_text);
    }
    for (const std::string& text : unmarked) marked.erase(text);
    return marked;
}

struct ProblemGroups {
    model::TextMap<std::size_t> by_path;                                   // template text -> group
    std::vector<std::pair<std::string, std::vector<std::size_t>>> groups;  // first-appearance order
    std::vector<bool> taken;
};

ProblemGroups group_problems(const recorders::CoverageMap& map) {
    ProblemGroups out;
    for (std::size_t i = 0; i < map.problems.size(); ++i) {
        const model::ProblemEntry& entry = map.problems[i];
        // Problems name the key as written; templates carry the base path in front.
        std::string path = map.base_path && !entry.path.empty() ? *map.base_path + entry.path : entry.path;
        ++grouping_comparisons;
        auto [it, inserted] = out.by_path.try_emplace(std::move(path), out.groups.size());
        if (inserted) out.groups.emplace_back(it->first, std::vector<std::size_t>{});
        out.groups[it->second].second.push_back(i);
    }
    out.taken.assign(out.groups.size(), false);
    return out;
}

void append_group(const recorders::CoverageMap& map, const std::pair<std::string, std::vector<std::size_t>>& group,
                  std::vector<Diagnostic>& out) {
    for (std::size_t i : group.second) out.push_back(convert_problem(map.problems[i], group.first));
}

}  // namespace

std::string_view severity_name(Severity severity) noexcept { return severity == Severity::Error ? "error" : "warning"; }

std::string_view position_place_name(PositionPlace place) noexcept {
    switch (place) {
        case PositionPlace::PathItem:
            return "path_item";
        case PositionPlace::Operation:
            return "operation";
        case PositionPlace::RequestBody:
            return "request_body";
        case PositionPlace::Parameter:
            return "parameter";
        case PositionPlace::Response:
            return "response";
        case PositionPlace::ResponseBody:
            return "response_body";
        case PositionPlace::Document:
            return "document";
    }
    return "document";
}

std::string_view location_name(model::ParameterLocation location) noexcept {
    return model::parameter_location_key(location);
}

DiagnosticPosition DiagnosticPosition::path_item(std::string path) {
    DiagnosticPosition at;
    at.path = std::move(path);
    at.place = PositionPlace::PathItem;
    return at;
}

std::string_view diagnostic_kind_name(DiagnosticKind kind) noexcept {
    static constexpr std::string_view names[kDiagnosticKindCount] = {
        "invalid_pattern",
        "unresolvable_reference",
        "unresolvable_pointer",
        "unresolvable_anchor",
        "invalid_schema",
        "unsupported_reference",
        "reference_loop",
        "uncompilable_pattern",
        "unexpected_type",
        "unexpected_value",
        "invalid_percent_encoding",
        "unreadable_reference",
        "missing_field",
        "querystring_conflict",
        "invalid_status_code",
        "invalid_status_code_character",
        "status_code_out_of_range",
        "unknown_dialect",
        "unknown_document_dialect",
        "ignored_dialect",
        "unsatisfiable",
        "unsupported",
        "unroutable",
        "adjacent_path_parameters",
        "too_many_route_parameters",
        "duplicate_operation",
    };
    const auto index = static_cast<std::size_t>(kind);
    return index < kDiagnosticKindCount ? names[index] : std::string_view();
}

std::string_view assumed_draft_identifier(deririrore::referencing::Draft draft) noexcept {
    using deririrore::referencing::Draft;
    switch (draft) {
        case Draft::Draft4:
            return "http://json-schema.org/draft-04/schema#";
        case Draft::Draft6:
            return "http://json-schema.org/draft-06/schema#";
        case Draft::Draft7:
            return "http://json-schema.org/draft-07/schema#";
        case Draft::Draft201909:
            return "https://json-schema.org/draft/2019-09/schema";
        default:
            return "https://json-schema.org/draft/2020-12/schema";
    }
}

std::vector<Diagnostic> collect_diagnostics(const recorders::CoverageMap& map) {
    grouping_comparisons = 0;
    std::vector<Diagnostic> out;
    if (map.unknown_dialect) {
        out.push_back({Severity::Warning,
                       k::UnknownDocumentDialect{map.unknown_dialect->first,
                                                 assumed_draft_identifier(map.unknown_dialect->second)},
                       DiagnosticPosition::document()});
    }
    ProblemGroups groups = group_problems(map);
    const model::TextSet adjacent = adjacent_parameter_templates(map.routes);
    for (const auto& entry : map.routes.paths) {
        const std::string& path = entry.route;
        if (map.routes.unroutable_templates.contains(path)) {
            out.push_back({Severity::Error, k::Unroutable{}, DiagnosticPosition::path_item(path)});
        }
        if (adjacent.contains(path)) {
            out.push_back({Severity::Warning, k::AdjacentPathParameters{}, DiagnosticPosition::path_item(path)});
        }
        if (!groups.by_path.empty()) {
            ++grouping_comparisons;
            auto found = groups.by_path.find(path);
            if (found != groups.by_path.end() && !groups.taken[found->second]) {
                groups.taken[found->second] = true;
                append_group(map, groups.groups[found->second], out);
            }
        }
        for (const auto item : entry.methods) target_diagnostics(map, path, item.method, item.record, out);
    }
    for (std::size_t g = 0; g < groups.groups.size(); ++g) {
        if (!groups.taken[g]) append_group(map, groups.groups[g], out);
    }
    return out;
}

std::uint64_t diagnostics_grouping_comparisons() noexcept { return grouping_comparisons; }

std::vector<Diagnostic> operation_target_diagnostics(const recorders::CoverageMap& map, std::string_view path,
                                                     http::HttpMethod method, const model::OperationRecord& record) {
    std::vector<Diagnostic> out;
    target_diagnostics(map, path, method, record, out);
    return out;
}

DiagnosticIndex::DiagnosticIndex(const std::vector<Diagnostic>& diagnostics) {
    for (std::size_t i = 0; i < diagnostics.size(); ++i) {
        const DiagnosticPosition& at = diagnostics[i].at;
        if (at.place == PositionPlace::Document) continue;
        Bucket& bucket = buckets_[at.path];
        if (at.place == PositionPlace::PathItem) {
            bucket.path_item.push_back(i);
            continue;
        }
        auto slot = bucket.operations.begin();
        while (slot != bucket.operations.end() && slot->first != at.method) ++slot;
        if (slot == bucket.operations.end()) {
            bucket.operations.emplace_back(at.method, std::vector<std::size_t>{});
            slot = bucket.operations.end() - 1;
        }
        slot->second.push_back(i);
    }
}

std::span<const std::size_t> DiagnosticIndex::of_operation(std::string_view path, http::HttpMethod method) const {
    const auto found = buckets_.find(path);
    if (found == buckets_.end()) return {};
    for (const auto& [m, positions] : found->second.operations) {
        if (m == method) return positions;
    }
    return {};
}

std::span<const std::size_t> DiagnosticIndex::of_path_item(std::string_view path) const {
    const auto found = buckets_.find(path);
    if (found == buckets_.end()) return {};
    return found->second.path_item;
}

}  // namespace vantorel::reports
