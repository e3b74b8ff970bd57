// unevaluatedProperties: which members count as evaluated (declared, patterned, additional, and
// through applicators and references), the error texts, the trace, evaluation children, the
// summary used by is_valid, and compile cost on schemas whose definitions refer to each other
// many times over.
#include <gtest/gtest.h>

#include <thread>

#include "deririrore/keywords/unevaluated_properties.hpp"
#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;
namespace kw = deririrore::keywords;
using deririrore::value::Value;

const kw::UnevaluatedPropertiesValidator& keyword_of(const core::Validator& v) {
    if (auto* found = root_keyword<kw::UnevaluatedPropertiesValidator>(v)) return *found;
    throw std::runtime_error("no unevaluatedProperties validator at the root");
}

struct VerdictCase {
    const char* name;
    const char* schema;
    const char* instance;
    // The keyword's message, or empty when the whole schema accepts the instance.
    const char* message;
};

void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.name; }

class UnevaluatedPropertiesVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(UnevaluatedPropertiesVerdict, MessageOrValid) {
    const VerdictCase& c = GetParam();
    Compiled v(c.schema, Draft::Draft202012);
    ASSERT_TRUE(v.ok());
    expect_keyword_message(v, "unevaluatedProperties", c.instance, c.message);
}

const std::vector<VerdictCase> kVerdictCases = {
    {"two_unexpected_in_member_order", R"({"properties": {"a": {}}, "unevaluatedProperties": false})",
     R"({"c": 3, "a": 1, "b": 2})", "Unevaluated properties are not allowed ('b', 'c' were unexpected)"},
    {"one_unexpected", R"({"properties": {"a": {}}, "unevaluatedProperties": false})", R"({"a": 1, "b": 2})",
     "Unevaluated properties are not allowed ('b' was unexpected)"},
    {"names_written_unescaped", R"({"unevaluatedProperties": false})", R"({"a'b": 1, "c,d": 2})",
     "Unevaluated properties are not allowed ('a'b', 'c,d' were unexpected)"},
    {"only_failing_members_listed", R"({"unevaluatedProperties": {"type": "string"}})", R"({"x": "s", "y": 1})",
     "Unevaluated properties are not allowed ('y' was unexpected)"},
    {"non_object_is_outside_the_domain", R"({"unevaluatedProperties": false})", "[1]", ""},
    {"additional_properties_evaluates_everything",
     R"({"additionalProperties": {"type": "integer"}, "unevaluatedProperties": false})", R"({"a": 1})", ""},
    {"pattern_properties_evaluate_matches", R"({"patternProperties": {"^x": {}}, "unevaluatedProperties": false})",
     R"({"x1": 1, "y": 2})", "Unevaluated properties are not allowed ('y' was unexpected)"},
    {"any_of_only_valid_branches_count",
     R"({"anyOf": [{"properties": {"a": {"type": "integer"}}}, {"properties": {"b": {"type": "string"}}}],
         "unevaluatedProperties": false})",
     R"({"a": 1, "b": 2})", "Unevaluated properties are not allowed ('b' was unexpected)"},
    {"one_of_with_two_valid_branches_counts_none",
     R"({"oneOf": [{"properties": {"a": {}}}, {"properties": {"b": {}}}], "unevaluatedProperties": false})",
     R"({"a": 1, "b": 2})", "Unevaluated properties are not allowed ('a', 'b' were unexpected)"},
    {"then_counts_when_if_holds",
     R"({"if": {"properties": {"a": {"const": 1}}}, "then": {"properties": {"b": {}}},
         "else": {"properties": {"c": {}}}, "unevaluatedProperties": false})",
     R"({"a": 1, "b": 2, "c": 3})", "Unevaluated properties are not allowed ('c' was unexpected)"},
    {"else_counts_when_if_fails",
     R"({"if": {"properties": {"a": {"const": 1}}}, "then": {"properties": {"b": {}}},
         "else": {"properties": {"c": {}}}, "unevaluatedProperties": false})",
     R"({"a": 2, "b": 2, "c": 3})", "Unevaluated properties are not allowed ('a', 'b' were unexpected)"},
    {"dependent_schema_evaluates_even_when_it_fails",
     R"({"dependentSchemas": {"a": {"properties": {"b": {"type": "string"}}}}, "unevaluatedProperties": false})",
     R"({"a": 1, "b": 2})", "Unevaluated properties are not allowed ('a' was unexpected)"},
    {"nested_unevaluated_counts_as_evaluating",
     R"({"allOf": [{"unevaluatedProperties": {"type": "integer"}}], "unevaluatedProperties": false})",
     R"({"x": 1})", ""},
    {"reference_target_properties_count",
     R"({"$defs": {"t": {"properties": {"a": {}}}}, "$ref": "#/$defs/t", "unevaluatedProperties": false})",
     R"({"a": 1, "z": 0})", "Unevaluated properties are not allowed ('z' was unexpected)"},
    {"branch_identifier_rebases_its_references",
     R"({"$id": "https://example.com/root.json", "allOf": [{"$id": "https://example.com/branch.json#",
         "$defs": {"t": {"properties": {"a": {}}}}, "$ref": "#/$defs/t"}], "unevaluatedProperties": false})",
     R"({"a": 1, "b": 2})", "Unevaluated properties are not allowed ('b' was unexpected)"},
    {"draft7_branch_reference_hides_its_siblings",
     R"({"$defs": {"t": {"properties": {"a": {}}}}, "allOf": [{"$schema": "http://json-schema.org/draft-07/schema#",
         "$ref": "#/$defs/t", "properties": {"b": {}}}], "unevaluatedProperties": false})",
     R"({"a": 1, "b": 2})", "Unevaluated properties are not allowed ('b' was unexpected)"},
    {"recursive_reference_terminates",
     R"({"properties": {"a": {}, "child": {"$ref": "#"}}, "anyOf": [{"$ref": "#"}, true],
         "unevaluatedProperties": false})",
     R"({"a": 1, "child": {"a": 2, "z": 1}})", "Unevaluated properties are not allowed ('z' was unexpected)"},
};

