// Query strings and parameter style decoders. Oracles: a query written from NUL-separated names
// and values (every byte percent-encoded) parses back to the same names and values in order; a
// list of strings serialised in every path, header, cookie and query style decodes back to the
// same list; any text through every location, mask and style gives candidates without a crash,
// and an array or object mask of a single type always gives an array or object.
#include <cstdint>
#include <string>
#include <vector>

#include "deririrore/value/cmp.hpp"
#include "fuzz_support.hpp"
#include "multipart/parameter_values.hpp"
#include "vantorel/recorders/parameter_tracing.hpp"

namespace {

using vantorel::model::ParameterLocation;
using vantorel::model::ParameterTarget;
using vc_fuzz::finding;
using vc_fuzz::printable;

std::string percent_encode_all(std::string_view bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back('%');
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
    }
    return out;
}

void check_query_round_trip(const std::vector<std::string_view>& parts) {
    std::string query;
    std::vector<std::pair<std::string, std::string>> written;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (!vc_fuzz::is_utf8(parts[i]) || !vc_fuzz::is_utf8(parts[i + 1])) return;
        if (!query.empty()) query.push_back('&');
        query += percent_encode_all(parts[i]) + "=" + percent_encode_all(parts[i + 1]);
        written.emplace_back(parts[i], parts[i + 1]);
    }
    vantorel::recorders::ParsedQuery parsed;
    vantorel::recorders::parse_query_string(parsed, query, true);
    std::vector<std::size_t> seen(parsed.params.size(), 0);
    for (const auto& [name, value] : written) {
        const auto it = parsed.index.find(name);
        if (it == parsed.index.end()) return finding("query-name-lost", printable(query));
        const auto& values = parsed.params[it->second].second;
        std::size_t& k = seen[it->second];
        if (k >= values.size() || values[k] != value) return finding("query-value-changed", printable(query));
        ++k;
    }
}

deririrore::value::Value string_items_schema() {
    return std::move(deririrore::value::parse_json(R"({"type":"array","items":{"type":"string"}})")).value();
}

bool holds_any(std::string_view s, std::string_view bytes) { return s.find_first_of(bytes) != std::string_view::npos; }

std::string join(const std::vector<std::string_view>& items, std::string_view sep, std::string_view prefix = "") {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += sep;
        out += prefix;
        out += items[i];
    }
    return out;
}

void check_style_round_trip(const std::vector<std::string_view>& items) {
    if (items.empty()) return;
    for (std::string_view item : items)
        if (!vc_fuzz::is_utf8(item) || holds_any(item, ",;.=| ")) return;
    static const deririrore::value::Value schema = string_items_schema();
    multipart::DecodeSpec spec;
    spec.types = 32;
    deririrore::value::Value expected = deririrore::value::Value::array();
    for (std::string_view item : items) expected.push_back(deririrore::value::Value::string(std::string(item)));
    const bool lone_empty = items.size() == 1 && items.front().empty();
    const auto check = [&](std::string_view oracle, std::string_view text, const deririrore::value::Value& got) {
        if (!deririrore::value::json_values_equal(got, expected))
            finding(oracle, printable(text) + " gave " + deririrore::value::to_json(got));
    };
    using multipart::PathStyle;
    const std::string simple = join(items, ",");
    check("path-simple", simple,
          multipart::decode_path_value(simple, spec, {PathStyle::Simple, false}, schema, schema));
    if (!lone_empty) {
        const std::string label = "." + join(items, ",");
        check("path-label", label,
              multipart::decode_path_value(label, spec, {PathStyle::Label, false}, schema, schema));
        const std::string label_exploded = "." + join(items, ".");
        check("path-label-explode", label_exploded,
              multipart::decode_path_value(label_exploded, spec, {PathStyle::Label, true}, schema, schema));
    }
    const std::string matrix = ";n=" + join(items, ",");
    check("path-matrix", matrix,
          multipart::decode_path_value(matrix, spec, {PathStyle::Matrix, false}, schema, schema));
    const std::string matrix_exploded = join(items, ";", ";n=");
    check("path-matrix-explode", matrix_exploded,
          multipart::decode_path_value(matrix_exploded, spec, {PathStyle::Matrix, true}, schema, schema));
    check("header", simple, multipart::decode_header_value(simple, spec, false, schema, schema));
    check("cookie", simple, multipart::decode_cookie_value(simple, spec, false, schema, schema));
    const std::string space = join(items, " "), pipe = join(items, "|");
    check("query-form", simple,
          multipart::decode_query_value(simple, spec, {multipart::QueryStyle::Form, false}, schema, schema));
    check("query-space", space,
          multipart::decode_query_value(space, spec, {multipart::QueryStyle::SpaceDelimited, false}, schema, schema));
    check("query-pipe", pipe,
          multipart::decode_query_value(pipe, spec, {multipart::QueryStyle::PipeDelimited, false}, schema, schema));
}

