// Nesting limits: recursive schemas over deep instances, and deep schema documents, end in an
// error or a result, never in a stack overflow.
#include <gtest/gtest.h>

#include "support.hpp"

namespace deririrore::core {
namespace {

using testing::build;
using testing::json;
using testing::RecordingTracer;

Value nested(std::size_t depth, Value leaf) {
    Value v = std::move(leaf);
    for (std::size_t i = 0; i < depth; ++i) {
        value::ObjectBuilder b;
        b.add("a", std::move(v));
        v = std::move(b).build();
    }
    return v;
}

const char* kRecursive = R"({"type": "object", "properties": {"a": {"$ref": "#"}}})";

// Each level of {"a": ...} takes two schema nodes (the property's node and the reference
// target), so an instance of depth d needs 2d + 1 nested nodes.
TEST(DepthLimit, AtTheLimitValidatesAndOnePastItFails) {
    const std::uint32_t limit = 41;
    Validator v = build(json(kRecursive), ValidationOptions().with_max_depth(limit));
    const Value at_limit = nested(20, json("{}"));
    const Value past_limit = nested(21, json("{}"));

    EXPECT_TRUE(v.is_valid(at_limit));
    EXPECT_FALSE(v.validate(at_limit));
    EXPECT_TRUE(v.iter_errors(at_limit).empty());
    RecordingTracer ok_tracer;
    auto ok = v.trace(at_limit, ok_tracer);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(*ok);
    EXPECT_TRUE(v.evaluate(at_limit).valid);

    EXPECT_FALSE(v.is_valid(past_limit));
    auto error = v.validate(past_limit);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), "Maximum validation depth of 41 exceeded");
    auto errors = v.iter_errors(past_limit);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message(), "Maximum validation depth of 41 exceeded");
    RecordingTracer cut_tracer;
    auto cut = v.trace(past_limit, cut_tracer);
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error().message(), "Maximum validation depth of 41 exceeded");
    EXPECT_FALSE(v.evaluate(past_limit).valid);
}

// Far deeper than any limit: with the default limit every operation answers without crashing.
TEST(DepthLimit, DeepInstanceUnderTheDefaultLimitGivesAnError) {
    Validator v = build(json(kRecursive));
    const Value deep = nested(200000, json("{}"));
    EXPECT_FALSE(v.is_valid(deep));
    auto error = v.validate(deep);
    ASSERT_TRUE(error);
    EXPECT_NE(error->message().find("Maximum validation depth"), std::string::npos);
    EXPECT_FALSE(v.iter_errors(deep).empty());
    RecordingTracer tracer;
    EXPECT_FALSE(v.trace(deep, tracer));
    EXPECT_FALSE(v.evaluate(deep).valid);
}

TEST(DepthLimit, RecursiveItemsOverDeepArraysGiveAnError) {
    Validator v = build(json(R"({"items": {"$ref": "#"}})"));
    Value deep = json("[]");
    for (int i = 0; i < 100000; ++i) {
        Value::Array one;
        one.push_back(std::move(deep));
        deep = Value::array(std::move(one));
    }
    EXPECT_FALSE(v.is_valid(deep));
    auto error = v.validate(deep);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), "Maximum validation depth of 1024 exceeded");
    RecordingTracer tracer;
    EXPECT_FALSE(v.trace(deep, tracer));
    EXPECT_FALSE(v.evaluate(deep).valid);
}

// A negation around the cut must not turn "too deep" into "valid".
TEST(DepthLimit, NegationDoesNotTurnTheLimitIntoValidity) {
    Validator v = build(json(R"({"$defs": {"r": {"properties": {"a": {"$ref": "#/$defs/r"}}}},
                                 "not": {"$ref": "#/$defs/r"}})"),
                        ValidationOptions().with_max_depth(64));
    EXPECT_FALSE(v.is_valid(nested(3, json("{}"))));
    const Value deep = nested(100, json("{}"));
    EXPECT_FALSE(v.is_valid(deep));
    auto error = v.validate(deep);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), "Maximum validation depth of 64 exceeded");
    auto errors = v.iter_errors(deep);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().message(), "Maximum validation depth of 64 exceeded");
    EXPECT_FALSE(v.evaluate(deep).valid);
    RecordingTracer tracer;
    EXPECT_FALSE(v.trace(deep, tracer));
}

