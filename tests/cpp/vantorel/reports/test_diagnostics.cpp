#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/canonical/describe.hpp"
#include "report_model_fixtures.hpp"
#include "vantorel/reports/diagnostics.hpp"
#include "vantorel/reports/report_model.hpp"

namespace {

using namespace report_fixtures;
using vantorel::reports::collect_diagnostics;
using vantorel::reports::Diagnostic;
using vantorel::reports::DiagnosticKind;
using vantorel::reports::PositionPlace;
using vantorel::reports::Severity;
namespace dk = vantorel::reports::diagnostic_kinds;

// "kind@place path method location name|status media_type" for compact comparisons.
std::string describe(const Diagnostic& d) {
    std::string out(vantorel::reports::diagnostic_kind_name(d.kind()));
    out += d.severity == Severity::Error ? "!" : "?";
    out += "@";
    out += vantorel::reports::position_place_name(d.at.place);
    if (d.at.place == PositionPlace::Document) return out;
    out += " " + d.at.path;
    if (d.at.place == PositionPlace::PathItem) return out;
    out += " ";
    out += http::method_name(d.at.method);
    if (d.at.place == PositionPlace::Parameter) {
        out += " ";
        out += vantorel::reports::location_name(d.at.location);
        out += " " + d.at.name_or_status;
    } else if (d.at.place == PositionPlace::Response || d.at.place == PositionPlace::ResponseBody) {
        out += " " + d.at.name_or_status;
        if (d.at.place == PositionPlace::ResponseBody) out += " " + d.at.media_type;
    }
    return out;
}

std::vector<std::string> described(const CoverageMap& map) {
    std::vector<std::string> out;
    for (const Diagnostic& d : collect_diagnostics(map)) out.push_back(describe(d));
    return out;
}

TEST(Diagnostics, CleanDocumentHasNone) {
    CoverageMap map =
        map_of(R"("/a": {"get": {"parameters": [{"name": "q", "in": "query", "schema": {"type": "string"}}],
                                               "responses": {"200": {"description": "ok"}}}})");
    EXPECT_TRUE(collect_diagnostics(map).empty());
}

TEST(Diagnostics, BrokenReferenceIsUnresolvableAtItsParameter) {
    CoverageMap map = map_of(
        R"("/pets": {"get": {"parameters": [
              {"name": "q", "in": "query", "schema": {"$ref": "#/components/schemas/Missing"}}],
            "responses": {"200": {"description": "ok"}}}})");
    const auto diagnostics = collect_diagnostics(map);
    ASSERT_EQ(diagnostics.size(), 1u) << (diagnostics.empty() ? "" : describe(diagnostics[0]));
    EXPECT_EQ(describe(diagnostics[0]), "unresolvable_reference!@parameter /pets GET query q");
    const auto* data = diagnostics[0].get_if<dk::UnresolvableReference>();
    ASSERT_NE(data, nullptr);
    EXPECT_NE(data->reference.find("#/components/schemas/Missing"), std::string::npos) << data->reference;
}

TEST(Diagnostics, TemplatesWithUnclosedBraceOrAdjacentParameters) {
    CoverageMap map = map_of(R"("/broken/{id": {"get": {"responses": {"200": {"description": "ok"}}}},
                                "/files/{name}{ext}": {"get": {"responses": {"200": {"description": "ok"}}}},
                                "/fine/{id}": {"get": {"responses": {"200": {"description": "ok"}}}})");
    EXPECT_EQ(described(map), (std::vector<std::string>{"unroutable!@path_item /broken/{id",
                                                        "adjacent_path_parameters?@path_item /files/{name}{ext}"}));
    const auto diagnostics = collect_diagnostics(map);
    std::vector<std::pair<std::string, std::string>> fields;
    vantorel::reports::for_each_diagnostic_field(
        diagnostics[0], [&](std::string_view name, std::string_view text) { fields.emplace_back(name, text); });
    EXPECT_EQ(fields, (std::vector<std::pair<std::string, std::string>>{{"reason", "invalid_param"}}));

    // The unroutable operation drops out of the summary until it is hit, but is still listed.
    auto model = vantorel::reports::build_report_model(map);
    EXPECT_EQ(model.summary.operations.total, 2u);
    EXPECT_EQ(model.operations.size(), 3u);
    operation(map, "/broken/{id").hits = 1;
    model = vantorel::reports::build_report_model(map);
    EXPECT_EQ(model.summary.operations.total, 3u);
    EXPECT_EQ(model.summary.operations.covered, 1u);
}

TEST(Diagnostics, SeverityExceptionsForDeprecatedAndAdditionalOperations) {
    CoverageMap map = map_of(R"("/a": {"get": {"deprecated": "yes", "responses": {"200": {"description": "ok"}}},
                                       "additionalOperations": {"FETCH": {"responses": {"200": {"description": "ok"}}}}})",
                             "3.2.0");
    const auto got = described(map);
    EXPECT_NE(std::find(got.begin(), got.end(), "unexpected_type?@operation /a GET"), got.end())
        << ::testing::PrintToString(got);
    EXPECT_NE(std::find(got.begin(), got.end(), "unexpected_value?@path_item /a"), got.end())
        << ::testing::PrintToString(got);
}