void check_candidates(std::string_view text, std::uint8_t selector) {
    static const auto schema = std::make_shared<const deririrore::value::Value>(
        std::move(
            deririrore::value::parse_json(
                R"({"type":"object","properties":{"a":{"type":"array","items":{"type":"integer"}},"b":{"$ref":"#"}},"additionalProperties":{"type":"number"},"items":{"type":"boolean"}})"))
            .value());
    ParameterTarget target;
    target.name = "a";
    target.schema = schema;
    const std::uint8_t masks[] = {32, 64, 4 | 16, 1 | 2 | 8, 127, 32 | 64 | 16};
    target.types = masks[selector % 6];
    target.explode = (selector / 6) % 2 != 0;
    const ParameterLocation locations[] = {ParameterLocation::Path, ParameterLocation::Query, ParameterLocation::Header,
                                           ParameterLocation::Cookie};
    target.location = locations[(selector / 12) % 4];
    target.style = static_cast<std::uint8_t>((selector / 48) % (target.location == ParameterLocation::Path ? 3 : 4));
    http::HeaderMap headers;
    const bool header_safe = text.find_first_of("\r\n") == std::string_view::npos;
    if (header_safe) {
        headers.insert("a", std::string(text));
        headers.insert("cookie", "a=" + std::string(text));
    }
    auto request = http::build_request_record(http::HttpMethod::Get, "http://h/", std::nullopt, std::move(headers));
    if (!request) return;
    vantorel::recorders::ParsedQuery query;
    vantorel::recorders::parse_query_string(query, text, true);
    const vantorel::model::SegmentCaptures path{{"a", text}};
    const auto out = vantorel::recorders::parameter_candidates(path, *request, query, target, nullptr);
    if (!out || target.location == ParameterLocation::Query || !header_safe) return;
    if (out->empty()) return finding("no-candidate", printable(text));
    if (target.types == 32 && !out->front().is_array() && target.location != ParameterLocation::Cookie)
        finding("array-mask-not-array", printable(text));
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    using namespace std::string_literals;
    sink.add(
        "C\x01"
        "color=blue,black,brown&color[R]=100&R=100&id.0=1&id.1=2"s);
    sink.add(
        "C\x33"
        ";color=R,100,G,200,B,150"s);
    sink.add(
        "Q\0a\0"
        "1\0a\0"
        "2\0\0x"s);
    sink.add("S\0blue\0black\0brown"s);
    sink.add(
        "C\x07"
        "a.b.c.d=1&a[b][c]=2&a=%FF+x"s);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 2048, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = vc_fuzz::as_view(data, size);
    if (input.size() < 2) return 0;
    const std::string_view rest = input.substr(2);
    switch (input[0]) {
        case 'Q':
            check_query_round_trip(vc_fuzz::split_nul(rest, 64));
            break;
        case 'S':
            check_style_round_trip(vc_fuzz::split_nul(rest, 64));
            break;
        default:
            check_candidates(rest, static_cast<std::uint8_t>(input[1]));
            break;
    }
    return 0;
}
