// The keyword-hit tracer: which entries a traced value credits (list items of `enum` and `type`,
// `propertyNames` cursors, `examples`, pass-only keywords under a passing parent, the root), the
// event codes, copy on write, the coverage scan and covered_at.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "tracer_fixture.hpp"
#include "vantorel/recorders/tracer.hpp"

namespace {

using namespace vantorel::recorders;
using deririrore::referencing::Draft;
using tracertest::json;
using tracertest::Measured;
using zavova::CoverageHolder;
using zavova::CoverageState;
using zavova::EntryKind;
using zavova::Polarity;

struct Count {
    const char* location;
    std::uint64_t passed;
    std::uint64_t failed;
    std::uint64_t not_applicable;
};

struct CreditCase {
    const char* name;
    const char* schema;
    std::vector<const char*> instances;  // traced in order, each in its own call
    std::vector<Count> expected;
};

const CreditCase kCreditCases[] = {
    {"enum credits the first equal item only",
     R"({"enum": ["a", "b", "a"]})",
     {R"("a")"},
     {{"/enum", 1, 0, 0}, {"/enum/0", 1, 0, 0}, {"/enum/1", 0, 0, 0}, {"/enum/2", 0, 0, 0}}},
    {"enum compares numbers by exact value",
     R"({"enum": [9007199254740993, 1.0, 1e400]})",
     {"9007199254740992", "1", "10e399"},
     {{"/enum", 2, 1, 0}, {"/enum/0", 0, 0, 0}, {"/enum/1", 1, 0, 0}, {"/enum/2", 1, 0, 0}}},
    {"a failed enum credits no item", R"({"enum": ["a"]})", {R"("b")"}, {{"/enum", 0, 1, 0}, {"/enum/0", 0, 0, 0}}},
    {"propertyNames enum credits names in member order",
     R"({"propertyNames": {"enum": ["x", "y"]}})",
     {R"({"y": 1, "x": 2})"},
     {{"/propertyNames/enum", 2, 0, 0}, {"/propertyNames/enum/0", 1, 0, 0}, {"/propertyNames/enum/1", 1, 0, 0}}},
    {"propertyNames enum skips a failing name",
     R"({"propertyNames": {"enum": ["x", "y", "x"]}})",
     {R"({"x": 1, "z": 2, "y": 3})", R"({"x": 1})"},
     {{"/propertyNames/enum", 3, 1, 0},
      {"/propertyNames/enum/0", 2, 0, 0},
      {"/propertyNames/enum/1", 1, 0, 0},
      {"/propertyNames/enum/2", 0, 0, 0}}},
    {"type list: an integer is integer and number",
     R"({"type": ["integer", "number"]})",
     {"5"},
     {{"/type", 1, 0, 0}, {"/type/0", 1, 0, 0}, {"/type/1", 1, 0, 0}}},
    {"type list: a fraction is a number",
     R"({"type": ["integer", "number"]})",
     {"5.5"},
     {{"/type/0", 0, 0, 0}, {"/type/1", 1, 0, 0}}},
    {"type list: integer-valued text with a point passes integer",
     R"({"type": ["integer", "number"]})",
     {"5.0"},
     {{"/type/0", 1, 0, 0}, {"/type/1", 1, 0, 0}}},
    {"type list: beyond 64 bits is still an integer",
     R"({"type": ["integer", "number"]})",
     {"18446744073709551616", "-9223372036854775809", "12345678901234567890123"},
     {{"/type/0", 3, 0, 0}, {"/type/1", 3, 0, 0}}},
    {"type list: the 64-bit extremes are integers",
     R"({"type": ["integer", "number"]})",
     {"18446744073709551615", "-9223372036854775808"},
     {{"/type/0", 2, 0, 0}, {"/type/1", 2, 0, 0}}},
    {"type list: every other JSON type",
     R"({"type": ["null", "boolean", "string", "array", "object"]})",
     {"null", "true", R"("s")", "[]", "{}"},
     {{"/type", 5, 0, 0},
      {"/type/0", 1, 0, 0},
      {"/type/1", 1, 0, 0},
      {"/type/2", 1, 0, 0},
      {"/type/3", 1, 0, 0},
      {"/type/4", 1, 0, 0}}},
    {"type list under propertyNames judges names",
     R"({"propertyNames": {"type": ["string"]}})",
     {R"({"a": 1})"},
     {{"/propertyNames/type/0", 1, 0, 0}}},
    {"examples: equality decides, the event's outcome does not",
     R"({"examples": [1, 2]})",
     {"2", "1.0"},
     {{"/examples/0", 1, 1, 0}, {"/examples/1", 1, 1, 0}}},
    {"a property named examples is an ordinary subschema",
     R"({"properties": {"examples": {"type": "string"}}})",
     {R"({"examples": "x"})", R"({"examples": 1})"},
     {{"/properties/examples/type", 1, 1, 0}}},
    {"the root counts once per call", R"({"type": "object"})", {"{}", "1", "{}"}, {{"", 2, 1, 0}}},
    {"a pass-only keyword is credited once however often its parent passes",
     R"({"properties": {"a": {"type": "string"}}, "additionalProperties": true})",
     {"{}", R"({"b": 1})"},
     {{"", 2, 0, 0}, {"/additionalProperties", 1, 0, 0}}},
    {"not applicable is counted apart", R"({"minLength": 2})", {"1", R"("ab")", R"("a")"}, {{"/minLength", 1, 1, 1}}},
};

TEST(Tracer, CreditsEntries) {
    for (const CreditCase& c : kCreditCases) {
        SCOPED_TRACE(c.name);
        Measured m(c.schema);
        for (const char* instance : c.instances) trace_value(m.holder, m.schema, json(instance), *m.validator, 1.0);
        for (const Count& want : c.expected) {
            const zavova::KeywordEntry* e = m.find(want.location);
            ASSERT_NE(e, nullptr) << "no entry at \"" << want.location << "\"\n" << m.dump();
            EXPECT_EQ(e->passed, want.passed) << want.location << "\n" << m.dump();
            EXPECT_EQ(e->failed, want.failed) << want.location << "\n" << m.dump();
            EXPECT_EQ(e->not_applicable, want.not_applicable) << want.location << "\n" << m.dump();
        }
    }
}

// Outcomes the engine never gives for `examples` (not applicable), and events the state has no
// entry for, delivered straight to the recorder.
TEST(Tracer, DirectEvents) {
    Measured m(R"({"examples": [1, 2], "minimum": 0})");
    CoverageState& state = zavova::make_state_unique(m.holder);
    const Value instance = json("1");
    HitRecorder recorder(state, m.schema, instance, 1.0);
    const LazyLocation root;
    recorder.record_keyword_hit(TraceEvent{root, Location("/examples"), TraceOutcome::NotApplicable});
    recorder.record_keyword_hit(TraceEvent{root, Location("/nowhere"), TraceOutcome::Passed});
    recorder.record_keyword_hit(TraceEvent{root, Location("/nowhere/examples"), TraceOutcome::Passed});
    for (const char* location : {"/examples/0", "/examples/1"}) {
        const auto* e = m.find(location);
        ASSERT_NE(e, nullptr) << m.dump();
        EXPECT_EQ(e->not_applicable, 1u) << location;
        EXPECT_EQ(e->passed + e->failed, 0u) << location;
        EXPECT_EQ(e->first_passed, 0.0) << location;
    }
    EXPECT_TRUE(state.events.empty());
}

TEST(Tracer, FirstTimesAreSetOnce) {
    Measured m(R"({"type": "string"})");
    trace_value(m.holder, m.schema, json(R"("a")"), *m.validator, 10.0);
    trace_value(m.holder, m.schema, json("1"), *m.validator, 20.0);
    trace_value(m.holder, m.schema, json(R"("b")"), *m.validator, 30.0);
    trace_value(m.holder, m.schema, json("2"), *m.validator, 40.0);
    const auto* e = m.find("/type");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->passed, 2u);
    EXPECT_EQ(e->failed, 2u);
    EXPECT_EQ(e->first_passed, 10.0);
    EXPECT_EQ(e->first_failed, 20.0);
}

