#include "deririrore/keywords/additional_patterns.hpp"

#include "deririrore/core/internal_error.hpp"

namespace deririrore::keywords {

using value::Member;

DeclaredPatternMatches build_declared_pattern_matches(const Value& properties,
                                                      const std::vector<PatternEntry>& patterns) {
    DeclaredPatternMatches out(0, SeededNameHash{fresh_hash_seeds()}, NameEqual{});
    if (patterns.empty()) return out;
    regex::BacktrackingMatch failure;
    for (const auto& m : properties.as_object()) {
        std::vector<DeclaredPatternRef> refs;
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            switch (patterns[i].pattern.match(m.key, failure)) {
                case PatternMatch::NoMatch: break;
                case PatternMatch::Match:
                    refs.push_back(DeclaredPatternRef{static_cast<std::uint32_t>(i), false, {}});
                    break;
                case PatternMatch::Failed:
                    refs.push_back(DeclaredPatternRef{static_cast<std::uint32_t>(i), true, failure});
                    break;
            }
        }
        if (!refs.empty()) {
            refs.shrink_to_fit();
            out.emplace(m.key, std::move(refs));
        }
    }
    return out;
}

// Classifies each member in name order and hands it to the visitor: `declared` for a declared
// name, then `pattern` for each pattern it meets (`failure` set when the match attempt failed);
// `additional` for a name that is neither declared nor met by a pattern. Each returns false to
// stop the walk, which then returns false.
template <class Map, bool Closed>
template <class Visitor>
bool PatternAdditionalValidator<Map, Closed>::walk(const Value& object, const LazyLocation& instance_path,
                                                   Visitor& visitor) const {
    regex::BacktrackingMatch failure;
    for (const Member& m : object.as_object()) {
        const LazyLocation path = instance_path.push(std::string_view(m.key));
        if constexpr (kDeclared) {
            if (const SchemaNode* node = p_.map.find(m.key)) {
                if (!visitor.declared(m, *node, path)) return false;
                if (p_.declared_matches.empty()) continue;
                auto it = p_.declared_matches.find(std::string_view(m.key));
                if (it == p_.declared_matches.end()) continue;
                for (const DeclaredPatternRef& ref : it->second) {
                    if (ref.index >= p_.patterns.size()) throw InternalError("pattern index out of range");
                    if (!visitor.pattern(m, p_.patterns[ref.index], path, ref.failed ? &ref.failure : nullptr)) {
                        return false;
                    }
                }
                continue;
            }
        }
        bool met = false;
        for (const PatternEntry& entry : p_.patterns) {
            const PatternMatch r = entry.pattern.match(m.key, failure);
            if (r == PatternMatch::NoMatch) continue;
            met = true;
            if (!visitor.pattern(m, entry, path, r == PatternMatch::Failed ? &failure : nullptr)) return false;
        }
        if (!met && !visitor.additional(m, path)) return false;
    }
    return true;
}

template <class Map, bool Closed>
bool PatternAdditionalValidator<Map, Closed>::is_valid(const Value& instance, ValidationContext& ctx) const {
    if (!instance.is_object()) return true;
    struct V {
        const PatternAdditionalValidator& self;
        ValidationContext& ctx;
        bool declared(const Member& m, const SchemaNode& node, const LazyLocation&) {
            return node.is_valid(m.value, ctx);
        }
        bool pattern(const Member& m, const PatternEntry& e, const LazyLocation&, const regex::BacktrackingMatch* f) {
            return f == nullptr && e.node->is_valid(m.value, ctx);
        }
        bool additional(const Member& m, const LazyLocation&) {
            if constexpr (Closed) {
                return false;
            } else {
                return self.p_.additional->is_valid(m.value, ctx);
            }
        }
    } v{*this, ctx};
    return walk(instance, LazyLocation(), v);
}

