#pragma once
// The parameter targets of a matched operation traced against the request, in the operation's
// order. Request bodies of OpenAPI 3 operations go to the media-type target that takes the
// request's content type; path, query, header, cookie, querystring and Swagger 2.0 targets are
// traced by the parameter decoders, which this is the one place to call from.
#include <optional>
#include <string_view>

#include "http/interaction.hpp"
#include "vantorel/model/method_map.hpp"
#include "vantorel/model/path_templates.hpp"

namespace vantorel::recorders {

void trace_request_parameters(model::OperationRecord& operation, const http::RequestRecord& request,
                              const model::SegmentCaptures& path_params, double time);

}  // namespace vantorel::recorders
