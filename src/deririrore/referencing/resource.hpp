#pragma once
// Subschemas and anchors: which keywords of each draft hold subschemas, the anchors a schema
// object declares, and the records a registry keeps for resources and anchors.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::referencing {

// A schema value inside a document the registry keeps alive (an aliasing pointer into it), with
// the draft it is read under.
struct ResourceEntry {
    std::shared_ptr<const Value> contents;
    Draft draft = Draft::Draft202012;
};

enum class AnchorKind : std::uint8_t { Default, Dynamic };

struct Anchor {
    AnchorKind kind = AnchorKind::Default;
    std::string name;
    // The schema object that declares the anchor.
    std::shared_ptr<const Value> resource;
    Draft draft = Draft::Draft202012;
};

// How a keyword's value holds subschemas.
enum class SubschemaCell : std::uint8_t {
    None,
    Value,           // the value itself, whatever its type
    ValueIfObject,   // the value when it is an object
    Elements,        // each element of an array
    ElementsOrValue, // each element of an array, otherwise the value
    Members,         // each member value of an object
    ObjectMembers,   // each member value that is an object
};

// The crawl table (registry crawl, walks with paths) and the subresource table differ only in
// draft 2019-09's "dependencies".
enum class KeywordTable : std::uint8_t { Crawl, Subresource };

SubschemaCell subschema_cell(KeywordTable table, Draft draft, std::string_view keyword) noexcept;

// Where a subschema sits under its keyword: directly, at an array index, or under a member name.
using SubschemaPosition = std::variant<std::monostate, std::size_t, std::string_view>;

// Calls f(keyword, subschema, position) for each subschema that the object's members hold, in
// member order and then in the order the cell gives. Nothing for a non-object. A callback that
// returns bool stops the walk by returning false; the result tells whether the walk ran to the end.
template <class F>
bool for_each_keyword_subschema(KeywordTable table, Draft draft, const Value& object, F&& f) {
    if (!object.is_object()) return true;
    auto call = [&f](std::string_view keyword, const Value& child, SubschemaPosition position) -> bool {
        if constexpr (std::is_same_v<decltype(f(keyword, child, position)), bool>) {
            return f(keyword, child, position);
        } else {
            f(keyword, child, position);
            return true;
        }
    };
    for (const auto& member : object.as_object()) {
        const std::string_view keyword = member.key;
        const Value& v = member.value;
        const SubschemaCell cell = subschema_cell(table, draft, keyword);
        switch (cell) {
            case SubschemaCell::None:
                break;
            case SubschemaCell::Value:
                if (!call(keyword, v, SubschemaPosition{})) return false;
                break;
            case SubschemaCell::ValueIfObject:
                if (v.is_object() && !call(keyword, v, SubschemaPosition{})) return false;
                break;
            case SubschemaCell::ElementsOrValue:
            case SubschemaCell::Elements:
                if (v.is_array()) {
                    const auto& items = v.as_array();
                    for (std::size_t i = 0; i < items.size(); ++i) {
                        if (!call(keyword, items[i], SubschemaPosition{i})) return false;
                    }
                } else if (cell == SubschemaCell::ElementsOrValue) {
                    if (!call(keyword, v, SubschemaPosition{})) return false;
                }
                break;
            case SubschemaCell::Members:
            case SubschemaCell::ObjectMembers:
                if (v.is_object()) {
                    for (const auto& inner : v.as_object()) {
                        if (cell == SubschemaCell::ObjectMembers && !inner.value.is_object()) continue;
                        if (!call(keyword, inner.value, SubschemaPosition{std::string_view(inner.key)})) return false;
                    }
                }
                break;
        }
    }
    return true;
}

// The subschemas a value's keywords hold directly, by the subresource table: f(subschema).
template <class F>
void subresources_of(Draft draft, const Value& value, F&& f) {
    for_each_keyword_subschema(KeywordTable::Subresource, draft, value,
                               [&f](std::string_view, const Value& child, const SubschemaPosition&) { f(child); });
}

struct AnchorDeclaration {
    AnchorKind kind;
    std::string_view name;
};

// At most two anchors, in declaration order ("$anchor" before "$dynamicAnchor").
struct AnchorDeclarations {
    AnchorDeclaration items[2];
    std::size_t count = 0;
    const AnchorDeclaration* begin() const noexcept { return items; }
    const AnchorDeclaration* end() const noexcept { return items + count; }
    std::size_t size() const noexcept { return count; }
};

// The anchors a schema object itself declares under the draft.
AnchorDeclarations collect_anchors(Draft draft, const Value& value) noexcept;

}  // namespace deririrore::referencing
