#pragma once
// uniqueItems: true requires the items of an array to be pairwise different under value
// equality with exact numbers ([1, 1.0] repeats an item).
#include <optional>

#include "deririrore/core/keyword.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::keywords {

using core::Location;
using core::Value;

class UniqueItemsValidator final : public core::KeywordValidator {
public:
    explicit UniqueItemsValidator(Location location) : location_(std::move(location)) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_array(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

private:
    Location location_;
};

}  // namespace deririrore::keywords
