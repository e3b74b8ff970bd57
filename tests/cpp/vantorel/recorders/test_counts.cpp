#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/counts.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"

namespace {

using http::HttpMethod;
using vantorel::recorders::append_varint;
using vantorel::recorders::ByteReader;
using vantorel::recorders::counter_slot_count;
using vantorel::recorders::CoverageMap;
using vantorel::recorders::export_counts_writer;
using vantorel::recorders::merge_counts;
using vantorel::recorders::MergeError;
using vantorel::recorders::read_varint;

// Two operations: GET /items with a query parameter and a 200 JSON body, POST /items with a JSON
// request body whose object has additionalProperties false, and a `default` response.
constexpr std::string_view kDocument = R"({"openapi": "3.1.0", "paths": {"/items": {
    "get": {"parameters": [{"name": "n", "in": "query", "schema": {"type": "integer", "minimum": 1}}],
            "responses": {"200": {"description": "ok",
                "content": {"application/json": {"schema": {"type": "object",
                    "properties": {"id": {"type": "integer"}}}}}}}},
    "post": {"requestBody": {"content": {"application/json": {"schema": {"type": "object",
                "properties": {"name": {"type": "string"}}, "additionalProperties": false}}}},
             "responses": {"default": {"description": "any"}}}}}})";

constexpr std::string_view kOtherDocument = R"({"openapi": "3.1.0", "paths": {"/items": {
    "get": {"parameters": [{"name": "n", "in": "query", "schema": {"type": "integer"}}],
            "responses": {"200": {"description": "ok"}}}}}})";

CoverageMap map_of(std::string_view text) {
    auto document = deririrore::value::parse_json(text);
    EXPECT_TRUE(document.has_value());
    return vantorel::recorders::build_coverage_map(document.has_value() ? *document : deririrore::value::Value(),
                                                   std::nullopt, std::nullopt);
}

http::Interaction exchange(HttpMethod method, std::string url, std::optional<std::string> request_body,
                           std::uint16_t status, std::string body, double time) {
    http::HeaderMap headers;
    if (request_body) headers.insert("Content-Type", "application/json");
    auto request = http::build_request_record(method, std::move(url), std::move(request_body), std::move(headers));
    EXPECT_TRUE(request.has_value());
    http::Interaction out{std::move(request).value(), std::nullopt, time};
    http::ResponseRecord response;
    response.status = status;
    response.elapsed = 0.25f;
    response.body = std::move(body);
    response.headers.insert("Content-Type", "application/json");
    out.response = std::move(response);
    return out;
}

// Traffic that touches every section of the export: counters, an unexpected status, an error
// message, labels and unmatched requests.
CoverageMap recorded_map() {
    CoverageMap map = map_of(kDocument);
    using L = std::vector<std::string_view>;
    const auto record = [&](const http::Interaction& i, L labels) {
        vantorel::recorders::record_interaction(map, i, labels);
    };
    record(exchange(HttpMethod::Get, "http://h/items?n=3", std::nullopt, 200, R"({"id": 1})", 50.0), L{"t1"});
    record(exchange(HttpMethod::Get, "http://h/items?n=0", std::nullopt, 200, R"({"id": "x"})", 40.0), L{"t2"});
    record(exchange(HttpMethod::Get, "http://h/items?n=2", std::nullopt, 503, "", 45.0), L{});
    record(exchange(HttpMethod::Post, "http://h/items", R"({"name": "a"})", 201, "", 60.0), L{"t1", "t3"});
    record(exchange(HttpMethod::Post, "http://h/items", R"({"name": "a", "x": 1})", 400, "", 61.0), L{});
    record(exchange(HttpMethod::Get, "http://h/nothing", std::nullopt, 404, "", 30.0), L{"t3"});
    record(exchange(HttpMethod::Delete, "http://h/items", std::nullopt, 405, "", 31.0), L{});
    auto* methods = map.routes.paths.find("/items");
    methods->get(HttpMethod::Get)->errors.insert("second message");
    methods->get(HttpMethod::Get)->errors.insert("first message");
    map.dropped_requests = 2;
    return map;
}

std::string fresh_export_bytes(std::uint64_t slots) {
    std::string out("\x01", 1);
    append_varint(out, slots);
    out += std::string(6, '\0');  // no pairs, no extras, no labels, no unmatched groups
    return out;
}

TEST(CountsExport, AFreshMapWritesOnlyItsSlotCount) {
    const CoverageMap map = map_of(kDocument);
    const std::uint64_t slots = counter_slot_count(map);
    EXPECT_GT(slots, 20u);
    EXPECT_EQ(export_counts_writer(map), fresh_export_bytes(slots));
}

