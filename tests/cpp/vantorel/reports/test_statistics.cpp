#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/json.hpp"
#include "report_fixtures.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"
#include "vantorel/reports/statistics.hpp"
#include "zavova/coverage_state.hpp"

namespace {

using http::HttpMethod;
using report_fixtures::map_of;
using report_fixtures::operation;
using vantorel::model::OperationRecord;
using vantorel::recorders::CoverageMap;
using vantorel::reports::Dimension;
using vantorel::reports::Statistics;
using vantorel::reports::Thresholds;
using vantorel::reports::Timeline;
using vantorel::reports::TimelinePoint;
using zavova::EntryKind;
using zavova::Polarity;

void record(CoverageMap& map, HttpMethod method, const std::string& url, std::optional<std::uint16_t> status,
            double time, std::optional<std::string> body = std::nullopt) {
    auto request = http::build_request_record(method, url, std::nullopt, {});
    ASSERT_TRUE(request.has_value()) << url;
    http::Interaction interaction{std::move(request).value(), std::nullopt, time};
    if (status) {
        http::ResponseRecord response;
        response.status = *status;
        response.elapsed = 0.25f;
        response.body = std::move(body);
        response.headers.insert("Content-Type", "application/json");
        interaction.response = std::move(response);
    }
    vantorel::recorders::record_interaction(map, interaction);
}

Statistics statistics_of(const CoverageMap& map) {
    return vantorel::reports::compute_statistics(map, vantorel::reports::unmeasured_operations(map));
}

struct Entry {
    std::string location;
    EntryKind kind;
    std::uint64_t passed = 0;
    std::uint64_t failed = 0;
    double first_passed = 0;
    double first_failed = 0;
};

// Replaces a holder's state with one holding exactly these entries.
void set_entries(zavova::CoverageHolder& holder, const std::vector<Entry>& entries) {
    auto state = std::make_shared<zavova::CoverageState>();
    for (const Entry& e : entries) {
        state->entries.set(e.location, e.kind);
        zavova::KeywordEntry& k = *state->entries.find(e.location);
        k.passed = e.passed;
        k.failed = e.failed;
        k.first_passed = e.first_passed;
        k.first_failed = e.first_failed;
    }
    holder.state = std::move(state);
}

constexpr std::string_view kQueryOperation =
    R"("/items": {"get": {"parameters": [{"name": "q", "in": "query", "schema": {"type": "string"}}],
                          "responses": {"200": {"description": "ok", "content": {"application/json":
                              {"schema": {"type": "object"}}}}}}})";

const EntryKind kRoot = EntryKind::subschema(Polarity::Both);
const EntryKind kBoth = EntryKind::keyword(Polarity::Both);
const EntryKind kValidOnly = EntryKind::keyword(Polarity::ValidOnly);
const EntryKind kInvalidOnly = EntryKind::keyword(Polarity::InvalidOnly);

TEST(Statistics, EmptyMapCountsNothing) {
    CoverageMap map = map_of("");
    const Statistics stats = statistics_of(map);
    EXPECT_EQ(stats.operations.total, 0u);
    EXPECT_EQ(stats.parameters.total, 0u);
    EXPECT_EQ(stats.keywords.total, 0u);
    EXPECT_EQ(stats.examples.total, 0u);
    EXPECT_EQ(stats.responses.total, 0u);
    EXPECT_EQ(stats.responses.elapsed_total, 0.0f);
    EXPECT_EQ(stats.response_keywords.total, 0u);
    EXPECT_TRUE(stats.operations.timeline.empty() && stats.parameters.timeline.empty() &&
                stats.keywords.timeline.empty() && stats.examples.timeline.empty() && stats.responses.timeline.empty());
    for (std::size_t i = 0; i < vantorel::reports::kDimensionCount; ++i) {
        Thresholds thresholds{};
        thresholds[i] = 100.0;
        EXPECT_TRUE(vantorel::reports::check_thresholds(stats, thresholds).empty()) << i;
    }
}

