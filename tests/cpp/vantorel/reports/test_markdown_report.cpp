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
#include "vantorel/reports/markdown_report.hpp"
#include "zavova/coverage_state.hpp"

namespace {

using http::HttpMethod;
using report_fixtures::cover;
using report_fixtures::map_of;
using report_fixtures::operation;
using report_fixtures::reach;
using vantorel::model::OperationRecord;
using vantorel::recorders::CoverageMap;
using vantorel::reports::code_span;
using vantorel::reports::escape_markdown_text;
using vantorel::reports::MarkdownOptions;
using vantorel::reports::write_markdown_report;

std::string json_text(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string get_with_query(std::string_view path, int parameters, std::string_view method = "get") {
    std::string list;
    for (int i = 0; i < parameters; ++i) {
        if (i > 0) list += ", ";
        list += R"({"name": "q)" + std::to_string(i) + R"(", "in": "query", "schema": {"type": "string"}})";
    }
    return json_text(path) + ": {\"" + std::string(method) + R"(": {"parameters": [)" + list +
           R"(], "responses": {"200": {"description": "ok"}}}})";
}

std::string many_operations(int count) {
    std::string paths;
    for (int i = 0; i < count; ++i) {
        if (i > 0) paths += ",";
        char name[16];
        std::snprintf(name, sizeof name, "/o%02d", i);
        paths += get_with_query(name, 0);
    }
    return paths;
}

std::size_t count_of(std::string_view text, std::string_view needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

TEST(MarkdownEscapes, CodeSpansAndTextStaySafeInTableCells) {
    const struct {
        std::string_view text;
        std::string_view span;
        std::string_view escaped;
    } cases[] = {
        {"/pets/{id}", "`/pets/{id}`", "/pets/{id}"},
        {"", "``", ""},
        {"/a|b", "`/a\\|b`", "/a\\|b"},
        {"/a`b", "``/a`b``", "/a\\`b"},
        {"`x``", "``` `x`` ```", "\\`x\\`\\`"},
        {"line\r\nbreak", "`line  break`", "line  break"},
        {"<b>*_[x]&\\", "`<b>*_[x]&\\`", "\\<b\\>\\*\\_\\[x\\]\\&\\\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(code_span(c.text), c.span) << c.text;
        EXPECT_EQ(escape_markdown_text(c.text), c.escaped) << c.text;
    }
}

TEST(MarkdownReport, EmptyMapGolden) {
    CoverageMap map = map_of("");
    const std::string empty_bar = "░░░░░░░░░░░░░░░░░░░░";
    EXPECT_EQ(write_markdown_report(map, {}),
              "<!-- vantorel-coverage-report -->\n"
              "## No operations to measure.\n\n"
              "`✅ 0` tested\n\n"
              "```\n"
              "Operations  " +
                  empty_bar +
                  "  -\n"
                  "Parameters  " +
                  empty_bar +
                  "  -\n"
                  "Keywords    " +
                  empty_bar +
                  "  -\n"
                  "Responses   " +
                  empty_bar +
                  "  -\n"
                  "Examples    " +
                  empty_bar +
                  "  -\n"
                  "```\n\n"
                  "---\n\n"
                  "Powered by [Vantorel](https://vantorel.dev) v" VANTOREL_VERSION_TEXT "\n");
}

TEST(MarkdownReport, FiftyFiveUntestedGiveTenRowsFortyInDetailsAndAMoreLine) {
    CoverageMap map = map_of(many_operations(55));
    const std::string text = write_markdown_report(map, {});
    EXPECT_NE(text.find("## All 55 operations untested. Please review.\n"), std::string::npos);
    EXPECT_NE(text.find("### ❌ Untested (55)\n"), std::string::npos);
    const std::size_t details = text.find("\n<details>\n<summary>40 more</summary>\n\n");
    ASSERT_NE(details, std::string::npos) << text;
    EXPECT_EQ(count_of(text.substr(0, details), "| ❌ | `GET` |"), 10u);
    const std::size_t end = text.find("</details>\n", details);
    EXPECT_EQ(count_of(text.substr(details, end - details), "| ❌ | `GET` |"), 40u);
    EXPECT_NE(text.find("`/o49` | 0/0 | 0/0 | 0/1 | 0/0 |\n\n</details>\n\n… and 5 more\n"), std::string::npos) << text;

    MarkdownOptions with_url;
    with_url.report_url = "https://ci.example/r/1";
    EXPECT_NE(write_markdown_report(map, with_url).find("… and 5 more - [view full report](https://ci.example/r/1)\n"),
              std::string::npos);

    CoverageMap fifty = map_of(many_operations(50));
    const std::string fifty_text = write_markdown_report(fifty, {});
    EXPECT_NE(fifty_text.find("<summary>40 more</summary>"), std::string::npos);
    EXPECT_EQ(fifty_text.find("… and"), std::string::npos);
}

TEST(MarkdownReport, UntestedRowsByMethodRankThenPath) {
    CoverageMap map = map_of(get_with_query("/a", 0) + "," + get_with_query("/b", 0, "delete") + "," +
                             R"("/c": {"post": {"responses": {}}, "put": {"responses": {}}})");
    const std::string text = write_markdown_report(map, {});
    const std::size_t del = text.find("`DELETE` | `/b`");
    const std::size_t post = text.find("`POST` | `/c`");
    const std::size_t get = text.find("`GET` | `/a`");
    const std::size_t put = text.find("`PUT` | `/c`");
    ASSERT_NE(put, std::string::npos) << text;
    EXPECT_LT(del, post);
    EXPECT_LT(post, get);
    EXPECT_LT(get, put);
}

TEST(MarkdownReport, OneColumnAndEscapedPaths) {
    CoverageMap map = map_of(get_with_query("/a|b/{id}", 1) + "," + get_with_query("/tick`s", 0));
    MarkdownOptions options;
    options.columns = vantorel::reports::markdown_column("Keywords") | vantorel::reports::markdown_column("keywords");
    const std::string text = write_markdown_report(map, options);
    EXPECT_NE(text.find("| | Method | Path | Keywords |\n|:---:|--------|------|:---:|\n"), std::string::npos) << text;
    EXPECT_NE(text.find("| ❌ | `GET` | `/a\\|b/{id}` | 0/2 |\n"), std::string::npos) << text;
    EXPECT_NE(text.find("| ❌ | `GET` | ``/tick`s`` | 0/0 |\n"), std::string::npos) << text;
    const std::size_t block = text.find("```\n");
    const std::string summary = text.substr(block, text.find("```\n", block + 4) - block);
    EXPECT_NE(summary.find("Operations  "), std::string::npos);
    EXPECT_NE(summary.find("Keywords    "), std::string::npos);
    EXPECT_EQ(summary.find("Parameters  "), std::string::npos);
    EXPECT_EQ(summary.find("Responses   "), std::string::npos);
}

TEST(MarkdownReport, WeakThresholdMarksTestedRows) {
    CoverageMap map = map_of(get_with_query("/one", 3) + "," + get_with_query("/two", 3) + "," +
                             get_with_query("/none", 1) + "," + get_with_query("/bare", 0));
    for (const char* path : {"/one", "/two", "/none", "/bare"}) operation(map, path).hits = 1;
    cover(operation(map, "/one").parameters[0]);
    cover(operation(map, "/two").parameters[0]);
    cover(operation(map, "/two").parameters[1]);
    reach(operation(map, "/none").parameters[0]);
    MarkdownOptions options;
    options.weak_threshold = 0.5;
    const std::string text = write_markdown_report(map, options);
    EXPECT_NE(text.find("## All 4 operations tested - 2 with partial coverage. Please review.\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("`❌"), std::string::npos);
    EXPECT_NE(text.find("`🔴 2` partial  \n`✅ 2` tested\n"), std::string::npos) << text;
    EXPECT_NE(text.find("### 🔴 Tested (4)\n"), std::string::npos) << text;
    // Class order: none fully covered, below the threshold, at or above it, no parameters.
    const std::size_t none = text.find("| 🔴 | `GET` | `/none` | 0/1 |");
    const std::size_t one = text.find("| 🟡 | `GET` | `/one` | 1/3 |");
    const std::size_t two = text.find("| 🟢 | `GET` | `/two` | 2/3 |");
    const std::size_t bare = text.find("| 🟢 | `GET` | `/bare` | 0/0 |");
    ASSERT_NE(bare, std::string::npos) << text;
    EXPECT_LT(none, one);
    EXPECT_LT(one, two);
    EXPECT_LT(two, bare);
}

TEST(MarkdownReport, VerdictsAndZeroCoverageWarnings) {
    CoverageMap seen = map_of(get_with_query("/a", 2));
    operation(seen, "/a").hits = 1;
    reach(operation(seen, "/a").parameters[0]);
    MarkdownOptions pr;
    pr.is_pull_request = true;
    const std::string text = write_markdown_report(seen, pr);
    EXPECT_NE(text.find("## Merging this PR leaves all 1 operation tested - but 0% parameter coverage. Please "
                        "review.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("> ⚠️ **Parameter coverage is 0%** - 2 parameters defined but none fully covered.\n"),
              std::string::npos)
        << text;

    CoverageMap unseen = map_of(get_with_query("/a", 1) + "," + get_with_query("/b", 0));
    operation(unseen, "/b").hits = 1;
    const std::string partly = write_markdown_report(unseen, pr);
    EXPECT_NE(partly.find("## Merging this PR will leave 1 of 2 operations untested. Please review.\n"),
              std::string::npos);
    EXPECT_NE(partly.find("> ⚠️ **Parameter coverage is 0%** - 1 parameter defined but none were tested.\n"),
              std::string::npos);
}

TEST(MarkdownReport, DiagnosticRowsShowEachSubjectOnce) {
    CoverageMap map = map_of(
        R"("/a": {"get": {"parameters": [{"$ref": "#/components/parameters/A"}], "responses": {}},
                  "post": {"parameters": [{"$ref": "#/components/parameters/A"}], "responses": {}}},
          "/b": {"get": {"parameters": [{"$ref": "#/components/parameters/B"}], "responses": {}}})");
    const std::string text = write_markdown_report(map, {});
    const std::size_t rows = text.find("| Detail | Method | Path | In |\n|--------|--------|------|----|\n");
    ASSERT_NE(rows, std::string::npos) << text;
    const std::string table = text.substr(rows, text.find("</details>", rows) - rows);
    EXPECT_EQ(count_of(table, "\n| "), 3u) << table;
    EXPECT_EQ(count_of(table, "A` | `GET` | `/a` |"), 1u) << table;
    EXPECT_EQ(count_of(table, "\n|  | `POST` | `/a` |"), 1u) << table;
    EXPECT_EQ(count_of(table, "B` | `GET` | `/b` |"), 1u) << table;
    EXPECT_NE(text.find("### ⚠️ Specification problems (3 errors)\n\n> **Coverage is missing where these appear**"),
              std::string::npos)
        << text;
}

TEST(MarkdownReport, UnmatchedSectionAndFooter) {
    CoverageMap map = map_of(get_with_query("/known", 0));
    for (int i = 0; i < 12; ++i) {
        auto request = http::build_request_record(HttpMethod::Get, "http://h/x" + std::to_string(i), std::nullopt, {});
        ASSERT_TRUE(request.has_value());
        http::Interaction interaction{std::move(request).value(), std::nullopt, 1.0};
        vantorel::recorders::record_interaction(map, interaction);
    }
    MarkdownOptions options;
    options.report_url = "https://ci.example/r";
    options.sub_text = "run 7";
    const std::string text = write_markdown_report(map, options);
    EXPECT_NE(text.find("### 🔍 Unmatched requests (12)\n\n> **Not counted in coverage above** - 12 requests matched no "
                        "documented operation.\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(count_of(text, "| no matching path | 1 |\n"), 10u);
    EXPECT_NE(text.find("| `GET` | `h` | `/x0` | no matching path | 1 |\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n_... and 2 more groups_\n\n"), std::string::npos) << text;
    EXPECT_TRUE(
        text.ends_with("---\n\n📊 [View full report](https://ci.example/r) | Powered by "
                       "[Vantorel](https://vantorel.dev) v" VANTOREL_VERSION_TEXT "\n\n<sub>run 7</sub>\n"))
        << text;
}

}  // namespace

namespace {

TEST(MarkdownReport, ThresholdsShowTheirFiguresAndMinimums) {
    using vantorel::reports::Dimension;
    CoverageMap map = map_of(get_with_query("/a", 1));
    MarkdownOptions options;
    options.columns = vantorel::reports::kColumnKeywords;
    options.thresholds = {
        {Dimension::Operations, 50, 0.0}, {Dimension::Parameters, 80, 33.36}, {Dimension::Examples, 10, std::nullopt}};
    const std::string text = write_markdown_report(map, options);
    const std::string bar = "░░░░░░░░░░░░░░░░░░░░";
    EXPECT_NE(text.find("**2 of 3 thresholds missed**\n\n"), std::string::npos) << text;
    EXPECT_NE(text.find("```\n"
                        "Operations  " +
                        bar +
                        "  0/1     0%  min 50%\n"
                        "Parameters  " +
                        bar +
                        "  0/1  33.3%  min 80%\n"
                        "Keywords    " +
                        bar +
                        "  0/1     0%\n"
                        "Examples    " +
                        bar +
                        "    -         min 10%\n"
                        "```\n"),
              std::string::npos)
        << text;
}

}  // namespace
