#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/reports/html_report.hpp"

namespace {

using deririrore::value::Value;
using vantorel::recorders::build_coverage_map;
using vantorel::recorders::CoverageMap;
using namespace vantorel::reports;

constexpr std::int64_t kNoon = 1765454400;  // 2025-12-11 12:00:00 UTC

CoverageMap map_of(std::string_view text, std::optional<std::string_view> base_path = std::nullopt) {
    auto parsed = deririrore::value::parse_json(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return build_coverage_map(parsed.value(), base_path, std::nullopt);
}

std::string page_of(const CoverageMap& map, HtmlReportOptions options = {}) {
    return write_html_report_at(map, options, kNoon);
}

std::size_t count(std::string_view haystack, std::string_view needle) {
    std::size_t n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

bool has(std::string_view page, std::string_view needle) { return page.find(needle) != std::string_view::npos; }

vantorel::model::OperationRecord& operation(CoverageMap& map, std::string_view path, http::HttpMethod method) {
    vantorel::model::MethodMap* methods = map.routes.paths.find(path);
    EXPECT_NE(methods, nullptr) << path;
    return *methods->get(method);
}

TEST(HtmlReport, EmptyMap) {
    const std::string page = page_of(map_of(R"J({"openapi": "3.0.0", "paths": {}})J"));
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n<html lang=\"en\">"));
    EXPECT_EQ(
        count(page, "<span class=\"big\">—<span class=\"unit\">%</span></span><span class=\"sub\">not declared</span>"),
        5u);
    EXPECT_EQ(count(page, "<span class=\"ct\">0</span>"), 4u);
    EXPECT_FALSE(has(page, "data-filter=\"deprecated\""));
    EXPECT_TRUE(has(page, "<div class=\"operation-list\">\n</div>"));
    EXPECT_TRUE(has(page, "<div id=\"empty-state\" class=\"empty-state\" hidden>"));
    EXPECT_FALSE(has(page, "id=\"diagnostics\""));
    EXPECT_FALSE(has(page, "<details class=\"unmatched-section\""));
    EXPECT_TRUE(has(page,
                    "data-iso=\"2025-12-11T12:00:00Z\"><span class=\"rel\"></span><span class=\"abs\">2025-12-11 "
                    "12:00:00</span>"));
    EXPECT_TRUE(has(page, "<title>Vantorel Report</title>"));
}

TEST(HtmlReport, DocumentTextsAreEscaped) {
    CoverageMap map = map_of(R"J({"openapi": "3.0.0", "paths": {"/x/{<b>}": {"get": {
        "tags": ["<img src=x onerror=alert(1)>"],
        "responses": {"200": {"description": "<script>alert(2)</script>"}}}}}})J");
    operation(map, "/x/{<b>}", http::HttpMethod::Get).errors.insert("bad `<i>` here");
    HtmlReportOptions options;
    options.title = "Pets <script>alert(3)</script> & co";
    const std::string page = page_of(map, options);
    EXPECT_TRUE(has(page, "<title>Pets &lt;script&gt;alert(3)&lt;/script&gt; &amp; co</title>"));
    EXPECT_TRUE(has(page, "</svg>Pets &lt;script&gt;alert(3)&lt;/script&gt; &amp; co</h1>"));
    EXPECT_FALSE(has(page, "<script>alert"));
    EXPECT_FALSE(has(page, "<img"));
    EXPECT_FALSE(has(page, "<b>}"));
    EXPECT_TRUE(
        has(page, "title=\"&lt;script&gt;alert(2)&lt;/script&gt;\">&lt;script&gt;alert(2)&lt;/script&gt;</span>"));
    EXPECT_TRUE(has(page, "<div class=\"op-errors\">bad <code>&lt;i&gt;</code> here</div>"));
    EXPECT_EQ(count(page, "<script>"), 1u);
}

