#include "deririrore/keywords/unevaluated_properties.hpp"

#include <unordered_set>

namespace deririrore::keywords {

using core::EvaluationContext;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::ValidationContext;

namespace {

// The kind under which property collections are entered on the context's in-progress stack.
constexpr std::uint8_t kPropertyCollectionEntry = 1;

bool matches_any(const std::vector<std::shared_ptr<const regex::BacktrackingRegex>>& backtracking,
                 const std::vector<std::shared_ptr<const regex::AutomatonRegex>>& automaton, std::string_view name) {
    // An engine failure (its match limit, say) counts as no match.
    for (const auto& pattern : backtracking) {
        if (pattern->match(name).matched()) return true;
    }
    for (const auto& pattern : automaton) {
        if (pattern->is_match(name)) return true;
    }
    return false;
}

struct Walk {
    const Value& instance;
    EvaluatedMembers& evaluated;
    ValidationContext& ctx;
    EvaluatedWalk& walk;

    void collect(const PropertyValidators& validators, bool include_unevaluated);
    void collect(const PropertyValidators* validators) {
        if (validators == nullptr) return;
        const PropertyValidators& nested = finished(validators);
        if (const auto* kept = walk.kept_nested(&nested)) return evaluated.add_all(*kept);
        collect(nested, true);
    }
};

}  // namespace

void collect_evaluated_properties(const PropertyValidators& validators, const Value& instance,
                                  EvaluatedMembers& evaluated, ValidationContext& ctx, bool include_unevaluated) {
    EvaluatedWalk walk(ctx, &validators, instance, include_unevaluated ? kNestedPositions : kTopPositions);
    if (const auto* kept = walk.kept()) return evaluated.add_all(*kept);
    Walk{instance, evaluated, ctx, walk}.collect(validators, include_unevaluated);
    walk.keep(evaluated.flags());
}

namespace {

void Walk::collect(const PropertyValidators& validators, bool include_unevaluated) {
    const CollectionEntry entry(ctx, walk, &validators, instance, kPropertyCollectionEntry);
    if (!entry) return;

    for (const PropertyValidators* target : {validators.ref, validators.recursive_ref, validators.dynamic_ref}) {
        collect(target);
    }
    if (!instance.is_object()) return;
    const auto& members = instance.as_object();
    if (!validators.property_names.empty()) {
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (validators.declares(members[i].key)) evaluated.add(i);
        }
    }
    if (!validators.backtracking_patterns.empty() || !validators.automaton_patterns.empty()) {
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (!evaluated.contains(i) &&
                matches_any(validators.backtracking_patterns, validators.automaton_patterns, members[i].key)) {
                evaluated.add(i);
            }
        }
    }
    if (validators.additional_properties != nullptr) {
        for (std::size_t i = 0; i < members.size(); ++i) evaluated.add(i);
    }
    if (include_unevaluated && validators.unevaluated != nullptr) {
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (!evaluated.contains(i) && validators.unevaluated->is_valid(members[i].value, ctx)) evaluated.add(i);
        }
    }
    for (const auto& dependent : validators.dependent_schemas) {
        if (instance.contains(dependent.name)) collect(dependent.validators);
    }
    // What follows can only add members; once every member is evaluated it changes nothing.
    if (evaluated.all()) return;
    visit_applied_subschemas(validators, instance, ctx,
                             [this](const PropertyValidators* applied) { collect(applied); });
}

}  // namespace

bool PropertySummary::evaluates(std::string_view name) const {
    return names.contains(name) || matches_any(backtracking_patterns, automaton_patterns, name);
}

namespace {

struct SummaryBuilder {
    PropertySummary summary;
    std::unordered_set<const PropertyValidators*> visited;

    // Along `allOf` branches and `$ref` targets; false when something conditional is met.
    bool walk(const PropertyValidators* current, bool top) {
        while (true) {
            const PropertyValidators& w = finished(current);
            if (!w.any_of.empty() || !w.one_of.empty() || !w.dependent_schemas.empty() || w.conditional ||
                w.dynamic_ref != nullptr || w.recursive_ref != nullptr || (!top && w.unevaluated != nullptr)) {
                return false;
            }
            if (!visited.insert(&w).second) return true;
            summary.names.insert(w.property_names.begin(), w.property_names.end());
            summary.backtracking_patterns.insert(summary.backtracking_patterns.end(), w.backtracking_patterns.begin(),
                                                 w.backtracking_patterns.end());
            summary.automaton_patterns.insert(summary.automaton_patterns.end(), w.automaton_patterns.begin(),
                                              w.automaton_patterns.end());
            if (w.additional_properties != nullptr) summary.has_additional = true;
            for (const auto& branch : w.all_of) {
                summary.has_all_of = true;
                if (!walk(branch.validators, false)) return false;
            }
            if (w.ref == nullptr) return true;
            current = w.ref;
            top = false;
        }
    }
};

}  // namespace

