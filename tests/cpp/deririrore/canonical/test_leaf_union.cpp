#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/leaf_union.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

CanonicalContext union_ctx(Draft draft = Draft::Draft7) {
    return new_canonical_context(regex::PatternOptions::backtracking(), draft, false);
}

IntegerLeaf ints(long lo, long hi, std::initializer_list<std::string_view> by = {}) {
    IntegerLeaf leaf;
    leaf.bounds = Bounds{BigInt(lo), BigInt(hi)};
    std::vector<BoundRational> members;
    for (auto t : by) members.push_back(*parse_canonical_number(t));
    leaf.multiple_of = fold_divisors(std::move(members));
    return leaf;
}

NumberLeaf nums(std::optional<BoundNumber> lo, std::optional<BoundNumber> hi,
                std::initializer_list<std::string_view> by = {}) {
    NumberLeaf leaf;
    leaf.minimum = std::move(lo);
    leaf.maximum = std::move(hi);
    std::vector<BoundRational> members;
    for (auto t : by) members.push_back(*parse_canonical_number(t));
    leaf.multiple_of = fold_divisors(std::move(members));
    return leaf;
}

std::string windows(const std::vector<IntegerLeaf>& leaves) {
    std::string out;
    for (const auto& l : leaves) out += "[" + l.bounds.minimum->get_str() + "," + l.bounds.maximum->get_str() + "]";
    return out;
}

std::string number_windows(const std::vector<NumberLeaf>& leaves) {
    std::string out;
    for (const auto& l : leaves) {
        out += l.minimum ? (l.minimum->inclusive ? "[" : "(") + l.minimum->limit : "(-";
        out += ",";
        out += l.maximum ? l.maximum->limit + (l.maximum->inclusive ? "]" : ")") : "+)";
    }
    return out;
}

TEST(LeafUnion, IntegerIntervalsMergeAndCoveredLeavesGo) {
    struct Case {
        const char* name;
        std::vector<IntegerLeaf> leaves;
        std::string expected;
    };
    const Case cases[] = {
        {"adjacent", {ints(4, 6), ints(1, 3)}, "[1,6]"},
        {"a gap", {ints(1, 3), ints(5, 6)}, "[1,3][5,6]"},
        {"no multiple of 5 in the gap", {ints(0, 10, {"5"}), ints(13, 20, {"5"})}, "[0,20]"},
        {"a multiple of 4 in the gap", {ints(0, 10, {"4"}), ints(13, 20, {"4"})}, "[0,10][13,20]"},
        {"covered by a leaf without divisors", {ints(2, 4, {"2"}), ints(0, 10)}, "[0,10]"},
        {"different divisors never merge", {ints(0, 3, {"2"}), ints(4, 9, {"3"})}, "[0,3][4,9]"},
    };
    for (const auto& k : cases) {
        LeafList<IntegerLeaf> list;
        for (const auto& l : k.leaves) list.push(l);
        normalize_integer_leaves(list);
        EXPECT_TRUE(list.normalized);
        EXPECT_EQ(windows(list.leaves), k.expected) << k.name;
    }
}

TEST(LeafUnion, NumberIntervalsMergeWhereNoValueLiesBetween) {
    struct Case {
        const char* name;
        std::vector<NumberLeaf> leaves;
        std::string expected;
    };
    const Case cases[] = {
        {"an excluded point between",
         {nums(BoundNumber{"1", false}, BoundNumber{"2", false}),
          nums(BoundNumber{"0", false}, BoundNumber{"1", false})},
         "(0,1)(1,2)"},
        {"the excluded point is no multiple",
         {nums(BoundNumber{"0", false}, BoundNumber{"1", false}, {"2"}),
          nums(BoundNumber{"1", false}, BoundNumber{"2", false}, {"2"})},
         "(0,2)"},
        {"touching at an included point",
         {nums(BoundNumber{"0", true}, BoundNumber{"1", true}), nums(BoundNumber{"1", false}, BoundNumber{"2", false})},
         "[0,2)"},
        {"overlapping",
         {nums(BoundNumber{"0", true}, BoundNumber{"1.5", true}), nums(BoundNumber{"1", true}, {})},
         "[0,+)"},
    };
    for (const auto& k : cases) {
        LeafList<NumberLeaf> list;
        for (const auto& l : k.leaves) list.push(l);
        normalize_number_leaves(list);
        EXPECT_EQ(number_windows(list.leaves), k.expected) << k.name;
    }
    LeafList<NumberLeaf> list;
    NumberLeaf no_integers = nums({}, {});
    no_integers.excludes_integers = true;
    list.push(no_integers);
    list.push(nums(BoundNumber{"0", true}, BoundNumber{"1", true}));
    normalize_number_leaves(list);
    EXPECT_EQ(list.leaves.size(), 2u);
}

