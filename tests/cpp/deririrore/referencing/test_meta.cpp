#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "deririrore/referencing/meta.hpp"

namespace deririrore::referencing {
namespace {

TEST(MetaSchemas, IdentifiersMatchTheirDocuments) {
    const auto& all = all_meta_schemas();
    ASSERT_EQ(all.size(), 19u);
    const std::size_t expected_lengths[] = {39, 39, 39, 44, 53, 50, 47, 49, 52, 53, 44, 47, 53, 54, 53, 52, 60, 59, 50};
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto& entry = all[i];
        ASSERT_TRUE(entry.document);
        const Value* own = entry.document->find(i == 0 ? "id" : "$id");
        ASSERT_NE(own, nullptr) << entry.id;
        EXPECT_EQ(own->as_string(), entry.id);
        EXPECT_EQ(entry.id.size(), expected_lengths[i]) << entry.id;
        EXPECT_EQ(entry.document->find("$vocabulary") != nullptr, i >= 3) << entry.id;
    }
}

TEST(MetaSchemas, ListsShareDocumentsAndKeepTheirOrder) {
    const auto& all = all_meta_schemas();
    const auto& d201909 = meta_schemas_for_draft(Draft::Draft201909);
    const auto& d202012 = meta_schemas_for_draft(Draft::Draft202012);
    ASSERT_EQ(meta_schemas_for_draft(Draft::Draft4).size(), 1u);
    ASSERT_EQ(meta_schemas_for_draft(Draft::Draft7).size(), 1u);
    ASSERT_EQ(d201909.size(), 7u);
    ASSERT_EQ(d202012.size(), 9u);
    EXPECT_EQ(meta_schemas_for_draft(Draft::Draft7)[0].document.get(), all[2].document.get());
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(d201909[i].document.get(), all[3 + i].document.get());
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(d202012[i].document.get(), all[10 + i].document.get());
    EXPECT_EQ(d201909[1].id, "https://json-schema.org/draft/2019-09/meta/applicator");
    EXPECT_EQ(d201909[3].id, "https://json-schema.org/draft/2019-09/meta/core");
    EXPECT_EQ(d202012[1].id, "https://json-schema.org/draft/2020-12/meta/core");
    EXPECT_EQ(d202012[7].id, "https://json-schema.org/draft/2020-12/meta/format-assertion");
    EXPECT_EQ(d202012[6].id, "https://json-schema.org/draft/2020-12/meta/format-annotation");
}

TEST(MetaSchemas, UnknownDraftGetsThe202012List) {
    const auto& unknown = meta_schemas_for_draft(Draft::Unknown);
    const auto& d202012 = meta_schemas_for_draft(Draft::Draft202012);
    ASSERT_EQ(unknown.size(), d202012.size());
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        EXPECT_EQ(unknown[i].id, d202012[i].id);
        EXPECT_EQ(unknown[i].document.get(), d202012[i].document.get());
    }
}

TEST(MetaSchemas, ConcurrentFirstRequestsParseEachDocumentOnce) {
    std::vector<const MetaSchemaList*> seen(10, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 10; ++t) threads.emplace_back([&, t] { seen[t] = &meta_schemas_for_draft(Draft::Draft202012); });
    for (auto& th : threads) th.join();
    for (const auto* list : seen) {
        ASSERT_EQ(list, seen[0]);
        ASSERT_EQ(list->size(), 9u);
    }
    for (const auto& entry : *seen[0]) EXPECT_EQ(meta_schema_parse_count(entry.id), 1u) << entry.id;
}

}  // namespace
}  // namespace deririrore::referencing
