#include "deririrore/core/ref.hpp"

#include <vector>

#include "deririrore/core/compile_internal.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/percent.hpp"

namespace deririrore::core {

using referencing::Resolved;
using referencing::Resolver;
using referencing::UriRef;

// Slots.

void PendingNode::initialise(const SchemaNode* node, bool weak) {
    if (node_ != nullptr) throw InternalError("pending node initialized twice");
    if (node == nullptr) throw InternalError("pending node initialized with no node");
    node_ = node;
    weak_ = weak;
}

const SchemaNode& PendingNode::node() const {
    if (node_ == nullptr) throw InternalError("pending node accessed before initialization");
    return *node_;
}

namespace {

// Pops the cycle entry however the operation ends.
class CycleEntryGuard {
public:
    CycleEntryGuard(ValidationContext& ctx, const void* content, const Value* instance) : ctx_(ctx) {
        ctx_.cycle_push(content, instance, 0);
    }
    ~CycleEntryGuard() { ctx_.cycle_pop(); }
    CycleEntryGuard(const CycleEntryGuard&) = delete;
    CycleEntryGuard& operator=(const CycleEntryGuard&) = delete;

private:
    ValidationContext& ctx_;
};

}  // namespace

void PendingNodeValidator::iter_errors(const Value& instance, const LazyLocation& instance_path,
                                       const RefChain* chain, ValidationContext& ctx, ErrorSink& sink) const {
    const SchemaNode& node = slot_->node();
    if (!slot_->weak()) return node.iter_errors(instance, instance_path, chain, ctx, sink);
    if (ctx.cycle_contains(&node, &instance, 0)) return;
    CycleEntryGuard guard(ctx, &node, &instance);
    node.iter_errors(instance, instance_path, chain, ctx, sink);
}

bool PendingNodeValidator::is_valid(const Value& instance, ValidationContext& ctx) const {
    const SchemaNode& node = slot_->node();
    if (!slot_->weak()) return node.is_valid(instance, ctx);
    if (ctx.cycle_contains(&node, &instance, 0)) return true;
    CycleEntryGuard guard(ctx, &node, &instance);
    const bool container = instance.is_array() || instance.is_object();
    if (container) {
        if (auto hit = ctx.memo_get(&node, &instance)) return *hit;
    }
    const bool valid = node.is_valid(instance, ctx);
    // A result cut short by the depth limit is not an answer worth keeping.
    if (container && !ctx.depth_exceeded()) ctx.memo_put(&node, &instance, valid);
    return valid;
}

std::optional<ValidationError> PendingNodeValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                              const RefChain* chain, ValidationContext& ctx) const {
    const SchemaNode& node = slot_->node();
    if (!slot_->weak()) return node.validate(instance, instance_path, chain, ctx);
    if (ctx.cycle_contains(&node, &instance, 0)) return std::nullopt;
    CycleEntryGuard guard(ctx, &node, &instance);
    return node.validate(instance, instance_path, chain, ctx);
}

EvaluationResult PendingNodeValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                                   const Location& instance_location, const RefChain* chain,
                                                   EvaluationContext& ctx) const {
    const SchemaNode& node = slot_->node();
    if (!slot_->weak()) return node.evaluate_at(instance, instance_path, instance_location, chain, ctx);
    if (ctx.cycle_contains(&node, &instance, 0)) return EvaluationResult::empty_valid();
    CycleEntryGuard guard(ctx, &node, &instance);
    return node.evaluate_at(instance, instance_path, instance_location, chain, ctx);
}

EvaluationResult PendingNodeValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                                const RefChain* chain, EvaluationContext& ctx) const {
    Location instance_location = location_from_lazy(instance_path);
    return evaluate_at(instance, instance_path, instance_location, chain, ctx);
}

bool PendingNodeValidator::trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                 TraceContext& ctx) const {
    const SchemaNode& node = slot_->node();
    if (!slot_->weak()) return node.trace(instance, instance_path, tracer, ctx);
    if (ctx.cycle_contains(&node, &instance, 0)) return true;
    CycleEntryGuard guard(ctx, &node, &instance);
    return node.trace(instance, instance_path, tracer, ctx);
}

