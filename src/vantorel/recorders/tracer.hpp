#pragma once
// The keyword-hit tracer: a decoded value (parameter, request body, response body) is traced
// through its target's compiled schema, and every keyword check the engine reports is counted on
// the coverage entry at the check's schema location. Beyond one entry per event it credits the
// items of `examples` (by equality with the value), of `enum` and of a `type` list (when the
// keyword passes), and the pass-only keywords the special index ties to a passing parent.
//
//   zavova::CoverageHolder& holder = target.holder;
//   const bool was_covered = holder.state->all_covered;
//   trace_value(holder, *target.schema, value, *target.validator, interaction.timestamp);
//   mark_covered_at(holder, was_covered, interaction.timestamp);
//
// The trace path allocates nothing per event or per keyword check: entries are found by the
// location text the event carries, values are read in place through the schema document and the
// instance, and the few texts built (item locations) reuse one buffer per thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/value/value.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::recorders {

using deririrore::core::LazyLocation;
using deririrore::core::Location;
using deririrore::core::TraceEvent;
using deririrore::core::TraceOutcome;
using deririrore::core::Validator;
using deririrore::value::Value;

// The start of the message that stops a call when an item of `examples`, `enum` or a `type` list
// has no entry of its own: the target builders and the tracer disagree.
inline constexpr std::string_view kCoverageEntryMissing = "Coverage entry missing for: ";

// The Tracer of one trace_value call: counts each event into the state.
class HitRecorder final : public deririrore::core::Tracer {
public:
    // `schema` is the measured schema document the entry locations point into; `instance` the
    // root of every instance location of the events.
    HitRecorder(zavova::CoverageState& state, const Value& schema, const Value& instance, double time);

    void call_mut(const TraceEvent& event) override { record_keyword_hit(event); }

    void record_keyword_hit(const TraceEvent& event);
    // The `ListItem` entry of the item of `list` (the enum at `keyword`) equal to the value at
    // `instance`, or (under `propertyNames`, whose events carry the object's location) of the
    // next matching name.
    void credit_enum_item(std::string_view keyword, const Value& list, std::size_t entry, const LazyLocation& instance);
    // The `ListItem` entries of the type names in `list` (the `type` at `keyword`) that the
    // value at `instance` has.
    void credit_type_items(std::string_view keyword, const Value& list, const LazyLocation& instance);

private:
    struct NameCursor {
        std::size_t entry;     // the enum keyword's entry
        const Value* object;   // the object whose names the enum judged
        std::size_t credited;  // names credited so far
    };

    struct Scratch;

    // The entry at a keyword location: first from a cache of the locations seen on this thread,
    // keyed by the text's address and confirmed by the text itself, else by the hash lookup.
    std::optional<std::size_t> find_entry(std::string_view keyword);
    // The array a passing `enum` or `type` names in the schema document, or nullptr: read once
    // per call and location (most `type`s are a single name, which needs no item credit).
    const Value* schema_list(std::string_view keyword);
    void credit_pass(std::size_t index);
    void credit_failure(std::size_t index);
    void credit_not_applicable(std::size_t index);
    void credit_special_keywords(std::size_t parent);
    void advance_covered_prefix();
    void examples_event(std::string_view keyword, const LazyLocation& instance, TraceOutcome outcome);
    // keyword + "/" + index, in the reusable buffer; stops the call when it has no entry.
    std::size_t item_entry(std::string_view keyword, std::size_t index);
    // The value an instance location names, or nullptr when the instance has none there.
    const Value* instance_at(const LazyLocation& location);

    zavova::CoverageState& state_;
    const Value& schema_;
    const Value& instance_;
    double time_;
    Scratch& scratch_;
    std::uint64_t call_;
    void* slot_ = nullptr;  // the cache slot of the event being recorded, when it has one
    std::vector<NameCursor> name_cursors_;
};

// Traces `value` into the holder's state (copied first when other holders share it): every root
// keyword runs, then the root schema location counts passed when the value is valid and failed
// otherwise. A trace that the engine cuts short (nesting or step budget exhausted on a recursive
// schema) keeps the outcomes counted until then and counts the root as failed. Answers whether
// the value was valid.
bool trace_value(zavova::CoverageHolder& holder, const Value& schema, const Value& value, const Validator& validator,
                 double time);

// Sets the holder's covered_at to `time` when its state has just become all covered (it was not
// before the caller's traces); a time once set stays.
void mark_covered_at(zavova::CoverageHolder& holder, bool was_all_covered, double time) noexcept;

}  // namespace vantorel::recorders
