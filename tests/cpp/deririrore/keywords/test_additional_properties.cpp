// additionalProperties without patternProperties: alone (false or a schema), beside properties
// (a schema, false), and fused with a one-name required.
#include <algorithm>
#include <string>
#include <vector>

#include "deririrore/keywords/additional_properties.hpp"
#include "deririrore/keywords/properties.hpp"
#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;

struct Case {
    std::string schema;
    std::string instance;
    std::vector<std::string> errors;  // described(iter_errors)
    std::string first;                // validate's message, empty when valid
};

TEST(AdditionalProperties, ErrorsOfEveryForm) {
    const std::string closed = R"({"properties": {"a": {"type": "integer"}, "c": {"type": "string"}},
                                  "additionalProperties": false})";
    const std::string closed_required = R"({"properties": {"id": {"type": "string"}, "n": {"type": "integer"}},
                                           "required": ["id"], "additionalProperties": false})";
    const std::vector<Case> cases = {
        {R"({"additionalProperties": false})", R"({})", {}, ""},
        // The first property's value stands for the object, at the object's location.
        {R"({"additionalProperties": false})", R"({"b": 2, "a": 1})", {" @ /additionalProperties: False schema does not allow 1"},
         "False schema does not allow 1"},
        {R"({"additionalProperties": {"type": "string"}})", R"({"x": 1, "y": "s"})",
         {"/x @ /additionalProperties/type: 1 is not of type \"string\""}, "1 is not of type \"string\""},
        {closed, R"({"a": 1, "b": 2, "d": 3})",
         {" @ /additionalProperties: Additional properties are not allowed ('b', 'd' were unexpected)"},
         "Additional properties are not allowed ('b' was unexpected)"},
        {closed, R"({"a": "s"})", {"/a @ /properties/a/type: \"s\" is not of type \"integer\""},
         "\"s\" is not of type \"integer\""},
        // Name order decides which failure validate reports.
        {closed, R"({"c": 1, "a": "s"})",
         {"/a @ /properties/a/type: \"s\" is not of type \"integer\"", "/c @ /properties/c/type: 1 is not of type \"string\""},
         "\"s\" is not of type \"integer\""},
        // Subschema errors first, the one additionalProperties error last.
        {closed, R"({"0": 1, "a": "s"})",
         {"/a @ /properties/a/type: \"s\" is not of type \"integer\"",
          " @ /additionalProperties: Additional properties are not allowed ('0' was unexpected)"},
         "Additional properties are not allowed ('0' was unexpected)"},
        {R"({"properties": {}, "additionalProperties": false})", R"({"x": 1, "it's, odd": 2})",
         {" @ /additionalProperties: Additional properties are not allowed ('it's, odd', 'x' were unexpected)"},
         "Additional properties are not allowed ('it's, odd' was unexpected)"},
        {R"({"properties": {"a": {"type": "integer"}}, "additionalProperties": {"type": "string"}})",
         R"({"b": 1, "a": "x", "c": "ok"})",
         {"/a @ /properties/a/type: \"x\" is not of type \"integer\"", "/b @ /additionalProperties/type: 1 is not of type \"string\""},
         "\"x\" is not of type \"integer\""},
        {closed_required, R"({"id": "x", "n": 1})", {}, ""},
        {closed_required, R"({"n": 1})", {" @ /required: \"id\" is a required property"}, "\"id\" is a required property"},
        {closed_required, R"({"n": 1, "x": 2})",
         {" @ /additionalProperties: Additional properties are not allowed ('x' was unexpected)",
          " @ /required: \"id\" is a required property"},
         "Additional properties are not allowed ('x' was unexpected)"},
        // A required name that is present but not declared is unexpected, not also missing.
        {R"({"properties": {"a": {}}, "required": ["z"], "additionalProperties": false})", R"({"z": 1})",
         {" @ /additionalProperties: Additional properties are not allowed ('z' was unexpected)"},
         "Additional properties are not allowed ('z' was unexpected)"},
        {R"({"properties": {"a": {}}, "required": ["z"], "additionalProperties": false})", R"({"a": 1})",
         {" @ /required: \"z\" is a required property"}, "\"z\" is a required property"},
        // A deep invalid array first in name order: still reported first, whatever is_valid skips.
        {closed_required, R"({"id": [1, [2]], "zz": 1})",
         {"/id @ /properties/id/type: [1,[2]] is not of type \"string\"",
          " @ /additionalProperties: Additional properties are not allowed ('zz' was unexpected)"},
         "[1,[2]] is not of type \"string\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema + " on " + c.instance);
        Validator v = build(c.schema);
        Value instance = json(c.instance);
        EXPECT_EQ(described(v.iter_errors(instance)), c.errors);
        auto first = v.validate(instance);
        EXPECT_EQ(first ? first->message() : std::string(), c.first);
        expect_consistent(v, instance, false);
    }
}

