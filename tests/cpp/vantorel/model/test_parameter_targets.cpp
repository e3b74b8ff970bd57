// The entries each kind of parameter and body target registers before keyword collection, built
// through the build's own hydration, compilation and measurement.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/model/measured_schema.hpp"
#include "vantorel/model/operations.hpp"
#include "vantorel/model/parameters.hpp"
#include "vantorel/model/target_builders.hpp"

namespace {

using namespace vantorel::model;
using deririrore::value::parse_json;
namespace fs = std::filesystem;

Value parsed(std::string_view text) {
    auto v = parse_json(text);
    if (!v) throw std::runtime_error("bad test JSON: " + std::string(text));
    return std::move(*v);
}

SpecVersion version_of(const Value& doc) {
    if (doc.contains("swagger")) return SpecVersion::Swagger20;
    const Value* v = doc.find("openapi");
    if (v != nullptr && v->is_string() && v->as_string().starts_with("3.2")) return SpecVersion::OpenApi32;
    if (v != nullptr && v->is_string() && v->as_string().starts_with("3.1")) return SpecVersion::OpenApi31;
    return SpecVersion::OpenApi30;
}

// One operation, POST /op, of a document given as text (or read from a file).
struct Operation {
    Value document;
    ReferenceContext context;
    MethodMap methods;

    explicit Operation(Value doc, std::optional<std::string> location = std::nullopt) : document(std::move(doc)) {
        context = new_reference_context(document, version_of(document), location);
        const OperationServices services = default_operation_services(std::make_shared<MeasuredSchemaCache>());
        const Value* items = document.find("paths");
        if (items == nullptr) return;
        for (const auto& [key, item] : items->as_object()) extract_path_item(methods, key, item, context, services);
    }
    const OperationRecord& record() const { return *methods.get(http::HttpMethod::Post); }
    const ParameterTarget& target(std::string_view name) const {
        for (const ParameterTarget& t : record().parameters) {
            if (t.name == name) return t;
        }
        throw std::runtime_error("no target " + std::string(name));
    }
    std::vector<std::string> problem_kinds() const {
        std::vector<std::string> out;
        for (const ProblemEntry& p : context.problems) out.emplace_back(spec_problem_kind(p.problem));
        return out;
    }
};

Value document_v3(std::string_view parameters, std::string_view version = "3.1.0") {
    return parsed(R"({"openapi": ")" + std::string(version) + R"(", "paths": {"/op/{p}": {"post": {"parameters": )" +
                  std::string(parameters) + "}}}}");
}
Value document_v2(std::string_view operation) {
    return parsed(R"({"swagger": "2.0", "paths": {"/op/{p}": {"post": )" + std::string(operation) + "}}}");
}

// The locations of the pass-only entries, in the state's order.
std::vector<std::string> valid_only(const ParameterTarget& target) {
    std::vector<std::string> out;
    const zavova::EntryMap& entries = target.holder.state->entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const zavova::EntryKind kind = entries.entry(i).kind;
        if (kind.tag != zavova::EntryTag::Example && kind.tag != zavova::EntryTag::Unmeasured &&
            kind.polarity() == zavova::Polarity::ValidOnly)
            out.emplace_back(entries.location(i));
    }
    return out;
}

std::vector<std::string> all_locations(const ParameterTarget& target) {
    std::vector<std::string> out;
    const zavova::EntryMap& entries = target.holder.state->entries;
    for (std::size_t i = 0; i < entries.size(); ++i) out.emplace_back(entries.location(i));
    return out;
}

bool every_check_valid_only(const ParameterTarget& target) {
    const zavova::EntryMap& entries = target.holder.state->entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const zavova::EntryKind kind = entries.entry(i).kind;
        if (kind.tag == zavova::EntryTag::Example || kind.tag == zavova::EntryTag::Unmeasured) continue;
        if (kind.polarity() != zavova::Polarity::ValidOnly) return false;
    }
    return true;
}

using Locations = std::vector<std::string>;

