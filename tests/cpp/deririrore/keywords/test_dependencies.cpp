// dependencies: required names or a subschema when a named property is present.
#include <string>
#include <vector>

#include "keyword_test_support.hpp"

namespace {

using namespace kwtest;

struct Case {
    std::string schema;
    std::string instance;
    std::vector<std::string> errors;  // described(iter_errors)
    bool valid;
    std::vector<Event> events;
};

TEST(Dependencies, ChecksTracesAndErrors) {
    const std::string names = R"({"dependencies": {"a": ["b"]}})";
    const std::string subschema = R"({"dependencies": {"a": {"required": ["c"]}}})";
    const std::vector<Case> cases = {
        {names, R"({"a": 1})", {" @ /dependencies/a: \"b\" is a required property"}, false,
         {{"", "/dependencies/a/0", 1}, {"", "/dependencies/a", 1}, {"", "/dependencies", 1}}},
        {names, R"({"a": 1, "b": 2})", {}, true,
         {{"", "/dependencies/a/0", 0}, {"", "/dependencies/a", 0}, {"", "/dependencies", 0}}},
        {names, R"({"b": 1})", {}, true, {{"", "/dependencies", 2}}},
        {names, R"({})", {}, true, {{"", "/dependencies", 2}}},
        {names, "5", {}, true, {{"", "/dependencies", 2}}},
        {subschema, R"({"a": 1})", {" @ /dependencies/a/required: \"c\" is a required property"}, false,
         {{"", "/dependencies/a/required/0", 1},
          {"", "/dependencies/a/required", 1},
          {"", "/dependencies/a", 1},
          {"", "/dependencies", 1}}},
        {subschema, R"({"x": 1})", {}, true, {{"", "/dependencies", 2}}},
        {R"({"dependencies": {}})", R"({"a": 1})", {}, true, {{"", "/dependencies", 2}}},
        {R"({"dependencies": {"a": true, "b": false}})", R"({"a": 1})", {}, true,
         {{"", "/dependencies/a", 0}, {"", "/dependencies", 0}}},
        {R"({"dependencies": {"a": true, "b": false}})", R"({"b": 1})", {" @ /dependencies/b: False schema does not allow {\"b\":1}"},
         false, {{"", "/dependencies/b", 1}, {"", "/dependencies", 1}}},
        // Entries in name order, whatever order the schema text used.
        {R"({"dependencies": {"b": {"minProperties": 5}, "a": {"minProperties": 4}}})", R"({"a": 1, "b": 2})",
         {" @ /dependencies/a/minProperties: {\"a\":1,\"b\":2} has less than 4 properties",
          " @ /dependencies/b/minProperties: {\"a\":1,\"b\":2} has less than 5 properties"},
         false,
         {{"", "/dependencies/a/minProperties", 1},
          {"", "/dependencies/a", 1},
          {"", "/dependencies/b/minProperties", 1},
          {"", "/dependencies/b", 1},
          {"", "/dependencies", 1}}},
        {R"({"dependencies": {"a/b": ["c"]}})", R"({"a/b": 1})", {" @ /dependencies/a~1b: \"c\" is a required property"}, false,
         {{"", "/dependencies/a~1b/0", 1}, {"", "/dependencies/a~1b", 1}, {"", "/dependencies", 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema + " on " + c.instance);
        Validator v = build(c.schema, Draft::Draft7);
        Value instance = json(c.instance);
        EXPECT_EQ(described(v.iter_errors(instance)), c.errors);
        Traced t = trace(v, instance);
        EXPECT_EQ(t.valid, c.valid);
        EXPECT_EQ(t.events, c.events);
        expect_consistent(v, instance);
    }
}

TEST(Dependencies, ArrayMembersCarryTheMembersAbsoluteLocation) {
    Validator v = build(R"({"$id": "https://example.com/root.json",
                            "dependencies": {"b": ["x"], "a": ["y", "z"]}})",
                        Draft::Draft7);
    Value instance = json(R"({"a": 1, "b": 2})");
    auto errors = v.iter_errors(instance);
    ASSERT_EQ(errors.size(), 3u);
    const std::vector<std::string> expected = {"https://example.com/root.json#/dependencies/a",
                                               "https://example.com/root.json#/dependencies/a",
                                               "https://example.com/root.json#/dependencies/b"};
    for (std::size_t i = 0; i < errors.size(); ++i) {
        ASSERT_TRUE(errors[i].absolute_keyword_location()) << i;
        EXPECT_EQ(*errors[i].absolute_keyword_location(), expected[i]);
    }
    auto first = v.validate(instance);
    ASSERT_TRUE(first);
    ASSERT_TRUE(first->absolute_keyword_location());
    EXPECT_EQ(*first->absolute_keyword_location(), expected[0]);
}

TEST(Dependencies, EvaluationHasOneChildPerApplyingEntry) {
    Validator v = build(R"({"dependencies": {"a": ["b"], "c": {"minProperties": 1}, "d": {}}})", Draft::Draft7);
    auto e = v.evaluate(json(R"({"a": 1, "c": 2})"));
    const auto* unit = keyword_unit(e, "/dependencies");
    ASSERT_NE(unit, nullptr);
    EXPECT_FALSE(unit->valid);
    std::vector<std::string> paths;
    for (const auto* child : children_of(e, *unit)) paths.push_back(child->evaluation_path.str());
    EXPECT_EQ(paths, (std::vector<std::string>{"/dependencies/a", "/dependencies/c"}));
    auto none = v.evaluate(json(R"({"x": 1})"));
    EXPECT_TRUE(keyword_unit(none, "/dependencies")->valid);
    EXPECT_EQ(children_of(none, *keyword_unit(none, "/dependencies")).size(), 0u);
}

TEST(Dependencies, CompileErrors) {
    auto not_object = compile_error(R"({"dependencies": ["a"]})", Draft::Draft7);
    EXPECT_EQ(not_object.message(), kwtest::located("[\"a\"] is not of type \"object\"", "/dependencies"));
    EXPECT_EQ(not_object.schema_path().str(), "/dependencies");
    auto item = compile_error(R"({"dependencies": {"b": {"properties": 1}, "a": ["x", 2]}})", Draft::Draft7);
    EXPECT_EQ(item.message(), kwtest::located("2 is not of type \"string\"", "/dependencies/a"));
    EXPECT_EQ(item.schema_path().str(), "/dependencies/a");
    // Repeated names are no error here.
    EXPECT_TRUE(build(R"({"dependencies": {"a": ["b", "b"]}})", Draft::Draft7).is_valid(json(R"({"a": 1, "b": 2})")));
}

}  // namespace
