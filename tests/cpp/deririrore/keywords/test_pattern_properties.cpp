// patternProperties alone, and additionalProperties beside it (with and without properties):
// name matching, the error, evaluation and trace orders, engine failures, and compile cost.
#include <algorithm>
#include <string>
#include <vector>

#include "deririrore/keywords/additional_patterns.hpp"
#include "deririrore/keywords/pattern_properties.hpp"
#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;
namespace kw = deririrore::keywords;

ValidationOptions backtrack_limit(std::uint64_t limit) {
    ValidationOptions options = options_for(Draft::Draft202012);
    core::PatternOptions patterns;
    patterns.backtrack_limit = limit;
    options.with_pattern_options(patterns);
    return options;
}

ValidationOptions automaton() {
    ValidationOptions options = options_for(Draft::Draft202012);
    options.with_pattern_options(core::PatternOptions::automaton());
    return options;
}

struct Case {
    std::string schema;
    std::string instance;
    std::vector<std::string> errors;  // described(iter_errors)
    std::string first;                // described(validate), empty when valid
};

void check_errors(const std::vector<Case>& cases, const ValidationOptions& options = options_for(Draft::Draft202012)) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema + " on " + c.instance);
        Validator v = build(c.schema, options);
        Value instance = json(c.instance);
        EXPECT_EQ(described(v.iter_errors(instance)), c.errors);
        auto first = v.validate(instance);
        EXPECT_EQ(first ? described({*first}).front() : std::string(), c.first);
        expect_consistent(v, instance, false);
    }
}

TEST(PatternProperties, Errors) {
    check_errors({
        {R"({"patternProperties": {}})", R"({"a": 1})", {}, ""},
        {R"({"patternProperties": {"^x-": {"type": "integer"}}})", R"({"x-a": "s", "y": "t"})",
         {"/x-a @ /patternProperties/^x-/type: \"s\" is not of type \"integer\""},
         "/x-a @ /patternProperties/^x-/type: \"s\" is not of type \"integer\""},
        // A name that two patterns match is checked against both.
        {R"({"patternProperties": {"a": {"type": "integer"}, "b": {"minimum": 10}}})", R"({"ab": 3})",
         {"/ab @ /patternProperties/b/minimum: 3 is less than the minimum of 10"},
         "/ab @ /patternProperties/b/minimum: 3 is less than the minimum of 10"},
        // validate goes property by property, iter_errors pattern by pattern.
        {R"({"patternProperties": {"a": false, "b": false}})", R"({"b": 1, "xa": 2})",
         {"/xa @ /patternProperties/a: False schema does not allow 2", "/b @ /patternProperties/b: False schema does not allow 1"},
         "/b @ /patternProperties/b: False schema does not allow 1"},
        {R"({"patternProperties": {"^\\S*$": false}})", "{\"a b\": 1, \"c\u00a0d\": 2, \"e\u3000f\": 3}", {}, ""},
        {R"({"patternProperties": {"^\\S*$": false}})", R"({"": 1})", {"/ @ /patternProperties/^\\S*$: False schema does not allow 1"},
         "/ @ /patternProperties/^\\S*$: False schema does not allow 1"},
        {R"({"patternProperties": {"^(red|green)$": false}})", R"({"greenish": 1, "red": 2})",
         {"/red @ /patternProperties/^(red|green)$: False schema does not allow 2"},
         "/red @ /patternProperties/^(red|green)$: False schema does not allow 2"},
        {R"({"patternProperties": {"^abc": false}})", R"({"ab": 1, "xabc": 2})", {}, ""},
    });
}

TEST(PatternProperties, TraceSequences) {
    check_trace_sequences({
        {R"({"patternProperties": {}})", R"({"a": 1})", true, {{"", "/patternProperties", 2}}},
        {R"({"patternProperties": {"^x-": {"type": "integer"}}})", "[1]", true, {{"", "/patternProperties/^x-", 2}}},
        {R"({"patternProperties": {"a": {}, "b": {}}})", "\"s\"", true, {{"", "/patternProperties", 2}}},
        {R"({"patternProperties": {"^x-": {"type": "integer"}}})", R"({"x-a": 1, "y": 2})", true,
         {{"/x-a", "/patternProperties/^x-/type", 0}, {"", "/patternProperties/^x-", 0}, {"", "/patternProperties/^x-", 0}}},
        {R"({"patternProperties": {"^x-": {"type": "integer"}}})", R"({"y": 2})", true, {{"", "/patternProperties/^x-", 2}}},
        {R"({"patternProperties": {"a": {"type": "integer"}, "b": false}})", R"({"ab": 1, "b": 2})", false,
         {{"/ab", "/patternProperties/a/type", 0},
          {"", "/patternProperties/a", 0},
          {"", "/patternProperties/b", 1},
          {"", "/patternProperties/b", 1},
          {"", "/patternProperties", 1}}},
    });
}

