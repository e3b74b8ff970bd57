#include "vantorel/model/parameters.hpp"

#include <array>
#include <stdexcept>
#include <string>
#include <utility>

#include "deririrore/value/json.hpp"
#include "http/media_type.hpp"
#include "vantorel/model/reference_resolution.hpp"
#include "vantorel/model/target_builders.hpp"
#include "xml/hints.hpp"
#include "zavova/measured_targets.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;

constexpr std::array<std::string_view, 4> kInV3 = {"query", "header", "path", "cookie"};
constexpr std::array<std::string_view, 5> kInV32 = {"query", "header", "path", "cookie", "querystring"};
constexpr std::array<std::string_view, 5> kInV2 = {"query", "header", "path", "formData", "body"};
constexpr std::array<std::string_view, 3> kPathStyles = {"simple", "label", "matrix"};
constexpr std::array<std::string_view, 4> kQueryStyles = {"form", "spaceDelimited", "pipeDelimited", "deepObject"};
constexpr std::array<std::string_view, 5> kCollectionFormats = {"csv", "ssv", "tsv", "pipes", "multi"};
constexpr std::array<std::string_view, 4> kHeaderCollectionFormats = {"csv", "ssv", "tsv", "pipes"};

// Copied from a Swagger 2.0 query, path or header parameter into its schema, in this order.
constexpr std::array<std::string_view, 16> kKeywordsH = {
    "type",      "format",  "items",    "maximum",  "exclusiveMaximum", "minimum", "exclusiveMinimum", "maxLength",
    "minLength", "pattern", "maxItems", "minItems", "uniqueItems",      "enum",    "multipleOf",       "x-nullable"};
// The same for formData, with `collectionFormat` in place of `type`.
constexpr std::array<std::string_view, 16> kKeywordsF = {
    "format",           "items",     "collectionFormat", "maximum",   "exclusiveMaximum", "minimum",
    "exclusiveMinimum", "maxLength", "minLength",        "pattern",   "maxItems",         "minItems",
    "uniqueItems",      "enum",      "multipleOf",       "x-nullable"};

constexpr std::array<std::string_view, 7> kLocationNames = {"path", "query",    "header",     "cookie",
                                                            "body", "formData", "querystring"};

bool is_draft4_version(SpecVersion v) noexcept { return v == SpecVersion::Swagger20 || v == SpecVersion::OpenApi30; }

bool is_body_recipe(TargetRecipe recipe) noexcept {
    return recipe == TargetRecipe::Response || recipe >= TargetRecipe::MediaText;
}

// A schema on its way to a target: measured already for an equal one, or hydrated now.
struct PendingSchema {
    std::string key;  // empty when the build shares no measures
    const SharedMeasure* shared = nullptr;
    Value hydrated;
    Draft draft = Draft::Draft4;
    bool xml_hints = false;  // learn XML hints from the hydrated schema before it is compiled
};

// A body of this media type (or range) may arrive as XML, and then decodes with the schema's hints.
bool may_carry_xml(std::string_view media_type) {
    const auto parsed = http::parse_media_type(media_type);
    if (!parsed) return false;
    const auto [type, subtype] = http::split_media_type(*parsed);
    return type == "*" || subtype == "*" || subtype == "xml" || subtype.ends_with("+xml");
}

// The schema's text, the kind of target, what else shapes the schema, and the scope it is
// hydrated in (loaded files live as long as the build, so their addresses name them).
std::string measure_key(const ReferenceContext& context, const Value& source, TargetRecipe recipe,
                        std::string_view variant) {
    std::string key = deririrore::value::to_json(source);
    key += '\0';
    key += static_cast<char>(recipe);
    key += variant;
    key += '\0';
    const void* scope = context.current_scope.get();
    key.append(reinterpret_cast<const char*>(&scope), sizeof scope);
    return key;
}

