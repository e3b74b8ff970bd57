#include <array>

#include "deririrore/formats/formats.hpp"

namespace deririrore::formats {
namespace {

constexpr std::array<std::string_view, 20> names = {
    "date",  "date-time", "duration", "email", "hostname", "hostname", "idn-email",
    "idn-hostname", "ipv4", "ipv6", "iri", "iri-reference", "json-pointer", "regex",
    "relative-json-pointer", "time", "uri", "uri-reference", "uri-template", "uuid",
};

}  // namespace

std::string_view builtin_format_name(BuiltinFormat format) noexcept {
    const auto id = static_cast<std::size_t>(format);
    return id < names.size() ? names[id] : std::string_view();
}

bool check_builtin(BuiltinFormat format, std::string_view text, const EmailOptions* email_options) {
    switch (format) {
        case BuiltinFormat::Date: return check_date(text);
        case BuiltinFormat::DateTime: return check_date_time(text);
        case BuiltinFormat::Duration: return check_duration(text);
        case BuiltinFormat::Email: return check_email(text, email_options);
        case BuiltinFormat::Hostname: return check_hostname_labels(text);
        case BuiltinFormat::HostnameDraft4: return check_legacy_hostname(text);
        case BuiltinFormat::IdnEmail: return check_idn_email(text, email_options);
        case BuiltinFormat::IdnHostname: return check_idn_hostname(text);
        case BuiltinFormat::Ipv4: return check_ipv4(text);
        case BuiltinFormat::Ipv6: return check_ipv6(text);
        case BuiltinFormat::Iri: return check_iri(text);
        case BuiltinFormat::IriReference: return check_iri_reference(text);
        case BuiltinFormat::JsonPointer: return check_json_pointer(text);
        case BuiltinFormat::Regex: return is_valid_regex_cached(text);
        case BuiltinFormat::RelativeJsonPointer: return check_relative_json_pointer(text);
        case BuiltinFormat::Time: return check_time(text);
        case BuiltinFormat::Uri: return check_uri(text);
        case BuiltinFormat::UriReference: return check_uri_reference(text);
        case BuiltinFormat::UriTemplate: return check_uri_template(text);
        case BuiltinFormat::Uuid: return check_builtin_uuid(text);
        case BuiltinFormat::None: break;
    }
    return false;
}

}  // namespace deririrore::formats
