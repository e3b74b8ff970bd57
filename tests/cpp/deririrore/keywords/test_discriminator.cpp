// The branch discriminator of anyOf/oneOf: which schemas get one, how it selects a branch, and
// that it never changes a verdict: every result with it equals the result without it (switched
// off by registering a custom keyword under "allOf").
#include <gtest/gtest.h>

#include "deririrore/keywords/applicators.hpp"
#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;
namespace kw = deririrore::keywords;
using deririrore::value::Value;

const kw::BranchDiscriminator* discriminator_at(const core::Validator& v, std::string_view location) {
    for (const auto& entry : v.root().entries()) {
        if (entry.location.view() != location) continue;
        if (auto* any = dynamic_cast<const kw::DiscriminatedAnyOfValidator*>(entry.validator.get())) {
            return &any->discriminator();
        }
        if (auto* one = dynamic_cast<const kw::DiscriminatedOneOfValidator*>(entry.validator.get())) {
            return &one->discriminator();
        }
    }
    return nullptr;
}

core::ValidationOptions without_discriminator(Draft draft, std::string_view keyword = "allOf") {
    core::ValidationOptions options = options_for(draft);
    options.with_keyword(std::string(keyword), std::make_shared<CountingFactory>());
    return options;
}

// Three branches pinning "kind" by `const`, beside whatever `extra` adds to each branch.
std::string three_kinds(std::string_view keyword, std::string_view a, std::string_view b, std::string_view c) {
    return std::string(R"({")") + std::string(keyword) + R"(": [)" + std::string(a) + ", " + std::string(b) + ", " +
           std::string(c) + "]}";
}

const char* kKindA = R"({"required": ["kind"], "properties": {"kind": {"const": "a"}}})";
const char* kKindB = R"({"required": ["kind"], "properties": {"kind": {"const": "b"}, "v": {"type": "integer"}}})";
const char* kKindC = R"({"required": ["kind"], "properties": {"kind": {"const": "c"}}})";

struct AnalysisCase {
    const char* name;
    std::string schema;
    Draft draft;
    std::optional<std::string> property;
    std::vector<std::pair<std::string, std::size_t>> table;
};

void PrintTo(const AnalysisCase& c, std::ostream* os) { *os << c.name; }

class DiscriminatorAnalysis : public ::testing::TestWithParam<AnalysisCase> {};

TEST_P(DiscriminatorAnalysis, PropertyAndTable) {
    const AnalysisCase& c = GetParam();
    core::Validator v = build(c.schema, options_for(c.draft));
    const std::string location = c.schema.find("\"oneOf\"") != std::string::npos ? "/oneOf" : "/anyOf";
    const kw::BranchDiscriminator* found = discriminator_at(v, location);
    if (!c.property) {
        EXPECT_EQ(found, nullptr);
        return;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->property(), *c.property);
    EXPECT_EQ(found->size(), c.table.size());
    for (const auto& [value, branch] : c.table) EXPECT_EQ(found->branch_of(value), branch) << value;
}

const std::vector<AnalysisCase> kAnalysisCases = {
    {"three_pinned_branches", three_kinds("anyOf", kKindA, kKindB, kKindC), Draft::Draft202012, "kind",
     {{"a", 0}, {"b", 1}, {"c", 2}}},
    {"one_of_too", three_kinds("oneOf", kKindA, kKindB, kKindC), Draft::Draft7, "kind", {{"a", 0}, {"b", 1}, {"c", 2}}},
    {"two_branches_never", R"({"anyOf": [)" + std::string(kKindA) + ", " + kKindB + "]}", Draft::Draft202012,
     std::nullopt, {}},
    {"byte_wise_smallest_name_wins",
     three_kinds("anyOf", R"({"required": ["type", "kind"], "properties": {"type": {"const": "t1"}, "kind": {"const": "k1"}}})",
                 R"({"required": ["type", "kind"], "properties": {"type": {"const": "t2"}, "kind": {"const": "k2"}}})",
                 R"({"required": ["type", "kind"], "properties": {"type": {"const": "t3"}, "kind": {"const": "k3"}}})"),
     Draft::Draft202012, "kind", {{"k1", 0}, {"k2", 1}, {"k3", 2}}},
    {"shared_value_fails_the_name",
     three_kinds("anyOf", R"({"required": ["a", "b"], "properties": {"a": {"const": "x"}, "b": {"const": "1"}}})",
                 R"({"required": ["a", "b"], "properties": {"a": {"const": "x"}, "b": {"const": "2"}}})",
                 R"({"required": ["a", "b"], "properties": {"a": {"const": "y"}, "b": {"const": "3"}}})"),
     Draft::Draft202012, "b", {{"1", 0}, {"2", 1}, {"3", 2}}},
    {"two_value_enum_pins_nothing",
     three_kinds("anyOf", kKindA, R"({"required": ["kind"], "properties": {"kind": {"enum": ["b", "d"]}}})", kKindC),
     Draft::Draft202012, std::nullopt, {}},
    {"pinned_but_not_required",
     three_kinds("anyOf", R"({"properties": {"kind": {"const": "a"}}})", kKindB, kKindC), Draft::Draft202012,
     std::nullopt, {}},
    {"draft4_ignores_const", three_kinds("anyOf", kKindA, kKindB, kKindC), Draft::Draft4, std::nullopt, {}},
    {"draft4_one_element_enum",
     three_kinds("anyOf", R"({"required": ["kind"], "properties": {"kind": {"enum": ["a"]}}})",
                 R"({"required": ["kind"], "properties": {"kind": {"enum": ["b"]}}})",
                 R"({"required": ["kind"], "properties": {"kind": {"enum": ["c"]}}})"),
     Draft::Draft4, "kind", {{"a", 0}, {"b", 1}, {"c", 2}}},
    {"required_and_pin_in_separate_all_of_members",
     three_kinds("anyOf", R"({"allOf": [{"required": ["kind"]}, {"properties": {"kind": {"const": "a"}}}]})", kKindB,
                 kKindC),
     Draft::Draft202012, "kind", {{"a", 0}, {"b", 1}, {"c", 2}}},
    {"draft7_ref_hides_const_beside_it",
     R"({"definitions": {"a": {"const": "a"}}, "anyOf": [
         {"required": ["kind"], "properties": {"kind": {"$ref": "#/definitions/a", "const": "z"}}},
         {"required": ["kind"], "properties": {"kind": {"const": "b"}}},
         {"required": ["kind"], "properties": {"kind": {"const": "c"}}}]})",
     Draft::Draft7, "kind", {{"a", 0}, {"b", 1}, {"c", 2}}},
    {"draft7_ref_hides_required_beside_it",
     R"({"definitions": {"p": {"properties": {"kind": {"const": "a"}}}}, "anyOf": [
         {"$ref": "#/definitions/p", "required": ["kind"]}, )" +
         std::string(kKindB) + ", " + kKindC + "]}",
     Draft::Draft7, std::nullopt, {}},
    {"draft2020_ref_and_siblings_both_count",
     R"({"$defs": {"p": {"properties": {"kind": {"const": "a"}}}}, "anyOf": [
         {"$ref": "#/$defs/p", "required": ["kind"]}, )" +
         std::string(kKindB) + ", " + kKindC + "]}",
     Draft::Draft202012, "kind", {{"a", 0}, {"b", 1}, {"c", 2}}},
    {"branch_declaring_draft4_does_not_pin_with_const",
     three_kinds("anyOf",
                 R"({"$schema": "http://json-schema.org/draft-04/schema#", "required": ["kind"],
                     "properties": {"kind": {"const": "a"}}})",
                 kKindB, kKindC),
     Draft::Draft202012, std::nullopt, {}},
    {"property_subschema_declaring_draft4_does_not_pin_with_const",
     three_kinds("anyOf",
                 R"({"required": ["kind"], "properties": {"kind": {"$schema": "http://json-schema.org/draft-04/schema#",
                     "const": "a"}}})",
                 kKindB, kKindC),
     Draft::Draft202012, std::nullopt, {}},
    {"branch_identifier_rebases_its_references",
     R"({"$id": "https://example.com/root.json", "$defs": {"k": {"const": "x"}}, "anyOf": [
         {"$id": "https://example.com/zero.json", "$defs": {"k": {"const": "a"}},
          "required": ["kind"], "properties": {"kind": {"$ref": "#/$defs/k"}}}, )" +
         std::string(kKindB) + ", " + kKindC + "]}",
     Draft::Draft202012, "kind", {{"a", 0}, {"b", 1}, {"c", 2}}},
};

