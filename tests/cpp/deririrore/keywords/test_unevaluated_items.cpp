// unevaluatedItems: which items count as evaluated under each draft (items, prefixItems,
// additionalItems, contains, applicators, references), the error texts, the trace, evaluation
// children, and compile cost on schemas whose definitions refer to each other many times over.
#include <gtest/gtest.h>

#include "deririrore/keywords/unevaluated_items.hpp"
#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;
namespace kw = deririrore::keywords;
using deririrore::value::Value;

const kw::UnevaluatedItemsValidator& keyword_of(const core::Validator& v) {
    if (auto* found = root_keyword<kw::UnevaluatedItemsValidator>(v)) return *found;
    throw std::runtime_error("no unevaluatedItems validator at the root");
}

struct VerdictCase {
    const char* name;
    Draft draft;
    const char* schema;
    const char* instance;
    // The keyword's message, or empty when the whole schema accepts the instance.
    const char* message;
};

void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.name; }

class UnevaluatedItemsVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(UnevaluatedItemsVerdict, MessageOrValid) {
    const VerdictCase& c = GetParam();
    Compiled v(c.schema, c.draft);
    ASSERT_TRUE(v.ok());
    expect_keyword_message(v, "unevaluatedItems", c.instance, c.message);
}

const std::vector<VerdictCase> kVerdictCases = {
    {"prefix_items_evaluate_their_length", Draft::Draft202012,
     R"({"prefixItems": [{}, {}], "unevaluatedItems": false})", "[1, 2, 3]",
     "Unevaluated items are not allowed ('3' was unexpected)"},
    {"items_as_json_text", Draft::Draft202012, R"({"unevaluatedItems": false})", R"(["a\"b", {"k": [1, 2.50]}])",
     R"(Unevaluated items are not allowed ('"a\"b"', '{"k":[1,2.50]}' were unexpected))"},
    {"only_failing_items_listed", Draft::Draft202012, R"({"unevaluatedItems": {"type": "string"}})", R"(["a", 1])",
     "Unevaluated items are not allowed ('1' was unexpected)"},
    {"items_2020_evaluates_everything", Draft::Draft202012,
     R"({"prefixItems": [{}], "items": {"type": "integer"}, "unevaluatedItems": false})", "[1, 2, 3]", ""},
    {"items_array_2019_evaluates_its_length", Draft::Draft201909,
     R"({"items": [{}, {}], "unevaluatedItems": false})", "[1, 2, 3]",
     "Unevaluated items are not allowed ('3' was unexpected)"},
    {"additional_items_2019_evaluates_the_rest", Draft::Draft201909,
     R"({"items": [{}, {}], "additionalItems": {"type": "integer"}, "unevaluatedItems": false})", "[1, 2, 3]", ""},
    {"items_schema_2019_evaluates_everything", Draft::Draft201909, R"({"items": {}, "unevaluatedItems": false})",
     "[1, 2, 3]", ""},
    {"prefix_items_unknown_to_2019", Draft::Draft201909, R"({"prefixItems": [{}], "unevaluatedItems": false})",
     "[1]", "Unevaluated items are not allowed ('1' was unexpected)"},
    {"contains_evaluates_matching_items", Draft::Draft202012,
     R"({"contains": {"type": "string"}, "unevaluatedItems": false})", R"(["a", 1, "b"])",
     "Unevaluated items are not allowed ('1' was unexpected)"},
    {"any_of_only_valid_branches_count", Draft::Draft202012,
     R"({"anyOf": [{"prefixItems": [{"type": "string"}]}, {"prefixItems": [true, true]}], "unevaluatedItems": false})",
     "[1, 2, 3]", "Unevaluated items are not allowed ('3' was unexpected)"},
    {"one_of_with_two_valid_branches_counts_none", Draft::Draft202012,
     R"({"oneOf": [{"prefixItems": [true]}, {"prefixItems": [true, true]}], "unevaluatedItems": false})", "[1, 2]",
     "Unevaluated items are not allowed ('1', '2' were unexpected)"},
    {"conditional_branches", Draft::Draft202012,
     R"({"if": {"prefixItems": [{"const": 1}]}, "then": {"prefixItems": [true, true]},
         "else": {"prefixItems": [true]}, "unevaluatedItems": false})",
     "[2, 2]", "Unevaluated items are not allowed ('2' was unexpected)"},
    {"nested_unevaluated_counts_as_evaluating", Draft::Draft202012,
     R"({"allOf": [{"unevaluatedItems": {"type": "integer"}}], "unevaluatedItems": false})", "[1, 2]", ""},
    {"reference_to_enclosing_schema_terminates", Draft::Draft202012,
     R"({"prefixItems": [true], "items": false, "anyOf": [{"$ref": "#"}, true], "unevaluatedItems": false})", "[1]",
     ""},
    {"non_array_is_outside_the_domain", Draft::Draft202012, R"({"unevaluatedItems": false})", R"({"a": 1})", ""},
};