INSTANTIATE_TEST_SUITE_P(Table, UnevaluatedPropertiesVerdict, ::testing::ValuesIn(kVerdictCases), CaseName());

TEST(UnevaluatedProperties, Trace) {
    struct Case {
        const char* schema;
        const char* instance;
        bool valid;
        std::vector<Event> events;
    };
    const std::vector<Case> cases = {
        {R"({"unevaluatedProperties": false})", "\"s\"", true, {{"", "/unevaluatedProperties", 2}}},
        {R"({"unevaluatedProperties": false})", "{}", true, {{"", "/unevaluatedProperties", 0}}},
        {R"({"unevaluatedProperties": false})", R"({"a": 1})", false, {{"", "/unevaluatedProperties", 1}}},
        {R"({"unevaluatedProperties": {"type": "string"}})", R"({"x": "s", "y": 1})", false,
         {{"/x", "/unevaluatedProperties/type", 0},
          {"/y", "/unevaluatedProperties/type", 1},
          {"", "/unevaluatedProperties", 1}}},
        // A branch that fails contributes nothing, also to the trace's view of what was evaluated.
        {R"({"allOf": [{"properties": {"a": {"type": "string"}}}], "unevaluatedProperties": {"type": "string"}})",
         R"({"a": 1})", false,
         {{"/a", "/allOf/0/properties/a/type", 1},
          {"", "/allOf/0/properties/a", 1},
          {"", "/allOf/0/properties", 1},
          {"", "/allOf/0", 1},
          {"/a", "/unevaluatedProperties/type", 1},
          {"", "/unevaluatedProperties", 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.schema) + " " + c.instance);
        Compiled v(c.schema, Draft::Draft202012);
        auto [events, valid] = v.trace(c.instance);
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(valid, c.valid);
    }
}

TEST(UnevaluatedProperties, SummaryAnswersForTheKeywordAloneValidateForTheInstance) {
    // The summary counts the `allOf` branch's `a` as evaluated although the branch fails; the
    // schema is invalid either way, through `allOf`.
    core::Validator v =
        build(R"({"allOf": [{"properties": {"a": {"type": "string"}}}], "unevaluatedProperties": false})");
    const auto& keyword = keyword_of(v);
    const Value instance = json(R"({"a": 1})");
    core::ValidationContext ctx;
    EXPECT_TRUE(keyword.is_valid(instance, ctx));
    auto error = keyword.validate(instance, core::LazyLocation(), nullptr, ctx);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message(), "Unevaluated properties are not allowed ('a' was unexpected)");
    EXPECT_FALSE(v.is_valid(instance));
    ASSERT_NE(keyword.summary(), nullptr);
    EXPECT_TRUE(keyword.summary()->has_all_of);

    core::Validator conditional = build(R"({"anyOf": [{"properties": {"a": {}}}], "unevaluatedProperties": false})");
    EXPECT_EQ(keyword_of(conditional).summary(), nullptr);
}

TEST(UnevaluatedProperties, SummaryIsBuiltOnceAcrossThreads) {
    core::Validator v = build(R"({"$defs": {"t": {"properties": {"a": {}}}}, "allOf": [{"$ref": "#/$defs/t"}],
                                  "patternProperties": {"^p": {}}, "unevaluatedProperties": false})");
    const Value good = json(R"({"a": 1, "p1": 2})");
    const Value bad = json(R"({"a": 1, "q": 2})");
    std::vector<std::thread> threads;
    std::vector<int> answers(8, -1);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] { answers[t] = (v.is_valid(good) ? 1 : 0) + (v.is_valid(bad) ? 2 : 0); });
    }
    for (auto& thread : threads) thread.join();
    for (int answer : answers) EXPECT_EQ(answer, 1);
}

