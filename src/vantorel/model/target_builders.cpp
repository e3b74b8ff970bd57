#include "vantorel/model/target_builders.hpp"

#include <array>
#include <unordered_set>
#include <utility>

#include "http/media_type.hpp"
#include "zavova/keyword_targets.hpp"
#include "zavova/measured_targets.hpp"
#include "zavova/pass_only_targets.hpp"
#include "zavova/satisfiability.hpp"
#include "zavova/schema_predicates.hpp"

namespace vantorel::model {

namespace {

using deririrore::referencing::Draft;
using deririrore::value::Value;
using zavova::EntryMap;

bool equals_ignoring_case(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool type_names(const Value& schema, std::string_view name) {
    const Value* type = schema.is_object() ? schema.find("type") : nullptr;
    if (type == nullptr) return false;
    if (type->is_string()) return type->as_string() == name;
    if (type->is_array()) {
        for (const Value& item : type->as_array()) {
            if (item.is_string() && item.as_string() == name) return true;
        }
    }
    return false;
}

void add_string_types_at(const Value& root, const Value& node, EntryMap& entries, std::string location) {
    std::unordered_set<const Value*> visited;
    zavova::add_string_type_targets(root, node, entries, std::move(location), visited);
}

// The end of the root's chain of local references and its pointer ("" for no reference).
std::pair<const Value*, std::string> resolved_root(const Value& schema) {
    zavova::FollowedRef followed = zavova::follow_local_refs(schema, schema);
    return {followed.node, followed.pointer.value_or(std::string())};
}

void add_resolved_container_targets(const Value& schema, EntryMap& entries) {
    auto [node, pointer] = resolved_root(schema);
    zavova::add_container_type_targets(*node, pointer, entries);
}

// The members of an exploded query object arrive as query fields of their own, each as text.
void add_exploded_object_targets(const Value& schema, EntryMap& entries) {
    auto [node, pointer] = resolved_root(schema);
    if (!node->is_object()) return;
    if (const Value* properties = node->find("properties"); properties != nullptr && properties->is_object()) {
        for (const auto& [name, property] : properties->as_object()) {
            std::string location = zavova::child_location(pointer + "/properties", name);
            add_string_types_at(schema, property, entries, location);
            if (property.is_object() && type_names(property, "array")) {
                zavova::add_container_type_targets(property, location, entries);
            }
        }
    }
    if (const Value* additional = node->find("additionalProperties")) {
        add_string_types_at(schema, *additional, entries, pointer + "/additionalProperties");
    }
}

void register_entries(const Value& schema, TargetRecipe recipe, EntryMap& entries) {
    switch (recipe) {
        case TargetRecipe::Response:
            if (!zavova::add_binary_schema_targets(schema, entries))
                zavova::collect_string_type_targets(schema, entries);
            break;
        case TargetRecipe::Parameter:
        case TargetRecipe::ManagedHeader:
            add_resolved_container_targets(schema, entries);
            zavova::add_root_string_type_targets(schema, entries);
            break;
        case TargetRecipe::ExplodedQuery:
            add_resolved_container_targets(schema, entries);
            zavova::add_root_string_type_targets(schema, entries);
            add_exploded_object_targets(schema, entries);
            break;
        case TargetRecipe::FormData:
            zavova::add_root_string_type_targets(schema, entries);
            add_resolved_container_targets(schema, entries);
            break;
        case TargetRecipe::MediaText:
            zavova::add_root_string_type_targets(schema, entries);
            zavova::collect_string_type_targets(schema, entries);
            break;
        case TargetRecipe::BodyText:
            zavova::add_root_string_type_targets(schema, entries);
            break;
        case TargetRecipe::MediaForm:
            add_form_object_targets(schema, entries);
            zavova::collect_string_type_targets(schema, entries);
            break;
        case TargetRecipe::BodyForm:
            add_form_object_targets(schema, entries);
            add_resolved_container_targets(schema, entries);
            break;
        case TargetRecipe::MediaXml:
            zavova::add_xml_string_type_targets(schema, entries);
            zavova::add_binary_schema_targets(schema, entries);
            zavova::collect_string_type_targets(schema, entries);
            break;
        case TargetRecipe::BodyXml:
            zavova::add_xml_string_type_targets(schema, entries);
            zavova::add_binary_schema_targets(schema, entries);
            break;
        case TargetRecipe::MediaMultipart:
            zavova::add_binary_schema_targets(schema, entries);
            add_form_object_targets(schema, entries);
            zavova::collect_string_type_targets(schema, entries);
            break;
        case TargetRecipe::BodyMultipart:
            zavova::add_binary_schema_targets(schema, entries);
            add_form_object_targets(schema, entries);
            add_resolved_container_targets(schema, entries);
            break;
        case TargetRecipe::MediaOther:
            zavova::add_binary_schema_targets(schema, entries);
            zavova::collect_string_type_targets(schema, entries);
            break;
        case TargetRecipe::Path:
        case TargetRecipe::FormDataFile:
        case TargetRecipe::BodyOther:
            break;
    }
}

// A state of the pass-only entries alone, with no analysis and no keyword collection: what a
// file field or a plain binary body can be checked for.
zavova::CoverageHolder entries_only_state(const Value& schema, Draft draft, EntryMap entries) {
    auto state = std::make_shared<zavova::CoverageState>();
    state->entries = std::move(entries);
    state->draft = draft;
    if (auto note = zavova::find_unknown_dialect(schema, draft, ""))
        state->unknown_dialects.push_back(std::move(*note));
    zavova::CoverageHolder holder;
    holder.state = std::move(state);
    return holder;
}

}  // namespace

bool is_client_managed_header(std::string_view name) noexcept {
    return equals_ignoring_case(name, "host") || equals_ignoring_case(name, "content-length") ||
           equals_ignoring_case(name, "Transfer-Encoding");
}

TargetRecipe media_type_recipe(std::string_view media_type) {
    if (http::is_text_media_type(media_type)) return TargetRecipe::MediaText;
    if (media_type == "application/x-www-form-urlencoded") return TargetRecipe::MediaForm;
    if (http::is_xml_media_type(media_type)) return TargetRecipe::MediaXml;
    if (media_type.starts_with("multipart/")) return TargetRecipe::MediaMultipart;
    return TargetRecipe::MediaOther;
}

TargetRecipe body_parameter_recipe(const std::optional<std::string>& media_type) {
    if (!media_type) return TargetRecipe::BodyOther;
    if (*media_type == "application/x-www-form-urlencoded") return TargetRecipe::BodyForm;
    if (media_type->starts_with("multipart/")) return TargetRecipe::BodyMultipart;
    if (http::is_text_media_type(*media_type)) return TargetRecipe::BodyText;
    if (http::is_xml_media_type(*media_type)) return TargetRecipe::BodyXml;
    return TargetRecipe::BodyOther;
}

void add_form_object_targets(const Value& schema, EntryMap& entries) {
    auto [node, pointer] = resolved_root(schema);
    if (!node->is_object()) return;
    if (const Value* type = node->find("type"); type != nullptr && type->is_string() && type->as_string() == "object") {
        zavova::set_keyword_entry(entries, pointer + "/type", zavova::EntryKind::keyword(zavova::Polarity::ValidOnly));
    }
    const Value* properties = node->find("properties");
    if (properties == nullptr || !properties->is_object()) return;
    for (const auto& [name, property] : properties->as_object()) {
        add_string_types_at(schema, property, entries, zavova::child_location(pointer + "/properties", name));
    }
}

zavova::CoverageHolder measure_target(const Value& schema, Draft draft,
                                      const std::vector<std::string>& removed_patterns, TargetRecipe recipe,
                                      zavova::KeywordWalkMemo* memo) {
    const zavova::SatisfiabilityAnalysis& analysis = zavova::canonical_satisfiability_analysis();
    // Read only where a state is built from it, and once where a builder falls back.
    std::optional<zavova::SchemaReading> read;
    const auto reading = [&]() -> const zavova::SchemaReading& {
        if (!read) read = zavova::read_measured_schema(schema, draft, analysis, memo);
        return *read;
    };
    zavova::CoverageHolder holder;
    if (recipe == TargetRecipe::Path) {
        // The type mask it also reads was checked before the compile.
        auto measured = zavova::measure_path_parameter(schema, draft, removed_patterns, reading());
        if (measured) return std::move(measured->holder);
        holder = zavova::build_coverage_state(reading(), draft, EntryMap{});
    } else if (EntryMap file; recipe == TargetRecipe::FormDataFile && zavova::add_file_schema_targets(schema, file)) {
        holder = entries_only_state(schema, draft, std::move(file));
    } else if (EntryMap binary;
               recipe == TargetRecipe::BodyOther && zavova::add_binary_schema_targets(schema, binary)) {
        holder = entries_only_state(schema, draft, std::move(binary));
    } else {
        EntryMap entries;
        register_entries(schema, recipe, entries);
        holder = zavova::build_coverage_state(reading(), draft, std::move(entries));
    }
    zavova::CoverageState& state = zavova::make_state_unique(holder);
    if (recipe == TargetRecipe::ManagedHeader) {
        for (std::size_t i = 0; i < state.entries.size(); ++i) {
            zavova::KeywordEntry& entry = state.entries.entry(i);
            switch (entry.kind.tag) {
                case zavova::EntryTag::Keyword:
                case zavova::EntryTag::ListItem:
                case zavova::EntryTag::Subschema:
                    entry.kind.payload = static_cast<std::uint8_t>(zavova::Polarity::ValidOnly);
                    break;
                default:
                    break;
            }
        }
        state.covered_prefix = 0;
    }
    for (const std::string& location : removed_patterns) {
        state.entries.set(location, zavova::EntryKind::unmeasured(zavova::UnmeasuredReason::InvalidPattern));
    }
    state.special_index.reset();
    return holder;
}

deririrore::Result<FormFieldSpecs, SpecProblem> build_form_field_specs(const Value& schema, const Value* encoding) {
    static constexpr std::array<std::string_view, 4> kStyles = {"form", "spaceDelimited", "pipeDelimited",
                                                                "deepObject"};
    FormFieldSpecs specs;
    const Value& target = *zavova::follow_local_refs(schema, schema).node;
    const Value* properties = target.is_object() ? target.find("properties") : nullptr;
    if (properties == nullptr || !properties->is_object()) return specs;
    for (const auto& [name, property] : properties->as_object()) {
        std::uint8_t style = 0;
        std::optional<bool> explode;
        const Value* member = encoding != nullptr && encoding->is_object() ? encoding->find(name) : nullptr;
        if (member != nullptr && member->is_object()) {
            if (const Value* text = member->find("style"); text != nullptr && text->is_string()) {
                std::size_t i = 0;
                while (i < kStyles.size() && kStyles[i] != text->as_string()) ++i;
                if (i == kStyles.size()) {
                    return deririrore::make_unexpected(SpecProblem::unexpected_value(*text, "style", kStyles));
                }
                style = static_cast<std::uint8_t>(i);
            }
            if (const Value* flag = member->find("explode")) {
                if (!flag->is_bool())
                    return deririrore::make_unexpected(SpecProblem::unexpected_type("explode", JsonType::Boolean));
                explode = flag->as_bool();
            }
        }
        auto types = zavova::compute_schema_type_mask(schema, property);
        if (!types) continue;
        specs.emplace(name,
                      zavova::DecodeSpec{static_cast<std::uint8_t>(zavova::expects_digit_strings(schema, property)),
                                         static_cast<std::uint8_t>(explode.value_or(style == 0) ? 1 : 0),
                                         zavova::DecodeMode::Typed, style, *types});
    }
    return specs;
}

void move_array_enum_into_items(Value& schema) {
    if (!schema.is_object()) return;
    const Value* type = schema.find("type");
    const Value* values = schema.find("enum");
    const Value* items = schema.find("items");
    if (type == nullptr || !type->is_string() || type->as_string() != "array") return;
    if (values == nullptr || !values->is_array()) return;
    if (items != nullptr && !items->is_object()) return;
    for (const Value& value : values->as_array()) {
        if (value.is_array()) return;
    }
    Value moved = *values;
    if (items == nullptr) schema.insert_or_assign("items", Value::object());
    Value& item_schema = *schema.find_mut("items");
    if (const Value* inner = item_schema.find("enum"); inner != nullptr && inner->is_array()) {
        Value::Array kept;
        for (const Value& value : moved.as_array()) {
            for (const Value& allowed : inner->as_array()) {
                if (identical(value, allowed)) {
                    kept.push_back(value);
                    break;
                }
            }
        }
        moved = Value::array(std::move(kept));
    }
    item_schema.insert_or_assign("enum", std::move(moved));
    schema.erase("enum");
}

}  // namespace vantorel::model