// Hydrates `source` in the current scope unless an equal one was measured for the same kind of
// target; `fixed_draft` for Swagger 2.0, whose schemas are all draft 4; `form_type` is the "type"
// a Swagger 2.0 formData parameter puts into its hydrated schema; `xml_hints` for a body whose
// media type may carry XML.
Result<PendingSchema, SpecProblem> prepare_schema(ReferenceContext& context, const OperationServices& services,
                                                  Value source, TargetRecipe recipe,
                                                  std::optional<Draft> fixed_draft = std::nullopt,
                                                  const Value* form_type = nullptr, bool xml_hints = false) {
    PendingSchema pending;
    pending.xml_hints = xml_hints;
    if (services.shared_measures) {
        std::string variant = form_type != nullptr ? deririrore::value::to_json(*form_type) : std::string();
        if (xml_hints) variant += "\x01xml";
        pending.key = measure_key(context, source, recipe, variant);
        pending.shared = services.shared_measures->find(pending.key);
        if (pending.shared != nullptr) return pending;
    }
    auto hydrated = hydrate_in_scope(services, context, std::move(source));
    if (!hydrated) return make_unexpected(std::move(hydrated.error()));
    if (form_type != nullptr) {
        // The hydrated form of a schema built as an object is an object.
        if (!hydrated->is_object()) throw std::logic_error("Schema is an object");
        hydrated->insert_or_assign("type", *form_type);
    }
    pending.draft = fixed_draft ? *fixed_draft : services.draft(context, *hydrated);
    pending.hydrated = std::move(*hydrated);
    return pending;
}

// Compiles and measures one parameter or body schema into a target of the given form.
Result<ParameterTarget, SpecProblem> measured_target(std::int64_t tag, ParameterLocation location, std::string name,
                                                     PendingSchema pending, TargetRecipe recipe,
                                                     const OperationServices& services) {
    ParameterTarget target;
    target.tag = tag;
    target.location = location;
    target.name = std::move(name);
    if (const SharedMeasure* shared = pending.shared) {
        target.draft = shared->draft;
        target.types = shared->types;
        target.digit_strings = shared->digit_strings;
        target.schema = shared->schema;
        target.validator = shared->validator;
        target.holder = shared->holder;
        target.xml_hints = shared->xml_hints;
        return target;
    }
    Value schema = std::move(pending.hydrated);
    const Draft draft = pending.draft;
    target.draft = draft;
    auto types = zavova::compute_schema_type_mask(schema, schema);
    if (!types) return make_unexpected(SpecProblem::unexpected_type("type", JsonType::String));
    target.types = *types;
    target.digit_strings = zavova::expects_digit_strings(schema, schema);
    // A Swagger 2.0 file field compiles without its "file" type, which no draft knows, and keeps it
    // for its two file entries.
    const Value* type = recipe == TargetRecipe::FormData && schema.is_object() ? schema.find("type") : nullptr;
    const bool file = type != nullptr && type->is_string() && type->as_string() == "file";
    if (file) {
        schema.erase("type");
        recipe = TargetRecipe::FormDataFile;
    }
    if (pending.xml_hints) target.xml_hints = std::make_shared<const xml::XmlHints>(xml::xml_hints_from_schema(schema));
    // The compilation adapts the schema in place; the target keeps and measures what it compiled.
    auto compiled = services.compile(schema, draft, "readOnly", is_body_recipe(recipe));
    if (!compiled) return make_unexpected(std::move(compiled.error()));
    std::shared_ptr<const Value> shared = std::move(compiled->schema);
    if (shared == nullptr || file) {
        Value own = shared != nullptr ? Value(*shared) : std::move(schema);
        if (file && own.is_object()) own.insert_or_assign("type", Value::string("file"));
        shared = std::make_shared<const Value>(std::move(own));
    }
    target.holder = services.measure(shared, draft, *compiled, recipe);
    target.validator = std::move(compiled->validator);
    target.schema = std::move(shared);
    if (!pending.key.empty()) {
        services.shared_measures->insert(
            std::move(pending.key), SharedMeasure{target.schema, target.validator, target.holder, draft, target.types,
                                                  target.digit_strings, target.xml_hints});
    }
    return target;
}

std::optional<SpecProblem> check_flag(const Value& parameter, std::string_view field) {
    const Value* v = parameter.find(field);
    if (v != nullptr && !v->is_bool()) return SpecProblem::unexpected_type(field, JsonType::Boolean);
    return std::nullopt;
}

bool flag(const Value& parameter, std::string_view field, bool fallback) {
    const Value* v = parameter.find(field);
    return v != nullptr && v->is_bool() ? v->as_bool() : fallback;
}