std::optional<PropertySummary> build_property_summary(const PropertyValidators& validators) {
    SummaryBuilder builder;
    if (!builder.walk(&validators, true)) return std::nullopt;
    return std::move(builder.summary);
}

const PropertySummary* UnevaluatedPropertiesValidator::summary() const {
    std::call_once(summary_once_, [this] { summary_ = build_property_summary(validators()); });
    return summary_ ? &*summary_ : nullptr;
}

bool UnevaluatedPropertiesValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    const auto& members = instance.as_object();
    if (const PropertySummary* flat = summary()) {
        if (flat->has_additional) return true;
        for (const auto& member : members) {
            if (!flat->evaluates(member.key) && !unevaluated_->is_valid(member.value, ctx)) return false;
        }
        return true;
    }
    EvaluatedMembers evaluated(members.size());
    collect_evaluated_properties(validators(), instance, evaluated, ctx, true);
    if (evaluated.all()) return true;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!evaluated.contains(i) && !unevaluated_->is_valid(members[i].value, ctx)) return false;
    }
    return true;
}

std::vector<std::string> UnevaluatedPropertiesValidator::failing_members(const Value& instance,
                                                                         ValidationContext& ctx) const {
    std::vector<std::string> names;
    const auto& members = instance.as_object();
    const PropertySummary* flat = summary();
    if (flat != nullptr && !flat->has_all_of) {
        if (flat->has_additional) return names;
        for (const auto& member : members) {
            if (!flat->evaluates(member.key) && !unevaluated_->is_valid(member.value, ctx)) names.push_back(member.key);
        }
        return names;
    }
    EvaluatedMembers evaluated(members.size());
    collect_evaluated_properties(validators(), instance, evaluated, ctx, true);
    if (evaluated.all()) return names;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!evaluated.contains(i) && !unevaluated_->is_valid(members[i].value, ctx)) names.push_back(members[i].key);
    }
    return names;
}

ValidationError UnevaluatedPropertiesValidator::error_for(std::vector<std::string> names, const Value& instance,
                                                          const LazyLocation& instance_path,
                                                          const RefChain* chain) const {
    return ValidationError::make(core::kinds::UnevaluatedProperties{std::move(names)}, instance, instance_path,
                                 location_, chain);
}

std::optional<ValidationError> UnevaluatedPropertiesValidator::validate(const Value& instance,
                                                                        const LazyLocation& instance_path,
                                                                        const RefChain* chain,
                                                                        ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    std::vector<std::string> names = failing_members(instance, ctx);
    if (names.empty()) return std::nullopt;
    return error_for(std::move(names), instance, instance_path, chain);
}

EvaluationResult UnevaluatedPropertiesValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                          const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    const auto& members = instance.as_object();
    EvaluatedMembers evaluated(members.size());
    collect_evaluated_properties(validators(), instance, evaluated, ctx, false);
    UnevaluatedChildren children(*unevaluated_, chain, ctx);
    std::vector<std::string> noted;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (evaluated.contains(i)) continue;
        if (!children.add(members[i].value, instance_path.push(std::string_view(members[i].key)))) {
            noted.push_back(members[i].key);
        }
    }
    return children.result([&] { return error_for(std::move(noted), instance, instance_path, chain); });
}

EvaluationResult UnevaluatedPropertiesValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                             const Location&, const RefChain* chain,
                                                             EvaluationContext& ctx) const {
    return evaluate(instance, instance_path, chain, ctx);
}

bool UnevaluatedPropertiesValidator::trace(const Value& instance, const LazyLocation& instance_path,
                                           core::Tracer& tracer, core::TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const auto& members = instance.as_object();
    EvaluatedMembers evaluated(members.size());
    collect_evaluated_properties(validators(), instance, evaluated, ctx, false);
    bool valid = true;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (evaluated.contains(i)) continue;
        const LazyLocation member_path = instance_path.push(std::string_view(members[i].key));
        valid = unevaluated_->trace(members[i].value, member_path, tracer, ctx) && valid;
    }
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

KeywordCompileResult compile_unevaluated_properties(const CompileContext& ctx, const Value& parent,
                                                    const Value& value) {
    if (value.is_bool() && value.as_bool()) return no_validator();
    const CompileContext keyword_ctx = ctx.at_keyword("unevaluatedProperties");
    auto node = core::compile_subschema(keyword_ctx, value);
    if (!node) return make_unexpected(std::move(node).error());
    auto validators = compile_property_validators(ctx, parent);
    if (!validators) return make_unexpected(core::error_into_owned(std::move(validators).error()));
    return KeywordValidatorPtr(std::make_unique<UnevaluatedPropertiesValidator>(
        *validators, *node, keyword_ctx.location(), evaluated_arena(ctx)));
}

}  // namespace deririrore::keywords
