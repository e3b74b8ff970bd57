// allOf, anyOf, oneOf and not: verdicts, trace events (the one-branch forms report differently from
// the lists), error texts and contexts, and evaluation children.
#include <gtest/gtest.h>

#include "deririrore/keywords/applicators.hpp"
#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;
namespace kw = deririrore::keywords;
using deririrore::value::Value;

struct TraceCase {
    const char* name;
    const char* schema;
    const char* instance;
    bool valid;
    std::vector<Event> events;
};

void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }

class ApplicatorTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(ApplicatorTrace, EventsAndVerdict) {
    const TraceCase& c = GetParam();
    Compiled v(c.schema, Draft::Draft202012);
    ASSERT_TRUE(v.ok());
    auto [events, valid] = v.trace(c.instance);
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(valid, c.valid);
    EXPECT_EQ(v.is_valid(c.instance), c.valid);
    EXPECT_EQ(v.messages(c.instance).empty(), c.valid);
}

const std::vector<TraceCase> kTraceCases = {
    {"all_of_single_reports_only_its_branch", R"({"allOf": [{"minimum": 2}]})", "1", false,
     {{"", "/allOf/0/minimum", 1}, {"", "/allOf/0", 1}}},
    {"all_of_list_reports_branches_then_keyword", R"({"allOf": [{"minimum": 2}, {"maximum": 5}]})", "1", false,
     {{"", "/allOf/0/minimum", 1}, {"", "/allOf/0", 1}, {"", "/allOf/1/maximum", 0}, {"", "/allOf/1", 0},
      {"", "/allOf", 1}}},
    {"all_of_empty_passes", R"({"allOf": []})", "1", true, {{"", "/allOf", 0}}},
    {"any_of_single_reports_only_the_keyword", R"({"anyOf": [{"minimum": 2}]})", "3", true,
     {{"", "/anyOf/0/minimum", 0}, {"", "/anyOf", 0}}},
    {"any_of_traces_every_branch_after_a_valid_one", R"({"anyOf": [{"minimum": 0}, {"maximum": 0}, true]})", "3",
     true,
     {{"", "/anyOf/0/minimum", 0}, {"", "/anyOf/0", 0}, {"", "/anyOf/1/maximum", 1}, {"", "/anyOf/1", 1},
      {"", "/anyOf/2", 0}, {"", "/anyOf", 0}}},
    {"any_of_empty_fails", R"({"anyOf": []})", "1", false, {{"", "/anyOf", 1}}},
    {"one_of_single_reports_branch_then_keyword", R"({"oneOf": [{"minimum": 2}]})", "1", false,
     {{"", "/oneOf/0/minimum", 1}, {"", "/oneOf/0", 1}, {"", "/oneOf", 1}}},
    {"one_of_two_true_branches_fails", R"({"oneOf": [true, true]})", "1", false,
     {{"", "/oneOf/0", 0}, {"", "/oneOf/1", 0}, {"", "/oneOf", 1}}},
    {"one_of_exactly_one", R"({"oneOf": [{"minimum": 2}, {"maximum": 0}]})", "3", true,
     {{"", "/oneOf/0/minimum", 0}, {"", "/oneOf/0", 0}, {"", "/oneOf/1/maximum", 1}, {"", "/oneOf/1", 1},
      {"", "/oneOf", 0}}},
    {"one_of_empty_fails", R"({"oneOf": []})", "1", false, {{"", "/oneOf", 1}}},
    {"not_of_true_schema_fails", R"({"not": {}})", "1", false, {{"", "/not", 1}}},
    {"not_of_failing_subschema_passes", R"({"not": {"type": "string"}})", "1", true,
     {{"", "/not/type", 1}, {"", "/not", 0}}},
    {"nested_branch_locations", R"({"properties": {"a": {"anyOf": [false, {"type": "integer"}]}}})", R"({"a": 2})",
     true,
     {{"/a", "/properties/a/anyOf/0", 1}, {"/a", "/properties/a/anyOf/1/type", 0}, {"/a", "/properties/a/anyOf/1", 0},
      {"/a", "/properties/a/anyOf", 0}, {"", "/properties/a", 0}, {"", "/properties", 0}}},
};

