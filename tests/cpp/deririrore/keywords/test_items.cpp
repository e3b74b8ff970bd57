// items, prefixItems and additionalItems: verdicts, trace sequences, errors and annotations.
#include <gtest/gtest.h>

#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;

class ItemsTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(ItemsTrace, EventsAndVerdict) { expect_trace(GetParam()); }

const std::vector<TraceCase> kTraceCases = {
    {"items_true_builds_nothing", R"({"items": true})", Draft::Draft202012, "[1, 2]", true, {}},
    {"items_number_value_builds_nothing", R"({"items": 5})", Draft::Draft7, "[1, 2]", true, {}},
    {"items_false_emits_only_its_own_event", R"({"items": false})", Draft::Draft202012, "[1, 2]", false,
     {{"", "/items", 1}}},
    {"items_false_empty_array", R"({"items": false})", Draft::Draft202012, "[]", true, {{"", "/items", 0}}},
    {"items_schema_traces_every_item_then_itself", R"({"items": {"minimum": 2, "maximum": 5}})", Draft::Draft202012,
     "[1, 3]", false,
     {{"/0", "/items/minimum", 1},
      {"/0", "/items/maximum", 0},
      {"/1", "/items/minimum", 0},
      {"/1", "/items/maximum", 0},
      {"", "/items", 1}}},
    {"items_schema_on_string_is_not_applicable", R"({"items": {"minimum": 2}})", Draft::Draft202012, "\"abc\"", true,
     {{"", "/items", 2}}},
    {"prefix_items_absent_positions_leave_no_trace", R"({"prefixItems": [{"minimum": 1}, {"minimum": 2}]})",
     Draft::Draft202012, "[5]", true,
     {{"/0", "/prefixItems/0/minimum", 0}, {"", "/prefixItems/0", 0}, {"", "/prefixItems", 0}}},
    {"prefix_items_true_position_emits_only_position_event", R"({"prefixItems": [true, {"minimum": 2}]})",
     Draft::Draft202012, "[0, 1]", false,
     {{"", "/prefixItems/0", 0},
      {"/1", "/prefixItems/1/minimum", 1},
      {"", "/prefixItems/1", 1},
      {"", "/prefixItems", 1}}},
    {"prefix_items_empty_array", R"({"prefixItems": [{"minimum": 1}]})", Draft::Draft202012, "[]", true,
     {{"", "/prefixItems", 0}}},
    {"items_after_prefix_counts_true_indices", R"({"prefixItems": [{}, {}], "items": {"minimum": 10}})",
     Draft::Draft202012, "[1, 2, 3, 40]", false,
     {{"/2", "/items/minimum", 1},
      {"/3", "/items/minimum", 0},
      {"", "/items", 1},
      {"", "/prefixItems/0", 0},
      {"", "/prefixItems/1", 0},
      {"", "/prefixItems", 0}}},
    {"items_false_after_prefix_2020", R"({"prefixItems": [{}, {}], "items": false})", Draft::Draft202012, "[1, 2]",
     true, {{"", "/items", 0}, {"", "/prefixItems/0", 0}, {"", "/prefixItems/1", 0}, {"", "/prefixItems", 0}}},
    {"items_false_after_prefix_fails_on_third", R"({"prefixItems": [{}, {}], "items": false})", Draft::Draft202012,
     "[1, 2, 3]", false,
     {{"", "/items", 1}, {"", "/prefixItems/0", 0}, {"", "/prefixItems/1", 0}, {"", "/prefixItems", 0}}},
    {"draft7_items_ignores_prefix_items", R"({"prefixItems": [{}, {}], "items": false})", Draft::Draft7, "[1, 2]",
     false, {{"", "/items", 1}}},
    {"tuple_items_position_events_name_the_array", R"({"items": [{"type": "string"}, {"minimum": 3}]})",
     Draft::Draft7, "[\"a\", 1, true]", false,
     {{"/0", "/items/0/type", 0},
      {"", "/items/0", 0},
      {"/1", "/items/1/minimum", 1},
      {"", "/items/1", 1},
      {"", "/items", 1}}},
    {"additional_items_false_within_limit", R"({"items": [{}, {}, {}], "additionalItems": false})", Draft::Draft7,
     "[1, 2, 3]", true,
     {{"", "/items/0", 0}, {"", "/items/1", 0}, {"", "/items/2", 0}, {"", "/items", 0}, {"", "/additionalItems", 0}}},
    {"additional_items_false_beyond_limit", R"({"items": [{}], "additionalItems": false})", Draft::Draft7, "[1, 2]",
     false, {{"", "/items/0", 0}, {"", "/items", 0}, {"", "/additionalItems", 1}}},
    {"additional_items_schema_starts_at_tuple_length", R"({"items": [{}], "additionalItems": {"type": "string"}})",
     Draft::Draft201909, "[1, \"a\", 2]", false,
     {{"", "/items/0", 0},
      {"", "/items", 0},
      {"/1", "/additionalItems/type", 0},
      {"/2", "/additionalItems/type", 1},
      {"", "/additionalItems", 1}}},
    {"additional_items_beside_items_schema_builds_nothing", R"({"items": {"minimum": 0}, "additionalItems": false})",
     Draft::Draft7, "[1, 2]", true, {{"/0", "/items/minimum", 0}, {"/1", "/items/minimum", 0}, {"", "/items", 0}}},
    {"additional_items_true_builds_nothing", R"({"items": [{}], "additionalItems": true})", Draft::Draft7, "[1, 2]",
     true, {{"", "/items/0", 0}, {"", "/items", 0}}},
    {"string_instance_one_event_per_keyword",
     R"({"items": [{"minimum": 1}], "additionalItems": {"minimum": 1}})", Draft::Draft7, "\"x\"", true,
     {{"", "/items", 2}, {"", "/additionalItems", 2}}},
};

