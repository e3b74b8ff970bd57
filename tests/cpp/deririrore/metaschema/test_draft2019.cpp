#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "checker_fixtures.hpp"
#include "deririrore/metaschema/draft2019.hpp"
#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/referencing/meta.hpp"
#include "deririrore/value/json.hpp"

namespace {

using deririrore::core::ValidationError;
using deririrore::metaschema::Draft;
using deririrore::value::Value;
namespace kinds = deririrore::core::kinds;
namespace ms = deririrore::metaschema;
namespace detail = deririrore::metaschema::detail;

constexpr Draft k2019 = Draft::Draft201909;

using ms::test_fixtures::branches;
using ms::test_fixtures::describe_all;
using ms::test_fixtures::nested_document;
using ms::test_fixtures::Nesting;
using ms::test_fixtures::parse;

void expect_stacks_empty() {
    auto sizes = detail::draft201909_stack_sizes();
    EXPECT_EQ(sizes.first_error, 0u);
    EXPECT_EQ(sizes.is_valid, 0u);
    EXPECT_EQ(sizes.collect, 0u);
    EXPECT_EQ(sizes.visited, 0u);
}

struct Case2019 {
    const char* document;
    const char* schema_path;  // empty: valid
    const char* instance_path;
    const char* keyword;
};

const Case2019 kCases2019[] = {
    {"true", "", "", ""},
    {"false", "", "", ""},
    {R"({"$recursiveAnchor": false})", "", "", ""},
    {R"({"$recursiveAnchor": "true"})", "/properties/$recursiveAnchor/type", "/$recursiveAnchor", "type"},
    {"5", "/type", "", "type"},
    {"[]", "/type", "", "type"},
    // Core.
    {R"({"$id": "a#b"})", "/properties/$id/pattern", "/$id", "pattern"},
    {R"({"$id": "a#"})", "", "", ""},
    {R"({"$id": "#"})", "", "", ""},
    {R"({"$id": ""})", "", "", ""},
    {R"({"$id": "#/definitions"})", "/properties/$id/pattern", "/$id", "pattern"},
    {R"({"$id": 3, "type": 5})", "/properties/$id/type", "/$id", "type"},
    {R"({"$anchor": "1a"})", "/properties/$anchor/pattern", "/$anchor", "pattern"},
    {"{\"$anchor\": \"a\\n\"}", "/properties/$anchor/pattern", "/$anchor", "pattern"},
    {R"({"$anchor": "a-Z0.:_"})", "", "", ""},
    {R"({"$anchor": 1})", "/properties/$anchor/type", "/$anchor", "type"},
    {R"({"$schema": "definitions", "$ref": "not a uri", "$recursiveRef": "#x"})", "", "", ""},
    {R"({"$schema": 1})", "/properties/$schema/type", "/$schema", "type"},
    {R"({"$vocabulary": {"x": 1}})", "/properties/$vocabulary/additionalProperties/type", "/$vocabulary/x", "type"},
    {R"({"$vocabulary": {"not a uri": true}})", "", "", ""},
    {R"({"$vocabulary": []})", "/properties/$vocabulary/type", "/$vocabulary", "type"},
    {R"({"$defs": {"a": {"$id": 5}}})", "/properties/$id/type", "/$defs/a/$id", "type"},
    {R"({"$defs": {"x": {"minimum": "m"}}})", "/properties/minimum/type", "/$defs/x/minimum", "type"},
    {R"({"$comment": 1})", "/properties/$comment/type", "/$comment", "type"},
    // Applicator, which runs before validation whatever the key order.
    {R"({"minimum": "x", "not": 5})", "/type", "/not", "type"},
    {R"({"allOf": []})", "/$defs/schemaArray/minItems", "/allOf", "minItems"},
    {R"({"allOf": [true, 5]})", "/type", "/allOf/1", "type"},
    {R"({"oneOf": {}})", "/$defs/schemaArray/type", "/oneOf", "type"},
    {R"({"items": []})", "/properties/items/anyOf", "/items", "anyOf"},
    {R"({"items": [true]})", "", "", ""},
    {R"({"items": {}})", "", "", ""},
    {R"({"patternProperties": {"[": {}}})", "", "", ""},
    {R"({"properties": []})", "/properties/properties/type", "/properties", "type"},
    {R"({"dependentSchemas": {"a": {"type": 1}}})", "/properties/type/anyOf", "/dependentSchemas/a/type", "anyOf"},
    {R"({"unevaluatedProperties": {"format": 1}})", "/properties/format/type", "/unevaluatedProperties/format", "type"},
    // Validation.
    {R"({"minLength": -1})", "/$defs/nonNegativeInteger/minimum", "/minLength", "minimum"},
    {R"({"maxLength": 1.5})", "/$defs/nonNegativeInteger/type", "/maxLength", "type"},
    {R"({"maxLength": 1.0, "minContains": 0})", "", "", ""},
    {R"({"minContains": -1})", "/$defs/nonNegativeInteger/minimum", "/minContains", "minimum"},
    {R"({"maxItems": "1"})", "/$defs/nonNegativeInteger/type", "/maxItems", "type"},
    {R"({"multipleOf": 0})", "/properties/multipleOf/exclusiveMinimum", "/multipleOf", "exclusiveMinimum"},
    {R"({"multipleOf": "2"})", "/properties/multipleOf/type", "/multipleOf", "type"},
    {R"({"multipleOf": 1e-400})", "", "", ""},
    {R"({"exclusiveMaximum": true})", "/properties/exclusiveMaximum/type", "/exclusiveMaximum", "type"},
    {R"({"required": ["a", "a"]})", "/$defs/stringArray/uniqueItems", "/required", "uniqueItems"},
    {R"({"required": [1, 1]})", "/$defs/stringArray/uniqueItems", "/required", "uniqueItems"},
    {R"({"required": ["a", 1]})", "/$defs/stringArray/items/type", "/required/1", "type"},
    {R"({"required": []})", "", "", ""},
    {R"({"dependentRequired": {"a": "b"}})", "/$defs/stringArray/type", "/dependentRequired/a", "type"},
    {R"({"type": []})", "/properties/type/anyOf", "/type", "anyOf"},
    {R"({"type": ["string", "null"]})", "", "", ""},
    {R"({"type": ["string", "string"]})", "/properties/type/anyOf", "/type", "anyOf"},
    {R"({"type": "Integer"})", "/properties/type/anyOf", "/type", "anyOf"},
    {R"({"enum": 5})", "/properties/enum/type", "/enum", "type"},
    {R"({"enum": [], "const": 5, "pattern": "["})", "", "", ""},
    {R"({"uniqueItems": 1})", "/properties/uniqueItems/type", "/uniqueItems", "type"},
    {R"({"maximum": "a", "minimum": "b"})", "/properties/maximum/type", "/maximum", "type"},
    // Meta-data, format, content.
    {R"({"deprecated": 1})", "/properties/deprecated/type", "/deprecated", "type"},
    {R"({"examples": {}})", "/properties/examples/type", "/examples", "type"},
    {R"({"default": 5, "format": "no-such-format"})", "", "", ""},
    {R"({"format": 5})", "/properties/format/type", "/format", "type"},
    {R"({"contentSchema": 5})", "/type", "/contentSchema", "type"},
    {R"({"contentSchema": {"minimum": "x"}})", "/properties/minimum/type", "/contentSchema/minimum", "type"},
    {R"({"contentEncoding": 1})", "/properties/contentEncoding/type", "/contentEncoding", "type"},
    // The dialect's own keywords, after all six vocabularies.
    {R"({"definitions": {"a": 5}})", "/type", "/definitions/a", "type"},
    {R"({"definitions": 5, "$comment": 1})", "/properties/$comment/type", "/$comment", "type"},
    {R"({"definitions": 5, "title": 1})", "/properties/title/type", "/title", "type"},
    {R"({"dependencies": []})", "/properties/dependencies/type", "/dependencies", "type"},
    {R"({"dependencies": {"a": ["b", "b"]}})", "/properties/dependencies/additionalProperties/anyOf", "/dependencies/a",
     "anyOf"},
    {R"({"dependencies": {"a": ["b"], "c": {}}})", "", "", ""},
};

TEST(Draft2019Checker, FirstErrorTableAndModesAgree) {
    for (const auto& c : kCases2019) {
        SCOPED_TRACE(c.document);
        ms::test_fixtures::expect_modes_agree(k2019, parse(c.document), c.schema_path, c.instance_path, c.keyword,
                                              expect_stacks_empty);
    }
}

TEST(Draft2019Checker, ErrorPayloads) {
    auto error = ms::check_meta_schema(k2019, parse(R"({"$anchor": "1a"})"));
    ASSERT_TRUE(error);
    EXPECT_EQ(std::get<kinds::Pattern>(error->kind()).pattern, "^[A-Za-z][-A-Za-z0-9.:_]*$");
    error = ms::check_meta_schema(k2019, parse(R"({"$id": "a#b"})"));
    ASSERT_TRUE(error);
    EXPECT_EQ(std::get<kinds::Pattern>(error->kind()).pattern, "^[^#]*#?$");
    error = ms::check_meta_schema(k2019, parse(R"({"minLength": -1})"));
    ASSERT_TRUE(error);
    EXPECT_EQ(std::get<kinds::Minimum>(error->kind()).limit.number_text(), "0");
    error = ms::check_meta_schema(k2019, parse(R"({"multipleOf": -2})"));
    ASSERT_TRUE(error);
    EXPECT_EQ(std::get<kinds::ExclusiveMinimum>(error->kind()).limit.number_text(), "0");
    error = ms::check_meta_schema(k2019, parse("5"));
    ASSERT_TRUE(error);
    const auto& type = std::get<kinds::Type>(error->kind());
    EXPECT_TRUE(type.multiple);
}

std::vector<std::string> seven_type_errors(const std::string& at) {
    return std::vector<std::string>(7, "/type @" + at);
}

TEST(Draft2019Checker, CollectsEveryErrorInVocabularyOrder) {
    struct Case {
        const char* document;
        std::vector<std::string> errors;
    };
    const Case cases[] = {
        {"5", seven_type_errors("")},
        {"null", seven_type_errors("")},
        {R"({"contentSchema": 3})", seven_type_errors("/contentSchema")},
        {R"({"not": 3})", seven_type_errors("/not")},
        {R"({"definitions": {"a": {}, "b": 3}})", seven_type_errors("/definitions/b")},
        {R"({"$defs": {"x": 5}})", seven_type_errors("/$defs/x")},
        {R"({"anyOf": [true, 3, {}]})", seven_type_errors("/anyOf/1")},
        {R"({"required": ["a", "a", 1]})",
         {"/$defs/stringArray/uniqueItems @/required", "/$defs/stringArray/items/type @/required/2"}},
        {R"({"required": [1, 1]})",
         {"/$defs/stringArray/uniqueItems @/required", "/$defs/stringArray/items/type @/required/0",
          "/$defs/stringArray/items/type @/required/1"}},
        {R"({"maxItems": -1.5})",
         {"/$defs/nonNegativeInteger/type @/maxItems", "/$defs/nonNegativeInteger/minimum @/maxItems"}},
        {R"({"dependentRequired": {"a": ["x"], "c": 1}})", {"/$defs/stringArray/type @/dependentRequired/c"}},
        {R"({"$vocabulary": {"a": 1, "b": true, "c": "x"}})",
         {"/properties/$vocabulary/additionalProperties/type @/$vocabulary/a",
          "/properties/$vocabulary/additionalProperties/type @/$vocabulary/c"}},
        // Core, applicator, validation, meta-data, format, content, then the dialect's own.
        {R"({"definitions": 5, "format": 1, "title": 1, "uniqueItems": 1, "dependentRequired": 1, "then": 3,
             "allOf": [], "$comment": 1, "contentEncoding": 1})",
         [] {
             std::vector<std::string> v{"/properties/$comment/type @/$comment", "/$defs/schemaArray/minItems @/allOf"};
             for (const auto& e : seven_type_errors("/then")) v.push_back(e);
             for (const char* e :
                  {"/properties/dependentRequired/type @/dependentRequired",
                   "/properties/uniqueItems/type @/uniqueItems", "/properties/title/type @/title",
                   "/properties/format/type @/format", "/properties/contentEncoding/type @/contentEncoding",
                   "/properties/definitions/type @/definitions"})
                 v.push_back(e);
             return v;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        EXPECT_EQ(describe_all(ms::collect_meta_schema_errors(k2019, parse(c.document))), c.errors);
        expect_stacks_empty();
    }
    // The first-error mode reports one of them: the core vocabulary's.
    auto first = ms::check_meta_schema(k2019, parse("5"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->schema_path().view(), "/type");
}

TEST(Draft2019Checker, AnyOfBranchLists) {
    struct Case {
        const char* document;
        const char* at;
        std::vector<std::vector<std::string>> branches;
    };
    const Case cases[] = {
        {R"({"items": 3})", "/items", {seven_type_errors("/items"), {"/$defs/schemaArray/type @/items"}}},
        {R"({"items": []})", "/items", {seven_type_errors("/items"), {"/$defs/schemaArray/minItems @/items"}}},
        {R"({"items": [true, {"not": 1}]})",
         "/items",
         {seven_type_errors("/items"), seven_type_errors("/items/1/not")}},
        {R"({"dependencies": {"a": ["x"], "b": 3}})",
         "/dependencies/b",
         {seven_type_errors("/dependencies/b"), {"/$defs/stringArray/type @/dependencies/b"}}},
        {R"({"dependencies": {"a": {"type": 1}}})",
         "/dependencies/a",
         {{"/properties/type/anyOf @/dependencies/a/type"}, {"/$defs/stringArray/type @/dependencies/a"}}},
        {R"({"type": "x"})", "/type", {{"/$defs/simpleTypes/enum @/type"}, {"/properties/type/anyOf/1/type @/type"}}},
        {R"({"type": []})",
         "/type",
         {{"/$defs/simpleTypes/enum @/type"}, {"/properties/type/anyOf/1/minItems @/type"}}},
        {R"({"type": ["null", "null"]})",
         "/type",
         {{"/$defs/simpleTypes/enum @/type"}, {"/properties/type/anyOf/1/uniqueItems @/type"}}},
        {R"({"type": ["null", "x"]})",
         "/type",
         {{"/$defs/simpleTypes/enum @/type"}, {"/$defs/simpleTypes/enum @/type/1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        Value doc = parse(c.document);
        auto first = ms::check_meta_schema(k2019, doc);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->instance_path().view(), c.at);
        EXPECT_EQ(branches(*first), c.branches);
        auto all = ms::collect_meta_schema_errors(k2019, doc);
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(branches(all[0]), c.branches);
        expect_stacks_empty();
    }
    auto error = ms::check_meta_schema(k2019, parse(R"({"type": "x"})"));
    ASSERT_TRUE(error);
    const auto& enum_error = std::get<kinds::AnyOf>(error->kind()).context[0][0];
    EXPECT_TRUE(identical(std::get<kinds::Enum>(enum_error.kind()).options,
                          parse(R"(["array","boolean","integer","null","number","object","string"])")));
}

// The errors the entry returns outlive the document, the branch lists of an anyOf included.
TEST(Draft2019Checker, EntryErrorOutlivesTheDocument) {
    std::optional<ValidationError> error;
    {
        Value doc = parse(R"({"properties": {"a": {"items": {"type": ["x"]}}}})");
        error = ms::validate_against_meta_schema(k2019, doc);
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(error->instance_path().view(), "/properties/a/items");
    EXPECT_EQ(deririrore::value::to_json(error->instance()), R"({"type":["x"]})");
    const auto& branches = std::get<kinds::AnyOf>(error->kind()).context;
    ASSERT_EQ(branches.size(), 2u);
    ASSERT_EQ(branches[0].size(), 1u);
    const ValidationError& nested = branches[0][0];
    EXPECT_EQ(nested.schema_path().view(), "/properties/type/anyOf");
    EXPECT_EQ(deririrore::value::to_json(nested.instance()), R"(["x"])");
    const auto& inner = std::get<kinds::AnyOf>(nested.kind()).context;
    ASSERT_EQ(inner.size(), 2u);
    ASSERT_EQ(inner[1].size(), 1u);
    EXPECT_EQ(deririrore::value::to_json(inner[1][0].instance()), R"("x")");
    EXPECT_FALSE(error->message().empty());
}

TEST(Draft2019Checker, CorePatterns) {
    struct Case {
        const char* text;
        bool id;
        bool anchor;
    };
    const Case cases[] = {
        {"", true, false},          {"#", true, false},   {"a#", true, false},        {"a#b", false, false},
        {"a##", false, false},      {"abc", true, true},  {"a-b.c:d_e9", true, true}, {"1a", true, false},
        {"a\n", true, false},       {"\n#", true, false}, {"_a", true, false},        {"a b", true, false},
        {"h\xC3\xA9", true, false}, {"#a", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(detail::draft201909_id_matches(c.text), c.id);
        EXPECT_EQ(detail::draft201909_anchor_matches(c.text), c.anchor);
    }
}

TEST(Draft2019Checker, PublishedMetaSchemasPassTheirOwnChecker) {
    const auto& list = deririrore::referencing::meta_schemas_for_draft(k2019);
    EXPECT_EQ(list.size(), 7u);
    for (const auto& entry : list) {
        SCOPED_TRACE(std::string(entry.id));
        auto error = ms::check_meta_schema(k2019, *entry.document);
        EXPECT_FALSE(error.has_value()) << error->schema_path().view() << " at " << error->instance_path().view();
        EXPECT_TRUE(ms::is_valid_meta_schema(k2019, *entry.document));
        EXPECT_TRUE(ms::collect_meta_schema_errors(k2019, *entry.document).empty());
    }
    expect_stacks_empty();
}

// The depth error, at the top or inside the branch lists of an anyOf on the way down.
bool holds_depth_error(const ValidationError& error) {
    std::vector<const ValidationError*> stack{&error};
    while (!stack.empty()) {
        const ValidationError* e = stack.back();
        stack.pop_back();
        if (const auto* custom = std::get_if<kinds::Custom>(&e->kind()))
            if (custom->message.find("maximum depth") != std::string::npos) return true;
        if (const auto* any = std::get_if<kinds::AnyOf>(&e->kind()))
            for (const auto& branch : any->context)
                for (const auto& nested : branch) stack.push_back(&nested);
    }
    return false;
}

// Each thread resolves through its own stacks: concurrent checks of different documents keep
// their verdicts and leave every thread's stacks empty.
TEST(Draft2019Checker, ThreadsKeepTheirOwnScope) {
    const Value bad = parse(R"({"properties": {"a": {"items": [{"not": {"type": "x"}}]}}})");
    const Value good = parse(R"({"properties": {"a": {"items": [{"not": {"type": "null"}}]}}})");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const Value& doc = (i + t) % 2 == 0 ? bad : good;
                auto error = ms::check_meta_schema(k2019, doc);
                if (error.has_value() != (&doc == &bad)) ++wrong;
                if (ms::is_valid_meta_schema(k2019, doc) != (&doc == &good)) ++wrong;
                auto sizes = detail::draft201909_stack_sizes();
                if (sizes.first_error + sizes.is_valid + sizes.collect + sizes.visited != 0) ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Draft2019Checker, HugeNestingIsAnErrorInEveryModeAndLeavesTheStacksEmpty) {
    struct Case {
        const char* keyword;
        Nesting nesting;
    };
    const Case cases[] = {{"not", Nesting::Direct},           {"items", Nesting::Direct},
                          {"items", Nesting::InArray},        {"allOf", Nesting::InArray},
                          {"properties", Nesting::InMap},     {"$defs", Nesting::InMap},
                          {"definitions", Nesting::InMap},    {"dependencies", Nesting::InMap},
                          {"contentSchema", Nesting::Direct}, {"dependentSchemas", Nesting::InMap}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyword);
        Value doc = nested_document(c.keyword, c.nesting, 100000);
        EXPECT_FALSE(ms::is_valid_meta_schema(k2019, doc));
        expect_stacks_empty();
        auto first = ms::check_meta_schema(k2019, doc);
        expect_stacks_empty();
        ASSERT_TRUE(first.has_value());
        EXPECT_FALSE(ms::collect_meta_schema_errors(k2019, doc).empty());
        expect_stacks_empty();
        auto owned = ms::validate_against_meta_schema(k2019, doc);
        ASSERT_TRUE(owned.has_value());
        EXPECT_TRUE(holds_depth_error(*owned));
        expect_stacks_empty();
        // Within the limit a deep but sound document passes.
        EXPECT_TRUE(ms::is_valid_meta_schema(
            k2019, nested_document(c.keyword, c.nesting, c.nesting == Nesting::Direct ? 900 : 450)));
    }
}

}  // namespace