TEST(HtmlReport, AnchorsGroupsAndOrder) {
    const std::string page = page_of(map_of(R"J({"openapi": "3.0.0", "paths": {
        "/users/{id}": {"get": {"responses": {}}},
        "/users/(id)": {"get": {"responses": {}}},
        "/api/v2/{id}/orders": {"get": {"responses": {}}},
        "/v1/{id}": {"get": {"responses": {}}},
        "/zoo": {"get": {"tags": ["  ", "Pets"], "responses": {}}, "post": {"tags": ["Store Orders!"], "responses": {}}},
        "/zzz": {"get": {"tags": ["Store-Orders"], "responses": {}}}
    }})J"));
    // Paths come in the document's key order: "/api...", "/users/(id)", "/users/{id}", "/v1...".
    EXPECT_TRUE(has(page, "class=\"accordion\" id=\"op-get--users--id-\""));
    EXPECT_TRUE(has(page, "class=\"accordion\" id=\"op-get--users--id--2\""));
    EXPECT_LT(page.find("id=\"op-get--users--id-\""), page.find("id=\"op-get--users--id--2\""));
    EXPECT_TRUE(has(page,
                    "<span class=\"operation path\" data-search=\"/users/{id}\" title=\"/users/{id}\">/users/<span "
                    "class=\"var\">{id}</span></span>"));

    const std::string_view order[] = {"data-group=\"orders\"",       "data-group=\"pets\"",
                                      "data-group=\"store-orders\"", "data-group=\"store-orders-2\"",
                                      "data-group=\"users\"",        "data-group=\"other\""};
    std::size_t last = 0;
    for (const auto needle : order) {
        const std::size_t at = page.find(needle);
        ASSERT_NE(at, std::string::npos) << needle;
        EXPECT_GT(at, last) << needle;
        last = at;
    }
    EXPECT_TRUE(has(page, "<span class=\"group-name\">Pets</span>"));
    EXPECT_TRUE(has(page,
                    "<span class=\"ops\">2 operations</span><span class=\"b ok zero\">0 covered</span><span "
                    "class=\"b wn zero\">0 partial</span><span class=\"b bd\">2 uncovered</span>"));
}

TEST(HtmlReport, OperationEntries) {
    CoverageMap map = map_of(R"J({"openapi": "3.0.0", "paths": {
        "/pets/{id}": {
            "get": {"parameters": [{"name": "id", "in": "path", "required": true, "schema": {"type": "integer", "minimum": 1}}],
                    "responses": {"200": {"description": "ok"}, "404": {"description": "gone"}, "default": {"description": "d"}}},
            "delete": {"deprecated": true, "responses": {"204": {"description": "deleted"}}}
        }}})J");
    auto& get = operation(map, "/pets/{id}", http::HttpMethod::Get);
    std::string page = page_of(map);
    EXPECT_TRUE(has(page, "id=\"op-get--pets--id-\" data-covered=\"uncovered\""));
    EXPECT_TRUE(has(page, "<span class=\"op-section-meta bad\">not covered</span>"));
    EXPECT_TRUE(has(page, "<span class=\"op-item-meta bad\">no coverage data</span>"));
    EXPECT_TRUE(has(page,
                    "<span>Expected Responses</span><span class=\"op-section-meta bad\"><b>0 of 3</b> documented "
                    "received</span>"));
    EXPECT_TRUE(has(page, "<div class=\"op-resp-row client never\"><span class=\"code\">404</span>"));
    EXPECT_TRUE(has(page, "<span class=\"hits\">0</span><span class=\"avg\">never seen</span>"));
    EXPECT_TRUE(has(page, "<div class=\"op-resp-row default\"><span class=\"code\">default</span>"));
    EXPECT_TRUE(has(page, "<span class=\"avg\">-</span>"));
    EXPECT_FALSE(has(page, "<span>Examples</span>"));
    EXPECT_TRUE(has(page, "data-covered=\"uncovered\" data-deprecated=\"true\""));
    EXPECT_TRUE(
        has(page, "data-filter=\"deprecated\"><span class=\"dot\"></span>Deprecated<span class=\"ct\">1</span>"));
    EXPECT_TRUE(
        has(page, "<div class=\"stat-stack\"><span class=\"n\">1</span><span class=\"l\">parameter</span></div>"));

    // Called: measured sections, received responses with their average time, undocumented statuses.
    get.hits = 2;
    get.responses[0].hits = 2;
    get.responses[0].elapsed_total = 0.0125f;
    get.unexpected_responses.push_back({418, 1, 0.002f, 1.0});
    get.unexpected_responses.push_back({429, 3, 0.0f, 1.0});
    get.errors.insert("a\r\nb");
    page = page_of(map);
    EXPECT_TRUE(
        has(page, "<span>Responses</span><span class=\"op-section-meta\"><b>1 of 3</b> documented received</span>"));
    EXPECT_TRUE(has(page, "<span class=\"hits\">2</span><span class=\"avg\">6<span class=\"unit\">ms</span></span>"));
    EXPECT_TRUE(has(page,
                    "<div class=\"op-resp-row undocumented client\"><span class=\"code\">418</span><span "
                    "class=\"desc\" title=\"\"></span>"));
    EXPECT_TRUE(has(page, "<span class=\"desc\" title=\"Too Many Requests\">Too Many Requests</span>"));
    EXPECT_TRUE(has(page, "<div class=\"op-errors\">a<br>b</div>"));
    EXPECT_TRUE(has(page, "<span class=\"dg-flag\"><svg><use href=\"#icon-diag-error\"/></svg></span>"));
    EXPECT_TRUE(
        has(page, "keywords covered</span></div><div class=\"op-item\"><span class=\"op-item-name\">id</span>"));
    EXPECT_TRUE(has(page, "<div class=\"sv-head\">"));
}

