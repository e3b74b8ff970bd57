#include "vantorel/model/measured_schema.hpp"

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <utility>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/cmp.hpp"
#include "vantorel/dialect/options.hpp"
#include "vantorel/model/reference_paths.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;
using deririrore::core::ValidationError;
using deririrore::referencing::push_pointer_segment;

Value* pointer_lookup_mut(Value& root, std::string_view pointer) {
    return const_cast<Value*>(deririrore::referencing::pointer_lookup(root, pointer));
}

// Members of a schema object are only ever replaced in place here, never added or removed, so
// their addresses stay put.
Value& member_value(const Member& member) { return const_cast<Value&>(member.value); }

bool is_data_keyword(std::string_view key) noexcept {
    return key == "enum" || key == "const" || key == "default" || key == "example" || key == "examples";
}

// Keywords whose value is one schema, a list of schemas, or a map from names to schemas, under
// any draft.
bool holds_one_schema(std::string_view key) noexcept {
    return key == "not" || key == "if" || key == "then" || key == "else" || key == "contains" ||
           key == "additionalProperties" || key == "additionalItems" || key == "propertyNames" ||
           key == "unevaluatedItems" || key == "unevaluatedProperties" || key == "contentSchema" || key == "items";
}
bool holds_schema_list(std::string_view key) noexcept {
    return key == "allOf" || key == "anyOf" || key == "oneOf" || key == "prefixItems" || key == "items";
}
bool holds_schema_map(std::string_view key) noexcept {
    return key == "properties" || key == "patternProperties" || key == "definitions" || key == "$defs" ||
           key == "dependentSchemas" || key == "dependencies";
}

std::size_t pointer_depth(std::string_view pointer) noexcept {
    return static_cast<std::size_t>(std::count(pointer.begin(), pointer.end(), '/'));
}

// The failure a compilation attempt ended with, and where a `pattern` keyword caused it.
struct AttemptFailure {
    ValidationError error;
    std::optional<std::string> pattern_location;
};

constexpr std::string_view kPatternSuffix = "/pattern";

// `location` is a pointer ending in "/pattern" whose prefix names an object holding "pattern".
bool names_pattern_member(std::string_view location, const Value& schema) {
    if (location.size() < kPatternSuffix.size() || !location.ends_with(kPatternSuffix)) return false;
    const Value* holder =
        deririrore::referencing::pointer_lookup(schema, location.substr(0, location.size() - kPatternSuffix.size()));
    return holder != nullptr && holder->is_object() && holder->find("pattern") != nullptr;
}

// A refusal inside an `anyOf` of the meta-schema (draft 4 to 7 `items`, say) is found in the
// branch lists of the anyOf error: the first refused pattern is taken out, and the next attempt
// tells whether that was all.
const ValidationError* refused_pattern(const ValidationError& error, const Value& schema, unsigned depth) {
    if (error.schema_path().view().starts_with("/properties/pattern/") &&
        names_pattern_member(error.instance_path().view(), schema))
        return &error;
    const auto* any = std::get_if<deririrore::core::kinds::AnyOf>(&error.kind());
    if (any == nullptr || depth > 64) return nullptr;
    for (const auto& branch : any->context) {
        for (const auto& inner : branch) {
            if (const ValidationError* found = refused_pattern(inner, schema, depth + 1)) return found;
        }
    }
    return nullptr;
}

