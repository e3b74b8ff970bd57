#include "vantorel/model/responses.hpp"

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/cmp.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/model/reference_paths.hpp"
#include "vantorel/model/reference_resolution.hpp"
#include "zavova/pass_only_targets.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;

// The character starting at `i` and its length; a byte that starts no UTF-8 sequence stands for
// itself, so a broken key still names something.
std::pair<char32_t, std::size_t> next_character(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xe  ? 3
                         : (lead >> 3) == 0x1e ? 4
                                               : 1;
    if (i + length > text.size()) length = 1;
    if (length == 1) return {lead, 1};
    char32_t c = lead & (0x7f >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xc0) != 0x80) return {lead, 1};
        c = (c << 6) | (b & 0x3f);
    }
    return {c, length};
}

bool equal_ignoring_case(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

bool same_essence(const http::MediaType& a, const http::MediaType& b) {
    return equal_ignoring_case(a.essence(), b.essence());
}

struct Classification {
    bool may_be_xml = false;
    bool undecoded = false;
};

Classification classify(std::span<const http::MediaType> types) {
    Classification c;
    bool decodable = false;
    for (const http::MediaType& t : types) {
        auto [type, subtype] = http::split_media_type(t);
        if (type == "*" || subtype == "*" || subtype == "xml" || subtype.ends_with("+xml")) c.may_be_xml = true;
        if (http::is_json_media_type(type, subtype) || type == "*" ||
            (subtype == "*" && (type == "text" || type == "application"))) {
            decodable = true;
        }
    }
    c.undecoded = !c.may_be_xml && !decodable;
    return c;
}

// Every keyword entry of a body counted without decoding becomes an unmeasured entry that counts
// once the body passes.
void mark_undecoded(zavova::CoverageHolder& holder) {
    zavova::CoverageState& state = zavova::make_state_unique(holder);
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        zavova::KeywordEntry fresh;
        fresh.kind = zavova::EntryKind::unmeasured(zavova::UnmeasuredReason::UntraceableMediaType);
        state.entries.entry(i) = fresh;
    }
    state.special_index.reset();
}

}  // namespace

Result<StatusPattern, SpecProblem> parse_status_pattern(std::string_view key) {
    if (key.size() != 3) return make_unexpected(SpecProblem{problems::InvalidStatusCode{std::string(key)}});
    StatusPattern pattern;
    std::size_t i = 0;
    for (int position = 0; i < key.size(); ++position) {
        auto [c, length] = next_character(key, i);
        if (c == U'X') {
            pattern.positions[position] = {false, 0};
        } else if (c >= U'0' && c <= U'9') {
            pattern.positions[position] = {true, static_cast<std::uint8_t>(c - U'0')};
        } else {
            return make_unexpected(SpecProblem{problems::InvalidStatusCodeCharacter{std::string(key), c}});
        }
        i += length;
    }
    const auto& first = pattern.positions[0];
    if (first.present && (first.digit < 1 || first.digit > 5)) {
        return make_unexpected(SpecProblem{problems::StatusCodeOutOfRange{std::string(key)}});
    }
    return pattern;
}

void sort_responses_by_specificity(std::vector<ResponseTarget>& responses) {
    std::stable_sort(responses.begin(), responses.end(), [](const ResponseTarget& a, const ResponseTarget& b) {
        return a.status.digit_count() > b.status.digit_count();
    });
}

int media_range_specificity(const http::MediaType& media_type) noexcept {
    return int(media_type.type != "*") + int(media_type.subtype != "*");
}

void sort_media_entries_by_specificity(std::vector<ResponseBody>& bodies) {
    std::stable_sort(bodies.begin(), bodies.end(), [](const ResponseBody& a, const ResponseBody& b) {
        return media_range_specificity(a.media_type) > media_range_specificity(b.media_type);
    });
}

