#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "zavova/coverage_state.hpp"

namespace {

using namespace zavova;

TEST(EntryMap, EnsureKeepsAndSetResetsInPlace) {
    EntryMap m;
    EXPECT_TRUE(m.ensure("/type", EntryKind::keyword(Polarity::Both)));
    m.ensure("/enum/0", EntryKind::list_item(Polarity::ValidOnly));
    m.entry(0).passed = 3;
    EXPECT_FALSE(m.ensure("/type", EntryKind::keyword(Polarity::ValidOnly)));
    EXPECT_EQ(m.entry(0).kind, EntryKind::keyword(Polarity::Both));
    EXPECT_EQ(m.entry(0).passed, 3u);
    m.set("/type", EntryKind::unmeasured(UnmeasuredReason::InvalidPattern));
    EXPECT_EQ(m.index_of("/type"), 0u);
    EXPECT_EQ(m.entry(0).passed, 0u);
    EXPECT_EQ(m.entry(0).kind, EntryKind::unmeasured(UnmeasuredReason::InvalidPattern));
    m.set("/x", EntryKind::example());
    EXPECT_EQ(m.index_of("/x"), 2u);
    EXPECT_FALSE(m.index_of("/missing"));
    EXPECT_EQ(unmeasured_reason_text(UnmeasuredReason::UntraceableMediaType), "untraceable_media_type");
}

// Enough locations to grow the index several times, with the empty location, locations that are
// prefixes of one another and ones differing only in their last byte: each keeps its number.
TEST(EntryMap, IndexesStayExactThroughGrowthAndCopies) {
    EntryMap m;
    std::vector<std::string> locations = {"", "/", "/a", "/ab", "/a/b", "/a/b/"};
    for (int i = 0; i < 3000; ++i) locations.push_back("/properties/p" + std::to_string(i) + "/type");
    for (const std::string& l : locations) EXPECT_TRUE(m.ensure(l, EntryKind::keyword(Polarity::Both))) << l;
    for (const std::string& l : locations) EXPECT_FALSE(m.ensure(l, EntryKind::example())) << l;
    ASSERT_EQ(m.size(), locations.size());
    for (std::size_t i = 0; i < locations.size(); ++i) {
        EXPECT_EQ(m.location(i), locations[i]);
        EXPECT_EQ(m.index_of(locations[i]), i) << locations[i];
    }
    EXPECT_FALSE(m.index_of("/properties/p3000/type"));
    EXPECT_FALSE(m.index_of("/a/b//"));
    EXPECT_FALSE(EntryMap{}.index_of(""));

    EntryMap copy = m;
    copy.entry(2).passed = 5;
    copy.ensure("/only/in/copy", EntryKind::example());
    EXPECT_EQ(m.entry(2).passed, 0u);
    EXPECT_FALSE(m.index_of("/only/in/copy"));
    EXPECT_EQ(copy.index_of("/only/in/copy"), locations.size());
    EXPECT_EQ(copy.index_of("/ab"), 3u);
}

TEST(KeywordEntry, CoveredByKindAndPolarity) {
    struct Case {
        EntryKind kind;
        std::uint64_t passed, failed;
        bool covered;
    } cases[] = {
        {EntryKind::example(), 1, 0, true},
        {EntryKind::example(), 0, 5, false},
        {EntryKind::keyword(Polarity::Both), 1, 0, false},
        {EntryKind::keyword(Polarity::Both), 1, 1, true},
        {EntryKind::keyword(Polarity::ValidOnly), 1, 0, true},
        {EntryKind::keyword(Polarity::InvalidOnly), 9, 0, false},
        {EntryKind::keyword(Polarity::InvalidOnly), 0, 1, true},
        {EntryKind::subschema(Polarity::Both), 0, 0, true},
        {EntryKind::list_item(Polarity::Both), 0, 0, true},
    };
    for (const auto& c : cases) {
        KeywordEntry e;
        e.kind = c.kind;
        e.passed = c.passed;
        e.failed = c.failed;
        EXPECT_EQ(e.covered(), c.covered) << int(c.kind.tag) << "/" << int(c.kind.payload);
    }
}

TEST(SpecialIndex, ParentsKindsAndOrder) {
    EXPECT_EQ(index_special_keywords(EntryMap{}).entry_count, 0u);
    EXPECT_TRUE(index_special_keywords(EntryMap{}).refs.empty());

    EntryMap m;
    const auto pass = EntryKind::keyword(Polarity::ValidOnly);
    m.ensure("", EntryKind::subschema(Polarity::Both));           // 0
    m.ensure("/uniqueItems", pass);                               // 1
    m.ensure("/additionalProperties", pass);                      // 2
    m.ensure("/properties/a/additionalProperties", pass);         // 3: no entry at /properties/a
    m.ensure("/properties", EntryKind::keyword(Polarity::Both));  // 4: not ValidOnly
    m.ensure("/additionalPropertiesX", pass);                     // 5: not a special keyword
    m.ensure("/items/additionalProperties", pass);                // 6
    m.ensure("/items", EntryKind::subschema(Polarity::Both));     // 7
    m.ensure("/items/additionalItems", pass);                     // 8
    const SpecialKeywordIndex index = index_special_keywords(m);
    EXPECT_EQ(index.entry_count, m.size());
    const std::vector<SpecialKeywordRef> expected = {
        {0, SpecialKeywordKind::AdditionalProperties, 2},
        {0, SpecialKeywordKind::UniqueItems, 1},
        {7, SpecialKeywordKind::AdditionalProperties, 6},
        {7, SpecialKeywordKind::AdditionalItems, 8},
    };
    EXPECT_EQ(index.refs, expected);
    EXPECT_THROW(checked_entry_index(std::size_t{1} << 32), deririrore::InternalError);
    EXPECT_EQ(checked_entry_index(0xffffffffu), 0xffffffffu);
}

TEST(CopyOnWrite, TracingOneHolderLeavesTheOtherAtZero) {
    CoverageHolder first;
    first.state = std::make_shared<CoverageState>();
    first.state->entries.ensure("", EntryKind::subschema(Polarity::Both));
    CoverageHolder second = first;  // a path-level parameter copied into a second operation
    second.events = true;
    EXPECT_EQ(first.state.get(), second.state.get());

    CoverageState& mine = make_state_unique(second);
    mine.entries.entry(0).passed += 1;
    mine.events.push_back(0);
    EXPECT_NE(first.state.get(), second.state.get());
    EXPECT_TRUE(second.state->events_enabled);
    EXPECT_EQ(first.state->entries.entry(0).passed, 0u);
    EXPECT_TRUE(first.state->events.empty());
    EXPECT_FALSE(first.state->events_enabled);

    // Held once: written in place.
    const CoverageState* before = first.state.get();
    make_state_unique(first).entries.entry(0).failed = 1;
    EXPECT_EQ(first.state.get(), before);
    EXPECT_EQ(second.state->entries.entry(0).failed, 0u);
}

TEST(AnalysisRecords, FlattenListsCausesInEntryOrder) {
    DescribedCause a{"/a", {{"type", "\"string\""}}};
    DescribedCause b{"/oneOf/0", {}};
    DescribedCause c{"/oneOf/1", {}};
    UnsatisfiableCause list = CauseList{{PlainCause{a}, BranchCauses{{b, c}}}};
    auto flat = flatten_unsatisfiable_causes(list);
    ASSERT_EQ(flat.size(), 3u);
    EXPECT_EQ(*flat[0], a);
    EXPECT_EQ(*flat[2], c);
    UnsatisfiableCause none = Unexplained{DescribedCause{"", {}}};
    ASSERT_EQ(flatten_unsatisfiable_causes(none).size(), 1u);
    EXPECT_TRUE(flatten_unsatisfiable_causes(none)[0]->keywords.empty());
}

}  // namespace
