#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/object_node.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

CanonicalContext node_context() {
    return new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
}
Schema json_node(std::string_view t) {
    return make_schema(kind::Const{std::make_shared<const value::Value>(*value::parse_json(t))});
}
Schema mask(uint8_t bits) { return schema_from_type_mask(JsonTypeSet::from_bits(bits)); }
Schema names_enum(std::vector<const char*> names) {
    std::vector<CanonicalJson> vs;
    for (const char* n : names) vs.push_back(std::make_shared<const value::Value>(value::Value::string(n)));
    return schema_from_value_set(std::move(vs));
}
ObjectLeaf with_required(std::vector<const char*> names) {
    ObjectLeaf leaf;
    for (const char* n : names) leaf.required.push_back(share(n));
    return leaf;
}

TEST(CanonicalObjectNode, ContradictionsAndShapes) {
    const Schema any_object = mask(64);
    const Schema empty_object = json_node("{}");
    struct Case {
        const char* what;
        ObjectLeaf leaf;
        std::string expected;  // "False", "any", "{}", or "Object"
    };
    std::vector<Case> cases;
    {
        ObjectLeaf l;
        l.additional = true_schema();
        cases.push_back({"additional true only", l, "any"});
    }
    {
        ObjectLeaf l;
        l.property_names = mask(16);
        cases.push_back({"names of any string", l, "any"});
    }
    {
        ObjectLeaf l;
        l.property_names = mask(4);
        cases.push_back({"names that are no string", l, "{}"});
        l.required.push_back(share("a"));
        cases.push_back({"and a required member", l, "False"});
    }
    {
        ObjectLeaf l = with_required({"a"});
        l.property_names = names_enum({"b"});
        cases.push_back({"required name outside the names", l, "False"});
    }
    {
        ObjectLeaf l;
        l.property_names = names_enum({"a", "b"});
        l.violations.push_back(violation::NameFails{names_enum({"a", "b"})});
        cases.push_back({"name violation of its own names", l, "False"});
    }
    {
        ObjectLeaf l = with_required({"a", "b"});
        l.sizes.maximum = BigInt(1);
        cases.push_back({"more required than allowed", l, "False"});
    }
    {
        ObjectLeaf l;
        l.additional = false_schema();
        cases.push_back({"no names at all", l, "{}"});
        l.required.push_back(share("x"));
        cases.push_back({"no names but a required one", l, "False"});
    }
    {
        ObjectLeaf l = with_required({"a"});
        l.properties.entries.emplace_back(share("a"), false_schema());
        cases.push_back({"required member that cannot hold a value", l, "False"});
    }
    {
        ObjectLeaf l;
        l.sizes = Bounds{BigInt(3), BigInt(2)};
        cases.push_back({"minimum above maximum", l, "False"});
    }
    {
        ObjectLeaf l;
        l.properties.entries.emplace_back(share("a"), true_schema());
        cases.push_back({"a True entry", l, "Object"});
    }
    for (auto& c : cases) {
        auto context = node_context();
        const Schema got = object_leaf_node(c.leaf, context);
        std::string shape = is_false(got)                       ? "False"
                            : schema_eq(got, any_object)        ? "any"
                            : schema_eq(got, empty_object)      ? "{}"
                            : got->index() == KindIndex::Object ? "Object"
                                                                : debug_string(got);
        EXPECT_EQ(shape, c.expected) << c.what << ": " << debug_string(got);
    }
}

TEST(CanonicalObjectNode, Normalisation) {
    auto context = node_context();
    {
        ObjectLeaf l;
        l.additional = false_schema();
        l.properties.entries.emplace_back(share("a"), mask(16));
        const Schema n = object_leaf_node(l, context);
        ASSERT_EQ(n->index(), KindIndex::Object) << debug_string(n);
        const auto& leaf = n->as<kind::Object>()->leaf;
        EXPECT_FALSE(leaf.additional);
        ASSERT_TRUE(leaf.property_names);
        EXPECT_TRUE(schema_eq(*leaf.property_names, names_enum({"a"})));
    }
    {
        ObjectLeaf l;
        l.property_names = names_enum({"x1", "y"});
        l.additional = json_node("\"A\"");
        l.pattern_properties.entries.emplace_back(share("^x"), json_node("\"P\""));
        const Schema n = object_leaf_node(l, context);
        ASSERT_EQ(n->index(), KindIndex::Object) << debug_string(n);
        const auto& leaf = n->as<kind::Object>()->leaf;
        EXPECT_FALSE(leaf.additional);
        EXPECT_TRUE(leaf.pattern_properties.empty());
        ASSERT_EQ(leaf.properties.size(), 2u) << debug_string(n);
        EXPECT_TRUE(schema_eq(*property_map_find(leaf.properties, "x1"), json_node("\"P\"")));
        EXPECT_TRUE(schema_eq(*property_map_find(leaf.properties, "y"), json_node("\"A\"")));
    }
    {
        ObjectLeaf l = with_required({"a", "b"});
        l.sizes.maximum = BigInt(2);
        l.properties.entries.emplace_back(share("a"), mask(16));
        l.properties.entries.emplace_back(share("b"), mask(16));
        l.properties.entries.emplace_back(share("c"), mask(16));
        const Schema n = object_leaf_node(l, context);
        ASSERT_EQ(n->index(), KindIndex::Object) << debug_string(n);
        const auto& leaf = n->as<kind::Object>()->leaf;
        EXPECT_EQ(leaf.properties.size(), 2u);
        EXPECT_TRUE(leaf.sizes.maximum);
    }
    for (const auto& [minimum, kept] : {std::pair{1L, false}, std::pair{3L, true}}) {
        ObjectLeaf l = with_required({"a"});
        l.sizes.minimum = BigInt(minimum);
        const Schema n = object_leaf_node(l, context);
        ASSERT_EQ(n->index(), KindIndex::Object);
        EXPECT_EQ(n->as<kind::Object>()->leaf.sizes.minimum.has_value(), kept) << minimum;
    }
    {
        ObjectLeaf l;
        l.pattern_properties.entries.emplace_back(share(""), mask(16));
        l.additional = mask(4);
        const Schema n = object_leaf_node(l, context);
        ASSERT_EQ(n->index(), KindIndex::Object);
        EXPECT_FALSE(n->as<kind::Object>()->leaf.additional);
    }
    {
        // A name violation a required member already meets is dropped.
        ObjectLeaf l = with_required({"zz"});
        l.violations.push_back(violation::NameFails{names_enum({"a"})});
        const Schema n = object_leaf_node(l, context);
        ASSERT_EQ(n->index(), KindIndex::Object);
        EXPECT_TRUE(n->as<kind::Object>()->leaf.violations.empty());
    }
    EXPECT_TRUE(admits_only_strings(names_enum({"a", "b"})));
    EXPECT_FALSE(admits_only_strings(make_schema(kind::Not{mask(16)})));
    EXPECT_FALSE(finite_property_names(mask(16)));
}

}  // namespace