// Reference validators.

const KeywordValidator& RefValidator::target() const {
    if (node_ != nullptr) return *node_;
    return pending_;
}

void RefValidator::iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                               ValidationContext& ctx, ErrorSink& sink) const {
    RefChain hop(locations_.relative_keyword, locations_.target, chain);
    target().iter_errors(instance, instance_path, &hop, ctx, sink);
}

std::optional<ValidationError> RefValidator::validate(const Value& instance, const LazyLocation& instance_path,
                                                      const RefChain* chain, ValidationContext& ctx) const {
    RefChain hop(locations_.relative_keyword, locations_.target, chain);
    return target().validate(instance, instance_path, &hop, ctx);
}

EvaluationResult RefValidator::evaluate_at(const Value& instance, const LazyLocation& instance_path,
                                           const Location& instance_location, const RefChain* chain,
                                           EvaluationContext& ctx) const {
    RefChain hop(locations_.relative_keyword, locations_.target, chain);
    return target().evaluate_at(instance, instance_path, instance_location, &hop, ctx);
}

EvaluationResult RefValidator::evaluate(const Value& instance, const LazyLocation& instance_path,
                                        const RefChain* chain, EvaluationContext& ctx) const {
    Location instance_location = location_from_lazy(instance_path);
    return evaluate_at(instance, instance_path, instance_location, chain, ctx);
}

namespace {

// Prefixes every event's keyword Location with the Location held in the trace context's cell.
class RebaseTracer final : public Tracer {
public:
    RebaseTracer(Tracer& inner, const Location& cell, const TraceContext& ctx) : inner_(inner), cell_(cell), ctx_(ctx) {}
    void call_mut(const TraceEvent& event) override {
        if (cell_.empty()) return inner_.call_mut(event);
        Location joined = ctx_.join(cell_, event.keyword_location);
        inner_.call_mut(TraceEvent{event.instance_location, joined, event.outcome});
    }

private:
    Tracer& inner_;
    const Location& cell_;
    const TraceContext& ctx_;
};

}  // namespace

bool RefValidator::trace_prefixed(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
                                  TraceContext& ctx) const {
    const Location& v = locations_.trace_prefix;
    const Location& u = locations_.target;
    Location* cell = ctx.prefix_cell();
    bool valid;
    if (cell != nullptr && *cell == v) {
        valid = trace_target(instance, instance_path, tracer, ctx);
    } else if (cell != nullptr) {
        Location previous = std::exchange(*cell, v);
        struct Restore {
            Location* cell;
            Location* previous;
            ~Restore() { *cell = std::move(*previous); }
        } restore{cell, &previous};
        valid = trace_target(instance, instance_path, tracer, ctx);
    } else {
        Location own = v;
        ctx.set_prefix_cell(&own);
        struct Detach {
            TraceContext& ctx;
            ~Detach() { ctx.set_prefix_cell(nullptr); }
        } detach{ctx};
        RebaseTracer rebase(tracer, own, ctx);
        valid = trace_target(instance, instance_path, rebase, ctx);
    }
    const TraceOutcome outcome = outcome_of(valid);
    tracer.emit(instance_path, locations_.keyword, outcome);
    if (cell != nullptr) {
        if (*cell == v) {
            tracer.emit(instance_path, u, outcome);
        } else {
            Location previous = std::exchange(*cell, v);
            tracer.emit(instance_path, u, outcome);
            *cell = std::move(previous);
        }
    } else if (!v.empty()) {
        Location joined = ctx.join(v, u);
        tracer.emit(instance_path, joined, outcome);
    } else {
        tracer.emit(instance_path, u, outcome);
    }
    return valid;
}

// Reference compilation.

