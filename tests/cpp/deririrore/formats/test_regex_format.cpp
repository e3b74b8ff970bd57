#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "deririrore/formats/formats.hpp"
#include "deririrore/formats/regex_format_internal.hpp"

namespace f = deririrore::formats;

namespace {

TEST(RegexFormat, DecidedByThePatternScanner) {
    for (const char* ok : {"", "abc", "(?<n>a)\\k<n>", "[a-z]+", "a{1,2}?", "\\p{L}"}) {
        EXPECT_TRUE(f::is_valid_regex_format(ok)) << ok;
        EXPECT_TRUE(f::check_builtin(f::BuiltinFormat::Regex, ok)) << ok;
    }
    for (const char* bad : {"(", "a**", "[z-a]", "\\1", "(?i)a", "a{2,1}"}) {
        EXPECT_FALSE(f::is_valid_regex_format(bad)) << bad;
        EXPECT_FALSE(f::check_builtin(f::BuiltinFormat::Regex, bad)) << bad;
    }
}

// A fresh thread starts with an empty cache of its own.
std::vector<std::string> in_fresh_thread(const std::vector<std::string>& patterns) {
    std::vector<std::string> cached;
    std::thread([&] {
        for (const auto& p : patterns) f::is_valid_regex_cached(p);
        cached = f::detail::regex_cache_patterns();
    }).join();
    return cached;
}

TEST(RegexFormat, ThreadCacheReplacesTheOldestOfSixteen) {
    std::vector<std::string> patterns;
    for (int i = 0; i < 17; ++i) patterns.push_back("p" + std::to_string(i));

    auto cached = in_fresh_thread(patterns);
    ASSERT_EQ(cached.size(), 16u);
    EXPECT_EQ(cached[0], "p16");  // took the place of p0
    EXPECT_EQ(cached[1], "p1");

    // Asking for p0 again computes it anew and evicts the next oldest, p1.
    patterns.push_back("p0");
    cached = in_fresh_thread(patterns);
    EXPECT_EQ(cached[0], "p16");
    EXPECT_EQ(cached[1], "p0");
    EXPECT_EQ(cached[2], "p2");

    // A hit changes nothing.
    patterns.push_back("p5");
    EXPECT_EQ(in_fresh_thread(patterns), cached);
}

TEST(BuiltinFormats, DispatchByIdentifier) {
    struct Case {
        f::BuiltinFormat format;
        std::string_view name;
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {f::BuiltinFormat::Date, "date", "2020-02-29", true},
        {f::BuiltinFormat::DateTime, "date-time", "2020-02-29T00:00:00Z", true},
        {f::BuiltinFormat::Duration, "duration", "P1W", true},
        {f::BuiltinFormat::Email, "email", "\xc3\xbc@example.com", false},
        {f::BuiltinFormat::Hostname, "hostname", "ab--cd.e", false},
        {f::BuiltinFormat::HostnameDraft4, "hostname", "ab--cd.e", true},
        {f::BuiltinFormat::IdnEmail, "idn-email", "\xc3\xbc@example.com", true},
        {f::BuiltinFormat::IdnHostname, "idn-hostname", "b\xc3\xbc" "cher", true},
        {f::BuiltinFormat::Ipv4, "ipv4", "1.2.3.4", true},
        {f::BuiltinFormat::Ipv6, "ipv6", "::1", true},
        {f::BuiltinFormat::Iri, "iri", "/\xc3\xbc", false},
        {f::BuiltinFormat::IriReference, "iri-reference", "/\xc3\xbc", true},
        {f::BuiltinFormat::JsonPointer, "json-pointer", "/a~2", false},
        {f::BuiltinFormat::Regex, "regex", "a{1}{2}", false},
        {f::BuiltinFormat::RelativeJsonPointer, "relative-json-pointer", "0#", true},
        {f::BuiltinFormat::Time, "time", "23:59:60Z", true},
        {f::BuiltinFormat::Uri, "uri", "//h/p", false},
        {f::BuiltinFormat::UriReference, "uri-reference", "//h/p", true},
        {f::BuiltinFormat::UriTemplate, "uri-template", "{var:10000}", false},
        {f::BuiltinFormat::Uuid, "uuid", "0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d", true},
        {f::BuiltinFormat::None, "", "anything", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f::builtin_format_name(c.format), c.name);
        EXPECT_EQ(f::check_builtin(c.format, c.text), c.valid) << c.name << ": " << c.text;
    }
    const f::EmailOptions strict{0, false, false};
    EXPECT_FALSE(f::check_builtin(f::BuiltinFormat::Email, "a@[1.2.3.4]", &strict));
    EXPECT_TRUE(f::check_builtin(f::BuiltinFormat::Email, "a@[1.2.3.4]"));
}

}  // namespace
