#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "deririrore/regex/cache.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/matcher.hpp"

namespace deririrore::regex {
namespace {

std::string repeat(std::string_view s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out.append(s);
    return out;
}

std::string nested(int depth, std::string_view inner) { return repeat("(", depth) + std::string(inner) + repeat(")", depth); }

struct MatchCase {
    std::string pattern;
    std::string text;
    bool matches;
};

// Patterns without look-around or back-references behave the same on both engines.
TEST(Engines, EcmaSemanticsOnBothEngines) {
    const MatchCase cases[] = {
        {"^a\\d", "a1", true},
        {"^a\\d", "a\xd9\xa1", false},  // U+0661, a digit outside ASCII
        {"\\D", "\xd9\xa1", true},
        {"^\\w+$", "caf\xc3\xa9", false},
        {"\\wcole", "\xc3\xa9" "cole", false},
        {"\\p{Letter}cole", "L'\xc3\xa9" "cole", true},
        {"^\\p{digit}+$", "\xd9\xa1\xd9\xa2", true},
        {"^\\p{Greek}$", "\xce\xb1", true},
        {"^\\p{sc=Greek}$", "a", false},
        {"^\\P{L}$", "1", true},
        {"^\\pN$", "7", true},
        {"\\s", "\xc2\xa0", true},
        {"\\s", "\xef\xbb\xbf", true},
        {"\\s", "\xc2\x85", false},
        {"^\\S$", "\xe2\x80\xa8", false},
        {"^[\\s\\d]+$", "1 2", true},
        {"^[^\\d]$", "x", true},
        {"^[^\\d]$", "5", false},
        {"^.$", "\n", false},
        {"^.$", "\r", false},
        {"^.$", "\xe2\x80\xa8", false},
        {"^.$", "\xf0\x9f\x98\x80", true},
        {"(?s)^.$", "\n", true},
        {"^abc$", "abc\n", false},
        {"^abc$", "abc", true},
        {"(?m)^b$", "a\nb\nc", true},
        {"^b$", "a\nb\nc", false},
        {"(?i)^k$", "K", true},
        {"(?i)^k$", "\xe2\x84\xaa", true},
        {"(?i)^[a-c]+$", "AbC", true},
        {"(?i)^\\P{Lu}$", "A", false},
        {"^\\cC$", "\x03", true},
        {"^\\t\\n\\v\\f\\r$", "\t\n\v\f\r", true},
        {"^\\u0041\\x42\\u{1F600}\\x{43}$", "AB\xf0\x9f\x98\x80" "C", true},
        {"^\\<a\\>$", "<a>", true},
        {"\\bfoo\\b", "a foo.", true},
        {"\\bfoo\\b", "afoo", false},
        {"^[\\]a]+$", "]a", true},
        {"^[[:alpha:]+$", "[:a", true},
        {"^[--a]$", "Z", true},
        {"^[a&&b]+$", "&b", true},
        {"(?x) a b # comment", "ab", true},
        {"", "anything", true},
        {"a|", "", true},
        {"^a{2000}$", repeat("a", 2000), true},
        {"^a{2000}$", repeat("a", 1999), false},
        {"^a{1,2500}$", repeat("a", 2500), true},
        {"^a{1,2500}$", repeat("a", 2501), false},
        {"^a{1500,}$", repeat("a", 1500), true},
        {"^a{1500,}$", repeat("a", 1499), false},
        {"^(?:a{1,100}){1,100}$", repeat("a", 150), true},
        {"^(?:(?:b{2}){30}){30}$", repeat("b", 1800), true},
        {"^(\\d{1,3}\\.){3}\\d{1,3}$", "192.168.0.1", true},
        {"^(\\d{1,3}\\.){3}\\d{1,3}$", "192.168.0", false},
        {"^[^\\x{0}-\\x{10FFFF}]", "a", false},
        {"(?U)a+", "aaa", true},
        // "\0" stops the translation but needs no backtracking.
        {"^\\0$", std::string(1, '\0'), true},
        {"^[\\0]$", std::string(1, '\0'), true},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.pattern.substr(0, 60) + " ~ " + c.text.substr(0, 20));
        auto automaton = build_automaton_regex(c.pattern);
        ASSERT_TRUE(automaton) << automaton.error().message();
        EXPECT_EQ((*automaton)->is_match(c.text), c.matches);
        auto backtracking = build_backtracking_regex(c.pattern);
        ASSERT_TRUE(backtracking) << backtracking.error().message();
        EXPECT_FALSE((*backtracking)->backtracks());
        const auto result = (*backtracking)->is_match(c.text);
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, c.matches);
    }
}

