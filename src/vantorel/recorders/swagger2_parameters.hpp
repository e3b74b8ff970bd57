#pragma once
// Tracing of Swagger 2.0 parameter targets: the raw value found by the parameter's `in`
// (path, query, header, body, formData), decoded by its type mask and collectionFormat into
// candidates, each traced, and one hit counted. formData parameters of one request share a
// single parse of a multipart body.
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "multipart/multipart.hpp"
#include "vantorel/recorders/parameter_tracing.hpp"

namespace vantorel::recorders {

// The multipart parts of one request, parsed at the first formData parameter that needs them;
// a failed parse is remembered so that later parameters stop at once.
struct FormPartCache {
    enum class State { NotParsed, Parsed, Failed };
    State state = State::NotParsed;
    std::vector<multipart::MultipartPart> parts;
};

// Path and header values: the collection delimiters of the format.
void decode_swagger2_value(std::string_view text, const multipart::DecodeSpec& spec, multipart::CollectionFormat format,
                           const Value& schema, ValueCandidates& out);
// Query values and form-urlencoded formData values (multi leaves the text whole).
void decode_swagger2_item_value(std::string_view text, const multipart::DecodeSpec& spec,
                                multipart::CollectionFormat format, const Value& schema, ValueCandidates& out);
// Repeated values of a multi parameter as one array.
Value decode_swagger2_multi_values(const std::vector<std::string>& values, const Value& schema);

const std::vector<multipart::MultipartPart>* get_multipart_parts(FormPartCache& cache, std::string_view body,
                                                                 std::string_view boundary);
std::vector<std::string> collect_form_field_values(std::string_view body, std::string_view name);

void trace_swagger2_parameter(const PathParams& path_params, const http::RequestRecord& request,
                              const ParsedQuery& query, FormPartCache& form_parts, model::ParameterTarget& target,
                              const ParameterNameMap* names, double time);

}  // namespace vantorel::recorders
