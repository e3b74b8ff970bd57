// The counts reader: bytes another process exported, merged into a map of a fixed document.
// Oracles: a refused input leaves the map's export exactly as it was; an accepted one, exported
// again, is the canonical form of what was merged: merging that export into a fresh map succeeds
// and exports the same bytes again, and merging it twice doubles the map's operation hits.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "fuzz_support.hpp"
#include "vantorel/recorders/counts.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"

namespace {

using vantorel::recorders::CoverageMap;
using vantorel::recorders::export_counts_writer;
using vantorel::recorders::merge_counts;

constexpr std::string_view kDocument = R"({"openapi": "3.1.0", "paths": {
    "/items": {"get": {"parameters": [{"name": "n", "in": "query", "schema": {"type": "integer", "minimum": 1}}],
                       "responses": {"200": {"description": "ok", "content": {"application/json": {
                           "schema": {"type": "object", "properties": {"id": {"type": "integer"}},
                                      "additionalProperties": false}}}}}},
               "post": {"requestBody": {"content": {"application/json": {"schema": {"type": "array",
                            "items": {"enum": ["a", "b"]}}}}},
                        "responses": {"default": {"description": "any"}}}},
    "/items/{id}": {"delete": {"parameters": [{"name": "id", "in": "path", "required": true,
                                               "schema": {"type": "string", "maxLength": 3}}],
                               "responses": {"204": {"description": "gone"}}}}}})";

CoverageMap fresh_map() {
    static const deririrore::value::Value document = *deririrore::value::parse_json(kDocument);
    return vantorel::recorders::build_coverage_map(document, std::nullopt, std::nullopt);
}

std::uint64_t total_hits(const CoverageMap& map) {
    std::uint64_t sum = 0;
    for (const auto& path : map.routes.paths) {
        for (const auto entry : path.methods) sum += entry.record.hits;
    }
    return sum;
}

void record(CoverageMap& map, http::HttpMethod method, std::string url, std::optional<std::string> body,
            std::uint16_t status, std::string response_body, double time, std::vector<std::string_view> labels) {
    http::HeaderMap headers;
    if (body) headers.insert("Content-Type", "application/json");
    auto request = http::build_request_record(method, std::move(url), std::move(body), std::move(headers));
    if (!request) return;
    http::Interaction interaction{std::move(*request), std::nullopt, time};
    http::ResponseRecord response;
    response.status = status;
    response.elapsed = 0.125f;
    response.body = std::move(response_body);
    response.headers.insert("Content-Type", "application/json");
    interaction.response = std::move(response);
    vantorel::recorders::record_interaction(map, interaction, labels);
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    using http::HttpMethod;
    CoverageMap map = fresh_map();
    sink.add(export_counts_writer(map));
    record(map, HttpMethod::Get, "http://h/items?n=3", std::nullopt, 200, R"({"id": 1})", 10, {"a"});
    sink.add(export_counts_writer(map));
    record(map, HttpMethod::Get, "http://h/items?n=0", std::nullopt, 200, R"({"id": 1, "x": 2})", 11, {"b", "a"});
    record(map, HttpMethod::Post, "http://h/items", R"(["a", "c"])", 500, "", 12, {"c"});
    record(map, HttpMethod::Delete, "http://h/items/abcd", std::nullopt, 418, "", 13, {});
    record(map, HttpMethod::Put, "http://h/items", std::nullopt, 405, "", 14, {"d"});
    record(map, HttpMethod::Get, "http://other/unknown/path", std::nullopt, 404, "", 15, {});
    map.routes.paths.find("/items")->get(HttpMethod::Get)->errors.insert("an error text");
    map.dropped_requests = 7;
    sink.add(export_counts_writer(map));
    for (int i = 0; i < 300; ++i) {
        const std::string label = "label-" + std::to_string(i);
        record(map, HttpMethod::Get, "http://h/items?n=" + std::to_string(i), std::nullopt, 200, "{}", 20 + i, {label});
    }
    sink.add(export_counts_writer(map));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 16384, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = vc_fuzz::as_view(data, size);
    CoverageMap map = fresh_map();
    const std::string before = export_counts_writer(map);
    if (merge_counts(map, input)) {
        if (export_counts_writer(map) != before)
            vc_fuzz::finding("refused-input-changed-the-map", vc_fuzz::printable(input));
        return 0;
    }
    const std::string canonical = export_counts_writer(map);
    CoverageMap again = fresh_map();
    if (merge_counts(again, canonical)) {
        vc_fuzz::finding("own-export-refused", vc_fuzz::printable(canonical));
        return 0;
    }
    if (export_counts_writer(again) != canonical) vc_fuzz::finding("export-not-stable", vc_fuzz::printable(input));
    const std::uint64_t hits = total_hits(again);
    if (hits < (std::uint64_t(1) << 62) && !merge_counts(again, canonical) && total_hits(again) != 2 * hits)
        vc_fuzz::finding("merge-not-additive", vc_fuzz::printable(input));
    return 0;
}