TEST(Diagnostics, ProblemsGroupUnderTheirTemplateAndStrayOnesComeLast) {
    CoverageMap map = map_of(R"("/b": {"get": {"responses": {"200": {"description": "ok"}}}},
                                "/a": {"get": {"responses": {"200": {"description": "ok"}}}})");
    using vantorel::model::ProblemEntry;
    using vantorel::model::SpecProblem;
    map.problems.clear();
    auto missing = [](std::string path, std::string_view field) {
        return ProblemEntry{std::move(path), std::nullopt, SpecProblem::missing_field(field), 1};
    };
    map.problems.push_back(missing("/b", "one"));
    map.problems.push_back(missing("/elsewhere", "two"));
    map.problems.push_back(missing("/a", "three"));
    map.problems.push_back(missing("/b", "four"));
    std::vector<std::string> fields;
    for (const Diagnostic& d : collect_diagnostics(map))
        fields.push_back(d.get_if<dk::MissingField>()->field + d.at.path);
    // Path index order is the document's member order: "/a" before "/b".
    EXPECT_EQ(fields, (std::vector<std::string>{"three/a", "one/b", "four/b", "two/elsewhere"}));
}

TEST(Diagnostics, ProblemsOfKeysFindTheirTemplateBehindTheBasePath) {
    CoverageMap map = map_of_document(
        R"({"openapi": "3.1.0", "servers": [{"url": "https://api.example.com/v1"}],
            "paths": {"/a": {"get": {"responses": {"2000": {"description": "bad key"}}}}}})");
    ASSERT_NE(map.routes.paths.find("/v1/a"), nullptr);
    EXPECT_EQ(described(map), (std::vector<std::string>{"invalid_status_code!@response /v1/a GET 2000"}));
}

TEST(Diagnostics, DuplicateOperationsAndTemplatesBeyondTheRouteTable) {
    std::string many = "/m";
    for (int i = 0; i < 26; ++i) many += "/{p" + std::to_string(i) + "}";
    CoverageMap map = map_of(R"("/a": {"get": {"responses": {"200": {"description": "ok"}}},
                                       "GET": {"responses": {"200": {"description": "ok"}}}},
                                ")" +
                             many + R"(": {"get": {"responses": {"200": {"description": "ok"}}}})");
    EXPECT_EQ(described(map), (std::vector<std::string>{"duplicate_operation!@operation /a GET",
                                                        "too_many_route_parameters?@path_item " + many}));
    const auto diagnostics = collect_diagnostics(map);
    const auto* too_many = diagnostics[1].get_if<dk::TooManyRouteParameters>();
    ASSERT_NE(too_many, nullptr);
    EXPECT_EQ(too_many->count, 26u);
    EXPECT_EQ(too_many->limit, 25u);
}

TEST(Diagnostics, RefusedServerUrlBelongsToTheDocument) {
    CoverageMap map = map_of_document(
        R"({"openapi": "3.1.0", "servers": [{"url": "http://exa mple.com/v1"}],
            "paths": {"/a": {"get": {"responses": {"200": {"description": "ok"}}}}}})");
    const auto diagnostics = collect_diagnostics(map);
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(describe(diagnostics[0]), "unexpected_value!@document");
    EXPECT_EQ(diagnostics[0].get_if<dk::UnexpectedValue>()->value, "http://exa mple.com/v1");
}

