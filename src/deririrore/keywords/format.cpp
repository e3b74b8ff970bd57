#include "deririrore/keywords/format.hpp"

#include <array>
#include <utility>

namespace deririrore::keywords {

using core::KnownVocabulary;
using formats::BuiltinFormat;

BuiltinFormat format_id_from_name(Draft draft, std::string_view name) noexcept {
    // A name outside its drafts is not built in there.
    const auto from = [&](BuiltinFormat format, Draft first) noexcept {
        return draft >= first ? format : BuiltinFormat::None;
    };
    switch (name.size()) {
        case 3:
            if (name == "iri") return from(BuiltinFormat::Iri, Draft::Draft7);
            if (name == "uri") return BuiltinFormat::Uri;
            break;
        case 4:
            if (name == "date") return BuiltinFormat::Date;
            if (name == "ipv4") return BuiltinFormat::Ipv4;
            if (name == "ipv6") return BuiltinFormat::Ipv6;
            if (name == "time") return BuiltinFormat::Time;
            if (name == "uuid") return from(BuiltinFormat::Uuid, Draft::Draft201909);
            break;
        case 5:
            if (name == "email") return BuiltinFormat::Email;
            if (name == "regex") return BuiltinFormat::Regex;
            break;
        case 8:
            if (name == "duration") return from(BuiltinFormat::Duration, Draft::Draft201909);
            if (name == "hostname") {
                return draft <= Draft::Draft6 ? BuiltinFormat::HostnameDraft4 : BuiltinFormat::Hostname;
            }
            break;
        case 9:
            if (name == "date-time") return BuiltinFormat::DateTime;
            if (name == "idn-email") return BuiltinFormat::IdnEmail;
            break;
        case 12:
            if (name == "idn-hostname") return from(BuiltinFormat::IdnHostname, Draft::Draft7);
            if (name == "json-pointer") return from(BuiltinFormat::JsonPointer, Draft::Draft6);
            if (name == "uri-template") return from(BuiltinFormat::UriTemplate, Draft::Draft6);
            break;
        case 13:
            if (name == "iri-reference") return from(BuiltinFormat::IriReference, Draft::Draft7);
            if (name == "uri-reference") return from(BuiltinFormat::UriReference, Draft::Draft6);
            break;
        case 21:
            if (name == "relative-json-pointer") return from(BuiltinFormat::RelativeJsonPointer, Draft::Draft7);
            break;
        default:
            break;
    }
    return BuiltinFormat::None;
}

std::uint8_t check_builtin_format(BuiltinFormat format, std::string_view text) {
    if (format == BuiltinFormat::None) return 2;
    return formats::check_builtin(format, text, nullptr) ? 1 : 0;
}

std::uint8_t check_builtin_format(std::string_view, std::string_view) noexcept { return 2; }

bool check_regex_format(core::ValidationContext& ctx, std::string_view pattern) {
    auto& cache = ctx.regex_cache();
    std::string key(pattern);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    const bool valid = formats::is_valid_regex_format(pattern);
    cache.emplace(std::move(key), valid);
    return valid;
}

bool vocabulary_asserts_format(const CompileContext& ctx) {
    return ctx.has_vocabulary(KnownVocabulary::FormatAssertion) || ctx.has_vocabulary(KnownVocabulary::Format);
}

bool should_ignore_unknown_format(const CompileContext& ctx) {
    return !vocabulary_asserts_format(ctx) && ctx.config().ignore_unknown_formats();
}

ValidationError build_unknown_format_error(const Location& location, Location instance_path, std::string message,
                                           const Value& instance) {
    return ValidationError(core::EvaluationPath{location}, core::kinds::Custom{"", std::move(message)}, instance,
                           std::move(instance_path), location);
}

template <BuiltinFormat F>
bool FormatValidator<F>::check(std::string_view text, core::ValidationContext& ctx) const {
    if constexpr (F == BuiltinFormat::Regex) {
        return check_regex_format(ctx, text);
    } else if constexpr (F == BuiltinFormat::Email || F == BuiltinFormat::IdnEmail) {
        const formats::EmailOptions* options = email_options_ ? &*email_options_ : nullptr;
        if constexpr (F == BuiltinFormat::Email) return formats::check_email(text, options);
        return formats::check_idn_email(text, options);
    } else {
        (void)ctx;
        return formats::check_builtin(F, text);
    }
}

template <BuiltinFormat F>
std::optional<ValidationError> FormatValidator<F>::validate(const Value& instance,
                                                            const core::LazyLocation& instance_path,
                                                            const core::RefChain* chain,
                                                            core::ValidationContext& ctx) const {
    if (!instance.is_string() || check(instance.as_string(), ctx)) return std::nullopt;
    return ValidationError::make(core::kinds::Format{std::string(formats::builtin_format_name(F))}, instance,
                                 instance_path, location_, chain);
}

template <BuiltinFormat F>
core::EvaluationResult FormatValidator<F>::evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                                    const core::RefChain* chain,
                                                    core::EvaluationContext& ctx) const {
    core::EvaluationResult result;
    if (!instance.is_string()) return result;
    if (auto error = validate(instance, instance_path, chain, ctx)) {
        result = core::EvaluationResult::invalid({core::error_keyword_and_message(*error)});
    }
    result.annotations = annotation_;
    return result;
}

