#include "vantorel/model/operations.hpp"

#include <string>
#include <utility>

#include "http/media_type.hpp"
#include "vantorel/model/parameters.hpp"
#include "vantorel/model/reference_resolution.hpp"
#include "vantorel/model/responses.hpp"
#include "zavova/measured_targets.hpp"

namespace vantorel::model {

namespace {

const Value* member(const Value& object, std::string_view key) {
    return object.is_object() ? object.find(key) : nullptr;
}

// The record's operationId, tags and deprecated flag; only a deprecated that is no boolean is a
// problem.
void read_operation_fields(OperationRecord& record, const Value& operation, OperationProblems& problems) {
    if (const Value* id = member(operation, "operationId"); id != nullptr && id->is_string()) {
        record.operation_id = id->as_string();
    }
    if (const Value* tags = member(operation, "tags"); tags != nullptr && tags->is_array()) {
        for (const Value& tag : tags->as_array()) {
            if (tag.is_string()) record.tags.push_back(tag.as_string());
        }
    }
    if (const Value* deprecated = member(operation, "deprecated")) {
        if (deprecated->is_bool())
            record.deprecated = deprecated->as_bool();
        else
            problems.emplace_back(std::nullopt, SpecProblem::unexpected_type("deprecated", JsonType::Boolean));
    }
}

bool is_form_exploded_object_query(const ParameterTarget& target) {
    return target.tag == kQueryTag && target.style == static_cast<std::uint8_t>(QueryStyle::Form) && target.explode &&
           target.non_json_content == ContentSource::Unset && (target.types & 64) != 0 && target.schema != nullptr;
}

const Value& followed_schema(const ParameterTarget& target) {
    return *zavova::follow_local_refs(*target.schema, *target.schema).node;
}

void link_free_form_queries(OperationRecord& record) {
    bool any = false;
    for (ParameterTarget& target : record.parameters) any = any || is_free_form_query_object(target) != nullptr;
    if (!any) return;
    const auto names = query_parameter_names(record.parameters);
    for (std::size_t i = 0; i < record.parameters.size(); ++i) {
        std::vector<std::string>* excluded = is_free_form_query_object(record.parameters[i]);
        if (excluded == nullptr) continue;
        excluded->clear();
        for (const auto& [index, list] : names) {
            if (index != i) excluded->insert(excluded->end(), list.begin(), list.end());
        }
    }
}

void extract_request_body(ReferenceContext& context, OperationRecord& record, const Value& operation,
                          OperationProblems& problems, const OperationServices& services) {
    const Value* body = member(operation, "requestBody");
    if (body == nullptr || !body->is_object()) return;
    const Value* ref = body->find("$ref");
    if (ref == nullptr) {
        build_request_body_targets(context, record, *body, problems, services);
        return;
    }
    auto target = enter_reference(context, *ref, true, [](ReferenceContext& c, const Value& r, SharedDocument& s) {
        return resolve_reference(c, r, s);
    });
    ReferenceScopeGuard guard(context);
    if (!target) {
        problems.emplace_back(positions::RequestBody{}, std::move(target.error()));
    } else if (!(*target)->is_object()) {
        problems.emplace_back(positions::RequestBody{}, SpecProblem::unexpected_type("$ref", JsonType::Object));
    } else {
        build_request_body_targets(context, record, **target, problems, services);
    }
}

std::span<const Value> array_items(const Value* value) {
    if (value == nullptr || !value->is_array()) return {};
    return value->as_array();
}

// The consumed media types of a Swagger 2.0 operation: the body media type and, when every
// element is a form, multipart, text or XML type, the first of them as the non-JSON one.
std::pair<std::string, std::optional<std::string>> consumed_media_types(const Value& operation, const Value* root) {
    const Value* consumes = member(operation, "consumes");
    if (consumes == nullptr || !consumes->is_array()) consumes = root != nullptr ? member(*root, "consumes") : nullptr;
    std::span<const Value> list = array_items(consumes);
    std::string body = "application/json";
    for (const Value& element : list) {
        if (element.is_string()) {
            body = element.as_string();
            break;
        }
    }
    std::optional<std::string> non_json;
    if (!list.empty()) {
        bool all = true;
        for (const Value& element : list) {
            if (!element.is_string()) {
                all = false;
                break;
            }
            const std::string& t = element.as_string();
            if (!(t == "application/x-www-form-urlencoded" || t.starts_with("multipart/") ||
                  http::is_text_media_type(t) || http::is_xml_media_type(t))) {
                all = false;
                break;
            }
        }
        if (all) non_json = list.front().as_string();
    }
    return {std::move(body), std::move(non_json)};
}

std::vector<http::MediaType> produced_media_types(const Value& operation, const Value* root,
                                                  OperationProblems& problems) {
    const Value* produces = member(operation, "produces");
    if (produces == nullptr && root != nullptr) produces = member(*root, "produces");
    std::vector<http::MediaType> produced;
    if (produces == nullptr) {
        produced.push_back(*http::parse_media_type("application/json"));
        return produced;
    }
    if (!produces->is_array()) {
        problems.emplace_back(std::nullopt, SpecProblem::unexpected_type("produces", JsonType::Array));
        return produced;
    }
    for (const Value& element : produces->as_array()) {
        if (!element.is_string()) {
            problems.emplace_back(std::nullopt, SpecProblem::unexpected_value(element, "produces"));
            continue;
        }
        auto parsed = http::parse_media_type(element.as_string());
        if (!parsed) {
            problems.emplace_back(std::nullopt, SpecProblem::unexpected_value(element, "produces"));
            continue;
        }
        bool seen = false;
        // Parsed essences are lower case already, so byte equality is equality ignoring case.
        for (const http::MediaType& p : produced) seen = seen || p.essence() == parsed->essence();
        if (!seen) produced.push_back(std::move(*parsed));
    }
    return produced;
}

}  // namespace

std::vector<std::string>* is_free_form_query_object(ParameterTarget& target) {
    if (!is_form_exploded_object_query(target)) return nullptr;
    const Value& schema = followed_schema(target);
    if (!schema.is_object()) return nullptr;
    if (const Value* properties = schema.find("properties"); properties != nullptr && properties->is_object()) {
        return nullptr;
    }
    const Value* additional = schema.find("additionalProperties");
    if (additional == nullptr || (additional->is_bool() && !additional->as_bool())) return nullptr;
    return &target.excluded_query_names;
}

std::vector<std::pair<std::size_t, std::vector<std::string>>> query_parameter_names(
    const std::vector<ParameterTarget>& targets) {
    std::vector<std::pair<std::size_t, std::vector<std::string>>> out;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const ParameterTarget& target = targets[i];
        if (target.tag != kQueryTag) continue;
        std::vector<std::string> names{target.name};
        if (is_form_exploded_object_query(target)) {
            const Value& schema = followed_schema(target);
            if (const Value* properties = member(schema, "properties");
                properties != nullptr && properties->is_object()) {
                for (const auto& [key, value] : properties->as_object()) names.push_back(key);
            }
        }
        out.emplace_back(i, std::move(names));
    }
    return out;
}

