#include <gtest/gtest.h>

#include "deririrore/referencing/draft.hpp"
#include "helpers.hpp"

namespace deririrore::referencing {
namespace {

using testing::json;

TEST(DraftFromUrl, Table) {
    struct Case {
        std::string_view text;
        Draft expected;
    };
    const Case cases[] = {
        {"http://json-schema.org/draft-07/schema", Draft::Draft7},
        {"http://json-schema.org/draft-07/schema#", Draft::Draft7},
        {"http://json-schema.org/draft-07/schema##", Draft::Draft7},
        {"https://json-schema.org/draft-07/schema#", Draft::Draft7},
        {"http://json-schema.org/draft-07/schema/", Draft::Unknown},
        {"HTTP://JSON-SCHEMA.ORG/DRAFT-07/SCHEMA#", Draft::Unknown},
        {"http://json-schema.org/draft-07/schema?x", Draft::Unknown},
        {"http://json-schema.org/draft-07/schema#a", Draft::Unknown},
        {"http://json-schema.org/draft-04/schema#", Draft::Draft4},
        {"https://json-schema.org/draft-06/schema", Draft::Draft6},
        {"https://json-schema.org/draft/2019-09/schema", Draft::Draft201909},
        {"http://json-schema.org/draft/2019-09/schema#", Draft::Draft201909},
        {"https://json-schema.org/draft/2020-12/schema", Draft::Draft202012},
        {"https://json-schema.org/schema", Draft::Draft202012},
        {"http://json-schema.org/schema#", Draft::Draft202012},
        {"https://example.com/schema", Draft::Unknown},
        {"", Draft::Unknown},
        {"#", Draft::Unknown},
        {"###", Draft::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(draft_from_url(c.text), c.expected) << c.text;
}

TEST(DetectDraft, FallbackAndUnknown) {
    EXPECT_EQ(detect_draft(Draft::Draft7, json(R"({"$schema": 4})")), Draft::Draft7);
    EXPECT_EQ(detect_draft(Draft::Draft7, json(R"({"$schema": "urn:custom:meta"})")), Draft::Unknown);
    EXPECT_EQ(detect_draft(Draft::Draft4, json("true")), Draft::Draft4);
    EXPECT_EQ(detect_draft(Draft::Draft4, json(R"({"$schema": "https://json-schema.org/draft/2019-09/schema"})")),
              Draft::Draft201909);
}

TEST(DraftIdOf, Table) {
    struct Case {
        Draft draft;
        std::string_view schema;
        std::optional<std::string_view> expected;
    };
    const Case cases[] = {
        {Draft::Draft7, R"({"$id": "a.json", "$ref": "b.json"})", std::nullopt},
        {Draft::Draft202012, R"({"$id": "a.json", "$ref": "b.json"})", "a.json"},
        {Draft::Draft6, R"({"$id": "#foo"})", std::nullopt},
        {Draft::Draft201909, R"({"$id": "#foo"})", "#foo"},
        {Draft::Draft4, R"({"id": ""})", ""},
        {Draft::Draft4, R"({"$id": "a.json"})", std::nullopt},
        {Draft::Draft4, R"({"id": "a.json", "$ref": 5})", std::nullopt},
        {Draft::Draft7, R"({"$id": 5})", std::nullopt},
        {Draft::Unknown, R"({"$id": "x"})", "x"},
        {Draft::Draft202012, "[]", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto value = json(c.schema);
        EXPECT_EQ(draft_id_of(c.draft, value), c.expected) << c.schema << " " << draft_name(c.draft);
    }
}

TEST(IsKnownKeyword, Table) {
    struct Case {
        std::string_view keyword;
        // Expected answer for Draft4, Draft6, Draft7, Draft201909, Draft202012, Unknown.
        std::array<bool, 6> known;
    };
    const Case cases[] = {
        {"id", {true, false, false, false, false, false}},
        {"$id", {false, true, true, true, true, true}},
        {"if", {false, false, true, true, true, true}},
        {"$recursiveRef", {false, false, false, true, true, true}},
        {"$dynamicRef", {false, false, false, false, true, true}},
        {"prefixItems", {false, false, false, false, true, true}},
        {"definitions", {true, true, true, true, true, true}},
        {"$comment", {false, false, false, false, false, false}},
        {"title", {false, false, false, false, false, false}},
        {"", {false, false, false, false, false, false}},
    };
    for (const auto& c : cases) {
        for (int d = 0; d < 6; ++d) {
            EXPECT_EQ(is_known_keyword(static_cast<Draft>(d), c.keyword), c.known[d])
                << c.keyword << " " << draft_name(static_cast<Draft>(d));
        }
    }
}

}  // namespace
}  // namespace deririrore::referencing
