#pragma once
// Every format and content checker of the engine, and a dispatch over the
// built-in format identifiers.
#include <cstdint>
#include <string_view>

#include "deririrore/formats/content.hpp"
#include "deririrore/formats/datetime.hpp"
#include "deririrore/formats/email.hpp"
#include "deririrore/formats/host.hpp"
#include "deririrore/formats/openapi.hpp"
#include "deririrore/formats/pointer.hpp"
#include "deririrore/formats/regex_format.hpp"
#include "deririrore/formats/uri.hpp"

namespace deririrore::formats {

// The built-in formats by their one-byte identifier; 255 names none.
enum class BuiltinFormat : uint8_t {
    Date = 0,
    DateTime = 1,
    Duration = 2,
    Email = 3,
    Hostname = 4,
    HostnameDraft4 = 5,
    IdnEmail = 6,
    IdnHostname = 7,
    Ipv4 = 8,
    Ipv6 = 9,
    Iri = 10,
    IriReference = 11,
    JsonPointer = 12,
    Regex = 13,
    RelativeJsonPointer = 14,
    Time = 15,
    Uri = 16,
    UriReference = 17,
    UriTemplate = 18,
    Uuid = 19,
    None = 255,
};

// The name as written in a schema ("hostname" for both host-name forms); the
// empty text for None.
std::string_view builtin_format_name(BuiltinFormat format) noexcept;

// Runs the checker of `format` on `text`; `email_options` (null: the defaults)
// matter to Email and IdnEmail only, and Regex uses is_valid_regex_cached.
// None is never satisfied.
bool check_builtin(BuiltinFormat format, std::string_view text, const EmailOptions* email_options = nullptr);

}  // namespace deririrore::formats
