#include "deririrore/keywords/applicators.hpp"

#include "deririrore/core/internal_error.hpp"

namespace deririrore::keywords {

using core::ErrorSink;
using core::EvaluationContext;
using core::EvaluationNode;
using core::EvaluationResult;
using core::LazyLocation;
using core::RefChain;
using core::SiblingLinker;
using core::TraceContext;
using core::Tracer;
using core::ValidationContext;
namespace kinds = core::kinds;

namespace {

EvaluationNode evaluate_branch(const SchemaNode& branch, const Value& instance, const LazyLocation& instance_path,
                               const Location& instance_location, const RefChain* chain, EvaluationContext& ctx) {
    return core::evaluate_child_node(branch, instance, instance_path, instance_location, chain, ctx);
}

// Appends a child unit after the previous one; answers its validity.
bool append_child(EvaluationContext& ctx, SiblingLinker& linker, EvaluationNode node) {
    const bool valid = node.valid;
    linker.link(ctx.output(), ctx.push_node(std::move(node)));
    return valid;
}

EvaluationResult result_of_children(const SiblingLinker& linker, bool valid, bool children_valid) {
    EvaluationResult result;
    result.valid = valid;
    result.children_valid = children_valid;
    linker.fill(result);
    return result;
}

EvaluationResult single_child_result(const SchemaNode& branch, const Value& instance,
                                     const LazyLocation& instance_path, const Location& instance_location,
                                     const RefChain* chain, EvaluationContext& ctx) {
    SiblingLinker linker;
    const bool valid =
        append_child(ctx, linker, evaluate_branch(branch, instance, instance_path, instance_location, chain, ctx));
    return result_of_children(linker, valid, valid);
}

std::vector<ValidationError> errors_of(const SchemaNode& branch, const Value& instance,
                                       const LazyLocation& instance_path, const RefChain* chain,
                                       ValidationContext& ctx) {
    ErrorSink errors;
    branch.iter_errors(instance, instance_path, chain, ctx, errors);
    return errors;
}

}  // namespace

kinds::Context BranchListValidator::branch_errors(const Value& instance, const LazyLocation& instance_path,
                                                  const RefChain* chain, ValidationContext& ctx) const {
    kinds::Context context;
    context.reserve(branches_.size());
    for (const SchemaNode* branch : branches_) {
        context.push_back(errors_of(*branch, instance, instance_path, chain, ctx));
    }
    // Independent of the instance, with one copy of it for every branch error that borrows inside.
    core::context_into_owned(context, instance, instance_path);
    return context;
}

core::KindRejection BranchListValidator::every_branch_rejection(value::ValueKind kind) const {
    if (branches_.empty()) return {};
    core::KindRejection total = branches_.front()->kind_rejection(kind);
    for (std::size_t i = 1; i < branches_.size(); ++i) {
        total = core::sequence_rejection(total, branches_[i]->kind_rejection(kind));
    }
    return total;
}

std::size_t BranchListValidator::trace_branches(const Value& instance, const LazyLocation& instance_path,
                                                Tracer& tracer, TraceContext& ctx) const {
    std::size_t valid_count = 0;
    for (const SchemaNode* branch : branches_) {
        const bool valid = branch->trace(instance, instance_path, tracer, ctx);
        tracer.emit(instance_path, branch->location(), core::outcome_of(valid));
        if (valid) ++valid_count;
    }
    return valid_count;
}

bool BranchListValidator::append_every_branch(const Value& instance, const LazyLocation& instance_path,
                                              const Location& instance_location, const RefChain* chain,
                                              EvaluationContext& ctx, SiblingLinker& linker) const {
    bool valid = true;
    for (const SchemaNode* branch : branches_) {
        valid = append_child(ctx, linker,
                             evaluate_branch(*branch, instance, instance_path, instance_location, chain, ctx)) &&
                valid;
    }
    return valid;
}

EvaluationResult SingleBranchValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                    const Location& instance_location, const RefChain* chain,
                                                    EvaluationContext& ctx) const {
    return single_child_result(*node_, instance, instance_path, instance_location, chain, ctx);
}

