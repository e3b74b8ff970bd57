#include <gtest/gtest.h>

#include <string>

#include "../support/engine_test_support.hpp"
#include "zavova/schema_predicates.hpp"

namespace {

using namespace zavova;
using enginetest::json;

struct PredicateCase {
    const char* schema;
    bool vacuous;
    bool never_valid;
};

TEST(SchemaPredicates, VacuousAndNeverValidFromTheValueAlone) {
    const PredicateCase cases[] = {
        {"true", true, false},
        {"false", false, true},
        {"{}", true, false},
        {"3", false, false},
        {R"({"title": "t", "$comment": "c", "examples": [1], "x-a": 1})", true, false},
        {R"({"type": "string"})", false, false},
        {R"({"format": "date"})", false, false},
        {R"({"$ref": "#/definitions/a"})", false, false},
        {R"({"frobnicate": 1})", false, false},
        {R"({"not": false})", true, false},
        {R"({"not": {"not": {}}})", true, false},
        {R"({"items": {}})", true, false},
        {R"({"additionalProperties": true})", true, false},
        {R"({"properties": {}})", true, false},
        {R"({"patternProperties": {}})", true, false},
        {R"({"properties": {"a": {}}})", false, false},
        {R"({"anyOf": [{}, {"type": "string"}]})", true, false},
        {R"({"anyOf": [{"type": "null"}, {"type": "boolean"}, {"type": "number"}, {"type": "string"},
                       {"type": "array"}, {"type": "object"}]})",
         true, false},
        {R"({"anyOf": [{"type": "null"}, {"type": "boolean"}, {"type": "integer"}, {"type": "string"},
                       {"type": "array"}, {"type": "object"}]})",
         false, false},
        {R"({"anyOf": [{}], "allOf": [{}]})", false, false},
        {R"({"allOf": []})", true, false},
        {R"({"anyOf": []})", false, false},
        {R"({"oneOf": []})", false, false},
        {R"({"oneOf": [{}, false, {"not": {}}]})", true, false},
        {R"({"oneOf": [{}, {}]})", false, false},
        {R"({"nullable": true, "description": "d"})", true, false},
        {R"({"nullable": false})", false, false},
        {R"({"nullable": true, "items": {}})", false, false},
        {R"({"x-nullable": true, "items": {}})", true, false},
        {R"({"enum": []})", false, true},
        {R"({"type": "integer", "enum": [1.5]})", false, true},
        {R"({"type": ["string"], "const": 3})", false, true},
        {R"({"not": {}})", false, true},
        {R"({"type": "number", "enum": [1]})", false, false},
        {R"({"type": "integer", "const": 1.0})", false, false},
        {R"({"type": "whatever", "enum": [1]})", false, false},
    };
    for (const auto& c : cases) {
        const auto v = json(c.schema);
        EXPECT_EQ(is_vacuous_schema(v), c.vacuous) << c.schema;
        EXPECT_EQ(is_never_valid_schema(v), c.never_valid) << c.schema;
    }
}

TEST(SchemaPredicates, InsideTheDocument) {
    const auto doc = json(R"({
        "definitions": {
            "empty": {},
            "self": {"$ref": "#/definitions/self"},
            "a b": {},
            "ping": {"anyOf": [{"$ref": "#/definitions/pong"}]},
            "pong": {"anyOf": [{"$ref": "#/definitions/ping"}, {"type": "string"}]},
            "left": {"anyOf": [{"$ref": "#/definitions/right"}, {}]},
            "right": {"allOf": [{"$ref": "#/definitions/left"}]}
        },
        "cases": [
            {"$ref": "#/definitions/empty"},
            {"$ref": "#/definitions/self"},
            {"$ref": "#/definitions/empty", "type": "string"},
            {"$ref": "#/definitions/a%20b"},
            {"properties": {"p": {"$ref": "#/definitions/empty"}}},
            {"$ref": "#/definitions/ping"},
            {"$ref": "#/definitions/right"},
            {"$ref": "#/definitions/missing"},
            {"$ref": "#/definitions/%FF"},
            {"items": [{}, {"$ref": "#/definitions/empty"}]}
        ]
    })");
    const bool expected[] = {true, false, false, true, true, false, true, false, false, true};
    SchemaPredicates facts(doc, Draft::Draft7);
    const auto& cases = doc.find("cases")->as_array();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(facts.vacuous_in_document(cases[i]), expected[i]) << i;
        EXPECT_EQ(is_vacuous_in_document(cases[i], doc, Draft::Draft7), expected[i]) << i;
    }
    // The one-member "properties" is vacuous only in the document form.
    EXPECT_FALSE(facts.vacuous(cases[4]));
}

