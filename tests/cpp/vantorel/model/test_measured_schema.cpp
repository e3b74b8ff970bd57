// Measured schema compilation: the adaptations (xml, marked properties, nullable), the pattern
// retry, invalid schemas, and one compilation per distinct schema in a build.
#include <gtest/gtest.h>

#include <string>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/model/hydration.hpp"
#include "vantorel/model/measured_schema.hpp"
#include "vantorel/model/reference_context.hpp"

namespace {

using namespace vantorel::model;
using deririrore::referencing::Draft;
using deririrore::value::Member;
using deririrore::value::parse_json;
using deririrore::value::to_json;

Value json(std::string_view text) {
    auto parsed = parse_json(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? std::move(*parsed) : Value();
}

struct Compiled {
    Value schema;  // the caller's schema after the call
    Result<MeasuredSchema, SpecProblem> result;
};

Compiled compile(std::string_view text, Draft draft, std::string_view marker = kReadOnlyMarker, bool is_body = true,
                 MeasuredSchemaCache* cache = nullptr) {
    Value schema = json(text);
    auto result = compile_measured_schema(schema, draft, marker, is_body, cache);
    return Compiled{std::move(schema), std::move(result)};
}

std::string invalid_schema_message(const Compiled& compiled) {
    if (compiled.result) return "<compiled>";
    const auto* invalid = compiled.result.error().get_if<problems::InvalidSchema>();
    return invalid == nullptr ? "<other problem>" : invalid->error.message();
}

TEST(MeasuredSchema, NullableAdmitsNullForTheCompilationOnly) {
    const struct {
        std::string_view schema;
        bool null_valid;
        bool string_null_valid;  // the string "null", as a parameter
    } cases[] = {
        {R"({"type": "string", "nullable": true})", true, true},
        {R"({"type": ["string", "integer"], "nullable": true})", true, true},
        {R"({"type": ["string", "null"], "nullable": true})", true, true},
        // "null" already admits null: it must not become ["null", "null"].
        {R"({"type": "null", "nullable": true})", true, false},
        {R"({"nullable": true})", true, true},
        {R"({"type": "string", "nullable": false, "x-nullable": true})", false, false},
        {R"({"type": "string", "x-nullable": true})", true, true},
        {R"({"type": "integer", "nullable": false})", false, false},
        {R"({"properties": {"a": {"type": "integer", "nullable": true}}, "required": ["a"]})", true, true},
    };
    for (const auto& c : cases) {
        for (const Draft draft : {Draft::Draft4, Draft::Draft202012}) {
            auto body = compile(c.schema, draft);
            ASSERT_TRUE(body.result) << c.schema << ": " << invalid_schema_message(body);
            EXPECT_EQ(to_json(body.schema), to_json(json(c.schema))) << "caller's schema changed: " << c.schema;
            if (std::string_view(c.schema).starts_with(R"({"properties")")) {
                EXPECT_EQ(body.result->validator.is_valid(json(R"({"a": null})")), c.null_valid) << c.schema;
                continue;
            }
            EXPECT_EQ(body.result->validator.is_valid(Value::null()), c.null_valid) << c.schema;
            // A body's string "null" is a string; a parameter's counts as null.
            auto parameter = compile(c.schema, draft, kReadOnlyMarker, false);
            ASSERT_TRUE(parameter.result) << c.schema;
            EXPECT_EQ(parameter.result->validator.is_valid(Value::string("null")), c.string_null_valid) << c.schema;
        }
    }
    EXPECT_TRUE(invalid_schema_message(compile(R"({"type": "string", "nullable": 1})", Draft::Draft4))
                    .starts_with("`nullable` value should be boolean"));
}

TEST(MeasuredSchema, MarkedPropertiesLeaveOnlyTheirDirection) {
    const std::string_view schema = R"({
        "type": "object", "required": ["id", "name", "other"],
        "properties": {
            "id": {"type": "integer", "readOnly": true},
            "name": {"type": "string"},
            "secret": {"type": "string", "writeOnly": true},
            "text": {"type": "string", "readOnly": "yes"},
            "nested": {"$ref": "#/components/schemas/Inner"},
            "example": {"type": "object", "example": {"properties": {"x": {"readOnly": true}}, "required": ["x"]}}
        },
        "components": {"schemas": {"Inner": {"properties": {"k": {"readOnly": true}, "v": {}}, "required": ["k", "v"]}}},
        "x-doc": {"properties": {"x": {"readOnly": true}}}
    })";
    auto request = compile(schema, Draft::Draft4, kReadOnlyMarker, true);
    ASSERT_TRUE(request.result) << invalid_schema_message(request);
    EXPECT_EQ(to_json(*request.schema.find("required")), R"(["name","other"])");
    EXPECT_EQ(request.schema.find("properties")->find("id"), nullptr);
    EXPECT_NE(request.schema.find("properties")->find("secret"), nullptr);
    EXPECT_NE(request.schema.find("properties")->find("text"), nullptr);
    EXPECT_EQ(to_json(*deririrore::referencing::pointer_lookup(request.schema, "/components/schemas/Inner")),
              R"({"properties":{"v":{}},"required":["v"]})");
    // Data is never altered: neither an example literal nor an extension value.
    EXPECT_EQ(to_json(*deririrore::referencing::pointer_lookup(request.schema, "/properties/example/example")),
              R"({"properties":{"x":{"readOnly":true}},"required":["x"]})");
    EXPECT_EQ(to_json(*request.schema.find("x-doc")), R"({"properties":{"x":{"readOnly":true}}})");
    EXPECT_TRUE(request.result->validator.is_valid(json(R"({"name": "n", "other": 1, "id": "not checked"})")));

