#include "deririrore/canonical/unevaluated.hpp"

#include <algorithm>

#include "deririrore/referencing/resolver.hpp"

namespace deririrore::canonical {

namespace {

using value::Member;
using value::Value;

class DepthStep {
public:
    explicit DepthStep(EvaluationWalkOptions& options) : options_(options) { ++options_.depth; }
    ~DepthStep() { --options_.depth; }
    DepthStep(const DepthStep&) = delete;
    DepthStep& operator=(const DepthStep&) = delete;
    bool too_deep() const noexcept { return options_.depth > kMaxWalkDepth; }

private:
    EvaluationWalkOptions& options_;
};

bool same_properties(EvaluatedProperties a, EvaluatedProperties b) {
    sort_unique(a.names);
    sort_unique(a.patterns);
    sort_unique(b.names);
    sort_unique(b.patterns);
    return a.all == b.all && a.names == b.names && a.patterns == b.patterns;
}

void merge_properties(EvaluatedProperties& into, const EvaluatedProperties& from) {
    into.names.insert(into.names.end(), from.names.begin(), from.names.end());
    into.patterns.insert(into.patterns.end(), from.patterns.begin(), from.patterns.end());
    into.all = into.all || from.all;
}

void merge_items(EvaluatedItems& into, const EvaluatedItems& from) {
    into.prefix = std::max(into.prefix, from.prefix);
    into.all = into.all || from.all;
}

// Walks the alternatives of `anyOf` and `oneOf`: they count only when every
// branch evaluates exactly the same. Conditionals are never tolerated inside.
template <class Record, class WalkBranch, class Same>
Result<bool, CanonicalError> walk_alternatives(const Value& object, EvaluationWalkOptions& options, Record& merged,
                                               WalkBranch&& walk_branch, Same&& same) {
    for (auto keyword : {"anyOf", "oneOf"}) {
        const Value* branches = object.find(keyword);
        if (!branches || !branches->is_array()) continue;
        const bool saved = options.conditionals_tolerated;
        options.conditionals_tolerated = false;
        std::optional<Record> first;
        bool known = true;
        for (const Value& branch : branches->as_array()) {
            Record record;
            auto answer = walk_branch(branch, record);
            if (!answer) {
                options.conditionals_tolerated = saved;
                return make_unexpected(std::move(answer).error());
            }
            if (!*answer || (first && !same(*first, record))) {
                known = false;
                break;
            }
            if (!first) first = std::move(record);
        }
        options.conditionals_tolerated = saved;
        if (!known) return false;
        if (first) {
            if constexpr (std::is_same_v<Record, EvaluatedProperties>)
                merge_properties(merged, *first);
            else
                merge_items(merged, *first);
        }
    }
    return true;
}

Value object_with(std::string key, Value v) {
    Value::Object members;
    members.push_back(Member{std::move(key), std::move(v)});
    return Value::object(std::move(members));
}

Value strings_array(std::initializer_list<std::string> texts) {
    Value::Array items;
    for (const auto& t : texts) items.push_back(Value::string(t));
    return Value::array(std::move(items));
}

Value type_object() { return object_with("type", Value::string("object")); }

Value requires_name(const std::string& name) {
    Value v = type_object();
    v.insert_or_assign("required", strings_array({name}));
    return v;
}

Value negation(Value v) { return object_with("not", std::move(v)); }

// Discriminator constants are null, booleans or strings: identity of text is equality.
bool same_json(const Value& a, const Value& b) { return identical(a, b); }

// A then/else/dependent subschema and the cases found inside it.
struct RewrittenSubschema {
    std::optional<Value> value;
    std::vector<UnevaluatedCase> cases;
};

Result<std::optional<RewrittenSubschema>, CanonicalError> rewrite_optional_subschema(const Value* v,
                                                                                     CanonicalContext& context,
                                                                                     const Scope& scope,
                                                                                     const EvaluatedSets& summary) {
    RewrittenSubschema out;
    if (v == nullptr) return std::optional<RewrittenSubschema>(std::move(out));
    EvaluationWalkOptions options;
    CollectedCases found;
    auto answer = rewrite_subschema_in_scope(*v, context, scope, false, summary, options, found);
    if (!answer) return make_unexpected(std::move(answer).error());
    if (!*answer) return std::optional<RewrittenSubschema>();
    out.value = *v;
    out.cases = std::move(found.cases);
    return std::optional<RewrittenSubschema>(std::move(out));
}

class Expansion {
public:
    Expansion(const EvaluatedSets& summary, CanonicalContext& context, Variants& variants)
        : summary_(summary), context_(context), variants_(variants) {}

