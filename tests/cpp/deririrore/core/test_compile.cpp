// Schema node compilation through the build entry: boolean and object schemas, the `$ref`
// sibling rule, annotations, keyword order, compile errors and the build options.
#include <gtest/gtest.h>

#include "deririrore/core/internal_error.hpp"
#include "support.hpp"

namespace deririrore::core {
namespace {

using testing::build;
using testing::json;
using testing::located;
using testing::options_for;

TEST(BooleanSchemas, TrueAcceptsFalseRejectsWithOneErrorAndNoEvent) {
    const Value instance = json(R"({"a": [1]})");
    Validator yes = build(json("true"));
    EXPECT_TRUE(yes.is_valid(instance));
    EXPECT_FALSE(yes.validate(instance));
    EXPECT_TRUE(yes.iter_errors(instance).empty());

    Validator no = build(json("false"));
    EXPECT_FALSE(no.is_valid(instance));
    auto error = no.validate(instance);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), R"(False schema does not allow {"a":[1]})");
    EXPECT_EQ(error->schema_path().view(), "");
    EXPECT_EQ(no.iter_errors(instance).size(), 1u);

    testing::RecordingTracer tracer;
    auto traced = no.trace(instance, tracer);
    ASSERT_TRUE(traced);
    EXPECT_FALSE(*traced);
    EXPECT_TRUE(tracer.events.empty());
}

// Under drafts 4, 6 and 7 a `$ref` hides its siblings; later it is one keyword among others.
TEST(RefSiblings, HiddenUpToDraft7AndCheckedLater) {
    struct Case {
        Draft draft;
        const char* instance;
        bool valid;
    };
    const Case cases[] = {
        {Draft::Draft4, R"("text")", true},         {Draft::Draft4, "5", false},
        {Draft::Draft6, R"("text")", true},         {Draft::Draft6, "5", false},
        {Draft::Draft7, R"("text")", true},         {Draft::Draft7, "5", false},
        {Draft::Draft201909, R"("text")", false},   {Draft::Draft201909, "5", false},
        {Draft::Draft202012, R"("text")", false},   {Draft::Draft202012, "5", false},
    };
    const Value schema = json(R"({"definitions": {"s": {"type": "string"}}, "$ref": "#/definitions/s",
                                  "type": "number"})");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(referencing::draft_name(c.draft)) + " " + c.instance);
        Validator v = build(schema, options_for(c.draft));
        EXPECT_EQ(v.is_valid(json(c.instance)), c.valid);
        EXPECT_EQ(v.iter_errors(json(c.instance)).empty(), c.valid);
    }
}

