#pragma once
// multipleOf: whether a number instance is an integer multiple of the divisor, decided exactly
// on the decimal texts (0.3 is a multiple of 0.1; 4.0000000000000000001 is not one of 2).
#include <cstdint>
#include <optional>

#include "deririrore/core/keyword.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/decimal.hpp"

namespace deririrore::keywords {

using core::Location;
using core::Value;

class MultipleOfValidator final : public core::KeywordValidator {
public:
    // `divisor_value` is the keyword value (a number), carried into errors as written.
    MultipleOfValidator(Value divisor_value, OwnedDecimal divisor, Location location);

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_number(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    // Whether a number text is a multiple of the divisor.
    bool admits(std::string_view number_text) const;

private:
    Value divisor_value_;
    OwnedDecimal divisor_;
    // The divisor's magnitude when it is a non-zero whole number below 2^64: plain integer
    // instances then take one machine remainder.
    std::optional<std::uint64_t> machine_divisor_;
    Location location_;
};

}  // namespace deririrore::keywords
