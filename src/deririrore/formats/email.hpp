#pragma once
// E-mail address syntax (RFC 5321 mailbox, RFC 5322 name-addr) and the
// "email" and "idn-email" checks built on it.
#include <cstdint>
#include <optional>
#include <string_view>

namespace deririrore::formats {

struct EmailOptions {
    // An address whose domain name has fewer dot-separated labels fails; 0
    // imposes nothing. Domain literals are not names and are not counted.
    uint64_t min_domain_labels = 0;
    // A domain written as a literal in square brackets is accepted.
    bool domain_literal_allowed = true;
    // "Display Name <local@domain>" is accepted.
    bool display_name_allowed = true;
};

// Views into the parsed text: the local part (quotes kept) and the domain
// (brackets kept for a literal).
struct EmailAddress {
    std::string_view local;
    std::string_view domain;
};

// Syntax only: Local-part "@" (Domain / "[" dtext "]"), optionally as
// phrase "<" address ">". With `non_ascii_as_letter` every non-ASCII character
// counts as the letter "a"; otherwise it rejects the text.
std::optional<EmailAddress> parse_email_address(std::string_view text, const EmailOptions& options,
                                                bool non_ascii_as_letter = false) noexcept;

// "email"; `options` null means the defaults.
bool check_email(std::string_view text, const EmailOptions* options = nullptr);
// "idn-email"; `options` null means the defaults.
bool check_idn_email(std::string_view text, const EmailOptions* options = nullptr);
// The domain rule of "idn-email": a bracketed IPv4 or "IPv6:" literal, or an
// internationalised host name.
bool check_email_domain(std::string_view domain);

}  // namespace deririrore::formats
