// Checker of the draft 2019-09 meta-schema: the dialect document, whose "allOf" lists six
// vocabulary meta-schemas, each node one template over the mode (modes.hpp). Every
// {"$recursiveRef": "#"} of these meta-schemas is resolved through the dynamic scope: the
// outermost entry with a recursive anchor on the mode's scope stack, which during any check is
// the dialect's root node, so a nested subschema is checked against all six vocabularies.
#include "deririrore/metaschema/draft2019.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>

#include "deririrore/metaschema/modes.hpp"
#include "deririrore/metaschema/nodes.hpp"
#include "deririrore/value/cmp.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::metaschema::detail {

namespace {

using value::JsonType;

enum class Node : std::uint8_t {
    Root,
    Core,
    Applicator,
    Validation,
    MetaData,
    Format,
    Content,
    SchemaArray,
    NonNegativeInteger,
    NonNegativeIntegerDefault0,
    StringArray,
    SimpleTypes,
};

template <class Out>
constexpr std::uint8_t kMode = std::is_same_v<Out, FirstErrorMode> ? 0
                               : std::is_same_v<Out, IsValidMode>  ? 1
                                                                   : 2;

struct ScopeEntry {
    Node node;
    bool recursive_anchor;
};

struct VisitedEntry {
    Node node;
    std::uint8_t mode;
    const Value* instance;
};

// One scope stack per mode and the visited pairs of pending resolutions, per thread.
struct Scope {
    std::vector<ScopeEntry> stacks[3];
    std::vector<VisitedEntry> visited;
};

Scope& scope() {
    thread_local Scope s;
    return s;
}

// A node's scope entries for the length of its call, removed newest first on every path. A
// first-error node enters its is-valid twin too (the branches of its anyOf tests resolve
// through that stack), a collecting node likewise, and the root's first-error node also its
// collecting twin, so that the branch lists of its errors resolve to the root as well.
template <class Out>
class Registration {
public:
    Registration(Node node, bool recursive_anchor) {
        Scope& s = scope();
        try {
            if constexpr (kMode<Out> == 0) {
                push(s, 0, node, recursive_anchor);
                push(s, 1, node, recursive_anchor);
                if (node == Node::Root) push(s, 2, node, recursive_anchor);
            } else if constexpr (kMode<Out> == 1) {
                push(s, 1, node, recursive_anchor);
            } else {
                push(s, 2, node, recursive_anchor);
                push(s, 1, node, recursive_anchor);
            }
        } catch (...) {
            release(s);
            throw;
        }
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    ~Registration() { release(scope()); }

private:
    void push(Scope& s, std::uint8_t stack, Node node, bool recursive_anchor) {
        s.stacks[stack].push_back({node, recursive_anchor});
        pushed_[count_++] = stack;
    }
    void release(Scope& s) noexcept {
        while (count_ > 0) s.stacks[pushed_[--count_]].pop_back();
    }

    std::uint8_t pushed_[3] = {};
    std::uint8_t count_ = 0;
};

enum class Key : std::uint8_t {
    Typed,  // a type test only, at "/properties/<name>/type"
    Id,
    Anchor,
    Vocabulary,
    Defs,
    Subschema,
    Items,
    SchemaMap,
    SchemaArray,
    MultipleOf,
    Counter,
    CounterDefault0,
    Required,
    DependentRequired,
    Type,
    ContentSchema,
};

struct KeyInfo {
    Node vocabulary;
    Key key;
    JsonType expected = JsonType::Null;
};

const std::unordered_map<std::string_view, KeyInfo>& key_table() {
    static const std::unordered_map<std::string_view, KeyInfo> table{
        {"$id", {Node::Core, Key::Id}},
        {"$schema", {Node::Core, Key::Typed, JsonType::String}},
        {"$anchor", {Node::Core, Key::Anchor}},
        {"$ref", {Node::Core, Key::Typed, JsonType::String}},
        {"$recursiveRef", {Node::Core, Key::Typed, JsonType::String}},
        {"$recursiveAnchor", {Node::Core, Key::Typed, JsonType::Boolean}},
        {"$vocabulary", {Node::Core, Key::Vocabulary}},
        {"$comment", {Node::Core, Key::Typed, JsonType::String}},
        {"$defs", {Node::Core, Key::Defs}},

        {"additionalItems", {Node::Applicator, Key::Subschema}},
        {"unevaluatedItems", {Node::Applicator, Key::Subschema}},
        {"contains", {Node::Applicator, Key::Subschema}},
        {"additionalProperties", {Node::Applicator, Key::Subschema}},
        {"unevaluatedProperties", {Node::Applicator, Key::Subschema}},
        {"propertyNames", {Node::Applicator, Key::Subschema}},
        {"if", {Node::Applicator, Key::Subschema}},
        {"then", {Node::Applicator, Key::Subschema}},
        {"else", {Node::Applicator, Key::Subschema}},
        {"not", {Node::Applicator, Key::Subschema}},
        {"items", {Node::Applicator, Key::Items}},
        {"properties", {Node::Applicator, Key::SchemaMap}},
        {"patternProperties", {Node::Applicator, Key::SchemaMap}},
        {"dependentSchemas", {Node::Applicator, Key::SchemaMap}},
        {"allOf", {Node::Applicator, Key::SchemaArray}},
        {"anyOf", {Node::Applicator, Key::SchemaArray}},
        {"oneOf", {Node::Applicator, Key::SchemaArray}},

        {"multipleOf", {Node::Validation, Key::MultipleOf}},
        {"maximum", {Node::Validation, Key::Typed, JsonType::Number}},
        {"exclusiveMaximum", {Node::Validation, Key::Typed, JsonType::Number}},
        {"minimum", {Node::Validation, Key::Typed, JsonType::Number}},
        {"exclusiveMinimum", {Node::Validation, Key::Typed, JsonType::Number}},
        {"maxLength", {Node::Validation, Key::Counter}},
        {"maxItems", {Node::Validation, Key::Counter}},
        {"maxContains", {Node::Validation, Key::Counter}},
        {"minContains", {Node::Validation, Key::Counter}},
        {"maxProperties", {Node::Validation, Key::Counter}},
        {"minLength", {Node::Validation, Key::CounterDefault0}},
        {"minItems", {Node::Validation, Key::CounterDefault0}},
        {"minProperties", {Node::Validation, Key::CounterDefault0}},
        {"pattern", {Node::Validation, Key::Typed, JsonType::String}},
        {"uniqueItems", {Node::Validation, Key::Typed, JsonType::Boolean}},
        {"required", {Node::Validation, Key::Required}},
        {"dependentRequired", {Node::Validation, Key::DependentRequired}},
        {"enum", {Node::Validation, Key::Typed, JsonType::Array}},
        {"type", {Node::Validation, Key::Type}},

        {"title", {Node::MetaData, Key::Typed, JsonType::String}},
        {"description", {Node::MetaData, Key::Typed, JsonType::String}},
        {"deprecated", {Node::MetaData, Key::Typed, JsonType::Boolean}},
        {"readOnly", {Node::MetaData, Key::Typed, JsonType::Boolean}},
        {"writeOnly", {Node::MetaData, Key::Typed, JsonType::Boolean}},
        {"examples", {Node::MetaData, Key::Typed, JsonType::Array}},

        {"format", {Node::Format, Key::Typed, JsonType::String}},

        {"contentMediaType", {Node::Content, Key::Typed, JsonType::String}},
        {"contentEncoding", {Node::Content, Key::Typed, JsonType::String}},
        {"contentSchema", {Node::Content, Key::ContentSchema}},
    };
    return table;
}

bool has_type(const Value& v, JsonType type) noexcept {
    switch (type) {
        case JsonType::Boolean:
            return v.is_bool();
        case JsonType::Number:
            return v.is_number();
        case JsonType::String:
            return v.is_string();
        case JsonType::Array:
            return v.is_array();
        case JsonType::Object:
            return v.is_object();
        default:
            return v.is_null();
    }
}

std::string property_path(std::string_view name, std::string_view tail) {
    std::string s("/properties/");
    s.append(name).append(tail);
    return s;
}

constexpr std::string_view kIdPattern = "^[^#]*#?$";
constexpr std::string_view kAnchorPattern = "^[A-Za-z][-A-Za-z0-9.:_]*$";

ValidationError object_or_boolean_error(const Value& v, const LazyLocation& loc) {
    return meta_error(core::type_kind_multiple(value::JsonTypeSet(JsonType::Boolean).with(JsonType::Object)), v, loc,
                      "/type");
}

template <class Out>
bool node_check(Node node, const Value& v, const LazyLocation& loc, Out& out);

// {"$recursiveRef": "#"}: the outermost anchored entry of the mode's stack names the node, or
// the reference's own meta-schema when there is none (a check that starts at the root always
// finds the root). A (node, instance) pair already being resolved passes.
template <class Out>
[[gnu::noinline]] bool recursive_ref(const Value& v, const LazyLocation& loc, Out& out, Node own_resource) {
    Scope& s = scope();
    Node target = own_resource;
    for (const auto& entry : s.stacks[kMode<Out>]) {
        if (entry.recursive_anchor) {
            target = entry.node;
            break;
        }
    }
    for (const auto& entry : s.visited)
        if (entry.node == target && entry.mode == kMode<Out> && entry.instance == &v) return true;
    s.visited.push_back({target, kMode<Out>, &v});
    struct Unmark {
        ~Unmark() { scope().visited.pop_back(); }
    } unmark;
    return node_check(target, v, loc, out);
}

template <Node Own>
constexpr auto ref_branch =
    [](const Value& v, const LazyLocation& loc, auto& out) { return recursive_ref(v, loc, out, Own); };

// Every member value of an object as {"$recursiveRef": "#"}, one level below the map.
template <Node Own, class Out>
bool schema_map(const Value& v, const LazyLocation& loc, Out& out, std::string_view name) {
    if (!v.is_object())
        return out.fail([&] { return type_error(JsonType::Object, v, loc, property_path(name, "/type")); });
    for (const auto& m : v.as_object()) {
        LazyLocation child = loc.push(m.key);
        if (!descend(out, m.value, child, ref_branch<Own>)) return false;
    }
    return true;
}

template <class Out>
bool schema_array_node(const Value& v, const LazyLocation& loc, Out& out) {
    Registration<Out> entries(Node::SchemaArray, false);
    return schema_array_check(v, loc, out, "/$defs/schemaArray", [](const Value& x, const LazyLocation& l, Out& o) {
        return descend(o, x, l, ref_branch<Node::Applicator>);
    });
}

constexpr auto schema_array_branch = [](const Value& v, const LazyLocation& loc, auto& out) {
    return schema_array_node(v, loc, out);
};

template <class Out>
bool string_array_node(const Value& v, const LazyLocation& loc, Out& out) {
    Registration<Out> entries(Node::StringArray, false);
    return string_array_check(v, loc, out, "/$defs/stringArray", false);
}

constexpr auto string_array_branch = [](const Value& v, const LazyLocation& loc, auto& out) {
    return string_array_node(v, loc, out);
};

template <class Out>
bool non_negative_integer_node(const Value& v, const LazyLocation& loc, Out& out) {
    Registration<Out> entries(Node::NonNegativeInteger, false);
    return counter_check(v, loc, out, "/$defs/nonNegativeInteger", value::is_integer_text);
}

constexpr auto simple_types_branch = [](const Value& v, const LazyLocation& loc, auto& out) {
    Registration<std::remove_reference_t<decltype(out)>> entries(Node::SimpleTypes, false);
    return simple_type_check(v, loc, out, "/$defs/simpleTypes/enum");
};

constexpr auto type_array_branch = [](const Value& v, const LazyLocation& loc, auto& out) {
    return type_array_check(v, loc, out, simple_types_branch);
};

template <class Out>
bool typed(const Value& v, const LazyLocation& loc, Out& out, std::string_view name, JsonType expected) {
    if (has_type(v, expected)) return true;
    return out.fail([&] { return type_error(expected, v, loc, property_path(name, "/type")); });
}

template <class Out>
bool patterned(const Value& v, const LazyLocation& loc, Out& out, std::string_view name, std::string_view pattern,
               bool (*matches)(std::string_view) noexcept) {
    if (!typed(v, loc, out, name, JsonType::String)) return false;
    if (!v.is_string() || matches(v.as_string())) return true;
    return out.fail(
        [&] { return meta_error(kinds::Pattern{std::string(pattern)}, v, loc, property_path(name, "/pattern")); });
}

// Members whose tests never reach a subschema.
template <class Out>
[[gnu::noinline]] bool leaf_member(const KeyInfo& info, std::string_view name, const Value& v, const LazyLocation& loc,
                                   Out& out) {
    switch (info.key) {
        case Key::Typed:
            return typed(v, loc, out, name, info.expected);
        case Key::Id:
            return patterned(v, loc, out, name, kIdPattern, draft201909_id_matches);
        case Key::Anchor:
            return patterned(v, loc, out, name, kAnchorPattern, draft201909_anchor_matches);
        case Key::Vocabulary:
            if (!typed(v, loc, out, name, JsonType::Object)) return false;
            if (!v.is_object()) return true;
            for (const auto& m : v.as_object()) {
                if (m.value.is_bool()) continue;
                LazyLocation child = loc.push(m.key);
                if (!out.fail([&] {
                        return type_error(JsonType::Boolean, m.value, child,
                                          "/properties/$vocabulary/additionalProperties/type");
                    }))
                    return false;
            }
            return true;
        case Key::MultipleOf:
            if (!v.is_number()) return typed(v, loc, out, name, JsonType::Number);
            if (is_positive_number(v.number_text())) return true;
            return out.fail([&] {
                return meta_error(kinds::ExclusiveMinimum{Value::number("0")}, v, loc,
                                  "/properties/multipleOf/exclusiveMinimum");
            });
        case Key::Counter:
            return non_negative_integer_node(v, loc, out);
        case Key::CounterDefault0: {
            Registration<Out> entries(Node::NonNegativeIntegerDefault0, false);
            return non_negative_integer_node(v, loc, out);
        }
        case Key::Required:
            return string_array_node(v, loc, out);
        case Key::DependentRequired:
            if (!typed(v, loc, out, name, JsonType::Object)) return false;
            if (!v.is_object()) return true;
            for (const auto& m : v.as_object()) {
                LazyLocation child = loc.push(m.key);
                if (!string_array_node(m.value, child, out)) return false;
            }
            return true;
        case Key::Type:
            return any_of(out, v, loc, "/properties/type/anyOf", simple_types_branch, type_array_branch);
        default:
            return true;
    }
}

// Members whose values hold subschemas; the only ones through which a check recurses.
template <Node Own, class Out>
[[gnu::noinline]] bool member(const KeyInfo& info, std::string_view name, const Value& v, const LazyLocation& loc,
                              Out& out) {
    switch (info.key) {
        case Key::Defs:
        case Key::SchemaMap:
            return descend(out, v, loc, [name](const Value& x, const LazyLocation& l, auto& o) {
                return schema_map<Own>(x, l, o, name);
            });
        case Key::Subschema:
        case Key::ContentSchema:
            return descend(out, v, loc, ref_branch<Own>);
        case Key::Items:
            return descend(out, v, loc, [](const Value& x, const LazyLocation& l, auto& o) {
                return any_of(o, x, l, "/properties/items/anyOf", ref_branch<Own>, schema_array_branch);
            });
        case Key::SchemaArray:
            return descend(out, v, loc, schema_array_branch);
        default:
            return leaf_member(info, name, v, loc, out);
    }
}

// One vocabulary meta-schema: a boolean passes, any other non-object fails at "/type", and each
// member that the vocabulary names is tested, in key order.
template <Node N, class Out>
bool vocabulary_node(const Value& v, const LazyLocation& loc, Out& out) {
    Registration<Out> entries(N, true);
    if (v.is_bool()) return true;
    if (!v.is_object()) return out.fail([&] { return object_or_boolean_error(v, loc); });
    const auto& table = key_table();
    for (const auto& m : v.as_object()) {
        auto it = table.find(m.key);
        if (it == table.end() || it->second.vocabulary != N) continue;
        LazyLocation child = loc.push(m.key);
        if (!member<N>(it->second, m.key, m.value, child, out)) return false;
    }
    return true;
}

// The dialect: its six vocabularies in the order of its "allOf", then its own "definitions"
// and "dependencies".
template <class Out>
bool schema_node(const Value& v, const LazyLocation& loc, Out& out) {
    Registration<Out> entries(Node::Root, true);
    if (!vocabulary_node<Node::Core>(v, loc, out)) return false;
    if (!vocabulary_node<Node::Applicator>(v, loc, out)) return false;
    if (!vocabulary_node<Node::Validation>(v, loc, out)) return false;
    if (!vocabulary_node<Node::MetaData>(v, loc, out)) return false;
    if (!vocabulary_node<Node::Format>(v, loc, out)) return false;
    if (!vocabulary_node<Node::Content>(v, loc, out)) return false;
    if (v.is_bool()) return true;
    if (!v.is_object()) return out.fail([&] { return object_or_boolean_error(v, loc); });
    if (const Value* definitions = v.find("definitions")) {
        LazyLocation child = loc.push(std::string_view("definitions"));
        bool go_on = descend(out, *definitions, child, [](const Value& x, const LazyLocation& l, auto& o) {
            return schema_map<Node::Root>(x, l, o, "definitions");
        });
        if (!go_on) return false;
    }
    if (const Value* dependencies = v.find("dependencies")) {
        LazyLocation child = loc.push(std::string_view("dependencies"));
        bool go_on = descend(out, *dependencies, child, [](const Value& x, const LazyLocation& l, auto& o) {
            if (!x.is_object())
                return o.fail([&] { return type_error(JsonType::Object, x, l, "/properties/dependencies/type"); });
            for (const auto& m : x.as_object()) {
                LazyLocation member_loc = l.push(m.key);
                bool member_ok = descend(o, m.value, member_loc, [](const Value& y, const LazyLocation& ly, auto& oy) {
                    return any_of(oy, y, ly, "/properties/dependencies/additionalProperties/anyOf",
                                  ref_branch<Node::Root>, string_array_branch);
                });
                if (!member_ok) return false;
            }
            return true;
        });
        if (!go_on) return false;
    }
    return true;
}

template <class Out>
bool node_check(Node node, const Value& v, const LazyLocation& loc, Out& out) {
    switch (node) {
        case Node::Core:
            return vocabulary_node<Node::Core>(v, loc, out);
        case Node::Applicator:
            return vocabulary_node<Node::Applicator>(v, loc, out);
        case Node::Validation:
            return vocabulary_node<Node::Validation>(v, loc, out);
        case Node::MetaData:
            return vocabulary_node<Node::MetaData>(v, loc, out);
        case Node::Format:
            return vocabulary_node<Node::Format>(v, loc, out);
        case Node::Content:
            return vocabulary_node<Node::Content>(v, loc, out);
        default:
            return schema_node(v, loc, out);
    }
}

constexpr auto root_node = [](const Value& v, const LazyLocation& loc, auto& out) { return schema_node(v, loc, out); };

}  // namespace

bool draft201909_id_matches(std::string_view text) noexcept {
    std::size_t hash = text.find('#');
    return hash == std::string_view::npos || hash + 1 == text.size();
}

bool draft201909_anchor_matches(std::string_view text) noexcept {
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (text.empty() || !letter(text.front())) return false;
    for (char c : text.substr(1)) {
        bool ok = letter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':' || c == '_';
        if (!ok) return false;
    }
    return true;
}

std::optional<ValidationError> draft201909_first_error(const Value& document) {
    return run_first_error(document, root_node);
}

bool draft201909_is_valid(const Value& document) { return run_is_valid(document, root_node); }

std::vector<ValidationError> draft201909_errors(const Value& document) { return run_collect(document, root_node); }

Draft201909StackSizes draft201909_stack_sizes() noexcept {
    const Scope& s = scope();
    return {s.stacks[0].size(), s.stacks[1].size(), s.stacks[2].size(), s.visited.size()};
}

}  // namespace deririrore::metaschema::detail
