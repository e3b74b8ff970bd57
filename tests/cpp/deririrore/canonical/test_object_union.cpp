#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/object_union.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

CanonicalContext objects_context() {
    return new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
}
Schema literal_node(std::string_view t) {
    return make_schema(kind::Const{std::make_shared<const value::Value>(*value::parse_json(t))});
}
ObjectLeaf sized(long lo, long hi) {
    ObjectLeaf leaf;
    leaf.sizes = Bounds{BigInt(lo), BigInt(hi)};
    leaf.properties.entries.emplace_back(share("p"), literal_node("1"));
    return leaf;
}
ObjectLeaf requiring(std::vector<const char*> names) {
    ObjectLeaf leaf;
    for (const char* n : names) leaf.required.push_back(share(n));
    return leaf;
}

TEST(CanonicalObjectUnion, WindowsOfEqualLeavesMerge) {
    const auto touching = group_object_leaves_by_sizes({sized(3, 5), sized(0, 2)});
    ASSERT_EQ(touching.size(), 1u);
    EXPECT_EQ(*touching[0].sizes.minimum, 0);
    EXPECT_EQ(*touching[0].sizes.maximum, 5);
    EXPECT_EQ(group_object_leaves_by_sizes({sized(0, 2), sized(4, 5)}).size(), 2u);
    ObjectLeaf different = sized(3, 5);
    different.required.push_back(share("p"));
    EXPECT_EQ(group_object_leaves_by_sizes({sized(0, 2), different}).size(), 2u);
}

TEST(CanonicalObjectUnion, MergesAndCoverage) {
    {
        // One differing name: {required [a]} and {} become {}.
        auto context = objects_context();
        const auto merged = normalize_object_leaves({requiring({"a"}), ObjectLeaf{}}, context);
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_TRUE(merged[0].required.empty());
    }
    {
        // Same required member with different schemas: one leaf with their union.
        ObjectLeaf x = requiring({"a"});
        x.properties.entries.emplace_back(share("a"), literal_node("1"));
        ObjectLeaf y = requiring({"a"});
        y.properties.entries.emplace_back(share("a"), literal_node("2"));
        auto context = objects_context();
        const auto merged = normalize_object_leaves({x, y}, context);
        ASSERT_EQ(merged.size(), 1u);
        const Schema* a = property_map_find(merged[0].properties, "a");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ((*a)->index(), KindIndex::Enum) << debug_string(*a);
    }
    {
        // Two differing names: not merged, but the leaf is covered by {}.
        auto context = objects_context();
        const auto kept = normalize_object_leaves({requiring({"a", "b"}), ObjectLeaf{}}, context);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_TRUE(kept[0].required.empty());
    }
    {
        // Disjoint requirements on a fixed member stay apart.
        ObjectLeaf x = requiring({"k"});
        x.properties.entries.emplace_back(share("k"), literal_node("\"a\""));
        x.properties.entries.emplace_back(share("v"), literal_node("1"));
        ObjectLeaf y = requiring({"k"});
        y.properties.entries.emplace_back(share("k"), literal_node("\"b\""));
        y.properties.entries.emplace_back(share("w"), literal_node("1"));
        auto context = objects_context();
        EXPECT_EQ(normalize_object_leaves({x, y}, context).size(), 2u);
    }
}

// GCC 12 reports the moved-from vector inside the violation variant as possibly uninitialised (a false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
TEST(CanonicalObjectUnion, AdmissionOfOneObject) {
    auto context = objects_context();
    ObjectLeaf names_fail;
    StringLeaf short_names;
    short_names.lengths.maximum = BigInt(1);
    names_fail.violations.push_back(violation::NameFails{make_schema(kind::String{short_names})});
    ObjectLeaf typed = requiring({"a"});
    typed.properties.entries.emplace_back(share("a"), literal_node("1"));
    typed.additional = literal_node("true");
    const struct {
        const char* what;
        const ObjectLeaf& leaf;
        const char* object;
        Admission expected;
    } cases[] = {
        {"no member meets the violation", names_fail, "{}", Admission::Rejected},
        {"a long name meets it", names_fail, "{\"long\":1}", Admission::Accepted},
        {"required and typed", typed, "{\"a\":1,\"b\":true}", Admission::Accepted},
        {"missing required", typed, "{\"b\":true}", Admission::Rejected},
        {"wrong additional value", typed, "{\"a\":1,\"b\":false}", Admission::Rejected},
    };
    for (const auto& c : cases)
        EXPECT_EQ(object_leaf_admits_value(c.leaf, *value::parse_json(c.object), context), c.expected) << c.what;
}
#pragma GCC diagnostic pop

TEST(CanonicalObjectUnion, UnionOfObjectNodesGoesThroughTheMerge) {
    auto context = objects_context();
    const Schema u =
        union_of({make_schema(kind::Object{sized(0, 2)}), make_schema(kind::Object{sized(3, 5)})}, context);
    ASSERT_EQ(u->index(), KindIndex::Object) << debug_string(u);
    EXPECT_EQ(*u->as<kind::Object>()->leaf.sizes.maximum, 5);
}

}  // namespace
