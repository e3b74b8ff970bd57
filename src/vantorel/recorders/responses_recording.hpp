#pragma once
// A recorded response counted against the responses its operation declares: the first status
// pattern that fits, else `default`, else the operation's list of unexpected statuses. The body of
// a matched response is decoded (JSON-like or XML) and traced through the schema of the first
// declared media range that fits its content type.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "vantorel/model/method_map.hpp"
#include "vantorel/model/response_target.hpp"

namespace vantorel::recorders {

enum class ResponseOutcome : std::uint8_t {
    None,        // no response recorded
    Declared,    // a declared status pattern took it
    Default,     // the `default` response took it
    Unexpected,  // added to the unexpected responses
};

struct ResponseInfo {
    std::optional<std::string_view> body;
    std::optional<std::string_view> content_type;  // the "content-type" header, any case
    double timestamp = 0;
    float elapsed = 0;
    std::uint16_t status = 0;
};

// Statuses whose hundreds do not fit one byte (25600 and above) are never matched against declared
// patterns: with declared responses they go to the unexpected responses under their real status,
// counted whole. Counters saturate at their largest value instead of wrapping.
ResponseOutcome record_response(model::OperationRecord& operation, const ResponseInfo& response);

// Decodes and traces the body into the first body whose media range fits its content type, and
// counts that body's hit (also when it does not decode). Other media types count only for a body
// marked to count them, and are never traced.
void trace_response_body(std::vector<model::ResponseBody>& bodies, const ResponseInfo& response);

}  // namespace vantorel::recorders
