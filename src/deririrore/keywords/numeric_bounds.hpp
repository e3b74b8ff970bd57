#pragma once
// minimum, maximum, exclusiveMinimum, exclusiveMaximum, and the Draft4 pairing of a bound with
// its boolean exclusive keyword.
//
// A bound is decided exactly for numbers of any size: plain 64-bit integers on both sides
// compare as machine integers, everything else on the decimal digits and exponent of the two
// texts (no doubles, so 9007199254740993.0 meets the limit 9007199254740993).
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "deririrore/core/keyword.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/decimal.hpp"

namespace deririrore::keywords {

using core::Location;
using core::Value;

enum class BoundKeyword : std::uint8_t { Minimum, Maximum, ExclusiveMinimum, ExclusiveMaximum };

std::string_view bound_keyword_name(BoundKeyword keyword) noexcept;

// The limit as the cheapest exact form of its text, plus its decimal for every other instance.
class NumericLimitValue {
public:
    // None for a text outside the number grammar.
    static std::optional<NumericLimitValue> from_text(std::string_view text);

    // -1, 0 or 1 as the number text lies below, at or above the limit. A text outside the
    // number grammar lies above, or below when it begins with "-".
    int order_of(std::string_view text) const noexcept;

    std::optional<std::uint64_t> as_unsigned() const noexcept { return unsigned_; }
    std::optional<std::int64_t> as_signed() const noexcept { return signed_; }
    const OwnedDecimal& decimal() const noexcept { return decimal_; }

private:
    std::optional<std::uint64_t> unsigned_;
    std::optional<std::int64_t> signed_;
    OwnedDecimal decimal_;
};

class NumericBoundValidator final : public core::KeywordValidator {
public:
    NumericBoundValidator(BoundKeyword keyword, NumericLimitValue limit, Value limit_value, Location location)
        : keyword_(keyword), limit_(std::move(limit)), limit_value_(std::move(limit_value)), location_(std::move(location)) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_number(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    BoundKeyword keyword() const noexcept { return keyword_; }
    const NumericLimitValue& limit() const noexcept { return limit_; }
    // Whether a number text satisfies the bound.
    bool admits(std::string_view number_text) const noexcept;

private:
    BoundKeyword keyword_;
    NumericLimitValue limit_;
    Value limit_value_;
    Location location_;
};

// Draft4 `minimum` (`maximum`) beside `exclusiveMinimum` (`exclusiveMaximum`) true: the wrapped
// exclusive bound decides and reports; the trace names both keywords.
class Draft4ExclusiveBoundValidator final : public core::KeywordValidator {
public:
    Draft4ExclusiveBoundValidator(std::unique_ptr<NumericBoundValidator> inner, Location own_location)
        : inner_(std::move(inner)), own_location_(std::move(own_location)) {}

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate_at(const Value& instance, const core::LazyLocation& instance_path,
                                       const Location& instance_location, const core::RefChain* chain,
                                       core::EvaluationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return inner_->location(); }
    bool applies_to(const Value& instance) const override { return inner_->applies_to(instance); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const Location& own_location() const noexcept { return own_location_; }

private:
    std::unique_ptr<NumericBoundValidator> inner_;
    Location own_location_;
};

// Type (number) at the keyword's Location.
core::ValidationError build_bound_type_error(const Location& context_location, std::string_view keyword,
                                             const Value& value);

}  // namespace deririrore::keywords