TEST(Statistics, RecordedTrafficCountsOperationsResponsesAndParameters) {
    CoverageMap map = map_of(
        R"("/pets/{id}": {"get": {"parameters": [
                {"name": "id", "in": "path", "required": true, "schema": {"type": "integer", "minimum": 1}},
                {"name": "limit", "in": "query", "schema": {"type": "integer"}}],
              "responses": {"200": {"description": "ok"}, "404": {"description": "missing"},
                            "default": {"description": "other"}}},
            "delete": {"responses": {"204": {"description": "gone"}}}},
          "/owners": {"get": {"responses": {"200": {"description": "ok"}}}})");
    const Statistics before = statistics_of(map);
    EXPECT_EQ(before.operations.total, 3u);
    EXPECT_EQ(before.operations.seen, 0u);
    EXPECT_EQ(before.parameters.total, 3u);  // DELETE measures its undeclared `id` too
    EXPECT_EQ(before.parameters.positive + before.parameters.negative + before.parameters.full, 0u);
    EXPECT_EQ(before.responses.total, 5u);  // 200, 404 and default of GET, 204, 200

    record(map, HttpMethod::Get, "http://h/pets/3", 200, 50.0);
    record(map, HttpMethod::Get, "http://h/pets/0", 500, 60.0);  // fails minimum, reaches default
    record(map, HttpMethod::Get, "http://h/owners", 200, 50.0);
    const Statistics after = statistics_of(map);
    EXPECT_EQ(after.operations.seen, 2u);
    EXPECT_EQ(after.operations.timeline, (Timeline{{50.0, 2}}));
    EXPECT_EQ(after.responses.seen, 3u);
    EXPECT_EQ(after.responses.timeline, (Timeline{{50.0, 2}, {60.0, 1}}));
    EXPECT_FLOAT_EQ(after.responses.elapsed_total, 0.75f);
    // `id` passed and failed; `limit` was never sent.
    EXPECT_EQ(after.parameters.positive, 1u);
    EXPECT_EQ(after.parameters.negative, 1u);
    EXPECT_EQ(after.parameters.full + after.parameters.partial, 1u);
    EXPECT_GT(after.keywords.total, 0u);
    EXPECT_GE(after.keywords.positive, 1u);
}

TEST(Statistics, KeywordEntriesByPolarityLocationAndKind) {
    struct Case {
        std::string_view name;
        std::vector<Entry> entries;
        std::uint64_t total, positive, negative, partial, full;
        Timeline timeline;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"both sides seen", {{"/type", kBoth, 1, 1, 5, 7}}, 1, 1, 1, 0, 1, {{7, 1}}},
        {"only passing, both expected", {{"/type", kBoth, 1, 0, 5}}, 1, 1, 0, 1, 0, {}},
        {"only passing, passing expected", {{"/type", kValidOnly, 2, 0, 5}}, 1, 1, 0, 0, 1, {{5, 1}}},
        {"only failing, failing expected", {{"/not", kInvalidOnly, 0, 3, 0, 9}}, 1, 0, 1, 0, 1, {{9, 1}}},
        {"only failing, passing expected", {{"/type", kValidOnly, 0, 3, 0, 9}}, 1, 0, 1, 1, 0, {}},
        {"never seen", {{"/type", kBoth}}, 1, 0, 0, 0, 0, {}},
        {"root $ref skipped", {{"/$ref", kBoth, 1, 1, 5, 7}}, 0, 0, 0, 0, 0, {}},
        {"deeper $ref counted", {{"/properties/a/$ref", kBoth, 1, 1, 5, 7}}, 1, 1, 1, 0, 1, {{7, 1}}},
        {"NaN time ignored", {{"/type", kBoth, 1, 1, nan, 4}}, 1, 1, 1, 0, 1, {{4, 1}}},
        {"list items, subschemas and unmeasured not keywords",
         {{"/enum/0", EntryKind::list_item(Polarity::Both), 1, 1},
          {"/items", EntryKind::subschema(Polarity::Both), 1, 1},
          {"/pattern", EntryKind::unmeasured(zavova::UnmeasuredReason::InvalidPattern), 1, 1}},
         0,
         0,
         0,
         0,
         0,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(kQueryOperation);
        set_entries(operation(map, "/items").parameters.at(0).holder, c.entries);
        const Statistics stats = statistics_of(map);
        EXPECT_EQ(stats.keywords.total, c.total);
        EXPECT_EQ(stats.keywords.positive, c.positive);
        EXPECT_EQ(stats.keywords.negative, c.negative);
        EXPECT_EQ(stats.keywords.partial, c.partial);
        EXPECT_EQ(stats.keywords.full, c.full);
        EXPECT_EQ(stats.keywords.timeline, c.timeline);
    }
}

