#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/labels.hpp"
#include "vantorel/recorders/record.hpp"

namespace {

using http::HttpMethod;
using vantorel::recorders::build_coverage_map;
using vantorel::recorders::CoverageMap;
using vantorel::recorders::ensure_label_registry;
using vantorel::recorders::intern_label;
using vantorel::recorders::LabelBitmap;
using vantorel::recorders::read_portable_bitmap;

CoverageMap labels_map(std::string_view text) {
    auto document = deririrore::value::parse_json(text);
    EXPECT_TRUE(document.has_value()) << text;
    return build_coverage_map(document.has_value() ? *document : deririrore::value::Value(), std::nullopt,
                              std::nullopt);
}

vantorel::model::OperationRecord& only_operation(CoverageMap& map, std::string_view route,
                                                 HttpMethod method = HttpMethod::Get) {
    auto* methods = map.routes.paths.find(route);
    if (methods == nullptr || methods->get(method) == nullptr) throw std::runtime_error("no operation");
    return *methods->get(method);
}

// One GET with a query parameter of three entries (root, type, minimum) and one 200 response
// whose JSON body has two (root, type).
constexpr std::string_view kOneOperation = R"({"openapi": "3.1.0", "paths": {"/items": {"get": {
    "parameters": [{"name": "n", "in": "query", "schema": {"type": "integer", "minimum": 1}}],
    "responses": {"200": {"description": "ok",
        "content": {"application/json": {"schema": {"type": "string"}}}}}}}}})";

http::Interaction exchange(std::string url, std::uint16_t status, std::string body, double time = 10.0) {
    auto request = http::build_request_record(HttpMethod::Get, std::move(url), std::nullopt, {});
    EXPECT_TRUE(request.has_value());
    http::Interaction out{std::move(request).value(), std::nullopt, time};
    http::ResponseRecord response;
    response.status = status;
    response.body = std::move(body);
    response.headers.insert("Content-Type", "application/json");
    out.response = std::move(response);
    return out;
}

void record(CoverageMap& map, const http::Interaction& interaction, std::vector<std::string_view> labels) {
    vantorel::recorders::record_interaction(map, interaction, labels);
}

std::vector<std::uint32_t> label_values(const CoverageMap& map, std::string_view label) {
    for (std::size_t i = 0; i < map.labels.names.size(); ++i) {
        if (map.labels.names[i] == label) return map.labels.bitmaps[i].values();
    }
    ADD_FAILURE() << "no label " << label;
    return {};
}

TEST(LabelSlots, NumberOperationsThenTargetsInMapOrder) {
    CoverageMap map = labels_map(kOneOperation);
    auto& op = only_operation(map, "/items");
    ASSERT_EQ(op.parameters.size(), 1u);
    ASSERT_EQ(op.parameters[0].holder.state->entries.size(), 3u);
    ASSERT_EQ(op.responses.size(), 1u);
    ASSERT_EQ(op.responses[0].bodies.size(), 1u);
    ASSERT_EQ(op.responses[0].bodies[0].holder.state->entries.size(), 2u);
    EXPECT_FALSE(map.labels.installed);

    ensure_label_registry(map);
    EXPECT_TRUE(map.labels.installed);
    EXPECT_EQ(op.ordinal, 0u);
    EXPECT_EQ(op.parameters[0].holder.label_slot_base, 1u);
    EXPECT_EQ(op.responses[0].label_slot, 4u);
    EXPECT_EQ(op.responses[0].bodies[0].holder.label_slot_base, 5u);
    EXPECT_EQ(map.labels.event_space, 14u);
    ASSERT_EQ(map.labels.operations.size(), 1u);
    EXPECT_EQ(map.labels.operations[0], std::make_pair(std::size_t{0}, HttpMethod::Get));

    // A second call keeps the numbering and the table.
    ASSERT_TRUE(intern_label(map.labels, "kept").has_value());
    ensure_label_registry(map);
    EXPECT_EQ(op.responses[0].bodies[0].holder.label_slot_base, 5u);
    EXPECT_EQ(map.labels.names, std::vector<std::string>{"kept"});
}

