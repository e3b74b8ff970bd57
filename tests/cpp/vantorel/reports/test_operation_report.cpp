#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report_model_fixtures.hpp"
#include "vantorel/reports/operation_report.hpp"
#include "vantorel/reports/orderings.hpp"
#include "vantorel/reports/report_model.hpp"
#include "vantorel/reports/statistics.hpp"

namespace {

using namespace report_fixtures;
using vantorel::reports::build_operation_report;
using vantorel::reports::KeywordRow;
using vantorel::reports::KeywordState;
using vantorel::reports::OperationReport;
using vantorel::reports::ResponseKeywordState;

TEST(StatusPattern, ThreeCharactersDigitOrX) {
    struct Case {
        std::vector<int> digits;  // -1: wildcard
        std::string_view text;
    };
    const Case cases[] = {
        {{2, 0, 0}, "200"},   {{2, -1, -1}, "2XX"},  {{2, 0, -1}, "20X"},
        {{-1, 0, -1}, "X0X"}, {{-1, -1, -1}, "XXX"}, {{5, -1, -1}, "5XX"},
    };
    for (const Case& c : cases) {
        vantorel::model::StatusPattern pattern;
        for (int i = 0; i < 3; ++i) {
            pattern.positions[i].present = c.digits[i] >= 0;
            pattern.positions[i].digit = static_cast<std::uint8_t>(c.digits[i] < 0 ? 0 : c.digits[i]);
        }
        EXPECT_EQ(vantorel::reports::format_status_pattern(pattern), c.text);
    }
}

constexpr std::string_view kPets =
    R"("/pets": {"get": {"operationId": "listPets",
        "parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer"}},
                       {"name": "tag", "in": "query", "schema": {"type": "string"}}],
        "responses": {"200": {"description": "ok", "content": {"application/json; charset=utf-8":
                          {"schema": {"type": "object"}}}},
                      "4XX": {"description": "bad"},
                      "default": {"description": "other"}}}})";

TEST(OperationReport, KeywordRowsByStateSortedBySchemaPath) {
    CoverageMap map = map_of(kPets);
    OperationRecord& op = operation(map, "/pets");
    op.hits = 3;
    op.parameters[0].holder.hits = 3;
    set_entries(op.parameters[0].holder,
                {
                    {"", kRoot, 3, 0},
                    {"/type", kBoth, 2, 1},            // full: no row
                    {"/zeta", kBoth, 0, 0},            // miss
                    {"/minimum", kBoth, 0, 4},         // partial, only failed
                    {"/maximum", kInvalidOnly, 0, 2},  // full by polarity
                    {"/$ref", kBoth, 0, 0},            // never counted
                    {"/examples/0", EntryKind::example(), 1, 0},
                    {"/alpha", kValidOnly, 0, 0},  // miss
                    {"/pattern", EntryKind::unmeasured(zavova::UnmeasuredReason::InvalidPattern)},
                });
    const auto built = build_operation_report("GET", "/pets", op);
    const auto& p = built.report.parameters[0];
    EXPECT_EQ(p.name, "limit");
    EXPECT_FALSE(p.is_body);
    EXPECT_EQ(p.hits, 3u);
    EXPECT_EQ(p.coverage.covered, 2u);
    EXPECT_EQ(p.coverage.partial, 1u);
    EXPECT_EQ(p.coverage.total, 5u);
    ASSERT_TRUE(p.coverage.percent.has_value());
    EXPECT_DOUBLE_EQ(*p.coverage.percent, 40.0);
    const std::vector<KeywordRow> expected = {
        {"/alpha", KeywordState::Miss, std::nullopt, std::nullopt, std::nullopt},
        {"/minimum", KeywordState::Partial, 0u, 4u, std::nullopt},
        {"/pattern", KeywordState::Unsupported, std::nullopt, std::nullopt, "invalid_pattern"},
        {"/zeta", KeywordState::Miss, std::nullopt, std::nullopt, std::nullopt},
    };
    EXPECT_EQ(p.keywords, expected);
    EXPECT_EQ(built.report.coverage.examples.covered, 1u);
    EXPECT_EQ(built.report.coverage.examples.total, 1u);
    EXPECT_EQ(built.report.operation_id, "listPets");
    EXPECT_EQ(built.coverage, built.report.coverage);
}

