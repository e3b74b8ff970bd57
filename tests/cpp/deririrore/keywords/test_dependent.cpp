// dependentRequired and dependentSchemas: entries apply only when their property is present,
// traces follow the key order of the keyword value, and malformed entries fail compilation.
#include <gtest/gtest.h>

#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;

struct TraceCase {
    const char* name;
    const char* schema;
    const char* instance;
    bool valid;
    std::vector<Event> events;
};

class DependentTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(DependentTrace, EventsAndVerdict) {
    const TraceCase& c = GetParam();
    expect_trace(c.schema, Draft::Draft202012, c.instance, c.valid, c.events);
}

const char* kRequiredB = R"({"dependentRequired": {"a": ["b"]}})";

const std::vector<TraceCase> kTraceCases = {
    {"required_missing", kRequiredB, R"({"a": 1})", false,
     {{"", "/dependentRequired/a/0", 1}, {"", "/dependentRequired/a", 1}, {"", "/dependentRequired", 1}}},
    {"required_present", kRequiredB, R"({"a": 1, "b": 2})", true,
     {{"", "/dependentRequired/a/0", 0}, {"", "/dependentRequired/a", 0}, {"", "/dependentRequired", 0}}},
    {"required_not_applying", kRequiredB, R"({"c": 1})", true, {{"", "/dependentRequired", 2}}},
    {"required_non_object", kRequiredB, "[1]", true, {{"", "/dependentRequired", 2}}},
    {"required_empty_list", R"({"dependentRequired": {"a": []}})", R"({"a": 1})", true,
     {{"", "/dependentRequired/a", 0}, {"", "/dependentRequired", 0}}},
    {"required_name_with_slash", R"({"dependentRequired": {"a/b": ["c"]}})", R"({"a/b": 1, "c": 1})", true,
     {{"", "/dependentRequired/a~1b/0", 0}, {"", "/dependentRequired/a~1b", 0}, {"", "/dependentRequired", 0}}},
    {"schemas_false", R"({"dependentSchemas": {"a": false}})", R"({"a": 1})", false,
     {{"", "/dependentSchemas/a", 1}, {"", "/dependentSchemas", 1}}},
    {"schemas_true", R"({"dependentSchemas": {"a": true}})", R"({"a": 1})", true,
     {{"", "/dependentSchemas/a", 0}, {"", "/dependentSchemas", 0}}},
    {"schemas_subschema_events_first", R"({"dependentSchemas": {"a": {"required": ["b"]}}})", R"({"a": 1})", false,
     {{"", "/dependentSchemas/a/required/0", 1},
      {"", "/dependentSchemas/a/required", 1},
      {"", "/dependentSchemas/a", 1},
      {"", "/dependentSchemas", 1}}},
    {"schemas_key_order_of_keyword", R"({"dependentSchemas": {"z": {"minProperties": 1}, "b": {"maxProperties": 9}}})",
     R"({"z": 1, "b": 2})", true,
     {{"", "/dependentSchemas/b/maxProperties", 0},
      {"", "/dependentSchemas/b", 0},
      {"", "/dependentSchemas/z/minProperties", 0},
      {"", "/dependentSchemas/z", 0},
      {"", "/dependentSchemas", 0}}},
    {"schemas_not_applying", R"({"dependentSchemas": {"a": false}})", R"({"b": 1})", true,
     {{"", "/dependentSchemas", 2}}},
};

INSTANTIATE_TEST_SUITE_P(Table, DependentTrace, ::testing::ValuesIn(kTraceCases), CaseName());

TEST(DependentRequired, ErrorNamesTheEntry) {
    Validator v = build(R"({"dependentRequired": {"a": ["b", "c"], "x": ["y"]}})", Draft::Draft201909);
    const Value instance = json(R"({"a": 1, "x": 2})");
    auto errors = v.iter_errors(instance);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].message(), "\"b\" is a required property");
    EXPECT_EQ(errors[0].schema_path().str(), "/dependentRequired/a");
    EXPECT_EQ(errors[0].instance_path().str(), "");
    EXPECT_EQ(errors[1].message(), "\"c\" is a required property");
    EXPECT_EQ(errors[2].message(), "\"y\" is a required property");
    EXPECT_EQ(errors[2].schema_path().str(), "/dependentRequired/x");
    auto first = v.validate(instance);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->message(), "\"b\" is a required property");
}

