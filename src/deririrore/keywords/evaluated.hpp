#pragma once
// What `unevaluatedProperties` and `unevaluatedItems` need to know about a schema object at
// validation time: which keywords of it (and of the subschemas it applies) evaluate an object's
// members or an array's items. `PropertyValidators` and `ItemsValidators` describe that; they are
// gathered at compile time and walked per instance.
//
// Every collection lives in one arena per compilation and links to others by plain pointers,
// so recursive schemas end in cycles of pointers rather than in endless recursion. A schema
// object's collection is built once per compilation context (draft, vocabularies, base URI and
// dynamic scope) and shared by every reference and every validator that reaches it: schemas
// whose definitions refer to each other many times over compile in time linear in their size.
// The unevaluated validators keep the arena alive.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "deririrore/keywords/compile.hpp"
#include "deririrore/referencing/error.hpp"
#include "deririrore/regex/engine.hpp"

namespace deririrore::keywords {

struct PropertyValidators;
struct ItemsValidators;

struct PropertyValidatorsBranch {
    // Tests whether the branch applies to the instance.
    const SchemaNode* node;
    const PropertyValidators* validators;
};

struct ConditionalPropertyValidators {
    const SchemaNode* if_node = nullptr;
    const PropertyValidators* if_validators = nullptr;
    const PropertyValidators* then_validators = nullptr;
    const PropertyValidators* else_validators = nullptr;
};

struct DependentPropertyValidators {
    std::string name;
    const PropertyValidators* validators;
};

struct PropertyValidators {
    // The names `properties` declares, in ascending byte order.
    std::vector<std::string> property_names;
    const SchemaNode* additional_properties = nullptr;
    // `patternProperties` keys compiled by the engine the options choose (only one list is used).
    std::vector<std::shared_ptr<const regex::BacktrackingRegex>> backtracking_patterns;
    std::vector<std::shared_ptr<const regex::AutomatonRegex>> automaton_patterns;
    // This schema object's own `unevaluatedProperties` subschema.
    const SchemaNode* unevaluated = nullptr;
    std::vector<PropertyValidatorsBranch> all_of;
    std::vector<PropertyValidatorsBranch> any_of;
    std::vector<PropertyValidatorsBranch> one_of;
    std::optional<ConditionalPropertyValidators> conditional;
    std::vector<DependentPropertyValidators> dependent_schemas;
    // The collections of the reference targets.
    const PropertyValidators* ref = nullptr;
    const PropertyValidators* dynamic_ref = nullptr;
    const PropertyValidators* recursive_ref = nullptr;
    // Set once the collection that created it has finished.
    bool finished = false;

