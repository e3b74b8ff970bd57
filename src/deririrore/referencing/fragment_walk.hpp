#pragma once
// The walk of a pointer fragment through a resource, shared by reference lookup and by the
// registry build so that both reach the same target with the same base URI.
#include <string>
#include <string_view>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/referencing/error.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::referencing::detail {

// Reads the steps of a pointer walk as they come and tells whether the path recorded so far
// leads to a subschema by the draft's keywords, so that its identifier applies.
class SubresourcePathTracker {
public:
    explicit SubresourcePathTracker(Draft draft) : draft_(draft) {}

    void reset() noexcept { state_ = State::ExpectKeyword; }
    void push_name(std::string_view name) noexcept;
    void push_index() noexcept {
        if (state_ == State::ExpectChild) state_ = State::ExpectKeyword;
    }
    // `current` is the value the walk has reached.
    bool is_subresource_path(const Value& current) const noexcept {
        switch (state_) {
            case State::ExpectKeyword: return true;
            case State::ItemsOrDependencies: return current.is_object();
            case State::ExpectChild:
            case State::NotSubresource: return false;
        }
        return false;
    }

private:
    enum class State : unsigned char { ExpectKeyword, ExpectChild, ItemsOrDependencies, NotSubresource };
    Draft draft_;
    State state_ = State::ExpectKeyword;
};

// Walks `fragment` (starting with '/') from `start`. After each step whose recorded path is a
// subresource path, calls `rebase(current)`, which returns whether the base text changed (then
// the recorded path starts afresh) or a failure.
template <class Rebase>
Result<const Value*, ReferenceError> walk_fragment_pointer(const Value& start, std::string_view fragment, Draft draft,
                                                           Rebase&& rebase) {
    auto decoded = decode_fragment_pointer(fragment);
    if (!decoded) return make_unexpected(std::move(decoded).error());
    SubresourcePathTracker tracker(draft);
    const Value* current = &start;
    std::string scratch;
    auto walked = for_each_pointer_token(*decoded, [&](std::string_view token) -> Result<Ok, ReferenceError> {
        const bool was_array = current->is_array();
        auto next = fragment_pointer_step(*current, token, fragment, scratch);
        if (!next) return make_unexpected(std::move(next).error());
        if (was_array) {
            tracker.push_index();
        } else {
            tracker.push_name(unescape_pointer_segment(token, scratch));
        }
        current = *next;
        if (tracker.is_subresource_path(*current)) {
            auto changed = rebase(*current);
            if (!changed) return make_unexpected(std::move(changed).error());
            if (*changed) tracker.reset();
        }
        return Ok{};
    });
    if (!walked) return make_unexpected(std::move(walked).error());
    return current;
}

}  // namespace deririrore::referencing::detail