template <std::size_t N>
Result<std::size_t, SpecProblem> read_choice(const Value& parameter, std::string_view field,
                                             const std::array<std::string_view, N>& allowed) {
    const Value* v = parameter.find(field);
    if (v == nullptr) return std::size_t{0};
    if (v->is_string()) {
        for (std::size_t i = 0; i < N; ++i) {
            if (v->as_string() == allowed[i]) return i;
        }
    }
    return make_unexpected(SpecProblem::unexpected_value(*v, field, allowed));
}

Value parameter_schema_v2(const Value& parameter, std::span<const std::string_view> keywords) {
    deririrore::value::ObjectBuilder schema;
    for (std::string_view keyword : keywords) {
        if (const Value* v = parameter.find(keyword)) schema.add(std::string(keyword), *v);
    }
    Value built = std::move(schema).build();
    move_array_enum_into_items(built);
    return built;
}

Result<ParameterTarget, SpecProblem> build_v3(ReferenceContext& context, const Value& parameter, std::string name,
                                              std::string_view in, const OperationServices& services) {
    if (in == "querystring" && context.version == SpecVersion::OpenApi32) {
        const Value* content = parameter.find("content");
        if (content == nullptr || !content->is_object()) return make_unexpected(SpecProblem::missing_field("content"));
        auto found = find_parameter_schema(context, parameter);
        if (!found) return make_unexpected(std::move(found.error()));
        // A single entry, or find_parameter_schema would have refused it.
        const std::string_view media_type = content->as_object().front().key;
        const TargetRecipe recipe = media_type_recipe(media_type);
        auto pending = prepare_schema(context, services, std::move(found->schema), recipe, std::nullopt, nullptr,
                                      may_carry_xml(media_type));
        if (!pending) return make_unexpected(std::move(pending.error()));
        auto target = measured_target(kQuerystringTag, ParameterLocation::Querystring, std::move(name),
                                      std::move(*pending), recipe, services);
        if (!target) return target;
        target->non_json_content = found->content.value_or(ContentSource::Unset);
        // The media type object's `encoding`, whatever the media type.
        const Value* media = &content->as_object().front().value;
        if (const Value* ref = media->is_object() ? media->find("$ref") : nullptr) {
            auto resolved = resolve_in_current_scope(context, *ref);
            media = resolved ? resolved->first : nullptr;
        }
        const Value* encoding = media != nullptr && media->is_object() ? media->find("encoding") : nullptr;
        auto specs =
            build_form_field_specs(*target->schema, encoding != nullptr && encoding->is_object() ? encoding : nullptr);
        if (!specs) return make_unexpected(std::move(specs.error()));
        target->field_specs = std::move(*specs);
        return target;
    }
    std::int64_t tag = 0;
    ParameterLocation location{};
    if (in == "path")
        tag = kPathTag, location = ParameterLocation::Path;
    else if (in == "query")
        tag = kQueryTag, location = ParameterLocation::Query;
    else if (in == "header")
        tag = kHeaderTag, location = ParameterLocation::Header;
    else if (in == "cookie")
        tag = kCookieTag, location = ParameterLocation::Cookie;
    else {
        const bool v32 = context.version == SpecVersion::OpenApi32;
        return make_unexpected(SpecProblem::unexpected_value_text(
            std::string(in), "in",
            v32 ? std::span<const std::string_view>(kInV32) : std::span<const std::string_view>(kInV3)));
    }
    auto found = find_parameter_schema(context, parameter);
    if (!found) return make_unexpected(std::move(found.error()));
    TargetRecipe recipe = TargetRecipe::Parameter;
    if (tag == kPathTag) {
        recipe = TargetRecipe::Path;
    } else if (tag == kQueryTag) {
        // The members of an exploded object are fields of the query, each of them text. A style
        // that does not parse fails the parameter below, after hydration, whatever this says.
        const auto s = parse_query_style(parameter);
        const bool typed = !found->content.has_value();
        if (s && typed &&
            ((*s == QueryStyle::Form && flag(parameter, "explode", true)) || *s == QueryStyle::DeepObject))
            recipe = TargetRecipe::ExplodedQuery;
    } else if (tag == kHeaderTag && is_client_managed_header(name)) {
        recipe = TargetRecipe::ManagedHeader;
    }
    auto pending = prepare_schema(context, services, std::move(found->schema), recipe);
    if (!pending) return make_unexpected(std::move(pending.error()));
    std::uint8_t style = 0;
    bool explode = false;
    if (tag == kPathTag) {
        auto s = parse_path_style(parameter);
        if (!s) return make_unexpected(std::move(s.error()));
        style = static_cast<std::uint8_t>(*s);
        explode = flag(parameter, "explode", false);
    } else if (tag == kQueryTag) {
        auto s = parse_query_style(parameter);
        if (!s) return make_unexpected(std::move(s.error()));
        style = static_cast<std::uint8_t>(*s);
        explode = flag(parameter, "explode", true);
    } else {
        explode = flag(parameter, "explode", tag == kCookieTag);
    }
    auto target = measured_target(tag, location, std::move(name), std::move(*pending), recipe, services);
    if (!target) return target;
    target->style = style;
    target->explode = explode;
    if (found->content) target->non_json_content = *found->content;
    return target;
}

