#include <gtest/gtest.h>

#include "../support/engine_test_support.hpp"
#include "golden.hpp"
#include "zavova/keyword_targets.hpp"

namespace {

using namespace zavova;
using enginetest::json;
using zavovatest::golden;
using Lines = std::vector<std::string>;

Lines collect(const char* schema, Draft draft, const LocationSet& unsatisfiable = {},
              std::vector<UnknownDialectNote>* notes = nullptr) {
    const auto value = json(schema);
    EntryMap entries;
    KeywordWalkState walk = new_keyword_walk_state(value, draft);
    collect_keyword_targets(value, value, draft, unsatisfiable, walk, "", entries);
    if (notes != nullptr) *notes = walk.unknown_dialects;
    return golden(entries);
}

struct GoldenCase {
    const char* name;
    Draft draft;
    const char* schema;
    Lines expected;
};

TEST(KeywordTargets, GoldenTables) {
    const GoldenCase cases[] = {
        {"empty object", Draft::Draft202012, "{}", {"|S:V"}},
        {"false", Draft::Draft202012, "false", {"|S:I"}},
        {"draft 7 $ref hides its siblings",
         Draft::Draft7,
         R"({"definitions": {"d": {"type": "string"}}, "properties": {"p": {"$ref": "#/definitions/d", "type": "string"}}})",
         {"/definitions/d/type|K:B", "/definitions/d|S:B", "/properties/p/$ref|K:B", "/properties/p|S:B",
          "/properties|K:B", "|S:B"}},
        {"2020-12 $ref beside its siblings, in key order",
         Draft::Draft202012,
         R"({"$defs": {"d": {"type": "string"}}, "$ref": "#/$defs/d", "type": "string"})",
         {"/$defs/d/type|K:B", "/$defs/d|S:B", "/$ref|K:B", "/type|K:B", "|S:B"}},
        {"two references walk the target once",
         Draft::Draft202012,
         R"({"$defs": {"d": {"minimum": 1}}, "properties": {"a": {"$ref": "#/$defs/d"}, "b": {"$ref": "#/$defs/d"}}})",
         {"/$defs/d/minimum|K:B", "/$defs/d|S:B", "/properties/a/$ref|K:B", "/properties/a|S:B",
          "/properties/b/$ref|K:B", "/properties/b|S:B", "/properties|K:B", "|S:B"}},
        {"a cycle is walked once and is not vacuous",
         Draft::Draft202012,
         R"({"$defs": {"n": {"$ref": "#/$defs/n"}}, "$ref": "#/$defs/n"})",
         {"/$defs/n/$ref|K:B", "/$defs/n|S:B", "/$ref|K:B", "|S:B"}},
        {"reference to a vacuous target",
         Draft::Draft202012,
         R"({"$defs": {"e": {}}, "items": {"$ref": "#/$defs/e"}})",
         {"/$defs/e|S:V", "/items/$ref|K:V", "/items|S:B", "|S:B"}},
        {"unresolved reference", Draft::Draft202012, R"({"$ref": "other.json#/x"})", {"/$ref|K:B", "|S:B"}},
        {"enum items",
         Draft::Draft202012,
         R"({"enum": ["a", 1, null]})",
         {"/enum/0|L:V", "/enum/1|L:V", "/enum/2|L:V", "/enum|K:B", "|S:B"}},
        {"type list of every type",
         Draft::Draft202012,
         R"({"type": ["null", "boolean", "number", "string", "array", "object"]})",
         {"/type/0|L:V", "/type/1|L:V", "/type/2|L:V", "/type/3|L:V", "/type/4|L:V", "/type/5|L:V", "/type|K:V",
          "|S:B"}},
        {"type list of some types, items of any kind",
         Draft::Draft202012,
         R"({"type": ["string", 3]})",
         {"/type/0|L:V", "/type/1|L:V", "/type|K:B", "|S:B"}},
        {"type as one string", Draft::Draft202012, R"({"type": "string"})", {"/type|K:B", "|S:B"}},
        {"required names",
         Draft::Draft202012,
         R"({"required": ["a", "b"]})",
         {"/required/0|L:B", "/required/1|L:B", "/required|K:B", "|S:B"}},
        {"examples under draft 6",
         Draft::Draft6,
         R"({"examples": [1, 2, 3]})",
         {"/examples/0|E", "/examples/1|E", "/examples/2|E", "|S:V"}},
        {"examples under draft 4", Draft::Draft4, R"({"examples": [1, 2, 3]})", {"|S:V"}},
        {"example and default", Draft::Draft4, R"({"default": 1, "example": 2})", {"/default|E", "/example|E", "|S:V"}},
        {"additionalProperties false and true",
         Draft::Draft202012,
         R"({"properties": {"a": {"additionalProperties": false}, "b": {"additionalProperties": true}}})",
         {"/properties/a/additionalProperties|S:I", "/properties/a|S:B", "/properties/b/additionalProperties|K:V",
          "/properties/b|S:V", "/properties|K:B", "|S:B"}},
        {"not",
         Draft::Draft202012,
         R"({"allOf": [{"not": {}}, {"not": {"type": "string"}}]})",
         {"/allOf/0/not|K:I", "/allOf/0|S:I", "/allOf/1/not/type|K:B", "/allOf/1/not|S:B", "/allOf/1|S:B", "/allOf|K:B",
          "|S:B"}},
        {"dependencies",
         Draft::Draft7,
         R"({"dependencies": {"a": ["b"], "c": {"required": ["d"]}}})",
         {"/dependencies/a/0|L:B", "/dependencies/a|L:B", "/dependencies/c/required/0|L:B",
          "/dependencies/c/required|K:B", "/dependencies/c|S:B", "/dependencies|K:B", "|S:B"}},
        {"content keywords",
         Draft::Draft7,
         R"({"contentMediaType": "a/b", "contentEncoding": "base64"})",
         {"/contentEncoding|K:B", "/contentMediaType|K:B", "|S:B"}},
        {"content keywords as annotations",
         Draft::Draft202012,
         R"({"contentMediaType": "a/b", "contentSchema": {}})",
         {"/contentMediaType|U:annotation", "/contentSchema|U:annotation", "|S:B"}},
        {"keywords a draft does not know",
         Draft::Draft6,
         R"({"if": {"type": "string"}, "const": 1})",
         {"/const|K:B", "|S:B"}},
        {"pass-only and fail-only values",
         Draft::Draft202012,
         R"({"uniqueItems": false, "exclusiveMinimum": 1, "format": "byte", "pattern": "^[\\s\\S]*$", "nullable": true,
             "maxLength": 3})",
         {"/exclusiveMinimum|K:B", "/format|K:V", "/maxLength|K:B", "/nullable|K:V", "/pattern|K:V", "/uniqueItems|K:V",
          "|S:B"}},
        {"an unsatisfiable pattern", Draft::Draft202012, R"({"pattern": "a^"})", {"/pattern|K:I", "|S:B"}},
        {"anyOf with a vacuous branch",
         Draft::Draft202012,
         R"({"anyOf": [{}, {"type": "string"}]})",
         {"/anyOf/0|S:V", "/anyOf/1/type|K:B", "/anyOf/1|S:B", "/anyOf|K:V", "|S:V"}},
    };
    for (const auto& c : cases) EXPECT_EQ(collect(c.schema, c.draft), c.expected) << c.name;
}

