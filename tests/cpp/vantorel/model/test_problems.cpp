// Problems in API documents: the kind text of every form, the texts they carry, and ownership.
#include <gtest/gtest.h>

#include <memory>

#include "deririrore/core/location.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/model/problems.hpp"

namespace {

using namespace vantorel::model;
using deririrore::value::parse_json;

Value json(std::string_view text) { return *parse_json(text); }

constexpr std::string_view kStyles[] = {"simple", "label", "matrix"};

TEST(SpecProblem, EveryFormHasItsDiagnosticKind) {
    namespace rf = reference_failures;
    const struct {
        SpecProblem problem;
        std::string_view kind;
    } cases[] = {
        {SpecProblem::reference(rf::PercentEncoding{"%FF", {0, 1}}), "invalid_percent_encoding"},
        {SpecProblem::reference(rf::Unresolvable{"#/components/schemas/Missing"}), "unresolvable_pointer"},
        {SpecProblem::reference(rf::Unresolvable{"other.yaml#"}), "unresolvable_pointer"},
        {SpecProblem::reference(rf::Unresolvable{"other.yaml#/a"}), "unresolvable_pointer"},
        {SpecProblem::reference(rf::Unresolvable{"other.yaml#pet"}), "unresolvable_anchor"},
        {SpecProblem::reference(rf::Unsupported{"https://x/y.json"}), "unsupported_reference"},
        {SpecProblem::retrieval("a.yaml#/x", "/d/a.yaml", "No such file or directory", kCantOpenFile),
         "unreadable_reference"},
        {SpecProblem::missing_field("schema"), "missing_field"},
        {SpecProblem::unexpected_type("parameters", JsonType::Array), "unexpected_type"},
        {SpecProblem::unexpected_value(json("\"form\""), "style", kStyles), "unexpected_value"},
        {SpecProblem{problems::QuerystringConflict{ParameterLocation::Query}}, "querystring_conflict"},
        {SpecProblem{problems::ReferenceLoop{"#/a"}}, "reference_loop"},
        {SpecProblem{problems::UnresolvableReference{"#/b"}}, "unresolvable_reference"},
        {SpecProblem::reference_not_text(json("12")), "unexpected_type"},
        {SpecProblem{problems::ReferenceNotFollowed{"urn:x"}}, "unsupported_reference"},
        {SpecProblem{problems::InvalidStatusCode{"20"}}, "invalid_status_code"},
        {SpecProblem{problems::InvalidStatusCodeCharacter{"2x0", U'x'}}, "invalid_status_code_character"},
        {SpecProblem{problems::StatusCodeOutOfRange{"600"}}, "status_code_out_of_range"},
    };
    for (const auto& c : cases) EXPECT_EQ(spec_problem_kind(c.problem), c.kind) << c.kind;
}

TEST(SpecProblem, ValuesAreShownAsStringsOrCompactJson) {
    const auto from_string = SpecProblem::unexpected_value(json("\"spaced out\""), "style", kStyles);
    const auto* s = from_string.get_if<problems::UnexpectedValue>();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->value, "spaced out");
    EXPECT_EQ(s->field, "style");
    ASSERT_EQ(s->allowed.size(), 3u);
    EXPECT_EQ(s->allowed[2], "matrix");

    const auto from_object = SpecProblem::unexpected_value(json(R"({"b": [1, 2.50], "a": null})"), "content");
    EXPECT_EQ(from_object.get_if<problems::UnexpectedValue>()->value, R"({"a":null,"b":[1,2.50]})");
    EXPECT_TRUE(from_object.get_if<problems::UnexpectedValue>()->allowed.empty());

    // A `$ref` that is a number keeps the number's own text.
    const auto not_text = SpecProblem::reference_not_text(json("1.0e3"));
    EXPECT_EQ(not_text.get_if<problems::ReferenceNotText>()->value, "1.0e3");
}

TEST(SpecProblem, InvalidSchemaOutlivesTheSchemaItCameFrom) {
    std::optional<SpecProblem> problem;
    {
        auto schema = std::make_unique<Value>(json(R"({"pattern": "("})"));
        auto error = deririrore::core::ValidationError::compile_error(
            deririrore::core::kinds::Pattern{"("}, *schema->find("pattern"), deririrore::core::Location("/pattern"));
        problem = SpecProblem::invalid_schema(std::move(error));
    }
    const auto* invalid = problem->get_if<problems::InvalidSchema>();
    ASSERT_NE(invalid, nullptr);
    EXPECT_EQ(spec_problem_kind(*problem), "invalid_schema");
    EXPECT_EQ(invalid->error.schema_path().view(), "/pattern");
    EXPECT_EQ(deririrore::value::to_json(invalid->error.instance()), "\"(\"");
}

TEST(ProblemEntry, KeepsEveryEntryAndItsPlace) {
    std::vector<ProblemEntry> entries;
    entries.push_back({"/pets", ParameterPosition{"limit", ParameterLocation::Query},
                       SpecProblem::missing_field("schema"), 1});
    entries.push_back({"/pets", ParameterPosition{"limit", ParameterLocation::Query},
                       SpecProblem::missing_field("schema"), 1});
    entries.push_back({"/pets", std::nullopt, SpecProblem::unexpected_value_text("FETCH", "additionalOperations"), 0});
    entries.push_back({"/pets", positions::ResponseBody{"2XX", "application/json"},
                       SpecProblem{problems::InvalidStatusCode{"2XXX"}}, 4});
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].position, entries[1].position);
    EXPECT_EQ(entries[2].method, 0);
    EXPECT_FALSE(entries[2].position.has_value());
    EXPECT_EQ(std::get<positions::ResponseBody>(*entries[3].position).media_type, "application/json");
    EXPECT_EQ(parameter_location_name(ParameterLocation::FormData), "formData");
    EXPECT_EQ(parameter_location_name(ParameterLocation::Querystring), "querystring");
}

}  // namespace