constexpr std::string_view kPrimitive = R"({"type": "string"})";
constexpr std::string_view kArray = R"({"type": "array", "items": {"type": "string"}, "minItems": 1})";
constexpr std::string_view kObject =
    R"({"type": "object", "properties": {"R": {"type": "integer"}, "a/b": {"type": "string"},
        "list": {"type": "array", "items": {"type": "string"}, "minItems": 1}}, "additionalProperties": {"type": "string"}})";

// The serialisations of the style examples (a primitive "blue", an array of colours, an object of
// R, G, B) for every location and style: the style and explode a target keeps, and which checks
// the text form guarantees. Only an exploded query object (form with explode, or deepObject)
// sends its members as fields of their own.
TEST(ParameterTargets, StyleExamplesTable) {
    struct Case {
        std::string_view in;
        std::string_view style;    // "" for none
        std::string_view explode;  // "" for none
        std::string_view schema;
        std::uint8_t style_code;
        bool explode_kept;
        Locations pass_only;
    };
    const Locations object_fields = {"/type",
                                     "/properties/a~1b/type",
                                     "/properties/list/items/type",
                                     "/properties/list/type",
                                     "/properties/list/minItems",
                                     "/additionalProperties/type"};
    const std::vector<Case> cases = {
        {"path", "", "", kPrimitive, 0, false, {"/type"}},
        {"path", "matrix", "true", kArray, 2, true, {"/type", "/minItems", "/items/type"}},
        {"path", "label", "false", kObject, 1, false, {"/type"}},
        {"query", "", "", kPrimitive, 0, true, {"/type"}},
        {"query", "form", "true", kArray, 0, true, {"/type", "/minItems", "/items/type"}},
        {"query", "form", "false", kObject, 0, false, {"/type"}},
        {"query", "form", "", kObject, 0, true, object_fields},
        {"query", "deepObject", "false", kObject, 3, false, object_fields},
        {"query", "spaceDelimited", "false", kArray, 1, false, {"/type", "/minItems", "/items/type"}},
        {"query", "pipeDelimited", "", kArray, 2, true, {"/type", "/minItems", "/items/type"}},
        {"header", "matrix", "", kObject, 0, false, {"/type"}},
        {"header", "", "true", kArray, 0, true, {"/type", "/minItems", "/items/type"}},
        {"cookie", "", "", kPrimitive, 0, true, {"/type"}},
        {"cookie", "form", "false", kObject, 0, false, {"/type"}},
    };
    for (const Case& c : cases) {
        std::string parameter = R"({"name": ")" + std::string(c.in == "path" ? "p" : "x") + R"(", "in": ")" +
                                std::string(c.in) + R"(", "schema": )" + std::string(c.schema);
        if (!c.style.empty()) parameter += R"(, "style": ")" + std::string(c.style) + "\"";
        if (!c.explode.empty()) parameter += R"(, "explode": )" + std::string(c.explode);
        parameter += "}";
        const Operation op(document_v3("[" + parameter + "]"));
        ASSERT_TRUE(op.context.problems.empty()) << parameter << ": " << op.problem_kinds().front();
        const ParameterTarget& t = op.target(c.in == "path" ? "p" : "x");
        EXPECT_EQ(t.style, c.style_code) << parameter;
        EXPECT_EQ(t.explode, c.explode_kept) << parameter;
        Locations got = valid_only(t);
        // Only the entries named here are compared; the collection may lift others.
        for (const std::string& location : c.pass_only) {
            EXPECT_NE(std::find(got.begin(), got.end(), location), got.end()) << parameter << " lacks " << location;
        }
        const bool exploded = c.pass_only.size() == object_fields.size();
        EXPECT_EQ(std::find(got.begin(), got.end(), "/properties/a~1b/type") != got.end(), exploded) << parameter;
        EXPECT_EQ(std::find(got.begin(), got.end(), "/properties/R/type") != got.end(), false) << parameter;
    }
}