TEST(Statistics, ParameterGradesFromRootAndKeywords) {
    struct Case {
        std::string_view name;
        std::vector<Entry> entries;
        double covered_at;
        std::uint64_t positive, negative, partial, full;
        Timeline timeline;
    };
    const Case cases[] = {
        {"no keywords, root never seen", {{"", kRoot}}, 0, 0, 0, 0, 0, {}},
        {"no keywords, root passed", {{"", kRoot, 1, 0, 3}}, 3, 1, 0, 0, 1, {{3, 1}}},
        {"no root entry at all", {}, 0, 0, 0, 0, 0, {}},
        {"keyword partial", {{"", kRoot, 2, 0, 3}, {"/minimum", kBoth, 2, 0, 3}}, 0, 1, 0, 1, 0, {}},
        {"keyword full, root both",
         {{"", kRoot, 2, 1, 3, 4}, {"/minimum", kBoth, 2, 1, 3, 4}},
         4,
         1,
         1,
         0,
         1,
         {{4, 1}}},
        {"examples do not hold back full",
         {{"", kRoot, 1, 0, 3}, {"/examples/0", EntryKind::example()}},
         3,
         1,
         0,
         0,
         1,
         {{3, 1}}},
        {"inner subschema is no root", {{"/items", kRoot, 1, 1, 3, 3}}, 0, 0, 0, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CoverageMap map = map_of(kQueryOperation);
        auto& holder = operation(map, "/items").parameters.at(0).holder;
        set_entries(holder, c.entries);
        holder.covered_at = c.covered_at;
        const Statistics stats = statistics_of(map);
        EXPECT_EQ(stats.parameters.total, 1u);
        EXPECT_EQ(stats.parameters.positive, c.positive);
        EXPECT_EQ(stats.parameters.negative, c.negative);
        EXPECT_EQ(stats.parameters.partial, c.partial);
        EXPECT_EQ(stats.parameters.full, c.full);
        EXPECT_EQ(stats.parameters.timeline, c.timeline);
    }
}

TEST(Statistics, ExamplesAndResponseKeywords) {
    CoverageMap map = map_of(kQueryOperation);
    OperationRecord& op = operation(map, "/items");
    set_entries(op.parameters.at(0).holder, {{"/examples/0", EntryKind::example(), 1, 0, 8},
                                             {"/examples/1", EntryKind::example()},
                                             {"/examples/2", EntryKind::example(), 1, 0, 0}});
    ASSERT_FALSE(op.responses.at(0).bodies.empty());
    set_entries(op.responses.at(0).bodies.at(0).holder, {{"", kBoth, 1, 1},
                                                         {"/$ref", kBoth, 1, 1},
                                                         {"/type", kBoth, 1, 0},
                                                         {"/required", kBoth, 0, 2},
                                                         {"/maxProperties", kBoth},
                                                         {"/properties", kRoot, 1, 1}});
    const Statistics stats = statistics_of(map);
    EXPECT_EQ(stats.examples.total, 3u);
    EXPECT_EQ(stats.examples.seen, 2u);
    EXPECT_EQ(stats.examples.timeline, (Timeline{{8, 1}}));  // a time of 0 counts but is never plotted
    EXPECT_EQ(stats.response_keywords.total, 3u);
    EXPECT_EQ(stats.response_keywords.reached, 2u);
    EXPECT_EQ(stats.response_keywords.violated, 1u);
}

TEST(Statistics, UnroutableTemplatesLeaveNeverHitOperationsOut) {
    CoverageMap map = map_of(
        R"("/broken/{id": {"get": {"parameters": [{"name": "q", "in": "query", "schema": {"type": "string"}}],
                                   "responses": {"200": {"description": "ok"}}},
                           "post": {"responses": {"201": {"description": "made"}}}},
          "/fine": {"get": {"responses": {"200": {"description": "ok"}}}})");
    ASSERT_TRUE(map.routes.unroutable_templates.contains("/broken/{id"));
    auto unmeasured = vantorel::reports::unmeasured_operations(map);
    EXPECT_EQ(unmeasured.size(), 2u);
    EXPECT_TRUE(vantorel::reports::is_unmeasured(unmeasured, "/broken/{id", HttpMethod::Get));
    EXPECT_FALSE(vantorel::reports::is_unmeasured(unmeasured, "/fine", HttpMethod::Get));
    Statistics stats = vantorel::reports::compute_statistics(map, unmeasured);
    EXPECT_EQ(stats.operations.total, 1u);
    EXPECT_EQ(stats.parameters.total, 0u);
    EXPECT_EQ(stats.responses.total, 1u);

    OperationRecord& get = operation(map, "/broken/{id");
    get.hits = 1;
    get.first_seen = 12;
    unmeasured = vantorel::reports::unmeasured_operations(map);
    EXPECT_EQ(unmeasured.size(), 1u);
    stats = vantorel::reports::compute_statistics(map, unmeasured);
    EXPECT_EQ(stats.operations.total, 2u);
    EXPECT_EQ(stats.operations.seen, 1u);
    EXPECT_EQ(stats.operations.timeline, (Timeline{{12, 1}}));
    EXPECT_EQ(stats.parameters.total, 2u);  // `q` and the template's undeclared `id`
    EXPECT_EQ(stats.responses.total, 2u);
}

