#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "deririrore/canonical/context.hpp"

namespace deririrore::canonical {
namespace {

TEST(CanonicalContext, StartsWithTheDefaultBudgetsAndNoTargets) {
    auto c = new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft7, true);
    EXPECT_EQ(c.draft, Draft::Draft7);
    EXPECT_TRUE(c.format_asserts);
    EXPECT_EQ(c.intersection_budget, 1'000'000u);
    EXPECT_EQ(c.parse_budget, 4096u);
    EXPECT_FALSE(c.exhausted);
    EXPECT_FALSE(context_spent(c));
    EXPECT_EQ(c.targets, nullptr);
    EXPECT_EQ(c.shared_patterns, nullptr);
    EXPECT_FALSE(lookup_reference_target(c, "#/$defs/a").has_value());
}

TEST(CanonicalContext, SpentByTheFlagOrAnEmptyBudget) {
    auto c = new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
    c.intersection_budget = 0;
    EXPECT_TRUE(context_spent(c));
    c.intersection_budget = 5;
    c.exhausted = true;
    EXPECT_TRUE(context_spent(c));
}

TEST(CanonicalContext, SettingTargetsForgetsTheNamesBeingSettled) {
    auto c = new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
    auto table = std::make_shared<TargetTable>();
    table->emplace("#/$defs/a", false_schema());
    set_targets(c, table);
    ASSERT_TRUE(lookup_reference_target(c, "#/$defs/a").has_value());
    EXPECT_FALSE(lookup_reference_target(c, "#/$defs/b").has_value());
    c.settling_names.insert("#/$defs/a");
    EXPECT_FALSE(lookup_reference_target(c, "#/$defs/a").has_value());
    set_targets(c, table);
    EXPECT_TRUE(c.settling_names.empty());
    EXPECT_TRUE(lookup_reference_target(c, "#/$defs/a").has_value());
    auto cache = std::make_shared<PatternCache>();
    set_shared_patterns(c, cache);
    EXPECT_EQ(c.shared_patterns, cache);
}

TEST(CanonicalError, MessagesOfEachVariant) {
    const std::pair<CanonicalError, std::string> cases[] = {
        {CanonicalError{CanonicalError::NotASchema{"3"}}, "schema must be a boolean or object, got: 3"},
        {CanonicalError{CanonicalError::NoValueAtPointer{"/a/b"}}, "no value at pointer: /a/b"},
        {CanonicalError{CanonicalError::InvalidPattern{"(["}}, "invalid regular expression: (["},
        {CanonicalError{CanonicalError::ReferenceFailed{
             referencing::ReferenceError(referencing::ReferenceError::NoSuchAnchor{"x"})}},
         "Anchor 'x' does not exist"},
    };
    for (const auto& [error, message] : cases) EXPECT_EQ(error.message(), message);
}

}  // namespace
}  // namespace deririrore::canonical
