#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/negate.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

CanonicalContext negation_context() {
    return new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
}
Schema literal(std::string_view t) {
    return make_schema(kind::Const{std::make_shared<const value::Value>(*value::parse_json(t))});
}
Schema type_set(uint8_t bits) { return schema_from_type_mask(JsonTypeSet::from_bits(bits)); }
std::string shown(const std::optional<Schema>& s) { return s ? debug_string(*s) : "refused"; }

// Each sample value must land on exactly one side of a node and its complement.
void expect_partition(const Schema& node, const std::vector<const char*>& samples) {
    auto context = negation_context();
    auto complement = complement_node(node, context);
    ASSERT_TRUE(complement) << debug_string(node);
    for (const char* text : samples) {
        const auto v = *value::parse_json(text);
        const auto inside = node_admits_value(node, v, false, context);
        const auto outside = node_admits_value(*complement, v, false, context);
        ASSERT_NE(inside, Admission::Undecided) << text;
        ASSERT_NE(outside, Admission::Undecided) << text << " in " << shown(complement);
        EXPECT_NE(inside == Admission::Accepted, outside == Admission::Accepted)
            << text << " against " << debug_string(node) << " and " << shown(complement);
    }
}

const std::vector<const char*> kSamples = {"null", "true", "false",  "0",    "4.5",      "5",
                                           "5.0",  "6",    "-1e400", "\"\"", "\"ab\"",   "\"abcd\"",
                                           "[]",   "[1]",  "[1,1]",  "{}",   "{\"a\":1}"};

TEST(CanonicalNegation, ValueSetsAndLeavesPartitionTheValues) {
    IntegerLeaf from_three;
    from_three.bounds.minimum = BigInt(3);
    StringLeaf short_strings;
    short_strings.lengths.maximum = BigInt(2);
    short_strings.lengths.minimum = BigInt(1);
    NumberLeaf below_five;
    below_five.maximum = BoundNumber{"5", false};
    ArrayLeaf distinct;
    distinct.distinctness = Distinctness::AllDistinct;
    ObjectLeaf needs_a;
    needs_a.required.push_back(share("a"));
    for (const Schema& node : {literal("5"), literal("\"ab\""), literal("[]"), literal("{}"), literal("true"),
                               make_schema(kind::Enum{{literal("false")->as<kind::Const>()->value,
                                                       literal("true")->as<kind::Const>()->value}}),
                               type_set(4), type_set(8 | 16), make_schema(kind::Integer{from_three}),
                               make_schema(kind::String{short_strings}), make_schema(kind::Number{below_five}),
                               make_schema(kind::Array{distinct}), make_schema(kind::Object{needs_a})})
        expect_partition(node, kSamples);
}

TEST(CanonicalNegation, KnownComplements) {
    auto context = negation_context();
    EXPECT_TRUE(is_false(*complement_node(true_schema(), context)));
    EXPECT_TRUE(is_true(*complement_node(false_schema(), context)));
    const Schema x = type_set(16);
    EXPECT_TRUE(complement_node(make_schema(kind::Not{x}), context)->same(x));
    EXPECT_TRUE(is_false(*complement_node(true_schema(), context)));
    EXPECT_TRUE(schema_eq(*complement_node(type_set(1 | 2 | 8 | 16 | 32), context), type_set(64)));

    // Both booleans out: every other type, nothing else.
    const Schema booleans = make_schema(
        kind::Enum{{literal("false")->as<kind::Const>()->value, literal("true")->as<kind::Const>()->value}});
    EXPECT_TRUE(schema_eq(*complement_node(booleans, context), type_set(1 | 8 | 16 | 32 | 64)));

    // Five out: the non-numbers and the numbers on either side, bounds exclusive.
    const auto five = complement_node(literal("5"), context);
    ASSERT_TRUE(five);
    ASSERT_EQ((*five)->index(), KindIndex::AnyOf) << shown(five);
    const auto& parts = (*five)->as<kind::AnyOf>()->branches;
    EXPECT_TRUE(schema_eq(parts.front(), type_set(1 | 2 | 16 | 32 | 64))) << shown(five);
    std::size_t number_parts = 0;
    for (const auto& p : parts)
        if (const auto* n = p->as<kind::Number>()) {
            ++number_parts;
            const auto& bound = n->leaf.minimum ? n->leaf.minimum : n->leaf.maximum;
            ASSERT_TRUE(bound);
            EXPECT_EQ(bound->limit, "5");
            EXPECT_FALSE(bound->inclusive);
        }
    EXPECT_EQ(number_parts, 2u) << shown(five);

    EXPECT_FALSE(complement_node(literal("[1]"), context)) << "a non-empty array value";
    EXPECT_FALSE(complement_node(literal("{\"a\":1}"), context));
    EXPECT_TRUE(complement_length_window(Bounds{BigInt(0), std::nullopt}).empty());
    const auto below_three = complement_length_window(Bounds{BigInt(3), std::nullopt});
    ASSERT_EQ(below_three.size(), 1u);
    EXPECT_FALSE(below_three[0].minimum);
    EXPECT_EQ(*below_three[0].maximum, 2);
}

TEST(CanonicalNegation, ReferencesAndCaps) {
    // A target that reaches itself through Not: the strict attempt refuses,
    // the lenient one wraps the reference.
    auto table = std::make_shared<TargetTable>();
    const Schema self = make_schema(kind::Reference{share("urn:t")});
    table->emplace("urn:t", make_schema(kind::AnyOf{{make_schema(kind::Not{self}), type_set(16)}}));
    auto context = negation_context();
    context.targets = table;
    const auto wrapped = complement_node(self, context);
    ASSERT_TRUE(wrapped);
    ASSERT_EQ((*wrapped)->index(), KindIndex::Not) << shown(wrapped);
    EXPECT_TRUE((*wrapped)->as<kind::Not>()->operand.same(self));

    // A resolvable reference negates its target.
    auto plain = std::make_shared<TargetTable>();
    plain->emplace("urn:s", type_set(16));
    auto c2 = negation_context();
    c2.targets = plain;
    const auto through = complement_node(make_schema(kind::Reference{share("urn:s")}), c2);
    ASSERT_TRUE(through);
    EXPECT_TRUE(schema_eq(*through, type_set(1 | 2 | 8 | 32 | 64))) << shown(through);

    // An AnyOf whose negated intersection outgrows sixteen members is wrapped.
    std::vector<Schema> branches;
    for (int i = 0; i < 20; ++i) branches.push_back(literal(std::to_string(i * 2)));
    for (int i = 0; i < 3; ++i) {
        StringLeaf leaf;
        leaf.patterns.push_back(share("^p" + std::to_string(i)));
        branches.push_back(make_schema(kind::String{leaf}));
    }
    const Schema wide = make_schema(kind::AnyOf{branches});
    auto c3 = negation_context();
    const auto capped = complement_node(wide, c3);
    ASSERT_TRUE(capped);
    ASSERT_EQ((*capped)->index(), KindIndex::Not) << shown(capped);
    EXPECT_TRUE((*capped)->as<kind::Not>()->operand.same(wide));

    // A result built under a spent budget is not complemented.
    auto spent = negation_context();
    spent.exhausted = true;
    EXPECT_FALSE(complement_node(literal("5"), spent));
}

}  // namespace
