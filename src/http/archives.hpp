#pragma once
// Recorded traffic saved by other tools, read into exchanges: HTTP Archives (HAR 1.2), VCR
// cassettes as vcrpy writes them (version 1) and Postman collections (v2.1) with saved responses.
// The document is already parsed (JSON or YAML); the readers check every member they use and
// answer the first problem with the place it was found, so that nothing of a malformed document
// is recorded.
//
//   auto read = read_archive(ArchiveFormat::Har, document, now);
//   if (!read) raise(read.error().message());
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "http/interaction.hpp"

namespace http {

enum class ArchiveFormat : std::uint8_t { Har, Vcr, Postman };

// "HAR archive", "VCR cassette", "Postman collection".
std::string_view archive_format_name(ArchiveFormat format) noexcept;

struct ArchiveError {
    ArchiveFormat format = ArchiveFormat::Har;
    std::string place;    // "log.entries[2].request.url"; empty for the document itself
    std::string problem;  // "expected a string"
    // "Invalid HAR archive at log.entries[2].request.url: expected a string"
    std::string message() const;
};

struct ArchiveExchanges {
    std::vector<Interaction> interactions;
    // Entries that are not HTTP exchanges this map can count: URLs of other schemes (data:,
    // blob:, ws:), HAR entries of requests that never got an answer are kept without response.
    std::size_t skipped = 0;
};

// `now` is the time given to exchanges whose format keeps no time of capture (seconds since the
// Unix epoch).
deririrore::Result<ArchiveExchanges, ArchiveError> read_archive(ArchiveFormat format,
                                                                const deririrore::value::Value& document, double now);

// "2026-12-11T06:30:00.123Z" or with a "+01:00" offset, to seconds since the Unix epoch; the
// fraction may have any number of digits. None for anything else.
std::optional<double> parse_iso8601_time(std::string_view text);

}  // namespace http
