// A schema that does not compile says where: the error's schema path is the JSON pointer of the
// keyword at fault, and its message ends with that pointer, so that one bad keyword can be found
// among thousands of schemas.
#include <gtest/gtest.h>

#include <string>

#include "support.hpp"

namespace deririrore::core::testing {
namespace {

struct BrokenSchema {
    const char* name;
    const char* schema;
    Draft draft;
    // The pointer of the keyword at fault.
    const char* pointer;
    // The message as it reads without the location.
    const char* message;
};

void PrintTo(const BrokenSchema& c, std::ostream* os) { *os << c.name; }

struct CaseName {
    std::string operator()(const ::testing::TestParamInfo<BrokenSchema>& info) const { return info.param.name; }
};

class CompileErrorLocation : public ::testing::TestWithParam<BrokenSchema> {};

TEST_P(CompileErrorLocation, NamesTheKeyword) {
    const BrokenSchema& c = GetParam();
    // The compiler's own errors: the meta-schema check, which refuses most of these first, is off.
    auto built = build_validator(json(c.schema), ValidationOptions().with_draft(c.draft).with_validate_schema(false));
    ASSERT_FALSE(built.has_value()) << c.schema;
    const ValidationError& error = built.error();
    EXPECT_EQ(error.schema_path().str(), c.pointer);
    EXPECT_EQ(error.evaluation_path().str(), c.pointer);
    EXPECT_EQ(error.message(), std::string(c.message) + " (at schema location \"" + c.pointer + "\")");
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompileErrorLocation,
    ::testing::Values(
        BrokenSchema{"pattern_deep_in_properties",
                     R"({"properties": {"a": {"properties": {"b": {"type": "string", "pattern": "[a-zA-Z]{1-70"}}}}})",
                     Draft::Draft202012, "/properties/a/properties/b/pattern", R"("[a-zA-Z]{1-70" is not a "regex")"},
        BrokenSchema{"pattern_in_items", R"({"items": {"items": [{}, {"pattern": "("}]}})", Draft::Draft7,
                     "/items/items/1/pattern", R"("(" is not a "regex")"},
        BrokenSchema{"pattern_in_referenced_definition",
                     R"j({"$defs": {"name": {"pattern": "a)"}}, "properties": {"n": {"$ref": "#/$defs/name"}}})j",
                     Draft::Draft202012, "/$defs/name/pattern", R"j("a)" is not a "regex")j"},
        BrokenSchema{"pattern_property_key", R"({"patternProperties": {"[": {}}})", Draft::Draft202012,
                     "/patternProperties/[", R"("[" is not a "regex")"},
        BrokenSchema{"unknown_type_name", R"({"anyOf": [{}, {"type": "text"}]})", Draft::Draft202012,
                     "/anyOf/1/type", "Unexpected type"},
        BrokenSchema{"minimum_not_a_number", R"({"properties": {"age": {"minimum": "0"}}})", Draft::Draft7,
                     "/properties/age/minimum", R"("0" is not of type "number")"},
        BrokenSchema{"negative_length", R"({"$defs": {"x": {"maxLength": -1}}, "$ref": "#/$defs/x"})",
                     Draft::Draft202012, "/$defs/x/maxLength", R"(-1 is less than the minimum of 0)"},
        BrokenSchema{"missing_reference_target", R"({"properties": {"a": {"$ref": "#/$defs/missing"}}})",
                     Draft::Draft202012, "/properties/a/$ref",
                     "Pointer '/$defs/missing' does not exist"},
        BrokenSchema{"reference_not_a_string", R"({"properties": {"a": {"$ref": 5}}})", Draft::Draft6,
                     "/properties/a/$ref", R"(5 is not of type "string")"},
        BrokenSchema{"subschema_not_a_schema", R"({"properties": {"a": 3}})", Draft::Draft202012,
                     "/properties/a", R"(3 is not of types "boolean", "object")"}),
    CaseName());

TEST(CompileErrorLocation, AbsoluteLocationWhereTheResourceHasOne) {
    auto built = build_validator(json(R"({"$id": "https://example.com/s.json", "properties": {"a": {"pattern": "["}}})"));
    ASSERT_FALSE(built.has_value());
    EXPECT_EQ(built.error().message(), R"("[" is not a "regex" (at schema location "/properties/a/pattern", )"
                                       R"("https://example.com/s.json#/properties/a/pattern"))");
}

TEST(CompileErrorLocation, ValidationErrorsKeepTheirMessages) {
    const Validator v = build(json(R"({"properties": {"a": {"type": "string"}}})"));
    const value::Value instance = json(R"({"a": 1})");
    auto error = v.validate(instance);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message(), R"(1 is not of type "string")");
}

}  // namespace
}  // namespace deririrore::core::testing
