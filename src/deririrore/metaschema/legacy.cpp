// Checkers of the draft 4, 6 and 7 meta-schemas. Each node is one template over the draft and
// the mode (modes.hpp); the drafts differ only where the published meta-schemas do.
#include "deririrore/metaschema/legacy.hpp"

#include <string>
#include <string_view>
#include <unordered_map>

#include "deririrore/formats/regex_format.hpp"
#include "deririrore/formats/uri.hpp"
#include "deririrore/metaschema/modes.hpp"
#include "deririrore/metaschema/nodes.hpp"
#include "deririrore/value/cmp.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::metaschema::detail {

namespace {

using value::JsonType;

enum class Key {
    Other,
    Id4,
    Id,
    Schema,
    Ref,
    Comment,
    Title,
    Description,
    Format,
    Examples,
    Enum,
    MultipleOf,
    Maximum,
    Minimum,
    ExclusiveMaximum,
    ExclusiveMinimum,
    Counter,
    Pattern,
    AdditionalItems,
    Items,
    UniqueItems,
    Contains,
    Required,
    Definitions,
    Properties,
    PatternProperties,
    AdditionalProperties,
    Dependencies,
    PropertyNames,
    Type,
    SchemaArray,
    Not,
    ReadOnly,
    WriteOnly,
    ContentMediaType,
    ContentEncoding,
    Conditional,
};

// Which draft knows the key: D4 only, D6 and D7, D7 only, or all three.
enum class Since : unsigned char { All, D4Only, D6On, D7On };

struct KeyInfo {
    Key key;
    Since since;
};

const std::unordered_map<std::string_view, KeyInfo>& key_table() {
    static const std::unordered_map<std::string_view, KeyInfo> table{
        {"id", {Key::Id4, Since::D4Only}},
        {"$id", {Key::Id, Since::D6On}},
        {"$schema", {Key::Schema, Since::All}},
        {"$ref", {Key::Ref, Since::D6On}},
        {"$comment", {Key::Comment, Since::D7On}},
        {"title", {Key::Title, Since::All}},
        {"description", {Key::Description, Since::All}},
        {"format", {Key::Format, Since::All}},
        {"examples", {Key::Examples, Since::D6On}},
        {"enum", {Key::Enum, Since::All}},
        {"multipleOf", {Key::MultipleOf, Since::All}},
        {"maximum", {Key::Maximum, Since::All}},
        {"minimum", {Key::Minimum, Since::All}},
        {"exclusiveMaximum", {Key::ExclusiveMaximum, Since::All}},
        {"exclusiveMinimum", {Key::ExclusiveMinimum, Since::All}},
        {"maxLength", {Key::Counter, Since::All}},
        {"minLength", {Key::Counter, Since::All}},
        {"maxItems", {Key::Counter, Since::All}},
        {"minItems", {Key::Counter, Since::All}},
        {"maxProperties", {Key::Counter, Since::All}},
        {"minProperties", {Key::Counter, Since::All}},
        {"pattern", {Key::Pattern, Since::All}},
        {"additionalItems", {Key::AdditionalItems, Since::All}},
        {"items", {Key::Items, Since::All}},
        {"uniqueItems", {Key::UniqueItems, Since::All}},
        {"contains", {Key::Contains, Since::D6On}},
        {"required", {Key::Required, Since::All}},
        {"definitions", {Key::Definitions, Since::All}},
        {"properties", {Key::Properties, Since::All}},
        {"patternProperties", {Key::PatternProperties, Since::All}},
        {"additionalProperties", {Key::AdditionalProperties, Since::All}},
        {"dependencies", {Key::Dependencies, Since::All}},
        {"propertyNames", {Key::PropertyNames, Since::D6On}},
        {"type", {Key::Type, Since::All}},
        {"allOf", {Key::SchemaArray, Since::All}},
        {"anyOf", {Key::SchemaArray, Since::All}},
        {"oneOf", {Key::SchemaArray, Since::All}},
        {"not", {Key::Not, Since::All}},
        {"readOnly", {Key::ReadOnly, Since::D7On}},
        {"writeOnly", {Key::WriteOnly, Since::D7On}},
        {"contentMediaType", {Key::ContentMediaType, Since::D7On}},
        {"contentEncoding", {Key::ContentEncoding, Since::D7On}},
        {"if", {Key::Conditional, Since::D7On}},
        {"then", {Key::Conditional, Since::D7On}},
        {"else", {Key::Conditional, Since::D7On}},
    };
    return table;
}

template <Legacy D>
Key key_of(std::string_view name) {
    const auto& table = key_table();
    auto it = table.find(name);
    if (it == table.end()) return Key::Other;
    switch (it->second.since) {
        case Since::All:
            return it->second.key;
        case Since::D4Only:
            return D == Legacy::D4 ? it->second.key : Key::Other;
        case Since::D6On:
            return D != Legacy::D4 ? it->second.key : Key::Other;
        case Since::D7On:
            return D == Legacy::D7 ? it->second.key : Key::Other;
    }
    return Key::Other;
}

// The "uri" and "uri-reference" answers of one check, per thread and draft: one document
// often repeats the same reference texts.
struct FormatCache {
    std::unordered_map<std::string, bool> uri;
    std::unordered_map<std::string, bool> uri_reference;
};

template <Legacy D>
FormatCache& format_cache() {
    thread_local FormatCache cache;
    return cache;
}

bool uri_syntax_ok(std::string_view text, bool scheme_required) {
    switch (formats::check_uri_rfc3986(text, scheme_required)) {
        case formats::UriScan::Valid:
            return true;
        case formats::UriScan::Invalid:
            return false;
        case formats::UriScan::Undecided:
            break;
    }
    return formats::parse_uri_reference(text, false, scheme_required);
}

template <Legacy D>
bool uri_format_ok(std::string_view text, bool scheme_required) {
    FormatCache& cache = format_cache<D>();
    auto& map = scheme_required ? cache.uri : cache.uri_reference;
    std::string key(text);
    if (auto it = map.find(key); it != map.end()) return it->second;
    bool ok = uri_syntax_ok(text, scheme_required);
    map.insert_or_assign(std::move(key), ok);
    return ok;
}

template <Legacy D, class Out>
bool schema_node(const Value& v, const LazyLocation& loc, Out& out);

// A `$ref` to "#" as a branch or item test.
template <Legacy D>
constexpr auto schema_branch =
    [](const Value& v, const LazyLocation& loc, auto& out) { return schema_node<D>(v, loc, out); };

template <Legacy D, class Out>
bool schema_array_node(const Value& v, const LazyLocation& loc, Out& out) {
    return schema_array_check(
        v, loc, out, "/definitions/schemaArray",
        [](const Value& x, const LazyLocation& l, Out& o) { return descend(o, x, l, schema_branch<D>); });
}

template <Legacy D>
constexpr auto schema_array_branch =
    [](const Value& v, const LazyLocation& loc, auto& out) { return schema_array_node<D>(v, loc, out); };

// positiveInteger (draft 4) and nonNegativeInteger (drafts 6, 7): the same node, apart from
// the draft's integer rule and the definition's name.
template <Legacy D, class Out>
bool counter_node(const Value& v, const LazyLocation& loc, Out& out) {
    if constexpr (D == Legacy::D4)
        return counter_check(v, loc, out, "/definitions/positiveInteger", is_draft4_integer_text);
    else
        return counter_check(v, loc, out, "/definitions/nonNegativeInteger", value::is_integer_text);
}

template <Legacy D, class Out>
bool string_array_node(const Value& v, const LazyLocation& loc, Out& out) {
    return string_array_check(v, loc, out, "/definitions/stringArray", D == Legacy::D4);
}

constexpr auto simple_types_branch = [](const Value& v, const LazyLocation& loc, auto& out) {
    return simple_type_check(v, loc, out, "/definitions/simpleTypes/enum");
};

constexpr auto type_array_branch = [](const Value& v, const LazyLocation& loc, auto& out) {
    return type_array_check(v, loc, out, simple_types_branch);
};

// The boolean-only first branch of draft 4's additionalItems and additionalProperties.
template <class Out>
bool boolean_branch(const Value& v, const LazyLocation& loc, Out& out, std::string_view keyword) {
    if (v.is_bool()) return true;
    return out.fail(
        [&] { return type_error(JsonType::Boolean, v, loc, path("/properties/", keyword, "/anyOf/0/type")); });
}

template <class Out>
bool expect(Out& out, bool ok, JsonType type, const Value& v, const LazyLocation& loc, std::string_view name) {
    if (ok) return true;
    return out.fail([&] { return type_error(type, v, loc, path("/properties/", name, "/type")); });
}

template <class Out>
bool expect_format(Out& out, bool ok, const Value& v, const LazyLocation& loc, std::string_view name,
                   std::string_view format) {
    if (ok) return true;
    return out.fail(
        [&] { return meta_error(kinds::Format{std::string(format)}, v, loc, path("/properties/", name, "/format")); });
}

// Each member value of an object under "#", the member's key added to the location.
template <Legacy D, class Out>
bool schema_map(const Value& v, const LazyLocation& loc, Out& out) {
    for (const auto& m : v.as_object()) {
        LazyLocation child = loc.push(m.key);
        if (!descend(out, m.value, child, schema_branch<D>)) return false;
    }
    return true;
}

// Members whose tests do not recurse.
template <Legacy D, class Out>
[[gnu::noinline]] bool leaf_member(Key key, std::string_view name, const Value& v, const LazyLocation& loc, Out& out) {
    switch (key) {
        case Key::Id4:
        case Key::Title:
        case Key::Description:
        case Key::Format:
        case Key::Comment:
        case Key::ContentMediaType:
        case Key::ContentEncoding:
            return expect(out, v.is_string(), JsonType::String, v, loc, name);
        case Key::Schema:
            if (!expect(out, v.is_string(), JsonType::String, v, loc, name)) return false;
            if constexpr (D == Legacy::D4) {
                return true;
            } else {
                if (!v.is_string()) return true;
                return expect_format(out, uri_format_ok<D>(v.as_string(), true), v, loc, name, "uri");
            }
        case Key::Id:
        case Key::Ref:
            if (!v.is_string()) return expect(out, false, JsonType::String, v, loc, name);
            return expect_format(out, uri_format_ok<D>(v.as_string(), false), v, loc, name, "uri-reference");
        case Key::Examples:
        case Key::Enum:
            return expect(out, v.is_array(), JsonType::Array, v, loc, name);
        case Key::MultipleOf:
            if (!v.is_number()) return expect(out, false, JsonType::Number, v, loc, name);
            if (is_positive_number(v.number_text())) return true;
            return out.fail([&] {
                return meta_error(kinds::ExclusiveMinimum{Value::number("0")}, v, loc,
                                  "/properties/multipleOf/exclusiveMinimum");
            });
        case Key::Maximum:
        case Key::Minimum:
            return expect(out, v.is_number(), JsonType::Number, v, loc, name);
        case Key::ExclusiveMaximum:
        case Key::ExclusiveMinimum:
            if constexpr (D == Legacy::D4)
                return expect(out, v.is_bool(), JsonType::Boolean, v, loc, name);
            else
                return expect(out, v.is_number(), JsonType::Number, v, loc, name);
        case Key::UniqueItems:
        case Key::ReadOnly:
        case Key::WriteOnly:
            return expect(out, v.is_bool(), JsonType::Boolean, v, loc, name);
        case Key::Counter:
            return counter_node<D>(v, loc, out);
        case Key::Pattern:
            if (!v.is_string()) return expect(out, false, JsonType::String, v, loc, name);
            return expect_format(out, formats::is_valid_regex_cached(v.as_string()), v, loc, name, "regex");
        default:
            return true;
    }
}

// Members whose values are schemas: the only ones that recurse, kept apart from the leaf tests
// so that each level of a deep document takes little stack.
template <Legacy D, class Out>
[[gnu::noinline]] bool member(std::string_view name, const Value& v, const LazyLocation& loc, Out& out) {
    Key key = key_of<D>(name);
    switch (key) {
        case Key::AdditionalItems:
        case Key::AdditionalProperties:
            if constexpr (D == Legacy::D4) {
                return any_of(
                    out, v, loc, path("/properties/", name, "/anyOf"),
                    [name](const Value& x, const LazyLocation& l, auto& o) { return boolean_branch(x, l, o, name); },
                    schema_branch<D>);
            } else {
                return schema_node<D>(v, loc, out);
            }
        case Key::Contains:
        case Key::PropertyNames:
        case Key::Not:
        case Key::Conditional:
            return schema_node<D>(v, loc, out);
        case Key::Items:
            return any_of(out, v, loc, "/properties/items/anyOf", schema_branch<D>, schema_array_branch<D>);
        case Key::Required:
            return string_array_node<D>(v, loc, out);
        case Key::Definitions:
        case Key::Properties:
            if (!expect(out, v.is_object(), JsonType::Object, v, loc, name)) return false;
            if (!v.is_object()) return true;
            return schema_map<D>(v, loc, out);
        case Key::PatternProperties:
            if (!expect(out, v.is_object(), JsonType::Object, v, loc, name)) return false;
            if (!v.is_object()) return true;
            if constexpr (D != Legacy::D4) {
                // A name is not a location: its error sits at the map, with the name as instance.
                for (const auto& m : v.as_object()) {
                    if (formats::is_valid_regex_cached(m.key)) continue;
                    bool go_on = out.fail([&] {
                        Value name_value = Value::string(m.key);
                        return core::error_into_owned(meta_error(kinds::Format{"regex"}, name_value, loc,
                                                                 "/properties/patternProperties/propertyNames/format"));
                    });
                    if (!go_on) return false;
                }
            }
            return schema_map<D>(v, loc, out);
        case Key::Dependencies:
            if (!expect(out, v.is_object(), JsonType::Object, v, loc, name)) return false;
            if (!v.is_object()) return true;
            for (const auto& m : v.as_object()) {
                LazyLocation child = loc.push(m.key);
                bool go_on = descend(out, m.value, child, [](const Value& x, const LazyLocation& l, auto& o) {
                    return any_of(o, x, l, "/properties/dependencies/additionalProperties/anyOf", schema_branch<D>,
                                  [](const Value& y, const LazyLocation& ly, auto& oy) {
                                      return string_array_node<D>(y, ly, oy);
                                  });
                });
                if (!go_on) return false;
            }
            return true;
        case Key::Type:
            return any_of(out, v, loc, "/properties/type/anyOf", simple_types_branch, type_array_branch);
        case Key::SchemaArray:
            return schema_array_node<D>(v, loc, out);
        default:
            return leaf_member<D>(key, name, v, loc, out);
    }
}

template <Legacy D, class Out>
bool schema_node(const Value& v, const LazyLocation& loc, Out& out) {
    if constexpr (D == Legacy::D4) {
        if (!v.is_object()) return out.fail([&] { return type_error(JsonType::Object, v, loc, "/type"); });
        if (v.contains("exclusiveMaximum") && !v.contains("maximum") && !out.fail([&] {
                return meta_error(kinds::Required{Value::string("maximum")}, v, loc, "/dependencies/exclusiveMaximum");
            }))
            return false;
        if (v.contains("exclusiveMinimum") && !v.contains("minimum") && !out.fail([&] {
                return meta_error(kinds::Required{Value::string("minimum")}, v, loc, "/dependencies/exclusiveMinimum");
            }))
            return false;
    } else {
        if (v.is_bool()) return true;
        if (!v.is_object())
            return out.fail([&] {
                return meta_error(
                    core::type_kind_multiple(value::JsonTypeSet(JsonType::Boolean).with(JsonType::Object)), v, loc,
                    "/type");
            });
    }
    for (const auto& m : v.as_object()) {
        LazyLocation child = loc.push(m.key);
        std::string_view name = m.key;
        bool go_on = descend(out, m.value, child, [name](const Value& x, const LazyLocation& l, auto& o) {
            return member<D>(name, x, l, o);
        });
        if (!go_on) return false;
    }
    return true;
}

template <Legacy D>
constexpr auto root_node =
    [](const Value& v, const LazyLocation& loc, auto& out) { return schema_node<D>(v, loc, out); };

// Format answers never outlive one check.
template <Legacy D>
void start_check() {
    if constexpr (D != Legacy::D4) {
        format_cache<D>().uri.clear();
        format_cache<D>().uri_reference.clear();
    }
}

template <Legacy D>
std::optional<ValidationError> first_error(const Value& document) {
    start_check<D>();
    return run_first_error(document, root_node<D>);
}
template <Legacy D>
bool valid(const Value& document) {
    start_check<D>();
    return run_is_valid(document, root_node<D>);
}
template <Legacy D>
std::vector<ValidationError> all_errors(const Value& document) {
    start_check<D>();
    return run_collect(document, root_node<D>);
}

}  // namespace

std::optional<ValidationError> legacy_first_error(Legacy draft, const Value& document) {
    switch (draft) {
        case Legacy::D4:
            return first_error<Legacy::D4>(document);
        case Legacy::D6:
            return first_error<Legacy::D6>(document);
        case Legacy::D7:
            return first_error<Legacy::D7>(document);
    }
    return std::nullopt;
}

bool legacy_is_valid(Legacy draft, const Value& document) {
    switch (draft) {
        case Legacy::D4:
            return valid<Legacy::D4>(document);
        case Legacy::D6:
            return valid<Legacy::D6>(document);
        case Legacy::D7:
            return valid<Legacy::D7>(document);
    }
    return false;
}

std::vector<ValidationError> legacy_errors(Legacy draft, const Value& document) {
    switch (draft) {
        case Legacy::D4:
            return all_errors<Legacy::D4>(document);
        case Legacy::D6:
            return all_errors<Legacy::D6>(document);
        case Legacy::D7:
            return all_errors<Legacy::D7>(document);
    }
    return {};
}

}  // namespace deririrore::metaschema::detail