TEST(PatternProperties, EvaluationListsEachMatch) {
    Validator v = build(R"({"patternProperties": {"a": {}, "b": {}}})");
    auto e = v.evaluate(json(R"({"ab": 1, "c": 2})"));
    const auto* unit = keyword_unit(e, "/patternProperties");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(annotation_json(unit->annotations), R"(["ab","ab"])");
    EXPECT_EQ(children_of(e, *unit).size(), 2u);
    auto empty = build(R"({"patternProperties": {}})").evaluate(json(R"({"a": 1})"));
    EXPECT_EQ(annotation_json(keyword_unit(empty, "/patternProperties")->annotations), "[]");
}

TEST(PatternProperties, FormsAndStandingDown) {
    Validator fast = build(R"({"patternProperties": {"^a": {}, "^(x|y)$": {}}})");
    const auto* all_fast = root_keyword<kw::PatternPropertiesValidator>(fast, "patternProperties");
    ASSERT_NE(all_fast, nullptr);
    for (const auto& e : all_fast->entries()) EXPECT_EQ(e.pattern.kind(), kw::CompiledPattern::Kind::Fast);
    // One pattern that needs an engine sends every pattern of the keyword to it.
    Validator mixed = build(R"({"patternProperties": {"^a": {}, "b+": {}}})");
    for (const auto& e : root_keyword<kw::PatternPropertiesValidator>(mixed, "patternProperties")->entries()) {
        EXPECT_EQ(e.pattern.kind(), kw::CompiledPattern::Kind::Backtracking);
    }
    Validator with_automaton = build(R"({"patternProperties": {"^a": {}, "b+": {}}})", automaton());
    for (const auto& e : root_keyword<kw::PatternPropertiesValidator>(with_automaton, "patternProperties")->entries()) {
        EXPECT_EQ(e.pattern.kind(), kw::CompiledPattern::Kind::Automaton);
    }
    for (const char* ap : {"false", "{}"}) {
        Validator v = build(std::string(R"({"patternProperties": {"^a": {}}, "additionalProperties": )") + ap + "}");
        EXPECT_EQ(root_keyword<kw::PatternPropertiesValidator>(v, "patternProperties"), nullptr);
    }
    Validator open = build(R"({"patternProperties": {"^a": {}}, "additionalProperties": true})");
    EXPECT_NE(root_keyword<kw::PatternPropertiesValidator>(open, "patternProperties"), nullptr);
}

