// The route table's ranking and conflict rules, where path keys go, and the parsed templates
// the route table does not hold.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantorel/model/routes.hpp"

namespace {

using namespace vantorel::model;
using Captures = std::vector<std::pair<std::string, std::string>>;

Captures captures_of(const RouteLookup& lookup) {
    Captures out;
    for (const RouteCapture& c : lookup.captures()) out.emplace_back(c.name, c.value);
    return out;
}

Captures owned(const SegmentCaptures& captures) {
    Captures out;
    for (const auto& [n, v] : captures) out.emplace_back(n, v);
    return out;
}

TEST(RouteTable, LiteralSegmentsRankBeforeParameters) {
    RouteTable table;
    for (std::string_view t : {"/users", "/users/{id}", "/users/me", "/users/me/settings", "/users/{id}/posts",
                               "/users/{uid}/posts/{postId}", "/files/{name}/raw", "/files/latest/{part}", "/a/b/c",
                               "/a/{x}/d", "/", "/items/", "/x//y", "/{first}/{second}/{third}"}) {
        ASSERT_EQ(table.insert(t).status, RouteInsertStatus::Inserted) << t;
    }
    struct Case {
        std::string_view path;
        std::optional<std::string_view> route;
        Captures captures;
    };
    const Case cases[] = {
        {"/users", "/users", {}},
        {"/users/me", "/users/me", {}},
        {"/users/42", "/users/{id}", {{"id", "42"}}},
        {"/users/me/settings", "/users/me/settings", {}},
        // The literal branch "me" leads nowhere for /posts: the walk backs up to {id}.
        {"/users/me/posts", "/users/{id}/posts", {{"id", "me"}}},
        // Same position, other template: names come from the template that matched.
        {"/users/7/posts/9", "/users/{uid}/posts/{postId}", {{"uid", "7"}, {"postId", "9"}}},
        // Both templates match; the first differing segment decides, and a literal wins there.
        {"/files/latest/raw", "/files/latest/{part}", {{"part", "raw"}}},
        {"/files/other/raw", "/files/{name}/raw", {{"name", "other"}}},
        {"/a/b/c", "/a/b/c", {}},
        {"/a/b/d", "/a/{x}/d", {{"x", "b"}}},
        {"/", "/", {}},
        {"/items/", "/items/", {}},
        {"/items", std::nullopt, {}},
        {"/x//y", "/x//y", {}},
        // A parameter stands for one non-empty segment.
        {"/users/", std::nullopt, {}},
        {"//posts", std::nullopt, {}},
        {"/users/1/2/3/4", std::nullopt, {}},
        {"/p/q/r", "/{first}/{second}/{third}", {{"first", "p"}, {"second", "q"}, {"third", "r"}}},
        {"/users/%7Bid%7D", "/users/{id}", {{"id", "%7Bid%7D"}}},
        {"", std::nullopt, {}},
        {"users", std::nullopt, {}},
    };
    RouteLookup lookup;
    for (const Case& c : cases) {
        const std::string* found = table.find(c.path, lookup);
        if (!c.route) {
            EXPECT_EQ(found, nullptr) << c.path << " matched " << *found;
            continue;
        }
        ASSERT_NE(found, nullptr) << c.path;
        EXPECT_EQ(*found, *c.route) << c.path;
        EXPECT_EQ(captures_of(lookup), c.captures) << c.path;
    }
}

TEST(RouteTable, ConflictsAreTemplatesDifferingOnlyInParameterNames) {
    struct Case {
        std::string_view first;
        std::string_view second;
        RouteInsertStatus status;
    };
    const Case cases[] = {
        {"/users/{id}", "/users/{userId}", RouteInsertStatus::Conflict},
        {"/users/{id}", "/users/{id}", RouteInsertStatus::Conflict},
        {"/a/{x}/b/{y}", "/a/{p}/b/{q}", RouteInsertStatus::Conflict},
        {"/a/{}", "/a/{x}", RouteInsertStatus::Conflict},
        {"/{*rest}", "/{x}", RouteInsertStatus::Conflict},
        {"/users/{id}", "/users/me", RouteInsertStatus::Inserted},
        {"/users/me", "/users/{id}", RouteInsertStatus::Inserted},
        {"/a/{x}/b", "/a/{y}/c", RouteInsertStatus::Inserted},
        {"/a/{x}", "/a/{x}/", RouteInsertStatus::Inserted},
        {"/a/{x}", "/a/{x}/{y}", RouteInsertStatus::Inserted},
        {"/a", "/a/", RouteInsertStatus::Inserted},
        {"/a", "/A", RouteInsertStatus::Inserted},
        // Segments the table does not hold as parameters.
        {"/a", "/files/{name}.json", RouteInsertStatus::Refused},
        {"/a", "/files/v{major}", RouteInsertStatus::Refused},
        {"/a", "/reports/{id", RouteInsertStatus::Refused},
        {"/a", "/reports/{a}}", RouteInsertStatus::Refused},
        {"/a", "/reports/{a{b}", RouteInsertStatus::Refused},
        {"/a", "/reports/{", RouteInsertStatus::Refused},
        // A "}" without "{" is plain text.
        {"/a", "/reports/}b", RouteInsertStatus::Inserted},
    };
    for (const Case& c : cases) {
        RouteTable table;
        ASSERT_EQ(table.insert(c.first).status, RouteInsertStatus::Inserted) << c.first;
        const RouteInsertResult r = table.insert(c.second);
        EXPECT_EQ(r.status, c.status) << c.first << " then " << c.second;
        if (c.status == RouteInsertStatus::Conflict) {
            EXPECT_EQ(r.owner, c.first);
        }
        // A refused template is not held.
        if (c.status != RouteInsertStatus::Inserted) {
            EXPECT_EQ(table.size(), 1u) << c.second;
        }
    }
}

std::string parameters_template(std::size_t n, std::string_view prefix = "p") {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += "/{" + std::string(prefix) + std::to_string(i) + "}";
    return out;
}

TEST(RouteTable, ParameterLimit) {
    RouteTable table;
    EXPECT_EQ(table.insert(parameters_template(25)).status, RouteInsertStatus::Inserted);
    const RouteInsertResult over = table.insert("/x" + parameters_template(26));
    EXPECT_EQ(over.status, RouteInsertStatus::TooManyParameters);
    EXPECT_EQ(over.parameters, 26u);
    // Names beginning with "*" do not count.
    EXPECT_EQ(table.insert("/y" + parameters_template(25) + "/{*rest}").status, RouteInsertStatus::Inserted);
}

TEST(RouteTable, DeepAndLongPathsAreWalkedWithoutRecursion) {
    RouteTable table;
    std::string deep;
    for (int i = 0; i < 20000; ++i) deep += "/s";
    ASSERT_EQ(table.insert(deep).status, RouteInsertStatus::Inserted);
    ASSERT_EQ(table.insert(parameters_template(20)).status, RouteInsertStatus::Inserted);
    EXPECT_NE(table.find(deep), nullptr);
    EXPECT_EQ(table.find(deep + "/t"), nullptr);
    std::string many;
    for (int i = 0; i < 100000; ++i) many += "/x";
    EXPECT_EQ(table.find(many), nullptr);
}

TEST(InsertRoute, WhereEachKeyGoes) {
    RouteIndex index;
    std::vector<ProblemEntry> problems;
    const std::optional<std::string> none;
    for (std::string_view key :
         {"/users/{id}", "/users/{userId}", "/files/{name}.{ext}", "/files/{name}{ext}",
          "/items?kind=book&id={itemId}&flag", "/items/?x=1", "/?x=1", "/reports/{id", "/pets#beta", "/"}) {
        insert_route(index, none, key, problems);
    }
    EXPECT_TRUE(problems.empty());

    // Every key has its method map, in insertion order.
    std::vector<std::string> keys;
    for (const auto& e : index.paths) keys.push_back(e.route);
    EXPECT_EQ(keys, (std::vector<std::string>{"/users/{id}", "/users/{userId}", "/files/{name}.{ext}",
                                              "/files/{name}{ext}", "/items?kind=book&id={itemId}&flag", "/items/?x=1",
                                              "/?x=1", "/reports/{id", "/pets#beta", "/"}));

    EXPECT_EQ(index.routes.size(), 3u);  // /users/{id}, /pets#beta, /
    EXPECT_NE(index.routes.find("/pets#beta"), nullptr);

    ASSERT_EQ(index.shadowing_templates.size(), 1u);
    const Shadowing& s = index.shadowing_templates.at("/users/{userId}");
    EXPECT_EQ(s.owner, "/users/{id}");
    ASSERT_EQ(s.renames.size(), 1u);
    EXPECT_EQ(s.renames.at("userId"), "id");

    std::vector<std::string> segment_keys;
    for (const auto& t : index.segment_templates) segment_keys.push_back(t.template_text);
    EXPECT_EQ(segment_keys, (std::vector<std::string>{"/users/{userId}", "/files/{name}.{ext}", "/files/{name}{ext}"}));
    using namespace path_segments;
    EXPECT_EQ(index.segment_templates[2].segments.back(),
              PathSegment(Composite{{segment_parts::AdjacentParameters{}}}));

    ASSERT_EQ(index.query_templates.size(), 3u);
    const QueryTemplate& items = index.query_templates[0];
    EXPECT_EQ(items.template_text, "/items?kind=book&id={itemId}&flag");
    EXPECT_EQ(items.segments, *parse_path_template("/items"));
    EXPECT_EQ(items.constraints, (std::vector<QueryConstraint>{query_constraints::Fixed{"kind", "book"},
                                                               query_constraints::Capture{"id", "itemId"},
                                                               query_constraints::Present{"flag"}}));
    EXPECT_EQ(index.query_templates[1].segments, *parse_path_template("/items"));
    EXPECT_EQ(index.query_templates[2].segments, (std::vector<PathSegment>{Literal{""}, Literal{""}}));

    EXPECT_EQ(index.unroutable_templates, (TextSet{"/reports/{id"}));
    ASSERT_EQ(index.fragment_paths.size(), 1u);
    EXPECT_EQ(index.fragment_paths.at("/pets"), (std::vector<std::string>{"/pets#beta"}));
    // "/" alone does not count as a template ending in "/".
    EXPECT_FALSE(index.has_trailing_slash_templates);
    insert_route(index, none, "/reports/{id}/", problems);
    EXPECT_TRUE(index.has_trailing_slash_templates);
}

TEST(InsertRoute, BasePathPrefixesTheKey) {
    RouteIndex index;
    std::vector<ProblemEntry> problems;
    insert_route(index, std::string("/api"), "/users", problems);
    insert_route(index, std::string("/api"), "/users#v2", problems);
    EXPECT_NE(index.paths.find("/api/users"), nullptr);
    EXPECT_EQ(index.paths.find("/users"), nullptr);
    EXPECT_NE(index.routes.find("/api/users"), nullptr);
    EXPECT_EQ(index.fragment_paths.at("/api/users"), (std::vector<std::string>{"/api/users#v2"}));
    // An empty base path is no prefix.
    insert_route(index, std::string(""), "/orders", problems);
    EXPECT_NE(index.routes.find("/orders"), nullptr);
}

TEST(InsertRoute, TooManyParametersIsAProblemAndStillMatches) {
    RouteIndex index;
    std::vector<ProblemEntry> problems;
    const std::string key = "/deep" + parameters_template(30);
    MethodMap& methods = insert_route(index, std::string("/api"), key, problems);
    OperationRecord* op = insert_operation_slot(methods, HttpMethod::Get, key, problems);
    ASSERT_NE(op, nullptr);
    op->operation_id = "deep";

    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].path, key);  // as written, without the base path
    EXPECT_EQ(problems[0].method, 0);
    EXPECT_EQ(spec_problem_kind(problems[0].problem), "too_many_route_parameters");
    const auto* p = problems[0].problem.get_if<problems::TooManyRouteParameters>();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->count, 30u);
    EXPECT_EQ(p->limit, 25u);

    // Not in the table, kept parsed, and its operation reachable from a concrete path.
    EXPECT_EQ(index.routes.size(), 0u);
    ASSERT_EQ(index.segment_templates.size(), 1u);
    std::string path = "/api/deep";
    for (int i = 0; i < 30; ++i) path += "/v" + std::to_string(i);
    SegmentCaptures captures;
    ASSERT_TRUE(match_pattern_segments(index.segment_templates[0].segments, path, captures));
    ASSERT_EQ(captures.size(), 30u);
    EXPECT_EQ(captures[29].first, "p29");
    EXPECT_EQ(captures[29].second, "v29");
    const MethodMap* found = index.paths.find(index.segment_templates[0].template_text);
    ASSERT_NE(found, nullptr);
    ASSERT_NE(found->get(HttpMethod::Get), nullptr);
    EXPECT_EQ(found->get(HttpMethod::Get)->operation_id, "deep");

    // 26 parameters of which two share a segment never reach the table: no problem.
    problems.clear();
    insert_route(index, std::nullopt, "/pair/{a}{b}" + parameters_template(24), problems);
    EXPECT_TRUE(problems.empty());
}

