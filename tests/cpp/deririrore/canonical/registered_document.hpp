#pragma once
// A test document in a registry of its own, with a resolver at its root, as the analysis and
// the static walkers are called on documents.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "deririrore/canonical/walkers.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/value/json.hpp"

namespace deririrore::canonical::test_support {

inline value::Value json(std::string_view text) {
    auto parsed = value::parse_json(text);
    if (!parsed) throw std::runtime_error("bad test JSON: " + parsed.error().message);
    return std::move(*parsed);
}

struct RegisteredDocument {
    std::shared_ptr<const value::Value> root;
    std::shared_ptr<const referencing::Registry> registry;
    std::optional<Scope> scope;
    Draft draft;

    RegisteredDocument(std::string_view text, Draft draft)
        : root(std::make_shared<const value::Value>(json(text))), draft(draft) {
        auto uri = referencing::parse_uri("https://example.com/root.json");
        if (!uri) throw std::runtime_error("bad URI");
        auto shared = std::make_shared<const referencing::Uri>(std::move(*uri));
        referencing::RegistryOptions options;
        options.draft = engine_draft(draft);
        options.insert_resource(*shared, referencing::RegistryInput::shared(root, engine_draft(draft)));
        auto built = referencing::build_registry(std::move(options));
        if (!built) throw std::runtime_error(built.error().message());
        registry = *built;
        scope.emplace(*registry, shared);
    }
};

}  // namespace deririrore::canonical::test_support