TEST(AdditionalProperties, NonObjectsAreValid) {
    for (const char* schema : {R"({"additionalProperties": false})", R"({"additionalProperties": {"type": "string"}})",
                               R"({"properties": {"a": {}}, "additionalProperties": false})",
                               R"({"properties": {"a": {}}, "required": ["a"], "additionalProperties": false})",
                               R"({"properties": {"a": {}}, "additionalProperties": {"type": "string"}})"}) {
        SCOPED_TRACE(schema);
        Validator v = build(schema);
        for (const char* instance : {"5", "\"s\"", "[1]", "null", "true"}) {
            EXPECT_TRUE(v.is_valid(json(instance)));
            Traced t = trace(v, json(instance));
            EXPECT_TRUE(t.valid);
            EXPECT_EQ(t.events, (std::vector<Event>{{"", "/additionalProperties", 2}}));
            EXPECT_TRUE(v.evaluate(json(instance)).valid);
        }
    }
}

TEST(AdditionalProperties, TraceSequences) {
    const std::string closed = R"({"properties": {"a": {"type": "integer"}, "c": {"type": "string"}},
                                  "additionalProperties": false})";
    const std::string declared_schema =
        R"({"properties": {"a": {"type": "integer"}, "p": {}}, "additionalProperties": {"type": "string"}})";
    const std::string closed_required = R"({"properties": {"id": {"type": "string"}, "n": {"type": "integer"}},
                                           "required": ["id"], "additionalProperties": false})";
    const std::vector<TraceSequence> cases = {
        {R"({"additionalProperties": false})", R"({})", true, {{"", "/additionalProperties", 0}}},
        {R"({"additionalProperties": false})", R"({"a": 1})", false, {{"", "/additionalProperties", 1}}},
        {R"({"additionalProperties": {"type": "string"}})", R"({})", true, {{"", "/additionalProperties", 2}}},
        {R"({"additionalProperties": {"type": "string"}})", R"({"x": 1, "y": "s"})", false,
         {{"/x", "/additionalProperties/type", 1}, {"/y", "/additionalProperties/type", 0}, {"", "/additionalProperties", 1}}},
        {closed, R"({"a": 1, "b": 2, "d": 3})", false,
         {{"/a", "/properties/a/type", 0}, {"/a", "/properties/a", 0}, {"", "/properties", 0}, {"", "/additionalProperties", 1}}},
        {closed, R"({"a": "s"})", false,
         {{"/a", "/properties/a/type", 1}, {"/a", "/properties/a", 1}, {"", "/properties", 1}, {"", "/additionalProperties", 0}}},
        {closed, R"({})", true, {{"", "/properties", 2}, {"", "/additionalProperties", 0}}},
        {declared_schema, R"({})", true, {{"", "/properties", 2}, {"", "/additionalProperties", 2}}},
        {declared_schema, R"({"a": 1})", true,
         {{"/a", "/properties/a/type", 0}, {"/a", "/properties/a", 0}, {"", "/properties", 0}, {"", "/additionalProperties", 2}}},
        // Declared and undeclared names interleave in name order.
        {declared_schema, R"({"b": 1, "a": 2, "c": "s"})", false,
         {{"/a", "/properties/a/type", 0},
          {"/a", "/properties/a", 0},
          {"/b", "/additionalProperties/type", 1},
          {"/c", "/additionalProperties/type", 0},
          {"", "/properties", 0},
          {"", "/additionalProperties", 1}}},
        {closed_required, R"({"id": "x", "n": 1})", true,
         {{"/id", "/properties/id/type", 0},
          {"/id", "/properties/id", 0},
          {"/n", "/properties/n/type", 0},
          {"/n", "/properties/n", 0},
          {"", "/properties", 0},
          {"", "/additionalProperties", 0},
          {"", "/required/0", 0},
          {"", "/required", 0}}},
        {closed_required, R"({})", false,
         {{"", "/properties", 2}, {"", "/additionalProperties", 0}, {"", "/required/0", 1}, {"", "/required", 1}}},
        {R"({"properties": {"a": {}}, "required": ["z"], "additionalProperties": false})", R"({"z": 1})", false,
         {{"", "/properties", 2}, {"", "/additionalProperties", 1}, {"", "/required/0", 0}, {"", "/required", 0}}},
    };
    check_trace_sequences(cases);
}

