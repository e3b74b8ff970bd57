#pragma once
// Size limits: minLength/maxLength (characters of a string), minItems/maxItems (items of an
// array), minProperties/maxProperties (members of an object). minLength and maxLength side by
// side fuse into one validator that counts once and still reports both keywords.
#include <cstdint>
#include <optional>
#include <string_view>

#include "deririrore/core/keyword.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

using core::Location;
using core::Value;

enum class SizeKeyword : std::uint8_t { MinLength, MaxLength, MinItems, MaxItems, MinProperties, MaxProperties };

// Unicode scalar values of a UTF-8 text: the bytes that are not continuation bytes.
std::uint64_t count_characters(std::string_view text) noexcept;

template <SizeKeyword K>
class SizeLimitValidator final : public core::KeywordValidator {
public:
    SizeLimitValidator(Location location, std::uint64_t limit) : location_(std::move(location)), limit_(limit) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override;
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    std::uint64_t limit() const noexcept { return limit_; }

private:
    Location location_;
    std::uint64_t limit_;
};

using MinLengthValidator = SizeLimitValidator<SizeKeyword::MinLength>;
using MaxLengthValidator = SizeLimitValidator<SizeKeyword::MaxLength>;
using MinItemsValidator = SizeLimitValidator<SizeKeyword::MinItems>;
using MaxItemsValidator = SizeLimitValidator<SizeKeyword::MaxItems>;
using MinPropertiesValidator = SizeLimitValidator<SizeKeyword::MinProperties>;
using MaxPropertiesValidator = SizeLimitValidator<SizeKeyword::MaxProperties>;

// minLength and maxLength of one schema object; `location` is the minLength Location.
class LengthRangeValidator final : public core::KeywordValidator {
public:
    LengthRangeValidator(Location min_location, Location max_location, std::uint64_t minimum, std::uint64_t maximum,
                         core::AbsoluteLocation max_absolute)
        : min_location_(std::move(min_location)),
          max_location_(std::move(max_location)),
          minimum_(minimum),
          maximum_(maximum),
          max_absolute_(std::move(max_absolute)) {}

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return min_location_; }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    std::uint64_t minimum() const noexcept { return minimum_; }
    std::uint64_t maximum() const noexcept { return maximum_; }

private:
    core::ValidationError min_error(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain) const;
    core::ValidationError max_error(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain) const;

    Location min_location_;
    Location max_location_;
    std::uint64_t minimum_;
    std::uint64_t maximum_;
    core::AbsoluteLocation max_absolute_;
};

// The limit of a size keyword: a non-negative integer. Digits beyond 64 bits saturate; outside
// Draft4 a whole number written with a fraction or exponent (2.0, 1e2) is accepted too.
std::optional<std::uint64_t> read_size_limit(const Value& value, referencing::Draft draft);
// The compile error for a value that is not a usable limit: Minimum 0 for a negative plain
// integer, Type (integer) for anything else.
core::ValidationError build_limit_value_error(const Value& value, const Location& keyword_location);

}  // namespace deririrore::keywords
