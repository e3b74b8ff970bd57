// Size limits: characters, items and properties; the fused minLength/maxLength validator with
// its two events and its evaluation output; the reading of limits and its compile errors.
#include <gtest/gtest.h>

#include <string>

#include "keyword_test_support.hpp"

namespace {

using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;

struct LimitCase {
    const char* schema;
    const char* instance;
    const char* message;  // empty when valid
};

class SizeLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(SizeLimits, DecideAndReport) {
    const LimitCase& c = GetParam();
    Compiled compiled(c.schema, Draft::Draft7);
    ASSERT_TRUE(compiled.ok());
    SCOPED_TRACE(c.schema);
    const bool valid = std::string_view(c.message).empty();
    if (valid) {
        EXPECT_TRUE(compiled.messages(c.instance).empty());
    } else {
        EXPECT_EQ(compiled.messages(c.instance), std::vector<std::string>{c.message});
    }
    expect_one_event_verdict(compiled, c.instance, valid);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, SizeLimits,
    ::testing::Values(
        // characters are scalar values: e-acute and the euro sign are two characters in five bytes
        LimitCase{R"({"maxLength": 2})", "\"\u00e9\u20ac\"", ""},
        LimitCase{R"({"maxLength": 2})", R"("abc")", R"("abc" is longer than 2 characters)"},
        LimitCase{R"({"minLength": 1})", R"("")", R"("" is shorter than 1 character)"},
        LimitCase{R"({"minLength": 2})", "\"\U0001F600\"", "\"\U0001F600\" is shorter than 2 characters"},
        LimitCase{R"({"maxLength": 0})", R"("a")", R"("a" is longer than 0 characters)"},
        LimitCase{R"({"maxLength": 99999999999999999999})", R"("any string at all")", ""},
        LimitCase{R"({"maxItems": 1})", "[1, 2]", "[1,2] has more than 1 item"},
        LimitCase{R"({"minItems": 3})", "[]", "[] has less than 3 items"},
        LimitCase{R"({"minItems": 2.0})", "[1, 2]", ""},
        LimitCase{R"({"maxItems": 1e400})", "[1, 2]", ""},
        LimitCase{R"({"minProperties": 0})", "{}", ""},
        LimitCase{R"({"minProperties": 1})", "{}", "{} has less than 1 property"},
        LimitCase{R"({"maxProperties": 1e1})", R"({"a": 1})", ""},
        LimitCase{R"({"maxProperties": 1})", R"({"a": 1, "b": 2})", R"({"a":1,"b":2} has more than 1 property)"},
        LimitCase{R"({"maxProperties": 0})", R"({"a": 1})", R"({"a":1} has more than 0 properties)"}));

TEST(SizeLimits, OtherTypesAreNotApplicable) {
    Compiled compiled(R"({"minItems": 1, "maxProperties": 0, "maxLength": 0})", Draft::Draft7);
    EXPECT_TRUE(compiled.is_valid("5"));
    auto [events, valid] = compiled.trace("5");
    EXPECT_TRUE(valid);
    ASSERT_EQ(events.size(), 3u);
    for (const Event& e : events) EXPECT_EQ(e.outcome, 2) << e;
}

TEST(LengthRange, ReportsBothKeywordsSeparately) {
    Compiled compiled(R"({"minLength": 2, "maxLength": 4})", Draft::Draft202012);
    EXPECT_EQ(compiled.messages(R"("a")"), std::vector<std::string>{R"("a" is shorter than 2 characters)"});
    EXPECT_EQ(compiled.messages(R"("abcde")"), std::vector<std::string>{R"("abcde" is longer than 4 characters)"});
    EXPECT_EQ(compiled.trace(R"("a")"),
              (std::pair{std::vector<Event>{{"", "/minLength", 1}, {"", "/maxLength", 0}}, false}));
    EXPECT_EQ(compiled.trace(R"("abc")"),
              (std::pair{std::vector<Event>{{"", "/minLength", 0}, {"", "/maxLength", 0}}, true}));
    EXPECT_EQ(compiled.trace(R"("abcde")"),
              (std::pair{std::vector<Event>{{"", "/minLength", 0}, {"", "/maxLength", 1}}, false}));
    EXPECT_EQ(compiled.trace("7"), (std::pair{std::vector<Event>{{"", "/minLength", 2}, {"", "/maxLength", 2}}, true}));

    auto error = compiled.first_error(kwtest::json(R"("abcde")"));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->schema_path().str(), "/maxLength");
}

