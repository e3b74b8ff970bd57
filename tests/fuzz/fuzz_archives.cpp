// Readers of saved traffic (HAR, VCR cassettes, Postman collections): never crash or hang on any
// JSON document; what they accept is a list of exchanges with a known method, an http or https URL
// and a status within 100..999; what they refuse is named with the format's message.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "deririrore/value/json.hpp"
#include "fuzz_support.hpp"
#include "http/archives.hpp"

namespace {

using vc_fuzz::finding;
using vc_fuzz::printable;

void check(http::ArchiveFormat format, const deririrore::value::Value& document, std::string_view text) {
    const auto read = http::read_archive(format, document, 1000.0);
    if (!read) {
        const std::string message = read.error().message();
        const std::string prefix = "Invalid " + std::string(http::archive_format_name(format));
        if (!message.starts_with(prefix)) finding("error-message", message);
        return;
    }
    for (const http::Interaction& interaction : read->interactions) {
        if (interaction.request.method == http::HttpMethod::None) return finding("no-method", printable(text));
        const std::string_view scheme = interaction.request.url.scheme();
        if (scheme != "http" && scheme != "https") return finding("scheme", printable(text));
        if (interaction.response && (interaction.response->status < 100 || interaction.response->status > 999))
            return finding("status", printable(text));
    }
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    sink.add(R"(H{"log": {"entries": [{"startedDateTime": "2026-12-11T06:30:00.5+01:00", "time": 3,
        "request": {"method": "POST", "url": "http://h/a?b=1", "headers": [{"name": "A", "value": "1"}],
        "postData": {"text": "{}"}}, "response": {"status": 200, "headers": [],
        "content": {"text": "e30=", "encoding": "base64"}}}]}})");
    sink.add(R"(V{"version": 1, "interactions": [{"request": {"method": "GET", "uri": "https://h/x",
        "body": null, "headers": {"Accept": ["*/*"]}}, "response": {"status": {"code": 200, "message": "OK"},
        "headers": {"Content-Type": ["application/json"]}, "body": {"string": "[]"}}}]})");
    sink.add(R"(P{"info": {"schema": "https://schema.getpostman.com/json/collection/v2.1.0/collection.json"},
        "variable": [{"key": "b", "value": "http://h"}], "item": [{"item": [{"request": {"method": "PUT",
        "url": {"protocol": "http", "host": ["h"], "path": ["a", "1"], "query": [{"key": "q", "value": "1"}]},
        "header": [{"key": "A", "value": "{{b}}"}], "body": {"mode": "urlencoded", "urlencoded":
        [{"key": "a b", "value": "c"}]}}, "response": [{"code": 204, "header": [], "body": null,
        "originalRequest": "{{b}}/a"}]}]}]})");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 4096, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = vc_fuzz::as_view(data, size);
    if (input.empty()) return 0;
    const auto document = deririrore::value::parse_json(input.substr(1));
    if (!document) return 0;
    switch (input[0]) {
        case 'H':
            check(http::ArchiveFormat::Har, *document, input);
            break;
        case 'V':
            check(http::ArchiveFormat::Vcr, *document, input);
            break;
        case 'P':
            check(http::ArchiveFormat::Postman, *document, input);
            break;
        default:
            check(http::ArchiveFormat::Har, *document, input);
            check(http::ArchiveFormat::Vcr, *document, input);
            check(http::ArchiveFormat::Postman, *document, input);
            break;
    }
    return 0;
}
