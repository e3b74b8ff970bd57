#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/reference_graph.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

Schema reference_to(const std::string& name) { return make_schema(kind::Reference{share(name)}); }
Schema konst(std::string_view t) {
    return make_schema(kind::Const{std::make_shared<const value::Value>(*value::parse_json(t))});
}
Schema any_of(std::vector<Schema> b) { return make_schema(kind::AnyOf{std::move(b)}); }
Schema all_of(std::vector<Schema> b) { return make_schema(kind::AllOf{std::move(b)}); }
Schema object_with_property(const std::string& name, Schema s) {
    ObjectLeaf leaf;
    leaf.properties.entries.emplace_back(share(name), std::move(s));
    return make_schema(kind::Object{std::move(leaf)});
}
Schema array_of(Schema s) {
    ArrayLeaf leaf;
    leaf.items = std::move(s);
    return make_schema(kind::Array{std::move(leaf)});
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(CanonicalReferenceGraph, EdgesAreSortedGuardedAfterUnguardedAndDistinct) {
    const Schema node = any_of({reference_to("b"), object_with_property("x", reference_to("a")), reference_to("a"),
                                reference_to("b"), make_schema(kind::Not{reference_to("a")})});
    const auto graph = build_emptiness_graph(node, TargetTable{});
    ASSERT_EQ(graph.edges.size(), 1u);
    const auto& edges = graph.edges.at("#");
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_EQ(edges[0].target, "a");
    EXPECT_FALSE(edges[0].guarded);
    EXPECT_EQ(edges[1].target, "a");
    EXPECT_TRUE(edges[1].guarded);
    EXPECT_EQ(edges[2].target, "b");
    EXPECT_FALSE(edges[2].guarded);

    std::vector<ReferenceUse> uses;
    collect_reference_edges(array_of(reference_to("z")), false, uses);
    ASSERT_EQ(uses.size(), 1u);
    EXPECT_TRUE(uses[0].guarded);
}

struct UnguardedCase {
    const char* what;
    TargetTable targets;
    std::vector<std::string> unguarded;
};

TEST(CanonicalReferenceGraph, UnguardedReferencesAreCyclesThroughCombinatorsAlone) {
    const std::vector<UnguardedCase> cases = {
        {"self through anyOf", {{"A", any_of({reference_to("A"), konst("1")})}}, {"A"}},
        {"self under properties", {{"A", object_with_property("p", reference_to("A"))}}, {}},
        {"mutual through allOf",
         {{"A", all_of({reference_to("B"), konst("1")})}, {"B", all_of({reference_to("A"), konst("2")})}},
         {"A", "B"}},
        {"back edge under items",
         {{"A", all_of({reference_to("B"), konst("1")})}, {"B", array_of(reference_to("A"))}},
         {}},
        {"unguarded cycle beside a guarded one",
         {{"A", any_of({reference_to("B"), array_of(reference_to("C"))})},
          {"B", reference_to("A")},
          {"C", reference_to("C")}},
         {"A", "B", "C"}},
        {"no references", {{"A", konst("1")}, {"B", konst("2")}}, {}},
    };
    for (const auto& c : cases) {
        const auto got = unguarded_references(true_schema(), c.targets);
        EXPECT_EQ(std::vector<std::string>(got.begin(), got.end()), c.unguarded) << c.what;
    }
    const auto with_root = unguarded_references(any_of({reference_to("#"), konst("1")}), TargetTable{});
    EXPECT_EQ(std::vector<std::string>(with_root.begin(), with_root.end()), std::vector<std::string>{"#"});
}

TEST(CanonicalReferenceGraph, ComponentsComeInCompletionOrder) {
    const TargetTable plain{{"A", konst("1")}, {"B", konst("2")}};
    const auto graph = build_emptiness_graph(true_schema(), plain);
    const auto components = strongly_connected_components(graph);
    ASSERT_EQ(components.size(), 3u);
    EXPECT_EQ(components[0], ReferenceComponent{"#"});
    EXPECT_EQ(components[1], ReferenceComponent{"A"});
    EXPECT_EQ(components[2], ReferenceComponent{"B"});
    for (const auto& c : components) EXPECT_FALSE(is_recursive_component(c, graph));

    // A reaches B, B reaches C: dependencies come first; a cycle is one component.
    const TargetTable chain{{"A", reference_to("B")},
                            {"B", all_of({reference_to("C"), konst("1")})},
                            {"C", konst("3")},
                            {"D", reference_to("E")},
                            {"E", any_of({reference_to("D"), konst("2")})}};
    const auto g2 = build_emptiness_graph(reference_to("A"), chain);
    const auto c2 = strongly_connected_components(g2);
    std::vector<std::string> order;
    for (const auto& c : c2) order.push_back(sorted(c).front() + std::to_string(c.size()));
    EXPECT_EQ(order, (std::vector<std::string>{"C1", "B1", "A1", "#1", "D2"}));
    EXPECT_TRUE(is_recursive_component(c2.back(), g2));
    EXPECT_FALSE(is_recursive_component(ReferenceComponent{}, g2));
    EXPECT_FALSE(is_recursive_component(ReferenceComponent{"missing"}, g2));

    const auto restricted = restrict_graph_to_component({"D", "E", "missing"}, g2, true);
    ASSERT_EQ(restricted.edges.size(), 3u);
    EXPECT_EQ(restricted.edges.at("D").size(), 1u);
    EXPECT_TRUE(restricted.edges.at("missing").empty());
}

TEST(CanonicalReferenceGraph, LongChainsDoNotUseTheThreadStack) {
    constexpr int kLength = 100'000;
    TargetTable chain;
    auto name = [](int i) { return "n" + std::to_string(1'000'000 + i); };
    for (int i = 0; i < kLength; ++i)
        chain.emplace(name(i), i + 1 < kLength ? reference_to(name(i + 1)) : reference_to(name(0)));
    const auto graph = build_emptiness_graph(true_schema(), chain);
    const auto components = strongly_connected_components(graph);
    ASSERT_EQ(components.size(), 2u);
    EXPECT_EQ(components[0], ReferenceComponent{"#"});
    EXPECT_EQ(components[1].size(), static_cast<std::size_t>(kLength));
    EXPECT_EQ(unguarded_references(true_schema(), chain).size(), static_cast<std::size_t>(kLength));
}

TEST(CanonicalReferenceGraph, FreeOfRootReference) {
    ObjectLeaf names_with_reference;
    names_with_reference.property_names = reference_to("other");
    ObjectLeaf violation_with_reference;
    violation_with_reference.violations.push_back(violation::NameFails{any_of({reference_to("x"), konst("1")})});
    const struct {
        const char* what;
        Schema node;
        bool free;
    } cases[] = {
        {"root reference", reference_to("#"), false},
        {"root under items", array_of(reference_to("#")), false},
        {"root under properties", object_with_property("a", reference_to("#")), false},
        {"root under not", make_schema(kind::Not{reference_to("#")}), false},
        {"any reference in property names", make_schema(kind::Object{names_with_reference}), false},
        {"any reference in a violation", make_schema(kind::Object{violation_with_reference}), false},
        {"other target", any_of({reference_to("#/x"), konst("1")}), true},
        {"no references", konst("1"), true},
    };
    for (const auto& c : cases) EXPECT_EQ(free_of_root_reference(c.node), c.free) << c.what;
}

}  // namespace
