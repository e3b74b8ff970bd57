#pragma once
// Labels: free texts (test names, feature tags) that test code attaches to recorded traffic. Every
// countable thing of a map gets a label slot the first time labels are used: the operations in
// map order, then per operation its parameter targets' entries, each declared response and its
// bodies' entries, and the `default` response likewise. A recording expresses what it reached as
// event values (slot << 1 | failed) and each label keeps the set of them it has seen, as a Roaring
// bitmap.
//
//   // with the map's lock held
//   const LabelIds ids = resolve_label_ids(map, texts);
//   ...record, collecting events into map.labels.event_buffer...
//   add_label_events(map.labels, ids, map.labels.event_buffer);
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "http/method.hpp"
#include "vantorel/model/method_map.hpp"
#include "zavova/coverage_state.hpp"

struct roaring_bitmap_s;

namespace vantorel::recorders {

struct CoverageMap;

// A set of 32-bit values in the Roaring format; owns its CRoaring bitmap.
class LabelBitmap {
public:
    LabelBitmap();
    ~LabelBitmap();
    LabelBitmap(LabelBitmap&& other) noexcept;
    LabelBitmap& operator=(LabelBitmap&& other) noexcept;
    LabelBitmap(const LabelBitmap& other);
    LabelBitmap& operator=(const LabelBitmap& other);

    // `values` ascending without duplicates.
    void add_sorted(std::span<const std::uint32_t> values);
    void add(std::uint32_t value);
    void unite(const LabelBitmap& other);
    bool contains(std::uint32_t value) const noexcept;
    bool empty() const noexcept;
    std::uint64_t cardinality() const noexcept;
    // Values in [start, end).
    std::uint64_t range_cardinality(std::uint64_t start, std::uint64_t end) const noexcept;
    LabelBitmap intersect(const LabelBitmap& other) const;
    std::vector<std::uint32_t> values() const;

    // The portable serialization, appended to `out`.
    void append_portable(std::string& out) const;

    friend bool operator==(const LabelBitmap& a, const LabelBitmap& b) noexcept;

private:
    explicit LabelBitmap(roaring_bitmap_s* bitmap) noexcept : bitmap_(bitmap) {}
    friend std::optional<LabelBitmap> read_portable_bitmap(std::string_view bytes, std::uint32_t& largest);
    roaring_bitmap_s* bitmap_;
};

// Reads one bitmap in the portable serialization from the start of `bytes` (bytes after it are
// ignored). The layout is checked before the bitmap library sees it: header sizes against the
// bytes there are, keys strictly ascending, every container non-empty with the cardinality its
// header states, array values strictly ascending, runs ascending, disjoint and inside their
// container, offsets (when present) where the containers really start. `largest` receives the
// largest value of the whole bitmap (0 when empty). None when anything is off.
std::optional<LabelBitmap> read_portable_bitmap(std::string_view bytes, std::uint32_t& largest);

inline constexpr std::size_t kMaxLabels = 100000;

struct TextHashLabels {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};
struct TextEqLabels {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

struct LabelRegistry {
    std::vector<std::string> names;  // index order: the order first interned
    std::vector<LabelBitmap> bitmaps;
    std::unordered_map<std::string, std::uint32_t, TextHashLabels, TextEqLabels> index;
    // Entry i: the operation with slot i, as (position in the path index, method).
    std::vector<std::pair<std::size_t, http::HttpMethod>> operations;
    std::vector<std::uint32_t> event_buffer;  // lent to each labelled recording, empty between them
    std::uint64_t overflow = 0;               // texts refused because the table was full
    std::uint64_t slot_count = 0;
    std::uint32_t event_space = 0;  // every valid event value is below it
    bool installed = false;
};

// Numbers the slots once per map; later calls do nothing. A map breaking its own invariants stops
// the call (deririrore::InternalError).
void ensure_label_registry(CoverageMap& map);

// The label's index, adding a new text with an empty bitmap; none when the table is full (the
// refusal is counted in `overflow`).
std::optional<std::uint32_t> intern_label(LabelRegistry& registry, std::string_view text);

// Distinct label indexes in first-seen order; installs the registry when there is a text.
using LabelIds = std::vector<std::uint32_t>;
LabelIds resolve_label_ids(CoverageMap& map, std::span<const std::string_view> texts);

// Adds every value of `events` to each listed label's bitmap, then empties `events` (its storage
// is kept for the next recording).
void add_label_events(LabelRegistry& registry, std::span<const std::uint32_t> ids, std::vector<std::uint32_t>& events);

// Before a labelled recording: every holder of the operation records event codes.
void enable_label_events(model::OperationRecord& operation);

// After a labelled recording: the operation's hit, the hit of the response target that took the
// response (none for an unexpected status), and every holder's event codes rebased by its slot
// base, moved into `events`; the holders' event flags are cleared.
void collect_label_events(model::OperationRecord& operation, const model::ResponseTarget* response,
                          std::vector<std::uint32_t>& events);

// Switches event recording off again for every holder of the operation and drops what was
// collected: the way out of a labelled recording that stopped before its events were taken.
void discard_label_events(model::OperationRecord& operation) noexcept;

// The event codes of one holder, rebased and moved into `events`; its event flag cleared.
void drain_state_events(zavova::CoverageHolder& holder, std::vector<std::uint32_t>& events);

// The target that a response of this status was counted against: the first declared pattern that
// matches digit by digit, else the `default` response; none for an unexpected status.
const model::ResponseTarget* matched_response_target(const model::OperationRecord& operation, std::uint16_t status);

}  // namespace vantorel::recorders