template <class Map, bool Closed>
std::optional<ValidationError> PatternAdditionalValidator<Map, Closed>::validate(const Value& instance,
                                                                                 const LazyLocation& instance_path,
                                                                                 const RefChain* chain,
                                                                                 ValidationContext& ctx) const {
    if (!instance.is_object()) return std::nullopt;
    struct V {
        const PatternAdditionalValidator& self;
        const Value& object;
        const LazyLocation& object_path;
        const RefChain* chain;
        ValidationContext& ctx;
        std::optional<ValidationError> error;
        bool declared(const Member& m, const SchemaNode& node, const LazyLocation& path) {
            error = node.validate(m.value, path, chain, ctx);
            return !error;
        }
        bool pattern(const Member& m, const PatternEntry& e, const LazyLocation& path,
                     const regex::BacktrackingMatch* f) {
            error = f != nullptr ? pattern_failure_error(e, *f, m.value, path, chain)
                                 : e.node->validate(m.value, path, chain, ctx);
            return !error;
        }
        bool additional(const Member& m, const LazyLocation& path) {
            if constexpr (Closed) {
                error = additional_properties_error({m.key}, object, object_path, self.p_.location, chain);
            } else {
                error = self.p_.additional->validate(m.value, path, chain, ctx);
            }
            return !error;
        }
    } v{*this, instance, instance_path, chain, ctx, std::nullopt};
    walk(instance, instance_path, v);
    return std::move(v.error);
}

template <class Map, bool Closed>
void PatternAdditionalValidator<Map, Closed>::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                                          const RefChain* chain, ValidationContext& ctx,
                                                          core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    struct V {
        const PatternAdditionalValidator& self;
        const RefChain* chain;
        ValidationContext& ctx;
        core::ErrorSink& sink;
        std::vector<std::string> unexpected;
        bool declared(const Member& m, const SchemaNode& node, const LazyLocation& path) {
            node.iter_errors(m.value, path, chain, ctx, sink);
            return true;
        }
        bool pattern(const Member& m, const PatternEntry& e, const LazyLocation& path,
                     const regex::BacktrackingMatch* f) {
            if (f != nullptr) {
                sink.push_back(pattern_failure_error(e, *f, m.value, path, chain));
            } else {
                e.node->iter_errors(m.value, path, chain, ctx, sink);
            }
            return true;
        }
        bool additional(const Member& m, const LazyLocation& path) {
            if constexpr (Closed) {
                unexpected.push_back(m.key);
            } else {
                self.p_.additional->iter_errors(m.value, path, chain, ctx, sink);
            }
            return true;
        }
    } v{*this, chain, ctx, sink, {}};
    walk(instance, instance_path, v);
    if (!v.unexpected.empty()) {
        sink.push_back(additional_properties_error(std::move(v.unexpected), instance, instance_path, p_.location, chain));
    }
}