INSTANTIATE_TEST_SUITE_P(Table, ItemsTrace, ::testing::ValuesIn(kTraceCases), CaseName());

struct ErrorCase {
    const char* name;
    const char* schema;
    Draft draft;
    const char* instance;
    const char* message;
    const char* instance_path;
    const char* schema_path;
    std::size_t error_count;
};

class ItemsErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ItemsErrors, FirstErrorAndCount) {
    const ErrorCase& c = GetParam();
    Validator v = build(c.schema, c.draft);
    const Value instance = json(c.instance);
    auto error = v.validate(instance);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message(), c.message);
    EXPECT_EQ(error->instance_path().str(), c.instance_path);
    EXPECT_EQ(error->schema_path().str(), c.schema_path);
    EXPECT_EQ(v.iter_errors(instance).size(), c.error_count);
}

const std::vector<ErrorCase> kErrorCases = {
    {"item_error_has_item_path", R"({"items": {"minimum": 2}})", Draft::Draft202012, "[5, 1, 0]",
     "1 is less than the minimum of 2", "/1", "/items/minimum", 2},
    {"items_false_rejects_first_item", R"({"items": false})", Draft::Draft202012, "[1, 2]",
     "False schema does not allow 1", "/0", "/items", 2},
    {"one_extra_item", R"({"items": [{}, {}, {}], "additionalItems": false})", Draft::Draft7, "[1, 2, 3, 4]",
     "Additional items are not allowed (4 was unexpected)", "", "/additionalItems", 1},
    {"two_extra_items", R"({"items": [{}, {}, {}], "additionalItems": false})", Draft::Draft7, "[1, 2, 3, 4, 5]",
     "Additional items are not allowed (4, 5 were unexpected)", "", "/additionalItems", 1},
    {"tuple_position_error", R"({"items": [{}, {"type": "string"}]})", Draft::Draft7, "[1, 2]",
     "2 is not of type \"string\"", "/1", "/items/1/type", 1},
    {"prefix_position_error", R"({"prefixItems": [{"maximum": 0}]})", Draft::Draft202012, "[1, 2]",
     "1 is greater than the maximum of 0", "/0", "/prefixItems/0/maximum", 1},
    {"additional_schema_item_error", R"({"items": [{}], "additionalItems": {"type": "string"}})", Draft::Draft7,
     "[1, 2, 3]", "2 is not of type \"string\"", "/1", "/additionalItems/type", 2},
};

INSTANTIATE_TEST_SUITE_P(Table, ItemsErrors, ::testing::ValuesIn(kErrorCases), CaseName());

struct CompileCase {
    const char* name;
    const char* schema;
    Draft draft;
    const char* message;
    const char* schema_path;
};

class ItemsCompileErrors : public ::testing::TestWithParam<CompileCase> {};

TEST_P(ItemsCompileErrors, MessageAndLocation) {
    const CompileCase& c = GetParam();
    ValidationError e = compile_error(c.schema, c.draft);
    EXPECT_EQ(e.message(), kwtest::located(c.message, c.schema_path));
    EXPECT_EQ(e.schema_path().str(), c.schema_path);
    EXPECT_EQ(e.instance_path().str(), "");
}

