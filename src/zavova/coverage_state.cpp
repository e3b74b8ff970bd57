#include "zavova/coverage_state.hpp"

#include <algorithm>
#include <limits>

#include "deririrore/core/internal_error.hpp"

namespace zavova {

std::string_view unmeasured_reason_text(UnmeasuredReason reason) noexcept {
    switch (reason) {
        case UnmeasuredReason::InvalidPattern:
            return "invalid_pattern";
        case UnmeasuredReason::UntraceableMediaType:
            return "untraceable_media_type";
        case UnmeasuredReason::Annotation:
            return "annotation";
    }
    return "";
}

bool KeywordEntry::covered() const noexcept {
    switch (kind.tag) {
        case EntryTag::Keyword:
            switch (kind.polarity()) {
                case Polarity::Both:
                    return passed > 0 && failed > 0;
                case Polarity::ValidOnly:
                    return passed > 0;
                case Polarity::InvalidOnly:
                    return failed > 0;
            }
            return false;
        case EntryTag::Example:
            return passed > 0;
        default:
            return true;
    }
}

std::uint64_t location_hash(std::string_view text) noexcept {
    // The process seeds are drawn once, so that a document cannot be written to collide here.
    deririrore::value::Hasher h(deririrore::value::process_hash_seeds());
    h.write_bytes(text);
    return h.finish();
}

std::size_t TextHash::operator()(std::string_view s) const noexcept {
    return static_cast<std::size_t>(location_hash(s));
}

namespace {

template <typename Slot, typename HashOf>
void grow_slots(std::vector<Slot>& slots, std::size_t count, HashOf hash_of) {
    if (!slots.empty() && count * 2 < slots.size()) return;
    std::vector<Slot> grown(slots.empty() ? 16 : slots.size() * 2, Slot{});
    const std::size_t mask = grown.size() - 1;
    for (const Slot& slot : slots) {
        if (slot == Slot{}) continue;
        std::size_t i = static_cast<std::size_t>(hash_of(slot)) & mask;
        while (grown[i] != Slot{}) i = (i + 1) & mask;
        grown[i] = slot;
    }
    slots = std::move(grown);
}

}  // namespace

const PooledLocation* LocationPool::find_locked(std::string_view text, std::uint64_t hash) const {
    if (slots_.empty()) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask; slots_[i] != nullptr; i = (i + 1) & mask) {
        if (slots_[i]->hash == hash && slots_[i]->text == text) return slots_[i];
    }
    return nullptr;
}

const PooledLocation& LocationPool::add_locked(std::string_view text, std::uint64_t hash,
                                               const PooledLocation* parent) {
    grow_slots(slots_, texts_.size() + 1, [](const PooledLocation* p) { return p->hash; });
    PooledLocation& added = texts_.emplace_back();
    added.text = std::string(text);
    added.hash = hash;
    added.parent = parent;
    added.depth = parent == nullptr ? 0 : parent->depth + 1;
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    while (slots_[i] != nullptr) i = (i + 1) & mask;
    slots_[i] = &added;
    return added;
}

const PooledLocation& LocationPool::intern(std::string_view text) { return intern(text, location_hash(text)); }

const PooledLocation& LocationPool::intern(std::string_view text, std::uint64_t hash) {
    std::lock_guard lock(mutex_);
    if (const PooledLocation* known = find_locked(text, hash)) return *known;
    // The prefixes not pooled yet, longest first; then pooled shortest first, each with its parent.
    std::vector<std::size_t> missing;
    const PooledLocation* parent = nullptr;
    for (std::size_t end = text.rfind('/'); end != std::string_view::npos;) {
        const std::string_view prefix = text.substr(0, end);
        if ((parent = find_locked(prefix, location_hash(prefix))) != nullptr) break;
        missing.push_back(end);
        end = end == 0 ? std::string_view::npos : prefix.rfind('/');
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const std::string_view prefix = text.substr(0, *it);
        parent = &add_locked(prefix, location_hash(prefix), parent);
    }
    return add_locked(text, hash, parent);
}

std::size_t LocationPool::size() const {
    std::lock_guard lock(mutex_);
    return texts_.size();
}

EntryMap::EntryMap(std::shared_ptr<LocationPool> pool) : pool_(std::move(pool)) {}

EntryMap::Layout& EntryMap::own_layout() {
    if (!layout_) {
        layout_ = std::make_shared<Layout>();
    } else if (layout_.use_count() > 1) {
        layout_ = std::make_shared<Layout>(*layout_);
    }
    return *layout_;
}

std::optional<std::size_t> EntryMap::probe(std::uint64_t hash, std::string_view text,
                                           const PooledLocation* pooled) const {
    if (!layout_ || layout_->slots.empty()) return std::nullopt;
    const auto& slots = layout_->slots;
    const auto& locations = layout_->locations;
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask; slots[i] != 0; i = (i + 1) & mask) {
        const PooledLocation* here = locations[slots[i] - 1];
        if (pooled != nullptr ? here == pooled : (here->hash == hash && here->text == text)) return slots[i] - 1;
    }
    return std::nullopt;
}

std::optional<std::size_t> EntryMap::index_of(std::string_view location) const {
    if (empty()) return std::nullopt;
    return probe(location_hash(location), location, nullptr);
}

std::optional<std::size_t> EntryMap::index_of(const PooledLocation& location) const {
    if (empty()) return std::nullopt;
    return probe(location.hash, location.text, &location);
}