TEST(PatternProperties, CompileErrors) {
    struct Row {
        std::string schema;
        std::string message;
        std::string path;
    };
    for (const Row& r : std::vector<Row>{
             {R"({"patternProperties": []})", "[] is not of type \"object\"", "/patternProperties"},
             {R"({"patternProperties": {"(": {}}})", "\"(\" is not a \"regex\"", "/patternProperties/("},
             {R"({"patternProperties": {"a/b(": {}}})", "\"a/b(\" is not a \"regex\"", "/patternProperties/a~1b("},
             // A valid pattern beyond the engines' size limits is too large, not "not a regex".
             {R"({"patternProperties": {"(ab){99999999}": {}}})",
              "Error compiling regex: pattern too large: its compiled form would exceed the size limit of both regex "
              "engines",
              "/patternProperties/(ab){99999999}"},
             // Pattern errors and subschema errors in key order.
             {R"({"patternProperties": {"^a": {"properties": 1}, "b(": {}}})", "1 is not of type \"object\"",
              "/patternProperties/^a/properties"},
             {R"({"patternProperties": {"(": {}}, "additionalProperties": true})", "\"(\" is not a \"regex\"",
              "/patternProperties/("},
             {R"({"patternProperties": [], "additionalProperties": true})", "[] is not of type \"object\"", "/patternProperties"},
             {R"({"patternProperties": [], "additionalProperties": false})", "[] is not of type \"object\"", "/patternProperties"},
             {R"({"patternProperties": {"^a": {"properties": 1}}, "additionalProperties": true})", "1 is not of type \"object\"",
              "/patternProperties/^a/properties"},
             {R"({"properties": 5, "patternProperties": {}, "additionalProperties": false})", "Unexpected type", "/properties"},
             // "Unexpected type" before the additional subschema is compiled.
             {R"({"properties": 5, "patternProperties": {}, "additionalProperties": {"properties": 1}})", "Unexpected type",
              "/properties"},
             // With properties an object, the additional subschema's error comes before the declared ones'.
             {R"({"properties": {"a": {"properties": 2}}, "patternProperties": {}, "additionalProperties": {"properties": 1}})",
              "1 is not of type \"object\"", "/additionalProperties/properties"},
         }) {
        SCOPED_TRACE(r.schema);
        auto error = compile_error(r.schema);
        EXPECT_EQ(error.message(), kwtest::located(r.message, r.path));
        EXPECT_EQ(error.schema_path().str(), r.path);
    }
}

TEST(AdditionalBesidePatterns, Errors) {
    const std::string closed = R"({"patternProperties": {"^a": {"type": "string"}}, "additionalProperties": false})";
    const std::string declared = R"({"properties": {"p": {"type": "integer"}, "ab": {"minLength": 2}},
                                    "patternProperties": {"^a": {"type": "string"}}, "additionalProperties": false})";
    check_errors({
        {closed, R"({"b": 1, "a1": 2, "c": 3})",
         {"/a1 @ /patternProperties/^a/type: 2 is not of type \"string\"",
          " @ /additionalProperties: Additional properties are not allowed ('b', 'c' were unexpected)"},
         "/a1 @ /patternProperties/^a/type: 2 is not of type \"string\""},
        {closed, R"({"0": 1, "a1": 2})",
         {"/a1 @ /patternProperties/^a/type: 2 is not of type \"string\"",
          " @ /additionalProperties: Additional properties are not allowed ('0' was unexpected)"},
         " @ /additionalProperties: Additional properties are not allowed ('0' was unexpected)"},
        {closed, "{}", {}, ""},
        {R"({"patternProperties": {}, "additionalProperties": false})", R"({"b": 1, "a": 2})",
         {" @ /additionalProperties: Additional properties are not allowed ('a', 'b' were unexpected)"},
         " @ /additionalProperties: Additional properties are not allowed ('a' was unexpected)"},
        {R"({"patternProperties": {"^a": {"type": "string"}}, "additionalProperties": {"type": "integer"}})",
         R"({"b": "x", "a": 1})",
         {"/a @ /patternProperties/^a/type: 1 is not of type \"string\"", "/b @ /additionalProperties/type: \"x\" is not of type \"integer\""},
         "/a @ /patternProperties/^a/type: 1 is not of type \"string\""},
        // A declared name that a pattern also matches: its own subschema first, then the
        // pattern's; never additional.
        {declared, R"({"ab": 5})",
         {"/ab @ /patternProperties/^a/type: 5 is not of type \"string\""},
         "/ab @ /patternProperties/^a/type: 5 is not of type \"string\""},
        {declared, R"({"ab": "x"})",
         {"/ab @ /properties/ab/minLength: \"x\" is shorter than 2 characters"},
         "/ab @ /properties/ab/minLength: \"x\" is shorter than 2 characters"},
        {declared, R"({"p": "s", "q": 1})",
         {"/p @ /properties/p/type: \"s\" is not of type \"integer\"",
          " @ /additionalProperties: Additional properties are not allowed ('q' was unexpected)"},
         "/p @ /properties/p/type: \"s\" is not of type \"integer\""},
        {R"({"properties": {"p": {}}, "patternProperties": {"^a": {"type": "string"}}, "additionalProperties": {"type": "integer"}})",
         R"({"p": "s", "q": "t"})",
         {"/q @ /additionalProperties/type: \"t\" is not of type \"integer\""},
         "/q @ /additionalProperties/type: \"t\" is not of type \"integer\""},
    });
}

TEST(AdditionalBesidePatterns, TraceSequences) {
    const std::string patterns = R"("patternProperties": {"^a": {"type": "string"}, "^ab": {"minLength": 3}})";
    const std::string schema_form = "{" + patterns + R"(, "additionalProperties": {"type": "integer"}})";
    const std::string false_form = "{" + patterns + R"(, "additionalProperties": false})";
    const std::string declared_schema =
        R"({"properties": {"p": {"type": "integer"}}, )" + patterns + R"(, "additionalProperties": {"type": "integer"}})";
    const std::string declared_false = R"({"properties": {"p": {"type": "integer"}}, )" + patterns +
                                       R"(, "additionalProperties": false})";
    check_trace_sequences({
        {schema_form, "{}", true, {{"", "/patternProperties", 2}, {"", "/additionalProperties", 2}}},
        {false_form, "{}", true, {{"", "/patternProperties", 2}, {"", "/additionalProperties", 0}}},
        {declared_schema, "{}", true,
         {{"", "/properties", 2}, {"", "/patternProperties", 2}, {"", "/additionalProperties", 2}}},
        {declared_false, "{}", true, {{"", "/properties", 2}, {"", "/patternProperties", 2}, {"", "/additionalProperties", 0}}},
        {declared_false, "[]", true, {{"", "/additionalProperties", 2}}},
        {schema_form, "7", true, {{"", "/additionalProperties", 2}}},
        {false_form, R"({"abc": "xyz"})", true,
         {{"/abc", "/patternProperties/^a/type", 0},
          {"/abc", "/patternProperties/^a", 0},
          {"/abc", "/patternProperties/^ab/minLength", 0},
          {"/abc", "/patternProperties/^ab", 0},
          {"", "/patternProperties", 0},
          {"", "/additionalProperties", 0}}},
        // Members b, ab and p, visited as ab, b, p.
        {declared_schema, R"({"b": 1, "ab": "x", "p": 2})", false,
         {{"/ab", "/patternProperties/^a/type", 0},
          {"/ab", "/patternProperties/^a", 0},
          {"/ab", "/patternProperties/^ab/minLength", 1},
          {"/ab", "/patternProperties/^ab", 1},
          {"/b", "/additionalProperties/type", 0},
          {"/p", "/properties/p/type", 0},
          {"/p", "/properties/p", 0},
          {"", "/properties", 0},
          {"", "/patternProperties", 1},
          {"", "/additionalProperties", 0}}},
        {declared_false, R"({"b": 1, "ab": "xyz", "p": "s"})", false,
         {{"/ab", "/patternProperties/^a/type", 0},
          {"/ab", "/patternProperties/^a", 0},
          {"/ab", "/patternProperties/^ab/minLength", 0},
          {"/ab", "/patternProperties/^ab", 0},
          {"/p", "/properties/p/type", 1},
          {"/p", "/properties/p", 1},
          {"", "/properties", 1},
          {"", "/patternProperties", 0},
          {"", "/additionalProperties", 1}}},
        {R"({"patternProperties": {"^a": true, "^b": false}, "additionalProperties": false})", R"({"a": 1, "b": 2})", false,
         {{"/a", "/patternProperties/^a", 0}, {"/b", "/patternProperties/^b", 1}, {"", "/patternProperties", 1},
          {"", "/additionalProperties", 0}}},
        {R"({"patternProperties": {}, "additionalProperties": false})", R"({"x": 1})", false,
         {{"", "/patternProperties", 2}, {"", "/additionalProperties", 1}}},
    });
}

TEST(AdditionalBesidePatterns, EvaluationOutput) {
    // Without declared properties: every member matched gives no result annotation and a
    // patternProperties annotation node listing each match.
    Validator schema_form = build(R"({"patternProperties": {"a": {}, "b": {}}, "additionalProperties": {"type": "integer"}})");
    auto e = schema_form.evaluate(json(R"({"ab": 1})"));
    const auto* unit = keyword_unit(e, "/additionalProperties");
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(unit->valid);
    EXPECT_EQ(annotation_json(unit->annotations), "<none>");
    auto kids = children_of(e, *unit);
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(kids[0]->evaluation_path.str(), "/patternProperties/a");
    EXPECT_EQ(kids[1]->evaluation_path.str(), "/patternProperties/b");
    EXPECT_EQ(kids[2]->evaluation_path.str(), "/patternProperties");
    EXPECT_EQ(annotation_json(kids[2]->annotations), R"(["ab","ab"])");

    auto additional = schema_form.evaluate(json(R"({"x": 1, "y": 2})"));
    EXPECT_EQ(annotation_json(keyword_unit(additional, "/additionalProperties")->annotations), R"(["x","y"])");

    Validator declared = build(R"({"properties": {"p": {}}, "patternProperties": {"^p": {}}, "additionalProperties": {}})");
    auto d = declared.evaluate(json(R"({})"));
    EXPECT_EQ(annotation_json(keyword_unit(d, "/additionalProperties")->annotations), "[]");
    auto dp = declared.evaluate(json(R"({"p": 1})"));
    auto dkids = children_of(dp, *keyword_unit(dp, "/additionalProperties"));
    ASSERT_EQ(dkids.size(), 2u);
    EXPECT_EQ(dkids[0]->evaluation_path.str(), "/properties/p");
    EXPECT_EQ(dkids[1]->evaluation_path.str(), "/patternProperties/^p");

    Validator closed = build(R"({"patternProperties": {"^a": {}}, "additionalProperties": false})");
    auto c = closed.evaluate(json(R"({"b": 1, "a": 2, "0": 3})"));
    const auto* cu = keyword_unit(c, "/additionalProperties");
    EXPECT_FALSE(cu->valid);
    ASSERT_EQ(cu->errors.size(), 1u);
    EXPECT_EQ(cu->errors[0].message, "Additional properties are not allowed ('0', 'b' were unexpected)");
}

TEST(AdditionalBesidePatterns, AnnotationNodeNamesThePatternsKeyword) {
    Validator v = build(R"({"$id": "https://example.com/s.json", "patternProperties": {"^a": {}},
                            "additionalProperties": false})");
    auto e = v.evaluate(json(R"({"a": 1})"));
    auto kids = children_of(e, *keyword_unit(e, "/additionalProperties"));
    ASSERT_EQ(kids.size(), 2u);
    const auto* node = kids[1];
    EXPECT_EQ(node->evaluation_path.str(), "/patternProperties");
    ASSERT_TRUE(node->absolute_location);
    EXPECT_EQ(*node->absolute_location, "https://example.com/s.json#/patternProperties");
    EXPECT_EQ(node->resolved_location.str(), "https://example.com/s.json#/patternProperties");
    EXPECT_EQ(annotation_json(node->annotations), R"(["a"])");
}

TEST(AdditionalBesidePatterns, DeclaredPatternMatchesAreBuiltOnce) {
    Validator v = build(R"({"properties": {"ab": {}, "c": {}}, "patternProperties": {"a": {}, "b": {}},
                            "additionalProperties": false})");
    using Closed = kw::DeclaredPatternAdditionalFalseValidator<kw::SmallPropertyMap>;
    const auto* closed = root_keyword<Closed>(v, "additionalProperties");
    ASSERT_NE(closed, nullptr);
    const auto& matches = closed->declared_matches();
    ASSERT_EQ(matches.size(), 1u);
    const auto& refs = matches.at("ab");
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[0].index, 0u);
    EXPECT_EQ(refs[1].index, 1u);
    // Beside additionalProperties each pattern keeps its engine-free shape where it has one.
    Validator mixed = build(R"({"patternProperties": {"^a": {}, "b+": {}}, "additionalProperties": false})");
    const auto* m = root_keyword<kw::PatternAdditionalFalseValidator>(mixed, "additionalProperties");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->patterns()[0].pattern.kind(), kw::CompiledPattern::Kind::Fast);
    EXPECT_EQ(m->patterns()[1].pattern.kind(), kw::CompiledPattern::Kind::Backtracking);
}