EvaluationResult SingleBranchValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                 const RefChain* chain, EvaluationContext& ctx) const {
    return SingleBranchValidator::evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain,
                                              ctx);
}

// allOf, list form.

bool AllOfListValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    for (const SchemaNode* branch : branches_) {
        if (!branch->is_valid(instance, ctx)) return false;
    }
    return true;
}

std::optional<ValidationError> AllOfListValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                            const RefChain* chain, ValidationContext& ctx) const {
    for (const SchemaNode* branch : branches_) {
        if (auto error = branch->validate(instance, instance_path, chain, ctx)) return error;
    }
    return std::nullopt;
}

void AllOfListValidator::iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                                     ValidationContext& ctx, ErrorSink& sink) const {
    for (const SchemaNode* branch : branches_) branch->iter_errors(instance, instance_path, chain, ctx, sink);
}

EvaluationResult AllOfListValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                 const Location& instance_location, const RefChain* chain,
                                                 EvaluationContext& ctx) const {
    SiblingLinker linker;
    const bool valid = append_every_branch(instance, instance_path, instance_location, chain, ctx, linker);
    return result_of_children(linker, valid, valid);
}

EvaluationResult AllOfListValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                              const RefChain* chain, EvaluationContext& ctx) const {
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool AllOfListValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                               TraceContext& ctx) const {
    const bool valid = trace_branches(instance, instance_path, tracer, ctx) == branches_.size();
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

// allOf, one branch.

std::optional<ValidationError> AllOfSingleValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                              const RefChain* chain, ValidationContext& ctx) const {
    return node_->validate(instance, instance_path, chain, ctx);
}

void AllOfSingleValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                       const RefChain* chain, ValidationContext& ctx, ErrorSink& sink) const {
    node_->iter_errors(instance, instance_path, chain, ctx, sink);
}

bool AllOfSingleValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                 TraceContext& ctx) const {
    const bool valid = node_->trace(instance, instance_path, tracer, ctx);
    tracer.emit(instance_path, node_->location(), core::outcome_of(valid));
    return valid;
}

// anyOf, list forms.

bool AnyOfValidatorBase::any_branch_valid(const Value& instance, ValidationContext& ctx) const {
    for (const SchemaNode* branch : branches_) {
        if (branch->is_valid(instance, ctx)) return true;
    }
    return false;
}

std::optional<ValidationError> AnyOfValidatorBase::validate(const Value& instance, const LazyLocation& instance_path,
                                                            const RefChain* chain, ValidationContext& ctx) const {
    if (is_valid(instance, ctx)) return std::nullopt;
    return ValidationError::make(kinds::AnyOf{branch_errors(instance, instance_path, chain, ctx)}, instance,
                                 instance_path, location_, chain);
}

EvaluationResult AnyOfValidatorBase::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                 const Location& instance_location, const RefChain* chain,
                                                 EvaluationContext& ctx) const {
    std::size_t first = branches_.size();
    for (std::size_t i = 0; i < branches_.size(); ++i) {
        if (branches_[i]->is_valid(instance, ctx)) {
            first = i;
            break;
        }
    }
    SiblingLinker linker;
    if (first == branches_.size()) {
        const bool children_valid =
            append_every_branch(instance, instance_path, instance_location, chain, ctx, linker);
        return result_of_children(linker, false, children_valid);
    }
    bool valid = true;
    for (std::size_t i = first; i < branches_.size(); ++i) {
        if (i != first && !branches_[i]->is_valid(instance, ctx)) continue;
        valid = append_child(ctx, linker,
                             evaluate_branch(*branches_[i], instance, instance_path, instance_location, chain, ctx)) &&
                valid;
    }
    return result_of_children(linker, valid, valid);
}