Result<ParameterTarget, SpecProblem> build_v2(ReferenceContext& context, const Value& parameter, std::string name,
                                              std::string_view in, const OperationServices& services) {
    if (in == "body") {
        const Value* schema = parameter.find("schema");
        if (schema == nullptr) return make_unexpected(SpecProblem::missing_field("schema"));
        const TargetRecipe recipe = body_parameter_recipe(context.non_json_body_media_type);
        const auto& media_type = context.non_json_body_media_type;
        auto pending = prepare_schema(context, services, *schema, recipe, Draft::Draft4, nullptr,
                                      media_type && may_carry_xml(*media_type));
        if (!pending) return make_unexpected(std::move(pending.error()));
        auto target = measured_target(kSwagger2Tag, ParameterLocation::Body, std::move(name), std::move(*pending),
                                      recipe, services);
        if (!target) return target;
        auto specs = build_form_field_specs(*target->schema, nullptr);
        if (!specs) return make_unexpected(std::move(specs.error()));
        target->field_specs = std::move(*specs);
        target->body_media_type = context.body_media_type;
        target->non_json_body_media_type = context.non_json_body_media_type;
        return target;
    }
    ParameterLocation location{};
    if (in == "query")
        location = ParameterLocation::Query;
    else if (in == "path")
        location = ParameterLocation::Path;
    else if (in == "header")
        location = ParameterLocation::Header;
    else if (in == "formData")
        location = ParameterLocation::FormData;
    else
        return make_unexpected(SpecProblem::unexpected_value_text(std::string(in), "in", kInV2));
    const bool form = location == ParameterLocation::FormData;
    TargetRecipe recipe = TargetRecipe::Parameter;
    if (location == ParameterLocation::Path)
        recipe = TargetRecipe::Path;
    else if (form)
        recipe = TargetRecipe::FormData;
    else if (location == ParameterLocation::Header && is_client_managed_header(name))
        recipe = TargetRecipe::ManagedHeader;
    auto pending = prepare_schema(context, services,
                                  parameter_schema_v2(parameter, form ? std::span(kKeywordsF) : std::span(kKeywordsH)),
                                  recipe, Draft::Draft4, form ? parameter.find("type") : nullptr);
    if (!pending) return make_unexpected(std::move(pending.error()));
    const Value& schema = pending->shared != nullptr ? *pending->shared->schema : pending->hydrated;
    const bool multi = location == ParameterLocation::Query || form;
    auto format = multi ? read_collection_format(parameter) : read_header_collection_format(parameter);
    if (!format) return make_unexpected(std::move(format.error()));
    if (auto nested = read_items_collection_formats(schema)) return make_unexpected(std::move(*nested));
    auto target = measured_target(kSwagger2Tag, location, std::move(name), std::move(*pending), recipe, services);
    if (target) target->collection_format = *format;
    return target;
}

}  // namespace

ParameterLocation target_location(const ParameterTarget& target) noexcept {
    switch (target.tag) {
        case 0:
        case 1:
        case 2:
        case 7:
            return ParameterLocation::Body;
        case kPathTag:
            return ParameterLocation::Path;
        case kQueryTag:
            return ParameterLocation::Query;
        case kHeaderTag:
            return ParameterLocation::Header;
        case kCookieTag:
            return ParameterLocation::Cookie;
        case kQuerystringTag:
            return ParameterLocation::Querystring;
        default:
            return target.location;
    }
}

