#pragma once
// The vocabularies in force for a schema resource: from the draft's defaults, or read from the
// "$vocabulary" member of a custom meta-schema held in the registry.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::referencing {

class Registry;

// Bit positions of the known vocabularies.
enum class VocabularyKind : std::uint8_t {
    Core = 0,
    Applicator = 1,
    Unevaluated = 2,
    Validation = 3,
    MetaData = 4,
    Format = 5,
    FormatAnnotation = 6,
    Content = 7,
    FormatAssertion = 8,
    Custom = 255,
};

struct Vocabulary {
    VocabularyKind kind = VocabularyKind::Core;
    // The absolute URI of a custom vocabulary; empty for known ones.
    std::string uri;

    static Vocabulary known(VocabularyKind kind) { return Vocabulary{kind, {}}; }
    static Vocabulary custom(std::string uri) { return Vocabulary{VocabularyKind::Custom, std::move(uri)}; }
};

// The known vocabulary a published identifier names (https scheme only), if any.
std::optional<VocabularyKind> known_vocabulary(std::string_view identifier) noexcept;

class VocabularySet {
public:
    VocabularySet() = default;
    explicit VocabularySet(std::uint16_t known_bits) : known_(known_bits) {}

    std::uint16_t known_bits() const noexcept { return known_; }
    // Custom vocabulary URIs in the order they were added, each once.
    const std::vector<std::string>& custom() const noexcept { return custom_; }

    bool contains(VocabularyKind kind) const noexcept;
    bool contains_custom(std::string_view uri) const noexcept;
    bool contains(const Vocabulary& vocabulary) const noexcept;
    void insert(const Vocabulary& vocabulary);

    friend bool operator==(const VocabularySet&, const VocabularySet&) = default;

private:
    std::uint16_t known_ = 0;
    std::vector<std::string> custom_;
};

VocabularySet default_vocabularies(Draft draft);
// The set for a document whose root is `contents`, read under `draft`.
VocabularySet find_vocabularies(const Registry& registry, Draft draft, const Value& contents);
// The set for a subschema read under `draft` with the base URI `base`.
VocabularySet resource_vocabularies(const Registry& registry, std::string_view base, Draft draft, const Value& contents);
inline bool vocabulary_set_contains(const VocabularySet& set, const Vocabulary& vocabulary) {
    return set.contains(vocabulary);
}

}  // namespace deririrore::referencing