TEST(LabelSlots, DefaultResponseFollowsTheParameterEntriesAndOperationsComeFirst) {
    CoverageMap map = labels_map(R"({"openapi": "3.1.0", "paths": {
        "/a": {"get": {"parameters": [{"name": "q", "in": "query", "schema": {"type": "string"}}],
                       "responses": {"default": {"description": "any"}}},
               "post": {"responses": {"201": {"description": "made"}}}},
        "/b": {"get": {"responses": {"200": {"description": "ok"}}}}}})");
    ensure_label_registry(map);
    auto& get_a = only_operation(map, "/a");
    auto& post_a = only_operation(map, "/a", HttpMethod::Post);
    auto& get_b = only_operation(map, "/b");
    EXPECT_EQ(get_a.ordinal, 0u);
    EXPECT_EQ(post_a.ordinal, 1u);
    EXPECT_EQ(get_b.ordinal, 2u);
    const std::size_t entries = get_a.parameters[0].holder.state->entries.size();
    EXPECT_EQ(get_a.parameters[0].holder.label_slot_base, 3u);
    EXPECT_EQ(get_a.default_response.label_slot, 3u + entries);
    EXPECT_EQ(post_a.responses[0].label_slot, 4u + entries);
    EXPECT_EQ(get_b.responses[0].label_slot, 5u + entries);
    EXPECT_EQ(map.labels.event_space, 2 * (6u + entries));
}

TEST(LabelTable, RefusesTextsBeyondTheCapAndStillFindsKnownOnes) {
    vantorel::recorders::LabelRegistry registry;
    for (std::size_t i = 0; i < vantorel::recorders::kMaxLabels; ++i) {
        ASSERT_EQ(intern_label(registry, "label-" + std::to_string(i)), std::optional<std::uint32_t>(i));
    }
    EXPECT_EQ(intern_label(registry, "one too many"), std::nullopt);
    EXPECT_EQ(registry.overflow, 1u);
    EXPECT_EQ(intern_label(registry, "label-7"), std::optional<std::uint32_t>(7));
    EXPECT_EQ(registry.overflow, 1u);
}

TEST(LabelRecording, KeepsEachReachedOutcomeOncePerLabel) {
    CoverageMap map = labels_map(kOneOperation);
    record(map, exchange("http://h/items?n=5", 200, "\"x\""), {"a"});
    record(map, exchange("http://h/items?n=5", 200, "\"x\""), {"a", "b", "a"});
    // The operation (0), the parameter's root, type and minimum passing (slots 1-3), the
    // response (4), the body's root and type passing (5, 6): each once.
    const std::vector<std::uint32_t> expected = {0, 2, 4, 6, 8, 10, 12};
    EXPECT_EQ(label_values(map, "a"), expected);
    EXPECT_EQ(label_values(map, "b"), expected);
    EXPECT_EQ(map.labels.names, (std::vector<std::string>{"a", "b"}));

    // A failing value adds the failed side of the entries it failed.
    record(map, exchange("http://h/items?n=0", 200, "5"), {"c"});
    const auto c = label_values(map, "c");
    EXPECT_NE(std::find(c.begin(), c.end(), 2 * 1 + 1), c.end()) << "root failed";
    EXPECT_NE(std::find(c.begin(), c.end(), 2 * 3 + 1), c.end()) << "minimum failed";
    EXPECT_NE(std::find(c.begin(), c.end(), 2 * 6 + 1), c.end()) << "body type failed";
    EXPECT_EQ(std::find(c.begin(), c.end(), 2 * 3), c.end()) << "minimum never passed for c";
}

TEST(LabelRecording, UnlabelledTrafficLeavesBitmapsAndEventListsAlone) {
    CoverageMap map = labels_map(kOneOperation);
    record(map, exchange("http://h/items?n=5", 200, "\"x\""), {"a"});
    const auto before = label_values(map, "a");
    record(map, exchange("http://h/items?n=0", 200, "5"), {});
    EXPECT_EQ(label_values(map, "a"), before);
    auto& op = only_operation(map, "/items");
    EXPECT_FALSE(op.parameters[0].holder.events);
    EXPECT_TRUE(op.parameters[0].holder.state->events.empty());
    EXPECT_FALSE(op.parameters[0].holder.state->events_enabled);
    EXPECT_TRUE(map.labels.event_buffer.empty());
}

TEST(LabelRecording, AnUnexpectedStatusReachesNoResponseAndUnmatchedTrafficStillInternsTheLabel) {
    CoverageMap map = labels_map(kOneOperation);
    record(map, exchange("http://h/items?n=5", 404, ""), {"a"});
    const auto a = label_values(map, "a");
    EXPECT_EQ(std::find(a.begin(), a.end(), 8u), a.end());
    EXPECT_NE(std::find(a.begin(), a.end(), 0u), a.end());
    record(map, exchange("http://h/nowhere", 200, ""), {"lost"});
    EXPECT_TRUE(label_values(map, "lost").empty());
}

std::string portable(const std::vector<std::uint32_t>& values) {
    LabelBitmap bitmap;
    bitmap.add_sorted(values);
    std::string out;
    bitmap.append_portable(out);
    return out;
}

void put16(std::string& s, std::uint16_t v) {
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>(v >> 8);
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, static_cast<std::uint16_t>(v & 0xffff));
    put16(s, static_cast<std::uint16_t>(v >> 16));
}