Result<PathStyle, SpecProblem> parse_path_style(const Value& parameter) {
    auto i = read_choice(parameter, "style", kPathStyles);
    if (!i) return make_unexpected(std::move(i.error()));
    return static_cast<PathStyle>(*i);
}

Result<QueryStyle, SpecProblem> parse_query_style(const Value& parameter) {
    auto i = read_choice(parameter, "style", kQueryStyles);
    if (!i) return make_unexpected(std::move(i.error()));
    return static_cast<QueryStyle>(*i);
}

Result<CollectionFormat, SpecProblem> read_collection_format(const Value& parameter) {
    auto i = read_choice(parameter, "collectionFormat", kCollectionFormats);
    if (!i) return make_unexpected(std::move(i.error()));
    return static_cast<CollectionFormat>(*i);
}

Result<CollectionFormat, SpecProblem> read_header_collection_format(const Value& parameter) {
    auto i = read_choice(parameter, "collectionFormat", kHeaderCollectionFormats);
    if (!i) return make_unexpected(std::move(i.error()));
    return static_cast<CollectionFormat>(*i);
}

std::optional<SpecProblem> read_items_collection_formats(const Value& schema) {
    // A chain of `items` is walked iteratively, so a deep one costs no stack.
    const Value* current = schema.is_object() ? schema.find("items") : nullptr;
    while (current != nullptr && current->is_object()) {
        auto format = read_header_collection_format(*current);
        if (!format) return std::move(format.error());
        current = current->find("items");
    }
    return std::nullopt;
}

Result<ParameterSchema, SpecProblem> find_parameter_schema(ReferenceContext& context, const Value& parameter) {
    if (const Value* schema = parameter.find("schema")) return ParameterSchema{*schema, std::nullopt};
    const Value* content = parameter.find("content");
    if (content == nullptr || !content->is_object()) return make_unexpected(SpecProblem::missing_field("schema"));
    if (content->size() != 1) {
        std::string keys;
        for (const auto& [key, value] : content->as_object()) {
            if (!keys.empty()) keys += ", ";
            keys += key;
        }
        return make_unexpected(SpecProblem::unexpected_value_text(keys.empty() ? "{}" : keys, "content"));
    }
    const auto& [key, declared] = content->as_object().front();
    const Value* entry = &declared;
    if (const Value* ref = entry->is_object() ? entry->find("$ref") : nullptr) {
        auto resolved = resolve_in_current_scope(context, *ref);
        if (!resolved) return make_unexpected(std::move(resolved.error()));
        entry = resolved->first;
    }
    const Value* schema = entry->is_object() ? entry->find("schema") : nullptr;
    ContentSource source = ContentSource::Other;
    if (auto parsed = http::parse_media_type(key)) {
        auto [type, subtype] = http::split_media_type(*parsed);
        if (http::is_json_media_type(type, subtype)) source = ContentSource::Json;
    }
    return ParameterSchema{schema != nullptr ? *schema : Value::object(), source};
}

Result<ParameterTarget, SpecProblem> build_parameter_targets(ReferenceContext& context, const Value& parameter,
                                                             const OperationServices& services) {
    if (!parameter.is_object()) return make_unexpected(SpecProblem::missing_field("name"));
    const Value* name = parameter.find("name");
    if (name == nullptr) return make_unexpected(SpecProblem::missing_field("name"));
    if (!name->is_string()) return make_unexpected(SpecProblem::unexpected_type("name", JsonType::String));
    const Value* in = parameter.find("in");
    if (in == nullptr) return make_unexpected(SpecProblem::missing_field("in"));
    if (!in->is_string()) return make_unexpected(SpecProblem::unexpected_type("in", JsonType::String));
    const bool v3 = context.version != SpecVersion::Swagger20;
    for (std::string_view field : {"required", "deprecated", "allowEmptyValue", "explode", "allowReserved"}) {
        if (!v3 && field != "required" && field != "allowEmptyValue") continue;
        if (auto problem = check_flag(parameter, field)) return make_unexpected(std::move(*problem));
    }
    return v3 ? build_v3(context, parameter, name->as_string(), in->as_string(), services)
              : build_v2(context, parameter, name->as_string(), in->as_string(), services);
}