template <BuiltinFormat F>
bool FormatValidator<F>::trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
                               core::TraceContext& ctx) const {
    if (!instance.is_string()) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = check(instance.as_string(), ctx);
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

std::optional<ValidationError> CustomFormatValidator::validate(const Value& instance,
                                                               const core::LazyLocation& instance_path,
                                                               const core::RefChain* chain,
                                                               core::ValidationContext&) const {
    if (checker_->check(instance)) return std::nullopt;
    return ValidationError::make(core::kinds::Format{name_}, instance, instance_path, location_, chain);
}

core::EvaluationResult CustomFormatValidator::evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                                       const core::RefChain* chain,
                                                       core::EvaluationContext& ctx) const {
    // The checker decides for every instance, as is_valid does; only strings carry the name.
    core::EvaluationResult result;
    if (auto error = validate(instance, instance_path, chain, ctx)) {
        result = core::EvaluationResult::invalid({core::error_keyword_and_message(*error)});
    }
    if (instance.is_string()) result.annotations = annotation_;
    return result;
}

bool CustomFormatValidator::trace(const Value& instance, const core::LazyLocation& instance_path,
                                  core::Tracer& tracer, core::TraceContext&) const {
    const bool valid = checker_->check(instance);
    const core::TraceOutcome outcome =
        checker_->applies_to(instance) ? core::outcome_of(valid) : core::TraceOutcome::NotApplicable;
    tracer.emit(instance_path, location_, outcome);
    return valid;
}

namespace {

using FormatBuilder = KeywordValidatorPtr (*)(Location, SharedValue, const std::optional<formats::EmailOptions>&);

template <BuiltinFormat F>
KeywordValidatorPtr make_format_validator(Location location, SharedValue annotation,
                                          const std::optional<formats::EmailOptions>& email_options) {
    std::optional<formats::EmailOptions> kept;
    if constexpr (F == BuiltinFormat::Email || F == BuiltinFormat::IdnEmail) kept = email_options;
    return std::make_unique<FormatValidator<F>>(std::move(location), std::move(annotation), kept);
}

constexpr std::size_t kBuiltinFormatCount = 20;

template <std::size_t... I>
constexpr std::array<FormatBuilder, kBuiltinFormatCount> make_builders(std::index_sequence<I...>) {
    return {&make_format_validator<static_cast<BuiltinFormat>(I)>...};
}

constexpr auto kBuilders = make_builders(std::make_index_sequence<kBuiltinFormatCount>{});

SharedValue string_value(std::string_view text) { return std::make_shared<const Value>(Value::string(std::string(text))); }

bool formats_asserted(const CompileContext& ctx) {
    if (auto configured = ctx.config().validate_formats()) return *configured;
    return ctx.draft() <= Draft::Draft7 || vocabulary_asserts_format(ctx);
}

}  // namespace

KeywordValidatorPtr build_format_validator(BuiltinFormat format, Location location,
                                           const std::optional<formats::EmailOptions>& email_options) {
    const auto id = static_cast<std::size_t>(format);
    if (id >= kBuiltinFormatCount) return nullptr;
    return kBuilders[id](std::move(location), string_value(formats::builtin_format_name(format)), email_options);
}

KeywordCompileResult compile_format(const CompileContext& ctx, const Value&, const Value& value) {
    Location location = ctx.keyword_location("format");
    if (!value.is_string()) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(value::JsonType::String), value, location));
    }
    const std::string& name = value.as_string();
    if (!formats_asserted(ctx)) {
        return KeywordValidatorPtr(std::make_unique<AnnotationValidator>(string_value(name), std::move(location)));
    }
    if (auto checker = ctx.config().registered_format(name)) {
        return KeywordValidatorPtr(
            std::make_unique<CustomFormatValidator>(name, std::move(location), string_value(name), std::move(checker)));
    }
    const BuiltinFormat id = format_id_from_name(ctx.draft(), name);
    if (id != BuiltinFormat::None) {
        std::optional<formats::EmailOptions> email_options;
        if (id == BuiltinFormat::Email || id == BuiltinFormat::IdnEmail) email_options = ctx.config().email_options();
        return build_format_validator(id, std::move(location), email_options);
    }
    if (should_ignore_unknown_format(ctx)) return no_validator();
    std::string message = "Unknown format: '" + name + "'. ";
    if (vocabulary_asserts_format(ctx)) {
        message +=
            "The meta-schema asserts formats, so unrecognized ones cannot be ignored. Register a check for it or "
            "disable format validation";
    } else {
        message += "Adjust configuration to ignore unrecognized formats";
    }
    return make_unexpected(build_unknown_format_error(location, Location(), std::move(message), value));
}

}  // namespace deririrore::keywords
