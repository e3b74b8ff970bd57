#include "deririrore/keywords/evaluated.hpp"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "deririrore/core/compile_internal.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/keywords/regex_cache.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/referencing/vocabulary.hpp"

namespace deririrore::keywords {

using core::BuiltinKeyword;
using core::KnownVocabulary;
using referencing::Resolved;

bool PropertyValidators::declares(std::string_view name) const {
    auto it = std::lower_bound(property_names.begin(), property_names.end(), name,
                               [](const std::string& a, std::string_view b) { return std::string_view(a) < b; });
    return it != property_names.end() && *it == name;
}

bool VisitedCollections::insert(const void* collection) {
    if (!many_.empty()) return many_.insert(collection).second;
    if (std::find(few_.begin(), few_.end(), collection) != few_.end()) return false;
    if (few_.size() < kLinearLimit) {
        few_.push_back(collection);
        return true;
    }
    many_.insert(few_.begin(), few_.end());
    few_.clear();
    return many_.insert(collection).second;
}

const PropertyValidators& finished(const PropertyValidators* validators) {
    if (validators == nullptr || !validators->finished) {
        throw InternalError("pending node is initialized before validation");
    }
    return *validators;
}

const ItemsValidators& finished(const ItemsValidators* validators) {
    if (validators == nullptr || !validators->finished) {
        throw InternalError("pending node is initialized before validation");
    }
    return *validators;
}

bool UnevaluatedChildren::add(const Value& value, const core::LazyLocation& path) {
    const auto& current = ctx_.current_instance_location();
    Location location = current ? core::location_join_segment(*current, path) : core::location_from_lazy(path);
    core::EvaluationNode child = core::evaluate_child_node(subschema_, value, path, location, chain_, ctx_);
    const bool valid = child.valid;
    valid_ = valid_ && valid;
    linker_.link(ctx_.output(), ctx_.push_node(std::move(child)));
    return valid;
}

namespace {

// How deep collections may nest (subschemas and reference chains together); deeper schemas end
// in a compile error rather than exhausting the stack.
constexpr std::uint32_t kMaxCollectionDepth = 512;

template <class V>
struct CollectionTables {
    // Schema objects whose collection runs now: references back to them share the cell.
    std::unordered_map<const Value*, V*> in_progress;
    // Finished collections by schema object and context.
    std::unordered_map<std::string, V*> finished;
};

struct EvaluatedState {
    std::shared_ptr<EvaluatedArena> arena = std::make_shared<EvaluatedArena>();
    CollectionTables<PropertyValidators> properties;
    CollectionTables<ItemsValidators> items;
    std::uint32_t depth = 0;
};

EvaluatedState& evaluated_state(const CompileContext& ctx) { return ctx.state().extension<EvaluatedState>(); }

CollectionTables<PropertyValidators>& tables_of(EvaluatedState& state, PropertyValidators*) { return state.properties; }
CollectionTables<ItemsValidators>& tables_of(EvaluatedState& state, ItemsValidators*) { return state.items; }
PropertyValidators& new_cell(EvaluatedArena& arena, PropertyValidators*) { return arena.new_properties(); }
ItemsValidators& new_cell(EvaluatedArena& arena, ItemsValidators*) { return arena.new_items(); }

// What a collection depends on besides the schema object: the draft and vocabularies that gate
// its keywords, the base URI its references resolve against and, where dynamic references
// exist, the dynamic scope that chooses their targets. Locations do not matter: collections
// only answer which members or items are evaluated.
std::string collection_key(const CompileContext& ctx, const Value& schema) {
    std::string key;
    const auto address = reinterpret_cast<std::uintptr_t>(&schema);
    key.append(reinterpret_cast<const char*>(&address), sizeof(address));
    key += static_cast<char>(ctx.draft());
    const std::uint16_t bits = ctx.vocabularies().known_bits();
    key.append(reinterpret_cast<const char*>(&bits), sizeof(bits));
    for (const auto& uri : ctx.vocabularies().custom()) {
        key += uri;
        key += '\0';
    }
    key += '\1';
    if (const auto& base = ctx.base_uri()) key += base->text();
    if (ctx.draft() >= Draft::Draft201909) {
        ctx.resolver().scope().for_each([&](const referencing::UriRef& uri) {
            key += '\0';
            key += uri->text();
        });
    }
    return key;
}

ValidationError too_deep(const CompileContext& ctx, const Value& schema) {
    return core::error_into_owned(ValidationError::compile_error(
        core::kinds::Custom{"", "Schema nesting exceeds the maximum depth of " + std::to_string(kMaxCollectionDepth)},
        schema, ctx.location()));
}

bool keyword_applies(BuiltinKeyword keyword, Draft draft) {
    return (core::builtin_keyword_info(keyword).drafts >> static_cast<unsigned>(draft)) & 1u;
}

// Drafts 4, 6 and 7 know no vocabularies; later ones need the applicator vocabulary for the
// keywords that evaluate members and items.
bool applicator_gate(const CompileContext& ctx) {
    return ctx.draft() <= Draft::Draft7 || ctx.has_vocabulary(KnownVocabulary::Applicator);
}

template <class V, class Fill>
Result<const V*, ValidationError> collect(const CompileContext& ctx, const Value& schema, Fill fill) {
    EvaluatedState& state = evaluated_state(ctx);
    auto& tables = tables_of(state, static_cast<V*>(nullptr));
    std::string key = collection_key(ctx, schema);
    if (auto it = tables.finished.find(key); it != tables.finished.end()) return it->second;
    if (state.depth >= kMaxCollectionDepth) return make_unexpected(too_deep(ctx, schema));

    V& cell = new_cell(*state.arena, static_cast<V*>(nullptr));
    V* previous = std::exchange(tables.in_progress[&schema], &cell);
    ++state.depth;
    Result<Ok, ValidationError> filled = fill(ctx, schema, cell);
    --state.depth;
    if (previous != nullptr) {
        tables.in_progress[&schema] = previous;
    } else {
        tables.in_progress.erase(&schema);
    }
    if (!filled) return make_unexpected(std::move(filled).error());
    if (cell.finished) throw InternalError("pending node should not be initialized yet");
    cell.finished = true;
    tables.finished.emplace(std::move(key), &cell);
    return &cell;
}

Result<const PropertyValidators*, ValidationError> collect_properties(const CompileContext& ctx, const Value& schema);
Result<const ItemsValidators*, ValidationError> collect_items(const CompileContext& ctx, const Value& schema);

Result<const PropertyValidators*, ValidationError> collect(const CompileContext& ctx, const Value& schema,
                                                           PropertyValidators*) {
    return collect_properties(ctx, schema);
}
Result<const ItemsValidators*, ValidationError> collect(const CompileContext& ctx, const Value& schema,
                                                        ItemsValidators*) {
    return collect_items(ctx, schema);
}

// The collection of a subschema at `at` (the context already at its Location).
template <class V>
Result<const V*, ValidationError> collect_subschema(const CompileContext& at, const Value& subschema) {
    auto derived = derive_subschema_context(at, subschema, referencing::detect_draft(at.draft(), subschema));
    if (!derived) return make_unexpected(core::reference_error_to_validation_error(std::move(derived).error()));
    return collect(*derived, subschema, static_cast<V*>(nullptr));
}

// The collection of a reference target: the one in progress for it, else its own. The target's
// context keeps the referring schema's Location.
template <class V>
Result<const V*, ValidationError> collect_target(const CompileContext& ctx, const Resolved& target) {
    if (!target.contents->is_object()) return static_cast<const V*>(nullptr);
    auto& tables = tables_of(evaluated_state(ctx), static_cast<V*>(nullptr));
    if (auto it = tables.in_progress.find(target.contents); it != tables.in_progress.end()) return it->second;
    auto vocabularies = referencing::resource_vocabularies(target.resolver.registry(), target.resolver.base()->text(),
                                                           target.draft, *target.contents);
    auto target_ctx = core::new_resource_compile_context(ctx, target.resolver, target.draft, std::move(vocabularies),
                                                         ctx.location());
    if (!target_ctx) return make_unexpected(std::move(target_ctx).error());
    return collect(*target_ctx, *target.contents, static_cast<V*>(nullptr));
}

// `$ref`, `$dynamicRef` and `$recursiveRef`, each where the draft has it.
template <class V>
Result<Ok, ValidationError> collect_references(const CompileContext& ctx, const Value& schema, V& out) {
    struct Reference {
        std::string_view keyword;
        BuiltinKeyword builtin;
        const V** field;
    };
    const Reference references[] = {
        {"$ref", BuiltinKeyword::Ref, &out.ref},
        {"$dynamicRef", BuiltinKeyword::DynamicRef, &out.dynamic_ref},
        {"$recursiveRef", BuiltinKeyword::RecursiveRef, &out.recursive_ref},
    };
    for (const Reference& reference : references) {
        const Value* value = schema.find(reference.keyword);
        if (value == nullptr || !keyword_applies(reference.builtin, ctx.draft())) continue;
        const bool recursive = reference.builtin == BuiltinKeyword::RecursiveRef;
        if (!recursive && !value->is_string()) continue;
        auto target = recursive ? referencing::lookup_recursive_ref(ctx.resolver())
                                : referencing::resolver_lookup(ctx.resolver(), value->as_string());
        if (!target) return make_unexpected(core::reference_error_to_validation_error(std::move(target).error()));
        auto cell = collect_target<V>(ctx, *target);
        if (!cell) return make_unexpected(std::move(cell).error());
        *reference.field = *cell;
    }
    return Ok{};
}

// Each object element of an applicator's array: its node (which tells whether it applies) and
// its collection. Other elements are compiled and give no branch.
template <class V, class Branch>
Result<Ok, ValidationError> collect_branches(const CompileContext& ctx, const Value& schema, std::string_view keyword,
                                             std::vector<Branch>& out, bool compile_non_objects) {
    const Value* value = schema.find(keyword);
    if (value == nullptr || !value->is_array()) return Ok{};
    const CompileContext keyword_ctx = ctx.at_keyword(keyword);
    const auto& elements = value->as_array();
    out.reserve(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!elements[i].is_object() && !compile_non_objects) continue;
        const CompileContext element_ctx = keyword_ctx.at_index(i);
        auto node = core::compile_subschema(element_ctx, elements[i]);
        if (!node) return make_unexpected(std::move(node).error());
        if (!elements[i].is_object()) continue;
        auto validators = collect_subschema<V>(element_ctx, elements[i]);
        if (!validators) return make_unexpected(std::move(validators).error());
        out.push_back(Branch{*node, *validators});
    }
    return Ok{};
}

// `then` or `else` when it is an object.
template <class V>
Result<const V*, ValidationError> collect_branch(const CompileContext& ctx, const Value& schema,
                                                 std::string_view keyword) {
    const Value* value = schema.find(keyword);
    if (value == nullptr || !value->is_object()) return static_cast<const V*>(nullptr);
    return collect_subschema<V>(ctx.at_keyword(keyword), *value);
}

template <class V, class Conditional>
Result<Ok, ValidationError> collect_conditional(const CompileContext& ctx, const Value& schema,
                                                std::optional<Conditional>& out) {
    const Value* condition = schema.find("if");
    if (condition == nullptr || !(condition->is_bool() || condition->is_object())) return Ok{};
    Conditional record;
    const CompileContext if_ctx = ctx.at_keyword("if");
    auto node = core::compile_subschema(if_ctx, *condition);
    if (!node) return make_unexpected(std::move(node).error());
    record.if_node = *node;
    if (condition->is_object()) {
        auto validators = collect_subschema<V>(if_ctx, *condition);
        if (!validators) return make_unexpected(std::move(validators).error());
        record.if_validators = *validators;
    }
    auto then_validators = collect_branch<V>(ctx, schema, "then");
    if (!then_validators) return make_unexpected(std::move(then_validators).error());
    record.then_validators = *then_validators;
    auto else_validators = collect_branch<V>(ctx, schema, "else");
    if (!else_validators) return make_unexpected(std::move(else_validators).error());
    record.else_validators = *else_validators;
    out = record;
    return Ok{};
}

// Under drafts 4, 6 and 7 a `$ref` hides its siblings: only the reference evaluates anything.
bool only_reference(const CompileContext& ctx, const Value& schema) {
    return ctx.draft() <= Draft::Draft7 && schema.contains("$ref");
}

Result<Ok, ValidationError> collect_patterns(const CompileContext& ctx, const Value& patterns,
                                             PropertyValidators& out) {
    const CompileContext keyword_ctx = ctx.at_keyword("patternProperties");
    const bool automaton = ctx.config().pattern_options().engine == core::PatternOptions::Engine::Automaton;
    for (const auto& member : patterns.as_object()) {
        const CompileContext pattern_ctx = keyword_ctx.at_keyword(member.key);
        if (automaton) {
            auto compiled = compile_regex_cached(pattern_ctx, member.key);
            if (!compiled) return make_unexpected(build_invalid_pattern_error(pattern_ctx.location(), member.key));
            out.automaton_patterns.push_back(std::move(compiled));
        } else {
            auto compiled = compile_backtracking_regex_cached(pattern_ctx, member.key);
            if (!compiled) return make_unexpected(build_invalid_pattern_error(pattern_ctx.location(), member.key));
            out.backtracking_patterns.push_back(std::move(compiled));
        }
        auto node = core::compile_subschema(pattern_ctx, member.value);
        if (!node) return make_unexpected(std::move(node).error());
    }
    return Ok{};
}

Result<Ok, ValidationError> fill_properties(const CompileContext& ctx, const Value& schema, PropertyValidators& out) {
    if (only_reference(ctx, schema)) return collect_references(ctx, schema, out);
    const bool gate = applicator_gate(ctx);
    if (gate) {
        if (const Value* properties = schema.find("properties"); properties != nullptr && properties->is_object()) {
            out.property_names.reserve(properties->size());
            for (const auto& member : properties->as_object()) out.property_names.push_back(member.key);
        }
        if (const Value* additional = schema.find("additionalProperties")) {
            auto node = core::compile_subschema(ctx.at_keyword("additionalProperties"), *additional);
            if (!node) return make_unexpected(std::move(node).error());
            out.additional_properties = *node;
        }
        if (const Value* patterns = schema.find("patternProperties"); patterns != nullptr && patterns->is_object()) {
            auto collected = collect_patterns(ctx, *patterns, out);
            if (!collected) return collected;
        }
    }
    if (const Value* unevaluated = schema.find("unevaluatedProperties")) {
        auto node = core::compile_subschema(ctx.at_keyword("unevaluatedProperties"), *unevaluated);
        if (!node) return make_unexpected(std::move(node).error());
        out.unevaluated = *node;
    }
    if (gate) {
        for (auto [keyword, list] : {std::pair{"allOf", &out.all_of}, {"anyOf", &out.any_of}, {"oneOf", &out.one_of}}) {
            auto collected = collect_branches<PropertyValidators>(ctx, schema, keyword, *list, true);
            if (!collected) return collected;
        }
        auto conditional = collect_conditional<PropertyValidators>(ctx, schema, out.conditional);
        if (!conditional) return conditional;
    }
    auto references = collect_references(ctx, schema, out);
    if (!references) return references;
    if (gate && keyword_applies(BuiltinKeyword::DependentSchemas, ctx.draft())) {
        if (const Value* dependents = schema.find("dependentSchemas"); dependents != nullptr && dependents->is_object()) {
            const CompileContext keyword_ctx = ctx.at_keyword("dependentSchemas");
            for (const auto& member : dependents->as_object()) {
                if (!member.value.is_object()) continue;
                auto validators = collect_subschema<PropertyValidators>(keyword_ctx.at_keyword(member.key), member.value);
                if (!validators) return make_unexpected(std::move(validators).error());
                out.dependent_schemas.push_back(DependentPropertyValidators{member.key, *validators});
            }
        }
    }
    return Ok{};
}

Result<Ok, ValidationError> fill_items(const CompileContext& ctx, const Value& schema, ItemsValidators& out) {
    if (only_reference(ctx, schema)) return collect_references(ctx, schema, out);
    const bool gate = applicator_gate(ctx);
    if (const Value* unevaluated = schema.find("unevaluatedItems")) {
        auto node = core::compile_subschema(ctx.at_keyword("unevaluatedItems"), *unevaluated);
        if (!node) return make_unexpected(std::move(node).error());
        out.unevaluated = *node;
    }
    if (gate && keyword_applies(BuiltinKeyword::Contains, ctx.draft())) {
        if (const Value* contains = schema.find("contains")) {
            auto node = core::compile_subschema(ctx.at_keyword("contains"), *contains);
            if (!node) return make_unexpected(std::move(node).error());
            out.contains = *node;
        }
    }
    auto references = collect_references(ctx, schema, out);
    if (!references) return references;
    if (!gate) return Ok{};
    if (const Value* items = schema.find("items")) {
        if (ctx.draft() <= Draft::Draft201909) {
            if (schema.contains("additionalItems") || !items->is_array()) {
                out.items_count = kEveryItem;
            } else {
                out.items_count = items->size();
            }
        } else {
            out.all_items = true;
        }
    }
    if (keyword_applies(BuiltinKeyword::PrefixItems, ctx.draft())) {
        if (const Value* prefix = schema.find("prefixItems"); prefix != nullptr && prefix->is_array()) {
            out.prefix_items_count = prefix->size();
        }
    }
    auto conditional = collect_conditional<ItemsValidators>(ctx, schema, out.conditional);
    if (!conditional) return conditional;
    for (auto [keyword, list] : {std::pair{"allOf", &out.all_of}, {"anyOf", &out.any_of}, {"oneOf", &out.one_of}}) {
        auto collected = collect_branches<ItemsValidators>(ctx, schema, keyword, *list, false);
        if (!collected) return collected;
    }
    return Ok{};
}

Result<const PropertyValidators*, ValidationError> collect_properties(const CompileContext& ctx, const Value& schema) {
    return collect<PropertyValidators>(ctx, schema, fill_properties);
}

Result<const ItemsValidators*, ValidationError> collect_items(const CompileContext& ctx, const Value& schema) {
    return collect<ItemsValidators>(ctx, schema, fill_items);
}

}  // namespace

