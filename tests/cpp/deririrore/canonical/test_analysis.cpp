#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "deririrore/canonical/analysis.hpp"
#include "deririrore/canonical/causes.hpp"
#include "deririrore/canonical/driver.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/refold.hpp"
#include "deririrore/canonical/walkers.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/value/json.hpp"
#include "registered_document.hpp"

namespace deririrore::canonical {
namespace {

using value::Value;

using test_support::json;

// A document in its own registry, analysed as a caller would.
struct Analysed : test_support::RegisteredDocument {
    using RegisteredDocument::RegisteredDocument;

    AnalysisRequest request() const {
        AnalysisRequest r;
        r.schema = root.get();
        r.pattern_options = regex::PatternOptions::backtracking();
        r.draft = draft;
        r.format_asserts = draft <= Draft::Draft7;
        r.pattern_cache = std::make_shared<PatternCache>();
        r.scope = scope;
        return r;
    }

    UnsatisfiableMap run() const {
        auto result = canonicalize_schema(request());
        if (!result) throw std::runtime_error("analysis failed: " + result.error().message());
        return std::move(*result);
    }
};

UnsatisfiableCauses one(std::string pointer, std::vector<std::string> keywords) {
    return UnsatisfiableCauses{CanonicalCause{std::move(pointer), std::move(keywords)}};
}

TEST(Analysis, FalseRootHasNoCause) {
    auto map = Analysed("false", Draft::Draft202012).run();
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->first, "");
    EXPECT_EQ(map.begin()->second, UnsatisfiableCauses{UnsatisfiableCauses::NoCause{}});
}

TEST(Analysis, SatisfiableSchemasGiveAnEmptyMap) {
    for (const char* text : {"true", "{}", R"({"type": "string", "minLength": 2})",
                             R"({"properties": {"a": {"type": "integer"}}, "required": ["a"]})"}) {
        EXPECT_TRUE(Analysed(text, Draft::Draft202012).run().empty()) << text;
    }
}

TEST(Analysis, KeywordsComeInTheGroupOrder) {
    auto map = Analysed(R"({"enum": [1, 2], "type": "string"})", Draft::Draft202012).run();
    ASSERT_EQ(map.count(""), 1u);
    EXPECT_EQ(map.at(""), one("", {"type", "enum"}));
}

TEST(Analysis, AReferenceToFalseNamesTheReference) {
    auto map = Analysed(R"({"$ref": "#/$defs/a", "$defs": {"a": false}})", Draft::Draft202012).run();
    ASSERT_EQ(map.count(""), 1u);
    EXPECT_EQ(map.at(""), one("", {"$ref"}));
}

Schema parsed_root(std::string_view text, Draft draft, std::size_t* known_false = nullptr) {
    Analysed doc(text, draft);
    auto context = new_canonical_context(regex::PatternOptions::backtracking(), draft, false);
    auto driven = parse_document_into_context(*doc.root, context, *doc.scope, CarriedState{});
    if (!driven.is_parsed()) throw std::runtime_error("not parsed");
    const auto& parsed = std::get<ParsedDocument>(driven.data);
    if (known_false) *known_false = parsed.tracker.known_false.size();
    return parsed.root;
}

TEST(Analysis, AReferenceToAFalseTargetBecomesFalseInTheNextPass) {
    // A target that is not a plain definition name is only known to be false after a pass.
    const char* text = R"({"$ref": "#/$defs/a/b", "$defs": {"a": {"b": false}}})";
    std::size_t known_false = 0;
    EXPECT_TRUE(is_false(parsed_root(text, Draft::Draft202012, &known_false)));
    EXPECT_EQ(known_false, 1u);
    auto map = Analysed(text, Draft::Draft202012).run();
    ASSERT_EQ(map.count(""), 1u);
    EXPECT_EQ(map.at(""), one("", {"$ref"}));
}

struct Driven {
    std::unique_ptr<Analysed> doc;
    CanonicalContext context = new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
    DriverResult result{ParseIncomplete{}};
};

std::unique_ptr<Driven> drive(std::string_view text, uint64_t budget = kDefaultIntersectionBudget) {
    auto d = std::make_unique<Driven>();
    d->doc = std::make_unique<Analysed>(text, Draft::Draft202012);
    d->context.intersection_budget = budget;
    d->result = parse_document_into_context(*d->doc->root, d->context, *d->doc->scope, CarriedState{});
    return d;
}

TEST(ParseDriver, PrunedTargetsPassesAndModes) {
    // A reference simplified away leaves no target behind.
    auto pruned = drive(R"({"allOf": [false, {"$ref": "#/$defs/a"}], "$defs": {"a": {"type": "string"}}})");
    ASSERT_TRUE(pruned->result.is_parsed());
    const auto& p = std::get<ParsedDocument>(pruned->result.data);
    EXPECT_TRUE(is_false(p.root));
    EXPECT_TRUE(p.tracker.targets.empty());

    // The root never enters its own table.
    auto self = drive(R"({"properties": {"next": {"$ref": "#"}}})");
    ASSERT_TRUE(self->result.is_parsed());
    EXPECT_EQ(std::get<ParsedDocument>(self->result.data).tracker.targets.count("#"), 0u);

    // A dynamic reference asks for a pass that resolves dynamic scopes.
    auto dynamic = drive(R"({"$dynamicAnchor": "n", "properties": {"p": {"$dynamicRef": "#n"}}})");
    ASSERT_TRUE(dynamic->result.is_parsed());
    EXPECT_EQ(std::get<ParsedDocument>(dynamic->result.data).tracker.dynamic_mode, 2);

    // A spent budget makes the parse incomplete, and the analysis reports nothing.
    auto spent = drive(R"({"type": "string", "enum": [1]})", 0);
    EXPECT_TRUE(spent->result.is_incomplete());
}

TEST(Analysis, SettlingFindsATargetThatContradictsItsReference) {
    Analysed doc(R"({
        "$defs": {
            "B": {"type": "integer"},
            "A": {"allOf": [{"$ref": "#/$defs/B"}, {"type": "string"}]}
        },
        "properties": {"x": {"$ref": "#/$defs/A"}}
    })",
                 Draft::Draft202012);
    auto map = doc.run();
    ASSERT_EQ(map.count("/properties/x"), 1u) << map.size();
    EXPECT_EQ(map.at("/properties/x"), one("/properties/x", {"$ref"}));
    EXPECT_EQ(map.count(""), 0u);
}

TEST(Analysis, RecursionSkipsSettling) {
    // The same contradiction behind a self-referencing target is not settled.
    Analysed doc(R"({
        "$defs": {
            "B": {"type": "integer"},
            "A": {"allOf": [{"$ref": "#/$defs/B"}, {"type": ["string", "object"]}],
                  "properties": {"next": {"$ref": "#/$defs/A"}}}
        },
        "properties": {"x": {"$ref": "#/$defs/A"}}
    })",
                 Draft::Draft202012);
    auto map = doc.run();
    EXPECT_EQ(map.count("/properties/x"), 0u);
}

TEST(Analysis, MutualReferencesEndWithoutALoop) {
    for (const char* text : {
             R"({"$defs": {"a": {"$ref": "#/$defs/b"}, "b": {"$ref": "#/$defs/a"}}, "$ref": "#/$defs/a"})",
             R"({"$defs": {"a": {"$ref": "#"}}, "properties": {"p": {"$ref": "#/$defs/a"}}})",
             R"({"$ref": "#"})",
         }) {
        Analysed doc(text, Draft::Draft202012);
        auto map = canonicalize_schema(doc.request());
        EXPECT_TRUE(map.has_value()) << text;
    }
}

TEST(Analysis, UnevaluatedPropertiesFalseActsAsAdditionalPropertiesFalse) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"type": "object", "properties": {"a": true}, "required": ["b"], "unevaluatedProperties": false})",
         R"({"type": "object", "properties": {"a": true}, "required": ["b"], "additionalProperties": false})"},
        {R"({"properties": {"a": {"type": "integer"}}, "allOf": [{"properties": {"b": true}}],
            "unevaluatedProperties": {"type": "string"}})",
         R"({"properties": {"a": {"type": "integer"}, "b": true}, "allOf": [{"properties": {"b": true}}],
            "additionalProperties": {"type": "string"}})"},
        {R"({"prefixItems": [{"type": "integer"}], "unevaluatedItems": false})",
         R"({"prefixItems": [{"type": "integer"}], "items": false})"},
    };
    for (const auto& [unevaluated, plain] : cases) {
        EXPECT_TRUE(schema_eq(parsed_root(unevaluated, Draft::Draft202012), parsed_root(plain, Draft::Draft202012)))
            << unevaluated;
    }
}

