#include "deririrore/canonical/parse.hpp"

#include <algorithm>
#include <stdexcept>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/array_node.hpp"
#include "deririrore/canonical/dialect.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/property_map.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/keywords/format.hpp"
#include "deririrore/regex/fast_pattern.hpp"

namespace deririrore::canonical {

using value::Value;

namespace {

constexpr JsonTypeSet all_types_but(JsonType excluded) {
    return JsonTypeSet::from_bits(static_cast<uint8_t>(0x7F & ~static_cast<uint8_t>(excluded)));
}

// Every type but `excluded` passes; values of that type must satisfy `node`.
Schema only_constrains(JsonType excluded, Schema node, CanonicalContext& context) {
    std::vector<Schema> branches;
    branches.push_back(schema_from_type_mask(all_types_but(excluded)));
    branches.push_back(std::move(node));
    return union_of(std::move(branches), context);
}

// Everything one schema object gathers in its keyword loop.
struct Accumulators {
    std::optional<JsonTypeSet> types;
    const Value* enum_values = nullptr;
    const Value* const_value = nullptr;
    std::optional<BoundNumber> lower;
    std::optional<BoundNumber> upper;
    bool draft4_exclusive_lower = false;
    bool draft4_exclusive_upper = false;
    std::optional<Divisors> divisor;
    std::optional<BigInt> min_length;
    std::optional<BigInt> max_length;
    std::vector<SharedString> patterns;
    std::vector<FormatKind> formats;
    std::vector<SharedString> media_types;
    std::vector<SharedString> encodings;

    std::optional<std::vector<Schema>> tuple;
    std::optional<Schema> item_schema;
    const Value* additional_items = nullptr;
    std::optional<BigInt> min_items;
    std::optional<BigInt> max_items;
    std::optional<BigInt> min_contains;
    std::optional<BigInt> max_contains;
    bool unique = false;
    std::optional<Schema> contains;

    PropertyMap properties;
    PropertyMap pattern_properties;
    std::optional<Schema> additional;
    bool additional_forbidden = false;
    std::optional<Schema> property_names;
    std::vector<SharedString> required;
    std::optional<BigInt> min_size;
    std::optional<BigInt> max_size;

    std::optional<Schema> if_node;
    std::optional<Schema> then_node;
    std::optional<Schema> else_node;