EvaluationResult AnyOfValidatorBase::evaluate(const Value& instance, const LazyLocation& instance_path,
                                              const RefChain* chain, EvaluationContext& ctx) const {
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool AnyOfValidatorBase::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                               TraceContext& ctx) const {
    const bool valid = trace_branches(instance, instance_path, tracer, ctx) > 0;
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

bool DiscriminatedAnyOfValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    const DiscriminatorLookup found = discriminator_.lookup(instance);
    switch (found.kind) {
        case DiscriminatorLookup::Kind::NotAnObject:
            return any_branch_valid(instance, ctx);
        case DiscriminatorLookup::Kind::Branch:
            if (found.index >= branches_.size()) throw InternalError("discriminator index outside the branches");
            return branches_[found.index]->is_valid(instance, ctx);
        case DiscriminatorLookup::Kind::NoBranch:
            return false;
    }
    return false;
}

// anyOf, one branch.

std::optional<ValidationError> AnyOfSingleValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                              const RefChain* chain, ValidationContext& ctx) const {
    if (node_->is_valid(instance, ctx)) return std::nullopt;
    kinds::Context context;
    context.push_back(errors_of(*node_, instance, instance_path, chain, ctx));
    core::context_into_owned(context, instance, instance_path);
    return ValidationError::make(kinds::AnyOf{std::move(context)}, instance, instance_path, location_, chain);
}

bool AnyOfSingleValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                 TraceContext& ctx) const {
    const bool valid = node_->trace(instance, instance_path, tracer, ctx);
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

// oneOf, list forms.

OneOfSearch OneOfValidatorBase::search_all(const Value& instance, ValidationContext& ctx) const {
    OneOfSearch found;
    for (std::size_t i = 0; i < branches_.size(); ++i) {
        if (!branches_[i]->is_valid(instance, ctx)) continue;
        if (found.first) {
            found.another = true;
            break;
        }
        found.first = i;
    }
    return found;
}

OneOfSearch OneOfValidatorBase::search(const Value& instance, ValidationContext& ctx) const {
    return search_all(instance, ctx);
}

bool OneOfValidatorBase::is_valid(const Value& instance, ValidationContext& ctx) const {
    const OneOfSearch found = search(instance, ctx);
    return found.first.has_value() && !found.another;
}

std::optional<ValidationError> OneOfValidatorBase::validate(const Value& instance, const LazyLocation& instance_path,
                                                            const RefChain* chain, ValidationContext& ctx) const {
    const OneOfSearch found = search(instance, ctx);
    if (!found.first) {
        return ValidationError::make(kinds::OneOfNotValid{branch_errors(instance, instance_path, chain, ctx)},
                                     instance, instance_path, location_, chain);
    }
    if (found.another) {
        return ValidationError::make(kinds::OneOfMultipleValid{branch_errors(instance, instance_path, chain, ctx)},
                                     instance, instance_path, location_, chain);
    }
    return std::nullopt;
}

EvaluationResult OneOfValidatorBase::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                 const Location& instance_location, const RefChain* chain,
                                                 EvaluationContext& ctx) const {
    const OneOfSearch found = search(instance, ctx);
    SiblingLinker linker;
    if (!found.first) {
        const bool children_valid =
            append_every_branch(instance, instance_path, instance_location, chain, ctx, linker);
        return result_of_children(linker, false, children_valid);
    }
    const std::size_t first = *found.first;
    if (!found.another) {
        return single_child_result(*branches_[first], instance, instance_path, instance_location, chain, ctx);
    }
    // Branches before the first valid one were found invalid by the search.
    for (std::size_t i = first; i < branches_.size(); ++i) {
        if (i != first && !branches_[i]->is_valid(instance, ctx)) continue;
        EvaluationNode child = evaluate_branch(*branches_[i], instance, instance_path, instance_location, chain, ctx);
        if (!child.valid) continue;
        append_child(ctx, linker, std::move(child));
    }
    EvaluationResult result = result_of_children(linker, false, true);
    result.push_error_description(core::ErrorDescription{"oneOf", "more than one subschema succeeded"});
    return result;
}

