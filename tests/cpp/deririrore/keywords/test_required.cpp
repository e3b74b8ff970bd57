// required: every form (one, two, three, any other number of names) gives the same answers,
// errors and per-name trace events; repeated names are found like distinct ones.
#include <gtest/gtest.h>

#include <string>

#include "keyword_test_support.hpp"

namespace {

using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;

struct RequiredCase {
    const char* names;     // the keyword value
    const char* instance;  // an object
    std::vector<std::string> missing;
};

class RequiredForms : public ::testing::TestWithParam<RequiredCase> {};

TEST_P(RequiredForms, AgreeOnMissingNames) {
    const RequiredCase& c = GetParam();
    Compiled compiled(std::string(R"({"required": )") + c.names + "}", Draft::Draft7);
    ASSERT_TRUE(compiled.ok());
    const auto instance = kwtest::json(c.instance);
    const bool valid = c.missing.empty();
    EXPECT_EQ(compiled.is_valid(instance), valid) << c.names << " " << c.instance;

    std::vector<std::string> expected_messages;
    for (const auto& name : c.missing) expected_messages.push_back("\"" + name + "\" is a required property");
    EXPECT_EQ(compiled.messages(instance), expected_messages);
    auto first = compiled.first_error(instance);
    EXPECT_EQ(first.has_value(), !valid);
    if (first) {
        EXPECT_EQ(first->message(), expected_messages.front());
        EXPECT_EQ(first->schema_path().str(), "/required");
    }

    // One event per name (present or not), then the keyword's own.
    auto [events, traced] = compiled.trace(instance);
    EXPECT_EQ(traced, valid);
    const auto names = kwtest::json(c.names).as_array();
    ASSERT_EQ(events.size(), names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool present = instance.contains(names[i].as_string());
        EXPECT_EQ(events[i], (Event{"", "/required/" + std::to_string(i), present ? 0 : 1}));
    }
    EXPECT_EQ(events.back(), (Event{"", "/required", valid ? 0 : 1}));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RequiredForms,
    ::testing::Values(
        RequiredCase{R"(["a"])", R"({"a": 1})", {}}, RequiredCase{R"(["a"])", "{}", {"a"}},
        RequiredCase{R"(["a"])", R"({"b": 1})", {"a"}},
        RequiredCase{R"(["a", "b"])", R"({"a": 1})", {"b"}},
        RequiredCase{R"(["a", "b"])", R"({"b": 1, "c": 2})", {"a"}},
        RequiredCase{R"(["a", "b"])", "{}", {"a", "b"}},
        RequiredCase{R"(["a", "b", "c"])", R"({"c": 1, "a": 2})", {"b"}},
        RequiredCase{R"(["a", "b", "c"])", R"({"a": 1, "b": 2, "c": 3, "d": 4, "e": 5, "f": 6, "g": 7})", {}},
        RequiredCase{R"(["a", "b", "z"])", R"({"a": 1, "b": 2, "c": 3, "d": 4, "e": 5, "f": 6, "g": 7})", {"z"}},
        RequiredCase{R"(["a", "b", "c", "d"])", "{}", {"a", "b", "c", "d"}},
        RequiredCase{R"(["a", "b", "c", "d"])", R"({"d": 1, "b": 2, "x": 3, "y": 4})", {"a", "c"}},
        RequiredCase{R"(["a", "b", "c", "d"])",
                     R"({"a": 1, "b": 2, "c": 3, "p": 4, "q": 5, "r": 6, "s": 7, "t": 8, "u": 9})", {"d"}},
        RequiredCase{"[]", "{}", {}}, RequiredCase{"[]", R"({"a": 1})", {}},
        // names of 17 bytes and more that share their first and last 8 bytes
        RequiredCase{R"(["abcdefgh-1-ijklmnop"])", R"({"abcdefgh-2-ijklmnop": 1})", {"abcdefgh-1-ijklmnop"}},
        RequiredCase{R"(["x", "abcdefgh-1-ijklmnop", "y"])", R"({"x": 0, "y": 0, "abcdefgh-2-ijklmnop": 1})",
                     {"abcdefgh-1-ijklmnop"}},
        RequiredCase{R"(["abcdefgh-1-ijklmnop", "p", "q", "r"])", R"({"abcdefgh-1-ijklmnop": 1, "p": 0, "q": 0})",
                     {"r"}},
        // names with characters that JSON escapes
        RequiredCase{R"(["a\"b"])", "{}", {"a\\\"b"}},
        // repeated names: present once, found for every index
        RequiredCase{R"(["a", "a"])", R"({"a": 1})", {}}, RequiredCase{R"(["a", "a"])", "{}", {"a", "a"}},
        RequiredCase{R"(["a", "a", "a"])", R"({"a": 1})", {}},
        RequiredCase{R"(["a", "b", "a"])", R"({"a": 1, "b": 2})", {}},
        RequiredCase{R"(["a", "b", "a", "b"])", R"({"a": 1, "b": 2})", {}},
        RequiredCase{R"(["a", "b", "a", "b"])", R"({"b": 2})", {"a", "a"}}));

