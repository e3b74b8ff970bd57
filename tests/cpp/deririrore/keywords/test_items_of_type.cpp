// Items of one type: the fast path must give the general path's verdicts, errors, evaluation
// units and array traces on a shared table of arrays; only a non-array traces differently.
#include <gtest/gtest.h>

#include "keyword_test_support.hpp"
#include "deririrore/core/options.hpp"

namespace {

using namespace kwtest;

struct Kind {
    const char* name;
    const char* type;
    Draft draft;
};

const std::vector<Kind> kKinds = {
    {"number", "number", Draft::Draft202012},   {"string", "string", Draft::Draft202012},
    {"boolean", "boolean", Draft::Draft7},      {"integer", "integer", Draft::Draft7},
    {"integer_draft4", "integer", Draft::Draft4},
};

const std::vector<const char*> kArrays = {
    "[]",
    "[1]",
    "[1, 2.0]",
    "[1, 2.5]",
    "[2e3, -0, 1.0e0]",
    "[123456789012345678901234567890]",
    "[\"a\", \"\"]",
    "[true, false]",
    "[null]",
    "[\"1\", 1]",
    "[{}, [1], 3]",
    "[1, \"a\", true, null, 2.5, 7]",
};

std::string fast_schema(const Kind& k) { return std::string(R"({"items": {"type": ")") + k.type + "\"}}"; }
// A second member that builds no validator keeps the item node, and so the general path.
std::string general_schema(const Kind& k) {
    return std::string(R"({"items": {"type": ")") + k.type + R"(", "title": "general"}})";
}

// The item units of the `items` keyword unit: instance location, validity and the nested unit.
std::vector<std::string> describe_units(const deririrore::core::Evaluation& e) {
    std::vector<std::string> out;
    const auto* items = keyword_unit(e, "/items");
    if (items == nullptr) return {"<no items unit>"};
    out.push_back("items valid=" + std::to_string(items->valid) + " annotation=" +
                  annotation_json(items->valid ? items->annotations : items->dropped_annotations));
    for (const auto* item : sibling_units(e, items->first_child)) {
        std::string line = item->evaluation_path.str() + " " + item->instance_location.str() +
                           " valid=" + std::to_string(item->valid);
        for (const auto* nested : sibling_units(e, item->first_child)) {
            line += " [" + nested->evaluation_path.str() + " valid=" + std::to_string(nested->valid);
            for (const auto& d : nested->errors) line += " " + d.keyword + ":" + d.message;
            line += "]";
        }
        out.push_back(line);
    }
    return out;
}

TEST(ItemsOfType, FastAndGeneralPathsAgreeOnEveryArray) {
    for (const Kind& k : kKinds) {
        Validator fast = build(fast_schema(k), k.draft);
        Validator general = build(general_schema(k), k.draft);
        for (const char* text : kArrays) {
            SCOPED_TRACE(std::string(k.name) + " " + text);
            const Value instance = json(text);
            EXPECT_EQ(fast.is_valid(instance), general.is_valid(instance));
            Traced f = trace(fast, instance);
            Traced g = trace(general, instance);
            EXPECT_EQ(f.valid, g.valid);
            EXPECT_EQ(f.events, g.events);
            auto fv = fast.validate(instance);
            auto gv = general.validate(instance);
            ASSERT_EQ(fv.has_value(), gv.has_value());
            if (fv) {
                EXPECT_EQ(described({*fv}), described({*gv}));
            }
            EXPECT_EQ(described(fast.iter_errors(instance)), described(general.iter_errors(instance)));
            EXPECT_EQ(describe_units(fast.evaluate(instance)), describe_units(general.evaluate(instance)));
            expect_consistent(fast, instance);
        }
    }
}

struct VerdictCase {
    const char* name;
    const char* type;
    Draft draft;
    const char* instance;
    bool valid;
};

class ItemsOfTypeVerdicts : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(ItemsOfTypeVerdicts, Verdict) {
    const VerdictCase& c = GetParam();
    Validator v = build(std::string(R"({"items": {"type": ")") + c.type + "\"}}", c.draft);
    EXPECT_EQ(v.is_valid(json(c.instance)), c.valid);
}

const std::vector<VerdictCase> kVerdicts = {
    {"draft7_integer_accepts_whole_fraction", "integer", Draft::Draft7, "[1, 2.0]", true},
    {"draft4_integer_refuses_fraction_form", "integer", Draft::Draft4, "[1, 2.0]", false},
    {"draft4_integer_refuses_exponent_form", "integer", Draft::Draft4, "[2e3]", false},
    {"draft4_integer_accepts_long_digits", "integer", Draft::Draft4, "[123456789012345678901234567890]", true},
    {"integer_refuses_half", "integer", Draft::Draft202012, "[2.5]", false},
    {"number_refuses_numeric_string", "number", Draft::Draft202012, "[\"1\"]", false},
    {"boolean_refuses_null", "boolean", Draft::Draft202012, "[null]", false},
};

INSTANTIATE_TEST_SUITE_P(Table, ItemsOfTypeVerdicts, ::testing::ValuesIn(kVerdicts), CaseName());

TEST(ItemsOfType, Draft4IntegerErrorIsTheNestedTypeError) {
    Validator v = build(R"({"items": {"type": "integer"}})", Draft::Draft4);
    const Value instance = json("[1, 2.0]");
    auto e = v.validate(instance);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->message(), "2.0 is not of type \"integer\"");
    EXPECT_EQ(e->instance_path().str(), "/1");
    EXPECT_EQ(e->schema_path().str(), "/items/type");
}

TEST(ItemsOfType, MixedArrayTrace) {
    Validator v = build(R"({"items": {"type": "number"}})");
    Traced t = trace(v, json("[1, \"a\"]"));
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.events, (std::vector<Event>{{"/0", "/items/type", 0}, {"/1", "/items/type", 1}, {"", "/items", 1}}));
}

