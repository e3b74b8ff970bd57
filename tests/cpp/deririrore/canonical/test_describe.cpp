#include "deririrore/canonical/describe.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using core::ValidationError;
using core::ValidationErrorKind;
namespace kinds = core::kinds;
using value::JsonType;
using value::JsonTypeSet;
using value::Value;

Value json(std::string_view text) {
    auto parsed = value::parse_json(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.has_value() ? std::move(*parsed) : Value();
}

ValidationError error_at(ValidationErrorKind kind, std::string_view instance_json, std::string_view pointer) {
    return ValidationError(core::EvaluationPath{}, std::move(kind), std::make_shared<const Value>(json(instance_json)),
                           core::Location(pointer), core::Location(""));
}

kinds::Context branches(std::vector<std::vector<ValidationErrorKind>> kinds_per_branch) {
    kinds::Context context;
    for (auto& branch : kinds_per_branch) {
        std::vector<ValidationError> errors;
        for (auto& kind : branch) errors.push_back(error_at(std::move(kind), "null", ""));
        context.push_back(std::move(errors));
    }
    return context;
}

std::string repeat(char c, std::size_t n) { return std::string(n, c); }

// n JSON escapes "\n": two bytes of text each, one character of the string.
std::string newline_escapes(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += "\\n";
    return out;
}

std::string string_list(std::size_t n) {
    std::string out = "[";
    for (std::size_t i = 0; i < n; ++i) {
        if (i != 0) out += ',';
        out += "\"v" + std::to_string(i) + "\"";
    }
    return out + "]";
}

struct Case {
    std::string name;
    ValidationErrorKind kind;
    std::string instance;
    std::string pointer;
    std::string expected;
};

TEST(DescribeExpectation, SentencesForEveryKindAndPlace) {
    const std::string long_string = "\"" + repeat('x', 100) + "\"";
    const std::string ninety_digits = repeat('9', 90);
    std::vector<Case> cases;
    auto add = [&](std::string name, ValidationErrorKind kind, std::string instance, std::string pointer,
                   std::string expected) {
        cases.push_back(Case{std::move(name), std::move(kind), std::move(instance), std::move(pointer),
                             std::move(expected)});
    };

    add("minimum below an index", kinds::Minimum{json("0")}, "-3", "/pets/0/age", "`age` must be at least 0; found -3");
    add("root type", core::type_kind_single(JsonType::String), "5", "", "The value must be a string; found 5");
    add("index after property", kinds::MinItems{2}, "[]", "/items/3", "`items` must be an array of at least 2 items; found []");
    add("only indexes", kinds::MaxItems{1}, "[1,2]", "/0/1", "The value must be an array of at most 1 item; found [1,2]");
    add("plus index", kinds::Maximum{json("10")}, "11", "/a/+7", "`a` must be at most 10; found 11");
    add("index past u64 is a name", kinds::Maximum{json("1")}, "2", "/a/18446744073709551616",
        "`18446744073709551616` must be at most 1; found 2");
    add("largest u64 index", kinds::Maximum{json("1")}, "2", "/a/18446744073709551615", "`a` must be at most 1; found 2");
    add("double plus is a name", kinds::Maximum{json("1")}, "2", "/a/++1", "`++1` must be at most 1; found 2");
    add("lone plus is a name", kinds::Maximum{json("1")}, "2", "/a/+", "`+` must be at most 1; found 2");
    add("escaped name unescaped for people", kinds::Maximum{json("1")}, "2", "/a~1b",
        "`a/b` must be at most 1; found 2");
    add("empty trailing segment skipped", kinds::Maximum{json("1")}, "2", "/name/", "`name` must be at most 1; found 2");

    add("type null or integer", core::type_kind_multiple(JsonTypeSet(JsonType::Integer).with(JsonType::Null)), "\"x\"",
        "/n", "`n` must be null or an integer; found \"x\"");
    add("type all seven in order",
        core::type_kind_multiple(JsonTypeSet::from_bits(0x7f)), "1", "",
        "The value must be null or a boolean or an integer or a number or a string or an array or an object; found 1");
    add("type empty set", core::type_kind_multiple(JsonTypeSet()), "1", "", "The value must be ; found 1");

    add("const", kinds::Const{json("{\"a\":[1,2.50]}")}, "1", "", "The value must be {\"a\":[1,2.50]}; found 1");
    add("const long", kinds::Const{json(long_string)}, "1", "", "The value must be a string of 100 characters; found 1");
    add("exclusive maximum keeps number text", kinds::ExclusiveMaximum{json("1.50")}, "2", "",
        "The value must be less than 1.50; found 2");
    add("exclusive minimum", kinds::ExclusiveMinimum{json("1e400")}, "0", "",
        "The value must be greater than 1e400; found 0");
    add("format", kinds::Format{"date-time"}, "\"x\"", "/at", "`at` must be a valid date-time; found \"x\"");
    add("max length one", kinds::MaxLength{1}, "\"ab\"", "", "The value must be a string of at most 1 character; found \"ab\"");
    add("max length zero", kinds::MaxLength{0}, "\"a\"", "", "The value must be a string of at most 0 characters; found \"a\"");
    add("min length", kinds::MinLength{3}, "\"a\"", "", "The value must be a string of at least 3 characters; found \"a\"");
    add("min items one", kinds::MinItems{1}, "[]", "", "The value must be an array of at least 1 item; found []");
    add("max items", kinds::MaxItems{2}, "[1,2,3]", "", "The value must be an array of at most 2 items; found [1,2,3]");
    add("multiple of", kinds::MultipleOf{json("0.01")}, "0.001", "", "The value must be a multiple of 0.01; found 0.001");
    add("pattern", kinds::Pattern{"^[a-z]+$"}, "\"A\"", "/code", "`code` must be a string matching `^[a-z]+$`; found \"A\"");
    add("unique items", kinds::UniqueItems{}, "[1,1]", "", "The value must be an array without repeats; found [1,1]");

    add("enum short", kinds::Enum{json("[\"a\",1,null]")}, "2", "", "The value must be one of \"a\", 1, null; found 2");
    add("enum of twelve", kinds::Enum{json(string_list(12))}, "2", "",
        "The value must be one of \"v0\", \"v1\", \"v2\", \"v3\", \"v4\", \"v5\", \"v6\", \"v7\", \"v8\", \"v9\", "
        "\"v10\", \"v11\"; found 2");
    add("enum of thirteen", kinds::Enum{json(string_list(13))}, "2", "", "The value must be one of 13 listed values; found 2");
    add("enum summarises each long value", kinds::Enum{json("[" + long_string + ",[" + long_string + "]]")}, "2", "",
        "The value must be one of a string of 100 characters, an array of 1 item; found 2");
    add("enum not an array", kinds::Enum{json("{\"a\":1}")}, "2", "", "The value must be one of {\"a\":1}; found 2");
    add("enum empty", kinds::Enum{json("[]")}, "2", "", "The value must be one of ; found 2");

    add("any of joins distinct phrases",
        kinds::AnyOf{branches({{core::type_kind_single(JsonType::String)},
                               {kinds::Minimum{json("0")}, kinds::MultipleOf{json("2")}},
                               {core::type_kind_single(JsonType::String)}})},
        "-3", "/v", "`v` must be a string or at least 0; found -3");
    add("any of skips phraseless and empty branches",
        kinds::AnyOf{branches({{}, {kinds::FalseSchema{}}, {kinds::Maximum{json("5")}}})}, "9", "",
        "The value must be at most 5; found 9");
    add("any of without phrases", kinds::AnyOf{branches({{kinds::Not{json("{}")}}, {kinds::Contains{}}})}, "1", "/x",
        "`x` is not valid here; found 1");
    add("one of not valid nests",
        kinds::OneOfNotValid{branches({{kinds::AnyOf{branches({{kinds::Minimum{json("1")}}, {kinds::Maximum{json("0")}}})}},
                                       {core::type_kind_single(JsonType::Null)}})},
        "0.5", "", "The value must be at least 1 or at most 0 or null; found 0.5");
    add("one of multiple valid has no phrase", kinds::OneOfMultipleValid{branches({{}, {}})}, "1", "",
        "The value is not valid here; found 1");

    add("no phrase: additional properties", kinds::AdditionalProperties{{"b"}}, "{\"b\":1}", "/o",
        "`o` is not valid here; found {\"b\":1}");
    add("no phrase: false schema", kinds::FalseSchema{}, "true", "", "The value is not valid here; found true");
    add("no phrase: max properties", kinds::MaxProperties{0}, "{}", "", "The value is not valid here; found {}");
    add("no phrase: custom", kinds::Custom{"x-k", "bad"}, "1", "", "The value is not valid here; found 1");

    add("found long string", kinds::Maximum{json("1")}, long_string, "", "The value must be at most 1; found a string of 100 characters");
    add("found long array of one item", kinds::Maximum{json("1")}, "[" + long_string + "]", "",
        "The value must be at most 1; found an array of 1 item");
    add("found long object", kinds::Maximum{json("1")}, "{\"a\":" + long_string + ",\"b\":1}", "",
        "The value must be at most 1; found an object with 2 keys");
    add("found 90 digits whole", kinds::Maximum{json("1")}, ninety_digits, "", "The value must be at most 1; found " + ninety_digits);
    add("found exactly 80 bytes whole", kinds::Maximum{json("1")}, "\"" + repeat('y', 78) + "\"", "",
        "The value must be at most 1; found \"" + repeat('y', 78) + "\"");
    add("found 81 bytes summarised", kinds::Maximum{json("1")}, "\"" + repeat('y', 79) + "\"", "",
        "The value must be at most 1; found a string of 79 characters");
    add("found escapes count in bytes", kinds::Maximum{json("1")}, "\"" + newline_escapes(40) + "\"", "",
        "The value must be at most 1; found a string of 40 characters");

    add("required at root", kinds::Required{json("\"id\"")}, "{}", "", "The value is missing `id`");
    add("required below index", kinds::Required{json("\"id\"")}, "{}", "/users/2", "`users` is missing `id`");
    add("required non-string property", kinds::Required{json("5")}, "{}", "/u", "`u` is missing ``");

    for (const auto& c : cases) {
        ValidationError error = error_at(c.kind, c.instance, c.pointer);
        EXPECT_EQ(canonical::describe_expectation(error), c.expected) << c.name;
    }
}

TEST(DescribeExpectation, ReferenceErrorsGiveTheirOwnSentence) {
    referencing::ReferenceError unretrievable(referencing::ReferenceError::Unretrievable{
        "https://example.com/a.json", referencing::ErrorSource::text("nope")});
    ValidationError missing = error_at(kinds::Referencing{unretrievable}, "1", "/a/b");
    EXPECT_EQ(canonical::describe_expectation(missing),
              "Resource 'https://example.com/a.json' is not in the specification");

    referencing::ReferenceError nowhere(referencing::ReferenceError::PointerToNowhere{"/definitions/x"});
    ValidationError other = error_at(kinds::Referencing{nowhere}, "1", "/a");
    EXPECT_EQ(canonical::describe_expectation(other), nowhere.message());
    EXPECT_EQ(canonical::describe_expectation(other), "Pointer '/definitions/x' does not exist");
    EXPECT_FALSE(canonical::expectation_phrase(kinds::Referencing{nowhere}).has_value());
}

TEST(ExpectationPhrase, UnknownTypeBitIsAnInternalStop) {
    ValidationErrorKind kind = core::type_kind_multiple(JsonTypeSet::from_bits(0x81));
    EXPECT_THROW(
        {
            try {
                (void)canonical::expectation_phrase(kind);
            } catch (const InternalError& e) {
                EXPECT_STREQ(e.what(), "Invalid JsonType representation: 128");
                throw;
            }
        },
        InternalError);
}

TEST(SummarizeLongValue, CountsByType) {
    auto summary = [](std::string_view text) { return canonical::summarize_long_value(json(text), text); };
    // Characters are Unicode scalar values, not bytes.
    EXPECT_EQ(summary("\"\xC3\xA9\xF0\x9F\x98\x80" "a\""), "a string of 3 characters");
    EXPECT_EQ(summary("\"\""), "a string of 0 characters");
    EXPECT_EQ(summary("[]"), "an array of 0 items");
    EXPECT_EQ(summary("[[1,2]]"), "an array of 1 item");
    EXPECT_EQ(summary("{\"k\":1}"), "an object with 1 key");
    EXPECT_EQ(summary("{}"), "an object with 0 keys");
    EXPECT_EQ(summary("null"), "null");
    EXPECT_EQ(summary("false"), "false");
    EXPECT_EQ(summary("1.000e+3"), "1.000e+3");
}

}  // namespace
