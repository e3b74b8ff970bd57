#include "vantorel/reports/label_coverage.hpp"

#include <algorithm>
#include <array>

#include "vantorel/model/parameters.hpp"
#include "vantorel/recorders/record.hpp"

namespace vantorel::reports {

namespace {

using deririrore::make_unexpected;
using Reached = std::vector<std::pair<std::string, LabelSide>>;

constexpr std::array<std::string_view, 7> kLocationNames = {"path",   "body",      "query",      "header",
                                                            "cookie", "form_data", "querystring"};
constexpr std::array<model::ParameterLocation, 7> kLocations = {
    model::ParameterLocation::Path,       model::ParameterLocation::Body,   model::ParameterLocation::Query,
    model::ParameterLocation::Header,     model::ParameterLocation::Cookie, model::ParameterLocation::FormData,
    model::ParameterLocation::Querystring};

std::string_view location_text(model::ParameterLocation location) noexcept {
    for (std::size_t i = 0; i < kLocations.size(); ++i) {
        if (kLocations[i] == location) return kLocationNames[i];
    }
    return "?";
}

std::string status_text(const model::ResponseTarget& response, bool is_default) {
    if (is_default) return "default";
    std::string out;
    for (const auto& position : response.status.positions) {
        out += position.present ? static_cast<char>('0' + position.digit) : 'X';
    }
    return out;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// The sides one slot pair holds in each label's bitmap.
struct SlotQuery {
    // Target ids whose sides are united; `hit_only` targets (operations, responses) have a valid
    // side only.
    std::vector<std::uint64_t> ids;
};

Reached sides_of(const recorders::LabelRegistry& labels, const SlotQuery& query) {
    Reached out;
    for (std::size_t i = 0; i < labels.names.size() && i < labels.bitmaps.size(); ++i) {
        std::uint8_t side = 0;
        for (const std::uint64_t id : query.ids) {
            if (2 * id + 1 > 0xffffffffull) continue;
            if (labels.bitmaps[i].contains(static_cast<std::uint32_t>(2 * id))) side |= 1;
            if (labels.bitmaps[i].contains(static_cast<std::uint32_t>(2 * id + 1))) side |= 2;
        }
        if (side != 0) out.emplace_back(labels.names[i], static_cast<LabelSide>(side));
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return out;
}

// The ids of one holder's element: the keyword's entry, or else the schema's root entry (all
// entries when the schema has no root entry).
deririrore::Result<SlotQuery, std::string> holder_query(const zavova::CoverageHolder& holder,
                                                        const std::optional<std::string>& keyword,
                                                        std::string_view what) {
    SlotQuery query;
    const zavova::CoverageState* state = holder.state.get();
    const std::uint64_t base = holder.label_slot_base;
    if (keyword) {
        const auto index = state != nullptr ? state->entries.index_of(*keyword) : std::nullopt;
        if (!index) return make_unexpected("no keyword " + *keyword + " in the schema of " + std::string(what));
        if (base != zavova::kNoLabelSlot) query.ids.push_back(base + *index);
        return query;
    }
    if (state == nullptr || base == zavova::kNoLabelSlot) return query;
    if (const auto root = state->entries.index_of("")) {
        query.ids.push_back(base + *root);
        return query;
    }
    for (std::size_t i = 0; i < state->entries.size(); ++i) query.ids.push_back(base + i);
    return query;
}

const model::OperationRecord* find_operation(const recorders::CoverageMap& map, http::HttpMethod method,
                                             std::string_view path) {
    const model::MethodMap* methods = map.routes.paths.find(path);
    if (methods == nullptr) methods = map.routes.paths.find(recorders::resolve_operation_path(map, path));
    return methods != nullptr ? methods->get(method) : nullptr;
}

deririrore::Result<SlotQuery, std::string> parameter_query(const model::OperationRecord& operation,
                                                           const LabelElement& element) {
    const model::ParameterLocation location = *element.location;
    const std::optional<std::string>& wanted = element.media_type ? element.media_type : element.name;
    if (!wanted) {
        return make_unexpected(
            std::string("a parameter is named by `name` (`media_type` for a request body) beside "
                        "`location`"));
    }
    for (const model::ParameterTarget& target : operation.parameters) {
        if (model::target_location(target) != location || target.name != *wanted) continue;
        const std::string what = std::string(location_text(location)) + " " + *wanted;
        return holder_query(target.holder, element.keyword, what);
    }
    return make_unexpected("no " + std::string(location_text(location)) + " " + *wanted + " in " +
                           std::string(http::method_name(element.method)) + " " + element.path);
}

deririrore::Result<SlotQuery, std::string> response_query(const model::OperationRecord& operation,
                                                          const LabelElement& element) {
    const std::string wanted = upper(*element.status);
    const model::ResponseTarget* response = nullptr;
    bool is_default = false;
    for (const model::ResponseTarget& candidate : operation.responses) {
        if (status_text(candidate, false) == wanted) {
            response = &candidate;
            break;
        }
    }
    if (response == nullptr && wanted == "DEFAULT" && operation.has_default_response) {
        response = &operation.default_response;
        is_default = true;
    }
    const std::string operation_text = std::string(http::method_name(element.method)) + " " + element.path;
    if (response == nullptr) return make_unexpected("no response " + *element.status + " in " + operation_text);
    if (!element.keyword && !element.media_type) {
        SlotQuery query;
        if (response->label_slot != zavova::kNoLabelSlot) query.ids.push_back(response->label_slot);
        return query;
    }
    const model::ResponseBody* body = nullptr;
    if (element.media_type) {
        for (const model::ResponseBody& candidate : response->bodies) {
            if (candidate.media_type.essence() == *element.media_type) {
                body = &candidate;
                break;
            }
        }
        if (body == nullptr) {
            return make_unexpected("no body " + *element.media_type + " in response " +
                                   status_text(*response, is_default) + " of " + operation_text);
        }
    } else if (response->bodies.size() == 1) {
        body = &response->bodies.front();
    } else if (response->bodies.empty()) {
        return make_unexpected("response " + status_text(*response, is_default) + " of " + operation_text +
                               " declares no body");
    } else {
        return make_unexpected("response " + status_text(*response, is_default) + " of " + operation_text +
                               " declares several bodies; name one with `media_type`");
    }
    return holder_query(body->holder, element.keyword,
                        "response " + status_text(*response, is_default) + " " + body->media_type.essence());
}

}  // namespace

std::string_view label_side_name(LabelSide side) noexcept {
    switch (side) {
        case LabelSide::Valid:
            return "valid";
        case LabelSide::Invalid:
            return "invalid";
        case LabelSide::Both:
            return "both";
    }
    return "both";
}

std::optional<model::ParameterLocation> parse_report_location(std::string_view text) noexcept {
    for (std::size_t i = 0; i < kLocationNames.size(); ++i) {
        if (kLocationNames[i] == text) return kLocations[i];
    }
    return std::nullopt;
}

deririrore::Result<Reached, std::string> labels_reaching(const recorders::CoverageMap& map,
                                                         const LabelElement& element) {
    const model::OperationRecord* operation = find_operation(map, element.method, element.path);
    if (operation == nullptr) {
        return make_unexpected("no operation " + std::string(http::method_name(element.method)) + " " + element.path +
                               " in the API document");
    }
    if (element.location && element.status) {
        return make_unexpected(std::string("name either a parameter (`location`) or a response (`status`), not both"));
    }
    SlotQuery query;
    if (element.location) {
        auto found = parameter_query(*operation, element);
        if (!found) return make_unexpected(std::move(found.error()));
        query = std::move(*found);
    } else if (element.status) {
        auto found = response_query(*operation, element);
        if (!found) return make_unexpected(std::move(found.error()));
        query = std::move(*found);
    } else if (element.keyword || element.name || element.media_type) {
        return make_unexpected(
            std::string("`name`, `keyword` and `media_type` belong to a parameter (`location`) or a response "
                        "(`status`)"));
    } else if (operation->ordinal != model::kUnnumbered) {
        query.ids.push_back(operation->ordinal);
    }
    // Before the first labelled recording nothing has slots and no label exists.
    if (!map.labels.installed) return Reached{};
    return sides_of(map.labels, query);
}

}  // namespace vantorel::reports