TEST(CountsExport, OnlyTheLastSlotSetGivesOnePairAtItsIndex) {
    CoverageMap map = map_of(kDocument);
    map.dropped_requests = 3;
    const std::uint64_t slots = counter_slot_count(map);
    std::string expected("\x01", 1);
    append_varint(expected, slots);
    append_varint(expected, 1);
    append_varint(expected, slots - 1);
    append_varint(expected, 3);
    expected += std::string(5, '\0');
    EXPECT_EQ(export_counts_writer(map), expected);
}

TEST(CountsMerge, IntoAFreshMapReproducesTheExportAndTwiceDoublesEveryCounter) {
    const CoverageMap source = recorded_map();
    const std::string bytes = export_counts_writer(source);

    CoverageMap once = map_of(kDocument);
    ASSERT_EQ(merge_counts(once, bytes), std::nullopt);
    EXPECT_EQ(export_counts_writer(once), bytes);

    CoverageMap twice = map_of(kDocument);
    ASSERT_EQ(merge_counts(twice, bytes), std::nullopt);
    ASSERT_EQ(merge_counts(twice, bytes), std::nullopt);
    auto* a = source.routes.paths.find("/items");
    auto* b = twice.routes.paths.find("/items");
    for (const HttpMethod method : {HttpMethod::Get, HttpMethod::Post}) {
        const auto& from = *a->get(method);
        const auto& to = *b->get(method);
        EXPECT_EQ(to.hits, 2 * from.hits);
        EXPECT_EQ(to.first_seen, from.first_seen);
        ASSERT_EQ(to.parameters.size(), from.parameters.size());
        for (std::size_t p = 0; p < from.parameters.size(); ++p) {
            const auto& x = from.parameters[p].holder;
            const auto& y = to.parameters[p].holder;
            EXPECT_EQ(y.hits, 2 * x.hits);
            for (std::size_t e = 0; e < x.state->entries.size(); ++e) {
                const auto& ex = x.state->entries.entry(e);
                const auto& ey = y.state->entries.entry(e);
                SCOPED_TRACE(x.state->entries.location(e));
                EXPECT_EQ(ey.passed, 2 * ex.passed);
                EXPECT_EQ(ey.failed, 2 * ex.failed);
                EXPECT_EQ(ey.not_applicable, 2 * ex.not_applicable);
                EXPECT_EQ(ey.first_passed, ex.first_passed);
                EXPECT_EQ(ey.first_failed, ex.first_failed);
            }
        }
        EXPECT_EQ(to.unexpected_responses.size(), from.unexpected_responses.size());
        for (std::size_t u = 0; u < from.unexpected_responses.size(); ++u) {
            EXPECT_EQ(to.unexpected_responses[u].hits, 2 * from.unexpected_responses[u].hits);
            EXPECT_EQ(to.unexpected_responses[u].elapsed_total, 2 * from.unexpected_responses[u].elapsed_total);
        }
        EXPECT_EQ(to.errors, from.errors);
    }
    EXPECT_EQ(b->get(HttpMethod::Get)->responses[0].hits, 2 * a->get(HttpMethod::Get)->responses[0].hits);
    EXPECT_EQ(b->get(HttpMethod::Post)->default_response.hits, 2 * a->get(HttpMethod::Post)->default_response.hits);
    EXPECT_EQ(twice.dropped_requests, 4u);
    ASSERT_EQ(twice.unmatched.size(), source.unmatched.size());
    for (const auto& group : source.unmatched.groups()) {
        const auto* merged = twice.unmatched.find(group.method, group.host, group.path);
        ASSERT_NE(merged, nullptr) << group.path;
        EXPECT_EQ(merged->count, 2 * group.count);
        EXPECT_EQ(merged->first_seen, group.first_seen);
    }
    EXPECT_EQ(twice.labels.names, source.labels.names);
    for (std::size_t i = 0; i < source.labels.names.size(); ++i) {
        EXPECT_EQ(twice.labels.bitmaps[i], source.labels.bitmaps[i]) << source.labels.names[i];
    }
}

TEST(CountsMerge, AddsToWhatTheMapAlreadyHolds) {
    CoverageMap target = recorded_map();
    const std::string before = export_counts_writer(target);
    const CoverageMap other = recorded_map();
    ASSERT_EQ(merge_counts(target, export_counts_writer(other)), std::nullopt);
    auto* items = target.routes.paths.find("/items");
    EXPECT_EQ(items->get(HttpMethod::Get)->hits, 6u);
    EXPECT_EQ(items->get(HttpMethod::Get)->unexpected_responses.size(), 1u);
    EXPECT_EQ(items->get(HttpMethod::Get)->unexpected_responses[0].hits, 2u);
    EXPECT_NE(export_counts_writer(target), before);
}

