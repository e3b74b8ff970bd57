#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "checker_fixtures.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/metaschema/draft2020.hpp"
#include "deririrore/referencing/meta.hpp"
#include "deririrore/value/json.hpp"

namespace {

namespace fs = std::filesystem;
namespace ms = deririrore::metaschema;
namespace kinds = deririrore::core::kinds;
using deririrore::core::ValidationError;
using deririrore::value::Value;
using Resource = ms::Draft2020Resource;

using ms::test_fixtures::branches;
using ms::test_fixtures::describe;
using ms::test_fixtures::describe_all;
using ms::test_fixtures::parse;

std::vector<std::string> repeated(const std::string& text, std::size_t times) {
    return std::vector<std::string>(times, text);
}

struct FirstErrorCase {
    const char* document;
    const char* error;  // "schema path @instance path"; empty: valid
};

const FirstErrorCase kFirstErrorCases[] = {
    {"5", "/type @"},
    {"[]", "/type @"},
    {R"({"definitions": {"a": {}}})", ""},
    {R"({"definitions": []})", "/properties/definitions/type @/definitions"},
    {R"({"definitions": {"b": 1, "a": 2}})", "/type @/definitions/a"},
    {R"({"definitions": 1, "type": 7})", "/properties/type/anyOf @/type"},
    {R"({"$recursiveAnchor": true})", "/$defs/anchorString/type @/$recursiveAnchor"},
    {R"({"$recursiveAnchor": "1a"})", "/$defs/anchorString/pattern @/$recursiveAnchor"},
    {R"({"$recursiveAnchor": "_a-1.b"})", ""},
    {R"({"$recursiveRef": "#"})", ""},
    {R"({"$recursiveRef": 1})", "/$defs/uriReferenceString/type @/$recursiveRef"},
    {R"({"dependencies": {"a": ["b"]}})", ""},
    {R"({"dependencies": {"a": {}}})", ""},
    {R"({"dependencies": 3})", "/properties/dependencies/type @/dependencies"},
    {R"({"dependencies": {"a": 5}})", "/properties/dependencies/additionalProperties/anyOf @/dependencies/a"},
    // core
    {R"({"$comment": 1, "$anchor": 1})", "/$defs/anchorString/type @/$anchor"},
    {R"({"$id": "a#b"})", "/properties/$id/pattern @/$id"},
    {R"({"$id": "a#", "$ref": "not a uri at all", "$schema": "x y"})", ""},
    {R"({"$id": "#"})", ""},
    {R"({"$id": ""})", ""},
    {R"({"$id": 1})", "/$defs/uriReferenceString/type @/$id"},
    {R"({"$anchor": ""})", "/$defs/anchorString/pattern @/$anchor"},
    {R"({"$anchor": "a b"})", "/$defs/anchorString/pattern @/$anchor"},
    {R"({"$anchor": "a:b"})", "/$defs/anchorString/pattern @/$anchor"},
    {R"({"$anchor": "a\n"})", "/$defs/anchorString/pattern @/$anchor"},
    {R"({"$dynamicAnchor": "é"})", "/$defs/anchorString/pattern @/$dynamicAnchor"},
    {R"({"$anchor": "_x.y-1", "$dynamicAnchor": "meta"})", ""},
    {R"({"$schema": 1})", "/$defs/uriString/type @/$schema"},
    {R"({"$dynamicRef": []})", "/$defs/uriReferenceString/type @/$dynamicRef"},
    {R"({"$vocabulary": {"a": true, "b": 1, "c": "x"}})",
     "/properties/$vocabulary/additionalProperties/type @/$vocabulary/b"},
    {R"({"$vocabulary": []})", "/properties/$vocabulary/type @/$vocabulary"},
    {R"({"$defs": []})", "/properties/$defs/type @/$defs"},
    {R"({"$defs": {"a": true, "b": {"$id": "x#y"}}})", "/properties/$id/pattern @/$defs/b/$id"},
    {R"({"definitions": {"a": 5}, "$comment": "x"})", "/type @/definitions/a"},
    // applicator
    {R"({"allOf": []})", "/$defs/schemaArray/minItems @/allOf"},
    {R"({"anyOf": {}})", "/$defs/schemaArray/type @/anyOf"},
    {R"({"prefixItems": [true, 1]})", "/type @/prefixItems/1"},
    {R"({"properties": []})", "/properties/properties/type @/properties"},
    {R"({"properties": {}})", ""},
    {R"({"properties": {"a": 1}})", "/type @/properties/a"},
    {R"({"patternProperties": {"(": {}}})", ""},
    {R"({"items": [{}]})", "/type @/items"},
    {R"({"not": 1, "allOf": 1})", "/$defs/schemaArray/type @/allOf"},
    {R"({"AllOf": 1})", ""},
    {R"({"then": 5})", "/type @/then"},
    {R"({"contains": false})", ""},
    {R"({"dependentSchemas": {"a": true, "b": 2}})", "/type @/dependentSchemas/b"},
    {R"({"items": {"properties": {"x": {"minimum": "0"}}}})", "/properties/minimum/type @/items/properties/x/minimum"},
    // unevaluated
    {R"({"unevaluatedProperties": false, "unevaluatedItems": {}})", ""},
    {R"({"unevaluatedItems": 1})", "/type @/unevaluatedItems"},
    {R"({"unevaluatedItems": {"type": 5}})", "/properties/type/anyOf @/unevaluatedItems/type"},
    {R"({"unevaluatedProperties": 1, "unevaluatedItems": 1})", "/type @/unevaluatedItems"},
    // validation
    {R"({"maximum": "1", "minimum": "0"})", "/properties/maximum/type @/maximum"},
    {R"({"maxItems": "x", "maximum": "y"})", "/$defs/nonNegativeInteger/type @/maxItems"},
    {R"({"minLength": 1.0, "maxContains": 3.00})", ""},
    {R"({"minLength": 1.5})", "/$defs/nonNegativeInteger/type @/minLength"},
    {R"({"minLength": -1})", "/$defs/nonNegativeInteger/minimum @/minLength"},
    {R"({"minLength": -1.5})", "/$defs/nonNegativeInteger/type @/minLength"},
    {R"({"minLength": "3"})", "/$defs/nonNegativeInteger/type @/minLength"},
    {R"({"multipleOf": 0})", "/properties/multipleOf/exclusiveMinimum @/multipleOf"},
    {R"({"multipleOf": -2})", "/properties/multipleOf/exclusiveMinimum @/multipleOf"},
    {R"({"multipleOf": "2"})", "/properties/multipleOf/type @/multipleOf"},
    {R"({"multipleOf": 0.5, "pattern": "[", "enum": [1, 1], "const": {"a": 1}})", ""},
    {R"({"pattern": 1})", "/properties/pattern/type @/pattern"},
    {R"({"enum": 1})", "/properties/enum/type @/enum"},
    {R"({"required": ["a", "a", 1]})", "/$defs/stringArray/uniqueItems @/required"},
    {R"({"required": "a"})", "/$defs/stringArray/type @/required"},
    {R"({"required": []})", ""},
    {R"({"dependentRequired": {"b": "x", "a": [1]}})", "/$defs/stringArray/items/type @/dependentRequired/a/0"},
    {R"({"dependentRequired": []})", "/properties/dependentRequired/type @/dependentRequired"},
    {R"({"dependentRequired": {"a": []}})", ""},
    {R"({"type": "null"})", ""},
    {R"({"type": ["string", "null"]})", ""},
    {R"({"type": "Integer"})", "/properties/type/anyOf @/type"},
    {R"({"uniqueItems": 1})", "/properties/uniqueItems/type @/uniqueItems"},
    {R"({"exclusiveMinimum": true})", "/properties/exclusiveMinimum/type @/exclusiveMinimum"},
    // meta-data, format-annotation, content
    {R"({"title": 1, "deprecated": "x"})", "/properties/deprecated/type @/deprecated"},
    {R"({"examples": [], "default": null, "readOnly": false})", ""},
    {R"({"examples": {}})", "/properties/examples/type @/examples"},
    {R"({"readOnly": "true"})", "/properties/readOnly/type @/readOnly"},
    {R"({"description": null})", "/properties/description/type @/description"},
    {R"({"Title": 1, "format": "no-such-format"})", ""},
    {R"({"format": 5})", "/properties/format/type @/format"},
    {R"({"contentEncoding": 1, "contentMediaType": 2})", "/properties/contentEncoding/type @/contentEncoding"},
    {R"({"contentEncoding": "base64", "contentMediaType": "x/y", "contentSchema": false})", ""},
    {R"({"contentSchema": {"type": 5}})", "/properties/type/anyOf @/contentSchema/type"},
    {R"({"contentSchema": {"contentSchema": {"minLength": -1}}})",
     "/$defs/nonNegativeInteger/minimum @/contentSchema/contentSchema/minLength"},
    {R"({"contentSchema": 5})", "/type @/contentSchema"},
};

// The three modes tell one story: the first error, the is-valid answer and the first collected
// error agree on every case.
TEST(Draft2020Checker, FirstErrorTableAndModesAgree) {
    for (const auto& c : kFirstErrorCases) {
        SCOPED_TRACE(c.document);
        Value doc = parse(c.document);
        auto error = ms::draft2020_first_error(doc);
        bool valid = ms::draft2020_is_valid(doc);
        auto all = ms::draft2020_errors(doc);
        if (std::string_view(c.error).empty()) {
            EXPECT_FALSE(error.has_value()) << describe(*error);
            EXPECT_TRUE(valid);
            EXPECT_TRUE(all.empty()) << describe_all(all).front();
            continue;
        }
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(describe(*error), c.error);
        EXPECT_FALSE(valid);
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(describe(all.front()), c.error);
    }
}

TEST(Draft2020Checker, ErrorsCarryKindAndLimit) {
    auto minimum = ms::draft2020_first_error(parse(R"({"minLength": -1})"));
    ASSERT_TRUE(minimum);
    ASSERT_TRUE(std::holds_alternative<kinds::Minimum>(minimum->kind()));
    EXPECT_EQ(std::get<kinds::Minimum>(minimum->kind()).limit.number_text(), "0");

    auto pattern = ms::draft2020_first_error(parse(R"({"$id": "a#b"})"));
    ASSERT_TRUE(pattern);
    EXPECT_EQ(std::get<kinds::Pattern>(pattern->kind()).pattern, "^[^#]*#?$");
    auto anchor = ms::draft2020_first_error(parse(R"({"$anchor": "1"})"));
    ASSERT_TRUE(anchor);
    EXPECT_EQ(std::get<kinds::Pattern>(anchor->kind()).pattern, "^[A-Za-z_][-A-Za-z0-9._]*$");

    auto root = ms::draft2020_first_error(parse("5"));
    ASSERT_TRUE(root);
    const auto& type = std::get<kinds::Type>(root->kind());
    EXPECT_TRUE(type.types.contains(deririrore::value::JsonType::Object));
    EXPECT_TRUE(type.types.contains(deririrore::value::JsonType::Boolean));
    EXPECT_FALSE(type.types.contains(deririrore::value::JsonType::Null));

    auto multiple = ms::draft2020_first_error(parse(R"({"multipleOf": 0})"));
    ASSERT_TRUE(multiple);
    EXPECT_EQ(std::get<kinds::ExclusiveMinimum>(multiple->kind()).limit.number_text(), "0");
}

struct CollectCase {
    const char* document;
    std::vector<std::string> errors;
};

TEST(Draft2020Checker, CollectingFindsEveryErrorInKeywordOrder) {
    const std::vector<std::string> eight_at_root = repeated("/type @", 8);
    std::vector<std::string> allof_then{"/$defs/schemaArray/minItems @/allOf"};
    for (const auto& e : repeated("/type @/then", 8)) allof_then.push_back(e);
    std::vector<std::string> two_unevaluated = repeated("/type @/unevaluatedItems", 8);
    for (const auto& e : repeated("/type @/unevaluatedProperties", 8)) two_unevaluated.push_back(e);
    const CollectCase cases[] = {
        // Each vocabulary checks the root type, then the dialect itself.
        {"5", eight_at_root},
        {R"({"$comment": 1, "$anchor": 1})",
         {"/$defs/anchorString/type @/$anchor", "/properties/$comment/type @/$comment"}},
        {R"({"$vocabulary": {"a": true, "b": 1, "c": "x"}})",
         {"/properties/$vocabulary/additionalProperties/type @/$vocabulary/b",
          "/properties/$vocabulary/additionalProperties/type @/$vocabulary/c"}},
        {R"({"$id": 1})", {"/$defs/uriReferenceString/type @/$id"}},
        {R"({"prefixItems": [true, 5, {}]})", repeated("/type @/prefixItems/1", 8)},
        {R"({"then": 5, "allOf": []})", allof_then},
        {R"({"dependentSchemas": {"a": {}, "b": 2}})", repeated("/type @/dependentSchemas/b", 8)},
        {R"({"unevaluatedProperties": 1, "unevaluatedItems": 1})", two_unevaluated},
        {R"({"required": ["a", "a", 1]})",
         {"/$defs/stringArray/uniqueItems @/required", "/$defs/stringArray/items/type @/required/2"}},
        {R"({"required": [1, "a", 2]})",
         {"/$defs/stringArray/items/type @/required/0", "/$defs/stringArray/items/type @/required/2"}},
        {R"({"required": [1, 1]})",
         {"/$defs/stringArray/uniqueItems @/required", "/$defs/stringArray/items/type @/required/0",
          "/$defs/stringArray/items/type @/required/1"}},
        {R"({"dependentRequired": {"b": "x", "a": [1]}})",
         {"/$defs/stringArray/items/type @/dependentRequired/a/0", "/$defs/stringArray/type @/dependentRequired/b"}},
        {R"({"minLength": -1.5})",
         {"/$defs/nonNegativeInteger/type @/minLength", "/$defs/nonNegativeInteger/minimum @/minLength"}},
        {R"({"minLength": "3"})", {"/$defs/nonNegativeInteger/type @/minLength"}},
        {R"({"maximum": "1", "minimum": "0"})",
         {"/properties/maximum/type @/maximum", "/properties/minimum/type @/minimum"}},
        {R"({"contentEncoding": 1, "contentMediaType": 2})",
         {"/properties/contentEncoding/type @/contentEncoding",
          "/properties/contentMediaType/type @/contentMediaType"}},
        {R"({"title": 1, "deprecated": "x"})",
         {"/properties/deprecated/type @/deprecated", "/properties/title/type @/title"}},
        {R"({"definitions": {"a": {}, "b": 1, "c": {"minLength": -1}}})",
         [] {
             auto list = repeated("/type @/definitions/b", 8);
             list.push_back("/$defs/nonNegativeInteger/minimum @/definitions/c/minLength");
             return list;
         }()},
        // Vocabularies before the dialect's own keywords.
        {R"({"definitions": 1, "format": 2})",
         {"/properties/format/type @/format", "/properties/definitions/type @/definitions"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        EXPECT_EQ(describe_all(ms::draft2020_errors(parse(c.document))), c.errors);
    }
}

struct AnyOfCase {
    const char* document;
    const char* error;
    std::vector<std::vector<std::string>> branches;
};

TEST(Draft2020Checker, AnyOfErrorsHoldEveryBranchInOrder) {
    const AnyOfCase cases[] = {
        {R"({"type": "Integer"})",
         "/properties/type/anyOf @/type",
         {{"/$defs/simpleTypes/enum @/type"}, {"/properties/type/anyOf/1/type @/type"}}},
        {R"({"type": []})",
         "/properties/type/anyOf @/type",
         {{"/$defs/simpleTypes/enum @/type"}, {"/properties/type/anyOf/1/minItems @/type"}}},
        {R"({"type": ["string", "string"]})",
         "/properties/type/anyOf @/type",
         {{"/$defs/simpleTypes/enum @/type"}, {"/properties/type/anyOf/1/uniqueItems @/type"}}},
        {R"({"type": ["string", "Number", 3]})",
         "/properties/type/anyOf @/type",
         {{"/$defs/simpleTypes/enum @/type"},
          {"/$defs/simpleTypes/enum @/type/1", "/$defs/simpleTypes/enum @/type/2"}}},
        // Below `items` (one subschema in this draft) and an `anyOf` of the schema.
        {R"({"items": {"type": "Integer"}})",
         "/properties/type/anyOf @/items/type",
         {{"/$defs/simpleTypes/enum @/items/type"}, {"/properties/type/anyOf/1/type @/items/type"}}},
        {R"({"items": {"anyOf": [true, {"type": []}]}})",
         "/properties/type/anyOf @/items/anyOf/1/type",
         {{"/$defs/simpleTypes/enum @/items/anyOf/1/type"},
          {"/properties/type/anyOf/1/minItems @/items/anyOf/1/type"}}},
        {R"({"dependencies": {"a": 5}})",
         "/properties/dependencies/additionalProperties/anyOf @/dependencies/a",
         {repeated("/type @/dependencies/a", 8), {"/$defs/stringArray/type @/dependencies/a"}}},
        {R"({"dependencies": {"a": ["b", "b"]}})",
         "/properties/dependencies/additionalProperties/anyOf @/dependencies/a",
         {repeated("/type @/dependencies/a", 8), {"/$defs/stringArray/uniqueItems @/dependencies/a"}}},
        // The schema branch collects every error of the failing object.
        {R"({"dependencies": {"a": {"minLength": -1, "title": 2}}})",
         "/properties/dependencies/additionalProperties/anyOf @/dependencies/a",
         {{"/$defs/nonNegativeInteger/minimum @/dependencies/a/minLength",
           "/properties/title/type @/dependencies/a/title"},
          {"/$defs/stringArray/type @/dependencies/a"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        Value doc = parse(c.document);
        auto error = ms::draft2020_first_error(doc);
        ASSERT_TRUE(error);
        EXPECT_EQ(describe(*error), c.error);
        EXPECT_EQ(branches(*error), c.branches);
        // Collecting gives the same single error.
        auto all = ms::draft2020_errors(doc);
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(branches(all[0]), c.branches);
    }
}

TEST(Draft2020Checker, SimpleTypeEnumListsTheSevenNames) {
    auto error = ms::draft2020_first_error(parse(R"({"type": "Boolean"})"));
    ASSERT_TRUE(error);
    const auto& context = std::get<kinds::AnyOf>(error->kind()).context;
    const auto& options = std::get<kinds::Enum>(context[0][0].kind()).options;
    EXPECT_TRUE(identical(options, parse(R"(["array","boolean","integer","null","number","object","string"])")));
}

// "#meta" resolves to the outermost resource in scope: from the dialect's root every subschema is
// checked against the whole dialect, while a vocabulary entered on its own checks its
// subschemas against itself alone.
TEST(Draft2020Scope, DynamicReferenceTakesTheOutermostEntry) {
    struct Case {
        Resource resource;
        const char* document;
        const char* error;  // empty: valid
    };
    const Case cases[] = {
        {Resource::Applicator, R"({"not": {"type": 5}})", ""},
        {Resource::Dialect, R"({"not": {"type": 5}})", "/properties/type/anyOf @/not/type"},
        {Resource::Applicator, R"({"not": {"allOf": []}})", "/$defs/schemaArray/minItems @/not/allOf"},
        {Resource::Applicator, R"({"properties": {"a": {"items": 1}}})", "/type @/properties/a/items"},
        {Resource::Content, R"({"contentSchema": {"minLength": -1}})", ""},
        {Resource::Content, R"({"contentSchema": {"contentSchema": {"contentEncoding": 1}}})",
         "/properties/contentEncoding/type @/contentSchema/contentSchema/contentEncoding"},
        {Resource::Core, R"({"$defs": {"a": {"type": 5, "$anchor": "x"}}})", ""},
        {Resource::Core, R"({"$defs": {"a": {"$defs": {"b": {"$id": "a#b"}}}}})",
         "/properties/$id/pattern @/$defs/a/$defs/b/$id"},
        {Resource::Unevaluated, R"({"unevaluatedItems": {"type": 5, "unevaluatedProperties": 1}})",
         "/type @/unevaluatedItems/unevaluatedProperties"},
        {Resource::Validation, R"({"type": 5})", "/properties/type/anyOf @/type"},
        {Resource::Validation, R"({"not": 5, "title": 1})", ""},
        {Resource::MetaData, R"({"title": 1})", "/properties/title/type @/title"},
        {Resource::FormatAnnotation, R"({"format": 1, "title": 1})", "/properties/format/type @/format"},
        {Resource::FormatAnnotation, "5", "/type @"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        Value doc = parse(c.document);
        auto error = ms::draft2020_resource_first_error(c.resource, doc);
        EXPECT_EQ(error ? describe(*error) : std::string(), c.error);
        EXPECT_EQ(ms::draft2020_resource_is_valid(c.resource, doc), std::string_view(c.error).empty());
        auto all = ms::draft2020_resource_errors(c.resource, doc);
        EXPECT_EQ(all.empty() ? std::string() : describe(all.front()), c.error);
    }
}

const Value* meta_document(std::string_view id) {
    for (const auto& entry : deririrore::referencing::all_meta_schemas())
        if (entry.id == id) return entry.document.get();
    return nullptr;
}

TEST(Draft2020Scope, MetaSchemasPassTheirOwnCheckers) {
    const std::pair<const char*, Resource> resources[] = {
        {"https://json-schema.org/draft/2020-12/schema", Resource::Dialect},
        {"https://json-schema.org/draft/2020-12/meta/core", Resource::Core},
        {"https://json-schema.org/draft/2020-12/meta/applicator", Resource::Applicator},
        {"https://json-schema.org/draft/2020-12/meta/unevaluated", Resource::Unevaluated},
        {"https://json-schema.org/draft/2020-12/meta/validation", Resource::Validation},
        {"https://json-schema.org/draft/2020-12/meta/meta-data", Resource::MetaData},
        {"https://json-schema.org/draft/2020-12/meta/format-annotation", Resource::FormatAnnotation},
        {"https://json-schema.org/draft/2020-12/meta/content", Resource::Content},
    };
    for (const auto& [id, resource] : resources) {
        SCOPED_TRACE(id);
        const Value* doc = meta_document(id);
        ASSERT_NE(doc, nullptr);
        EXPECT_TRUE(ms::draft2020_is_valid(*doc));
        EXPECT_TRUE(ms::draft2020_resource_is_valid(resource, *doc));
        EXPECT_FALSE(ms::draft2020_resource_first_error(resource, *doc).has_value());
        EXPECT_TRUE(ms::draft2020_resource_errors(resource, *doc).empty());
    }
}

Value deep_chain(const std::string& keyword, std::size_t depth) {
    Value v = Value::object();
    for (std::size_t i = 0; i < depth; ++i) {
        Value::Object members;
        members.push_back({keyword, std::move(v)});
        v = Value::object(std::move(members));
    }
    return v;
}

// Every scope entry and visited pair is gone after a check, whatever its outcome, the refusal of
// a document nested too deep included.
TEST(Draft2020Scope, StacksAreEmptyAfterEveryCheck) {
    std::vector<Value> documents;
    for (const auto& c : kFirstErrorCases) documents.push_back(parse(c.document));
    documents.push_back(deep_chain("not", 1100));
    documents.push_back(deep_chain("dependencies", 1100));
    documents.push_back(deep_chain("contentSchema", 300));
    const auto before = ms::draft2020_scope_stats();
    for (const auto& doc : documents) {
        ms::draft2020_first_error(doc);
        ms::draft2020_is_valid(doc);
        ms::draft2020_errors(doc);
        for (Resource r : {Resource::Core, Resource::Applicator, Resource::Content})
            ms::draft2020_resource_errors(r, doc);
        const auto stats = ms::draft2020_scope_stats();
        EXPECT_EQ(stats.live_entries, 0u);
        EXPECT_EQ(stats.live_visited, 0u);
        EXPECT_EQ(stats.pushes, stats.pops);
    }
    const auto after = ms::draft2020_scope_stats();
    EXPECT_GT(after.pushes, before.pushes);
    EXPECT_GT(after.deepest, 3u);
}

TEST(Draft2020Limits, DeepNestingIsRefusedInEveryMode) {
    for (const char* keyword : {"not", "contentSchema", "unevaluatedItems", "dependencies"}) {
        SCOPED_TRACE(keyword);
        Value doc = deep_chain(keyword, 5000);
        EXPECT_FALSE(ms::draft2020_is_valid(doc));
        auto error = ms::draft2020_first_error(doc);
        ASSERT_TRUE(error);
        // Below `dependencies` the refusal sits in the branch lists of the anyOf error.
        if (std::string_view(keyword) != "dependencies") {
            EXPECT_NE(error->message().find("maximum depth"), std::string::npos) << error->schema_path().view();
        }
        EXPECT_FALSE(ms::draft2020_errors(doc).empty());
    }
    EXPECT_TRUE(ms::draft2020_is_valid(deep_chain("not", 500)));
}

const fs::path kSuiteDir = fs::path(VC_TESTDATA) / "json-schema-test-suite" / "tests" / "draft2020-12";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<Value> suite_schemas() {
    std::vector<Value> out;
    for (const auto& entry : fs::recursive_directory_iterator(kSuiteDir)) {
        if (entry.path().extension() != ".json") continue;
        auto groups = deririrore::value::parse_json(read_file(entry.path()));
        if (!groups || !groups->is_array()) continue;
        for (const auto& group : groups->as_array())
            if (const Value* schema = group.find("schema")) out.push_back(*schema);
    }
    return out;
}

std::vector<Value> with_mutations(const std::vector<Value>& schemas) {
    std::vector<Value> values;
    for (const char* text : {"5", "-1", "1.5", "0", "\"(\"", "\"x\"", "[]", "[1]", "[\"a\",\"a\"]", "{}", "{\"a\": 5}",
                             "true", "null", "\"#/a\"", "\"a#b\"", "\"string\"", "[\"string\"]", "{\"type\": 1}"})
        values.push_back(parse(text));
    std::vector<Value> out;
    for (const auto& schema : schemas) {
        out.push_back(schema);
        if (!schema.is_object()) continue;
        for (const auto& m : schema.as_object()) {
            for (const auto& v : values) {
                Value copy = schema;
                copy.insert_or_assign(m.key, v);
                out.push_back(std::move(copy));
            }
        }
    }
    return out;
}

TEST(Draft2020Suite, EverySuiteSchemaPasses) {
    if (!fs::is_directory(kSuiteDir)) GTEST_SKIP() << "no JSON Schema Test Suite at " << kSuiteDir;
    auto schemas = suite_schemas();
    ASSERT_GT(schemas.size(), 100u);
    for (const auto& schema : schemas) {
        auto error = ms::draft2020_first_error(schema);
        EXPECT_FALSE(error.has_value()) << describe(*error);
        EXPECT_TRUE(ms::draft2020_is_valid(schema));
    }
}

// The checker against the engine validating the same value against the embedded 2020-12
// meta-schema: the same verdict on every suite schema and every mutation of one, and the first
// error among the engine's errors.
TEST(Draft2020Suite, VerdictsAgreeWithTheEngine) {
    if (!fs::is_directory(kSuiteDir)) GTEST_SKIP() << "no JSON Schema Test Suite at " << kSuiteDir;
    const Value* meta = meta_document("https://json-schema.org/draft/2020-12/schema");
    ASSERT_NE(meta, nullptr);
    auto engine = deririrore::core::build_validator(
        *meta, deririrore::core::ValidationOptions().with_draft(ms::Draft::Draft202012).with_validate_schema(false));
    ASSERT_TRUE(engine) << engine.error().message();
    auto cases = with_mutations(suite_schemas());
    for (const char* text : {R"({"$schema": "relative/path"})", R"({"$id": "http://[::1/x"})", R"({"$anchor": "a.b"})",
                             R"({"$vocabulary": {"x": 1}})", R"({"dependencies": {"a": [1]}})",
                             R"({"$recursiveAnchor": false})", R"({"definitions": {"a": {"$id": "#x#"}}})"})
        cases.push_back(parse(text));
    std::size_t invalid = 0;
    for (const auto& c : cases) {
        bool ours = ms::draft2020_is_valid(c);
        ASSERT_EQ(ours, engine->is_valid(c)) << deririrore::value::to_json(c);
        if (ours) continue;
        ++invalid;
        auto error = ms::draft2020_first_error(c);
        ASSERT_TRUE(error);
        EXPECT_FALSE(ms::draft2020_errors(c).empty());
    }
    EXPECT_GT(cases.size(), 5000u);
    EXPECT_GT(invalid, 1000u);
}

std::string fingerprint(const Value& doc) {
    std::string out;
    auto first = ms::draft2020_first_error(doc);
    out += first ? describe(*first) : "valid";
    out += ms::draft2020_is_valid(doc) ? "|1|" : "|0|";
    for (const auto& e : ms::draft2020_errors(doc)) {
        out += describe(e) + ";";
        for (const auto& branch : branches(e)) {
            for (const auto& b : branch) out += b + ",";
            out += "/";
        }
    }
    return out;
}

// Each thread has its own scopes: eight threads checking at once give the answers of one.
TEST(Draft2020Scope, EightThreadsAgreeWithOne) {
    std::vector<Value> documents;
    for (const auto& c : kFirstErrorCases) documents.push_back(parse(c.document));
    documents.resize(30);
    documents = with_mutations(documents);
    documents.push_back(deep_chain("not", 1100));
    std::vector<std::string> expected;
    for (const auto& doc : documents) expected.push_back(fingerprint(doc));

    constexpr int kThreads = 8;
    std::vector<std::vector<std::string>> seen(kThreads);
    std::vector<ms::Draft2020ScopeStats> stats(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Each thread starts at another document, so that different checks overlap.
            const std::size_t n = documents.size();
            seen[t].resize(n);
            for (std::size_t k = 0; k < n; ++k) {
                std::size_t i = (k + static_cast<std::size_t>(t) * n / kThreads) % n;
                seen[t][i] = fingerprint(documents[i]);
            }
            stats[t] = ms::draft2020_scope_stats();
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(seen[t], expected);
        EXPECT_EQ(stats[t].live_entries, 0u);
        EXPECT_EQ(stats[t].live_visited, 0u);
        EXPECT_EQ(stats[t].pushes, stats[t].pops);
        EXPECT_GT(stats[t].pushes, 0u);
    }
}

}  // namespace