template <class Map, bool Closed>
EvaluationResult PatternAdditionalValidator<Map, Closed>::evaluate(const Value& instance,
                                                                   const LazyLocation& instance_path,
                                                                   const RefChain* chain,
                                                                   EvaluationContext& ctx) const {
    if (!instance.is_object()) return EvaluationResult::empty_valid();
    struct V {
        const PatternAdditionalValidator& self;
        const RefChain* chain;
        EvaluationContext& ctx;
        ChildCollector children;
        std::vector<std::string> matched;
        // The additional names (schema forms) or the unexpected ones (closed forms).
        std::vector<std::string> additional_names;
        bool declared(const Member& m, const SchemaNode& node, const LazyLocation& path) {
            children.add(node, m.value, path, chain, ctx);
            return true;
        }
        bool pattern(const Member& m, const PatternEntry& e, const LazyLocation& path,
                     const regex::BacktrackingMatch* f) {
            if (f != nullptr) {
                children.add_node(pattern_failure_unit(e, *f, m.value, path, chain, ctx), ctx);
                return true;
            }
            if constexpr (!kDeclared) matched.push_back(m.key);
            children.add(*e.node, m.value, path, chain, ctx);
            return true;
        }
        bool additional(const Member& m, const LazyLocation& path) {
            additional_names.push_back(m.key);
            if constexpr (!Closed) children.add(*self.p_.additional, m.value, path, chain, ctx);
            return true;
        }
    } v{*this, chain, ctx, {}, {}, {}};
    if constexpr (!kDeclared) v.matched.reserve(instance.size());
    if constexpr (!(kDeclared && Closed)) v.additional_names.reserve(instance.size());
    walk(instance, instance_path, v);

    if constexpr (!kDeclared) {
        if (!v.matched.empty()) {
            core::EvaluationNode node;
            node.evaluation_path = p_.pattern_properties_location;
            node.resolved_location =
                p_.pattern_properties_absolute ? Location(*p_.pattern_properties_absolute) : p_.pattern_properties_location;
            node.instance_location = core::location_from_lazy(instance_path);
            node.absolute_location = p_.pattern_properties_absolute;
            node.annotations = names_annotation(std::move(v.matched));
            v.children.add_node(std::move(node), ctx);
        }
    }
    EvaluationResult result = v.children.result();
    if constexpr (Closed) {
        if (!v.additional_names.empty()) {
            result.push_error_description(core::error_keyword_and_message(additional_properties_error(
                std::move(v.additional_names), instance, instance_path, p_.location, chain)));
        }
    } else if constexpr (kDeclared) {
        result.annotations = names_annotation(std::move(v.additional_names));
    } else {
        if (!v.additional_names.empty()) result.annotations = names_annotation(std::move(v.additional_names));
    }
    return result;
}

template <class Map, bool Closed>
bool PatternAdditionalValidator<Map, Closed>::trace(const Value& instance, const LazyLocation& instance_path,
                                                    Tracer& tracer, TraceContext& ctx) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, p_.location, TraceOutcome::NotApplicable);
        return true;
    }
    struct V {
        const PatternAdditionalValidator& self;
        Tracer& tracer;
        TraceContext& ctx;
        RunningOutcome declared_outcome;
        RunningOutcome pattern_outcome;
        RunningOutcome additional_outcome;
        bool unexpected = false;
        bool declared(const Member& m, const SchemaNode& node, const LazyLocation& path) {
            const bool valid = node.trace(m.value, path, tracer, ctx);
            tracer.emit(path, node.location(), core::outcome_of(valid));
            declared_outcome.fold(valid);
            return true;
        }
        bool pattern(const Member& m, const PatternEntry& e, const LazyLocation& path,
                     const regex::BacktrackingMatch* f) {
            const bool valid = f == nullptr && e.node->trace(m.value, path, tracer, ctx);
            tracer.emit(path, e.location(), core::outcome_of(valid));
            pattern_outcome.fold(valid);
            return true;
        }
        bool additional(const Member& m, const LazyLocation& path) {
            if constexpr (Closed) {
                unexpected = true;
            } else {
                additional_outcome.fold(self.p_.additional->trace(m.value, path, tracer, ctx));
            }
            return true;
        }
    } v{*this, tracer, ctx, {}, {}, {}};
    walk(instance, instance_path, v);
    if constexpr (kDeclared) tracer.emit(instance_path, p_.properties_location, v.declared_outcome.value);
    tracer.emit(instance_path, p_.pattern_properties_location, v.pattern_outcome.value);
    if constexpr (Closed) {
        tracer.emit(instance_path, p_.location, core::outcome_of(!v.unexpected));
    } else {
        tracer.emit(instance_path, p_.location, v.additional_outcome.value);
    }
    return !v.declared_outcome.failed() && !v.pattern_outcome.failed() && !v.additional_outcome.failed() &&
           !v.unexpected;
}

template class PatternAdditionalValidator<NoDeclaredProperties, true>;
template class PatternAdditionalValidator<NoDeclaredProperties, false>;
template class PatternAdditionalValidator<SmallPropertyMap, true>;
template class PatternAdditionalValidator<SmallPropertyMap, false>;
template class PatternAdditionalValidator<LargePropertyMap, true>;
template class PatternAdditionalValidator<LargePropertyMap, false>;

