#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"
#include "vantorel/reports/coverage_gaps.hpp"
#include "vantorel/reports/diagnostics.hpp"
#include "zavova/coverage_state.hpp"

namespace {

using http::HttpMethod;
using vantorel::model::OperationRecord;
using vantorel::recorders::CoverageMap;
using vantorel::reports::CoverageGap;
using vantorel::reports::GapKind;
using zavova::EntryKind;
using zavova::Polarity;

CoverageMap gaps_map(std::string_view paths) {
    const std::string text = R"({"openapi": "3.1.0", "paths": {)" + std::string(paths) + "}}";
    auto v = deririrore::value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return vantorel::recorders::build_coverage_map(v.has_value() ? std::move(v).value() : deririrore::value::Value(),
                                                   std::nullopt, std::nullopt);
}

OperationRecord& gaps_operation(CoverageMap& map, std::string_view route, HttpMethod method = HttpMethod::Get) {
    auto* methods = map.routes.paths.find(route);
    if (methods == nullptr) throw std::runtime_error("no path " + std::string(route));
    auto* op = vantorel::model::get_operation(*methods, method);
    if (op == nullptr) throw std::runtime_error("no operation " + std::string(route));
    return *op;
}

struct GapEntry {
    std::string location;
    EntryKind kind;
    std::uint64_t passed = 0;
    std::uint64_t failed = 0;
};

void set_gap_entries(zavova::CoverageHolder& holder, const std::vector<GapEntry>& entries) {
    auto state = std::make_shared<zavova::CoverageState>();
    for (const GapEntry& e : entries) {
        state->entries.set(e.location, e.kind);
        zavova::KeywordEntry& k = *state->entries.find(e.location);
        k.passed = e.passed;
        k.failed = e.failed;
    }
    holder.state = std::move(state);
}

// "kind method path detail..." per gap, so that a whole list compares in one assertion.
std::vector<std::string> describe(const std::vector<CoverageGap>& gaps) {
    std::vector<std::string> out;
    for (const CoverageGap& g : gaps) {
        std::string line = std::string(vantorel::reports::gap_kind_name(g.kind)) + " " +
                           std::string(http::method_name(g.method)) + " " + g.path;
        switch (g.kind) {
            case GapKind::OperationUnseen:
                break;
            case GapKind::ResponseUncovered:
                line += " " + g.status;
                break;
            default:
                line += " " + std::string(vantorel::reports::location_name(g.location)) + ":" + g.parameter;
                if (!g.schema_path.empty()) {
                    line += " " + g.schema_path + " " +
                            std::string(vantorel::reports::satisfiability_name(g.satisfiability));
                }
        }
        out.push_back(std::move(line));
    }
    return out;
}

TEST(CoverageGaps, NeverCalledOperationListsOperationResponsesDefaultThenParameters) {
    CoverageMap map = gaps_map(
        R"("/pets": {"get": {"parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer",
                                                                                      "minimum": 1}}],
                             "responses": {"404": {"description": "no"}, "2XX": {"description": "ok"},
                                           "default": {"description": "other"}}}})");
    EXPECT_EQ(describe(vantorel::reports::collect_coverage_gaps(map)),
              (std::vector<std::string>{"operation_unseen GET /pets", "response_uncovered GET /pets 404",
                                        "response_uncovered GET /pets 2XX", "response_uncovered GET /pets default",
                                        "parameter_uncovered GET /pets query:limit"}));
}

TEST(CoverageGaps, OrderIsPathThenMethodNameThenKind) {
    CoverageMap map = gaps_map(
        R"("/b": {"get": {"responses": {"200": {"description": "ok"}}}},
           "/a/x": {"put": {"responses": {"200": {"description": "ok"}}},
                    "post": {"responses": {"200": {"description": "ok"}}}},
           "/a": {"get": {"responses": {"200": {"description": "ok"}}},
                  "delete": {"responses": {"200": {"description": "ok"}}}})");
    std::vector<std::string> lines;
    for (const CoverageGap& g : vantorel::reports::collect_coverage_gaps(map)) {
        if (g.kind == GapKind::OperationUnseen)
            lines.push_back(std::string(http::method_name(g.method)) + " " + g.path);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"DELETE /a", "GET /a", "POST /a/x", "PUT /a/x", "GET /b"}));
}

