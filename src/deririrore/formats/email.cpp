#include "deririrore/formats/email.hpp"

#include <cstddef>
#include <string>

#include "deririrore/formats/host.hpp"

namespace deririrore::formats {
namespace {

// RFC 5321 caps the local part at 64 octets.
constexpr std::size_t max_local_part = 64;

bool is_atext(unsigned char c) noexcept {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
        case '-': case '/': case '=': case '?': case '^': case '_': case '`': case '{':
        case '|': case '}': case '~':
            return true;
        default:
            return false;
    }
}

class EmailParser {
public:
    EmailParser(std::string_view text, const EmailOptions& options, bool non_ascii_as_letter) noexcept
        : t_(text), opts_(options), non_ascii_as_letter_(non_ascii_as_letter) {}

    std::optional<EmailAddress> parse() noexcept {
        if (!t_.empty() && t_.back() == '>') {
            if (!opts_.display_name_allowed) return std::nullopt;
            return name_addr();
        }
        auto address = addr_spec();
        if (!address || pos_ != t_.size()) return std::nullopt;
        return address;
    }

private:
    bool at_end() const noexcept { return pos_ >= t_.size(); }
    unsigned char peek() const noexcept { return static_cast<unsigned char>(t_[pos_]); }

    // Consumes one non-ASCII character when they count as letters; its bytes
    // are not validated here, the text is UTF-8 already.
    bool take_non_ascii() noexcept {
        if (at_end() || peek() < 0x80 || !non_ascii_as_letter_) return false;
        ++pos_;
        while (!at_end() && (peek() & 0xC0) == 0x80) ++pos_;
        return true;
    }

    bool take_atext() noexcept {
        if (at_end()) return false;
        if (is_atext(peek())) {
            ++pos_;
            return true;
        }
        return take_non_ascii();
    }

    bool atom() noexcept {
        if (!take_atext()) return false;
        while (take_atext()) {
        }
        return true;
    }

    bool dot_atom() noexcept {
        if (!atom()) return false;
        while (!at_end() && peek() == '.') {
            ++pos_;
            if (!atom()) return false;
        }
        return true;
    }

    bool quoted_string() noexcept {
        if (at_end() || peek() != '"') return false;
        ++pos_;
        while (!at_end()) {
            const unsigned char c = peek();
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c == '\\') {
                ++pos_;
                if (at_end() || peek() < 32 || peek() > 126) return false;
                ++pos_;
            } else if (c >= 32 && c <= 126) {
                ++pos_;
            } else if (!take_non_ascii()) {
                return false;
            }
        }
        return false;
    }

    bool domain_literal() noexcept {
        ++pos_;
        while (!at_end()) {
            const unsigned char c = peek();
            if (c == ']') {
                ++pos_;
                return true;
            }
            if ((c >= 33 && c <= 90) || (c >= 94 && c <= 126)) {
                ++pos_;
            } else if (!take_non_ascii()) {
                return false;
            }
        }
        return false;
    }

    std::optional<EmailAddress> addr_spec() noexcept {
        const std::size_t local_start = pos_;
        const bool local_ok = (!at_end() && peek() == '"') ? quoted_string() : dot_atom();
        if (!local_ok) return std::nullopt;
        const std::size_t local_end = pos_;
        if (local_end - local_start > max_local_part) return std::nullopt;
        if (at_end() || peek() != '@') return std::nullopt;
        ++pos_;
        const std::size_t domain_start = pos_;
        if (!at_end() && peek() == '[') {
            if (!opts_.domain_literal_allowed || !domain_literal()) return std::nullopt;
        } else {
            if (!dot_atom()) return std::nullopt;
            uint64_t labels = 1;
            for (std::size_t i = domain_start; i < pos_; ++i) {
                if (t_[i] == '.') ++labels;
            }
            if (labels < opts_.min_domain_labels) return std::nullopt;
        }
        return EmailAddress{t_.substr(local_start, local_end - local_start),
                            t_.substr(domain_start, pos_ - domain_start)};
    }

