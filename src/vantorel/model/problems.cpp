#include "vantorel/model/problems.hpp"

#include "deririrore/value/json.hpp"
#include "deririrore/value/overloaded.hpp"

namespace vantorel::model {

namespace {

using deririrore::value::Overloaded;

// Anchors are fragments that are neither empty nor a pointer.
bool names_anchor(std::string_view target) noexcept {
    const auto hash = target.find('#');
    if (hash == std::string_view::npos) return false;
    const auto fragment = target.substr(hash + 1);
    return !fragment.empty() && fragment.front() != '/';
}

}  // namespace

std::string_view parameter_location_name(ParameterLocation location) noexcept {
    switch (location) {
        case ParameterLocation::Path: return "path";
        case ParameterLocation::Query: return "query";
        case ParameterLocation::Header: return "header";
        case ParameterLocation::Cookie: return "cookie";
        case ParameterLocation::Body: return "body";
        case ParameterLocation::FormData: return "formData";
        case ParameterLocation::Querystring: return "querystring";
    }
    return "";
}

std::string_view parameter_location_key(ParameterLocation location) noexcept {
    if (location == ParameterLocation::FormData) return "form_data";
    return parameter_location_name(location);
}

std::string value_text(const Value& value) {
    if (value.is_string()) return value.as_string();
    return deririrore::value::to_json(value);
}

SpecProblem SpecProblem::unexpected_value(const Value& value, std::string_view field,
                                          std::span<const std::string_view> allowed) {
    return {problems::UnexpectedValue{value_text(value), field, allowed}};
}

SpecProblem SpecProblem::reference_not_text(const Value& value) {
    return {problems::ReferenceNotText{deririrore::value::to_json(value)}};
}

SpecProblem SpecProblem::invalid_schema(deririrore::core::ValidationError error,
                                        std::shared_ptr<const deririrore::value::Value> schema) {
    return {problems::InvalidSchema{deririrore::core::error_into_owned(std::move(error)), std::move(schema)}};
}

std::string_view spec_problem_kind(const SpecProblem& problem) noexcept {
    return std::visit(
        Overloaded{
            [](const problems::Reference& r) -> std::string_view {
                return std::visit(
                    Overloaded{
                        [](const reference_failures::PercentEncoding&) -> std::string_view {
                            return "invalid_percent_encoding";
                        },
                        [](const reference_failures::Unresolvable& u) -> std::string_view {
                            return names_anchor(u.target) ? "unresolvable_anchor" : "unresolvable_pointer";
                        },
                        [](const reference_failures::Unsupported&) -> std::string_view {
                            return "unsupported_reference";
                        },
                        [](const reference_failures::Retrieval&) -> std::string_view {
                            return "unreadable_reference";
                        },
                    },
                    r.failure);
            },
            [](const problems::MissingField&) -> std::string_view { return "missing_field"; },
            [](const problems::UnexpectedType&) -> std::string_view { return "unexpected_type"; },
            [](const problems::UnexpectedValue&) -> std::string_view { return "unexpected_value"; },
            [](const problems::QuerystringConflict&) -> std::string_view { return "querystring_conflict"; },
            [](const problems::ReferenceLoop&) -> std::string_view { return "reference_loop"; },
            [](const problems::UnresolvableReference&) -> std::string_view { return "unresolvable_reference"; },
            [](const problems::ReferenceNotText&) -> std::string_view { return "unexpected_type"; },
            [](const problems::ReferenceNotFollowed&) -> std::string_view { return "unsupported_reference"; },
            [](const problems::InvalidStatusCode&) -> std::string_view { return "invalid_status_code"; },
            [](const problems::InvalidStatusCodeCharacter&) -> std::string_view {
                return "invalid_status_code_character";
            },
            [](const problems::StatusCodeOutOfRange&) -> std::string_view { return "status_code_out_of_range"; },
            [](const problems::InvalidSchema&) -> std::string_view { return "invalid_schema"; },
            [](const problems::TooManyRouteParameters&) -> std::string_view { return "too_many_route_parameters"; },
            [](const problems::DuplicateOperation&) -> std::string_view { return "duplicate_operation"; },
        },
        problem.data);
}

}  // namespace vantorel::model
