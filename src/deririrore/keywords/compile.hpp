#pragma once
// What keyword compile functions work with, and their declarations. A new keyword adds its
// declaration here and one line to the table in builtin_keywords.cpp.
#include "deririrore/core/compiler.hpp"
#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/core/validation_error.hpp"

namespace deririrore::keywords {

using core::CompileContext;
using core::KeywordCompileResult;
using core::KeywordValidatorPtr;
using core::Location;
using core::no_validator;
using core::SchemaNode;
using core::ValidationError;
using core::Value;
using referencing::Draft;

KeywordCompileResult compile_type(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_type_draft4(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_enum(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_const(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_required(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_unique_items(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_multiple_of(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_minimum(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_maximum(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_exclusive_minimum(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_exclusive_maximum(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_minimum_draft4(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_maximum_draft4(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_min_length(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_max_length(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_min_items(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_max_items(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_min_properties(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_max_properties(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_properties(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_pattern_properties(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_additional_properties(const CompileContext& ctx, const Value& parent,
                                                   const Value& value);
KeywordCompileResult compile_dependencies(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_pattern(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_format(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_content_media_type(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_content_encoding(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_content_media_type_annotation(const CompileContext& ctx, const Value& parent,
                                                           const Value& value);
KeywordCompileResult compile_content_encoding_annotation(const CompileContext& ctx, const Value& parent,
                                                         const Value& value);
KeywordCompileResult compile_content_schema_annotation(const CompileContext& ctx, const Value& parent,
                                                       const Value& value);
KeywordCompileResult compile_all_of(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_any_of(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_one_of_keyword(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_not(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_unevaluated_properties(const CompileContext& ctx, const Value& parent,
                                                    const Value& value);
KeywordCompileResult compile_unevaluated_items(const CompileContext& ctx, const Value& parent, const Value& value);

KeywordCompileResult compile_items(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_prefix_items(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_additional_items(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_contains_keyword(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_if(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_dependent_required(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_dependent_schemas(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_property_names(const CompileContext& ctx, const Value& parent, const Value& value);
KeywordCompileResult compile_fused_array(const CompileContext& ctx, const Value& parent, const Value& items,
                                         const std::shared_ptr<const core::FusedArrayInfo>& info);
KeywordValidatorPtr make_custom_keyword_validator(std::string name, std::unique_ptr<core::CustomKeyword> keyword,
                                                  Location location);

}  // namespace deririrore::keywords
