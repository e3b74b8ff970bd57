#pragma once
// What a validator is built with, and the plug-in interfaces options carry: registered formats,
// custom keywords and the retriever for external documents. Compilation reads the options only
// through `CompilerConfig`, so that other option holders can drive the same compiler.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/formats/content.hpp"
#include "deririrore/formats/email.hpp"
#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/result.hpp"

namespace deririrore::referencing {
class Registry;
class Retriever;
}  // namespace deririrore::referencing

namespace deririrore::core {

using referencing::Draft;

struct PatternOptions {
    enum class Engine : std::uint8_t { Backtracking, Automaton };
    Engine engine = Engine::Backtracking;
    // Backtracking engine only; unset means the engine default of 1000000.
    std::optional<std::uint64_t> backtrack_limit;
    std::optional<std::uint64_t> size_limit;
    std::optional<std::uint64_t> dfa_size_limit;

    static PatternOptions backtracking() { return PatternOptions{}; }
    static PatternOptions automaton() {
        PatternOptions p;
        p.engine = Engine::Automaton;
        return p;
    }
};

using EmailOptions = formats::EmailOptions;

// Content checks answer whether a text satisfies the media type or encoding; decoders also
// produce the decoded bytes. An empty function means "no check".
using ContentCheck = std::function<bool(std::string_view)>;
using ContentDecode = std::function<formats::DecodeResult(std::string_view)>;
struct ContentEncodingFunctions {
    ContentCheck check;
    ContentDecode decode;
};

// A format added by the caller; shared and used from several threads.
class FormatChecker {
public:
    virtual ~FormatChecker() = default;
    virtual bool check(const Value& instance) const = 0;
    // An instance the format does not apply to passes and is traced as not applicable.
    virtual bool applies_to(const Value& instance) const { return instance.is_string(); }
};

// A keyword added by the caller, owned by its compiled keyword.
class CustomKeyword {
public:
    virtual ~CustomKeyword() = default;
    virtual std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path) const = 0;
    virtual bool is_valid(const Value& instance) const = 0;
    virtual std::vector<ValidationError> iter_errors(const Value& instance, const LazyLocation& instance_path) const {
        std::vector<ValidationError> out;
        if (auto e = validate(instance, instance_path)) out.push_back(std::move(*e));
        return out;
    }
    // An advisory keyword reports failures to the tracer but never makes the instance invalid.
    virtual bool is_advisory() const { return false; }
};

// Makes a custom keyword from its schema value; shared and used from several threads.
class KeywordFactory {
public:
    virtual ~KeywordFactory() = default;
    virtual Result<std::unique_ptr<CustomKeyword>, ValidationError> init(const Value& parent, const Value& value,
                                                                         const Location& location,
                                                                         std::string_view keyword) const = 0;
};

// The read-only view of the options that compilation uses.
class CompilerConfig {
public:
    virtual ~CompilerConfig() = default;
    virtual std::optional<bool> validate_formats() const = 0;
    virtual bool supports_vocabulary(std::string_view uri) const = 0;
    virtual bool ignore_unknown_formats() const = 0;
    virtual ContentCheck content_media_type_check(std::string_view name) const = 0;
    virtual ContentCheck content_encoding_check(std::string_view name) const = 0;
    virtual ContentDecode content_encoding_converter(std::string_view name) const = 0;
    virtual const KeywordFactory* keyword_factory(std::string_view name) const = 0;
    virtual std::shared_ptr<const FormatChecker> registered_format(std::string_view name) const = 0;
    virtual PatternOptions pattern_options() const = 0;
    virtual std::optional<EmailOptions> email_options() const = 0;
};

class ValidationOptions final : public CompilerConfig {
public:
    ValidationOptions();
    ValidationOptions(const ValidationOptions&) = default;
    ValidationOptions(ValidationOptions&&) noexcept = default;
    ValidationOptions& operator=(const ValidationOptions&) = default;
    ValidationOptions& operator=(ValidationOptions&&) noexcept = default;

