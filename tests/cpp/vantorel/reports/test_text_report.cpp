#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "deririrore/value/json.hpp"
#include "http/interaction.hpp"
#include "report_fixtures.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"
#include "vantorel/reports/text_report.hpp"
#include "vantorel/reports/text_table.hpp"
#include "zavova/coverage_state.hpp"

namespace {

using http::HttpMethod;
using report_fixtures::cover;
using report_fixtures::map_of;
using report_fixtures::operation;
using vantorel::model::OperationRecord;
using vantorel::recorders::CoverageMap;
using vantorel::reports::TextReportOptions;
using vantorel::reports::write_text_report;
using vantorel::reports::write_text_summary;

// Reached, with one keyword that passed but never failed.
void half_cover(vantorel::model::ParameterTarget& target) {
    auto state = std::make_shared<zavova::CoverageState>();
    state->entries.set("", zavova::EntryKind::subschema(zavova::Polarity::Both));
    state->entries.find("")->passed = 1;
    state->entries.set("/type", zavova::EntryKind::keyword(zavova::Polarity::Both));
    state->entries.find("/type")->passed = 1;
    target.holder.hits = 1;
    target.holder.state = std::move(state);
}

std::string query_parameters(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += ", ";
        out += R"({"name": "q)" + std::to_string(i) + R"(", "in": "query", "schema": {"type": "string"}})";
    }
    return out;
}

std::string get_with_query(std::string_view path, int parameters) {
    return "\"" + std::string(path) + R"(": {"get": {"parameters": [)" + query_parameters(parameters) +
           R"(], "responses": {"200": {"description": "ok"}}}})";
}

void record_get(CoverageMap& map, const std::string& url) {
    auto request = http::build_request_record(HttpMethod::Get, url, std::nullopt, {});
    ASSERT_TRUE(request.has_value()) << url;
    http::Interaction interaction{std::move(request).value(), std::nullopt, 1.0};
    vantorel::recorders::record_interaction(map, interaction);
}

std::string pad(std::string_view text, std::size_t width) {
    std::string out(text);
    out.resize(std::max(width, text.size()), ' ');
    return out;
}

TEST(CellFormats, RoundExactlyAndPaintOnlyWithAColour) {
    using vantorel::reports::format_count_cell;
    using vantorel::reports::format_cover_cell;
    using vantorel::reports::format_tenths_percent;
    EXPECT_EQ(format_cover_cell(true, 200.0 / 3.0, 0), "66.67%");
    EXPECT_EQ(format_cover_cell(true, 100.0, 32), "\x1b[32m100.00%\x1b[0m");
    EXPECT_EQ(format_cover_cell(false, 0, 0), "-");
    // 0.125 is exact in binary: a true tie goes to the even digit; 0.135 is slightly above.
    EXPECT_EQ(format_cover_cell(true, 0.125, 0), "0.12%");
    EXPECT_EQ(format_cover_cell(true, 0.135, 0), "0.14%");
    EXPECT_EQ(format_count_cell(0, 31), "\x1b[31m0\x1b[0m");
    EXPECT_EQ(format_tenths_percent(833), "83.3%");
    EXPECT_EQ(format_tenths_percent(0), "0.0%");
    EXPECT_EQ(format_tenths_percent(std::nullopt), "-");
}

TEST(TextReport, GoldenReportShortensLongOperationsToTheFirstColumn) {
    CoverageMap map = map_of(
        R"("/api/v1/organizations/{org}/members/{member}/roles": {"get": {"parameters": [
                {"name": "org", "in": "path", "required": true, "schema": {"type": "string"}},
                {"name": "member", "in": "path", "required": true, "schema": {"type": "string"}}],
              "responses": {"200": {"description": "ok"}}}},
          "/pets": {"get": {"parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer"}}],
                            "responses": {"200": {"description": "ok"}}}})");
    // The four number columns take 36 columns, which leaves exactly 30 for the operation.
    const std::string text = write_text_report(map, {.width = 66, .show_missing = true, .colored = false});
    const std::string rule(66, '-');
    const std::string expected = pad("Operation", 30) + "   Params   Missed   Partial   Cover\n" + rule + "\n" +
                                 "GET .../members/{member}/roles        2        2         0   0.00%\n" +
                                 pad("GET /pets", 30) + "        1        1         0   0.00%\n" + rule + "\n" +
                                 pad("TOTAL", 30) + "        3        3         0   0.00%" +
                                 "\n\nUncovered Parameters:"
                                 "\nGET /api/v1/organizations/{org}/members/{member}/roles:\n    path: org, member"
                                 "\nGET /pets:\n    query: limit";
    EXPECT_EQ(text, expected);
}

TEST(TextReport, EmptyMapHasOneRuleAndAnUnpaintedTotal) {
    CoverageMap map = map_of("");
    EXPECT_EQ(write_text_report(map, {.width = 0}), "Operation   Params   Missed   Partial   Cover\n" +
                                                        std::string(45, '-') +
                                                        "\nTOTAL            0        0         0       -");
}

