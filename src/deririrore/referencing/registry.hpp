#pragma once
// The immutable set of schema resources keyed by absolute URI, with their anchors, and its build:
// documents are stored and crawled, local targets followed, missing external documents asked of a
// Retriever, and the built-in meta-schemas the documents need added.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/referencing/error.hpp"
#include "deririrore/referencing/resource.hpp"
#include "deririrore/referencing/small_map.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::referencing {

// Supplies documents that no input provides, while a registry is built.
class Retriever {
public:
    virtual ~Retriever() = default;
    // `uri` is absolute and has no fragment.
    virtual Result<Value, ErrorSource> retrieve(const Uri& uri) const = 0;
};

// Refuses every request.
class DefaultRetriever final : public Retriever {
public:
    Result<Value, ErrorSource> retrieve(const Uri& uri) const override;
};

const std::shared_ptr<const Retriever>& default_retriever();

// A document handed to the build. Its draft is the given one, or detected from its "$schema".
struct RegistryInput {
    std::shared_ptr<const Value> document;
    std::optional<Draft> draft;

    static RegistryInput owned(Value document, std::optional<Draft> draft = std::nullopt);
    static RegistryInput shared(std::shared_ptr<const Value> document, std::optional<Draft> draft = std::nullopt);
    // The caller keeps `document` alive and unchanged for as long as the registry lives.
    static RegistryInput borrowed(const Value& document, std::optional<Draft> draft = std::nullopt);
};

class Registry;

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

struct RegistryOptions {
    // In insertion order; a second input under the same URI text replaces the first.
    std::vector<std::pair<Uri, RegistryInput>> resources;
    std::shared_ptr<const Retriever> retriever = default_retriever();
    std::shared_ptr<const Registry> base;
    // Draft of inputs given without one, default draft of retrieved documents, and the draft whose
    // meta-schemas are added; Draft202012 when unset.
    std::optional<Draft> draft;

    void insert_resource(Uri uri, RegistryInput input);
};

RegistryOptions registry_options_default();
RegistryOptions registry_options_with_base(std::shared_ptr<const Registry> base);
RegistryOptions set_registry_retriever(RegistryOptions options, std::shared_ptr<const Retriever> retriever);

// What a lookup gives: a schema value inside the registry and its draft.
struct Resource {
    const Value* contents = nullptr;
    Draft draft = Draft::Draft202012;
};

class Registry {
public:
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Here, then in the parents.
    std::optional<Resource> find_resource(std::string_view uri) const;
    const Anchor* find_anchor(std::string_view uri, std::string_view name) const;
    bool knows_uri(std::string_view uri) const { return known_uris_.find(uri) != known_uris_.end(); }

    const SmallMap<ResourceEntry>& resources() const noexcept { return resources_; }
    const SmallMap<SmallMap<Anchor>>& anchors() const noexcept { return anchors_; }
    const Registry* parent() const noexcept { return parent_.get(); }
    ResolutionCache& cache() const noexcept { return cache_; }

private:
    Registry() = default;
    friend class RegistryBuilder;

    SmallMap<ResourceEntry> resources_;
    SmallMap<SmallMap<Anchor>> anchors_;
    std::unordered_set<std::string, TextHash, std::equal_to<>> known_uris_;
    std::shared_ptr<const Registry> parent_;
    mutable ResolutionCache cache_;
};

// Consumes the options. The registry refers to its parent and to borrowed inputs without
// copying them.
Result<std::shared_ptr<const Registry>, ReferenceError> build_registry(RegistryOptions options);

std::optional<Resource> registry_find_resource(const Registry& registry, std::string_view uri);

// resolve_uri through the registry's cache; a failure is ReferenceError::InvalidUri.
Result<UriRef, ReferenceError> resolve_uri_cached(const Registry& registry, const Uri& base,
                                                  std::string_view reference);

}  // namespace deririrore::referencing
