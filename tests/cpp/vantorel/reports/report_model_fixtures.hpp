#pragma once
// Maps built from small documents, recorded traffic and hand-set coverage entries, for the
// tests of diagnostics, operation reports, the report model and the JSON report.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"
#include "zavova/coverage_state.hpp"

namespace {

namespace report_fixtures {

using http::HttpMethod;
using vantorel::model::OperationRecord;
using vantorel::recorders::CoverageMap;
using zavova::EntryKind;
using zavova::Polarity;

inline CoverageMap map_of_document(const std::string& text, std::optional<std::string_view> base_path = std::nullopt,
                                   std::optional<std::string_view> location = std::nullopt) {
    auto v = deririrore::value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return vantorel::recorders::build_coverage_map(v.has_value() ? std::move(v).value() : deririrore::value::Value(),
                                                   base_path, location);
}

// An OpenAPI document of the given version with these members of "paths".
inline CoverageMap map_of(std::string_view paths, std::string_view version = "3.1.0") {
    return map_of_document(R"({"openapi": ")" + std::string(version) + R"(", "paths": {)" + std::string(paths) + "}}");
}

inline OperationRecord& operation(CoverageMap& map, std::string_view route, HttpMethod method = HttpMethod::Get) {
    auto* methods = map.routes.paths.find(route);
    if (methods == nullptr) throw std::runtime_error("no path " + std::string(route));
    auto* op = vantorel::model::get_operation(*methods, method);
    if (op == nullptr) throw std::runtime_error("no operation " + std::string(route));
    return *op;
}

inline void record(CoverageMap& map, HttpMethod method, const std::string& url, std::optional<std::uint16_t> status,
                   double time = 10.0, std::optional<std::string> body = std::nullopt, float elapsed = 0.25f,
                   std::vector<std::string_view> labels = {}) {
    auto request = http::build_request_record(method, url, std::nullopt, {});
    ASSERT_TRUE(request.has_value()) << url;
    http::Interaction interaction{std::move(request).value(), std::nullopt, time};
    if (status) {
        http::ResponseRecord response;
        response.status = *status;
        response.elapsed = elapsed;
        response.body = std::move(body);
        response.headers.insert("Content-Type", "application/json");
        interaction.response = std::move(response);
    }
    vantorel::recorders::record_interaction(map, interaction, labels);
}

struct Entry {
    std::string location;
    EntryKind kind;
    std::uint64_t passed = 0;
    std::uint64_t failed = 0;
};

// Replaces a holder's state with one holding exactly these entries.
inline void set_entries(zavova::CoverageHolder& holder, const std::vector<Entry>& entries) {
    auto state = std::make_shared<zavova::CoverageState>();
    for (const Entry& e : entries) {
        state->entries.set(e.location, e.kind);
        zavova::KeywordEntry& k = *state->entries.find(e.location);
        k.passed = e.passed;
        k.failed = e.failed;
    }
    holder.state = std::move(state);
}

inline const EntryKind kRoot = EntryKind::subschema(Polarity::Both);
inline const EntryKind kBoth = EntryKind::keyword(Polarity::Both);
inline const EntryKind kValidOnly = EntryKind::keyword(Polarity::ValidOnly);
inline const EntryKind kInvalidOnly = EntryKind::keyword(Polarity::InvalidOnly);

}  // namespace report_fixtures

}  // namespace
