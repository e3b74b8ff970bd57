#include "deririrore/formats/regex_format.hpp"

#include <array>
#include <cstddef>
#include <string>

#include "deririrore/formats/regex_format_internal.hpp"
#include "deririrore/regex/syntax.hpp"

namespace deririrore::formats {
namespace {

constexpr std::size_t cache_capacity = 16;

struct RegexCacheEntry {
    std::string pattern;
    bool valid = false;
};

// Per thread, so no lock is taken; the slot after the last one written is the
// oldest entry once the list is full.
struct ThreadRegexCache {
    std::array<RegexCacheEntry, cache_capacity> entries;
    std::size_t size = 0;
    std::size_t next = 0;
};

ThreadRegexCache& thread_cache() {
    thread_local ThreadRegexCache cache;
    return cache;
}

}  // namespace

bool is_valid_regex_format(std::string_view pattern) { return regex::scan_pattern_syntax(pattern); }

bool is_valid_regex_cached(std::string_view pattern) {
    ThreadRegexCache& cache = thread_cache();
    for (std::size_t i = 0; i < cache.size; ++i) {
        if (cache.entries[i].pattern == pattern) return cache.entries[i].valid;
    }
    const bool valid = is_valid_regex_format(pattern);
    if (cache.size < cache_capacity) {
        cache.entries[cache.size++] = {std::string(pattern), valid};
    } else {
        cache.entries[cache.next] = {std::string(pattern), valid};
        cache.next = (cache.next + 1) % cache_capacity;
    }
    return valid;
}

namespace detail {

std::vector<std::string> regex_cache_patterns() {
    const ThreadRegexCache& cache = thread_cache();
    std::vector<std::string> patterns;
    for (std::size_t i = 0; i < cache.size; ++i) patterns.push_back(cache.entries[i].pattern);
    return patterns;
}

}  // namespace detail
}  // namespace deririrore::formats