TEST(Statistics, TimelinesSortStablyAndMergeEqualTimes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    Timeline t{{5, 1}, {-0.0, 1}, {1, 2}, {0.0, 1}, {5, max - 1}, {nan, 1}, {1, 3}, {nan, 1}};
    vantorel::reports::normalise_timeline(t);
    ASSERT_EQ(t.size(), 5u);
    EXPECT_TRUE(std::signbit(t[0].time));  // -0 sorts before +0 and the run keeps its first time
    EXPECT_EQ(t[0].count, 2u);
    EXPECT_EQ(t[1], (TimelinePoint{1, 5}));
    EXPECT_EQ(t[2], (TimelinePoint{5, max}));                     // saturates instead of wrapping
    EXPECT_TRUE(std::isnan(t[3].time) && std::isnan(t[4].time));  // NaN equals nothing
}

TEST(Statistics, ThresholdsCompareStrictlyInDimensionOrder) {
    Statistics stats;
    stats.operations = {1, 2, {}};
    stats.parameters.full = 3;
    stats.parameters.total = 4;
    stats.keywords.full = 1;
    stats.keywords.total = 3;
    stats.examples = {0, 2, {}};
    stats.responses.total = 0;
    stats.response_keywords = {5, 0, 5};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string_view name;
        Thresholds thresholds;
        std::vector<std::pair<Dimension, double>> failures;  // dimension, actual
    };
    const Case cases[] = {
        {"none set", {}, {}},
        {"3 of 4 below 80", {std::nullopt, 80.0}, {{Dimension::Parameters, 75.0}}},
        {"exactly at minimum", {50.0}, {}},
        {"zero never fails", {0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, {}},
        {"above 100 fails where there is data",
         {101.0, 101.0, 101.0, 101.0, 101.0, 101.0},
         {{Dimension::Operations, 50.0},
          {Dimension::Parameters, 75.0},
          {Dimension::Keywords, 100.0 / 3.0},
          {Dimension::Examples, 0.0},
          {Dimension::ResponseKeywords, 100.0}}},
        {"NaN never fails", {nan, nan, nan, nan, nan, nan}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto failures = vantorel::reports::check_thresholds(stats, c.thresholds);
        ASSERT_EQ(failures.size(), c.failures.size());
        for (std::size_t i = 0; i < failures.size(); ++i) {
            EXPECT_EQ(failures[i].dimension, c.failures[i].first);
            EXPECT_EQ(failures[i].actual, c.failures[i].second);
            EXPECT_EQ(failures[i].minimum, *c.thresholds[static_cast<std::size_t>(failures[i].dimension)]);
        }
    }
    EXPECT_EQ(vantorel::reports::coverage_percent({1, 3}), 33.333333333333336);
    EXPECT_EQ(vantorel::reports::coverage_percent({0, 0}), std::nullopt);
    EXPECT_EQ(vantorel::reports::dimension_name(Dimension::ResponseKeywords), "response_keywords");
}

}  // namespace
