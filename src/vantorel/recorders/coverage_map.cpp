#include "vantorel/recorders/coverage_map.hpp"

#include <memory>

#include "vantorel/model/dialect_draft.hpp"
#include "vantorel/model/measured_schema.hpp"
#include "vantorel/model/operation_services.hpp"
#include "vantorel/model/operations.hpp"
#include "vantorel/model/reference_context.hpp"
#include "vantorel/model/template_analysis.hpp"

namespace vantorel::recorders {

using deririrore::referencing::Draft;
using model::SpecVersion;

CoverageMap new_coverage_map(std::size_t capacity, std::optional<std::string_view> base_path,
                             std::optional<std::string_view> location) {
    CoverageMap map;
    map.routes.paths.reserve(capacity);
    if (base_path) map.base_path = model::normalise_base_path(*base_path);
    if (location) map.location = std::string(*location);
    return map;
}

std::optional<std::string_view> read_root_string(const Value& document, std::string_view name) {
    const Value* member = document.find(name);
    if (member == nullptr) return std::nullopt;
    if (member->is_string()) return std::string_view(member->as_string());
    if (member->is_number()) return member->number_text();
    return std::nullopt;
}

namespace {

SpecVersion openapi_version(const Value& document) {
    const auto text = read_root_string(document, "openapi");
    if (!text || text->size() < 3) return SpecVersion::OpenApi30;
    if (text->starts_with("3.2")) return SpecVersion::OpenApi32;
    if (text->starts_with("3.1")) return SpecVersion::OpenApi31;
    return SpecVersion::OpenApi30;
}

// The base path candidate when the build was given none.
std::optional<std::string> document_base_path(const Value& document) {
    if (read_root_string(document, "swagger") == std::optional<std::string_view>("2.0")) {
        const Value* base = document.find("basePath");
        if (base != nullptr && base->is_string()) return base->as_string();
        return std::nullopt;
    }
    const Value* servers = document.find("servers");
    if (servers == nullptr || !servers->is_array() || servers->empty()) return std::nullopt;
    const auto urls = model::resolve_server_urls(servers->as_array().front());
    if (urls.empty()) return std::nullopt;
    return model::derive_base_path(urls.front());
}

}  // namespace

CoverageMap build_coverage_map(const Value& document, std::optional<std::string_view> base_path,
                               std::optional<std::string_view> location) {
    const Value* paths = document.is_object() ? document.find("paths") : nullptr;
    if (paths == nullptr || !paths->is_object()) return new_coverage_map(0, base_path, location);
    const bool swagger = document.contains("swagger");

    CoverageMap map;
    std::vector<model::RefusedServerUrl> refused;
    if (base_path) {
        map = new_coverage_map(paths->size(), base_path, location);
    } else {
        const auto candidate = document_base_path(document);
        map = new_coverage_map(paths->size(), candidate ? std::optional<std::string_view>(*candidate) : std::nullopt,
                               location);
        if (!swagger) map.server_bases = model::collect_server_bases(document, map.base_path, &refused);
    }

    const SpecVersion version = swagger ? SpecVersion::Swagger20 : openapi_version(document);
    map.draft4_schemas = version == SpecVersion::Swagger20 || version == SpecVersion::OpenApi30;
    model::ReferenceContext context = model::new_reference_context(document, version, location);
    if (version == SpecVersion::OpenApi31 || version == SpecVersion::OpenApi32) {
        const Value* dialect = document.find("jsonSchemaDialect");
        if (dialect != nullptr && dialect->is_string() &&
            model::openapi_dialect_draft(dialect->as_string()) == Draft::Unknown)
            map.unknown_dialect.emplace(dialect->as_string(), Draft::Draft202012);
    }

    // A server URL the URL parser refuses gives no base; the user should hear why.
    for (auto& url : refused) {
        map.problems.push_back(model::ProblemEntry{
            std::string(), std::nullopt, model::SpecProblem::unexpected_value_text(std::move(url.url), "url"), 0});
    }

    const auto services = model::default_operation_services(std::make_shared<model::MeasuredSchemaCache>());
    for (const auto& [key, item] : paths->as_object()) {
        if (key.size() >= 2 && key.starts_with("x-")) continue;
        if (!item.is_object()) continue;
        model::MethodMap& methods = model::insert_route(map.routes, map.base_path, key, context.problems);
        model::extract_path_item(methods, key, item, context, services);
    }

    for (auto& entry : context.problems) map.problems.push_back(std::move(entry));
    context.problems.clear();

    model::analyse_path_templates(map.routes);
    model::mark_shadowed_operations(map.routes);
    return map;
}

}  // namespace vantorel::recorders
