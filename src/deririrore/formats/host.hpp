#pragma once
// Host names (RFC 1123, IDNA2008 labels, UTS #46) and IP address texts.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace deririrore::formats {

// "hostname" of drafts 4 and 6: 1 to 253 bytes of letters, digits, "-" and
// ".", no trailing dot, labels of 1 to 63 bytes not starting or ending in "-".
bool check_legacy_hostname(std::string_view text) noexcept;
// "hostname" of draft 7 and later: the legacy rules, and every label with "--"
// in its third and fourth byte must be a lowercase "xn--" A-label whose
// Punycode decodes to a label that passes check_ulabel_rules.
bool check_hostname_labels(std::string_view text) noexcept;
// The contextual and category rules every decoded label must meet.
bool check_ulabel_rules(std::u32string_view label) noexcept;
// "idn-hostname": UTS #46 ToASCII (STD3 rules, hyphen checks, DNS lengths),
// then check_hostname_labels on the ASCII form.
bool check_idn_hostname(std::string_view text);

// "Domain to ASCII" of the URL Standard (not strict): UTS #46 ToASCII without STD3 rules,
// hyphen checks or DNS lengths, with bidi and joiner checks, non-transitional. The domain must
// already be percent-decoded UTF-8. None when UTS #46 reports an error or the result is empty.
std::optional<std::string> url_domain_to_ascii(std::string_view domain);

// RFC 3492 decoding of the part of an A-label after "xn--"; none when the input
// is not a base-36 digit string, overflows, or yields a code point that is a
// surrogate or beyond U+10FFFF. `out` must hold `capacity` code points.
std::optional<std::size_t> punycode_decode(std::string_view input, char32_t* out,
                                           std::size_t capacity) noexcept;

// Dotted-quad IPv4, decimal without leading zeros.
bool check_ipv4(std::string_view text) noexcept;
// IPv6 text form of RFC 4291 section 2.2 (no zone, brackets or prefix).
bool check_ipv6(std::string_view text) noexcept;

}  // namespace deririrore::formats
