// Evaluation output: node results, sibling links, item units, the false schema and units reached
// through references.
#include <gtest/gtest.h>

#include "support.hpp"

namespace deririrore::core {
namespace {

using testing::build;
using testing::json;

std::vector<const EvaluationNode*> children(const EvaluationOutput& out, std::uint32_t first) {
    std::vector<const EvaluationNode*> list;
    for (std::uint32_t id = first; id != kNoNode; id = out.at(id).next_sibling) list.push_back(&out.at(id));
    return list;
}

TEST(NodeEvaluation, TrueSchemaPushesNothing) {
    Validator v = build(json("true"));
    EvaluationContext ctx;
    const Value instance = json("[1]");
    EvaluationResult r = v.root().evaluate(instance, LazyLocation(), nullptr, ctx);
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.first_child, kNoNode);
    EXPECT_EQ(r.child_count, 0u);
    EXPECT_EQ(ctx.output().size(), 0u);
}

TEST(NodeEvaluation, KeywordsBecomeLinkedSiblingsAndTheFailureCarriesItsDescription) {
    Validator v = build(json(R"({"minimum": 10, "type": "number", "title": "t"})"));
    EvaluationContext ctx;
    const Value instance = json("5");
    EvaluationResult r = v.root().evaluate(instance, LazyLocation(), nullptr, ctx);
    EXPECT_FALSE(r.valid);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.child_count, 2u);
    EXPECT_FALSE(r.children_valid);
    ASSERT_TRUE(r.annotations);
    EXPECT_EQ(value::to_json(*r.annotations), R"({"title":"t"})");
    auto units = children(ctx.output(), r.first_child);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0]->evaluation_path.view(), "/type");
    EXPECT_TRUE(units[0]->valid);
    EXPECT_EQ(units[1]->evaluation_path.view(), "/minimum");
    EXPECT_FALSE(units[1]->valid);
    ASSERT_EQ(units[1]->errors.size(), 1u);
    EXPECT_EQ(units[1]->errors[0].keyword, "minimum");
    EXPECT_EQ(r.last_child, units.size() - 1 + r.first_child);
}

TEST(ItemEvaluation, OneUnitPerItemAndABooleanAnnotation) {
    Validator items = build(json(R"({"type": "integer"})"));
    const SchemaNode& node = items.root();
    {
        EvaluationContext ctx;
        const Value empty = json("[]");
        EvaluationResult r = evaluate_array_items(node, empty, LazyLocation(), nullptr, ctx);
        EXPECT_TRUE(r.valid);
        EXPECT_EQ(r.child_count, 0u);
        ASSERT_TRUE(r.annotations);
        EXPECT_EQ(value::to_json(*r.annotations), "false");
    }
    {
        EvaluationContext ctx;
        const Value two = json(R"([1, "x"])");
        EvaluationResult r = evaluate_array_items(node, two, LazyLocation(), nullptr, ctx);
        EXPECT_FALSE(r.valid);
        EXPECT_EQ(r.child_count, 2u);
        ASSERT_TRUE(r.annotations);
        EXPECT_EQ(value::to_json(*r.annotations), "true");
        auto units = children(ctx.output(), r.first_child);
        ASSERT_EQ(units.size(), 2u);
        EXPECT_TRUE(units[0]->valid);
        EXPECT_EQ(units[0]->instance_location.view(), "/0");
        EXPECT_FALSE(units[1]->valid);
        EXPECT_EQ(units[1]->instance_location.view(), "/1");
    }
    {
        EvaluationContext ctx;
        const Value scalar = json("3");
        EvaluationResult r = evaluate_array_items(node, scalar, LazyLocation(), nullptr, ctx);
        EXPECT_TRUE(r.valid);
        EXPECT_FALSE(r.annotations);
    }
}

// The false schema's evaluation depends on the instance alone and adds nothing to the arena.
TEST(FalseSchemaEvaluation, OneDescriptionWhateverTheInstanceOrChain) {
    FalseSchemaValidator validator{Location("/not")};
    const Location ref("/properties/a/$ref");
    const Location target("/$defs/a");
    RefChain hop(ref, target, nullptr);
    for (const char* text : {"null", "true", "1.50", R"("s")", "[]", "{}"}) {
        SCOPED_TRACE(text);
        const Value instance = json(text);
        const std::string expected = "False schema does not allow " + value::to_json(instance);
        for (const RefChain* chain : std::initializer_list<const RefChain*>{nullptr, &hop}) {
            EvaluationContext ctx;
            const LazyLocation root;
            const LazyLocation at = root.push(std::string_view("deep"));
            EvaluationResult a = validator.evaluate(instance, at, chain, ctx);
            EvaluationResult b = validator.evaluate_at(instance, at, Location("/unrelated"), chain, ctx);
            for (const EvaluationResult* r : {&a, &b}) {
                EXPECT_FALSE(r->valid);
                ASSERT_EQ(r->errors.size(), 1u);
                EXPECT_EQ(r->errors[0], (ErrorDescription{"falseSchema", expected}));
                EXPECT_FALSE(r->annotations);
                EXPECT_EQ(r->first_child, kNoNode);
                EXPECT_EQ(r->child_count, 0u);
            }
            EXPECT_EQ(ctx.output().size(), 0u);
        }
    }
}

TEST(ReferenceEvaluation, UnitsCarryTheChainedPathAndTheTargetsAbsoluteLocation) {
    Validator v = build(json(R"({"$id": "https://example.com/s", "$defs": {"a": {"type": "string"}},
                                 "properties": {"x": {"$ref": "#/$defs/a"}}})"));
    const Value instance = json(R"({"x": 1})");
    Evaluation e = v.evaluate(instance);
    EXPECT_FALSE(e.valid);
    const EvaluationNode* type_unit = nullptr;
    const EvaluationNode* ref_unit = nullptr;
    for (std::uint32_t id = 0; id < e.output.size(); ++id) {
        const EvaluationNode& n = e.output.at(id);
        if (n.evaluation_path.view() == "/properties/x/$ref/type") type_unit = &n;
        if (n.evaluation_path.view() == "/properties/x/$ref") ref_unit = &n;
    }
    ASSERT_NE(type_unit, nullptr);
    EXPECT_EQ(type_unit->resolved_location.view(), "https://example.com/s#/$defs/a/type");
    EXPECT_EQ(type_unit->instance_location.view(), "/x");
    EXPECT_FALSE(type_unit->valid);
    ASSERT_NE(ref_unit, nullptr);
    EXPECT_EQ(ref_unit->resolved_location.view(), "https://example.com/s#/$defs/a");
    ASSERT_TRUE(ref_unit->absolute_location);
    EXPECT_EQ(*ref_unit->absolute_location, "https://example.com/s#/$defs/a");
}

}  // namespace
}  // namespace deririrore::core
