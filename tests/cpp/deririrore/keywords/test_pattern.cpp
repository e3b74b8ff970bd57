// pattern: the form each pattern compiles to, matching as a search, non-strings, messages that
// name the pattern as written, compile errors, and engine failures that never let a string pass.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/keywords/pattern.hpp"
#include "keyword_test_support.hpp"

namespace {

using deririrore::keywords::PatternForm;
using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;
using kwtest::json;
namespace core = deririrore::core;
namespace kw = deririrore::keywords;
namespace value = deririrore::value;

std::string quoted(const std::string& text) { return value::to_json(value::Value::string(text)); }

// The form of the one `pattern` validator that the schema compiles to.
std::optional<PatternForm> form_of(const core::Validator& validator) {
    const auto& entries = validator.root().entries();
    if (entries.size() != 1) return std::nullopt;
    const core::KeywordValidator* v = entries[0].validator.get();
    if (dynamic_cast<const kw::PrefixPatternValidator*>(v)) return PatternForm::Prefix;
    if (dynamic_cast<const kw::ExactPatternValidator*>(v)) return PatternForm::Exact;
    if (dynamic_cast<const kw::AlternativesPatternValidator*>(v)) return PatternForm::Alternatives;
    if (dynamic_cast<const kw::NoWhitespacePatternValidator*>(v)) return PatternForm::NoWhitespace;
    if (dynamic_cast<const kw::AutomatonPatternValidator*>(v)) return PatternForm::Automaton;
    if (dynamic_cast<const kw::BacktrackingPatternValidator*>(v)) return PatternForm::Backtracking;
    return std::nullopt;
}

core::ValidationOptions with_engine(core::PatternOptions engine) {
    auto options = kwtest::options_for(Draft::Draft202012);
    options.with_pattern_options(engine);
    return options;
}

struct FormCase {
    const char* pattern;
    bool automaton;
    PatternForm form;
    std::vector<std::string> matching;
    std::vector<std::string> failing;
    friend void PrintTo(const FormCase& c, std::ostream* os) { *os << c.pattern << (c.automaton ? " (automaton)" : ""); }
};

class PatternForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(PatternForms, CompileToTheirFormAndSearch) {
    const FormCase& c = GetParam();
    const std::string schema = R"({"pattern": )" + quoted(c.pattern) + "}";
    const auto options = with_engine(c.automaton ? core::PatternOptions::automaton() : core::PatternOptions::backtracking());
    auto built = core::build_validator(json(schema), options);
    ASSERT_TRUE(built) << built.error().message();
    EXPECT_EQ(form_of(*built), c.form) << c.pattern;
    Compiled compiled(schema, options);
    for (const auto& text : c.matching) {
        const auto instance = value::Value::string(text);
        EXPECT_TRUE(compiled.is_valid(instance)) << c.pattern << " on " << quoted(text);
        EXPECT_EQ(compiled.trace(instance), (std::pair{std::vector<Event>{{"", "/pattern", 0}}, true}));
        EXPECT_FALSE(compiled.first_error(instance));
    }
    for (const auto& text : c.failing) {
        const auto instance = value::Value::string(text);
        EXPECT_FALSE(compiled.is_valid(instance)) << c.pattern << " on " << quoted(text);
        EXPECT_EQ(compiled.trace(instance), (std::pair{std::vector<Event>{{"", "/pattern", 1}}, false}));
        const auto errors = compiled.errors(instance);
        ASSERT_EQ(errors.size(), 1u);
        // The pattern as written, never its translation or its literal.
        EXPECT_EQ(errors[0].message(), quoted(text) + " does not match \"" + c.pattern + "\"");
        EXPECT_EQ(errors[0].schema_path().str(), "/pattern");
    }
    // Strings only: everything else passes and is not applicable.
    EXPECT_TRUE(compiled.is_valid("42"));
    EXPECT_TRUE(compiled.errors(json("42")).empty());
    EXPECT_EQ(compiled.trace("42"), (std::pair{std::vector<Event>{{"", "/pattern", 2}}, true}));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PatternForms,
    ::testing::Values(
        FormCase{"^abc", false, PatternForm::Prefix, {"abcdef", "abc"}, {"xabc", "ab", ""}},
        FormCase{"^abc$", false, PatternForm::Exact, {"abc"}, {"abcd", "xabc"}},
        FormCase{"^(red|green)$", true, PatternForm::Alternatives, {"green", "red"}, {"greenish", "blue", ""}},
        FormCase{"^\\S*$", false, PatternForm::NoWhitespace, {"", "abc", "\xC3\xA9"},
                 {"a b", "a\xC2\xA0" "b", "a\xE2\x80\xA8", "\t"}},
        // "\d" is ASCII only: an Arabic-Indic digit does not count.
        FormCase{"^a\\d", false, PatternForm::Backtracking, {"a1", "a12x"}, {"a\xD9\xA1", "a", "ba1"}},
        FormCase{"^a\\d", true, PatternForm::Automaton, {"a1"}, {"a\xD9\xA1"}},
        // A search, not anchored at either end.
        FormCase{"b+c", false, PatternForm::Backtracking, {"abbbcd", "bc"}, {"ac", ""}},
        FormCase{"(?=a)\\w", false, PatternForm::Backtracking, {"xa"}, {"xb"}},
        FormCase{"\\p{Lu}", false, PatternForm::Backtracking, {"a\xC3\x89"}, {"abc"}},
        FormCase{"^(a+)+$", true, PatternForm::Automaton, {"aaaa"}, {"aaaa!"}}));

TEST(Pattern, CompileErrors) {
    EXPECT_EQ(kwtest::compile_message(R"({"pattern": "["})", Draft::Draft7), R"("[" is not a "regex")");
    EXPECT_EQ(kwtest::compile_error_path(R"({"pattern": "["})", Draft::Draft7), "/pattern");
    EXPECT_EQ(kwtest::compile_message(R"({"pattern": "a(?<n>b"})", Draft::Draft202012), R"("a(?<n>b" is not a "regex")");
    EXPECT_EQ(kwtest::compile_message(R"({"pattern": 12})", Draft::Draft7), R"(12 is not of type "string")");
    EXPECT_EQ(kwtest::compile_error_path(R"({"properties": {"a": {"pattern": 12}}})", Draft::Draft7),
              "/properties/a/pattern");
    const auto automaton = with_engine(core::PatternOptions::automaton());
    auto built = core::build_validator(json(R"({"pattern": "(a)\\1"})"), automaton);
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().message(), kwtest::located(R"("(a)\\1" is not a "regex")", "/pattern"));
}

// Large counts: a repeated class is a length check, a pattern one engine cannot take goes to the
// other, and what neither takes is refused as too large, not as something that is not a regex.
TEST(Pattern, LargeCounts) {
    const std::string too_large =
        "Error compiling regex: pattern too large: its compiled form would exceed the size limit of both regex engines";
    for (const auto& options : {kwtest::options_for(Draft::Draft7), with_engine(core::PatternOptions::automaton())}) {
        auto error = kwtest::build_error(R"({"pattern": "(ab){99999999}"})", options);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->message(), kwtest::located(too_large, "/pattern"));
        EXPECT_TRUE(std::holds_alternative<core::kinds::PatternEngineError>(error->kind()));
        EXPECT_EQ(error->schema_path().str(), "/pattern");

        const std::string letters = "1" + std::string(2000, 'x');
        for (const char* schema : {R"({"pattern": "\\p{L}{1000}"})", R"({"pattern": "1\\p{L}{1000}"})"}) {
            Compiled compiled(schema, options);
            EXPECT_TRUE(compiled.is_valid(value::Value::string(letters))) << schema;
            EXPECT_FALSE(compiled.is_valid(value::Value::string("1" + std::string(999, 'x')))) << schema;
        }
        Compiled bounded(R"({"pattern": "^.{0,262144}$"})", options);
        EXPECT_TRUE(bounded.is_valid(value::Value::string(std::string(262144, 'a'))));
        EXPECT_FALSE(bounded.is_valid(value::Value::string(std::string(262145, 'a'))));
        EXPECT_FALSE(bounded.is_valid(value::Value::string("a\nb")));
        Compiled prefix(R"({"pattern": "^.{1,2097152}"})", options);
        EXPECT_TRUE(prefix.is_valid(value::Value::string("a")));
        EXPECT_FALSE(prefix.is_valid(value::Value::string("")));
    }
}

TEST(Pattern, NestedQuantifiersWithoutLookAroundRunInLinearTime) {
    // No look-around: the backtracking option still runs it on the automaton machine, so a long
    // near-miss is answered without backtracking and without hitting any limit.
    Compiled compiled(R"({"pattern": "^(a+)+$"})", Draft::Draft7);
    const auto near_miss = value::Value::string(std::string(10000, 'a') + "!");
    EXPECT_FALSE(compiled.is_valid(near_miss));
    const auto errors = compiled.errors(near_miss);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<core::kinds::Pattern>(errors[0].kind()));
    EXPECT_TRUE(compiled.is_valid(value::Value::string(std::string(10000, 'a'))));
}

TEST(Pattern, EngineFailureMakesTheStringInvalid) {
    // Look-ahead forces the backtracking machine; the nested quantifier explodes on a near miss.
    const char* schema = R"({"pattern": "^(?=a)(a+)+$"})";
    auto options = with_engine(core::PatternOptions::backtracking());
    Compiled compiled(schema, options);
    ASSERT_TRUE(compiled.ok());
    const auto exploding = value::Value::string(std::string(40, 'a') + "!");
    EXPECT_FALSE(compiled.is_valid(exploding));
    EXPECT_EQ(compiled.trace(exploding), (std::pair{std::vector<Event>{{"", "/pattern", 1}}, false}));
    const auto errors = compiled.errors(exploding);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<core::kinds::PatternEngineError>(errors[0].kind()));
    EXPECT_EQ(errors[0].message(), "Error executing regex: Max limit for backtracking count exceeded");
    EXPECT_EQ(errors[0].keyword(), "pattern");
    EXPECT_EQ(errors[0].schema_path().str(), "/pattern");
    const auto evaluated = compiled.evaluate(exploding);
    EXPECT_FALSE(evaluated->evaluation.valid);
    ASSERT_EQ(evaluated->entries().size(), 1u);
    EXPECT_EQ(evaluated->entries()[0]->errors,
              (std::vector<core::ErrorDescription>{
                  {"pattern", "Error executing regex: Max limit for backtracking count exceeded"}}));
    // The validator stays usable.
    EXPECT_TRUE(compiled.is_valid(value::Value::string("aaaa")));
    EXPECT_FALSE(compiled.is_valid(value::Value::string("baaa")));
}

TEST(Pattern, ErrorKindsByMatchOutcome) {
    const value::Value instance = value::Value::string("text");
    const core::Location location("/pattern");
    const core::LazyLocation root;
    using regex_outcome = deririrore::regex::MatchOutcome;
    using deririrore::regex::RegexErrorKind;
    struct Case {
        deririrore::regex::BacktrackingMatch outcome;
        const char* message;
    };
    const Case cases[] = {
        {{regex_outcome::NotMatched, RegexErrorKind::EvaluationFailed}, R"("text" does not match "^x")"},
        {{regex_outcome::EngineError, RegexErrorKind::BacktrackLimitExceeded},
         "Error executing regex: Max limit for backtracking count exceeded"},
        {{regex_outcome::EngineError, RegexErrorKind::StackLimitExceeded},
         "Error executing regex: Max stack size exceeded for backtracking"},
        {{regex_outcome::EvaluationFailed, RegexErrorKind::EvaluationFailed},
         "Regex engine failed to evaluate pattern '^x'"},
    };
    for (const auto& c : cases) {
        auto error = kw::pattern_match_error(c.outcome, "^x", instance, root, location, nullptr);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->message(), c.message);
        EXPECT_EQ(error->keyword(), "pattern");
    }
    EXPECT_FALSE(kw::pattern_match_error({regex_outcome::Matched, RegexErrorKind::EvaluationFailed}, "^x", instance,
                                         root, location, nullptr));
}

TEST(Pattern, ErrorsNameTheInstanceLocation) {
    Compiled compiled(R"({"items": {"pattern": "^a"}})", Draft::Draft202012);
    const auto instance = json(R"(["ab", "b"])");
    const auto errors = compiled.errors(instance);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].instance_path().str(), "/1");
    EXPECT_EQ(errors[0].schema_path().str(), "/items/pattern");
}

}  // namespace