namespace {

ValidationError ref_type_error(const CompileContext& ctx, std::string_view keyword, const Value& value) {
    return ValidationError::compile_error(type_kind_single(JsonType::String), value, ctx.keyword_location(keyword));
}

ValidationError reference_error(referencing::ReferenceError error) {
    return reference_error_to_validation_error(std::move(error));
}

using RefUriEntry = CompileState::Tables::RefUriEntry;

Result<RefUriEntry, referencing::ReferenceError> resolve_ref_uri(const CompileContext& ctx, std::string_view text) {
    auto& tables = ctx.state().tables();
    const UriRef& base = ctx.base_uri();
    auto& table = tables.ref_uri_cache[base.get()];
    if (!table.base) table.base = base;
    if (auto it = table.entries.find(std::string(text)); it != table.entries.end()) return it->second;
    auto resolved = referencing::resolve_uri_cached(ctx.resolver().registry(), *base, text);
    if (!resolved) return make_unexpected(std::move(resolved).error());
    Location pointer;
    const referencing::Uri& uri = **resolved;
    if (uri.has_fragment() && !uri.fragment().empty() && uri.fragment().front() == '/') {
        pointer = Location(value::percent_decode_lossy(uri.fragment()));
    }
    RefUriEntry entry{*resolved, pointer};
    table.entries.emplace(std::string(text), entry);
    return entry;
}

Location relative_location(const CompileContext& ctx) {
    std::string_view location = ctx.location().view();
    std::string_view base = ctx.resource_base().view();
    if (location.substr(0, base.size()) != base) throw InternalError("location must start with resource_base");
    return Location(location.substr(base.size()));
}

// Every object of `root` that declares an anchor or an identifier, by identity, with its Location.
// An explicit stack: documents may be deep.
void index_embedded_resources(const Value& root, std::unordered_map<const Value*, Location>& index) {
    struct Frame {
        const Value* value;
        Location location;
    };
    std::vector<Frame> stack;
    stack.push_back(Frame{&root, Location()});
    while (!stack.empty()) {
        Frame frame = std::move(stack.back());
        stack.pop_back();
        const Value& v = *frame.value;
        if (v.is_object()) {
            for (std::string_view k : {"$anchor", "$dynamicAnchor", "$id", "id"}) {
                if (v.contains(k)) {
                    index[&v] = frame.location;
                    break;
                }
            }
            const auto& members = v.as_object();
            for (auto it = members.rbegin(); it != members.rend(); ++it) {
                if (it->value.is_object() || it->value.is_array()) {
                    stack.push_back(Frame{&it->value, location_join_key(frame.location, it->key)});
                }
            }
        } else if (v.is_array()) {
            const auto& items = v.as_array();
            for (std::size_t i = items.size(); i-- > 0;) {
                if (items[i].is_object() || items[i].is_array()) {
                    stack.push_back(Frame{&items[i], append_index_to_location(frame.location, i)});
                }
            }
        }
    }
}

std::optional<Location> embedded_location_of(CompileState& state, const Value& root, const Value& inner) {
    auto& tables = state.tables();
    auto it = tables.location_index.find(&root);
    if (it == tables.location_index.end()) {
        it = tables.location_index.emplace(&root, std::unordered_map<const Value*, Location>{}).first;
        index_embedded_resources(root, it->second);
    }
    auto found = it->second.find(&inner);
    if (found == it->second.end()) return std::nullopt;
    return found->second;
}

// Where `resource_root` lies inside the compilation root: empty for the root itself or elsewhere.
Location prefix_of(const CompileContext& ctx, const Value& resource_root) {
    if (&resource_root == &ctx.root()) return Location();
    return embedded_location_of(ctx.state(), ctx.root(), resource_root).value_or(Location());
}

Result<RefLocations, ValidationError> target_locations(const CompileContext& ctx, std::string_view text,
                                                       const RefUriEntry& resolved, const Resolved& target,
                                                       Location relative, Location keyword) {
    RefLocations out{std::move(relative), std::move(keyword), Location(), Location(), nullptr};
    const referencing::Uri& uri = *resolved.uri;
    const std::string_view fragment = uri.has_fragment() ? uri.fragment() : std::string_view();
    const referencing::Uri& target_base = *target.resolver.base();

    auto resource_root = referencing::resolver_lookup(target.resolver, "");
    if (!resource_root) return make_unexpected(reference_error(std::move(resource_root).error()));

    if (!fragment.empty() && fragment.front() != '/') {
        auto inside = embedded_location_of(ctx.state(), *resource_root->contents, *target.contents);
        if (!inside) {
            // An anchor whose declaring object the resource index does not reach: report it
            // rather than guess a Location.
            return make_unexpected(ValidationError::compile_error(
                kinds::Custom{"", "Reference '" + std::string(text) + "' names a target outside its resource"},
                null_value(), out.keyword));
        }
        out.target = *inside;
        out.trace_prefix = prefix_of(ctx, *resource_root->contents);
        out.absolute_target = absolute_location_uri(target_base, out.target.view());
        return out;
    }
    const std::string_view without = uri.without_fragment_view();
    const std::string_view uri_text = uri.view();
    const std::string_view base_text = target_base.view();
    if (uri_text == base_text ||
        (uri_text.size() == base_text.size() + 1 && uri_text.back() == '#' && uri_text.substr(0, base_text.size()) == base_text)) {
        out.target = resolved.fragment_pointer;
        out.trace_prefix = prefix_of(ctx, *resource_root->contents);
        out.absolute_target = absolute_location_uri(uri, out.target.view());
        return out;
    }
    // A pointer that may pass through embedded resources with identifiers of their own.
    auto document = referencing::resolver_lookup(ctx.resolver(), without);
    if (!document) return make_unexpected(reference_error(std::move(document).error()));
    const std::string_view pointer = resolved.fragment_pointer.view();
    const Value* current = document->contents;
    std::optional<std::size_t> consumed;
    if (current == resource_root->contents) consumed = 0;
    std::size_t pos = 0;
    std::string scratch;
    while (pos < pointer.size() && current != nullptr) {
        std::size_t next = pointer.find('/', pos + 1);
        if (next == std::string_view::npos) next = pointer.size();
        std::string_view token = pointer.substr(pos + 1, next - pos - 1);
        std::string name = referencing::unescape_pointer_segment(token);
        if (current->is_object()) {
            current = current->find(name);
        } else if (current->is_array()) {
            std::string_view digits = name;
            if (digits == "+" || digits == "-" || digits.empty()) break;
            if (digits.front() == '+') digits.remove_prefix(1);
            std::uint64_t index = 0;
            bool ok = !digits.empty();
            for (char c : digits) {
                if (c < '0' || c > '9' || index > (UINT64_MAX - 9) / 10) {
                    ok = false;
                    break;
                }
                index = index * 10 + static_cast<std::uint64_t>(c - '0');
            }
            if (!ok || index >= current->as_array().size()) break;
            current = &current->as_array()[static_cast<std::size_t>(index)];
        } else {
            break;
        }
        pos = next;
        if (current == resource_root->contents) consumed = pos;
    }
    out.target = resolved.fragment_pointer;
    out.trace_prefix = prefix_of(ctx, *document->contents);
    if (consumed) {
        out.absolute_target = absolute_location_uri(target_base, pointer.substr(*consumed));
    } else {
        out.absolute_target = absolute_location_uri(uri, pointer);
    }
    return out;
}

// A node compiled elsewhere, as the target of a reference.
KeywordValidatorPtr wrap_node(CompileState& state, const SchemaNode* node, bool weak, RefLocations locations) {
    if (!weak) return std::make_unique<RefValidator>(node, std::move(locations));
    PendingNode* slot = state.tables().new_slot();
    slot->initialise(node, true);
    return std::make_unique<RefValidator>(slot, std::move(locations));
}

// A target already built, or being built, for this URI and dynamic scope.
Result<KeywordValidatorPtr, ValidationError> cached_ref_target(const CompileContext& ctx, std::string_view text,
                                                               const referencing::DynamicScope& scope,
                                                               RefLocations& locations) {
    auto& tables = ctx.state().tables();
    auto resolved = referencing::resolve_uri_cached(ctx.resolver().registry(), *ctx.base_uri(), text);
    if (!resolved) return make_unexpected(reference_error(std::move(resolved).error()));
    const std::string& uri = (*resolved)->text();
    if (tables.referenced_uris.find(uri) == tables.referenced_uris.end()) return KeywordValidatorPtr();
    if (auto it = tables.compiled_targets.find(target_key(uri, scope)); it != tables.compiled_targets.end()) {
        const CachedNode entry = it->second;
        bool weak = false;
        if (!entry.self_contained) {
            tables.shared_node_used = true;
            weak = entry.epoch != tables.epoch;
        }
        return wrap_node(ctx.state(), entry.node, weak, std::move(locations));
    }
    if (auto it = tables.in_progress.find(uri); it != tables.in_progress.end()) {
        tables.shared_node_used = true;
        return KeywordValidatorPtr(std::make_unique<RefValidator>(it->second, std::move(locations)));
    }
    return KeywordValidatorPtr();
}

bool is_ref_target_in_progress(CompileState::Tables& tables, std::string_view key) {
    // Deep chains of on-the-spot compilations, and deeply nested schemas, go to the queue.
    if (tables.ref_depth >= kMaxOnTheSpotTargets || tables.compile_depth >= kDeferCompileDepth) return true;
    return tables.deferred.find(std::string(key)) != tables.deferred.end();
}

PendingNode* defer_ref_target(CompileState::Tables& tables, const Resolved& target, Location location,
                              const UriRef& uri, std::string key) {
    tables.shared_node_used = true;
    if (auto it = tables.deferred.find(key); it != tables.deferred.end()) return it->second;
    PendingNode* slot = tables.new_slot();
    tables.deferred.emplace(key, slot);
    tables.queue.push_back(CompileJob{target.contents, target.resolver, std::move(location), uri, std::move(key), slot,
                                      tables.in_progress, target.draft});
    return slot;
}

struct RefDepthGuard {
    explicit RefDepthGuard(CompileState::Tables& t) : tables(t) { ++tables.ref_depth; }
    ~RefDepthGuard() { --tables.ref_depth; }
    CompileState::Tables& tables;
};

KeywordCompileResult compile_ref(const CompileContext& ctx, const Value& parent, std::string_view text,
                                 std::string_view keyword) {
    // The empty reference names the current resource, as the registry crawl reads it; it is
    // compiled like any other reference rather than dropped.
    auto& tables = ctx.state().tables();
    auto resolved = resolve_ref_uri(ctx, text);
    if (!resolved) return make_unexpected(reference_error(std::move(resolved).error()));
    Location relative = location_join_key(relative_location(ctx), keyword);
    Location keyword_location = ctx.keyword_location(keyword);
    auto target = referencing::resolver_lookup(ctx.resolver(), text);
    if (!target) return make_unexpected(reference_error(std::move(target).error()));
    auto locations = target_locations(ctx, text, *resolved, *target, std::move(relative), std::move(keyword_location));
    if (!locations) return make_unexpected(std::move(locations).error());
    if (target->contents == &parent) return no_validator();

    const referencing::DynamicScope& scope = target->resolver.scope();
    std::string key = target_key(resolved->uri->text(), scope);
    // A dynamic reference's target depends on the way in, not only on the content it names.
    const bool shareable =
        tables.shared != nullptr && keyword == "$ref" && shareable_target_uri(tables, *resolved->uri);
    if (tables.shared != nullptr) {
        if (shareable) {
            note_target_reference(tables, key);
        } else {
            mark_targets_unshareable(tables);
        }
    }
    auto cached = cached_ref_target(ctx, text, scope, *locations);
    if (!cached) return make_unexpected(std::move(cached).error());
    if (*cached) return std::move(*cached);
    if (shareable) {
        if (const SchemaNode* borrowed = borrow_shared_target(ctx, key, resolved->uri->text(), *target))
            return wrap_node(ctx.state(), borrowed, false, std::move(*locations));
    }

    tables.referenced_uris.insert(resolved->uri->text());
    if (is_ref_target_in_progress(tables, key)) {
        PendingNode* slot = defer_ref_target(tables, *target, locations->target, resolved->uri, std::move(key));
        return KeywordValidatorPtr(std::make_unique<RefValidator>(slot, std::move(*locations)));
    }
    auto vocabularies = referencing::resource_vocabularies(target->resolver.registry(), target->resolver.base()->text(),
                                                           target->draft, *target->contents);
    auto target_ctx = new_resource_compile_context(ctx, target->resolver, target->draft, std::move(vocabularies),
                                                   locations->target);
    if (!target_ctx) return make_unexpected(std::move(target_ctx).error());
    Result<CompiledNode, ValidationError> compiled = CompiledNode{nullptr, false};
    {
        RefDepthGuard depth(tables);
        compiled = compile_schema_node(*target_ctx, *target->contents, &resolved->uri);
    }
    if (!compiled) return make_unexpected(error_into_owned(std::move(compiled).error()));
    return wrap_node(ctx.state(), compiled->node, compiled->weak, std::move(*locations));
}

}  // namespace