INSTANTIATE_TEST_SUITE_P(Table, ApplicatorTrace, ::testing::ValuesIn(kTraceCases), CaseName());

std::size_t context_lists(const core::ValidationError& error) {
    return std::visit(
        [](const auto& kind) -> std::size_t {
            using K = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<K, core::kinds::AnyOf> || std::is_same_v<K, core::kinds::OneOfNotValid> ||
                          std::is_same_v<K, core::kinds::OneOfMultipleValid>) {
                return kind.context.size();
            } else {
                return static_cast<std::size_t>(-1);
            }
        },
        error.kind());
}

TEST(Applicators, ErrorTextsAndContexts) {
    struct Case {
        const char* schema;
        const char* instance;
        const char* message;
        const char* keyword;
        std::size_t context;
    };
    const std::vector<Case> cases = {
        {R"({"oneOf": [true, true]})", "1",
         "1 is valid under more than one of the schemas listed in the 'oneOf' keyword", "oneOf", 2},
        {R"({"oneOf": [false, {"type": "string"}]})", "1",
         "1 is not valid under any of the schemas listed in the 'oneOf' keyword", "oneOf", 2},
        {R"({"oneOf": [false]})", "1", "1 is not valid under any of the schemas listed in the 'oneOf' keyword",
         "oneOf", 1},
        {R"({"anyOf": []})", "\"x\"", "\"x\" is not valid under any of the schemas listed in the 'anyOf' keyword",
         "anyOf", 0},
        {R"({"anyOf": [{"type": "string"}]})", "[1]",
         "[1] is not valid under any of the schemas listed in the 'anyOf' keyword", "anyOf", 1},
        {R"({"not": {}})", "1", "{} is not allowed for 1", "not", static_cast<std::size_t>(-1)},
        {R"({"not": {"type": "integer"}})", "1", "{\"type\":\"integer\"} is not allowed for 1", "not",
         static_cast<std::size_t>(-1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.schema);
        Compiled v(c.schema, Draft::Draft202012);
        auto errors = v.errors(json(c.instance));
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].message(), c.message);
        EXPECT_EQ(errors[0].keyword(), c.keyword);
        EXPECT_EQ(context_lists(errors[0]), c.context);
    }
}

TEST(Applicators, ContextHoldsEveryBranchsErrorsIndependentOfTheInstance) {
    Compiled v(R"({"anyOf": [{"type": "string"}, {"minimum": 5, "multipleOf": 2}]})", Draft::Draft202012);
    std::optional<core::ValidationError> error;
    {
        const Value instance = json("3");
        error = v.first_error(instance);
    }
    ASSERT_TRUE(error.has_value());
    const auto& context = std::get<core::kinds::AnyOf>(error->kind()).context;
    ASSERT_EQ(context.size(), 2u);
    ASSERT_EQ(context[0].size(), 1u);
    ASSERT_EQ(context[1].size(), 2u);
    EXPECT_EQ(context[0][0].schema_path().str(), "/anyOf/0/type");
    EXPECT_EQ(context[1][1].message(), "3 is not a multiple of 2");
    EXPECT_TRUE(context[1][1].owns_instance());
    EXPECT_EQ(error->schema_path().str(), "/anyOf");
}

TEST(Applicators, AllOfPassesBranchErrorsThroughUnchanged) {
    Compiled v(R"({"allOf": [{"minimum": 5}, {"multipleOf": 2}, {"maximum": 0}]})", Draft::Draft202012);
    const Value instance = json("3");
    auto messages = v.messages(instance);
    EXPECT_EQ(messages, (std::vector<std::string>{"3 is less than the minimum of 5", "3 is not a multiple of 2",
                                                  "3 is greater than the maximum of 0"}));
    auto first = v.first_error(instance);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->schema_path().str(), "/allOf/0/minimum");
}