    void skip_wsp() noexcept {
        while (!at_end() && (peek() == ' ' || peek() == '\t')) ++pos_;
    }

    // [phrase] "<" addr-spec ">"; a phrase's words may hold "." as names such
    // as "John Q. Public" do.
    std::optional<EmailAddress> name_addr() noexcept {
        while (true) {
            skip_wsp();
            if (at_end()) return std::nullopt;
            if (peek() == '<') break;
            if (peek() == '"') {
                if (!quoted_string()) return std::nullopt;
                continue;
            }
            const std::size_t word_start = pos_;
            while (!at_end()) {
                if (peek() == '.') {
                    ++pos_;
                } else if (!take_atext()) {
                    break;
                }
            }
            if (pos_ == word_start) return std::nullopt;
        }
        ++pos_;
        auto address = addr_spec();
        if (!address || at_end() || peek() != '>' || pos_ + 1 != t_.size()) return std::nullopt;
        return address;
    }

    std::string_view t_;
    const EmailOptions& opts_;
    bool non_ascii_as_letter_;
    std::size_t pos_ = 0;
};

const EmailOptions default_options{};

bool is_ascii(std::string_view t) noexcept {
    for (const char c : t) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// A domain literal's inner text, or none when `domain` is not bracketed.
std::optional<std::string_view> literal_inner(std::string_view domain) noexcept {
    if (domain.size() < 2 || domain.front() != '[' || domain.back() != ']') return std::nullopt;
    return domain.substr(1, domain.size() - 2);
}

bool check_literal(std::string_view inner) noexcept {
    if (inner.size() >= 5) {
        const std::string_view tag = inner.substr(0, 5);
        const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
        if (lower(tag[0]) == 'i' && lower(tag[1]) == 'p' && lower(tag[2]) == 'v' && tag[3] == '6' &&
            tag[4] == ':') {
            return check_ipv6(inner.substr(5));
        }
    }
    return check_ipv4(inner);
}

// An empty quoted local part is judged as the local part "a" in quotes.
std::optional<std::string> rewrite_empty_quoted(std::string_view text) {
    if (text.substr(0, 3) != "\"\"@") return std::nullopt;
    std::string rewritten = "\"a\"@";
    rewritten.append(text.substr(3));
    return rewritten;
}

bool check_email_impl(std::string_view text, const EmailOptions& options) {
    const auto address = parse_email_address(text, options);
    if (!address || !is_ascii(address->local)) return false;
    if (const auto inner = literal_inner(address->domain)) return check_literal(*inner);
    return check_hostname_labels(address->domain);
}

bool check_idn_email_impl(std::string_view text, const EmailOptions& options) {
    if (const auto address = parse_email_address(text, options)) {
        return check_email_domain(address->domain);
    }
    if (is_ascii(text)) return false;
    const auto address = parse_email_address(text, options, true);
    if (!address) return false;
    return check_email_domain(address->domain);
}

}  // namespace

std::optional<EmailAddress> parse_email_address(std::string_view text, const EmailOptions& options,
                                                bool non_ascii_as_letter) noexcept {
    return EmailParser(text, options, non_ascii_as_letter).parse();
}

bool check_email_domain(std::string_view domain) {
    if (const auto inner = literal_inner(domain)) return check_literal(*inner);
    return check_idn_hostname(domain);
}

bool check_email(std::string_view text, const EmailOptions* options) {
    const EmailOptions& opts = options ? *options : default_options;
    if (const auto rewritten = rewrite_empty_quoted(text)) return check_email_impl(*rewritten, opts);
    return check_email_impl(text, opts);
}

bool check_idn_email(std::string_view text, const EmailOptions* options) {
    const EmailOptions& opts = options ? *options : default_options;
    if (const auto rewritten = rewrite_empty_quoted(text)) return check_idn_email_impl(*rewritten, opts);
    return check_idn_email_impl(text, opts);
}

}  // namespace deririrore::formats
