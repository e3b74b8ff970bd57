#include <unicode/bytestream.h>
#include <unicode/idna.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "deririrore/formats/host.hpp"
#include "deririrore/formats/host_internal.hpp"

namespace deririrore::formats {
namespace {

constexpr std::array<char32_t, 50> virama_list = {
    0x094D,  0x09CD,  0x0A4D,  0x0ACD,  0x0B4D,  0x0BCD,  0x0C4D,  0x0CCD,  0x0D4D,  0x0DCA,
    0x0E3A,  0x0F84,  0x1039,  0x1714,  0x1734,  0x17D2,  0x1A60,  0x1B44,  0x1BAA,  0x1BF2,
    0x1BF3,  0x2D7F,  0xA806,  0xA8C4,  0xA953,  0xABED,  0x10A3F, 0x11046, 0x1107F, 0x110B9,
    0x11133, 0x111C0, 0x11235, 0x112EA, 0x1134D, 0x11442, 0x114C2, 0x115BF, 0x1163F, 0x116B6,
    0x1172B, 0x11839, 0x119E0, 0x11A34, 0x11A47, 0x11A99, 0x11C3F, 0x11D44, 0x11D45, 0x11D97,
};

bool is_virama(char32_t c) noexcept {
    return std::binary_search(virama_list.begin(), virama_list.end(), c);
}

bool is_combining_mark(char32_t c) noexcept {
    const int8_t gc = u_charType(static_cast<UChar32>(c));
    return gc == U_NON_SPACING_MARK || gc == U_COMBINING_SPACING_MARK || gc == U_ENCLOSING_MARK;
}

bool has_label_category(char32_t c) noexcept {
    switch (u_charType(static_cast<UChar32>(c))) {
        case U_LOWERCASE_LETTER:
        case U_UPPERCASE_LETTER:
        case U_TITLECASE_LETTER:
        case U_OTHER_LETTER:
        case U_MODIFIER_LETTER:
        case U_NON_SPACING_MARK:
        case U_COMBINING_SPACING_MARK:
        case U_DECIMAL_DIGIT_NUMBER:
            return true;
        default:
            return false;
    }
}

// RFC 3492 parameters.
constexpr uint32_t base = 36;
constexpr uint32_t tmin = 1;
constexpr uint32_t tmax = 26;
constexpr uint32_t skew = 38;
constexpr uint32_t damp = 700;
constexpr uint32_t initial_bias = 72;
constexpr uint32_t initial_n = 128;

uint32_t adapt(uint32_t delta, uint32_t num_points, bool first_time) noexcept {
    delta = first_time ? delta / damp : delta / 2;
    delta += delta / num_points;
    uint32_t k = 0;
    while (delta > ((base - tmin) * tmax) / 2) {
        delta /= base - tmin;
        k += base;
    }
    return k + (base - tmin + 1) * delta / (delta + skew);
}

int base36_digit(char c) noexcept {
    if (c >= 'a' && c <= 'z') return c - 'a';
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= '0' && c <= '9') return c - '0' + 26;
    return -1;
}

// STD3 rules, hyphen checks and DNS lengths are always on in ICU's ToASCII once
// STD3 is asked for; bidi is checked because IDNA2008 requires it of every
// label in a name holding right-to-left text. The contextual rules are ours
// (check_ulabel_rules), so ICU's CONTEXTJ/CONTEXTO options stay off.
const icu::IDNA& uts46() {
    static const std::unique_ptr<icu::IDNA> instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::IDNA> idna(icu::IDNA::createUTS46Instance(
            UIDNA_USE_STD3_RULES | UIDNA_CHECK_BIDI | UIDNA_NONTRANSITIONAL_TO_ASCII |
                UIDNA_NONTRANSITIONAL_TO_UNICODE,
            status));
        if (U_FAILURE(status) || !idna) {
            throw std::runtime_error(std::string("ICU UTS #46 processor unavailable: ") +
                                     u_errorName(status));
        }
        return idna;
    }();
    return *instance;
}

// The URL Standard's profile: browsers accept "_", leading hyphens and empty labels, so the
// STD3, hyphen and length errors are off or ignored; joiners and bidi are still checked.
const icu::IDNA& url_uts46() {
    static const std::unique_ptr<icu::IDNA> instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::IDNA> idna(icu::IDNA::createUTS46Instance(
            UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ | UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_NONTRANSITIONAL_TO_UNICODE,
            status));
        if (U_FAILURE(status) || !idna) {
            throw std::runtime_error(std::string("ICU UTS #46 processor unavailable: ") + u_errorName(status));
        }
        return idna;
    }();
    return *instance;
}

bool is_ascii(std::string_view t) noexcept {
    for (const char c : t) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// A label with "-" in its third and fourth byte, A-label or not.
bool has_reserved_hyphens(std::string_view t) noexcept {
    std::size_t label_start = 0;
    while (label_start <= t.size()) {
        std::size_t end = t.find('.', label_start);
        if (end == std::string_view::npos) end = t.size();
        if (end - label_start >= 4 && t[label_start + 2] == '-' && t[label_start + 3] == '-') {
            return true;
        }
        label_start = end + 1;
    }
    return false;
}

}  // namespace

