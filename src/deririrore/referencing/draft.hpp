#pragma once
// The JSON Schema drafts, and the pure operations on them: draft of a `$schema` text, draft of a
// schema object, its identifier under a draft, and the keywords each draft knows.
#include <cstdint>
#include <optional>
#include <string_view>

#include "deririrore/value/value.hpp"

namespace deririrore::referencing {

using value::Value;

// Ordered: a draft later than Draft7 compares greater. `Unknown` only comes out of detection
// (a custom meta-schema) and behaves like Draft202012 unless stated otherwise.
enum class Draft : std::uint8_t {
    Draft4 = 0,
    Draft6 = 1,
    Draft7 = 2,
    Draft201909 = 3,
    Draft202012 = 4,
    Unknown = 5,
};

std::string_view draft_name(Draft draft) noexcept;

// Trailing '#' characters are ignored; http and https forms are accepted; anything else is Unknown.
Draft draft_from_url(std::string_view text) noexcept;
// The draft a value's string "$schema" names, or `fallback` without one.
Draft detect_draft(Draft fallback, const Value& value) noexcept;
// The identifier the object declares under the draft, viewing the value's own text.
std::optional<std::string_view> draft_id_of(Draft draft, const Value& value) noexcept;
bool is_known_keyword(Draft draft, std::string_view keyword) noexcept;

// The string member `key` of an object value, if there is one.
inline std::optional<std::string_view> string_member(const Value& value, std::string_view key) noexcept {
    if (!value.is_object()) return std::nullopt;
    const Value* member = value.find(key);
    if (member == nullptr || !member->is_string()) return std::nullopt;
    return std::string_view(member->as_string());
}

// Published meta-schema identifiers, without their trailing '#'.
inline constexpr std::string_view kDraft4Id = "http://json-schema.org/draft-04/schema";
inline constexpr std::string_view kDraft6Id = "http://json-schema.org/draft-06/schema";
inline constexpr std::string_view kDraft7Id = "http://json-schema.org/draft-07/schema";
inline constexpr std::string_view kDraft201909Id = "https://json-schema.org/draft/2019-09/schema";
inline constexpr std::string_view kDraft202012Id = "https://json-schema.org/draft/2020-12/schema";
inline constexpr std::string_view kUnversionedId = "https://json-schema.org/schema";
// Prefixes shared by the https 2019-09/2020-12 identifiers and by the http draft 4/6/7 ones.
inline constexpr std::string_view kModernMetaPrefix = "https://json-schema.org/draft/";
inline constexpr std::string_view kLegacyMetaPrefix = "http://json-schema.org/draft-";

}  // namespace deririrore::referencing
