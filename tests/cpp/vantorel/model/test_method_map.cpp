// Method maps: slot order, lookups, refused insertions and the layout checks of iteration.
#include <gtest/gtest.h>

#include <vector>

#include "vantorel/model/method_map.hpp"

namespace {

using namespace vantorel::model;

std::vector<HttpMethod> methods_of(const MethodMap& map) {
    std::vector<HttpMethod> out;
    for (const auto& entry : map) out.push_back(entry.method);
    return out;
}

TEST(MethodMap, IteratesInFirstInsertionOrder) {
    MethodMap map;
    std::vector<ProblemEntry> problems;
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(methods_of(map), std::vector<HttpMethod>{});

    OperationRecord* post = insert_operation_slot(map, HttpMethod::Post, "/pets", problems);
    OperationRecord* get = insert_operation_slot(map, HttpMethod::Get, "/pets", problems);
    ASSERT_NE(post, nullptr);
    ASSERT_NE(get, nullptr);
    // Slot order is insertion order, not byte order (the extraction visits keys sorted, so a
    // path item's "get" comes before its "post"; here they were inserted the other way round).
    EXPECT_EQ(methods_of(map), (std::vector<HttpMethod>{HttpMethod::Post, HttpMethod::Get}));
    EXPECT_EQ(map.order()[0], 4);
    EXPECT_EQ(map.order()[1], 1);
    EXPECT_EQ(map.get(HttpMethod::Post), post);
    EXPECT_EQ(map.get(HttpMethod::Get), get);
    EXPECT_EQ(map.get(HttpMethod::Delete), nullptr);
    EXPECT_EQ(map.get(HttpMethod::None), nullptr);
    EXPECT_TRUE(problems.empty());

    // A new record's starting values.
    EXPECT_EQ(get->ordinal, 4294967295u);
    EXPECT_EQ(get->hits, 0u);
    EXPECT_EQ(get->first_seen, 0.0);
    EXPECT_FALSE(get->operation_id.has_value());
    EXPECT_FALSE(get->shadowed_by.has_value());
    EXPECT_FALSE(get->has_default_response);
    EXPECT_FALSE(get->deprecated);
    EXPECT_TRUE(get->parameters.empty() && get->responses.empty() && get->unexpected_responses.empty());
    EXPECT_TRUE(get->default_response.bodies.empty());
    EXPECT_EQ(get->default_response.label_slot, 4294967295u);
}

TEST(MethodMap, DuplicateMethodKeepsTheFirstAndIsAProblem) {
    MethodMap map;
    std::vector<ProblemEntry> problems;
    OperationRecord* first = insert_operation_slot(map, HttpMethod::Get, "/pets", problems);
    ASSERT_NE(first, nullptr);
    first->operation_id = "listPets";
    EXPECT_EQ(insert_operation_slot(map, HttpMethod::Get, "/pets", problems), nullptr);

    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].path, "/pets");
    EXPECT_EQ(problems[0].method, 1);
    EXPECT_FALSE(problems[0].position.has_value());
    EXPECT_EQ(spec_problem_kind(problems[0].problem), "duplicate_operation");

    // No phantom operation: one slot, and it is the first record.
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(methods_of(map), std::vector<HttpMethod>{HttpMethod::Get});
    EXPECT_EQ(map.get(HttpMethod::Get), first);
    EXPECT_EQ(map.get(HttpMethod::Get)->operation_id, "listPets");
}

TEST(MethodMap, NineMethodsFitAndNothingElse) {
    MethodMap map;
    std::vector<ProblemEntry> problems;
    std::vector<OperationRecord*> records;
    // Reverse byte order, to see slot order kept.
    for (auto it = http::kHttpMethods.rbegin(); it != http::kHttpMethods.rend(); ++it) {
        records.push_back(insert_operation_slot(map, *it, "/all", problems));
        ASSERT_NE(records.back(), nullptr);
    }
    EXPECT_EQ(map.size(), 9u);
    std::vector<HttpMethod> expected(http::kHttpMethods.rbegin(), http::kHttpMethods.rend());
    EXPECT_EQ(methods_of(map), expected);
    // Records stay where they were put.
    for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(map.get(expected[i]), records[i]);
    for (std::size_t i = 9; i < 16; ++i) EXPECT_EQ(map.order()[i], 0);

    for (HttpMethod m : http::kHttpMethods) {
        auto again = map.insert(m);
        ASSERT_FALSE(again);
        EXPECT_EQ(again.error(), SlotRefusal::Duplicate);
    }
    for (unsigned byte : {0u, 5u, 255u}) {
        auto bad = map.insert(static_cast<HttpMethod>(byte));
        ASSERT_FALSE(bad);
        EXPECT_EQ(bad.error(), SlotRefusal::NotAMethod);
        EXPECT_EQ(insert_operation_slot(map, static_cast<HttpMethod>(byte), "/all", problems), nullptr);
    }
    EXPECT_EQ(problems.size(), 0u);  // bytes that are no method are the caller's fault, not the document's
    EXPECT_EQ(map.size(), 9u);

    // The changing and the reading form agree.
    const MethodMap& view = map;
    for (const auto& entry : view) EXPECT_EQ(&entry.record, map.get(entry.method));
}

}  // namespace