TEST(DepthLimit, JsonParserDepthInstancesPassUnderTheDefaultLimit) {
    Validator v = build(json(kRecursive));
    // The deepest instance the JSON reader accepts by default.
    std::string text;
    for (int i = 0; i < 511; ++i) text += R"({"a":)";
    text += "{}";
    for (int i = 0; i < 511; ++i) text += "}";
    const Value instance = json(text);
    EXPECT_TRUE(v.is_valid(instance));
    RecordingTracer tracer;
    auto traced = v.trace(instance, tracer);
    ASSERT_TRUE(traced);
    EXPECT_TRUE(*traced);
}

Value nested_properties_schema(int depth) {
    Value schema = json("{}");
    for (int i = 0; i < depth; ++i) {
        value::ObjectBuilder props;
        props.add("a", std::move(schema));
        value::ObjectBuilder outer;
        outer.add("properties", std::move(props).build());
        schema = std::move(outer).build();
    }
    return schema;
}

// 255 levels of properties are 256 nested schema nodes: the most a build compiles.
TEST(DepthLimit, SchemaNestingAtTheLimitCompilesAndDeeperFails) {
    EXPECT_TRUE(build_validator(nested_properties_schema(255)));
    for (int depth : {256, 20000}) {
        // The compiler's own limit: the meta-schema check refuses the deeper schema first.
        auto built = build_validator(nested_properties_schema(depth), ValidationOptions().with_validate_schema(false));
        ASSERT_FALSE(built);
        EXPECT_EQ(display_validation_error(built.error()), "Schema nesting exceeds the maximum depth of 256");
        // The location is that of the first schema past the limit.
        EXPECT_EQ(built.error().schema_path().view().size(), std::string_view("/properties/a").size() * 256);
    }
}

}  // namespace
// Definitions that each refer to the next one twice: the paths through the schema double with
// every level. The budget of schema nodes per call turns that into an error from every entry
// point; a negation around the cut must not turn "too much work" into "valid".
std::string doubling_schema(int levels, bool negated) {
    std::string defs;
    for (int i = 0; i < levels; ++i) {
        std::string next = "{\"$ref\": \"#/$defs/d" + std::to_string(i + 1) + "\"}";
        defs += "\"d" + std::to_string(i) + "\": {\"allOf\": [" + next + ", " + next + "]}, ";
    }
    defs += "\"d" + std::to_string(levels) + "\": {\"type\": \"integer\"}";
    std::string root = negated ? R"("not": {"$ref": "#/$defs/d0"})" : R"("$ref": "#/$defs/d0")";
    return "{" + root + ", \"$defs\": {" + defs + "}}";
}

TEST(StepBudget, ExponentialPathsEndInAnErrorFromEveryEntryPoint) {
    const std::string message = "Validation exceeded the limit of 10000 schema checks";
    for (bool negated : {false, true}) {
        SCOPED_TRACE(negated ? "negated" : "plain");
        Validator v = build(json(doubling_schema(40, negated)), ValidationOptions().with_max_steps(10000));
        const Value instance = json("1");
        EXPECT_FALSE(v.is_valid(instance));
        auto first = v.validate(instance);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->message(), message);
        auto all = v.iter_errors(instance);
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.back().message(), message);
        RecordingTracer tracer;
        auto traced = v.trace(instance, tracer);
        ASSERT_FALSE(traced);
        EXPECT_EQ(traced.error().message(), message);
        EXPECT_FALSE(v.evaluate(instance).valid);
    }
}

TEST(StepBudget, WithinTheBudgetTheAnswerIsExact) {
    // 2^10 paths of 11 nodes each stay well inside the default budget.
    Validator v = build(json(doubling_schema(10, false)));
    EXPECT_TRUE(v.is_valid(json("1")));
    EXPECT_FALSE(v.is_valid(json("1.5")));
    RecordingTracer tracer;
    auto traced = v.trace(json("1"), tracer);
    ASSERT_TRUE(traced);
    EXPECT_TRUE(*traced);
}

}  // namespace deririrore::core
