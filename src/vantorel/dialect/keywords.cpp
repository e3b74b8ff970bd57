#include "vantorel/dialect/keywords.hpp"

#include <string>

#include "deririrore/value/cmp.hpp"

namespace vantorel::dialect {

namespace {

namespace kinds = deririrore::core::kinds;

// Locations stay empty: the custom-keyword adapter restates the error at its own.
ValidationError keyword_error(const Value& instance, std::string_view message) {
    return ValidationError(deririrore::core::EvaluationPath{}, kinds::Custom{"", std::string(message)}, instance,
                           Location(), Location());
}

class ExampleFactory final : public KeywordFactory {
public:
    Result<std::unique_ptr<CustomKeyword>, ValidationError> init(const Value&, const Value& value, const Location&,
                                                                 std::string_view) const override {
        return std::unique_ptr<CustomKeyword>(std::make_unique<ExampleKeyword>(value));
    }
};

class ExamplesFactory final : public KeywordFactory {
public:
    Result<std::unique_ptr<CustomKeyword>, ValidationError> init(const Value&, const Value& value, const Location&,
                                                                 std::string_view) const override {
        std::vector<Value> items;
        if (value.is_array()) items = value.as_array();
        return std::unique_ptr<CustomKeyword>(std::make_unique<ExamplesKeyword>(std::move(items)));
    }
};

class NullableFactory final : public KeywordFactory {
public:
    explicit NullableFactory(bool string_null_is_null) : string_null_is_null_(string_null_is_null) {}
    Result<std::unique_ptr<CustomKeyword>, ValidationError> init(const Value&, const Value& value,
                                                                 const Location& location,
                                                                 std::string_view keyword) const override {
        if (!value.is_bool()) {
            return deririrore::make_unexpected(ValidationError::compile_error(
                kinds::Custom{std::string(keyword), std::string(kNullableNotBoolean)}, value, location));
        }
        return std::unique_ptr<CustomKeyword>(std::make_unique<NullableKeyword>(value.as_bool(), string_null_is_null_));
    }

private:
    bool string_null_is_null_;
};

}  // namespace

std::optional<ValidationError> NullableKeyword::validate(const Value& instance, const LazyLocation&) const {
    if (is_valid(instance)) return std::nullopt;
    return keyword_error(instance, kNullViolation);
}

bool ExampleKeyword::is_valid(const Value& instance) const {
    return deririrore::value::json_values_equal(instance, example_);
}

std::optional<ValidationError> ExampleKeyword::validate(const Value& instance, const LazyLocation&) const {
    if (is_valid(instance)) return std::nullopt;
    return keyword_error(instance, kExampleMismatch);
}

bool ExamplesKeyword::is_valid(const Value& instance) const {
    for (const Value& example : examples_) {
        if (deririrore::value::json_values_equal(instance, example)) return true;
    }
    return false;
}

std::optional<ValidationError> ExamplesKeyword::validate(const Value& instance, const LazyLocation&) const {
    if (is_valid(instance)) return std::nullopt;
    return keyword_error(instance, kExamplesMismatch);
}

std::shared_ptr<const KeywordFactory> example_keyword_factory() {
    static const auto factory = std::make_shared<const ExampleFactory>();
    return factory;
}

std::shared_ptr<const KeywordFactory> examples_keyword_factory() {
    static const auto factory = std::make_shared<const ExamplesFactory>();
    return factory;
}

std::shared_ptr<const KeywordFactory> nullable_keyword_factory(bool string_null_is_null) {
    static const auto parameters = std::make_shared<const NullableFactory>(true);
    static const auto bodies = std::make_shared<const NullableFactory>(false);
    return string_null_is_null ? parameters : bodies;
}

}  // namespace vantorel::dialect
