// The registry's URI parser, resolver and normaliser. The input is a reference, or a base and a
// reference separated by a NUL byte (the base then defaults to RFC 3986's example base). Oracles:
// a parsed reference reads back to itself; normalising twice equals normalising once; resolving a
// resolved reference against the same base is a no-op, with and without normalisation; removing
// dot segments twice equals removing them once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "deririrore/referencing/uri.hpp"
#include "fuzz_support.hpp"

namespace {

namespace ref = deririrore::referencing;
using vc_fuzz::printable;
using vc_fuzz::Value;

constexpr std::string_view kExampleBase = "http://a/b/c/d;p?q";

// The reference resolution examples of RFC 3986 section 5.4.
constexpr std::string_view kRfcReferences[] = {
    "g:h", "g", "./g", "g/", "/g", "//g", "?y", "g?y", "#s", "g#s", "g?y#s", ";x", "g;x", "g;x?y#s", "", ".", "./",
    "..", "../", "../g", "../..", "../../", "../../g", "../../../g", "../../../../g", "/./g", "/../g", "g.", ".g",
    "g..", "..g", "./../g", "./g/.", "g/./h", "g/../h", "g;x=1/./y", "g;x=1/../y", "g?y/./x", "g?y/../x", "g#s/./x",
    "g#s/../x", "http:g"};

// Bases whose paths keep dot segments or hide them behind percent-encodings.
constexpr std::string_view kDottedBases[] = {"c:./", "urn:example:a/./b", "x:%2e/y", "http://a/%2e%2e/b/"};

void write_seeds(vc_fuzz::SeedSink& sink) {
    for (std::string_view r : kRfcReferences) {
        // Each example also with its dots percent-encoded, which normalisation decodes.
        std::string encoded;
        for (char c : r) encoded += c == '.' ? std::string("%2e") : std::string(1, c);
        for (const std::string& ref : {std::string(r), encoded}) {
            sink.add(ref);
            sink.add(std::string(kExampleBase) + '\0' + ref);
            for (std::string_view base : kDottedBases) sink.add(std::string(base) + '\0' + ref);
        }
    }
    // Identifiers and references of the suite, each against the identifiers of its schema.
    vc_fuzz::for_each_suite_case([&](std::string_view, const Value& schema, const std::vector<const Value*>&) {
        std::vector<std::string> ids, refs;
        vc_fuzz::walk(schema, [&](std::string_view key, const Value& v) {
            if (!v.is_string()) return;
            if (key == "$id" || key == "id" || key == "$schema") ids.push_back(v.as_string());
            if (key == "$ref" || key == "$dynamicRef" || key == "$recursiveRef") refs.push_back(v.as_string());
        });
        for (const auto& r : refs) {
            sink.add(r);
            for (const auto& id : ids) sink.add(id + '\0' + r);
        }
        for (const auto& id : ids) sink.add(id);
    });
    auto doc = vc_fuzz::read_json_file(vc_fuzz::fs::path(vc_fuzz::testdata_dir()) / "wpt-url" / "urltestdata.json");
    if (doc && doc->is_array()) {
        for (const Value& entry : doc->as_array()) {
            const Value* input = entry.find("input");
            const Value* base = entry.find("base");
            if (!input || !input->is_string()) continue;
            if (base && base->is_string()) sink.add(base->as_string() + '\0' + input->as_string());
            else sink.add(input->as_string());
        }
    }
}

std::string show(const ref::Uri& u) { return printable(u.text()); }

void check_reference(std::string_view text, const ref::Uri& u) {
    auto again = ref::parse_uri_reference(u.text());
    if (!again || again->text() != u.text()) {
        vc_fuzz::finding("parse-round-trip", printable(text) + " does not read back as itself");
    }
    const ref::Uri once = ref::normalize_uri(u);
    const ref::Uri twice = ref::normalize_uri(once);
    if (twice.text() != once.text()) {
        vc_fuzz::finding("normalize-idempotent",
                         printable(text) + " normalises to " + show(once) + ", then to " + show(twice));
    }
    if (!ref::parse_uri_reference(once.text())) {
        vc_fuzz::finding("normalize-parses", printable(text) + " normalises to unreadable " + show(once));
    }
    const std::string path(u.path());
    const std::string dotless = ref::remove_dot_segments(path);
    if (ref::remove_dot_segments(dotless) != dotless) {
        vc_fuzz::finding("remove-dot-segments-idempotent", printable(path) + " gives " + printable(dotless) +
                                                                ", then " +
                                                                printable(ref::remove_dot_segments(dotless)));
    }
}

void check_resolution(std::string_view base_text, std::string_view text, const ref::Uri& reference) {
    auto parsed_base = ref::parse_absolute_uri(base_text);
    if (!parsed_base) return;
    const ref::Uri base = parsed_base->without_fragment();
    // The registry resolves against bases it has normalised: against "a:/./" the empty reference
    // gives "a:/./" itself, which then resolves to "a:/" as RFC 3986 says.
    const ref::Uri normal_base = ref::normalize_uri(base);

    if (auto r = ref::resolve_reference(normal_base, reference)) {
        const std::string where = " against " + show(normal_base);
        if (!ref::parse_uri_reference(r->text())) {
            vc_fuzz::finding("resolve-parses", printable(text) + where + " resolves to unreadable " + show(*r));
        }
        auto again = ref::resolve_reference(normal_base, *r);
        if (!again || again->text() != r->text()) {
            vc_fuzz::finding("resolve-idempotent", printable(text) + where + " resolves to " + show(*r) +
                                                       ", which resolves to " +
                                                       (again ? show(*again) : std::string("an error")));
        }
        check_reference(r->text(), *r);
    }

    if (auto r = ref::resolve_uri(base, text)) {
        const std::string where = " against " + show(base);
        auto again = ref::resolve_uri(base, r->text());
        if (!again || again->text() != r->text()) {
            vc_fuzz::finding("resolve-uri-idempotent", printable(text) + where + " resolves to " + show(*r) +
                                                           ", which resolves to " +
                                                           (again ? show(*again) : std::string("an error")));
        }
        const ref::Uri normal = ref::normalize_uri(*r);
        if (normal.text() != r->text()) {
            vc_fuzz::finding("resolve-uri-normalized",
                             printable(text) + where + " resolves to " + show(*r) + ", not normalised: " + show(normal));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 512, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto parts = vc_fuzz::split_nul(vc_fuzz::as_view(data, size), 2);
    std::string_view base = parts.size() > 1 ? parts[0] : kExampleBase;
    std::string_view text = parts.back();

    (void)ref::parse_uri(text);
    auto reference = ref::parse_uri_reference(text);
    if (!reference) return 0;
    check_reference(text, *reference);
    check_resolution(base, text, *reference);
    return 0;
}