TEST(AdditionalProperties, FourteenAndFifteenNamesAgree) {
    // The fifteenth declared name is never present: both sizes must answer alike.
    const std::vector<std::string> tails = {R"("additionalProperties": false)",
                                            R"("additionalProperties": {"type": "string"})",
                                            R"("required": ["p01"], "additionalProperties": false)"};
    const std::vector<std::string> instances = {R"({})", R"({"p00": 1, "p13": 2})", R"({"p00": "x", "p05": 1, "zz": 3})",
                                                R"({"p01": 1, "q": "s"})", R"({"p02": 1})", "4"};
    for (const auto& tail : tails) {
        Validator small = build("{\"properties\": " + declared(14) + ", " + tail + "}");
        Validator large = build("{\"properties\": " + declared(15) + ", " + tail + "}");
        for (const auto& text : instances) {
            SCOPED_TRACE(tail + " on " + text);
            Value instance = json(text);
            EXPECT_EQ(small.is_valid(instance), large.is_valid(instance));
            EXPECT_EQ(described(small.iter_errors(instance)), described(large.iter_errors(instance)));
            EXPECT_EQ(trace(small, instance).events, trace(large, instance).events);
            auto a = small.validate(instance);
            auto b = large.validate(instance);
            EXPECT_EQ(a ? a->message() : "", b ? b->message() : "");
        }
    }
}

TEST(AdditionalProperties, FormChosenBySizeAndSiblings) {
    namespace kw = deririrore::keywords;
    const std::string p14 = "{\"properties\": " + declared(14);
    const std::string p15 = "{\"properties\": " + declared(15);
    EXPECT_TRUE(is_built_as<kw::ClosedPropertiesValidator<kw::SmallPropertyMap>>(build(p14 + R"(, "additionalProperties": false})"),
                                                                          "additionalProperties"));
    EXPECT_TRUE(is_built_as<kw::ClosedPropertiesValidator<kw::LargePropertyMap>>(build(p15 + R"(, "additionalProperties": false})"),
                                                                          "additionalProperties"));
    EXPECT_TRUE(is_built_as<kw::ClosedRequiredPropertiesValidator<kw::LargePropertyMap>>(
        build(p15 + R"(, "required": ["p00"], "additionalProperties": false})"), "additionalProperties"));
    EXPECT_TRUE(is_built_as<kw::PropertiesAdditionalSchemaValidator<kw::LargePropertyMap>>(
        build(p15 + R"(, "additionalProperties": {}})"), "additionalProperties"));
    EXPECT_TRUE(is_built_as<kw::PropertiesRequiredPairValidator>(build(p14 + R"(, "required": ["a", "b"]})"), "properties"));
    EXPECT_TRUE(is_built_as<kw::PropertiesMapValidator>(build(p15 + R"(, "required": ["a", "b"]})"), "properties"));
    EXPECT_TRUE(is_built_as<kw::PropertiesListValidator>(build(p14 + R"(, "required": ["a", "b", "c"]})"), "properties"));
    EXPECT_TRUE(is_built_as<kw::PropertiesListValidator>(
        build(p14 + R"(, "required": ["a", "b"], "patternProperties": {}})"), "properties"));
}

TEST(AdditionalProperties, LongNamesDifferingInTheMiddleAreUndeclared) {
    Validator v = build(R"({"properties": {"abcdefgh_X_12345678": {}}, "additionalProperties": false})");
    EXPECT_TRUE(v.is_valid(json(R"({"abcdefgh_X_12345678": 1})")));
    EXPECT_FALSE(v.is_valid(json(R"({"abcdefgh_Y_12345678": 1})")));
}

