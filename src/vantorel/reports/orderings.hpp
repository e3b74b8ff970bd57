#pragma once
// The orders reports list things in, so that every run prints the same order whatever the hash
// tables hold. Each is a strict less-than for a stable sort: items equal on every key keep the
// order they were produced in.
#include <string_view>

#include "http/method.hpp"

namespace vantorel::reports {

// Byte order; a text before its extensions ("/a" < "/a/b", "B" < "a").
inline bool text_less(std::string_view a, std::string_view b) noexcept { return a < b; }

// Methods by their upper-case names ("DELETE" < "GET" < ... < "TRACE"), not by their bytes.
bool method_name_less(http::HttpMethod a, http::HttpMethod b) noexcept;

// The IEEE-754 total order of doubles (-NaN < -inf < ... < -0 < +0 < ... < +inf < NaN).
bool total_order_less(double a, double b) noexcept;

// Unmatched-request groups and counts-export rows, as their keys.
struct UnmatchedKey {
    http::HttpMethod method = http::HttpMethod::None;
    std::string_view host;
    std::string_view path;
    std::uint64_t count = 0;
    double first_seen = 0;
};

// Larger count first; then method name, host, path ascending.
bool unmatched_group_less(const UnmatchedKey& a, const UnmatchedKey& b) noexcept;
// Earlier first-seen time first (total order); then method name, host, path ascending.
bool unmatched_row_less(const UnmatchedKey& a, const UnmatchedKey& b) noexcept;

// Uncovered-keyword rows: path, method name, parameter name, schema path, each ascending.
struct UncoveredKeywordKey {
    std::string_view path;
    std::string_view method;
    std::string_view parameter;
    std::string_view schema_path;
};
bool uncovered_keyword_less(const UncoveredKeywordKey& a, const UncoveredKeywordKey& b) noexcept;

// Coverage gaps: (path, method name, kind rank, first detail, second detail), each ascending.
struct ReportSortKey {
    std::string_view path;
    std::string_view method;
    unsigned kind_rank = 0;
    std::string_view first_detail;
    std::string_view second_detail;
};
bool report_item_less(const ReportSortKey& a, const ReportSortKey& b) noexcept;

// Markdown operation rows: "DELETE" 0, "PATCH" 1, "POST" 2, "GET" 3, any other text 4 (exact
// comparison), lower rank first, then path ascending.
int method_rank(std::string_view method) noexcept;
bool compare_by_method_rank(std::string_view method_a, std::string_view path_a, std::string_view method_b,
                            std::string_view path_b) noexcept;

// HTML groups: one named exactly "other" after every other; else slug, then name ascending.
bool group_order_less(std::string_view slug_a, std::string_view name_a, std::string_view slug_b,
                      std::string_view name_b) noexcept;

// 0 for "*/*", 1 for a named type with subtype "*" (or the reverse), 2 for type and subtype
// named; the subtype is judged without a "+" suffix and parameters. Higher sorts first.
int media_range_specificity(std::string_view media_range) noexcept;

}  // namespace vantorel::reports
