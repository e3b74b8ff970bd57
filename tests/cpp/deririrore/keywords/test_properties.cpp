// properties: the list, map and two-name `required` forms, and the declared-property maps.
#include <algorithm>
#include <string>
#include <vector>

#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;

struct Case {
    std::string schema;
    std::string instance;
    bool valid;
    std::vector<std::string> errors;  // described(iter_errors)
};

TEST(Properties, ValidityAndErrors) {
    const std::vector<Case> cases = {
        {R"({"properties": {"a": {"type": "integer"}}})", R"("x")", true, {}},
        {R"({"properties": {"a": {"type": "integer"}}})", R"({})", true, {}},
        {R"({"properties": {"a": {"type": "integer"}}})", R"({"b": "x"})", true, {}},
        {R"({"properties": {"a": {"type": "integer"}, "b": {"type": "string"}}})",
         R"({"b": 1, "a": "x"})",
         false,
         {"/a @ /properties/a/type: \"x\" is not of type \"integer\"",
          "/b @ /properties/b/type: 1 is not of type \"string\""}},
        {R"({"properties": {"a": false}})", R"({"a": 1})", false, {"/a @ /properties/a: False schema does not allow 1"}},
        {R"({"properties": {"a/b": {"type": "integer"}, "c~d": {"type": "integer"}}})",
         R"({"a/b": "x", "c~d": "y"})",
         false,
         {"/a~1b @ /properties/a~1b/type: \"x\" is not of type \"integer\"",
          "/c~0d @ /properties/c~0d/type: \"y\" is not of type \"integer\""}},
        // More instance properties than declared ones: the other side is walked, same answers.
        {R"({"properties": {"b": {"type": "integer"}}})", R"({"a": 1, "b": "x", "c": 3})", false,
         {"/b @ /properties/b/type: \"x\" is not of type \"integer\""}},
        // Two required names beside at most 14 declared properties: one fused validator.
        {R"({"properties": {"a": {"type": "integer"}}, "required": ["a", "b"]})", R"({})", false,
         {" @ /required: \"a\" is a required property", " @ /required: \"b\" is a required property"}},
        {R"({"properties": {"a": {"type": "integer"}}, "required": ["a", "b"]})", R"({"a": "x"})", false,
         {" @ /required: \"b\" is a required property", "/a @ /properties/a/type: \"x\" is not of type \"integer\""}},
        {R"({"properties": {"a": {"type": "integer"}}, "required": ["a", "b"]})", R"({"a": 1, "b": null})", true, {}},
        // Both names the same: one property satisfies both.
        {R"({"properties": {"a": {}}, "required": ["a", "a"]})", R"({"a": 1})", true, {}},
        {R"({"properties": {"a": {}}, "required": ["a", "a"]})", R"({"b": 1, "c": 2})", false,
         {" @ /required: \"a\" is a required property", " @ /required: \"a\" is a required property"}},
        // Names longer than 16 bytes that differ only in the middle.
        {R"({"properties": {"abcdefgh_X_12345678": {"type": "integer"}}})", R"({"abcdefgh_Y_12345678": "x"})",
         true, {}},
        {R"({"properties": {"abcdefgh_X_12345678": {"type": "integer"}}})", R"({"abcdefgh_X_12345678": "x"})",
         false, {"/abcdefgh_X_12345678 @ /properties/abcdefgh_X_12345678/type: \"x\" is not of type \"integer\""}},
        {R"({"properties": {"": {"type": "integer"}}})", R"({"": "x"})", false,
         {"/ @ /properties//type: \"x\" is not of type \"integer\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema + " on " + c.instance);
        Validator v = build(c.schema);
        Value instance = json(c.instance);
        EXPECT_EQ(v.is_valid(instance), c.valid);
        EXPECT_EQ(described(v.iter_errors(instance)), c.errors);
        expect_consistent(v, instance);
    }
}

TEST(Properties, ValidateReportsMissingNamesBeforePropertyErrors) {
    Validator v = build(R"({"properties": {"a": {"type": "integer"}}, "required": ["a", "b"]})");
    auto error = v.validate(json(R"({"a": "x"})"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), "\"b\" is a required property");
    EXPECT_EQ(error->schema_path().str(), "/required");
}

TEST(Properties, TraceSequences) {
    const std::vector<TraceSequence> cases = {
        {R"({"properties": {"a": {"type": "integer"}}})", "5", true, {{"", "/properties", 2}}},
        {R"({"properties": {}})", R"({"x": 1})", true, {{"", "/properties", 2}}},
        {R"({"properties": {"a": {"type": "integer"}, "b": true}})",
         R"({"x": 1})",
         true,
         {{"", "/properties/a", 2}, {"", "/properties/b", 2}, {"", "/properties", 2}}},
        {R"({"properties": {"a": {"type": "integer"}, "b": true, "c": false}})",
         R"({"a": "s", "b": 1, "c": 2})",
         false,
         {{"/a", "/properties/a/type", 1},
          {"", "/properties/a", 1},
          {"", "/properties/b", 0},
          {"", "/properties/c", 1},
          {"", "/properties", 1}}},
        {R"({"properties": {"a": {"type": "integer"}}, "required": ["a", "b"]})",
         R"({})",
         false,
         {{"", "/properties/a", 2},
          {"", "/properties", 2},
          {"", "/required/0", 1},
          {"", "/required/1", 1},
          {"", "/required", 1}}},
        {R"({"properties": {"a": {"type": "integer"}}, "required": ["a", "b"]})",
         "[]",
         true,
         {{"", "/properties", 2}, {"", "/required/0", 2}, {"", "/required/1", 2}, {"", "/required", 2}}},
        {R"({"properties": {"a": {"type": "integer"}}, "required": ["a", "b"]})",
         R"({"a": 1, "b": 2})",
         true,
         {{"/a", "/properties/a/type", 0},
          {"", "/properties/a", 0},
          {"", "/properties", 0},
          {"", "/required/0", 0},
          {"", "/required/1", 0},
          {"", "/required", 0}}},
    };
    check_trace_sequences(cases);
}

TEST(Properties, FourteenAndFifteenNamesAgree) {
    const std::vector<std::string> instances = {
        R"({})", R"({"p00": 1, "p13": 2})", R"({"p00": "x", "p05": 1, "zz": "y"})",
        R"({"p13": "x", "p14": "y", "a": 1, "b": 2, "c": 3, "d": 4, "e": 5, "f": 6, "g": 7, "h": 8, "i": 9,
           "j": 10, "k": 11, "l": 12, "m": 13, "n": 14, "o": 15, "q": 16})",
        "7"};
    // The fifteenth name is never present, so both schemas must give the same answers and, apart
    // from its one not-applicable event, the same events.
    Validator small = build("{\"properties\": " + declared(14) + "}");
    Validator large = build("{\"properties\": " + declared(15) + "}");
    for (const auto& text : instances) {
        SCOPED_TRACE(text);
        Value instance = json(text);
        Value without_p14 = instance;
        if (without_p14.is_object()) without_p14.erase("p14");
        EXPECT_EQ(small.is_valid(without_p14), large.is_valid(without_p14));
        EXPECT_EQ(messages(small.iter_errors(without_p14)), messages(large.iter_errors(without_p14)));
        auto large_events = trace(large, without_p14).events;
        std::erase(large_events, Event{"", "/properties/p14", 2});
        EXPECT_EQ(trace(small, without_p14).events, large_events);
        expect_consistent(large, instance);
    }
}