TEST(Applicators, EvaluationChildren) {
    struct Case {
        const char* schema;
        const char* instance;
        bool valid;
        std::vector<std::string> child_paths;
        std::vector<core::ErrorDescription> errors;
    };
    const std::vector<Case> cases = {
        {R"({"oneOf": [true, true]})", "1", false, {"/oneOf/0", "/oneOf/1"},
         {{"oneOf", "more than one subschema succeeded"}}},
        {R"({"oneOf": [{"minimum": 5}, true, {"maximum": 0}]})", "1", true, {"/oneOf/1"}, {}},
        {R"({"oneOf": [false, false]})", "1", false, {"/oneOf/0", "/oneOf/1"}, {}},
        {R"({"anyOf": [false, true, {"minimum": 5}, true]})", "1", true, {"/anyOf/1", "/anyOf/3"}, {}},
        {R"({"anyOf": [false, {"minimum": 5}]})", "1", false, {"/anyOf/0", "/anyOf/1"}, {}},
        {R"({"anyOf": []})", "1", false, {}, {}},
        {R"({"allOf": [{"minimum": 0}]})", "1", true, {"/allOf/0"}, {}},
        {R"({"allOf": [true, {"minimum": 5}]})", "1", false, {"/allOf/0", "/allOf/1"}, {}},
        {R"({"not": {}})", "1", false, {}, {{"not", "{} is not allowed for 1"}}},
        {R"({"not": false})", "1", true, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.schema);
        Compiled v(c.schema, Draft::Draft202012);
        auto e = v.evaluate(json(c.instance));
        auto entries = e->entries();
        ASSERT_EQ(entries.size(), 1u);
        const core::EvaluationNode& unit = *entries[0];
        EXPECT_EQ(unit.valid, c.valid);
        EXPECT_EQ(unit.errors, c.errors);
        std::vector<std::string> paths;
        for (const auto* child : children_of(e->evaluation, unit)) paths.push_back(child->evaluation_path.str());
        EXPECT_EQ(paths, c.child_paths);
    }
}

TEST(Applicators, OneBranchFormsAndTheirLocations) {
    const Value schema = json(R"({"allOf": [{"minimum": 1}]})");
    auto built = core::build_validator(schema, options_for(Draft::Draft202012));
    ASSERT_TRUE(built);
    const auto& entries = built->root().entries();
    ASSERT_EQ(entries.size(), 1u);
    const auto* single = dynamic_cast<const kw::AllOfSingleValidator*>(entries[0].validator.get());
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->location().str(), "/allOf/0");
}

TEST(Applicators, NonArrayValuesFailCompilationWithATypeError) {
    for (const char* keyword : {"allOf", "anyOf", "oneOf"}) {
        SCOPED_TRACE(keyword);
        const std::string schema = std::string(R"({")") + keyword + R"(": "x"})";
        EXPECT_EQ(compile_message(schema, Draft::Draft202012), "\"x\" is not of type \"array\"");
        EXPECT_EQ(compile_error_path(schema, Draft::Draft202012), std::string("/") + keyword);
    }
    EXPECT_EQ(compile_error_path(R"({"oneOf": {}})", Draft::Draft7), "/oneOf");
    EXPECT_EQ(compile_error_path(R"({"anyOf": [{}, {"minLength": -1}]})", Draft::Draft7), "/anyOf/1/minLength");
}

TEST(Applicators, BranchWithItsOwnSchemaUsesThatDraft) {
    // Draft 4 has no `const`: a branch that declares draft 4 does not check it.
    Compiled v(R"({"allOf": [{"$schema": "http://json-schema.org/draft-04/schema#", "const": 5}]})",
               Draft::Draft202012);
    EXPECT_TRUE(v.is_valid("1"));
    Compiled modern(R"({"allOf": [{"const": 5}]})", Draft::Draft202012);
    EXPECT_FALSE(modern.is_valid("1"));
}

}  // namespace
