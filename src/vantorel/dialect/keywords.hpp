#pragma once
// The OpenAPI keywords, added to the engine as custom keywords: `nullable` (and its Swagger
// spelling `x-nullable`), which forbids or allows null, and the advisory `example`, `default`
// and `examples`, which never fail an instance but whose checks are traced, so that coverage
// can tell whether the traffic matched the documented values.
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "deririrore/core/options.hpp"
#include "deririrore/value/value.hpp"

namespace vantorel::dialect {

using deririrore::Result;
using deririrore::core::CustomKeyword;
using deririrore::core::KeywordFactory;
using deririrore::core::LazyLocation;
using deririrore::core::Location;
using deririrore::core::ValidationError;
using deririrore::value::Value;

inline constexpr std::string_view kNullableNotBoolean = "`nullable` value should be boolean";
inline constexpr std::string_view kNullViolation = "instance is null but nullable=false";
inline constexpr std::string_view kExampleMismatch = "Example does not match";
inline constexpr std::string_view kExamplesMismatch = "No example matches";

class NullableKeyword final : public CustomKeyword {
public:
    NullableKeyword(bool nullable, bool string_null_is_null)
        : nullable_(nullable), string_null_is_null_(string_null_is_null) {}

    // JSON null, or, when parameters are decoded from text, exactly the string "null".
    bool counts_as_null(const Value& instance) const noexcept {
        return instance.is_null() || (string_null_is_null_ && instance.is_string() && instance.as_string() == "null");
    }
    bool is_valid(const Value& instance) const override { return nullable_ || !counts_as_null(instance); }
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path) const override;

    bool nullable() const noexcept { return nullable_; }
    bool string_null_is_null() const noexcept { return string_null_is_null_; }

private:
    bool nullable_;
    bool string_null_is_null_;
};

class ExampleKeyword final : public CustomKeyword {
public:
    explicit ExampleKeyword(Value example) : example_(std::move(example)) {}
    bool is_valid(const Value& instance) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path) const override;
    bool is_advisory() const override { return true; }

private:
    Value example_;
};

class ExamplesKeyword final : public CustomKeyword {
public:
    explicit ExamplesKeyword(std::vector<Value> examples) : examples_(std::move(examples)) {}
    // An empty list matches nothing.
    bool is_valid(const Value& instance) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path) const override;
    bool is_advisory() const override { return true; }

private:
    std::vector<Value> examples_;
};

// Factories are stateless and shared; each answers its keyword, or for `nullable` a compile
// error when the value is not a boolean.
std::shared_ptr<const KeywordFactory> example_keyword_factory();
std::shared_ptr<const KeywordFactory> examples_keyword_factory();
// `string_null_is_null`: whether the string "null" counts as null (parameters) or not (bodies).
std::shared_ptr<const KeywordFactory> nullable_keyword_factory(bool string_null_is_null);

}  // namespace vantorel::dialect
