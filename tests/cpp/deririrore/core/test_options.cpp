// Build options that reach into a base registry: custom meta-schemas choose the draft and may
// require vocabularies that the caller has to declare.
#include <gtest/gtest.h>

#include "deririrore/referencing/registry.hpp"
#include "support.hpp"

namespace deririrore::core {
namespace {

using testing::json;
using testing::located;

std::shared_ptr<const referencing::Registry> registry_of(
    std::vector<std::pair<std::string, std::string>> documents) {
    auto options = referencing::registry_options_default();
    for (auto& [uri, text] : documents) {
        options.insert_resource(*referencing::parse_uri(uri), referencing::RegistryInput::owned(json(text)));
    }
    auto built = referencing::build_registry(std::move(options));
    if (!built) throw std::runtime_error(built.error().message());
    return *built;
}

TEST(CustomMetaSchemas, ChainLeadsToAKnownDraft) {
    auto registry = registry_of({
        {"urn:meta:outer", R"({"$schema": "urn:meta:inner"})"},
        {"urn:meta:inner", R"({"$schema": "http://json-schema.org/draft-07/schema#"})"},
    });
    const Value schema = json(R"({"$schema": "urn:meta:outer#", "type": "string"})");
    auto draft = resolve_draft(schema, ValidationOptions().with_registry(registry));
    ASSERT_TRUE(draft);
    EXPECT_EQ(*draft, Draft::Draft7);
    // Without the registry the draft stays the internal unknown one.
    auto alone = resolve_draft(schema, ValidationOptions());
    ASSERT_TRUE(alone);
    EXPECT_EQ(*alone, Draft::Unknown);
}

TEST(CustomMetaSchemas, CircularChainIsAnError) {
    auto registry = registry_of({
        {"urn:meta:a", R"({"$schema": "urn:meta:b"})"},
        {"urn:meta:b", R"({"$schema": "urn:meta:a"})"},
    });
    auto draft = resolve_draft(json(R"({"$schema": "urn:meta:a"})"), ValidationOptions().with_registry(registry));
    ASSERT_FALSE(draft);
    EXPECT_EQ(draft.error().message(), "Circular meta-schema reference detected at 'urn:meta:a'");
}

TEST(CustomMetaSchemas, RequiredCustomVocabularyMustBeDeclared) {
    auto registry = registry_of({
        {"urn:meta:vocab", R"({"$schema": "https://json-schema.org/draft/2020-12/schema",
                              "$vocabulary": {"https://json-schema.org/draft/2020-12/vocab/core": true,
                                              "https://json-schema.org/draft/2020-12/vocab/validation": true,
                                              "urn:vocab:extra": true}})"},
    });
    const Value schema = json(R"({"$schema": "urn:meta:vocab", "type": "string"})");
    auto refused = build_validator(schema, ValidationOptions().with_registry(registry));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message(),
              located("Unknown vocabulary: 'urn:vocab:extra' is required by the meta-schema. Adjust configuration to "
                      "declare support for it",
                      ""));
    auto accepted =
        build_validator(schema, ValidationOptions().with_registry(registry).with_vocabulary("urn:vocab:extra"));
    ASSERT_TRUE(accepted) << accepted.error().message();
    EXPECT_FALSE(accepted->is_valid(json("1")));
}

}  // namespace
}  // namespace deririrore::core
