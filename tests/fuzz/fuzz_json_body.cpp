// The JSON body decoder of recorded traffic: byte-order mark and charset detection, then the JSON
// reader. Oracles: a UTF-8 body without a mark decodes to the same value as the plain reader
// gives (or neither reads it); the same text behind a UTF-8 mark, and re-encoded as UTF-16 and
// UTF-32 of either byte order (by mark or by charset), decodes to that value again. The first byte
// picks the charset parameter that arbitrary bytes are decoded under.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "deririrore/value/json.hpp"
#include "fuzz_support.hpp"
#include "http/media_type.hpp"
#include "vantorel/recorders/json_body.hpp"

namespace {

using deririrore::value::identical;
using deririrore::value::parse_json;
using deririrore::value::to_json;
using vantorel::recorders::decode_json_body;

void write_seeds(vc_fuzz::SeedSink& sink) {
    namespace fs = vc_fuzz::fs;
    for (const auto& file : vc_fuzz::files_under(fs::path(vc_fuzz::testdata_dir()) / "json-test-suite", ".json")) {
        if (auto text = vc_fuzz::read_file(file)) sink.add(std::string(1, '\0') + *text);
    }
    for (const char* text : {"{}", "[1.0, -0, 1e400]", "\"\\ud83d\\ude00\"", "{\"a\":[1,{\"b\":null}]}"}) {
        for (char selector = 0; selector < 8; ++selector) sink.add(std::string(1, selector) + text);
    }
}

const char* const kContentTypes[] = {
    "application/json",
    "application/json; charset=utf-8",
    "application/json; charset=utf-16",
    "application/json; charset=UTF-16LE",
    "application/json; charset=utf-16be",
    "application/json; charset=utf-32",
    "application/json; charset=utf-32le",
    "application/json; charset=latin1",
};

http::MediaType media(const char* text) { return *http::parse_media_type(text); }

// UTF-8 (already checked) to UTF-16 or UTF-32 code units in the given byte order.
std::string encode(std::string_view utf8, int unit_bytes, bool big_endian) {
    std::string out;
    const auto put = [&](std::uint32_t unit) {
        for (int i = 0; i < unit_bytes; ++i) {
            const int shift = 8 * (big_endian ? unit_bytes - 1 - i : i);
            out += static_cast<char>((unit >> shift) & 0xFF);
        }
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        std::uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += static_cast<std::size_t>(n);
        if (unit_bytes == 2 && cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

void check_same(std::string_view oracle, const std::optional<deririrore::value::Value>& expected,
                const std::optional<deririrore::value::Value>& got, std::string_view input) {
    if (expected.has_value() != got.has_value() || (expected && !identical(*expected, *got))) {
        vc_fuzz::finding(oracle, std::string("expected ") + (expected ? to_json(*expected) : "none") + ", got " +
                                     (got ? to_json(*got) : "none") + " for " + vc_fuzz::printable(input));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 4096, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view body = vc_fuzz::as_view(data + 1, size - 1);
    (void)decode_json_body(body, media(kContentTypes[data[0] % 8]));

    if (!vc_fuzz::is_utf8(body) || body.starts_with("\xEF\xBB\xBF")) return 0;
    std::optional<deririrore::value::Value> plain;
    if (auto read = parse_json(body)) plain = std::move(*read);
    const http::MediaType json = media("application/json");
    const auto decoded = decode_json_body(body, json);
    check_same("utf8-vs-plain-reader", plain, decoded, body);
    check_same("utf8-mark", plain, decode_json_body("\xEF\xBB\xBF" + std::string(body), json), body);

    struct Encoding {
        const char* name;
        int unit_bytes;
        bool big_endian;
        std::string_view mark;
        const char* content_type;
    };
    using namespace std::string_view_literals;
    const Encoding encodings[] = {
        {"utf16le", 2, false, "\xFF\xFE"sv, "application/json; charset=utf-16le"},
        {"utf16be", 2, true, "\xFE\xFF"sv, "application/json; charset=utf-16"},
        {"utf32le", 4, false, "\xFF\xFE\x00\x00"sv, "application/json; charset=utf-32le"},
        {"utf32be", 4, true, "\x00\x00\xFE\xFF"sv, "application/json; charset=utf-32"},
    };
    for (const Encoding& e : encodings) {
        const std::string encoded = encode(body, e.unit_bytes, e.big_endian);
        // A UTF-16LE text that starts with U+0000 U+0000 would read as a UTF-32LE mark; skip it.
        if (!(e.unit_bytes == 2 && !e.big_endian && encoded.size() >= 2 && encoded[0] == '\0' && encoded[1] == '\0')) {
            check_same(std::string(e.name) + "-mark", plain, decode_json_body(std::string(e.mark) + encoded, json),
                       body);
        }
        // Without a mark the charset decides, unless the text itself begins like a mark.
        const http::MediaType by_charset = media(e.content_type);
        if (vantorel::recorders::detect_body_encoding(encoded, by_charset).mark_length == 0) {
            check_same(std::string(e.name) + "-charset", plain, decode_json_body(encoded, by_charset), body);
        }
    }
    return 0;
}