// A YAML document may write the integer zero as +0 or 00; 0.0 is not the integer 0.
TEST(KeywordTargets, MinimumZeroAsWritten) {
    using deririrore::value::Value;
    using deririrore::value::ValueBuilderAccess;
    auto schema = json(R"({"properties": {"a": {"minLength": 0}, "b": {"minItems": 1}, "c": {"minLength": 0.0},
                                          "d": {"minProperties": 1}}})");
    schema.find_mut("properties")
        ->find_mut("b")
        ->insert_or_assign("minItems", ValueBuilderAccess::trusted_number("+0"));
    schema.find_mut("properties")
        ->find_mut("d")
        ->insert_or_assign("minProperties", ValueBuilderAccess::trusted_number("00"));
    EntryMap entries;
    KeywordWalkState walk = new_keyword_walk_state(schema, Draft::Draft202012);
    collect_keyword_targets(schema, schema, Draft::Draft202012, {}, walk, "", entries);
    const Lines min_length = golden(entries);
    const Lines expected = {"/properties/a/minLength|K:V",
                            "/properties/a|S:B",
                            "/properties/b/minItems|K:V",
                            "/properties/b|S:B",
                            "/properties/c/minLength|K:B",
                            "/properties/c|S:B",
                            "/properties/d/minProperties|K:V",
                            "/properties/d|S:B",
                            "/properties|K:B",
                            "|S:B"};
    EXPECT_EQ(min_length, expected);
}

