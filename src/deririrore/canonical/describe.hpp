#pragma once
// One-line English sentences for validation failures, shown to users in place of the
// validator's own message: which property, what was expected, what was found.
#include <optional>
#include <string>
#include <string_view>

#include "deririrore/core/validation_error.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

// "`age` must be at least 0; found -3", "The value is missing `id`", ...
std::string describe_expectation(const core::ValidationError& error);
// The same, reading the location through the instance it was taken in, so that
// only steps into arrays count as indexes (a property named "200" is a name).
std::string describe_expectation(const core::ValidationError& error, const value::Value& root_instance);

// What an error of this kind expected, in words; none for kinds that have no phrase.
std::optional<std::string> expectation_phrase(const core::ValidationErrorKind& kind);

// A short stand-in for a value whose compact JSON text `text` is too long to show.
std::string summarize_long_value(const value::Value& v, std::string_view text);

}  // namespace deririrore::canonical