TEST(Analysis, ErrorsAndUnmodelledDocuments) {
    Analysed bad_pattern(R"({"pattern": "(["})", Draft::Draft202012);
    auto invalid = canonicalize_schema(bad_pattern.request());
    ASSERT_FALSE(invalid.has_value());
    EXPECT_EQ(invalid.error().message(), "invalid regular expression: ([");

    Analysed missing(R"({"$ref": "#/$defs/missing"})", Draft::Draft202012);
    auto nowhere = canonicalize_schema(missing.request());
    ASSERT_FALSE(nowhere.has_value());

    auto no_scope = bad_pattern.request();
    no_scope.scope.reset();
    auto empty = canonicalize_schema(no_scope);
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());

    // A keyword of the draft with a value form it does not take: unsupported, so nothing is reported.
    EXPECT_TRUE(Analysed(R"({"minimum": "3", "enum": [], "type": "string"})", Draft::Draft202012).run().empty());
}

TEST(Analysis, PointersEscapeAndSortBytewise) {
    auto map = Analysed(R"({"properties": {"a/b": false, "a": {"properties": {"b": false}}, "ab": false,
                                           "t~": false}})",
                        Draft::Draft202012)
                   .run();
    std::vector<std::string> pointers;
    for (const auto& [pointer, causes] : map) pointers.push_back(pointer);
    // "~" sorts after every letter.
    const std::vector<std::string> expected = {"/properties/a/properties/b", "/properties/ab", "/properties/a~1b",
                                               "/properties/t~0"};
    EXPECT_EQ(pointers, expected);
}

