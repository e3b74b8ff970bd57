// The OpenAPI options reach every validator the engine builds: a probe schema using nullable,
// example and an OpenAPI format is placed under each keyword family, inside `$ref` targets
// compiled in place, and inside targets the compile queue compiles (chains deeper than the
// in-place limit, recursive references), and must behave the same everywhere.
#include <algorithm>
#include <initializer_list>

#include "dialect_harness.hpp"

namespace {

using namespace dialect_test;
using K = BuiltinKeyword;

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A chain of `depth` references ending at the probe: d0 -> d1 -> ... -> d{depth-1} -> probe.
std::string reference_chain(std::string_view container, int depth, std::string_view entry) {
    std::string defs;
    for (int i = 0; i < depth; ++i) {
        defs += "\"d" + std::to_string(i) + "\": {\"$ref\": \"#/" + std::string(container) + "/d" +
                std::to_string(i + 1) + "\"}, ";
    }
    defs += "\"d" + std::to_string(depth) + "\": @P";
    return "{\"" + std::string(container) + "\": {" + defs + "}, " + replace_all(std::string(entry), "@C", container) +
           "}";
}

std::string many_properties(int count) {
    std::string members;
    for (int i = 0; i < count; ++i) members += "\"p" + std::to_string(i) + "\": {}, ";
    return R"({"properties": {)" + members + R"("a": @P}})";
}

std::string discriminated(std::string_view keyword) {
    std::string branches;
    for (const char* tag : {"a", "b", "c"}) {
        if (!branches.empty()) branches += ", ";
        branches += std::string(R"({"properties": {"kind": {"const": ")") + tag +
                    R"("}, "v": @P}, "required": ["kind"]})";
    }
    return "{\"" + std::string(keyword) + "\": [" + branches + "]}";
}

struct Family {
    std::string name;
    Draft draft;
    std::string schema;    // "@P" stands for the probe schema
    std::string instance;  // "@V" for the probe value
    std::vector<K> needs;
    bool queued = false;   // some target is compiled by the compile queue
};

void PrintTo(const Family& family, std::ostream* os) { *os << family.name; }

