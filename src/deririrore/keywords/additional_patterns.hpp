#pragma once
// additionalProperties beside patternProperties (and maybe properties): one validator decides
// for every property which subschemas apply (the declared one and those of the patterns its name
// matches, or those of the matching patterns, or else the additional subschema or the verdict
// that it is not allowed) and checks it against them. Four forms: with or without declared
// properties, times `false` or a subschema; the declared forms with a small or a large map.
// Within one list each pattern is matched without an engine where its shape allows.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "deririrore/keywords/object_patterns.hpp"
#include "deririrore/keywords/property_map.hpp"

namespace deririrore::keywords {

// The stand-in map of the forms without `properties`.
struct NoDeclaredProperties {
    const SchemaNode* find(std::string_view) const noexcept { return nullptr; }
};

// One pattern that a declared name meets, found once at compile time. A failed match attempt
// is kept as it is: it fails the property every time, as it would if matched again.
struct DeclaredPatternRef {
    std::uint32_t index;
    bool failed;
    regex::BacktrackingMatch failure;
};

// Declared name -> the patterns it meets, in pattern order; names that meet none are left out.
using DeclaredPatternMatches =
    std::unordered_map<std::string, std::vector<DeclaredPatternRef>, SeededNameHash, NameEqual>;

DeclaredPatternMatches build_declared_pattern_matches(const Value& properties,
                                                      const std::vector<PatternEntry>& patterns);

template <class Map, bool Closed>
class PatternAdditionalValidator final : public core::KeywordValidator {
public:
    static constexpr bool kDeclared = !std::is_same_v<Map, NoDeclaredProperties>;

    struct Parts {
        Map map;
        std::vector<PatternEntry> patterns;
        DeclaredPatternMatches declared_matches;
        // The subschema of a schema form; null in the closed forms.
        const SchemaNode* additional = nullptr;
        // The `additionalProperties` Location (the additional subschema's in the schema forms).
        Location location;
        Location properties_location;
        Location pattern_properties_location;
        core::AbsoluteLocation pattern_properties_absolute;
    };

    explicit PatternAdditionalValidator(Parts parts) : p_(std::move(parts)) {}

    void iter_errors(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                     ValidationContext& ctx, core::ErrorSink& sink) const override;
    bool is_valid(const Value& instance, ValidationContext& ctx) const override;
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& instance_path,
                                            const RefChain* chain, ValidationContext& ctx) const override;
    EvaluationResult evaluate(const Value& instance, const LazyLocation& instance_path, const RefChain* chain,
                              EvaluationContext& ctx) const override;
    const Location& location() const override { return p_.location; }
    bool applies_to(const Value& instance) const override { return instance.is_object(); }
    bool trace(const Value& instance, const LazyLocation& instance_path, Tracer& tracer,
               TraceContext& ctx) const override;

    const std::vector<PatternEntry>& patterns() const noexcept { return p_.patterns; }
    const DeclaredPatternMatches& declared_matches() const noexcept { return p_.declared_matches; }

private:
    template <class Visitor>
    bool walk(const Value& object, const LazyLocation& instance_path, Visitor& visitor) const;

    Parts p_;
};

// additionalProperties false beside patternProperties, without and with properties.
using PatternAdditionalFalseValidator = PatternAdditionalValidator<NoDeclaredProperties, true>;
using PatternAdditionalSchemaValidator = PatternAdditionalValidator<NoDeclaredProperties, false>;
template <class Map>
using DeclaredPatternAdditionalFalseValidator = PatternAdditionalValidator<Map, true>;
template <class Map>
using DeclaredPatternAdditionalSchemaValidator = PatternAdditionalValidator<Map, false>;

extern template class PatternAdditionalValidator<NoDeclaredProperties, true>;
extern template class PatternAdditionalValidator<NoDeclaredProperties, false>;
extern template class PatternAdditionalValidator<SmallPropertyMap, true>;
extern template class PatternAdditionalValidator<SmallPropertyMap, false>;
extern template class PatternAdditionalValidator<LargePropertyMap, true>;
extern template class PatternAdditionalValidator<LargePropertyMap, false>;

// The branch of compile_additional_properties for a schema object with `patternProperties`;
// `properties` is null when absent.
KeywordCompileResult compile_additional_properties_with_patterns(const CompileContext& ctx, const Value& value,
                                                                 const Value* properties, const Value& patterns);

}  // namespace deririrore::keywords
