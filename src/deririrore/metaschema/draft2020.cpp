// Checker of the draft 2020-12 meta-schema. Each resource (the dialect and its seven vocabulary
// meta-schemas) is one template over the mode (modes.hpp), entered either as an entry form, which
// pushes its own "meta" scope entries while it runs, or as an anchor form, which does not (what a
// "#meta" resolution calls). A resolution takes the outermost "meta" entry of its mode's stack;
// from the dialect's root that is always the dialect, so every subschema is checked against the
// whole dialect.
#include "deririrore/metaschema/draft2020.hpp"

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <utility>

#include "deririrore/metaschema/modes.hpp"
#include "deririrore/metaschema/nodes.hpp"
#include "deririrore/value/cmp.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::metaschema {

namespace {

using core::LazyLocation;
using detail::CollectMode;
using detail::descend;
using detail::FirstErrorMode;
using detail::IsValidMode;
using detail::meta_error;
using detail::type_error;
using value::JsonType;
using Resource = Draft2020Resource;
namespace kinds = core::kinds;

constexpr std::string_view kMetaAnchor = "meta";
constexpr std::string_view kAnchorPattern = "^[A-Za-z_][-A-Za-z0-9._]*$";
constexpr std::string_view kIdPattern = "^[^#]*#?$";

// Which scope stack a mode uses.
template <class Out>
constexpr int kStack = std::is_same_v<Out, IsValidMode>      ? 0
                       : std::is_same_v<Out, FirstErrorMode> ? 1
                                                             : 2;
constexpr int kIsValidStack = 0;

struct ScopeEntry {
    std::string_view anchor;
    Resource resource;
};

struct VisitedEntry {
    Resource resource;
    int stack;
    const Value* value;
};

struct ScopeState {
    std::vector<ScopeEntry> stacks[3];
    std::vector<VisitedEntry> visited;
    std::size_t pushes = 0;
    std::size_t pops = 0;
    std::size_t deepest = 0;
};

ScopeState& scope_state() {
    thread_local ScopeState state;
    return state;
}

void scope_push(int stack, Resource resource) {
    ScopeState& s = scope_state();
    s.stacks[stack].push_back({kMetaAnchor, resource});
    ++s.pushes;
    s.deepest = std::max(s.deepest, s.stacks[stack].size());
}

void scope_pop(int stack) noexcept {
    ScopeState& s = scope_state();
    if (s.stacks[stack].empty()) return;
    s.stacks[stack].pop_back();
    ++s.pops;
}

// The earliest pushed entry still present whose anchor is "meta"; the dialect when there is none,
// which only a resource entered on its own without pushing could meet.
Resource scope_outermost(int stack) noexcept {
    for (const ScopeEntry& entry : scope_state().stacks[stack]) {
        if (entry.anchor.size() == kMetaAnchor.size() && entry.anchor == kMetaAnchor) return entry.resource;
    }
    return Resource::Dialect;
}

// The entries of one resource while a checker of mode Out runs: the is-valid entry always, the
// mode's own entry for the other two modes. Popped in reverse order on every path.
template <class Out>
class ScopeEntries {
public:
    explicit ScopeEntries(Resource resource) {
        scope_push(kIsValidStack, resource);
        if constexpr (kStack<Out> != kIsValidStack) {
            try {
                scope_push(kStack<Out>, resource);
            } catch (...) {
                scope_pop(kIsValidStack);
                throw;
            }
        }
    }
    ~ScopeEntries() {
        if constexpr (kStack<Out> != kIsValidStack) scope_pop(kStack<Out>);
        scope_pop(kIsValidStack);
    }
    ScopeEntries(const ScopeEntries&) = delete;
    ScopeEntries& operator=(const ScopeEntries&) = delete;
};

// The root's entries: the dialect on all three stacks, so that a collecting resolution below a
// first-error check (the branch lists of an `anyOf` error) finds the dialect too.
class RootEntries {
public:
    RootEntries() {
        int pushed = 0;
        try {
            for (; pushed < 3; ++pushed) scope_push(pushed, Resource::Dialect);
        } catch (...) {
            while (pushed > 0) scope_pop(--pushed);
            throw;
        }
    }
    ~RootEntries() {
        for (int stack = 2; stack >= 0; --stack) scope_pop(stack);
    }
    RootEntries(const RootEntries&) = delete;
    RootEntries& operator=(const RootEntries&) = delete;
};

// False when the pair is already being resolved (nothing is pushed then).
bool visited_enter(Resource resource, int stack, const Value* value) {
    ScopeState& s = scope_state();
    for (const VisitedEntry& e : s.visited) {
        if (e.resource == resource && e.stack == stack && e.value == value) return false;
    }
    s.visited.push_back({resource, stack, value});
    ++s.pushes;
    return true;
}

class VisitedLeave {
public:
    VisitedLeave() = default;
    ~VisitedLeave() {
        ScopeState& s = scope_state();
        if (s.visited.empty()) return;
        s.visited.pop_back();
        ++s.pops;
    }
    VisitedLeave(const VisitedLeave&) = delete;
    VisitedLeave& operator=(const VisitedLeave&) = delete;
};

// Both patterns of the core vocabulary are plain byte classes anchored at both ends, so they are
// tested directly: the same answers as the regular expressions, with no engine to fail.
bool matches_anchor_pattern(std::string_view text) noexcept {
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (text.empty() || !letter(text.front())) return false;
    return std::all_of(text.begin() + 1, text.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; });
}