void extract_operation_v3(MethodMap& methods, std::string_view method_key, std::string_view path_template,
                          const Value& operation, ReferenceContext& context, std::span<const Value> path_parameters,
                          const OperationServices& services) {
    const http::HttpMethod method = http::parse_method_name(method_key);
    if (method == http::HttpMethod::None) return;
    OperationRecord* record = insert_operation_slot(methods, method, path_template, context.problems);
    if (record == nullptr) return;
    OperationProblems problems;
    read_operation_fields(*record, operation, problems);
    add_parameter_list(context, *record, path_parameters, problems, services);
    add_operation_parameters(context, *record, operation, problems, services);
    check_querystring_parameters(*record, problems);
    link_free_form_queries(*record);
    add_template_path_parameters(context, *record, path_template, services);
    extract_request_body(context, *record, operation, problems, services);
    extract_operation_responses(context, *record, operation, problems, false, {}, services);
    flush_operation_problems(context, method, path_template, problems);
}

void extract_operation_v2(MethodMap& methods, std::string_view method_key, std::string_view path_template,
                          const Value& operation, ReferenceContext& context, std::span<const Value> path_parameters,
                          const OperationServices& services) {
    const http::HttpMethod method = http::parse_method_name(method_key);
    if (method == http::HttpMethod::None) return;
    OperationRecord* record = insert_operation_slot(methods, method, path_template, context.problems);
    if (record == nullptr) return;
    OperationProblems problems;
    read_operation_fields(*record, operation, problems);
    auto [body, non_json] = consumed_media_types(operation, context.document);
    context.body_media_type = std::move(body);
    context.non_json_body_media_type = std::move(non_json);
    add_parameter_list(context, *record, path_parameters, problems, services);
    add_operation_parameters(context, *record, operation, problems, services);
    context.non_json_body_media_type.reset();
    context.body_media_type = "application/json";
    add_template_path_parameters(context, *record, path_template, services);
    if (member(operation, "responses") != nullptr) {
        const auto produced = produced_media_types(operation, context.document, problems);
        extract_operation_responses(context, *record, operation, problems, true, produced, services);
    }
    flush_operation_problems(context, method, path_template, problems);
}

