// The fused array validator (`type: "array"` + `items` + size limits): its own event order at the
// place of `items`, and, against the same keywords compiled separately, the same verdicts, the
// same multiset of trace events, the same errors (in another order) and the same evaluation units.
#include <gtest/gtest.h>

#include <algorithm>

#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;

class FusedTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(FusedTrace, EventsAndVerdict) { expect_trace(GetParam()); }

const char* kGeneral = R"({"type": "array", "items": {"minimum": 0}, "minItems": 1, "maxItems": 3})";
const char* kNumbers = R"({"type": "array", "items": {"type": "number"}, "minItems": 1})";

const std::vector<TraceCase> kTraceCases = {
    {"object_instance_general_items", kGeneral, Draft::Draft202012, "{}", false,
     {{"", "/type", 1}, {"", "/minItems", 2}, {"", "/maxItems", 2}, {"", "/items", 2}}},
    {"object_instance_typed_items", kNumbers, Draft::Draft202012, "{}", false,
     {{"", "/type", 1}, {"", "/minItems", 2}, {"", "/items", 2}, {"", "/items/type", 2}}},
    {"empty_array_below_min", kGeneral, Draft::Draft202012, "[]", false,
     {{"", "/type", 0}, {"", "/minItems", 1}, {"", "/maxItems", 0}, {"", "/items", 0}}},
    {"items_after_bounds", kGeneral, Draft::Draft202012, "[1, -1]", false,
     {{"", "/type", 0},
      {"", "/minItems", 0},
      {"", "/maxItems", 0},
      {"/0", "/items/minimum", 0},
      {"/1", "/items/minimum", 1},
      {"", "/items", 1}}},
    {"too_long_typed", R"({"type": "array", "items": {"type": "string"}, "maxItems": 1})", Draft::Draft7,
     "[\"a\", \"b\"]", false,
     {{"", "/type", 0}, {"", "/maxItems", 1}, {"/0", "/items/type", 0}, {"/1", "/items/type", 0}, {"", "/items", 0}}},
    {"no_bounds", R"({"type": "array", "items": {"type": "boolean"}})", Draft::Draft202012, "[true]", true,
     {{"", "/type", 0}, {"/0", "/items/type", 0}, {"", "/items", 0}}},
    {"draft4_integer_literal_form", R"({"type": "array", "items": {"type": "integer"}})", Draft::Draft4, "[1, 1.0]",
     false, {{"", "/type", 0}, {"/0", "/items/type", 0}, {"/1", "/items/type", 1}, {"", "/items", 1}}},
    {"draft7_integer_by_value", R"({"type": "array", "items": {"type": "integer"}})", Draft::Draft7, "[1, 1.0]",
     true, {{"", "/type", 0}, {"/0", "/items/type", 0}, {"/1", "/items/type", 0}, {"", "/items", 0}}},
    // The fused validator stands where `items` stands: after `minLength` (priority 20).
    {"runs_at_the_place_of_items", R"({"type": "array", "items": {"minimum": 0}, "maxItems": 2, "minLength": 1})",
     Draft::Draft202012, "[1]", true,
     {{"", "/minLength", 2},
      {"", "/type", 0},
      {"", "/maxItems", 0},
      {"/0", "/items/minimum", 0},
      {"", "/items", 0}}},
};

INSTANTIATE_TEST_SUITE_P(Table, FusedTrace, ::testing::ValuesIn(kTraceCases), CaseName());

std::vector<Event> sorted(std::vector<Event> events) {
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return std::tie(a.instance, a.keyword, a.outcome) < std::tie(b.instance, b.keyword, b.outcome);
    });
    return events;
}

