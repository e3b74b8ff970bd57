#include "deririrore/core/node.hpp"

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/core/ref.hpp"

namespace deririrore::core {

std::string depth_limit_message(std::uint32_t limit) {
    return "Maximum validation depth of " + std::to_string(limit) + " exceeded";
}

std::string limit_message(const ValidationContext& ctx) {
    if (ctx.steps_exceeded()) {
        return "Validation exceeded the limit of " + std::to_string(ctx.max_steps()) + " schema checks";
    }
    return depth_limit_message(ctx.max_depth());
}

ValidationError depth_limit_error(const Location& schema_location, const Value& instance,
                                  const LazyLocation& instance_path, const RefChain* chain,
                                  const ValidationContext& ctx) {
    return ValidationError::make(kinds::Custom{"", limit_message(ctx)}, instance, instance_path, schema_location,
                                 chain);
}

namespace {

Location resolved_of(const AbsoluteLocation& absolute, const Location& location) {
    return absolute ? Location(*absolute) : location;
}

EvaluationResult depth_limit_result(const ValidationContext& ctx) {
    return EvaluationResult::invalid({ErrorDescription{"", limit_message(ctx)}});
}

void fill_node_result(EvaluationNode& node, EvaluationResult& r) {
    node.valid = r.valid;
    node.first_child = r.first_child;
    if (r.valid) {
        node.annotations = std::move(r.annotations);
    } else {
        node.errors = std::move(r.errors);
        node.dropped_annotations = std::move(r.annotations);
    }
}

EvaluationResult evaluate_content(const SchemaNode& node, const Value& instance, const LazyLocation& lazy,
                                  const Location& instance_location, const RefChain* chain, EvaluationContext& ctx) {
    DepthGuard guard(ctx);
    if (!guard) return depth_limit_result(ctx);
    const auto& entries = node.entries();
    if (node.form() == SchemaNode::Form::Boolean) {
        if (entries.empty()) return EvaluationResult::empty_valid();
        return entries.front().validator->evaluate_at(instance, lazy, instance_location, chain, ctx);
    }
    SiblingLinker linker;
    bool all_valid = true;
    auto evaluate_entry = [&](const CompiledKeyword& entry) {
        EvaluationResult r = entry.validator->evaluate_at(instance, lazy, instance_location, chain, ctx);
        EvaluationNode out;
        out.evaluation_path = evaluation_path_for(ctx, chain, entry.location);
        out.resolved_location = entry.resolved_location;
        out.instance_location = instance_location;
        out.absolute_location = entry.target_absolute;
        all_valid = all_valid && r.valid;
        fill_node_result(out, r);
        linker.link(ctx.output(), ctx.push_node(std::move(out)));
    };
    auto push_record = [&](const KeywordLocationRecord& record, std::optional<ErrorDescription> failure) {
        EvaluationNode out;
        out.evaluation_path = evaluation_path_for(ctx, chain, record.location);
        out.resolved_location = record.resolved;
        out.instance_location = instance_location;
        out.absolute_location = record.absolute;
        if (failure) {
            out.valid = false;
            out.errors.push_back(std::move(*failure));
            all_valid = false;
        }
        linker.link(ctx.output(), ctx.push_node(std::move(out)));
    };
    const FusedArrayInfo* fused = node.fused_array().get();
    if (fused == nullptr) {
        for (const auto& entry : entries) evaluate_entry(entry);
    } else {
        const std::size_t split = node.split();
        if (split > entries.size()) throw InternalError("fused split beyond the node's keywords");
        const bool is_array = instance.is_array();
        std::optional<ErrorDescription> type_failure;
        if (!is_array) {
            type_failure = error_keyword_and_message(ValidationError::make_at(
                type_kind_single(JsonType::Array), instance, instance_location, fused->type.location, chain));
        }
        push_record(fused->type, std::move(type_failure));
        for (std::size_t i = 0; i < split; ++i) evaluate_entry(entries[i]);
        if (fused->min_items) {
            if (!fused->min_limit) throw InternalError("Fails only with its limit");
            std::optional<ErrorDescription> failure;
            if (is_array && instance.as_array().size() < *fused->min_limit) {
                failure = error_keyword_and_message(ValidationError::make_at(
                    kinds::MinItems{*fused->min_limit}, instance, instance_location, fused->min_items->location, chain));
            }
            push_record(*fused->min_items, std::move(failure));
        }
        if (fused->max_items) {
            if (!fused->max_limit) throw InternalError("Fails only with its limit");
            std::optional<ErrorDescription> failure;
            if (is_array && instance.as_array().size() > *fused->max_limit) {
                failure = error_keyword_and_message(ValidationError::make_at(
                    kinds::MaxItems{*fused->max_limit}, instance, instance_location, fused->max_items->location, chain));
            }
            push_record(*fused->max_items, std::move(failure));
        }
        for (std::size_t i = split; i < entries.size(); ++i) evaluate_entry(entries[i]);
    }
    EvaluationResult result;
    result.valid = all_valid;
    result.children_valid = all_valid;
    linker.fill(result);
    result.annotations = node.annotations();
    return result;
}

}  // namespace

SchemaNode::SchemaNode(Form form, std::vector<CompiledKeyword> entries, Location location, AbsoluteLocation absolute)
    : form_(form),
      entries_(std::move(entries)),
      location_(std::move(location)),
      absolute_(std::move(absolute)),
      resolved_(resolved_of(absolute_, location_)) {
    steps_.reserve(entries_.size());
    for (const auto& entry : entries_) {
        const KeywordValidator* v = entry.validator.get();
        const bool reference = dynamic_cast<const RefValidator*>(v) != nullptr;
        steps_.push_back(Step{v, &v->location(), v->accepted_kinds(), reference});
    }
    static_assert(static_cast<unsigned>(value::ValueKind::Object) + 1 == std::extent_v<decltype(kind_rejections_)>);
    if (form_ == Form::Boolean) {
        // `false` enters and fails; `true` has nothing to reject.
        if (!entries_.empty()) std::fill(std::begin(kind_rejections_), std::end(kind_rejections_), KindRejection{1, 1});
        return;
    }
    std::uint8_t accepted = 0xFF;
    while (first_checked_step_ < steps_.size() && steps_[first_checked_step_].accepted_kinds != 0) {
        accepted &= steps_[first_checked_step_].accepted_kinds;
        ++first_checked_step_;
    }
    for (unsigned k = 0; k < std::size(kind_rejections_); ++k) {
        if ((accepted & (1u << k)) == 0) {
            kind_rejections_[k] = KindRejection{1, 1};
        } else if (first_checked_step_ < steps_.size()) {
            kind_rejections_[k] = nested_rejection(
                steps_[first_checked_step_].validator->kind_rejection(static_cast<value::ValueKind>(k)));
        }
    }
}

std::unique_ptr<SchemaNode> SchemaNode::boolean(bool value, Location location, AbsoluteLocation absolute) {
    std::vector<CompiledKeyword> entries;
    if (!value) {
        CompiledKeyword entry;
        entry.validator = std::make_unique<FalseSchemaValidator>(location);
        entry.location = location;
        entry.absolute_location = absolute;
        entry.resolved_location = resolved_of(absolute, location);
        entry.target_location = location;
        entry.target_absolute = absolute;
        entries.push_back(std::move(entry));
    }
    return std::unique_ptr<SchemaNode>(new SchemaNode(Form::Boolean, std::move(entries), std::move(location),
                                                      std::move(absolute)));
}

std::unique_ptr<SchemaNode> SchemaNode::keywords(std::vector<CompiledKeyword> entries, SharedValue annotations,
                                                 std::shared_ptr<const FusedArrayInfo> fused, std::size_t split,
                                                 Location location, AbsoluteLocation absolute) {
    auto node = std::unique_ptr<SchemaNode>(
        new SchemaNode(Form::Keywords, std::move(entries), std::move(location), std::move(absolute)));
    node->annotations_ = std::move(annotations);
    node->fused_ = std::move(fused);
    node->split_ = split;
    return node;
}

std::unique_ptr<SchemaNode> SchemaNode::plain(std::vector<CompiledKeyword> entries, Location location,
                                              AbsoluteLocation absolute) {
    for (auto& e : entries) e.pre_check = false;
    return std::unique_ptr<SchemaNode>(
        new SchemaNode(Form::Plain, std::move(entries), std::move(location), std::move(absolute)));
}

bool SchemaNode::is_valid(const Value& instance, ValidationContext& ctx) const {
    std::size_t first = first_checked_step_;
    if (const KindRejection& rejection = kind_rejections_[static_cast<unsigned>(instance.kind())];
        rejection.steps != 0) {
        if (ctx.skip_failing_walk(rejection.steps, rejection.depth)) return false;
        first = 0;
    }
    DepthGuard guard(ctx);
    if (!guard) return false;
    if (form_ == Form::Boolean) return entries_.empty();
    const std::uint8_t kind = KeywordValidator::kind_bit(instance.kind());
    for (auto it = steps_.begin() + static_cast<std::ptrdiff_t>(first); it != steps_.end(); ++it) {
        const Step& step = *it;
        if (step.accepted_kinds != 0) {
            if ((step.accepted_kinds & kind) == 0) return false;
        } else if (step.reference) {
            if (!static_cast<const RefValidator*>(step.validator)->is_valid(instance, ctx)) return false;
        } else if (!step.validator->is_valid(instance, ctx)) {
            return false;
        }
    }
    return true;
}

std::optional<ValidationError> SchemaNode::validate(const Value& instance, const LazyLocation& instance_path,
                                                    const RefChain* chain, ValidationContext& ctx) const {
    DepthGuard guard(ctx);
    if (!guard) return depth_limit_error(location_, instance, instance_path, chain, ctx);
    if (form_ == Form::Boolean) {
        if (entries_.empty()) return std::nullopt;
        ValidationError error = false_schema_error(location_, instance, instance_path, chain);
        error.attach_absolute_location(absolute_);
        return error;
    }
    for (const auto& entry : entries_) {
        if (entry.pre_check && entry.validator->is_valid(instance, ctx)) continue;
        if (auto error = entry.validator->validate(instance, instance_path, chain, ctx)) {
            error->attach_absolute_location(entry.absolute_location);
            return error;
        }
    }
    return std::nullopt;
}

void SchemaNode::iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                             ValidationContext& ctx, ErrorSink& sink) const {
    DepthGuard guard(ctx);
    if (!guard) {
        sink.push_back(depth_limit_error(location_, instance, instance_path, chain, ctx));
        return;
    }
    if (form_ == Form::Boolean) {
        if (entries_.empty()) return;
        const std::size_t before = sink.size();
        entries_.front().validator->iter_errors(instance, instance_path, chain, ctx, sink);
        fill_missing_absolute_location(sink, before, absolute_);
        return;
    }
    for (const auto& entry : entries_) {
        if (entry.pre_check && entry.validator->is_valid(instance, ctx)) continue;
        const std::size_t before = sink.size();
        entry.validator->iter_errors(instance, instance_path, chain, ctx, sink);
        if (sink.size() < before) throw InternalError("error sink shrank");
        fill_missing_absolute_location(sink, before, entry.absolute_location);
    }
}

