// Maps and hand-set coverage shared by the report tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "deririrore/value/json.hpp"
#include "http/interaction.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "zavova/coverage_state.hpp"

namespace report_fixtures {

// A map of an OpenAPI 3.1 document holding these members of `paths`.
inline vantorel::recorders::CoverageMap map_of(std::string_view paths) {
    const std::string text = R"({"openapi": "3.1.0", "paths": {)" + std::string(paths) + "}}";
    auto v = deririrore::value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return vantorel::recorders::build_coverage_map(v.has_value() ? std::move(v).value() : deririrore::value::Value(),
                                                   std::nullopt, std::nullopt);
}

inline vantorel::model::OperationRecord& operation(vantorel::recorders::CoverageMap& map, std::string_view route,
                                                   http::HttpMethod method = http::HttpMethod::Get) {
    auto* methods = map.routes.paths.find(route);
    if (methods == nullptr) throw std::runtime_error("no path " + std::string(route));
    auto* op = vantorel::model::get_operation(*methods, method);
    if (op == nullptr) throw std::runtime_error("no operation " + std::string(route));
    return *op;
}

// Reached (the schema's root passed) with no counted keyword left incomplete.
inline void cover(vantorel::model::ParameterTarget& target) {
    auto state = std::make_shared<zavova::CoverageState>();
    state->entries.set("", zavova::EntryKind::subschema(zavova::Polarity::Both));
    state->entries.find("")->passed = 1;
    target.holder.hits = 1;
    target.holder.state = std::move(state);
}

// Reached, its own keyword checks left as they are; the state is copied because built targets share theirs.
inline void reach(vantorel::model::ParameterTarget& target) {
    auto state = target.holder.state ? std::make_shared<zavova::CoverageState>(*target.holder.state)
                                     : std::make_shared<zavova::CoverageState>();
    if (state->entries.find("") == nullptr) {
        state->entries.set("", zavova::EntryKind::subschema(zavova::Polarity::Both));
    }
    state->entries.find("")->passed = 1;
    target.holder.hits = 1;
    target.holder.state = std::move(state);
}

}  // namespace report_fixtures
