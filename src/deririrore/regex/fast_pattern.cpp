#include "deririrore/regex/fast_pattern.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "deririrore/regex/unicode.hpp"

namespace deririrore::regex {
namespace {

bool literal_char(unsigned char c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '-' || c == '/' || c == '_';
}

bool escapable(unsigned char c) { return c == '$' || c == '-' || c == '.' || c == '/' || c == '_'; }

// Converts `body` by the literal rules. An unescaped '$' is allowed only as the last character
// when `dollar_end` is given, which then reports it.
bool convert(std::string_view body, std::string* out, bool* dollar_end) {
    if (dollar_end) *dollar_end = false;
    for (size_t i = 0; i < body.size(); ++i) {
        const auto c = static_cast<unsigned char>(body[i]);
        if (c == '\\') {
            if (i + 1 >= body.size()) return false;
            const auto next = static_cast<unsigned char>(body[i + 1]);
            if (!escapable(next)) return false;
            if (out) out->push_back(static_cast<char>(next));
            ++i;
        } else if (c == '$') {
            if (dollar_end == nullptr || i + 1 != body.size()) return false;
            *dollar_end = true;
        } else if (literal_char(c)) {
            if (out) out->push_back(static_cast<char>(c));
        } else {
            return false;
        }
    }
    return true;
}

void sort_literals(std::vector<std::string>& items) {
    if (items.size() <= 20) {
        for (size_t i = 1; i < items.size(); ++i) {
            for (size_t j = i; j > 0 && items[j] < items[j - 1]; --j) std::swap(items[j], items[j - 1]);
        }
    } else {
        std::sort(items.begin(), items.end());
    }
}

bool is_ascii(std::string_view text) {
    const char* p = text.data();
    size_t n = text.size();
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    while (n >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        if (w & kHigh) return false;
        p += 8;
        n -= 8;
    }
    while (n > 0) {
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
        ++p;
        --n;
    }
    return true;
}

}  // namespace

FastPattern FastPatternRef::to_owned() const {
    FastPattern out;
    out.kind = kind_;
    out.literal = std::string(literal());
    out.alternatives = alternatives_;
    return out;
}

bool FastPattern::matches(std::string_view text) const {
    switch (kind) {
        case FastPatternKind::Prefix:
            return text.size() >= literal.size() && std::memcmp(text.data(), literal.data(), literal.size()) == 0;
        case FastPatternKind::Exact:
            return text == literal;
        case FastPatternKind::Alternatives:
            for (const std::string& alt : alternatives) {
                if (alt.size() == text.size() && std::memcmp(alt.data(), text.data(), text.size()) == 0) return true;
            }
            return false;
        case FastPatternKind::NoWhitespace:
            return !contains_ecma_whitespace(text);
    }
    return false;
}

std::optional<FastPatternRef> classify_fast_pattern(std::string_view pattern) {
    FastPatternRef ref;
    if (pattern == "^\\S*$") {
        ref.kind_ = FastPatternKind::NoWhitespace;
        return ref;
    }
    if (pattern.size() >= 4 && pattern.substr(0, 2) == "^(" && pattern.substr(pattern.size() - 2) == ")$") {
        const std::string_view inner = pattern.substr(2, pattern.size() - 4);
        size_t start = 0;
        for (;;) {
            const size_t bar = inner.find('|', start);
            const std::string_view piece = inner.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
            std::string literal;
            if (!convert(piece, &literal, nullptr)) return std::nullopt;
            ref.alternatives_.push_back(std::move(literal));
            if (bar == std::string_view::npos) break;
            start = bar + 1;
        }
        sort_literals(ref.alternatives_);
        ref.kind_ = FastPatternKind::Alternatives;
        return ref;
    }
    if (pattern.empty() || pattern[0] != '^') return std::nullopt;
    const std::string_view body = pattern.substr(1);
    const bool escaped = std::memchr(body.data(), '\\', body.size()) != nullptr;
    bool dollar = false;
    std::string literal;
    if (!convert(body, escaped ? &literal : nullptr, &dollar)) return std::nullopt;
    ref.kind_ = dollar ? FastPatternKind::Exact : FastPatternKind::Prefix;
    if (escaped) {
        ref.owned_ = std::move(literal);
    } else {
        ref.slice_ = dollar ? body.substr(0, body.size() - 1) : body;
    }
    return ref;
}

std::optional<FastPattern> classify_fast_pattern_owned(std::string_view pattern) {
    auto ref = classify_fast_pattern(pattern);
    if (!ref) return std::nullopt;
    return ref->to_owned();
}

bool contains_ecma_whitespace(std::string_view text) {
    if (is_ascii(text)) {
        for (char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c >= 0x09 && c <= 0x0D) || c == 0x20) return true;
        }
        return false;
    }
    size_t i = 0;
    while (i < text.size()) {
        char32_t cp;
        const size_t len = detail::decode_one(text, i, cp);
        if (len == 0) {
            ++i;
            continue;
        }
        if (detail::is_ecma_whitespace(cp)) return true;
        i += len;
    }
    return false;
}

}  // namespace deririrore::regex
