#include "deririrore/referencing/vocabulary.hpp"

#include <algorithm>

#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/uri.hpp"

namespace deririrore::referencing {

namespace {

constexpr std::uint16_t bit(VocabularyKind kind) { return static_cast<std::uint16_t>(1u << static_cast<unsigned>(kind)); }

constexpr std::uint16_t kDefault201909 = bit(VocabularyKind::Core) | bit(VocabularyKind::Applicator) |
                                         bit(VocabularyKind::Validation) | bit(VocabularyKind::MetaData) |
                                         bit(VocabularyKind::Content);
constexpr std::uint16_t kDefault202012 = bit(VocabularyKind::Core) | bit(VocabularyKind::Applicator) |
                                         bit(VocabularyKind::Unevaluated) | bit(VocabularyKind::Validation) |
                                         bit(VocabularyKind::MetaData) | bit(VocabularyKind::FormatAnnotation) |
                                         bit(VocabularyKind::Content);
static_assert(kDefault201909 == 155 && kDefault202012 == 223);

struct KnownIdentifier {
    std::string_view identifier;
    VocabularyKind kind;
};

constexpr KnownIdentifier kIdentifiers[] = {
    {"https://json-schema.org/draft/2020-12/vocab/core", VocabularyKind::Core},
    {"https://json-schema.org/draft/2020-12/vocab/applicator", VocabularyKind::Applicator},
    {"https://json-schema.org/draft/2020-12/vocab/unevaluated", VocabularyKind::Unevaluated},
    {"https://json-schema.org/draft/2020-12/vocab/validation", VocabularyKind::Validation},
    {"https://json-schema.org/draft/2020-12/vocab/meta-data", VocabularyKind::MetaData},
    {"https://json-schema.org/draft/2020-12/vocab/format", VocabularyKind::Format},
    {"https://json-schema.org/draft/2020-12/vocab/format-annotation", VocabularyKind::FormatAnnotation},
    {"https://json-schema.org/draft/2020-12/vocab/format-assertion", VocabularyKind::FormatAssertion},
    {"https://json-schema.org/draft/2020-12/vocab/content", VocabularyKind::Content},
    {"https://json-schema.org/draft/2019-09/vocab/core", VocabularyKind::Core},
    {"https://json-schema.org/draft/2019-09/vocab/applicator", VocabularyKind::Applicator},
    {"https://json-schema.org/draft/2019-09/vocab/validation", VocabularyKind::Validation},
    {"https://json-schema.org/draft/2019-09/vocab/meta-data", VocabularyKind::MetaData},
    {"https://json-schema.org/draft/2019-09/vocab/format", VocabularyKind::Format},
    {"https://json-schema.org/draft/2019-09/vocab/content", VocabularyKind::Content},
};

}  // namespace

std::optional<VocabularyKind> known_vocabulary(std::string_view identifier) noexcept {
    for (const auto& known : kIdentifiers) {
        if (known.identifier == identifier) return known.kind;
    }
    return std::nullopt;
}

bool VocabularySet::contains(VocabularyKind kind) const noexcept {
    if (kind == VocabularyKind::Custom) return false;
    return (known_ & bit(kind)) != 0;
}

bool VocabularySet::contains_custom(std::string_view uri) const noexcept {
    return std::find(custom_.begin(), custom_.end(), uri) != custom_.end();
}

bool VocabularySet::contains(const Vocabulary& vocabulary) const noexcept {
    if (vocabulary.kind == VocabularyKind::Custom) return contains_custom(vocabulary.uri);
    return contains(vocabulary.kind);
}

void VocabularySet::insert(const Vocabulary& vocabulary) {
    if (vocabulary.kind != VocabularyKind::Custom) {
        known_ |= bit(vocabulary.kind);
    } else if (!contains_custom(vocabulary.uri)) {
        custom_.push_back(vocabulary.uri);
    }
}

VocabularySet default_vocabularies(Draft draft) {
    switch (draft) {
        case Draft::Draft4:
        case Draft::Draft6:
        case Draft::Draft7:
            return VocabularySet();
        case Draft::Draft201909:
            return VocabularySet(kDefault201909);
        case Draft::Draft202012:
        case Draft::Unknown:
            break;
    }
    return VocabularySet(kDefault202012);
}

VocabularySet find_vocabularies(const Registry& registry, Draft draft, const Value& contents) {
    Draft named = draft;
    if (contents.is_object()) {
        if (const Value* schema = contents.find("$schema"); schema != nullptr && schema->is_string())
            named = draft_from_url(schema->as_string());
    }
    if (named != Draft::Unknown) return default_vocabularies(draft);

    const VocabularySet fallback = default_vocabularies(Draft::Draft202012);
    auto schema_text = string_member(contents, "$schema");
    if (!schema_text) return fallback;
    auto parsed = parse_uri(*schema_text);
    if (!parsed) return fallback;
    auto meta = registry.find_resource(parsed->without_fragment_view());
    if (!meta) return fallback;
    const Value& meta_schema = *meta->contents;
    if (auto id = string_member(meta_schema, "$id")) {
        if (*id == kDraft202012Id || *id == kUnversionedId) return fallback;
        if (*id == kDraft201909Id) return default_vocabularies(Draft::Draft201909);
        // The https forms of the draft 7, 6 and 4 identifiers.
        if (*id == "https://json-schema.org/draft-07/schema" || *id == "https://json-schema.org/draft-06/schema" ||
            *id == "https://json-schema.org/draft-04/schema")
            return fallback;
    }
    const Value* declared = meta_schema.is_object() ? meta_schema.find("$vocabulary") : nullptr;
    if (declared == nullptr || !declared->is_object()) return fallback;
    VocabularySet set;
    for (const auto& member : declared->as_object()) {
        Vocabulary vocabulary;
        if (auto kind = known_vocabulary(member.key)) {
            vocabulary = Vocabulary::known(*kind);
        } else {
            auto uri = parse_uri(member.key);
            if (!uri) return fallback;
            vocabulary = Vocabulary::custom(uri->text());
        }
        const bool required = member.value.is_bool() && member.value.as_bool();
        if (required || vocabulary.kind == VocabularyKind::FormatAssertion) set.insert(vocabulary);
    }
    return set;
}

VocabularySet resource_vocabularies(const Registry& registry, std::string_view base, Draft draft,
                                    const Value& contents) {
    if (contents.is_object() && contents.find("$schema") != nullptr) return find_vocabularies(registry, draft, contents);
    if (auto resource = registry.find_resource(base)) return find_vocabularies(registry, draft, *resource->contents);
    return find_vocabularies(registry, draft, contents);
}

}  // namespace deririrore::referencing
