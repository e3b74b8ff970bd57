#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "vantorel/reports/diagnostic_texts.hpp"

namespace {

namespace dk = vantorel::reports::diagnostic_kinds;
using http::HttpMethod;
using vantorel::model::ParameterLocation;
using vantorel::reports::describe_diagnostic;
using vantorel::reports::Diagnostic;
using vantorel::reports::DiagnosticData;
using vantorel::reports::DiagnosticPosition;
using vantorel::reports::PositionPlace;
using vantorel::reports::Severity;
using vantorel::reports::subject_line;

DiagnosticPosition parameter_at(ParameterLocation location, std::string name) {
    DiagnosticPosition at;
    at.path = "/pets/{id}";
    at.place = PositionPlace::Parameter;
    at.method = HttpMethod::Get;
    at.location = location;
    at.name_or_status = std::move(name);
    return at;
}

DiagnosticPosition operation_at() {
    DiagnosticPosition at;
    at.path = "/pets";
    at.place = PositionPlace::Operation;
    at.method = HttpMethod::Post;
    return at;
}

Diagnostic make(Severity severity, DiagnosticData data,
                DiagnosticPosition at = parameter_at(ParameterLocation::Query, "limit")) {
    return Diagnostic{severity, std::move(data), std::move(at)};
}

constexpr std::string_view kTail = "is not measured; the rest of the operation is.";

TEST(DiagnosticTexts, FixesPerKindAndField) {
    static constexpr std::array<std::string_view, 3> kAbc = {"a", "b", "c"};
    static constexpr std::array<std::string_view, 1> kOne = {"form"};
    const struct {
        Diagnostic diagnostic;
        std::string_view title;
        std::string_view fix;
    } cases[] = {
        {make(Severity::Error, dk::InvalidStatusCode{"DEFAULT"}), "Response key is not a status code",
         "Write the key as `default`, in lowercase."},
        {make(Severity::Error, dk::InvalidStatusCode{"abc"}), "Response key is not a status code",
         "Write the key as three characters, such as `200` or `2XX`."},
        {make(Severity::Error, dk::InvalidStatusCodeCharacter{"2xx", "x"}), "Bad character in status code",
         "Write the key as `2XX`."},
        {make(Severity::Error, dk::InvalidStatusCodeCharacter{"2Xx", "x"}), "Bad character in status code",
         "Write the key as `2XX`."},
        {make(Severity::Error, dk::InvalidStatusCodeCharacter{"2yx", "y"}), "Bad character in status code",
         "Use only digits and an uppercase `X` in the key, such as `200` or `2XX`."},
        {make(Severity::Error, dk::UnresolvableReference{"#/components/schemas/My Pet"}),
         "Reference cannot be resolved", "Write ` ` as `%20` in the `$ref`."},
        {make(Severity::Error, dk::UnresolvableReference{"#/a b`c é"}), "Reference cannot be resolved",
         "Write ` ` as `%20`, a backtick as `%60` and `é` as `%C3%A9` in the `$ref`."},
        {make(Severity::Error, dk::UnresolvableReference{"#/components/schemas/Missing"}),
         "Reference cannot be resolved", "Point the `$ref` at a definition that exists."},
        {make(Severity::Error, dk::UnsupportedReference{"#"}), "Reference not followed",
         "Point the `$ref` at the schema's own location, such as `#/components/schemas/Node`."},
        {make(Severity::Error, dk::UnsupportedReference{"other.yaml#/Pet"}), "Reference not followed",
         "Load the specification from its file, or copy the target into this document and point the `$ref` at the "
         "copy."},
        {make(Severity::Error, dk::UnsupportedReference{"https://example.com/pet.json"}), "Reference not followed",
         "Copy the target into this document and point the `$ref` at the copy."},
        {make(Severity::Error, dk::UnexpectedType{"type", "object"}), "Wrong type for", "Change `type` to an object."},
        {make(Severity::Error, dk::UnexpectedType{"type", "string"}), "Wrong type for", "Change `type` to a string."},
        {make(Severity::Error, dk::UnexpectedValue{"style", "x", kAbc}), "Unusable value in",
         "Replace `x` with `a`, `b` or `c`."},
        {make(Severity::Error, dk::UnexpectedValue{"style", "x", kOne}), "Unusable value in",
         "Replace `x` with `form`."},
        {make(Severity::Error, dk::UnexpectedValue{"style", "x", {}}), "Unusable value in",
         "Replace `x` with a value this OpenAPI version allows for `style`."},
        {make(Severity::Error, dk::UnexpectedValue{"content", "{}", {}}),
         "Parameter content must hold exactly one media type", "Add one media type with a `schema` under `content`."},
        {make(Severity::Error, dk::MissingField{"schema"}), "Parameter has no schema", "Add `schema`."},
        {make(Severity::Error, dk::MissingField{"schema"}, parameter_at(ParameterLocation::Body, "pet")),
         "Missing field", "Add `schema`."},
        {make(Severity::Error, dk::MissingField{"in"}), "Missing field", "Add `in`."},
        {make(Severity::Error, dk::UnresolvableAnchor{"node"}), "Reference anchor does not exist",
         "Add `\"$anchor\": \"node\"` to the schema the reference means."},
        {make(Severity::Warning, dk::UnknownDialect{"x", "https://json-schema.org/draft/2020-12/schema", ""}),
         "Unknown JSON Schema dialect", "Set `$schema` to `https://json-schema.org/draft/2020-12/schema`."},
        {make(Severity::Error, dk::Unsupported{}), "Meta-schema cannot be resolved",
         "Set `$schema` to a known dialect, such as `https://json-schema.org/draft/2020-12/schema`."},
        {make(Severity::Warning, dk::AdjacentPathParameters{},
              [] {
                  DiagnosticPosition at;
                  at.path = "/files/{a}{b}{c}/x";
                  at.place = PositionPlace::PathItem;
                  return at;
              }()),
         "Path parameters share a segment with no separator",
         "Put a literal between the parameters, such as `{a}-{b}-{c}`."},
        {make(Severity::Warning, dk::AdjacentPathParameters{}, DiagnosticPosition::document()),
         "Path parameters share a segment with no separator", "Put a literal between the parameters."},
    };
    for (const auto& c : cases) {
        const auto text = describe_diagnostic(c.diagnostic);
        EXPECT_EQ(text.title, c.title) << c.fix;
        EXPECT_EQ(text.fix, c.fix);
        EXPECT_EQ(text.explanation.substr(text.explanation.size() - text.fix.size()), text.fix);
    }
}

TEST(DiagnosticTexts, SeverityDecidesConsequenceAndImpact) {
    const auto warning = describe_diagnostic(make(Severity::Warning, dk::UnresolvablePointer{"/definitions/X"}));
    EXPECT_EQ(warning.impact, "measured, analysis incomplete");
    EXPECT_EQ(warning.explanation,
              std::string(vantorel::reports::kUncertaintySentence) + " Point the reference at a schema that exists.");
    const auto error = describe_diagnostic(make(Severity::Error, dk::UnresolvablePointer{"/definitions/X"}));
    EXPECT_EQ(error.impact, "not measured");
    EXPECT_EQ(error.explanation,
              "Query parameter `limit` " + std::string(kTail) + " Point the reference at a schema that exists.");
    EXPECT_EQ(subject_line(error.subject), "/definitions/X");

    const auto unsupported = describe_diagnostic(make(Severity::Warning, dk::UnsupportedReference{"https://x/y"}));
    EXPECT_EQ(unsupported.explanation, std::string(vantorel::reports::kUncertaintySentence) +
                                           " Vantorel never fetches `https://x/y`. Copy the target into this document "
                                           "and point the `$ref` at the copy.");
}

TEST(DiagnosticTexts, ScopeSentencesFollowThePosition) {
    DiagnosticPosition body = parameter_at(ParameterLocation::Body, "application/json");
    DiagnosticPosition response;
    response.path = "/pets";
    response.place = PositionPlace::Response;
    response.method = HttpMethod::Get;
    response.name_or_status = "200";
    DiagnosticPosition response_body = response;
    response_body.place = PositionPlace::ResponseBody;
    response_body.media_type = "application/json";
    DiagnosticPosition request_body = operation_at();
    request_body.place = PositionPlace::RequestBody;
    const std::string tail(kTail);
    const struct {
        Diagnostic diagnostic;
        std::string sentence;
    } cases[] = {
        {make(Severity::Error, dk::ReferenceLoop{"#/a"}, parameter_at(ParameterLocation::Header, "X-Id")),
         "Header `X-Id` " + tail},
        {make(Severity::Error, dk::ReferenceLoop{"#/a"}, parameter_at(ParameterLocation::FormData, "f")),
         "Form field `f` " + tail},
        {make(Severity::Error, dk::ReferenceLoop{"#/a"}, body), "Request body `application/json` " + tail},
        {make(Severity::Error, dk::ReferenceLoop{"#/a"}, response), "Response `200` " + tail},
        {make(Severity::Error, dk::ReferenceLoop{"#/a"}, response_body),
         "The `application/json` body of response `200` " + tail},
        {make(Severity::Error, dk::ReferenceLoop{"#/a"}, request_body), "The request body " + tail},
        {make(Severity::Error, dk::ReferenceLoop{"#/a"}, operation_at()),
         "The parameter this `$ref` stands for " + tail},
        {make(Severity::Error, dk::UnexpectedType{"style", "string"}, operation_at()),
         "The parameter whose `style` is not a string " + tail},
        {make(Severity::Error, dk::UnexpectedType{"$ref", "string"}, operation_at()),
         "The parameter this `$ref` stands for " + tail},
        {make(Severity::Error, dk::UnexpectedValue{"in", "nowhere", {}}, operation_at()),
         "The parameter with `in: nowhere` " + tail},
        {make(Severity::Error, dk::MissingField{"name"}, operation_at()), "The parameter without `name` " + tail},
        {make(Severity::Error, dk::ReferenceLoop{"#/a"}, DiagnosticPosition::document()),
         "The entry that holds it is not measured."},
    };
    for (const auto& c : cases) EXPECT_EQ(vantorel::reports::scope_sentence(c.diagnostic), c.sentence);
}

TEST(DiagnosticTexts, SubjectsWithLeads) {
    const struct {
        Diagnostic diagnostic;
        std::string_view line;
    } cases[] = {
        {make(Severity::Error, dk::InvalidSchema{"", "expected a number"}), "(schema root)"},
        {make(Severity::Error, dk::UnexpectedType{"style", "string"}), "style — expected string"},
        {make(Severity::Error, dk::UnexpectedValue{"style", "x", {}}), "style — x"},
        {make(Severity::Error, dk::UnexpectedValue{"content", "text/plain duplicates text/plain; charset=utf-8", {}},
              DiagnosticPosition::document()),
         "text/plain duplicates text/plain; charset=utf-8"},
        {make(Severity::Warning, dk::UnknownDialect{"urn:x", "https://json-schema.org/draft/2020-12/schema", "/a"}),
         "urn:x — read as https://json-schema.org/draft/2020-12/schema at /a"},
        {make(Severity::Warning, dk::UncompilablePattern{"[", "/properties/a/pattern"}), "[ at /properties/a/pattern"},
        {make(Severity::Warning,
              dk::Unsatisfiable{std::vector<zavova::DescribedCause>{{"/a", {{"minimum", "5"}, {"maximum", "1"}}}},
                                   dk::CauseShape::KeywordCause, {}}),
         "minimum: 5 and maximum: 1 at /a"},
        {make(Severity::Warning,
              dk::Unsatisfiable{std::vector<zavova::DescribedCause>{{"", {}}}, dk::CauseShape::FalseSchema, {}}),
         "false"},
        {make(Severity::Warning, dk::Unsatisfiable{std::vector<zavova::DescribedCause>{{"/b", {}}}, dk::CauseShape::KeywordCause, {}}), "/b"},
        {make(Severity::Warning, dk::Unsatisfiable{std::nullopt, dk::CauseShape::KeywordCause, {}}), ""},
        {make(Severity::Error, dk::Unroutable{}), "unclosed {"},
    };
    for (const auto& c : cases) EXPECT_EQ(subject_line(describe_diagnostic(c.diagnostic).subject), c.line);

    const auto invalid = describe_diagnostic(make(Severity::Error, dk::InvalidSchema{"", "expected a number"}));
    ASSERT_EQ(invalid.subject.size(), 1u);
    EXPECT_EQ(invalid.subject[0].lead, "at");
    EXPECT_EQ(invalid.why, "expected a number");
    EXPECT_FALSE(describe_diagnostic(make(Severity::Error, dk::MissingField{"in"})).why);
}

TEST(DiagnosticTexts, UnsatisfiableSidesShowBranchesAsAlternatives) {
    using zavova::DescribedCause;
    const DescribedCause low{"/allOf/0", {{"minimum", "5"}}};
    const auto branch = [](int n) {
        return DescribedCause{"/anyOf/" + std::to_string(n), {{"const", std::to_string(n)}}};
    };
    const auto sides = [&](std::size_t branches) {
        std::vector<DescribedCause> causes{low};
        for (std::size_t n = 0; n < branches; ++n) causes.push_back(branch(static_cast<int>(n)));
        return dk::Unsatisfiable{causes, dk::CauseShape::Sides, {0, branches}};
    };
    const struct {
        dk::Unsatisfiable data;
        std::string_view line;
    } cases[] = {
        {sides(2), "minimum: 5 at /allOf/0 vs const: 0 at /anyOf/0 or const: 1 at /anyOf/1"},
        {sides(3), "minimum: 5 at /allOf/0 vs const: 0 at /anyOf/0 or const: 1 at /anyOf/1 or const: 2 at /anyOf/2"},
        {sides(4),
         "minimum: 5 at /allOf/0 vs const: 0 at /anyOf/0 or const: 1 at /anyOf/1 or const: 2 at /anyOf/2 or 1 more "
         "branch"},
        {sides(5),
         "minimum: 5 at /allOf/0 vs const: 0 at /anyOf/0 or const: 1 at /anyOf/1 or const: 2 at /anyOf/2 or 2 more "
         "branches"},
        {dk::Unsatisfiable{std::vector<DescribedCause>{branch(0), branch(1), low}, dk::CauseShape::Sides, {2, 0}},
         "const: 0 at /anyOf/0 or const: 1 at /anyOf/1 vs minimum: 5 at /allOf/0"},
    };
    for (const auto& c : cases) {
        const auto text = describe_diagnostic(make(Severity::Warning, c.data));
        EXPECT_EQ(subject_line(text.subject), c.line);
        EXPECT_EQ(text.explanation,
                  "No value satisfies both sides shown at once, so every value sent here fails the schema. Change the "
                  "schema so that some value satisfies it.");
    }
}

TEST(DiagnosticTexts, DocumentValuesStayMarkedAsCode) {
    // A value holding backticks must stay one piece, so that renderers can fence it safely.
    const auto text = describe_diagnostic(make(Severity::Error, dk::UnexpectedValue{"style", "a`|b", {}}));
    std::vector<std::string> code;
    for (const auto& piece : text.fix_pieces) {
        if (piece.code) code.push_back(piece.text);
    }
    EXPECT_EQ(code, (std::vector<std::string>{"a`|b", "style"}));
    EXPECT_EQ(text.fix, vantorel::reports::join_pieces(text.fix_pieces));
}

TEST(GroupDiagnostics, GroupsByTitleAndFixAndCapsMembers) {
    std::vector<Diagnostic> diagnostics;
    diagnostics.push_back(make(Severity::Error, dk::MissingField{"in"}));
    diagnostics.push_back(make(Severity::Error, dk::MissingField{"name"}));
    diagnostics.push_back(make(Severity::Error, dk::MissingField{"in"}, operation_at()));
    for (int i = 0; i < 53; ++i) {
        diagnostics.push_back(make(Severity::Warning, dk::InvalidPattern{"p" + std::to_string(i)}));
    }
    diagnostics.push_back(make(Severity::Warning, dk::InvalidPattern{"p0"}));

    const auto groups = vantorel::reports::group_diagnostics(diagnostics);
    EXPECT_EQ(groups.error_count, 3u);
    EXPECT_EQ(groups.warning_count, 54u);
    ASSERT_EQ(groups.groups.size(), 3u);
    // Errors first even though the warning group is larger; then larger first.
    EXPECT_EQ(groups.groups[0].text.fix, "Add `in`.");
    EXPECT_EQ(groups.groups[0].count, 2u);
    ASSERT_EQ(groups.groups[0].members.size(), 1u);
    EXPECT_EQ(groups.groups[0].members[0].diagnostics.size(), 2u);
    EXPECT_EQ(groups.groups[1].text.fix, "Add `name`.");
    const auto& patterns = groups.groups[2];
    EXPECT_EQ(patterns.severity, Severity::Warning);
    EXPECT_EQ(patterns.count, 54u);
    EXPECT_EQ(patterns.members.size(), 50u);
    EXPECT_EQ(patterns.hidden, 3u);
    EXPECT_EQ(patterns.members[0].subject, "p0");
    EXPECT_EQ(patterns.members[0].diagnostics.size(), 2u);
}

TEST(PositionTrail, PartsPathAndMethodByPlace) {
    // The trail borrows from its position.
    const DiagnosticPosition document_at = DiagnosticPosition::document();
    const DiagnosticPosition parameter_position = parameter_at(ParameterLocation::FormData, "file");
    const DiagnosticPosition operation_position = operation_at();
    const auto document = vantorel::reports::position_trail(document_at);
    EXPECT_EQ(document.parts, (std::vector<std::string_view>{"document"}));
    EXPECT_FALSE(document.path);
    EXPECT_EQ(document.method, HttpMethod::None);

    const auto parameter = vantorel::reports::position_trail(parameter_position);
    EXPECT_EQ(parameter.parts, (std::vector<std::string_view>{"form_data", "file"}));
    EXPECT_EQ(parameter.path, "/pets/{id}");
    EXPECT_EQ(parameter.method, HttpMethod::Get);

    const auto operation = vantorel::reports::position_trail(operation_position);
    EXPECT_TRUE(operation.parts.empty());
    EXPECT_EQ(operation.method, HttpMethod::Post);
}

}  // namespace