std::optional<std::size_t> punycode_decode(std::string_view input, char32_t* out,
                                           std::size_t capacity) noexcept {
    constexpr uint32_t max = std::numeric_limits<uint32_t>::max();
    std::size_t len = 0;
    std::size_t in = 0;
    const std::size_t last_delim = input.rfind('-');
    if (last_delim != std::string_view::npos && last_delim > 0) {
        if (last_delim > capacity) return std::nullopt;
        for (std::size_t j = 0; j < last_delim; ++j) {
            const auto c = static_cast<unsigned char>(input[j]);
            if (c >= 0x80) return std::nullopt;
            out[len++] = c;
        }
        in = last_delim + 1;
    }

    uint32_t n = initial_n;
    uint32_t i = 0;
    uint32_t bias = initial_bias;
    while (in < input.size()) {
        const uint32_t old_i = i;
        uint32_t w = 1;
        for (uint32_t k = base;; k += base) {
            if (in >= input.size()) return std::nullopt;
            const int d = base36_digit(input[in++]);
            if (d < 0) return std::nullopt;
            const auto digit = static_cast<uint32_t>(d);
            if (digit > (max - i) / w) return std::nullopt;
            i += digit * w;
            const uint32_t t = k <= bias ? tmin : (k >= bias + tmax ? tmax : k - bias);
            if (digit < t) break;
            if (w > max / (base - t)) return std::nullopt;
            w *= base - t;
        }
        const auto count = static_cast<uint32_t>(len + 1);
        bias = adapt(i - old_i, count, old_i == 0);
        if (i / count > max - n) return std::nullopt;
        n += i / count;
        i %= count;
        if ((n >= 0xD800 && n <= 0xDFFF) || n > 0x10FFFF) return std::nullopt;
        if (len >= capacity) return std::nullopt;
        std::copy_backward(out + i, out + len, out + len + 1);
        out[i] = n;
        ++i;
        ++len;
    }
    return len;
}

bool check_ulabel_rules(std::u32string_view label) noexcept {
    if (label.empty()) return true;
    if (is_combining_mark(label[0])) return false;
    bool has_arabic_indic = false;
    bool has_extended_arabic_indic = false;
    bool has_katakana_middle_dot = false;
    bool has_han_or_kana = false;
    for (std::size_t i = 0; i < label.size(); ++i) {
        const char32_t c = label[i];
        const char32_t prev = i > 0 ? label[i - 1] : 0;
        if (c == 0x00B7) {
            if (prev != U'l' || i + 1 >= label.size() || label[i + 1] != U'l') return false;
            ++i;
        } else if (c == 0x0375) {
            if (i + 1 >= label.size() || label[i + 1] < 0x0370 || label[i + 1] > 0x03FF) return false;
        } else if (c == 0x05F3 || c == 0x05F4) {
            if (i == 0 || prev < 0x0590 || prev > 0x05FF) return false;
        } else if (c == 0x200D) {
            if (i == 0 || !is_virama(prev)) return false;
        } else if (c == 0x30FB) {
            has_katakana_middle_dot = true;
        } else if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3040 && c <= 0x30FF)) {
            has_han_or_kana = true;
        } else if (c >= 0x0660 && c <= 0x0669) {
            has_arabic_indic = true;
        } else if (c >= 0x06F0 && c <= 0x06F9) {
            has_extended_arabic_indic = true;
        } else if (c == 0x06FD || c == 0x06FE || c == 0x0F0B || c == 0x200C || c == 0x3007) {
            // Allowed by exception, whatever their category.
        } else if (c == 0x0640 || c == 0x07FA || c == 0x302E || c == 0x302F ||
                   (c >= 0x3031 && c <= 0x3035) || c == 0x303B) {
            return false;
        } else if (c < 0x80) {
            // ASCII was vetted by the host-name rules.
        } else if (!has_label_category(c)) {
            return false;
        }
    }
    if (has_arabic_indic && has_extended_arabic_indic) return false;
    if (has_katakana_middle_dot && !has_han_or_kana) return false;
    return true;
}

std::optional<std::string> url_domain_to_ascii(std::string_view domain) {
    if (domain.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return std::nullopt;
    std::string ascii;
    icu::StringByteSink<std::string> sink(&ascii);
    icu::IDNAInfo info;
    UErrorCode status = U_ZERO_ERROR;
    url_uts46().nameToASCII_UTF8(icu::StringPiece(domain.data(), static_cast<int32_t>(domain.size())), sink, info,
                                 status);
    constexpr uint32_t ignored = UIDNA_ERROR_EMPTY_LABEL | UIDNA_ERROR_LABEL_TOO_LONG |
                                 UIDNA_ERROR_DOMAIN_NAME_TOO_LONG | UIDNA_ERROR_LEADING_HYPHEN |
                                 UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4;
    if (U_FAILURE(status) || (info.getErrors() & ~ignored) != 0 || ascii.empty()) return std::nullopt;
    return ascii;
}

bool check_idn_hostname(std::string_view text) {
    // Without non-ASCII text and without A-labels, ToASCII only lowercases, and
    // its STD3, hyphen and length checks are the ASCII host-name rules.
    if (is_ascii(text) && !has_reserved_hyphens(text)) {
        return detail::ascii_hostname_rules(text);
    }
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return false;
    std::string ascii;
    icu::StringByteSink<std::string> sink(&ascii);
    icu::IDNAInfo info;
    UErrorCode status = U_ZERO_ERROR;
    uts46().nameToASCII_UTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink,
                             info, status);
    if (U_FAILURE(status) || info.hasErrors()) return false;
    // The Unicode form of the ASCII result is its A-labels decoded, which is
    // what check_hostname_labels runs the label rules on.
    return check_hostname_labels(ascii);
}

}  // namespace deririrore::formats
