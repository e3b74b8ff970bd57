// Locations: materialising instance paths, joins, reference chains and evaluation paths.
#include <gtest/gtest.h>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/location.hpp"

namespace deririrore::core {
namespace {

TEST(LazyLocations, MaterialiseWithEscapesAndSharedBlocks) {
    const LazyLocation root;
    EXPECT_EQ(location_from_lazy(root).view(), "");
    EXPECT_TRUE(location_from_lazy(root).same_block(Location()));

    const LazyLocation i15 = root.push(std::uint64_t{15});
    EXPECT_EQ(location_from_lazy(i15).view(), "/15");
    EXPECT_TRUE(location_from_lazy(i15).same_block(location_from_lazy(i15)));
    const LazyLocation i16 = root.push(std::uint64_t{16});
    EXPECT_EQ(location_from_lazy(i16).view(), "/16");
    EXPECT_FALSE(location_from_lazy(i16).same_block(location_from_lazy(i16)));
    EXPECT_EQ(location_from_lazy(root.push(std::uint64_t{0})).view(), "/0");

    const LazyLocation a = root.push(std::string_view("a/b"));
    const LazyLocation b = a.push(std::string_view("m~n"));
    const LazyLocation c = b.push(std::uint64_t{3});
    const LazyLocation d = c.push(std::string_view(""));
    EXPECT_EQ(location_from_lazy(d).view(), "/a~1b/m~0n/3/");
    EXPECT_EQ(location_from_lazy(root.push(std::string_view(""))).view(), "/");
}

TEST(LazyLocations, MoreThanSixteenSegmentsKeepTheirOrder) {
    std::vector<LazyLocation> chain;
    chain.reserve(40);
    chain.emplace_back();
    std::string expected;
    for (std::uint64_t i = 0; i < 39; ++i) {
        chain.push_back(chain.back().push(i * 7));
        expected += "/" + std::to_string(i * 7);
    }
    EXPECT_EQ(location_from_lazy(chain.back()).view(), expected);
}

TEST(Joins, KeysIndexesAndTexts) {
    const Location base("/properties");
    EXPECT_EQ(location_join_key(base, "a/b~").view(), "/properties/a~1b~0");
    EXPECT_EQ(append_index_to_location(base, 12).view(), "/properties/12");
    EXPECT_TRUE(join_locations(base, "").same_block(base));
    EXPECT_EQ(join_locations(base, "/x").view(), "/properties/x");
    EXPECT_EQ(join_locations(Location(), "/x").view(), "/x");
}

TEST(EvaluationPaths, ChainAndRelativePart) {
    struct Case {
        const char* keyword;
        const char* expected;
    };
    const Location outer_ref("/properties/a/$ref");
    const Location outer_target("/$defs/a");
    const Location inner_ref("/items/$ref");
    const Location inner_target("/$defs/b");
    RefChain outer(outer_ref, outer_target, nullptr);
    RefChain inner(inner_ref, inner_target, &outer);
    const Case cases[] = {
        {"/$defs/b/type", "/properties/a/$ref/items/$ref/type"},
        {"/$defs/b", "/properties/a/$ref/items/$ref"},
        {"/elsewhere/type", "/properties/a/$ref/items/$ref/elsewhere/type"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyword);
        const Location keyword(c.keyword);
        EvaluationPath path = evaluation_path_location(&inner, keyword);
        EXPECT_EQ(join_evaluation_path(path, keyword).view(), c.expected);
    }
    const Location schema_path("/type");
    EXPECT_EQ(join_evaluation_path(evaluation_path_location(nullptr, schema_path), schema_path).view(), "/type");
}

TEST(EvaluationPaths, MemoisedFromThe4096thComputationWithEqualTexts) {
    EvaluationContext ctx;
    const Location ref("/properties/a/$ref");
    const Location target("/$defs/a");
    RefChain hop(ref, target, nullptr);
    const Location keyword("/$defs/a/minimum");
    for (int i = 1; i < 4096; ++i) ctx.evaluation_path_for(hop, keyword);
    EXPECT_EQ(ctx.evaluation_path_memo_size(), 0u);
    const Location memoised = ctx.evaluation_path_for(hop, keyword);
    EXPECT_EQ(ctx.evaluation_path_memo_size(), 1u);
    EXPECT_EQ(memoised.view(), "/properties/a/$ref/minimum");
    const Location again = ctx.evaluation_path_for(hop, keyword);
    EXPECT_TRUE(again.same_block(memoised));
}

TEST(EvaluationArena, ThirtyThirdNodeStartsTheSecondChunk) {
    EvaluationOutput out;
    for (std::uint32_t i = 0; i < 33; ++i) EXPECT_EQ(out.push(EvaluationNode{}), i);
    EXPECT_EQ(out.chunk_count(), 2u);
    const EvaluationNode* first = &out.at(0);
    for (int i = 0; i < 100; ++i) out.push(EvaluationNode{});
    EXPECT_EQ(first, &out.at(0));
}

}  // namespace
}  // namespace deririrore::core
