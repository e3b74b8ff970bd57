#include "deririrore/referencing/resource.hpp"

#include <algorithm>
#include <array>

namespace deririrore::referencing {

namespace {

using C = SubschemaCell;

struct TableRow {
    std::string_view keyword;
    // Columns: Draft4, Draft6, Draft7, Draft201909, Draft202012 (and Unknown).
    std::array<SubschemaCell, 5> cells;
};

// Sorted by keyword for binary search. The Draft4 column lists every draft's keywords.
constexpr TableRow kCrawlTable[] = {
    {"$defs", {C::Members, C::None, C::None, C::Members, C::Members}},
    {"additionalItems", {C::ValueIfObject, C::Value, C::Value, C::Value, C::None}},
    {"additionalProperties", {C::ValueIfObject, C::Value, C::Value, C::Value, C::Value}},
    {"allOf", {C::Elements, C::Elements, C::Elements, C::Elements, C::Elements}},
    {"anyOf", {C::Elements, C::Elements, C::Elements, C::Elements, C::Elements}},
    {"contains", {C::Value, C::Value, C::Value, C::Value, C::Value}},
    {"contentSchema", {C::Value, C::None, C::None, C::Value, C::Value}},
    {"definitions", {C::Members, C::Members, C::Members, C::Members, C::Members}},
    {"dependencies", {C::ObjectMembers, C::ObjectMembers, C::ObjectMembers, C::ObjectMembers, C::None}},
    {"dependentSchemas", {C::Members, C::None, C::None, C::Members, C::Members}},
    {"else", {C::Value, C::None, C::Value, C::Value, C::Value}},
    {"if", {C::Value, C::None, C::Value, C::Value, C::Value}},
    {"items", {C::ElementsOrValue, C::ElementsOrValue, C::ElementsOrValue, C::ElementsOrValue, C::Value}},
    {"not", {C::Value, C::Value, C::Value, C::Value, C::Value}},
    {"oneOf", {C::Elements, C::Elements, C::Elements, C::Elements, C::Elements}},
    {"patternProperties", {C::Members, C::Members, C::Members, C::Members, C::Members}},
    {"prefixItems", {C::Elements, C::None, C::None, C::None, C::Elements}},
    {"properties", {C::Members, C::Members, C::Members, C::Members, C::Members}},
    {"propertyNames", {C::Value, C::Value, C::Value, C::Value, C::Value}},
    {"then", {C::Value, C::None, C::Value, C::Value, C::Value}},
    {"unevaluatedItems", {C::Value, C::None, C::None, C::Value, C::Value}},
    {"unevaluatedProperties", {C::Value, C::None, C::None, C::Value, C::Value}},
};

constexpr bool table_is_sorted() {
    for (std::size_t i = 1; i < std::size(kCrawlTable); ++i) {
        if (!(kCrawlTable[i - 1].keyword < kCrawlTable[i].keyword)) return false;
    }
    return true;
}
static_assert(table_is_sorted());

std::size_t column(Draft draft) noexcept {
    return draft == Draft::Unknown ? 4 : static_cast<std::size_t>(draft);
}

}  // namespace

SubschemaCell subschema_cell(KeywordTable table, Draft draft, std::string_view keyword) noexcept {
    const auto* end = std::end(kCrawlTable);
    const auto* it = std::lower_bound(std::begin(kCrawlTable), end, keyword,
                                      [](const TableRow& row, std::string_view k) { return row.keyword < k; });
    if (it == end || it->keyword != keyword) return C::None;
    if (table == KeywordTable::Subresource && draft == Draft::Draft201909 && keyword == "dependencies") return C::None;
    return it->cells[column(draft)];
}

AnchorDeclarations collect_anchors(Draft draft, const Value& value) noexcept {
    AnchorDeclarations out;
    if (!value.is_object()) return out;
    switch (draft) {
        case Draft::Draft4:
        case Draft::Draft6:
        case Draft::Draft7: {
            auto id = string_member(value, draft == Draft::Draft4 ? "id" : "$id");
            if (id && !id->empty() && id->front() == '#') out.items[out.count++] = {AnchorKind::Default, id->substr(1)};
            break;
        }
        case Draft::Draft201909:
            if (auto a = string_member(value, "$anchor")) out.items[out.count++] = {AnchorKind::Default, *a};
            break;
        case Draft::Draft202012:
        case Draft::Unknown:
            if (auto a = string_member(value, "$anchor")) out.items[out.count++] = {AnchorKind::Default, *a};
            if (auto d = string_member(value, "$dynamicAnchor")) out.items[out.count++] = {AnchorKind::Dynamic, *d};
            break;
    }
    return out;
}

}  // namespace deririrore::referencing