TEST(HtmlReport, ShadowedAndKeywordlessOperations) {
    CoverageMap map = map_of(R"J({"openapi": "3.0.0", "paths": {"/a": {"get": {"responses": {}}}}})J");
    auto& op = operation(map, "/a", http::HttpMethod::Get);
    op.shadowed_by = "/{x}";
    EXPECT_TRUE(has(page_of(map), "data-covered=\"partial\""));
    op.hits = 1;
    const std::string page = page_of(map);
    EXPECT_TRUE(has(page, "data-covered=\"covered\""));
    EXPECT_TRUE(has(page, "<span class=\"progress-text\">—</span>"));
    EXPECT_TRUE(has(page, "<div class=\"stat-stack dim\"><span class=\"n\">0</span><span class=\"l\">keywords</span>"));
    EXPECT_TRUE(has(page, "style=\"--pct: 100\"><span class=\"row-status\"><svg><use href=\"#icon-check\"/>"));
}

TEST(HtmlReport, SummaryCards) {
    struct Case {
        std::uint64_t covered, total;
        SummaryCard::State state;
        double shown;
        bool long_figures;
    } cases[] = {
        {0, 0, SummaryCard::State::Neutral, 0, false},           {0, 5, SummaryCard::State::Uncovered, 0, false},
        {5, 5, SummaryCard::State::Covered, 0, false},           {2, 3, SummaryCard::State::Partial, 66.6, false},
        {12345, 67890, SummaryCard::State::Partial, 18.1, true}, {9999, 9999, SummaryCard::State::Covered, 0, false},
    };
    for (const auto& c : cases) {
        const SummaryCard card = build_summary_card(c.covered, c.total, "covered", "none covered");
        EXPECT_EQ(card.state, c.state) << c.covered << "/" << c.total;
        EXPECT_DOUBLE_EQ(card.shown_percent, c.shown) << c.covered << "/" << c.total;
        EXPECT_EQ(card.long_figures, c.long_figures) << c.covered << "/" << c.total;
    }

    CoverageMap map = map_of(R"J({"openapi": "3.0.0", "paths": {
        "/a": {"get": {"responses": {}}}, "/b": {"get": {"responses": {}}}, "/c": {"get": {"responses": {}}}}})J");
    operation(map, "/a", http::HttpMethod::Get).hits = 1;
    operation(map, "/b", http::HttpMethod::Get).hits = 1;
    HtmlReportOptions options;
    options.thresholds.push_back({Dimension::Operations, 80.0, 200.0 / 3.0});
    options.thresholds.push_back({Dimension::Keywords, 50.0, std::nullopt});
    const std::string page = page_of(map, options);
    EXPECT_TRUE(has(page,
                    "<div class=\"mc magnitude state-partial t-miss\" style=\"--pct: 66.66666666666667; --req: "
                    "80\">"));
    EXPECT_TRUE(has(page,
                    "<span class=\"big\">66.6<span class=\"unit\">%</span></span><span class=\"sub\">2 of 3 "
                    "called</span>"));
    EXPECT_TRUE(has(page, "<span class=\"mc-min\">min 80%</span>"));
    EXPECT_TRUE(has(page,
                    "<span class=\"tv fail\"><svg class=\"tv-glyph\"><use href=\"#icon-x\"/></svg> 1 of 2 "
                    "thresholds missed</span>"));
    EXPECT_TRUE(has(page, "state-neutral t-pass\" style=\"--pct: 0; --req: 50\">"));
}

