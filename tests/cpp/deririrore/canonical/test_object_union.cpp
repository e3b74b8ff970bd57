#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/intersection.hpp"
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

namespace {

Schema integers_node() { return schema_from_type_mask(JsonTypeSet::from_bits(4)); }

ObjectLeaf leaf_of(std::vector<const char*> required, std::vector<std::pair<const char*, Schema>> properties,
                   std::optional<long> minimum = std::nullopt, std::optional<long> maximum = std::nullopt) {
    ObjectLeaf leaf = requiring(std::move(required));
    for (auto& [name, schema] : properties) property_map_insert(leaf.properties, share(name), schema);
    if (minimum) leaf.sizes.minimum = BigInt(*minimum);
    if (maximum) leaf.sizes.maximum = BigInt(*maximum);
    return leaf;
}

bool any_admits(const std::vector<ObjectLeaf>& leaves, const value::Value& object, CanonicalContext& context) {
    bool admitted = false;
    for (const auto& l : leaves) {
        const Admission a = object_leaf_admits_value(l, object, context);
        EXPECT_NE(a, Admission::Undecided);
        admitted = admitted || a == Admission::Accepted;
    }
    return admitted;
}

// Objects over the names a, b and c with values 1, 2 and "s": every rule below
// must keep exactly the objects the leaves admitted before.
std::vector<value::Value> sample_objects() {
    std::vector<std::string> texts{"{}"};
    const char* values[] = {"1", "2", "\"s\""};
    for (const char* a : values) {
        texts.push_back(std::string("{\"a\":") + a + "}");
        texts.push_back(std::string("{\"b\":") + a + "}");
        texts.push_back(std::string("{\"c\":") + a + "}");
        for (const char* b : values) {
            texts.push_back(std::string("{\"a\":") + a + ",\"b\":" + b + "}");
            texts.push_back(std::string("{\"a\":") + a + ",\"c\":" + b + "}");
            texts.push_back(std::string("{\"b\":") + a + ",\"c\":" + b + "}");
            texts.push_back(std::string("{\"a\":") + a + ",\"b\":" + b + ",\"c\":1}");
        }
    }
    std::vector<value::Value> out;
    for (const auto& t : texts) out.push_back(*value::parse_json(t));
    return out;
}

TEST(CanonicalObjectUnion, RulesKeepTheAdmittedObjects) {
    auto setup = objects_context();
    const Schema one = literal_node("1");
    const Schema one_or_two = union_of({literal_node("1"), literal_node("2")}, setup);
    std::vector<ObjectLeaf> one_name_each;
    for (const char* n : {"a", "b", "c", "d", "e", "f", "g", "h"}) one_name_each.push_back(leaf_of({n}, {}));
    std::vector<ObjectLeaf> one_covered = one_name_each;
    one_covered.push_back(leaf_of({"a", "b"}, {{"c", one}}));
    const struct {
        const char* what;
        std::vector<ObjectLeaf> leaves;
        std::function<void(const std::vector<ObjectLeaf>&)> shape;
    } cases[] = {
        {"a required name whose absence another leaf covers goes",
         {leaf_of({"a", "b"}, {{"a", one}}), leaf_of({"a"}, {{"b", false_schema()}})},
         [](const std::vector<ObjectLeaf>& out) {
             for (const auto& l : out)
                 for (const auto& r : l.required) EXPECT_NE(*r, "b");
         }},
        {"a minimum goes when the smaller objects lie within another leaf",
         {leaf_of({}, {{"a", one}}, 2), leaf_of({}, {{"a", one_or_two}}, std::nullopt, 1)},
         [](const std::vector<ObjectLeaf>& out) {
             ASSERT_EQ(out.size(), 2u);
             EXPECT_TRUE(std::any_of(out.begin(), out.end(),
                                     [](const ObjectLeaf& l) { return !l.sizes.minimum && !l.sizes.maximum; }));
         }},
        {"a leaf of exactly its required names opens to the declarations of another",
         {leaf_of({"a"}, {{"a", one}}, std::nullopt, 1), leaf_of({}, {{"b", literal_node("2")}}, 2)},
         [](const std::vector<ObjectLeaf>& out) {
             EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](const ObjectLeaf& l) {
                 return l.required.size() == 1 && !l.sizes.maximum && property_map_find(l.properties, "b");
             }));
         }},
        {"leaves that split every object by their names become every object",
         {leaf_of({}, {{"a", false_schema()}, {"b", false_schema()}}), leaf_of({"a"}, {}), leaf_of({"b"}, {})},
         [](const std::vector<ObjectLeaf>& out) {
             ASSERT_EQ(out.size(), 1u);
             EXPECT_TRUE(out[0].required.empty() && out[0].properties.empty() && !out[0].sizes.minimum &&
                         !out[0].sizes.maximum);
         }},
        {"a member widens to the values another leaf admits for it",
         {leaf_of({"a"}, {{"a", one}, {"b", integers_node()}}), leaf_of({"a"}, {{"a", literal_node("2")}})},
         [](const std::vector<ObjectLeaf>& out) { EXPECT_LE(out.size(), 2u); }},
        {"a leaf covered only once cut by another leaf's window goes",
         {leaf_of({}, {{"a", one}}), leaf_of({}, {{"a", one_or_two}}, std::nullopt, 1),
          leaf_of({}, {{"a", integers_node()}}, 2)},
         [](const std::vector<ObjectLeaf>& out) { EXPECT_EQ(out.size(), 2u); }},
        {"with eight leaves or more, a leaf with an object of its own stays", one_name_each,
         [](const std::vector<ObjectLeaf>& out) { EXPECT_EQ(out.size(), 8u); }},
        {"with eight leaves or more, a covered leaf still goes", one_covered,
         [](const std::vector<ObjectLeaf>& out) { EXPECT_EQ(out.size(), 8u); }},
        {"leaves that share no object stay as they are",
         {leaf_of({"a"}, {{"a", one}, {"b", false_schema()}}), leaf_of({"b"}, {{"a", false_schema()}})},
         [](const std::vector<ObjectLeaf>& out) { EXPECT_EQ(out.size(), 2u); }},
    };
    const auto samples = sample_objects();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto context = objects_context();
        const auto out = normalize_object_leaves(c.leaves, context);
        EXPECT_FALSE(context.exhausted);
        for (const auto& s : samples)
            EXPECT_EQ(any_admits(c.leaves, s, context), any_admits(out, s, context)) << value::to_json(s);
        c.shape(out);
    }
}

