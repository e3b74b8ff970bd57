#include "vantorel/model/reference_resolution.hpp"

#include <string>
#include <unordered_set>
#include <utility>

#include "deririrore/referencing/pointer.hpp"
#include "vantorel/model/reference_paths.hpp"
#include "zavova/text_util.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;

}  // namespace

Result<const Value*, SpecProblem> resolve_reference(ReferenceContext& context, const Value& reference,
                                                    SharedDocument& scope) {
    // Targets by identity: loaded files stay in the context for the whole build, so their values
    // keep their addresses, and a chain that reaches one twice is a loop whatever texts led there.
    // Every step adds a new target, so the walk ends within the documents' size.
    std::unordered_set<const Value*> passed;
    const Value* current = &reference;
    for (;;) {
        if (!current->is_string()) return make_unexpected(SpecProblem::reference_not_text(*current));
        const std::string& text = current->as_string();
        if (has_uri_scheme(text)) return make_unexpected(SpecProblem{problems::ReferenceNotFollowed{text}});
        const std::size_t hash = text.find('#');
        const std::string_view file_part = std::string_view(text).substr(0, hash);
        const std::string_view fragment =
            hash == std::string::npos ? std::string_view() : std::string_view(text).substr(hash + 1);
        if (!file_part.empty()) {
            if (!context.base_directory) return make_unexpected(SpecProblem{problems::ReferenceNotFollowed{text}});
            auto decoded = percent_decode_utf8(file_part);
            if (!decoded) {
                return make_unexpected(
                    SpecProblem::reference(reference_failures::PercentEncoding{text, decoded.error()}));
            }
            const std::string& base = scope ? scope->directory : *context.base_directory;
            auto loaded =
                retrieve_external_ref(context, normalize_reference_path(join_reference_path(base, *decoded)), text);
            if (!loaded) return make_unexpected(std::move(loaded.error()));
            scope = std::move(*loaded);
        }
        const Value* root = scope ? &scope->document : context.document;
        // Bytes that are not UTF-8 become U+FFFD, which names no member of any real document.
        const std::string pointer = zavova::percent_decode_lossy(fragment);
        const Value* target = root == nullptr ? nullptr : deririrore::referencing::pointer_lookup(*root, pointer);
        if (target == nullptr) return make_unexpected(SpecProblem{problems::UnresolvableReference{text}});
        if (!passed.insert(target).second) return make_unexpected(SpecProblem{problems::ReferenceLoop{text}});
        const Value* next = target->is_object() ? target->find("$ref") : nullptr;
        if (next == nullptr) return target;
        current = next;
    }
}

Result<std::pair<const Value*, SharedDocument>, SpecProblem> resolve_in_current_scope(ReferenceContext& context,
                                                                                      const Value& reference) {
    SharedDocument scope = context.current_scope;
    auto target = resolve_reference(context, reference, scope);
    if (!target) return make_unexpected(std::move(target.error()));
    return std::pair<const Value*, SharedDocument>{*target, std::move(scope)};
}

}  // namespace vantorel::model
