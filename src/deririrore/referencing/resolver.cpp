#include "deririrore/referencing/resolver.hpp"

#include "deririrore/referencing/fragment_walk.hpp"

namespace deririrore::referencing {

DynamicScope::Node::~Node() {
    std::shared_ptr<const Node> rest = std::move(next);
    // Whilst this node holds the only reference to the rest of the chain, unlink it one node at a
    // time so that each destructor finds nothing left to release.
    while (rest && rest.use_count() == 1) {
        std::shared_ptr<const Node> after = std::move(const_cast<Node&>(*rest).next);
        rest = std::move(after);
    }
}

namespace {

std::string_view strip_trailing_hashes(std::string_view text) {
    while (!text.empty() && text.back() == '#') text.remove_suffix(1);
    return text;
}

bool has_recursive_anchor(const Value* value) {
    if (value == nullptr || !value->is_object()) return false;
    const Value* flag = value->find("$recursiveAnchor");
    return flag != nullptr && flag->is_bool() && flag->as_bool();
}

Unexpected<ReferenceError> unretrievable(const Uri& uri) {
    return make_unexpected(ReferenceError(
        ReferenceError::Unretrievable{uri.text(), ErrorSource::text(std::string(kRegistryPopulatedMessage))}));
}

}  // namespace

Resolver resolver_evolve(const Resolver& resolver, UriRef uri) {
    const UriRef& base = resolver.base();
    if (base->text().empty()) return Resolver(resolver.registry(), std::move(uri), resolver.scope());
    if (resolver.scope().empty() || (uri != base && uri->text() != base->text()))
        return Resolver(resolver.registry(), std::move(uri), resolver.scope().push(base));
    return Resolver(resolver.registry(), std::move(uri), resolver.scope());
}

Result<Resolver, ReferenceError> resolve_schema_id(const Resolver& resolver, const Value& schema, Draft draft) {
    auto id = draft_id_of(draft, schema);
    if (!id) return resolver;
    auto resolved = resolve_uri_cached(resolver.registry(), *resolver.base(), strip_trailing_hashes(*id));
    if (!resolved) return make_unexpected(std::move(resolved).error());
    return Resolver(resolver.registry(), std::move(*resolved), resolver.scope());
}

const Anchor* registry_find_anchor(const Registry& registry, std::string_view uri, std::string_view name) {
    return registry.find_anchor(uri, name);
}

Result<const Anchor*, ReferenceError> lookup_anchor(const Registry& registry, const Uri& uri, std::string_view name) {
    if (const Anchor* anchor = registry_find_anchor(registry, uri.text(), name)) return anchor;
    if (auto resource = registry.find_resource(uri.text())) {
        if (auto id = draft_id_of(resource->draft, *resource->contents)) {
            auto parsed = parse_uri(strip_trailing_hashes(*id));
            if (!parsed) return make_unexpected(ReferenceError(std::move(parsed).error()));
            if (const Anchor* anchor = registry_find_anchor(registry, parsed->text(), name)) return anchor;
        }
    }
    if (name.find('/') != std::string_view::npos)
        return make_unexpected(ReferenceError(ReferenceError::InvalidAnchor{std::string(name)}));
    return make_unexpected(ReferenceError(ReferenceError::NoSuchAnchor{std::string(name)}));
}

namespace {

Result<Resolved, ReferenceError> lookup_pointer(const Resolver& resolver, const UriRef& uri, const Resource& resource,
                                                std::string_view fragment) {
    Resolver r = resolver_evolve(resolver, uri);
    auto reached = detail::walk_fragment_pointer(
        *resource.contents, fragment, resource.draft, [&](const Value& current) -> Result<bool, ReferenceError> {
            auto next = resolve_schema_id(r, current, resource.draft);
            if (!next) return make_unexpected(std::move(next).error());
            const bool changed = next->base()->text() != r.base()->text();
            r = std::move(*next);
            return changed;
        });
    if (!reached) return make_unexpected(std::move(reached).error());
    return Resolved{*reached, std::move(r), resource.draft};
}

Result<Resolved, ReferenceError> lookup_plain_name(const Resolver& resolver, const UriRef& uri, std::string_view name) {
    const Registry& registry = resolver.registry();
    auto found = lookup_anchor(registry, *uri, name);
    if (!found) return make_unexpected(std::move(found).error());
    const Anchor& anchor = **found;
    Resolver r = resolver_evolve(resolver, uri);
    if (anchor.kind == AnchorKind::Default) return Resolved{anchor.resource.get(), std::move(r), anchor.draft};

    // A dynamic anchor: the outermost resource of the scope that declares the same dynamic
    // anchor wins.
    const Anchor* candidate = nullptr;
    const UriRef* candidate_uri = nullptr;
    for (const DynamicScope::Node* node = r.scope().head(); node != nullptr; node = node->next.get()) {
        auto outer = lookup_anchor(registry, *node->uri, name);
        if (outer) {
            if ((*outer)->kind == AnchorKind::Dynamic) {
                candidate = *outer;
                candidate_uri = &node->uri;
            }
        } else if (outer.error().kind() != ReferenceError::Kind::NoSuchAnchor) {
            return make_unexpected(std::move(outer).error());
        }
    }
    const Anchor& chosen = candidate != nullptr ? *candidate : anchor;
    Resolver chosen_resolver = r;
    if (candidate != nullptr) {
        auto resolved = resolve_uri_cached(registry, *r.base(), (*candidate_uri)->text());
        if (!resolved) return make_unexpected(std::move(resolved).error());
        chosen_resolver = Resolver(registry, std::move(*resolved), r.scope());
    }
    auto final_resolver = resolve_schema_id(chosen_resolver, *chosen.resource, chosen.draft);
    if (!final_resolver) return make_unexpected(std::move(final_resolver).error());
    return Resolved{chosen.resource.get(), std::move(*final_resolver), chosen.draft};
}

}  // namespace

Result<Resolved, ReferenceError> resolver_lookup(const Resolver& resolver, std::string_view reference) {
    const Registry& registry = resolver.registry();
    UriRef uri;
    std::string_view fragment;
    if (reference.starts_with('#')) {
        uri = resolver.base();
        fragment = reference.substr(1);
    } else {
        const std::size_t hash = reference.find('#');
        auto resolved = resolve_uri_cached(registry, *resolver.base(), reference.substr(0, hash));
        if (!resolved) return make_unexpected(std::move(resolved).error());
        uri = std::move(*resolved);
        if (hash != std::string_view::npos) fragment = reference.substr(hash + 1);
    }
    auto resource = registry.find_resource(uri->text());
    if (!resource) return unretrievable(*uri);
    if (fragment.empty()) return Resolved{resource->contents, resolver_evolve(resolver, uri), resource->draft};
    if (fragment.front() == '/') return lookup_pointer(resolver, uri, *resource, fragment);
    return lookup_plain_name(resolver, uri, fragment);
}

Result<Resolved, ReferenceError> lookup_recursive_ref(const Resolver& resolver) {
    auto result = resolver_lookup(resolver, "#");
    if (!result) return result;
    if (!has_recursive_anchor(result->contents)) return result;
    for (const DynamicScope::Node* node = resolver.scope().head(); node != nullptr; node = node->next.get()) {
        auto outer = resolver_lookup(resolver, node->uri->text());
        if (!outer) return outer;
        if (!has_recursive_anchor(outer->contents)) break;
        result = std::move(outer);
    }
    return result;
}

}  // namespace deririrore::referencing
