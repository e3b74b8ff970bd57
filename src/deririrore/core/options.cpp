#include "deririrore/core/options.hpp"

#include "deririrore/core/internal_error.hpp"
#include "deririrore/referencing/registry.hpp"

namespace deririrore::core {

namespace {

// Refuses every request, naming what would be needed to fetch by the URI's scheme.
class SchemeGatedRetriever final : public referencing::Retriever {
public:
    Result<Value, referencing::ErrorSource> retrieve(const referencing::Uri& uri) const override {
        const std::string_view scheme = uri.scheme();
        if (scheme == "http" || scheme == "https") {
            return make_unexpected(referencing::ErrorSource::text(
                "`resolve-http` feature or a custom resolver is required to resolve external schemas via HTTP"));
        }
        if (scheme == "file") {
            return make_unexpected(referencing::ErrorSource::text(
                "`resolve-file` feature or a custom resolver is required to resolve external schemas via files"));
        }
        return make_unexpected(referencing::ErrorSource::text("Unknown scheme " + std::string(scheme)));
    }
};

}  // namespace

std::shared_ptr<const referencing::Retriever> make_scheme_gated_retriever() {
    static const std::shared_ptr<const referencing::Retriever> retriever = std::make_shared<SchemeGatedRetriever>();
    return retriever;
}

ValidationOptions::ValidationOptions() : retriever_(make_scheme_gated_retriever()) {}

ValidationOptions default_validation_options() { return ValidationOptions(); }

ValidationOptions& ValidationOptions::with_draft(Draft draft) {
    if (draft == Draft::Unknown) {
        throw InternalError(
            "Draft::Unknown is internal-only and cannot be explicitly set. Custom meta-schemas are resolved "
            "automatically when registered in the Registry.");
    }
    draft_ = draft;
    return *this;
}

ValidationOptions& ValidationOptions::with_base_uri(std::string uri) {
    base_uri_ = std::move(uri);
    return *this;
}

ValidationOptions& ValidationOptions::with_retriever(std::shared_ptr<const referencing::Retriever> retriever) {
    retriever_ = std::move(retriever);
    return *this;
}

ValidationOptions& ValidationOptions::with_format(std::string name, std::shared_ptr<const FormatChecker> checker) {
    formats_.insert_or_assign(std::move(name), std::move(checker));
    return *this;
}

ValidationOptions& ValidationOptions::with_keyword(std::string name, std::shared_ptr<const KeywordFactory> factory) {
    keywords_.insert_or_assign(std::move(name), std::move(factory));
    return *this;
}

ValidationOptions& ValidationOptions::with_vocabulary(std::string uri) {
    vocabularies_.insert(std::move(uri));
    return *this;
}

ValidationOptions& ValidationOptions::with_registry(std::shared_ptr<const referencing::Registry> registry) {
    registry_ = std::move(registry);
    return *this;
}

ValidationOptions& ValidationOptions::with_validate_schema(bool on) {
    validate_schema_ = on;
    return *this;
}

ValidationOptions& ValidationOptions::with_ignore_unknown_formats(bool on) {
    ignore_unknown_formats_ = on;
    return *this;
}

ValidationOptions& ValidationOptions::with_validate_formats(std::optional<bool> on) {
    validate_formats_ = on;
    return *this;
}

ValidationOptions& ValidationOptions::with_pattern_options(PatternOptions options) {
    pattern_options_ = options;
    return *this;
}

ValidationOptions& ValidationOptions::with_email_options(std::optional<EmailOptions> options) {
    email_options_ = options;
    return *this;
}

ValidationOptions& ValidationOptions::with_content_media_type_check(std::string name, ContentCheck check) {
    content_media_type_checks_.insert_or_assign(std::move(name), std::move(check));
    return *this;
}

ValidationOptions& ValidationOptions::with_content_encoding_check(std::string name,
                                                                  std::optional<ContentEncodingFunctions> fns) {
    content_encoding_checks_.insert_or_assign(std::move(name), std::move(fns));
    return *this;
}

ValidationOptions& ValidationOptions::with_max_steps(std::uint64_t steps) {
    max_steps_ = steps;
    return *this;
}

ValidationOptions& ValidationOptions::with_max_depth(std::uint32_t depth) {
    max_depth_ = depth;
    return *this;
}

bool ValidationOptions::supports_vocabulary(std::string_view uri) const {
    return vocabularies_.find(uri) != vocabularies_.end();
}

ContentCheck ValidationOptions::content_media_type_check(std::string_view name) const {
    if (auto it = content_media_type_checks_.find(name); it != content_media_type_checks_.end()) return it->second;
    if (const auto* builtin = formats::find_builtin_content_media_type(name)) return builtin->check;
    return {};
}

ContentCheck ValidationOptions::content_encoding_check(std::string_view name) const {
    if (auto it = content_encoding_checks_.find(name); it != content_encoding_checks_.end()) {
        return it->second ? it->second->check : ContentCheck{};
    }
    if (const auto* builtin = formats::find_builtin_content_encoding(name)) return builtin->check;
    return {};
}

ContentDecode ValidationOptions::content_encoding_converter(std::string_view name) const {
    if (auto it = content_encoding_checks_.find(name); it != content_encoding_checks_.end()) {
        return it->second ? it->second->decode : ContentDecode{};
    }
    if (const auto* builtin = formats::find_builtin_content_encoding(name)) return builtin->decode;
    return {};
}

const KeywordFactory* ValidationOptions::keyword_factory(std::string_view name) const {
    if (keywords_.empty()) return nullptr;
    auto it = keywords_.find(name);
    return it == keywords_.end() ? nullptr : it->second.get();
}

std::shared_ptr<const FormatChecker> ValidationOptions::registered_format(std::string_view name) const {
    auto it = formats_.find(name);
    return it == formats_.end() ? nullptr : it->second;
}

}  // namespace deririrore::core
