#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/array_node.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/witness.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

CanonicalContext ctx() {
    return new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
}

std::vector<std::string> texts(const std::vector<value::Value>& values) {
    std::vector<std::string> out;
    for (const auto& v : values) out.push_back(value::to_json(v));
    return out;
}

CanonicalJson cj(std::string_view t) { return std::make_shared<const value::Value>(*value::parse_json(t)); }

const Schema& strings() {
    static const Schema s = make_schema(kind::MultiType{JsonTypeSet(JsonType::String)});
    return s;
}
const Schema& numbers() {
    static const Schema s = make_schema(kind::MultiType{JsonTypeSet(JsonType::Number)});
    return s;
}
const Schema& integers() {
    static const Schema s = make_schema(kind::MultiType{JsonTypeSet(JsonType::Integer)});
    return s;
}

TEST(CanonicalWitnesses, StringsFitTheLengthWindow) {
    StringLeaf leaf;
    leaf.lengths = Bounds{BigInt(3), BigInt(5)};
    EXPECT_EQ(texts(string_witnesses({"", "banana", "pear"}, leaf)), (std::vector<std::string>{"\"aaa\"", "\"pear\""}));
    StringLeaf long_min;
    long_min.lengths.minimum = BigInt(65);
    EXPECT_TRUE(string_witnesses({"", "abc"}, long_min).empty());
    StringLeaf huge_max;
    huge_max.lengths.maximum = BigInt("100000000000000000000000");
    EXPECT_EQ(string_witnesses({std::string(100, 'x')}, huge_max).size(), 1u);
    StringLeaf max2;
    max2.lengths.maximum = BigInt(2);
    EXPECT_EQ(string_witnesses({"\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E"}, max2).size(), 1u);
    EXPECT_EQ(cardinality_to_text(BigInt(-5)), "-5");
    EXPECT_EQ(cardinality_to_text(BigInt("123456789012345678901234")), "123456789012345678901234");
}

TEST(CanonicalWitnesses, NumbersBetweenBounds) {
    struct Case {
        std::optional<BoundNumber> lo, hi;
        std::vector<std::string> out;
    };
    const Case cases[] = {
        {BoundNumber{"1", true}, BoundNumber{"4", false}, {"1", "2.5", "0"}},
        {BoundNumber{"10", false}, std::nullopt, {"11.0", "0"}},
        {std::nullopt, std::nullopt, {"0"}},
        {std::nullopt, BoundNumber{"1e400", true}, {"1e400", "0"}},
        {BoundNumber{"-1.7e308", true}, BoundNumber{"1.7e308", true}, {"-1.7e308", "1.7e308", "0"}},
    };
    for (const auto& c : cases) EXPECT_EQ(texts(number_witness(c.lo, c.hi)), c.out);
}

TEST(CanonicalWitnesses, ChildWitnessesAndBoundedWalks) {
    auto c = ctx();
    uint64_t budget = kWitnessNodeBudget;
    EXPECT_EQ(value::to_json(*child_witnesses(std::nullopt, value::Value::boolean(true), 3, budget, c)), "true");
    EXPECT_FALSE(child_witnesses(strings(), value::Value(), 1, budget, c));
    EXPECT_EQ(value::to_json(*child_witnesses(strings(), value::Value(), 2, budget, c)), "\"\"");
    // A self-referencing node is walked only as deep as the limit, whatever the budget.
    auto table = std::make_shared<TargetTable>();
    table->emplace(
        "#",
        make_schema(kind::AnyOf{{make_schema(kind::Reference{share("#")}), make_schema(kind::Reference{share("#")})}}));
    c.targets = table;
    budget = kWitnessNodeBudget;
    EXPECT_TRUE(collect_witness_values(make_schema(kind::Reference{share("#")}), kWitnessDepth, budget, c).empty());
    EXPECT_GT(budget, 0u);
    budget = 3;
    (void)collect_witness_values(make_schema(kind::Reference{share("#")}), 1000, budget, c);
    EXPECT_EQ(budget, 0u);
}

