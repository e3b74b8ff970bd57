#pragma once
// What an XML body's schema says about its elements, learned once from the schema's `xml`
// objects and `type` keywords when a body target is built: per place in the schema, the element
// name expected there, whether a property is an attribute, whether an array is wrapped, the JSON
// types allowed, and which XML names stand for which property names.
//
// Places are named by property names, not JSON Pointers: "" is the root, "pet/tags" a property of
// a property, "[]" the items of an array, "allOf/0" a branch.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "deririrore/value/value.hpp"

namespace xml {

using deririrore::value::Value;

struct XmlHint {
    std::optional<std::string> name;
    std::map<std::string, std::string, std::less<>> element_names;    // XML element name -> property
    std::map<std::string, std::string, std::less<>> attribute_names;  // XML attribute name -> property
    bool attribute = false;
    bool wrapped = false;
    std::uint8_t types = 0;  // JsonTypeMask; 0 when the schema has no usable `type`
    friend bool operator==(const XmlHint&, const XmlHint&) = default;
};

struct LocationHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
using XmlHints = std::unordered_map<std::string, XmlHint, LocationHash, std::equal_to<>>;

// Schema objects visited at most (references expanded wherever used); a schema that needs more
// yields no hints at all, rather than some.
inline constexpr std::size_t kXmlHintVisitBudget = 10000;

// Never fails: what cannot be read adds nothing. `schema` is also the root that "#..." references
// resolve in.
XmlHints xml_hints_from_schema(const Value& schema);

// The place `step` ("pet", "[]", "allOf/0") names below `location`.
std::string child_location(std::string_view location, std::string_view step);

// The hint of a place, or the default hint when there is none.
const XmlHint& hint_at(const XmlHints& hints, std::string_view location);

}  // namespace xml