const std::shared_ptr<EvaluatedArena>& evaluated_arena(const CompileContext& ctx) { return evaluated_state(ctx).arena; }

Result<const PropertyValidators*, ValidationError> compile_property_validators(const CompileContext& ctx,
                                                                               const Value& schema) {
    return collect_properties(ctx, schema);
}

Result<const ItemsValidators*, ValidationError> compile_items_validators(const CompileContext& ctx,
                                                                         const Value& schema) {
    return collect_items(ctx, schema);
}

Result<CompileContext, referencing::ReferenceError> derive_subschema_context(const CompileContext& parent,
                                                                             const Value& subschema, Draft draft) {
    auto resolver = referencing::resolve_schema_id(parent.resolver(), subschema, draft);
    if (!resolver) return make_unexpected(std::move(resolver).error());
    auto scope = std::make_shared<core::ContextScope>(*parent.scope());
    scope->resolver = std::move(*resolver);
    if (draft != parent.draft()) {
        scope->vocabularies = referencing::resource_vocabularies(scope->resolver.registry(),
                                                                 scope->resolver.base()->text(), draft, subschema);
    }
    if (referencing::draft_id_of(draft, subschema)) scope->resource_offset = parent.location().size();
    scope->draft = draft;
    return CompileContext(&parent.config(), &parent.state(), &parent.root(), std::move(scope), parent.location());
}

}  // namespace deririrore::keywords
