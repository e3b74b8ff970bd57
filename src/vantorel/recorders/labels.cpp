#include "vantorel/recorders/labels.hpp"

#include <roaring/roaring.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>

#include "deririrore/core/internal_error.hpp"
#include "vantorel/recorders/coverage_map.hpp"

namespace vantorel::recorders {

namespace {

roaring_bitmap_t* checked(roaring_bitmap_t* bitmap) {
    if (bitmap == nullptr) throw std::bad_alloc();
    return bitmap;
}

}  // namespace

LabelBitmap::LabelBitmap() : bitmap_(checked(roaring_bitmap_create())) {}

LabelBitmap::~LabelBitmap() {
    if (bitmap_ != nullptr) roaring_bitmap_free(bitmap_);
}

LabelBitmap::LabelBitmap(LabelBitmap&& other) noexcept : bitmap_(std::exchange(other.bitmap_, nullptr)) {}

LabelBitmap& LabelBitmap::operator=(LabelBitmap&& other) noexcept {
    if (this != &other) {
        if (bitmap_ != nullptr) roaring_bitmap_free(bitmap_);
        bitmap_ = std::exchange(other.bitmap_, nullptr);
    }
    return *this;
}

LabelBitmap::LabelBitmap(const LabelBitmap& other) : bitmap_(checked(roaring_bitmap_copy(other.bitmap_))) {}

LabelBitmap& LabelBitmap::operator=(const LabelBitmap& other) {
    if (this != &other) *this = LabelBitmap(other);
    return *this;
}

// A moved-from bitmap is only ever destroyed or assigned to; reading one is a caller's bug, so
// every reader below assumes a live bitmap.
void LabelBitmap::add_sorted(std::span<const std::uint32_t> values) {
    if (!values.empty()) roaring_bitmap_add_many(bitmap_, values.size(), values.data());
}

void LabelBitmap::add(std::uint32_t value) { roaring_bitmap_add(bitmap_, value); }

void LabelBitmap::unite(const LabelBitmap& other) { roaring_bitmap_or_inplace(bitmap_, other.bitmap_); }

bool LabelBitmap::contains(std::uint32_t value) const noexcept { return roaring_bitmap_contains(bitmap_, value); }

bool LabelBitmap::empty() const noexcept { return roaring_bitmap_is_empty(bitmap_); }

std::uint64_t LabelBitmap::cardinality() const noexcept { return roaring_bitmap_get_cardinality(bitmap_); }

std::uint64_t LabelBitmap::range_cardinality(std::uint64_t start, std::uint64_t end) const noexcept {
    if (start >= end) return 0;
    return roaring_bitmap_range_cardinality(bitmap_, start, end);
}

LabelBitmap LabelBitmap::intersect(const LabelBitmap& other) const {
    return LabelBitmap(checked(roaring_bitmap_and(bitmap_, other.bitmap_)));
}

std::vector<std::uint32_t> LabelBitmap::values() const {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(cardinality()));
    if (!out.empty()) roaring_bitmap_to_uint32_array(bitmap_, out.data());
    return out;
}

void LabelBitmap::append_portable(std::string& out) const {
    const std::size_t size = roaring_bitmap_portable_size_in_bytes(bitmap_);
    const std::size_t at = out.size();
    out.resize(at + size);
    const std::size_t written = roaring_bitmap_portable_serialize(bitmap_, out.data() + at);
    out.resize(at + written);
}

bool operator==(const LabelBitmap& a, const LabelBitmap& b) noexcept {
    return roaring_bitmap_equals(a.bitmap_, b.bitmap_);
}