INSTANTIATE_TEST_SUITE_P(Table, DiscriminatorAnalysis, ::testing::ValuesIn(kAnalysisCases), CaseName());

TEST(Discriminator, CustomKeywordsUnderTheAnalysedNamesSwitchItOff) {
    const std::string schema = three_kinds("anyOf", kKindA, kKindB, kKindC);
    for (const char* name : {"required", "properties", "const", "enum", "allOf", "$ref"}) {
        SCOPED_TRACE(name);
        core::Validator v = build(schema, without_discriminator(Draft::Draft202012, name));
        EXPECT_EQ(discriminator_at(v, "/anyOf"), nullptr);
    }
    core::Validator other = build(schema, without_discriminator(Draft::Draft202012, "minimum"));
    EXPECT_NE(discriminator_at(other, "/anyOf"), nullptr);
}

TEST(Discriminator, Lookup) {
    core::Validator v = build(three_kinds("anyOf", kKindA, kKindB, kKindC), options_for(Draft::Draft202012));
    const kw::BranchDiscriminator* d = discriminator_at(v, "/anyOf");
    ASSERT_NE(d, nullptr);
    using Kind = kw::DiscriminatorLookup::Kind;
    struct Case {
        const char* instance;
        Kind kind;
        std::size_t index;
    };
    for (const Case& c : std::vector<Case>{{R"({"kind": "b"})", Kind::Branch, 1},
                                           {R"({"kind": "c", "x": 1})", Kind::Branch, 2},
                                           {R"({})", Kind::NoBranch, 0},
                                           {R"({"kind": 1})", Kind::NoBranch, 0},
                                           {R"({"kind": "d"})", Kind::NoBranch, 0},
                                           {R"({"Kind": "a"})", Kind::NoBranch, 0},
                                           {R"("kind")", Kind::NotAnObject, 0},
                                           {R"([{"kind": "a"}])", Kind::NotAnObject, 0}}) {
        SCOPED_TRACE(c.instance);
        const auto found = kw::discriminator_branch_for(*d, json(c.instance));
        EXPECT_EQ(found.kind, c.kind);
        if (c.kind == Kind::Branch) {
            EXPECT_EQ(found.index, c.index);
        }
    }
}

