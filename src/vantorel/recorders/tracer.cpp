#include "vantorel/recorders/tracer.hpp"

#include <algorithm>
#include <charconv>
#include <limits>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/keywords/type.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/cmp.hpp"

namespace vantorel::recorders {

namespace {

using deririrore::referencing::pointer_lookup;
using deririrore::value::json_values_equal;
using zavova::EntryKind;
using zavova::EntryTag;
using zavova::KeywordEntry;
using zavova::Polarity;

constexpr std::string_view kExamplesSuffix = "/examples";

bool ends_with(std::string_view text, std::string_view tail) noexcept {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

void add_one(std::uint64_t& counter) noexcept {
    if (counter != std::numeric_limits<std::uint64_t>::max()) ++counter;
}

// (index << 1) | failed in 32 bits: the index must leave room for the failed bit.
std::uint32_t event_code(std::size_t index, bool failed) {
    if (index > (std::numeric_limits<std::uint32_t>::max() >> 1)) zavova::stop_entry_count();
    return static_cast<std::uint32_t>(index << 1) | (failed ? 1u : 0u);
}

// The prefix rule: a Keyword entry by its polarity, every other kind counts as covered.
bool covered_for_prefix(const KeywordEntry& entry) noexcept {
    if (entry.kind.tag != EntryTag::Keyword) return true;
    switch (entry.kind.polarity()) {
        case Polarity::Both:
            return entry.passed > 0 && entry.failed > 0;
        case Polarity::ValidOnly:
            return entry.passed > 0;
        case Polarity::InvalidOnly:
            return entry.failed > 0;
    }
    return false;
}

// The index of the first string item of `list` equal to `name`.
const Value* first_string_item(const Value& list, std::string_view name, std::size_t& index) noexcept {
    const auto& items = list.as_array();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].is_string() && items[i].as_string() == name) {
            index = i;
            return &items[i];
        }
    }
    return nullptr;
}

constexpr std::size_t kEntryCacheBits = 10;

}  // namespace

// Reused by every call on a thread, so that building an item location or walking an instance path
// allocates only until the longest one seen. The entry cache maps the address of a keyword
// location's text to the entry index last found for it; a slot is used only when the entry at
// that index has the same text, so a stale slot (another state, a freed text) is merely a miss.
struct HitRecorder::Scratch {
    struct Slot {
        const char* text = nullptr;
        std::size_t index = 0;
        std::uint64_t call = 0;       // the call that read `list`
        const Value* list = nullptr;  // valid during that call only
    };
    std::string item_location;
    std::vector<const LazyLocation*> path;
    std::vector<Slot> entry_cache = std::vector<Slot>(std::size_t{1} << kEntryCacheBits);
    std::uint64_t calls = 0;
};

HitRecorder::HitRecorder(zavova::CoverageState& state, const Value& schema, const Value& instance, double time)
    : state_(state),
      schema_(schema),
      instance_(instance),
      time_(time),
      scratch_([]() -> Scratch& {
          static thread_local Scratch s;
          return s;
      }()),
      call_(++scratch_.calls) {}

std::optional<std::size_t> HitRecorder::find_entry(std::string_view keyword) {
    const auto address = reinterpret_cast<std::uintptr_t>(keyword.data());
    Scratch::Slot& slot = scratch_.entry_cache[(address * 0x9E3779B97F4A7C15ull) >> (64 - kEntryCacheBits)];
    const auto& entries = state_.entries;
    if (slot.text == keyword.data() && slot.index < entries.size() && entries.location(slot.index) == keyword) {
        slot_ = &slot;
        return slot.index;
    }
    slot_ = nullptr;
    const std::optional<std::size_t> found = entries.index_of(keyword);
    if (found) {
        slot = Scratch::Slot{keyword.data(), *found, 0, nullptr};
        slot_ = &slot;
    }
    return found;
}

const Value* HitRecorder::schema_list(std::string_view keyword) {
    auto* slot = static_cast<Scratch::Slot*>(slot_);
    if (slot != nullptr && slot->call == call_) return slot->list;
    const Value* list = pointer_lookup(schema_, keyword);
    if (list != nullptr && !list->is_array()) list = nullptr;
    if (slot != nullptr) {
        slot->call = call_;
        slot->list = list;
    }
    return list;
}

