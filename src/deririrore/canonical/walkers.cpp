#include "deririrore/canonical/walkers.hpp"

#include <algorithm>

#include "deririrore/canonical/unevaluated.hpp"
#include "deririrore/referencing/draft.hpp"
#include "deririrore/referencing/resource.hpp"

namespace deririrore::canonical {

namespace {

using value::Value;

// Raises the walk depth for one step and lowers it again on every path out.
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

bool is_2020_rules(Draft draft) { return static_cast<uint8_t>(draft) >= static_cast<uint8_t>(Draft::Draft202012); }

Result<Scope, CanonicalError> child_scope(const Scope& scope, const Value& v, Draft draft) {
    auto next = referencing::resolve_schema_id(scope, v, engine_draft(draft));
    if (!next) return make_unexpected(reference_failed(std::move(next).error()));
    return std::move(*next);
}

// The shared reference step of both walkers; `walk` walks an object target.
template <class Walk>
WalkAnswer follow_reference(std::string_view reference, CanonicalContext& context, const Scope& scope,
                            EvaluationWalkOptions& options, Walk&& walk) {
    if (options.reference_budget == 0) return false;
    --options.reference_budget;
    auto uri = referencing::resolve_uri_cached(scope.registry(), *scope.base(), reference);
    if (!uri) return make_unexpected(reference_failed(std::move(uri).error()));
    std::string key = (*uri)->text();
    if (!options.references_in_progress.insert(key).second) return false;
    WalkAnswer answer = [&]() -> WalkAnswer {
        auto target = referencing::resolver_lookup(scope, reference);
        if (!target) return make_unexpected(reference_failed(std::move(target).error()));
        if (target->draft != engine_draft(context.draft)) return false;
        const Value& contents = *target->contents;
        if (contents.is_object()) return walk(contents, target->resolver);
        return contents.is_bool();
    }();
    options.references_in_progress.erase(key);
    return answer;
}

}  // namespace

referencing::Draft engine_draft(Draft draft) noexcept { return static_cast<referencing::Draft>(draft); }

CanonicalError reference_failed(referencing::ReferenceError error) {
    return CanonicalError{CanonicalError::ReferenceFailed{std::move(error)}};
}

void sort_unique(std::vector<std::string>& texts) {
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
}

bool has_dynamic_applicator(const Value& object) {
    for (auto name : {"anyOf", "oneOf", "$dynamicRef", "dependencies", "$recursiveRef"}) {
        if (object.contains(name)) return true;
    }
    return false;
}

bool has_conditional_keyword(const Value& object) {
    for (auto name : {"if", "then", "else", "dependentSchemas"}) {
        if (object.contains(name)) return true;
    }
    return false;
}

WalkAnswer walk_properties_of_subschema(const Value& v, CanonicalContext& context, const Scope& scope,
                                        EvaluationWalkOptions& options, EvaluatedProperties& record) {
    if (v.is_bool()) return true;
    if (!v.is_object()) return false;
    auto inner = child_scope(scope, v, context.draft);
    if (!inner) return make_unexpected(std::move(inner).error());
    return walk_evaluated_properties(v, context, *inner, options, record);
}

WalkAnswer walk_items_of_subschema(const Value& v, Draft draft, CanonicalContext& context, const Scope& scope,
                                   EvaluationWalkOptions& options, EvaluatedItems& record) {
    if (v.is_bool()) return true;
    if (!v.is_object()) return false;
    auto inner = child_scope(scope, v, context.draft);
    if (!inner) return make_unexpected(std::move(inner).error());
    return walk_evaluated_items(v, draft, context, *inner, options, record);
}

WalkAnswer walk_evaluated_properties(const Value& object, CanonicalContext& context, const Scope& scope,
                                     EvaluationWalkOptions& options, EvaluatedProperties& record) {
    DepthStep step(options);
    if (step.too_deep()) return false;
    if (has_dynamic_applicator(object)) return false;
    if (!options.conditionals_tolerated && has_conditional_keyword(object)) return false;
    if (object.contains("additionalProperties")) {
        record.all = true;
        return true;
    }
    if (object.contains("unevaluatedProperties")) {
        // The walk's own options: a nested summary spends the same reference budget.
        auto summary = evaluated_properties_summary(object, context, scope, options);
        if (!summary) return make_unexpected(std::move(summary).error());
        if (!summary->has_value()) return false;
        record.all = true;
        return true;
    }
    if (const Value* p = object.find("properties"); p && p->is_object()) {
        for (const auto& m : p->as_object()) record.names.push_back(m.key);
    }
    if (const Value* p = object.find("patternProperties"); p && p->is_object()) {
        for (const auto& m : p->as_object()) record.patterns.push_back(m.key);
    }
    if (const Value* all = object.find("allOf"); all && all->is_array()) {
        for (const Value& item : all->as_array()) {
            auto answer = walk_properties_of_subschema(item, context, scope, options, record);
            if (!answer || !*answer) return answer;
        }
    }
    if (const Value* ref = object.find("$ref"); ref && ref->is_string())
        return follow_reference_for_properties(ref->as_string(), context, scope, options, record);
    return true;
}

WalkAnswer walk_evaluated_items(const Value& object, Draft draft, CanonicalContext& context, const Scope& scope,
                                EvaluationWalkOptions& options, EvaluatedItems& record) {
    DepthStep step(options);
    if (step.too_deep()) return false;
    const bool modern = is_2020_rules(draft);
    if (has_dynamic_applicator(object)) return false;
    if (!options.conditionals_tolerated && has_conditional_keyword(object)) return false;
    if (object.contains("contains")) return false;
    if (object.contains("unevaluatedItems")) {
        auto summary = evaluated_items_summary(object, draft, context, scope, options);
        if (!summary) return make_unexpected(std::move(summary).error());
        if (!summary->has_value()) return false;
        record.all = true;
        return true;
    }
    if (const Value* items = object.find("items")) {
        if (items->is_bool() || items->is_object()) {
            record.all = true;
            return true;
        }
        if (items->is_array() && !modern) {
            record.prefix = std::max<uint64_t>(record.prefix, items->as_array().size());
            if (object.contains("additionalItems")) {
                record.all = true;
                return true;
            }
        }
    }
    if (modern) {
        if (const Value* prefix = object.find("prefixItems"); prefix && prefix->is_array())
            record.prefix = std::max<uint64_t>(record.prefix, prefix->as_array().size());
    }
    if (const Value* all = object.find("allOf"); all && all->is_array()) {
        for (const Value& item : all->as_array()) {
            auto answer = walk_items_of_subschema(item, draft, context, scope, options, record);
            if (!answer || !*answer) return answer;
        }
    }
    if (const Value* ref = object.find("$ref"); ref && ref->is_string())
        return follow_reference_for_items(ref->as_string(), draft, context, scope, options, record);
    return true;
}

WalkAnswer follow_reference_for_properties(std::string_view reference, CanonicalContext& context, const Scope& scope,
                                           EvaluationWalkOptions& options, EvaluatedProperties& record) {
    DepthStep step(options);
    if (step.too_deep()) return false;
    return follow_reference(reference, context, scope, options, [&](const Value& target, const Scope& at) {
        return walk_evaluated_properties(target, context, at, options, record);
    });
}

WalkAnswer follow_reference_for_items(std::string_view reference, Draft draft, CanonicalContext& context,
                                      const Scope& scope, EvaluationWalkOptions& options, EvaluatedItems& record) {
    DepthStep step(options);
    if (step.too_deep()) return false;
    return follow_reference(reference, context, scope, options, [&](const Value& target, const Scope& at) {
        return walk_evaluated_items(target, draft, context, at, options, record);
    });
}

WalkAnswer subschema_evaluation_covered(const Value& v, const EvaluatedSets& given, CanonicalContext& context,
                                        const Scope& scope, EvaluationWalkOptions& options) {
    const bool saved = options.conditionals_tolerated;
    options.conditionals_tolerated = false;
    EvaluatedProperties properties;
    auto walked = walk_properties_of_subschema(v, context, scope, options, properties);
    if (!walked || !*walked) {
        options.conditionals_tolerated = saved;
        return walked;
    }
    EvaluatedItems items;
    walked = walk_items_of_subschema(v, context.draft, context, scope, options, items);
    options.conditionals_tolerated = saved;
    if (!walked || !*walked) return walked;
    sort_unique(properties.names);
    sort_unique(properties.patterns);
    const bool items_covered = given.all_items || (!items.all && items.prefix <= given.prefix);
    if (given.all_properties) return items_covered;
    if (properties.all) return false;
    for (const auto& name : properties.names) {
        if (!std::binary_search(given.names.begin(), given.names.end(), name)) return false;
    }
    for (const auto& pattern : properties.patterns) {
        if (!std::binary_search(given.patterns.begin(), given.patterns.end(), pattern)) return false;
    }
    return items_covered;
}

bool is_free_of_identifiers(const Value& v, bool references_too, Draft draft) {
    // Explicit stack: each entry is a value and its nesting depth.
    std::vector<std::pair<const Value*, uint32_t>> stack{{&v, 0}};
    while (!stack.empty()) {
        const Value* current = stack.back().first;
        const uint32_t depth = stack.back().second;
        stack.pop_back();
        if (!current->is_object()) continue;
        if (depth > kMaxWalkDepth) return false;
        for (auto name : {"$id", "$anchor", "$dynamicAnchor", "$recursiveAnchor"}) {
            if (current->contains(name)) return false;
        }
        if (references_too) {
            for (auto name : {"$ref", "$dynamicRef", "$recursiveRef"}) {
                if (current->contains(name)) return false;
            }
        }
        referencing::subresources_of(engine_draft(draft), *current,
                                     [&](const Value& child) { stack.emplace_back(&child, depth + 1); });
    }
    return true;
}

std::optional<std::pair<std::string, Value>> const_discriminator(const Value& object) {
    if (!object.is_object() || object.size() != 2) return std::nullopt;
    const Value* properties = object.find("properties");
    const Value* required = object.find("required");
    if (!properties || !required || !properties->is_object() || properties->size() != 1) return std::nullopt;
    const value::Member& only = properties->as_object().front();
    if (!only.value.is_object() || only.value.size() != 1) return std::nullopt;
    const Value* constant = only.value.find("const");
    if (!constant) return std::nullopt;
    if (!constant->is_null() && !constant->is_bool() && !constant->is_string()) return std::nullopt;
    if (!required->is_array() || required->size() != 1) return std::nullopt;
    const Value& name = required->as_array().front();
    if (!name.is_string() || name.as_string() != only.key) return std::nullopt;
    return std::make_pair(only.key, *constant);
}

void pad_prefix_items(Value& object, bool prefix_items, uint64_t n) {
    if (n == 0 || !object.is_object()) return;
    const char* key = prefix_items ? "prefixItems" : "items";
    if (!object.contains(key)) object.insert_or_assign(key, Value::array());
    Value* tuple = object.find_mut(key);
    if (!tuple->is_array()) return;
    while (tuple->as_array().size() < n) tuple->push_back(Value::boolean(true));
}

}  // namespace deririrore::canonical
