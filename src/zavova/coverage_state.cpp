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

std::size_t TextHash::operator()(std::string_view s) const noexcept {
    // The process seeds are drawn once, so that a document cannot be written to collide here.
    deririrore::value::Hasher h(deririrore::value::process_hash_seeds());
    h.write_bytes(s);
    return static_cast<std::size_t>(h.finish());
}

namespace {

std::uint32_t location_hash(std::string_view location) noexcept {
    return static_cast<std::uint32_t>(TextHash{}(location) >> 32);
}

}  // namespace

std::size_t EntryMap::probe(std::string_view location, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.entry == 0 || (slot.hash == hash && this->location(slot.entry - 1) == location)) return i;
    }
}

void EntryMap::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.entry == 0) continue;
        std::size_t i = slot.hash & mask;
        while (slots_[i].entry != 0) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

std::optional<std::size_t> EntryMap::index_of(std::string_view location) const {
    if (entries_.empty()) return std::nullopt;
    const Slot& slot = slots_[probe(location, location_hash(location))];
    if (slot.entry == 0) return std::nullopt;
    return slot.entry - 1;
}

const KeywordEntry* EntryMap::find(std::string_view location) const {
    const auto i = index_of(location);
    return i ? &entries_[*i] : nullptr;
}

KeywordEntry* EntryMap::find(std::string_view location) {
    const auto i = index_of(location);
    return i ? &entries_[*i] : nullptr;
}

bool EntryMap::ensure(std::string_view location, EntryKind kind) {
    // Entry numbers travel as 32 bits, and the slot keeps one more for "empty".
    if (entries_.size() >= std::numeric_limits<std::uint32_t>::max()) stop_entry_count();
    if ((entries_.size() + 1) * 2 > slots_.size()) grow();
    const std::uint32_t hash = location_hash(location);
    Slot& slot = slots_[probe(location, hash)];
    if (slot.entry != 0) return false;
    text_.append(location);
    ends_.push_back(text_.size());
    KeywordEntry e;
    e.kind = kind;
    entries_.push_back(e);
    slot = Slot{hash, static_cast<std::uint32_t>(entries_.size())};
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
        const std::string_view location = map.location(i);
        const std::size_t slash = location.rfind('/');
        if (slash == std::string_view::npos) continue;
        const auto kind = special_keyword_kind(location.substr(slash + 1));
        if (!kind) continue;
        const auto parent = map.index_of(location.substr(0, slash));
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
