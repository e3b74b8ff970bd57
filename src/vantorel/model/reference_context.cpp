#include "vantorel/model/reference_context.hpp"

#include <filesystem>
#include <system_error>

#include "vantorel/model/document_text.hpp"
#include "vantorel/model/reference_paths.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;
using deririrore::referencing::Draft;

std::optional<std::string> base_directory_of(std::optional<std::string_view> location) {
    if (!location) {
        std::error_code ec;
        auto cwd = std::filesystem::current_path(ec);
        return ec ? std::string() : cwd.string();
    }
    if (location->find("://") != std::string_view::npos) return std::nullopt;
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(std::string(*location)), ec)) return std::string(*location);
    return parent_directory(*location);
}

SpecProblem remembered_problem(const LoadedFile& file, std::string_view path, std::string_view reference) {
    return SpecProblem::retrieval(std::string(reference), std::string(path), file.detail, file.message);
}

}  // namespace

ReferenceContext new_reference_context(const Value& document, SpecVersion version,
                                       std::optional<std::string_view> location) {
    ReferenceContext context;
    context.base_directory = base_directory_of(location);
    context.hydration.document = &document;
    context.hydration.draft =
        version == SpecVersion::OpenApi31 || version == SpecVersion::OpenApi32 ? Draft::Draft202012 : Draft::Draft4;
    context.document = &document;
    context.version = version;
    return context;
}

void leave_reference(ReferenceContext& context) noexcept {
    if (context.scope_stack.empty()) return;
    context.current_scope = std::move(context.scope_stack.back());
    context.scope_stack.pop_back();
}

Result<SharedDocument, SpecProblem> retrieve_external_ref(ReferenceContext& context, std::string_view path,
                                                          std::string_view reference) {
    std::string key = normalize_reference_path(path);
    if (auto it = context.loaded_documents.find(key); it != context.loaded_documents.end()) {
        if (it->second.document) return it->second.document;
        return make_unexpected(remembered_problem(it->second, path, reference));
    }
    LoadedFile file;
    auto text = read_text_file(path);
    if (!text) {
        file.detail = std::move(text.error().message);
        file.message = kCantOpenFile;
    } else if (auto parsed = parse_schema_text(*text, is_yaml_path(path)); !parsed) {
        file.message = kInvalidReferencedFile;
    } else {
        file.document = std::make_shared<const LoadedDocument>(LoadedDocument{parent_directory(path), std::move(*parsed)});
    }
    const auto& stored = context.loaded_documents.emplace(std::move(key), std::move(file)).first->second;
    if (stored.document) return stored.document;
    return make_unexpected(remembered_problem(stored, path, reference));
}

Result<const Value*, SpecProblem> ReferencedFileRetriever::retrieve(std::string_view path, std::string_view reference) {
    auto loaded = retrieve_external_ref(*context_, path, reference);
    if (!loaded) return make_unexpected(std::move(loaded.error()));
    return &(*loaded)->document;
}

}  // namespace vantorel::model
