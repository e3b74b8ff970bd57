// The stack of reference targets in progress keeps its bottom entries in the context and spills
// deeper ones into a vector; positions, lookups and pops must not notice where an entry lives.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "deririrore/core/keyword.hpp"

namespace deririrore::core {
namespace {

TEST(CycleStack, EntriesOnBothSidesOfTheInlinePartAreFoundAtTheirPositionsAndPoppedInOrder) {
    constexpr std::size_t kDepth = 40;
    std::vector<int> contents(kDepth);
    std::vector<Value> instances(2);
    ValidationContext ctx;
    for (std::size_t i = 0; i < kDepth; ++i) ctx.cycle_push(&contents[i], &instances[i % 2], std::uint8_t(i % 3));
    ASSERT_EQ(ctx.cycle_depth(), kDepth);
    for (std::size_t i : {std::size_t{0}, std::size_t{15}, std::size_t{16}, std::size_t{17}, kDepth - 1}) {
        EXPECT_EQ(ctx.cycle_position(&contents[i], &instances[i % 2], std::uint8_t(i % 3)), i) << i;
        // Every part of the key counts: another instance or kind is not the same entry.
        EXPECT_EQ(ctx.cycle_position(&contents[i], &instances[(i + 1) % 2], std::uint8_t(i % 3)),
                  ValidationContext::kNotInCycle)
            << i;
        EXPECT_EQ(ctx.cycle_position(&contents[i], &instances[i % 2], std::uint8_t((i + 1) % 3)),
                  ValidationContext::kNotInCycle)
            << i;
    }
    EXPECT_EQ(ctx.path_cuts(), 0u);
    EXPECT_TRUE(ctx.cycle_contains(&contents[30], &instances[0], 0));
    EXPECT_EQ(ctx.path_cuts(), 1u);

    // Down across the boundary and up again: popped entries are gone, new ones take their places.
    while (ctx.cycle_depth() > 10) ctx.cycle_pop();
    EXPECT_EQ(ctx.cycle_position(&contents[20], &instances[0], 2), ValidationContext::kNotInCycle);
    EXPECT_EQ(ctx.cycle_position(&contents[9], &instances[1], 0), 9u);
    int other = 0;
    for (std::size_t i = 10; i < 30; ++i) ctx.cycle_push(&other, &instances[0], std::uint8_t(i));
    EXPECT_EQ(ctx.cycle_position(&other, &instances[0], 25), 25u);
    EXPECT_EQ(ctx.cycle_position(&contents[20], &instances[0], 2), ValidationContext::kNotInCycle);
    while (ctx.cycle_depth() > 0) ctx.cycle_pop();
    EXPECT_EQ(ctx.cycle_position(&contents[0], &instances[0], 0), ValidationContext::kNotInCycle);
}

}  // namespace
}  // namespace deririrore::core
