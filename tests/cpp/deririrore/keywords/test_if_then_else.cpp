// if / then / else: the condition chooses the branch, errors come from the branch, and the trace
// reports the condition at `if` and the branch taken at its own Location.
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

class ConditionalTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(ConditionalTrace, EventsAndVerdict) {
    const TraceCase& c = GetParam();
    expect_trace(c.schema, Draft::Draft7, c.instance, c.valid, c.events);
}

const char* kIfThen = R"({"if": {"minimum": 0}, "then": {"multipleOf": 2}})";
const char* kIfThenElse = R"({"if": {"minimum": 0}, "then": {"multipleOf": 2}, "else": {"multipleOf": 3}})";

const std::vector<TraceCase> kTraceCases = {
    {"condition_holds_then_fails", kIfThen, "3", false,
     {{"", "/if/minimum", 0}, {"", "/if", 0}, {"", "/then/multipleOf", 1}, {"", "/then", 1}}},
    {"condition_holds_then_passes", kIfThen, "4", true,
     {{"", "/if/minimum", 0}, {"", "/if", 0}, {"", "/then/multipleOf", 0}, {"", "/then", 0}}},
    {"condition_fails_without_else", kIfThen, "-3", true, {{"", "/if/minimum", 1}, {"", "/if", 1}}},
    {"condition_fails_else_passes", kIfThenElse, "-3", true,
     {{"", "/if/minimum", 1}, {"", "/if", 1}, {"", "/else/multipleOf", 0}, {"", "/else", 0}}},
    {"condition_fails_else_fails", kIfThenElse, "-4", false,
     {{"", "/if/minimum", 1}, {"", "/if", 1}, {"", "/else/multipleOf", 1}, {"", "/else", 1}}},
    {"if_false_then_false", R"({"if": false, "then": false})", "1", true, {{"", "/if", 1}}},
    {"if_true_else_false", R"({"if": true, "else": false})", "1", true, {{"", "/if", 0}}},
    {"if_true_then_false_reports_branch", R"({"if": true, "then": false})", "1", false,
     {{"", "/if", 0}, {"", "/then", 1}}},
    {"lone_if_builds_nothing", R"({"if": {"minimum": 0}})", "-1", true, {}},
    {"branches_without_if_build_nothing", R"({"then": false, "else": false})", "1", true, {}},
    {"condition_on_string_instance", kIfThen, "\"a\"", true,
     {{"", "/if/minimum", 2}, {"", "/if", 0}, {"", "/then/multipleOf", 2}, {"", "/then", 0}}},
};

INSTANTIATE_TEST_SUITE_P(Table, ConditionalTrace, ::testing::ValuesIn(kTraceCases), CaseName());

TEST(Conditional, ErrorsComeFromTheBranchOnly) {
    Validator v = build(kIfThenElse, Draft::Draft7);
    const Value instance = json("3");
    auto e = v.validate(instance);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->message(), "3 is not a multiple of 2");
    EXPECT_EQ(e->schema_path().str(), "/then/multipleOf");
    const Value negative = json("-4");
    auto errors = v.iter_errors(negative);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].schema_path().str(), "/else/multipleOf");
}

TEST(Conditional, DraftsWithoutIfIgnoreIt) {
    Validator v = build(R"({"if": true, "then": false})", Draft::Draft6);
    EXPECT_TRUE(v.is_valid(json("1")));
    EXPECT_TRUE(trace(v, json("1")).events.empty());
}

TEST(Conditional, CompileErrorsInOrderIfThenElse) {
    ValidationError e = compile_error(R"({"if": {"minLength": -1}, "then": {"maxLength": -2}})", Draft::Draft7);
    EXPECT_EQ(e.schema_path().str(), "/if/minLength");
    ValidationError t = compile_error(R"({"if": {}, "then": {"maxLength": -2}, "else": {"minLength": -1}})",
                                      Draft::Draft7);
    EXPECT_EQ(t.schema_path().str(), "/then/maxLength");
}

struct EvaluationCase {
    const char* name;
    const char* schema;
    const char* instance;
    bool valid;
    std::vector<std::string> children;  // evaluation paths of the child units
};

class ConditionalEvaluation : public ::testing::TestWithParam<EvaluationCase> {};

TEST_P(ConditionalEvaluation, ChildUnits) {
    const EvaluationCase& c = GetParam();
    Validator v = build(c.schema, Draft::Draft7);
    auto e = v.evaluate(json(c.instance));
    const auto* unit = keyword_unit(e, "/if");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->valid, c.valid);
    EXPECT_TRUE(unit->errors.empty());
    std::vector<std::string> paths;
    for (const auto* child : sibling_units(e, unit->first_child)) paths.push_back(child->evaluation_path.str());
    EXPECT_EQ(paths, c.children);
}

const std::vector<EvaluationCase> kEvaluationCases = {
    {"if_then_holds", kIfThen, "3", false, {"/if", "/then"}},
    {"if_then_condition_fails_is_empty", kIfThen, "-3", true, {}},
    {"if_else_holds_keeps_if_unit", R"({"if": true, "else": false})", "1", true, {"/if"}},
    {"if_else_fails_keeps_else_unit", R"({"if": false, "else": {"minimum": 5}})", "1", false, {"/else"}},
    {"if_then_else_fails_condition", kIfThenElse, "-3", true, {"/else"}},
};

INSTANTIATE_TEST_SUITE_P(Table, ConditionalEvaluation, ::testing::ValuesIn(kEvaluationCases), CaseName());

}  // namespace
