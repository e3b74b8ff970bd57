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

std::optional<std::size_t> EntryMap::index_of(std::string_view location) const {
    auto it = index_.find(location);
    if (it == index_.end()) return std::nullopt;
    return it->second;
}

const KeywordEntry* EntryMap::find(std::string_view location) const {
    auto it = index_.find(location);
    return it == index_.end() ? nullptr : &entries_[it->second];
}

KeywordEntry* EntryMap::find(std::string_view location) {
    auto it = index_.find(location);
    return it == index_.end() ? nullptr : &entries_[it->second];
}

bool EntryMap::ensure(std::string location, EntryKind kind) {
    if (index_.find(std::string_view(location)) != index_.end()) return false;
    index_.emplace(location, entries_.size());
    locations_.push_back(std::move(location));
    KeywordEntry e;
    e.kind = kind;
    entries_.push_back(e);
    return true;
}

void EntryMap::set(std::string location, EntryKind kind) {
    if (KeywordEntry* existing = find(location)) {
        *existing = KeywordEntry{};
        existing->kind = kind;
        return;
    }
    ensure(std::move(location), kind);
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
        const std::string& location = map.location(i);
        const std::size_t slash = location.rfind('/');
        if (slash == std::string::npos) continue;
        const auto kind = special_keyword_kind(std::string_view(location).substr(slash + 1));
        if (!kind) continue;
        const auto parent = map.index_of(std::string_view(location).substr(0, slash));
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