TEST(DependentSchemas, FalseSubschemaError) {
    Validator v = build(R"({"dependentSchemas": {"a": false}})");
    const Value instance = json(R"({"a": 1})");
    auto e = v.validate(instance);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->message(), "False schema does not allow {\"a\":1}");
    EXPECT_EQ(e->schema_path().str(), "/dependentSchemas/a");
}

struct CompileCase {
    const char* name;
    const char* schema;
    const char* message;
    const char* schema_path;
};

class DependentCompile : public ::testing::TestWithParam<CompileCase> {};

TEST_P(DependentCompile, ErrorMessageAndLocation) {
    const CompileCase& c = GetParam();
    ValidationError e = compile_error(c.schema);
    EXPECT_EQ(e.message(), kwtest::located(c.message, c.schema_path));
    EXPECT_EQ(e.schema_path().str(), c.schema_path);
}

const std::vector<CompileCase> kCompileCases = {
    {"repeated_names", R"({"dependentRequired": {"a": ["b", "b"]}})", "[\"b\",\"b\"] has non-unique elements",
     "/dependentRequired/a"},
    {"entry_not_array", R"({"dependentRequired": {"a": "b"}})", "\"b\" is not of type \"array\"",
     "/dependentRequired/a"},
    {"item_not_string", R"({"dependentRequired": {"a": [1]}})", "1 is not of type \"string\"",
     "/dependentRequired/a"},
    {"required_value_not_object", R"({"dependentRequired": ["a"]})", "[\"a\"] is not of type \"object\"",
     "/dependentRequired"},
    {"schemas_value_not_object", R"({"dependentSchemas": 3})", "3 is not of type \"object\"", "/dependentSchemas"},
    {"first_bad_entry_in_key_order", R"({"dependentRequired": {"b": [1], "a": "x"}})",
     "\"x\" is not of type \"array\"", "/dependentRequired/a"},
    {"subschema_error", R"({"dependentSchemas": {"a": {"minItems": "x"}}})", "\"x\" is not of type \"integer\"",
     "/dependentSchemas/a/minItems"},
};

INSTANTIATE_TEST_SUITE_P(Table, DependentCompile, ::testing::ValuesIn(kCompileCases), CaseName());

TEST(Dependent, OlderDraftsDoNotKnowTheKeywords) {
    Validator v = build(R"({"dependentRequired": {"a": ["b"]}, "dependentSchemas": {"a": false}})", Draft::Draft7);
    EXPECT_TRUE(v.is_valid(json(R"({"a": 1})")));
    EXPECT_TRUE(trace(v, json(R"({"a": 1})")).events.empty());
}

TEST(Dependent, EvaluationHasOneChildPerApplyingEntry) {
    Validator v = build(R"({"dependentSchemas": {"a": {"minProperties": 3}, "b": true, "c": false}})");
    auto e = v.evaluate(json(R"({"a": 1, "b": 2})"));
    const auto* unit = keyword_unit(e, "/dependentSchemas");
    ASSERT_NE(unit, nullptr);
    EXPECT_FALSE(unit->valid);
    auto children = sibling_units(e, unit->first_child);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->evaluation_path.str(), "/dependentSchemas/a");
    EXPECT_EQ(children[0]->instance_location.str(), "");
    EXPECT_FALSE(children[0]->valid);
    EXPECT_TRUE(children[1]->valid);
    auto none = v.evaluate(json(R"({"z": 1})"));
    const auto* empty = keyword_unit(none, "/dependentSchemas");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->first_child, deririrore::core::kNoNode);
}

}  // namespace