// Event codes in credit order: the entry, its list items, then the pass-only keywords under it.
// `additionalProperties: true` reports no event of its own: its parent's passes credit it, once
// in the counters but with an event on every pass.
TEST(Tracer, EventCodesFollowCreditOrder) {
    Measured m(R"({"additionalProperties": true, "enum": [{"a": 1}, {}]})");
    m.holder.events = true;
    const auto& entries = m.holder.state->entries;
    const auto index = [&](const char* location) {
        auto i = entries.index_of(location);
        EXPECT_TRUE(i.has_value()) << location << "\n" << m.dump();
        return static_cast<std::uint32_t>(i.value_or(0));
    };
    trace_value(m.holder, m.schema, json("{}"), *m.validator, 1.0);
    trace_value(m.holder, m.schema, json("{}"), *m.validator, 2.0);
    const CoverageState& state = *m.holder.state;
    ASSERT_TRUE(state.events_enabled);
    std::vector<std::uint32_t> one_call;
    for (const char* location : {"/enum", "/enum/1", "", "/additionalProperties"})
        one_call.push_back(index(location) * 2);
    std::vector<std::uint32_t> expected = one_call;
    expected.insert(expected.end(), one_call.begin(), one_call.end());
    EXPECT_EQ(state.events, expected) << m.dump();
    EXPECT_EQ(m.find("/additionalProperties")->passed, 1u);
    EXPECT_EQ(m.find("/additionalProperties")->first_passed, 1.0);
    EXPECT_EQ(m.find("")->passed, 2u);

    trace_value(m.holder, m.schema, json("1"), *m.validator, 3.0);
    EXPECT_EQ(state.events.back(), index("") * 2 + 1);  // the root failed
}