TEST(LeafUnion, StringWindowsMergeAndCoverageNeedsFewerConditions) {
    auto leaf = [](std::initializer_list<const char*> patterns, long lo, long hi) {
        StringLeaf l;
        for (auto p : patterns) l.patterns.push_back(share(p));
        l.lengths = Bounds{BigInt(lo), BigInt(hi)};
        return l;
    };
    LeafList<StringLeaf> merged;
    merged.push(leaf({"p"}, 4, 9));
    merged.push(leaf({"p"}, 0, 3));
    normalize_string_leaves(merged);
    ASSERT_EQ(merged.leaves.size(), 1u);
    EXPECT_EQ(*merged.leaves[0].lengths.maximum, BigInt(9));

    LeafList<StringLeaf> apart;
    apart.push(leaf({"p"}, 0, 3));
    apart.push(leaf({"p"}, 5, 9));
    normalize_string_leaves(apart);
    EXPECT_EQ(apart.leaves.size(), 2u);

    LeafList<StringLeaf> covered;
    covered.push(leaf({"p", "q"}, 2, 5));
    covered.push(leaf({"q"}, 2, 5));
    covered.push(leaf({"p"}, 0, 9));
    normalize_string_leaves(covered);
    ASSERT_EQ(covered.leaves.size(), 2u);
    for (const auto& l : covered.leaves) EXPECT_EQ(l.patterns.size(), 1u);
}

TEST(LeafUnion, ConstantsMoveBetweenValuesAndLeaves) {
    auto c7 = union_ctx(Draft::Draft7);
    auto c4 = union_ctx(Draft::Draft4);
    LeafList<StringLeaf> s;
    LeafList<IntegerLeaf> i;
    LeafList<NumberLeaf> n;
    LeafList<ArrayLeaf> a;
    LeafList<ObjectLeaf> o;
    UnionLeaves lists{s, i, n, a, o};
    EXPECT_TRUE(absorb_constant_into_leaves(lists, c7, value::Value::number("2.5")));
    n.push(nums(BoundNumber{"10", true}, {}));
    EXPECT_FALSE(absorb_constant_into_leaves(lists, c7, value::Value::number("2.5")));
    EXPECT_EQ(n.leaves.back().minimum->limit, "2.5");
    i.push(ints(0, 1));
    EXPECT_FALSE(absorb_constant_into_leaves(lists, c7, value::Value::number("5")));
    EXPECT_EQ(windows({i.leaves.back()}), "[5,5]");
    const auto numbers_before = n.leaves.size();
    EXPECT_FALSE(absorb_constant_into_leaves(lists, c4, value::Value::number("5")));
    EXPECT_EQ(n.leaves.size(), numbers_before + 1);

    EXPECT_TRUE(absorb_constant_into_leaves(lists, c7, value::Value::string("")));
    s.push(StringLeaf{});
    EXPECT_FALSE(absorb_constant_into_leaves(lists, c7, value::Value::string("")));
    EXPECT_TRUE(absorb_constant_into_leaves(lists, c7, value::Value::string("x")));
    EXPECT_TRUE(absorb_constant_into_leaves(lists, c7, value::Value::null()));

    const std::vector<NumberLeaf> zero_to_ten{nums(BoundNumber{"0", true}, BoundNumber{"10", true})};
    auto one = shared_canonical_json(value::Value::number("1"));
    auto two = shared_canonical_json(value::Value::number("2"));
    auto eleven = shared_canonical_json(value::Value::number("11"));
    EXPECT_FALSE(typed_group_covered_by_number_leaves(zero_to_ten, JsonType::Integer, {one, two}));
    EXPECT_TRUE(typed_group_covered_by_number_leaves(zero_to_ten, JsonType::Integer, {one, eleven}));
    EXPECT_FALSE(typed_group_covered_by_number_leaves(zero_to_ten, JsonType::Integer, {}));
    EXPECT_FALSE(integer_leaf_covered_by_number_leaves(zero_to_ten, ints(2, 4)));
    EXPECT_TRUE(integer_leaf_covered_by_number_leaves(zero_to_ten, ints(2, 40)));

    std::vector<CanonicalJson> values;
    EXPECT_FALSE(number_leaf_is_constant(c7, values, nums(BoundNumber{"3", true}, BoundNumber{"3", true})));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0]->number_text(), "3");
    EXPECT_TRUE(number_leaf_is_constant(c7, values, nums(BoundNumber{"3", true}, BoundNumber{"4", true})));
}