bool SchemaNode::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                       TraceContext& ctx) const {
    DepthGuard guard(ctx);
    if (!guard) return false;
    if (form_ == Form::Boolean) {
        if (entries_.empty()) return true;
        return entries_.front().validator->trace(instance, instance_path, tracer, ctx);
    }
    const std::uint8_t kind = KeywordValidator::kind_bit(instance.kind());
    bool valid = true;
    for (const Step& step : steps_) {
        if (step.accepted_kinds != 0) {
            const bool matched = (step.accepted_kinds & kind) != 0;
            tracer.emit(instance_path, *step.location, outcome_of(matched));
            valid = matched && valid;
        } else if (step.reference) {
            valid =
                static_cast<const RefValidator*>(step.validator)->trace(instance, instance_path, tracer, ctx) && valid;
        } else {
            valid = step.validator->trace(instance, instance_path, tracer, ctx) && valid;
        }
    }
    return valid;
}

EvaluationResult SchemaNode::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                         const Location& instance_location, const RefChain* chain,
                                         EvaluationContext& ctx) const {
    return evaluate_content(*this, instance, instance_path, instance_location, chain, ctx);
}

EvaluationResult SchemaNode::evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                                      EvaluationContext& ctx) const {
    Location instance_location = location_from_lazy(instance_path);
    return evaluate_content(*this, instance, instance_path, instance_location, chain, ctx);
}

