#pragma once
// Requests that reach no documented operation, grouped by method, host and path and counted, so
// that reports can show which calls the API description misses. The number of groups is capped:
// a test run sending endless distinct bad URLs only raises the overflow counter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "http/method.hpp"

namespace vantorel::recorders {

using http::HttpMethod;

enum class UnmatchedReason : std::uint8_t {
    NoMatchingPath = 0,
    MethodNotDocumented = 1,
};

// "no_matching_path", "method_not_documented".
std::string_view unmatched_reason_name(UnmatchedReason reason) noexcept;

struct UnmatchedGroup {
    std::string host;  // empty when the URL had none
    std::string path;
    std::uint64_t count = 0;  // saturates
    double first_seen = 0;    // seconds since the Unix epoch; 0 is unknown
    UnmatchedReason reason = UnmatchedReason::NoMatchingPath;
    HttpMethod method = HttpMethod::None;
};

inline constexpr std::size_t kMaxUnmatchedGroups = 1000;
inline constexpr std::size_t kUnmatchedPathLimit = 120;

// A request path as an unmatched group shows it: its first 120 characters (Unicode scalar values;
// a byte that is not part of valid UTF-8 counts as one) followed by "..." when it is longer.
std::string cut_unmatched_path(std::string_view path);

class UnmatchedRequests {
public:
    // Files `count` requests. The group is found by method, host and path together (never by a
    // joined text, so no host or path can spell another group's key); a new group is made only
    // while fewer than 1000 exist, otherwise the requests go to the overflow. An existing group
    // keeps its reason and, unless `keep_earliest`, its first time; with `keep_earliest` (merging)
    // a known time earlier than the group's, or any known time for a group without one, replaces
    // it. A time that is not finite is unknown (0).
    void record(HttpMethod method, std::string_view host, std::string_view path, UnmatchedReason reason,
                std::uint64_t count, double time, bool keep_earliest);

    // Adds to the overflow counter, saturating (a merged export's overflow).
    void add_overflow(std::uint64_t count) noexcept;

    const UnmatchedGroup* find(HttpMethod method, std::string_view host, std::string_view path) const;
    // Groups in the order they were created; readers sort as they need.
    const std::vector<UnmatchedGroup>& groups() const noexcept { return groups_; }
    std::size_t size() const noexcept { return groups_.size(); }
    std::uint64_t overflow() const noexcept { return overflow_; }

private:
    struct KeyView {
        HttpMethod method;
        std::string_view host;
        std::string_view path;
    };
    struct Key {
        HttpMethod method;
        std::string host;
        std::string path;
    };
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(const KeyView& k) const noexcept;
        std::size_t operator()(const Key& k) const noexcept { return (*this)(KeyView{k.method, k.host, k.path}); }
    };
    struct KeyEqual {
        using is_transparent = void;
        static KeyView view(const Key& k) noexcept { return {k.method, k.host, k.path}; }
        static KeyView view(const KeyView& k) noexcept { return k; }
        template <class A, class B>
        bool operator()(const A& a, const B& b) const noexcept {
            const KeyView x = view(a), y = view(b);
            return x.method == y.method && x.host == y.host && x.path == y.path;
        }
    };

    std::unordered_map<Key, std::size_t, KeyHash, KeyEqual> index_;  // into groups_
    std::vector<UnmatchedGroup> groups_;
    std::uint64_t overflow_ = 0;
};

}  // namespace vantorel::recorders