TEST(TextReport, RowsArePaintedByTheirPercentage) {
    CoverageMap map =
        map_of(get_with_query("/all", 1) + "," + get_with_query("/four", 5) + "," + get_with_query("/none", 1) + "," +
               get_with_query("/bare", 0) + "," + get_with_query("/half", 1));
    cover(operation(map, "/all").parameters[0]);
    for (int i = 0; i < 4; ++i) cover(operation(map, "/four").parameters[i]);
    half_cover(operation(map, "/half").parameters[0]);
    const std::string text = write_text_report(map, {.width = 80});
    const auto line_of = [&](std::string_view start) {
        const std::size_t at = text.find(start);
        EXPECT_NE(at, std::string::npos) << start;
        return text.substr(at, text.find('\n', at) - at);
    };
    const std::string green = "\x1b[32m";
    const std::string yellow = "\x1b[33m";
    const std::string red = "\x1b[31m";
    const std::string reset = "\x1b[0m";
    EXPECT_NE(line_of("GET /all ").find(green + "0" + reset), std::string::npos);
    EXPECT_NE(line_of("GET /all ").find(green + "100.00%" + reset), std::string::npos);
    EXPECT_NE(line_of("GET /four ").find(yellow + "1" + reset), std::string::npos);
    EXPECT_NE(line_of("GET /four ").find(yellow + "80.00%" + reset), std::string::npos);
    EXPECT_NE(line_of("GET /none ").find(red + "0.00%" + reset), std::string::npos);
    EXPECT_NE(line_of("GET /half ").find(red + "1" + reset), std::string::npos);  // partial
    EXPECT_EQ(line_of("GET /bare ").find('\x1b'), std::string::npos);
    EXPECT_NE(line_of("GET /bare ").find("   -"), std::string::npos);
    // 5 of 8 targets covered in all.
    EXPECT_NE(line_of("TOTAL").find(red + "62.50%" + reset), std::string::npos);
    // Every line of the table is exactly as wide as asked, colour codes aside.
    std::size_t start = 0;
    for (int i = 0; i < 9; ++i) {
        const std::size_t end = text.find('\n', start);
        EXPECT_EQ(vantorel::reports::display_width(text.substr(start, end - start)), 80u) << i;
        start = end + 1;
    }
}

TEST(TextReport, SkipOptionsHideRowsButNeverChangeTheTotal) {
    CoverageMap map =
        map_of(get_with_query("/covered", 1) + "," + get_with_query("/missed", 1) + "," + get_with_query("/bare", 0));
    cover(operation(map, "/covered").parameters[0]);
    const struct {
        TextReportOptions options;
        bool covered, missed, bare;
    } cases[] = {
        {{.width = 80, .colored = false}, true, true, true},
        {{.width = 80, .colored = false, .skip_covered = true}, false, true, false},
        {{.width = 80, .colored = false, .skip_empty = true}, true, false, false},
    };
    for (const auto& c : cases) {
        const std::string text = write_text_report(map, c.options);
        EXPECT_EQ(text.find("GET /covered") != std::string::npos, c.covered) << text;
        EXPECT_EQ(text.find("GET /missed") != std::string::npos, c.missed) << text;
        EXPECT_EQ(text.find("GET /bare") != std::string::npos, c.bare) << text;
        const std::string total = text.substr(text.find("TOTAL"));
        EXPECT_NE(total.find("        2        1         0"), std::string::npos) << text;
        EXPECT_NE(total.find("50.00%"), std::string::npos) << text;
    }
}

TEST(TextReport, DocumentTextsCannotSendEscapeSequences) {
    CoverageMap map = map_of(R"("/a\u001b]0;owned\u0007/{id}": {"get": {"parameters": [
        {"name": "x\u001b[2J", "in": "query", "schema": {"type": "string"}}],
        "responses": {"200": {"description": "ok"}}}})");
    record_get(map, "http://h/\x1b[31mred");
    const std::string text = write_text_report(map, {.width = 120, .show_missing = true, .colored = false});
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_EQ(text.find('\x07'), std::string::npos) << text;
    EXPECT_NE(text.find("x\\x1b[2J"), std::string::npos) << text;
}