EvaluationNode evaluate_child_node(const SchemaNode& node, const Value& instance, const LazyLocation& instance_path,
                                   const Location& instance_location, const RefChain* chain, EvaluationContext& ctx) {
    EvaluationNode out;
    out.evaluation_path = evaluation_path_for(ctx, chain, node.location());
    out.resolved_location = node.resolved_location();
    out.instance_location = instance_location;
    out.absolute_location = node.absolute_location();
    std::optional<Location> saved = ctx.swap_current_instance_location(instance_location);
    EvaluationResult r = evaluate_content(node, instance, instance_path, instance_location, chain, ctx);
    ctx.swap_current_instance_location(std::move(saved));
    fill_node_result(out, r);
    return out;
}

EvaluationResult evaluate_array_items(const SchemaNode& item_node, const Value& instance,
                                      const LazyLocation& instance_path, const RefChain* chain,
                                      EvaluationContext& ctx) {
    if (!instance.is_array()) return EvaluationResult::empty_valid();
    const auto& items = instance.as_array();
    SiblingLinker linker;
    bool all_valid = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        LazyLocation item_path = instance_path.push(static_cast<std::uint64_t>(i));
        const auto& current = ctx.current_instance_location();
        Location item_location =
            current ? append_index_to_location(*current, i) : location_from_lazy(item_path);
        EvaluationNode child = evaluate_child_node(item_node, items[i], item_path, item_location, chain, ctx);
        all_valid = all_valid && child.valid;
        linker.link(ctx.output(), ctx.push_node(std::move(child)));
    }
    EvaluationResult result;
    result.valid = all_valid;
    result.children_valid = all_valid;
    linker.fill(result);
    result.annotations = std::make_shared<const Value>(Value::boolean(!items.empty()));
    return result;
}

void FalseSchemaValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                       const RefChain* chain, ValidationContext& ctx, ErrorSink& sink) const {
    if (auto error = validate(instance, instance_path, chain, ctx)) sink.push_back(std::move(*error));
}

std::optional<ValidationError> FalseSchemaValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                              const RefChain* chain, ValidationContext&) const {
    return false_schema_error(location_, instance, instance_path, chain);
}

EvaluationResult FalseSchemaValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                   const Location&, const RefChain* chain,
                                                   EvaluationContext& ctx) const {
    return evaluate(instance, instance_path, chain, ctx);
}

EvaluationResult FalseSchemaValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                const RefChain* chain, EvaluationContext& ctx) const {
    auto error = validate(instance, instance_path, chain, ctx);
    return EvaluationResult::invalid({error_keyword_and_message(*error)});
}

}  // namespace deririrore::core
