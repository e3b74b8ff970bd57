#pragma once
// A batch of recorded exchanges imported for one documented operation named by the caller: every
// exchange counts for that operation whatever its URL, and the URL only serves to find path
// parameter values. On request the import lists which keyword checks each exchange moved.
//
//   // with the map's lock held
//   std::vector<ImportEvent> events = import_interactions(map, HttpMethod::Get, "/items/{id}", batch, true);
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "http/interaction.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::recorders {

// One counter that grew: "vantorel|schema|GET|/items|query|limit|/minimum" (parameters) or
// "vantorel|response|GET|/items|2XX|application/json|/type" (responses); outcome 0 passed,
// 1 failed, 2 not applicable.
struct ImportEvent {
    std::string name;
    std::uint8_t outcome = 0;
    friend bool operator==(const ImportEvent&, const ImportEvent&) = default;
};

// "valid", "invalid", "skipped".
std::string_view import_outcome_name(std::uint8_t outcome) noexcept;

// Imports the batch in order. An undocumented path or method files every exchange as unmatched
// under the documented path (never the request path) and gives no events. Without `events` the
// result is always empty. With labels, each label's set gains what the batch reached: the
// operation once, the response each exchange's status selected, and every check moved.
std::vector<ImportEvent> import_interactions(CoverageMap& map, http::HttpMethod method, std::string_view path,
                                             std::span<const http::Interaction> interactions, bool events,
                                             std::span<const std::string_view> labels = {});

// The counters of every entry of a state, taken before it is traced.
struct CounterSnapshot {
    std::uint64_t passed = 0;
    std::uint64_t failed = 0;
    std::uint64_t not_applicable = 0;
};

std::vector<CounterSnapshot> snapshot_counters(const zavova::CoverageHolder& holder);

// Appends one event per counter that grew since the snapshot, entry by entry (as far as the shorter
// of the two reaches): passed, then failed, then not applicable. `fields` are the five name fields
// before the entry's schema location.
void build_import_events(const zavova::CoverageHolder& holder, std::span<const CounterSnapshot> snapshot,
                         std::span<const std::string_view, 5> fields, std::vector<ImportEvent>& out);

}  // namespace vantorel::recorders
