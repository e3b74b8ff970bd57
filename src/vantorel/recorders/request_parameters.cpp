#include "vantorel/recorders/request_parameters.hpp"

#include "vantorel/recorders/body_dispatch.hpp"
#include "vantorel/recorders/json_body.hpp"

namespace vantorel::recorders {

namespace {

bool is_request_body(const model::ParameterTarget& target) noexcept {
    return target.tag == static_cast<std::int64_t>(model::BodyForm::Json) ||
           target.tag == static_cast<std::int64_t>(model::BodyForm::Form) ||
           target.tag == static_cast<std::int64_t>(model::BodyForm::Multipart) ||
           target.tag == static_cast<std::int64_t>(model::BodyForm::Other);
}

}  // namespace

void trace_request_parameters(model::OperationRecord& operation, const http::RequestRecord& request,
                              const model::SegmentCaptures& path_params, double time) {
    (void)path_params;
    std::optional<http::MediaType> media_type;
    bool media_type_read = false;
    for (auto& target : operation.parameters) {
        if (!is_request_body(target)) continue;
        if (!request.body || !target.validator || !target.schema || !target.holder.state) continue;
        if (!media_type_read) {
            media_type_read = true;
            if (auto text = http::find_header_ignore_case(request.headers, "content-type")) {
                media_type = parse_media_type(*text);
            }
        }
        if (!media_type) return;
        if (!select_content_media(*media_type, target.media_type, target.narrower_media_types)) continue;
        const BodyTarget body{target.validator.get(), &target.holder, target.schema.get(), nullptr, nullptr};
        trace_content_value(*request.body, *media_type, body, time);
    }
}

}  // namespace vantorel::recorders