    // Refuses the internal unknown draft: custom meta-schemas are found through the registry.
    ValidationOptions& with_draft(Draft draft);
    ValidationOptions& with_base_uri(std::string uri);
    ValidationOptions& with_retriever(std::shared_ptr<const referencing::Retriever> retriever);
    ValidationOptions& with_format(std::string name, std::shared_ptr<const FormatChecker> checker);
    ValidationOptions& with_keyword(std::string name, std::shared_ptr<const KeywordFactory> factory);
    ValidationOptions& with_vocabulary(std::string uri);
    // The base registry: the build's registry extends it, and custom meta-schemas are found in it.
    ValidationOptions& with_registry(std::shared_ptr<const referencing::Registry> registry);
    ValidationOptions& with_validate_schema(bool on);
    ValidationOptions& with_ignore_unknown_formats(bool on);
    ValidationOptions& with_validate_formats(std::optional<bool> on);
    ValidationOptions& with_pattern_options(PatternOptions options);
    ValidationOptions& with_email_options(std::optional<EmailOptions> options);
    // An entry without a function switches the built-in check of that name off.
    ValidationOptions& with_content_media_type_check(std::string name, ContentCheck check);
    ValidationOptions& with_content_encoding_check(std::string name, std::optional<ContentEncodingFunctions> fns);
    // How deeply schema nodes may nest along one validation path; deeper paths end in an error.
    ValidationOptions& with_max_depth(std::uint32_t depth);
    // How many schema nodes one validation call may enter in all; past it the call ends in an error.
    ValidationOptions& with_max_steps(std::uint64_t steps);

    std::optional<Draft> draft() const { return draft_; }
    const std::optional<std::string>& base_uri() const { return base_uri_; }
    const std::shared_ptr<const referencing::Retriever>& retriever() const { return retriever_; }
    const std::shared_ptr<const referencing::Registry>& registry() const { return registry_; }
    bool validate_schema() const { return validate_schema_; }
    std::uint32_t max_depth() const { return max_depth_; }
    std::uint64_t max_steps() const { return max_steps_; }
    const std::set<std::string, std::less<>>& vocabularies() const { return vocabularies_; }

    std::optional<bool> validate_formats() const override { return validate_formats_; }
    bool supports_vocabulary(std::string_view uri) const override;
    bool ignore_unknown_formats() const override { return ignore_unknown_formats_; }
    ContentCheck content_media_type_check(std::string_view name) const override;
    ContentCheck content_encoding_check(std::string_view name) const override;
    ContentDecode content_encoding_converter(std::string_view name) const override;
    const KeywordFactory* keyword_factory(std::string_view name) const override;
    std::shared_ptr<const FormatChecker> registered_format(std::string_view name) const override;
    PatternOptions pattern_options() const override { return pattern_options_; }
    std::optional<EmailOptions> email_options() const override { return email_options_; }

    bool has_custom_keywords() const { return !keywords_.empty(); }

private:
    PatternOptions pattern_options_;
    std::optional<std::string> base_uri_;
    std::optional<EmailOptions> email_options_;
    std::map<std::string, ContentCheck, std::less<>> content_media_type_checks_;
    std::map<std::string, std::optional<ContentEncodingFunctions>, std::less<>> content_encoding_checks_;
    std::shared_ptr<const referencing::Retriever> retriever_;
    std::map<std::string, std::shared_ptr<const FormatChecker>, std::less<>> formats_;
    std::map<std::string, std::shared_ptr<const KeywordFactory>, std::less<>> keywords_;
    std::set<std::string, std::less<>> vocabularies_;
    std::shared_ptr<const referencing::Registry> registry_;
    bool validate_schema_ = true;
    bool ignore_unknown_formats_ = true;
    std::optional<bool> validate_formats_;
    std::optional<Draft> draft_;
    std::uint32_t max_depth_ = kDefaultMaxDepth;
    std::uint64_t max_steps_ = kDefaultMaxSteps;
};

ValidationOptions default_validation_options();

// The options' default retriever: holds nothing and fetches nothing.
std::shared_ptr<const referencing::Retriever> make_scheme_gated_retriever();

}  // namespace deririrore::core
