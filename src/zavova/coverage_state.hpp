#pragma once
// The coverage of one measured schema: its counted checks (entries) keyed by the JSON pointer of
// what they count, in creation order, and the analysis findings kept beside them. A state is
// shared by the targets copied from one another and copied before the first write through a
// holder that is not its only one.
//
//   EntryMap entries;
//   ensure_keyword_entry(entries, "/type", EntryKind::keyword(Polarity::Both));
//   CoverageHolder holder = ...;                 // the builder's
//   CoverageState& mine = make_state_unique(holder);
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/cmp.hpp"
#include "zavova/analysis_records.hpp"

namespace zavova {

enum class EntryTag : std::uint8_t { Keyword = 0, ListItem = 1, Example = 2, Subschema = 3, Unmeasured = 4 };
enum class Polarity : std::uint8_t { Both = 0, ValidOnly = 1, InvalidOnly = 2 };
enum class UnmeasuredReason : std::uint8_t { InvalidPattern = 0, UntraceableMediaType = 1, Annotation = 2 };

// "invalid_pattern", "untraceable_media_type", "annotation".
std::string_view unmeasured_reason_text(UnmeasuredReason reason) noexcept;

// Two bytes: the tag and its payload (a Polarity, an UnmeasuredReason, or 0 for examples).
struct EntryKind {
    EntryTag tag = EntryTag::Keyword;
    std::uint8_t payload = 0;

    static constexpr EntryKind keyword(Polarity p) noexcept {
        return {EntryTag::Keyword, static_cast<std::uint8_t>(p)};
    }
    static constexpr EntryKind list_item(Polarity p) noexcept {
        return {EntryTag::ListItem, static_cast<std::uint8_t>(p)};
    }
    static constexpr EntryKind example() noexcept { return {EntryTag::Example, 0}; }
    static constexpr EntryKind subschema(Polarity p) noexcept {
        return {EntryTag::Subschema, static_cast<std::uint8_t>(p)};
    }
    static constexpr EntryKind unmeasured(UnmeasuredReason r) noexcept {
        return {EntryTag::Unmeasured, static_cast<std::uint8_t>(r)};
    }
    // Meaningful for Keyword, ListItem and Subschema.
    constexpr Polarity polarity() const noexcept { return static_cast<Polarity>(payload); }
    friend constexpr bool operator==(EntryKind, EntryKind) noexcept = default;
};

struct KeywordEntry {
    std::uint64_t passed = 0;
    std::uint64_t failed = 0;
    std::uint64_t not_applicable = 0;
    double first_passed = 0.0;
    double first_failed = 0.0;
    EntryKind kind;

    // A Keyword entry by its polarity; an Example once passed; every other kind always.
    bool covered() const noexcept;
};

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept;
};
struct TextEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

// Entries in insertion order with a hash index by location; an index, once given, names the same
// entry for the life of the map. The locations sit back to back in one text and the index holds
// entry numbers, so that an entry costs no allocation of its own and a copy of the map is a few
// flat copies: a large document's maps hold millions of entries.
class EntryMap {
public:
    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }
    std::string_view location(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }
    const KeywordEntry& entry(std::size_t i) const { return entries_[i]; }
    KeywordEntry& entry(std::size_t i) { return entries_[i]; }
    std::optional<std::size_t> index_of(std::string_view location) const;
    const KeywordEntry* find(std::string_view location) const;
    KeywordEntry* find(std::string_view location);

    // Appends a fresh entry; an existing location keeps its entry untouched. True when added.
    bool ensure(std::string_view location, EntryKind kind);
    // Appends a fresh entry, or resets the existing one (counters, times, kind) in place.
    void set(std::string_view location, EntryKind kind);

private:
    // A slot holds the entry number plus one (0: empty) and 32 bits of the location's hash.
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t entry = 0;
    };
    // The slot holding `location`, or the empty slot where it would go.
    std::size_t probe(std::string_view location, std::uint32_t hash) const;
    void grow();

    std::string text_;
    std::vector<std::size_t> ends_;
    std::vector<KeywordEntry> entries_;
    std::vector<Slot> slots_;  // open addressing, a power of two in size, at most half full
};

inline void ensure_keyword_entry(EntryMap& map, std::string_view location, EntryKind kind) {
    map.ensure(location, kind);
}
inline void set_keyword_entry(EntryMap& map, std::string_view location, EntryKind kind) { map.set(location, kind); }
inline std::optional<std::size_t> entry_index(const EntryMap& map, std::string_view location) {
    return map.index_of(location);
}

enum class SpecialKeywordKind : std::uint8_t {
    AdditionalProperties = 0,
    AdditionalItems = 1,
    UnevaluatedItems = 2,
    UnevaluatedProperties = 3,
    UniqueItems = 4,
    ExclusiveMaximum = 5,
    ExclusiveMinimum = 6,
    AllOf = 7,
    Properties = 8,
    PatternProperties = 9,
};

std::optional<SpecialKeywordKind> special_keyword_kind(std::string_view keyword) noexcept;

struct SpecialKeywordRef {
    std::uint32_t parent = 0;
    SpecialKeywordKind kind = SpecialKeywordKind::AdditionalProperties;
    std::uint32_t entry = 0;
    friend bool operator==(const SpecialKeywordRef&, const SpecialKeywordRef&) = default;
};

struct SpecialKeywordIndex {
    std::vector<SpecialKeywordRef> refs;  // sorted by (parent, kind), stable
    std::size_t entry_count = 0;          // valid while the map has this many entries
};

// Thrown where an entry index no longer fits the 32 bits that events and indexes hold: a broken
// invariant, stopping the call.
inline constexpr std::string_view kEntryCountFits = "entry count fits in u32";
[[noreturn]] void stop_entry_count();
std::uint32_t checked_entry_index(std::size_t index);

SpecialKeywordIndex index_special_keywords(const EntryMap& map);

struct CoverageState {
    std::optional<UnsatisfiableCause> unsatisfiable;
    EntryMap entries;
    std::vector<UnknownDialectNote> unknown_dialects;
    std::vector<std::uint32_t> events;
    std::optional<std::string> declared_dialect;
    Draft draft = Draft::Draft202012;
    std::optional<SpecialKeywordIndex> special_index;
    std::optional<AnalysisFailure> analysis_error;
    std::uint64_t covered_prefix = 0;
    bool all_covered = false;
    bool events_enabled = false;
};

inline constexpr std::uint32_t kNoLabelSlot = 0xffffffffu;

struct CoverageHolder {
    std::shared_ptr<CoverageState> state;
    std::uint64_t hits = 0;
    double covered_at = 0.0;
    std::uint32_t label_slot_base = kNoLabelSlot;
    bool events = false;
};

// Write access to the holder's state: a state that other holders share is copied first and the
// holder pointed at the copy; a state held once is written in place. The holder's events flag
// then switches event recording on (never off). Callers hold the map's lock, which is what makes
// the use count a sound test.
CoverageState& make_state_unique(CoverageHolder& holder);

}  // namespace zavova
