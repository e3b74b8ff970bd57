// Writing out templates with adjacent parameters over their string enumerations.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/model/template_analysis.hpp"

namespace {

using namespace vantorel::model;
using deririrore::value::parse_json;
using Fixed = std::vector<std::pair<std::string, std::string>>;

struct Expected {
    std::string_view text;  // parsed for the expected segments
    Fixed fixed;
};

ParameterTarget path_parameter(std::string name, std::string_view schema) {
    ParameterTarget t;
    t.tag = 3;
    t.name = std::move(name);
    t.location = ParameterLocation::Path;
    t.schema = std::make_shared<const Value>(*parse_json(schema));
    return t;
}

// An index holding `key` (with a GET carrying `params`), between two plain fallback templates.
RouteIndex index_with(std::string_view key, std::vector<ParameterTarget> params) {
    RouteIndex index;
    std::vector<ProblemEntry> problems;
    insert_route(index, std::nullopt, "/before/{a}.{b}", problems);
    MethodMap& methods = insert_route(index, std::nullopt, key, problems);
    insert_route(index, std::nullopt, "/after/{a}{b}", problems);
    OperationRecord* op = insert_operation_slot(methods, HttpMethod::Get, key, problems);
    op->parameters = std::move(params);
    return index;
}

// The entries between the two plain ones.
void expect_entries(const RouteIndex& index, std::string_view key, const std::vector<Expected>& expected) {
    const auto& list = index.segment_templates;
    ASSERT_EQ(list.size(), expected.size() + 2) << key;
    EXPECT_EQ(list.front().template_text, "/before/{a}.{b}");
    EXPECT_EQ(list.back().template_text, "/after/{a}{b}");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const SegmentTemplate& s = list[i + 1];
        EXPECT_EQ(s.template_text, key) << key << " entry " << i;
        EXPECT_EQ(s.segments, *parse_path_template(expected[i].text))
            << key << " entry " << i << " " << expected[i].text;
        EXPECT_EQ(s.fixed_parameters, expected[i].fixed) << key << " entry " << i;
    }
}

TEST(TemplateAnalysis, ExpandsStringEnumerationsLongestFirst) {
    const std::string key = "/files/{name}{ext}";
    RouteIndex index = index_with(key, {path_parameter("ext", R"({"enum": [".json", ".csv", ".xml.gz"]})")});
    analyse_path_templates(index);
    expect_entries(index, key,
                   {{"/files/{name}.xml.gz", {{"ext", ".xml.gz"}}},
                    {"/files/{name}.json", {{"ext", ".json"}}},
                    {"/files/{name}.csv", {{"ext", ".csv"}}},
                    {"/files/{ext}", {}}});
    // The written-out entries match, and lead to the template's operations.
    SegmentCaptures captures;
    EXPECT_TRUE(match_pattern_segments(index.segment_templates[2].segments, "/files/report.json", captures));
    EXPECT_NE(index.paths.find(index.segment_templates[2].template_text)->get(HttpMethod::Get), nullptr);
}

TEST(TemplateAnalysis, LeavesTemplatesItCannotExpand) {
    const std::string key = "/files/{name}{ext}";
    const std::vector<Expected> unchanged{{"/files/{name}{ext}", {}}};
    struct Case {
        std::string_view why;
        std::vector<ParameterTarget> params;
    };
    std::vector<Case> cases;
    cases.push_back({"numbers", {path_parameter("ext", R"({"enum": [1, 2]})")}});
    cases.push_back({"a later item not a string", {path_parameter("ext", R"({"enum": [".a", 2]})")}});
    cases.push_back({"a single number", {path_parameter("ext", R"({"enum": [7]})")}});
    cases.push_back({"empty enum", {path_parameter("ext", R"({"enum": []})")}});
    cases.push_back({"enum not an array", {path_parameter("ext", R"({"enum": ".json"})")}});
    cases.push_back({"schema not an object", {path_parameter("ext", R"(true)")}});
    cases.push_back({"no such placeholder", {path_parameter("format", R"({"enum": [".json"]})")}});
    cases.push_back({"72 combinations",
                     {path_parameter("name", R"({"enum": ["a","b","c","d","e","f","g","h"]})"),
                      path_parameter("ext", R"({"enum": ["1","2","3","4","5","6","7","8","9"]})")}});
    {
        ParameterTarget query = path_parameter("ext", R"({"enum": [".json"]})");
        query.location = ParameterLocation::Query;
        cases.push_back({"not a path parameter", {std::move(query)}});
    }
    {
        ParameterTarget unbuilt = path_parameter("ext", "{}");
        unbuilt.schema.reset();
        cases.push_back({"no schema", {std::move(unbuilt)}});
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.why);
        RouteIndex index = index_with(key, std::move(c.params));
        analyse_path_templates(index);
        expect_entries(index, key, unchanged);
    }
}