// Every observable result, so that two validators can be compared.
struct Outcome {
    bool valid;
    std::vector<std::string> messages;
    std::optional<std::string> first;
    std::vector<Event> events;
    bool trace_valid;
    bool evaluation_valid;
};

Outcome outcome_of(const core::Validator& v, const Value& instance) {
    Outcome out;
    out.valid = v.is_valid(instance);
    for (const auto& e : v.iter_errors(instance)) out.messages.push_back(e.message());
    if (auto e = v.validate(instance)) out.first = e->message();
    RecordingTracer tracer;
    auto traced = v.trace(instance, tracer);
    out.trace_valid = traced && *traced;
    out.events = std::move(tracer.events);
    out.evaluation_valid = v.evaluate(instance).valid;
    return out;
}

struct VerdictCase {
    const char* name;
    std::string schema;
    Draft draft;
};

void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.name; }

class DiscriminatorVerdicts : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(DiscriminatorVerdicts, SameWithAndWithout) {
    const VerdictCase& c = GetParam();
    core::Validator with = build(c.schema, options_for(c.draft));
    core::Validator without = build(c.schema, without_discriminator(c.draft));
    EXPECT_EQ(discriminator_at(without, "/anyOf"), nullptr);
    EXPECT_EQ(discriminator_at(without, "/oneOf"), nullptr);
    const char* instances[] = {
        R"({"kind": "a"})", R"({"kind": "b", "v": 1})", R"({"kind": "b", "v": "x"})", R"({"kind": "c"})",
        R"({"kind": "z"})", R"({"kind": 1})", R"({})", R"({"v": 1})", R"("a")", "5", "[]", "null",
    };
    for (const char* text : instances) {
        SCOPED_TRACE(text);
        const Value instance = json(text);
        const Outcome a = outcome_of(with, instance);
        const Outcome b = outcome_of(without, instance);
        EXPECT_EQ(a.valid, b.valid);
        EXPECT_EQ(a.messages, b.messages);
        EXPECT_EQ(a.first, b.first);
        EXPECT_EQ(a.events, b.events);
        EXPECT_EQ(a.trace_valid, b.trace_valid);
        EXPECT_EQ(a.evaluation_valid, b.evaluation_valid);
        EXPECT_EQ(a.valid, a.trace_valid);
    }
}