Schema build(ArrayLeaf leaf) {
    auto c = ctx();
    return array_leaf_node(std::move(leaf), c);
}

ArrayLeaf array_of(const Schema& s) {
    const auto* a = s->as<kind::Array>();
    EXPECT_NE(a, nullptr) << debug_string(s);
    return a ? a->leaf : ArrayLeaf{};
}

TEST(CanonicalArrayNode, ContainsFacetsMergeAndBecomeBounds) {
    ArrayLeaf two;
    two.contains.push_back({strings(), BigInt(2), BigInt(5)});
    two.contains.push_back({numbers(), std::nullopt, std::nullopt});
    two.contains.push_back({strings(), BigInt(3), std::nullopt});
    const auto merged = array_of(build(two)).contains;
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_TRUE(merged[0].schema.same(numbers()));
    EXPECT_FALSE(merged[0].minimum);
    EXPECT_EQ(merged[1].minimum, BigInt(3));
    EXPECT_EQ(merged[1].maximum, BigInt(5));

    ArrayLeaf any;
    any.contains.push_back({true_schema(), BigInt(2), BigInt(4)});
    const auto bounded = array_of(build(any));
    EXPECT_TRUE(bounded.contains.empty());
    EXPECT_TRUE(bounds_equal(bounded.lengths, Bounds{BigInt(2), BigInt(4)}));

    struct Case {
        ContainsFacet facet;
        bool is_false;
    };
    const Case cases[] = {
        {{strings(), BigInt(3), BigInt(1)}, true},
        {{false_schema(), BigInt(1), std::nullopt}, true},
        {{false_schema(), BigInt(0), std::nullopt}, false},
        {{strings(), BigInt(0), std::nullopt}, false},
    };
    for (const auto& k : cases) {
        ArrayLeaf l;
        l.contains.push_back(k.facet);
        const Schema s = build(l);
        EXPECT_EQ(is_false(s), k.is_false) << debug_string(s);
        if (!k.is_false) {
            EXPECT_TRUE(array_of(s).contains.empty());
        }
    }

    ArrayLeaf explicit_one, implicit_one;
    explicit_one.contains.push_back({strings(), BigInt(1), std::nullopt});
    implicit_one.contains.push_back({strings(), std::nullopt, std::nullopt});
    const Schema a = build(explicit_one), b = build(implicit_one);
    EXPECT_EQ(a->hash, b->hash);
    EXPECT_TRUE(schema_eq(a, b));
}

TEST(CanonicalArrayNode, ItemsAndPrefix) {
    ArrayLeaf closed;
    closed.prefix = {strings(), numbers()};
    closed.items = false_schema();
    const auto c = array_of(build(closed));
    EXPECT_EQ(c.lengths.maximum, BigInt(2));
    EXPECT_FALSE(c.items);

    ArrayLeaf hole;
    hole.prefix = {strings(), false_schema(), numbers()};
    hole.items = integers();
    const auto h = array_of(build(hole));
    ASSERT_EQ(h.prefix.size(), 1u);
    EXPECT_EQ(h.lengths.maximum, BigInt(1));
    EXPECT_FALSE(h.items);

    ArrayLeaf cut;
    cut.prefix = {strings(), numbers(), integers()};
    cut.lengths.maximum = BigInt(1);
    EXPECT_EQ(array_of(build(cut)).prefix.size(), 1u);
    cut.lengths.maximum = BigInt(0);
    const Schema empty = build(cut);
    ASSERT_NE(empty->as<kind::Const>(), nullptr);
    EXPECT_EQ(value::to_json(*empty->as<kind::Const>()->value), "[]");

    ArrayLeaf trailing;
    trailing.prefix = {integers(), strings(), strings()};
    trailing.items = strings();
    const auto t = array_of(build(trailing));
    ASSERT_EQ(t.prefix.size(), 1u);
    EXPECT_TRUE(t.prefix[0].same(integers()));
    ArrayLeaf trues;
    trues.prefix = {integers(), true_schema()};
    trues.items = true_schema();
    EXPECT_EQ(array_of(build(trues)).prefix.size(), 1u);
    EXPECT_FALSE(array_of(build(trues)).items);

    ArrayLeaf negative;
    negative.lengths.maximum = BigInt(-1);
    EXPECT_TRUE(is_false(build(negative)));
}