TEST(Analysis, DeepAndWideDocumentsEndWithoutCrashing) {
    auto nested = [](const char* open, const char* inner, const char* close, int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i) text += open;
        text += inner;
        for (int i = 0; i < depth; ++i) text += close;
        return text;
    };
    const std::string documents[] = {
        nested(R"({"allOf": [)", "false", "]}", 3000),
        nested(R"({"properties": {"a": )", R"({"type": "string", "minLength": 3, "maxLength": 1})", "}}", 3000),
        nested(R"({"unevaluatedProperties": false, "allOf": [)", "{}", "]}", 500),
        nested(R"({"not": )", "true", "}", 3000),
    };
    for (const auto& text : documents) {
        auto parsed = value::parse_json(text, 100000);
        ASSERT_TRUE(parsed.has_value());
        auto root = std::make_shared<const Value>(std::move(*parsed));
        Analysed doc("{}", Draft::Draft202012);
        auto request = doc.request();
        request.schema = root.get();
        auto result = canonicalize_schema(request);
        EXPECT_TRUE(result.has_value());
    }
}

TEST(CauseRecords, ChainsBecomePointersAndKeywords) {
    Value doc = json(R"({"allOf": [{"type": "string"}, {"type": "integer"}], "$ref": "x", "$dynamicRef": "y"})");
    const Value& first = doc.find("allOf")->as_array()[0];
    CausePointers pointers{{&first, "/allOf/0"}};
    CauseChain through_item(&first, std::make_unique<CauseChain>(&first, nullptr, cause_group::kAllOfBranch),
                            cause_group::kTypeValues);
    EXPECT_EQ(build_cause_record(through_item, "", doc, pointers), (CanonicalCause{"/allOf/0", {"type"}}));
    CauseChain item(&first, nullptr, cause_group::kAllOfBranch);
    EXPECT_EQ(build_cause_record(item, "", doc, pointers), (CanonicalCause{"/allOf/0", {}}));
    Value outside = json(R"({"type": "string"})");
    CauseChain elsewhere(&outside, nullptr, cause_group::kAllOfBranch);
    EXPECT_EQ(build_cause_record(elsewhere, "", doc, pointers), (CanonicalCause{"", {"allOf"}}));
    UnsatisfiableLocation through{"", &doc, nullptr};
    EXPECT_EQ(causes_of_location(through, pointers), one("", {"$ref", "$dynamicRef"}));
}

TEST(CauseRecords, ReferencesFollowAliasesWithoutLooping) {
    std::map<std::string, std::optional<SharedString>, std::less<>> aliases{
        {"a", share("b")}, {"b", share("a")}, {"c", share("d")}, {"d", std::nullopt}};
    TargetTable targets;
    targets.emplace("e", make_schema(kind::Reference{share("f")}));
    targets.emplace("f", false_schema());
    targets.emplace("g", make_schema(kind::Reference{share("g")}));
    CauseSources sources{nullptr, &aliases, &targets, nullptr, nullptr};
    const std::pair<const char*, bool> cases[] = {{"a", false}, {"c", true},  {"d", true},
                                                  {"e", true},  {"g", false}, {"missing", false}};
    for (const auto& [name, unsatisfiable] : cases)
        EXPECT_EQ(reference_leads_to_unsatisfiable(name, sources), unsatisfiable) << name;
}

TEST(Refolding, NodesThatKeepChangingStopAfterEightPasses) {
    auto settling = new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
    auto companion = new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
    TargetTable table;
    table.emplace("#/$defs/a", false_schema());
    set_targets(settling, std::make_shared<const TargetTable>(table));
    Schema reference = make_schema(kind::Reference{share("#/$defs/a")});
    EXPECT_TRUE(is_false(refold_until_stable(reference, table, settling, companion)));
    Schema negated = make_schema(kind::Not{make_schema(kind::Reference{share("#/$defs/b")})});
    EXPECT_TRUE(refold(negated, table, settling, companion).same(negated));
}

TEST(Refolding, SettleOrderPutsTargetsAfterWhatTheyReference) {
    TargetTable table;
    table.emplace("#/$defs/A", make_schema(kind::AllOf{{make_schema(kind::Reference{share("#/$defs/B")}),
                                                        schema_from_type_mask(JsonTypeSet(JsonType::String))}}));
    table.emplace("#/$defs/B", schema_from_type_mask(JsonTypeSet(JsonType::Integer)));
    Schema root = make_schema(kind::Reference{share("#/$defs/A")});
    auto order = settle_order(root, table);
    ASSERT_TRUE(order.has_value());
    const std::vector<std::string> expected = {"#/$defs/B", "#/$defs/A"};
    EXPECT_EQ(*order, expected);
    table.insert_or_assign("#/$defs/B", make_schema(kind::Reference{share("#/$defs/A")}));
    EXPECT_FALSE(settle_order(root, table).has_value());
}

}  // namespace
}  // namespace deririrore::canonical
