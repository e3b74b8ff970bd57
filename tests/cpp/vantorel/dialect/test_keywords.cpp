// nullable, x-nullable, example, default and examples: compile errors, validity, errors and
// the events coverage counts.
#include <variant>

#include "dialect_harness.hpp"
#include "vantorel/dialect/keywords.hpp"

namespace {

using namespace dialect_test;

TEST(NullableKeyword, NonBooleanValueFailsTheBuild) {
    struct Case {
        const char* schema;
        const char* keyword;
        const char* schema_path;
    };
    const Case cases[] = {
        {R"({"nullable": "x"})", "nullable", "/nullable"},
        {R"({"properties": {"a": {"x-nullable": 1}}})", "x-nullable", "/properties/a/x-nullable"},
        {R"({"nullable": null})", "nullable", "/nullable"},
    };
    for (const auto source : {NullableSource::Parameter, NullableSource::MediaType}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.schema);
            auto built = build(c.schema, Draft::Draft202012, source);
            ASSERT_FALSE(built.has_value());
            const auto& error = built.error();
            // A build error's message ends with the keyword's schema location.
            EXPECT_EQ(error.message(), std::string("`nullable` value should be boolean (at schema location \"") +
                                           c.schema_path + "\")");
            const auto* custom = std::get_if<core::kinds::Custom>(&error.kind());
            ASSERT_NE(custom, nullptr);
            EXPECT_EQ(custom->keyword, c.keyword);
            EXPECT_EQ(error.schema_path().str(), c.schema_path);
        }
    }
}

TEST(NullableKeyword, NullDependsOnWhereTheSchemaStands) {
    DIALECT_REQUIRE_CUSTOM_KEYWORDS();
    struct Case {
        NullableSource source;
        const char* schema;
        const char* instance;
        bool valid;
    };
    using S = NullableSource;
    const Case cases[] = {
        // A parameter arrives as text: the string "null" is its null.
        {S::Parameter, R"({"nullable": false})", R"("null")", false},
        {S::Parameter, R"({"x-nullable": false})", R"("null")", false},
        {S::Parameter, R"({"nullable": false})", "null", false},
        {S::Parameter, R"({"nullable": true})", R"("null")", true},
        {S::Parameter, R"({"nullable": false})", R"("NULL")", true},
        {S::Parameter, R"({"nullable": false})", R"(" null")", true},
        // A body is JSON: only JSON null is null.
        {S::MediaType, R"({"nullable": false})", R"("null")", true},
        {S::MediaType, R"({"x-nullable": false})", R"("null")", true},
        {S::MediaType, R"({"nullable": false})", "null", false},
        {S::MediaType, R"({"nullable": true})", "null", true},
        {S::MediaType, R"({"nullable": false})", "0", true},
        {S::MediaType, R"({"nullable": false})", "{}", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source == S::Parameter ? "parameter " : "body ") + c.schema + " " + c.instance);
        auto built = build(c.schema, Draft::Draft202012, c.source);
        ASSERT_TRUE(built.has_value()) << built.error().message();
        const auto instance = json(c.instance);
        EXPECT_EQ(built->is_valid(instance), c.valid);
        const auto traced = trace(*built, instance);
        EXPECT_EQ(traced.valid, c.valid);
        ASSERT_EQ(traced.events.size(), 1u);
        EXPECT_EQ(traced.events[0].outcome, c.valid ? 0 : 1);
        const auto error = built->validate(instance);
        ASSERT_EQ(error.has_value(), !c.valid);
        if (error) {
            EXPECT_EQ(error->message(), "instance is null but nullable=false");
            EXPECT_EQ(error->schema_path().str(), traced.events[0].keyword);
        }
    }
}

TEST(NullableKeyword, ErrorsArePlacedAtTheKeywordAndInstance) {
    DIALECT_REQUIRE_CUSTOM_KEYWORDS();
    DIALECT_REQUIRE_KEYWORD(Properties);
    auto built = build(R"({"properties": {"a": {"nullable": false}}})", Draft::Draft202012);
    ASSERT_TRUE(built.has_value()) << built.error().message();
    const auto errors = built->iter_errors(json(R"({"a": null})"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].instance_path().str(), "/a");
    EXPECT_EQ(errors[0].schema_path().str(), "/properties/a/nullable");
    EXPECT_TRUE(errors[0].instance().is_null());
    const auto* custom = std::get_if<core::kinds::Custom>(&errors[0].kind());
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->keyword, "nullable");
}

