#include "deririrore/referencing/registry.hpp"

namespace deririrore::referencing {

Result<Value, ErrorSource> DefaultRetriever::retrieve(const Uri&) const {
    return make_unexpected(ErrorSource{std::string(kDefaultRetrieverMessage), "DefaultRetrieverError"});
}

const std::shared_ptr<const Retriever>& default_retriever() {
    static const std::shared_ptr<const Retriever> retriever = std::make_shared<const DefaultRetriever>();
    return retriever;
}

RegistryInput RegistryInput::owned(Value document, std::optional<Draft> draft) {
    return RegistryInput{std::make_shared<const Value>(std::move(document)), draft};
}

RegistryInput RegistryInput::shared(std::shared_ptr<const Value> document, std::optional<Draft> draft) {
    return RegistryInput{std::move(document), draft};
}

RegistryInput RegistryInput::borrowed(const Value& document, std::optional<Draft> draft) {
    // An aliasing pointer with no owner: the caller keeps the document alive.
    return RegistryInput{std::shared_ptr<const Value>(std::shared_ptr<const Value>(), &document), draft};
}

void RegistryOptions::insert_resource(Uri uri, RegistryInput input) {
    for (auto& [key, stored] : resources) {
        if (key.text() == uri.text()) {
            stored = std::move(input);
            return;
        }
    }
    resources.emplace_back(std::move(uri), std::move(input));
}

RegistryOptions registry_options_default() { return RegistryOptions{}; }

RegistryOptions registry_options_with_base(std::shared_ptr<const Registry> base) {
    RegistryOptions options;
    options.base = std::move(base);
    return options;
}

RegistryOptions set_registry_retriever(RegistryOptions options, std::shared_ptr<const Retriever> retriever) {
    options.retriever = std::move(retriever);
    return options;
}

std::optional<Resource> Registry::find_resource(std::string_view uri) const {
    for (const Registry* r = this; r != nullptr; r = r->parent_.get()) {
        if (const ResourceEntry* entry = r->resources_.get(uri)) return Resource{entry->contents.get(), entry->draft};
    }
    return std::nullopt;
}

const Anchor* Registry::find_anchor(std::string_view uri, std::string_view name) const {
    for (const Registry* r = this; r != nullptr; r = r->parent_.get()) {
        if (const SmallMap<Anchor>* inner = r->anchors_.get(uri)) {
            if (const Anchor* anchor = inner->get(name)) return anchor;
        }
    }
    return nullptr;
}

std::optional<Resource> registry_find_resource(const Registry& registry, std::string_view uri) {
    return registry.find_resource(uri);
}

Result<UriRef, ReferenceError> resolve_uri_cached(const Registry& registry, const Uri& base,
                                                  std::string_view reference) {
    return registry.cache().resolve(base, reference);
}

}  // namespace deririrore::referencing