// The parameter figure is the one definition statistics use: reached (root passed or failed) and
// every counted keyword fully covered; a hit count alone never makes a parameter covered.
TEST(OperationReport, ParameterStandingAgreesWithStatistics) {
    struct Case {
        const char* name;
        std::uint64_t hits;
        std::vector<Entry> entries;
        std::uint64_t covered;
        std::uint64_t partial;
    };
    const std::vector<Case> cases = {
        {"never reached", 0, {{"", kRoot}, {"/type", kBoth}}, 0, 0},
        {"hit but root never traced", 2, {{"", kRoot}, {"/type", kBoth, 1, 1}}, 0, 0},
        {"reached, no counted keyword", 1, {{"", kRoot, 1, 0}}, 1, 0},
        {"reached, all full", 1, {{"", kRoot, 1, 1}, {"/type", kBoth, 1, 1}}, 1, 0},
        {"reached, one partial", 1, {{"", kRoot, 1, 0}, {"/type", kBoth, 1, 0}}, 0, 1},
        {"reached invalid only, polarity full", 1, {{"", kRoot, 0, 1}, {"/not", kInvalidOnly, 0, 1}}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(kPets);
        OperationRecord& op = operation(map, "/pets");
        op.parameters[0].holder.hits = c.hits;
        set_entries(op.parameters[0].holder, c.entries);
        set_entries(op.parameters[1].holder, {});
        const auto built = build_operation_report("GET", "/pets", op);
        EXPECT_EQ(built.report.coverage.parameters.covered, c.covered);
        EXPECT_EQ(built.report.coverage.parameters.partial, c.partial);
        EXPECT_EQ(built.report.coverage.parameters.total, 2u);

        const auto stats = vantorel::reports::compute_statistics(map, vantorel::reports::unmeasured_operations(map));
        EXPECT_EQ(stats.parameters.full, c.covered);
        EXPECT_EQ(stats.parameters.partial, c.partial);
        const auto summary =
            vantorel::reports::summarize_operations(map, vantorel::reports::unmeasured_operations(map));
        EXPECT_EQ(summary.parameters.covered, stats.parameters.full);
        EXPECT_EQ(summary.parameters.partial, stats.parameters.partial);
        EXPECT_EQ(summary.keywords.covered, stats.keywords.full);
        EXPECT_EQ(summary.keywords.partial, stats.keywords.partial);
        EXPECT_EQ(summary.keywords.total, stats.keywords.total);
    }
}

TEST(OperationReport, ResponsesDefaultLastUnexpectedAndAverages) {
    CoverageMap map = map_of(kPets);
    OperationRecord& op = operation(map, "/pets");
    ASSERT_EQ(op.responses.size(), 2u);
    op.responses[0].hits = 4;
    op.responses[0].elapsed_total = 2.0f;
    ASSERT_EQ(op.responses[0].bodies.size(), 1u);
    set_entries(op.responses[0].bodies[0].holder, {
                                                      {"", kRoot, 4, 0},             // root: not counted
                                                      {"/type", kBoth, 3, 0},        // reached, no row
                                                      {"/required", kBoth, 2, 1},    // mixed
                                                      {"/properties", kBoth, 0, 2},  // violating
                                                      {"/additional", kBoth, 0, 0},  // not reached
                                                      {"/$ref", kBoth, 0, 5},        // never counted
                                                  });
    op.unexpected_responses.push_back({503, 2, 0.5f, 7.0});
    op.errors.insert("b");
    op.errors.insert("a");
    op.errors.insert("ab");
    const OperationReport report = build_operation_report("GET", "/pets", op).report;
    ASSERT_EQ(report.responses.size(), 3u);
    EXPECT_EQ(report.responses[0].status, "200");
    EXPECT_EQ(report.responses[0].avg_elapsed_ms, 500.0f);
    EXPECT_EQ(report.responses[1].status, "4XX");
    EXPECT_FALSE(report.responses[1].avg_elapsed_ms.has_value());
    EXPECT_EQ(report.responses[2].status, "default");
    const auto& body = report.responses[0].bodies[0];
    EXPECT_EQ(body.media_type, "application/json");
    EXPECT_EQ(body.coverage.reached, 3u);
    EXPECT_EQ(body.coverage.violated, 2u);
    EXPECT_EQ(body.coverage.total, 4u);
    ASSERT_EQ(body.keywords.size(), 2u);
    EXPECT_EQ(body.keywords[0].schema_path, "/properties");
    EXPECT_EQ(body.keywords[0].state, ResponseKeywordState::Violating);
    EXPECT_EQ(body.keywords[0].valid, 0u);
    EXPECT_EQ(body.keywords[1].schema_path, "/required");
    EXPECT_EQ(body.keywords[1].state, ResponseKeywordState::Mixed);
    EXPECT_EQ(report.coverage.responses.covered, 1u);
    EXPECT_EQ(report.coverage.responses.total, 3u);
    EXPECT_EQ(report.coverage.response_keywords.reached, 3u);
    ASSERT_EQ(report.unexpected_responses.size(), 1u);
    EXPECT_EQ(report.unexpected_responses[0].status, "503");
    EXPECT_EQ(report.unexpected_responses[0].avg_elapsed_ms, 250.0f);
    EXPECT_TRUE(report.unexpected_responses[0].bodies.empty());
    EXPECT_EQ(report.errors, (std::vector<std::string>{"a", "ab", "b"}));
}

TEST(OperationReport, NoParametersAndShadowingWarningOnlyWhileUnhit) {
    CoverageMap map = map_of(R"("/a": {"get": {"responses": {"200": {"description": "ok"}}}})");
    OperationRecord& op = operation(map, "/a");
    op.shadowed_by = "/{x}";
    auto report = build_operation_report("GET", "/a", op).report;
    EXPECT_EQ(report.coverage.parameters, (vantorel::reports::PartialCoverageRatio{0, 0, 0, std::nullopt}));
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0].by, "/{x}");
    op.hits = 1;
    EXPECT_TRUE(build_operation_report("GET", "/a", op).report.warnings.empty());
}