// The location of the `pattern` member a failed attempt is blamed on, if any:
// - the meta-schema check refused the value of a `pattern` keyword (under drafts 4, 6 and 7 an
//   invalid regular expression, under every draft a value that is not a string): the error sits
//   at the member's instance location and at the keyword's path in the meta-schema, so a
//   property that is merely named "pattern" (whose error path is the schema's own) never
//   qualifies;
// - under drafts 4, 6 and 7 the engine refused, at the keyword's location, a regular expression
//   that passed the meta-schema's "regex" test.
std::optional<std::string> invalid_pattern_location(const ValidationError& error, const Value& schema, Draft draft) {
    if (const ValidationError* refused = refused_pattern(error, schema, 0))
        return std::string(refused->instance_path().view());
    if (draft > Draft::Draft7) return std::nullopt;
    const auto* format = std::get_if<deririrore::core::kinds::Format>(&error.kind());
    if (format == nullptr || format->format != "regex") return std::nullopt;
    const std::string_view location = error.schema_path().view();
    if (!names_pattern_member(location, schema)) return std::nullopt;
    const Value* holder =
        deririrore::referencing::pointer_lookup(schema, location.substr(0, location.size() - kPatternSuffix.size()));
    if (!holder->find("pattern")->is_string()) return std::nullopt;
    return std::string(location);
}

Result<deririrore::core::Validator, AttemptFailure> attempt(const Value& schema, Draft draft, bool is_body,
                                                            std::size_t& compilations,
                                                            deririrore::core::SharedTargets* shared) {
    auto options = dialect::measured_schema_options(
        draft, is_body ? dialect::NullableSource::MediaType : dialect::NullableSource::Parameter);
    // The options keep the meta-schema check on: the build refuses a schema that breaks its
    // draft's meta-schema before compiling it, at the failing member's place in the schema.
    ++compilations;
    auto built = shared != nullptr ? deririrore::core::build_validator(schema, options, *shared)
                                   : deririrore::core::build_validator(schema, options);
    if (built) return std::move(*built);
    ValidationError error = std::move(built).error();
    auto location = invalid_pattern_location(error, schema, draft);
    return make_unexpected(AttemptFailure{std::move(error), std::move(location)});
}

struct Outcome {
    std::optional<deririrore::core::Validator> validator;
    std::vector<RemovedPattern> removed;
    std::optional<ValidationError> error;
    std::shared_ptr<const Value> checked;  // on failure: the schema as the last attempt checked it
};

void restore_patterns(Value& schema, const std::vector<RemovedPattern>& removed) {
    constexpr std::size_t kSuffix = 8;  // "/pattern"
    for (const auto& pattern : removed) {
        Value* holder =
            pointer_lookup_mut(schema, std::string_view(pattern.location).substr(0, pattern.location.size() - kSuffix));
        if (holder != nullptr && holder->is_object()) holder->insert_or_assign("pattern", pattern.value);
    }
}

void remove_patterns(Value& schema, const std::vector<RemovedPattern>& removed) {
    constexpr std::size_t kSuffix = 8;
    for (const auto& pattern : removed) {
        Value* holder =
            pointer_lookup_mut(schema, std::string_view(pattern.location).substr(0, pattern.location.size() - kSuffix));
        if (holder != nullptr && holder->is_object()) holder->erase("pattern");
    }
}

Outcome compile_adapted(Value& schema, Draft draft, bool is_body, std::size_t& compilations,
                        deririrore::core::SharedTargets* shared = nullptr) {
    std::string path;
    std::vector<TypeRewrite> rewrites;
    rewrite_nullable_types(schema, path, rewrites);
    Outcome outcome;
    while (true) {
        auto built = attempt(schema, draft, is_body, compilations, shared);
        if (built) {
            outcome.validator = std::move(*built);
            break;
        }
        AttemptFailure failure = std::move(built).error();
        if (!failure.pattern_location) {
            // Nothing between attempts would change: the failure is final at once.
            outcome.error = std::move(failure.error);
            outcome.checked = std::make_shared<const Value>(schema);
            break;
        }
        const std::string& location = *failure.pattern_location;
        Value* holder = pointer_lookup_mut(schema, std::string_view(location).substr(0, location.size() - 8));
        Value* member = holder->find_mut("pattern");
        outcome.removed.push_back(RemovedPattern{location, std::move(*member)});
        holder->erase("pattern");
    }
    restore_saved_types(schema, std::move(rewrites));
    if (outcome.validator) restore_patterns(schema, outcome.removed);
    return outcome;
}

std::uint64_t cache_hash(const Value& schema) {
    deririrore::value::Hasher hasher;
    deririrore::value::hash_json_value(schema, hasher);
    return hasher.finish();
}

}  // namespace

