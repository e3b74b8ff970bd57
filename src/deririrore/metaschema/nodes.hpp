#pragma once
// Node shapes that the meta-schemas of every draft share, written once over the mode; `base` is
// the definition's location ("/$defs/stringArray", "/definitions/stringArray", ...).
#include <cstdint>
#include <string>
#include <string_view>

#include "deririrore/metaschema/modes.hpp"
#include "deririrore/value/cmp.hpp"

namespace deririrore::metaschema::detail {

inline std::string path(std::string_view a, std::string_view b, std::string_view c = {}) {
    std::string s;
    s.reserve(a.size() + b.size() + c.size());
    s.append(a).append(b).append(c);
    return s;
}

// schemaArray: at least one item, each checked by `item_check(item, location, out)`.
template <class Out, class ItemCheck>
bool schema_array_check(const Value& v, const LazyLocation& loc, Out& out, std::string_view base,
                        ItemCheck&& item_check) {
    if (!v.is_array()) return out.fail([&] { return type_error(value::JsonType::Array, v, loc, path(base, "/type")); });
    const auto& items = v.as_array();
    if (items.empty()) return out.fail([&] { return meta_error(kinds::MinItems{1}, v, loc, path(base, "/minItems")); });
    for (std::size_t i = 0; i < items.size(); ++i) {
        LazyLocation item = loc.push(static_cast<std::uint64_t>(i));
        if (!item_check(items[i], item, out)) return false;
    }
    return true;
}

// stringArray: unique strings; draft 4 also asks for at least one.
template <class Out>
bool string_array_check(const Value& v, const LazyLocation& loc, Out& out, std::string_view base, bool min_one) {
    if (!v.is_array()) return out.fail([&] { return type_error(value::JsonType::Array, v, loc, path(base, "/type")); });
    const auto& items = v.as_array();
    if (min_one && items.empty())
        return out.fail([&] { return meta_error(kinds::MinItems{1}, v, loc, path(base, "/minItems")); });
    if (!value::is_unique_array(items) &&
        !out.fail([&] { return meta_error(kinds::UniqueItems{}, v, loc, path(base, "/uniqueItems")); }))
        return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].is_string()) continue;
        LazyLocation item = loc.push(static_cast<std::uint64_t>(i));
        if (!out.fail([&] { return type_error(value::JsonType::String, items[i], item, path(base, "/items/type")); }))
            return false;
    }
    return true;
}

// nonNegativeInteger (draft 4: positiveInteger): an integer by the draft's rule, at least zero.
// Collecting reports a negative fraction as both not an integer and below zero.
template <class Out>
bool counter_check(const Value& v, const LazyLocation& loc, Out& out, std::string_view base,
                   bool (*integral)(std::string_view) noexcept) {
    auto wrong_type = [&] { return type_error(value::JsonType::Integer, v, loc, path(base, "/type")); };
    if (!v.is_number()) return out.fail(wrong_type);
    std::string_view text = v.number_text();
    if (!integral(text) && !out.fail(wrong_type)) return false;
    if (is_non_negative_number(text)) return true;
    return out.fail([&] { return meta_error(kinds::Minimum{Value::number("0")}, v, loc, path(base, "/minimum")); });
}

// simpleTypes: one of the seven type names.
template <class Out>
bool simple_type_check(const Value& v, const LazyLocation& loc, Out& out, std::string_view enum_path) {
    if (is_simple_type_name(v)) return true;
    return out.fail([&] { return meta_error(kinds::Enum{simple_type_enum_options()}, v, loc, enum_path); });
}

// The array branch of "type": at least one, unique, each name a simple type by `element_check`
// (which a valid name never reaches).
template <class Out, class ElementCheck>
bool type_array_check(const Value& v, const LazyLocation& loc, Out& out, ElementCheck&& element_check) {
    if (!v.is_array())
        return out.fail([&] { return type_error(value::JsonType::Array, v, loc, "/properties/type/anyOf/1/type"); });
    const auto& items = v.as_array();
    if (items.empty())
        return out.fail([&] { return meta_error(kinds::MinItems{1}, v, loc, "/properties/type/anyOf/1/minItems"); });
    if (!value::is_unique_array(items) &&
        !out.fail([&] { return meta_error(kinds::UniqueItems{}, v, loc, "/properties/type/anyOf/1/uniqueItems"); }))
        return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (is_simple_type_name(items[i])) continue;
        LazyLocation item = loc.push(static_cast<std::uint64_t>(i));
        if (!element_check(items[i], item, out)) return false;
    }
    return true;
}

}  // namespace deririrore::metaschema::detail
