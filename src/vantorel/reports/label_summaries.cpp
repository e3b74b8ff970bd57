#include <algorithm>

#include "deririrore/core/internal_error.hpp"
#include "vantorel/reports/report_model.hpp"

namespace vantorel::reports {

namespace {

using recorders::LabelBitmap;

template <class Visit>
void for_each_response(const model::OperationRecord& op, Visit&& visit) {
    for (const model::ResponseTarget& response : op.responses) visit(response);
    if (op.has_default_response) visit(op.default_response);
}

// Both slots of every counted response keyword of the measured operations: the same targets the
// map-wide response-keyword total counts, so a label can never reach more than that total.
LabelBitmap measured_response_keyword_slots(const recorders::CoverageMap& map, const UnmeasuredSet& unmeasured) {
    std::vector<std::uint32_t> slots;
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            if (is_unmeasured(unmeasured, entry.route, item.method)) continue;
            for_each_response(item.record, [&](const model::ResponseTarget& response) {
                for (const model::ResponseBody& body : response.bodies) {
                    const zavova::CoverageState* state = body.holder.state.get();
                    const std::uint64_t base = body.holder.label_slot_base;
                    if (state == nullptr || base == zavova::kNoLabelSlot) continue;
                    for (std::size_t n = 0; n < state->entries.size(); ++n) {
                        const zavova::KeywordEntry& e = state->entries.entry(n);
                        const std::string_view location = state->entries.location(n);
                        if (e.kind.tag != zavova::EntryTag::Keyword || location.empty() || location == kRootReference)
                            continue;
                        const std::uint64_t id = base + n;
                        if (2 * id + 1 > 0xffffffffull) continue;
                        slots.push_back(static_cast<std::uint32_t>(2 * id));
                        slots.push_back(static_cast<std::uint32_t>(2 * id + 1));
                    }
                }
            });
        }
    }
    std::sort(slots.begin(), slots.end());
    slots.erase(std::unique(slots.begin(), slots.end()), slots.end());
    LabelBitmap set;
    set.add_sorted(slots);
    return set;
}

bool holds(const LabelBitmap& bitmap, std::uint64_t slot) {
    return slot <= 0xffffffffull && bitmap.contains(static_cast<std::uint32_t>(slot));
}

ReportSummary summarize_label_bitmap(const recorders::CoverageMap& map, const LabelBitmap& bitmap,
                                     const UnmeasuredSet& unmeasured, const ReportSummary& totals,
                                     const LabelBitmap& response_keyword_slots,
                                     const std::vector<const model::PathIndex::Entry*>& positions) {
    ReportSummary summary;
    summary.operations.total = totals.operations.total;
    summary.parameters.total = totals.parameters.total;
    summary.keywords.total = totals.keywords.total;
    summary.examples.total = totals.examples.total;
    summary.responses.total = totals.responses.total;
    summary.response_keywords.total = totals.response_keywords.total;

    const auto& operations = map.labels.operations;
    const std::uint64_t limit = 2 * static_cast<std::uint64_t>(operations.size());
    std::uint64_t last_operation = ~std::uint64_t{0};
    for (const std::uint32_t slot : bitmap.values()) {
        if (slot >= limit) break;
        const std::uint64_t number = slot / 2;
        if (number == last_operation) continue;
        last_operation = number;
        const auto [position, method] = operations[number];
        if (position >= positions.size()) throw deririrore::InternalError("operation ids point into the map");
        const model::PathIndex::Entry& entry = *positions[position];
        const model::OperationRecord* record = entry.methods.get(method);
        if (record == nullptr) throw deririrore::InternalError("operation ids point into the map");
        if (is_unmeasured(unmeasured, entry.route, method)) continue;

        for (const model::ParameterTarget& target : record->parameters) {
            const zavova::CoverageState* state = target.holder.state.get();
            const std::uint64_t base = target.holder.label_slot_base;
            if (state == nullptr || base == zavova::kNoLabelSlot) continue;
            const zavova::EntryMap& entries = state->entries;
            if (bitmap.range_cardinality(2 * base, 2 * (base + entries.size())) == 0) continue;
            std::uint64_t counted = 0;
            std::uint64_t covered = 0;
            bool root_valid = false;
            bool root_invalid = false;
            for (std::size_t n = 0; n < entries.size(); ++n) {
                const zavova::KeywordEntry& e = entries.entry(n);
                const std::string_view location = entries.location(n);
                const bool valid = holds(bitmap, 2 * (base + n));
                const bool invalid = holds(bitmap, 2 * (base + n) + 1);
                switch (e.kind.tag) {
                    case zavova::EntryTag::Keyword: {
                        if (location == kRootReference) break;
                        counted += 1;
                        const zavova::Polarity polarity = e.kind.polarity();
                        if ((valid && invalid) || (valid && polarity == zavova::Polarity::ValidOnly) ||
                            (invalid && polarity == zavova::Polarity::InvalidOnly)) {
                            covered += 1;
                            summary.keywords.covered = saturating_add(summary.keywords.covered, 1);
                        } else if (valid || invalid) {
                            summary.keywords.partial = saturating_add(summary.keywords.partial, 1);
                        }
                        break;
                    }
                    case zavova::EntryTag::Example:
                        if (valid) summary.examples.covered = saturating_add(summary.examples.covered, 1);
                        break;
                    case zavova::EntryTag::Subschema:
                        if (location.empty()) {
                            root_valid |= valid;
                            root_invalid |= invalid;
                        }
                        break;
                    default:
                        break;
                }
            }
            if (root_valid || root_invalid) {
                if (covered == counted) {
                    summary.parameters.covered = saturating_add(summary.parameters.covered, 1);
                } else {
                    summary.parameters.partial = saturating_add(summary.parameters.partial, 1);
                }
            }
        }
        for_each_response(*record, [&](const model::ResponseTarget& response) {
            if (response.label_slot != zavova::kNoLabelSlot && holds(bitmap, 2 * std::uint64_t{response.label_slot}))
                summary.responses.covered = saturating_add(summary.responses.covered, 1);
        });
        if (holds(bitmap, 2 * number)) summary.operations.covered = saturating_add(summary.operations.covered, 1);
    }

    const LabelBitmap reached = bitmap.intersect(response_keyword_slots);
    std::uint64_t last_id = ~std::uint64_t{0};
    for (const std::uint32_t slot : reached.values()) {
        if (slot / 2 != last_id) {
            last_id = slot / 2;
            summary.response_keywords.reached += 1;
        }
        if (slot % 2 == 1) summary.response_keywords.violated += 1;
    }
    settle_percents(summary);
    return summary;
}

}  // namespace

std::map<std::string, ReportSummary> summarize_labels(const recorders::CoverageMap& map,
                                                      const UnmeasuredSet& unmeasured, const ReportSummary& totals) {
    std::map<std::string, ReportSummary> labels;
    const recorders::LabelRegistry& registry = map.labels;
    if (registry.names.empty()) return labels;
    std::vector<const model::PathIndex::Entry*> positions;
    positions.reserve(map.routes.paths.size());
    for (const auto& entry : map.routes.paths) positions.push_back(&entry);
    const LabelBitmap keyword_slots = measured_response_keyword_slots(map, unmeasured);
    for (std::size_t i = 0; i < registry.names.size() && i < registry.bitmaps.size(); ++i) {
        labels.insert_or_assign(registry.names[i], summarize_label_bitmap(map, registry.bitmaps[i], unmeasured, totals,
                                                                          keyword_slots, positions));
    }
    return labels;
}

}  // namespace vantorel::reports