void strip_xml_keywords(Value& value) {
    std::vector<Value*> work{&value};
    const auto push_items = [&](Value& array) {
        for (auto& item : array.mutable_array()) work.push_back(&item);
    };
    const auto push_members = [&](Value& object) {
        for (const auto& member : object.as_object()) work.push_back(&member_value(member));
    };
    while (!work.empty()) {
        Value* current = work.back();
        work.pop_back();
        if (current->is_array()) {
            push_items(*current);
            continue;
        }
        if (!current->is_object()) continue;
        current->erase("xml");
        for (const auto& member : current->as_object()) {
            Value& child = member_value(member);
            const std::string_view key = member.key;
            if (key == "if" || key == "not" || key == "then" || key == "else" || key == "contains" ||
                key == "additionalProperties") {
                work.push_back(&child);
            } else if (key == "items") {
                if (child.is_array() || child.is_object()) work.push_back(&child);
            } else if (key == "allOf" || key == "anyOf" || key == "oneOf") {
                if (child.is_array()) push_items(child);
            } else if (key == "properties" || key == "definitions" || key == "patternProperties") {
                if (child.is_object()) push_members(child);
            } else if (key == "components") {
                Value* schemas = child.is_object() ? child.find_mut("schemas") : nullptr;
                if (schemas != nullptr && schemas->is_object()) push_members(*schemas);
            }
        }
    }
}

void drop_marked_properties(Value& value, std::string_view marker) {
    // First every schema position is found without changing anything; then the removals run from
    // the deepest position up, so that no removal moves a position still waiting.
    struct Position {
        Value* node;
        std::size_t depth;
    };
    std::vector<Position> positions;
    std::unordered_set<const Value*> seen;
    std::vector<Position> work{{&value, 0}};
    bool at_root = true;
    while (!work.empty()) {
        Position current = work.back();
        work.pop_back();
        if (!current.node->is_object() || !seen.insert(current.node).second) continue;
        positions.push_back(current);
        for (const auto& member : current.node->as_object()) {
            Value& child = member_value(member);
            const std::string_view key = member.key;
            if (key == "$ref") {
                if (!child.is_string() || !child.as_string().starts_with("#/")) continue;
                auto pointer = percent_decode_utf8(std::string_view(child.as_string()).substr(1));
                if (!pointer) continue;
                if (Value* target = pointer_lookup_mut(value, *pointer))
                    work.push_back({target, pointer_depth(*pointer)});
                continue;
            }
            if (child.is_object() && holds_one_schema(key)) work.push_back({&child, current.depth + 1});
            if (child.is_array() && holds_schema_list(key)) {
                for (auto& item : child.mutable_array()) work.push_back({&item, current.depth + 2});
            }
            if (child.is_object() && holds_schema_map(key)) {
                for (const auto& inner : child.as_object()) work.push_back({&member_value(inner), current.depth + 2});
            }
            if (at_root && key == "components" && child.is_object()) {
                Value* schemas = child.find_mut("schemas");
                if (schemas != nullptr && schemas->is_object()) {
                    for (const auto& inner : schemas->as_object()) work.push_back({&member_value(inner), 3});
                }
            }
        }
        at_root = false;
    }
    std::stable_sort(positions.begin(), positions.end(),
                     [](const Position& a, const Position& b) { return a.depth > b.depth; });
    std::vector<std::string> marked;
    for (const auto& position : positions) {
        Value* properties = position.node->find_mut("properties");
        if (properties == nullptr || !properties->is_object()) continue;
        marked.clear();
        for (const auto& member : properties->as_object()) {
            if (!member.value.is_object()) continue;
            const Value* flag = member.value.find(marker);
            if (flag != nullptr && flag->is_bool() && flag->as_bool()) marked.push_back(member.key);
        }
        if (marked.empty()) continue;
        for (const auto& name : marked) properties->erase(name);
        Value* required = position.node->find_mut("required");
        if (required == nullptr || !required->is_array() || required->empty()) continue;
        auto& items = required->mutable_array();
        std::erase_if(items, [&](const Value& item) {
            return item.is_string() && std::find(marked.begin(), marked.end(), item.as_string()) != marked.end();
        });
    }
}