TEST(Properties, EvaluationAnnotatesPresentDeclaredNames) {
    Validator v = build(R"({"properties": {"a": {"type": "integer"}, "b": {}, "c": {}}})");
    struct Row {
        std::string instance;
        bool valid;
        std::string annotation;
    };
    for (const Row& r : std::vector<Row>{{R"({})", true, "[]"},
                                         {R"({"c": 1, "a": 2, "x": 0})", true, R"(["a","c"])"},
                                         {R"({"a": "s"})", false, R"(["a"])"}}) {
        SCOPED_TRACE(r.instance);
        auto e = v.evaluate(json(r.instance));
        const auto* unit = keyword_unit(e, "/properties");
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->valid, r.valid);
        EXPECT_EQ(annotation_json(r.valid ? unit->annotations : unit->dropped_annotations), r.annotation);
    }
    auto non_object = v.evaluate(json("3"));
    const auto* unit = keyword_unit(non_object, "/properties");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(annotation_json(unit->annotations), "<none>");
}

TEST(Properties, MissingRequiredNamesFormOneFailedUnit) {
    Validator v = build(R"({"properties": {"a": {}}, "required": ["a", "b"]})");
    auto e = v.evaluate(json(R"({"a": 1})"));
    const auto* unit = keyword_unit(e, "/properties");
    ASSERT_NE(unit, nullptr);
    EXPECT_FALSE(unit->valid);
    auto kids = children_of(e, *unit);
    ASSERT_EQ(kids.size(), 2u);
    EXPECT_EQ(kids[0]->evaluation_path.str(), "/properties/a");
    EXPECT_EQ(kids[1]->evaluation_path.str(), "/required");
    ASSERT_EQ(kids[1]->errors.size(), 1u);
    EXPECT_EQ(kids[1]->errors[0].message, "\"b\" is a required property");
}