TEST(CanonicalArrayNode, FacetCountsAndDistinctness) {
    // Disjoint facets add up: two constants that differ, at least 2 and 3 items.
    const Schema one = make_schema(kind::Const{cj("1")});
    const Schema two = make_schema(kind::Const{cj("2")});
    ArrayLeaf sum;
    sum.contains = {{one, BigInt(2), std::nullopt}, {two, BigInt(3), std::nullopt}};
    sum.lengths.maximum = BigInt(4);
    EXPECT_TRUE(is_false(build(sum)));
    sum.lengths.maximum.reset();
    sum.lengths.minimum = BigInt(4);
    EXPECT_FALSE(array_of(build(sum)).lengths.minimum);

    // Strings and numbers never meet, so two facets on them need five items.
    ArrayLeaf typed;
    typed.contains = {{strings(), BigInt(2), std::nullopt}, {numbers(), BigInt(3), std::nullopt}};
    typed.lengths.maximum = BigInt(4);
    EXPECT_TRUE(is_false(build(typed)));
    typed.lengths.maximum.reset();
    typed.lengths.minimum = BigInt(4);
    EXPECT_FALSE(array_of(build(typed)).lengths.minimum);
    // Integers lie inside numbers: no sum can be taken.
    ArrayLeaf overlapping;
    overlapping.contains = {{integers(), BigInt(2), std::nullopt}, {numbers(), BigInt(3), std::nullopt}};
    overlapping.lengths.maximum = BigInt(4);
    EXPECT_FALSE(is_false(build(overlapping)));

    ArrayLeaf in_prefix;
    in_prefix.prefix = {one, strings()};
    in_prefix.lengths.maximum = BigInt(2);
    in_prefix.contains = {{one, BigInt(2), std::nullopt}};
    EXPECT_TRUE(is_false(build(in_prefix)));
    in_prefix.contains = {{one, std::nullopt, std::nullopt}};
    EXPECT_FALSE(is_false(build(in_prefix)));

    ArrayLeaf repeated;
    repeated.distinctness = Distinctness::SomeRepeated;
    repeated.lengths.minimum = BigInt(1);
    EXPECT_EQ(array_of(build(repeated)).lengths.minimum, BigInt(2));

    ArrayLeaf distinct;
    distinct.distinctness = Distinctness::AllDistinct;
    distinct.items = schema_from_value_set({cj("1"), cj("2"), cj("3")});
    EXPECT_EQ(array_of(build(distinct)).lengths.maximum, BigInt(3));
    ArrayLeaf bools;
    bools.distinctness = Distinctness::AllDistinct;
    bools.contains = {{schema_from_type_mask(JsonTypeSet(JsonType::Boolean)), BigInt(4), std::nullopt}};
    EXPECT_TRUE(is_false(build(bools)));
    ArrayLeaf short_distinct;
    short_distinct.distinctness = Distinctness::AllDistinct;
    short_distinct.lengths.maximum = BigInt(1);
    EXPECT_EQ(array_of(build(short_distinct)).distinctness, Distinctness::Unconstrained);
}

}  // namespace

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

std::vector<std::string> witness_texts(const Schema& node, uint32_t depth = kWitnessDepth) {
    auto c = new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
    uint64_t budget = kWitnessNodeBudget;
    std::vector<std::string> out;
    for (const auto& v : collect_witness_values(node, depth, budget, c)) out.push_back(value::to_json(v));
    return out;
}

Schema constant(std::string_view t) {
    return make_schema(kind::Const{std::make_shared<const value::Value>(*value::parse_json(t))});
}