TEST(CoverageGaps, KeywordEntriesByCountersAndPolarity) {
    CoverageMap map = gaps_map(
        R"("/items": {"get": {"parameters": [{"name": "q", "in": "query", "schema": {"type": "string"}}],
                              "responses": {"200": {"description": "ok"}}}})");
    OperationRecord& op = gaps_operation(map, "/items");
    op.hits = 1;
    op.responses[0].hits = 1;
    ASSERT_EQ(op.parameters.size(), 1u);
    vantorel::model::ParameterTarget& q = op.parameters[0];
    q.holder.hits = 1;
    const EntryKind normal = EntryKind::keyword(Polarity::Both);
    const EntryKind positive = EntryKind::keyword(Polarity::ValidOnly);
    const EntryKind negative = EntryKind::keyword(Polarity::InvalidOnly);
    set_gap_entries(q.holder, {
                                  {"/z_both", normal, 1, 1},               // covered
                                  {"/y_passed", normal, 2, 0},             // needs invalid
                                  {"/x_passed_positive", positive, 2, 0},  // covered
                                  {"/w_failed", normal, 0, 3},             // needs valid
                                  {"/v_failed_negative", negative, 0, 3},  // covered
                                  {"/u_never", positive, 0, 0},            // miss even when only valid is wanted
                                  {"/t_passed_negative", negative, 1, 0},  // needs invalid
                                  {"/$ref", normal, 0, 0},                 // hydration's hop: never a gap
                                  {"", normal, 0, 0},                      // the whole schema: never a gap
                                  {"/s_list", EntryKind::list_item(Polarity::Both), 0, 0},
                                  {"/r_skipped", EntryKind::unmeasured(zavova::UnmeasuredReason::Annotation), 0, 0},
                              });
    EXPECT_EQ(describe(vantorel::reports::collect_coverage_gaps(map)),
              (std::vector<std::string>{
                  "keyword_miss GET /items query:q /u_never Positive",
                  "keyword_needs_valid GET /items query:q /w_failed Normal",
                  "keyword_needs_invalid GET /items query:q /t_passed_negative Negative",
                  "keyword_needs_invalid GET /items query:q /y_passed Normal",
              }));
}

TEST(CoverageGaps, ExamplesCarryTheValueAtTheirLocation) {
    CoverageMap map = gaps_map(
        R"("/items": {"post": {"requestBody": {"content": {"application/json": {"schema":
                {"type": "object", "properties": {"n": {"type": "integer", "examples": [7, {"a": null}]}}}}}},
            "responses": {"200": {"description": "ok"}}}})");
    OperationRecord& op = gaps_operation(map, "/items", HttpMethod::Post);
    op.hits = 1;
    op.responses[0].hits = 1;
    ASSERT_EQ(op.parameters.size(), 1u);
    vantorel::model::ParameterTarget& body = op.parameters[0];
    body.holder.hits = 1;
    set_gap_entries(body.holder, {{"/properties/n/examples/1", EntryKind::example(), 0, 0},
                                  {"/properties/n/examples/0", EntryKind::example(), 0, 0},
                                  {"/properties/n/examples/9", EntryKind::example(), 0, 0},
                                  {"/properties/n/examples/2", EntryKind::example(), 1, 0}});
    const std::vector<CoverageGap> gaps = vantorel::reports::collect_coverage_gaps(map);
    ASSERT_EQ(gaps.size(), 3u);
    for (const CoverageGap& g : gaps) {
        EXPECT_EQ(g.kind, GapKind::ExampleUnseen);
        EXPECT_EQ(g.location, vantorel::model::ParameterLocation::Body);
        EXPECT_EQ(g.parameter, "application/json");
        EXPECT_TRUE(g.schema_path.empty());
    }
    // Equal keys (no schema path in an example gap) keep the entries' order.
    EXPECT_EQ(deririrore::value::to_json(gaps[0].example), R"({"a":null})");
    EXPECT_EQ(deririrore::value::to_json(gaps[1].example), "7");
    EXPECT_TRUE(gaps[2].example.is_null());
}

TEST(CoverageGaps, UnsentTargetGivesOneGapAndNoKeywordGaps) {
    CoverageMap map = gaps_map(
        R"("/items/{id}": {"get": {"parameters": [{"name": "id", "in": "path", "required": true,
                                                   "schema": {"type": "integer", "minimum": 1}},
                                                  {"name": "id", "in": "query", "schema": {"type": "integer"}}],
                                   "responses": {"200": {"description": "ok"}}}})");
    OperationRecord& op = gaps_operation(map, "/items/{id}");
    op.hits = 1;
    op.responses[0].hits = 1;
    EXPECT_EQ(describe(vantorel::reports::collect_coverage_gaps(map)),
              (std::vector<std::string>{"parameter_uncovered GET /items/{id} path:id",
                                        "parameter_uncovered GET /items/{id} query:id"}));
}

TEST(CoverageGaps, UnroutableNeverHitOperationsGiveNoGapsAndCoveredMapsNone) {
    CoverageMap map = gaps_map(
        R"("/broken/{id": {"get": {"responses": {"200": {"description": "ok"}}}},
           "/fine": {"get": {"responses": {"200": {"description": "ok"}}}})");
    ASSERT_TRUE(map.routes.unroutable_templates.contains("/broken/{id"));
    EXPECT_EQ(describe(vantorel::reports::collect_coverage_gaps(map)),
              (std::vector<std::string>{"operation_unseen GET /fine", "response_uncovered GET /fine 200"}));
    OperationRecord& fine = gaps_operation(map, "/fine");
    fine.hits = 1;
    fine.responses[0].hits = 1;
    EXPECT_TRUE(vantorel::reports::collect_coverage_gaps(map).empty());
    // Hit anyway (an imported interaction names the template), it is measured again.
    gaps_operation(map, "/broken/{id").hits = 1;
    EXPECT_EQ(describe(vantorel::reports::collect_coverage_gaps(map)),
              (std::vector<std::string>{"response_uncovered GET /broken/{id 200",
                                        "parameter_uncovered GET /broken/{id path:id"}));
}

}  // namespace
