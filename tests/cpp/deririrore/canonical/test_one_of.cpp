#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/one_of.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

CanonicalContext fold_context() {
    return new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
}
CanonicalJson json(std::string_view t) { return std::make_shared<const value::Value>(*value::parse_json(t)); }
Schema values_node(std::vector<const char*> texts) {
    std::vector<CanonicalJson> vs;
    for (const char* t : texts) vs.push_back(json(t));
    return schema_from_value_set(std::move(vs));
}
Schema type_node(uint8_t bits) { return schema_from_type_mask(JsonTypeSet::from_bits(bits)); }
Schema ref_to(const std::string& name) { return make_schema(kind::Reference{share(name)}); }
std::string shown(const std::optional<Schema>& s) { return s ? debug_string(*s) : "none"; }

TEST(CanonicalOneOf, FoldKeepsValuesOfExactlyOneBranch) {
    auto context = fold_context();
    const auto folded = one_of_node({values_node({"1", "2"}), values_node({"2", "3"})}, TargetTable{}, context);
    ASSERT_TRUE(folded);
    for (const char* in : {"1", "3"})
        EXPECT_EQ(node_admits_value(*folded, *value::parse_json(in), false, context), Admission::Accepted)
            << in << " in " << shown(folded);
    for (const char* out : {"2", "4", "\"1\""})
        EXPECT_EQ(node_admits_value(*folded, *value::parse_json(out), false, context), Admission::Rejected)
            << out << " in " << shown(folded);
    EXPECT_FALSE(context.exhausted);

    auto c2 = fold_context();
    const auto disjoint = one_of_node({values_node({"1"}), values_node({"2"})}, TargetTable{}, c2);
    ASSERT_TRUE(disjoint);
    EXPECT_TRUE(schema_eq(*disjoint, values_node({"1", "2"}))) << shown(disjoint);

    // Integers and a number range: the overlap goes, the rest stays.
    NumberLeaf positive;
    positive.minimum = BoundNumber{"0", false};
    auto c3 = fold_context();
    const auto mixed = one_of_node({type_node(4), make_schema(kind::Number{positive})}, TargetTable{}, c3);
    ASSERT_TRUE(mixed);
    const struct {
        const char* value;
        Admission expected;
    } cases[] = {{"-3", Admission::Accepted},
                 {"0.5", Admission::Accepted},
                 {"3", Admission::Rejected},
                 {"-0.5", Admission::Rejected},
                 {"\"x\"", Admission::Rejected}};
    for (const auto& c : cases)
        EXPECT_EQ(node_admits_value(*mixed, *value::parse_json(c.value), false, c3), c.expected)
            << c.value << " in " << shown(mixed);
}

TEST(CanonicalOneOf, CapsAndBudgetKeepTheOpaqueForm) {
    // Every pair of the twenty patterns may overlap: the running union outgrows the cap.
    std::vector<Schema> branches;
    for (int i = 0; i < 20; ++i) {
        StringLeaf leaf;
        leaf.patterns.push_back(share("p" + std::to_string(i)));
        branches.push_back(make_schema(kind::String{leaf}));
    }
    auto context = fold_context();
    const auto capped = one_of_node(branches, TargetTable{}, context);
    ASSERT_TRUE(capped);
    ASSERT_EQ((*capped)->index(), KindIndex::OneOf) << shown(capped);
    auto sorted = branches;
    sort_schemas(sorted);
    const auto& kept = (*capped)->as<kind::OneOf>()->branches;
    ASSERT_EQ(kept.size(), sorted.size());
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_TRUE(kept[i].same(sorted[i]));

    // Only the remaining budget is lent, and only what was spent is charged.
    auto poor = fold_context();
    poor.intersection_budget = 3;
    const auto starved = one_of_node(branches, TargetTable{}, poor);
    ASSERT_TRUE(starved);
    EXPECT_EQ((*starved)->index(), KindIndex::OneOf);
    EXPECT_EQ(poor.intersection_budget, 0u);
    EXPECT_FALSE(poor.exhausted);

    auto rich = fold_context();
    const uint64_t before = rich.intersection_budget;
    (void)one_of_node({values_node({"1", "2"}), values_node({"2", "3"})}, TargetTable{}, rich);
    EXPECT_LT(rich.intersection_budget, before);
    EXPECT_GT(rich.intersection_budget, before - kOneOfBudgetShare);

    // Branches built under a spent budget are not folded.
    auto widened = fold_context();
    widened.exhausted = true;
    const auto kept_whole = one_of_node({values_node({"1", "2"}), values_node({"2", "3"})}, TargetTable{}, widened);
    ASSERT_TRUE(kept_whole);
    EXPECT_EQ((*kept_whole)->index(), KindIndex::OneOf);
}

ObjectLeaf tagged(const char* tag) {
    ObjectLeaf leaf;
    leaf.required.push_back(share("kind"));
    leaf.properties.entries.emplace_back(share("kind"), values_node({tag}));
    return leaf;
}

TEST(CanonicalOneOf, BranchDisjointness) {
    TargetTable targets;
    targets.emplace("urn:a", make_schema(kind::Object{tagged("\"a\"")}));
    targets.emplace("urn:b", make_schema(kind::Object{tagged("\"b\"")}));
    targets.emplace("urn:a2", make_schema(kind::Object{tagged("\"a\"")}));
    targets.emplace("urn:x", ref_to("urn:y"));
    targets.emplace("urn:y", ref_to("urn:x"));
    const struct {
        const char* what;
        std::vector<Schema> branches;
        bool disjoint;
    } cases[] = {
        {"no branches", {}, true},
        {"string and integer", {type_node(16), type_node(4)}, true},
        {"integer inside number", {type_node(4), type_node(8)}, false},
        {"distinct values", {values_node({"1", "2"}), values_node({"3"}), type_node(16)}, true},
        {"shared value", {values_node({"1", "2"}), values_node({"2"})}, false},
        {"value inside a type", {values_node({"\"a\""}), type_node(16)}, false},
        {"discriminating property", {ref_to("urn:a"), ref_to("urn:b")}, true},
        {"same discriminator", {ref_to("urn:a"), ref_to("urn:a2")}, false},
        {"missing target", {ref_to("urn:a"), ref_to("urn:missing")}, false},
        {"cycle of references", {ref_to("urn:x"), type_node(16)}, false},
    };
    for (const auto& c : cases) {
        auto context = fold_context();
        EXPECT_EQ(one_of_branches_disjoint(c.branches, targets, context), c.disjoint) << c.what;
    }
    EXPECT_EQ(canonical_type_mask(values_node({"1"})), 12);
    EXPECT_EQ(canonical_type_mask(make_schema(kind::Not{type_node(16)})), 127);
    EXPECT_EQ(canonical_type_mask(false_schema()), 0);
}

}  // namespace