ArrayLeaf arrays(std::optional<long> lo, std::optional<long> hi, Distinctness d = Distinctness::Unconstrained,
                 std::optional<Schema> items = std::nullopt) {
    ArrayLeaf leaf;
    if (lo) leaf.lengths.minimum = BigInt(*lo);
    if (hi) leaf.lengths.maximum = BigInt(*hi);
    leaf.distinctness = d;
    leaf.items = std::move(items);
    return leaf;
}

std::string array_windows(const std::vector<ArrayLeaf>& leaves) {
    std::string out;
    for (const auto& l : leaves)
        out += "[" + (l.lengths.minimum ? l.lengths.minimum->get_str() : std::string("-")) + "," +
               (l.lengths.maximum ? l.lengths.maximum->get_str() : std::string("-")) + "]";
    return out;
}

TEST(LeafUnion, ArrayLeavesWidenMergeAndCover) {
    const Schema ints_only = make_schema(kind::MultiType{JsonTypeSet(JsonType::Integer)});
    ContainsFacet needs_one{ints_only, std::nullopt, std::nullopt};
    ArrayLeaf with_facet = arrays({}, {});
    with_facet.contains.push_back(needs_one);
    struct Case {
        const char* name;
        std::vector<ArrayLeaf> leaves;
        std::string expected;
    };
    const Case cases[] = {
        {"a plain window widens a structured leaf",
         {arrays(0, 3), arrays(2, 8, Distinctness::Unconstrained, ints_only)},
         "[0,3][0,8]"},
        {"a window apart widens nothing",
         {arrays(0, 1), arrays(3, 8, Distinctness::Unconstrained, ints_only)},
         "[0,1][3,8]"},
        {"a short plain leaf joins distinct items", {arrays(0, 1), arrays(2, 5, Distinctness::AllDistinct)}, "[0,5]"},
        {"not when a length lies between", {arrays(0, 1), arrays(3, 5, Distinctness::AllDistinct)}, "[0,1][3,5]"},
        // A repeat needs two items, so the empty array stays with its plain leaf.
        {"the empty array is no repeat",
         {arrays(0, 0), arrays(1, {}, Distinctness::SomeRepeated, ints_only)},
         "[0,-][0,0]"},
        {"the empty array joins a leaf of items",
         {arrays(0, 0), arrays(1, 4, Distinctness::AllDistinct, ints_only)},
         "[0,4]"},
        {"the empty array admitted elsewhere lowers a minimum of one",
         {arrays({}, 3, Distinctness::AllDistinct), arrays(1, 9, Distinctness::Unconstrained, ints_only)},
         "[-,3][-,9]"},
        {"a repeat-wanting leaf admits no empty array",
         {arrays({}, 3, Distinctness::SomeRepeated), arrays(1, 9, Distinctness::Unconstrained, ints_only)},
         "[-,3][1,9]"},
        {"a facet asking for an item keeps the minimum",
         {with_facet, arrays(1, 4, Distinctness::AllDistinct, ints_only)},
         "[-,-][1,4]"},
        {"an unconstrained leaf covers its distinct twin",
         {arrays(0, 9, Distinctness::AllDistinct), arrays(0, 9)},
         "[0,9]"},
    };
    for (const auto& k : cases) {
        LeafList<ArrayLeaf> list;
        for (const auto& l : k.leaves) list.push(l);
        normalize_array_leaves(list);
        EXPECT_TRUE(list.normalized);
        EXPECT_EQ(array_windows(list.leaves), k.expected) << k.name;
    }
}

TEST(LeafUnion, CountBounds) {
    IntegerLeaf three_to_seven = ints(3, 7, {"2"});
    EXPECT_EQ(value_count_bound(kind::Integer{three_to_seven}), 5u);
    EXPECT_EQ(value_count_bound(kind::MultiType{JsonTypeSet(JsonType::Null).with(JsonType::Boolean)}), 3u);
    EXPECT_FALSE(value_count_bound(kind::String{StringLeaf{}}));
    EXPECT_FALSE(value_count_bound(kind::Integer{ints(7, 3)}));
    EXPECT_EQ(smaller_count(BigInt(4), BigInt(2)), BigInt(2));
    EXPECT_TRUE(bounds_contain_count(Bounds{BigInt(2), BigInt(5)}, BigInt(5)));
    EXPECT_FALSE(bounds_contain_count(Bounds{BigInt(2), BigInt(5)}, BigInt(6)));
    EXPECT_TRUE(bounds_contain_count(Bounds{}, BigInt(1) << 100));
}

}  // namespace
