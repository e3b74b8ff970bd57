#pragma once
// The operations of one path template: at most one record per HTTP method, in the order the
// methods were first inserted, and what is measured for each operation.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/result.hpp"
#include "http/method.hpp"
#include "vantorel/model/parameter_target.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/response_target.hpp"
#include "vantorel/model/seeded_hash.hpp"

namespace vantorel::model {

using http::HttpMethod;

// A response whose status matched no declared response and no `default`.
struct UnexpectedResponse {
    std::uint16_t status = 0;
    std::uint32_t hits = 0;
    float elapsed_total = 0;
    double first_seen = 0;
};

inline constexpr std::uint32_t kUnnumbered = 0xffffffffu;

struct OperationRecord {
    std::vector<ParameterTarget> parameters;               // a request body is a target of its own kind
    std::vector<ResponseTarget> responses;                 // declared, `default` apart
    ResponseTarget default_response;                       // meaningful while has_default_response
    std::vector<UnexpectedResponse> unexpected_responses;  // in the order first seen
    bool has_default_response = false;
    std::vector<std::string> tags;
    std::optional<std::string> operation_id;
    std::optional<std::string> shadowed_by;  // the template owning the route this one conflicts with
    TextSet errors;                          // distinct messages recorded by test code
    std::uint64_t hits = 0;
    double first_seen = 0;
    std::uint32_t ordinal = kUnnumbered;
    bool deprecated = false;
};

// Why an insertion gave no record.
enum class SlotRefusal : std::uint8_t {
    // The method already has a record: the first one inserted stays the operation.
    Duplicate,
    // The byte is not one of the nine methods.
    NotAMethod,
};

class MethodMap {
public:
    static constexpr std::size_t kSlots = 9;

    MethodMap() = default;
    MethodMap(MethodMap&&) noexcept = default;
    MethodMap& operator=(MethodMap&&) noexcept = default;

    // A new record in the next free slot. A method already present, or a byte that is no method,
    // is refused, so that no operation is ever shadowed by one that cannot be reached.
    deririrore::Result<OperationRecord*, SlotRefusal> insert(HttpMethod method);

    // The record of the method, or nullptr.
    OperationRecord* get(HttpMethod method) noexcept;
    const OperationRecord* get(HttpMethod method) const noexcept;

    std::size_t size() const noexcept;
    bool empty() const noexcept { return order_[0] == 0; }
    const std::array<std::uint8_t, 16>& order() const noexcept { return order_; }

    template <class Record>
    struct Entry {
        HttpMethod method;
        Record& record;
    };

    // (method, record) in slot order. Each step checks the layout: a byte that is no method
    // ("Invalid method index"), a tenth position ("Missing operation") or a used position
    // without a record ("This operation was inserted") is a broken invariant
    // (deririrore::InternalError).
    template <class Map, class Record>
    class Iterator {
    public:
        Iterator(Map* map, std::size_t pos) : map_(map), pos_(pos) { settle(); }
        Entry<Record> operator*() const;
        Iterator& operator++() {
            ++pos_;
            settle();
            return *this;
        }
        bool operator==(const Iterator& o) const noexcept { return pos_ == o.pos_; }

    private:
        void settle() noexcept {
            // Positions continue while any byte at or after them is used.
            std::size_t last = 0;
            for (std::size_t i = 0; i < 16; ++i) {
                if (map_->order_[i] != 0) last = i + 1;
            }
            if (pos_ >= last) pos_ = 16;
        }
        Map* map_;
        std::size_t pos_;
    };
    using iterator = Iterator<MethodMap, OperationRecord>;
    using const_iterator = Iterator<const MethodMap, const OperationRecord>;

    iterator begin() { return {this, 0}; }
    iterator end() { return {this, 16}; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, 16}; }

private:
    std::array<std::unique_ptr<OperationRecord>, kSlots> slots_;
    std::array<std::uint8_t, 16> order_{};
};

template <class Map, class Record>
MethodMap::Entry<Record> MethodMap::Iterator<Map, Record>::operator*() const {
    const std::uint8_t byte = map_->order_[pos_];
    if (!http::is_http_method(byte)) throw deririrore::InternalError("Invalid method index");
    if (pos_ >= kSlots) throw deririrore::InternalError("Missing operation");
    if (!map_->slots_[pos_]) throw deririrore::InternalError("This operation was inserted");
    return {static_cast<HttpMethod>(byte), *map_->slots_[pos_]};
}

// The record for a method of a path item, for the operation extraction. A duplicate method is
// recorded as a "duplicate_operation" problem of that path key and method, and nullptr
// answered: the extraction then skips the operation.
OperationRecord* insert_operation_slot(MethodMap& methods, HttpMethod method, std::string_view path_key,
                                       std::vector<ProblemEntry>& problems);

// The method's record, or nullptr; the only record a method can have is the first inserted.
inline OperationRecord* get_operation(MethodMap& methods, HttpMethod method) noexcept { return methods.get(method); }
inline const OperationRecord* get_operation(const MethodMap& methods, HttpMethod method) noexcept {
    return methods.get(method);
}

}  // namespace vantorel::model
