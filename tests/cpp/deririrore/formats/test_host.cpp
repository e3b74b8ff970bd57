#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "deririrore/formats/host.hpp"

namespace f = deririrore::formats;

namespace {

struct HostCase {
    std::string text;
    bool legacy;  // drafts 4 and 6
    bool labels;  // draft 7 and later
};

TEST(HostnameFormat, AsciiAndLabelRules) {
    const std::string label63(63, 'a');
    std::string name254;
    while (name254.size() < 254) name254 += "abcdefg.";
    name254.resize(254);
    if (name254.back() == '.') name254.back() = 'x';
    const std::vector<HostCase> cases = {
        {"a", true, true},
        {"a-b.c", true, true},
        {label63, true, true},
        {"EXAMPLE.com", true, true},
        {"1.2.3.4", true, true},
        {"-a.b", false, false},
        {"a-.b", false, false},
        {"a..b", false, false},
        {".a", false, false},
        {"a.", false, false},
        {"a_b.c", false, false},
        {label63 + "a", false, false},
        {name254, false, false},
        {"", false, false},
        {"b\xc3\xbc" "cher", false, false},
        // Hyphens in the third and fourth position are reserved for A-labels.
        {"ab--cd.e", true, false},
        {"xn--bcher-kva", true, true},
        {"xn--bcher-kva.example", true, true},
        {"xn--9", true, false},
        {"xn---abc", true, false},  // "-" where a base-36 digit is needed
        {"xn--a", true, false},      // U+0080, a control
        {"XN--bcher-kva", true, false},
        {"Xn--bcher-kva", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f::check_legacy_hostname(c.text), c.legacy) << "legacy: " << c.text;
        EXPECT_EQ(f::check_hostname_labels(c.text), c.labels) << "labels: " << c.text;
    }
}

TEST(HostnameFormat, TwoHundredFiftyThreeBytesIsTheLimit) {
    std::string name;
    while (name.size() < 253) name += "a.";
    name.resize(253);  // ends in "a"
    EXPECT_TRUE(f::check_hostname_labels(name));
    EXPECT_FALSE(f::check_hostname_labels(name + "a"));
}

std::u32string decode(std::string_view input) {
    std::array<char32_t, 64> out{};
    const auto n = f::punycode_decode(input, out.data(), out.size());
    if (!n) return U"<fail>";
    return std::u32string(out.data(), *n);
}

TEST(Punycode, DecodesRfc3492Samples) {
    EXPECT_EQ(decode("bcher-kva"), U"b\u00fccher");
    EXPECT_EQ(decode("egbpdaj6bu4bxfgehfvwxn"),
              U"\u0644\u064A\u0647\u0645\u0627\u0628\u062A\u0643\u0644\u0645\u0648\u0634\u0639\u0631\u0628\u064A\u061F");
    EXPECT_EQ(decode("ihqwcrb4cv8a8dqg056pqjye"), U"\u4ED6\u4EEC\u4E3A\u4EC0\u4E48\u4E0D\u8BF4\u4E2D\u6587");
    EXPECT_EQ(decode("a"), U"\u0080");
}

TEST(Punycode, RejectsMalformedInput) {
    EXPECT_EQ(decode("9"), U"<fail>");          // ends inside a number
    EXPECT_EQ(decode("-abc"), U"<fail>");       // "-" where a digit is needed
    EXPECT_EQ(decode("a_b"), U"<fail>");        // not a base-36 digit
    EXPECT_EQ(decode("99999999999999a"), U"<fail>");  // overflows 32 bits
    EXPECT_EQ(decode("99999a"), U"<fail>");           // U+48A3C1
}

TEST(ULabelRules, ContextualRules) {
    struct Case {
        std::u32string label;
        bool valid;
    };
    const std::vector<Case> cases = {
        {U"", true},
        {U"l\u00b7l", true},
        {U"a\u00b7l", false},
        {U"l\u00b7", false},
        {U"\u00b7l", false},
        {U"\u0300a", false},               // starts with a combining mark
        {U"a\u0300", true},
        {U"\u03b1\u0375\u03b2", true},     // keraia before Greek
        {U"\u03b1\u0375S", false},
        {U"\u03b1\u0375", false},
        {U"\u05d0\u05f3\u05d1", true},     // geresh after Hebrew
        {U"A\u05f3\u05d1", false},
        {U"\u05f4\u05d1", false},
        {U"\u094d\u200d", false},          // starts with a mark anyway
        {U"\u0915\u094d\u200d\u0937", true},  // joiner after virama
        {U"\u0915\u200d\u0937", false},
        {U"a\u200c", true},                // non-joiner accepted as is
        {U"\u0661\u06f1", false},          // both kinds of Arabic-Indic digits
        {U"\u0628\u0660\u0661", true},
        {U"\u0628\u06f0\u06f1", true},
        {U"\u30fb", false},                // katakana middle dot alone
        {U"\u30fb\u30a2", true},
        {U"\u30fb\u4e08", true},
        {U"\u30fb\u3041", true},
        {U"a\u0640b", false},              // tatweel
        {U"\u302e", false},
        {U"\u3007", true},
        {U"\u2603", false},                // So, not a letter, mark or digit
        {U"\u00e9", true},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (char32_t cp : c.label) shown += " U+" + std::to_string(static_cast<unsigned>(cp));
        EXPECT_EQ(f::check_ulabel_rules(c.label), c.valid) << shown;
    }
}

TEST(IdnHostnameFormat, Uts46AndLabelRules) {
    std::string long_name;
    while (long_name.size() < 254) long_name += "a.";
    long_name.resize(254);
    long_name.back() = 'a';
    struct Case {
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"b\xc3\xbc" "cher", true},
        {"b\xc3\xbc" "cher.example", true},
        {"ABC", true},
        {"xn--bcher-kva", true},
        {"XN--BCHER-KVA.de", true},  // ToASCII lowercases the prefix first
        {"\xe5\xae\x9e\xe4\xbe\x8b.\xe6\xb5\x8b\xe8\xaf\x95", true},  // 实例.测试
        {"l\xc2\xb7l", true},
        {"\xd7\x90\xd7\x91", true},  // right-to-left label
        {"a..b", false},
        {long_name, false},
        {"-abc", false},
        {"ab--c", false},
        {"a_b", false},
        {"", false},
        {"a.", false},
        {"a\xc2\xb7l", false},
        {"\xcc\x80" "a", false},     // leading combining mark
        {"a\xd9\x80" "b", false},    // tatweel
        {"\xe2\x98\x83", false},     // snowman
        {"xn--9", false},
        {"xn--a", false},
        {"a\xd7\x90", false},        // left-to-right label holding Hebrew
    };
    for (const auto& c : cases) EXPECT_EQ(f::check_idn_hostname(c.text), c.valid) << c.text;
}

