#pragma once
// Parameter objects and request bodies of an operation: the fields checked, the target built by
// document version and location, path-item and operation parameters merged, undeclared template
// parameters added, and each operation's problems handed to the reference context.
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "http/method.hpp"
#include "vantorel/model/method_map.hpp"
#include "vantorel/model/operation_services.hpp"
#include "vantorel/model/parameter_target.hpp"
#include "vantorel/model/reference_context.hpp"
#include "vantorel/model/responses.hpp"

namespace vantorel::model {

// The location a target's tag stands for (a Swagger 2.0 target keeps its own).
ParameterLocation target_location(const ParameterTarget& target) noexcept;

// Checks one parameter object (`name`, `in`, then the flags, the first failure wins) and builds
// its target for the context's version in its current scope.
Result<ParameterTarget, SpecProblem> build_parameter_targets(ReferenceContext& context, const Value& parameter,
                                                             const OperationServices& services);

// The position of a failed parameter: present for an object whose `name` is a string and whose
// `in` is one of the seven location texts.
std::optional<ParameterPosition> describe_parameter_position(const Value& parameter);

// A stored target with the same location and byte-identical name is replaced in place; otherwise
// the target is appended.
void add_parameter_target(std::vector<ParameterTarget>& targets, ParameterTarget target);

// One `parameters` array (of a path item or an operation); `$ref` elements are entered with the
// scope pushed. Anything but an array is passed over.
void add_parameter_list(ReferenceContext& context, OperationRecord& record, std::span<const Value> parameters,
                        OperationProblems& problems, const OperationServices& services);
void add_operation_parameters(ReferenceContext& context, OperationRecord& record, const Value& operation,
                              OperationProblems& problems, const OperationServices& services);

// Two querystring targets: one conflict beside querystring; one beside query targets: one
// conflict beside query.
void check_querystring_parameters(const OperationRecord& record, OperationProblems& problems);

// A path target of schema {"type": "string"} for every "{name}" of the template that no stored
// path target names; an unclosed "{name" at the end counts too, "{}" does not.
void add_template_path_parameters(ReferenceContext& context, OperationRecord& record, std::string_view path_template,
                                  const OperationServices& services);

void flush_operation_problems(ReferenceContext& context, http::HttpMethod method, std::string_view path_template,
                              OperationProblems& problems);

// One request-body target per `content` entry with a `schema`.
void build_request_body_targets(ReferenceContext& context, OperationRecord& record, const Value& request_body,
                                OperationProblems& problems, const OperationServices& services);

// Readers of parameter fields.
Result<PathStyle, SpecProblem> parse_path_style(const Value& parameter);
Result<QueryStyle, SpecProblem> parse_query_style(const Value& parameter);
Result<CollectionFormat, SpecProblem> read_collection_format(const Value& parameter);
Result<CollectionFormat, SpecProblem> read_header_collection_format(const Value& parameter);
// Every `collectionFormat` along the `items` chain must be csv, ssv, tsv or pipes.
std::optional<SpecProblem> read_items_collection_formats(const Value& schema);

struct ParameterSchema {
    Value schema;
    std::optional<ContentSource> content;  // set when the schema came from `content`
};
// `schema`, else the single `content` entry's `schema` (or {}), else "missing_field" `schema`.
Result<ParameterSchema, SpecProblem> find_parameter_schema(ReferenceContext& context, const Value& parameter);

}  // namespace vantorel::model
