// References: recursion, the compile queue and pending targets, cycle cutting, the empty
// reference, evaluation paths and trace events in the root schema's coordinates.
#include <thread>

#include <gtest/gtest.h>

#include "deririrore/core/ref.hpp"
#include "support.hpp"

namespace deririrore::core {
namespace {

using testing::build;
using testing::Event;
using testing::json;
using testing::located;
using testing::options_for;
using testing::RecordingTracer;

// A value nested `depth` levels deep under "a", with `leaf` at the bottom.
Value nested(std::size_t depth, Value leaf) {
    Value v = std::move(leaf);
    for (std::size_t i = 0; i < depth; ++i) {
        value::ObjectBuilder b;
        b.add("a", std::move(v));
        v = std::move(b).build();
    }
    return v;
}

TEST(Recursion, RecursiveSchemaCompilesOnceAndValidatesNestedInstances) {
    Validator v = build(json(R"({"type": "object", "properties": {"a": {"$ref": "#"}}})"));
    EXPECT_TRUE(v.is_valid(nested(20, json("{}"))));
    auto error = v.validate(nested(3, json("5")));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->instance_path().view(), "/a/a/a");
    EXPECT_EQ(error->schema_path().view(), "/type");
    EXPECT_EQ(error->evaluation_path().view(), "/properties/a/$ref/properties/a/$ref/properties/a/$ref/type");
}

TEST(Recursion, LoopThatNeverDescendsAcceptsEveryInstance) {
    // A refers to B and B to A on the same instance value: the repetition is cut as valid.
    Validator v = build(json(R"({"$defs": {"A": {"$ref": "#/$defs/B"}, "B": {"$ref": "#/$defs/A"}},
                                 "$ref": "#/$defs/A"})"));
    for (const char* instance : {"1", R"({"a": [1]})", "null"}) {
        EXPECT_TRUE(v.is_valid(json(instance)));
        EXPECT_FALSE(v.validate(json(instance)));
        RecordingTracer tracer;
        auto traced = v.trace(json(instance), tracer);
        ASSERT_TRUE(traced);
        EXPECT_TRUE(*traced);
    }
}

TEST(Recursion, DefinitionWhoseAllOfRefersBackAcceptsEverything) {
    Validator v = build(json(R"({"$defs": {"A": {"allOf": [{"$ref": "#/$defs/A"}]}}, "$ref": "#/$defs/A"})"));
    for (const char* instance : {"1", R"({"a": [1]})", "[]"}) {
        EXPECT_TRUE(v.is_valid(json(instance)));
        EXPECT_TRUE(v.iter_errors(json(instance)).empty());
    }
}

TEST(Recursion, ReferenceToItsOwnObjectAddsNothing) {
    Validator root_only = build(json(R"({"$ref": "#"})"));
    EXPECT_TRUE(root_only.root().entries().empty());
    EXPECT_TRUE(root_only.is_valid(json("1")));
}

// The empty reference names the current resource, as the registry crawl reads it.
TEST(EmptyReference, RefersToTheCurrentResource) {
    Validator v = build(json(R"({"type": "object", "properties": {"a": {"$ref": ""}}})"));
    EXPECT_TRUE(v.is_valid(json(R"({"a": {"a": {}}})")));
    EXPECT_FALSE(v.is_valid(json(R"({"a": 5})")));
    EXPECT_FALSE(v.is_valid(json(R"({"a": {"a": 5}})")));
}

// S1 .. S8 are compiled on the spot one inside another; the ninth target goes to the queue.
std::string chain_schema(int length) {
    std::string defs;
    for (int i = 1; i < length; ++i) {
        defs += "\"s" + std::to_string(i) + "\": {\"properties\": {\"a\": {\"$ref\": \"#/$defs/s" + std::to_string(i + 1) +
                "\"}}},";
    }
    defs += "\"s" + std::to_string(length) + "\": {\"type\": \"string\"}";
    return "{\"$defs\": {" + defs + "}, \"$ref\": \"#/$defs/s1\"}";
}

const RefValidator* reference_in(const SchemaNode& node) {
    for (const auto& e : node.entries()) {
        if (auto* ref = dynamic_cast<const RefValidator*>(e.validator.get())) return ref;
        if (auto* props = dynamic_cast<const KeywordValidator*>(e.validator.get())) (void)props;
    }
    return nullptr;
}

TEST(CompileQueue, TargetsBeyondEightDeepAreQueuedAndReachedThroughSlots) {
    const Value schema = json(chain_schema(10));
    Validator v = build(schema);
    EXPECT_GT(v.compiled().queued_targets, 0u);

    // Find the reference to s9: its target sits in a slot filled by the queue.
    const RefValidator* to_s9 = nullptr;
    for (const auto& node : v.compiled().nodes) {
        if (node->location().view() == "/$defs/s8/properties/a") to_s9 = reference_in(*node);
    }
    ASSERT_NE(to_s9, nullptr);
    EXPECT_EQ(to_s9->direct_target(), nullptr);
    ASSERT_NE(to_s9->slot(), nullptr);
    ASSERT_TRUE(to_s9->slot()->initialised());
    EXPECT_EQ(to_s9->slot()->node().location().view(), "/$defs/s9");

    EXPECT_TRUE(v.is_valid(nested(9, json(R"("leaf")"))));
    auto error = v.validate(nested(9, json("1")));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->schema_path().view(), "/$defs/s10/type");
    EXPECT_EQ(error->instance_path().view(), "/a/a/a/a/a/a/a/a/a");

    RecordingTracer tracer;
    ASSERT_TRUE(v.trace(nested(9, json("1")), tracer));
    ASSERT_FALSE(tracer.events.empty());
    EXPECT_EQ(tracer.events.front(), (Event{"/a/a/a/a/a/a/a/a/a", "/$defs/s10/type", 1}));
}

TEST(CompileQueue, ShortChainsLeaveTheQueueEmpty) {
    Validator v = build(json(chain_schema(8)));
    EXPECT_EQ(v.compiled().queued_targets, 0u);
    EXPECT_TRUE(v.is_valid(nested(7, json(R"("leaf")"))));
}

TEST(ReferenceTrace, TargetEventsComeFirstAtTheTargetsLocation) {
    Validator v = build(json(R"({"$defs": {"a": {"type": "string"}}, "properties": {"x": {"$ref": "#/$defs/a"}}})"));
    RecordingTracer tracer;
    auto traced = v.trace(json(R"({"x": 5})"), tracer);
    ASSERT_TRUE(traced);
    EXPECT_FALSE(*traced);
    const std::vector<Event> expected = {
        {"/x", "/$defs/a/type", 1},
        {"/x", "/properties/x/$ref", 1},
        {"/x", "/$defs/a", 1},
        {"", "/properties/x", 1},
        {"", "/properties", 1},
    };
    EXPECT_EQ(tracer.events, expected);
}

TEST(ReferenceTrace, EventsInsideEmbeddedResourcesUseRootCoordinates) {
    const Value schema = json(R"({
        "$defs": {"r": {"$id": "http://example.com/r.json",
                        "$defs": {"s": {"type": "string"}},
                        "properties": {"p": {"$ref": "#/$defs/s"}}}},
        "properties": {"x": {"$ref": "http://example.com/r.json"}, "y": {"type": "object"}}})");
    Validator v = build(schema);
    RecordingTracer tracer;
    auto traced = v.trace(json(R"({"x": {"p": 5}, "y": {}})"), tracer);
    ASSERT_TRUE(traced);
    EXPECT_FALSE(*traced);
    const std::vector<Event> expected = {
        {"/x/p", "/$defs/r/$defs/s/type", 1},
        {"/x/p", "/$defs/r/properties/p/$ref", 1},
        {"/x/p", "/$defs/r/$defs/s", 1},
        {"/x", "/$defs/r/properties/p", 1},
        {"/x", "/$defs/r/properties", 1},
        {"/x", "/properties/x/$ref", 1},
        {"/x", "/$defs/r", 1},
        {"", "/properties/x", 1},
        {"/y", "/properties/y/type", 0},
        {"", "/properties/y", 0},
        {"", "/properties", 1},
    };
    EXPECT_EQ(tracer.events, expected);
}

TEST(ReferenceTrace, OneValidatorTracedFromSeveralThreadsGivesTheSameEvents) {
    const Value schema = json(R"({
        "$defs": {"r": {"$id": "http://example.com/r.json",
                        "$defs": {"s": {"type": "string"}},
                        "properties": {"p": {"$ref": "#/$defs/s"}}}},
        "properties": {"x": {"$ref": "http://example.com/r.json"}}})");
    const Validator v = build(schema);
    const Value instance = json(R"({"x": {"p": 5}})");
    RecordingTracer reference;
    ASSERT_TRUE(v.trace(instance, reference));
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                RecordingTracer tracer;
                auto traced = v.trace(instance, tracer);
                if (!traced || *traced || tracer.events != reference.events || v.is_valid(instance)) ++mismatches;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(ReferenceTrace, ReferenceToTheRootEmitsOnlyItsKeywordEvent) {
    Validator v = build(json(R"({"properties": {"a": {"$ref": "#"}}})"));
    RecordingTracer tracer;
    ASSERT_TRUE(v.trace(json(R"({"a": 1})"), tracer));
    const std::vector<Event> expected = {
        {"/a", "/properties", 2},
        {"/a", "/properties/a/$ref", 0},
        {"", "/properties/a", 0},
        {"", "/properties", 0},
    };
    EXPECT_EQ(tracer.events, expected);
}

TEST(ReferenceErrors, AbsoluteLocationsAndEvaluationPathsThroughReferences) {
    Validator v = build(json(R"({"$id": "https://example.com/s", "$defs": {"a": {"type": "string"}},
                                 "properties": {"x": {"$ref": "#/$defs/a"}}})"));
    const Value instance = json(R"({"x": 1})");
    auto errors = v.iter_errors(instance);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].schema_path().view(), "/$defs/a/type");
    EXPECT_EQ(errors[0].evaluation_path().view(), "/properties/x/$ref/type");
    ASSERT_TRUE(errors[0].absolute_keyword_location());
    EXPECT_EQ(*errors[0].absolute_keyword_location(), "https://example.com/s#/$defs/a/type");
    ValidationError owned = error_into_owned(std::move(errors[0]));
    EXPECT_EQ(owned.evaluation_path().view(), "/properties/x/$ref/type");
    EXPECT_TRUE(owned.owns_instance());
}

TEST(ReferenceErrors, UnresolvableReferencesFailTheBuild) {
    struct Case {
        const char* schema;
        const char* message;
        const char* pointer;
    };
    const Case cases[] = {
        {R"({"$ref": "#/nowhere"})", "Pointer '/nowhere' does not exist", "/$ref"},
        {R"({"$ref": "#nope"})", "Anchor 'nope' does not exist", "/$ref"},
        {R"({"properties": {"a": {"$ref": "#/properties/b"}}})", "Pointer '/properties/b' does not exist",
         "/properties/a/$ref"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema);
        auto built = build_validator(json(c.schema));
        ASSERT_FALSE(built);
        EXPECT_EQ(built.error().message(), located(c.message, c.pointer));
    }
}

TEST(Anchors, TargetInsideEmbeddedResourceIsLocatedInThatResource) {
    const Value schema = json(R"({
        "$defs": {"r": {"$id": "http://example.com/r.json",
                        "$defs": {"n": {"$anchor": "name", "type": "integer"}}}},
        "properties": {"x": {"$ref": "http://example.com/r.json#name"}}})");
    Validator v = build(schema);
    RecordingTracer tracer;
    ASSERT_TRUE(v.trace(json(R"({"x": 1})"), tracer));
    ASSERT_GE(tracer.events.size(), 3u);
    EXPECT_EQ(tracer.events[0], (Event{"/x", "/$defs/r/$defs/n/type", 0}));
    EXPECT_EQ(tracer.events[1], (Event{"/x", "/properties/x/$ref", 0}));
    EXPECT_EQ(tracer.events[2], (Event{"/x", "/$defs/r/$defs/n", 0}));
}

}  // namespace
}  // namespace deririrore::core
