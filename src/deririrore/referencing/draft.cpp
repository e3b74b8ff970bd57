#include "deririrore/referencing/draft.hpp"

namespace deririrore::referencing {

std::string_view draft_name(Draft draft) noexcept {
    switch (draft) {
        case Draft::Draft4: return "Draft4";
        case Draft::Draft6: return "Draft6";
        case Draft::Draft7: return "Draft7";
        case Draft::Draft201909: return "Draft201909";
        case Draft::Draft202012: return "Draft202012";
        case Draft::Unknown: return "Unknown";
    }
    return "Unknown";
}

Draft draft_from_url(std::string_view text) noexcept {
    while (!text.empty() && text.back() == '#') text.remove_suffix(1);
    // Compare the part after the scheme so that both schemes share one table.
    std::string_view rest;
    if (text.starts_with("https://")) {
        rest = text.substr(8);
    } else if (text.starts_with("http://")) {
        rest = text.substr(7);
    } else {
        return Draft::Unknown;
    }
    if (rest == "json-schema.org/draft-07/schema") return Draft::Draft7;
    if (rest == "json-schema.org/draft/2020-12/schema") return Draft::Draft202012;
    if (rest == "json-schema.org/draft/2019-09/schema") return Draft::Draft201909;
    if (rest == "json-schema.org/draft-04/schema") return Draft::Draft4;
    if (rest == "json-schema.org/draft-06/schema") return Draft::Draft6;
    if (rest == "json-schema.org/schema") return Draft::Draft202012;
    return Draft::Unknown;
}

Draft detect_draft(Draft fallback, const Value& value) noexcept {
    auto schema = string_member(value, "$schema");
    if (!schema) return fallback;
    return draft_from_url(*schema);
}

std::optional<std::string_view> draft_id_of(Draft draft, const Value& value) noexcept {
    if (!value.is_object()) return std::nullopt;
    switch (draft) {
        case Draft::Draft4:
        case Draft::Draft6:
        case Draft::Draft7: {
            if (value.find("$ref") != nullptr) return std::nullopt;
            auto id = string_member(value, draft == Draft::Draft4 ? "id" : "$id");
            if (!id) return std::nullopt;
            if (!id->empty() && id->front() == '#') return std::nullopt;
            return id;
        }
        case Draft::Draft201909:
        case Draft::Draft202012:
        case Draft::Unknown:
            return string_member(value, "$id");
    }
    return std::nullopt;
}

namespace {

// The earliest draft that knows each keyword; "id" is the one keyword that later drafts drop.
struct KnownKeyword {
    std::string_view name;
    Draft since;
};

constexpr KnownKeyword kKnownKeywords[] = {
    {"$ref", Draft::Draft4},
    {"$schema", Draft::Draft4},
    {"additionalItems", Draft::Draft4},
    {"additionalProperties", Draft::Draft4},
    {"allOf", Draft::Draft4},
    {"anyOf", Draft::Draft4},
    {"definitions", Draft::Draft4},
    {"dependencies", Draft::Draft4},
    {"enum", Draft::Draft4},
    {"exclusiveMaximum", Draft::Draft4},
    {"exclusiveMinimum", Draft::Draft4},
    {"format", Draft::Draft4},
    {"items", Draft::Draft4},
    {"maxItems", Draft::Draft4},
    {"maxLength", Draft::Draft4},
    {"maxProperties", Draft::Draft4},
    {"maximum", Draft::Draft4},
    {"minItems", Draft::Draft4},
    {"minLength", Draft::Draft4},
    {"minProperties", Draft::Draft4},
    {"minimum", Draft::Draft4},
    {"multipleOf", Draft::Draft4},
    {"not", Draft::Draft4},
    {"oneOf", Draft::Draft4},
    {"pattern", Draft::Draft4},
    {"patternProperties", Draft::Draft4},
    {"properties", Draft::Draft4},
    {"required", Draft::Draft4},
    {"type", Draft::Draft4},
    {"uniqueItems", Draft::Draft4},
    {"$id", Draft::Draft6},
    {"const", Draft::Draft6},
    {"contains", Draft::Draft6},
    {"contentEncoding", Draft::Draft6},
    {"contentMediaType", Draft::Draft6},
    {"propertyNames", Draft::Draft6},
    {"if", Draft::Draft7},
    {"then", Draft::Draft7},
    {"else", Draft::Draft7},
    {"$anchor", Draft::Draft201909},
    {"$defs", Draft::Draft201909},
    {"$recursiveAnchor", Draft::Draft201909},
    {"$recursiveRef", Draft::Draft201909},
    {"contentSchema", Draft::Draft201909},
    {"dependentRequired", Draft::Draft201909},
    {"dependentSchemas", Draft::Draft201909},
    {"maxContains", Draft::Draft201909},
    {"minContains", Draft::Draft201909},
    {"unevaluatedItems", Draft::Draft201909},
    {"unevaluatedProperties", Draft::Draft201909},
    {"$dynamicAnchor", Draft::Draft202012},
    {"$dynamicRef", Draft::Draft202012},
    {"prefixItems", Draft::Draft202012},
};

}  // namespace

bool is_known_keyword(Draft draft, std::string_view keyword) noexcept {
    if (keyword.empty()) return false;
    if (keyword == "id") return draft == Draft::Draft4;
    for (const auto& entry : kKnownKeywords) {
        if (entry.name.size() == keyword.size() && entry.name == keyword) return draft >= entry.since;
    }
    return false;
}

}  // namespace deririrore::referencing