TEST(Ipv4Format, DottedQuad) {
    struct Case {
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"0.0.0.0", true},      {"255.255.255.255", true}, {"192.168.0.1", true},
        {"256.1.1.1", false},   {"01.1.1.1", false},       {"1.1.1", false},
        {"1.1.1.1.1", false},   {"1.1.1.1 ", false},       {"1.1.1.", false},
        {".1.1.1", false},      {"1..1.1", false},         {"1000.1.1.1", false},
        {"0x1.1.1.1", false},   {"", false},               {"1.1.1.\xd9\xa3", false},
    };
    for (const auto& c : cases) EXPECT_EQ(f::check_ipv4(c.text), c.valid) << c.text;
}

TEST(Ipv6Format, TextForms) {
    struct Case {
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"::", true},
        {"::1", true},
        {"1::", true},
        {"1:2:3:4:5:6:7:8", true},
        {"1:2:3:4:5:6:7::", true},
        {"::2:3:4:5:6:7:8", true},
        {"::ffff:1.2.3.4", true},
        {"1:2:3:4:5:6:1.2.3.4", true},
        {"FE80::abcd", true},
        {"1::2::3", false},
        {"12345::", false},
        {"[::1]", false},
        {"fe80::1%eth0", false},
        {"::1/128", false},
        {"1:2:3:4:5:6:7", false},
        {"1:2:3:4:5:6:7:8:9", false},
        {"1:2:3:4:5:6:7:8::", false},   // "::" must stand for at least one group
        {"1:2:3:4::5:6:7:8", false},
        {":1:2:3:4:5:6:7", false},
        {"1:2:3:4:5:6:7:", false},
        {":::", false},
        {"1:2:3:4:5:6:7:1.2.3.4", false},
        {"::1.2.3", false},
        {"::1.2.3.4:1", false},
        {"::ffff:01.2.3.4", false},
        {"g::", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(f::check_ipv6(c.text), c.valid) << c.text;
}

}  // namespace
