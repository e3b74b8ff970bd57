#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "helpers.hpp"

namespace deririrore::referencing {
namespace {

using testing::json;

UriRef shared_uri(std::string_view text) {
    auto parsed = parse_uri(text);
    if (!parsed) throw std::runtime_error(parsed.error().message());
    return std::make_shared<const Uri>(std::move(*parsed));
}

struct Fixture {
    std::shared_ptr<const Registry> registry;
    Resolver resolver;
};

Fixture make(std::vector<std::pair<std::string_view, std::string_view>> documents, std::string_view start) {
    RegistryOptions options;
    for (auto [u, text] : documents) options.insert_resource(*shared_uri(u), RegistryInput::owned(json(text)));
    auto registry = build_registry(std::move(options));
    if (!registry) throw std::runtime_error(registry.error().message());
    return Fixture{*registry, Resolver(**registry, shared_uri(start))};
}

std::vector<std::string> scope_texts(const Resolver& r) {
    std::vector<std::string> out;
    r.scope().for_each([&out](const UriRef& u) { out.push_back(u->text()); });
    return out;
}

TEST(ResolverEvolve, RecordsTheBaseItLeaves) {
    auto f = make({}, "json-schema:///");
    const UriRef base = f.resolver.base();
    Resolver once = resolver_evolve(f.resolver, base);
    EXPECT_EQ(scope_texts(once), std::vector<std::string>{"json-schema:///"});
    Resolver twice = resolver_evolve(once, shared_uri("json-schema:///"));
    EXPECT_EQ(scope_texts(twice), std::vector<std::string>{"json-schema:///"});
    Resolver moved = resolver_evolve(twice, shared_uri("json-schema:///other"));
    EXPECT_EQ(scope_texts(moved), (std::vector<std::string>{"json-schema:///", "json-schema:///"}));
    EXPECT_EQ(moved.base()->text(), "json-schema:///other");
}

TEST(ResolverLookup, PointerFragments) {
    auto f = make({{"https://example.com/s.json",
                    R"({"$schema": "http://json-schema.org/draft-07/schema#",
                        "definitions": {"a b": {"const": 1}, "a/b": {"const": 2}, "a": {"b": {"const": 3}},
                                        "x%y": {"const": 4}},
                        "items": [{"const": "first"}, {"const": "second"}]})"}},
                  "https://example.com/s.json");
    struct Case {
        std::string_view reference;
        std::string_view expected;  // compact JSON of the target, or the error message
    };
    const Case cases[] = {
        {"#/definitions/a%20b", R"({"const":1})"},
        {"#/definitions/a~1b", R"({"const":2})"},
        {"#/definitions/a%2Fb", R"({"const":3})"},
        {"#/definitions/x%y", R"({"const":4})"},
        {"#/items/01", R"({"const":"second"})"},
        {"#/items/+1", R"({"const":"second"})"},
        {"#/items/-1", "Failed to parse array index '-1' in pointer '/items/-1'"},
        {"#/items/", "Failed to parse array index '' in pointer '/items/'"},
        {"#/items/5", "Pointer '/items/5' does not exist"},
        {"#/items/99999999999999999999", "Failed to parse array index '99999999999999999999' in pointer '/items/99999999999999999999'"},
        {"#/definitions/missing", "Pointer '/definitions/missing' does not exist"},
        {"#/definitions/a b/const/x", "Pointer '/definitions/a b/const/x' does not exist"},
        {"#/%FF", "Invalid percent encoding in pointer '/%FF': the decoded bytes do not represent valid UTF-8"},
        {"s.json#/definitions/a~1b", R"({"const":2})"},
        {"other.json", "Resource 'https://example.com/other.json' is not present in a registry and retrieving it "
                       "failed: Retrieving external resources is not supported once the registry is populated"},
        {"a b", "Invalid URI reference 'a b': unexpected character at index 1"},
    };
    for (const auto& c : cases) {
        auto r = resolver_lookup(f.resolver, c.reference);
        EXPECT_EQ(r ? value::to_json(*r->contents) : r.error().message(), c.expected) << c.reference;
    }
    auto index_error = resolver_lookup(f.resolver, "#/items/-1");
    ASSERT_FALSE(index_error);
    EXPECT_EQ(index_error.error().get_if<ReferenceError::InvalidArrayIndex>()->source, IntParseErrorKind::InvalidDigit);
    auto empty_index = resolver_lookup(f.resolver, "#/items/");
    EXPECT_EQ(empty_index.error().get_if<ReferenceError::InvalidArrayIndex>()->source, IntParseErrorKind::Empty);
}

TEST(ResolverLookup, HashAloneGivesTheResourceAndRecordsTheBase) {
    auto f = make({{"https://example.com/s.json", R"({"type": "object"})"}}, "https://example.com/s.json");
    auto r = resolver_lookup(f.resolver, "#");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->contents, f.registry->find_resource("https://example.com/s.json")->contents);
    EXPECT_EQ(scope_texts(r->resolver), std::vector<std::string>{"https://example.com/s.json"});
}

TEST(ResolverLookup, PointerWalkRebasesOnSubresourceIdentifiers) {
    struct Case {
        std::string_view name;
        std::string_view document;
        std::string_view reference;
        std::string_view base;
    };
    const Case cases[] = {
        {"2020-12 $defs member", R"({"$defs": {"a": {"$id": "inner/a.json"}}})", "#/$defs/a",
         "https://example.com/inner/a.json"},
        {"extension member keeps the base", R"({"ext": {"a": {"$id": "inner/a.json"}}})", "#/ext/a",
         "https://example.com/root.json"},
        {"keyword alone keeps the base", R"({"$defs": {"$id": "x.json"}})", "#/$defs", "https://example.com/root.json"},
        {"draft 7 items object", R"({"$schema": "http://json-schema.org/draft-07/schema#", "items": {"$id": "i.json"}})",
         "#/items", "https://example.com/i.json"},
        {"draft 7 items array element",
         R"({"$schema": "http://json-schema.org/draft-07/schema#", "items": [{"$id": "i0.json"}]})", "#/items/0",
         "https://example.com/i0.json"},
        {"2020-12 items is in place", R"({"items": {"$id": "i.json"}})", "#/items", "https://example.com/i.json"},
        {"nested resources", R"({"$defs": {"a": {"$id": "d/a.json", "$defs": {"b": {"$id": "b.json"}}}}})",
         "#/$defs/a/$defs/b", "https://example.com/d/b.json"},
    };
    for (const auto& c : cases) {
        auto f = make({{"https://example.com/root.json", c.document}}, "https://example.com/root.json");
        auto r = resolver_lookup(f.resolver, c.reference);
        ASSERT_TRUE(r) << c.name << ": " << r.error().message();
        EXPECT_EQ(r->resolver.base()->text(), c.base) << c.name;
    }
}

TEST(ResolverLookup, Anchors) {
    auto f = make({{"https://example.com/root.json",
                    R"({"$defs": {"a": {"$anchor": "foo", "const": 1}, "e": {"$id": "e.json", "$anchor": "bar"}}})"}},
                  "https://example.com/root.json");
    struct Case {
        std::string_view reference;
        std::string_view expected;
    };
    const Case cases[] = {
        {"#foo", R"({"$anchor":"foo","const":1})"},
        {"e.json#bar", R"({"$anchor":"bar","$id":"e.json"})"},
        {"#nope", "Anchor 'nope' does not exist"},
        {"#a/b", "Anchor 'a/b' is invalid"},
        {"#bar", "Anchor 'bar' does not exist"},
    };
    for (const auto& c : cases) {
        auto r = resolver_lookup(f.resolver, c.reference);
        EXPECT_EQ(r ? value::to_json(*r->contents) : r.error().message(), c.expected) << c.reference;
    }
}

// An inner resource declares the dynamic anchor "node"; the outer one is in the dynamic scope.
std::string dynamic_target(std::string_view outer_declaration, std::string_view inner_declaration) {
    std::string outer = R"({"$id": "https://example.com/outer.json", "title": "outer", )" + std::string(outer_declaration) + "}";
    std::string inner = R"({"$id": "https://example.com/inner.json", "title": "inner", )" + std::string(inner_declaration) + "}";
    auto f = make({{"https://example.com/outer.json", outer}, {"https://example.com/inner.json", inner}},
                  "https://example.com/outer.json");
    auto entered = resolver_lookup(f.resolver, "inner.json");
    if (!entered) return entered.error().message();
    auto r = resolver_lookup(entered->resolver, "#node");
    if (!r) return r.error().message();
    return r->contents->find("title")->as_string() + " " + r->resolver.base()->text();
}

TEST(ResolverLookup, DynamicAnchorsFollowTheDynamicScope) {
    EXPECT_EQ(dynamic_target(R"("$dynamicAnchor": "node")", R"("$dynamicAnchor": "node")"),
              "outer https://example.com/outer.json");
    EXPECT_EQ(dynamic_target(R"("$anchor": "node")", R"("$dynamicAnchor": "node")"),
              "inner https://example.com/inner.json");
    EXPECT_EQ(dynamic_target(R"("$dynamicAnchor": "node")", R"("$anchor": "node")"),
              "inner https://example.com/inner.json");
    EXPECT_EQ(dynamic_target(R"("type": "object")", R"("$dynamicAnchor": "node")"),
              "inner https://example.com/inner.json");
}

// 300 nested resources, each declaring the dynamic anchor "node": entered one after another, the
// outermost declaration wins; the dynamic scope records every resource on the way.
TEST(ResolverLookup, DynamicAnchorAtTheEndOfADeepScope) {
    Value chain = json(R"({"$dynamicAnchor": "node", "title": "innermost"})");
    for (int i = 299; i >= 0; --i) {
        value::ObjectBuilder b;
        b.add("$id", Value::string("n" + std::to_string(i) + ".json"));
        b.add("$dynamicAnchor", Value::string("node"));
        b.add("title", Value::string("n" + std::to_string(i)));
        b.add("not", std::move(chain));
        chain = std::move(b).build();
    }
    RegistryOptions options;
    options.insert_resource(*shared_uri("https://example.com/n0.json"), RegistryInput::owned(std::move(chain)));
    auto registry = build_registry(std::move(options));
    ASSERT_TRUE(registry) << registry.error().message();
    Resolver resolver(**registry, shared_uri("https://example.com/n0.json"));
    for (int i = 1; i < 300; ++i) {
        auto next = resolver_lookup(resolver, "n" + std::to_string(i) + ".json");
        ASSERT_TRUE(next) << i << ": " << next.error().message();
        resolver = next->resolver;
    }
    EXPECT_EQ(scope_texts(resolver).size(), 299u);
    auto r = resolver_lookup(resolver, "#node");
    ASSERT_TRUE(r) << r.error().message();
    EXPECT_EQ(r->contents->find("title")->as_string(), "n0");
    EXPECT_EQ(r->resolver.base()->text(), "https://example.com/n0.json");
    auto innermost = resolver_lookup(resolver, "#/not");
    ASSERT_TRUE(innermost);
    EXPECT_EQ(innermost->contents->find("title")->as_string(), "innermost");
}

TEST(ResolverLookup, ConcurrentLookupsShareOneRegistry) {
    auto f = make({{"https://example.com/root.json", R"({"$defs": {"a": {"$id": "a.json", "$anchor": "x"}}})"}},
                  "https://example.com/root.json");
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const std::string reference = "sub" + std::to_string((i + t) % 17) + "/../a.json#x";
                if (!resolver_lookup(f.resolver, reference)) failures.fetch_add(1);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(ResolverLookup, RecursiveRefFollowsRecursiveAnchors) {
    const std::string_view draft = R"("$schema": "https://json-schema.org/draft/2019-09/schema", )";
    auto doc = [&](std::string_view id, std::string_view rest) {
        return "{" + std::string(draft) + R"("$id": ")" + std::string(id) + R"(", "title": ")" + std::string(id) +
               "\"" + std::string(rest) + "}";
    };
    struct Case {
        std::string_view name;
        std::string outer;
        std::string middle;
        std::string inner;
        std::string_view expected;
    };
    const Case cases[] = {
        {"no anchor on the target", doc("outer.json", R"(, "$recursiveAnchor": true)"),
         doc("middle.json", R"(, "$recursiveAnchor": true)"), doc("inner.json", ""), "inner.json"},
        {"outermost anchored resource", doc("outer.json", R"(, "$recursiveAnchor": true)"),
         doc("middle.json", R"(, "$recursiveAnchor": true)"), doc("inner.json", R"(, "$recursiveAnchor": true)"),
         "outer.json"},
        {"walk stops at the first resource without it", doc("outer.json", R"(, "$recursiveAnchor": true)"),
         doc("middle.json", ""), doc("inner.json", R"(, "$recursiveAnchor": true)"), "inner.json"},
    };
    for (const auto& c : cases) {
        auto f = make({{"https://example.com/outer.json", c.outer},
                       {"https://example.com/middle.json", c.middle},
                       {"https://example.com/inner.json", c.inner}},
                      "https://example.com/outer.json");
        auto middle = resolver_lookup(f.resolver, "middle.json");
        ASSERT_TRUE(middle);
        auto inner = resolver_lookup(middle->resolver, "inner.json");
        ASSERT_TRUE(inner);
        auto r = lookup_recursive_ref(inner->resolver);
        ASSERT_TRUE(r) << c.name << ": " << r.error().message();
        EXPECT_EQ(r->contents->find("title")->as_string(), c.expected) << c.name;
    }
}

TEST(ResolveSchemaId, RebasesWithoutTouchingTheScope) {
    auto f = make({}, "https://example.com/a/root.json");
    Resolver scoped = resolver_evolve(f.resolver, shared_uri("https://example.com/a/other.json"));
    auto r = resolve_schema_id(scoped, json(R"({"$id": "b/c.json##"})"), Draft::Draft202012);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->base()->text(), "https://example.com/a/b/c.json");
    EXPECT_EQ(scope_texts(*r), std::vector<std::string>{"https://example.com/a/root.json"});
    auto unchanged = resolve_schema_id(scoped, json(R"({"$id": "x.json", "$ref": "y"})"), Draft::Draft7);
    ASSERT_TRUE(unchanged);
    EXPECT_EQ(unchanged->base(), scoped.base());
    auto urn = make({}, "urn:x:y");
    auto failed = resolve_schema_id(urn.resolver, json(R"({"$id": "c"})"), Draft::Draft202012);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().kind(), ReferenceError::Kind::InvalidUri);
}

TEST(DynamicScopeTest, LongChainsReleaseWithoutRecursion) {
    DynamicScope scope;
    const UriRef u = shared_uri("https://example.com/x");
    for (int i = 0; i < 200000; ++i) scope = scope.push(u);
    DynamicScope shared_tail = scope;
    scope = DynamicScope();
    EXPECT_FALSE(shared_tail.empty());
    shared_tail = DynamicScope();
    EXPECT_TRUE(shared_tail.empty());
}

}  // namespace
}  // namespace deririrore::referencing