void HitRecorder::credit_pass(std::size_t index) {
    KeywordEntry& entry = state_.entries.entry(index);
    if (entry.passed == 0) entry.first_passed = time_;
    add_one(entry.passed);
    if (state_.events_enabled) state_.events.push_back(event_code(index, false));
}

void HitRecorder::credit_failure(std::size_t index) {
    KeywordEntry& entry = state_.entries.entry(index);
    if (entry.failed == 0) entry.first_failed = time_;
    add_one(entry.failed);
    if (state_.events_enabled) state_.events.push_back(event_code(index, true));
}

void HitRecorder::credit_not_applicable(std::size_t index) { add_one(state_.entries.entry(index).not_applicable); }

void HitRecorder::record_keyword_hit(const TraceEvent& event) {
    const std::string_view keyword = event.keyword_location.view();
    const std::optional<std::size_t> found = find_entry(keyword);
    if (!found) {
        // The items of `examples` have entries; the keyword itself has none.
        if (keyword.size() >= kExamplesSuffix.size() && ends_with(keyword, kExamplesSuffix)) {
            examples_event(keyword, event.instance_location, event.outcome);
        }
        return;
    }
    const std::size_t index = *found;
    switch (event.outcome) {
        case TraceOutcome::Passed: {
            credit_pass(index);
            const std::string_view last = keyword.substr(keyword.rfind('/') + 1);
            if (last == "enum" || last == "type") {
                if (const Value* list = schema_list(keyword)) {
                    if (last == "enum") {
                        credit_enum_item(keyword, *list, index, event.instance_location);
                    } else {
                        credit_type_items(keyword, *list, event.instance_location);
                    }
                }
            }
            credit_special_keywords(index);
            break;
        }
        case TraceOutcome::Failed:
            credit_failure(index);
            break;
        case TraceOutcome::NotApplicable:
            credit_not_applicable(index);
            break;
    }
    advance_covered_prefix();
}

void HitRecorder::examples_event(std::string_view keyword, const LazyLocation& instance, TraceOutcome outcome) {
    const Value* list = pointer_lookup(schema_, keyword);
    if (list == nullptr || !list->is_array()) return;
    const Value* value = instance_at(instance);
    const auto& items = list->as_array();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::size_t index = item_entry(keyword, i);
        if (outcome == TraceOutcome::NotApplicable) {
            credit_not_applicable(index);
        } else if (value != nullptr && json_values_equal(*value, items[i])) {
            credit_pass(index);
        } else {
            credit_failure(index);
        }
    }
}

void HitRecorder::credit_enum_item(std::string_view keyword, const Value& list, std::size_t entry,
                                   const LazyLocation& instance) {
    const Value* value = instance_at(instance);
    if (value == nullptr) return;
    const auto& items = list.as_array();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (json_values_equal(items[i], *value)) {
            credit_pass(item_entry(keyword, i));
            return;
        }
    }
    if (!value->is_object()) return;
    // Under `propertyNames` each passing name sends one event with the object's location: the
    // n-th such event of the call goes to the n-th member name that some string item equals.
    auto cursor = std::find_if(name_cursors_.begin(), name_cursors_.end(),
                               [&](const NameCursor& c) { return c.entry == entry && c.object == value; });
    if (cursor == name_cursors_.end()) {
        name_cursors_.push_back(NameCursor{entry, value, 0});
        cursor = name_cursors_.end() - 1;
    }
    std::size_t skip = cursor->credited;
    for (const auto& member : value->as_object()) {
        std::size_t item = 0;
        if (first_string_item(list, member.key, item) == nullptr) continue;
        if (skip > 0) {
            --skip;
            continue;
        }
        ++cursor->credited;
        credit_pass(item_entry(keyword, item));
        return;
    }
}

void HitRecorder::credit_type_items(std::string_view keyword, const Value& list, const LazyLocation& instance) {
    const Value* value = instance_at(instance);
    if (value == nullptr) return;
    std::string_view names[2];
    std::size_t count = 1;
    switch (value->kind()) {
        case deririrore::value::ValueKind::Null:
            names[0] = "null";
            break;
        case deririrore::value::ValueKind::Boolean:
            names[0] = "boolean";
            break;
        case deririrore::value::ValueKind::Number:
            // The engine's own integer test, so that 1.0 and integers beyond 64 bits credit
            // "integer" exactly when they pass it.
            if (deririrore::keywords::value_matches_type(*value, deririrore::value::JsonType::Integer,
                                                         state_.draft == deririrore::referencing::Draft::Draft4)) {
                names[0] = "integer";
                names[1] = "number";
                count = 2;
            } else {
                names[0] = "number";
            }
            break;
        case deririrore::value::ValueKind::String:
            names[0] = "string";
            break;
        case deririrore::value::ValueKind::Array:
            names[0] = "array";
            break;
        case deririrore::value::ValueKind::Object: {
            // A `type` under `propertyNames` judges the names, and its events carry the object.
            std::size_t unused = 0;
            names[0] = first_string_item(list, "object", unused) != nullptr ? "object" : "string";
            break;
        }
    }
    for (std::size_t n = 0; n < count; ++n) {
        std::size_t item = 0;
        if (first_string_item(list, names[n], item) != nullptr) credit_pass(item_entry(keyword, item));
    }
}

