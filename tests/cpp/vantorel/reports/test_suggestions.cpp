#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/reports/suggestions.hpp"

namespace {

using vantorel::recorders::CoverageMap;
using vantorel::reports::Suggestion;
using vantorel::reports::SuggestionPolarity;
using vantorel::reports::UncoveredReason;

CoverageMap body_map(std::string_view schema) {
    const std::string text =
        R"({"openapi": "3.1.0", "paths": {"/items": {"post": {"requestBody": {"content": {"application/json":
            {"schema": )" +
        std::string(schema) + R"(}}}, "responses": {"200": {"description": "ok"}}}}}})";
    auto v = deririrore::value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return vantorel::recorders::build_coverage_map(v.has_value() ? std::move(v).value() : deririrore::value::Value(),
                                                   std::nullopt, std::nullopt);
}

const vantorel::model::ParameterTarget& body_target(CoverageMap& map) {
    auto* op = vantorel::model::get_operation(*map.routes.paths.find("/items"), http::HttpMethod::Post);
    return op->parameters.at(0);
}

// Every gap is claimed by a listed request or listed as uncovered (never both) unless requests
// were hidden, and a request's polarity is what the compiled schema says of its value.
void expect_sound(const Suggestion& s, const vantorel::model::ParameterTarget& target) {
    std::set<std::uint64_t> claimed;
    for (const auto& request : s.requests) {
        EXPECT_FALSE(request.covers.empty());
        claimed.insert(request.covers.begin(), request.covers.end());
        EXPECT_EQ(request.polarity == SuggestionPolarity::Valid, target.validator->is_valid(request.value))
            << deririrore::value::to_json(request.value);
    }
    std::set<std::uint64_t> unreached;
    for (const auto& u : s.uncovered) unreached.insert(u.gap);
    for (std::uint64_t g : claimed) EXPECT_FALSE(unreached.contains(g)) << g;
    if (s.hidden == 0) {
        EXPECT_EQ(claimed.size() + unreached.size(), s.gaps.size());
    }
}

TEST(Suggestions, EveryGapIsReachedOrGivenAReason) {
    CoverageMap map = body_map(R"({"type": "object", "required": ["a"],
        "properties": {"a": {"type": "string", "maxLength": 3, "format": "date"},
                       "b": {"type": "number", "multipleOf": 0.5, "exclusiveMinimum": 0}},
        "patternProperties": {"^x": {"minimum": 1}}})");
    const std::vector<Suggestion> suggestions = vantorel::reports::collect_suggestions(map);
    ASSERT_EQ(suggestions.size(), 1u);
    const Suggestion& s = suggestions[0];
    EXPECT_EQ(s.method, "POST");
    EXPECT_EQ(s.media_type, std::optional<std::string>("application/json"));
    expect_sound(s, body_target(map));
    std::set<std::pair<std::string, UncoveredReason>> reasons;
    for (const auto& u : s.uncovered) reasons.insert({s.gaps[u.gap].pointer, u.reason});
    // A keyword under a pattern-named property has no place a value could be built for.
    EXPECT_TRUE(reasons.contains({"/patternProperties/^x/minimum", UncoveredReason::Unsupported}));
    std::set<std::string> reached;
    for (const auto& request : s.requests) {
        for (std::uint64_t g : request.covers) reached.insert(s.gaps[g].pointer);
    }
    for (const char* pointer : {"/properties/a/maxLength", "/properties/b/multipleOf", "/properties/b/exclusiveMinimum",
                                "/required", "/type"}) {
        EXPECT_TRUE(reached.contains(pointer)) << pointer;
    }
}

TEST(Suggestions, RequestsBeyondTheShownOnesAreCountedHidden) {
    std::string properties;
    for (int i = 0; i < 12; ++i) {
        properties += (i ? "," : "") + std::string(R"("p)") + std::to_string(i) + R"(": {"minimum": 0})";
    }
    CoverageMap map = body_map(R"({"type": "object", "properties": {)" + properties + "}}");
    const std::vector<Suggestion> suggestions = vantorel::reports::collect_suggestions(map);
    ASSERT_EQ(suggestions.size(), 1u);
    const Suggestion& s = suggestions[0];
    EXPECT_EQ(s.requests.size(), vantorel::reports::kMaxSuggestedRequests);
    // Each failing side needs its own property set below 0: twelve requests at least.
    EXPECT_GE(s.requests.size() + s.hidden, 12u);
    expect_sound(s, body_target(map));
}

TEST(Suggestions, HostileBoundsBuildNoHugeValues) {
    CoverageMap map =
        body_map(R"({"type": "string", "minLength": 1000000000, "maxLength": 1e300, "pattern": "^(a+)+$"})");
    const std::vector<Suggestion> suggestions = vantorel::reports::collect_suggestions(map);
    ASSERT_EQ(suggestions.size(), 1u);
    for (const auto& request : suggestions[0].requests) {
        EXPECT_LT(deririrore::value::to_json(request.value).size(), 10000u);
    }
    expect_sound(suggestions[0], body_target(map));
}

}  // namespace
