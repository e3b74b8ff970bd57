#pragma once
// The `responses` object of an operation: status keys parsed into patterns, one response target
// per key, one body per distinct media type with its measured schema (equal schemas built once
// per build), and the orders in which recording tries them.
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "http/media_type.hpp"
#include "vantorel/model/method_map.hpp"
#include "vantorel/model/operation_services.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/reference_context.hpp"
#include "vantorel/model/response_target.hpp"

namespace vantorel::model {

// The problems of one operation, with their positions, in the order found.
using OperationProblems = std::vector<std::pair<std::optional<ProblemPosition>, SpecProblem>>;

// Three characters (a character of several bytes counts as one), each an ASCII digit or "X", the
// first a digit from 1 to 5 or "X". "invalid_status_code" for another length in bytes,
// "invalid_status_code_character" for the first other character ("x" included),
// "status_code_out_of_range" for a first digit 0 or 6 to 9.
Result<StatusPattern, SpecProblem> parse_status_pattern(std::string_view key);

// Stable: more digit positions first ("200", "20X", "2XX", "XXX").
void sort_responses_by_specificity(std::vector<ResponseTarget>& responses);
// Stable: concrete media types first, then those with one "*", then "*/*".
void sort_media_entries_by_specificity(std::vector<ResponseBody>& bodies);
// 2 for "type/subtype", 1 when exactly one of them is "*", 0 for "*/*".
int media_range_specificity(const http::MediaType& media_type) noexcept;

// A Swagger 2.0 file schema: `type` "file", directly or through local "#" references inside
// `schema` itself (each reference followed once).
bool is_file_schema(const Value& schema);

// One body for media type `media_type` answering for `media_types`, from `schema` found in
// `scope` (null: the API document). Bodies whose schema text, XML classification and scope are
// equal share the hydrated schema, validator, XML hints and coverage state through the context's
// `schema_cache`.
Result<ResponseBody, SpecProblem> build_response_targets(const http::MediaType& media_type,
                                                         std::vector<http::MediaType> media_types, const Value& schema,
                                                         ReferenceContext& context, const LoadedDocument* scope,
                                                         bool swagger2, const OperationServices& services);

// Fills the record's `responses`, `default_response` and `has_default_response` from the
// operation's `responses` member; `produced` is used for Swagger 2.0 only.
void extract_operation_responses(ReferenceContext& context, OperationRecord& record, const Value& operation,
                                 OperationProblems& problems, bool swagger2, std::span<const http::MediaType> produced,
                                 const OperationServices& services);

}  // namespace vantorel::model