TEST(HtmlReport, ProblemsAndUnmatched) {
    CoverageMap map = map_of(R"J({"openapi": "3.0.0", "paths": {
        "/pets": {"get": {"responses": {"2yx": {"description": "x"}}}}}})J",
                             std::string_view("/api"));
    map.dropped_requests = 2;
    std::string page = page_of(map);
    EXPECT_TRUE(has(page, "<details id=\"diagnostics\" class=\"dg-collected\">"));
    EXPECT_TRUE(has(page, "<span class=\"dg-count err\">1 error</span>"));
    EXPECT_TRUE(has(page, "<details class=\"dg-kind error\" open>"));
    EXPECT_TRUE(has(page,
                    "<a class=\"at\" href=\"#op-get--api-pets\"><span class=\"m\">GET </span><span "
                    "class=\"p\">/api/pets</span>"));
    EXPECT_LT(page.find("id=\"diagnostics\""), page.find("<div class=\"operation-list\""));
    EXPECT_TRUE(has(page, "<span class=\"unmatched-title\">0 unmatched requests</span>"));
    EXPECT_TRUE(has(page,
                    "<p class=\"unmatched-note\">2 requests dropped before matching: unparsable URL or unknown "
                    "method.</p>"));

    using vantorel::recorders::UnmatchedReason;
    for (int i = 0; i < 11; ++i) {
        map.unmatched.record(http::HttpMethod::Get, "h<ost>", "/p/" + std::to_string(i) + "/{x}",
                             UnmatchedReason::NoMatchingPath, 11 - i, 1.0, false);
    }
    page = page_of(map);
    EXPECT_TRUE(has(page, "<span class=\"unmatched-title\">66 unmatched requests</span>"));
    EXPECT_EQ(count(page, "<td class=\"unmatched-host\">h&lt;ost&gt;</td>"), 10u);
    EXPECT_TRUE(has(page, "<p class=\"unmatched-note\">... and 1 more groups</p>"));
    EXPECT_TRUE(has(page, "<span title=\"/p/0/{x}\">/p/0/<span class=\"var\">{x}</span></span>"));
    EXPECT_LT(page.find("<div class=\"operation-list\""), page.find("<details class=\"unmatched-section\""));
}