EvaluationResult OneOfValidatorBase::evaluate(const Value& instance, const LazyLocation& instance_path,
                                              const RefChain* chain, EvaluationContext& ctx) const {
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool OneOfValidatorBase::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                               TraceContext& ctx) const {
    const bool valid = trace_branches(instance, instance_path, tracer, ctx) == 1;
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

std::pair<bool, std::size_t> DiscriminatedOneOfValidator::find_first_valid_branch(const Value& instance,
                                                                                  ValidationContext& ctx) const {
    const DiscriminatorLookup found = discriminator_.lookup(instance);
    switch (found.kind) {
        case DiscriminatorLookup::Kind::Branch:
            if (found.index >= branches_.size()) throw InternalError("discriminator index outside the branches");
            return {branches_[found.index]->is_valid(instance, ctx), found.index};
        case DiscriminatorLookup::Kind::NoBranch:
            return {false, 0};
        case DiscriminatorLookup::Kind::NotAnObject:
            break;
    }
    for (std::size_t i = 0; i < branches_.size(); ++i) {
        if (branches_[i]->is_valid(instance, ctx)) return {true, i};
    }
    return {false, branches_.size()};
}

bool DiscriminatedOneOfValidator::has_other_valid_branch(const Value& instance, std::size_t index,
                                                         ValidationContext& ctx) const {
    if (discriminator_.lookup(instance).kind != DiscriminatorLookup::Kind::NotAnObject) return false;
    for (std::size_t i = index + 1; i < branches_.size(); ++i) {
        if (branches_[i]->is_valid(instance, ctx)) return true;
    }
    return false;
}

OneOfSearch DiscriminatedOneOfValidator::search(const Value& instance, ValidationContext& ctx) const {
    const auto [found, index] = find_first_valid_branch(instance, ctx);
    OneOfSearch out;
    if (!found) return out;
    out.first = index;
    out.another = has_other_valid_branch(instance, index, ctx);
    return out;
}

// oneOf, one branch.

std::optional<ValidationError> OneOfSingleValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                              const RefChain* chain, ValidationContext& ctx) const {
    if (node_->is_valid(instance, ctx)) return std::nullopt;
    kinds::Context context;
    context.push_back(errors_of(*node_, instance, instance_path, chain, ctx));
    core::context_into_owned(context, instance, instance_path);
    return ValidationError::make(kinds::OneOfNotValid{std::move(context)}, instance, instance_path, location_, chain);
}

bool OneOfSingleValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                 TraceContext& ctx) const {
    const bool valid = node_->trace(instance, instance_path, tracer, ctx);
    tracer.emit(instance_path, node_->location(), core::outcome_of(valid));
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

// not.

bool NotValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    return !node_->is_valid(instance, ctx);
}

std::optional<ValidationError> NotValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                      const RefChain* chain, ValidationContext& ctx) const {
    if (!node_->is_valid(instance, ctx)) return std::nullopt;
    return ValidationError::make(kinds::Not{schema_}, instance, instance_path, node_->location(), chain);
}

EvaluationResult NotValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                        const RefChain* chain, EvaluationContext& ctx) const {
    auto error = validate(instance, instance_path, chain, ctx);
    if (!error) return EvaluationResult::empty_valid();
    return EvaluationResult::invalid({core::error_keyword_and_message(*error)});
}

EvaluationResult NotValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path, const Location&,
                                           const RefChain* chain, EvaluationContext& ctx) const {
    return evaluate(instance, instance_path, chain, ctx);
}

bool NotValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                         TraceContext& ctx) const {
    const bool subschema_valid = node_->trace(instance, instance_path, tracer, ctx);
    tracer.emit(instance_path, node_->location(), core::outcome_of(!subschema_valid));
    return !subschema_valid;
}

// Compile functions.

