#pragma once
// The coverage map: everything built from one API document (routes, operations with their
// coverage states, base paths, problems) and what recording adds to it later (unmatched requests,
// dropped requests, labels). It lives with recording because recording is what updates it; the
// document-reading half it is built from stays in the model.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/value.hpp"
#include "vantorel/model/base_paths.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/routes.hpp"
#include "vantorel/recorders/labels.hpp"
#include "vantorel/recorders/unmatched.hpp"

namespace vantorel::recorders {

using deririrore::value::Value;

// What a map was made from, kept so that a pytest-xdist worker can build the same map again.
struct ConstructionArguments {
    std::shared_ptr<const Value> document;
    std::optional<std::string> base_path;
    std::optional<std::string> location;
};

struct CoverageMap {
    // Route table, path index (insertion order numbers the operations), fallback template lists,
    // shadowing and fragment notes, the trailing-slash flag.
    model::RouteIndex routes;
    // Further bases declared by `servers`, longer first; empty with a base path argument.
    std::vector<model::ServerBase> server_bases;
    std::vector<model::ProblemEntry> problems;  // in the order found
    std::string key_buffer;                     // scratch for unmatched-group keys
    LabelRegistry labels;
    std::optional<std::string> base_path;  // no trailing "/"; may be empty
    std::optional<std::string> location;
    // A 3.1 or 3.2 `jsonSchemaDialect` that names no known dialect, with the draft assumed.
    std::optional<std::pair<std::string, deririrore::referencing::Draft>> unknown_dialect;
    UnmatchedRequests unmatched;  // holds its own overflow counter
    std::uint64_t dropped_requests = 0;
    bool draft4_schemas = false;  // Swagger 2.0 and OpenAPI 3.0
    std::optional<ConstructionArguments> construction;
};

// An empty map reserving `capacity` path entries, the candidate normalised into `base_path`.
CoverageMap new_coverage_map(std::size_t capacity, std::optional<std::string_view> base_path,
                             std::optional<std::string_view> location);

// A member of the root object as text: a string as it stands, a number as written, else none.
std::optional<std::string_view> read_root_string(const Value& document, std::string_view name);

// Builds the map of a document. Never fails: an unusable document gives an empty map, and
// everything wrong inside a usable one is a problem entry while the rest is still built.
CoverageMap build_coverage_map(const Value& document, std::optional<std::string_view> base_path,
                               std::optional<std::string_view> location);

}  // namespace vantorel::recorders