    auto response = compile(schema, Draft::Draft4, kWriteOnlyMarker, true);
    ASSERT_TRUE(response.result);
    EXPECT_EQ(to_json(*response.schema.find("required")), R"(["id","name","other"])");
    EXPECT_EQ(response.schema.find("properties")->find("secret"), nullptr);
    EXPECT_FALSE(response.result->validator.is_valid(json(R"({"name": "n"})")));
}

TEST(MeasuredSchema, XmlAnnotationsAreDroppedBelowSchemaKeywords) {
    auto compiled = compile(R"({"xml": {"name": "a"}, "properties": {"p": {"xml": {"attribute": true}}},
                              "items": [{"xml": {}}], "$defs": {"d": {"xml": {}}}, "example": {"xml": 1}})",
                            Draft::Draft7);
    ASSERT_TRUE(compiled.result);
    EXPECT_EQ(to_json(compiled.schema),
              R"({"$defs":{"d":{"xml":{}}},"example":{"xml":1},"items":[{}],"properties":{"p":{}}})");
}

TEST(MeasuredSchema, InvalidPatternsAreLeftOutAndPutBack) {
    MeasuredSchemaCache cache;
    auto one = compile(R"({"properties": {"code": {"type": "string", "pattern": "("}}})", Draft::Draft4,
                       kReadOnlyMarker, true, &cache);
    ASSERT_TRUE(one.result) << invalid_schema_message(one);
    ASSERT_EQ(one.result->removed_patterns.size(), 1u);
    EXPECT_EQ(one.result->removed_patterns[0].location, "/properties/code/pattern");
    EXPECT_EQ(to_json(one.result->removed_patterns[0].value), R"("(")");
    EXPECT_EQ(to_json(one.schema), R"({"properties":{"code":{"pattern":"(","type":"string"}}})");
    EXPECT_EQ(to_json(*one.result->schema), to_json(one.schema));
    EXPECT_TRUE(one.result->validator.is_valid(json(R"({"code": "anything"})")));
    EXPECT_EQ(cache.compilations(), 2u);

    // Two patterns, one inside a component reached by reference: three compilations in all.
    MeasuredSchemaCache two_cache;
    auto two = compile(R"({"properties": {"a": {"pattern": "[", "maxLength": 2}, "b": {"$ref": "#/definitions/B"}},
                          "definitions": {"B": {"pattern": "(?<"}}, "x-pattern": {"pattern": "("}})",
                       Draft::Draft4, kReadOnlyMarker, true, &two_cache);
    ASSERT_TRUE(two.result) << invalid_schema_message(two);
    ASSERT_EQ(two.result->removed_patterns.size(), 2u);
    EXPECT_EQ(two_cache.compilations(), 3u);
    EXPECT_EQ(two.result->removed_patterns[0].location.substr(two.result->removed_patterns[0].location.size() - 8),
              "/pattern");
    EXPECT_FALSE(two.result->validator.is_valid(json(R"({"a": "abc"})")));
    EXPECT_EQ(to_json(*deririrore::referencing::pointer_lookup(two.schema, "/definitions/B")), R"({"pattern":"(?<"})");

    // Under 2020-12 the meta-schema does not assert "regex": the schema is invalid, once.
    MeasuredSchemaCache refused_cache;
    auto refused = compile(R"({"properties": {"code": {"type": "string", "pattern": "("}}})", Draft::Draft202012,
                           kReadOnlyMarker, true, &refused_cache);
    EXPECT_FALSE(refused.result);
    EXPECT_TRUE(refused.result.error().is<problems::InvalidSchema>());
    EXPECT_EQ(refused_cache.compilations(), 1u);

    // A property named "pattern" is never taken for the keyword; a failure no retry mends is
    // reported after one compilation.
    MeasuredSchemaCache named_cache;
    auto named = compile(R"({"properties": {"pattern": 5}})", Draft::Draft4, kReadOnlyMarker, true, &named_cache);
    EXPECT_FALSE(named.result);
    EXPECT_EQ(named_cache.compilations(), 1u);
    EXPECT_EQ(to_json(named.schema), R"({"properties":{"pattern":5}})");
    MeasuredSchemaCache typo_cache;
    auto typo = compile(R"({"type": "strnig"})", Draft::Draft4, kReadOnlyMarker, true, &typo_cache);
    EXPECT_FALSE(typo.result);
    EXPECT_EQ(typo_cache.compilations(), 1u);
}

// The meta-schema check runs before each compilation: a schema that breaks it is invalid with
// the check's error, and a refused `pattern` value is left out and put back, under any draft.
TEST(MeasuredSchema, MetaSchemaCheckDecidesAndTheRetryMendsPatterns) {
    struct Case {
        const char* schema;
        Draft draft;
        const char* removed;     // the removed pattern's location, or empty
        const char* error_path;  // the invalid schema's error, or empty
        std::size_t compilations;
    };
    const Case cases[] = {
        {R"({"properties": {"code": {"pattern": 5}}})", Draft::Draft202012, "/properties/code/pattern", "", 2},
        {R"({"properties": {"code": {"pattern": 5}}})", Draft::Draft4, "/properties/code/pattern", "", 2},
        // Found in the branch lists of the `items` anyOf error.
        {R"({"items": {"pattern": "[a-"}})", Draft::Draft7, "/items/pattern", "", 2},
        {R"({"items": {"items": [{"pattern": "("}]}})", Draft::Draft4, "/items/items/0/pattern", "", 2},
        {R"({"minLength": -1})", Draft::Draft7, "", "/definitions/nonNegativeInteger/minimum", 1},
        {R"({"minLength": -1})", Draft::Draft202012, "", "/$defs/nonNegativeInteger/minimum", 1},
        {R"({"properties": {"a": {"type": "strnig"}}})", Draft::Draft202012, "", "/properties/type/anyOf", 1},
        // A property named "pattern" is a schema, not the keyword: never taken out.
        {R"({"properties": {"pattern": 5}})", Draft::Draft202012, "", "/type", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema);
        MeasuredSchemaCache cache;
        auto compiled = compile(c.schema, c.draft, kReadOnlyMarker, true, &cache);
        EXPECT_EQ(cache.compilations(), c.compilations);
        if (std::string_view(c.error_path).empty()) {
            ASSERT_TRUE(compiled.result) << invalid_schema_message(compiled);
            ASSERT_EQ(compiled.result->removed_patterns.size(), 1u);
            EXPECT_EQ(compiled.result->removed_patterns[0].location, c.removed);
            EXPECT_EQ(to_json(compiled.schema), to_json(json(c.schema)));
            continue;
        }
        ASSERT_FALSE(compiled.result);
        const auto* invalid = compiled.result.error().get_if<problems::InvalidSchema>();
        ASSERT_NE(invalid, nullptr);
        EXPECT_EQ(invalid->error.schema_path().view(), c.error_path);
    }
}

TEST(MeasuredSchema, GivingUpKeepsTheRemovedPatternsOut) {
    MeasuredSchemaCache cache;
    const std::string_view text = R"({"properties": {"a": {"pattern": "("}, "b": {"type": "strnig"}}})";
    auto first = compile(text, Draft::Draft7, kReadOnlyMarker, true, &cache);
    ASSERT_FALSE(first.result);
    // The same schema again is answered from the cache, with the same change to the caller's schema.
    auto second = compile(text, Draft::Draft7, kReadOnlyMarker, true, &cache);
    ASSERT_FALSE(second.result);
    EXPECT_EQ(to_json(first.schema), to_json(second.schema));
    EXPECT_EQ(invalid_schema_message(first), invalid_schema_message(second));
    EXPECT_EQ(cache.size(), 1u);
}

TEST(MeasuredSchema, OneComponentUsedByAThousandOperationsCompilesOnce) {
    std::string paths;
    for (int i = 0; i < 1000; ++i) {
        if (i != 0) paths += ",";
        paths +=
            R"("/pets/)" + std::to_string(i) +
            R"(": {"post": {"requestBody": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}}}}}})";
    }
    const Value document = json(R"({"openapi": "3.0.3", "paths": {)" + paths + R"(}, "components": {"schemas": {
        "Pet": {"type": "object", "required": ["name"], "properties": {
            "name": {"type": "string", "pattern": "^[a-z]+$"}, "id": {"type": "integer", "readOnly": true},
            "tag": {"$ref": "#/components/schemas/Tag"}}},
        "Tag": {"type": "string", "nullable": true}}}})");
    auto context = new_reference_context(document, SpecVersion::OpenApi30, std::nullopt);
    MeasuredSchemaCache cache;
    const deririrore::core::SchemaNode* shared_root = nullptr;
    const Value* shared_schema = nullptr;
    for (const auto& path_item : document.find("paths")->as_object()) {
        const Value* schema = deririrore::referencing::pointer_lookup(
            path_item.value, "/post/requestBody/content/application~1json/schema");
        ASSERT_NE(schema, nullptr);
        auto hydrated = hydrate_schema_in_scope(context, *schema);
        ASSERT_TRUE(hydrated);
        // Every measured schema holds its own copy of the components it needs.
        ASSERT_NE(deririrore::referencing::pointer_lookup(*hydrated, "/components/schemas/Tag"), nullptr);
        Value measured_schema = std::move(*hydrated);
        const Draft draft = openapi_document_draft(context.hydration, measured_schema);
        auto measured = compile_measured_schema(measured_schema, draft, kReadOnlyMarker, true, &cache);
        ASSERT_TRUE(measured);
        if (shared_root == nullptr) shared_root = &measured->validator.root();
        EXPECT_EQ(&measured->validator.root(), shared_root);
        // The schema the validator was built from is shared too, and equals the caller's.
        ASSERT_NE(measured->schema, nullptr);
        EXPECT_TRUE(identical(*measured->schema, measured_schema));
        if (shared_schema == nullptr) shared_schema = measured->schema.get();
        EXPECT_EQ(measured->schema.get(), shared_schema);
    }
    EXPECT_EQ(cache.compilations(), 1u);
    EXPECT_EQ(cache.size(), 1u);
    // The same schema as a response body differs (nothing dropped by "writeOnly"): one more.
    Value response = *deririrore::referencing::pointer_lookup(document, "/components/schemas/Pet");
    auto hydrated = hydrate_schema_in_scope(context, std::move(response));
    ASSERT_TRUE(hydrated);
    ASSERT_TRUE(compile_measured_schema(*hydrated, Draft::Draft4, kWriteOnlyMarker, true, &cache));
    EXPECT_EQ(cache.compilations(), 2u);
}

TEST(MeasuredSchema, DeepSchemasDoNotExhaustTheStack) {
    Value schema = json(R"({"type": "string", "nullable": true, "xml": {}})");
    for (int i = 0; i < 100000; ++i) {
        Value::Object property;
        property.push_back(Member{"p", std::move(schema)});
        Value::Object members;
        members.push_back(Member{"properties", Value::object(std::move(property))});
        members.push_back(Member{"xml", Value::object()});
        schema = Value::object(std::move(members));
    }
    strip_xml_keywords(schema);
    drop_marked_properties(schema, kReadOnlyMarker);
    std::string path;
    std::vector<TypeRewrite> rewrites;
    rewrite_nullable_types(schema, path, rewrites);
    ASSERT_EQ(rewrites.size(), 1u);
    EXPECT_EQ(rewrites[0].location.size(), std::string("/properties/p").size() * 100000);
    restore_saved_types(schema, std::move(rewrites));
    EXPECT_EQ(schema.find("xml"), nullptr);
}

}  // namespace