namespace {

constexpr std::uint32_t kCookieNoRuns = 12346;
constexpr std::uint32_t kCookieRuns = 12347;
constexpr std::size_t kNoOffsetThreshold = 4;
constexpr std::size_t kArrayLimit = 4096;
constexpr std::size_t kBitsetBytes = 8192;

std::uint16_t read_u16(const unsigned char* p) noexcept { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t read_u32(const unsigned char* p) noexcept {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// Walks the portable layout without allocating; answers the bytes it spans, or none.
std::optional<std::size_t> check_portable_layout(std::string_view bytes, std::uint32_t& largest) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t at = 0;
    if (size < 4) return std::nullopt;
    const std::uint32_t cookie = read_u32(data);
    at = 4;
    std::size_t count = 0;
    bool runs = false;
    const unsigned char* run_flags = nullptr;
    if ((cookie & 0xffffu) == kCookieRuns) {
        runs = true;
        count = (cookie >> 16) + 1;
        const std::size_t flag_bytes = (count + 7) / 8;
        if (size - at < flag_bytes) return std::nullopt;
        run_flags = data + at;
        at += flag_bytes;
    } else if (cookie == kCookieNoRuns) {
        if (size - at < 4) return std::nullopt;
        count = read_u32(data + at);
        at += 4;
        if (count > 65536) return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (count == 0) {
        largest = 0;
        return at;
    }
    if ((size - at) / 4 < count) return std::nullopt;
    const unsigned char* header = data + at;
    at += 4 * count;
    const unsigned char* offsets = nullptr;
    if (!runs || count >= kNoOffsetThreshold) {
        if ((size - at) / 4 < count) return std::nullopt;
        offsets = data + at;
        at += 4 * count;
    }
    std::uint32_t max_value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t key = read_u16(header + 4 * i);
        const std::size_t stated = std::size_t(read_u16(header + 4 * i + 2)) + 1;
        if (i > 0 && key <= read_u16(header + 4 * (i - 1))) return std::nullopt;
        if (offsets != nullptr && read_u32(offsets + 4 * i) != at) return std::nullopt;
        const bool is_run = runs && ((run_flags[i / 8] >> (i % 8)) & 1) != 0;
        std::uint32_t high = 0;
        if (is_run) {
            if (size - at < 2) return std::nullopt;
            const std::size_t n = read_u16(data + at);
            at += 2;
            if (n == 0 || (size - at) / 4 < n) return std::nullopt;
            std::size_t cardinality = 0;
            std::uint32_t next_free = 0;
            for (std::size_t r = 0; r < n; ++r) {
                const std::uint32_t start = read_u16(data + at + 4 * r);
                const std::uint32_t length = read_u16(data + at + 4 * r + 2);
                if (r > 0 && start < next_free) return std::nullopt;
                if (start + length > 0xffffu) return std::nullopt;
                cardinality += length + 1;
                next_free = start + length + 1;
                high = start + length;
            }
            at += 4 * n;
            if (cardinality != stated) return std::nullopt;
        } else if (stated <= kArrayLimit) {
            if ((size - at) / 2 < stated) return std::nullopt;
            for (std::size_t v = 1; v < stated; ++v) {
                if (read_u16(data + at + 2 * v) <= read_u16(data + at + 2 * (v - 1))) return std::nullopt;
            }
            high = read_u16(data + at + 2 * (stated - 1));
            at += 2 * stated;
        } else {
            if (size - at < kBitsetBytes) return std::nullopt;
            std::size_t cardinality = 0;
            for (std::size_t w = 0; w < kBitsetBytes / 8; ++w) {
                std::uint64_t word = 0;
                for (int b = 7; b >= 0; --b) word = (word << 8) | data[at + 8 * w + std::size_t(b)];
                cardinality += static_cast<std::size_t>(std::popcount(word));
                if (word != 0) high = static_cast<std::uint32_t>(64 * w + 63 - std::size_t(std::countl_zero(word)));
            }
            at += kBitsetBytes;
            if (cardinality != stated) return std::nullopt;
        }
        max_value = std::max(max_value, (key << 16) | high);
    }
    largest = max_value;
    return at;
}

}  // namespace

std::optional<LabelBitmap> read_portable_bitmap(std::string_view bytes, std::uint32_t& largest) {
    std::uint32_t max_value = 0;
    const auto span = check_portable_layout(bytes, max_value);
    if (!span) return std::nullopt;
    if (roaring_bitmap_portable_deserialize_size(bytes.data(), *span) != *span) return std::nullopt;
    roaring_bitmap_t* bitmap = roaring_bitmap_portable_deserialize_safe(bytes.data(), *span);
    if (bitmap == nullptr) return std::nullopt;
    largest = max_value;
    return LabelBitmap(bitmap);
}

namespace {

constexpr std::string_view kEntryCountFits = "entry count fits in u32";

std::uint32_t state_entry_count(const zavova::CoverageHolder& holder) {
    const std::size_t n = holder.state ? holder.state->entries.size() : 0;
    if (n > std::numeric_limits<std::uint32_t>::max()) throw deririrore::InternalError(std::string(kEntryCountFits));
    return static_cast<std::uint32_t>(n);
}

void give_holder_slots(zavova::CoverageHolder& holder, std::uint64_t& next) {
    holder.label_slot_base = static_cast<std::uint32_t>(std::min<std::uint64_t>(next, zavova::kNoLabelSlot));
    next += state_entry_count(holder);
}

void give_response_slots(model::ResponseTarget& response, std::uint64_t& next) {
    response.label_slot = static_cast<std::uint32_t>(std::min<std::uint64_t>(next, zavova::kNoLabelSlot));
    ++next;
    for (auto& body : response.bodies) give_holder_slots(body.holder, next);
}

}  // namespace

void ensure_label_registry(CoverageMap& map) {
    LabelRegistry& registry = map.labels;
    if (registry.installed) return;
    std::vector<std::pair<std::size_t, http::HttpMethod>> operations;
    std::vector<model::OperationRecord*> records;
    std::size_t position = 0;
    for (auto& entry : map.routes.paths) {
        for (auto [method, record] : entry.methods) {
            operations.emplace_back(position, method);
            records.push_back(&record);
        }
        ++position;
    }
    if (operations.size() > std::numeric_limits<std::uint32_t>::max())
        throw deririrore::InternalError("operation count fits in u32");
    std::uint64_t next = operations.size();
    for (std::size_t i = 0; i < records.size(); ++i) {
        model::OperationRecord& record = *records[i];
        record.ordinal = static_cast<std::uint32_t>(i);
        for (auto& parameter : record.parameters) give_holder_slots(parameter.holder, next);
        for (auto& response : record.responses) give_response_slots(response, next);
        if (record.has_default_response) give_response_slots(record.default_response, next);
    }
    registry.slot_count = next;
    registry.event_space = next >= (std::uint64_t(1) << 31) ? std::numeric_limits<std::uint32_t>::max()
                                                            : static_cast<std::uint32_t>(2 * next);
    registry.names.clear();
    registry.bitmaps.clear();
    registry.index.clear();
    registry.operations = std::move(operations);
    registry.event_buffer.clear();
    registry.overflow = 0;
    registry.installed = true;
}

std::optional<std::uint32_t> intern_label(LabelRegistry& registry, std::string_view text) {
    if (const auto found = registry.index.find(text); found != registry.index.end()) return found->second;
    if (registry.names.size() >= kMaxLabels) {
        if (registry.overflow != std::numeric_limits<std::uint64_t>::max()) ++registry.overflow;
        return std::nullopt;
    }
    const auto id = static_cast<std::uint32_t>(registry.names.size());
    registry.names.emplace_back(text);
    registry.bitmaps.emplace_back();
    registry.index.emplace(std::string(text), id);
    return id;
}

LabelIds resolve_label_ids(CoverageMap& map, std::span<const std::string_view> texts) {
    LabelIds ids;
    for (const std::string_view text : texts) {
        ensure_label_registry(map);
        const auto id = intern_label(map.labels, text);
        if (!id) continue;
        if (std::find(ids.begin(), ids.end(), *id) == ids.end()) ids.push_back(*id);
    }
    return ids;
}

void add_label_events(LabelRegistry& registry, std::span<const std::uint32_t> ids, std::vector<std::uint32_t>& events) {
    if (!registry.bitmaps.empty() && !events.empty()) {
        std::sort(events.begin(), events.end());
        events.erase(std::unique(events.begin(), events.end()), events.end());
        for (const std::uint32_t id : ids) {
            if (id >= registry.bitmaps.size()) throw deririrore::InternalError("label ids point into the table");
            registry.bitmaps[id].add_sorted(events);
        }
    }
    events.clear();
}

namespace {

template <class Visit>
void for_each_holder(model::OperationRecord& operation, Visit&& visit) {
    for (auto& parameter : operation.parameters) visit(parameter.holder);
    for (auto& response : operation.responses) {
        for (auto& body : response.bodies) visit(body.holder);
    }
    for (auto& body : operation.default_response.bodies) visit(body.holder);
}

std::uint32_t hit_event(std::uint32_t slot) noexcept { return slot << 1; }

}  // namespace

void enable_label_events(model::OperationRecord& operation) {
    for_each_holder(operation, [](zavova::CoverageHolder& holder) { holder.events = true; });
}

void discard_label_events(model::OperationRecord& operation) noexcept {
    for_each_holder(operation, [](zavova::CoverageHolder& holder) {
        holder.events = false;
        if (!holder.state || holder.state.use_count() > 1) return;
        holder.state->events_enabled = false;
        holder.state->events.clear();
    });
}

void drain_state_events(zavova::CoverageHolder& holder, std::vector<std::uint32_t>& events) {
    holder.events = false;
    if (!holder.state || holder.state.use_count() > 1) return;
    zavova::CoverageState& state = *holder.state;
    state.events_enabled = false;
    if (holder.label_slot_base != zavova::kNoLabelSlot) {
        const std::uint32_t base = holder.label_slot_base << 1;
        for (const std::uint32_t code : state.events) events.push_back(code + base);
    }
    state.events.clear();
}

void collect_label_events(model::OperationRecord& operation, const model::ResponseTarget* response,
                          std::vector<std::uint32_t>& events) {
    if (operation.ordinal != model::kUnnumbered) events.push_back(hit_event(operation.ordinal));
    if (response != nullptr && response->label_slot != zavova::kNoLabelSlot)
        events.push_back(hit_event(response->label_slot));
    for_each_holder(operation, [&](zavova::CoverageHolder& holder) { drain_state_events(holder, events); });
}

const model::ResponseTarget* matched_response_target(const model::OperationRecord& operation, std::uint16_t status) {
    if (!operation.responses.empty()) {
        // Statuses whose hundreds do not fit a byte are never matched against declared patterns.
        if (status >= 25600) return nullptr;
        for (const auto& target : operation.responses) {
            if (target.status.matches(status)) return &target;
        }
    }
    return operation.has_default_response ? &operation.default_response : nullptr;
}

}  // namespace vantorel::recorders
