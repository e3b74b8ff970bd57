#include "vantorel/model/reference_resolution.hpp"

#include <set>
#include <string>
#include <utility>

#include "deririrore/referencing/pointer.hpp"
#include "vantorel/model/reference_paths.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;

// Chains longer than this are refused as loops: every real chain is far shorter.
constexpr int kMaxChain = 64;

}  // namespace

Result<const Value*, SpecProblem> resolve_reference(ReferenceContext& context, const Value& reference,
                                                    SharedDocument& scope) {
    std::set<std::pair<const void*, std::string>> passed;
    const Value* current = &reference;
    for (int step = 0;; ++step) {
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
        auto pointer = percent_decode_utf8(fragment);
        if (!pointer) {
            return make_unexpected(SpecProblem::reference(reference_failures::PercentEncoding{text, pointer.error()}));
        }
        const Value* target = root == nullptr ? nullptr : deririrore::referencing::pointer_lookup(*root, *pointer);
        if (target == nullptr) return make_unexpected(SpecProblem{problems::UnresolvableReference{text}});
        if (!passed.emplace(scope.get(), *pointer).second || step >= kMaxChain) {
            return make_unexpected(SpecProblem{problems::ReferenceLoop{text}});
        }
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
