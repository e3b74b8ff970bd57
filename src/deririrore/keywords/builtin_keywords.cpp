// The compile function of every built-in keyword, one line each.
#include "deririrore/core/compiler.hpp"
#include "deririrore/core/ref.hpp"
#include "deririrore/keywords/compile.hpp"

namespace deririrore::core {

const KeywordTable& builtin_keyword_table() {
    using K = BuiltinKeyword;
    namespace kw = keywords;
    static const KeywordTable table = [] {
        KeywordTable t;
        t.add(K::Ref, compile_ref_keyword);
        t.add(K::DynamicRef, compile_dynamic_ref_keyword);
        t.add(K::RecursiveRef, compile_recursive_ref);
        t.add(K::Type, kw::compile_type).add_legacy(K::Type, Draft::Draft4, kw::compile_type_draft4);
        t.add(K::Enum, kw::compile_enum);
        t.add(K::Const, kw::compile_const);
        t.add(K::Required, kw::compile_required);
        t.add(K::UniqueItems, kw::compile_unique_items);
        t.add(K::MultipleOf, kw::compile_multiple_of);
        t.add(K::Minimum, kw::compile_minimum).add_legacy(K::Minimum, Draft::Draft4, kw::compile_minimum_draft4);
        t.add(K::Maximum, kw::compile_maximum).add_legacy(K::Maximum, Draft::Draft4, kw::compile_maximum_draft4);
        t.add(K::ExclusiveMinimum, kw::compile_exclusive_minimum);
        t.add(K::ExclusiveMaximum, kw::compile_exclusive_maximum);
        t.add(K::MinLength, kw::compile_min_length);
        t.add(K::MaxLength, kw::compile_max_length);
        t.add(K::MinItems, kw::compile_min_items);
        t.add(K::MaxItems, kw::compile_max_items);
        t.add(K::MinProperties, kw::compile_min_properties);
        t.add(K::MaxProperties, kw::compile_max_properties);
        t.add(K::Properties, kw::compile_properties);
        t.add(K::PatternProperties, kw::compile_pattern_properties);
        t.add(K::AdditionalProperties, kw::compile_additional_properties);
        t.add(K::Dependencies, kw::compile_dependencies);
        t.add(K::Pattern, kw::compile_pattern);
        t.add(K::Format, kw::compile_format);
        t.add(K::ContentMediaType, kw::compile_content_media_type_annotation)
            .add_legacy(K::ContentMediaType, Draft::Draft7, kw::compile_content_media_type);
        t.add(K::ContentEncoding, kw::compile_content_encoding_annotation)
            .add_legacy(K::ContentEncoding, Draft::Draft7, kw::compile_content_encoding);
        t.add(K::ContentSchema, kw::compile_content_schema_annotation);
        t.add(K::AllOf, kw::compile_all_of);
        t.add(K::AnyOf, kw::compile_any_of);
        t.add(K::OneOf, kw::compile_one_of_keyword);
        t.add(K::Not, kw::compile_not);
        t.add(K::UnevaluatedProperties, kw::compile_unevaluated_properties);
        t.add(K::UnevaluatedItems, kw::compile_unevaluated_items);
        t.add(K::Items, kw::compile_items);
        t.add(K::PrefixItems, kw::compile_prefix_items);
        t.add(K::AdditionalItems, kw::compile_additional_items);
        t.add(K::Contains, kw::compile_contains_keyword);
        t.add(K::If, kw::compile_if);
        t.add(K::DependentRequired, kw::compile_dependent_required);
        t.add(K::DependentSchemas, kw::compile_dependent_schemas);
        t.add(K::PropertyNames, kw::compile_property_names);
        t.set_fused_array(kw::compile_fused_array);
        t.set_custom_keyword_adapter(kw::make_custom_keyword_validator);
        return t;
    }();
    return table;
}

}  // namespace deririrore::core