TEST(Properties, ClosingAdditionalPropertiesTakesOver) {
    for (const char* ap : {"false", R"({"type": "string"})"}) {
        SCOPED_TRACE(ap);
        Validator v = build(std::string(R"({"properties": {"a": {"type": "integer"}, "b": {}}, "additionalProperties": )") +
                            ap + "}");
        // The fused validator reports a declared property at the property's own location, and
        // nothing for a declared property the object lacks.
        auto events = trace(v, json(R"({"a": 1})")).events;
        EXPECT_NE(std::find(events.begin(), events.end(), Event{"/a", "/properties/a", 0}), events.end());
        for (const auto& e : events) EXPECT_NE(e.keyword, "/properties/b") << e;
        for (const auto& e : events) EXPECT_FALSE(e.instance.empty() && e.keyword == "/properties/a") << e;
    }
    Validator open = build(R"({"properties": {"a": {"type": "integer"}}, "additionalProperties": true})");
    EXPECT_EQ(trace(open, json(R"({"a": 1})")).events,
              (std::vector<Event>{{"/a", "/properties/a/type", 0}, {"", "/properties/a", 0}, {"", "/properties", 0}}));
}

TEST(Properties, CompileErrors) {
    auto error = compile_error(R"({"properties": 5})");
    EXPECT_EQ(error.message(), kwtest::located("5 is not of type \"object\"", "/properties"));
    EXPECT_EQ(error.schema_path().str(), "/properties");
    // The first subschema in name order that fails decides.
    auto sub = compile_error(R"({"properties": {"b": {"properties": 1}, "a": {"properties": 2}}})");
    EXPECT_EQ(sub.schema_path().str(), "/properties/a/properties");
}

TEST(Properties, SubschemaWithItsOwnDraft) {
    // Draft 4 takes 1.0 for no integer; later drafts do.
    Validator v = build(R"({"properties": {"a": {"$schema": "http://json-schema.org/draft-04/schema#",
                                                 "type": "integer"},
                                           "b": {"type": "integer"}}})");
    EXPECT_FALSE(v.is_valid(json(R"({"a": 1.0})")));
    EXPECT_TRUE(v.is_valid(json(R"({"b": 1.0})")));
}

}  // namespace