namespace {

template <bool Closed>
KeywordCompileResult build_without_declared(const CompileContext& ctx, const Value& value,
                                            std::vector<PatternEntry> patterns) {
    using V = PatternAdditionalValidator<NoDeclaredProperties, Closed>;
    typename V::Parts parts;
    parts.patterns = std::move(patterns);
    parts.pattern_properties_location = ctx.keyword_location("patternProperties");
    parts.pattern_properties_absolute = ctx.absolute_location(parts.pattern_properties_location);
    if constexpr (Closed) {
        parts.location = ctx.keyword_location("additionalProperties");
    } else {
        auto node = core::compile_subschema(ctx.at_keyword("additionalProperties"), value);
        if (!node) return make_unexpected(std::move(node).error());
        parts.additional = *node;
        parts.location = (*node)->location();
    }
    return KeywordValidatorPtr(std::make_unique<V>(std::move(parts)));
}

template <class Map>
Result<Map, ValidationError> build_declared_map(const CompileContext& ctx, const Value& properties) {
    if constexpr (std::is_same_v<Map, SmallPropertyMap>) {
        return build_small_property_map(ctx, properties);
    } else {
        return build_large_property_map(ctx, properties);
    }
}

template <class Map, bool Closed>
KeywordCompileResult build_with_declared(const CompileContext& ctx, const Value& value, const Value& properties,
                                         std::vector<PatternEntry> patterns) {
    using V = PatternAdditionalValidator<Map, Closed>;
    typename V::Parts parts;
    parts.declared_matches = build_declared_pattern_matches(properties, patterns);
    if constexpr (Closed) {
        parts.location = ctx.keyword_location("additionalProperties");
    } else {
        // The additional subschema before the declared ones: its compile error is reported first.
        auto node = core::compile_subschema(ctx.at_keyword("additionalProperties"), value);
        if (!node) return make_unexpected(std::move(node).error());
        parts.additional = *node;
        parts.location = (*node)->location();
    }
    auto map = build_declared_map<Map>(ctx, properties);
    if (!map) return make_unexpected(std::move(map).error());
    parts.map = std::move(*map);
    parts.patterns = std::move(patterns);
    parts.properties_location = ctx.keyword_location("properties");
    parts.pattern_properties_location = ctx.keyword_location("patternProperties");
    return KeywordValidatorPtr(std::make_unique<V>(std::move(parts)));
}

template <bool Closed>
KeywordCompileResult build_form(const CompileContext& ctx, const Value& value, const Value* properties,
                                std::vector<PatternEntry> patterns) {
    if (properties == nullptr) return build_without_declared<Closed>(ctx, value, std::move(patterns));
    if (!properties->is_object()) {
        return make_unexpected(unexpected_type_compile_error(*properties, ctx.keyword_location("properties")));
    }
    if (is_small_property_count(properties->as_object().size())) {
        return build_with_declared<SmallPropertyMap, Closed>(ctx, value, *properties, std::move(patterns));
    }
    return build_with_declared<LargePropertyMap, Closed>(ctx, value, *properties, std::move(patterns));
}

}  // namespace

KeywordCompileResult compile_additional_properties_with_patterns(const CompileContext& ctx, const Value& value,
                                                                 const Value* properties, const Value& patterns) {
    if (!patterns.is_object()) {
        return make_unexpected(object_type_compile_error(patterns, ctx.keyword_location("patternProperties")));
    }
    const bool allows_all = value.is_bool() && value.as_bool();
    // With `true` nothing is built; the patterns are still compiled so that a bad one is
    // reported. Their subschemas are left to `patternProperties`, which compiles them itself:
    // compiling them here as well would double the work at every level of nesting.
    auto list = compile_pattern_list(ctx, patterns, PatternShapes::PerPattern, !allows_all);
    if (!list) return make_unexpected(std::move(list).error());
    if (allows_all) return no_validator();
    if (value.is_bool()) return build_form<true>(ctx, value, properties, std::move(*list));
    return build_form<false>(ctx, value, properties, std::move(*list));
}

}  // namespace deririrore::keywords
