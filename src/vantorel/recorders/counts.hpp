#pragma once
// Counts export and merge: parallel test workers (pytest-xdist processes) each build a map of the
// same document and record their own traffic; each exports its counts as opaque bytes and one
// process merges them all into its map, whose reports then cover the whole run. The bytes carry
// every counter, time, unexpected response, recorded error message, label bitmap and unmatched
// group, nothing of the document: the receiver recomputes its own layout of counter slots and
// refuses bytes that do not fit it.
//
//   // with the map's lock held, in each worker
//   std::string bytes = export_counts_writer(map);
//   // with the lock held, in the controller
//   if (auto error = merge_counts(map, bytes)) raise(merge_error_message(*error));
//
// Merging is additive: merging the same bytes twice adds every counter twice. Sums saturate.
// Everything read is checked before it sizes anything, and nothing of the map changes until the
// whole input has been decoded and found to fit.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vantorel/recorders/coverage_map.hpp"

namespace vantorel::recorders {

inline constexpr std::string_view kCountsMalformed = "coverage counts are malformed or from another Vantorel version";
inline constexpr std::string_view kCountsOtherSpecification =
    "coverage counts were recorded against a different specification";

enum class MergeError : std::uint8_t {
    Malformed,               // the bytes do not decode, or carry impossible values
    DifferentSpecification,  // they decode but were written by a map of another document
};

std::string_view merge_error_message(MergeError error) noexcept;

// The whole export of the map. Changes nothing (a negative time, which no export may carry, is
// written as 0, unknown).
std::string export_counts_writer(const CoverageMap& map);

// Decodes, checks and merges; on failure no counter has changed (the label registry may have been
// installed when the failure is DifferentSpecification or a time found impossible in the map's
// layout).
std::optional<MergeError> merge_counts(CoverageMap& map, std::string_view bytes);

// The number of counter slots of the map's layout.
std::uint64_t counter_slot_count(const CoverageMap& map);

// Unsigned LEB128.
void append_varint(std::string& out, std::uint64_t value);

struct ByteReader {
    std::string_view bytes;
    std::size_t at = 0;
    std::size_t remaining() const noexcept { return bytes.size() - at; }
};

// At most 10 bytes; the 10th ends the number, gives only its lowest bit and must have bit 7 clear.
std::optional<std::uint64_t> read_varint(ByteReader& reader);
// A varint length and that many bytes of valid UTF-8.
std::optional<std::string_view> read_string(ByteReader& reader);

}  // namespace vantorel::recorders
