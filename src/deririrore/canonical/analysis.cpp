#include "deririrore/canonical/analysis.hpp"

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/driver.hpp"
#include "deririrore/canonical/refold.hpp"

namespace deririrore::canonical {

namespace {

bool settling_can_run(const ParsedDocument& parsed) {
    const ParseTracker& t = parsed.tracker;
    if (t.reference_dependent.empty() || !t.reference_met) return false;
    if (!is_settleable(parsed.root)) return false;
    for (const auto& [name, node] : t.targets) {
        if (!is_settleable(node)) return false;
    }
    return true;
}

}  // namespace

Result<UnsatisfiableMap, CanonicalError> canonicalize_schema(const AnalysisRequest& request) {
    if (!request.scope || request.schema == nullptr) return UnsatisfiableMap{};
    CanonicalContext context = new_canonical_context(request.pattern_options, request.draft, request.format_asserts);
    set_shared_patterns(context, request.pattern_cache);
    DriverResult driven = parse_document_into_context(*request.schema, context, *request.scope, CarriedState{});
    if (driven.is_error()) return make_unexpected(std::get<CanonicalError>(std::move(driven.data)));
    if (driven.is_incomplete()) return UnsatisfiableMap{};
    ParsedDocument& parsed = std::get<ParsedDocument>(driven.data);
    ParseTracker& tracker = parsed.tracker;

    SettledCauses settled;
    if (settling_can_run(parsed)) {
        if (auto order = settle_order(parsed.root, tracker.targets)) {
            SettlingPair pair = make_settling_pair(context, tracker.targets);
            if (settle_targets(*order, pair, tracker.target_aliases)) {
                settle_schema_objects(*request.schema, tracker.reference_dependent, pair, tracker.parts_by_object,
                                      tracker.target_values, settled);
            }
        }
    }

    CauseSources sources{&tracker.reasons, &tracker.target_aliases, &tracker.targets, &parsed.root, &settled};
    const auto cause_objects = collect_cause_objects(sources);
    CausePointers pointers;
    const auto locations = find_unsatisfiable_locations(*request.schema, sources, cause_objects, pointers);
    UnsatisfiableMap map;
    for (const auto& location : locations)
        map.insert_or_assign(location.pointer, causes_of_location(location, pointers));
    return map;
}

}  // namespace deririrore::canonical
