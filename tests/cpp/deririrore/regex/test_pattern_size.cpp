#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/regex/cache.hpp"
#include "deririrore/regex/class_run.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/matcher.hpp"
#include "deririrore/regex/parser.hpp"

namespace deririrore::regex {
namespace {

std::string times(std::string_view s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out.append(s);
    return out;
}

bool is_class_run(std::string_view pattern) { return detail::class_run_of(*detail::analyze_pattern(pattern)).has_value(); }

TEST(ClassRun, RecognisesOneRepeatedClass) {
    for (const char* pattern : {"^.{0,262144}$", "^[a-z0-9]{1,64}$", "^\\d{3,}$", "\\d{3}", "^\\S{1,3}", "[^a]+$",
                                "^\\p{L}*$", "a{99999999}", "^(\\d{2})$", "^(?:[a-f]{4})$", "(?i)^[a-c]{2}$", ".",
                                "^\\u0041{3}$", "x+"}) {
        EXPECT_TRUE(is_class_run(pattern)) << pattern;
    }
    for (const char* pattern : {"", "^$", "^a{2}b$", "(?:)^.{0,3}$", "^(?:ab){2}$", "(?m)^a+$", "^a+$(?=)", "\\ba+",
                                "^(?:a{2}){3}$", "a|b", "(a)\\1", "^[a-z]+\\.$"}) {
        EXPECT_FALSE(is_class_run(pattern)) << pattern;
    }
}

// The scan answers what the engines answer: "(?:)" in front of a pattern keeps its meaning and
// sends it to an engine.
TEST(ClassRun, AgreesWithTheEngines) {
    struct Case {
        std::string pattern;
        std::vector<std::string> texts;
    };
    const std::vector<std::string> common = {"", "a", "ab", "abc", "abcd", "a\nb", "\r", "\xe2\x80\xa8",
                                             "\xf0\x9f\x98\x80\xf0\x9f\x98\x80\xf0\x9f\x98\x80", "12", "123",
                                             "x1234y", "\xd9\xa1\xd9\xa2\xd9\xa3", "AB", "h\xc3\xa9llo", "\xc2\xa0",
                                             "a b", "\n\n", "\xff", "ab\xff", "\xe2\x82"};
    const char* patterns[] = {"^.{0,3}$", "^.{1,2}", ".{2}$", ".{3}", "^[a-z0-9]{1,4}$", "^\\d{3,}$", "\\d{3}",
                              "^\\d{2}", "\\d{2}$", "(?i)^[a-c]{2}$", "^\\p{L}+$", "^[^a]{2}$", "^\\S{1,3}$",
                              "\\s{1}", "^\\w*$", "^\\D+$", "(?s)^.{2}$", "^\\u{1F600}{2,}$", "^[^\\s\\S]{0}$",
                              "^a*", "b?$", "^(x)$"};
    for (const char* pattern : patterns) {
        ASSERT_TRUE(is_class_run(pattern)) << pattern;
        auto scan = build_backtracking_regex(pattern);
        auto scan_automaton = build_automaton_regex(pattern);
        auto engine = build_automaton_regex(std::string("(?:)") + pattern);
        ASSERT_TRUE(scan && scan_automaton && engine) << pattern;
        for (const std::string& text : common) {
            SCOPED_TRACE(std::string(pattern) + " ~ " + text);
            EXPECT_EQ((*scan)->match(text).matched(), (*engine)->is_match(text));
            EXPECT_EQ((*scan_automaton)->is_match(text), (*engine)->is_match(text));
        }
    }
}

// Counts far beyond what an engine would expand are a length check: they compile under small size
// limits and count exactly.
TEST(ClassRun, LargeCountsAreALengthCheck) {
    BacktrackingLimits small;
    small.size_limit = 4096;
    auto any_line = build_backtracking_regex("^.{0,262144}$", small);
    ASSERT_TRUE(any_line) << any_line.error().message();
    EXPECT_TRUE((*any_line)->match(std::string(262144, 'a')).matched());
    EXPECT_FALSE((*any_line)->match(std::string(262145, 'a')).matched());
    EXPECT_FALSE((*any_line)->match("a\nb").matched());

    auto prefix = build_backtracking_regex("^.{1,2097152}");
    ASSERT_TRUE(prefix) << prefix.error().message();
    EXPECT_TRUE((*prefix)->match(std::string(3000000, 'a')).matched());
    EXPECT_FALSE((*prefix)->match("").matched());

    auto letters = build_automaton_regex("\\p{L}{1000}");
    ASSERT_TRUE(letters) << letters.error().message();
    EXPECT_TRUE((*letters)->is_match("1" + times("\xc3\xa9", 1000)));
    EXPECT_FALSE((*letters)->is_match(times("\xc3\xa9", 999) + "1"));

    ASSERT_TRUE(build_backtracking_regex("^a{0,4294967295}$"));
    auto many = build_backtracking_regex("a{99999999}");
    ASSERT_TRUE(many);
    EXPECT_FALSE((*many)->match(std::string(1000, 'a')).matched());
}

// A pattern whose repetitions would expand past every engine's limits is refused from its syntax
// tree, as too large; a valid pattern one engine cannot take goes to the other.
TEST(PatternSize, TooLargeIsRefusedAsTooLarge) {
    for (const char* pattern : {"(ab){99999999}", "(ab){470000000}", "(?=x)(ab){99999999}", "(?:(?:ab){60000}){60000}",
                                "(ab){2}(ab){99999999}",
                                // ECMA-262 allows any count; one the engines cannot even count is too large.
                                "a{99999999999}", "x{1,99999999999999999999}", "(?=x)a{4294967296}"}) {
        SCOPED_TRACE(pattern);
        auto backtracking = build_backtracking_regex(pattern);
        ASSERT_FALSE(backtracking);
        EXPECT_EQ(backtracking.error().kind(), RegexErrorKind::TooLarge);
        EXPECT_NE(backtracking.error().message().find("too large"), std::string::npos);
        EXPECT_EQ(backtracking.error().message().rfind("Error compiling regex: ", 0), 0u);
        BacktrackingLimits openapi;
        openapi.size_limit = 134217728;
        openapi.dfa_size_limit = 134217728;
        auto roomy = build_backtracking_regex(pattern, openapi);
        ASSERT_FALSE(roomy);
        EXPECT_EQ(roomy.error().kind(), RegexErrorKind::TooLarge);
    }
    auto automaton = build_automaton_regex("(ab){99999999}");
    ASSERT_FALSE(automaton);
    EXPECT_EQ(automaton.error().kind(), RegexErrorKind::TooLarge);
    // Not a size matter: still an ordinary refusal.
    auto unknown = build_backtracking_regex("x\\p{Foo}{99999999}");
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().kind(), RegexErrorKind::Compile);
}

TEST(PatternSize, OneEngineTakesWhatTheOtherCannot) {
    const std::string letters = "x" + times("\xc3\xa9", 1000);
    for (const char* pattern : {"x\\p{L}{1000}", "^x\\p{L}{1000}$", "(?:x\\p{L}{1000})", "x[a-z]{0,200000}y"}) {
        SCOPED_TRACE(pattern);
        auto backtracking = build_backtracking_regex(pattern);
        ASSERT_TRUE(backtracking) << backtracking.error().message();
        auto automaton = build_automaton_regex(pattern);
        ASSERT_TRUE(automaton) << automaton.error().message();
        if (std::string_view(pattern).find('y') == std::string_view::npos) {
            EXPECT_TRUE((*backtracking)->match(letters).matched());
            EXPECT_TRUE((*automaton)->match(letters).matched());
            EXPECT_FALSE((*backtracking)->match("x" + times("\xc3\xa9", 999)).matched());
            EXPECT_FALSE((*automaton)->is_match("x" + times("\xc3\xa9", 999) + "1"));
        } else {
            EXPECT_TRUE((*backtracking)->match("x" + std::string(150000, 'q') + "y").matched());
            EXPECT_FALSE((*automaton)->is_match("x" + std::string(1000, 'q') + "1y"));
        }
    }
    // The backtracking machine that took it keeps its limits.
    auto machine = build_backtracking_regex("x\\p{L}{1000}");
    ASSERT_TRUE(machine);
    EXPECT_TRUE((*machine)->backtracks());
}

// A pattern the automaton compiles slowly goes to the backtracking machine only where the options
// chose backtracking: under the automaton option matching stays linear.
TEST(PatternSize, TheAutomatonOptionKeepsLinearMatching) {
    const std::string pattern = "^(?:a|aa)*b[a-z]{0,8000}$";
    const std::string hostile = std::string(60, 'a') + "cb";
    auto automaton = build_automaton_regex(pattern);
    ASSERT_TRUE(automaton) << automaton.error().message();
    EXPECT_EQ((*automaton)->match(hostile).outcome, MatchOutcome::NotMatched);
    EXPECT_TRUE((*automaton)->is_match("aab" + std::string(8000, 'z')));
    auto backtracking = build_backtracking_regex(pattern);
    ASSERT_TRUE(backtracking) << backtracking.error().message();
    EXPECT_TRUE((*backtracking)->backtracks());
    EXPECT_EQ((*backtracking)->match(hostile).outcome, MatchOutcome::EngineError);
    EXPECT_TRUE((*backtracking)->match("aab" + std::string(8000, 'z')).matched());
}

TEST(PatternSize, SizeLimitsStillBound) {
    BacktrackingLimits tiny;
    tiny.size_limit = 10;
    for (const char* pattern : {"^.{0,262144}$", "x\\p{L}{1000}", "abc"}) {
        auto re = build_backtracking_regex(pattern, tiny);
        ASSERT_FALSE(re) << pattern;
        EXPECT_EQ(re.error().kind(), RegexErrorKind::TooLarge) << pattern;
    }
}

TEST(PatternSize, CacheAndMatcherReportTheReason) {
    RegexCache cache;
    auto refused = cache.try_backtracking("(ab){99999999}", PatternOptions::backtracking());
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind(), RegexErrorKind::TooLarge);
    auto unreadable = cache.try_automaton("(", PatternOptions::automaton());
    ASSERT_FALSE(unreadable);
    EXPECT_EQ(unreadable.error().kind(), RegexErrorKind::Parse);
    auto matcher = PatternMatcher::build(cache, "(ab){99999999}", PatternOptions::automaton());
    ASSERT_FALSE(matcher);
    EXPECT_EQ(matcher.error().kind(), RegexErrorKind::TooLarge);
    auto run = PatternMatcher::build(cache, "^.{0,262144}$", PatternOptions::automaton());
    ASSERT_TRUE(run);
    EXPECT_EQ(run->form(), PatternMatcher::Form::Automaton);
    EXPECT_TRUE(run->is_match("abc"));
    EXPECT_FALSE(run->is_match("a\xe2\x80\xa8"));
}

}  // namespace
}  // namespace deririrore::regex