KeywordCompileResult compile_ref_keyword(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (!value.is_string()) return make_unexpected(ref_type_error(ctx, "$ref", value));
    return compile_ref(ctx, parent, value.as_string(), "$ref");
}

KeywordCompileResult compile_dynamic_ref_keyword(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (!value.is_string()) return make_unexpected(ref_type_error(ctx, "$dynamicRef", value));
    return compile_ref(ctx, parent, value.as_string(), "$dynamicRef");
}

KeywordCompileResult compile_recursive_ref(const CompileContext& ctx, const Value&, const Value& value) {
    if (!value.is_string()) return make_unexpected(ref_type_error(ctx, "$recursiveRef", value));
    const std::string& text = value.as_string();
    Location relative = location_join_key(relative_location(ctx), "$recursiveRef");
    Location keyword_location = ctx.keyword_location("$recursiveRef");
    auto resolved = resolve_ref_uri(ctx, text);
    if (!resolved) return make_unexpected(reference_error(std::move(resolved).error()));
    auto target = referencing::lookup_recursive_ref(ctx.resolver());
    if (!target) return make_unexpected(reference_error(std::move(target).error()));
    RefLocations locations{std::move(relative), std::move(keyword_location), resolved->fragment_pointer, Location(),
                           nullptr};
    locations.absolute_target = absolute_location_uri(*target->resolver.base(), locations.target.view());
    locations.trace_prefix = prefix_of(ctx, *target->contents);

    mark_targets_unshareable(ctx.state().tables());
    const referencing::DynamicScope& scope = target->resolver.scope();
    auto cached = cached_ref_target(ctx, text, scope, locations);
    if (!cached) return make_unexpected(std::move(cached).error());
    if (*cached) return std::move(*cached);
    auto& tables = ctx.state().tables();
    tables.referenced_uris.insert(resolved->uri->text());
    auto vocabularies = referencing::resource_vocabularies(target->resolver.registry(), target->resolver.base()->text(),
                                                           target->draft, *target->contents);
    auto target_ctx = new_resource_compile_context(ctx, target->resolver, target->draft, std::move(vocabularies),
                                                   locations.target);
    if (!target_ctx) return make_unexpected(std::move(target_ctx).error());
    auto compiled = compile_schema_node(*target_ctx, *target->contents, &resolved->uri);
    if (!compiled) return make_unexpected(error_into_owned(std::move(compiled).error()));
    PendingNode* slot = tables.new_slot();
    slot->initialise(compiled->node, compiled->weak);
    return KeywordValidatorPtr(std::make_unique<RefValidator>(slot, std::move(locations)));
}

}  // namespace deririrore::core
