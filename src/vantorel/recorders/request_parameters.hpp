#pragma once
// The parameter targets of a matched operation traced against the request, in the operation's
// order, with the query string parsed once and a multipart body parsed at most once: Swagger 2.0
// targets by their `in`, OpenAPI 3 request bodies by the media-type target that takes the
// request's content type, every other OpenAPI 3 target (path, query, header, cookie,
// querystring) by its style. `names` maps documented path parameter names to the names the route
// captured them under, when they differ (a template shadowed by an equivalent one).
#include "http/interaction.hpp"
#include "vantorel/model/method_map.hpp"
#include "vantorel/model/path_templates.hpp"
#include "vantorel/recorders/parameter_tracing.hpp"

namespace vantorel::recorders {

void trace_request_parameters(model::OperationRecord& operation, const http::RequestRecord& request,
                              const model::SegmentCaptures& path_params, double time,
                              const ParameterNameMap* names = nullptr);

}  // namespace vantorel::recorders