TEST(HtmlReport, DiagnosticsBesideTheirOperation) {
    CoverageMap map = map_of(R"J({"openapi": "3.0.0", "paths": {"/s": {"get": {
        "parameters": [
            {"name": "q`x", "in": "query", "style": "bogus", "schema": {"type": "string"}},
            {"name": "p", "in": "query", "schema": {"type": "string", "pattern": "(", "minLength": 1}}
        ],
        "responses": {"abc": {"description": "x"}, "200": {"description": "ok"}}}}}})J");
    operation(map, "/s", http::HttpMethod::Get).hits = 1;
    const std::string page = page_of(map);
    const std::size_t entry = page.find("<div class=\"accordion\" id=\"op-get--s\"");
    ASSERT_NE(entry, std::string::npos);
    const std::string_view panel = std::string_view(page).substr(entry);
    EXPECT_TRUE(has(panel, "<span class=\"dg-flag\"><svg><use href=\"#icon-diag-error\"/></svg></span>"));
    // The parameter left out and the unreadable response key are the operation's own.
    const std::size_t not_measured = panel.find("<span>Not measured</span>");
    ASSERT_NE(not_measured, std::string::npos);
    EXPECT_TRUE(has(panel,
                    "<div class=\"op-item\"><span class=\"op-item-name\">q`x</span><span class=\"op-item-meta "
                    "muted\">query</span></div><div class=\"dg-inline\"><div class=\"dg error\">"));
    EXPECT_LT(panel.find("Bad character in status code"), panel.find("<span>Query Parameters</span>"));
    // Backticks of the fixed wording become code spans; a value's text is code as it stands.
    EXPECT_TRUE(has(panel, "Use only digits and an uppercase <code>X</code> in the key"));
    EXPECT_TRUE(has(panel, "Query parameter <code>q`x</code> is not measured"));
    // The measured parameter carries its own warning, after its name and before its schema.
    const std::size_t p_item = panel.find("<span class=\"op-item-name\">p</span>");
    ASSERT_NE(p_item, std::string::npos);
    EXPECT_GT(p_item, not_measured);
    const std::size_t warning = panel.find("<div class=\"dg-inline warnonly\"><div class=\"dg warning\">", p_item);
    ASSERT_NE(warning, std::string::npos);
    EXPECT_LT(warning, panel.find("<div class=\"sv\">", p_item));
    // The page-wide section links each position to the operation.
    EXPECT_TRUE(has(page,
                    "<a class=\"at\" href=\"#op-get--s\"><span class=\"m\">GET </span><span class=\"p\">/s</span><span "
                    "class=\"q\">query</span><span class=\"q\">q`x</span></a>"));
    EXPECT_TRUE(has(page, "<span class=\"dg-count err\">2 errors</span><span class=\"dg-count wrn\">1 warning</span>"));
}

TEST(HtmlReport, TextHelpers) {
    struct Source {
        std::string_view location, source;
    } sources[] = {
        {"/example", "example"},
        {"/default", "example"},
        {"/properties/user/properties/name/example", "user.name.example"},
        {"/examples/1", "examples[1]"},
        {"/properties/a/examples/0", "a.examples[0]"},
        {"/components/schemas/Pet/properties/id/default", "Pet.id.default"},
        {"/items/enum", "enum"},
        {"/items/", "example"},
    };
    for (const auto& s : sources) EXPECT_EQ(body_example_source(s.location), s.source) << s.location;

    struct Status {
        std::string_view text, cls;
    } statuses[] = {{"200", "success"},  {" 404 ", "client"}, {"DeFault", "default"}, {"1XX", "info"},
                    {"3XX", "redirect"}, {"500", "server"},   {"6XX", "default"},     {"", "default"}};
    for (const auto& s : statuses) EXPECT_EQ(response_class(s.text), s.cls) << s.text;
    EXPECT_EQ(reason_phrase(429), "Too Many Requests");
    EXPECT_EQ(reason_phrase(418), "");

    struct Group {
        std::vector<std::string> tags;
        std::string_view path, name;
    } groups[] = {
        {{"  ", "Pets"}, "/x", "Pets"}, {{}, "/api/v2/{id}/orders", "orders"}, {{}, "/v1/{id}", "other"},
        {{}, "/API/V3/Users", "users"}, {{" \xC2\xA0"}, "", "other"},
    };
    for (const auto& g : groups) EXPECT_EQ(operation_group_name(g.tags, g.path), g.name) << g.path;
}

}  // namespace
