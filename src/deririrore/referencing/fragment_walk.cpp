#include "deririrore/referencing/fragment_walk.hpp"

namespace deririrore::referencing::detail {

namespace {

bool in_place_keyword(Draft draft, std::string_view name) noexcept {
    if (name == "additionalProperties" || name == "not") return true;
    if (name == "additionalItems") return draft <= Draft::Draft201909;
    if (name == "contains" || name == "propertyNames") return draft >= Draft::Draft6;
    if (name == "if" || name == "then" || name == "else") return draft >= Draft::Draft7;
    if (name == "contentSchema" || name == "unevaluatedItems" || name == "unevaluatedProperties")
        return draft >= Draft::Draft201909;
    if (name == "items") return draft >= Draft::Draft202012;
    return false;
}

bool keyword_with_child(Draft draft, std::string_view name) noexcept {
    if (name == "allOf" || name == "anyOf" || name == "oneOf" || name == "definitions" ||
        name == "patternProperties" || name == "properties")
        return true;
    if (name == "$defs" || name == "dependentSchemas") return draft >= Draft::Draft201909;
    if (name == "prefixItems") return draft >= Draft::Draft202012;
    return false;
}

}  // namespace

void SubresourcePathTracker::push_name(std::string_view name) noexcept {
    switch (state_) {
        case State::ExpectChild:
            state_ = State::ExpectKeyword;
            return;
        case State::ExpectKeyword:
            if (in_place_keyword(draft_, name)) return;
            if (keyword_with_child(draft_, name)) {
                state_ = State::ExpectChild;
            } else if (draft_ <= Draft::Draft201909 && (name == "items" || name == "dependencies")) {
                state_ = State::ItemsOrDependencies;
            } else {
                state_ = State::NotSubresource;
            }
            return;
        case State::ItemsOrDependencies:
        case State::NotSubresource:
            return;
    }
}

}  // namespace deririrore::referencing::detail
