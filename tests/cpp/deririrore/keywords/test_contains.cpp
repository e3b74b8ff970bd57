// contains with minContains and maxContains: counts, events per keyword, error locations,
// compile errors of the bounds, and the drafts that know the bounds.
#include <gtest/gtest.h>

#include "keyword_test_support.hpp"
#include "deririrore/referencing/registry.hpp"

namespace {

using namespace kwtest;

class ContainsTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(ContainsTrace, EventsAndVerdict) { expect_trace(GetParam()); }

const std::vector<TraceCase> kTraceCases = {
    {"plain_empty_array_fails", R"({"contains": {"minimum": 5}})", Draft::Draft202012, "[]", false,
     {{"", "/contains", 1}}},
    {"plain_traces_every_item", R"({"contains": {"minimum": 5}})", Draft::Draft202012, "[7, 1, 9]", true,
     {{"/0", "/contains/minimum", 0},
      {"/1", "/contains/minimum", 1},
      {"/2", "/contains/minimum", 0},
      {"", "/contains", 0}}},
    {"true_subschema_emits_only_keyword_event", R"({"contains": true})", Draft::Draft7, "[1]", true,
     {{"", "/contains", 0}}},
    {"false_subschema_never_matches", R"({"contains": false})", Draft::Draft7, "[1, 2]", false,
     {{"", "/contains", 1}}},
    {"min_zero_without_match_is_valid", R"({"contains": {"minimum": 5}, "minContains": 0})", Draft::Draft202012,
     "[1]", true, {{"/0", "/contains/minimum", 1}, {"", "/contains", 1}, {"", "/minContains", 0}}},
    {"min_zero_empty_array", R"({"contains": {"minimum": 5}, "minContains": 0})", Draft::Draft201909, "[]", true,
     {{"", "/contains", 1}, {"", "/minContains", 0}}},
    {"min_two_with_one_match", R"({"contains": {"const": 1}, "minContains": 2})", Draft::Draft202012, "[1, 2]",
     false,
     {{"/0", "/contains/const", 0}, {"/1", "/contains/const", 1}, {"", "/contains", 0}, {"", "/minContains", 1}}},
    {"max_two_with_three_matches", R"({"contains": {"const": 1}, "maxContains": 2})", Draft::Draft202012,
     "[1, 1, 1]", false,
     {{"/0", "/contains/const", 0},
      {"/1", "/contains/const", 0},
      {"/2", "/contains/const", 0},
      {"", "/contains", 0},
      {"", "/maxContains", 1}}},
    {"max_zero_rejects_empty_array", R"({"contains": true, "maxContains": 0})", Draft::Draft202012, "[]", false,
     {{"", "/contains", 1}, {"", "/maxContains", 0}}},
    {"max_zero_rejects_any_match", R"({"contains": true, "maxContains": 0})", Draft::Draft202012, "[1]", false,
     {{"", "/contains", 0}, {"", "/maxContains", 1}}},
    {"min_above_max_no_array_is_valid", R"({"contains": true, "minContains": 2, "maxContains": 1})",
     Draft::Draft202012, "[1, 2]", false, {{"", "/contains", 0}, {"", "/minContains", 0}, {"", "/maxContains", 1}}},
    {"both_bounds_hold", R"({"contains": true, "minContains": 1, "maxContains": 3})", Draft::Draft202012,
     "[1, 2]", true, {{"", "/contains", 0}, {"", "/minContains", 0}, {"", "/maxContains", 0}}},
    {"string_instance_all_events_not_applicable",
     R"({"contains": {"minimum": 1}, "minContains": 1, "maxContains": 2})", Draft::Draft202012, "\"abc\"", true,
     {{"", "/contains", 2}, {"", "/minContains", 2}, {"", "/maxContains", 2}}},
    {"min_above_max_string_is_valid", R"({"contains": true, "minContains": 2, "maxContains": 1})",
     Draft::Draft202012, "5", true, {{"", "/contains", 2}, {"", "/minContains", 2}, {"", "/maxContains", 2}}},
    {"draft7_ignores_bounds", R"({"contains": {"const": 1}, "minContains": 5, "maxContains": 0})", Draft::Draft7,
     "[1]", true, {{"/0", "/contains/const", 0}, {"", "/contains", 0}}},
    {"draft4_has_no_contains", R"({"contains": {"const": 1}})", Draft::Draft4, "[2]", true, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, ContainsTrace, ::testing::ValuesIn(kTraceCases), CaseName());

struct ErrorCase {
    const char* name;
    const char* schema;
    const char* instance;
    const char* schema_path;
};

class ContainsErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ContainsErrors, SchemaPathNamesTheFailingBound) {
    const ErrorCase& c = GetParam();
    Validator v = build(c.schema, Draft::Draft202012);
    const Value instance = json(c.instance);
    auto e = v.validate(instance);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->schema_path().str(), c.schema_path);
    EXPECT_EQ(e->instance_path().str(), "");
    EXPECT_EQ(e->message(), "None of " + deririrore::value::to_json(instance) + " are valid under the given schema");
    EXPECT_EQ(v.iter_errors(instance).size(), 1u);
}