TEST(Tracer, SpecialKeywordUnderPassingParentCountsOnce) {
    // The parent passes twice; the pass-only keyword below it sees no event of its own here
    // (an empty `allOf` never reports one), so the parent's passes credit it, at most once.
    Measured m(R"({"properties": {"p": {"uniqueItems": false, "type": "array"}}})");
    m.holder.events = true;
    trace_value(m.holder, m.schema, json(R"({"p": [1, 1]})"), *m.validator, 5.0);
    trace_value(m.holder, m.schema, json(R"({"p": [2]})"), *m.validator, 6.0);
    const auto* unique = m.find("/properties/p/uniqueItems");
    ASSERT_NE(unique, nullptr) << m.dump();
    EXPECT_EQ(unique->passed, 1u);
    EXPECT_EQ(unique->first_passed, 5.0);
}

TEST(Tracer, CopyOnWriteLeavesOtherHoldersAlone) {
    Measured m(R"({"type": "string"})");
    CoverageHolder other = m.holder;  // a path-level parameter copied into a second operation
    ASSERT_EQ(other.state, m.holder.state);
    trace_value(m.holder, m.schema, json(R"("a")"), *m.validator, 1.0);
    EXPECT_NE(other.state, m.holder.state);
    EXPECT_EQ(other.state->entries.find("/type")->passed, 0u);
    EXPECT_EQ(m.holder.state->entries.find("/type")->passed, 1u);
    // Now alone, the holder writes in place.
    const CoverageState* mine = m.holder.state.get();
    trace_value(m.holder, m.schema, json(R"("b")"), *m.validator, 1.0);
    EXPECT_EQ(m.holder.state.get(), mine);
}