TEST(UnevaluatedProperties, EvaluationChildrenAreLinked) {
    core::Validator v = build(R"({"properties": {"a": {}}, "unevaluatedProperties": {"type": "string"}})");
    const Value instance = json(R"({"a": 0, "x": "s", "y": 1, "z": 2})");
    const auto& keyword = keyword_of(v);
    core::EvaluationContext ctx;
    core::EvaluationResult result = keyword.evaluate(instance, core::LazyLocation(), nullptr, ctx);
    EXPECT_FALSE(result.valid);
    EXPECT_FALSE(result.children_valid);
    ASSERT_EQ(result.child_count, 3u);
    std::vector<std::string> locations;
    std::uint32_t last = core::kNoNode;
    for (std::uint32_t id = result.first_child; id != core::kNoNode; id = ctx.output().at(id).next_sibling) {
        locations.push_back(ctx.output().at(id).instance_location.str());
        last = id;
    }
    EXPECT_EQ(locations, (std::vector<std::string>{"/x", "/y", "/z"}));
    EXPECT_EQ(result.last_child, last);
    EXPECT_EQ(result.errors, (std::vector<core::ErrorDescription>{
                                 {"unevaluatedProperties",
                                  "Unevaluated properties are not allowed ('y', 'z' were unexpected)"}}));

    // Through the whole validator the keyword's unit lists the same children.
    core::Evaluation whole = v.evaluate(instance);
    std::size_t children = 0;
    for (std::uint32_t id = whole.root_node().first_child; id != core::kNoNode; id = whole.output.at(id).next_sibling) {
        const auto& unit = whole.output.at(id);
        if (unit.evaluation_path.view() != "/unevaluatedProperties") continue;
        for (std::uint32_t c = unit.first_child; c != core::kNoNode; c = whole.output.at(c).next_sibling) ++children;
    }
    EXPECT_EQ(children, 3u);

    core::EvaluationContext empty_ctx;
    const Value not_object = json("[1]");
    core::EvaluationResult empty = keyword.evaluate(not_object, core::LazyLocation(), nullptr, empty_ctx);
    EXPECT_TRUE(empty.valid);
    EXPECT_EQ(empty.child_count, 0u);
    EXPECT_EQ(empty.first_child, core::kNoNode);
}

// Definitions d0..d{depth-1}, each referring to the next one twice, under unevaluatedProperties.
std::string doubled_references(int depth, const char* applicator) {
    std::string defs;
    for (int i = 0; i < depth; ++i) {
        const std::string next = "{\"$ref\": \"#/$defs/d" + std::to_string(i + 1) + "\"}";
        defs += "\"d" + std::to_string(i) + "\": {\"properties\": {\"p" + std::to_string(i) + "\": {}}, \"" +
                applicator + "\": [" + next + ", " + next + "]}, ";
    }
    defs += "\"d" + std::to_string(depth) + "\": {\"properties\": {\"last\": {}}}";
    return "{\"$defs\": {" + defs + "}, \"$ref\": \"#/$defs/d0\", \"unevaluatedProperties\": false}";
}

struct CompileCounts {
    std::size_t collections;
    std::size_t nodes;
};

CompileCounts counts(int depth, const char* applicator) {
    core::Validator v = build(doubled_references(depth, applicator));
    return {keyword_of(v).arena()->property_collections(), v.compiled().nodes.size()};
}

TEST(UnevaluatedProperties, DoubledReferencesCompileInLinearTime) {
    for (const char* applicator : {"allOf", "anyOf", "oneOf"}) {
        SCOPED_TRACE(applicator);
        // Growth per level must be constant; checked on small depths first so that a regression
        // fails here instead of running for 2^30 steps below.
        const CompileCounts c4 = counts(4, applicator);
        const CompileCounts c6 = counts(6, applicator);
        const CompileCounts c8 = counts(8, applicator);
        ASSERT_EQ(c8.collections - c6.collections, c6.collections - c4.collections);
        ASSERT_EQ(c8.nodes - c6.nodes, c6.nodes - c4.nodes);
        const std::size_t per_level = (c6.collections - c4.collections) / 2;
        const std::size_t nodes_per_level = (c6.nodes - c4.nodes) / 2;

        core::Validator deep = build(doubled_references(30, applicator));
        EXPECT_EQ(keyword_of(deep).arena()->property_collections(), c4.collections + 26 * per_level);
        EXPECT_EQ(deep.compiled().nodes.size(), c4.nodes + 26 * nodes_per_level);

        // `allOf` and `oneOf` check both references at every level, so whole-schema validation of
        // the deep form is exponential by the schema's own meaning; validate a shallower one.
        const bool deep_validation = std::string_view(applicator) == "anyOf";
        core::Validator checked = deep_validation ? std::move(deep) : build(doubled_references(8, applicator));
        const std::string inner = deep_validation ? "p29" : "p7";
        // Both references of a `oneOf` always hold together, so the `oneOf` never does.
        const bool one_of = std::string_view(applicator) == "oneOf";
        EXPECT_EQ(checked.is_valid(json(R"({"p0": 1, ")" + inner + R"(": 2, "last": 3})")), !one_of);
        EXPECT_FALSE(checked.is_valid(json(R"({"p0": 1, "other": 2})")));
    }
}