// A serialization without run containers, built by hand: (key, values) per container.
std::string no_run_layout(const std::vector<std::pair<std::uint16_t, std::vector<std::uint16_t>>>& containers,
                          bool offsets_right = true) {
    std::string s;
    put32(s, 12346);
    put32(s, static_cast<std::uint32_t>(containers.size()));
    for (const auto& [key, values] : containers) {
        put16(s, key);
        put16(s, static_cast<std::uint16_t>(values.size() - 1));
    }
    std::uint32_t at = static_cast<std::uint32_t>(s.size() + 4 * containers.size());
    for (const auto& [key, values] : containers) {
        put32(s, offsets_right ? at : at + 2);
        at += static_cast<std::uint32_t>(2 * values.size());
    }
    for (const auto& [key, values] : containers) {
        for (const auto v : values) put16(s, v);
    }
    return s;
}

// One run container: (start, length - 1) pairs, with the header's cardinality.
std::string run_layout(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& runs, std::uint16_t cardinality) {
    std::string s;
    put32(s, 12347);  // one container
    s += '\x01';      // it is a run container
    put16(s, 0);
    put16(s, static_cast<std::uint16_t>(cardinality - 1));
    put16(s, static_cast<std::uint16_t>(runs.size()));
    for (const auto& [start, length] : runs) {
        put16(s, start);
        put16(s, length);
    }
    return s;
}

TEST(PortableBitmap, ReadsWhatItWritesAndReportsTheLargestValue) {
    const std::vector<std::vector<std::uint32_t>> cases = {
        {},
        {0},
        {1, 2, 3, 70000, 4000000000u},
        [] {
            std::vector<std::uint32_t> dense;  // a bitmap container, then a run after optimising
            for (std::uint32_t v = 0; v < 10000; v += 2) dense.push_back(v);
            return dense;
        }(),
    };
    for (const auto& values : cases) {
        const std::string bytes = portable(values) + "trailing";
        std::uint32_t largest = 12345;
        const auto bitmap = read_portable_bitmap(bytes, largest);
        ASSERT_TRUE(bitmap.has_value()) << values.size();
        EXPECT_EQ(bitmap->values(), values);
        EXPECT_EQ(largest, values.empty() ? 0u : values.back());
    }
    std::uint32_t largest = 0;
    const auto runs = read_portable_bitmap(run_layout({{10, 4}, {100, 0}}, 6), largest);
    ASSERT_TRUE(runs.has_value());
    EXPECT_EQ(runs->values(), (std::vector<std::uint32_t>{10, 11, 12, 13, 14, 100}));
    EXPECT_EQ(largest, 100u);
}

TEST(PortableBitmap, RefusesLayoutsThatBreakTheFormat) {
    std::string bitset_wrong_count;
    put32(bitset_wrong_count, 12346);
    put32(bitset_wrong_count, 1);
    put16(bitset_wrong_count, 0);
    put16(bitset_wrong_count, 4999);  // states 5000 values
    put32(bitset_wrong_count, 16);
    bitset_wrong_count += std::string(8192, '\xff');  // holds 65536

    const std::string valid = portable({1, 2, 3});
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"unknown cookie", std::string("\x01\x02\x03\x04", 4)},
        {"truncated", valid.substr(0, valid.size() - 1)},
        {"container count beyond the key space",
         [] {
             std::string s;
             put32(s, 12346);
             put32(s, 70000);
             return s;
         }()},
        {"array values not ascending", no_run_layout({{0, {5, 3}}})},
        {"array value repeated", no_run_layout({{0, {5, 5}}})},
        {"keys not ascending", no_run_layout({{2, {1}}, {1, {1}}})},
        {"offsets that point elsewhere", no_run_layout({{0, {1}}}, false)},
        {"bitset whose count differs from its header", bitset_wrong_count},
        {"runs overlapping", run_layout({{10, 5}, {12, 0}}, 7)},
        {"run past the container", run_layout({{65530, 10}}, 11)},
        {"run count differing from the header", run_layout({{10, 4}}, 4)},
        {"run container without runs", run_layout({}, 1)},
    };
    for (const auto& c : cases) {
        std::uint32_t largest = 0;
        EXPECT_FALSE(read_portable_bitmap(c.bytes, largest).has_value()) << c.name;
    }
}

TEST(PortableBitmap, LargestValueComesFromEveryContainer) {
    // Only a hostile writer puts a smaller key last; the layout check refuses it, so the largest
    // value can never hide in an earlier container.
    std::uint32_t largest = 0;
    EXPECT_FALSE(read_portable_bitmap(no_run_layout({{3, {7}}, {1, {9}}}), largest).has_value());
    ASSERT_TRUE(read_portable_bitmap(no_run_layout({{1, {9}}, {3, {7}}}), largest).has_value());
    EXPECT_EQ(largest, (3u << 16) | 7u);
}

}  // namespace