TEST(Engines, LookAroundAndBackReferencesOnTheBacktrackingMachine) {
    const MatchCase cases[] = {
        {"(a)\\1", "aa", true},
        {"(a)\\1", "ab", false},
        {"^\\1(a)$", "a", true},
        {"(?i)(a)\\1", "aA", true},
        {"(?<=a)b", "ab", true},
        {"(?<=a)b", "cb", false},
        {"(?<!a)b", "cb", true},
        {"a(?=b)", "ab", true},
        {"a(?!b)", "ab", false},
        {"(?=x)|(?<n>y)\\k<n>", "yy", true},
        {"^(?<n>a|b)\\k<n>$", "bb", true},
        {"^(?<n>a|b)\\k<n>$", "ab", false},
        {"^\\k<n>(?<n>a)$", "a", true},
        {"(?=a)\\d", "a", false},
        // Class escapes keep their ECMA-262 meaning on this engine too.
        {"^\\d(?=x)", "\xd9\xa1x", false},
        {"^\\d(?=x)", "1x", true},
        {"^\\s(?=x)", "\xc2\xa0x", true},
        {"(?=.)^.$", "\r", false},
        {"(?s)^.(?=x)", "\nx", true},
        {"(?s)^.{3}(?=x)", "\n\xe2\x80\xa8\rx", true},
        {"(?=a)^a{70000}$", repeat("a", 70000), true},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.pattern.substr(0, 60) + " ~ " + c.text.substr(0, 20));
        auto re = build_backtracking_regex(c.pattern);
        ASSERT_TRUE(re) << re.error().message();
        EXPECT_TRUE((*re)->backtracks());
        const BacktrackingMatch m = backtracking_is_match(**re, c.text);
        EXPECT_EQ(m.outcome, c.matches ? MatchOutcome::Matched : MatchOutcome::NotMatched);
        EXPECT_FALSE(build_automaton_regex(c.pattern));
    }
}

TEST(Engines, RefusedPatterns) {
    struct Refusal {
        std::string pattern;
        RegexErrorKind kind;
    };
    const Refusal cases[] = {
        {"[", RegexErrorKind::Parse},
        {"\\e", RegexErrorKind::Parse},
        {"^[]a]+$", RegexErrorKind::Parse},
        {"[[:alpha:]]", RegexErrorKind::Parse},
        {"(?<n>a)\\k<m>", RegexErrorKind::Compile},
        {nested(251, "a"), RegexErrorKind::Parse},
        {"\\p{Foo}", RegexErrorKind::Compile},
        {"\\p{}", RegexErrorKind::Compile},
        {"\\p{Age}", RegexErrorKind::Compile},
        {"(?=a)[", RegexErrorKind::Compile},
        {"(?=a)\\a", RegexErrorKind::Compile},
        {"(a)\\2", RegexErrorKind::Compile},
        {"(?=a)\\k<m>", RegexErrorKind::Compile},
        {"(?<=a+)b", RegexErrorKind::Compile},
        {nested(251, "(?=a)"), RegexErrorKind::Compile},
        {"\\b{start}", RegexErrorKind::Compile},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.pattern.substr(0, 40));
        auto re = build_backtracking_regex(c.pattern);
        ASSERT_FALSE(re);
        EXPECT_EQ(re.error().kind(), c.kind);
        const std::string message = re.error().message();
        if (c.kind == RegexErrorKind::Parse) {
            EXPECT_EQ(message.rfind("Parsing error at position ", 0), 0u) << message;
        } else {
            EXPECT_EQ(message.rfind("Error compiling regex: ", 0), 0u) << message;
        }
    }
    EXPECT_TRUE(build_backtracking_regex(nested(250, "a")));
    EXPECT_TRUE(build_automaton_regex(nested(250, "a")));
    EXPECT_TRUE(build_backtracking_regex(nested(249, "(?=a)")));
}

TEST(Engines, EmptyAndMalformedSubjects) {
    auto machine = build_backtracking_regex("^(?=)$");
    ASSERT_TRUE(machine);
    EXPECT_EQ((*machine)->match(std::string_view()).outcome, MatchOutcome::Matched);
    // Text that is not UTF-8 is a failed evaluation on the machine, a plain answer elsewhere.
    EXPECT_EQ((*machine)->match("\xff").outcome, MatchOutcome::EvaluationFailed);
    auto automaton = build_automaton_regex("^$");
    ASSERT_TRUE(automaton);
    EXPECT_TRUE((*automaton)->is_match(std::string_view()));
    EXPECT_FALSE((*automaton)->is_match("\xff"));
}