void HitRecorder::credit_special_keywords(std::size_t parent) {
    auto& index = state_.special_index;
    if (!index || index->entry_count != state_.entries.size()) index = zavova::index_special_keywords(state_.entries);
    const std::uint32_t key = zavova::checked_entry_index(parent);
    const auto& refs = index->refs;
    auto it = std::lower_bound(refs.begin(), refs.end(), key,
                               [](const zavova::SpecialKeywordRef& r, std::uint32_t p) { return r.parent < p; });
    for (; it != refs.end() && it->parent == key; ++it) {
        KeywordEntry& target = state_.entries.entry(it->entry);
        if (target.kind != EntryKind::keyword(Polarity::ValidOnly)) continue;
        // Credited at most once: the parent's passes are what count.
        if (target.passed == 0) {
            target.passed = 1;
            target.first_passed = time_;
        }
        if (state_.events_enabled) state_.events.push_back(event_code(it->entry, false));
    }
}

void HitRecorder::advance_covered_prefix() {
    if (state_.all_covered) return;
    const std::size_t count = state_.entries.size();
    std::size_t i = state_.covered_prefix;
    while (i < count && covered_for_prefix(state_.entries.entry(i))) ++i;
    if (i < count) {
        state_.covered_prefix = i;
    } else {
        state_.all_covered = true;
    }
}

std::size_t HitRecorder::item_entry(std::string_view keyword, std::size_t index) {
    std::string& location = scratch_.item_location;
    location.assign(keyword);
    location += '/';
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, index);
    location.append(digits, r.ptr);
    const std::optional<std::size_t> found = state_.entries.index_of(location);
    if (!found) throw deririrore::InternalError(std::string(kCoverageEntryMissing) + location);
    return *found;
}

const Value* HitRecorder::instance_at(const LazyLocation& location) {
    std::vector<const LazyLocation*>& path = scratch_.path;
    path.clear();
    for (const LazyLocation* at = &location; !at->is_root(); at = at->parent()) path.push_back(at);
    const Value* value = &instance_;
    char digits[24];
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const LazyLocation& segment = **it;
        if (value->is_array()) {
            std::uint64_t i = 0;
            if (segment.is_index()) {
                i = segment.index();
            } else if (auto parsed = deririrore::referencing::parse_strict_index(segment.name())) {
                i = *parsed;
            } else {
                return nullptr;
            }
            if (i >= value->size()) return nullptr;
            value = &value->as_array()[i];
        } else if (value->is_object()) {
            std::string_view name = segment.name();
            if (segment.is_index()) {
                const auto r = std::to_chars(digits, digits + sizeof digits, segment.index());
                name = std::string_view(digits, static_cast<std::size_t>(r.ptr - digits));
            }
            value = value->find(name);
            if (value == nullptr) return nullptr;
        } else {
            return nullptr;
        }
    }
    return value;
}

bool trace_value(zavova::CoverageHolder& holder, const Value& schema, const Value& value, const Validator& validator,
                 double time) {
    zavova::CoverageState& state = zavova::make_state_unique(holder);
    HitRecorder recorder(state, schema, value, time);
    const auto traced = validator.trace(value, recorder);
    const bool valid = traced.has_value() && *traced;
    const LazyLocation root;
    recorder.record_keyword_hit(TraceEvent{root, Location(), deririrore::core::outcome_of(valid)});
    return valid;
}

void mark_covered_at(zavova::CoverageHolder& holder, bool was_all_covered, double time) noexcept {
    if (was_all_covered || !holder.state || !holder.state->all_covered) return;
    if (holder.covered_at == 0.0) holder.covered_at = time;
}

}  // namespace vantorel::recorders
