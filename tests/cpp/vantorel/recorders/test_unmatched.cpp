// Unmatched-request groups: keys, first times, the group cap with its overflow, saturation and
// the cut of long paths.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "vantorel/recorders/unmatched.hpp"

namespace {

using namespace vantorel::recorders;
using http::HttpMethod;

constexpr auto kNoPath = UnmatchedReason::NoMatchingPath;
constexpr auto kNoMethod = UnmatchedReason::MethodNotDocumented;
constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(UnmatchedRequests, GroupsByMethodHostAndPath) {
    UnmatchedRequests u;
    u.record(HttpMethod::Get, "h", "/x", kNoPath, 1, 10.0, false);
    u.record(HttpMethod::Get, "h", "/x", kNoMethod, 1, 5.0, false);
    ASSERT_EQ(u.size(), 1u);
    const UnmatchedGroup* g = u.find(HttpMethod::Get, "h", "/x");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->count, 2u);
    EXPECT_EQ(g->first_seen, 10.0);  // live recording keeps the first request's time
    EXPECT_EQ(g->reason, kNoPath);   // the key, not the reason, decides the group
    EXPECT_EQ(g->method, HttpMethod::Get);

    u.record(HttpMethod::Get, "other", "/x", kNoPath, 1, 1.0, false);
    u.record(HttpMethod::Post, "h", "/x", kNoPath, 1, 1.0, false);
    u.record(HttpMethod::Get, "", "/x", kNoPath, 1, 1.0, false);
    EXPECT_EQ(u.size(), 4u);
    EXPECT_EQ(u.overflow(), 0u);
}

// Joined with the 0x1F separator, both of these would read "GET\x1F" "a\x1F" "b\x1F/c".
TEST(UnmatchedRequests, SeparatorBytesInHostOrPathNeverMergeGroups) {
    UnmatchedRequests u;
    u.record(HttpMethod::Get,
             "a\x1F"
             "b",
             "/c", kNoPath, 1, 1.0, false);
    u.record(HttpMethod::Get, "a", "b\x1F/c", kNoPath, 1, 2.0, false);
    u.record(HttpMethod::Get, "", "\x1F\x1F", kNoPath, 1, 3.0, false);
    u.record(HttpMethod::Get, "\x1F", "\x1F", kNoPath, 1, 4.0, false);
    ASSERT_EQ(u.size(), 4u);
    EXPECT_EQ(u.find(HttpMethod::Get,
                     "a\x1F"
                     "b",
                     "/c")
                  ->first_seen,
              1.0);
    EXPECT_EQ(u.find(HttpMethod::Get, "a", "b\x1F/c")->first_seen, 2.0);
    EXPECT_EQ(u.find(HttpMethod::Get, "\x1F", "\x1F")->first_seen, 4.0);
    EXPECT_EQ(u.find(HttpMethod::Get, "a", "b"), nullptr);
}

TEST(UnmatchedRequests, MergedTimesKeepTheEarliestKnown) {
    struct Case {
        double existing, merged, expected;
    };
    const Case cases[] = {
        {10.0, 3.0, 3.0},    // an earlier time lowers
        {10.0, 12.0, 10.0},  // a later one does not
        {10.0, 0.0, 10.0},   // unknown leaves it
        {0.0, 7.0, 7.0},     // a group without a time takes one
        {std::nan(""), 7.0, 7.0}, {5.0, std::numeric_limits<double>::infinity(), 5.0},
    };
    for (const Case& c : cases) {
        UnmatchedRequests u;
        u.record(HttpMethod::Put, "h", "/p", kNoPath, 1, c.existing, false);
        u.record(HttpMethod::Put, "h", "/p", kNoPath, 4, c.merged, true);
        const UnmatchedGroup* g = u.find(HttpMethod::Put, "h", "/p");
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->first_seen, c.expected) << c.existing << " then " << c.merged;
        EXPECT_EQ(g->count, 5u);
    }

    // Times that are not finite are stored as unknown.
    UnmatchedRequests u;
    u.record(HttpMethod::Get, "h", "/nan", kNoPath, 1, std::nan(""), false);
    u.record(HttpMethod::Get, "h", "/inf", kNoPath, 1, -std::numeric_limits<double>::infinity(), false);
    EXPECT_EQ(u.find(HttpMethod::Get, "h", "/nan")->first_seen, 0.0);
    EXPECT_EQ(u.find(HttpMethod::Get, "h", "/inf")->first_seen, 0.0);
}

TEST(UnmatchedRequests, CapOverflowAndSaturation) {
    UnmatchedRequests u;
    for (std::size_t i = 0; i < kMaxUnmatchedGroups; ++i) {
        u.record(HttpMethod::Get, "h", "/p" + std::to_string(i), kNoPath, 1, 1.0, false);
    }
    ASSERT_EQ(u.size(), kMaxUnmatchedGroups);
    u.record(HttpMethod::Get, "h", "/new", kNoPath, 1, 1.0, false);
    u.record(HttpMethod::Post, "h", "/p0", kNoPath, 3, 1.0, false);
    EXPECT_EQ(u.size(), kMaxUnmatchedGroups);
    EXPECT_EQ(u.overflow(), 4u);
    EXPECT_EQ(u.find(HttpMethod::Get, "h", "/new"), nullptr);
    u.record(HttpMethod::Get, "h", "/p999", kNoPath, 1, 1.0, false);
    EXPECT_EQ(u.find(HttpMethod::Get, "h", "/p999")->count, 2u);
    EXPECT_EQ(u.overflow(), 4u);

    u.record(HttpMethod::Get, "h", "/p1", kNoPath, kMax, 1.0, true);
    EXPECT_EQ(u.find(HttpMethod::Get, "h", "/p1")->count, kMax);
    u.record(HttpMethod::Get, "h", "/p1", kNoPath, 1, 1.0, false);
    EXPECT_EQ(u.find(HttpMethod::Get, "h", "/p1")->count, kMax);
    u.record(HttpMethod::Get, "h", "/other", kNoPath, kMax, 1.0, true);
    EXPECT_EQ(u.overflow(), kMax);
    u.add_overflow(1);
    EXPECT_EQ(u.overflow(), kMax);
}

TEST(UnmatchedRequests, LongPathsAreCutAt120Characters) {
    const std::string a120(120, 'a');
    EXPECT_EQ(cut_unmatched_path(""), "");
    EXPECT_EQ(cut_unmatched_path(a120), a120);
    EXPECT_EQ(cut_unmatched_path(a120 + "b"), a120 + "...");
    EXPECT_EQ(cut_unmatched_path(std::string(200, 'x')), std::string(120, 'x') + "...");

    // Characters, not bytes: 130 "é" keep 120 of them whole.
    std::string e130, e120;
    for (int i = 0; i < 130; ++i) e130 += "\xC3\xA9";
    for (int i = 0; i < 120; ++i) e120 += "\xC3\xA9";
    EXPECT_EQ(cut_unmatched_path(e130), e120 + "...");
    EXPECT_EQ(cut_unmatched_path(std::string(119, 'a') + "\xF0\x9F\x98\x80"
                                                         "z"),
              std::string(119, 'a') + "\xF0\x9F\x98\x80...");

    // Stray bytes count one each, so no input escapes the cut.
    EXPECT_EQ(cut_unmatched_path(std::string(300, '\x80')), std::string(120, '\x80') + "...");

    EXPECT_EQ(unmatched_reason_name(kNoPath), "no_matching_path");
    EXPECT_EQ(unmatched_reason_name(kNoMethod), "method_not_documented");
}

}  // namespace