TEST(KeywordTargets, EarlierEntriesKeepTheirKind) {
    const auto schema = json(R"({"type": "string", "minLength": 1})");
    EntryMap entries;
    entries.set("/minLength", EntryKind::keyword(Polarity::ValidOnly));
    KeywordWalkState walk = new_keyword_walk_state(schema, Draft::Draft202012);
    collect_keyword_targets(schema, schema, Draft::Draft202012, {}, walk, "", entries);
    EXPECT_EQ(golden(entries), (Lines{"/minLength|K:V", "/type|K:B", "|S:B"}));
}

TEST(KeywordTargets, UnsatisfiableLocationsAndUnknownDialects) {
    std::vector<UnknownDialectNote> notes;
    const Lines lines = collect(
        R"({"$defs": {"d": {"$schema": "https://example.com/mine", "type": "string"}},
            "properties": {"a": {"$ref": "#/$defs/d"}, "b": {"$ref": "#/$defs/d"},
                           "c": {"$schema": "https://spec.openapis.org/oas/3.1/dialect/base"}}})",
        Draft::Draft202012, LocationSet{"/properties/a"}, &notes);
    EXPECT_EQ(lines,
              (Lines{"/$defs/d/type|K:B", "/$defs/d|S:B", "/properties/a/$ref|K:B", "/properties/a|S:I",
                     "/properties/b/$ref|K:B", "/properties/b|S:B", "/properties/c|S:V", "/properties|K:B", "|S:B"}));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], (UnknownDialectNote{"/$defs/d", "https://example.com/mine", Draft::Draft202012}));
}

TEST(KeywordTargets, DeepDocumentsAreWalkedWithoutRecursion) {
    std::string text;
    for (int i = 0; i < 500; ++i) text += R"({"items":)";
    text += "{}";
    for (int i = 0; i < 500; ++i) text += "}";
    const auto schema = json(text);
    EntryMap entries;
    KeywordWalkState walk = new_keyword_walk_state(schema, Draft::Draft202012);
    collect_keyword_targets(schema, schema, Draft::Draft202012, {}, walk, "", entries);
    EXPECT_EQ(entries.size(), 501u);
    EXPECT_EQ(entries.location(entries.size() - 1), "");
}

TEST(KeywordTargets, XmlStringTypes) {
    const auto schema = json(R"({
        "$defs": {"s": {"type": "string"}},
        "properties": {"a/b": {"type": "string"}, "r": {"$ref": "#/$defs/s", "type": "string"}},
        "items": {"anyOf": [{"type": "string"}, {"type": "integer"}]}
    })");
    EntryMap entries;
    add_xml_string_type_targets(schema, entries);
    EXPECT_EQ(golden(entries), (Lines{"/properties/a~1b/type|K:V", "/$defs/s/type|K:V", "/items/anyOf/0/type|K:V"}));
}

}  // namespace