    CollectAnswer run(std::vector<Value> conditions, std::vector<UnevaluatedCase> cases) {
        if (cases.empty()) {
            if (variants_.size() >= kMaxVariants) return false;
            variants_.push_back(std::move(conditions));
            return true;
        }
        if (conditions.size() > kMaxConditions) return false;
        UnevaluatedCase first = std::move(cases.front());
        std::vector<UnevaluatedCase> rest(std::make_move_iterator(cases.begin() + 1),
                                          std::make_move_iterator(cases.end()));
        if (first.kind == UnevaluatedCase::Kind::Dependent) return dependent(first, conditions, rest);
        if (auto discriminator = const_discriminator(*first.if_schema))
            return group(std::move(first), discriminator->first, conditions, std::move(rest));
        return conditional(first, conditions, rest);
    }

private:
    using Rewritten = Result<std::optional<RewrittenSubschema>, CanonicalError>;

    Rewritten rewrite(const Value* v, const Scope& scope) {
        return rewrite_optional_subschema(v, context_, scope, summary_);
    }

    // Recurses with the conditions extended and the cases found inside the
    // added subschemas ahead of the remaining ones.
    CollectAnswer choose(const std::vector<Value>& conditions, std::vector<Value> added,
                         std::vector<UnevaluatedCase> inner, const std::vector<UnevaluatedCase>& rest) {
        std::vector<Value> next = conditions;
        for (auto& v : added) next.push_back(std::move(v));
        inner.insert(inner.end(), rest.begin(), rest.end());
        return run(std::move(next), std::move(inner));
    }

    static void add(std::vector<Value>& added, std::vector<UnevaluatedCase>& inner, RewrittenSubschema& r) {
        if (r.value) added.push_back(std::move(*r.value));
        inner.insert(inner.end(), r.cases.begin(), r.cases.end());
    }

    CollectAnswer dependent(const UnevaluatedCase& c, const std::vector<Value>& conditions,
                            const std::vector<UnevaluatedCase>& rest) {
        auto absent = choose(conditions, {negation(requires_name(c.name))}, {}, rest);
        if (!absent || !*absent) return absent;
        auto r = rewrite(c.subschema, c.scope);
        if (!r) return make_unexpected(std::move(r).error());
        if (!r->has_value()) return false;
        std::vector<Value> added{requires_name(c.name)};
        std::vector<UnevaluatedCase> inner;
        add(added, inner, **r);
        return choose(conditions, std::move(added), std::move(inner), rest);
    }

    CollectAnswer conditional(const UnevaluatedCase& c, const std::vector<Value>& conditions,
                              const std::vector<UnevaluatedCase>& rest) {
        auto then_r = rewrite(c.then_schema, c.scope);
        if (!then_r) return make_unexpected(std::move(then_r).error());
        if (!then_r->has_value()) return false;
        auto else_r = rewrite(c.else_schema, c.scope);
        if (!else_r) return make_unexpected(std::move(else_r).error());
        if (!else_r->has_value()) return false;
        std::vector<Value> added{*c.if_schema};
        std::vector<UnevaluatedCase> inner;
        add(added, inner, **then_r);
        auto holds = choose(conditions, std::move(added), std::move(inner), rest);
        if (!holds || !*holds) return holds;
        added = {negation(*c.if_schema)};
        inner.clear();
        add(added, inner, **else_r);
        return choose(conditions, std::move(added), std::move(inner), rest);
    }

