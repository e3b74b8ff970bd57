#include "vantorel/recorders/unmatched.hpp"

#include <cmath>
#include <functional>
#include <limits>

#include "deririrore/value/utf8.hpp"

namespace vantorel::recorders {

namespace {

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) noexcept {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// Bytes of the UTF-8 character at the start of `s`; 1 for a byte that begins no valid sequence.
std::size_t character_length(std::string_view s) noexcept {
    const std::size_t n = deririrore::value::utf8_sequence_length(s, 0);
    return n == 0 ? 1 : n;
}

}  // namespace

std::string_view unmatched_reason_name(UnmatchedReason reason) noexcept {
    return reason == UnmatchedReason::MethodNotDocumented ? "method_not_documented" : "no_matching_path";
}

std::string cut_unmatched_path(std::string_view path) {
    std::size_t offset = 0;
    for (std::size_t characters = 0; offset < path.size(); ++characters) {
        if (characters == kUnmatchedPathLimit) {
            std::string cut(path.substr(0, offset));
            cut += "...";
            return cut;
        }
        offset += character_length(path.substr(offset));
    }
    return std::string(path);
}

std::size_t UnmatchedRequests::KeyHash::operator()(const KeyView& k) const noexcept {
    const std::size_t h = std::hash<std::string_view>{}(k.host);
    const std::size_t p = std::hash<std::string_view>{}(k.path);
    return (h * 0x9E3779B97F4A7C15ull) ^ (p + 0x7F4A7C15ull + (h << 6) + (h >> 2)) ^ static_cast<std::size_t>(k.method);
}

void UnmatchedRequests::record(HttpMethod method, std::string_view host, std::string_view path, UnmatchedReason reason,
                               std::uint64_t count, double time, bool keep_earliest) {
    if (!std::isfinite(time)) time = 0.0;
    const auto it = index_.find(KeyView{method, host, path});
    if (it != index_.end()) {
        UnmatchedGroup& group = groups_[it->second];
        group.count = saturating_add(group.count, count);
        if (keep_earliest && time != 0.0 && (group.first_seen == 0.0 || time < group.first_seen)) {
            group.first_seen = time;
        }
        return;
    }
    if (groups_.size() >= kMaxUnmatchedGroups) {
        overflow_ = saturating_add(overflow_, count);
        return;
    }
    index_.emplace(Key{method, std::string(host), std::string(path)}, groups_.size());
    groups_.push_back(UnmatchedGroup{std::string(host), std::string(path), count, time, reason, method});
}

void UnmatchedRequests::add_overflow(std::uint64_t count) noexcept { overflow_ = saturating_add(overflow_, count); }

const UnmatchedGroup* UnmatchedRequests::find(HttpMethod method, std::string_view host, std::string_view path) const {
    const auto it = index_.find(KeyView{method, host, path});
    return it == index_.end() ? nullptr : &groups_[it->second];
}

}  // namespace vantorel::recorders
