// Consecutive and nested calls are independent: nothing a call leaves behind (a tripped limit,
// memoised answers keyed by instance addresses, cycle entries, a trace's location prefix) may reach
// the next call, and a call made from inside another (a custom keyword or a tracer validating
// again) must not share the outer one's state.
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

// Recursive schemas in the shapes whose targets are held weakly or strongly; "v" must be an integer
// at every level.
const char* const kRecursiveSchemas[] = {
    R"({"type": "object", "properties": {"a": {"$ref": "#"}, "v": {"type": "integer"}}})",
    R"({"$ref": "#/$defs/n", "$defs": {"n": {"type": "object",
        "properties": {"a": {"$ref": "#/$defs/n"}, "v": {"type": "integer"}}}}})",
    R"({"$ref": "#/$defs/x", "$defs": {
        "x": {"type": "object", "properties": {"a": {"$ref": "#/$defs/y"}, "v": {"type": "integer"}}},
        "y": {"type": "object", "properties": {"a": {"$ref": "#/$defs/x"}, "v": {"type": "integer"}}}}})",
    R"({"anyOf": [{"$ref": "#/$defs/n"}, {"$ref": "#/$defs/n"}], "$defs": {"n": {"type": "object",
        "properties": {"a": {"anyOf": [{"$ref": "#/$defs/n"}, {"$ref": "#/$defs/n"}]},
                       "v": {"type": "integer"}}}}})",
};

TEST(ContextReuse, AnswersKeptForAnInstanceAddressDoNotOutliveTheCall) {
    for (const char* schema : kRecursiveSchemas) {
        SCOPED_TRACE(schema);
        Validator v = build(json(schema));
        // The same Value objects, first invalid deep down, then changed in place to valid: an
        // answer remembered by address from the first call would still say invalid.
        Value instance = nested(6, json(R"({"v": "x"})"));
        Value* leaf = &instance;
        for (int i = 0; i < 6; ++i) leaf = leaf->find_mut("a");
        EXPECT_FALSE(v.is_valid(instance));
        *leaf->find_mut("v") = json("1");
        EXPECT_TRUE(v.is_valid(instance));
        *leaf->find_mut("v") = json("1.5");
        EXPECT_FALSE(v.is_valid(instance));
    }
}

TEST(ContextReuse, TrippedLimitsDoNotCarryOver) {
    const char* recursive = R"({"type": "object", "properties": {"a": {"$ref": "#"}}})";
    Validator shallow_limit = build(json(recursive), ValidationOptions().with_max_depth(41));
    Validator default_limit = build(json(recursive));
    Validator small_budget = build(json(recursive), ValidationOptions().with_max_steps(50));
    const Value deep = nested(100, json("{}"));
    const Value shallow = nested(3, json("{}"));
    struct Call {
        const Validator* validator;
        const Value* instance;
        bool valid;
    };
    // Each call after one that hit a limit must answer as a first call would.
    const std::vector<Call> calls = {
        {&shallow_limit, &deep, false}, {&shallow_limit, &shallow, true}, {&default_limit, &deep, true},
        {&small_budget, &deep, false},  {&small_budget, &shallow, true},  {&default_limit, &deep, true},
        {&shallow_limit, &deep, false}, {&default_limit, &deep, true},
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        EXPECT_EQ(calls[i].validator->is_valid(*calls[i].instance), calls[i].valid);
    }
}

// Validates its instance with another validator from inside the outer call.
class Delegating final : public CustomKeyword {
public:
    explicit Delegating(const Validator* inner) : inner_(inner) {}
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& path) const override {
        if (is_valid(instance)) return std::nullopt;
        return ValidationError::make(kinds::Custom{"inner", "inner schema failed"}, instance, path, Location(),
                                     nullptr);
    }
    bool is_valid(const Value& instance) const override { return inner_->is_valid(instance); }

private:
    const Validator* inner_;
};

class DelegatingFactory final : public KeywordFactory {
public:
    explicit DelegatingFactory(const Validator* inner) : inner_(inner) {}
    Result<std::unique_ptr<CustomKeyword>, ValidationError> init(const Value&, const Value&, const Location&,
                                                                 std::string_view) const override {
        return std::unique_ptr<CustomKeyword>(std::make_unique<Delegating>(inner_));
    }

private:
    const Validator* inner_;
};