std::vector<std::string> error_set(const std::vector<ValidationError>& errors) {
    std::vector<std::string> out = described(errors);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> root_units(const deririrore::core::Evaluation& e) {
    std::vector<std::string> out;
    for (const auto* unit : sibling_units(e, e.root_node().first_child)) {
        std::string line = unit->evaluation_path.str() + " valid=" + std::to_string(unit->valid);
        for (const auto& d : unit->errors) line += " " + d.keyword + ":" + d.message;
        line += " children=" + std::to_string(sibling_units(e, unit->first_child).size());
        out.push_back(line);
    }
    return out;
}

// `uniqueItems: false` adds no check but keeps the keywords apart.
const std::vector<std::pair<const char*, const char*>> kSchemaPairs = {
    {R"({"type": "array", "items": {"minimum": 0}, "minItems": 1, "maxItems": 3, "minLength": 2})",
     R"({"type": "array", "items": {"minimum": 0}, "minItems": 1, "maxItems": 3, "minLength": 2, "uniqueItems": false})"},
    {R"({"type": "array", "items": {"type": "integer"}, "maxItems": 2})",
     R"({"type": "array", "items": {"type": "integer"}, "maxItems": 2, "uniqueItems": false})"},
    {R"({"type": "array", "items": false, "minItems": 1})",
     R"({"type": "array", "items": false, "minItems": 1, "uniqueItems": false})"},
};

const std::vector<const char*> kInstances = {"[]",   "[1]", "[1, 2, 3, 4]", "[-1, 2.5, \"a\"]", "[0, 1.0]",
                                             "{}",   "\"\"", "\"abc\"",       "3",               "null"};

TEST(FusedArray, AgreesWithTheSeparateKeywords) {
    for (const auto& [fused_text, separate_text] : kSchemaPairs) {
        for (Draft draft : {Draft::Draft4, Draft::Draft7, Draft::Draft202012}) {
            Validator fused = build(fused_text, draft);
            Validator separate = build(separate_text, draft);
            for (const char* text : kInstances) {
                SCOPED_TRACE(std::string(fused_text) + " " + text + " draft " + std::to_string(int(draft)));
                const Value instance = json(text);
                EXPECT_EQ(fused.is_valid(instance), separate.is_valid(instance));
                Traced f = trace(fused, instance);
                Traced s = trace(separate, instance);
                EXPECT_EQ(f.valid, s.valid);
                EXPECT_EQ(sorted(f.events), sorted(s.events));
                EXPECT_EQ(error_set(fused.iter_errors(instance)), error_set(separate.iter_errors(instance)));
                EXPECT_EQ(root_units(fused.evaluate(instance)), root_units(separate.evaluate(instance)));
                expect_consistent(fused, instance);
            }
        }
    }
}

TEST(FusedArray, ErrorsNameTheAbsorbedKeywords) {
    Validator v = build(kGeneral);
    const Value object = json(R"({"a": 1})");
    auto errors = v.iter_errors(object);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message(), "{\"a\":1} is not of type \"array\"");
    EXPECT_EQ(errors[0].schema_path().str(), "/type");
    const Value empty = json("[]");
    auto e = v.validate(empty);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->message(), "[] has less than 1 item");
    EXPECT_EQ(e->schema_path().str(), "/minItems");
    const Value long_array = json("[1, 2, 3, 4]");
    auto m = v.validate(long_array);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->schema_path().str(), "/maxItems");
}

TEST(FusedArray, FalseItemSchemaRejectsEveryItem) {
    Validator v = build(R"({"type": "array", "items": false})");
    const Value instance = json("[1, 2]");
    auto first = v.validate(instance);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->message(), "False schema does not allow 1");
    EXPECT_EQ(first->schema_path().str(), "/items");
    EXPECT_EQ(first->instance_path().str(), "/0");
    EXPECT_EQ(v.iter_errors(instance).size(), 2u);
    EXPECT_EQ(trace(v, instance).events, (std::vector<Event>{{"", "/type", 0}, {"", "/items", 1}}));
}

TEST(FusedArray, ContradictoryBoundsGiveBothErrors) {
    Validator v = build(R"({"type": "array", "items": {}, "minItems": 3, "maxItems": 1})");
    const Value instance = json("[1, 2]");
    auto errors = v.iter_errors(instance);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].schema_path().str(), "/minItems");
    EXPECT_EQ(errors[1].schema_path().str(), "/maxItems");
}

TEST(FusedArray, AbsorbedKeywordErrorsCarryTheirOwnAbsoluteLocations) {
    Validator v = build(R"({"$id": "https://example.com/s", "type": "array", "items": {}, "minItems": 2})");
    const Value object = json("{}");
    auto type_error = v.validate(object);
    ASSERT_TRUE(type_error.has_value());
    ASSERT_NE(type_error->absolute_keyword_location(), nullptr);
    EXPECT_EQ(*type_error->absolute_keyword_location(), "https://example.com/s#/type");
    const Value short_array = json("[1]");
    auto min_error = v.validate(short_array);
    ASSERT_TRUE(min_error.has_value());
    ASSERT_NE(min_error->absolute_keyword_location(), nullptr);
    EXPECT_EQ(*min_error->absolute_keyword_location(), "https://example.com/s#/minItems");
}

}  // namespace

namespace {

using namespace kwtest;

// A size limit that is not a whole number is a compile error whether or not `type: "array"` and
// `items` stand beside it: the fused form reads the limit as exactly as the size keyword does.
TEST(FusedArrayLimits, NonWholeLimitRefusedAsByTheSizeKeyword) {
    for (const char* limit : {"2.0000000000000000001", "1.5", "-1"}) {
        SCOPED_TRACE(limit);
        const std::string alone = std::string(R"({"minItems": )") + limit + "}";
        const std::string fused = std::string(R"({"type": "array", "items": {}, "minItems": )") + limit + "}";
        auto expected = compile_message(alone, Draft::Draft7);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(compile_message(fused, Draft::Draft7), expected);
    }
}

}  // namespace
