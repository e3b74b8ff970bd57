#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;
using A = Admission;

CanonicalContext ctx() {
    return new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
}

CanonicalJson cj(std::string_view t) { return std::make_shared<const value::Value>(*value::parse_json(t)); }

Schema pattern_leaf(const char* pattern, std::optional<FormatKind> format = std::nullopt) {
    StringLeaf leaf;
    leaf.patterns.push_back(share(pattern));
    if (format) leaf.formats.push_back(*format);
    return make_schema(kind::String{std::move(leaf)});
}

std::vector<std::string> names(const PropertyMap& m) {
    std::vector<std::string> out;
    for (const auto& e : m.entries) out.push_back(*e.first);
    return out;
}

TEST(CanonicalPropertyMap, InsertRemoveKeepTheOrder) {
    PropertyMap m;
    property_map_insert_at(m, 0, share("b"), true_schema());
    property_map_insert_at(m, 0, share("a"), false_schema());
    EXPECT_EQ(names(m), (std::vector<std::string>{"a", "b"}));
    EXPECT_THROW(property_map_insert_at(m, 3, share("z"), true_schema()), InternalError);
    EXPECT_FALSE(property_map_insert(m, share("ab"), true_schema()));
    auto old = property_map_insert(m, share("a"), true_schema());
    ASSERT_TRUE(old);
    EXPECT_TRUE(is_false(*old));
    EXPECT_EQ(names(m), (std::vector<std::string>{"a", "ab", "b"}));
    EXPECT_TRUE(property_map_remove(m, "ab"));
    EXPECT_FALSE(property_map_remove(m, "ab"));
    EXPECT_EQ(names(m), (std::vector<std::string>{"a", "b"}));
}

TEST(CanonicalPropertyMap, PatternPropertiesFoldIntoMatchingNames) {
    auto c = ctx();
    const Schema own = make_schema(kind::MultiType{JsonTypeSet(JsonType::String)});
    const Schema p1 = pattern_leaf("x");
    const Schema p2 = pattern_leaf("y");
    PropertyMap patterns;
    property_map_insert(patterns, share("^x"), p1);
    property_map_insert(patterns, share("y$"), p2);

    PropertyMap props;
    property_map_insert(props, share("xy"), own);
    apply_pattern_properties(props, patterns, share("xy"), c);
    // Every value the result admits is admitted by all three schemas.
    const Schema& xy = *property_map_find(props, "xy");
    for (const auto& s : {own, p1, p2}) EXPECT_NE(node_includes(s, xy, c), A::Rejected);
    for (const char* v : {"\"xy\"", "\"x\"", "\"y\"", "1"}) {
        const auto value = *value::parse_json(v);
        const bool all = node_admits_value(own, value, false, c) == A::Accepted &&
                         node_admits_value(p1, value, false, c) == A::Accepted &&
                         node_admits_value(p2, value, false, c) == A::Accepted;
        EXPECT_NE(node_admits_value(xy, value, false, c), all ? A::Rejected : A::Accepted) << v;
    }

    apply_pattern_properties(props, patterns, share("xa"), c);
    ASSERT_TRUE(property_map_find(props, "xa"));
    EXPECT_TRUE(property_map_find(props, "xa")->same(p1));
    apply_pattern_properties(props, patterns, share("zz"), c);
    EXPECT_FALSE(property_map_find(props, "zz"));
}

TEST(CanonicalPropertyMap, NameTests) {
    auto c = ctx();
    const Schema either = make_schema(kind::AnyOf{{make_schema(kind::Const{cj("\"id\"")}), pattern_leaf("^x-")}});
    const Schema unsure = make_schema(
        kind::AnyOf{{make_schema(kind::Const{cj("\"id\"")}), pattern_leaf("^x-", FormatKind::unknown(share("mine")))}});
    struct Case {
        Schema node;
        const char* name;
        A out;
    };
    const Case cases[] = {
        {either, "id", A::Accepted},
        {either, "x-a", A::Accepted},
        {either, "other", A::Rejected},
        {unsure, "x-a", A::Undecided},
        {unsure, "other", A::Rejected},
        {make_schema(kind::Reference{share("#")}), "a", A::Undecided},
        {make_schema(kind::MultiType{JsonTypeSet(JsonType::Number).with(JsonType::Null)}), "a", A::Rejected},
        {schema_from_value_set({cj("\"a\""), cj("1")}), "a", A::Accepted},
        {schema_from_value_set({cj("\"a\""), cj("1")}), "1", A::Rejected},
        {make_schema(kind::AllOf{{either, pattern_leaf("a$")}}), "x-a", A::Accepted},
        {make_schema(kind::AllOf{{either, pattern_leaf("a$")}}), "id", A::Rejected},
    };
    for (const auto& k : cases) EXPECT_EQ(schema_rejects_name(k.node, k.name, c), k.out) << k.name;
    EXPECT_THROW(schema_rejects_name(true_schema(), "a", c), InternalError);
}

TEST(CanonicalPropertyMap, InclusionComparesUncheckedNamesFirst) {
    auto c = ctx();
    const Schema plain = pattern_leaf("a");
    const Schema with_unknown = pattern_leaf("a", FormatKind::unknown(share("mine")));
    const Schema narrower = make_schema(kind::Const{cj("\"a\"")});
    EXPECT_EQ(node_includes(plain, narrower, c), A::Accepted);
    EXPECT_EQ(node_includes(with_unknown, narrower, c), A::Undecided);
    EXPECT_EQ(node_includes(plain, plain, c), A::Accepted);
    c.intersection_budget = 0;
    EXPECT_EQ(node_includes(plain, narrower, c), A::Undecided);
    EXPECT_FALSE(c.exhausted);
}

TEST(CanonicalPropertyMap, ObjectLeafSubsumption) {
    auto c = ctx();
    ObjectLeaf a;
    a.required.push_back(share("id"));
    EXPECT_FALSE(object_leaf_subsumed(c, a, 0, {a}));
    // Identical leaves include each other.
    EXPECT_TRUE(object_leaf_subsumed(c, a, 0, {a, a}));
    c.intersection_budget = 0;
    EXPECT_FALSE(object_leaf_subsumed(c, a, 0, {a, a}));
    EXPECT_FALSE(c.exhausted);
}

TEST(CanonicalPropertyMap, StringLeavesRegroupByWindow) {
    StringLeafGroup overlapping;
    overlapping.shape.patterns.push_back(share("a"));
    overlapping.windows = {{BigInt(0), BigInt(3)}, {BigInt(2), BigInt(5)}, {BigInt(8), std::nullopt}};
    std::vector<StringLeaf> out;
    group_string_leaves_by_window(overlapping, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(bounds_equal(out[0].lengths, Bounds{BigInt(0), BigInt(5)}));
    EXPECT_TRUE(bounds_equal(out[1].lengths, Bounds{BigInt(8), std::nullopt}));
    EXPECT_EQ(out[1].patterns.size(), 1u);
    StringLeafGroup empty;
    EXPECT_THROW(group_string_leaves_by_window(empty, out), InternalError);
}

}  // namespace
