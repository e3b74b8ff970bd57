#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "deririrore/referencing/uri.hpp"

namespace deririrore::referencing {
namespace {

Uri must_parse(std::string_view text) {
    auto parsed = parse_uri(text);
    if (!parsed) throw std::runtime_error(parsed.error().message());
    return *parsed;
}

std::string resolved_or_error(const Uri& base, std::string_view reference) {
    auto r = resolve_uri(base, reference);
    return r ? r->text() : "ERROR: " + r.error().message();
}

// RFC 3986 section 5.4: normal and abnormal examples (strict parser: "http:g" keeps its scheme).
TEST(ResolveUri, Rfc3986Examples) {
    const Uri base = must_parse("http://a/b/c/d;p?q");
    struct Case {
        std::string_view reference;
        std::string_view expected;
    };
    const Case cases[] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http:g"},
    };
    for (const auto& c : cases) EXPECT_EQ(resolved_or_error(base, c.reference), c.expected) << c.reference;
}

TEST(ParseUri, Table) {
    struct Case {
        std::string_view text;
        std::string_view expected;  // the URI text, or the error message
    };
    const Case cases[] = {
        {"json-schema:///", "json-schema:///"},
        {"", "json-schema:///"},
        {"other.json", "json-schema:///other.json"},
        {"#/definitions/a", "json-schema:///#/definitions/a"},
        {"//host/x", "json-schema://host/x"},
        {"urn:example:root", "urn:example:root"},
        {"a/b:c", "json-schema:///a/b:c"},
        {"../../x.json", "json-schema:///x.json"},
        {"json-schema://H/a/./b/../c", "json-schema://h/a/c"},
        {"HTTP://Ex%41mple.COM/%7e%2f%c3%a9?q=%3d#f%7E", "http://example.com/~%2F%C3%A9?q=%3D#f~"},
        {"http://[::1]:8080/x", "http://[::1]:8080/x"},
        {"http://[2001:DB8::7]/", "http://[2001:db8::7]/"},
        {"http://[::ffff:192.0.2.1]/", "http://[::ffff:192.0.2.1]/"},
        {"http://[v7.a:b]/", "http://[v7.a:b]/"},
        {"http://user:pw@host/", "http://user:pw@host/"},
        {"a b", "Invalid URI reference 'a b': unexpected character at index 1"},
        {"caf\xc3\xa9.json", "Invalid URI reference 'caf\xc3\xa9.json': unexpected character at index 3"},
        {"#/a\xc3\xa9", "Invalid URI reference '#/a\xc3\xa9': unexpected character at index 3"},
        {"a%2", "Invalid URI reference 'a%2': invalid percent-encoded octet at index 1"},
        {"x/%zz", "Invalid URI reference 'x/%zz': invalid percent-encoded octet at index 2"},
        {":x", "Invalid URI reference ':x': unexpected character at index 0"},
        {"1x:y", "Invalid URI reference '1x:y': unexpected character at index 0"},
        {"a_b:c", "Invalid URI reference 'a_b:c': unexpected character at index 3"},
        {"http://[1::2::3]/", "Invalid URI reference 'http://[1::2::3]/': invalid IPv6 address at index 8"},
        {"http://[1:2:3:4:5:6:7:8:9]/", "Invalid URI reference 'http://[1:2:3:4:5:6:7:8:9]/': invalid IPv6 address at index 8"},
        {"http://[::1/", "Invalid URI reference 'http://[::1/': invalid IPv6 address at index 8"},
        {"http://h:8x/", "Invalid URI reference 'http://h:8x/': unexpected character at index 10"},
        {"http://a b/", "Invalid URI reference 'http://a b/': unexpected character at index 8"},
        {"a#b#c", "Invalid URI reference 'a#b#c': unexpected character at index 3"},
        {"a[b]", "Invalid URI reference 'a[b]': unexpected character at index 1"},
    };
    for (const auto& c : cases) {
        auto r = parse_uri(c.text);
        EXPECT_EQ(r ? r->text() : r.error().message(), c.expected) << c.text;
    }
}

TEST(ParseUri, ComponentBoundaries) {
    const Uri u = must_parse("http://user@Host:80/p/q?x=1#frag");
    EXPECT_EQ(u.scheme(), "http");
    EXPECT_EQ(u.authority(), "user@host:80");
    EXPECT_EQ(u.host(), "host");
    EXPECT_EQ(u.path(), "/p/q");
    EXPECT_EQ(u.query(), "x=1");
    EXPECT_EQ(u.fragment(), "frag");
    EXPECT_EQ(u.without_fragment_view(), "http://user@host:80/p/q?x=1");
    EXPECT_EQ(u.without_fragment().text(), "http://user@host:80/p/q?x=1");
    const Uri urn = must_parse("urn:a:b");
    EXPECT_FALSE(urn.has_authority());
    EXPECT_EQ(urn.path(), "a:b");
}

TEST(ResolveUri, EdgeCases) {
    struct Case {
        std::string_view base;
        std::string_view reference;
        std::string_view expected;
    };
    const Case cases[] = {
        {"urn:example:root", "other.json",
         "ERROR: Failed to resolve 'other.json' against 'urn:example:root': when base has a rootless path and no "
         "authority, reference should either have scheme, be empty or start with '#'"},
        {"urn:example:root#frag", "?q",
         "ERROR: Failed to resolve '?q' against 'urn:example:root': when base has a rootless path and no authority, "
         "reference should either have scheme, be empty or start with '#'"},
        {"urn:example:root", "#x", "urn:example:root#x"},
        {"urn:example:root", "", "urn:example:root"},
        {"urn:example:root", "http://x/y", "http://x/y"},
        {"json-schema:///s#a", "#a", "json-schema:///s#a"},
        {"json-schema:///s#b", "#a", "json-schema:///s#a"},
        {"json-schema:///d/s?q#f", "x", "json-schema:///d/x"},
        {"json-schema:///s?q#f", "", "json-schema:///s?q"},
        {"json-schema:///", "json-schema://H/a/./b/../c", "json-schema://h/a/c"},
        {"json-schema:///", "../../x.json", "json-schema:///x.json"},
        {"http://a", "b", "http://a/b"},
        {"http://a/b", "a b", "ERROR: Invalid URI reference 'a b': unexpected character at index 1"},
    };
    for (const auto& c : cases) EXPECT_EQ(resolved_or_error(must_parse(c.base), c.reference), c.expected) << c.reference;
}

TEST(DefaultBaseUri, IsSharedAndFixed) {
    EXPECT_EQ(default_base_uri()->text(), "json-schema:///");
    EXPECT_EQ(default_base_uri().get(), default_base_uri().get());
    EXPECT_EQ(default_base_uri()->scheme(), "json-schema");
    EXPECT_EQ(default_base_uri()->path(), "/");
}

TEST(ResolutionCache, KeysAndFailures) {
    ResolutionCache cache;
    const Uri a = must_parse("http://x/a/");
    const Uri b = must_parse("http://x/b/");
    auto first = cache.resolve(a, "c.json");
    ASSERT_TRUE(first);
    auto again = cache.resolve(a, "c.json");
    ASSERT_TRUE(again);
    EXPECT_EQ(first->get(), again->get());
    ASSERT_TRUE(cache.resolve(b, "c.json"));
    ASSERT_TRUE(cache.resolve(a, "c.json#frag"));
    EXPECT_EQ(cache.size(), 3u);

    auto failed = cache.resolve(a, "a b");
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().kind(), ReferenceError::Kind::InvalidUri);
    EXPECT_EQ(cache.size(), 3u);
}

TEST(ResolutionCache, ConcurrentResolutionsOfOnePairStoreOneEntry) {
    ResolutionCache cache;
    const Uri base = must_parse("http://x/dir/");
    std::vector<std::thread> threads;
    std::vector<std::string> results(8);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            auto r = cache.resolve(base, "../y.json");
            results[t] = r ? (*r)->text() : r.error().message();
        });
    }
    for (auto& th : threads) th.join();
    for (const auto& r : results) EXPECT_EQ(r, "http://x/y.json");
    EXPECT_EQ(cache.size(), 1u);
}

}  // namespace
}  // namespace deririrore::referencing