TEST(AdditionalBesidePatterns, FourteenAndFifteenNamesAgree) {
    const std::vector<std::string> tails = {R"("patternProperties": {"^p0": {"minimum": 5}}, "additionalProperties": false)",
                                            R"("patternProperties": {"^p0": {"minimum": 5}}, "additionalProperties": {"type": "string"})"};
    const std::vector<std::string> instances = {"{}", R"({"p00": 7, "p13": 2})", R"({"p00": 1, "p05": "x", "zz": 3})",
                                                R"({"q": "s", "p07": 9})", "[]"};
    for (const auto& tail : tails) {
        Validator small = build("{\"properties\": " + declared(14) + ", " + tail + "}");
        Validator large = build("{\"properties\": " + declared(15) + ", " + tail + "}");
        for (const auto& text : instances) {
            SCOPED_TRACE(tail + " on " + text);
            Value instance = json(text);
            EXPECT_EQ(small.is_valid(instance), large.is_valid(instance));
            EXPECT_EQ(described(small.iter_errors(instance)), described(large.iter_errors(instance)));
            EXPECT_EQ(trace(small, instance).events, trace(large, instance).events);
        }
    }
}

// Look-ahead runs on the backtracking machine, where the match limit applies; on this name the
// pattern needs far more than the limit of 50 steps (and does not match with the default).
constexpr const char* kHeavy = "(?=a)(a|aa)+$";

