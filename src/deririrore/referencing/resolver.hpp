#pragma once
// Reference lookup: a Resolver turns "$ref", "$dynamicRef" and "$recursiveRef" texts into the
// schema values they name, against its registry, base URI and dynamic scope. Lookups never fetch.
#include <memory>
#include <string_view>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/referencing/error.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resource.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/result.hpp"

namespace deririrore::referencing {

// The base URIs a resolver was reached through, most recent first. Persistent: extending a scope
// adds one shared node in front and never changes existing nodes.
class DynamicScope {
public:
    struct Node {
        UriRef uri;
        std::shared_ptr<const Node> next;
        Node(UriRef u, std::shared_ptr<const Node> n) : uri(std::move(u)), next(std::move(n)) {}
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;
        // Releases a long chain in a loop rather than by recursion.
        ~Node();
    };

    DynamicScope() = default;

    bool empty() const noexcept { return head_ == nullptr; }
    // Nodes are created mutable so that their destructor may unlink the chain behind them.
    DynamicScope push(UriRef uri) const { return DynamicScope(std::make_shared<Node>(std::move(uri), head_)); }
    const Node* head() const noexcept { return head_.get(); }

    template <class F>
    void for_each(F&& f) const {
        for (const Node* n = head_.get(); n != nullptr; n = n->next.get()) f(n->uri);
    }

private:
    explicit DynamicScope(std::shared_ptr<const Node> head) : head_(std::move(head)) {}
    std::shared_ptr<const Node> head_;
};

struct Resolved;

// Cheap to copy: a registry pointer and two shared handles. The registry must outlive it.
class Resolver {
public:
    Resolver(const Registry& registry, UriRef base, DynamicScope scope = {})
        : registry_(&registry), base_(std::move(base)), scope_(std::move(scope)) {}

    const Registry& registry() const noexcept { return *registry_; }
    const UriRef& base() const noexcept { return base_; }
    const DynamicScope& scope() const noexcept { return scope_; }

private:
    const Registry* registry_;
    UriRef base_;
    DynamicScope scope_;
};

struct Resolved {
    // Inside the registry (or a document it refers to).
    const Value* contents;
    // The resolver for references inside `contents`.
    Resolver resolver;
    Draft draft;
};

Result<Resolved, ReferenceError> resolver_lookup(const Resolver& resolver, std::string_view reference);
// The target of a "$recursiveRef" (whose value is "#").
Result<Resolved, ReferenceError> lookup_recursive_ref(const Resolver& resolver);
// The resolver for the resource under `uri`: records the base it leaves in the dynamic scope.
Resolver resolver_evolve(const Resolver& resolver, UriRef uri);
// The resolver re-based on the schema's identifier under the draft; the scope is kept.
Result<Resolver, ReferenceError> resolve_schema_id(const Resolver& resolver, const Value& schema, Draft draft);

Result<const Anchor*, ReferenceError> lookup_anchor(const Registry& registry, const Uri& uri, std::string_view name);
const Anchor* registry_find_anchor(const Registry& registry, std::string_view uri, std::string_view name);

}  // namespace deririrore::referencing
