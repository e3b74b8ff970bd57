// The parser of schema objects into canonical nodes: outcomes (node,
// unsupported, error) and the member order that decides between them, what
// the nodes admit, reference names and the target table, recorded causes, and
// oneOf over references.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/dialect.hpp"
#include "deririrore/canonical/parse.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;
namespace ref = deririrore::referencing;
using value::Value;

constexpr std::string_view kBase = "https://example.com/root.json";

Value json(std::string_view text) {
    auto parsed = value::parse_json(text);
    if (!parsed) throw std::runtime_error("bad test JSON: " + std::string(text));
    return std::move(*parsed);
}

// One document in a registry (with optional neighbours), parsed from its root.
struct Parsed {
    std::shared_ptr<const Value> doc;
    std::shared_ptr<const ref::Registry> registry;
    CanonicalContext context = new_canonical_context(regex::PatternOptions{}, Draft::Draft202012, false);
    ParseTracker tracker;
    ParseOutcome outcome = ParseOutcome::unsupported();

    const Schema& node() const { return outcome.node(); }
    // What the parsed node says of an instance, references read through the pass's table.
    Admission admits(std::string_view instance) {
        context.targets = std::make_shared<const TargetTable>(tracker.targets);
        Admission a = node_admits_value(outcome.node(), json(instance), true, context);
        context.targets.reset();
        return a;
    }
    // The JSON value at a path of member names and item indexes, for identities.
    const Value* at(std::initializer_list<std::string_view> path) const {
        const Value* v = doc.get();
        for (std::string_view step : path) {
            if (v->is_array()) {
                v = &v->as_array().at(std::stoul(std::string(step)));
            } else {
                v = v->find(step);
            }
            if (v == nullptr) throw std::runtime_error("no such path in test document");
        }
        return v;
    }
};

struct Options {
    Options(Draft d = Draft::Draft202012) : draft(d) {}
    Draft draft;
    uint8_t dynamic_mode = 0;
    std::vector<std::pair<std::string, std::string>> neighbours;
    std::set<std::string, std::less<>> known_false;
};

std::unique_ptr<Parsed> parse(std::string_view text, Options options = {}) {
    auto p = std::make_unique<Parsed>();
    p->doc = std::make_shared<const Value>(json(text));
    ref::RegistryOptions registry_options;
    registry_options.draft = registry_draft(options.draft);
    registry_options.insert_resource(*ref::parse_uri(kBase), ref::RegistryInput::shared(p->doc));
    for (const auto& [uri, body] : options.neighbours)
        registry_options.insert_resource(*ref::parse_uri(uri), ref::RegistryInput::owned(json(body)));
    auto registry = ref::build_registry(std::move(registry_options));
    if (!registry) throw std::runtime_error(registry.error().message());
    p->registry = *registry;
    p->context = new_canonical_context(regex::PatternOptions{}, options.draft, false);
    p->tracker.root_value = p->doc.get();
    p->tracker.root_uri = share(std::string(kBase));
    p->tracker.dynamic_mode = options.dynamic_mode;
    p->tracker.known_false = options.known_false;
    const Resolver scope(*p->registry, std::make_shared<const ref::Uri>(*ref::parse_uri(kBase)));
    p->outcome = parse_canonical_node(*p->doc, p->context, true, scope, p->tracker);
    return p;
}

std::string describe(const ParseOutcome& o) {
    if (o.is_unsupported()) return "unsupported";
    if (o.is_error()) return "error: " + o.error().message();
    return is_false(o.node()) ? "false" : "node";
}

struct OutcomeCase {
    const char* name;
    Draft draft;
    const char* schema;
    const char* expected;  // "unsupported", "false", "node" (any other) or an error message
};

