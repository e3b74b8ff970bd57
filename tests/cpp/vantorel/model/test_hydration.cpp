// Schema hydration: targets in the API document and in referenced files copied into the measured
// schema, references rewritten, failures, and the draft a hydrated schema is compiled with.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/model/document_text.hpp"
#include "vantorel/model/hydration.hpp"
#include "vantorel/model/measured_schema.hpp"

namespace {

using namespace vantorel::model;
using deririrore::referencing::Draft;
using deririrore::value::Member;
using deririrore::value::parse_json;
using deririrore::value::to_json;
namespace fs = std::filesystem;

Value json(std::string_view text) {
    auto parsed = parse_json(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? std::move(*parsed) : Value();
}

HydrationState record(const Value& document, Draft draft = Draft::Draft4) {
    return HydrationState{&document, std::nullopt, draft};
}

Result<Value, ReferenceFailure> hydrate(std::string_view schema, const Value& document, Draft draft = Draft::Draft4) {
    auto state = record(document, draft);
    return hydrate_openapi_document(json(schema), state, nullptr);
}

std::string hydrated_text(std::string_view schema, const Value& document, Draft draft = Draft::Draft4) {
    auto result = hydrate(schema, document, draft);
    EXPECT_TRUE(result) << schema;
    return result ? to_json(*result) : std::string();
}

TEST(Hydration, PlacesTargetsAtTheirOwnPointers) {
    const Value document = json(R"({
        "components": {"schemas": {
            "A": {"properties": {"b": {"$ref": "#/components/schemas/B"}, "x": {"type": "string"}}},
            "B": {"properties": {"a": {"$ref": "#/components/schemas/A"}}},
            "L": {"allOf": [{"type": "string"}, {"minLength": 1}]},
            "Plain": {"type": "integer"}
        }},
        "paths": {"/p": {"get": {"x-body": {"type": "boolean"}}}}
    })");
    const struct {
        std::string_view schema;
        std::string_view hydrated;
    } cases[] = {
        // Nothing to place: no "components" member is added.
        {R"({"type": "string"})", R"({"type":"string"})"},
        // A cycle: each of A and B placed once, references unchanged.
        {R"({"$ref": "#/components/schemas/A"})",
         R"({"$ref":"#/components/schemas/A","components":{"schemas":{"A":{"properties":{"b":{"$ref":"#/components/schemas/B"},"x":{"type":"string"}}},"B":{"properties":{"a":{"$ref":"#/components/schemas/A"}}}}}})"},
        // A deep pointer and its ancestor, in either order, give the whole ancestor.
        {R"({"allOf": [{"$ref": "#/components/schemas/A/properties/x"}, {"$ref": "#/components/schemas/A"}]})",
         R"({"allOf":[{"$ref":"#/components/schemas/A/properties/x"},{"$ref":"#/components/schemas/A"}],"components":{"schemas":{"A":{"properties":{"b":{"$ref":"#/components/schemas/B"},"x":{"type":"string"}}},"B":{"properties":{"a":{"$ref":"#/components/schemas/A"}}}}}})"},
        {R"({"allOf": [{"$ref": "#/components/schemas/A"}, {"$ref": "#/components/schemas/A/properties/x"}]})",
         R"({"allOf":[{"$ref":"#/components/schemas/A"},{"$ref":"#/components/schemas/A/properties/x"}],"components":{"schemas":{"A":{"properties":{"b":{"$ref":"#/components/schemas/B"},"x":{"type":"string"}}},"B":{"properties":{"a":{"$ref":"#/components/schemas/A"}}}}}})"},
        // Through an array: the items before the target are empty objects.
        {R"({"$ref": "#/components/schemas/L/allOf/1"})",
         R"({"$ref":"#/components/schemas/L/allOf/1","components":{"schemas":{"L":{"allOf":[{},{"minLength":1}]}}}})"},
        // Anywhere in the document, escaped tokens included.
        {R"({"$ref": "#/paths/~1p/get/x-body"})",
         R"({"$ref":"#/paths/~1p/get/x-body","paths":{"/p":{"get":{"x-body":{"type":"boolean"}}}}})"},
        // A "%" without two hexadecimal digits stays as written.
        {R"({"$ref": "#/components/schemas/Pl%61in"})",
         R"({"$ref":"#/components/schemas/Pl%61in","components":{"schemas":{"Plain":{"type":"integer"}}}})"},
        // Values of data members are data: their "$ref" is never followed.
        {R"({"example": {"$ref": "#/components/schemas/Missing"}, "enum": [{"$ref": "#/x"}], "x-ext": {"$ref": "#/y"},
             "default": {"$ref": "#/z"}, "const": {"$ref": "#/w"}, "examples": [{"$ref": "#/v"}]})",
         R"({"const":{"$ref":"#/w"},"default":{"$ref":"#/z"},"enum":[{"$ref":"#/x"}],"example":{"$ref":"#/components/schemas/Missing"},"examples":[{"$ref":"#/v"}],"x-ext":{"$ref":"#/y"}})"},
        // ... but a property that is merely named like one is a schema.
        {R"({"properties": {"example": {"$ref": "#/components/schemas/Plain"}}})",
         R"({"components":{"schemas":{"Plain":{"type":"integer"}}},"properties":{"example":{"$ref":"#/components/schemas/Plain"}}})"},
        // A "$ref" that is not a string is no reference (a property named "$ref").
        {R"({"properties": {"$ref": {"type": "string"}}})", R"({"properties":{"$ref":{"type":"string"}}})"},
        // An anchor nobody indexed stays as it is.
        {R"({"$ref": "#nowhere"})", R"({"$ref":"#nowhere"})"},
    };
    for (const auto& c : cases) EXPECT_EQ(hydrated_text(c.schema, document), c.hydrated) << c.schema;
}

TEST(Hydration, FailuresNameTheReference) {
    const Value document = json(R"({"components": {"schemas": {"A": {"type": "string"}, "Arr": [1]}}})");
    namespace rf = reference_failures;
    const auto failure_of = [&](std::string_view schema) {
        auto result = hydrate(schema, document);
        EXPECT_FALSE(result) << schema;
        return result ? ReferenceFailure(rf::Unsupported{"<none>"}) : result.error();
    };
    EXPECT_EQ(std::get<rf::Unsupported>(failure_of(R"({"$ref": "#"})")).reference, "#");
    EXPECT_EQ(std::get<rf::Unresolvable>(failure_of(R"({"$ref": "#/components/schemas/Missing"})")).target,
              "#/components/schemas/Missing");
    EXPECT_EQ(std::get<rf::Unresolvable>(failure_of(R"({"$ref": "#/components/schemas/Arr/01"})")).target,
              "#/components/schemas/Arr/01");
    EXPECT_EQ(std::get<rf::Unresolvable>(failure_of(R"({"$ref": "#/components/schemas/A/type/x"})")).target,
              "#/components/schemas/A/type/x");
    const auto encoding = std::get<rf::PercentEncoding>(failure_of(R"({"$ref": "#/components/%FF"})"));
    EXPECT_EQ(encoding.reference, "#/components/%FF");
    // Without options no file can be read; a scheme is never followed.
    EXPECT_EQ(std::get<rf::Unsupported>(failure_of(R"({"$ref": "other.yaml#/A"})")).reference, "other.yaml#/A");
    EXPECT_EQ(std::get<rf::Unsupported>(failure_of(R"({"$ref": ""})")).reference, "");
    // The first failure ends the call, whatever else the schema holds.
    EXPECT_TRUE(std::holds_alternative<rf::Unresolvable>(
        failure_of(R"({"allOf": [{"$ref": "#/components/schemas/A"}, {"$ref": "#/components/schemas/B"}]})")));
}

TEST(Hydration, AnchorsAndEmbeddedResources) {
    const Value document = json(R"({
        "openapi": "3.1.0",
        "components": {"schemas": {
            "Named": {"properties": {"code": {"$anchor": "code", "type": "string"}}},
            "Own": {"$id": "https://example.com/own", "$anchor": "own", "$defs": {"d": {"type": "integer"}},
                    "properties": {"a": {"$ref": "#/$defs/d"}, "b": {"$ref": "#"}, "c": {"$ref": "#own"},
                                   "e": {"$ref": "#/$defs/missing"}}}
        }}
    })");
    // An indexed anchor is renamed to its pointer and its target placed.
    EXPECT_EQ(
        hydrated_text(R"({"$ref": "#code"})", document, Draft::Draft202012),
        R"({"$ref":"#/components/schemas/Named/properties/code","components":{"schemas":{"Named":{"properties":{"code":{"$anchor":"code","type":"string"}}}}}})");
    // A member with its own id is a resource: its internal references become document pointers
    // (one that leads nowhere in the document stays).
    auto own = hydrate(R"({"$ref": "#/components/schemas/Own"})", document, Draft::Draft202012);
    ASSERT_TRUE(own);
    const Value* properties = deririrore::referencing::pointer_lookup(*own, "/components/schemas/Own/properties");
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(
        to_json(*properties),
        R"({"a":{"$ref":"#/components/schemas/Own/$defs/d"},"b":{"$ref":"#/components/schemas/Own"},"c":{"$ref":"#/components/schemas/Own"},"e":{"$ref":"#/$defs/missing"}})");
    // A nested object with an id in the hydration document is not walked.
    EXPECT_EQ(hydrated_text(R"({"properties": {"n": {"$id": "https://example.com/n", "$ref": "#/nowhere"}}})", document,
                            Draft::Draft202012),
              R"({"properties":{"n":{"$id":"https://example.com/n","$ref":"#/nowhere"}}})");
}

TEST(Hydration, DeepSchemasDoNotExhaustTheStack) {
    const Value document = json(R"({"components": {"schemas": {"A": {"type": "string"}}}})");
    Value schema = json(R"({"$ref": "#/components/schemas/A"})");
    for (int i = 0; i < 100000; ++i) {
        Value::Object members;
        members.push_back(Member{"not", std::move(schema)});
        schema = Value::object(std::move(members));
    }
    auto state = record(document);
    auto result = hydrate_openapi_document(std::move(schema), state, nullptr);
    ASSERT_TRUE(result);
    EXPECT_NE(deririrore::referencing::pointer_lookup(*result, "/components/schemas/A"), nullptr);
}

TEST(OpenApiDocumentDraft, SchemaThenDocumentDialect) {
    const Value swagger = json(R"({"swagger": "2.0"})");
    const Value unknown_dialect = json(R"({"openapi": "3.1.0", "jsonSchemaDialect": "https://example.com/mine"})");
    const Value draft7_dialect =
        json(R"({"openapi": "3.1.0", "jsonSchemaDialect": "http://json-schema.org/draft-07/schema#"})");
    const struct {
        const Value* document;
        Draft record_draft;
        std::string_view schema;
        Draft expected;
    } cases[] = {
        {&swagger, Draft::Draft4, R"({"$schema": "https://json-schema.org/draft/2020-12/schema"})", Draft::Draft4},
        {&unknown_dialect, Draft::Draft202012, R"({"$schema": "http://json-schema.org/draft-07/schema#"})",
         Draft::Draft7},
        {&unknown_dialect, Draft::Draft202012, R"({})", Draft::Draft202012},
        {&unknown_dialect, Draft::Draft202012, R"({"$schema": 7})", Draft::Draft202012},
        {&draft7_dialect, Draft::Draft202012, R"({})", Draft::Draft7},
        {&draft7_dialect, Draft::Draft202012, R"({"$schema": "https://spec.openapis.org/oas/3.1/dialect/base"})",
         Draft::Draft202012},
    };
    for (const auto& c : cases) {
        const HydrationState state{c.document, std::nullopt, c.record_draft};
        EXPECT_EQ(openapi_document_draft(state, json(c.schema)), c.expected) << c.schema;
    }
}

class HydrationFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vc-hydration-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "api");
    }
    void TearDown() override { fs::remove_all(dir_); }
    void write(const std::string& name, std::string_view text) {
        const auto path = dir_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string api() const { return (dir_ / "api" / "openapi.json").string(); }
    fs::path dir_;
};

TEST_F(HydrationFiles, PlacesFilesUnderTheComponentRootByRelativeName) {
    const Value document = json(R"({"openapi": "3.0.3", "components": {"schemas": {"clash.yaml": {"type": "null"}}}})");
    write("api/schemas/pet.yaml",
          "$id: https://example.com/pet\ntype: object\nproperties:\n  tag: {$ref: 'tag.yaml#/definitions/Tag'}\n"
          "  err: {$ref: '../../common/err.json'}\n  self: {$ref: '#/properties/tag'}\n");
    write("api/schemas/tag.yaml", "definitions:\n  Tag: {type: string, maxLength: 8}\n  Other: {type: integer}\n");
    write("common/err.json", R"({"id": "urn:err", "type": "object", "required": ["code"]})");
    write("api/clash.yaml", "type: string\n");
    write("api/my pet.yaml", "type: boolean\n");

    auto context = new_reference_context(document, SpecVersion::OpenApi30, api());
    auto hydrated = hydrate_schema_in_scope(
        context, json(R"({"properties": {"pet": {"$ref": "schemas/pet.yaml"}, "c": {"$ref": "clash.yaml"},
                                         "space": {"$ref": "my%20pet.yaml#"}}})"));
    ASSERT_TRUE(hydrated) << spec_problem_kind(hydrated.error());
    const Value* schemas = deririrore::referencing::pointer_lookup(*hydrated, "/components/schemas");
    ASSERT_NE(schemas, nullptr);
    EXPECT_EQ(
        to_json(*hydrated->find("properties")),
        R"({"c":{"$ref":"#/components/schemas/.~1clash.yaml"},"pet":{"$ref":"#/components/schemas/schemas~1pet.yaml"},"space":{"$ref":"#/components/schemas/my%20pet.yaml"}})");
    // The root "$id" of a placed file is removed, a string "id" too.
    EXPECT_EQ(
        to_json(*schemas->find("schemas/pet.yaml")),
        R"({"properties":{"err":{"$ref":"#/components/schemas/..~1common~1err.json"},"self":{"$ref":"#/components/schemas/schemas~1pet.yaml/properties/tag"},"tag":{"$ref":"#/components/schemas/schemas~1tag.yaml/definitions/Tag"}},"type":"object"})");
    // Only the fragment that was named is placed.
    EXPECT_EQ(to_json(*schemas->find("schemas/tag.yaml")),
              R"({"definitions":{"Tag":{"maxLength":8,"type":"string"}}})");
    EXPECT_EQ(to_json(*schemas->find("../common/err.json")), R"({"required":["code"],"type":"object"})");
    EXPECT_EQ(to_json(*schemas->find("./clash.yaml")), R"({"type":"string"})");
    EXPECT_NE(schemas->find("my pet.yaml"), nullptr);

    // The hydrated schema is self-contained: it compiles and checks through the placed files.
    Value schema = std::move(*hydrated);
    MeasuredSchemaCache cache;
    auto measured = compile_measured_schema(schema, Draft::Draft4, kReadOnlyMarker, true, &cache);
    ASSERT_TRUE(measured) << to_json(schema) << ": "
                          << std::get<problems::InvalidSchema>(measured.error().data).error.message();
    EXPECT_TRUE(measured->validator.is_valid(json(R"({"pet": {"tag": "short", "err": {"code": 1}}})")));
    EXPECT_FALSE(measured->validator.is_valid(json(R"({"pet": {"tag": "far too long"}})")));
    EXPECT_FALSE(measured->validator.is_valid(json(R"({"pet": {"err": {}}})")));
}

TEST_F(HydrationFiles, FileFailures) {
    const Value document = json(R"({"openapi": "3.0.3"})");
    write("api/anchored.json", R"({"definitions": {"a": {"id": "#there", "type": "string"}}})");
    write("api/broken.json", "{[");
    auto context = new_reference_context(document, SpecVersion::OpenApi30, api());
    namespace rf = reference_failures;
    const auto failure_of = [&](std::string_view reference) {
        Value schema = Value::object({{"$ref", Value::string(std::string(reference))}});
        auto result = hydrate_schema_in_scope(context, std::move(schema));
        EXPECT_FALSE(result) << reference;
        if (result) return ReferenceFailure(rf::Unsupported{"<none>"});
        return std::get<problems::Reference>(result.error().data).failure;
    };
    EXPECT_EQ(std::get<rf::Unsupported>(failure_of("C:/specs/a.yaml")).reference, "C:/specs/a.yaml");
    EXPECT_EQ(std::get<rf::Unsupported>(failure_of("urn:x")).reference, "urn:x");
    const auto missing = std::get<rf::Retrieval>(failure_of("missing.json"));
    EXPECT_EQ(missing.message, kCantOpenFile);
    EXPECT_EQ(std::get<rf::Retrieval>(failure_of("broken.json#/a")).message, kInvalidReferencedFile);
    EXPECT_EQ(std::get<rf::Unresolvable>(failure_of("anchored.json#nope")).target, "anchored.json#nope");
    EXPECT_EQ(std::get<rf::Unresolvable>(failure_of("anchored.json#/definitions/b")).target,
              "anchored.json#/definitions/b");
    EXPECT_TRUE(std::holds_alternative<rf::PercentEncoding>(failure_of("anchored%FF.json")));
    // A draft 4 anchor in the file resolves to the subschema that declares it.
    auto anchored = hydrate_schema_in_scope(context, json(R"({"$ref": "anchored.json#there"})"));
    ASSERT_TRUE(anchored);
    EXPECT_EQ(
        to_json(*anchored),
        R"({"$ref":"#/components/schemas/anchored.json/definitions/a","components":{"schemas":{"anchored.json":{"definitions":{"a":{"id":"#there","type":"string"}}}}}})");
    // A document that came from a URL reads no file at all.
    auto remote = new_reference_context(document, SpecVersion::OpenApi30, "https://example.com/openapi.json");
    auto refused = hydrate_schema_in_scope(remote, json(R"({"$ref": "anchored.json"})"));
    ASSERT_FALSE(refused);
    EXPECT_TRUE(std::holds_alternative<rf::Unsupported>(std::get<problems::Reference>(refused.error().data).failure));
}

// The split multi-file examples: the Swagger 2.0 pet store with its schemas in files beside the
// document and in a sibling directory.
TEST(HydrationExamples, SplitPetStoreHydratesAcrossItsFiles) {
    const fs::path root = fs::path(VC_TESTDATA) / "openapi/oai-examples/examples/v2.0";
    for (const char* variant :
         {"yaml/petstore-separate/spec/swagger.yaml", "json/petstore-separate/spec/swagger.json"}) {
        const fs::path path = root / variant;
        if (!fs::exists(path)) GTEST_SKIP() << "no test data at " << path;
        SCOPED_TRACE(variant);
        auto document = read_document_file(path.string());
        ASSERT_TRUE(document);
        auto context = new_reference_context(*document, SpecVersion::Swagger20, path.string());
        const std::string ext = path.extension() == ".yaml" ? ".yaml" : ".json";
        const Value* pets = deririrore::referencing::pointer_lookup(*document, "/paths/~1pets");
        ASSERT_NE(pets, nullptr);
        std::size_t hydrated_schemas = 0;
        MeasuredSchemaCache cache;
        std::vector<const Value*> schemas;
        for (const auto& path_item : document->find("paths")->as_object()) {
            for (const auto& operation : path_item.value.as_object()) {
                if (!operation.value.is_object()) continue;
                if (const Value* responses = operation.value.find("responses")) {
                    for (const auto& response : responses->as_object()) {
                        if (const Value* schema = response.value.find("schema")) schemas.push_back(schema);
                    }
                }
                if (const Value* parameters = operation.value.find("parameters");
                    parameters && parameters->is_array()) {
                    for (const auto& parameter : parameters->as_array()) {
                        if (const Value* schema = parameter.find("schema")) schemas.push_back(schema);
                    }
                }
            }
        }
        for (const Value* source : schemas) {
            auto hydrated = hydrate_schema_in_scope(context, *source);
            ASSERT_TRUE(hydrated) << to_json(*source) << " " << spec_problem_kind(hydrated.error());
            ++hydrated_schemas;
            Value schema = std::move(*hydrated);
            auto measured = compile_measured_schema(schema, Draft::Draft4, kWriteOnlyMarker, true, &cache);
            ASSERT_TRUE(measured) << to_json(schema);
        }
        EXPECT_GT(hydrated_schemas, 5u);

        // NewPet is allOf Pet.yaml and an object with an id; the error lives in ../common.
        auto new_pet = hydrate_schema_in_scope(context, json(R"({"$ref": "NewPet)" + ext + R"("})"));
        ASSERT_TRUE(new_pet);
        const Value* definitions = new_pet->find("definitions");
        ASSERT_NE(definitions, nullptr);
        EXPECT_NE(definitions->find("NewPet" + ext), nullptr);
        EXPECT_NE(definitions->find("Pet" + ext), nullptr);
        const Value* all_of =
            deririrore::referencing::pointer_lookup(*definitions->find("NewPet" + ext), "/allOf/0/$ref");
        ASSERT_NE(all_of, nullptr);
        EXPECT_EQ(all_of->as_string(), "#/definitions/Pet" + ext);

        auto error = hydrate_schema_in_scope(context, json(R"({"$ref": "../common/Error)" + ext + R"("})"));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->find("$ref")->as_string(), "#/definitions/..~1common~1Error" + ext);
        Value error_schema = std::move(*error);
        auto measured = compile_measured_schema(error_schema, Draft::Draft4, kWriteOnlyMarker, true);
        ASSERT_TRUE(measured);
        EXPECT_TRUE(measured->validator.is_valid(json(R"({"code": 1, "message": "m"})")));
        EXPECT_FALSE(measured->validator.is_valid(json(R"({"code": 1})")));
    }
}

}  // namespace