void extract_additional_operations(MethodMap& methods, std::string_view path_template, const Value& path_item,
                                   ReferenceContext& context, std::span<const Value> path_parameters,
                                   const OperationServices& services) {
    const Value* additional = member(path_item, "additionalOperations");
    if (additional == nullptr || !additional->is_object()) return;
    for (const auto& [key, value] : additional->as_object()) {
        const http::HttpMethod method = http::parse_method_name(key);
        if (method != http::HttpMethod::None && get_operation(methods, method) == nullptr) {
            if (value.is_object()) {
                extract_operation_v3(methods, key, path_template, value, context, path_parameters, services);
            }
            continue;
        }
        context.problems.push_back(ProblemEntry{std::string(path_template), std::nullopt,
                                                SpecProblem::unexpected_value_text(key, "additionalOperations"),
                                                static_cast<std::uint8_t>(method)});
    }
}

std::span<const Value> path_item_parameters(const Value& referenced, std::span<const Value> referencing) {
    if (const Value* own = member(referenced, "parameters")) return array_items(own);
    return referencing;
}

void extract_path_item(MethodMap& methods, std::string_view path_template, const Value& path_item,
                       ReferenceContext& context, const OperationServices& services) {
    if (!path_item.is_object()) return;
    const bool swagger = context.version == SpecVersion::Swagger20;
    auto extract = swagger ? &extract_operation_v2 : &extract_operation_v3;
    const std::span<const Value> parameters = array_items(path_item.find("parameters"));
    for (const auto& [name, value] : path_item.as_object()) {
        if (name != "$ref") {
            if (value.is_object()) extract(methods, name, path_template, value, context, parameters, services);
            continue;
        }
        auto target = enter_reference(context, value, true, [](ReferenceContext& c, const Value& r, SharedDocument& s) {
            return resolve_reference(c, r, s);
        });
        ReferenceScopeGuard guard(context);
        if (!target) {
            // Recorded, not dropped: a path item whose operations all vanish needs a reason.
            context.problems.push_back(
                ProblemEntry{std::string(path_template), std::nullopt, std::move(target.error()), 0});
            continue;
        }
        const Value& referenced = **target;
        if (!referenced.is_object()) continue;
        const std::span<const Value> own = path_item_parameters(referenced, parameters);
        for (const auto& [name2, value2] : referenced.as_object()) {
            extract(methods, name2, path_template, value2, context, own, services);
        }
        if (!swagger) extract_additional_operations(methods, path_template, referenced, context, own, services);
    }
    if (!swagger) extract_additional_operations(methods, path_template, path_item, context, parameters, services);
}

}  // namespace vantorel::model