bool is_file_schema(const Value& schema) {
    std::set<std::string> met;
    const Value* current = &schema;
    while (current->is_object()) {
        const Value* type = current->find("type");
        if (type != nullptr && type->is_string() && type->as_string() == "file") return true;
        const Value* ref = current->find("$ref");
        if (ref == nullptr || !ref->is_string() || !ref->as_string().starts_with('#')) return false;
        if (!met.insert(ref->as_string()).second) return false;
        auto pointer = percent_decode_utf8(std::string_view(ref->as_string()).substr(1));
        if (!pointer) return false;
        current = deririrore::referencing::pointer_lookup(schema, *pointer);
        if (current == nullptr) return false;
    }
    return false;
}

Result<ResponseBody, SpecProblem> build_response_targets(const http::MediaType& media_type,
                                                         std::vector<http::MediaType> media_types, const Value& schema,
                                                         ReferenceContext& context, const LoadedDocument* scope,
                                                         bool swagger2, const OperationServices& services) {
    const Classification classification = classify(media_types);
    ResponseBodyCache::Key key{deririrore::value::to_json(schema), classification.may_be_xml, scope};
    const ResponseBodyCache::Entry* entry = context.schema_cache.find(key);
    if (entry == nullptr) {
        auto hydrated = services.hydrate(context, schema, scope);
        if (!hydrated) return make_unexpected(std::move(hydrated.error()));
        Value h = std::move(*hydrated);
        const Draft draft = services.draft(context, h);
        const bool file = swagger2 && is_file_schema(h);
        if (file) {
            const Value* type = h.find("type");
            if (type == nullptr || !type->is_string() || type->as_string() != "file") {
                h.insert_or_assign("type", Value::string("file"));
            }
        }
        // Hints come from the schema as written; the compilation then adapts it in place (a file
        // body compiles the empty schema instead and keeps its own).
        ResponseBodyCache::Entry fresh;
        fresh.xml_hints = std::make_shared<const xml::XmlHints>(
            classification.may_be_xml ? xml::xml_hints_from_schema(h) : xml::XmlHints{});
        Value empty = Value::object();
        auto compiled = services.compile(file ? empty : h, draft, "writeOnly", true);
        if (!compiled) return make_unexpected(std::move(compiled.error()));
        std::shared_ptr<const Value> shared = !file && compiled->schema != nullptr
                                                  ? std::move(compiled->schema)
                                                  : std::make_shared<const Value>(std::move(h));
        zavova::EntryMap file_entries;
        if (file && zavova::add_file_schema_targets(*shared, file_entries)) {
            // A file body is counted, never decoded: its file entries are all it measures.
            auto state = std::make_shared<zavova::CoverageState>();
            state->entries = std::move(file_entries);
            state->draft = draft;
            fresh.holder.state = std::move(state);
        } else {
            fresh.holder = services.measure(shared, draft, *compiled, TargetRecipe::Response);
        }
        fresh.validator = std::move(compiled->validator);
        fresh.schema = std::move(shared);
        entry = &context.schema_cache.insert(std::move(key), std::move(fresh));
    }
    ResponseBody body;
    body.media_type = media_type;
    body.media_types = std::move(media_types);
    body.holder = entry->holder;
    body.schema = entry->schema;
    body.xml_hints = entry->xml_hints;
    body.validator = entry->validator;
    body.count_undecoded = classification.undecoded || (swagger2 && is_file_schema(*entry->schema));
    if (body.count_undecoded) mark_undecoded(body.holder);
    return body;
}

