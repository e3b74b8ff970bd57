#pragma once
// const and enum: the instance must equal the constant, or one of the options, under value
// equality with exact numbers. One check per instance, whatever its type. The forms differ only
// in how fast they find the answer.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/fast_string_key.hpp"
#include "deririrore/keywords/property_map.hpp"
#include "deririrore/value/cmp.hpp"

namespace deririrore::keywords {

using core::Location;
using core::Value;

// What every const form shares: the expected value (for errors), the Location, the one event.
class ConstValidatorBase : public core::KeywordValidator {
public:
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const Value& expected() const noexcept { return expected_; }

protected:
    ConstValidatorBase(Value expected, Location location)
        : expected_(std::move(expected)), location_(std::move(location)) {}

    Value expected_;
    Location location_;
};

class ConstNullValidator final : public ConstValidatorBase {
public:
    explicit ConstNullValidator(Location location) : ConstValidatorBase(Value::null(), std::move(location)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override { return instance.is_null(); }
};

class ConstBooleanValidator final : public ConstValidatorBase {
public:
    ConstBooleanValidator(bool expected, Location location)
        : ConstValidatorBase(Value::boolean(expected), std::move(location)), value_(expected) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override {
        return instance.is_bool() && instance.as_bool() == value_;
    }

private:
    bool value_;
};

// The constant's number text is kept as written.
class ConstNumberValidator final : public ConstValidatorBase {
public:
    ConstNumberValidator(Value number, Location location) : ConstValidatorBase(std::move(number), std::move(location)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override;
};

class ConstStringValidator final : public ConstValidatorBase {
public:
    ConstStringValidator(Value string, Location location) : ConstValidatorBase(std::move(string), std::move(location)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override {
        return instance.is_string() && instance.as_string() == expected_.as_string();
    }
};

class ConstArrayValidator final : public ConstValidatorBase {
public:
    ConstArrayValidator(Value array, Location location) : ConstValidatorBase(std::move(array), std::move(location)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override;
};

class ConstObjectValidator final : public ConstValidatorBase {
public:
    ConstObjectValidator(Value object, Location location) : ConstValidatorBase(std::move(object), std::move(location)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override {
        return value::json_values_equal(instance, expected_);
    }
};

// What every enum form shares: the options array (for errors), the Location, the one event.
class EnumValidatorBase : public core::KeywordValidator {
public:
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const Value& options() const noexcept { return options_; }

protected:
    EnumValidatorBase(Value options, Location location) : options_(std::move(options)), location_(std::move(location)) {}

    Value options_;
    Location location_;
};

class SingleValueEnumValidator final : public EnumValidatorBase {
public:
    SingleValueEnumValidator(Value options, Location location)
        : EnumValidatorBase(std::move(options), std::move(location)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override {
        const Value& option = options_.as_array().front();
        // A lone string option, the usual case, needs no general comparison.
        if (option.is_string()) return instance.is_string() && instance.as_string() == option.as_string();
        return value::json_values_equal(instance, option);
    }
};

// Any options; an instance of a type no option has is rejected without a comparison.
class GeneralEnumValidator final : public EnumValidatorBase {
public:
    GeneralEnumValidator(Value options, core::JsonTypeSet types, Location location)
        : EnumValidatorBase(std::move(options), std::move(location)), types_(types) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override;
    core::JsonTypeSet types() const noexcept { return types_; }

private:
    core::JsonTypeSet types_;
};

// Options that are plain 64-bit integers (and, in the or-null form, nulls): a plain integer
// instance is found by binary search; other numbers (2.0, 1e3) by value equality.
template <bool WithNull>
class IntegerEnumValidatorT final : public EnumValidatorBase {
public:
    IntegerEnumValidatorT(Value options, std::vector<std::int64_t> sorted, Location location)
        : EnumValidatorBase(std::move(options), std::move(location)), sorted_(std::move(sorted)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override;
    // Whether the sorted list holds v.
    bool contains(std::int64_t v) const noexcept;

private:
    std::vector<std::int64_t> sorted_;
};
using IntegerEnumValidator = IntegerEnumValidatorT<false>;
using IntegerOrNullEnumValidator = IntegerEnumValidatorT<true>;

// Every option a string (or null in the or-null form), 11 options or more.
template <bool WithNull>
class StringEnumSetValidatorT final : public EnumValidatorBase {
public:
    StringEnumSetValidatorT(Value options, NameSet set, Location location)
        : EnumValidatorBase(std::move(options), std::move(location)), set_(std::move(set)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override;

private:
    NameSet set_;
};
using StringEnumSetValidator = StringEnumSetValidatorT<false>;
using StringOrNullEnumSetValidator = StringEnumSetValidatorT<true>;

// Every option a string (or null in the or-null form), at most 10 options.
template <bool WithNull>
class StringEnumListValidatorT final : public EnumValidatorBase {
public:
    StringEnumListValidatorT(Value options, std::vector<FastStringKey> keys, Location location)
        : EnumValidatorBase(std::move(options), std::move(location)), keys_(std::move(keys)) {}
    bool is_valid(const Value& instance, core::ValidationContext&) const override;

private:
    std::vector<FastStringKey> keys_;
};
using StringEnumListValidator = StringEnumListValidatorT<false>;
using StringOrNullEnumListValidator = StringEnumListValidatorT<true>;

// The string options, in a set whose hasher has seeds of its own.
NameSet collect_string_option_set(const Value::Array& options);
// The options that are plain signed 64-bit integers, in order.
std::vector<std::int64_t> collect_integer_options(const Value::Array& options);

core::ValidationError build_enum_error(const Location& location, const Value& instance,
                                       const core::LazyLocation& instance_path, const core::RefChain* chain,
                                       const Value& options);

}  // namespace deririrore::keywords
