#include <gtest/gtest.h>

#include "../support/engine_test_support.hpp"
#include "golden.hpp"
#include "zavova/measured_targets.hpp"

namespace {

using namespace zavova;
using enginetest::json;
using zavovatest::golden;
using Lines = std::vector<std::string>;

Lines path_entries(const char* schema, Draft draft = Draft::Draft202012, std::vector<std::string> removed = {}) {
    const auto value = json(schema);
    auto measured = measure_path_parameter(value, draft, removed);
    EXPECT_TRUE(measured) << schema;
    if (!measured) return {};
    return golden(measured->holder.state->entries);
}

TEST(MeasuredTargets, PathParameterEntries) {
    struct Case {
        const char* schema;
        Lines expected;
    } cases[] = {
        {R"({"type": "string", "minLength": 1})", {"/minLength|K:V", "/type|K:V", "|S:V"}},
        {R"({"type": "string", "minLength": 2})", {"/type|K:V", "/minLength|K:B", "|S:B"}},
        {R"({"type": "string", "pattern": "^[^/]+$"})", {"/pattern|K:V", "/type|K:V", "|S:V"}},
        {R"({"type": "string", "pattern": "[^/]*"})", {"/pattern|K:V", "/type|K:V", "|S:V"}},
        {R"({"type": "string", "pattern": "[^\\/]+"})", {"/pattern|K:V", "/type|K:V", "|S:V"}},
        {R"({"type": "string", "pattern": "[^/]{1,}"})", {"/type|K:V", "/pattern|K:B", "|S:B"}},
        {R"({"type": "string", "pattern": "^[^/]+x$"})", {"/type|K:V", "/pattern|K:B", "|S:B"}},
        {R"({"$ref": "#/$defs/id", "$defs": {"id": {"type": "string", "minLength": 1}}})",
         // Lifting follows locations, and the reference's target is not below "/$ref".
         {"/$defs/id/minLength|K:V", "/$defs/id/type|K:V", "/$defs/id|S:V", "/$ref|K:B", "|S:B"}},
        {R"({"$ref": "#/$defs/missing", "minLength": 1})", {"/$ref|K:B", "/minLength|K:B", "|S:B"}},
        {R"({"$ref": "#", "minLength": 1})", {"/$ref|K:B", "/minLength|K:B", "|S:B"}},
        {R"({"type": "string", "nullable": false})", {"/type|K:V", "/nullable|K:V", "|S:V"}},
        {R"({"type": "array", "minItems": 1, "items": {"type": "integer"}})",
         {"/type|K:V", "/minItems|K:V", "/items/type|K:B", "/items|S:B", "|S:B"}},
        {R"({"type": "array", "minItems": "1"})", {"/type|K:V", "/minItems|K:B", "|S:B"}},
    };
    for (const auto& c : cases) EXPECT_EQ(path_entries(c.schema), c.expected) << c.schema;
}

TEST(MeasuredTargets, RemovedPatternTakesItsEntrysPlace) {
    const Lines lines =
        path_entries(R"({"type": "string", "pattern": "(", "maxLength": 3})", Draft::Draft202012, {"/pattern"});
    EXPECT_EQ(lines, (Lines{"/type|K:V", "/maxLength|K:B", "/pattern|U:invalid_pattern", "|S:B"}));
}

TEST(MeasuredTargets, StateFields) {
    const auto schema = json(R"({"$schema": "https://json-schema.org/draft/2020-12/schema", "type": "integer"})");
    auto measured = measure_path_parameter(schema, Draft::Draft4, {});
    ASSERT_TRUE(measured);
    const CoverageState& state = *measured->holder.state;
    EXPECT_EQ(state.declared_dialect, "https://json-schema.org/draft/2020-12/schema");
    EXPECT_EQ(state.draft, Draft::Draft4);
    EXPECT_FALSE(state.unsatisfiable);
    EXPECT_FALSE(state.analysis_error);
    EXPECT_EQ(state.covered_prefix, 0u);
    EXPECT_FALSE(state.all_covered);
    EXPECT_EQ(measured->holder.state.use_count(), 1);
    EXPECT_EQ(measured->holder.label_slot_base, kNoLabelSlot);
    EXPECT_EQ(measured->decode_spec, (DecodeSpec{0, 1, DecodeMode::Typed, 0, 4}));

    for (const char* same : {R"({"$schema": "http://json-schema.org/draft-04/schema#"})",
                             R"({"$schema": "https://example.com/custom"})"}) {
        const auto other = json(same);
        EXPECT_FALSE(measure_path_parameter(other, Draft::Draft4, {})->holder.state->declared_dialect) << same;
    }
    const auto bad = json(R"({"type": 5})");
    auto failed = measure_path_parameter(bad, Draft::Draft202012, {});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), WrongTypeField{});
}

TEST(MeasuredTargets, TypeMask) {
    struct Case {
        const char* schema;
        int mask;  // -1: fails
    } cases[] = {
        {R"({"type": "integer"})", 4},
        {R"({"type": ["string", "null"]})", 17},
        {R"({"type": ["integer", "file"]})", 16},
        {R"({"type": "file"})", 16},
        {R"({"anyOf": [{"type": "integer"}, {"type": "string"}]})", 20},
        {R"({"oneOf": []})", 0},
        {R"({"anyOf": {}})", 127},
        // Number admits integers: the two meet in integer.
        {R"({"allOf": [{"type": "number"}, {"type": "integer"}]})", 4},
        {R"({"allOf": [{"type": "integer"}, {"type": ["number", "string"]}]})", 4},
        {R"({"allOf": [{"type": "number"}]})", 8},
        {R"({"allOf": [{"type": "string"}, {"type": "integer"}]})", 0},
        {R"({"enum": [1, "a"]})", 24},
        {R"({"const": null})", 1},
        {"{}", 127},
        {"true", 127},
        {R"({"type": 5})", -1},
        {R"({"anyOf": [{"type": "string"}, {"type": {}}]})", -1},
        {R"({"$ref": "#/$defs/a", "$defs": {"a": {"type": "boolean"}}})", 2},
    };
    for (const auto& c : cases) {
        const auto v = json(c.schema);
        auto mask = compute_schema_type_mask(v, v);
        if (c.mask < 0) {
            EXPECT_FALSE(mask) << c.schema;
        } else {
            ASSERT_TRUE(mask) << c.schema;
            EXPECT_EQ(*mask, c.mask) << c.schema;
        }
    }
    // A reference chain that never ends, and branches that double at every level, stay bounded.
    std::string text = R"({"$defs": {)";
    for (int i = 0; i < 40; ++i) {
        const std::string next = "\"#/$defs/d" + std::to_string(i + 1) + "\"";
        text += "\"d" + std::to_string(i) + "\": {\"anyOf\": [{\"$ref\": " + next + "}, {\"$ref\": " + next + "}]},";
    }
    text += R"("d40": {"type": "string"}}, "$ref": "#/$defs/d0"})";
    const auto doubling = json(text);
    EXPECT_EQ(*compute_schema_type_mask(doubling, doubling), 127);  // cut at depth 32
    const auto loop = json(R"({"$ref": "#"})");
    EXPECT_EQ(*compute_schema_type_mask(loop, loop), 127);
    EXPECT_EQ(follow_local_refs(loop, loop).pointer, "");
}

TEST(MeasuredTargets, DigitStrings) {
    struct Case {
        const char* schema;
        bool digits;
    } cases[] = {
        {R"({"pattern": "^\\d{3}$"})", true},
        {R"({"pattern": "^[0-9]+$"})", true},
        {R"({"pattern": "^[a-z]+$", "enum": [1]})", false},
        {R"({"enum": ["+12", "x"]})", true},
        {R"({"enum": ["12a"]})", false},
        {R"({"enum": ["-9223372036854775808"]})", true},
        {R"({"enum": ["99999999999999999999"]})", false},
        {R"({"enum": []})", false},
        {R"({"const": 7})", true},
        {R"({"const": "7"})", false},
        {R"({"$ref": "#/$defs/a%20b", "$defs": {"a b": {"const": 1}}})", true},
    };
    for (const auto& c : cases) {
        const auto v = json(c.schema);
        EXPECT_EQ(expects_digit_strings(v, v), c.digits) << c.schema;
    }
}

TEST(MeasuredTargets, StringTypeTargets) {
    struct Case {
        const char* schema;
        Lines expected;
    } cases[] = {
        {R"({"type": "string", "title": "t"})", {"/type|K:V", "|S:V"}},
        {R"({"type": "string", "minLength": 3})", {"/type|K:V"}},
        {R"({"anyOf": [{"type": "string"}, {"type": "integer"}]})",
         {"/anyOf|K:V", "|S:V", "/anyOf/0/type|K:V", "/anyOf/0|S:V"}},
        {R"({"oneOf": [{"type": "string"}, {"type": "string", "maxLength": 2}]})",
         {"/oneOf/0/type|K:V", "/oneOf/0|S:V", "/oneOf/1/type|K:V"}},
        {R"({"oneOf": [{"type": "string"}, false]})", {"/oneOf|K:V", "|S:V", "/oneOf/0/type|K:V", "/oneOf/0|S:V"}},
        {R"({"oneOf": [{"type": "string"}, true]})", {"/oneOf/0/type|K:V", "/oneOf/0|S:V"}},
        {R"({"oneOf": [{"type": "string"}, {}]})", {"/oneOf/0/type|K:V", "/oneOf/0|S:V"}},
        {R"({"$defs": {"s": {"type": "string", "description": "d"}}, "allOf": [{"$ref": "#/$defs/s"}, {"$ref": "#/$defs/s"}]})",
         {"/$defs/s/type|K:V", "/$defs/s|S:V", "/allOf/0/$ref|K:V", "/allOf/1/$ref|K:V"}},
    };
    for (const auto& c : cases) {
        const auto v = json(c.schema);
        EntryMap entries;
        add_root_string_type_targets(v, entries);
        EXPECT_EQ(golden(entries), c.expected) << c.schema;
    }
}

TEST(MeasuredTargets, LiftingPolarities) {
    struct Case {
        const char* schema;
        Lines expected;
    } cases[] = {
        {R"({"properties": {"p": {"type": "string"}}})",
         {"/properties/p/type|K:V", "/properties/p|S:V", "/properties|K:V", "|S:V"}},
        {R"({"properties": {"p": {"type": "string", "maxLength": 3}}})",
         {"/properties/p/type|K:V", "/properties/p/maxLength|K:B", "/properties/p|S:B", "/properties|K:B", "|S:B"}},
        {R"({"enum": [1, 2]})", {"/enum/0|L:V", "/enum/1|L:V", "/enum|K:B", "|S:B"}},
    };
    for (const auto& c : cases) {
        const auto v = json(c.schema);
        EntryMap entries;
        entries.set("/properties/p/type", EntryKind::keyword(Polarity::ValidOnly));
        if (!v.contains("properties")) entries = EntryMap{};
        CoverageHolder holder = build_coverage_state(v, Draft::Draft202012, std::move(entries));
        EXPECT_EQ(golden(holder.state->entries), c.expected) << c.schema;
    }
    // A fail-only keyword keeps its polarity and stops its ancestors.
    EntryMap entries;
    entries.ensure("/not", EntryKind::keyword(Polarity::InvalidOnly));
    entries.ensure("/a/b", EntryKind::keyword(Polarity::ValidOnly));
    entries.ensure("", EntryKind::subschema(Polarity::Both));
    lift_polarities(entries);
    EXPECT_EQ(golden(entries), (Lines{"/not|K:I", "/a/b|K:V", "|S:B"}));
}

// One reading serves builders with different entries of their own: each gets its entries first,
// then the walk's, lifted on its own copy; the reading itself stays as walked.
TEST(BuildCoverageState, OneReadingServesSeveralBuilders) {
    const auto v = json(R"({"properties": {"p": {"type": "string"}, "q": {"minimum": 1}}})");
    const SchemaReading reading = read_measured_schema(v, Draft::Draft202012);
    const Lines walked = golden(reading.walked);
    EntryMap own;
    own.set("/properties/q/minimum", EntryKind::keyword(Polarity::ValidOnly));
    own.set("/extra", EntryKind::example());
    const CoverageHolder with_own = build_coverage_state(reading, Draft::Draft202012, std::move(own));
    const CoverageHolder plain = build_coverage_state(reading, Draft::Draft202012, EntryMap{});
    EXPECT_EQ(golden(with_own.state->entries),
              (Lines{"/properties/q/minimum|K:V", "/extra|E", "/properties/p/type|K:B", "/properties/p|S:B",
                     "/properties/q|S:V", "/properties|K:B", "|S:B"}));
    EXPECT_EQ(golden(plain.state->entries),
              (Lines{"/properties/p/type|K:B", "/properties/p|S:B", "/properties/q/minimum|K:B", "/properties/q|S:B",
                     "/properties|K:B", "|S:B"}));
    EXPECT_EQ(golden(reading.walked), walked);
    EXPECT_EQ(golden(build_coverage_state(v, Draft::Draft202012, EntryMap{}).state->entries),
              golden(plain.state->entries));
}

class OneUnsatisfiable final : public SatisfiabilityAnalysis {
public:
    SatisfiabilityResult analyse_satisfiability(const Value&, std::optional<Draft>) const override {
        UnsatisfiableMap map;
        map.emplace("", UnsatisfiableCauses{CanonicalCause{"", {"allOf"}}});
        map.emplace("/allOf/1", UnsatisfiableCauses{CanonicalCause{"/allOf/1", {"type"}}});
        return map;
    }
    std::optional<UnsatisfiableOrigin> find_unsatisfiable_origin(const UnsatisfiableMap& map,
                                                                 const Value&) const override {
        const auto inner = map.find("/allOf/1");
        return UnsatisfiableOrigin{inner->first, &inner->second};
    }
    UnsatisfiableCause collect_unsatisfiable_causes(std::string_view location, const UnsatisfiableCauses&, const Value&,
                                                    Draft) const override {
        return SingleCause{DescribedCause{std::string(location), {{"type", "\"string\""}}}};
    }
};

class FailingAnalysis final : public SatisfiabilityAnalysis {
public:
    SatisfiabilityResult analyse_satisfiability(const Value&, std::optional<Draft>) const override {
        return AnalysisFailure{UnresolvablePointer{"/nowhere"}};
    }
    std::optional<UnsatisfiableOrigin> find_unsatisfiable_origin(const UnsatisfiableMap&, const Value&) const override {
        return std::nullopt;
    }
    UnsatisfiableCause collect_unsatisfiable_causes(std::string_view, const UnsatisfiableCauses&, const Value&,
                                                    Draft) const override {
        return Unexplained{};
    }
};

TEST(MeasuredTargets, SatisfiabilityPlugsIn) {
    const auto schema = json(R"({"allOf": [{"minimum": 1}, {"type": "string", "minimum": 2}]})");
    CoverageHolder none = build_coverage_state(schema, Draft::Draft202012, {});
    EXPECT_FALSE(none.state->unsatisfiable);
    EXPECT_FALSE(none.state->analysis_error);
    EXPECT_EQ(none.state->entries.find("/allOf/1")->kind, EntryKind::subschema(Polarity::Both));

    CoverageHolder found = build_coverage_state(schema, Draft::Draft202012, {}, OneUnsatisfiable{});
    ASSERT_TRUE(found.state->unsatisfiable);
    EXPECT_EQ(flatten_unsatisfiable_causes(*found.state->unsatisfiable)[0]->location, "/allOf/1");
    EXPECT_EQ(found.state->entries.find("/allOf/1")->kind, EntryKind::subschema(Polarity::InvalidOnly));
    EXPECT_EQ(found.state->entries.find("")->kind, EntryKind::subschema(Polarity::InvalidOnly));

    CoverageHolder failed = build_coverage_state(schema, Draft::Draft202012, {}, FailingAnalysis{});
    ASSERT_TRUE(failed.state->analysis_error);
    EXPECT_TRUE(std::holds_alternative<UnresolvablePointer>(*failed.state->analysis_error));
    EXPECT_EQ(failed.state->entries.find("")->kind, EntryKind::subschema(Polarity::Both));
}

}  // namespace