TEST(ParameterTargets, ContentParametersAreNoExplodedObjects) {
    const Operation op(document_v3(R"([{"name": "x", "in": "query", "style": "deepObject",
        "content": {"application/json": {"schema": )" +
                                   std::string(kObject) + "}}}]"));
    ASSERT_TRUE(op.context.problems.empty());
    const Locations got = valid_only(op.target("x"));
    EXPECT_EQ(std::find(got.begin(), got.end(), "/properties/a~1b/type"), got.end());
}

TEST(ParameterTargets, ArrayMinItemsOfOneOnly) {
    const Operation op(document_v3(R"([{"name": "one", "in": "query", "schema": {"type": "array", "minItems": 1}},
        {"name": "two", "in": "query", "schema": {"type": "array", "minItems": 2}}])"));
    const Locations one = valid_only(op.target("one"));
    const Locations two = valid_only(op.target("two"));
    EXPECT_NE(std::find(one.begin(), one.end(), "/minItems"), one.end());
    EXPECT_EQ(std::find(two.begin(), two.end(), "/minItems"), two.end());
}

// A client library writes these headers itself: every check on them can only pass.
TEST(ParameterTargets, ClientManagedHeadersAreValidOnly) {
    const std::string schema = R"({"type": "string", "maxLength": 3, "enum": ["a", "bb"]})";
    struct Case {
        std::string_view name;
        bool managed;
    };
    for (const Case c : {Case{"Host", true}, Case{"CONTENT-LENGTH", true}, Case{"transfer-encoding", true},
                         Case{"X-Host", false}, Case{"Hos", false}}) {
        const std::string v3 =
            R"([{"name": ")" + std::string(c.name) + R"(", "in": "header", "schema": )" + schema + "}]";
        const Operation a(document_v3(v3));
        EXPECT_EQ(every_check_valid_only(a.target(c.name)), c.managed) << c.name;
        const Operation b(
            document_v2(R"({"parameters": [{"name": ")" + std::string(c.name) +
                        R"(", "in": "header", "type": "string", "maxLength": 3, "enum": ["a", "bb"]}]})"));
        EXPECT_EQ(every_check_valid_only(b.target(c.name)), c.managed) << c.name;
        EXPECT_EQ(a.target(c.name).holder.state->covered_prefix, 0u);
    }
    EXPECT_TRUE(is_client_managed_header("hOsT"));
    EXPECT_FALSE(is_client_managed_header("host "));
}

// Swagger 2.0 writes an array parameter's allowed values beside its type; they are item values.
TEST(Swagger2Targets, ArrayEnumMovesIntoItems) {
    struct Case {
        std::string_view keywords;
        std::string_view schema;
    };
    const std::vector<Case> cases = {
        {R"("type": "array", "items": {"type": "string"}, "enum": ["a", "b", "c"])",
         R"({"items":{"enum":["a","b","c"],"type":"string"},"type":"array"})"},
        {R"("type": "array", "items": {"type": "string", "enum": ["c", "x", "a"]}, "enum": ["a", "b", "c", "a"])",
         R"({"items":{"enum":["a","c","a"],"type":"string"},"type":"array"})"},
        {R"("type": "array", "enum": [1, 2])", R"({"items":{"enum":[1,2]},"type":"array"})"},
        {R"("type": "array", "items": {"type": "string"}, "enum": [["a", "b"], ["c", "d"]])",
         R"({"enum":[["a","b"],["c","d"]],"items":{"type":"string"},"type":"array"})"},
        {R"("type": ["array"], "enum": ["a"])", R"({"enum":["a"],"type":["array"]})"},
        {R"("type": "string", "enum": ["a"])", R"({"enum":["a"],"type":"string"})"},
        {R"("description": "nothing measured")", R"({})"},
    };
    for (const Case& c : cases) {
        const Operation op(
            document_v2(R"({"parameters": [{"name": "q", "in": "query", )" + std::string(c.keywords) + "}]}"));
        const ParameterTarget& t = op.target("q");
        ASSERT_NE(t.schema, nullptr) << c.keywords;
        EXPECT_EQ(deririrore::value::to_json(*t.schema), c.schema) << c.keywords;
    }
    // `items: true` is no draft 4 schema (the map reports it invalid), but the move leaves it be.
    Value boolean_items = parsed(R"({"type": "array", "items": true, "enum": ["a"]})");
    move_array_enum_into_items(boolean_items);
    EXPECT_EQ(deririrore::value::to_json(boolean_items), R"({"enum":["a"],"items":true,"type":"array"})");
    Value schema = parsed(R"({"type": "array", "enum": ["a"], "items": {"enum": 5}})");
    move_array_enum_into_items(schema);
    EXPECT_EQ(deririrore::value::to_json(schema), R"({"items":{"enum":["a"]},"type":"array"})");
}

