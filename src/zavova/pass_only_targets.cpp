#include "zavova/pass_only_targets.hpp"

#include <string_view>
#include <vector>

#include "deririrore/referencing/pointer.hpp"
#include "zavova/measured_targets.hpp"
#include "zavova/schema_predicates.hpp"

namespace zavova {

namespace {

constexpr EntryKind kPassOnlyKeyword = EntryKind::keyword(Polarity::ValidOnly);
constexpr EntryKind kPassOnlySchema = EntryKind::subschema(Polarity::ValidOnly);

bool string_member_is(const Value& object, std::string_view key, std::string_view text) {
    const Value* member = object.find(key);
    return member != nullptr && member->is_string() && member->as_string() == text;
}

}  // namespace

bool is_plain_binary_schema(const Value& schema) {
    if (!schema.is_object() || !string_member_is(schema, "type", "string") ||
        !string_member_is(schema, "format", "binary")) {
        return false;
    }
    for (const auto& member : schema.as_object()) {
        if (member.key != "type" && member.key != "format" && !is_annotation_keyword(member.key)) return false;
    }
    return true;
}

bool add_binary_schema_targets(const Value& schema, EntryMap& entries) {
    if (!is_plain_binary_schema(schema)) return false;
    entries.set("", kPassOnlySchema);
    entries.set("/type", kPassOnlyKeyword);
    entries.set("/format", kPassOnlyKeyword);
    return true;
}

bool add_file_schema_targets(const Value& schema, EntryMap& entries) {
    if (!schema.is_object() || !string_member_is(schema, "type", "file")) return false;
    entries.set("", kPassOnlySchema);
    entries.set("/type", kPassOnlyKeyword);
    return true;
}

void collect_string_type_targets(const Value& schema, EntryMap& entries) {
    std::unordered_set<const Value*> visited;
    collect_property_name_targets(schema, schema, entries, std::string(), visited);
}

void collect_property_name_targets(const Value& root, const Value& node, EntryMap& entries, std::string location,
                                   std::unordered_set<const Value*>& visited) {
    // Depth first over one location buffer: an item's location is the first `parent_length` bytes
    // of the buffer when it is taken, followed by its own suffix.
    struct Item {
        const Value* node;
        std::size_t parent_length;
        std::string suffix;
    };
    std::string path = std::move(location);
    std::vector<Item> work;
    work.push_back({&node, 0, path});
    std::vector<Item> children;
    while (!work.empty()) {
        Item current = std::move(work.back());
        work.pop_back();
        path.resize(current.parent_length);
        path += current.suffix;
        const Value& value = *current.node;
        if (!visited.insert(&value).second || !value.is_object()) continue;
        if (const Value* ref = value.find("$ref"); ref != nullptr && ref->is_string()) {
            std::string_view pointer = ref->as_string();
            while (!pointer.empty() && pointer.front() == '#') pointer.remove_prefix(1);
            if (const Value* target = deririrore::referencing::pointer_lookup(root, pointer)) {
                // The target's location is its own pointer, not the referring one's.
                work.push_back({target, 0, std::string(pointer)});
            }
            continue;
        }
        if (const Value* names = value.find("propertyNames")) {
            std::unordered_set<const Value*> fresh;
            add_string_type_targets(root, *names, entries, path + "/propertyNames", fresh);
        }
        children.clear();
        const std::size_t length = path.size();
        const auto member_suffix = [](std::string_view keyword, std::string_view name) {
            std::string suffix = "/";
            suffix.append(keyword);
            suffix.push_back('/');
            deririrore::referencing::push_pointer_segment(suffix, name);
            return suffix;
        };
        for (std::string_view keyword : {"properties", "patternProperties"}) {
            const Value* map = value.find(keyword);
            if (map == nullptr || !map->is_object()) continue;
            for (const auto& member : map->as_object()) {
                children.push_back({&member.value, length, member_suffix(keyword, member.key)});
            }
        }
        if (const Value* additional = value.find("additionalProperties");
            additional != nullptr && additional->is_object()) {
            children.push_back({additional, length, "/additionalProperties"});
        }
        if (const Value* items = value.find("items")) children.push_back({items, length, "/items"});
        for (std::string_view keyword : {"anyOf", "oneOf", "allOf"}) {
            const Value* list = value.find(keyword);
            if (list == nullptr || !list->is_array()) continue;
            const auto& entries_of = list->as_array();
            for (std::size_t i = 0; i < entries_of.size(); ++i) {
                children.push_back({&entries_of[i], length, "/" + std::string(keyword) + "/" + std::to_string(i)});
            }
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it) work.push_back(std::move(*it));
    }
}

}  // namespace zavova
