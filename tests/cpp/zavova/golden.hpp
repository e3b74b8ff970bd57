#pragma once
// Entries written as "location|kind" lines, so that golden tables read as the walk produced them.
// Kinds: K keyword, L list item, E example, S subschema, U unmeasured; polarity B, V (valid only),
// I (invalid only); U carries its reason.
#include <string>
#include <vector>

#include "zavova/coverage_state.hpp"

namespace zavovatest {

inline std::string kind_text(zavova::EntryKind kind) {
    using zavova::EntryTag;
    if (kind.tag == EntryTag::Example) return "E";
    if (kind.tag == EntryTag::Unmeasured)
        return "U:" + std::string(zavova::unmeasured_reason_text(static_cast<zavova::UnmeasuredReason>(kind.payload)));
    const char* tag = kind.tag == EntryTag::Keyword ? "K" : kind.tag == EntryTag::ListItem ? "L" : "S";
    const char* polarity = kind.payload == 0 ? "B" : kind.payload == 1 ? "V" : "I";
    return std::string(tag) + ":" + polarity;
}

inline std::vector<std::string> golden(const zavova::EntryMap& entries) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < entries.size(); ++i)
        out.push_back(std::string(entries.location(i)) + "|" + kind_text(entries.entry(i).kind));
    return out;
}

}  // namespace zavovatest
