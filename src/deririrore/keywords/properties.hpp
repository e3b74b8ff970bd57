#pragma once
// `properties`: declared properties that the instance has must be valid against their
// subschemas. Three forms: a list (up to 14 names), a hash map (15 or more), and a list that also
// checks a sibling `required` of exactly two names.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/keywords/compile.hpp"
#include "deririrore/keywords/fast_string_key.hpp"

namespace deririrore::keywords {

struct DeclaredProperty {
    FastStringKey key;
    const SchemaNode* node;
};

// Declared properties that an object instance has, in ascending name order, walking the smaller
// of the two sides.
template <class F>
bool for_each_present_property(const std::vector<DeclaredProperty>& entries, const Value& object, F&& f) {
    const auto& members = object.as_object();
    if (members.size() <= entries.size()) {
        for (const auto& member : members) {
            const TextWords words = text_words(member.key);
            for (const auto& entry : entries) {
                if (entry.key.matches(member.key, words)) {
                    if (!f(entry, member.value)) return false;
                    break;
                }
            }
        }
    } else {
        for (const auto& entry : entries) {
            if (const Value* v = object.find(entry.key.text)) {
                if (!f(entry, *v)) return false;
            }
        }
    }
    return true;
}

class PropertiesListValidator final : public core::KeywordValidator {
public:
    PropertiesListValidator(std::vector<DeclaredProperty> entries, Location location)
        : entries_(std::move(entries)), location_(std::move(location)) {}

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const std::vector<DeclaredProperty>& entries() const noexcept { return entries_; }

private:
    std::vector<DeclaredProperty> entries_;
    Location location_;
};

class PropertiesMapValidator final : public core::KeywordValidator {
public:
    // `names` in declared (ascending) order, each with its node.
    PropertiesMapValidator(std::vector<std::pair<std::string, const SchemaNode*>> declared, Location location);

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

    const SchemaNode* find(std::string_view name) const;

private:
    std::vector<std::pair<std::string, const SchemaNode*>> declared_;
    std::unordered_map<std::string_view, const SchemaNode*> map_;
    Location location_;
};

// `properties` (at most 14 names) with a sibling `required` of exactly two names.
class PropertiesRequiredPairValidator final : public core::KeywordValidator {
public:
    PropertiesRequiredPairValidator(std::vector<DeclaredProperty> entries, FastStringKey first, FastStringKey second,
                                    Location required_location, Location location,
                                    core::AbsoluteLocation required_absolute)
        : entries_(std::move(entries)),
          first_(std::move(first)),
          second_(std::move(second)),
          required_location_(std::move(required_location)),
          required_first_(core::append_index_to_location(required_location_, 0)),
          required_second_(core::append_index_to_location(required_location_, 1)),
          location_(std::move(location)),
          required_absolute_(std::move(required_absolute)) {}

    void iter_errors(const Value& instance, const core::LazyLocation& instance_path, const core::RefChain* chain,
                     core::ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, core::ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const core::LazyLocation& instance_path,
                                            const core::RefChain* chain, core::ValidationContext& ctx) const override;
    core::EvaluationResult evaluate(const Value& instance, const core::LazyLocation& instance_path,
                                    const core::RefChain* chain, core::EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const core::LazyLocation& instance_path, core::Tracer& tracer,
               core::TraceContext& ctx) const override;

private:
    ValidationError missing_property_error(const std::string& name, const Value& object,
                                           const core::LazyLocation& instance_path, const core::RefChain* chain) const;

    std::vector<DeclaredProperty> entries_;
    FastStringKey first_;
    FastStringKey second_;
    Location required_location_;
    // required/0 and required/1, the Locations of the two per-name trace events.
    Location required_first_;
    Location required_second_;
    Location location_;
    core::AbsoluteLocation required_absolute_;
};

}  // namespace deririrore::keywords