std::optional<ParameterPosition> describe_parameter_position(const Value& parameter) {
    if (!parameter.is_object()) return std::nullopt;
    const Value* name = parameter.find("name");
    const Value* in = parameter.find("in");
    if (name == nullptr || !name->is_string() || in == nullptr || !in->is_string()) return std::nullopt;
    for (std::size_t i = 0; i < kLocationNames.size(); ++i) {
        if (in->as_string() == kLocationNames[i]) {
            return ParameterPosition{name->as_string(), static_cast<ParameterLocation>(i)};
        }
    }
    return std::nullopt;
}

void add_parameter_target(std::vector<ParameterTarget>& targets, ParameterTarget target) {
    const ParameterLocation location = target_location(target);
    for (ParameterTarget& stored : targets) {
        if (target_location(stored) == location && stored.name == target.name) {
            stored = std::move(target);
            return;
        }
    }
    targets.push_back(std::move(target));
}

void add_parameter_list(ReferenceContext& context, OperationRecord& record, std::span<const Value> parameters,
                        OperationProblems& problems, const OperationServices& services) {
    for (const Value& element : parameters) {
        const Value* ref = element.is_object() ? element.find("$ref") : nullptr;
        if (ref == nullptr) {
            auto built = build_parameter_targets(context, element, services);
            if (built)
                add_parameter_target(record.parameters, std::move(*built));
            else
                problems.emplace_back(describe_parameter_position(element), std::move(built.error()));
            continue;
        }
        auto target = enter_reference(context, *ref, true, [](ReferenceContext& c, const Value& r, SharedDocument& s) {
            return resolve_reference(c, r, s);
        });
        ReferenceScopeGuard guard(context);
        if (!target) {
            problems.emplace_back(std::nullopt, std::move(target.error()));
            continue;
        }
        auto built = build_parameter_targets(context, **target, services);
        if (built)
            add_parameter_target(record.parameters, std::move(*built));
        else
            problems.emplace_back(describe_parameter_position(**target), std::move(built.error()));
    }
}

void add_operation_parameters(ReferenceContext& context, OperationRecord& record, const Value& operation,
                              OperationProblems& problems, const OperationServices& services) {
    const Value* parameters = operation.is_object() ? operation.find("parameters") : nullptr;
    if (parameters == nullptr || !parameters->is_array()) return;
    add_parameter_list(context, record, parameters->as_array(), problems, services);
}

void check_querystring_parameters(const OperationRecord& record, OperationProblems& problems) {
    std::size_t querystrings = 0;
    bool query = false;
    for (const ParameterTarget& target : record.parameters) {
        if (target.tag == kQuerystringTag) ++querystrings;
        if (target.tag == kQueryTag || (target.tag == kSwagger2Tag && target.location == ParameterLocation::Query)) {
            query = true;
        }
    }
    if (querystrings >= 2) {
        problems.emplace_back(std::nullopt, SpecProblem{problems::QuerystringConflict{ParameterLocation::Querystring}});
    } else if (querystrings == 1 && query) {
        problems.emplace_back(std::nullopt, SpecProblem{problems::QuerystringConflict{ParameterLocation::Query}});
    }
}

void add_template_path_parameters(ReferenceContext& context, OperationRecord& record, std::string_view path_template,
                                  const OperationServices& services) {
    std::size_t i = 0;
    while ((i = path_template.find('{', i)) != std::string_view::npos) {
        const std::size_t close = path_template.find('}', i + 1);
        const std::string_view name =
            path_template.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
        i = close == std::string_view::npos ? path_template.size() : close + 1;
        if (name.empty()) continue;
        bool declared = false;
        for (const ParameterTarget& t : record.parameters) {
            if ((t.tag == kPathTag || (t.tag == kSwagger2Tag && t.location == ParameterLocation::Path)) &&
                t.name == name) {
                declared = true;
                break;
            }
        }
        if (declared) continue;
        deririrore::value::ObjectBuilder string_schema;
        string_schema.add("type", Value::string("string"));
        Value schema = std::move(string_schema).build();
        const bool swagger = context.version == SpecVersion::Swagger20;
        const Draft draft = is_draft4_version(context.version) ? Draft::Draft4 : Draft::Draft202012;
        PendingSchema pending;
        pending.hydrated = std::move(schema);
        pending.draft = draft;
        auto built = measured_target(swagger ? kSwagger2Tag : kPathTag, ParameterLocation::Path, std::string(name),
                                     std::move(pending), TargetRecipe::Path, services);
        if (!built) continue;
        if (!swagger) built->style = static_cast<std::uint8_t>(PathStyle::Simple);
        add_parameter_target(record.parameters, std::move(*built));
    }
}