TEST(ContextReuse, NestedCallsFromCustomKeywordsKeepTheirOwnState) {
    // The inner validator trips its small depth limit on every deep subtree; the outer one asks
    // it at every level under an `anyOf` that the second branch always satisfies. The outer answer
    // hangs on "v" alone: it must neither inherit the inner limit, its tripped flag nor its reset
    // depth, even on instances far deeper than the inner limit.
    Validator inner =
        build(json(R"({"type": "object", "properties": {"a": {"$ref": "#"}}})"), ValidationOptions().with_max_depth(9));
    auto factory = std::make_shared<DelegatingFactory>(&inner);
    Validator outer = build(json(R"({"type": "object", "properties": {"a": {"$ref": "#"}, "v": {"type": "integer"}},
                                     "anyOf": [{"inner": true}, {"type": "object"}]})"),
                            ValidationOptions().with_keyword("inner", factory));
    struct Row {
        std::size_t depth;
        const char* leaf;
        bool valid;
    };
    const Row rows[] = {
        {2, R"({"v": 1})", true},  {2, R"({"v": "x"})", false},  {5, R"({"v": 1})", true},
        {30, R"({"v": 1})", true}, {30, R"({"v": "x"})", false}, {2, R"({"v": 1})", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.depth) + " " + row.leaf);
        const Value instance = nested(row.depth, json(row.leaf));
        EXPECT_EQ(outer.is_valid(instance), row.valid);
        EXPECT_EQ(outer.validate(instance).has_value(), !row.valid);
    }
    // The inner validator on its own still answers by its limit.
    EXPECT_TRUE(inner.is_valid(nested(4, json("{}"))));
    EXPECT_FALSE(inner.is_valid(nested(5, json("{}"))));
}

// Records events like RecordingTracer, and at each one traces and validates again with another
// validator (one that trips its limit), as a tracer written in the host language might.
class ReentrantTracer final : public Tracer {
public:
    ReentrantTracer(const Validator& other, const Value& other_instance)
        : other_(other), other_instance_(other_instance) {}
    void call_mut(const TraceEvent& event) override {
        recorded.call_mut(event);
        RecordingTracer inner;
        inner_results.push_back(other_.trace(other_instance_, inner).has_value());
        inner_results.push_back(other_.is_valid(other_instance_));
    }
    RecordingTracer recorded;
    std::vector<bool> inner_results;

private:
    const Validator& other_;
    const Value& other_instance_;
};

TEST(ContextReuse, TracesAfterAndInsideOtherTracesAreUnchanged) {
    // References whose targets sit under $defs trace with a location prefix held in the context.
    Validator v = build(json(R"({"$ref": "#/$defs/n", "$defs": {"n": {"type": "object",
        "properties": {"a": {"$ref": "#/$defs/n"}, "v": {"type": "integer"}}}}})"));
    Validator limited =
        build(json(R"({"type": "object", "properties": {"a": {"$ref": "#"}}})"), ValidationOptions().with_max_depth(9));
    const Value instance = nested(3, json(R"({"v": "x"})"));
    const Value deep = nested(30, json("{}"));

    RecordingTracer first;
    auto first_result = v.trace(instance, first);
    ASSERT_TRUE(first_result);
    EXPECT_FALSE(*first_result);
    ASSERT_FALSE(first.events.empty());

    // A trace cut by the depth limit, then the same trace again: the same events and answer.
    RecordingTracer cut;
    EXPECT_FALSE(limited.trace(deep, cut).has_value());
    RecordingTracer again;
    auto again_result = v.trace(instance, again);
    ASSERT_TRUE(again_result);
    EXPECT_EQ(*again_result, *first_result);
    EXPECT_EQ(again.events, first.events);

    // Traced from inside a tracer: the outer trace sees its own events only, the inner ones their
    // own limit every time.
    ReentrantTracer reentrant(limited, deep);
    auto nested_result = v.trace(instance, reentrant);
    ASSERT_TRUE(nested_result);
    EXPECT_EQ(*nested_result, *first_result);
    EXPECT_EQ(reentrant.recorded.events, first.events);
    EXPECT_EQ(reentrant.inner_results, std::vector<bool>(2 * first.events.size(), false));
}

}  // namespace
}  // namespace deririrore::core
