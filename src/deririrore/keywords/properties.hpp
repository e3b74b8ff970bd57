#pragma once
// `properties`: declared properties that the instance has must be valid against their
// subschemas. Three forms: a list (up to 14 names), a hash map (15 or more), and a list that also
// checks a sibling `required` of exactly two names.
#include <optional>
#include <string>
#include <vector>

#include "deririrore/keywords/object_common.hpp"
#include "deririrore/keywords/property_map.hpp"

namespace deririrore::keywords {

// The member of an object named by `key`, or null: small objects are scanned by length and end
// words, larger ones searched.
inline const Value* find_member(const Value& object, const FastStringKey& key) noexcept {
    const auto& members = object.as_object();
    if (members.size() > 8) return object.find(key.text);
    for (const auto& m : members) {
        if (m.key.size() == key.length && key.matches(m.key, text_words(m.key))) return &m.value;
    }
    return nullptr;
}

// Declared properties that an object instance has, in ascending name order, walking the smaller
// of the two sides. `f(entry, value)` returns false to stop; the result is false when it did.
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
            if (const Value* v = find_member(object, entry.key)) {
                if (!f(entry, *v)) return false;
            }
        }
    }
    return true;
}

// Every declared property in name order with its value in the object, or null when absent: one
// merge of the two sorted sides. A member that is the declared name, the usual case, is settled
// by its words; only the others are ordered by their bytes.
template <class F>
void for_each_declared_property(const std::vector<DeclaredProperty>& entries, const Value& object, F&& f) {
    const auto& members = object.as_object();
    auto it = members.begin();
    for (const auto& entry : entries) {
        const Value* found = nullptr;
        for (; it != members.end(); ++it) {
            if (entry.key.matches(it->key)) {
                found = &it->value;
                break;
            }
            if (value::compare_keys(it->key, entry.key.text) > 0) break;
        }
        f(entry, found);
    }
}

class PropertiesListValidator final : public core::KeywordValidator {
public:
    PropertiesListValidator(SmallPropertyMap map, Location location)
        : map_(std::move(map)), location_(std::move(location)) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

    const std::vector<DeclaredProperty>& entries() const noexcept { return map_.entries(); }

private:
    SmallPropertyMap map_;
    Location location_;
};

class PropertiesMapValidator final : public core::KeywordValidator {
public:
    PropertiesMapValidator(LargePropertyMap map, Location location)
        : map_(std::move(map)), location_(std::move(location)) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

    const std::vector<DeclaredProperty>& entries() const noexcept { return map_.entries(); }

private:
    LargePropertyMap map_;
    Location location_;
};

// `properties` (at most 14 names) with a sibling `required` of exactly two names.
class PropertiesRequiredPairValidator final : public core::KeywordValidator {
public:
    PropertiesRequiredPairValidator(SmallPropertyMap map, FastStringKey first, FastStringKey second,
                                    Location required_location, Location location,
                                    core::AbsoluteLocation required_absolute);

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return location_; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

    const std::vector<DeclaredProperty>& entries() const noexcept { return map_.entries(); }

private:
    ValidationError missing_property_error(const std::string& name, const Value& object,
                                           const LazyLocation& instance_path, const RefChain* chain) const;

    SmallPropertyMap map_;
    FastStringKey first_;
    FastStringKey second_;
    Location required_location_;
    // required/0 and required/1, the Locations of the two per-name trace events.
    Location required_first_;
    Location required_second_;
    Location location_;
    core::AbsoluteLocation required_absolute_;
    // Both names the same: one present property satisfies both.
    bool same_names_;
};

KeywordCompileResult compile_properties(const CompileContext& ctx, const Value& parent, const Value& value);

}  // namespace deririrore::keywords
