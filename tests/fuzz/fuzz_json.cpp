// The JSON reader and writer. Oracles: a text the reader accepts is written and read back to the
// identical value, and writing that value again gives the same text; the reader and the JSON-text
// syntax check (the "application/json" content check) accept the same texts, but for nesting
// beyond the reader's limit; the one-pass reader and the diagnosing reader accept the same texts,
// as the identical value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "deririrore/formats/content.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/json_internal.hpp"
#include "fuzz_support.hpp"

namespace {

using deririrore::value::identical;
using deririrore::value::parse_json;
using deririrore::value::to_json;

void write_seeds(vc_fuzz::SeedSink& sink) {
    namespace fs = vc_fuzz::fs;
    fs::path data(vc_fuzz::testdata_dir());
    for (const char* dir : {"json-test-suite", "metaschemas", "json-schema-test-suite/remotes",
                            "json-schema-test-suite/tests", "openapi/oai-examples"}) {
        for (const auto& file : vc_fuzz::files_under(data / dir, ".json")) {
            if (auto text = vc_fuzz::read_file(file)) sink.add(*text);
        }
    }
    for (const char* text : {"{}", "[]", "null", "0", "-0.0e+0", "\"\\ud83d\\ude00\"", "{\"a\":[1,{\"b\":null}]}"}) {
        sink.add(text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 8192, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text = vc_fuzz::as_view(data, size);
    auto read = parse_json(text);
    {
        const auto quick = deririrore::value::read_well_formed_json(text, deririrore::value::kDefaultMaxJsonDepth);
        const auto diagnosed = deririrore::value::read_json_diagnosed(text, deririrore::value::kDefaultMaxJsonDepth);
        if (quick.has_value() != diagnosed.has_value()) {
            vc_fuzz::finding("one-pass-vs-diagnosing", std::string(quick ? "only the one-pass reader accepts: "
                                                                         : "only the diagnosing reader accepts: ") +
                                                           vc_fuzz::printable(text));
        } else if (quick && !identical(*quick, *diagnosed)) {
            vc_fuzz::finding("one-pass-vs-diagnosing", "read as " + vc_fuzz::printable(to_json(*quick)) + " and as " +
                                                           vc_fuzz::printable(to_json(*diagnosed)) + ": " +
                                                           vc_fuzz::printable(text));
        }
    }
    const bool syntax = deririrore::formats::check_json_media_type(text);
    // The syntax check reads texts that came out of JSON strings, always UTF-8; the reader also
    // guards bytes from files.
    if (read.has_value() != syntax && vc_fuzz::is_utf8(text)) {
        const bool too_deep = !read && read.error().message.starts_with("JSON nesting is deeper");
        if (!too_deep) {
            vc_fuzz::finding("reader-vs-syntax-check",
                             std::string("reader ") + (read ? "accepts" : "refuses (" + read.error().message + ")") +
                                 ", syntax check " + (syntax ? "accepts" : "refuses") + ": " + vc_fuzz::printable(text) +
                                 (read ? " read as " + vc_fuzz::printable(to_json(*read)) : std::string()));
        }
    }
    if (!read) return 0;

    const std::string written = to_json(*read);
    auto again = parse_json(written);
    if (!again) {
        vc_fuzz::finding("write-read-back", "written text does not read back (" + again.error().message +
                                                "): " + vc_fuzz::printable(written));
        return 0;
    }
    if (!identical(*read, *again)) {
        vc_fuzz::finding("write-read-back", "value changed: " + vc_fuzz::printable(written) + " reads as " +
                                                vc_fuzz::printable(to_json(*again)));
    }
    if (to_json(*again) != written) {
        vc_fuzz::finding("write-read-back", "second writing differs: " + vc_fuzz::printable(written) + " then " +
                                                vc_fuzz::printable(to_json(*again)));
    }
    return 0;
}
