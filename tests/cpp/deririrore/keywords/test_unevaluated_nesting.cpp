// Nested unevaluated keywords: each level wraps the one below in `anyOf` beside a branch that
// declares one more position, and carries its own `unevaluatedProperties` (or `unevaluatedItems`)
// false. Every level's walk asks whether the level below holds, which walks that level again, so
// work doubled per level until the call ran out of its budget and answered false for valid
// instances. Each collection is now walked once per instance and call.
#include <gtest/gtest.h>

#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;

enum class Positions { Properties, Items };

// Level k: {"anyOf": [level k-1, {declares position k}], "unevaluated...": false}; level 0's inner
// schema is {}. Only the innermost level declares what the valid instance holds.
std::string nested_schema(Positions kind, int depth) {
    std::string schema = "{}";
    for (int k = 0; k < depth; ++k) {
        const std::string declares = kind == Positions::Properties
                                         ? R"({"properties": {"p)" + std::to_string(k) + R"(": true}})"
                                         : R"({"prefixItems": [true]})";
        const char* keyword = kind == Positions::Properties ? "unevaluatedProperties" : "unevaluatedItems";
        schema = R"({"anyOf": [)" + schema + ", " + declares + R"(], ")" + keyword + R"(": false})";
    }
    return schema;
}

struct NestingCase {
    const char* name;
    Positions kind;
    int depth;
    const char* valid;
    const char* invalid;
    // The first error of the invalid instance: the outermost level's.
    const char* message;
};

void PrintTo(const NestingCase& c, std::ostream* os) { *os << c.name; }

class UnevaluatedNesting : public ::testing::TestWithParam<NestingCase> {};

TEST_P(UnevaluatedNesting, EveryEntryPointAnswersAtDepth) {
    const NestingCase& c = GetParam();
    const Validator v = build(nested_schema(c.kind, c.depth));

    const Value valid = json(c.valid);
    EXPECT_TRUE(v.is_valid(valid));
    EXPECT_FALSE(v.validate(valid).has_value());
    EXPECT_TRUE(v.iter_errors(valid).empty());
    EXPECT_TRUE(trace(v, valid).valid);
    EXPECT_TRUE(v.evaluate(valid).valid);

    const Value invalid = json(c.invalid);
    EXPECT_FALSE(v.is_valid(invalid));
    auto first = v.validate(invalid);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->message(), c.message);
    auto errors = v.iter_errors(invalid);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front().message(), c.message);
    // trace() throws when the call is cut short by a limit, rather than answering.
    EXPECT_FALSE(trace(v, invalid).valid);
    EXPECT_FALSE(v.evaluate(invalid).valid);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnevaluatedNesting,
    ::testing::Values(
        NestingCase{"properties_30", Positions::Properties, 30, R"({"p0": 0})", R"({"p0": 0, "zz": 1})",
                    "Unevaluated properties are not allowed ('p0', 'zz' were unexpected)"},
        NestingCase{"properties_64", Positions::Properties, 64, R"({"p0": 0})", R"({"zz": 1, "p0": 0})",
                    "Unevaluated properties are not allowed ('p0', 'zz' were unexpected)"},
        NestingCase{"items_30", Positions::Items, 30, "[0]", "[0, 1]",
                    "Unevaluated items are not allowed ('1' was unexpected)"},
        NestingCase{"items_64", Positions::Items, 64, "[[]]", R"([[], "x"])",
                    "Unevaluated items are not allowed ('\"x\"' was unexpected)"}),
    CaseName());

// Schema nodes entered by one call, read from the context's step counter.
struct Steps {
    std::uint64_t is_valid;
    std::uint64_t trace;
};

Steps steps_at(Positions kind, int depth, std::string_view instance_text) {
    const Validator v = build(nested_schema(kind, depth));
    const Value instance = json(instance_text);
    core::ValidationContext validating;
    EXPECT_TRUE(v.root().is_valid(instance, validating));
    RecordingTracer tracer;
    core::TraceContext tracing;
    EXPECT_TRUE(v.root().trace(instance, core::LazyLocation(), tracer, tracing));
    return Steps{validating.steps(), tracing.steps()};
}