const std::vector<CompileCase> kCompileCases = {
    {"additional_items_number", R"({"items": [{}], "additionalItems": 1})", Draft::Draft7,
     "1 is not of types \"boolean\", \"object\"", "/additionalItems"},
    {"prefix_items_not_array", R"({"prefixItems": {"type": "string"}})", Draft::Draft202012,
     "{\"type\":\"string\"} is not of type \"array\"", "/prefixItems"},
    {"tuple_entry_error_is_returned", R"({"items": [{}, {"minLength": -1}]})", Draft::Draft7,
     "-1 is less than the minimum of 0", "/items/1/minLength"},
};

INSTANTIATE_TEST_SUITE_P(Table, ItemsCompileErrors, ::testing::ValuesIn(kCompileCases), CaseName());

TEST(ItemsCompile, AdditionalItemsWithoutTupleIsIgnoredWhateverItsValue) {
    Validator v = build(R"({"additionalItems": 1})", Draft::Draft7);
    EXPECT_TRUE(trace(v, json("[1, 2]")).events.empty());
}

struct AnnotationCase {
    const char* name;
    const char* schema;
    const char* instance;
    const char* keyword;
    const char* annotation;
    std::size_t children;
};

class ItemsAnnotations : public ::testing::TestWithParam<AnnotationCase> {};

TEST_P(ItemsAnnotations, UnitOfTheKeyword) {
    const AnnotationCase& c = GetParam();
    Validator v = build(c.schema, Draft::Draft202012);
    auto e = v.evaluate(json(c.instance));
    const auto* unit = keyword_unit(e, c.keyword);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(annotation_json(unit->valid ? unit->annotations : unit->dropped_annotations), c.annotation);
    EXPECT_EQ(sibling_units(e, unit->first_child).size(), c.children);
}

const std::vector<AnnotationCase> kAnnotationCases = {
    {"prefix_shorter_than_array", R"({"prefixItems": [{}, {}]})", "[1, 2, 3]", "/prefixItems", "1", 2},
    {"prefix_covers_array", R"({"prefixItems": [{}, {}, {}]})", "[1, 2, 3]", "/prefixItems", "true", 3},
    {"prefix_empty_array", R"({"prefixItems": [{}]})", "[]", "/prefixItems", "<none>", 0},
    {"items_non_empty", R"({"items": {"minimum": 0}})", "[1, 2]", "/items", "true", 2},
    {"items_empty", R"({"items": {"minimum": 0}})", "[]", "/items", "false", 0},
    {"items_after_prefix_longer", R"({"prefixItems": [{}], "items": {}})", "[1, 2, 3]", "/items", "true", 2},
    {"items_after_prefix_not_longer", R"({"prefixItems": [{}], "items": {}})", "[1]", "/items", "false", 0},
    {"items_failing_item_keeps_annotation", R"({"items": {"minimum": 2}})", "[3, 1]", "/items", "true", 2},
};

INSTANTIATE_TEST_SUITE_P(Table, ItemsAnnotations, ::testing::ValuesIn(kAnnotationCases), CaseName());

TEST(ItemsEvaluation, AdditionalItemsSchemaReportsDescriptionsWithoutChildren) {
    Validator v = build(R"({"items": [{}], "additionalItems": {"type": "string"}})", Draft::Draft7);
    auto e = v.evaluate(json("[1, 2, 3]"));
    const auto* unit = keyword_unit(e, "/additionalItems");
    ASSERT_NE(unit, nullptr);
    EXPECT_FALSE(unit->valid);
    EXPECT_EQ(unit->first_child, deririrore::core::kNoNode);
    ASSERT_EQ(unit->errors.size(), 2u);
    EXPECT_EQ(unit->errors[0].keyword, "type");
    EXPECT_EQ(unit->errors[1].message, "3 is not of type \"string\"");
}

TEST(ItemsEvaluation, ItemUnitsCarryItemLocations) {
    Validator v = build(R"({"items": {"minimum": 2}})", Draft::Draft202012);
    auto e = v.evaluate(json("[3, 1]"));
    const auto* unit = keyword_unit(e, "/items");
    ASSERT_NE(unit, nullptr);
    auto items = sibling_units(e, unit->first_child);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->instance_location.str(), "/0");
    EXPECT_TRUE(items[0]->valid);
    EXPECT_EQ(items[1]->instance_location.str(), "/1");
    EXPECT_FALSE(items[1]->valid);
    EXPECT_EQ(items[1]->evaluation_path.str(), "/items");
}

}  // namespace