TEST(TemplateAnalysis, SingleValueNeedsNoStringCheckOfOthers) {
    const std::string key = "/v/{major}{minor}";
    RouteIndex index = index_with(key, {path_parameter("minor", R"({"enum": [".0"]})")});
    analyse_path_templates(index);
    expect_entries(index, key, {{"/v/{major}.0", {{"minor", ".0"}}}, {"/v/{minor}", {}}});
}

TEST(TemplateAnalysis, TwoEnumeratedParametersVaryFirstSlowest) {
    const std::string key = "/r/{a}{b}";
    RouteIndex index = index_with(
        key, {path_parameter("a", R"({"enum": ["x", "y"]})"), path_parameter("b", R"({"enum": ["1", "2", "3"]})")});
    analyse_path_templates(index);
    // The group holds two enumerated parameters, so the reduced entry keeps it as written.
    expect_entries(index, key,
                   {{"/r/x1", {{"a", "x"}, {"b", "1"}}},
                    {"/r/x2", {{"a", "x"}, {"b", "2"}}},
                    {"/r/x3", {{"a", "x"}, {"b", "3"}}},
                    {"/r/y1", {{"a", "y"}, {"b", "1"}}},
                    {"/r/y2", {{"a", "y"}, {"b", "2"}}},
                    {"/r/y3", {{"a", "y"}, {"b", "3"}}},
                    {"/r/{a}{b}", {}}});
}

TEST(TemplateAnalysis, SixtyFourCombinationsAreTheLimit) {
    const std::string key = "/c/{a}{b}";
    RouteIndex index = index_with(key, {path_parameter("a", R"({"enum": ["1","2","3","4","5","6","7","8"]})"),
                                        path_parameter("b", R"({"enum": ["a","b","c","d","e","f","g","h"]})")});
    analyse_path_templates(index);
    ASSERT_EQ(index.segment_templates.size(), 64u + 1 + 2);
    EXPECT_EQ(index.segment_templates[1].fixed_parameters, (Fixed{{"a", "1"}, {"b", "a"}}));
    EXPECT_EQ(index.segment_templates[64].fixed_parameters, (Fixed{{"a", "8"}, {"b", "h"}}));
    EXPECT_EQ(index.segment_templates[65].segments, *parse_path_template("/c/{a}{b}"));
}

TEST(TemplateAnalysis, GroupOfThreeWithTheMiddleEnumerated) {
    const std::string key = "/g/{a}{b}{c}/end/";
    RouteIndex index = index_with(key, {path_parameter("b", R"({"enum": ["-", "+"]})")});
    analyse_path_templates(index);
    // A trailing "/" is left out of the parsed entries, as for every fallback template.
    expect_entries(index, key,
                   {{"/g/{a}-{c}/end", {{"b", "-"}}}, {"/g/{a}+{c}/end", {{"b", "+"}}}, {"/g/{b}/end", {}}});

    // Only empty values: the parameters stay adjacent, nothing changes.
    RouteIndex empty = index_with(key, {path_parameter("b", R"({"enum": ["", ""]})")});
    analyse_path_templates(empty);
    expect_entries(empty, key, {{"/g/{a}{b}{c}/end", {}}});
}

TEST(TemplateAnalysis, FirstOperationInSlotOrderDecides) {
    const std::string key = "/d/{id}{fmt}";
    RouteIndex index;
    std::vector<ProblemEntry> problems;
    insert_route(index, std::nullopt, "/before/{a}.{b}", problems);
    MethodMap& methods = insert_route(index, std::nullopt, key, problems);
    insert_route(index, std::nullopt, "/after/{a}{b}", problems);
    insert_operation_slot(methods, HttpMethod::Post, key, problems)
        ->parameters.push_back(path_parameter("fmt", R"({"enum": [".csv"]})"));
    insert_operation_slot(methods, HttpMethod::Get, key, problems)
        ->parameters.push_back(path_parameter("fmt", R"({"enum": [".json", ".xml"]})"));
    analyse_path_templates(index);
    expect_entries(index, key, {{"/d/{id}.csv", {{"fmt", ".csv"}}}, {"/d/{fmt}", {}}});
}

TEST(TemplateAnalysis, EveryEntryOfAShadowedTemplateIsKept) {
    // A template reaching the fallback list twice cannot happen; a template with no operations,
    // or not in the index at all, is passed over.
    RouteIndex index;
    std::vector<ProblemEntry> problems;
    insert_route(index, std::nullopt, "/e/{a}{b}", problems);
    index.segment_templates.push_back(SegmentTemplate{*parse_path_template("/ghost/{a}{b}"), {}, "/ghost/{a}{b}"});
    analyse_path_templates(index);
    ASSERT_EQ(index.segment_templates.size(), 2u);
    EXPECT_EQ(index.segment_templates[0].template_text, "/e/{a}{b}");
    EXPECT_EQ(index.segment_templates[1].template_text, "/ghost/{a}{b}");
}

}  // namespace
