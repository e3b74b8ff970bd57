#include "http/header_map.hpp"

#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <limits>

namespace http {

namespace {

bool is_ascii(std::string_view s) noexcept {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool is_utf8(std::string_view s) noexcept {
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    const auto length = static_cast<std::int32_t>(s.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(p, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

std::string ascii_lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

std::string fold_header_name(std::string_view name) {
    // Full folding of ASCII is its lower case; most header names never reach ICU.
    if (is_ascii(name) || name.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) ||
        !is_utf8(name)) {
        return ascii_lower(name);
    }
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<std::int32_t>(name.size())));
    text.foldCase(U_FOLD_CASE_DEFAULT);
    std::string out;
    text.toUTF8String(out);
    return out;
}

void HeaderMap::set(std::string name, std::string value) {
    std::string folded = fold_header_name(name);
    fields_.insert_or_assign(std::move(folded), Field{std::move(name), std::move(value)});
}

bool HeaderMap::insert(std::string name, std::string value) {
    std::string folded = fold_header_name(name);
    return fields_.try_emplace(std::move(folded), Field{std::move(name), std::move(value)}).second;
}

void HeaderMap::insert_header(std::string name, std::string value) {
    std::string folded = fold_header_name(name);
    auto [it, added] = fields_.try_emplace(std::move(folded), Field{std::move(name), value});
    if (!added) it->second.value = std::move(value);
}

const std::string* HeaderMap::find(std::string_view name) const {
    if (fields_.empty()) return nullptr;
    const auto it = fields_.find(fold_header_name(name));
    return it == fields_.end() ? nullptr : &it->second.value;
}

std::optional<std::string_view> find_header_ignore_case(const HeaderMap& headers, std::string_view name) {
    const std::string* value = headers.find(name);
    if (value == nullptr) return std::nullopt;
    return std::string_view(*value);
}

}  // namespace http