const std::vector<ErrorCase> kErrorCases = {
    {"plain_no_match", R"({"contains": {"const": 1}})", "[2, 3]", "/contains"},
    {"min_too_few", R"({"contains": {"const": 1}, "minContains": 2})", "[1, 2]", "/minContains"},
    {"max_too_many", R"({"contains": {"const": 1}, "maxContains": 2})", "[1, 1, 1]", "/maxContains"},
    {"max_alone_no_match", R"({"contains": {"const": 1}, "maxContains": 2})", "[2]", "/maxContains"},
    {"both_too_many", R"({"contains": {"const": 1}, "minContains": 1, "maxContains": 1})", "[1, 1]", "/maxContains"},
    {"both_too_few", R"({"contains": {"const": 1}, "minContains": 2, "maxContains": 3})", "[1]", "/minContains"},
};

INSTANTIATE_TEST_SUITE_P(Table, ContainsErrors, ::testing::ValuesIn(kErrorCases), CaseName());

struct CompileCase {
    const char* name;
    const char* schema;
    Draft draft;
    const char* message;  // null: the schema compiles
    const char* schema_path;
};

class ContainsCompile : public ::testing::TestWithParam<CompileCase> {};

TEST_P(ContainsCompile, BoundValues) {
    const CompileCase& c = GetParam();
    auto built = deririrore::core::build_validator(json(c.schema), options_for(c.draft));
    if (c.message == nullptr) {
        EXPECT_TRUE(built.has_value()) << built.error().message();
        return;
    }
    ASSERT_FALSE(built.has_value());
    EXPECT_EQ(built.error().message(), kwtest::located(c.message, c.schema_path));
    EXPECT_EQ(built.error().schema_path().str(), c.schema_path);
}

const std::vector<CompileCase> kCompileCases = {
    {"min_two_point_zero", R"({"contains": true, "minContains": 2.0})", Draft::Draft201909, nullptr, ""},
    {"huge_min_saturates", R"({"contains": true, "minContains": 99999999999999999999})", Draft::Draft202012,
     nullptr, ""},
    {"negative_min", R"({"contains": true, "minContains": -1})", Draft::Draft201909,
     "-1 is less than the minimum of 0", "/minContains"},
    {"fractional_min", R"({"contains": true, "minContains": 1.5})", Draft::Draft202012,
     "1.5 is not of type \"integer\"", "/minContains"},
    {"string_max", R"({"contains": true, "maxContains": "2"})", Draft::Draft202012,
     "\"2\" is not of type \"integer\"", "/maxContains"},
    {"min_reported_before_max", R"({"contains": true, "maxContains": -1, "minContains": "x"})", Draft::Draft202012,
     "\"x\" is not of type \"integer\"", "/minContains"},
    {"draft7_ignores_bad_bounds", R"({"contains": true, "minContains": -1})", Draft::Draft7, nullptr, ""},
    {"subschema_error", R"({"contains": {"minItems": -2}, "minContains": 1})", Draft::Draft202012,
     "-2 is less than the minimum of 0", "/contains/minItems"},
};

