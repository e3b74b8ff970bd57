#include "deririrore/keywords/custom_keyword.hpp"

#include <variant>

namespace deririrore::keywords {

using core::LazyLocation;
using core::RefChain;

ValidationError wrap_custom_keyword_error(ValidationError error, const Value& instance,
                                          const LazyLocation& instance_path, const Location& location,
                                          std::string_view name) {
    core::ValidationErrorKind kind = std::move(error.kind());
    if (auto* custom = std::get_if<core::kinds::Custom>(&kind)) custom->keyword = std::string(name);
    ValidationError rebuilt(core::EvaluationPath{}, std::move(kind), instance, core::location_from_lazy(instance_path),
                            location);
    return core::error_into_owned(std::move(rebuilt));
}

bool CustomKeywordValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    return keyword_->is_advisory() || keyword_->is_valid(instance);
}

std::optional<ValidationError> CustomKeywordValidator::validate(const Value& instance,
                                                                const LazyLocation& instance_path,
                                                                const RefChain*, core::ValidationContext&) const {
    if (keyword_->is_advisory()) return std::nullopt;
    auto error = keyword_->validate(instance, instance_path);
    if (!error) return std::nullopt;
    return wrap_custom_keyword_error(std::move(*error), instance, instance_path, location_, name_);
}

void CustomKeywordValidator::iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain*,
                                         core::ValidationContext&, core::ErrorSink& sink) const {
    if (keyword_->is_advisory()) return;
    for (auto& error : keyword_->iter_errors(instance, instance_path)) {
        sink.push_back(wrap_custom_keyword_error(std::move(error), instance, instance_path, location_, name_));
    }
}

bool CustomKeywordValidator::trace(const Value& instance, const LazyLocation& instance_path, core::Tracer& tracer,
                                   core::TraceContext&) const {
    // Asked also for an advisory keyword, so that its failures are counted.
    const bool valid = keyword_->is_valid(instance);
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid || keyword_->is_advisory();
}

KeywordValidatorPtr make_custom_keyword_validator(std::string name, std::unique_ptr<core::CustomKeyword> keyword,
                                                  Location location) {
    return std::make_unique<CustomKeywordValidator>(std::move(name), std::move(keyword), std::move(location));
}

}  // namespace deririrore::keywords