TEST(Diagnostics, DialectFindingsByDocumentVersion) {
    const std::string schema = R"({"$schema": "https://example.com/custom", "type": "object"})";
    const std::string paths =
        R"("/a": {"get": {"responses": {"200": {"description": "ok", "content": {"application/json": {"schema": )" +
        schema + R"(}}}, "default": {"description": "other", "content": {"application/json": {"schema": )" + schema +
        "}}}}}}";
    // 3.1: every finding is unknown_dialect, the `default` response's body included.
    EXPECT_EQ(described(map_of(paths, "3.1.0")),
              (std::vector<std::string>{"unknown_dialect?@response_body /a GET 200 application/json",
                                        "unknown_dialect?@response_body /a GET default application/json"}));
    // 3.0 fixes the dialect: a root finding is ignored_dialect.
    EXPECT_EQ(described(map_of(paths, "3.0.3")),
              (std::vector<std::string>{"ignored_dialect?@response_body /a GET 200 application/json",
                                        "ignored_dialect?@response_body /a GET default application/json"}));
}

TEST(Diagnostics, UnknownDocumentDialectComesFirst) {
    CoverageMap map =
        map_of_document(R"({"openapi": "3.1.0", "jsonSchemaDialect": "https://example.com/dialect", "paths": {}})");
    const auto diagnostics = collect_diagnostics(map);
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(describe(diagnostics[0]), "unknown_document_dialect?@document");
    const auto* d = diagnostics[0].get_if<dk::UnknownDocumentDialect>();
    EXPECT_EQ(d->dialect, "https://example.com/dialect");
    EXPECT_EQ(d->assumed, "https://json-schema.org/draft/2020-12/schema");
}

TEST(Diagnostics, SchemaFailuresOfTargets) {
    struct Case {
        const char* name;
        std::string schema;
        std::string expected;
        std::string_view version = "3.1.0";
    };
    const std::vector<Case> cases = {
        {"uncompilable pattern", R"({"type": "string", "pattern": "(?<"})",
         "uncompilable_pattern?@parameter /a GET query q", "3.0.3"},
        {"web reference", R"({"$ref": "https://example.com/schema.json"})",
         "unsupported_reference!@parameter /a GET query q"},
        {"unsatisfiable", R"({"not": {}})", "unsatisfiable?@parameter /a GET query q"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(R"("/a": {"get": {"parameters": [{"name": "q", "in": "query", "schema": )" + c.schema +
                                     R"(}], "responses": {"200": {"description": "ok"}}}})",
                                 c.version);
        const auto got = described(map);
        ASSERT_FALSE(got.empty()) << c.name;
        EXPECT_EQ(got[0].substr(got[0].find('@')), c.expected.substr(c.expected.find('@')))
            << ::testing::PrintToString(got);
        EXPECT_EQ(got[0].substr(0, got[0].find('!') < got[0].find('?') ? got[0].find('!') : got[0].find('?')),
                  c.expected.substr(0, c.expected.find_first_of("!?")))
            << ::testing::PrintToString(got);
    }
}

TEST(Diagnostics, InvalidSchemaCarriesTheDescribedSentence) {
    CoverageMap map = map_of(R"("/a": {"get": {"parameters": [{"name": "q", "in": "query", "schema": {"minimum": "x"}}],
                                               "responses": {"200": {"description": "ok"}}}})");
    const auto diagnostics = collect_diagnostics(map);
    ASSERT_FALSE(diagnostics.empty());
    const auto* d = diagnostics[0].get_if<dk::InvalidSchema>();
    ASSERT_NE(d, nullptr) << describe(diagnostics[0]);
    EXPECT_EQ(d->message.find('\n'), std::string::npos);
    EXPECT_FALSE(d->message.empty());
    EXPECT_EQ(diagnostics[0].at.place, PositionPlace::Parameter);
    // The message is the describer's sentence for the error the loader kept.
    const vantorel::model::ProblemEntry* kept = nullptr;
    for (const auto& entry : map.problems)
        if (entry.problem.is<vantorel::model::problems::InvalidSchema>()) kept = &entry;
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(d->message, deririrore::canonical::describe_expectation(
                              kept->problem.get_if<vantorel::model::problems::InvalidSchema>()->error));
}

TEST(Diagnostics, InvalidSchemaNamesAPropertyWhoseNameIsDigits) {
    // "200" is a member of "properties", not item 200 of an array: the sentence names it.
    CoverageMap map = map_of(R"("/a": {"post": {"requestBody": {"content": {"application/json": {"schema":
                                   {"type": "object", "properties": {"200": 5}}}}},
                                   "responses": {"200": {"description": "ok"}}}})");
    const auto diagnostics = collect_diagnostics(map);
    ASSERT_FALSE(diagnostics.empty());
    const auto* d = diagnostics[0].get_if<dk::InvalidSchema>();
    ASSERT_NE(d, nullptr) << describe(diagnostics[0]);
    EXPECT_TRUE(d->message.starts_with("`200` ")) << d->message;
    EXPECT_TRUE(d->message.ends_with("; found 5")) << d->message;
}