TEST(Tracer, CoverageScanAndCoveredAt) {
    Measured m(R"({"type": "string", "minLength": 1})");
    const auto trace_at = [&](const char* instance, double time) {
        const bool was = m.holder.state->all_covered;
        trace_value(m.holder, m.schema, json(instance), *m.validator, time);
        mark_covered_at(m.holder, was, time);
    };
    trace_at(R"("a")", 1.0);
    EXPECT_FALSE(m.holder.state->all_covered) << m.dump();
    EXPECT_EQ(m.holder.covered_at, 0.0);
    trace_at(R"("")", 2.0);
    trace_at("1", 3.0);
    ASSERT_TRUE(m.holder.state->all_covered) << m.dump();
    EXPECT_EQ(m.holder.covered_at, 3.0);
    const std::uint64_t prefix = m.holder.state->covered_prefix;
    EXPECT_LT(prefix, m.holder.state->entries.size());

    // Covered for good: counters still move, the scan and covered_at do not.
    trace_at(R"("bb")", 4.0);
    EXPECT_EQ(m.holder.covered_at, 3.0);
    EXPECT_EQ(m.holder.state->covered_prefix, prefix);
    EXPECT_EQ(m.find("/type")->passed, 3u);
    // A second holder that covers the same state later keeps its own first time.
    mark_covered_at(m.holder, false, 9.0);
    EXPECT_EQ(m.holder.covered_at, 3.0);
}

TEST(Tracer, CoveredPrefixStopsAtTheFirstUncoveredEntry) {
    Measured m(R"({"maximum": 3, "minimum": 1})");
    trace_value(m.holder, m.schema, json("2"), *m.validator, 1.0);
    const CoverageState& state = *m.holder.state;
    const auto& entries = state.entries;
    ASSERT_LT(state.covered_prefix, entries.size());
    const auto& first_open = entries.entry(state.covered_prefix);
    EXPECT_EQ(first_open.kind.tag, zavova::EntryTag::Keyword);
    EXPECT_FALSE(first_open.covered()) << m.dump();
    for (std::size_t i = 0; i < state.covered_prefix; ++i) {
        const auto& e = entries.entry(i);
        EXPECT_TRUE(e.kind.tag != zavova::EntryTag::Keyword || e.covered()) << entries.location(i);
    }
}

TEST(Tracer, MissingItemEntryStopsTheCall) {
    const Value schema = json(R"({"enum": ["a", "b"]})");
    auto validator = deririrore::core::build_validator(
        schema,
        vantorel::dialect::measured_schema_options(Draft::Draft202012, vantorel::dialect::NullableSource::MediaType));
    ASSERT_TRUE(validator);
    CoverageHolder holder;
    holder.state = std::make_shared<CoverageState>();
    holder.state->entries.ensure("/enum", EntryKind::keyword(Polarity::Both));
    holder.state->entries.ensure("/enum/0", EntryKind::list_item(Polarity::ValidOnly));
    EXPECT_NO_THROW(trace_value(holder, schema, json(R"("a")"), *validator, 1.0));
    try {
        trace_value(holder, schema, json(R"("b")"), *validator, 1.0);
        ADD_FAILURE() << "no stop";
    } catch (const deririrore::InternalError& e) {
        EXPECT_STREQ(e.what(), "Coverage entry missing for: /enum/1");
    }
}

// A recursive schema over an instance deeper than the engine's nesting limit: the trace is cut,
// what was counted stays, and the root counts a failure instead of a crash or a pass.
TEST(Tracer, CutTraceCountsTheRootAsFailed) {
    Measured m(R"({"items": {"$ref": "#"}, "type": "array"})");
    Value deep = Value::array();
    for (int i = 0; i < 3000; ++i) {
        Value::Array items;
        items.push_back(std::move(deep));
        deep = Value::array(std::move(items));
    }
    EXPECT_FALSE(trace_value(m.holder, m.schema, deep, *m.validator, 1.0));
    const auto* root = m.find("");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->failed, 1u);
    EXPECT_EQ(root->passed, 0u);
    EXPECT_GT(m.find("/type")->passed, 0u);
}

}  // namespace
