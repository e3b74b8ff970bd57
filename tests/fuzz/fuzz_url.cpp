// Request URL parser. The input is a URL, or a base and a URL separated by a NUL byte. Oracles:
// the href of a parsed URL (alone or against the base) parses to the same href, with the same
// parts; a parsed host parses to itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "http/url.hpp"

namespace {

using vc_fuzz::printable;
using vc_fuzz::Value;

using namespace std::string_view_literals;

void write_seeds(vc_fuzz::SeedSink& sink) {
    for (std::string_view s : {"http://h/a/./b/../c?q#f"sv, "https://u:p@[::1]:8443/%2e%2E/x"sv, "http://0x7f.1/"sv,
                               "http://B\xC3\xBC"
                               "cher.de/\xFF"sv,
                               "http:\\\\h\\a"sv, "http://h/b\0../p?x"sv}) {
        sink.add(s);
    }
    auto doc = vc_fuzz::read_json_file(vc_fuzz::fs::path(vc_fuzz::testdata_dir()) / "wpt-url" / "urltestdata.json");
    if (!doc || !doc->is_array()) return;
    for (const Value& entry : doc->as_array()) {
        const Value* input = entry.find("input");
        const Value* base = entry.find("base");
        if (input == nullptr || !input->is_string()) continue;
        if (base != nullptr && base->is_string()) {
            sink.add(base->as_string() + '\0' + input->as_string());
        } else {
            sink.add(input->as_string());
        }
    }
}

std::string parts_of(const http::Url& u) {
    std::string s;
    for (std::string_view p : {u.scheme(), u.username(), u.password(), u.host(), u.host_and_port(), u.path()}) {
        s += p;
        s += '\x01';
    }
    s += u.query() ? "?" + std::string(*u.query()) : "-";
    s += u.fragment() ? "#" + std::string(*u.fragment()) : "-";
    return s;
}

void check_url(std::string_view input, const http::Url& url) {
    const std::string& href = url.href();
    if (url.path().empty() || url.path().front() != '/') {
        vc_fuzz::finding("path-absolute", printable(input) + " has path " + printable(url.path()));
    }
    if (url.host().empty()) vc_fuzz::finding("host-present", printable(input) + " gives " + printable(href));
    auto again = http::parse_url(href);
    if (!again) {
        vc_fuzz::finding("href-parses", printable(input) + " gives " + printable(href) +
                                            ", which fails: " + std::string(http::url_error_text(again.error())));
        return;
    }
    if (again->href() != href || parts_of(*again) != parts_of(url)) {
        vc_fuzz::finding("href-round-trip",
                         printable(input) + " gives " + printable(href) + ", then " + printable(again->href()));
    }
    auto host = http::parse_url_host(url.host());
    if (!host || *host != url.host()) {
        vc_fuzz::finding("host-round-trip", printable(input) + " has host " + printable(url.host()) + ", which reads " +
                                                (host ? printable(*host) : std::string("as an error")));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 512, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto parts = vc_fuzz::split_nul(vc_fuzz::as_view(data, size), 2);
    const std::string_view text = parts.back();
    auto url = http::parse_url(text);
    if (url) check_url(text, *url);
    if (parts.size() < 2) return 0;
    auto base = http::parse_url(parts[0]);
    if (!base) return 0;
    auto relative = http::parse_url(text, &*base);
    if (relative) check_url(text, *relative);
    return 0;
}
