#include "vantorel/recorders/responses_recording.hpp"

#include <limits>

#include "vantorel/recorders/body_dispatch.hpp"
#include "vantorel/recorders/json_body.hpp"
#include "vantorel/recorders/tracer.hpp"

namespace vantorel::recorders {

namespace {

// Statuses from here on have hundreds that do not fit one byte.
constexpr std::uint32_t kFirstUnpatternedStatus = 25600;

template <class Count>
void add_one(Count& count) noexcept {
    if (count != std::numeric_limits<Count>::max()) ++count;
}

bool range_fits(const http::MediaType& range, const http::MediaType& media_type) noexcept {
    // Both sides were parsed, so their type and subtype are already ASCII lower case.
    return (range.type == "*" || range.type == media_type.type) &&
           (range.subtype == "*" || range.subtype == media_type.subtype);
}

bool body_fits(const model::ResponseBody& body, const http::MediaType& media_type) noexcept {
    if (body.media_types.empty()) return range_fits(body.media_type, media_type);
    for (const auto& range : body.media_types) {
        if (range_fits(range, media_type)) return true;
    }
    return false;
}

void count_response(model::ResponseTarget& target, const ResponseInfo& response) {
    if (target.hits == 0) target.first_seen = response.timestamp;
    target.elapsed_total = response.elapsed + target.elapsed_total;
    add_one(target.hits);
    trace_response_body(target.bodies, response);
}

void count_unexpected(model::OperationRecord& operation, const ResponseInfo& response) {
    for (auto& entry : operation.unexpected_responses) {
        if (entry.status != response.status) continue;
        entry.elapsed_total += response.elapsed;
        add_one(entry.hits);
        return;
    }
    operation.unexpected_responses.push_back(
        model::UnexpectedResponse{response.status, 1, response.elapsed, response.timestamp});
}

}  // namespace

ResponseOutcome record_response(model::OperationRecord& operation, const ResponseInfo& response) {
    if (!operation.responses.empty()) {
        if (response.status >= kFirstUnpatternedStatus) {
            count_unexpected(operation, response);
            return ResponseOutcome::Unexpected;
        }
        for (auto& target : operation.responses) {
            if (!target.status.matches(response.status)) continue;
            count_response(target, response);
            return ResponseOutcome::Declared;
        }
    }
    if (operation.has_default_response) {
        count_response(operation.default_response, response);
        return ResponseOutcome::Default;
    }
    count_unexpected(operation, response);
    return ResponseOutcome::Unexpected;
}

void trace_response_body(std::vector<model::ResponseBody>& bodies, const ResponseInfo& response) {
    if (bodies.empty() || !response.body || !response.content_type) return;
    const std::optional<http::MediaType> media_type = parse_media_type(*response.content_type);
    if (!media_type) return;

    model::ResponseBody* chosen = nullptr;
    for (auto& body : bodies) {
        if (body_fits(body, *media_type)) {
            chosen = &body;
            break;
        }
    }
    if (chosen == nullptr) return;

    const bool json = is_json_media_type(media_type->type, media_type->subtype);
    const bool xml = !json && is_xml_subtype(media_type->subtype);
    if (!json && !xml && !chosen->count_undecoded) return;

    zavova::CoverageHolder& holder = chosen->holder;
    if ((json || xml) && chosen->validator && chosen->schema && holder.state) {
        std::optional<Value> value;
        if (json) {
            value = decode_json_body(*response.body, *media_type);
        } else {
            const BodyTarget target{chosen->validator.get(), &holder, chosen->schema.get(), nullptr,
                                    chosen->xml_hints.get()};
            value = decode_xml_body(*response.body, target);
        }
        if (value) {
            const bool was_covered = holder.state->all_covered;
            trace_value(holder, *chosen->schema, *value, *chosen->validator, response.timestamp);
            mark_covered_at(holder, was_covered, response.timestamp);
        }
    }
    add_one(holder.hits);
}

}  // namespace vantorel::recorders
