#include "deririrore/referencing/pointer.hpp"

#include <algorithm>

#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"

namespace deririrore::referencing {

namespace {

const Value* object_member(const Value& v, std::string_view key) noexcept { return v.find(key); }

}  // namespace

std::optional<std::uint64_t> parse_strict_index(std::string_view token) noexcept {
    if (token.empty()) return std::nullopt;
    if (token.size() > 1 && token.front() == '0') return std::nullopt;
    std::uint64_t value = 0;
    for (char c : token) {
        if (c < '0' || c > '9') return std::nullopt;
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

Result<std::uint64_t, IntParseErrorKind> parse_lenient_index(std::string_view token) noexcept {
    if (token.empty()) return make_unexpected(IntParseErrorKind::Empty);
    if (token == "+" || token == "-") return make_unexpected(IntParseErrorKind::InvalidDigit);
    if (token.front() == '+') token.remove_prefix(1);
    std::uint64_t value = 0;
    bool overflow = false;
    for (char c : token) {
        if (c < '0' || c > '9') return make_unexpected(IntParseErrorKind::InvalidDigit);
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (!overflow && value > (UINT64_MAX - digit) / 10) overflow = true;
        if (!overflow) value = value * 10 + digit;
    }
    if (overflow) return make_unexpected(IntParseErrorKind::PosOverflow);
    return value;
}

std::string_view unescape_pointer_segment(std::string_view token, std::string& scratch) {
    std::size_t tilde = token.find('~');
    if (tilde == std::string_view::npos) return token;
    scratch.clear();
    scratch.reserve(token.size());
    std::size_t i = 0;
    while (tilde != std::string_view::npos) {
        scratch.append(token.substr(i, tilde - i));
        if (tilde + 1 >= token.size()) {
            scratch.push_back('~');
            i = token.size();
            break;
        }
        char next = token[tilde + 1];
        if (next == '0') {
            scratch.push_back('~');
        } else if (next == '1') {
            scratch.push_back('/');
        } else {
            scratch.push_back('~');
            scratch.push_back(next);
        }
        i = tilde + 2;
        tilde = token.find('~', i);
    }
    if (i < token.size()) scratch.append(token.substr(i));
    return scratch;
}

std::string unescape_pointer_segment(std::string_view token) {
    std::string scratch;
    return std::string(unescape_pointer_segment(token, scratch));
}

void push_pointer_segment(std::string& buffer, std::string_view key) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < key.size(); ++i) {
        char c = key[i];
        if (c != '~' && c != '/') continue;
        buffer.append(key.substr(start, i - start));
        buffer.append(c == '~' ? "~0" : "~1");
        start = i + 1;
    }
    buffer.append(key.substr(start));
}

const Value* pointer_lookup(const Value& root, std::string_view pointer) noexcept {
    if (pointer.empty()) return &root;
    if (pointer.front() != '/') return nullptr;
    const Value* current = &root;
    std::string scratch;
    std::string_view rest = pointer.substr(1);
    while (true) {
        std::size_t slash = rest.find('/');
        std::string_view token = rest.substr(0, slash);
        std::string_view key = unescape_pointer_segment(token, scratch);
        if (current->is_object()) {
            current = object_member(*current, key);
            if (current == nullptr) return nullptr;
        } else if (current->is_array()) {
            auto index = parse_strict_index(key);
            const auto& items = current->as_array();
            if (!index || *index >= items.size()) return nullptr;
            current = &items[static_cast<std::size_t>(*index)];
        } else {
            return nullptr;
        }
        if (slash == std::string_view::npos) return current;
        rest.remove_prefix(slash + 1);
    }
}

std::vector<PathSegment> pointer_to_segments(std::string_view pointer) {
    std::vector<PathSegment> out;
    if (pointer.empty() || pointer.front() != '/') return out;
    std::string_view rest = pointer.substr(1);
    while (true) {
        std::size_t slash = rest.find('/');
        std::string token = unescape_pointer_segment(rest.substr(0, slash));
        if (auto index = parse_strict_index(token)) {
            out.emplace_back(*index);
        } else {
            out.emplace_back(std::move(token));
        }
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return out;
}

Result<std::string, ReferenceError> decode_fragment_pointer(std::string_view fragment) {
    std::string_view text = fragment.empty() ? fragment : fragment.substr(1);
    std::string decoded = value::percent_decode(text);
    if (auto bad = check_utf8(decoded))
        return make_unexpected(ReferenceError(ReferenceError::InvalidPercentEncoding{std::string(fragment), *bad}));
    return decoded;
}

Result<const Value*, ReferenceError> fragment_pointer_step(const Value& current, std::string_view token,
                                                           std::string_view fragment, std::string& scratch) {
    if (current.is_array()) {
        auto index = parse_lenient_index(token);
        if (!index)
            return make_unexpected(ReferenceError(
                ReferenceError::InvalidArrayIndex{std::string(fragment), std::string(token), index.error()}));
        const auto& items = current.as_array();
        if (*index >= items.size())
            return make_unexpected(ReferenceError(ReferenceError::PointerToNowhere{std::string(fragment)}));
        return &items[static_cast<std::size_t>(*index)];
    }
    std::string_view key = unescape_pointer_segment(token, scratch);
    const Value* next = current.is_object() ? object_member(current, key) : nullptr;
    if (next == nullptr)
        return make_unexpected(ReferenceError(ReferenceError::PointerToNowhere{std::string(fragment)}));
    return next;
}

}  // namespace deririrore::referencing