TEST(Swagger2Targets, FormDataFilesAndTypedFields) {
    const Operation op(document_v2(R"({"consumes": ["multipart/form-data"], "parameters": [
        {"name": "f", "in": "formData", "type": "file", "maxLength": 3},
        {"name": "n", "in": "formData", "type": "integer", "minimum": 1},
        {"name": "s", "in": "formData", "type": "array", "items": {"type": "string"}, "collectionFormat": "multi"}]})"));
    ASSERT_TRUE(op.context.problems.empty()) << op.problem_kinds().front();
    const ParameterTarget& file = op.target("f");
    EXPECT_EQ(all_locations(file), (Locations{"", "/type"}));
    EXPECT_TRUE(every_check_valid_only(file));
    EXPECT_EQ(file.types, 16);
    EXPECT_EQ(deririrore::value::to_json(*file.schema), R"({"maxLength":3,"type":"file"})");
    const ParameterTarget& number = op.target("n");
    EXPECT_EQ(number.schema->find("type")->as_string(), "integer");
    EXPECT_FALSE(number.validator->is_valid(parsed("0")));
    const ParameterTarget& list = op.target("s");
    EXPECT_EQ(list.collection_format, CollectionFormat::Multi);
    const Locations got = valid_only(list);
    EXPECT_NE(std::find(got.begin(), got.end(), "/items/type"), got.end());
}

TEST(BodyTargets, MediaTypeBranchesRegisterWhatTheEncodingGuarantees) {
    const std::string object =
        R"({"type": "object", "properties": {"a/b": {"type": "string"}, "n": {"type": "integer"}}})";
    struct Case {
        std::string_view key;
        Locations present;
        Locations absent;
    };
    const std::vector<Case> cases = {
        {"application/x-www-form-urlencoded", {"/type", "/properties/a~1b/type"}, {}},
        // Not the exact form type, nor the lower-case multipart prefix: the other branch.
        {"application/x-www-form-urlencoded; charset=utf-8", {}, {"/type", "/properties/a~1b/type"}},
        {"multipart/form-data", {"/type", "/properties/a~1b/type"}, {}},
        {"Multipart/form-data", {}, {"/type", "/properties/a~1b/type"}},
        {"application/json", {}, {"/type", "/properties/a~1b/type"}},
    };
    for (const Case& c : cases) {
        const Operation op(parsed(R"({"openapi": "3.1.0", "paths": {"/op": {"post": {"requestBody": {"content": {")" +
                                  std::string(c.key) + R"(": {"schema": )" + object + "}}}}}}}"));
        ASSERT_TRUE(op.context.problems.empty()) << c.key;
        const Locations got = valid_only(op.target(c.key));
        for (const std::string& l : c.present) EXPECT_NE(std::find(got.begin(), got.end(), l), got.end()) << c.key << l;
        for (const std::string& l : c.absent) EXPECT_EQ(std::find(got.begin(), got.end(), l), got.end()) << c.key << l;
    }
    const Operation text(parsed(R"({"openapi": "3.1.0", "paths": {"/op": {"post": {"requestBody": {"content": {
        "text/plain": {"schema": {"type": "string", "maxLength": 4}}}}}}}})"));
    const Locations got = valid_only(text.target("text/plain"));
    EXPECT_NE(std::find(got.begin(), got.end(), "/type"), got.end());
    EXPECT_EQ(std::find(got.begin(), got.end(), "/maxLength"), got.end());
}