// Advisory keywords: the trace counts a mismatch as failed, the instance stays valid, and no
// error is ever reported.
TEST(ExampleKeywords, MismatchIsTracedButNeverFails) {
    DIALECT_REQUIRE_CUSTOM_KEYWORDS();
    struct Case {
        const char* schema;
        std::optional<Draft> draft;
        const char* instance;
        std::vector<Event> events;
    };
    const Case cases[] = {
        {R"({"example": 2})", Draft::Draft202012, "1", {{"", "/example", 1}}},
        {R"({"example": 1})", Draft::Draft202012, "1.0", {{"", "/example", 0}}},
        {R"({"example": 1})", Draft::Draft4, "10e-1", {{"", "/example", 0}}},
        {R"({"example": {"a": 1, "b": [1, "x"]}})", Draft::Draft7, R"({"b": [1.0, "x"], "a": 1})",
         {{"", "/example", 0}}},
        {R"({"example": "1"})", Draft::Draft7, "1", {{"", "/example", 1}}},
        {R"({"default": 10})", Draft::Draft4, "3", {{"", "/default", 1}}},
        {R"({"default": 10})", Draft::Draft4, "10", {{"", "/default", 0}}},
        {R"({"examples": [1, 2]})", Draft::Draft7, "2", {{"", "/examples", 0}}},
        {R"({"examples": [1, 2]})", Draft::Draft7, "3", {{"", "/examples", 1}}},
        {R"({"examples": 5})", Draft::Draft6, "5", {{"", "/examples", 1}}},
        {R"({"examples": []})", std::nullopt, "5", {{"", "/examples", 1}}},
        // Draft 4 has no "examples": an unknown keyword, no event.
        {R"({"examples": [1]})", Draft::Draft4, "2", {}},
        {R"({"examples": [1]})", Draft::Draft4, "1", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.schema) + " " + c.instance);
        // Some values (`"examples": 5`) break the meta-schema; the trace of the keyword is what is tested here.
        auto built = core::build_validator(
            json(c.schema),
            vantorel::dialect::measured_schema_options(c.draft, NullableSource::MediaType).with_validate_schema(false));
        ASSERT_TRUE(built.has_value()) << built.error().message();
        const auto instance = json(c.instance);
        const auto traced = trace(*built, instance);
        EXPECT_TRUE(traced.valid);
        EXPECT_EQ(traced.events, c.events);
        EXPECT_TRUE(built->is_valid(instance));
        EXPECT_FALSE(built->validate(instance).has_value());
        EXPECT_TRUE(built->iter_errors(instance).empty());
    }
}

TEST(ExampleKeywords, KeywordsAnswerTheirOwnMessages) {
    const deririrore::core::LazyLocation root;
    const auto two = value::Value::number("2");
    const vantorel::dialect::ExampleKeyword example(value::Value::number("1"));
    const vantorel::dialect::ExamplesKeyword examples({});
    const vantorel::dialect::NullableKeyword nullable(false, false);
    ASSERT_TRUE(example.validate(two, root).has_value());
    EXPECT_EQ(example.validate(two, root)->message(), "Example does not match");
    EXPECT_EQ(examples.validate(two, root)->message(), "No example matches");
    EXPECT_FALSE(nullable.validate(two, root).has_value());
    EXPECT_EQ(nullable.validate(value::Value::null(), root)->message(), "instance is null but nullable=false");
    EXPECT_TRUE(example.is_advisory());
    EXPECT_TRUE(examples.is_advisory());
    EXPECT_FALSE(nullable.is_advisory());
}

// Custom keywords come after the built-in keywords of their schema object.
TEST(ExampleKeywords, EventsFollowTheBuiltInKeywords) {
    DIALECT_REQUIRE_CUSTOM_KEYWORDS();
    DIALECT_REQUIRE_KEYWORD(Type);
    auto built = build(R"({"default": 1, "type": "integer", "nullable": true, "example": 1})", Draft::Draft7);
    ASSERT_TRUE(built.has_value()) << built.error().message();
    const auto traced = trace(*built, json("null"));
    EXPECT_FALSE(traced.valid);
    EXPECT_EQ(traced.events, (std::vector<Event>{
                                 {"", "/type", 1}, {"", "/default", 1}, {"", "/example", 1}, {"", "/nullable", 0}}));
}

}  // namespace
