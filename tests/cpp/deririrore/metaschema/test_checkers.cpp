#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "checker_fixtures.hpp"
#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/value/json.hpp"

namespace {

using deririrore::core::ValidationError;
using deririrore::metaschema::Draft;
using deririrore::value::Value;
namespace kinds = deririrore::core::kinds;
namespace ms = deririrore::metaschema;

using deririrore::metaschema::test_fixtures::nested_document;
using deririrore::metaschema::test_fixtures::Nesting;
using deririrore::metaschema::test_fixtures::parse;

struct FirstErrorCase {
    Draft draft;
    const char* document;
    const char* schema_path;  // empty: valid
    const char* instance_path;
    const char* keyword;
};

const FirstErrorCase kFirstErrorCases[] = {
    {Draft::Draft4, R"({"type": 5, "minLength": -1})", "/definitions/positiveInteger/minimum", "/minLength", "minimum"},
    {Draft::Draft4, R"({"exclusiveMaximum": 1})", "/dependencies/exclusiveMaximum", "", "required"},
    {Draft::Draft4, R"({"exclusiveMaximum": 5.5, "type": 5})", "/dependencies/exclusiveMaximum", "", "required"},
    {Draft::Draft4, R"({"maximum": 1, "exclusiveMaximum": 1})", "/properties/exclusiveMaximum/type",
     "/exclusiveMaximum", "type"},
    {Draft::Draft4, R"({"minLength": 1.0})", "/definitions/positiveInteger/type", "/minLength", "type"},
    {Draft::Draft4, R"({"minLength": 1e2})", "/definitions/positiveInteger/type", "/minLength", "type"},
    {Draft::Draft4, R"({"minLength": 123456789012345678901234567890})", "", "", ""},
    {Draft::Draft4, R"({"multipleOf": 0})", "/properties/multipleOf/exclusiveMinimum", "/multipleOf",
     "exclusiveMinimum"},
    {Draft::Draft4, R"({"multipleOf": 1e-400})", "", "", ""},
    {Draft::Draft4, R"({"not": true})", "/type", "/not", "type"},
    {Draft::Draft4, R"({"additionalProperties": true})", "", "", ""},
    {Draft::Draft4, R"({"items": true})", "/properties/items/anyOf", "/items", "anyOf"},
    {Draft::Draft4, R"({"type": "float"})", "/properties/type/anyOf", "/type", "anyOf"},
    {Draft::Draft4, R"({"enum": []})", "", "", ""},
    {Draft::Draft4, R"({"required": []})", "/definitions/stringArray/minItems", "/required", "minItems"},
    {Draft::Draft4, R"({"pattern": "("})", "/properties/pattern/format", "/pattern", "format"},
    {Draft::Draft4, R"({"format": "no-such-format"})", "", "", ""},
    {Draft::Draft4, R"({"allOf": []})", "/definitions/schemaArray/minItems", "/allOf", "minItems"},
    {Draft::Draft4, R"({"properties": {"b": 1, "a": 2}})", "/type", "/properties/a", "type"},
    {Draft::Draft4, R"({"$id": 5, "const": 5})", "", "", ""},
    {Draft::Draft4, R"([1])", "/type", "", "type"},
    {Draft::Draft4, R"({"dependencies": {"a": ["b", "b"]}})", "/properties/dependencies/additionalProperties/anyOf",
     "/dependencies/a", "anyOf"},
    {Draft::Draft6, R"(5)", "/type", "", "type"},
    {Draft::Draft6, R"({"type": "nope", "$id": 5})", "/properties/$id/type", "/$id", "type"},
    {Draft::Draft6, R"({"type": []})", "/properties/type/anyOf", "/type", "anyOf"},
    {Draft::Draft6, R"({"type": ["string", "string"]})", "/properties/type/anyOf", "/type", "anyOf"},
    {Draft::Draft6, R"({"items": []})", "/properties/items/anyOf", "/items", "anyOf"},
    {Draft::Draft6, R"({"allOf": {}})", "/definitions/schemaArray/type", "/allOf", "type"},
    {Draft::Draft6, R"({"allOf": [true, {"type": 1}]})", "/properties/type/anyOf", "/allOf/1/type", "anyOf"},
    {Draft::Draft6, R"({"items": {"type": 1}})", "/properties/items/anyOf", "/items", "anyOf"},
    {Draft::Draft6, R"({"not": {"type": 1}})", "/properties/type/anyOf", "/not/type", "anyOf"},
    {Draft::Draft6, R"({"required": ["a", "a", 1]})", "/definitions/stringArray/uniqueItems", "/required",
     "uniqueItems"},
    {Draft::Draft6, R"({"required": ["a", 1]})", "/definitions/stringArray/items/type", "/required/1", "type"},
    {Draft::Draft6, R"({"required": []})", "", "", ""},
    {Draft::Draft6, R"({"maxLength": -1})", "/definitions/nonNegativeInteger/minimum", "/maxLength", "minimum"},
    {Draft::Draft6, R"({"minLength": 1.5})", "/definitions/nonNegativeInteger/type", "/minLength", "type"},
    {Draft::Draft6, R"({"maxItems": 2.0})", "", "", ""},
    {Draft::Draft6, R"({"multipleOf": -2})", "/properties/multipleOf/exclusiveMinimum", "/multipleOf",
     "exclusiveMinimum"},
    {Draft::Draft6, R"({"patternProperties": {"a": 5, "b(": {}}})",
     "/properties/patternProperties/propertyNames/format", "/patternProperties", "format"},
    {Draft::Draft6, R"({"$schema": "relative/path"})", "/properties/$schema/format", "/$schema", "format"},
    {Draft::Draft6, R"({"$ref": "#/definitions/a", "$id": "file.json"})", "", "", ""},
    {Draft::Draft6, R"({"$id": "http://[::1]/x"})", "", "", ""},
    {Draft::Draft6, R"({"$id": "http://[::1/x"})", "/properties/$id/format", "/$id", "format"},
    {Draft::Draft6, R"({"Type": 5, "if": 5})", "", "", ""},
    {Draft::Draft7, R"({"if": 5})", "/type", "/if", "type"},
    {Draft::Draft7, R"({"then": {"type": 1}})", "/properties/type/anyOf", "/then/type", "anyOf"},
    {Draft::Draft7, R"({"readOnly": "yes"})", "/properties/readOnly/type", "/readOnly", "type"},
    {Draft::Draft7, R"({"contentEncoding": 1})", "/properties/contentEncoding/type", "/contentEncoding", "type"},
    {Draft::Draft7, R"({"$comment": 1, "$id": 1})", "/properties/$comment/type", "/$comment", "type"},
    {Draft::Draft7, R"({"minLength": 1.0})", "", "", ""},
};

std::string describe(const FirstErrorCase& c) {
    return std::string(deririrore::referencing::draft_name(c.draft)) + " " + c.document;
}

// One node, three modes: the first error, the is-valid answer and the first collected error
// must tell the same story for every case.
TEST(MetaSchemaCheckers, FirstErrorTableAndModesAgree) {
    for (const auto& c : kFirstErrorCases) {
        SCOPED_TRACE(describe(c));
        ms::test_fixtures::expect_modes_agree(c.draft, parse(c.document), c.schema_path, c.instance_path, c.keyword,
                                              [] {});
    }
}

TEST(MetaSchemaCheckers, MinimumCarriesZeroLimit) {
    auto error = ms::check_meta_schema(Draft::Draft4, parse(R"({"type": 5, "minLength": -1})"));
    ASSERT_TRUE(error);
    const auto* minimum = std::get_if<kinds::Minimum>(&error->kind());
    ASSERT_NE(minimum, nullptr);
    EXPECT_EQ(minimum->limit.number_text(), "0");
}

struct BranchPaths {
    Draft draft;
    const char* document;
    std::vector<std::vector<std::string>> branches;
};

std::vector<std::vector<std::string>> branch_paths(const ValidationError& error) {
    std::vector<std::vector<std::string>> out;
    const auto* any = std::get_if<kinds::AnyOf>(&error.kind());
    if (any == nullptr) return out;
    for (const auto& list : any->context) {
        out.emplace_back();
        for (const auto& e : list) out.back().push_back(e.schema_path().str() + " @" + e.instance_path().str());
    }
    return out;
}

TEST(MetaSchemaCheckers, AnyOfCollectsEveryBranch) {
    const BranchPaths cases[] = {
        {Draft::Draft4, R"({"items": true})", {{"/type @/items"}, {"/definitions/schemaArray/type @/items"}}},
        {Draft::Draft4,
         R"({"type": "float"})",
         {{"/definitions/simpleTypes/enum @/type"}, {"/properties/type/anyOf/1/type @/type"}}},
        {Draft::Draft4,
         R"({"type": ["x", "x", 1]})",
         {{"/definitions/simpleTypes/enum @/type"},
          {"/properties/type/anyOf/1/uniqueItems @/type", "/definitions/simpleTypes/enum @/type/0",
           "/definitions/simpleTypes/enum @/type/1", "/definitions/simpleTypes/enum @/type/2"}}},
        // Every error of the failing object, in test order, across members.
        {Draft::Draft4,
         R"({"items": {"exclusiveMinimum": 1, "minLength": -1.5, "type": 1}})",
         {{"/dependencies/exclusiveMinimum @/items", "/properties/exclusiveMinimum/type @/items/exclusiveMinimum",
           "/definitions/positiveInteger/type @/items/minLength",
           "/definitions/positiveInteger/minimum @/items/minLength", "/properties/type/anyOf @/items/type"},
          {"/definitions/schemaArray/type @/items"}}},
        {Draft::Draft6,
         R"({"dependencies": {"a": {"patternProperties": {"(": {}, "a": 5}}}})",
         {{"/properties/patternProperties/propertyNames/format @/dependencies/a/patternProperties",
           "/type @/dependencies/a/patternProperties/a"},
          {"/definitions/stringArray/type @/dependencies/a"}}},
        {Draft::Draft7, R"({"items": [1, true, "x"]})", {{"/type @/items"}, {"/type @/items/0", "/type @/items/2"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        auto error = ms::check_meta_schema(c.draft, parse(c.document));
        ASSERT_TRUE(error);
        EXPECT_EQ(branch_paths(*error), c.branches);
    }
}

TEST(MetaSchemaCheckers, PatternPropertiesNameErrorOwnsTheName) {
    auto error = ms::validate_against_meta_schema(Draft::Draft7, parse(R"({"patternProperties": {"(": {}}})"));
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->owns_instance());
    ASSERT_TRUE(error->instance().is_string());
    EXPECT_EQ(error->instance().as_string(), "(");
}

TEST(MetaSchemaCheckers, SimpleTypeEnumListsTheSevenNames) {
    auto all = ms::collect_meta_schema_errors(Draft::Draft6, parse(R"({"type": "Boolean"})"));
    ASSERT_EQ(all.size(), 1u);
    auto branches = std::get<kinds::AnyOf>(all[0].kind()).context;
    ASSERT_EQ(branches[0].size(), 1u);
    const auto& options = std::get<kinds::Enum>(branches[0][0].kind()).options;
    EXPECT_TRUE(identical(options, parse(R"(["array","boolean","integer","null","number","object","string"])")));
}

TEST(MetaSchemaNumbers, SignAndIntegerRules) {
    struct Case {
        const char* text;
        bool positive;
        bool non_negative;
        bool draft4_integer;
    };
    const Case cases[] = {
        {"1e-400", true, true, false}, {"-1e-400", false, false, false},
        {"-0", false, true, true},     {"0.0", false, true, false},
        {"0e5", false, true, false},   {"-0.000", false, true, false},
        {"1.0", true, true, false},    {"1e2", true, true, false},
        {"-5", false, false, true},    {"123456789012345678901234567890", true, true, true},
        {"-0.5", false, false, false}, {"0.0000000000000000000000000001", true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ms::is_positive_number(c.text), c.positive);
        EXPECT_EQ(ms::is_non_negative_number(c.text), c.non_negative);
        EXPECT_EQ(ms::is_draft4_integer_text(c.text), c.draft4_integer);
    }
}

TEST(MetaSchemaNumbers, SimpleTypeNames) {
    EXPECT_TRUE(ms::is_simple_type_name(Value::string("boolean")));
    EXPECT_FALSE(ms::is_simple_type_name(Value::string("Boolean")));
    EXPECT_FALSE(ms::is_simple_type_name(Value::number_from_int(1)));
    EXPECT_FALSE(ms::is_simple_type_name(Value::string("booleans")));
}

TEST(MetaSchemaEntry, TrivialDocumentsPassEveryDraft) {
    for (Draft d :
         {Draft::Draft4, Draft::Draft6, Draft::Draft7, Draft::Draft201909, Draft::Draft202012, Draft::Unknown}) {
        for (const char* doc : {"true", "false", "{}"}) {
            EXPECT_FALSE(ms::validate_against_meta_schema(d, parse(doc)).has_value())
                << deririrore::referencing::draft_name(d) << " " << doc;
        }
    }
}

TEST(MetaSchemaEntry, EmbeddedResourceIsCheckedUnderItsOwnDraft) {
    const char* doc = R"({
        "definitions": {"a": {"$schema": "http://json-schema.org/draft-04/schema#",
                              "$id": "http://example.com/a", "id": "http://example.com/a", "type": 5}},
        "if": true
    })";
    auto error = ms::validate_against_meta_schema(Draft::Draft7, parse(doc));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->schema_path().view(), "/properties/type/anyOf");
    EXPECT_EQ(error->instance_path().view(), "/definitions/a/type");
    EXPECT_TRUE(error->owns_instance());

    // Without an identifier the subschema is part of the document and checked as draft 7.
    const char* anonymous = R"({"definitions": {"a": {"$schema": "http://json-schema.org/draft-04/schema#",
                                                    "exclusiveMinimum": true}}})";
    error = ms::validate_against_meta_schema(Draft::Draft7, parse(anonymous));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->schema_path().view(), "/properties/exclusiveMinimum/type");
    EXPECT_EQ(error->instance_path().view(), "/definitions/a/exclusiveMinimum");

    // The rest of the document fails first: the embedded resource is never reached.
    const char* both = R"({"definitions": {"a": {"$schema": "http://json-schema.org/draft-04/schema#",
                                               "$id": "http://example.com/a", "type": 5}}, "if": 5})";
    error = ms::validate_against_meta_schema(Draft::Draft7, parse(both));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->instance_path().view(), "/if");
}