INSTANTIATE_TEST_SUITE_P(Table, UnevaluatedItemsVerdict, ::testing::ValuesIn(kVerdictCases), CaseName());

TEST(UnevaluatedItems, Trace) {
    struct Case {
        const char* schema;
        const char* instance;
        bool valid;
        std::vector<Event> events;
    };
    const std::vector<Case> cases = {
        {R"({"unevaluatedItems": false})", "{}", true, {{"", "/unevaluatedItems", 2}}},
        {R"({"unevaluatedItems": false})", "[]", true, {{"", "/unevaluatedItems", 0}}},
        {R"({"unevaluatedItems": false})", "[1]", false, {{"", "/unevaluatedItems", 1}}},
        {R"({"unevaluatedItems": {"type": "string"}})", R"(["a", 1])", false,
         {{"/0", "/unevaluatedItems/type", 0}, {"/1", "/unevaluatedItems/type", 1}, {"", "/unevaluatedItems", 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.schema) + " " + c.instance);
        Compiled v(c.schema, Draft::Draft202012);
        auto [events, valid] = v.trace(c.instance);
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(valid, c.valid);
    }
}

TEST(UnevaluatedItems, EvaluationChildrenAreLinked) {
    core::Validator v = build(R"({"prefixItems": [true], "unevaluatedItems": {"type": "string"}})");
    const Value instance = json(R"([0, "a", 1, 2])");
    const auto& keyword = keyword_of(v);
    core::EvaluationContext ctx;
    core::EvaluationResult result = keyword.evaluate(instance, core::LazyLocation(), nullptr, ctx);
    EXPECT_FALSE(result.valid);
    ASSERT_EQ(result.child_count, 3u);
    std::vector<std::string> locations;
    std::uint32_t last = core::kNoNode;
    for (std::uint32_t id = result.first_child; id != core::kNoNode; id = ctx.output().at(id).next_sibling) {
        locations.push_back(ctx.output().at(id).instance_location.str());
        last = id;
    }
    EXPECT_EQ(locations, (std::vector<std::string>{"/1", "/2", "/3"}));
    EXPECT_EQ(result.last_child, last);
    EXPECT_EQ(result.errors, (std::vector<core::ErrorDescription>{
                                 {"unevaluatedItems", "Unevaluated items are not allowed ('1', '2' were unexpected)"}}));
}

std::string doubled_references(int depth) {
    std::string defs;
    for (int i = 0; i < depth; ++i) {
        const std::string next = "{\"$ref\": \"#/$defs/d" + std::to_string(i + 1) + "\"}";
        defs += "\"d" + std::to_string(i) + "\": {\"anyOf\": [" + next + ", " + next + "]}, ";
    }
    defs += "\"d" + std::to_string(depth) + "\": {\"prefixItems\": [true, true]}";
    return "{\"$defs\": {" + defs + "}, \"allOf\": [{\"$ref\": \"#/$defs/d0\"}], \"unevaluatedItems\": false}";
}

TEST(UnevaluatedItems, DoubledReferencesCompileInLinearTime) {
    auto collections = [](int depth) {
        core::Validator v = build(doubled_references(depth));
        return keyword_of(v).arena()->item_collections();
    };
    const std::size_t c4 = collections(4);
    const std::size_t c6 = collections(6);
    const std::size_t c8 = collections(8);
    ASSERT_EQ(c8 - c6, c6 - c4);
    core::Validator deep = build(doubled_references(30));
    EXPECT_EQ(keyword_of(deep).arena()->item_collections(), c4 + 13 * (c6 - c4));
    EXPECT_TRUE(deep.is_valid(json("[1, 2]")));
    EXPECT_FALSE(deep.is_valid(json("[1, 2, 3]")));
}

}  // namespace