TEST(CanonicalWitnesses, SamplesPerKind) {
    using V = std::vector<std::string>;
    EXPECT_EQ(witness_texts(make_schema(
                  kind::MultiType{JsonTypeSet(JsonType::Null).with(JsonType::Boolean).with(JsonType::String)})),
              (V{"null", "false", "\"\""}));
    EXPECT_EQ(witness_texts(true_schema()), V{"null"});
    EXPECT_TRUE(witness_texts(false_schema()).empty());
    EXPECT_TRUE(witness_texts(make_schema(kind::Not{true_schema()})).empty());
    EXPECT_TRUE(witness_texts(make_schema(kind::AnyOf{{constant("1"), constant("2")}}), 1).empty());
    EXPECT_EQ(witness_texts(make_schema(kind::AnyOf{{constant("1"), constant("\"x\"")}})), (V{"1", "\"x\""}));

    NumberLeaf numbers;
    numbers.minimum = BoundNumber{"0", true};
    numbers.maximum = BoundNumber{"10", false};
    EXPECT_EQ(witness_texts(make_schema(kind::Number{numbers})), (V{"0", "5.0", "0"}));

    StringLeaf padded;
    padded.patterns.push_back(share("^abc$"));
    padded.lengths.minimum = BigInt(5);
    EXPECT_EQ(witness_texts(make_schema(kind::String{padded})), (V{"\"abcaa\"", "\"aaaaa\""}));
    StringLeaf capped;
    capped.patterns.push_back(share("^abc$"));
    capped.lengths.maximum = BigInt(2);
    EXPECT_EQ(witness_texts(make_schema(kind::String{capped})), V{"\"\""});
    StringLeaf dated;
    dated.patterns = {share("^x"), share("y")};
    dated.formats.push_back(FormatKind::builtin(formats::BuiltinFormat::Date));
    EXPECT_EQ(witness_texts(make_schema(kind::String{dated})),
              (V{"\"xy\"", "\"x\"", "\"y\"", "\"2020-01-01\"", "\"\""}));

    ObjectLeaf object;
    object.required.push_back(share("x"));
    object.sizes.minimum = BigInt(3);
    EXPECT_EQ(witness_texts(make_schema(kind::Object{object})), V{"{\"a0\":null,\"a1\":null,\"x\":null}"});
    ObjectLeaf seeded;
    seeded.sizes.minimum = BigInt(2);
    seeded.pattern_properties.entries.emplace_back(share("^id_[0-9]"), constant("7"));
    seeded.properties.entries.emplace_back(share("k"), constant("true"));
    EXPECT_EQ(witness_texts(make_schema(kind::Object{seeded})), V{"{\"k0\":null,\"k1\":null}"});
    seeded.properties.entries.clear();
    EXPECT_EQ(witness_texts(make_schema(kind::Object{seeded})), V{"{\"id_0\":7,\"id_1\":7}"});
    ObjectLeaf too_big;
    too_big.sizes.minimum = BigInt(65);
    EXPECT_TRUE(witness_texts(make_schema(kind::Object{too_big})).empty());

    ArrayLeaf sevens;
    sevens.lengths.minimum = BigInt(2);
    sevens.items = constant("7");
    EXPECT_EQ(witness_texts(make_schema(kind::Array{sevens})), V{"[7,7]"});
    ArrayLeaf with_contains;
    with_contains.prefix.push_back(constant("1"));
    with_contains.contains.push_back(ContainsFacet{constant("\"c\""), BigInt(1), std::nullopt});
    with_contains.lengths.minimum = BigInt(3);
    EXPECT_EQ(witness_texts(make_schema(kind::Array{with_contains})), V{"[1,\"c\",null]"});
    ArrayLeaf impossible_item;
    impossible_item.lengths.minimum = BigInt(1);
    impossible_item.items = false_schema();
    EXPECT_TRUE(witness_texts(make_schema(kind::Array{impossible_item})).empty());

    EXPECT_TRUE(witness_texts(make_schema(kind::Reference{share("urn:missing")})).empty());
}

}  // namespace
