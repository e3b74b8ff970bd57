#include "deririrore/keywords/dependencies.hpp"

#include "deririrore/keywords/required.hpp"

namespace deririrore::keywords {

void DependenciesValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                        const RefChain* chain, ValidationContext& ctx, core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    for (const auto& e : entries_) {
        if (instance.contains(e.name)) e.node->iter_errors(instance, instance_path, chain, ctx, sink);
    }
}

bool DependenciesValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    for (const auto& e : entries_) {
        if (instance.contains(e.name) && !e.node->is_valid(instance, ctx)) return false;
    }
    return true;
}

std::optional<ValidationError> DependenciesValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                               const RefChain* chain, ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    for (const auto& e : entries_) {
        if (!instance.contains(e.name)) continue;
        if (auto error = e.node->validate(instance, instance_path, chain, ctx)) return error;
    }
    return std::nullopt;
}

EvaluationResult DependenciesValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                    const Location& instance_location, const RefChain* chain,
                                                    EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    ChildCollector children;
    for (const auto& e : entries_) {
        if (!instance.contains(e.name)) continue;
        children.add_node(core::evaluate_child_node(*e.node, instance, instance_path, instance_location, chain, ctx),
                          ctx);
    }
    return children.result();
}

EvaluationResult DependenciesValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                 const RefChain* chain, EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    return evaluate_at(instance, instance_path, core::location_from_lazy(instance_path), chain, ctx);
}

bool DependenciesValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                  TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    RunningOutcome overall;
    for (const auto& e : entries_) {
        if (!instance.contains(e.name)) continue;
        const bool valid = e.node->trace(instance, instance_path, tracer, ctx);
        // A names-only member has reported its checks through its `required` validator.
        if (!e.names_only) tracer.emit(instance_path, e.location, core::outcome_of(valid));
        overall.fold(valid);
    }
    tracer.emit(instance_path, location_, overall.value);
    return !overall.failed();
}

KeywordCompileResult compile_dependencies(const CompileContext& ctx, const Value&, const Value& value) {
    const Location location = ctx.keyword_location("dependencies");
    if (!value.is_object()) return make_unexpected(object_type_compile_error(value, location));
    const CompileContext keyword_ctx = ctx.at_keyword("dependencies");
    std::vector<DependenciesValidator::Entry> entries;
    entries.reserve(value.as_object().size());
    for (const auto& m : value.as_object()) {
        const CompileContext member_ctx = keyword_ctx.at_keyword(m.key);
        if (m.value.is_array()) {
            auto required = compile_required_list(m.value, member_ctx.location());
            if (!required) return make_unexpected(std::move(required).error());
            // The node and its one entry both stand at the member, so that the absolute location
            // attached to the member's errors names the member and not a position in a list.
            const Location& member = member_ctx.location();
            core::AbsoluteLocation absolute = ctx.absolute_location(member);
            std::vector<core::CompiledKeyword> wrapped;
            core::CompiledKeyword entry;
            entry.validator = std::move(*required);
            entry.location = member;
            entry.absolute_location = absolute;
            entry.resolved_location = absolute ? Location(*absolute) : member;
            entry.target_location = member;
            entry.target_absolute = absolute;
            wrapped.push_back(std::move(entry));
            auto node = SchemaNode::plain(std::move(wrapped), member, absolute);
            const SchemaNode* raw = node.get();
            entries.push_back(DependenciesValidator::Entry{m.key, raw, std::move(node), member, true});
        } else {
            auto node = core::compile_subschema(member_ctx, m.value);
            if (!node) return make_unexpected(std::move(node).error());
            entries.push_back(DependenciesValidator::Entry{m.key, *node, nullptr, member_ctx.location(), false});
        }
    }
    return std::make_unique<DependenciesValidator>(std::move(entries), location);
}

}  // namespace deririrore::keywords
