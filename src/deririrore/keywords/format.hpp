#pragma once
// `format`: asserted (a string without the format is invalid), only annotated, or ignored,
// depending on the options, the draft and the meta-schema's vocabularies. Built-in formats are
// checked by the format library; formats registered in the options win over built-in names.
//
// Every form's domain is strings: a non-string is valid and traced as not applicable. A
// registered format decides its own domain and its own validity for every instance, and its
// evaluation agrees with its validity test.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/options.hpp"
#include "deririrore/formats/formats.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

using core::SharedValue;
using formats::BuiltinFormat;

// The built-in format of a name under a draft; BuiltinFormat::None when the name is not built
// in there. "hostname" gives HostnameDraft4 under drafts 4 and 6.
BuiltinFormat format_id_from_name(Draft draft, std::string_view name) noexcept;

// 1 when the text has the built-in format, 0 when not, 2 when `format` is None. E-mail formats
// use the default e-mail settings; "regex" uses the per-thread cache.
std::uint8_t check_builtin_format(BuiltinFormat format, std::string_view text);
// A format kept by name because it is not built in: always 2, the text is not looked at.
std::uint8_t check_builtin_format(std::string_view unknown_name, std::string_view text) noexcept;

// The "regex" format with the cache of the current validation run.
bool check_regex_format(core::ValidationContext& ctx, std::string_view pattern);

// Whether the vocabularies in force make format assertion mandatory (format-assertion, or the
// 2019-09 format vocabulary).
bool vocabulary_asserts_format(const CompileContext& ctx);
// An unknown format name may be skipped: not when the vocabularies assert formats, otherwise as
// the options say.
bool should_ignore_unknown_format(const CompileContext& ctx);
// The compile error of an unknown, unignorable format name.
ValidationError build_unknown_format_error(const Location& location, Location instance_path, std::string message,
                                           const Value& instance);

// A built-in format, one class per format so the checker call is direct.
template <BuiltinFormat F>
class FormatValidator final : public core::KeywordValidator {
public:
    FormatValidator(Location location, SharedValue annotation, std::optional<formats::EmailOptions> email_options)
        : location_(std::move(location)), annotation_(std::move(annotation)), email_options_(email_options) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override {
        return !instance.is_string() || check(instance.as_string(), ctx);
    }
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    bool check(std::string_view text, core::ValidationContext& ctx) const;

private:
    Location location_;
    SharedValue annotation_;
    std::optional<formats::EmailOptions> email_options_;
};

// A format registered in the options.
class CustomFormatValidator final : public core::KeywordValidator {
public:
    CustomFormatValidator(std::string name, Location location, SharedValue annotation,
                          std::shared_ptr<const core::FormatChecker> checker)
        : name_(std::move(name)),
          location_(std::move(location)),
          annotation_(std::move(annotation)),
          checker_(std::move(checker)) {}

    bool is_valid(const Value& instance, core::ValidationContext&) const override { return checker_->check(instance); }
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return checker_->applies_to(instance); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

private:
    std::string name_;
    Location location_;
    SharedValue annotation_;
    std::shared_ptr<const core::FormatChecker> checker_;
};

// A keyword that only annotates strings with a kept value (`format` when not asserted, the
// content keywords from 2019-09 on). Always valid.
class AnnotationValidator final : public core::KeywordValidator {
public:
    AnnotationValidator(SharedValue value, Location location)
        : value_(std::move(value)), location_(std::move(location)) {}

    bool is_valid(const Value&, core::ValidationContext&) const override { return true; }
    std::optional<ValidationError> validate(const Value&, const core::LazyLocation&, const core::RefChain*,
                                            core::ValidationContext&) const override {
        return std::nullopt;
    }
    void iter_errors(const Value&, const core::LazyLocation&, const core::RefChain*, core::ValidationContext&,
                     core::ErrorSink&) const override {}
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation&, const core::RefChain*,
                                    core::EvaluationContext&) const override {
        core::EvaluationResult result;
        if (instance.is_string()) result.annotations = value_;
        return result;
    }
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext&) const override {
        tracer.emit(instance_path, location_,
                    instance.is_string() ? core::TraceOutcome::Passed : core::TraceOutcome::NotApplicable);
        return true;
    }
    const SharedValue& value() const noexcept { return value_; }

private:
    SharedValue value_;
    Location location_;
};

// The validator of a built-in format at `location`; e-mail formats keep `email_options`.
KeywordValidatorPtr build_format_validator(BuiltinFormat format, Location location,
                                           const std::optional<formats::EmailOptions>& email_options);

}  // namespace deririrore::keywords
