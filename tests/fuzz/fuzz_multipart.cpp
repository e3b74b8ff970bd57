// Multipart and form bodies: never crash; parts are views into the body, names and content types
// UTF-8; a body built from fields parses back to those fields; the form and multipart decoders
// always give an object (a form body none only past the bracket depth limit).
//
// Input: boundary NUL body, or (first byte 'F') fields separated by NUL for the round trip.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "fuzz_support.hpp"
#include "http/media_type.hpp"
#include "multipart/form_body.hpp"
#include "multipart/multipart.hpp"

namespace {

using vc_fuzz::finding;
using vc_fuzz::printable;
using vc_fuzz::Value;

const Value& schema() {
    static const Value s = std::move(deririrore::value::parse_json(R"({"type":"object","properties":{
        "n":{"type":"integer"},"list":{"type":"array","items":{"type":"integer"}},
        "x":{"type":"object","properties":{"a":{"type":"array","items":{"type":"boolean"}}}},
        "j":{"type":"object"}}})"))
                               .value();
    return s;
}

std::optional<Value> json_part(std::string_view body, const http::MediaType&) {
    auto parsed = deririrore::value::parse_json(body);
    if (!parsed) return std::nullopt;
    return std::move(parsed).value();
}

void check_parts(std::string_view body, std::string_view boundary) {
    auto parts = multipart::parse_multipart(body, boundary);
    if (!parts) return;
    for (const auto& part : *parts) {
        if (part.body.data() < body.data() || part.body.data() + part.body.size() > body.data() + body.size())
            finding("part-view", printable(body));
        if (part.name && !vc_fuzz::is_utf8(*part.name)) finding("name-utf8", printable(body));
        if (part.content_type && !vc_fuzz::is_utf8(*part.content_type)) finding("content-type-utf8", printable(body));
    }
}

// Fields written as a browser would; a value holding the delimiter cannot be written and is skipped.
void round_trip(std::string_view data) {
    const std::string boundary = "----vcBoundary7MA4YWxk";
    auto fields = vc_fuzz::split_nul(data, 64);
    std::vector<std::pair<std::string, std::string_view>> written;
    std::string body = "preamble";
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        std::string name;
        for (char c : fields[i]) {
            const auto b = static_cast<unsigned char>(c);
            if (c == '"' || c == '%' || b < 0x20 || b == 0x7F) continue;
            name.push_back(c);
        }
        if (!vc_fuzz::is_utf8(name) || fields[i + 1].find("--" + boundary) != std::string_view::npos) continue;
        body += "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
        body += fields[i + 1];
        written.emplace_back(name, fields[i + 1]);
    }
    body += "\r\n--" + boundary + "--\r\nepilogue";
    auto parts = multipart::parse_multipart(body, boundary);
    if (!parts || parts->size() != written.size()) {
        finding("round-trip-count", printable(body));
        return;
    }
    for (std::size_t i = 0; i < written.size(); ++i) {
        if ((*parts)[i].name != written[i].first || (*parts)[i].body != written[i].second)
            finding("round-trip-part", printable(body));
    }
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    using namespace std::string_literals;
    sink.add(
        "AaB03x\0--AaB03x\r\ncontent-disposition: form-data; name=\"field1\"\r\ncontent-type: text/plain;charset=UTF-8\r\n\r\nJoe owes =E2=82=AC100.\r\n--AaB03x--\r\n"s);
    sink.add(
        "B\0--B\r\nContent-Disposition: form-data; name=n\r\n\r\n1\r\n--B\r\nContent-Disposition: form-data; name=list\r\n\r\n2\r\n--B\r\nContent-Disposition: form-data; name=j\r\nContent-Type: application/json\r\n\r\n{\"a\":1}\r\n--B--"s);
    sink.add("B\0--B\r\n\r\nx: y\r\n\r\nvalue\r\n--B--"s);
    sink.add("\0n=1&list=2&list=3&x[a][0]=true&x[a][1]=no&y[b]=c%20d+e"s);
    sink.add("F\0name\0value\0a\0\r\n--\0b%22\0"s);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 4096, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = vc_fuzz::as_view(data, size);
    if (input.size() > 1 && input[0] == 'F' && input[1] == '\0') {
        round_trip(input.substr(2));
        return 0;
    }
    auto pieces = vc_fuzz::split_nul(input, 2);
    const std::string_view boundary = pieces[0];
    const std::string_view body = pieces.size() > 1 ? pieces[1] : std::string_view();
    check_parts(body, boundary);
    (void)multipart::parse_disposition_name(multipart::utf8_lossy(body));
    if (auto decoded = multipart::decode_multipart_body(body, boundary, schema(), {}, json_part)) {
        if (!decoded->is_object()) finding("multipart-object", printable(input));
    }
    auto form = multipart::decode_form_body(body, schema(), {});
    if (form && !form->is_object()) finding("form-object", printable(input));
    if (!form && body.find('[') == std::string_view::npos) finding("form-none", printable(input));
    auto plain = multipart::decode_form_body(body, Value::object(), {});
    if (!plain || !plain->is_object()) finding("form-plain", printable(input));
    return 0;
}
