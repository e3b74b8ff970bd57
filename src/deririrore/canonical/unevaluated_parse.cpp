#include "deririrore/canonical/parse.hpp"
#include "deririrore/canonical/unevaluated.hpp"

namespace deririrore::canonical {

using value::Value;

ParseOutcome rewrite_unevaluated(const Value& object, CanonicalContext& context, bool at_root, const Resolver& scope,
                                 ParseTracker& tracker) {
    // The parser hands over the branch-part flag this object read on entry.
    const bool branch_part = tracker.branch_part;
    auto parse_in_place = [&](Value rewritten) -> ParseOutcome {
        tracker.temporaries.push_back(std::make_unique<const Value>(std::move(rewritten)));
        const Value& copy = *tracker.temporaries.back();
        tracker.branch_part = branch_part;
        ParseOutcome outcome = parse_canonical_node(copy, context, at_root, scope, tracker);
        if (!tracker.suppress) rekey_object_records(tracker, &copy, &object);
        return outcome;
    };
    Value without_true = object;
    bool removed = false;
    for (auto name : {"unevaluatedProperties", "unevaluatedItems"}) {
        const Value* v = without_true.find(name);
        if (v && v->is_bool() && v->as_bool()) {
            without_true.erase(name);
            removed = true;
        }
    }
    if (removed) return parse_in_place(std::move(without_true));
    auto rewritten = rewrite_unevaluated_object(object, context, scope);
    if (!rewritten) return ParseOutcome(std::move(rewritten).error());
    if (!rewritten->has_value()) return ParseOutcome::unsupported();
    return parse_in_place(std::move(**rewritten));
}

}  // namespace deririrore::canonical