namespace {

ValidationError not_an_array(const CompileContext& ctx, std::string_view keyword, const Value& value) {
    return ValidationError::compile_error(core::type_kind_single(core::JsonType::Array), value,
                                          ctx.keyword_location(keyword));
}

// Each element compiled at keyword/index under its own draft; the first error ends the list.
Result<std::vector<const SchemaNode*>, ValidationError> compile_branches(const CompileContext& keyword_ctx,
                                                                         const Value& array) {
    const auto& elements = array.as_array();
    std::vector<const SchemaNode*> nodes;
    nodes.reserve(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        auto node = core::compile_subschema(keyword_ctx.at_index(i), elements[i]);
        if (!node) return make_unexpected(std::move(node).error());
        nodes.push_back(*node);
    }
    return nodes;
}

std::optional<BranchDiscriminator> discriminator_for(const CompileContext& keyword_ctx, const Value& array) {
    const auto& elements = array.as_array();
    if (elements.size() < 3) return std::nullopt;
    std::vector<const Value*> values;
    values.reserve(elements.size());
    for (const Value& element : elements) values.push_back(&element);
    return find_branch_discriminator(keyword_ctx, values);
}

// The list form of `anyOf` or `oneOf`: the discriminated one where a discriminator exists.
template <class Discriminated, class List>
KeywordCompileResult compile_branch_list(const CompileContext& keyword_ctx, const Value& value) {
    auto branches = compile_branches(keyword_ctx, value);
    if (!branches) return make_unexpected(std::move(branches).error());
    if (auto discriminator = discriminator_for(keyword_ctx, value)) {
        return KeywordValidatorPtr(
            std::make_unique<Discriminated>(std::move(*branches), std::move(*discriminator), keyword_ctx.location()));
    }
    return KeywordValidatorPtr(std::make_unique<List>(std::move(*branches), keyword_ctx.location()));
}

}  // namespace

KeywordCompileResult compile_all_of(const CompileContext& ctx, const Value&, const Value& value) {
    if (!value.is_array()) return make_unexpected(not_an_array(ctx, "allOf", value));
    const CompileContext keyword_ctx = ctx.at_keyword("allOf");
    if (value.size() == 1) {
        auto node = core::compile_subschema(keyword_ctx.at_index(0), value.as_array().front());
        if (!node) return make_unexpected(std::move(node).error());
        return KeywordValidatorPtr(std::make_unique<AllOfSingleValidator>(*node));
    }
    auto branches = compile_branches(keyword_ctx, value);
    if (!branches) return make_unexpected(std::move(branches).error());
    return KeywordValidatorPtr(std::make_unique<AllOfListValidator>(std::move(*branches), keyword_ctx.location()));
}

KeywordCompileResult compile_any_of(const CompileContext& ctx, const Value&, const Value& value) {
    if (!value.is_array()) return make_unexpected(not_an_array(ctx, "anyOf", value));
    const CompileContext keyword_ctx = ctx.at_keyword("anyOf");
    if (value.size() == 1) {
        auto node = core::compile_subschema(keyword_ctx.at_index(0), value.as_array().front());
        if (!node) return make_unexpected(std::move(node).error());
        return KeywordValidatorPtr(std::make_unique<AnyOfSingleValidator>(*node, keyword_ctx.location()));
    }
    return compile_branch_list<DiscriminatedAnyOfValidator, AnyOfListValidator>(keyword_ctx, value);
}

KeywordCompileResult compile_one_of_keyword(const CompileContext& ctx, const Value&, const Value& value) {
    if (value.is_array() && value.size() == 1) {
        const CompileContext keyword_ctx = ctx.at_keyword("oneOf");
        auto node = core::compile_subschema(keyword_ctx.at_index(0), value.as_array().front());
        if (!node) return make_unexpected(std::move(node).error());
        return KeywordValidatorPtr(std::make_unique<OneOfSingleValidator>(*node, keyword_ctx.location()));
    }
    return compile_one_of(ctx, value);
}

KeywordCompileResult compile_one_of(const CompileContext& ctx, const Value& value) {
    if (!value.is_array()) return make_unexpected(not_an_array(ctx, "oneOf", value));
    const CompileContext keyword_ctx = ctx.at_keyword("oneOf");
    return compile_branch_list<DiscriminatedOneOfValidator, OneOfListValidator>(keyword_ctx, value);
}

KeywordCompileResult compile_not(const CompileContext& ctx, const Value&, const Value& value) {
    auto node = core::compile_subschema(ctx.at_keyword("not"), value);
    if (!node) return make_unexpected(std::move(node).error());
    return KeywordValidatorPtr(std::make_unique<NotValidator>(value, *node));
}

}  // namespace deririrore::keywords
