#include "vantorel/recorders/request_parameters.hpp"

#include "vantorel/recorders/body_dispatch.hpp"
#include "vantorel/recorders/json_body.hpp"
#include "vantorel/recorders/parameter_tracing.hpp"
#include "vantorel/recorders/swagger2_parameters.hpp"

namespace vantorel::recorders {

namespace {

bool is_request_body(const model::ParameterTarget& target) noexcept {
    return target.tag == static_cast<std::int64_t>(model::BodyForm::Json) ||
           target.tag == static_cast<std::int64_t>(model::BodyForm::Form) ||
           target.tag == static_cast<std::int64_t>(model::BodyForm::Multipart) ||
           target.tag == static_cast<std::int64_t>(model::BodyForm::Other);
}

bool wants_deep_objects(const model::OperationRecord& operation) noexcept {
    for (const auto& target : operation.parameters) {
        if (target.tag == model::kQueryTag && target.style == static_cast<std::uint8_t>(model::QueryStyle::DeepObject))
            return true;
    }
    return false;
}

// The request's content type, parsed at the first body target that asks for it.
class RequestMediaType {
public:
    explicit RequestMediaType(const http::RequestRecord& request) : request_(request) {}
    const std::optional<http::MediaType>& get() {
        if (!read_) {
            read_ = true;
            if (auto text = http::find_header_ignore_case(request_.headers, "content-type")) value_ = parse_media_type(*text);
        }
        return value_;
    }

private:
    const http::RequestRecord& request_;
    std::optional<http::MediaType> value_;
    bool read_ = false;
};

void trace_request_body(model::ParameterTarget& target, const http::RequestRecord& request,
                        RequestMediaType& media_type, double time) {
    if (!request.body || !target.validator || !target.schema || !target.holder.state) return;
    const auto& media = media_type.get();
    if (!media || !select_content_media(*media, target.media_type, target.narrower_media_types)) return;
    const BodyTarget body{target.validator.get(), &target.holder, target.schema.get(), &target.field_specs,
                          target.xml_hints.get()};
    trace_content_value(*request.body, *media, body, time);
}

}  // namespace

void trace_request_parameters(model::OperationRecord& operation, const http::RequestRecord& request,
                              const model::SegmentCaptures& path_params, double time, const ParameterNameMap* names) {
    if (operation.parameters.empty()) return;
    ParsedQuery query;
    parse_query_string(query, request.url.query(), wants_deep_objects(operation));
    FormPartCache form_parts;
    RequestMediaType media_type(request);
    for (auto& target : operation.parameters) {
        if (target.tag == model::kSwagger2Tag) {
            trace_swagger2_parameter(path_params, request, query, form_parts, target, names, time);
        } else if (is_request_body(target)) {
            trace_request_body(target, request, media_type, time);
        } else {
            trace_parameter(path_params, request, query, target, names, time);
        }
    }
}

}  // namespace vantorel::recorders