    CollectAnswer group(UnevaluatedCase first, const std::string& name, const std::vector<Value>& conditions,
                        std::vector<UnevaluatedCase> rest) {
        struct Member {
            UnevaluatedCase c;
            Value constant;
            RewrittenSubschema then_r;
            RewrittenSubschema else_r;
        };
        std::vector<Member> members;
        std::vector<UnevaluatedCase> others;
        auto join = [&](UnevaluatedCase c) -> CollectAnswer {
            auto d = const_discriminator(*c.if_schema);
            auto then_r = rewrite(c.then_schema, c.scope);
            if (!then_r) return make_unexpected(std::move(then_r).error());
            if (!then_r->has_value()) return false;
            auto else_r = rewrite(c.else_schema, c.scope);
            if (!else_r) return make_unexpected(std::move(else_r).error());
            if (!else_r->has_value()) return false;
            members.push_back(Member{std::move(c), std::move(d->second), std::move(**then_r), std::move(**else_r)});
            return true;
        };
        auto joined = join(std::move(first));
        if (!joined || !*joined) return joined;
        for (auto& c : rest) {
            std::optional<std::pair<std::string, Value>> d;
            if (c.kind == UnevaluatedCase::Kind::Conditional) d = const_discriminator(*c.if_schema);
            if (d && d->first == name) {
                joined = join(std::move(c));
                if (!joined || !*joined) return joined;
            } else {
                others.push_back(std::move(c));
            }
        }
        std::vector<const Value*> values;
        for (const auto& m : members) {
            bool seen = false;
            for (const Value* v : values) seen = seen || same_json(*v, m.constant);
            if (!seen) values.push_back(&m.constant);
        }
        for (const Value* v : values) {
            std::vector<Value> added{type_object()};
            std::vector<UnevaluatedCase> inner;
            for (auto& m : members) {
                RewrittenSubschema branch;
                if (same_json(m.constant, *v)) {
                    added.push_back(*m.c.if_schema);
                    branch = m.then_r;
                } else {
                    branch = m.else_r;
                }
                add(added, inner, branch);
            }
            auto answer = choose(conditions, std::move(added), std::move(inner), others);
            if (!answer || !*answer) return answer;
        }
        {
            std::vector<Value> added;
            std::vector<UnevaluatedCase> inner;
            for (auto& m : members) {
                added.push_back(negation(*m.c.if_schema));
                RewrittenSubschema branch = m.else_r;
                add(added, inner, branch);
            }
            auto answer = choose(conditions, std::move(added), std::move(inner), others);
            if (!answer || !*answer) return answer;
        }
        std::vector<Value> added{negation(type_object())};
        std::vector<UnevaluatedCase> inner;
        for (auto& m : members) {
            RewrittenSubschema branch = m.then_r;
            add(added, inner, branch);
        }
        return choose(conditions, std::move(added), std::move(inner), others);
    }

