// The options record: what it registers per draft, the retriever, the pattern limits.
#include <memory>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/regex/engine.hpp"
#include "dialect_harness.hpp"
#include "vantorel/dialect/formats.hpp"

namespace {

using namespace dialect_test;
using vantorel::dialect::DisabledRetriever;
using vantorel::dialect::measured_schema_options;
using vantorel::dialect::openapi_validation_options;
using vantorel::dialect::register_nullable_keyword;

constexpr std::string_view kFormatNames[] = {
    "binary",  "byte",     "password",     "uuid", "uuid4",         "int64",        "int32",
    "double",  "float",    "duration",     "idn-hostname",          "iri",          "iri-reference",
    "json-pointer", "relative-json-pointer", "uri-reference", "uri-template"};

TEST(OpenApiOptions, RegisterTheSameSetUnderEveryDraft) {
    const std::optional<Draft> drafts[] = {Draft::Draft4,       Draft::Draft6,       Draft::Draft7,
                                           Draft::Draft201909, Draft::Draft202012, std::nullopt};
    for (const auto& draft : drafts) {
        SCOPED_TRACE(draft ? static_cast<int>(*draft) : -1);
        const auto options = openapi_validation_options(draft);
        EXPECT_EQ(options.draft(), draft);
        EXPECT_EQ(options.validate_formats(), std::optional<bool>(true));
        EXPECT_TRUE(options.ignore_unknown_formats());
        for (auto name : kFormatNames) EXPECT_NE(options.registered_format(name), nullptr) << name;
        // The engine's own formats stay the engine's.
        EXPECT_EQ(options.registered_format("date"), nullptr);
        EXPECT_EQ(options.registered_format("email"), nullptr);
        EXPECT_NE(options.keyword_factory("example"), nullptr);
        EXPECT_NE(options.keyword_factory("default"), nullptr);
        EXPECT_EQ(options.keyword_factory("examples") != nullptr, draft != Draft::Draft4);
        // Nullable is registered by the caller, who knows where the schema stands.
        EXPECT_EQ(options.keyword_factory("nullable"), nullptr);
        EXPECT_EQ(options.keyword_factory("x-nullable"), nullptr);
        EXPECT_FALSE(options.supports_vocabulary("https://example.com/vocab/custom"));
        EXPECT_NE(dynamic_cast<const DisabledRetriever*>(options.retriever().get()), nullptr);
    }
    EXPECT_EQ(vantorel::dialect::openapi_formats().size(), std::size(kFormatNames));
}

TEST(OpenApiOptions, RefuseTheInternalUnknownDraft) {
    try {
        (void)openapi_validation_options(Draft::Unknown);
        FAIL() << "the unknown draft was accepted";
    } catch (const deririrore::InternalError& e) {
        EXPECT_STREQ(e.what(),
                     "Draft::Unknown is internal-only and cannot be explicitly set. Custom meta-schemas are resolved "
                     "automatically when registered in the Registry.");
    }
}

TEST(OpenApiOptions, PatternsUseTheBacktrackingEngineWithFiniteLimits) {
    const auto patterns = openapi_validation_options(Draft::Draft202012).pattern_options();
    EXPECT_EQ(patterns.engine, core::PatternOptions::Engine::Backtracking);
    ASSERT_TRUE(patterns.backtrack_limit.has_value());
    EXPECT_EQ(*patterns.backtrack_limit, vantorel::dialect::kBacktrackLimit);
    EXPECT_LT(*patterns.backtrack_limit, std::uint64_t{1} << 32);
    EXPECT_EQ(patterns.size_limit, std::optional<std::uint64_t>(134217728));
    EXPECT_EQ(patterns.dfa_size_limit, std::optional<std::uint64_t>(134217728));
}

// What the limits mean for the engine: a pattern that needs the backtracking machine stops with
// an engine error instead of running for hours; one without look-around runs in linear time.
TEST(OpenApiOptions, PatternLimitsEndHostileMatchesWithAnEngineError) {
    const auto patterns = openapi_validation_options(Draft::Draft202012).pattern_options();
    const deririrore::regex::BacktrackingLimits limits{patterns.backtrack_limit, patterns.size_limit,
                                                       patterns.dfa_size_limit};

    auto hostile = deririrore::regex::build_backtracking_regex("^(a|aa)+(?=b)c", limits);
    ASSERT_TRUE(hostile.has_value()) << hostile.error().message();
    ASSERT_TRUE((*hostile)->backtracks());
    const auto stuck = (*hostile)->match(std::string(40, 'a') + "c");
    EXPECT_EQ(stuck.outcome, deririrore::regex::MatchOutcome::EngineError);

    auto linear = deririrore::regex::build_backtracking_regex("(a|aa)*c", limits);
    ASSERT_TRUE(linear.has_value()) << linear.error().message();
    EXPECT_FALSE((*linear)->backtracks());
    EXPECT_EQ((*linear)->match(std::string(40, 'a')).outcome, deririrore::regex::MatchOutcome::NotMatched);
    EXPECT_EQ((*linear)->match(std::string(40, 'a') + "c").outcome, deririrore::regex::MatchOutcome::Matched);
}

// Whether an engine failure fails the member or counts as no match is the engine's choice; what
// the limits guarantee is that validation answers, the same way on every path.
TEST(OpenApiOptions, HostilePatternPropertyAnswers) {
    auto built = build(R"({"patternProperties": {"^(a|aa)+(?=b)c": false}})", Draft::Draft202012);
    ASSERT_TRUE(built.has_value()) << built.error().message();
    const auto instance = json("{\"" + std::string(40, 'a') + "c\": 1}");
    const bool valid = built->is_valid(instance);
    EXPECT_EQ(trace(*built, instance).valid, valid);
    EXPECT_EQ(built->validate(instance).has_value(), !valid);
}

TEST(OpenApiOptions, HostilePatternKeywordGivesAnErrorNotAHang) {
    DIALECT_REQUIRE_KEYWORD(Pattern);
    auto built = build(R"({"pattern": "^(a|aa)+(?=b)c"})", Draft::Draft202012);
    ASSERT_TRUE(built.has_value()) << built.error().message();
    const auto instance = value::Value::string(std::string(40, 'a') + "c");
    EXPECT_FALSE(built->is_valid(instance));
    EXPECT_TRUE(built->validate(instance).has_value());
    // `(a|aa)*c` has no look-around: it runs on the automaton and answers.
    auto linear = build(R"({"pattern": "(a|aa)*c"})", Draft::Draft202012);
    ASSERT_TRUE(linear.has_value()) << linear.error().message();
    EXPECT_FALSE(linear->is_valid(value::Value::string(std::string(40, 'a'))));
    EXPECT_TRUE(linear->is_valid(value::Value::string(std::string(40, 'a') + "c")));
}

TEST(DisabledRetriever, RefusesEveryFetchNamingTheUri) {
    auto uri = deririrore::referencing::parse_uri("http://x.test/a.json");
    ASSERT_TRUE(uri.has_value());
    const auto fetched = DisabledRetriever().retrieve(*uri);
    ASSERT_FALSE(fetched.has_value());
    EXPECT_EQ(fetched.error().message, "Retrieval is disabled, cannot fetch http://x.test/a.json");
}

TEST(DisabledRetriever, ExternalReferenceFailsTheBuild) {
    struct Case {
        const char* schema;
        std::optional<Draft> draft;
    };
    const Case cases[] = {
        {R"({"$ref": "http://x.test/a.json"})", Draft::Draft202012},
        {R"({"$ref": "http://x.test/a.json"})", Draft::Draft4},
        {R"({"properties": {"a": {"$ref": "http://x.test/a.json#/definitions/b"}}})", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema);
        auto built = build(c.schema, c.draft);
        ASSERT_FALSE(built.has_value());
        const std::string message = built.error().message();
        constexpr std::string_view tail = "Retrieval is disabled, cannot fetch http://x.test/a.json";
        ASSERT_GE(message.size(), tail.size()) << message;
        EXPECT_EQ(message.substr(message.size() - tail.size()), tail) << message;
    }
}

TEST(NullableRegistration, ParameterAndMediaTypeFactoriesDifferOnlyInTheStringNull) {
    const auto parameter = measured_schema_options(Draft::Draft7, NullableSource::Parameter);
    const auto body = measured_schema_options(Draft::Draft7, NullableSource::MediaType);
    for (const char* name : {"nullable", "x-nullable"}) {
        ASSERT_NE(parameter.keyword_factory(name), nullptr) << name;
        ASSERT_NE(body.keyword_factory(name), nullptr) << name;
        EXPECT_NE(parameter.keyword_factory(name), body.keyword_factory(name)) << name;
    }
    // register_nullable_keyword replaces whatever was there with the parameter factory.
    const auto replaced = register_nullable_keyword(body, "nullable");
    EXPECT_EQ(replaced.keyword_factory("nullable"), parameter.keyword_factory("nullable"));
    EXPECT_EQ(replaced.keyword_factory("x-nullable"), body.keyword_factory("x-nullable"));
}

TEST(OpenApiOptions, ValidatorOutlivesItsOptions) {
    DIALECT_REQUIRE_CUSTOM_KEYWORDS();
    std::optional<core::Validator> validator;
    {
        auto options = measured_schema_options(Draft::Draft202012, NullableSource::MediaType);
        auto built = core::build_validator(json(R"({"nullable": false, "example": 3})"), options);
        ASSERT_TRUE(built.has_value()) << built.error().message();
        validator.emplace(std::move(built).value());
    }
    EXPECT_FALSE(validator->is_valid(json("null")));
    const auto traced = trace(*validator, json("3"));
    EXPECT_TRUE(traced.valid);
    EXPECT_EQ(traced.events, (std::vector<Event>{{"", "/example", 0}, {"", "/nullable", 0}}));
}

}  // namespace