TEST(MetaSchemaEntry, NestedSchemaKeywordSearch) {
    EXPECT_TRUE(ms::contains_nested_schema_keyword(parse(R"([{"a": [{"$schema": 1}]}])")));
    EXPECT_FALSE(ms::contains_nested_schema_keyword(parse(R"([{"a": ["$schema"]}])")));
    EXPECT_FALSE(ms::contains_nested_schema_keyword(parse(R"("$schema")")));
}

// Every mode refuses a document nested past the limit, without exhausting the stack.
TEST(MetaSchemaLimits, HugeNestingIsAnErrorInEveryMode) {
    struct Case {
        Draft draft;
        const char* keyword;
        Nesting nesting;
    };
    const Case cases[] = {
        {Draft::Draft4, "not", Nesting::Direct},          {Draft::Draft4, "items", Nesting::Direct},
        {Draft::Draft6, "allOf", Nesting::InArray},       {Draft::Draft7, "then", Nesting::Direct},
        {Draft::Draft7, "dependencies", Nesting::Direct}, {Draft::Draft201909, "not", Nesting::Direct},
        {Draft::Draft202012, "items", Nesting::Direct},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyword);
        Value doc = nested_document(c.keyword, c.nesting, 100000);
        EXPECT_FALSE(ms::is_valid_meta_schema(c.draft, doc));
        EXPECT_TRUE(ms::check_meta_schema(c.draft, doc).has_value());
        EXPECT_FALSE(ms::collect_meta_schema_errors(c.draft, doc).empty());
    }
    // The entry's error owns its instance: a plain chain is copied once.
    auto owned = ms::validate_against_meta_schema(Draft::Draft7, nested_document("not", Nesting::Direct, 100000));
    ASSERT_TRUE(owned);
    EXPECT_NE(owned->message().find("maximum depth"), std::string::npos) << owned->message();
    // Within the limit, deep but sound documents still pass.
    EXPECT_TRUE(ms::is_valid_meta_schema(Draft::Draft7, nested_document("not", Nesting::Direct, 500)));
    EXPECT_TRUE(ms::is_valid_meta_schema(Draft::Draft4, nested_document("allOf", Nesting::InArray, 250)));
}

}  // namespace