    bool declares(std::string_view name) const;
};

struct ItemsValidatorsBranch {
    const SchemaNode* node;
    const ItemsValidators* validators;
};

struct ConditionalItemsValidators {
    const SchemaNode* if_node = nullptr;
    const ItemsValidators* if_validators = nullptr;
    const ItemsValidators* then_validators = nullptr;
    const ItemsValidators* else_validators = nullptr;
};

inline constexpr std::uint64_t kEveryItem = UINT64_MAX;

struct ItemsValidators {
    // Leading items `items` evaluates under drafts 4 to 2019-09 (kEveryItem: all of them).
    std::optional<std::uint64_t> items_count;
    std::optional<std::uint64_t> prefix_items_count;
    // `items` under 2020-12 evaluates every item.
    bool all_items = false;
    const SchemaNode* contains = nullptr;
    const SchemaNode* unevaluated = nullptr;
    std::vector<ItemsValidatorsBranch> all_of;
    std::vector<ItemsValidatorsBranch> any_of;
    std::vector<ItemsValidatorsBranch> one_of;
    std::optional<ConditionalItemsValidators> conditional;
    const ItemsValidators* ref = nullptr;
    const ItemsValidators* dynamic_ref = nullptr;
    const ItemsValidators* recursive_ref = nullptr;
    bool finished = false;
};

// Owns every collection of one compilation; addresses never move.
class EvaluatedArena {
public:
    PropertyValidators& new_properties() { return properties_.emplace_back(); }
    ItemsValidators& new_items() { return items_.emplace_back(); }
    std::size_t property_collections() const noexcept { return properties_.size(); }
    std::size_t item_collections() const noexcept { return items_.size(); }

private:
    std::deque<PropertyValidators> properties_;
    std::deque<ItemsValidators> items_;
};

// The collections one walk over one instance has visited. A collection reached again through
// another path adds nothing new (the walk's result is a union), so each is visited once: schemas
// whose subschemas share definitions many times over are walked in linear time.
class VisitedCollections {
public:
    // False when `collection` was visited before.
    bool insert(const void* collection);

private:
    static constexpr std::size_t kLinearLimit = 32;
    std::vector<const void*> few_;
    std::unordered_set<const void*> many_;
};

// Evaluated positions are kept per call in the context's evaluated memo, by collection, instance
// and tag: `kNestedPositions` for a collection's positions with its own unevaluated subschema
// counted (what every nested collection, `is_valid` and `validate` collect), `kTopPositions` for
// those without it (`evaluate` and `trace` at the keyword's own collection).
inline constexpr std::uint8_t kNestedPositions = 1;
inline constexpr std::uint8_t kTopPositions = 2;

// One keyword's walk over the collections reached from its own, for one instance. It makes the
// call's memo when it starts inside another walk (the nesting that made such walks exponential),
// answers from the memo where an earlier walk kept a result, and keeps its own result when the
// memo exists and nothing outside the walk cut it short.
class EvaluatedWalk {
public:
    EvaluatedWalk(core::ValidationContext& ctx, const void* collection, const Value& instance, std::uint8_t tag)
        : ctx_(ctx), instance_(instance), key_{collection, &instance, tag}, cuts_(ctx.path_cuts()),
          base_(ctx.cycle_depth()) {
        if (ctx.evaluated_walks() > 0) ctx.evaluated_memo();
        ctx.evaluated_walk_started();
    }
    ~EvaluatedWalk() { ctx_.evaluated_walk_ended(); }
    EvaluatedWalk(const EvaluatedWalk&) = delete;
    EvaluatedWalk& operator=(const EvaluatedWalk&) = delete;

    // What an earlier walk kept for the keyword's own collection.
    const std::vector<std::uint8_t>* kept() const { return find(key_); }
    // What an earlier walk kept for a collection this walk reaches.
    const std::vector<std::uint8_t>* kept_nested(const void* collection) const {
        return find(core::EvaluatedMemo::Key{collection, &instance_, kNestedPositions});
    }
    void keep(const std::vector<std::uint8_t>& flags) const {
        core::EvaluatedMemo* memo = ctx_.evaluated_memo_if_made();
        if (memo != nullptr && ctx_.path_cuts() == cuts_ && !ctx_.depth_exceeded()) memo->keep(key_, flags);
    }
    // Entries of the in-progress stack from this position up belong to this walk.
    std::size_t base() const noexcept { return base_; }
    VisitedCollections& visited() noexcept { return visited_; }

private:
    const std::vector<std::uint8_t>* find(const core::EvaluatedMemo::Key& key) const {
        const core::EvaluatedMemo* memo = ctx_.evaluated_memo_if_made();
        return memo != nullptr ? memo->find(key) : nullptr;
    }

    core::ValidationContext& ctx_;
    const Value& instance_;
    core::EvaluatedMemo::Key key_;
    std::uint64_t cuts_;
    std::size_t base_;
    VisitedCollections visited_;
};

// One walk's entry into a collection for one instance. It is not entered when the walk has been
// there before, is inside it already (a reference cycle), or has reached the depth limit; an
// entered collection stays on the context's in-progress stack, under `kind`, while this lives.
// Skipping a collection this walk already collected, or one it is inside, loses nothing of its
// result; skipping one that an outer walk is inside makes the result depend on that path.
class CollectionEntry {
public:
    CollectionEntry(core::ValidationContext& ctx, EvaluatedWalk& walk, const void* collection,
                    const Value& instance, std::uint8_t kind)
        : ctx_(ctx) {
        if (!walk.visited().insert(collection)) return;
        const std::size_t at = ctx.cycle_position(collection, &instance, kind);
        if (at != core::ValidationContext::kNotInCycle) {
            if (at < walk.base()) ctx.note_path_cut();
            return;
        }
        depth_.emplace(ctx);
        if (!*depth_) return;
        ctx.cycle_push(collection, &instance, kind);
        entered_ = true;
    }
    ~CollectionEntry() {
        if (entered_) ctx_.cycle_pop();
    }
    CollectionEntry(const CollectionEntry&) = delete;
    CollectionEntry& operator=(const CollectionEntry&) = delete;