TEST(BodyTargets, FormBodyThroughAComponentReference) {
    const Operation op(parsed(R"({"openapi": "3.1.0", "components": {"schemas": {"F": {"type": "object",
        "properties": {"s": {"type": "string"}}}}}, "paths": {"/op": {"post": {"requestBody": {"content": {
        "application/x-www-form-urlencoded": {"schema": {"$ref": "#/components/schemas/F"}}}}}}}})"));
    ASSERT_TRUE(op.context.problems.empty());
    const Locations got = valid_only(op.target("application/x-www-form-urlencoded"));
    bool type = false;
    bool property = false;
    for (const std::string& l : got) {
        type = type || (l.ends_with("/F/type") && l != "/type");
        property = property || l.ends_with("/F/properties/s/type");
    }
    EXPECT_TRUE(type && property) << ::testing::PrintToString(got);
}

TEST(BodyTargets, Swagger2BinaryBodyHasOnlyItsThreeEntries) {
    const std::string binary = R"({"type": "string", "format": "binary"})";
    const Operation octets(document_v2(R"({"consumes": ["application/octet-stream"], "parameters": [
        {"name": "b", "in": "body", "schema": )" +
                                       binary + "}]}"));
    const ParameterTarget& t = octets.target("b");
    EXPECT_EQ(all_locations(t), (Locations{"", "/type", "/format"}));
    EXPECT_TRUE(every_check_valid_only(t));
    const Operation text(document_v2(R"({"consumes": ["text/plain"], "parameters": [
        {"name": "b", "in": "body", "schema": {"type": "string", "maxLength": 2}}]})"));
    const Locations got = valid_only(text.target("b"));
    EXPECT_NE(std::find(got.begin(), got.end(), "/type"), got.end());
}

// Reference chains of parameters: loops in any form are refused, and file names are
// percent-decoded before they are read.
TEST(ParameterReferences, LoopsAndEscapedFileNames) {
    const fs::path dir = fs::temp_directory_path() / ("vc-ptargets-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream(dir / "shared params.json")
            << R"({"P": {"name": "e", "in": "query", "schema": {"type": "integer"}},
            "Back": {"$ref": "shared%20params.json#/Self"}, "Self": {"$ref": "#/Self"}})";
    }
    const Value doc = parsed(R"({"openapi": "3.1.0", "components": {"parameters": {
        "A": {"$ref": "#/components/parameters/B"}, "B": {"$ref": "#/components/parameters/A"},
        "S": {"$ref": "#/components/parameters/S"}}},
      "paths": {"/op/{p}": {"post": {"parameters": [
        {"$ref": "shared%20params.json#/P"}, {"$ref": "#/components/parameters/A"},
        {"$ref": "#/components/parameters/S"}, {"$ref": "shared%20params.json#/Back"},
        {"$ref": "shared%2"}, {"$ref": "shared%FF.json#/P"}]}}}})");
    const Operation op(doc, (dir / "api.json").string());
    fs::remove_all(dir);
    EXPECT_EQ(op.target("e").types, 4);  // read from the file with a blank in its name
    ASSERT_EQ(op.context.problems.size(), 5u) << ::testing::PrintToString(op.problem_kinds());
    EXPECT_TRUE(op.context.problems[0].problem.is<problems::ReferenceLoop>());
    EXPECT_TRUE(op.context.problems[1].problem.is<problems::ReferenceLoop>());
    EXPECT_TRUE(op.context.problems[2].problem.is<problems::ReferenceLoop>());
    EXPECT_FALSE(op.context.problems[3].problem.is<problems::ReferenceLoop>());  // no such file
    EXPECT_TRUE(op.context.problems[4].problem.is<problems::Reference>());       // not UTF-8 once decoded
}