    const EvaluatedSets& summary_;
    CanonicalContext& context_;
    Variants& variants_;
};

bool is_top_member(std::string_view key) {
    for (auto name : {"id", "$id", "$defs", "$schema", "$anchor", "$vocabulary", "definitions", "$dynamicAnchor",
                      "$recursiveAnchor"}) {
        if (key == name) return true;
    }
    return false;
}

bool is_dropped_member(std::string_view key) {
    for (auto name : {"if", "then", "else", "allOf", "dependentSchemas"}) {
        if (key == name) return true;
    }
    return false;
}

}  // namespace

PropertiesSummary evaluated_properties_summary(const Value& object, CanonicalContext& context, const Scope& scope,
                                               EvaluationWalkOptions& options) {
    DepthStep step(options);
    if (step.too_deep()) return std::optional<EvaluatedProperties>();
    EvaluatedProperties record;
    if (const Value* ref = object.find("$ref"); ref && ref->is_string()) {
        auto answer = follow_reference_for_properties(ref->as_string(), context, scope, options, record);
        if (!answer) return make_unexpected(std::move(answer).error());
        if (!*answer) return std::optional<EvaluatedProperties>();
    }
    if (const Value* all = object.find("allOf"); all && all->is_array()) {
        for (const Value& item : all->as_array()) {
            auto answer = walk_properties_of_subschema(item, context, scope, options, record);
            if (!answer) return make_unexpected(std::move(answer).error());
            if (!*answer) return std::optional<EvaluatedProperties>();
        }
    }
    auto alternatives = walk_alternatives(
        object, options, record,
        [&](const Value& branch, EvaluatedProperties& r) {
            return walk_properties_of_subschema(branch, context, scope, options, r);
        },
        same_properties);
    if (!alternatives) return make_unexpected(std::move(alternatives).error());
    if (!*alternatives) return std::optional<EvaluatedProperties>();
    return std::optional<EvaluatedProperties>(std::move(record));
}

ItemsSummary evaluated_items_summary(const Value& object, Draft draft, CanonicalContext& context, const Scope& scope,
                                     EvaluationWalkOptions& options) {
    DepthStep step(options);
    if (step.too_deep()) return std::optional<EvaluatedItems>();
    EvaluatedItems record;
    if (const Value* ref = object.find("$ref"); ref && ref->is_string()) {
        auto answer = follow_reference_for_items(ref->as_string(), draft, context, scope, options, record);
        if (!answer) return make_unexpected(std::move(answer).error());
        if (!*answer) return std::optional<EvaluatedItems>();
    }
    if (const Value* all = object.find("allOf"); all && all->is_array()) {
        for (const Value& item : all->as_array()) {
            auto answer = walk_items_of_subschema(item, draft, context, scope, options, record);
            if (!answer) return make_unexpected(std::move(answer).error());
            if (!*answer) return std::optional<EvaluatedItems>();
        }
    }
    auto alternatives = walk_alternatives(
        object, options, record,
        [&](const Value& branch, EvaluatedItems& r) {
            return walk_items_of_subschema(branch, draft, context, scope, options, r);
        },
        [](const EvaluatedItems& a, const EvaluatedItems& b) { return a.prefix == b.prefix && a.all == b.all; });
    if (!alternatives) return make_unexpected(std::move(alternatives).error());
    if (!*alternatives) return std::optional<EvaluatedItems>();
    return std::optional<EvaluatedItems>(record);
}

EvaluatedSets unconditional_summary(const Value& object, const std::optional<EvaluatedProperties>& properties,
                                    const std::optional<EvaluatedItems>& items) {
    EvaluatedSets out;
    if (const Value* p = object.find("properties"); p && p->is_object()) {
        for (const auto& m : p->as_object()) out.names.push_back(m.key);
    }
    if (const Value* p = object.find("patternProperties"); p && p->is_object()) {
        for (const auto& m : p->as_object()) out.patterns.push_back(m.key);
    }
    out.all_properties = object.contains("additionalProperties");
    if (const Value* it = object.find("items")) {
        if (it->is_array()) out.prefix = it->as_array().size();
        if (it->is_bool() || it->is_object()) out.all_items = true;
    }
    if (const Value* prefix = object.find("prefixItems"); prefix && prefix->is_array())
        out.prefix = std::max<uint64_t>(out.prefix, prefix->as_array().size());
    if (properties) {
        out.names.insert(out.names.end(), properties->names.begin(), properties->names.end());
        out.patterns.insert(out.patterns.end(), properties->patterns.begin(), properties->patterns.end());
        out.all_properties = out.all_properties || properties->all;
    }
    if (items) {
        out.all_items = out.all_items || items->all;
        out.prefix = std::max(out.prefix, items->prefix);
    }
    sort_unique(out.names);
    sort_unique(out.patterns);
    return out;
}

CollectAnswer collect_cases(const Value& object, const EvaluatedSets& summary, CanonicalContext& context,
                            const Scope& scope, EvaluationWalkOptions& options, bool carries_identifier,
                            CollectedCases& out) {
    DepthStep step(options);
    if (step.too_deep()) return false;
    const Draft draft = context.draft;
    if (const Value* dependent = object.find("dependentSchemas"); dependent && dependent->is_object()) {
        for (const auto& m : dependent->as_object()) {
            if (!is_free_of_identifiers(m.value, carries_identifier, draft)) return false;
            auto covered = subschema_evaluation_covered(m.value, summary, context, scope, options);
            if (!covered) return make_unexpected(std::move(covered).error());
            if (*covered) {
                out.plain.push_back(object_with("dependentSchemas", object_with(m.key, m.value)));
            } else {
                UnevaluatedCase c{UnevaluatedCase::Kind::Dependent, m.key, &m.value, nullptr, nullptr, nullptr, scope};
                out.cases.push_back(std::move(c));
            }
        }
    }
    if (const Value* if_schema = object.find("if")) {
        const Value* then_schema = object.find("then");
        const Value* else_schema = object.find("else");
        bool all_covered = true;
        for (const Value* v : {if_schema, then_schema, else_schema}) {
            if (v == nullptr) continue;
            if (!is_free_of_identifiers(*v, carries_identifier, draft)) return false;
            auto covered = subschema_evaluation_covered(*v, summary, context, scope, options);
            if (!covered) return make_unexpected(std::move(covered).error());
            all_covered = all_covered && *covered;
        }
        if (all_covered) {
            Value plain = object_with("if", *if_schema);
            if (then_schema) plain.insert_or_assign("then", *then_schema);
            if (else_schema) plain.insert_or_assign("else", *else_schema);
            out.plain.push_back(std::move(plain));
        } else {
            UnevaluatedCase c{
                UnevaluatedCase::Kind::Conditional, {}, nullptr, if_schema, then_schema, else_schema, scope};
            out.cases.push_back(std::move(c));
        }
    }
    if (const Value* all = object.find("allOf"); all && all->is_array()) {
        for (const Value& item : all->as_array()) {
            auto answer = rewrite_subschema_in_scope(item, context, scope, false, summary, options, out);
            if (!answer || !*answer) return answer;
        }
    }
    if (const Value* ref = object.find("$ref"); ref && ref->is_string()) {
        if (options.reference_budget == 0) return false;
        --options.reference_budget;
        auto uri = referencing::resolve_uri_cached(scope.registry(), *scope.base(), ref->as_string());
        if (!uri) return make_unexpected(reference_failed(std::move(uri).error()));
        std::string key = (*uri)->text();
        if (!options.references_in_progress.insert(key).second) return false;
        auto answer = rewrite_reference_target(ref->as_string(), context, scope, carries_identifier,
                                               scope.base()->text(), summary, options, out);
        options.references_in_progress.erase(key);
        return answer;
    }
    return true;
}

CollectAnswer rewrite_subschema_in_scope(const Value& v, CanonicalContext& context, const Scope& scope,
                                         bool forced_identifier, const EvaluatedSets& summary,
                                         EvaluationWalkOptions& options, CollectedCases& out) {
    if (v.is_bool()) return true;
    if (!v.is_object()) return false;
    auto inner = referencing::resolve_schema_id(scope, v, engine_draft(context.draft));
    if (!inner) return make_unexpected(reference_failed(std::move(inner).error()));
    return collect_cases(v, summary, context, *inner, options, forced_identifier || v.contains("$id"), out);
}

CollectAnswer rewrite_reference_target(std::string_view reference, CanonicalContext& context, const Scope& scope,
                                       bool forced_identifier, std::string_view comparison_uri,
                                       const EvaluatedSets& summary, EvaluationWalkOptions& options,
                                       CollectedCases& out) {
    auto target = referencing::resolver_lookup(scope, reference);
    if (!target) return make_unexpected(reference_failed(std::move(target).error()));
    if (target->draft != engine_draft(context.draft)) return false;
    const Value& contents = *target->contents;
    if (contents.is_bool()) return true;
    if (!contents.is_object()) return false;
    const bool identifier = forced_identifier || target->resolver.base()->text() != comparison_uri;
    return collect_cases(contents, summary, context, target->resolver, options, identifier, out);
}

CollectAnswer expand_cases(std::vector<Value> conditions, std::vector<UnevaluatedCase> cases,
                           const EvaluatedSets& summary, CanonicalContext& context, Variants& variants) {
    Expansion expansion(summary, context, variants);
    return expansion.run(std::move(conditions), std::move(cases));
}

Result<std::optional<Value>, CanonicalError> rewrite_unevaluated_members(Value object, CanonicalContext& context,
                                                                         const Scope& scope,
                                                                         EvaluationWalkOptions& options) {
    using Answer = Result<std::optional<Value>, CanonicalError>;
    const bool modern = context.draft == Draft::Draft202012;
    if (const Value* u = object.find("unevaluatedProperties")) {
        Value rest = *u;
        object.erase("unevaluatedProperties");
        if (!object.contains("additionalProperties")) {
            auto summary = evaluated_properties_summary(object, context, scope, options);
            if (!summary) return make_unexpected(std::move(summary).error());
            if (!summary->has_value()) return Answer(std::optional<Value>());
            const EvaluatedProperties& evaluated = **summary;
            if (!evaluated.all) {
                // Members this rewrite cannot extend leave the object to the parser's own verdict.
                for (auto key : {"properties", "patternProperties"}) {
                    const Value* existing = object.find(key);
                    if (existing && !existing->is_object()) return Answer(std::optional<Value>());
                    if (!existing) object.insert_or_assign(key, Value::object());
                }
                Value* properties = object.find_mut("properties");
                for (const auto& name : evaluated.names) {
                    if (!properties->contains(name)) properties->insert_or_assign(name, Value::boolean(true));
                }
                Value* patterns = object.find_mut("patternProperties");
                for (const auto& pattern : evaluated.patterns) {
                    if (!patterns->contains(pattern)) patterns->insert_or_assign(pattern, Value::boolean(true));
                }
                if (properties->empty()) object.erase("properties");
                if (patterns->empty()) object.erase("patternProperties");
                object.insert_or_assign("additionalProperties", std::move(rest));
            }
        }
    }
    if (const Value* u = object.find("unevaluatedItems")) {
        Value rest = *u;
        object.erase("unevaluatedItems");
        if (const Value* contains = object.find("contains")) {
            if (!contains->is_bool() && !contains->is_object()) return Answer(std::optional<Value>());
            Value::Array either;
            either.push_back(*contains);
            either.push_back(std::move(rest));
            rest = object_with("anyOf", Value::array(std::move(either)));
        }
        auto summary = evaluated_items_summary(object, context.draft, context, scope, options);
        if (!summary) return make_unexpected(std::move(summary).error());
        if (!summary->has_value()) return Answer(std::optional<Value>());
        const EvaluatedItems& evaluated = **summary;
        const Value* items = object.find("items");
        const bool tuple_items = items != nullptr && items->is_array();
        if (evaluated.all || (items != nullptr && (modern || !tuple_items)))
            return Answer(std::optional<Value>(object));
        const char* target = "items";
        if (tuple_items || (!modern && evaluated.prefix > 0)) target = "additionalItems";
        if (object.contains(target)) {
            // Before 2020-12 `additionalItems` without an `items` array evaluates
            // nothing, so it cannot stand in for the unevaluated items.
            if (!tuple_items) return Answer(std::optional<Value>());
            return Answer(std::optional<Value>(object));
        }
        const char* tuple = modern ? "prefixItems" : "items";
        if (const Value* existing = object.find(tuple); existing && !existing->is_array())
            return Answer(std::optional<Value>());
        pad_prefix_items(object, modern, evaluated.prefix);
        object.insert_or_assign(target, std::move(rest));
    }
    return Answer(std::optional<Value>(std::move(object)));
}

Result<std::optional<Value>, CanonicalError> rewrite_unevaluated_object(const Value& object, CanonicalContext& context,
                                                                        const Scope& scope) {
    using Answer = Result<std::optional<Value>, CanonicalError>;
    const Answer unsupported{std::optional<Value>()};
    for (auto name : {"$recursiveRef", "dependencies", "$dynamicRef"}) {
        if (object.contains(name)) return unsupported;
    }
    EvaluationWalkOptions summary_options;
    summary_options.conditionals_tolerated = true;
    auto properties = evaluated_properties_summary(object, context, scope, summary_options);
    if (!properties) return make_unexpected(std::move(properties).error());
    EvaluationWalkOptions items_options;
    items_options.conditionals_tolerated = true;
    auto items = evaluated_items_summary(object, context.draft, context, scope, items_options);
    if (!items) return make_unexpected(std::move(items).error());
    const EvaluatedSets summary = unconditional_summary(object, *properties, *items);

    EvaluationWalkOptions collect_options;
    CollectedCases collected;
    auto answer = collect_cases(object, summary, context, scope, collect_options, false, collected);
    if (!answer) return make_unexpected(std::move(answer).error());
    if (!*answer) return unsupported;

    if (collected.cases.empty()) {
        EvaluationWalkOptions options;
        options.conditionals_tolerated = !collected.plain.empty();
        return rewrite_unevaluated_members(object, context, scope, options);
    }

    Variants variants;
    answer = expand_cases({}, std::move(collected.cases), summary, context, variants);
    if (!answer) return make_unexpected(std::move(answer).error());
    if (!*answer) return unsupported;
    if (context.parse_budget < variants.size()) return unsupported;
    context.parse_budget -= variants.size();

    Value::Object top;
    Value::Object copied;
    for (const auto& m : object.as_object()) {
        if (is_top_member(m.key))
            top.push_back(m);
        else if (!is_dropped_member(m.key))
            copied.push_back(m);
    }
    Value::Array rewritten;
    for (auto& conditions : variants) {
        Value::Array all;
        if (const Value* own = object.find("allOf"); own && own->is_array()) {
            for (const Value& item : own->as_array()) all.push_back(item);
        }
        for (const Value& plain : collected.plain) all.push_back(plain);
        for (Value& condition : conditions) all.push_back(std::move(condition));
        Value variant = Value::object(copied);
        variant.insert_or_assign("allOf", Value::array(std::move(all)));
        EvaluationWalkOptions options;
        options.conditionals_tolerated = true;
        auto one = rewrite_unevaluated_members(std::move(variant), context, scope, options);
        if (!one) return make_unexpected(std::move(one).error());
        if (!one->has_value()) return unsupported;
        rewritten.push_back(std::move(**one));
    }
    Value result = Value::object(std::move(top));
    result.insert_or_assign("anyOf", Value::array(std::move(rewritten)));
    return Answer(std::optional<Value>(std::move(result)));
}

}  // namespace deririrore::canonical