std::string reference_chain(int depth) {
    std::string defs;
    for (int i = 0; i < depth; ++i) {
        defs += "\"d" + std::to_string(i) + "\": {\"$ref\": \"#/$defs/d" + std::to_string(i + 1) + "\"}, ";
    }
    defs += "\"d" + std::to_string(depth) + "\": {\"properties\": {\"a\": {}}}";
    return "{\"$defs\": {" + defs + "}, \"$ref\": \"#/$defs/d0\", \"unevaluatedProperties\": false}";
}

TEST(UnevaluatedProperties, ReferenceChainsAreBoundedByDepth) {
    Compiled long_chain(reference_chain(300), Draft::Draft202012);
    ASSERT_TRUE(long_chain.ok());
    EXPECT_TRUE(long_chain.is_valid(R"({"a": 1})"));
    EXPECT_FALSE(long_chain.is_valid(R"({"b": 1})"));

    auto message = compile_message(reference_chain(5000), Draft::Draft202012);
    ASSERT_TRUE(message.has_value());
    EXPECT_NE(message->find("maximum depth"), std::string::npos) << *message;
}

TEST(UnevaluatedProperties, UnresolvableReferenceFailsCompilation) {
    auto message = compile_message(R"({"allOf": [{"$ref": "#/$defs/missing"}], "unevaluatedProperties": false})",
                                 Draft::Draft202012);
    ASSERT_TRUE(message.has_value());
}

TEST(UnevaluatedProperties, InvalidPatternFailsCompilationAtItsEntry) {
    const char* schema = R"({"allOf": [{"patternProperties": {"(": {}}}], "unevaluatedProperties": false})";
    EXPECT_EQ(compile_error_path(schema, Draft::Draft202012), "/allOf/0/patternProperties/(");
}

TEST(UnevaluatedProperties, PatternEngineFailureCountsAsNoMatch) {
    core::ValidationOptions options = options_for(Draft::Draft202012);
    core::PatternOptions patterns;
    patterns.backtrack_limit = 100;
    options.with_pattern_options(patterns);
    Compiled v(R"({"patternProperties": {"^(a|aa)+\\1$": true}, "unevaluatedProperties": false})", options);
    ASSERT_TRUE(v.ok());
    std::vector<std::string> ours;
    bool engine_failed = false;
    for (const auto& e : v.errors(json(R"({"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab": 1, "aa": 2})"))) {
        if (e.keyword() == "unevaluatedProperties") ours.push_back(e.message());
        if (e.message().find("regex") != std::string::npos) engine_failed = true;
    }
    // The `patternProperties` keyword itself reports the failed match attempt.
    EXPECT_TRUE(engine_failed);
    EXPECT_EQ(ours, std::vector<std::string>{
                        "Unevaluated properties are not allowed ('aaaaaaaaaaaaaaaaaaaaaaaaaaaaab' was unexpected)"});
}

TEST(UnevaluatedProperties, TrueBuildsNothing) {
    core::Validator v = build(R"({"properties": {"a": {}}, "unevaluatedProperties": true})");
    for (const auto& entry : v.root().entries()) {
        EXPECT_EQ(dynamic_cast<const kw::UnevaluatedPropertiesValidator*>(entry.validator.get()), nullptr);
    }
}

TEST(UnevaluatedProperties, DynamicReferenceIsNotFollowedWhereTheDraftLacksIt) {
    // 2019-09 has no `$dynamicRef`: its target evaluates nothing there.
    Compiled v(R"({"$defs": {"t": {"properties": {"a": {}}}}, "$dynamicRef": "#/$defs/t",
                   "unevaluatedProperties": false})",
               Draft::Draft201909);
    EXPECT_FALSE(v.is_valid(R"({"a": 1})"));
    Compiled modern(R"({"$defs": {"t": {"properties": {"a": {}}}}, "$dynamicRef": "#/$defs/t",
                        "unevaluatedProperties": false})",
                    Draft::Draft202012);
    EXPECT_TRUE(modern.is_valid(R"({"a": 1})"));
}

}  // namespace