TEST(CountsMerge, RefusesMalformedInputAndLeavesTheMapUnchanged) {
    const std::string valid = export_counts_writer(recorded_map());
    std::string repeated_slot("\x01", 1);
    append_varint(repeated_slot, counter_slot_count(map_of(kDocument)));
    repeated_slot += std::string("\x02\x00\x01\x00\x01", 5);  // slot 0 twice
    repeated_slot += std::string("\x00\x00\x00\x00\x00\x00", 6);
    std::string nan_time("\x01", 1);
    append_varint(nan_time, counter_slot_count(map_of(kDocument)));
    append_varint(nan_time, 1);
    append_varint(nan_time, 1);  // the first operation's first-seen time
    append_varint(nan_time, std::bit_cast<std::uint64_t>(std::numeric_limits<double>::quiet_NaN()));
    nan_time += std::string("\x00\x00\x00\x00\x00\x00", 6);
    std::string negative_time = nan_time;
    {
        negative_time = std::string("\x01", 1);
        append_varint(negative_time, counter_slot_count(map_of(kDocument)));
        append_varint(negative_time, 1);
        append_varint(negative_time, 1);
        append_varint(negative_time, std::bit_cast<std::uint64_t>(-5.0));
        negative_time += std::string("\x00\x00\x00\x00\x00\x00", 6);
    }

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"version 2", "\x02" + valid.substr(1)},
        {"one byte appended", valid + '\x00'},
        {"a repeated slot", repeated_slot},
        {"a NaN time", nan_time},
        {"a negative time", negative_time},
        {"more labels than a table holds",
         [] {
             std::string s = fresh_export_bytes(counter_slot_count(map_of(kDocument)));
             s.resize(s.size() - 4);
             append_varint(s, 0);
             append_varint(s, vantorel::recorders::kMaxLabels + 1);
             std::string empty;
             vantorel::recorders::LabelBitmap().append_portable(empty);
             for (std::size_t i = 0; i <= vantorel::recorders::kMaxLabels; ++i) {
                 const std::string name = "l" + std::to_string(i);
                 append_varint(s, name.size());
                 s += name;
                 append_varint(s, empty.size());
                 s += empty;
             }
             s += std::string(2, '\0');
             return s;
         }()},
        {"more unmatched groups than a table keeps",
         [] {
             std::string s = fresh_export_bytes(counter_slot_count(map_of(kDocument)));
             s.resize(s.size() - 2);
             append_varint(s, 0);
             append_varint(s, vantorel::recorders::kMaxUnmatchedGroups + 1);
             for (std::size_t i = 0; i <= vantorel::recorders::kMaxUnmatchedGroups; ++i) {
                 const std::string path = "/p" + std::to_string(i);
                 s += std::string("\x01\x01h", 3);
                 append_varint(s, path.size());
                 s += path;
                 s += std::string("\x00\x01\x00", 3);  // reason, count 1, no time
             }
             return s;
         }()},
        {"a huge count of pairs with nothing behind it",
         [] {
             std::string s("\x01\x05", 2);
             append_varint(s, std::numeric_limits<std::uint64_t>::max());
             return s;
         }()},
    };
    for (const auto& c : cases) {
        CoverageMap map = recorded_map();
        const std::string before = export_counts_writer(map);
        EXPECT_EQ(merge_counts(map, c.bytes), MergeError::Malformed) << c.name;
        EXPECT_EQ(export_counts_writer(map), before) << c.name;
    }
    // Every strict prefix of a valid export is cut inside some field.
    for (std::size_t n = 0; n < valid.size(); ++n) {
        CoverageMap map = map_of(kDocument);
        EXPECT_EQ(merge_counts(map, std::string_view(valid).substr(0, n)), MergeError::Malformed) << n;
    }
}

TEST(CountsMerge, RefusesCountsOfAnotherDocumentEvenWhenTheyDecode) {
    CoverageMap other = map_of(kOtherDocument);
    other.dropped_requests = 1;
    CoverageMap map = recorded_map();
    const std::string before = export_counts_writer(map);
    EXPECT_EQ(merge_counts(map, export_counts_writer(other)), MergeError::DifferentSpecification);
    EXPECT_EQ(export_counts_writer(map), before);

    // A label bitmap naming a slot this map does not have.
    CoverageMap small = map_of(kDocument);
    std::string bytes = fresh_export_bytes(counter_slot_count(small));
    bytes.resize(bytes.size() - 4);  // keep the extras count; rewrite labels and unmatched
    vantorel::recorders::LabelBitmap far;
    far.add(1000000);
    std::string portable;
    far.append_portable(portable);
    bytes += std::string("\x00\x01\x01z", 4);
    append_varint(bytes, portable.size());
    bytes += portable;
    bytes += std::string("\x00\x00", 2);
    EXPECT_EQ(merge_counts(small, bytes), MergeError::DifferentSpecification);
    EXPECT_TRUE(small.labels.names.empty());
}