TEST(ParseOutcomes, EachFormGivesItsAnswer) {
    const OutcomeCase cases[] = {
        {"true schema", Draft::Draft202012, "true", "node"},
        {"false schema", Draft::Draft202012, "false", "false"},
        {"enum without the const", Draft::Draft202012, R"({"enum": [1, 2], "const": 3})", "false"},
        {"empty type list", Draft::Draft7, R"({"type": []})", "false"},
        // `minimum` sorts before `pattern`: the string bound decides.
        {"minimum before pattern", Draft::Draft202012, R"({"pattern": "(", "minimum": "3"})", "unsupported"},
        // `pattern` sorts before `type`: the pattern error decides.
        {"pattern before type", Draft::Draft202012, R"({"pattern": "(", "type": "nothing"})",
         "error: invalid regular expression: ("},
        {"pattern property", Draft::Draft7, R"({"patternProperties": {"(": {}}})",
         "error: invalid regular expression: ("},
        {"string minimum", Draft::Draft202012, R"({"minimum": "3"})", "unsupported"},
        {"vendor extension", Draft::Draft202012, R"({"type": "string", "x-list": [1, 2]})", "node"},
        {"array items in 2020-12", Draft::Draft202012, R"({"items": [{}]})", "unsupported"},
        {"array items in 2019-09", Draft::Draft201909, R"({"items": [{}]})", "node"},
        {"prefixItems before 2020-12 is no keyword", Draft::Draft201909, R"({"prefixItems": 5})", "node"},
        {"const before draft 6 is no keyword", Draft::Draft4, R"({"const": {"a": []}})", "node"},
        {"fractional length", Draft::Draft202012, R"({"minLength": 2.5})", "unsupported"},
        {"negative length", Draft::Draft202012, R"({"maxItems": -1})", "unsupported"},
        {"zero divisor", Draft::Draft202012, R"({"multipleOf": 0})", "unsupported"},
        {"required holding a number", Draft::Draft202012, R"({"required": ["a", 1]})", "unsupported"},
        {"dependency of a number", Draft::Draft7, R"({"dependencies": {"a": 3}})", "unsupported"},
        {"dependentRequired with a schema", Draft::Draft202012, R"({"dependentRequired": {"a": {}}})", "unsupported"},
        {"content pair in draft 7", Draft::Draft7,
         R"({"contentEncoding": "base64", "contentMediaType": "application/json"})", "unsupported"},
        {"content pair in 2019-09", Draft::Draft201909,
         R"({"contentEncoding": "base64", "contentMediaType": "application/json"})", "node"},
        {"allOf holding an object", Draft::Draft202012, R"({"allOf": {}})", "unsupported"},
        {"not holding a number", Draft::Draft202012, R"({"not": 3})", "unsupported"},
        {"huge constant", Draft::Draft202012, R"({"const": 1e99999})", "unsupported"},
        {"unknown dialect", Draft::Draft202012, R"({"$schema": "https://example.com/custom"})", "unsupported"},
        {"draft 7 identifier at the root", Draft::Draft202012,
         R"({"$schema": "http://json-schema.org/draft-07/schema#", "type": "string"})", "node"},
        {"draft 7 identifier below the root", Draft::Draft202012,
         R"({"properties": {"a": {"$schema": "http://json-schema.org/draft-07/schema#"}}})", "unsupported"},
        {"OpenAPI dialect below the root", Draft::Draft202012,
         R"({"properties": {"a": {"$schema": "https://spec.openapis.org/oas/3.1/dialect/base"}}})", "node"},
        {"recursive reference to a pointer", Draft::Draft201909, R"({"$recursiveRef": "#/x"})", "unsupported"},
        {"pointer to nowhere", Draft::Draft202012, R"({"$ref": "#/$defs/none"})",
         "error: Pointer '/$defs/none' does not exist"},
        {"reference to itself only", Draft::Draft202012,
         R"({"$defs": {"a": {"$ref": "#/$defs/a"}}, "$ref": "#/$defs/a"})", "unsupported"},
        {"references only to each other", Draft::Draft202012,
         R"({"$defs": {"a": {"$ref": "#/$defs/b"}, "b": {"$ref": "#/$defs/a"}}, "$ref": "#/$defs/a"})", "unsupported"},
    };
    for (const auto& c : cases) {
        Options options;
        options.draft = c.draft;
        if (c.draft == Draft::Draft201909) options.dynamic_mode = 2;
        auto p = parse(c.schema, options);
        EXPECT_EQ(describe(p->outcome), c.expected) << c.name;
    }
}

TEST(ParseOutcomes, BooleanSchemasAreTheThreadsNodes) {
    EXPECT_TRUE(parse("true")->node().same(true_schema()));
    auto p = parse("false");
    EXPECT_TRUE(p->node().same(false_schema()));
    EXPECT_TRUE(std::holds_alternative<PendingCauses::FalseSchema>(p->tracker.pending.data));
}

TEST(ParseOutcomes, DynamicReferenceAsksForAnotherPass) {
    auto p = parse(R"({"properties": {"a": {"$dynamicRef": "#x"}}, "$dynamicAnchor": "x"})");
    EXPECT_TRUE(p->outcome.is_unsupported());
    EXPECT_EQ(p->tracker.dynamic_mode, 1);

    Options modern;
    modern.dynamic_mode = 2;
    auto q = parse(R"({"$id": "https://example.com/root.json", "$dynamicAnchor": "x",
                       "type": "object", "properties": {"a": {"$dynamicRef": "#x"}}})",
                   modern);
    ASSERT_TRUE(q->outcome.has_node()) << describe(q->outcome);
    EXPECT_EQ(q->tracker.dynamic_mode, 2);
    // The anchor is bound by the root itself: the reference names the root.
    EXPECT_TRUE(q->tracker.targets.empty());
    EXPECT_TRUE(q->tracker.reference_met);

    constexpr const char* recursive = R"({"$recursiveAnchor": true, "type": "object",
                                          "properties": {"a": {"$recursiveRef": "#"}}})";
    auto first = parse(recursive, Options{Draft::Draft201909});
    EXPECT_TRUE(first->outcome.is_unsupported());
    EXPECT_EQ(first->tracker.dynamic_mode, 1);
    Options again{Draft::Draft201909};
    again.dynamic_mode = 2;
    auto second = parse(recursive, again);
    ASSERT_TRUE(second->outcome.has_node()) << describe(second->outcome);
    EXPECT_TRUE(second->tracker.targets.empty());
    // The recursion names the root, which no table entry stands for.
    EXPECT_TRUE(contains_reference(second->node()));
}

TEST(ParseOutcomes, DeepNestingIsUnsupportedNotACrash) {
    std::string deep;
    for (int i = 0; i < 400; ++i) deep += R"({"items": )";
    deep += "{}";
    for (int i = 0; i < 400; ++i) deep += "}";
    auto p = parse(deep);
    EXPECT_TRUE(p->outcome.is_unsupported());
    EXPECT_EQ(p->tracker.depth, 0u);
}

struct AdmitCase {
    const char* name;
    Draft draft;
    const char* schema;
    const char* instance;
    bool accepted;
};

TEST(ParseMeaning, NodesAdmitWhatTheSchemaAccepts) {
    const AdmitCase cases[] = {
        {"draft 4 exclusive minimum", Draft::Draft4, R"({"minimum": 5, "exclusiveMinimum": true})", "5", false},
        {"draft 4 exclusive minimum above", Draft::Draft4, R"({"minimum": 5, "exclusiveMinimum": true})", "5.5", true},
        {"draft 4 exclusive flag alone", Draft::Draft4, R"({"exclusiveMinimum": true})", "0", true},
        {"draft 4 exclusive maximum", Draft::Draft4, R"({"maximum": 5, "exclusiveMaximum": true})", "5", false},
        {"draft 4 bound leaves strings", Draft::Draft4, R"({"minimum": 5, "exclusiveMinimum": true})", "\"x\"", true},
        {"tighter exclusive wins", Draft::Draft6, R"({"minimum": 5, "exclusiveMinimum": 5})", "5", false},
        {"tighter inclusive wins", Draft::Draft6, R"({"minimum": 5, "exclusiveMinimum": 3})", "4", false},
        {"tighter inclusive admits its limit", Draft::Draft6, R"({"minimum": 5, "exclusiveMinimum": 3})", "5", true},
        {"integer bound rounds up", Draft::Draft202012, R"({"type": "integer", "minimum": 1.5})", "1", false},
        {"integer bound", Draft::Draft202012, R"({"type": "integer", "minimum": 1.5})", "2", true},
        {"integer type", Draft::Draft202012, R"({"type": "integer", "minimum": 1.5})", "2.5", false},
        {"enum filtered by type", Draft::Draft202012, R"({"enum": [1, "a", null], "type": "string"})", "\"a\"", true},
        {"enum filtered by type drops", Draft::Draft202012, R"({"enum": [1, "a", null], "type": "string"})", "1",
         false},
        {"const ignored in draft 4", Draft::Draft4, R"({"const": 1})", "2", true},
        {"const in draft 6", Draft::Draft6, R"({"const": 1})", "2", false},
        {"zero maximum length", Draft::Draft202012, R"({"maxLength": 0})", "\"a\"", false},
        {"length leaves numbers", Draft::Draft202012, R"({"maxLength": 0})", "5", true},
        {"minimum length 1.0", Draft::Draft202012, R"({"minLength": 1.0})", "\"\"", false},
        {"empty pattern", Draft::Draft202012, R"({"pattern": ""})", "\"x\"", true},
        {"pattern", Draft::Draft202012, R"({"pattern": "^a"})", "\"ba\"", false},
        {"format not asserted", Draft::Draft202012, R"({"format": "no-such-format"})", "\"x\"", true},
        {"dependency array", Draft::Draft7, R"({"dependencies": {"a": ["b"]}})", R"({"a": 1})", false},
        {"dependency array met", Draft::Draft7, R"({"dependencies": {"a": ["b"]}})", R"({"a": 1, "b": 2})", true},
        {"dependency not triggered", Draft::Draft7, R"({"dependencies": {"a": ["b"]}})", R"({"b": 2})", true},
        {"dependency on non-objects", Draft::Draft7, R"({"dependencies": {"a": ["b"]}})", "3", true},
        {"dependent schema", Draft::Draft202012, R"({"dependentSchemas": {"a": {"required": ["c"]}}})", R"({"a": 1})",
         false},
        {"no additional members", Draft::Draft202012, R"({"additionalProperties": false})", R"({"a": 1})", false},
        {"no members at all", Draft::Draft202012, R"({"additionalProperties": false})", "{}", true},
        {"literal pattern joins the property", Draft::Draft202012,
         R"({"properties": {"a": {"type": "string"}}, "patternProperties": {"^a$": {"minLength": 2}}})",
         R"({"a": "x"})", false},
        {"literal pattern joins the property, met", Draft::Draft202012,
         R"({"properties": {"a": {"type": "string"}}, "patternProperties": {"^a$": {"minLength": 2}}})",
         R"({"a": "xy"})", true},
        {"forbidden extras beside patterns", Draft::Draft202012,
         R"({"patternProperties": {"^x-": {}}, "additionalProperties": false})", R"({"x-a": 1})", true},
        {"forbidden extras beside patterns, other", Draft::Draft202012,
         R"({"patternProperties": {"^x-": {}}, "additionalProperties": false})", R"({"y": 1})", false},
        {"if with else only", Draft::Draft7, R"({"if": {"type": "string"}, "else": {"type": "number"}})", "1", true},
        {"if with else only, neither", Draft::Draft7, R"({"if": {"type": "string"}, "else": {"type": "number"}})",
         "null", false},
        {"if alone", Draft::Draft7, R"({"if": false})", "null", true},
        {"then alone", Draft::Draft7, R"({"then": false})", "null", true},
        {"double negation", Draft::Draft202012, R"({"not": {"not": {"type": "string"}}})", "1", false},
        {"double negation, met", Draft::Draft202012, R"({"not": {"not": {"type": "string"}}})", "\"x\"", true},
        {"no items", Draft::Draft202012, R"({"maxItems": 0})", "[1]", false},
        {"tuple with closed rest", Draft::Draft7, R"({"items": [{"type": "string"}], "additionalItems": false})",
         R"(["a", 1])", false},
        {"tuple with closed rest, met", Draft::Draft7, R"({"items": [{"type": "string"}], "additionalItems": false})",
         R"(["a"])", true},
        {"additionalItems without tuple", Draft::Draft7, R"({"additionalItems": false})", "[1, 2]", true},
        {"additionalItems beside prefixItems", Draft::Draft202012,
         R"({"prefixItems": [{"type": "string"}], "additionalItems": false})", R"(["a", 1])", true},
        {"unique items", Draft::Draft202012, R"({"uniqueItems": true})", "[1, 1]", false},
        {"contains none needed", Draft::Draft201909, R"({"contains": {"type": "string"}, "minContains": 0})", "[]",
         true},
        {"contains", Draft::Draft202012, R"({"contains": {"type": "string"}})", "[1]", false},
        {"anyOf", Draft::Draft202012, R"({"anyOf": [{"type": "string"}, {"type": "null"}]})", "1", false},
        {"allOf", Draft::Draft202012, R"({"allOf": [{"type": "number"}, {"minimum": 3}]})", "2", false},
        {"minimum ignored beside a draft 7 reference", Draft::Draft7,
         R"({"$ref": "#/definitions/a", "minimum": 3, "definitions": {"a": {"type": "integer"}}})", "1", true},
        {"draft 7 reference", Draft::Draft7,
         R"({"$ref": "#/definitions/a", "minimum": 3, "definitions": {"a": {"type": "integer"}}})", "\"x\"", false},
        {"minimum beside a 2019-09 reference", Draft::Draft201909,
         R"({"$ref": "#/$defs/a", "minimum": 3, "$defs": {"a": {"type": "integer"}}})", "1", false},
        {"minimum beside a 2019-09 reference, met", Draft::Draft201909,
         R"({"$ref": "#/$defs/a", "minimum": 3, "$defs": {"a": {"type": "integer"}}})", "5", true},
        {"annotations beside a reference", Draft::Draft201909,
         R"({"$ref": "#/$defs/a", "title": "t", "description": "d", "$comment": "c", "default": 1,
             "$defs": {"a": {"type": "integer"}}})",
         "1", true},
    };
    for (const auto& c : cases) {
        Options options;
        options.draft = c.draft;
        auto p = parse(c.schema, options);
        ASSERT_TRUE(p->outcome.has_node()) << c.name << ": " << describe(p->outcome);
        EXPECT_EQ(p->admits(c.instance), c.accepted ? Admission::Accepted : Admission::Rejected) << c.name;
    }
}

TEST(ParseMeaning, RepeatedSiblingsOnlyWhereTheDraftHasThem) {
    // The draft 2019-09 object with constraining siblings keeps the reference
    // and the sibling part; a draft 7 one is the reference alone.
    auto modern = parse(R"({"$ref": "#/$defs/a", "minimum": 3, "$defs": {"a": {"type": "integer"}}})",
                        Options{Draft::Draft201909});
    ASSERT_TRUE(modern->outcome.has_node());
    EXPECT_FALSE(modern->node()->as<kind::Reference>());
    auto older = parse(R"({"$ref": "#/definitions/a", "minimum": 3, "definitions": {"a": {"type": "integer"}}})",
                       Options{Draft::Draft7});
    ASSERT_TRUE(older->outcome.has_node());
    ASSERT_TRUE(older->node()->as<kind::Reference>());
    EXPECT_EQ(*older->node()->as<kind::Reference>()->name, "#/definitions/a");
}

struct NameCase {
    const char* name;
    Draft draft;
    const char* schema;
    std::vector<std::string> targets;  // the target table's names after the parse
};

TEST(ReferenceNames, TargetsAreNamedIndependentlyOfHowTheyAreReached) {
    const std::string urn(kCanonicalUrnPrefix);
    const NameCase cases[] = {
        {"local definition",
         Draft::Draft202012,
         R"({"$defs": {"a": {"type": "string"}}, "$ref": "#/$defs/a"})",
         {"#/$defs/a"}},
        {"older definitions",
         Draft::Draft7,
         R"({"definitions": {"a": {"type": "string"}}, "$ref": "#/definitions/a"})",
         {"#/definitions/a"}},
        {"escaped name stays as written",
         Draft::Draft202012,
         R"({"$defs": {"x-y": {"type": "string"}}, "$ref": "#/$defs/x%2Dy"})",
         {"#/$defs/x%2Dy"}},
        {"name holding a slash",
         Draft::Draft202012,
         R"({"$defs": {"a": {"b": {"type": "string"}}}, "$ref": "#/$defs/a/b"})",
         {urn + "https%3A%2F%2Fexample%2Ecom%2Froot%2Ejson%23%2F%24defs%2Fa%2Fb"}},
        {"neighbour document",
         Draft::Draft202012,
         R"({"$ref": "other-doc.json"})",
         {urn + "https%3A%2F%2Fexample%2Ecom%2Fother%2Ddoc%2Ejson"}},
        {"two spellings of one target",
         Draft::Draft202012,
         R"({"allOf": [{"$ref": "other-doc.json"}, {"$ref": "https://example.com/other-doc.json"}]})",
         {urn + "https%3A%2F%2Fexample%2Ecom%2Fother%2Ddoc%2Ejson"}},
        {"definition of a nested resource",
         Draft::Draft202012,
         R"({"$defs": {"n": {"$id": "nested.json", "$defs": {"a": {"type": "string"}}, "$ref": "#/$defs/a"}},
             "$ref": "#/$defs/n"})",
         {"#/$defs/n", urn + "https%3A%2F%2Fexample%2Ecom%2Fnested%2Ejson%23%2F%24defs%2Fa"}},
        {"recursion",
         Draft::Draft202012,
         R"({"$defs": {"node": {"type": "object", "properties": {"next": {"$ref": "#/$defs/node"}}}},
             "$ref": "#/$defs/node"})",
         {"#/$defs/node"}},
        {"the root", Draft::Draft202012, R"({"properties": {"a": {"$ref": "#"}}})", {}},
    };
    for (const auto& c : cases) {
        Options options;
        options.draft = c.draft;
        options.neighbours = {{"https://example.com/other-doc.json", R"({"type": "string"})"}};
        auto p = parse(c.schema, options);
        ASSERT_TRUE(p->outcome.has_node()) << c.name << ": " << describe(p->outcome);
        std::vector<std::string> names;
        for (const auto& [name, node] : p->tracker.targets) names.push_back(name);
        EXPECT_EQ(names, c.targets) << c.name;
        EXPECT_TRUE(p->tracker.targets_in_progress.empty()) << c.name;
        EXPECT_TRUE(p->tracker.reference_met) << c.name;
    }
}

TEST(ReferenceNames, RootReferenceAndOtherDrafts) {
    auto root = parse(R"({"$ref": "#"})");
    ASSERT_TRUE(root->outcome.has_node());
    ASSERT_TRUE(root->node()->as<kind::Reference>());
    EXPECT_EQ(*root->node()->as<kind::Reference>()->name, "#");

    Options known;
    known.known_false = {"#"};
    EXPECT_TRUE(is_false(parse(R"({"$ref": "#"})", known)->node()));

    Options other;
    other.neighbours = {{"https://example.com/old.json",
                         R"({"$schema": "http://json-schema.org/draft-07/schema#", "type": "string"})"}};
    EXPECT_TRUE(parse(R"({"$ref": "old.json"})", other)->outcome.is_unsupported());
}

TEST(ReferenceNames, EscapeSetsAndBindings) {
    EXPECT_EQ(percent_encode_outer("aZ09-:/.%é"), "aZ09%2D%3A%2F%2E%25%C3%A9");
    EXPECT_EQ(percent_encode_inner("a-:/ %@|\x7f\x01é"), "a-:/ %25%40%7C%7F%01%C3%A9");
    EXPECT_EQ(uri_without_fragment("a#b#c"), "a");
    EXPECT_EQ(uri_without_fragment("abc"), "abc");

    EXPECT_EQ(canonical_name_with_bindings("#/$defs/a", {}), "#/$defs/a");
    const BindingList one = {DynamicBinding{share("T"), share("https://e.com/x")}};
    const std::string urn(kCanonicalUrnPrefix);
    EXPECT_EQ(canonical_name_with_bindings("#/$defs/a", one),
              urn + percent_encode_outer("#/$defs/a|dyn=T@https://e.com/x"));
    // A canonical base name is decoded before the bindings join it.
    EXPECT_EQ(canonical_name_with_bindings(urn + percent_encode_outer("https://e.com/y"), one),
              urn + percent_encode_outer("https://e.com/y|dyn=T@https://e.com/x"));
    // Separators inside the pieces are escaped, so two bindings never read as one.
    const BindingList tricky = {DynamicBinding{share("a@b"), share("u|dyn=c")}};
    EXPECT_EQ(canonical_name_with_bindings("#", tricky), urn + percent_encode_outer("#|dyn=a%40b@u%7Cdyn=c"));
}

TEST(ReferenceNames, DynamicAnchorsOfOneResource) {
    const Value doc = json(R"({"$dynamicAnchor": "a", "properties": {"p": {"$dynamicAnchor": "b"},
                               "q": {"$id": "other.json", "$dynamicAnchor": "c"}},
                               "items": {"$dynamicAnchor": "d"}, "$defs": {"x": {"$dynamicAnchor": 5}}})");
    std::vector<std::string> anchors;
    collect_dynamic_anchors(doc, ref::Draft::Draft202012, anchors);
    // In the registry's subresource order; "c" belongs to a resource of its
    // own and a non-string anchor counts for nothing.
    EXPECT_EQ(anchors, (std::vector<std::string>{"a", "d", "b"}));
}

TEST(ReferenceNames, DynamicReferencesAreNamedByTheirBindings) {
    Options options;
    options.dynamic_mode = 2;
    options.neighbours = {
        {"https://example.com/list.json",
         R"({"$id": "https://example.com/list.json", "$defs": {"item": {"$dynamicAnchor": "item"}},
             "type": "array", "items": {"$dynamicRef": "#item"}})"},
        {"https://example.com/strings.json",
         R"({"$id": "https://example.com/strings.json", "$ref": "list.json",
             "$defs": {"s": {"$dynamicAnchor": "item", "type": "string"}}})"},
        {"https://example.com/numbers.json",
         R"({"$id": "https://example.com/numbers.json", "$ref": "list.json",
             "$defs": {"n": {"$dynamicAnchor": "item", "type": "number"}}})"},
    };
    auto p = parse(R"({"properties": {"a": {"$ref": "strings.json"}, "b": {"$ref": "numbers.json"}}})", options);
    ASSERT_TRUE(p->outcome.has_node()) << describe(p->outcome);
    // The list and its item reached through each outer schema: one entry per binding.
    const std::string marker = percent_encode_outer("|dyn=item@");
    std::size_t bound = 0;
    for (const auto& [name, node] : p->tracker.targets) bound += name.find(marker) != std::string::npos;
    EXPECT_EQ(bound, 4u);
    EXPECT_EQ(p->admits(R"({"a": ["x"], "b": [1]})"), Admission::Accepted);
    EXPECT_EQ(p->admits(R"({"a": [1]})"), Admission::Rejected);
    EXPECT_EQ(p->admits(R"({"b": ["x"]})"), Admission::Rejected);
}

TEST(ReferenceNames, KnownFalseAndFalseTargets) {
    Options known;
    known.known_false = {"#/$defs/a"};
    auto p = parse(R"({"$defs": {"a": {"type": "string"}}, "$ref": "#/$defs/a"})", known);
    ASSERT_TRUE(p->outcome.has_node());
    EXPECT_TRUE(is_false(p->node()));
    // A target that is false already in this pass gives False at once.
    auto q = parse(R"({"$defs": {"a": false}, "$ref": "#/$defs/a"})");
    ASSERT_TRUE(q->outcome.has_node());
    EXPECT_TRUE(is_false(q->node()));
    ASSERT_TRUE(q->tracker.target_aliases.contains("#/$defs/a"));
    EXPECT_FALSE(q->tracker.target_aliases.at("#/$defs/a").has_value());
    const auto* chain = std::get_if<CauseChain>(&q->tracker.pending.data);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->object, q->doc.get());
    EXPECT_EQ(chain->group, cause_group::kReference);
    // The target's own reason is the literal false.
    ASSERT_TRUE(q->tracker.reasons.contains(q->at({"$defs", "a"})));
}

// The chains of a pending reason as (object, group) links, outermost last.
std::vector<std::vector<std::pair<ValueId, int>>> chains_of(const PendingCauses& causes) {
    std::vector<std::vector<std::pair<ValueId, int>>> out;
    auto one = [&](const CauseChain& c) {
        std::vector<std::pair<ValueId, int>> links;
        for (const CauseChain* l = &c; l != nullptr; l = l->next.get()) links.emplace_back(l->object, l->group);
        out.push_back(std::move(links));
    };
    if (const auto* c = std::get_if<CauseChain>(&causes.data)) one(*c);
    if (const auto* list = std::get_if<std::vector<CauseChain>>(&causes.data))
        for (const CauseChain& c : *list) one(c);
    return out;
}

TEST(ParseCauses, EmptyObjectsNameTheirParts) {
    // The pending reason after the root parse (the driver records it for the root).
    {
        auto p = parse(R"({"enum": [1, 2], "const": 3})");
        ASSERT_TRUE(is_false(p->node()));
        EXPECT_EQ(chains_of(p->tracker.pending),
                  (std::vector<std::vector<std::pair<ValueId, int>>>{{{p->doc.get(), 0}}}));
    }
    {
        auto p = parse(R"({"allOf": [{"type": "string"}, false]})");
        ASSERT_TRUE(is_false(p->node()));
        EXPECT_EQ(chains_of(p->tracker.pending),
                  (std::vector<std::vector<std::pair<ValueId, int>>>{{{p->at({"allOf", "1"}), 255}}}));
    }
    {
        // The items keep their parts for the search of the enclosing object.
        auto p = parse(R"({"allOf": [{"type": "string"}, {"type": "integer"}]})");
        ASSERT_TRUE(p->outcome.has_node());
        EXPECT_TRUE(p->tracker.parts_by_object.contains(p->at({"allOf", "0"})));
        EXPECT_TRUE(p->tracker.parts_by_object.contains(p->at({"allOf", "1"})));
        EXPECT_FALSE(p->tracker.parts_by_object.contains(p->doc.get()));
    }
    {
        auto p = parse(R"({"properties": {"a": {"enum": [1], "type": "string"}}})");
        ASSERT_TRUE(p->outcome.has_node());
        // The empty member recorded its reason under its own identity.
        const ValueId member = p->at({"properties", "a"});
        ASSERT_TRUE(p->tracker.reasons.contains(member));
        const auto* causes = std::get_if<PendingCauses>(&p->tracker.reasons.at(member).data);
        ASSERT_NE(causes, nullptr);
        EXPECT_EQ(chains_of(*causes), (std::vector<std::vector<std::pair<ValueId, int>>>{{{member, 0}}}));
        EXPECT_TRUE(p->tracker.pending.is_unset());
    }
}

TEST(ParseCauses, ConflictingPairsAreRefinedIntoTheirParts) {
    using Chains = std::vector<std::vector<std::pair<ValueId, int>>>;
    const Schema strings = schema_from_type_mask(JsonType::String);
    const Schema integers = schema_from_type_mask(JsonType::Integer);
    {
        // Two allOf items requiring different types: each side is the item's
        // base part, reached through the item.
        auto p = parse(R"({"allOf": [{"type": "string"}, {"type": "integer"}]})");
        const ValueId first = p->at({"allOf", "0"});
        const ValueId second = p->at({"allOf", "1"});
        const std::unordered_map<ValueId, KeywordParts> kept = {
            {first, {{cause_group::kTypeValues, strings}, {cause_group::kString, true_schema()}}},
            {second, {{cause_group::kTypeValues, integers}}}};
        const KeywordParts parts = {{cause_group::kTypeValues, true_schema()},
                                    {cause_group::kAllOfItem, strings},
                                    {cause_group::kAllOfItem, integers}};
        EXPECT_EQ(chains_of(find_unsatisfiable_causes(*p->doc, parts, p->context, kept, {})),
                  (Chains{{{first, 0}, {first, 255}}, {{second, 0}, {second, 255}}}));
    }
    {
        // A reference to a definition requiring integers beside a sibling
        // requiring strings: the target's base part through the reference, then
        // the sibling's base part.
        auto p = parse(R"({"$defs": {"A": {"type": "integer"}}, "$ref": "#/$defs/A", "type": "string"})");
        const ValueId target = p->at({"$defs", "A"});
        const Schema reference = make_schema(kind::Reference{share("#/$defs/A")});
        const std::unordered_map<ValueId, KeywordParts> kept = {{target, {{cause_group::kTypeValues, integers}}}};
        const std::map<std::string, ValueId, std::less<>> values = {{"#/$defs/A", target}};
        const KeywordParts parts = {{cause_group::kReference, reference}, {cause_group::kTypeValues, strings}};
        p->context.targets = std::make_shared<const TargetTable>(TargetTable{{"#/$defs/A", integers}});
        EXPECT_EQ(chains_of(find_unsatisfiable_causes(*p->doc, parts, p->context, kept, values)),
                  (Chains{{{target, 0}, {p->doc.get(), 12}}, {{p->doc.get(), 0}}}));
    }
    {
        // Items that meet pairwise but not all together: every item is a cause.
        auto p = parse(R"({"allOf": [{"enum": [1, 2]}, {"enum": [2, 3]}, {"enum": [1, 3]}]})");
        auto values = [](std::initializer_list<const char*> texts) {
            std::vector<CanonicalJson> out;
            for (const char* t : texts) out.push_back(shared_canonical_json(json(t)));
            return schema_from_value_set(std::move(out));
        };
        const KeywordParts parts = {{cause_group::kTypeValues, true_schema()},
                                    {cause_group::kAllOfItem, values({"1", "2"})},
                                    {cause_group::kAllOfItem, values({"2", "3"})},
                                    {cause_group::kAllOfItem, values({"1", "3"})}};
        EXPECT_EQ(
            chains_of(find_unsatisfiable_causes(*p->doc, parts, p->context, {}, {})),
            (Chains{{{p->at({"allOf", "0"}), 255}}, {{p->at({"allOf", "1"}), 255}}, {{p->at({"allOf", "2"}), 255}}}));
    }
}

TEST(ParseCauses, SearchSpendsTheBudgetButKeepsTheFlag) {
    auto p = parse(R"({"allOf": [{"type": "string"}, {"type": "integer"}]})");
    const KeywordParts parts = {{cause_group::kAllOfItem, schema_from_type_mask(JsonType::String)},
                                {cause_group::kAllOfItem, schema_from_type_mask(JsonType::Integer)}};
    p->context.intersection_budget = 1;
    p->context.exhausted = false;
    // One unit: the pair is decided and the budget is spent, not restored.
    auto causes = find_unsatisfiable_causes(*p->doc, parts, p->context, {}, {});
    EXPECT_EQ(chains_of(causes).size(), 2u);
    EXPECT_EQ(p->context.intersection_budget, 0u);
    EXPECT_FALSE(p->context.exhausted);
    // No budget left: nothing is claimed, every candidate is listed, the flag stays as it was.
    auto spent = find_unsatisfiable_causes(*p->doc, parts, p->context, {}, {});
    EXPECT_EQ(chains_of(spent), (std::vector<std::vector<std::pair<ValueId, int>>>{{{p->at({"allOf", "0"}), 255}},
                                                                                   {{p->at({"allOf", "1"}), 255}}}));
    EXPECT_FALSE(p->context.exhausted);
}

TEST(ParseCauses, SearchWithoutAConflictListsEveryPart) {
    auto p = parse(R"({"allOf": [{"type": "string"}, true, {"minLength": 1}]})");
    ASSERT_TRUE(p->outcome.has_node());
    KeywordParts parts = {
        {cause_group::kTypeValues, true_schema()},
        {cause_group::kAllOfItem, schema_from_type_mask(JsonType::String)},
        {cause_group::kAllOfItem, true_schema()},
        {cause_group::kAllOfItem, schema_from_type_mask(JsonTypeSet(JsonType::String).with(JsonType::Null))}};
    PendingCauses causes = find_unsatisfiable_causes(*p->doc, parts, p->context, {}, {});
    // The True parts are never causes, but the True item is still taken.
    EXPECT_EQ(chains_of(causes), (std::vector<std::vector<std::pair<ValueId, int>>>{{{p->at({"allOf", "0"}), 255}},
                                                                                    {{p->at({"allOf", "2"}), 255}}}));
}

TEST(ParseCauses, ChainsCopyAndDropWithoutRecursion) {
    CauseChain chain;
    for (int i = 0; i < 200000; ++i) chain = CauseChain(nullptr, std::make_unique<CauseChain>(std::move(chain)), 1);
    CauseChain copy = chain;
    std::size_t links = 0;
    for (const CauseChain* l = &copy; l != nullptr; l = l->next.get()) ++links;
    EXPECT_EQ(links, 200001u);
}

TEST(OneOfReferences, RepeatedAndFalseBranches) {
    {
        auto p = parse(R"({"$defs": {"a": {"type": "string"}},
                           "oneOf": [{"$ref": "#/$defs/a"}, {"$ref": "#/$defs/a"}]})");
        ASSERT_TRUE(p->outcome.has_node());
        EXPECT_TRUE(is_false(p->node()));
        EXPECT_EQ(chains_of(p->tracker.pending),
                  (std::vector<std::vector<std::pair<ValueId, int>>>{{{p->doc.get(), cause_group::kOneOf}}}));
    }
    {
        auto p = parse(R"({"$defs": {"a": {"type": "string"}}, "oneOf": [false, {"$ref": "#/$defs/a"}, false]})");
        ASSERT_TRUE(p->outcome.has_node());
        EXPECT_EQ(p->admits("\"x\""), Admission::Accepted) << debug_string(p->node());
        EXPECT_EQ(p->admits("1"), Admission::Rejected);
    }
    // Directly: only False branches and nothing else give a node accepting nothing.
    CanonicalContext context = new_canonical_context(regex::PatternOptions{}, Draft::Draft202012, false);
    std::vector<std::vector<Schema>> recorded;
    const Schema r = make_schema(kind::Reference{share("#/$defs/r")});
    auto twice = one_of_with_references({r, false_schema(), r}, {}, nullptr, recorded, context);
    ASSERT_TRUE(twice);
    EXPECT_TRUE(is_false(*twice));
    auto alone = one_of_with_references({false_schema(), r}, {}, nullptr, recorded, context);
    ASSERT_TRUE(alone);
    EXPECT_TRUE(alone->same(r));
}

TEST(OneOfReferences, UnavailableTargetsAreRecordedForTheNextPass) {
    CanonicalContext context = new_canonical_context(regex::PatternOptions{}, Draft::Draft202012, false);
    std::vector<std::vector<Schema>> recorded;
    const Schema a = make_schema(kind::Reference{share("#/$defs/a")});
    const Schema b = make_schema(kind::Reference{share("#/$defs/b")});
    auto node = one_of_with_references({b, a}, {}, nullptr, recorded, context);
    ASSERT_TRUE(node);
    const auto* one_of = (*node)->as<kind::OneOf>();
    ASSERT_NE(one_of, nullptr);
    EXPECT_EQ(one_of->branches.size(), 2u);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].size(), 2u);
}

TEST(Dialects, OpenApiIdentifiersAreDraft202012) {
    const std::pair<const char*, ref::Draft> cases[] = {
        {"https://spec.openapis.org/oas/3.1/dialect/base", ref::Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.1/dialect/base#", ref::Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.1/dialect/base##", ref::Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.2/dialect/2026-02-26", ref::Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.1/dialect/base/", ref::Draft::Unknown},
        {"HTTPS://SPEC.OPENAPIS.ORG/OAS/3.1/DIALECT/BASE", ref::Draft::Unknown},
        {"http://spec.openapis.org/oas/3.1/dialect/base", ref::Draft::Unknown},
        {"https://json-schema.org/draft/2020-12/schema", ref::Draft::Draft202012},
        {"http://json-schema.org/draft-07/schema#", ref::Draft::Draft7},
        {"###", ref::Draft::Unknown},
    };
    for (const auto& [text, draft] : cases) EXPECT_EQ(openapi_dialect_draft(text), draft) << text;
}

}  // namespace