// No "#", or a single one as the last character. "#" is one byte that never occurs inside
// another character's UTF-8 encoding.
bool matches_id_pattern(std::string_view text) noexcept {
    std::size_t hash = text.find('#');
    return hash == std::string_view::npos || hash + 1 == text.size();
}

[[gnu::noinline]] ValidationError object_or_boolean_error(const Value& v, const LazyLocation& loc) {
    return meta_error(core::type_kind_multiple(value::JsonTypeSet(JsonType::Boolean).with(JsonType::Object)), v, loc,
                      "/type");
}

template <class Out>
bool expect(Out& out, bool ok, JsonType type, const Value& v, const LazyLocation& loc, std::string_view path) {
    if (ok) return true;
    return out.fail([&] { return type_error(type, v, loc, path); });
}

template <class Out>
bool dialect(const Value& v, const LazyLocation& loc, Out& out);
template <Resource R, bool Entry, class Out>
bool vocabulary(const Value& v, const LazyLocation& loc, Out& out);

template <class Out>
bool dispatch(Resource resource, const Value& v, const LazyLocation& loc, Out& out) {
    switch (resource) {
        case Resource::Dialect:
            return dialect(v, loc, out);
        case Resource::Core:
            return vocabulary<Resource::Core, false>(v, loc, out);
        case Resource::Applicator:
            return vocabulary<Resource::Applicator, false>(v, loc, out);
        case Resource::Unevaluated:
            return vocabulary<Resource::Unevaluated, false>(v, loc, out);
        case Resource::Validation:
            return vocabulary<Resource::Validation, false>(v, loc, out);
        case Resource::MetaData:
            return vocabulary<Resource::MetaData, false>(v, loc, out);
        case Resource::FormatAnnotation:
            return vocabulary<Resource::FormatAnnotation, false>(v, loc, out);
        case Resource::Content:
            return vocabulary<Resource::Content, false>(v, loc, out);
    }
    return dialect(v, loc, out);
}

// `{"$dynamicRef": "#meta"}`: the outermost "meta" entry of the mode's stack decides the checker;
// a value already being checked by that checker passes at once. Each resolution is one level of
// nesting, bounded like the other checkers.
template <class Out>
[[gnu::noinline]] bool dynamic_meta(const Value& v, const LazyLocation& loc, Out& out) {
    const Resource target = scope_outermost(kStack<Out>);
    if (!visited_enter(target, kStack<Out>, &v)) return true;
    VisitedLeave leave;
    return descend(out, v, loc,
                   [target](const Value& x, const LazyLocation& l, auto& o) { return dispatch(target, x, l, o); });
}

