// propertyNames: names checked as strings at the object's own location, wrapped errors, and
// the false form.
#include <gtest/gtest.h>

#include <variant>

#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;

class PropertyNamesTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(PropertyNamesTrace, EventsAndVerdict) { expect_trace(GetParam()); }

const char* kMax3 = R"({"propertyNames": {"maxLength": 3}})";

const std::vector<TraceCase> kTraceCases = {
    {"names_in_key_order_at_object_location", kMax3, Draft::Draft202012, R"({"abcd": 1, "ab": 2})", false,
     {{"", "/propertyNames/maxLength", 0}, {"", "/propertyNames/maxLength", 1}, {"", "/propertyNames", 1}}},
    {"nested_object_keeps_its_own_location", R"({"properties": {"o": {"propertyNames": {"minLength": 2}}}})",
     Draft::Draft7, R"({"o": {"ab": 1, "b": 2}})", false,
     {{"/o", "/properties/o/propertyNames/minLength", 0},
      {"/o", "/properties/o/propertyNames/minLength", 1},
      {"/o", "/properties/o/propertyNames", 1},
      {"", "/properties/o", 1},
      {"", "/properties", 1}}},
    {"empty_object_not_applicable", kMax3, Draft::Draft202012, "{}", true, {{"", "/propertyNames", 2}}},
    {"array_not_applicable", kMax3, Draft::Draft202012, "[1]", true, {{"", "/propertyNames", 2}}},
    {"false_empty_object_passes", R"({"propertyNames": false})", Draft::Draft202012, "{}", true,
     {{"", "/propertyNames", 0}}},
    {"false_with_property_fails", R"({"propertyNames": false})", Draft::Draft202012, R"({"a": 1})", false,
     {{"", "/propertyNames", 1}}},
    {"false_on_string", R"({"propertyNames": false})", Draft::Draft202012, "\"a\"", true,
     {{"", "/propertyNames", 2}}},
    {"true_builds_nothing", R"({"propertyNames": true})", Draft::Draft202012, R"({"a": 1})", true, {}},
    {"number_value_builds_nothing", R"({"propertyNames": 3})", Draft::Draft7, R"({"a": 1})", true, {}},
    {"draft4_does_not_know_it", R"({"propertyNames": false})", Draft::Draft4, R"({"a": 1})", true, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, PropertyNamesTrace, ::testing::ValuesIn(kTraceCases), CaseName());

TEST(PropertyNames, WrappedErrorKeepsTheInnerError) {
    Validator v = build(kMax3);
    const Value instance = json(R"({"abcd": 1, "ab": 2, "xyzzy": 3})");
    auto errors = v.iter_errors(instance);
    ASSERT_EQ(errors.size(), 2u);
    const ValidationError& e = errors[0];
    EXPECT_EQ(e.keyword(), "propertyNames");
    EXPECT_EQ(e.message(), "\"abcd\" is longer than 3 characters");
    EXPECT_EQ(e.schema_path().str(), "/propertyNames/maxLength");
    EXPECT_EQ(e.instance_path().str(), "");
    EXPECT_EQ(deririrore::value::to_json(e.instance()), R"({"ab":2,"abcd":1,"xyzzy":3})");
    const auto* wrapped = std::get_if<deririrore::core::kinds::PropertyNames>(&e.kind());
    ASSERT_NE(wrapped, nullptr);
    ASSERT_NE(wrapped->error, nullptr);
    EXPECT_EQ(deririrore::value::to_json(wrapped->error->instance()), "\"abcd\"");
    EXPECT_EQ(errors[1].message(), "\"xyzzy\" is longer than 3 characters");
    auto first = v.validate(instance);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->message(), "\"abcd\" is longer than 3 characters");
}

TEST(PropertyNames, FalseFormMessage) {
    Validator v = build(R"({"propertyNames": false})");
    const Value instance = json(R"({"a": 1})");
    auto e = v.validate(instance);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->message(), "False schema does not allow {\"a\":1}");
    EXPECT_EQ(e->schema_path().str(), "/propertyNames");
}

TEST(PropertyNames, EvaluationOneChildPerName) {
    Validator v = build(kMax3);
    auto e = v.evaluate(json(R"({"abcd": 1, "ab": 2})"));
    const auto* unit = keyword_unit(e, "/propertyNames");
    ASSERT_NE(unit, nullptr);
    EXPECT_FALSE(unit->valid);
    auto children = sibling_units(e, unit->first_child);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_TRUE(children[0]->valid);
    EXPECT_FALSE(children[1]->valid);
    EXPECT_EQ(children[1]->instance_location.str(), "");
    auto empty = v.evaluate(json("{}"));
    const auto* none = keyword_unit(empty, "/propertyNames");
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->valid);
    EXPECT_EQ(none->first_child, deririrore::core::kNoNode);
}

TEST(PropertyNames, SubschemaCompileErrorIsReturned) {
    ValidationError e = compile_error(R"({"propertyNames": {"maxLength": -1}})");
    EXPECT_EQ(e.schema_path().str(), "/propertyNames/maxLength");
}

}  // namespace
