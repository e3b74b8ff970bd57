#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "../support/engine_test_support.hpp"
#include "golden.hpp"
#include "zavova/measured_targets.hpp"
#include "zavova/satisfiability.hpp"

namespace {

using namespace zavova;
using enginetest::json;
using Keywords = std::vector<std::string>;

UnsatisfiableMap map_of(const Value& schema, std::optional<Draft> draft = std::nullopt) {
    auto outcome = analyse_satisfiability(schema, draft);
    if (auto* failure = std::get_if<AnalysisFailure>(&outcome)) {
        ADD_FAILURE() << "analysis failed, variant " << failure->index();
        return {};
    }
    return std::get<UnsatisfiableMap>(std::move(outcome));
}

AnalysisFailure failure_of(const Value& schema, std::optional<Draft> draft = std::nullopt) {
    auto outcome = analyse_satisfiability(schema, draft);
    if (auto* failure = std::get_if<AnalysisFailure>(&outcome)) return *failure;
    ADD_FAILURE() << "analysis did not fail";
    return Unsupported{};
}

std::vector<std::string> locations(const UnsatisfiableMap& map) {
    std::vector<std::string> out;
    for (const auto& [location, causes] : map) out.push_back(location);
    return out;
}

// The explanation of a schema as the target builders obtain it.
std::optional<UnsatisfiableCause> explain(const Value& schema, Draft draft = Draft::Draft202012) {
    auto map = map_of(schema, draft);
    auto origin = find_unsatisfiable_origin(map, schema);
    if (!origin) return std::nullopt;
    return collect_unsatisfiable_causes(origin->location, *origin->causes, schema, draft);
}

TEST(Satisfiability, ValuesThatAreNoSchemaAreInvalid) {
    struct Case {
        const char* schema;
        const char* message;
    } cases[] = {
        {R"("text")", R"(schema must be a boolean or object, got: "text")"},
        {"12.50", "schema must be a boolean or object, got: 12.50"},
        {"[1, {}]", "schema must be a boolean or object, got: [1,{}]"},
        {"null", "schema must be a boolean or object, got: null"},
    };
    for (const auto& c : cases) {
        auto failure = failure_of(json(c.schema));
        const auto* invalid = std::get_if<InvalidSchema>(&failure);
        ASSERT_NE(invalid, nullptr) << c.schema;
        EXPECT_EQ(invalid->message, c.message);
        EXPECT_TRUE(invalid->location.view().empty());
    }
}

TEST(Satisfiability, MetaSchemaViolationsFailAtTheirPlace) {
    struct Case {
        const char* schema;
        std::optional<Draft> draft;
        const char* location;
    } cases[] = {
        {R"({"$schema": "http://json-schema.org/draft-07/schema#", "minLength": -1})", std::nullopt, "/minLength"},
        {R"({"properties": {"a": {"minLength": -1}}})", Draft::Draft7, "/properties/a/minLength"},
        // No "$schema": checked against the 2020-12 meta-schema.
        {R"({"type": "integer", "maxItems": "3"})", std::nullopt, "/maxItems"},
        {R"({"type": 5})", Draft::Draft4, "/type"},
    };
    for (const auto& c : cases) {
        auto failure = failure_of(json(c.schema), c.draft);
        const auto* invalid = std::get_if<InvalidSchema>(&failure);
        ASSERT_NE(invalid, nullptr) << c.schema;
        EXPECT_EQ(invalid->location.view(), c.location) << c.schema;
        EXPECT_FALSE(invalid->message.empty());
    }
}

TEST(Satisfiability, MetaSchemaViolationNamesAPropertyWhoseNameIsDigits) {
    // Read through the schema, "200" is a member of "properties", not an array item.
    auto failure = failure_of(json(R"({"properties": {"200": 5}})"));
    const auto* invalid = std::get_if<InvalidSchema>(&failure);
    ASSERT_NE(invalid, nullptr);
    EXPECT_EQ(invalid->location.view(), "/properties/200");
    EXPECT_TRUE(invalid->message.starts_with("`200` ")) << invalid->message;
}

TEST(Satisfiability, UnknownDialectIsAnalysedWithoutMetaSchemaOrRegistry) {
    const auto schema = json(R"({"$schema": "https://example.com/custom", "minLength": -1, "$ref": "#/nowhere"})");
    EXPECT_TRUE(std::holds_alternative<UnsatisfiableMap>(analyse_satisfiability(schema, std::nullopt)));
    // Given as the draft, the unknown dialect is read the same way (no stop, nothing impossible).
    auto given = analyse_satisfiability(json(R"({"type": "integer", "minimum": 5, "maximum": 3})"), Draft::Unknown);
    ASSERT_TRUE(std::holds_alternative<UnsatisfiableMap>(given));
    EXPECT_TRUE(std::get<UnsatisfiableMap>(given).empty());
}

TEST(Satisfiability, ReferenceFailuresAreMapped) {
    auto pointer = failure_of(json(R"({"$ref": "#/$defs/missing", "$defs": {}})"));
    ASSERT_TRUE(std::holds_alternative<UnresolvablePointer>(pointer));
    EXPECT_EQ(std::get<UnresolvablePointer>(pointer).pointer, "/$defs/missing");

    auto anchor = failure_of(json(R"({"$ref": "#nowhere"})"));
    ASSERT_TRUE(std::holds_alternative<UnresolvableAnchor>(anchor));
    EXPECT_EQ(std::get<UnresolvableAnchor>(anchor).anchor, "nowhere");

    auto external = failure_of(json(R"({"$ref": "https://example.com/other.json"})"));
    ASSERT_TRUE(std::holds_alternative<UnresolvableReference>(external));
    EXPECT_EQ(std::get<UnresolvableReference>(external).uri, "https://example.com/other.json");
}

TEST(Satisfiability, ImpossibleAndPossibleSchemas) {
    struct Case {
        const char* schema;
        std::vector<std::string> locations;
    } cases[] = {
        {R"({"type": "integer", "minimum": 5, "maximum": 3})", {""}},
        {R"({"type": "integer", "minimum": 3, "maximum": 5})", {}},
        {R"({"properties": {"a": {"type": "string", "minLength": 3, "maxLength": 2}}})", {"/properties/a"}},
        {R"({"enum": [1, 2], "const": 3})", {""}},
        {"false", {""}},
        {"true", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(locations(map_of(json(c.schema))), c.locations) << c.schema;
    }
}

// Analyses one after another meet the same patterns: each answer is the schema's own, whichever
// values the pattern was checked against before.
TEST(Satisfiability, PatternsMetAgainAnswerForTheirOwnSchema) {
    const char* possible = R"({"const": "abc", "pattern": "^a"})";
    const char* impossible = R"({"const": "xbc", "pattern": "^a"})";
    const char* refused = R"({"const": "abc", "pattern": "(?<=a)b"})";
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(locations(map_of(json(impossible))), std::vector<std::string>{""}) << round;
        EXPECT_EQ(locations(map_of(json(possible))), std::vector<std::string>{}) << round;
        EXPECT_EQ(locations(map_of(json(refused))), std::vector<std::string>{}) << round;
        EXPECT_EQ(locations(map_of(json(impossible))), std::vector<std::string>{""}) << round;
    }
}

TEST(Satisfiability, OriginOfAnUnsatisfiableRoot) {
    // An unsatisfiable optional property leaves the schema satisfiable: no origin.
    const auto optional = json(R"({"properties": {"a": false}})");
    auto map = map_of(optional);
    EXPECT_FALSE(map.empty());
    EXPECT_FALSE(find_unsatisfiable_origin(map, optional));

    const auto required =
        json(R"({"type": "object", "properties": {"a": {}, "na/me": false}, "required": ["a", "na/me"]})");
    map = map_of(required);
    auto origin = find_unsatisfiable_origin(map, required);
    ASSERT_TRUE(origin);
    EXPECT_EQ(origin->location, "/properties/na~1me");
    EXPECT_EQ(origin->causes, &map.at("/properties/na~1me"));

    auto explained = collect_unsatisfiable_causes(origin->location, *origin->causes, required, Draft::Draft202012);
    ASSERT_TRUE(std::holds_alternative<Unexplained>(explained));
    EXPECT_EQ(std::get<Unexplained>(explained).cause, (DescribedCause{"/properties/na~1me", {}}));
}

TEST(Satisfiability, OriginFollowsReferencesAndStopsOnALoop) {
    UnsatisfiableMap map;
    map.emplace("", UnsatisfiableCauses{CanonicalCause{"", {"$ref"}}});
    map.emplace("/$defs/a", UnsatisfiableCauses{CanonicalCause{"/$defs/a", {"$ref"}}});
    map.emplace("/$defs/b", UnsatisfiableCauses{CanonicalCause{"/$defs/b", {"$ref"}}});
    const auto loop =
        json(R"({"$ref": "#/$defs/a", "$defs": {"a": {"$ref": "#/$defs/b"}, "b": {"$ref": "#/$defs/a"}}})");
    auto origin = find_unsatisfiable_origin(map, loop);
    ASSERT_TRUE(origin);
    EXPECT_EQ(origin->location, "/$defs/b");

    UnsatisfiableMap items;
    items.emplace("", UnsatisfiableCauses{CanonicalCause{"", {"minItems", "prefixItems"}}});
    items.emplace("/prefixItems/1", UnsatisfiableCauses{CanonicalCause{"/prefixItems/1", {"type", "minimum"}}});
    const auto tuple = json(R"({"minItems": 2, "prefixItems": [true, {"type": "integer", "minimum": 1}]})");
    origin = find_unsatisfiable_origin(items, tuple);
    ASSERT_TRUE(origin);
    EXPECT_EQ(origin->location, "/prefixItems/1");
}

TEST(Satisfiability, RealRootExplained) {
    const auto schema = json(R"({"type": "integer", "minimum": 5, "maximum": 3})");
    auto explained = explain(schema);
    ASSERT_TRUE(explained);
    std::vector<std::string> keywords;
    for (const DescribedCause* cause : flatten_unsatisfiable_causes(*explained)) {
        EXPECT_EQ(cause->location, "");
        for (const KeywordPreview& k : cause->keywords) keywords.push_back(k.keyword + "=" + k.preview);
    }
    EXPECT_NE(std::find(keywords.begin(), keywords.end(), "minimum=5"), keywords.end());
    EXPECT_NE(std::find(keywords.begin(), keywords.end(), "maximum=3"), keywords.end());
}

TEST(Satisfiability, AlternativesAreReanalysedPerBranch) {
    UnsatisfiableCauses causes{
        std::vector<CanonicalCause>{CanonicalCause{"", {"type"}}, CanonicalCause{"", {"oneOf"}}}};
    const auto both = json(R"({"type": "string", "oneOf": [{"type": "integer"}, {"type": "boolean"}]})");
    auto explained = collect_unsatisfiable_causes("", causes, both, Draft::Draft202012);
    ASSERT_TRUE(std::holds_alternative<CauseList>(explained));
    const auto& entries = std::get<CauseList>(explained).entries;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(std::get<PlainCause>(entries[0]).cause, (DescribedCause{"", {{"type", "\"string\""}}}));
    ASSERT_TRUE(std::holds_alternative<BranchCauses>(entries[1]));
    EXPECT_EQ(std::get<BranchCauses>(entries[1]).causes,
              (std::vector<DescribedCause>{{"/oneOf/0", {{"type", "\"integer\""}}},
                                           {"/oneOf/1", {{"type", "\"boolean\""}}}}));

    // One branch agrees with the rest of the object: the cause stays plain.
    const auto one_fits = json(R"({"type": "string", "oneOf": [{"type": "integer"}, {"minLength": 2}]})");
    explained = collect_unsatisfiable_causes("", causes, one_fits, Draft::Draft202012);
    ASSERT_TRUE(std::holds_alternative<CauseList>(explained));
    EXPECT_TRUE(std::holds_alternative<PlainCause>(std::get<CauseList>(explained).entries[1]));

    // A single cause is never re-analysed.
    explained =
        collect_unsatisfiable_causes("", UnsatisfiableCauses{CanonicalCause{"", {"oneOf"}}}, both, Draft::Draft202012);
    ASSERT_TRUE(std::holds_alternative<SingleCause>(explained));
    EXPECT_EQ(std::get<SingleCause>(explained).cause.keywords[0].preview, R"([{"type":"integer"},{"type":"boolean"}])");
}

TEST(Satisfiability, RealOneOfRootGivesBranchCauses) {
    const auto schema = json(R"({"type": "string", "oneOf": [{"type": "integer"}, {"type": "boolean"}]})");
    auto explained = explain(schema);
    ASSERT_TRUE(explained);
    const auto* list = std::get_if<CauseList>(&*explained);
    ASSERT_NE(list, nullptr);
    bool branches = false;
    for (const CauseEntry& entry : list->entries) {
        if (const auto* b = std::get_if<BranchCauses>(&entry)) {
            branches = true;
            ASSERT_EQ(b->causes.size(), 2u);
            EXPECT_EQ(b->causes[0].location, "/oneOf/0");
            EXPECT_EQ(b->causes[1].location, "/oneOf/1");
        }
    }
    EXPECT_TRUE(branches);
}

TEST(Satisfiability, PreviewsAreCutAtFortyCharacters) {
    const std::string s39(39, 'a');
    const std::string s38(38, 'a');
    struct Case {
        std::string value;
        std::string preview;
    } cases[] = {
        {"\"" + s38 + "\"", "\"" + s38 + "\""},                    // exactly 40 with its quotes
        {"\"" + s39 + "\"", "\"" + std::string(36, 'a') + "..."},  // 41: the opening quote counts
        {"[" + std::string(50, '1') + "]", "[...]"},
        {R"({"a": "0123456789012345678901234567890123456789"})", "{...}"},
        {"12345678901234567890123456789012345678901", "1234567890123456789012345678901234567..."},
        // Characters, not bytes: 38 two-byte letters and the quotes are 40.
        {"\"" + std::string(76, 'x') + "\"", "\"" + std::string(36, 'x') + "..."},
    };
    // Replace the x runs by "é" to count scalars.
    auto accents = [](std::string text) {
        std::string out;
        for (char c : text) out += c == 'x' ? std::string("\xC3\xA9") : std::string(1, c);
        return out;
    };
    cases[5] = {"\"" + accents(std::string(38, 'x')) + "\"", "\"" + accents(std::string(38, 'x')) + "\""};
    for (const auto& c : cases) {
        const auto schema = json("{\"const\": " + c.value + "}");
        auto described = describe_cause("", {"const"}, schema);
        ASSERT_TRUE(described) << c.value;
        EXPECT_EQ(described->keywords, (std::vector<KeywordPreview>{{"const", c.preview}})) << c.value;
    }
    const auto long_accents = json("{\"const\": \"" + accents(std::string(39, 'x')) + "\"}");
    auto cut = describe_cause("", {"const"}, long_accents);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->keywords[0].preview, "\"" + accents(std::string(36, 'x')) + "...");
}

TEST(Satisfiability, DescribeRefusesWhatTheSchemaDoesNotHold) {
    const auto schema = json(R"({"properties": {"a": {"type": "string"}}})");
    EXPECT_EQ(describe_cause("/properties/b", {}, schema).error(), "a cause names a node the schema holds");
    EXPECT_EQ(describe_cause("/properties/a", {"minLength"}, schema).error(), "a cause names a keyword the node holds");
    EXPECT_EQ(describe_cause("/properties/a/type", {"x"}, schema).error(), "a cause names a keyword the node holds");
}

TEST(Satisfiability, BranchBaseDropsTheKeywordAndDefinitions) {
    const auto object = json(R"({"type": "string", "oneOf": [], "$defs": {}, "definitions": {}, "components": {},
                                 "minLength": 1})");
    EXPECT_TRUE(identical(branch_base_members(object, "oneOf"), json(R"({"type": "string", "minLength": 1})")));
}

TEST(Satisfiability, PatternsTheEngineRefusesAreNoImpossibleSchema) {
    for (const char* schema : {R"({"type": "string", "pattern": "(unclosed"})",
                               R"({"type": "string", "pattern": "(unclosed", "const": "x"})",
                               R"({"propertyNames": {"pattern": "[z-a]"}, "required": ["q"]})"}) {
        auto outcome = analyse_satisfiability(json(schema), std::nullopt);
        const auto* failure = std::get_if<AnalysisFailure>(&outcome);
        ASSERT_NE(failure, nullptr) << schema;
        EXPECT_TRUE(std::holds_alternative<InvalidSchema>(*failure) ||
                    std::holds_alternative<UncompilablePattern>(*failure))
            << schema << " gave " << failure->index();
    }
}

TEST(Satisfiability, MapBuildMarksTheImpossible) {
    const auto schema = json(R"({"type": "object", "properties": {"n": {"type": "integer", "minimum": 5,
                                 "maximum": 3}, "s": {"type": "string"}}})");
    CoverageHolder holder = build_coverage_state(schema, Draft::Draft202012, {}, canonical_satisfiability_analysis());
    EXPECT_FALSE(holder.state->analysis_error);
    EXPECT_FALSE(holder.state->unsatisfiable);
    EXPECT_EQ(holder.state->entries.find("/properties/n")->kind, EntryKind::subschema(Polarity::InvalidOnly));
    EXPECT_EQ(holder.state->entries.find("/properties/s")->kind, EntryKind::subschema(Polarity::Both));

    const auto root = json(R"({"type": "integer", "minimum": 5, "maximum": 3})");
    holder = build_coverage_state(root, Draft::Draft202012, {}, canonical_satisfiability_analysis());
    ASSERT_TRUE(holder.state->unsatisfiable);
    EXPECT_EQ(holder.state->entries.find("")->kind, EntryKind::subschema(Polarity::InvalidOnly));

    const auto broken = json(R"({"$ref": "#/$defs/none"})");
    holder = build_coverage_state(broken, Draft::Draft202012, {}, canonical_satisfiability_analysis());
    ASSERT_TRUE(holder.state->analysis_error);
    EXPECT_TRUE(std::holds_alternative<UnresolvablePointer>(*holder.state->analysis_error));
}

}  // namespace
