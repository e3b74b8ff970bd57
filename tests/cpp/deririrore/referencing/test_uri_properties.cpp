// Resolution and normalisation are stable: a resolved URI resolves to itself, a normal form
// normalises to itself, and decoding percent-encoded dots before or during resolution gives the
// same URI. Checked on the RFC 3986 examples and on seeded random references.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/referencing/uri.hpp"

namespace deririrore::referencing {
namespace {

std::string resolved_or_error(const Uri& base, std::string_view reference) {
    auto r = resolve_uri(base, reference);
    return r ? r->text() : "ERROR";
}

// Random references built from pieces that exercise dot segments, percent-encoded dots and
// unreserved characters, case, rootless and empty paths, queries and fragments.
class ReferenceGenerator {
public:
    explicit ReferenceGenerator(std::uint32_t seed) : rng_(seed) {}

    std::string next(bool with_scheme) {
        static constexpr std::array<std::string_view, 5> kSchemes = {"g:", "http:", "c:", "X-Y:", "urn:"};
        static constexpr std::array<std::string_view, 6> kAuthorities = {"//a", "//A", "//%41b", "//u@H:8",
                                                                         "//[::1]", "//"};
        static constexpr std::array<std::string_view, 13> kSegments = {
            ".", "..", "%2e", "%2E", "%2e%2E", ".%2e", "g", "a%41", "", "b;p", "x:y", "%7e", "%2F"};
        static constexpr std::array<std::string_view, 5> kTails = {"", "y", "a/./b", "%2e", "%7E/../"};
        std::string out;
        if (with_scheme || pick(3) == 0) out += kSchemes[pick(kSchemes.size())];
        const bool authority = pick(3) == 0;
        if (authority) out += kAuthorities[pick(kAuthorities.size())];
        const std::size_t segments = pick(5);
        for (std::size_t i = 0; i < segments; ++i) {
            if (i > 0 || authority || pick(2) == 0) out += '/';
            out += kSegments[pick(kSegments.size())];
        }
        if (pick(3) == 0) out += "?" + std::string(kTails[pick(kTails.size())]);
        if (pick(3) == 0) out += "#" + std::string(kTails[pick(kTails.size())]);
        return out;
    }

private:
    // Plain modulo keeps the sequence the same with every standard library.
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }

    std::mt19937 rng_;
};

// The reference texts of RFC 3986 section 5.4, normal and abnormal.
constexpr std::array<std::string_view, 42> kRfcReferences = {
    "g:h", "g", "./g", "g/", "/g", "//g", "?y", "g?y", "#s", "g#s", "g?y#s", ";x", "g;x", "g;x?y#s",
    "", ".", "./", "..", "../", "../g", "../..", "../../", "../../g", "../../../g", "../../../../g",
    "/./g", "/../g", "g.", ".g", "g..", "..g", "./../g", "./g/.", "g/./h", "g/../h", "g;x=1/./y",
    "g;x=1/../y", "g?y/./x", "g?y/../x", "g#s/./x", "g#s/../x", "http:g",
};

void expect_stable(const Uri& base, std::string_view reference) {
    auto once = resolve_uri(base, reference);
    if (!once) {
        // A reference refused against this base is refused in its normal form too.
        if (auto parsed = parse_uri_reference(reference)) {
            EXPECT_EQ(resolved_or_error(base, normalize_uri(*parsed).text()), "ERROR")
                << "base " << base.text() << ", reference " << reference;
        }
        return;
    }
    EXPECT_EQ(resolved_or_error(base, once->text()), once->text())
        << "base " << base.text() << ", reference " << reference;
    auto reparsed = parse_uri(once->text());
    EXPECT_TRUE(reparsed && reparsed->text() == once->text())
        << "base " << base.text() << ", reference " << reference << ", resolved " << once->text();
    auto parsed = parse_uri_reference(reference);
    ASSERT_TRUE(parsed) << reference;
    EXPECT_EQ(resolved_or_error(base, normalize_uri(*parsed).text()), once->text())
        << "base " << base.text() << ", reference " << reference << " against its normal form";
}

void expect_normal_form_is_fixed(std::string_view text) {
    auto parsed = parse_uri_reference(text);
    if (!parsed) return;
    const Uri once = normalize_uri(*parsed);
    const Uri twice = normalize_uri(once);
    EXPECT_EQ(twice.text(), once.text()) << text;
    // The boundaries of the normal form are those its text parses to.
    auto reread = parse_uri_reference(once.text());
    ASSERT_TRUE(reread) << text << " normalised to the unreadable " << once.text();
    EXPECT_EQ(reread->path(), once.path()) << text;
    EXPECT_EQ(reread->has_authority(), once.has_authority()) << text;
}

TEST(UriProperties, IssueExamples) {
    const Uri rfc_base = *parse_uri("http://a/b/c/d;p?q");
    struct Case {
        std::string_view base;
        std::string_view reference;
        std::string_view expected;
    };
    const Case cases[] = {
        {"c:./", "", "c:"},
        {"c:./", "c:./", "c:"},
        {"http://a/b/c/d;p?q", "x:%2e", "x:"},
        {"http://a/b/c/d;p?q", "x:.", "x:"},
        // An encoded dot segment is a dot segment, removed in the same pass as the plain ones.
        {"http://a/b/c/d;p?q", "a/%2e%2e/../g", "http://a/b/g"},
        {"http://a/b/c/d;p?q", "%2E/g", "http://a/b/c/g"},
        {"http://a/b/c/d;p?q", "g/%2e%2e", "http://a/b/c/"},
        // A path that would start with "//" after removal keeps a "/." so as not to read as an authority.
        {"http://a/b/c/d;p?q", "c:/.//x", "c:/.//x"},
        {"http://a/b/c/d;p?q", "c:a/..//x", "c:/.//x"},
    };
    for (const auto& c : cases) {
        auto base = parse_absolute_uri(c.base);
        ASSERT_TRUE(base) << c.base;
        EXPECT_EQ(resolved_or_error(*base, c.reference), c.expected) << c.base << " + " << c.reference;
        EXPECT_EQ(resolved_or_error(*base, c.expected), c.expected) << c.base << " + " << c.expected;
    }
    EXPECT_EQ(parse_uri("c:./")->text(), "c:");
    EXPECT_EQ(parse_uri("x:%2e")->text(), "x:");
    EXPECT_EQ(resolved_or_error(rfc_base, "x:%2e"), "x:");
}

TEST(UriProperties, ResolvingAResolvedReferenceChangesNothing) {
    std::vector<Uri> bases;
    for (std::string_view text : {"http://a/b/c/d;p?q", "c:./", "urn:a:b", "json-schema:///", "x:/a/%2e%2E/b?q#f"}) {
        auto base = parse_uri(text);
        ASSERT_TRUE(base) << text;
        bases.push_back(*base);
    }
    ReferenceGenerator generator(20240611);
    while (bases.size() < 40) {
        if (auto base = parse_uri(generator.next(true))) bases.push_back(*base);
    }
    for (const Uri& base : bases) {
        for (std::string_view reference : kRfcReferences) expect_stable(base, reference);
    }
    std::size_t checked = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string reference = generator.next(false);
        if (!parse_uri_reference(reference)) continue;
        ++checked;
        expect_stable(bases[static_cast<std::size_t>(i) % bases.size()], reference);
        if (HasFailure()) break;
    }
    EXPECT_GT(checked, 10000u);
}

TEST(UriProperties, NormalisingANormalFormChangesNothing) {
    for (std::string_view reference : kRfcReferences) expect_normal_form_is_fixed(reference);
    ReferenceGenerator generator(7);
    for (int i = 0; i < 20000 && !HasFailure(); ++i) expect_normal_form_is_fixed(generator.next(i % 2 == 0));
}

}  // namespace
}  // namespace deririrore::referencing
