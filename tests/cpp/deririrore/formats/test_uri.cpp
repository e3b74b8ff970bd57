#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/formats/uri.hpp"

namespace f = deririrore::formats;

namespace {

struct Case {
    std::string text;
    bool uri;
    bool uri_reference;
    bool iri;
    bool iri_reference;
};

TEST(UriFormats, AbsoluteAndRelative) {
    const std::vector<Case> cases = {
        // text                          uri    uri-ref iri    iri-ref
        {"a:b",                          true,  true,  true,  true},
        {"a:",                           true,  true,  true,  true},
        {"a:/b?c#d",                     true,  true,  true,  true},
        {"a://u:p@h:80/p?q#f",           true,  true,  true,  true},
        {"a://h:/",                      true,  true,  true,  true},
        {"a://[::1]/",                   true,  true,  true,  true},
        {"a://[::1]:8080/x",             true,  true,  true,  true},
        {"a://u@[v1.x:y]/",              true,  true,  true,  true},
        {"http://example.com/%7Efoo?a=b&c=d#x/y?z", true, true, true, true},
        {"urn:isbn:0451450523",          true,  true,  true,  true},
        {"a+b-c.d:e",                    true,  true,  true,  true},
        {"",                             false, true,  false, true},
        {"/b",                           false, true,  false, true},
        {"#f",                           false, true,  false, true},
        {"?q",                           false, true,  false, true},
        {"//h/p",                        false, true,  false, true},
        {"./a:b",                        false, true,  false, true},
        {"%41",                          false, true,  false, true},
        {"b:c",                          true,  true,  true,  true},
        {"1a:b",                         false, false, false, false},
        {"a://h:8x/",                    false, false, false, false},
        {"a://u@v@h/",                   false, false, false, false},
        {"a:b c",                        false, false, false, false},
        {"/b:c d",                       false, false, false, false},
        {"a:%4",                         false, false, false, false},
        {"a:%zz",                        false, false, false, false},
        {"a:b#c#d",                      false, false, false, false},
        {"a:\\b",                        false, false, false, false},
        {"a://[::1/",                    false, false, false, false},
        {"a://[::1]x/",                  false, false, false, false},
        {"a://[1::2::3]/",               false, false, false, false},
        {"a://[fe80::1%25eth0]/",        false, false, false, false},
        {"a://h]/",                      false, false, false, false},
        {"a://[v1.]/",                   false, false, false, false},
        {"a://[::1]:80:80/",             false, false, false, false},
        // Non-ASCII characters: only the IRI forms.
        {"a:/\xc3\xbc",                  false, false, true,  true},
        {"/\xc3\xbc",                    false, false, false, true},
        {"a://\xc3\xbc" "ber.example/",  false, false, true,  true},
        {"a:/?\xee\x80\x80",             false, false, true,  true},   // private use in the query
        {"a:/\xee\x80\x80",              false, false, false, false},  // not in a path
        {"a:/\xc2\x85",                  false, false, false, false},  // C1 control
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f::check_uri(c.text), c.uri) << "uri: " << c.text;
        EXPECT_EQ(f::check_uri_reference(c.text), c.uri_reference) << "uri-reference: " << c.text;
        EXPECT_EQ(f::check_iri(c.text), c.iri) << "iri: " << c.text;
        EXPECT_EQ(f::check_iri_reference(c.text), c.iri_reference) << "iri-reference: " << c.text;
    }
}

TEST(UriFormats, ScannerLeavesIpLiteralsUndecided) {
    EXPECT_EQ(f::check_uri_rfc3986("a://[::1]/", true), f::UriScan::Undecided);
    EXPECT_EQ(f::check_uri_rfc3986("//u@[x]", false), f::UriScan::Undecided);
    EXPECT_EQ(f::check_uri_rfc3986("a://h/", true), f::UriScan::Valid);
    EXPECT_EQ(f::check_uri_rfc3986("/b", true), f::UriScan::Invalid);
}

// The scanner and the full grammar must agree wherever the scanner decides.
TEST(UriFormats, ScannerAgreesWithFullGrammar) {
    const std::vector<std::string> texts = {
        "a:b", "a:", "a://u:p@h:80/p?q#f", "a://h:/", "", "/b", "#f", "?q", "//h/p", "./a:b", "%41",
        "1a:b", "a://h:8x/", "a://u@v@h/", "a:b c", "a:%4", "a:%zz", "a://h/%", "a://%41/", "//:80",
        "a://u:p:q@h", "a://h?x#y", "a:b?#", "x:/a//b", "a:b@c:d", "a://h:80:90", "http://a/b/../c",
    };
    for (const auto& t : texts) {
        for (const bool scheme_required : {true, false}) {
            const auto scan = f::check_uri_rfc3986(t, scheme_required);
            ASSERT_NE(scan, f::UriScan::Undecided) << t;
            EXPECT_EQ(scan == f::UriScan::Valid, f::parse_uri_reference(t, false, scheme_required))
                << t << " scheme required: " << scheme_required;
        }
    }
}

TEST(UriTemplateFormat, Rfc6570Syntax) {
    struct T {
        std::string text;
        bool valid;
    };
    const std::vector<T> cases = {
        {"", true},           {"/a/{id}", true},     {"{+path}", true},    {"{#x}", true},
        {"{a,b}", true},      {"{a.b}", true},       {"{var:3}", true},    {"{var*}", true},
        {"a'b", true},        {"%2F", true},         {"{var:9999}", true}, {"{%41}", true},
        {"{x,y*,z:5}", true}, {"http://e.com/{?q,lang}", true},             {"\xc3\xbc{a}", true},
        {"{|a}", true},
        {"{", false},         {"{}", false},         {"{+}", false},       {"{a..b}", false},
        {"{var:0}", false},   {"{var:10000}", false}, {"{var:1*}", false}, {"a}b", false},
        {"a|b", false},       {"a b", false},        {"%2", false},        {"%zz", false},
        {"{a", false},        {"{a,}", false},       {"{.}", false},       {"{a.}", false},
        {"{%41", false},      {"{a-b}", false},      {"{a}}", false},      {"{{a}}", false},
        {"a\"b", false},      {"a\x7f", false},
    };
    for (const auto& c : cases) EXPECT_EQ(f::check_uri_template(c.text), c.valid) << c.text;
}

TEST(UriTemplateFormat, VarspecEndsAfterModifier) {
    EXPECT_EQ(f::parse_varspec("{abc:12}", 1), std::optional<std::size_t>(7));
    EXPECT_EQ(f::parse_varspec("{a.b*}", 1), std::optional<std::size_t>(5));
    EXPECT_EQ(f::parse_varspec("{.a}", 1), std::nullopt);
}

}  // namespace