TEST(CountsMerge, SaturatesAndKeepsTheEarliestKnownTime) {
    CoverageMap map = map_of(kDocument);
    auto& get = *map.routes.paths.find("/items")->get(HttpMethod::Get);
    get.hits = 5;
    get.responses[0].hits = 4294967290u;

    CoverageMap source = map_of(kDocument);
    auto& from = *source.routes.paths.find("/items")->get(HttpMethod::Get);
    from.hits = std::numeric_limits<std::uint64_t>::max();
    from.responses[0].hits = 100;
    ASSERT_EQ(merge_counts(map, export_counts_writer(source)), std::nullopt);
    EXPECT_EQ(get.hits, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(get.responses[0].hits, 4294967295u);

    const struct {
        double current, incoming, expected;
    } times[] = {{0.0, 7.5, 7.5}, {7.5, 3.0, 3.0}, {3.0, 7.5, 3.0}, {7.5, 0.0, 7.5}};
    for (const auto& t : times) {
        CoverageMap into = map_of(kDocument);
        into.routes.paths.find("/items")->get(HttpMethod::Get)->first_seen = t.current;
        CoverageMap out = map_of(kDocument);
        out.routes.paths.find("/items")->get(HttpMethod::Get)->first_seen = t.incoming;
        ASSERT_EQ(merge_counts(into, export_counts_writer(out)), std::nullopt);
        EXPECT_EQ(into.routes.paths.find("/items")->get(HttpMethod::Get)->first_seen, t.expected)
            << t.current << " " << t.incoming;
    }
}

TEST(CountsMerge, RecomputesCoverageOfAMergedState) {
    CoverageMap source = map_of(kDocument);
    auto& body = source.routes.paths.find("/items")->get(HttpMethod::Post)->parameters[0].holder;
    zavova::CoverageState& state = zavova::make_state_unique(body);
    body.hits = 1;
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        auto& e = state.entries.entry(i);
        e.passed = 2;
        e.failed = 1;
        e.first_passed = 4.0;
        e.first_failed = 3.0;
    }
    CoverageMap map = map_of(kDocument);
    ASSERT_EQ(merge_counts(map, export_counts_writer(source)), std::nullopt);
    const auto& merged = map.routes.paths.find("/items")->get(HttpMethod::Post)->parameters[0].holder;
    EXPECT_TRUE(merged.state->all_covered);
    EXPECT_EQ(merged.covered_at, 4.0);
    const auto additional = merged.state->entries.index_of("/additionalProperties");
    ASSERT_TRUE(additional.has_value());
    EXPECT_EQ(merged.state->entries.entry(*additional).passed, 2u) << "merging adds, it never clamps";
    // The state was shared by nobody else; the map's other targets stay untouched.
    EXPECT_EQ(map.routes.paths.find("/items")->get(HttpMethod::Get)->parameters[0].holder.hits, 0u);
}

TEST(CountsVarint, ReadsTheTenByteLimitExactly) {
    const struct {
        std::string bytes;
        std::optional<std::uint64_t> value;
    } cases[] = {
        {std::string("\x00", 1), 0},
        {"\x7f", 127},
        {"\x80\x01", 128},
        {"\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01", std::numeric_limits<std::uint64_t>::max()},
        {std::string("\xff\xff\xff\xff\xff\xff\xff\xff\xff\x00", 10), std::numeric_limits<std::uint64_t>::max() >> 1},
        {"\xff\xff\xff\xff\xff\xff\xff\xff\xff\x03", (std::numeric_limits<std::uint64_t>::max())},
        {"\xff\xff\xff\xff\xff\xff\xff\xff\xff\x81", std::nullopt},
        {"\x80", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        ByteReader reader{c.bytes};
        EXPECT_EQ(read_varint(reader), c.value) << c.bytes.size();
    }
    for (const std::uint64_t value : {0ull, 1ull, 300ull, 1ull << 35, ~0ull}) {
        std::string out;
        append_varint(out, value);
        ByteReader reader{out};
        EXPECT_EQ(read_varint(reader), value);
        EXPECT_EQ(reader.remaining(), 0u);
    }
}

}  // namespace
