#include "vantorel/reports/orderings.hpp"

#include <bit>
#include <cstdint>
#include <tuple>

namespace vantorel::reports {

namespace {

std::int64_t total_order_key(double value) noexcept {
    const auto bits = std::bit_cast<std::int64_t>(value);
    return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
}

// Negative, zero or positive as a is before, equal to or after b.
int compare_text(std::string_view a, std::string_view b) noexcept {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compare_methods(http::HttpMethod a, http::HttpMethod b) noexcept {
    return compare_text(http::method_name(a), http::method_name(b));
}

int compare_method_host_path(const UnmatchedKey& a, const UnmatchedKey& b) noexcept {
    if (int c = compare_methods(a.method, b.method)) return c;
    if (int c = compare_text(a.host, b.host)) return c;
    return compare_text(a.path, b.path);
}

}  // namespace

bool method_name_less(http::HttpMethod a, http::HttpMethod b) noexcept { return compare_methods(a, b) < 0; }

bool total_order_less(double a, double b) noexcept { return total_order_key(a) < total_order_key(b); }

bool unmatched_group_less(const UnmatchedKey& a, const UnmatchedKey& b) noexcept {
    if (a.count != b.count) return a.count > b.count;
    return compare_method_host_path(a, b) < 0;
}

bool unmatched_row_less(const UnmatchedKey& a, const UnmatchedKey& b) noexcept {
    const std::int64_t ka = total_order_key(a.first_seen);
    const std::int64_t kb = total_order_key(b.first_seen);
    if (ka != kb) return ka < kb;
    return compare_method_host_path(a, b) < 0;
}

bool uncovered_keyword_less(const UncoveredKeywordKey& a, const UncoveredKeywordKey& b) noexcept {
    return std::tie(a.path, a.method, a.parameter, a.schema_path) <
           std::tie(b.path, b.method, b.parameter, b.schema_path);
}

bool report_item_less(const ReportSortKey& a, const ReportSortKey& b) noexcept {
    return std::tie(a.path, a.method, a.kind_rank, a.first_detail, a.second_detail) <
           std::tie(b.path, b.method, b.kind_rank, b.first_detail, b.second_detail);
}

int method_rank(std::string_view method) noexcept {
    if (method == "DELETE") return 0;
    if (method == "PATCH") return 1;
    if (method == "POST") return 2;
    if (method == "GET") return 3;
    return 4;
}

bool compare_by_method_rank(std::string_view method_a, std::string_view path_a, std::string_view method_b,
                            std::string_view path_b) noexcept {
    const int ra = method_rank(method_a);
    const int rb = method_rank(method_b);
    if (ra != rb) return ra < rb;
    return path_a < path_b;
}

bool group_order_less(std::string_view slug_a, std::string_view name_a, std::string_view slug_b,
                      std::string_view name_b) noexcept {
    const bool other_a = name_a == "other";
    const bool other_b = name_b == "other";
    if (other_a != other_b) return other_b;
    return std::tie(slug_a, name_a) < std::tie(slug_b, name_b);
}

int media_range_specificity(std::string_view media_range) noexcept {
    const std::size_t semicolon = media_range.find(';');
    if (semicolon != std::string_view::npos) media_range = media_range.substr(0, semicolon);
    const std::size_t slash = media_range.find('/');
    std::string_view type = media_range.substr(0, slash);
    std::string_view subtype = slash == std::string_view::npos ? std::string_view() : media_range.substr(slash + 1);
    const std::size_t plus = subtype.find('+');
    if (plus != std::string_view::npos) subtype = subtype.substr(0, plus);
    auto trim = [](std::string_view t) {
        while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
        while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
        return t;
    };
    return int(trim(type) != "*") + int(trim(subtype) != "*");
}

}  // namespace vantorel::reports