TEST(AdditionalProperties, EvaluationOutput) {
    struct Row {
        std::string schema;
        std::string instance;
        bool valid;
        std::string annotation;
        std::vector<std::string> errors;
        std::vector<std::string> children;  // evaluation paths
    };
    const std::vector<Row> rows = {
        {R"({"additionalProperties": {"type": "string"}})", R"({})", true, "[]", {}, {}},
        {R"({"additionalProperties": {"type": "string"}})", R"({"y": "s", "x": 1})", false, R"(["x","y"])", {},
         {"/additionalProperties", "/additionalProperties"}},
        {R"({"additionalProperties": false})", R"({"a": 1})", false, "<none>", {"False schema does not allow 1"}, {}},
        {R"({"properties": {"a": {}}, "additionalProperties": {"type": "string"}})", R"({"a": 1})", true, "<none>", {},
         {"/properties/a"}},
        {R"({"properties": {"a": {}}, "additionalProperties": {"type": "string"}})", R"({"b": "s", "a": 1})", true,
         R"(["b"])", {}, {"/properties/a", "/additionalProperties"}},
        {R"({"properties": {"a": {}}, "additionalProperties": false})", R"({"b": 1, "a": 1, "c": 2})", false, "<none>",
         {"Additional properties are not allowed ('b', 'c' were unexpected)"}, {"/properties/a"}},
        {R"({"properties": {"a": {}}, "required": ["a"], "additionalProperties": false})", R"({"x": 1})", false,
         "<none>",
         {"Additional properties are not allowed ('x' was unexpected)", "\"a\" is a required property"}, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.schema + " on " + r.instance);
        Validator v = build(r.schema);
        auto e = v.evaluate(json(r.instance));
        const auto* unit = keyword_unit(e, "/additionalProperties");
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->valid, r.valid);
        EXPECT_EQ(annotation_json(unit->valid ? unit->annotations : unit->dropped_annotations), r.annotation);
        std::vector<std::string> errors;
        for (const auto& d : unit->errors) errors.push_back(d.message);
        EXPECT_EQ(errors, r.errors);
        std::vector<std::string> children;
        for (const auto* child : children_of(e, *unit)) children.push_back(child->evaluation_path.str());
        EXPECT_EQ(children, r.children);
    }
}

TEST(AdditionalProperties, CompileChoicesAndErrors) {
    // `true` builds nothing: no event ever names its Location.
    for (const auto& e : trace(build(R"({"additionalProperties": true, "properties": {"a": {}}})"), json(R"({"b": 1})")).events) {
        EXPECT_NE(e.keyword, "/additionalProperties");
    }
    auto unexpected = compile_error(R"({"properties": 5, "additionalProperties": false})");
    EXPECT_EQ(unexpected.message(), kwtest::located("Unexpected type", "/additionalProperties"));
    EXPECT_EQ(unexpected.schema_path().str(), "/additionalProperties");
    auto schema_form = compile_error(R"({"properties": "x", "additionalProperties": {}})");
    EXPECT_EQ(schema_form.message(), kwtest::located("Unexpected type", "/additionalProperties"));
    // A declared subschema fails before the additional one is compiled.
    auto order = compile_error(R"({"properties": {"a": {"properties": 1}}, "additionalProperties": {"properties": 2}})");
    EXPECT_EQ(order.schema_path().str(), "/properties/a/properties");
    auto additional = compile_error(R"({"additionalProperties": {"properties": 2}})");
    EXPECT_EQ(additional.schema_path().str(), "/additionalProperties/properties");
}

TEST(AdditionalProperties, RequiredIsTakenOverOnlyWithOneStringName) {
    // One name: the fused validator reports required/0 and required after its own events.
    auto one = trace(build(R"({"properties": {"a": {}}, "required": ["a"], "additionalProperties": false})"), json("{}"));
    EXPECT_EQ(one.events,
              (std::vector<Event>{{"", "/properties", 2}, {"", "/additionalProperties", 0}, {"", "/required/0", 1}, {"", "/required", 1}}));
    // Two names: `required` is left to its own validator; the closed one reports no required check.
    auto two = trace(build(R"({"properties": {"a": {}}, "required": ["a", "b"], "additionalProperties": false})"),
                     json("{}"));
    std::vector<Event> closed_events;
    for (const auto& e : two.events) {
        if (e.keyword.rfind("/required", 0) != 0) closed_events.push_back(e);
    }
    EXPECT_EQ(closed_events, (std::vector<Event>{{"", "/properties", 2}, {"", "/additionalProperties", 0}}));
    EXPECT_LE(std::count(two.events.begin(), two.events.end(), Event{"", "/required", 1}), 1);
    // A one-item required whose item is not a string is left to `required`, which refuses it.
    auto number = compile_error(R"({"properties": {"a": {}}, "required": [1], "additionalProperties": false})");
    EXPECT_EQ(number.message(), kwtest::located("1 is not of type \"string\"", "/required"));
}

}  // namespace