void rewrite_nullable_types(Value& value, std::string& path, std::vector<TypeRewrite>& rewrites) {
    // Depth first over one path buffer: an item's location is its parent's (the first
    // `parent_length` bytes of the buffer when it is taken) followed by its own segments.
    struct Item {
        Value* node;
        std::size_t parent_length;
        std::string_view keyword;  // empty for an array item
        std::string_view name;     // the member of a map keyword, or empty
        std::size_t index;
    };
    const std::size_t start = path.size();
    std::vector<Item> work{{&value, start, {}, {}, 0}};
    std::vector<Item> children;
    bool root = true;
    while (!work.empty()) {
        const Item current = work.back();
        work.pop_back();
        path.resize(current.parent_length);
        if (!root) {
            path.push_back('/');
            if (current.keyword.empty()) {
                path.append(std::to_string(current.index));
            } else {
                push_pointer_segment(path, current.keyword);
                if (!current.name.empty() || current.index == 1) {
                    path.push_back('/');
                    push_pointer_segment(path, current.name);
                }
            }
        }
        root = false;
        Value& node = *current.node;
        children.clear();
        if (node.is_array()) {
            auto& items = node.mutable_array();
            for (std::size_t i = 0; i < items.size(); ++i) children.push_back({&items[i], path.size(), {}, {}, i});
        } else if (node.is_object()) {
            const Value* flag = node.find("nullable");
            if (flag == nullptr) flag = node.find("x-nullable");
            Value* type = node.find_mut("type");
            if (flag != nullptr && flag->is_bool() && flag->as_bool() && type != nullptr) {
                std::optional<Value> replacement;
                if (type->is_string()) {
                    // "null" already admits null; ["null", "null"] would be a schema error.
                    if (type->as_string() != "null") {
                        Value::Array both;
                        both.push_back(*type);
                        both.push_back(Value::string("null"));
                        replacement = Value::array(std::move(both));
                    }
                } else if (type->is_array()) {
                    const auto& items = type->as_array();
                    const bool has_null = std::any_of(items.begin(), items.end(), [](const Value& item) {
                        return item.is_string() && item.as_string() == "null";
                    });
                    if (!has_null) {
                        Value copy = *type;
                        copy.push_back(Value::string("null"));
                        replacement = std::move(copy);
                    }
                }
                if (replacement) {
                    rewrites.push_back(TypeRewrite{path, std::move(*type)});
                    *type = std::move(*replacement);
                }
            }
            for (const auto& member : node.as_object()) {
                const std::string_view key = member.key;
                if (is_data_keyword(key) || key.starts_with("x-")) continue;
                Value& child = member_value(member);
                if (key == "properties" || key == "definitions" || key == "$defs" || key == "dependentSchemas" ||
                    key == "patternProperties") {
                    if (!child.is_object()) continue;
                    // index 1 marks a map member, whose name may be empty.
                    for (const auto& inner : child.as_object()) {
                        children.push_back({&member_value(inner), path.size(), key, inner.key, 1});
                    }
                    continue;
                }
                if (!child.is_array() && !child.is_object()) continue;
                children.push_back({&child, path.size(), key, {}, 0});
            }
        }
        // Reversed, so that children are visited in key order and rewrites come in document order.
        for (auto it = children.rbegin(); it != children.rend(); ++it) work.push_back(*it);
    }
    path.resize(start);
}

void restore_saved_types(Value& schema, std::vector<TypeRewrite> rewrites) {
    for (auto& rewrite : rewrites) {
        Value* holder = pointer_lookup_mut(schema, rewrite.location);
        if (holder != nullptr && holder->is_object()) holder->insert_or_assign("type", std::move(rewrite.saved_type));
    }
}

