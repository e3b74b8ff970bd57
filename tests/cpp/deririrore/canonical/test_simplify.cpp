#include <gtest/gtest.h>

#include <vector>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/canonical/simplify.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

CanonicalContext simplify_context() {
    return new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
}
Schema ref(const char* name) { return make_schema(kind::Reference{share(name)}); }
Schema object_with(const char* name, const Schema& schema) {
    ObjectLeaf leaf;
    property_map_insert(leaf.properties, share(name), schema);
    return make_schema(kind::Object{std::move(leaf)});
}
Schema all_of(std::vector<Schema> members) {
    sort_schemas(members);
    return make_schema(kind::AllOf{std::move(members)});
}
Schema any_of(std::vector<Schema> branches) {
    sort_schemas(branches);
    return make_schema(kind::AnyOf{std::move(branches)});
}

// The property of the object member of a conjunction, when the conjunction is among the parts.
std::optional<Schema> conjunction_property(const std::vector<Schema>& parts, const char* name) {
    for (const auto& p : parts)
        if (const auto* all = p->as<kind::AllOf>())
            for (const auto& m : all->branches)
                if (const auto* o = m->as<kind::Object>())
                    if (const Schema* s = property_map_find(o->leaf.properties, name)) return *s;
    return std::nullopt;
}

TEST(CanonicalSimplify, ConjunctionPropertiesLoseCoveredAlternatives) {
    const Schema r1 = ref("r1");
    const Schema r2 = ref("r2");
    const Schema r3 = ref("r3");
    const Schema conjunction = all_of({object_with("p", any_of({r1, r2})), r3});
    const struct {
        const char* what;
        std::vector<Schema> parts;
        Schema property;
    } cases[] = {
        {"an alternative another part covers goes", {conjunction, object_with("p", r1)}, r2},
        {"an alternative no part covers stays", {conjunction, object_with("q", r1)}, any_of({r1, r2})},
        {"a part covering the whole conjunction does not empty the property",
         {conjunction, object_with("p", any_of({r1, r2}))},
         any_of({r1, r2})},
    };
    for (const auto& c : cases) {
        auto context = simplify_context();
        std::vector<Schema> parts = c.parts;
        const auto simplified = simplify_opaque_parts(parts, context);
        EXPECT_FALSE(simplified.answer.has_value()) << c.what;
        const auto property = conjunction_property(parts, "p");
        if (!property) {
            // The conjunction went as a whole (it lies within another part).
            EXPECT_TRUE(schema_eq(c.property, any_of({r1, r2}))) << c.what;
            continue;
        }
        EXPECT_TRUE(schema_eq(*property, c.property)) << c.what << ": " << debug_string(*property);
    }
}

TEST(CanonicalSimplify, ASpentBudgetChangesNothing) {
    const Schema conjunction = all_of({object_with("p", any_of({ref("r1"), ref("r2")})), ref("r3")});
    for (const bool raised : {false, true}) {
        auto context = simplify_context();
        context.intersection_budget = 0;
        context.exhausted = raised;
        std::vector<Schema> parts{conjunction, object_with("p", ref("r1"))};
        simplify_opaque_parts(parts, context);
        ASSERT_EQ(parts.size(), 2u);
        EXPECT_TRUE(parts[0].same(conjunction) || parts[1].same(conjunction));
        EXPECT_EQ(context.exhausted, raised);
    }
}

}  // namespace