void flush_operation_problems(ReferenceContext& context, http::HttpMethod method, std::string_view path_template,
                              OperationProblems& problems) {
    for (auto& [position, problem] : problems) {
        context.problems.push_back(ProblemEntry{std::string(path_template), std::move(position), std::move(problem),
                                                static_cast<std::uint8_t>(method)});
    }
    problems.clear();
}

void build_request_body_targets(ReferenceContext& context, OperationRecord& record, const Value& request_body,
                                OperationProblems& problems, const OperationServices& services) {
    const Value* content = request_body.is_object() ? request_body.find("content") : nullptr;
    if (content == nullptr || !content->is_object()) return;
    std::vector<http::MediaType> declared;
    for (const auto& [key, value] : content->as_object()) {
        if (auto parsed = http::parse_media_type(key)) declared.push_back(std::move(*parsed));
    }
    for (const auto& [key, declared_value] : content->as_object()) {
        const Value* value = &declared_value;
        if (const Value* ref = value->is_object() ? value->find("$ref") : nullptr) {
            auto target = enter_reference(
                context, *ref, false,
                [](ReferenceContext& c, const Value& r, SharedDocument& s) { return resolve_reference(c, r, s); });
            if (!target) {
                problems.emplace_back(positions::RequestBodyMediaType{key}, std::move(target.error()));
                continue;
            }
            value = *target;
        }
        const Value* schema = value->is_object() ? value->find("schema") : nullptr;
        if (schema == nullptr) continue;
        std::optional<Value> encoding;
        if (const Value* e = value->find("encoding"); e != nullptr && e->is_object()) {
            const bool multipart_too =
                context.version == SpecVersion::OpenApi31 || context.version == SpecVersion::OpenApi32;
            if (key == "application/x-www-form-urlencoded" || (multipart_too && key == "multipart/form-data")) {
                encoding = *e;
            }
        }
        const TargetRecipe recipe = media_type_recipe(key);
        auto pending = prepare_schema(context, services, *schema, recipe, std::nullopt, nullptr, may_carry_xml(key));
        if (!pending) {
            problems.emplace_back(positions::RequestBodyMediaType{key}, std::move(pending.error()));
            continue;
        }
        std::optional<http::MediaType> parsed;
        std::vector<http::MediaType> narrower;
        BodyForm form = BodyForm::Other;
        if (auto p = http::parse_media_type(key)) {
            parsed = std::move(*p);
            const int specificity = media_range_specificity(*parsed);
            for (const http::MediaType& other : declared) {
                if (media_range_specificity(other) > specificity && http::media_range_matches(*parsed, other)) {
                    narrower.push_back(other);
                }
            }
            auto [type, subtype] = http::split_media_type(*parsed);
            if (http::is_json_media_type(type, subtype))
                form = BodyForm::Json;
            else if (parsed->essence() == "application/x-www-form-urlencoded")
                form = BodyForm::Form;
            else if (type == "multipart")
                form = BodyForm::Multipart;
        }
        auto built = measured_target(static_cast<std::int64_t>(form), ParameterLocation::Body, key, std::move(*pending),
                                     recipe, services);
        if (!built) {
            problems.emplace_back(positions::RequestBodyMediaType{key}, std::move(built.error()));
            continue;
        }
        auto specs = build_form_field_specs(*built->schema, encoding ? &*encoding : nullptr);
        if (!specs) {
            problems.emplace_back(positions::RequestBodyMediaType{key}, std::move(specs.error()));
            continue;
        }
        built->field_specs = std::move(*specs);
        built->media_type = std::move(parsed);
        built->narrower_media_types = std::move(narrower);
        built->encoding = std::move(encoding);
        add_parameter_target(record.parameters, std::move(*built));
    }
}

}  // namespace vantorel::model