// A subschema position. Collecting first asks whether the value is valid at all, so that a valid
// subschema builds nothing.
template <class Out>
bool meta_ref(const Value& v, const LazyLocation& loc, Out& out) {
    if constexpr (std::is_same_v<Out, CollectMode>) {
        IsValidMode probe{out.depth};
        if (dynamic_meta(v, loc, probe)) return true;
    }
    return dynamic_meta(v, loc, out);
}

template <class Out>
bool schema_map(const Value& v, const LazyLocation& loc, Out& out, std::string_view type_path) {
    if (!v.is_object()) return out.fail([&] { return type_error(JsonType::Object, v, loc, type_path); });
    for (const auto& m : v.as_object()) {
        LazyLocation child = loc.push(m.key);
        if (!meta_ref(m.value, child, out)) return false;
    }
    return true;
}

template <class Out>
bool schema_array(const Value& v, const LazyLocation& loc, Out& out) {
    return schema_array_check(v, loc, out, "/$defs/schemaArray",
                              [](const Value& x, const LazyLocation& l, Out& o) { return meta_ref(x, l, o); });
}

template <class Out>
bool anchor_string(const Value& v, const LazyLocation& loc, Out& out) {
    if (!v.is_string())
        return out.fail([&] { return type_error(JsonType::String, v, loc, "/$defs/anchorString/type"); });
    if (matches_anchor_pattern(v.as_string())) return true;
    return out.fail(
        [&] { return meta_error(kinds::Pattern{std::string(kAnchorPattern)}, v, loc, "/$defs/anchorString/pattern"); });
}

template <class Out>
bool uri_reference_string(const Value& v, const LazyLocation& loc, Out& out) {
    return expect(out, v.is_string(), JsonType::String, v, loc, "/$defs/uriReferenceString/type");
}

// Validation's $defs/stringArray, which the dialect's `dependencies` shares.
template <class Out>
bool string_array(const Value& v, const LazyLocation& loc, Out& out) {
    return string_array_check(v, loc, out, "/$defs/stringArray", false);
}

// $defs/nonNegativeInteger (and nonNegativeIntegerDefault0, which only refers to it).
template <class Out>
bool non_negative_integer(const Value& v, const LazyLocation& loc, Out& out) {
    return counter_check(v, loc, out, "/$defs/nonNegativeInteger", value::is_integer_text);
}

constexpr auto simple_types_branch = [](const Value& v, const LazyLocation& loc, auto& out) {
    return simple_type_check(v, loc, out, "/$defs/simpleTypes/enum");
};

constexpr auto type_array_branch = [](const Value& v, const LazyLocation& loc, auto& out) {
    return type_array_check(v, loc, out, simple_types_branch);
};

template <class Out>
bool core_member(std::string_view name, const Value& m, const LazyLocation& lm, Out& out) {
    if (name == "$anchor" || name == "$dynamicAnchor") return anchor_string(m, lm, out);
    if (name == "$comment") return expect(out, m.is_string(), JsonType::String, m, lm, "/properties/$comment/type");
    if (name == "$defs") return schema_map(m, lm, out, "/properties/$defs/type");
    if (name == "$dynamicRef" || name == "$ref") return uri_reference_string(m, lm, out);
    if (name == "$id") {
        if (!m.is_string()) return uri_reference_string(m, lm, out);
        if (matches_id_pattern(m.as_string())) return true;
        return out.fail(
            [&] { return meta_error(kinds::Pattern{std::string(kIdPattern)}, m, lm, "/properties/$id/pattern"); });
    }
    if (name == "$schema") return expect(out, m.is_string(), JsonType::String, m, lm, "/$defs/uriString/type");
    if (name == "$vocabulary") {
        if (!m.is_object())
            return out.fail([&] { return type_error(JsonType::Object, m, lm, "/properties/$vocabulary/type"); });
        for (const auto& entry : m.as_object()) {
            if (entry.value.is_bool()) continue;
            LazyLocation child = lm.push(entry.key);
            if (!out.fail([&] {
                    return type_error(JsonType::Boolean, entry.value, child,
                                      "/properties/$vocabulary/additionalProperties/type");
                }))
                return false;
        }
    }
    return true;
}

