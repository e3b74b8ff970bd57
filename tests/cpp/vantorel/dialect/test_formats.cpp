// The registered formats: each checker on its own, then through `format` under every draft.
#include "dialect_harness.hpp"
#include "vantorel/dialect/formats.hpp"

namespace {

using namespace dialect_test;

struct CheckerCase {
    const char* format;
    const char* instance;
    bool valid;
    bool applies;
};

const CheckerCase kCheckerCases[] = {
    {"binary", R"("\u0000any")", true, true},
    {"byte", R"("")", true, true},
    {"password", "{}", true, false},
    {"uuid", R"("2eb8aa08-aa98-11ea-b4aa-73b441d1638b")", true, true},
    {"uuid", R"("2EB8AA08-AA98-11EA-B4AA-73B441D1638B")", true, true},
    {"uuid", R"("2eb8aa08-AA98-11ea-b4aa-73b441d1638B")", true, true},
    {"uuid", R"("2eb8aa08-aa98-11ea-b4aa-73b441d1638")", false, true},
    {"uuid", R"("2eb8aa08-aa98-11ea-b4aa-73b441d1638bb")", false, true},
    {"uuid", R"("2eb8aa0-8aa98-11ea-b4aa-73b441d1638b")", false, true},
    {"uuid", R"("2eb8aa08-aa98-11ea-b4aa-73b441d1638g")", false, true},
    {"uuid", "5", true, false},
    {"uuid4", R"("2eb8aa08-aa98-41ea-b4aa-73b441d1638b")", true, true},
    {"uuid4", R"("2eb8aa08-aa98-41ea-B4aa-73b441d1638b")", true, true},
    {"uuid4", R"("2eb8aa08-aa98-11ea-b4aa-73b441d1638b")", false, true},
    {"uuid4", R"("2eb8aa08-aa98-41ea-c4aa-73b441d1638b")", false, true},
    {"uuid4", "null", true, false},
    {"int32", "2147483647", true, true},
    {"int32", "-2147483648", true, true},
    {"int32", "2147483648", false, true},
    {"int32", "-2147483649", false, true},
    {"int32", "1.0", true, true},
    {"int32", "1e2", true, true},
    {"int32", "1e3", true, true},
    {"int32", "1.5", false, true},
    {"int32", "1e10", false, true},
    // Decided on the exact value: the nearest double of this text is an int32, the number is not.
    {"int32", "2147483647.0000000001", false, true},
    {"int32", "21474836.47e2", true, true},
    {"int32", "-0", true, true},
    // Number formats do not concern other types: a string field with format int64 and a null
    // under a nullable number are not failed checks.
    {"int32", R"("5")", true, false},
    {"int32", "null", true, false},
    {"int64", "true", true, false},
    {"int64", "9223372036854775807", true, true},
    {"int64", "-9223372036854775808", true, true},
    {"int64", "9223372036854775808", false, true},
    {"int64", "9007199254740992.0", true, true},
    // 10^18 is within the int64 range whatever its written form.
    {"int64", "1e18", true, true},
    {"int64", "1e300", false, true},
    {"int64", "123456789012345678901234567890123456789012", false, true},
    {"int64", "0.5e1", true, true},
    {"double", "1e308", true, true},
    {"double", "1e400", false, true},
    {"double", "-1e400", false, true},
    {"double", "1e-400", true, true},
    {"double", "3.25", true, true},
    {"double", R"("1.5")", true, false},
    {"float", "1e300", true, true},
    {"float", "1e309", false, true},
    {"float", "[]", true, false},
    {"duration", R"("P1D")", true, true},
    {"duration", R"("PT1D")", false, true},
    {"duration", "1", true, false},
    {"idn-hostname", R"("example.com")", true, true},
    {"idn-hostname", R"("-bad-.com")", false, true},
    {"iri", R"("http://ƒøø.ßår/?∂éœ=πîx#πîüx")", true, true},
    {"iri", R"("/relative")", false, true},
    {"iri-reference", R"("/relative")", true, true},
    {"iri-reference", R"("\\\\WINDOWS\\filëßåré")", false, true},
    {"json-pointer", R"("/foo/0")", true, true},
    {"json-pointer", R"("/foo/bar~")", false, true},
    {"relative-json-pointer", R"("1/foo")", true, true},
    {"relative-json-pointer", R"("/foo/bar")", false, true},
    {"uri-reference", R"("../a?b#c")", true, true},
    {"uri-reference", R"("\\\\WINDOWS\\fileshare")", false, true},
    {"uri-template", R"("http://example.com/{term:1}/{term}")", true, true},
    {"uri-template", R"("http://example.com/{term:1}/{term")", false, true},
    {"uri-template", "false", true, false},
};

TEST(OpenApiFormats, CheckersDecideAndSayWhatTheyApplyTo) {
    for (const auto& c : kCheckerCases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.instance);
        const auto checker = vantorel::dialect::openapi_format(c.format);
        ASSERT_NE(checker, nullptr);
        const auto instance = json(c.instance);
        EXPECT_EQ(checker->check(instance), c.valid);
        EXPECT_EQ(checker->applies_to(instance), c.applies);
    }
    EXPECT_EQ(vantorel::dialect::openapi_format("date"), nullptr);
}

// Through the `format` keyword: the registered checkers assert under every draft, including
// drafts in which the engine does not know the name.
TEST(OpenApiFormats, AssertedUnderEveryDraft) {
    DIALECT_REQUIRE_KEYWORD(Format);
    struct Case {
        const char* format;
        Draft draft;
        const char* instance;
        bool valid;
        int outcome;
    };
    const Case cases[] = {
        {"uuid", Draft::Draft201909, "5", true, 2},
        {"uuid", Draft::Draft7, R"("not-a-uuid")", false, 1},
        {"uuid", Draft::Draft4, R"("2eb8aa08-aa98-11ea-b4aa-73b441d1638b")", true, 0},
        {"int32", Draft::Draft202012, "2147483648", false, 1},
        {"int32", Draft::Draft4, "2147483647", true, 0},
        {"int32", Draft::Draft7, R"("5")", true, 2},
        {"int64", Draft::Draft6, "9223372036854775807", true, 0},
        {"int64", Draft::Draft201909, "null", true, 2},
        {"double", Draft::Draft202012, "1e308", true, 0},
        {"double", Draft::Draft4, "1e400", false, 1},
        {"iri", Draft::Draft4, R"("/relative")", false, 1},
        {"iri", Draft::Draft4, R"("http://example.com/")", true, 0},
        {"duration", Draft::Draft7, R"("PT1D")", false, 1},
        {"duration", Draft::Draft7, R"("P1D")", true, 0},
        {"json-pointer", Draft::Draft4, R"("/foo/bar~")", false, 1},
        {"uri-template", Draft::Draft4, R"("{a")", false, 1},
        {"binary", Draft::Draft4, "5", true, 2},
        {"binary", Draft::Draft4, R"("x")", true, 0},
        // The engine's own formats are asserted too, by the engine's checkers.
        {"date", Draft::Draft4, R"("06/19/1963")", false, 1},
        {"date", Draft::Draft202012, R"("1963-06-19")", true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.instance + " draft " + std::to_string(static_cast<int>(c.draft)));
        auto built = build(std::string(R"({"format": ")") + c.format + "\"}", c.draft);
        ASSERT_TRUE(built.has_value()) << built.error().message();
        const auto instance = json(c.instance);
        EXPECT_EQ(built->is_valid(instance), c.valid);
        const auto traced = trace(*built, instance);
        EXPECT_EQ(traced.valid, c.valid);
        EXPECT_EQ(traced.events, (std::vector<Event>{{"", "/format", c.outcome}}));
        const auto error = built->validate(instance);
        EXPECT_EQ(error.has_value(), !c.valid);
        if (error) {
            EXPECT_NE(std::get_if<core::kinds::Format>(&error->kind()), nullptr);
        }
    }
}

TEST(OpenApiFormats, UnknownNamesCompileToNothing) {
    DIALECT_REQUIRE_KEYWORD(Format);
    auto built = build(R"({"format": "no-such-format"})", Draft::Draft7);
    ASSERT_TRUE(built.has_value()) << built.error().message();
    const auto traced = trace(*built, json(R"("x")"));
    EXPECT_TRUE(traced.valid);
    EXPECT_TRUE(traced.events.empty());
}

// The common OpenAPI shapes: a string-typed field with a number format, and a nullable number.
TEST(OpenApiFormats, NumberFormatsPassOverOtherTypes) {
    DIALECT_REQUIRE_KEYWORD(Format);
    DIALECT_REQUIRE_KEYWORD(Type);
    DIALECT_REQUIRE_CUSTOM_KEYWORDS();
    auto text = build(R"({"type": "string", "format": "int64"})", Draft::Draft4);
    ASSERT_TRUE(text.has_value()) << text.error().message();
    const auto traced_text = trace(*text, json(R"("12345678901234567890")"));
    EXPECT_TRUE(traced_text.valid);
    EXPECT_EQ(events_ending(traced_text.events, "/format"), (std::vector<Event>{{"", "/format", 2}}));
    EXPECT_EQ(events_ending(traced_text.events, "/type"), (std::vector<Event>{{"", "/type", 0}}));

    auto number = build(R"({"type": ["number", "null"], "format": "double", "nullable": true})", Draft::Draft4);
    ASSERT_TRUE(number.has_value()) << number.error().message();
    const auto traced_null = trace(*number, json("null"));
    EXPECT_TRUE(traced_null.valid);
    EXPECT_EQ(events_ending(traced_null.events, "/format"), (std::vector<Event>{{"", "/format", 2}}));
}

}  // namespace