TEST(Required, NonObjectsAreNotApplicable) {
    Compiled compiled(R"({"required": ["a", "b"]})", Draft::Draft202012);
    for (const char* instance : {R"("a")", "1", "[\"a\"]", "null"}) {
        EXPECT_TRUE(compiled.is_valid(instance));
        EXPECT_TRUE(compiled.messages(instance).empty());
        EXPECT_EQ(compiled.trace(instance), (std::pair{std::vector<Event>{{"", "/required", 2}}, true}));
    }
}

TEST(Required, ManyNamesAgainstManyProperties) {
    // 20 names: too many for one walk, each is searched.
    std::string names = "[";
    std::string object = "{";
    for (int i = 0; i < 20; ++i) {
        names += (i ? ",\"" : "\"") + std::to_string(i) + "\"";
        if (i != 7 && i != 19) object += (object.size() > 1 ? ",\"" : "\"") + std::to_string(i) + "\": 1";
    }
    names += "]";
    object += "}";
    Compiled compiled(std::string(R"({"required": )") + names + "}", Draft::Draft7);
    EXPECT_FALSE(compiled.is_valid(object));
    EXPECT_EQ(compiled.messages(object),
              (std::vector<std::string>{R"("7" is a required property)", R"("19" is a required property)"}));
}

TEST(Required, CompileErrors) {
    EXPECT_EQ(kwtest::compile_message(R"({"required": "a"})", Draft::Draft7), R"("a" is not of type "array")");
    EXPECT_EQ(kwtest::compile_message(R"({"required": ["a", 1]})", Draft::Draft7), R"(1 is not of type "string")");
    EXPECT_EQ(kwtest::compile_error_path(R"({"required": ["a", 1]})", Draft::Draft7), "/required");
    // beside properties and additionalProperties false the one-name form is not taken over
    // when its item is no string, so the error is reported here
    EXPECT_EQ(kwtest::compile_message(R"({"properties": {}, "additionalProperties": false, "required": [1]})",
                                    Draft::Draft7),
              R"(1 is not of type "string")");
}

TEST(Required, ErrorsShareOnePathUnderAReference) {
    Compiled compiled(R"({"$ref": "#/$defs/r", "$defs": {"r": {"required": ["a", "b"]}}})", Draft::Draft202012);
    auto errors = compiled.errors(kwtest::json("{}"));
    ASSERT_EQ(errors.size(), 2u);
    for (const auto& e : errors) {
        EXPECT_EQ(e.schema_path().str(), "/$defs/r/required");
        EXPECT_EQ(e.evaluation_path().str(), "/$ref/required");
        EXPECT_EQ(e.instance_path().str(), "");
    }
}

}  // namespace