// Each definition refers to the next one twice: answered once per definition, not once per path.
TEST(SchemaPredicates, ChainOfDoubleReferencesAnswersPerObject) {
    constexpr int kLevels = 40;
    for (const char* combinator : {"allOf", "anyOf"}) {
        std::string text = R"({"$defs": {)";
        for (int i = 0; i < kLevels; ++i) {
            const std::string next = "\"#/$defs/d" + std::to_string(i + 1) + "\"";
            text += "\"d" + std::to_string(i) + "\": {\"" + combinator + "\": [{\"$ref\": " + next +
                    "}, {\"$ref\": " + next + "}]},";
        }
        text += "\"d" + std::to_string(kLevels) + "\": {\"type\": \"string\"}}}";
        const auto doc = json(text);
        SchemaPredicates facts(doc, Draft::Draft202012);
        EXPECT_FALSE(facts.vacuous_in_document(*doc.find("$defs")->find("d0"))) << combinator;
    }
    // And when the last one accepts everything, every level does.
    std::string text = R"({"$defs": {)";
    for (int i = 0; i < kLevels; ++i) {
        const std::string next = "\"#/$defs/d" + std::to_string(i + 1) + "\"";
        text += "\"d" + std::to_string(i) + "\": {\"allOf\": [{\"$ref\": " + next + "}, {\"$ref\": " + next + "}]},";
    }
    text += "\"d" + std::to_string(kLevels) + "\": {}}}";
    const auto doc = json(text);
    SchemaPredicates facts(doc, Draft::Draft202012);
    EXPECT_TRUE(facts.vacuous_in_document(*doc.find("$defs")->find("d0")));
}

TEST(SchemaPredicates, DeepNestingIsBoundedAndCautious) {
    // Built by code, deeper than any reader allows: answers, without exhausting the stack.
    deririrore::value::Value v = deririrore::value::Value::object();
    for (int i = 0; i < 20000; ++i) {
        deririrore::value::Value outer = deririrore::value::Value::object();
        outer.insert_or_assign("not", deririrore::value::Value::object());
        outer.find_mut("not")->insert_or_assign("not", std::move(v));
        v = std::move(outer);
    }
    SchemaPredicates facts(v, Draft::Draft202012);
    EXPECT_FALSE(facts.vacuous(v));
    EXPECT_FALSE(facts.never_valid(v));
    EXPECT_FALSE(facts.vacuous_in_document(v));
}

TEST(SchemaPredicates, LocalReferences) {
    const auto doc = json(R"({
        "$defs": {"a/b": {"type": "string"}, "named": {"$anchor": "here", "type": "integer"}},
        "items": {"$anchor": "first", "type": "null"}
    })");
    SchemaPredicates facts(doc, Draft::Draft202012);
    struct Case {
        const char* ref;
        const char* pointer;  // nullptr: not found
    } cases[] = {
        {"#", ""},
        {"", ""},
        {"#/$defs/a~1b", "/$defs/a~1b"},
        {"/$defs/a~1b", "/$defs/a~1b"},
        {"#here", "/$defs/named"},
        {"#first", "/items"},
        {"#nowhere", nullptr},
        {"other.json#/$defs/a~1b", nullptr},
        {"named", nullptr},
        {"#/$defs/missing", nullptr},
    };
    for (const auto& c : cases) {
        auto found = facts.resolve_local_ref(c.ref);
        if (c.pointer == nullptr) {
            EXPECT_FALSE(found) << c.ref;
        } else {
            ASSERT_TRUE(found) << c.ref;
            EXPECT_EQ(found->pointer, c.pointer) << c.ref;
        }
    }
    // Draft 7 anchors are "$id"s beginning with "#".
    const auto seven = json(R"({"definitions": {"x": {"$id": "#there"}}})");
    SchemaPredicates facts7(seven, Draft::Draft7);
    ASSERT_TRUE(facts7.resolve_local_ref("#there"));
    EXPECT_EQ(facts7.resolve_local_ref("#there")->pointer, "/definitions/x");
}

TEST(SchemaPredicates, KeywordsByDraftAndLocations) {
    EXPECT_FALSE(keyword_in_draft(Draft::Draft4, "const"));
    EXPECT_FALSE(keyword_in_draft(Draft::Draft202012, "$recursiveRef"));
    EXPECT_FALSE(keyword_in_draft(Draft::Unknown, "$recursiveRef"));
    EXPECT_TRUE(keyword_in_draft(Draft::Draft201909, "$recursiveRef"));
    EXPECT_TRUE(keyword_in_draft(Draft::Draft7, "if"));
    EXPECT_FALSE(keyword_in_draft(Draft::Draft6, "if"));
    EXPECT_FALSE(keyword_in_draft(Draft::Draft201909, "prefixItems"));
    EXPECT_TRUE(keyword_in_draft(Draft::Draft4, "frobnicate"));
    EXPECT_EQ(child_location("", "a/b~c"), "/a~1b~0c");
    EXPECT_EQ(child_location("/properties", "x"), "/properties/x");
    EXPECT_TRUE(is_annotation_keyword("x-"));
    EXPECT_FALSE(is_annotation_keyword("x"));
    EXPECT_FALSE(is_annotation_keyword("nullable"));
    EXPECT_FALSE(is_annotation_keyword("discriminator"));
}

}  // namespace
