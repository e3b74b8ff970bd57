#include <gtest/gtest.h>

#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/vocabulary.hpp"
#include "helpers.hpp"

namespace deririrore::referencing {
namespace {

using testing::json;

std::shared_ptr<const Registry> registry_with_meta(std::string_view meta) {
    RegistryOptions options;
    options.insert_resource(*parse_uri("https://example.com/meta"), RegistryInput::owned(json(meta)));
    auto registry = build_registry(std::move(options));
    if (!registry) throw std::runtime_error(registry.error().message());
    return *registry;
}

constexpr std::string_view kCustomDocument = R"({"$schema": "https://example.com/meta"})";

TEST(Vocabularies, DefaultsFollowTheDraftArgument) {
    auto empty = registry_with_meta("{}");
    EXPECT_EQ(find_vocabularies(*empty, Draft::Draft7, json("{}")).known_bits(), 0);
    EXPECT_EQ(find_vocabularies(*empty, Draft::Draft7, json(R"({"$schema": "http://json-schema.org/draft-07/schema#"})"))
                  .known_bits(),
              0);
    EXPECT_EQ(find_vocabularies(*empty, Draft::Draft201909, json("{}")).known_bits(), 155);
    EXPECT_EQ(find_vocabularies(*empty, Draft::Draft202012, json("{}")).known_bits(), 223);
    EXPECT_EQ(find_vocabularies(*empty, Draft::Draft202012,
                                json(R"({"$schema": "https://json-schema.org/draft/2019-09/schema"})"))
                  .known_bits(),
              223);
    for (int bit = 0; bit <= 8; ++bit)
        EXPECT_FALSE(default_vocabularies(Draft::Draft6).contains(static_cast<VocabularyKind>(bit)));
}

TEST(Vocabularies, ReadFromACustomMetaSchema) {
    struct Case {
        std::string_view name;
        std::string_view meta;
        std::uint16_t known;
        std::vector<std::string> custom;
    };
    const Case cases[] = {
        {"known identifiers",
         R"({"$vocabulary": {"https://json-schema.org/draft/2020-12/vocab/core": true,
                             "https://json-schema.org/draft/2020-12/vocab/validation": false,
                             "https://json-schema.org/draft/2020-12/vocab/format-assertion": false}})",
         (1 << 0) | (1 << 8), {}},
        {"http forms are custom",
         R"({"$vocabulary": {"http://json-schema.org/draft/2020-12/vocab/core": true,
                             "http://json-schema.org/draft/2020-12/vocab/validation": false,
                             "http://json-schema.org/draft/2020-12/vocab/format-assertion": false}})",
         0, {"http://json-schema.org/draft/2020-12/vocab/core"}},
        {"unparsable key", R"({"$vocabulary": {"not a uri": true}})", 223, {}},
        {"relative key", R"({"$vocabulary": {"mine": true}})", 0, {"json-schema:///mine"}},
        {"2019-09 identifier", R"({"$id": "https://json-schema.org/draft/2019-09/schema", "$vocabulary": {}})", 155, {}},
        {"http 2019-09 identifier is read",
         R"({"$id": "http://json-schema.org/draft/2019-09/schema", "$vocabulary": {"https://json-schema.org/draft/2019-09/vocab/core": true}})",
         1, {}},
        {"no $vocabulary", R"({"type": "object"})", 223, {}},
    };
    for (const auto& c : cases) {
        auto registry = registry_with_meta(c.meta);
        const VocabularySet set = find_vocabularies(*registry, Draft::Unknown, json(kCustomDocument));
        EXPECT_EQ(set.known_bits(), c.known) << c.name;
        EXPECT_EQ(set.custom(), c.custom) << c.name;
    }
    auto registry = registry_with_meta(R"({"$vocabulary": {"https://example.com/v": true}})");
    const VocabularySet set = find_vocabularies(*registry, Draft::Unknown, json(kCustomDocument));
    EXPECT_TRUE(vocabulary_set_contains(set, Vocabulary::custom("https://example.com/v")));
    EXPECT_FALSE(vocabulary_set_contains(set, Vocabulary::custom("https://example.com/v#")));
}

TEST(Vocabularies, ResourceVocabulariesUseTheDocumentUnderTheBase) {
    RegistryOptions options;
    options.insert_resource(*parse_uri("https://example.com/meta"),
                            RegistryInput::owned(json(R"({"$vocabulary": {"https://json-schema.org/draft/2020-12/vocab/core": true}})")));
    options.insert_resource(*parse_uri("https://example.com/doc"), RegistryInput::owned(json(kCustomDocument)));
    auto registry = build_registry(std::move(options));
    ASSERT_TRUE(registry) << registry.error().message();
    EXPECT_EQ(resource_vocabularies(**registry, "https://example.com/doc", Draft::Unknown, json("{}")).known_bits(), 1);
    EXPECT_EQ(resource_vocabularies(**registry, "https://example.com/doc", Draft::Unknown,
                                    json(R"({"$schema": "https://example.com/other"})"))
                  .known_bits(),
              223);
}

}  // namespace
}  // namespace deririrore::referencing
