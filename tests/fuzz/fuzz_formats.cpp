// The format and content checkers. Every input runs through every checker; the oracles are the
// relations between them: the fast URI scan and the full URI grammar agree where the scan decides;
// the format's URI grammar and the reference parser of the registry accept the same texts; a URI is
// a URI reference and an IRI, and an IRI an IRI reference; a date-time is a date, "T" and a time; a
// JSON pointer after "0" is a relative JSON pointer; e-mail addresses and host names are valid in
// their internationalised forms; an IPv6 address is a valid bracketed URI host; a content check
// answers as its decoder does; the number formats nest (int32 within int64 within finite).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "deririrore/formats/formats.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/value.hpp"
#include "fuzz_support.hpp"
#include "vantorel/dialect/formats.hpp"

namespace {

namespace fm = deririrore::formats;
using vc_fuzz::printable;
using vc_fuzz::Value;

void expect(bool holds, std::string_view oracle, std::string_view text, std::string_view what) {
    if (!holds) vc_fuzz::finding(oracle, std::string(what) + ": " + printable(text));
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    vc_fuzz::for_each_suite_case([&](std::string_view, const Value& schema, const std::vector<const Value*>& cases) {
        bool about_text = false;
        vc_fuzz::walk(schema, [&](std::string_view key, const Value&) {
            about_text = about_text || key == "format" || key == "contentEncoding" || key == "contentMediaType";
        });
        if (!about_text) return;
        for (const Value* c : cases) {
            if (c->is_string()) sink.add(c->as_string());
        }
    });
    namespace fs = vc_fuzz::fs;
    fs::path wpt = fs::path(vc_fuzz::testdata_dir()) / "wpt-url";
    for (const char* file : {"urltestdata.json", "toascii.json", "IdnaTestV2.json"}) {
        auto doc = vc_fuzz::read_json_file(wpt / file);
        if (!doc || !doc->is_array()) continue;
        for (const Value& entry : doc->as_array()) {
            for (const char* key : {"input", "base", "href", "output"}) {
                if (const Value* v = entry.find(key); v && v->is_string()) sink.add(v->as_string());
            }
        }
    }
    for (const char* number : {"0", "-1", "2147483647", "2147483648", "-2147483648.0", "9223372036854775807",
                               "-9223372036854775809", "1e3", "1.5", "1e400", "-0.0e-400"}) {
        sink.add(number);
    }
}

void check_uri_family(std::string_view t) {
    const bool uri = fm::check_uri(t);
    const bool uri_ref = fm::check_uri_reference(t);
    const bool iri = fm::check_iri(t);
    const bool iri_ref = fm::check_iri_reference(t);
    expect(!uri || uri_ref, "uri-within-uri-reference", t, "a uri but not a uri-reference");
    expect(!uri || iri, "uri-within-iri", t, "a uri but not an iri");
    expect(!iri || iri_ref, "iri-within-iri-reference", t, "an iri but not an iri-reference");
    expect(!uri_ref || iri_ref, "uri-reference-within-iri-reference", t, "a uri-reference but not an iri-reference");

    for (bool scheme_required : {false, true}) {
        auto scan = fm::check_uri_rfc3986(t, scheme_required);
        if (scan == fm::UriScan::Undecided) continue;
        const bool full = fm::parse_uri_reference(t, false, scheme_required);
        expect(full == (scan == fm::UriScan::Valid), "uri-scan-vs-grammar", t,
               std::string("the fast scan says ") + (scan == fm::UriScan::Valid ? "valid" : "invalid") +
                   ", the full grammar " + (full ? "valid" : "invalid") +
                   (scheme_required ? " (scheme required)" : " (reference)"));
    }

    const bool registry_ref = deririrore::referencing::parse_uri_reference(t).has_value();
    expect(registry_ref == uri_ref, "uri-format-vs-registry-parser", t,
           std::string("the uri-reference format says ") + (uri_ref ? "valid" : "invalid") +
               ", the registry's URI parser " + (registry_ref ? "reads it" : "refuses it"));
}

void check_text_formats(std::string_view t) {
    if (t.size() > 10 && (t[10] == 'T' || t[10] == 't')) {
        const bool parts = fm::check_date(t.substr(0, 10)) && fm::check_time(t.substr(11));
        expect(fm::check_date_time(t) == parts, "date-time-is-date-and-time", t,
               "date-time and its date and time parts disagree");
    }
    if (fm::check_json_pointer(t)) {
        expect(fm::check_relative_json_pointer("0" + std::string(t)), "pointer-within-relative", t,
               "a json-pointer that is not a relative one after \"0\"");
    }
    // An A-label only has to pass the label rules of a hostname; idn-hostname and idn-email add the
    // rest of UTS #46 (the bidi rule among them), so only names without one must pass both.
    auto has_a_label = [](std::string_view name) {
        return name.starts_with("xn--") || name.find(".xn--") != std::string_view::npos;
    };
    if (fm::check_email(t) && !has_a_label(t.substr(t.rfind('@') + 1))) {
        expect(fm::check_idn_email(t), "email-within-idn-email", t, "an email but not an idn-email");
    }
    if (fm::check_hostname_labels(t)) {
        expect(fm::check_legacy_hostname(t), "hostname-within-legacy", t, "a hostname that the draft 4 rules refuse");
        if (!has_a_label(t)) {
            expect(fm::check_idn_hostname(t), "hostname-within-idn-hostname", t, "a hostname but not an idn-hostname");
        }
    }
    if (fm::check_ipv6(t)) {
        expect(fm::check_uri("http://[" + std::string(t) + "]/"), "ipv6-is-uri-host", t,
               "an ipv6 address that is no URI host in brackets");
    }
    if (fm::check_ipv4(t)) expect(fm::check_legacy_hostname(t), "ipv4-is-host-name", t, "an ipv4 that is no host name");
    if (fm::check_uuid4(t)) expect(fm::check_builtin_uuid(t), "uuid4-within-uuid", t, "a uuid4 but not a uuid");

    for (const auto& enc : fm::builtin_content_encodings()) {
        const bool ok = enc.check(t);
        auto decoded = enc.decode(t);
        expect(ok == (decoded.status != fm::DecodeStatus::Undecodable), "content-check-vs-decode", t,
               std::string(enc.name) + ": the check and the decoder disagree");
        if (decoded.status == fm::DecodeStatus::Decoded) {
            expect(vc_fuzz::is_utf8(decoded.bytes), "content-decoded-utf8", t,
                   std::string(enc.name) + " decoded to text that is not UTF-8");
        }
    }
    for (const auto& media : fm::builtin_content_media_types()) (void)media.check(t);

    for (uint8_t f = 0; f <= static_cast<uint8_t>(fm::BuiltinFormat::Uuid); ++f) {
        (void)fm::check_builtin(static_cast<fm::BuiltinFormat>(f), t);
    }
    const Value as_string = Value::string(std::string(t));
    for (const auto& reg : vantorel::dialect::openapi_formats()) (void)reg.checker->check(as_string);
}

void check_number_formats(std::string_view t) {
    if (!deririrore::value::is_json_number_text(t)) return;
    const bool int32 = fm::check_int32_text(t);
    const bool int64 = fm::check_int64_text(t);
    expect(!int32 || int64, "int32-within-int64", t, "an int32 but not an int64");
    expect(!int64 || fm::check_finite_number_text(t), "int64-is-finite", t, "an int64 but not a finite double");
    const Value number = Value::number(std::string(t));
    for (const auto& reg : vantorel::dialect::openapi_formats()) (void)reg.checker->check(number);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 512, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text = vc_fuzz::as_view(data, size);
    // Format checks see JSON strings, which are always UTF-8.
    if (!vc_fuzz::is_utf8(text)) return 0;
    check_uri_family(text);
    check_text_formats(text);
    check_number_formats(text);
    return 0;
}
