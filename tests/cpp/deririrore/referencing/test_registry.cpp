#include <gtest/gtest.h>

#include <map>

#include "deririrore/referencing/meta.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "helpers.hpp"

namespace deririrore::referencing {
namespace {

using testing::json;

Uri uri(std::string_view text) {
    auto parsed = parse_uri(text);
    if (!parsed) throw std::runtime_error(parsed.error().message());
    return *parsed;
}

// Serves fixed documents and records what it was asked for.
class MapRetriever final : public Retriever {
public:
    explicit MapRetriever(std::map<std::string, std::string> documents) : documents_(std::move(documents)) {}
    Result<Value, ErrorSource> retrieve(const Uri& u) const override {
        requests.push_back(u.text());
        auto it = documents_.find(u.text());
        if (it == documents_.end()) return make_unexpected(ErrorSource::text("not served: " + u.text()));
        return json(it->second);
    }
    mutable std::vector<std::string> requests;

private:
    std::map<std::string, std::string> documents_;
};

Result<std::shared_ptr<const Registry>, ReferenceError> build_one(std::string_view at, std::string_view document,
                                                                  std::optional<Draft> draft = std::nullopt,
                                                                  std::shared_ptr<const Retriever> retriever = nullptr) {
    RegistryOptions options;
    if (retriever) options.retriever = std::move(retriever);
    options.draft = draft;
    options.insert_resource(uri(at), RegistryInput::owned(json(document)));
    return build_registry(std::move(options));
}

std::shared_ptr<const Registry> must_build(std::string_view at, std::string_view document,
                                           std::optional<Draft> draft = std::nullopt,
                                           std::shared_ptr<const Retriever> retriever = nullptr) {
    auto r = build_one(at, document, draft, std::move(retriever));
    if (!r) throw std::runtime_error(r.error().message());
    return *r;
}

TEST(RegistryBuild, EmptyOptionsGiveAnEmptyRegistry) {
    auto registry = build_registry(registry_options_default());
    ASSERT_TRUE(registry);
    EXPECT_TRUE((*registry)->resources().empty());
}

TEST(RegistryBuild, Failures) {
    struct Case {
        std::string_view name;
        std::string_view at;
        std::string_view document;
        std::string_view message;
    };
    const Case cases[] = {
        {"relative ref without a base", "json-schema:///", R"({"$ref": "other.json"})",
         "Resource 'other.json' is not present in a registry and retrieving it failed: No base URI is available"},
        {"absolute ref with the default retriever", "json-schema:///",
         R"({"$ref": "https://example.com/s.json#/definitions/a"})",
         "Resource 'https://example.com/s.json' is not present in a registry and retrieving it failed: Default "
         "retriever does not fetch resources"},
        {"https form of the draft 7 identifier is an ordinary reference", "json-schema:///",
         R"({"$ref": "https://json-schema.org/draft-07/schema#"})",
         "Resource 'https://json-schema.org/draft-07/schema' is not present in a registry and retrieving it failed: "
         "Default retriever does not fetch resources"},
        {"unknown custom meta-schema", "json-schema:///", R"({"$schema": "https://example.com/meta"})",
         "Unknown meta-schema: 'https://example.com/meta'. Custom meta-schemas must be registered in the registry "
         "before use"},
        {"identifier against an opaque base", "urn:x:y", R"({"properties": {"a": {"$id": "c"}}})",
         "Failed to resolve 'c' against 'urn:x:y': when base has a rootless path and no authority, reference should "
         "either have scheme, be empty or start with '#'"},
        {"reference that does not parse", "json-schema:///", R"({"$ref": "a b"})",
         "Invalid URI reference 'a b': unexpected character at index 1"},
    };
    for (const auto& c : cases) {
        auto r = build_one(c.at, c.document);
        ASSERT_FALSE(r) << c.name;
        EXPECT_EQ(r.error().message(), c.message) << c.name;
    }
}

TEST(RegistryBuild, ExternalDocumentGivenAsInput) {
    RegistryOptions options;
    options.insert_resource(uri("json-schema:///"), RegistryInput::owned(json(R"({"$ref": "https://example.com/s.json"})")));
    options.insert_resource(uri("https://example.com/s.json"), RegistryInput::owned(json(R"({"type": "integer"})")));
    auto registry = build_registry(std::move(options));
    ASSERT_TRUE(registry) << registry.error().message();
    EXPECT_TRUE((*registry)->find_resource("https://example.com/s.json"));
}

TEST(RegistryBuild, CustomMetaSchemaFromInputsOrBase) {
    const auto document = json(R"({"$schema": "https://example.com/meta", "type": "string"})");
    const auto meta = json(R"({"$id": "https://example.com/meta"})");
    {
        RegistryOptions options;
        options.insert_resource(uri("https://example.com/doc"), RegistryInput::borrowed(document));
        options.insert_resource(uri("https://example.com/meta"), RegistryInput::borrowed(meta));
        EXPECT_TRUE(build_registry(std::move(options)));
    }
    RegistryOptions base_options;
    base_options.insert_resource(uri("https://example.com/meta"), RegistryInput::borrowed(meta));
    auto base = build_registry(std::move(base_options));
    ASSERT_TRUE(base);
    RegistryOptions options = registry_options_with_base(*base);
    options.insert_resource(uri("https://example.com/doc"), RegistryInput::borrowed(document));
    auto registry = build_registry(std::move(options));
    ASSERT_TRUE(registry) << registry.error().message();
    EXPECT_EQ((*registry)->find_resource("https://example.com/meta")->contents, &meta);
}

TEST(RegistryBuild, VocabularyMetaSchemaAsSchemaAddsAllNineteen) {
    auto registry = must_build("json-schema:///", R"({"$schema": "https://json-schema.org/draft/2020-12/meta/core"})");
    for (const auto& entry : all_meta_schemas()) {
        std::string id(entry.id);
        while (!id.empty() && id.back() == '#') id.pop_back();
        EXPECT_TRUE(registry->find_resource(id)) << id;
    }
}

TEST(RegistryBuild, MetaSchemaReferencesAddTheDefaultDraftsList) {
    const std::string_view doc = R"({"$ref": "http://json-schema.org/draft-07/schema#"})";
    auto without_draft = must_build("json-schema:///", doc);
    EXPECT_FALSE(without_draft->find_resource("http://json-schema.org/draft-07/schema"));
    EXPECT_TRUE(without_draft->find_resource("https://json-schema.org/draft/2020-12/schema"));
    EXPECT_TRUE(without_draft->find_resource("https://json-schema.org/draft/2020-12/meta/format-assertion"));
    Resolver resolver(*without_draft, default_base_uri());
    auto lookup = resolver_lookup(resolver, "http://json-schema.org/draft-07/schema#");
    ASSERT_FALSE(lookup);
    EXPECT_EQ(lookup.error().kind(), ReferenceError::Kind::Unretrievable);

    auto with_draft = must_build("json-schema:///", doc, Draft::Draft7);
    EXPECT_TRUE(with_draft->find_resource("http://json-schema.org/draft-07/schema"));
    EXPECT_FALSE(with_draft->find_resource("https://json-schema.org/draft/2020-12/schema"));
    ASSERT_TRUE(resolver_lookup(Resolver(*with_draft, default_base_uri()), "http://json-schema.org/draft-07/schema#"));
}

TEST(RegistryBuild, MetaSchemaIdentifierInSchemaAddsNothing) {
    auto registry = must_build("json-schema:///", R"({"$schema": "http://json-schema.org/draft-07/schema#"})");
    EXPECT_EQ(registry->resources().size(), 1u);
}

TEST(RegistryBuild, Draft7IdentifierBesideRefIsIgnored) {
    auto retriever = std::make_shared<MapRetriever>(
        std::map<std::string, std::string>{{"https://example.com/x.json", "{}"}});
    auto registry = must_build("https://example.com/root.json",
                               R"({"$schema": "http://json-schema.org/draft-07/schema#",
                                   "definitions": {"a": {"$ref": "x.json", "$id": "sub/y.json"}}})",
                               std::nullopt, retriever);
    EXPECT_EQ(retriever->requests, std::vector<std::string>{"https://example.com/x.json"});
    EXPECT_FALSE(registry->find_resource("https://example.com/sub/y.json"));
}

TEST(RegistryBuild, RetrievesPointerTargetsAndWholeDocuments) {
    auto retriever = std::make_shared<MapRetriever>(std::map<std::string, std::string>{
        {"https://example.com/x.json",
         R"({"definitions": {"a": {"$ref": "y.json"}}, "extra": {"$ref": "z.json"}})"},
        {"https://example.com/y.json", R"({"type": "string"})"},
        {"https://example.com/z.json", R"({"type": "integer"})"},
    });
    RegistryOptions options = set_registry_retriever(registry_options_default(), retriever);
    options.insert_resource(uri("https://example.com/root.json"),
                            RegistryInput::owned(json(R"({"$ref": "x.json#/definitions/a", "not": {"$ref": "x.json#/extra"}})")));
    auto registry = build_registry(std::move(options));
    ASSERT_TRUE(registry) << registry.error().message();
    // x.json is asked for once; the references inside it, also outside any keyword, are followed.
    EXPECT_EQ(std::count(retriever->requests.begin(), retriever->requests.end(), "https://example.com/x.json"), 1);
    EXPECT_TRUE((*registry)->find_resource("https://example.com/y.json"));
    EXPECT_TRUE((*registry)->find_resource("https://example.com/z.json"));
}

TEST(RegistryBuild, RootIdentifiers) {
    auto same = must_build("json-schema:///a/b.json", R"({"$id": "b.json", "$defs": {"x": {"$anchor": "x"}}})");
    EXPECT_EQ(same->resources().size(), 1u);
    auto other = must_build("json-schema:///a/b.json", R"({"$id": "c.json", "$defs": {"x": {"$id": "d.json"}}})");
    EXPECT_TRUE(other->find_resource("json-schema:///a/c.json"));
    EXPECT_TRUE(other->find_resource("json-schema:///a/d.json"));
    EXPECT_EQ(other->find_resource("json-schema:///a/c.json")->contents,
              other->find_resource("json-schema:///a/b.json")->contents);
}

TEST(RegistryBuild, NestedIdentifiersAndAnchors) {
    struct Case {
        std::string_view name;
        std::string_view document;
        std::vector<std::string_view> resources;
        std::vector<std::string_view> absent;
        std::vector<std::pair<std::string_view, std::string_view>> anchors;  // (uri, name)
    };
    const Case cases[] = {
        {"one trailing hash dropped", R"({"$defs": {"a": {"$id": "d.json#"}, "b": {"$id": "e.json#part"}}})",
         {"json-schema:///d.json", "json-schema:///e.json#part"}, {"json-schema:///d.json#"}, {}},
        {"draft 6 plain-name identifiers are anchors",
         R"({"$schema": "http://json-schema.org/draft-06/schema#", "definitions": {"a": {"$id": "#foo"}, "b": {"$id": "#"}}})",
         {}, {"json-schema:///#foo"}, {{"json-schema:///", "foo"}, {"json-schema:///", ""}}},
        {"2020-12 identifiers starting with '#' are neither", R"({"$defs": {"a": {"$id": "#foo"}}})", {}, {}, {}},
        {"draft 7 identifier beside $ref is ignored",
         R"({"$schema": "http://json-schema.org/draft-07/schema#", "definitions": {"a": {"$id": "y.json", "$ref": "#/definitions/b"}, "b": {}}})",
         {}, {"json-schema:///y.json"}, {}},
        {"2019-09 dependencies are crawled",
         R"({"$schema": "https://json-schema.org/draft/2019-09/schema", "dependencies": {"a": {"$id": "e.json"}, "b": ["c"]}})",
         {"json-schema:///e.json"}, {}, {}},
        {"2019-09 items array", R"({"$schema": "https://json-schema.org/draft/2019-09/schema", "items": [{"$id": "i.json"}]})",
         {"json-schema:///i.json"}, {}, {}},
        {"2020-12 items array is not a schema", R"({"items": [{"$id": "i.json"}]})", {}, {"json-schema:///i.json"}, {}},
        {"subschema switches to draft 7 rules",
         R"({"$defs": {"a": {"$schema": "http://json-schema.org/draft-07/schema#", "definitions": {"b": {"$id": "#seven"}}}}})",
         {}, {}, {{"json-schema:///", "seven"}}},
        {"anchors in 2020-12", R"({"$defs": {"a": {"$anchor": "x", "$dynamicAnchor": "x"}, "b": {"$anchor": ""}}})", {}, {},
         {{"json-schema:///", "x"}, {"json-schema:///", ""}}},
    };
    for (const auto& c : cases) {
        auto registry = must_build("json-schema:///", c.document);
        for (auto r : c.resources) EXPECT_TRUE(registry->find_resource(r)) << c.name << ": " << r;
        for (auto r : c.absent) EXPECT_FALSE(registry->find_resource(r)) << c.name << ": " << r;
        for (auto [u, name] : c.anchors) EXPECT_NE(registry->find_anchor(u, name), nullptr) << c.name << ": " << name;
    }
    auto both = must_build("json-schema:///", R"({"$defs": {"a": {"$anchor": "x", "$dynamicAnchor": "x"}}})");
    EXPECT_EQ(both->find_anchor("json-schema:///", "x")->kind, AnchorKind::Dynamic);
}

TEST(RegistryBuild, LaterInputWithTheSameIdentifierWins) {
    const auto first = json(R"({"$id": "https://example.com/shared", "title": "first"})");
    const auto second = json(R"({"$id": "https://example.com/shared", "title": "second"})");
    for (int run = 0; run < 5; ++run) {
        RegistryOptions options;
        options.insert_resource(uri("https://example.com/one"), RegistryInput::borrowed(first));
        options.insert_resource(uri("https://example.com/two"), RegistryInput::borrowed(second));
        auto registry = build_registry(std::move(options));
        ASSERT_TRUE(registry);
        EXPECT_EQ((*registry)->find_resource("https://example.com/shared")->contents, &second);
    }
}

// Local targets are read like lookups read them (percent-decoding, lenient indexes, inside the
// resource of the current base), so that their references are followed while building.
TEST(RegistryBuild, LocalTargetsAreReadAsLookupsReadThem) {
    struct Case {
        std::string_view name;
        std::string_view document;
        std::string_view reference;
    };
    const Case cases[] = {
        {"percent-encoded name", R"({"$ref": "#/x%20y", "x y": {"$ref": "https://example.com/z.json"}})", "#/x%20y"},
        {"index with leading zero", R"({"$ref": "#/list/01", "list": [{}, {"$ref": "https://example.com/z.json"}]})",
         "#/list/01"},
        {"pointer inside an embedded resource",
         R"({"$defs": {"e": {"$id": "https://example.com/e.json", "$ref": "#/x", "x": {"$ref": "z.json"}}}, "x": {}})",
         "https://example.com/e.json#/x"},
    };
    for (const auto& c : cases) {
        auto retriever = std::make_shared<MapRetriever>(
            std::map<std::string, std::string>{{"https://example.com/z.json", R"({"type": "null"})"}});
        auto registry = must_build("https://example.com/root.json", c.document, std::nullopt, retriever);
        EXPECT_TRUE(registry->find_resource("https://example.com/z.json")) << c.name;
        auto target = resolver_lookup(Resolver(*registry, std::make_shared<const Uri>(uri("https://example.com/root.json"))),
                                      c.reference);
        ASSERT_TRUE(target) << c.name << ": " << target.error().message();
        auto inner = resolver_lookup(target->resolver, string_member(*target->contents, "$ref").value());
        EXPECT_TRUE(inner) << c.name << ": " << inner.error().message();
    }
}

Value nested_not_chain(std::size_t depth, bool with_ids) {
    Value current = Value::object({});
    for (std::size_t i = depth; i-- > 0;) {
        value::ObjectBuilder builder;
        if (with_ids) builder.add("$id", Value::string("n" + std::to_string(i) + ".json"));
        builder.add("not", std::move(current));
        current = std::move(builder).build();
    }
    return current;
}

TEST(RegistryBuild, DeepChainRegistersEveryIdentifier) {
    RegistryOptions options;
    options.insert_resource(uri("https://example.com/root.json"), RegistryInput::owned(nested_not_chain(300, true)));
    auto registry = build_registry(std::move(options));
    ASSERT_TRUE(registry) << registry.error().message();
    for (int i = 0; i < 300; ++i)
        EXPECT_TRUE((*registry)->find_resource("https://example.com/n" + std::to_string(i) + ".json")) << i;
    // Each resource's "not" leads to the next one.
    auto n200 = (*registry)->find_resource("https://example.com/n200.json");
    EXPECT_EQ(n200->contents->find("not"), (*registry)->find_resource("https://example.com/n201.json")->contents);
}

TEST(RegistryBuild, HundredThousandLevelsDoNotOverflowTheStack) {
    constexpr std::size_t depth = 100000;
    for (bool with_ids : {false, true}) {
        RegistryOptions options;
        Value chain = nested_not_chain(depth, with_ids);
        // A local reference to the deepest level is followed, and its target's subtree walked.
        std::string pointer = "#";
        for (std::size_t i = 0; i < 2001; ++i) pointer += "/not";
        value::ObjectBuilder root;
        root.add("$ref", Value::string(pointer));
        root.add("not", std::move(chain));
        options.insert_resource(uri("https://example.com/deep.json"), RegistryInput::owned(std::move(root).build()));
        auto registry = build_registry(std::move(options));
        ASSERT_TRUE(registry) << registry.error().message();
        if (with_ids) {
            EXPECT_TRUE((*registry)->find_resource("https://example.com/n99999.json"));
        }
    }
}

// Many references into one document whose targets share subschemas: each shared subschema is
// crawled once, yet everything below it is registered, followed and retrieved as before.
TEST(RegistryBuild, SharedSubtreesReachedFromManyReferences) {
    constexpr std::string_view chain = R"({"$defs": {
        "c": {"properties": {"a": {"properties": {"b": {"$ref": "#/$defs/d"}}}}},
        "d": {"properties": {"e": {"$id": "inner.json", "$anchor": "deep",
                                   "properties": {"f": {"$ref": "ext.json#/$defs/x"}}}}},
        "t0": {"$ref": "#/$defs/c"}, "t1": {"allOf": [{"$ref": "#/$defs/c"}]}, "t2": {"$ref": "#/$defs/d"}}})";
    struct Case {
        std::string_view name;
        std::vector<std::string_view> targets;
    };
    const Case cases[] = {
        {"targets lead into the shared chain by local references", {"/$defs/t0", "/$defs/t1", "/$defs/t2", "/$defs/t0"}},
        {"targets nested inside each other",
         {"/$defs/c", "/$defs/c/properties/a", "/$defs/c/properties/a/properties/b", "/$defs/d/properties/e"}},
    };
    for (const auto& c : cases) {
        for (bool root_first : {true, false}) {
            std::string root = R"({"allOf": [)";
            for (std::size_t i = 0; i < c.targets.size(); ++i)
                root += std::string(i ? "," : "") + R"({"$ref": "doc.json#)" + std::string(c.targets[i]) + "\"}";
            root += "]}";
            auto retriever = std::make_shared<MapRetriever>(std::map<std::string, std::string>{
                {"https://example.com/ext.json", R"({"$defs": {"x": {"$anchor": "far"}}})"}});
            RegistryOptions options = set_registry_retriever(registry_options_default(), retriever);
            auto add_root = [&] { options.insert_resource(uri("https://example.com/root.json"), RegistryInput::owned(json(root))); };
            if (root_first) add_root();
            options.insert_resource(uri("https://example.com/doc.json"), RegistryInput::owned(json(chain)));
            if (!root_first) add_root();
            auto built = build_registry(std::move(options));
            ASSERT_TRUE(built) << c.name << ": " << built.error().message();
            const Registry& registry = **built;
            EXPECT_EQ(retriever->requests, std::vector<std::string>{"https://example.com/ext.json"}) << c.name;
            EXPECT_TRUE(registry.find_resource("https://example.com/inner.json")) << c.name;
            EXPECT_NE(registry.find_anchor("https://example.com/inner.json", "deep"), nullptr) << c.name;
            EXPECT_NE(registry.find_anchor("https://example.com/ext.json", "far"), nullptr) << c.name;
            // Every reference resolves, and so does the reference inside the shared resource.
            const Resolver from_root(registry, std::make_shared<const Uri>(uri("https://example.com/root.json")));
            for (auto target : c.targets) {
                auto found = resolver_lookup(from_root, "doc.json#" + std::string(target));
                EXPECT_TRUE(found) << c.name << ": " << target;
            }
            auto inner = resolver_lookup(from_root, "inner.json");
            ASSERT_TRUE(inner) << c.name;
            auto far = resolver_lookup(inner->resolver, "ext.json#far");
            EXPECT_TRUE(far) << c.name << ": " << far.error().message();
        }
    }
}

// A subtree crawled again for a pointer reference registers its identifiers again; when another
// document took one of them over in between, the crawl again gives it back, as it always has.
TEST(RegistryBuild, RecrawledSubtreeRegistersAgainAfterAnotherDocumentTookItsIdentifier) {
    const auto a = json(R"({"$defs": {"s": {"$defs": {"inner": {"$id": "https://example.com/shared"}}}}})");
    const auto b = json(R"({"$id": "https://example.com/shared"})");
    const auto root = json(R"({"$ref": "https://example.com/a.json#/$defs/s"})");
    RegistryOptions options;
    options.insert_resource(uri("https://example.com/a.json"), RegistryInput::borrowed(a));
    options.insert_resource(uri("https://example.com/b.json"), RegistryInput::borrowed(b));
    options.insert_resource(uri("https://example.com/root.json"), RegistryInput::borrowed(root));
    auto registry = build_registry(std::move(options));
    ASSERT_TRUE(registry) << registry.error().message();
    const Value* inner = a.find("$defs")->find("s")->find("$defs")->find("inner");
    EXPECT_EQ((*registry)->find_resource("https://example.com/shared")->contents, inner);
}

TEST(RegistryFindResource, FallsBackToTheParent) {
    auto base = must_build("https://example.com/base.json", R"({"$anchor": "here"})");
    RegistryOptions options = registry_options_with_base(base);
    options.insert_resource(uri("https://example.com/child.json"), RegistryInput::owned(json("{}")));
    auto child = build_registry(std::move(options));
    ASSERT_TRUE(child);
    EXPECT_TRUE((*child)->find_resource("https://example.com/base.json"));
    EXPECT_NE((*child)->find_anchor("https://example.com/base.json", "here"), nullptr);
    EXPECT_FALSE((*child)->find_resource("https://example.com/nowhere.json"));
    EXPECT_TRUE((*child)->knows_uri("https://example.com/base.json"));
}

TEST(SmallMapTest, ConvertsAtTheThirdKeyAndKeepsInsertionOrder) {
    SmallMap<int> map;
    EXPECT_FALSE(map.insert("a", 1));
    EXPECT_FALSE(map.insert("b", 2));
    EXPECT_TRUE(map.is_inline());
    EXPECT_TRUE(map.insert("a", 10));
    EXPECT_EQ(map.size(), 2u);
    EXPECT_FALSE(map.insert("c", 3));
    EXPECT_FALSE(map.is_inline());
    EXPECT_TRUE(map.insert("c", 30));
    EXPECT_EQ(map.size(), 3u);
    EXPECT_EQ(*map.get("a"), 10);
    EXPECT_EQ(*map.get("c"), 30);
    EXPECT_EQ(map.get("d"), nullptr);
    std::string order;
    for (const auto& [k, v] : map) order += k;
    EXPECT_EQ(order, "abc");
}

}  // namespace
}  // namespace deririrore::referencing