TEST(LengthRange, CrossedLimitsGiveBothErrorsMinimumFirst) {
    Compiled compiled(R"({"minLength": 5, "maxLength": 2})", Draft::Draft7);
    EXPECT_EQ(compiled.messages(R"("abc")"), (std::vector<std::string>{R"("abc" is shorter than 5 characters)",
                                                                       R"("abc" is longer than 2 characters)"}));
    auto first = compiled.first_error(kwtest::json(R"("abc")"));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->schema_path().str(), "/minLength");
}

TEST(LengthRange, MaxLengthFailureIsAChildUnit) {
    Compiled compiled(R"({"minLength": 5, "maxLength": 2})", Draft::Draft7);
    auto evaluation = compiled.evaluate(kwtest::json(R"("abc")"));
    auto entries = evaluation->entries();
    ASSERT_EQ(entries.size(), 1u);  // one validator, recorded under minLength
    const auto* unit = entries[0];
    EXPECT_FALSE(unit->valid);
    EXPECT_EQ(unit->evaluation_path.str(), "/minLength");
    ASSERT_EQ(unit->errors.size(), 1u);
    EXPECT_EQ(unit->errors[0], (deririrore::core::ErrorDescription{"minLength", R"("abc" is shorter than 5 characters)"}));
    ASSERT_NE(unit->first_child, deririrore::core::kNoNode);
    const auto& child = evaluation->node(unit->first_child);
    EXPECT_FALSE(child.valid);
    EXPECT_EQ(child.evaluation_path.str(), "/maxLength");
    EXPECT_EQ(child.errors,
              (std::vector<deririrore::core::ErrorDescription>{{"maxLength", R"("abc" is longer than 2 characters)"}}));
    EXPECT_EQ(child.next_sibling, deririrore::core::kNoNode);
}

TEST(LengthRange, OnlyAReadablePartnerFuses) {
    // maxLength alone: its own validator and its own event only
    Compiled alone(R"({"maxLength": 2})", Draft::Draft7);
    EXPECT_EQ(alone.trace(R"("abc")").first, (std::vector<Event>{{"", "/maxLength", 1}}));
    // a refused partner leaves the other keyword to compile on its own and reports the error
    EXPECT_EQ(kwtest::compile_message(R"({"minLength": 1, "maxLength": -3})", Draft::Draft7),
              "-3 is less than the minimum of 0");
    EXPECT_EQ(kwtest::compile_error_path(R"({"minLength": 1, "maxLength": -3})", Draft::Draft7), "/maxLength");
}

TEST(LimitReading, CompileErrors) {
    struct Case {
        Draft draft;
        const char* schema;
        const char* message;  // null when it compiles
    };
    const Case cases[] = {
        {Draft::Draft7, R"({"maxItems": -1})", "-1 is less than the minimum of 0"},
        {Draft::Draft7, R"({"maxItems": -1.0})", R"(-1.0 is not of type "integer")"},
        {Draft::Draft7, R"({"maxItems": 1.5})", R"(1.5 is not of type "integer")"},
        {Draft::Draft7, R"({"maxItems": "3"})", R"("3" is not of type "integer")"},
        {Draft::Draft7, R"({"minLength": -0})", nullptr},
        {Draft::Draft4, R"({"minLength": -0})", "-0 is less than the minimum of 0"},
        {Draft::Draft6, R"({"minItems": 2.0})", nullptr},
        {Draft::Draft4, R"({"minItems": 2.0})", R"(2.0 is not of type "integer")"},
        {Draft::Draft4, R"({"maxProperties": 1e1})", R"(1e1 is not of type "integer")"},
        {Draft::Draft4, R"({"maxLength": 18446744073709551616})", nullptr},
        // whole numbers are judged on their digits, not on their doubles
        {Draft::Draft7, R"({"minItems": 2.0000000000000000001})", R"(2.0000000000000000001 is not of type "integer")"},
        {Draft::Draft7, R"({"minItems": 1e-2000000})", R"(1e-2000000 is not of type "integer")"},
        {Draft::Draft7, R"({"maxItems": 1e400})", nullptr},
        {Draft::Draft7, R"({"minProperties": -1e400})", R"(-1e400 is not of type "integer")"},
    };
    for (const Case& c : cases) {
        auto error = kwtest::compile_message(c.schema, c.draft);
        if (c.message == nullptr) {
            EXPECT_FALSE(error.has_value()) << c.schema << ": " << error.value_or("");
        } else {
            EXPECT_EQ(error, c.message) << c.schema;
        }
    }
}

TEST(LimitReading, SaturatedLimitsAcceptEverySize) {
    Compiled compiled(R"({"maxLength": 18446744073709551616, "maxItems": 1e30})", Draft::Draft7);
    EXPECT_TRUE(compiled.is_valid(std::string("\"") + std::string(1000, 'x') + "\""));
    EXPECT_TRUE(compiled.is_valid("[1, 2, 3]"));
}

}  // namespace
