#pragma once
// One declared response of an operation: its status pattern, counters, and one body per
// distinct media type with the measured body schema.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/value.hpp"
#include "http/media_type.hpp"
#include "vantorel/model/seeded_hash.hpp"
#include "xml/hints.hpp"
#include "zavova/coverage_state.hpp"

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
    int digit_count() const noexcept {
        return int(positions[0].present) + int(positions[1].present) + int(positions[2].present);
    }
    friend bool operator==(const StatusPattern&, const StatusPattern&) = default;
};

struct ResponseBody {
    http::MediaType media_type;
    std::vector<http::MediaType> media_types;  // every media type this body answers for
    zavova::CoverageHolder holder;
    std::shared_ptr<const deririrore::value::Value> schema;  // hydrated
    std::shared_ptr<const xml::XmlHints> xml_hints;          // empty unless the body may be XML
    std::shared_ptr<const deririrore::core::Validator> validator;
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

// Response bodies built once per build for equal (schema text, may-be-XML, scope) keys, so that
// equal schemas share one hydration, compilation and measurement.
class ResponseBodyCache {
public:
    struct Entry {
        std::shared_ptr<const deririrore::value::Value> schema;
        std::shared_ptr<const xml::XmlHints> xml_hints;
        std::shared_ptr<const deririrore::core::Validator> validator;
        zavova::CoverageHolder holder;
    };
    struct Key {
        std::string text;
        bool may_be_xml = false;
        const void* scope = nullptr;  // the referenced file's identity; null for the API document
        friend bool operator==(const Key&, const Key&) = default;
    };

    const Entry* find(const Key& key) const;
    const Entry& insert(Key key, Entry entry);
    std::size_t size() const noexcept { return entries_.size(); }

private:
    struct Hash {
        deririrore::value::HashSeeds seeds = fresh_text_hash_seeds();
        std::size_t operator()(const Key& key) const noexcept;
    };
    std::unordered_map<Key, Entry, Hash> entries_{16, Hash{}};
};

}  // namespace vantorel::model