TEST(CanonicalObjectUnion, OnlyTheEmptyObjectBecomesAValue) {
    auto context = objects_context();
    std::vector<CanonicalJson> values;
    EXPECT_FALSE(retain_object_leaf(leaf_of({}, {}, std::nullopt, 0), values, context));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(value::to_json(*values[0]), "{}");
    EXPECT_TRUE(retain_object_leaf(leaf_of({}, {}, std::nullopt, 1), values, context));
    EXPECT_TRUE(retain_object_leaf(leaf_of({"a"}, {}), values, context));
    EXPECT_EQ(values.size(), 1u);
}

TEST(CanonicalObjectUnion, ViolationsOfAMergeAreOrderedAndUnique) {
    auto context = objects_context();
    const ObjectViolation names{violation::NameFails{integers_node()}};
    const ObjectViolation undeclared{violation::UndeclaredValueFails{{share("a")}, {}, literal_node("1")}};
    const ObjectViolation pattern_a{violation::PatternValueFails{share("^a"), literal_node("1")}};
    const ObjectViolation pattern_b{violation::PatternValueFails{share("^b"), literal_node("1")}};
    EXPECT_TRUE(compare_object_violations(names, undeclared) < 0);
    EXPECT_TRUE(compare_object_violations(undeclared, pattern_a) < 0);
    EXPECT_TRUE(compare_object_violations(pattern_a, pattern_b) < 0);
    EXPECT_TRUE(compare_object_violations(pattern_b, pattern_b) == 0);
    ObjectLeaf x;
    x.violations = {pattern_b, names};
    ObjectLeaf y;
    y.violations = {undeclared, pattern_b, pattern_a};
    for (const bool swapped : {false, true}) {
        const ObjectLeaf merged = swapped ? merge_object_leaves(y, x, context) : merge_object_leaves(x, y, context);
        const std::vector<ObjectViolation> expected{names, undeclared, pattern_a, pattern_b};
        ASSERT_EQ(merged.violations.size(), expected.size()) << swapped;
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_TRUE(object_violation_eq(merged.violations[i], expected[i])) << swapped << " at " << i;
    }
}

}  // namespace