TEST(EngineFailure, PatternPropertiesFailsTheProperty) {
    Validator v = build(std::string(R"({"patternProperties": {")") + kHeavy + R"(": {"type": "integer"}}})",
                        backtrack_limit(50));
    Value instance = json(R"({"aaaaaaaaaaaab": "not an integer"})");  // twelve a, then b
    EXPECT_FALSE(v.is_valid(instance));
    auto error = v.validate(instance);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->keyword(), "pattern");
    EXPECT_EQ(error->schema_path().str(), std::string("/patternProperties/") + kHeavy);
    EXPECT_EQ(error->instance_path().str(), "/aaaaaaaaaaaab");
    Traced t = trace(v, instance);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.events.back(), (Event{"", std::string("/patternProperties/") + kHeavy, 1}));
    expect_consistent(v, instance);
    // With the default limit the same pattern simply does not match the name.
    EXPECT_TRUE(build(std::string(R"({"patternProperties": {")") + kHeavy + R"(": {"type": "integer"}}})").is_valid(instance));
}

TEST(EngineFailure, AdditionalPropertiesBesidePatternsDoesNotLetTheNameEscape) {
    const std::string name = "aaaaaaaaaaaab";
    const std::string patterns = std::string(R"("patternProperties": {")") + kHeavy + R"(": {"type": "integer"}})";
    for (const std::string& schema :
         {"{" + patterns + R"(, "additionalProperties": {})" + "}", "{" + patterns + R"(, "additionalProperties": false})",
          R"({"properties": {")" + name + R"(": {}}, )" + patterns + R"(, "additionalProperties": {}})",
          R"({"properties": {"q": {}}, )" + patterns + R"(, "additionalProperties": {}})"}) {
        SCOPED_TRACE(schema);
        Validator v = build(schema, backtrack_limit(50));
        Value instance = json("{\"" + name + "\": \"s\"}");
        EXPECT_FALSE(v.is_valid(instance));
        auto errors = v.iter_errors(instance);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].keyword(), "pattern");
        EXPECT_EQ(errors[0].instance_path().str(), "/" + name);
        Traced t = trace(v, instance);
        EXPECT_FALSE(t.valid);
        EXPECT_NE(std::find(t.events.begin(), t.events.end(), Event{"/" + name, std::string("/patternProperties/") + kHeavy, 1}),
                  t.events.end());
        EXPECT_FALSE(v.evaluate(instance).valid);
        expect_consistent(v, instance);
    }
}

// Nested patternProperties: each level's subtree must be compiled once.
std::string nested(int levels, const std::string& wrap_head, const std::string& wrap_tail) {
    std::string schema = "{}";
    for (int i = 0; i < levels; ++i) schema = wrap_head + schema + wrap_tail;
    return schema;
}

TEST(CompileCost, NestedPatternPropertiesCompileEachSubtreeOnce) {
    const int levels = 20;
    struct Shape {
        std::string head;
        std::string tail;
    };
    // A fast pattern before one that needs an engine; and a pattern beside additionalProperties
    // true, which checks the patterns without building anything.
    for (const Shape& s : std::vector<Shape>{{R"({"patternProperties": {"^a": )", R"(, "b+": {}}})"},
                                             {R"({"additionalProperties": true, "patternProperties": {"^a": )", "}}"},
                                             {R"({"additionalProperties": {}, "patternProperties": {"^a": )", R"(, "b+": {}}})"}}) {
        SCOPED_TRACE(s.head);
        Validator v = build(nested(levels, s.head, s.tail));
        // One node per schema object of the document and a few per level at most: linear.
        EXPECT_LE(v.compiled().nodes.size(), static_cast<std::size_t>(4 * levels + 4));
    }
}

}  // namespace
