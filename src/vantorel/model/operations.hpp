#pragma once
// One operation object becomes one OperationRecord of its path's MethodMap: its operationId, tags
// and deprecated flag, then its parameters, request body and responses, in that order. OpenAPI 3
// and Swagger 2.0 differ in where bodies and their media types come from.
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/value.hpp"
#include "vantorel/model/method_map.hpp"
#include "vantorel/model/operation_services.hpp"
#include "vantorel/model/parameter_target.hpp"
#include "vantorel/model/reference_context.hpp"

namespace vantorel::model {

// `method_key` is the member name (of the path item or of `additionalOperations`); a key that
// names no method ends the call without effect. `path_parameters` are the path item's.
void extract_operation_v3(MethodMap& methods, std::string_view method_key, std::string_view path_template,
                          const Value& operation, ReferenceContext& context, std::span<const Value> path_parameters,
                          const OperationServices& services);
void extract_operation_v2(MethodMap& methods, std::string_view method_key, std::string_view path_template,
                          const Value& operation, ReferenceContext& context, std::span<const Value> path_parameters,
                          const OperationServices& services);

// The list of a free-form query object (an exploded form-style object query parameter given by
// `schema`, with an `additionalProperties` other than false and no object `properties`), or null.
std::vector<std::string>* is_free_form_query_object(ParameterTarget& target);

// For each OpenAPI 3 query target: its index and its names (its own, then, for an exploded
// form-style object schema, its `properties` keys).
std::vector<std::pair<std::size_t, std::vector<std::string>>> query_parameter_names(
    const std::vector<ParameterTarget>& targets);

// The entries of `additionalOperations`: a new method is extracted; a key that names no method,
// or a method the path item already has, is an "unexpected_value" problem.
void extract_additional_operations(MethodMap& methods, std::string_view path_template, const Value& path_item,
                                   ReferenceContext& context, std::span<const Value> path_parameters,
                                   const OperationServices& services);

// The parameters for the operations of a referenced path item: its own `parameters` (none when it
// is not an array), or the referencing item's when it has no such member.
std::span<const Value> path_item_parameters(const Value& referenced, std::span<const Value> referencing);

// Every operation of one path item (its `$ref` target's included) into `methods`. A `$ref` that
// does not resolve is recorded as a problem of the path item, and the item's own operations are
// still read.
void extract_path_item(MethodMap& methods, std::string_view path_template, const Value& path_item,
                       ReferenceContext& context, const OperationServices& services);

}  // namespace vantorel::model
