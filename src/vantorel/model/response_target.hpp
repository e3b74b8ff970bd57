#pragma once
// One declared response of an operation. The counters and the status pattern are complete; a
// body carries its media types and schema so far, and gains its coverage holder, compiled
// validator and XML hints with the response builder.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "deririrore/value/value.hpp"
#include "http/media_type.hpp"

namespace vantorel::model {

// A response key of three positions, hundreds, tens and units, each a digit or the wildcard "X".
struct StatusPattern {
    struct Position {
        bool present = false;  // false: the wildcard
        std::uint8_t digit = 0;
        friend bool operator==(const Position&, const Position&) = default;
    };
    std::array<Position, 3> positions{};  // all wildcards: the `default` response

    bool matches(std::uint16_t status) const noexcept {
        const unsigned digits[3] = {status / 100u, (status / 10u) % 10u, status % 10u};
        for (int i = 0; i < 3; ++i) {
            if (positions[i].present && positions[i].digit != digits[i]) return false;
        }
        return true;
    }
    friend bool operator==(const StatusPattern&, const StatusPattern&) = default;
};

struct ResponseBody {
    http::MediaType media_type;
    std::vector<http::MediaType> media_types;  // every media type this body answers for
    std::shared_ptr<const deririrore::value::Value> schema;
    bool count_undecoded = false;
};

struct ResponseTarget {
    std::string description;
    std::vector<ResponseBody> bodies;  // most specific first
    double first_seen = 0;
    std::uint32_t hits = 0;
    float elapsed_total = 0;
    std::uint32_t label_slot = 0xffffffffu;
    StatusPattern status;
};

}  // namespace vantorel::model