TEST(UnevaluatedNesting, WorkGrowsPolynomiallyWithDepth) {
    for (Positions kind : {Positions::Properties, Positions::Items}) {
        const char* instance = kind == Positions::Properties ? R"({"p0": 0})" : "[0]";
        SCOPED_TRACE(instance);
        const Steps at20 = steps_at(kind, 20, instance);
        const Steps at40 = steps_at(kind, 40, instance);
        // Twice the depth may cost at most four times the work (each level's walk validates the
        // levels below it once); doubling per level would have made it about a million times.
        EXPECT_LE(at40.is_valid, 4 * at20.is_valid);
        EXPECT_LE(at40.trace, 4 * at20.trace);
    }
}

TEST(UnevaluatedNesting, SmallBudgetIsEnough) {
    // A budget far below what doubling per level needs at this depth: no entry point runs out.
    const Validator v = build(nested_schema(Positions::Properties, 40), ValidationOptions().with_max_steps(20'000));
    expect_consistent(v, json(R"({"p0": 0})"));
    EXPECT_TRUE(v.is_valid(json(R"({"p0": 0})")));
    expect_consistent(v, json(R"({"p0": 0, "zz": 1})"));
    auto error = v.validate(json(R"({"p0": 0, "zz": 1})"));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->keyword(), "unevaluatedProperties");
}

// The walks that reuse an inner level's result emit nothing: two levels trace as they always did.
TEST(UnevaluatedNesting, TraceOfTwoLevels) {
    const Validator v = build(nested_schema(Positions::Properties, 2));
    const Traced traced = trace(v, json(R"({"p0": 0, "zz": 1})"));
    EXPECT_FALSE(traced.valid);
    const std::vector<Event> expected = {
        {"", "/anyOf/0/anyOf/0", 0},
        {"", "/anyOf/0/anyOf/1/properties/p0", 0},
        {"", "/anyOf/0/anyOf/1/properties", 0},
        {"", "/anyOf/0/anyOf/1", 0},
        {"", "/anyOf/0/anyOf", 0},
        {"", "/anyOf/0/unevaluatedProperties", 1},
        {"", "/anyOf/0", 1},
        {"", "/anyOf/1/properties/p1", 2},
        {"", "/anyOf/1/properties", 2},
        {"", "/anyOf/1", 0},
        {"", "/anyOf", 0},
        {"", "/unevaluatedProperties", 1},
    };
    EXPECT_EQ(traced.events, expected);
}

// Recursive and shared references around nested unevaluated keywords: the kept results must not
// change an answer that depended on a reference cycle.
TEST(UnevaluatedNesting, CyclesAndSharedTargets) {
    const Validator v = build(R"({
        "$defs": {
            "a": {"properties": {"a": true}, "allOf": [{"$ref": "#/$defs/b"}], "unevaluatedProperties": false},
            "b": {"properties": {"b": true}, "anyOf": [{"$ref": "#/$defs/a"}, {"$ref": "#/$defs/c"}]},
            "c": {"properties": {"c": true}, "oneOf": [{"$ref": "#/$defs/b"}, {"required": ["zz"]}]}
        },
        "$ref": "#/$defs/a", "unevaluatedProperties": false})");
    const std::vector<std::pair<const char*, bool>> cases = {
        {R"({"a": 1})", true},
        {R"({"a": 1, "b": 2, "c": 3})", true},
        {R"({"zz": 1, "c": 1})", false},
        {R"({"d": 1})", false},
    };
    for (const auto& [instance, valid] : cases) {
        SCOPED_TRACE(instance);
        EXPECT_EQ(v.is_valid(json(instance)), valid);
        expect_consistent(v, json(instance));
    }
}

}  // namespace