Result<MeasuredSchema, SpecProblem> compile_measured_schema(Value& schema, Draft draft,
                                                            std::string_view excluded_marker, bool is_body,
                                                            MeasuredSchemaCache* cache) {
    if (draft == Draft::Unknown) draft = Draft::Draft202012;
    strip_xml_keywords(schema);
    drop_marked_properties(schema, excluded_marker);

    std::size_t local_compilations = 0;
    if (cache == nullptr) {
        Outcome outcome = compile_adapted(schema, draft, is_body, local_compilations);
        if (!outcome.validator)
            return make_unexpected(SpecProblem::invalid_schema(std::move(*outcome.error), std::move(outcome.checked)));
        return MeasuredSchema{std::move(*outcome.validator), std::move(outcome.removed),
                              std::make_shared<const Value>(schema)};
    }

    const std::uint64_t hash = cache_hash(schema);
    auto& bucket = cache->entries_[hash];
    for (const auto& entry : bucket) {
        if (entry.draft != draft || entry.is_body != is_body || !identical(*entry.key, schema)) continue;
        if (entry.validator) return MeasuredSchema{*entry.validator, entry.removed_patterns, entry.key};
        remove_patterns(schema, entry.removed_patterns);
        return make_unexpected(SpecProblem::invalid_schema(*entry.error, entry.checked));
    }
    // After a success the caller's schema is back to this value: types and patterns are restored.
    auto key = std::make_shared<const Value>(schema);
    Outcome outcome =
        compile_adapted(schema, draft, is_body, cache->compilations_, &cache->shared_targets_[{draft, is_body}]);
    MeasuredSchemaCache::Entry entry{key,           draft,          is_body, outcome.validator, outcome.removed,
                                     outcome.error, outcome.checked};
    bucket.push_back(std::move(entry));
    ++cache->size_;
    if (!outcome.validator)
        return make_unexpected(SpecProblem::invalid_schema(std::move(*outcome.error), std::move(outcome.checked)));
    return MeasuredSchema{std::move(*outcome.validator), std::move(outcome.removed), std::move(key)};
}

Result<MeasuredSchema, SpecProblem> compile_shared_measured_schema(Value schema, Draft draft,
                                                                   std::string_view excluded_marker, bool is_body,
                                                                   MeasuredSchemaCache& cache) {
    if (draft == Draft::Unknown) draft = Draft::Draft202012;
    strip_xml_keywords(schema);
    drop_marked_properties(schema, excluded_marker);

    auto& bucket = cache.entries_[cache_hash(schema)];
    // An identical value kept for another draft or side: compiled anew, but not kept twice.
    std::shared_ptr<const Value> same_value;
    for (const auto& entry : bucket) {
        if (entry.key != same_value && !identical(*entry.key, schema)) continue;
        if (same_value == nullptr) same_value = entry.key;
        if (entry.draft != draft || entry.is_body != is_body) continue;
        if (entry.validator) return MeasuredSchema{*entry.validator, entry.removed_patterns, entry.key};
        return make_unexpected(SpecProblem::invalid_schema(*entry.error, entry.checked));
    }
    Outcome outcome =
        compile_adapted(schema, draft, is_body, cache.compilations_, &cache.shared_targets_[{draft, is_body}]);
    // After a success the schema is back to the value it came with (types and patterns restored);
    // after a failure the removed patterns go back too, so that the key stands for that value.
    if (!outcome.validator) restore_patterns(schema, outcome.removed);
    std::shared_ptr<const Value> key = same_value ? same_value : std::make_shared<const Value>(std::move(schema));
    bucket.push_back(MeasuredSchemaCache::Entry{key, draft, is_body, outcome.validator, outcome.removed, outcome.error,
                                                outcome.checked});
    ++cache.size_;
    if (!outcome.validator)
        return make_unexpected(SpecProblem::invalid_schema(std::move(*outcome.error), std::move(outcome.checked)));
    return MeasuredSchema{std::move(*outcome.validator), std::move(outcome.removed), std::move(key)};
}

}  // namespace vantorel::model