TEST(RefSiblings, Draft7NodeHoldsOnlyTheReference) {
    Validator v = build(json(R"({"definitions": {"s": true}, "$ref": "#/definitions/s", "type": "number"})"),
                        options_for(Draft::Draft7));
    ASSERT_EQ(v.root().entries().size(), 1u);
    EXPECT_EQ(v.root().entries()[0].location.view(), "/$ref");
    EXPECT_FALSE(v.root().annotations());
}

TEST(Annotations, UnknownKeywordsAreKeptSortedAndKnownOnesAreNot) {
    Validator v = build(json(R"({"zeta": 1, "title": "t", "$comment": "c", "definitions": {}, "type": "object"})"),
                        options_for(Draft::Draft7));
    ASSERT_TRUE(v.root().annotations());
    EXPECT_EQ(value::to_json(*v.root().annotations()), R"({"$comment":"c","title":"t","zeta":1})");
    ASSERT_EQ(v.root().entries().size(), 1u);

    Validator empty = build(json("{}"));
    EXPECT_TRUE(empty.root().entries().empty());
    EXPECT_FALSE(empty.root().annotations());
}

TEST(Annotations, KeywordsOfOtherDraftsAreAnnotations) {
    // `$defs` and `dependentRequired` are unknown to draft 7; `$id` is unknown to draft 4.
    Validator v7 = build(json(R"({"$defs": {}, "dependentRequired": {}})"), options_for(Draft::Draft7));
    ASSERT_TRUE(v7.root().annotations());
    EXPECT_EQ(value::to_json(*v7.root().annotations()), R"({"$defs":{},"dependentRequired":{}})");
    Validator v4 = build(json(R"({"$id": "x"})"), options_for(Draft::Draft4));
    ASSERT_TRUE(v4.root().annotations());
}

TEST(KeywordOrder, EntriesFollowPriorityNotName) {
    // properties (40) sorts after type (1); $ref (70) last under 2020-12.
    Validator v = build(json(R"({"$defs": {"a": true}, "$ref": "#/$defs/a", "properties": {}, "type": "object"})"));
    std::vector<std::string> order;
    for (const auto& e : v.root().entries()) order.push_back(e.location.str());
    EXPECT_EQ(order, (std::vector<std::string>{"/type", "/properties", "/$ref"}));
}

TEST(CompileErrors, ReportTheFirstBadKeywordAtItsLocation) {
    struct Case {
        const char* schema;
        std::optional<Draft> draft;
        const char* schema_path;
        const char* message;
    };
    const Case cases[] = {
        {R"("string")", std::nullopt, "", R"("string" is not of types "boolean", "object")"},
        {"[1]", std::nullopt, "", R"([1] is not of types "boolean", "object")"},
        {R"({"$ref": 5})", Draft::Draft6, "/$ref", R"(5 is not of type "string")"},
        {R"({"$ref": 5})", Draft::Draft202012, "/$ref", R"(5 is not of type "string")"},
        {R"({"type": "strng"})", std::nullopt, "/type", "Unexpected type"},
        {R"({"type": ["string", "strng"]})", std::nullopt, "/type",
         R"("strng" is not one of "array", "boolean" or 5 other candidates)"},
        {R"({"type": 7})", std::nullopt, "/type", R"(7 is not of types "string", "array")"},
        {R"({"properties": {"b": {"type": 1}, "a": {"type": 2}}})", std::nullopt, "/properties/a/type",
         R"(2 is not of types "string", "array")"},
        {R"({"properties": 3})", std::nullopt, "/properties", R"(3 is not of type "object")"},
        {R"({"properties": {"x": {"$ref": "#/missing"}}})", std::nullopt, "/properties/x/$ref",
         "Pointer '/missing' does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema);
        const Value schema = json(c.schema);
        // The compiler's own errors: the meta-schema check, which would refuse these first, is off.
        auto built = build_validator(schema, options_for(c.draft).with_validate_schema(false));
        ASSERT_FALSE(built);
        EXPECT_EQ(built.error().schema_path().view(), c.schema_path);
        EXPECT_EQ(built.error().message(), located(c.message, c.schema_path));
        // Compile errors own what they show: the schema may go away.
        EXPECT_TRUE(built.error().owns_instance());
    }
}

// On by default: a schema that breaks its draft's meta-schema is refused with the first
// violation, at its place in the schema and with the meta-schema's own path.
TEST(BuildOptions, SchemasAreCheckedAgainstTheirMetaSchemaByDefault) {
    EXPECT_TRUE(ValidationOptions().validate_schema());
    struct Case {
        const char* schema;
        std::optional<Draft> draft;
        const char* schema_path;
        const char* instance_path;
    };
    const Case cases[] = {
        {R"({"minLength": -1})", Draft::Draft7, "/definitions/nonNegativeInteger/minimum", "/minLength"},
        {R"({"minLength": -1})", std::nullopt, "/$defs/nonNegativeInteger/minimum", "/minLength"},
        {R"({"$schema": "http://json-schema.org/draft-04/schema#", "properties": {"a": {"pattern": "("}}})",
         std::nullopt, "/properties/pattern/format", "/properties/a/pattern"},
        {R"({"items": {"type": "strnig"}})", Draft::Draft202012, "/properties/type/anyOf", "/items/type"},
        {R"({"$schema": "https://example.com/custom", "title": 1})", std::nullopt, "/properties/title/type", "/title"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema);
        auto built = build_validator(json(c.schema), options_for(c.draft));
        ASSERT_FALSE(built);
        EXPECT_EQ(built.error().schema_path().view(), c.schema_path);
        EXPECT_EQ(built.error().instance_path().view(), c.instance_path);
        EXPECT_TRUE(built.error().owns_instance());
    }
    // Off, the same schema reaches the compiler, which refuses it at the keyword.
    auto unchecked =
        build_validator(json(R"({"minLength": -1})"), options_for(Draft::Draft7).with_validate_schema(false));
    ASSERT_FALSE(unchecked);
    EXPECT_EQ(unchecked.error().schema_path().view(), "/minLength");
    // Deeper than the check goes: refused with its own error, never a stack overflow.
    Value deep = json("{}");
    for (int i = 0; i < 5000; ++i) {
        value::ObjectBuilder outer;
        outer.add("not", std::move(deep));
        deep = std::move(outer).build();
    }
    auto refused = build_validator(deep);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message().find("maximum depth"), std::string::npos);
    EXPECT_TRUE(build_validator(json(R"({"minLength": 1, "$defs": {"a": {"type": "string"}}})")));
}

TEST(BuildOptions, UnknownDraftCannotBeChosen) {
    ValidationOptions options;
    try {
        options.with_draft(Draft::Unknown);
        FAIL() << "accepted the internal draft";
    } catch (const InternalError& e) {
        EXPECT_EQ(std::string_view(e.what()).size(), 141u);
    }
}

TEST(BuildOptions, DraftComesFromSchemaKeywordOrDefaultsTo202012) {
    EXPECT_EQ(build(json(R"({"$schema": "http://json-schema.org/draft-07/schema#"})")).draft(), Draft::Draft7);
    EXPECT_EQ(build(json(R"({"type": "object"})")).draft(), Draft::Draft202012);
    EXPECT_EQ(build(json("true")).draft(), Draft::Draft202012);
    EXPECT_EQ(build(json(R"({"$schema": "http://json-schema.org/draft-04/schema#"})"), options_for(Draft::Draft6)).draft(),
              Draft::Draft6);
}

TEST(BuildOptions, DefaultRetrieverNamesWhatIsMissing) {
    struct Case {
        const char* ref;
        const char* message_end;
    };
    const Case cases[] = {
        {"https://example.com/s.json", "`resolve-http` feature or a custom resolver is required to resolve external schemas via HTTP"},
        {"file:///tmp/s.json", "`resolve-file` feature or a custom resolver is required to resolve external schemas via files"},
        {"ftp://example.com/s.json", "Unknown scheme ftp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ref);
        const Value schema = json(std::string(R"({"$ref": ")") + c.ref + "\"}");
        auto built = build_validator(schema);
        ASSERT_FALSE(built);
        const std::string message = built.error().message();
        EXPECT_NE(message.find(c.message_end), std::string::npos) << message;
    }
}

TEST(BuildOptions, IdWithTrailingHashGivesTheSameBase) {
    for (const char* id : {"https://example.com/root.json", "https://example.com/root.json#"}) {
        SCOPED_TRACE(id);
        const Value schema = json(std::string(R"({"$id": ")") + id + R"(", "properties": {"a": {"type": "string"}}})");
        Validator v = build(schema);
        auto error = v.validate(json(R"({"a": 1})"));
        ASSERT_TRUE(error);
        ASSERT_TRUE(error->absolute_keyword_location());
        EXPECT_EQ(*error->absolute_keyword_location(), "https://example.com/root.json#/properties/a/type");
    }
}

TEST(AbsoluteLocations, OnlyOutsideTheDefaultBase) {
    Validator plain = build(json(R"({"type": "string"})"));
    auto e1 = plain.validate(json("1"));
    ASSERT_TRUE(e1);
    EXPECT_FALSE(e1->absolute_keyword_location());

    Validator with_id = build(json(R"({"$id": "urn:example:root", "properties": {"a?b": {"type": "string"}}})"));
    auto e2 = with_id.validate(json(R"({"a?b": 1})"));
    ASSERT_TRUE(e2);
    ASSERT_TRUE(e2->absolute_keyword_location());
    EXPECT_EQ(*e2->absolute_keyword_location(), "urn:example:root#/properties/a%3Fb/type");
}

TEST(Caching, TheSameSubschemaReachedTwiceCompilesOnce) {
    // Two references to one definition from the same resource and scope share its node.
    Validator v = build(json(R"({"$defs": {"s": {"type": "string"}},
                                 "properties": {"a": {"$ref": "#/$defs/s"}, "b": {"$ref": "#/$defs/s"}}})"));
    std::size_t string_nodes = 0;
    for (const auto& node : v.compiled().nodes) {
        if (node->location().view() == "/$defs/s") ++string_nodes;
    }
    EXPECT_EQ(string_nodes, 1u);
    EXPECT_FALSE(v.is_valid(json(R"({"a": "x", "b": 1})")));
}

}  // namespace
}  // namespace deririrore::core