template <class Out>
bool applicator_member(std::string_view name, const Value& m, const LazyLocation& lm, Out& out, bool entry) {
    if (name == "additionalProperties" || name == "contains" || name == "else" || name == "if" || name == "items" ||
        name == "not" || name == "propertyNames" || name == "then")
        return meta_ref(m, lm, out);
    if (name == "allOf" || name == "anyOf" || name == "oneOf" || name == "prefixItems") {
        if (!entry) return schema_array(m, lm, out);
        ScopeEntries<Out> again(Resource::Applicator);
        return schema_array(m, lm, out);
    }
    if (name == "dependentSchemas") return schema_map(m, lm, out, "/properties/dependentSchemas/type");
    if (name == "patternProperties") return schema_map(m, lm, out, "/properties/patternProperties/type");
    if (name == "properties") return schema_map(m, lm, out, "/properties/properties/type");
    return true;
}

template <class Out>
bool unevaluated_member(std::string_view name, const Value& m, const LazyLocation& lm, Out& out) {
    if (name == "unevaluatedItems" || name == "unevaluatedProperties") return meta_ref(m, lm, out);
    return true;
}

template <class Out>
bool validation_member(std::string_view name, const Value& m, const LazyLocation& lm, Out& out) {
    if (name == "dependentRequired") {
        if (!m.is_object())
            return out.fail([&] { return type_error(JsonType::Object, m, lm, "/properties/dependentRequired/type"); });
        for (const auto& entry : m.as_object()) {
            LazyLocation child = lm.push(entry.key);
            if (!string_array(entry.value, child, out)) return false;
        }
        return true;
    }
    if (name == "enum") return expect(out, m.is_array(), JsonType::Array, m, lm, "/properties/enum/type");
    if (name == "exclusiveMaximum")
        return expect(out, m.is_number(), JsonType::Number, m, lm, "/properties/exclusiveMaximum/type");
    if (name == "exclusiveMinimum")
        return expect(out, m.is_number(), JsonType::Number, m, lm, "/properties/exclusiveMinimum/type");
    if (name == "maximum") return expect(out, m.is_number(), JsonType::Number, m, lm, "/properties/maximum/type");
    if (name == "minimum") return expect(out, m.is_number(), JsonType::Number, m, lm, "/properties/minimum/type");
    if (name == "maxContains" || name == "maxItems" || name == "maxLength" || name == "maxProperties" ||
        name == "minContains" || name == "minItems" || name == "minLength" || name == "minProperties")
        return non_negative_integer(m, lm, out);
    if (name == "multipleOf") {
        if (!m.is_number())
            return out.fail([&] { return type_error(JsonType::Number, m, lm, "/properties/multipleOf/type"); });
        if (is_positive_number(m.number_text())) return true;
        return out.fail([&] {
            return meta_error(kinds::ExclusiveMinimum{Value::number("0")}, m, lm,
                              "/properties/multipleOf/exclusiveMinimum");
        });
    }
    if (name == "pattern") return expect(out, m.is_string(), JsonType::String, m, lm, "/properties/pattern/type");
    if (name == "required") return string_array(m, lm, out);
    if (name == "type")
        return detail::any_of(out, m, lm, "/properties/type/anyOf", simple_types_branch, type_array_branch);
    if (name == "uniqueItems")
        return expect(out, m.is_bool(), JsonType::Boolean, m, lm, "/properties/uniqueItems/type");
    return true;
}

template <class Out>
bool meta_data_member(std::string_view name, const Value& m, const LazyLocation& lm, Out& out) {
    if (name == "deprecated") return expect(out, m.is_bool(), JsonType::Boolean, m, lm, "/properties/deprecated/type");
    if (name == "description")
        return expect(out, m.is_string(), JsonType::String, m, lm, "/properties/description/type");
    if (name == "examples") return expect(out, m.is_array(), JsonType::Array, m, lm, "/properties/examples/type");
    if (name == "readOnly") return expect(out, m.is_bool(), JsonType::Boolean, m, lm, "/properties/readOnly/type");
    if (name == "title") return expect(out, m.is_string(), JsonType::String, m, lm, "/properties/title/type");
    if (name == "writeOnly") return expect(out, m.is_bool(), JsonType::Boolean, m, lm, "/properties/writeOnly/type");
    return true;
}