TEST(Diagnostics, GroupingStaysLinearInTheNumberOfProblems) {
    std::string paths;
    constexpr int kPaths = 10000;
    for (int i = 0; i < kPaths; ++i) {
        if (i) paths += ",";
        paths += "\"/p" + std::to_string(i) + "\": {\"get\": {\"responses\": {\"20\": {\"description\": \"x\"}}}}";
    }
    CoverageMap map = map_of(paths);
    const auto diagnostics = collect_diagnostics(map);
    EXPECT_EQ(diagnostics.size(), static_cast<std::size_t>(kPaths));
    // One lookup to file each problem and one to find each template's group.
    EXPECT_LE(vantorel::reports::diagnostics_grouping_comparisons(), 2u * kPaths);

    const vantorel::reports::DiagnosticIndex index(diagnostics);
    const auto at = index.of_operation("/p9999", HttpMethod::Get);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(diagnostics[at[0]].at.path, "/p9999");
    EXPECT_TRUE(index.of_operation("/p9999", HttpMethod::Post).empty());
    EXPECT_TRUE(index.of_path_item("/p1").empty());
}

}  // namespace

namespace {

TEST(Diagnostics, UnsatisfiableKeepsHowItsCausesNest) {
    using zavova::BranchCauses;
    using zavova::CauseList;
    using zavova::DescribedCause;
    using zavova::PlainCause;
    const DescribedCause low{"/allOf/0", {{"minimum", "5"}}};
    const auto branches = [](std::size_t n) {
        BranchCauses side;
        for (std::size_t i = 0; i < n; ++i) side.causes.push_back({"/anyOf/" + std::to_string(i), {{"const", "1"}}});
        return side;
    };
    namespace dk = vantorel::reports::diagnostic_kinds;
    const struct {
        const char* name;
        zavova::UnsatisfiableCause cause;
        dk::CauseShape shape;
        std::vector<std::size_t> sides;
        std::size_t flattened;
    } cases[] = {
        {"false schema", zavova::Unexplained{{"", {}}}, dk::CauseShape::FalseSchema, {}, 1},
        {"keyword cause", zavova::SingleCause{low}, dk::CauseShape::KeywordCause, {}, 1},
        {"keyword side and five branches", CauseList{{PlainCause{low}, branches(5)}}, dk::CauseShape::Sides, {0, 5}, 6},
        {"branches first", CauseList{{branches(2), PlainCause{low}}}, dk::CauseShape::Sides, {2, 0}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(R"("/a": {"get": {"parameters": [{"name": "q", "in": "query", "schema": {"not": {}}}],
                                                   "responses": {"200": {"description": "ok"}}}})");
        for (const auto& entry : map.routes.paths) {
            for (const auto item : entry.methods) {
                for (const auto& target : item.record.parameters) target.holder.state->unsatisfiable = c.cause;
            }
        }
        const auto diagnostics = collect_diagnostics(map);
        const dk::Unsatisfiable* found = nullptr;
        for (const Diagnostic& d : diagnostics) {
            if (const auto* u = d.get_if<dk::Unsatisfiable>()) found = u;
        }
        ASSERT_NE(found, nullptr);
        ASSERT_TRUE(found->causes.has_value());
        EXPECT_EQ(found->causes->size(), c.flattened);
        EXPECT_EQ(found->shape, c.shape);
        EXPECT_EQ(found->side_branches, c.sides);
    }
}

}  // namespace