TEST(InsertRoute, ShadowingRenamesAndMarks) {
    RouteIndex index;
    std::vector<ProblemEntry> problems;
    MethodMap& first = insert_route(index, std::nullopt, "/users/{id}/posts/{post}", problems);
    ASSERT_NE(insert_operation_slot(first, HttpMethod::Get, "/users/{id}/posts/{post}", problems), nullptr);
    MethodMap& second = insert_route(index, std::nullopt, "/users/{name}/posts/{post}", problems);
    ASSERT_NE(insert_operation_slot(second, HttpMethod::Get, "/users/{name}/posts/{post}", problems), nullptr);
    ASSERT_NE(insert_operation_slot(second, HttpMethod::Delete, "/users/{name}/posts/{post}", problems), nullptr);

    const Shadowing& s = index.shadowing_templates.at("/users/{name}/posts/{post}");
    EXPECT_EQ(s.owner, "/users/{id}/posts/{post}");
    EXPECT_EQ(s.renames.size(), 1u);  // post equals post: no entry
    EXPECT_EQ(s.renames.at("name"), "id");

    mark_shadowed_operations(index);
    const MethodMap* shadowed = index.paths.find("/users/{name}/posts/{post}");
    EXPECT_EQ(shadowed->get(HttpMethod::Get)->shadowed_by, "/users/{id}/posts/{post}");
    EXPECT_FALSE(shadowed->get(HttpMethod::Delete)->shadowed_by.has_value());  // the owner has no DELETE
    EXPECT_FALSE(index.paths.find("/users/{id}/posts/{post}")->get(HttpMethod::Get)->shadowed_by.has_value());

    // Pairs by position; only whole parameters on both sides; the owner may be shorter.
    struct Case {
        std::string_view route, owner;
        std::vector<std::pair<std::string, std::string>> renames;
    };
    const Case cases[] = {
        {"/a/{x}/{y}", "/a/{p}", {{"x", "p"}}},
        {"/a/{x}/{x}", "/a/{p}/{q}", {{"x", "q"}}},
        {"/a/{x}", "/a/b", {}},
        {"/a/{x}.json", "/a/{p}", {}},
        {"/{}", "/{p}", {{"", "p"}}},
    };
    for (const Case& c : cases) {
        const auto renames = shadowing_renames(c.route, c.owner);
        EXPECT_EQ(renames.size(), c.renames.size()) << c.route;
        for (const auto& [from, to] : c.renames) {
            ASSERT_TRUE(renames.contains(from)) << c.route << " " << from;
            EXPECT_EQ(renames.at(from), to) << c.route;
        }
    }
}