const std::vector<VerdictCase> kVerdictCases = {
    {"any_of", three_kinds("anyOf", kKindA, kKindB, kKindC), Draft::Draft202012},
    {"one_of", three_kinds("oneOf", kKindA, kKindB, kKindC), Draft::Draft202012},
    {"one_of_draft7", three_kinds("oneOf", kKindA, kKindB, kKindC), Draft::Draft7},
    {"pins_through_references",
     R"({"$defs": {"a": {"const": "a"}, "b": {"$ref": "#/$defs/bb"}, "bb": {"enum": ["b"]}}, "oneOf": [
         {"required": ["kind"], "properties": {"kind": {"$ref": "#/$defs/a"}}},
         {"required": ["kind"], "properties": {"kind": {"$ref": "#/$defs/b"}, "v": {"type": "integer"}}},
         {"required": ["kind", "v"], "properties": {"kind": {"const": "c"}}}]})",
     Draft::Draft202012},
    {"branch_declaring_draft4",
     three_kinds("anyOf",
                 R"({"$schema": "http://json-schema.org/draft-04/schema#", "required": ["kind"],
                     "properties": {"kind": {"const": "a"}}})",
                 kKindB, kKindC),
     Draft::Draft202012},
    {"branch_with_its_own_identifier",
     R"({"$id": "https://example.com/root.json", "$defs": {"k": {"const": "x"}}, "anyOf": [
         {"$id": "https://example.com/zero.json", "$defs": {"k": {"const": "a"}},
          "required": ["kind"], "properties": {"kind": {"$ref": "#/$defs/k"}}}, )" +
         std::string(kKindB) + ", " + kKindC + "]}",
     Draft::Draft202012},
};

INSTANTIATE_TEST_SUITE_P(Table, DiscriminatorVerdicts, ::testing::ValuesIn(kVerdictCases), CaseName());

TEST(Discriminator, ErrorsStillListEveryBranch) {
    core::Validator any = build(three_kinds("anyOf", kKindA, kKindB, kKindC), options_for(Draft::Draft202012));
    ASSERT_NE(discriminator_at(any, "/anyOf"), nullptr);
    const Value missing = json(R"({"v": 1})");
    auto error = any.validate(missing);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(std::get<core::kinds::AnyOf>(error->kind()).context.size(), 3u);

    // Branches that only constrain objects all hold for a number: the non-object path finds two.
    core::Validator one = build(three_kinds("oneOf", kKindA, kKindB, kKindC), options_for(Draft::Draft202012));
    ASSERT_NE(discriminator_at(one, "/oneOf"), nullptr);
    const Value number = json("5");
    auto multiple = one.validate(number);
    ASSERT_TRUE(multiple.has_value());
    EXPECT_TRUE(std::holds_alternative<core::kinds::OneOfMultipleValid>(multiple->kind()));
    EXPECT_EQ(std::get<core::kinds::OneOfMultipleValid>(multiple->kind()).context.size(), 3u);
}

}  // namespace
