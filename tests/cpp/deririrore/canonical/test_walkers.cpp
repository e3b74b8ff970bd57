#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "deririrore/canonical/unevaluated.hpp"
#include "deririrore/canonical/walkers.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/value/json.hpp"
#include "registered_document.hpp"

namespace deririrore::canonical {
namespace {

using value::Value;

using test_support::json;

struct Document : test_support::RegisteredDocument {
    CanonicalContext context;

    Document(std::string_view text, Draft draft)
        : RegisteredDocument(text, draft),
          context(new_canonical_context(regex::PatternOptions::backtracking(), draft, false)) {}
};

struct PropertiesCase {
    const char* schema;
    bool tolerated;
    bool is_static;
    std::vector<std::string> names;
};

TEST(StaticWalkers, EvaluatedPropertiesOfObjects) {
    const PropertiesCase cases[] = {
        {R"({"properties": {"a": {}}, "allOf": [{"properties": {"b": {}}}]})", false, true, {"a", "b"}},
        {R"({"properties": {"a": {}}, "anyOf": [{}]})", true, false, {}},
        {R"({"oneOf": [{}]})", true, false, {}},
        {R"({"dependencies": {}})", true, false, {}},
        {R"({"if": {}, "then": {"properties": {"x": {}}}})", false, false, {}},
        {R"({"if": {}, "properties": {"a": {}}})", true, true, {"a"}},
        {R"({"dependentSchemas": {"a": {}}})", false, false, {}},
        {R"({"$defs": {"t": true}, "$ref": "#/$defs/t", "properties": {"a": {}}})", false, true, {"a"}},
        {R"({"$defs": {"s": {"$ref": "#/$defs/s"}}, "$ref": "#/$defs/s"})", false, false, {}},
        {R"({"$defs": {"o": {"properties": {"z": {}}}}, "allOf": [{"$ref": "#/$defs/o"}]})", false, true, {"z"}},
        {R"({"allOf": [{"additionalProperties": false}]})", false, true, {}},
        {R"({"allOf": [3]})", false, false, {}},
    };
    for (const auto& c : cases) {
        Document doc(c.schema, Draft::Draft202012);
        EvaluationWalkOptions options;
        options.conditionals_tolerated = c.tolerated;
        EvaluatedProperties record;
        auto answer = walk_evaluated_properties(*doc.root, doc.context, *doc.scope, options, record);
        ASSERT_TRUE(answer.has_value()) << c.schema;
        EXPECT_EQ(*answer, c.is_static) << c.schema;
        if (*answer) {
            sort_unique(record.names);
            EXPECT_EQ(record.names, c.names) << c.schema;
        }
        EXPECT_TRUE(options.references_in_progress.empty()) << c.schema;
    }
}

TEST(StaticWalkers, AnAdditionalPropertiesItemEvaluatesEverything) {
    Document doc(R"({"allOf": [{"additionalProperties": false}]})", Draft::Draft202012);
    EvaluationWalkOptions options;
    EvaluatedProperties record;
    auto answer = walk_evaluated_properties(*doc.root, doc.context, *doc.scope, options, record);
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(*answer);
    EXPECT_TRUE(record.all);
}

struct ItemsCase {
    const char* schema;
    Draft draft;
    bool is_static;
    uint64_t prefix;
    bool all;
};

TEST(StaticWalkers, EvaluatedItemsByDraft) {
    const ItemsCase cases[] = {
        {R"({"items": [{}, {}]})", Draft::Draft201909, true, 2, false},
        {R"({"items": [{}, {}], "additionalItems": false})", Draft::Draft201909, true, 2, true},
        {R"({"items": [{}, {}]})", Draft::Draft202012, true, 0, false},
        {R"({"prefixItems": [{}, {}, {}]})", Draft::Draft202012, true, 3, false},
        {R"({"prefixItems": [{}], "items": false})", Draft::Draft202012, true, 0, true},
        {R"({"contains": {}})", Draft::Draft202012, false, 0, false},
        {R"({"allOf": [{"prefixItems": [{}, {}]}, {"prefixItems": [{}]}]})", Draft::Draft202012, true, 2, false},
    };
    for (const auto& c : cases) {
        Document doc(c.schema, c.draft);
        EvaluationWalkOptions options;
        EvaluatedItems record;
        auto answer = walk_evaluated_items(*doc.root, c.draft, doc.context, *doc.scope, options, record);
        ASSERT_TRUE(answer.has_value()) << c.schema;
        EXPECT_EQ(*answer, c.is_static) << c.schema;
        if (*answer) {
            EXPECT_EQ(record.prefix, c.prefix) << c.schema;
            EXPECT_EQ(record.all, c.all) << c.schema;
        }
    }
}

TEST(StaticWalkers, SpentReferenceBudgetIsNotStatic) {
    Document doc(R"({"$defs": {"t": {}}, "$ref": "#/$defs/t"})", Draft::Draft202012);
    EvaluationWalkOptions options;
    options.reference_budget = 0;
    EvaluatedProperties record;
    auto answer = walk_evaluated_properties(*doc.root, doc.context, *doc.scope, options, record);
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(*answer);
}

TEST(StaticWalkers, AReferenceToNowhereIsAnError) {
    Document doc(R"({"$ref": "#/$defs/missing"})", Draft::Draft202012);
    EvaluationWalkOptions options;
    EvaluatedProperties record;
    auto answer = walk_evaluated_properties(*doc.root, doc.context, *doc.scope, options, record);
    ASSERT_FALSE(answer.has_value());
    EXPECT_NE(answer.error().message().find("missing"), std::string::npos);
    EXPECT_TRUE(options.references_in_progress.empty());
}

TEST(StaticWalkers, DeepNestingGivesUpInsteadOfOverflowing) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += R"({"allOf": [)";
    text += "{}";
    for (int i = 0; i < 2000; ++i) text += "]}";
    auto parsed = value::parse_json(text, 100000);
    ASSERT_TRUE(parsed.has_value());
    Document doc("{}", Draft::Draft202012);
    EvaluationWalkOptions options;
    EvaluatedProperties record;
    auto answer = walk_evaluated_properties(*parsed, doc.context, *doc.scope, options, record);
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(*answer);
    EXPECT_FALSE(is_free_of_identifiers(*parsed, false, Draft::Draft202012));
}

TEST(StaticWalkers, CoverageOfNamesAndPatterns) {
    Document doc(R"({"properties": {"a": {}, "b": {}}, "patternProperties": {"^x": {}}})", Draft::Draft202012);
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> patterns;
        bool all;
        bool covered;
    };
    const Case cases[] = {
        {{"a", "b", "c"}, {"^x"}, false, true},
        {{"a", "c"}, {"^x"}, false, false},
        {{"a", "b"}, {"x"}, false, false},
        {{}, {}, true, true},
    };
    for (const auto& c : cases) {
        EvaluatedSets given{c.names, c.patterns, c.all, 0, false};
        EvaluationWalkOptions options;
        auto answer = subschema_evaluation_covered(*doc.root, given, doc.context, *doc.scope, options);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(*answer, c.covered);
    }
}

TEST(StaticWalkers, IdentifiersAndDiscriminators) {
    const std::pair<const char*, bool> identifiers[] = {
        {R"({"properties": {"a": {"$anchor": "x"}}})", false},
        {R"({"properties": {"a": {"$ref": "#"}}})", true},
        {R"({"items": {"minimum": 1}})", true},
        {R"(7)", true},
    };
    for (const auto& [text, free] : identifiers)
        EXPECT_EQ(is_free_of_identifiers(json(text), false, Draft::Draft202012), free) << text;
    EXPECT_FALSE(is_free_of_identifiers(json(R"({"properties": {"a": {"$ref": "#"}}})"), true, Draft::Draft202012));

    auto found = const_discriminator(json(R"({"properties": {"kind": {"const": "a"}}, "required": ["kind"]})"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->first, "kind");
    EXPECT_EQ(found->second.as_string(), "a");
    for (const char* text : {
             R"({"properties": {"kind": {"const": "a"}}, "required": ["kind"], "type": "object"})",
             R"({"properties": {"kind": {"const": [1]}}, "required": ["kind"]})",
             R"({"properties": {"kind": {"const": {}}}, "required": ["kind"]})",
             R"({"properties": {"kind": {"const": "a"}}, "required": ["other"]})",
         })
        EXPECT_FALSE(const_discriminator(json(text)).has_value()) << text;
}

TEST(StaticWalkers, PaddingPrefixItems) {
    Value object = json(R"({"prefixItems": [{}]})");
    pad_prefix_items(object, true, 3);
    EXPECT_EQ(object.find("prefixItems")->size(), 3u);
    pad_prefix_items(object, true, 2);
    EXPECT_EQ(object.find("prefixItems")->size(), 3u);
    Value other = json(R"({})");
    pad_prefix_items(other, false, 0);
    EXPECT_FALSE(other.contains("items"));
    pad_prefix_items(other, false, 2);
    EXPECT_EQ(other.find("items")->size(), 2u);
}

struct RewriteCase {
    const char* schema;
    Draft draft;
    const char* expected;  // null: unsupported
};

TEST(UnevaluatedRewrite, PlainRewrites) {
    const RewriteCase cases[] = {
        {R"({"properties": {"a": {}}, "unevaluatedProperties": false})", Draft::Draft202012,
         R"({"properties": {"a": {}}, "additionalProperties": false})"},
        {R"({"properties": {"a": {}}, "allOf": [{"properties": {"b": {}}}], "unevaluatedProperties": false})",
         Draft::Draft202012,
         R"({"properties": {"a": {}, "b": true}, "allOf": [{"properties": {"b": {}}}], "additionalProperties": false})"},
        {R"({"anyOf": [{"properties": {"a": {}}}, {"properties": {"b": {}}}], "unevaluatedProperties": false})",
         Draft::Draft202012, nullptr},
        {R"({"anyOf": [{"properties": {"a": {}}}, {"properties": {"a": {}}}], "unevaluatedProperties": false})",
         Draft::Draft202012,
         R"({"anyOf": [{"properties": {"a": {}}}, {"properties": {"a": {}}}], "properties": {"a": true},)"
         R"( "additionalProperties": false})"},
        {R"({"additionalProperties": {}, "unevaluatedProperties": false})", Draft::Draft202012,
         R"({"additionalProperties": {}})"},
        {R"({"prefixItems": [{}, {}], "unevaluatedItems": false})", Draft::Draft202012,
         R"({"prefixItems": [{}, {}], "items": false})"},
        {R"({"prefixItems": [{}], "items": true, "unevaluatedItems": false})", Draft::Draft202012,
         R"({"prefixItems": [{}], "items": true})"},
        {R"({"allOf": [{"prefixItems": [{}, {}]}], "unevaluatedItems": false})", Draft::Draft202012,
         R"({"allOf": [{"prefixItems": [{}, {}]}], "prefixItems": [true, true], "items": false})"},
        {R"({"items": [{}], "unevaluatedItems": false})", Draft::Draft201909,
         R"({"items": [{}], "additionalItems": false})"},
        {R"({"contains": {"type": "string"}, "unevaluatedItems": false})", Draft::Draft202012,
         R"({"contains": {"type": "string"}, "items": {"anyOf": [{"type": "string"}, false]}})"},
        {R"({"contains": 3, "unevaluatedItems": false})", Draft::Draft202012, nullptr},
        // Without an `items` array the older `additionalItems` evaluates nothing.
        {R"({"additionalItems": false, "allOf": [{"items": [{}]}], "unevaluatedItems": false})", Draft::Draft201909,
         nullptr},
        {R"({"$dynamicRef": "#x", "unevaluatedProperties": false})", Draft::Draft202012, nullptr},
        {R"({"dependencies": {}, "unevaluatedProperties": false})", Draft::Draft201909, nullptr},
    };
    for (const auto& c : cases) {
        Document doc(c.schema, c.draft);
        auto rewritten = rewrite_unevaluated_object(*doc.root, doc.context, *doc.scope);
        ASSERT_TRUE(rewritten.has_value()) << c.schema;
        if (c.expected == nullptr) {
            EXPECT_FALSE(rewritten->has_value()) << c.schema;
            continue;
        }
        ASSERT_TRUE(rewritten->has_value()) << c.schema;
        EXPECT_EQ(value::to_json(**rewritten), value::to_json(json(c.expected))) << c.schema;
        EXPECT_EQ(doc.context.parse_budget, kDefaultParseBudget) << c.schema;
    }
}

std::size_t variant_count(const Value& rewritten) {
    const Value* any = rewritten.find("anyOf");
    return any == nullptr ? 0 : any->size();
}

TEST(UnevaluatedRewrite, ConditionalsSplitIntoVariants) {
    Document doc(R"({"properties": {"a": {}}, "if": {"required": ["a"]}, "then": {"properties": {"b": {}}},
                     "unevaluatedProperties": false})",
                 Draft::Draft202012);
    auto rewritten = rewrite_unevaluated_object(*doc.root, doc.context, *doc.scope);
    ASSERT_TRUE(rewritten.has_value() && rewritten->has_value());
    const Value& out = **rewritten;
    ASSERT_EQ(variant_count(out), 2u);
    EXPECT_EQ(doc.context.parse_budget, kDefaultParseBudget - 2);
    // The variant where the condition holds comes first and admits b.
    const Value& holds = out.find("anyOf")->as_array()[0];
    EXPECT_TRUE(holds.find("properties")->contains("b"));
    EXPECT_FALSE(holds.contains("if"));
    const Value& fails = out.find("anyOf")->as_array()[1];
    EXPECT_FALSE(fails.find("properties")->contains("b"));
    EXPECT_EQ(value::to_json(*fails.find("additionalProperties")), "false");
}

TEST(UnevaluatedRewrite, DependentCaseWithoutTheMemberFirst) {
    Document doc(R"({"dependentSchemas": {"a": {"properties": {"b": {}}}}, "unevaluatedProperties": false})",
                 Draft::Draft202012);
    auto rewritten = rewrite_unevaluated_object(*doc.root, doc.context, *doc.scope);
    ASSERT_TRUE(rewritten.has_value() && rewritten->has_value());
    const auto& variants = (*rewritten)->find("anyOf")->as_array();
    ASSERT_EQ(variants.size(), 2u);
    EXPECT_TRUE(variants[0].find("allOf")->as_array()[0].contains("not"));
    EXPECT_TRUE(variants[1].find("properties")->contains("b"));
}

TEST(UnevaluatedRewrite, DiscriminatorsGroupIntoOneChoicePerValue) {
    auto item = [](const char* value, const char* property) {
        return std::string(R"({"if": {"properties": {"kind": {"const": ")") + value +
               R"("}}, "required": ["kind"]}, "then": {"properties": {")" + property + R"(": {}}}})";
    };
    const std::string three = item("a", "x") + "," + item("b", "y") + "," + item("c", "z");
    for (const auto& items : {three, three + "," + item("a", "w")}) {
        Document doc(R"({"properties": {"kind": {}}, "allOf": [)" + items + R"(], "unevaluatedProperties": false})",
                     Draft::Draft202012);
        auto rewritten = rewrite_unevaluated_object(*doc.root, doc.context, *doc.scope);
        ASSERT_TRUE(rewritten.has_value() && rewritten->has_value());
        EXPECT_EQ(variant_count(**rewritten), 5u);
        EXPECT_EQ(doc.context.parse_budget, kDefaultParseBudget - 5);
    }
}

TEST(UnevaluatedRewrite, ExpansionsBeyondTheBudgetAreUnsupported) {
    Document doc(R"({"if": {"required": ["a"]}, "then": {"properties": {"b": {}}}, "unevaluatedProperties": false})",
                 Draft::Draft202012);
    doc.context.parse_budget = 1;
    auto rewritten = rewrite_unevaluated_object(*doc.root, doc.context, *doc.scope);
    ASSERT_TRUE(rewritten.has_value());
    EXPECT_FALSE(rewritten->has_value());
    EXPECT_EQ(doc.context.parse_budget, 1u);
}

TEST(UnevaluatedRewrite, TooManyCasesGiveUp) {
    std::string items;
    for (int i = 0; i < 8; ++i) {
        if (i) items += ",";
        items += R"({"if": {"required": ["p)" + std::to_string(i) + R"("]}, "then": {"properties": {"q)" +
                 std::to_string(i) + R"(": {}}}})";
    }
    Document doc(R"({"allOf": [)" + items + R"(], "unevaluatedProperties": false})", Draft::Draft202012);
    auto rewritten = rewrite_unevaluated_object(*doc.root, doc.context, *doc.scope);
    ASSERT_TRUE(rewritten.has_value());
    EXPECT_FALSE(rewritten->has_value());  // 256 variants exceed 128
    EXPECT_EQ(doc.context.parse_budget, kDefaultParseBudget);
}

TEST(UnevaluatedRewrite, IdentifiersInsideCasesAreUnsupported) {
    Document doc(R"({"if": {"$anchor": "x"}, "then": {"properties": {"b": {}}}, "unevaluatedProperties": false})",
                 Draft::Draft202012);
    auto rewritten = rewrite_unevaluated_object(*doc.root, doc.context, *doc.scope);
    ASSERT_TRUE(rewritten.has_value());
    EXPECT_FALSE(rewritten->has_value());
}

}  // namespace
}  // namespace deririrore::canonical