TEST(Engines, ErrorTexts) {
    EXPECT_EQ(RegexError(RegexErrorKind::BacktrackLimitExceeded).message(),
              "Error executing regex: Max limit for backtracking count exceeded");
    EXPECT_EQ(RegexError(RegexErrorKind::StackLimitExceeded).message(),
              "Error executing regex: Max stack size exceeded for backtracking");
    EXPECT_EQ(RegexError(RegexErrorKind::Parse, 3, "unclosed group").message(), "Parsing error at position 3: unclosed group");
    EXPECT_EQ(RegexError(RegexErrorKind::Compile, 0, "too big").message(), "Error compiling regex: too big");
    EXPECT_EQ(pattern_evaluation_failed_message("^a+$"), "Regex engine failed to evaluate pattern '^a+$'");
}

TEST(Engines, HostileInputsEndQuickly) {
    // Without look-around the backtracking engine runs in linear time and reports no limit.
    auto nested_plus = build_backtracking_regex("^(a+)+$");
    ASSERT_TRUE(nested_plus);
    const std::string hostile = repeat("a", 10000) + "b";
    EXPECT_EQ((*nested_plus)->match(hostile).outcome, MatchOutcome::NotMatched);
    EXPECT_EQ((*nested_plus)->match(repeat("a", 10000)).outcome, MatchOutcome::Matched);

    // With look-around the match limit ends the search with the engine's error.
    auto exploding = build_backtracking_regex("(?=a)(a|aa)+$");
    ASSERT_TRUE(exploding);
    const std::string explodes = repeat("a", 40) + "b";
    const BacktrackingMatch m = (*exploding)->match(explodes);
    EXPECT_EQ(m.outcome, MatchOutcome::EngineError);
    EXPECT_EQ(m.error, RegexErrorKind::BacktrackLimitExceeded);
    const auto as_result = (*exploding)->is_match(explodes);
    ASSERT_FALSE(as_result);
    EXPECT_EQ(as_result.error().message(), "Error executing regex: Max limit for backtracking count exceeded");
    // The regex stays usable.
    EXPECT_EQ((*exploding)->match("baa").outcome, MatchOutcome::Matched);

    // A small configured limit is reached sooner.
    BacktrackingLimits tight;
    tight.backtrack_limit = 50;
    auto limited = build_backtracking_regex("(?=a)(a|aa)+$", tight);
    ASSERT_TRUE(limited);
    EXPECT_EQ((*limited)->match(repeat("a", 12) + "b").outcome, MatchOutcome::EngineError);
    auto roomy = build_backtracking_regex("(?=a)(a|aa)+$");
    ASSERT_TRUE(roomy);
    EXPECT_EQ((*roomy)->match(repeat("a", 12) + "b").outcome, MatchOutcome::NotMatched);
}

TEST(Engines, DeepBacktrackingEndsWithTheStackError) {
    BacktrackingLimits generous;
    generous.backtrack_limit = 1000000000;
    auto re = build_backtracking_regex("(?=a)(a|bc)*$", generous);
    ASSERT_TRUE(re);
    const std::string long_text(4000000, 'a');
    const BacktrackingMatch m = (*re)->match(long_text);
    ASSERT_EQ(m.outcome, MatchOutcome::EngineError);
    EXPECT_EQ(m.error, RegexErrorKind::StackLimitExceeded);
    EXPECT_EQ(RegexError(m.error).message(), "Error executing regex: Max stack size exceeded for backtracking");
    EXPECT_TRUE((*re)->match("aaa").matched());
}

TEST(Engines, SizeLimitRefusesLargePrograms) {
    AutomatonLimits small;
    small.size_limit = 1000;
    EXPECT_FALSE(build_automaton_regex("\\p{L}{50}", small));
    EXPECT_TRUE(build_automaton_regex("\\p{L}{50}"));
    BacktrackingLimits tiny;
    tiny.size_limit = 10;
    EXPECT_FALSE(build_backtracking_regex("(?=a)abcdef", tiny));
}

