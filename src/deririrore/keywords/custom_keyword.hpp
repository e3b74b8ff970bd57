#pragma once
// The adapter that runs a keyword registered by the caller (through a `KeywordFactory` in the
// options) as one more keyword validator of the compiled schema: it routes the operations to the
// `CustomKeyword`, restates its errors at the compiled schema's locations, and traces one event
// per check. An advisory keyword counts its failures in the trace but never fails an instance.
#include <memory>
#include <string>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/options.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

class CustomKeywordValidator final : public core::KeywordValidator {
public:
    CustomKeywordValidator(std::string name, std::unique_ptr<core::CustomKeyword> keyword, Location location)
        : name_(std::move(name)), keyword_(std::move(keyword)), location_(std::move(location)) {}

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const std::string& name() const noexcept { return name_; }

private:
    std::string name_;
    std::unique_ptr<core::CustomKeyword> keyword_;
    Location location_;
};

// The custom keyword's error restated: a Custom kind takes the registered keyword name (its
// message stays), any other kind is kept; the instance, its path and the schema path become the
// adapter's; the result owns its instance.
ValidationError wrap_custom_keyword_error(ValidationError error, const Value& instance,
                                          const core::LazyLocation& instance_path, const Location& location,
                                          std::string_view name);

// What the node compiler calls for a member whose name has a registered factory.
KeywordValidatorPtr make_custom_keyword_validator(std::string name, std::unique_ptr<core::CustomKeyword> keyword,
                                                  Location location);

}  // namespace deririrore::keywords
