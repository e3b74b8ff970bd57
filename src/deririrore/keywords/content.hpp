#pragma once
// `contentMediaType`, `contentEncoding` and `contentSchema`. Under drafts 6 and 7 the first two
// assert: a string must decode with the named encoding and its (decoded) text must be of the
// named media type; a name that no registry knows is not checked at all. From 2019-09 on the
// three only annotate strings. The domain is strings.
#include <optional>
#include <string>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/options.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

// `contentMediaType` or `contentEncoding` alone: a check on strings; a failure reports its
// keyword's kind of error, which names the media type or encoding.
template <class ErrorKind>
class ContentCheckValidator final : public core::KeywordValidator {
public:
    ContentCheckValidator(std::string name, core::ContentCheck check, Location location)
        : name_(std::move(name)), check_(std::move(check)), location_(std::move(location)) {}

    bool is_valid(const Value& instance, core::ValidationContext&) const override {
        return !instance.is_string() || check_(instance.as_string());
    }
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

private:
    std::string name_;
    core::ContentCheck check_;
    Location location_;
};

extern template class ContentCheckValidator<core::kinds::ContentMediaType>;
extern template class ContentCheckValidator<core::kinds::ContentEncoding>;
using ContentMediaTypeValidator = ContentCheckValidator<core::kinds::ContentMediaType>;
using ContentEncodingValidator = ContentCheckValidator<core::kinds::ContentEncoding>;

// Both: the string is decoded first and the media type checked on the decoded text. Failures
// of the decoding stand at the `contentEncoding` Location, of the media type at the
// `contentMediaType` Location; the validator itself stands at the schema object's Location.
class ContentMediaTypeAndEncodingValidator final : public core::KeywordValidator {
public:
    ContentMediaTypeAndEncodingValidator(std::string media_type, std::string encoding, core::ContentCheck media_check,
                                         core::ContentDecode decode, Location schema_location,
                                         Location encoding_location, Location media_type_location)
        : media_type_(std::move(media_type)),
          encoding_(std::move(encoding)),
          media_check_(std::move(media_check)),
          decode_(std::move(decode)),
          schema_location_(std::move(schema_location)),
          encoding_location_(std::move(encoding_location)),
          media_type_location_(std::move(media_type_location)) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    const Location& location() const override { return schema_location_; }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

private:
    std::string media_type_;
    std::string encoding_;
    core::ContentCheck media_check_;
    core::ContentDecode decode_;
    Location schema_location_;
    Location encoding_location_;
    Location media_type_location_;
};

}  // namespace deririrore::keywords
