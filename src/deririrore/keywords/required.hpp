#pragma once
// required: property names an object must have. One check per name: the trace reports each
// name under its index before the keyword as a whole. Four forms by the number of names; all
// give the same answers, errors and events.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/fast_string_key.hpp"

namespace deririrore::keywords {

using core::Location;
using core::Value;

// What the four forms share: the keyword Location, the trace (a search per name), and errors.
class RequiredValidatorBase : public core::KeywordValidator {
public:
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    virtual std::size_t name_count() const noexcept = 0;
    virtual std::string_view name_at(std::size_t i) const noexcept = 0;

protected:
    // `count` names: their indexed Locations are built here, so that a trace allocates none.
    RequiredValidatorBase(Location location, std::size_t count);

    core::ValidationError missing_error(std::string_view name, const Value& instance,
                                        const core::LazyLocation& instance_path, const core::RefChain* chain) const;
    // One error per name whose bit is clear in `present` (bit i for name i), in index order,
    // sharing one instance path and one evaluation path.
    void push_missing(std::uint64_t present, const Value& instance, const core::LazyLocation& instance_path,
                      const core::RefChain* chain, core::ErrorSink& sink) const;

    Location location_;
    std::vector<Location> indexed_;
};

class RequiredNameValidator final : public RequiredValidatorBase {
public:
    RequiredNameValidator(std::string name, Location location)
        : RequiredValidatorBase(std::move(location), 1), name_(std::move(name)) {}

    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    std::size_t name_count() const noexcept override { return 1; }
    std::string_view name_at(std::size_t) const noexcept override { return name_; }

private:
    std::string name_;
};

class RequiredPairValidator final : public RequiredValidatorBase {
public:
    RequiredPairValidator(std::string first, std::string second, Location location);

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    std::size_t name_count() const noexcept override { return 2; }
    std::string_view name_at(std::size_t i) const noexcept override { return names_[i]; }

private:
    std::uint64_t present_mask(const Value& object) const;

    std::array<std::string, 2> names_;
    // Distinct names: an object with fewer properties misses one without a search.
    std::size_t distinct_;
};

class RequiredTripleValidator final : public RequiredValidatorBase {
public:
    RequiredTripleValidator(std::array<FastStringKey, 3> keys, Location location);

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    std::size_t name_count() const noexcept override { return 3; }
    std::string_view name_at(std::size_t i) const noexcept override { return keys_[i].text; }

    // Bits 1, 2, 4 for the names found in the object.
    std::uint64_t find_present_names(const Value& object) const;

private:
    std::array<FastStringKey, 3> keys_;
    std::size_t distinct_;
    bool repeated_;
};

class RequiredListValidator final : public RequiredValidatorBase {
public:
    RequiredListValidator(std::vector<FastStringKey> keys, Location location);

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<core::ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                                  const core::RefChain* chain,
                                                  core::ValidationContext& ctx) const override;
    std::size_t name_count() const noexcept override { return keys_.size(); }
    std::string_view name_at(std::size_t i) const noexcept override { return keys_[i].text; }

    // The mask of names found by one walk over the properties, when that walk is the cheaper
    // search (at most 16 names, at most twice as many properties as names).
    std::optional<std::uint64_t> has_all_names(const Value& object) const;

private:
    std::vector<FastStringKey> keys_;
    std::size_t distinct_;
    bool repeated_;
};

// The validator for a list of names at `location`, or the compile error for a value that is not
// an array of strings.
KeywordCompileResult compile_required_list(const Value& value, const Location& location);
// `required`, or nothing where a sibling's fused validator checks the names.
// A plain node at the context's Location holding the validators as entries 0, 1, ...
const core::SchemaNode* build_required_names_validator(const CompileContext& ctx,
                                                       std::vector<core::KeywordValidatorPtr> validators);

}  // namespace deririrore::keywords