INSTANTIATE_TEST_SUITE_P(Table, ContainsCompile, ::testing::ValuesIn(kCompileCases), CaseName());

TEST(ContainsCounts, HugeMinimumAdmitsNoRealArray) {
    Validator v = build(R"({"contains": true, "minContains": 99999999999999999999})", Draft::Draft202012);
    EXPECT_FALSE(v.is_valid(json("[1, 2, 3]")));
    Validator two = build(R"({"contains": {"const": 1}, "minContains": 2.0})", Draft::Draft201909);
    EXPECT_TRUE(two.is_valid(json("[1, 0, 1]")));
    EXPECT_FALSE(two.is_valid(json("[1, 0]")));
}

TEST(ContainsEvaluation, PlainKeepsMatchingItemsOnly) {
    Validator v = build(R"({"contains": {"type": "number"}})", Draft::Draft202012);
    auto e = v.evaluate(json("[1, \"a\", 2]"));
    const auto* unit = keyword_unit(e, "/contains");
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(unit->valid);
    EXPECT_EQ(annotation_json(unit->annotations), "[0,2]");
    auto children = sibling_units(e, unit->first_child);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->instance_location.str(), "/0");
    EXPECT_EQ(children[1]->instance_location.str(), "/2");
}

TEST(ContainsEvaluation, PlainWithoutMatchIsInvalidWithItsDescription) {
    Validator v = build(R"({"contains": {"type": "number"}})", Draft::Draft202012);
    auto e = v.evaluate(json("[\"a\"]"));
    const auto* unit = keyword_unit(e, "/contains");
    ASSERT_NE(unit, nullptr);
    EXPECT_FALSE(unit->valid);
    EXPECT_EQ(unit->first_child, deririrore::core::kNoNode);
    ASSERT_EQ(unit->errors.size(), 1u);
    EXPECT_EQ(unit->errors[0].keyword, "contains");
    EXPECT_EQ(unit->errors[0].message, "None of [\"a\"] are valid under the given schema");
}

TEST(ContainsEvaluation, BoundedFormReportsTheBoundError) {
    Validator v = build(R"({"contains": {"const": 1}, "maxContains": 1})", Draft::Draft202012);
    auto e = v.evaluate(json("[1, 1]"));
    const auto* unit = keyword_unit(e, "/contains");
    ASSERT_NE(unit, nullptr);
    ASSERT_EQ(unit->errors.size(), 1u);
    EXPECT_EQ(unit->errors[0].message, "None of [1,1] are valid under the given schema");
}

// A subschema whose "$schema" names a custom meta-schema is compiled under the internal unknown
// draft; `contains` is a keyword there and must be checked, with its bounds, as under 2020-12.
TEST(ContainsDrafts, UnknownDraftChecksContainsAndBounds) {
    namespace ref = deririrore::referencing;
    auto options = ref::registry_options_default();
    options.insert_resource(*ref::parse_uri("https://example.com/custom-meta"),
                            ref::RegistryInput::owned(json(R"({"$id": "https://example.com/custom-meta",
                                "$schema": "https://json-schema.org/draft/2020-12/schema"})")));
    auto registry = ref::build_registry(std::move(options));
    ASSERT_TRUE(registry.has_value());
    Validator v = build(R"({"items": {"$schema": "https://example.com/custom-meta",
                                      "contains": {"const": 1}, "maxContains": 1}})",
                        options_for(Draft::Draft202012).with_registry(*registry));
    EXPECT_FALSE(v.is_valid(json("[[2]]")));
    EXPECT_TRUE(v.is_valid(json("[[1, 2]]")));
    EXPECT_FALSE(v.is_valid(json("[[1, 1]]")));
    EXPECT_EQ(trace(v, json("[[2]]")).events,
              (std::vector<Event>{{"/0/0", "/items/contains/const", 1},
                                  {"/0", "/items/contains", 1},
                                  {"/0", "/items/maxContains", 0},
                                  {"", "/items", 1}}));
}

}  // namespace