TEST(TextReport, SpecificationProblemsAreGroupedAndCapped) {
    std::string paths;
    for (int i = 0; i < 53; ++i) {
        if (i > 0) paths += ",";
        paths += "\"/p" + std::to_string(i) + R"(": {"get": {"parameters": [{"$ref": "#/components/parameters/m)" +
                 std::to_string(i) + R"("}], "responses": {"200": {"description": "ok"}}}})";
    }
    CoverageMap map = map_of(paths);
    const std::string text = write_text_report(map, {.width = 40, .colored = false});
    const std::size_t heading = text.find("\n\nSpecification problems (53 errors)\n" + std::string(40, '-') + "\n");
    ASSERT_NE(heading, std::string::npos) << text;
    EXPECT_NE(text.find(" (53)\n    "), std::string::npos) << text;
    EXPECT_NE(text.find("\n        GET /p0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    ... and 50 more of this kind\n"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');
}

TEST(TextReport, UnmatchedRequestsTable) {
    CoverageMap map = map_of(get_with_query("/known", 0));
    for (int i = 0; i < 11; ++i) {
        for (int n = 0; n <= i; ++n)
            record_get(map, "http://api.test/unknown/" + std::to_string(i) + "/" + std::string(30, 'x'));
    }
    map.dropped_requests = 2;
    const std::string text = write_text_report(map, {.width = 70, .colored = false});
    const std::size_t start = text.find("\n\nUnmatched requests (not counted in coverage above)\n");
    ASSERT_NE(start, std::string::npos) << text;
    const std::string section = text.substr(start);
    // Method 6 + Host 8 + Reason 16 + Count 5 + 8 gaps leave 27 columns for the path: long paths are cut.
    EXPECT_NE(section.find("\nMethod  Host      Path                         Reason            Count\n"),
              std::string::npos)
        << section;
    EXPECT_NE(section.find("\nGET     api.test  /unknown/10/xxxxxxxxxxxx...  no matching path     11\n"),
              std::string::npos)
        << section;
    EXPECT_NE(section.find("\n... and 1 more groups\n"), std::string::npos) << section;
    EXPECT_NE(section.find("\n(2 requests dropped before matching: unparsable URL or unknown method)\n"),
              std::string::npos)
        << section;
}

TEST(TextReport, OnlyDroppedRequestsStillGiveTheSection) {
    CoverageMap map = map_of("");
    map.dropped_requests = 1;
    const std::string text = write_text_report(map, {.width = 10, .colored = false});
    const std::string rule(10, '-');
    EXPECT_TRUE(text.ends_with("\n\nUnmatched requests (not counted in coverage above)\n" + rule +
                               "\nMethod  Host  Path  Reason  Count\n" + rule +
                               "\n(1 requests dropped before matching: unparsable URL or unknown method)\n"))
        << text;
}

TEST(TextReport, AbsurdWidthIsCappedNotAllocated) {
    CoverageMap map = map_of(get_with_query("/a", 0));
    map.dropped_requests = 1;
    const std::string text = write_text_report(map, {.width = std::uint64_t{1} << 62, .colored = false});
    EXPECT_EQ(vantorel::reports::text_report_width_error(std::uint64_t{1} << 62),
              "`width` must be at most 65535 columns, got 4611686018427387904");
    EXPECT_FALSE(vantorel::reports::text_report_width_error(65535));
    // Header, two rows and four rules at most that wide.
    EXPECT_LT(text.size(), 8 * vantorel::reports::kMaxTextReportWidth);
}

std::string operations_map(int total) {
    std::string paths;
    for (int i = 0; i < total; ++i) {
        if (i > 0) paths += ",";
        paths += get_with_query("/o" + std::to_string(i), 0);
    }
    return paths;
}

TEST(TextSummary, ColoursAtOneHundredEightyAndBelow) {
    const struct {
        int total;
        int hit;
        std::string_view cell;
    } cases[] = {
        {5, 5, "\x1b[32m100.0%\x1b[0m"},
        {5, 4, "\x1b[33m 80.0%\x1b[0m"},
        {209, 167, "\x1b[31m 79.9%\x1b[0m"},  // 167/209 is 79.904%
    };
    for (const auto& c : cases) {
        CoverageMap map = map_of(operations_map(c.total));
        int hit = 0;
        for (auto& entry : map.routes.paths) {
            for (auto item : entry.methods) {
                if (hit < c.hit) item.record.hits = 1;
                ++hit;
            }
        }
        const std::string summary = write_text_summary(map, true);
        const std::string first = summary.substr(0, summary.find('\n'));
        EXPECT_TRUE(first.starts_with("Operations        ")) << first;
        EXPECT_TRUE(first.ends_with(std::string(c.cell))) << first;
        EXPECT_FALSE(summary.ends_with("\n"));
    }
}

TEST(TextSummary, FourRowsWithoutExamplesAndTrailingBlock) {
    CoverageMap map = map_of(get_with_query("/a", 2));
    cover(operation(map, "/a").parameters[0]);
    operation(map, "/a").hits = 1;
    EXPECT_EQ(write_text_summary(map, false),
              "Operations          1/1  100.0%\n"
              "Parameters          1/2   50.0%\n"
              "Keywords            0/1    0.0%\n"
              "Responses           0/1    0.0%");
    map.dropped_requests = 3;
    EXPECT_TRUE(write_text_summary(map, false).ends_with("0.0%\n\nUnmatched requests  3 (not counted above)"));
}

}  // namespace