template <class Out>
bool content_member(std::string_view name, const Value& m, const LazyLocation& lm, Out& out) {
    if (name == "contentEncoding")
        return expect(out, m.is_string(), JsonType::String, m, lm, "/properties/contentEncoding/type");
    if (name == "contentMediaType")
        return expect(out, m.is_string(), JsonType::String, m, lm, "/properties/contentMediaType/type");
    if (name == "contentSchema") return meta_ref(m, lm, out);
    return true;
}

template <Resource R, class Out>
[[gnu::noinline]] bool member_of(std::string_view name, const Value& m, const LazyLocation& lm, Out& out, bool entry) {
    if constexpr (R == Resource::Core) return core_member(name, m, lm, out);
    if constexpr (R == Resource::Applicator) return applicator_member(name, m, lm, out, entry);
    if constexpr (R == Resource::Unevaluated) return unevaluated_member(name, m, lm, out);
    if constexpr (R == Resource::Validation) return validation_member(name, m, lm, out);
    if constexpr (R == Resource::MetaData) return meta_data_member(name, m, lm, out);
    if constexpr (R == Resource::FormatAnnotation) {
        if (name == "format") return expect(out, m.is_string(), JsonType::String, m, lm, "/properties/format/type");
        return true;
    }
    if constexpr (R == Resource::Content) return content_member(name, m, lm, out);
    return true;
}

// Every vocabulary meta-schema has `"type": ["object", "boolean"]` and keywords checked in the
// members' (ascending byte) order, which is also the order in which collected errors come.
template <Resource R, class Out>
bool vocabulary_body(const Value& v, const LazyLocation& loc, Out& out, bool entry) {
    if (v.is_bool()) return true;
    if (!v.is_object()) return out.fail([&] { return object_or_boolean_error(v, loc); });
    for (const auto& m : v.as_object()) {
        LazyLocation child = loc.push(m.key);
        if (!member_of<R>(m.key, m.value, child, out, entry)) return false;
    }
    return true;
}

template <Resource R, bool Entry, class Out>
bool vocabulary(const Value& v, const LazyLocation& loc, Out& out) {
    if constexpr (Entry) {
        ScopeEntries<Out> own(R);
        return vocabulary_body<R>(v, loc, out, true);
    } else {
        return vocabulary_body<R>(v, loc, out, false);
    }
}

// The dialect's own keywords: the deprecated ones it keeps from 2019-09.
template <class Out>
[[gnu::noinline]] bool dialect_member(std::string_view name, const Value& m, const LazyLocation& lm, Out& out) {
    if (name == "$recursiveAnchor") return anchor_string(m, lm, out);
    if (name == "$recursiveRef") return uri_reference_string(m, lm, out);
    if (name == "definitions") return schema_map(m, lm, out, "/properties/definitions/type");
    if (name == "dependencies") {
        if (!m.is_object())
            return out.fail([&] { return type_error(JsonType::Object, m, lm, "/properties/dependencies/type"); });
        for (const auto& entry : m.as_object()) {
            LazyLocation child = lm.push(entry.key);
            bool go_on = detail::any_of(
                out, entry.value, child, "/properties/dependencies/additionalProperties/anyOf",
                [](const Value& x, const LazyLocation& l, auto& o) { return dynamic_meta(x, l, o); },
                [](const Value& x, const LazyLocation& l, auto& o) { return string_array(x, l, o); });
            if (!go_on) return false;
        }
    }
    return true;
}

template <class Out>
bool dialect_own(const Value& v, const LazyLocation& loc, Out& out) {
    if (v.is_bool()) return true;
    if (!v.is_object()) return out.fail([&] { return object_or_boolean_error(v, loc); });
    for (const auto& m : v.as_object()) {
        LazyLocation child = loc.push(m.key);
        if (!dialect_member(m.key, m.value, child, out)) return false;
    }
    return true;
}