    KeywordParts parts;
};

// How a keyword step ended: go on with the next member, or stop the parse.
struct Step {
    std::optional<ParseOutcome> stop;
    static Step next() { return Step{}; }
    static Step unsupported() { return Step{ParseOutcome::unsupported()}; }
    static Step fail(ParseOutcome o) { return Step{std::move(o)}; }
};

CanonicalError invalid_pattern(const std::string& text) { return CanonicalError{CanonicalError::InvalidPattern{text}}; }

struct DepthGuard {
    ParseTracker& tracker;
    explicit DepthGuard(ParseTracker& t) : tracker(t) { ++tracker.depth; }
    ~DepthGuard() { --tracker.depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

template <class T, class Less>
void sort_unique(std::vector<T>& list, Less less) {
    std::stable_sort(list.begin(), list.end(), less);
    list.erase(
        std::unique(list.begin(), list.end(), [&](const T& a, const T& b) { return !less(a, b) && !less(b, a); }),
        list.end());
}

bool shared_less(const SharedString& a, const SharedString& b) { return *a < *b; }

class ObjectParser {
public:
    ObjectParser(const Value& object, CanonicalContext& context, bool at_root, const Resolver& scope,
                 ParseTracker& tracker, bool siblings_only)
        : object_(object),
          context_(context),
          at_root_(at_root),
          scope_(scope),
          tracker_(tracker),
          siblings_only_(siblings_only) {}

    ParseOutcome run(bool keep);

private:
    ParseOutcome sub(const Value& v) { return parse_subschema(v, context_, false, scope_, tracker_); }
    Step fallback(std::string_view name) const {
        if (referencing::is_known_keyword(registry_draft(context_.draft), name)) return Step::unsupported();
        return Step::next();
    }
    // Parses `v` as a subschema into `out`; a stop when it gives no node.
    Step sub_into(const Value& v, std::optional<Schema>& out) {
        ParseOutcome o = sub(v);
        if (!o.has_node()) return Step::fail(std::move(o));
        out = o.node();
        return Step::next();
    }
    // Adds a leaf of one type as the part of `group`: values of the other types pass it.
    Step typed_part(CauseGroup group, JsonType type, Schema leaf_node) {
        push_keyword_part(acc_.parts, group, only_constrains(type, std::move(leaf_node), context_));
        return Step::next();
    }
    Step count_into(const Value& v, std::optional<BigInt>& out) {
        auto n = parse_count(v.number_text());
        if (!n) return Step::unsupported();
        out = std::move(*n);
        return Step::next();
    }

    ParseOutcome references(bool keep);
    Step member(std::string_view name, const Value& v);
    Step tuple(const Value& v);
    Step properties(const Value& v);
    Step pattern_properties(const Value& v);
    Step dependencies(const Value& v, bool schemas, bool names, CauseGroup group);
    Step all_of(const Value& v);
    Step any_of(const Value& v);
    Step one_of(const Value& v);
    Step negation(const Value& v);

    Step string_part();
    Step array_part();
    Step object_part();
    Step numeric_part();
    Step conditional_part();
    std::optional<Schema> base_node();

    const Value& object_;
    CanonicalContext& context_;
    bool at_root_;
    const Resolver& scope_;
    ParseTracker& tracker_;
    bool siblings_only_;
    Accumulators acc_;
};

bool has_string_member(const Value& object, std::string_view name) {
    const Value* v = object.find(name);
    return v != nullptr && v->is_string();
}

ParseOutcome ObjectParser::references(bool keep) {
    std::vector<Schema> refs;
    const Draft draft = context_.draft;
    if (const Value* ref = object_.find("$ref"); ref != nullptr && ref->is_string()) {
        ParseOutcome o = resolve_reference_part(ref->as_string(), context_, scope_, tracker_);
        if (!o.has_node()) return o;
        refs.push_back(o.node());
    }
    if (draft == Draft::Draft202012) {
        if (const Value* ref = object_.find("$dynamicRef"); ref != nullptr && ref->is_string()) {
            ParseOutcome o = resolve_reference_part(ref->as_string(), context_, scope_, tracker_);
            if (!o.has_node()) return o;
            refs.push_back(o.node());
        }
    }
    if (draft == Draft::Draft201909) {
        if (const Value* ref = object_.find("$recursiveRef"); ref != nullptr && ref->is_string()) {
            if (ref->as_string() != "#") return ParseOutcome::unsupported();
            ParseOutcome o = resolve_recursive_reference_part(context_, scope_, tracker_);
            if (!o.has_node()) return o;
            refs.push_back(o.node());
        }
    }
    Schema combined = refs.front();
    for (std::size_t i = 1; i < refs.size(); ++i) combined = intersect(combined, refs[i], context_);
    const bool record = !tracker_.suppress;
    if (draft <= Draft::Draft7 || !has_constraining_siblings(object_, draft)) {
        if (record && is_false(combined))
            tracker_.pending = PendingCauses::one(CauseChain(&object_, nullptr, cause_group::kReference));
        return combined;
    }
    if (record) tracker_.branch_part = true;
    ValueId copy_id = &object_;
    ParseOutcome siblings = ParseOutcome::unsupported();
    if (object_.contains("unevaluatedProperties") || object_.contains("unevaluatedItems")) {
        // The rewrite reads the whole object, so it gets a real copy without the
        // reference and identifier members, kept for the pass.
        Value copy = object_;
        for (std::string_view k : {"$ref", "$dynamicRef", "$recursiveRef", "$id", "id"}) copy.erase(k);
        tracker_.temporaries.push_back(std::make_unique<const Value>(std::move(copy)));
        copy_id = tracker_.temporaries.back().get();
        siblings = parse_subschema(*copy_id, context_, at_root_, scope_, tracker_);
    } else {
        // The siblings parse as the same object with its reference and
        // identifier members left out, so causes found among them name the
        // document's own values. Its records are those a copy would leave.
        const std::size_t dependent_before = tracker_.reference_dependent.size();
        bool inner_keep = false;
        if (record) {
            inner_keep = tracker_.branch_part;
            tracker_.branch_part = false;
        }
        if (tracker_.depth >= kMaxParseDepth) return ParseOutcome::unsupported();
        DepthGuard guard(tracker_);
        siblings = ObjectParser(object_, context_, at_root_, scope_, tracker_, true).run(inner_keep);
        auto& dependent = tracker_.reference_dependent;
        dependent.erase(std::remove_if(dependent.begin() + static_cast<std::ptrdiff_t>(dependent_before),
                                       dependent.end(), [&](const auto& e) { return e.first == &object_; }),
                        dependent.end());
        if (record && siblings.has_node() && is_false(siblings.node())) tracker_.pending = PendingCauses{};
    }
    if (!siblings.has_node()) return siblings;
    Schema result = intersect(combined, siblings.node(), context_);
    if (record) finish_reference_with_siblings(tracker_, object_, copy_id, combined, result, keep, context_);
    return result;
}

ParseOutcome ObjectParser::run(bool keep) {
    const Draft draft = context_.draft;
    if (!siblings_only_) {
        if (draft >= Draft::Draft201909 &&
            (object_.contains("unevaluatedProperties") || object_.contains("unevaluatedItems"))) {
            // The rewrite restores what this object read of the branch-part flag.
            if (!tracker_.suppress) tracker_.branch_part = keep;
            return rewrite_unevaluated(object_, context_, at_root_, scope_, tracker_);
        }
        const bool dynamic = (draft == Draft::Draft202012 && has_string_member(object_, "$dynamicRef")) ||
                             (draft == Draft::Draft201909 && has_string_member(object_, "$recursiveRef"));
        if (tracker_.dynamic_mode != 2 && dynamic) {
            tracker_.dynamic_mode = 1;
            return ParseOutcome::unsupported();
        }
        if (has_string_member(object_, "$ref") || dynamic) return references(keep);
    }
    for (const value::Member& m : object_.as_object()) {
        if (!referencing::is_known_keyword(registry_draft(draft), m.key)) continue;
        Step s = member(m.key, m.value);
        if (s.stop) return std::move(*s.stop);
    }
    for (Step (ObjectParser::*assemble)() :
         {&ObjectParser::string_part, &ObjectParser::array_part, &ObjectParser::object_part,
          &ObjectParser::numeric_part, &ObjectParser::conditional_part}) {
        Step s = (this->*assemble)();
        if (s.stop) return std::move(*s.stop);
    }
    std::optional<Schema> base = base_node();
    if (!base) return ParseOutcome::unsupported();
    if (tracker_.suppress) return fold_parts_plain(acc_.parts, *base, context_);
    return fold_parts(object_, *base, std::move(acc_.parts), keep, context_, tracker_);
}

Step ObjectParser::member(std::string_view name, const Value& v) {
    const Draft draft = context_.draft;
    if (siblings_only_ &&
        (name == "$ref" || name == "$dynamicRef" || name == "$recursiveRef" || name == "$id" || name == "id"))
        return Step::next();
    // Identifiers, anchors and definitions: read elsewhere, or only as targets.
    if (name == "$ref" || name == "$dynamicRef" || name == "$recursiveRef" || name == "id" || name == "$id" ||
        name == "$anchor" || name == "$dynamicAnchor") {
        return v.is_string() ? Step::next() : fallback(name);
    }
    if (name == "$recursiveAnchor") return v.is_bool() ? Step::next() : fallback(name);
    if (name == "definitions" || name == "$defs") return v.is_object() ? Step::next() : fallback(name);
    if (name == "contentSchema" || name == "unevaluatedProperties" || name == "unevaluatedItems") return Step::next();
    if (name == "$schema") {
        if (!v.is_string()) return fallback(name);
        const referencing::Draft named = openapi_dialect_draft(v.as_string());
        if (named == referencing::Draft::Unknown) return Step::unsupported();
        if (!at_root_ && named != registry_draft(draft)) return Step::unsupported();
        return Step::next();
    }
    if (name == "type") {
        acc_.types = type_set_of(v);
        if (!acc_.types) return Step::unsupported();
        return Step::next();
    }
    if (name == "enum") {
        if (!v.is_array()) return fallback(name);
        for (const Value& item : v.as_array())
            if (!is_admissible_value(item)) return Step::unsupported();
        acc_.enum_values = &v;
        return Step::next();
    }
    if (name == "const") {
        if (!is_admissible_value(v)) return Step::unsupported();
        acc_.const_value = &v;
        return Step::next();
    }
    if (name == "minimum" || name == "maximum") {
        if (!v.is_number()) return fallback(name);
        const bool upper = name == "maximum";
        auto& bound = upper ? acc_.upper : acc_.lower;
        bound = merge_number_bound(bound, v.number_text(), true, upper);
        return Step::next();
    }
    if (name == "exclusiveMinimum" || name == "exclusiveMaximum") {
        const bool upper = name == "exclusiveMaximum";
        if (draft == Draft::Draft4) {
            if (!v.is_bool()) return fallback(name);
            (upper ? acc_.draft4_exclusive_upper : acc_.draft4_exclusive_lower) = v.as_bool();
            return Step::next();
        }
        if (!v.is_number()) return fallback(name);
        auto& bound = upper ? acc_.upper : acc_.lower;
        bound = merge_number_bound(bound, v.number_text(), false, upper);
        return Step::next();
    }
    if (name == "multipleOf") {
        if (!v.is_number()) return fallback(name);
        auto divisor = parse_canonical_number(v.number_text());
        // A divisor that is not positive is no schema any draft allows; what
        // validators make of it differs, so it is not modelled.
        if (!divisor || !divisor->value || !divisor->value->is_finite() || sgn(divisor->value->fraction) <= 0)
            return Step::unsupported();
        acc_.divisor = fold_divisors({std::move(*divisor)});
        return Step::next();
    }
    if (name == "minLength" || name == "maxLength") {
        if (!v.is_number()) return fallback(name);
        return count_into(v, name == "minLength" ? acc_.min_length : acc_.max_length);
    }
    if (name == "pattern") {
        if (!v.is_string()) return fallback(name);
        if (!lookup_compiled_pattern(context_, v.as_string())) return Step::fail(invalid_pattern(v.as_string()));
        if (!v.as_string().empty()) acc_.patterns.push_back(share(v.as_string()));
        return Step::next();
    }
    if (name == "format") {
        if (!v.is_string()) return fallback(name);
        if (!context_.format_asserts) return Step::next();
        const formats::BuiltinFormat f = keywords::format_id_from_name(registry_draft(draft), v.as_string());
        acc_.formats.push_back(f == formats::BuiltinFormat::None ? FormatKind::unknown(share(v.as_string()))
                                                                 : FormatKind::builtin(f));
        return Step::next();
    }
    if (name == "contentEncoding" || name == "contentMediaType") {
        if (!v.is_string()) return fallback(name);
        if (draft >= Draft::Draft201909) return Step::next();
        const bool encoding = name == "contentEncoding";
        if (object_.contains(encoding ? "contentMediaType" : "contentEncoding")) return fallback(name);
        (encoding ? acc_.encodings : acc_.media_types).push_back(share(v.as_string()));
        return Step::next();
    }
    if (name == "items") {
        if (v.is_bool() || v.is_object()) return sub_into(v, acc_.item_schema);
        if (v.is_array() && draft < Draft::Draft202012) return tuple(v);
        return fallback(name);
    }
    if (name == "prefixItems") return v.is_array() ? tuple(v) : fallback(name);
    if (name == "additionalItems") {
        if (!v.is_bool() && !v.is_object()) return fallback(name);
        acc_.additional_items = &v;
        return Step::next();
    }
    if (name == "minItems" || name == "maxItems" || name == "minContains" || name == "maxContains") {
        if (!v.is_number()) return fallback(name);
        auto& slot = name == "minItems"      ? acc_.min_items
                     : name == "maxItems"    ? acc_.max_items
                     : name == "minContains" ? acc_.min_contains
                                             : acc_.max_contains;
        return count_into(v, slot);
    }
    if (name == "uniqueItems") {
        if (!v.is_bool()) return fallback(name);
        acc_.unique = v.as_bool();
        return Step::next();
    }
    if (name == "contains") return v.is_bool() || v.is_object() ? sub_into(v, acc_.contains) : fallback(name);
    if (name == "properties") return v.is_object() ? properties(v) : fallback(name);
    if (name == "patternProperties") return v.is_object() ? pattern_properties(v) : fallback(name);
    if (name == "additionalProperties") {
        if (!v.is_bool() && !v.is_object()) return fallback(name);
        std::optional<Schema> node;
        Step s = sub_into(v, node);
        if (s.stop) return s;
        if (is_false(*node)) {
            acc_.additional_forbidden = true;
            acc_.additional.reset();
        } else if (is_true(*node)) {
            acc_.additional_forbidden = false;
            acc_.additional.reset();
        } else {
            acc_.additional_forbidden = false;
            acc_.additional = std::move(node);
        }
        return Step::next();
    }
    if (name == "propertyNames") return sub_into(v, acc_.property_names);
    if (name == "required") {
        if (!v.is_array()) return fallback(name);
        for (const Value& item : v.as_array())
            if (!item.is_string()) return fallback(name);
        for (const Value& item : v.as_array()) acc_.required.push_back(share(item.as_string()));
        return Step::next();
    }
    if (name == "minProperties" || name == "maxProperties") {
        if (!v.is_number()) return fallback(name);
        return count_into(v, name == "minProperties" ? acc_.min_size : acc_.max_size);
    }
    if (name == "dependencies")
        return v.is_object() ? dependencies(v, true, true, cause_group::kDependencies) : fallback(name);
    if (name == "dependentSchemas")
        return v.is_object() ? dependencies(v, true, false, cause_group::kDependentSchemas) : fallback(name);
    if (name == "dependentRequired")
        return v.is_object() ? dependencies(v, false, true, cause_group::kDependentRequired) : fallback(name);
    if (name == "allOf") return v.is_array() ? all_of(v) : fallback(name);
    if (name == "anyOf") return v.is_array() ? any_of(v) : fallback(name);
    if (name == "oneOf") return v.is_array() ? one_of(v) : fallback(name);
    if (name == "not") return negation(v);
    if (name == "if") return sub_into(v, acc_.if_node);
    if (name == "then") return sub_into(v, acc_.then_node);
    if (name == "else") return sub_into(v, acc_.else_node);
    return fallback(name);
}

Step ObjectParser::tuple(const Value& v) {
    std::vector<Schema> nodes;
    nodes.reserve(v.as_array().size());
    for (const Value& item : v.as_array()) {
        ParseOutcome o = sub(item);
        if (!o.has_node()) return Step::fail(std::move(o));
        nodes.push_back(o.node());
    }
    acc_.tuple = std::move(nodes);
    return Step::next();
}

Step ObjectParser::properties(const Value& v) {
    for (const value::Member& m : v.as_object()) {
        ParseOutcome o = sub(m.value);
        if (!o.has_node()) return Step::fail(std::move(o));
        property_map_insert(acc_.properties, share(m.key), o.node());
    }
    return Step::next();
}

Step ObjectParser::pattern_properties(const Value& v) {
    for (const value::Member& m : v.as_object()) {
        if (!lookup_compiled_pattern(context_, m.key)) return Step::fail(invalid_pattern(m.key));
        ParseOutcome o = sub(m.value);
        if (!o.has_node()) return Step::fail(std::move(o));
        property_map_insert(acc_.pattern_properties, share(m.key), o.node());
    }
    return Step::next();
}

std::optional<std::vector<SharedString>> string_items(const Value& v) {
    if (!v.is_array()) return std::nullopt;
    std::vector<SharedString> out;
    for (const Value& item : v.as_array()) {
        if (!item.is_string()) return std::nullopt;
        out.push_back(share(item.as_string()));
    }
    return out;
}

Step ObjectParser::dependencies(const Value& v, bool schemas, bool names, CauseGroup group) {
    for (const value::Member& m : v.as_object()) {
        SharedString key = share(m.key);
        if (schemas && (m.value.is_bool() || m.value.is_object())) {
            ParseOutcome o = sub(m.value);
            if (!o.has_node()) return Step::fail(std::move(o));
            push_keyword_part(acc_.parts, group, dependent_schema_part(key, o.node(), context_));
            continue;
        }
        if (names) {
            if (auto list = string_items(m.value)) {
                push_keyword_part(acc_.parts, group, dependent_required_part(key, std::move(*list), context_));
                continue;
            }
        }
        return Step::unsupported();
    }
    return Step::next();
}

Step ObjectParser::all_of(const Value& v) {
    for (const Value& item : v.as_array()) {
        if (!tracker_.suppress) tracker_.branch_part = true;
        ParseOutcome o = sub(item);
        if (!o.has_node()) return Step::fail(std::move(o));
        push_keyword_part(acc_.parts, cause_group::kAllOfItem, o.node());
    }
    return Step::next();
}

Step ObjectParser::any_of(const Value& v) {
    std::vector<Schema> nodes;
    for (const Value& item : v.as_array()) {
        ParseOutcome o = sub(item);
        if (!o.has_node()) return Step::fail(std::move(o));
        nodes.push_back(o.node());
    }
    push_keyword_part(acc_.parts, cause_group::kAnyOf, union_of(std::move(nodes), context_));
    return Step::next();
}

Step ObjectParser::one_of(const Value& v) {
    std::vector<Schema> nodes;
    for (const Value& item : v.as_array()) {
        ParseOutcome o = sub(item);
        if (!o.has_node()) return Step::fail(std::move(o));
        nodes.push_back(o.node());
    }
    auto node = one_of_with_references(std::move(nodes), tracker_.targets, tracker_.carried_targets.get(),
                                       tracker_.one_of_lists, context_);
    if (!node) return Step::unsupported();
    push_keyword_part(acc_.parts, cause_group::kOneOf, std::move(*node));
    return Step::next();
}

Step ObjectParser::negation(const Value& v) {
    if (v.is_object() && v.size() == 1 && v.contains("not")) {
        const Value* inner = v.find("not");
        if (inner == nullptr) throw InternalError("the double-negation guard found its body");
        ParseOutcome o = sub(*inner);
        if (!o.has_node()) return Step::fail(std::move(o));
        push_keyword_part(acc_.parts, cause_group::kNot, o.node());
        return Step::next();
    }
    ParseOutcome o = sub(v);
    if (!o.has_node()) return Step::fail(std::move(o));
    auto complement = complement_node(o.node(), tracker_.targets, context_);
    if (!complement) return Step::unsupported();
    push_keyword_part(acc_.parts, cause_group::kNot, std::move(*complement));
    return Step::next();
}

Step ObjectParser::string_part() {
    sort_unique(acc_.patterns, shared_less);
    sort_unique(acc_.formats, [](const FormatKind& a, const FormatKind& b) { return compare_format_kinds(a, b) < 0; });
    sort_unique(acc_.media_types, shared_less);
    sort_unique(acc_.encodings, shared_less);
    if (acc_.min_length && *acc_.min_length == 0) acc_.min_length.reset();
    StringLeaf leaf;
    leaf.lengths = Bounds{acc_.min_length, acc_.max_length};
    leaf.patterns = std::move(acc_.patterns);
    leaf.formats = std::move(acc_.formats);
    leaf.content_media_types = std::move(acc_.media_types);
    leaf.content_encodings = std::move(acc_.encodings);
    return typed_part(cause_group::kString, JsonType::String, string_leaf_node(std::move(leaf), context_));
}

Step ObjectParser::array_part() {
    if (acc_.min_items && *acc_.min_items == 0) acc_.min_items.reset();
    std::vector<Schema> prefix;
    std::optional<Schema> items;
    if (!acc_.tuple) {
        items = acc_.item_schema;
    } else if (context_.draft == Draft::Draft202012) {
        prefix = std::move(*acc_.tuple);
        items = acc_.item_schema;
    } else {
        prefix = std::move(*acc_.tuple);
        if (acc_.additional_items != nullptr) {
            Step s = sub_into(*acc_.additional_items, items);
            if (s.stop) return s;
        }
    }
    std::vector<ContainsFacet> facets;
    if (acc_.contains) facets.push_back(ContainsFacet{*acc_.contains, acc_.min_contains, acc_.max_contains});
    if (!acc_.min_items && !acc_.max_items && !acc_.unique && prefix.empty() && !items && facets.empty())
        return Step::next();
    ArrayLeaf leaf;
    leaf.lengths = Bounds{acc_.min_items, acc_.max_items};
    leaf.distinctness = acc_.unique ? Distinctness::AllDistinct : Distinctness::Unconstrained;
    leaf.prefix = std::move(prefix);
    leaf.items = std::move(items);
    leaf.contains = std::move(facets);
    return typed_part(cause_group::kArray, JsonType::Array, array_leaf_node(std::move(leaf), context_));
}

Step ObjectParser::object_part() {
    if (acc_.min_size && *acc_.min_size == 0) acc_.min_size.reset();
    fold_literal_patterns(acc_.pattern_properties, acc_.properties, context_);
    if (acc_.additional_forbidden) {
        std::vector<Schema> names;
        for (const auto& [name, node] : acc_.properties.entries) {
            (void)node;
            names.push_back(make_schema(kind::Const{shared_canonical_json(Value::string(*name))}));
        }
        for (const auto& [pattern, node] : acc_.pattern_properties.entries) {
            (void)node;
            StringLeaf leaf;
            if (!pattern->empty()) leaf.patterns.push_back(pattern);
            names.push_back(string_leaf_node(std::move(leaf), context_));
        }
        Schema allowed = union_of(std::move(names), context_);
        acc_.property_names =
            acc_.property_names ? intersect(*acc_.property_names, allowed, context_) : std::move(allowed);
    }
    if (!acc_.min_size && !acc_.max_size && acc_.required.empty() && !acc_.property_names && acc_.properties.empty() &&
        acc_.pattern_properties.empty() && !acc_.additional)
        return Step::next();
    std::stable_sort(acc_.required.begin(), acc_.required.end(), shared_less);
    ObjectLeaf leaf;
    leaf.sizes = Bounds{acc_.min_size, acc_.max_size};
    leaf.required = std::move(acc_.required);
    leaf.property_names = std::move(acc_.property_names);
    leaf.properties = std::move(acc_.properties);
    leaf.pattern_properties = std::move(acc_.pattern_properties);
    leaf.additional = std::move(acc_.additional);
    return typed_part(cause_group::kObject, JsonType::Object, object_leaf_node(std::move(leaf), context_));
}

Step ObjectParser::numeric_part() {
    if (context_.draft == Draft::Draft4) {
        if (acc_.draft4_exclusive_lower && acc_.lower) acc_.lower->inclusive = false;
        if (acc_.draft4_exclusive_upper && acc_.upper) acc_.upper->inclusive = false;
    }
    if (!acc_.lower && !acc_.upper && !acc_.divisor) return Step::next();
    NumberLeaf leaf;
    leaf.minimum = acc_.lower;
    leaf.maximum = acc_.upper;
    if (acc_.divisor) leaf.multiple_of = *acc_.divisor;
    auto integer_bounds = integer_bounds_from_number_bounds(leaf);
    if (!integer_bounds) return Step::unsupported();
    Schema part = [&] {
        if (acc_.types && *acc_.types == JsonTypeSet(JsonType::Integer)) {
            IntegerLeaf integer;
            integer.bounds = std::move(*integer_bounds);
            integer.multiple_of = leaf.multiple_of;
            return integer_leaf_node(std::move(integer), context_);
        }
        // Integers are numbers too: only the other five types pass unconstrained.
        std::vector<Schema> branches;
        branches.push_back(schema_from_type_mask(JsonTypeSet::from_bits(static_cast<uint8_t>(
            0x7F & ~(static_cast<uint8_t>(JsonType::Integer) | static_cast<uint8_t>(JsonType::Number))))));
        branches.push_back(number_leaf_node(std::move(leaf), context_));
        return union_of(std::move(branches), context_);
    }();
    push_keyword_part(acc_.parts, cause_group::kNumeric, std::move(part));
    return Step::next();
}

Step ObjectParser::conditional_part() {
    if (!acc_.if_node || (!acc_.then_node && !acc_.else_node)) return Step::next();
    const Schema& condition = *acc_.if_node;
    std::vector<Schema> branches;
    if (!acc_.then_node) {
        branches = {condition, *acc_.else_node};
    } else {
        auto complement = complement_node(condition, tracker_.targets, context_);
        if (!complement) return Step::unsupported();
        if (!acc_.else_node) {
            branches = {*complement, *acc_.then_node};
        } else {
            branches = {intersect(condition, *acc_.then_node, context_),
                        intersect(*complement, *acc_.else_node, context_)};
        }
    }
    push_keyword_part(acc_.parts, cause_group::kConditional, union_of(std::move(branches), context_));
    return Step::next();
}

std::optional<Schema> ObjectParser::base_node() {
    std::optional<std::vector<CanonicalJson>> values;
    auto canonical = [](const Value& v) -> CanonicalJson {
        auto c = canonical_json_from_value(v);
        if (!c) return nullptr;
        return std::make_shared<const Value>(std::move(*c));
    };
    if (acc_.enum_values != nullptr) {
        values.emplace();
        for (const Value& item : acc_.enum_values->as_array()) {
            CanonicalJson c = canonical(item);
            if (!c) return std::nullopt;
            values->push_back(std::move(c));
        }
    }
    if (acc_.const_value != nullptr) {
        CanonicalJson c = canonical(*acc_.const_value);
        if (!c) return std::nullopt;
        if (values) {
            std::erase_if(*values, [&](const CanonicalJson& v) { return !canonical_json_eq(*v, *c); });
        } else {
            values.emplace().push_back(std::move(c));
        }
    }
    if (acc_.types) {
        if (acc_.types->empty()) return false_schema();
        if (values) return value_set_by_type(std::move(*values), *acc_.types, context_);
        return schema_from_type_mask(*acc_.types);
    }
    if (values) return schema_from_value_set(std::move(*values));
    return true_schema();
}

}  // namespace

referencing::Draft registry_draft(Draft draft) noexcept { return static_cast<referencing::Draft>(draft); }

void push_keyword_part(KeywordParts& parts, CauseGroup group, Schema node) {
    parts.push_back(KeywordPart{group, std::move(node)});
}

ParseOutcome parse_canonical_node(const Value& value, CanonicalContext& context, bool at_root, const Resolver& scope,
                                  ParseTracker& tracker) {
    bool keep = false;
    if (!tracker.suppress) {
        keep = tracker.branch_part;
        tracker.branch_part = false;
    }
    if (value.is_bool()) {
        if (value.as_bool()) return true_schema();
        if (!tracker.suppress) tracker.pending = PendingCauses::false_schema();
        return false_schema();
    }
    if (!value.is_object()) return ParseOutcome::unsupported();
    if (tracker.depth >= kMaxParseDepth) return ParseOutcome::unsupported();
    DepthGuard guard(tracker);
    return ObjectParser(value, context, at_root, scope, tracker, false).run(keep);
}

ParseOutcome parse_subschema(const Value& value, CanonicalContext& context, bool at_root, const Resolver& scope,
                             ParseTracker& tracker) {
    auto child = referencing::resolve_schema_id(scope, value, registry_draft(context.draft));
    if (!child) return CanonicalError{CanonicalError::ReferenceFailed{std::move(child).error()}};
    ParseOutcome outcome = parse_canonical_node(value, context, at_root, *child, tracker);
    if (outcome.is_error()) return outcome;
    record_parse_cause(tracker, value, outcome.node_if_any());
    return outcome;
}

void record_parse_cause(ParseTracker& tracker, const Value& value, const std::optional<Schema>& node) {
    if (!node || tracker.suppress) return;
    if (is_false(*node)) {
        if (tracker.pending.is_unset()) throw InternalError("an empty parse names its reason");
        tracker.reasons[&value] = ParseReason{std::exchange(tracker.pending, PendingCauses{})};
        return;
    }
    if (const auto* ref = (*node)->as<kind::Reference>()) tracker.reasons[&value] = ParseReason{ref->name};
}

bool has_constraining_siblings(const Value& object, Draft draft) {
    static constexpr std::string_view kNotConstraining[] = {
        "id",          "$id",         "$ref",          "$defs",          "title",
        "$schema",     "default",     "$anchor",       "examples",       "$dynamicRef",
        "description", "definitions", "$recursiveRef", "$dynamicAnchor", "$recursiveAnchor"};
    if (!object.is_object()) return false;
    for (const value::Member& m : object.as_object()) {
        if (!referencing::is_known_keyword(registry_draft(draft), m.key)) continue;
        if (std::find(std::begin(kNotConstraining), std::end(kNotConstraining), m.key) == std::end(kNotConstraining))
            return true;
    }
    return false;
}

std::optional<BigInt> parse_count(std::string_view number_text) {
    const std::string canonical = canonicalize_number_text(number_text);
    if (canonical.empty() ||
        !std::all_of(canonical.begin(), canonical.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return parse_integer_text(canonical);
}

std::optional<BoundNumber> merge_number_bound(const std::optional<BoundNumber>& previous, std::string_view text,
                                              bool inclusive, bool is_upper) {
    BoundNumber fresh{canonicalize_number_text(text), inclusive};
    if (!previous) return fresh;
    const BoundNumber& old = *previous;
    if (old.limit == fresh.limit) return (!fresh.inclusive && old.inclusive) ? fresh : old;
    const bool fresh_admits_old = bound_admits_number(fresh, old.limit, is_upper);
    const bool old_admits_fresh = bound_admits_number(old, fresh.limit, is_upper);
    if (!fresh_admits_old || old_admits_fresh) return fresh;
    return old;
}

std::optional<JsonTypeSet> type_set_of(const Value& value) {
    auto one = [](const Value& v) -> std::optional<JsonType> {
        if (!v.is_string()) return std::nullopt;
        return value::json_type_from_name(v.as_string());
    };
    if (value.is_string()) {
        auto t = one(value);
        if (!t) return std::nullopt;
        return JsonTypeSet(*t);
    }
    if (!value.is_array()) return std::nullopt;
    JsonTypeSet set;
    for (const Value& item : value.as_array()) {
        auto t = one(item);
        if (!t) return std::nullopt;
        set.insert(*t);
    }
    return set;
}

bool is_admissible_value(const Value& value) {
    // An explicit stack: constants may nest as deep as the document does.
    std::vector<const Value*> stack{&value};
    while (!stack.empty()) {
        const Value* v = stack.back();
        stack.pop_back();
        if (v->is_number()) {
            const std::string canonical = canonicalize_number_text(v->number_text());
            if (canonical.find_first_of("eE") != std::string::npos) return false;
        } else if (v->is_array()) {
            for (const Value& item : v->as_array()) stack.push_back(&item);
        } else if (v->is_object()) {
            for (const value::Member& m : v->as_object()) stack.push_back(&m.value);
        }
    }
    return true;
}

Schema dependent_schema_part(const SharedString& name, const Schema& node, CanonicalContext& context) {
    ObjectLeaf lacking;
    property_map_insert(lacking.properties, name, false_schema());
    std::vector<Schema> branches;
    branches.push_back(schema_from_type_mask(all_types_but(JsonType::Object)));
    branches.push_back(object_leaf_node(std::move(lacking), context));
    branches.push_back(node);
    return union_of(std::move(branches), context);
}

Schema dependent_required_part(const SharedString& name, std::vector<SharedString> names, CanonicalContext& context) {
    names.push_back(name);
    sort_unique(names, shared_less);
    ObjectLeaf having;
    having.required = std::move(names);
    return dependent_schema_part(name, object_leaf_node(std::move(having), context), context);
}

void fold_literal_patterns(PropertyMap& pattern_properties, PropertyMap& properties, CanonicalContext& context) {
    PropertyMap kept;
    for (auto& [pattern, node] : pattern_properties.entries) {
        auto shape = regex::classify_fast_pattern(*pattern);
        std::vector<std::string> names;
        if (shape && shape->kind() == regex::FastPatternKind::Exact) {
            names.emplace_back(shape->literal());
        } else if (shape && shape->kind() == regex::FastPatternKind::Alternatives) {
            names = shape->alternatives();
        } else {
            kept.entries.emplace_back(pattern, node);
            continue;
        }
        for (const std::string& n : names) {
            std::optional<Schema> existing = property_map_remove(properties, n);
            Schema merged = existing ? intersect(*existing, node, context) : node;
            property_map_insert(properties, share(n), std::move(merged));
        }
    }
    pattern_properties = std::move(kept);
}

}  // namespace deririrore::canonical