const KeywordEntry* EntryMap::find(std::string_view location) const {
    const auto i = index_of(location);
    return i ? &entries_[*i] : nullptr;
}

KeywordEntry* EntryMap::find(std::string_view location) {
    const auto i = index_of(location);
    return i ? &entries_[*i] : nullptr;
}

void EntryMap::append(const PooledLocation& location, EntryKind kind) {
    Layout& layout = own_layout();
    const std::uint32_t index = checked_entry_index(layout.locations.size());
    if (index == std::numeric_limits<std::uint32_t>::max()) stop_entry_count();
    const auto& locations = layout.locations;
    grow_slots(layout.slots, locations.size() + 1,
               [&locations](std::uint32_t slot) { return locations[slot - 1]->hash; });
    const std::size_t mask = layout.slots.size() - 1;
    std::size_t i = static_cast<std::size_t>(location.hash) & mask;
    while (layout.slots[i] != 0) i = (i + 1) & mask;
    layout.slots[i] = index + 1;
    layout.locations.push_back(&location);
    KeywordEntry e;
    e.kind = kind;
    entries_.push_back(e);
}

bool EntryMap::ensure(std::string_view location, EntryKind kind) {
    const std::uint64_t hash = location_hash(location);
    if (probe(hash, location, nullptr)) return false;
    if (!pool_) pool_ = std::make_shared<LocationPool>();
    append(pool_->intern(location, hash), kind);
    return true;
}

bool EntryMap::ensure_from(const EntryMap& other, std::size_t i, EntryKind kind) {
    const PooledLocation& location = other.pooled_location(i);
    if (pool_ == nullptr) pool_ = other.pool_;
    if (pool_ != other.pool_) return ensure(location.text, kind);
    if (probe(location.hash, location.text, &location)) return false;
    append(location, kind);
    return true;
}

void EntryMap::set(std::string_view location, EntryKind kind) {
    if (KeywordEntry* existing = find(location)) {
        *existing = KeywordEntry{};
        existing->kind = kind;
        return;
    }
    ensure(location, kind);
}

EntryMap EntryMap::with_locations_of(const EntryMap& other, const std::vector<EntryKind>& kinds) {
    if (kinds.size() != other.size()) throw deririrore::InternalError("one kind per shared location");
    EntryMap out;
    out.pool_ = other.pool_;
    out.layout_ = other.layout_;
    out.entries_.resize(kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) out.entries_[i].kind = kinds[i];
    return out;
}

std::optional<SpecialKeywordKind> special_keyword_kind(std::string_view keyword) noexcept {
    static constexpr std::string_view names[] = {
        "additionalProperties", "additionalItems",   "unevaluatedItems", "unevaluatedProperties",
        "uniqueItems",          "exclusiveMaximum",  "exclusiveMinimum", "allOf",
        "properties",           "patternProperties",
    };
    for (std::size_t i = 0; i < std::size(names); ++i) {
        if (names[i] == keyword) return static_cast<SpecialKeywordKind>(i);
    }
    return std::nullopt;
}

void stop_entry_count() { throw deririrore::InternalError(std::string(kEntryCountFits)); }

std::uint32_t checked_entry_index(std::size_t index) {
    if (index > std::numeric_limits<std::uint32_t>::max()) stop_entry_count();
    return static_cast<std::uint32_t>(index);
}

SpecialKeywordIndex index_special_keywords(const EntryMap& map) {
    SpecialKeywordIndex index;
    for (std::size_t i = 0; i < map.size(); ++i) {
        const KeywordEntry& e = map.entry(i);
        if (e.kind != EntryKind::keyword(Polarity::ValidOnly)) continue;
        const PooledLocation& location = map.pooled_location(i);
        if (location.parent == nullptr) continue;
        const auto kind =
            special_keyword_kind(std::string_view(location.text).substr(location.parent->text.size() + 1));
        if (!kind) continue;
        const auto parent = map.index_of(*location.parent);
        if (!parent) continue;
        index.refs.push_back(SpecialKeywordRef{checked_entry_index(*parent), *kind, checked_entry_index(i)});
    }
    std::stable_sort(index.refs.begin(), index.refs.end(), [](const SpecialKeywordRef& a, const SpecialKeywordRef& b) {
        if (a.parent != b.parent) return a.parent < b.parent;
        return a.kind < b.kind;
    });
    index.entry_count = map.size();
    return index;
}

CoverageState& make_state_unique(CoverageHolder& holder) {
    if (!holder.state) throw deririrore::InternalError("a coverage holder holds a state");
    if (holder.state.use_count() > 1) holder.state = std::make_shared<CoverageState>(*holder.state);
    if (holder.events) holder.state->events_enabled = true;
    return *holder.state;
}

std::vector<const DescribedCause*> flatten_unsatisfiable_causes(const UnsatisfiableCause& cause) {
    std::vector<const DescribedCause*> out;
    if (const auto* u = std::get_if<Unexplained>(&cause)) {
        out.push_back(&u->cause);
    } else if (const auto* s = std::get_if<SingleCause>(&cause)) {
        out.push_back(&s->cause);
    } else {
        for (const CauseEntry& entry : std::get<CauseList>(cause).entries) {
            if (const auto* p = std::get_if<PlainCause>(&entry)) {
                out.push_back(&p->cause);
            } else {
                for (const DescribedCause& c : std::get<BranchCauses>(entry).causes) out.push_back(&c);
            }
        }
    }
    return out;
}

}  // namespace zavova