TEST(ItemsOfType, NonArrayTracesItemsAndNestedTypeAsNotApplicable) {
    Validator fast = build(R"({"items": {"type": "string"}})");
    Validator general = build(R"({"items": {"type": "string", "title": "t"}})");
    EXPECT_EQ(trace(fast, json("\"abc\"")).events, (std::vector<Event>{{"", "/items", 2}, {"", "/items/type", 2}}));
    EXPECT_EQ(trace(general, json("\"abc\"")).events, (std::vector<Event>{{"", "/items", 2}}));
    EXPECT_TRUE(trace(fast, json("{}")).valid);
}

TEST(ItemsOfType, EmptyArrayIsOneEventAndAnnotationFalse) {
    Validator v = build(R"({"items": {"type": "boolean"}})");
    EXPECT_EQ(trace(v, json("[]")).events, (std::vector<Event>{{"", "/items", 0}}));
    auto e = v.evaluate(json("[]"));
    const auto* unit = keyword_unit(e, "/items");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(annotation_json(unit->annotations), "false");
}

TEST(ItemsOfType, OtherShapesTakeTheGeneralPath) {
    // The general path traces a non-array with one event only.
    for (const char* schema : {R"({"items": {"type": "null"}})", R"({"items": {"type": "object"}})",
                               R"({"items": {"type": ["number"]}})", R"({"items": {"type": "number", "minimum": 1}})"}) {
        SCOPED_TRACE(schema);
        EXPECT_EQ(trace(build(schema), json("5")).events.size(), 1u);
    }
}

TEST(ItemsOfType, CustomTypeKeywordKeepsTheGeneralPath) {
    auto options = options_for(Draft::Draft202012).with_keyword("type", std::make_shared<CountingFactory>());
    Validator v = build(R"({"items": {"type": "number"}})", options);
    Traced t = trace(v, json("[\"a\"]"));
    EXPECT_TRUE(t.valid);
    EXPECT_EQ(t.events, (std::vector<Event>{{"/0", "/items/type", 0}, {"", "/items", 0}}));
}

}  // namespace