    explicit operator bool() const noexcept { return entered_; }

private:
    core::ValidationContext& ctx_;
    std::optional<core::DepthGuard> depth_;
    bool entered_ = false;
};

// Hands `visit` the collections of what applies to the instance through a collection's `if`
// (then `then` or `else`), `allOf`, `anyOf` and `oneOf` (only when exactly one branch is valid).
template <class Collection, class Visit>
void visit_applied_subschemas(const Collection& validators, const Value& instance, core::ValidationContext& ctx,
                              Visit&& visit) {
    if (const auto& conditional = validators.conditional) {
        if (conditional->if_node->is_valid(instance, ctx)) {
            visit(conditional->if_validators);
            visit(conditional->then_validators);
        } else {
            visit(conditional->else_validators);
        }
    }
    for (const auto* branches : {&validators.all_of, &validators.any_of}) {
        for (const auto& branch : *branches) {
            if (branch.node->is_valid(instance, ctx)) visit(branch.validators);
        }
    }
    using Branch = typename decltype(Collection::one_of)::value_type;
    const Branch* only = nullptr;
    for (const auto& branch : validators.one_of) {
        if (!branch.node->is_valid(instance, ctx)) continue;
        if (only != nullptr) return;
        only = &branch;
    }
    if (only != nullptr) visit(only->validators);
}

// What the unevaluated keywords' evaluation shares: the subschema on each position nothing else
// evaluated, as child units in order, and the keyword's error once one of them failed.
class UnevaluatedChildren {
public:
    UnevaluatedChildren(const SchemaNode& subschema, const core::RefChain* chain, core::EvaluationContext& ctx)
        : subschema_(subschema), chain_(chain), ctx_(ctx) {}

    // Evaluates the subschema on one member or item; answers its validity.
    bool add(const Value& value, const core::LazyLocation& path);
    // The children, valid when all were; `error`, made only when one failed, describes the failure.
    template <class MakeError>
    core::EvaluationResult result(MakeError&& error) const {
        core::EvaluationResult result;
        result.valid = valid_;
        result.children_valid = valid_;
        linker_.fill(result);
        if (!valid_) result.push_error_description(core::error_keyword_and_message(error()));
        return result;
    }

private:
    const SchemaNode& subschema_;
    const core::RefChain* chain_;
    core::EvaluationContext& ctx_;
    core::SiblingLinker linker_;
    bool valid_ = true;
};

// The arena of the compilation `ctx` belongs to.
const std::shared_ptr<EvaluatedArena>& evaluated_arena(const CompileContext& ctx);

// The collection of `schema` (an object), whose context `ctx` is. The result may still be in
// progress when a reference inside it leads back to it; it is finished before the compilation
// succeeds.
Result<const PropertyValidators*, ValidationError> compile_property_validators(const CompileContext& ctx,
                                                                               const Value& schema);
Result<const ItemsValidators*, ValidationError> compile_items_validators(const CompileContext& ctx,
                                                                         const Value& schema);

// The context of a subschema: `parent` is already at the subschema's Location; the resolver is
// rebased on the subschema's identifier (which also starts a new resource there), and the
// vocabularies are read afresh when `draft` differs from the parent's.
Result<CompileContext, referencing::ReferenceError> derive_subschema_context(const CompileContext& parent,
                                                                             const Value& subschema, Draft draft);

// A finished collection; reading one still in progress is a broken invariant.
const PropertyValidators& finished(const PropertyValidators* validators);
const ItemsValidators& finished(const ItemsValidators* validators);

}  // namespace deririrore::keywords
