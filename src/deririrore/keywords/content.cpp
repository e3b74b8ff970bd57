#include "deririrore/keywords/content.hpp"

#include "deririrore/keywords/format.hpp"

namespace deririrore::keywords {

using core::TraceOutcome;
using formats::DecodeStatus;

template <class ErrorKind>
std::optional<ValidationError> ContentCheckValidator<ErrorKind>::validate(const Value& instance,
                                                                          const core::LazyLocation& instance_path,
                                                                          const core::RefChain* chain,
                                                                          core::ValidationContext&) const {
    if (!instance.is_string() || check_(instance.as_string())) return std::nullopt;
    return ValidationError::make(ErrorKind{name_}, instance, instance_path, location_, chain);
}

template <class ErrorKind>
bool ContentCheckValidator<ErrorKind>::trace(const Value& instance, const core::LazyLocation& instance_path,
                                             core::Tracer& tracer, core::TraceContext&) const {
    if (!instance.is_string()) {
        tracer.emit(instance_path, location_, TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = check_(instance.as_string());
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

template class ContentCheckValidator<core::kinds::ContentMediaType>;
template class ContentCheckValidator<core::kinds::ContentEncoding>;

bool ContentMediaTypeAndEncodingValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    if (!instance.is_string()) return true;
    const formats::DecodeResult decoded = decode_(instance.as_string());
    return decoded.status == DecodeStatus::Decoded && media_check_(decoded.bytes);
}

std::optional<ValidationError> ContentMediaTypeAndEncodingValidator::validate(const Value& instance,
                                                                              const core::LazyLocation& instance_path,
                                                                              const core::RefChain* chain,
                                                                              core::ValidationContext&) const {
    if (!instance.is_string()) return std::nullopt;
    formats::DecodeResult decoded = decode_(instance.as_string());
    switch (decoded.status) {
        case DecodeStatus::Undecodable:
            return ValidationError::make(core::kinds::ContentEncoding{encoding_}, instance, instance_path,
                                         encoding_location_, chain);
        case DecodeStatus::NotUtf8:
            return ValidationError::make(
                core::kinds::ContentNotUtf8{std::move(decoded.bytes), decoded.utf8_error},
                instance, instance_path, encoding_location_, chain);
        case DecodeStatus::Decoded:
            break;
    }
    if (media_check_(decoded.bytes)) return std::nullopt;
    return ValidationError::make(core::kinds::ContentMediaType{media_type_}, instance, instance_path,
                                 media_type_location_, chain);
}

bool ContentMediaTypeAndEncodingValidator::trace(const Value& instance, const core::LazyLocation& instance_path,
                                                 core::Tracer& tracer, core::TraceContext&) const {
    if (!instance.is_string()) {
        tracer.emit(instance_path, encoding_location_, TraceOutcome::NotApplicable);
        tracer.emit(instance_path, media_type_location_, TraceOutcome::NotApplicable);
        return true;
    }
    const formats::DecodeResult decoded = decode_(instance.as_string());
    if (decoded.status != DecodeStatus::Decoded) {
        tracer.emit(instance_path, encoding_location_, TraceOutcome::Failed);
        tracer.emit(instance_path, media_type_location_, TraceOutcome::NotApplicable);
        return false;
    }
    tracer.emit(instance_path, encoding_location_, TraceOutcome::Passed);
    const bool valid = media_check_(decoded.bytes);
    tracer.emit(instance_path, media_type_location_, core::outcome_of(valid));
    return valid;
}

namespace {

ValidationError string_type_error(const Value& value, const Location& location) {
    return ValidationError::compile_error(core::type_kind_single(value::JsonType::String), value, location);
}

KeywordCompileResult annotation(const Value& value, Location location) {
    return KeywordValidatorPtr(
        std::make_unique<AnnotationValidator>(std::make_shared<const Value>(value), std::move(location)));
}

}  // namespace

KeywordCompileResult compile_content_media_type(const CompileContext& ctx, const Value& parent, const Value& value) {
    Location location = ctx.keyword_location("contentMediaType");
    if (!value.is_string()) return make_unexpected(string_type_error(value, location));
    core::ContentCheck check = ctx.config().content_media_type_check(value.as_string());
    // A media type no registry knows switches the keyword off, and with it a sibling encoding.
    if (!check) return no_validator();
    const Value* encoding = parent.find("contentEncoding");
    if (encoding == nullptr) {
        return KeywordValidatorPtr(
            std::make_unique<ContentMediaTypeValidator>(value.as_string(), std::move(check), std::move(location)));
    }
    Location encoding_location = ctx.keyword_location("contentEncoding");
    if (!encoding->is_string()) return make_unexpected(string_type_error(*encoding, encoding_location));
    core::ContentDecode decode = ctx.config().content_encoding_converter(encoding->as_string());
    if (!decode) return no_validator();
    return KeywordValidatorPtr(std::make_unique<ContentMediaTypeAndEncodingValidator>(
        value.as_string(), encoding->as_string(), std::move(check), std::move(decode), ctx.location(),
        std::move(encoding_location), std::move(location)));
}

KeywordCompileResult compile_content_encoding(const CompileContext& ctx, const Value& parent, const Value& value) {
    // Beside a media type the pair is compiled by `contentMediaType`, whatever either value is.
    if (parent.contains("contentMediaType")) return no_validator();
    Location location = ctx.keyword_location("contentEncoding");
    if (!value.is_string()) return make_unexpected(string_type_error(value, location));
    core::ContentCheck check = ctx.config().content_encoding_check(value.as_string());
    if (!check) return no_validator();
    return KeywordValidatorPtr(
        std::make_unique<ContentEncodingValidator>(value.as_string(), std::move(check), std::move(location)));
}

KeywordCompileResult compile_content_media_type_annotation(const CompileContext& ctx, const Value&,
                                                           const Value& value) {
    if (!value.is_string()) return no_validator();
    return annotation(value, ctx.keyword_location("contentMediaType"));
}

KeywordCompileResult compile_content_encoding_annotation(const CompileContext& ctx, const Value&, const Value& value) {
    if (!value.is_string()) return no_validator();
    return annotation(value, ctx.keyword_location("contentEncoding"));
}

KeywordCompileResult compile_content_schema_annotation(const CompileContext& ctx, const Value& parent,
                                                       const Value& value) {
    if (!parent.contains("contentMediaType")) return no_validator();
    return annotation(value, ctx.keyword_location("contentSchema"));
}

}  // namespace deririrore::keywords
