// type: single names and sets, the draft-dependent meaning of "integer", messages, evaluation
// descriptions, compile errors and the one trace event.
#include <gtest/gtest.h>

#include <string>

#include "keyword_test_support.hpp"

namespace {

using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;

struct TypeCase {
    Draft draft;
    const char* schema;
    const char* instance;
    bool valid;
};

class TypeDecision : public ::testing::TestWithParam<TypeCase> {};

TEST_P(TypeDecision, Decides) {
    const TypeCase& c = GetParam();
    Compiled compiled(c.schema, c.draft);
    ASSERT_TRUE(compiled.ok());
    EXPECT_EQ(compiled.is_valid(c.instance), c.valid) << c.schema << " with " << c.instance;
    EXPECT_EQ(compiled.trace(c.instance), (std::pair{std::vector<Event>{{"", "/type", c.valid ? 0 : 1}}, c.valid}));
    EXPECT_EQ(compiled.messages(c.instance).empty(), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TypeDecision,
    ::testing::Values(
        // "integer": whole by value from draft 6 on, by its written form under draft 4
        TypeCase{Draft::Draft6, R"({"type": "integer"})", "1.0", true},
        TypeCase{Draft::Draft4, R"({"type": "integer"})", "1.0", false},
        TypeCase{Draft::Draft7, R"({"type": "integer"})", "1e2", true},
        TypeCase{Draft::Draft4, R"({"type": "integer"})", "1e2", false},
        TypeCase{Draft::Draft4, R"({"type": "integer"})", "-0", true},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "-0", true},
        TypeCase{Draft::Draft4, R"({"type": "integer"})", "123456789012345678901234567890", true},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "2.50e1", true},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "1.5", false},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "1e-1", false},
        // decided on the digits, whatever the exponent
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "1e-2000000", false},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "0e-2000000", true},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "1e2000000", true},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "1.5e999999999999999999999999999999999999999", true},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", "1.5e-999999999999999999999999999999999999999", false},
        TypeCase{Draft::Draft202012, R"({"type": "integer"})", R"("1")", false},
        TypeCase{Draft::Draft7, R"({"type": "number"})", "1", true},
        TypeCase{Draft::Draft7, R"({"type": "number"})", "true", false},
        TypeCase{Draft::Draft7, R"({"type": "null"})", "null", true},
        TypeCase{Draft::Draft7, R"({"type": "null"})", "false", false},
        TypeCase{Draft::Draft7, R"({"type": "boolean"})", "false", true},
        TypeCase{Draft::Draft7, R"({"type": "string"})", R"("")", true},
        TypeCase{Draft::Draft7, R"({"type": "array"})", "{}", false},
        TypeCase{Draft::Draft7, R"({"type": "object"})", "{}", true},
        // sets
        TypeCase{Draft::Draft7, R"({"type": ["integer", "string"]})", "2.5", false},
        TypeCase{Draft::Draft7, R"({"type": ["integer", "string"]})", "2.0", true},
        TypeCase{Draft::Draft4, R"({"type": ["integer", "string"]})", "2.0", false},
        TypeCase{Draft::Draft4, R"({"type": ["number", "null"]})", "2.5", true},
        TypeCase{Draft::Draft7, R"({"type": ["integer", "null"]})", "1e2000000", true},
        TypeCase{Draft::Draft7, R"({"type": ["number"]})", "3", true},
        TypeCase{Draft::Draft7, R"({"type": []})", "null", false},
        TypeCase{Draft::Draft7, R"({"type": []})", "{}", false},
        TypeCase{Draft::Draft7, R"({"type": ["string", "string"]})", R"("a")", true},
        TypeCase{Draft::Draft7, R"({"type": ["string", "string"]})", "1", false}));

TEST(Type, MessagesOfSingleNamesAndSets) {
    struct Case {
        const char* schema;
        const char* instance;
        const char* message;
    };
    const Case cases[] = {
        {R"({"type": "string"})", "5", R"(5 is not of type "string")"},
        {R"({"type": ["number"]})", R"("x")", R"("x" is not of type "number")"},
        {R"({"type": ["integer", "string"]})", "2.5", R"(2.5 is not of types "integer", "string")"},
        {R"({"type": ["string", "null"]})", "[1,2]", R"([1,2] is not of types "null", "string")"},
        {R"({"type": []})", "5", "5 is not of types "},
    };
    for (const Case& c : cases) {
        Compiled compiled(c.schema, Draft::Draft7);
        auto error = compiled.first_error(kwtest::json(c.instance));
        ASSERT_TRUE(error.has_value()) << c.schema;
        EXPECT_EQ(error->message(), c.message);
        EXPECT_EQ(error->schema_path().str(), "/type");
    }
}

TEST(Type, EvaluationDescriptions) {
    struct Case {
        Draft draft;
        const char* schema;
        const char* instance;
        const char* description;
    };
    // The set form describes its set in parentheses; the others repeat the error message.
    const Case cases[] = {
        {Draft::Draft7, R"({"type": ["integer", "string"]})", "2.5", "2.5 is not of types (integer, string)"},
        {Draft::Draft7, R"({"type": []})", "2.5", "2.5 is not of types ()"},
        {Draft::Draft7, R"({"type": "object"})", "2.5", R"(2.5 is not of type "object")"},
        {Draft::Draft4, R"({"type": "integer"})", "2.0", R"(2.0 is not of type "integer")"},
        {Draft::Draft4, R"({"type": ["integer", "string"]})", "2.0", R"(2.0 is not of types "integer", "string")"},
    };
    for (const Case& c : cases) {
        Compiled compiled(c.schema, c.draft);
        auto evaluation = compiled.evaluate(kwtest::json(c.instance));
        auto entries = evaluation->entries();
        ASSERT_EQ(entries.size(), 1u);
        ASSERT_EQ(entries[0]->errors.size(), 1u);
        EXPECT_EQ(entries[0]->errors[0].keyword, "type");
        EXPECT_EQ(entries[0]->errors[0].message, c.description);
        EXPECT_FALSE(entries[0]->valid);
    }
}

TEST(Type, CompileErrors) {
    struct Case {
        const char* schema;
        const char* message;
    };
    const Case cases[] = {
        {R"({"type": "strng"})", "Unexpected type"},
        {R"({"type": ["strng"]})", "Unexpected type"},
        {R"({"type": ["string", "strng"]})", R"("strng" is not one of "array", "boolean" or 5 other candidates)"},
        {R"({"type": [1]})", R"(1 is not of type "string")"},
        {R"({"type": ["string", 1]})", R"(1 is not of type "string")"},
        {R"({"type": 7})", R"(7 is not of types "string", "array")"},
        {R"({"type": "Integer"})", "Unexpected type"},
    };
    for (const Case& c : cases) {
        for (Draft draft : {Draft::Draft4, Draft::Draft202012}) {
            EXPECT_EQ(kwtest::compile_message(c.schema, draft), c.message) << c.schema;
            EXPECT_EQ(kwtest::compile_error_path(c.schema, draft), "/type") << c.schema;
        }
    }
}

}  // namespace
