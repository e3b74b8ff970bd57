#include "deririrore/referencing/walk.hpp"

#include "deririrore/referencing/pointer.hpp"

namespace deririrore::referencing {

void walk_keyword_subschemas(Draft draft, const Value& object, std::vector<WalkEntry>& stack,
                             std::size_t parent_length) {
    for_each_keyword_subschema(KeywordTable::Crawl, draft, object,
                               [&](std::string_view keyword, const Value& child, const SubschemaPosition& position) {
                                   const Draft child_draft = detect_draft(draft, child);
                                   if (draft_id_of(child_draft, child)) return;
                                   stack.push_back(WalkEntry{&child, parent_length, child_draft, keyword, position});
                               });
}

std::vector<AnchorPointer> walk_subresources_with_paths(const Value& root, Draft draft) {
    std::vector<AnchorPointer> result;
    std::string pointer;
    std::vector<WalkEntry> stack;
    stack.push_back(WalkEntry{&root, 0, draft, {}, {}});
    while (!stack.empty()) {
        WalkEntry entry = stack.back();
        stack.pop_back();
        pointer.resize(entry.parent_length);
        if (!entry.keyword.empty()) {
            pointer.push_back('/');
            push_pointer_segment(pointer, entry.keyword);
            if (const auto* index = std::get_if<std::size_t>(&entry.position)) {
                pointer.push_back('/');
                pointer.append(std::to_string(*index));
            } else if (const auto* name = std::get_if<std::string_view>(&entry.position)) {
                pointer.push_back('/');
                push_pointer_segment(pointer, *name);
            }
        }
        for (const auto& anchor : collect_anchors(entry.draft, *entry.value))
            result.push_back(AnchorPointer{anchor.name, pointer});
        if (entry.value->is_object()) walk_keyword_subschemas(entry.draft, *entry.value, stack, pointer.size());
    }
    return result;
}

}  // namespace deririrore::referencing