// The vocabularies in the dialect's `allOf` order, each entered with the dialect's entries
// pushed again around it.
template <Resource R, class Out>
bool dialect_vocabulary(const Value& v, const LazyLocation& loc, Out& out) {
    ScopeEntries<Out> again(Resource::Dialect);
    return vocabulary<R, true>(v, loc, out);
}

template <class Out>
bool dialect_vocabularies(const Value& v, const LazyLocation& loc, Out& out) {
    return dialect_vocabulary<Resource::Core>(v, loc, out) && dialect_vocabulary<Resource::Applicator>(v, loc, out) &&
           dialect_vocabulary<Resource::Unevaluated>(v, loc, out) &&
           dialect_vocabulary<Resource::Validation>(v, loc, out) &&
           dialect_vocabulary<Resource::MetaData>(v, loc, out) &&
           dialect_vocabulary<Resource::FormatAnnotation>(v, loc, out) &&
           dialect_vocabulary<Resource::Content>(v, loc, out);
}

// Is-valid tests the dialect's own keywords first (cheap, and usually decisive); the other modes
// report the vocabularies' errors first.
template <class Out>
bool dialect_body(const Value& v, const LazyLocation& loc, Out& out) {
    if constexpr (Out::probe) {
        return dialect_own(v, loc, out) && dialect_vocabularies(v, loc, out);
    } else {
        if (!dialect_vocabularies(v, loc, out)) return false;
        return dialect_own(v, loc, out);
    }
}

template <class Out>
bool dialect(const Value& v, const LazyLocation& loc, Out& out) {
    ScopeEntries<Out> own(Resource::Dialect);
    return dialect_body(v, loc, out);
}

template <class Out>
bool run_resource(Resource resource, const Value& document, Out& out) {
    LazyLocation root;
    switch (resource) {
        case Resource::Dialect: {
            RootEntries entries;
            return dialect_body(document, root, out);
        }
        case Resource::Core:
            return vocabulary<Resource::Core, true>(document, root, out);
        case Resource::Applicator:
            return vocabulary<Resource::Applicator, true>(document, root, out);
        case Resource::Unevaluated:
            return vocabulary<Resource::Unevaluated, true>(document, root, out);
        case Resource::Validation:
            return vocabulary<Resource::Validation, true>(document, root, out);
        case Resource::MetaData:
            return vocabulary<Resource::MetaData, true>(document, root, out);
        case Resource::FormatAnnotation:
            return vocabulary<Resource::FormatAnnotation, true>(document, root, out);
        case Resource::Content:
            return vocabulary<Resource::Content, true>(document, root, out);
    }
    return false;
}

}  // namespace

std::optional<ValidationError> draft2020_resource_first_error(Draft2020Resource resource, const Value& document) {
    FirstErrorMode out;
    run_resource(resource, document, out);
    return std::move(out.error);
}

bool draft2020_resource_is_valid(Draft2020Resource resource, const Value& document) {
    IsValidMode out;
    return run_resource(resource, document, out);
}

std::vector<ValidationError> draft2020_resource_errors(Draft2020Resource resource, const Value& document) {
    std::vector<ValidationError> list;
    CollectMode out{0, &list};
    run_resource(resource, document, out);
    return list;
}

std::optional<ValidationError> draft2020_first_error(const Value& document) {
    return draft2020_resource_first_error(Resource::Dialect, document);
}

bool draft2020_is_valid(const Value& document) { return draft2020_resource_is_valid(Resource::Dialect, document); }

std::vector<ValidationError> draft2020_errors(const Value& document) {
    return draft2020_resource_errors(Resource::Dialect, document);
}

Draft2020ScopeStats draft2020_scope_stats() noexcept {
    const ScopeState& s = scope_state();
    Draft2020ScopeStats stats;
    for (const auto& stack : s.stacks) stats.live_entries += stack.size();
    stats.live_visited = s.visited.size();
    stats.pushes = s.pushes;
    stats.pops = s.pops;
    stats.deepest = s.deepest;
    return stats;
}

}  // namespace deririrore::metaschema