TEST(ParameterReferences, LongChainsAreNoLoops) {
    std::string components;
    for (int i = 0; i < 200; ++i) {
        components +=
            "\"R" + std::to_string(i) + R"(": {"$ref": "#/components/parameters/R)" + std::to_string(i + 1) + "\"}, ";
    }
    components += R"("R200": {"name": "end", "in": "query", "schema": {}})";
    const Operation op(
        parsed(R"({"openapi": "3.1.0", "components": {"parameters": {)" + components +
               R"(}}, "paths": {"/op/{p}": {"post": {"parameters": [{"$ref": "#/components/parameters/R0"}]}}}})"));
    EXPECT_TRUE(op.context.problems.empty());
    EXPECT_EQ(op.target("end").name, "end");
}

}  // namespace

namespace {

// Equal schemas of the same kind of target are hydrated and compiled once and share their state
// until one is written; a schema measured for another kind of target gets a state of its own.
TEST(SharedMeasures, EqualParametersShareOneMeasure) {
    const Operation op(
        parsed(R"({"openapi": "3.1.0", "components": {"schemas": {"N": {"type": "integer", "minimum": 1}}},
      "paths": {"/op/{p}": {"post": {"parameters": [
        {"name": "a", "in": "query", "schema": {"$ref": "#/components/schemas/N"}},
        {"name": "b", "in": "query", "schema": {"$ref": "#/components/schemas/N"}},
        {"name": "Host", "in": "header", "schema": {"$ref": "#/components/schemas/N"}},
        {"name": "p", "in": "path", "schema": {"$ref": "#/components/schemas/N"}}]}}}})"));
    ASSERT_TRUE(op.context.problems.empty()) << op.problem_kinds().front();
    const ParameterTarget& a = op.target("a");
    const ParameterTarget& b = op.target("b");
    EXPECT_EQ(a.schema, b.schema);
    EXPECT_EQ(a.validator, b.validator);
    EXPECT_EQ(a.holder.state, b.holder.state);
    EXPECT_EQ(a.types, b.types);
    EXPECT_NE(a.holder.state, op.target("Host").holder.state);
    EXPECT_TRUE(every_check_valid_only(op.target("Host")));
    EXPECT_FALSE(every_check_valid_only(a));
    EXPECT_NE(a.holder.state, op.target("p").holder.state);
    EXPECT_FALSE(a.validator->is_valid(parsed("0")));
}

}  // namespace

namespace {

// Form fields decode by their `encoding` member: only its style and explode are read, for
// properties of the body schema; a bad style or explode fails the media type.
TEST(BodyTargets, FormFieldSpecsFromEncoding) {
    const Operation op(parsed(R"({"openapi": "3.1.0", "paths": {"/op": {"post": {"requestBody": {"content": {
        "application/x-www-form-urlencoded": {"schema": {"type": "object", "properties": {
            "s": {"type": "array"}, "f": {"type": "integer"}, "e": {}, "t": {"type": "string", "pattern": "^[0-9]+$"},
            "r": {"type": "string", "readOnly": true}}},
          "encoding": {"s": {"style": "spaceDelimited"}, "f": {"style": "form"}, "e": "text",
                       "r": {"style": "matrix"}, "nobody": {"explode": 1}}}}}}}}})"));
    ASSERT_TRUE(op.context.problems.empty()) << op.problem_kinds().front();
    const FormFieldSpecs& specs = op.target("application/x-www-form-urlencoded").field_specs;
    ASSERT_EQ(specs.size(), 4u);  // the read-only property is gone from the prepared schema
    EXPECT_EQ(specs.at("s"), (zavova::DecodeSpec{0, 0, zavova::DecodeMode::Typed, 1, 32}));
    EXPECT_EQ(specs.at("f"), (zavova::DecodeSpec{0, 1, zavova::DecodeMode::Typed, 0, 4}));
    EXPECT_EQ(specs.at("e"), (zavova::DecodeSpec{0, 1, zavova::DecodeMode::Typed, 0, 127}));
    EXPECT_EQ(specs.at("t").digits_stay_text, 1);

    const Operation bad(parsed(R"({"openapi": "3.1.0", "paths": {"/op": {"post": {"requestBody": {"content": {
        "multipart/form-data": {"schema": {"properties": {"a": {}}}, "encoding": {"a": {"explode": "true"}}},
        "application/x-www-form-urlencoded": {"schema": {"properties": {"a": {}}}, "encoding": {"a": {"style": "matrix"}}},
        "application/json": {"schema": {"properties": {"a": {}}}, "encoding": {"a": {"style": "matrix"}}}}}}}}})"));
    EXPECT_EQ(bad.problem_kinds(), (std::vector<std::string>{"unexpected_value", "unexpected_type"}));
    EXPECT_EQ(bad.record().parameters.size(), 1u);  // JSON bodies are handed no encoding
}

}  // namespace