TEST(PathTemplates, Parse) {
    using namespace path_segments;
    namespace sp = segment_parts;
    struct Case {
        std::string_view text;
        std::optional<std::vector<PathSegment>> segments;
    };
    const Case cases[] = {
        {"/a/{}", std::vector<PathSegment>{Literal{""}, Literal{"a"}, Parameter{""}}},
        {"", std::vector<PathSegment>{Literal{""}}},
        {"/", std::vector<PathSegment>{Literal{""}, Literal{""}}},
        {"a//b/", std::vector<PathSegment>{Literal{"a"}, Literal{""}, Literal{"b"}, Literal{""}}},
        {"/a/v{major}/x{", std::nullopt},
        {"/a/{b/c}", std::nullopt},
        {"/f/{name}.{ext}",
         std::vector<PathSegment>{Literal{""}, Literal{"f"},
                                  Composite{{sp::Parameter{"name"}, sp::Literal{"."}, sp::Parameter{"ext"}}}}},
        {"/f/{name}{ext}", std::vector<PathSegment>{Literal{""}, Literal{"f"}, Composite{{sp::AdjacentParameters{}}}}},
        {"/f/x{a}{b}{c}y",
         std::vector<PathSegment>{Literal{""}, Literal{"f"},
                                  Composite{{sp::Literal{"x"}, sp::AdjacentParameters{}, sp::Literal{"y"}}}}},
        {"/{a{b}", std::vector<PathSegment>{Literal{""}, Parameter{"a{b"}}},
        {"/}{a}", std::vector<PathSegment>{Literal{""}, Composite{{sp::Literal{"}"}, sp::Parameter{"a"}}}}},
        {"/{a}}", std::vector<PathSegment>{Literal{""}, Composite{{sp::Parameter{"a"}, sp::Literal{"}"}}}}},
        {"/caf\xc3\xa9/{n\xc3\xa4me}",
         std::vector<PathSegment>{Literal{""}, Literal{"caf\xc3\xa9"}, Parameter{"n\xc3\xa4me"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_path_template(c.text), c.segments) << c.text;
}

TEST(PathTemplates, StripFragment) {
    const std::pair<std::string_view, std::optional<std::string>> cases[] = {
        {"/pets", std::nullopt},    {"/pets#beta", "/pets"}, {"/a#beta/b", "/a/b"},
        {"/a/#beta/b", "/a/b"},     {"#beta/b", "/b"},       {"/a#beta/", "/a/"},
        {"/a/#beta", "/a/"},        {"/a#b#c/d", "/a/d"},    {"#", ""},
        {"/a#b/c#d/e", "/a/c#d/e"},
    };
    for (const auto& [text, stripped] : cases) EXPECT_EQ(strip_path_fragment(text), stripped) << text;
}

TEST(PathTemplates, QueryConstraints) {
    using namespace query_constraints;
    const std::pair<std::string_view, QueryConstraint> pieces[] = {
        {"sort={order}", Capture{"sort", "order"}},
        {"sort={}", Capture{"sort", ""}},
        {"sort={", Fixed{"sort", "{"}},
        {"sort=asc", Fixed{"sort", "asc"}},
        {"sort=", Fixed{"sort", ""}},
        {"=x", Fixed{"", "x"}},
        {"a=b=c", Fixed{"a", "b=c"}},
        {"flag", Present{"flag"}},
        {"", Present{""}},
    };
    for (const auto& [piece, constraint] : pieces) EXPECT_EQ(query_constraint_of(piece), constraint) << piece;
    EXPECT_EQ(parse_query_constraints(""), (std::vector<QueryConstraint>{Present{""}}));
    EXPECT_EQ(parse_query_constraints("a=1&"), (std::vector<QueryConstraint>{Fixed{"a", "1"}, Present{""}}));
    EXPECT_EQ(parse_query_constraints("&&"), (std::vector<QueryConstraint>{Present{""}, Present{""}, Present{""}}));
}

TEST(PathTemplates, MatchSegments) {
    struct Case {
        std::string_view template_text;
        std::string_view path;
        std::optional<Captures> captures;
    };
    const Case cases[] = {
        {"/files/{name}.{ext}", "/files/a.b.c", Captures{{"name", "a"}, {"ext", "b.c"}}},
        {"/files/{name}.{ext}", "/files/.txt", std::nullopt},
        {"/files/{name}.{ext}", "/files/a.", std::nullopt},
        {"/files/{name}.json", "/files/x.json", Captures{{"name", "x"}}},
        {"/files/{name}.json", "/files/x.json.json", Captures{{"name", "x.json"}}},
        {"/files/v{major}", "/files/v2", Captures{{"major", "2"}}},
        {"/files/v{major}", "/files/v", std::nullopt},
        {"/f/{a}-{b}-{c}", "/f/1-2-3-4", Captures{{"a", "1"}, {"b", "2"}, {"c", "3-4"}}},
        {"/f/{a}x", "/f/xx", Captures{{"a", "x"}}},
        {"/files/{name}{ext}", "/files/ab", std::nullopt},
        {"/u/{id}", "/u/", std::nullopt},
        {"/u/{id}", "/u/1/", std::nullopt},
        {"/u/{id}", "/u", std::nullopt},
        {"/", "/", Captures{}},
    };
    for (const Case& c : cases) {
        auto segments = parse_path_template(c.template_text);
        ASSERT_TRUE(segments) << c.template_text;
        SegmentCaptures captures{{"kept", "before"}};
        const bool matched = match_pattern_segments(*segments, c.path, captures);
        EXPECT_EQ(matched, c.captures.has_value()) << c.template_text << " " << c.path;
        Captures expected{{"kept", "before"}};
        if (c.captures) expected.insert(expected.end(), c.captures->begin(), c.captures->end());
        EXPECT_EQ(owned(captures), expected) << c.template_text << " " << c.path;
    }
    SegmentCaptures none;
    EXPECT_FALSE(match_pattern_segments({}, "/", none));
}

TEST(PathTemplates, MixedSegmentSearchIsBounded) {
    // Twenty parameters each followed by "x", against a piece of x's that fails only at its end:
    // plain backtracking would try every way of cutting 600 x's into twenty values.
    std::string segment;
    for (int i = 0; i < 20; ++i) segment += "{p" + std::to_string(i) + "}x";
    segment += "y";
    auto segments = parse_path_template("/" + segment);
    ASSERT_TRUE(segments);
    SegmentCaptures captures;
    EXPECT_FALSE(match_pattern_segments(*segments, "/" + std::string(600, 'x') + "z", captures));
    EXPECT_TRUE(captures.empty());
    const std::string path = "/" + std::string(600, 'x') + "y";  // the captures view it
    EXPECT_TRUE(match_pattern_segments(*segments, path, captures));
    ASSERT_EQ(captures.size(), 20u);
    EXPECT_EQ(captures[0].second, "x");  // shortest first
    EXPECT_EQ(captures[19].second.size(), 600u - 2 * 19 - 1);
}

TEST(PathTemplates, LongSegmentAgainstDottedTemplate) {
    // Each start of {ext} used to rescan the rest of the piece for ".json": a long hostile segment
    // cost the square of its length. A start after one that failed is now refused at once.
    auto segments = parse_path_template("/files/{name}.{ext}.json");
    ASSERT_TRUE(segments);
    std::string dots;
    for (int i = 0; i < 100000; ++i) dots += "a.";
    SegmentCaptures captures;
    EXPECT_FALSE(match_pattern_segments(*segments, "/files/" + dots + "x", captures));
    EXPECT_TRUE(captures.empty());
    const std::string path = "/files/" + dots + "tar.json";
    ASSERT_TRUE(match_pattern_segments(*segments, path, captures));
    ASSERT_EQ(captures.size(), 2u);
    EXPECT_EQ(captures[0].second, "a");
    EXPECT_EQ(captures[1].second, dots.substr(2) + "tar");
}

}  // namespace