TEST(OperationReport, SummedCountersSaturate) {
    vantorel::reports::OperationCoverage a;
    a.keywords.total = ~std::uint64_t{0} - 1;
    a.response_keywords.reached = ~std::uint64_t{0};
    vantorel::reports::OperationCoverage b;
    b.keywords.total = 5;
    b.response_keywords.reached = 1;
    vantorel::reports::add_coverage(a, b);
    EXPECT_EQ(a.keywords.total, ~std::uint64_t{0});
    EXPECT_EQ(a.response_keywords.reached, ~std::uint64_t{0});
    EXPECT_EQ(vantorel::reports::saturating_add(1, 2), 3u);
}

TEST(Orderings, ComparatorsFollowTheirKeys) {
    using vantorel::reports::ReportSortKey;
    // Gaps: path, method name, kind rank, details.
    EXPECT_TRUE(vantorel::reports::report_item_less({"/a", "GET", 6, "", ""}, {"/a/x", "DELETE", 0, "", ""}));
    EXPECT_TRUE(vantorel::reports::report_item_less({"/a/x", "GET", 0, "", ""}, {"/b", "DELETE", 0, "", ""}));
    EXPECT_TRUE(vantorel::reports::report_item_less({"/a", "DELETE", 6, "", ""}, {"/a", "GET", 0, "", ""}));
    EXPECT_TRUE(vantorel::reports::report_item_less({"/a", "POST", 0, "", ""}, {"/a", "PUT", 0, "", ""}));
    EXPECT_TRUE(vantorel::reports::report_item_less({"/a", "GET", 3, "q", "/z"}, {"/a", "GET", 4, "a", ""}));
    EXPECT_FALSE(vantorel::reports::report_item_less({"/a", "GET", 1, "", ""}, {"/a", "GET", 1, "", ""}));

    using vantorel::reports::UnmatchedKey;
    const UnmatchedKey get3{HttpMethod::Get, "h", "/p", 3, 5.0};
    const UnmatchedKey post10{HttpMethod::Post, "h", "/p", 10, 2.0};
    const UnmatchedKey post3{HttpMethod::Post, "a", "/a", 3, 1.0};
    EXPECT_TRUE(vantorel::reports::unmatched_group_less(post10, get3));
    EXPECT_TRUE(vantorel::reports::unmatched_group_less(get3, post3));  // "GET" < "POST" before host
    EXPECT_TRUE(vantorel::reports::unmatched_row_less(post10, get3));   // earlier first
    EXPECT_TRUE(vantorel::reports::unmatched_row_less(post3, post10));
    // Methods by name, not by byte: DELETE (8) before GET (1).
    EXPECT_TRUE(vantorel::reports::method_name_less(HttpMethod::Delete, HttpMethod::Get));
    EXPECT_TRUE(vantorel::reports::method_name_less(HttpMethod::Query, HttpMethod::Trace));

    std::vector<std::pair<std::string, std::string>> rows = {
        {"GET", "/a"}, {"DELETE", "/b"}, {"PUT", "/a"}, {"POST", "/c"}};
    std::stable_sort(rows.begin(), rows.end(), [](const auto& x, const auto& y) {
        return vantorel::reports::compare_by_method_rank(x.first, x.second, y.first, y.second);
    });
    const std::vector<std::pair<std::string, std::string>> ranked = {
        {"DELETE", "/b"}, {"POST", "/c"}, {"GET", "/a"}, {"PUT", "/a"}};
    EXPECT_EQ(rows, ranked);

    EXPECT_TRUE(vantorel::reports::group_order_less("users", "Users", "other", "other"));
    EXPECT_FALSE(vantorel::reports::group_order_less("a", "other", "z", "Zebra"));
    EXPECT_TRUE(vantorel::reports::group_order_less("accounts", "Accounts", "users", "Users"));

    struct Media {
        std::string_view range;
        int specificity;
    };
    const Media media[] = {{"*/*", 0},
                           {"text/*", 1},
                           {"*/json", 1},
                           {"application/json", 2},
                           {"application/problem+json", 2},
                           {"application/json; charset=utf-8", 2}};
    for (const Media& m : media)
        EXPECT_EQ(vantorel::reports::media_range_specificity(m.range), m.specificity) << m.range;

    EXPECT_TRUE(vantorel::reports::total_order_less(-0.0, 0.0));
    EXPECT_TRUE(vantorel::reports::total_order_less(1.0, std::numeric_limits<double>::quiet_NaN()));
}

}  // namespace