std::vector<Family> families() {
    using D = Draft;
    return {
        {"Root", D::Draft202012, "@P", "@V", {}},
        {"RootDraft4", D::Draft4, "@P", "@V", {}},
        {"Properties", D::Draft202012, R"({"properties": {"a": @P}})", R"({"a": @V})", {K::Properties}},
        {"PropertiesLargeMap", D::Draft202012, many_properties(15), R"({"a": @V})", {K::Properties}},
        {"PropertiesFusedWithRequired", D::Draft7, R"({"properties": {"a": @P, "b": {}}, "required": ["a", "b"]})",
         R"({"a": @V, "b": 1})", {K::Properties, K::Required}},
        {"PatternPropertiesFastShape", D::Draft202012, R"({"patternProperties": {"^a": @P}})", R"({"ab": @V})",
         {K::PatternProperties}},
        {"PatternPropertiesEngine", D::Draft202012, R"j({"patternProperties": {"^a(?=b)": @P}})j", R"j({"ab": @V})j",
         {K::PatternProperties}},
        {"AdditionalPropertiesAlone", D::Draft202012, R"({"additionalProperties": @P})", R"({"z": @V})",
         {K::AdditionalProperties}},
        {"AdditionalPropertiesBesideProperties", D::Draft202012,
         R"({"properties": {"a": {}}, "additionalProperties": @P})", R"({"a": 1, "z": @V})",
         {K::Properties, K::AdditionalProperties}},
        {"AdditionalPropertiesBesidePatterns", D::Draft202012,
         R"j({"properties": {"a": {}}, "patternProperties": {"^b(?=c)": {}}, "additionalProperties": @P})j",
         R"({"a": 1, "bc": 1, "z": @V})", {K::Properties, K::PatternProperties, K::AdditionalProperties}},
        {"PropertiesFusedIntoFalseAdditional", D::Draft202012,
         R"({"properties": {"a": @P}, "additionalProperties": false})", R"({"a": @V})",
         {K::Properties, K::AdditionalProperties}},
        {"Items", D::Draft202012, R"({"items": @P})", "[@V]", {K::Items}},
        {"PrefixItems", D::Draft202012, R"({"prefixItems": [@P]})", "[@V]", {K::PrefixItems}},
        {"ItemsArrayForm", D::Draft7, R"({"items": [@P]})", "[@V]", {K::Items}},
        {"AdditionalItems", D::Draft7, R"({"items": [{}], "additionalItems": @P})", "[1, @V]",
         {K::Items, K::AdditionalItems}},
        {"Contains", D::Draft202012, R"({"contains": @P})", "[@V]", {K::Contains}},
        {"AllOfOne", D::Draft202012, R"({"allOf": [@P]})", "@V", {K::AllOf}},
        {"AllOfMany", D::Draft202012, R"({"allOf": [{}, @P]})", "@V", {K::AllOf}},
        {"AnyOf", D::Draft202012, R"({"anyOf": [false, @P]})", "@V", {K::AnyOf}},
        {"OneOf", D::Draft202012, R"({"oneOf": [@P, false]})", "@V", {K::OneOf}},
        {"OneOfDiscriminated", D::Draft202012, discriminated("oneOf"), R"({"kind": "a", "v": @V})",
         {K::OneOf, K::Properties, K::Const, K::Required}},
        {"AnyOfDiscriminated", D::Draft7, discriminated("anyOf"), R"({"kind": "a", "v": @V})",
         {K::AnyOf, K::Properties, K::Const, K::Required}},
        {"Not", D::Draft202012, R"({"not": {"not": @P}})", "@V", {K::Not}},
        {"IfThen", D::Draft202012, R"({"if": true, "then": @P})", "@V", {K::If}},
        {"IfElse", D::Draft7, R"({"if": false, "else": @P})", "@V", {K::If}},
        {"DependentSchemas", D::Draft202012, R"({"dependentSchemas": {"a": {"properties": {"a": @P}}}})",
         R"({"a": @V})", {K::DependentSchemas, K::Properties}},
        {"Dependencies", D::Draft7, R"({"dependencies": {"a": {"properties": {"a": @P}}}})", R"({"a": @V})",
         {K::Dependencies, K::Properties}},
        {"UnevaluatedProperties", D::Draft202012, R"({"unevaluatedProperties": @P})", R"({"z": @V})",
         {K::UnevaluatedProperties}},
        {"UnevaluatedItems", D::Draft202012, R"({"unevaluatedItems": @P})", "[@V]", {K::UnevaluatedItems}},
        {"RefInPlace", D::Draft202012, R"({"$defs": {"t": @P}, "properties": {"a": {"$ref": "#/$defs/t"}}})",
         R"({"a": @V})", {K::Ref, K::Properties}},
        {"RefInPlaceDraft4", D::Draft4,
         R"({"definitions": {"t": @P}, "properties": {"a": {"$ref": "#/definitions/t"}}})", R"({"a": @V})",
         {K::Ref, K::Properties}},
        {"RefChainQueued", D::Draft202012, reference_chain("$defs", 10, R"("$ref": "#/@C/d0")"), "@V", {K::Ref},
         true},
        {"RefChainQueuedDraft4", D::Draft4,
         reference_chain("definitions", 10, R"("properties": {"a": {"$ref": "#/@C/d0"}})"), R"({"a": @V})",
         {K::Ref, K::Properties}, true},
        {"RefChainQueuedUnderItems", D::Draft7, reference_chain("definitions", 12, R"("items": {"$ref": "#/@C/d0"})"),
         "[@V]", {K::Ref, K::Items}, true},
        {"RefRecursive", D::Draft202012,
         R"({"$defs": {"node": {"properties": {"child": {"$ref": "#/$defs/node"}, "v": @P}}}, "$ref": "#/$defs/node"})",
         R"({"child": {"child": {"v": @V}}})", {K::Ref, K::Properties}},
        {"DynamicRef", D::Draft202012,
         R"({"$defs": {"t": {"$dynamicAnchor": "t", "allOf": [@P]}}, "properties": {"a": {"$dynamicRef": "#t"}}})",
         R"({"a": @V})", {K::DynamicRef, K::AllOf, K::Properties}},
        {"RecursiveRef", D::Draft201909,
         R"({"$recursiveAnchor": true, "if": {"type": "object"}, "then": {"properties": {"a": {"$recursiveRef": "#"}}}, "else": @P})",
         R"({"a": {"a": @V}})", {K::RecursiveRef, K::If, K::Type, K::Properties}},
    };
}

// The probe schema uses what the engine can compile so far: nullable and example need the
// custom-keyword adapter, int32 the `format` keyword.
struct ProbeSchema {
    bool keywords;
    bool formats;

    std::string text() const {
        std::string members;
        if (formats) members += R"("format": "int32")";
        if (keywords) members += std::string(members.empty() ? "" : ", ") + R"("nullable": false, "example": 5)";
        return "{" + members + "}";
    }
};

// null: nullable fails and the number format does not apply; 2^31: only the format fails;
// 5: everything passes.
struct Probe {
    const char* value;
    int nullable;  // the outcome every event of the keyword must have
    int example;
    int format;
};

constexpr Probe kProbes[] = {
    {"null", 1, 1, 2},
    {"2147483648", 0, 1, 1},
    {"5", 0, 0, 0},
};

class OptionsReach : public ::testing::TestWithParam<Family> {};

TEST_P(OptionsReach, EveryFamilyAndEveryCompilePath) {
    const Family& family = GetParam();
    for (K keyword : family.needs) {
        if (!engine_compiles(keyword, family.draft)) {
            GTEST_SKIP() << "the engine's keyword table lacks `" << core::builtin_keyword_info(keyword).name
                         << "` for this draft yet";
        }
    }
    const ProbeSchema probe_schema{engine_runs_custom_keywords(), engine_compiles(K::Format, family.draft)};
    if (!probe_schema.keywords && !probe_schema.formats) GTEST_SKIP() << "neither custom keywords nor formats yet";

    const std::string schema = replace_all(family.schema, "@P", probe_schema.text());
    SCOPED_TRACE(schema);
    auto built = build(schema, family.draft);
    ASSERT_TRUE(built.has_value()) << built.error().message();
    if (family.queued) {
        EXPECT_GT(built->compiled().queued_targets, 0u) << "no target went through the queue";
    }

    for (const Probe& probe : kProbes) {
        const bool valid = !(probe_schema.keywords && probe.nullable == 1) && !(probe_schema.formats && probe.format == 1);
        const std::string instance_text = replace_all(family.instance, "@V", probe.value);
        SCOPED_TRACE(instance_text);
        const auto instance = json(instance_text);
        const auto traced = trace(*built, instance);

        EXPECT_EQ(built->is_valid(instance), valid);
        EXPECT_EQ(traced.valid, valid);
        EXPECT_EQ(built->validate(instance).has_value(), !valid);
        EXPECT_EQ(built->iter_errors(instance).empty(), valid);

        const struct {
            std::string_view suffix;
            int outcome;
            bool checked;
        } expectations[] = {
            {"/nullable", probe.nullable, probe_schema.keywords},
            {"/example", probe.example, probe_schema.keywords},
            {"/format", probe.format, probe_schema.formats},
        };
        for (const auto& e : expectations) {
            if (!e.checked) continue;
            const auto events = events_ending(traced.events, e.suffix);
            ASSERT_FALSE(events.empty()) << "no " << e.suffix << " event";
            for (const auto& event : events) EXPECT_EQ(event.outcome, e.outcome) << event;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, OptionsReach, ::testing::ValuesIn(families()),
                         [](const ::testing::TestParamInfo<Family>& info) { return info.param.name; });

// A hostile pattern inside a queued target is compiled with the same finite limits.
TEST(OptionsReachPatterns, HostilePatternInsideQueuedTarget) {
    if (!engine_compiles(K::PatternProperties) || !engine_compiles(K::Ref)) {
        GTEST_SKIP() << "the engine's keyword table lacks `patternProperties` or `$ref` yet";
    }
    const std::string schema = replace_all(reference_chain("$defs", 10, R"("$ref": "#/$defs/d0")"), "@P",
                                           R"({"patternProperties": {"^(a|aa)+(?=b)c": false}})");
    auto built = build(schema, Draft::Draft202012);
    ASSERT_TRUE(built.has_value()) << built.error().message();
    EXPECT_GT(built->compiled().queued_targets, 0u);
    const auto instance = json("{\"" + std::string(40, 'a') + "c\": 1}");
    const bool valid = built->is_valid(instance);
    EXPECT_EQ(trace(*built, instance).valid, valid);
}

// Property names are strings, so only a parameter's string "null" reaches nullable here.
TEST(OptionsReachPatterns, PropertyNamesSeeTheParameterNull) {
    DIALECT_REQUIRE_CUSTOM_KEYWORDS();
    DIALECT_REQUIRE_KEYWORD(PropertyNames);
    auto built = build(R"({"propertyNames": {"nullable": false}})", Draft::Draft7, NullableSource::Parameter);
    ASSERT_TRUE(built.has_value()) << built.error().message();
    EXPECT_FALSE(built->is_valid(json(R"({"null": 1})")));
    EXPECT_TRUE(built->is_valid(json(R"({"nil": 1})")));
}

}  // namespace