void extract_operation_responses(ReferenceContext& context, OperationRecord& record, const Value& operation,
                                 OperationProblems& problems, bool swagger2, std::span<const http::MediaType> produced,
                                 const OperationServices& services) {
    const Value* responses = operation.is_object() ? operation.find("responses") : nullptr;
    if (responses == nullptr) return;
    if (!responses->is_object()) {
        problems.emplace_back(std::nullopt, SpecProblem::unexpected_type("responses", JsonType::Object));
        return;
    }
    std::vector<ResponseTarget> targets;
    ResponseTarget default_response;
    default_response.description = "Default";
    bool has_default = false;
    for (const auto& [key, declared] : responses->as_object()) {
        if (key.starts_with("x-")) continue;
        const bool is_default = key == "default";
        StatusPattern status;
        if (!is_default) {
            auto parsed = parse_status_pattern(key);
            if (!parsed) {
                problems.emplace_back(std::nullopt, std::move(parsed.error()));
                continue;
            }
            status = *parsed;
        }
        const Value* value = &declared;
        SharedDocument scope = context.current_scope;
        if (const Value* ref = value->is_object() ? value->find("$ref") : nullptr) {
            auto resolved = resolve_in_current_scope(context, *ref);
            if (!resolved) {
                problems.emplace_back(positions::Response{key}, std::move(resolved.error()));
                continue;
            }
            value = resolved->first;
            scope = std::move(resolved->second);
        }
        ResponseTarget target;
        target.status = status;
        if (const Value* d = value->is_object() ? value->find("description") : nullptr; d && d->is_string()) {
            target.description = d->as_string();
        }
        // The `schema` each body was built from, as written, for the duplicate test.
        std::vector<const Value*> written;
        const Value* content = value->is_object() ? value->find("content") : nullptr;
        if (content != nullptr && content->is_object()) {
            for (const auto& [media_key, declared_media] : content->as_object()) {
                const Value* media = &declared_media;
                SharedDocument media_scope = scope;
                if (const Value* ref = media->is_object() ? media->find("$ref") : nullptr) {
                    auto resolved = resolve_in_current_scope(context, *ref);
                    if (!resolved) {
                        problems.emplace_back(positions::ResponseBody{key, media_key}, std::move(resolved.error()));
                        continue;
                    }
                    media = resolved->first;
                    media_scope = std::move(resolved->second);
                }
                const Value* schema = media->is_object() ? media->find("schema") : nullptr;
                if (schema == nullptr) continue;
                auto parsed = http::parse_media_type(media_key);
                if (!parsed) {
                    problems.emplace_back(positions::ResponseBody{key, media_key},
                                          SpecProblem::unexpected_value_text(media_key, "content"));
                    continue;
                }
                auto same = std::find_if(target.bodies.begin(), target.bodies.end(),
                                         [&](const ResponseBody& b) { return same_essence(b.media_type, *parsed); });
                if (same != target.bodies.end()) {
                    const std::size_t index = static_cast<std::size_t>(same - target.bodies.begin());
                    // Equal by value, as the engine compares: 1 and 1.0 are the same schema.
                    if (deririrore::value::json_values_equal(*written[index], *schema)) {
                        same->media_types.push_back(std::move(*parsed));
                    } else {
                        problems.emplace_back(positions::ResponseBody{key, media_key},
                                              SpecProblem::unexpected_value_text(
                                                  media_key + " duplicates " + same->media_type.essence(), "content"));
                    }
                    continue;
                }
                http::MediaType first = *parsed;
                auto body = build_response_targets(first, {std::move(*parsed)}, *schema, context, media_scope.get(),
                                                   swagger2, services);
                if (!body) {
                    problems.emplace_back(positions::ResponseBody{key, media_key}, std::move(body.error()));
                    continue;
                }
                target.bodies.push_back(std::move(*body));
                written.push_back(schema);
            }
        } else if (swagger2 && !produced.empty()) {
            if (const Value* schema = value->is_object() ? value->find("schema") : nullptr) {
                auto body = build_response_targets(produced.front(), {produced.begin(), produced.end()}, *schema,
                                                   context, scope.get(), true, services);
                if (body)
                    target.bodies.push_back(std::move(*body));
                else {
                    problems.emplace_back(positions::ResponseBody{key, produced.front().essence()},
                                          std::move(body.error()));
                }
            }
        }
        if (target.bodies.size() > 1) sort_media_entries_by_specificity(target.bodies);
        if (is_default) {
            default_response = std::move(target);
            has_default = true;
        } else {
            targets.push_back(std::move(target));
        }
    }
    sort_responses_by_specificity(targets);
    record.responses = std::move(targets);
    record.default_response = std::move(default_response);
    record.has_default_response = has_default;
}

}  // namespace vantorel::model