TEST(Engines, SharedAcrossThreads) {
    auto re = build_backtracking_regex("(?<=a)b\\d");
    ASSERT_TRUE(re);
    std::shared_ptr<const BacktrackingRegex> shared = *re;
    std::vector<std::thread> threads;
    std::vector<int> hits(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) hits[t] += shared->match(i % 2 ? "xab1" : "xcb1").matched() ? 1 : 0;
        });
    }
    for (auto& th : threads) th.join();
    for (int h : hits) EXPECT_EQ(h, 100);
}

TEST(PatternMatcher, ChoosesShapeOrEngine) {
    struct Case {
        std::string pattern;
        PatternOptions options;
        PatternMatcher::Form form;
        std::string yes;
        std::string no;
    };
    using F = PatternMatcher::Form;
    const Case cases[] = {
        {"^abc", PatternOptions::backtracking(), F::Prefix, "abcdef", "xabc"},
        {"^(red|green)$", PatternOptions::backtracking(), F::Alternatives, "green", "greenish"},
        {"^\\S*$", PatternOptions::automaton(), F::NoWhitespace, "", "a\xe2\x80\xa8"},
        {"^a\\d", PatternOptions::backtracking(), F::Backtracking, "a1", "a\xd9\xa1"},
        {"^a\\d", PatternOptions::automaton(), F::Automaton, "a1", "ab"},
        {"(?=a)\\d", PatternOptions::backtracking(), F::Backtracking, "", "a1"},
    };
    RegexCache cache;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const auto m = PatternMatcher::compile(cache, c.pattern, c.options);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->form(), c.form);
        if (!c.yes.empty()) {
            EXPECT_TRUE(m->is_match(c.yes));
        }
        EXPECT_FALSE(m->is_match(c.no));
    }
    EXPECT_FALSE(PatternMatcher::compile(cache, "[", PatternOptions::backtracking()));
    EXPECT_FALSE(PatternMatcher::compile(cache, "(?=a)b", PatternOptions::automaton()));
}

TEST(RegexCache, TranslatesOnceAndCompilesOncePerEngine) {
    RegexCache cache;
    const PatternOptions backtracking = PatternOptions::backtracking();
    const PatternOptions automaton = PatternOptions::automaton();
    auto a = cache.backtracking("^\\d+$", backtracking);
    auto b = cache.backtracking("^\\d+$", backtracking);
    auto c = cache.automaton("^\\d+$", automaton);
    auto d = cache.automaton("^\\d+$", backtracking);
    ASSERT_TRUE(a);
    EXPECT_EQ(a, b);
    ASSERT_TRUE(c);
    EXPECT_EQ(c, d);
    EXPECT_EQ(cache.stats().translations, 1u);
    EXPECT_EQ(cache.stats().backtracking_compilations, 1u);
    EXPECT_EQ(cache.stats().automaton_compilations, 1u);
    ASSERT_TRUE(cache.translate("^\\d+$"));
    EXPECT_EQ(*cache.translate("^\\d+$"), "^[0-9]+$");
    EXPECT_EQ(*cache.translate("abc"), "abc");
}

TEST(RegexCache, FailuresAreNotRemembered) {
    RegexCache cache;
    EXPECT_FALSE(cache.translate("("));
    EXPECT_FALSE(cache.backtracking("(", PatternOptions::backtracking()));
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.stats().translations, 2u);
    // Translatable but refused by the engine: the entry exists, the handle stays absent.
    EXPECT_FALSE(cache.automaton("(?=a)b", PatternOptions::automaton()));
    EXPECT_FALSE(cache.automaton("(?=a)b", PatternOptions::automaton()));
    EXPECT_EQ(cache.stats().automaton_compilations, 2u);
    EXPECT_TRUE(cache.backtracking("(?=a)b", PatternOptions::backtracking()));
}

TEST(RegexCache, EachEngineReadsItsOwnLimits) {
    const PatternOptions automaton_tiny = PatternOptions::automaton(10);
    RegexCache cache;
    // The backtracking entry point ignores the automaton form's size limit.
    EXPECT_TRUE(cache.backtracking("\\p{L}{20}", automaton_tiny));
    EXPECT_FALSE(cache.automaton("\\p{L}{20}", automaton_tiny));
    EXPECT_EQ(PatternOptions::automaton(5).backtracking_limits().size_limit, std::nullopt);
    EXPECT_EQ(PatternOptions::backtracking(7).automaton_limits().size_limit, std::nullopt);
    EXPECT_EQ(PatternOptions::backtracking(7).backtracking_limits().backtrack_limit, 7u);
}

}  // namespace
}  // namespace deririrore::regex
